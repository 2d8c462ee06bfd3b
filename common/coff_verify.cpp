// Coff::verify: every section number, string-table offset and symbol index
// of the object must point at something that exists. Every fault is
// reported; nothing is changed.

#include "coff.h"

#include "diag.h"

bool Coff::verify() const
{
    SUITE_ASSERT(cAuxKind.size() == cSymbols.size());
    bool ok = true;
    auto fault = [&](const std::string &message) {
        report(SEV_ERROR, "Coff::verify()", message, false);
        ok = false;
    };
    const std::string file = "Coff file '" + cName + "'";
    // An index is out of range when above the last slot, unsigned; with no
    // slots, last is the largest 32-bit value and nothing is out of range.
    const uint32_t last = uint32_t(cSymbols.size()) - 1;
    auto outOfRange = [&](uint32_t index) { return index > last; };

    for (size_t i = 0; i < cSymbols.size(); i++) {
        if (cAuxKind[i] != AUX_NONE)
            continue;
        int16_t scnum = cSymbols[i].n_scnum;
        if (scnum != 0 && scnum != -1 && scnum != -2 && !cScnNum.count(scnum))
            fault(file + " symbol[" + std::to_string(i) + "] has an invalid n_scnum.");
    }

    for (size_t i = 0; i < cSymbols.size(); i++) {
        if (cAuxKind[i] != AUX_NONE || !cSymbols[i].hasLongName())
            continue;
        if (!cStrTbl.count(int32_t(cSymbols[i]._n_offset())))
            fault(file + " symbol[" + std::to_string(i) + "] has an invalid n_offset.");
    }

    size_t n = 0;
    for (const auto &[scn, hdr] : cScnHdr) {
        if (hdr.hasLongName() && !cStrTbl.count(int32_t(hdr._s_offset())))
            fault(file + " section[" + std::to_string(n) + "] has an invalid s_offset.");
        n++;
    }

    for (const auto &[scn, relocs] : cReloc) {
        if (!relocs.empty() && cSymbols.empty())
            fault(file + " has relocation entries but an empty symbol table.");
        for (size_t j = 0; j < relocs.size(); j++)
            if (outOfRange(relocs[j].r_symndx))
                fault(file + ", section '" + scn + "' reloc[" + std::to_string(j) + "] has an invalid r_symndx.");
    }

    for (size_t j = 0; j < cSymbols.size(); j++) {
        bool bad = false;
        switch (cAuxKind[j]) {
        case AUX_TAG:
            bad = outOfRange(auxOf<aux_tag>(cSymbols[j]).x_endndx);
            break;
        case AUX_BOBF:
            bad = outOfRange(auxOf<aux_bobf>(cSymbols[j]).x_endndx);
            break;
        case AUX_EOS:
            bad = outOfRange(auxOf<aux_eos>(cSymbols[j]).x_tagndx);
            break;
        case AUX_ARR:
            bad = outOfRange(auxOf<aux_arr>(cSymbols[j]).x_tagndx);
            break;
        case AUX_VAR:
            bad = outOfRange(auxOf<aux_var>(cSymbols[j]).x_tagndx);
            break;
        case AUX_FCN: {
            aux_fcn f = auxOf<aux_fcn>(cSymbols[j]);
            bad = outOfRange(f.x_tagndx) || outOfRange(f.x_endndx);
            break;
        }
        default:
            break;
        }
        if (bad)
            fault(file + " symbol[" + std::to_string(j) + "] has an invalid x_tagndx or x_endndx.");
    }

    for (const auto &[scn, lines] : cLineInfo) {
        for (size_t j = 0; j < lines.size(); j++) {
            std::string where = file + ", section '" + scn + "' line[" + std::to_string(j) + "]";
            if (outOfRange(lines[j].l_srcndx))
                fault(where + " has an invalid l_srcndx.");
            if (outOfRange(lines[j].l_fcnndx))
                fault(where + " has an invalid l_fcnndx.");
        }
    }

    if (cScnHdr.size() != cScnNum.size())
        fault(file + ", cScnHdr.size() != cScnNum.size() . ");
    return ok;
}
