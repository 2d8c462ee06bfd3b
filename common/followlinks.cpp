// Following an output name through its symbolic links.

#include "followlinks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

const int MAX_LINKS = 40;

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// The kernel's rule for links in sticky directories that everyone may
// write: such a link is followed only by its owner, or when it belongs to
// the directory's owner.
bool mayFollow(const std::string &link, const struct stat &linkStat)
{
    std::string dir = directoryOf(link);
    struct stat st;
    if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0)
        return true; // the open that follows will fail on its own
    if ((st.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH))
        return true;
    return linkStat.st_uid == ::geteuid() || linkStat.st_uid == st.st_uid;
}

bool sameDirectory(const struct stat &a, const char *other)
{
    struct stat st;
    return ::stat(other, &st) == 0 && st.st_dev == a.st_dev && st.st_ino == a.st_ino;
}

} // namespace

std::string directoryOf(const std::string &name)
{
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Process file system links (/proc/self/fd/1, and so /dev/stdout and
// /dev/fd/N) stand for an open descriptor: their text is no path to follow
// ("pipe:[123]", or the name a file had when it was opened), but opening or
// statting them reaches the descriptor's own file.
bool isDescriptorLink(const std::string &name)
{
    std::string dir = directoryOf(name);
    struct statfs fs;
    return ::statfs(dir.empty() ? "." : dir.c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

bool followLinks(const std::string &path, std::string &target, std::string &err)
{
    std::string name = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || isDescriptorLink(name)) {
            target = name;
            return true;
        }
        if (!mayFollow(name, st)) {
            err = "'" + path + "': " + reason(EACCES);
            return false;
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

int ownDescriptor(const std::string &target)
{
    std::string dir = directoryOf(target);
    std::string leaf = target.substr(dir.size());
    if (dir.empty() || leaf.empty() || leaf.size() > 9 || leaf.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    struct stat st;
    if (!isDescriptorLink(target) || ::stat(dir.c_str(), &st) != 0 ||
        !(sameDirectory(st, "/proc/self/fd") || sameDirectory(st, "/proc/thread-self/fd")))
        return -1;
    int fd = std::stoi(leaf);
    return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
}
