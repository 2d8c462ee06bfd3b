// The temporary files that a run has made and not yet renamed into place,
// and their removal when the run ends before it could finish them: on any
// signal whose default action ends the process and that can be caught
// (where that signal still has its default action when the first file is
// listed), at exit(), when it runs out of memory and when an assertion or
// an uncaught exception aborts it. Only SIGKILL can leave one behind.
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
    // Takes the file off the list; the file itself stays.
    void delist();
    bool listed() const { return cListed; }

private:
    friend struct PendingList;

    std::string cLeaf; // not changed while listed: the handler reads it
    int cDirFd = -1;
    bool cListed = false;
    PendingFile *cPrev = nullptr;
    PendingFile *cNext = nullptr;
};

// Holds back the signals that remove pending files for its lifetime, so
// that a change of the list, or a group of renames that belong together,
// is never cut in two by one of them.
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
