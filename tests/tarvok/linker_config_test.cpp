// The Linker's configuration callbacks: defaults, the checks that refuse a
// setting with its exact message, and what an accepted setting records.

#include "linker.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

Memory codePage(const std::string &name, uint32_t start, uint32_t end)
{
    return Memory(name, start, end, rom, false, false, "");
}

Memory bank(const std::string &name, uint32_t start, uint32_t end)
{
    return Memory(name, start, end, ram, false, false, "");
}

// Lets a test set the processor widths that the link run would find.
class WidthLinker : public Linker
{
public:
    void setWidths(uint16_t romBits, uint16_t ramBits)
    {
        cRomWidthBits = romBits;
        cRamWidthBits = ramBits;
    }
};

} // namespace

TEST(LinkerDefaults, AfterConstruction)
{
    Linker l;
    EXPECT_EQ(l.getMinHeapSize(), 0x20u);
    EXPECT_EQ(l.getStackDesc().getSize(), 0u);
    EXPECT_EQ(l.getStackDesc().getRunMemory(), "");
    EXPECT_FALSE(l.isStackDeclared());
    EXPECT_EQ(l.getMapFile(), "");
    EXPECT_EQ(l.getOutputFile(), "");
    EXPECT_EQ(l.getStrip(), 0u);
    EXPECT_TRUE(l.getObjectFiles().empty());
    EXPECT_TRUE(l.getCodePages().empty());
}

TEST(LinkerSettings, SecondHeapNamesBothSizesInDecimal)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.setMinHeapSize(0x40, err));
    EXPECT_FALSE(l.setMinHeapSize(0x100, err));
    EXPECT_EQ(err, "multiple min heap sizes declared: '64', '256'");
    EXPECT_EQ(l.getMinHeapSize(), 64u);
}

TEST(LinkerSettings, SecondOutputAndMapFileAreRefused)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.setOutputFile("first.out", err));
    EXPECT_FALSE(l.setOutputFile("second.out", err));
    EXPECT_EQ(err, "multiple output files declared: 'first.out', 'second.out'");
    ASSERT_TRUE(l.setMapFile("a.map", err));
    EXPECT_FALSE(l.setMapFile("b.map", err));
    EXPECT_EQ(err, "multiple map files declared: 'a.map', 'b.map'");
    EXPECT_EQ(l.getOutputFile(), "first.out");
    EXPECT_EQ(l.getMapFile(), "a.map");
}

TEST(LinkerSettings, InputsComparedAsWritten)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addObjectFile("main.o", err));
    ASSERT_TRUE(l.addObjectFile("./main.o", err)); // another path: accepted
    EXPECT_FALSE(l.addObjectFile("main.o", err));
    EXPECT_EQ(err, "mutliple inclusion of object file 'main.o' ");
    ASSERT_TRUE(l.addLibraryFile("rt.lib", err));
    EXPECT_FALSE(l.addLibraryFile("rt.lib", err));
    EXPECT_EQ(err, "mutliple inclusion of library file 'rt.lib' ");
    EXPECT_EQ(l.getObjectFiles(), (std::vector<std::string>{"main.o", "./main.o"}));
    EXPECT_EQ(l.getLibraryFiles(), (std::vector<std::string>{"rt.lib"}));
}

TEST(LinkerSettings, LibPathsRepeatAndStripIsRecorded)
{
    Linker l;
    std::string err;
    EXPECT_TRUE(l.addLibPath("lib", err));
    EXPECT_TRUE(l.addLibPath("lib", err));
    EXPECT_EQ(l.getLibPaths().size(), 2u);
    EXPECT_TRUE(l.setStrip(1, err));
    EXPECT_EQ(l.getStrip(), 1u);
}


TEST(LinkerMemories, OverlapFoundInsideAndAroundExistingRegions)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addCodePage(codePage("mid", 0x100, 0x1FF), err));
    EXPECT_FALSE(l.addCodePage(codePage("around", 0x000, 0xFFF), err));
    EXPECT_EQ(err, "memory 'around' overlaps memory 'mid' ");
    EXPECT_FALSE(l.addCodePage(codePage("inside", 0x180, 0x180), err));
    EXPECT_EQ(err, "memory 'inside' overlaps memory 'mid' ");
    EXPECT_FALSE(l.addCodePage(codePage("tail", 0x1FF, 0x2FF), err));
    EXPECT_EQ(err, "memory 'tail' overlaps memory 'mid' ");
    EXPECT_TRUE(l.addCodePage(codePage("after", 0x200, 0x2FF), err));
    EXPECT_TRUE(l.addCodePage(codePage("before", 0x000, 0x0FF), err));
}

TEST(LinkerMemories, BankOverlapSearchesDataThenShareThenAccess)
{
    // The access bank lies lowest and was defined first, yet the data bank
    // is named: DATABANKs are searched first.
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addAccessBank(bank("acc", 0x00, 0x5F), err));
    ASSERT_TRUE(l.addShareBank(bank("shr", 0x60, 0x6F), err));
    ASSERT_TRUE(l.addDataBank(bank("gpr", 0x70, 0xFF), err));
    EXPECT_FALSE(l.addDataBank(bank("big", 0x00, 0x1FF), err));
    EXPECT_EQ(err, "memory 'big' overlaps memory 'gpr' ");
    EXPECT_FALSE(l.addAccessBank(bank("low", 0x50, 0x67), err));
    EXPECT_EQ(err, "memory 'low' overlaps memory 'shr' ");
}

TEST(LinkerMemories, ProgramAndDataSpacesAreSeparateButNamesAreNot)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addCodePage(codePage("page0", 0x0000, 0x07FF), err));
    EXPECT_TRUE(l.addDataBank(bank("gpr0", 0x0000, 0x007F), err));
    EXPECT_FALSE(l.addDataBank(bank("page0", 0x0100, 0x017F), err));
    EXPECT_EQ(err, "duplicate definition of memory 'page0' ");
    EXPECT_FALSE(l.addCodePage(codePage("gpr0", 0x1000, 0x17FF), err));
    EXPECT_EQ(err, "duplicate definition of memory 'gpr0' ");
    EXPECT_FALSE(l.addAccessBank(bank("gpr0", 0x300, 0x3FF), err));
    EXPECT_EQ(err, "duplicate definition of memory 'gpr0' ");
}


TEST(LinkerMemories, ShareBankMayNotReuseAnotherKindsName)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addDataBank(bank("gpr0", 0x20, 0x6F), err));
    EXPECT_FALSE(l.addShareBank(bank("gpr0", 0x70, 0x7F), err));
    EXPECT_EQ(err, "duplicate definition of memory 'gpr0' ");
    ASSERT_TRUE(l.addShareBank(bank("shr", 0x70, 0x7F), err));
    EXPECT_FALSE(l.addDataBank(bank("shr", 0xA0, 0xAF), err));
    EXPECT_EQ(err, "duplicate definition of memory 'shr' ");
}

TEST(LinkerSections, MemoriesMustBeDefinedFirst)
{
    Linker l;
    std::string err;
    EXPECT_FALSE(l.addSectionDesc(SectionDesc("isr", "page0", ""), err));
    EXPECT_EQ(err, "undefined CODEPAGE 'page0' for SECTION 'isr' ");
    ASSERT_TRUE(l.addCodePage(codePage("page0", 0, 0x7FF), err));
    ASSERT_TRUE(l.addDataBank(bank("gpr0", 0x20, 0x7F), err));
    EXPECT_FALSE(l.addSectionDesc(SectionDesc("vars", "", "page0"), err));
    EXPECT_EQ(err, "undefined DATABANK/SHAREBANK 'page0' for SECTION 'vars' ");
    EXPECT_FALSE(l.addSectionDesc(SectionDesc("vars", "gpr0", ""), err));
    EXPECT_EQ(err, "undefined CODEPAGE 'gpr0' for SECTION 'vars' ");
    EXPECT_TRUE(l.addSectionDesc(SectionDesc("isr", "page0", "gpr0"), err));
    EXPECT_FALSE(l.addSectionDesc(SectionDesc("isr", "page0", ""), err));
    EXPECT_EQ(err, "duplicate definitions of SECTION 'isr' ");
    EXPECT_EQ(l.getSectionDescs().size(), 1u);
}

TEST(LinkerSections, StackInAnyKindOfBankOnce)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addCodePage(codePage("page0", 0, 0x7FF), err));
    EXPECT_FALSE(l.setStackDesc(StackDesc(0x10, "page0"), err));
    EXPECT_EQ(err, "undefined DATABANK/SHAREBANK 'page0' for STACK. ");
    EXPECT_FALSE(l.isStackDeclared());
    ASSERT_TRUE(l.addAccessBank(bank("acc", 0x00, 0x5F), err));
    EXPECT_TRUE(l.setStackDesc(StackDesc(0x10, "acc"), err));
    EXPECT_EQ(l.getStackDesc().getSize(), 0x10u);
    EXPECT_EQ(l.getStackDesc().getRunMemory(), "acc");
    EXPECT_FALSE(l.setStackDesc(StackDesc(0x20, ""), err));
    EXPECT_EQ(err, "multiple STACK definitions ");
}


TEST(LinkerRun, NeverReportsSuccessWithoutAnOutput)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addObjectFile("main.o", err));
    EXPECT_FALSE(l.link(err));
    EXPECT_FALSE(err.empty());
}

TEST(LinkerWidths, BytesPerLocation)
{
    WidthLinker l;
    l.setWidths(14, 8);
    EXPECT_EQ(l.bytesPerWord(rom), 2u);
    EXPECT_EQ(l.bytesPerWord(ram), 1u);
    l.setWidths(8, 16);
    EXPECT_EQ(l.bytesPerWord(rom), 1u);
    EXPECT_EQ(l.bytesPerWord(ram), 2u);
}

TEST(LinkerWidths, RegionsTooLargeInBytesAreRefused)
{
    // 0x80000000 locations of 2 bytes are 0x100000000 bytes.
    WidthLinker l;
    std::string err;
    ASSERT_TRUE(l.addCodePage(codePage("small", 0, 0x7FFFFFFE), err));
    ASSERT_TRUE(l.addDataBank(bank("huge", 0, 0x7FFFFFFF), err));
    l.setWidths(16, 8);
    EXPECT_TRUE(l.checkMemorySizes(err));
    l.setWidths(16, 16);
    EXPECT_FALSE(l.checkMemorySizes(err));
    EXPECT_EQ(err, "memory 'huge' is too large: its size in bytes does not fit in 32 bits.");
}

TEST(LinkerPrint, SettingsOneALine)
{
    Linker l;
    std::string err;
    ASSERT_TRUE(l.addObjectFile("a.o", err));
    ASSERT_TRUE(l.addLibPath("lib", err));
    ASSERT_TRUE(l.setOutputFile("x.out", err));
    std::ostringstream out;
    l.print(out);
    EXPECT_EQ(out.str(),
              "Linker:\n"
              "  cMinHeapSize=32\n"
              "  cStackDesc=StackDesc:  cSize=0x00000000, cRunMemory=\n"
              "  cMapFile=\n"
              "  cOutputFile=x.out\n"
              "  cObjectFile[0]=a.o\n"
              "  cLibPath[0]=lib\n"
              "  cStrip=0\n");
}
