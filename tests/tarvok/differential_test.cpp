// The linker's indexed searches against plain reference versions of the same
// algorithms (repeated passes, a re-sorted hole list, linear scans), kept
// here only, on random projects: the members imported and their order, the
// holes and places of every allocation, the merged string table and every
// symbol's final entry, and whole executables and map files.

#include "link_fixture.h"
#include "linkerfixture.h"
#include "randproject.h"
#include "reportcapture.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

const uint64_t PROJECTS = 300;

// ---------------------------------------------------------------- import

// One member per pass: rebuild the defined and referenced names from every
// object, take the first undefined name some library defines, from the
// first library that defines it.
std::vector<std::string> referenceImport(std::vector<std::unique_ptr<Coff>> inputs,
                                         const std::vector<std::unique_ptr<Archive>> &libraries)
{
    std::vector<std::string> imported;
    for (;;) {
        std::set<std::string> defined, referenced;
        for (const auto &coff : inputs)
            for (size_t i = 0; i < coff->cSymbols.size(); ++i) {
                const coff_syment &s = coff->cSymbols[i];
                if (Coff::isExternalDef(s))
                    defined.insert(Coff::getName(s, coff->cStrTbl));
                else if (Coff::isExternalRef(s))
                    referenced.insert(Coff::getName(s, coff->cStrTbl));
                if (s.n_numaux == 1)
                    ++i;
            }
        bool found = false;
        for (const std::string &name : referenced) {
            if (defined.count(name))
                continue;
            for (const auto &library : libraries)
                if (library->hasSymbol(name)) {
                    inputs.push_back(library->copyMember(name));
                    imported.push_back(inputs.back()->cName);
                    found = true;
                    break;
                }
            if (found)
                break;
        }
        if (!found)
            return imported;
    }
}

// ---------------------------------------------------------------- memory

struct Hole
{
    uint32_t start, size; // locations
    bool operator==(const Hole &o) const { return start == o.start && size == o.size; }
};

// A memory as a plain list of holes, sorted again at every allocation.
class ReferenceMemory
{
public:
    ReferenceMemory(const std::string &name, uint32_t start, uint32_t end, uint32_t bytesPerLoc, bool isProtected)
        : name(name), isProtected(isProtected), bpl(bytesPerLoc), holes{{start, end - start + 1}}
    {
    }

    uint32_t locs(uint32_t length) const { return length / bpl + (length % bpl ? 1 : 0); }
    bool fits(const Hole &h, uint32_t length, uint32_t alignment) const
    {
        if (length == 0)
            return true;
        uint32_t usable = h.size * bpl;
        if (h.start % alignment)
            usable -= alignment - h.start % alignment;
        return usable >= length;
    }
    bool fitsAt(const Hole &h, uint32_t start, uint32_t length) const
    {
        if (length == 0)
            return true;
        return start >= h.start && start + locs(length) - 1 <= h.start + h.size - 1;
    }
    bool canFit(uint32_t length, uint32_t alignment) const
    {
        for (const Hole &h : holes)
            if (fits(h, length, alignment))
                return true;
        return false;
    }
    bool canFitAt(uint32_t start, uint32_t length) const
    {
        for (const Hole &h : holes)
            if (fitsAt(h, start, length))
                return true;
        return false;
    }
    void sortHoles()
    {
        std::vector<Hole> sorted;
        while (!holes.empty()) {
            size_t best = 0;
            for (size_t i = 1; i < holes.size(); ++i)
                if (holes[i].size < holes[best].size)
                    best = i;
            sorted.push_back(holes[best]);
            holes.erase(holes.begin() + long(best));
        }
        holes = sorted;
    }
    uint32_t allocate(const std::string &section, uint32_t length, uint32_t alignment)
    {
        sortHoles();
        for (size_t i = 0; i < holes.size(); ++i)
            if (fits(holes[i], length, alignment)) {
                uint32_t start = holes[i].start;
                if (start % alignment)
                    start += alignment - start % alignment;
                take(i, section, start, length);
                return start;
            }
        ADD_FAILURE() << "no hole for " << section;
        return 0;
    }
    void allocateAt(const std::string &section, uint32_t start, uint32_t length)
    {
        sortHoles();
        for (size_t i = 0; i < holes.size(); ++i)
            if (fitsAt(holes[i], start, length))
                return take(i, section, start, length);
        ADD_FAILURE() << "no hole at " << start << " for " << section;
    }
    uint32_t largestHole() const
    {
        uint32_t largest = 0;
        for (const Hole &h : holes)
            largest = std::max(largest, h.size * bpl);
        return largest;
    }

    std::string name;
    bool isProtected;
    uint32_t bpl;
    std::vector<Hole> holes;
    std::map<std::string, uint32_t> starts;

private:
    void take(size_t i, const std::string &section, uint32_t start, uint32_t length)
    {
        Hole old = holes[i];
        holes.erase(holes.begin() + long(i));
        starts[section] = start;
        if (length == 0) {
            holes.push_back(old);
            return;
        }
        uint32_t n = locs(length);
        if (start != old.start)
            holes.push_back({old.start, start - old.start});
        if (start + n - 1 != old.start + old.size - 1)
            holes.push_back({start + n, old.start + old.size - (start + n)});
    }
};

std::vector<Hole> holesOf(const Memory &m)
{
    std::vector<Hole> holes;
    for (const Range &r : m.getHoles())
        holes.push_back({r.getStart(), r.getSize()});
    return holes;
}

std::string show(const std::vector<Hole> &holes)
{
    std::string text;
    for (const Hole &h : holes)
        text += " " + std::to_string(h.start) + "+" + std::to_string(h.size);
    return text;
}

TEST(Differential, HoleListMatchesResortingAtEveryAllocation)
{
    for (uint64_t seed = 0; seed < PROJECTS; ++seed) {
        Rng rng(seed);
        uint32_t widthBits = rng.chance(50) ? 8 : 14;
        uint32_t start = rng.below(64), end = start + rng.between(16, 400);
        Memory fast("m", start, end, rom, false, true, "0");
        fast.setWidthBits(uint16_t(widthBits));
        ReferenceMemory ref("m", start, end, widthBits == 8 ? 1 : 2, false);
        for (int op = 0; op < 30; ++op) {
            std::string name = "s" + std::to_string(op);
            uint32_t length = rng.chance(10) ? 0 : rng.between(1, 40);
            SCOPED_TRACE("seed " + std::to_string(seed) + " op " + std::to_string(op));
            if (rng.chance(25)) {
                uint32_t at = start + rng.below(end - start + 1);
                ASSERT_EQ(fast.canFit(at, length), ref.canFitAt(at, length));
                if (!ref.canFitAt(at, length))
                    continue;
                fast.allocate(name, at, length, false);
                ref.allocateAt(name, at, length);
            } else {
                uint16_t alignment = widthBits == 8 && rng.chance(50) ? 2 : 1;
                ASSERT_EQ(fast.canFit(length, alignment), ref.canFit(length, alignment));
                if (!ref.canFit(length, alignment))
                    continue;
                fast.allocate(name, length, false, alignment);
                ref.allocate(name, length, alignment);
            }
            ASSERT_EQ(fast.getScnStart(name), ref.starts[name]);
            ASSERT_EQ(fast.largestHole(), ref.largestHole());
            ASSERT_EQ(show(holesOf(fast)), show(ref.holes));
        }
    }
}

// ---------------------------------------------------------------- a link

class DiffLinker : public TestLinker
{
public:
    using Linker::buildCinitTbl;
    using Linker::buildExtSymDef;
    using Linker::cOutput;
    using Linker::cScnShare;
    using Linker::cShareBanks;
    using Linker::cSectionDesc;
    using Linker::cStackDesc;
    using Linker::loadSections;
    using Linker::mergeStringTbls;
    using Linker::relocateLineInfo;
    using Linker::relocateSymbols;
    using Linker::resolveExternals;

    explicit DiffLinker(const RandomProject &p)
    {
        for (const auto &[name, object] : p.objects)
            addInput(object);
        for (const auto &lib : p.libraries)
            addLibrary(lib.name, lib.archive());
        for (const ProjectMemory &m : p.memories) {
            std::string err;
            Memory memory(m.name, m.start, m.end, m.kind == "CODEPAGE" ? rom : ram, m.isProtected, !m.fill.empty(),
                          m.fill);
            SUITE_ASSERT(m.kind == "CODEPAGE"   ? addCodePage(memory, err)
                         : m.kind == "DATABANK" ? addDataBank(memory, err)
                                                : addShareBank(memory, err));
        }
        for (const ProjectSection &s : p.sections)
            sectionDesc(s.name, s.rom, s.ram);
        if (p.stack)
            stack(p.stackSize, p.stackBank);
    }
};

// Section allocation as a plain sequence of passes over the section tables
// into reference memories.
class ReferenceAllocation
{
public:
    explicit ReferenceAllocation(DiffLinker &l) : L(l)
    {
        for (const Memory &m : L.cCodePage)
            code.emplace_back(m.getName(), m.getStart(), m.getEnd(), (L.cRomWidthBits + 7) / 8, m.isProtected());
        for (const Memory &m : L.cDataBanks)
            data.emplace_back(m.getName(), m.getStart(), m.getEnd(), (L.cRamWidthBits + 7) / 8, m.isProtected());
        for (const Memory &m : L.cShareBanks)
            share.emplace_back(m.getName(), m.getStart(), m.getEnd(), (L.cRamWidthBits + 7) / 8, m.isProtected());
    }

    bool run()
    {
        for (const auto &[name, abs] : L.cScnAbs)
            if (abs) {
                int type = L.cScnType.at(name);
                uint32_t start = L.cScnAbsStart.at(name), size = L.cScnAbsSize.at(name);
                if (L.cRomWidthBits == 8 && type == 1 && start % 2)
                    return false;
                const SectionDesc *d = desc(name);
                if (!(d ? absAssigned(listFor(name), named(*d, type), name, start, size)
                        : absUnassigned(listFor(name), name, start, size)))
                    return false;
            }
        bool stackAssigned = L.isStackDeclared() && !L.cStackDesc.getRunMemory().empty();
        if ((stackAssigned && !stack()) || (desc(".cinit") && !cinit()))
            return false;
        for (const SectionDesc &d : L.cSectionDesc) {
            const std::string &name = d.getName();
            auto abs = L.cScnAbs.find(name);
            if (abs != L.cScnAbs.end() && !abs->second) {
                int type = L.cScnType.at(name);
                if (!relAssigned(listFor(name), named(d, type), name, L.cScnSize.at(name), alignment(type)))
                    return false;
            } else if (isImage(name) && !image(name)) {
                return false;
            }
        }
        if ((!stackAssigned && !stack()) || (!desc(".cinit") && !cinit()))
            return false;
        std::vector<std::pair<std::string, uint32_t>> rest;
        for (const auto &[name, abs] : L.cScnAbs) {
            if (!abs && !desc(name))
                rest.emplace_back(name, L.cScnSize.at(name));
            if (L.cScnType.at(name) == 2 && !desc(name + "_i"))
                rest.emplace_back(name + "_i", bytes(L.cScnSize.at(name)));
        }
        while (!rest.empty()) {
            size_t best = 0;
            for (size_t i = 1; i < rest.size(); ++i)
                if (int32_t(rest[i].second) > int32_t(rest[best].second))
                    best = i;
            std::string name = rest[best].first;
            rest.erase(rest.begin() + long(best));
            if (isImage(name) ? !image(name)
                              : !relUnassigned(listFor(name), name, L.cScnSize.at(name),
                                               alignment(L.cScnType.at(name))))
                return false;
        }
        return true;
    }

    std::map<std::string, ReferenceMemory *> where;
    std::vector<ReferenceMemory> code, data, share;

private:
    const SectionDesc *desc(const std::string &name) const
    {
        for (const SectionDesc &d : L.cSectionDesc)
            if (d.getName() == name)
                return &d;
        return nullptr;
    }
    static std::string named(const SectionDesc &d, int type)
    {
        return type == 1 || type == 4 ? d.getLoadMemory() : d.getRunMemory();
    }
    std::vector<ReferenceMemory> &listFor(const std::string &name)
    {
        int type = L.cScnType.at(name);
        return type == 1 || type == 4 ? code : L.cScnShare.at(name) ? share : data;
    }
    uint32_t alignment(int type) const { return type == 1 && L.cRomWidthBits == 8 ? 2 : 1; }
    uint32_t bytes(uint32_t n) const { return L.cRomWidthBits % 8 ? 2 * n : n; }
    bool isImage(const std::string &name) const
    {
        if (name.size() <= 2 || name.substr(name.size() - 2) != "_i")
            return false;
        auto t = L.cScnType.find(name.substr(0, name.size() - 2));
        return t != L.cScnType.end() && t->second == 2;
    }
    static ReferenceMemory *find(std::vector<ReferenceMemory> &list, const std::string &name)
    {
        for (ReferenceMemory &m : list)
            if (m.name == name)
                return &m;
        return nullptr;
    }
    bool absAssigned(std::vector<ReferenceMemory> &list, const std::string &mem, const std::string &name,
                     uint32_t start, uint32_t size)
    {
        ReferenceMemory *m = find(list, mem);
        if (!m || !m->canFitAt(start, size))
            return false;
        m->allocateAt(name, start, size);
        where[name] = m;
        return true;
    }
    bool absUnassigned(std::vector<ReferenceMemory> &list, const std::string &name, uint32_t start, uint32_t size)
    {
        for (ReferenceMemory &m : list)
            if (m.canFitAt(start, size)) {
                m.allocateAt(name, start, size);
                where[name] = &m;
                return true;
            }
        return false;
    }
    bool relAssigned(std::vector<ReferenceMemory> &list, const std::string &mem, const std::string &name,
                     uint32_t size, uint32_t align)
    {
        ReferenceMemory *m = find(list, mem);
        if (!m || !m->canFit(size, align))
            return false;
        m->allocate(name, size, align);
        where[name] = m;
        return true;
    }
    bool relUnassigned(std::vector<ReferenceMemory> &list, const std::string &name, uint32_t size, uint32_t align)
    {
        std::vector<ReferenceMemory *> candidates;
        for (ReferenceMemory &m : list)
            if (!m.isProtected)
                candidates.push_back(&m);
        std::stable_sort(candidates.begin(), candidates.end(), [](ReferenceMemory *a, ReferenceMemory *b) {
            return a->largestHole() < b->largestHole();
        });
        for (ReferenceMemory *m : candidates)
            if (m->canFit(size, align)) {
                m->allocate(name, size, align);
                where[name] = m;
                return true;
            }
        return false;
    }
    bool image(const std::string &name)
    {
        uint32_t size = bytes(L.cScnSize.at(name.substr(0, name.size() - 2)));
        const SectionDesc *d = desc(name);
        if (d && !d->getRunMemory().empty())
            return false;
        return d ? relAssigned(code, d->getLoadMemory(), name, size, 1) : relUnassigned(code, name, size, 1);
    }
    bool stack()
    {
        if (!L.isStackDeclared())
            return true;
        const std::string &bank = L.cStackDesc.getRunMemory();
        if (bank.empty())
            return relUnassigned(data, ".stack", L.cStackDesc.getSize(), 1);
        return relAssigned(find(data, bank) || !find(share, bank) ? data : share, bank, ".stack",
                           L.cStackDesc.getSize(), 1);
    }
    bool cinit()
    {
        uint32_t n = 0;
        for (const auto &[name, type] : L.cScnType)
            n += type == 2;
        bool wide = proc_max_rom_address(L.cProcessor) > 0xFFFF || proc_max_ram_address(L.cProcessor) > 0xFFFF;
        uint32_t size = bytes(2 + n * (wide ? 12 : 6));
        const SectionDesc *d = desc(".cinit");
        if (d && !d->getRunMemory().empty())
            return false;
        return d ? relAssigned(code, d->getLoadMemory(), ".cinit", size, 1) : relUnassigned(code, ".cinit", size, 1);
    }

    DiffLinker &L;
};

// Symbol relocation, string merging and external resolution done the plain
// way on copies of the inputs: one walk of the whole symbol table per
// section, a sorted list of strings, linear searches for definitions.
struct ReferenceSymbols
{
    bool ok = true;
    std::string err;
    std::vector<Coff> inputs;
    StrTbl merged;

    ReferenceSymbols(const DiffLinker &L, std::vector<Coff> copies) : inputs(std::move(copies))
    {
        for (uint32_t i = 0; i < inputs.size(); ++i) {
            Coff &c = inputs[i];
            for (const auto &[num, name] : c.cScnNum) {
                uint32_t paddr = c.cScnHdr.at(name).s_paddr;
                uint32_t load = L.cScnMem.at(name)->getLoadStart(i, name);
                for (size_t k = 0; k < c.cSymbols.size(); ++k) {
                    coff_syment &s = c.cSymbols[k];
                    if (s.n_scnum == num && Coff::isRelocatable(s))
                        s.n_value = s.n_value - paddr + load;
                    if (s.n_numaux == 1)
                        ++k;
                }
                if (L.cScnType.at(name) == 1 && c.cLineInfo.count(name))
                    for (coff_lineno &line : c.cLineInfo[name])
                        line.l_paddr = line.l_paddr - paddr + load;
            }
        }
        std::vector<std::string> strings;
        for (const Coff &c : inputs)
            for (const auto &[offset, text] : c.cStrTbl)
                if (std::find(strings.begin(), strings.end(), text) == strings.end())
                    strings.push_back(text);
        std::sort(strings.begin(), strings.end());
        int32_t offset = 4;
        for (const std::string &s : strings) {
            merged[offset] = s;
            offset += int32_t(s.size() + 1);
        }
        auto offsetOf = [&](const std::string &text) {
            for (const auto &[off, s] : merged)
                if (s == text)
                    return uint32_t(off);
            return 0u;
        };
        for (Coff &c : inputs) {
            for (auto &[name, hdr] : c.cScnHdr)
                if (hdr.hasLongName())
                    hdr.setLongNameOffset(offsetOf(Coff::getName(hdr, c.cStrTbl)));
            for (size_t k = 0; k < c.cSymbols.size(); ++k) {
                coff_syment &s = c.cSymbols[k];
                if (Coff::getName(s, c.cStrTbl) == ".file" && s.n_numaux == 1) {
                    aux_file aux = auxOf<aux_file>(c.cSymbols[k + 1]);
                    aux.x_offset = offsetOf(Coff::getName(aux, c.cStrTbl));
                    setAux(c.cSymbols[k + 1], aux);
                } else if (s.hasLongName()) {
                    s.setLongNameOffset(offsetOf(Coff::getName(s, c.cStrTbl)));
                }
                if (s.n_numaux == 1)
                    ++k;
            }
            c.cStrTbl = merged;
        }

        std::vector<std::pair<std::string, coff_syment>> defs = {{"_cinit", L.cCinitSym}};
        if (L.isStackDeclared()) {
            const Memory *m = L.cScnMem.at(".stack");
            coff_syment stack, size;
            stack.n_value = m->getScnStart(".stack");
            size.n_value = m->getScnSize(".stack");
            defs.push_back({"_stack", stack});
            defs.push_back({"_stksize", size});
        }
        for (const Coff &c : inputs)
            for (size_t k = 0; k < c.cSymbols.size() && ok; k += 1 + (c.cSymbols[k].n_numaux == 1))
                if (Coff::isExternalDef(c.cSymbols[k])) {
                    std::string name = Coff::getName(c.cSymbols[k], c.cStrTbl);
                    for (const auto &d : defs)
                        if (d.first == name)
                            fail("symbol '" + name + "' has multiple definitions.");
                    defs.push_back({name, c.cSymbols[k]});
                }
        for (Coff &c : inputs)
            for (size_t k = 0; k < c.cSymbols.size() && ok; k += 1 + (c.cSymbols[k].n_numaux == 1)) {
                coff_syment &s = c.cSymbols[k];
                if (!Coff::isExternalRef(s))
                    continue;
                std::string name = Coff::getName(s, c.cStrTbl);
                if (name[0] == '.') {
                    std::string scn = name.substr(1);
                    if (!L.cScnSize.count(scn))
                        fail("could not resolve section reference '" + scn + "' in file '" + c.cName + "'.");
                    else
                        s.n_value = L.cScnMem.at(scn)->getScnStart(scn);
                    continue;
                }
                bool found = false;
                for (const auto &d : defs)
                    if (!found && d.first == name) {
                        s.n_value = d.second.n_value;
                        found = true;
                    }
                if (!found)
                    fail("could not resolve symbol '" + name + "' in file '" + c.cName + "'.");
            }
    }
    void fail(const std::string &message)
    {
        if (ok)
            err = message;
        ok = false;
    }
};

std::string slotText(const coff_syment &s)
{
    std::string text;
    for (char c : s._n_name)
        text += hexString(uint8_t(c), 1).substr(2);
    return text + " v" + std::to_string(s.n_value) + " n" + std::to_string(s.n_scnum) + " t" +
           std::to_string(s.n_type) + " c" + std::to_string(s.n_sclass) + " a" + std::to_string(s.n_numaux);
}

TEST(Differential, LinkPhasesMatchPlainPassesOnRandomProjects)
{
    ReportCapture quiet(true); // silent reporter; the flag is restored after the test
    int linked = 0;
    for (uint64_t seed = 0; seed < PROJECTS; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RandomProject project = randomProject(seed);
        DiffLinker L(project);
        std::string err;

        std::vector<std::unique_ptr<Coff>> objects;
        for (const auto &c : L.cCoff)
            objects.push_back(std::make_unique<Coff>(*c));
        std::vector<std::string> expectedImports = referenceImport(std::move(objects), L.cArchives);
        ASSERT_TRUE(L.importLibraryMembers(err));
        std::vector<std::string> imports = L.inputNames();
        imports.erase(imports.begin(), imports.begin() + long(project.objects.size()));
        ASSERT_EQ(imports, expectedImports);

        ASSERT_TRUE(L.prepare(err)) << err;
        ReferenceAllocation ref(L);
        bool refOk = ref.run();
        ASSERT_EQ(L.mapSections(err), refOk) << err;
        for (const auto &[name, memory] : ref.where) {
            ASSERT_TRUE(L.memoryOf(name)) << name;
            EXPECT_EQ(L.memoryNameOf(name), memory->name) << name;
            EXPECT_EQ(L.startOf(name), memory->starts.at(name)) << name;
        }
        EXPECT_EQ(L.cScnMem.size(), ref.where.size());
        for (size_t i = 0; i < ref.code.size(); ++i)
            EXPECT_EQ(show(holesOf(L.cCodePage[i])), show(ref.code[i].holes)) << ref.code[i].name;
        for (size_t i = 0; i < ref.data.size(); ++i)
            EXPECT_EQ(show(holesOf(L.cDataBanks[i])), show(ref.data[i].holes)) << ref.data[i].name;
        for (size_t i = 0; i < ref.share.size(); ++i)
            EXPECT_EQ(show(holesOf(L.cShareBanks[i])), show(ref.share[i].holes)) << ref.share[i].name;
        if (!refOk)
            continue;

        ASSERT_TRUE(L.loadSections(err) && L.buildCinitTbl(err));
        std::vector<Coff> copies;
        for (const auto &c : L.cCoff)
            copies.push_back(*c);
        ReferenceSymbols expected(L, std::move(copies));
        L.relocateSymbols(err);
        L.relocateLineInfo(err);
        L.mergeStringTbls();
        bool ok = L.buildExtSymDef(err) && L.resolveExternals(err);
        ASSERT_EQ(ok, expected.ok) << err;
        EXPECT_EQ(err, expected.err);
        EXPECT_EQ(L.cOutput.cStrTbl, expected.merged);
        for (size_t i = 0; i < expected.inputs.size(); ++i) {
            const Coff &got = *L.cCoff[i], &want = expected.inputs[i];
            ASSERT_EQ(got.cSymbols.size(), want.cSymbols.size());
            for (size_t k = 0; k < want.cSymbols.size(); ++k)
                EXPECT_EQ(slotText(got.cSymbols[k]), slotText(want.cSymbols[k])) << got.cName << " slot " << k;
            for (const auto &[name, hdr] : want.cScnHdr)
                EXPECT_EQ(Coff::getName(got.cScnHdr.at(name), L.cOutput.cStrTbl), name);
            for (const auto &[name, lines] : want.cLineInfo)
                for (size_t k = 0; k < lines.size(); ++k)
                    EXPECT_EQ(got.cLineInfo.at(name)[k].l_paddr, lines[k].l_paddr) << name << " line " << k;
        }
        linked += ok;
    }
    // Most projects get through every phase.
    EXPECT_GT(linked, int(PROJECTS) / 2);
}

// ---------------------------------------------------------------- whole links

// Links the project with its libraries, and again with the members the
// reference import takes given as plain objects in that order: the two
// executables and map files are the same, byte for byte (time stamps aside).
TEST(Differential, LibraryLinkEqualsLinkOfTheReferenceMembers)
{
    ReportCapture quiet(true); // silent reporter; the flag is restored after the test
    int compared = 0;
    for (uint64_t seed = 0; seed < PROJECTS; seed += 5) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RandomProject project = randomProject(seed);
        if (project.libraries.empty())
            continue;
        std::vector<std::unique_ptr<Coff>> objects;
        std::vector<std::unique_ptr<Archive>> archives;
        for (const auto &[name, object] : project.objects)
            objects.push_back(coffFromBytes(object.bytes(), name));
        for (const auto &lib : project.libraries)
            archives.push_back(std::make_unique<Archive>(lib.archive().archive()));
        std::vector<std::string> members = referenceImport(std::move(objects), archives);

        LinkRun runs[2];
        for (int r = 0; r < 2; ++r) {
            LinkRun &run = runs[r];
            for (const ProjectMemory &m : project.memories) {
                if (m.kind == "CODEPAGE")
                    run.codePage(m.name, m.start, m.end, m.fill, m.isProtected);
                else if (m.kind == "DATABANK")
                    run.dataBank(m.name, m.start, m.end);
                else
                    run.shareBank(m.name, m.start, m.end);
            }
            for (const ProjectSection &s : project.sections)
                run.section(s.name, s.rom, s.ram);
            if (project.stack)
                run.stack(project.stackSize, project.stackBank);
            for (const auto &[name, object] : project.objects)
                run.object(name, object);
            for (const auto &lib : project.libraries)
                if (r == 0)
                    run.library(lib.name, lib.archive());
            for (const std::string &member : members)
                for (const auto &lib : project.libraries)
                    for (const auto &[name, object] : lib.members)
                        if (r == 1 && name == member)
                            run.object(name, object);
            run.map();
        }
        bool a = runs[0].link(), b = runs[1].link();
        ASSERT_EQ(a, b) << runs[0].err << " / " << runs[1].err;
        if (!a)
            continue;
        std::vector<uint8_t> exe[2];
        std::vector<std::string> map[2];
        for (int r = 0; r < 2; ++r) {
            exe[r] = runs[r].dir.read("out.o");
            ASSERT_GE(exe[r].size(), 8u);
            std::fill(exe[r].begin() + 4, exe[r].begin() + 8, 0); // time stamp
            map[r] = runs[r].mapLines();
            ASSERT_GE(map[r].size(), 2u);
            map[r][1].clear(); // creation time
        }
        EXPECT_EQ(exe[0], exe[1]);
        expectLines(map[0], map[1]);
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

} // namespace
