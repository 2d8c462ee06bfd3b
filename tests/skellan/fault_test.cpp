// The hex converter when its files fail it: a disk that fills up, an
// executable that is missing or cut short, and 100 MB of noise given as the
// executable. Each run reports its error, ends with exit code 1 and leaves
// every file as it was.

#include "coffbuilder.h"
#include "limitrun.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

const std::string ONE_ERROR = "Errors    : 1\nWarnings  : 0\n\n";

// A 14-bit program of 64 words at word 0x100: its hex file holds an
// extended address record, eight data records of 16 bytes (43 characters
// with the line end) and the end record, far more than 100 bytes.
Bytes program()
{
    Bytes words(128, 0x3F);
    return CoffBuilder().flags(F_EXEC).processor(0x2A10, 14, 8).section(".code", SCN_CODE, words, 0x100).bytes();
}

LimitedResult skellan(const TempDir &dir, const std::vector<std::string> &args, uint64_t fileSizeLimit = 0)
{
    return runLimited(SKELLAN_EXE, args, dir.path(), fileSizeLimit);
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(HexConverterFullDisk, EveryFormatLeavesTheOldFiles)
{
    // The write that passes the cap (ulimit -f) fails as on a full disk,
    // and the message names the cause: the converter is started with
    // SIGXFSZ at its default action, which would end it unseen.
    const std::pair<const char *, const char *> cases[] = {
        {"INHX32", "prog.hex"}, {"INHX8M", "prog.hex"}, {"INHX8S", "prog.hxl"}};
    for (const auto &[format, failing] : cases) {
        TempDir dir;
        dir.write("prog.cof", program());
        dir.write("prog.hex", std::string("old hex\n"));
        dir.write("prog.hxl", std::string("old low\n"));
        dir.write("prog.hxh", std::string("old high\n"));
        auto before = snapshot(dir);

        LimitedResult r = skellan(dir, {"/a", format, "prog.cof"}, 100);
        EXPECT_EQ(r.exitCode, 1) << format << "\n" << r.output;
        EXPECT_TRUE(endsWith(r.output, "Error - Could not write hex file '" + std::string(failing) +
                                           "': File too large.\n" + ONE_ERROR))
            << format << "\n" << r.output;
        EXPECT_EQ(snapshot(dir), before) << format; // no file replaced, no temporary file
    }
}

TEST(HexConverterInputs, MissingExecutable)
{
    TempDir dir;
    LimitedResult r = skellan(dir, {"gone.cof"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.output, "Error - Could not open Coff file 'gone.cof' for reading.\n" + ONE_ERROR))
        << r.output;
    EXPECT_EQ(dir.list(), std::vector<std::string>{});
}

TEST(HexConverterInputs, TruncatedExecutableWritesNothing)
{
    // Cut inside the raw data that the section header promises.
    TempDir dir;
    Bytes cut = program();
    cut.resize(36 + 40 + 50);
    dir.write("prog.cof", cut);
    LimitedResult r = skellan(dir, {"prog.cof"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.output, "Error - Coff file 'prog.cof' could not read raw data.\n" + ONE_ERROR)) << r.output;
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.cof"});
}

TEST(HexConverterNoise, HundredMegabyteExecutableIsRefusedWithLittleMemory)
{
    TempDir dir;
    writeNoiseFile(dir.file("noise.cof"), 100u << 20, {{0, {0x34, 0x12}}, {16, {16, 0}}});
    LimitedResult r = skellan(dir, {"noise.cof"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Error - Coff file 'noise.cof' "), std::string::npos) << r.output;
    EXPECT_LT(r.peakKb, 64u << 10);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"noise.cof"});
}
