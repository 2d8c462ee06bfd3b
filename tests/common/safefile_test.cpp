// Output through a temporary file renamed into place.

#include "diag.h"
#include "reportcapture.h"
#include "safefile.h"
#include "samefile.h"
#include "tooltest.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(SafeFile, CommitReplacesTheTarget)
{
    TempDir dir;
    dir.write("out.txt", std::string("old"));
    SafeFile f;
    std::string err;
    ASSERT_TRUE(f.open(dir.file("out.txt"), err));
    f.stream() << "new text";
    EXPECT_FALSE(f.place(err)); // not finished
    ASSERT_TRUE(f.finish(err)) << err;
    EXPECT_EQ(dir.readText("out.txt"), "old"); // nothing visible before the rename
    EXPECT_EQ(dir.list().size(), 2u);
    ASSERT_TRUE(f.place(err)) << err;
    EXPECT_EQ(dir.readText("out.txt"), "new text");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
    EXPECT_FALSE(f.place(err)); // placed once
}

TEST(SafeFile, UncommittedWritesLeaveNoTrace)
{
    TempDir dir;
    dir.write("out.txt", std::string("old"));
    {
        SafeFile f;
        std::string err;
        ASSERT_TRUE(f.open(dir.file("out.txt"), err));
        f.stream() << "partial";
    }
    EXPECT_EQ(dir.readText("out.txt"), "old");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
}

TEST(SafeFile, KeepsTheModeOfTheFileItReplaces)
{
    TempDir dir;
    dir.write("tool.sh", std::string("old"));
    ASSERT_EQ(::chmod(dir.file("tool.sh").c_str(), 0750), 0);
    std::string err;
    ASSERT_TRUE(writeFileAtomically(dir.file("tool.sh"), std::string("new"), err));
    struct stat st;
    ASSERT_EQ(::stat(dir.file("tool.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(SafeFile, MissingDirectoryOrDirectoryTarget)
{
    TempDir dir;
    std::string err;
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/file"), std::vector<uint8_t>{1}, err));
    EXPECT_FALSE(err.empty());
    err.clear();
    EXPECT_FALSE(writeFileAtomically(dir.path(), std::vector<uint8_t>{1}, err));
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(dir.list().empty());
}

// ------------------------------------------------ where a name leads

namespace {

const std::string PAYLOAD = [] {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}();

bool isLink(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

mode_t modeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

mode_t newFileMode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A relative name of nested directories and a file whose absolute path in
// a scratch directory is exactly total bytes long.
std::string deepName(size_t total)
{
    TempDir probe;
    size_t left = total - probe.path().size() - 1;
    std::string name;
    while (left > 200) {
        name += std::string(199, 'd') + "/";
        left -= 200;
    }
    return name + std::string(left, 'f');
}

void makeDirectories(const TempDir &d, const std::string &name)
{
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        ::mkdir(d.file(name.substr(0, slash)).c_str(), 0755);
}

// Opens, writes PAYLOAD and commits: bit 0 set when open() succeeded, bit 1
// when commit() did too. A write that would wait for ever is ended.
int writeThrough(const std::string &path, const FileCalls &calls = systemCalls())
{
    ::alarm(20);
    SafeFile f(calls);
    std::string err;
    if (!f.open(path, err))
        return 0;
    f.stream() << PAYLOAD;
    return f.commit(err) ? 3 : 1;
}

} // namespace

TEST(SafeFile, WritesWhereTheNameLeads)
{
    const std::string LONG = std::string(246, 'n') + ".hex"; // 250 bytes
    const std::string DEEP = deepName(4090);
    int fifo = -1;                                            // the FIFO's or pipe's read end
    int held = -1;                                            // another descriptor the case holds
    struct Case
    {
        const char *what;
        std::function<void(const TempDir &)> setup;
        std::string output;
        bool unprivileged; // written as the unprivileged user
        int result;        // of writeThrough
        std::function<void(const TempDir &)> check;
        bool direct = false; // writesDirectly() before the write
        bool root = false;   // the setup gives a file to another user
        std::function<void(const TempDir &, const char *name, int flags)> beforeOpen = {}; // runs before each open
    };
    auto link = [](const TempDir &d, const std::string &to, const std::string &name) {
        ASSERT_EQ(::symlink(to.c_str(), d.file(name).c_str()), 0);
    };
    auto realApp = [&](const TempDir &d) {
        ::mkdir(d.file("real").c_str(), 0755);
        d.write("real/app", std::string("old"));
        ::chmod(d.file("real/app").c_str(), 0640);
    };
    auto readAll = [&] {
        std::string got;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fifo, buf, sizeof buf)) > 0)
            got.append(buf, size_t(n));
        ::close(fifo);
        return got;
    };
    // pub/app in a sticky directory open to everyone, as /tmp is, of
    // dirOwner: a link to "to" (beside pub, "open" is open to everyone), or
    // with "to" "" a file, "|" a FIFO; owners -1: the tests'.
    auto planted = [&](const TempDir &d, uid_t owner, const std::string &to = "../open/made",
                       uid_t dirOwner = uid_t(-1)) {
        for (const char *sub : {"pub", "open"}) {
            ::mkdir(d.file(sub).c_str(), 0755);
            ::chmod(d.file(sub).c_str(), std::string(sub) == "pub" ? 01777 : 0777);
        }
        ASSERT_EQ(::chown(d.file("pub").c_str(), dirOwner, dirOwner), 0);
        if (to == "|")
            ASSERT_EQ(::mkfifo(d.file("pub/app").c_str(), 0666), 0);
        else if (to.empty())
            d.write("pub/app", std::string("theirs"));
        else
            link(d, to, "pub/app");
        ASSERT_EQ(::lchown(d.file("pub/app").c_str(), owner, owner), 0);
    };
    auto newInRealApp = [](const TempDir &d) {
        EXPECT_TRUE(d.readText("real/app") == PAYLOAD);
        EXPECT_EQ(modeOf(d.file("real/app")), 0640u);
    };
    const Case cases[] = {
        {"link", [&](const TempDir &d) { realApp(d); link(d, "real/app", "app"); }, "app", false, 3,
         [&](const TempDir &d) {
             EXPECT_TRUE(isLink(d.file("app")));
             newInRealApp(d);
         }},
        {"link chain, relative to each link",
         [&](const TempDir &d) {
             realApp(d);
             ::mkdir(d.file("sub").c_str(), 0755);
             link(d, "../real/app", "sub/b");
             link(d, d.file("sub/b"), "app");
         },
         "app", false, 3,
         [&](const TempDir &d) {
             EXPECT_TRUE(isLink(d.file("app")) && isLink(d.file("sub/b")));
             newInRealApp(d);
         }},
        {"dangling link",
         [&](const TempDir &d) {
             ::mkdir(d.file("real").c_str(), 0755);
             link(d, "real/made", "app");
         },
         "app", false, 3,
         [&](const TempDir &d) {
             EXPECT_TRUE(isLink(d.file("app")));
             EXPECT_TRUE(d.readText("real/made") == PAYLOAD);
             EXPECT_EQ(modeOf(d.file("real/made")), newFileMode());
         }},
        {"link loop", [&](const TempDir &d) { link(d, "b", "a"), link(d, "a", "b"); }, "a", false, 0,
         [&](const TempDir &d) { EXPECT_TRUE(isLink(d.file("a")) && isLink(d.file("b"))); }},
        {"FIFO",
         [&](const TempDir &d) {
             ASSERT_EQ(::mkfifo(d.file("pipe").c_str(), 0600), 0);
             fifo = ::open(d.file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
         },
         "pipe", false, 3, [&](const TempDir &) { EXPECT_TRUE(readAll() == PAYLOAD); }, true},
        {"device through a link", [&](const TempDir &d) { link(d, "/dev/full", "full"); }, "full", false, 1,
         [&](const TempDir &d) {
             EXPECT_TRUE(isLink(d.file("full")));
             struct stat st;
             ASSERT_EQ(::stat("/dev/full", &st), 0);
             EXPECT_TRUE(S_ISCHR(st.st_mode));
         },
         true},
        {"descriptor link to a pipe",
         [&](const TempDir &d) {
             int ends[2];
             ASSERT_EQ(::pipe(ends), 0);
             fifo = ends[0];
             link(d, "/proc/self/fd/" + std::to_string(ends[1]), "out");
             held = ends[1];
         },
         "out", false, 3,
         [&](const TempDir &) {
             ::close(held);
             EXPECT_TRUE(readAll() == PAYLOAD);
         },
         true},
        {"descriptor link to a file: written in place after its contents",
         [&](const TempDir &d) {
             d.write("log", std::string("old\n"));
             held = ::open(d.file("log").c_str(), O_WRONLY | O_APPEND);
             link(d, "/dev/fd/" + std::to_string(held), "out");
         },
         "out", false, 3,
         [&](const TempDir &d) {
             struct stat viaLog, viaName;
             ASSERT_EQ(::fstat(held, &viaLog), 0);
             ::close(held);
             ASSERT_EQ(::stat(d.file("log").c_str(), &viaName), 0);
             EXPECT_EQ(viaLog.st_ino, viaName.st_ino); // not replaced
             EXPECT_TRUE(d.readText("log") == "old\n" + PAYLOAD);
         },
         true},
        {"descriptor link to a file opened with truncation: one offset with its descriptor",
         [&](const TempDir &d) {
             held = ::open(d.file("log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             ASSERT_EQ(::write(held, "head\n", 5), 5);
             link(d, "/dev/fd/" + std::to_string(held), "out");
         },
         "out", false, 3,
         [&](const TempDir &d) {
             EXPECT_EQ(::write(held, "tail\n", 5), 5);
             ::close(held);
             EXPECT_TRUE(d.readText("log") == "head\n" + PAYLOAD + "tail\n");
         },
         true},
        {"descriptor link to a descriptor open only for reading",
         [&](const TempDir &d) {
             d.write("in", std::string("old"));
             held = ::open(d.file("in").c_str(), O_RDONLY);
             link(d, "/dev/fd/" + std::to_string(held), "out");
         },
         "out", false, 0,
         [&](const TempDir &d) {
             ::close(held);
             EXPECT_EQ(d.readText("in"), "old");
         },
         true},
        {"link another user planted in a sticky directory", [&](const TempDir &d) { planted(d, 65534); }, "pub/app",
         false, 0, [&](const TempDir &d) { EXPECT_FALSE(d.exists("open/made")); }, false, true},
        {"as a user, a link a third user planted there", [&](const TempDir &d) { planted(d, 65533); }, "pub/app",
         true, 0, [&](const TempDir &d) { EXPECT_FALSE(d.exists("open/made")); }, false, true},
        {"as a user, a link of the directory's owner", [&](const TempDir &d) { planted(d, uid_t(-1)); }, "pub/app",
         true, 3, [&](const TempDir &d) { EXPECT_TRUE(d.readText("open/made") == PAYLOAD); }, false, true},
        {"FIFO swapped for a link between check and open",
         [&](const TempDir &d) {
             ASSERT_EQ(::mkfifo(d.file("pipe").c_str(), 0600), 0);
             fifo = ::open(d.file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
             d.write("victim", std::string("old"));
         },
         "pipe", false, 0, [&](const TempDir &d) { ::close(fifo); EXPECT_EQ(d.readText("victim"), "old"); }, true,
         false, [](const TempDir &d, const char *name, int flags) {
             if (std::string(name) == "pipe" && (flags & O_ACCMODE) == O_WRONLY)
                 ::unlink(d.file("pipe").c_str()), ::symlink("victim", d.file("pipe").c_str());
         }},
        {"directory link another user planted mid-path in a sticky directory",
         [&](const TempDir &d) { planted(d, 65534, "../open"); }, "pub/app/app", false, 0,
         [&](const TempDir &d) { EXPECT_FALSE(d.exists("open/app")); }, false, true},
        {"as a user, a directory link of the directory's owner there",
         [&](const TempDir &d) { planted(d, uid_t(-1), "../open"); }, "pub/app/app", true, 3,
         [&](const TempDir &d) { EXPECT_TRUE(d.readText("open/app") == PAYLOAD); }, false, true},
        {"file another user planted in a sticky directory", [&](const TempDir &d) { planted(d, 65534, ""); },
         "pub/app", false, 0, [&](const TempDir &d) { EXPECT_EQ(d.readText("pub/app"), "theirs"); }, false, true},
        {"FIFO another user planted there: refused without waiting for a reader",
         [&](const TempDir &d) { planted(d, 65534, "|"); }, "pub/app", false, 0, [&](const TempDir &) {}, true, true},
        {"file of the sticky directory's owner: replaced by one of the user's",
         [&](const TempDir &d) { planted(d, 65534, "", 65534); }, "pub/app", false, 3,
         [&](const TempDir &d) {
             struct stat st;
             ASSERT_EQ(::lstat(d.file("pub/app").c_str(), &st), 0);
             EXPECT_TRUE(d.readText("pub/app") == PAYLOAD && st.st_uid == ::geteuid());
         },
         false, true},
        {"'..' after a link to a directory leaves the link's target",
         [&](const TempDir &d) { makeDirectories(d, "real/sub/"), link(d, "real/sub", "lnk"); }, "lnk/../app", false,
         3, [&](const TempDir &d) { EXPECT_TRUE(d.readText("real/app") == PAYLOAD); }},
        {"read-only file",
         [&](const TempDir &d) {
             d.write("ro", std::string("old"));
             ::chmod(d.file("ro").c_str(), 0444);
         },
         "ro", true, 0, [&](const TempDir &d) { EXPECT_EQ(d.readText("ro"), "old"); }},
        {"modes kept, special bits dropped",
         [&](const TempDir &d) {
             d.write("tool", std::string("old"));
             ::chmod(d.file("tool").c_str(), 04750);
         },
         "tool", false, 3, [&](const TempDir &d) { EXPECT_EQ(modeOf(d.file("tool")), 0750u); }},
        {"owner and group kept (by the super-user)",
         [&](const TempDir &d) {
             d.write("theirs", std::string("old"));
             (void)!::chown(d.file("theirs").c_str(), 65534, 65534);
         },
         "theirs", false, 3,
         [&](const TempDir &d) {
             struct stat st;
             ASSERT_EQ(::stat(d.file("theirs").c_str(), &st), 0);
             if (::geteuid() == 0) {
                 EXPECT_EQ(st.st_uid, 65534u);
                 EXPECT_EQ(st.st_gid, 65534u);
             }
         }},
        {"new file", [](const TempDir &) {}, "made", false, 3,
         [&](const TempDir &d) { EXPECT_EQ(modeOf(d.file("made")), newFileMode()); }},
        {"250-byte name", [](const TempDir &) {}, LONG, false, 3,
         [&](const TempDir &d) { EXPECT_TRUE(d.readText(LONG) == PAYLOAD); }},
        {"4,090-byte path", [&](const TempDir &d) { makeDirectories(d, DEEP); }, DEEP, false, 3,
         [&](const TempDir &d) { EXPECT_TRUE(d.readText(DEEP) == PAYLOAD); }},
    };
    std::string skipped;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const char *why = c.root && ::geteuid() != 0                ? ": needs root to give a file to another user"
                          : c.unprivileged && !canRunUnprivileged() ? ": cannot run as an unprivileged user"
                                                                    : nullptr;
        if (why) {
            skipped += std::string("\n  ") + c.what + why;
            continue;
        }
        TempDir dir;
        c.setup(dir);
        std::vector<std::string> before = dir.list();
        EXPECT_EQ(writesDirectly(dir.file(c.output)), c.direct);
        if (c.unprivileged)
            ::chmod(dir.path().c_str(), 0777);
        FileCalls calls;
        if (c.beforeOpen)
            calls.openAt = [&](int at, const char *name, int flags, mode_t mode) {
                c.beforeOpen(dir, name, flags);
                return systemCalls().openAt(at, name, flags, mode);
            };
        auto write = [&] { return writeThrough(dir.file(c.output), calls); };
        int result = c.unprivileged ? runUnprivileged(write) : write();
        ::alarm(0);
        EXPECT_EQ(result, c.result);
        c.check(dir);
        // No temporary file remains, and nothing new but a made file.
        std::vector<std::string> after = dir.list();
        if (c.output == "made" || c.output == LONG)
            before.push_back(c.output);
        std::sort(before.begin(), before.end());
        EXPECT_EQ(after, before);
    }
    if (!skipped.empty())
        GTEST_SKIP() << "rows skipped:" << skipped;
}

TEST(SafeFile, OutputsThatAreInputsOrEachOther)
{
    TempDir dir;
    dir.write("in.o", std::string("object"));
    dir.write("other.o", std::string("object"));
    ASSERT_EQ(::link(dir.file("in.o").c_str(), dir.file("hard.o").c_str()), 0);
    ASSERT_EQ(::symlink("in.o", dir.file("soft.o").c_str()), 0);
    ASSERT_EQ(::symlink("new.map", dir.file("dangling.map").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("fifo", dir.file("to-fifo").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("in.fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.file("null").c_str()), 0);
    ASSERT_EQ(::symlink(".", dir.file("here").c_str()), 0);
    const std::vector<std::string> inputs = {dir.file("other.o"), dir.file("in.o"), dir.file("in.fifo")};
    struct Case
    {
        std::vector<std::string> outputs;
        std::string messages; // reported, "" for none
    };
    const Case cases[] = {
        {{"out.cof", "new.map"}, ""},
        {{"other.cof"}, ""},
        {{"gone.cof"}, ""},
        {{"in.o"}, "Output file 'in.o' is the same file as input file '" + dir.file("in.o") + "'.\n"},
        {{"hard.o"}, "Output file 'hard.o' is the same file as input file '" + dir.file("in.o") + "'.\n"},
        {{"soft.o"}, "Output file 'soft.o' is the same file as input file '" + dir.file("in.o") + "'.\n"},
        {{"here/in.o"}, "Output file 'here/in.o' is the same file as input file '" + dir.file("in.o") + "'.\n"},
        {{"here/x.out", "x.out"}, "Output file 'x.out' is the same file as output file 'here/x.out'.\n"},
        {{"x.out", "x.out"}, "Output file 'x.out' is the same file as output file 'x.out'.\n"},
        {{"dangling.map", "new.map", "in.o"},
         "Output file 'new.map' is the same file as output file 'dangling.map'.\n"
         "Output file 'in.o' is the same file as input file '" + dir.file("in.o") + "'.\n"},
        // Outputs to one FIFO or device both reach it; an input stays refused.
        {{"fifo", "to-fifo", "null", "null"}, ""},
        {{"in.fifo"}, "Output file 'in.fifo' is the same file as input file '" + dir.file("in.fifo") + "'.\n"},
    };
    std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    for (const Case &c : cases) {
        ReportCapture capture;
        bool distinct = checkOutputFiles("test()", c.outputs, inputs);
        std::string expected;
        for (const std::string &line : splitLines(c.messages))
            expected += "Error - " + line + "\n";
        EXPECT_EQ(distinct, c.messages.empty()) << c.outputs[0];
        EXPECT_EQ(capture.text(), expected) << c.outputs[0];
    }
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(dir.exists("new.map"));
    EXPECT_TRUE(sameFile(dir.file("hard.o"), dir.file("soft.o")));
    EXPECT_FALSE(sameFile(dir.file("gone.o"), dir.file("gone.o")));
}

namespace {

void throwError() { throw std::runtime_error("thrown"); }

// An exception that leaves f is caught by nothing: it ends the program.
void uncaught(void (*f)()) noexcept { f(); }

} // namespace

TEST(SafeFile, SignalsAndExitRemoveTheTemporaryFiles)
{
    struct Case
    {
        const char *what;
        std::function<void(SafeFile &)> end; // ends the program while both files are open, or returns
        int sig;                             // that ends the program, or 0
        int exitCode;                        // when it exits instead
        bool ignoredAtStart = false;         // sig ignored at start: it leaves the run alone
    };
    auto raiser = [](int sig) { return [sig](SafeFile &) { ::raise(sig); }; };
    const Case cases[] = {
        {"SIGINT", raiser(SIGINT), SIGINT, 0},
        {"SIGTERM", raiser(SIGTERM), SIGTERM, 0},
        {"SIGHUP", raiser(SIGHUP), SIGHUP, 0},
        {"SIGHUP ignored", raiser(SIGHUP), 0, 0, true},
        {"SIGQUIT", raiser(SIGQUIT), SIGQUIT, 0},
        {"SIGALRM", raiser(SIGALRM), SIGALRM, 0},
        {"SIGUSR1", raiser(SIGUSR1), SIGUSR1, 0},
        {"SIGUSR2", raiser(SIGUSR2), SIGUSR2, 0},
        {"SIGVTALRM", raiser(SIGVTALRM), SIGVTALRM, 0},
        {"SIGPROF", raiser(SIGPROF), SIGPROF, 0},
        {"a fault's signal sent as a temporary file is made: held until the file is listed",
         [](SafeFile &a) {
             FileCalls calls;
             calls.openAt = [](int dir, const char *name, int flags, mode_t mode) {
                 int fd = systemCalls().openAt(dir, name, flags, mode);
                 return flags & O_CREAT ? (::raise(SIGTRAP), fd) : fd;
             };
             std::string err;
             SafeFile(calls).open(a.path() + ".third", err);
         },
         SIGTRAP, 0},
        {"uncaught exception", [](SafeFile &) { uncaught(throwError); }, SIGABRT, 0},
        {"exit()", [](SafeFile &) { std::exit(4); }, 0, 4}, // as a fatal report does
        {"pipe without a reader",
         [](SafeFile &) {
             int ends[2];
             if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                 (void)!::write(ends[1], "x", 1);
         },
         SIGPIPE, 0},
        {"file-size limit",
         [](SafeFile &a) {
             struct rlimit limit = {4, 4};
             ::setrlimit(RLIMIT_FSIZE, &limit);
             std::string err;
             a.stream() << PAYLOAD;
             a.commit(err);
         },
         SIGXFSZ, 0},
        {"out of memory",
         [](SafeFile &) {
             const char *argv[] = {"test", "/q"};
             startUp(2, argv, "");
             std::get_new_handler()();
         },
         0, 1},
        {"failed assertion", [](SafeFile &) { assertFailed("test", __FILE__, __LINE__); }, SIGABRT, 0},
        // Held back, a fault would end the program without its cleanup.
        {"fault while the cleanup signals are held back",
         [](SafeFile &) {
             CleanupSignalsBlocked blocked;
             __builtin_trap();
         },
         SIGILL, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("out.txt", std::string("old"));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            struct rlimit noCore = {0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            if (c.ignoredAtStart)
                std::signal(SIGHUP, SIG_IGN);
            SafeFile a, b;
            std::string err;
            if (!a.open(dir.file("out.txt"), err) || !b.open(dir.file("new.txt"), err))
                _exit(2);
            a.stream() << "partial";
            c.end(a);
            bool committed = a.commit(err);
            b.discard();
            _exit(committed ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (c.sig != 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << status;
            EXPECT_EQ(dir.readText("out.txt"), "old");
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitCode) << status;
            EXPECT_EQ(dir.readText("out.txt"), c.exitCode == 0 ? "partial" : "old");
        }
        EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
    }
}
