// The librarian when several runs change one library at once: each command
// that changes it waits for the others, so no run's change is lost. Also
// which names the library lock takes hold of.

#include "archive.h"
#include "coffbuilder.h"
#include "librarylock.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <deque>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(LibrarianConcurrency, OnlyCommandsThatChangeTheLibraryWaitForItsLock)
{
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
        pid_t pid, done = 0;
        {
            LibraryLock lock(dir.file("lib.lib"));
            ASSERT_TRUE(lock.locked());
            pid = startQuessel(dir.path(), args);
            // A run that does not wait ends well within the time given; one
            // that waits is still there after it.
            for (int i = 0; i < (waits ? 10 : 600) && done == 0; ++i) {
                usleep(50000);
                done = waitpid(pid, &status, WNOHANG);
            }
            EXPECT_EQ(done == 0, waits);
        }
        if (done == 0)
            waitpid(pid, &status, 0);
        EXPECT_TRUE(exitedWell(status));
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
}
