// The listing file, line by line, and the line-info records it adds to the
// COD model.

#include "codtestutil.h"
#include "coff2cod.h"
#include "coffbuilder.h"
#include "diag.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace codtest;
using Lines = std::vector<std::string>;

namespace {

const std::string HEADER_COLUMNS =
    "Address  Value    Disassembly              Source" + std::string(75, ' ') + "File";
const std::string HEADER_RULE =
    "-------  -------  -----------------------  " + std::string(79, '-') + "  -----";

Lines pageHeader()
{
    return {"DORVANE v2.20.00, COFF to COD File Converter",
            noticeBanner(),
            std::string("Listing File Generated: ") + FIXED_TIME_TEXT,
            "",
            "",
            HEADER_COLUMNS,
            HEADER_RULE};
}

Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const LineInfo HEADER_INFO(0, 2, 1, 0);

CoffBuilder exe(ProcessorCode code)
{
    return CoffBuilder().name("prog.o").flags(F_EXEC).processor(proc_type_word(code), proc_rom_width(code), 8);
}

CoffBuilder &marker(CoffBuilder &b, const std::string &name, uint32_t value = 0)
{
    return b.symbol(name, value, -2, C_STAT);
}

class Listing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useUtc();
        setQuiet(1);
        conv.setClock(FIXED_TIME);
    }

    bool convert(const CoffBuilder &b, int32_t pageLength = 0)
    {
        coff = b.coff();
        return conv.convert(coff, pageLength, false) != nullptr;
    }

    Lines listing() const { return splitLines(dir.readText("prog.lst")); }

    // The line infos after the first page header's eight.
    std::vector<LineInfo> sourceInfos() const
    {
        const std::vector<LineInfo> &all = conv.cLineInfo[0];
        EXPECT_GE(all.size(), 8u);
        for (size_t i = 0; i < 8 && i < all.size(); ++i)
            EXPECT_EQ(all[i], HEADER_INFO) << i;
        return std::vector<LineInfo>(all.begin() + std::min<size_t>(8, all.size()), all.end());
    }

    WorkDir dir;
    Coff coff;
    Coff2Cod conv;
};

} // namespace

TEST_F(Listing, PageHeaderLayout)
{
    EXPECT_EQ(HEADER_COLUMNS.size(), 128u);
    EXPECT_EQ(HEADER_RULE.size(), 129u);
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, {0, 0})));
    EXPECT_EQ(dir.readText("prog.lst"), "DORVANE v2.20.00, COFF to COD File Converter\n" + noticeBanner() +
                                             "\nListing File Generated: Tue Mar  5 09:05:00 2024\n\n\n" +
                                             HEADER_COLUMNS + "\n" + HEADER_RULE + "\n");
    EXPECT_EQ(conv.cLineInfo[0], std::vector<LineInfo>(8, HEADER_INFO));
}

TEST_F(Listing, Core14ProgramWithAnIncludeFile)
{
    dir.write("main.asm", std::string("; test\r\n"
                                      "        include \"defs.inc\"\r\n"
                                      "start   movlw 1\r\n"
                                      "        call sub\r\n"
                                      "        goto start\r\n"
                                      "sub     return\r\n"));
    dir.write("defs.inc", std::string("; defs\nx equ 5\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0x01, 0x30, 0x03, 0x20, 0x00, 0x28, 0x08, 0x00});
    b.file("main.asm").line(".code", 3, 0).line(".code", 4, 1).line(".code", 5, 2).line(".code", 6, 3);
    b.file("defs.inc", 2);
    marker(b, ".eof");
    marker(b, ".eof");
    b.symbol("start", 0, ".code", C_LABEL).symbol("sub", 3, ".code", C_LABEL);
    ASSERT_TRUE(convert(b));

    // One row pinned character by character.
    std::string movlw = "000000   3001     MOVLW     0x1" + std::string(12, ' ') + "start   movlw 1" +
                        std::string(66, ' ') + "main.asm";
    EXPECT_EQ((pageHeader() + Lines{row("", "", "", "; test", "main.asm"),
                                   row("", "", "", "        include \"defs.inc\"", "main.asm"),
                                   row("", "", "", "; defs", "defs.inc"),
                                   row("", "", "", "x equ 5", "defs.inc"),
                                   movlw,
                                   row("000001", "2003", "CALL      0x3", "        call sub", "main.asm"),
                                   row("000002", "2800", "GOTO      0x0", "        goto start", "main.asm"),
                                   row("000003", "0008", "RETURN    ", "sub     return", "main.asm")}),
              listing());
    EXPECT_EQ(sourceInfos(), (std::vector<LineInfo>{{0, 0x90, 1, 0},
                                                    {0, 0x90, 2, 0},
                                                    {1, 0x90, 1, 0},
                                                    {1, 0x90, 2, 0},
                                                    {0, 0x80, 3, 0},
                                                    {0, 0x80, 4, 1},
                                                    {0, 0x80, 5, 2},
                                                    {0, 0x80, 6, 3}}));
}

TEST_F(Listing, Core16EProgramWithTwoWordInstructionsAndBranches)
{
    dir.write("app.asm", std::string("start   movlw 5\n"
                                     "        call sub\n"
                                     "loop    bra loop\n"
                                     "; comment\n"
                                     "sub     return 0\n"
                                     "        dw 0x0002\n"));
    // MOVLW 5; CALL 8 (two words); BRA -1; RETURN 0; an illegal word.
    CoffBuilder b = exe(CORE16E).section(
        ".code", SCN_CODE, {0x05, 0x0E, 0x04, 0xEC, 0x00, 0xF0, 0xFF, 0xD7, 0x12, 0x00, 0x02, 0x00});
    b.file("app.asm")
        .line(".code", 1, 0)
        .line(".code", 2, 2)
        .line(".code", 2, 4)
        .line(".code", 3, 6)
        .line(".code", 5, 8)
        .line(".code", 6, 10);
    marker(b, ".eof");
    ASSERT_TRUE(convert(b));

    EXPECT_EQ((pageHeader() + Lines{row("000000", "0e05", "MOVLW     0x5", "start   movlw 5", "app.asm"),
                                   row("000002", "ec04", "CALL      0x8,0x0", "        call sub", "app.asm"),
                                   row("000004", "f000", "", "", ""),
                                   row("000006", "d7ff", "BRA       0x6", "loop    bra loop", "app.asm"),
                                   row("", "", "", "; comment", "app.asm"),
                                   row("000008", "0012", "RETURN    0x0", "sub     return 0", "app.asm"),
                                   row("00000a", "0002", "??? Illegal Opcode", "        dw 0x0002", "app.asm")}),
              listing());
    EXPECT_EQ(sourceInfos(), (std::vector<LineInfo>{{0, 0x80, 1, 0},
                                                    {0, 0x80, 2, 2},
                                                    {0, 0x00, 2, 4},
                                                    {0, 0x80, 3, 6},
                                                    {0, 0x90, 4, 0},
                                                    {0, 0x80, 5, 8},
                                                    {0, 0x80, 6, 10}}));
    // The COD file's memory map and code bytes come from the same section.
    EXPECT_EQ(conv.cMemoryMap[0], (std::vector<MemoryMap>{MemoryMap(0, 11)}));
}

TEST_F(Listing, LineWithThreeWordsGivesThreeRows)
{
    dir.write("m.asm", std::string("        movlw 1\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0x01, 0x30, 0x25, 0x07, 0x00, 0x01});
    b.file("m.asm").line(".code", 1, 0).line(".code", 1, 1).line(".code", 1, 2);
    ASSERT_TRUE(convert(b));
    EXPECT_EQ((pageHeader() + Lines{row("000000", "3001", "MOVLW     0x1", "        movlw 1", "m.asm"),
                                   row("000001", "0725", "ADDWF     0x25,0x0", "", ""),
                                   row("000002", "0100", "CLRW      ", "", "")}),
              listing());
    EXPECT_EQ(sourceInfos(), (std::vector<LineInfo>{{0, 0x80, 1, 0}, {0, 0, 1, 1}, {0, 0, 1, 2}}));
}

TEST_F(Listing, WordsAreReadOnlyInsideTheSection)
{
    dir.write("m.asm", std::string("a\nb\nc\n"));
    // Three bytes: the word after GOTO has only its low byte inside the
    // section and reads as 0x0005, which is no second word; line 3 names
    // an address past the section, whose word reads as zero.
    CoffBuilder b = exe(CORE16E).section(".code", SCN_CODE, {0x00, 0xEF, 0x05}, 0x100);
    b.file("m.asm").line(".code", 1, 0x100).line(".code", 2, 0x102).line(".code", 3, 0x110);
    ASSERT_TRUE(convert(b));
    EXPECT_EQ((pageHeader() + Lines{row("000100", "ef00", "GOTO      ???", "a", "m.asm"),
                                   row("000102", "0005", "PUSH      ", "b", "m.asm"),
                                   row("000110", "0000", "NOP       ", "c", "m.asm")}),
              listing());
}

TEST_F(Listing, NolistAndList)
{
    std::string text;
    for (int i = 1; i <= 22; ++i)
        text += "; line " + std::to_string(i) + "\n";
    dir.write("m.asm", text);
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    marker(b, ".nolist", 10);
    marker(b, ".list", 20);
    marker(b, ".eof");
    ASSERT_TRUE(convert(b));
    Lines lines = listing();
    ASSERT_EQ(lines.size(), 7u + 9 + 3);
    EXPECT_EQ(lines[7 + 8], row("", "", "", "; line 9", "m.asm"));
    EXPECT_EQ(lines[7 + 9], row("", "", "", "; line 20", "m.asm"));
    std::vector<LineInfo> infos = sourceInfos();
    ASSERT_EQ(infos.size(), 12u);
    EXPECT_EQ(infos[8], LineInfo(0, 0x90, 9, 0));
    EXPECT_EQ(infos[9], LineInfo(0, 0x90, 20, 0));
}

TEST_F(Listing, DirectivesOfAnIncludedFileApplyToItsOwnLines)
{
    dir.write("m.asm", std::string("m1\nm2\nm3\n"));
    dir.write("i.inc", std::string("i1\ni2\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    b.file("i.inc", 1);
    marker(b, ".nolist", 2); // line 2 of i.inc
    marker(b, ".eof");
    marker(b, ".eof");
    ASSERT_TRUE(convert(b));
    Lines lines = listing();
    // m1, i1, then i2 unlisted; listing stays off for m2 and m3, as the
    // switch holds until the next directive.
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[7], row("", "", "", "m1", "m.asm"));
    EXPECT_EQ(lines[8], row("", "", "", "i1", "i.inc"));
}

TEST_F(Listing, PageLengthThreeWithSevenRows)
{
    dir.write("m.asm", std::string("1\n2\n3\n4\n5\n6\n7\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    ASSERT_TRUE(convert(b, 3));
    auto r = [](const char *text) { return row("", "", "", text, "m.asm"); };
    Lines expected = pageHeader() + Lines{r("1"), r("2"), r("3"), "\f"} + pageHeader() +
                     Lines{r("4"), r("5"), r("6"), "\f"} + pageHeader() + Lines{r("7")};
    EXPECT_EQ(listing(), expected);
    // Three page headers of eight records, seven source lines.
    const std::vector<LineInfo> &infos = conv.cLineInfo[0];
    ASSERT_EQ(infos.size(), 31u);
    EXPECT_EQ(infos[10], LineInfo(0, 0x90, 3, 0));
    EXPECT_EQ(infos[11], HEADER_INFO);
    EXPECT_EQ(infos[18], HEADER_INFO);
    EXPECT_EQ(infos[19], LineInfo(0, 0x90, 4, 0));
}

TEST_F(Listing, NegativePageLengthCountsItsMagnitude)
{
    dir.write("m.asm", std::string("1\n2\n3\n4\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    ASSERT_TRUE(convert(b, -2));
    auto r = [](const char *text) { return row("", "", "", text, "m.asm"); };
    // After the fourth row a header follows although nothing else does.
    Lines expected =
        pageHeader() + Lines{r("1"), r("2"), "\f"} + pageHeader() + Lines{r("3"), r("4"), "\f"} + pageHeader();
    EXPECT_EQ(listing(), expected);
}

TEST_F(Listing, MissingSourceFileIsSkippedAndItsIncludesListedOnTheirOwn)
{
    dir.write("i.inc", std::string("i1\n"));
    dir.write("n.asm", std::string("n1\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("gone.asm");
    b.file("i.inc", 1);
    marker(b, ".eof");
    marker(b, ".eof");
    b.file("n.asm");
    marker(b, ".eof");
    uint32_t warnings = warningCount();
    ASSERT_TRUE(convert(b));
    EXPECT_EQ(warningCount(), warnings + 1);
    EXPECT_EQ((pageHeader() + Lines{row("", "", "", "i1", "i.inc"), row("", "", "", "n1", "n.asm")}), listing());
    EXPECT_EQ(sourceInfos(), (std::vector<LineInfo>{{1, 0x90, 1, 0}, {2, 0x90, 1, 0}}));
}

TEST_F(Listing, IncludeWithoutLineIsTakenAtTheFirstLine)
{
    dir.write("m.asm", std::string("m1\nm2\n"));
    dir.write("i.inc", std::string("i1\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    b.file("i.inc", 0);
    marker(b, ".eof");
    marker(b, ".eof");
    ASSERT_TRUE(convert(b));
    EXPECT_EQ((pageHeader() + Lines{row("", "", "", "m1", "m.asm"), row("", "", "", "i1", "i.inc"),
                                   row("", "", "", "m2", "m.asm")}),
              listing());
}

TEST_F(Listing, LineInfosGoToTheDirectoryOfTheirAddress)
{
    dir.write("m.asm", std::string("a\nb\n"));
    // Word 0x8000 of a 16-bit device is byte 0x10000: directory 1.
    CoffBuilder b = exe(CORE16).section(".lo", SCN_CODE, {0, 0}, 0x10).section(".hi", SCN_CODE, {0, 0}, 0x8000);
    b.file("m.asm").line(".lo", 1, 0x10).line(".hi", 2, 0x8000);
    ASSERT_TRUE(convert(b));
    EXPECT_EQ(sourceInfos(), (std::vector<LineInfo>{{0, 0x80, 1, 0x10}}));
    EXPECT_EQ(conv.cLineInfo[1], (std::vector<LineInfo>{{0, 0x80, 2, 0x8000}}));
    ASSERT_TRUE(conv.preWrite());
    EXPECT_NE(conv.cDirectory[1].LineTab, 0);
    EXPECT_EQ(conv.cDirectory[1].LineTab, conv.cDirectory[1].LineEnd);
}

TEST_F(Listing, OneSlotSymbolTable)
{
    // The page header test covers an empty table.
    coff = exe(CORE14).section(".code", SCN_CODE, {0, 0}).file("m.asm").coff();
    coff.cSymbols.resize(1);
    coff.cAuxKind.resize(1);
    ASSERT_TRUE(conv.convert(coff, 0, false));
    EXPECT_EQ(listing(), pageHeader());
}

TEST_F(Listing, LongSourceLinesAreListedWhole)
{
    std::string longLine(3000, 'x');
    dir.write("m.asm", longLine + "\nnext\n");
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("m.asm");
    ASSERT_TRUE(convert(b));
    Lines expected = pageHeader() + Lines{row("", "", "", longLine, "m.asm"), row("", "", "", "next", "m.asm")};
    EXPECT_EQ(listing(), expected);
}

TEST_F(Listing, UnwritableListingFailsTheConversion)
{
    std::filesystem::create_directory(dir.file("prog.lst"));
    uint32_t errors = errorCount();
    EXPECT_FALSE(convert(exe(CORE14).section(".code", SCN_CODE, {0, 0})));
    EXPECT_EQ(errorCount(), errors + 1);
}

TEST_F(Listing, ListingLiesBesideTheCoffFile)
{
    std::filesystem::create_directory(dir.file("out"));
    coff = exe(CORE14).name("out/prog.o").section(".code", SCN_CODE, {0, 0}).coff();
    ASSERT_TRUE(conv.convert(coff, 0, false));
    EXPECT_TRUE(dir.exists("out/prog.lst"));
    EXPECT_FALSE(dir.exists("prog.lst"));
    EXPECT_EQ(conv.fileName(), "prog.cod");
}

TEST_F(Listing, SourceNamesWithBackslashesAreOpened)
{
    std::filesystem::create_directory(dir.file("src"));
    dir.write("src/m.asm", std::string("m1\n"));
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("src\\m.asm");
    ASSERT_TRUE(convert(b));
    EXPECT_EQ(listing(), pageHeader() + Lines{row("", "", "", "m1", "src\\m.asm")});
}
