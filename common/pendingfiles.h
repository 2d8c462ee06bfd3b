// The temporary files that a run has made and not yet renamed into place,
// and their removal when the run ends before it could finish them: on any
// signal whose default action ends the process and that can be caught
// (where that signal still has its default action when the first file is
// made; a fault on an overflowing stack included), at exit(), when it
// runs out of memory and when an assertion or an uncaught exception aborts
// it. Only the process that listed a file removes it: a forked child that
// ends leaves its parent's files alone. A file placed as one of a group
// not yet complete (see placedAt) is taken back out of place instead.
//
//   PendingFile pending;
//   pending.enlist(dirFd, "app.cof.tmpAb12Cd");
//   ... renameat(dirFd, "app.cof.tmpAb12Cd", dirFd, "app.cof") ...
//   pending.delist();
#pragma once

#include <csignal>
#include <string>

class PendingFile
{
public:
    PendingFile() = default;
    // Takes the file off the list; the file itself stays.
    ~PendingFile() { delist(); }
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // Lists the file named leaf in the directory open as dirFd; the
    // descriptor must stay open while it is listed. A file already listed
    // is delisted first.
    void enlist(int dirFd, const std::string &leaf);
    // The listed file has been renamed to target in its directory, as one
    // of files that belong together, while the others are not yet in
    // place: an early end takes it out again. keptOld: it was exchanged
    // with the file that stood there, which now has the listed name and is
    // put back; else nothing stood there, and the file placed (inode ino)
    // is removed. Call with the cleanup signals blocked.
    void placedAt(const std::string &target, bool keptOld, ino_t ino);
    // Takes the file off the list; the file itself stays.
    void delist();
    bool listed() const { return cListed; }

private:
    friend struct PendingList;

    // Not changed while listed but with the cleanup signals blocked: the
    // handler reads them.
    std::string cLeaf;
    std::string cTarget; // where the file was placed, empty while it was not
    bool cKeptOld = false;
    ino_t cIno = 0;
    pid_t cPid = 0; // the process that listed it
    int cDirFd = -1;
    bool cListed = false;
    PendingFile *cPrev = nullptr;
    PendingFile *cNext = nullptr;
};

// Holds back the signals that remove pending files for its lifetime, so
// that a change of the list, or a group of renames that belong together,
// is never cut in two by one of them. The signals of a fault (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS) are not held back: held back,
// a fault would end the program at once, without its cleanup. One of them
// that another process sends meanwhile (kill) is held back by its handler
// instead, and taken when the last CleanupSignalsBlocked ends. The first
// one made installs the handlers.
class CleanupSignalsBlocked
{
public:
    CleanupSignalsBlocked();
    ~CleanupSignalsBlocked();
    CleanupSignalsBlocked(const CleanupSignalsBlocked &) = delete;
    CleanupSignalsBlocked &operator=(const CleanupSignalsBlocked &) = delete;

private:
    sigset_t cOld;
};
