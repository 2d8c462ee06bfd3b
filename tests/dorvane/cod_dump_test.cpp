// The printers of the COD records and the dump of a whole model.

#include "cod.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

template <class Record> std::string dumpOf(const Record &r)
{
    std::ostringstream out;
    printRecord(out, r);
    return out.str();
}

// The lines of a directory whose fields are all zero but those given.
std::string directoryText(const std::map<size_t, uint16_t> &index, const std::string &middle,
                          const std::string &tail)
{
    std::string text = "Directory: \n";
    for (size_t k = 0; k < 128; ++k)
        text += "   Index[" + std::to_string(k) + "]=" + std::to_string(index.count(k) ? index.at(k) : 0) + "\n";
    return text + middle + tail;
}

} // namespace

TEST(CodDump, SymbolWithItsTypeName)
{
    EXPECT_EQ(dumpOf(Symbol("main", 46, 16)),
              "Symbol:    NameLen=4,  Name=main,  SymbolType=46,  SymbolValue=16, <address>\n");
    EXPECT_EQ(dumpOf(Symbol("twelve_chars", 0, 65535)),
              "Symbol:    NameLen=12,  Name=twelve_chars,  SymbolType=0,  SymbolValue=65535, <a_reg>\n");
    // The first and last names of the table, and the first code past it.
    EXPECT_EQ(dumpOf(Symbol("k", 47, 0)), "Symbol:    NameLen=1,  Name=k,  SymbolType=47,  SymbolValue=0, <constant>\n");
    EXPECT_EQ(dumpOf(Symbol("b", 151, 1)), "Symbol:    NameLen=1,  Name=b,  SymbolType=151,  SymbolValue=1, <bit_7>\n");
    EXPECT_EQ(dumpOf(Symbol("b", 152, 1)),
              "Symbol:    NameLen=1,  Name=b,  SymbolType=152,  SymbolValue=1, <bad type>\n");
    EXPECT_EQ(dumpOf(Symbol("b", 99, 1)),
              "Symbol:    NameLen=1,  Name=b,  SymbolType=99,  SymbolValue=1, <PtrF_int_none>\n");
}

TEST(CodDump, LongSymbolWithItsTypeName)
{
    LongSymbol s;
    s.NameLen = 14;
    s.Name = "a_longer_label";
    s.Type = 47;
    s.Value = 70000;
    EXPECT_EQ(dumpOf(s), "LongSymbol:    NameLen=14,  Type=47,  Value=70000,  Name= a_longer_label, <constant>\n");
    s.Type = 300;
    s.Value = 0xFFFFFFFF;
    EXPECT_EQ(dumpOf(s),
              "LongSymbol:    NameLen=14,  Type=300,  Value=4294967295,  Name= a_longer_label, <bad type>\n");
}

TEST(CodDump, TableEntriesOnOneLine)
{
    EXPECT_EQ(dumpOf(SourceName("dir/main.asm")), "SourceName:    FileNameLen=12,  FileName=dir/main.asm\n");
    EXPECT_EQ(dumpOf(LineInfo(3, 0x80, 120, 0x1FE)), "LineInfo:    FileNum=3,  Flags=128,  Line=120,  CodeAddress=510\n");
    EXPECT_EQ(dumpOf(MemoryMap(0x10, 0xFFFF)), "MemoryMap:    Start=16,  Last=65535\n");
    EXPECT_EQ(dumpOf(DebugMsg(0x12345, 'C', 4, "stop")), "DebugMsg:    Address=74565,  Type=67,  MsgLen=4,  Msg= stop\n");
}

TEST(CodDump, LocalGroupEnclosesItsSymbols)
{
    LocalGroup g(0x100, 0x1FF, {Symbol("i", 47, 1), Symbol("j", 46, 2)});
    EXPECT_EQ(dumpOf(g), "LocalGroup----{   StartAddr=256,  EndAddr=511\n"
                         "Symbol:    NameLen=1,  Name=i,  SymbolType=47,  SymbolValue=1, <constant>\n"
                         "Symbol:    NameLen=1,  Name=j,  SymbolType=46,  SymbolValue=2, <address>\n"
                         "}----LocalGroup\n");
    EXPECT_EQ(dumpOf(LocalGroup(1, 2, {})), "LocalGroup----{   StartAddr=1,  EndAddr=2\n}----LocalGroup\n");
}

TEST(CodDump, BlockPrintsItsSizeAndBytes)
{
    Block b;
    b.data()[0] = 0xAB;
    b.data()[36] = 0x01;
    b.data()[511] = 0xFF;
    std::string zeroLine = "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 ";
    std::string expected = "Block: \n--sizeof(Block)=512\n";
    expected += "ab000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 \n";
    expected += "00000000 01000000 00000000 00000000 00000000 00000000 00000000 00000000 \n";
    for (int line = 2; line < 15; ++line)
        expected += zeroLine + "\n";
    expected += "00000000 00000000 00000000 00000000 00000000 00000000 00000000 000000ff\n";
    EXPECT_EQ(dumpOf(b), expected);
}

TEST(CodDump, DirectoryFieldsOnePerLine)
{
    Directory d;
    d.Index[0] = 3;
    d.Index[127] = 65535;
    d.setSource("t.cod");
    d.setDate("05Mar24");
    d.Time = 905;
    d.setVersion("DORVANE v2.20.00");
    d.setNotice("notice");
    d.SymTab = 4;
    d.SymEnd = 5;
    d.NamTab = 6;
    d.NamEnd = 7;
    d.LineTab = 8;
    d.LineEnd = 9;
    d.AddrSize = 2;
    d.HighAddr = 1;
    d.NextDir = 2;
    d.MemMapOfs = 10;
    d.MemMapEnd = 11;
    d.LocalVars = 12;
    d.LocalEnd = 13;
    d.setProcessor("dev14a");
    d.LSymTab = 14;
    d.LSymEnd = 15;
    d.MessTab = 16;
    d.MessEnd = 17;
    EXPECT_EQ(dumpOf(d), directoryText({{0, 3}, {127, 65535}},
                                       "   SourceLen=5\n"
                                       "   Source=t.cod\n"
                                       "   DateLen=7\n"
                                       "   Date=05Mar24\n"
                                       "   Time=905\n"
                                       "   VersionLen=16\n"
                                       "   Version=DORVANE v2.20.00\n"
                                       "   CompilerLen=0\n"
                                       "   Compiler=\n"
                                       "   NoticeLen=6\n"
                                       "   Notice=notice\n"
                                       "   SymTab=4\n"
                                       "   SymEnd=5\n"
                                       "   NamTab=6\n"
                                       "   NamEnd=7\n"
                                       "   LineTab=8\n"
                                       "   LineEnd=9\n"
                                       "   AddrSize=2\n"
                                       "   HighAddr=1\n"
                                       "   NextDir=2\n",
                                       "   MemMapOfs=10\n"
                                       "   MemMapEnd=11\n"
                                       "   LocalVars=12\n"
                                       "   LocalEnd=13\n"
                                       "   CodType=1\n"
                                       "   ProcessorLen=6\n"
                                       "   Processor=dev14a\n"
                                       "   LSymTab=14\n"
                                       "   LSymEnd=15\n"
                                       "   MessTab=16\n"
                                       "   MessEnd=17\n"
                                       "   Spare=\n"));
}

TEST(CodDump, DirectoryTextsNeverRunPastTheirFields)
{
    // Lengths and bytes as a broken file may hold them.
    Directory d;
    d.SourceLen = 200;
    std::fill(d.Source, d.Source + sizeof d.Source, 's');
    d.ProcessorLen = 9;
    std::fill(d.Processor, d.Processor + sizeof d.Processor, 'p');
    std::fill(d.Spare, d.Spare + sizeof d.Spare, 'x');
    std::string text = dumpOf(d);
    EXPECT_NE(text.find("\n   Source=" + std::string(63, 's') + "\n"), std::string::npos);
    EXPECT_NE(text.find("\n   Processor=pppppppp\n"), std::string::npos);
    EXPECT_NE(text.find("\n   Spare=" + std::string(42, 'x') + "\n"), std::string::npos);
}

TEST(CodDump, ModelListsDirectoriesThenTablesThenCode)
{
    Cod cod;
    cod.addDirectory();
    cod.addDirectory();
    cod.cLineInfo[0].push_back(LineInfo(0, 0x80, 1, 0));
    cod.cLineInfo[0].push_back(LineInfo(0, 0x00, 1, 2));
    cod.cMemoryMap[1].push_back(MemoryMap(0, 3));
    cod.cCodeBlock[1][3] = Block();
    cod.cCodeBlock[1][1] = Block();
    std::ostringstream out;
    cod.dump(out);

    std::string zeroBlock = dumpOf(Block());
    std::string expected = "Directory[0]=" + dumpOf(cod.cDirectory[0]) + "Directory[1]=" + dumpOf(cod.cDirectory[1]) +
                           "LineInfoTable[0]=\n"
                           "LineInfo:    FileNum=0,  Flags=128,  Line=1,  CodeAddress=0\n"
                           "LineInfo:    FileNum=0,  Flags=0,  Line=1,  CodeAddress=2\n"
                           "LineInfoTable[1]=\n"
                           "MemoryMapList[0]=\n"
                           "MemoryMapList[1]=\n"
                           "MemoryMap:    Start=0,  Last=3\n"
                           "RawDataMap[0]=\n"
                           "RawDataMap[1]=\n"
                           "Code Index=1\n" +
                           zeroBlock + "Code Index=3\n" + zeroBlock;
    EXPECT_EQ(out.str(), expected);
    // Directory 1 knows its window.
    EXPECT_NE(out.str().find("Directory[1]=Directory: \n"), std::string::npos);
    EXPECT_NE(dumpOf(cod.cDirectory[1]).find("\n   HighAddr=1\n"), std::string::npos);
}
