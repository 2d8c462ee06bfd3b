// The librarian when several runs change one library at once: each command
// that changes it waits for the others, so no run's change is lost, and a
// run that waits for its member files holds up no other. Also which names
// the library lock takes hold of.

#include "archive.h"
#include "archiver.h"
#include "coffbuilder.h"
#include "librarylock.h"
#include "reportcapture.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <deque>
#include <fstream>
#include <list>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

using Args = std::vector<std::string>;

// Starts quessel with the arguments in the directory, its output dropped.
pid_t startQuessel(const std::string &dir, const Args &args)
{
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        std::vector<char *> argv{const_cast<char *>(QUESSEL_EXE)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(QUESSEL_EXE, argv.data());
        _exit(127);
    }
    return pid;
}

bool exitedWell(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// True when the process ends within the seconds given (status then set); else it is killed.
bool endsWithin(pid_t pid, int seconds, int &status)
{
    pid_t ended = 0;
    for (int i = 0; i < 100 * seconds && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i)
        usleep(10000);
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return ended == pid;
}

// Runs one quessel per argument list, eight at a time; the number of runs
// that did not exit with 0.
int runConcurrently(const std::string &dir, const std::vector<Args> &runs)
{
    std::deque<pid_t> running;
    int failed = 0;
    auto waitOldest = [&] {
        int status = 0;
        failed += waitpid(running.front(), &status, 0) < 0 || !exitedWell(status);
        running.pop_front();
    };
    for (const Args &args : runs) {
        if (running.size() == 8)
            waitOldest();
        running.push_back(startQuessel(dir, args));
    }
    while (!running.empty())
        waitOldest();
    return failed;
}

std::set<std::string> memberNames(const std::string &library)
{
    std::set<std::string> names;
    std::unique_ptr<Archive> ar = Archive::make(library);
    EXPECT_TRUE(ar);
    for (size_t i = 0; ar && i < ar->cMembers.size(); ++i)
        names.insert(ar->cMembers[i]->name());
    return names;
}

} // namespace

TEST(LibrarianConcurrency, ConcurrentReplacesAndDeletesLoseNoMember)
{
    // Fifty runs each add their own member; then twenty-five runs each
    // delete one of the even-numbered ones.
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().bytes());
    std::vector<Args> adds, deletes;
    std::set<std::string> all, odd;
    for (int k = 0; k < 50; ++k) {
        std::string name = "m" + std::to_string(k) + ".o";
        std::string symbol = "s" + std::to_string(k);
        dir.write(name, CoffBuilder().section(".code", SCN_CODE, {uint8_t(k)}).symbol(symbol, 0, ".code", C_EXT).bytes());
        adds.push_back({"/q", "/r", "lib.lib", name});
        all.insert(name);
        if (k % 2 == 0)
            deletes.push_back({"/q", "/d", "lib.lib", name});
        else
            odd.insert(name);
    }
    EXPECT_EQ(runConcurrently(dir.path(), adds), 0);
    EXPECT_EQ(memberNames(dir.file("lib.lib")), all);
    EXPECT_EQ(runConcurrently(dir.path(), deletes), 0);
    EXPECT_EQ(memberNames(dir.file("lib.lib")), odd);
    EXPECT_EQ(dir.list().size(), 51u); // no temporary file stays behind
}

namespace {

// True once the kernel lists the process as waiting for a file lock; false
// when it ends first or does not wait within 30 seconds.
bool waitsForALock(pid_t pid)
{
    std::string needle = "-> FLOCK  ADVISORY  WRITE " + std::to_string(pid) + " ";
    for (int i = 0; i < 3000; ++i) {
        std::ifstream locks("/proc/locks");
        std::string line;
        while (std::getline(locks, line))
            if (line.find(needle) != std::string::npos)
                return true;
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return false;
        usleep(10000);
    }
    return false;
}

} // namespace

TEST(LibrarianConcurrency, OnlyCommandsThatChangeTheLibraryWaitForItsLock)
{
    // The test holds the lock. A command that only reads finishes
    // meanwhile; one that changes the library is seen waiting for the lock
    // and completes once the test lets go.
    const std::pair<Args, bool> cases[] = {
        {{"/c", "lib.lib", "a.o"}, true}, {{"/r", "lib.lib", "a.o"}, true}, {{"/d", "lib.lib"}, true},
        {{"/t", "lib.lib"}, false},       {{"/x", "lib.lib"}, false},
    };
    for (const auto &[args, waits] : cases) {
        SCOPED_TRACE(args[0]);
        TempDir dir;
        dir.write("a.o", CoffBuilder().section(".code", SCN_CODE, {1}).bytes());
        dir.write("lib.lib", ArchiveBuilder().bytes());
        int status = 0;
        pid_t pid;
        {
            LibraryLock lock(dir.file("lib.lib"));
            ASSERT_TRUE(lock.locked());
            pid = startQuessel(dir.path(), args);
            if (waits) {
                EXPECT_TRUE(waitsForALock(pid));
                EXPECT_EQ(dir.read("lib.lib"), ArchiveBuilder().bytes());
            } else {
                EXPECT_TRUE(endsWithin(pid, 30, status)) << "still running while the test holds the lock";
            }
        }
        if (waits) {
            EXPECT_EQ(waitpid(pid, &status, 0), pid);
        }
        EXPECT_TRUE(exitedWell(status));
        if (args[0] == "/c" || args[0] == "/r") {
            EXPECT_EQ(memberNames(dir.file("lib.lib")), std::set<std::string>{"a.o"});
        }
    }
}

TEST(LibrarianConcurrency, AMemberFileThatWaitsHoldsUpNoOtherRun)
{
    // "/r" given a FIFO as its member file reads it before it takes the
    // lock: while it waits for the FIFO's bytes, another "/r" and a "/t"
    // finish (within ten seconds), and once the FIFO is fed both new
    // members are in the library.
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().bytes());
    dir.write("b.o", CoffBuilder().section(".code", SCN_CODE, {2}).bytes());
    ASSERT_EQ(mkfifo(dir.file("fifo.o").c_str(), 0600), 0);
    pid_t waiting = startQuessel(dir.path(), {"/r", "lib.lib", "fifo.o"});
    // A writer can open the FIFO once the run has it open for reading.
    int writer = -1;
    for (int i = 0; i < 3000 && writer < 0; ++i)
        if ((writer = open(dir.file("fifo.o").c_str(), O_WRONLY | O_NONBLOCK)) < 0)
            usleep(10000);
    ASSERT_GE(writer, 0);
    auto endsWell = [](pid_t pid) {
        int status = 0;
        return endsWithin(pid, 10, status) && exitedWell(status);
    };
    EXPECT_TRUE(endsWell(startQuessel(dir.path(), {"/r", "lib.lib", "b.o"})));
    EXPECT_TRUE(endsWell(startQuessel(dir.path(), {"/t", "lib.lib"})));
    std::vector<uint8_t> object = CoffBuilder().section(".code", SCN_CODE, {1}).bytes();
    EXPECT_EQ(write(writer, object.data(), object.size()), ssize_t(object.size()));
    close(writer);
    EXPECT_TRUE(endsWell(waiting));
    EXPECT_EQ(memberNames(dir.file("lib.lib")), (std::set<std::string>{"b.o", "fifo.o"}));
}

TEST(LibrarianConcurrency, ARunThatCannotKeepTheLockChangesNothing)
{
    // The file system refuses the lock, or another program puts its library in place (renamed
    // over or written in place) while the run holds it: the run fails, changing nothing.
    enum Other { none, renamed, written, renamedAtExchange }; // at the exchange: after the last check
    struct Case
    {
        const char *what;
        ArCommand command;
        std::list<std::string> members;
        LibraryLock::Locker locker;
        Other other;         // what another program does to the library meanwhile
        std::string message; // 'L' stands for the library's name
        bool existed = true; // the library exists when the run begins
    };
    LibraryLock::Locker refuse = [](int, int) { return errno = ENOLCK, -1; };
    const std::string REFUSED = "Could not lock library file 'L': No locks available.";
    const std::string REPLACED =
        "Library file 'L' was replaced by another program during this run; that program's library is kept.";
    const Case cases[] = {
        {"/c over a library, refused", ArCommand::cmdCreate, {"a.o"}, refuse, none, REFUSED},
        {"/r, refused", ArCommand::cmdReplace, {"a.o"}, refuse, none, REFUSED},
        {"/d, refused", ArCommand::cmdDelete, {"x.o"}, refuse, none, REFUSED},
        {"/r, replaced", ArCommand::cmdReplace, {"a.o"}, nullptr, renamed, REPLACED},
        {"/d, replaced", ArCommand::cmdDelete, {"x.o"}, nullptr, renamed, REPLACED},
        {"/r, rewritten in place", ArCommand::cmdReplace, {"a.o"}, nullptr, written, REPLACED},
        {"/r, renamed over at the exchange", ArCommand::cmdReplace, {"a.o"}, nullptr, renamedAtExchange, REPLACED},
        {"/c of a new library, made meanwhile", ArCommand::cmdCreate, {"a.o"}, nullptr, renamed, REPLACED, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string library = dir.file("lib.lib");
        const std::vector<uint8_t> theirs = ArchiveBuilder().member("t.o", CoffBuilder()).bytes();
        dir.write("a.o", CoffBuilder().section(".code", SCN_CODE, {1}).bytes());
        if (c.existed)
            dir.write("lib.lib", ArchiveBuilder().member("x.o", CoffBuilder()).bytes());
        std::vector<uint8_t> before = dir.read("lib.lib");
        Archiver archiver;
        std::list<std::string> members;
        for (const std::string &m : c.members) // files to store, or members to delete
            members.push_back(c.command == ArCommand::cmdDelete ? m : dir.file(m));
        std::string msg;
        ASSERT_TRUE(archiver.setCommand(uint8_t(c.command), library, members, msg));
        archiver.cLocker = c.locker;
        bool done = false; // the other program changes the library once
        auto other = [&] {
            if (std::exchange(done, true))
                return;
            dir.write(c.other == written ? "lib.lib" : "other.lib", theirs); // written: the same inode
            if (c.other != written) {
                ASSERT_EQ(rename(dir.file("other.lib").c_str(), library.c_str()), 0);
            }
        };
        if (c.other == renamedAtExchange)
            archiver.cCalls.renameAt = [&](int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
                if (flags == RENAME_EXCHANGE)
                    other();
                return systemCalls().renameAt(fromDir, from, toDir, to, flags);
            };
        else if (c.other != none)
            archiver.cWhileLocked = other;
        ReportCapture capture;
        EXPECT_FALSE(archiver.run());
        std::string expected = c.message;
        expected.replace(expected.find("'L'"), 3, "'" + library + "'");
        EXPECT_EQ(capture.text(), "Error - " + expected + "\n");
        EXPECT_EQ(dir.read("lib.lib"), c.other != none ? theirs : before);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.o", "lib.lib"})); // no temporary file
    }
}

TEST(LibraryLock, LocksOnlyAnExistingRegularFile)
{
    TempDir dir;
    dir.write("lib.lib", ArchiveBuilder().bytes());
    ASSERT_EQ(symlink("lib.lib", dir.file("link.lib").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("dir.lib").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.lib").c_str(), 0600), 0); // must not wait for a writer
    const std::pair<const char *, bool> cases[] = {
        {"lib.lib", true}, {"link.lib", true}, {"none.lib", false}, {"dir.lib", false}, {"pipe.lib", false}};
    for (const auto &[name, locked] : cases)
        EXPECT_EQ(LibraryLock(dir.file(name)).locked(), locked) << name;
    // Nor is a file swapped for a FIFO between the check and the open, nor waited for.
    dir.write("swapped.lib", ArchiveBuilder().bytes());
    FileCalls swapping;
    swapping.openAt = [&](int at, const char *name, int flags, mode_t mode) {
        if (std::string(name) == "swapped.lib" && !(flags & O_PATH) && unlink(dir.file(name).c_str()) == 0)
            mkfifo(dir.file(name).c_str(), 0600);
        return systemCalls().openAt(at, name, flags, mode);
    };
    EXPECT_FALSE(LibraryLock(dir.file("swapped.lib"), nullptr, swapping).locked());
}
