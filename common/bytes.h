// Little-endian byte helpers for every on-disk record of the suite.
// Records are never read or written as structs: each field is packed and
// unpacked through these, so neither padding nor host byte order reaches a
// file.
#pragma once

#include <cstdint>

inline uint16_t getU16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t getU32(const uint8_t *p) { return getU16(p) | uint32_t(getU16(p + 2)) << 16; }
inline void putU16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putU32(uint8_t *p, uint32_t v)
{
    putU16(p, uint16_t(v));
    putU16(p + 2, uint16_t(v >> 16));
}
