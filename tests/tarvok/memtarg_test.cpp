// Memory regions: fit tests, best-fit and fixed-start allocation, the order
// of the holes, loading of file parts, and the usage rows.

#include "memtarg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

namespace {

// A data memory of 1-byte locations.
Memory byteBank(uint32_t start, uint32_t end, bool fill = false)
{
    Memory m("bank", start, end, ram, false, fill, fill ? "0x1234" : "");
    m.setWidthBits(8);
    return m;
}

using Stretch = std::pair<uint32_t, uint32_t>; // first and last location

std::vector<Stretch> holes(const Memory &m)
{
    std::vector<Stretch> out;
    for (const Range &r : m.getHoles())
        out.push_back({r.getStart(), r.getEnd()});
    return out;
}

} // namespace

TEST(MemoryCreate, FreshCodePageIsOneHole)
{
    Memory m("page0", 0x0000, 0x07FF, rom, false, false, "");
    EXPECT_EQ(m.size(), 2048u);
    m.setWidthBits(14);
    EXPECT_EQ(m.largestHole(), 4096u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0, 0x7FF}}));
    EXPECT_TRUE(m.getAllocated().empty());
}

TEST(MemoryCreate, SizeInBytesCountsBeyondThirtyTwoBits)
{
    Memory m("big", 0, 0xFFFFFFFE, rom, false, false, "");
    EXPECT_EQ(m.size(), 0xFFFFFFFFu);
    EXPECT_EQ(m.sizeInBytes(16), 0x1FFFFFFFEull);
    EXPECT_EQ(m.sizeInBytes(8), 0xFFFFFFFFull);
}

TEST(MemoryCreate, DefaultMemoryHasOneLocationAtZero)
{
    Memory m;
    EXPECT_EQ(m.getName(), "");
    EXPECT_EQ(m.getType(), ram);
    EXPECT_EQ(m.size(), 1u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0, 0}}));
}

TEST(MemoryOverlap, InclusiveEnds)
{
    Memory a("a", 0x0000, 0x07FF, rom, false, false, "");
    Memory b("b", 0x0800, 0x0FFF, rom, false, false, "");
    Memory c("c", 0x0700, 0x08FF, rom, false, false, "");
    Memory d("d", 0x07FF, 0x07FF, rom, false, false, "");
    EXPECT_FALSE(a.overlaps(b));
    EXPECT_FALSE(b.overlaps(a));
    EXPECT_TRUE(a.overlaps(c));
    EXPECT_TRUE(c.overlaps(b));
    EXPECT_TRUE(a.overlaps(d));
    EXPECT_FALSE(b.overlaps(d));
}

TEST(MemoryAllocate, SectionAtHoleStartLeavesOnlyTrailingHole)
{
    Memory m("page0", 0x0000, 0x07FF, rom, false, false, "");
    m.setWidthBits(14);
    m.allocate(".code", 6, false, 1);
    EXPECT_TRUE(m.isAllocated(".code"));
    EXPECT_EQ(m.getScnStart(".code"), 0u);
    EXPECT_EQ(m.getScnSize(".code"), 6u);
    EXPECT_EQ(m.getAllocated().at(".code").getEnd(), 2u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{3, 0x7FF}}));
}

TEST(MemoryAllocate, BestFitTakesSmallestHoleThatFits)
{
    // Holes of 16 bytes (0..15) and 8 bytes (26..33).
    Memory m = byteBank(0, 33);
    m.allocate("fixed", 16, 10, false);
    ASSERT_EQ(holes(m), (std::vector<Stretch>{{0, 15}, {26, 33}}));

    m.allocate("six", 6, false, 1);
    EXPECT_EQ(m.getScnStart("six"), 26u);
    // Sorted: the 8-byte hole came first and left the list; its rest follows.
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0, 15}, {32, 33}}));

    m.allocate("ten", 10, false, 1);
    EXPECT_EQ(m.getScnStart("ten"), 0u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{32, 33}, {10, 15}}));
}

TEST(MemoryAllocate, EqualHolesGoToTheOneFreeLongest)
{
    // Holes 0..29 and 40..49; a 20-byte section leaves 20..29 behind, which
    // is as large as 40..49 but joins the list after it.
    Memory m = byteBank(0, 49);
    m.allocate("fixed", 30, 10, false);
    m.allocate("twenty", 20, false, 1);
    ASSERT_EQ(holes(m), (std::vector<Stretch>{{40, 49}, {20, 29}}));
    m.allocate("four", 4, false, 1);
    EXPECT_EQ(m.getScnStart("four"), 40u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{20, 29}, {44, 49}}));
}

TEST(MemoryAllocate, OneByteTakesAWholeTwoByteLocation)
{
    Memory m("page0", 0, 0xFF, rom, false, false, "");
    m.setWidthBits(16);
    m.allocate("one", 1, false, 1);
    EXPECT_EQ(m.getScnSize("one"), 2u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{1, 0xFF}}));
}

TEST(MemoryAllocate, AlignmentSkipsAnOddStart)
{
    Memory m = byteBank(0, 9);
    m.allocate("first", 0, 1, false); // hole 1..9, 9 bytes
    // The skipped location costs one byte: 8 bytes fit, 9 do not.
    EXPECT_TRUE(m.canFit(uint32_t(8), uint16_t(2)));
    EXPECT_FALSE(m.canFit(uint32_t(9), uint16_t(2)));
    EXPECT_TRUE(m.canFit(uint32_t(9), uint16_t(1)));

    m.allocate("even", 4, false, 2);
    EXPECT_EQ(m.getScnStart("even"), 2u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{1, 1}, {6, 9}}));
}

TEST(MemoryAllocate, AlignmentOnTwoByteLocationsNeverOverrunsTheHole)
{
    // Hole 1..2 holds 4 bytes; aligned at 2 only one location (2 bytes) is
    // left, so 3 bytes must not fit.
    Memory m("page", 0, 2, rom, false, false, "");
    m.setWidthBits(16);
    m.allocate("first", 0, 2, false);
    EXPECT_FALSE(m.canFit(uint32_t(3), uint16_t(2)));
    EXPECT_TRUE(m.canFit(uint32_t(2), uint16_t(2)));
    m.allocate("even", 2, false, 2);
    EXPECT_EQ(m.getScnStart("even"), 2u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{1, 1}}));
}

TEST(MemoryAllocate, FixedStartInTheMiddleSplitsTheHole)
{
    Memory m = byteBank(0x20, 0x7F);
    m.allocate("mid", 0x40, 0x10, false);
    EXPECT_EQ(m.getScnStart("mid"), 0x40u);
    EXPECT_EQ(m.getScnSize("mid"), 0x10u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0x20, 0x3F}, {0x50, 0x7F}}));
}

TEST(MemoryAllocate, FixedStartAtEitherEndLeavesOneHole)
{
    Memory m = byteBank(0x20, 0x7F);
    m.allocate("low", 0x20, 0x10, false);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0x30, 0x7F}}));
    m.allocate("high", 0x70, 0x10, false);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0x30, 0x6F}}));
}

TEST(MemoryAllocate, FixedStretchCrossingAnAllocatedRangeDoesNotFit)
{
    Memory m = byteBank(0, 0x3F);
    m.allocate("mid", 0x10, 0x10, false);
    EXPECT_FALSE(m.canFit(uint32_t(0x08), uint32_t(0x10)));
    EXPECT_FALSE(m.canFit(uint32_t(0x40), uint32_t(1)));
    EXPECT_TRUE(m.canFit(uint32_t(0x20), uint32_t(0x20)));
}

TEST(MemoryAllocate, FixedFitTestsNeverWrap)
{
    Memory m = byteBank(0xFFFFFF00, 0xFFFFFFFF);
    EXPECT_TRUE(m.canFit(uint32_t(0xFFFFFFFC), uint32_t(4)));
    EXPECT_FALSE(m.canFit(uint32_t(0xFFFFFFFF), uint32_t(4)));
    EXPECT_FALSE(m.canFit(uint32_t(0xFFFFFF00), uint32_t(0xFFFFFFFF)));

    Memory w("page", 0x10, 0x1F, rom, false, false, "");
    w.setWidthBits(14);
    // 0xFFFFFFFF bytes are 0x80000000 locations: start + count wraps in 32 bits.
    EXPECT_FALSE(w.canFit(uint32_t(0x80000010), uint32_t(0xFFFFFFFF)));
    EXPECT_FALSE(w.canFit(uint32_t(0x10), uint32_t(0xFFFFFFFF)));
}

TEST(MemoryAllocate, ZeroLengthTakesNoLocation)
{
    Memory m = byteBank(0, 0x0F);
    m.allocate("mid", 4, 4, false); // holes 0..3, 8..15
    m.allocate("empty", 0, false, 1);
    EXPECT_TRUE(m.isAllocated("empty"));
    EXPECT_EQ(m.getScnStart("empty"), 0u);
    EXPECT_EQ(m.getScnSize("empty"), 0u);
    // The smallest hole was taken and came back whole, at the end.
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{8, 15}, {0, 3}}));

    m.allocate("emptyFixed", 0x30, 0, false);
    EXPECT_EQ(m.getScnStart("emptyFixed"), 0x30u);
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{8, 15}, {0, 3}}));
}

TEST(MemoryAllocate, LargestHoleAfterAllocations)
{
    Memory m = byteBank(0, 99);
    m.allocate("a", 30, 10, false);
    EXPECT_EQ(m.largestHole(), 60u);
    m.allocate("b", 60, false, 1);
    EXPECT_EQ(m.largestHole(), 30u);
    m.allocate("c", 30, false, 1);
    EXPECT_EQ(m.largestHole(), 0u);
    EXPECT_FALSE(m.canFit(uint32_t(1), uint16_t(1)));
}

TEST(MemoryLoad, RelocatablePartsFollowEachOther)
{
    Memory m = byteBank(0x100, 0x1FF);
    m.allocate(".data", 10, false, 1);
    m.load(0, "a.o", ".data", 4);
    EXPECT_FALSE(m.allLoaded());
    m.load(1, "b.o", ".data", 6);
    EXPECT_EQ(m.getLoadStart(0, ".data"), 0x100u);
    EXPECT_EQ(m.getLoadSize(0, ".data"), 4u);
    EXPECT_EQ(m.getLoadStart(1, ".data"), 0x104u);
    EXPECT_EQ(m.getLoadSize(1, ".data"), 6u);
    EXPECT_TRUE(m.getAllocated().at(".data").loadComplete());
    EXPECT_TRUE(m.allLoaded());
}

TEST(MemoryLoad, PartsOnTwoByteLocationsCountLocations)
{
    Memory m("page", 0, 0xFF, rom, false, false, "");
    m.setWidthBits(14);
    m.allocate(".code", 10, false, 1); // 5 locations
    m.load(0, "a.o", ".code", 4);
    m.load(1, "b.o", ".code", 6);
    EXPECT_EQ(m.getLoadStart(1, ".code"), 2u);
    EXPECT_TRUE(m.allLoaded());
}

TEST(MemoryLoad, OverlayPartsShareTheStart)
{
    Memory m = byteBank(0x20, 0x7F);
    m.allocate("ovr", 6, true, 1);
    m.load(0, "a.o", "ovr", 4);
    m.load(1, "b.o", "ovr", 6);
    EXPECT_EQ(m.getLoadStart(0, "ovr"), 0x20u);
    EXPECT_EQ(m.getLoadStart(1, "ovr"), 0x20u);
    EXPECT_FALSE(m.getAllocated().at("ovr").loadComplete());
    EXPECT_FALSE(m.allLoaded());
}

TEST(MemoryLoad, AbsoluteLoadRecordsTheWholeRange)
{
    Memory m("page", 0, 0xFF, rom, false, false, "");
    m.setWidthBits(14);
    m.allocate("abs", 0x10, 3, false); // 2 locations, 4 bytes
    m.load(0, "a.o", "abs", 0x10, 3);
    EXPECT_EQ(m.getLoadStart(0, "abs"), 0x10u);
    EXPECT_EQ(m.getLoadSize(0, "abs"), 4u);
    EXPECT_TRUE(m.allLoaded());
}

TEST(MemoryLoad, InputsWithOneNameAreKeptApart)
{
    Memory m = byteBank(0, 0xFF);
    m.allocate(".data", 8, false, 1);
    m.load(3, "util.o", ".data", 5);
    EXPECT_TRUE(m.isLoaded(3, ".data"));
    EXPECT_FALSE(m.isLoaded(4, ".data"));
    EXPECT_FALSE(m.isLoaded(3, ".other"));
    m.load(4, "util.o", ".data", 3);
    EXPECT_EQ(m.getLoadStart(3, ".data"), 0u);
    EXPECT_EQ(m.getLoadStart(4, ".data"), 5u);
    EXPECT_EQ(m.getLoadSize(4, ".data"), 3u);
}

TEST(MemoryLoad, ZeroLengthRangeCompletesOnFirstLoad)
{
    Memory m = byteBank(0, 0xFF);
    m.allocate("empty", 0, false, 1);
    m.load(0, "a.o", "empty", 0);
    m.load(1, "b.o", "empty", 0);
    EXPECT_EQ(m.getLoadStart(1, "empty"), 0u);
    EXPECT_TRUE(m.allLoaded());
}

TEST(MemoryHoles, VisitedInListOrderNotAddressOrder)
{
    Memory m = byteBank(0, 99, true);
    m.allocate("fixed", 50, 10, false);
    m.allocate("five", 5, false, 1);
    m.allocate("forty", 40, false, 1);
    std::vector<Stretch> seen;
    m.forEachHole([&](const Memory &mem, uint32_t first, uint32_t last, const std::string &fill) {
        EXPECT_EQ(&mem, &m);
        EXPECT_EQ(fill, "0x1234");
        seen.push_back({first, last});
    });
    EXPECT_EQ(seen, (std::vector<Stretch>{{65, 99}, {40, 49}}));
}

TEST(MemoryHoles, NothingWithoutFillOrWithoutHoles)
{
    Memory plain = byteBank(0, 9);
    int calls = 0;
    auto count = [&](const Memory &, uint32_t, uint32_t, const std::string &) { ++calls; };
    plain.forEachHole(count);
    EXPECT_EQ(calls, 0);

    Memory full = byteBank(0, 9, true);
    full.allocate("all", 10, false, 1);
    full.forEachHole(count);
    EXPECT_EQ(calls, 0);
}

TEST(MemoryHoles, SortIsStableBySize)
{
    Memory m = byteBank(0, 99);
    m.allocate("a", 10, 5, false);  // holes 0..9, 15..99
    m.allocate("b", 30, 10, false); // holes 0..9, 15..29, 40..99
    m.allocate("c", 60, 30, false); // holes 0..9, 15..29, 40..59, 90..99
    m.sortHoles();
    EXPECT_EQ(holes(m), (std::vector<Stretch>{{0, 9}, {90, 99}, {15, 29}, {40, 59}}));
}

TEST(MemSizeOrder, SmallerFirst)
{
    Memory a, b, c;
    std::vector<MemSize> v{MemSize(&a, 0x80000000u), MemSize(&b, 4), MemSize(&c, 0x100)};
    std::sort(v.begin(), v.end(), lessBySize);
    EXPECT_EQ(v[0].cMemory, &b);
    EXPECT_EQ(v[1].cMemory, &c);
    EXPECT_EQ(v[2].cMemory, &a);
    MemSize none;
    EXPECT_EQ(none.cMemory, nullptr);
    EXPECT_EQ(none.cSize, 0u);
}

TEST(MemoryUsage, EmptyMemoryWithHeaderAndHighAddresses)
{
    Memory m("gpr1", 0x10000, 0x1FFFF, ram, false, false, "");
    m.setWidthBits(8);
    std::ostringstream out;
    m.printUsage(out, true);
    EXPECT_EQ(out.str(),
              "    Memory      Start        End              Section    Address Size(Bytes)\n"
              " ---------  ---------  ---------            ---------  ---------  ---------\n"
              "      gpr1     0x0000     0xffff                                           \n"
              "\n");
}

TEST(MemoryUsage, SectionsInAddressOrderNameOnFirstRowOnly)
{
    Memory m("page0", 0, 0x7FF, rom, false, false, "");
    m.setWidthBits(14);
    m.allocate("zeta", 0x000, 4, false);
    m.allocate("alpha", 0x100, 0x20, false);
    std::ostringstream out;
    m.printUsage(out, false);
    EXPECT_EQ(out.str(),
              "     page0     0x0000     0x07ff                 zeta     0x0000     0x0004\n"
              "                                                alpha     0x0100     0x0020\n"
              "\n");
}

