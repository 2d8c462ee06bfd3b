// Coff::verify: each check's message, its index, and the boundaries.

#include "coff.h"
#include "coff_testutil.h"
#include "coffbuilder.h"

namespace {

CoffBuilder twoSections()
{
    return CoffBuilder()
        .name("v.o")
        .section(".a", SCN_CODE, {0, 0})
        .section(".b", SCN_CODE, {0, 0})
        .symbol("s0", 0, ".a", C_EXT)
        .symbol("s1", 0, -2, C_STAT)
        .symbol("s2", 0, 0, C_EXT);
}

std::string verifyText(const Coff &c, bool expected = false)
{
    ReportCapture cap;
    EXPECT_EQ(c.verify(), expected);
    return cap.text();
}

} // namespace

TEST(CoffVerify, SoundObjectPasses) { EXPECT_EQ(verifyText(twoSections().coff(), true), ""); }

TEST(CoffVerify, SectionNumbers)
{
    Coff c = twoSections().coff();
    c.cSymbols[2].n_scnum = 3; // two sections only
    c.cSymbols[1].n_scnum = -1;
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o' symbol[2] has an invalid n_scnum.\n");

    Coff none = CoffBuilder().symbol("d", 0, -2, C_STAT).coff();
    EXPECT_EQ(verifyText(none, true), "");
}

TEST(CoffVerify, NameOffsets)
{
    Coff c = CoffBuilder()
                 .name("v.o")
                 .section("long_section_name", SCN_CODE, {0})
                 .symbol("long_symbol_name", 0, 1, C_EXT)
                 .coff();
    c.cSymbols[0].setLongNameOffset(99);
    c.cScnHdr["long_section_name"].setLongNameOffset(98);
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o' symbol[0] has an invalid n_offset.\n"
                             "Error - Coff file 'v.o' section[0] has an invalid s_offset.\n");
}

TEST(CoffVerify, RelocationIndexBoundary)
{
    Coff c = twoSections().coff();
    c.cReloc[".a"].push_back(reloc{0, 3, 0, 1}); // equals the slot count
    c.cReloc[".a"].push_back(reloc{2, 2, 0, 1}); // the last slot
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o', section '.a' reloc[0] has an invalid r_symndx.\n");
}

TEST(CoffVerify, RelocationsWithoutSymbols)
{
    Coff c = CoffBuilder().name("v.o").section(".a", SCN_CODE, {0}).section(".b", SCN_CODE, {0}).coff();
    c.cReloc[".a"].push_back(reloc{0, 7, 0, 1});
    c.cReloc[".a"].push_back(reloc{0, 9, 0, 1});
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o' has relocation entries but an empty symbol table.\n");
}

TEST(CoffVerify, AuxIndexesGiveOneMessagePerSlot)
{
    aux_fcn bad{100, 0, 0, 200};
    Coff c = CoffBuilder()
                 .name("v.o")
                 .section(".a", SCN_CODE, {0})
                 .symbol("f", 0, ".a", C_EXT, DT_FCN << 4)
                 .aux(bad)
                 .symbol("t", 0, -2, C_STRTAG)
                 .aux(aux_tag{0, 3}) // the last slot: fine
                 .coff();
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o' symbol[1] has an invalid x_tagndx or x_endndx.\n");
}

TEST(CoffVerify, AuxSlotsAreNotCheckedAsSymbols)
{
    aux_scn scn;
    scn.x_scnlen = 0; // first name bytes 0: would be a long name at offset x_nreloc
    scn.x_nreloc = 0x55;
    Coff c = CoffBuilder().name("v.o").section(".a", SCN_CODE, {0}).symbol(".a", 0, ".a", C_STAT).aux(scn).coff();
    c.cSymbols[1].n_scnum = 77;
    EXPECT_EQ(verifyText(c, true), "");
}

TEST(CoffVerify, LineIndexes)
{
    Coff c = twoSections().coff();
    c.cLineInfo[".b"].push_back(coff_lineno{0, 1, 0, 0, 0});
    c.cLineInfo[".b"].push_back(coff_lineno{3, 1, 0, 1, 4});
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o', section '.b' line[1] has an invalid l_srcndx.\n"
                             "Error - Coff file 'v.o', section '.b' line[1] has an invalid l_fcnndx.\n");
}

TEST(CoffVerify, DuplicateSectionNames)
{
    Coff c = twoSections().coff();
    c.cScnNum[3] = ".a";
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o', cScnHdr.size() != cScnNum.size() . \n");
}

TEST(CoffVerify, ChecksRunInOrderAndAllAreReported)
{
    Coff c = twoSections().coff();
    c.cScnNum[3] = ".a";
    c.cSymbols[0].n_scnum = 9;
    c.cReloc[".b"].push_back(reloc{0, 50, 0, 1});
    EXPECT_EQ(verifyText(c), "Error - Coff file 'v.o' symbol[0] has an invalid n_scnum.\n"
                             "Error - Coff file 'v.o', section '.b' reloc[0] has an invalid r_symndx.\n"
                             "Error - Coff file 'v.o', cScnHdr.size() != cScnNum.size() . \n");
}
