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
    // Locks the file that the name names (through any links), waiting for
    // the lock. A name that names no regular file is not locked: there is
    // nothing to read yet, or the reader will report it.
    explicit LibraryLock(const std::string &name);
    // Releases the lock.
    ~LibraryLock();
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;

    bool locked() const { return cFd >= 0; }

private:
    int cFd = -1;
};
