// The list of temporary files not yet renamed into place, and the handlers
// that remove them when the run ends early.

#include "pendingfiles.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "diag.h"

// The list itself. Changed only with the cleanup signals blocked, so a
// handler always finds a whole list.
struct PendingList
{
    static PendingFile *volatile head;

    // Async-signal-safe.
    static void removeAll()
    {
        for (PendingFile *p = head; p; p = p->cNext)
            ::unlinkat(p->cDirFd, p->cLeaf.c_str(), 0);
        head = nullptr;
    }

    static void add(PendingFile &entry)
    {
        entry.cPrev = nullptr;
        entry.cNext = head;
        if (entry.cNext)
            entry.cNext->cPrev = &entry;
        head = &entry;
    }

    static void remove(PendingFile &entry)
    {
        if (entry.cPrev)
            entry.cPrev->cNext = entry.cNext;
        else if (head == &entry)
            head = entry.cNext;
        if (entry.cNext)
            entry.cNext->cPrev = entry.cPrev;
        entry.cPrev = entry.cNext = nullptr;
    }
};

PendingFile *volatile PendingList::head = nullptr;

namespace {

// Every signal ends the process by default but these, which stop it,
// continue it or are ignored; SIGKILL and SIGSTOP cannot be caught.
bool endsTheProcess(int sig)
{
    switch (sig) {
    case SIGKILL:
    case SIGSTOP:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGCONT:
    case SIGCHLD:
    case SIGURG:
    case SIGWINCH:
        return false;
    default:
        return true;
    }
}

// Signal numbers the C library keeps for itself are refused by
// sigaddset() and sigaction() and so stay out.
sigset_t cleanupSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig = 1; sig < NSIG; ++sig)
        if (endsTheProcess(sig))
            sigaddset(&set, sig);
    return set;
}

// At exit(), when memory runs out and before a failed assertion aborts.
extern "C" void removeTemporariesAtExit() { PendingList::removeAll(); }

// Removes the temporary files, then ends the program by the signal's own
// default action, so that it ends with that signal's usual status. Uses
// only async-signal-safe calls.
extern "C" void removeTemporaries(int sig)
{
    PendingList::removeAll();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
}

// Installed once, for each cleanup signal that still has its default
// action: a signal ignored at start (as SIGHUP under nohup) stays ignored,
// and a handler someone else installed (a debugger's, a sanitizer's) stays
// theirs. An uncaught exception ends in abort(), and so in SIGABRT.
void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(removeTemporariesAtExit);
    setFatalCleanup(removeTemporariesAtExit);
    sigset_t all = cleanupSignals();
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction old;
        if (sigismember(&all, sig) != 1 || ::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
            old.sa_handler != SIG_DFL)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = removeTemporaries;
        action.sa_mask = all;
        ::sigaction(sig, &action, nullptr);
    }
}

} // namespace

CleanupSignalsBlocked::CleanupSignalsBlocked()
{
    sigset_t set = cleanupSignals();
    ::sigprocmask(SIG_BLOCK, &set, &cOld);
}

CleanupSignalsBlocked::~CleanupSignalsBlocked() { ::sigprocmask(SIG_SETMASK, &cOld, nullptr); }

void PendingFile::enlist(int dirFd, const std::string &leaf)
{
    installHandlers();
    CleanupSignalsBlocked blocked;
    if (cListed)
        PendingList::remove(*this);
    cDirFd = dirFd;
    cLeaf = leaf;
    PendingList::add(*this);
    cListed = true;
}

void PendingFile::delist()
{
    if (!cListed)
        return;
    CleanupSignalsBlocked blocked;
    PendingList::remove(*this);
    cListed = false;
}
