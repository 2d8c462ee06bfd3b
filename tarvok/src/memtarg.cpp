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

Memory::Memory() { cFree.push_back(Range(0, 1, ram, 0)); }

Memory::Memory(const std::string &name, uint32_t start, uint32_t end, MemType type,
               bool isProtected, bool hasFill, const std::string &fill)
    : cName(name), cType(type), cProtected(isProtected ? 1 : 0), cHasFill(hasFill ? 1 : 0),
      cFill(fill), cStart(start), cEnd(end)
{
    // The command-file reader refuses regions that would wrap.
    SUITE_ASSERT(end >= start && end - start != 0xFFFFFFFFu);
    cFree.push_back(Range(start, end - start + 1, type, 0));
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
    for (Range &r : cFree)
        r.setWidthBits(bits);
    for (auto &entry : cAlloc)
        entry.second.setWidthBits(bits);
}

bool Memory::canFit(uint32_t length, uint16_t alignment) const
{
    for (const Range &r : cFree)
        if (r.canFit(length, alignment))
            return true;
    return false;
}

bool Memory::canFit(uint32_t start, uint32_t length) const
{
    for (const Range &r : cFree)
        if (r.canFit(start, length))
            return true;
    return false;
}

void Memory::takeHole(size_t index, const std::string &secName, uint32_t start, uint32_t length,
                      bool overlay)
{
    Range range = cFree[index];
    std::vector<Range> newHoles;
    range.allocate(secName, start, length, newHoles, overlay);
    cFree.erase(cFree.begin() + std::ptrdiff_t(index));
    cAlloc[secName] = range;
    // Leftovers go to the end, leading part first: among holes of one size
    // the one free the longest is taken next.
    cFree.insert(cFree.end(), newHoles.begin(), newHoles.end());
}

void Memory::allocate(const std::string &secName, uint32_t length, bool overlay, uint16_t alignment)
{
    SUITE_ASSERT(!isAllocated(secName));
    SUITE_ASSERT(canFit(length,alignment));
    sortHoles();
    bool found = false;
    for (size_t i = 0; i < cFree.size(); ++i) {
        if (!cFree[i].canFit(length, alignment))
            continue;
        uint32_t start = cFree[i].getStart();
        if (alignment > 1 && start % alignment != 0)
            start += alignment - start % alignment;
        takeHole(i, secName, start, length, overlay);
        found = true;
        break;
    }
    SUITE_ASSERT(found);
}

void Memory::allocate(const std::string &secName, uint32_t start, uint32_t length, bool overlay)
{
    SUITE_ASSERT(!isAllocated(secName));
    SUITE_ASSERT(canFit(start,length));
    sortHoles();
    bool found = false;
    for (size_t i = 0; i < cFree.size(); ++i) {
        if (!cFree[i].canFit(start, length))
            continue;
        takeHole(i, secName, start, length, overlay);
        found = true;
        break;
    }
    SUITE_ASSERT(found);
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
    uint64_t largest = 0;
    for (const Range &r : cFree)
        largest = std::max(largest, uint64_t(r.bytesPerLoc()) * r.getSize());
    return uint32_t(std::min<uint64_t>(largest, 0xFFFFFFFFu));
}

void Memory::forEachHole(const std::function<void(const Memory &, uint32_t, uint32_t, const std::string &)> &callback) const
{
    if (!cHasFill)
        return;
    for (const Range &r : cFree)
        callback(*this, r.getStart(), r.getEnd(), cFill);
}

void Memory::sortHoles()
{
    // All ranges of a memory share one width, so ordering by locations is
    // ordering by bytes; equal sizes keep their order.
    std::stable_sort(cFree.begin(), cFree.end(),
                     [](const Range &a, const Range &b) { return a.getSize() < b.getSize(); });
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
    for (const Range &r : cFree) {
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
