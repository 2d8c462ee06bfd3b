// Coff2Cod fills the COD model from one linked COFF executable: the
// directory texts, the code blocks and memory map, the source names and the
// symbols; unless told not to, it then writes the listing file, which also
// builds the COD file's line tables.
//
//   coff2cod.cpp       convert() and its steps up to the symbols
//   coff2cod_list.cpp  the listing file
//
// A listing page starts like this (the header repeats after every page of
// rows when a page length is given, behind a form feed):
//
//   DORVANE v2.20.00, COFF to COD File Converter
//   <notice line>
//   Listing File Generated: Tue Mar  5 09:05:00 2024
//
//
//   Address  Value    Disassembly              Source      ...      File
//   -------  -------  -----------------------  ------      ...      -----
//   000000   3001     MOVLW     0x1            start movlw 1 ...    main.asm
#pragma once

#include "cod.h"
#include "coff.h"
#include "mgproc.h"

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// One line-number record of a code section, with the section's name.
class LstLine
{
public:
    LstLine() = default;
    LstLine(const std::string &section, const coff_lineno &entry) : cSection(section), cEntry(entry) {}

    bool operator==(const LstLine &o) const { return cSection == o.cSection && cEntry.l_paddr == o.cEntry.l_paddr; }
    bool operator<(const LstLine &o) const
    {
        return cSection != o.cSection ? cSection < o.cSection : cEntry.l_paddr < o.cEntry.l_paddr;
    }

    std::string cSection;
    coff_lineno cEntry;
};

class Coff2Cod : public Cod
{
public:
    Coff2Cod() = default;

    // Runs the conversion steps in order; this object as the Cod to write,
    // or null after a step has reported its failure.
    Cod *convert(const Coff &coff, int32_t pageLength, bool noListing);

    // The names of the outputs for an executable: the COD file in the
    // current directory, the listing beside the executable.
    static std::string codFileName(const std::string &coffName);
    static std::string listFileName(const std::string &coffName);

    // The steps of convert(), in their order.
    void buildLineMap(const Coff &coff);
    void fillDirectory(const Coff &coff);
    bool createRawDataAndMemoryMap(const Coff &coff);
    void createSourceNames(const Coff &coff);
    void createSymbols(const Coff &coff);
    bool createListFile(const Coff &coff);
    // The source files the listing reads, as it opens them.
    std::vector<std::string> listedSources(const Coff &coff);

    // Listing helpers; the symbol index moves forward through the table.
    bool doNextFile(size_t &index);
    void writePageHeader(bool firstPage);
    void nextListLine();
    bool hasInclude(size_t index, uint32_t line) const;
    bool findNextFile(size_t &index) const;
    void skipToEndOfFile(size_t &index) const;
    void applyListDirective(size_t index, uint32_t line);

    // Source files a COD file can number (FileNum is one byte).
    static const size_t MAX_SOURCE_FILES = 256;

    // Source index (slot of the ".file" symbol), then line number, to the
    // line-number records of the code sections, sections in name order.
    std::map<uint32_t, std::map<uint16_t, std::vector<LstLine>>> cLine;
    // Slot of each ".file" symbol to its file number.
    std::map<uint32_t, uint8_t> cFileNum;

private:
    // What a symbol slot means to the listing.
    enum SlotKind : uint8_t { SLOT_AUX, SLOT_OTHER, SLOT_FILE, SLOT_EOF, SLOT_LIST, SLOT_NOLIST };
    struct SourceFile;

    // Looks up the processor; false after reporting an unknown one.
    bool selectProcessor(const Coff &coff);
    void indexSymbols();
    bool hasAuxSlot(size_t index) const;
    std::string sourceFileName(size_t fileSymbol) const;
    uint32_t includeLine(size_t fileSymbol) const;
    // The text of a source file, or null with the errno value of the
    // failure (0 for a file that is no regular file).
    std::shared_ptr<const std::string> sourceText(const std::string &path, int &error);
    bool enterFile(size_t &index, std::vector<SourceFile> &stack);
    void listLine(SourceFile &file, const std::string &text);
    void writeRow(const std::string &address, const std::string &value, const std::string &disassembly,
                  const std::string &source, const std::string &fileName);
    void addLineInfo(const SourceFile &file, uint32_t directory, const LineInfo &info);

    const Coff *cCoff = nullptr;
    ProcessorCode cProcessor = 0;
    DeviceFamily cFamily = 0;
    uint32_t cWordBytes = 2; // bytes per program word

    bool cListingOn = true;
    int32_t cPageLength = 0;
    int64_t cLineCount = 0;
    std::time_t cListTime = 0;
    std::ostream *cListFile = nullptr;

    // Indexes over the symbol table, built once for the listing.
    std::vector<uint8_t> cSlotKind;
    // For each slot, the first slot at or after it that is ".file" or ".eof".
    std::vector<size_t> cNextBoundary;
    // Line number to the ascending slots of ".list"/".nolist" symbols.
    std::map<uint32_t, std::vector<size_t>> cDirectives;
    bool cTooManyFilesReported = false;

    // The texts of the sources being listed, by the path they were read
    // under, and the text of the one that ended last.
    std::map<std::string, std::weak_ptr<const std::string>> cSourceTexts;
    std::shared_ptr<const std::string> cLastSourceText;
    // The message of a source that could not be opened for want of
    // descriptors or memory: the listing stops and fails.
    std::string cSourceFailure;
};
