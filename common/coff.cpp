// Coff names (inline or in the string table) and the predicates over its
// records.

#include "coff.h"

#include "diag.h"

std::string Coff::getName(const coff_scnhdr &hdr, const StrTbl &strTbl)
{
    if (!hdr.hasLongName())
        return inlineName(hdr._s_name);
    auto it = strTbl.find(int32_t(hdr._s_offset()));
    if (it == strTbl.end()) {
        report(SEV_ERROR, "Coff::getName()", "Unable to find section name in string table.", true);
        return "";
    }
    return it->second;
}

std::string Coff::getName(const coff_syment &sym, const StrTbl &strTbl)
{
    if (!sym.hasLongName())
        return inlineName(sym._n_name);
    auto it = strTbl.find(int32_t(sym._n_offset()));
    if (it == strTbl.end()) {
        report(SEV_ERROR, "Coff::getName()", "Unable to find symbol name in string table.", true);
        return "";
    }
    return it->second;
}

std::string Coff::getName(const aux_file &aux, const StrTbl &strTbl)
{
    auto it = strTbl.find(int32_t(aux.x_offset));
    if (it == strTbl.end()) {
        report(SEV_ERROR, "Coff::getName()", "Unable to find aux_file name in string table.", true);
        return "";
    }
    return it->second;
}

namespace {

// The smallest offset whose string equals the name, or -1.
int64_t findString(const StrTbl &strTbl, const std::string &name)
{
    for (const auto &[offset, text] : strTbl)
        if (text == name)
            return offset;
    return -1;
}

} // namespace

void Coff::setName(coff_scnhdr &hdr, const StrTbl &strTbl, const std::string &name)
{
    if (name.size() <= NAME_INLINE_MAX) {
        setInlineName(hdr._s_name, name);
        return;
    }
    int64_t offset = findString(strTbl, name);
    if (offset < 0) {
        report(SEV_ERROR, "Coff::setName()", "Could not find section name '" + name + "' in string table.", true);
        return;
    }
    hdr.setLongNameOffset(uint32_t(offset));
}

void Coff::setName(coff_syment &sym, const StrTbl &strTbl, const std::string &name)
{
    if (name.size() <= NAME_INLINE_MAX) {
        setInlineName(sym._n_name, name);
        return;
    }
    int64_t offset = findString(strTbl, name);
    if (offset < 0) {
        report(SEV_ERROR, "Coff::setName()", "Could not find symbol name '" + name + "' in string table.", true);
        return;
    }
    sym.setLongNameOffset(uint32_t(offset));
}

bool Coff::isTag(const coff_syment &s)
{
    return s.n_sclass == C_STRTAG || s.n_sclass == C_UNTAG || s.n_sclass == C_ENTAG;
}

bool Coff::isSectionSymbol(const coff_syment &s)
{
    return s.n_sclass == C_SECTION || (s.n_sclass == C_STAT && s._n_name[0] == '.');
}

bool Coff::isRelocatable(const coff_syment &s)
{
    if (s.n_scnum < 1)
        return false;
    switch (s.n_sclass) {
    case C_EXT:
    case C_STAT:
    case C_LABEL:
    case C_BLOCK:
    case C_FCN:
        return true;
    default:
        return false;
    }
}

SectionType Coff::sectionType(const coff_scnhdr &h)
{
    if (h.s_flags & SCN_CODE)
        return SCNTYPE_CODE;
    if (h.s_flags & SCN_IDATA)
        return SCNTYPE_IDATA;
    if (h.s_flags & SCN_UDATA)
        return SCNTYPE_UDATA;
    if (h.s_flags & SCN_ROMDATA)
        return SCNTYPE_ROMDATA;
    return SCNTYPE_UNKNOWN;
}

const Data *Coff::programData(const std::string &name, const coff_scnhdr &hdr) const
{
    SectionType type = sectionType(hdr);
    if (type != SCNTYPE_CODE && type != SCNTYPE_ROMDATA)
        return nullptr;
    auto raw = cRawData.find(name);
    if (raw == cRawData.end() || raw->second.size() == 0)
        return nullptr;
    return &raw->second;
}

void Coff::setSectionFlags(coff_scnhdr &h, SectionType type, bool absolute, bool shared, bool access)
{
    h.s_flags = 0;
    if (absolute)
        h.s_flags |= SCN_ABS;
    if (shared)
        h.s_flags |= SCN_SHARED;
    if (access)
        h.s_flags |= SCN_ACCESS;
    switch (type) {
    case SCNTYPE_CODE:
        h.s_flags |= SCN_CODE;
        break;
    case SCNTYPE_IDATA:
        h.s_flags |= SCN_IDATA;
        break;
    case SCNTYPE_UDATA:
        h.s_flags |= SCN_UDATA;
        break;
    case SCNTYPE_ROMDATA:
        h.s_flags |= SCN_ROMDATA;
        break;
    default:
        break;
    }
}
