// The hex image and its Intel-hex writer. The image is a list of runs of
// bytes, each at the byte address where it belongs in the programming file.
// Sample of an "INHX32" file with a run of 20 bytes at byte address 0x0C:
//
//   :020000040000FA
//   :04000C0000010203EA
//   :100010000405060708090A0B0C0D0E0F1011121328
//   :00000001FF
//
// "INHX8M" has the same records without the extended linear address
// records; "INHX8S" splits every 16-bit word into a low-byte file (".hxl")
// and a high-byte file (".hxh"), both addressed in words.
#pragma once

#include "data.h"
#include "pathwalk.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class SafeFile;

// One run of the image. Runs built from 12-, 14- and 16-bit program words
// hold whole words and so always an even number of bytes; runs of 8-bit
// program words may start at any address and hold any number of bytes.
class HexRange
{
public:
    HexRange() = default;
    HexRange(uint32_t start, const Data &data) : cStart(start), cData(data) {}
    HexRange(uint32_t start, Data &&data) : cStart(start), cData(std::move(data)) {}
    HexRange(const HexRange &) = default;
    HexRange &operator=(const HexRange &) = default;
    HexRange(HexRange &&) noexcept = default;
    HexRange &operator=(HexRange &&) noexcept = default;
    ~HexRange() = default;

    // Runs order by their byte address alone.
    bool operator<(const HexRange &other) const { return cStart < other.cStart; }
    void print(std::ostream &out) const;

    uint32_t cStart = 0;
    Data cData;
};

// Format selector of Hex::write.
const uint8_t HEX_INHX8M = 0;
const uint8_t HEX_INHX8S = 1;
const uint8_t HEX_INHX32 = 2;

class Hex
{
public:
    Hex() = default;
    Hex(const Hex &) = default;
    Hex &operator=(const Hex &) = default;
    ~Hex() = default;

    // Sorts the runs by byte address; runs with equal addresses keep the
    // order in which they were built, so the output never depends on chance.
    void sortRanges();
    // Writes "<cFileBaseName>.hex" (INHX8M, INHX32) or ".hxl" and ".hxh"
    // (INHX8S). False when a file cannot be written, when INHX8S is asked to
    // split bytes that are not whole words, or (silently) for an unknown
    // format. An address beyond 64K in INHX8M or INHX8S ends the program
    // (exit code 255) with the records written so far in place.
    bool write(uint8_t format);
    // The files write(format) writes, in the order it opens them.
    std::vector<std::string> fileNames(uint8_t format) const;
    void print(std::ostream &out) const;

    std::string cFileBaseName;
    std::vector<HexRange> cRanges;
    // Runs between the renames of the INHX8S pair, and the system calls on
    // the files' names (a test's ways in).
    std::function<void()> cBetweenRenames;
    FileCalls cCalls;

protected:
    // Checks the address against the format and, for INHX32, writes an
    // extended linear address record when a new 64K page begins; first is
    // true for the first record of a file.
    void doLinearAddressRecord(SafeFile &file, uint64_t address, uint8_t format, bool first);

private:
    bool writeBytes(uint8_t format);
    bool writeSplit();
    bool commitAll(bool reportFailure);

    // The upper address of the last extended linear address record.
    uint64_t cLastUpper = 0;
    // The files being written, so that a fatal address error can put the
    // records written so far in place before the program ends.
    std::vector<SafeFile *> cOpenFiles;
};
