// Runs the guide's examples: every ```sh block of a page in docs/, each
// marked as runnable, in the order of the page, checking its exit status
// and, where the page shows the output, that output. So no example of the
// guide can go stale.
//
// The marks are HTML comments, which a Markdown viewer does not show, each
// on the line right before the fence of its block:
//
//   <!-- run: voq410 -->            a ```sh block run with bash in the
//   <!-- run: voq410, exit 1 -->    directory voq410, which must end with
//                                   exit code 0, or with the code given;
//                                   the block stops at its first failing
//                                   command
//   <!-- output -->                 a ```text block: what the run block
//                                   before it prints (standard output and
//                                   standard error)
//
// The blocks of one page share a scratch directory that holds, for each
// device of the example, a directory of its sources, command file and
// objects, as scripts/example.sh lays them out in build/example-out/; the
// four programs are on the search path. In an output block, blanks at the
// end of a line and empty lines at the end are not compared, a line "..."
// stands for any number of lines and a line ending in "..." for one line
// that begins with the text before the dots (a date, say).
#include "guideblocks.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace guideblocks;

namespace {

// A scratch directory with the example laid out per device, and one with
// the four programs.
struct Workshop
{
    TempDir tools;
    TempDir work;

    Workshop()
    {
        for (const char *exe : {TARVOK_EXE, SKELLAN_EXE, DORVANE_EXE, QUESSEL_EXE})
            fs::create_symlink(exe, tools.file(fs::path(exe).filename().string()));
        // A device is a directory of objects beside a directory of sources.
        for (const auto &objects : fs::directory_iterator(EXAMPLE_OBJECT_DIR)) {
            const std::string device = objects.path().filename().string();
            if (!objects.is_directory() || !fs::is_directory(fs::path(EXAMPLE_SOURCE_DIR) / device))
                continue;
            const fs::path dir = work.file(device);
            fs::create_directory(dir);
            for (const auto &f : fs::directory_iterator(objects.path()))
                if (f.path().extension() == ".o")
                    fs::copy_file(f.path(), dir / f.path().filename());
            for (const auto &f : fs::directory_iterator(fs::path(EXAMPLE_SOURCE_DIR) / device))
                if (f.is_regular_file())
                    fs::copy_file(f.path(), dir / f.path().filename());
        }
    }

    ToolResult run(const Block &b) const { return runBlock(b, tools.path(), work.file(b.dir)); }
};

} // namespace

TEST(GuideBlocks, MarksAndOutputsAreReadAsWritten)
{
    struct Case
    {
        const char *name;
        const char *page;
        size_t blocks;
        const char *error; // a part of the first error; empty for none
    };
    const Case cases[] = {
        {"run and output", "<!-- run: a, exit 2 -->\n```sh\nx\n```\ntext\n<!-- output -->\n```text\ny\n```\n", 1, ""},
        {"unmarked text block", "```text\ny\n```\n", 0, ""},
        {"unmarked sh block", "```sh\nx\n```\n", 0, "a ```sh block without a run mark"},
        {"mark before prose", "<!-- run: a -->\ntext\n```sh\nx\n```\n", 0, "is not followed by a ```sh block"},
        {"output without run", "<!-- output -->\n```text\ny\n```\n", 0, "without a run block"},
        {"second output", "<!-- run: a -->\n```sh\nx\n```\n<!-- output -->\n```text\ny\n```\n<!-- output -->\n"
                          "```text\ny\n```\n", 1, "without a run block"},
        {"misspelt mark", "<!-- run voq410 -->\n```sh\nx\n```\n", 0, "a mark that is neither"},
        {"open block", "<!-- run: a -->\n```sh\nx\n", 0, "does not end"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> errors;
        std::vector<Block> blocks = readBlocks("p.md", c.page, errors);
        EXPECT_EQ(blocks.size(), c.blocks) << c.name;
        if (*c.error == '\0')
            EXPECT_TRUE(errors.empty()) << c.name << ": " << (errors.empty() ? "" : errors[0]);
        else
            EXPECT_TRUE(!errors.empty() && errors[0].find(c.error) != std::string::npos) << c.name;
    }
    std::vector<std::string> errors;
    Block b = readBlocks("p.md", "<!-- run: voq410, exit 2 -->\n```sh\nx\ny\n```\n<!-- output -->\n```text\nz\n```\n",
                         errors)
                  .at(0);
    EXPECT_EQ(b.where, "p.md:1");
    EXPECT_EQ(b.dir, "voq410");
    EXPECT_EQ(b.exitCode, 2);
    EXPECT_EQ(b.script, "x\ny\n");
    EXPECT_EQ(b.output, std::vector<std::string>{"z"});
}

TEST(GuideBlocks, OutputIsComparedWithItsElisions)
{
    struct Case
    {
        std::vector<std::string> expected;
        const char *actual;
        bool match;
    };
    const Case cases[] = {
        {{"a", "b"}, "a\nb\n", true},
        {{"a", "b  "}, "a  \nb\n\n\n", true}, // blanks at line ends, empty lines at the end
        {{"a", "b"}, "a\nc\n", false},
        {{"a"}, "a\nb\n", false},
        {{"a", "b"}, "a\n", false},
        {{"a", "...", "d"}, "a\nb\nc\nd\n", true},
        {{"a", "...", "d"}, "a\nd\n", true},
        {{"a", "...", "d"}, "a\nb\nc\n", false},
        {{"...", "c"}, "a\nc\nb\nc\n", true},
        {{"Created ...", "b"}, "Created Wed Dec  9 2026\nb\n", true},
        {{"Created ...", "b"}, "Made Wed\nb\n", false},
        {{"Created ..."}, "Created now\nextra\n", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(outputMatches(c.expected, c.actual), c.match) << c.actual;
}

TEST(GuideBlocks, EveryMarkedBlockRunsAsShown)
{
    std::vector<fs::path> pages;
    for (const auto &f : fs::directory_iterator(DOCS_DIR))
        if (f.path().extension() == ".md")
            pages.push_back(f.path());
    std::sort(pages.begin(), pages.end());

    size_t ran = 0;
    for (const fs::path &page : pages) {
        std::vector<std::string> errors;
        std::vector<Block> blocks = readBlocks("docs/" + page.filename().string(), readTextFile(page), errors);
        for (const std::string &e : errors)
            ADD_FAILURE() << e;
        if (blocks.empty())
            continue;
        Workshop shop;
        for (const Block &b : blocks) {
            ++ran;
            if (!fs::is_directory(shop.work.file(b.dir))) {
                ADD_FAILURE() << b.where << ": no directory '" << b.dir << "' in the example's layout";
                continue;
            }
            ToolResult r = shop.run(b);
            EXPECT_EQ(r.exitCode, b.exitCode) << b.where << ": the block\n" << b.script << "printed\n" << r.output;
            if (b.hasOutput) {
                EXPECT_TRUE(outputMatches(b.output, r.output))
                    << b.where << ": the block\n" << b.script << "printed\n" << r.output;
            }
        }
    }
    // Marks that no longer parse would leave nothing to run.
    EXPECT_GT(ran, 0u);
}
