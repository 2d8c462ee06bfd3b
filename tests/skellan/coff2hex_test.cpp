// Building the hex image from an executable: which sections are taken,
// where their runs land for each word width, how "/r" cuts them, and the
// executables that cannot be converted.

#include "coff2hex.h"
#include "coffbuilder.h"
#include "diag.h"
#include "hexinput.h"
#include "reportcapture.h"
#include "srecread.h"
#include "tooltest.h"

#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <tuple>

namespace {

// An executable named prog.cof for a part with the given program-word width.
CoffBuilder program(uint32_t romWidthBits)
{
    CoffBuilder b = ::executable(romWidthBits);
    b.name("prog.cof");
    return b;
}

std::vector<uint8_t> bytesOf(const HexRange &run)
{
    return std::vector<uint8_t>(run.cData.data(), run.cData.data() + run.cData.size());
}

// Converts and returns the runs as (start, bytes); fails the test when
// the conversion fails.
std::vector<std::pair<uint32_t, std::vector<uint8_t>>> runsOf(const CoffBuilder &b,
                                                              const std::vector<AddrRange> &ranges = {})
{
    Coff coff = b.coff();
    Coff2Hex hex;
    EXPECT_EQ(hex.convert(coff, ranges), &hex);
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> runs;
    for (const HexRange &run : hex.cRanges)
        runs.push_back({run.cStart, bytesOf(run)});
    return runs;
}

using Runs = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

} // namespace

TEST(Coff2HexWhole, WordAddressesBecomeByteAddresses)
{
    // 12-, 14- and 16-bit words take two bytes a location.
    for (uint32_t width : {12u, 14u, 16u})
        EXPECT_EQ(runsOf(program(width).section(".code", SCN_CODE, counting(1, 10), 0x100)),
                  (Runs{{0x200, counting(1, 10)}}))
            << width << "-bit words";
    // 8-bit words take one, and a 32-bit word four.
    EXPECT_EQ(runsOf(program(8).section(".code", SCN_CODE, counting(1, 4), 0x100)),
              (Runs{{0x100, counting(1, 4)}}));
    EXPECT_EQ(runsOf(program(32).section(".code", SCN_CODE, counting(1, 4), 0x10)),
              (Runs{{0x40, counting(1, 4)}}));
}

// Odd sections' pad byte: on one-byte locations only where it completes the
// last byte's word and no other section has a byte there; srec_cat reads it back.
struct PadCase
{
    const char *what;
    uint32_t width;
    std::vector<std::tuple<std::string, std::vector<uint8_t>, uint32_t>> sections; // name, bytes, s_paddr
    std::vector<AddrRange> ranges;
    Runs expected;
};

TEST(Coff2HexPad, OddSectionsGetAPadByteOnlyWhereItIsFree)
{
    const std::vector<PadCase> cases = {
        {"even start", 8, {{".rom", {1, 2, 3, 4, 5}, 0x30}}, {}, {{0x30, {1, 2, 3, 4, 5, 0}}}},
        {"touching, the second at an odd start", 8, {{".a", {1, 2, 3}, 0x40}, {".b", {4, 5, 6}, 0x43}}, {},
         {{0x40, {1, 2, 3}}, {0x43, {4, 5, 6}}}},
        {"one byte apart", 8, {{".a", {1, 2, 3}, 0x40}, {".b", {4}, 0x44}}, {}, {{0x40, {1, 2, 3, 0}}, {0x44, {4, 0}}}},
        {"ranges: touching", 8, {{".a", {1, 2, 3}, 0x40}, {".b", {4, 5, 6}, 0x43}}, {AddrRange(0x41, 0x46)},
         {{0x41, {2, 3}}, {0x43, {4, 5, 6}}}},
        {"ranges: one byte apart, a pad only with its own location", 8, {{".a", {1, 2, 3}, 0x40}, {".b", {4}, 0x44}},
         {AddrRange(0x42, 0x42), AddrRange(0x44, 0x45)}, {{0x42, {3}}, {0x44, {4, 0}}}},
        {"14-bit", 14, {{".rom", {7}, 0x30}}, {}, {{0x60, {7, 0}}}},
        {"14-bit: touching, then one location apart at an odd one", 14,
         {{".a", {1, 2, 3}, 0x20}, {".b", {4, 5, 6}, 0x22}, {".c", {7}, 0x25}}, {},
         {{0x40, {1, 2, 3, 0}}, {0x44, {4, 5, 6, 0}}, {0x4A, {7, 0}}}},
        {"14-bit ranges", 14, {{".rom", {1, 2, 3, 4, 5}, 0x10}}, {AddrRange(0x12, 0x12)}, {{0x24, {5, 0}}}},
        {"14-bit ranges: touching", 14, {{".a", {1, 2, 3}, 0x20}, {".b", {4, 5, 6}, 0x22}}, {AddrRange(0x21, 0x22)},
         {{0x42, {3, 0}}, {0x44, {4, 5}}}},
    };
    for (const PadCase &c : cases) {
        SCOPED_TRACE(c.what);
        CoffBuilder b = program(c.width);
        for (const auto &[name, bytes, paddr] : c.sections)
            b.section(name, SCN_ROMDATA, bytes, paddr);
        EXPECT_EQ(runsOf(b, c.ranges), c.expected);
        Coff coff = b.coff();
        Coff2Hex hex;
        ASSERT_EQ(hex.convert(coff, c.ranges), &hex);
        TempDir dir;
        hex.cFileBaseName = dir.file("x");
        ASSERT_TRUE(hex.write(HEX_INHX8M));
        EXPECT_EQ(srecImage(dir, {"x.hex", "-intel"}), imageOf(c.expected));
    }
}

TEST(Coff2HexWhole, OnlyCodeAndRomdataSectionsAreTaken)
{
    CoffBuilder b = program(14);
    b.section(".code", SCN_CODE, {1, 2}, 0x10)
        .section(".data", SCN_IDATA, {3, 4}, 0x20)
        .udata(".bss", 4, 0x30)
        .section(".plain", 0, {5, 6}, 0x40)
        .section(".both", SCN_CODE | SCN_UDATA, {7, 8}, 0x50) // code wins over udata
        .section(".rom", SCN_ROMDATA | SCN_ABS, {9, 10}, 0x60)
        .section(".empty", SCN_CODE, {}, 0x70);
    // Runs come in section-name order.
    Runs expected = {{0xA0, {7, 8}}, {0x20, {1, 2}}, {0xC0, {9, 10}}};
    EXPECT_EQ(runsOf(b), expected);
    // The ranges cannot bring the RAM sections in.
    EXPECT_EQ(runsOf(b, {AddrRange(0, 0xFFFF)}), expected);
}

TEST(Coff2HexWhole, NoProgramSectionsGiveAnEmptyImage)
{
    Coff coff = program(14).udata(".bss", 4, 0x30).coff();
    Coff2Hex hex;
    EXPECT_EQ(hex.convert(coff, {}), &hex);
    EXPECT_TRUE(hex.cRanges.empty());
}

TEST(Coff2HexRanges, RangeCutsAWordSection)
{
    CoffBuilder b = program(14).section(".code", SCN_CODE, counting(0, 16), 0x100);
    EXPECT_EQ(runsOf(b, {AddrRange(0x100, 0x101), AddrRange(0x104, 0x105)}),
              (Runs{{0x200, {0, 1, 2, 3}}, {0x208, {8, 9, 10, 11}}}));
    // Overlapping ranges select a location once; given out of order they
    // still give one run per stretch.
    EXPECT_EQ(runsOf(b, {AddrRange(0x102, 0x105), AddrRange(0x100, 0x103)}), (Runs{{0x200, counting(0, 12)}}));
    // A range that reaches past the section ends with the section.
    EXPECT_EQ(runsOf(b, {AddrRange(0x106, 0xFFFF)}), (Runs{{0x20C, {12, 13, 14, 15}}}));
}

TEST(Coff2HexRanges, OneByteLocationsAreSelectedByteByByte)
{
    // Bytes A0..A4 at 0x31..0x35; the last ends a word, so no pad byte.
    CoffBuilder b = program(8).section(".code", SCN_CODE, counting(0xA0, 5), 0x31);
    EXPECT_EQ(runsOf(b, {AddrRange(0x32, 0x34)}), (Runs{{0x32, {0xA1, 0xA2, 0xA3}}}));
    EXPECT_EQ(runsOf(b, {AddrRange(0x31, 0x31), AddrRange(0x33, 0x33)}), (Runs{{0x31, {0xA0}}, {0x33, {0xA2}}}));
    EXPECT_EQ(runsOf(b, {AddrRange(0x35, 0x40)}), (Runs{{0x35, {0xA4}}}));
    // A range over the whole section gives what no range gives.
    EXPECT_EQ(runsOf(b, {AddrRange(0x00, 0xFF)}), runsOf(b));
}

TEST(Coff2HexRanges, RangesThatMissEverythingFailSilently)
{
    Coff coff = program(14).section(".code", SCN_CODE, counting(0, 16), 0x100).coff();
    Coff2Hex hex;
    uint32_t errors = errorCount();
    ReportCapture cap;
    EXPECT_EQ(hex.convert(coff, {AddrRange(0x108, 0x1FF)}), nullptr);
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(errorCount(), errors);
}

TEST(Coff2HexRanges, LocationsPastTheAddressSpaceDoNotWrapRound)
{
    // Locations 0xFFFFFFFE to 0x100000001: the last two must not be taken
    // for 0 and 1.
    Coff coff = program(8).section(".code", SCN_CODE, counting(1, 4), 0xFFFFFFFE).coff();
    Coff2Hex hex;
    ReportCapture cap;
    EXPECT_EQ(hex.convert(coff, {AddrRange(0, 1)}), nullptr);
    EXPECT_TRUE(hex.cRanges.empty());
    EXPECT_EQ(cap.text(), "");
}

TEST(Coff2HexRefused, BytesBeyondFourGigabytes)
{
    std::string message = "Error - Section '.code' of Coff file 'prog.cof' lies beyond byte address 0xffffffff; "
                          "no hex format can hold it.\n";
    // A run selected below 4G in locations that lands above it in bytes.
    {
        Coff coff = program(14).section(".code", SCN_CODE, {1, 2}, 0x80000000).coff();
        Coff2Hex hex;
        ReportCapture cap;
        EXPECT_EQ(hex.convert(coff, {AddrRange(0x80000000, 0x80000000)}), nullptr);
        EXPECT_EQ(cap.text(), message);
    }
    // The last bytes of the address space are still fine, one more is not.
    EXPECT_EQ(runsOf(program(8).section(".code", SCN_CODE, {1, 2}, 0xFFFFFFFE)),
              (Runs{{0xFFFFFFFE, {1, 2}}}));
    // No pad byte past the end of the space.
    EXPECT_EQ(runsOf(program(8).section(".code", SCN_CODE, {7}, 0xFFFFFFFF)), (Runs{{0xFFFFFFFF, {7}}}));
    {
        Coff coff = program(8).section(".code", SCN_CODE, {1, 2, 3}, 0xFFFFFFFE).coff();
        Coff2Hex hex;
        ReportCapture cap;
        EXPECT_EQ(hex.convert(coff, {}), nullptr);
        EXPECT_EQ(cap.text(), message);
    }
}
