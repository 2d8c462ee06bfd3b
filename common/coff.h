// Coff: one object file, archive member or executable held in memory. The
// linker edits the tables of its inputs in place and builds its output in a
// Coff of its own; the converters and the librarian read, dump and write
// through it. Its methods live in one file per phase:
//
//   coff.cpp         names, predicates, record comparisons
//   coff_read.cpp    Coff::make (both layouts, images at any offset)
//   coff_verify.cpp  Coff::verify
//   coff_write.cpp   Coff::preWrite, Coff::size, Coff::fixupAuxFcns, Coff::write
//   coff_print.cpp   the record printers and the dump
#pragma once

#include "coff_format.h"
#include "data.h"
#include "filebytes.h"

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class SafeFile;

class Coff
{
public:
    // Empty name, tables and headers; the creator fills the headers.
    Coff() = default;

    // ---- Reading ----
    // Reads the file; none after reporting why not (the file cannot be
    // opened or read, or it is in the foreign layout, which counts an error).
    // A file that is no regular file is read only as far as its image
    // reaches, and refused when that lies past FileBytes::STREAM_LIMIT.
    static std::unique_ptr<Coff> make(const std::string &name, const FileOpener &open = openInput);
    // Reads the image whose file header begins at start in an open file;
    // every offset of the image counts from there. The name is the object's
    // name in every message.
    static std::unique_ptr<Coff> make(std::istream &in, uint64_t start, const std::string &name);
    // The reader behind both: returns the object also after the foreign
    // layout's "missing optional file header" error, with readError set.
    // Sections without raw data in the file get zero fill: uninitialised
    // data keeps only its size, any other section gets its zero bytes,
    // built within the run's zero-fill budget (see Data).
    static std::unique_ptr<Coff> read(std::istream &in, uint64_t start, const std::string &name, bool &readError);
    // The same reader on a file held in memory: fileSize bytes at file, the
    // image's file header at offset start.
    // Without tables, the symbol table, line numbers and relocation entries
    // are checked to lie inside the file as always, but not kept.
    static std::unique_ptr<Coff> read(const uint8_t *file, uint64_t fileSize, uint64_t start,
                                      const std::string &name, bool &readError, bool tables = true);
    // The same on a file read by FileBytes, whose pieces are read as the
    // image needs them. A stream that the image would take past its limit
    // fails without a message of its own (file.overLimit() tells).
    // ranShort, when given, tells whether it failed because the image
    // reaches past the end of the file.
    static std::unique_ptr<Coff> read(FileBytes &file, uint64_t start, const std::string &name, bool &readError,
                                      bool tables = true, bool *ranShort = nullptr);
    // Coff::make for a reader that needs only the headers, the raw data and
    // the string table: it fails exactly where make() fails, but keeps no
    // symbols, line numbers or relocation entries.
    static std::unique_ptr<Coff> makeSections(const std::string &name, const FileOpener &open = openInput);

    // ---- Checking ----
    // Reports every section number, name offset and symbol index that
    // points at nothing; true when there was none.
    bool verify() const;

    // ---- Layout and writing ----
    // Stores sizes, counts and offsets in the headers, the time stamp and
    // the magic, and fixes up the function line pointers.
    void preWrite();
    // The length of the image that write() produces.
    uint32_t size() const;
    // The zero bytes that the reader has to build for the image write()
    // produces: sections flagged as uninitialised data are written without
    // raw data, but only those whose type is uninitialised data read back
    // without building their bytes.
    uint64_t readBackZeroFill() const;
    void fixupAuxFcns();
    // Writes the file named by the object's name (through a temporary file
    // renamed into place).
    bool write() const;
    // The same into a file its caller opened (or tried to open: a file not
    // open is reported as one that could not be opened for writing).
    bool write(SafeFile &file) const;
    // Writes the image into an open stream at the start offset. An object
    // whose stored layout is not the one size() describes is written from a
    // laid-out copy (its time stamp kept), never as a corrupt image. A
    // member written into a library names the library (library) when the
    // stream fails.
    bool write(std::ostream &out, uint64_t start, const std::string &library = {}) const;

    // ---- Dump ----
    void print(std::ostream &out) const;

    // ---- Names ----
    // The name of a section, symbol or source file; a string-table offset
    // that the table lacks is a fatal error.
    static std::string getName(const coff_scnhdr &hdr, const StrTbl &strTbl);
    static std::string getName(const coff_syment &sym, const StrTbl &strTbl);
    static std::string getName(const aux_file &aux, const StrTbl &strTbl);
    // Stores a name inline (8 characters or fewer) or as the smallest offset
    // of an equal string; a long name not yet in the table is fatal (add it
    // with strTblAppend first).
    static void setName(coff_scnhdr &hdr, const StrTbl &strTbl, const std::string &name);
    static void setName(coff_syment &sym, const StrTbl &strTbl, const std::string &name);
    static bool hasLongName(const coff_scnhdr &hdr) { return hdr.hasLongName(); }
    static bool hasLongName(const coff_syment &sym) { return sym.hasLongName(); }

    // ---- Predicates ----
    static bool isArray(const coff_syment &s) { return typeIsArray(s.n_type); }
    static bool isFunction(const coff_syment &s) { return typeIsFunction(s.n_type); }
    static bool isTag(const coff_syment &s);
    static bool isAggregate(const coff_syment &s) { return typeIsAggregate(s.n_type); }
    static bool isSectionSymbol(const coff_syment &s);
    static bool isRelocatable(const coff_syment &s);
    static bool isExternalDef(const coff_syment &s) { return s.n_sclass == C_EXT && s.n_scnum >= 1; }
    static bool isExternalRef(const coff_syment &s) { return s.n_sclass == C_EXT && s.n_scnum == 0; }
    static AuxKind auxKind(const coff_syment &s) { return auxKindOf(s); }

    static bool hasRelocInfo(const coff_filehdr &h) { return !(h.f_flags & F_RELFLG); }
    static bool isExecutable(const coff_filehdr &h) { return h.f_flags & F_EXEC; }
    static bool hasLineInfo(const coff_filehdr &h) { return !(h.f_flags & F_LNNO); }
    static bool hasLocalSymbols(const coff_filehdr &h) { return !(h.f_flags & F_LSYMS); }
    static bool isFunctionLine(const coff_lineno &l) { return l.l_flags & 1; }

    static SectionType sectionType(const coff_scnhdr &h);
    static bool isCode(const coff_scnhdr &h) { return h.s_flags & SCN_CODE; }
    static bool isIdata(const coff_scnhdr &h) { return h.s_flags & SCN_IDATA; }
    static bool isUdata(const coff_scnhdr &h) { return h.s_flags & SCN_UDATA; }
    static bool isRomdata(const coff_scnhdr &h) { return h.s_flags & SCN_ROMDATA; }
    static bool isAbsolute(const coff_scnhdr &h) { return h.s_flags & SCN_ABS; }
    static bool isShared(const coff_scnhdr &h) { return h.s_flags & SCN_SHARED; }
    static bool isOverlay(const coff_scnhdr &h) { return h.s_flags & SCN_OVERLAY; }
    static bool isAccess(const coff_scnhdr &h) { return h.s_flags & SCN_ACCESS; }
    // s_flags becomes the type bit and the attribute bits; overlay is cleared.
    static void setSectionFlags(coff_scnhdr &h, SectionType type, bool absolute, bool shared, bool access);

    const std::string &name() const { return cName; }

    // The raw data of a section whose bytes go into program memory (a code
    // or ROM-data section), or null when the section is of another type or
    // has no bytes.
    const Data *programData(const std::string &name, const coff_scnhdr &hdr) const;

    // ---- The image ----
    std::string cName;
    coff_filehdr cFileHdr;
    coff_opthdr cOptHdr;
    std::map<int32_t, std::string> cScnNum;          // section number (from 1) -> name
    std::map<std::string, coff_scnhdr> cScnHdr;      // name -> header
    std::map<std::string, Data> cRawData;            // name -> contents
    std::map<std::string, std::vector<reloc>> cReloc;  // name -> relocation entries in file order
    std::map<std::string, std::vector<coff_lineno>> cLineInfo; // name -> line numbers in file order
    std::vector<coff_syment> cSymbols;               // every slot, primary and auxiliary
    std::vector<int32_t> cAuxKind;                   // per slot: 0 primary, else the AuxKind
    StrTbl cStrTbl;                                  // offset -> string

private:
    struct Layout;
    Layout layout() const;
    void layOut(bool stampTime);
    bool hasCanonicalLayout() const;
    bool writeImage(std::ostream &out, uint64_t start, const std::string &library) const;
};

// Record printers of the dump, one line (or one block) per record.
void printRecord(std::ostream &out, const coff_filehdr &h);
void printRecord(std::ostream &out, const coff_opthdr &h);
void printRecord(std::ostream &out, const coff_scnhdr &h);
void printRecord(std::ostream &out, const reloc &r);
void printRecord(std::ostream &out, const coff_lineno &l);
void printRecord(std::ostream &out, const coff_syment &s);
void printRecord(std::ostream &out, const gnu_lineno &l);
void printRecord(std::ostream &out, const aux_file &a);
void printRecord(std::ostream &out, const aux_scn &a);
void printRecord(std::ostream &out, const aux_tag &a);
void printRecord(std::ostream &out, const aux_eos &a);
void printRecord(std::ostream &out, const aux_fcn &a);
void printRecord(std::ostream &out, const aux_arr &a);
void printRecord(std::ostream &out, const aux_eobf &a);
void printRecord(std::ostream &out, const aux_bobf &a);
void printRecord(std::ostream &out, const aux_var &a);
