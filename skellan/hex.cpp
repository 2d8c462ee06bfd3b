// Intel-hex writer: data records of at most 16 bytes that never cross a
// 16-byte boundary, extended linear address records for INHX32, and the
// 64K guard of the two 16-bit formats.

#include "hex.h"

#include "diag.h"
#include "safefile.h"
#include "text.h"

#include <algorithm>

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";
const char END_RECORD[] = ":00000001FF\n";

// One record: count, 16-bit address, type, the count bytes taken every
// stride bytes from the first, and the checksum that brings the sum of all
// record bytes to 0 in 8 bits. Formatted in place, written in one piece.
void putRecord(std::ostream &out, uint8_t type, uint16_t address, const uint8_t *bytes, size_t count,
               size_t stride)
{
    SUITE_ASSERT(count <= 255);
    char text[1 + 2 * (4 + 255 + 1) + 1];
    size_t n = 0;
    text[n++] = ':';
    uint8_t sum = 0;
    auto put = [&](uint8_t value) {
        text[n++] = HEX_DIGITS[value >> 4];
        text[n++] = HEX_DIGITS[value & 0x0F];
        sum = uint8_t(sum + value);
    };
    put(uint8_t(count));
    put(uint8_t(address >> 8));
    put(uint8_t(address));
    put(type);
    for (size_t i = 0; i < count; ++i)
        put(bytes[i * stride]);
    put(uint8_t(-sum));
    text[n++] = '\n';
    out.write(text, std::streamsize(n));
}

} // namespace

void HexRange::print(std::ostream &out) const
{
    out << "HexRange: cStart=" << hexString(cStart, 2) << ", cData=";
    cData.print(out);
}

void Hex::print(std::ostream &out) const
{
    out << "Hex: cFileBaseName=" << cFileBaseName << ", cRanges:\n";
    for (const HexRange &run : cRanges)
        run.print(out);
}

void Hex::sortRanges() { std::stable_sort(cRanges.begin(), cRanges.end()); }

std::vector<std::string> Hex::fileNames(uint8_t format) const
{
    if (format == HEX_INHX8S)
        return {cFileBaseName + ".hxl", cFileBaseName + ".hxh"};
    return {cFileBaseName + ".hex"};
}

bool Hex::write(uint8_t format)
{
    if (format != HEX_INHX8M && format != HEX_INHX8S && format != HEX_INHX32)
        return false;
    bool ok = format == HEX_INHX8S ? writeSplit() : writeBytes(format);
    cOpenFiles.clear();
    return ok;
}

namespace {

bool openFile(SafeFile &file, const std::string &name)
{
    std::string err;
    if (file.open(name, err))
        return true;
    report(SEV_ERROR, "Hex::write()", "Could not open hex file '" + name + "' for writing.", false);
    return false;
}

} // namespace

bool Hex::writeBytes(uint8_t format)
{
    SafeFile file(cCalls);
    if (!openFile(file, fileNames(format)[0]))
        return false;
    cOpenFiles = {&file};
    sortRanges();
    bool first = true;
    for (const HexRange &run : cRanges) {
        const uint8_t *bytes = run.cData.data();
        uint64_t left = run.cData.size();
        uint64_t address = run.cStart;
        // Every run starts a new record, even right after the previous run.
        while (left > 0) {
            doLinearAddressRecord(file, address, format, first);
            first = false;
            uint64_t count = std::min<uint64_t>(16 - address % 16, left);
            putRecord(file.stream(), 0, uint16_t(address), bytes, count, 1);
            bytes += count;
            left -= count;
            address += count;
        }
    }
    file.stream() << END_RECORD;
    return commitAll(true);
}

bool Hex::writeSplit()
{
    // The words are split into their low and high bytes, the even byte of
    // each pair being the low one. A run of one-byte program words may begin
    // at an odd address or end in half a word; splitting it would move bytes
    // to the wrong addresses, so it is refused.
    for (const HexRange &run : cRanges) {
        if (run.cStart % 2 != 0 || run.cData.size() % 2 != 0) {
            report(SEV_ERROR, "Hex::write()",
                   "Selected hex format needs whole 16-bit words, but " + std::to_string(run.cData.size()) +
                       " bytes start at byte address " + hexString(run.cStart, 4) + "; use INHX8M or INHX32 format!",
                   false);
            return false;
        }
    }
    SafeFile low(cCalls);
    SafeFile high(cCalls);
    std::vector<std::string> names = fileNames(HEX_INHX8S);
    if (!openFile(low, names[0]) || !openFile(high, names[1]))
        return false;
    cOpenFiles = {&low, &high};
    sortRanges();
    bool first = true;
    for (const HexRange &run : cRanges) {
        const uint8_t *bytes = run.cData.data();
        uint64_t pairs = run.cData.size() / 2;
        uint64_t word = run.cStart >> 1;
        while (pairs > 0) {
            doLinearAddressRecord(low, word, HEX_INHX8S, first);
            doLinearAddressRecord(high, word, HEX_INHX8S, first);
            first = false;
            uint64_t count = std::min<uint64_t>(16 - word % 16, pairs);
            putRecord(low.stream(), 0, uint16_t(word), bytes, count, 2);
            putRecord(high.stream(), 0, uint16_t(word), bytes + 1, count, 2);
            bytes += 2 * count;
            pairs -= count;
            word += count;
        }
    }
    low.stream() << END_RECORD;
    high.stream() << END_RECORD;
    return commitAll(true);
}

bool Hex::commitAll(bool reportFailure)
{
    // Every file is finished (written out, flushed to the disk and closed)
    // before the first one is renamed over its predecessor, and the renames
    // run with the cleanup signals held back, so neither a failed write
    // nor a signal leaves a new file beside an old one.
    SafeFile *failed = nullptr;
    std::string err;
    if (SafeFile::commitTogether(cOpenFiles, failed, err, cBetweenRenames))
        return true;
    if (reportFailure)
        report(SEV_ERROR, "Hex::write()", "Could not write hex file '" + failed->path() + "': " + err + ".", false);
    return false;
}

void Hex::doLinearAddressRecord(SafeFile &file, uint64_t address, uint8_t format, bool first)
{
    if (first)
        cLastUpper = address;
    if (format == HEX_INHX32) {
        // The image builder keeps every byte below 4G.
        SUITE_ASSERT(address <= 0xFFFFFFFFu);
        if (first || (address >> 16) != (cLastUpper >> 16)) {
            cLastUpper = address;
            uint8_t upper[2] = {uint8_t(address >> 24), uint8_t(address >> 16)};
            putRecord(file.stream(), 4, 0, upper, 2, 1);
        }
        return;
    }
    if (address >> 16 != 0) {
        // The records written so far stay in the files.
        commitAll(false);
        report(SEV_ERROR, "Hex::doLinearAddressRecord()",
               "Selected hex format does not support byte addresses above 64kb; use INHX32 format!", true);
    }
}
