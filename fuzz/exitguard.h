// Forced into every source of the fuzzing build (and of no other build):
// the calls of exit() that end a program after a fatal report, a usage
// error or the count summary come to guardedExit instead. A fuzz target
// that switches catching on gets a ProgramExit exception and goes on with
// the next input; with catching off, the program ends as it always does.
#pragma once

#include <cstdlib>

struct ProgramExit
{
    int code;
};

[[noreturn]] void guardedExit(int code);
// While on, guardedExit throws ProgramExit instead of ending the process.
void catchProgramExits(bool on);
// Called by guardedExit, before it throws, with the exit code: it sees the
// files as a real exit would leave them, before any destructor has run.
void observeProgramExits(void (*observer)(int code));

#ifndef EXITGUARD_NO_REDIRECT
namespace std {
using ::guardedExit;
}

#define exit guardedExit
#endif
