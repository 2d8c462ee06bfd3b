// Coff names in and out of the string table, the record predicates, and
// the copy semantics of the object.

#include "coff.h"
#include "coff_testutil.h"
#include "coffbuilder.h"

TEST(CoffNames, EightCharactersStayInline)
{
    coff_syment s;
    Coff::setName(s, StrTbl(), "abcdefgh");
    EXPECT_FALSE(Coff::hasLongName(s));
    EXPECT_EQ(std::string(s._n_name, 8), "abcdefgh");
    EXPECT_EQ(Coff::getName(s, StrTbl()), "abcdefgh");
}

TEST(CoffNames, LongNameTakesTheSmallestEqualOffset)
{
    StrTbl tbl = {{4, "ninechars"}, {14, "other_name"}, {40, "ninechars"}};
    coff_scnhdr h;
    Coff::setName(h, tbl, "ninechars");
    EXPECT_TRUE(Coff::hasLongName(h));
    EXPECT_EQ(h._s_offset(), 4u);
    EXPECT_EQ(Coff::getName(h, tbl), "ninechars");
    coff_syment s;
    Coff::setName(s, tbl, "other_name");
    EXPECT_EQ(s._n_offset(), 14u);
}

TEST(CoffNames, FileNameAlwaysComesFromTheTable)
{
    StrTbl tbl = {{4, "x.c"}};
    EXPECT_EQ(Coff::getName(aux_file{4, 0}, tbl), "x.c");
}

class CoffNamesDeathTest : public testing::Test
{
protected:
    void SetUp() override { deathTestsInFreshProcess(); }
};

TEST_F(CoffNamesDeathTest, MissingOffsetsAreFatal)
{
    auto toStderr = [] { std::cout.rdbuf(std::cerr.rdbuf()); };
    coff_scnhdr h;
    h.setLongNameOffset(8);
    EXPECT_EXIT((toStderr(), Coff::getName(h, StrTbl())), testing::ExitedWithCode(255),
                "^Error - Unable to find section name in string table.\nErrors    : 1\n");
    coff_syment s;
    s.setLongNameOffset(8);
    EXPECT_EXIT((toStderr(), Coff::getName(s, StrTbl())), testing::ExitedWithCode(255),
                "Error - Unable to find symbol name in string table.\n");
    EXPECT_EXIT((toStderr(), Coff::getName(aux_file{9, 0}, StrTbl{{4, "a"}})), testing::ExitedWithCode(255),
                "Error - Unable to find aux_file name in string table.\n");
    EXPECT_EXIT((toStderr(), Coff::setName(h, StrTbl(), "long_section")), testing::ExitedWithCode(255),
                "Error - Could not find section name 'long_section' in string table.\n");
    EXPECT_EXIT((toStderr(), Coff::setName(s, StrTbl(), "long_symbol")), testing::ExitedWithCode(255),
                "Error - Could not find symbol name 'long_symbol' in string table.\n");
}

TEST(CoffPredicates, Symbols)
{
    coff_syment s;
    s.n_sclass = C_STAT;
    s.n_scnum = -1;
    EXPECT_FALSE(Coff::isRelocatable(s));
    s.n_sclass = C_LABEL;
    s.n_scnum = 1;
    EXPECT_TRUE(Coff::isRelocatable(s));
    s.n_sclass = C_FILE;
    EXPECT_FALSE(Coff::isRelocatable(s));
    s.n_sclass = C_EXT;
    EXPECT_TRUE(Coff::isExternalDef(s));
    EXPECT_FALSE(Coff::isExternalRef(s));
    s.n_scnum = 0;
    EXPECT_TRUE(Coff::isExternalRef(s));
    s.n_scnum = -1;
    EXPECT_FALSE(Coff::isExternalDef(s));
    EXPECT_FALSE(Coff::isExternalRef(s));

    setInlineName(s._n_name, ".data");
    s.n_sclass = C_STAT;
    EXPECT_TRUE(Coff::isSectionSymbol(s));
    s.n_sclass = C_EXT;
    EXPECT_FALSE(Coff::isSectionSymbol(s));
    s.n_sclass = C_SECTION;
    EXPECT_TRUE(Coff::isSectionSymbol(s));
    s.n_sclass = C_UNTAG;
    EXPECT_TRUE(Coff::isTag(s));
}

TEST(CoffPredicates, FileHeaderFlags)
{
    coff_filehdr h;
    EXPECT_TRUE(Coff::hasRelocInfo(h));
    EXPECT_FALSE(Coff::isExecutable(h));
    EXPECT_TRUE(Coff::hasLineInfo(h));
    EXPECT_TRUE(Coff::hasLocalSymbols(h));
    h.f_flags = 0x0086; // a stripped executable
    EXPECT_TRUE(Coff::hasRelocInfo(h));
    EXPECT_TRUE(Coff::isExecutable(h));
    EXPECT_FALSE(Coff::hasLineInfo(h));
    EXPECT_FALSE(Coff::hasLocalSymbols(h));
    h.f_flags = F_RELFLG;
    EXPECT_FALSE(Coff::hasRelocInfo(h));
    EXPECT_TRUE(Coff::isFunctionLine(coff_lineno{0, 0, 0, 3, 0}));
    EXPECT_FALSE(Coff::isFunctionLine(coff_lineno{0, 0, 0, 2, 0}));
}

TEST(CoffPredicates, SectionTypeTakesTheFirstBit)
{
    coff_scnhdr h;
    EXPECT_EQ(Coff::sectionType(h), SCNTYPE_UNKNOWN);
    h.s_flags = SCN_CODE | SCN_UDATA;
    EXPECT_EQ(Coff::sectionType(h), SCNTYPE_CODE);
    EXPECT_TRUE(Coff::isUdata(h)); // each bit alone, without precedence
    h.s_flags = SCN_ROMDATA | SCN_IDATA;
    EXPECT_EQ(Coff::sectionType(h), SCNTYPE_IDATA);
    h.s_flags = SCN_ROMDATA | SCN_ACCESS;
    EXPECT_EQ(Coff::sectionType(h), SCNTYPE_ROMDATA);
    EXPECT_TRUE(Coff::isAccess(h));
    EXPECT_FALSE(Coff::isShared(h));
}

TEST(CoffPredicates, SetSectionFlagsStartsFromZero)
{
    coff_scnhdr h;
    h.s_flags = SCN_OVERLAY | SCN_CODE;
    Coff::setSectionFlags(h, SCNTYPE_UDATA, true, true, false);
    EXPECT_EQ(h.s_flags, 0x3080u);
    Coff::setSectionFlags(h, SCNTYPE_UNKNOWN, false, false, true);
    EXPECT_EQ(h.s_flags, 0x8000u);
    Coff::setSectionFlags(h, SCNTYPE_ROMDATA, false, false, false);
    EXPECT_EQ(h.s_flags, 0x0100u);
}

TEST(CoffRecordsCompare, ByTheirKeyFields)
{
    EXPECT_TRUE((reloc{1, 2, 3, 4}) == (reloc{1, 2, 9, 4}));
    EXPECT_FALSE((reloc{1, 2, 3, 4}) == (reloc{1, 2, 3, 5}));
    EXPECT_TRUE((reloc{1, 9, 0, 0}) < (reloc{2, 0, 0, 0}));
    EXPECT_TRUE((coff_lineno{1, 2, 3, 0, 0}) == (coff_lineno{1, 2, 3, 1, 7}));
    EXPECT_FALSE((coff_lineno{1, 2, 3, 0, 0}) == (coff_lineno{1, 2, 4, 0, 0}));
    EXPECT_TRUE((coff_lineno{9, 2, 0, 0, 0}) < (coff_lineno{0, 3, 0, 0, 0}));
}

TEST(CoffCopy, SharesNothingWithItsSource)
{
    Coff a = CoffBuilder().section(".code", SCN_CODE, {1, 2}).symbol("s", 0, 1, C_EXT).coff();
    Coff b(a);
    b.cRawData[".code"].data()[0] = 9;
    b.cSymbols[0].n_value = 5;
    EXPECT_EQ(a.cRawData[".code"].data()[0], 1);
    EXPECT_EQ(a.cSymbols[0].n_value, 0u);
    Coff c;
    c = a;
    c.cRawData[".code"].data()[1] = 7;
    EXPECT_EQ(a.cRawData[".code"].data()[1], 2);
    c = c;
    EXPECT_EQ(c.cRawData[".code"].data()[1], 7);
}
