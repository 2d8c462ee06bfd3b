// Block numbering and the written COD file, block by block.

#include "cod.h"
#include "diag.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using Bytes = std::vector<uint8_t>;

namespace {

// Tue Mar  5 09:05:00 2024 UTC.
const std::time_t FIXED_TIME = 1709629500;

class CodWrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        setQuiet(1);
        cod.setClock(FIXED_TIME);
        cod.cFileName = dir.file("t.cod");
    }

    Bytes block(const Bytes &file, size_t n) const
    {
        return Bytes(file.begin() + long(n * COD_BLOCK_SIZE), file.begin() + long((n + 1) * COD_BLOCK_SIZE));
    }

    TempDir dir;
    Cod cod;
};

uint16_t u16(const Bytes &b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

} // namespace

TEST_F(CodWrite, EmptyModelIsOneDirectoryBlock)
{
    cod.addDirectory();
    cod.cDirectory[0].setSource("t.cod");
    ASSERT_TRUE(cod.preWrite());
    ASSERT_TRUE(cod.write());
    Bytes file = dir.read("t.cod");
    ASSERT_EQ(file.size(), 512u);
    for (size_t at = 0; at < 256; ++at)
        EXPECT_EQ(file[at], 0) << at;
    // Every table field and NextDir is 0; CodType is 1.
    for (size_t at = 426; at < 451; ++at)
        EXPECT_EQ(file[at], 0) << at;
    EXPECT_EQ(u16(file, 451), 1);
    for (size_t at = 462; at < 512; ++at)
        EXPECT_EQ(file[at], 0) << at;
    // The date as day, month, year and the time as hours * 100 + minutes.
    EXPECT_EQ(Bytes(file.begin() + 320, file.begin() + 328), (Bytes{7, '0', '5', 'M', 'a', 'r', '2', '4'}));
    EXPECT_EQ(u16(file, 328), 905);
    EXPECT_EQ(Bytes(file.begin() + 256, file.begin() + 262), (Bytes{5, 't', '.', 'c', 'o', 'd'}));
}

TEST_F(CodWrite, ModelWithoutDirectoryStillGetsDirectoryZero)
{
    ASSERT_TRUE(cod.preWrite());
    ASSERT_TRUE(cod.write());
    EXPECT_EQ(dir.read("t.cod").size(), 512u);
}

TEST_F(CodWrite, BlocksAreNumberedInWriteOrder)
{
    for (int i = 0; i < 3; ++i)
        cod.addDirectory();
    cod.cCodeBlock[0][5].data()[0] = 0x55;
    cod.cCodeBlock[0][0].data()[0] = 0x11;
    cod.cCodeBlock[2][1].data()[1] = 0x21;
    for (int i = 0; i < 33; ++i)
        cod.cSymbol.push_back(Symbol("s", COD_TYPE_CONSTANT, uint16_t(i)));
    for (int i = 0; i < 9; ++i)
        cod.cSourceName.push_back(SourceName("f.asm"));
    cod.cLineInfo[0].assign(86, LineInfo(0, 0x80, 1, 0));
    cod.cLineInfo[2].assign(1, LineInfo(0, 0x80, 2, 0x0202));
    cod.cLocalGroup.push_back(LocalGroup(0, 1, {Symbol("l", COD_TYPE_CONSTANT, 0)}));
    cod.cMemoryMap[0].assign(1, MemoryMap(0, 1));
    cod.cMemoryMap[2].assign(129, MemoryMap(0x200, 0x203));
    LongSymbol ls;
    ls.Name = "long";
    ls.NameLen = 4;
    cod.cLongSymbol.push_back(ls);
    cod.cDebugMsg.push_back(DebugMsg(1, 2, 1, "x"));

    ASSERT_TRUE(cod.preWrite());
    const Directory &d0 = cod.cDirectory[0];
    const Directory &d1 = cod.cDirectory[1];
    const Directory &d2 = cod.cDirectory[2];
    // Directories 0-2; code 3 (dir 0 key 0), 4 (dir 0 key 5), 5 (dir 2 key 1).
    EXPECT_EQ(d0.Index[0], 3);
    EXPECT_EQ(d0.Index[5], 4);
    EXPECT_EQ(d2.Index[1], 5);
    for (int k = 0; k < 128; ++k)
        EXPECT_EQ(d1.Index[k], 0);
    EXPECT_EQ(d0.NextDir, 1);
    EXPECT_EQ(d1.NextDir, 2);
    EXPECT_EQ(d2.NextDir, 0);
    EXPECT_EQ(d1.HighAddr, 1);
    EXPECT_EQ(d2.HighAddr, 2);
    EXPECT_EQ(d0.SymTab, 6);
    EXPECT_EQ(d0.SymEnd, 7);
    EXPECT_EQ(d0.NamTab, 8);
    EXPECT_EQ(d0.NamEnd, 9);
    EXPECT_EQ(d0.LineTab, 10);
    EXPECT_EQ(d0.LineEnd, 11);
    EXPECT_EQ(d1.LineTab, 0);
    EXPECT_EQ(d1.LineEnd, 0);
    EXPECT_EQ(d2.LineTab, 12);
    EXPECT_EQ(d2.LineEnd, 12);
    EXPECT_EQ(d0.LocalVars, 13);
    EXPECT_EQ(d0.LocalEnd, 13);
    EXPECT_EQ(d0.MemMapOfs, 14);
    EXPECT_EQ(d0.MemMapEnd, 14);
    EXPECT_EQ(d1.MemMapOfs, 0);
    EXPECT_EQ(d2.MemMapOfs, 15);
    EXPECT_EQ(d2.MemMapEnd, 16);
    EXPECT_EQ(d0.LSymTab, 17);
    EXPECT_EQ(d0.LSymEnd, 17);
    EXPECT_EQ(d0.MessTab, 18);
    EXPECT_EQ(d0.MessEnd, 18);
    // The file-wide tables are recorded in directory 0 only.
    EXPECT_EQ(d2.SymTab, 0);
    EXPECT_EQ(d2.LSymTab, 0);
    EXPECT_EQ(d2.DateLen, 0);

    ASSERT_TRUE(cod.write());
    Bytes file = dir.read("t.cod");
    ASSERT_EQ(file.size(), 19u * 512);
    EXPECT_EQ(u16(block(file, 2), 441), 0); // last NextDir
    EXPECT_EQ(u16(block(file, 2), 439), 2); // HighAddr
    EXPECT_EQ(u16(block(file, 2), 2), 5);   // Index[1] of directory 2
    EXPECT_EQ(block(file, 3)[0], 0x11);
    EXPECT_EQ(block(file, 4)[0], 0x55);
    EXPECT_EQ(block(file, 5)[1], 0x21);
    EXPECT_EQ(block(file, 7)[15], 0); // symbol 32 has value 32: bytes 20 00
    EXPECT_EQ(block(file, 7)[14], 32);
    EXPECT_EQ(block(file, 9)[0], 5); // ninth source name
    EXPECT_EQ(block(file, 11)[1], 0x80);
    EXPECT_EQ(block(file, 12)[2], 2);
    EXPECT_EQ(block(file, 12)[4], 0x02);
    EXPECT_EQ(block(file, 13)[0], 7);  // "__LOCAL"
    EXPECT_EQ(block(file, 13)[17], 'l');
    EXPECT_EQ(u16(block(file, 14), 2), 1);
    EXPECT_EQ(u16(block(file, 16), 0), 0x200);
    EXPECT_EQ(block(file, 17)[1], 'l');
    EXPECT_EQ(block(file, 18)[3], 1);
    EXPECT_EQ(block(file, 18)[6], 'x');
}

TEST_F(CodWrite, BlockCountBeyondSixteenBitsIsRefused)
{
    cod.addDirectory();
    // One directory and 65534 symbol blocks: the largest file there is.
    cod.cSymbol.assign(65534 * 32, Symbol("s", COD_TYPE_CONSTANT, 0));
    uint32_t errors = errorCount();
    EXPECT_TRUE(cod.preWrite());
    EXPECT_EQ(cod.cDirectory[0].SymEnd, 65534);
    cod.cSymbol.push_back(Symbol("s", COD_TYPE_CONSTANT, 0));
    EXPECT_FALSE(cod.preWrite());
    EXPECT_EQ(errorCount(), errors + 1);
}

TEST_F(CodWrite, LineInfosPastTheFilesCapacityAreCountedNotHeld)
{
    // 32766 and 32767 line-info blocks in two directories: the largest file
    // there is. One entry more in each gives back every entry held, and the
    // refusal counts the blocks as if all were held.
    cod.addDirectory();
    cod.addDirectory();
    const size_t perBlock = COD_BLOCK_SIZE / COD_LINE_INFO_SIZE;
    for (size_t n = 0; n < 65533 * perBlock; ++n)
        cod.storeLineInfo(n < 32766 * perBlock ? 0 : 1, LineInfo(0, COD_LINE_FIRST, uint16_t(n), 0));
    EXPECT_TRUE(cod.preWrite());
    cod.storeLineInfo(1, LineInfo(0, COD_LINE_FIRST, 1, 0));
    cod.storeLineInfo(0, LineInfo(0, COD_LINE_FIRST, 1, 0));
    EXPECT_EQ(cod.cLineInfo[0].capacity() + cod.cLineInfo[1].capacity(), 0u);
    ReportCapture cap;
    EXPECT_FALSE(cod.preWrite());
    EXPECT_EQ(cap.text(), "Error - Cod file '" + dir.file("t.cod") +
                              "' would need 65537 blocks; a COD file holds at most 65535.\n");
}

TEST_F(CodWrite, ExistingFileIsReplacedWhole)
{
    dir.write("t.cod", std::string(2000, 'z'));
    cod.addDirectory();
    ASSERT_TRUE(cod.preWrite());
    ASSERT_TRUE(cod.write());
    EXPECT_EQ(dir.read("t.cod").size(), 512u);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"t.cod"}); // no temporary file left
}

TEST_F(CodWrite, UnwritableNameFailsAndLeavesNoFile)
{
    // A directory stands where the file should go.
    std::filesystem::create_directory(dir.file("t.cod"));
    cod.addDirectory();
    ASSERT_TRUE(cod.preWrite());
    uint32_t errors = errorCount();
    EXPECT_FALSE(cod.write());
    EXPECT_EQ(errorCount(), errors + 1);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"t.cod"});
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("t.cod")));
}

TEST_F(CodWrite, ReadOnlyFileIsNotReplaced)
{
    // As an unprivileged user when the tests run as root, who may write
    // any file.
    if (!canRunUnprivileged())
        GTEST_SKIP() << "cannot run as an unprivileged user";
    dir.write("t.cod", std::string("old"));
    chmod(dir.file("t.cod").c_str(), 0444);
    chmod(dir.path().c_str(), 0777);
    cod.addDirectory();
    ASSERT_TRUE(cod.preWrite());
    EXPECT_EQ(runUnprivileged([&] { return cod.write() ? 1 : 0; }), 0);
    EXPECT_EQ(dir.readText("t.cod"), "old");
}
