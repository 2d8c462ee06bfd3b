// Output through a temporary file beside the file a name leads to, renamed
// over it once complete; devices, FIFOs and the process's own descriptors
// are written directly.

#include "safefile.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "followlinks.h"

namespace {

// ".tmp" and six letters or digits follow the target's name.
const size_t TEMP_SUFFIX = 10;
const int CREATE_TRIES = 100;

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// Six letters or digits that differ from call to call; the exclusive
// create, not the letters, keeps two writers apart.
std::string randomSuffix()
{
    static uint64_t state = 0;
    if (state == 0) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        state = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 20) ^ (uint64_t(::getpid()) << 40) ^
                reinterpret_cast<uintptr_t>(&state);
    }
    // splitmix64
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (int i = 0; i < 6; ++i, z /= 62)
        text += letters[z % 62];
    return text;
}

mode_t newFileMode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The directory a temporary file is made in, held open: readable where the
// user may list it, so that it can be flushed; else only as a place.
int openDirectory(const std::string &dir)
{
    const char *name = dir.empty() ? "." : dir.c_str();
    int fd = ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::open(name, O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

// How an existing target other than a directory is written: -1 through a
// temporary file renamed over it, else directly with these further open
// flags. A regular file that a descriptor link stands for is written in
// place after what it holds, as through a descriptor opened to append (a
// console log redirected with ">>" keeps its lines); other regular files
// are replaced.
int directFlags(const std::string &target, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return 0;
    struct stat link;
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return O_APPEND;
    return -1;
}

} // namespace

bool writesDirectly(const std::string &path)
{
    std::string target, err;
    struct stat st;
    return followLinks(path, target, err) && ::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
           directFlags(target, st) >= 0;
}

SafeFile::SafeFile() : cOut(&cBuf) {}

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(const std::string &path, std::string &err)
{
    discard();
    if (path.empty()) {
        err = "empty file name";
        return false;
    }
    std::string target;
    if (!followLinks(path, target, err))
        return false;
    struct stat st;
    bool exists = ::stat(target.c_str(), &st) == 0;
    int error = exists ? 0 : errno;
    if (!exists && error != ENOENT) {
        err = "'" + path + "': " + reason(error);
        return false;
    }
    if (exists && S_ISDIR(st.st_mode)) {
        err = "'" + path + "' is a directory";
        return false;
    }
    cPath = path;
    cTarget = target;
    int own = exists ? ownDescriptor(target) : -1;
    if (own >= 0)
        return openDescriptor(own, err);
    int flags = exists ? directFlags(target, st) : -1;
    if (flags >= 0)
        return openDirect(flags, err);
    // The temporary file would be renamed over a file that may not be
    // written; that counts as one that cannot be opened.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = errno;
        err = "'" + path + "': " + reason(error);
        fail();
        return false;
    }
    cMode = exists ? (st.st_mode & 0777) : newFileMode();
    cOwner = exists ? st.st_uid : uid_t(-1);
    cGroup = exists ? st.st_gid : gid_t(-1);
    return createTemporary(err);
}

bool SafeFile::openDirect(int flags, std::string &err)
{
    int fd;
    do
        fd = ::open(cTarget.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int error = errno;
        err = "'" + cPath + "': " + reason(error);
        fail();
        return false;
    }
    cFd = fd;
    cBuf.attach(fd);
    cOut.clear();
    return true;
}

bool SafeFile::openDescriptor(int fd, std::string &err)
{
    // A descriptor open only for reading cannot take the output.
    int flags = ::fcntl(fd, F_GETFL);
    int error = flags == -1 ? errno : (flags & O_ACCMODE) == O_RDONLY ? EBADF : 0;
    int copy = error == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0) {
        if (error == 0)
            error = errno;
        err = "'" + cPath + "': " + reason(error);
        fail();
        return false;
    }
    // What the console holds already goes first, so neither output lands
    // over the other.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    cFd = copy;
    cBuf.attach(copy);
    cOut.clear();
    return true;
}

bool SafeFile::createTemporary(std::string &err)
{
    // Beside the target, so the rename never crosses a file system; the
    // target's name is cut so the temporary's fits the file-name limit.
    std::string dir = directoryOf(cTarget);
    cLeaf = cTarget.substr(dir.size());
    cDirFd = openDirectory(dir);
    int error = cDirFd < 0 ? errno : EEXIST;
    std::string stem = cLeaf.substr(0, std::min<size_t>(cLeaf.size(), NAME_MAX - TEMP_SUFFIX));
    for (int i = 0; i < CREATE_TRIES && error == EEXIST; ++i) {
        std::string temp = stem + ".tmp" + randomSuffix();
        CleanupSignalsBlocked blocked;
        int fd = ::openat(cDirFd, temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno == EINTR ? EEXIST : errno;
            continue;
        }
        cTempLeaf = temp;
        cPending.enlist(cDirFd, cTempLeaf);
        cFd = fd;
        cBuf.attach(fd);
        cOut.clear();
        return true;
    }
    err = "could not create a temporary file beside '" + cTarget + "': " + reason(error);
    fail();
    return false;
}

bool SafeFile::finish(std::string &err)
{
    if (cFd < 0) {
        err = "no file open";
        return false;
    }
    bool written = bool(cOut.flush()) && cBuf.error() == 0;
    int error = written ? 0 : cBuf.error();
    if (cTempLeaf.empty()) {
        // Written directly: what was written is there; only its failures
        // count.
        if (::close(cFd) != 0 && written) {
            written = false;
            error = errno;
        }
        cFd = -1;
        cBuf.attach(-1);
        if (!written)
            err = reason(error);
        cFinished = written;
        return written;
    }
    // The file keeps its owner and group where the user may give them (the
    // super-user always; others their own groups), as writing it in place
    // would; where not, the new file is the user's.
    if (written && cOwner != uid_t(-1) && ::fchown(cFd, cOwner, cGroup) != 0)
        (void)!::fchown(cFd, uid_t(-1), cGroup);
    // The data reaches the disk before the rename makes it the target.
    if (written && (::fchmod(cFd, cMode) != 0 || ::fsync(cFd) != 0)) {
        written = false;
        error = errno;
    }
    int fd = cFd;
    cFd = -1;
    cBuf.attach(-1);
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        err = reason(error);
        discard();
        return false;
    }
    cFinished = true;
    return true;
}

// With the cleanup signals blocked.
bool SafeFile::renameIntoPlace(std::string &err)
{
    cFinished = false;
    if (cTempLeaf.empty())
        return true;
    if (::renameat(cDirFd, cTempLeaf.c_str(), cDirFd, cLeaf.c_str()) != 0) {
        err = reason(errno);
        discard();
        return false;
    }
    cPending.delist();
    cTempLeaf.clear();
    return true;
}

bool SafeFile::place(std::string &err)
{
    SafeFile *self = this;
    SafeFile *failed = nullptr;
    if (!cFinished) {
        err = "file not finished";
        return false;
    }
    return commitTogether({self}, failed, err);
}

bool SafeFile::commit(std::string &err) { return finish(err) && place(err); }

bool SafeFile::commitTogether(const std::vector<SafeFile *> &files, SafeFile *&failed, std::string &err,
                              const std::function<void()> &betweenRenames)
{
    failed = nullptr;
    for (SafeFile *file : files)
        if (!failed && !file->cFinished && !file->finish(err))
            failed = file;
    if (!failed) {
        CleanupSignalsBlocked blocked;
        for (size_t i = 0; i < files.size() && !failed; ++i) {
            if (!files[i]->renameIntoPlace(err))
                failed = files[i];
            else if (betweenRenames && i + 1 < files.size())
                betweenRenames();
        }
    }
    // The renames are made durable, each directory once. A failure here
    // cannot be undone any more: the new files are in place.
    std::set<std::pair<dev_t, ino_t>> synced;
    for (SafeFile *file : files) {
        struct stat st;
        if (file->cDirFd >= 0 && !file->hasTemporary() && ::fstat(file->cDirFd, &st) == 0 &&
            synced.insert({st.st_dev, st.st_ino}).second)
            ::fsync(file->cDirFd);
        if (!file->hasTemporary())
            file->closeDirectory();
    }
    if (!failed)
        return true;
    for (SafeFile *file : files)
        file->discard();
    return false;
}

void SafeFile::closeFile()
{
    if (cFd >= 0) {
        ::close(cFd);
        cFd = -1;
    }
    cBuf.attach(-1);
}

void SafeFile::closeDirectory()
{
    if (cDirFd >= 0) {
        ::close(cDirFd);
        cDirFd = -1;
    }
}

// An open that failed leaves nothing behind.
void SafeFile::fail()
{
    closeFile();
    closeDirectory();
    cPath.clear();
    cTarget.clear();
    cLeaf.clear();
}

void SafeFile::discard()
{
    closeFile();
    cFinished = false;
    if (!cTempLeaf.empty()) {
        CleanupSignalsBlocked blocked;
        ::unlinkat(cDirFd, cTempLeaf.c_str(), 0);
        cPending.delist();
        cTempLeaf.clear();
    }
    closeDirectory();
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
