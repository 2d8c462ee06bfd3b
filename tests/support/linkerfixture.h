// A Linker whose link-run state the tests can set and read directly, so a
// phase can be run on inputs made by CoffBuilder without a command file.
// Header only: the support library does not link the linker.
#pragma once

#include "coffbuilder.h"
#include "diag.h"
#include "linker.h"
#include "mgproc.h"

#include <memory>
#include <string>
#include <vector>

// Processor codes of each family used throughout the linker tests.
const ProcessorCode TEST_CORE14 = 0x0E;  // 14-bit words, highest addresses below 0x10000
const ProcessorCode TEST_CORE14B = 0x0F; // another Core14 device
const ProcessorCode TEST_CORE16 = 0x76;  // 16-bit words
const ProcessorCode TEST_CORE12 = 0x03;  // 12-bit words
const ProcessorCode TEST_CORE16E = 0x81; // 8-bit words, byte-addressed program memory above 0xFFFF

// An object for the processor, with its widths as the table gives them.
inline CoffBuilder objectFor(ProcessorCode proc, const std::string &name = "test.o")
{
    return CoffBuilder().name(name).processor(proc_type_word(proc), proc_rom_width(proc), proc_ram_width(proc));
}

class TestLinker : public Linker
{
public:
    using Linker::cArchives;
    using Linker::cCinitSym;
    using Linker::cCodePage;
    using Linker::cCoff;
    using Linker::cDataBanks;
    using Linker::cFamily;
    using Linker::cLibPath;
    using Linker::cLibraryFile;
    using Linker::cObjectFile;
    using Linker::cProcessor;
    using Linker::cRamWidthBits;
    using Linker::cRomWidthBits;
    using Linker::cScnAbs;
    using Linker::cScnAbsSize;
    using Linker::cScnAbsStart;
    using Linker::cScnMem;
    using Linker::cScnOverlay;
    using Linker::cScnSize;
    using Linker::cScnType;

    // Adds an input object as loading would, read back from its image.
    void addInput(const CoffBuilder &object) { cCoff.push_back(coffFromBytes(object.bytes(), object.coff().cName)); }
    void addInput(std::unique_ptr<Coff> object) { cCoff.push_back(std::move(object)); }

    void addLibrary(const std::string &name, const ArchiveBuilder &library)
    {
        auto archive = std::make_unique<Archive>(library.archive());
        archive->cName = name;
        cArchives.push_back(std::move(archive));
    }

    // Memories from the command-file directives; the callbacks' own checks
    // must pass.
    void codePage(const std::string &name, uint32_t start, uint32_t end, bool isProtected = false)
    {
        std::string err;
        SUITE_ASSERT(addCodePage(Memory(name, start, end, rom, isProtected, false, ""), err));
    }
    void fillPage(const std::string &name, uint32_t start, uint32_t end, const std::string &fill)
    {
        std::string err;
        SUITE_ASSERT(addCodePage(Memory(name, start, end, rom, false, true, fill), err));
    }
    void dataBank(const std::string &name, uint32_t start, uint32_t end, bool isProtected = false)
    {
        std::string err;
        SUITE_ASSERT(addDataBank(Memory(name, start, end, ram, isProtected, false, ""), err));
    }
    void shareBank(const std::string &name, uint32_t start, uint32_t end)
    {
        std::string err;
        SUITE_ASSERT(addShareBank(Memory(name, start, end, ram, false, false, ""), err));
    }
    void accessBank(const std::string &name, uint32_t start, uint32_t end)
    {
        std::string err;
        SUITE_ASSERT(addAccessBank(Memory(name, start, end, ram, false, false, ""), err));
    }
    void sectionDesc(const std::string &name, const std::string &rom, const std::string &ram)
    {
        std::string err;
        SUITE_ASSERT(addSectionDesc(SectionDesc(name, rom, ram), err));
    }
    void stack(uint32_t size, const std::string &bank = "")
    {
        std::string err;
        SUITE_ASSERT(setStackDesc(StackDesc(size, bank), err));
    }

    // The checks that allocation relies on, run on the inputs added.
    bool prepare(std::string &err)
    {
        return verifyProcessor(err) && collectSectionInfo(err) && verifySectionAttributes(err);
    }

    // The memory a section went to, or null.
    const Memory *memoryOf(const std::string &section) const
    {
        auto it = cScnMem.find(section);
        return it == cScnMem.end() ? nullptr : it->second;
    }
    // Start of an allocated section; 0xFFFFFFFF when it was not placed.
    uint32_t startOf(const std::string &section) const
    {
        const Memory *m = memoryOf(section);
        return m ? m->getScnStart(section) : 0xFFFFFFFFu;
    }
    std::string memoryNameOf(const std::string &section) const
    {
        const Memory *m = memoryOf(section);
        return m ? m->getName() : "";
    }

    // Names of the inputs in link order.
    std::vector<std::string> inputNames() const
    {
        std::vector<std::string> names;
        for (const auto &c : cCoff)
            names.push_back(c->cName);
        return names;
    }
};
