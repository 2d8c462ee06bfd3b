// Object files, executables and libraries built in a few lines through the
// suite's own Coff model and written by its own writer: the tests' fixtures,
// the fuzz seeds, and the objects of the example and the benchmark.
//
//   std::vector<uint8_t> obj = CoffBuilder()
//       .processor(code)                               // from the processor table
//       .section(".code", SCN_CODE, {0x00, 0x28, 0x00, 0x00})
//       .file("main.asm")
//       .symbol("main", 0, ".code", C_EXT)
//       .symbol("target", 0, 0, C_EXT)                  // a reference
//       .reloc(".code", 0, "target", relocType)
//       .line(".code", 12, 0)
//       .bytes();
//   std::vector<uint8_t> lib = ArchiveBuilder()
//       .member("a.o", CoffBuilder().symbol(...))
//       .bytes();
//
// Sections are numbered 1, 2, ... in the order they are added; names of
// more than 8 characters go to the string table. Symbols and relocations
// refer to sections and symbols added before them. The time stamp is 0
// unless timeStamp() sets one, so the bytes are the same on every run.
// A misuse (an unknown section or symbol name) throws std::invalid_argument.
#pragma once

#include "archive.h"
#include "coff.h"
#include "mgproc.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CoffBuilder
{
public:
    // A relocatable object: 16-byte optional header, no flags.
    CoffBuilder();

    // ---- Headers ----
    CoffBuilder &name(const std::string &name);
    CoffBuilder &flags(uint16_t f_flags);
    CoffBuilder &processor(uint32_t procType, uint32_t romWidthBits, uint32_t ramWidthBits);
    // The processor's type word and word widths from the processor table.
    CoffBuilder &processor(ProcessorCode code);
    CoffBuilder &optMagic(uint16_t magic, uint16_t vstamp);
    CoffBuilder &timeStamp(uint32_t f_timdat);

    // ---- Sections ----
    // A section with contents; address goes to s_paddr (and vaddr to s_vaddr).
    CoffBuilder &section(const std::string &name, uint32_t flags, const std::vector<uint8_t> &bytes,
                         uint32_t address = 0, uint32_t vaddr = 0);
    // A section of size zero bytes without contents in the file (udata).
    CoffBuilder &udata(const std::string &name, uint32_t size, uint32_t address = 0, uint32_t moreFlags = 0);

    // ---- Symbols ----
    // A primary symbol in section number scnum (0 reference, -1 absolute,
    // -2 debugging) or in the named section.
    CoffBuilder &symbol(const std::string &name, uint32_t value, int16_t scnum, uint8_t sclass, uint16_t type = 0);
    CoffBuilder &symbol(const std::string &name, uint32_t value, const std::string &section, uint8_t sclass,
                        uint16_t type = 0);
    // An auxiliary slot after the last symbol, whose n_numaux becomes 1;
    // the slot's kind follows from that symbol.
    CoffBuilder &aux(const aux_file &a);
    CoffBuilder &aux(const aux_scn &a);
    CoffBuilder &aux(const aux_tag &a);
    CoffBuilder &aux(const aux_eos &a);
    CoffBuilder &aux(const aux_fcn &a);
    CoffBuilder &aux(const aux_arr &a);
    CoffBuilder &aux(const aux_eobf &a);
    CoffBuilder &aux(const aux_bobf &a);
    CoffBuilder &aux(const aux_var &a);
    // A ".file" symbol (debugging, class file) with its aux_file entry
    // naming the source in the string table; later lines refer to it.
    CoffBuilder &file(const std::string &source, uint32_t incline = 0);
    // The slot index of the first primary symbol of that name.
    uint32_t symbolIndex(const std::string &name) const;

    // ---- Relocations and line numbers ----
    CoffBuilder &reloc(const std::string &section, uint32_t vaddr, const std::string &symbol, uint16_t type,
                       int16_t addend = 0);
    CoffBuilder &relocIndex(const std::string &section, uint32_t vaddr, uint32_t symndx, uint16_t type,
                            int16_t addend = 0);
    // A line of the last ".file" source (slot 0 when there is none).
    CoffBuilder &line(const std::string &section, uint16_t lnno, uint32_t paddr);
    // A line of a function: l_flags 1 and l_fcnndx the function's slot.
    CoffBuilder &line(const std::string &section, uint16_t lnno, uint32_t paddr, const std::string &function);
    CoffBuilder &line(const std::string &section, const coff_lineno &l);

    // ---- Results ----
    // The object, laid out as the writer writes it.
    Coff coff() const;
    // The object's image.
    std::vector<uint8_t> bytes() const;

private:
    void setName(char name[8], bool section, const std::string &text);
    CoffBuilder &addAux(const uint8_t *bytes);
    const std::string &sectionName(const std::string &name) const;

    Coff cCoff;
    int32_t cNextScn = 1;
    uint32_t cLastFile = 0;
    size_t cLastSymbol = SIZE_MAX;
};

class ArchiveBuilder
{
public:
    // A member of that name (the name it is listed under).
    ArchiveBuilder &member(const std::string &name, const CoffBuilder &object);
    ArchiveBuilder &member(const std::string &name, const Coff &object);
    // The library in memory, its index built.
    Archive archive() const;
    // The library file's bytes.
    std::vector<uint8_t> bytes() const;

private:
    std::vector<std::pair<std::string, Coff>> cMembers;
};

// Reads an object from image bytes, as Coff::make reads a file.
std::unique_ptr<Coff> coffFromBytes(const std::vector<uint8_t> &image, const std::string &name = "mem.o");
