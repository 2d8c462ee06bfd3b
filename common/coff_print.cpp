// The dump of a Coff and its records, for traces. A section header prints
// as
//
//   Section Header: 
//   _s_name=.code
//   s_paddr=0x00000000
//   ...
//
// and a table record as one line:
//
//   Relocation: r_vaddr=0x00000004, r_symndx=3, r_offset=-1, r_type=4

#include "coff.h"

#include "bytes.h"
#include "text.h"
#include "textio.h"

namespace {

std::string nameField(const char name[8], const char *offsetLabel, const char *nameLabel)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(name);
    if (getU32(p) == 0)
        return std::string(offsetLabel) + std::to_string(getU32(p + 4));
    return std::string(nameLabel) + inlineName(name);
}

} // namespace

void printRecord(std::ostream &out, const coff_filehdr &h)
{
    out << "File Header: \n"
        << "f_magic=" << h.f_magic << "\n"
        << "f_nscns=" << h.f_nscns << "\n"
        << "f_timdat=" << h.f_timdat << " (" << formatLocalTime(std::time_t(h.f_timdat), "%a %b %e %H:%M:%S %Y")
        << ") \n"
        << "f_symptr=" << hexString(h.f_symptr, 4) << "\n"
        << "f_nsyms=" << h.f_nsyms << "\n"
        << "f_opthdr=" << h.f_opthdr << "\n"
        << "f_flags=" << hexString(h.f_flags, 2) << "\n";
}

void printRecord(std::ostream &out, const coff_opthdr &h)
{
    out << "Optional Header: \n"
        << "magic=" << h.magic << "\n"
        << "vstamp=" << h.vstamp << "\n"
        << "proc_type=" << hexString(h.proc_type, 4) << "\n"
        << "rom_width_bits=" << h.rom_width_bits << "\n"
        << "ram_width_bits=" << h.ram_width_bits << "\n";
}

void printRecord(std::ostream &out, const coff_scnhdr &h)
{
    out << "Section Header: \n"
        << nameField(h._s_name, "_s_offset=", "_s_name=") << "\n"
        << "s_paddr=" << hexString(h.s_paddr, 4) << "\n"
        << "s_vaddr=" << hexString(h.s_vaddr, 4) << "\n"
        << "s_size=" << hexString(h.s_size, 4) << "\n"
        << "s_scnptr=" << hexString(h.s_scnptr, 4) << "\n"
        << "s_relptr=" << hexString(h.s_relptr, 4) << "\n"
        << "s_lnnoptr=" << hexString(h.s_lnnoptr, 4) << "\n"
        << "s_nreloc=" << h.s_nreloc << "\n"
        << "s_nlnno=" << h.s_nlnno << "\n"
        << "s_flags=" << hexString(h.s_flags, 4) << "\n";
}

void printRecord(std::ostream &out, const reloc &r)
{
    out << "Relocation: r_vaddr=" << hexString(r.r_vaddr, 4) << ", r_symndx=" << r.r_symndx
        << ", r_offset=" << r.r_offset << ", r_type=" << r.r_type << "\n";
}

void printRecord(std::ostream &out, const coff_lineno &l)
{
    out << "Line Number: l_srcndx=" << l.l_srcndx << ", l_lnno=" << l.l_lnno << ", l_paddr=" << hexString(l.l_paddr, 4)
        << ", l_flags=" << hexString(l.l_flags, 2) << ", l_fcnndx=" << l.l_fcnndx << "\n";
}

void printRecord(std::ostream &out, const coff_syment &s)
{
    out << "Symbol: " << nameField(s._n_name, "_n_offset=", "_n_name=") << ", n_value=" << hexString(s.n_value, 4)
        << ", n_scnum=" << s.n_scnum << ", n_type=" << hexString(s.n_type, 2)
        << ", n_sclass=" << int(int8_t(s.n_sclass)) << ", n_numaux=" << int(int8_t(s.n_numaux)) << "\n";
}

void printRecord(std::ostream &out, const gnu_lineno &l)
{
    out << "Gnu Line Number: l_paddr=" << hexString(l.l_addr, 4) << ", l_lnno=" << l.l_lnno << ", l_symndx=" << l.l_addr
        << "\n";
}

void printRecord(std::ostream &out, const aux_file &a)
{
    out << "Aux File: x_offset=" << a.x_offset << ", x_incline=" << a.x_incline << "\n";
}

void printRecord(std::ostream &out, const aux_scn &a)
{
    out << "Aux Scn: x_scnlen=" << a.x_scnlen << ", x_nreloc=" << a.x_nreloc << ", x_nlinno=" << a.x_nlinno << "\n";
}

void printRecord(std::ostream &out, const aux_tag &a)
{
    out << "Aux Tag: x_size=" << a.x_size << ", x_endndx=" << a.x_endndx << "\n";
}

void printRecord(std::ostream &out, const aux_eos &a)
{
    out << "Aux Eos: x_tagndx=" << a.x_tagndx << ", x_size=" << a.x_size << "\n";
}

void printRecord(std::ostream &out, const aux_fcn &a)
{
    out << "Aux Fcn: x_tagndx=" << a.x_tagndx << " (unused?), x_size=" << a.x_size
        << " (unused?), x_lnnoptr=" << hexString(a.x_lnnoptr, 4) << ", x_edndx=" << a.x_endndx << "\n";
}

void printRecord(std::ostream &out, const aux_arr &a)
{
    out << "Aux Arr: x_tagndx=" << a.x_tagndx << " (unused?), x_lnno=" << a.x_lnno << " (unused?), x_size=" << a.x_size;
    for (int i = 0; i < 4; i++)
        out << ", x_dimen[" << i << "]=" << a.x_dimen[i];
    out << "\n";
}

void printRecord(std::ostream &out, const aux_eobf &a) { out << "Aux Eobf: x_lnno=" << a.x_lnno << "\n"; }

void printRecord(std::ostream &out, const aux_bobf &a)
{
    out << "Aux Bobf: x_lnno=" << a.x_lnno << ", x_endndx=" << a.x_endndx << "\n";
}

void printRecord(std::ostream &out, const aux_var &a)
{
    out << "Aux Var: x_tagndx=" << a.x_tagndx << ", x_size=" << a.x_size << "\n";
}

void Coff::print(std::ostream &out) const
{
    out << "CoffFile: \n\n";
    printRecord(out, cFileHdr);
    out << "\n";
    printRecord(out, cOptHdr);
    for (const auto &[num, name] : cScnNum) {
        auto hdr = cScnHdr.find(name);
        if (hdr != cScnHdr.end())
            printRecord(out, hdr->second);
        if (auto lines = cLineInfo.find(name); lines != cLineInfo.end())
            for (const coff_lineno &l : lines->second)
                printRecord(out, l);
        if (auto relocs = cReloc.find(name); relocs != cReloc.end())
            for (const reloc &r : relocs->second)
                printRecord(out, r);
        out << "Raw Data: \n";
        if (auto raw = cRawData.find(name); raw != cRawData.end() && raw->second.size() > 0)
            raw->second.print(out);
    }
    out << "Symbol Table: \n";
    for (size_t i = 0; i < cSymbols.size(); i++) {
        out << "Index[" << i << "]= ";
        const coff_syment &slot = cSymbols[i];
        switch (i < cAuxKind.size() ? cAuxKind[i] : AUX_NONE) {
        case AUX_FILE:
            printRecord(out, auxOf<aux_file>(slot));
            break;
        case AUX_SCN:
            printRecord(out, auxOf<aux_scn>(slot));
            break;
        case AUX_TAG:
            printRecord(out, auxOf<aux_tag>(slot));
            break;
        case AUX_EOS:
            printRecord(out, auxOf<aux_eos>(slot));
            break;
        case AUX_FCN:
            printRecord(out, auxOf<aux_fcn>(slot));
            break;
        case AUX_ARR:
            printRecord(out, auxOf<aux_arr>(slot));
            break;
        case AUX_EOBF:
            printRecord(out, auxOf<aux_eobf>(slot));
            break;
        case AUX_BOBF:
            printRecord(out, auxOf<aux_bobf>(slot));
            break;
        case AUX_VAR:
            printRecord(out, auxOf<aux_var>(slot));
            break;
        default:
            printRecord(out, slot);
            break;
        }
    }
    out << "String Table: \n";
    for (const auto &[offset, text] : cStrTbl)
        out << "Offset[" << offset << "]= " << text << "\n";
}
