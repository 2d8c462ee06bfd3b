#include "randproject.h"

#include "coff_format.h"
#include "text.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

uint32_t Rng::next()
{
    // xorshift64*
    cState ^= cState >> 12;
    cState ^= cState << 25;
    cState ^= cState >> 27;
    return uint32_t((cState * 0x2545F4914F6CDD1Dull) >> 32);
}

ArchiveBuilder RandomProject::Library::archive() const
{
    ArchiveBuilder b;
    for (const auto &[name, member] : members)
        b.member(name, member);
    return b;
}

std::string RandomProject::commandFile() const
{
    std::ostringstream out;
    for (const ProjectMemory &m : memories) {
        out << m.kind << " NAME=" << m.name << " START=" << hexString(m.start, 2) << " END=" << hexString(m.end, 2);
        if (!m.fill.empty())
            out << " FILL=" << m.fill;
        if (m.isProtected)
            out << " PROTECTED";
        out << "\n";
    }
    for (const ProjectSection &s : sections) {
        out << "SECTION NAME=" << s.name;
        if (!s.rom.empty())
            out << " ROM=" << s.rom;
        if (!s.ram.empty())
            out << " RAM=" << s.ram;
        out << "\n";
    }
    if (stack)
        out << "STACK SIZE=" << stackSize << (stackBank.empty() ? "" : " RAM=" + stackBank) << "\n";
    return out.str();
}

namespace {

// Section names shared by all files of a project; a name has one type.
struct PoolSection
{
    const char *name;
    uint32_t flags;
};
const PoolSection SECTION_POOL[] = {
    {".code", SCN_CODE},
    {"code_b", SCN_CODE},
    {"long_code_section_c", SCN_CODE},
    {"table_r", SCN_ROMDATA},
    {"idata_a", SCN_IDATA},
    {"long_idata_section_d", SCN_IDATA},
    {"udata_u", SCN_UDATA},
    {"uninitialised_long_v", SCN_UDATA},
    {"ovr_shared", SCN_UDATA | SCN_OVERLAY},
    {"common_s", SCN_UDATA | SCN_SHARED},
};
const size_t POOL_SIZE = sizeof SECTION_POOL / sizeof SECTION_POOL[0];

struct Layout
{
    uint32_t codeStart, codeEnd; // program memory of the device
    uint32_t dataStart, dataEnd; // general data memory used
    uint32_t locBytes;           // bytes per program location
    std::string fill;
};

Layout layoutFor(ProcessorCode p)
{
    if (proc_family(p) == FAMILY_CORE16E)
        return {0, 0x3FFF, 0x000, 0x2FF, 1, "0xFFFF"};
    if (proc_family(p) == FAMILY_CORE16)
        return {0, 0x7FF, 0x20, 0xFF, 2, "0x1234"};
    return {0, 0xFFF, 0x20, 0x6F, 2, "0x3FFF"};
}

std::string symbolName(uint32_t i) { return i % 3 == 0 ? "external_symbol_" + std::to_string(i) : "g" + std::to_string(i); }

class Generator
{
public:
    Generator(uint64_t seed) : rng(seed) {}

    RandomProject make()
    {
        static const ProcessorCode PROCESSORS[] = {0x0E, 0x0E, 0x76, 0x81};
        p.processor = PROCESSORS[rng.below(4)];
        layout = layoutFor(p.processor);
        makeMemories();

        // Where each global name is defined: an object, a library member,
        // or (rarely) nowhere.
        uint32_t objects = rng.between(1, 4);
        uint32_t libraries = rng.below(3);
        std::vector<uint32_t> membersPer;
        for (uint32_t l = 0; l < libraries; ++l)
            membersPer.push_back(rng.between(1, 4));
        uint32_t names = rng.between(3, 14);
        std::map<std::pair<int, int>, std::vector<std::string>> homes; // (lib or -1, index) -> names
        for (uint32_t i = 0; i < names; ++i) {
            std::string name = symbolName(i);
            allNames.push_back(name);
            if (rng.chance(3))
                continue;
            if (libraries && rng.chance(50)) {
                uint32_t l = rng.below(libraries);
                homes[{int(l), int(rng.below(membersPer[l]))}].push_back(name);
            } else {
                homes[{-1, int(rng.below(objects))}].push_back(name);
            }
        }
        for (uint32_t o = 0; o < objects; ++o) {
            std::string file = "o" + std::to_string(o) + ".o";
            p.objects.emplace_back(file, object(file, homes[{-1, int(o)}], o == 0));
        }
        for (uint32_t l = 0; l < libraries; ++l) {
            RandomProject::Library lib;
            lib.name = "lib" + std::to_string(l) + ".lib";
            for (uint32_t m = 0; m < membersPer[l]; ++m) {
                std::string file = "m" + std::to_string(l) + "_" + std::to_string(m) + ".o";
                lib.members.emplace_back(file, object(file, homes[{int(l), int(m)}], false));
            }
            p.libraries.push_back(lib);
        }
        // A later library may hold another member defining exactly what a
        // member of an earlier one defines.
        if (libraries == 2 && rng.chance(60)) {
            uint32_t m = rng.below(membersPer[0]);
            p.libraries[1].members.emplace_back("dup.o", object("dup.o", homes[{0, int(m)}], false));
        }
        makeDirectives();
        return p;
    }

private:
    void makeMemories()
    {
        uint32_t at = layout.codeStart;
        uint32_t pages = rng.between(1, 3);
        for (uint32_t i = 0; i < pages && at < layout.codeEnd; ++i) {
            ProjectMemory m;
            m.kind = "CODEPAGE";
            m.name = "page" + std::to_string(i);
            m.start = at + (i ? rng.below(8) : 0);
            m.end = std::min(layout.codeEnd, m.start + rng.between(0x30, 0x180));
            m.isProtected = i > 0 && rng.chance(20);
            if (rng.chance(30))
                m.fill = layout.fill;
            at = m.end + 1;
            codePages.push_back(m.name);
            p.memories.push_back(m);
        }
        at = layout.dataStart;
        uint32_t banks = rng.between(1, 3);
        for (uint32_t i = 0; i < banks && at + 8 < layout.dataEnd; ++i) {
            ProjectMemory m;
            m.kind = "DATABANK";
            m.name = "gpr" + std::to_string(i);
            m.start = at;
            m.end = std::min(layout.dataEnd, at + rng.between(0x10, 0x50));
            at = m.end + 1 + rng.below(4);
            dataBanks.push_back(m.name);
            p.memories.push_back(m);
        }
        // Shared banks: one name, and sometimes a second stretch of it.
        uint32_t size = rng.between(16, 32);
        for (uint32_t i = rng.below(3); i > 0 && at + size < layout.dataEnd; --i) {
            p.memories.push_back({"SHAREBANK", "shr", at, at + size - 1, false, ""});
            shared = true;
            at += size + rng.below(4);
        }
    }

    std::vector<uint8_t> randomBytes(uint32_t n)
    {
        std::vector<uint8_t> b(n);
        for (uint8_t &x : b)
            x = uint8_t(rng.next());
        return b;
    }

    CoffBuilder object(const std::string &file, const std::vector<std::string> &defines, bool first)
    {
        CoffBuilder b;
        b.name(file).processor(proc_type_word(p.processor), proc_rom_width(p.processor),
                               proc_ram_width(p.processor));
        if (rng.chance(70))
            b.file(rng.chance(50) ? "src_" + file + ".asm" : "shared_include_file.inc");

        // Sections: distinct pool names; the one absolute section of the
        // project in the first object.
        std::vector<std::string> code;
        std::vector<std::pair<std::string, uint32_t>> all; // name, locations
        std::set<size_t> taken;
        uint32_t count = rng.between(1, 3);
        for (uint32_t i = 0; i < count || all.empty(); ++i) {
            size_t k = rng.below(POOL_SIZE);
            if ((SECTION_POOL[k].flags & SCN_SHARED && !shared) || !taken.insert(k).second)
                continue;
            const PoolSection &s = SECTION_POOL[k];
            if (s.flags & SCN_UDATA) {
                uint32_t size = rng.below(13);
                b.udata(s.name, size, 0, s.flags & ~SCN_UDATA);
                all.emplace_back(s.name, size);
                continue;
            }
            bool isCode = s.flags & SCN_CODE;
            uint32_t size = isCode || (s.flags & SCN_ROMDATA) ? 2 * rng.between(1, 12) : rng.between(1, 8);
            b.section(s.name, s.flags, randomBytes(size));
            uint32_t locs = (s.flags & SCN_IDATA) ? size : (size + layout.locBytes - 1) / layout.locBytes;
            all.emplace_back(s.name, locs);
            if (isCode)
                code.push_back(s.name);
        }
        if (first && rng.chance(40)) {
            const ProjectMemory &page = p.memories[0];
            uint32_t at = (page.end - 0x10 - rng.below(8) * 2) & ~1u;
            b.section("abs_vector", SCN_CODE | SCN_ABS, randomBytes(4), at);
            code.push_back("abs_vector");
            all.emplace_back("abs_vector", 4 / layout.locBytes);
            absAt = at;
        }
        for (const auto &[name, locs] : all)
            sections.insert(name);

        // Definitions of this file's names, statics and labels, references.
        std::vector<std::string> known;
        auto place = [&](const std::string &name, uint8_t sclass) {
            const auto &[scn, locs] = all[rng.below(uint32_t(all.size()))];
            uint32_t value = (scn == "abs_vector" ? absAt : 0) + rng.below(locs ? locs : 1);
            b.symbol(name, value, scn, sclass, rng.chance(30) ? 0x20 : 0);
            known.push_back(name);
        };
        for (const std::string &name : defines)
            place(name, C_EXT);
        // Now and then a second definition of a name defined elsewhere.
        if (rng.chance(4)) {
            std::string name = allNames[rng.below(uint32_t(allNames.size()))];
            if (std::find(defines.begin(), defines.end(), name) == defines.end())
                place(name, C_EXT);
        }
        for (uint32_t i = rng.below(3); i > 0; --i)
            place(rng.chance(50) ? "local" + std::to_string(i) : "a_long_static_name" + std::to_string(i),
                  rng.chance(50) ? C_STAT : C_LABEL);
        for (uint32_t i = rng.below(4); i > 0; --i) {
            std::string name = allNames[rng.below(uint32_t(allNames.size()))];
            bool defined = false;
            for (const std::string &d : known)
                defined = defined || d == name;
            if (!defined) {
                b.symbol(name, 0, 0, C_EXT);
                known.push_back(name);
            }
        }
        if (rng.chance(20)) {
            // A reference to the start of a section of this file.
            std::string ref = "." + all[rng.below(uint32_t(all.size()))].first;
            b.symbol(ref, 0, 0, C_EXT);
            known.push_back(ref);
        }
        // Relocations that write the low or high byte of a symbol's value,
        // and line numbers of the code.
        for (const std::string &scn : code) {
            uint32_t words = 0;
            for (const auto &[name, locs] : all)
                if (name == scn)
                    words = locs * layout.locBytes / 2;
            for (uint32_t i = rng.below(4); i > 0 && !known.empty(); --i)
                b.reloc(scn, 2 * rng.below(words), known[rng.below(uint32_t(known.size()))],
                        rng.chance(50) ? 4 : 3);
            for (uint32_t i = rng.below(4); i > 0; --i)
                b.line(scn, uint16_t(rng.between(1, 40)), (scn == "abs_vector" ? absAt : 0) + rng.below(words));
        }
        return b;
    }

    void makeDirectives()
    {
        for (const std::string &name : sections) {
            if (name == "abs_vector" || !rng.chance(25))
                continue;
            ProjectSection s;
            s.name = name;
            bool data = name.find("data") != std::string::npos || name.find("unini") == 0 || name == "ovr_shared";
            if (name == "common_s" && !shared)
                continue;
            if (name == "common_s")
                s.ram = "shr";
            else if (data)
                s.ram = dataBanks[rng.below(uint32_t(dataBanks.size()))];
            else
                s.rom = codePages[rng.below(uint32_t(codePages.size()))];
            p.sections.push_back(s);
            if (name.find("idata") != std::string::npos && rng.chance(50))
                p.sections.push_back({name + "_i", codePages[rng.below(uint32_t(codePages.size()))], ""});
        }
        if (rng.chance(20))
            p.sections.push_back({".cinit", codePages[rng.below(uint32_t(codePages.size()))], ""});
        if (rng.chance(40)) {
            p.stack = true;
            p.stackSize = rng.between(2, 16);
            if (rng.chance(50))
                p.stackBank = shared && rng.chance(25) ? "shr" : dataBanks[rng.below(uint32_t(dataBanks.size()))];
        }
    }

    Rng rng;
    RandomProject p;
    Layout layout{};
    std::vector<std::string> codePages;
    std::vector<std::string> dataBanks;
    std::vector<std::string> allNames;
    std::set<std::string> sections;
    uint32_t absAt = 0;
    bool shared = false;
};

} // namespace

RandomProject randomProject(uint64_t seed) { return Generator(seed).make(); }
