// A whole link for the byte-addressed family: wide ".cinit" entries,
// images copied byte for byte, a stack, a library member pulled in for a
// reference, a section reference, fill sections in two CODEPAGEs, and the
// map file of the result, all worked out by hand.

#include "link_fixture.h"

#include <gtest/gtest.h>

namespace {

// vectors 0x00-0x07 (PROTECTED, FILL 0xFFFF), rom0 0x08-0xFF (FILL
// 0x00120034), gpr0 0x00-0x5F, gpr1 0x100-0x1FF, STACK 0x20.
// main.o: absolute code "reset" at 0 (4 bytes), ".code" (6 bytes, "start"
//         at 0), idata "vars" 01..05 ("count" at 4); references "util",
//         "_stack", "_stksize" and ".vars"; a ".file" and its ".eof".
// lib.lib member util.o: ".code" (4 bytes, "util" at 2), references "count".
//
// Placement: "reset" at 0x00 of vectors; the stack at 0x00-0x1F of gpr0
// (the DATABANK with the smaller largest hole); ".cinit" (2 + 12 bytes) at
// 0x08-0x15 of rom0; then largest first: ".code" (10 bytes, even start) at
// 0x16-0x1F, "vars" at 0x20-0x24 of gpr0, "vars_i" at 0x20-0x24 of rom0.
// main.o's ".code" starts at 0x16, util.o's at 0x1C.
LinkRun &program(LinkRun &run)
{
    run.codePage("vectors", 0x00, 0x07, "0xFFFF", true)
        .codePage("rom0", 0x08, 0xFF, "0x00120034")
        .dataBank("gpr0", 0x00, 0x5F)
        .dataBank("gpr1", 0x100, 0x1FF)
        .stack(0x20);
    run.object("main.o", core16eObject()
                             .section("reset", SCN_CODE | SCN_ABS, {0xEF, 0x0B, 0xF0, 0x00}, 0x00)
                             .section(".code", SCN_CODE, {0x12, 0x0E, 0x34, 0x0E, 0x12, 0x00})
                             .section("vars", SCN_IDATA, {0x01, 0x02, 0x03, 0x04, 0x05})
                             .file("main.asm")
                             .symbol("start", 0, ".code", C_EXT)
                             .symbol("count", 4, "vars", C_EXT)
                             .symbol("util", 0, 0, C_EXT)
                             .symbol("_stack", 0, 0, C_EXT)
                             .symbol("_stksize", 0, 0, C_EXT)
                             .symbol(".vars", 0, 0, C_EXT)
                             .symbol(".eof", 0, -2, C_FILE));
    run.library("lib.lib", ArchiveBuilder().member(
                               "util.o", core16eObject()
                                             .section(".code", SCN_CODE, {0x00, 0x00, 0x12, 0x00})
                                             .symbol("util", 2, ".code", C_EXT)
                                             .symbol("count", 0, 0, C_EXT)));
    return run;
}

TEST(LinkCore16E, SectionsAndFillSections)
{
    LinkRun run;
    ASSERT_TRUE(program(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    std::map<int32_t, std::string> numbers = {{1, "reset"},  {2, ".code"},  {3, "vars"},    {4, "vars_i"},
                                              {5, ".cinit"}, {6, ".stack"}, {7, ".fill_1"}, {8, ".fill_2"}};
    EXPECT_EQ(out->cScnNum, numbers);
    struct Expect
    {
        const char *name;
        uint32_t paddr, size, flags;
    };
    for (const Expect &e : {Expect{"reset", 0x00, 4, 0x1020}, Expect{".code", 0x16, 10, 0x0020},
                            Expect{"vars", 0x20, 5, 0x0040}, Expect{"vars_i", 0x20, 5, 0x0100},
                            Expect{".cinit", 0x08, 14, 0x0100}, Expect{".stack", 0x00, 0x20, 0x0080},
                            Expect{".fill_1", 0x04, 4, 0x0020}, Expect{".fill_2", 0x25, 219, 0x0020}}) {
        const coff_scnhdr &h = out->cScnHdr.at(e.name);
        EXPECT_EQ(h.s_paddr, e.paddr) << e.name;
        EXPECT_EQ(h.s_size, e.size) << e.name;
        EXPECT_EQ(h.s_flags, e.flags) << e.name;
    }
    // The stack has a size but no bytes in the file.
    EXPECT_EQ(out->cScnHdr.at(".stack").s_scnptr, 0u);
}

TEST(LinkCore16E, ContentsImagesAndWideCopyTable)
{
    LinkRun run;
    ASSERT_TRUE(program(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    EXPECT_EQ(rawBytes(*out, "reset"), (std::vector<uint8_t>{0xEF, 0x0B, 0xF0, 0x00}));
    EXPECT_EQ(rawBytes(*out, ".code"),
              (std::vector<uint8_t>{0x12, 0x0E, 0x34, 0x0E, 0x12, 0x00, 0x00, 0x00, 0x12, 0x00}));
    // 8-bit program words hold the initial values as they are.
    EXPECT_EQ(rawBytes(*out, "vars_i"), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0x05}));
    // Count 1; image 0x20, data 0x20, size 5, each as 32 bits.
    EXPECT_EQ(rawBytes(*out, ".cinit"),
              (std::vector<uint8_t>{0x01, 0x00, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0x05, 0, 0, 0}));
    EXPECT_EQ(rawBytes(*out, ".fill_1"), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    // 219 bytes: 109 words 0x0012, 0x0034, ... and one byte left over, the
    // low byte of 0x0034, which comes next.
    std::vector<uint8_t> fill = rawBytes(*out, ".fill_2");
    ASSERT_EQ(fill.size(), 219u);
    for (size_t w = 0; w < 109; ++w) {
        ASSERT_EQ(fill[2 * w], w % 2 ? 0x34 : 0x12) << w;
        ASSERT_EQ(fill[2 * w + 1], 0x00) << w;
    }
    EXPECT_EQ(fill[218], 0x34);
}

TEST(LinkCore16E, LinkerSymbolsMemberSymbolsAndSectionReferences)
{
    LinkRun run;
    ASSERT_TRUE(program(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    // main.o: .file + aux, start, count, util, _stack, _stksize, .vars,
    // .eof; then util.o: util, count.
    ASSERT_EQ(out->cSymbols.size(), 11u);
    auto value = [&](size_t i) { return out->cSymbols[i].n_value; };
    EXPECT_EQ(value(2), 0x16u); // start
    EXPECT_EQ(value(3), 0x24u); // count
    EXPECT_EQ(value(4), 0x1Eu); // util, from the member
    EXPECT_EQ(value(5), 0x00u); // _stack
    EXPECT_EQ(value(6), 0x20u); // _stksize
    EXPECT_EQ(value(7), 0x20u); // .vars: the start of section vars
    EXPECT_EQ(value(9), 0x1Eu); // util in util.o
    EXPECT_EQ(value(10), 0x24u); // count, referenced from util.o
    EXPECT_EQ(Coff::getName(auxOf<aux_file>(out->cSymbols[1]), out->cStrTbl), "main.asm");
}

TEST(LinkCore16E, WarnsOnceForTheFillPatternCutShort)
{
    LinkRun run;
    uint32_t before = warningCount();
    ASSERT_TRUE(program(run).link()) << run.err;
    // ".fill_1" takes two whole patterns; ".fill_2" is cut short.
    EXPECT_EQ(warningCount() - before, 1u);
}

TEST(LinkCore16E, MapFile)
{
    LinkRun run;
    ASSERT_TRUE(program(run).map().link()) << run.err;
    std::vector<std::string> lines = run.mapLines();
    ASSERT_NO_FATAL_FAILURE(takeMapHeader(lines));
    // The raw string starts with the empty line that opens the sections.
    std::vector<std::string> expected = splitLines(R"(
                                 Section Info
                  Section       Type    Address   Location Size(Bytes)
                ---------  ---------  ---------  ---------  ---------
                    reset       code   0x000000    program   0x000004
                  .fill_1       code   0x000004    program   0x000004
                   .cinit    romdata   0x000008    program   0x00000e
                    .code       code   0x000016    program   0x00000a
                   vars_i    romdata   0x000020    program   0x000005
                  .fill_2       code   0x000025    program   0x0000db
                   .stack      udata   0x000000       data   0x000020
                     vars      idata   0x000020       data   0x000005



                              Program Memory Usage 
                               Start         End      
                           ---------   ---------      
                            0x000000    0x0000ff      
            256 out of 256 program addresses used, program memory utilization is 100%



                              Symbols - Sorted by Name
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                    start   0x000016    program     extern main.asm                 
                     util   0x00001e    program     extern                          
                    count   0x000024       data     extern main.asm                 



                              Symbols - Sorted by Address
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                    start   0x000016    program     extern main.asm                 
                     util   0x00001e    program     extern                          
                    count   0x000024       data     extern main.asm                 


)");
    expectLines(lines, expected);
}

} // namespace
