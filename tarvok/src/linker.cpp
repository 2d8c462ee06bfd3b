// The Linker's configuration callbacks with their checks, the link run's
// table of contents, and the debug dump.

#include "linker.h"

#include "debugsw.h"
#include "diag.h"
#include "pathinfo.h"

#include <algorithm>
#include <iterator>

Linker::Linker() = default;
Linker::~Linker() = default;

// ------------------------------------------------------------ callbacks

bool Linker::setMinHeapSize(uint32_t size, std::string &err)
{
    if (cHeapDeclared) {
        err = "multiple min heap sizes declared: '" + std::to_string(cMinHeapSize) + "', '" +
              std::to_string(size) + "'";
        return false;
    }
    cMinHeapSize = size;
    cHeapDeclared = 1;
    return true;
}

bool Linker::setMapFile(const std::string &name, std::string &err)
{
    if (!cMapFile.empty()) {
        err = "multiple map files declared: '" + cMapFile + "', '" + name + "'";
        return false;
    }
    cMapFile = name;
    return true;
}

bool Linker::setOutputFile(const std::string &name, std::string &err)
{
    if (!cOutputFile.empty()) {
        err = "multiple output files declared: '" + cOutputFile + "', '" + name + "'";
        return false;
    }
    cOutputFile = name;
    return true;
}

bool Linker::addObjectFile(const std::string &name, std::string &err)
{
    // Names are compared as written: one file reached by two paths is
    // accepted twice.
    if (!cObjectNames.insert(name).second) {
        err = "mutliple inclusion of object file '" + name + "' ";
        return false;
    }
    cObjectFile.push_back(name);
    return true;
}

bool Linker::addLibraryFile(const std::string &name, std::string &err)
{
    if (!cLibraryNames.insert(name).second) {
        err = "mutliple inclusion of library file '" + name + "' ";
        return false;
    }
    cLibraryFile.push_back(name);
    return true;
}

bool Linker::addCodePage(const Memory &memory, std::string &err)
{
    if (!fillFits(memory, "", err) || !checkDuplicateMemory(memory, false, err) || !checkRomOverlap(memory, err))
        return false;
    cCodePage.push_back(memory);
    if (memory.hasFill())
        cFillLocations += uint64_t(memory.getEnd()) - memory.getStart() + 1;
    noteMemory(memory, LIST_CODE);
    return true;
}

bool Linker::fillFits(const Memory &memory, const std::string &at, std::string &err) const
{
    const uint64_t locations = uint64_t(memory.getEnd()) - memory.getStart() + 1;
    if (!memory.hasFill() || cFillLocations + locations <= MAX_FILL_LOCATIONS)
        return true;
    err = "CODEPAGE '" + memory.getName() + "'" + (at.empty() ? "" : " in " + at) +
          " is too large to be filled: its " + std::to_string(locations) + " locations and the " +
          std::to_string(cFillLocations) + " of the CODEPAGEs with FILL before it pass the " +
          std::to_string(MAX_FILL_LOCATIONS) + " one link may fill ";
    return false;
}

bool Linker::addDataBank(const Memory &memory, std::string &err)
{
    if (!checkDuplicateMemory(memory, false, err) || !checkRamOverlap(memory, err))
        return false;
    cDataBanks.push_back(memory);
    noteMemory(memory, LIST_DATA);
    return true;
}

bool Linker::addShareBank(const Memory &memory, std::string &err)
{
    // A SHAREBANK may repeat the name of an earlier SHAREBANK: each
    // definition is a separate stretch of the same length.
    if (!checkDuplicateMemory(memory, true, err) || !checkRamOverlap(memory, err))
        return false;
    auto it = cShareBankSize.find(memory.getName());
    if (it != cShareBankSize.end() && it->second != memory.size()) {
        err = "inconsistent length definitions of SHAREBANK '" + memory.getName() + "' ";
        return false;
    }
    cShareBanks.push_back(memory);
    noteMemory(memory, LIST_SHARE);
    cShareBankSize.emplace(memory.getName(), memory.size());
    return true;
}

bool Linker::addAccessBank(const Memory &memory, std::string &err)
{
    if (!checkDuplicateMemory(memory, false, err) || !checkRamOverlap(memory, err))
        return false;
    cAccessBanks.push_back(memory);
    noteMemory(memory, LIST_ACCESS);
    return true;
}

bool Linker::addSectionDesc(const SectionDesc &desc, std::string &err)
{
    const std::string name = desc.getName();
    if (cSectionNames.count(name)) {
        err = "duplicate definitions of SECTION '" + name + "' ";
        return false;
    }
    auto has = [this](const std::string &memory, uint8_t lists) {
        auto it = cMemoryNames.find(memory);
        return it != cMemoryNames.end() && (it->second & lists) != 0;
    };
    const uint8_t banks = (1 << LIST_DATA) | (1 << LIST_SHARE) | (1 << LIST_ACCESS);
    const std::string rom = desc.getLoadMemory();
    if (!rom.empty() && !has(rom, 1 << LIST_CODE)) {
        err = "undefined CODEPAGE '" + rom + "' for SECTION '" + name + "' ";
        return false;
    }
    const std::string ram = desc.getRunMemory();
    if (!ram.empty() && !has(ram, banks)) {
        err = "undefined DATABANK/SHAREBANK '" + ram + "' for SECTION '" + name + "' ";
        return false;
    }
    cSectionDesc.push_back(desc);
    cSectionNames.insert(name);
    return true;
}

bool Linker::setStackDesc(const StackDesc &desc, std::string &err)
{
    if (cStackDeclared) {
        err = "multiple STACK definitions ";
        return false;
    }
    const std::string bank = desc.getRunMemory();
    if (!bank.empty()) {
        auto it = cMemoryNames.find(bank);
        const uint8_t banks = (1 << LIST_DATA) | (1 << LIST_SHARE) | (1 << LIST_ACCESS);
        if (it == cMemoryNames.end() || (it->second & banks) == 0) {
            err = "undefined DATABANK/SHAREBANK '" + bank + "' for STACK. ";
            return false;
        }
    }
    cStackDesc = StackDesc(desc.getSize(), bank);
    cStackDeclared = 1;
    return true;
}

bool Linker::addLibPath(const std::string &dir, std::string &)
{
    cLibPath.push_back(dir);
    return true;
}

bool Linker::setStrip(uint32_t flag, std::string &)
{
    cStrip = flag;
    return true;
}

// ------------------------------------------------------- memory checks

bool Linker::checkDuplicateMemory(const Memory &memory, bool skipShareBanks, std::string &err) const
{
    auto it = cMemoryNames.find(memory.getName());
    if (it == cMemoryNames.end())
        return true;
    uint8_t lists = it->second;
    if (skipShareBanks)
        lists &= uint8_t(~(1 << LIST_SHARE));
    if (lists == 0)
        return true;
    err = "duplicate definition of memory '" + memory.getName() + "' ";
    return false;
}

bool Linker::checkRomOverlap(const Memory &memory, std::string &err) const
{
    return findOverlap(cRomRegions, memory, err);
}

bool Linker::checkRamOverlap(const Memory &memory, std::string &err) const
{
    return findOverlap(cRamRegions, memory, err);
}

const Memory &Linker::region(const RegionRef &ref) const
{
    switch (ref.list) {
    case LIST_CODE: return cCodePage[ref.index];
    case LIST_DATA: return cDataBanks[ref.index];
    case LIST_SHARE: return cShareBanks[ref.index];
    default: return cAccessBanks[ref.index];
    }
}

bool Linker::findOverlap(const RegionIndex &index, const Memory &memory, std::string &err) const
{
    // The recorded regions never overlap each other, so those that overlap
    // the new one are consecutive in start order. The message names the one
    // a search of the lists in order (DATABANKs, SHAREBANKs, ACCESSBANKs,
    // each from its first region) would meet first.
    auto it = index.upper_bound(memory.getStart());
    if (it != index.begin()) {
        auto before = std::prev(it);
        if (before->second.end >= memory.getStart())
            it = before;
    }
    const RegionRef *first = nullptr;
    for (; it != index.end() && it->first <= memory.getEnd(); ++it) {
        const RegionRef &ref = it->second;
        if (!first || ref.list < first->list || (ref.list == first->list && ref.index < first->index))
            first = &ref;
    }
    if (!first)
        return true;
    err = "memory '" + memory.getName() + "' overlaps memory '" + region(*first).getName() + "' ";
    return false;
}

void Linker::noteMemory(const Memory &memory, MemList list)
{
    cMemoryNames[memory.getName()] |= uint8_t(1 << list);
    uint32_t index = 0;
    switch (list) {
    case LIST_CODE: index = uint32_t(cCodePage.size() - 1); break;
    case LIST_DATA: index = uint32_t(cDataBanks.size() - 1); break;
    case LIST_SHARE: index = uint32_t(cShareBanks.size() - 1); break;
    case LIST_ACCESS: index = uint32_t(cAccessBanks.size() - 1); break;
    }
    RegionIndex &regions = list == LIST_CODE ? cRomRegions : cRamRegions;
    regions.emplace(memory.getStart(), RegionRef{memory.getEnd(), list, index});
}

uint32_t Linker::bytesPerWord(MemType memType) const
{
    SUITE_ASSERT((memType==rom) || (memType==ram));
    if (memType == rom) {
        SUITE_ASSERT(cRomWidthBits);
        return (uint32_t(cRomWidthBits) + 7) / 8;
    }
    SUITE_ASSERT(cRamWidthBits);
    return (uint32_t(cRamWidthBits) + 7) / 8;
}

bool Linker::checkMemorySizes(std::string &err) const
{
    auto fits = [&err](const std::vector<Memory> &list, uint16_t widthBits) {
        for (const Memory &m : list) {
            if (m.sizeInBytes(widthBits) > 0xFFFFFFFFull) {
                err = "memory '" + m.getName() + "' is too large: its size in bytes does not fit in 32 bits.";
                return false;
            }
        }
        return true;
    };
    return fits(cCodePage, cRomWidthBits) && fits(cDataBanks, cRamWidthBits) && fits(cShareBanks, cRamWidthBits) &&
           fits(cAccessBanks, cRamWidthBits);
}

// ------------------------------------------------------------- link run

bool Linker::link(std::string &err)
{
    bool linked = runPhases(err);
    if (!linked)
        writePendingErrorMap();
    return linked;
}

bool Linker::runPhases(std::string &err)
{
    if (cOutputFile.empty())
        cOutputFile = "a.out";
    // From here on the outputs are named as the system opens them.
    cOutputFile = hostPath(cOutputFile);
    cMapFile = hostPath(cMapFile);
    if (!loadObjectFiles(err))
        return false;
    if (!loadLibraryFiles(err))
        return false;
    // Before anything is written, the error map included.
    if (!checkOutputFiles(err))
        return false;
    // Members can only be imported once every input's undefined symbols are
    // known.
    if (!importLibraryMembers(err))
        return false;
    // The processor fixes the word widths, which every byte count below needs.
    if (!verifyProcessor(err))
        return false;
    // Sections and holes count their bytes in 32 bits: no region may hold more.
    if (!checkMemorySizes(err))
        return false;
    if (!collectSectionInfo(err))
        return false;
    if (!verifySectionAttributes(err))
        return false;
    bool placed = mapSections(err);
    // The error map shows what was placed, whether allocation failed or not.
    writeErrorMapFile();
    if (!placed)
        return false;
    if (!loadSections(err))
        return false;
    if (!buildCinitTbl(err))
        return false;
    if (!relocateSymbols(err))
        return false;
    if (!relocateLineInfo(err))
        return false;
    // Names are read through the merged table from here on.
    mergeStringTbls();
    if (!buildExtSymDef(err))
        return false;
    if (!resolveExternals(err))
        return false;
    // Patching reads the final symbol values.
    if (!verifyRelocations(err))
        return false;
    if (!patchSections(err))
        return false;
    // The output phases, each reading what the earlier ones left in cOutput.
    if (!buildOutputScnNum(err))
        return false;
    if (!buildOutputSymbolTbl(err))
        return false;
    if (!buildOutputRawData(err))
        return false;
    if (!buildOutputLineInfo(err))
        return false;
    if (!buildOutputStringTbl(err))
        return false;
    if (!buildOutputScnHdrs(err))
        return false;
    if (!buildOutputFileHdr(err))
        return false;
    buildOutputHoles();
    return writeOutputFiles(err);
}

// ---------------------------------------------------------------- print

namespace {

void printList(std::ostream &out, const char *name, const std::vector<std::string> &list)
{
    for (size_t i = 0; i < list.size(); ++i)
        out << "  " << name << "[" << i << "]=" << list[i] << '\n';
}

void printMemories(std::ostream &out, const char *name, const std::vector<Memory> &list)
{
    for (size_t i = 0; i < list.size(); ++i) {
        out << "  " << name << "[" << i << "]=";
        list[i].print(out);
    }
}

template <class Value> void printMap(std::ostream &out, const char *name, const std::map<std::string, Value> &map)
{
    for (const auto &[key, value] : map)
        out << name << "[" << key << "]=" << value << '\n';
}

} // namespace

void Linker::print(std::ostream &out) const
{
    out << "Linker:" << '\n';
    out << "  cMinHeapSize=" << cMinHeapSize << '\n';
    out << "  cStackDesc=";
    cStackDesc.print(out);
    out << "  cMapFile=" << cMapFile << '\n';
    out << "  cOutputFile=" << cOutputFile << '\n';
    printList(out, "cObjectFile", cObjectFile);
    printList(out, "cLibraryFile", cLibraryFile);
    printMemories(out, "cCodePage", cCodePage);
    printMemories(out, "cDataBanks", cDataBanks);
    printMemories(out, "cShareBanks", cShareBanks);
    printMemories(out, "cAccessBanks", cAccessBanks);
    for (size_t i = 0; i < cSectionDesc.size(); ++i) {
        out << "  cSectionDesc[" << i << "]=";
        cSectionDesc[i].print(out);
    }
    printList(out, "cLibPath", cLibPath);
    out << "  cStrip=" << cStrip << '\n';

    if (!debugLevel(registerDebugSwitch("Linker::print")))
        return;
    for (size_t i = 0; i < cCoff.size(); ++i)
        out << "  cCoff[" << i << "]=" << cCoff[i]->name() << '\n';
    out << "  cOutput=" << cOutput.name() << '\n';
    out << "------- Linker Internals: " << '\n';
    printMap(out, "cScnSize", cScnSize);
    printMap(out, "cScnType", cScnType);
    printMap(out, "cScnAbs", cScnAbs);
    printMap(out, "cScnShare", cScnShare);
    printMap(out, "cScnAccess", cScnAccess);
    printMap(out, "cScnAbsStart", cScnAbsStart);
    printMap(out, "cScnAbsSize", cScnAbsSize);
    for (const auto &[name, memory] : cScnMem)
        out << "cScnMem[" << name << "]=" << (memory ? memory->getName() : "") << '\n';
}
