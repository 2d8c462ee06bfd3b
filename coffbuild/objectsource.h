// One assembler source file, described the way an assembler
// would have turned it into an object: its sections, the instruction words
// and data they hold, labels, symbols of other files, the relocations that
// leave addresses to the linker, and the source line of every instruction.
//
//   ObjectSource s(proc, "main.asm", "defs.inc", 2);
//   s.code("main_code");
//   s.label("start", true);
//   s.ins(14, "movlw", {0x05});
//   s.ins(16, "movwf", {0}, "count", RELOCT_F);
//   s.external("count");
//   std::vector<uint8_t> image = s.build().bytes();
//
// The example's objects and the benchmark's are made this way; they differ
// in two conventions of the assembler they imitate (SourceConventions).
#pragma once

#include "coff_format.h"
#include "coffbuilder.h"
#include "mgproc.h"

#include <cstdint>
#include <string>
#include <vector>

// The storage class of the ".eof" symbol that ends a source file.
const uint8_t C_EOF = 107;

// The conventions of the assembler whose objects are imitated.
struct SourceConventions
{
    // The storage class of the ".eof" symbols.
    uint8_t eofClass = C_EOF;
    // Whether the second word of a two-word instruction gets a line entry
    // of its own (with the line of its first word).
    bool secondWordLines = true;
};

class ObjectSource
{
public:
    // A source that includes `include` at line `includeLine` (no include
    // when the name is empty).
    ObjectSource(ProcessorCode proc, const std::string &source, const std::string &include = "",
                 uint32_t includeLine = 0, SourceConventions conventions = {});

    // Starts a relocatable code section; instructions and labels go to it.
    void code(const std::string &section);
    // A section of initialised data holding one labelled run of bytes.
    void idata(const std::string &section, const std::string &label, bool global,
               const std::vector<uint8_t> &bytes);
    // A section of program memory holding one labelled run of data bytes.
    void romdata(const std::string &section, const std::string &label, bool global,
                 const std::vector<uint8_t> &bytes);
    // A section of uninitialised data of one labelled variable; a shared one
    // goes to a bank that every bank sees.
    void udata(const std::string &section, const std::string &label, bool global, uint32_t size,
               bool shared = false);

    // A label at the current address of the code section.
    void label(const std::string &name, bool global);
    // One instruction word of the current code section, written on the
    // source line `line`: the mnemonic (as written) with its operands in the
    // order the family's encoder numbers them. With a symbol, the word gets
    // a relocation of that type for it.
    void ins(uint16_t line, const std::string &mnemonic, const std::vector<uint16_t> &operands = {},
             const std::string &symbol = "", uint16_t relocType = 0);
    // The words that "banksel symbol" reserves on source line `line`: one
    // MOVLB on the byte-addressed and 16-bit families, two bank-bit clears
    // on the 12-bit family, a bank-bit clear per bank bit the device has on
    // the 14-bit family; the linker rewrites them.
    void banksel(uint16_t line, const std::string &symbol);
    // The second word of a two-word instruction, on the source line of
    // its first (see SourceConventions): its fixed bits, and optionally a
    // relocation.
    void word2(uint16_t bits, const std::string &symbol = "", uint16_t relocType = 0);
    // A symbol that another file defines.
    void external(const std::string &name);

    // The object, built on the suite's own object model.
    CoffBuilder build() const;
    // True when every instruction's source line in `dir` names its mnemonic;
    // else false with the first mismatch in err.
    bool matchesSource(const std::string &dir, std::string &err) const;

    const std::string &sourceName() const { return cSource; }

private:
    struct Section
    {
        std::string name;
        uint32_t flags;
        std::vector<uint8_t> bytes;
        uint32_t size; // bytes of uninitialised data
    };
    struct Label
    {
        std::string name;
        std::string section;
        uint32_t value;
        uint8_t sclass;
    };
    struct Fixup
    {
        std::string section;
        uint32_t offset; // byte offset of the word
        std::string symbol;
        uint16_t type;
    };
    struct Line
    {
        std::string section;
        uint16_t line;
        uint32_t address;
        std::string mnemonic;
    };

    void dataSection(const std::string &section, uint32_t flags, const std::string &label, bool global,
                     const std::vector<uint8_t> &bytes);
    Section &current();
    // Program address of the next word of the current code section.
    uint32_t here();
    void putWord(uint16_t word, const std::string &symbol, uint16_t relocType);
    uint16_t encode(const std::string &mnemonic, const std::vector<uint16_t> &operands) const;

    ProcessorCode cProc;
    DeviceFamily cFamily;
    std::string cSource;
    std::string cInclude;
    uint32_t cIncludeLine;
    SourceConventions cConventions;
    std::vector<Section> cSections;
    std::vector<Label> cLabels;
    std::vector<std::string> cExternals;
    std::vector<Fixup> cFixups;
    std::vector<Line> cLines;
};
