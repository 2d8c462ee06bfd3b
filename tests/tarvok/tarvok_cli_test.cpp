// The linker program run as a whole: help screen, command-line errors,
// command-file errors with their places, and the exit codes.

#include "diag.h"
#include "linkerfixture.h"
#include "reloctype.h"
#include "tooltest.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string banner() { return linkerBanner() + "\n" + noticeBanner() + "\n\n"; }

std::string failure(const std::string &message)
{
    return banner() + "Error - " + message + "\nErrors    : 1\nWarnings  : 0\n\n";
}

ToolResult tarvok(const TempDir &dir, const std::vector<std::string> &args)
{
    return runTool(TARVOK_EXE, args, dir.path());
}

// Runs the linker on one command file and expects the error message.
void expectFileError(const std::string &text, const std::string &message)
{
    TempDir dir;
    dir.write("t.lkr", text);
    ToolResult r = tarvok(dir, {"t.lkr"});
    EXPECT_EQ(r.exitCode, 1) << text;
    EXPECT_EQ(r.output, failure(message)) << text;
}

void expectArgsError(const std::vector<std::string> &args, const std::string &message)
{
    TempDir dir;
    dir.write("t.lkr", "");
    ToolResult r = tarvok(dir, args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.output, failure(message)) << args[0];
}

// The help screen, each line padded with blanks to the length shown.
std::string helpScreen()
{
    struct Line
    {
        std::string text;
        size_t length;
    };
    const Line lines[] = {
        {"Syntax:   tarvok { cmdfile | [objfile] | [libfile] | [option] } ...  ", 69},
        {"  'cmdfile' is the name of a linker command file.              ", 63},
        {"       All linker command files must have the extension '.lkr' ", 63},
        {"  'objfile' is the name of an assembler or compiler generated object file. ", 75},
        {"       All object files must have the extension '.o'.          ", 63},
        {"  'libfile' is the name of a librarian created library file.   ", 63},
        {"       All library files must have the extension '.lib'.       ", 63},
        {"  'option'  is a linker command line option described below.   ", 63},
        {"", 0},
        {"Linker command line options:                                   ", 63},
        {"   /o <filename>   : specify output file 'filename', default is 'a.out'  ", 73},
        {"   /m <filename>   : create map file 'filename'                          ", 73},
        {"   /l <pathlist>   : list of directories to search for library/object files", 75},
        {"   /k <pathlist>   : list of directories to search for linker command files", 75},
        {"   /n <length>     : number of lines per listing page (0 = no pagination)", 73},
        {"   /h, /?          : show this help screen                   ", 61},
        {"   /a <hexformat>  : specify format of hex programming file  ", 61},
        {"                     valid formats are INHX8M, INHX8S, INHX32", 61},
        {"   /d              : don't create listing file               ", 61},
        {"   /q              : quiet mode operation                    ", 61},
    };
    std::string text;
    for (const Line &line : lines) {
        EXPECT_EQ(line.text.size(), line.length) << line.text;
        text += line.text + "\n";
    }
    return text;
}

} // namespace

TEST(TarvokHelp, NoArgumentShowsHelpAndExits255)
{
    TempDir dir;
    ToolResult r = tarvok(dir, {});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.output, banner() + helpScreen());
}

TEST(TarvokHelp, SwitchFormsFoldedAndWithTrailingText)
{
    TempDir dir;
    for (const char *sw : {"/H", "/?", "-h", "/help"}) {
        ToolResult r = tarvok(dir, {"a.o", sw, "/X"});
        EXPECT_EQ(r.exitCode, 255) << sw;
        EXPECT_EQ(r.output, banner() + helpScreen()) << sw;
    }
}

TEST(TarvokHelp, ShownEvenWhenQuiet)
{
    TempDir dir;
    ToolResult r = tarvok(dir, {"/q", "/h"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.output, helpScreen());
}

TEST(TarvokQuiet, LoneQuietSwitchNeedsACommandFile)
{
    TempDir dir;
    ToolResult r = tarvok(dir, {"/q"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "");
    r = tarvok(dir, {"-Q", "_bad"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "");
}

TEST(TarvokQuiet, LongQuietWordSilencesOnlyWhatFollowsTheBanner)
{
    TempDir dir;
    ToolResult r = tarvok(dir, {"/quiet"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, banner());
}

TEST(TarvokCommandLine, SwitchErrors)
{
    expectArgsError({"/X"}, "unknown switch: /x");
    expectArgsError({"t.lkr", "/Zap"}, "unknown switch: /zap");
    expectArgsError({"-"}, "unknown switch: -");
    expectArgsError({"t.lkr", "/o"}, "-o switch requires <filename>");
    expectArgsError({"/o", "out/", "t.lkr"}, "-o switch requires <filename>");
    expectArgsError({"/m", "_x.map", "t.lkr"}, "-m switch requires <filename>");
    expectArgsError({"/l", "a;;b", "t.lkr"}, "-l switch requires <pathlist>");
    expectArgsError({"t.lkr", "/l"}, "-l switch requires <pathlist>");
    expectArgsError({"/k;", "t.lkr"}, "-k switch requires <pathlist>");
    expectArgsError({"/a", "inhx8m", "t.lkr"}, "-a switch requires <hexformat>");
    expectArgsError({"/n", "12x", "t.lkr"}, "-n switch requires <length>");
    expectArgsError({"-N", "t.lkr"}, "-n switch requires <length>"); // the next argument is the value
}

TEST(TarvokCommandLine, InputErrors)
{
    expectArgsError({"_a.o", "t.lkr"}, "unrecognized input: _a.o");
    expectArgsError({"main.c"}, "unrecognized input: main.c");
    expectArgsError({"a.o"}, "linker command file required.");
    expectArgsError({"/o", "x.out", "t.lkr", "/O", "y.out"}, "multiple output files declared: 'x.out', 'y.out'");
}

TEST(TarvokCommandLine, AcceptedSwitchesReachTheLink)
{
    TempDir dir;
    dir.write("t.lkr", "");
    ToolResult r = tarvok(dir, {"/sx", "/d", "/n", "0", "/a", "INHX8S", "/l", "lib;", "/m", "x.map", "t.lkr"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("no input object files specified."));
}

TEST(TarvokCommandLine, UpperCaseExtensionsClassifyAlike)
{
    TempDir dir;
    dir.write("X.LKR", "");
    ToolResult r = tarvok(dir, {"B.LIB", "X.LKR"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("no input object files specified."));
    r = tarvok(dir, {"A.O", "X.LKR", "A.O"});
    EXPECT_EQ(r.output, failure("mutliple inclusion of object file 'A.O' "));
    r = tarvok(dir, {"B.LIB", "B.LIB"});
    EXPECT_EQ(r.output, failure("mutliple inclusion of library file 'B.LIB' "));
}

TEST(TarvokCommandLine, BackslashSeparatesDirectoriesWhereNamesAreFound)
{
    // a.o calls d, which sub/deep/d.o defines, alone or in sub/deep/d.lib.
    TempDir dir;
    for (const char *d : {"sub", "sub/deep", "out"})
        ASSERT_EQ(mkdir(dir.file(d).c_str(), 0755), 0);
    CoffBuilder d = objectFor(TEST_CORE14, "d.o").section(".d", SCN_CODE, {0x08, 0x00}).symbol("d", 0, ".d", C_EXT);
    dir.write("a.o", objectFor(TEST_CORE14, "a.o")
                         .section(".a", SCN_CODE, {0x00, 0x20})
                         .symbol("d", 0, int16_t(0), C_EXT)
                         .reloc(".a", 0, "d", RELOCT_CALL)
                         .bytes());
    dir.write("sub/deep/d.o", d.bytes());
    dir.write("sub/deep/d.lib", ArchiveBuilder().member("d.o", d).bytes());
    const std::string memory = "CODEPAGE NAME=p START=0 END=0x7FF\n";
    dir.write("mem.lkr", memory);
    dir.write("deep.lkr", "LIBPATH sub\\deep\n" + memory);
    dir.write("sub/deep/inner.lkr", memory);
    dir.write("outer.lkr", "LKRPATH sub\\deep\nINCLUDE inner.lkr\n");
    // A directory part of 302 characters is searched and opened whole.
    const std::string longDir = std::string(150, 'p') + "/" + std::string(150, 'q');
    std::filesystem::create_directories(dir.file(longDir));
    dir.write(longDir + "/d.o", d.bytes());
    dir.write(longDir + "/d.lib", ArchiveBuilder().member("d.o", d).bytes());
    dir.write(longDir + "/inner.lkr", memory);

    const std::vector<std::vector<std::string>> runs = {
        {"mem.lkr", "a.o", "sub\\deep\\d.o"},
        {"deep.lkr", "a.o", "d.o"},
        {"deep.lkr", "a.o", "d.lib"},
        {"/l", "sub\\deep", "mem.lkr", "a.o", "d.o"},
        {"/l", "sub\\deep", "mem.lkr", "a.o", "d.lib"},
        {"/k", "sub\\deep", "inner.lkr", "a.o", "sub/deep/d.o"},
        {"outer.lkr", "a.o", "sub/deep/d.o"},
        {"sub\\deep\\inner.lkr", "a.o", "sub/deep/d.o"},
        {"/l", longDir, "mem.lkr", "a.o", "d.o"},
        {"/l", longDir, "mem.lkr", "a.o", "d.lib"},
        {"/k", longDir, "inner.lkr", "a.o", longDir + "/d.o"},
    };
    // The same executable each time, the time stamp left out: .cinit takes
    // locations 0 and 1, .a 2 and .d 3, so the call reads CALL 3.
    std::vector<uint8_t> expected;
    for (const std::vector<std::string> &args : runs) {
        std::vector<std::string> line = args;
        line.insert(line.end(), {"/q", "/o", "out\\x.cof", "/m", "out\\x.map"});
        ToolResult r = tarvok(dir, line);
        EXPECT_EQ(r.exitCode, 0) << args[0] << " " << args.back() << "\n" << r.output;
        std::vector<uint8_t> image = dir.read("out/x.cof");
        EXPECT_GT(dir.read("out/x.map").size(), 0u) << args.back();
        ASSERT_GT(image.size(), 8u);
        std::fill(image.begin() + 4, image.begin() + 8, 0);
        if (expected.empty()) {
            expected = image;
            std::unique_ptr<Coff> linked = coffFromBytes(image, "x.cof");
            const Data &code = linked->cRawData.at(".a");
            EXPECT_EQ(std::vector<uint8_t>(code.data(), code.data() + code.size()),
                      (std::vector<uint8_t>{0x03, 0x20}));
        }
        EXPECT_EQ(image, expected) << args.back();
        unlink(dir.file("out/x.cof").c_str());
    }
    // A name not found is named as it was written.
    ToolResult r = tarvok(dir, {"mem.lkr", "a.o", "sub\\none\\d.o"});
    EXPECT_EQ(r.output, failure("could not find file 'sub\\none\\d.o'."));
}

TEST(TarvokCommandLine, TwoCommandFilesReadInOrder)
{
    TempDir dir;
    dir.write("mem.lkr", "CODEPAGE NAME=page0 START=0 END=0x7FF\n");
    dir.write("scn.lkr", "SECTION NAME=isr ROM=page0\n");
    ToolResult r = tarvok(dir, {"mem.lkr", "scn.lkr"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("no input object files specified."));
    dir.write("fresh.lkr", "SECTION NAME=isr ROM=page0\n");
    r = tarvok(dir, {"fresh.lkr", "mem.lkr"});
    EXPECT_EQ(r.output, failure("undefined CODEPAGE 'page0' for SECTION 'isr' "));
}

TEST(TarvokCommandLine, CommandFileFoundOrNot)
{
    expectArgsError({"none.lkr"}, "Could not find linker command file 'none.lkr'.");
    expectArgsError({"sub/t.lkr"}, "Could not find linker command file 'sub/t.lkr'.");
    expectArgsError({"t.lkr", "t.lkr"}, "Multliple inclusion of linker command file './t.lkr' ");
    expectArgsError({"t.lkr", "./t.lkr"}, "Multliple inclusion of linker command file './t.lkr' ");
}

TEST(TarvokCommandLine, SearchDirectoryNamesTheFoundFile)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("lkr").c_str(), 0755), 0);
    dir.write("lkr/dev.lkr", "\nHEAP SIZE=4\n");
    ToolResult r = tarvok(dir, {"-k", "lkr", "dev.lkr"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("Invalid attributes for HEAP in 'lkr/dev.lkr:2'"));
    // Named before the directory is given, the file is not found.
    r = tarvok(dir, {"dev.lkr", "-k", "lkr"});
    EXPECT_EQ(r.output, failure("Could not find linker command file 'dev.lkr'."));
}

TEST(TarvokCommandFile, DirectiveAndOperandErrors)
{
    expectFileError("FILES a.o\ncodepage NAME=p START=0 END=1\n", "Unrecognized input in './t.lkr:2': codepage");
    expectFileError("LIBPATH lib1 lib2\n", "Unrecognized input in './t.lkr:1': lib2");
    expectFileError("LIBPATH\n", "Illegal <libpath> for LIBPATH in './t.lkr:1'");
    expectFileError("LIBPATH a;;b\n", "Illegal <libpath> for LIBPATH in './t.lkr:1'");
    expectFileError("LIBPATH \"\"\n", "Illegal <libpath> for LIBPATH in './t.lkr:1'");
    expectFileError("\n\nLKRPATH ;\n", "Illegal <lkrpath> for LKRPATH in './t.lkr:3'");
    expectFileError("FILES // a.o\n", "Illegal <filename> for FILES in './t.lkr:1'");
    expectFileError("FILES a.o main.c\n", "Illegal <filename> for FILES in './t.lkr:1'");
    expectFileError("FILES \"a.o\n", "Illegal <filename> for FILES in './t.lkr:1'");
    expectFileError("INCLUDE\n", "Illegal <filename> for INCLUDE in './t.lkr:1'");
    expectFileError("INCLUDE a.o\n", "Illegal <filename> for INCLUDE in './t.lkr:1'");
    expectFileError("FILES a.o\nFILES a.o\n", "mutliple inclusion of object file 'a.o' ");
}

TEST(TarvokCommandFile, MemoryAttributeErrors)
{
    const std::string at = " in './t.lkr:1'";
    expectFileError("DATABANK NAME=b START=0x20 END=0x7F FILL=0xFF\n", "Invalid attributes for DATABANK" + at);
    expectFileError("CODEPAGE NAME=p START=0 END=0xFF PROTECTED PROTECTED\n", "Invalid attributes for CODEPAGE" + at);
    expectFileError("SHAREBANK NAME=s END=0x7F\n", "Invalid attributes for SHAREBANK" + at);
    expectFileError("ACCESSBANK NAME= START=0 END=0x5F\n", "Invalid attributes for ACCESSBANK" + at);
    expectFileError("CODEPAGE NAME=p START=0 END=0xFF PROTECTED=1\n", "Invalid attributes for CODEPAGE" + at);
    expectFileError("CODEPAGE NAME=p START=0 END=0xFF SIZE=4\n", "Invalid attributes for CODEPAGE" + at);
    expectFileError("CODEPAGE NAME=p NAME=q START=0 END=0xFF\n", "Invalid attributes for CODEPAGE" + at);
    expectFileError("CODEPAGE NAME=p START=0 END\n", "Invalid attributes for CODEPAGE" + at);
}

TEST(TarvokCommandFile, RegionsThatWouldWrapAreRefused)
{
    const std::string at = " in './t.lkr:1'";
    expectFileError("CODEPAGE NAME=p START=0x800 END=0x7FF\n", "Invalid attributes for CODEPAGE" + at);
    // END=-1 reads as 0xFFFFFFFF: 0x100000000 locations from 0.
    expectFileError("DATABANK NAME=b START=0 END=-1\n", "Invalid attributes for DATABANK" + at);
    // From 1 the same end gives 0xFFFFFFFF locations, which is accepted.
    expectFileError("DATABANK NAME=b START=1 END=-1\nbad\n", "Unrecognized input in './t.lkr:2': bad");
}

TEST(TarvokCommandFile, FillValues)
{
    const std::string at = " in './t.lkr:1'";
    expectFileError("CODEPAGE NAME=p START=0 END=0xFF FILL=0x3G\n", "Invalid attributes for CODEPAGE" + at);
    expectFileError("CODEPAGE NAME=p START=0 END=0xFF FILL=0xFF\nCODEPAGE NAME=q START=0x100 END=0x1FF FILL=4095\n"
                    "end\n",
                    "Unrecognized input in './t.lkr:3': end");
    // The CODEPAGEs with FILL of one link cover 16777216 locations at most,
    // however they are split; those without FILL do not count.
    expectFileError("CODEPAGE NAME=p START=0 END=0x7FFFFF FILL=0\n"
                    "CODEPAGE NAME=q START=0x800000 END=0xFFFFFE FILL=1\n"
                    "CODEPAGE NAME=r START=0x1000000 END=0x1FFFFFF\n"
                    "CODEPAGE NAME=s START=0xFFFFFF END=0xFFFFFF FILL=2\n"
                    "end\n",
                    "Unrecognized input in './t.lkr:5': end");
    std::string pages; // sixteen of 16M locations each: the second is refused
    for (uint32_t k = 0; k < 16; ++k)
        pages += "CODEPAGE NAME=p" + std::to_string(k) + " START=" + std::to_string(k << 24) +
                 " END=" + std::to_string((k << 24) + 0xFFFFFF) + " FILL=0x3FFF\n";
    expectFileError(pages, "CODEPAGE 'p1' in './t.lkr:2' is too large to be filled: its 16777216 locations and the "
                           "16777216 of the CODEPAGEs with FILL before it pass the 16777216 one link may fill ");
}

TEST(TarvokCommandFile, SectionStackAndHeapErrors)
{
    const std::string at = " in './t.lkr:3'";
    const std::string mem = "CODEPAGE NAME=p START=0 END=0xFF\nDATABANK NAME=b START=0 END=0x7F\n";
    expectFileError(mem + "SECTION NAME=isr\n", "Invalid attributes for SECTION" + at);
    expectFileError(mem + "SECTION ROM=p\n", "Invalid attributes for SECTION" + at);
    expectFileError(mem + "SECTION NAME=isr ROM=p ROM=p\n", "Invalid attributes for SECTION" + at);
    expectFileError(mem + "STACK RAM=b\n", "Invalid attributes for STACK" + at);
    expectFileError(mem + "HEAP\n", "Invalid attributes for HEAP" + at);
    expectFileError(mem + "HEAP MINSIZE=0x40\nHEAP MINSIZE=128\n", "multiple min heap sizes declared: '64', '128'");
    expectFileError(mem + "SECTION NAME=isr ROM=q\n", "undefined CODEPAGE 'q' for SECTION 'isr' ");
    expectFileError(mem + "SECTION NAME=isr RAM=p\n", "undefined DATABANK/SHAREBANK 'p' for SECTION 'isr' ");
    expectFileError(mem + "STACK SIZE=16 RAM=p\n", "undefined DATABANK/SHAREBANK 'p' for STACK. ");
    expectFileError(mem + "STACK SIZE=16 STACK SIZE=8\n", "Invalid attributes for STACK" + at);
    expectFileError(mem + "STACK SIZE=16\nSTACK SIZE=8\n", "multiple STACK definitions ");
}

TEST(TarvokCommandFile, MemoryConflicts)
{
    expectFileError("CODEPAGE NAME=page0 START=0 END=0x7FF\nCODEPAGE NAME=page1 START=0x800 END=0xFFF\n"
                    "CODEPAGE NAME=page2 START=0x700 END=0x8FF\n",
                    "memory 'page2' overlaps memory 'page0' ");
    expectFileError("CODEPAGE NAME=page0 START=0 END=0x7FF\nDATABANK NAME=page0 START=0 END=0x7F\n",
                    "duplicate definition of memory 'page0' ");
    expectFileError("SHAREBANK NAME=s START=0x70 END=0x7F\nSHAREBANK NAME=s START=0xF0 END=0xFF\n"
                    "SHAREBANK NAME=s START=0x170 END=0x180\n",
                    "inconsistent length definitions of SHAREBANK 's' ");
    expectFileError("SHAREBANK NAME=s START=0x70 END=0x7F\nSHAREBANK NAME=s START=0x78 END=0x87\n",
                    "memory 's' overlaps memory 's' ");
}

TEST(TarvokCommandFile, IncludedFileErrorsNameTheirOwnPlace)
{
    TempDir dir;
    dir.write("t.lkr", "FILES a.o\nINCLUDE inc.lkr\n");
    dir.write("inc.lkr", "// devices\n\nSTACK\n");
    ToolResult r = tarvok(dir, {"t.lkr"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("Invalid attributes for STACK in './inc.lkr:3'"));

    dir.write("self.lkr", "FILES a.o\nINCLUDE self.lkr\n");
    r = tarvok(dir, {"self.lkr"});
    EXPECT_EQ(r.output, failure("Multliple inclusion of linker command file './self.lkr' "));

    dir.write("other.lkr", "INCLUDE missing.lkr\n");
    r = tarvok(dir, {"other.lkr"});
    EXPECT_EQ(r.output, failure("Could not find linker command file 'missing.lkr'."));
}

TEST(TarvokCommandFile, TenThousandDeepIncludeChain)
{
    // f1.lkr includes f2.lkr, and so on down to f10000.lkr. After the chain
    // the outer file reads on with its own line numbers.
    const int depth = 10000;
    const std::string memory = "CODEPAGE NAME=page0 START=0 END=0x7FF\nFILES a.o\n";
    TempDir dir;
    dir.write("a.o", objectFor(TEST_CORE14, "a.o").bytes());
    for (int i = 1; i < depth; ++i)
        dir.write("f" + std::to_string(i) + ".lkr", "// level " + std::to_string(i) + "\nINCLUDE f" +
                                                        std::to_string(i + 1) + ".lkr\n");
    const struct
    {
        std::string top, innermost;
        std::string message; // empty: the link succeeds
    } cases[] = {
        {"INCLUDE f1.lkr\n", memory, ""},
        {"INCLUDE f1.lkr\n\nbogus\n", memory, "Unrecognized input in './top.lkr:3': bogus"},
        {"INCLUDE f1.lkr\n", "INCLUDE f1.lkr\n", "Multliple inclusion of linker command file './f1.lkr' "},
        {"INCLUDE f1.lkr\n", "FILES a.o\nSTACK\n", "Invalid attributes for STACK in './f10000.lkr:2'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.top + c.innermost);
        dir.write("top.lkr", c.top);
        dir.write("f" + std::to_string(depth) + ".lkr", c.innermost);
        ToolResult r = tarvok(dir, {"top.lkr"});
        if (c.message.empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.output;
            EXPECT_TRUE(dir.exists("a.out"));
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.output, failure(c.message));
        }
    }
}

TEST(TarvokCommandFile, CrLfAndLongLinesKeepLineNumbers)
{
    expectFileError("FILES a.o\r\nbogus\r\n", "Unrecognized input in './t.lkr:2': bogus");
    std::string longLine = "LIBPATH " + std::string(5000, 'd') + "\n";
    expectFileError(longLine + "FILES a.o b.c\n", "Illegal <filename> for FILES in './t.lkr:2'");
}

TEST(TarvokCommandFile, ErrorsAreSilentWhenQuiet)
{
    TempDir dir;
    dir.write("t.lkr", "bogus\n");
    ToolResult r = tarvok(dir, {"t.lkr", "/Q"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "");
}

TEST(TarvokMemorySize, RegionTooLargeInBytesFailsTheLink)
{
    // 0x80000000 locations of 14-bit words are 0x100000000 bytes; one
    // location less still fits.
    TempDir dir;
    dir.write("a.o", objectFor(TEST_CORE14, "a.o").bytes());
    dir.write("t.lkr", "CODEPAGE NAME=big START=0 END=0x7FFFFFFF\nFILES a.o\n");
    ToolResult r = tarvok(dir, {"t.lkr"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, failure("memory 'big' is too large: its size in bytes does not fit in 32 bits."));

    dir.write("t.lkr", "CODEPAGE NAME=big START=1 END=0x7FFFFFFF\nFILES a.o\n");
    r = tarvok(dir, {"t.lkr"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("too large"), std::string::npos) << r.output;
}
