// The COD converter: reads one linked COFF executable, writes its listing
// file beside it (unless "-d") and its COD debug file into the current
// directory.
//
//   dorvane [-n, /n <listingPageLength>] [-d, /d] [-q, /q] <coffFile>

#include "coff.h"
#include "coff2cod.h"
#include "diag.h"
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

[[noreturn]] void usage()
{
    if (!isQuiet())
        std::cerr << "Usage: dorvane [-n, /n <listingPageLength>] [-d, /d] [-q, /q] <coffFile>" << std::endl;
    std::cout.flush();
    std::exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    startUp(argc, argv, codConverterBanner());

    int32_t pageLength = 0;
    bool pageLengthGiven = false;
    bool noListing = false;
    std::string coffFile;
    bool haveFile = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // Switch letters are accepted in either case.
        if (arg.size() >= 2 && isSwitchArg(arg))
            arg[1] = char(std::tolower(static_cast<unsigned char>(arg[1])));
        if (arg == "-n" || arg == "/n") {
            if (i + 1 >= argc)
                usage();
            pageLength = scanDecimal(argv[++i]).clamped();
            pageLengthGiven = true;
        } else if (arg == "-q" || arg == "/q") {
            // The start-up has set the quiet flag.
        } else if (arg == "-d" || arg == "/d") {
            noListing = true;
        } else {
            if (haveFile)
                usage();
            // '\\' separates directories like '/'; the listing goes into
            // that directory.
            coffFile = hostPath(arg);
            haveFile = true;
        }
    }
    if (!haveFile)
        usage();

    if (noListing && pageLengthGiven)
        report(SEV_WARNING, "main()", "no listing file generated: /n switch ignored", false);

    std::unique_ptr<Coff> coff = Coff::make(coffFile);
    if (!coff)
        summary(1);

    // The listing is written first, then the COD file; neither may replace
    // the executable, a source file the listing reads, or the other.
    Coff2Cod converter;
    std::vector<std::string> outputs, inputs = {coff->cName};
    if (!noListing) {
        outputs.push_back(Coff2Cod::listFileName(coff->cName));
        for (const std::string &source : converter.listedSources(*coff))
            inputs.push_back(source);
    }
    outputs.push_back(Coff2Cod::codFileName(coff->cName));
    if (!checkOutputFiles("main()", outputs, inputs))
        summary(1);

    if (!converter.convert(*coff, pageLength, noListing))
        summary(1);
    // A model too large for 16-bit block numbers is not written at all.
    if (!converter.preWrite())
        summary(1);
    if (!converter.write())
        summary(1);
    summary(0);
}
