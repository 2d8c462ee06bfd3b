// Whole links for a device with 14-bit program words, read back with the
// suite's own reader and checked against addresses and bytes worked out
// by hand.

#include "link_fixture.h"

#include <gtest/gtest.h>

namespace {

// page0 0x000-0x7FF (FILL 0x3FFF), gpr0 0x20-0x6F.
// a.o: ".code" 4 bytes with "main" at 0, idata "data1" 11 22 33 with the
//      static "table" at 1.
// b.o: ".code" 6 bytes with "helper" at 2, a reference to "main".
//
// Allocation: ".cinit" holds one entry: (2 + 6) bytes as RETLW words = 16
// bytes = 8 locations at 0x000-0x007. Then largest first: ".code" (10
// bytes, 5 locations) at 0x008-0x00C, "data1_i" (6 bytes) at 0x00D-0x00F,
// "data1" (3 bytes) at 0x20 of gpr0. a.o's part of ".code" starts at 0x008,
// b.o's at 0x00A. The rest of page0, 0x010-0x7FF, becomes ".fill_1".
LinkRun &twoFiles(LinkRun &run)
{
    run.codePage("page0", 0, 0x7FF, "0x3FFF").dataBank("gpr0", 0x20, 0x6F);
    run.object("a.o", core14Object()
                          .section(".code", SCN_CODE, {0x01, 0x30, 0x02, 0x30})
                          .section("data1", SCN_IDATA, {0x11, 0x22, 0x33})
                          .symbol("main", 0, ".code", C_EXT)
                          .symbol("table", 1, "data1", C_STAT));
    run.object("b.o", core14Object()
                          .section(".code", SCN_CODE, {0x03, 0x30, 0x04, 0x30, 0x05, 0x30})
                          .symbol("helper", 2, ".code", C_EXT)
                          .symbol("main", 0, 0, C_EXT));
    return run;
}

TEST(LinkCore14, SectionsGetTheirAddressesAndNumbers)
{
    LinkRun run;
    ASSERT_TRUE(twoFiles(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    std::map<int32_t, std::string> numbers = {{1, ".code"}, {2, "data1"}, {3, "data1_i"}, {4, ".cinit"},
                                              {5, ".fill_1"}};
    EXPECT_EQ(out->cScnNum, numbers);
    EXPECT_EQ(out->cScnHdr.at(".code").s_paddr, 0x008u);
    EXPECT_EQ(out->cScnHdr.at(".code").s_flags, SCN_CODE);
    EXPECT_EQ(out->cScnHdr.at(".code").s_size, 10u);
    EXPECT_EQ(out->cScnHdr.at("data1").s_paddr, 0x20u);
    EXPECT_EQ(out->cScnHdr.at("data1").s_flags, SCN_IDATA);
    EXPECT_EQ(out->cScnHdr.at("data1_i").s_paddr, 0x00Du);
    EXPECT_EQ(out->cScnHdr.at("data1_i").s_flags, SCN_ROMDATA);
    EXPECT_EQ(out->cScnHdr.at(".cinit").s_paddr, 0x000u);
    EXPECT_EQ(out->cScnHdr.at(".cinit").s_flags, SCN_ROMDATA);
    EXPECT_EQ(out->cScnHdr.at(".fill_1").s_paddr, 0x010u);
    EXPECT_EQ(out->cScnHdr.at(".fill_1").s_flags, SCN_CODE);
    for (const auto &[name, hdr] : out->cScnHdr) {
        EXPECT_EQ(hdr.s_vaddr, 0u) << name;
        EXPECT_EQ(hdr.s_nreloc, 0u) << name;
    }
}

TEST(LinkCore14, ContentsLandWhereTheAllocationPutThem)
{
    LinkRun run;
    ASSERT_TRUE(twoFiles(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    // b.o's part follows a.o's two words.
    EXPECT_EQ(rawBytes(*out, ".code"),
              (std::vector<uint8_t>{0x01, 0x30, 0x02, 0x30, 0x03, 0x30, 0x04, 0x30, 0x05, 0x30}));
    EXPECT_EQ(rawBytes(*out, "data1"), (std::vector<uint8_t>{0x11, 0x22, 0x33}));
    // RETLW 0x11, RETLW 0x22, RETLW 0x33 (RETLW is 0x3400 | literal).
    EXPECT_EQ(rawBytes(*out, "data1_i"), (std::vector<uint8_t>{0x11, 0x34, 0x22, 0x34, 0x33, 0x34}));
    // Table 01 00 | 0D 00 20 00 03 00, each byte a RETLW word.
    EXPECT_EQ(rawBytes(*out, ".cinit"), (std::vector<uint8_t>{0x01, 0x34, 0x00, 0x34, 0x0D, 0x34, 0x00, 0x34, 0x20,
                                                               0x34, 0x00, 0x34, 0x03, 0x34, 0x00, 0x34}));
    std::vector<uint8_t> fill = rawBytes(*out, ".fill_1");
    ASSERT_EQ(fill.size(), 2u * (0x7FF - 0x010 + 1));
    for (size_t i = 0; i < fill.size(); i += 2)
        ASSERT_TRUE(fill[i] == 0xFF && fill[i + 1] == 0x3F) << i;
}

TEST(LinkCore14, SymbolsAndReferencesTakeFinalAddresses)
{
    LinkRun run;
    ASSERT_TRUE(twoFiles(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);

    ASSERT_EQ(out->cSymbols.size(), 4u);
    // Name, value and section number of the symbol at index i.
    auto expectSymbol = [&](size_t i, const std::string &name, uint32_t value, int16_t scnum) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Coff::getName(out->cSymbols[i], out->cStrTbl), name);
        EXPECT_EQ(out->cSymbols[i].n_value, value);
        EXPECT_EQ(out->cSymbols[i].n_scnum, scnum);
    };
    expectSymbol(0, "main", 0x008u, 1);
    expectSymbol(1, "table", 0x21u, 2);
    expectSymbol(2, "helper", 0x00Cu, 1);
    // The reference keeps section 0 and carries its definition's address.
    expectSymbol(3, "main", 0x008u, 0);
}

TEST(LinkCore14, HeadersNameTheProcessorAndAnExecutable)
{
    LinkRun run;
    ASSERT_TRUE(twoFiles(run).link()) << run.err;
    auto out = run.output();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->cFileHdr.f_magic, 0x1234);
    EXPECT_EQ(out->cFileHdr.f_flags, 0x0002);
    EXPECT_EQ(out->cFileHdr.f_opthdr, 16);
    EXPECT_EQ(out->cFileHdr.f_nscns, 5);
    EXPECT_EQ(out->cFileHdr.f_nsyms, 4u);
    EXPECT_EQ(out->cOptHdr.proc_type, core14Type());
    EXPECT_EQ(out->cOptHdr.rom_width_bits, 14u);
    EXPECT_EQ(out->cOptHdr.ram_width_bits, 8u);
}

TEST(LinkCore14, MapFile)
{
    // Program addresses: ".cinit" 8, ".code" 5, "data1_i" 3 and ".fill_1"
    // 0x7F0 make one run 0x000-0x7FF, all 2048. b.o's reference to main
    // has no section and is not listed.
    LinkRun run;
    ASSERT_TRUE(twoFiles(run).map().link()) << run.err;
    std::vector<std::string> lines = run.mapLines();
    ASSERT_NO_FATAL_FAILURE(takeMapHeader(lines));
    std::vector<std::string> expected = splitLines(R"(
                                 Section Info
                  Section       Type    Address   Location Size(Bytes)
                ---------  ---------  ---------  ---------  ---------
                   .cinit    romdata   0x000000    program   0x000010
                    .code       code   0x000008    program   0x00000a
                  data1_i    romdata   0x00000d    program   0x000006
                  .fill_1       code   0x000010    program   0x000fe0
                    data1      idata   0x000020       data   0x000003



                              Program Memory Usage 
                               Start         End      
                           ---------   ---------      
                            0x000000    0x0007ff      
            2048 out of 2048 program addresses used, program memory utilization is 100%



                              Symbols - Sorted by Name
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                   helper   0x00000c    program     extern                          
                     main   0x000008    program     extern                          
                    table   0x000021       data     static                          



                              Symbols - Sorted by Address
                     Name    Address   Location    Storage File                     
                ---------  ---------  ---------  --------- ---------                
                     main   0x000008    program     extern                          
                   helper   0x00000c    program     extern                          
                    table   0x000021       data     static                          


)");
    expectLines(lines, expected);
}

} // namespace
