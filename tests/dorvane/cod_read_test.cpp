// Reading COD files back: whole models written by the writer, and files
// broken in one place each, which must fail with the matching message.

#include "cod.h"
#include "codreadback.h"
#include "diag.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>

using Bytes = std::vector<uint8_t>;

namespace {

// Tue Mar  5 09:05:00 2024 UTC.
const std::time_t FIXED_TIME = 1709629500;

Block blockOf(uint8_t seed)
{
    Block b;
    for (size_t i = 0; i < COD_BLOCK_SIZE; ++i)
        b.data()[i] = uint8_t(seed + i * 7);
    return b;
}

LongSymbol longSymbol(const std::string &name, uint16_t type, uint32_t value)
{
    LongSymbol s;
    s.NameLen = uint8_t(name.size());
    s.Name = name;
    s.Type = type;
    s.Value = value;
    return s;
}

void putU16At(Bytes &file, size_t at, uint16_t v)
{
    file[at] = uint8_t(v);
    file[at + 1] = uint8_t(v >> 8);
}

// Offsets of directory fields within their block.
const size_t NEXTDIR = 441;

class CodRead : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        setQuiet(0);
    }

    // Writes the model as t.cod and returns its bytes.
    Bytes written(Cod &cod)
    {
        cod.setClock(FIXED_TIME);
        cod.cFileName = dir.file("t.cod");
        if (cod.cDirectory.empty())
            cod.addDirectory();
        cod.cDirectory[0].setSource("t.cod");
        EXPECT_TRUE(cod.preWrite());
        EXPECT_TRUE(cod.write());
        return dir.read("t.cod");
    }

    // Three directories; blocks in file order:
    //   0-2 directories, 3 code (directory 0, key 0), 4 code (directory 1,
    //   key 1), 5 symbols, 6 source names, 7 line infos (directory 0),
    //   8 local groups, 9 memory map (directory 0), 10 long symbols,
    //   11 debug messages.
    Bytes smallFile()
    {
        Cod cod;
        for (int i = 0; i < 3; ++i)
            cod.addDirectory();
        cod.cCodeBlock[0][0] = blockOf(1);
        cod.cCodeBlock[1][1] = blockOf(2);
        cod.cSymbol.push_back(Symbol("main", COD_TYPE_ADDRESS, 0x10));
        cod.cSourceName.push_back(SourceName("main.asm"));
        cod.cLineInfo[0].push_back(LineInfo(0, COD_LINE_FIRST, 3, 0x10));
        cod.cLocalGroup.push_back(LocalGroup(0x10, 0x20, {Symbol("i", COD_TYPE_CONSTANT, 1)}));
        cod.cMemoryMap[0].push_back(MemoryMap(0, 0x1F));
        cod.cLongSymbol.push_back(longSymbol("main", COD_TYPE_ADDRESS, 0x10));
        cod.cDebugMsg.push_back(DebugMsg(0x10, 'a', 5, "hello"));
        Bytes file = written(cod);
        EXPECT_EQ(file.size(), 12 * COD_BLOCK_SIZE);
        return file;
    }

    // Writes the bytes as b.cod and reads them; the reader must fail with
    // exactly one error, the message given.
    void expectFailure(const Bytes &file, const std::string &message)
    {
        dir.write("b.cod", file);
        std::string name = dir.file("b.cod");
        ReportCapture cap;
        std::unique_ptr<Cod> cod = Cod::make(name);
        EXPECT_FALSE(cod);
        EXPECT_EQ(cap.errors(), 1u);
        EXPECT_EQ(cap.text(), "Error - Cod file '" + name + "' " + message + "\n");
    }

    TempDir dir;
};

} // namespace

TEST_F(CodRead, EveryTableOverSeveralBlocksReadsBack)
{
    Cod cod;
    for (int i = 0; i < 3; ++i)
        cod.addDirectory();
    cod.cDirectory[0].setVersion(codConverterVersion());
    cod.cDirectory[0].setNotice("notice line");
    cod.cDirectory[0].setProcessor("dev14a");
    cod.cCodeBlock[0][0] = blockOf(1);
    cod.cCodeBlock[0][127] = blockOf(2);
    cod.cCodeBlock[2][5] = blockOf(3);
    // 33 symbols and 9 source names take two blocks each.
    for (int i = 0; i < 33; ++i)
        cod.cSymbol.push_back(Symbol("sym" + std::to_string(i), uint8_t(i % 2 ? 46 : 47), uint16_t(i * 1000)));
    for (int i = 0; i < 9; ++i)
        cod.cSourceName.push_back(SourceName("src" + std::to_string(i) + ".asm"));
    // 86 line infos in directory 0: a second block; none in directory 1.
    for (int i = 0; i < 86; ++i)
        cod.cLineInfo[0].push_back(LineInfo(uint8_t(i % 9), i % 3 ? COD_LINE_FIRST : COD_LINE_HEADER, uint16_t(i + 1),
                                            uint16_t(2 * i)));
    cod.cLineInfo[2].push_back(LineInfo(1, COD_LINE_NOCODE, 7, 0));
    for (int i = 0; i < 129; ++i)
        cod.cMemoryMap[2].push_back(MemoryMap(uint16_t(4 * i), uint16_t(4 * i + 1)));
    cod.cMemoryMap[0].push_back(MemoryMap(0, 0x3FF));
    // Entries of 107 bytes: four to a block.
    for (int i = 0; i < 6; ++i)
        cod.cLongSymbol.push_back(longSymbol(std::string(100, char('a' + i)), 46, 0x01020304u * uint32_t(i + 1)));
    // The second group runs on into the next block; the third has no symbols.
    cod.cLocalGroup.push_back(LocalGroup(0x100, 0x1FF, {Symbol("a", 47, 1), Symbol("b", 47, 2)}));
    std::vector<Symbol> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(Symbol("loc" + std::to_string(i), 47, uint16_t(i)));
    cod.cLocalGroup.push_back(LocalGroup(0x200, 0x2FF, many));
    cod.cLocalGroup.push_back(LocalGroup(0x300, 0x3FF, {}));
    for (int i = 0; i < 60; ++i)
        cod.cDebugMsg.push_back(DebugMsg(uint32_t(0x10000 * i + 5), uint8_t('a' + i % 26), 10, "message " +
                                                                                               std::to_string(i)));
    written(cod);

    std::unique_ptr<Cod> back = Cod::make(dir.file("t.cod"));
    ASSERT_TRUE(back);
    codtest::expectSameCod(*back, cod);
    EXPECT_EQ(back->cLocalGroup.size(), 3u);
}

TEST_F(CodRead, EmptyModelReadsBackAsOneDirectory)
{
    Cod cod;
    written(cod);
    std::unique_ptr<Cod> back = Cod::make(dir.file("t.cod"));
    ASSERT_TRUE(back);
    codtest::expectSameCod(*back, cod);
    EXPECT_EQ(back->cDirectory.size(), 1u);
    EXPECT_EQ(back->cLineInfo.size(), 1u);
    EXPECT_EQ(back->cMemoryMap.size(), 1u);
    EXPECT_EQ(back->cCodeBlock.size(), 1u);
}

TEST_F(CodRead, UnusedEntriesAreSkipped)
{
    Bytes file = smallFile();
    // A zero symbol entry between two used ones, an all-zero line info and
    // a memory-map range of 0 to 0 are not records; a line info of file 1
    // with all else zero and a range of 5 to 0 are.
    Bytes entry = {2, 'x', 'y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 47, 9, 0};
    std::copy(entry.begin(), entry.end(), file.begin() + 5 * 512 + 32);
    std::fill(file.begin() + 7 * 512, file.begin() + 7 * 512 + 6, 0);
    Bytes line = {1, 0, 4, 0, 0, 0};
    std::copy(line.begin(), line.end(), file.begin() + 7 * 512 + 6);
    file[9 * 512 + 8] = 5;
    dir.write("u.cod", file);
    std::unique_ptr<Cod> cod = Cod::make(dir.file("u.cod"));
    ASSERT_TRUE(cod);
    ASSERT_EQ(cod->cSymbol.size(), 2u);
    EXPECT_EQ(cod->cSymbol[1], Symbol("xy", 47, 9));
    ASSERT_EQ(cod->cLineInfo[0].size(), 1u);
    EXPECT_EQ(cod->cLineInfo[0][0], LineInfo(1, 0, 4, 0));
    EXPECT_EQ(cod->cMemoryMap[0], (std::vector<MemoryMap>{MemoryMap(0, 0x1F), MemoryMap(5, 0)}));
}

TEST_F(CodRead, MissingFile)
{
    std::string name = dir.file("none.cod");
    ReportCapture cap;
    EXPECT_FALSE(Cod::make(name));
    EXPECT_EQ(cap.text(), "Error - Could not open Cod file '" + name + "' for reading.\n");
    EXPECT_EQ(cap.errors(), 1u);
}

TEST_F(CodRead, BrokenDirectories)
{
    Bytes good = smallFile();
    // Shorter than one block.
    expectFailure(Bytes(good.begin(), good.begin() + 511), "does not have a properly formed first directory.");
    expectFailure(Bytes(), "does not have a properly formed first directory.");

    Bytes past = good;
    putU16At(past, 1 * 512 + NEXTDIR, 12);
    expectFailure(past, "does not have a properly formed linked directory.");

    // A chain that points back at itself or at an earlier directory would
    // never end.
    Bytes self = good;
    putU16At(self, 1 * 512 + NEXTDIR, 1);
    expectFailure(self, "does not have a properly formed linked directory.");
    Bytes back = good;
    putU16At(back, 2 * 512 + NEXTDIR, 1);
    expectFailure(back, "does not have a properly formed linked directory.");

    // The last directory block cut short.
    Bytes cut(good.begin(), good.begin() + 2 * 512 + 300);
    expectFailure(cut, "does not have a properly formed linked directory.");
}

TEST_F(CodRead, TableRangesBeforeTheirStartOrPastTheFile)
{
    Bytes good = smallFile();
    struct Case
    {
        size_t field; // the table's last-block field in directory 0
        uint16_t before;
        std::string message;
    } cases[] = {
        {428, 4, "does not have a proper symbol table."},
        {432, 5, "does not have a proper name table."},
        {436, 6, "does not have a proper line info table."},
        {445, 8, "does not have a proper memory map table."},
        {464, 9, "does not have a proper long symbol table."},
        {449, 7, "does not have a proper local vars table."},
        {468, 10, "does not have a proper debug message table."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Bytes before = good;
        putU16At(before, c.field, c.before);
        expectFailure(before, c.message);
        Bytes past = good;
        putU16At(past, c.field, 12);
        expectFailure(past, c.message);
    }
    // Directory 2's line-info range, although it has no lines.
    Bytes other = good;
    putU16At(other, 2 * 512 + 434, 11);
    putU16At(other, 2 * 512 + 436, 40);
    expectFailure(other, "does not have a proper line info table.");
}

TEST_F(CodRead, TableBlocksServeOneTableOnly)
{
    Bytes good = smallFile();
    // The long-symbol range names the symbol block, already read.
    Bytes shared = good;
    putU16At(shared, 462, 5);
    putU16At(shared, 464, 5);
    expectFailure(shared, "does not have a proper long symbol table.");
    // A table over the directory blocks.
    Bytes overDirs = good;
    putU16At(overDirs, 426, 1);
    expectFailure(overDirs, "does not have a proper symbol table.");
}

TEST_F(CodRead, EntriesBeyondTheirFields)
{
    Bytes good = smallFile();
    Bytes symbol = good;
    symbol[5 * 512] = 13; // a short name holds 12 characters
    expectFailure(symbol, "does not have a proper symbol table.");

    Bytes source = good;
    source[6 * 512 + 64] = 64; // the second entry: a name field holds 63
    expectFailure(source, "does not have a proper name table.");

    Bytes local = good;
    local[8 * 512 + 16] = 13; // the group's symbol
    expectFailure(local, "does not have a proper local vars table.");
}

TEST_F(CodRead, VariableEntriesRunningPastTheirBlock)
{
    Bytes good = smallFile();
    // An entry of 7 + 255 bytes at 0, and another one from 262 to 524.
    Bytes longSym = good;
    longSym[10 * 512] = 255;
    longSym[10 * 512 + 262] = 255;
    expectFailure(longSym, "does not have a proper long symbol table.");
    // After "main" (11 bytes), entries of 8 bytes with one-letter names
    // from 11 on: the one at 499 ends at 507, where only 5 bytes are left
    // for the next one.
    Bytes lastByte = good;
    std::fill(lastByte.begin() + 10 * 512 + 11, lastByte.begin() + 11 * 512, 1);
    expectFailure(lastByte, "does not have a proper long symbol table.");

    // A message of 6 + 255 bytes at 0, and another one from 261 to 522.
    Bytes msg = good;
    msg[11 * 512 + 5] = 255;
    msg[11 * 512 + 261 + 5] = 255;
    expectFailure(msg, "does not have a proper debug message table.");
    // The file ends inside the message block.
    expectFailure(Bytes(good.begin(), good.end() - 1), "does not have a proper debug message table.");
}

TEST_F(CodRead, LocalEntriesBeforeAnyGroup)
{
    Bytes good = smallFile();
    Bytes noHeader = good;
    noHeader[8 * 512 + 7] = 'X'; // "__LOCAX" is an ordinary symbol
    expectFailure(noHeader, "does not have a proper local vars table.");
}

TEST_F(CodRead, IndexEntriesPastTheFileOrOnOtherBlocks)
{
    Bytes good = smallFile();
    Bytes past = good;
    putU16At(past, 1 * 512 + 2 * 1, 12);
    expectFailure(past, "does not have a proper Index.");
    Bytes dirBlock = good;
    putU16At(dirBlock, 2 * 5, 2); // directory 0, key 5 -> directory block 2
    expectFailure(dirBlock, "does not have a proper Index.");
    Bytes twice = good;
    putU16At(twice, 2 * 6, 3); // key 6 names key 0's block again
    expectFailure(twice, "does not have a proper Index.");
}

TEST_F(CodRead, FileEndingInsideACodeBlockWithoutTables)
{
    Cod cod;
    cod.addDirectory();
    cod.cCodeBlock[0][2] = blockOf(9);
    Bytes file = written(cod);
    ASSERT_EQ(file.size(), 1024u);
    expectFailure(Bytes(file.begin(), file.begin() + 1000), "does not have a proper Index.");
}
