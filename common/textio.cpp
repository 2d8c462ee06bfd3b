// Line reading and local date and time texts.

#include "textio.h"

#include <cerrno>
#include <iomanip>
#include <locale>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool readTextLine(std::istream &in, std::string &line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool readRegularFile(const std::string &path, std::string &text, int *error)
{
    text.clear();
    if (error)
        *error = ENOENT;
    if (path.empty())
        return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (error)
            *error = errno;
        return false;
    }
    struct stat st {};
    int failure = 0;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[65536];
    while (ok) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue; // a signal came first: nothing was read
        if (got < 0) {
            failure = errno;
            ok = false;
        } else if (got == 0)
            break;
        else
            text.append(buffer, size_t(got));
    }
    ::close(fd);
    if (!ok)
        text.clear();
    if (error)
        *error = ok ? 0 : failure;
    return ok;
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
