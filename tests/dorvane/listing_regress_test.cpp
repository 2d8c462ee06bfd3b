// Source names that are no regular files: the listing must not read a device
// without end or wait on a pipe. Each is skipped with the warning of a
// source file that cannot be opened, and the conversion succeeds. A source
// that cannot be opened for want of descriptors fails the run instead.

#include "coffbuilder.h"
#include "diag.h"
#include "limitrun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(ListingSources, RunningOutOfDescriptorsFailsTheRun)
{
    // Descriptors limited ever less tightly until the run succeeds: a limit
    // that leaves none for the source is an error, never the missing-source warning.
    TempDir dir;
    dir.write("main.asm", std::string("start   movlw 1\n        call start\n"));
    dir.write("prog.cof", programFrom("main.asm"));
    const std::string failed = "Error - Could not open source file 'main.asm': Too many open files.\n"
                               "Errors    : 1\nWarnings  : 0\n\n";
    bool sourceFailed = false;
    for (int limit = 3; limit <= 64 && !dir.exists("prog.cod"); ++limit) {
        SCOPED_TRACE(limit);
        const std::string sh = "ulimit -n " + std::to_string(limit) + " && exec \"$0\" prog.cof";
        ToolResult r = runTool("/bin/sh", {"-c", sh, DORVANE_EXE}, dir.path());
        if (r.output.ends_with(failed)) {
            sourceFailed = true;
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(dir.list(), (std::vector<std::string>{"main.asm", "prog.cof"}));
        }
    }
    EXPECT_TRUE(sourceFailed);
    EXPECT_TRUE(dir.exists("prog.lst"));
}

TEST(ListingSources, OneSourceNamedHundredTimesListsWithLittleMemory)
{
    // A 1 MB source named by 100 ".file" symbols, each ended by ".eof" or
    // each included by the one before, is held once.
    TempDir dir;
    std::string source;
    while (source.size() < (1u << 20))
        source += "        movlw   1      ; " + std::string(990, 'x') + "\n";
    dir.write("big.asm", source);
    ASSERT_EQ(symlink("/dev/null", dir.file("prog.lst").c_str()), 0);
    for (bool nested : {false, true}) {
        SCOPED_TRACE(nested ? "nested" : "one after the other");
        CoffBuilder exe;
        exe.flags(F_EXEC).processor(CORE14_DEVICE).section(".code", SCN_CODE, {0x01, 0x30});
        for (int k = 0; k < 100; ++k) {
            exe.file("big.asm", nested && k > 0 ? 1 : 0);
            if (k == 0)
                exe.line(".code", 1, 0);
            if (!nested)
                exe.symbol(".eof", 0, -2, C_STAT);
        }
        dir.write("prog.cof", exe.bytes());
        LimitedResult r = runLimited(DORVANE_EXE, {"prog.cof"}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_LT(r.peakKb, 64u << 10);
    }
}
