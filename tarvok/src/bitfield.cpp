// Bit insertion into little-endian instruction words.

#include "bitfield.h"

#include "diag.h"

void insertBits(Data &data, uint32_t rawOffset, uint32_t value, const BitField &field)
{
    const uint16_t srcBegin = field.srcBegin, dstBegin = field.dstBegin, width = field.width;
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
