// The bundled blink example taken down the road the example script takes:
// the generated objects as an assembler would have written them, then the
// library, the link with its map, the Intel-hex file, the COD file and the
// listing, each read back and compared with values worked out from the
// sources and the command files.
#include "../skellan/srecread.h"
#include "archive.h"
#include "cod.h"
#include "coff.h"
#include "coff_format.h"
#include "mgproc.h"
#include "reloctype.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
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

std::string fileName(const Coff &c, size_t fileSlot)
{
    uint8_t slot[18];
    packSyment(slot, c.cSymbols.at(fileSlot + 1));
    aux_file a;
    unpackAux(slot, a);
    return Coff::getName(a, c.cStrTbl) + ":" + std::to_string(a.x_incline);
}

// (line, address) of every line entry of the section, and the source (with
// its include line) each names.
using Lines = std::vector<std::pair<uint16_t, uint32_t>>;
Lines lines(const Coff &c, const std::string &section, std::vector<std::string> &sources)
{
    Lines out;
    for (const coff_lineno &l : c.cLineInfo.at(section)) {
        out.push_back({l.l_lnno, l.l_paddr});
        sources.push_back(fileName(c, l.l_srcndx));
    }
    return out;
}

// The source structure of the symbol table: "name:incline" for every
// ".file", ".eof" for every end of a file, in slot order.
std::vector<std::string> fileEvents(const Coff &c)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < c.cSymbols.size(); i++) {
        if (c.cAuxKind[i] != 0)
            continue;
        std::string name = Coff::getName(c.cSymbols[i], c.cStrTbl);
        if (name == ".file")
            out.push_back(fileName(c, i));
        else if (name == ".eof")
            out.push_back(name);
    }
    return out;
}

TEST(ExampleObjects, Core14MainHoldsTheWordsRelocationsAndLinesOfItsSource)
{
    auto c = object("voq410", "main");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cOptHdr.proc_type, proc_type_word(0x07));
    // The include at line 2 opens and closes inside main.asm.
    EXPECT_EQ((std::vector<std::string>{"main.asm:0", "defs.inc:2", ".eof", ".eof"}), fileEvents(*c));

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
    EXPECT_EQ((Lines{{14, 0}, {15, 1}, {16, 2}, {17, 3}, {18, 4}, {19, 5}}), lines(*c, "main_code", sources));
    EXPECT_EQ(std::vector<std::string>(6, "main.asm:0"), sources);

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
    // goto: first word and its second word, both on the source line
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xEF, 0x00, 0xF0}), rawData(*c, "reset"));
    EXPECT_EQ((std::vector<Fix>{{0, "start", RELOCT_GOTO}, {2, "start", RELOCT_CALL2}}), fixes(*c, "reset"));
    std::vector<std::string> sources;
    EXPECT_EQ((Lines{{8, 0}, {8, 2}}), lines(*c, "reset", sources));
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
    // Byte addresses; every word of a two-word call carries its line.
    EXPECT_EQ((Lines{{14, 0}, {15, 2}, {16, 4}, {17, 6}, {17, 8}, {18, 10}, {18, 12}, {19, 14}}),
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
    EXPECT_EQ((std::vector<std::string>{"util.asm:0", "defs.inc:2", ".eof", ".eof"}), fileEvents(*c));
}

// ---- The whole road ----

// Runs the example script's steps for the device in a scratch directory
// that holds the device's sources, command file and objects.
void runRoad(const TempDir &dir, const std::string &device)
{
    for (const char *base : {"main", "util", "delay"}) {
        dir.write(std::string(base) + ".o", readFile(OBJECTS + "/" + device + "/" + base + ".o"));
        dir.write(std::string(base) + ".asm", readFile(SOURCES + "/" + device + "/" + base + ".asm"));
    }
    dir.write("defs.inc", readFile(SOURCES + "/" + device + "/defs.inc"));
    dir.write(device + ".lkr", readFile(SOURCES + "/" + device + "/" + device + ".lkr"));
    const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
        {QUESSEL_EXE, {"/c", "blink.lib", "delay.o"}},
        {TARVOK_EXE, {device + ".lkr", "main.o", "util.o", "blink.lib", "/m", device + ".map", "/o", device + ".cof"}},
        {SKELLAN_EXE, {device + ".cof"}},
        {DORVANE_EXE, {device + ".cof"}}};
    for (const auto &[exe, args] : steps) {
        ToolResult r = runTool(exe, args, dir.path());
        ASSERT_EQ(0, r.exitCode) << exe << '\n' << r.output;
        EXPECT_NE(std::string::npos, r.output.find("Errors    : 0\nWarnings  : 0")) << r.output;
    }
}

void checkLibrary(const TempDir &dir)
{
    auto lib = Archive::make(dir.file("blink.lib"));
    ASSERT_TRUE(lib);
    ASSERT_EQ(1u, lib->cMembers.size());
    EXPECT_EQ("delay.o", lib->cMembers[0]->name());
    EXPECT_TRUE(lib->hasSymbol("delay"));
    EXPECT_FALSE(lib->hasSymbol("dcount")); // a file-local variable
    ToolResult listed = runTool(QUESSEL_EXE, {"/t", "blink.lib"}, dir.path());
    EXPECT_EQ(0, listed.exitCode);
    EXPECT_NE(std::string::npos, listed.output.find("\nMember: 'delay.o' ")) << listed.output;
}

// (name, s_paddr, s_size, s_flags) of every section in section-number order.
using Sections = std::vector<std::tuple<std::string, uint32_t, uint32_t, uint32_t>>;
Sections sections(const Coff &c)
{
    Sections out;
    for (const auto &[num, name] : c.cScnNum) {
        const coff_scnhdr &h = c.cScnHdr.at(name);
        out.push_back({name, h.s_paddr, h.s_size, h.s_flags});
    }
    return out;
}

// "name=value" of every symbol the map and the COD file list (storage
// class 2, 3 or 6 in a section), in slot order.
std::vector<std::string> definedSymbols(const Coff &c)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < c.cSymbols.size(); i++) {
        const coff_syment &s = c.cSymbols[i];
        if (c.cAuxKind[i] == 0 && s.n_scnum >= 1 &&
            (s.n_sclass == C_EXT || s.n_sclass == C_STAT || s.n_sclass == C_LABEL)) {
            char value[16];
            std::snprintf(value, sizeof value, "%x", s.n_value);
            out.push_back(Coff::getName(s, c.cStrTbl) + "=" + value);
        }
    }
    return out;
}

// The program-memory image of the executable's code and romdata sections,
// from byte address 0.
std::vector<uint8_t> programImage(const Coff &c, uint32_t bytesPerWord)
{
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pieces;
    for (const auto &[name, h] : c.cScnHdr) {
        SectionType t = Coff::sectionType(h);
        if (t == 1 || t == 4)
            pieces.push_back({h.s_paddr * bytesPerWord, rawData(c, name)});
    }
    return imageOf(pieces);
}

// Words (little-endian) from byte address 0; a word per entry.
std::vector<uint8_t> wordImage(const std::vector<uint16_t> &words)
{
    std::vector<uint8_t> out;
    for (uint16_t w : words) {
        out.push_back(uint8_t(w & 0xFF));
        out.push_back(uint8_t(w >> 8));
    }
    return out;
}

// The map file without its banner and date line, with the fixed headings
// around the device's rows.
std::string mapBody(const std::string &sectionRows, const std::string &usageRows, const std::string &symbolsByName,
                    const std::string &symbolsByAddress)
{
    const std::string symbolHead =
        "                     Name    Address   Location    Storage File                     \n"
        "                ---------  ---------  ---------  --------- ---------                \n";
    return "\n"
           "                                 Section Info\n"
           "                  Section       Type    Address   Location Size(Bytes)\n"
           "                ---------  ---------  ---------  ---------  ---------\n" +
           sectionRows +
           "\n\n\n"
           "                              Program Memory Usage \n"
           "                               Start         End      \n"
           "                           ---------   ---------      \n" +
           usageRows +
           "\n\n\n"
           "                              Symbols - Sorted by Name\n" +
           symbolHead + symbolsByName +
           "\n\n\n"
           "                              Symbols - Sorted by Address\n" +
           symbolHead + symbolsByAddress + "\n\n";
}

void checkMap(const TempDir &dir, const std::string &device, const std::string &body)
{
    std::string map = dir.readText(device + ".map");
    ASSERT_EQ(0u, map.rfind("TARVOK v2.20.00, Linker\nLinker Map File - Created ", 0)) << map;
    size_t dateEnd = map.find('\n', map.find("Created "));
    ASSERT_NE(std::string::npos, dateEnd);
    EXPECT_EQ(24u, dateEnd - (map.find("Created ") + 8)); // the 24-character date
    EXPECT_EQ(body, map.substr(dateEnd + 1));
}

// A listing row: address, value, disassembly, source text and file.
std::string row(const std::string &address, const std::string &value, const std::string &text,
                const std::string &source, const std::string &file)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-6s   %-6s   %-24s %-80s %s", address.c_str(), value.c_str(), text.c_str(),
                  source.c_str(), file.c_str());
    return buf;
}

// True when the rows stand in the listing one right after the other.
bool listed(const std::vector<std::string> &listing, const std::vector<std::string> &rows)
{
    return std::search(listing.begin(), listing.end(), rows.begin(), rows.end()) != listing.end();
}

struct CodSymbol
{
    std::string name;
    uint8_t type;
    uint32_t value;
    bool operator==(const CodSymbol &o) const = default;
};

// Reads the COD file back: its one directory, the source names, the short
// and long symbols (which must agree here, all names being short), the
// memory map, and the code blocks laid out from byte address 0.
// The example's symbols as the debug file holds them: the data labels
// (type 47) and the code labels (type 46) at the addresses given.
std::vector<CodSymbol> codSymbols(uint32_t pattern, uint32_t start, uint32_t loop, uint32_t count, uint32_t blink,
                                  uint32_t dcount, uint32_t delay, uint32_t dloop)
{
    return {{"pattern", 47, pattern}, {"start", 46, start}, {"loop", 46, loop},   {"count", 47, count},
            {"blink", 46, blink},     {"dcount", 47, dcount}, {"delay", 46, delay}, {"dloop", 46, dloop}};
}

void checkCod(const TempDir &dir, const std::string &device, const std::string &processor,
              const std::vector<CodSymbol> &symbols, const std::vector<std::pair<uint16_t, uint16_t>> &memoryMap,
              const std::vector<uint8_t> &image)
{
    auto cod = Cod::make(dir.file(device + ".cod"));
    ASSERT_TRUE(cod);
    ASSERT_EQ(1u, cod->cDirectory.size());
    EXPECT_EQ(device + ".cod", cod->cDirectory[0].source());
    EXPECT_EQ(processor, cod->cDirectory[0].processor());
    std::vector<std::string> names;
    for (const SourceName &s : cod->cSourceName)
        names.push_back(s.name());
    EXPECT_EQ((std::vector<std::string>{"main.asm", "defs.inc", "util.asm", "defs.inc", "delay.asm", "defs.inc"}),
              names);
    std::vector<CodSymbol> shortSymbols, longSymbols;
    for (const Symbol &s : cod->cSymbol)
        shortSymbols.push_back({s.name(), s.SymbolType, s.SymbolValue});
    for (const LongSymbol &s : cod->cLongSymbol)
        longSymbols.push_back({s.Name, uint8_t(s.Type), s.Value});
    EXPECT_EQ(symbols, shortSymbols);
    EXPECT_EQ(symbols, longSymbols);
    std::vector<std::pair<uint16_t, uint16_t>> ranges;
    for (const MemoryMap &m : cod->cMemoryMap.at(0))
        ranges.push_back({m.Start, m.Last});
    EXPECT_EQ(memoryMap, ranges);
    std::vector<uint8_t> blocks;
    for (const auto &[key, block] : cod->cCodeBlock.at(0)) {
        blocks.resize(size_t(key) * 512, 0);
        blocks.insert(blocks.end(), block.data(), block.data() + 512);
    }
    blocks.resize(image.size());
    EXPECT_EQ(image, blocks);
}

// Hex files go to byte address = location x bytes per word; the first
// record of every file sets the upper address 0.
void checkHex(const TempDir &dir, const std::string &device, const std::vector<std::string> &firstLines,
              const std::vector<uint8_t> &image)
{
    std::vector<std::string> hex = splitLines(dir.readText(device + ".hex"));
    ASSERT_GT(hex.size(), firstLines.size());
    EXPECT_EQ(firstLines, std::vector<std::string>(hex.begin(), hex.begin() + firstLines.size()));
    EXPECT_EQ(":00000001FF", hex.back());
    if (srecCatPath().empty())
        GTEST_SKIP() << "srec_cat is not installed (scripts/setup.sh installs srecord)";
    EXPECT_EQ(image, srecImage(dir, {device + ".hex", "-intel"}));
    ToolResult r = runTool(SKELLAN_EXE, {"/a", "INHX8M", device + ".cof"}, dir.path());
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(image, srecImage(dir, {device + ".hex", "-intel"})) << "INHX8M";
}

TEST(ExampleRoad, Core14DeviceFromObjectsToListing)
{
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(runRoad(dir, "voq410"));
    checkLibrary(dir);

    auto cof = Coff::make(dir.file("voq410.cof"));
    ASSERT_TRUE(cof);
    EXPECT_EQ(0x0002, cof->cFileHdr.f_flags);
    EXPECT_EQ(proc_type_word(0x07), cof->cOptHdr.proc_type);
    // Page "vectors" takes the assigned reset code; .cinit (one narrow
    // entry, 8 bytes as 8 words) and the rest go to page0, largest first;
    // the stack takes gpr1 first, so gpr1 has the smaller hole for the data.
    EXPECT_EQ((Sections{{"reset", 0x0, 2, 0x20},
                        {"main_idata", 0xB0, 2, 0x40},
                        {"main_idata_i", 0x1D, 4, 0x100},
                        {"main_code", 0xC, 12, 0x20},
                        {"util_udata", 0xB2, 1, 0x80},
                        {"util_code", 0x12, 12, 0x20},
                        {"delay_shr", 0x70, 1, 0x2080},
                        {"delay_code", 0x18, 10, 0x20},
                        {".cinit", 0x4, 16, 0x100},
                        {".stack", 0xA0, 16, 0x80},
                        {".fill_1", 0x1F, (0x3FF - 0x1F + 1) * 2, 0x20}}),
              sections(*cof));
    EXPECT_EQ((std::vector<std::string>{"pattern=b0", "start=c", "loop=f", "count=b2", "blink=12", "dcount=70",
                                        "delay=18", "dloop=1a"}),
              definedSymbols(*cof));
    EXPECT_EQ((std::vector<std::string>{"main.asm:0", "defs.inc:2", ".eof", ".eof", "util.asm:0", "defs.inc:2",
                                        ".eof", ".eof", "delay.asm:0", "defs.inc:2", ".eof", ".eof"}),
              fileEvents(*cof));

    checkMap(dir, "voq410",
             mapBody("                    reset       code   0x000000    program   0x000002\n"
                     "                   .cinit    romdata   0x000004    program   0x000010\n"
                     "                main_code       code   0x00000c    program   0x00000c\n"
                     "                util_code       code   0x000012    program   0x00000c\n"
                     "               delay_code       code   0x000018    program   0x00000a\n"
                     "             main_idata_i    romdata   0x00001d    program   0x000004\n"
                     "                  .fill_1       code   0x00001f    program   0x0007c2\n"
                     "                delay_shr      udata   0x000070       data   0x000001\n"
                     "                   .stack      udata   0x0000a0       data   0x000010\n"
                     "               main_idata      idata   0x0000b0       data   0x000002\n"
                     "               util_udata      udata   0x0000b2       data   0x000001\n",
                     "                            0x000000    0x000000      \n"
                     "                            0x000004    0x0003ff      \n"
                     "            1021 out of 1024 program addresses used, program memory utilization is 99%\n",
                     "                    blink   0x000012    program     extern util.asm                 \n"
                     "                    delay   0x000018    program     extern delay.asm                \n"
                     "                    dloop   0x00001a    program     static delay.asm                \n"
                     "                     loop   0x00000f    program     static main.asm                 \n"
                     "                    start   0x00000c    program     extern main.asm                 \n"
                     "                    count   0x0000b2       data     extern util.asm                 \n"
                     "                   dcount   0x000070       data     static delay.asm                \n"
                     "                  pattern   0x0000b0       data     extern main.asm                 \n",
                     "                    start   0x00000c    program     extern main.asm                 \n"
                     "                     loop   0x00000f    program     static main.asm                 \n"
                     "                    blink   0x000012    program     extern util.asm                 \n"
                     "                    delay   0x000018    program     extern delay.asm                \n"
                     "                    dloop   0x00001a    program     static delay.asm                \n"
                     "                   dcount   0x000070       data     static delay.asm                \n"
                     "                  pattern   0x0000b0       data     extern main.asm                 \n"
                     "                    count   0x0000b2       data     extern util.asm                 \n"));

    // Program words by word address; banks: bit 7 of 0xb0/0xb2 sets RP0.
    std::vector<uint16_t> words = {
        0x280C, 0, 0, 0,                                                // goto start
        0x3401, 0x3400, 0x341D, 0x3400, 0x34B0, 0x3400, 0x3402, 0x3400, // .cinit as retlw: 1 entry
        0x1683, 0x3005, 0x00B2, 0x2012, 0x2018, 0x280F,                 // main: bsf 3,5 ... goto loop
        0x1683, 0x0830, 0x0086, 0x1683, 0x03B2, 0x0008,                 // blink
        0x30FF, 0x00F0, 0x0BF0, 0x281A, 0x0008,                         // delay
        0x3455, 0x34AA};                                                // pattern's initial values
    words.resize(0x400, 0x3FFF);                                        // FILL of page0
    std::vector<uint8_t> image = wordImage(words);
    EXPECT_EQ(image, programImage(*cof, 2));

    checkCod(dir, "voq410", "VOQ410",
             codSymbols(0xB0, 0xC, 0xF, 0xB2, 0x12, 0x70, 0x18, 0x1A),
             {{0x0, 0x1}, {0x8, 0x17}, {0x18, 0x23}, {0x24, 0x2F}, {0x30, 0x39}, {0x3A, 0x3D}, {0x3E, 0x7FF}},
             image);

    std::vector<std::string> listing = splitLines(dir.readText("voq410.lst"));
    EXPECT_TRUE(listed(listing, {row("", "", "", "        #include \"defs.inc\"", "main.asm"),
                                 row("", "", "", "; defs.inc - register names of the VOQ410 used by the blink example",
                                     "defs.inc"),
                                 row("", "", "", "STATUS  equ     0x03            ; status register", "defs.inc"),
                                 row("", "", "", "PORTB   equ     0x06            ; output port", "defs.inc"),
                                 row("", "", "", "", "main.asm")}));
    EXPECT_TRUE(listed(listing, {row("00000c", "1683", "BSF       0x3,0x5", "start   banksel count", "main.asm"),
                                 row("00000d", "3005", "MOVLW     0x5", "        movlw   0x05", "main.asm")}));
    EXPECT_TRUE(listed(listing, {row("00000f", "2012", "CALL      0x12", "loop    call    blink", "main.asm")}));
    EXPECT_TRUE(listed(listing, {row("00001b", "281a", "GOTO      0x1a", "        goto    dloop", "delay.asm")}));

    checkHex(dir, "voq410",
             {":020000040000FA", ":020000000C28CA", ":08000800013400341D34003402", ":08001000B03400340234003466"},
             image);
}

TEST(ExampleRoad, ByteAddressedDeviceFromObjectsToListing)
{
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(runRoad(dir, "voq850"));
    checkLibrary(dir);

    auto cof = Coff::make(dir.file("voq850.cof"));
    ASSERT_TRUE(cof);
    EXPECT_EQ(proc_type_word(0x81), cof->cOptHdr.proc_type);
    // One wide .cinit entry (2 + 12 bytes); code starts at even addresses, the 5-byte table right after
    // the 7-byte string; gpr0 has the smaller hole once the stack took the start of gpr1.
    EXPECT_EQ((Sections{{"reset", 0x0, 4, 0x20},
                        {"main_idata", 0x60, 2, 0x40},
                        {"main_idata_i", 0x48, 2, 0x100},
                        {"main_code", 0x16, 16, 0x20},
                        {"main_text", 0x3C, 7, 0x100},
                        {"main_bars", 0x43, 5, 0x100},
                        {"util_udata", 0x62, 1, 0x80},
                        {"util_code", 0x32, 10, 0x20},
                        {"delay_shr", 0x1F0, 1, 0x2080},
                        {"delay_code", 0x26, 12, 0x20},
                        {".cinit", 0x8, 14, 0x100},
                        {".stack", 0x100, 32, 0x80},
                        {".fill_1", 0x4A, 0x3FFF - 0x4A + 1, 0x20}}),
              sections(*cof));
    EXPECT_EQ((std::vector<std::string>{"pattern=60", "start=16", "loop=1c", "title=3c", "bars=43", "count=62",
                                        "blink=32", "dcount=1f0", "delay=26", "dloop=2c"}),
              definedSymbols(*cof));

    checkMap(dir, "voq850",
             mapBody("                    reset       code   0x000000    program   0x000004\n"
                     "                   .cinit    romdata   0x000008    program   0x00000e\n"
                     "                main_code       code   0x000016    program   0x000010\n"
                     "               delay_code       code   0x000026    program   0x00000c\n"
                     "                util_code       code   0x000032    program   0x00000a\n"
                     "                main_text    romdata   0x00003c    program   0x000007\n"
                     "                main_bars    romdata   0x000043    program   0x000005\n"
                     "             main_idata_i    romdata   0x000048    program   0x000002\n"
                     "                  .fill_1       code   0x00004a    program   0x003fb6\n"
                     "               main_idata      idata   0x000060       data   0x000002\n"
                     "               util_udata      udata   0x000062       data   0x000001\n"
                     "                   .stack      udata   0x000100       data   0x000020\n"
                     "                delay_shr      udata   0x0001f0       data   0x000001\n",
                     "                            0x000000    0x000003      \n"
                     "                            0x000008    0x003fff      \n"
                     "            16380 out of 16384 program addresses used, program memory utilization is 99%\n",
                     "                     bars   0x000043    program     static main.asm                 \n"
                     "                    blink   0x000032    program     extern util.asm                 \n"
                     "                    delay   0x000026    program     extern delay.asm                \n"
                     "                    dloop   0x00002c    program     static delay.asm                \n"
                     "                     loop   0x00001c    program     static main.asm                 \n"
                     "                    start   0x000016    program     extern main.asm                 \n"
                     "                    title   0x00003c    program     static main.asm                 \n"
                     "                    count   0x000062       data     extern util.asm                 \n"
                     "                   dcount   0x0001f0       data     static delay.asm                \n"
                     "                  pattern   0x000060       data     extern main.asm                 \n",
                     "                    start   0x000016    program     extern main.asm                 \n"
                     "                     loop   0x00001c    program     static main.asm                 \n"
                     "                    delay   0x000026    program     extern delay.asm                \n"
                     "                    dloop   0x00002c    program     static delay.asm                \n"
                     "                    blink   0x000032    program     extern util.asm                 \n"
                     "                    title   0x00003c    program     static main.asm                 \n"
                     "                     bars   0x000043    program     static main.asm                 \n"
                     "                  pattern   0x000060       data     extern main.asm                 \n"
                     "                    count   0x000062       data     extern util.asm                 \n"
                     "                   dcount   0x0001f0       data     static delay.asm                \n"));

    // Byte addresses; call/goto take the word address (byte address / 2),
    // bra the word distance from the next instruction.
    std::vector<uint8_t> image =
        wordImage({0xEF0B, 0xF000, 0, 0,                                           // goto 0x16
                   0x0001, 0x0048, 0x0000, 0x0060, 0x0000, 0x0002, 0x0000,         // .cinit: 1, 0x48, 0x60, 2
                   0x0100, 0x0E05, 0x6F62, 0xEC19, 0xF000, 0xEC13, 0xF000, 0xD7FB, // main: bra -5 words
                   0x0EFF, 0x0101, 0x6FF0, 0x2FF0, 0xD7FE, 0x0012,                 // delay: movlb 1, bra -2
                   0xC060, 0xFF81, 0x0100, 0x0762, 0x0012});                       // blink
    image.insert(image.end(), {'V', 'O', 'Q', '8', '5', '0', 0});                  // title at 0x3c
    image.insert(image.end(), {0x01, 0x03, 0x07, 0x0F, 0x1F});                     // bars at 0x43
    image.insert(image.end(), {0x55, 0xAA});                                       // pattern's values at 0x48
    image.resize(0x4000, 0xFF);                                                    // FILL of "page" from 0x4a
    EXPECT_EQ(image, programImage(*cof, 1));

    std::vector<CodSymbol> symbols = codSymbols(0x60, 0x16, 0x1C, 0x62, 0x32, 0x1F0, 0x26, 0x2C);
    symbols.insert(symbols.begin() + 3, {{"title", 46, 0x3C}, {"bars", 46, 0x43}});
    checkCod(dir, "voq850", "VOQ850", symbols,
             {{0x0, 0x3}, {0x8, 0x15}, {0x16, 0x25}, {0x26, 0x31}, {0x32, 0x3B}, {0x3C, 0x42}, {0x43, 0x47},
              {0x48, 0x49}, {0x4A, 0x3FFF}},
             image);

    // A two-word instruction shows its text on its first word only.
    std::vector<std::string> listing = splitLines(dir.readText("voq850.lst"));
    EXPECT_TRUE(listed(listing, {row("00001c", "ec19", "CALL      0x32,0x0", "loop    call    blink", "main.asm"),
                                 row("00001e", "f000", "", "", ""),
                                 row("000020", "ec13", "CALL      0x26,0x0", "        call    delay", "main.asm"),
                                 row("000022", "f000", "", "", ""),
                                 row("000024", "d7fb", "BRA       0x1c", "        bra     loop", "main.asm")}));
    EXPECT_TRUE(listed(listing, {row("000032", "c060", "MOVFF     0x60,0xf81",
                                     "blink   movff   pattern, PORTB  ; show the pattern", "util.asm"),
                                 row("000034", "ff81", "", "", "")}));

    // 08 + 08 + 01 + 48 + 60 = 0xB9 -> 0x47
    checkHex(dir, "voq850", {":020000040000FA", ":040000000BEF00F012", ":08000800010048000000600047"}, image);
    // No pad byte past the fill's end at the device's last byte: 10 + 3F + F0 + 16 x FF = 0x112F -> 0xD1.
    EXPECT_TRUE(
        listed(splitLines(dir.readText("voq850.hex")), {":103FF000" + std::string(32, 'F') + "D1", ":00000001FF"}));
}

TEST(ExampleRoad, TwelveAndSixteenBitDevicesHexFilesReadBack)
{
    for (const std::string device : {"voq240", "voqk5"}) {
        SCOPED_TRACE(device);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(runRoad(dir, device));
        auto cof = Coff::make(dir.file(device + ".cof"));
        ASSERT_TRUE(cof);
        checkHex(dir, device, {":020000040000FA"}, programImage(*cof, 2));
    }
}

// The road again with the objects in obj/, the library in lib/ and the
// executable in out/, named once with '/' and once with '\\': each program
// takes '\\' as a directory separator, and the outputs are the same bytes
// (the executable's time stamp and the listing's date aside).
TEST(ExampleRoad, BackslashNamesTakeTheSameRoad)
{
    struct Road
    {
        TempDir dir;
        std::string sep;
    };
    Road roads[2];
    roads[0].sep = "/";
    roads[1].sep = "\\";
    for (Road &road : roads) {
        const TempDir &dir = road.dir;
        const std::string s = road.sep;
        for (const char *sub : {"obj", "lib", "out"})
            std::filesystem::create_directory(dir.file(sub));
        for (const char *base : {"main", "util", "delay"}) {
            dir.write(std::string("obj/") + base + ".o", readFile(OBJECTS + "/voq410/" + base + ".o"));
            dir.write(std::string(base) + ".asm", readFile(SOURCES + "/voq410/" + base + ".asm"));
        }
        dir.write("defs.inc", readFile(SOURCES + "/voq410/defs.inc"));
        dir.write("voq410.lkr", readFile(SOURCES + "/voq410/voq410.lkr"));
        const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
            {QUESSEL_EXE, {"/c", "lib" + s + "blink.lib", "obj" + s + "delay.o"}},
            {TARVOK_EXE, {"voq410.lkr", "obj" + s + "main.o", "/l", "obj" + s + ";lib" + s, "util.o", "blink.lib", "/m",
                          "out" + s + "voq410.map", "/o", "out" + s + "voq410.cof"}},
            {SKELLAN_EXE, {"out" + s + "voq410.cof"}},
            {DORVANE_EXE, {"out" + s + "voq410.cof"}}};
        for (const auto &[exe, args] : steps) {
            ToolResult r = runTool(exe, args, dir.path());
            ASSERT_EQ(0, r.exitCode) << exe << " with '" << s << "'\n" << r.output;
        }
    }
    const TempDir &plain = roads[0].dir;
    const TempDir &back = roads[1].dir;
    EXPECT_EQ(plain.read("lib/blink.lib"), back.read("lib/blink.lib"));
    EXPECT_EQ(plain.read("voq410.hex"), back.read("voq410.hex"));
    std::vector<uint8_t> a = plain.read("out/voq410.cof"), b = back.read("out/voq410.cof");
    ASSERT_GT(a.size(), 8u);
    ASSERT_EQ(a.size(), b.size());
    std::copy(a.begin() + 4, a.begin() + 8, b.begin() + 4);
    EXPECT_EQ(a, b);
    // The listing beside the executable, the COD file here.
    std::vector<std::string> listing = splitLines(back.readText("out/voq410.lst"));
    std::vector<std::string> expected = splitLines(plain.readText("out/voq410.lst"));
    ASSERT_GT(listing.size(), 20u);
    ASSERT_EQ(listing.size(), expected.size());
    listing[2] = expected[2]; // the date
    EXPECT_EQ(listing, expected);
    EXPECT_EQ(plain.read("voq410.cod").size(), back.read("voq410.cod").size());
    EXPECT_GT(back.read("out/voq410.map").size(), 0u);
}

} // namespace
