// Linker command files: the text read by the Parser, with every setting
// handed to a Linker. Usage errors end in a caught exit; a file that reads
// must leave a configuration that the debug dump can show.

#include "fixtures.h"
#include "harness.h"
#include "linker.h"
#include "parser.h"

#include <sstream>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    fuzz::inWorkDir(fuzz::writeLinkerFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::runGuarded([&] {
        fuzz::writeFile("fuzz.lkr", data, size);
        Linker linker;
        Parser parser;
        parser.parseCommandFile("fuzz.lkr", linker);
        std::ostringstream dump;
        linker.print(dump);
    });
    return 0;
}
