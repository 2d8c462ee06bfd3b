// Core16E patching on single words, where the whole-link table does not
// reach: odd call targets of either cause, every edge of the branch ranges,
// and the access bit without and with two access banks.

#include "patchfixture.h"

#include <gtest/gtest.h>

using W = std::vector<uint16_t>;

namespace {

const char *const NOT_ALIGNED_TARGET =
    "Symbol 'target' is not word-aligned.\nIt cannot be used as the target of a call or goto instruction.";
const char *const OUT_OF_RANGE = "Symbol 'target' out of range of relative branch instruction.";

// A branch word at rawOffset 0 of a part loaded at 0x1000, to 0x1002 + d.
PatchCase branch(uint16_t type, uint16_t word, int32_t d)
{
    PatchCase c;
    c.type = type;
    c.words = {word};
    c.loadStart = 0x1000;
    c.symValue = uint32_t(0x1002 + d);
    return c;
}

} // namespace

TEST(PatchCore16E, OddCallTargetIsRefusedAndNothingWritten)
{
    PatchLinker linker(C16E_2BANKS);
    for (uint16_t type : {RELOCT_CALL, RELOCT_GOTO}) {
        PatchCase c;
        c.type = type;
        c.words = {0xEC00};
        c.symValue = 0x1235;
        EXPECT_FALSE(c.run(linker));
        EXPECT_EQ(c.err, NOT_ALIGNED_TARGET);
        EXPECT_EQ(c.words, W{0xEC00});
    }
    // An even symbol made odd by the addend fails too.
    PatchCase c;
    c.type = RELOCT_CALL;
    c.symValue = 0x1234;
    c.addend = 1;
    EXPECT_EQ(patchError(linker, c), NOT_ALIGNED_TARGET);
}

TEST(PatchCore16E, BranchOutOfRangeOrOdd)
{
    PatchLinker linker(C16E_2BANKS);
    for (int32_t d : {2048, 2047, -2050, 100000, -100000})
        EXPECT_EQ(patchError(linker, branch(RELOCT_BRA, 0xD000, d)), OUT_OF_RANGE) << d;
    for (int32_t d : {256, 255, -258})
        EXPECT_EQ(patchError(linker, branch(RELOCT_CONDBRA, 0xE000, d)), OUT_OF_RANGE) << d;
    for (int32_t d : {3, -3, -2047})
        EXPECT_EQ(patchError(linker, branch(RELOCT_BRA, 0xD000, d)), NOT_ALIGNED_TARGET) << d;
    EXPECT_EQ(patchError(linker, branch(RELOCT_CONDBRA, 0xE000, -255)), NOT_ALIGNED_TARGET);
    // A failing branch leaves its word alone.
    PatchCase c = branch(RELOCT_BRA, 0xD123, 4000);
    EXPECT_FALSE(c.run(linker));
    EXPECT_EQ(c.words, W{0xD123});
}

TEST(PatchCore16E, AccessBitFollowsTheAccessBanks)
{
    PatchLinker linker(C16E_2BANKS);
    PatchCase c;
    c.type = RELOCT_ACCESS;
    // No access bank: the bit is set.
    c.words = {0x6E00};
    c.symValue = 0x010;
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0x6F00});

    linker.accessBank(0x000, 0x05F);
    linker.accessBank(0xF60, 0xFFF);
    c.words = {0x6FFF};
    c.symValue = 0x05F; // last address of the first bank: cleared
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0x6EFF});
    c.words = {0x6E00};
    c.symValue = 0x060; // just past it: set
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0x6F00});
    c.words = {0x6F00};
    c.symValue = 0xF60; // first address of the second bank: cleared
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0x6E00});
}

