// Memory regions and their ranges: fit tests, best-fit and fixed-start
// allocation, loading of each input's part of a section, and the dumps and
// usage rows the map files show.
//
// Every fit test computes in 64 bits, so a huge start or length never wraps
// around into a fit.

#include "memtarg.h"

#include "data.h"
#include "diag.h"
#include "text.h"

#include <algorithm>
#include <cstdio>

// ---------------------------------------------------------------- Range

Range::Range() = default;

Range::Range(uint32_t start, uint32_t size, MemType type, uint16_t widthBits)
    : cStart(start), cSize(size), cLoadPtr(start), cType(type), cWidthBits(widthBits)
{
}

uint32_t Range::getEnd() const
{
    SUITE_ASSERT(cSize > 0);
    return cStart + cSize - 1;
}

uint16_t Range::getWidthBits() const
{
    SUITE_ASSERT(cWidthBits);
    return cWidthBits;
}

uint32_t Range::bytesPerLoc() const
{
    SUITE_ASSERT(cWidthBits);
    return (uint32_t(cWidthBits) + 7) >> 3;
}

uint32_t Range::sizeInBytes() const { return bytesPerLoc() * cSize; }

uint32_t Range::locs(uint32_t length) const
{
    uint32_t bpl = bytesPerLoc();
    return length / bpl + (length % bpl ? 1 : 0);
}

bool Range::canFit(uint32_t length, uint16_t alignment) const
{
    if (length == 0)
        return true;
    uint64_t usable = uint64_t(bytesPerLoc()) * cSize;
    if (usable == 0)
        return false;
    if (alignment > 1 && cStart % alignment != 0) {
        // The skipped locations are counted in bytes, so that the test agrees
        // with the fixed-start test that allocation checks afterwards.
        uint64_t skip = uint64_t(alignment - cStart % alignment) * bytesPerLoc();
        if (skip >= usable)
            return false;
        usable -= skip;
    }
    return usable >= length;
}

bool Range::canFit(uint32_t start, uint32_t length) const
{
    if (length == 0)
        return true;
    if (uint64_t(bytesPerLoc()) * cSize == 0)
        return false;
    uint64_t last = uint64_t(start) + locs(length) - 1;
    return start >= cStart && last <= getEnd();
}

void Range::allocate(const std::string &secName, uint32_t start, uint32_t length,
                     std::vector<Range> &newHoles, bool overlay)
{
    SUITE_ASSERT(!isAllocated());
    SUITE_ASSERT(canFit(start,length));
    SUITE_ASSERT(!secName.empty());
    cAllocName = secName;
    cOverlay = overlay ? 1 : 0;

    if (length == 0) {
        // A zero-length section takes no location: the hole goes back whole.
        newHoles.push_back(Range(cStart, cSize, cType, cWidthBits));
        cStart = start;
        cSize = 0;
        cLoadPtr = start;
        return;
    }

    uint32_t oldStart = cStart;
    uint32_t oldEnd = getEnd();
    uint32_t n = locs(length);
    cStart = start;
    cSize = n;
    cLoadPtr = start;
    uint32_t last = start + n - 1;
    if (start != oldStart)
        newHoles.push_back(Range(oldStart, start - oldStart, cType, cWidthBits));
    if (last != oldEnd)
        newHoles.push_back(Range(last + 1, oldEnd - last, cType, cWidthBits));
}

bool Range::isLoaded(uint32_t input) const { return cLoadIndex.count(input) != 0; }

void Range::load(uint32_t input, const std::string &file, uint32_t length)
{
    SUITE_ASSERT(isAllocated());
    SUITE_ASSERT(!isLoaded(input));
    if (length > 0)
        SUITE_ASSERT(!loadComplete());

    cLoadIndex[input] = cLoads.size();
    cLoads.push_back(LoadRecord{input, file, cLoadPtr, length});

    if (cSize == 0) {
        if (!cOverlay)
            cLoadComplete = 1;
        return;
    }
    uint64_t newPc = uint64_t(cLoadPtr) + locs(length);
    SUITE_ASSERT(newPc <= (uint64_t(getEnd()) + 1));
    if (cOverlay)
        return; // every part of an overlay starts at the range's first location
    cLoadPtr = uint32_t(newPc);
    if (newPc > getEnd())
        cLoadComplete = 1;
}

void Range::load(uint32_t input, const std::string &file, uint32_t start, uint32_t length)
{
    SUITE_ASSERT(isAllocated());
    SUITE_ASSERT(!isLoaded(input));
    SUITE_ASSERT(!loadComplete());
    SUITE_ASSERT(start == cStart);
    if (!cOverlay)
        SUITE_ASSERT(locs(length) == cSize);

    cLoadIndex[input] = cLoads.size();
    cLoads.push_back(LoadRecord{input, file, cStart, sizeInBytes()});
    if (cOverlay)
        return;
    cLoadComplete = 1;
    if (cSize > 0)
        cLoadPtr = getEnd() + 1;
}

const LoadRecord &Range::loadRecord(uint32_t input) const
{
    auto it = cLoadIndex.find(input);
    SUITE_ASSERT(it != cLoadIndex.end());
    return cLoads[it->second];
}

uint32_t Range::getLoadStart(uint32_t input) const { return loadRecord(input).start; }
uint32_t Range::getLoadSize(uint32_t input) const { return loadRecord(input).length; }

void Range::print(std::ostream &out) const
{
    // A dump may run before the widths are known; sizes then print as 0.
    uint32_t bpl = (uint32_t(cWidthBits) + 7) >> 3;
    out << "Range:   allocName=" << cAllocName << " start=" << hexString(cStart, 4)
        << " size=" << hexString(bpl * cSize, 4);
    if (cSize > 0)
        out << " end=" << hexString(getEnd(), 4);
    out << " pc=" << hexString(cLoadPtr, 4) << " type=" << (cType == rom ? "rom" : "ram")
        << " isOverlay=" << cOverlay << '\n';
    for (const LoadRecord &r : cLoads) {
        out << std::string(20, ' ') << "Loaded Section: file=" << r.file
            << " start=" << hexString(r.start, 4) << " size=" << hexString(r.length, 4);
        if (cSize > 0 && r.length > 0 && bpl > 0) {
            uint32_t n = r.length / bpl + (r.length % bpl ? 1 : 0);
            out << " end=" << hexString(r.start + n - 1, 4);
        }
        out << '\n';
    }
}

// ---------------------------------------------------------------- Memory

Memory::Memory() { addHole(Range(0, 1, ram, 0)); }

Memory::Memory(const std::string &name, uint32_t start, uint32_t end, MemType type,
               bool isProtected, bool hasFill, const std::string &fill)
    : cName(name), cType(type), cProtected(isProtected ? 1 : 0), cHasFill(hasFill ? 1 : 0),
      cFill(fill), cStart(start), cEnd(end)
{
    // The command-file reader refuses regions that would wrap.
    SUITE_ASSERT(end >= start && end - start != 0xFFFFFFFFu);
    addHole(Range(start, end - start + 1, type, 0));
}

uint64_t Memory::sizeInBytes(uint16_t widthBits) const
{
    return uint64_t(size()) * ((uint32_t(widthBits) + 7) >> 3);
}

bool Memory::overlaps(const Memory &other) const
{
    return std::max(cStart, other.cStart) <= std::min(cEnd, other.cEnd);
}

void Memory::setWidthBits(uint16_t bits)
{
    // Sizes in locations do not change, so neither does the holes' order.
    for (auto &entry : cHoles)
        entry.second.setWidthBits(bits);
    for (auto &entry : cAlloc)
        entry.second.setWidthBits(bits);
    cFreeListValid = false;
}

void Memory::addHole(const Range &hole)
{
    HoleKey key(hole.getSize(), cNextHole++);
    cHoles.emplace(key, hole);
    cHoleAt[hole.getStart()] = key;
    cFreeListValid = false;
}

// Allocation sorts the free list by size, keeping the order of equal sizes,
// and takes the first hole that fits; leftovers go to the end of the list.
// So holes of one size are always taken oldest first, and the map ordered by
// (size, age) is that sorted list at every allocation.
Memory::HoleMap::const_iterator Memory::findFit(uint32_t length, uint16_t alignment) const
{
    if (cHoles.empty() || length == 0)
        return cHoles.begin(); // an empty part fits the first hole
    // No hole of fewer locations than the part needs can take it; of the
    // others, only one whose start must be moved up to the alignment may not.
    uint32_t least = cHoles.begin()->second.locs(length);
    for (auto it = cHoles.lower_bound(HoleKey(least, 0)); it != cHoles.end(); ++it)
        if (it->second.canFit(length, alignment))
            return it;
    return cHoles.end();
}

Memory::HoleMap::const_iterator Memory::findFit(uint32_t start, uint32_t length) const
{
    if (cHoles.empty() || length == 0)
        return cHoles.begin();
    // Holes never share a location: only the one holding start can fit.
    auto at = cHoleAt.upper_bound(start);
    if (at == cHoleAt.begin())
        return cHoles.end();
    auto it = cHoles.find(std::prev(at)->second);
    return it->second.canFit(start, length) ? it : cHoles.end();
}

bool Memory::canFit(uint32_t length, uint16_t alignment) const { return findFit(length, alignment) != cHoles.end(); }

bool Memory::canFit(uint32_t start, uint32_t length) const { return findFit(start, length) != cHoles.end(); }

void Memory::takeHole(HoleMap::const_iterator hole, const std::string &secName, uint32_t start, uint32_t length,
                      bool overlay)
{
    Range range = hole->second;
    cHoleAt.erase(range.getStart());
    cHoles.erase(hole);
    std::vector<Range> newHoles;
    range.allocate(secName, start, length, newHoles, overlay);
    cAlloc[secName] = range;
    // Leftovers go to the end, leading part first: among holes of one size
    // the one free the longest is taken next.
    cRecentHoles = cNextHole;
    for (const Range &h : newHoles)
        addHole(h);
    cFreeListValid = false; // also when the section took the whole hole
}

void Memory::allocate(const std::string &secName, uint32_t length, bool overlay, uint16_t alignment)
{
    SUITE_ASSERT(!isAllocated(secName));
    auto hole = findFit(length, alignment);
    SUITE_ASSERT(hole != cHoles.end()); // canFit(length,alignment)
    uint32_t start = hole->second.getStart();
    if (alignment > 1 && start % alignment != 0)
        start += alignment - start % alignment;
    takeHole(hole, secName, start, length, overlay);
}

void Memory::allocate(const std::string &secName, uint32_t start, uint32_t length, bool overlay)
{
    SUITE_ASSERT(!isAllocated(secName));
    auto hole = findFit(start, length);
    SUITE_ASSERT(hole != cHoles.end()); // canFit(start,length)
    takeHole(hole, secName, start, length, overlay);
}

bool Memory::isAllocated(const std::string &secName) const
{
    auto it = cAlloc.find(secName);
    return it != cAlloc.end() && it->second.getAllocName() == secName;
}

const Range &Memory::allocatedRange(const std::string &secName) const
{
    SUITE_ASSERT(isAllocated(secName));
    return cAlloc.find(secName)->second;
}

bool Memory::isLoaded(uint32_t input, const std::string &secName) const
{
    return isAllocated(secName) && cAlloc.find(secName)->second.isLoaded(input);
}

void Memory::load(uint32_t input, const std::string &file, const std::string &secName, uint32_t length)
{
    SUITE_ASSERT(isAllocated(secName));
    SUITE_ASSERT(!isLoaded(input,secName));
    cAlloc[secName].load(input, file, length);
}

void Memory::load(uint32_t input, const std::string &file, const std::string &secName,
                  uint32_t start, uint32_t length)
{
    SUITE_ASSERT(isAllocated(secName));
    SUITE_ASSERT(!isLoaded(input,secName));
    cAlloc[secName].load(input, file, start, length);
}

uint32_t Memory::getScnStart(const std::string &secName) const { return allocatedRange(secName).getStart(); }
uint32_t Memory::getScnSize(const std::string &secName) const { return allocatedRange(secName).sizeInBytes(); }

uint32_t Memory::getLoadStart(uint32_t input, const std::string &secName) const
{
    SUITE_ASSERT(isLoaded(input,secName));
    return allocatedRange(secName).getLoadStart(input);
}

uint32_t Memory::getLoadSize(uint32_t input, const std::string &secName) const
{
    SUITE_ASSERT(isLoaded(input,secName));
    return allocatedRange(secName).getLoadSize(input);
}

bool Memory::allLoaded() const
{
    for (const auto &entry : cAlloc)
        if (!entry.second.loadComplete())
            return false;
    return true;
}

uint32_t Memory::largestHole() const
{
    if (cHoles.empty())
        return 0;
    const Range &r = std::prev(cHoles.end())->second;
    return uint32_t(std::min<uint64_t>(uint64_t(r.bytesPerLoc()) * r.getSize(), 0xFFFFFFFFu));
}

const std::vector<Range> &Memory::getHoles() const
{
    if (!cFreeListValid) {
        cFreeList.clear();
        std::vector<std::pair<uint64_t, const Range *>> recent;
        for (const auto &[key, range] : cHoles) {
            if (key.second < cRecentHoles)
                cFreeList.push_back(range);
            else
                recent.push_back({key.second, &range});
        }
        // The latest leftovers in the order they were made (at most two).
        std::sort(recent.begin(), recent.end());
        for (const auto &[number, range] : recent)
            cFreeList.push_back(*range);
        cFreeListValid = true;
    }
    return cFreeList;
}

void Memory::forEachHole(const std::function<void(const Memory &, uint32_t, uint32_t, const std::string &)> &callback) const
{
    if (!cHasFill)
        return;
    for (const Range &r : getHoles())
        callback(*this, r.getStart(), r.getEnd(), cFill);
}

void Memory::sortHoles()
{
    // All ranges of a memory share one width, so ordering by locations is
    // ordering by bytes; equal sizes keep their order, which is their age.
    cRecentHoles = cNextHole;
    cFreeListValid = false;
}

void Memory::print(std::ostream &out) const
{
    out << "Memory: name=" << cName << " start=" << hexString(cStart, 4) << " end=" << hexString(cEnd, 4)
        << " type=" << (cType == rom ? "rom" : "ram") << " protected=" << cProtected
        << " hasFill=" << cHasFill << " fill=" << cFill << '\n';
    out << std::string(10, ' ') << "---Allocated Ranges--- " << '\n';
    for (const auto &entry : cAlloc) {
        out << std::string(10, ' ');
        entry.second.print(out);
    }
    out << std::string(10, ' ') << "---Unallocated Ranges--- " << '\n';
    for (const Range &r : getHoles()) {
        out << std::string(10, ' ');
        r.print(out);
    }
}

namespace {

std::string usageRow(const std::string &a, const std::string &b, const std::string &c,
                     const std::string &d, const std::string &e, const std::string &f)
{
    // "%10s %10s %10s %20s %10s %10s": right-aligned, never cut.
    auto pad = [](const std::string &s, size_t w) {
        return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
    };
    return pad(a, 10) + " " + pad(b, 10) + " " + pad(c, 10) + " " + pad(d, 20) + " " + pad(e, 10) + " " +
           pad(f, 10) + "\n";
}

} // namespace

void Memory::printUsage(std::ostream &out, bool header) const
{
    std::vector<ScnAddr> sections;
    for (const auto &entry : cAlloc)
        sections.push_back(ScnAddr(entry.first, entry.second.getStart()));
    // Sections that share a start stay in name order.
    std::stable_sort(sections.begin(), sections.end());

    if (header) {
        out << usageRow("Memory", "Start", "End", "Section", "Address", "Size(Bytes)");
        const std::string dash = "---------";
        out << usageRow(dash, dash, dash, dash, dash, dash);
    }
    std::string startText = hexString(cStart, 2);
    std::string endText = hexString(cEnd, 2);
    if (sections.empty()) {
        out << usageRow(cName, startText, endText, "", "", "");
    } else {
        bool first = true;
        for (const ScnAddr &s : sections) {
            const Range &r = cAlloc.find(s.name)->second;
            out << usageRow(first ? cName : "", first ? startText : "", first ? endText : "", s.name,
                            hexString(r.getStart(), 2), hexString(r.sizeInBytes(), 2));
            first = false;
        }
    }
    out << '\n';
}

bool lessBySize(const MemSize &a, const MemSize &b) { return a.cSize < b.cSize; }
