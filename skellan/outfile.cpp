// Temporary-file-and-rename output for the hex files.

#include "outfile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vector>

OutFile::OutFile(const std::string &name) : cName(name) {}

OutFile::~OutFile() { discard(); }

bool OutFile::open()
{
    discard();
    cFailed = false;
    // A directory in the way would only show when the finished file is
    // renamed, after other files of the same run may have been replaced.
    struct stat target;
    if (stat(cName.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        return false;
    // The temporary file lives in the final name's directory, so the rename
    // never crosses a file system.
    std::string dir;
    size_t slash = cName.find_last_of('/');
    if (slash != std::string::npos)
        dir = cName.substr(0, slash + 1);
    std::string pattern = dir + ".skellan-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0)
        return false;
    cTempName = buf.data();
    // mkstemp makes the file private; give it the mode an ordinary new file
    // would have.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    cFile = fdopen(fd, "wb");
    if (!cFile) {
        ::close(fd);
        discard();
        return false;
    }
    return true;
}

void OutFile::write(const std::string &text)
{
    if (!cFile || text.empty())
        return;
    if (std::fwrite(text.data(), 1, text.size(), cFile) != text.size())
        cFailed = true;
}

bool OutFile::close()
{
    if (!cFile)
        return !cTempName.empty();
    bool ok = !cFailed && std::fflush(cFile) == 0 && !std::ferror(cFile);
    ok = std::fclose(cFile) == 0 && ok;
    cFile = nullptr;
    if (!ok)
        discard();
    return ok;
}

bool OutFile::commit()
{
    if (!close())
        return false;
    if (std::rename(cTempName.c_str(), cName.c_str()) != 0) {
        discard();
        return false;
    }
    cTempName.clear();
    return true;
}

void OutFile::discard()
{
    if (cFile) {
        std::fclose(cFile);
        cFile = nullptr;
    }
    if (!cTempName.empty()) {
        unlink(cTempName.c_str());
        cTempName.clear();
    }
}
