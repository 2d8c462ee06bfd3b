// Reads hex files back with Debian's srecord (srec_cat), which checks every
// record and checksum on its own, and returns the byte image it finds: each
// byte at its address from address 0, the gaps as zero bytes.
#pragma once

#include "tooltest.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// The srec_cat program that the build's configuration found, else the one
// on the search path, or empty.
inline std::string srecCatPath()
{
    if (std::string configured = SREC_CAT_EXE; !configured.empty())
        return configured;
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        size_t to = dirs.find(':', from);
        if (to == std::string::npos)
            to = dirs.size();
        std::string dir = dirs.substr(from, to - from);
        if (!dir.empty() && std::filesystem::exists(std::filesystem::path(dir) / "srec_cat"))
            return (std::filesystem::path(dir) / "srec_cat").string();
        from = to + 1;
    }
    return "";
}

// Runs srec_cat on the inputs (file names with their format and filter
// options) in the directory; overlapping records with different bytes are
// accepted only when asked, the later record winning.
inline std::vector<uint8_t> srecImage(const TempDir &dir, std::vector<std::string> inputs,
                                      bool allowContradictory = false)
{
    std::string exe = srecCatPath();
    if (exe.empty()) {
        ADD_FAILURE() << "srec_cat not found; install the srecord package (scripts/setup.sh)";
        return {};
    }
    std::vector<std::string> args;
    if (allowContradictory)
        args.push_back("-contradictory-bytes=ignore");
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"-o", "srec-image.bin", "-binary"});
    ToolResult result = runTool(exe, args, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<uint8_t> bytes = dir.read("srec-image.bin");
    std::filesystem::remove(dir.file("srec-image.bin"));
    return bytes;
}

// The image of the given pieces (byte address, bytes) from address 0, the
// gaps as zero bytes; a later piece overwrites an earlier one.
inline std::vector<uint8_t> imageOf(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> &pieces)
{
    std::vector<uint8_t> image;
    for (const auto &[start, bytes] : pieces) {
        if (image.size() < start + bytes.size())
            image.resize(start + bytes.size(), 0);
        for (size_t i = 0; i < bytes.size(); ++i)
            image[start + i] = bytes[i];
    }
    return image;
}
