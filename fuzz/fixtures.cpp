// Seed inputs and working-directory files for the fuzz targets.

#include "fixtures.h"

#include "coffbuilder.h"
#include "harness.h"

#include <cstring>
#include <filesystem>

namespace fuzz {

namespace {

const uint16_t T_FUNCTION = DT_FCN << 4; // a function returning nothing

ProcessorCode firstOfFamily(DeviceFamily family)
{
    for (unsigned code = PROC_FIRST_CODE; code <= PROC_LAST_CODE; ++code)
        if (proc_family(ProcessorCode(code)) == family)
            return ProcessorCode(code);
    return PROC_FIRST_CODE;
}

const DeviceFamily FAMILIES[] = {FAMILY_CORE12, FAMILY_CORE14, FAMILY_CORE16, FAMILY_CORE16E};

// A relocatable object with most of what the readers handle.
CoffBuilder fullObject(DeviceFamily family)
{
    CoffBuilder b;
    b.processor(firstOfFamily(family))
        .section(".code", SCN_CODE, {0x00, 0x28, 0x01, 0x30, 0x82, 0x00, 0x08, 0x00})
        .section("a_long_code_section", SCN_CODE | SCN_ABS, {0x0C, 0x30, 0x08, 0x00}, 0x40)
        .section(".idata", SCN_IDATA, {1, 2, 3, 4})
        .udata(".udata_shared", 16, 0x20)
        .section(".romdata", SCN_ROMDATA, {0x55, 0xAA})
        .file("main.asm")
        .symbol("main", 0, ".code", C_EXT, T_FUNCTION)
        .aux(aux_fcn{0, 8, 0, 0})
        .symbol(".bf", 0, ".code", C_FCN)
        .aux(aux_bobf{1, 0})
        .symbol(".ef", 6, ".code", C_FCN)
        .aux(aux_eobf{4})
        .symbol("a_rather_long_symbol_name", 2, ".code", C_STAT)
        .symbol(".code", 0, ".code", C_SECTION)
        .aux(aux_scn{8, 1, 2})
        .symbol("table", 0, ".idata", C_EXT, 0x30 | 4)
        .aux(aux_arr{0, 0, 4, {4, 0, 0, 0}})
        .symbol("point", 0, -2, C_STRTAG, T_STRUCT)
        .aux(aux_tag{4, 0})
        .symbol("x", 0, -2, 8, 4)
        .symbol(".eos", 4, -2, C_EOS)
        .aux(aux_eos{0, 4})
        .symbol("buffer", 0, ".udata_shared", C_EXT)
        .symbol("absval", 0x1234, -1, C_EXT)
        .symbol("extern_ref", 0, 0, C_EXT)
        .reloc(".code", 0, "extern_ref", 1)
        .reloc(".code", 2, "buffer", 2, 1)
        .reloc("a_long_code_section", 0, "table", 3)
        .line(".code", 10, 0, "main")
        .line(".code", 11, 2)
        .line(".code", 12, 4);
    return b;
}

CoffBuilder smallObject(const std::string &define, const std::string &use)
{
    CoffBuilder b;
    b.processor(firstOfFamily(FAMILY_CORE14))
        .section(".code", SCN_CODE, {0x00, 0x28, 0x08, 0x00})
        .symbol(define, 0, ".code", C_EXT);
    if (!use.empty())
        b.symbol(use, 0, 0, C_EXT).reloc(".code", 0, use, 1);
    return b;
}

// An executable as the linker leaves it: absolute sections, no relocation
// entries.
CoffBuilder executable(DeviceFamily family, bool withSymbols)
{
    CoffBuilder b;
    b.processor(firstOfFamily(family))
        .flags(withSymbols ? F_EXEC : uint16_t(F_EXEC | F_RELFLG | F_LNNO | F_LSYMS))
        .section(".code", SCN_CODE | SCN_ABS, {0x00, 0x28, 0x01, 0x30, 0xFF, 0x3F, 0x08, 0x00}, 0)
        .section(".cinit", SCN_ROMDATA | SCN_ABS, {0x00, 0x00}, 0x10)
        .section("a_long_section_name", SCN_CODE | SCN_ABS, {0x12, 0x34, 0x56, 0x78}, 0x7FF0)
        .udata(".udata", 4, 0x20, SCN_ABS);
    if (withSymbols)
        b.file("prog.asm").symbol("main", 0, ".code", C_EXT).line(".code", 3, 0).line(".code", 4, 1);
    return b;
}

// An image in the foreign layout: no optional header, 6-byte line numbers,
// 10-byte relocation entries and a .file entry holding its name inline.
std::vector<uint8_t> foreignObject()
{
    std::vector<uint8_t> img(20 + 40 + 4 + 10 + 12 + 4 * 18 + 4);
    uint8_t *p = img.data();
    auto u16 = [](uint8_t *q, uint16_t v) { q[0] = uint8_t(v); q[1] = uint8_t(v >> 8); };
    auto u32 = [&](uint8_t *q, uint32_t v) { u16(q, uint16_t(v)); u16(q + 2, uint16_t(v >> 16)); };
    const uint32_t raw = 60, rel = 64, line = 74, sym = 86;
    u16(p, COFF_MAGIC);
    u16(p + 2, 1);       // one section
    u32(p + 8, sym);     // symbol table
    u32(p + 12, 4);      // four slots
    u16(p + 16, 0);      // no optional header
    std::memcpy(p + 20, ".text", 5);
    u32(p + 20 + 16, 4); // size
    u32(p + 20 + 20, raw);
    u32(p + 20 + 24, rel);
    u32(p + 20 + 28, line);
    u16(p + 20 + 32, 1);
    u16(p + 20 + 34, 2);
    u32(p + 20 + 36, SCN_CODE);
    p[raw] = 0x01;
    u32(p + rel, 0);      // vaddr
    u32(p + rel + 4, 2);  // symbol
    u32(p + line, 2);     // function symbol 2
    u32(p + line + 6, 0); // address 0
    u16(p + line + 10, 7);
    std::memcpy(p + sym, ".file", 5);
    u16(p + sym + 12, uint16_t(-2));
    p[sym + 16] = C_FILE;
    p[sym + 17] = 1;
    std::memcpy(p + sym + 18, "x.c", 3);
    std::memcpy(p + sym + 36, "f", 1);
    u16(p + sym + 36 + 12, 1);
    p[sym + 36 + 16] = C_EXT;
    std::memcpy(p + sym + 54, "g", 1);
    p[sym + 54 + 16] = C_EXT;
    u32(p + sym + 72, 4); // empty string table
    return img;
}

// The MOVLW instruction of each family, for words that take a literal.
uint16_t movlw(DeviceFamily family)
{
    switch (family) {
    case FAMILY_CORE12: return 0x0C00;
    case FAMILY_CORE14: return 0x3000;
    case FAMILY_CORE16: return 0xB000;
    default: return 0x0E00;
    }
}

std::vector<uint8_t> words(const std::vector<uint16_t> &list)
{
    std::vector<uint8_t> bytes;
    for (uint16_t w : list) {
        bytes.push_back(uint8_t(w));
        bytes.push_back(uint8_t(w >> 8));
    }
    return bytes;
}

// An object that links: code loading the addresses of a variable and of a
// library routine, initialised data, a shared variable, and line numbers.
CoffBuilder linkObject(DeviceFamily family)
{
    uint16_t m = movlw(family);
    CoffBuilder b;
    b.processor(firstOfFamily(family))
        .section(".code", SCN_CODE, words({m, m, m, m}))
        .section(".idata", SCN_IDATA, {1, 2, 3, 4})
        .udata(".udata", 4)
        .udata(".shared", 2, 0, SCN_SHARED)
        .file("main.asm")
        .symbol("main", 0, ".code", C_EXT, T_FUNCTION)
        .aux(aux_fcn{0, 8, 0, 0})
        .symbol("count", 0, ".udata", C_STAT)
        .symbol("flag", 0, ".shared", C_EXT)
        .symbol("table", 0, ".idata", C_EXT)
        .symbol("helper", 0, 0, C_EXT)
        .reloc(".code", 0, "count", 4)
        .reloc(".code", 2, "helper", 4)
        .reloc(".code", 4, "helper", 3)
        .reloc(".code", 6, "table", 4)
        .line(".code", 3, 0, "main")
        .line(".code", 4, 1)
        .line(".code", 5, 2)
        .line(".code", 6, 3);
    return b;
}

CoffBuilder helperObject(DeviceFamily family)
{
    uint16_t m = movlw(family);
    CoffBuilder b;
    b.processor(firstOfFamily(family))
        .section(".helper", SCN_CODE, words({m, m}))
        .section(".romdata", SCN_ROMDATA, {0x12, 0x34})
        .file("util.asm")
        .symbol("helper", 0, ".helper", C_EXT)
        .symbol("flag", 0, 0, C_EXT)
        .reloc(".helper", 0, "flag", 4)
        .line(".helper", 1, 0)
        .line(".helper", 2, 1);
    return b;
}

const char *const LINK_COMMAND_FILES[4][2] = {
    {"core12.lkr", "CODEPAGE NAME=page0 START=0x0 END=0x1FF\n"
                   "CODEPAGE NAME=page1 START=0x200 END=0x3FF FILL=0xFFF\n"
                   "DATABANK NAME=sfr START=0x0 END=0x9 PROTECTED\n"
                   "SHAREBANK NAME=shr START=0xA END=0xF\n"
                   "DATABANK NAME=gpr0 START=0x10 END=0x1F\n"
                   "DATABANK NAME=gpr1 START=0x30 END=0x3F\n"},
    {"core14.lkr", "CODEPAGE NAME=vectors START=0x0 END=0x3 PROTECTED\n"
                   "CODEPAGE NAME=page0 START=0x4 END=0x3FF FILL=0x3FFF\n"
                   "DATABANK NAME=sfr0 START=0x0 END=0x1F PROTECTED\n"
                   "DATABANK NAME=gpr0 START=0x20 END=0x6F\n"
                   "DATABANK NAME=gpr1 START=0xA0 END=0xEF\n"
                   "SHAREBANK NAME=shared START=0x70 END=0x7F\n"
                   "SHAREBANK NAME=shared START=0xF0 END=0xFF\n"
                   "STACK SIZE=0x10 RAM=gpr1\n"},
    {"core16.lkr", "CODEPAGE NAME=page START=0x0 END=0x7FF FILL=0xFFFF\n"
                   "DATABANK NAME=sfr0 START=0x0 END=0x1F PROTECTED\n"
                   "DATABANK NAME=gpr0 START=0x20 END=0xEF\n"
                   "SHAREBANK NAME=shr START=0xF0 END=0xFF\n"
                   "DATABANK NAME=gpr1 START=0x120 END=0x1FF\n"
                   "STACK SIZE=0x10 RAM=gpr1\n"},
    {"core16e.lkr", "CODEPAGE NAME=vectors START=0x0 END=0x7 PROTECTED\n"
                    "CODEPAGE NAME=page START=0x8 END=0x3FFF FILL=0xFFFF\n"
                    "ACCESSBANK NAME=accessram START=0x0 END=0x5F\n"
                    "DATABANK NAME=gpr0 START=0x60 END=0xFF\n"
                    "DATABANK NAME=gpr1 START=0x100 END=0x1EF\n"
                    "SHAREBANK NAME=shared START=0x1F0 END=0x1FF\n"
                    "ACCESSBANK NAME=accesssfr START=0xF60 END=0xFFF PROTECTED\n"
                    "STACK SIZE=0x20 RAM=gpr1\n"},
};

const char *const LIBRARIES[4] = {"lib12.lib", "lib14.lib", "lib16.lib", "lib16e.lib"};

} // namespace

const uint8_t LINK_FAMILIES[4] = {FAMILY_CORE12, FAMILY_CORE14, FAMILY_CORE16, FAMILY_CORE16E};

std::vector<Seed> linkSeeds()
{
    std::vector<Seed> seeds;
    for (DeviceFamily f : LINK_FAMILIES)
        seeds.push_back({"link" + std::to_string(int(f)) + ".o", linkObject(f).bytes()});
    return seeds;
}

std::vector<Seed> executableSeeds()
{
    std::vector<Seed> seeds;
    for (DeviceFamily f : FAMILIES) {
        std::string n = std::to_string(int(f));
        seeds.push_back({"exec" + n + ".out", executable(f, true).bytes()});
        // Relocatable objects convert too, and carry functions and lines.
        seeds.push_back({"object" + n + ".out", linkObject(f).flags(F_EXEC).bytes()});
    }
    seeds.push_back({"stripped.out", executable(FAMILY_CORE14, false).bytes()});
    return seeds;
}

void writeLinkFiles()
{
    for (size_t i = 0; i < 4; ++i) {
        writeFile(LINK_COMMAND_FILES[i][0], std::string(LINK_COMMAND_FILES[i][1]));
        writeFile(LIBRARIES[i], ArchiveBuilder().member("helper.o", helperObject(LINK_FAMILIES[i])).bytes());
    }
}

void writeConverterFiles()
{
    writeFile("main.asm", std::string("; main\n\tlist\nstart\tmovlw 1\n\tmovlw 2\n\tmovlw 3\n"
                                      "\tmovlw 4\n\tnolist\n\tmovlw 5\n\tlist\n\tend\n"));
    writeFile("prog.asm", std::string("\tinclude \"defs.inc\"\n\tnop\n\tnop\n\tnop\n\tnop\n"));
    writeFile("util.asm", std::string("helper\tmovlw 0\r\n\treturn\r\n"));
    writeFile("defs.inc", std::string("; definitions\ncount equ 0x20\n"));
}

std::vector<Seed> objectSeeds()
{
    std::vector<Seed> seeds;
    for (DeviceFamily f : FAMILIES) {
        std::string n = std::to_string(int(f));
        seeds.push_back({"object" + n + ".o", fullObject(f).bytes()});
        seeds.push_back({"exec" + n + ".out", executable(f, true).bytes()});
    }
    seeds.push_back({"stripped.out", executable(FAMILY_CORE16E, false).bytes()});
    seeds.push_back({"small.o", smallObject("func", "other").bytes()});
    seeds.push_back({"empty.o", CoffBuilder().bytes()});
    // Long section names and no symbols: the string table follows the last area.
    seeds.push_back({"nosyms.o", CoffBuilder()
                                     .processor(firstOfFamily(FAMILY_CORE16))
                                     .section("first_long_name", SCN_CODE, {1, 2})
                                     .section("second_long_name", SCN_ROMDATA, {3, 4, 5, 6})
                                     .bytes()});
    seeds.push_back({"foreign.o", foreignObject()});
    return seeds;
}

std::vector<Seed> librarySeeds()
{
    std::vector<Seed> seeds;
    seeds.push_back({"empty.lib", ArchiveBuilder().bytes()});
    seeds.push_back({"one.lib", ArchiveBuilder().member("a.o", smallObject("a", "b")).bytes()});
    seeds.push_back({"three.lib", ArchiveBuilder()
                                      .member("a.o", smallObject("a", "b"))
                                      .member("sub/b.o", smallObject("b", ""))
                                      .member("full.o", fullObject(FAMILY_CORE16E))
                                      .bytes()});
    seeds.push_back({"twice.lib", ArchiveBuilder()
                                      .member("x.o", smallObject("same", ""))
                                      .member("x.o", smallObject("same", ""))
                                      .bytes()});
    return seeds;
}

std::vector<Seed> commandFileSeeds()
{
    std::vector<Seed> seeds;
    seeds.push_back({"core14.lkr", textBytesOf("// a device of two pages and four banks\n"
                                             "LIBPATH .;lib\n"
                                             "LKRPATH cmd\n"
                                             "CODEPAGE NAME=vectors START=0x0 END=0x4 PROTECTED\n"
                                             "CODEPAGE NAME=page0 START=0x5 END=0x7FF\n"
                                             "CODEPAGE NAME=page1 START=0x800 END=0xFFF FILL=0x3FFF\n"
                                             "DATABANK NAME=sfr0 START=0x0 END=0x1F PROTECTED\n"
                                             "DATABANK NAME=gpr0 START=0x20 END=0x6F\n"
                                             "SHAREBANK NAME=gprnobnk START=0x70 END=0x7F\n"
                                             "SHAREBANK NAME=gprnobnk START=0xF0 END=0xFF\n"
                                             "SECTION NAME=STARTUP ROM=vectors\n"
                                             "SECTION NAME=shared RAM=gprnobnk\n"
                                             "STACK SIZE=0x10 RAM=gpr0\n")});
    seeds.push_back({"core16e.lkr", textBytesOf("FILES main.o lib.lib \"with blank.o\"\r\n"
                                              "CODEPAGE NAME=page START=0x0 END=0x7FFF FILL=0xFF\r\n"
                                              "ACCESSBANK NAME=accessram START=0x0 END=0x5F\r\n"
                                              "DATABANK NAME=gpr0 START=0x60 END=0xFF\r\n"
                                              "ACCESSBANK NAME=accesssfr START=0xF60 END=0xFFF PROTECTED\r\n"
                                              "HEAP MINSIZE=0x40\r\n"
                                              "SECTION NAME=CONFIG ROM=page SECTION NAME=data RAM=gpr0\r\n")});
    seeds.push_back({"include.lkr", textBytesOf("INCLUDE other.lkr\nFILES a.o\n")});
    seeds.push_back({"bad.lkr", textBytesOf("CODEPAGE NAME=x START=0x10 END=0x1\nSTACK SIZE=4 RAM=none\n")});
    return seeds;
}

void writeLibrarianFiles()
{
    std::filesystem::create_directories("sub");
    std::filesystem::create_directories("dir.lib");
    writeFile("a.o", smallObject("a", "b").bytes());
    writeFile("b.o", smallObject("b", "").bytes());
    writeFile("sub/c.o", fullObject(FAMILY_CORE12).bytes());
    writeFile("dup.o", smallObject("a", "").bytes());
    writeFile("bad.o", textBytesOf("not an object"));
    writeFile("foreign.o", foreignObject());
    writeFile("lib.lib", ArchiveBuilder()
                             .member("a.o", smallObject("a", "b"))
                             .member("b.o", smallObject("b", ""))
                             .member("sub/c.o", fullObject(FAMILY_CORE12))
                             .bytes());
    writeFile("empty.lib", ArchiveBuilder().bytes());
    writeFile("bad.lib", textBytesOf("!<arch>\nshort"));
}

void writeLinkerFiles()
{
    std::filesystem::create_directories("cmd");
    std::filesystem::create_directories("lib");
    for (const Seed &seed : commandFileSeeds())
        writeFile(seed.first, seed.second);
    writeFile("other.lkr", textBytesOf("CODEPAGE NAME=p START=0 END=0x3FF\nDATABANK NAME=b START=0x20 END=0x7F\n"));
    writeFile("cmd/found.lkr", textBytesOf("FILES a.o\n"));
    writeFile("main.o", fullObject(FAMILY_CORE14).bytes());
    writeFile("a.o", smallObject("a", "b").bytes());
    writeFile("lib/lib.lib", ArchiveBuilder().member("b.o", smallObject("b", "")).bytes());
    writeFile("lib.lib", ArchiveBuilder().member("b.o", smallObject("b", "")).bytes());
}

void writeHexConverterFiles()
{
    for (DeviceFamily f : FAMILIES)
        writeFile("prog" + std::to_string(int(f)) + ".out", executable(f, true).bytes());
    writeFile("main.o", fullObject(FAMILY_CORE14).bytes());
    writeFile("bad.out", textBytesOf("not an executable"));
}

} // namespace fuzz
