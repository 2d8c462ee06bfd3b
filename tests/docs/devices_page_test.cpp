// The device page of the guide (docs/devices.md) against the processor
// table: the tables between the page's two markers are generated here from
// the table's functions and must match the page line for line, so the page
// cannot drift from the programs. On a difference the test writes the page
// as it should be beside the test program and names the command that puts
// it in place.
#include "mgproc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string BEGIN_MARK = "<!-- begin: generated from the processor table -->";
const std::string END_MARK = "<!-- end: generated from the processor table -->";

struct FamilyText
{
    DeviceFamily family;
    const char *name;
    const char *unit; // what a program-memory location holds
};
const FamilyText FAMILIES[] = {
    {FAMILY_CORE12, "12-bit", "words"},
    {FAMILY_CORE14, "14-bit", "words"},
    {FAMILY_CORE16, "16-bit", "words"},
    {FAMILY_CORE16E, "byte-addressed", "bytes"},
};

std::string hex(uint32_t value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, unsigned(value));
    return buf;
}

std::string row(const std::vector<std::string> &cells)
{
    std::string line = "|";
    for (const std::string &cell : cells)
        line += " " + cell + " |";
    return line;
}

// The lowest in-bank offset that holds a general-purpose register.
uint32_t gprFrom(ProcessorCode code)
{
    uint32_t offset = 0;
    while (offset < proc_bank_size(code) && !proc_is_gpr(code, offset))
        ++offset;
    return offset;
}

// The two tables of the page: the families, then every device, grouped by
// family and sorted by name.
std::vector<std::string> generatedLines()
{
    std::vector<std::string> lines = {
        "| Family | Program location | Page | Data bank | Highest program address | Highest data address |",
        "|---|---|---|---|---|---|",
    };
    for (const FamilyText &f : FAMILIES) {
        ProcessorCode code = PROC_FIRST_CODE;
        while (proc_family(code) != f.family)
            ++code;
        std::string location = f.family == FAMILY_CORE16E ? "byte" : std::to_string(proc_rom_width(code)) + "-bit word";
        lines.push_back(row({f.name, location, std::to_string(proc_page_size(code)) + " " + f.unit,
                             std::to_string(proc_bank_size(code)) + " bytes", hex(proc_max_rom_address(code), 1),
                             hex(proc_max_ram_address(code), 1)}));
    }
    lines.insert(lines.end(), {
        "",
        "| Device | Family | Type word | Program memory | Pages | Data memory | Banks | General-purpose registers from |",
        "|---|---|---|---|---|---|---|---|",
    });
    for (const FamilyText &f : FAMILIES) {
        std::vector<ProcessorCode> codes;
        for (unsigned code = PROC_FIRST_CODE; code <= PROC_LAST_CODE; ++code)
            if (proc_family(ProcessorCode(code)) == f.family)
                codes.push_back(ProcessorCode(code));
        std::sort(codes.begin(), codes.end(),
                  [](ProcessorCode a, ProcessorCode b) { return std::string(proc_name(a)) < proc_name(b); });
        for (ProcessorCode code : codes)
            lines.push_back(row({proc_name(code), f.name, hex(proc_type_word(code), 4),
                                 std::to_string(proc_rom_size(code)) + " " + f.unit,
                                 std::to_string(proc_page_count(code)), std::to_string(proc_ram_size(code)) + " bytes",
                                 std::to_string(proc_bank_count(code)), hex(gprFrom(code), 2)}));
    }
    return lines;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Where the page and the generated tables first differ, or empty when the
// lines between the markers are the generated ones.
std::string firstDifference(const std::vector<std::string> &page, const std::vector<std::string> &generated)
{
    auto begin = std::find(page.begin(), page.end(), BEGIN_MARK);
    auto end = std::find(begin, page.end(), END_MARK);
    if (begin == page.end() || end == page.end())
        return "the page lacks the lines '" + BEGIN_MARK + "' and '" + END_MARK + "'";
    size_t first = size_t(begin - page.begin()) + 1;
    size_t count = size_t(end - begin) - 1;
    for (size_t i = 0; i < std::max(count, generated.size()); ++i) {
        std::string line = "line " + std::to_string(first + i + 1) + ": ";
        if (i >= count)
            return line + "the page's table ends; the processor table goes on with '" + generated[i] + "'";
        if (i >= generated.size())
            return line + "the page has '" + page[first + i] + "' where the processor table has ended";
        if (page[first + i] != generated[i])
            return line + "the page has '" + page[first + i] + "', the processor table gives '" + generated[i] + "'";
    }
    return "";
}

// The page with the lines between its markers replaced by the generated ones.
std::string regenerated(const std::vector<std::string> &page, const std::vector<std::string> &generated)
{
    std::string text;
    bool inside = false;
    for (const std::string &line : page) {
        if (line == END_MARK)
            inside = false;
        if (!inside)
            text += line + "\n";
        if (line == BEGIN_MARK) {
            inside = true;
            for (const std::string &g : generated)
                text += g + "\n";
        }
    }
    return text;
}

} // namespace

TEST(DevicesPage, ListsEveryDeviceOfTheProcessorTable)
{
    const std::string path = std::string(DOCS_DIR) + "/devices.md";
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot read " << path;
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> page = linesOf(text.str());
    std::vector<std::string> generated = generatedLines();

    std::string difference = firstDifference(page, generated);
    if (!difference.empty()) {
        // Beside the test program, in the build tree.
        std::string fixed = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "devices.md").string();
        std::ofstream(fixed) << regenerated(page, generated);
        FAIL() << path << " differs from the processor table at " << difference
               << ".\nThe page as the table gives it is in " << fixed << "; regenerate with:\n  cp " << fixed << " "
               << path;
    }
}

TEST(DevicesPage, FindsEveryKindOfDifference)
{
    std::vector<std::string> generated = generatedLines();
    // Six lines of the family table and its blank line and device heading,
    // then one row per device.
    ASSERT_EQ(generated.size(), 6u + 3u + (PROC_LAST_CODE - PROC_FIRST_CODE + 1u));
    std::vector<std::string> good = {"# Devices", "", BEGIN_MARK};
    good.insert(good.end(), generated.begin(), generated.end());
    good.insert(good.end(), {END_MARK, "", "More text."});

    struct Case
    {
        const char *name;
        std::function<void(std::vector<std::string> &)> change;
        const char *found; // a part of the message; empty for no difference
    };
    const size_t row = 3 + 9 + 40; // a device row in the middle
    const Case cases[] = {
        {"unchanged", [](std::vector<std::string> &) {}, ""},
        {"text outside the markers", [](std::vector<std::string> &p) { p.back() = "Other text."; }, ""},
        {"a cell of a row", [&](std::vector<std::string> &p) { p[row].replace(p[row].find(" | 0x") + 3, 6, "0x0000"); },
         "line 53: the page has '"},
        {"a row missing", [&](std::vector<std::string> &p) { p.erase(p.begin() + row); }, "line 53: the page has '"},
        {"a row added at the end",
         [&](std::vector<std::string> &p) { p.insert(p.end() - 3, "| VOQX | 12-bit | 0x0001 |"); },
         "the processor table has ended"},
        {"the last row missing", [&](std::vector<std::string> &p) { p.erase(p.end() - 4); }, "the page's table ends"},
        {"no end marker", [](std::vector<std::string> &p) { p.erase(p.end() - 3); }, "the page lacks the lines"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> page = good;
        c.change(page);
        std::string difference = firstDifference(page, generated);
        if (*c.found == '\0') {
            EXPECT_EQ(difference, "") << c.name;
            continue;
        }
        EXPECT_NE(difference.find(c.found), std::string::npos) << c.name << ": " << difference;
        // The page written for regenerating it matches, where it has its markers.
        if (difference.find("lacks") == std::string::npos) {
            EXPECT_EQ(firstDifference(linesOf(regenerated(page, generated)), generated), "") << c.name;
        }
    }
}
