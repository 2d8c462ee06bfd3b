// Inputs that another program cuts short while a run reads them: the file is
// cut between being sized and being read (by the opener handed to the
// reader), small files (read whole) and large ones (read in pieces) alike,
// and large inputs are rewritten over and over while each program reads
// them. Each read ends in the reader's own "could not read" error or reads
// as the shorter file would, never in a fault. Inputs that are no regular
// file (devices, pipes, FIFOs): read as far as their image reaches and no
// further than the limit, refused at once when they are no image, and read
// like the regular file when another process feeds them one.

#include "archive.h"
#include "bytes.h"
#include "coffbuilder.h"
#include "limitrun.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
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

// ---------------------------------------------------------------- streams

namespace {

const std::string LIMIT_TEXT = "is not a regular file and would be read past its first 33554432 bytes, the "
                               "most read from a device, FIFO or pipe.";

// A process that writes the bytes to the descriptor that openEnd gives it
// (a pipe's writing end, or a FIFO it opens, waiting for a reader), then,
// when endless, zero bytes until it is stopped. It is stopped when this
// goes.
class StreamWriter
{
public:
    StreamWriter(const std::function<int()> &openEnd, const Bytes &bytes, bool endless)
    {
        cPid = fork();
        if (cPid != 0)
            return;
        int fd = openEnd();
        static const uint8_t zeros[65536] = {};
        for (size_t done = 0; fd >= 0 && done < bytes.size();) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                _exit(0);
            done += size_t(n);
        }
        while (endless && ::write(fd, zeros, sizeof zeros) > 0) {
        }
        _exit(0);
    }
    ~StreamWriter()
    {
        ::kill(cPid, SIGKILL);
        ::waitpid(cPid, nullptr, 0);
    }
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

private:
    pid_t cPid;
};

// Hands the reader, whatever name it opens, the reading end of a pipe
// that a StreamWriter fills (kept in writer).
FileOpener pipeOf(const Bytes &bytes, bool endless, std::unique_ptr<StreamWriter> &writer)
{
    return [&writer, bytes, endless](const std::string &) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        writer = std::make_unique<StreamWriter>(
            [ends] {
                ::close(ends[0]);
                return ends[1];
            },
            bytes, endless);
        ::close(ends[1]);
        OpenedInput in;
        in.fd = ends[0];
        return in;
    };
}

// The library of one member with this image.
Bytes libraryOf(const Bytes &image)
{
    Bytes file = {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};
    Bytes header = Archive::packHeader("a.o", 0, uint32_t(image.size()));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

std::string imageOf(const Coff &coff)
{
    std::ostringstream out;
    EXPECT_TRUE(coff.write(out, 0));
    return out.str();
}

std::string imageOf(const Archive &archive)
{
    std::ostringstream out;
    EXPECT_TRUE(archive.write(out));
    return out.str();
}

// What a reader made of its input: its messages and, when it read it, the
// input written out again.
struct Outcome
{
    std::string reported;
    bool read = false;
    std::string image;
};

template <typename Read> Outcome outcomeOf(Read read)
{
    Outcome o;
    ReportCapture capture;
    auto result = read();
    o.reported = capture.text();
    o.read = result != nullptr;
    if (result)
        o.image = imageOf(*result);
    return o;
}

// A stream given to a reader: a device, or a pipe that gives the bytes and
// then ends or sends zero bytes without end. Expected: the message (the
// file's name where 'P' stands), any error (ANY), or what the reader makes
// of a regular file holding the bytes (SAME).
struct StreamCase
{
    const char *what;
    const char *device; // or nullptr: a pipe
    Bytes bytes;
    bool endless;
    std::string expected;
};

const std::string ANY = "any error", SAME = "as a regular file";

template <typename Read> void checkStreams(const std::vector<StreamCase> &cases, Read read)
{
    for (const StreamCase &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("in");
        dir.write("in", c.bytes);
        std::unique_ptr<StreamWriter> writer;
        FileOpener open = c.device ? FileOpener([&c](const std::string &) { return openInput(c.device); })
                                   : pipeOf(c.bytes, c.endless, writer);
        Outcome stream = outcomeOf([&] { return read(path, open); });
        if (c.expected == ANY) {
            EXPECT_FALSE(stream.read);
            EXPECT_NE(stream.reported.find("Error - "), std::string::npos);
        } else if (c.expected == SAME) {
            Outcome file = outcomeOf([&] { return read(path, openInput); });
            EXPECT_EQ(stream.reported, file.reported);
            EXPECT_EQ(stream.read, file.read);
            EXPECT_EQ(stream.image, file.image);
        } else {
            std::string expected = c.expected;
            expected.replace(expected.find("'P'"), 3, "'" + path + "'");
            EXPECT_FALSE(stream.read);
            EXPECT_EQ(stream.reported, expected);
        }
    }
}

} // namespace

TEST(InputStream, ReadOnlyAsFarAsItsImageReaches)
{
    // A stream that is no image is refused on its first bytes; one that is
    // reads as the file of its bytes would, whatever follows it, unless
    // its image reaches past the limit. The large object's stream arrives
    // in many reads.
    Bytes obj = object("long_symbol", 1000).bytes();
    Bytes big = object("long_symbol", FileBytes::PIECE * 5 / 2).bytes();
    Bytes cut(obj.begin(), obj.end() - 30);
    Bytes far = obj;
    putU32(far.data() + 8, 40u << 20); // f_symptr: the string table lies past the limit
    checkStreams(
        {
            {"zeros from a device", "/dev/zero", {}, false,
             "Error - Coff file 'P' does not appear to be a valid COFF file.\n"},
            {"noise from a device", "/dev/urandom", {}, false, ANY},
            {"an object, then its end", nullptr, obj, false, SAME},
            {"an object, then zeros without end", nullptr, obj, true, SAME},
            {"a large object, then zeros without end", nullptr, big, true, SAME},
            {"an object cut short", nullptr, cut, false, SAME},
            {"an object reaching past the limit, then its end", nullptr, far, false, SAME},
            {"an object reaching past the limit, then zeros without end", nullptr, far, true,
             "Error - Coff file 'P' " + LIMIT_TEXT + "\n"},
        },
        [](const std::string &path, const FileOpener &open) { return Coff::make(path, open); });
}

TEST(InputStream, LibraryReadOnlyAsFarAsItsMembersReach)
{
    Bytes obj = object("long_symbol", 1000).bytes();
    Bytes big = object("long_symbol", FileBytes::PIECE * 5 / 2).bytes();
    Bytes far = obj;
    putU32(far.data() + 8, 40u << 20);
    Bytes cut = libraryOf(obj);
    cut.resize(cut.size() - 30);
    checkStreams(
        {
            {"zeros from a device", "/dev/zero", {}, false, "Error - File 'P' is not a valid library file.\n"},
            {"noise from a device", "/dev/urandom", {}, false, ANY},
            {"a library, then its end", nullptr, libraryOf(obj), false, SAME},
            {"a large library, then its end", nullptr, libraryOf(big), false, SAME},
            {"a library cut short", nullptr, cut, false, SAME},
            {"a member reaching past the limit, then its end", nullptr, libraryOf(far), false, SAME},
            {"a member reaching past the limit, then zeros without end", nullptr, libraryOf(far), true,
             "Error - Library file 'P' " + LIMIT_TEXT + "\n"},
        },
        [](const std::string &path, const FileOpener &open) { return Archive::make(path, open); });
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

// A directory for one run, its input still to be put there.
struct RunDir : TempDir
{
    RunDir() { write("link.lkr", std::string(COMMAND_FILE)); }
};

// Runs the program and times it.
LimitedResult runTimed(const ProgramRun &run, const TempDir &dir, double &seconds)
{
    auto start = std::chrono::steady_clock::now();
    LimitedResult r = runLimited(run.exe, run.args, dir.path());
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

// A writer for the FIFO made under the input's name in the directory.
std::unique_ptr<StreamWriter> fifoWriter(const TempDir &dir, const std::string &input, const Bytes &bytes,
                                         bool endless)
{
    const std::string path = dir.file(input);
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return std::make_unique<StreamWriter>([path] { return ::open(path.c_str(), O_WRONLY); }, bytes, endless);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(InputStream, EveryProgramRefusesAnEndlessStreamAtOnce)
{
    // A link to /dev/zero or /dev/urandom, or a FIFO that another process
    // fills with zero bytes without end: refused on its first bytes, with
    // the reader's message (noise passes the magic number once in 65536
    // runs, and is then refused all the same).
    for (const ProgramRun &run : RUNS) {
        for (const std::string source : {"/dev/zero", "/dev/urandom", "FIFO"}) {
            SCOPED_TRACE(std::string(run.exe) + " reading " + source);
            RunDir dir;
            std::unique_ptr<StreamWriter> writer;
            if (source == "FIFO")
                writer = fifoWriter(dir, run.input, {}, true);
            else
                ASSERT_EQ(::symlink(source.c_str(), dir.file(run.input).c_str()), 0);
            double seconds = 0;
            LimitedResult r = runTimed(run, dir, seconds);
            EXPECT_EQ(r.exitCode, 1);
            if (source == "/dev/urandom")
                EXPECT_TRUE(contains(r.output, "Error - Coff file '")) << r.output;
            else
                EXPECT_TRUE(contains(r.output, run.input + std::string("' does not appear to be a valid COFF file.\n")))
                    << r.output;
            EXPECT_LT(seconds, 1.0);
            EXPECT_LT(r.peakKb, 64u << 10);
        }
    }
}

TEST(InputStream, EveryProgramStopsAStreamAtItsLimit)
{
    // A FIFO filled with an image whose symbol table lies past the limit,
    // then with zero bytes without end: the stream costs no more memory
    // than the limit, measured against the same program refusing /dev/zero.
    Bytes far = programInput(true);
    putU32(far.data() + 8, 40u << 20);
    for (const ProgramRun &run : RUNS) {
        SCOPED_TRACE(run.exe);
        RunDir zeroDir;
        ASSERT_EQ(::symlink("/dev/zero", zeroDir.file(run.input).c_str()), 0);
        double seconds = 0;
        LimitedResult zero = runTimed(run, zeroDir, seconds);
        RunDir dir;
        std::unique_ptr<StreamWriter> writer = fifoWriter(dir, run.input, far, true);
        LimitedResult r = runTimed(run, dir, seconds);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(contains(r.output, run.input + std::string("' ") + LIMIT_TEXT + "\n")) << r.output;
        EXPECT_LT(seconds, 1.0);
        EXPECT_LT(r.peakKb, zero.peakKb + (FileBytes::STREAM_LIMIT >> 10) + (4u << 10));
    }
}

TEST(InputStream, EveryProgramReadsAFifoFedByAnotherProcess)
{
    // As process substitution gives it: the same console text and the same
    // outputs as from the regular file (time stamps aside).
    const std::map<std::string, std::vector<std::string>> outputs = {{TARVOK_EXE, {"a.out"}},
                                                                     {QUESSEL_EXE, {"new.lib"}},
                                                                     {SKELLAN_EXE, {"in.hex"}},
                                                                     {DORVANE_EXE, {"in.cod", "in.lst"}}};
    // The executable's time stamp and the listing's date are cleared; the
    // COD file, whose directory holds the minute it was made, is compared
    // by its length beside the listing.
    auto withoutClock = [](const std::string &name, Bytes bytes) {
        if (name == "a.out")
            std::fill(bytes.begin() + 4, bytes.begin() + 8, 0);
        if (name == "in.lst") {
            std::string text(bytes.begin(), bytes.end());
            size_t at = text.find("Listing File Generated: ");
            if (at != std::string::npos)
                text.erase(at, text.find('\n', at) - at);
            bytes.assign(text.begin(), text.end());
        }
        return bytes;
    };
    for (const ProgramRun &run : RUNS) {
        SCOPED_TRACE(run.exe);
        Bytes input = programInput(std::string(run.input) == "in.cof");
        RunDir fileDir, fifoDir;
        fileDir.write(run.input, input);
        ToolResult fromFile = runTool(run.exe, run.args, fileDir.path());
        ASSERT_EQ(fromFile.exitCode, 0) << fromFile.output;
        std::unique_ptr<StreamWriter> writer = fifoWriter(fifoDir, run.input, input, false);
        ToolResult fromFifo = runTool(run.exe, run.args, fifoDir.path());
        EXPECT_EQ(fromFifo.exitCode, 0);
        EXPECT_EQ(fromFifo.output, fromFile.output);
        for (const std::string &out : outputs.at(run.exe)) {
            if (out == "in.cod")
                EXPECT_EQ(fifoDir.read(out).size(), fileDir.read(out).size());
            else
                EXPECT_EQ(withoutClock(out, fifoDir.read(out)), withoutClock(out, fileDir.read(out))) << out;
        }
    }
}
