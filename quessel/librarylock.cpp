// The lock that serializes the librarian's changes to one library.
//
// A run that finishes renames its new library over the name, so the file
// a waiting run was granted the lock on may no longer be the library: after
// every grant the name is looked up again, and the lock is taken anew on
// the file it names now until the two agree.

#include "librarylock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Waits for the exclusive lock; false when the file system refuses it.
bool lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

} // namespace

LibraryLock::LibraryLock(const std::string &name)
{
    for (;;) {
        // Opening never blocks, so a pipe of that name cannot hold the run.
        int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat held;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || !lockExclusive(fd)) {
            ::close(fd);
            return;
        }
        struct stat now;
        if (::stat(name.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino) {
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
