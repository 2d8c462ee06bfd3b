// The COD converter when its files fail it: a disk that fills up while the
// listing or the COD file is written, an executable that is cut short, and
// 100 MB of noise given as an executable or read as a COD file. Each run
// reports its error and ends with exit code 1; a COD file that fails after
// the listing was written leaves that listing, and nothing else changes.

#include "cod.h"
#include "coffbuilder.h"
#include "diag.h"
#include "limitrun.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string ONE_ERROR = "Errors    : 1\nWarnings  : 0\n\n";
const ProcessorCode CORE14_DEVICE = 0x07;

// Four 14-bit words; the listing names no source file.
Bytes program()
{
    return CoffBuilder()
        .flags(F_EXEC)
        .processor(CORE14_DEVICE)
        .section(".code", SCN_CODE, {0x01, 0x30, 0x03, 0x20, 0x00, 0x28, 0x08, 0x00})
        .symbol("start", 0, ".code", C_LABEL)
        .bytes();
}

LimitedResult dorvane(const TempDir &dir, const std::vector<std::string> &args, uint64_t fileSizeLimit = 0)
{
    return runLimited(DORVANE_EXE, args, dir.path(), fileSizeLimit);
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(CodConverterFullDisk, CodFileFailingAfterTheListingLeavesTheListing)
{
    // A first run gives the sizes: the listing (a page header) is shorter
    // than the COD file (a directory block and a code block at least).
    TempDir first;
    first.write("prog.cof", program());
    ASSERT_EQ(dorvane(first, {"prog.cof"}).exitCode, 0);
    const uint64_t listing = first.read("prog.lst").size();
    ASSERT_LT(listing, first.read("prog.cod").size());

    // With no file allowed beyond the listing's size the listing is written
    // whole and the COD file fails; the old COD file stays.
    TempDir dir;
    dir.write("prog.cof", program());
    dir.write("prog.lst", std::string("old listing\n"));
    dir.write("prog.cod", std::string("old cod"));
    LimitedResult r = dorvane(dir, {"prog.cof"}, listing);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(endsWith(r.output, ONE_ERROR)) << r.output;
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"prog.cod", "prog.cof", "prog.lst"}));
    EXPECT_EQ(dir.readText("prog.cod"), "old cod");
    EXPECT_EQ(dir.read("prog.lst").size(), listing);
    EXPECT_EQ(dir.readText("prog.lst").substr(0, 45), "DORVANE v2.20.00, COFF to COD File Converter\n");
}

TEST(CodConverterFullDisk, ListingFailingLeavesBothOldFiles)
{
    TempDir dir;
    dir.write("prog.cof", program());
    dir.write("prog.lst", std::string("old listing\n"));
    dir.write("prog.cod", std::string("old cod"));
    auto before = snapshot(dir);
    LimitedResult r = dorvane(dir, {"prog.cof"}, 20);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(endsWith(r.output, ONE_ERROR)) << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

TEST(CodConverterInputs, TruncatedExecutableWritesNothing)
{
    TempDir dir;
    Bytes cut = program();
    // Inside the section header; the string table, which follows the
    // symbols and is read first, is gone too.
    cut.resize(36 + 20);
    dir.write("prog.cof", cut);
    LimitedResult r = dorvane(dir, {"prog.cof"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.output, "Error - Coff file 'prog.cof' could not read string table length.\n" + ONE_ERROR))
        << r.output;
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.cof"});
}

TEST(CodConverterNoise, HundredMegabyteExecutableIsRefusedWithLittleMemory)
{
    TempDir dir;
    writeNoiseFile(dir.file("noise.cof"), 100u << 20, {{0, {0x34, 0x12}}, {16, {16, 0}}});
    LimitedResult r = dorvane(dir, {"noise.cof"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Error - Coff file 'noise.cof' "), std::string::npos) << r.output;
    EXPECT_LT(r.peakKb, 64u << 10);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"noise.cof"});
}

TEST(CodReaderNoise, HundredMegabyteFileIsRefusedWithLittleMemory)
{
    // Read in a child process, whose peak memory beyond this process's own
    // is the reader's.
    TempDir dir;
    writeNoiseFile(dir.file("noise.cod"), 100u << 20, {});
    struct rusage self = {};
    getrusage(RUSAGE_SELF, &self);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setQuiet(1);
        std::unique_ptr<Cod> cod = Cod::make(dir.file("noise.cod"));
        _exit(cod ? 0 : 1);
    }
    int status = 0;
    struct rusage child = {};
    wait4(pid, &status, 0, &child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_LT(uint64_t(child.ru_maxrss), uint64_t(self.ru_maxrss) + (64u << 10));
}
