// Line reading and local date and time texts.

#include "textio.h"

#include <iomanip>
#include <locale>
#include <sstream>

bool readTextLine(std::istream &in, std::string &line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::time_t currentTime() { return std::time(nullptr); }

std::string formatLocalTime(std::time_t when, const std::string &format)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return "";
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::put_time(&local, format.c_str());
    return out.str();
}

std::string formatLocalTime(const std::string &format) { return formatLocalTime(currentTime(), format); }
