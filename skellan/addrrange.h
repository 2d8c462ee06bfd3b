// The address filter of the "/r" switch: one inclusive range of
// program-memory locations (the units of a section's s_paddr: words on
// 12-, 14- and 16-bit parts, bytes on 8-bit-word parts).
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

class AddrRange
{
public:
    AddrRange() = default;
    AddrRange(uint32_t start, uint32_t end) : cStart(start), cEnd(end) {}
    AddrRange(const AddrRange &) = default;
    AddrRange &operator=(const AddrRange &) = default;
    ~AddrRange() {}

    // Locations are taken in 64 bits so that a location past the 32-bit
    // space is never mistaken for a low one.
    bool contains(uint64_t address) const { return cStart <= address && address <= cEnd; }
    void print(std::ostream &out) const;

    uint32_t cStart = 0;
    uint32_t cEnd = 0;
};

// True when any range of the list holds the location; false for no ranges.
bool inAddrRanges(uint64_t address, const std::vector<AddrRange> &ranges);
