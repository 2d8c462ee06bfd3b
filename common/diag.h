// The one reporter of the suite: error and warning counts, the quiet flag,
// the count summary that ends every program, the banners, and the start-up
// sequence that all four programs share.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

// Severity codes of report(); any other value prints a plain, uncounted line.
const uint8_t SEV_ERROR = 0;
const uint8_t SEV_WARNING = 1;

// Counts and prints one message ("Error - ", "Warning - " or no prefix);
// a fatal report ends the program through summary(255), quiet or not.
void report(uint8_t severity, const std::string &location, const std::string &message, bool fatal);
// The same with the message taken from a string stream, which is emptied.
void report(uint8_t severity, const std::string &location, std::ostringstream &message, bool fatal);

// Prints the error and warning counts unless quiet and ends the process.
[[noreturn]] void summary(int code);

void setQuiet(int value);
int isQuiet();
void setShowLocation(int value);
uint32_t errorCount();
uint32_t warningCount();

std::string linkerBanner();
std::string librarianBanner();
std::string codConverterVersion();
std::string codConverterBanner();
std::string hexConverterBanner();
std::string coffDumpBanner();
std::string codDumpBanner();
std::string disassemblerBanner();
std::string noticeBanner();

// The start-up every program runs before parsing its command line: the
// error stream writes into standard output, "out of memory" ends the
// program with 1, SIGXFSZ left at its default action is ignored (a write
// past the file-size limit fails instead), the quiet switch is honoured
// wherever it stands, and the banner and notice line are printed unless
// quiet.
void startUp(int argc, const char *const *argv, const std::string &banner);

// True when a whole argument is one of the quiet switches.
bool isQuietSwitch(const std::string &arg);

// True when an argument is a switch: it begins with '-', or with '/' and
// holds no further '/' (an absolute path such as /tmp/a.o is a file name).
bool isSwitchArg(const std::string &arg);

// Ends the program as running out of memory does: "out of memory", exit
// code 1, no half-written file left behind.
[[noreturn]] void outOfMemory();

// Set once by the output layer: called, and must be async-signal-safe,
// right before running out of memory or a failed assertion ends the
// program, so that no half-written file is left behind.
void setFatalCleanup(void (*cleanup)());

// Internal invariants: prints "Assertion failed: " with the condition, the
// source file and the line, and ends the program.
[[noreturn]] void assertFailed(const char *condition, const char *file, int line);
#define SUITE_ASSERT(cond) ((cond) ? (void)0 : assertFailed(#cond, __FILE__, __LINE__))
