// Core14 relocation patching: address and literal fields, and the bank and
// page selection words built on devices of one to four banks and pages.
// Expected words: BCF 0x1000, BSF 0x1400 (bit number in bits 7-9, register
// in bits 0-6), MOVLW 0x3000 | k, MOVWF 0x0080 | f.

#include "patchfixture.h"

#include <gtest/gtest.h>

using W = std::vector<uint16_t>;

TEST(PatchCore14, FieldsTakeTheirBitsAndKeepTheRest)
{
    // CALL 0x7ff: bits 0..10 become 0x1234 & 0x7ff = 0x234; bits 11..13 stay.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_CALL, {0x27FF}, 0x1234), W{0x2234});
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_GOTO, {0x2800}, 0x1234), W{0x2A34});
    // MOVLW: high and low byte of the value.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_HIGH, {0x30FF}, 0x1234), W{0x3012});
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_LOW, {0x3000}, 0x1234), W{0x3034});
    // MOVWF: 7 bits of the data address 0x1a5 -> 0x25, bit 7 of the opcode stays.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_F, {0x00FF}, 0x1A5), W{0x00A5});
    // The whole word; bits 16 and up are dropped.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_ALL, {0xFFFF}, 0x12345), W{0x2345});
}

TEST(PatchCore14, NegativeAddendLowersTheTarget)
{
    // 0x120 - 2 = 0x11e; low byte 0x1e.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_LOW, {0x3000}, 0x120, -2), W{0x301E});
    // 0x10 - 0x20 wraps to 0xfffffff0: low byte 0xf0.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_LOW, {0x3000}, 0x10, -0x20), W{0x30F0});
}

TEST(PatchCore14, BankSelectionByBanks)
{
    // 0x1a0: bit 7 = 1, bit 8 = 1 -> BSF 3,5 (0x1683) and BSF 3,6 (0x1703).
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_BANKSEL, {0, 0}, 0x1A0), (W{0x1683, 0x1703}));
    // 0x020: both bits clear -> BCF 3,5 (0x1283) and BCF 3,6 (0x1303).
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_BANKSEL, {0xFFFF, 0xFFFF}, 0x020), (W{0x1283, 0x1303}));
    // Two banks: only the first word; the second reserved word stays.
    EXPECT_EQ(patched(C14_2PAGES_2BANKS, RELOCT_BANKSEL, {0, 0xABCD}, 0x1A0), (W{0x1683, 0xABCD}));
    EXPECT_EQ(patched(C14_1PAGE_2BANKS, RELOCT_BANKSEL, {0, 0xABCD}, 0x0A0), (W{0x1683, 0xABCD}));
}

TEST(PatchCore14, IndirectBankSelectionNeedsMoreThanTwoBanks)
{
    // 0x120: bit 8 = 1 -> BSF 3,7 = 0x1400 | 7 << 7 | 3 = 0x1783.
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_IBANKSEL, {0, 0x1111}, 0x120), (W{0x1783, 0x1111}));
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_IBANKSEL, {0}, 0x0A0), W{0x1383});
    // Two banks: nothing is written.
    EXPECT_EQ(patched(C14_2PAGES_2BANKS, RELOCT_IBANKSEL, {0x2222}, 0x120), W{0x2222});
}

TEST(PatchCore14, PageSelectionThroughTheWorkingRegister)
{
    // MOVLW 0x0a (0x300a), MOVWF 0x0a (0x008a), whatever the page count.
    for (uint16_t type : {RELOCT_PAGESEL, RELOCT_PAGESEL_WREG}) {
        EXPECT_EQ(patched(C14_4PAGES_4BANKS, type, {0, 0}, 0x0A34), (W{0x300A, 0x008A}));
        EXPECT_EQ(patched(C14_1PAGE_2BANKS, type, {0xFFFF, 0xFFFF}, 0x0A34), (W{0x300A, 0x008A}));
    }
}

TEST(PatchCore14, PageSelectionByBitsOnOneToFourPages)
{
    // 0x0a34: bit 11 = 1, bit 12 = 0 -> BSF 0x0a,3 (0x158a), BCF 0x0a,4 (0x120a).
    EXPECT_EQ(patched(C14_4PAGES_4BANKS, RELOCT_PAGESEL_BITS, {0, 0}, 0x0A34), (W{0x158A, 0x120A}));
    // Three pages count as more than two: 0x1800 sets both bits, BSF 0x0a,4 = 0x160a.
    EXPECT_EQ(patched(C14_3PAGES_4BANKS, RELOCT_PAGESEL_BITS, {0, 0}, 0x1800), (W{0x158A, 0x160A}));
    // Two pages: one word; 0x0234 clears bit 11 -> BCF 0x0a,3 = 0x118a.
    EXPECT_EQ(patched(C14_2PAGES_2BANKS, RELOCT_PAGESEL_BITS, {0, 0x3333}, 0x0234), (W{0x118A, 0x3333}));
    // One page: nothing.
    EXPECT_EQ(patched(C14_1PAGE_2BANKS, RELOCT_PAGESEL_BITS, {0x4444, 0x5555}, 0x0A34), (W{0x4444, 0x5555}));
}

TEST(PatchCore14, TypesOfOtherFamiliesAreRefused)
{
    PatchLinker linker(C14_4PAGES_4BANKS);
    for (uint16_t type : {0, 5, 11, 12, 13, 14, 19, 22, 25, 32, 33, 0xFFFF}) {
        PatchCase c;
        c.words = {0x3000};
        c.type = type;
        EXPECT_EQ(patchError(linker, c), "unsupported relocation type.") << type;
        c.run(linker);
        EXPECT_EQ(c.words, W{0x3000}) << "nothing written for type " << type;
    }
}
