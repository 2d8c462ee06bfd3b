// Temporary-file-and-rename output for the COD file and the listing.

#include "outfile.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

OutFile::OutFile(const std::string &target, std::ios::openmode mode) : cTarget(target)
{
    if (target.empty())
        return;
    // A directory of that name, or a file that may not be written, could
    // not be opened for writing either.
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return;
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return;
    // mkstemp creates the file for its owner alone; give it the mode a
    // plain create would have.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    cTemp = name.data();
    cStream.open(cTemp, mode | std::ios::out | std::ios::trunc);
    if (!cStream.is_open()) {
        std::remove(cTemp.c_str());
        cTemp.clear();
    }
}

OutFile::~OutFile() { discard(); }

bool OutFile::commit()
{
    if (cTemp.empty())
        return false;
    cStream.flush();
    bool good = bool(cStream);
    cStream.close();
    good = good && !cStream.fail();
    if (!good || std::rename(cTemp.c_str(), cTarget.c_str()) != 0) {
        std::remove(cTemp.c_str());
        cTemp.clear();
        return false;
    }
    cTemp.clear();
    return true;
}

void OutFile::discard()
{
    if (cStream.is_open())
        cStream.close();
    if (!cTemp.empty()) {
        std::remove(cTemp.c_str());
        cTemp.clear();
    }
}
