// SECTION and STACK descriptions: identity by name or size, and their dumps.

#include "sectiondesc.h"
#include "stackdesc.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(SectionDescCompare, SameNameIsEqualWhateverTheMemories)
{
    SectionDesc a("isr", "page0", "");
    SectionDesc b("isr", "", "gpr0");
    SectionDesc c("main", "page0", "");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    EXPECT_TRUE(a < c);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
}

TEST(SectionDescPrint, OneLine)
{
    std::ostringstream out;
    SectionDesc("isr", "page0", "gpr0").print(out);
    EXPECT_EQ(out.str(), "SectionDesc:  cName=isr, cLoadMemory=page0, cRunMemory=gpr0\n");
}

TEST(StackDescPrint, SizeAsEightHexDigits)
{
    std::ostringstream out;
    StackDesc(64, "gpr1").print(out);
    EXPECT_EQ(out.str(), "StackDesc:  cSize=0x00000040, cRunMemory=gpr1\n");
}

TEST(StackDescCompare, BySizeUnsigned)
{
    EXPECT_TRUE(StackDesc(4, "a") == StackDesc(4, "b"));
    EXPECT_TRUE(StackDesc(4, "") < StackDesc(0x80000000u, ""));
    StackDesc none;
    EXPECT_EQ(none.getSize(), 0u);
    EXPECT_EQ(none.getRunMemory(), "");
}
