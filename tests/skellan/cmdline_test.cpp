// The hex converter's command line, run as a program: every error ends with
// its exact text and exit code 1, without the count summary.

#include "diag.h"
#include "tooltest.h"

#include <gtest/gtest.h>

namespace {

const std::string BANNER = hexConverterBanner() + "\n" + noticeBanner() + "\n\n";

const std::string USAGE = "Usage: skellan [/a <hexformat>] [/r 0xBBBB-0xEEEE]... [/q] <coffFile>\n"
                          "   where, <hexformat> is {INHX32, INHX8S, INHX8M} \n"
                          "          0xBBBB is the beginning program memory address of a range to include\n"
                          "          0xEEEE is the ending program memory address of a range to include\n"
                          "   If no /r option is present, all rom sections will be included.\n"
                          "\n";

const std::string RANGE_ERROR = "/r requires 0xBBBB-0xEEEE where 0xEEEE >= 0xBBBB\n";
const std::string FORMAT_ERROR = "-a switch requires {INHX32, INHX8S, INHX8M}\n";

// Runs skellan in a fresh directory and checks that it wrote nothing there.
ToolResult skellan(const std::vector<std::string> &args)
{
    TempDir dir;
    ToolResult result = runTool(SKELLAN_EXE, args, dir.path());
    EXPECT_TRUE(dir.list().empty());
    return result;
}

void expectStop(const std::vector<std::string> &args, const std::string &text)
{
    ToolResult result = skellan(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, BANNER + text);
}

} // namespace

TEST(SkellanCommandLine, WithoutAFileNameShowsTheUsage)
{
    expectStop({}, USAGE);
    expectStop({"/a", "INHX8M", "/r", "0x0-0x10"}, USAGE);
}

TEST(SkellanCommandLine, QuietUsageErrorEndsSilently)
{
    ToolResult result = skellan({"/q"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, "");
    result = skellan({"a.o", "/r", "0x10-0x0", "-Q"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, "");
}

TEST(SkellanCommandLine, SecondFileNameShowsTheUsage)
{
    expectStop({"a.o", "b.o"}, USAGE);
    // An unknown switch is taken as the file name, so the real one is a second.
    expectStop({"/x", "a.o"}, USAGE);
}

TEST(SkellanCommandLine, RangeSwitchWithoutValueShowsTheUsage)
{
    expectStop({"a.o", "/r"}, USAGE);
    expectStop({"a.o", "-R"}, USAGE);
}

TEST(SkellanCommandLine, RangeValueMustBeTwoNumbersInOrder)
{
    expectStop({"a.o", "/r", "0x200-0x1FF"}, RANGE_ERROR);
    expectStop({"a.o", "/r", "0x100"}, RANGE_ERROR);
    expectStop({"a.o", "/r", "0x100-"}, RANGE_ERROR);
    expectStop({"a.o", "/r", "0x100-0x200-0x300"}, RANGE_ERROR);
    // The switch letter is folded, and a later bad range stops even after a good one.
    expectStop({"/R", "0x100-0x1FF", "a.o", "-r", "512-511"}, RANGE_ERROR);
}

TEST(SkellanCommandLine, FormatNamesAreExactAndUpperCase)
{
    expectStop({"a.o", "/a", "inhx32"}, FORMAT_ERROR);
    expectStop({"a.o", "/a", "INHX16"}, FORMAT_ERROR);
    expectStop({"a.o", "-A"}, FORMAT_ERROR);
    // A later bad format stops even after a good one.
    expectStop({"/a", "INHX8M", "a.o", "/a", "INHX8M "}, FORMAT_ERROR);
}
