// Core14, Core12 and Core16 patching on single words: what the whole-link
// table does not reach - bits of the word outside the field, bits of the
// value beyond it, the addend, and selection sequences on devices of three
// pages and eight banks. Expected words: Core14 BCF 0x1000, BSF 0x1400 (bit
// number in bits 7-9), MOVLW 0x3000; Core12 GOTO 0xa00; Core16 MOVLB 0xb800,
// MOVLR 0xba00.

#include "patchfixture.h"

#include <gtest/gtest.h>

using W = std::vector<uint16_t>;

TEST(PatchFields, OnlyTheFieldChanges)
{
    // Core14 CALL 0x7ff to 0x1234: bits 0..10 become 0x234, bits 11..13 stay.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_CALL, {0x27FF}, 0x1234), W{0x2234});
    // Core12 GOTO: 9 bits; 0x3ab loses bit 9.
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_GOTO, {0x0A00}, 0x3AB), W{0x0BAB});
    // Core12 F: 5 bits of 0x45; bit 5 of MOVWF's opcode stays.
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_F, {0x003F}, 0x45), W{0x0025});
    // Core16 bank numbers keep their low nibble: 0x1234 is bank 0x12.
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLB, {0xB80F}, 0x1234), W{0xB802});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_MOVLR, {0xBAF0}, 0x1234), W{0xBA20});
    // RELOCT_ALL drops bits 16 and up.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_ALL, {0xFFFF}, 0x12345), W{0x2345});
}

TEST(PatchFields, AddendIsSignedAndWraps)
{
    // 0x120 - 2 = 0x11e.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_LOW, {0x3000}, 0x120, -2), W{0x301E});
    // 0x10 - 0x20 wraps to 0xfffffff0: low byte 0xf0, high byte 0xff.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_LOW, {0x3000}, 0x10, -0x20), W{0x30F0});
    EXPECT_EQ(patched(C16_4BANKS, RELOCT_HIGH, {0xB000}, 0x10, -0x20), W{0xB0FF});
    // Bank selection takes its bits from the sum: 0x7f + 1 = 0x80 is bank 1.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_BANKSEL, {0, 0}, 0x7F, 1), (W{0x1683, 0x1303}));
}

TEST(PatchFields, SelectionSequencesOnUnevenDevices)
{
    // Three pages count as more than two: 0x1800 sets bits 11 and 12 ->
    // BSF 0x0a,3 (0x158a) and BSF 0x0a,4 (0x160a).
    EXPECT_EQ(patched(C14_3PAGES_4BANKS, RELOCT_PAGESEL_BITS, {0, 0}, 0x1800), (W{0x158A, 0x160A}));
    // Core14 banks from both bits clear: BCF 3,5 (0x1283), BCF 3,6 (0x1303).
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_BANKSEL, {0xFFFF, 0xFFFF}, 0x020), (W{0x1283, 0x1303}));
    // Core12 selection words are built from zero: the four bits above the
    // instruction become 0. 0x600: BSF 3,5 (0x5a3), BSF 3,6 (0x5c3).
    EXPECT_EQ(patched(C12_4PAGES_4BANKS, RELOCT_PAGESEL, {0xFFFF, 0xFFFF}, 0x600), (W{0x05A3, 0x05C3}));
    // Core12 banks on a one-bank device still take two words: 0x20 -> BSF
    // 4,5 (0x5a4), BCF 4,6 (0x4c4).
    EXPECT_EQ(patched(C12_1PAGE_1BANK, RELOCT_IBANKSEL, {0, 0}, 0x20), (W{0x05A4, 0x04C4}));
    // Core16 pages: MOVLW 0x12, MOVWF 3 whatever was reserved.
    EXPECT_EQ(patched(C16_8BANKS, RELOCT_PAGESEL_WREG, {0xFFFF, 0xFFFF}, 0x1234), (W{0xB012, 0x0103}));
}
