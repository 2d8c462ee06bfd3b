// Section loading, symbol and line relocation, the merged string table and
// external resolution, seen through whole links: every value below is
// worked out by hand from the placement the comments give.

#include "link_fixture.h"

#include <gtest/gtest.h>

namespace {

// A 14-bit device with one page: without initialised data ".cinit" is the
// count alone, 2 bytes as RETLW words, 2 locations at 0x000-0x001.
LinkRun &core14Memory(LinkRun &run)
{
    run.codePage("page0", 0, 0x7FF).dataBank("gpr0", 0x20, 0x6F);
    return run;
}

CoffBuilder codeObject(const std::vector<uint8_t> &code) { return core14Object().section(".code", SCN_CODE, code); }

TEST(LinkExternals, NameDefinedInTwoInputsFails)
{
    LinkRun run;
    core14Memory(run)
        .object("a.o", codeObject({0, 0}).symbol("main", 0, ".code", C_EXT))
        .object("b.o", codeObject({0, 0}).symbol("main", 1, ".code", C_EXT));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "symbol 'main' has multiple definitions.");
    EXPECT_FALSE(run.dir.exists("out.o"));
}

TEST(LinkExternals, UserSymbolNamedLikeTheLinkersFails)
{
    LinkRun run;
    core14Memory(run).object("a.o", codeObject({0, 0}).symbol("_cinit", 0, ".code", C_EXT));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "symbol '_cinit' has multiple definitions.");
}

TEST(LinkExternals, StackSymbolsExistOnlyWithAStack)
{
    LinkRun run;
    core14Memory(run).object("a.o", codeObject({0, 0}).symbol("_stack", 0, 0, C_EXT));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "could not resolve symbol '_stack' in file '" + run.dir.file("a.o") + "'.");

    // With a stack of 16 bytes it lands at 0x20, the start of gpr0.
    LinkRun withStack;
    core14Memory(withStack).stack(16).object("a.o", codeObject({0, 0}).symbol("_stack", 0, 0, C_EXT));
    ASSERT_TRUE(withStack.link()) << withStack.err;
    EXPECT_EQ(withStack.output()->cSymbols[0].n_value, 0x20u);
}

TEST(LinkExternals, ReferenceToAMissingSectionFails)
{
    LinkRun run;
    core14Memory(run).object("a.o", codeObject({0, 0}).symbol(".nosuch", 0, 0, C_EXT));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "could not resolve section reference 'nosuch' in file '" + run.dir.file("a.o") + "'.");
}

TEST(LinkExternals, StaticsOfOneNameInTwoInputsDoNotClash)
{
    LinkRun run;
    core14Memory(run)
        .object("a.o", codeObject({0, 0}).symbol("loop", 0, ".code", C_STAT))
        .object("b.o", codeObject({0, 0}).symbol("loop", 1, ".code", C_STAT));
    ASSERT_TRUE(run.link()) << run.err;
    // ".code" at 0x002: a.o's part there, b.o's at 0x003.
    auto out = run.output();
    EXPECT_EQ(out->cSymbols[0].n_value, 0x002u);
    EXPECT_EQ(out->cSymbols[1].n_value, 0x004u);
}

TEST(LinkLines, LineNumbersMoveWithTheirCodeAndRenumberTheirSymbols)
{
    // ".code" (6 bytes) at 0x002-0x004: a.o's part at 0x002, b.o's at
    // 0x004; romdata "tbl" at 0x005. a.o has 2 slots (.file and its entry),
    // so b.o's slots start at 2: its ".file" at 2, "fn" at 4, fn's entry 5.
    LinkRun run;
    aux_fcn fcn;
    fcn.x_endndx = 3;
    core14Memory(run)
        .object("a.o", codeObject({0, 0, 0, 0}).file("a.asm").line(".code", 12, 0).line(".code", 13, 1))
        .object("b.o", codeObject({0, 0})
                           .section("tbl", SCN_ROMDATA, {0, 0})
                           .file("b.asm")
                           .symbol("fn", 0, ".code", C_EXT, DT_FCN << 4)
                           .aux(fcn)
                           .line(".code", 7, 0, "fn")
                           .line("tbl", 99, 0));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    const std::vector<coff_lineno> &lines = out->cLineInfo.at(".code");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].l_lnno, 12);
    EXPECT_EQ(lines[0].l_paddr, 0x002u);
    EXPECT_EQ(lines[0].l_srcndx, 0u);
    EXPECT_EQ(lines[1].l_lnno, 13);
    EXPECT_EQ(lines[1].l_paddr, 0x003u);
    EXPECT_EQ(lines[2].l_lnno, 7);
    EXPECT_EQ(lines[2].l_paddr, 0x004u);
    EXPECT_EQ(lines[2].l_srcndx, 2u);
    EXPECT_EQ(lines[2].l_fcnndx, 4u);
    // Lines of a romdata section are not carried over.
    EXPECT_EQ(out->cScnHdr.at("tbl").s_nlnno, 0);

    ASSERT_EQ(out->cSymbols.size(), 6u);
    EXPECT_EQ(out->cSymbols[4].n_value, 0x004u);
    aux_fcn moved = auxOf<aux_fcn>(out->cSymbols[5]);
    EXPECT_EQ(moved.x_endndx, 5u);
    EXPECT_EQ(moved.x_tagndx, 2u); // moved although it was 0
}

TEST(LinkStrings, LongNamesShareOneMergedTable)
{
    // The distinct strings in byte order: alpha_function at 4, then
    // beta_long_name at 4 + 14 + 1 = 19.
    LinkRun run;
    core14Memory(run)
        .object("a.o", codeObject({0, 0})
                           .symbol("beta_long_name", 1, ".code", C_STAT)
                           .symbol("alpha_function", 0, ".code", C_EXT))
        .object("b.o", codeObject({0, 0}).symbol("alpha_function", 0, 0, C_EXT));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    StrTbl expected = {{4, "alpha_function"}, {19, "beta_long_name"}};
    EXPECT_EQ(out->cStrTbl, expected);
    ASSERT_EQ(out->cSymbols.size(), 3u);
    EXPECT_EQ(out->cSymbols[0]._n_offset(), 19u);
    EXPECT_EQ(out->cSymbols[1]._n_offset(), 4u);
    EXPECT_EQ(out->cSymbols[2]._n_offset(), 4u);
    EXPECT_EQ(out->cSymbols[2].n_value, 0x002u);
}

TEST(LinkStrings, FileSymbolWithoutItsEntryLeavesTheNextSymbolAlone)
{
    // The slot after a ".file" symbol without an auxiliary entry is a
    // symbol of its own: its name must survive the renumbering.
    LinkRun run;
    core14Memory(run)
        .object("a.o", codeObject({0, 0})
                           .symbol("some_long_label", 0, ".code", C_STAT)
                           .symbol(".file", 0, -2, C_FILE)
                           .symbol("main", 1, ".code", C_EXT))
        .object("b.o", codeObject({0, 0}).symbol("main", 0, 0, C_EXT));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    ASSERT_EQ(out->cSymbols.size(), 4u);
    EXPECT_EQ(Coff::getName(out->cSymbols[2], out->cStrTbl), "main");
    EXPECT_EQ(out->cSymbols[3].n_value, 0x003u);
}

TEST(LinkLoading, TheSameFileUnderTwoNamesIsTwoInputs)
{
    // a.o and ./a.o: ".code" is 4 bytes at 0x002-0x003, the first copy's
    // part at 0x002, the second's at 0x003. Each copy keeps its own load
    // record and its own first output slot (3 slots per copy).
    LinkRun run;
    CoffBuilder a = codeObject({0x01, 0x34}).file("a.asm").symbol("loop", 1, ".code", C_LABEL).line(".code", 5, 1);
    run.dir.write("a.o", a.bytes());
    core14Memory(run);
    ASSERT_TRUE(run.linker.addObjectFile(run.dir.file("a.o"), run.err));
    ASSERT_TRUE(run.linker.addObjectFile(run.dir.path() + "/./a.o", run.err));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    EXPECT_EQ(rawBytes(*out, ".code"), (std::vector<uint8_t>{0x01, 0x34, 0x01, 0x34}));
    ASSERT_EQ(out->cSymbols.size(), 6u);
    EXPECT_EQ(out->cSymbols[2].n_value, 0x003u);
    EXPECT_EQ(out->cSymbols[5].n_value, 0x004u);
    const std::vector<coff_lineno> &lines = out->cLineInfo.at(".code");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].l_paddr, 0x003u);
    EXPECT_EQ(lines[0].l_srcndx, 0u);
    EXPECT_EQ(lines[1].l_paddr, 0x004u);
    EXPECT_EQ(lines[1].l_srcndx, 3u);
}

TEST(LinkLoading, TwoLibraryMembersOfOneNameAreTwoInputs)
{
    // main.o needs f1 and f2; lib1 and lib2 each have a member util.o, the
    // first defining f1, the second f2. Both are imported, f1's first.
    // ".code" (2 + 2 + 4 bytes) at 0x002-0x005: main.o's part at 0x002,
    // the first util.o's at 0x003, the second's at 0x004. Output slots:
    // main.o 0-1, the first util.o 2-4 (.file, aux, f1), the second 5-7.
    // The merged strings are u1.asm at 4 and u2.asm at 4 + 7 = 11.
    LinkRun run;
    core14Memory(run)
        .object("main.o", codeObject({0x00, 0x28}).symbol("f1", 0, 0, C_EXT).symbol("f2", 0, 0, C_EXT))
        .library("lib1.lib",
                 ArchiveBuilder().member(
                     "util.o", codeObject({0x11, 0x30}).file("u1.asm").symbol("f1", 0, ".code", C_EXT).line(".code", 7, 0)))
        .library("lib2.lib", ArchiveBuilder().member("util.o", codeObject({0x22, 0x30, 0x33, 0x30})
                                                                   .file("u2.asm")
                                                                   .symbol("f2", 1, ".code", C_EXT)
                                                                   .line(".code", 9, 1)));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    EXPECT_EQ(rawBytes(*out, ".code"), (std::vector<uint8_t>{0x00, 0x28, 0x11, 0x30, 0x22, 0x30, 0x33, 0x30}));
    ASSERT_EQ(out->cSymbols.size(), 8u);
    EXPECT_EQ(out->cSymbols[0].n_value, 0x003u); // f1 in main.o
    EXPECT_EQ(out->cSymbols[1].n_value, 0x005u); // f2 in main.o
    EXPECT_EQ(out->cSymbols[4].n_value, 0x003u);
    EXPECT_EQ(out->cSymbols[7].n_value, 0x005u);
    EXPECT_EQ(auxOf<aux_file>(out->cSymbols[3]).x_offset, 4u);
    EXPECT_EQ(auxOf<aux_file>(out->cSymbols[6]).x_offset, 11u);
    StrTbl strings = {{4, "u1.asm"}, {11, "u2.asm"}};
    EXPECT_EQ(out->cStrTbl, strings);
    const std::vector<coff_lineno> &lines = out->cLineInfo.at(".code");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].l_paddr, 0x003u);
    EXPECT_EQ(lines[0].l_srcndx, 2u);
    EXPECT_EQ(lines[1].l_paddr, 0x005u);
    EXPECT_EQ(lines[1].l_srcndx, 5u);
}

TEST(LinkLoading, PartsOfOddLengthThatOverrunTheirSectionFail)
{
    // Two 3-byte parts in 2-byte locations take 2 locations each, but the
    // 6-byte section has only 3.
    LinkRun run;
    core14Memory(run).object("a.o", codeObject({1, 2, 3})).object("b.o", codeObject({4, 5, 6}));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "section '.code' of file '" + run.dir.file("b.o") +
                           "' does not fit into the locations allocated for the section.");
    EXPECT_FALSE(run.dir.exists("out.o"));

    // An odd part last fits: 4 + 3 bytes in 4 locations.
    LinkRun fits;
    core14Memory(fits).object("a.o", codeObject({1, 2, 3, 4})).object("b.o", codeObject({5, 6, 7}));
    ASSERT_TRUE(fits.link()) << fits.err;
    EXPECT_EQ(rawBytes(*fits.output(), ".code"), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(LinkLoading, AbsolutePartsCopyTheirOwnBytes)
{
    // Overlay parts of 4 and 2 bytes at 0x100: the later part overwrites
    // the first two bytes. An absolute section of 3 bytes in 2-byte
    // locations keeps its 3 bytes.
    LinkRun run;
    core14Memory(run)
        .object("a.o", core14Object()
                           .section("ovl", SCN_CODE | SCN_ABS | SCN_OVERLAY, {1, 2, 3, 4}, 0x100)
                           .section("odd", SCN_CODE | SCN_ABS, {7, 7, 7}, 0x200))
        .object("b.o", core14Object().section("ovl", SCN_CODE | SCN_ABS | SCN_OVERLAY, {9, 9}, 0x100));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(rawBytes(*out, "ovl"), (std::vector<uint8_t>{9, 9, 3, 4}));
    EXPECT_EQ(out->cScnHdr.at("ovl").s_paddr, 0x100u);
    EXPECT_EQ(out->cScnHdr.at("ovl").s_flags, SCN_CODE | SCN_ABS);
    EXPECT_EQ(rawBytes(*out, "odd"), (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(out->cScnHdr.at("odd").s_paddr, 0x200u);
}

TEST(LinkLoading, OverlayPartsStartTogether)
{
    // A relocatable overlay of 2 and 4 bytes is 4 bytes long; both parts,
    // and the labels in them, start at its first location, 0x002.
    LinkRun run;
    core14Memory(run)
        .object("a.o", core14Object().section("ovl", SCN_CODE | SCN_OVERLAY, {1, 2}).symbol("x", 1, "ovl", C_STAT))
        .object("b.o",
                core14Object().section("ovl", SCN_CODE | SCN_OVERLAY, {5, 6, 7, 8}).symbol("y", 1, "ovl", C_STAT));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(rawBytes(*out, "ovl"), (std::vector<uint8_t>{5, 6, 7, 8}));
    EXPECT_EQ(out->cSymbols[0].n_value, 0x003u);
    EXPECT_EQ(out->cSymbols[1].n_value, 0x003u);
}

TEST(LinkPatch, GotoReachesTheResolvedAddressInAnotherFile)
{
    // ".code" at 0x002: a.o's GOTO at 0x002, b.o's "target" at 0x003. The
    // patcher reads the reference's value after external resolution.
    LinkRun run;
    core14Memory(run)
        .object("a.o", codeObject({0x00, 0x28}).symbol("target", 0, 0, C_EXT).reloc(".code", 0, "target", 2))
        .object("b.o", codeObject({0x00, 0x00}).symbol("target", 0, ".code", C_EXT));
    ASSERT_TRUE(run.link()) << run.err;
    // GOTO 0x003: 0x2800 | 3.
    EXPECT_EQ(rawBytes(*run.output(), ".code"), (std::vector<uint8_t>{0x03, 0x28, 0x00, 0x00}));
}

} // namespace
