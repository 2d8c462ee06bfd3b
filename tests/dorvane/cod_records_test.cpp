// The COD entries and the block packers against bytes worked out by hand.

#include "cod.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes blockBytes(const Block &b) { return Bytes(b.data(), b.data() + COD_BLOCK_SIZE); }

Bytes slice(const Bytes &b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

bool allZero(const Bytes &b, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

} // namespace

TEST(CodDirectory, FieldsLandAtTheirOffsets)
{
    Directory d;
    d.Index[0] = 0x0102;
    d.Index[127] = 0x0A0B;
    d.setSource("ab.cod");
    d.setDate("05Mar24");
    d.Time = 905; // 0x0389
    d.setVersion("DORVANE v2.20.00");
    d.setNotice("N");
    d.SymTab = 0x1112;
    d.SymEnd = 0x1314;
    d.NamTab = 0x1516;
    d.NamEnd = 0x1718;
    d.LineTab = 0x191A;
    d.LineEnd = 0x1B1C;
    d.HighAddr = 0x2122;
    d.NextDir = 0x2324;
    d.MemMapOfs = 0x2526;
    d.MemMapEnd = 0x2728;
    d.LocalVars = 0x292A;
    d.LocalEnd = 0x2B2C;
    d.setProcessor("ABC12");
    d.LSymTab = 0x3132;
    d.LSymEnd = 0x3334;
    d.MessTab = 0x3536;
    d.MessEnd = 0x3738;
    uint8_t raw[COD_BLOCK_SIZE];
    d.pack(raw);
    Bytes b(raw, raw + COD_BLOCK_SIZE);

    EXPECT_EQ(slice(b, 0, 2), (Bytes{0x02, 0x01}));
    EXPECT_EQ(slice(b, 254, 2), (Bytes{0x0B, 0x0A}));
    EXPECT_EQ(slice(b, 256, 8), (Bytes{6, 'a', 'b', '.', 'c', 'o', 'd', 0}));
    EXPECT_TRUE(allZero(b, 263, 320));
    EXPECT_EQ(slice(b, 320, 8), (Bytes{7, '0', '5', 'M', 'a', 'r', '2', '4'}));
    EXPECT_EQ(slice(b, 328, 2), (Bytes{0x89, 0x03}));
    EXPECT_EQ(b[330], 16);
    EXPECT_EQ(std::string(b.begin() + 331, b.begin() + 347), "DORVANE v2.20.00");
    EXPECT_TRUE(allZero(b, 347, 362)); // rest of Version, CompilerLen, Compiler
    EXPECT_EQ(slice(b, 362, 3), (Bytes{1, 'N', 0}));
    EXPECT_EQ(slice(b, 426, 12), (Bytes{0x12, 0x11, 0x14, 0x13, 0x16, 0x15, 0x18, 0x17, 0x1A, 0x19, 0x1C, 0x1B}));
    EXPECT_EQ(b[438], 0); // AddrSize
    // From here the 16-bit fields stand at odd offsets.
    EXPECT_EQ(slice(b, 439, 14),
              (Bytes{0x22, 0x21, 0x24, 0x23, 0x26, 0x25, 0x28, 0x27, 0x2A, 0x29, 0x2C, 0x2B, 0x01, 0x00}));
    EXPECT_EQ(slice(b, 453, 9), (Bytes{5, 'A', 'B', 'C', '1', '2', 0, 0, 0}));
    EXPECT_EQ(slice(b, 462, 8), (Bytes{0x32, 0x31, 0x34, 0x33, 0x36, 0x35, 0x38, 0x37}));
    EXPECT_TRUE(allZero(b, 470, 512));

    EXPECT_TRUE(Directory::unpack(raw) == d);
    EXPECT_EQ(Directory::unpack(raw).source(), "ab.cod");
}

TEST(CodDirectory, TextsAreCutToTheirFields)
{
    Directory d;
    d.setSource(std::string(70, 'x'));
    d.setProcessor("ABCDEFGHIJ");
    EXPECT_EQ(d.SourceLen, 63);
    EXPECT_EQ(d.ProcessorLen, 8);
    uint8_t raw[COD_BLOCK_SIZE];
    d.pack(raw);
    // Source fills 257..319 and DateLen at 320 stays 0.
    EXPECT_EQ(raw[319], 'x');
    EXPECT_EQ(raw[320], 0);
    EXPECT_EQ(raw[461], 'H');
    EXPECT_EQ(raw[462], 0);
}

TEST(CodEntries, ShortSymbolSourceNameLineInfoMemoryMap)
{
    uint8_t e[64];
    Symbol("main", COD_TYPE_ADDRESS, 1).pack(e);
    EXPECT_EQ(Bytes(e, e + 16), (Bytes{4, 'm', 'a', 'i', 'n', 0, 0, 0, 0, 0, 0, 0, 0, 46, 0x01, 0x00}));
    Symbol("abcdefghijkl", COD_TYPE_CONSTANT, 0xBEEF).pack(e);
    EXPECT_EQ(Bytes(e, e + 16),
              (Bytes{12, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 47, 0xEF, 0xBE}));

    SourceName(std::string(62, 'n')).pack(e);
    EXPECT_EQ(e[0], 62);
    EXPECT_EQ(e[62], 'n');
    EXPECT_EQ(e[63], 0);

    LineInfo(3, COD_LINE_FIRST, 0x0102, 0x0304).pack(e);
    EXPECT_EQ(Bytes(e, e + 6), (Bytes{3, 0x80, 0x02, 0x01, 0x04, 0x03}));

    MemoryMap(0x0010, 0x0013).pack(e);
    EXPECT_EQ(Bytes(e, e + 4), (Bytes{0x10, 0x00, 0x13, 0x00}));
}

TEST(CodEntries, LongSymbolValueGoesMostSignificantByteFirst)
{
    LongSymbol s;
    s.Name = "abc";
    s.NameLen = 3;
    s.Type = COD_TYPE_ADDRESS;
    s.Value = 1;
    uint8_t e[16] = {};
    s.pack(e);
    EXPECT_EQ(Bytes(e, e + 10), (Bytes{3, 'a', 'b', 'c', 46, 0, 0, 0, 0, 1}));
    LongSymbol back;
    ASSERT_TRUE(LongSymbol::unpack(e, sizeof e, back));
    EXPECT_TRUE(back == s);
    // An entry that runs past the bytes given is refused.
    EXPECT_FALSE(LongSymbol::unpack(e, 9, back));
}

TEST(CodEntries, DebugMessageAddressGoesMostSignificantByteFirst)
{
    DebugMsg m(0x01020304, 5, 3, "abcdef");
    EXPECT_EQ(m.Msg, "abc");
    uint8_t e[16] = {};
    m.pack(e);
    EXPECT_EQ(Bytes(e, e + 9), (Bytes{0x01, 0x02, 0x03, 0x04, 5, 3, 'a', 'b', 'c'}));
    DebugMsg back;
    ASSERT_TRUE(DebugMsg::unpack(e, sizeof e, back));
    EXPECT_EQ(back.Address, 0x01020304u);
    EXPECT_TRUE(back == m);
}

TEST(CodPack, ThirtyThreeSymbolsTakeTwoBlocks)
{
    std::vector<Symbol> list;
    for (int i = 0; i < 33; ++i)
        list.push_back(Symbol("s" + std::to_string(i), COD_TYPE_CONSTANT, uint16_t(i)));
    std::vector<Block> blocks = Cod::packSymbols(list);
    ASSERT_EQ(blocks.size(), 2u);
    Bytes first = blockBytes(blocks[0]);
    // Entry 31 fills bytes 496..511: "s31", value 31.
    EXPECT_EQ(slice(first, 496, 4), (Bytes{3, 's', '3', '1'}));
    EXPECT_EQ(slice(first, 509, 3), (Bytes{47, 31, 0}));
    Bytes second = blockBytes(blocks[1]);
    EXPECT_EQ(slice(second, 0, 4), (Bytes{3, 's', '3', '2'}));
    EXPECT_EQ(slice(second, 13, 3), (Bytes{47, 32, 0}));
    EXPECT_TRUE(allZero(second, 16, 512));
}

TEST(CodPack, EightyFiveLineInfosFillOneBlock)
{
    std::vector<LineInfo> list(85, LineInfo(1, 0, 0xFFFF, 0xFFFF));
    std::vector<Block> blocks = Cod::packLineInfos(list);
    ASSERT_EQ(blocks.size(), 1u);
    Bytes b = blockBytes(blocks[0]);
    EXPECT_EQ(slice(b, 504, 8), (Bytes{1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));

    list.push_back(LineInfo(2, 0x90, 7, 0));
    blocks = Cod::packLineInfos(list);
    ASSERT_EQ(blocks.size(), 2u);
    Bytes second = blockBytes(blocks[1]);
    EXPECT_EQ(slice(second, 0, 6), (Bytes{2, 0x90, 7, 0, 0, 0}));
    EXPECT_TRUE(allZero(second, 6, 512));
}

TEST(CodPack, LongSymbolEndingAtTheBlockEndStartsANewBlock)
{
    // Two entries of 7 + 249 = 256 bytes: the second would end exactly at
    // byte 512, which is not before the block's last byte.
    LongSymbol a;
    a.Name = std::string(249, 'a');
    a.NameLen = 249;
    a.Type = 46;
    a.Value = 0x11223344;
    LongSymbol b = a;
    b.Name = std::string(249, 'b');
    std::vector<Block> blocks = Cod::packLongSymbols({a, b});
    ASSERT_EQ(blocks.size(), 2u);
    Bytes first = blockBytes(blocks[0]);
    EXPECT_EQ(first[0], 249);
    EXPECT_EQ(slice(first, 250, 6), (Bytes{46, 0, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_TRUE(allZero(first, 256, 512));
    EXPECT_EQ(blockBytes(blocks[1])[1], 'b');

    // One byte shorter and both fit one block, ending in a zero byte.
    b.Name.pop_back();
    b.NameLen = 248;
    blocks = Cod::packLongSymbols({a, b});
    ASSERT_EQ(blocks.size(), 1u);
    Bytes one = blockBytes(blocks[0]);
    EXPECT_EQ(one[256], 248);
    EXPECT_EQ(slice(one, 505, 7), (Bytes{46, 0, 0x11, 0x22, 0x33, 0x44, 0}));
}

TEST(CodPack, DebugMessagesFollowTheSameFitRule)
{
    // 6 + 250 = 256 bytes each: the second starts a new block.
    DebugMsg m(0, 1, 250, std::string(250, 'm'));
    EXPECT_EQ(Cod::packDebugMsgs({m, m}).size(), 2u);
    DebugMsg shorter(0, 1, 249, std::string(249, 'm'));
    EXPECT_EQ(Cod::packDebugMsgs({m, shorter}).size(), 1u);
}

TEST(CodPack, LocalGroupsHoldThirtyOneEntriesABlock)
{
    std::vector<Symbol> symbols;
    for (int i = 0; i < 30; ++i)
        symbols.push_back(Symbol("v" + std::to_string(i), COD_TYPE_CONSTANT, uint16_t(i)));
    LocalGroup group(0x01020304, 0x0A0B0C0D, symbols);
    std::vector<Block> blocks = Cod::packLocalGroups({group});
    ASSERT_EQ(blocks.size(), 1u);
    Bytes b = blockBytes(blocks[0]);
    EXPECT_EQ(slice(b, 0, 16), (Bytes{7, '_', '_', 'L', 'O', 'C', 'A', 'L', 0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C,
                                      0x0B, 0x0A}));
    EXPECT_EQ(slice(b, 16, 3), (Bytes{2, 'v', '0'}));
    EXPECT_EQ(slice(b, 480, 4), (Bytes{3, 'v', '2', '9'})); // entry 30
    EXPECT_TRUE(allZero(b, 496, 512));

    // A 32nd entry continues the group in a second block.
    group.Symbols.push_back(Symbol("w", COD_TYPE_CONSTANT, 0));
    blocks = Cod::packLocalGroups({group});
    ASSERT_EQ(blocks.size(), 2u);
    Bytes second = blockBytes(blocks[1]);
    EXPECT_EQ(slice(second, 0, 2), (Bytes{1, 'w'}));
    EXPECT_TRUE(allZero(second, 16, 512));
}
