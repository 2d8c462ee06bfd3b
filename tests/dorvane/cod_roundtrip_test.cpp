// COD files that the converter writes read back to the model it wrote:
// several windows, empty directories, tables over several blocks, and the
// file that the dorvane program itself writes.

#include "codreadback.h"
#include "codtestutil.h"
#include "coff2cod.h"
#include "coffbuilder.h"
#include "diag.h"

#include <gtest/gtest.h>

using namespace codtest;

namespace {

CoffBuilder exe(ProcessorCode code, const std::string &name = "prog.o")
{
    return CoffBuilder().name(name).flags(F_EXEC).processor(proc_type_word(code), proc_rom_width(code), 8);
}

// A 14-bit program of 100 one-word lines in main.asm, with an include file,
// nine source files, and 40 labels whose names are longer than a short
// symbol holds: two symbol blocks, two source-name blocks, two line-info
// blocks and several long-symbol blocks.
CoffBuilder bigProgram(WorkDir &dir)
{
    std::string source;
    for (int i = 0; i < 100; ++i)
        source += "        nop\n";
    dir.write("main.asm", source);
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, std::vector<uint8_t>(200, 0));
    b.file("main.asm");
    for (uint16_t i = 0; i < 100; ++i)
        b.line(".code", uint16_t(i + 1), i);
    for (int f = 1; f < 9; ++f) {
        dir.write("inc" + std::to_string(f) + ".inc", std::string("; nothing\n"));
        b.file("inc" + std::to_string(f) + ".inc", 1);
        b.symbol(".eof", 0, -2, C_STAT);
    }
    b.symbol(".eof", 0, -2, C_STAT);
    for (int i = 0; i < 40; ++i)
        b.symbol("a_rather_long_label_number_" + std::to_string(i), uint32_t(i), ".code", C_LABEL);
    return b;
}

class CodRoundTrip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useUtc();
        setQuiet(1);
        conv.setClock(FIXED_TIME);
    }

    // Converts, writes and reads back.
    std::unique_ptr<Cod> roundTrip(const CoffBuilder &b, bool noListing)
    {
        coff = b.coff();
        EXPECT_TRUE(conv.convert(coff, 0, noListing));
        EXPECT_TRUE(conv.preWrite());
        EXPECT_TRUE(conv.write());
        return expectReadsBack(conv);
    }

    WorkDir dir;
    Coff coff;
    Coff2Cod conv;
};

} // namespace

TEST_F(CodRoundTrip, ProgramWithEveryTableOverSeveralBlocks)
{
    std::unique_ptr<Cod> back = roundTrip(bigProgram(dir), false);
    ASSERT_TRUE(back);
    // The model really spans several blocks of each table.
    EXPECT_EQ(back->cSymbol.size(), 40u);
    EXPECT_EQ(back->cSourceName.size(), 9u);
    EXPECT_GT(back->cLineInfo[0].size(), 85u);
    EXPECT_EQ(back->cLongSymbol.size(), 40u);
    EXPECT_LT(back->cDirectory[0].LSymTab, back->cDirectory[0].LSymEnd);
    // Page-header records and source-line records, in that order.
    EXPECT_EQ(back->cLineInfo[0][0], LineInfo(0, COD_LINE_HEADER, 1, 0));
    EXPECT_EQ(back->cLineInfo[0][8], LineInfo(0, COD_LINE_FIRST, 1, 0));
}

TEST_F(CodRoundTrip, LinesInTwoWindows)
{
    dir.write("m.asm", std::string("a\nb\n"));
    // Word 0x8000 of a 16-bit device is byte 0x10000: directory 1.
    CoffBuilder b = exe(CORE16).section(".lo", SCN_CODE, {1, 2}, 0x10).section(".hi", SCN_CODE, {3, 4}, 0x8000);
    b.file("m.asm").line(".lo", 1, 0x10).line(".hi", 2, 0x8000);
    std::unique_ptr<Cod> back = roundTrip(b, false);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->cDirectory.size(), 2u);
    EXPECT_EQ(back->cLineInfo[1], (std::vector<LineInfo>{{0, 0x80, 2, 0x8000}}));
}

TEST_F(CodRoundTrip, CodeOnlyInWindowTwoWithoutListing)
{
    std::unique_ptr<Cod> back = roundTrip(exe(CORE16E).section(".code", SCN_CODE, {1, 2}, 0x20010), true);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->cDirectory.size(), 3u);
    EXPECT_TRUE(back->cCodeBlock[0].empty());
    EXPECT_TRUE(back->cCodeBlock[1].empty());
    EXPECT_EQ(back->cCodeBlock[2].size(), 1u);
}

TEST_F(CodRoundTrip, FileWrittenByTheProgramIsWrittenAgainByteForByte)
{
    dir.write("prog.o", bigProgram(dir).bytes());
    ToolResult r = runTool(DORVANE_EXE, {"-q", "prog.o"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::vector<uint8_t> original = dir.read("prog.cod");

    std::unique_ptr<Cod> back = Cod::make(dir.file("prog.cod"));
    ASSERT_TRUE(back);
    // The block numbers read are those the write order gives.
    back->cFileName = dir.file("again.cod");
    ASSERT_TRUE(back->write());
    EXPECT_EQ(dir.read("again.cod"), original);
}
