// Scratch directories and a program runner for whole-program tests.

#include "tooltest.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "suite-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    cPath = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(cPath, ec);
}

void TempDir::write(const std::string &name, const std::vector<uint8_t> &bytes) const
{
    std::ofstream out(file(name), std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

void TempDir::write(const std::string &name, const std::string &text) const
{
    std::ofstream out(file(name), std::ios::binary);
    out << text;
}

std::vector<uint8_t> TempDir::read(const std::string &name) const
{
    std::ifstream in(file(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempDir::readText(const std::string &name) const { return readTextFile(file(name)); }

std::string readTextFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TempDir::exists(const std::string &name) const { return fs::exists(file(name)); }

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(cPath))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

const uid_t UNPRIVILEGED_ID = 65534;

// In a forked child: gives up root for the unprivileged user.
bool dropPrivileges()
{
    if (geteuid() != 0)
        return true;
    return setgroups(0, nullptr) == 0 && setgid(UNPRIVILEGED_ID) == 0 && setuid(UNPRIVILEGED_ID) == 0 &&
           geteuid() == UNPRIVILEGED_ID;
}

// A copy of the program that the unprivileged user can run: the build
// tree may lie in a directory only its owner can enter (as root's home
// is). The copies live in one directory open to all, made on first use and
// removed when the tests end.
class ReachableCopies
{
public:
    ~ReachableCopies()
    {
        std::error_code ec;
        if (!cDir.empty())
            fs::remove_all(cDir, ec);
    }

    std::string of(const std::string &exe)
    {
        if (cDir.empty()) {
            std::string pattern = (fs::temp_directory_path() / "suite-programs-XXXXXX").string();
            if (!mkdtemp(pattern.data()))
                throw std::runtime_error("mkdtemp failed");
            cDir = pattern;
            fs::permissions(cDir, fs::perms(0755));
        }
        std::string copy = cDir + "/" + fs::path(exe).filename().string();
        if (!fs::exists(copy)) {
            fs::copy_file(exe, copy);
            fs::permissions(copy, fs::perms(0755));
        }
        return copy;
    }

private:
    std::string cDir;
};

} // namespace

int runUnprivileged(const std::function<int()> &code)
{
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0)
        _exit(dropPrivileges() ? code() & 0xFF : 254);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 254)
        return -1;
    return WEXITSTATUS(status);
}

bool canRunUnprivileged() { return runUnprivileged([] { return 0; }) == 0; }

ToolResult runTool(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
                   bool unprivileged)
{
    ToolResult result;
    static ReachableCopies copies;
    const std::string program = unprivileged && geteuid() == 0 ? copies.of(exe) : exe;
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[1]);
        if ((unprivileged && !dropPrivileges()) || chdir(cwd.c_str()) != 0)
            _exit(126);
        // A program that waits for ever (on a FIFO, a lock) fails its test
        // instead of holding the suite: the alarm outlives the exec.
        alarm(300);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        result.output.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}
