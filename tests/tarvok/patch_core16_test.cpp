// Core16 relocation patching: fields, the bank number of MOVLR and MOVLB,
// and the bank and page selection words. Expected words: MOVLW 0xb000 | k,
// MOVLB 0xb800 | bank (bits 0-3), MOVLR 0xba00 | bank << 4, MOVWF 0x0100 | f.

#include "patchfixture.h"

#include <gtest/gtest.h>

using W = std::vector<uint16_t>;

TEST(PatchCore16, FieldsTakeTheirBitsAndKeepTheRest)
{
    // CALL and GOTO: 13 bits; 0x3abc -> 0x1abc.
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_CALL, {0xE000}, 0x3ABC), W{0xFABC});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_GOTO, {0xDFFF}, 0x0123), W{0xC123});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_HIGH, {0xB0FF}, 0x1234), W{0xB012});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_LOW, {0xB000}, 0x1234), W{0xB034});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_F, {0x0100}, 0x2A5), W{0x01A5});
    // P: 5 bits into bits 8..12 of MOVFP; the register byte stays.
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_P, {0x60FF}, 0x25), W{0x65FF});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_ALL, {0x0000}, 0xFEDC), W{0xFEDC});
}

TEST(PatchCore16, BankNumberFields)
{
    // 0x345 is in bank 3.
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLR, {0xBA00}, 0x345), W{0xBA30});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLB, {0xB800}, 0x345), W{0xB803});
    // Bank 0x12 keeps its low nibble only.
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLB, {0xB80F}, 0x1234), W{0xB802});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLR, {0xBAF0}, 0x1234), W{0xBA20});
}

TEST(PatchCore16, BankSelectionPicksMovlrOrMovlb)
{
    for (uint16_t type : {RELOCT_BANKSEL, RELOCT_IBANKSEL}) {
        // General-purpose register 0x2a0 (offset 0xa0 >= 0x20): MOVLR 2.
        EXPECT_EQ(patched(C16_4BANKS, type, {0, 0x1234}, 0x2A0), (W{0xBA20, 0x1234}));
        // Special-function register 0x115 of bank 1: MOVLB 1.
        EXPECT_EQ(patched(C16_4BANKS, type, {0xFFFF}, 0x115), W{0xB801});
        // The last bank of an eight-bank device: 0x720 -> MOVLR 7.
        EXPECT_EQ(patched(C16_8BANKS, type, {0}, 0x720), W{0xBA70});
    }
}

TEST(PatchCore16, PageSelectionThroughTheWorkingRegister)
{
    // MOVLW 0x12 (0xb012), MOVWF 3 (0x0103).
    for (uint16_t type : {RELOCT_PAGESEL, RELOCT_PAGESEL_WREG})
        EXPECT_EQ(patched(C16_4BANKS, type, {0xFFFF, 0xFFFF}, 0x1234), (W{0xB012, 0x0103}));
}

TEST(PatchCore16, TypesOfOtherFamiliesAreRefused)
{
    PatchLinker linker(C16_4BANKS);
    for (uint16_t type : {0, 11, 14, 15, 20, 22, 24, 25, 31, 33}) {
        PatchCase c;
        c.type = type;
        EXPECT_EQ(patchError(linker, c), "unsupported relocation type.") << type;
    }
}
