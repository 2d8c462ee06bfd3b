// Source names that are no regular files: the listing must not read a device
// without end or wait on a pipe. Each is skipped with the warning of a
// source file that cannot be opened, and the conversion succeeds.

#include "coffbuilder.h"
#include "diag.h"
#include "limitrun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const ProcessorCode CORE14_DEVICE = 0x07;

// Two 14-bit words from two lines of the named source.
std::vector<uint8_t> programFrom(const std::string &source)
{
    return CoffBuilder()
        .flags(F_EXEC)
        .processor(CORE14_DEVICE)
        .section(".code", SCN_CODE, {0x01, 0x30, 0x03, 0x20})
        .file(source)
        .line(".code", 1, 0)
        .line(".code", 2, 1)
        .symbol("start", 0, ".code", C_LABEL)
        .bytes();
}

std::string skipped(const std::string &source)
{
    return codConverterBanner() + "\n" + noticeBanner() + "\n\nWarning - Could not open source file '" + source +
           "'.\nThis file will not be present in the list file.\nErrors    : 0\nWarnings  : 1\n\n";
}

} // namespace

TEST(ListingSources, DeviceWithoutEndIsSkipped)
{
    TempDir dir;
    dir.write("prog.cof", programFrom("/dev/zero"));
    LimitedResult r = runLimited(DORVANE_EXE, {"prog.cof"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, skipped("/dev/zero"));
    EXPECT_TRUE(dir.exists("prog.lst"));
    EXPECT_TRUE(dir.exists("prog.cod"));
}

TEST(ListingSources, PipeIsSkippedWithoutWaiting)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe.asm").c_str(), 0600), 0);
    dir.write("prog.cof", programFrom("pipe.asm"));
    LimitedResult r = runLimited(DORVANE_EXE, {"prog.cof"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, skipped("pipe.asm"));
    EXPECT_TRUE(dir.exists("prog.cod"));
}
