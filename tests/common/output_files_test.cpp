// The four programs and their output files: none writes over one of its
// inputs or over its other output, and none replaces a file that the user
// may not write. Every refusal ends with exit code 1 and leaves the
// directory as it was.

#include "archive.h"
#include "coffbuilder.h"
#include "limitrun.h"
#include "mgproc.h"
#include "tooltest.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string ONE_ERROR = "Errors    : 1\nWarnings  : 0\n\n";

// A 14-bit executable of a processor that the table knows.
CoffBuilder program()
{
    const ProcessorCode code = 0x07;
    return CoffBuilder()
        .flags(F_EXEC)
        .processor(proc_type_word(code), proc_rom_width(code), 8)
        .section(".code", SCN_CODE, {0x01, 0x30, 0x08, 0x00}, 0x10);
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
        dir.write(name, program().bytes());
    // s.cof lists the source s.lst, which is also its listing's name.
    dir.write("s.cof", program().file("s.lst").line(".code", 1, 0x10).bytes());
    dir.write("s.lst", std::string("        movlw 1\n"));
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
        {DORVANE_EXE, {"s.cof"}, "Output file 's.lst' is the same file as input file 's.lst'."},
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
    // As the unprivileged user in a directory open to everyone, a file made
    // read-only; in a sticky one (as /tmp), a file, FIFO or link a third user put there.
    struct Case
    {
        Refusal run;
        std::string file;
        bool planted = false;
        bool fifo = false; // file is made a FIFO, which the run must not wait for
    };
    const Case cases[] = {
        {{SKELLAN_EXE, {"p.cof"}, "Could not open hex file 'p.hex' for writing."}, "p.hex"},
        {{QUESSEL_EXE, {"/d", "l.lib", "a.o"}, "Could not open library file 'l.lib' for writing."}, "l.lib"},
        {{QUESSEL_EXE, {"/x", "l.lib", "a.o"}, "Could not open Coff file 'a.o' for writing."}, "a.o"},
        {{SKELLAN_EXE, {"p.cof"}, "Could not open hex file 'p.hex' for writing."}, "p.hex", true},
        {{QUESSEL_EXE, {"/c", "pub/x.lib", "a.o"}, "Could not open library file 'pub/x.lib' for writing."}, "pub",
         true},
        {{QUESSEL_EXE, {"/r", "l.lib", "a.o"}, "Could not open library file 'l.lib' for reading."}, "l.lib", true,
         true},
    };
    std::string skipped;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.run.args.back());
        if (c.planted && ::geteuid() != 0) {
            skipped += "\n  " + c.run.args.back() + ": needs root to give a file to a third user";
            continue;
        }
        TempDir dir;
        writeInputs(dir);
        dir.write("p.hex", std::string("old\n"));
        ASSERT_EQ(::chmod(dir.path().c_str(), c.planted ? 01777 : 0777), 0);
        const std::string file = dir.file(c.file);
        ASSERT_TRUE(!c.fifo || (std::filesystem::remove(file) && ::mkfifo(file.c_str(), 0) == 0));
        // pub links to the directory itself, where a file written through it would land.
        ASSERT_EQ(c.file == "pub" ? ::symlink(".", file.c_str()) : ::chmod(file.c_str(), c.planted ? 0666 : 0444), 0);
        ASSERT_EQ(c.planted ? ::lchown(file.c_str(), 65533, 65533) : 0, 0);
        expectRefused(c.run, dir, true);
    }
    if (!skipped.empty())
        GTEST_SKIP() << "rows skipped:" << skipped;
}

namespace {

// Reads the FIFO from another process, opening it again after every end of
// file, so that a writer that opens it twice is seen, not left waiting;
// text() ends the reading with a mark of its own and gives what came before.
class FifoReader
{
public:
    FifoReader(const std::string &fifo, const std::string &got) : cFifo(fifo), cGot(got)
    {
        cPid = fork();
        if (cPid != 0)
            return;
        ::alarm(120);
        int out = ::open(got.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::string all;
        while (all.size() < END.size() || all.compare(all.size() - END.size(), END.size(), END) != 0) {
            int in = ::open(fifo.c_str(), O_RDONLY);
            char buf[4096];
            ssize_t n;
            while ((n = ::read(in, buf, sizeof buf)) > 0)
                all.append(buf, size_t(n));
            ::close(in);
        }
        (void)!::write(out, all.data(), all.size() - END.size());
        _exit(0);
    }
    ~FifoReader()
    {
        if (cPid > 0) {
            ::kill(cPid, SIGKILL);
            ::waitpid(cPid, nullptr, 0);
        }
    }
    FifoReader(const FifoReader &) = delete;
    FifoReader &operator=(const FifoReader &) = delete;

    std::string text()
    {
        int fd = -1;
        for (int tries = 0; fd < 0 && tries < 1000; ++tries)
            if ((fd = ::open(cFifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0)
                ::usleep(10000); // the reader opens the FIFO again
        if (fd < 0)
            return "(no reader)";
        (void)!::write(fd, END.data(), END.size());
        ::close(fd);
        ::waitpid(cPid, nullptr, 0);
        cPid = -1;
        std::ifstream in(cGot, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    const std::string END = "<end of test>";
    std::string cFifo;
    std::string cGot;
    pid_t cPid = -1;
};

size_t count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(OutputFiles, AMapWrittenDirectlyGetsOneMap)
{
    // The full map when the link succeeds, else the error map: never both,
    // and a FIFO is opened once.
    struct Case
    {
        const char *map;  // "fifo"; "full": a link to a device that takes nothing; "/dev/stdout" with
                          // standard output a file opened with truncation, shared with the console
        bool fits;        // the program fits, so the link succeeds
        int exitCode;
        std::string seen; // in what the FIFO's reader got, or in the console text
    };
    const Case cases[] = {
        {"fifo", true, 0, "Linker Map File - "},
        {"fifo", false, 1, "Linker Error Map File - "},
        {"/dev/stdout", true, 0, "Linker Map File - "},
        {"full", true, 1, "Error - Could not write map file 'full': No space left on device.\n" + ONE_ERROR},
        {"full", false, 1,
         "Error - Could not write map file 'full': No space left on device.\nError - section 'main_code' can not fit the "
         "section. Section 'main_code' length=0x0000000c\nErrors    : 2\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.map) + (c.fits ? ", link succeeds" : ", link fails"));
        TempDir dir, elsewhere;
        writeInputs(dir);
        std::string lkr = dir.readText("voq410.lkr");
        if (!c.fits)
            lkr.replace(lkr.find("END=0x3FF "), 10, "END=0xF   ");
        dir.write("t.lkr", lkr);
        ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
        ASSERT_EQ(::symlink("/dev/full", dir.file("full").c_str()), 0);
        FifoReader reader(dir.file("fifo"), elsewhere.file("got"));
        std::vector<std::string> args = {"t.lkr", "main.o", "util.o", "delay.o", "/m", c.map, "/o", "t.cof"};
        bool console = std::string(c.map) == "/dev/stdout";
        if (console) {
            std::string line = "exec \"$0\"";
            for (const std::string &arg : args)
                line += " " + arg;
            args = {"-c", line + " > console.txt", TARVOK_EXE};
        }
        LimitedResult result = runLimited(console ? "/bin/sh" : TARVOK_EXE, args, dir.path());
        EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
        if (console) {
            // The banner, the whole map, then the counts: none over another.
            std::string got = dir.readText("console.txt");
            EXPECT_EQ(got.rfind("TARVOK v2.20.00, Linker\nObject-file tool suite for 8-bit microcontrollers\n\n"
                                "TARVOK v2.20.00, Linker\nLinker Map File - ",
                                0),
                      0u)
                << got;
            EXPECT_EQ(count(got, "Symbols - Sorted by Address"), 1u) << got;
            EXPECT_TRUE(endsWith(got, "\n\nErrors    : 0\nWarnings  : 0\n\n")) << got;
        } else if (std::string(c.map) == "fifo") {
            std::string got = reader.text();
            EXPECT_EQ(count(got, "TARVOK v2.20.00, Linker\n"), 1u) << got;
            EXPECT_EQ(count(got, c.seen), 1u) << got;
        } else {
            EXPECT_EQ(count(result.output, c.seen), 1u) << result.output;
        }
    }
}
