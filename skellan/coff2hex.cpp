// From executable to hex image: which sections are taken, how "/r" cuts
// them, and where each run lands.

#include "coff2hex.h"

#include "coff.h"
#include "diag.h"
#include "pathinfo.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Byte addresses end here: every format addresses at most 32 bits.
const uint64_t BYTE_ADDRESS_LIMIT = uint64_t(1) << 32;

// The bytes that the taken sections of a part with one byte a location
// hold, as intervals sorted by their first byte, each with the farthest end
// reached by it and the intervals before it, so that one binary search
// tells whether any section has a byte of its own at an address.
class SectionBytes
{
public:
    void add(uint64_t start, uint64_t size) { cSpans.push_back({start, start + size}); }
    void index()
    {
        std::sort(cSpans.begin(), cSpans.end());
        uint64_t reach = 0;
        for (auto &span : cSpans) {
            reach = std::max(reach, span.second);
            span.second = reach;
        }
    }
    bool holds(uint64_t address) const
    {
        auto after = std::upper_bound(cSpans.begin(), cSpans.end(), std::make_pair(address, UINT64_MAX));
        return after != cSpans.begin() && std::prev(after)->second > address;
    }

private:
    // First byte, and the farthest end of this and every earlier interval.
    std::vector<std::pair<uint64_t, uint64_t>> cSpans;
};

} // namespace

bool Coff2Hex::addRun(const Coff &coff, const std::string &section, uint64_t start, const uint8_t *bytes,
                      uint64_t size)
{
    if (size > UINT32_MAX || start + size > BYTE_ADDRESS_LIMIT) {
        report(SEV_ERROR, "Coff2Hex::convert()",
               "Section '" + section + "' of Coff file '" + coff.name() +
                   "' lies beyond byte address 0xffffffff; no hex format can hold it.",
               false);
        return false;
    }
    cRanges.emplace_back(uint32_t(start), Data(uint32_t(size), bytes));
    return true;
}

Hex *Coff2Hex::convert(const Coff &coff, const std::vector<AddrRange> &ranges)
{
    // A width of 0 (the foreign layout has no optional header) or beyond
    // 32 bits would put every byte at a meaningless address.
    uint32_t widthBits = coff.cOptHdr.rom_width_bits;
    if (widthBits == 0 || widthBits > 32) {
        report(SEV_ERROR, "Coff2Hex::convert()",
               "Coff file '" + coff.name() + "' has a program word of " + std::to_string(widthBits) +
                   " bits; only 1 to 32 bits can be converted.",
               false);
        return nullptr;
    }
    const uint64_t bytesPerWord = (widthBits + 7) / 8;

    // On parts with one byte a location, a section of an odd number of
    // bytes is padded to a whole 2-byte word only when its last byte is the
    // low byte of a word and no other section has a byte of its own at the
    // pad's address: a pad must never give a byte a second value, nor lie
    // past the end of program memory.
    SectionBytes taken;
    if (bytesPerWord == 1) {
        for (const auto &entry : coff.cScnHdr)
            if (const Data *raw = coff.programData(entry.first, entry.second))
                taken.add(entry.second.s_paddr, raw->size());
        taken.index();
    }

    size_t runsMade = 0;
    std::vector<uint8_t> run;
    // cScnHdr iterates in name order, so the runs do not depend on the order
    // of the sections in the file.
    for (const auto &entry : coff.cScnHdr) {
        // Named references rather than a structured binding, which the
        // lambdas below could not capture on every compiler.
        const std::string &name = entry.first;
        const coff_scnhdr &hdr = entry.second;
        const Data *raw = coff.programData(name, hdr);
        if (!raw)
            continue;
        const uint8_t *bytes = raw->data();
        const uint64_t size = raw->size();
        bool pad = size % 2 != 0;
        if (pad && bytesPerWord == 1) {
            const uint64_t padAddress = hdr.s_paddr + size;
            pad = padAddress % 2 != 0 && !taken.holds(padAddress);
        }
        const uint64_t padded = pad ? size + 1 : size;
        auto byteAt = [&](uint64_t p) -> uint8_t { return p < size ? bytes[p] : 0; };

        if (ranges.empty()) {
            const uint8_t *whole = bytes;
            if (padded != size) {
                run.assign(bytes, bytes + size);
                run.resize(padded, 0);
                whole = run.data();
            }
            if (!addRun(coff, name, bytesPerWord * hdr.s_paddr, whole, padded))
                return nullptr;
            ++runsMade;
            continue;
        }

        // Locations are counted in 64 bits, so a section near the top of the
        // address space never wraps round into the ranges' low addresses.
        bool open = false;
        uint64_t runStart = 0;
        auto closeRun = [&]() -> bool {
            open = false;
            ++runsMade;
            return addRun(coff, name, bytesPerWord * runStart, run.data(), run.size());
        };
        // One location holds one byte on 8-bit program words: each byte is
        // selected at its own address, and the pad byte only together with
        // the last byte, whose word it completes. Wider words take two bytes
        // a location.
        const uint64_t bytesPerStep = bytesPerWord == 1 ? 1 : 2;
        const uint64_t walked = bytesPerWord == 1 ? size : padded;
        uint64_t location = hdr.s_paddr;
        for (uint64_t p = 0; p < walked; p += bytesPerStep, ++location) {
            if (inAddrRanges(location, ranges)) {
                if (!open) {
                    open = true;
                    runStart = location;
                    run.clear();
                }
                for (uint64_t i = 0; i < bytesPerStep; ++i)
                    run.push_back(byteAt(p + i));
            } else if (open && !closeRun()) {
                return nullptr;
            }
        }
        if (open && bytesPerWord == 1 && pad && inAddrRanges(location, ranges))
            run.push_back(0);
        if (open && !closeRun())
            return nullptr;
    }
    if (!ranges.empty() && runsMade == 0)
        return nullptr;
    // The output goes to the current directory, whatever directory the
    // input was read from.
    cFileBaseName = PathInfo(coff.name()).baseName();
    return this;
}
