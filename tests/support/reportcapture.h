// Capture of what the reporter prints: everything written to standard
// output and the error stream while a ReportCapture lives, and the number of
// errors counted meanwhile.
#pragma once

#include "diag.h"

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

class ReportCapture
{
public:
    ReportCapture()
        : cErrors(errorCount()), cOldOut(std::cout.rdbuf(cText.rdbuf())), cOldErr(std::cerr.rdbuf(cText.rdbuf()))
    {
    }
    ~ReportCapture()
    {
        std::cout.rdbuf(cOldOut);
        std::cerr.rdbuf(cOldErr);
    }
    ReportCapture(const ReportCapture &) = delete;
    ReportCapture &operator=(const ReportCapture &) = delete;

    std::string text() const { return cText.str(); }
    uint32_t errors() const { return errorCount() - cErrors; }

private:
    uint32_t cErrors;
    std::ostringstream cText;
    std::streambuf *cOldOut;
    std::streambuf *cOldErr;
};
