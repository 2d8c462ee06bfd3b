// Section allocation: where absolute, assigned and unassigned sections, the
// images of initialised data, the stack and ".cinit" go, and every message
// of a section that cannot be placed.

#include "linkerfixture.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

// Runs the checks and the allocation; the allocation's result.
bool allocate(TestLinker &l, std::string &err)
{
    if (!l.prepare(err)) {
        ADD_FAILURE() << "checks failed: " << err;
        return false;
    }
    return l.mapSections(err);
}

} // namespace

// ---------------------------------------------------------------- best fit

TEST(LinkerMapSections, SmallestLargestHoleThatFits)
{
    // 14-bit words, 2 bytes a location. Page a holds 0x100 bytes, page b
    // 0x1000. ".cinit" (2 entries' worth of nothing: 2 words, 4 bytes) goes
    // first into a; then "big" (0x200) only fits b, and "small" (0x80) goes
    // to a, whose hole is now the smaller one.
    TestLinker l;
    l.codePage("a", 0x0000, 0x007F);
    l.codePage("b", 0x0100, 0x08FF);
    l.addInput(objectFor(TEST_CORE14).section("small", SCN_CODE, bytes(0x80)).section("big", SCN_CODE, bytes(0x200)));
    std::string err;
    ASSERT_TRUE(allocate(l, err)) << err;
    EXPECT_EQ(l.memoryNameOf(".cinit"), "a");
    EXPECT_EQ(l.startOf(".cinit"), 0x0000u);
    EXPECT_EQ(l.memoryNameOf("big"), "b");
    EXPECT_EQ(l.startOf("big"), 0x0100u);
    EXPECT_EQ(l.memoryNameOf("small"), "a");
    EXPECT_EQ(l.startOf("small"), 0x0002u);
    EXPECT_EQ(l.cCinitSym.n_value, 0u);
}


TEST(LinkerMapSections, ProtectedMemoryTakesOnlyWhatIsNamedForIt)
{
    // The only CODEPAGE is protected: an absolute section, a section and
    // ".cinit" assigned to it are placed; an unassigned section is not.
    TestLinker l;
    l.codePage("boot", 0x0000, 0x00FF, true);
    l.sectionDesc(".cinit", "boot", "");
    l.sectionDesc("named", "boot", "");
    l.addInput(objectFor(TEST_CORE14)
                   .section("fixed", SCN_CODE | SCN_ABS, bytes(4), 0x0010)
                   .section("named", SCN_CODE, bytes(4))
                   .section("loose", SCN_CODE, bytes(4)));
    std::string err;
    EXPECT_FALSE(allocate(l, err));
    EXPECT_EQ(err, "section 'loose' can not fit the section. Section 'loose' length=0x00000004");
    EXPECT_EQ(l.startOf("fixed"), 0x0010u);
    EXPECT_EQ(l.memoryNameOf(".cinit"), "boot");
    EXPECT_EQ(l.memoryNameOf("named"), "boot");
}

TEST(LinkerMapSections, AssignedSectionsInDirectiveOrder)
{
    // c1 is named first, so it is placed first although it is smaller and
    // sorts after c0; ".cinit", unassigned, follows them.
    TestLinker l;
    l.codePage("page", 0x0000, 0x00FF);
    l.sectionDesc("c1", "page", "");
    l.sectionDesc("c0", "page", "");
    l.addInput(objectFor(TEST_CORE14).section("c0", SCN_CODE, bytes(8)).section("c1", SCN_CODE, bytes(4)));
    std::string err;
    ASSERT_TRUE(allocate(l, err)) << err;
    EXPECT_EQ(l.startOf("c1"), 0x0000u);
    EXPECT_EQ(l.startOf("c0"), 0x0002u);
    EXPECT_EQ(l.startOf(".cinit"), 0x0006u);
}

TEST(LinkerMapSections, ZeroLengthSectionNeedsAFreeHole)
{
    // b0 is full, so the empty section goes to b1 although b0 sorts first.
    TestLinker l;
    l.codePage("page", 0, 0xFF);
    l.dataBank("b0", 0x20, 0x2F);
    l.dataBank("b1", 0x30, 0x7F);
    l.addInput(objectFor(TEST_CORE14).udata("full", 16, 0x20, SCN_ABS).udata("empty", 0));
    std::string err;
    ASSERT_TRUE(allocate(l, err)) << err;
    EXPECT_EQ(l.memoryNameOf("empty"), "b1");
    EXPECT_EQ(l.startOf("empty"), 0x30u);
    EXPECT_EQ(l.cScnMem["empty"]->getScnSize("empty"), 0u);
}

// ---------------------------------------------------------------- images and .cinit


TEST(LinkerMapSections, CinitSizeByEntriesAndWidth)
{
    struct Case
    {
        ProcessorCode proc;
        int idata;
        uint32_t size;
    } cases[] = {
        {TEST_CORE14, 3, 40},  // (2 + 3 x 6) bytes, one word of 2 bytes each
        {TEST_CORE16E, 3, 38}, // 2 + 3 x 12: wide entries, bytes packed
        {TEST_CORE14, 0, 4},   // the count alone, as 2 words
        {TEST_CORE16, 0, 2},
    };
    for (const Case &c : cases) {
        TestLinker l;
        l.codePage("page", 0x10, 0xFF);
        l.dataBank("bank", 0x60, 0x7F);
        CoffBuilder b = objectFor(c.proc);
        for (int i = 0; i < c.idata; ++i)
            b.section("d" + std::to_string(i), SCN_IDATA, bytes(1));
        l.addInput(b);
        std::string err;
        ASSERT_TRUE(allocate(l, err)) << err;
        EXPECT_EQ(l.cScnMem[".cinit"]->getScnSize(".cinit"), c.size);
        // The table is placed before any image, so it starts the page.
        EXPECT_EQ(l.cCinitSym.n_value, 0x10u);
        EXPECT_EQ(Coff::getName(l.cCinitSym, {}), "_cinit");
        EXPECT_EQ(l.cCinitSym.n_sclass, C_EXT);
        EXPECT_EQ(l.cCinitSym.n_scnum, 0);
    }
}

TEST(LinkerMapSections, ImageNamedByDirectiveDataSectionBestFit)
{
    // d_i is assigned to page p1; d itself goes to the bank with the smaller
    // hole that takes it. An absolute idata section still gets a relocatable
    // image: fix_i goes to p1 too, whose hole is smaller by then (d_i took
    // 8 words and ".cinit", (2 + 2 x 6) bytes, 14 more).
    TestLinker l;
    l.codePage("p0", 0x0000, 0x00FF);
    l.codePage("p1", 0x0100, 0x01FF);
    l.dataBank("b0", 0x20, 0x7F);
    l.dataBank("b1", 0xA0, 0xAF);
    l.sectionDesc("d_i", "p1", "");
    l.addInput(objectFor(TEST_CORE14).section("d", SCN_IDATA, bytes(8)).section("fix", SCN_IDATA | SCN_ABS, bytes(2), 0x40));
    std::string err;
    ASSERT_TRUE(allocate(l, err)) << err;
    EXPECT_EQ(l.memoryNameOf("d_i"), "p1");
    EXPECT_EQ(l.startOf("d_i"), 0x0100u);
    EXPECT_EQ(l.memoryNameOf("d"), "b1");
    EXPECT_EQ(l.startOf("d"), 0xA0u);
    EXPECT_EQ(l.startOf("fix"), 0x40u);
    EXPECT_EQ(l.memoryNameOf("fix_i"), "p1");
    EXPECT_EQ(l.startOf("fix_i"), 0x0116u);
}

TEST(LinkerMapSections, DirectivesForLinkerSectionsMayNotNameRam)
{
    {
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.dataBank("bank", 0x20, 0x7F);
        l.sectionDesc("d_i", "", "bank");
        l.addInput(objectFor(TEST_CORE14).section("d", SCN_IDATA, bytes(2)));
        std::string err;
        EXPECT_FALSE(allocate(l, err));
        EXPECT_EQ(err, "section 'd_i' can not have a 'RAM' memory attribute specified in the linker command file.");
    }
    {
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.dataBank("bank", 0x20, 0x7F);
        l.sectionDesc(".cinit", "", "bank");
        l.addInput(objectFor(TEST_CORE14));
        std::string err;
        EXPECT_FALSE(allocate(l, err));
        EXPECT_EQ(err, "section '.cinit' contains initialized rom data and can not have a 'RAM' memory attribute "
                       "specified in the linker command file.");
    }
}

TEST(LinkerMapSections, ImageTooLargeForAnyMemory)
{
    // Twice 2 GB of data would not survive as a 32-bit length.
    TestLinker l;
    l.codePage("page", 0, 0xFF);
    l.dataBank("bank", 0x20, 0x7F);
    l.addInput(objectFor(TEST_CORE14).section("d", SCN_IDATA, bytes(2)));
    std::string err;
    ASSERT_TRUE(l.prepare(err)) << err;
    l.cScnSize["d"] = 0x80000000u;
    EXPECT_FALSE(l.mapSections(err));
    EXPECT_EQ(err, "section 'd_i' can not fit the section. Section 'd_i' is larger than 0xffffffff bytes");
}

// ---------------------------------------------------------------- stack

TEST(LinkerMapSections, StackPlacement)
{
    {
        // No STACK directive: no stack section.
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.dataBank("bank", 0x20, 0x7F);
        l.addInput(objectFor(TEST_CORE14));
        std::string err;
        ASSERT_TRUE(allocate(l, err)) << err;
        EXPECT_EQ(l.memoryOf(".stack"), nullptr);
    }
    {
        // A named bank may be an ACCESSBANK.
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.dataBank("bank", 0x20, 0x7F);
        l.accessBank("acc", 0x00, 0x1F);
        l.stack(16, "acc");
        l.addInput(objectFor(TEST_CORE14));
        std::string err;
        ASSERT_TRUE(allocate(l, err)) << err;
        EXPECT_EQ(l.memoryNameOf(".stack"), "acc");
    }
    {
        // Without a bank only DATABANKs are tried.
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.shareBank("share", 0x70, 0x7F);
        l.accessBank("acc", 0x00, 0x1F);
        l.stack(16);
        l.addInput(objectFor(TEST_CORE14));
        std::string err;
        EXPECT_FALSE(allocate(l, err));
        EXPECT_EQ(err, "section '.stack' can not fit the section. Section '.stack' length=0x00000010");
    }
}
