// Output through a temporary file beside the file a name leads to, renamed
// over it once complete; devices and FIFOs are written directly. The
// temporary files not yet renamed are listed for the signal handler that
// removes them.

#include "safefile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "diag.h"

namespace {

const int MAX_LINKS = 40;
// ".tmp" and six letters or digits follow the target's name.
const size_t TEMP_SUFFIX = 10;
const int CREATE_TRIES = 100;

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// ---------------------------------------------------------- signal cleanup

// SIGPIPE comes from a FIFO or pipe whose reader quit, SIGXFSZ from a write
// past the file-size limit.
const int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};

// The temporary files not yet renamed. Changed only with the cleanup
// signals blocked, so the handler always finds a whole list.
SafeFile::Pending *volatile gPending = nullptr;

sigset_t cleanupSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : CLEANUP_SIGNALS)
        sigaddset(&set, sig);
    return set;
}

// A program that ends through exit() (a fatal report, or its summary
// while a file is still being written), out of memory or by a failed
// assertion leaves no temporary file either. Async-signal-safe.
extern "C" void removeTemporariesAtExit()
{
    for (SafeFile::Pending *p = gPending; p; p = p->next)
        ::unlink(p->name);
    gPending = nullptr;
}

// Removes the temporary files, then ends the program by the signal's own
// default action, so that it ends with that signal's usual status. Uses
// only async-signal-safe calls.
extern "C" void removeTemporaries(int sig)
{
    removeTemporariesAtExit();
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
// action: a signal ignored at start (as under nohup) stays ignored, and a
// handler someone else installed stays theirs.
void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(removeTemporariesAtExit);
    setFatalCleanup(removeTemporariesAtExit);
    for (int sig : CLEANUP_SIGNALS) {
        struct sigaction old;
        if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = removeTemporaries;
        action.sa_mask = cleanupSignals();
        ::sigaction(sig, &action, nullptr);
    }
}

// Holds the cleanup signals back for its lifetime.
class SignalsBlocked
{
public:
    SignalsBlocked()
    {
        sigset_t set = cleanupSignals();
        ::sigprocmask(SIG_BLOCK, &set, &cOld);
    }
    ~SignalsBlocked() { ::sigprocmask(SIG_SETMASK, &cOld, nullptr); }
    SignalsBlocked(const SignalsBlocked &) = delete;
    SignalsBlocked &operator=(const SignalsBlocked &) = delete;

private:
    sigset_t cOld;
};

// Both with the signals blocked.
void enlist(SafeFile::Pending &entry)
{
    entry.prev = nullptr;
    entry.next = gPending;
    if (entry.next)
        entry.next->prev = &entry;
    gPending = &entry;
}

void delist(SafeFile::Pending &entry)
{
    if (entry.prev)
        entry.prev->next = entry.next;
    else if (gPending == &entry)
        gPending = entry.next;
    if (entry.next)
        entry.next->prev = entry.prev;
    entry.prev = entry.next = nullptr;
    entry.name = nullptr;
}

// ---------------------------------------------------------------- names

// Six letters or digits that differ from call to call; the exclusive
// create, not the letters, keeps two writers apart.
std::string randomSuffix()
{
    static uint64_t state = 0;
    if (state == 0) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        state = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 20) ^ (uint64_t(::getpid()) << 40) ^
                reinterpret_cast<uintptr_t>(&state);
    }
    // splitmix64
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string text;
    for (int i = 0; i < 6; ++i, z /= 62)
        text += letters[z % 62];
    return text;
}

mode_t newFileMode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The directory part of a name, with its final '/', or empty.
std::string directoryOf(const std::string &name)
{
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Makes the rename durable. A failure here cannot be undone any more: the
// new file is already in place, so it is not reported.
void syncDirectory(const std::string &file)
{
    std::string dir = directoryOf(file);
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Process file system links (/proc/self/fd/1, and so /dev/stdout and
// /dev/fd/N) stand for an open descriptor: their text is no path to follow
// ("pipe:[123]", or the name a file had when it was opened), but opening or
// statting them reaches the descriptor's own file.
bool isDescriptorLink(const std::string &link)
{
    std::string dir = directoryOf(link);
    struct statfs fs;
    return ::statfs(dir.empty() ? "." : dir.c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

} // namespace

bool followLinks(const std::string &path, std::string &target, std::string &err)
{
    std::string name = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || isDescriptorLink(name)) {
            target = name;
            return true;
        }
        if (hops == MAX_LINKS) {
            err = "'" + path + "': " + reason(ELOOP);
            return false;
        }
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 0) + 256);
        ssize_t n;
        while ((n = ::readlink(name.c_str(), buf.data(), buf.size())) >= 0 && size_t(n) == buf.size())
            buf.resize(buf.size() * 2);
        if (n <= 0) {
            int error = n < 0 ? errno : ENOENT;
            err = "'" + name + "': " + reason(error);
            return false;
        }
        std::string link(buf.data(), size_t(n));
        name = link[0] == '/' ? link : directoryOf(name) + link;
    }
}

SafeFile::SafeFile() : cOut(&cBuf) {}

SafeFile::~SafeFile() { discard(); }

namespace {

// How an existing target other than a directory is written: -1 through a
// temporary file renamed over it, else directly with these further open
// flags. A regular file that a descriptor link stands for is written in
// place after what it holds, as through a descriptor opened to append (a
// console log redirected with ">>" keeps its lines); other regular files
// are replaced.
int directFlags(const std::string &target, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return 0;
    struct stat link;
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return O_APPEND;
    return -1;
}

} // namespace

bool writesDirectly(const std::string &path)
{
    std::string target, err;
    struct stat st;
    return followLinks(path, target, err) && ::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
           directFlags(target, st) >= 0;
}

bool SafeFile::open(const std::string &path, std::string &err)
{
    discard();
    if (path.empty()) {
        err = "empty file name";
        return false;
    }
    std::string target;
    if (!followLinks(path, target, err))
        return false;
    struct stat st;
    bool exists = ::stat(target.c_str(), &st) == 0;
    int error = exists ? 0 : errno;
    if (!exists && error != ENOENT) {
        err = "'" + path + "': " + reason(error);
        return false;
    }
    if (exists && S_ISDIR(st.st_mode)) {
        err = "'" + path + "' is a directory";
        return false;
    }
    cPath = path;
    cTarget = target;
    int flags = exists ? directFlags(target, st) : -1;
    if (flags >= 0)
        return openDirect(flags, err);
    // The temporary file would be renamed over a file that may not be
    // written; that counts as one that cannot be opened.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = errno;
        err = "'" + path + "': " + reason(error);
        cPath.clear();
        cTarget.clear();
        return false;
    }
    cMode = exists ? (st.st_mode & 0777) : newFileMode();
    cOwner = exists ? st.st_uid : uid_t(-1);
    cGroup = exists ? st.st_gid : gid_t(-1);
    return createTemporary(err);
}

bool SafeFile::openDirect(int flags, std::string &err)
{
    int fd;
    do
        fd = ::open(cTarget.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int error = errno;
        err = "'" + cPath + "': " + reason(error);
        cPath.clear();
        cTarget.clear();
        return false;
    }
    cFd = fd;
    cBuf.attach(fd);
    cOut.clear();
    return true;
}

bool SafeFile::createTemporary(std::string &err)
{
    // Beside the target, so the rename never crosses a file system; the
    // target's name is cut so the temporary's fits the file-name limit.
    std::string dir = directoryOf(cTarget);
    std::string leaf = cTarget.substr(dir.size());
    if (leaf.size() > NAME_MAX - TEMP_SUFFIX)
        leaf.resize(NAME_MAX - TEMP_SUFFIX);
    installHandlers();
    int error = EEXIST;
    for (int i = 0; i < CREATE_TRIES && error == EEXIST; ++i) {
        std::string temp = dir + leaf + ".tmp" + randomSuffix();
        SignalsBlocked blocked;
        int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno == EINTR ? EEXIST : errno;
            continue;
        }
        cTemp = temp;
        cPending.name = cTemp.c_str();
        enlist(cPending);
        cFd = fd;
        cBuf.attach(fd);
        cOut.clear();
        return true;
    }
    err = "could not create a temporary file beside '" + cTarget + "': " + reason(error);
    cPath.clear();
    cTarget.clear();
    return false;
}

bool SafeFile::finish(std::string &err)
{
    if (cFd < 0) {
        err = "no file open";
        return false;
    }
    bool written = bool(cOut.flush()) && cBuf.error() == 0;
    int error = written ? 0 : cBuf.error();
    if (cTemp.empty()) {
        // Written directly: what was written is there; only its failures
        // count.
        if (::close(cFd) != 0 && written) {
            written = false;
            error = errno;
        }
        cFd = -1;
        cBuf.attach(-1);
        if (!written)
            err = reason(error);
        cFinished = written;
        return written;
    }
    // The file keeps its owner and group where the user may give them (the
    // super-user always; others their own groups), as writing it in place
    // would; where not, the new file is the user's.
    if (written && cOwner != uid_t(-1) && ::fchown(cFd, cOwner, cGroup) != 0)
        (void)!::fchown(cFd, uid_t(-1), cGroup);
    // The data reaches the disk before the rename makes it the target.
    if (written && (::fchmod(cFd, cMode) != 0 || ::fsync(cFd) != 0)) {
        written = false;
        error = errno;
    }
    int fd = cFd;
    cFd = -1;
    cBuf.attach(-1);
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        err = reason(error);
        discard();
        return false;
    }
    cFinished = true;
    return true;
}

bool SafeFile::place(std::string &err)
{
    if (!cFinished) {
        err = "file not finished";
        return false;
    }
    cFinished = false;
    if (cTemp.empty())
        return true;
    bool renamed;
    {
        SignalsBlocked blocked;
        renamed = ::rename(cTemp.c_str(), cTarget.c_str()) == 0;
        if (renamed) {
            delist(cPending);
            cTemp.clear();
        } else {
            err = reason(errno);
        }
    }
    if (!renamed) {
        discard();
        return false;
    }
    syncDirectory(cTarget);
    return true;
}

bool SafeFile::commit(std::string &err) { return finish(err) && place(err); }

void SafeFile::closeFile()
{
    if (cFd >= 0) {
        ::close(cFd);
        cFd = -1;
    }
    cBuf.attach(-1);
}

void SafeFile::discard()
{
    closeFile();
    cFinished = false;
    if (!cTemp.empty()) {
        SignalsBlocked blocked;
        ::unlink(cTemp.c_str());
        delist(cPending);
        cTemp.clear();
    }
}

namespace {

bool writeAll(const std::string &path, const char *p, size_t n, std::string &err)
{
    SafeFile out;
    if (!out.open(path, err))
        return false;
    out.stream().write(p, std::streamsize(n));
    return out.commit(err);
}

} // namespace

bool writeFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes, std::string &err)
{
    return writeAll(path, reinterpret_cast<const char *>(bytes.data()), bytes.size(), err);
}

bool writeFileAtomically(const std::string &path, const std::string &text, std::string &err)
{
    return writeAll(path, text.data(), text.size(), err);
}
