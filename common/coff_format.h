// The object-file format that every program of the suite exchanges: the
// fixed-size records of an image (file header, optional header, section
// header, relocation and line-number entries, symbol slots and the nine
// auxiliary layouts), the records of the foreign layout that the reader
// converts, the flag bits, the rule that tells which auxiliary layout
// follows a symbol, and the name and string-table rules.
//
// All numbers are little-endian and records are packed; each record has one
// unpack/pack pair over the helpers of bytes.h, never a struct copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

const uint16_t COFF_MAGIC = 0x1234;

// Record sizes in the file.
const size_t FILEHDR_SIZE = 20;
const size_t OPTHDR_SIZE = 16;
const size_t SCNHDR_SIZE = 40;
const size_t RELOC_SIZE = 12;
const size_t LINENO_SIZE = 16;
const size_t SYMENT_SIZE = 18;
const size_t AUXENT_SIZE = 18;
const size_t GNU_LINENO_SIZE = 6;
const size_t GNU_RELOC_SIZE = 10;
// Names of at most this many characters stand inline in a record.
const size_t NAME_INLINE_MAX = 8;

// Bits of f_flags.
const uint16_t F_RELFLG = 0x0001;  // relocation information removed
const uint16_t F_EXEC = 0x0002;    // executable image
const uint16_t F_LNNO = 0x0004;    // line numbers removed
const uint16_t F_LSYMS = 0x0080;   // local symbols removed
const uint16_t F_GENERIC = 0x8000; // may be linked for any processor of its family

// Bits of s_flags.
const uint32_t SCN_CODE = 0x0020;
const uint32_t SCN_IDATA = 0x0040;
const uint32_t SCN_UDATA = 0x0080;
const uint32_t SCN_ROMDATA = 0x0100;
const uint32_t SCN_ABS = 0x1000;
const uint32_t SCN_SHARED = 0x2000;
const uint32_t SCN_OVERLAY = 0x4000;
const uint32_t SCN_ACCESS = 0x8000;

enum SectionType : int32_t {
    SCNTYPE_UNKNOWN = 0,
    SCNTYPE_CODE = 1,
    SCNTYPE_IDATA = 2,
    SCNTYPE_UDATA = 3,
    SCNTYPE_ROMDATA = 4,
};

// The storage classes (n_sclass) that the programs test.
enum StorageClass : uint8_t {
    C_EXT = 2,
    C_STAT = 3,
    C_LABEL = 6,
    C_STRTAG = 10,
    C_UNTAG = 12,
    C_ENTAG = 15,
    C_BLOCK = 100,
    C_FCN = 101,
    C_EOS = 102,
    C_FILE = 103,
    C_SECTION = 109,
};

// The layout of the auxiliary slot that follows a symbol.
enum AuxKind : int32_t {
    AUX_NONE = 0,
    AUX_FILE = 1,
    AUX_SCN = 2,
    AUX_TAG = 3,
    AUX_EOS = 4,
    AUX_FCN = 5,
    AUX_ARR = 6,
    AUX_EOBF = 7,
    AUX_BOBF = 8,
    AUX_VAR = 9,
};

// Derived-type values of n_type and the basic types of aggregates.
const uint16_t DT_FCN = 2;
const uint16_t DT_ARY = 3;
const uint16_t T_STRUCT = 8;
const uint16_t T_UNION = 9;
const uint16_t T_ENUM = 10;

struct coff_filehdr
{
    uint16_t f_magic = 0;
    uint16_t f_nscns = 0;
    uint32_t f_timdat = 0;
    uint32_t f_symptr = 0;
    uint32_t f_nsyms = 0;
    uint16_t f_opthdr = 0;
    uint16_t f_flags = 0;
};

struct coff_opthdr
{
    uint16_t magic = 0;
    uint16_t vstamp = 0;
    uint32_t proc_type = 0;
    uint32_t rom_width_bits = 0;
    uint32_t ram_width_bits = 0;
};

// The 8 name bytes hold either the name (NUL-padded, no NUL at 8
// characters) or 4 zero bytes followed by a string-table offset.
struct coff_scnhdr
{
    char _s_name[8] = {};
    uint32_t s_paddr = 0;
    uint32_t s_vaddr = 0;
    uint32_t s_size = 0;
    uint32_t s_scnptr = 0;
    uint32_t s_relptr = 0;
    uint32_t s_lnnoptr = 0;
    uint16_t s_nreloc = 0;
    uint16_t s_nlnno = 0;
    uint32_t s_flags = 0;

    bool hasLongName() const;
    uint32_t _s_offset() const;
    // Marks the name as living in the string table at the offset.
    void setLongNameOffset(uint32_t offset);
};

struct reloc
{
    uint32_t r_vaddr = 0;
    uint32_t r_symndx = 0;
    int16_t r_offset = 0;
    uint16_t r_type = 0;

    bool operator<(const reloc &o) const { return r_vaddr < o.r_vaddr; }
    bool operator==(const reloc &o) const
    {
        return r_vaddr == o.r_vaddr && r_symndx == o.r_symndx && r_type == o.r_type;
    }
};

struct coff_lineno
{
    uint32_t l_srcndx = 0;
    uint16_t l_lnno = 0;
    uint32_t l_paddr = 0;
    uint16_t l_flags = 0;
    uint32_t l_fcnndx = 0;

    bool operator<(const coff_lineno &o) const { return l_lnno < o.l_lnno; }
    bool operator==(const coff_lineno &o) const
    {
        return l_srcndx == o.l_srcndx && l_lnno == o.l_lnno && l_paddr == o.l_paddr;
    }
};

// One 18-byte slot of the symbol table. An auxiliary slot is kept in this
// record too: its bytes round-trip unchanged, and auxOf / setAux read and
// write its fields.
struct coff_syment
{
    char _n_name[8] = {};
    uint32_t n_value = 0;
    int16_t n_scnum = 0;
    uint16_t n_type = 0;
    uint8_t n_sclass = 0;
    uint8_t n_numaux = 0;

    bool hasLongName() const;
    uint32_t _n_offset() const;
    void setLongNameOffset(uint32_t offset);
};

// Foreign layout: 6-byte line numbers and 10-byte relocation entries.
struct gnu_lineno
{
    uint32_t l_addr = 0; // l_paddr, or l_symndx of the function when l_lnno is 0
    uint16_t l_lnno = 0;
};

struct gnu_reloc
{
    uint32_t r_vaddr = 0;
    uint32_t r_symndx = 0;
    uint16_t r_type = 0;
};

// Auxiliary layouts; bytes a layout does not name are kept as they stand.
struct aux_file
{
    uint32_t x_offset = 0;
    uint32_t x_incline = 0;
};
struct aux_scn
{
    uint32_t x_scnlen = 0;
    uint16_t x_nreloc = 0;
    uint16_t x_nlinno = 0;
};
struct aux_tag
{
    uint16_t x_size = 0;
    uint32_t x_endndx = 0;
};
struct aux_eos
{
    uint32_t x_tagndx = 0;
    uint16_t x_size = 0;
};
struct aux_fcn
{
    uint32_t x_tagndx = 0;
    uint32_t x_size = 0;
    uint32_t x_lnnoptr = 0;
    uint32_t x_endndx = 0;
};
struct aux_arr
{
    uint32_t x_tagndx = 0;
    uint16_t x_lnno = 0;
    uint16_t x_size = 0;
    uint16_t x_dimen[4] = {};
};
struct aux_eobf
{
    uint16_t x_lnno = 0;
};
struct aux_bobf
{
    uint16_t x_lnno = 0;
    uint32_t x_endndx = 0;
};
struct aux_var
{
    uint32_t x_tagndx = 0;
    uint16_t x_size = 0;
};

coff_filehdr unpackFileHdr(const uint8_t *p);
void packFileHdr(uint8_t *p, const coff_filehdr &h);
coff_opthdr unpackOptHdr(const uint8_t *p);
void packOptHdr(uint8_t *p, const coff_opthdr &h);
coff_scnhdr unpackScnHdr(const uint8_t *p);
void packScnHdr(uint8_t *p, const coff_scnhdr &h);
reloc unpackReloc(const uint8_t *p);
void packReloc(uint8_t *p, const reloc &r);
coff_lineno unpackLineno(const uint8_t *p);
void packLineno(uint8_t *p, const coff_lineno &l);
coff_syment unpackSyment(const uint8_t *p);
void packSyment(uint8_t *p, const coff_syment &s);
gnu_lineno unpackGnuLineno(const uint8_t *p);
void packGnuLineno(uint8_t *p, const gnu_lineno &l);
gnu_reloc unpackGnuReloc(const uint8_t *p);
void packGnuReloc(uint8_t *p, const gnu_reloc &r);

// Auxiliary records: unpack reads the named fields of an 18-byte slot; pack
// writes only those fields and leaves the other bytes of the slot alone.
void unpackAux(const uint8_t *p, aux_file &a);
void packAux(uint8_t *p, const aux_file &a);
void unpackAux(const uint8_t *p, aux_scn &a);
void packAux(uint8_t *p, const aux_scn &a);
void unpackAux(const uint8_t *p, aux_tag &a);
void packAux(uint8_t *p, const aux_tag &a);
void unpackAux(const uint8_t *p, aux_eos &a);
void packAux(uint8_t *p, const aux_eos &a);
void unpackAux(const uint8_t *p, aux_fcn &a);
void packAux(uint8_t *p, const aux_fcn &a);
void unpackAux(const uint8_t *p, aux_arr &a);
void packAux(uint8_t *p, const aux_arr &a);
void unpackAux(const uint8_t *p, aux_eobf &a);
void packAux(uint8_t *p, const aux_eobf &a);
void unpackAux(const uint8_t *p, aux_bobf &a);
void packAux(uint8_t *p, const aux_bobf &a);
void unpackAux(const uint8_t *p, aux_var &a);
void packAux(uint8_t *p, const aux_var &a);

// The auxiliary record held in a symbol-table slot, and its write-back:
//   aux_fcn f = auxOf<aux_fcn>(slot); f.x_lnnoptr = p; setAux(slot, f);
template <class Aux> Aux auxOf(const coff_syment &slot)
{
    uint8_t b[SYMENT_SIZE];
    packSyment(b, slot);
    Aux a;
    unpackAux(b, a);
    return a;
}
template <class Aux> void setAux(coff_syment &slot, const Aux &a)
{
    uint8_t b[SYMENT_SIZE];
    packSyment(b, slot);
    packAux(b, a);
    slot = unpackSyment(b);
}

// Type word: basic type in bits 0-3, six 2-bit derived types from bit 4.
uint16_t basicType(uint16_t n_type);
uint16_t derivedType(uint16_t n_type, int field); // field 0 to 5
bool typeIsArray(uint16_t n_type);     // some derived type is an array
bool typeIsFunction(uint16_t n_type);  // the first derived type is a function
bool typeIsAggregate(uint16_t n_type); // structure, union or enumeration

// The kind of auxiliary slot that follows a symbol, first matching rule:
// no aux, file, end of structure, array, function, .bf/.ef/.bb/.eb, tag,
// aggregate, section symbol, else none.
AuxKind auxKindOf(const coff_syment &s);

// The inline name bytes up to the first NUL (all 8 when there is none).
std::string inlineName(const char name[8]);
// Clears the 8 name bytes and copies a name of at most 8 characters in.
void setInlineName(char name[8], const std::string &text);

// The string table: each string under the offset at which it stands,
// counted from the first byte of the table's length field.
using StrTbl = std::map<int32_t, std::string>;

// The table's length field: 4 plus every string with its NUL.
uint64_t strTblLength(const StrTbl &tbl);
// The offset under which the next string is appended.
int32_t strTblNextOffset(const StrTbl &tbl);
// Appends a string at the end of the table; returns its offset.
int32_t strTblAppend(StrTbl &tbl, const std::string &text);
// Finds the smallest offset under which a string stands, without a scan of
// the whole table per name. The table may only grow at its end (through
// strTblAppend) while an index is in use; a table that was swapped for
// another or shrank is indexed afresh.
class StrTblIndex
{
public:
    // The smallest offset whose string equals text, or -1.
    int64_t find(const StrTbl &tbl, const std::string &text);

private:
    const StrTbl *cTbl = nullptr;
    size_t cCount = 0;     // entries indexed so far
    int64_t cLast = -1;    // the largest offset indexed
    std::unordered_map<std::string, int32_t> cFirst;
};
// The table's bytes in the file: the length, then each string and its NUL
// in offset order.
std::vector<uint8_t> packStrTbl(const StrTbl &tbl);
// Parses the n string bytes that follow the length field. A string runs to
// its NUL; the parse stops at an empty string, at a string whose NUL is
// missing, or at the end. Returns the offset just past the last string read
// (4 when none), where the next string would be appended.
int32_t parseStrTbl(const uint8_t *p, size_t n, StrTbl &tbl);
