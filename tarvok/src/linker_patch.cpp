// Relocation patching: completes the instruction words that the object
// files left open, one relocation entry at a time, with the patcher of the
// linked device family.

#include "linker.h"

#include "coff.h"
#include "debugsw.h"
#include "diag.h"
#include "patchword.h"
#include "reloctype.h"

#include <iostream>

bool Linker::doPatch(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                     const StrTbl &strTbl, std::string &err)
{
    switch (cFamily) {
    case FAMILY_CORE16E:
        return doPatchCore16E(loadStart, data, rel, symbols, strTbl, err);
    case FAMILY_CORE16:
        return doPatchCore16(data, rel, symbols, err);
    case FAMILY_CORE12:
        return doPatchCore12(data, rel, symbols, err);
    case FAMILY_CORE14:
        return doPatchCore14(data, rel, symbols, err);
    default:
        // The family comes from the processor table, which has no other.
        SUITE_ASSERT(!"a device family without a patcher");
        return false;
    }
}

namespace {

// The entry's symbol index must name a primary slot of the input's table.
bool checkRelocSymbol(const Coff &coff, const reloc &rel, std::string &err)
{
    if (!relocSymbol(rel, coff.cSymbols, err))
        return false;
    if (rel.r_symndx < coff.cAuxKind.size() && coff.cAuxKind[rel.r_symndx] != AUX_NONE) {
        err = "relocation at offset " + std::to_string(rel.r_vaddr) + " names symbol index " +
              std::to_string(rel.r_symndx) + ", which is an auxiliary entry.";
        return false;
    }
    return true;
}

void traceEntry(const char *phase, const Coff &coff, const std::string &section, const reloc &rel)
{
    std::cout << phase << "() -  file '" << coff.cName << "', section '" << section << "',    reloc=\n";
    printRecord(std::cout, rel);
}

} // namespace

bool Linker::verifyRelocations(std::string &err)
{
    // Core12 calls reach only the first half of a page; a call to a target in
    // the upper half fails the link before anything is patched.
    if (cFamily != FAMILY_CORE12)
        return true;
    const uint32_t pageSize = proc_page_size(cProcessor);
    const uint32_t half = pageSize / 2;
    const bool trace = debugLevel("Linker::verifyRelocations");
    for (const auto &coff : cCoff)
        for (const auto &[num, name] : coff->cScnNum) {
            auto relocs = coff->cReloc.find(name);
            if (relocs == coff->cReloc.end())
                continue;
            const std::string where = "file '" + coff->cName + "', section '" + name + "', ";
            for (const reloc &rel : relocs->second) {
                if (trace)
                    traceEntry("Linker::verifyRelocations", *coff, name, rel);
                if (rel.r_type != RELOCT_CALL)
                    continue;
                if (!checkRelocSymbol(*coff, rel, err)) {
                    err = where + err;
                    return false;
                }
                const coff_syment &sym = coff->cSymbols[rel.r_symndx];
                if (relocTarget(sym, rel) % pageSize >= half) {
                    err = where + "performs a call to \n symbol '" + Coff::getName(sym, coff->cStrTbl) +
                          "' which is not in the lower half of a page.";
                    return false;
                }
            }
        }
    return true;
}

bool Linker::patchSections(std::string &err)
{
    // Applies every relocation entry of every input section, in input order,
    // section-number order and stored order, to the input's own raw data.
    // The first failing entry ends the phase; earlier patches stay.
    const bool trace = debugLevel("Linker::patchSections");
    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        Coff &coff = *cCoff[input];
        for (const auto &[num, name] : coff.cScnNum) {
            auto relocs = coff.cReloc.find(name);
            if (relocs == coff.cReloc.end() || relocs->second.empty())
                continue;
            const std::string where = "file '" + coff.cName + "', section '" + name + "', ";
            auto mem = cScnMem.find(name);
            if (mem == cScnMem.end() || !mem->second->isLoaded(input, name)) {
                err = where + "the section has no place in memory for its relocations.";
                return false;
            }
            const uint32_t loadStart = mem->second->getLoadStart(input, name);
            Data none;
            auto raw = coff.cRawData.find(name);
            Data &data = raw == coff.cRawData.end() ? none : raw->second;
            // Relocations in uninitialised data are checked and patched
            // like any others, without its bytes being built: none of them
            // reaches an output.
            for (const reloc &rel : relocs->second) {
                if (trace)
                    traceEntry("Linker::patchSections", coff, name, rel);
                if (!checkRelocSymbol(coff, rel, err) ||
                    !doPatch(loadStart, data, rel, coff.cSymbols, coff.cStrTbl, err)) {
                    err = where + err;
                    return false;
                }
            }
        }
    }
    return true;
}
