// Walking a name one component at a time from directory descriptors.

#include "pathwalk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

FileCalls::FileCalls()
    : openAt([](int dir, const char *name, int flags, mode_t mode) { return ::openat(dir, name, flags, mode); }),
      statAt([](int dir, const char *name, struct stat &st, int flags) { return ::fstatat(dir, name, &st, flags); }),
      renameAt([](int fromDir, const char *from, int toDir, const char *to, unsigned flags) {
          return ::renameat2(fromDir, from, toDir, to, flags);
      })
{
}

const FileCalls &systemCalls()
{
    static const FileCalls calls;
    return calls;
}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int FileDescriptor::release()
{
    int fd = cFd;
    cFd = -1;
    return fd;
}

void FileDescriptor::reset(int fd)
{
    if (cFd >= 0)
        ::close(cFd);
    cFd = fd;
}

bool sameInode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT);
}

bool unchangedFile(const struct stat &a, const struct stat &b, bool changeToo)
{
    return sameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           (!changeToo || (a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec));
}

int openWalkedFile(const FileCalls &calls, int dir, const std::string &leaf, int flags, const struct stat &walked,
                   int &error)
{
    int fd;
    do
        fd = calls.openAt(dir, leaf.c_str(), flags | O_NOCTTY | O_CLOEXEC, 0);
    while (fd < 0 && errno == EINTR);
    error = fd < 0 ? errno : 0;
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !sameInode(st, walked))) {
        ::close(fd);
        fd = -1;
        error = ESTALE;
    }
    return fd;
}

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

namespace {

const int MAX_LINKS = 40;
const int PLACE = O_PATH | O_CLOEXEC;

// One component still to walk, with where it ends in the name as given
// (npos for one that came from a link's text).
struct Component
{
    std::string name;
    size_t end;
};

std::deque<Component> split(const std::string &text, bool fromName)
{
    std::deque<Component> parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t slash = text.find('/', start);
        size_t end = slash == std::string::npos ? text.size() : slash;
        std::string part = text.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back({part, fromName ? end : std::string::npos});
        start = end + 1;
    }
    return parts;
}

// The kernel's rule for links in sticky directories that everyone may
// write: such a link is followed only by its owner, or when it belongs to
// the directory's owner.
bool mayFollow(const struct stat &dir, const struct stat &link)
{
    return !isSharedDirectory(dir) || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid;
}

bool onProcessFileSystem(int dir)
{
    struct statfs fs;
    return ::fstatfs(dir, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

bool sameDirectory(const struct stat &a, const char *other)
{
    struct stat st;
    return ::stat(other, &st) == 0 && st.st_dev == a.st_dev && st.st_ino == a.st_ino;
}

// The descriptor N that the leaf of this process's own descriptor
// directory stands for, or -1.
int ownDescriptor(int dir, const std::string &leaf)
{
    struct stat st;
    if (leaf.empty() || leaf.size() > 9 || leaf.find_first_not_of("0123456789") != std::string::npos ||
        ::fstat(dir, &st) != 0 || !(sameDirectory(st, "/proc/self/fd") || sameDirectory(st, "/proc/thread-self/fd")))
        return -1;
    int fd = std::stoi(leaf);
    return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
}

// The text of the link open (as itself) at fd; empty when it has none.
std::string linkText(int fd)
{
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = ::readlinkat(fd, "", buf.data(), buf.size());
        if (n < 0)
            return std::string();
        if (size_t(n) < buf.size())
            return std::string(buf.data(), size_t(n));
        buf.resize(buf.size() * 2);
    }
}

} // namespace

bool isSharedDirectory(const struct stat &dir) { return (dir.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH); }

bool isPlantedByAnother(const struct stat &dir, const struct stat &file)
{
    return isSharedDirectory(dir) && file.st_uid != ::geteuid() && file.st_uid != dir.st_uid;
}

bool walkName(const std::string &path, Links links, const FileCalls &calls, WalkedName &out, std::string &err)
{
    out = WalkedName();
    out.links = links;
    auto fail = [&](int error) {
        err = "'" + path + "': " + errorText(error);
        return false;
    };
    if (path.empty()) {
        err = "empty file name";
        return false;
    }
    FileDescriptor cur(calls.openAt(AT_FDCWD, path[0] == '/' ? "/" : ".", PLACE | O_DIRECTORY, 0));
    if (!cur.valid())
        return fail(errno);
    // The walk ends at leaf in the directory reached.
    auto reached = [&](const std::string &leaf) {
        out.leaf = leaf;
        if (::fstat(cur.get(), &out.dirStat) != 0)
            return fail(errno);
        out.dir = std::move(cur);
        return true;
    };
    std::deque<Component> todo = split(path, true);
    int followed = 0;
    while (!todo.empty()) {
        Component part = todo.front();
        todo.pop_front();
        bool last = todo.empty();
        if (part.name == "..") {
            FileDescriptor up(calls.openAt(cur.get(), "..", PLACE | O_DIRECTORY, 0));
            if (!up.valid())
                return fail(errno);
            cur = std::move(up);
            continue;
        }
        FileDescriptor fd(calls.openAt(cur.get(), part.name.c_str(), PLACE | O_NOFOLLOW, 0));
        if (!fd.valid()) {
            int error = errno;
            if (error != ENOENT || !last)
                return fail(error);
            // A file to create.
            return reached(part.name) && (path.back() != '/' || fail(EISDIR));
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0)
            return fail(errno);
        if (S_ISLNK(st.st_mode)) {
            if (links == Links::Refuse) {
                out.refusedLink = last ? path : path.substr(0, part.end);
                return fail(ELOOP);
            }
            struct stat dirStat;
            if (::fstat(cur.get(), &dirStat) != 0)
                return fail(errno);
            if (!mayFollow(dirStat, st))
                return fail(EACCES);
            if (++followed > MAX_LINKS)
                return fail(ELOOP);
            if (onProcessFileSystem(cur.get())) {
                // Its text is no path ("pipe:[123]", or the name its file
                // had when it was opened); the kernel reaches the file.
                if (!last) {
                    FileDescriptor through(calls.openAt(cur.get(), part.name.c_str(), PLACE | O_DIRECTORY, 0));
                    if (!through.valid())
                        return fail(errno);
                    cur = std::move(through);
                    continue;
                }
                out.descriptor = ownDescriptor(cur.get(), part.name);
                if (out.descriptor >= 0 ? ::fstat(out.descriptor, &out.st) != 0
                                        : calls.statAt(cur.get(), part.name.c_str(), out.st, 0) != 0)
                    return fail(errno);
                out.procLink = out.descriptor < 0;
                out.exists = true;
                return reached(part.name);
            }
            std::string text = linkText(fd.get());
            if (text.empty())
                return fail(ENOENT);
            if (text[0] == '/') {
                FileDescriptor root(calls.openAt(AT_FDCWD, "/", PLACE | O_DIRECTORY, 0));
                if (!root.valid())
                    return fail(errno);
                cur = std::move(root);
            }
            std::deque<Component> more = split(text, false);
            todo.insert(todo.begin(), more.begin(), more.end());
            continue;
        }
        if (last) {
            out.exists = true;
            out.st = st;
            return reached(part.name) && (path.back() != '/' || S_ISDIR(st.st_mode) || fail(ENOTDIR));
        }
        if (!S_ISDIR(st.st_mode))
            return fail(ENOTDIR);
        cur = std::move(fd);
    }
    // The name ends in a directory ("/", "..", a link to a directory): the
    // directory itself is the file.
    out.leaf = ".";
    out.exists = true;
    if (::fstat(cur.get(), &out.st) != 0)
        return fail(errno);
    out.dirStat = out.st;
    out.dir = std::move(cur);
    return true;
}
