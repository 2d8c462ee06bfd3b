// Finding and reading the inputs, and taking library members into the link.

#include "linkerfixture.h"

#include "diag.h"
#include "tooltest.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Runs a test body in another working directory and returns to the old one.
class InDirectory
{
public:
    explicit InDirectory(const std::string &dir)
    {
        char buf[4096];
        SUITE_ASSERT(getcwd(buf, sizeof buf));
        cOld = buf;
        SUITE_ASSERT(chdir(dir.c_str()) == 0);
    }
    ~InDirectory() { (void)chdir(cOld.c_str()); }

private:
    std::string cOld;
};

void makeDirs(const TempDir &dir, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        std::filesystem::create_directories(dir.file(n));
}

// An object that defines each name of defs in ".code" and refers to each
// name of refs.
CoffBuilder module(const std::string &name, const std::vector<std::string> &defs,
                   const std::vector<std::string> &refs = {})
{
    CoffBuilder b = objectFor(TEST_CORE14, name).section(".code", SCN_CODE, {0, 0});
    for (const std::string &d : defs)
        b.symbol(d, 0, ".code", C_EXT);
    for (const std::string &r : refs)
        b.symbol(r, 0, int16_t(0), C_EXT);
    return b;
}

} // namespace

// ---------------------------------------------------------------- locating

TEST(LinkerLoadObjects, SearchesLibraryPathThenCurrentDirectory)
{
    TempDir dir;
    makeDirs(dir, {"one", "two"});
    dir.write("one/a.o", module("a.o", {"x"}).bytes());
    dir.write("two/a.o", module("a.o", {"x"}).bytes());
    dir.write("two/b.o", module("b.o", {"y"}).bytes());
    dir.write("c.o", module("c.o", {"z"}).bytes());
    InDirectory here(dir.path());

    TestLinker l;
    l.cLibPath = {dir.file("one"), dir.file("two") + "/"};
    l.cObjectFile = {"a.o", "b.o", "c.o"};
    std::string err;
    ASSERT_TRUE(l.loadObjectFiles(err)) << err;
    // The first directory that holds the name wins; no separator is doubled.
    EXPECT_EQ(l.cObjectFile, (std::vector<std::string>{dir.file("one") + "/a.o", dir.file("two") + "/b.o", "./c.o"}));
    EXPECT_EQ(l.inputNames(), l.cObjectFile);
}


TEST(LinkerLoadObjects, MissingFileStopsBeforeAnyIsRead)
{
    TempDir dir;
    dir.write("a.o", module("a.o", {"x"}).bytes());
    dir.write("c.o", std::string("not an object at all"));
    TestLinker l;
    l.cLibPath = {dir.path()};
    l.cObjectFile = {"a.o", "b.o", "c.o"};
    uint32_t errors = errorCount();
    std::string err;
    EXPECT_FALSE(l.loadObjectFiles(err));
    EXPECT_EQ(err, "could not find file 'b.o'.");
    EXPECT_TRUE(l.cCoff.empty());
    // c.o was never read, so its reader reported nothing.
    EXPECT_EQ(errorCount(), errors);
    // The name found before the failure is already replaced.
    EXPECT_EQ(l.cObjectFile[0], dir.path() + "/a.o");
}


TEST(LinkerLoadObjects, UnreadableOrFaultyObjectLeavesMessageToReader)
{
    TempDir dir;
    dir.write("a.o", module("a.o", {"x"}).bytes());
    dir.write("bad.o", std::string("not an object at all"));
    // A relocation that names slot 5 of a one-slot symbol table.
    dir.write("faulty.o", objectFor(TEST_CORE14, "faulty.o")
                              .section(".code", SCN_CODE, {0, 0})
                              .symbol("x", 0, ".code", C_EXT)
                              .relocIndex(".code", 0, 5, 1)
                              .bytes());
    for (const char *second : {"bad.o", "faulty.o"}) {
        TestLinker l;
        l.cObjectFile = {dir.file("a.o"), dir.file(second)};
        uint32_t errors = errorCount();
        std::string err;
        EXPECT_FALSE(l.loadObjectFiles(err)) << second;
        EXPECT_EQ(err, "") << second;
        EXPECT_EQ(errorCount(), errors + 1) << second;
        // The object read before it stays; the faulty one is dropped.
        EXPECT_EQ(l.inputNames(), (std::vector<std::string>{dir.file("a.o")})) << second;
    }
}


// ---------------------------------------------------------------- import

TEST(LinkerImport, AlphabeticallyFirstUndefinedNameEachStep)
{
    // main needs z and m; m's member needs a. Each step takes the first
    // undefined name in order, so a (which appears only after m is in)
    // comes before z.
    TestLinker l;
    l.addInput(module("main.o", {"main"}, {"z", "m"}));
    l.addLibrary("one.lib", ArchiveBuilder()
                                .member("z.o", module("z.o", {"z"}))
                                .member("m.o", module("m.o", {"m"}, {"a"}))
                                .member("a.o", module("a.o", {"a"})));
    std::string err;
    EXPECT_TRUE(l.importLibraryMembers(err));
    EXPECT_EQ(l.inputNames(), (std::vector<std::string>{"main.o", "m.o", "a.o", "z.o"}));
}

TEST(LinkerImport, CapitalsSortFirstAndFirstLibraryWins)
{
    TestLinker l;
    l.addInput(module("main.o", {}, {"b", "a", "Zed"}));
    l.addLibrary("one.lib", ArchiveBuilder().member("b1.o", module("b1.o", {"b"})).member("z1.o", module("z1.o", {"Zed"})));
    l.addLibrary("two.lib", ArchiveBuilder()
                                .member("a2.o", module("a2.o", {"a"}))
                                .member("b2.o", module("b2.o", {"b"}))
                                .member("z2.o", module("z2.o", {"Zed"})));
    std::string err;
    EXPECT_TRUE(l.importLibraryMembers(err));
    EXPECT_EQ(l.inputNames(), (std::vector<std::string>{"main.o", "z1.o", "a2.o", "b1.o"}));
}

TEST(LinkerImport, MemberDefiningSeveralNeedsIsTakenOnce)
{
    TestLinker l;
    l.addInput(module("main.o", {}, {"b", "a"}));
    l.addLibrary("one.lib", ArchiveBuilder().member("b.o", module("b.o", {"b"})));
    l.addLibrary("two.lib", ArchiveBuilder().member("ab.o", module("ab.o", {"a", "b"})));
    std::string err;
    EXPECT_TRUE(l.importLibraryMembers(err));
    EXPECT_EQ(l.inputNames(), (std::vector<std::string>{"main.o", "ab.o"}));
}


TEST(LinkerImport, DefinedOrUnknownNamesImportNothing)
{
    TestLinker l;
    // x is referenced and defined among the objects; nobody defines w.
    l.addInput(module("main.o", {}, {"x", "w"}));
    l.addInput(module("x.o", {"x"}));
    l.addLibrary("one.lib", ArchiveBuilder().member("x.o", module("libx.o", {"x"})));
    std::string err;
    EXPECT_TRUE(l.importLibraryMembers(err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(l.inputNames(), (std::vector<std::string>{"main.o", "x.o"}));
}

TEST(LinkerImport, NameBehindFalseAuxCountIsStillSeen)
{
    // A symbol that claims an auxiliary slot it has no kind for: the slot
    // after it is a symbol of its own, here the definition of "wanted".
    // The member must be taken once and count as defining "wanted".
    CoffBuilder member = objectFor(TEST_CORE14, "odd.o").section(".code", SCN_CODE, {0, 0});
    member.symbol("plain", 0, ".code", C_STAT).symbol("wanted", 0, ".code", C_EXT);
    Coff odd = member.coff();
    odd.cSymbols[0].n_numaux = 1;
    TestLinker l;
    l.addInput(module("main.o", {}, {"wanted"}));
    l.addLibrary("one.lib", ArchiveBuilder().member("odd.o", odd));
    std::string err;
    EXPECT_TRUE(l.importLibraryMembers(err));
    EXPECT_EQ(l.inputNames(), (std::vector<std::string>{"main.o", "odd.o"}));
}


