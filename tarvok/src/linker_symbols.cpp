// From placement to final addresses: records where each input's part of a
// section lies inside the section's range, builds the ".cinit" copy table,
// moves symbols and line numbers by the distance their sections moved,
// merges the string tables of all inputs into one numbering, and collects
// the global definitions and resolves every external reference with them.
//
// Inputs are told apart by their place in cCoff, never by name: the same
// file may be linked under two names, and two libraries may each have a
// member "util.o".

#include "linker.h"

#include "bytes.h"
#include "debugsw.h"
#include "mgproc.h"
#include "text.h"

#include <iostream>
#include <set>

namespace {

// A section number that the input does not have.
const int64_t NO_SECTION = INT64_MIN;

// The ".cinit" entries: three 16-bit or three 32-bit fields.
void appendField(std::vector<uint8_t> &buf, uint32_t value, bool wide)
{
    uint8_t b[4];
    putU32(b, value);
    buf.insert(buf.end(), b, b + (wide ? 4 : 2));
}

} // namespace

// ---------------------------------------------------------------------------
// Section loading

bool Linker::loadSections(std::string &err)
{
    // Fills the load records of the memories: for every input, in cCoff
    // order, and every section it has, where its part lies.
    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        const Coff &coff = *cCoff[input];
        for (const auto &[num, name] : coff.cScnNum) {
            const coff_scnhdr &hdr = coff.cScnHdr.at(name);
            Memory *mem = cScnMem.at(name);
            if (cScnAbs.at(name)) {
                // An absolute part takes the whole range; overlay parts all
                // start at the section's one address.
                mem->load(input, coff.cName, name, hdr.s_paddr, hdr.s_size);
                continue;
            }
            if (!partFits(*mem, name, hdr.s_size)) {
                err = "section '" + name + "' of file '" + coff.cName +
                      "' does not fit into the locations allocated for the section.";
                return false;
            }
            mem->load(input, coff.cName, name, hdr.s_size);
        }
    }
    return true;
}

bool Linker::partFits(const Memory &mem, const std::string &name, uint32_t length) const
{
    // The next part of a relocatable section starts at the range's load
    // pointer. In memory of 2-byte locations a part of odd length still
    // takes whole locations, so parts of odd lengths can need more room
    // than the section's size in bytes gives; such a part would run past
    // the range and past the section's output buffer.
    const Range &range = mem.getAllocated().at(name);
    uint64_t used = range.isOverlay() ? 0 : uint64_t(range.getLoadPointer() - range.getStart()) * range.bytesPerLoc();
    return used + length <= cScnSize.at(name);
}

bool Linker::buildCinitTbl(std::string &err)
{
    // Fills cCinitTbl: an entry count, then one entry per initialised-data
    // section with a nonzero size, in name order: the image's program
    // address, the section's data address and its size in bytes.
    (void)err;
    bool wide = proc_max_rom_address(cProcessor) > 0xFFFF || proc_max_ram_address(cProcessor) > 0xFFFF;
    std::vector<uint8_t> table(2); // the count, filled in at the end
    uint16_t count = 0;
    for (const auto &[name, type] : cScnType) {
        if (type != SCNTYPE_IDATA)
            continue;
        std::string image = romImageName(name);
        uint32_t imageStart = cScnMem.at(image)->getScnStart(image);
        const Memory *mem = cScnMem.at(name);
        uint32_t dataStart = mem->getScnStart(name);
        uint32_t size = mem->getScnSize(name);
        if ((wide ? size : size & 0xFFFF) == 0)
            continue;
        appendField(table, imageStart, wide);
        appendField(table, dataStart, wide);
        appendField(table, size, wide);
        ++count;
    }
    putU16(table.data(), count);
    cCinitTbl = Data(uint32_t(table.size()), table.data());
    return true;
}

// ---------------------------------------------------------------------------
// Symbols and line numbers

std::vector<int64_t> Linker::sectionDisplacements(uint32_t input) const
{
    // For each section number of the input, how far its part moved:
    // load start - s_paddr, in the units of the section's memory. Index 0
    // and numbers the input lacks hold NO_SECTION.
    const Coff &coff = *cCoff[input];
    int32_t last = coff.cScnNum.empty() ? 0 : coff.cScnNum.rbegin()->first;
    std::vector<int64_t> delta(size_t(last < 0 ? 0 : last) + 1, NO_SECTION);
    for (const auto &[num, name] : coff.cScnNum) {
        if (num < 1)
            continue;
        uint32_t loadStart = cScnMem.at(name)->getLoadStart(input, name);
        delta[num] = int64_t(uint32_t(loadStart - coff.cScnHdr.at(name).s_paddr));
    }
    return delta;
}

bool Linker::relocateSymbols(std::string &err)
{
    // Moves every symbol that belongs to a section by its section's
    // displacement in that input. One walk per input, with the
    // displacements looked up by section number.
    (void)err;
    bool trace = debugLevel("Linker::relocateSymbols");
    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        Coff &coff = *cCoff[input];
        std::vector<int64_t> delta = sectionDisplacements(input);
        for (size_t i = 0; i < coff.cSymbols.size(); ++i) {
            if (coff.cAuxKind[i] != AUX_NONE)
                continue; // the reader's auxiliary slots are no symbols
            coff_syment &sym = coff.cSymbols[i];
            if (!Coff::isRelocatable(sym) || size_t(sym.n_scnum) >= delta.size() || delta[sym.n_scnum] == NO_SECTION)
                continue;
            uint32_t old = sym.n_value;
            sym.n_value = old + uint32_t(delta[sym.n_scnum]);
            if (trace)
                std::cout << "Linker::relocateSymbols() - symbol '" << Coff::getName(sym, coff.cStrTbl)
                          << "' in section '" << coff.cName << ":" << coff.cScnNum.at(sym.n_scnum) << "'  from "
                          << hexString(old, 4) << " to " << hexString(sym.n_value, 4) << '\n';
        }
    }
    return true;
}

bool Linker::relocateLineInfo(std::string &err)
{
    // Moves the addresses of the line numbers of code sections; line
    // numbers of other sections keep theirs.
    (void)err;
    bool trace = debugLevel("Linker::relocateLineInfo");
    forEachCodeLineInfo([&](uint32_t input, Coff &coff, const std::string &name, std::vector<coff_lineno> &lines) {
        uint32_t delta = cScnMem.at(name)->getLoadStart(input, name) - coff.cScnHdr.at(name).s_paddr;
        for (coff_lineno &line : lines) {
            uint32_t old = line.l_paddr;
            line.l_paddr = old + delta;
            if (trace)
                std::cout << "Linker::relocateLineInfo() - line num '" << line.l_lnno << "' in section '"
                          << coff.cName << ":" << name << "'  from " << hexString(old, 4) << " to "
                          << hexString(line.l_paddr, 4) << '\n';
        }
    });
    return true;
}

void Linker::forEachCodeLineInfo(
    const std::function<void(uint32_t input, Coff &coff, const std::string &name, std::vector<coff_lineno> &lines)>
        &visit)
{
    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        Coff &coff = *cCoff[input];
        for (const auto &[num, name] : coff.cScnNum) {
            if (cScnType.at(name) != SCNTYPE_CODE)
                continue;
            auto lines = coff.cLineInfo.find(name);
            if (lines == coff.cLineInfo.end())
                continue;
            visit(input, coff, name, lines->second);
        }
    }
}

// ---------------------------------------------------------------------------
// String tables

void Linker::mergeStringTbls()
{
    // Fills cOutput's string table with every distinct string of all
    // inputs, in byte order from offset 4, and renumbers every input's
    // references to it.
    std::set<std::string> strings;
    for (const auto &coff : cCoff)
        for (const auto &[offset, text] : coff->cStrTbl)
            strings.insert(text);

    std::map<std::string, int32_t> offsets;
    cOutput.cStrTbl.clear();
    int32_t offset = 4;
    for (const std::string &text : strings) {
        cOutput.cStrTbl[offset] = text;
        offsets.emplace(text, offset);
        offset += int32_t(text.size() + 1);
    }
    if (debugLevel("Linker::mergeStringTbls")) {
        std::cout << "Linker::mergeStringTbls() - cOutput=";
        cOutput.print(std::cout);
    }
    for (auto &coff : cCoff)
        replaceStringTbl(*coff, offsets);
}

void Linker::replaceStringTbl(Coff &coff, const std::map<std::string, int32_t> &offsets)
{
    // Rewrites the input's long section and symbol names and its source
    // file names to their offsets in the merged table (offsets: string to
    // its new offset).
    bool trace = debugLevel("Linker::replaceStringTbl");
    for (auto &[name, hdr] : coff.cScnHdr)
        if (hdr.hasLongName())
            hdr.setLongNameOffset(uint32_t(offsets.at(Coff::getName(hdr, coff.cStrTbl))));

    const size_t count = coff.cSymbols.size();
    for (size_t i = 0; i < count; ++i) {
        if (coff.cAuxKind[i] != AUX_NONE)
            continue;
        coff_syment &sym = coff.cSymbols[i];
        if (!sym.hasLongName() && inlineName(sym._n_name) == ".file") {
            // Only the symbol's own file entry names a file; a ".file"
            // symbol without one has nothing to rewrite.
            if (i + 1 >= count || coff.cAuxKind[i + 1] != AUX_FILE)
                continue;
            coff_syment &slot = coff.cSymbols[i + 1];
            aux_file aux = auxOf<aux_file>(slot);
            if (trace) {
                std::cout << "Linker::replaceStringTbl() - in file '" << coff.cName << "';    updating aux_file:";
                printRecord(std::cout, aux);
            }
            aux.x_offset = uint32_t(offsets.at(Coff::getName(aux, coff.cStrTbl)));
            setAux(slot, aux);
            if (trace) {
                std::cout << "Linker::replaceStringTbl() - in file '" << coff.cName << "'; updated aux_file: ";
                printRecord(std::cout, aux);
            }
        } else if (sym.hasLongName()) {
            std::string name = Coff::getName(sym, coff.cStrTbl);
            if (trace) {
                std::cout << "Linker::replaceStringTbl() - in file '" << coff.cName << "';    updating symbol:";
                printRecord(std::cout, sym);
            }
            sym.setLongNameOffset(uint32_t(offsets.at(name)));
            if (trace) {
                std::cout << "Linker::replaceStringTbl() - in file '" << coff.cName << "'; updated symbol '" << name
                          << "': ";
                printRecord(std::cout, sym);
            }
        }
    }

    // Every string the input held, under its offset in the merged table:
    // the input's names now read exactly as in the merged table, without a
    // full copy of that table for every input.
    StrTbl renumbered;
    for (const auto &[offset, text] : coff.cStrTbl)
        renumbered.emplace(offsets.at(text), text);
    coff.cStrTbl.swap(renumbered);
}

// ---------------------------------------------------------------------------
// External symbols

bool Linker::buildExtSymDef(std::string &err)
{
    // Fills cExtSymDef with the linker's own symbols and every external
    // definition of every input; a name defined twice ends the link.
    cExtSymDef.clear();
    cExtSymDef[inlineName(cCinitSym._n_name)] = &cCinitSym;
    if (cStackDeclared) {
        const Memory *mem = cScnMem.at(cStackName);
        makeLinkerSymbol(cStackSym, "_stack", mem->getScnStart(cStackName));
        makeLinkerSymbol(cStkSizeSym, "_stksize", mem->getScnSize(cStackName));
        cExtSymDef["_stack"] = &cStackSym;
        cExtSymDef["_stksize"] = &cStkSizeSym;
    }

    bool trace = debugLevel("Linker::buildExtSymDef");
    for (auto &coff : cCoff) {
        for (size_t i = 0; i < coff->cSymbols.size(); ++i) {
            coff_syment &sym = coff->cSymbols[i];
            if (coff->cAuxKind[i] != AUX_NONE || !Coff::isExternalDef(sym))
                continue;
            std::string name = Coff::getName(sym, coff->cStrTbl);
            if (!cExtSymDef.emplace(name, &sym).second) {
                err = "symbol '" + name + "' has multiple definitions.";
                return false;
            }
            if (trace)
                std::cout << "Linker::buildExtSymDef() - adding external definition symbol '" << name
                          << "' in file '" << coff->cName << "'. \n";
        }
    }
    return true;
}

void Linker::makeLinkerSymbol(coff_syment &sym, const std::string &name, uint32_t value)
{
    sym = coff_syment();
    setInlineName(sym._n_name, name);
    sym.n_value = value;
    sym.n_scnum = 0;
    sym.n_type = 0;
    sym.n_sclass = C_EXT;
    sym.n_numaux = 0;
}

bool Linker::resolveExternals(std::string &err)
{
    // Gives every external reference the value of its definition, or, for
    // a name "." + section, the first address of that section.
    bool trace = debugLevel("Linker::resolveExternals");
    for (auto &coff : cCoff) {
        for (size_t i = 0; i < coff->cSymbols.size(); ++i) {
            coff_syment &sym = coff->cSymbols[i];
            if (coff->cAuxKind[i] != AUX_NONE || !Coff::isExternalRef(sym))
                continue;
            std::string name = Coff::getName(sym, coff->cStrTbl);
            uint32_t old = sym.n_value;
            if (name.empty() || name[0] != '.') {
                auto def = cExtSymDef.find(name);
                if (def == cExtSymDef.end()) {
                    err = "could not resolve symbol '" + name + "' in file '" + coff->cName + "'.";
                    return false;
                }
                sym.n_value = def->second->n_value;
                if (trace)
                    std::cout << "Linker::resolveExternals() - resolving external reference symbol '" << name
                              << "' in file '" << coff->cName << "'; from " << hexString(old, 4) << " to "
                              << hexString(sym.n_value, 4) << '\n';
                continue;
            }
            std::string section = name.substr(1);
            auto mem = cScnMem.find(section);
            if (!cScnSize.count(section) || mem == cScnMem.end()) {
                err = "could not resolve section reference '" + section + "' in file '" + coff->cName + "'.";
                return false;
            }
            sym.n_value = mem->second->getScnStart(section);
            if (trace)
                std::cout << "Linker::resolveExternals() - resolving external reference symbol '" << name
                          << "' in file '" << coff->cName << "'; from " << hexString(old, 4) << " to address "
                          << sym.n_value << '\n';
        }
    }
    return true;
}
