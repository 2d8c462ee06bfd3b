// The COD converter on an executable: the whole entry point, with the
// switches taken from the input's first bytes:
//
//   byte 0     bit 0 "-d" (no listing), bit 1 "-n" with the page length
//   byte 1     the page length (when bit 1)
//   the rest   the executable
//
// Source files named by the executable are looked for in the working
// directory, which holds a few. Whatever the input, the program ends with
// 0, 1 or 255 and leaves no temporary file; a COD file it writes reads
// back.

#include "cod.h"
#include "fixtures.h"
#include "harness.h"

#include <filesystem>

int dorvaneMain(int argc, char **argv);

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    std::vector<std::string> args{"dorvane"};
    if (data[0] & 1)
        args.push_back("-d");
    if (data[0] & 2)
        args.insert(args.end(), {"/n", std::to_string(int(data[1]) - 8)});
    args.push_back("fuzz.out");
    std::vector<const char *> argv = fuzz::argvOf(args);
    int code = fuzz::runGuarded([&] {
        fuzz::clearWorkDir();
        fuzz::writeConverterFiles();
        fuzz::writeFile("fuzz.out", data + 2, size - 2);
        dorvaneMain(int(args.size()), const_cast<char **>(argv.data()));
    });
    fuzz::check(code == 0 || code == 1 || code == 255, "the program ends through exit with 0, 1 or 255");
    fuzz::check(fuzz::leftoverTempFiles().empty(), "no temporary file is left behind");
    if (code == 0) {
        int read = fuzz::runGuarded([] {
            fuzz::check(std::filesystem::exists("fuzz.cod"), "a successful run writes its COD file");
            fuzz::check(Cod::make("fuzz.cod") != nullptr, "the COD file written reads back");
        });
        fuzz::check(read == -1, "reading the COD file written ends nothing");
    }
    return 0;
}
