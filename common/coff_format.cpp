// Pack and unpack of the object-file records, the auxiliary-kind rule and
// the name and string-table rules.

#include "coff_format.h"

#include "bytes.h"

#include <cstring>

namespace {

inline int16_t getI16(const uint8_t *p) { return int16_t(getU16(p)); }

} // namespace

bool coff_scnhdr::hasLongName() const { return getU32(reinterpret_cast<const uint8_t *>(_s_name)) == 0; }
uint32_t coff_scnhdr::_s_offset() const { return getU32(reinterpret_cast<const uint8_t *>(_s_name) + 4); }
void coff_scnhdr::setLongNameOffset(uint32_t offset)
{
    uint8_t *p = reinterpret_cast<uint8_t *>(_s_name);
    putU32(p, 0);
    putU32(p + 4, offset);
}

bool coff_syment::hasLongName() const { return getU32(reinterpret_cast<const uint8_t *>(_n_name)) == 0; }
uint32_t coff_syment::_n_offset() const { return getU32(reinterpret_cast<const uint8_t *>(_n_name) + 4); }
void coff_syment::setLongNameOffset(uint32_t offset)
{
    uint8_t *p = reinterpret_cast<uint8_t *>(_n_name);
    putU32(p, 0);
    putU32(p + 4, offset);
}

coff_filehdr unpackFileHdr(const uint8_t *p)
{
    coff_filehdr h;
    h.f_magic = getU16(p + 0);
    h.f_nscns = getU16(p + 2);
    h.f_timdat = getU32(p + 4);
    h.f_symptr = getU32(p + 8);
    h.f_nsyms = getU32(p + 12);
    h.f_opthdr = getU16(p + 16);
    h.f_flags = getU16(p + 18);
    return h;
}

void packFileHdr(uint8_t *p, const coff_filehdr &h)
{
    putU16(p + 0, h.f_magic);
    putU16(p + 2, h.f_nscns);
    putU32(p + 4, h.f_timdat);
    putU32(p + 8, h.f_symptr);
    putU32(p + 12, h.f_nsyms);
    putU16(p + 16, h.f_opthdr);
    putU16(p + 18, h.f_flags);
}

coff_opthdr unpackOptHdr(const uint8_t *p)
{
    coff_opthdr h;
    h.magic = getU16(p + 0);
    h.vstamp = getU16(p + 2);
    h.proc_type = getU32(p + 4);
    h.rom_width_bits = getU32(p + 8);
    h.ram_width_bits = getU32(p + 12);
    return h;
}

void packOptHdr(uint8_t *p, const coff_opthdr &h)
{
    putU16(p + 0, h.magic);
    putU16(p + 2, h.vstamp);
    putU32(p + 4, h.proc_type);
    putU32(p + 8, h.rom_width_bits);
    putU32(p + 12, h.ram_width_bits);
}

coff_scnhdr unpackScnHdr(const uint8_t *p)
{
    coff_scnhdr h;
    std::memcpy(h._s_name, p + 0, 8);
    h.s_paddr = getU32(p + 8);
    h.s_vaddr = getU32(p + 12);
    h.s_size = getU32(p + 16);
    h.s_scnptr = getU32(p + 20);
    h.s_relptr = getU32(p + 24);
    h.s_lnnoptr = getU32(p + 28);
    h.s_nreloc = getU16(p + 32);
    h.s_nlnno = getU16(p + 34);
    h.s_flags = getU32(p + 36);
    return h;
}

void packScnHdr(uint8_t *p, const coff_scnhdr &h)
{
    std::memcpy(p + 0, h._s_name, 8);
    putU32(p + 8, h.s_paddr);
    putU32(p + 12, h.s_vaddr);
    putU32(p + 16, h.s_size);
    putU32(p + 20, h.s_scnptr);
    putU32(p + 24, h.s_relptr);
    putU32(p + 28, h.s_lnnoptr);
    putU16(p + 32, h.s_nreloc);
    putU16(p + 34, h.s_nlnno);
    putU32(p + 36, h.s_flags);
}

reloc unpackReloc(const uint8_t *p)
{
    reloc r;
    r.r_vaddr = getU32(p + 0);
    r.r_symndx = getU32(p + 4);
    r.r_offset = getI16(p + 8);
    r.r_type = getU16(p + 10);
    return r;
}

void packReloc(uint8_t *p, const reloc &r)
{
    putU32(p + 0, r.r_vaddr);
    putU32(p + 4, r.r_symndx);
    putU16(p + 8, uint16_t(r.r_offset));
    putU16(p + 10, r.r_type);
}

coff_lineno unpackLineno(const uint8_t *p)
{
    coff_lineno l;
    l.l_srcndx = getU32(p + 0);
    l.l_lnno = getU16(p + 4);
    l.l_paddr = getU32(p + 6);
    l.l_flags = getU16(p + 10);
    l.l_fcnndx = getU32(p + 12);
    return l;
}

void packLineno(uint8_t *p, const coff_lineno &l)
{
    putU32(p + 0, l.l_srcndx);
    putU16(p + 4, l.l_lnno);
    putU32(p + 6, l.l_paddr);
    putU16(p + 10, l.l_flags);
    putU32(p + 12, l.l_fcnndx);
}

coff_syment unpackSyment(const uint8_t *p)
{
    coff_syment s;
    std::memcpy(s._n_name, p + 0, 8);
    s.n_value = getU32(p + 8);
    s.n_scnum = getI16(p + 12);
    s.n_type = getU16(p + 14);
    s.n_sclass = p[16];
    s.n_numaux = p[17];
    return s;
}

void packSyment(uint8_t *p, const coff_syment &s)
{
    std::memcpy(p + 0, s._n_name, 8);
    putU32(p + 8, s.n_value);
    putU16(p + 12, uint16_t(s.n_scnum));
    putU16(p + 14, s.n_type);
    p[16] = s.n_sclass;
    p[17] = s.n_numaux;
}

gnu_lineno unpackGnuLineno(const uint8_t *p)
{
    gnu_lineno l;
    l.l_addr = getU32(p + 0);
    l.l_lnno = getU16(p + 4);
    return l;
}

void packGnuLineno(uint8_t *p, const gnu_lineno &l)
{
    putU32(p + 0, l.l_addr);
    putU16(p + 4, l.l_lnno);
}

gnu_reloc unpackGnuReloc(const uint8_t *p)
{
    gnu_reloc r;
    r.r_vaddr = getU32(p + 0);
    r.r_symndx = getU32(p + 4);
    r.r_type = getU16(p + 8);
    return r;
}

void packGnuReloc(uint8_t *p, const gnu_reloc &r)
{
    putU32(p + 0, r.r_vaddr);
    putU32(p + 4, r.r_symndx);
    putU16(p + 8, r.r_type);
}

void unpackAux(const uint8_t *p, aux_file &a)
{
    a.x_offset = getU32(p + 0);
    a.x_incline = getU32(p + 4);
}
void packAux(uint8_t *p, const aux_file &a)
{
    putU32(p + 0, a.x_offset);
    putU32(p + 4, a.x_incline);
}

void unpackAux(const uint8_t *p, aux_scn &a)
{
    a.x_scnlen = getU32(p + 0);
    a.x_nreloc = getU16(p + 4);
    a.x_nlinno = getU16(p + 6);
}
void packAux(uint8_t *p, const aux_scn &a)
{
    putU32(p + 0, a.x_scnlen);
    putU16(p + 4, a.x_nreloc);
    putU16(p + 6, a.x_nlinno);
}

void unpackAux(const uint8_t *p, aux_tag &a)
{
    a.x_size = getU16(p + 6);
    a.x_endndx = getU32(p + 12);
}
void packAux(uint8_t *p, const aux_tag &a)
{
    putU16(p + 6, a.x_size);
    putU32(p + 12, a.x_endndx);
}

void unpackAux(const uint8_t *p, aux_eos &a)
{
    a.x_tagndx = getU32(p + 0);
    a.x_size = getU16(p + 6);
}
void packAux(uint8_t *p, const aux_eos &a)
{
    putU32(p + 0, a.x_tagndx);
    putU16(p + 6, a.x_size);
}

void unpackAux(const uint8_t *p, aux_fcn &a)
{
    a.x_tagndx = getU32(p + 0);
    a.x_size = getU32(p + 4);
    a.x_lnnoptr = getU32(p + 8);
    a.x_endndx = getU32(p + 12);
}
void packAux(uint8_t *p, const aux_fcn &a)
{
    putU32(p + 0, a.x_tagndx);
    putU32(p + 4, a.x_size);
    putU32(p + 8, a.x_lnnoptr);
    putU32(p + 12, a.x_endndx);
}

void unpackAux(const uint8_t *p, aux_arr &a)
{
    a.x_tagndx = getU32(p + 0);
    a.x_lnno = getU16(p + 4);
    a.x_size = getU16(p + 6);
    for (int i = 0; i < 4; i++)
        a.x_dimen[i] = getU16(p + 8 + 2 * i);
}
void packAux(uint8_t *p, const aux_arr &a)
{
    putU32(p + 0, a.x_tagndx);
    putU16(p + 4, a.x_lnno);
    putU16(p + 6, a.x_size);
    for (int i = 0; i < 4; i++)
        putU16(p + 8 + 2 * i, a.x_dimen[i]);
}

void unpackAux(const uint8_t *p, aux_eobf &a) { a.x_lnno = getU16(p + 4); }
void packAux(uint8_t *p, const aux_eobf &a) { putU16(p + 4, a.x_lnno); }

void unpackAux(const uint8_t *p, aux_bobf &a)
{
    a.x_lnno = getU16(p + 4);
    a.x_endndx = getU32(p + 12);
}
void packAux(uint8_t *p, const aux_bobf &a)
{
    putU16(p + 4, a.x_lnno);
    putU32(p + 12, a.x_endndx);
}

void unpackAux(const uint8_t *p, aux_var &a)
{
    a.x_tagndx = getU32(p + 0);
    a.x_size = getU16(p + 6);
}
void packAux(uint8_t *p, const aux_var &a)
{
    putU32(p + 0, a.x_tagndx);
    putU16(p + 6, a.x_size);
}

uint16_t basicType(uint16_t n_type) { return n_type & 0xF; }

uint16_t derivedType(uint16_t n_type, int field) { return (n_type >> (4 + 2 * field)) & 3; }

bool typeIsArray(uint16_t n_type)
{
    for (int field = 0; field < 6; field++)
        if (derivedType(n_type, field) == DT_ARY)
            return true;
    return false;
}

bool typeIsFunction(uint16_t n_type) { return derivedType(n_type, 0) == DT_FCN; }

bool typeIsAggregate(uint16_t n_type)
{
    uint16_t t = basicType(n_type);
    return t == T_STRUCT || t == T_UNION || t == T_ENUM;
}

AuxKind auxKindOf(const coff_syment &s)
{
    if (s.n_numaux == 0)
        return AUX_NONE;
    if (s.n_sclass == C_FILE)
        return AUX_FILE;
    if (s.n_sclass == C_EOS)
        return AUX_EOS;
    if (typeIsArray(s.n_type))
        return AUX_ARR;
    if (typeIsFunction(s.n_type))
        return AUX_FCN;
    // A name in the string table has zero first bytes and so matches none
    // of the names below.
    std::string name = inlineName(s._n_name);
    if (name == ".bf")
        return AUX_BOBF;
    if (name == ".ef")
        return AUX_EOBF;
    if (name == ".bb")
        return AUX_BOBF;
    if (name == ".eb")
        return AUX_EOBF;
    if (s.n_sclass == C_STRTAG || s.n_sclass == C_UNTAG || s.n_sclass == C_ENTAG)
        return AUX_TAG;
    if (typeIsAggregate(s.n_type))
        return AUX_VAR;
    if (s.n_sclass == C_SECTION || (s.n_sclass == C_STAT && s._n_name[0] == '.'))
        return AUX_SCN;
    return AUX_NONE;
}

std::string inlineName(const char name[8])
{
    size_t n = 0;
    while (n < NAME_INLINE_MAX && name[n] != '\0')
        n++;
    return std::string(name, n);
}

void setInlineName(char name[8], const std::string &text)
{
    std::memset(name, 0, NAME_INLINE_MAX);
    std::memcpy(name, text.data(), text.size() < NAME_INLINE_MAX ? text.size() : NAME_INLINE_MAX);
}

uint64_t strTblLength(const StrTbl &tbl)
{
    uint64_t length = 4;
    for (const auto &[offset, text] : tbl)
        length += text.size() + 1;
    return length;
}

int32_t strTblNextOffset(const StrTbl &tbl)
{
    if (tbl.empty())
        return 4;
    const auto &last = *tbl.rbegin();
    return int32_t(last.first + int64_t(last.second.size()) + 1);
}

int32_t strTblAppend(StrTbl &tbl, const std::string &text)
{
    int32_t offset = strTblNextOffset(tbl);
    tbl[offset] = text;
    return offset;
}

int64_t StrTblIndex::find(const StrTbl &tbl, const std::string &text)
{
    if (cTbl != &tbl || tbl.size() < cCount) {
        cTbl = &tbl;
        cCount = 0;
        cLast = -1;
        cFirst.clear();
    }
    if (tbl.size() != cCount) {
        auto it = cLast < 0 ? tbl.begin() : tbl.upper_bound(int32_t(cLast));
        for (; it != tbl.end(); ++it) {
            cFirst.emplace(it->second, it->first); // an earlier, smaller offset stays
            cLast = it->first;
            cCount++;
        }
    }
    auto found = cFirst.find(text);
    return found == cFirst.end() ? -1 : found->second;
}

std::vector<uint8_t> packStrTbl(const StrTbl &tbl)
{
    std::vector<uint8_t> out(4);
    putU32(out.data(), uint32_t(strTblLength(tbl)));
    for (const auto &[offset, text] : tbl) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    return out;
}

int32_t parseStrTbl(const uint8_t *p, size_t n, StrTbl &tbl)
{
    size_t pos = 0;
    while (pos < n) {
        const void *nul = std::memchr(p + pos, 0, n - pos);
        if (!nul)
            break;
        size_t len = static_cast<const uint8_t *>(nul) - (p + pos);
        if (len == 0)
            break;
        tbl[int32_t(pos + 4)] = std::string(reinterpret_cast<const char *>(p + pos), len);
        pos += len + 1;
    }
    return int32_t(pos + 4);
}
