// Whole links with one fuzzed object among sound inputs: the linker's
// entry point with a command file, a map file and a library:
//
//   byte 0     bit 0 strip ("/s"), bits 1-2 the family of the command file
//              and library (12-, 14-, 16-bit and byte-addressed)
//   the rest   the object "fuzz.o"
//
// Whatever the input, the program ends with 0, 1 or 255 and leaves no
// temporary file; an executable it writes reads back and verifies.

#include "coff.h"
#include "fixtures.h"
#include "harness.h"

#include <filesystem>

int tarvokMain(int argc, char **argv);

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const char *const FILES[4][2] = {
        {"core12.lkr", "lib12.lib"}, {"core14.lkr", "lib14.lib"}, {"core16.lkr", "lib16.lib"}, {"core16e.lkr", "lib16e.lib"}};
    const char *const *files = FILES[(data[0] >> 1) & 3];
    std::vector<std::string> args{"tarvok", "/m", "out.map", "/o", "out.cof", "/l", ".", files[0], "fuzz.o", files[1]};
    if (data[0] & 1)
        args.push_back("/s");
    std::vector<const char *> argv = fuzz::argvOf(args);
    int code = fuzz::runGuarded([&] {
        fuzz::clearWorkDir();
        fuzz::writeLinkFiles();
        fuzz::writeFile("fuzz.o", data + 1, size - 1);
        tarvokMain(int(args.size()), const_cast<char **>(argv.data()));
    });
    fuzz::check(code == 0 || code == 1 || code == 255, "the program ends through exit with 0, 1 or 255");
    fuzz::check(fuzz::leftoverTempFiles().empty(), "no temporary file is left behind");
    if (code == 0) {
        int read = fuzz::runGuarded([] {
            std::unique_ptr<Coff> out = Coff::make("out.cof");
            fuzz::check(out != nullptr, "the executable written reads back");
            fuzz::check(out->verify(), "the executable written verifies");
        });
        fuzz::check(read == -1, "reading the executable written ends nothing");
    }
    return 0;
}
