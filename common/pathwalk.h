// Where a name that a program writes leads: walked one component at a time
// from an open descriptor of the directory it starts in, as the kernel
// walks it for an ordinary open, so that what is checked on the way is
// what is then used. The caller gets the last directory held open, the
// file's name in it and what the name holds now; it opens, creates and
// renames relative to that descriptor and never looks the name up again.
//
//   WalkedName where;
//   if (!walkName("out/app.hex", Links::Follow, systemCalls(), where, err)) ...;
//   ... openat(where.dir.get(), where.leaf.c_str(), O_WRONLY | O_NOFOLLOW) ...
#pragma once

#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The system calls that the walk and the output layer make on names, as a
// table that a test may hand in instead, to change a file between two
// steps. A default-made table holds the system's own calls.
struct FileCalls
{
    FileCalls();

    std::function<int(int dir, const char *name, int flags, mode_t mode)> openAt;
    // fstatat()
    std::function<int(int dir, const char *name, struct stat &st, int flags)> statAt;
    // renameat2()
    std::function<int(int fromDir, const char *from, int toDir, const char *to, unsigned flags)> renameAt;
};

// The system's own calls.
const FileCalls &systemCalls();

// An open descriptor, closed with its holder.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : cFd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : cFd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return cFd; }
    bool valid() const { return cFd >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int cFd = -1;
};

// True when the directory is sticky and everyone may write it, as /tmp.
bool isSharedDirectory(const struct stat &dir);
// True when file lies in such a directory and belongs neither to the
// effective user nor to the directory's owner: another user may have
// planted it there.
bool isPlantedByAnother(const struct stat &dir, const struct stat &file);

// How the walk treats the symbolic links it meets.
enum class Links {
    // Follows them as the kernel does for an ordinary open, where its rule
    // for sticky directories lets it (see walkName).
    Follow,
    // Refuses every one, on the directory part and as the file itself.
    Refuse,
};

struct WalkedName
{
    Links links = Links::Follow; // how the walk treated links
    FileDescriptor dir;    // the last directory, open as a place (O_PATH)
    struct stat dirStat {}; // its status
    std::string leaf;      // the file's name in it
    bool exists = false;
    // The file, its link not followed; for a link of the process file
    // system, the file it stands for.
    struct stat st {};
    // The leaf is a link of the process file system other than one of the
    // process's own descriptors: it is opened through the kernel's link.
    bool procLink = false;
    // The leaf stands for this process's open descriptor N (/dev/stdout,
    // /dev/fd/N, /proc/self/fd/N, /proc/<this process>/fd/N); else -1.
    int descriptor = -1;
    // Links::Refuse: the part of the name up to the link that refused it
    // ("sub", "d/sub"), or the whole name when its file is the link.
    std::string refusedLink;

    // See isSharedDirectory and isPlantedByAnother.
    bool sharedDirectory() const { return isSharedDirectory(dirStat); }
    bool plantedByAnother() const { return exists && isPlantedByAnother(dirStat, st); }
};

// Walks path from "/" (an absolute name) or the current directory. Every
// link met, on the directory part and as the file itself, is followed
// (its text read relative to its own directory, an absolute one from "/",
// at most 40 links) unless it lies in a sticky directory that everyone may
// write and belongs neither to the effective user nor to the directory's
// owner; ".." is taken from the directory reached so far, as the kernel
// takes it. A link of the process file system is followed by the kernel
// (its text is no path) and ends the walk as the file when it is the last
// component. A name that does not exist yet is a file to create in the
// directory reached. False, with "'path': reason" in err, for a refused
// link, a loop, a missing directory or a component that is no directory.
bool walkName(const std::string &path, Links links, const FileCalls &calls, WalkedName &out, std::string &err);

// Dev, inode and type equal.
bool sameInode(const struct stat &a, const struct stat &b);
// The same file with the same size and modification time, and, when
// changeToo, the same change time: not written since a was taken.
bool unchangedFile(const struct stat &a, const struct stat &b, bool changeToo);

// Opens the file that a walk found as leaf in dir (flags O_NOFOLLOW where
// a link is not to be followed), retrying an open that a signal cut short,
// and only while it is still that file (walked); else -1, with the errno
// value in error (ESTALE when another file stands there now).
int openWalkedFile(const FileCalls &calls, int dir, const std::string &leaf, int flags, const struct stat &walked,
                   int &error);

// The text of an errno value; that of EIO for 0.
std::string errorText(int error);

