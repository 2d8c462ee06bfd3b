// The walk over every relocation entry of every input section: order, the
// stop at the first failure, the load start of each file's part, the checks
// on the symbol index, and the check of Core12 call targets.

#include "linkerfixture.h"
#include "reloctype.h"

#include <gtest/gtest.h>

namespace {

class WalkLinker : public TestLinker
{
public:
    using Linker::patchSections;
    using Linker::verifyRelocations;

    // Allocates the inputs' sections and records every file's part in
    // input order, as section loading does.
    void place()
    {
        std::string err;
        ASSERT_TRUE(prepare(err)) << err;
        ASSERT_TRUE(mapSections(err)) << err;
        for (uint32_t input = 0; input < cCoff.size(); ++input)
            for (const auto &[num, name] : cCoff[input]->cScnNum) {
                Memory *mem = cScnMem.at(name);
                mem->load(input, cCoff[input]->cName, name, cCoff[input]->cScnHdr.at(name).s_size);
            }
    }

    std::vector<uint8_t> bytes(size_t input, const std::string &section) const
    {
        const Data &d = cCoff[input]->cRawData.at(section);
        return std::vector<uint8_t>(d.data(), d.data() + d.size());
    }
};

using B = std::vector<uint8_t>;

} // namespace

TEST(PatchWalk, EveryEntryOfEveryFileIsApplied)
{
    WalkLinker l;
    l.codePage("page0", 0, 0x7FF);
    l.dataBank("gpr0", 0x20, 0x6F);
    // a.o: MOVLW (LOW) and MOVLW (HIGH) of the absolute 0x1234; b.o: CALL 0x234.
    l.addInput(objectFor(TEST_CORE14, "a.o")
                   .section(".code", SCN_CODE, {0x00, 0x30, 0x00, 0x30})
                   .section(".other", SCN_CODE, {0xAA, 0x3F})
                   .symbol("k", 0x1234, -1, C_EXT)
                   .reloc(".code", 0, "k", RELOCT_LOW)
                   .reloc(".code", 2, "k", RELOCT_HIGH));
    l.addInput(objectFor(TEST_CORE14, "b.o")
                   .section(".code", SCN_CODE, {0x00, 0x20})
                   .symbol("k", 0x1234, -1, C_EXT)
                   .reloc(".code", 0, "k", RELOCT_CALL));
    l.place();
    std::string err;
    ASSERT_TRUE(l.verifyRelocations(err)) << err;
    ASSERT_TRUE(l.patchSections(err)) << err;
    EXPECT_EQ(l.bytes(0, ".code"), (B{0x34, 0x30, 0x12, 0x30}));
    EXPECT_EQ(l.bytes(1, ".code"), (B{0x34, 0x22}));
    // A section without relocation entries stays as read.
    EXPECT_EQ(l.bytes(0, ".other"), (B{0xAA, 0x3F}));
}

TEST(PatchWalk, FirstFailureStopsTheWalk)
{
    WalkLinker l;
    l.codePage("page0", 0, 0x7FF);
    l.addInput(objectFor(TEST_CORE14, "main.o")
                   .section("code", SCN_CODE, {0x00, 0x30, 0x00, 0x30})
                   .symbol("k", 0x1234, -1, C_EXT)
                   .reloc("code", 0, "k", RELOCT_LOW)
                   .reloc("code", 2, "k", RELOCT_P));
    l.addInput(objectFor(TEST_CORE14, "b.o")
                   .section(".code", SCN_CODE, {0x00, 0x30})
                   .symbol("k", 0x1234, -1, C_EXT)
                   .reloc(".code", 0, "k", RELOCT_LOW));
    l.place();
    std::string err;
    EXPECT_FALSE(l.patchSections(err));
    EXPECT_EQ(err, "file 'main.o', section 'code', unsupported relocation type.");
    // The entry before the failure stays patched, the later file untouched.
    EXPECT_EQ(l.bytes(0, "code"), (B{0x34, 0x30, 0x00, 0x30}));
    EXPECT_EQ(l.bytes(1, ".code"), (B{0x00, 0x30}));
}

TEST(PatchWalk, BranchesSeeTheirOwnFilesPart)
{
    // Core16E: ".cinit" (2 bytes) is placed first at 0; ".code" follows at 2
    // with a.o's 4 bytes at 0x002 and b.o's at 0x006. b.o's branch at its
    // offset 2 (address 0x008) to 0x100: D = 0x100 - 0x00a = 246 -> field
    // 123 = 0x7b. a.o's branch at offset 0 (address 0x002): D = 0x100 - 4 =
    // 252 -> 126 = 0x7e.
    WalkLinker l;
    l.codePage("page0", 0, 0xFFF);
    l.dataBank("gpr0", 0x60, 0xFF);
    l.addInput(objectFor(TEST_CORE16E, "a.o")
                   .section(".code", SCN_CODE, {0x00, 0xD0, 0x00, 0x00})
                   .symbol("dest", 0x100, -1, C_EXT)
                   .reloc(".code", 0, "dest", RELOCT_BRA));
    l.addInput(objectFor(TEST_CORE16E, "b.o")
                   .section(".code", SCN_CODE, {0x00, 0x00, 0x00, 0xD0})
                   .symbol("dest", 0x100, -1, C_EXT)
                   .reloc(".code", 2, "dest", RELOCT_BRA));
    l.place();
    ASSERT_EQ(l.startOf(".code"), 2u);
    std::string err;
    ASSERT_TRUE(l.patchSections(err)) << err;
    EXPECT_EQ(l.bytes(0, ".code"), (B{0x7E, 0xD0, 0x00, 0x00}));
    EXPECT_EQ(l.bytes(1, ".code"), (B{0x00, 0x00, 0x7B, 0xD0}));
}

TEST(PatchWalk, SymbolIndexMustNameAPrimarySlot)
{
    // Slot 0 is ".file", slot 1 its auxiliary entry, slot 2 "k".
    for (uint32_t index : {1u, 3u, 1000u}) {
        WalkLinker l;
        l.codePage("page0", 0, 0x7FF);
        l.addInput(objectFor(TEST_CORE14, "a.o")
                       .section(".code", SCN_CODE, {0x00, 0x30})
                       .file("a.asm")
                       .symbol("k", 0x1234, -1, C_EXT)
                       .relocIndex(".code", 0, index, RELOCT_LOW));
        l.place();
        std::string err;
        EXPECT_FALSE(l.patchSections(err));
        if (index == 1)
            EXPECT_EQ(err, "file 'a.o', section '.code', relocation at offset 0 names symbol index 1, which is an "
                           "auxiliary entry.");
        else
            EXPECT_EQ(err, "file 'a.o', section '.code', relocation at offset 0 names symbol index " +
                               std::to_string(index) + ", which is outside the symbol table.");
        EXPECT_EQ(l.bytes(0, ".code"), (B{0x00, 0x30}));
    }
}

TEST(PatchWalk, Core12CallsMustTargetTheLowerHalfOfAPage)
{
    // 512-word pages: offsets 0 to 255 of a page are the lower half.
    auto run = [](uint32_t target, uint16_t type, int16_t addend, std::string &err) {
        WalkLinker l;
        l.codePage("page0", 0, 0x7FF);
        l.addInput(objectFor(TEST_CORE12, "a.o")
                       .section(".code", SCN_CODE, {0x00, 0x09, 0x00, 0x09})
                       .symbol("far_away", target, -1, C_EXT)
                       .reloc(".code", 0, "far_away", type, addend));
        l.place();
        return l.verifyRelocations(err);
    };
    std::string err;
    EXPECT_TRUE(run(0x2FF, RELOCT_CALL, 0, err)) << err;
    EXPECT_TRUE(run(0x400, RELOCT_CALL, 0, err)) << err;
    EXPECT_FALSE(run(0x300, RELOCT_CALL, 0, err));
    EXPECT_EQ(err, "file 'a.o', section '.code', performs a call to \n symbol 'far_away' which is not in the lower "
                   "half of a page.");
    // The addend counts: 0x2ff + 1 = 0x300.
    err.clear();
    EXPECT_FALSE(run(0x2FF, RELOCT_CALL, 1, err));
    EXPECT_FALSE(err.empty());
    // Only calls are checked.
    EXPECT_TRUE(run(0x300, RELOCT_GOTO, 0, err)) << err;
}

TEST(PatchWalk, OtherFamiliesSkipTheCallCheck)
{
    // A Core14 call with a symbol index outside the table: the check does
    // not look at the entry at all.
    WalkLinker l;
    l.codePage("page0", 0, 0x7FF);
    l.addInput(objectFor(TEST_CORE14, "a.o")
                   .section(".code", SCN_CODE, {0x00, 0x20})
                   .symbol("k", 0x3FF, -1, C_EXT)
                   .relocIndex(".code", 0, 0, RELOCT_CALL));
    l.place();
    l.cCoff[0]->cReloc.at(".code")[0].r_symndx = 99;
    std::string err;
    EXPECT_TRUE(l.verifyRelocations(err));
}
