#include "patchword.h"

#include "debugsw.h"
#include "reloctype.h"
#include "text.h"

#include <iostream>

const char *const UNSUPPORTED_RELOC_TYPE = "unsupported relocation type.";

namespace {

// Writes the field into the word at rawOffset, which lies inside the data.
// Uninitialised data (zero fill) is not built for it: its bytes reach no
// output, so the word is patched in a scratch copy of its two bytes.
void writeField(Data &data, uint32_t rawOffset, uint32_t value, const BitField &field)
{
    if (!data.isZeroFill()) {
        insertBits(data, rawOffset, value, field);
        return;
    }
    Data word(2);
    insertBits(word, 0, value, field);
}

} // namespace

const coff_syment *relocSymbol(const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    if (rel.r_symndx >= symbols.size()) {
        err = "relocation at offset " + std::to_string(rel.r_vaddr) + " names symbol index " +
              std::to_string(rel.r_symndx) + ", which is outside the symbol table.";
        return nullptr;
    }
    return &symbols[rel.r_symndx];
}

const coff_syment *acceptedRelocSymbol(DeviceFamily family, const reloc &rel, const std::vector<coff_syment> &symbols,
                                       std::string &err)
{
    if (!relocTypeAccepted(rel.r_type, family)) {
        err = UNSUPPORTED_RELOC_TYPE;
        return nullptr;
    }
    return relocSymbol(rel, symbols, err);
}

uint32_t relocTarget(const coff_syment &sym, const reloc &rel)
{
    return sym.n_value + uint32_t(int32_t(rel.r_offset));
}

bool relocHasRoom(const Data &data, uint32_t rawOffset, uint32_t words, std::string &err)
{
    if (uint64_t(rawOffset) + 2 * uint64_t(words) <= data.size())
        return true;
    err = std::string(words == 1 ? "the relocated word at offset " : "the relocated words at offset ") +
          std::to_string(rawOffset) + (words == 1 ? " lies" : " lie") + " outside the section's " +
          std::to_string(data.size()) + " bytes of raw data.";
    return false;
}

uint16_t buildInstruction(MnemonicIndex mnemonic, uint16_t operand0, DeviceFamily family)
{
    uint16_t word = 0;
    inst_put_opcode(word, mnemonic, family);
    inst_put_operand0(word, operand0, family);
    return word;
}

uint16_t buildInstruction(MnemonicIndex mnemonic, uint16_t operand0, uint16_t operand1, DeviceFamily family)
{
    uint16_t word = buildInstruction(mnemonic, operand0, family);
    inst_put_operand1(word, operand1, family);
    return word;
}

uint16_t buildBitSelect(bool set, uint16_t reg, uint16_t bit, DeviceFamily family)
{
    return buildInstruction(set ? MN_BSF : MN_BCF, reg, bit, family);
}

bool patchField(const PatchSite &site, uint32_t value, const BitField &field, std::string &err, const char *lineEnd)
{
    if (!relocHasRoom(site.data, site.rawOffset, 1, err))
        return false;
    if (debugLevel(site.patcher))
        std::cout << site.patcher << "() -  " << relocTypeName(site.type) << ", srcBegin=" << field.srcBegin
                  << ", dstBegin=" << field.dstBegin << ", width=" << field.width << ", rawOffset=" << site.rawOffset
                  << ", value=" << hexString(value, 2) << lineEnd;
    writeField(site.data, site.rawOffset, value, field);
    return true;
}

bool patchWords(const PatchSite &site, const std::vector<uint16_t> &words, const std::string &selectors,
                std::string &err)
{
    if (!relocHasRoom(site.data, site.rawOffset, uint32_t(words.size()), err))
        return false;
    if (debugLevel(site.patcher)) {
        std::cout << site.patcher << "() -  " << relocTypeName(site.type)
                  << ", srcBegin=0, dstBegin=0, width=16, rawOffset=" << site.rawOffset << selectors;
        for (size_t i = 0; i < words.size(); ++i)
            std::cout << ", opcode" << (i + 1) << "=" << hexString(words[i], 2);
        std::cout << '\n';
    }
    for (size_t i = 0; i < words.size(); ++i)
        writeField(site.data, site.rawOffset + 2 * uint32_t(i), words[i], WHOLE_WORD);
    return true;
}

void traceNothing(const std::string &patcher, const std::string &text)
{
    if (debugLevel(patcher))
        std::cout << patcher << "() - " << text << '\n';
}

std::string selectorText(const char *name, bool set) { return std::string(", ") + name + "=" + (set ? "1" : "0"); }

bool patchSelectBits(const PatchSite &site, uint32_t count, const std::string &nothing, uint16_t reg,
                     const SelectBit &low, const SelectBit &high, std::string &err)
{
    if (count <= 1) {
        traceNothing(site.patcher, nothing);
        return true;
    }
    std::vector<uint16_t> words{buildBitSelect(low.set, reg, low.bit, site.family)};
    std::string selectors = selectorText(low.name, low.set);
    if (count > 2) {
        words.push_back(buildBitSelect(high.set, reg, high.bit, site.family));
        selectors += selectorText(high.name, high.set);
    }
    return patchWords(site, words, selectors, err);
}

bool patchPageLatch(const PatchSite &site, uint32_t target, uint16_t latch, std::string &err)
{
    return patchWords(site,
                      {buildInstruction(MN_MOVLW, uint16_t((target >> 8) & 0xff), site.family),
                       buildInstruction(MN_MOVWF, latch, site.family)},
                      "", err);
}
