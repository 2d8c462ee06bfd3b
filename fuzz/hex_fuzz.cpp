// The hex converter on an executable: the whole entry point, with the
// format and an address range taken from the input's first bytes:
//
//   byte 0     bits 0-1 the format (INHX8M, INHX8S, INHX32), bit 2 a "/r"
//   bytes 1-8  the range's first and last location (u32 each, when bit 2)
//   the rest   the executable
//
// Whatever the input, the program ends with 0, 1 or 255, leaves no
// temporary file, and every hex file it leaves holds well-formed records;
// a complete file ends in the end-of-file record, a failed run leaves none.

#include "bytes.h"
#include "harness.h"
#include "text.h"

#include <filesystem>
#include <fstream>

int skellanMain(int argc, char **argv);

namespace {

const char *const FORMATS[] = {"INHX8M", "INHX8S", "INHX32", "INHX32"};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One hex file: lines of ':', count, address, type, data and checksum in
// upper-case hex digits; the last line is the end-of-file record.
void checkHexFile(const std::string &name, bool complete)
{
    std::ifstream in(name);
    std::string line, last;
    while (std::getline(in, line)) {
        fuzz::check(line.size() >= 11 && line[0] == ':' && line.size() % 2 == 1, "a hex record has its frame");
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            int hi = hexValue(line[i]), lo = hexValue(line[i + 1]);
            fuzz::check(hi >= 0 && lo >= 0, "a hex record holds hex digits");
            bytes.push_back(uint8_t(hi << 4 | lo));
        }
        fuzz::check(bytes.size() == size_t(bytes[0]) + 5, "a hex record's count matches its data");
        uint8_t sum = 0;
        for (uint8_t b : bytes)
            sum = uint8_t(sum + b);
        fuzz::check(sum == 0, "a hex record's checksum is right");
        fuzz::check(bytes[0] <= 16, "a hex record holds at most 16 bytes");
        last = line;
    }
    if (complete)
        fuzz::check(last == ":00000001FF", "a hex file ends in the end-of-file record");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    std::vector<std::string> args{"skellan", "/a", FORMATS[data[0] & 3]};
    if (data[0] & 4)
        args.insert(args.end(), {"/r", hexString(getU32(data + 1), 4) + "-" + hexString(getU32(data + 5), 4)});
    args.push_back("fuzz.out");
    std::vector<const char *> argv = fuzz::argvOf(args);
    int code = fuzz::runGuarded([&] {
        fuzz::clearWorkDir();
        fuzz::writeFile("fuzz.out", data + 9, size - 9);
        skellanMain(int(args.size()), const_cast<char **>(argv.data()));
    });
    fuzz::check(code == 0 || code == 1 || code == 255, "the program ends through exit with 0, 1 or 255");
    fuzz::check(fuzz::leftoverTempFiles().empty(), "no temporary file is left behind");
    fuzz::inWorkDir([&] {
        // An address beyond 64K in the 16-bit formats ends the program with
        // 255 and the records written before it; a failure writes nothing.
        for (const char *name : {"fuzz.hex", "fuzz.hxl", "fuzz.hxh"}) {
            if (!std::filesystem::exists(name))
                continue;
            fuzz::check(code != 1, "a failed run leaves no hex file");
            checkHexFile(name, code != 255);
        }
        if (code == 0)
            fuzz::check(std::filesystem::exists("fuzz.hex") || std::filesystem::exists("fuzz.hxl"),
                        "a successful run writes its hex file");
    });
    return 0;
}
