// Inputs that another program cuts short while a run reads them: the file is
// cut between being sized and being read (by the opener handed to the
// reader), small files (read whole) and large ones (read in pieces) alike,
// and large inputs are rewritten over and over while each program reads
// them. Each read ends in the reader's own "could not read" error or reads
// as the shorter file would, never in a fault.

#include "archive.h"
#include "bytes.h"
#include "coffbuilder.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
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
// when negative): after it was sized, before any of its bytes are read.
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

// Writes the file and reads it with read (given its path and the opener)
// while it is cut at `cut`; reported gets what the reader reported.
template <typename Read>
auto readCut(const Bytes &file, int64_t cut, std::string &reported, Read read)
{
    TempDir dir;
    dir.write("in", file);
    ReportCapture capture;
    auto result = read(dir.file("in"), cutAfterSizing(cut));
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
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << raw << " raw bytes, cut at " << c.cut);
            std::string reported;
            std::unique_ptr<Coff> coff =
                readCut(image, c.cut, reported,
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
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << raw << " raw bytes, cut at " << c.cut);
            std::string reported;
            std::unique_ptr<Archive> archive =
                readCut(file, c.cut, reported,
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

namespace {

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
    const struct
    {
        const char *exe;
        std::vector<std::string> args;
        const char *input;
    } runs[] = {
        {TARVOK_EXE, {"link.lkr", "in.o"}, "in.o"},
        {QUESSEL_EXE, {"/c", "new.lib", "in.o"}, "in.o"},
        {SKELLAN_EXE, {"in.cof"}, "in.cof"},
        {DORVANE_EXE, {"in.cof"}, "in.cof"},
    };
    for (const auto &run : runs) {
        SCOPED_TRACE(run.exe);
        TempDir dir;
        dir.write("link.lkr", std::string("CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                                          "DATABANK NAME=gpr0  START=0x20 END=0x6F\n"));
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
