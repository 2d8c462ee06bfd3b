// The error map file: written right after allocation whenever a map file
// was asked for, so that a link that fails during or after allocation still
// shows what was placed where. A successful link replaces it with the full
// map file. A map file written directly (a device, a FIFO) cannot be
// replaced: it gets the error map, made right after allocation, only once
// the link has failed, and so exactly one map either way. A sample:
//
//   TARVOK v2.20.00, Linker
//   Linker Error Map File - Created Mon Mar  4 10:21:07 2024
//
//   *Warning* - This is only a partial map file due to a link time error.
//      Only sections which were allocated prior to the error are shown below.
//
//   CODEPAGES:
//       Memory      Start        End              Section    Address Size(Bytes)
//    ---------  ---------  ---------            ---------  --------- ---------
//        page0     0x0000     0x07ff                .code     0x0000     0x0010
//
//   SHAREBANKS:
//   ...

#include "linker.h"

#include "diag.h"
#include "safefile.h"
#include "textio.h"

#include <sstream>

namespace {

// False when the file could not be opened.
bool writeErrorMap(const std::string &name, const std::string &text)
{
    SafeFile file;
    std::string why;
    if (!file.open(name, why)) {
        report(SEV_ERROR, "Linker::writeErrorMapFile()", "Could not open map file '" + name + "' for writing.",
               false);
        return false;
    }
    file.stream() << text;
    if (!file.commit(why))
        report(SEV_ERROR, "Linker::writeErrorMapFile()", "Could not write map file '" + name + "': " + why + ".",
               false);
    return true;
}

} // namespace

void Linker::writeErrorMapFile()
{
    // Reads cMapFile and the four memory lists; fills cPendingErrorMap
    // for a map file written directly, writes nothing else.
    if (cMapFile.empty())
        return;

    std::ostringstream out;
    out << linkerBanner() << "\nLinker Error Map File - Created "
        << formatLocalTime("%a %b %e %H:%M:%S %Y") << '\n';
    out << "\n*Warning* - This is only a partial map file due to a link time error.\n"
        << "   Only sections which were allocated prior to the error are shown below.\n\n";

    const std::pair<const char *, const std::vector<Memory> *> kinds[] = {
        {"CODEPAGES:", &cCodePage},
        {"SHAREBANKS:", &cShareBanks},
        {"DATABANKS:", &cDataBanks},
        {"ACCESSBANKS:", &cAccessBanks},
    };
    for (const auto &[title, list] : kinds) {
        out << title << '\n';
        bool header = true;
        for (const Memory &m : *list) {
            m.printUsage(out, header);
            header = false;
        }
        out << '\n';
    }

    if (writesDirectly(cMapFile)) {
        cPendingErrorMap = out.str();
        return;
    }
    cMapUnopened = !writeErrorMap(cMapFile, out.str());
}

void Linker::writePendingErrorMap()
{
    if (cPendingErrorMap.empty())
        return;
    std::string text;
    text.swap(cPendingErrorMap);
    cMapUnopened = !writeErrorMap(cMapFile, text);
}
