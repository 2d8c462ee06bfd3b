// Helpers shared by the COD converter tests: a scratch directory that is
// also the current directory while a test runs, processor-type words of
// one device per family, and the fixed clock the tests stamp files with.
#pragma once

#include "mgproc.h"
#include "tooltest.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace codtest {

// Tue Mar  5 09:05:00 2024 in UTC, the zone every test runs in.
inline const std::time_t FIXED_TIME = 1709629500;
inline const char FIXED_TIME_TEXT[] = "Tue Mar  5 09:05:00 2024";

inline void useUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

// One device of each family, by processor code.
inline const ProcessorCode CORE14 = 0x07;
inline const ProcessorCode CORE16 = 0x76;
inline const ProcessorCode CORE12 = 0x01;
inline const ProcessorCode CORE16E = 0x81;

// Makes a scratch directory the current directory until destroyed.
class WorkDir : public TempDir
{
public:
    WorkDir() : cOld(std::filesystem::current_path()) { std::filesystem::current_path(path()); }
    ~WorkDir() { std::filesystem::current_path(cOld); }

private:
    std::filesystem::path cOld;
};

inline std::string pad(const std::string &text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// A listing row: address, value, disassembly, source text and file name
// in their columns.
inline std::string row(const std::string &address, const std::string &value, const std::string &disassembly,
                       const std::string &source, const std::string &file)
{
    return pad(address, 6) + "   " + pad(value, 6) + "   " + pad(disassembly, 24) + " " + pad(source, 80) + " " +
           file;
}

} // namespace codtest
