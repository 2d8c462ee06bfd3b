// Support for whole-program tests: a scratch directory that is removed
// afterwards, and a runner that starts a built program in a directory and
// collects its exit code and everything it printed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return cPath; }
    // The absolute path of a file in the directory.
    std::string file(const std::string &name) const { return cPath + "/" + name; }

    void write(const std::string &name, const std::vector<uint8_t> &bytes) const;
    void write(const std::string &name, const std::string &text) const;
    std::vector<uint8_t> read(const std::string &name) const;
    std::string readText(const std::string &name) const;
    bool exists(const std::string &name) const;
    // Names of the files in the directory, sorted.
    std::vector<std::string> list() const;

private:
    std::string cPath;
};

struct ToolResult
{
    int exitCode = -1;  // the exit status, or -1 when the program did not exit normally
    std::string output; // standard output and standard error, interleaved
};

// Runs the program with the arguments in the directory; unprivileged: see
// runUnprivileged (the program is run from a copy that user can reach).
ToolResult runTool(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
                   bool unprivileged = false);

// Unprivileged runs: when the tests run as root, a forked child switches to
// uid and gid 65534 (the files it needs must be reachable for that user);
// otherwise it keeps the tests' own user. False when the switch fails.
bool canRunUnprivileged();
// Runs code in such a child; its result becomes the child's exit code
// (0 to 255), -1 when the child did not exit normally or could not switch.
int runUnprivileged(const std::function<int()> &code);

// The whole of a file read as it is; empty when it cannot be read.
std::string readTextFile(const std::string &path);

// Splits text into lines (the line ends removed); a final empty line is dropped.
std::vector<std::string> splitLines(const std::string &text);
