// An exclusive lock on an existing library file, held by the commands that
// change the library from before they read it until the new library has
// been renamed over it, so that concurrent runs of the librarian on one
// library take their turns and none loses another's change. The lock is an
// advisory flock(): only runs of this program take it.
#pragma once

#include <string>

class LibraryLock
{
public:
    // The call that takes the lock: flock(), or a test's stand-in.
    using Locker = int (*)(int fd, int operation);

    // Locks the file that the name names (through any links), waiting for
    // the lock; the file is opened for reading and writing where the user
    // may write it, as some file systems grant an exclusive lock only
    // then. A name that names no regular file is not locked: there is
    // nothing to read yet, or the reader will report it. A file system
    // that refuses the lock leaves it untaken, with the reason in
    // refusal().
    explicit LibraryLock(const std::string &name, Locker locker = nullptr);
    // Releases the lock.
    ~LibraryLock();
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;

    bool locked() const { return cFd >= 0; }
    // Why the file system refused the lock; empty when it did not.
    const std::string &refusal() const { return cRefusal; }
    // True when nothing is locked, or the name still leads to the locked
    // file: false once another program has put a new file in its place.
    bool stillNamed() const;

private:
    std::string cName;
    std::string cRefusal;
    int cFd = -1;
};
