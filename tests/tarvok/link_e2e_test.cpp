// The linker program run on a command file and objects in a scratch
// directory: the executable it writes is read by the hex converter, and
// the console, exit codes, default output name and map file are checked.

#include "link_fixture.h"

#include <gtest/gtest.h>

namespace {

const char *const COMMAND_FILE = R"(// one small page with a fill value and one bank
CODEPAGE NAME=page0 START=0x0 END=0xF FILL=0x3FFF
DATABANK NAME=gpr0  START=0x20 END=0x2F
)";

// ".cinit" (2 + 6 bytes as RETLW words, 16 bytes) at 0x0-0x7, ".code" (4
// bytes) at 0x8-0x9, "d_i" (1 byte as one word) at 0xA, "d" at 0x20, and
// ".fill_1" over 0xB-0xF.
std::vector<uint8_t> mainObject()
{
    return core14Object()
        .section(".code", SCN_CODE, {0x01, 0x30, 0x02, 0x30})
        .section("d", SCN_IDATA, {0x55})
        .symbol("main", 0, ".code", C_EXT)
        .bytes();
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(LinkProgram, ExecutableBecomesTheExpectedHexImage)
{
    TempDir dir;
    dir.write("e2e.lkr", std::string(COMMAND_FILE));
    dir.write("main.o", mainObject());
    ToolResult link = runTool(TARVOK_EXE, {"e2e.lkr", "main.o", "/o", "out.o"}, dir.path());
    ASSERT_EQ(link.exitCode, 0) << link.output;
    EXPECT_TRUE(contains(link.output, "Errors    : 0")) << link.output;

    ToolResult hex = runTool(SKELLAN_EXE, {"/a", "INHX8M", "out.o"}, dir.path());
    ASSERT_EQ(hex.exitCode, 0) << hex.output;
    // Byte addresses are twice the word addresses: ".cinit" at 0x00,
    // ".code" at 0x10, "d_i" at 0x14, ".fill_1" at 0x16; "d" is data.
    std::vector<std::string> expected = {
        ":10000000013400340A340034203400340134003424",
        ":040010000130023089",
        ":02001400553461",
        ":0A001600FF3FFF3FFF3FFF3FFF3FAA",
        ":00000001FF",
    };
    EXPECT_EQ(splitLines(dir.readText("out.hex")), expected);
}

TEST(LinkProgram, DefaultOutputNameAndNoMapWithoutTheSwitch)
{
    TempDir dir;
    dir.write("e2e.lkr", std::string(COMMAND_FILE));
    dir.write("main.o", mainObject());
    ToolResult link = runTool(TARVOK_EXE, {"e2e.lkr", "main.o"}, dir.path());
    ASSERT_EQ(link.exitCode, 0) << link.output;
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.out", "e2e.lkr", "main.o"}));
    auto out = Coff::make(dir.file("a.out"));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->cFileHdr.f_flags, 0x0002);
}

TEST(LinkProgram, SuccessfulLinkReplacesTheErrorMapWithTheMap)
{
    TempDir dir;
    dir.write("e2e.lkr", std::string(COMMAND_FILE));
    dir.write("main.o", mainObject());
    ToolResult link = runTool(TARVOK_EXE, {"e2e.lkr", "main.o", "/m", "out.map"}, dir.path());
    ASSERT_EQ(link.exitCode, 0) << link.output;
    std::vector<std::string> lines = splitLines(dir.readText("out.map"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1].substr(0, 26), "Linker Map File - Created ");
    EXPECT_EQ(lines[3], "                                 Section Info");
}

TEST(LinkProgram, FillPatternCutShortWarnsAndStillLinks)
{
    // Two pattern words, 0x1111 and 0x2222, over the 5 free words 0xB-0xF:
    // 1111 2222 1111 2222 1111, ending inside the pattern.
    TempDir dir;
    std::string lkr = COMMAND_FILE;
    lkr.replace(lkr.find("0x3FFF"), 6, "0x11112222");
    dir.write("e2e.lkr", lkr);
    dir.write("main.o", mainObject());
    ToolResult link = runTool(TARVOK_EXE, {"e2e.lkr", "main.o"}, dir.path());
    EXPECT_EQ(link.exitCode, 0);
    EXPECT_EQ(link.output, linkerBanner() + "\n" + noticeBanner() +
                               "\n\nWarning - Fill pattern for memory 'page0' doesn't divide evenly into\n"
                               "          unused program locations.  Last value was truncated.\n"
                               "Errors    : 0\nWarnings  : 1\n\n");
    auto out = Coff::make(dir.file("a.out"));
    ASSERT_TRUE(out);
    EXPECT_EQ(rawBytes(*out, ".fill_1"), (std::vector<uint8_t>{0x11, 0x11, 0x22, 0x22, 0x11, 0x11, 0x22, 0x22, 0x11, 0x11}));
}

TEST(LinkProgram, UnresolvedSymbolNamesTheLocatedFile)
{
    // a.o is found in the current directory, so it is named "./a.o".
    TempDir dir;
    dir.write("e2e.lkr", std::string(COMMAND_FILE));
    dir.write("a.o", core14Object()
                         .section(".code", SCN_CODE, {0, 0})
                         .symbol("missing", 0, 0, C_EXT)
                         .bytes());
    ToolResult link = runTool(TARVOK_EXE, {"e2e.lkr", "a.o", "/m", "a.map"}, dir.path());
    EXPECT_EQ(link.exitCode, 1);
    EXPECT_TRUE(contains(link.output, "Error - could not resolve symbol 'missing' in file './a.o'.\n"))
        << link.output;
    EXPECT_TRUE(contains(link.output, "Errors    : 1")) << link.output;
    EXPECT_FALSE(dir.exists("a.out"));
    // The map of the placements stays: the link failed after allocation.
    EXPECT_TRUE(contains(dir.readText("a.map"), "Linker Error Map File"));
}

} // namespace
