// Runs a built program under resource limits, for the fault and resource
// tests: a cap on the size of every file it writes (a full disk, as the
// program sees it: the write that crosses the cap fails), and its peak
// memory measured.
#pragma once

#include "tooltest.h"

#include <cstdint>
#include <string>
#include <vector>

struct LimitedResult : ToolResult
{
    uint64_t peakKb = 0; // the largest resident set of the program alone, in KB
};

// Runs the program like runTool, ending it after 60 seconds (exit code -1
// then). A fileSizeLimit above 0 caps the size of
// every file it writes at that many bytes.
LimitedResult runLimited(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
                         uint64_t fileSizeLimit = 0);

// Writes a file of size bytes from a fixed pseudo-random sequence (every
// run gets the same file), with the patches (offset, bytes) laid over it.
using Patch = std::pair<uint64_t, std::vector<uint8_t>>;
void writeNoiseFile(const std::string &path, uint64_t size, const std::vector<Patch> &patches);

// The names and contents of every file in the directory, sorted by name,
// to compare a directory before and after a run (a directory by its name).
std::vector<std::pair<std::string, std::vector<uint8_t>>> snapshot(const TempDir &dir);
