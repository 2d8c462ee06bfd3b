// Shared scaffolding of the fuzz targets: a private working directory per
// process, silent standard streams, runs that survive the programs' exits,
// and the argument lists of the command-line targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Coff;

namespace fuzz {

// Once per process: makes a fresh working directory (removed at exit) and
// sends standard output and error to a sink. The fuzzer's own directory
// stays the current one (corpus and findings are named relative to it);
// the targets' code runs in the working directory through inWorkDir and
// runGuarded.
void setUp();
// Runs the code with the working directory as the current directory.
void inWorkDir(const std::function<void()> &code);
// The working directory made by setUp().
const std::string &workDir();
// Removes every file and directory below the working directory.
void clearWorkDir();
void writeFile(const std::string &name, const std::vector<uint8_t> &bytes);
void writeFile(const std::string &name, const std::string &text);
void writeFile(const std::string &name, const uint8_t *data, size_t size);
std::vector<uint8_t> readFile(const std::string &name);
std::vector<uint8_t> textBytesOf(const std::string &text);

// Names of the temporary files of the safe output writers that are still
// in the working directory (at any depth).
std::vector<std::string> leftoverTempFiles();

// Runs the code in the working directory; a call of exit() inside ends it with that exit code,
// returned here. -1 when the code returned normally. Afterwards the
// process-wide state a program's start-up changes (quiet flag, stream
// buffers, new-handler) is put back.
int runGuarded(const std::function<void()> &code);

// The input cut into arguments at each '\n'; the first argument is the
// program name. Empty when the input holds more arguments than max.
std::vector<std::string> splitArguments(const uint8_t *data, size_t size, const std::string &program,
                                        size_t max = 64);
// False when an argument could reach outside the working directory: a
// ".." anywhere, or more than a switch letter after a leading separator.
bool staysInWorkDir(const std::vector<std::string> &args);
// argv-style pointers to the arguments (valid while args lives), ending in
// a null pointer.
std::vector<const char *> argvOf(const std::vector<std::string> &args);

// One run of a program's entry point on a command line: the input cut into
// arguments (splitArguments, `program` first); inputs with too many
// arguments, or with arguments that could reach outside the working
// directory, are not run. Before the run the working directory is cleared
// and writeFiles puts the program's files in it. A finding when the program
// does not end through exit with 0, 1 or 255, or leaves a temporary file.
void runCommandLine(const uint8_t *data, size_t size, const std::string &program, int (*entry)(int, char **),
                    const std::function<void()> &writeFiles);

// The bytes of raw data of every section of the object, zero fill
// included. The dumps, whose text is linear in it, are taken only up to
// DUMP_LIMIT bytes, so that zero fill claimed by a few header bytes does
// not turn every input into a slow one.
uint64_t rawBytes(const Coff &coff);
const uint64_t DUMP_LIMIT = 1u << 20;

// Aborts (a finding) with the message when the condition does not hold.
void check(bool condition, const char *what);

} // namespace fuzz
