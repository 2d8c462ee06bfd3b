// Core16E relocation patching: long calls split over two words, relative
// branches with their range and alignment checks, MOVFF destinations, LFSR,
// the access bit and section sizes and ends.

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

TEST(PatchCore16E, CallAndGotoSplitTheWordAddress)
{
    // 0x1234 / 2 = 0x91a: low byte 0x1a in the first word, 0x009 in the second.
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_CALL, {0xEC00}, 0x1234), W{0xEC1A});
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_GOTO, {0xEFFF}, 0x1234), W{0xEF1A});
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_CALL2, {0xF000}, 0x1234), W{0xF009});
    // The highest program byte address: 0x1ffffe >> 9 = 0xfff.
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_CALL2, {0xF000}, 0x1FFFFE), W{0xFFFF});
    // The second word takes an odd target without complaint.
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_CALL2, {0xF000}, 0x1235), W{0xF009});
}

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

TEST(PatchCore16E, RelativeBranchDisplacement)
{
    PatchLinker linker(C16E_2BANKS);
    // At offset 0x10 of a part loaded at 0x200, to 0x100: D = 0x100 - 0x212 =
    // -274; + 0x1000 = 0xeee; bits 1..11 = 0x777 (-137 words).
    PatchCase c;
    c.type = RELOCT_BRA;
    c.words = W(9, 0xD000);
    c.rawOffset = 0x10;
    c.loadStart = 0x200;
    c.symValue = 0x100;
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words[8], 0xD777);
    EXPECT_EQ(c.words[7], 0xD000);

    // Range ends: 2046 -> 1023 words = 0x3ff; -2048 -> 0x800 -> field 0x400.
    c = branch(RELOCT_BRA, 0xD000, 2046);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xD3FF});
    c = branch(RELOCT_BRA, 0xD000, -2048);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xD400});
    // A branch to the next word writes 0 into the field; the opcode stays.
    c = branch(RELOCT_BRA, 0xD7FF, 0);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xD000});
    // RCALL uses the same field.
    c = branch(RELOCT_BRA, 0xD800, -2);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xDFFF});

    // Conditional: 254 -> 0x7f; -256 -> 0x100 -> 0x80; -2 -> 0x1fe -> 0xff.
    c = branch(RELOCT_CONDBRA, 0xE000, 254);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xE07F});
    c = branch(RELOCT_CONDBRA, 0xE100, -256);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xE180});
    c = branch(RELOCT_CONDBRA, 0xE000, -2);
    ASSERT_TRUE(c.run(linker)) << c.err;
    EXPECT_EQ(c.words, W{0xE0FF});
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

TEST(PatchCore16E, MovffDestinationCheckIsExact)
{
    // Only the four registers are refused, and only as the destination.
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_FF1, {0xC000}, 0xFFF), W{0xCFFF});
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_FF2, {0xF000}, 0xFFC), W{0xFFFC});
    EXPECT_EQ(patched(C16E_2BANKS, RELOCT_FF2, {0xF000}, 0x1FFF), W{0xFFFF});

    PatchLinker linker(C16E_2BANKS);
    const std::pair<uint32_t, const char *> refused[] = {
        {0xFFF, "TOSU"}, {0xFFE, "TOSH"}, {0xFFD, "TOSL"}, {0xFF9, "PCL"}};
    for (const auto &[reg, name] : refused) {
        PatchCase c;
        c.type = RELOCT_FF2;
        c.words = {0xF000};
        c.symValue = reg;
        EXPECT_FALSE(c.run(linker));
        EXPECT_EQ(c.err, std::string(name) + " cannot be used as the destination of a MOVFF instruction.");
        EXPECT_EQ(c.words, W{0xF000});
    }
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

TEST(PatchCore16E, SectionSizeAndEnd)
{
    PatchLinker linker(C16E_2BANKS);
    linker.cScnSize["data"] = 0x20;
    linker.cScnSize["table"] = 0x1234;
    linker.cScnSize["big"] = 0x12345;
    auto run = [&](uint16_t type, uint16_t word, const std::string &sym, uint32_t value, int16_t addend = 0) {
        PatchCase c;
        c.type = type;
        c.words = {word};
        c.symName = sym;
        c.symValue = value;
        c.addend = addend;
        EXPECT_TRUE(c.run(linker)) << c.err;
        return c.words[0];
    };
    // ".data" at 0x400, 0x20 bytes: last address 0x41f.
    EXPECT_EQ(run(RELOCT_SCNEND_LOW, 0x0E00, ".data", 0x400), 0x0E1F);
    EXPECT_EQ(run(RELOCT_SCNEND_HIGH, 0x0E00, ".data", 0x400), 0x0E04);
    EXPECT_EQ(run(RELOCT_SCNEND_LFSR1, 0xEE00, ".data", 0x400), 0xEE04);
    EXPECT_EQ(run(RELOCT_SCNEND_LFSR2, 0xF000, ".data", 0x400), 0xF01F);
    // 0x1ff00 + 0x200 - 1 = 0x200ff: upper byte 2.
    linker.cScnSize["code"] = 0x200;
    EXPECT_EQ(run(RELOCT_SCNEND_UPPER, 0x0E00, ".code", 0x1FF00), 0x0E02);
    // The addend moves the end: 0x41f + 0x10 = 0x42f.
    EXPECT_EQ(run(RELOCT_SCNEND_LOW, 0x0E00, ".data", 0x400, 0x10), 0x0E2F);
    // Sizes; the symbol's value plays no part.
    EXPECT_EQ(run(RELOCT_SCNSZ_LOW, 0x0E00, ".table", 0x999), 0x0E34);
    EXPECT_EQ(run(RELOCT_SCNSZ_HIGH, 0x0E00, ".table", 0x999), 0x0E12);
    EXPECT_EQ(run(RELOCT_SCNSZ_UPPER, 0x0E00, ".big", 0), 0x0E01);
    EXPECT_EQ(run(RELOCT_SCNSZ_LOW, 0x0E00, ".table", 0, -0x35), 0x0EFF);
    // A long section name, read from the string table.
    linker.cScnSize["long_section_name"] = 0x42;
    EXPECT_EQ(run(RELOCT_SCNSZ_LOW, 0x0E00, ".long_section_name", 0), 0x0E42);
    // A section no input has reads as size 0 and is not added.
    EXPECT_EQ(run(RELOCT_SCNSZ_LOW, 0x0E55, ".nosuch", 0x80), 0x0E00);
    EXPECT_EQ(run(RELOCT_SCNEND_LOW, 0x0E00, ".nosuch", 0x80), 0x0E7F);
    EXPECT_EQ(linker.cScnSize.count("nosuch"), 0u);
}

TEST(PatchCore16E, SectionTypesNeedASectionReference)
{
    PatchLinker linker(C16E_2BANKS);
    linker.cScnSize["uffer"] = 4; // what "buffer" without its first letter would find
    for (uint16_t type = RELOCT_SCNSZ_LOW; type <= RELOCT_SCNEND_LFSR2; ++type) {
        PatchCase c;
        c.type = type;
        c.words = {0x0E77};
        c.symName = "buffer";
        EXPECT_FALSE(c.run(linker));
        EXPECT_EQ(c.err, "symbol 'buffer' of a " + std::string(relocTypeName(type)) +
                             " relocation is not a section reference.");
        EXPECT_EQ(c.words, W{0x0E77});
    }
}
