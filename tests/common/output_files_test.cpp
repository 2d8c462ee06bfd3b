// The four programs and their output files: none writes over one of its
// inputs or over its other output, and none replaces a file that the user
// may not write. Every refusal ends with exit code 1 and leaves the
// directory as it was.

#include "archive.h"
#include "coffbuilder.h"
#include "limitrun.h"
#include "mgproc.h"
#include "tooltest.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string ONE_ERROR = "Errors    : 1\nWarnings  : 0\n\n";

// A 14-bit executable of a processor that the table knows.
std::vector<uint8_t> program()
{
    const ProcessorCode code = 0x07;
    return CoffBuilder()
        .flags(F_EXEC)
        .processor(proc_type_word(code), proc_rom_width(code), 8)
        .section(".code", SCN_CODE, {0x01, 0x30, 0x08, 0x00}, 0x10)
        .bytes();
}

// The example's command file and objects, a library l.lib of a.o and x.o,
// and executables named p.cof, app.hex and app.lst.
void writeInputs(const TempDir &dir)
{
    for (const char *name : {"voq410.lkr"})
        std::filesystem::copy_file(std::string(EXAMPLE_SOURCE_DIR) + "/voq410/" + name, dir.file(name));
    for (const char *name : {"main.o", "util.o", "delay.o"})
        std::filesystem::copy_file(std::string(EXAMPLE_OBJECT_DIR) + "/voq410/" + name, dir.file(name));
    CoffBuilder a = CoffBuilder().section(".code", SCN_CODE, {1, 2}).symbol("alpha", 0, ".code", C_EXT);
    CoffBuilder x = CoffBuilder().section(".code", SCN_CODE, {3, 4}).symbol("xray", 0, ".code", C_EXT);
    dir.write("a.o", a.bytes());
    dir.write("l.lib", ArchiveBuilder().member("a.o", a).member("x.o", x).bytes());
    for (const char *name : {"p.cof", "app.hex", "app.lst"})
        dir.write(name, program());
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Refusal
{
    const char *exe;
    std::vector<std::string> args;
    std::string message; // the one error
};

void expectRefused(const Refusal &r, const TempDir &dir, bool unprivileged)
{
    auto before = snapshot(dir);
    ToolResult result = runTool(r.exe, r.args, dir.path(), unprivileged);
    EXPECT_EQ(result.exitCode, 1) << r.args[0];
    EXPECT_TRUE(endsWith(result.output, "Error - " + r.message + "\n" + ONE_ERROR)) << result.output;
    EXPECT_EQ(snapshot(dir), before) << r.args[0];
}

} // namespace

TEST(OutputFiles, NoProgramWritesOverItsInputsOrItsOtherOutputs)
{
    const std::vector<std::string> LINK = {"voq410.lkr", "main.o", "util.o", "delay.o"};
    auto link = [&](std::vector<std::string> more) {
        more.insert(more.begin(), LINK.begin(), LINK.end());
        return more;
    };
    const Refusal cases[] = {
        {TARVOK_EXE, link({"/m", "main.o"}), "Output file 'main.o' is the same file as input file './main.o'."},
        {TARVOK_EXE, link({"/m", "cmd.map"}), "Output file 'cmd.map' is the same file as input file './voq410.lkr'."},
        {TARVOK_EXE, link({"/o", "x.out", "/m", "x.out"}),
         "Output file 'x.out' is the same file as output file 'x.out'."},
        {SKELLAN_EXE, {"app.hex"}, "Output file 'app.hex' is the same file as input file 'app.hex'."},
        {DORVANE_EXE, {"app.lst"}, "Output file 'app.lst' is the same file as input file 'app.lst'."},
        {QUESSEL_EXE, {"/r", "l.lib", "m.o"}, "Output file 'l.lib' is the same file as input file 'm.o'."},
        {QUESSEL_EXE, {"/x", "l.lib"}, "Output file 'x.o' is the same file as input file 'l.lib'."},
    };
    for (const Refusal &c : cases) {
        TempDir dir;
        writeInputs(dir);
        ASSERT_EQ(::symlink("voq410.lkr", dir.file("cmd.map").c_str()), 0);
        ASSERT_EQ(::symlink("l.lib", dir.file("m.o").c_str()), 0);
        ASSERT_EQ(::link(dir.file("l.lib").c_str(), dir.file("x.o").c_str()), 0);
        expectRefused(c, dir, false);
    }
}

TEST(OutputFiles, FilesTheUserMayNotWriteAreNotReplaced)
{
    if (!canRunUnprivileged())
        GTEST_SKIP() << "cannot run as an unprivileged user";
    struct Case
    {
        Refusal run;
        std::string file; // made read-only
    };
    const Case cases[] = {
        {{SKELLAN_EXE, {"p.cof"}, "Could not open hex file 'p.hex' for writing."}, "p.hex"},
        {{QUESSEL_EXE, {"/d", "l.lib", "a.o"}, "Could not open library file 'l.lib' for writing."}, "l.lib"},
        {{QUESSEL_EXE, {"/x", "l.lib", "a.o"}, "Could not open Coff file 'a.o' for writing."}, "a.o"},
    };
    for (const Case &c : cases) {
        TempDir dir;
        writeInputs(dir);
        dir.write("p.hex", std::string("old\n"));
        // The directory is open to everyone: only the file's own bits protect it.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
        ASSERT_EQ(::chmod(dir.file(c.file).c_str(), 0444), 0);
        expectRefused(c.run, dir, true);
    }
}
