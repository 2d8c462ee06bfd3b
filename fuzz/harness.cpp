// Working directory, silent streams and guarded runs for the fuzz targets.

#include "harness.h"

#include "coff.h"
#include "diag.h"
#include "exitguard.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <streambuf>
#include <unistd.h>

namespace fs = std::filesystem;

namespace fuzz {

namespace {

// Accepts and drops everything, and never fails.
class SinkBuf : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

SinkBuf gSink;
std::string gWorkDir;
fs::path gHome; // the directory the fuzzer was started in

void removeWorkDir()
{
    if (gWorkDir.empty())
        return;
    std::error_code ec;
    fs::remove_all(gWorkDir, ec);
}

// FUZZ_SHOW_OUTPUT=1 keeps the programs' output, to look at one input.
bool showOutput()
{
    static const bool show = std::getenv("FUZZ_SHOW_OUTPUT") != nullptr;
    return show;
}

void silenceStreams()
{
    static std::streambuf *const out = std::cout.rdbuf();
    if (showOutput()) {
        std::cout.rdbuf(out);
        std::cerr.rdbuf(out);
        std::cout.clear();
        std::cerr.clear();
        return;
    }
    std::cout.rdbuf(&gSink);
    std::cerr.rdbuf(&gSink);
    std::cout.clear();
    std::cerr.clear();
}

} // namespace

void setUp()
{
    if (!gWorkDir.empty())
        return;
    std::error_code ec;
    const char *root = std::getenv("FUZZ_WORK_ROOT");
    fs::path base = root && *root                      ? fs::path(root)
                    : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                       : fs::temp_directory_path();
    std::string pattern = (base / "suite-fuzz-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    gWorkDir = buf.data();
    gHome = fs::current_path();
    std::atexit(removeWorkDir);
    silenceStreams();
}

const std::string &workDir() { return gWorkDir; }

void clearWorkDir()
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(gWorkDir, ec)) {
        std::error_code e2;
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, e2);
        fs::remove_all(entry.path(), e2);
    }
}

void writeFile(const std::string &name, const uint8_t *data, size_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
}

void writeFile(const std::string &name, const std::vector<uint8_t> &bytes)
{
    writeFile(name, bytes.data(), bytes.size());
}

void writeFile(const std::string &name, const std::string &text)
{
    writeFile(name, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

std::vector<uint8_t> readFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes;
    if (!in)
        return bytes;
    bytes.resize(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

std::vector<std::string> leftoverTempFiles()
{
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(gWorkDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        // The safe writers' temporary files: the target's name, ".tmp" and
        // six letters or digits.
        std::string name = it->path().filename().string();
        size_t tmp = name.rfind(".tmp");
        if (tmp == std::string::npos || name.size() != tmp + 10)
            continue;
        bool temporary = true;
        for (size_t i = tmp + 4; i < name.size(); ++i)
            temporary = temporary && std::isalnum(static_cast<unsigned char>(name[i]));
        if (temporary)
            found.push_back(it->path().string());
    }
    return found;
}

std::vector<uint8_t> textBytesOf(const std::string &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

void inWorkDir(const std::function<void()> &code)
{
    fs::current_path(gWorkDir);
    code();
    fs::current_path(gHome);
}

namespace {

std::vector<std::string> gLeftAtExit;

// At the moment of exit a real process leaves every temporary file still
// open: no destructor runs.
void noteFilesAtExit(int) { gLeftAtExit = leftoverTempFiles(); }

} // namespace

int runGuarded(const std::function<void()> &code)
{
    int result = -1;
    gLeftAtExit.clear();
    // Each input is a run of its own.
    Data::resetZeroFillBudget();
    observeProgramExits(noteFilesAtExit);
    catchProgramExits(true);
    fs::current_path(gWorkDir);
    try {
        code();
    } catch (const ProgramExit &e) {
        result = e.code;
    }
    fs::current_path(gHome);
    catchProgramExits(false);
    if (!gLeftAtExit.empty()) {
        std::fprintf(stderr, "left at exit: %s\n", gLeftAtExit.front().c_str());
        check(false, "no temporary file is open when the program exits");
    }
    setQuiet(0);
    std::set_new_handler(nullptr);
    silenceStreams();
    return result;
}

std::vector<std::string> splitArguments(const uint8_t *data, size_t size, const std::string &program, size_t max)
{
    std::vector<std::string> args{program};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            args.push_back(current);
            current.clear();
            if (args.size() > max)
                return {};
        } else {
            current += char(data[i]);
        }
    }
    if (!current.empty())
        args.push_back(current);
    if (args.size() > max)
        return {};
    return args;
}

bool staysInWorkDir(const std::vector<std::string> &args)
{
    for (const std::string &arg : args) {
        std::string path = arg;
        for (char &c : path)
            if (c == '\\')
                c = '/';
        if (path.find("..") != std::string::npos)
            return false;
        // "/x" is a switch; anything longer that begins with '/' may be the
        // value of a switch that names a file ("/o" "/name.out").
        if (path.size() > 2 && path[0] == '/')
            return false;
        // A drive letter is no path here, but keep such names out as well.
        if (path.size() >= 2 && path[1] == ':')
            return false;
    }
    return true;
}

std::vector<const char *> argvOf(const std::vector<std::string> &args)
{
    std::vector<const char *> argv;
    for (const std::string &arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    return argv;
}

void runCommandLine(const uint8_t *data, size_t size, const std::string &program, int (*entry)(int, char **),
                    const std::function<void()> &writeFiles)
{
    std::vector<std::string> args = splitArguments(data, size, program);
    if (args.empty() || !staysInWorkDir(args))
        return;
    std::vector<const char *> argv = argvOf(args);
    int code = runGuarded([&] {
        clearWorkDir();
        writeFiles();
        entry(int(args.size()), const_cast<char **>(argv.data()));
    });
    check(code == 0 || code == 1 || code == 255, "the program ends through exit with 0, 1 or 255");
    check(leftoverTempFiles().empty(), "no temporary file is left behind");
}

void check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

uint64_t rawBytes(const Coff &coff)
{
    uint64_t total = 0;
    for (const auto &[name, data] : coff.cRawData)
        total += data.size();
    return total;
}

} // namespace fuzz
