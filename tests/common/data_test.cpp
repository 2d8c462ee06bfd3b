// The byte buffer: ownership, deep copies, appending, the hex dump and zero
// fill with its budget; and the address order of section name and address
// pairs.

#include "data.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <new>
#include <sstream>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(const Data &d) { return std::vector<uint8_t>(d.data(), d.data() + d.size()); }

std::string printed(const Data &d)
{
    std::ostringstream out;
    d.print(out);
    return out.str();
}

// A Data holding the bytes 1, 2, ... n.
Data counting(uint32_t n)
{
    std::vector<uint8_t> b(n);
    for (uint32_t i = 0; i < n; ++i)
        b[i] = uint8_t(i + 1);
    return Data(n, b.data());
}

} // namespace

TEST(DataMake, EmptyBuffersOwnNothing)
{
    uint8_t src[2] = {1, 2};
    for (const Data &d : {Data(), Data(0, src), Data(0)}) {
        EXPECT_EQ(d.size(), 0u);
        EXPECT_EQ(d.data(), nullptr);
    }
}

TEST(DataMake, CopiesSourceOrFillsWithZeros)
{
    uint8_t src[3] = {0xAA, 0xBB, 0xCC};
    Data copied(3, src);
    src[0] = 0;
    EXPECT_EQ(bytesOf(copied), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(bytesOf(Data(4)), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(DataCopy, CopiesAreDeep)
{
    Data a = counting(3);
    Data b(a);
    b.data()[0] = 9;
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2, 3}));

    Data c = counting(5);
    c = a;
    c.data()[1] = 9;
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{1, 9, 3}));
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2, 3}));

    c = Data();
    EXPECT_EQ(c.size(), 0u);
    EXPECT_EQ(c.data(), nullptr);
}

TEST(DataCopy, AssigningToItselfKeepsTheBytes)
{
    Data a = counting(2);
    Data &alias = a;
    a = alias;
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2}));
}

TEST(DataAppend, JoinsBothBuffers)
{
    Data a = counting(2);
    a.append(counting(3));
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2, 1, 2, 3}));
    a.append(a);
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2, 1, 2, 3, 1, 2, 1, 2, 3}));
}

TEST(DataAppend, EmptyOtherLeavesTheBufferInPlace)
{
    Data a = counting(2);
    const uint8_t *before = a.data();
    a.append(Data());
    EXPECT_EQ(a.data(), before);
    EXPECT_EQ(a.size(), 2u);
}

TEST(DataAppend, ToEmptyGivesAnOwnCopy)
{
    Data a;
    Data b = counting(2);
    a.append(b);
    EXPECT_NE(a.data(), b.data());
    EXPECT_EQ(bytesOf(a), (std::vector<uint8_t>{1, 2}));
}

TEST(DataPrint, GroupsOfFourAndLinesOf32)
{
    EXPECT_EQ(printed(Data()), "\n");
    EXPECT_EQ(printed(counting(4)), "01020304\n");
    EXPECT_EQ(printed(counting(5)), "01020304 05\n");
    uint8_t high[2] = {0xAB, 0x0F};
    EXPECT_EQ(printed(Data(2, high)), "ab0f\n");
    EXPECT_EQ(printed(counting(32)), "01020304 05060708 090a0b0c 0d0e0f10 11121314 15161718 191a1b1c 1d1e1f20\n");
    EXPECT_EQ(printed(counting(33)),
              "01020304 05060708 090a0b0c 0d0e0f10 11121314 15161718 191a1b1c 1d1e1f20 \n"
              "21\n");
}

TEST(DataZeroFill, IsBuiltOnlyWhenAskedForWithinOneBudget)
{
    // Copies, at(), the dump and appending read zero fill without building
    // it; fill() builds it until the run's budget is spent and leaves what
    // would pass it unbuilt; data() on that is exhausted memory.
    Data::resetZeroFillBudget();
    Data huge = Data::zeroFill(0xFFFFFFFFu), copy(huge), assigned = counting(3);
    assigned = huge;
    EXPECT_TRUE(copy.isZeroFill() && assigned.isZeroFill());
    EXPECT_EQ(assigned.size(), 0xFFFFFFFFu);
    EXPECT_EQ(copy.at(0xFFFFFFFEu), 0);
    EXPECT_EQ(printed(Data::zeroFill(5)), "00000000 00\n");
    Data joined = counting(2);
    joined.append(Data::zeroFill(2));
    EXPECT_EQ(bytesOf(joined), (std::vector<uint8_t>{1, 2, 0, 0}));

    Data most = Data::zeroFill(uint32_t(Data::ZERO_FILL_BUDGET - 10)), more = Data::zeroFill(11);
    EXPECT_EQ(bytesOf(most).size(), Data::ZERO_FILL_BUDGET - 10);
    EXPECT_FALSE(more.fill());
    EXPECT_TRUE(more.isZeroFill());
    EXPECT_THROW(more.data(), std::bad_alloc);
    EXPECT_TRUE(Data::zeroFill(10).fill());
    Data::resetZeroFillBudget();
    EXPECT_TRUE(more.fill());
}

TEST(ScnAddrOrder, SortsByAddressAlone)
{
    std::vector<ScnAddr> list = {ScnAddr(".a", 0x300), ScnAddr(".b", 0x20), ScnAddr(".c", 0x100),
                                 ScnAddr(".d", 0x80000000u)};
    std::sort(list.begin(), list.end());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, ".b");
    EXPECT_EQ(list[1].name, ".c");
    EXPECT_EQ(list[2].name, ".a");
    EXPECT_EQ(list[3].address, 0x80000000u); // unsigned: the highest address

    EXPECT_FALSE(ScnAddr("z", 5) < ScnAddr("a", 5));
    EXPECT_FALSE(ScnAddr("a", 5) > ScnAddr("z", 5));
    EXPECT_TRUE(ScnAddr("a", 6) > ScnAddr("z", 5));

    ScnAddr none;
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.address, 0u);
}
