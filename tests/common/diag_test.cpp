// The reporter's exact texts, counts, quiet flag and exit codes, and the
// switch rule shared by every command line.

#include "diag.h"
#include "debugsw.h"
#include "reportcapture.h"

#include <gtest/gtest.h>
#include <iostream>

namespace {

// Death tests run in a freshly started copy of the test program, so the
// process-wide counts and the quiet flag start at 0 there.
class DiagExit : public testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Sends standard output to the standard error stream, which death tests read.
void outputToStderr() { std::cout.rdbuf(std::cerr.rdbuf()); }

} // namespace

TEST(DiagReport, ErrorHasPrefixAndNothingAfterTheMessage)
{
    uint32_t before = errorCount();
    ReportCapture cap;
    report(SEV_ERROR, "Coff::make()", "Could not open Coff file 'a.o' for reading.", false);
    EXPECT_EQ(cap.text(), "Error - Could not open Coff file 'a.o' for reading.\n");
    EXPECT_EQ(errorCount(), before + 1);
}

TEST(DiagReport, WarningCountsAndOtherSeveritiesDoNot)
{
    uint32_t warnings = warningCount();
    uint32_t errors = errorCount();
    ReportCapture cap;
    report(SEV_WARNING, "main()", "careful", false);
    report(7, "main()", "plain line", false);
    EXPECT_EQ(cap.text(), "Warning - careful\nplain line\n");
    EXPECT_EQ(warningCount(), warnings + 1);
    EXPECT_EQ(errorCount(), errors);
}

TEST(DiagReport, StreamMessageIsTakenAndEmptied)
{
    std::ostringstream msg;
    msg << "Section '" << ".code" << "' missing.";
    ReportCapture cap;
    report(SEV_ERROR, "Linker::link()", msg, false);
    EXPECT_EQ(cap.text(), "Error - Section '.code' missing.\n");
    EXPECT_EQ(msg.str(), "");
}

TEST(DiagReport, LocationShownOnlyWhenAskedFor)
{
    ReportCapture cap;
    setShowLocation(1);
    report(SEV_WARNING, "main()", "w", false);
    setShowLocation(0);
    report(SEV_WARNING, "main()", "w", false);
    EXPECT_EQ(cap.text(), "Warning - w - main()\nWarning - w\n");
}

TEST_F(DiagExit, SummaryPrintsCountsAndExitsWithCallersCode)
{
    EXPECT_EXIT(
        {
            outputToStderr();
            report(SEV_ERROR, "main()", "bad", false);
            summary(0);
        },
        testing::ExitedWithCode(0), "^Error - bad\nErrors    : 1\nWarnings  : 0\n\n$");
}

TEST_F(DiagExit, FatalReportEndsWith255AfterTheSummary)
{
    EXPECT_EXIT(
        {
            outputToStderr();
            report(SEV_WARNING, "main()", "first", false);
            report(SEV_ERROR, "Coff::getName()", "gone", true);
        },
        testing::ExitedWithCode(255), "^Warning - first\nError - gone\nErrors    : 1\nWarnings  : 1\n\n$");
}

TEST_F(DiagExit, QuietFatalReportPrintsNothingButStillExits255)
{
    EXPECT_EXIT(
        {
            outputToStderr();
            setQuiet(1);
            report(SEV_WARNING, "main()", "w", false);
            if (warningCount() != 1)
                std::exit(3);
            report(SEV_ERROR, "main()", "gone", true);
        },
        testing::ExitedWithCode(255), "^$");
}

TEST_F(DiagExit, StartUpPrintsBannerAndNotice)
{
    const char *argv[] = {"quessel", "/c", "x.lib"};
    EXPECT_EXIT(
        {
            outputToStderr();
            startUp(3, argv, librarianBanner());
            summary(1);
        },
        testing::ExitedWithCode(1),
        "^QUESSEL v2.20.00, Librarian\n" + noticeBanner() + "\n\nErrors    : 0\nWarnings  : 0\n\n$");
}

TEST_F(DiagExit, QuietSwitchAnywhereSilencesTheBanner)
{
    const char *argv[] = {"skellan", "a.cof", "/Q"};
    EXPECT_EXIT(
        {
            outputToStderr();
            startUp(3, argv, hexConverterBanner());
            summary(0);
        },
        testing::ExitedWithCode(0), "^$");
}

TEST(DiagSwitches, QuietSwitchIsAWholeArgument)
{
    EXPECT_TRUE(isQuietSwitch("-q"));
    EXPECT_TRUE(isQuietSwitch("/Q"));
    EXPECT_FALSE(isQuietSwitch("/quiet"));
    EXPECT_FALSE(isQuietSwitch("-qq"));
    EXPECT_FALSE(isQuietSwitch("q"));
}

TEST(DiagSwitches, SlashArgumentWithAFurtherSlashIsAPath)
{
    EXPECT_TRUE(isSwitchArg("/o"));
    EXPECT_TRUE(isSwitchArg("-o/out/a.out"));
    EXPECT_TRUE(isSwitchArg("/r"));
    EXPECT_FALSE(isSwitchArg("/tmp/a.o"));
    EXPECT_FALSE(isSwitchArg("a.o"));
    EXPECT_FALSE(isSwitchArg(""));
}

TEST(DebugSwitches, UnknownNameReadsZeroAndSetLevelSurvivesRegistering)
{
    EXPECT_EQ(debugLevel("Test::neverSeen"), 0);
    setDebugSwitch("Test::set", 3);
    registerDebugSwitch("Test::set");
    EXPECT_EQ(debugLevel("Test::set"), 3);
    EXPECT_EQ(registerDebugSwitch("Test::other"), "Test::other");
}
