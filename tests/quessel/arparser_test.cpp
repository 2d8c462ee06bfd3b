// The librarian's command line: which arguments make a command, and the
// exact help, usage and quiet behaviour of the built program.

#include "archiver.h"
#include "arparser.h"
#include "diag.h"
#include "tooltest.h"

#include <gtest/gtest.h>

namespace {

// Records what the parser hands over, and still applies the one-command rule.
class RecordingArchiver : public Archiver
{
public:
    bool setCommand(uint8_t cmd, const std::string &archive, const std::list<std::string> &members,
                    std::string &msg) override
    {
        ++calls;
        gotCmd = cmd;
        gotArchive = archive;
        gotMembers = members;
        return Archiver::setCommand(cmd, archive, members, msg);
    }
    int calls = 0;
    uint8_t gotCmd = 0xFF;
    std::string gotArchive;
    std::list<std::string> gotMembers;
};

void parseArgs(std::vector<const char *> args, RecordingArchiver &ar)
{
    args.insert(args.begin(), "quessel");
    ArParser().parse(int(args.size()), args.data(), ar);
}

const std::string kBanner = librarianBanner() + "\n" + noticeBanner() + "\n\n";

const std::string kHelp = "Syntax:   quessel [/q] /{ctdrxh} LIBRARY [MEMBER...]  \n"
                          "  /q      : quiet mode                       \n"
                          "  /c      : create library LIBRARY           \n"
                          "  /t      : list library LIBRARY             \n"
                          "  /d      : delete MEMBER from LIBRARY       \n"
                          "  /r      : add or replace MEMBER in LIBRARY \n"
                          "  /x      : extract MEMBER from LIBRARY      \n"
                          "  /h, /?  : show this help screen            \n"
                          "\n";

std::string oneError(const std::string &msg)
{
    return kBanner + "Error - " + msg + "\nErrors    : 1\nWarnings  : 0\n\n";
}

ToolResult quessel(const TempDir &dir, const std::vector<std::string> &args)
{
    return runTool(QUESSEL_EXE, args, dir.path());
}

} // namespace

TEST(ArParserParse, EachCommandLetterInEitherCaseAndWithEitherPrefix)
{
    struct Case {
        const char *sw;
        ArCommand cmd;
    } cases[] = {{"/c", ArCommand::cmdCreate}, {"-T", ArCommand::cmdList},  {"/D", ArCommand::cmdDelete},
                 {"-r", ArCommand::cmdReplace}, {"/X", ArCommand::cmdExtract}, {"-C", ArCommand::cmdCreate}};
    for (const auto &c : cases) {
        RecordingArchiver ar;
        parseArgs({c.sw, "lib.lib", "a.o"}, ar);
        EXPECT_EQ(ar.calls, 1) << c.sw;
        EXPECT_EQ(ar.gotCmd, uint8_t(c.cmd)) << c.sw;
        EXPECT_EQ(ar.gotArchive, "lib.lib") << c.sw;
        EXPECT_EQ(ar.gotMembers, std::list<std::string>({"a.o"})) << c.sw;
    }
}

TEST(ArParserParse, NamesPassedExactlyInOrderWithDuplicates)
{
    RecordingArchiver ar;
    parseArgs({"/q", "-Q", "/r", "/tmp/Sub/My.LIB", "x.o", "dir/X.O", "x.o", "/abs/dir/y.o"}, ar);
    EXPECT_EQ(ar.calls, 1);
    EXPECT_EQ(ar.gotCmd, uint8_t(ArCommand::cmdReplace));
    EXPECT_EQ(ar.gotArchive, "/tmp/Sub/My.LIB");
    EXPECT_EQ(ar.gotMembers, std::list<std::string>({"x.o", "dir/X.O", "x.o", "/abs/dir/y.o"}));
}

TEST(ArchiverSetCommand, SecondCommandRefusedAndFirstKept)
{
    Archiver ar;
    std::string msg = "untouched";
    EXPECT_TRUE(ar.setCommand(uint8_t(ArCommand::cmdDelete), "a.lib", {"x.o"}, msg));
    EXPECT_FALSE(ar.setCommand(uint8_t(ArCommand::cmdList), "b.lib", {}, msg));
    EXPECT_EQ(msg, "untouched");
    std::ostringstream out;
    ar.print(out);
    EXPECT_EQ(out.str(), "Archiver:\n  cCmd=cmdDelete\n  cArchive=a.lib\n  cMembers=\n    x.o\n  cHasCmd=1\n");
}

TEST(ArParserParseDeath, AlreadyHoldingACommandGivesUsageLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::cout.rdbuf(std::cerr.rdbuf());
            RecordingArchiver ar;
            std::string msg;
            ar.setCommand(uint8_t(ArCommand::cmdList), "a.lib", {}, msg);
            parseArgs({"/x", "b.lib"}, ar);
        },
        testing::ExitedWithCode(1),
        "^Error - Usage:  quessel \\[/q\\] /\\{ctdrx\\} LIBRARY \\[MEMBER\\.\\.\\.\\] \nErrors    : 1\n");
}

TEST(QuesselCommandLine, HelpScreens)
{
    TempDir dir;
    for (std::vector<std::string> args :
         {std::vector<std::string>{}, {"/h"}, {"-H"}, {"/?"}, {"-?"}, {"/q-"}, {"/cx", "a.lib"}, {"a.lib", "/c", "b.lib"},
          {"/z"}, {"/c/", "a.lib"}}) {
        ToolResult r = quessel(dir, args);
        std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(r.exitCode, 255) << shown;
        EXPECT_EQ(r.output, kBanner + kHelp) << shown;
    }
    EXPECT_TRUE(dir.list().empty());
}

TEST(QuesselCommandLine, HelpShownEvenWhenQuiet)
{
    TempDir dir;
    ToolResult r = quessel(dir, {"/q", "/h"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.output, kHelp);
    r = quessel(dir, {"/?", "-Q"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.output, kHelp);
}

TEST(QuesselCommandLine, QuietWithoutCommandPrintsNothingAndFails)
{
    TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{"/q"}, {"-q", "/Q"}}) {
        ToolResult r = quessel(dir, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.output, "");
    }
}

TEST(QuesselCommandLine, LibraryNameRequired)
{
    TempDir dir;
    for (std::vector<std::string> args :
         {std::vector<std::string>{"/c"}, {"/t", "x.lb"}, {"/c", ".lib"}, {"/x", ""}, {"/d", "_a.lib"},
          {"/r", "a.lib.o"}, {"/T", "dir.lib/"}}) {
        ToolResult r = quessel(dir, args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(r.output, oneError("library filename is required")) << args[0];
    }
    EXPECT_TRUE(dir.list().empty());
}

TEST(QuesselCommandLine, InvalidObjectFilename)
{
    TempDir dir;
    for (std::vector<std::string> args :
         {std::vector<std::string>{"/c", "a.lib", "x.obj"}, {"/c", "a.lib", "good.o", ".o"}, {"/t", "a.lib", ""},
          {"/r", "a.lib", "-x.o"}, {"/c", "a.lib", "/t"}, {"/d", "a.lib", "dir.o/"}}) {
        ToolResult r = quessel(dir, args);
        EXPECT_EQ(r.exitCode, 1) << args.back();
        EXPECT_EQ(r.output, oneError("invalid object filename")) << args.back();
    }
    EXPECT_TRUE(dir.list().empty());
}

TEST(QuesselCommandLine, QuietAfterTheCommandIsAnInvalidMember)
{
    TempDir dir;
    ToolResult r = quessel(dir, {"/c", "a.lib", "/q"});
    // Quiet from start-up on, so the refusal is silent; nothing is created.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "");
    EXPECT_FALSE(dir.exists("a.lib"));
}
