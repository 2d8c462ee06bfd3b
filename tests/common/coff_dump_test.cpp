// The dumps of object records, whole objects, executables and libraries,
// compared line for line with texts worked out from the records.

#include "archive.h"
#include "coff.h"
#include "coffbuilder.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

namespace {

// Time stamps print as local time: the tests run in UTC.
class CoffDump : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

template <class Record> std::string dumpOf(const Record &r)
{
    std::ostringstream out;
    printRecord(out, r);
    return out.str();
}

std::vector<std::string> dumpLines(const Coff &c)
{
    std::ostringstream out;
    c.print(out);
    EXPECT_EQ(out.str().back(), '\n');
    return splitLines(out.str());
}

// Joins runs of lines into one.
std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> lines;
    for (const std::vector<std::string> &part : parts)
        lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

// The file and optional headers of an object's dump (time stamp 0, magic
// numbers 4660 and 0), given the fields as they print.
std::vector<std::string> headerLines(const std::string &nscns, const std::string &symptr, const std::string &nsyms,
                                     const std::string &flags, const std::string &procType,
                                     const std::string &romWidth, const std::string &ramWidth)
{
    return {"",
            "File Header: ",
            "f_magic=4660",
            "f_nscns=" + nscns,
            "f_timdat=0 (Thu Jan  1 00:00:00 1970) ",
            "f_symptr=" + symptr,
            "f_nsyms=" + nsyms,
            "f_opthdr=16",
            "f_flags=" + flags,
            "",
            "Optional Header: ",
            "magic=0",
            "vstamp=0",
            "proc_type=" + procType,
            "rom_width_bits=" + romWidth,
            "ram_width_bits=" + ramWidth};
}

// A section header of the dump (virtual address 0), given its name line
// and the other fields as they print.
std::vector<std::string> sectionLines(const std::string &nameLine, const std::string &paddr, const std::string &size,
                                      const std::string &scnptr, const std::string &relptr,
                                      const std::string &lnnoptr, const std::string &nreloc,
                                      const std::string &nlnno,
              const std::string &flags)
{
    return {"Section Header: ",
            nameLine,
            "s_paddr=" + paddr,
            "s_vaddr=0x00000000",
            "s_size=" + size,
            "s_scnptr=" + scnptr,
            "s_relptr=" + relptr,
            "s_lnnoptr=" + lnnoptr,
            "s_nreloc=" + nreloc,
            "s_nlnno=" + nlnno,
            "s_flags=" + flags};
}

coff_syment symbolNamed(const std::string &name)
{
    coff_syment s;
    setInlineName(s._n_name, name);
    return s;
}

} // namespace

TEST_F(CoffDump, FileHeaderFieldsOnePerLine)
{
    coff_filehdr h;
    h.f_magic = 0x1234;
    h.f_nscns = 3;
    h.f_timdat = 1709629500; // 2024-03-05 09:05:00 UTC, a Tuesday
    h.f_symptr = 0x1A2;
    h.f_nsyms = 17;
    h.f_opthdr = 16;
    h.f_flags = 0x8086;
    EXPECT_EQ(dumpOf(h), "File Header: \n"
                         "f_magic=4660\n"
                         "f_nscns=3\n"
                         "f_timdat=1709629500 (Tue Mar  5 09:05:00 2024) \n"
                         "f_symptr=0x000001a2\n"
                         "f_nsyms=17\n"
                         "f_opthdr=16\n"
                         "f_flags=0x8086\n");
}

TEST_F(CoffDump, LargestTimeStampStillPrintsItsDate)
{
    coff_filehdr h;
    h.f_timdat = 0xFFFFFFFF;
    std::string text = dumpOf(h);
    EXPECT_NE(text.find("\nf_timdat=4294967295 (Sun Feb  7 06:28:15 2106) \n"), std::string::npos) << text;
}

TEST_F(CoffDump, OptionalHeaderPrintsProcessorWithEightDigits)
{
    coff_opthdr h;
    h.magic = 0x5678;
    h.vstamp = 2;
    h.proc_type = 0xA6B1;
    h.rom_width_bits = 14;
    h.ram_width_bits = 8;
    EXPECT_EQ(dumpOf(h), "Optional Header: \n"
                         "magic=22136\n"
                         "vstamp=2\n"
                         "proc_type=0x0000a6b1\n"
                         "rom_width_bits=14\n"
                         "ram_width_bits=8\n");
}

TEST_F(CoffDump, SectionHeaderWithInlineOrTableName)
{
    coff_scnhdr h;
    // Eight characters fill the name bytes without a NUL.
    setInlineName(h._s_name, ".abcdefg");
    h.s_paddr = 0x100;
    h.s_vaddr = 0x200;
    h.s_size = 0x2C;
    h.s_scnptr = 0x4C;
    h.s_relptr = 0x78;
    h.s_lnnoptr = 0x90;
    h.s_nreloc = 2;
    h.s_nlnno = 65535;
    h.s_flags = 0x1020;
    EXPECT_EQ(dumpOf(h), "Section Header: \n"
                         "_s_name=.abcdefg\n"
                         "s_paddr=0x00000100\n"
                         "s_vaddr=0x00000200\n"
                         "s_size=0x0000002c\n"
                         "s_scnptr=0x0000004c\n"
                         "s_relptr=0x00000078\n"
                         "s_lnnoptr=0x00000090\n"
                         "s_nreloc=2\n"
                         "s_nlnno=65535\n"
                         "s_flags=0x00001020\n");

    coff_scnhdr l;
    l.setLongNameOffset(23);
    l.s_flags = 0x80;
    EXPECT_EQ(dumpOf(l), "Section Header: \n"
                         "_s_offset=23\n"
                         "s_paddr=0x00000000\n"
                         "s_vaddr=0x00000000\n"
                         "s_size=0x00000000\n"
                         "s_scnptr=0x00000000\n"
                         "s_relptr=0x00000000\n"
                         "s_lnnoptr=0x00000000\n"
                         "s_nreloc=0\n"
                         "s_nlnno=0\n"
                         "s_flags=0x00000080\n");
}

TEST_F(CoffDump, RelocationAndLineNumberOnOneLine)
{
    reloc r;
    r.r_vaddr = 0x1E;
    r.r_symndx = 12;
    r.r_offset = -1;
    r.r_type = 32;
    EXPECT_EQ(dumpOf(r), "Relocation: r_vaddr=0x0000001e, r_symndx=12, r_offset=-1, r_type=32\n");
    r.r_offset = 32767;
    EXPECT_EQ(dumpOf(r), "Relocation: r_vaddr=0x0000001e, r_symndx=12, r_offset=32767, r_type=32\n");

    coff_lineno l;
    l.l_srcndx = 4;
    l.l_lnno = 60000;
    l.l_paddr = 0xABCDE;
    l.l_flags = 1;
    l.l_fcnndx = 9;
    EXPECT_EQ(dumpOf(l), "Line Number: l_srcndx=4, l_lnno=60000, l_paddr=0x000abcde, l_flags=0x0001, l_fcnndx=9\n");
}

TEST_F(CoffDump, SymbolPrintsOffsetOrNameAndSignedFields)
{
    coff_syment s = symbolNamed("main");
    s.n_value = 0x2A;
    s.n_scnum = -2;
    s.n_type = 0x24;
    s.n_sclass = 255; // end of function: a negative class
    s.n_numaux = 1;
    EXPECT_EQ(dumpOf(s), "Symbol: _n_name=main, n_value=0x0000002a, n_scnum=-2, n_type=0x0024, n_sclass=-1, "
                         "n_numaux=1\n");

    coff_syment l;
    l.setLongNameOffset(4);
    l.n_value = 0xFFFFFFFF;
    l.n_scnum = 3;
    l.n_sclass = C_EXT;
    EXPECT_EQ(dumpOf(l), "Symbol: _n_offset=4, n_value=0xffffffff, n_scnum=3, n_type=0x0000, n_sclass=2, n_numaux=0\n");

    // Eight characters and no NUL: the name stops at the name bytes.
    coff_syment e = symbolNamed("abcdefgh");
    e.n_sclass = C_FILE;
    EXPECT_EQ(dumpOf(e), "Symbol: _n_name=abcdefgh, n_value=0x00000000, n_scnum=0, n_type=0x0000, n_sclass=103, "
                         "n_numaux=0\n");
}

TEST_F(CoffDump, AuxiliaryRecordsOfEveryKind)
{
    EXPECT_EQ(dumpOf(aux_file{17, 40}), "Aux File: x_offset=17, x_incline=40\n");
    EXPECT_EQ(dumpOf(aux_scn{300, 2, 5}), "Aux Scn: x_scnlen=300, x_nreloc=2, x_nlinno=5\n");
    EXPECT_EQ(dumpOf(aux_tag{6, 14}), "Aux Tag: x_size=6, x_endndx=14\n");
    EXPECT_EQ(dumpOf(aux_eos{8, 12}), "Aux Eos: x_tagndx=8, x_size=12\n");
    EXPECT_EQ(dumpOf(aux_fcn{3, 10, 0x62, 21}),
              "Aux Fcn: x_tagndx=3 (unused?), x_size=10 (unused?), x_lnnoptr=0x00000062, x_edndx=21\n");
    aux_arr arr{7, 11, 24, {2, 3, 4, 65535}};
    EXPECT_EQ(dumpOf(arr), "Aux Arr: x_tagndx=7 (unused?), x_lnno=11 (unused?), x_size=24, x_dimen[0]=2, "
                           "x_dimen[1]=3, x_dimen[2]=4, x_dimen[3]=65535\n");
    EXPECT_EQ(dumpOf(aux_eobf{99}), "Aux Eobf: x_lnno=99\n");
    EXPECT_EQ(dumpOf(aux_bobf{98, 30}), "Aux Bobf: x_lnno=98, x_endndx=30\n");
    EXPECT_EQ(dumpOf(aux_var{5, 4}), "Aux Var: x_tagndx=5, x_size=4\n");
}

TEST_F(CoffDump, ForeignLineNumberRecord)
{
    // One 32-bit field holds the address, or the function's symbol index.
    EXPECT_EQ(dumpOf(gnu_lineno{0x10, 5}), "Gnu Line Number: l_paddr=0x00000010, l_lnno=5, l_symndx=16\n");
}

TEST_F(CoffDump, WholeObjectReadFromItsImage)
{
    std::vector<uint8_t> image = CoffBuilder()
                      .processor(0xA6B1, 14, 8)
                      .section(".code", SCN_CODE, {0x01, 0x02, 0x03, 0x04, 0x05})
                      .udata(".longsection", 2)
                      .file("a.asm")
                      .symbol("main", 3, ".code", C_EXT)
                      .symbol("externalref9", 0, 0, C_EXT)
                      .reloc(".code", 2, "externalref9", 4, -1)
                      .line(".code", 12, 0)
                      .bytes();
    std::unique_ptr<Coff> c = coffFromBytes(image);
    ASSERT_TRUE(c);
    // Headers 36 + 2 * 40 = 116: raw data 116..120, the relocation 121..132,
    // the line 133..148, four symbol slots from 149 (0x95). Strings: the
    // section name at 4, the source at 4 + 13 = 17, the symbol at 17 + 6 = 23.
    std::vector<std::string> expected = joined({
        {"CoffFile: "},
        headerLines("2", "0x00000095", "4", "0x0000", "0x0000a6b1", "14", "8"),
        sectionLines("_s_name=.code", "0x00000000", "0x00000005", "0x00000074", "0x00000079",
                     "0x00000085", "1", "1", "0x00000020"),
        {
            "Line Number: l_srcndx=0, l_lnno=12, l_paddr=0x00000000, l_flags=0x0000, l_fcnndx=0",
            "Relocation: r_vaddr=0x00000002, r_symndx=3, r_offset=-1, r_type=4",
            "Raw Data: ",
            "01020304 05",
        },
        sectionLines("_s_offset=4", "0x00000000", "0x00000002", "0x00000000", "0x00000000",
                     "0x00000000", "0", "0", "0x00000080"),
        {
            "Raw Data: ",
            // The reader gives a udata section its size in zero bytes.
            "0000",
            "Symbol Table: ",
            "Index[0]= Symbol: _n_name=.file, n_value=0x00000000, n_scnum=-2, n_type=0x0000, n_sclass=103, n_numaux=1",
            "Index[1]= Aux File: x_offset=17, x_incline=0",
            "Index[2]= Symbol: _n_name=main, n_value=0x00000003, n_scnum=1, n_type=0x0000, n_sclass=2, n_numaux=0",
            "Index[3]= Symbol: _n_offset=23, n_value=0x00000000, n_scnum=0, n_type=0x0000, n_sclass=2, n_numaux=0",
            "String Table: ",
            "Offset[4]= .longsection",
            "Offset[17]= a.asm",
            "Offset[23]= externalref9",
        }
    });
    EXPECT_EQ(dumpLines(*c), expected);
}

TEST_F(CoffDump, ExecutableWithFunctionLines)
{
    TempDir dir;
    dir.write("prog.o", CoffBuilder()
                            .flags(F_EXEC)
                            .processor(0xA6B1, 14, 8)
                            .section(".code", SCN_CODE | SCN_ABS, {0x10, 0x20, 0x30, 0x40}, 0x100)
                            .symbol("start", 0x100, ".code", C_EXT, DT_FCN << 4)
                            .aux(aux_fcn{0, 4, 0, 3})
                            .line(".code", 7, 0x100, "start")
                            .line(".code", 8, 0x101, "start")
                            .bytes());
    std::unique_ptr<Coff> c = Coff::make(dir.file("prog.o"));
    ASSERT_TRUE(c);
    // Headers 36 + 40 = 76: raw data 76..79, lines from 80 (0x50), symbols
    // from 112 (0x70). The function's line pointer names its last line, 96.
    std::vector<std::string> expected = joined({
        {"CoffFile: "},
        headerLines("1", "0x00000070", "2", "0x0002", "0x0000a6b1", "14", "8"),
        sectionLines("_s_name=.code", "0x00000100", "0x00000004", "0x0000004c", "0x00000000",
                     "0x00000050", "0", "2", "0x00001020"),
        {
            "Line Number: l_srcndx=0, l_lnno=7, l_paddr=0x00000100, l_flags=0x0001, l_fcnndx=0",
            "Line Number: l_srcndx=0, l_lnno=8, l_paddr=0x00000101, l_flags=0x0001, l_fcnndx=0",
            "Raw Data: ",
            "10203040",
            "Symbol Table: ",
            "Index[0]= Symbol: _n_name=start, n_value=0x00000100, n_scnum=1, n_type=0x0020, n_sclass=2, n_numaux=1",
            "Index[1]= Aux Fcn: x_tagndx=0 (unused?), x_size=4 (unused?), x_lnnoptr=0x00000060, x_edndx=3",
            "String Table: ",
        }
    });
    EXPECT_EQ(dumpLines(*c), expected);
}

TEST_F(CoffDump, SectionWithoutContentsPrintsOnlyTheRawDataTitle)
{
    Coff c = CoffBuilder().section(".empty", SCN_CODE, {}).coff();
    std::vector<std::string> lines = dumpLines(c);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Raw Data: ");
    EXPECT_EQ(lines[lines.size() - 2], "Symbol Table: ");
    EXPECT_EQ(lines[lines.size() - 1], "String Table: ");
}

TEST_F(CoffDump, LibraryPrintsIndexThenEveryMember)
{
    TempDir dir;
    dir.write("t.lib", ArchiveBuilder()
                           .member("a.o", CoffBuilder()
                                              .section(".code", SCN_CODE, {0xAA, 0xBB})
                                              .symbol("zeta", 1, ".code", C_EXT)
                                              .symbol("alpha", 0, ".code", C_EXT))
                           .member("b.o", CoffBuilder()
                                              .section(".code", SCN_CODE, {0xCC, 0xDD, 0xEE, 0xFF, 0x11})
                                              .symbol("beta", 0, ".code", C_EXT))
                           .bytes());
    std::unique_ptr<Archive> lib = Archive::make(dir.file("t.lib"));
    ASSERT_TRUE(lib);
    std::ostringstream out;
    lib->print(out);
    // Each member: headers 76 bytes, raw data from 76 (0x4c), symbols after
    // it at 78 (0x4e) and 81 (0x51).
    auto member = [](const std::string &raw, const std::string &symptr, const std::string &size,
                     const std::vector<std::string> &symbols) {
        std::vector<std::string> lines = joined({
            headerLines("1", symptr, std::to_string(symbols.size()), "0x0000", "0x00000000", "0", "0"),
            sectionLines("_s_name=.code", "0x00000000", size, "0x0000004c", "0x00000000",
                         "0x00000000", "0", "0", "0x00000020"),
            {
                "Raw Data: ",
                raw,
                "Symbol Table: ",
            }
        });
        lines.insert(lines.end(), symbols.begin(), symbols.end());
        lines.push_back("String Table: ");
        return lines;
    };
    std::vector<std::string> expected = {
        "Archive: ",
        "  Symbols: ",
        "    'alpha' -> a.o",
        "    'beta' -> b.o",
        "    'zeta' -> a.o",
        "  Members: ",
        "    Member[0] = CoffFile: ",
    };
    for (const std::string &l :
         member("aabb", "0x0000004e", "0x00000002",
                {"Index[0]= Symbol: _n_name=zeta, n_value=0x00000001, n_scnum=1, n_type=0x0000, n_sclass=2, n_numaux=0",
                 "Index[1]= Symbol: _n_name=alpha, n_value=0x00000000, n_scnum=1, n_type=0x0000, n_sclass=2, "
                 "n_numaux=0"}))
        expected.push_back(l);
    expected.push_back("    Member[1] = CoffFile: ");
    for (const std::string &l :
         member("ccddeeff 11", "0x00000051", "0x00000005",
                {"Index[0]= Symbol: _n_name=beta, n_value=0x00000000, n_scnum=1, n_type=0x0000, n_sclass=2, "
                 "n_numaux=0"}))
        expected.push_back(l);
    EXPECT_EQ(splitLines(out.str()), expected);
}
