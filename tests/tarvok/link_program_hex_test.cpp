// One small program per device family taken through the linker and the hex
// converter: main.o calls a routine of util.o in a second, PROTECTED code
// page and a routine of a library member, and both files and the member
// reach each other's data, which lies in two banks. The Intel-hex file is
// read back into an image (checksums checked) and compared with the image
// worked out by hand.
//
// Every family's command file has the same shape: page0 from 0 and a
// PROTECTED far page that only "utext" is assigned to; gpr0 and a PROTECTED
// gpr1 that only "lvars" is assigned to. Placement: the absolute "reset" at
// 0, ".cinit" (a table without entries) right after it, then ".code", with
// main.o's part first and the member's part after it; util.o's "uvars" (2
// bytes, "counter" at 1) at the start of gpr0; the member's "lvars"
// ("flags") at the start of gpr1; "utext" at the start of the far page.

#include "link_fixture.h"
#include "reloctype.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Image = std::map<uint32_t, uint8_t>;

struct Run
{
    uint32_t address; // byte address in the hex file
    std::vector<uint16_t> words;
};

std::vector<uint8_t> le(const std::vector<uint16_t> &words)
{
    std::vector<uint8_t> bytes;
    for (uint16_t w : words) {
        bytes.push_back(uint8_t(w));
        bytes.push_back(uint8_t(w >> 8));
    }
    return bytes;
}

Image imageOf(const std::vector<Run> &runs)
{
    Image image;
    for (const Run &r : runs) {
        std::vector<uint8_t> bytes = le(r.words);
        for (size_t i = 0; i < bytes.size(); ++i)
            image[r.address + uint32_t(i)] = bytes[i];
    }
    return image;
}

// Reads data, extended linear address and end records; any other record,
// a bad checksum or a missing end record fails the test.
Image readHex(const std::string &text)
{
    Image image;
    uint32_t upper = 0;
    bool ended = false;
    for (const std::string &line : splitLines(text)) {
        EXPECT_FALSE(ended) << "a record after the end record: " << line;
        if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) {
            ADD_FAILURE() << "not a record: " << line;
            return {};
        }
        std::vector<uint8_t> b;
        for (size_t i = 1; i < line.size(); i += 2)
            b.push_back(uint8_t(std::stoul(line.substr(i, 2), nullptr, 16)));
        uint8_t sum = 0;
        for (uint8_t x : b)
            sum = uint8_t(sum + x);
        EXPECT_EQ(sum, 0) << "checksum of " << line;
        EXPECT_EQ(b.size(), b[0] + 5u) << line;
        uint32_t offset = uint32_t(b[1]) << 8 | b[2];
        switch (b[3]) {
        case 0:
            for (size_t i = 0; i < b[0]; ++i)
                image[upper + offset + uint32_t(i)] = b[4 + i];
            break;
        case 1:
            ended = true;
            break;
        case 4:
            upper = (uint32_t(b[4]) << 8 | b[5]) << 16;
            break;
        default:
            ADD_FAILURE() << "unexpected record: " << line;
        }
    }
    EXPECT_TRUE(ended);
    return image;
}

// main.o: the absolute "reset" at 0 and ".code", which defines "start" and
// refers to the names given.
CoffBuilder mainObject(ProcessorCode dev, const std::vector<uint16_t> &reset, const std::vector<uint16_t> &code,
                       const std::vector<std::string> &refs)
{
    CoffBuilder b = CoffBuilder()
                        .processor(dev)
                        .section("reset", SCN_CODE | SCN_ABS, le(reset), 0)
                        .section(".code", SCN_CODE, le(code))
                        .symbol("start", 0, ".code", C_EXT);
    for (const std::string &r : refs)
        b.symbol(r, 0, 0, C_EXT);
    return b;
}

// main.o of the paged families: PAGESEL util; CALL util; BANKSEL flags;
// MOVWF flags; PAGESEL libfn by bits; CALL libfn; GOTO start.
CoffBuilder pagedMainObject(ProcessorCode dev, uint16_t gotoWord, const std::vector<uint16_t> &code)
{
    return mainObject(dev, {gotoWord}, code, {"util", "libfn", "flags"})
        .reloc("reset", 0, "start", RELOCT_GOTO)
        .reloc(".code", 0, "util", RELOCT_PAGESEL)
        .reloc(".code", 4, "util", RELOCT_CALL)
        .reloc(".code", 6, "flags", RELOCT_BANKSEL)
        .reloc(".code", 10, "flags", RELOCT_F)
        .reloc(".code", 12, "libfn", RELOCT_PAGESEL_BITS)
        .reloc(".code", 16, "libfn", RELOCT_CALL)
        .reloc(".code", 18, "start", RELOCT_GOTO);
}

// util.o: "utext" defines "util"; "uvars" (2 bytes) holds "counter" at 1.
CoffBuilder utilObject(ProcessorCode dev, const std::vector<uint16_t> &code)
{
    return CoffBuilder()
        .processor(dev)
        .section("utext", SCN_CODE, le(code))
        .udata("uvars", 2)
        .symbol("util", 0, "utext", C_EXT)
        .symbol("counter", 1, "uvars", C_EXT);
}

// The library member: ".code" defines "libfn", "lvars" (1 byte) holds
// "flags"; it refers to the names given.
CoffBuilder memberObject(ProcessorCode dev, const std::vector<uint16_t> &code, const std::vector<std::string> &refs)
{
    CoffBuilder b = CoffBuilder()
                        .processor(dev)
                        .section(".code", SCN_CODE, le(code))
                        .udata("lvars", 1)
                        .symbol("libfn", 0, ".code", C_EXT)
                        .symbol("flags", 0, "lvars", C_EXT);
    for (const std::string &r : refs)
        b.symbol(r, 0, 0, C_EXT);
    return b;
}

// The member that reads "counter" and writes "flags" in its first two words.
CoffBuilder counterMemberObject(ProcessorCode dev, const std::vector<uint16_t> &code)
{
    return memberObject(dev, code, {"counter"})
        .reloc(".code", 0, "counter", RELOCT_F)
        .reloc(".code", 2, "flags", RELOCT_F);
}

// Links main.o, util.o and lib.lib (found on the library path) under prog.lkr, converts the executable
// to INHX32 and compares the image.
void expectImage(const std::string &lkr, const CoffBuilder &mainObj, const CoffBuilder &utilObj,
                 const CoffBuilder &member, const std::vector<Run> &expected)
{
    TempDir dir;
    dir.write("prog.lkr", lkr);
    dir.write("main.o", mainObj.bytes());
    dir.write("util.o", utilObj.bytes());
    dir.write("lib.lib", ArchiveBuilder().member("libm.o", member).bytes());
    ToolResult link = runTool(TARVOK_EXE, {"prog.lkr", "main.o", "util.o", "/l", ".", "lib.lib", "/o", "prog.cof"}, dir.path());
    ASSERT_EQ(link.exitCode, 0) << link.output;
    ToolResult hex = runTool(SKELLAN_EXE, {"/a", "INHX32", "prog.cof"}, dir.path());
    ASSERT_EQ(hex.exitCode, 0) << hex.output;
    EXPECT_EQ(readHex(dir.readText("prog.hex")), imageOf(expected));
}

} // namespace

TEST(LinkProgramHex, Core14)
{
    // Four pages and four banks: page selection by W and by bits builds two
    // words, bank selection two. start = 0x003, libfn = 0x00d, util =
    // 0x800, counter = 0x21, flags = 0xa0 (bank 1).
    const std::string lkr = "CODEPAGE NAME=page0 START=0x0 END=0x7FF\n"
                            "CODEPAGE NAME=page1 START=0x800 END=0xFFF PROTECTED\n"
                            "DATABANK NAME=gpr0 START=0x20 END=0x6F\n"
                            "DATABANK NAME=gpr1 START=0xA0 END=0xEF PROTECTED\n"
                            "SECTION NAME=utext ROM=page1\n"
                            "SECTION NAME=lvars RAM=gpr1\n";
    const ProcessorCode dev = 0x34;
    CoffBuilder mainObj = pagedMainObject(dev, 0x2800, {0, 0, 0x2000, 0, 0, 0x0080, 0, 0, 0x2000, 0x2800});
    // BANKSEL counter; INCF counter,F; RETURN.
    CoffBuilder utilObj = utilObject(dev, {0, 0, 0x0A80, 0x0008})
                              .reloc("utext", 0, "counter", RELOCT_BANKSEL)
                              .reloc("utext", 4, "counter", RELOCT_F);
    // MOVF counter,W; MOVWF flags; RETURN.
    CoffBuilder member = counterMemberObject(dev, {0x0800, 0x0080, 0x0008});
    expectImage(lkr, mainObj, utilObj, member,
                {{0x0000, {0x2803}},                                                  // GOTO 0x003
                 {0x0002, {0x3400, 0x3400}},                                          // RETLW 0 twice
                 {0x0006, {0x3008, 0x008A, 0x2000, 0x1683, 0x1303, 0x00A0,            // MOVLW 8, MOVWF PCLATH,
                           0x118A, 0x120A, 0x200D, 0x2803}},                          // BCF PCLATH,3 and ,4
                 {0x001A, {0x0821, 0x00A0, 0x0008}},                                  // the member at 0x00d
                 {0x1000, {0x1283, 0x1303, 0x0AA1, 0x0008}}});                        // utext at 0x800
}

TEST(LinkProgramHex, Core12)
{
    // 512-word pages, 32-byte banks; calls go to the first half of a page.
    // start = 0x003, libfn = 0x00d, util = 0x200 (page 1), counter = 0x09,
    // flags = 0x30 (bank 1).
    const std::string lkr = "CODEPAGE NAME=page0 START=0x0 END=0x1FF\n"
                            "CODEPAGE NAME=page1 START=0x200 END=0x3FF PROTECTED\n"
                            "DATABANK NAME=gpr0 START=0x08 END=0x1F\n"
                            "DATABANK NAME=gpr1 START=0x30 END=0x3F PROTECTED\n"
                            "SECTION NAME=utext ROM=page1\n"
                            "SECTION NAME=lvars RAM=gpr1\n";
    const ProcessorCode dev = 0x1F;
    CoffBuilder mainObj = pagedMainObject(dev, 0x0A00, {0, 0, 0x0900, 0, 0, 0x0020, 0, 0, 0x0900, 0x0A00});
    // IBANKSEL counter; INCF counter,F; RETLW 0.
    CoffBuilder utilObj = utilObject(dev, {0, 0, 0x02A0, 0x0800})
                              .reloc("utext", 0, "counter", RELOCT_IBANKSEL)
                              .reloc("utext", 4, "counter", RELOCT_F);
    // MOVF counter,W; MOVWF flags; RETLW 0.
    CoffBuilder member = counterMemberObject(dev, {0x0200, 0x0020, 0x0800});
    expectImage(lkr, mainObj, utilObj, member,
                {{0x0000, {0x0A03}},
                 {0x0002, {0x0800, 0x0800}},
                 // BSF 3,5, BCF 3,6 (page 1); CALL 0x00; BSF 4,5, BCF 4,6
                 // (bank 1); MOVWF 0x10; BCF 3,5, BCF 3,6; CALL 0x0d; GOTO 3.
                 {0x0006, {0x05A3, 0x04C3, 0x0900, 0x05A4, 0x04C4, 0x0030, 0x04A3, 0x04C3, 0x090D, 0x0A03}},
                 {0x001A, {0x0209, 0x0030, 0x0800}},
                 {0x0400, {0x04A4, 0x04C4, 0x02A9, 0x0800}}});
}

TEST(LinkProgramHex, Core16)
{
    // 8192-word pages, 256-byte banks, two pages, eight banks. start =
    // 0x002 (".cinit" takes one word), libfn = 0x00d, util = 0x2000,
    // counter = 0x21, flags = 0x120 (bank 1, general purpose).
    const std::string lkr = "CODEPAGE NAME=page0 START=0x0 END=0x1FFF\n"
                            "CODEPAGE NAME=page1 START=0x2000 END=0x3FFF PROTECTED\n"
                            "DATABANK NAME=gpr0 START=0x20 END=0xFF\n"
                            "DATABANK NAME=gpr1 START=0x120 END=0x1FF PROTECTED\n"
                            "SECTION NAME=utext ROM=page1\n"
                            "SECTION NAME=lvars RAM=gpr1\n";
    const ProcessorCode dev = 0x7B;
    // PAGESEL util; CALL util; BANKSEL flags; MOVWF flags; MOVLB flags;
    // MOVFP counter,WREG; PAGESEL libfn through W; CALL libfn; GOTO start.
    CoffBuilder mainObj =
        mainObject(dev, {0xC000}, {0, 0, 0xE000, 0, 0x0100, 0xB800, 0x6A00, 0, 0, 0xE000, 0xC000},
                   {"util", "libfn", "flags", "counter"})
            .reloc("reset", 0, "start", RELOCT_GOTO)
            .reloc(".code", 0, "util", RELOCT_PAGESEL)
            .reloc(".code", 4, "util", RELOCT_CALL)
            .reloc(".code", 6, "flags", RELOCT_BANKSEL)
            .reloc(".code", 8, "flags", RELOCT_F)
            .reloc(".code", 10, "flags", RELOCT_MOVLB)
            .reloc(".code", 12, "counter", RELOCT_F)
            .reloc(".code", 14, "libfn", RELOCT_PAGESEL_WREG)
            .reloc(".code", 18, "libfn", RELOCT_CALL)
            .reloc(".code", 20, "start", RELOCT_GOTO);
    // MOVLR of counter's bank; INCF counter,F; RETURN.
    CoffBuilder utilObj = utilObject(dev, {0xBA00, 0x1500, 0x0002})
                              .reloc("utext", 0, "counter", RELOCT_MOVLR)
                              .reloc("utext", 2, "counter", RELOCT_F);
    // MOVFP counter,WREG; MOVWF flags; RETURN.
    CoffBuilder member = counterMemberObject(dev, {0x6A00, 0x0100, 0x0002});
    expectImage(lkr, mainObj, utilObj, member,
                {{0x0000, {0xC002}},
                 {0x0002, {0x0000}},
                 // MOVLW 0x20, MOVWF 3; CALL 0; MOVLR 1; MOVWF 0x20; MOVLB 1;
                 // MOVFP 0x21,WREG; MOVLW 0, MOVWF 3; CALL 0x0d; GOTO 2.
                 {0x0004, {0xB020, 0x0103, 0xE000, 0xBA10, 0x0120, 0xB801, 0x6A21, 0xB000, 0x0103, 0xE00D, 0xC002}},
                 {0x001A, {0x6A21, 0x0120, 0x0002}},
                 {0x4000, {0xBA00, 0x1521, 0x0002}}});
}

TEST(LinkProgramHex, Core16E)
{
    // Byte addresses, code at even addresses, an access bank below gpr0.
    // ".cinit" (2 bytes) at 0x04, ".code" at 0x06: start = 0x06, libfn =
    // 0x1e; util = 0x10000 (word 0x8000); counter = 0x61, flags = 0x100.
    const std::string lkr = "CODEPAGE NAME=page0 START=0x0 END=0x7FFF\n"
                            "CODEPAGE NAME=far START=0x10000 END=0x17FFF PROTECTED\n"
                            "ACCESSBANK NAME=acc START=0x0 END=0x5F\n"
                            "DATABANK NAME=gpr0 START=0x60 END=0xFF\n"
                            "DATABANK NAME=gpr1 START=0x100 END=0x1FF PROTECTED\n"
                            "SECTION NAME=utext ROM=far\n"
                            "SECTION NAME=lvars RAM=gpr1\n";
    const ProcessorCode dev = 0x81;
    // CALL util; MOVLB flags; MOVWF flags with its access bit; INCF
    // counter,F with its access bit; LFSR 0,counter; MOVFF counter,flags;
    // RCALL libfn; BNZ start; BRA start.
    CoffBuilder mainObj = mainObject(dev, {0xEF00, 0xF000},
                                     {0xEC00, 0xF000, 0x0100, 0x6E00, 0x2A00, 0xEE00, 0xF000, 0xC000, 0xF000, 0xD800,
                                      0xE100, 0xD000},
                                     {"util", "libfn", "flags", "counter"})
                              .reloc("reset", 0, "start", RELOCT_GOTO)
                              .reloc("reset", 2, "start", RELOCT_CALL2)
                              .reloc(".code", 0, "util", RELOCT_CALL)
                              .reloc(".code", 2, "util", RELOCT_CALL2)
                              .reloc(".code", 4, "flags", RELOCT_BANKSEL)
                              .reloc(".code", 6, "flags", RELOCT_F)
                              .reloc(".code", 6, "flags", RELOCT_ACCESS)
                              .reloc(".code", 8, "counter", RELOCT_F)
                              .reloc(".code", 8, "counter", RELOCT_ACCESS)
                              .reloc(".code", 10, "counter", RELOCT_LFSR1)
                              .reloc(".code", 12, "counter", RELOCT_LFSR2)
                              .reloc(".code", 14, "counter", RELOCT_FF1)
                              .reloc(".code", 16, "flags", RELOCT_FF2)
                              .reloc(".code", 18, "libfn", RELOCT_BRA)
                              .reloc(".code", 20, "start", RELOCT_CONDBRA)
                              .reloc(".code", 22, "start", RELOCT_BRA);
    // MOVLW low, high byte of counter, upper byte of util; RETURN.
    CoffBuilder utilObj = utilObject(dev, {0x0E00, 0x0E00, 0x0E00, 0x0012})
                              .reloc("utext", 0, "counter", RELOCT_LOW)
                              .reloc("utext", 2, "counter", RELOCT_HIGH)
                              .reloc("utext", 4, "util", RELOCT_UPPER);
    // INCF flags,F,BANKED; MOVLW size of uvars; MOVLW its last address;
    // GOTO util.
    CoffBuilder member = memberObject(dev, {0x2A00, 0x0E00, 0x0E00, 0xEF00, 0xF000}, {"util", ".uvars"})
                             .reloc(".code", 0, "flags", RELOCT_F)
                             .reloc(".code", 0, "flags", RELOCT_ACCESS)
                             .reloc(".code", 2, ".uvars", RELOCT_SCNSZ_LOW)
                             .reloc(".code", 4, ".uvars", RELOCT_SCNEND_LOW)
                             .reloc(".code", 6, "util", RELOCT_GOTO)
                             .reloc(".code", 8, "util", RELOCT_CALL2);
    expectImage(lkr, mainObj, utilObj, member,
                {{0x0000, {0xEF03, 0xF000}},
                 {0x0004, {0x0000}},
                 // CALL word 0x8000; MOVLB 1; MOVWF 0x00,BANKED; INCF
                 // 0x61,F,BANKED; LFSR 0,0x061; MOVFF 0x061,0x100; RCALL +2
                 // words (0x1e - 0x1a); BNZ -11 words (6 - 0x1c); BRA -12
                 // words (6 - 0x1e).
                 {0x0006, {0xEC00, 0xF080, 0x0101, 0x6F00, 0x2B61, 0xEE00, 0xF061, 0xC061, 0xF100, 0xD802, 0xE1F5,
                           0xD7F4}},
                 {0x001E, {0x2B00, 0x0E02, 0x0E61, 0xEF00, 0xF080}},
                 {0x10000, {0x0E61, 0x0E00, 0x0E01, 0x0012}}});
}
