// The processor of a link, the merged section tables and the checks of
// SECTION directives against section contents.

#include "linkerfixture.h"

#include <gtest/gtest.h>

namespace {

CoffBuilder generic(ProcessorCode proc, const std::string &name)
{
    return objectFor(proc, name).flags(F_GENERIC);
}

} // namespace

// ---------------------------------------------------------------- processor

TEST(LinkerVerifyProcessor, FirstBoundInputDecides)
{
    TestLinker l;
    l.codePage("page", 0, 0xFF);
    l.dataBank("bank", 0x20, 0x7F);
    l.addInput(generic(TEST_CORE14, "g.o"));
    l.addInput(objectFor(TEST_CORE14B, "a.o"));
    l.addInput(objectFor(TEST_CORE14B, "b.o"));
    std::string err;
    ASSERT_TRUE(l.verifyProcessor(err)) << err;
    EXPECT_EQ(l.cProcessor, TEST_CORE14B);
    EXPECT_EQ(l.cFamily, FAMILY_CORE14);
    EXPECT_EQ(l.cRomWidthBits, 14);
    EXPECT_EQ(l.cRamWidthBits, 8);
    // The memories count bytes from now on: 256 words of 2 bytes, 96 bytes.
    EXPECT_EQ(l.cCodePage[0].largestHole(), 512u);
    EXPECT_EQ(l.cDataBanks[0].largestHole(), 96u);
}

TEST(LinkerVerifyProcessor, OnlyGenericInputsTakeTheFirst)
{
    TestLinker l;
    l.addInput(generic(TEST_CORE14B, "a.o"));
    l.addInput(generic(TEST_CORE14, "b.o"));
    std::string err;
    ASSERT_TRUE(l.verifyProcessor(err)) << err;
    EXPECT_EQ(l.cProcessor, TEST_CORE14B);
}

TEST(LinkerVerifyProcessor, Disagreement)
{
    struct Case
    {
        CoffBuilder first, second;
    } cases[] = {
        {objectFor(TEST_CORE14, "a.o"), generic(TEST_CORE16, "b.o")},
        {objectFor(TEST_CORE14, "a.o"), objectFor(TEST_CORE14B, "b.o")},
        {generic(TEST_CORE12, "a.o"), objectFor(TEST_CORE14, "b.o")},
    };
    for (const Case &c : cases) {
        TestLinker l;
        l.addInput(c.first);
        l.addInput(c.second);
        std::string err;
        EXPECT_FALSE(l.verifyProcessor(err));
        EXPECT_EQ(err, "processor types do not agree across all input files.");
    }
}

TEST(LinkerVerifyProcessor, UnsupportedWordAnywhere)
{
    // A word that belongs to no device: every word is distinct and nonzero,
    // so 0 is never one.
    for (int at = 0; at < 3; ++at) {
        TestLinker l;
        for (int i = 0; i < 3; ++i) {
            std::string name = std::string(1, char('a' + i)) + ".o";
            CoffBuilder b = objectFor(TEST_CORE14, name);
            if (i == at)
                b.processor(0, 14, 8);
            l.addInput(b);
        }
        std::string err;
        EXPECT_FALSE(l.verifyProcessor(err));
        EXPECT_EQ(err, "Unsupported processor type in file '" + std::string(1, char('a' + at)) + ".o'");
    }
}

// ---------------------------------------------------------------- sections

namespace {

void addInputs(TestLinker &l, std::initializer_list<CoffBuilder> inputs)
{
    for (const CoffBuilder &b : inputs)
        l.addInput(b);
}

std::vector<uint8_t> bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

} // namespace

TEST(LinkerCollectSections, PlainPartsAddUp)
{
    TestLinker l;
    l.addInput(objectFor(TEST_CORE14, "a.o").section(".code", SCN_CODE, bytes(20)).udata(".bss", 4, 0, SCN_SHARED));
    l.addInput(objectFor(TEST_CORE14, "b.o").section(".code", SCN_CODE, bytes(12)));
    std::string err;
    ASSERT_TRUE(l.collectSectionInfo(err)) << err;
    EXPECT_EQ(l.cScnSize[".code"], 32u);
    EXPECT_EQ(l.cScnType[".code"], SCNTYPE_CODE);
    EXPECT_FALSE(l.cScnAbs[".code"]);
    EXPECT_EQ(l.cScnSize[".bss"], 4u);
    EXPECT_EQ(l.cScnType[".bss"], SCNTYPE_UDATA);
    EXPECT_EQ(l.cScnAbsStart.count(".code"), 0u);
}

TEST(LinkerCollectSections, OverlayTakesLargestPart)
{
    TestLinker l;
    l.addInput(objectFor(TEST_CORE14, "a.o").section("ov", SCN_IDATA | SCN_OVERLAY | SCN_ABS, bytes(10), 0x100));
    l.addInput(objectFor(TEST_CORE14, "b.o").section("ov", SCN_IDATA | SCN_OVERLAY | SCN_ABS, bytes(30), 0x100));
    l.addInput(objectFor(TEST_CORE14, "c.o").section("ov", SCN_IDATA | SCN_OVERLAY | SCN_ABS, bytes(20), 0x100));
    std::string err;
    ASSERT_TRUE(l.collectSectionInfo(err)) << err;
    EXPECT_EQ(l.cScnSize["ov"], 30u);
    EXPECT_EQ(l.cScnAbsSize["ov"], 30u);
    EXPECT_EQ(l.cScnAbsStart["ov"], 0x100u);
    EXPECT_TRUE(l.cScnOverlay["ov"]);
}

TEST(LinkerCollectSections, Disagreements)
{
    struct Case
    {
        uint32_t flags1, addr1, flags2, addr2;
        std::string message;
    } cases[] = {
        {SCN_CODE, 0, SCN_CODE | SCN_OVERLAY, 0, "section overlay types for 's' do not match across input files."},
        {SCN_CODE | SCN_OVERLAY, 0, SCN_CODE | SCN_OVERLAY | SCN_ABS, 0,
         "section absolute types for 's' do not match across input files."},
        {SCN_CODE | SCN_OVERLAY | SCN_ABS, 0x100, SCN_CODE | SCN_OVERLAY | SCN_ABS, 0x200,
         "starting addresses for absolute overlay section 's' do not match across all input files."},
        {SCN_CODE, 0, SCN_ROMDATA, 0, "section types for 's' do not match across input files."},
        {SCN_IDATA, 0, SCN_IDATA | SCN_SHARED, 0, "section share types for 's' do not match across input files."},
        {SCN_IDATA, 0, SCN_IDATA | SCN_ACCESS, 0, "section access types for 's' do not match across input files."},
        {SCN_CODE | SCN_ABS, 0x100, SCN_CODE | SCN_ABS, 0x100,
         "section 's' type is non-overlay and absolute but occurs in more than one input file."},
        {SCN_CODE, 0, SCN_CODE | SCN_ABS, 0x100,
         "section 's' type is non-overlay and absolute but occurs in more than one input file."},
    };
    for (const Case &c : cases) {
        TestLinker l;
        addInputs(l, {objectFor(TEST_CORE14, "a.o").section("s", c.flags1, bytes(2), c.addr1),
                      objectFor(TEST_CORE14, "b.o").section("s", c.flags2, bytes(2), c.addr2)});
        std::string err;
        EXPECT_FALSE(l.collectSectionInfo(err)) << c.message;
        EXPECT_EQ(err, c.message);
    }
}

TEST(LinkerCollectSections, UnknownType)
{
    TestLinker l;
    addInputs(l, {objectFor(TEST_CORE14, "a.o").section("odd", SCN_ABS, bytes(2))});
    std::string err;
    EXPECT_FALSE(l.collectSectionInfo(err));
    EXPECT_EQ(err, "unknown section type for 'odd' in file 'a.o'.");
}

TEST(LinkerCollectSections, TotalSizeMustNotWrap)
{
    std::unique_ptr<Coff> a = coffFromBytes(objectFor(TEST_CORE14).udata("big", 4).bytes(), "a.o");
    std::unique_ptr<Coff> b = coffFromBytes(objectFor(TEST_CORE14).udata("big", 4).bytes(), "b.o");
    a->cScnHdr["big"].s_size = 0x80000000u;
    b->cScnHdr["big"].s_size = 0x80000000u;
    TestLinker l;
    l.addInput(std::move(a));
    l.addInput(std::move(b));
    std::string err;
    EXPECT_FALSE(l.collectSectionInfo(err));
    EXPECT_EQ(err, "section 'big' in file 'b.o' makes the section larger than 0xffffffff bytes.");
}

TEST(LinkerCollectSections, NamesTheLinkerReserves)
{
    struct Case
    {
        std::string name;
        bool stack, fill;
        std::string message; // empty: accepted
    } cases[] = {
        {".cinit", false, false, "file 'a.o' has a section '.cinit', the name of the linker's initialised-data table."},
        {".stack", true, false, "file 'a.o' has a section '.stack', the name of the stack section of the STACK directive."},
        {".stack", false, false, ""},
        {".fill_12", false, true, "file 'a.o' has a section '.fill_12', the name of a fill section of a CODEPAGE with FILL."},
        {".fill_12", false, false, ""},
        {".fill_", false, true, ""},
        {".fill_1a", false, true, ""},
        {"d_i", false, false, "file 'a.o' has a section 'd_i', the name of the program-memory image of section 'd'."},
        {"e_i", false, false, ""}, // e is no initialised data section
        {"", false, false, "file 'a.o' has a section without a name."},
    };
    for (const Case &c : cases) {
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        if (c.fill)
            l.fillPage("filled", 0x100, 0x1FF, "0x3FFF");
        if (c.stack)
            l.stack(16);
        CoffBuilder b = objectFor(TEST_CORE14, "a.o").section("d", SCN_IDATA, bytes(2)).udata("e", 2);
        std::unique_ptr<Coff> coff = coffFromBytes(b.section("placeholder", SCN_CODE, bytes(2)).bytes(), "a.o");
        // Rename the third section in place, whatever the name.
        coff->cScnHdr[c.name] = coff->cScnHdr["placeholder"];
        coff->cScnHdr.erase("placeholder");
        coff->cScnNum[3] = c.name;
        l.addInput(std::move(coff));
        std::string err;
        EXPECT_EQ(l.collectSectionInfo(err), c.message.empty()) << "'" << c.name << "'";
        EXPECT_EQ(err, c.message);
    }
}

// ---------------------------------------------------------------- SECTION

TEST(LinkerVerifyAttributes, ContentsAgainstRomAndRam)
{
    struct Case
    {
        uint32_t flags;
        std::string rom, ram, message;
    } cases[] = {
        {SCN_CODE, "page", "", ""},
        {SCN_CODE, "", "bank", "section 's' contains code and can not have a 'RAM' memory attribute specified in the linker command file."},
        {SCN_IDATA, "", "bank", ""},
        {SCN_IDATA, "page", "", "section 's' contains initialized data and can not have a 'ROM' memory attribute specified in the linker command file."},
        {SCN_UDATA, "", "bank", ""},
        {SCN_UDATA, "page", "", "section 's' contains uninitialized data and can not have a 'ROM' memory attribute specified in the linker command file."},
        {SCN_ROMDATA, "page", "", ""},
        {SCN_ROMDATA, "", "bank", "section 's' contains initialized rom data and can not have a 'RAM' memory attribute specified in the linker command file."},
    };
    for (const Case &c : cases) {
        TestLinker l;
        l.codePage("page", 0, 0xFF);
        l.dataBank("bank", 0x20, 0x7F);
        l.sectionDesc("nothing", "page", "bank"); // names no input section
        l.sectionDesc("s", c.rom, c.ram);
        l.addInput(objectFor(TEST_CORE14, "a.o").section("s", c.flags, bytes(2)));
        std::string err;
        ASSERT_TRUE(l.collectSectionInfo(err)) << err;
        EXPECT_EQ(l.verifySectionAttributes(err), c.message.empty()) << c.message;
        EXPECT_EQ(err, c.message);
    }
}
