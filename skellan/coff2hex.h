// Builds the hex image of an executable: the contents of its code and
// romdata sections, whole or only the locations inside the "/r" ranges,
// each run at the byte address where it belongs in the programming file.
#pragma once

#include "addrrange.h"
#include "hex.h"

#include <cstdint>
#include <string>
#include <vector>

class Coff;

class Coff2Hex : public Hex
{
public:
    // Adds the runs of the object's code and romdata sections in section
    // name order and names the output after the object's base name. Returns
    // this image, or none when the ranges select nothing (nothing reported)
    // or the object cannot be converted (reported).
    Hex *convert(const Coff &coff, const std::vector<AddrRange> &ranges);

private:
    bool addRun(const Coff &coff, const std::string &section, uint64_t start, const uint8_t *bytes, uint64_t size);
};
