// Relocation patching: completes the instruction words that the object
// files left open, one relocation entry at a time, with the patcher of the
// linked device family.

#include "linker.h"

#include "diag.h"

bool Linker::doPatch(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                     const StrTbl &strTbl, std::string &err)
{
    switch (cFamily) {
    case FAMILY_CORE16E:
        return doPatchCore16E(loadStart, data, rel, symbols, strTbl, err);
    case FAMILY_CORE16:
        return doPatchCore16(data, rel, symbols, err);
    case FAMILY_CORE12:
        return doPatchCore12(data, rel, symbols, err);
    case FAMILY_CORE14:
        return doPatchCore14(data, rel, symbols, err);
    default:
        return false;
    }
}

void Linker::insertBits(Data &data, uint32_t rawOffset, uint32_t value, uint16_t srcBegin, uint16_t dstBegin,
                        uint16_t width)
{
    SUITE_ASSERT(width <= 16);
    SUITE_ASSERT(srcBegin < 32);
    SUITE_ASSERT(dstBegin < 16);
    SUITE_ASSERT((srcBegin + width) < 32);
    // The whole field, not only its first byte, must lie inside the data.
    SUITE_ASSERT(8 * uint64_t(rawOffset) + dstBegin + width <= 8 * uint64_t(data.size()));
    uint8_t *bytes = data.data();
    for (uint16_t i = 0; i < width; ++i) {
        uint64_t bitPos = 8 * uint64_t(rawOffset) + dstBegin + i;
        uint8_t mask = uint8_t(1u << (bitPos % 8));
        if ((value >> (srcBegin + i)) & 1)
            bytes[bitPos / 8] |= mask;
        else
            bytes[bitPos / 8] &= uint8_t(~mask);
    }
}
