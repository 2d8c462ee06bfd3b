// The Intel-hex writer on hand-made images: records worked out by hand for
// each format, the 64K guard, refused word splits, output-file failures,
// and an independent read-back of every format with srec_cat.

#include "diag.h"
#include "hex.h"
#include "hexinput.h"
#include "reportcapture.h"
#include "srecread.h"
#include "tooltest.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

HexRange run(uint32_t start, const std::vector<uint8_t> &bytes)
{
    return HexRange(start, Data(uint32_t(bytes.size()), bytes.data()));
}

// A Hex that writes into the directory under the base name "x".
Hex image(const TempDir &dir, const std::vector<HexRange> &runs)
{
    Hex hex;
    hex.cFileBaseName = dir.file("x");
    hex.cRanges = runs;
    return hex;
}

} // namespace

TEST(HexWriteInhx8m, OneRunIsOneRecordThenTheEndRecord)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x0C, {0x01, 0x02, 0x03, 0x04})});
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    // 04 + 00 + 0C + 00 + 01 + 02 + 03 + 04 = 0x1A; 0x100 - 0x1A = 0xE6
    EXPECT_EQ(dir.readText("x.hex"), ":04000C0001020304E6\n:00000001FF\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"x.hex"});
}

TEST(HexWriteInhx8m, RecordsEndAtSixteenByteBoundaries)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x0C, counting(0x00, 20))});
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    // 4 bytes up to 0x10, then 16: 0x10 + 0x10 + (4 + ... + 0x13 = 184) = 216 -> 0x28
    EXPECT_EQ(dir.readText("x.hex"), ":04000C0000010203EA\n"
                                     ":100010000405060708090A0B0C0D0E0F1011121328\n"
                                     ":00000001FF\n");
}

TEST(HexWriteInhx8m, RunsAreSortedAndNeverShareARecord)
{
    TempDir dir;
    // Built out of order; the second run follows the first without a gap.
    Hex hex = image(dir, {run(0x04, {0x05, 0x06, 0x07, 0x08}), run(0x00, {0x01, 0x02, 0x03, 0x04})});
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    EXPECT_EQ(dir.readText("x.hex"), ":0400000001020304F2\n"
                                     ":0400040005060708DE\n"
                                     ":00000001FF\n");
}

TEST(HexWriteInhx8m, RunsWithEqualStartsKeepTheOrderTheyWereBuiltIn)
{
    TempDir dir;
    // Enough runs that an unstable sort would mix them up; a run at 0 is
    // put last to force the sort to move everything.
    std::vector<HexRange> runs;
    for (int i = 1; i <= 60; ++i)
        runs.push_back(run(0x10, {uint8_t(i), uint8_t(i)}));
    runs.push_back(run(0x00, {0xEE, 0xEE}));
    Hex hex = image(dir, runs);
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    std::vector<std::string> lines = splitLines(dir.readText("x.hex"));
    ASSERT_EQ(lines.size(), 62u);
    // 02 + EE + EE = 0x1DE -> 0x22
    EXPECT_EQ(lines[0], ":02000000EEEE22");
    for (int i = 1; i <= 60; ++i) {
        char data[5];
        std::snprintf(data, sizeof data, "%02X%02X", i, i);
        EXPECT_EQ(lines[i].substr(0, 9), ":02001000");
        EXPECT_EQ(lines[i].substr(9, 4), data) << "record " << i;
    }
}

TEST(HexWriteInhx8m, EmptyImageHoldsOnlyTheEndRecord)
{
    TempDir dir;
    Hex hex = image(dir, {});
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    EXPECT_EQ(dir.readText("x.hex"), ":00000001FF\n");
    ASSERT_TRUE(hex.write(HEX_INHX32));
    EXPECT_EQ(dir.readText("x.hex"), ":00000001FF\n");
    ASSERT_TRUE(hex.write(HEX_INHX8S));
    EXPECT_EQ(dir.readText("x.hxl"), ":00000001FF\n");
    EXPECT_EQ(dir.readText("x.hxh"), ":00000001FF\n");
}

TEST(HexWriteInhx32, NewUpperAddressOnlyWhenThePageChanges)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x10030, {0x07, 0x08}), run(0x00, {0x01, 0x02}), run(0x10020, {0x05, 0x06}),
                          run(0x10, {0x03, 0x04})});
    ASSERT_TRUE(hex.write(HEX_INHX32));
    EXPECT_EQ(dir.readText("x.hex"), ":020000040000FA\n"
                                     ":020000000102FB\n"
                                     ":020010000304E7\n"
                                     ":020000040001F9\n"
                                     ":020020000506D3\n"
                                     ":020030000708BF\n"
                                     ":00000001FF\n");
}

TEST(HexWriteInhx32, RunCrossingAPageGetsTheRecordBetweenItsHalves)
{
    TempDir dir;
    Hex hex = image(dir, {run(0xFFF8, std::vector<uint8_t>(16, 0x00))});
    ASSERT_TRUE(hex.write(HEX_INHX32));
    // 08 + FF + F8 = 0x1FF -> 0x01; 08 -> 0xF8
    EXPECT_EQ(dir.readText("x.hex"), ":020000040000FA\n"
                                     ":08FFF800000000000000000001\n"
                                     ":020000040001F9\n"
                                     ":080000000000000000000000F8\n"
                                     ":00000001FF\n");
}

TEST(HexWriteInhx32, TopOfTheAddressSpace)
{
    TempDir dir;
    Hex hex = image(dir, {run(0xFFFFFFF0, counting(0x01, 16))});
    ASSERT_TRUE(hex.write(HEX_INHX32));
    // 02 + 04 + FF + FF = 0x204 -> 0xFC; 10 + FF + F0 + (1 + ... + 16 = 136) = 0x287 -> 0x79
    EXPECT_EQ(dir.readText("x.hex"), ":02000004FFFFFC\n"
                                     ":10FFF0000102030405060708090A0B0C0D0E0F1079\n"
                                     ":00000001FF\n");
}

TEST(HexWriteInhx8s, RecordsEndAtSixteenWordBoundaries)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x1C, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88})});
    ASSERT_TRUE(hex.write(HEX_INHX8S));
    // Word 0x0E holds two words up to 0x10, the rest starts a new record.
    EXPECT_EQ(dir.readText("x.hxl"), ":02000E001133AC\n:02001000557722\n:00000001FF\n");
    EXPECT_EQ(dir.readText("x.hxh"), ":02000E0022448A\n:02001000668800\n:00000001FF\n");
}

TEST(HexWriteInhx8s, ReachesWordAddress0xFFFF)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x1FFFC, {0x01, 0x02, 0x03, 0x04})});
    ASSERT_TRUE(hex.write(HEX_INHX8S));
    EXPECT_EQ(dir.readText("x.hxl"), ":02FFFE000103FD\n:00000001FF\n");
    EXPECT_EQ(dir.readText("x.hxh"), ":02FFFE000204FB\n:00000001FF\n");
}

TEST(HexWriteFiles, UnknownFormatWritesAndReportsNothing)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
    uint32_t errors = errorCount();
    EXPECT_FALSE(hex.write(3));
    EXPECT_EQ(errorCount(), errors);
    EXPECT_TRUE(dir.list().empty());
}

TEST(HexWriteFiles, UnwritableNameIsReportedAndLeavesNothing)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
    hex.cFileBaseName = dir.file("missing/x");
    {
        ReportCapture cap;
        EXPECT_FALSE(hex.write(HEX_INHX8M));
        EXPECT_EQ(cap.text(), "Error - Could not open hex file '" + dir.file("missing/x.hex") + "' for writing.\n");
    }
    // A directory in the way of the output name.
    std::filesystem::create_directory(dir.file("x.hex"));
    hex.cFileBaseName = dir.file("x");
    {
        ReportCapture cap;
        EXPECT_FALSE(hex.write(HEX_INHX32));
        EXPECT_EQ(cap.text(), "Error - Could not open hex file '" + dir.file("x.hex") + "' for writing.\n");
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"x.hex"});
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("x.hex")));
}

TEST(HexWriteFiles, SplitFormatReplacesNeitherFileWhenOneFails)
{
    TempDir dir;
    dir.write("x.hxl", std::string("old low"));
    std::filesystem::create_directory(dir.file("x.hxh"));
    Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
    ReportCapture cap;
    EXPECT_FALSE(hex.write(HEX_INHX8S));
    EXPECT_EQ(cap.text(), "Error - Could not open hex file '" + dir.file("x.hxh") + "' for writing.\n");
    EXPECT_EQ(dir.readText("x.hxl"), "old low");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"x.hxh", "x.hxl"}));
}

TEST(HexWriteFiles, Inhx8sPairIsReplacedWholeOrNotAtAll)
{
    // The high file's rename refused once the low file is in place, or another user's high file
    // planted in the sticky directory after the open: the old files stay and no new one is left.
    const std::vector<std::vector<std::string>> olds = {{"x.hxh", "x.hxl"}, {"x.hxh"}, {"x.hxl"}};
    for (const std::vector<std::string> &old : olds) {
        SCOPED_TRACE(&old - olds.data());
        bool planted = &old == &olds.back();
        if (planted && ::geteuid() != 0)
            GTEST_SKIP() << "needs root to give a file to another user";
        TempDir dir;
        for (const std::string &name : old)
            dir.write(name, "old " + name);
        Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
        std::string high = dir.file("x.hxh");
        if (!planted)
            hex.cCalls.renameAt = [](int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
                return std::string(to) == "x.hxh" ? (errno = EPERM, -1)
                                                  : systemCalls().renameAt(fromDir, from, toDir, to, flags);
            };
        else {
            ::chmod(dir.path().c_str(), 01777);
            hex.cCalls.statAt = [&](int at, const char *name, struct stat &st, int flags) {
                if (std::string(name) == "x.hxh" && !dir.exists("x.hxh")) {
                    dir.write("x.hxh", std::string("theirs"));
                    ::chown(high.c_str(), 65534, 65534);
                }
                return systemCalls().statAt(at, name, st, flags);
            };
        }
        ReportCapture cap;
        EXPECT_FALSE(hex.write(HEX_INHX8S));
        EXPECT_EQ(cap.text(), "Error - Could not write hex file '" + high + "': " +
                                  (planted ? "'" + high + "' belongs to another user in a directory that everyone "
                                                          "may write.\n"
                                           : std::string("Operation not permitted.\n")));
        EXPECT_EQ(dir.list(), (planted ? std::vector<std::string>{"x.hxh", "x.hxl"} : old));
        for (const std::string &name : old)
            EXPECT_EQ(dir.readText(name), "old " + name);
    }
}

TEST(HexWriteFiles, SuccessReplacesAnEarlierFile)
{
    TempDir dir;
    dir.write("x.hex", std::string("an older and much longer file that must not shine through\n"));
    Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
    ASSERT_TRUE(hex.write(HEX_INHX8M));
    EXPECT_EQ(dir.readText("x.hex"), ":020000000102FB\n:00000001FF\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"x.hex"});
}

// The run that ends with the fatal report is a forked copy of the test, so
// it writes into the test's own directory, which the test then reads.
class HexGuard : public testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }
};

TEST_F(HexGuard, Inhx8mStopsInsideARunThatCrosses64K)
{
    TempDir dir;
    Hex hex = image(dir, {run(0xFFF8, std::vector<uint8_t>(16, 0x00))});
    EXPECT_EXIT(hex.write(HEX_INHX8M), testing::ExitedWithCode(255), "use INHX32 format!");
    EXPECT_EQ(dir.readText("x.hex"), ":08FFF800000000000000000001\n");
}

TEST_F(HexGuard, Inhx8sEndsAtWordAddress64K)
{
    TempDir dir;
    Hex hex = image(dir, {run(0x1FFFC, {0x01, 0x02, 0x03, 0x04}), run(0x20000, {0x05, 0x06})});
    EXPECT_EXIT(hex.write(HEX_INHX8S), testing::ExitedWithCode(255), "use INHX32 format!");
    EXPECT_EQ(dir.readText("x.hxl"), ":02FFFE000103FD\n");
    EXPECT_EQ(dir.readText("x.hxh"), ":02FFFE000204FB\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"x.hxh", "x.hxl"}));
}

TEST(HexReadBack, SrecCatReadsInhx32AcrossPages)
{
    TempDir dir;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pieces = {
        {0x20010, counting(0x01, 6)}, {0xFFF6, counting(0x21, 30)}, {0x0, counting(0x61, 2)}};
    std::vector<HexRange> runs;
    for (const auto &[start, bytes] : pieces)
        runs.push_back(run(start, bytes));
    Hex hex = image(dir, runs);
    ASSERT_TRUE(hex.write(HEX_INHX32));
    EXPECT_EQ(srecImage(dir, {"x.hex", "-intel"}), imageOf(pieces));
}

TEST_F(HexGuard, Inhx8sSignalBetweenTheRenamesLeavesAWholePair)
{
    // A signal, also a fault's signal that another process sends, waits until both new
    // files are in place; a fault of the run's own puts the old files back.
    for (int sig : {SIGTERM, SIGTRAP, SIGILL}) {
        SCOPED_TRACE(sig);
        TempDir dir;
        dir.write("x.hxl", std::string("old low"));
        dir.write("x.hxh", std::string("old high"));
        Hex hex = image(dir, {run(0x00, {0x01, 0x02})});
        hex.cBetweenRenames = [sig] { sig == SIGILL ? __builtin_trap() : (void)::raise(sig); };
        EXPECT_EXIT(hex.write(HEX_INHX8S), testing::KilledBySignal(sig), "");
        EXPECT_EQ(dir.readText("x.hxl"), sig == SIGILL ? "old low" : ":0100000001FE\n:00000001FF\n");
        EXPECT_EQ(dir.readText("x.hxh"), sig == SIGILL ? "old high" : ":0100000002FD\n:00000001FF\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"x.hxh", "x.hxl"}));
    }
}
