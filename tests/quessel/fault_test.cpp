// The librarian when its files fail it: a disk that fills up while a library
// or a member is written, input files that are missing or cut short, a
// directory that may not be written, and 100 MB of noise given as a library
// or an object. Each run reports its error, ends with exit code 1 and leaves
// every file as it was, apart from the members "/x" extracted before its
// failure. Uninitialised data costs no memory.

#include "coffbuilder.h"
#include "diag.h"
#include "limitrun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kOneError = "Errors    : 1\nWarnings  : 0\n\n";

// 76 bytes of headers and one section header, 4 raw bytes, one symbol (18)
// and the string-table length (4): 102 bytes.
CoffBuilder small(const std::string &symbol, uint8_t fill)
{
    return CoffBuilder().section(".code", SCN_CODE, {fill, fill, fill, fill}).symbol(symbol, 0, ".code", C_EXT);
}

// 76 + 400 + 18 + 4 = 498 bytes.
CoffBuilder large(const std::string &symbol)
{
    return CoffBuilder().section(".code", SCN_CODE, Bytes(400, 0x3F)).symbol(symbol, 0, ".code", C_EXT);
}

LimitedResult quessel(const TempDir &dir, const std::vector<std::string> &args, uint64_t fileSizeLimit = 0)
{
    return runLimited(QUESSEL_EXE, args, dir.path(), fileSizeLimit);
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(LibrarianFullDisk, ReplaceLeavesTheOldLibrary)
{
    // The new library (8 + 280 + 102 + 280 + 498 bytes) cannot be written
    // when no file may grow beyond 600 bytes.
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().member("a.o", small("alpha", 1)).bytes());
    dir.write("big.o", large("beta").bytes());
    auto before = snapshot(dir);

    LimitedResult r = quessel(dir, {"/r", "lib.lib", "big.o"}, 600);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Error - "), std::string::npos) << r.output;
    EXPECT_TRUE(endsWith(r.output, kOneError)) << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

TEST(LibrarianFullDisk, CreateWritesNoLibrary)
{
    TempDir dir;
    dir.write("a.o", small("alpha", 1).bytes());
    dir.write("big.o", large("beta").bytes());
    auto before = snapshot(dir);

    LimitedResult r = quessel(dir, {"/c", "new.lib", "a.o", "big.o"}, 600);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(endsWith(r.output, kOneError)) << r.output;
    EXPECT_EQ(snapshot(dir), before); // no new.lib, no temporary file
}

TEST(LibrarianFullDisk, ExtractKeepsTheMembersWrittenBeforeTheFailure)
{
    // a.o (102 bytes) fits under the 200-byte cap, big.o (498) does not;
    // c.o after it is not tried.
    TempDir dir;
    Bytes a = small("alpha", 1).bytes();
    dir.write("lib.lib",
              ArchiveBuilder().member("a.o", small("alpha", 1)).member("big.o", large("beta")).member("c.o", small("gamma", 3)).bytes());

    LimitedResult r = quessel(dir, {"/x", "lib.lib"}, 200);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Extracting member 'a.o'.\nExtracting member 'big.o'.\nError - Coff file 'big.o' "),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(endsWith(r.output, kOneError)) << r.output;
    EXPECT_EQ(r.output.find("Extracting member 'c.o'."), std::string::npos) << r.output;
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.o", "lib.lib"}));
    EXPECT_EQ(dir.read("a.o"), a);
}

TEST(LibrarianInputs, MissingObjectLeavesTheLibrary)
{
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().member("a.o", small("alpha", 1)).bytes());
    auto before = snapshot(dir);

    LimitedResult r = quessel(dir, {"/r", "lib.lib", "gone.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.output, "Error - Could not open Coff file 'gone.o' for reading.\n" + kOneError)) << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

TEST(LibrarianInputs, TruncatedMemberFailsTheLibrary)
{
    // The library ends 10 bytes into the second member's image: the reader
    // names that member, and "/d" writes nothing.
    TempDir dir;
    Bytes lib = ArchiveBuilder().member("a.o", small("alpha", 1)).member("b.o", small("beta", 2)).bytes();
    lib.resize(8 + 280 + 102 + 280 + 10);
    dir.write("cut.lib", lib);
    auto before = snapshot(dir);

    LimitedResult r = quessel(dir, {"/d", "cut.lib", "a.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error - Could not build member 'b.o' in library file 'cut.lib'. \n"), std::string::npos)
        << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

TEST(LibrarianInputs, TruncatedObjectIsNotStored)
{
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().member("a.o", small("alpha", 1)).bytes());
    Bytes cut = small("beta", 2).bytes();
    cut.resize(60); // ends inside the section header
    dir.write("cut.o", cut);
    auto before = snapshot(dir);

    LimitedResult r = quessel(dir, {"/r", "lib.lib", "cut.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error - Coff file 'cut.o' "), std::string::npos) << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

TEST(LibrarianUnwritableDirectory, ReplaceFailsAndLeavesTheLibrary)
{
    // As an unprivileged user when the tests run as root, who may write
    // any directory.
    if (!canRunUnprivileged())
        GTEST_SKIP() << "cannot run as an unprivileged user";
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().member("a.o", small("alpha", 1)).bytes());
    dir.write("b.o", small("beta", 2).bytes());
    auto before = snapshot(dir);
    chmod(dir.path().c_str(), 0555);

    ToolResult r = runTool(QUESSEL_EXE, {"/r", "lib.lib", "b.o"}, dir.path(), true);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.output, "Error - Could not open library file 'lib.lib' for writing.\n" + kOneError))
        << r.output;
    EXPECT_EQ(snapshot(dir), before);
}

// ---------------------------------------------------------------- noise

namespace {

const uint64_t kNoiseSize = 100u << 20;
// Far below the file's size: the readers check every count and offset
// against the file before they allocate or read anything.
const uint64_t kMemoryBoundKb = 64u << 10;

// Noise with an object's magic and the length of this layout's optional
// header at the image's start: the reader gets as far as the counts and
// offsets, which are noise.
std::vector<Patch> objectPatches(uint64_t start)
{
    return {{start, {0x34, 0x12}}, {start + 16, {16, 0}}};
}

// The library magic and one member header before the noise image.
std::vector<Patch> libraryPatches()
{
    std::vector<Patch> patches = {{0, {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'}}, {8, Archive::packHeader("noise.o", 0, 0)}};
    for (const Patch &p : objectPatches(8 + 280))
        patches.push_back(p);
    return patches;
}

} // namespace

TEST(LibrarianNoise, HundredMegabyteLibraryIsRefusedWithLittleMemory)
{
    TempDir dir;
    writeNoiseFile(dir.file("noise.lib"), kNoiseSize, libraryPatches());
    LimitedResult r = quessel(dir, {"/t", "noise.lib"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Error - Could not build member 'noise.o' in library file 'noise.lib'. "), std::string::npos)
        << r.output;
    EXPECT_LT(r.peakKb, kMemoryBoundKb);
}

TEST(LibrarianNoise, HundredMegabyteObjectIsRefusedWithLittleMemory)
{
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().member("a.o", ::small("alpha", 1)).bytes());
    writeNoiseFile(dir.file("noise.o"), kNoiseSize, objectPatches(0));
    Bytes lib = dir.read("lib.lib");
    LimitedResult r = quessel(dir, {"/r", "lib.lib", "noise.o"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Error - Coff file 'noise.o' "), std::string::npos) << r.output;
    EXPECT_LT(r.peakKb, kMemoryBoundKb);
    EXPECT_EQ(dir.read("lib.lib"), lib);
}

namespace {

// 98 bytes of a 14-bit object with a 16 MB uninitialised section and one
// symbol, "z<k>".
Bytes zeroFillObject(int k)
{
    return CoffBuilder()
        .processor(ProcessorCode(0x08))
        .udata(".udata", 16u << 20)
        .symbol("z" + std::to_string(k), 0, ".udata", C_EXT)
        .bytes();
}

} // namespace

TEST(LibrarianNoise, UninitialisedDataTakesNoMemory)
{
    // Forty such objects make a library, or are linked, with little memory;
    // a library of five of them reads back with "/t", "/x" and the linker.
    TempDir dir;
    std::vector<std::string> all = {"/c", "all.lib"}, five = {"/c", "five.lib"}, link = {"link.lkr"};
    CoffBuilder main = CoffBuilder().processor(ProcessorCode(0x08)).section(".code", SCN_CODE, {0, 0});
    for (int k = 0; k < 40; ++k) {
        std::string name = "z" + std::to_string(k) + ".o";
        dir.write(name, zeroFillObject(k));
        all.push_back(name);
        link.push_back(name);
        if (k < 5) {
            five.push_back(name);
            main.symbol("z" + std::to_string(k), 0, 0, C_EXT);
        }
    }
    LimitedResult r = quessel(dir, all);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_LT(r.peakKb, kMemoryBoundKb);
    ASSERT_EQ(quessel(dir, five).exitCode, 0);

    r = quessel(dir, {"/t", "five.lib"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (int k = 0; k < 5; ++k) {
        std::string name = "z" + std::to_string(k) + ".o";
        EXPECT_NE(r.output.find("Member: '" + name + "'" + std::string(21, ' ') + "Size: 98 "), std::string::npos);
        ASSERT_EQ(unlink(dir.file(name).c_str()), 0);
    }
    EXPECT_EQ(quessel(dir, {"/x", "five.lib"}).exitCode, 0);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(dir.read("z" + std::to_string(k) + ".o"), zeroFillObject(k));
    dir.write("link.lkr", std::string("CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                                      "DATABANK NAME=gpr0  START=0x20 END=0x2FFFFFFF\n"));
    dir.write("main.o", main.bytes());
    for (const std::vector<std::string> &args : {link, std::vector<std::string>{"link.lkr", "main.o", "./five.lib"}}) {
        r = runLimited(TARVOK_EXE, args, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_LT(r.peakKb, kMemoryBoundKb);
    }
}
