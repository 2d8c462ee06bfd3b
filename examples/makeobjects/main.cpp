// Writes the object files of the blink example, as an assembler would have
// made them from the sources beside the command files:
//
//   makeobjects SOURCEDIR OUTDIR
//
// reads SOURCEDIR/<device>/*.asm only to check that every instruction sits
// on the source line its line number names, and writes
// OUTDIR/<device>/{main,util,delay}.o. Exit code 0 on success, 1 on any error.
#include "objectsource.h"

#include "reloctype.h"
#include "safefile.h"

#include <ctime>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace {

const ProcessorCode VOQ410 = 0x07; // 14-bit words, one page, two banks
const ProcessorCode VOQ850 = 0x81; // byte-addressed program memory
const ProcessorCode VOQ240 = 0x01; // 12-bit words, two pages, four banks
const ProcessorCode VOQK5 = 0x7B;  // 16-bit words, two pages, eight banks

// ---- VOQ410 ----

// The main module of the word families: a reset vector that jumps to the
// start, the pattern in initialised data and the blinking loop.
ObjectSource wordMain(ProcessorCode device)
{
    ObjectSource s(device, "main.asm", "defs.inc", 2);
    s.external("count");
    s.external("blink");
    s.external("delay");
    s.code("reset");
    s.ins(8, "goto", {0}, "start", RELOCT_GOTO);
    s.idata("main_idata", "pattern", true, {0x55, 0xAA});
    s.code("main_code");
    s.label("start", true);
    s.banksel(14, "count");
    s.ins(15, "movlw", {0x05});
    s.ins(16, "movwf", {0}, "count", RELOCT_F);
    s.label("loop", false);
    s.ins(17, "call", {0}, "blink", RELOCT_CALL);
    s.ins(18, "call", {0}, "delay", RELOCT_CALL);
    s.ins(19, "goto", {0}, "loop", RELOCT_GOTO);
    return s;
}

ObjectSource voq410Util()
{
    ObjectSource s(VOQ410, "util.asm", "defs.inc", 2);
    s.external("pattern");
    s.udata("util_udata", "count", true, 1);
    s.code("util_code");
    s.label("blink", true);
    s.banksel(11, "pattern");
    s.ins(12, "movf", {0, 0}, "pattern", RELOCT_F);
    s.ins(13, "movwf", {0x06});
    s.banksel(14, "count");
    s.ins(15, "decf", {0, 1}, "count", RELOCT_F);
    s.ins(16, "return");
    return s;
}

ObjectSource voq410Delay()
{
    ObjectSource s(VOQ410, "delay.asm", "defs.inc", 2);
    s.udata("delay_shr", "dcount", false, 1, true);
    s.code("delay_code");
    s.label("delay", true);
    s.ins(10, "movlw", {0xFF});
    s.ins(11, "movwf", {0}, "dcount", RELOCT_F);
    s.label("dloop", false);
    s.ins(12, "decfsz", {0, 1}, "dcount", RELOCT_F);
    s.ins(13, "goto", {0}, "dloop", RELOCT_GOTO);
    s.ins(14, "return");
    return s;
}

// ---- VOQ850 ----

ObjectSource voq850Main()
{
    ObjectSource s(VOQ850, "main.asm", "defs.inc", 2);
    s.external("count");
    s.external("blink");
    s.external("delay");
    s.code("reset");
    s.ins(8, "goto", {0}, "start", RELOCT_GOTO);
    s.word2(0, "start", RELOCT_CALL2);
    s.idata("main_idata", "pattern", true, {0x55, 0xAA});
    s.code("main_code");
    s.label("start", true);
    s.banksel(14, "count");
    s.ins(15, "movlw", {0x05});
    s.ins(16, "movwf", {0, 1}, "count", RELOCT_F); // banked
    s.label("loop", false);
    s.ins(17, "call", {0, 0}, "blink", RELOCT_CALL);
    s.word2(0, "blink", RELOCT_CALL2);
    s.ins(18, "call", {0, 0}, "delay", RELOCT_CALL);
    s.word2(0, "delay", RELOCT_CALL2);
    s.ins(19, "bra", {0}, "loop", RELOCT_BRA);
    // Two tables of odd length in program memory, placed one after the
    // other: the hex file must give no byte a second value.
    s.romdata("main_text", "title", false, {'V', 'O', 'Q', '8', '5', '0', 0});
    s.romdata("main_bars", "bars", false, {0x01, 0x03, 0x07, 0x0F, 0x1F});
    return s;
}

ObjectSource voq850Util()
{
    ObjectSource s(VOQ850, "util.asm", "defs.inc", 2);
    s.external("pattern");
    s.udata("util_udata", "count", true, 1);
    s.code("util_code");
    s.label("blink", true);
    s.ins(11, "movff", {0}, "pattern", RELOCT_FF1);
    s.word2(0xF81); // PORTB
    s.banksel(12, "count");
    s.ins(13, "decf", {0, 1, 1}, "count", RELOCT_F); // to the register, banked
    s.ins(14, "return", {0});
    return s;
}

ObjectSource voq850Delay()
{
    ObjectSource s(VOQ850, "delay.asm", "defs.inc", 2);
    s.udata("delay_shr", "dcount", false, 1, true);
    s.code("delay_code");
    s.label("delay", true);
    s.ins(10, "movlw", {0xFF});
    s.banksel(11, "dcount");
    s.ins(12, "movwf", {0, 1}, "dcount", RELOCT_F);
    s.label("dloop", false);
    s.ins(13, "decfsz", {0, 1, 1}, "dcount", RELOCT_F);
    s.ins(14, "bra", {0}, "dloop", RELOCT_BRA);
    s.ins(15, "return", {0});
    return s;
}

// ---- VOQ240 ----

ObjectSource voq240Util()
{
    ObjectSource s(VOQ240, "util.asm", "defs.inc", 2);
    s.external("pattern");
    s.udata("util_udata", "count", true, 1);
    s.code("util_code");
    s.label("blink", true);
    s.banksel(11, "pattern");
    s.ins(12, "movf", {0, 0}, "pattern", RELOCT_F);
    s.ins(13, "movwf", {0x06});
    s.banksel(14, "count");
    s.ins(15, "decf", {0, 1}, "count", RELOCT_F);
    s.ins(16, "retlw", {0});
    return s;
}

// The delay module of a family with banked data and no shared memory; the
// 12-bit family returns with "retlw 0", having no "return".
ObjectSource bankedDelay(ProcessorCode device, bool retlw)
{
    ObjectSource s(device, "delay.asm", "defs.inc", 2);
    s.udata("delay_udata", "dcount", false, 1);
    s.code("delay_code");
    s.label("delay", true);
    s.ins(10, "movlw", {0xFF});
    s.banksel(11, "dcount");
    s.ins(12, "movwf", {0}, "dcount", RELOCT_F);
    s.label("dloop", false);
    s.ins(13, "decfsz", {0, 1}, "dcount", RELOCT_F);
    s.ins(14, "goto", {0}, "dloop", RELOCT_GOTO);
    if (retlw)
        s.ins(15, "retlw", {0});
    else
        s.ins(15, "return");
    return s;
}

// ---- VOQK5 ----

ObjectSource voqk5Util()
{
    ObjectSource s(VOQK5, "util.asm", "defs.inc", 2);
    s.external("pattern");
    s.udata("util_udata", "count", true, 1);
    s.code("util_code");
    s.label("blink", true);
    s.banksel(11, "pattern");
    s.ins(12, "movfp", {0, 0x12}, "pattern", RELOCT_F); // to PORTB
    s.banksel(13, "count");
    s.ins(14, "decf", {0, 1}, "count", RELOCT_F);
    s.ins(15, "return");
    return s;
}

bool writeObjects(const std::string &sourceDir, const std::string &outDir, const std::string &device,
                  const std::vector<ObjectSource> &sources)
{
    std::error_code ec;
    std::filesystem::create_directories(outDir + "/" + device, ec);
    for (const ObjectSource &s : sources) {
        std::string err;
        if (!s.matchesSource(sourceDir + "/" + device, err)) {
            std::cerr << "makeobjects: " << device << "/" << err << '\n';
            return false;
        }
        std::string base = s.sourceName().substr(0, s.sourceName().rfind('.'));
        std::string path = outDir + "/" + device + "/" + base + ".o";
        // Stamped like an assembler's output with the time it was made.
        CoffBuilder object = s.build();
        object.timeStamp(uint32_t(std::time(nullptr)));
        if (!writeFileAtomically(path, object.bytes(), err)) {
            std::cerr << "makeobjects: cannot write '" << path << "': " << err << '\n';
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: makeobjects SOURCEDIR OUTDIR\n";
        return 1;
    }
    try {
        bool ok = writeObjects(argv[1], argv[2], "voq410", {wordMain(VOQ410), voq410Util(), voq410Delay()}) &&
                  writeObjects(argv[1], argv[2], "voq850", {voq850Main(), voq850Util(), voq850Delay()}) &&
                  writeObjects(argv[1], argv[2], "voq240", {wordMain(VOQ240), voq240Util(), bankedDelay(VOQ240, true)}) &&
                  writeObjects(argv[1], argv[2], "voqk5", {wordMain(VOQK5), voqk5Util(), bankedDelay(VOQK5, false)});
        return ok ? 0 : 1;
    } catch (const std::exception &e) {
        std::cerr << "makeobjects: " << e.what() << '\n';
        return 1;
    }
}
