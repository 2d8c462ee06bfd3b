// The librarian's commands, run as the built program on objects made by the
// fixture builder: console text, exit codes and library bytes. Library
// bytes are assembled here field by field from the member header layout:
// name + "/" + blanks (256), date digits + NULs (12), size digits + NULs
// (10), 0x60 0x0A.

#include "archive.h"
#include "archiver.h"
#include "coffbuilder.h"
#include "diag.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kBanner = librarianBanner() + "\n" + noticeBanner() + "\n\n";
const std::string kOk = "Errors    : 0\nWarnings  : 0\n\n";
const std::string kOneError = "Errors    : 1\nWarnings  : 0\n\n";
const Bytes kMagic = {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};

// 20 + 16 + 40 (one section header) + 4 raw bytes + 18 (one symbol) + 4
// (string-table length) = 102 bytes.
CoffBuilder objA()
{
    return CoffBuilder().timeStamp(1000000000).section(".code", SCN_CODE, {1, 2, 3, 4}).symbol("alpha", 0, ".code", C_EXT);
}
// 76 + 2 + 18 + 4 = 100 bytes.
CoffBuilder objB()
{
    return CoffBuilder().section(".data", SCN_IDATA, {0xAA, 0xBB}).symbol("beta", 0, ".data", C_EXT);
}
// A new a.o: 76 + 6 + 18 + 4 = 104 bytes.
CoffBuilder objA2()
{
    return CoffBuilder().timeStamp(1234567890).section(".code", SCN_CODE, {9, 9, 9, 9, 9, 9}).symbol("alpha", 0, ".code", C_EXT);
}
// 76 + 1 + 18 + 4 = 99 bytes.
CoffBuilder objC()
{
    return CoffBuilder().timeStamp(1000000000).section(".code", SCN_CODE, {0x55}).symbol("gamma", 0, ".code", C_EXT);
}

// An object without symbols can stand in a library more than once:
// 20 + 16 + 40 + 1 + 4 (string-table length) = 81 bytes.
CoffBuilder objN()
{
    return CoffBuilder().section(".code", SCN_CODE, {7});
}

Bytes header(const std::string &name, const std::string &date, const std::string &size)
{
    Bytes h(280, 0);
    std::string field = name + "/";
    field.resize(256, ' ');
    std::copy(field.begin(), field.end(), h.begin());
    std::copy(date.begin(), date.end(), h.begin() + 256);
    std::copy(size.begin(), size.end(), h.begin() + 268);
    h[278] = 0x60;
    h[279] = 0x0A;
    return h;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

ToolResult quessel(const TempDir &dir, const std::vector<std::string> &args)
{
    return runTool(QUESSEL_EXE, args, dir.path());
}

// The dates in the listings are local times; the tests pin the zone.
class Librarian : public testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        dir.write("a.o", objA().bytes());
        dir.write("b.o", objB().bytes());
        dir.write("c.o", objC().bytes());
    }

    // l.lib holding b.o then a.o.
    Bytes twoMembers() const
    {
        return cat({kMagic, header("b.o", "0", "100"), objB().bytes(), header("a.o", "1000000000", "102"),
                    objA().bytes()});
    }

    void makeTwoMembers()
    {
        ToolResult r = quessel(dir, {"/c", "l.lib", "b.o", "a.o"});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_EQ(dir.read("l.lib"), twoMembers());
    }

    TempDir dir;
};

} // namespace

TEST_F(Librarian, ObjectImagesHaveTheirWorkedOutLengths)
{
    EXPECT_EQ(objA().bytes().size(), 102u);
    EXPECT_EQ(objB().bytes().size(), 100u);
    EXPECT_EQ(objA2().bytes().size(), 104u);
    EXPECT_EQ(objC().bytes().size(), 99u);
}

TEST_F(Librarian, CreateWritesMembersInGivenOrderAndListShowsThem)
{
    ToolResult r = quessel(dir, {"/c", "l.lib", "b.o", "a.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner + kOk);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());

    r = quessel(dir, {"-T", "l.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner +
                            "Member: 'b.o'                      Size: 100    Date: Thu Jan  1 00:00:00 1970 \n"
                            "Member: 'a.o'                      Size: 102    Date: Sun Sep  9 01:46:40 2001 \n" +
                            kOk);
}

TEST_F(Librarian, CreateWithoutMembersWritesOnlyTheMagicAndListsNothing)
{
    ToolResult r = quessel(dir, {"/c", "e.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read("e.lib"), kMagic);
    r = quessel(dir, {"/t", "e.lib", "ignored.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner + kOk);
}

TEST_F(Librarian, QuietBeforeTheCommandRunsItSilently)
{
    ToolResult r = quessel(dir, {"-q", "/c", "l.lib", "b.o", "a.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
    r = quessel(dir, {"/Q", "/t", "l.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "");
}

TEST_F(Librarian, ListQuotesNamesWithinTwentyFiveColumnsAndNeverFormatsThem)
{
    dir.write("a%s%n%d.o", objB().bytes());
    std::string longName = "a_rather_long_object_name.o"; // 27 characters, 29 quoted
    dir.write(longName, objA().bytes());
    ASSERT_EQ(quessel(dir, {"/c", "l.lib", "a%s%n%d.o", longName}).exitCode, 0);
    // Control characters of a name reach the console escaped: no escape sequence, no summary line.
    dir.write("l.lib", cat({dir.read("l.lib"), header("\x1b[2J\rErrors    : 0\n\x7f.o", "0", "81"), objN().bytes()}));
    ToolResult r = quessel(dir, {"/t", "l.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner +
                            "Member: 'a%s%n%d.o'                Size: 100    Date: Thu Jan  1 00:00:00 1970 \n"
                            "Member: 'a_rather_long_object_name.o'  Size: 102    Date: Sun Sep  9 01:46:40 2001 \n"
                            "Member: '\\x1b[2J\\x0dErrors    : 0\\x0a\\x7f.o'  Size: 81     Date: Thu Jan  1 00:00:00 1970 \n" +
                            kOk);
}

TEST_F(Librarian, CreateStopsAtAnUnreadableObjectAndKeepsTheOldLibrary)
{
    makeTwoMembers();
    ToolResult r = quessel(dir, {"/c", "l.lib", "c.o", "missing.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - Could not open Coff file 'missing.o' for reading.\n" + kOneError);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
}

TEST_F(Librarian, ForeignLayoutObjectIsNotStored)
{
    // f_opthdr (offset 16) of 0 marks the foreign layout: the reader counts
    // an error for the missing optional header. Without sections the rest
    // of the image reads alike in both layouts.
    Bytes img = CoffBuilder().symbol("zeta", 5, -1, C_EXT).bytes();
    img[16] = 0;
    img[17] = 0;
    dir.write("f.o", img);

    ToolResult r = quessel(dir, {"/c", "n.lib", "a.o", "f.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error - Coff file 'f.o' missing optional file header.\n"), std::string::npos) << r.output;
    EXPECT_FALSE(dir.exists("n.lib"));

    makeTwoMembers();
    r = quessel(dir, {"/r", "l.lib", "f.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error - Coff file 'f.o' missing optional file header.\n"), std::string::npos) << r.output;
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
}

TEST_F(Librarian, SymbolDefinedTwiceWritesNothing)
{
    makeTwoMembers();
    dir.write("a2.o", objA2().bytes()); // defines "alpha" as a.o does
    ToolResult r = quessel(dir, {"/c", "l.lib", "a.o", "a2.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - Symbol 'alpha' has multiple external definitions.\n" + kOneError);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
}

TEST_F(Librarian, ReplaceAppendsNewAndReplacesExistingInPlace)
{
    makeTwoMembers();
    ToolResult r = quessel(dir, {"/r", "l.lib", "c.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner + kOk);
    Bytes three = cat({twoMembers(), header("c.o", "1000000000", "99"), objC().bytes()});
    EXPECT_EQ(dir.read("l.lib"), three);

    // The new a.o takes the old one's place, second of three.
    dir.write("a.o", objA2().bytes());
    r = quessel(dir, {"/r", "l.lib", "a.o"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(dir.read("l.lib"),
              cat({kMagic, header("b.o", "0", "100"), objB().bytes(), header("a.o", "1234567890", "104"),
                   objA2().bytes(), header("c.o", "1000000000", "99"), objC().bytes()}));
}

TEST_F(Librarian, ReplaceWithoutNamesRewritesUnchangedAndNeedsALibrary)
{
    makeTwoMembers();
    ToolResult r = quessel(dir, {"/r", "l.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());

    r = quessel(dir, {"/r", "none.lib", "a.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - Could not open library file 'none.lib' for reading.\n" + kOneError);
    EXPECT_FALSE(dir.exists("none.lib"));
}

TEST_F(Librarian, ReplaceFailureSavesNoEarlierReplacement)
{
    makeTwoMembers();
    dir.write("a.o", objA2().bytes());
    ToolResult r = quessel(dir, {"/r", "l.lib", "a.o", "missing.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - Could not open Coff file 'missing.o' for reading.\n" + kOneError);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
}

TEST_F(Librarian, DeleteWithAMissingNameChangesNothing)
{
    makeTwoMembers();
    ToolResult r = quessel(dir, {"/d", "l.lib", "a.o", "x.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - 'x.o' is not a member of library 'l.lib'.\n" + kOneError);
    EXPECT_EQ(dir.read("l.lib"), twoMembers());
}

TEST_F(Librarian, DuplicateMembersAreKeptAndTheFirstIsFound)
{
    // Two members defining "beta" are refused.
    ToolResult r = quessel(dir, {"/c", "d.lib", "b.o", "b.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(dir.exists("d.lib"));

    Bytes n = objN().bytes();
    ASSERT_EQ(n.size(), 81u);
    dir.write("n.o", n);
    r = quessel(dir, {"/c", "d.lib", "n.o", "a.o", "n.o"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(dir.read("d.lib"), cat({kMagic, header("n.o", "0", "81"), n, header("a.o", "1000000000", "102"),
                                      objA().bytes(), header("n.o", "0", "81"), n}));

    // "/r" replaces the first n.o only.
    dir.write("n.o", objC().bytes());
    r = quessel(dir, {"/r", "d.lib", "n.o"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(dir.read("d.lib"), cat({kMagic, header("n.o", "1000000000", "99"), objC().bytes(),
                                      header("a.o", "1000000000", "102"), objA().bytes(), header("n.o", "0", "81"),
                                      n}));

    // "/d" deletes the first n.o; a name given twice needs two members.
    r = quessel(dir, {"/d", "d.lib", "n.o"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, kBanner + kOk);
    Bytes two = cat({kMagic, header("a.o", "1000000000", "102"), objA().bytes(), header("n.o", "0", "81"), n});
    EXPECT_EQ(dir.read("d.lib"), two);
    r = quessel(dir, {"/d", "d.lib", "a.o", "a.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - 'a.o' is not a member of library 'd.lib'.\n" + kOneError);
    EXPECT_EQ(dir.read("d.lib"), two);

    // Without names the library is rewritten unchanged; deleting all
    // members leaves the magic.
    r = quessel(dir, {"/d", "d.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read("d.lib"), two);
    r = quessel(dir, {"/d", "d.lib", "n.o", "a.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read("d.lib"), kMagic);
}

TEST_F(Librarian, LibraryEndingInsideAMemberIsReadButNeverWrittenBack)
{
    // twoMembers() cut inside a.o's header (at 488) or its image (at 740): "/t" and "/x" read
    // b.o with one warning; "/d" and "/r" fail and leave the library as it is.
    const std::string where = "' ends after 488 bytes, inside the header of its member 2, which starts at byte 388; ";
    const std::string warned = "Warning - Library file 'l.lib" + where + "only the members before it are read.\n";
    const std::string refused = "Error - Library file 'l.lib" + where + "it is not written back.\n" + kOneError;
    const std::string image = "Error - Coff file 'a.o' could not read string table length.\n"
                              "Error - Could not build member 'a.o' in library file 'l.lib'. \n"
                              "Error - Library file 'l.lib' ends after 740 bytes, inside its member 2 'a.o', whose "
                              "header starts at byte 388; it is not written back.\nErrors    : 3\nWarnings  : 0\n\n";
    const std::string oneWarning = "Errors    : 0\nWarnings  : 1\n\n";
    const struct
    {
        size_t size;
        std::vector<std::string> args;
        int exitCode;
        std::string output; // after the banner
    } cases[] = {
        {488, {"/t", "l.lib"}, 0,
         warned + "Member: 'b.o'                      Size: 100    Date: Thu Jan  1 00:00:00 1970 \n" + oneWarning},
        {488, {"/x", "l.lib"}, 0, warned + "Extracting member 'b.o'.\n" + oneWarning},
        {488, {"/d", "l.lib", "b.o"}, 1, refused},
        {488, {"/r", "l.lib", "c.o"}, 1, refused},
        {740, {"/d", "l.lib", "b.o"}, 1, image},
        {740, {"/r", "l.lib", "c.o"}, 1, image},
    };
    const Bytes whole = twoMembers();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " on " + std::to_string(c.size) + " bytes");
        const Bytes cut(whole.begin(), whole.begin() + ptrdiff_t(c.size));
        dir.write("l.lib", cut);
        ::unlink(dir.file("b.o").c_str());
        ToolResult r = quessel(dir, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.output, kBanner + c.output);
        EXPECT_EQ(dir.read("l.lib"), cut);
        EXPECT_EQ(dir.exists("b.o"), c.args[0] == "/x");
    }
}

TEST_F(Librarian, ExtractNamedMembersOnlyWhenAllExist)
{
    makeTwoMembers();
    TempDir out;
    std::filesystem::copy_file(dir.file("l.lib"), out.file("l.lib"));
    ToolResult r = quessel(out, {"/x", "l.lib", "a.o"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner + "Extracting member 'a.o'.\n" + kOk);
    EXPECT_EQ(out.read("a.o"), objA().bytes());
    EXPECT_EQ(out.list(), std::vector<std::string>({"a.o", "l.lib"}));
    EXPECT_EQ(out.read("l.lib"), twoMembers());

    // Every name is checked before anything is written.
    r = quessel(out, {"/x", "l.lib", "b.o", "x.o", "y.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + "Error - 'x.o' is not a member of library 'l.lib'.\n" +
                            "Error - 'y.o' is not a member of library 'l.lib'.\n" + "Errors    : 2\nWarnings  : 0\n\n");
    EXPECT_EQ(out.list(), std::vector<std::string>({"a.o", "l.lib"}));
}

TEST_F(Librarian, ExtractAllWritesEveryMemberUnderItsName)
{
    // A member made from a path keeps it, and "/x" writes it there.
    std::filesystem::create_directory(dir.file("sub"));
    dir.write("sub/c.o", objC().bytes());
    ASSERT_EQ(quessel(dir, {"/c", "l.lib", "b.o", "sub/c.o"}).exitCode, 0);

    TempDir out;
    std::filesystem::copy_file(dir.file("l.lib"), out.file("l.lib"));
    std::filesystem::create_directory(out.file("sub"));
    ToolResult r = quessel(out, {"/x", "l.lib"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, kBanner + "Extracting member 'b.o'.\nExtracting member 'sub/c.o'.\n" + kOk);
    EXPECT_EQ(out.read("b.o"), objB().bytes());
    EXPECT_EQ(out.read("sub/c.o"), objC().bytes());
    EXPECT_EQ(out.list(), std::vector<std::string>({"b.o", "l.lib", "sub"}));

    // The bare file name does not name the member made from sub/c.o.
    for (const char *cmd : {"/d", "/x"}) {
        r = quessel(out, {cmd, "l.lib", "c.o"});
        EXPECT_EQ(r.exitCode, 1) << cmd;
        EXPECT_EQ(r.output, kBanner + "Error - 'c.o' is not a member of library 'l.lib'.\n" + kOneError) << cmd;
    }
    out.write("c.o", objA2().bytes());
    r = quessel(out, {"/r", "l.lib", "c.o"});
    EXPECT_EQ(r.exitCode, 0);
    r = quessel(out, {"/t", "l.lib"});
    EXPECT_EQ(r.output, kBanner +
                            "Member: 'b.o'                      Size: 100    Date: Thu Jan  1 00:00:00 1970 \n"
                            "Member: 'sub/c.o'                  Size: 99     Date: Sun Sep  9 01:46:40 2001 \n"
                            "Member: 'c.o'                      Size: 104    Date: Fri Feb 13 23:31:30 2009 \n" +
                            kOk);
}

TEST_F(Librarian, ExtractAllRefusesNamesThatLeaveTheDirectory)
{
    // A library made elsewhere, with hand-written headers: a name with a
    // ".." component, an absolute name, one with a drive letter and one
    // that is no object file name, each beside a harmless member.
    Bytes c = objN().bytes();
    Bytes lib = cat({kMagic, header("ok.o", "0", "81"), c, header("..\\up.o", "0", "81"), c,
                     header("\\abs.o", "0", "81"), c, header("c:drive.o", "0", "81"), c, header("notes.txt", "0", "81"),
                     c, header("in\\..\\..\\deep.o", "0", "81"), c, header("bell\a.o", "0", "81"), c});
    TempDir top;
    std::filesystem::create_directory(top.file("work"));
    top.write("work/bad.lib", lib);
    ToolResult r = runTool(QUESSEL_EXE, {"/x", "bad.lib"}, top.file("work"));
    EXPECT_EQ(r.exitCode, 1);
    const std::string bell = "Error - Member 'bell\\x07.o' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n";
    EXPECT_EQ(r.output,
              kBanner +
                  "Error - Member '../up.o' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n"
                  "Error - Member '/abs.o' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n"
                  "Error - Member 'c:drive.o' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n"
                  "Error - Member 'notes.txt' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n"
                  "Error - Member 'in/../../deep.o' of library 'bad.lib' is not extracted: its name is not a relative object file name.\n"
                  + bell + "Errors    : 6\nWarnings  : 0\n\n");
    EXPECT_EQ(top.list(), std::vector<std::string>({"work"}));
    EXPECT_EQ(std::filesystem::exists("/abs.o"), false);
    EXPECT_EQ(std::vector<std::string>({"bad.lib"}), [&] {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(top.file("work")))
            names.push_back(e.path().filename().string());
        return names;
    }());

    // Named on the command line, a member is written where its name says, unless it holds a control character.
    r = runTool(QUESSEL_EXE, {"/x", "bad.lib", "../up.o"}, top.file("work"));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(top.read("up.o"), c);
    r = runTool(QUESSEL_EXE, {"/x", "bad.lib", "bell\a.o"}, top.file("work"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, kBanner + bell + kOneError);
    EXPECT_FALSE(top.exists("work/bell\a.o"));
}

TEST_F(Librarian, ExtractRefusesNamesThatLeaveTheDirectoryThroughLinks)
{
    // In work/: sub links to ../outside, d/sub to it too, and b.o to a file
    // there that does not exist yet. No refused name is written, and
    // neither is any other: the names are all checked first.
    Bytes n = objN().bytes();
    TempDir top;
    const std::string work = top.file("work");
    std::filesystem::create_directories(work + "/d");
    std::filesystem::create_directory(top.file("outside"));
    std::filesystem::create_directory_symlink("../outside", work + "/sub");
    std::filesystem::create_directory_symlink(top.file("outside"), work + "/d/sub");
    std::filesystem::create_symlink("../outside/b.o", work + "/b.o");
    top.write("work/l.lib", cat({kMagic, header("ok.o", "0", "81"), n, header("sub\\a.o", "0", "81"), n,
                                 header("b.o", "0", "81"), n, header("d\\sub\\c.o", "0", "81"), n}));
    const std::string refused = "Error - Member '%' of library 'l.lib' is not extracted: ";
    auto error = [&](const std::string &member, const std::string &why) {
        std::string text = refused;
        return text.replace(text.find('%'), 1, member) + why + ".\n";
    };
    const std::string subLink = error("sub/a.o", "its directory 'sub' is a symbolic link");
    const std::string fileLink = error("b.o", "its file is a symbolic link");
    const std::string deepLink = error("d/sub/c.o", "its directory 'd/sub' is a symbolic link");
    const struct
    {
        std::vector<std::string> args;
        std::string errors;
        int count;
    } cases[] = {
        {{"/x", "l.lib"}, subLink + fileLink + deepLink, 3},
        {{"/x", "l.lib", "sub/a.o"}, subLink, 1},
        {{"/x", "l.lib", "ok.o", "b.o"}, fileLink, 1},
        {{"/x", "l.lib", "d/sub/c.o", "ok.o"}, deepLink, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.back());
        ToolResult r = runTool(QUESSEL_EXE, c.args, work);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, kBanner + c.errors + "Errors    : " + std::to_string(c.count) + "\nWarnings  : 0\n\n");
        EXPECT_TRUE(std::filesystem::is_empty(top.file("outside")));
        EXPECT_FALSE(std::filesystem::exists(work + "/ok.o"));
    }

    // A link that is not on the member's path is no reason to refuse it.
    ToolResult r = runTool(QUESSEL_EXE, {"/x", "l.lib", "ok.o"}, work);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(top.read("work/ok.o"), n);
}

TEST_F(Librarian, ExtractWalksEachNameAgainAsItWrites)
{
    // After the check, sub is swapped for a link to outside/ (met as a link and refused), or a
    // link is planted at sub/a.o (replaced by the member, never followed); ok.o stays.
    const Bytes n = objN().bytes();
    const std::string cwd = std::filesystem::current_path();
    for (const std::string swapped : {"sub", "sub/a.o"}) {
        SCOPED_TRACE(swapped);
        const bool dirSwapped = swapped == "sub";
        TempDir top;
        const std::string work = top.file("work");
        std::filesystem::create_directories(work + "/sub");
        std::filesystem::create_directory(top.file("outside"));
        top.write("work/l.lib", cat({kMagic, header("ok.o", "0", "81"), n, header("sub\\a.o", "0", "81"), n}));
        Archiver archiver;
        std::string msg;
        ASSERT_TRUE(archiver.setCommand(uint8_t(ArCommand::cmdExtract), "l.lib", {}, msg));
        auto swap = [&] {
            std::filesystem::remove(work + "/" + swapped);
            std::filesystem::create_symlink(dirSwapped ? "../outside" : "../../outside/a.o", work + "/" + swapped);
        };
        int opensOfSub = 0; // the check opens sub once, the write again
        archiver.cCalls.openAt = [&](int dir, const char *name, int flags, mode_t mode) {
            if (dirSwapped && std::string(name) == "sub" && ++opensOfSub == 2)
                swap();
            return systemCalls().openAt(dir, name, flags, mode);
        };
        archiver.cCalls.renameAt = [&](int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
            if (!dirSwapped && std::string(to) == "a.o")
                swap();
            return systemCalls().renameAt(fromDir, from, toDir, to, flags);
        };
        std::filesystem::current_path(work);
        ReportCapture capture;
        EXPECT_EQ(archiver.run(), !dirSwapped);
        std::filesystem::current_path(cwd);
        EXPECT_EQ(capture.text(), "Extracting member 'ok.o'.\nExtracting member 'sub/a.o'.\n" +
                                      std::string(dirSwapped ? "Error - Member 'sub/a.o' of library 'l.lib' is not "
                                                               "extracted: its directory 'sub' is a symbolic link.\n"
                                                             : ""));
        EXPECT_TRUE(std::filesystem::is_empty(top.file("outside")));
        EXPECT_EQ(top.read("work/ok.o"), n);
        EXPECT_EQ(top.read("work/sub/a.o"), dirSwapped ? Bytes() : n);
    }
}

TEST_F(Librarian, ExtractMakesFilesOfTheUsersOwn)
{
    // In a directory that the library's sender owns, the sender's FIFO at a member's name is
    // refused and the sender's file replaced by the user's own; the user's own file keeps its mode.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a directory and files to another user";
    const uid_t sender = 65533;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    // a.o's owner and mode, and the extracted file's mode: 0 for the FIFO, left as it is.
    const std::tuple<uid_t, mode_t, mode_t> cases[] = {{sender, 0666, 0}, {sender, 0606, 0666 & ~mask}, {0, 0604, 0604}};
    for (const auto &[owner, mode, expectedMode] : cases) {
        SCOPED_TRACE(testing::Message() << "owner " << owner << ", mode " << std::oct << mode);
        TempDir top;
        const std::string work = top.file("work"), member = top.file("work/a.o");
        std::filesystem::create_directory(work);
        top.write("work/l.lib", cat({kMagic, header("a.o", "0", "81"), objN().bytes()}));
        if (expectedMode == 0)
            ASSERT_EQ(::mkfifo(member.c_str(), 0), 0);
        else
            top.write("work/a.o", std::string("planted"));
        ASSERT_EQ(::chmod(member.c_str(), mode), 0);
        ASSERT_EQ(::lchown(member.c_str(), owner, owner), 0);
        ASSERT_EQ(::chown(work.c_str(), sender, sender), 0);
        ToolResult r = runTool(QUESSEL_EXE, {"/x", "l.lib"}, work);
        struct stat st;
        ASSERT_EQ(::lstat(member.c_str(), &st), 0);
        EXPECT_EQ(r.exitCode, expectedMode == 0 ? 1 : 0) << r.output;
        if (expectedMode == 0) {
            EXPECT_EQ(r.output, kBanner + "Extracting member 'a.o'.\nError - Could not open Coff file 'a.o' for "
                                          "writing.\n" + kOneError);
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
            continue;
        }
        EXPECT_EQ(top.read("work/a.o"), objN().bytes());
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_mode & 07777, expectedMode);
    }
}

TEST_F(Librarian, WrittenLibraryReadsBackWithItsMembersAndIndex)
{
    ASSERT_EQ(quessel(dir, {"/c", "l.lib", "b.o", "a.o", "c.o"}).exitCode, 0);
    std::unique_ptr<Archive> ar = Archive::make(dir.file("l.lib"));
    ASSERT_TRUE(ar);
    ASSERT_EQ(ar->cMembers.size(), 3u);
    const Bytes images[] = {objB().bytes(), objA().bytes(), objC().bytes()};
    const char *names[] = {"b.o", "a.o", "c.o"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ar->cMembers[i]->name(), names[i]);
        std::ostringstream img;
        ASSERT_TRUE(ar->cMembers[i]->write(img, 0));
        std::string s = img.str();
        EXPECT_EQ(Bytes(s.begin(), s.end()), images[i]) << names[i];
    }
    ASSERT_EQ(ar->cSymbols.size(), 3u);
    EXPECT_EQ(ar->cSymbols.at("alpha"), ar->cMembers[1].get());
    EXPECT_EQ(ar->cSymbols.at("beta"), ar->cMembers[0].get());
    EXPECT_EQ(ar->cSymbols.at("gamma"), ar->cMembers[2].get());
}
