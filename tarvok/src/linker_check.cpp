// Processor and section consistency: settles the one processor the link is
// for and gives every memory region its word width, merges the sections of
// all inputs by name into the tables that allocation, loading and output
// work from, and rejects inputs and SECTION directives that disagree.

#include "linker.h"

#include "mgproc.h"

#include <cctype>
#include <set>

bool Linker::verifyProcessor(std::string &err)
{
    // Sets cProcessor, cFamily, cRomWidthBits, cRamWidthBits and the width
    // of every memory.
    auto typeWord = [](const Coff &coff) { return ProcessorTypeWord(coff.cOptHdr.proc_type & 0xFFFF); };
    auto generic = [](const Coff &coff) { return (coff.cFileHdr.f_flags & F_GENERIC) != 0; };
    auto unsupported = [&](const Coff &coff) {
        err = "Unsupported processor type in file '" + coff.name() + "'";
        return false;
    };
    auto choose = [&](ProcessorCode proc) {
        cProcessor = proc;
        cFamily = proc_family(proc);
        cRomWidthBits = uint16_t(proc_rom_width(proc));
        cRamWidthBits = uint16_t(proc_ram_width(proc));
    };

    // The first input that is bound to one processor decides; family-generic
    // inputs decide only when there is no other kind.
    for (size_t i = 0; i < cCoff.size(); ++i) {
        const Coff &coff = *cCoff[i];
        if (!proc_type_word_known(typeWord(coff)))
            return unsupported(coff);
        if (i == 0 || !generic(coff))
            choose(proc_from_type_word(typeWord(coff)));
        if (!generic(coff))
            break;
    }
    for (const auto &p : cCoff) {
        const Coff &coff = *p;
        if (!proc_type_word_known(typeWord(coff)))
            return unsupported(coff);
        ProcessorCode proc = proc_from_type_word(typeWord(coff));
        bool agrees = generic(coff) ? proc_family(proc) == cFamily : proc == cProcessor;
        if (!agrees) {
            err = "processor types do not agree across all input files.";
            return false;
        }
    }

    for (Memory &m : cCodePage)
        m.setWidthBits(cRomWidthBits);
    for (std::vector<Memory> *list : {&cDataBanks, &cShareBanks, &cAccessBanks})
        for (Memory &m : *list)
            m.setWidthBits(cRamWidthBits);
    return true;
}

bool Linker::collectSectionInfo(std::string &err)
{
    // Fills cScnSize, cScnType, cScnAbs, cScnShare, cScnOverlay, cScnAccess,
    // cScnAbsStart and cScnAbsSize, one entry per section name.
    for (const auto &p : cCoff) {
        const Coff &coff = *p;
        for (const auto &[number, name] : coff.cScnNum) {
            const coff_scnhdr &h = coff.cScnHdr.at(name);
            if (!checkSectionName(coff, name, err))
                return false;
            auto sizeIt = cScnSize.find(name);
            if (sizeIt == cScnSize.end()) {
                SectionType type = Coff::sectionType(h);
                cScnSize[name] = h.s_size;
                if (type == SCNTYPE_UNKNOWN) {
                    err = "unknown section type for '" + name + "' in file '" + coff.name() + "'.";
                    return false;
                }
                cScnType[name] = type;
                cScnAbs[name] = Coff::isAbsolute(h);
                cScnShare[name] = Coff::isShared(h);
                cScnAccess[name] = Coff::isAccess(h);
                if (Coff::isAbsolute(h)) {
                    cScnAbsStart[name] = h.s_paddr;
                    cScnAbsSize[name] = h.s_size;
                }
                cScnOverlay[name] = Coff::isOverlay(h);
                continue;
            }
            if (Coff::isOverlay(h) != cScnOverlay[name]) {
                err = "section overlay types for '" + name + "' do not match across input files.";
                return false;
            }
            if (cScnOverlay[name]) {
                sizeIt->second = std::max(sizeIt->second, h.s_size);
                if (Coff::isAbsolute(h) != cScnAbs[name]) {
                    err = "section absolute types for '" + name + "' do not match across input files.";
                    return false;
                }
                if (cScnAbs[name]) {
                    if (h.s_paddr != cScnAbsStart[name]) {
                        err = "starting addresses for absolute overlay section '" + name +
                              "' do not match across all input files.";
                        return false;
                    }
                    cScnAbsSize[name] = sizeIt->second;
                }
            } else {
                // The parts of a plain section follow one another; their
                // total must still be a size.
                uint64_t total = uint64_t(sizeIt->second) + h.s_size;
                if (total > UINT32_MAX) {
                    err = "section '" + name + "' in file '" + coff.name() +
                          "' makes the section larger than 0xffffffff bytes.";
                    return false;
                }
                sizeIt->second = uint32_t(total);
            }
            if (Coff::sectionType(h) != cScnType[name]) {
                err = "section types for '" + name + "' do not match across input files.";
                return false;
            }
            if (Coff::isShared(h) != cScnShare[name]) {
                err = "section share types for '" + name + "' do not match across input files.";
                return false;
            }
            if (Coff::isAccess(h) != cScnAccess[name]) {
                err = "section access types for '" + name + "' do not match across input files.";
                return false;
            }
            if (!cScnOverlay[name] && (Coff::isAbsolute(h) || cScnAbs[name])) {
                err = "section '" + name + "' type is non-overlay and absolute but occurs in more than one input file.";
                return false;
            }
        }
    }
    return checkImageNames(err);
}

namespace {

// ".fill_" followed by one or more digits: the name of a fill section.
bool isFillName(const std::string &name)
{
    const std::string prefix = ".fill_";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

} // namespace

bool Linker::checkSectionName(const Coff &coff, const std::string &name, std::string &err)
{
    // The linker makes ".cinit", ".stack" (under a STACK directive) and the
    // fill sections (when a CODEPAGE has a FILL) itself; an input section of
    // such a name would be placed twice under one name.
    std::string why;
    if (name.empty())
        why = "has a section without a name.";
    else if (name == cCinitName)
        why = "has a section '" + name + "', the name of the linker's initialised-data table.";
    else if (cStackDeclared && name == cStackName)
        why = "has a section '" + name + "', the name of the stack section of the STACK directive.";
    else if (isFillName(name)) {
        for (const Memory &m : cCodePage)
            if (m.hasFill())
                why = "has a section '" + name + "', the name of a fill section of a CODEPAGE with FILL.";
    }
    if (why.empty())
        return true;
    err = "file '" + coff.name() + "' " + why;
    return false;
}

bool Linker::checkImageNames(std::string &err)
{
    // Every initialised-data section X gets a program-memory image named
    // X_i; an input section may not take that name.
    for (const auto &p : cCoff)
        for (const auto &[number, name] : p->cScnNum) {
            if (!isRomImage(name))
                continue;
            err = "file '" + p->name() + "' has a section '" + name +
                  "', the name of the program-memory image of section '" + ramSectionName(name) + "'.";
            return false;
        }
    return true;
}

bool Linker::verifySectionAttributes(std::string &err)
{
    // Reads cSectionDesc and cScnType; sets nothing.
    for (const SectionDesc &desc : cSectionDesc) {
        const std::string &name = desc.getName();
        auto it = cScnType.find(name);
        if (it == cScnType.end())
            continue;
        const char *contents = nullptr;
        const char *attribute = nullptr;
        switch (it->second) {
        case SCNTYPE_CODE:
            if (!desc.getRunMemory().empty())
                contents = "code", attribute = "RAM";
            break;
        case SCNTYPE_IDATA:
            if (!desc.getLoadMemory().empty())
                contents = "initialized data", attribute = "ROM";
            break;
        case SCNTYPE_UDATA:
            if (!desc.getLoadMemory().empty())
                contents = "uninitialized data", attribute = "ROM";
            break;
        case SCNTYPE_ROMDATA:
            if (!desc.getRunMemory().empty())
                contents = "initialized rom data", attribute = "RAM";
            break;
        default:
            break;
        }
        if (contents) {
            err = "section '" + name + "' contains " + contents + " and can not have a '" + attribute +
                  "' memory attribute specified in the linker command file.";
            return false;
        }
    }
    return true;
}
