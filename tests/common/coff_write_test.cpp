// The writer pinned against an image worked out by hand, the layout rules
// of preWrite and size, and the line pointers of function entries.

#include "coff.h"
#include "coff_testutil.h"
#include "coffbuilder.h"
#include "tooltest.h"

#include <ctime>

namespace {

// Two sections, a .file symbol, an inline and a long symbol name, one
// relocation and one line.
CoffBuilder pinnedObject()
{
    return CoffBuilder()
        .processor(0xA1, 14, 8)
        .timeStamp(0x11223344)
        .section(".code", SCN_CODE, {0x01, 0x02, 0x03, 0x04})
        .udata(".bss", 2)
        .file("a.asm")
        .symbol("main", 0, ".code", C_EXT)
        .symbol("long_symbol", 2, ".bss", C_STAT)
        .reloc(".code", 2, "main", 4, -1)
        .line(".code", 7, 1);
}

// clang-format off
const Bytes PINNED = {
    // file header
    0x34, 0x12,             // f_magic
    0x02, 0x00,             // f_nscns
    0x44, 0x33, 0x22, 0x11, // f_timdat
    0x94, 0x00, 0x00, 0x00, // f_symptr = 148
    0x04, 0x00, 0x00, 0x00, // f_nsyms
    0x10, 0x00,             // f_opthdr
    0x00, 0x00,             // f_flags
    // optional header
    0x00, 0x00,             // magic
    0x00, 0x00,             // vstamp
    0xA1, 0x00, 0x00, 0x00, // proc_type
    0x0E, 0x00, 0x00, 0x00, // rom_width_bits
    0x08, 0x00, 0x00, 0x00, // ram_width_bits
    // section 1 at 36
    '.', 'c', 'o', 'd', 'e', 0, 0, 0,
    0x00, 0x00, 0x00, 0x00, // s_paddr
    0x00, 0x00, 0x00, 0x00, // s_vaddr
    0x04, 0x00, 0x00, 0x00, // s_size
    0x74, 0x00, 0x00, 0x00, // s_scnptr = 116
    0x78, 0x00, 0x00, 0x00, // s_relptr = 120
    0x84, 0x00, 0x00, 0x00, // s_lnnoptr = 132
    0x01, 0x00,             // s_nreloc
    0x01, 0x00,             // s_nlnno
    0x20, 0x00, 0x00, 0x00, // s_flags: code
    // section 2 at 76
    '.', 'b', 's', 's', 0, 0, 0, 0,
    0x00, 0x00, 0x00, 0x00, // s_paddr
    0x00, 0x00, 0x00, 0x00, // s_vaddr
    0x02, 0x00, 0x00, 0x00, // s_size
    0x00, 0x00, 0x00, 0x00, // s_scnptr: udata has no raw data
    0x00, 0x00, 0x00, 0x00, // s_relptr
    0x00, 0x00, 0x00, 0x00, // s_lnnoptr
    0x00, 0x00,             // s_nreloc
    0x00, 0x00,             // s_nlnno
    0x80, 0x00, 0x00, 0x00, // s_flags: udata
    // raw data at 116
    0x01, 0x02, 0x03, 0x04,
    // relocation at 120
    0x02, 0x00, 0x00, 0x00, // r_vaddr
    0x02, 0x00, 0x00, 0x00, // r_symndx: main
    0xFF, 0xFF,             // r_offset -1
    0x04, 0x00,             // r_type
    // line number at 132
    0x00, 0x00, 0x00, 0x00, // l_srcndx: the .file symbol
    0x07, 0x00,             // l_lnno
    0x01, 0x00, 0x00, 0x00, // l_paddr
    0x00, 0x00,             // l_flags
    0x00, 0x00, 0x00, 0x00, // l_fcnndx
    // symbol 0 at 148: .file
    '.', 'f', 'i', 'l', 'e', 0, 0, 0,
    0x00, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0x00, 0x00, 0x67, 0x01,
    // symbol 1: its aux_file, name at string offset 4
    0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // symbol 2: main in section 1, external
    'm', 'a', 'i', 'n', 0, 0, 0, 0,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00,
    // symbol 3: long_symbol at string offset 10, section 2, static
    0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00,
    // string table at 220
    0x16, 0x00, 0x00, 0x00, // length 22
    'a', '.', 'a', 's', 'm', 0,
    'l', 'o', 'n', 'g', '_', 's', 'y', 'm', 'b', 'o', 'l', 0,
};
// clang-format on

} // namespace

TEST(CoffWrite, ImageMatchesHandWorkedBytes)
{
    EXPECT_EQ(pinnedObject().bytes(), PINNED);
    EXPECT_EQ(PINNED.size(), 242u);
    EXPECT_EQ(pinnedObject().coff().size(), 242u);
}

TEST(CoffWrite, ReadThenWriteGivesTheSameBytes)
{
    std::unique_ptr<Coff> c = coffFromBytes(PINNED);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->size(), PINNED.size());
    std::ostringstream out;
    ASSERT_TRUE(c->write(out, 0));
    std::string s = out.str();
    EXPECT_EQ(Bytes(s.begin(), s.end()), PINNED);
}

TEST(CoffPreWrite, EmptyObject)
{
    Coff c;
    std::time_t before = std::time(nullptr);
    c.preWrite();
    EXPECT_EQ(c.cFileHdr.f_magic, 0x1234);
    EXPECT_EQ(c.cFileHdr.f_nscns, 0);
    EXPECT_EQ(c.cFileHdr.f_symptr, 0u);
    EXPECT_EQ(c.cFileHdr.f_nsyms, 0u);
    EXPECT_GE(c.cFileHdr.f_timdat, uint32_t(before));
    EXPECT_LE(c.cFileHdr.f_timdat, uint32_t(std::time(nullptr)));
    // 36 bytes of headers and a string table of length 4
    EXPECT_EQ(c.size(), 40u);
}

TEST(CoffPreWrite, UdataAndEmptySectionsTakeNoRawBytes)
{
    Coff c = CoffBuilder()
                 .section(".empty", SCN_CODE, {})
                 .udata(".bss", 16)
                 .section(".code", SCN_CODE, {0xAA, 0xBB})
                 .coff();
    const uint32_t rawStart = 36 + 3 * 40;
    EXPECT_EQ(c.cScnHdr[".empty"].s_size, 0u);
    EXPECT_EQ(c.cScnHdr[".empty"].s_scnptr, 0u);
    EXPECT_EQ(c.cScnHdr[".bss"].s_size, 16u);
    EXPECT_EQ(c.cScnHdr[".bss"].s_scnptr, 0u);
    // Neither moved the raw pointer.
    EXPECT_EQ(c.cScnHdr[".code"].s_scnptr, rawStart);
    // The udata bytes are not written: headers, 2 raw bytes, string table.
    EXPECT_EQ(c.size(), rawStart + 2 + 4);
}

TEST(CoffPreWrite, SectionWithoutRelocationsGetsZeroPointer)
{
    Coff c = CoffBuilder()
                 .section("a", SCN_CODE, {0, 0})
                 .section("b", SCN_CODE, {0, 0})
                 .section("c", SCN_CODE, {0, 0})
                 .symbol("s", 0, "a", C_EXT)
                 .reloc("a", 0, "s", 1)
                 .reloc("c", 0, "s", 1)
                 .coff();
    const uint32_t relocStart = 36 + 3 * 40 + 6;
    EXPECT_EQ(c.cScnHdr["a"].s_relptr, relocStart);
    EXPECT_EQ(c.cScnHdr["b"].s_relptr, 0u);
    EXPECT_EQ(c.cScnHdr["b"].s_nreloc, 0);
    EXPECT_EQ(c.cScnHdr["c"].s_relptr, relocStart + 12);
    // Every numbered section now has its (possibly empty) lists.
    EXPECT_EQ(c.cReloc.count("b"), 1u);
    EXPECT_EQ(c.cLineInfo.count("b"), 1u);
}

TEST(CoffPreWrite, SectionsAreWrittenInNumberOrder)
{
    Bytes img = CoffBuilder().section("b", SCN_CODE, {0xB0}).section("a", SCN_CODE, {0xA0}).bytes();
    EXPECT_EQ(img[36], 'b');
    EXPECT_EQ(img[76], 'a');
    EXPECT_EQ(img[116], 0xB0);
    EXPECT_EQ(img[117], 0xA0);
}

TEST(CoffFixupAuxFcns, LastLineOfTheFunctionDecides)
{
    aux_fcn fcn;
    fcn.x_lnnoptr = 0x77;
    CoffBuilder b;
    b.section(".code", SCN_CODE, {0, 0, 0, 0})
        .file("f.c")
        .symbol("f", 0, ".code", C_EXT, DT_FCN << 4)
        .aux(fcn)
        .symbol("g", 0, ".code", C_EXT);
    for (int pos = 0; pos < 8; pos++) {
        if (pos == 2 || pos == 3 || pos == 7)
            b.line(".code", uint16_t(pos), 0, "f");
        else if (pos == 5)
            b.line(".code", uint16_t(pos), 0, "g"); // another function
        else
            b.line(".code", uint16_t(pos), 0);      // no function flag
    }
    Coff c = b.coff();
    uint32_t f = b.symbolIndex("f");
    EXPECT_EQ(auxOf<aux_fcn>(c.cSymbols[f + 1]).x_lnnoptr, c.cScnHdr[".code"].s_lnnoptr + 112);
}

TEST(CoffFixupAuxFcns, NoMatchingLineKeepsThePointer)
{
    aux_fcn fcn;
    fcn.x_lnnoptr = 0x77;
    Coff c = CoffBuilder()
                 .section(".code", SCN_CODE, {0, 0})
                 .symbol("f", 0, ".code", C_EXT, DT_FCN << 4)
                 .aux(fcn)
                 .line(".code", 1, 0)
                 .coff();
    EXPECT_EQ(auxOf<aux_fcn>(c.cSymbols[1]).x_lnnoptr, 0x77u);
}

TEST(CoffFixupAuxFcns, FunctionInTheLastSlotIsLeftAlone)
{
    Coff c = CoffBuilder().section(".code", SCN_CODE, {0, 0}).symbol("f", 0, ".code", C_EXT, DT_FCN << 4).coff();
    c.cSymbols[0].n_numaux = 1; // claims an entry that is not there
    c.cLineInfo[".code"].push_back(coff_lineno{0, 1, 0, 1, 0});
    c.fixupAuxFcns();
    EXPECT_EQ(c.cSymbols.size(), 1u);
}

TEST(CoffWrite, StaleLayoutIsWrittenLaidOut)
{
    // Changed after layout: the writer must not emit the stale offsets.
    Coff c = pinnedObject().coff();
    c.cRawData[".code"].append(Data(4));
    std::ostringstream out;
    ASSERT_TRUE(c.write(out, 0));
    std::string s = out.str();
    std::unique_ptr<Coff> back = coffFromBytes(Bytes(s.begin(), s.end()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cRawData[".code"].size(), 8u);
    EXPECT_EQ(back->cReloc[".code"].size(), 1u);
    EXPECT_EQ(back->cFileHdr.f_timdat, 0x11223344u); // the time stamp is kept
    EXPECT_EQ(s.size(), PINNED.size() + 4);
}

TEST(CoffWrite, DuplicateSectionNamesAreRefused)
{
    Coff c = pinnedObject().coff();
    c.cScnNum[3] = ".code";
    ReportCapture cap;
    std::ostringstream out;
    EXPECT_FALSE(c.write(out, 0));
    EXPECT_EQ(cap.text(), "Error - Coff file 'test.o' could not write section header.\n");
}

TEST(CoffWrite, ByNameReplacesTheFileWhole)
{
    TempDir dir;
    Coff c = pinnedObject().coff();
    c.cName = dir.file("out.o");
    dir.write("out.o", std::string("old contents"));
    ASSERT_TRUE(c.write());
    EXPECT_EQ(dir.read("out.o"), PINNED);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.o"});
}

TEST(CoffWrite, FailedWriteLeavesTheOldFile)
{
    TempDir dir;
    Coff c = pinnedObject().coff();
    c.cName = dir.file("out.o");
    c.cScnNum[3] = ".code";
    dir.write("out.o", std::string("old contents"));
    ReportCapture cap;
    EXPECT_FALSE(c.write());
    EXPECT_EQ(dir.readText("out.o"), "old contents");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.o"});
}

TEST(CoffWrite, UnwritableDirectory)
{
    Coff c = pinnedObject().coff();
    c.cName = "/nonexistent-dir/x.o";
    ReportCapture cap;
    EXPECT_FALSE(c.write());
    EXPECT_EQ(cap.text(), "Error - Could not open Coff file '/nonexistent-dir/x.o' for writing.\n");
}

TEST(CoffWrite, EachStepReportsItsFailure)
{
    Coff c = pinnedObject().coff();
    const std::pair<size_t, const char *> steps[] = {
        {0, "could not write file header."},
        {20, "could not write optional file header."},
        {36, "could not write section header."},
        {116, "could not write raw data."},
        {120, "could not write reloc."},
        {132, "could not write lineinfo."},
        {148, "could not write symbol."},
        {220, "could not write string table length."},
        {224, "could not write string."},
    };
    for (const auto &[room, message] : steps) {
        FailingBuf buf(room);
        std::ostream out(&buf);
        ReportCapture cap;
        EXPECT_FALSE(c.write(out, 0)) << room;
        EXPECT_EQ(cap.text(), std::string("Error - Coff file 'test.o' ") + message + "\n");
        EXPECT_EQ(buf.taken, std::string(PINNED.begin(), PINNED.begin() + long(room)));
    }
    FailingBuf buf(PINNED.size());
    std::ostream out(&buf);
    EXPECT_TRUE(c.write(out, 0));
}
