// The command-line and command-file reader on inputs it accepts: what each
// directive and switch hands to the Linker, in which order, and how files
// are found. (Refused inputs end the process; the whole-program tests in
// tarvok_cli_test.cpp cover them.)

#include "parser.h"

#include "tooltest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs a test inside a scratch directory, since command files are searched
// in the current directory first.
class InDir
{
public:
    explicit InDir(const std::string &dir)
    {
        char buf[4096];
        cOld = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDir() { (void)!chdir(cOld.c_str()); }

private:
    std::string cOld;
};

void parseArgs(Parser &p, Linker &l, std::vector<std::string> args)
{
    args.insert(args.begin(), "tarvok");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    p.parseCommandLine(int(argv.size()), argv.data(), l);
}

// Reads the command file t.lkr holding the text given, from inside the
// scratch directory that holds it.
void readCommandFile(Parser &p, Linker &l, const std::string &text)
{
    TempDir dir;
    dir.write("t.lkr", text);
    InDir in(dir.path());
    p.parseCommandFile("t.lkr", l);
}

// Parses the command line inside a scratch directory that holds the command
// file t.lkr with the text given.
void parseArgsBeside(Parser &p, Linker &l, const std::string &text, std::vector<std::string> args)
{
    TempDir dir;
    dir.write("t.lkr", text);
    InDir in(dir.path());
    parseArgs(p, l, std::move(args));
}

using Strings = std::vector<std::string>;

} // namespace

TEST(CommandFileNames, ClassifiedByExtensionIgnoringCase)
{
    EXPECT_TRUE(isCommandFile("a.lkr"));
    EXPECT_TRUE(isCommandFile("X.LKR"));
    EXPECT_TRUE(isCommandFile("dir/9.Lkr"));
    EXPECT_FALSE(isCommandFile(".lkr"));
    EXPECT_FALSE(isCommandFile("_a.lkr"));
    EXPECT_FALSE(isCommandFile("a.lk"));
    EXPECT_FALSE(isCommandFile("a.lkrx"));
    EXPECT_FALSE(isValidPath(""));
    EXPECT_TRUE(isValidPath("no/such/dir"));
}

TEST(CommandFileText, CommentsCutAtFirstDoubleSlash)
{
    EXPECT_EQ(stripComment("FILES a.o // b.o"), "FILES a.o ");
    EXPECT_EQ(stripComment("LIBPATH \"x//y\""), "LIBPATH \"x");
    EXPECT_EQ(stripComment("// all"), "");
    EXPECT_EQ(stripComment("a / b"), "a / b");
}

TEST(CommandFileFill, HexadecimalWidenedToWholeWords)
{
    std::string out;
    EXPECT_TRUE(padFill("0x3FF", out));
    EXPECT_EQ(out, "0x03FF");
    EXPECT_TRUE(padFill("0xFF", out));
    EXPECT_EQ(out, "0x00FF");
    EXPECT_TRUE(padFill("0x1", out));
    EXPECT_EQ(out, "0x0001");
    EXPECT_TRUE(padFill("0X12345", out));
    EXPECT_EQ(out, "0x00012345");
    EXPECT_TRUE(padFill("0X3fFf", out)); // four digits: kept as written
    EXPECT_EQ(out, "0X3fFf");
    EXPECT_TRUE(padFill("0x12345678", out));
    EXPECT_EQ(out, "0x12345678");
}

TEST(CommandFileFill, DecimalKeptAndBadHexRefused)
{
    std::string out;
    EXPECT_TRUE(padFill("65535", out));
    EXPECT_EQ(out, "65535");
    EXPECT_TRUE(padFill("0x", out)); // too short for the prefix: decimal 0
    EXPECT_EQ(out, "0x");
    EXPECT_TRUE(padFill("7", out));
    EXPECT_EQ(out, "7");
    EXPECT_FALSE(padFill("0x3G", out));
    EXPECT_FALSE(padFill("0x12-4", out));
}

TEST(CommandFileRead, PathsAndFilesOnOneLine)
{
    Parser p;
    Linker l;
    readCommandFile(p, l, "LIBPATH lib1;lib2 FILES main.o\n");
    EXPECT_EQ(l.getLibPaths(), (Strings{"lib1", "lib2"}));
    EXPECT_EQ(l.getObjectFiles(), (Strings{"main.o"}));
    EXPECT_EQ(p.getCommandFiles(), (Strings{"./t.lkr"}));
}

TEST(CommandFileRead, QuotedDirectoryKeepsItsBlank)
{
    Parser p;
    Linker l;
    readCommandFile(p, l, "LIBPATH \"my lib;other\"\nLKRPATH \"scripts dir\" FILES \"a b.o\" rt.LIB\n");
    EXPECT_EQ(l.getLibPaths(), (Strings{"my lib", "other"}));
    EXPECT_EQ(p.getSearchDirs(), (Strings{"scripts dir"}));
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a b.o"}));
    EXPECT_EQ(l.getLibraryFiles(), (Strings{"rt.LIB"}));
}

TEST(CommandFileRead, MemoriesSectionsStackAndHeap)
{
    Parser p;
    Linker l;
    readCommandFile(p, l, "// target memory\n"
                            "CODEPAGE NAME=page0 START=0 END=0x7FF FILL=0x3FF\n"
                            "CODEPAGE   NAME=vectors START=0x800 END=2111 PROTECTED\n"
                            "\n"
                            "DATABANK NAME=gpr0 START=0x20 END=0x6F\n"
                            "SHAREBANK NAME=shr START=0x70 END=0x7F\n"
                            "SHAREBANK NAME=shr START=0xF0 END=0xFF\n"
                            "ACCESSBANK NAME=acc START=0x100 END=0x15F PROTECTED\n"
                            "SECTION NAME=isr ROM=vectors RAM=gpr0\n"
                            "SECTION NAME=tables ROM=page0\n"
                            "STACK SIZE=0x20\n"
                            "HEAP MINSIZE=100\n");

    ASSERT_EQ(l.getCodePages().size(), 2u);
    const Memory &page0 = l.getCodePages()[0];
    EXPECT_EQ(page0.getName(), "page0");
    EXPECT_EQ(page0.getType(), rom);
    EXPECT_EQ(page0.size(), 2048u);
    EXPECT_TRUE(page0.hasFill());
    EXPECT_EQ(page0.getFill(), "0x03FF");
    EXPECT_FALSE(page0.isProtected());
    const Memory &vectors = l.getCodePages()[1];
    EXPECT_EQ(vectors.getStart(), 0x800u);
    EXPECT_EQ(vectors.getEnd(), 0x83Fu);
    EXPECT_TRUE(vectors.isProtected());
    EXPECT_FALSE(vectors.hasFill());

    ASSERT_EQ(l.getDataBanks().size(), 1u);
    EXPECT_EQ(l.getDataBanks()[0].getType(), ram);
    EXPECT_EQ(l.getShareBanks().size(), 2u);
    ASSERT_EQ(l.getAccessBanks().size(), 1u);
    EXPECT_TRUE(l.getAccessBanks()[0].isProtected());

    ASSERT_EQ(l.getSectionDescs().size(), 2u);
    EXPECT_EQ(l.getSectionDescs()[0].getLoadMemory(), "vectors");
    EXPECT_EQ(l.getSectionDescs()[0].getRunMemory(), "gpr0");
    EXPECT_EQ(l.getSectionDescs()[1].getName(), "tables");
    EXPECT_EQ(l.getSectionDescs()[1].getRunMemory(), "");
    EXPECT_TRUE(l.isStackDeclared());
    EXPECT_EQ(l.getStackDesc().getSize(), 0x20u);
    EXPECT_EQ(l.getStackDesc().getRunMemory(), "");
    EXPECT_EQ(l.getMinHeapSize(), 100u);
}


TEST(CommandFileRead, CommentHidesTheRestOfTheLine)
{
    Parser p;
    Linker l;
    readCommandFile(p, l, "// FILES x.o\nFILES a.o // b.o\n   \n");
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a.o"}));
}

TEST(CommandFileRead, CrLfLineEnds)
{
    Parser p;
    Linker l;
    readCommandFile(p, l, "FILES a.o\r\nCODEPAGE NAME=p START=0 END=0xFF\r\nHEAP MINSIZE=0x40\r\n");
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a.o"}));
    ASSERT_EQ(l.getCodePages().size(), 1u);
    EXPECT_EQ(l.getCodePages()[0].getEnd(), 0xFFu);
    EXPECT_EQ(l.getMinHeapSize(), 0x40u);
}

TEST(CommandFileRead, LongLinesAreReadWhole)
{
    // Far beyond any fixed line buffer; the line after it is read too.
    std::string line = "FILES";
    Strings expected;
    for (int i = 0; i < 600; ++i) {
        std::string name = "module" + std::to_string(i) + ".o";
        line += " " + name;
        expected.push_back(name);
    }
    expected.push_back("last.o");
    Parser p;
    Linker l;
    readCommandFile(p, l, line + "\nFILES last.o\n");
    EXPECT_EQ(l.getObjectFiles(), expected);
}

TEST(CommandFileInclude, IncludedFileTakesEffectWhereNamed)
{
    TempDir dir;
    dir.write("top.lkr", "FILES a.o\nINCLUDE mid.lkr tail.lkr\nFILES d.o\n");
    dir.write("mid.lkr", "FILES b.o\n");
    dir.write("tail.lkr", "FILES c.o\n");
    InDir in(dir.path());
    Parser p;
    Linker l;
    p.parseCommandFile("top.lkr", l);
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a.o", "b.o", "c.o", "d.o"}));
    EXPECT_EQ(p.getCommandFiles(), (Strings{"./top.lkr", "./mid.lkr", "./tail.lkr"}));
}

TEST(CommandFileSearch, CurrentDirectoryThenSearchDirectoriesInOrder)
{
    TempDir dir;
    dir.write("main.lkr", "LKRPATH one;two/\nINCLUDE shared.lkr deep.lkr local.lkr\n");
    ASSERT_EQ(mkdir(dir.file("one").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("two").c_str(), 0755), 0);
    dir.write("one/shared.lkr", "FILES one.o\n");
    dir.write("two/shared.lkr", "FILES two.o\n");
    dir.write("two/deep.lkr", "FILES deep.o\n");
    dir.write("two/local.lkr", "FILES wrong.o\n");
    dir.write("local.lkr", "FILES local.o\n");
    InDir in(dir.path());
    Parser p;
    Linker l;
    p.parseCommandFile("main.lkr", l);
    EXPECT_EQ(l.getObjectFiles(), (Strings{"one.o", "deep.o", "local.o"}));
    EXPECT_EQ(p.getCommandFiles(), (Strings{"./main.lkr", "one/shared.lkr", "two/deep.lkr", "./local.lkr"}));
}

TEST(CommandFileSearch, NameWithDirectoryIsTakenAsWritten)
{
    TempDir dir;
    dir.write("x.lkr", "FILES x.o\n");
    Parser p;
    Linker l;
    p.parseCommandFile(dir.file("x.lkr"), l);
    EXPECT_EQ(p.getCommandFiles(), (Strings{dir.file("x.lkr")}));
    EXPECT_EQ(l.getObjectFiles(), (Strings{"x.o"}));
}

TEST(CommandLine, ArgumentsTakeEffectInOrder)
{
    Parser p;
    Linker l;
    parseArgsBeside(p, l, "FILES b.o util.lib\nLIBPATH fromfile\n",
                    {"a.o", "/l", "first;second;", "t.lkr", "C.O", "-lthird", "X.LIB"});
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a.o", "b.o", "C.O"}));
    EXPECT_EQ(l.getLibraryFiles(), (Strings{"util.lib", "X.LIB"}));
    EXPECT_EQ(l.getLibPaths(), (Strings{"first", "second", "fromfile", "third"}));
}

TEST(CommandLine, SwitchFormsAndValues)
{
    Parser p;
    Linker l;
    parseArgsBeside(p, l, "", {"/Omain.out", "-M", "main.map", "/n", "0", "/aINHX32", "/d", "/sx", "t.lkr"});
    EXPECT_EQ(l.getOutputFile(), "main.out");
    EXPECT_EQ(l.getMapFile(), "main.map");
    EXPECT_EQ(l.getStrip(), 1u);
}

TEST(CommandLine, AbsolutePathsAreFilesNotSwitches)
{
    TempDir dir;
    dir.write("t.lkr", "FILES a.o\n");
    Parser p;
    Linker l;
    parseArgs(p, l, {dir.file("t.lkr"), dir.file("b.o"), "/o", dir.file("out.cof")});
    EXPECT_EQ(l.getObjectFiles(), (Strings{"a.o", dir.file("b.o")}));
    EXPECT_EQ(l.getOutputFile(), dir.file("out.cof"));
}

TEST(CommandLine, SearchDirectoryServesLaterCommandFiles)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("scripts").c_str(), 0755), 0);
    dir.write("scripts/dev.lkr", "FILES dev.o\n");
    InDir in(dir.path());
    Parser p;
    Linker l;
    parseArgs(p, l, {"-kscripts", "dev.lkr"});
    EXPECT_EQ(p.getCommandFiles(), (Strings{"scripts/dev.lkr"}));
    EXPECT_EQ(l.getObjectFiles(), (Strings{"dev.o"}));
}
