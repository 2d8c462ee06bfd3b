// Temporary-file-and-rename output for every file the programs write.

#include "safefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(const std::string &path, std::string &err)
{
    discard();
    if (path.empty()) {
        err = "empty file name";
        return false;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        err = "'" + path + "' is a directory";
        return false;
    }
    // The temporary file sits in the same directory, so the rename never
    // crosses a file system.
    std::string templ = path + ".tmpXXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        err = std::strerror(errno);
        return false;
    }
    ::close(fd);
    cTemp = buf.data();
    cPath = path;
    cOut.open(cTemp, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!cOut) {
        err = "could not open a temporary file";
        discard();
        return false;
    }
    return true;
}

bool SafeFile::commit(std::string &err)
{
    if (cTemp.empty()) {
        err = "no file open";
        return false;
    }
    cOut.flush();
    bool ok = bool(cOut);
    cOut.close();
    if (!ok || cOut.fail()) {
        err = "could not write '" + cTemp + "'";
        discard();
        return false;
    }
    mode_t mode;
    struct stat st;
    if (::stat(cPath.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(cTemp.c_str(), mode);
    if (::rename(cTemp.c_str(), cPath.c_str()) != 0) {
        err = std::strerror(errno);
        discard();
        return false;
    }
    cTemp.clear();
    return true;
}

void SafeFile::discard()
{
    if (cOut.is_open())
        cOut.close();
    if (!cTemp.empty()) {
        ::unlink(cTemp.c_str());
        cTemp.clear();
    }
}

namespace {

bool writeAll(const std::string &path, const char *p, size_t n, std::string &err)
{
    SafeFile out;
    if (!out.open(path, err))
        return false;
    out.stream().write(p, std::streamsize(n));
    return out.commit(err);
}

} // namespace

bool writeFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes, std::string &err)
{
    return writeAll(path, reinterpret_cast<const char *>(bytes.data()), bytes.size(), err);
}

bool writeFileAtomically(const std::string &path, const std::string &text, std::string &err)
{
    return writeAll(path, text.data(), text.size(), err);
}
