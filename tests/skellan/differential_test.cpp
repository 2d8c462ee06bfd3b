// The hex converter against a plain reference of its algorithm (a walk of
// every location with a linear search of the ranges, a stable sort of the
// runs, records cut at every 16-byte line), kept here only: the files it
// writes are compared byte for byte on random executables and on
// executables the linker makes from random projects.

#include "coff2hex.h"
#include "coffbuilder.h"
#include "diag.h"
#include "randproject.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Run
{
    uint32_t start;
    std::vector<uint8_t> bytes;
};

bool inRanges(uint32_t a, const std::vector<AddrRange> &ranges)
{
    for (const AddrRange &r : ranges)
        if (r.cStart <= a && a <= r.cEnd)
            return true;
    return false;
}

// True when a code or romdata section other than `self` has a byte at the address (one byte a location).
bool ownedByAnother(const Coff &coff, const std::string &self, uint64_t address)
{
    for (const auto &[name, hdr] : coff.cScnHdr) {
        int type = Coff::sectionType(hdr);
        auto raw = coff.cRawData.find(name);
        if (name != self && (type == 1 || type == 4) && raw != coff.cRawData.end() && hdr.s_paddr <= address &&
            address < uint64_t(hdr.s_paddr) + raw->second.size())
            return true;
    }
    return false;
}

// The runs of the code and romdata sections in name order, cut to the
// ranges when there are any; empty optional result when ranges select nothing.
// An odd section's zero pad byte, on one-byte locations, only at a free odd address and with the last byte.
bool referenceRuns(const Coff &coff, const std::vector<AddrRange> &ranges, std::vector<Run> &runs)
{
    uint32_t bpw = (coff.cOptHdr.rom_width_bits + 7) / 8;
    for (const auto &[name, hdr] : coff.cScnHdr) {
        int type = Coff::sectionType(hdr);
        auto raw = coff.cRawData.find(name);
        if ((type != 1 && type != 4) || raw == coff.cRawData.end() || raw->second.size() == 0)
            continue;
        std::vector<uint8_t> w(raw->second.data(), raw->second.data() + raw->second.size());
        size_t n = w.size();
        uint64_t padAt = uint64_t(hdr.s_paddr) + n;
        if (n % 2 && (bpw != 1 || (padAt % 2 && !ownedByAnother(coff, name, padAt))))
            w.push_back(0);
        if (ranges.empty()) {
            runs.push_back({bpw * hdr.s_paddr, w});
            continue;
        }
        bool open = false;
        Run run{};
        uint32_t a = hdr.s_paddr;
        size_t step = bpw == 1 ? 1 : 2;
        for (size_t p = 0; p < (bpw == 1 ? n : w.size()); p += step, ++a) {
            if (inRanges(a, ranges)) {
                if (!open)
                    run = {a, {}};
                open = true;
                run.bytes.insert(run.bytes.end(), w.begin() + long(p), w.begin() + long(p + step));
            } else if (open) {
                runs.push_back({bpw * run.start, run.bytes});
                open = false;
            }
        }
        if (open && w.size() > n && bpw == 1 && inRanges(a, ranges))
            run.bytes.push_back(0);
        if (open)
            runs.push_back({bpw * run.start, run.bytes});
    }
    std::stable_sort(runs.begin(), runs.end(), [](const Run &x, const Run &y) { return x.start < y.start; });
    return ranges.empty() || !runs.empty();
}

std::string record(uint32_t count, uint32_t address, uint32_t type, const std::vector<uint8_t> &data)
{
    char buf[32];
    uint32_t sum = count + (address >> 8 & 0xFF) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", count, address & 0xFFFF, type);
    std::string text = buf;
    for (uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        text += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - sum % 0x100) % 0x100);
    return text + buf;
}

// The text of the ".hex" file (INHX8M, INHX32), or of ".hxl" and ".hxh".
std::vector<std::string> referenceFiles(const std::vector<Run> &runs, uint8_t format)
{
    std::vector<std::string> files(format == HEX_INHX8S ? 2 : 1);
    bool first = true;
    uint32_t upper = 0;
    for (const Run &run : runs) {
        if (format != HEX_INHX8S) {
            uint32_t address = run.start;
            for (size_t at = 0; at < run.bytes.size();) {
                if (format == HEX_INHX32 && (first || address >> 16 != upper)) {
                    upper = address >> 16;
                    files[0] += record(2, 0, 4, {uint8_t(upper >> 8), uint8_t(upper)});
                }
                first = false;
                uint32_t count = std::min<uint32_t>(16 - address % 16, uint32_t(run.bytes.size() - at));
                files[0] += record(count, address, 0,
                                   std::vector<uint8_t>(run.bytes.begin() + long(at), run.bytes.begin() + long(at + count)));
                address += count;
                at += count;
            }
        } else {
            uint32_t w = run.start >> 1;
            for (size_t pair = 0; pair < run.bytes.size() / 2;) {
                uint32_t count = std::min<uint32_t>(16 - w % 16, uint32_t(run.bytes.size() / 2 - pair));
                std::vector<uint8_t> low, high;
                for (uint32_t i = 0; i < count; ++i) {
                    low.push_back(run.bytes[2 * (pair + i)]);
                    high.push_back(run.bytes[2 * (pair + i) + 1]);
                }
                files[0] += record(count, w, 0, low);
                files[1] += record(count, w, 0, high);
                w += count;
                pair += count;
            }
        }
    }
    for (std::string &f : files)
        f += ":00000001FF\n";
    return files;
}

// Converts the executable with our converter and the reference, in every
// format the addresses allow, and compares the files.
void compare(const Coff &coff, const std::vector<AddrRange> &ranges, uint32_t highestByte)
{
    std::vector<Run> runs;
    bool expected = referenceRuns(coff, ranges, runs);
    TempDir dir;
    for (uint8_t format : {HEX_INHX8M, HEX_INHX8S, HEX_INHX32}) {
        if ((format == HEX_INHX8M && highestByte >= 0x10000) || (format == HEX_INHX8S && highestByte >= 0x20000))
            continue;
        Coff2Hex hex;
        ASSERT_EQ(hex.convert(coff, ranges) != nullptr, expected);
        if (!expected)
            return;
        hex.cFileBaseName = dir.file("out");
        // Splitting into low and high bytes needs whole words.
        bool halfWords = false;
        for (const Run &run : runs)
            halfWords = halfWords || run.start % 2 || run.bytes.size() % 2;
        ASSERT_EQ(hex.write(format), format != HEX_INHX8S || !halfWords);
        if (format == HEX_INHX8S && halfWords)
            continue;
        std::vector<std::string> want = referenceFiles(runs, format);
        if (format == HEX_INHX8S) {
            EXPECT_EQ(dir.readText("out.hxl"), want[0]);
            EXPECT_EQ(dir.readText("out.hxh"), want[1]);
        } else {
            EXPECT_EQ(dir.readText("out.hex"), want[0]) << "format " << int(format);
        }
    }
}

TEST(Differential, HexFilesMatchThePlainRangeWalkOnRandomExecutables)
{
    ReportCapture quiet(true); // the quiet flag, restored afterwards
    const char *names[] = {".code", "b_code", "long_section_name", "table", "data", "zero"};
    const uint32_t flags[] = {SCN_CODE, SCN_CODE, SCN_ROMDATA, SCN_ROMDATA, SCN_IDATA, SCN_UDATA};
    for (uint64_t seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Rng rng(seed);
        static const uint32_t WIDTHS[] = {14, 16, 12, 8};
        uint32_t width = WIDTHS[rng.below(4)];
        bool wide = rng.chance(30);
        CoffBuilder b;
        b.name("dir/prog.cof").flags(F_EXEC).processor(0x1234, width, 8);
        uint32_t highest = 0;
        uint32_t bpw = (width + 7) / 8;
        uint32_t previousEnd = 0;
        for (int i = 0, n = int(rng.between(0, 6)); i < n; ++i) {
            uint32_t k = rng.below(6);
            std::vector<uint8_t> bytes(rng.between(1, 50));
            for (uint8_t &x : bytes)
                x = uint8_t(rng.next());
            // Now and then right after the previous section or one location past it.
            uint32_t address = i > 0 && rng.chance(30) ? previousEnd + rng.below(2)
                                                       : rng.below(wide ? 0x12000 : 0x7FC0 / bpw) + uint32_t(i) * 0x40;
            previousEnd = address + (uint32_t(bytes.size()) + bpw - 1) / bpw;
            if (flags[k] == SCN_UDATA)
                b.udata(names[k] + std::to_string(i), uint32_t(bytes.size()), address);
            else
                b.section(names[k] + std::to_string(i), flags[k], bytes, address);
            highest = std::max<uint32_t>(highest, bpw * address + uint32_t(bytes.size()) + 1);
        }
        std::vector<AddrRange> ranges;
        for (int i = 0, n = int(rng.below(4)); i < n; ++i) {
            uint32_t start = rng.below(wide ? 0x12000 : 0x4000);
            ranges.push_back(AddrRange(start, start + rng.below(rng.chance(50) ? 40 : 0x3000)));
        }
        compare(b.coff(), ranges, highest);
    }
}

TEST(Differential, HexFilesOfLinkedRandomProjects)
{
    ReportCapture quiet(true);
    int converted = 0;
    for (uint64_t seed = 0; seed < 300; seed += 25) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RandomProject project = randomProject(seed);
        TempDir dir;
        dir.write("p.lkr", project.commandFile());
        std::vector<std::string> args = {"p.lkr", "/o", "out.o"};
        for (const auto &[name, object] : project.objects) {
            dir.write(name, object.bytes());
            args.push_back(name);
        }
        for (const auto &lib : project.libraries) {
            dir.write(lib.name, lib.archive().bytes());
            args.push_back(lib.name);
        }
        args.push_back("/l");
        args.push_back(dir.path());
        if (runTool(TARVOK_EXE, args, dir.path()).exitCode != 0)
            continue;
        std::unique_ptr<Coff> exe = Coff::make(dir.file("out.o"));
        ASSERT_TRUE(exe);
        compare(*exe, {}, 0);
        uint32_t from = uint32_t(seed % 0x80);
        compare(*exe, {AddrRange(from, from + 0x20), AddrRange(from + 0x40, from + 0x41)}, 0);
        ++converted;
    }
    EXPECT_GT(converted, 6);
}

} // namespace
