// Whole-program runs of the linker up to and including allocation: objects
// and libraries built by the fixture builder, a command file, and the exit
// code, console text and error map file that come out.

#include "link_fixture.h"
#include "linkerfixture.h"

#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<uint8_t> bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

// Every link below that should get through allocation keeps one reference
// that nothing defines, so it fails after allocation and the error map is
// what it leaves behind.
const char *const UNRESOLVED = "nowhere";

ToolResult link(const TempDir &dir, const std::vector<std::string> &args)
{
    return runTool(TARVOK_EXE, args, dir.path());
}

// The console of a failed link: banner, the messages, the counts and the
// empty line after them.
std::vector<std::string> console(const std::vector<std::string> &errors)
{
    std::vector<std::string> lines = {"TARVOK v2.20.00, Linker", "Object-file tool suite for 8-bit microcontrollers", ""};
    for (const std::string &e : errors)
        lines.push_back("Error - " + e);
    lines.push_back("Errors    : " + std::to_string(errors.size()));
    lines.push_back("Warnings  : 0");
    lines.push_back("");
    return lines;
}

// The error map without its time line, which is checked for its form.
std::vector<std::string> readMap(const TempDir &dir, const std::string &name)
{
    std::vector<std::string> lines = splitLines(dir.readText(name));
    if (lines.size() < 2) {
        ADD_FAILURE() << "map too short";
        return lines;
    }
    const std::string created = "Linker Error Map File - Created ";
    EXPECT_EQ(lines[1].substr(0, created.size()), created);
    EXPECT_TRUE(isDateText(lines[1].substr(std::min(lines[1].size(), created.size())))) << lines[1];
    lines.erase(lines.begin() + 1);
    return lines;
}

const char *const HEADER = "    Memory      Start        End              Section    Address Size(Bytes)";
const char *const DASHES = " ---------  ---------  ---------            ---------  ---------  ---------";
const char *const TITLE = "TARVOK v2.20.00, Linker";
const char *const WARN1 = "*Warning* - This is only a partial map file due to a link time error.";
const char *const WARN2 = "   Only sections which were allocated prior to the error are shown below.";

// The partial map: the title and the warnings, then the code pages, share
// banks, data banks and access banks, each kind under its heading with its
// memories' lines (an empty line after each memory); a kind without
// memories is its heading alone.
std::vector<std::string> partialMap(const std::vector<std::string> &codePages, const std::vector<std::string> &shareBanks,
                                    const std::vector<std::string> &dataBanks,
                                    const std::vector<std::string> &accessBanks)
{
    std::vector<std::string> map = {TITLE, "", WARN1, WARN2, ""};
    auto kind = [&](const char *heading, const std::vector<std::string> &memories) {
        map.push_back(heading);
        if (!memories.empty()) {
            map.push_back(HEADER);
            map.push_back(DASHES);
            map.insert(map.end(), memories.begin(), memories.end());
        }
        map.push_back("");
    };
    kind("CODEPAGES:", codePages);
    kind("SHAREBANKS:", shareBanks);
    kind("DATABANKS:", dataBanks);
    kind("ACCESSBANKS:", accessBanks);
    return map;
}

} // namespace

// ---------------------------------------------------------------- placement

TEST(LinkPlacement, AbsoluteAssignedOverlaySharedAndNamedStack)
{
    // 14-bit program words. Absolute "abs" lands in gpr0, "reset" in the
    // protected vectors page its SECTION names; the stack (named bank) goes
    // to gpr1 and "table" to page1 before anything else. ".cinit"
    // ((2 + 6) words) takes page0, whose hole is the smaller. Then largest
    // first: .code (0x20 + 0x10 bytes), ov (the larger part, 10), vars_i
    // (4 data bytes as 4 words), vars (4), shr (2), each into the smallest
    // hole that fits.
    TempDir dir;
    dir.write("t.lkr", std::string(R"(CODEPAGE NAME=vectors START=0x0 END=0x3 PROTECTED
CODEPAGE NAME=page0 START=0x4 END=0x7FF
CODEPAGE NAME=page1 START=0x800 END=0xFFF
DATABANK NAME=gpr0 START=0x20 END=0x6F
SHAREBANK NAME=gprnobnk START=0x70 END=0x7F
SHAREBANK NAME=gprnobnk START=0xF0 END=0xFF
DATABANK NAME=gpr1 START=0xA0 END=0xEF
SECTION NAME=reset ROM=vectors
SECTION NAME=table ROM=page1
STACK SIZE=0x10 RAM=gpr1
)"));
    dir.write("a.o", objectFor(TEST_CORE14, "a.o")
                         .section("reset", SCN_CODE | SCN_ABS, bytes(4), 0x0000)
                         .section(".code", SCN_CODE, bytes(0x20))
                         .section("table", SCN_ROMDATA, bytes(6))
                         .section("vars", SCN_IDATA, bytes(4))
                         .udata("ov", 10, 0, SCN_OVERLAY)
                         .udata("shr", 2, 0, SCN_SHARED)
                         .symbol(UNRESOLVED, 0, int16_t(0), C_EXT)
                         .bytes());
    dir.write("b.o", objectFor(TEST_CORE14, "b.o")
                         .section(".code", SCN_CODE, bytes(0x10))
                         .udata("ov", 6, 0, SCN_OVERLAY)
                         .udata("abs", 4, 0x40, SCN_ABS)
                         .bytes());
    ToolResult r = link(dir, {"t.lkr", "a.o", "b.o", "/m", "t.map"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output.find("can not"), std::string::npos) << r.output;
    std::vector<std::string> expected = partialMap(
        {
            "   vectors     0x0000     0x0003                reset     0x0000     0x0004",
            "",
            "     page0     0x0004     0x07ff               .cinit     0x0004     0x0010",
            "                                                .code     0x000c     0x0030",
            "                                               vars_i     0x0024     0x0008",
            "",
            "     page1     0x0800     0x0fff                table     0x0800     0x0006",
            "",
        },
        {
            "  gprnobnk     0x0070     0x007f                  shr     0x0070     0x0002",
            "",
            "  gprnobnk     0x00f0     0x00ff                                           ",
            "",
        },
        {
            "      gpr0     0x0020     0x006f                   ov     0x0020     0x000a",
            "                                                 vars     0x002a     0x0004",
            "                                                  abs     0x0040     0x0004",
            "",
            "      gpr1     0x00a0     0x00ef               .stack     0x00a0     0x0010",
            "",
        },
        {});
    EXPECT_EQ(readMap(dir, "t.map"), expected);
}

TEST(LinkPlacement, ByteAddressedAlignmentAssignedCinitUnnamedStack)
{
    // 8-bit program words, addressed in bytes. "id" fixes 0x100 of high;
    // ".cinit" (2 + 12 bytes) is named for high and follows it. The stack,
    // its bank not named, takes the start of the only DATABANK. Then code
    // (6) skips the odd location 0x10f, fast (4) goes to the ACCESSBANK,
    // data (3) after the stack, its image data_i (3) into high, and the
    // romdata "one" into the skipped location.
    TempDir dir;
    dir.write("t.lkr", std::string(R"(CODEPAGE NAME=prog START=0x0 END=0xFF
CODEPAGE NAME=high START=0x100 END=0x1FF
ACCESSBANK NAME=acc START=0x0 END=0x5F
DATABANK NAME=gpr0 START=0x60 END=0xFF
SECTION NAME=.cinit ROM=high
STACK SIZE=0x20
)"));
    dir.write("c.o", objectFor(TEST_CORE16E, "c.o")
                         .section("id", SCN_ROMDATA | SCN_ABS, bytes(1), 0x100)
                         .section("one", SCN_ROMDATA, bytes(1))
                         .section("code", SCN_CODE, bytes(6))
                         .section("data", SCN_IDATA, bytes(3))
                         .udata("fast", 4, 0, SCN_ACCESS)
                         .symbol(UNRESOLVED, 0, int16_t(0), C_EXT)
                         .bytes());
    ToolResult r = link(dir, {"t.lkr", "c.o", "/mt.map"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output.find("can not"), std::string::npos) << r.output;
    std::vector<std::string> expected = partialMap(
        {
            "      prog     0x0000     0x00ff                                           ",
            "",
            "      high     0x0100     0x01ff                   id     0x0100     0x0001",
            "                                               .cinit     0x0101     0x000e",
            "                                                  one     0x010f     0x0001",
            "                                                 code     0x0110     0x0006",
            "                                               data_i     0x0116     0x0003",
            "",
        },
        {},
        {
            "      gpr0     0x0060     0x00ff               .stack     0x0060     0x0020",
            "                                                 data     0x0080     0x0003",
            "",
        },
        {
            "       acc     0x0000     0x005f                 fast     0x0000     0x0004",
            "",
        });
    EXPECT_EQ(readMap(dir, "t.map"), expected);
}

TEST(LinkPlacement, FailedAllocationLeavesMapOfWhatWasPlaced)
{
    // A 14-bit link whose largest section fits no bank: ".cinit" is the
    // only section placed before it.
    TempDir dir;
    dir.write("t.lkr", std::string("CODEPAGE NAME=page0 START=0 END=0x7FF\nDATABANK NAME=gpr0 START=0x20 END=0x7F\n"));
    dir.write("a.o", objectFor(TEST_CORE14, "a.o").section(".code", SCN_CODE, bytes(16)).udata("huge", 200).bytes());
    ToolResult r = link(dir, {"t.lkr", "a.o", "/m", "t.map"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(splitLines(r.output), console({"section 'huge' can not fit the section. Section 'huge' length=0x000000c8"}));
    std::vector<std::string> expected = partialMap(
        {
            "     page0     0x0000     0x07ff               .cinit     0x0000     0x0004",
            "",
        },
        {},
        {
            "      gpr0     0x0020     0x007f                                           ",
            "",
        },
        {});
    EXPECT_EQ(readMap(dir, "t.map"), expected);
    EXPECT_FALSE(dir.exists("a.out"));
}

TEST(LinkPlacement, UnwritableMapIsOneMoreError)
{
    TempDir dir;
    dir.write("t.lkr", std::string("CODEPAGE NAME=page0 START=0 END=0x7FF\nDATABANK NAME=gpr0 START=0x20 END=0x7F\n"));
    dir.write("a.o", objectFor(TEST_CORE14, "a.o").udata("huge", 200).bytes());
    ToolResult r = link(dir, {"t.lkr", "a.o", "/m", "no/such/dir/t.map"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(splitLines(r.output), console({"Could not open map file 'no/such/dir/t.map' for writing.",
                                             "section 'huge' can not fit the section. Section 'huge' length=0x000000c8"}));
}

TEST(LinkPlacement, NoMapWithoutSwitch)
{
    TempDir dir;
    dir.write("t.lkr", std::string("CODEPAGE NAME=page0 START=0 END=0x7FF\nDATABANK NAME=gpr0 START=0x20 END=0x7F\n"));
    dir.write("a.o", objectFor(TEST_CORE14, "a.o").udata("huge", 200).bytes());
    ToolResult r = link(dir, {"t.lkr", "a.o"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.o", "t.lkr"}));
}

// ---------------------------------------------------------------- libraries

TEST(LinkPlacement, LibraryMembersFirstLibraryAndTheirOwnNeeds)
{
    // main needs x, defined in both libraries: one.lib's member is taken;
    // it needs w, which only two.lib has. two.lib's x member stays out.
    auto member = [](const std::string &name, const std::string &section, const std::string &def,
                     const std::string &ref) {
        CoffBuilder b = objectFor(TEST_CORE14, name).section(section, SCN_CODE, bytes(2)).symbol(def, 0, section, C_EXT);
        if (!ref.empty())
            b.symbol(ref, 0, int16_t(0), C_EXT);
        return b;
    };
    TempDir dir;
    dir.write("t.lkr", std::string("LIBPATH .\nCODEPAGE NAME=page0 START=0 END=0x7FF\n"));
    dir.write("main.o", objectFor(TEST_CORE14, "main.o")
                            .section("main", SCN_CODE, bytes(8))
                            .symbol("x", 0, int16_t(0), C_EXT)
                            .symbol(UNRESOLVED, 0, int16_t(0), C_EXT)
                            .bytes());
    dir.write("one.lib", ArchiveBuilder().member("xa.o", member("xa.o", "sx", "x", "w")).bytes());
    dir.write("two.lib", ArchiveBuilder()
                             .member("xb.o", member("xb.o", "sx2", "x", ""))
                             .member("w.o", member("w.o", "sw", "w", ""))
                             .bytes());
    ToolResult r = link(dir, {"t.lkr", "main.o", "one.lib", "two.lib", "/m", "t.map"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    // .cinit is 4 bytes; then main (8) and the 2-byte sections by name.
    std::vector<std::string> expected = partialMap(
        {
            "     page0     0x0000     0x07ff               .cinit     0x0000     0x0004",
            "                                                 main     0x0002     0x0008",
            "                                                   sw     0x0006     0x0002",
            "                                                   sx     0x0007     0x0002",
            "",
        },
        {},
        {},
        {});
    EXPECT_EQ(readMap(dir, "t.map"), expected);
}

TEST(LinkPlacement, MalformedLibraryMemberIsRefused)
{
    Coff bad = objectFor(TEST_CORE14, "bad.o").section("b", SCN_CODE, bytes(2)).symbol("b", 0, "b", C_EXT).coff();
    bad.cSymbols[0].n_scnum = 5; // no such section; still a definition for the index
    TempDir dir;
    dir.write("t.lkr", std::string("LIBPATH .\nCODEPAGE NAME=page0 START=0 END=0x7FF\n"));
    dir.write("main.o", objectFor(TEST_CORE14, "main.o").symbol("b", 0, int16_t(0), C_EXT).bytes());
    dir.write("bad.lib", ArchiveBuilder().member("bad.o", bad).bytes());
    ToolResult r = link(dir, {"t.lkr", "main.o", "bad.lib"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(splitLines(r.output), console({"Coff file 'bad.o' symbol[0] has an invalid n_scnum."}));
}

// ---------------------------------------------------------------- failures

TEST(LinkFailures, MessagesAndExitCodes)
{
    const std::string pages = "CODEPAGE NAME=page0 START=0 END=0x7FF\nDATABANK NAME=gpr0 START=0x20 END=0x7F\n";
    struct Case
    {
        std::string name;
        std::string lkr;
        std::vector<std::pair<std::string, CoffBuilder>> objects;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"missing object", pages, {}, {"t.lkr", "gone.o"}, "could not find file 'gone.o'."},
        {"library only in current directory", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o")}},
         {"t.lkr", "a.o", "here.lib"},
         "could not find file 'here.lib'."},
        {"unsupported processor", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o")}, {"b.o", objectFor(TEST_CORE14, "b.o").processor(0, 14, 8)}},
         {"t.lkr", "a.o", "b.o"},
         "Unsupported processor type in file './b.o'"},
        {"processors disagree", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o")}, {"b.o", objectFor(TEST_CORE14B, "b.o")}},
         {"t.lkr", "a.o", "b.o"},
         "processor types do not agree across all input files."},
        {"section types", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o").section("s", SCN_CODE, bytes(2))},
          {"b.o", objectFor(TEST_CORE14, "b.o").udata("s", 2)}},
         {"t.lkr", "a.o", "b.o"},
         "section types for 's' do not match across input files."},
        {"reserved name", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o").section(".cinit", SCN_ROMDATA, bytes(2))}},
         {"t.lkr", "a.o"},
         "file './a.o' has a section '.cinit', the name of the linker's initialised-data table."},
        {"code with RAM", pages + "SECTION NAME=c RAM=gpr0\n",
         {{"a.o", objectFor(TEST_CORE14, "a.o").section("c", SCN_CODE, bytes(2))}},
         {"t.lkr", "a.o"},
         "section 'c' contains code and can not have a 'RAM' memory attribute specified in the linker command file."},
        {"absolute does not fit", pages,
         {{"a.o", objectFor(TEST_CORE14, "a.o").section("c", SCN_CODE | SCN_ABS, bytes(4), 0x900)}},
         {"t.lkr", "a.o"},
         "section 'c' can not fit the absolute section. Section 'c' start=0x00000900, length=0x00000004"},
        {"assigned absolute does not fit", pages + "SECTION NAME=c ROM=page0\n",
         {{"a.o", objectFor(TEST_CORE14, "a.o").section("c", SCN_CODE | SCN_ABS, bytes(8), 0x7FE)}},
         {"t.lkr", "a.o"},
         "section 'c' has a memory 'page0' which can not fit the absolute section. "
         "Section 'c' start=0x000007fe, length=0x00000008."},
        {"shared section named for a DATABANK", pages + "SHAREBANK NAME=gprs START=0x80 END=0x8F\nSECTION NAME=s RAM=gpr0\n",
         {{"a.o", objectFor(TEST_CORE14, "a.o").udata("s", 2, 0, SCN_SHARED)}},
         {"t.lkr", "a.o"},
         "section 's' has a memory 'gpr0' which is not defined in the linker command file."},
        {"assigned does not fit", pages + "SECTION NAME=c ROM=page0\n",
         {{"a.o", objectFor(TEST_CORE14, "a.o").section("c", SCN_CODE, bytes(0x1002))}},
         {"t.lkr", "a.o"},
         "section 'c' has a memory 'page0' which can not fit the section. Section 'c' length=0x00001002."},
        {"odd absolute code", "CODEPAGE NAME=page0 START=0 END=0x7FF\n",
         {{"a.o", objectFor(TEST_CORE16E, "a.o").section("c", SCN_CODE | SCN_ABS, bytes(2), 0x11)}},
         {"t.lkr", "a.o"},
         "Absolute code section 'c' must start at a word-aligned address."},
    };
    for (const Case &c : cases) {
        TempDir dir;
        dir.write("t.lkr", c.lkr);
        dir.write("here.lib", ArchiveBuilder().bytes());
        for (const auto &[name, object] : c.objects)
            dir.write(name, object.bytes());
        ToolResult r = link(dir, c.args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(splitLines(r.output), console({c.message})) << c.name;
    }
}
