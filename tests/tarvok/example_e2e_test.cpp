// The bundled blink example taken down the road the example script takes:
// the generated objects as an assembler would have written them, the
// library made by the librarian, and the link under the device's command
// file.
#include "archive.h"
#include "coff.h"
#include "coff_format.h"
#include "mgproc.h"
#include "reloctype.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string SOURCES = EXAMPLE_SOURCE_DIR;
const std::string OBJECTS = EXAMPLE_OBJECT_DIR;

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<Coff> object(const std::string &device, const std::string &base)
{
    return Coff::make(OBJECTS + "/" + device + "/" + base + ".o");
}

std::vector<uint8_t> rawData(const Coff &c, const std::string &section)
{
    auto it = c.cRawData.find(section);
    if (it == c.cRawData.end())
        return {};
    return std::vector<uint8_t>(it->second.data(), it->second.data() + it->second.size());
}

// (offset, symbol name, type) of every relocation of the section.
struct Fix
{
    uint32_t offset;
    std::string symbol;
    uint16_t type;
    bool operator==(const Fix &o) const = default;
};
std::vector<Fix> fixes(const Coff &c, const std::string &section)
{
    std::vector<Fix> out;
    for (const reloc &r : c.cReloc.at(section))
        out.push_back({r.r_vaddr, Coff::getName(c.cSymbols.at(r.r_symndx), c.cStrTbl), r.r_type});
    return out;
}

// (line, address) of every line entry of the section, and the source each
// names.
std::vector<std::pair<uint16_t, uint32_t>> lines(const Coff &c, const std::string &section,
                                                 std::vector<std::string> &sources)
{
    std::vector<std::pair<uint16_t, uint32_t>> out;
    for (const coff_lineno &l : c.cLineInfo.at(section)) {
        out.push_back({l.l_lnno, l.l_paddr});
        uint8_t slot[18];
        packSyment(slot, c.cSymbols.at(l.l_srcndx + 1));
        aux_file a;
        unpackAux(slot, a);
        sources.push_back(Coff::getName(a, c.cStrTbl));
    }
    return out;
}

// The ".file" sources of the object in symbol order, with their include lines.
std::vector<std::pair<std::string, uint32_t>> files(const Coff &c)
{
    std::vector<std::pair<std::string, uint32_t>> out;
    for (size_t i = 0; i + 1 < c.cSymbols.size(); i++) {
        if (c.cAuxKind[i] != 0 || c.cSymbols[i].n_sclass != C_FILE)
            continue;
        uint8_t slot[18];
        packSyment(slot, c.cSymbols[i + 1]);
        aux_file a;
        unpackAux(slot, a);
        out.push_back({Coff::getName(a, c.cStrTbl), a.x_incline});
    }
    return out;
}

TEST(ExampleObjects, Core14MainHoldsTheWordsRelocationsAndLinesOfItsSource)
{
    auto c = object("voq410", "main");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cOptHdr.proc_type, proc_type_word(0x07));
    EXPECT_EQ((std::vector<std::pair<std::string, uint32_t>>{{"main.asm", 0}, {"defs.inc", 2}}), files(*c));

    // bcf 3,5 (banksel) / movlw 5 / movwf 0 / call 0 / call 0 / goto 0
    EXPECT_EQ((std::vector<uint8_t>{0x83, 0x12, 0x05, 0x30, 0x80, 0x00, 0x00, 0x20, 0x00, 0x20, 0x00, 0x28}),
              rawData(*c, "main_code"));
    EXPECT_EQ((std::vector<Fix>{{0, "count", RELOCT_BANKSEL},
                                {4, "count", RELOCT_F},
                                {6, "blink", RELOCT_CALL},
                                {8, "delay", RELOCT_CALL},
                                {10, "loop", RELOCT_GOTO}}),
              fixes(*c, "main_code"));
    std::vector<std::string> sources;
    // Word addresses: one per instruction.
    EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>>{{14, 0}, {15, 1}, {16, 2}, {17, 3}, {18, 4}, {19, 5}}),
              lines(*c, "main_code", sources));
    EXPECT_EQ(std::vector<std::string>(6, "main.asm"), sources);

    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x28}), rawData(*c, "reset"));
    EXPECT_EQ((std::vector<uint8_t>{0x55, 0xAA}), rawData(*c, "main_idata"));
    EXPECT_TRUE(Coff::isIdata(c->cScnHdr.at("main_idata")));
}

TEST(ExampleObjects, Core14LibraryRoutineUsesASharedCounter)
{
    auto c = object("voq410", "delay");
    ASSERT_TRUE(c);
    // movlw 0xff / movwf 0 / decfsz 0,f / goto 0 / return
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0x30, 0x80, 0x00, 0x80, 0x0B, 0x00, 0x28, 0x08, 0x00}),
              rawData(*c, "delay_code"));
    EXPECT_TRUE(Coff::isUdata(c->cScnHdr.at("delay_shr")));
    EXPECT_TRUE(Coff::isShared(c->cScnHdr.at("delay_shr")));
    EXPECT_EQ(1u, rawData(*c, "delay_shr").size());
    EXPECT_EQ((std::vector<Fix>{{2, "dcount", RELOCT_F}, {4, "dcount", RELOCT_F}, {6, "dloop", RELOCT_GOTO}}),
              fixes(*c, "delay_code"));
}

TEST(ExampleObjects, ByteAddressedMainCountsBytesAndSplitsLongCalls)
{
    auto c = object("voq850", "main");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cOptHdr.proc_type, proc_type_word(0x81));
    // goto: first word and its second word
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xEF, 0x00, 0xF0}), rawData(*c, "reset"));
    EXPECT_EQ((std::vector<Fix>{{0, "start", RELOCT_GOTO}, {2, "start", RELOCT_CALL2}}), fixes(*c, "reset"));
    // movlb 0 / movlw 5 / movwf 0,BANKED / call (2 words) / call (2 words) / bra 0
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x01, 0x05, 0x0E, 0x00, 0x6F, 0x00, 0xEC, 0x00, 0xF0, 0x00, 0xEC, 0x00,
                                    0xF0, 0x00, 0xD0}),
              rawData(*c, "main_code"));
    EXPECT_EQ((std::vector<Fix>{{0, "count", RELOCT_BANKSEL},
                                {4, "count", RELOCT_F},
                                {6, "blink", RELOCT_CALL},
                                {8, "blink", RELOCT_CALL2},
                                {10, "delay", RELOCT_CALL},
                                {12, "delay", RELOCT_CALL2},
                                {14, "loop", RELOCT_BRA}}),
              fixes(*c, "main_code"));
    std::vector<std::string> sources;
    // Byte addresses; a two-word call takes four.
    EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>>{{14, 0}, {15, 2}, {16, 4}, {17, 6}, {18, 10}, {19, 14}}),
              lines(*c, "main_code", sources));
    auto loop = std::find_if(c->cSymbols.begin(), c->cSymbols.end(), [&](const coff_syment &s) {
        return s.n_sclass == C_LABEL && Coff::getName(s, c->cStrTbl) == "loop";
    });
    ASSERT_NE(loop, c->cSymbols.end());
    EXPECT_EQ(6u, loop->n_value);
}

TEST(ExampleObjects, ByteAddressedUtilMovesThePatternToTheFixedPort)
{
    auto c = object("voq850", "util");
    ASSERT_TRUE(c);
    // movff 0,0xf81 / movlb 0 / decf 0,F,BANKED / return 0
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xC0, 0x81, 0xFF, 0x00, 0x01, 0x00, 0x07, 0x12, 0x00}),
              rawData(*c, "util_code"));
    EXPECT_EQ((std::vector<Fix>{{0, "pattern", RELOCT_FF1}, {4, "count", RELOCT_BANKSEL}, {6, "count", RELOCT_F}}),
              fixes(*c, "util_code"));
}

// Copies the device's command file and objects into a scratch directory
// and makes the library there.
void prepare(const TempDir &dir, const std::string &device)
{
    for (const char *base : {"main", "util", "delay"})
        dir.write(std::string(base) + ".o", readFile(OBJECTS + "/" + device + "/" + base + ".o"));
    dir.write(device + ".lkr", readFile(SOURCES + "/" + device + "/" + device + ".lkr"));
    ToolResult made = runTool(QUESSEL_EXE, {"/q", "/c", "blink.lib", "delay.o"}, dir.path());
    ASSERT_EQ(0, made.exitCode) << made.output;
}

class ExampleRoad : public ::testing::TestWithParam<const char *>
{
};

TEST_P(ExampleRoad, TheLibraryHoldsTheDelayRoutineOnly)
{
    TempDir dir;
    prepare(dir, GetParam());
    auto lib = Archive::make(dir.file("blink.lib"));
    ASSERT_TRUE(lib);
    ASSERT_EQ(1u, lib->cMembers.size());
    EXPECT_EQ("delay.o", lib->cMembers[0]->name());
    EXPECT_TRUE(lib->hasSymbol("delay"));
    EXPECT_FALSE(lib->hasSymbol("dcount")); // a file-local variable
    EXPECT_FALSE(lib->hasSymbol("blink"));

    ToolResult listed = runTool(QUESSEL_EXE, {"/t", "blink.lib"}, dir.path());
    EXPECT_EQ(0, listed.exitCode);
    EXPECT_NE(std::string::npos, listed.output.find("delay.o")) << listed.output;
}

TEST_P(ExampleRoad, TheLinkTakesTheCommandFileAndImportsTheLibraryRoutine)
{
    TempDir dir;
    std::string device = GetParam();
    prepare(dir, device);
    ToolResult link = runTool(TARVOK_EXE,
                              {device + ".lkr", "main.o", "util.o", "blink.lib", "/m", device + ".map", "/o",
                               device + ".cof"},
                              dir.path());
    if (link.exitCode != 0) {
        // Until the output phases are in, the run must get through every
        // placement and then say plainly that no executable was written.
        EXPECT_NE(std::string::npos, link.output.find("linking is not available")) << link.output;
        EXPECT_FALSE(dir.exists(device + ".cof"));
        return;
    }
    auto out = Coff::make(dir.file(device + ".cof"));
    ASSERT_TRUE(out);
    EXPECT_TRUE(Coff::isExecutable(out->cFileHdr));
    EXPECT_EQ(0u, out->cScnHdr.at("reset").s_paddr);
    EXPECT_TRUE(out->cScnHdr.count("delay_code")); // imported from the library
    EXPECT_TRUE(dir.exists(device + ".map"));
}

INSTANTIATE_TEST_SUITE_P(Devices, ExampleRoad, ::testing::Values("voq410", "voq850"));

} // namespace
