// Core12 relocation patching: fields of the 12-bit words, and the bank and
// page selection bits. Expected words: BCF 0x400, BSF 0x500 (bit number in
// bits 5-7, register in bits 0-4), CALL 0x900, GOTO 0xa00, MOVLW 0xc00,
// MOVWF 0x020.

#include "patchfixture.h"

#include <gtest/gtest.h>

using W = std::vector<uint16_t>;

TEST(PatchCore12, FieldsTakeTheirBitsAndKeepTheRest)
{
    // CALL: 8 bits; GOTO: 9 bits (0x3ab loses bit 9 -> 0x1ab).
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_CALL, {0x09FF}, 0x1AB), W{0x09AB});
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_GOTO, {0x0A00}, 0x3AB), W{0x0BAB});
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_HIGH, {0x0C00}, 0x1234), W{0x0C12});
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_LOW, {0x0C00}, 0x1234), W{0x0C34});
    // MOVWF: 5 bits of 0x45 -> 0x05; bit 5 of the opcode stays.
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_F, {0x003F}, 0x45), W{0x0025});
    // TRIS: 3 bits of 0x0e -> 6.
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_TRIS, {0x0005}, 0x0E), W{0x0006});
    // The whole word, the four bits above the instruction included.
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_ALL, {0x0000}, 0xBEEF), W{0xBEEF});
}

TEST(PatchCore12, BankSelectionIsAlwaysTwoWords)
{
    // 0x50: bit 5 = 0, bit 6 = 1 -> BCF 4,5 (0x4a4), BSF 4,6 (0x5c4), on any
    // bank count; the bits above the 12-bit word are written as 0.
    for (ProcessorCode code : {C12_1PAGE_1BANK, C12_4PAGES_4BANKS})
        for (uint16_t type : {RELOCT_BANKSEL, RELOCT_IBANKSEL})
            EXPECT_EQ(patched(code, type, {0xFFFF, 0xFFFF}, 0x50), (W{0x04A4, 0x05C4}));
    // 0x20: BSF 4,5 (0x5a4), BCF 4,6 (0x4c4).
    EXPECT_EQ(patched(C12_1PAGE_1BANK, RELOCT_BANKSEL, {0, 0}, 0x20), (W{0x05A4, 0x04C4}));
}

TEST(PatchCore12, PageSelectionByPages)
{
    // 0x2ff: bit 9 = 1, bit 10 = 0 -> BSF 3,5 (0x5a3), BCF 3,6 (0x4c3).
    for (uint16_t type : {RELOCT_PAGESEL, RELOCT_PAGESEL_BITS}) {
        EXPECT_EQ(patched(C12_4PAGES_4BANKS, type, {0, 0}, 0x2FF), (W{0x05A3, 0x04C3}));
        EXPECT_EQ(patched(C12_2PAGES_1BANK, type, {0, 0x0777}, 0x2FF), (W{0x05A3, 0x0777}));
        EXPECT_EQ(patched(C12_1PAGE_1BANK, type, {0x0111, 0x0222}, 0x2FF), (W{0x0111, 0x0222}));
    }
    // 0x600: both bits set -> BSF 3,5 and BSF 3,6 (0x5c3).
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_PAGESEL, {0, 0}, 0x600), (W{0x05A3, 0x05C3}));
}

TEST(PatchCore12, TypesOfOtherFamiliesAreRefused)
{
    PatchLinker linker(C12_4PAGES_4BANKS);
    for (uint16_t type : {0, 5, 12, 13, 14, 18, 21, 23, 26, 33}) {
        PatchCase c;
        c.type = type;
        EXPECT_EQ(patchError(linker, c), "unsupported relocation type.") << type;
    }
}
