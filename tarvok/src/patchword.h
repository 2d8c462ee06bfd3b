// What the relocation patchers of the four device families share: the
// entry's symbol and target value, the room check, the instruction words
// built for bank and page selection, and the write of a bit field or of
// whole words with its trace line.
#pragma once

#include "bitfield.h"
#include "coff_format.h"
#include "data.h"
#include "mginst.h"

#include <cstdint>
#include <string>
#include <vector>

// The message of every patcher for a type its family does not accept.
extern const char *const UNSUPPORTED_RELOC_TYPE;

// The entry's symbol slot, or null with err set when r_symndx lies outside
// the symbol table.
const coff_syment *relocSymbol(const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err);

// How every patcher starts: the entry's symbol slot, or null with err set
// when the family does not accept the entry's type
// (UNSUPPORTED_RELOC_TYPE) or r_symndx lies outside the symbol table.
const coff_syment *acceptedRelocSymbol(DeviceFamily family, const reloc &rel, const std::vector<coff_syment> &symbols,
                                       std::string &err);

// The target: the symbol's value plus the sign-extended addend, in 32 bits
// with wrap-around.
uint32_t relocTarget(const coff_syment &sym, const reloc &rel);

// True when `words` 16-bit words from rawOffset lie inside the data; else
// err names the offset and the size of the data.
bool relocHasRoom(const Data &data, uint32_t rawOffset, uint32_t words, std::string &err);

// A whole instruction built from a zero word: the mnemonic's opcode, then
// operand 0 and, for the second form, operand 1.
uint16_t buildInstruction(MnemonicIndex mnemonic, uint16_t operand0, DeviceFamily family);
uint16_t buildInstruction(MnemonicIndex mnemonic, uint16_t operand0, uint16_t operand1, DeviceFamily family);
// "BSF reg,bit" when set, else "BCF reg,bit".
uint16_t buildBitSelect(bool set, uint16_t reg, uint16_t bit, DeviceFamily family);

// One relocation entry being patched: the patcher (its trace switch, such
// as "Linker::doPatchCore14"), the section's raw data, the entry's type,
// the offset of its word in the data and the linked family.
struct PatchSite
{
    const std::string &patcher;
    Data &data;
    uint16_t type;
    uint32_t rawOffset;
    DeviceFamily family;
};

// The fields that several families fill alike.
inline constexpr BitField LOW_BYTE{.srcBegin = 0, .dstBegin = 0, .width = 8};
inline constexpr BitField HIGH_BYTE{.srcBegin = 8, .dstBegin = 0, .width = 8};
inline constexpr BitField WHOLE_WORD{.srcBegin = 0, .dstBegin = 0, .width = 16};

// Writes the field of value into the site's word and prints the patcher's
// trace line when its switch is on. False with err set, and nothing
// written, when the word lies outside the data. `lineEnd` closes the trace
// line.
bool patchField(const PatchSite &site, uint32_t value, const BitField &field, std::string &err,
                const char *lineEnd = "\n");

// Writes one or two built words, the second at rawOffset + 2, all 16 bits
// each; `selectors` is the trace's text of the selecting bits (", rp0=1").
// False with err set, and nothing written, when a word lies outside the data.
bool patchWords(const PatchSite &site, const std::vector<uint16_t> &words, const std::string &selectors,
                std::string &err);

// The trace line of a patcher that had nothing to write.
void traceNothing(const std::string &patcher, const std::string &text);

// The trace's text of one selecting bit: ", name=1" or ", name=0".
std::string selectorText(const char *name, bool set);

// One bit that selects a bank or page: its name in the trace, its value and
// its number in the selecting register.
struct SelectBit {
    const char *name;
    bool set;
    uint16_t bit;
};

// Bank or page selection through BSF/BCF on bits of one register, by the
// device's count of banks or pages: nothing but the trace line `nothing`
// when the count is 1 or less, the low bit alone when it is 2, both bits
// when it is more.
bool patchSelectBits(const PatchSite &site, uint32_t count, const std::string &nothing, uint16_t reg,
                     const SelectBit &low, const SelectBit &high, std::string &err);

// Page selection through W: MOVLW of bits 8 to 15 of the target, then MOVWF
// to the register `latch` that holds the upper bits of the program counter.
bool patchPageLatch(const PatchSite &site, uint32_t target, uint16_t latch, std::string &err);
