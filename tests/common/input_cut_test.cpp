// Inputs that another program cuts short while a run reads them: the file is
// cut between being sized and being read (by the opener handed to the
// reader), small files (read whole) and large ones (read in pieces) alike,
// and large inputs are rewritten over and over while each program reads
// them. Each read ends in the reader's own "could not read" error or reads
// as the shorter file would, never in a fault; a FIFO that gives the same
// bytes gives the same result. Inputs that are no regular file (devices,
// pipes, FIFOs) are read no further than the limit, and refused at once
// when they are no image.

#include "archive.h"
#include "bytes.h"
#include "coffbuilder.h"
#include "limitrun.h"
#include "reportcapture.h"
#include "textio.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// Raw bytes that differ from piece to piece, so a piece read into the
// wrong place shows.
Bytes pattern(size_t raw)
{
    Bytes bytes(raw);
    for (size_t i = 0; i < raw; i++)
        bytes[i] = uint8_t(i % 251);
    return bytes;
}

Bytes rawData(Coff &coff)
{
    const Data &d = coff.cRawData[".code"];
    return Bytes(d.data(), d.data() + d.size());
}

// An object of `raw` bytes of raw data with one symbol whose name lies in
// the string table: 76 bytes of headers, the raw data, one symbol (18) and
// the string table (4 + the name and its NUL).
CoffBuilder object(const std::string &symbol, size_t raw)
{
    return CoffBuilder().section(".code", SCN_CODE, pattern(raw)).symbol(symbol, 0, ".code", C_EXT);
}

// Opens the file as the readers do and then cuts it at the offset (not
// when negative; past its end, grows it): after it was sized, before any
// of its bytes are read.
FileOpener cutAfterSizing(int64_t at)
{
    return [at](const std::string &name) {
        OpenedInput in = openInput(name);
        if (at >= 0) {
            EXPECT_EQ(::truncate(name.c_str(), off_t(at)), 0);
        }
        return in;
    };
}

// Makes a FIFO and a process that opens it for writing (waiting for a
// reader), writes the bytes and then, when endless, zero bytes until it is
// stopped, when this goes.
struct FifoWriter
{
    pid_t pid;
    FifoWriter(const std::string &fifo, const Bytes &bytes, bool endless)
    {
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        pid = fork();
        if (pid != 0)
            return;
        static const uint8_t zeros[65536] = {};
        int fd = ::open(fifo.c_str(), O_WRONLY);
        bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        while (ok && endless && ::write(fd, zeros, sizeof zeros) > 0) {
        }
        _exit(0);
    }
    ~FifoWriter()
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// Writes the file and reads it with read (given its path and the opener)
// while it is cut at `cut`; reported gets what the reader reported. Through
// a FIFO, the file's bytes up to the cut arrive and then the FIFO ends: the
// reader must make of them what it makes of the file.
template <typename Read>
auto readCut(const Bytes &file, int64_t cut, bool fifo, std::string &reported, Read read)
{
    TempDir dir;
    std::unique_ptr<FifoWriter> writer;
    Bytes sent(file.begin(), cut < 0 ? file.end() : file.begin() + cut);
    if (fifo)
        writer = std::make_unique<FifoWriter>(dir.file("in"), sent, false);
    else
        dir.write("in", file);
    ReportCapture capture;
    auto result = read(dir.file("in"), cutAfterSizing(fifo ? -1 : cut));
    reported = capture.text();
    return result;
}

} // namespace

TEST(InputCutWhileRead, ObjectFailsWhereItsBytesEnd)
{
    // The small object is read whole, the large one in pieces; the cut in
    // the raw data of the large one lies in its third piece. 4 KB that no
    // area reaches follow the image: a cut there leaves it whole, even
    // where the string table at its end is read before the raw data in an
    // earlier piece.
    for (size_t raw : {size_t(1000), size_t(FileBytes::PIECE * 5 / 2)}) {
        Bytes image = object("long_symbol", raw).bytes();
        const int64_t size = int64_t(image.size());
        image.resize(image.size() + 4096, 0xEE);
        const struct
        {
            int64_t cut;
            const char *error; // nullptr: read as it was
        } cases[] = {
            {0, "could not read file header."},
            {30, "could not read optional file header."},
            {76 + int64_t(raw) - 10, "could not read string table length."},
            {size - 1, "could not read string table."},
            {size + 10, nullptr},
            {-1, nullptr},
        };
        for (bool fifo : {false, true}) {
            for (const auto &c : cases) {
                SCOPED_TRACE(testing::Message() << raw << " raw bytes, cut at " << c.cut << (fifo ? " in a FIFO" : ""));
                std::string reported;
                std::unique_ptr<Coff> coff =
                    readCut(image, c.cut, fifo, reported,
                            [](const std::string &path, const FileOpener &open) { return Coff::make(path, open); });
                if (!c.error) {
                    ASSERT_TRUE(coff) << reported;
                    EXPECT_EQ(rawData(*coff), pattern(raw));
                    EXPECT_EQ(coff->cStrTbl.at(4), "long_symbol");
                    continue;
                }
                EXPECT_FALSE(coff);
                EXPECT_NE(reported.find("' " + std::string(c.error)), std::string::npos) << reported;
            }
        }
    }
}

TEST(InputGrowingWhileRead, ReadNoFurtherThanItsSizeWhenOpened)
{
    // Bytes appended between sizing and reading are not read.
    TempDir dir;
    const Bytes image = object("long_symbol", 1000).bytes();
    dir.write("in.o", image);
    FileBytes bytes;
    ASSERT_TRUE(bytes.read(dir.file("in.o"), cutAfterSizing(int64_t(image.size()) + (4 << 20))));
    EXPECT_EQ(bytes.size(), image.size());
    const std::string text = "CODEPAGE NAME=page0 START=0x0 END=0x7FF\n", path = dir.file("link.lkr");
    dir.write("link.lkr", text);
    std::string read;
    EXPECT_TRUE(readRegularFile(path, read, nullptr, [&] { EXPECT_EQ(::truncate(path.c_str(), 4096), 0); }));
    EXPECT_EQ(read, text);
}

TEST(InputCutWhileRead, LibraryKeepsItsWholeMembersOrFails)
{
    // A cut inside a header ends the members there, as the end of a file
    // does; a cut inside a member's image fails the library. The large
    // library's second member starts in its first piece and ends in its
    // second.
    for (size_t raw : {size_t(300), size_t(FileBytes::PIECE * 3 / 4)}) {
        ArchiveBuilder library;
        library.member("a.o", object("alpha_symbol", raw)).member("b.o", object("beta_symbol", raw));
        Bytes file = library.bytes();
        const int64_t image = int64_t(object("alpha_symbol", raw).bytes().size());
        const int64_t size = int64_t(file.size());
        const struct
        {
            int64_t cut;
            size_t members;    // when read
            const char *error; // nullptr: read
        } cases[] = {
            {4, 0, "Could not read archive magic string in library file"},
            {100, 0, nullptr},
            {8 + 280 + image / 2, 0, "Could not build member 'a.o' in library file"},
            {8 + 280 + image + 100, 1, nullptr},
            {size - 1, 0, "Could not build member 'b.o' in library file"},
            {-1, 2, nullptr},
        };
        for (bool fifo : {false, true}) {
            for (const auto &c : cases) {
                SCOPED_TRACE(testing::Message() << raw << " raw bytes, cut at " << c.cut << (fifo ? " in a FIFO" : ""));
                std::string reported;
                std::unique_ptr<Archive> archive =
                    readCut(file, c.cut, fifo, reported,
                            [](const std::string &path, const FileOpener &open) { return Archive::make(path, open); });
                if (c.error) {
                    EXPECT_FALSE(archive);
                    EXPECT_NE(reported.find(c.error), std::string::npos) << reported;
                    continue;
                }
                ASSERT_TRUE(archive) << reported;
                ASSERT_EQ(archive->cMembers.size(), c.members);
                for (auto &member : archive->cMembers)
                    EXPECT_EQ(rawData(*member), pattern(raw));
            }
        }
    }
}

namespace {

// Each program reading one input: an object for the linker and the
// librarian, an executable for the converters.
struct ProgramRun
{
    const char *exe;
    std::vector<std::string> args;
    const char *input;
};

const ProgramRun RUNS[] = {
    {TARVOK_EXE, {"link.lkr", "in.o"}, "in.o"},
    {QUESSEL_EXE, {"/c", "new.lib", "in.o"}, "in.o"},
    {SKELLAN_EXE, {"in.cof"}, "in.cof"},
    {DORVANE_EXE, {"in.cof"}, "in.cof"},
};

const char *const COMMAND_FILE = "CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                                 "DATABANK NAME=gpr0  START=0x20 END=0x6F\n";

// The image with `gap` zero bytes before its symbol table, which the
// writer puts after every other area: a large file whose last bytes are
// read after its first. Returns where the gap starts.
size_t insertGap(Bytes &image, size_t gap)
{
    size_t symptr = getU32(image.data() + 8);
    image.insert(image.begin() + ptrdiff_t(symptr), gap, 0);
    putU32(image.data() + 8, uint32_t(symptr + gap));
    return symptr;
}

// A process that, until it is killed, cuts the file back to `keep` bytes,
// writes its end again and leaves it whole for a moment, so that a run
// finds it whole or cut and may see it cut after sizing it whole.
pid_t startRewriting(const std::string &path, const Bytes &image, size_t keep)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    int fd = ::open(path.c_str(), O_WRONLY);
    size_t tail = image.size() - 4096;
    for (;;)
        if (fd < 0 || ::ftruncate(fd, off_t(keep)) != 0 ||
            ::pwrite(fd, image.data() + tail, image.size() - tail, off_t(tail)) < 0 || ::usleep(20) != 0)
            _exit(1);
}

} // namespace

TEST(InputRewrittenWhileRead, NoProgramDiesOfIt)
{
    // A 14-bit object and the executable made of it, each 3 MB through its
    // gap. Every run ends with exit code 0 or 1, whatever it found; with the
    // inputs mapped into memory, about two runs in five die of a bus error.
    CoffBuilder object = CoffBuilder()
                             .processor(ProcessorCode(0x08))
                             .section(".code", SCN_CODE, Bytes(64, 0x3F))
                             .symbol("start_of_code", 0, ".code", C_EXT);
    Bytes obj = object.bytes(), exe = object.flags(F_EXEC).bytes();
    const size_t keepObj = insertGap(obj, 3u << 20), keepExe = insertGap(exe, 3u << 20);
    for (const ProgramRun &run : RUNS) {
        SCOPED_TRACE(run.exe);
        TempDir dir;
        dir.write("link.lkr", std::string(COMMAND_FILE));
        bool isObject = std::string(run.input) == "in.o";
        const Bytes &image = isObject ? obj : exe;
        dir.write(run.input, image);
        ToolResult whole = runTool(run.exe, run.args, dir.path());
        ASSERT_EQ(whole.exitCode, 0) << whole.output;

        pid_t rewriter = startRewriting(dir.file(run.input), image, isObject ? keepObj : keepExe);
        ASSERT_GT(rewriter, 0);
        for (int i = 0; i < 10; i++) {
            ToolResult r = runTool(run.exe, run.args, dir.path());
            // The program's own summary ends the run: a signal, or a
            // sanitizer reporting one, would cut it off.
            EXPECT_TRUE((r.exitCode == 0 || r.exitCode == 1) && r.output.find("\nErrors    : ") != std::string::npos)
                << r.exitCode << "\n"
                << r.output;
        }
        ::kill(rewriter, SIGKILL);
        int status = 0;
        ::waitpid(rewriter, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the rewriter stopped by itself";
    }
}

// ---------------------------------------------------------------- streams

namespace {

const std::string LIMIT = "is not a regular file and would be read past its first 33554432 bytes, the most "
                          "read from a device, FIFO or pipe.";

} // namespace

TEST(InputStream, LibraryPastTheLimitIsRefused)
{
    // Through a FIFO that sends zeros without end after its bytes: zeros
    // are refused on their first bytes; a member whose string table lies
    // past the limit is refused once the limit is read. (The programs'
    // objects and executables: below.)
    Bytes far = object("long_symbol", 10).bytes();
    putU32(far.data() + 8, 40u << 20);
    Bytes library = {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};
    Bytes header = Archive::packHeader("a.o", 0, uint32_t(far.size()));
    library.insert(library.end(), header.begin(), header.end());
    library.insert(library.end(), far.begin(), far.end());
    for (const Bytes &bytes : {Bytes(), library}) {
        TempDir dir;
        FifoWriter writer(dir.file("in.lib"), bytes, true);
        ReportCapture capture;
        EXPECT_FALSE(Archive::make(dir.file("in.lib")));
        EXPECT_EQ(capture.text(), "Error - " +
                                      (bytes.empty() ? "File '" + dir.file("in.lib") + "' is not a valid library file."
                                                     : "Library file '" + dir.file("in.lib") + "' " + LIMIT) +
                                      "\n");
    }
}

namespace {

// A 14-bit object, or the executable made of it.
Bytes programInput(bool executable)
{
    CoffBuilder object = CoffBuilder()
                             .processor(ProcessorCode(0x08))
                             .section(".code", SCN_CODE, Bytes(64, 0x3F))
                             .symbol("start_of_code", 0, ".code", C_EXT);
    return executable ? object.flags(F_EXEC).bytes() : object.bytes();
}

// 1,000 section headers on the first one's 100,000 bytes of raw data: a
// small file that was copied once per header.
Bytes sharedRawData(bool executable)
{
    CoffBuilder b;
    b.processor(ProcessorCode(0x08)).flags(executable ? F_EXEC : 0).section("s0", SCN_CODE, Bytes(100000, 0x3F));
    for (int i = 1; i < 1000; i++)
        b.section("s" + std::to_string(i), SCN_CODE, {0, 0});
    Bytes image = b.symbol("start_of_code", 0, "s0", C_EXT).bytes();
    uint8_t *first = image.data() + FILEHDR_SIZE + OPTHDR_SIZE;
    for (size_t i = 1; i < 1000; i++)
        std::memcpy(first + SCNHDR_SIZE * i + 16, first + 16, 8); // s_size and s_scnptr
    return image;
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(InputStream, EveryProgramRefusesAnEndlessStreamAtOnce)
{
    // The input is a link to /dev/zero or /dev/urandom, or a FIFO that
    // another process fills with zeros without end, or with an image whose
    // symbol table lies past the limit and then zeros: refused with little
    // memory (the last costs the limit more than the first). Fed an image, the FIFO reads as the regular file does.
    // A file whose sections share their raw data is refused as it is read.
    Bytes far = programInput(true);
    putU32(far.data() + 8, 40u << 20);
    for (const ProgramRun &run : RUNS) {
        const Bytes input = programInput(std::string(run.input) == "in.cof");
        const struct
        {
            const char *source;
            Bytes bytes;
            bool endless;
            std::string message; // after the input's name; empty: success
        } sources[] = {
            {"/dev/zero", {}, false, "' does not appear to be a valid COFF file.\n"},
            {"/dev/urandom", {}, false, "' "}, // the magic number passes once in 65536 runs
            {"FIFO", {}, true, "' does not appear to be a valid COFF file.\n"},
            {"FIFO", far, true, "' " + LIMIT + "\n"},
            {"FIFO", input, false, ""},
            {"file", sharedRawData(std::string(run.input) == "in.cof"), false,
             "' has overlapping areas: the raw data of section 's0' and the raw data of section 's1' share"},
        };
        uint64_t zeroPeakKb = 0;
        for (const auto &s : sources) {
            SCOPED_TRACE(std::string(run.exe) + " reading " + s.source + " of " + std::to_string(s.bytes.size()));
            TempDir dir;
            dir.write("link.lkr", std::string(COMMAND_FILE));
            std::unique_ptr<FifoWriter> writer;
            if (s.source == std::string("FIFO"))
                writer = std::make_unique<FifoWriter>(dir.file(run.input), s.bytes, s.endless);
            else if (s.source == std::string("file"))
                dir.write(run.input, s.bytes);
            else
                ASSERT_EQ(::symlink(s.source, dir.file(run.input).c_str()), 0);
            LimitedResult r = runLimited(run.exe, run.args, dir.path());
            zeroPeakKb = zeroPeakKb ? zeroPeakKb : r.peakKb;
            EXPECT_EQ(r.exitCode, s.message.empty() ? 0 : 1) << r.output;
            // The linker names the input as it found it. An input read too
            // far would cost memory; the runner ends one that hangs.
            std::string name = (run.exe == std::string(TARVOK_EXE) ? "./" : "") + std::string(run.input);
            EXPECT_TRUE(s.message.empty() || contains(r.output, "Error - Coff file '" + name + s.message)) << r.output;
            EXPECT_LT(r.peakKb, s.bytes == far ? zeroPeakKb + (36u << 10) : 64u << 10);
        }
    }
}
