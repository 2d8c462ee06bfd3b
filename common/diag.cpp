// Reporter, count summary, banners and the shared start-up sequence.

#include "diag.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

namespace {

uint32_t gWarningCount = 0;
uint32_t gErrorCount = 0;
int gShowLocation = 0;
int gQuiet = 0;
void (*volatile gFatalCleanup)() = nullptr;

void runFatalCleanup()
{
    if (gFatalCleanup)
        gFatalCleanup();
}

} // namespace

void outOfMemory()
{
    runFatalCleanup();
    std::fputs("out of memory\n", stdout);
    std::fflush(stdout);
    std::_Exit(1);
}

void report(uint8_t severity, const std::string &location, const std::string &message, bool fatal)
{
    if (severity == SEV_WARNING) {
        ++gWarningCount;
        if (!gQuiet)
            std::cerr << "Warning - ";
    } else if (severity == SEV_ERROR) {
        ++gErrorCount;
        if (!gQuiet)
            std::cerr << "Error - ";
    }
    if (!gQuiet) {
        std::cout.flush();
        std::cerr << message;
        if (gShowLocation)
            std::cerr << " - " << location;
        std::cerr << '\n';
    }
    if (fatal)
        summary(255);
}

void report(uint8_t severity, const std::string &location, std::ostringstream &message, bool fatal)
{
    std::string text = message.str();
    message.str("");
    message.clear();
    report(severity, location, text, fatal);
}

void summary(int code)
{
    if (!gQuiet) {
        std::cout.flush();
        std::cout << "Errors    : " << gErrorCount << '\n';
        std::cout << "Warnings  : " << gWarningCount << '\n';
        std::cout << '\n';
        std::cerr.flush();
    }
    std::cout.flush();
    std::exit(code);
}

void setQuiet(int value) { gQuiet = value; }
int isQuiet() { return gQuiet; }
void setShowLocation(int value) { gShowLocation = value; }
uint32_t errorCount() { return gErrorCount; }
uint32_t warningCount() { return gWarningCount; }

std::string linkerBanner() { return "TARVOK v2.20.00, Linker"; }
std::string librarianBanner() { return "QUESSEL v2.20.00, Librarian"; }
std::string codConverterVersion() { return "DORVANE v2.20.00"; }
std::string codConverterBanner() { return "DORVANE v2.20.00, COFF to COD File Converter"; }
std::string hexConverterBanner() { return "SKELLAN v2.20.00, COFF to HEX File Converter"; }
std::string coffDumpBanner() { return "VONTREL v2.20.00, COFF Dump Utility"; }
std::string codDumpBanner() { return "MARRISH v2.20.00, COD Dump Utility"; }
std::string disassemblerBanner() { return "OSTRANE v2.20.00, COFF Disassembler"; }
std::string noticeBanner() { return "Object-file tool suite for 8-bit microcontrollers"; }

bool isQuietSwitch(const std::string &arg)
{
    return arg == "-q" || arg == "/q" || arg == "-Q" || arg == "/Q";
}

bool isSwitchArg(const std::string &arg)
{
    if (arg.empty())
        return false;
    if (arg[0] == '-')
        return true;
    return arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

void startUp(int argc, const char *const *argv, const std::string &banner)
{
    // Messages, banner, help text and summary share one buffer, so they
    // appear on standard output in the order they were written.
    std::cerr.rdbuf(std::cout.rdbuf());
    std::set_new_handler(outOfMemory);
    // A write past the file-size limit (ulimit -f) fails with "File too
    // large", named like every other failed write, instead of ending the
    // program without a word. A handler someone installed stays.
    struct sigaction old;
    if (::sigaction(SIGXFSZ, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);

    for (int i = 0; i < argc; ++i)
        if (argv[i] && isQuietSwitch(argv[i]))
            setQuiet(1);

    if (!isQuiet())
        std::cout << banner << '\n' << noticeBanner() << '\n' << '\n';
}

void setFatalCleanup(void (*cleanup)()) { gFatalCleanup = cleanup; }

void assertFailed(const char *condition, const char *file, int line)
{
    runFatalCleanup();
    std::cout.flush();
    std::fprintf(stdout, "Assertion failed: %s, file %s, line %d\n", condition, file, line);
    std::fflush(stdout);
    std::abort();
}
