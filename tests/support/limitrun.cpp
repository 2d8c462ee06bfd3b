// Resource-limited program runs and the files the fault tests compare.

#include "limitrun.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

LimitedResult runLimited(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
                         uint64_t fileSizeLimit)
{
    LimitedResult result;
    int out[2], peak[2];
    if (pipe(out) != 0 || pipe(peak) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(out[0]);
        close(peak[0]);
        dup2(out[1], 1);
        dup2(out[1], 2);
        dup2(peak[1], 3);
        if (out[1] > 3)
            close(out[1]);
        if (peak[1] > 3)
            close(peak[1]);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        if (fileSizeLimit > 0) {
            // SIGXFSZ keeps its default action: the programs themselves
            // turn a write past the limit into a failed write.
            struct rlimit limit = {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(125);
        }
        // The launcher runs the program, ends it if it hangs, and reports
        // its peak memory on descriptor 3.
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(LIMITLAUNCH_EXE));
        argv.push_back(const_cast<char *>(exe.c_str()));
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(LIMITLAUNCH_EXE, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(peak[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        result.output.append(buf, size_t(n));
    close(out[0]);
    std::string peakText;
    while ((n = ::read(peak[0], buf, sizeof buf)) > 0)
        peakText.append(buf, size_t(n));
    close(peak[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.peakKb = peakText.empty() ? UINT64_MAX : std::stoull(peakText);
    return result;
}

void writeNoiseFile(const std::string &path, uint64_t size, const std::vector<Patch> &patches)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(1 << 16);
    uint64_t state = 0x9E3779B97F4A7C15u;
    uint64_t written = 0;
    while (written < size) {
        size_t n = size_t(std::min<uint64_t>(chunk.size(), size - written));
        for (size_t i = 0; i < n; ++i) {
            // xorshift64
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            chunk[i] = char(state >> 56);
        }
        for (const Patch &p : patches)
            for (size_t k = 0; k < p.second.size(); ++k)
                if (p.first + k >= written && p.first + k < written + n)
                    chunk[size_t(p.first + k - written)] = char(p.second[k]);
        out.write(chunk.data(), std::streamsize(n));
        written += n;
    }
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> snapshot(const TempDir &dir)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    // A directory, FIFO or device (or a link to one) counts by its name
    // alone: reading a FIFO would wait for a writer.
    for (const std::string &name : dir.list())
        files.push_back(
            {name, std::filesystem::is_regular_file(dir.file(name)) ? dir.read(name) : std::vector<uint8_t>()});
    return files;
}
