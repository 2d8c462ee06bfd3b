// Command-line parsing of the librarian:
//
//   quessel [/q] /{ctdrx} LIBRARY [MEMBER...]
//
// Switches before the command are "/q" (skipped; the start-up already made
// the program quiet) and the help switches; anything else there shows the
// help screen. The command switch takes the rest of the line: a library
// name and then member names, all kept exactly as given.

#include "arparser.h"

#include "archiver.h"
#include "diag.h"
#include "pathinfo.h"

#include <cstdlib>
#include <iostream>
#include <list>

namespace {

// The switch letter folded to lower case, or 0 when the argument is not a
// switch of exactly two characters.
char switchLetter(const std::string &arg)
{
    if (arg.size() != 2 || !isSwitchArg(arg))
        return 0;
    char c = arg[1];
    if (c >= 'A' && c <= 'Z')
        c = char(c - 'A' + 'a');
    return c;
}

bool commandOf(char letter, ArCommand &cmd)
{
    switch (letter) {
    case 'c': cmd = ArCommand::cmdCreate; return true;
    case 't': cmd = ArCommand::cmdList; return true;
    case 'd': cmd = ArCommand::cmdDelete; return true;
    case 'r': cmd = ArCommand::cmdReplace; return true;
    case 'x': cmd = ArCommand::cmdExtract; return true;
    default: return false;
    }
}

} // namespace

void ArParser::parse(int argc, const char *const *argv, Archiver &archiver)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        char letter = switchLetter(arg);
        ArCommand cmd;
        if (!commandOf(letter, cmd)) {
            if (letter == 'q')
                continue;
            // "/h", "/?" and every argument that is no switch of the table.
            // "-?" is not one of the help switches, yet it shows the help
            // screen too, as any other unknown argument does.
            help();
        }

        // The command takes every remaining argument.
        ++i;
        // Names are kept as the system opens them: '\\' separates
        // directories like '/'.
        std::string library = i < argc && argv[i] ? argv[i] : "";
        if (library.empty() || !isLibraryFile(library))
            usage("library filename is required");
        library = hostPath(library);
        std::list<std::string> members;
        for (++i; i < argc; ++i) {
            std::string member = argv[i] ? argv[i] : "";
            if (member.empty() || !isObjectFile(member))
                usage("invalid object filename");
            members.push_back(hostPath(member));
        }
        std::string msg;
        if (!archiver.setCommand(uint8_t(cmd), library, members, msg))
            usage("");
        return;
    }

    if (!isQuiet())
        help();
    // Quiet and no command: the Archiver has nothing to run, and the program
    // ends with 1 without a word.
}

void ArParser::usage(const std::string &msg)
{
    std::string text = msg.empty() ? "Usage:  quessel [/q] /{ctdrx} LIBRARY [MEMBER...] " : msg;
    report(SEV_ERROR, "ArParser::usage()", text, false);
    summary(1);
}

void ArParser::help()
{
    std::cout << "Syntax:   quessel [/q] /{ctdrxh} LIBRARY [MEMBER...]  \n"
              << "  /q      : quiet mode                       \n"
              << "  /c      : create library LIBRARY           \n"
              << "  /t      : list library LIBRARY             \n"
              << "  /d      : delete MEMBER from LIBRARY       \n"
              << "  /r      : add or replace MEMBER in LIBRARY \n"
              << "  /x      : extract MEMBER from LIBRARY      \n"
              << "  /h, /?  : show this help screen            \n"
              << "\n";
    std::cout.flush();
    std::exit(255);
}
