// The linker when its files fail it: inputs that are missing or cut short,
// an output directory that does not exist, a disk that fills up and a map
// file that cannot be made, each beside an old executable and an old map.
// Every run reports its error and ends with exit code 1. The old
// executable stays unless the executable was written whole; the map file
// holds the whole error map once allocation was reached, and is otherwise
// left as it was. 100 MB of noise given as an object or a library is
// refused with little memory; relocations in uninitialised data are
// checked without its bytes being built.

#include "archive.h"
#include "diag.h"
#include "limitrun.h"
#include "link_fixture.h"
#include "reloctype.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

const char *const COMMAND_FILE = "CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                                 "DATABANK NAME=gpr0  START=0x20 END=0x6F\n";

const std::string OLD_EXE = "old executable";
const std::string OLD_MAP = "old map";

// 3000 bytes of code: the executable is far larger than the error map.
Bytes program() { return core14Object().section(".code", SCN_CODE, Bytes(3000, 0x3F)).bytes(); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// An error map written to its end: the banner, the title line, and the
// last kind of memory (no ACCESSBANK here) with its closing empty lines.
bool isWholeErrorMap(const std::string &map)
{
    return map.rfind(linkerBanner() + "\nLinker Error Map File - Created ", 0) == 0 &&
           endsWith(map, "\nACCESSBANKS:\n\n");
}

enum class Left { Old, New, ErrorMap, Missing };

} // namespace

TEST(LinkerFaults, FailedRunsLeaveOrWriteExactlyTheirFiles)
{
    struct Case
    {
        const char *what;
        std::vector<std::string> args; // after the command file
        uint64_t fileSizeLimit;
        std::string message;
        int errors;
        Left exe; // out.o
        Left map; // out.map
    };
    const Case cases[] = {
        {"object missing", {"gone.o", "/o", "out.o", "/m", "out.map"}, 0,
         "Error - could not find file 'gone.o'.\n", 1, Left::Old, Left::Old},
        {"object cut short", {"cut.o", "/o", "out.o", "/m", "out.map"}, 0,
         "Error - Coff file './cut.o' could not read ", 1, Left::Old, Left::Old},
        // The member's reader and the library's each report.
        {"library cut short", {"main.o", "./cut.lib", "/o", "out.o", "/m", "out.map"}, 0,
         "Error - Could not build member 'x.o' in library file './cut.lib'. ", 2, Left::Old, Left::Old},
        {"symbol unresolved after allocation", {"main.o", "needs.o", "/o", "out.o", "/m", "out.map"}, 0,
         "Error - could not resolve symbol 'missing' in file './needs.o'.\n", 1, Left::Old, Left::ErrorMap},
        {"output directory missing", {"main.o", "/o", "nodir/out.o", "/m", "out.map"}, 0,
         "Error - Could not open Coff file 'nodir/out.o' for writing.\n", 1, Left::Old, Left::ErrorMap},
        {"disk full at the executable", {"main.o", "/o", "out.o", "/m", "out.map"}, 2000,
         "Error - Coff file 'out.o' could not ", 1, Left::Old, Left::ErrorMap},
        // The error map fails, once; the executable came first.
        {"map directory missing", {"main.o", "/o", "out.o", "/m", "nodir/out.map"}, 0,
         "Error - Could not open map file 'nodir/out.map' for writing.\n", 1, Left::New, Left::Old},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("link.lkr", std::string(COMMAND_FILE));
        dir.write("main.o", program());
        Bytes cut = program();
        cut.resize(60); // inside the section header
        dir.write("cut.o", cut);
        Bytes lib = ArchiveBuilder().member("x.o", core14Object().section(".x", SCN_CODE, {1, 2})).bytes();
        lib.resize(lib.size() - 10);
        dir.write("cut.lib", lib);
        dir.write("needs.o",
                  core14Object().section(".y", SCN_CODE, {0, 0}).symbol("missing", 0, 0, C_EXT).bytes());
        dir.write("out.o", OLD_EXE);
        dir.write("out.map", OLD_MAP);
        std::vector<std::string> args = {"link.lkr"};
        args.insert(args.end(), c.args.begin(), c.args.end());

        LimitedResult r = runLimited(TARVOK_EXE, args, dir.path(), c.fileSizeLimit);
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_TRUE(contains(r.output, c.message)) << r.output;
        EXPECT_TRUE(endsWith(r.output, "Errors    : " + std::to_string(c.errors) + "\nWarnings  : 0\n\n"))
            << r.output;

        std::string exe = dir.readText("out.o");
        if (c.exe == Left::Old)
            EXPECT_EQ(exe, OLD_EXE);
        else {
            std::unique_ptr<Coff> out = Coff::make(dir.file("out.o"));
            ASSERT_TRUE(out);
            EXPECT_EQ(out->cScnHdr.at(".code").s_size, 3000u);
        }
        std::string map = dir.readText("out.map");
        if (c.map == Left::Old)
            EXPECT_EQ(map, OLD_MAP);
        else
            EXPECT_TRUE(isWholeErrorMap(map)) << map;
        // No temporary file stays behind.
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"cut.lib", "cut.o", "link.lkr", "main.o", "needs.o",
                                                        "out.map", "out.o"}));
    }
}

TEST(LinkerFaults, CommandFilesThatAreNoRegularFilesAreNotRead)
{
    // A device would be read without end (one endless line), a pipe with no
    // writer would wait for ever: neither is opened as a command file.
    TempDir dir;
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.lkr").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.lkr").c_str(), 0600), 0);
    for (const std::string name : {"zero.lkr", "pipe.lkr"}) {
        SCOPED_TRACE(name);
        dir.write("main.lkr", "INCLUDE " + name + "\n");
        for (const std::string &first : {std::string("main.lkr"), name}) {
            LimitedResult r = runLimited(TARVOK_EXE, {first, "main.o"}, dir.path());
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(endsWith(r.output, "Error - Could not open './" + name + "'\nErrors    : 1\nWarnings  : 0\n\n"))
                << r.output;
        }
    }
}

namespace {

// Noise with an object's magic and optional-header length at the image's
// start, so the reader gets as far as the counts and offsets.
std::vector<Patch> objectPatches(uint64_t start) { return {{start, {0x34, 0x12}}, {start + 16, {16, 0}}}; }

} // namespace

TEST(LinkerNoise, HundredMegabyteObjectOrLibraryIsRefusedWithLittleMemory)
{
    std::vector<Patch> library = {{0, {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'}},
                                  {8, Archive::packHeader("noise.o", 0, 0)}};
    for (const Patch &p : objectPatches(8 + 280))
        library.push_back(p);
    const struct
    {
        const char *name;
        std::vector<Patch> patches;
        std::string message;
    } inputs[] = {
        {"noise.o", objectPatches(0), "Error - Coff file './noise.o' "},
        {"./noise.lib", library, "Error - Could not build member 'noise.o' in library file './noise.lib'. "},
    };
    for (const auto &in : inputs) {
        SCOPED_TRACE(in.name);
        TempDir dir;
        dir.write("link.lkr", std::string(COMMAND_FILE));
        writeNoiseFile(dir.file(in.name), 100u << 20, in.patches);
        dir.write("main.o", program());
        LimitedResult r = runLimited(TARVOK_EXE, {"link.lkr", "main.o", in.name}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_TRUE(contains(r.output, in.message)) << r.output;
        EXPECT_LT(r.peakKb, 64u << 10);
        EXPECT_FALSE(dir.exists("a.out"));
    }
}

TEST(LinkerNoise, RelocationsInUninitialisedDataAreCheckedWithoutBuildingIt)
{
    // Three 20 MB sections with a relocation each link with little memory;
    // a relocation past its section's end is refused.
    TempDir dir;
    dir.write("link.lkr", std::string("CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                                      "DATABANK NAME=gpr0  START=0x20 END=0x2FFFFFFF\n"));
    const uint32_t size = 20u << 20;
    for (const std::string k : {"0", "1", "2", "3"})
        dir.write("r" + k + ".o", core14Object()
                                      .udata(".r" + k, size)
                                      .symbol("here" + k, 0, ".r" + k, C_EXT)
                                      .reloc(".r" + k, k == "3" ? size - 1 : 0, "here" + k, RELOCT_LOW)
                                      .bytes());
    LimitedResult r = runLimited(TARVOK_EXE, {"link.lkr", "r0.o", "r1.o", "r2.o"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_LT(r.peakKb, 64u << 10);
    std::unique_ptr<Coff> out = Coff::make(dir.file("a.out"));
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->cScnHdr.at(".r0").s_size == size && out->cRawData.at(".r0").isZeroFill());
    LimitedResult outside = runLimited(TARVOK_EXE, {"link.lkr", "r3.o"}, dir.path());
    EXPECT_EQ(outside.exitCode, 1);
    EXPECT_TRUE(contains(outside.output, "Error - file './r3.o', section '.r3', the relocated word at offset 20971519 "
                                         "lies outside the section's 20971520 bytes of raw data.\n"))
        << outside.output;
}
