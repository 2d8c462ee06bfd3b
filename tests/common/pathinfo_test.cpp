// Splitting paths into drive, directory, name and extension; the existence
// tests; and the file-name classes decided by extension.

#include "pathinfo.h"
#include "tooltest.h"

#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

// Runs a test body in another working directory and returns to the old one.
class InDirectory
{
public:
    explicit InDirectory(const std::string &dir)
    {
        char buf[4096];
        if (getcwd(buf, sizeof buf))
            cOld = buf;
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { EXPECT_EQ(chdir(cOld.c_str()), 0); }

private:
    std::string cOld;
};

} // namespace

TEST(PathInfoSplit, DriveDirectoryNameAndExtension)
{
    PathInfo p("c:\\work\\app.o");
    EXPECT_EQ(p.path(), "c:\\work\\");
    EXPECT_EQ(p.name(), "app.o");
    EXPECT_EQ(p.baseName(), "app");
    EXPECT_EQ(p.ext(), ".o");
    EXPECT_EQ(p.fullName(), "c:\\work\\app.o");
    EXPECT_TRUE(p.hasPath());
    EXPECT_TRUE(p.hasName());
}

TEST(PathInfoSplit, DriveWithoutDirectoryIsDropped)
{
    PathInfo p("c:app.o");
    EXPECT_EQ(p.path(), "c:");
    EXPECT_FALSE(p.hasPath());
    EXPECT_EQ(p.fullName(), "app.o");
}

TEST(PathInfoSplit, LastDotOfTheLastComponent)
{
    PathInfo p("lib/x.tar.o");
    EXPECT_EQ(p.path(), "lib/");
    EXPECT_EQ(p.baseName(), "x.tar");
    EXPECT_EQ(p.ext(), ".o");

    PathInfo q("v1.2/readme");
    EXPECT_EQ(q.path(), "v1.2/");
    EXPECT_EQ(q.baseName(), "readme");
    EXPECT_EQ(q.ext(), "");
}

TEST(PathInfoSplit, BothSeparatorsAndTheLastOneWins)
{
    PathInfo a("a/b\\c.o");
    EXPECT_EQ(a.path(), "a/b\\");
    EXPECT_EQ(a.name(), "c.o");
    PathInfo b("/abs\\dir/c");
    EXPECT_EQ(b.path(), "/abs\\dir/");
    EXPECT_EQ(b.name(), "c");
    PathInfo c("dir/");
    EXPECT_TRUE(c.hasPath());
    EXPECT_FALSE(c.hasName());
    EXPECT_EQ(c.name(), "");
}

TEST(PathInfoSplit, LeadingDotNameIsAllExtension)
{
    PathInfo p("src/.hidden");
    EXPECT_EQ(p.baseName(), "");
    EXPECT_EQ(p.ext(), ".hidden");
    EXPECT_EQ(p.name(), ".hidden");
    EXPECT_FALSE(p.hasName());
}

TEST(PathInfoSplit, LongPartsAreKeptWhole)
{
    std::string dir(300, 'd');
    std::string base(300, 'b');
    std::string ext = "." + std::string(300, 'e');
    PathInfo p(dir + "/" + base + ext);
    EXPECT_EQ(p.path(), dir + "/");
    EXPECT_EQ(p.baseName(), base);
    EXPECT_EQ(p.ext(), ext);

    PathInfo q("c:" + std::string(400, 'n'));
    EXPECT_EQ(q.path(), "c:");
    EXPECT_EQ(q.name(), std::string(400, 'n'));
}

TEST(PathInfoExists, FilesAndDirectories)
{
    TempDir dir;
    dir.write("app.o", std::string("x"));
    dir.write(".o", std::string("x"));

    EXPECT_TRUE(PathInfo(dir.file("app.o")).fileExists());
    EXPECT_TRUE(PathInfo(dir.file("app.o")).pathExists());
    EXPECT_FALSE(PathInfo(dir.file("other.o")).fileExists());
    EXPECT_FALSE(PathInfo(dir.file("none/app.o")).pathExists());
    // A name without a file-name part never exists.
    EXPECT_FALSE(PathInfo(dir.file(".o")).fileExists());
    // No directory part: no path to exist.
    EXPECT_FALSE(PathInfo("app.o").pathExists());
    // '\\' separates directories where a name is opened, as where it is split.
    EXPECT_TRUE(PathInfo(dir.path() + "\\app.o").fileExists());
    EXPECT_EQ(hostPath("sub\\deep\\a.o"), "sub/deep/a.o");
    EXPECT_EQ(hostPath("c:\\x/y"), "c:/x/y");

    EXPECT_TRUE(DirInfo(dir.path()).dirExists());
    EXPECT_FALSE(DirInfo(dir.file("app.o")).dirExists());
    EXPECT_FALSE(DirInfo("").dirExists());
}

TEST(PathInfoExists, BareNameAndDriveOnlyLookInTheCurrentDirectory)
{
    TempDir dir;
    dir.write("app.o", std::string("x"));
    InDirectory here(dir.path());
    EXPECT_TRUE(PathInfo("app.o").fileExists());
    EXPECT_TRUE(PathInfo("c:app.o").fileExists());
    EXPECT_FALSE(PathInfo("c:/app.o").fileExists());
}

TEST(PathInfoPrint, PartsAndAnswersOnePerLine)
{
    std::ostringstream out;
    PathInfo("nodir/a.o").print(out);
    EXPECT_EQ(out.str(), "path()='nodir/' \n"
                         "name()='a.o' \n"
                         "ext()='.o' \n"
                         "fullName()='nodir/a.o' \n"
                         "hasName()=1\n"
                         "hasPath()=1\n"
                         "pathExists()=0\n"
                         "fileExists()=0\n");

    std::ostringstream dirOut;
    DirInfo("nodir/").print(dirOut);
    EXPECT_EQ(dirOut.str(), "name()='nodir/' \ndirExists()=0\n");
}

TEST(FileNameClasses, ObjectFiles)
{
    EXPECT_TRUE(isObjectFile("A.O"));
    EXPECT_TRUE(isObjectFile("x.o"));
    EXPECT_TRUE(isObjectFile("_dir/x.o")); // only the last component counts
    EXPECT_FALSE(isObjectFile(".o"));
    EXPECT_FALSE(isObjectFile("_a.o"));
    EXPECT_FALSE(isObjectFile("dir/_a.o"));
    EXPECT_FALSE(isObjectFile("x.obj"));
    EXPECT_FALSE(isObjectFile("x.lib"));
}

TEST(FileNameClasses, Libraries)
{
    EXPECT_TRUE(isLibraryFile("a.lib"));
    EXPECT_TRUE(isLibraryFile("B.LIB"));
    EXPECT_TRUE(isLibraryFile("libs\\c.Lib"));
    EXPECT_FALSE(isLibraryFile(".lib"));
    EXPECT_FALSE(isLibraryFile("x.lb"));
    EXPECT_FALSE(isLibraryFile("-a.lib"));
}

TEST(FileNameClasses, ValidNamesAndNumbers)
{
    EXPECT_TRUE(isValidFileName("a"));
    EXPECT_TRUE(isValidFileName("9.lkr"));
    EXPECT_TRUE(isValidFileName("_dir/a"));
    EXPECT_FALSE(isValidFileName("_a"));
    EXPECT_FALSE(isValidFileName("dir/"));
    EXPECT_FALSE(isValidFileName(".lkr"));

    EXPECT_TRUE(isNumber("007"));
    EXPECT_FALSE(isNumber(""));
    EXPECT_FALSE(isNumber("12x"));
    EXPECT_FALSE(isNumber("-1"));
}
