// The holes of a memory against a plain model of the free list: before each
// allocation the list is sorted by size (equal sizes keep their order), the
// first hole that fits is taken, and its leftovers, leading part first, are
// appended. Long random runs must agree hole for hole and start for start.

#include "memtarg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Hole = std::pair<uint64_t, uint64_t>; // first and last location

struct ListModel
{
    uint64_t bpl;
    std::vector<Hole> list;

    uint64_t locs(uint64_t length) const { return (length + bpl - 1) / bpl; }
    // The aligned start a relocatable part gets in the hole, or none.
    bool fits(const Hole &h, uint64_t length, uint64_t align, uint64_t &start) const
    {
        start = (h.first + align - 1) / align * align;
        return length == 0 || start + locs(length) - 1 <= h.second;
    }
    bool fitsAt(const Hole &h, uint64_t start, uint64_t length) const
    {
        return length == 0 || (start >= h.first && start + locs(length) - 1 <= h.second);
    }
    // Sorts, takes the first hole the test accepts and splits it; false when
    // no hole does (and then nothing is sorted).
    template <class Test> bool take(Test test, uint64_t length, uint64_t &start)
    {
        if (std::none_of(list.begin(), list.end(), [&](const Hole &h) { return test(h, start); }))
            return false;
        std::stable_sort(list.begin(), list.end(),
                         [](const Hole &a, const Hole &b) { return a.second - a.first < b.second - b.first; });
        auto it = std::find_if(list.begin(), list.end(), [&](const Hole &h) { return test(h, start); });
        Hole h = *it;
        list.erase(it);
        if (length == 0) {
            list.push_back(h); // an empty section takes nothing
            return true;
        }
        uint64_t last = start + locs(length) - 1;
        if (start != h.first)
            list.push_back({h.first, start - 1});
        if (last != h.second)
            list.push_back({last + 1, h.second});
        return true;
    }
};

void runAgainstModel(uint16_t widthBits, uint16_t maxAlign, unsigned seed)
{
    const uint32_t first = 0x101, last = 0x4FF;
    Memory m("mem", first, last, ram, false, false, "");
    m.setWidthBits(widthBits);
    ListModel model{uint64_t(widthBits + 7) / 8, {{first, last}}};
    std::mt19937 rng(seed);
    for (int step = 0; step < 400; ++step) {
        std::string name = "s" + std::to_string(step);
        uint32_t length = rng() % 4 == 0 ? 0 : rng() % 24 + 1;
        uint64_t start = 0;
        if (rng() % 3 == 0) {
            uint32_t at = first + rng() % (last - first + 1);
            bool fits = model.take([&](const Hole &h, uint64_t &s) { s = at; return model.fitsAt(h, at, length); },
                                   length, start);
            ASSERT_EQ(m.canFit(at, length), fits) << "step " << step;
            if (fits)
                m.allocate(name, at, length, false);
        } else {
            uint16_t align = uint16_t(rng() % maxAlign + 1);
            bool fits = model.take([&](const Hole &h, uint64_t &s) { return model.fits(h, length, align, s); },
                                   length, start);
            ASSERT_EQ(m.canFit(length, align), fits) << "step " << step;
            if (fits)
                m.allocate(name, length, false, align);
        }
        if (m.isAllocated(name)) {
            ASSERT_EQ(m.getScnStart(name), start) << "step " << step;
        }
        std::vector<Hole> holes;
        uint64_t largest = 0;
        for (const Range &r : m.getHoles())
            holes.push_back({r.getStart(), r.getEnd()});
        for (const Hole &h : model.list)
            largest = std::max(largest, (h.second - h.first + 1) * model.bpl);
        ASSERT_EQ(holes, model.list) << "step " << step;
        ASSERT_EQ(m.largestHole(), largest) << "step " << step;
    }
}

} // namespace

TEST(MemoryHoleOrder, MatchesTheFreeList)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        runAgainstModel(8, 2, seed); // byte locations, alignment 1 or 2
        runAgainstModel(14, 1, seed + 10);
    }
}
