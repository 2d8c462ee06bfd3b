// Line reading and local date and time texts.

#include "textio.h"

#include "filebytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

bool readRegularFile(const std::string &path, std::string &text, int *error, const std::function<void()> &sized)
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
    // The size it has now is all that is read: a file that grows while it
    // is read is read no further. One whose size reads as 0 (as some
    // system files do) is read to its end, but no further than a stream.
    const uint64_t size = ok ? uint64_t(st.st_size) : 0;
    const uint64_t limit = size > 0 ? size : FileBytes::STREAM_LIMIT + 1;
    if (ok && sized)
        sized();
    char buffer[65536];
    while (ok && text.size() < limit) {
        ssize_t got = ::read(fd, buffer, size_t(std::min<uint64_t>(sizeof buffer, limit - text.size())));
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
    if (ok && size == 0 && text.size() > FileBytes::STREAM_LIMIT) {
        failure = EFBIG;
        ok = false;
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
