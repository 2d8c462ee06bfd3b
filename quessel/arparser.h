// The librarian's command line: turns the arguments into one command for
// the Archiver and owns the usage and help texts.
#pragma once

#include <string>

class Archiver;

class ArParser
{
public:
    // Returns only when the arguments give one acceptable command (now stored
    // in the Archiver), or when no command was given in quiet mode; every
    // other outcome ends the program.
    void parse(int argc, const char *const *argv, Archiver &archiver);

    // Reports the message (the usage line when it is empty) as an error and
    // ends the program with 1.
    [[noreturn]] void usage(const std::string &msg);

    // Prints the help screen, quiet or not, and ends the program with 255.
    [[noreturn]] void help();
};
