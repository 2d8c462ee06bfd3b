// The exit hook of the fuzzing build. Compiled without the forced include
// and without the redirection, so that exit here is the real one.

#define EXITGUARD_NO_REDIRECT
#include "exitguard.h"

namespace {

bool gCatching = false;
void (*gObserver)(int) = nullptr;

} // namespace

void catchProgramExits(bool on) { gCatching = on; }

void observeProgramExits(void (*observer)(int code)) { gObserver = observer; }

void guardedExit(int code)
{
    if (gCatching) {
        if (gObserver)
            gObserver(code);
        throw ProgramExit{code};
    }
    std::exit(code);
}
