// Helpers shared by the object-file and library tests: capture of what the
// reporter prints, and small byte edits on built images.
#pragma once

#include "bytes.h"
#include "diag.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Collects everything written to standard output and the error stream while
// it lives, and the number of errors counted meanwhile.
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
    std::string text() const { return cText.str(); }
    uint32_t errors() const { return errorCount() - cErrors; }

private:
    uint32_t cErrors;
    std::ostringstream cText;
    std::streambuf *cOldOut;
    std::streambuf *cOldErr;
};

// Death tests run in a fresh copy of the test program.
inline void deathTestsInFreshProcess() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
