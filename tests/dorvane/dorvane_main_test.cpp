// The dorvane program: command line, messages, exit codes and the files it
// writes.

#include "bytes.h"
#include "codreadback.h"
#include "codtestutil.h"
#include "coffbuilder.h"
#include "diag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace codtest;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string USAGE = "Usage: dorvane [-n, /n <listingPageLength>] [-d, /d] [-q, /q] <coffFile>\n";

std::string banner() { return "DORVANE v2.20.00, COFF to COD File Converter\n" + noticeBanner() + "\n\n"; }

std::string counts(int errors, int warnings)
{
    return "Errors    : " + std::to_string(errors) + "\nWarnings  : " + std::to_string(warnings) + "\n\n";
}

CoffBuilder exe(ProcessorCode code)
{
    return CoffBuilder().flags(F_EXEC).processor(proc_type_word(code), proc_rom_width(code), 8);
}

// A 14-bit program of four words from one source file of four lines.
CoffBuilder smallProgram()
{
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0x01, 0x30, 0x03, 0x20, 0x00, 0x28, 0x08, 0x00});
    b.file("main.asm").line(".code", 1, 0).line(".code", 2, 1).line(".code", 3, 2).line(".code", 4, 3);
    b.symbol("start", 0, ".code", C_LABEL).symbol("sub", 3, ".code", C_EXT);
    return b;
}

const char SMALL_SOURCE[] = "start   movlw 1\n        call sub\n        goto start\nsub     return\n";

uint16_t u16(const Bytes &b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

Bytes part(const Bytes &b, size_t block, size_t from, size_t n)
{
    size_t at = block * 512 + from;
    return Bytes(b.begin() + long(at), b.begin() + long(at + n));
}

class Dorvane : public ::testing::Test
{
protected:
    ToolResult run(const std::vector<std::string> &args) { return runTool(DORVANE_EXE, args, dir.path()); }

    TempDir dir;
};

} // namespace

TEST_F(Dorvane, UsageErrorsPrintOnlyTheUsageLine)
{
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {}, {"-d"}, {"a.o", "b.o"}, {"prog.o", "-n"}, {"-n", "3", "/D", "x.o", "y.o"}}) {
        ToolResult r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, banner() + USAGE);
    }
    ToolResult quiet = run({"-q"});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.output, "");
    EXPECT_TRUE(dir.list().empty());
}

TEST_F(Dorvane, UnknownSwitchIsTakenAsTheFileName)
{
    ToolResult r = run({"-x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Could not open Coff file '-x' for reading.\n" + counts(1, 0));
}

TEST_F(Dorvane, ConvertsASmallProgram)
{
    dir.write("prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, banner() + counts(0, 0));

    // Blocks: directory, code, symbols, source names, line infos, memory
    // map, long symbols.
    Bytes cod = dir.read("prog.cod");
    ASSERT_EQ(cod.size(), 7u * 512);
    EXPECT_EQ(u16(cod, 0), 1); // Index[0]
    EXPECT_EQ(u16(cod, 2), 0);
    EXPECT_EQ(part(cod, 0, 256, 9), (Bytes{8, 'p', 'r', 'o', 'g', '.', 'c', 'o', 'd'}));
    EXPECT_EQ(cod[320], 7); // DateLen
    EXPECT_EQ(part(cod, 0, 330, 17), (Bytes{16, 'D', 'O', 'R', 'V', 'A', 'N', 'E', ' ', 'v', '2', '.', '2', '0',
                                             '.', '0', '0'}));
    EXPECT_EQ(u16(cod, 426), 2); // SymTab
    EXPECT_EQ(u16(cod, 428), 2);
    EXPECT_EQ(u16(cod, 430), 3); // NamTab
    EXPECT_EQ(u16(cod, 432), 3);
    EXPECT_EQ(u16(cod, 434), 4); // LineTab
    EXPECT_EQ(u16(cod, 436), 4);
    EXPECT_EQ(u16(cod, 441), 0); // NextDir
    EXPECT_EQ(u16(cod, 443), 5); // MemMapOfs
    EXPECT_EQ(u16(cod, 445), 5);
    EXPECT_EQ(u16(cod, 447), 0); // LocalVars
    EXPECT_EQ(u16(cod, 449), 0);
    EXPECT_EQ(u16(cod, 451), 1); // CodType
    std::string proc = proc_name(CORE14);
    EXPECT_EQ(cod[453], proc.size());
    EXPECT_EQ(std::string(cod.begin() + 454, cod.begin() + 454 + long(proc.size())), proc);
    EXPECT_EQ(u16(cod, 462), 6); // LSymTab
    EXPECT_EQ(u16(cod, 464), 6);
    EXPECT_EQ(u16(cod, 466), 0); // MessTab
    EXPECT_EQ(u16(cod, 468), 0);

    EXPECT_EQ(part(cod, 1, 0, 9), (Bytes{0x01, 0x30, 0x03, 0x20, 0x00, 0x28, 0x08, 0x00, 0}));
    EXPECT_EQ(part(cod, 2, 0, 32), (Bytes{5, 's', 't', 'a', 'r', 't', 0, 0, 0, 0, 0, 0, 0, 46, 0, 0,
                                          3, 's', 'u', 'b', 0,   0,   0, 0, 0, 0, 0, 0, 0, 46, 3, 0}));
    EXPECT_EQ(part(cod, 3, 0, 10), (Bytes{8, 'm', 'a', 'i', 'n', '.', 'a', 's', 'm', 0}));
    // Eight page-header records, then one per source line.
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(part(cod, 4, 6 * i, 6), (Bytes{0, 2, 1, 0, 0, 0})) << i;
    EXPECT_EQ(part(cod, 4, 48, 30), (Bytes{0, 0x80, 1, 0, 0, 0, 0, 0x80, 2, 0, 1, 0, 0, 0x80, 3,
                                           0, 2, 0, 0, 0x80, 4, 0, 3, 0, 0, 0,    0, 0, 0, 0}));
    EXPECT_EQ(part(cod, 5, 0, 8), (Bytes{0, 0, 7, 0, 0, 0, 0, 0}));
    EXPECT_EQ(part(cod, 6, 0, 22), (Bytes{5, 's', 't', 'a', 'r', 't', 46, 0, 0, 0, 0, 0, 3, 's', 'u', 'b', 46, 0,
                                          0, 0, 0, 3}));
    expectRewritesTheSame(dir.file("prog.cod"));

    std::vector<std::string> lines = splitLines(dir.readText("prog.lst"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "DORVANE v2.20.00, COFF to COD File Converter");
    EXPECT_EQ(lines[2].substr(0, 24), "Listing File Generated: ");
    EXPECT_EQ(lines[2].size(), 48u);
    EXPECT_EQ(lines[7], row("000000", "3001", "MOVLW     0x1", "start   movlw 1", "main.asm"));
    EXPECT_EQ(lines[10], row("000003", "0008", "RETURN    ", "sub     return", "main.asm"));
}

TEST_F(Dorvane, QuietAfterTheFileNameStillSilencesTheBanner)
{
    dir.write("prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    ToolResult r = run({"prog.o", "-q"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_TRUE(dir.exists("prog.cod"));
}

TEST_F(Dorvane, NoListingWithPageLengthWarns)
{
    dir.write("prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    ToolResult r = run({"-d", "-n", "60", "prog.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, banner() + "Warning - no listing file generated: /n switch ignored\n" + counts(0, 1));
    EXPECT_FALSE(dir.exists("prog.lst"));
    // No line-info blocks: directory, code, symbols, names, map, long symbols.
    Bytes cod = dir.read("prog.cod");
    ASSERT_EQ(cod.size(), 6u * 512);
    EXPECT_EQ(u16(cod, 434), 0);
    EXPECT_EQ(u16(cod, 436), 0);
    EXPECT_EQ(u16(cod, 443), 4);
    expectRewritesTheSame(dir.file("prog.cod"));
}

TEST_F(Dorvane, PageLengthSwitch)
{
    dir.write("prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    auto formFeeds = [this]() {
        std::string text = dir.readText("prog.lst");
        return std::count(text.begin(), text.end(), '\f');
    };
    // Four rows: a header after the second and after the fourth.
    EXPECT_EQ(run({"-N", "2", "prog.o"}).exitCode, 0);
    EXPECT_EQ(formFeeds(), 2);
    expectRewritesTheSame(dir.file("prog.cod"));
    EXPECT_EQ(run({"/n", " +3", "prog.o"}).exitCode, 0);
    EXPECT_EQ(formFeeds(), 1);
    EXPECT_EQ(run({"-n", "abc", "prog.o"}).exitCode, 0);
    EXPECT_EQ(formFeeds(), 0);
    EXPECT_EQ(run({"-n", "2", "-n", "0", "prog.o"}).exitCode, 0);
    EXPECT_EQ(formFeeds(), 0);
}

TEST_F(Dorvane, MissingSourceFileWarnsAndStillWritesTheCodFile)
{
    dir.write("prog.o", smallProgram().bytes());
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, banner() +
                            "Warning - Could not open source file 'main.asm'.\n"
                            "This file will not be present in the list file.\n" +
                            counts(0, 1));
    EXPECT_TRUE(dir.exists("prog.cod"));
    EXPECT_EQ(splitLines(dir.readText("prog.lst")).size(), 7u);
    expectRewritesTheSame(dir.file("prog.cod"));
}

TEST_F(Dorvane, UnknownProcessorFails)
{
    dir.write("prog.o", CoffBuilder().flags(F_EXEC).processor(0, 14, 8).section(".code", SCN_CODE, {0, 0}).bytes());
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Unsupported processor type in file 'prog.o'\n" + counts(1, 0));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.o"});
}

TEST_F(Dorvane, ExecutableWithoutCodeFails)
{
    dir.write("prog.o", exe(CORE14).section(".data", SCN_IDATA, {1, 2}).bytes());
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Coff file 'prog.o' must contain at least one 'code' or 'romdata' section.\n" +
                            counts(1, 0));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.o"});
}

TEST_F(Dorvane, ForeignLayoutFailsCleanly)
{
    // The same program without the optional header: f_opthdr 0 and every
    // file offset 16 bytes lower.
    Bytes image = exe(CORE14).section(".code", SCN_CODE, {0x01, 0x30}).symbol("start", 0, ".code", C_LABEL).bytes();
    image.erase(image.begin() + 20, image.begin() + 36);
    auto lower = [&image](size_t at) {
        uint32_t v = getU32(image.data() + at);
        if (v != 0)
            putU32(image.data() + at, v - 16);
    };
    lower(8); // f_symptr
    putU16(image.data() + 16, 0);
    for (size_t s = 0; s < getU16(image.data() + 2); ++s)
        for (size_t field : {20, 24, 28})
            lower(20 + 40 * s + field);
    dir.write("prog.o", image);
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Coff file 'prog.o' missing optional file header.\n" + counts(1, 0));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.o"});
}

TEST_F(Dorvane, ListingThatCannotBeCreatedStopsBeforeTheCodFile)
{
    dir.write("prog.o", smallProgram().bytes());
    std::filesystem::create_directory(dir.file("prog.lst"));
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Could not open list file 'prog.lst' for writing.\n" + counts(1, 0));
    EXPECT_FALSE(dir.exists("prog.cod"));
}

TEST_F(Dorvane, CodFileThatCannotBeCreatedFailsAfterTheListing)
{
    dir.write("prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    std::filesystem::create_directory(dir.file("prog.cod"));
    ToolResult r = run({"prog.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner() + "Error - Could not open Cod file 'prog.cod' for writing.\n" + counts(1, 0));
    EXPECT_TRUE(dir.exists("prog.lst"));
}

TEST_F(Dorvane, OutputNamesFollowTheInput)
{
    std::filesystem::create_directory(dir.file("sub"));
    dir.write("sub/prog.o", smallProgram().bytes());
    dir.write("main.asm", std::string(SMALL_SOURCE));
    // An absolute path is a file name, not a switch.
    ToolResult r = run({dir.file("sub/prog.o")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(dir.exists("prog.cod"));
    EXPECT_TRUE(dir.exists("sub/prog.lst"));
    EXPECT_FALSE(dir.exists("sub/prog.cod"));
    expectRewritesTheSame(dir.file("prog.cod"));

    // A directory part of 302 characters is kept whole: the listing goes beside the executable.
    const std::string longDir = std::string(150, 'p') + "/" + std::string(150, 'q');
    std::filesystem::create_directories(dir.file(longDir));
    dir.write(longDir + "/prog.o", smallProgram().bytes());
    EXPECT_EQ(run({longDir + "/prog.o"}).exitCode, 0);
    EXPECT_TRUE(dir.exists(longDir + "/prog.lst"));
}

TEST_F(Dorvane, LongInputNameNeverOverwritesTheInput)
{
    // 61 characters and ".c": the COD name cut to its 63-character field
    // would be the input's own name.
    std::string base(61, 'q');
    dir.write(base + ".c", smallProgram().bytes());
    ToolResult r = run({"-d", base + ".c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read(base + ".c"), smallProgram().bytes());
    EXPECT_TRUE(dir.exists(base + ".cod"));
    Bytes cod = dir.read(base + ".cod");
    EXPECT_EQ(cod[256], 63);
    expectRewritesTheSame(dir.file(base + ".cod"));
}
