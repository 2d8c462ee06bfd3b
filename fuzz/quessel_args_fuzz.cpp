// Librarian command lines: the whole entry point, every command run on the libraries and objects of the working directory.
// The input is the argument list, one argument per line; the working
// directory is set up afresh for every input, so each run starts from the
// same files. Arguments that could reach outside it are not run.

#include "fixtures.h"
#include "harness.h"

int quesselMain(int argc, char **argv);

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::runCommandLine(data, size, "quessel", quesselMain, fuzz::writeLibrarianFiles);
    return 0;
}
