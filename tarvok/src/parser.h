// The linker's command-line and command-file reader. It hands every setting
// to the Linker through its configuration callbacks, reads each linker
// command file the moment it is named (and every file those INCLUDE), and
// ends the process with a message at the first error.
#pragma once

#include "linker.h"
#include "memtarg.h"
#include "sectiondesc.h"
#include "stackdesc.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <set>
#include <string>
#include <vector>

class Parser
{
public:
    // Reads the arguments from left to right. Returns only when every one
    // was accepted and at least one command file was read; any error ends
    // the process with 1, the help screen with 255.
    void parseCommandLine(int argc, const char *const *argv, Linker &linker);

    // Finds one command file (current directory first, then the search
    // directories in order) and reads it, INCLUDEs and all.
    void parseCommandFile(const std::string &name, Linker &linker);

    // Reports the message as an error and ends the process with 1.
    [[noreturn]] static void usage(const std::string &message);
    // Prints the help screen and ends the process with 255.
    [[noreturn]] static void printUsage();

    // Readers of the attribute words of one directive, up to the end of the
    // line; a bad attribute ends the process with the directive's message.
    Memory parseMemory(const std::string &keyword, std::istream &in, const std::string &file, uint64_t line,
                       MemType type);
    SectionDesc parseSection(std::istream &in, const std::string &file, uint64_t line);
    StackDesc parseStack(std::istream &in, const std::string &file, uint64_t line);
    uint32_t parseHeap(std::istream &in, const std::string &file, uint64_t line);

    // The command files read so far (as found) and the search directories.
    const std::vector<std::string> &getCommandFiles() const { return cCommandFiles; }
    const std::vector<std::string> &getSearchDirs() const { return cSearchDirs; }

private:
    // A command file being read, with the place where reading stopped.
    struct OpenFile;
    // Finds, reads and registers a command file, ready to read from its
    // first line.
    std::unique_ptr<OpenFile> openCommandFile(const std::string &name);
    // Reads on from where the file stopped: true, with the operand in
    // include, at an INCLUDE of a command file; false at the file's end.
    bool readCommandFile(OpenFile &file, Linker &linker, std::string &include);
    std::vector<std::string> readPathList(std::istream &in, const std::string &message);

    std::vector<std::string> cCommandFiles; // in reading order
    std::set<std::string> cCommandFileSet;
    std::vector<std::string> cSearchDirs;   // "/k" and LKRPATH directories, in order
};

// A directory of a path list: any non-empty text (existence is not tested).
bool isValidPath(const std::string &dir);
// A name part longer than 4 characters, beginning with an ASCII letter or
// digit, with extension ".lkr" in any case.
bool isCommandFile(const std::string &text);
// The line without everything from the first "//" on.
std::string stripComment(const std::string &line);
// The FILL value as the output builder reads it: a hexadecimal value
// ("0x" or "0X" and digits) is widened with '0' digits after its prefix to
// a multiple of four digits; any other text is kept (it reads as decimal).
// False when a hexadecimal value holds a character that is no hex digit.
bool padFill(const std::string &value, std::string &padded);
