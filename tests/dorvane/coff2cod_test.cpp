// Converting an executable into the COD model: directory texts, code
// blocks and memory maps per window, source names and symbols.

#include "codtestutil.h"
#include "coff2cod.h"
#include "coffbuilder.h"
#include "diag.h"

#include <gtest/gtest.h>

using namespace codtest;
using Bytes = std::vector<uint8_t>;

namespace {

CoffBuilder exe(ProcessorCode code, const std::string &name = "prog.o")
{
    return CoffBuilder().name(name).flags(F_EXEC).processor(proc_type_word(code), proc_rom_width(code), 8);
}

class Coff2CodTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useUtc();
        setQuiet(1);
        conv.setClock(FIXED_TIME);
    }

    // Converts without a listing.
    bool convert(const CoffBuilder &b)
    {
        coff = b.coff();
        return conv.convert(coff, 0, true) != nullptr;
    }

    WorkDir dir;
    Coff coff;
    Coff2Cod conv;
};

Bytes blockPart(const Block &b, size_t from, size_t n) { return Bytes(b.data() + from, b.data() + from + n); }

} // namespace

TEST_F(Coff2CodTest, DirectoryTexts)
{
    ASSERT_TRUE(convert(exe(CORE14, "sub/prog.o").section(".code", SCN_CODE, {1, 2})));
    ASSERT_EQ(conv.cDirectory.size(), 1u);
    const Directory &d = conv.cDirectory[0];
    EXPECT_EQ(d.source(), "prog.cod");
    EXPECT_EQ(conv.cFileName, "prog.cod");
    EXPECT_EQ(d.version(), "DORVANE v2.20.00");
    EXPECT_EQ(d.notice(), noticeBanner().substr(0, 63));
    EXPECT_EQ(d.processor(), proc_name(CORE14));
    EXPECT_EQ(d.CodType, 1);
    EXPECT_EQ(d.HighAddr, 0);
}

TEST_F(Coff2CodTest, LongBaseNameIsCutInTheFieldOnly)
{
    std::string base(70, 'p');
    ASSERT_TRUE(convert(exe(CORE14, base + ".o").section(".code", SCN_CODE, {1, 2})));
    EXPECT_EQ(conv.cDirectory[0].SourceLen, 63);
    EXPECT_EQ(conv.cDirectory[0].source(), base.substr(0, 63));
    // The file itself is created under the whole name, never a shortened
    // one that could be the input's own name.
    EXPECT_EQ(conv.fileName(), base + ".cod");
}

TEST_F(Coff2CodTest, Core14CodeAtZero)
{
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, {1, 2, 3, 4, 5, 6, 7, 8})));
    ASSERT_EQ(conv.cCodeBlock.size(), 1u);
    ASSERT_EQ(conv.cCodeBlock[0].size(), 1u);
    const Block &b = conv.cCodeBlock[0].at(0);
    EXPECT_EQ(blockPart(b, 0, 9), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0}));
    ASSERT_EQ(conv.cMemoryMap[0].size(), 1u);
    EXPECT_EQ(conv.cMemoryMap[0][0], MemoryMap(0, 7));
    EXPECT_TRUE(conv.cLineInfo[0].empty());
}

TEST_F(Coff2CodTest, WordAddressesAreDoubledAndTheLastByteRoundedUp)
{
    // 3 bytes at word 0x101 on a 14-bit device: bytes 0x202 to 0x204, the
    // last word ending at 0x205.
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, {0xA, 0xB, 0xC}, 0x101)));
    EXPECT_EQ(conv.cMemoryMap[0][0], MemoryMap(0x202, 0x205));
    const Block &b = conv.cCodeBlock[0].at(1);
    EXPECT_EQ(blockPart(b, 0, 6), (Bytes{0, 0, 0xA, 0xB, 0xC, 0}));
}

TEST_F(Coff2CodTest, Core16CodeAboveSixtyFourK)
{
    // Word 0x8000 is byte 0x10000: window 1.
    ASSERT_TRUE(convert(exe(CORE16).section(".code", SCN_CODE, {1, 2, 3, 4, 5, 6, 7, 8}, 0x8000)));
    ASSERT_EQ(conv.cDirectory.size(), 2u);
    EXPECT_EQ(conv.cDirectory[1].HighAddr, 1);
    EXPECT_TRUE(conv.cCodeBlock[0].empty());
    EXPECT_TRUE(conv.cMemoryMap[0].empty());
    ASSERT_EQ(conv.cMemoryMap[1].size(), 1u);
    EXPECT_EQ(conv.cMemoryMap[1][0], MemoryMap(0, 7));
    ASSERT_EQ(conv.cCodeBlock[1].count(0), 1u);

    ASSERT_TRUE(conv.preWrite());
    EXPECT_EQ(conv.cDirectory[0].NextDir, 1);
    EXPECT_EQ(conv.cDirectory[1].NextDir, 0);
    EXPECT_EQ(conv.cDirectory[1].Index[0], 2);
    EXPECT_EQ(conv.cDirectory[1].MemMapOfs, conv.cDirectory[1].MemMapEnd);
    EXPECT_EQ(conv.cDirectory[0].MemMapOfs, 0);
}

TEST_F(Coff2CodTest, CodeOnlyInWindowTwoStillGivesThreeDirectories)
{
    // Core16E addresses are bytes: 0x20000 is window 2.
    ASSERT_TRUE(convert(exe(CORE16E).section(".code", SCN_CODE, {1, 2}, 0x20010)));
    ASSERT_EQ(conv.cDirectory.size(), 3u);
    EXPECT_EQ(conv.cDirectory[2].HighAddr, 2);
    EXPECT_TRUE(conv.cCodeBlock[1].empty());
    EXPECT_EQ(conv.cMemoryMap[2][0], MemoryMap(0x10, 0x11));
    ASSERT_TRUE(conv.preWrite());
    for (int k = 0; k < 128; ++k) {
        EXPECT_EQ(conv.cDirectory[0].Index[k], 0);
        EXPECT_EQ(conv.cDirectory[1].Index[k], 0);
    }
    EXPECT_EQ(conv.cDirectory[2].Index[0], 3);
    EXPECT_EQ(conv.cDirectory[0].NextDir, 1);
    EXPECT_EQ(conv.cDirectory[1].NextDir, 2);
}

TEST_F(Coff2CodTest, Core16ERomdataIsNotRounded)
{
    ASSERT_TRUE(convert(exe(CORE16E).section(".rom", SCN_ROMDATA, {9, 8, 7}, 0x10)));
    EXPECT_EQ(conv.cMemoryMap[0][0], MemoryMap(0x10, 0x12));
    EXPECT_EQ(blockPart(conv.cCodeBlock[0].at(0), 0x10, 4), (Bytes{9, 8, 7, 0}));
}

TEST_F(Coff2CodTest, SectionAcrossAWindowIsSplitAtTheBoundary)
{
    // Word 0x7FFE on a 14-bit device is byte 0xFFFC: four bytes in window
    // 0, the other four in window 1.
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, {1, 2, 3, 4, 5, 6, 7, 8}, 0x7FFE)));
    ASSERT_EQ(conv.cDirectory.size(), 2u);
    EXPECT_EQ(conv.cMemoryMap[0], (std::vector<MemoryMap>{MemoryMap(0xFFFC, 0xFFFF)}));
    EXPECT_EQ(conv.cMemoryMap[1], (std::vector<MemoryMap>{MemoryMap(0, 3)}));
    EXPECT_EQ(blockPart(conv.cCodeBlock[0].at(127), 508, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(blockPart(conv.cCodeBlock[1].at(0), 0, 5), (Bytes{5, 6, 7, 8, 0}));
}

TEST_F(Coff2CodTest, SectionOverManyBlocksFillsEachWhole)
{
    Bytes data(1030);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    // Byte 0x1FE: two bytes in block 0, 512 in block 1, 512 in block 2,
    // the last four in block 3.
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, data, 0xFF)));
    ASSERT_EQ(conv.cCodeBlock[0].size(), 4u);
    EXPECT_EQ(blockPart(conv.cCodeBlock[0].at(0), 510, 2), (Bytes{data[0], data[1]}));
    EXPECT_EQ(conv.cCodeBlock[0].at(1).data()[0], data[2]);
    EXPECT_EQ(conv.cCodeBlock[0].at(2).data()[511], data[1025]);
    EXPECT_EQ(blockPart(conv.cCodeBlock[0].at(3), 0, 5), (Bytes{data[1026], data[1027], data[1028], data[1029], 0}));
    EXPECT_EQ(conv.cMemoryMap[0][0], MemoryMap(0x1FE, 0x603));
}

TEST_F(Coff2CodTest, SectionsShareABlockInAddressOrder)
{
    // Sorted by address, not by name: ".b" (word 1) is copied before ".a"
    // (word 2), and each section gets its own memory-map entry.
    ASSERT_TRUE(convert(exe(CORE14)
                            .section(".a", SCN_CODE, {0xA1, 0xA2}, 2)
                            .section(".b", SCN_ROMDATA, {0xB1, 0xB2}, 1)
                            .section(".data", SCN_IDATA, {0xD1, 0xD2}, 0)
                            .udata(".bss", 4, 0)));
    ASSERT_EQ(conv.cCodeBlock[0].size(), 1u);
    EXPECT_EQ(blockPart(conv.cCodeBlock[0].at(0), 0, 6), (Bytes{0, 0, 0xB1, 0xB2, 0xA1, 0xA2}));
    EXPECT_EQ(conv.cMemoryMap[0], (std::vector<MemoryMap>{MemoryMap(2, 3), MemoryMap(4, 5)}));
}

TEST_F(Coff2CodTest, ExecutableWithoutCodeFails)
{
    uint32_t errors = errorCount();
    EXPECT_FALSE(convert(exe(CORE14).section(".data", SCN_IDATA, {1, 2}).section(".code", SCN_CODE, {})));
    EXPECT_EQ(errorCount(), errors + 1);
}

TEST_F(Coff2CodTest, UnknownProcessorTypeFailsBeforeAnyTableLookup)
{
    uint32_t errors = errorCount();
    // No device has the type word 0.
    CoffBuilder b = CoffBuilder().name("prog.o").processor(0, 14, 8).section(".code", SCN_CODE, {1, 2});
    EXPECT_FALSE(convert(b));
    EXPECT_EQ(errorCount(), errors + 1);
    EXPECT_TRUE(conv.cDirectory.empty());
}

TEST_F(Coff2CodTest, SymbolsGoToBothTables)
{
    ASSERT_TRUE(convert(exe(CORE14)
                            .section(".code", SCN_CODE, {0, 0})
                            .section(".rom", SCN_ROMDATA, {0, 0}, 0x10)
                            .section(".data", SCN_IDATA, {0, 0})
                            .file("main.asm")
                            .symbol("twentycharacterslong", 0x12345, ".code", C_EXT)
                            .symbol("table", 0x10, ".rom", C_STAT)
                            .symbol("counter", 0x20, ".data", C_STAT)
                            .symbol("extern", 0, 0, C_EXT)
                            .symbol("absolute", 5, -1, C_STAT)
                            .symbol("loop", 1, ".code", C_LABEL)
                            .symbol("func", 1, ".code", 101)));
    ASSERT_EQ(conv.cSymbol.size(), 4u);
    EXPECT_EQ(conv.cSymbol[0].name(), "twentycharac");
    EXPECT_EQ(conv.cSymbol[0].SymbolType, 46);
    EXPECT_EQ(conv.cSymbol[0].SymbolValue, 0x2345);
    EXPECT_EQ(conv.cSymbol[1].name(), "table");
    EXPECT_EQ(conv.cSymbol[1].SymbolType, 46);
    EXPECT_EQ(conv.cSymbol[2].name(), "counter");
    EXPECT_EQ(conv.cSymbol[2].SymbolType, 47);
    EXPECT_EQ(conv.cSymbol[3].name(), "loop");
    EXPECT_EQ(conv.cSymbol[3].SymbolType, 46);

    ASSERT_EQ(conv.cLongSymbol.size(), 4u);
    EXPECT_EQ(conv.cLongSymbol[0].Name, "twentycharacterslong");
    EXPECT_EQ(conv.cLongSymbol[0].NameLen, 20);
    EXPECT_EQ(conv.cLongSymbol[0].Type, 46);
    EXPECT_EQ(conv.cLongSymbol[0].Value, 0x12345u);
    EXPECT_EQ(conv.cLongSymbol[2].Type, 47);
}

TEST_F(Coff2CodTest, OverlongSymbolNameIsCutTo255)
{
    std::string name(300, 's');
    ASSERT_TRUE(convert(exe(CORE14).section(".code", SCN_CODE, {0, 0}).symbol(name, 0, ".code", C_EXT)));
    ASSERT_EQ(conv.cLongSymbol.size(), 1u);
    EXPECT_EQ(conv.cLongSymbol[0].NameLen, 255);
    EXPECT_EQ(conv.cLongSymbol[0].Name, name.substr(0, 255));
    // One entry of 7 + 255 bytes: one block.
    EXPECT_EQ(Cod::packLongSymbols(conv.cLongSymbol).size(), 1u);
}

TEST_F(Coff2CodTest, SourceNamesInSymbolOrder)
{
    std::string longName = "very/long/directory/name/that/goes/on/and/on/and/on/source-file.asm";
    ASSERT_GT(longName.size(), 62u);
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    b.file("main.asm").symbol("x", 0, ".code", C_EXT).file("inc.inc", 3).file(longName);
    ASSERT_TRUE(convert(b));
    ASSERT_EQ(conv.cSourceName.size(), 3u);
    EXPECT_EQ(conv.cSourceName[0].name(), "main.asm");
    EXPECT_EQ(conv.cSourceName[1].name(), "inc.inc");
    EXPECT_EQ(conv.cSourceName[2].name(), longName.substr(0, 62));
    // Slots: .file 0-1, x 2, .file 3-4, .file 5-6.
    EXPECT_EQ(conv.cFileNum, (std::map<uint32_t, uint8_t>{{0, 0}, {3, 1}, {5, 2}}));
}

TEST_F(Coff2CodTest, MoreSourceFilesThanFileNumbersWarns)
{
    CoffBuilder b = exe(CORE14).section(".code", SCN_CODE, {0, 0});
    for (int i = 0; i < 258; ++i)
        b.file("f" + std::to_string(i) + ".asm");
    uint32_t warnings = warningCount();
    ASSERT_TRUE(convert(b));
    EXPECT_EQ(warningCount(), warnings + 1);
    EXPECT_EQ(conv.cSourceName.size(), 256u);
    EXPECT_EQ(conv.cSourceName[255].name(), "f255.asm");
    EXPECT_EQ(conv.cFileNum.size(), 256u);
}

TEST_F(Coff2CodTest, LineMapGroupsBySourceAndLine)
{
    CoffBuilder b = exe(CORE14)
                        .section(".b", SCN_CODE, {0, 0, 0, 0}, 0x10)
                        .section(".a", SCN_CODE, {0, 0}, 0x20)
                        .section(".d", SCN_ROMDATA, {0, 0}, 0x30)
                        .file("main.asm")
                        .line(".b", 5, 0x10)
                        .line(".b", 5, 0x11)
                        .line(".a", 5, 0x20)
                        .line(".d", 9, 0x30);
    coff = b.coff();
    conv.buildLineMap(coff);
    ASSERT_EQ(conv.cLine.size(), 1u);
    const auto &lines = conv.cLine.at(0);
    ASSERT_EQ(lines.size(), 1u); // romdata lines are not mapped
    const std::vector<LstLine> &five = lines.at(5);
    ASSERT_EQ(five.size(), 3u);
    // Sections in name order, each section's entries in file order.
    EXPECT_EQ(five[0].cSection, ".a");
    EXPECT_EQ(five[1].cSection, ".b");
    EXPECT_EQ(five[1].cEntry.l_paddr, 0x10u);
    EXPECT_EQ(five[2].cEntry.l_paddr, 0x11u);
}
