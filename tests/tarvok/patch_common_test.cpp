// What every relocation patcher shares: the bit insertion, the family
// dispatch, the type table against each patcher, and the checks that keep
// a bad entry from reading or writing outside the data.

#include "bitfield.h"
#include "patchfixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

using W = std::vector<uint16_t>;

TEST(InsertBits, WritesOnlyTheField)
{
    uint8_t bytes[4] = {0xFF, 0xFF, 0x00, 0x00};
    Data d(4, bytes);
    // Bits 4..11 of 0xabc (0xab) into bits 4..11 of the word at offset 0.
    insertBits(d, 0, 0xABC, {.srcBegin = 4, .dstBegin = 4, .width = 8});
    EXPECT_EQ(d.data()[0], 0xBF);
    EXPECT_EQ(d.data()[1], 0xFA);
    // One bit at position 8 of the second word.
    insertBits(d, 2, 1, {.srcBegin = 0, .dstBegin = 8, .width = 1});
    EXPECT_EQ(d.data()[2], 0x00);
    EXPECT_EQ(d.data()[3], 0x01);
    // A whole word from bit 15 of the value: 0x12345678 >> 15 = 0x2468 (bit
    // 15 of 0x5678 is 0).
    insertBits(d, 2, 0x12345678, {.srcBegin = 15, .dstBegin = 0, .width = 16});
    EXPECT_EQ(d.data()[2], 0x68);
    EXPECT_EQ(d.data()[3], 0x24);
    // Width 0 changes nothing.
    insertBits(d, 2, 0, {.srcBegin = 0, .dstBegin = 0, .width = 0});
    EXPECT_EQ(d.data()[2], 0x68);
}

TEST(PatchDispatch, UnknownFamilyIsAnAssertion)
{
    // The link takes its family from the processor table; any other is a
    // fault of the linker itself, never a quiet failure. The assertion
    // prints on standard output, which the child sends to the error stream.
    PatchLinker linker(C14_4PAGES_4BANKS);
    for (DeviceFamily family : {0, 5, 0xFF}) {
        linker.cFamily = family;
        PatchCase c;
        c.type = RELOCT_CALL;
        c.words = {0x2000};
        EXPECT_DEATH(
            {
                std::fflush(stdout);
                dup2(2, 1);
                c.run(linker);
            },
            "Assertion failed: .*device family without a patcher.*linker_patch\\.cpp")
            << int(family);
    }
}

TEST(RelocTypeTable, EachPatcherAcceptsExactlyItsFamilysTypes)
{
    // One device per family; the entry is one that no check refuses (an even
    // target of a section reference, a branch in range).
    const ProcessorCode devices[] = {C14_4PAGES_4BANKS, C16_4BANKS, C12_4PAGES_4BANKS, C16E_2BANKS};
    int accepted[5] = {};
    for (ProcessorCode code : devices) {
        PatchLinker linker(code);
        for (uint32_t type = 0; type <= 40; ++type) {
            PatchCase c;
            c.words = {0, 0};
            c.type = uint16_t(type);
            c.symName = ".code";
            c.symValue = 0x100;
            bool ok = c.run(linker);
            bool table = relocTypeAccepted(uint16_t(type), proc_family(code));
            EXPECT_EQ(ok, table) << "type " << type << " on family " << int(proc_family(code)) << ": " << c.err;
            if (!ok) {
                EXPECT_EQ(c.err, "unsupported relocation type.");
            }
            accepted[proc_family(code)] += table;
        }
    }
    // Counts of "yes" per family column of the table.
    EXPECT_EQ(accepted[FAMILY_CORE14], 11);
    EXPECT_EQ(accepted[FAMILY_CORE12], 11);
    EXPECT_EQ(accepted[FAMILY_CORE16], 13);
    EXPECT_EQ(accepted[FAMILY_CORE16E], 26);
    EXPECT_STREQ(relocTypeName(RELOCT_CALL), "RELOCT_CALL");
    EXPECT_STREQ(relocTypeName(RELOCT_PAGESEL_WREG), "RELOCT_PAGESEL_WREG");
    EXPECT_STREQ(relocTypeName(RELOCT_SCNEND_LFSR2), "RELOCT_SCNEND_LFSR2");
}

TEST(PatchBounds, WordOutsideTheDataIsRefused)
{
    // A one-word patch at the last byte, at the end, and at an offset that
    // wraps in 32 bits; nothing is written.
    for (ProcessorCode code : {C14_4PAGES_4BANKS, C12_4PAGES_4BANKS, C16_4BANKS, C16E_2BANKS}) {
        PatchLinker linker(code);
        for (uint32_t offset : {3u, 4u, 0xFFFFFFFEu}) {
            PatchCase c;
            c.type = RELOCT_LOW;
            c.words = {0x1111, 0x2222};
            c.rawOffset = offset;
            EXPECT_FALSE(c.run(linker));
            EXPECT_EQ(c.err, "the relocated word at offset " + std::to_string(offset) +
                                 " lies outside the section's 4 bytes of raw data.");
            EXPECT_EQ(c.words, (W{0x1111, 0x2222}));
        }
    }
}

TEST(PatchBounds, BothWordsOfABuiltPairMustFit)
{
    // The pair would start at the last word: neither word is written.
    PatchLinker linker(C14_4PAGES_4BANKS);
    for (uint16_t type : {RELOCT_BANKSEL, RELOCT_PAGESEL, RELOCT_PAGESEL_BITS}) {
        PatchCase c;
        c.type = type;
        c.words = {0x1111, 0x2222};
        c.rawOffset = 2;
        c.symValue = 0x1FFF;
        EXPECT_FALSE(c.run(linker));
        EXPECT_EQ(c.err, "the relocated words at offset 2 lie outside the section's 4 bytes of raw data.");
        EXPECT_EQ(c.words, (W{0x1111, 0x2222}));
    }
    // Where only one word is built, one word of room is enough.
    PatchLinker twoBanks(C14_2PAGES_2BANKS);
    PatchCase c;
    c.type = RELOCT_BANKSEL;
    c.words = {0x1111, 0x2222};
    c.rawOffset = 2;
    c.symValue = 0x80;
    ASSERT_TRUE(c.run(twoBanks)) << c.err;
    EXPECT_EQ(c.words, (W{0x1111, 0x1683}));
    // And nothing to write needs no room at all.
    PatchLinker onePage(C12_1PAGE_1BANK);
    c.type = RELOCT_PAGESEL;
    c.rawOffset = 100;
    EXPECT_TRUE(c.run(onePage)) << c.err;
}

TEST(PatchBounds, SymbolIndexOutsideTheTableIsRefused)
{
    for (ProcessorCode code : {C14_4PAGES_4BANKS, C12_4PAGES_4BANKS, C16_4BANKS, C16E_2BANKS}) {
        PatchLinker linker(code);
        for (uint32_t index : {1u, 0xFFFFFFFFu}) {
            PatchCase c;
            c.type = RELOCT_LOW;
            c.words = {0x1111};
            c.symndx = index;
            c.rawOffset = 0;
            EXPECT_FALSE(c.run(linker));
            EXPECT_EQ(c.err, "relocation at offset 0 names symbol index " + std::to_string(index) +
                                 ", which is outside the symbol table.");
            EXPECT_EQ(c.words, W{0x1111});
        }
    }
}
