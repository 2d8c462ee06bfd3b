// The output object: strip, fill sections and their numbering, the images
// of the 12- and 16-bit families, long image names in the string table,
// the map's program memory usage, and outputs never left half-written.

#include "bytes.h"
#include "link_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

TEST(LinkOutput, StripLeavesOutSymbolsAndLinesButNotContents)
{
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).strip();
    run.object("a.o", core14Object()
                          .section(".code", SCN_CODE, {0x01, 0x30})
                          .file("a.asm")
                          .symbol("main", 0, ".code", C_EXT)
                          .line(".code", 3, 0));
    ASSERT_TRUE(run.link()) << run.err;
    std::vector<uint8_t> image = run.dir.read("out.o");
    ASSERT_GE(image.size(), 20u);
    EXPECT_EQ(getU16(&image[18]), 0x0086);  // f_flags
    EXPECT_EQ(getU32(&image[8]), 0u);       // f_symptr
    EXPECT_EQ(getU32(&image[12]), 0u);      // f_nsyms
    // Sections .code then .cinit; .code's header at 36: no line numbers,
    // and its two bytes right after the two headers.
    EXPECT_EQ(getU16(&image[36 + 34]), 0);  // s_nlnno
    EXPECT_EQ(getU32(&image[36 + 28]), 0u); // s_lnnoptr
    uint32_t scnptr = getU32(&image[36 + 20]);
    EXPECT_EQ(scnptr, 36u + 2 * 40);
    EXPECT_EQ(image[scnptr], 0x01);
    EXPECT_EQ(image[scnptr + 1], 0x30);
}

TEST(LinkOutput, FillSectionsAreNumberedAcrossPagesInHoleOrder)
{
    // Byte-addressed pages p0 0x00-0x0F and p1 0x10-0x1F, FILL 0xA5A5 (in
    // p1 as the decimal 42405). The absolute "c1" (4 bytes at 0x08) leaves
    // p0 the holes 0x00-0x07 and 0x0C-0x0F. ".cinit" (2 bytes) goes to p0,
    // the page with the smaller largest hole, into its smallest hole:
    // 0x0C-0x0D, leaving 0x0E-0x0F behind 0x00-0x07 in the list. "c2" (4
    // bytes) takes 0x00-0x03 and leaves 0x04-0x07 last. So p0's holes in
    // list order are 0x0E-0x0F and 0x04-0x07, then comes p1's.
    LinkRun run;
    run.codePage("p0", 0x00, 0x0F, "0xA5A5").codePage("p1", 0x10, 0x1F, "42405");
    run.object("a.o", core16eObject()
                          .section("c1", SCN_CODE | SCN_ABS, {1, 2, 3, 4}, 0x08)
                          .section("c2", SCN_CODE, {5, 6, 7, 8}));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->cScnHdr.at(".cinit").s_paddr, 0x0Cu);
    EXPECT_EQ(out->cScnHdr.at("c2").s_paddr, 0x00u);
    std::map<int32_t, std::string> numbers = {{1, "c1"},      {2, "c2"},      {3, ".cinit"},
                                              {4, ".fill_1"}, {5, ".fill_2"}, {6, ".fill_3"}};
    EXPECT_EQ(out->cScnNum, numbers);
    EXPECT_EQ(out->cScnHdr.at(".fill_1").s_paddr, 0x0Eu);
    EXPECT_EQ(rawBytes(*out, ".fill_1"), std::vector<uint8_t>(2, 0xA5));
    EXPECT_EQ(out->cScnHdr.at(".fill_2").s_paddr, 0x04u);
    EXPECT_EQ(rawBytes(*out, ".fill_2"), std::vector<uint8_t>(4, 0xA5));
    EXPECT_EQ(out->cScnHdr.at(".fill_3").s_paddr, 0x10u);
    EXPECT_EQ(rawBytes(*out, ".fill_3"), std::vector<uint8_t>(16, 0xA5));
}

TEST(LinkOutput, DecimalFillOverAnOddStretchWarns)
{
    // 65535 over 5 unused bytes: FF FF FF FF FF and the warning.
    LinkRun run;
    run.codePage("p0", 0x00, 0x06, "65535");
    run.object("a.o", core16eObject().section("c", SCN_CODE, {}));
    uint32_t before = warningCount();
    ASSERT_TRUE(run.link()) << run.err;
    EXPECT_EQ(warningCount() - before, 1u);
    auto out = run.output();
    ASSERT_TRUE(out);
    // ".cinit" takes 0x00-0x01, the empty "c" takes nothing.
    EXPECT_EQ(out->cScnHdr.at(".fill_1").s_paddr, 0x02u);
    EXPECT_EQ(rawBytes(*out, ".fill_1"), std::vector<uint8_t>(5, 0xFF));
}

TEST(LinkOutput, FillOnAnOversizedCodePageIsRefused)
{
    Linker linker;
    std::string err;
    EXPECT_FALSE(linker.addCodePage(Memory("big", 0, 0x1000000, rom, false, true, "0x3FFF"), err));
    EXPECT_EQ(err, "CODEPAGE 'big' is too large to be filled: its 16777217 locations and the 0 of the CODEPAGEs with "
                   "FILL before it pass the 16777216 one link may fill ");
    EXPECT_TRUE(linker.addCodePage(Memory("big", 0, 0xFFFFFE, rom, false, true, "0x3FFF"), err));
    EXPECT_TRUE(linker.addCodePage(Memory("huge", 0x1000000, 0xFFFFFFFD, rom, false, false, ""), err));
    // Only the filled page taken counts against the link's budget.
    EXPECT_FALSE(linker.addCodePage(Memory("more", 0xFFFFFFFE, 0xFFFFFFFF, rom, false, true, "0"), err));
    EXPECT_EQ(err, "CODEPAGE 'more' is too large to be filled: its 2 locations and the 16777215 of the CODEPAGEs "
                   "with FILL before it pass the 16777216 one link may fill ");
}

TEST(LinkOutput, Core12ImagesAreRetlwTables)
{
    // 12-bit words: RETLW is 0x800 | literal. ".cinit" (2 + 6 bytes as
    // words, 16 bytes) at 0x000, then "d_i" (4 bytes) at 0x008, "d" at 0x10.
    LinkRun run;
    run.codePage("page0", 0, 0x1FF).dataBank("gpr0", 0x10, 0x1F);
    run.object("a.o", core12Object().section("d", SCN_IDATA, {0xAB, 0xCD}));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->cScnHdr.at("d_i").s_paddr, 0x008u);
    EXPECT_EQ(rawBytes(*out, "d_i"), (std::vector<uint8_t>{0xAB, 0x08, 0xCD, 0x08}));
    EXPECT_EQ(rawBytes(*out, ".cinit"), (std::vector<uint8_t>{0x01, 0x08, 0x00, 0x08, 0x08, 0x08, 0x00, 0x08,
                                                               0x10, 0x08, 0x00, 0x08, 0x02, 0x08, 0x00, 0x08}));
}

TEST(LinkOutput, Core16ImagesAreCopiesAndTheTableNarrow)
{
    // 16-bit words hold two bytes each: ".cinit" is 8 bytes (4 words) at
    // 0x000, "d_i" (3 bytes, 2 words) at 0x004.
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).dataBank("gpr0", 0x20, 0xFF);
    run.object("a.o", core16Object().section("d", SCN_IDATA, {1, 2, 3}));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(rawBytes(*out, "d_i"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(rawBytes(*out, ".cinit"), (std::vector<uint8_t>{0x01, 0x00, 0x04, 0x00, 0x20, 0x00, 0x03, 0x00}));
}

TEST(LinkOutput, EmptyIdataSectionGetsNoTableEntry)
{
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).dataBank("gpr0", 0x20, 0xFF);
    run.object("a.o", core16Object().section("d", SCN_IDATA, {}));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(rawBytes(*out, ".cinit"), (std::vector<uint8_t>{0x00, 0x00}));
    EXPECT_EQ(rawBytes(*out, "d_i"), std::vector<uint8_t>{});
}

TEST(LinkOutput, LongImageNamesGoIntoTheStringTable)
{
    // No input has a string table: the first image name starts at 4.
    // "buffer12_i" (10 characters) needs an entry, "buf_i" does not.
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).dataBank("gpr0", 0x20, 0xFF);
    run.object("a.o", core16Object().section("buffer12", SCN_IDATA, {1}).section("buf", SCN_IDATA, {2}));
    ASSERT_TRUE(run.link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    StrTbl expected = {{4, "buffer12_i"}};
    EXPECT_EQ(out->cStrTbl, expected);
    EXPECT_TRUE(out->cScnHdr.at("buffer12_i").hasLongName());
    EXPECT_EQ(out->cScnHdr.at("buffer12_i")._s_offset(), 4u);
    EXPECT_FALSE(out->cScnHdr.at("buf_i").hasLongName());
}

TEST(LinkOutput, AFailedLinkLeavesAnOldOutputUntouched)
{
    LinkRun run;
    run.codePage("page0", 0, 0x7FF);
    run.object("a.o", core14Object().section(".code", SCN_CODE, {0, 0}).symbol("nowhere", 0, 0, C_EXT));
    run.dir.write("out.o", std::string("old"));
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.dir.readText("out.o"), "old");
}

TEST(LinkOutput, MapThatCannotBeWrittenFailsTheLinkAfterTheExecutable)
{
    // A directory stands where the map should go: the partial map reports
    // that it could not be opened, once; the map is not tried again.
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).map("sub");
    std::filesystem::create_directory(run.dir.file("sub"));
    run.object("a.o", core14Object().section(".code", SCN_CODE, {0, 0}));
    uint32_t before = errorCount();
    EXPECT_FALSE(run.link());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(errorCount() - before, 1u);
    EXPECT_TRUE(run.dir.exists("out.o"));
}

TEST(LinkOutput, MapOfA14BitLink)
{
    // ".cinit" 4 bytes at 0x000 (2 words), "code" 20 bytes at 0x002 (10
    // words), "tbl" 3 bytes at 0x00C (2 words): one run 0x000-0x00D, 14
    // of 2048 addresses, 0 percent.
    LinkRun run;
    run.codePage("page0", 0, 0x7FF).map();
    run.object("a.o", core14Object()
                          .section("code", SCN_CODE, std::vector<uint8_t>(20, 0))
                          .section("tbl", SCN_ROMDATA, {1, 2, 3})
                          .symbol("lbl", 2, "code", C_LABEL));
    ASSERT_TRUE(run.link()) << run.err;
    std::vector<std::string> lines = run.mapLines();
    ASSERT_GE(lines.size(), 2u);
    lines.erase(lines.begin(), lines.begin() + 2);
    std::vector<std::string> expected = splitLines(R"(
                                 Section Info
                  Section       Type    Address   Location Size(Bytes)
                ---------  ---------  ---------  ---------  ---------
                   .cinit    romdata   0x000000    program   0x000004
                     code       code   0x000002    program   0x000014
                      tbl    romdata   0x00000c    program   0x000003



                              Program Memory Usage 
                               Start         End      
                           ---------   ---------      
                            0x000000    0x00000d      
            14 out of 2048 program addresses used, program memory utilization is 0%



                              Symbols - Sorted by Name
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                      lbl   0x000004    program     static                          



                              Symbols - Sorted by Address
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                      lbl   0x000004    program     static                          


)");
    expectLines(lines, expected);
}

TEST(LinkOutput, MapCountsSectionsOf64KAddressesInFull)
{
    // Byte-addressed page 0x00000-0x10003 with FILL: ".cinit" (2 bytes) at
    // 0x00000, the empty "c" takes nothing, ".fill_1" covers 0x00002-0x10003,
    // 0x10002 addresses. One run over the whole page: 65540 of 65540.
    LinkRun run;
    run.codePage("p", 0x00000, 0x10003, "0xFFFF").map();
    run.object("a.o", core16eObject().section("c", SCN_CODE, {}));
    ASSERT_TRUE(run.link()) << run.err;
    std::vector<std::string> lines = run.mapLines();
    auto usage = std::find(lines.begin(), lines.end(), std::string(30, ' ') + "Program Memory Usage ");
    ASSERT_GE(std::distance(usage, lines.end()), 5);
    EXPECT_EQ(usage[3], std::string(26, ' ') + "  0x000000    0x010003      ");
    EXPECT_EQ(usage[4], "            65540 out of 65540 program addresses used, program memory utilization is 100%");
}

} // namespace
