// The lock that serializes the librarian's changes to one library.
//
// A run that finishes puts its new library in place of the old one, so the
// file a waiting run was granted the lock on may no longer be the library:
// after every grant the directory the walk reached is asked again what the
// name holds, and the lock is taken anew on the file it holds now until the
// two agree.

#include "librarylock.h"

#include "safefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The walked regular file, opened without following a link and without
// waiting (a FIFO put in its place cannot hold the run): for reading and
// writing where the user may, else for reading.
int openForLock(const FileCalls &calls, const WalkedName &where)
{
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = calls.openAt(where.dir.get(), where.leaf.c_str(), O_RDWR | flags, 0);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == ETXTBSY || errno == EPERM))
        fd = calls.openAt(where.dir.get(), where.leaf.c_str(), O_RDONLY | flags, 0);
    return fd;
}

} // namespace

LibraryLock::LibraryLock(const std::string &name, Locker locker, const FileCalls &calls) : cName(name), cCalls(calls)
{
    if (!locker)
        locker = ::flock;
    for (;;) {
        cWalked = walkName(name, Links::Follow, cCalls, cWhere, cWalkError);
        cWalkErrno = cWalked ? 0 : errno != 0 ? errno : ENOENT;
        if (!cWalked || !cWhere.exists || !S_ISREG(cWhere.st.st_mode) || cWhere.descriptor >= 0 || cWhere.procLink)
            return;
        FileDescriptor fd(openForLock(cCalls, cWhere));
        struct stat held;
        if (!fd.valid())
            return;
        if (::fstat(fd.get(), &held) != 0 || !sameInode(held, cWhere.st))
            continue; // changed since the walk
        int result;
        while ((result = locker(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            int error = errno;
            cRefusal = std::strerror(error != 0 ? error : ENOLCK);
            return;
        }
        struct stat now;
        if (cCalls.statAt(cWhere.dir.get(), cWhere.leaf.c_str(), now, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameInode(now, held) && ::fstat(fd.get(), &cState) == 0) {
            cFd = std::move(fd);
            return;
        }
        // Replaced while waiting: lock the new library.
    }
}

FileOpener LibraryLock::opener() const
{
    if (!locked())
        return unlockedOpener();
    int held = cFd.get();
    return [held](const std::string &) {
        int fd = ::fcntl(held, F_DUPFD_CLOEXEC, 0);
        if (fd >= 0 && ::lseek(fd, 0, SEEK_SET) != 0) {
            ::close(fd);
            fd = -1;
        }
        return sizedInput(fd);
    };
}

FileOpener LibraryLock::unlockedOpener() const
{
    // A link of the process file system is the kernel's to follow.
    if (cWalked && cWhere.exists && (cWhere.descriptor >= 0 || cWhere.procLink))
        return openInput;
    const WalkedName *where = cWalked ? &cWhere : nullptr;
    const int walkError = cWalkErrno;
    return [where, walkError](const std::string &) {
        // What the walk refused or did not find, and another user's file or
        // FIFO in a sticky directory, is not opened (such a FIFO would hold
        // the run until its owner chose to write).
        int error = !where ? walkError : !where->exists ? ENOENT : where->plantedByAnother() ? EACCES : 0;
        int fd = -1;
        if (error == 0)
            fd = openWalkedFile(systemCalls(), where->dir.get(), where->leaf, O_RDONLY | O_NOFOLLOW, where->st, error);
        errno = error;
        return sizedInput(fd);
    };
}

bool LibraryLock::unchanged() const
{
    struct stat now;
    return !locked() || (::fstat(cFd.get(), &now) == 0 && unchangedFile(now, cState, true));
}

bool LibraryLock::open(SafeFile &file, std::string &err)
{
    if (!cWalked) {
        err = cWalkError;
        return false;
    }
    return file.openWalked(cName, cWhere, err);
}

bool LibraryLock::replace(SafeFile &file, bool &replaced, std::string &err)
{
    replaced = false;
    // A device or FIFO was written directly.
    if (!file.hasTemporary())
        return file.place(err);
    // An existing library that could not be opened to be locked is
    // replaced only when it is still the file the walk found.
    const struct stat *old = locked() ? &cState : cWhere.exists ? &cWhere.st : nullptr;
    return file.placeInstead(old, replaced, err);
}
