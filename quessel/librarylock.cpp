// The lock that serializes the librarian's changes to one library.
//
// A run that finishes renames its new library over the name, so the file
// a waiting run was granted the lock on may no longer be the library: after
// every grant the name is looked up again, and the lock is taken anew on
// the file it names now until the two agree.

#include "librarylock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opening never blocks, so a pipe of that name cannot hold the run.
int openForLock(const std::string &name)
{
    int fd = ::open(name.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == ETXTBSY || errno == EPERM))
        fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return fd;
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

LibraryLock::LibraryLock(const std::string &name, Locker locker) : cName(name)
{
    if (!locker)
        locker = ::flock;
    for (;;) {
        int fd = openForLock(name);
        if (fd < 0)
            return;
        struct stat held;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return;
        }
        int result;
        while ((result = locker(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            int error = errno;
            cRefusal = std::strerror(error != 0 ? error : ENOLCK);
            ::close(fd);
            return;
        }
        struct stat now;
        if (::stat(name.c_str(), &now) == 0 && sameFile(now, held)) {
            cFd = fd;
            return;
        }
        ::close(fd); // replaced while waiting: lock the new library
    }
}

LibraryLock::~LibraryLock()
{
    if (cFd >= 0)
        ::close(cFd);
}

bool LibraryLock::stillNamed() const
{
    struct stat held, now;
    return cFd < 0 || (::fstat(cFd, &held) == 0 && ::stat(cName.c_str(), &now) == 0 && sameFile(now, held));
}
