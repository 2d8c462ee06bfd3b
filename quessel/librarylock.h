// An exclusive lock on an existing library file, held by the commands that
// change the library from before they read it until the new library has
// been put in its place, so that concurrent runs of the librarian on one
// library take their turns and none loses another's change. The lock is an
// advisory flock(): only runs of this program take it. Against any other
// program that changes the library meanwhile (by rename, or in place as cp
// does), the new library takes the old one's place only when the file it
// replaces is still the locked one, unchanged.
//
// The library's name is walked once (see walkName); the file is read
// through the locked descriptor and the new library made and renamed in
// the directory the walk reached.
#pragma once

#include "filebytes.h"
#include "pathwalk.h"

#include <string>
#include <sys/stat.h>

class SafeFile;

class LibraryLock
{
public:
    // The call that takes the lock: flock(), or a test's stand-in.
    using Locker = int (*)(int fd, int operation);

    // Locks the file that the name leads to, waiting for the lock. It is
    // opened only when it is a regular file, and then for reading and
    // writing where the user may write it, as some file systems grant an
    // exclusive lock only then. A name that leads to no regular file is not
    // locked: there is nothing to read yet, or the reader will report it.
    // A file system that refuses the lock leaves it untaken, with the
    // reason in refusal().
    explicit LibraryLock(const std::string &name, Locker locker = nullptr, const FileCalls &calls = systemCalls());
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;

    bool locked() const { return cFd.valid(); }
    // Why the file system refused the lock; empty when it did not.
    const std::string &refusal() const { return cRefusal; }

    // How the library is read: from its start through the locked
    // descriptor; while nothing is locked, opened in the directory the
    // walk reached, and only while the name holds the file walked to.
    FileOpener opener() const;
    // False once the locked file changed since the lock was taken (written
    // in place by another program).
    bool unchanged() const;
    // Opens the new library's file: a temporary in the library's directory
    // (the library itself when that is a device or FIFO). False, with a
    // reason in err, when that is impossible.
    bool open(SafeFile &file, std::string &err);
    // Puts the finished new library in the old one's place, or at its name
    // when there was none. False with replaced set when another program's
    // library stands there instead (it is kept); false with a reason in err
    // when the rename failed.
    bool replace(SafeFile &file, bool &replaced, std::string &err);

private:
    FileOpener unlockedOpener() const;

    std::string cName;
    std::string cRefusal;
    FileCalls cCalls;
    WalkedName cWhere; // the walk of the name that led to the locked file
    bool cWalked = false;
    std::string cWalkError;
    int cWalkErrno = 0;
    FileDescriptor cFd;
    struct stat cState {}; // the locked file as the lock found it
};
