// The hex converter as a program: executables built with the fixture
// builder are converted in a scratch directory; the console text, the exit
// code and the files are checked against records worked out by hand, and
// srec_cat reads every file back to the expected image.

#include "coffbuilder.h"
#include "diag.h"
#include "hexinput.h"
#include "srecread.h"
#include "tooltest.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string BANNER = hexConverterBanner() + "\n" + noticeBanner() + "\n\n";
const std::string CLEAN = "Errors    : 0\nWarnings  : 0\n\n";
const std::string ONE_ERROR = "Errors    : 1\nWarnings  : 0\n\n";
// A 14-bit program with code, an odd romdata section and RAM sections.
const std::vector<uint8_t> CODE14 = {0x8A, 0x01, 0x0A, 0x28, 0x3F, 0x30, 0x00, 0x00, 0xFF, 0x3F};
std::vector<uint8_t> program14()
{
    return executable(14)
        .section(".code", SCN_CODE, CODE14, 0x100)
        .section(".rom", SCN_ROMDATA, {0x01, 0x34, 0x02}, 0x180)
        .section(".data", SCN_IDATA, {0x55, 0x66}, 0x20)
        .udata(".bss", 4, 0x30)
        .bytes();
}

ToolResult skellan(const TempDir &dir, const std::vector<std::string> &args)
{
    return runTool(SKELLAN_EXE, args, dir.path());
}

} // namespace

TEST(SkellanRun, FourteenBitProgramInInhx32)
{
    TempDir dir;
    dir.write("prog.cof", program14());
    ToolResult result = skellan(dir, {"prog.cof"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, BANNER + CLEAN);
    // .code: 0A + 02 + (8A + 01 + 0A + 28 + 3F + 30 + FF + 3F = 0x26A) = 0x276 -> 0x8A
    // .rom: 04 + 03 + 01 + 34 + 02 + 00 = 0x3E -> 0xC2; the RAM sections are left out.
    EXPECT_EQ(dir.readText("prog.hex"), ":020000040000FA\n"
                                        ":0A0200008A010A283F300000FF3F8A\n"
                                        ":0403000001340200C2\n"
                                        ":00000001FF\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"prog.cof", "prog.hex"}));
}

TEST(SkellanRun, EveryFormatReadsBackToTheImage)
{
    TempDir dir;
    dir.write("prog.cof", program14());
    std::vector<uint8_t> expected = imageOf({{0x200, CODE14}, {0x300, {0x01, 0x34, 0x02, 0x00}}});
    for (std::string format : {"INHX32", "INHX8M"}) {
        ToolResult result = skellan(dir, {"/a", format, "prog.cof"});
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(srecImage(dir, {"prog.hex", "-intel"}), expected) << format;
    }
    ToolResult result = skellan(dir, {"/a", "INHX8S", "prog.cof"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(srecImage(dir, {"prog.hxl", "-intel", "-unsplit", "2", "0", "prog.hxh", "-intel", "-unsplit", "2", "1"}),
              expected);
}

TEST(SkellanRun, SixteenBitProgramInInhx8m)
{
    TempDir dir;
    dir.write("p16.cof", executable(16)
                             .section(".code", SCN_CODE, {0x12, 0x34, 0x56, 0x78}, 0x0)
                             .section(".tab", SCN_ROMDATA, {0xAA, 0xBB}, 0x8)
                             .bytes());
    ToolResult result = skellan(dir, {"p16.cof", "/a", "INHX8M"});
    EXPECT_EQ(result.exitCode, 0);
    // 04 + 12 + 34 + 56 + 78 = 0x118 -> 0xE8; 02 + 10 + AA + BB = 0x177 -> 0x89
    EXPECT_EQ(dir.readText("p16.hex"), ":0400000012345678E8\n:02001000AABB89\n:00000001FF\n");
}

TEST(SkellanRun, EightBitProgramPadsAnOddSection)
{
    TempDir dir;
    dir.write("p8.cof", executable(8).section(".rom", SCN_ROMDATA, {1, 2, 3, 4, 5}, 0x30).bytes());
    ToolResult result = skellan(dir, {"/a", "INHX8M", "p8.cof"});
    EXPECT_EQ(result.exitCode, 0);
    // 06 + 30 + (1 + 2 + 3 + 4 + 5) = 0x45 -> 0xBB
    EXPECT_EQ(dir.readText("p8.hex"), ":06003000010203040500BB\n:00000001FF\n");
}

TEST(SkellanRun, RangesCutASection)
{
    TempDir dir;
    dir.write("prog.cof", executable(14).section(".code", SCN_CODE, counting(0, 16), 0x100).bytes());
    ToolResult result = skellan(dir, {"/a", "INHX8M", "prog.cof", "/r", "0x102-0x103"});
    EXPECT_EQ(result.exitCode, 0);
    // 04 + 02 + 04 + (4 + 5 + 6 + 7) = 0x20 -> 0xE0
    EXPECT_EQ(dir.readText("prog.hex"), ":0402040004050607E0\n:00000001FF\n");

    // Two ranges, the first in decimal: locations 0x100-0x101 and 0x104-0x105.
    result = skellan(dir, {"/a", "INHX8M", "prog.cof", "/r", "256-257", "/R", "0x104-0x105"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.readText("prog.hex"), ":0402000000010203F4\n:0402080008090A0BCC\n:00000001FF\n");

    // A one-location range.
    result = skellan(dir, {"/a", "INHX8M", "prog.cof", "/r", "0x102-0x102"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.readText("prog.hex"), ":020204000405EF\n:00000001FF\n");
    EXPECT_EQ(srecImage(dir, {"prog.hex", "-intel"}), imageOf({{0x204, {4, 5}}}));
}

TEST(SkellanRun, RangesThatSelectNothingFailWithoutAFile)
{
    TempDir dir;
    dir.write("prog.cof", program14());
    ToolResult result = skellan(dir, {"prog.cof", "/r", "0x400-0x4FF"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, BANNER + CLEAN);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.cof"});
}

TEST(SkellanRun, AddressesAbove64KInInhx32AndInhx8s)
{
    TempDir dir;
    // Location 0x8000 of a 14-bit part is byte address 0x10000, word 0x8000.
    dir.write("big.cof", executable(14).section(".code", SCN_CODE, {0x11, 0x22, 0x33, 0x44}, 0x8000).bytes());
    ToolResult result = skellan(dir, {"big.cof"});
    EXPECT_EQ(result.exitCode, 0);
    // 04 + 11 + 22 + 33 + 44 = 0xAE -> 0x52
    EXPECT_EQ(dir.readText("big.hex"), ":020000040001F9\n:040000001122334452\n:00000001FF\n");
    EXPECT_EQ(srecImage(dir, {"big.hex", "-intel"}), imageOf({{0x10000, {0x11, 0x22, 0x33, 0x44}}}));

    result = skellan(dir, {"big.cof", "/a", "INHX8S"});
    EXPECT_EQ(result.exitCode, 0);
    // 02 + 80 + 11 + 33 = 0xC6 -> 0x3A; 02 + 80 + 22 + 44 = 0xE8 -> 0x18
    EXPECT_EQ(dir.readText("big.hxl"), ":0280000011333A\n:00000001FF\n");
    EXPECT_EQ(dir.readText("big.hxh"), ":02800000224418\n:00000001FF\n");
}

TEST(SkellanRun, Inhx8mAbove64KEndsWithTheEarlierRecordsInTheFile)
{
    TempDir dir;
    dir.write("big.cof", executable(14)
                             .section(".a", SCN_CODE, {0x01, 0x02}, 0x10)
                             .section(".b", SCN_CODE, {0x11, 0x22}, 0x8000)
                             .bytes());
    ToolResult result = skellan(dir, {"/a", "INHX8M", "big.cof"});
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.output, BANNER +
                                 "Error - Selected hex format does not support byte addresses above 64kb; "
                                 "use INHX32 format!\n" +
                                 ONE_ERROR);
    // 02 + 20 + 01 + 02 = 0x25 -> 0xDB; no end record follows.
    EXPECT_EQ(dir.readText("big.hex"), ":020020000102DB\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"big.cof", "big.hex"}));
}

TEST(SkellanRun, OutputDoesNotDependOnTheOrderOfSections)
{
    TempDir dir;
    dir.write("fwd.cof", executable(14)
                             .section(".zeta", SCN_CODE, {1, 2}, 0x10)
                             .section(".alpha", SCN_CODE, {3, 4}, 0x10)
                             .section(".mid", SCN_ROMDATA, {5, 6}, 0x8)
                             .bytes());
    dir.write("bwd.cof", executable(14)
                             .section(".mid", SCN_ROMDATA, {5, 6}, 0x8)
                             .section(".alpha", SCN_CODE, {3, 4}, 0x10)
                             .section(".zeta", SCN_CODE, {1, 2}, 0x10)
                             .bytes());
    ASSERT_EQ(skellan(dir, {"fwd.cof"}).exitCode, 0);
    ASSERT_EQ(skellan(dir, {"bwd.cof"}).exitCode, 0);
    // Sections at one address follow in name order.
    std::string expected = ":020000040000FA\n"
                           ":020010000506E3\n"
                           ":020020000304D7\n"
                           ":020020000102DB\n"
                           ":00000001FF\n";
    EXPECT_EQ(dir.readText("fwd.hex"), expected);
    EXPECT_EQ(dir.readText("bwd.hex"), expected);
}

TEST(SkellanRun, EightBitRangesSelectEachByteAtItsOwnAddress)
{
    TempDir dir;
    // Bytes A0..A4 at 0x31..0x35.
    dir.write("p8.cof", executable(8).section(".code", SCN_CODE, counting(0xA0, 5), 0x31).bytes());
    ToolResult result = skellan(dir, {"p8.cof", "/r", "0x32-0x34"});
    EXPECT_EQ(result.exitCode, 0);
    // 03 + 32 + A1 + A2 + A3 = 0x21B -> 0xE5
    EXPECT_EQ(dir.readText("p8.hex"), ":020000040000FA\n:03003200A1A2A3E5\n:00000001FF\n");
    EXPECT_EQ(srecImage(dir, {"p8.hex", "-intel"}), imageOf({{0x32, {0xA1, 0xA2, 0xA3}}}));
}

TEST(SkellanRun, Inhx8sRefusesBytesThatAreNotWholeWords)
{
    TempDir dir;
    dir.write("p8.cof", executable(8).section(".code", SCN_CODE, counting(0xA0, 5), 0x31).bytes());
    ToolResult result = skellan(dir, {"p8.cof", "/a", "INHX8S"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, BANNER +
                                 "Error - Selected hex format needs whole 16-bit words, but 5 bytes start at byte "
                                 "address 0x00000031; use INHX8M or INHX32 format!\n" +
                                 ONE_ERROR);
    result = skellan(dir, {"p8.cof", "/a", "INHX8S", "/r", "0x32-0x34"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("but 3 bytes start at byte address 0x00000032"), std::string::npos);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"p8.cof"});
}

TEST(SkellanRun, PadByteNeverGivesTheNextSectionsByteASecondValue)
{
    TempDir dir;
    // .a's pad byte would lie at 0x13, where .b begins.
    dir.write("p8.cof", executable(8)
                            .section(".a", SCN_CODE, {0x11, 0x22, 0x33}, 0x10)
                            .section(".b", SCN_CODE, {0x44, 0x55}, 0x13)
                            .bytes());
    ToolResult result = skellan(dir, {"/a", "INHX8M", "p8.cof"});
    EXPECT_EQ(result.exitCode, 0);
    // 03 + 10 + 11 + 22 + 33 = 0x79 -> 0x87; 02 + 13 + 44 + 55 = 0xAE -> 0x52
    EXPECT_EQ(dir.readText("p8.hex"), ":0300100011223387\n:02001300445552\n:00000001FF\n");
    // srec_cat's default strictness refuses a byte given two values.
    EXPECT_EQ(srecImage(dir, {"p8.hex", "-intel"}), imageOf({{0x10, {0x11, 0x22, 0x33, 0x44, 0x55}}}));
}

TEST(SkellanRun, ProgramWordWidthOutOfReachFails)
{
    TempDir dir;
    dir.write("w0.cof", executable(0).section(".code", SCN_CODE, {1, 2}, 0x10).bytes());
    ToolResult result = skellan(dir, {"w0.cof"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output,
              BANNER + "Error - Coff file 'w0.cof' has a program word of 0 bits; only 1 to 32 bits can be converted.\n" +
                  ONE_ERROR);
    // A width near 4G must not wrap round into a small one.
    for (uint32_t width : {33u, 0xFFFFFFF9u}) {
        dir.write("wide.cof", executable(width).section(".code", SCN_CODE, {1, 2}, 0x10).bytes());
        EXPECT_EQ(skellan(dir, {"wide.cof"}).exitCode, 1) << width;
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"w0.cof", "wide.cof"}));
}

TEST(SkellanRun, ByteAddressesDoNotWrapBelowTheGuard)
{
    TempDir dir;
    // 2 x 0x80000000 wraps to byte address 0 in 32 bits, below the 64K guard.
    dir.write("far.cof", executable(14).section(".code", SCN_CODE, {1, 2}, 0x80000000).bytes());
    ToolResult result = skellan(dir, {"/a", "INHX8M", "far.cof"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, BANNER +
                                 "Error - Section '.code' of Coff file 'far.cof' lies beyond byte address "
                                 "0xffffffff; no hex format can hold it.\n" +
                                 ONE_ERROR);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"far.cof"});
}

TEST(SkellanRun, OutputGoesToTheCurrentDirectory)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("in"));
    dir.write("in/prog.cof", program14());
    EXPECT_EQ(skellan(dir, {"in/prog.cof"}).exitCode, 0);
    EXPECT_TRUE(dir.exists("prog.hex"));
    EXPECT_FALSE(dir.exists("in/prog.hex"));
    // An absolute path is a file name, not a switch.
    std::filesystem::remove(dir.file("prog.hex"));
    EXPECT_EQ(skellan(dir, {dir.file("in/prog.cof")}).exitCode, 0);
    EXPECT_TRUE(dir.exists("prog.hex"));
}

TEST(SkellanRun, LastFormatWinsAndQuietPrintsNothing)
{
    TempDir dir;
    dir.write("prog.cof", executable(14).section(".code", SCN_CODE, {1, 2}, 0x10).bytes());
    ToolResult result = skellan(dir, {"/a", "INHX32", "prog.cof", "/q", "-a", "INHX8M"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(dir.readText("prog.hex"), ":020020000102DB\n:00000001FF\n");
}

TEST(SkellanRun, UnreadableFileEndsThroughTheSummary)
{
    TempDir dir;
    ToolResult result = skellan(dir, {"missing.cof"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, BANNER + "Error - Could not open Coff file 'missing.cof' for reading.\n" + ONE_ERROR);
    dir.write("junk.cof", std::string("not an object file at all"));
    result = skellan(dir, {"junk.cof"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"junk.cof"});
}
