// Every record of the object format against bytes worked out by hand, the
// auxiliary-kind rule in its order, and the name and string-table rules.

#include "bytes.h"
#include "coff_format.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

template <size_t N, class Rec, class Pack> Bytes packed(const Rec &r, Pack pack, uint8_t fill = 0)
{
    Bytes b(N, fill);
    pack(b.data(), r);
    return b;
}

coff_syment sym(const std::string &name, uint8_t sclass, uint16_t type, uint8_t numaux = 1)
{
    coff_syment s;
    setInlineName(s._n_name, name);
    s.n_sclass = sclass;
    s.n_type = type;
    s.n_numaux = numaux;
    return s;
}

} // namespace

TEST(CoffRecords, FileHeader)
{
    coff_filehdr h;
    h.f_magic = COFF_MAGIC;
    h.f_nscns = 2;
    h.f_timdat = 0x01020304;
    h.f_symptr = 0xAC;
    h.f_nsyms = 7;
    h.f_opthdr = 16;
    h.f_flags = F_GENERIC | F_EXEC;
    Bytes want = {
        0x34, 0x12,             // f_magic
        0x02, 0x00,             // f_nscns
        0x04, 0x03, 0x02, 0x01, // f_timdat
        0xAC, 0x00, 0x00, 0x00, // f_symptr
        0x07, 0x00, 0x00, 0x00, // f_nsyms
        0x10, 0x00,             // f_opthdr
        0x02, 0x80,             // f_flags
    };
    EXPECT_EQ(packed<FILEHDR_SIZE>(h, packFileHdr), want);
    coff_filehdr back = unpackFileHdr(want.data());
    EXPECT_EQ(back.f_magic, 0x1234);
    EXPECT_EQ(back.f_nscns, 2);
    EXPECT_EQ(back.f_timdat, 0x01020304u);
    EXPECT_EQ(back.f_symptr, 0xACu);
    EXPECT_EQ(back.f_nsyms, 7u);
    EXPECT_EQ(back.f_opthdr, 16);
    EXPECT_EQ(back.f_flags, 0x8002);
}

TEST(CoffRecords, OptionalHeader)
{
    coff_opthdr h;
    h.magic = 0x5678;
    h.vstamp = 1;
    h.proc_type = 0x2420;
    h.rom_width_bits = 14;
    h.ram_width_bits = 8;
    Bytes want = {
        0x78, 0x56,             // magic
        0x01, 0x00,             // vstamp
        0x20, 0x24, 0x00, 0x00, // proc_type
        0x0E, 0x00, 0x00, 0x00, // rom_width_bits
        0x08, 0x00, 0x00, 0x00, // ram_width_bits
    };
    EXPECT_EQ(packed<OPTHDR_SIZE>(h, packOptHdr), want);
    coff_opthdr back = unpackOptHdr(want.data());
    EXPECT_EQ(back.magic, 0x5678);
    EXPECT_EQ(back.vstamp, 1);
    EXPECT_EQ(back.proc_type, 0x2420u);
    EXPECT_EQ(back.rom_width_bits, 14u);
    EXPECT_EQ(back.ram_width_bits, 8u);
}

TEST(CoffRecords, SectionHeaderWithEightCharacterNameHasNoNul)
{
    coff_scnhdr h;
    setInlineName(h._s_name, "abcdefgh");
    h.s_paddr = 0x100;
    h.s_vaddr = 0x200;
    h.s_size = 0x10;
    h.s_scnptr = 0x24;
    h.s_relptr = 0x34;
    h.s_lnnoptr = 0x40;
    h.s_nreloc = 1;
    h.s_nlnno = 3;
    h.s_flags = SCN_ABS | SCN_CODE;
    Bytes want = {
        'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', // _s_name, no NUL
        0x00, 0x01, 0x00, 0x00,                 // s_paddr
        0x00, 0x02, 0x00, 0x00,                 // s_vaddr
        0x10, 0x00, 0x00, 0x00,                 // s_size
        0x24, 0x00, 0x00, 0x00,                 // s_scnptr
        0x34, 0x00, 0x00, 0x00,                 // s_relptr
        0x40, 0x00, 0x00, 0x00,                 // s_lnnoptr
        0x01, 0x00,                             // s_nreloc
        0x03, 0x00,                             // s_nlnno
        0x20, 0x10, 0x00, 0x00,                 // s_flags
    };
    EXPECT_EQ(packed<SCNHDR_SIZE>(h, packScnHdr), want);
    coff_scnhdr back = unpackScnHdr(want.data());
    EXPECT_FALSE(back.hasLongName());
    EXPECT_EQ(inlineName(back._s_name), "abcdefgh");
    EXPECT_EQ(back.s_paddr, 0x100u);
    EXPECT_EQ(back.s_vaddr, 0x200u);
    EXPECT_EQ(back.s_size, 0x10u);
    EXPECT_EQ(back.s_scnptr, 0x24u);
    EXPECT_EQ(back.s_relptr, 0x34u);
    EXPECT_EQ(back.s_lnnoptr, 0x40u);
    EXPECT_EQ(back.s_nreloc, 1);
    EXPECT_EQ(back.s_nlnno, 3);
    EXPECT_EQ(back.s_flags, 0x1020u);
}

TEST(CoffRecords, SectionHeaderWithStringTableName)
{
    coff_scnhdr h;
    setInlineName(h._s_name, "old");
    h.setLongNameOffset(0x1C);
    Bytes b = packed<SCNHDR_SIZE>(h, packScnHdr);
    Bytes name(b.begin(), b.begin() + 8);
    EXPECT_EQ(name, (Bytes{0, 0, 0, 0, 0x1C, 0, 0, 0}));
    coff_scnhdr back = unpackScnHdr(b.data());
    EXPECT_TRUE(back.hasLongName());
    EXPECT_EQ(back._s_offset(), 0x1Cu);
}

TEST(CoffRecords, RelocationWithNegativeAddend)
{
    reloc r;
    r.r_vaddr = 6;
    r.r_symndx = 3;
    r.r_offset = -2;
    r.r_type = 4;
    Bytes want = {
        0x06, 0x00, 0x00, 0x00, // r_vaddr
        0x03, 0x00, 0x00, 0x00, // r_symndx
        0xFE, 0xFF,             // r_offset
        0x04, 0x00,             // r_type
    };
    EXPECT_EQ(packed<RELOC_SIZE>(r, packReloc), want);
    reloc back = unpackReloc(want.data());
    EXPECT_EQ(back.r_vaddr, 6u);
    EXPECT_EQ(back.r_symndx, 3u);
    EXPECT_EQ(back.r_offset, -2);
    EXPECT_EQ(back.r_type, 4);
}

TEST(CoffRecords, LineNumberHasItsAddressAtOffsetSix)
{
    coff_lineno l;
    l.l_srcndx = 1;
    l.l_lnno = 0x0102;
    l.l_paddr = 0x0A0B0C0D;
    l.l_flags = 1;
    l.l_fcnndx = 5;
    Bytes want = {
        0x01, 0x00, 0x00, 0x00, // l_srcndx
        0x02, 0x01,             // l_lnno
        0x0D, 0x0C, 0x0B, 0x0A, // l_paddr, unaligned
        0x01, 0x00,             // l_flags
        0x05, 0x00, 0x00, 0x00, // l_fcnndx
    };
    EXPECT_EQ(packed<LINENO_SIZE>(l, packLineno), want);
    coff_lineno back = unpackLineno(want.data());
    EXPECT_EQ(back.l_srcndx, 1u);
    EXPECT_EQ(back.l_lnno, 0x0102);
    EXPECT_EQ(back.l_paddr, 0x0A0B0C0Du);
    EXPECT_EQ(back.l_flags, 1);
    EXPECT_EQ(back.l_fcnndx, 5u);
}

TEST(CoffRecords, SymbolIsEighteenBytes)
{
    coff_syment s = sym("main", C_EXT, 0x20);
    s.n_value = 0x10;
    s.n_scnum = -1;
    Bytes want = {
        'm', 'a', 'i', 'n', 0, 0, 0, 0, // _n_name
        0x10, 0x00, 0x00, 0x00,         // n_value
        0xFF, 0xFF,                     // n_scnum
        0x20, 0x00,                     // n_type
        0x02,                           // n_sclass
        0x01,                           // n_numaux
    };
    EXPECT_EQ(packed<SYMENT_SIZE>(s, packSyment), want);
    coff_syment back = unpackSyment(want.data());
    EXPECT_EQ(inlineName(back._n_name), "main");
    EXPECT_EQ(back.n_value, 0x10u);
    EXPECT_EQ(back.n_scnum, -1);
    EXPECT_EQ(back.n_type, 0x20);
    EXPECT_EQ(back.n_sclass, 2);
    EXPECT_EQ(back.n_numaux, 1);
}

TEST(CoffRecords, SymbolNamesInlineUpToEightCharactersElseOffset)
{
    coff_syment s;
    setInlineName(s._n_name, "12345678");
    Bytes b = packed<SYMENT_SIZE>(s, packSyment);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), (Bytes{'1', '2', '3', '4', '5', '6', '7', '8'}));
    EXPECT_EQ(inlineName(unpackSyment(b.data())._n_name), "12345678");

    // A shorter name clears what a longer one left behind.
    setInlineName(s._n_name, "ab");
    EXPECT_EQ(packed<SYMENT_SIZE>(s, packSyment)[2], 0);

    s.setLongNameOffset(0x12345678);
    b = packed<SYMENT_SIZE>(s, packSyment);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), (Bytes{0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_TRUE(unpackSyment(b.data()).hasLongName());
    EXPECT_EQ(unpackSyment(b.data())._n_offset(), 0x12345678u);
    EXPECT_EQ(inlineName(s._n_name), "");
}

TEST(CoffRecords, ForeignLineNumberAndRelocation)
{
    gnu_lineno l;
    l.l_addr = 0x00030201;
    l.l_lnno = 9;
    EXPECT_EQ(packed<GNU_LINENO_SIZE>(l, packGnuLineno), (Bytes{0x01, 0x02, 0x03, 0x00, 0x09, 0x00}));
    EXPECT_EQ(unpackGnuLineno(Bytes{0x01, 0x02, 0x03, 0x00, 0x09, 0x00}.data()).l_addr, 0x30201u);

    gnu_reloc r;
    r.r_vaddr = 2;
    r.r_symndx = 0x105;
    r.r_type = 0x11;
    Bytes want = {0x02, 0, 0, 0, 0x05, 0x01, 0, 0, 0x11, 0};
    EXPECT_EQ(packed<GNU_RELOC_SIZE>(r, packGnuReloc), want);
    gnu_reloc back = unpackGnuReloc(want.data());
    EXPECT_EQ(back.r_vaddr, 2u);
    EXPECT_EQ(back.r_symndx, 0x105u);
    EXPECT_EQ(back.r_type, 0x11);
}

// Each auxiliary layout writes only its own fields; 0xEE marks bytes that
// must be left as they stand.
TEST(CoffAuxLayouts, FileAndSection)
{
    aux_file f;
    f.x_offset = 0x1C;
    f.x_incline = 7;
    Bytes want(18, 0xEE);
    Bytes fields = {0x1C, 0, 0, 0, 7, 0, 0, 0};
    std::copy(fields.begin(), fields.end(), want.begin());
    EXPECT_EQ(packed<AUXENT_SIZE>(f, [](uint8_t *p, const aux_file &a) { packAux(p, a); }, 0xEE), want);

    aux_scn s;
    s.x_scnlen = 0x0102;
    s.x_nreloc = 3;
    s.x_nlinno = 4;
    want.assign(18, 0xEE);
    fields = {0x02, 0x01, 0, 0, 3, 0, 4, 0};
    std::copy(fields.begin(), fields.end(), want.begin());
    EXPECT_EQ(packed<AUXENT_SIZE>(s, [](uint8_t *p, const aux_scn &a) { packAux(p, a); }, 0xEE), want);
}

TEST(CoffAuxLayouts, TagEosVar)
{
    aux_tag t;
    t.x_size = 0x0A0B;
    t.x_endndx = 0x11;
    Bytes want(18, 0xEE);
    want[6] = 0x0B, want[7] = 0x0A;
    want[12] = 0x11, want[13] = 0, want[14] = 0, want[15] = 0;
    EXPECT_EQ(packed<AUXENT_SIZE>(t, [](uint8_t *p, const aux_tag &a) { packAux(p, a); }, 0xEE), want);

    aux_eos e;
    e.x_tagndx = 0x22;
    e.x_size = 6;
    want.assign(18, 0xEE);
    want[0] = 0x22, want[1] = 0, want[2] = 0, want[3] = 0;
    want[6] = 6, want[7] = 0;
    EXPECT_EQ(packed<AUXENT_SIZE>(e, [](uint8_t *p, const aux_eos &a) { packAux(p, a); }, 0xEE), want);

    aux_var v;
    v.x_tagndx = 0x22;
    v.x_size = 6;
    EXPECT_EQ(packed<AUXENT_SIZE>(v, [](uint8_t *p, const aux_var &a) { packAux(p, a); }, 0xEE), want);
}

TEST(CoffAuxLayouts, FunctionAndArray)
{
    aux_fcn f;
    f.x_tagndx = 1;
    f.x_size = 2;
    f.x_lnnoptr = 0x0304;
    f.x_endndx = 5;
    Bytes want = {1, 0, 0, 0, 2, 0, 0, 0, 0x04, 0x03, 0, 0, 5, 0, 0, 0, 0xEE, 0xEE};
    EXPECT_EQ(packed<AUXENT_SIZE>(f, [](uint8_t *p, const aux_fcn &a) { packAux(p, a); }, 0xEE), want);

    aux_arr a;
    a.x_tagndx = 1;
    a.x_lnno = 2;
    a.x_size = 3;
    a.x_dimen[0] = 4;
    a.x_dimen[1] = 5;
    a.x_dimen[2] = 6;
    a.x_dimen[3] = 0x0708;
    want = {1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 0x08, 0x07, 0xEE, 0xEE};
    EXPECT_EQ(packed<AUXENT_SIZE>(a, [](uint8_t *p, const aux_arr &x) { packAux(p, x); }, 0xEE), want);
    aux_arr back;
    unpackAux(want.data(), back);
    EXPECT_EQ(back.x_dimen[3], 0x0708);
    EXPECT_EQ(back.x_size, 3);
}

TEST(CoffAuxLayouts, BeginAndEndOfBlock)
{
    aux_eobf e;
    e.x_lnno = 0x1234;
    Bytes want(18, 0xEE);
    want[4] = 0x34, want[5] = 0x12;
    EXPECT_EQ(packed<AUXENT_SIZE>(e, [](uint8_t *p, const aux_eobf &a) { packAux(p, a); }, 0xEE), want);

    aux_bobf b;
    b.x_lnno = 0x1234;
    b.x_endndx = 9;
    want[12] = 9, want[13] = 0, want[14] = 0, want[15] = 0;
    EXPECT_EQ(packed<AUXENT_SIZE>(b, [](uint8_t *p, const aux_bobf &a) { packAux(p, a); }, 0xEE), want);
}

TEST(CoffAuxLayouts, SlotRoundTripKeepsUnusedBytes)
{
    Bytes raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    coff_syment slot = unpackSyment(raw.data());
    aux_fcn f = auxOf<aux_fcn>(slot);
    EXPECT_EQ(f.x_lnnoptr, 0x0C0B0A09u);
    f.x_lnnoptr = 0x40;
    setAux(slot, f);
    Bytes after(18);
    packSyment(after.data(), slot);
    Bytes want = raw;
    want[8] = 0x40, want[9] = 0, want[10] = 0, want[11] = 0;
    EXPECT_EQ(after, want);
}

// The rule's steps in order: each case satisfies a later step as well, so
// it shows that the earlier one wins.
TEST(CoffAuxKind, StepsInOrder)
{
    const uint16_t ARRAY = DT_ARY << 4;           // first derived type array
    const uint16_t FUNCTION = DT_FCN << 4;        // first derived type function
    const uint16_t FUNC_OF_ARRAY = FUNCTION | (DT_ARY << 6);
    // 1: no auxiliary entry, whatever the rest says
    EXPECT_EQ(auxKindOf(sym(".bf", C_FILE, ARRAY, 0)), AUX_NONE);
    // 2: file before array
    EXPECT_EQ(auxKindOf(sym("a.c", C_FILE, ARRAY)), AUX_FILE);
    // 3: end of structure before array
    EXPECT_EQ(auxKindOf(sym(".eos", C_EOS, ARRAY)), AUX_EOS);
    // 4: array before function
    EXPECT_EQ(auxKindOf(sym("f", C_EXT, FUNC_OF_ARRAY)), AUX_ARR);
    // 5: function before the .bf name
    EXPECT_EQ(auxKindOf(sym(".bf", C_FCN, FUNCTION)), AUX_FCN);
    // 6-9: block names before tags
    EXPECT_EQ(auxKindOf(sym(".bf", C_STRTAG, 0)), AUX_BOBF);
    EXPECT_EQ(auxKindOf(sym(".ef", C_STRTAG, 0)), AUX_EOBF);
    EXPECT_EQ(auxKindOf(sym(".bb", C_STRTAG, 0)), AUX_BOBF);
    EXPECT_EQ(auxKindOf(sym(".eb", C_STRTAG, 0)), AUX_EOBF);
    // 10: tags before aggregates
    EXPECT_EQ(auxKindOf(sym("s", C_STRTAG, T_STRUCT)), AUX_TAG);
    EXPECT_EQ(auxKindOf(sym("u", C_UNTAG, T_UNION)), AUX_TAG);
    EXPECT_EQ(auxKindOf(sym("e", C_ENTAG, T_ENUM)), AUX_TAG);
    // 11: aggregates before section symbols
    EXPECT_EQ(auxKindOf(sym("v", C_SECTION, T_UNION)), AUX_VAR);
    EXPECT_EQ(auxKindOf(sym(".v", C_STAT, T_ENUM)), AUX_VAR);
    // 12: section symbols
    EXPECT_EQ(auxKindOf(sym("code", C_SECTION, 0)), AUX_SCN);
    EXPECT_EQ(auxKindOf(sym(".code", C_STAT, 0)), AUX_SCN);
    // 13: anything else
    EXPECT_EQ(auxKindOf(sym("code", C_STAT, 0)), AUX_NONE);
    EXPECT_EQ(auxKindOf(sym(".code", C_EXT, 0)), AUX_NONE);
    EXPECT_EQ(auxKindOf(sym("x", C_LABEL, 7)), AUX_NONE);
}

TEST(CoffAuxKind, TypeFields)
{
    // An array in the sixth derived field still counts.
    EXPECT_EQ(auxKindOf(sym("a", C_EXT, uint16_t(DT_ARY << 14))), AUX_ARR);
    // A function only counts in the first derived field.
    EXPECT_EQ(auxKindOf(sym("p", C_EXT, uint16_t(DT_FCN << 6))), AUX_NONE);
    // Basic type 11 is no aggregate.
    EXPECT_EQ(auxKindOf(sym("w", C_EXT, 11)), AUX_NONE);
}

TEST(CoffAuxKind, NamesMatchOnlyInlineAndWhole)
{
    EXPECT_EQ(auxKindOf(sym(".bfx", C_EXT, 0)), AUX_NONE);
    EXPECT_EQ(auxKindOf(sym(".b", C_EXT, 0)), AUX_NONE);
    coff_syment s = sym(".bf", C_STAT, 0);
    s.setLongNameOffset(4); // ".bf" in the string table matches nothing
    EXPECT_EQ(auxKindOf(s), AUX_NONE);
}

TEST(CoffStringTable, OffsetsFollowEachString)
{
    StrTbl tbl;
    EXPECT_EQ(strTblLength(tbl), 4u);
    EXPECT_EQ(strTblNextOffset(tbl), 4);
    EXPECT_EQ(strTblAppend(tbl, "longname1"), 4);
    EXPECT_EQ(strTblAppend(tbl, "x"), 14);
    EXPECT_EQ(strTblNextOffset(tbl), 16);
    EXPECT_EQ(strTblLength(tbl), 16u);
    Bytes want = {16, 0, 0, 0, 'l', 'o', 'n', 'g', 'n', 'a', 'm', 'e', '1', 0, 'x', 0};
    EXPECT_EQ(packStrTbl(tbl), want);
    EXPECT_EQ(packStrTbl(StrTbl()), (Bytes{4, 0, 0, 0}));
}

TEST(CoffStringTable, ParseStopsAtEmptyStringOrMissingNul)
{
    Bytes b = {'a', 'b', 0, 'c', 0, 0, 'd', 0};
    StrTbl tbl;
    EXPECT_EQ(parseStrTbl(b.data(), b.size(), tbl), 9);
    EXPECT_EQ(tbl, (StrTbl{{4, "ab"}, {7, "c"}}));

    b = {'a', 'b', 0, 'c', 'd'};
    tbl.clear();
    EXPECT_EQ(parseStrTbl(b.data(), b.size(), tbl), 7);
    EXPECT_EQ(tbl, (StrTbl{{4, "ab"}}));

    tbl.clear();
    EXPECT_EQ(parseStrTbl(b.data(), 0, tbl), 4);
    EXPECT_TRUE(tbl.empty());
}
