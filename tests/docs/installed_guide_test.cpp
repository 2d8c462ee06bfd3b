// The guide's road by hand from an installation alone: the build is
// installed into a scratch prefix, each device directory of the installed
// example is copied where a user would copy it, and every marked block of
// the installed guide runs there with nothing but the prefix's programs on
// the search path, as it runs in the clone.
#include "guideblocks.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace guideblocks;

TEST(InstalledGuide, RoadByHandRunsFromThePrefixAlone)
{
    TempDir prefix;
    ToolResult install = runTool(CMAKE_COMMAND_EXE, {"--install", PROJECT_BUILD_DIR, "--prefix", prefix.path()},
                                 prefix.path());
    ASSERT_EQ(install.exitCode, 0) << install.output;

    const fs::path doc = fs::path(prefix.path()) / "share/doc/tarvok_suite";
    const std::string page = readTextFile(doc / "docs/guide.md");
    ASSERT_FALSE(page.empty()) << "no guide in " << doc;
    std::vector<std::string> errors;
    std::vector<Block> blocks = readBlocks("guide.md", page, errors);
    ASSERT_TRUE(errors.empty()) << errors[0];
    ASSERT_FALSE(blocks.empty());

    // A copy of each device's directory, as the guide says to make one.
    TempDir work;
    for (const auto &device : fs::directory_iterator(doc / "examples"))
        fs::copy(device.path(), fs::path(work.path()) / device.path().filename(), fs::copy_options::recursive);
    for (const Block &b : blocks) {
        ASSERT_TRUE(fs::is_directory(work.file(b.dir))) << b.where << ": the installation has no example '" << b.dir
                                                         << "'";
        ToolResult r = runBlock(b, prefix.file("bin"), work.file(b.dir));
        EXPECT_EQ(r.exitCode, b.exitCode) << b.where << ": the block\n" << b.script << "printed\n" << r.output;
        if (b.hasOutput) {
            EXPECT_TRUE(outputMatches(b.output, r.output)) << b.where << ": the block\n" << b.script << "printed\n"
                                                          << r.output;
        }
    }
}
