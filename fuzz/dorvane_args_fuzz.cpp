// COD converter command lines: the whole entry point on the executables and
// source files of the working directory.
// The input is the argument list, one argument per line; the working
// directory is set up afresh for every input, so each run starts from the
// same files. Arguments that could reach outside it are not run.

#include "fixtures.h"
#include "harness.h"

int dorvaneMain(int argc, char **argv);

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> args = fuzz::splitArguments(data, size, "dorvane");
    if (args.empty() || !fuzz::staysInWorkDir(args))
        return 0;
    std::vector<const char *> argv = fuzz::argvOf(args);
    int code = fuzz::runGuarded([&] {
        fuzz::clearWorkDir();
        fuzz::writeHexConverterFiles();
        fuzz::writeConverterFiles();
        dorvaneMain(int(args.size()), const_cast<char **>(argv.data()));
    });
    fuzz::check(code == 0 || code == 1 || code == 255, "the program ends through exit with 0, 1 or 255");
    fuzz::check(fuzz::leftoverTempFiles().empty(), "no temporary file is left behind");
    return 0;
}
