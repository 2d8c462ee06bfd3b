// The holes of a memory against a plain model of the free list: before each
// allocation the list is sorted by size (equal sizes keep their order), the
// first hole that fits is taken, and its leftovers, leading part first, are
// appended. Long random runs must agree hole for hole and start for start.

#include "memtarg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

struct ModelHole
{
    uint64_t start, size; // in locations
};

class ListModel
{
public:
    ListModel(uint64_t start, uint64_t end, uint64_t bytesPerLoc) : cBpl(bytesPerLoc) { cList.push_back({start, end - start + 1}); }

    uint64_t locs(uint64_t length) const { return (length + cBpl - 1) / cBpl; }

    bool fits(const ModelHole &h, uint64_t length, uint64_t align) const
    {
        if (length == 0)
            return true;
        uint64_t usable = h.size * cBpl;
        if (h.start % align)
            usable = usable > (align - h.start % align) * cBpl ? usable - (align - h.start % align) * cBpl : 0;
        return usable >= length;
    }
    bool fitsAt(const ModelHole &h, uint64_t start, uint64_t length) const
    {
        if (length == 0)
            return true;
        return start >= h.start && start + locs(length) <= h.start + h.size;
    }

    // The start given to the section, or -1 when nothing fits.
    int64_t allocate(uint64_t length, uint64_t align)
    {
        for (size_t i = 0; i < cList.size(); ++i)
            if (fits(cList[i], length, align)) {
                sort(); // only an allocation that happens sorts
                break;
            }
        for (size_t i = 0; i < cList.size(); ++i) {
            if (!fits(cList[i], length, align))
                continue;
            uint64_t start = cList[i].start;
            if (start % align)
                start += align - start % align;
            take(i, start, length);
            return int64_t(start);
        }
        return -1;
    }
    bool allocateAt(uint64_t start, uint64_t length)
    {
        bool any = false;
        for (const ModelHole &h : cList)
            any = any || fitsAt(h, start, length);
        if (!any)
            return false;
        sort();
        for (size_t i = 0; i < cList.size(); ++i)
            if (fitsAt(cList[i], start, length)) {
                take(i, start, length);
                return true;
            }
        return false;
    }
    void sort()
    {
        std::stable_sort(cList.begin(), cList.end(), [](const ModelHole &a, const ModelHole &b) { return a.size < b.size; });
    }
    std::vector<std::pair<uint64_t, uint64_t>> holes() const
    {
        std::vector<std::pair<uint64_t, uint64_t>> out;
        for (const ModelHole &h : cList)
            out.push_back({h.start, h.start + h.size - 1});
        return out;
    }
    uint64_t largest() const
    {
        uint64_t m = 0;
        for (const ModelHole &h : cList)
            m = std::max(m, h.size * cBpl);
        return m;
    }

private:
    void take(size_t i, uint64_t start, uint64_t length)
    {
        ModelHole h = cList[i];
        cList.erase(cList.begin() + std::ptrdiff_t(i));
        if (length == 0) {
            cList.push_back(h); // an empty section takes nothing
            return;
        }
        uint64_t last = start + locs(length) - 1;
        if (start != h.start)
            cList.push_back({h.start, start - h.start});
        if (last != h.start + h.size - 1)
            cList.push_back({last + 1, h.start + h.size - 1 - last});
    }

    uint64_t cBpl;
    std::vector<ModelHole> cList;
};

std::vector<std::pair<uint64_t, uint64_t>> holesOf(const Memory &m)
{
    std::vector<std::pair<uint64_t, uint64_t>> out;
    for (const Range &r : m.getHoles())
        out.push_back({r.getStart(), r.getEnd()});
    return out;
}

void runAgainstModel(uint16_t widthBits, uint16_t maxAlign, unsigned seed)
{
    const uint32_t first = 0x101, last = 0x4FF;
    Memory m("mem", first, last, ram, false, false, "");
    m.setWidthBits(widthBits);
    uint64_t bpl = (widthBits + 7) / 8;
    ListModel model(first, last, bpl);
    std::mt19937 rng(seed);
    for (int step = 0; step < 400; ++step) {
        std::string name = "s" + std::to_string(step);
        uint32_t length = rng() % 4 == 0 ? 0 : rng() % 24 + 1;
        if (rng() % 3 == 0) {
            uint32_t start = first + rng() % (last - first + 1);
            bool fits = m.canFit(start, length);
            bool modelFits = model.allocateAt(start, length);
            ASSERT_EQ(fits, modelFits) << "step " << step;
            if (fits) {
                m.allocate(name, start, length, false);
                ASSERT_EQ(m.getScnStart(name), start);
            }
        } else {
            uint16_t align = uint16_t(rng() % maxAlign + 1);
            bool fits = m.canFit(length, align);
            int64_t modelStart = model.allocate(length, align);
            ASSERT_EQ(fits, modelStart >= 0) << "step " << step;
            if (fits) {
                m.allocate(name, length, false, align);
                ASSERT_EQ(int64_t(m.getScnStart(name)), modelStart) << "step " << step;
            }
        }
        ASSERT_EQ(holesOf(m), model.holes()) << "step " << step;
        ASSERT_EQ(m.largestHole(), model.largest()) << "step " << step;
    }
    m.sortHoles();
    model.sort();
    EXPECT_EQ(holesOf(m), model.holes());
}

} // namespace

TEST(MemoryHoleOrder, MatchesTheListOnByteLocations)
{
    for (unsigned seed = 1; seed <= 6; ++seed)
        runAgainstModel(8, 2, seed);
}

TEST(MemoryHoleOrder, MatchesTheListOnWordLocations)
{
    for (unsigned seed = 11; seed <= 16; ++seed)
        runAgainstModel(14, 1, seed);
}
