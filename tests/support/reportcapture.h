// Capture of what the reporter prints: everything written to standard
// output and the error stream while a ReportCapture lives, and the number of
// errors counted meanwhile. The quiet flag is set as asked while it lives
// (off unless a test wants the reporter silent), whatever an earlier test
// left it at, and is restored afterwards.
#pragma once

#include "diag.h"

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

class ReportCapture
{
public:
    explicit ReportCapture(bool quiet = false)
        : cErrors(errorCount()), cQuiet(isQuiet()), cOldOut(std::cout.rdbuf(cText.rdbuf())),
          cOldErr(std::cerr.rdbuf(cText.rdbuf()))
    {
        setQuiet(quiet ? 1 : 0);
    }
    ~ReportCapture()
    {
        setQuiet(cQuiet);
        std::cout.rdbuf(cOldOut);
        std::cerr.rdbuf(cOldErr);
    }
    ReportCapture(const ReportCapture &) = delete;
    ReportCapture &operator=(const ReportCapture &) = delete;

    std::string text() const { return cText.str(); }
    uint32_t errors() const { return errorCount() - cErrors; }

private:
    uint32_t cErrors;
    int cQuiet;
    std::ostringstream cText;
    std::streambuf *cOldOut;
    std::streambuf *cOldErr;
};
