// The error map file written after allocation.

#include "linkerfixture.h"

#include "diag.h"
#include "tooltest.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

std::vector<uint8_t> bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

// Two CODEPAGEs and one DATABANK on a 14-bit processor with .code (16
// bytes), idata vars (4 bytes) and udata buf (8 bytes), plus extra udata.
void setUp(TestLinker &l, const std::string &map, uint32_t extraUdata)
{
    l.codePage("page0", 0x0000, 0x07FF);
    l.codePage("page1", 0x0800, 0x0FFF);
    l.dataBank("gpr0", 0x20, 0x7F);
    std::string err;
    SUITE_ASSERT(l.setMapFile(map, err));
    CoffBuilder b = objectFor(TEST_CORE14, "main.o")
                        .section(".code", SCN_CODE, bytes(16))
                        .section("vars", SCN_IDATA, bytes(4))
                        .udata("buf", 8);
    if (extraUdata)
        b.udata("huge", extraUdata);
    l.addInput(b);
}

// Everything but the line with the time, which is checked for its form.
std::vector<std::string> readMap(const TempDir &dir, const std::string &name)
{
    std::vector<std::string> lines = splitLines(dir.readText(name));
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() >= 2) {
        EXPECT_TRUE(std::regex_match(lines[1], std::regex("Linker Error Map File - Created "
                                                          "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
                                                          "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
            << lines[1];
        lines[1] = "<time>";
    }
    return lines;
}

const char *const HEADER = "    Memory      Start        End              Section    Address Size(Bytes)";
const char *const DASHES = " ---------  ---------  ---------            ---------  ---------  ---------";

} // namespace

TEST(LinkerErrorMap, AfterSuccessfulAllocation)
{
    // ".cinit" (2 + 1 x 6 bytes, as words: 16 bytes) goes first to page0;
    // then .code (16), buf (8), vars_i (8) and vars (4) in that order.
    TempDir dir;
    TestLinker l;
    setUp(l, dir.file("out.map"), 0);
    std::string err;
    ASSERT_TRUE(l.prepare(err)) << err;
    ASSERT_TRUE(l.mapSections(err)) << err;
    l.writeErrorMapFile();
    std::vector<std::string> expected = {
        "TARVOK v2.20.00, Linker",
        "<time>",
        "",
        "*Warning* - This is only a partial map file due to a link time error.",
        "   Only sections which were allocated prior to the error are shown below.",
        "",
        "CODEPAGES:",
        HEADER,
        DASHES,
        "     page0     0x0000     0x07ff               .cinit     0x0000     0x0010",
        "                                                .code     0x0008     0x0010",
        "                                               vars_i     0x0010     0x0008",
        "",
        "     page1     0x0800     0x0fff                                           ",
        "",
        "",
        "SHAREBANKS:",
        "",
        "DATABANKS:",
        HEADER,
        DASHES,
        "      gpr0     0x0020     0x007f                  buf     0x0020     0x0008",
        "                                                 vars     0x0028     0x0004",
        "",
        "",
        "ACCESSBANKS:",
        "",
    };
    EXPECT_EQ(readMap(dir, "out.map"), expected);
}

TEST(LinkerErrorMap, AfterFailedAllocationShowsWhatWasPlaced)
{
    // huge (200 bytes) is the largest section, so it is tried right after
    // ".cinit" and fails; nothing else has been placed by then.
    TempDir dir;
    TestLinker l;
    setUp(l, dir.file("out.map"), 200);
    std::string err;
    ASSERT_TRUE(l.prepare(err)) << err;
    EXPECT_FALSE(l.mapSections(err));
    EXPECT_EQ(err, "section 'huge' can not fit the section. Section 'huge' length=0x000000c8");
    l.writeErrorMapFile();
    std::vector<std::string> expected = {
        "TARVOK v2.20.00, Linker",
        "<time>",
        "",
        "*Warning* - This is only a partial map file due to a link time error.",
        "   Only sections which were allocated prior to the error are shown below.",
        "",
        "CODEPAGES:",
        HEADER,
        DASHES,
        "     page0     0x0000     0x07ff               .cinit     0x0000     0x0010",
        "",
        "     page1     0x0800     0x0fff                                           ",
        "",
        "",
        "SHAREBANKS:",
        "",
        "DATABANKS:",
        HEADER,
        DASHES,
        "      gpr0     0x0020     0x007f                                           ",
        "",
        "",
        "ACCESSBANKS:",
        "",
    };
    EXPECT_EQ(readMap(dir, "out.map"), expected);
}

TEST(LinkerErrorMap, NothingWithoutMapFile)
{
    TempDir dir;
    TestLinker l;
    l.codePage("page0", 0x0000, 0x07FF);
    l.writeErrorMapFile();
    EXPECT_TRUE(dir.list().empty());
}

TEST(LinkerErrorMap, UnwritableFileIsReportedNotFatal)
{
    TempDir dir;
    TestLinker l;
    std::string name = dir.file("no/such/dir/out.map");
    std::string err;
    ASSERT_TRUE(l.setMapFile(name, err));
    uint32_t errors = errorCount();
    l.writeErrorMapFile();
    EXPECT_EQ(errorCount(), errors + 1);
}
