// The marked blocks of a page in docs/: reading them and comparing a run's
// output with the output a page shows. The marks are described in
// guide_blocks_test.cpp, which runs every page's blocks; the installed
// guide's test runs the guide's blocks again from an installation.
#pragma once

#include "tooltest.h"

#include <regex>
#include <string>
#include <vector>

namespace guideblocks {

struct Block
{
    std::string where; // page:line of the run mark
    std::string dir;
    int exitCode = 0;
    std::string script;
    bool hasOutput = false;
    std::vector<std::string> output;
};

inline std::string trimEnd(std::string s)
{
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
}

// The runnable blocks of a page; a mark that does not stand right before a
// fence of the right kind, or an output block without a run block before
// it, is an error.
inline std::vector<Block> readBlocks(const std::string &page, const std::string &text, std::vector<std::string> &errors)
{
    static const std::regex RUN(R"(<!-- run: ([A-Za-z0-9_./-]+)(, exit ([0-9]+))? -->)");
    std::vector<std::string> lines = splitLines(text);
    std::vector<Block> blocks;
    bool outputAllowed = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = trimEnd(lines[i]);
        const std::string where = page + ":" + std::to_string(i + 1);
        bool isOutput = line == "<!-- output -->";
        std::smatch m;
        bool isRun = std::regex_match(line, m, RUN);
        if (!isRun && !isOutput) {
            if (line.find("<!-- run") != std::string::npos || line.find("<!-- output") != std::string::npos)
                errors.push_back(where + ": a mark that is neither '<!-- run: DIR -->' nor '<!-- output -->'");
            // Every command example of the guide is run.
            if (line == "```sh")
                errors.push_back(where + ": a ```sh block without a run mark");
            continue;
        }
        const char *fence = isRun ? "```sh" : "```text";
        if (i + 1 >= lines.size() || trimEnd(lines[i + 1]) != fence) {
            errors.push_back(where + ": the mark is not followed by a " + fence + " block");
            continue;
        }
        std::vector<std::string> body;
        size_t j = i + 2;
        for (; j < lines.size() && trimEnd(lines[j]) != "```"; ++j)
            body.push_back(lines[j]);
        if (j == lines.size()) {
            errors.push_back(where + ": the block does not end");
            break;
        }
        i = j;
        if (isRun) {
            Block b;
            b.where = where;
            b.dir = m[1];
            b.exitCode = m[3].matched ? std::stoi(m[3]) : 0;
            for (const std::string &l : body)
                b.script += l + "\n";
            blocks.push_back(b);
            outputAllowed = true;
        } else if (!outputAllowed) {
            errors.push_back(where + ": an output block without a run block of its own before it");
        } else {
            blocks.back().hasOutput = true;
            blocks.back().output = body;
            outputAllowed = false;
        }
    }
    return blocks;
}

inline bool matchFrom(const std::vector<std::string> &expected, size_t e, const std::vector<std::string> &actual, size_t a)
{
    if (e == expected.size())
        return a == actual.size();
    const std::string &want = expected[e];
    if (want == "...") {
        for (size_t skip = a; skip <= actual.size(); ++skip)
            if (matchFrom(expected, e + 1, actual, skip))
                return true;
        return false;
    }
    if (a == actual.size())
        return false;
    bool same = want.size() > 3 && want.ends_with("...") ? actual[a].starts_with(want.substr(0, want.size() - 3))
                                                         : actual[a] == want;
    return same && matchFrom(expected, e + 1, actual, a + 1);
}

// The output as the guide shows it: blanks at line ends and empty lines at
// the end do not count.
inline std::vector<std::string> shown(const std::vector<std::string> &lines)
{
    std::vector<std::string> out;
    for (const std::string &l : lines)
        out.push_back(trimEnd(l));
    while (!out.empty() && out.back().empty())
        out.pop_back();
    return out;
}

inline bool outputMatches(const std::vector<std::string> &expected, const std::string &actual)
{
    return matchFrom(shown(expected), 0, shown(splitLines(actual)), 0);
}

// Runs a block with bash in `dir`, the directories of `path` before the
// system's search path, and no standard input.
inline ToolResult runBlock(const Block &b, const std::string &path, const std::string &dir)
{
    std::string script = "exec </dev/null\nset -e\nexport PATH='" + path + "':\"$PATH\"\n" + b.script;
    return runTool("/bin/bash", {"-c", script}, dir);
}

} // namespace guideblocks
