// Instruction decoding: the mnemonic names, every 16-bit word of every
// family, the precedence of the overlapping patterns, and the assertion on
// words that are no instruction.
#include "mginst.h"
#include "tabletest.h"

#include <set>
#include <string>

TEST(InstName, IndexesAndTheirTexts)
{
    EXPECT_STREQ(inst_name(1), "ADDLW");
    EXPECT_STREQ(inst_name(MN_LFSR), "LFSR");
    EXPECT_EQ(MN_LFSR, 40);
    EXPECT_STREQ(inst_name(47), "MOVLW");
    EXPECT_STREQ(inst_name(81), "TBLRDPOSTDEC");
    EXPECT_STREQ(inst_name(94), "WORD2");
    EXPECT_STREQ(inst_name(96), "XORWF");
    EXPECT_STREQ(inst_name(97), "BANKSEL");
    EXPECT_STREQ(inst_name(98), "PAGESEL");
    // The 96 instruction mnemonics are in strictly alphabetical order.
    for (unsigned i = 2; i <= 96; ++i)
        EXPECT_LT(std::string(inst_name(MnemonicIndex(i - 1))), std::string(inst_name(MnemonicIndex(i))));
}

TEST(InstDecode, WordsThatAreNoInstructionPerFamily)
{
    // Counted over all 65,536 words, the ignored high bits included.
    const int expected[5] = {0, 1484, 2040, 880, 1447};
    for (DeviceFamily f : ALL_FAMILIES) {
        int invalid = 0;
        for (uint32_t w = 0; w <= 0xFFFF; ++w)
            invalid += inst_is_valid(uint16_t(w), f) ? 0 : 1;
        EXPECT_EQ(invalid, expected[f]) << "family " << int(f);
    }
}

TEST(InstDecode, MnemonicsReachedPerFamily)
{
    const size_t expected[5] = {0, 37, 61, 33, 82};
    for (DeviceFamily f : ALL_FAMILIES) {
        std::set<MnemonicIndex> seen;
        for (uint32_t w = 0; w <= 0xFFFF; ++w)
            if (inst_is_valid(uint16_t(w), f))
                seen.insert(inst_decode(uint16_t(w), f));
        EXPECT_EQ(seen.size(), expected[f]) << "family " << int(f);
        EXPECT_EQ(seen.count(MN_BANKSEL), 0u);
        EXPECT_EQ(seen.count(MN_PAGESEL), 0u);
    }
}

TEST(InstDecode, EveryOpcodeWithZeroOperandsDecodesToItsMnemonic)
{
    for (DeviceFamily f : ALL_FAMILIES) {
        for (unsigned i = 1; i <= 98; ++i) {
            MnemonicIndex m = MnemonicIndex(i);
            MnemonicIndex found = 0;
            if (!inst_lookup(inst_name(m), found, f))
                continue;
            uint16_t word = 0;
            inst_put_opcode(word, m, f);
            // Core12's TRIS 0 is the exact word NOP.
            MnemonicIndex want = (f == FAMILY_CORE12 && m == MN_TRIS) ? MnemonicIndex(MN_NOP) : m;
            ASSERT_TRUE(inst_is_valid(word, f)) << inst_name(m);
            EXPECT_EQ(inst_decode(word, f), want) << inst_name(m) << " family " << int(f);
        }
    }
}

TEST(InstDecode, Core14ExactWordsWinOverRanges)
{
    const DeviceFamily f = FAMILY_CORE14;
    EXPECT_EQ(inst_decode(0x0062, f), MN_OPTION);
    EXPECT_EQ(inst_decode(0x0063, f), MN_SLEEP);
    EXPECT_EQ(inst_decode(0x0064, f), MN_CLRWDT);
    for (uint16_t w : {0x0060, 0x0061, 0x0065, 0x0066, 0x0067})
        EXPECT_EQ(inst_decode(w, f), MN_TRIS) << w;
    for (uint16_t w : {0x0000, 0x0020, 0x0040, 0x4000, 0x8020, 0xC040})
        EXPECT_EQ(inst_decode(w, f), MN_NOP) << w;
    for (uint16_t w : {0x3FFF, 0x7FFF, 0xFFFF})
        EXPECT_EQ(inst_decode(w, f), MN_ADDLW) << w;
    for (uint16_t w = 0x0001; w <= 0x0007; ++w)
        EXPECT_EQ(inst_is_valid(w, f), 0) << w;
    for (uint16_t w = 0x000A; w <= 0x001F; ++w)
        EXPECT_EQ(inst_is_valid(w, f), 0) << w;
    EXPECT_EQ(inst_decode(0x0008, f), MN_RETURN);
    EXPECT_EQ(inst_decode(0x0009, f), MN_RETFIE);
    EXPECT_EQ(inst_decode(0x01FF, f), MN_CLRF);
    EXPECT_EQ(inst_decode(0x017F, f), MN_CLRW);
    EXPECT_EQ(inst_is_valid(0x3B00, f), 0);
}

TEST(InstDecode, Core12ExactWordsWinOverTris)
{
    const DeviceFamily f = FAMILY_CORE12;
    EXPECT_EQ(inst_decode(0x000, f), MN_NOP);
    EXPECT_EQ(inst_decode(0x001, f), MN_TRIS);
    EXPECT_EQ(inst_decode(0x002, f), MN_OPTION);
    EXPECT_EQ(inst_decode(0x003, f), MN_SLEEP);
    EXPECT_EQ(inst_decode(0x004, f), MN_CLRWDT);
    EXPECT_EQ(inst_decode(0x005, f), MN_TRIS);
    EXPECT_EQ(inst_decode(0x007, f), MN_TRIS);
    EXPECT_EQ(inst_decode(0xF000, f), MN_NOP);
    EXPECT_EQ(inst_decode(0x040, f), MN_CLRW);
    EXPECT_EQ(inst_decode(0xFFFF, f), MN_XORLW);
    for (uint16_t w = 0x008; w <= 0x01F; ++w)
        EXPECT_EQ(inst_is_valid(w, f), 0) << w;
    for (uint16_t w = 0x041; w <= 0x05F; ++w)
        EXPECT_EQ(inst_is_valid(w, f), 0) << w;
}

TEST(InstDecode, Core16Words)
{
    const DeviceFamily f = FAMILY_CORE16;
    for (uint16_t w : {0x0006, 0x0007, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000F, 0x00FF})
        EXPECT_EQ(inst_is_valid(w, f), 0) << w;
    EXPECT_EQ(inst_decode(0x000E, f), MN_PAUSE);
    EXPECT_EQ(inst_decode(0xFFFF, f), MN_CALL);
    EXPECT_EQ(inst_decode(0xDFFF, f), MN_GOTO);
    EXPECT_EQ(inst_decode(0x5FFF, f), MN_MOVPF);
    EXPECT_EQ(inst_decode(0x6000, f), MN_MOVFP);
    EXPECT_EQ(inst_decode(0xBB00, f), MN_MOVLR);
    EXPECT_EQ(inst_is_valid(0xB900, f), 0);
    EXPECT_EQ(inst_is_valid(0x3500, f), 0);
}

TEST(InstDecode, Core16EWords)
{
    const DeviceFamily f = FAMILY_CORE16E;
    EXPECT_EQ(inst_is_valid(0x0002, f), 0);
    EXPECT_EQ(inst_decode(0x0011, f), MN_RETFIE);
    EXPECT_EQ(inst_decode(0x0013, f), MN_RETURN);
    EXPECT_EQ(inst_decode(0x00FF, f), MN_RESET);
    EXPECT_EQ(inst_decode(0xEE3F, f), MN_LFSR);
    EXPECT_EQ(inst_is_valid(0xEE40, f), 0);
    EXPECT_EQ(inst_decode(0xED00, f), MN_CALL);
    EXPECT_EQ(inst_decode(0xEFFF, f), MN_GOTO);
    EXPECT_EQ(inst_is_valid(0xE800, f), 0);
    for (uint32_t w = 0xF000; w <= 0xFFFF; ++w)
        ASSERT_EQ(inst_decode(uint16_t(w), f), MN_WORD2) << w;
}

TEST(InstAssert, BadIndexFamilyOrWordEndsTheProgram)
{
    EXPECT_TABLE_ASSERT(inst_name(0), "mginst");
    EXPECT_TABLE_ASSERT(inst_name(99), "mginst");
    EXPECT_TABLE_ASSERT(inst_decode(0x0001, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_decode(0x0041, FAMILY_CORE12), "mginst");
    EXPECT_TABLE_ASSERT(inst_decode(0xEE40, FAMILY_CORE16E), "mginst");
    EXPECT_TABLE_ASSERT(inst_decode(0x0000, 0), "mginst");
    EXPECT_TABLE_ASSERT(inst_is_valid(0x0000, 5), "mginst");
}
