// The list of temporary files not yet renamed into place, and the handlers
// that remove them when the run ends early.

#include "pendingfiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "diag.h"

// The list itself. Changed only with the cleanup signals blocked, so a
// handler always finds a whole list.
struct PendingList
{
    static PendingFile *volatile head;

    // Async-signal-safe. Only the files this process listed: a forked
    // child holds a copy of its parent's list.
    static void removeAll()
    {
        pid_t self = ::getpid();
        for (PendingFile *p = head; p; p = p->cNext)
            if (p->cPid == self)
                takeAway(p);
        head = nullptr;
    }

    // Removes the file; one placed as one of a group is taken out of its
    // place: the file it was exchanged with goes back, or the name it took
    // is freed again.
    static void takeAway(const PendingFile *p)
    {
        const char *leaf = p->cLeaf.c_str();
        const char *target = p->cTarget.c_str();
        struct stat st;
        if (p->cTarget.empty() || p->cKeptOld) {
            if (p->cKeptOld)
                ::renameat2(p->cDirFd, leaf, p->cDirFd, target, RENAME_EXCHANGE);
            ::unlinkat(p->cDirFd, leaf, 0);
        } else if (::fstatat(p->cDirFd, target, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == p->cIno) {
            ::unlinkat(p->cDirFd, target, 0);
        }
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

// The signals a fault raises: held back, they would end the process at
// once without its handler.
bool raisedByAFault(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGTRAP || sig == SIGSYS;
}

// Signal numbers the C library keeps for itself are refused by
// sigaddset() and sigaction() and so stay out.
sigset_t cleanupSignals(bool faultsToo)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig = 1; sig < NSIG; ++sig)
        if (endsTheProcess(sig) && (faultsToo || !raisedByAFault(sig)))
            sigaddset(&set, sig);
    return set;
}

// How many CleanupSignalsBlocked are alive, and the signal of a fault's
// number that another process sent meanwhile (0 for none): such a signal
// cannot be held back by the mask, so its handler holds it back instead
// until the last of them ends.
volatile sig_atomic_t holdDepth = 0;
volatile sig_atomic_t heldSignal = 0;

// True when the signal was sent by a process (kill, raise, sigqueue)
// rather than raised by a fault of this one.
bool sentByAProcess(const siginfo_t *info) { return info && info->si_code <= 0; }

// At exit(), when memory runs out and before a failed assertion aborts.
extern "C" void removeTemporariesAtExit() { PendingList::removeAll(); }

// Removes the temporary files, then ends the program by the signal's own
// default action, so that it ends with that signal's usual status. Uses
// only async-signal-safe calls. A fault's signal that another process sent
// while the list or a group of renames is being changed waits for the
// change to end, as the other signals do in the mask.
extern "C" void removeTemporaries(int sig, siginfo_t *info, void *)
{
    if (holdDepth > 0 && sentByAProcess(info)) {
        heldSignal = sig;
        return;
    }
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
// theirs. An uncaught exception ends in abort(), and so in SIGABRT. The
// handler runs on a stack of its own, so a stack that overflowed still
// gets its cleanup.
void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(removeTemporariesAtExit);
    setFatalCleanup(removeTemporariesAtExit);
    // A stack someone else set up (a sanitizer's) stays.
    alignas(64) static char handlerStack[64 * 1024];
    stack_t stack;
    bool ownStack = ::sigaltstack(nullptr, &stack) == 0;
    if (ownStack && (stack.ss_flags & SS_DISABLE)) {
        std::memset(&stack, 0, sizeof stack);
        stack.ss_sp = handlerStack;
        stack.ss_size = sizeof handlerStack;
        ownStack = ::sigaltstack(&stack, nullptr) == 0;
    }
    sigset_t all = cleanupSignals(true);
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction old;
        if (sigismember(&all, sig) != 1 || ::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
            old.sa_handler != SIG_DFL)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = removeTemporaries;
        action.sa_mask = cleanupSignals(false);
        action.sa_flags = SA_SIGINFO | (ownStack ? SA_ONSTACK : 0);
        ::sigaction(sig, &action, nullptr);
    }
}

} // namespace

// The handlers are in place before the first temporary file is made, so
// that no signal can come between its making and its listing unseen.
CleanupSignalsBlocked::CleanupSignalsBlocked()
{
    installHandlers();
    sigset_t set = cleanupSignals(false);
    ::sigprocmask(SIG_BLOCK, &set, &cOld);
    holdDepth = holdDepth + 1;
}

CleanupSignalsBlocked::~CleanupSignalsBlocked()
{
    holdDepth = holdDepth - 1;
    int held = 0;
    if (holdDepth == 0) {
        held = heldSignal;
        heldSignal = 0;
    }
    ::sigprocmask(SIG_SETMASK, &cOld, nullptr);
    if (held != 0)
        ::raise(held);
}

void PendingFile::enlist(int dirFd, const std::string &leaf)
{
    CleanupSignalsBlocked blocked;
    if (cListed)
        PendingList::remove(*this);
    cDirFd = dirFd;
    cLeaf = leaf;
    cTarget.clear();
    cKeptOld = false;
    cPid = ::getpid();
    PendingList::add(*this);
    cListed = true;
}

void PendingFile::placedAt(const std::string &target, bool keptOld, ino_t ino)
{
    CleanupSignalsBlocked blocked;
    cTarget = target;
    cKeptOld = keptOld;
    cIno = ino;
}

void PendingFile::delist()
{
    if (!cListed)
        return;
    CleanupSignalsBlocked blocked;
    PendingList::remove(*this);
    cListed = false;
}
