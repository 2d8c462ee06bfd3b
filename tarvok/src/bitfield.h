// The bit field of an instruction word that a relocation fills, and the
// one routine that writes it. It sits below the patchers and the linker and
// knows nothing of either.
#pragma once

#include "data.h"

#include <cstdint>

// `width` bits of a value, from its bit srcBegin, go into the word from its
// bit dstBegin.
struct BitField
{
    uint16_t srcBegin;
    uint16_t dstBegin;
    uint16_t width;
};

// Copies the field's bits of value into the 16-bit little-endian word at
// rawOffset of the data, keeping every other bit. The field must lie inside
// the data.
void insertBits(Data &data, uint32_t rawOffset, uint32_t value, const BitField &field);
