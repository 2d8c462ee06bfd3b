// Inputs shared by the hex converter's tests: runs of counting bytes and
// executables for a part of a given program-word width.
#pragma once

#include "coffbuilder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Any processor type: the converter does not look at it.
inline constexpr uint32_t HEX_TEST_PROC = 0x2A10;

// count bytes from, from + 1, ... (wrapping at 256).
inline std::vector<uint8_t> counting(uint8_t from, size_t count)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(uint8_t(from + i));
    return bytes;
}

// An executable for a part with the given program-word width.
inline CoffBuilder executable(uint32_t romWidthBits)
{
    CoffBuilder b;
    b.flags(0x0002).processor(HEX_TEST_PROC, romWidthBits, 8);
    return b;
}
