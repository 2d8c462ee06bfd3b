// Section allocation: gives every section of the link a place in one memory
// region of the command file. Absolute sections go to their own addresses,
// sections that a SECTION directive assigns go to the memory it names, and
// every other section to the memory whose largest hole is the smallest that
// can still take it. Besides the input sections this places the sections the
// linker makes itself: the program-memory image ("_i") of every initialised
// data section, the stack and the ".cinit" copy table.

#include "linker.h"

#include "debugsw.h"
#include "mgproc.h"
#include "text.h"

#include <algorithm>
#include <iostream>

namespace {

const std::string IMAGE_SUFFIX = "_i";

// Bytes per ".cinit" entry: three 16-bit or three 32-bit fields.
const uint64_t CINIT_NARROW_ENTRY = 6;
const uint64_t CINIT_WIDE_ENTRY = 12;

bool isKnownType(int type) { return type >= SCNTYPE_CODE && type <= SCNTYPE_ROMDATA; }

std::string unknownTypeMessage(const std::string &name)
{
    return "unknown section type for section '" + name + "'.";
}

} // namespace

std::string Linker::romImageName(const std::string &name) const { return name + IMAGE_SUFFIX; }

std::string Linker::ramSectionName(const std::string &name) const
{
    if (name.size() > IMAGE_SUFFIX.size() &&
        name.compare(name.size() - IMAGE_SUFFIX.size(), IMAGE_SUFFIX.size(), IMAGE_SUFFIX) == 0)
        return name.substr(0, name.size() - IMAGE_SUFFIX.size());
    return name;
}

uint64_t Linker::wordsToBytes(uint64_t n) const
{
    // Program words of 12 or 14 bits hold one data byte each in a word of
    // two bytes; 8- and 16-bit words hold the bytes packed.
    return (cRomWidthBits % 8) ? 2 * n : n;
}

bool Linker::isStackAssigned() const { return cStackDeclared && !cStackDesc.getRunMemory().empty(); }

bool Linker::isCinitAssigned() const { return findSectionDesc(cCinitName) != nullptr; }

const SectionDesc *Linker::findSectionDesc(const std::string &name) const
{
    // Directives are only ever appended; the index catches up with them and
    // keeps the first directive of a name.
    while (cSectionDescIndexed < cSectionDesc.size()) {
        cSectionDescIndex.emplace(cSectionDesc[cSectionDescIndexed].getName(), cSectionDescIndexed);
        ++cSectionDescIndexed;
    }
    auto it = cSectionDescIndex.find(name);
    return it == cSectionDescIndex.end() ? nullptr : &cSectionDesc[it->second];
}

uint64_t Linker::cinitSize() const
{
    uint64_t n = 0;
    for (const auto &[name, type] : cScnType)
        if (type == SCNTYPE_IDATA)
            ++n;
    bool wide = proc_max_rom_address(cProcessor) > 0xFFFF || proc_max_ram_address(cProcessor) > 0xFFFF;
    return wordsToBytes(2 + n * (wide ? CINIT_WIDE_ENTRY : CINIT_NARROW_ENTRY));
}

uint16_t Linker::alignmentFor(int type) const
{
    // Instructions on a byte-addressed program memory start at even bytes.
    return (type == SCNTYPE_CODE && cRomWidthBits == 8) ? 2 : 1;
}

std::vector<Memory> &Linker::candidateList(const std::string &name)
{
    int type = cScnType[name];
    if (type == SCNTYPE_CODE || type == SCNTYPE_ROMDATA)
        return cCodePage;
    if (cScnShare[name])
        return cShareBanks;
    if (cScnAccess[name])
        return cAccessBanks;
    return cDataBanks;
}

std::string Linker::namedMemory(const std::string &name, const SectionDesc &desc)
{
    int type = cScnType[name];
    if (type == SCNTYPE_CODE || type == SCNTYPE_ROMDATA)
        return desc.getLoadMemory();
    return desc.getRunMemory();
}

bool Linker::mapSections(std::string &err)
{
    // Reads the section tables and the command file's memories; fills
    // cScnMem and the memories' ranges. Whatever is placed before a failure
    // stays placed, so the error map can show it.
    std::vector<AllocSection> absDone, relAssigned;
    // Absolute sections first: they can only go where their addresses are.
    if (!mapAbsoluteSections(absDone, err))
        return false;
    // The stack and the copy table go before the other assigned sections
    // when the command file names their memory.
    if (isStackAssigned() && !allocateStack(err))
        return false;
    if (isCinitAssigned() && !allocateCinit(err))
        return false;
    if (!mapAssignedSections(relAssigned, err))
        return false;
    if (!isStackAssigned() && !allocateStack(err))
        return false;
    if (!isCinitAssigned() && !allocateCinit(err))
        return false;

    std::vector<AllocSection> rest = unassignedSections();
    if (debugLevel("Linker::mapSections")) {
        std::cout << "Linker::mapSections():\n";
        auto dump = [](const char *title, const std::vector<AllocSection> &list) {
            std::cout << title << '\n';
            for (const AllocSection &p : list)
                std::cout << "    section '" << p.name << "', size=" << p.size << '\n';
        };
        dump("  absolute dump: ", absDone);
        dump("  relocatable assigned dump: ", relAssigned);
        dump("  relocatable unassigned dump: ", rest);
    }
    return mapUnassignedSections(rest, err);
}

bool Linker::mapAbsoluteSections(std::vector<AllocSection> &placed, std::string &err)
{
    // Every absolute section, in name order, at its own address.
    bool trace = debugLevel("Linker::mapSections") != 0;
    for (const auto &[name, isAbs] : cScnAbs) {
        if (!isAbs)
            continue;
        int type = cScnType[name];
        if (!isKnownType(type)) {
            err = unknownTypeMessage(name);
            return false;
        }
        uint32_t start = cScnAbsStart[name];
        uint32_t size = cScnAbsSize[name];
        bool overlay = cScnOverlay[name];
        std::vector<Memory> &list = candidateList(name);
        bool ok;
        if (const SectionDesc *desc = findSectionDesc(name)) {
            if (trace) {
                std::cout << "Linker::mapSections() - absolute section '" << name
                          << "' has the following SECTION:\n";
                desc->print(std::cout);
            }
            ok = allocateAbsAssigned(list, namedMemory(name, *desc), name, start, size, overlay, err);
        } else {
            ok = allocateAbsUnassigned(list, name, start, size, overlay, err);
        }
        if (!ok)
            return false;
        placed.push_back({name, size, false});
    }
    return true;
}

bool Linker::mapAssignedSections(std::vector<AllocSection> &placed, std::string &err)
{
    // The relocatable sections and images the command file assigns, in
    // directive order, into the memory their directive names.
    bool trace = debugLevel("Linker::mapSections") != 0;
    for (const SectionDesc &desc : cSectionDesc) {
        const std::string &name = desc.getName();
        if (findSectionDesc(name) != &desc)
            continue; // only the first directive of a name counts
        auto absIt = cScnAbs.find(name);
        bool isSection = absIt != cScnAbs.end() && !absIt->second;
        if (!isSection && !isRomImage(name))
            continue;
        if (trace) {
            std::cout << "Linker::mapSections() - relocatable section '" << name
                      << "' has the following SECTION:\n";
            desc.print(std::cout);
        }
        if (!isSection) {
            if (!allocateRomImage(name, err))
                return false;
            placed.push_back({name, uint32_t(wordsToBytes(cScnSize[ramSectionName(name)])), true});
            continue;
        }
        if (!isKnownType(cScnType[name])) {
            err = unknownTypeMessage(name);
            return false;
        }
        if (!allocateRelAssigned(candidateList(name), namedMemory(name, desc), name, cScnSize[name],
                                 cScnOverlay[name], err))
            return false;
        placed.push_back({name, cScnSize[name], false});
    }
    return true;
}

std::vector<Linker::AllocSection> Linker::unassignedSections()
{
    // Everything else, largest first, so the big sections find their holes
    // before the small ones break them up.
    std::vector<AllocSection> rest;
    for (const auto &[name, isAbs] : cScnAbs) {
        if (!isAbs && !findSectionDesc(name))
            rest.push_back({name, cScnSize[name], false});
        if (cScnType[name] == SCNTYPE_IDATA) {
            std::string image = romImageName(name);
            if (!findSectionDesc(image))
                rest.push_back({image, uint32_t(wordsToBytes(cScnSize[name])), true});
        }
    }
    // Sizes compare as signed numbers; equal sizes keep the name order.
    std::stable_sort(rest.begin(), rest.end(),
                     [](const AllocSection &a, const AllocSection &b) { return int32_t(a.size) > int32_t(b.size); });
    return rest;
}

bool Linker::mapUnassignedSections(const std::vector<AllocSection> &sections, std::string &err)
{
    // Best fit, in the given order.
    for (const AllocSection &p : sections) {
        if (p.image) {
            if (!allocateRomImage(p.name, err))
                return false;
            continue;
        }
        if (!isKnownType(cScnType[p.name])) {
            err = unknownTypeMessage(p.name);
            return false;
        }
        if (!allocateRelUnassigned(candidateList(p.name), p.name, p.size, cScnOverlay[p.name], err))
            return false;
    }
    return true;
}

bool Linker::isRomImage(const std::string &name) const
{
    std::string ram = ramSectionName(name);
    if (ram == name)
        return false;
    auto it = cScnType.find(ram);
    return it != cScnType.end() && it->second == SCNTYPE_IDATA;
}

Memory *Linker::findMemory(std::vector<Memory> &list, const std::string &memName)
{
    for (Memory &m : list)
        if (m.getName() == memName)
            return &m;
    return nullptr;
}

namespace {

std::string notDefinedMessage(const std::string &name, const std::string &memName)
{
    return "section '" + name + "' has a memory '" + memName +
           "' which is not defined in the linker command file.";
}

} // namespace

bool Linker::checkWordAligned(const std::string &name, uint32_t start, std::string &err)
{
    if (cRomWidthBits == 8 && cScnType[name] == SCNTYPE_CODE && (start & 1)) {
        err = "Absolute code section '" + name + "' must start at a word-aligned address.";
        return false;
    }
    return true;
}

bool Linker::allocateAbsAssigned(std::vector<Memory> &list, const std::string &memName, const std::string &name,
                                 uint32_t start, uint32_t size, bool overlay, std::string &err)
{
    if (debugLevel("Linker::allocateAbsAssigned"))
        std::cout << "Linker::allocateAbsAssigned() - section '" << name << "' start=" << hexString(start, 4)
                  << ", length=" << hexString(size, 4) << ", memory '" << memName << "'\n";
    if (!checkWordAligned(name, start, err))
        return false;
    Memory *mem = findMemory(list, memName);
    if (!mem) {
        err = notDefinedMessage(name, memName);
        return false;
    }
    if (!mem->canFit(start, size)) {
        err = "section '" + name + "' has a memory '" + memName + "' which can not fit the absolute section. " +
              "Section '" + name + "' start=" + hexString(start, 4) + ", length=" + hexString(size, 4) + ".";
        return false;
    }
    if (debugLevel("Linker::allocateAbsAssigned"))
        std::cout << "Linker::allocateAbsAssigned() - memory '" << memName
                  << "' can fit the section! Will allocate.\n";
    mem->allocate(name, start, size, overlay);
    cScnMem[name] = mem;
    return true;
}

bool Linker::allocateAbsUnassigned(std::vector<Memory> &list, const std::string &name, uint32_t start, uint32_t size,
                                   bool overlay, std::string &err)
{
    bool trace = debugLevel("Linker::allocateAbsUnassigned") != 0;
    if (trace)
        std::cout << "Linker::allocateAbsUnassigned() - section '" << name << "' start=" << hexString(start, 4)
                  << ", length=" << hexString(size, 4) << '\n';
    if (!checkWordAligned(name, start, err))
        return false;
    for (Memory &mem : list) {
        if (!mem.canFit(start, size))
            continue;
        if (trace)
            std::cout << "Linker::allocateAbsUnassigned() - memory '" << mem.getName()
                      << "' can fit the section! Will allocate.\n";
        mem.allocate(name, start, size, overlay);
        cScnMem[name] = &mem;
        return true;
    }
    err = "section '" + name + "' can not fit the absolute section. " + "Section '" + name +
          "' start=" + hexString(start, 4) + ", length=" + hexString(size, 4);
    return false;
}

bool Linker::allocateRelAssigned(std::vector<Memory> &list, const std::string &memName, const std::string &name,
                                 uint32_t size, bool overlay, std::string &err)
{
    bool trace = debugLevel("Linker::allocateRelAssigned") != 0;
    if (trace)
        std::cout << "Linker::allocateRelAssigned() - section '" << name << "' length=" << hexString(size, 4)
                  << ", memory '" << memName << "'\n";
    Memory *mem = findMemory(list, memName);
    if (!mem) {
        err = notDefinedMessage(name, memName);
        return false;
    }
    uint16_t align = alignmentFor(cScnType.count(name) ? cScnType[name] : SCNTYPE_UNKNOWN);
    if (!mem->canFit(size, align)) {
        err = "section '" + name + "' has a memory '" + memName + "' which can not fit the section. " +
              "Section '" + name + "' length=" + hexString(size, 4) + ".";
        return false;
    }
    if (trace)
        std::cout << "Linker::allocateRelAssigned() - memory '" << memName
                  << "' can fit the section! Will allocate.\n";
    mem->allocate(name, size, overlay, align);
    cScnMem[name] = mem;
    return true;
}

bool Linker::allocateRelUnassigned(std::vector<Memory> &list, const std::string &name, uint32_t size, bool overlay,
                                   std::string &err)
{
    bool trace = debugLevel("Linker::allocateRelUnassigned") != 0;
    if (trace)
        std::cout << "Linker::allocateRelUnassigned() - section '" << name << "' length=" << hexString(size, 4)
                  << '\n';
    std::vector<MemSize> candidates;
    for (Memory &mem : list)
        if (!mem.isProtected())
            candidates.push_back(MemSize(&mem, mem.largestHole()));
    // Best fit among the memories: the smallest largest hole that can take
    // the section; equal holes keep the command file's order.
    std::stable_sort(candidates.begin(), candidates.end(), lessBySize);
    if (trace) {
        std::cout << "  dumping memory's sorted by increasing largest hole size: \n";
        for (const MemSize &c : candidates)
            c.cMemory->print(std::cout);
    }
    uint16_t align = alignmentFor(cScnType.count(name) ? cScnType[name] : SCNTYPE_UNKNOWN);
    for (const MemSize &c : candidates) {
        Memory *mem = c.cMemory;
        if (!mem->canFit(size, align))
            continue;
        if (trace)
            std::cout << "Linker::allocateRelUnassigned() - memory '" << mem->getName()
                      << "' can fit the section! Will allocate.\n";
        mem->allocate(name, size, overlay, align);
        cScnMem[name] = mem;
        return true;
    }
    err = "section '" + name + "' can not fit the section. " + "Section '" + name +
          "' length=" + hexString(size, 4);
    return false;
}

bool Linker::allocateRomImage(const std::string &imageName, std::string &err)
{
    std::string ram = ramSectionName(imageName);
    std::string image = romImageName(ram);
    uint64_t size = wordsToBytes(cScnSize[ram]);
    if (size > UINT32_MAX) {
        // Twice a section of more than 2 GB: no memory could hold it, and
        // the length would not survive in a 32-bit field.
        err = "section '" + image + "' can not fit the section. Section '" + image +
              "' is larger than 0xffffffff bytes";
        return false;
    }
    if (const SectionDesc *desc = findSectionDesc(image)) {
        if (!desc->getRunMemory().empty()) {
            err = "section '" + image +
                  "' can not have a 'RAM' memory attribute specified in the linker command file.";
            return false;
        }
        return allocateRelAssigned(cCodePage, desc->getLoadMemory(), image, uint32_t(size), false, err);
    }
    return allocateRelUnassigned(cCodePage, image, uint32_t(size), false, err);
}

bool Linker::allocateStack(std::string &err)
{
    if (!cStackDeclared)
        return true;
    const std::string &bank = cStackDesc.getRunMemory();
    if (bank.empty())
        return allocateRelUnassigned(cDataBanks, cStackName, cStackDesc.getSize(), false, err);
    for (std::vector<Memory> *list : {&cDataBanks, &cShareBanks, &cAccessBanks})
        if (findMemory(*list, bank))
            return allocateRelAssigned(*list, bank, cStackName, cStackDesc.getSize(), false, err);
    err = "undefined DATABANK/SHAREBANK '" + bank + "' for STACK. ";
    return false;
}

bool Linker::allocateCinit(std::string &err)
{
    cCinitSym = coff_syment();
    setInlineName(cCinitSym._n_name, "_cinit");
    cCinitSym.n_sclass = C_EXT;

    uint64_t size = cinitSize();
    if (size > UINT32_MAX) {
        err = "section '" + cCinitName + "' can not fit the section. Section '" + cCinitName +
              "' is larger than 0xffffffff bytes";
        return false;
    }
    bool ok;
    if (const SectionDesc *desc = findSectionDesc(cCinitName)) {
        if (!desc->getRunMemory().empty()) {
            err = "section '" + cCinitName + "' contains initialized rom data and can not have a 'RAM' "
                                             "memory attribute specified in the linker command file.";
            return false;
        }
        ok = allocateRelAssigned(cCodePage, desc->getLoadMemory(), cCinitName, uint32_t(size), false, err);
    } else {
        ok = allocateRelUnassigned(cCodePage, cCinitName, uint32_t(size), false, err);
    }
    if (!ok)
        return false;
    cCinitSym.n_value = cScnMem[cCinitName]->getScnStart(cCinitName);
    return true;
}
