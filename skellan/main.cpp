// Hex converter entry point: reads the command line, the executable, builds
// the image of its program memory and writes it as Intel-hex.
//
//   skellan [/a <hexformat>] [/r 0xBBBB-0xEEEE]... [/q] <coffFile>

#include "addrrange.h"
#include "coff.h"
#include "coff2hex.h"
#include "diag.h"
#include "hex.h"
#include "pathinfo.h"
#include "samefile.h"
#include "text.h"

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char USAGE[] = "Usage: skellan [/a <hexformat>] [/r 0xBBBB-0xEEEE]... [/q] <coffFile>\n"
                     "   where, <hexformat> is {INHX32, INHX8S, INHX8M} \n"
                     "          0xBBBB is the beginning program memory address of a range to include\n"
                     "          0xEEEE is the ending program memory address of a range to include\n"
                     "   If no /r option is present, all rom sections will be included.\n"
                     "\n";

// A command-line error ends the program with 1, without the count summary.
[[noreturn]] void stop(const std::string &text)
{
    if (!isQuiet())
        std::cout << text;
    std::cout.flush();
    std::exit(1);
}

struct CommandLine
{
    std::vector<AddrRange> ranges; // in the order given; none: take everything
    uint8_t format = HEX_INHX32;
    std::string coffName;
    bool haveCoffName = false;
};

CommandLine parseCommandLine(int argc, char **argv)
{
    CommandLine cmd;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // Switch letters are folded to lower case; an absolute path is no switch.
        if (arg.size() >= 2 && isSwitchArg(arg))
            arg[1] = char(std::tolower(static_cast<unsigned char>(arg[1])));
        if (arg == "-r" || arg == "/r") {
            if (i + 1 >= argc)
                stop(USAGE);
            std::vector<std::string> fields = split(argv[++i], '-');
            if (fields.size() != 2)
                stop("/r requires 0xBBBB-0xEEEE where 0xEEEE >= 0xBBBB\n");
            uint32_t start = uint32_t(parseNumber(fields[0]));
            uint32_t end = uint32_t(parseNumber(fields[1]));
            if (end < start)
                stop("/r requires 0xBBBB-0xEEEE where 0xEEEE >= 0xBBBB\n");
            cmd.ranges.push_back(AddrRange(start, end));
        } else if (arg == "-q" || arg == "/q") {
            // Honoured at start-up.
        } else if (arg == "-a" || arg == "/a") {
            std::string value = i + 1 < argc ? argv[i + 1] : "";
            if (value == "INHX8M")
                cmd.format = HEX_INHX8M;
            else if (value == "INHX8S")
                cmd.format = HEX_INHX8S;
            else if (value == "INHX32")
                cmd.format = HEX_INHX32;
            else
                stop("-a switch requires {INHX32, INHX8S, INHX8M}\n");
            ++i;
        } else if (!cmd.haveCoffName) {
            // '\\' separates directories like '/'.
            cmd.coffName = hostPath(argv[i]);
            cmd.haveCoffName = true;
        } else {
            stop(USAGE);
        }
    }
    if (!cmd.haveCoffName)
        stop(USAGE);
    return cmd;
}

} // namespace

int main(int argc, char **argv)
{
    startUp(argc, argv, hexConverterBanner());
    CommandLine cmd = parseCommandLine(argc, argv);

    // The reader reports why it failed. The image needs no symbols, line
    // numbers or relocation entries, so they are only checked.
    std::unique_ptr<Coff> coff = Coff::makeSections(cmd.coffName);
    if (!coff)
        summary(1);
    // An empty selection fails without a message of its own.
    Coff2Hex hex;
    if (!hex.convert(*coff, cmd.ranges))
        summary(1);
    // No hex file may replace the executable or another hex file.
    if (!checkOutputFiles("main()", hex.fileNames(cmd.format), {cmd.coffName}))
        summary(1);
    if (!hex.write(cmd.format))
        summary(1);
    coff.reset();
    summary(0);
}
