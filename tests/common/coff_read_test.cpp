// Reading images: round trips, images inside larger files, the foreign
// layout, and every message of a broken image (built good, then broken in
// one field).

#include "coff.h"
#include "coff_testutil.h"
#include "coffbuilder.h"
#include "tooltest.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

CoffBuilder sample()
{
    return CoffBuilder()
        .processor(PROC_LAST_CODE)
        .timeStamp(1000)
        .section(".code", SCN_CODE, {0x01, 0x02, 0x03, 0x04})
        .section("a_long_section", SCN_ROMDATA | SCN_ABS, {0x05, 0x06}, 0x300)
        .udata(".bss", 16)
        .file("main.asm")
        .symbol("main", 0, ".code", C_EXT)
        .symbol("extern_ref", 0, 0, C_EXT)
        .reloc(".code", 0, "extern_ref", 2, 3)
        .line(".code", 10, 0)
        .line(".code", 11, 1);
}

// Offsets into sample(): three section headers from 36.
const size_t SCN1 = 36, SCN2 = 76, SCN3 = 116;

std::unique_ptr<Coff> readAt(const Bytes &file, uint64_t start, const std::string &name = "x.o")
{
    std::istringstream in(std::string(file.begin(), file.end()));
    return Coff::make(in, start, name);
}

// Reads a broken image and returns what the reader printed.
std::string failure(const Bytes &img)
{
    ReportCapture cap;
    EXPECT_FALSE(readAt(img, 0));
    EXPECT_EQ(cap.errors(), 1u);
    return cap.text();
}

} // namespace

TEST(CoffRead, ReadsWhatWasBuilt)
{
    std::unique_ptr<Coff> c = coffFromBytes(sample().bytes());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cOptHdr.proc_type, proc_type_word(PROC_LAST_CODE));
    EXPECT_EQ(c->cOptHdr.rom_width_bits, proc_rom_width(PROC_LAST_CODE));
    EXPECT_EQ(c->cScnNum, (std::map<int32_t, std::string>{{1, ".code"}, {2, "a_long_section"}, {3, ".bss"}}));
    EXPECT_EQ(c->cScnHdr["a_long_section"].s_paddr, 0x300u);
    EXPECT_TRUE(c->cScnHdr["a_long_section"].hasLongName());
    EXPECT_EQ(c->cRawData["a_long_section"].size(), 2u);
    // udata gets its size in zero bytes
    ASSERT_EQ(c->cRawData[".bss"].size(), 16u);
    EXPECT_EQ(c->cRawData[".bss"].data()[15], 0);
    ASSERT_EQ(c->cReloc[".code"].size(), 1u);
    EXPECT_EQ(c->cReloc[".code"][0].r_offset, 3);
    EXPECT_EQ(c->cReloc[".code"][0].r_symndx, 3u);
    ASSERT_EQ(c->cLineInfo[".code"].size(), 2u);
    EXPECT_EQ(c->cLineInfo[".code"][1].l_lnno, 11);
    EXPECT_EQ(c->cAuxKind, (std::vector<int32_t>{AUX_NONE, AUX_FILE, AUX_NONE, AUX_NONE}));
    EXPECT_EQ(Coff::getName(auxOf<aux_file>(c->cSymbols[1]), c->cStrTbl), "main.asm");
    EXPECT_EQ(Coff::getName(c->cSymbols[3], c->cStrTbl), "extern_ref");
}

TEST(CoffRead, EveryAuxKindSurvivesARoundTrip)
{
    aux_arr arr;
    arr.x_dimen[2] = 9;
    CoffBuilder b;
    b.section(".code", SCN_CODE, {0, 0})
        .file("a.c", 3)
        .symbol(".code", 0, ".code", C_STAT).aux(aux_scn{2, 0, 0})
        .symbol("tag", 0, -2, C_STRTAG, T_STRUCT).aux(aux_tag{4, 0})
        .symbol(".eos", 4, -2, C_EOS).aux(aux_eos{2, 4})
        .symbol("f", 0, ".code", C_EXT, DT_FCN << 4).aux(aux_fcn{0, 2, 0, 11})
        .symbol("arr", 0, ".code", C_STAT, DT_ARY << 4).aux(arr)
        .symbol(".bf", 0, ".code", C_FCN).aux(aux_bobf{5, 11})
        .symbol(".ef", 0, ".code", C_FCN).aux(aux_eobf{6})
        .symbol("v", 0, ".code", C_STAT, T_UNION).aux(aux_var{2, 4});
    Bytes img = b.bytes();
    std::unique_ptr<Coff> c = coffFromBytes(img);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cAuxKind, (std::vector<int32_t>{0, AUX_FILE, 0, AUX_SCN, 0, AUX_TAG, 0, AUX_EOS, 0, AUX_FCN, 0,
                                                 AUX_ARR, 0, AUX_BOBF, 0, AUX_EOBF, 0, AUX_VAR}));
    EXPECT_EQ(auxOf<aux_file>(c->cSymbols[1]).x_incline, 3u);
    EXPECT_EQ(auxOf<aux_arr>(c->cSymbols[11]).x_dimen[2], 9);
    EXPECT_EQ(auxOf<aux_bobf>(c->cSymbols[13]).x_endndx, 11u);
    std::ostringstream out;
    ASSERT_TRUE(c->write(out, 0));
    EXPECT_EQ(out.str(), std::string(img.begin(), img.end()));
}

TEST(CoffRead, ImageInsideALargerFile)
{
    Bytes img = sample().bytes();
    Bytes file(1001, 0xCC);
    file.insert(file.end(), img.begin(), img.end());
    file.insert(file.end(), 50, 0xDD);
    std::unique_ptr<Coff> c = readAt(file, 1001);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cName, "x.o");
    EXPECT_EQ(c->cRawData[".code"].data()[3], 0x04);
    EXPECT_EQ(c->size(), img.size());
}

TEST(CoffRead, LastSlotClaimingAnAuxEntryGetsNone)
{
    Coff c = CoffBuilder().file("a.c").coff();
    c.cSymbols.pop_back();
    c.cAuxKind.pop_back();
    std::ostringstream out;
    ASSERT_TRUE(c.write(out, 0));
    std::string s = out.str();
    std::unique_ptr<Coff> back = coffFromBytes(Bytes(s.begin(), s.end()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cSymbols.size(), 1u);
    EXPECT_EQ(back->cAuxKind.size(), 1u);
}

TEST(CoffRead, EmptySectionKeepsNoTables)
{
    Bytes img = sample().bytes();
    putU32(img.data() + SCN1 + 16, 0); // s_size 0 while s_nreloc and s_nlnno say otherwise
    std::unique_ptr<Coff> c = coffFromBytes(img);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cRawData.count(".code"), 0u);
    EXPECT_EQ(c->cReloc.count(".code"), 0u);
    EXPECT_EQ(c->cLineInfo.count(".code"), 0u);
}

TEST(CoffRead, ImageWithoutSymbolsReadsBack)
{
    // What the linker writes when told to strip: no symbol table, the
    // string table after the last area.
    CoffBuilder b;
    b.section("a_long_section", SCN_CODE, {1, 2, 3}).flags(F_EXEC | F_LNNO | F_LSYMS);
    Bytes img = b.bytes();
    EXPECT_EQ(getU32(img.data() + 8), 0u);
    std::unique_ptr<Coff> c = coffFromBytes(img);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cScnNum[1], "a_long_section");
    EXPECT_EQ(c->size(), img.size());

    // Without any string table bytes at all the table is empty.
    Bytes bare = CoffBuilder().section(".code", SCN_CODE, {1, 2}).bytes();
    bare.resize(bare.size() - 4);
    c = coffFromBytes(bare);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->cStrTbl.empty());
    EXPECT_EQ(c->cRawData[".code"].size(), 2u);
}

TEST(CoffReadErrors, CannotOpen)
{
    ReportCapture cap;
    EXPECT_FALSE(Coff::make("/nonexistent-dir/a.o"));
    EXPECT_EQ(cap.text(), "Error - Could not open Coff file '/nonexistent-dir/a.o' for reading.\n");
}

TEST(CoffReadErrors, Headers)
{
    Bytes img = sample().bytes();
    EXPECT_EQ(failure(Bytes(img.begin(), img.begin() + 19)), "Error - Coff file 'x.o' could not read file header.\n");
    EXPECT_EQ(failure(Bytes(img.begin(), img.begin() + 30)),
              "Error - Coff file 'x.o' could not read optional file header.\n");
    Bytes bad = img;
    putU16(bad.data(), 0x0123);
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' does not appear to be a valid COFF file.\n");
    // No sections: the symbol table stands where a header would be.
    bad = CoffBuilder().symbol("a", 0, -1, C_EXT).bytes();
    putU16(bad.data() + 2, 1); // f_nscns
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read section header.\n");
}

TEST(CoffReadErrors, StringAndSymbolTables)
{
    Bytes img = sample().bytes();
    uint32_t symptr = getU32(img.data() + 8);
    uint32_t nsyms = getU32(img.data() + 12);
    uint32_t strPos = symptr + 18 * nsyms;

    Bytes bad = img;
    putU32(bad.data() + 8, 0xFFFFFFF0); // f_symptr past the end
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read string table length.\n");
    bad = img;
    putU32(bad.data() + 12, 0x10000000); // 18 x f_nsyms wraps in 32 bits
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read string table length.\n");
    bad = img;
    putU32(bad.data() + strPos, 0xFFFFFFF0); // a string table of nearly 4 GiB
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read string table.\n");
    bad = img;
    putU32(bad.data() + strPos, uint32_t(img.size() - strPos + 1)); // one byte too long
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read string table.\n");
}

TEST(CoffReadErrors, SectionContents)
{
    Bytes img = sample().bytes();
    Bytes bad = img;
    putU32(bad.data() + SCN1 + 20, 0xFFFFFFFE); // s_scnptr
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read raw data.\n");
    bad = img;
    putU32(bad.data() + SCN1 + 16, 0xFFFFFFFF); // s_size beyond the file
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read raw data.\n");
    bad = img;
    putU32(bad.data() + SCN1 + 28, 0xFFFFFFF8); // s_lnnoptr
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read line numbers.\n");
    bad = img;
    putU16(bad.data() + SCN1 + 34, 0xFFFF); // s_nlnno
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read line numbers.\n");
    bad = img;
    putU16(bad.data() + SCN1 + 32, 0xFFFF); // s_nreloc
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read relocation info.\n");
    bad = img;
    putU32(bad.data() + SCN1 + 24, 0x80000000); // s_relptr
    EXPECT_EQ(failure(bad), "Error - Coff file 'x.o' could not read relocation info.\n");
}

TEST(CoffReadErrors, SharedAreas)
{
    // sample(): .code's raw data at 156 (4 bytes), a_long_section's at 160
    // (2), .code's relocation entry at 162 (12), its line numbers at 174
    // (2 x 16).
    const std::string both = "Error - Coff file 'x.o' has overlapping areas: the ";
    const struct
    {
        size_t at;
        uint32_t value;
        const char *error; // nullptr: read
    } cases[] = {
        {SCN2 + 20, 156, "raw data of section '.code' and the raw data of section 'a_long_section' share the bytes from offset 156."},
        {SCN1 + 28, 162, "relocation entries of section '.code' and the line numbers of section '.code' share the bytes from offset 162."},
        {SCN2 + 20, 204, "line numbers of section '.code' and the raw data of section 'a_long_section' share the bytes from offset 204."},
        {SCN2 + 28, 174, nullptr}, // a_long_section has no line numbers to share
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.at);
        Bytes img = sample().bytes();
        putU32(img.data() + c.at, c.value);
        if (c.error)
            EXPECT_EQ(failure(img), both + c.error + "\n");
        else
            EXPECT_TRUE(readAt(img, 0));
    }
}

TEST(CoffReadErrors, ZeroFillIsBounded)
{
    // Uninitialised data takes no memory, whatever its size. Any other
    // section without raw data in the file gets its zero bytes, all images
    // of a run together within one budget.
    Data::resetZeroFillBudget();
    Bytes img = sample().bytes();
    Bytes udata = img;
    putU32(udata.data() + SCN3 + 16, 0xFFFFFFFF); // a udata section of 4 GiB
    std::unique_ptr<Coff> c = coffFromBytes(udata);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cRawData[".bss"].size(), 0xFFFFFFFFu);
    EXPECT_TRUE(c->cRawData[".bss"].isZeroFill());

    Bytes code = img;
    putU32(code.data() + SCN1 + 20, 0);                   // .code without raw data in the file
    putU32(code.data() + SCN1 + 16, (16u << 20) + 1);     // one byte more than the budget
    EXPECT_EQ(failure(code), "Error - Coff file 'x.o' could not read raw data.\n");
    putU32(code.data() + SCN1 + 16, 10u << 20);
    c = coffFromBytes(code);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->cRawData[".code"].isZeroFill());
    EXPECT_EQ(c->cRawData[".code"].at((10u << 20) - 1), 0);
    // A second such image finds 6 MiB left.
    EXPECT_EQ(failure(code), "Error - Coff file 'x.o' could not read raw data.\n");
    Data::resetZeroFillBudget();
}

TEST(CoffReadErrorsDeathTest, MissingSectionNameIsFatal)
{
    deathTestsInFreshProcess();
    Bytes img = sample().bytes();
    putU32(img.data() + SCN2 + 4, 2); // an offset with no string
    EXPECT_EXIT(
        {
            std::cout.rdbuf(std::cerr.rdbuf());
            coffFromBytes(img);
        },
        testing::ExitedWithCode(255), "Error - Unable to find section name in string table.\n");
}

TEST(CoffReadErrorsDeathTest, NoMemoryForTheFileIsOutOfMemory)
{
    deathTestsInFreshProcess();
    auto noMemory = [](const std::string &) {
        OpenedInput in;
        in.error = ENOMEM;
        return in;
    };
    EXPECT_EXIT((::dup2(2, 1), Coff::make("x.o", noMemory)), testing::ExitedWithCode(1), "\nout of memory\n");
}

namespace {

// A foreign image, laid out by hand: no optional header, 10-byte
// relocations, 6-byte line numbers and .file names inside their entries.
Bytes foreignImage()
{
    Bytes img(20 + 40, 0);
    putU16(img.data() + 0, 0x1234);
    putU16(img.data() + 2, 1);  // f_nscns
    putU32(img.data() + 4, 77); // f_timdat
    putU32(img.data() + 8, 92); // f_symptr
    putU32(img.data() + 12, 5); // f_nsyms
    putU16(img.data() + 16, 0); // f_opthdr: foreign
    // section header at 20
    std::copy_n(".text", 5, img.begin() + 20);
    putU32(img.data() + 20 + 16, 4);  // s_size
    putU32(img.data() + 20 + 20, 60); // s_scnptr
    putU32(img.data() + 20 + 24, 64); // s_relptr
    putU32(img.data() + 20 + 28, 74); // s_lnnoptr
    putU16(img.data() + 20 + 32, 1);  // s_nreloc
    putU16(img.data() + 20 + 34, 3);  // s_nlnno
    putU32(img.data() + 20 + 36, SCN_CODE);
    Bytes rest = {
        0xA0, 0xA1, 0xA2, 0xA3,                   // raw data at 60
        2, 0, 0, 0, 4, 0, 0, 0, 7, 0,             // relocation at 64: vaddr 2, symbol 4, type 7
        4, 0, 0, 0, 0, 0,                         // lines at 74: function in slot 4 follows
        0x10, 0, 0, 0, 5, 0,                      //   line 5 at 0x10
        0x12, 0, 0, 0, 6, 0,                      //   line 6 at 0x12
    };
    img.insert(img.end(), rest.begin(), rest.end());
    auto symbol = [&](const char *name, int16_t scnum, uint8_t sclass, uint8_t numaux) {
        uint8_t s[18] = {};
        std::copy_n(name, std::strlen(name), s);
        putU16(s + 12, uint16_t(scnum));
        s[16] = sclass;
        s[17] = numaux;
        img.insert(img.end(), s, s + 18);
    };
    symbol(".file", -2, C_FILE, 1); // slot 0 at 92
    Bytes name1(18, 0);
    std::copy_n("main.c", 6, name1.begin());
    img.insert(img.end(), name1.begin(), name1.end());
    symbol(".file", -2, C_FILE, 1); // slot 2
    Bytes name2(18, 'q');           // 18 characters, no NUL
    img.insert(img.end(), name2.begin(), name2.end());
    symbol("fn", 1, C_EXT, 0); // slot 4
    Bytes strings = {6, 0, 0, 0, 'x', 0}; // string table at 182, next offset 6
    img.insert(img.end(), strings.begin(), strings.end());
    return img;
}

} // namespace

TEST(CoffReadForeign, IsConvertedOnReading)
{
    Bytes img = foreignImage();
    std::istringstream in(std::string(img.begin(), img.end()));
    bool readError = false;
    ReportCapture cap;
    std::unique_ptr<Coff> c = Coff::read(in, 0, "f.o", readError);
    EXPECT_EQ(cap.text(), "Error - Coff file 'f.o' missing optional file header.\n");
    EXPECT_EQ(cap.errors(), 1u);
    EXPECT_TRUE(readError);
    ASSERT_TRUE(c);
    // .file names go to the string table after its last string.
    EXPECT_EQ(c->cStrTbl, (StrTbl{{4, "x"}, {6, "main.c"}, {13, std::string(18, 'q')}}));
    EXPECT_EQ(auxOf<aux_file>(c->cSymbols[1]).x_offset, 6u);
    EXPECT_EQ(auxOf<aux_file>(c->cSymbols[3]).x_offset, 13u);
    EXPECT_EQ(auxOf<aux_file>(c->cSymbols[3]).x_incline, 0u);
    ASSERT_EQ(c->cReloc[".text"].size(), 1u);
    EXPECT_EQ(c->cReloc[".text"][0], (reloc{2, 4, 0, 4}));
    EXPECT_EQ(c->cReloc[".text"][0].r_offset, 0);
    ASSERT_EQ(c->cLineInfo[".text"].size(), 2u);
    coff_lineno l = c->cLineInfo[".text"][1];
    EXPECT_EQ(l.l_srcndx, 0u);
    EXPECT_EQ(l.l_lnno, 6);
    EXPECT_EQ(l.l_paddr, 0x12u);
    EXPECT_EQ(l.l_flags, 1);
    EXPECT_EQ(l.l_fcnndx, 4u);
    EXPECT_EQ(c->cRawData[".text"].data()[0], 0xA0);
}

TEST(CoffReadForeign, MakeDoesNotHandOutTheObject)
{
    ReportCapture cap;
    EXPECT_FALSE(coffFromBytes(foreignImage(), "f.o"));
    EXPECT_EQ(cap.text(), "Error - Coff file 'f.o' missing optional file header.\n");
}

TEST(CoffReadForeign, IsWrittenInThisLayout)
{
    Bytes img = foreignImage();
    std::istringstream in(std::string(img.begin(), img.end()));
    bool readError = false;
    ReportCapture cap;
    std::unique_ptr<Coff> c = Coff::read(in, 0, "f.o", readError);
    ASSERT_TRUE(c);
    std::ostringstream out;
    ASSERT_TRUE(c->write(out, 0));
    std::string s = out.str();
    std::unique_ptr<Coff> back = coffFromBytes(Bytes(s.begin(), s.end()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cFileHdr.f_timdat, 77u);
    EXPECT_EQ(back->cFileHdr.f_opthdr, 16);
    EXPECT_EQ(back->cLineInfo[".text"].size(), 2u);
    EXPECT_EQ(Coff::getName(auxOf<aux_file>(back->cSymbols[3]), back->cStrTbl), std::string(18, 'q'));
}
