// Output through a temporary file beside the file a name leads to, renamed
// over it once complete; devices, FIFOs and the process's own descriptors
// are written directly. Every open, rename and removal is relative to the
// directory that the walk of the name reached.

#include "safefile.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// ".tmp" and six letters or digits follow the target's name.
const size_t TEMP_SUFFIX = 10;
const int CREATE_TRIES = 100;

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

// The directory a temporary file is made in: readable where the user may
// list it, so that it can be flushed; else only as a place.
int openDirectory(const FileCalls &calls, FileDescriptor &place)
{
    int fd = calls.openAt(place.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    return fd >= 0 ? fd : place.release();
}

std::string plantedText(const std::string &path)
{
    return "'" + path + "' belongs to another user in a directory that everyone may write";
}

bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

// Append-only or immutable, as far as the file's flags can be read.
bool fixedInPlace(int fd)
{
    int flags = 0;
    return fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL));
}

} // namespace

bool writesDirectly(const std::string &path)
{
    WalkedName where;
    std::string err;
    return walkName(path, Links::Follow, systemCalls(), where, err) && where.exists && !S_ISDIR(where.st.st_mode) &&
           (where.descriptor >= 0 || where.procLink || !S_ISREG(where.st.st_mode));
}

SafeFile::SafeFile(const FileCalls &calls) : cCalls(calls), cOut(&cBuf) {}

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(const std::string &path, std::string &err, Links links)
{
    discard();
    WalkedName where;
    return walkName(path, links, cCalls, where, err) && openWalked(path, where, err);
}

bool SafeFile::openWalked(const std::string &path, WalkedName &where, std::string &err)
{
    discard();
    cPath = path;
    if (where.descriptor >= 0)
        return openDescriptor(where.descriptor, err);
    if (where.exists && S_ISDIR(where.st.st_mode))
        return refuse(err, "'" + path + "' is a directory");
    if (where.plantedByAnother())
        return refuse(err, plantedText(path));
    // A member extracted (a name walked refusing links) is a new file of
    // the user's, whoever owns its directory: what another user put at its
    // name neither takes the bytes directly (a FIFO would hold the run) nor
    // lends the new file its owner and mode.
    const bool foreign = where.links == Links::Refuse && where.exists && where.st.st_uid != ::geteuid();
    if (foreign && !S_ISREG(where.st.st_mode))
        return refuse(err, "'" + path + "': " + errorText(EACCES));
    cLeaf = where.leaf;
    cDirFd = where.dir.release();
    // A regular file that a descriptor link stands for is written in place
    // after what it holds, as through a descriptor opened to append (a
    // console log redirected with ">>" keeps its lines).
    if (where.procLink)
        return openDirect(S_ISREG(where.st.st_mode) ? O_APPEND : 0, where.st, err);
    if (where.exists && !S_ISREG(where.st.st_mode))
        return openDirect(O_NOFOLLOW, where.st, err);
    // The temporary file would be renamed over a file that may not be
    // written; that counts as one that cannot be opened.
    if (where.exists && ::faccessat(cDirFd, cLeaf.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
        int error = errno;
        return refuse(err, "'" + path + "': " + errorText(error));
    }
    cMode = where.exists && !foreign ? (where.st.st_mode & 0777) : newFileMode();
    // In a directory that everyone may write, the new file is the user's.
    bool keepOwner = where.exists && !where.sharedDirectory() && !foreign;
    cOwner = keepOwner ? where.st.st_uid : uid_t(-1);
    cGroup = keepOwner ? where.st.st_gid : gid_t(-1);
    {
        // The directory held as a place goes once it is open to be read.
        FileDescriptor place(cDirFd);
        cDirFd = openDirectory(cCalls, place);
    }
    return createTemporary(err);
}

bool SafeFile::openDirect(int flags, const struct stat &walked, std::string &err)
{
    // Only the file that was walked to: another put in its place meanwhile
    // is not written.
    int error;
    int fd = openWalkedFile(cCalls, cDirFd, cLeaf, O_WRONLY | flags, walked, error);
    closeDirectory();
    if (fd < 0)
        return refuse(err, "'" + cPath + "': " + errorText(error));
    writeTo(fd);
    return true;
}

bool SafeFile::openDescriptor(int fd, std::string &err)
{
    // A descriptor open only for reading cannot take the output.
    int flags = ::fcntl(fd, F_GETFL);
    int error = flags == -1 ? errno : (flags & O_ACCMODE) == O_RDONLY ? EBADF : 0;
    int copy = error == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0 && error == 0)
        error = errno;
    if (copy < 0)
        return refuse(err, "'" + cPath + "': " + errorText(error));
    // What the console holds already goes first, so neither output lands
    // over the other.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    writeTo(copy);
    return true;
}

bool SafeFile::createTemporary(std::string &err)
{
    // Beside the target, so the rename never crosses a file system; the
    // target's name is cut so the temporary's fits the file-name limit.
    int error = cDirFd < 0 ? errno : EEXIST;
    std::string stem = cLeaf.substr(0, std::min<size_t>(cLeaf.size(), NAME_MAX - TEMP_SUFFIX));
    for (int i = 0; i < CREATE_TRIES && error == EEXIST; ++i) {
        std::string temp = stem + ".tmp" + randomSuffix();
        CleanupSignalsBlocked blocked;
        int fd = cCalls.openAt(cDirFd, temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno == EINTR ? EEXIST : errno;
            continue;
        }
        struct stat st;
        cTempIno = ::fstat(fd, &st) == 0 ? st.st_ino : 0;
        cTempLeaf = temp;
        cPending.enlist(cDirFd, cTempLeaf);
        writeTo(fd);
        return true;
    }
    return refuse(err, "could not create a temporary file beside '" + cPath + "': " + errorText(error));
}

bool SafeFile::finish(std::string &err)
{
    if (cFd < 0) {
        err = "no file open";
        return false;
    }
    bool written = bool(cOut.flush()) && cBuf.error() == 0;
    int error = written ? 0 : cBuf.error();
    if (cTempLeaf.empty()) {
        // Written directly: what was written is there; only its failures
        // count.
        if (::close(cFd) != 0 && written) {
            written = false;
            error = errno;
        }
        cFd = -1;
        cBuf.attach(-1);
        if (!written)
            err = errorText(error);
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
        err = errorText(error);
        discard();
        return false;
    }
    cFinished = true;
    return true;
}

// With the cleanup signals blocked.
bool SafeFile::renameIntoPlace(std::string &err)
{
    cFinished = false;
    if (cTempLeaf.empty())
        return true;
    if (cCalls.renameAt(cDirFd, cTempLeaf.c_str(), cDirFd, cLeaf.c_str(), 0) != 0) {
        err = errorText(errno);
        discard();
        return false;
    }
    cPending.delist();
    cTempLeaf.clear();
    return true;
}

// Whether the finished temporary can be renamed over what its target holds
// now. With the cleanup signals blocked.
bool SafeFile::replaceable(std::string &err)
{
    auto refuse = [&](int error) {
        err = errorText(error);
        return false;
    };
    struct stat dir, now;
    if (cTempLeaf.empty())
        return true;
    if (::fstat(cDirFd, &dir) != 0)
        return refuse(errno);
    // Nothing is renamed in a directory that may only grow or not change.
    if (fixedInPlace(cDirFd))
        return refuse(EPERM);
    if (cCalls.statAt(cDirFd, cLeaf.c_str(), now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || refuse(errno);
    if (isPlantedByAnother(dir, now)) {
        err = plantedText(cPath);
        return false;
    }
    if (S_ISDIR(now.st_mode))
        return refuse(EISDIR);
    if (S_ISREG(now.st_mode)) {
        int fd = cCalls.openAt(cDirFd, cLeaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        bool fixed = fixedInPlace(fd);
        if (fd >= 0)
            ::close(fd);
        if (fixed)
            return refuse(EPERM);
    }
    // A file mounted over the name cannot be renamed over.
    struct statx at, in;
    if (::statx(cDirFd, cLeaf.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &at) == 0 &&
        (((at.stx_attributes_mask & at.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) ||
         (::statx(cDirFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &in) == 0 && (at.stx_mask & in.stx_mask & STATX_MNT_ID) &&
          at.stx_mnt_id != in.stx_mnt_id)))
        return refuse(EBUSY);
    return true;
}

// One file of a group: exchanged with the file at its target, which keeps
// the temporary's name meanwhile, or put at a target that holds no file.
// With the cleanup signals blocked.
bool SafeFile::placeInGroup(std::string &err)
{
    cFinished = false;
    if (cTempLeaf.empty())
        return true;
    const char *temp = cTempLeaf.c_str();
    const char *target = cLeaf.c_str();
    int error = EEXIST;
    for (int tries = 0; tries < CREATE_TRIES && error == EEXIST; ++tries) {
        if (cCalls.renameAt(cDirFd, temp, cDirFd, target, RENAME_EXCHANGE) == 0) {
            cPlacing = Placing::Exchanged;
            cPending.placedAt(cLeaf, true, cTempIno);
            return true;
        }
        error = errno;
        if (error == ENOENT) {
            if (cCalls.renameAt(cDirFd, temp, cDirFd, target, RENAME_NOREPLACE) == 0) {
                cPlacing = Placing::Taken;
                cPending.placedAt(cLeaf, false, cTempIno);
                return true;
            }
            error = errno;
        }
    }
    // A file system that cannot exchange: the checks made before are all
    // there is.
    if (unsupported(error)) {
        if (cCalls.renameAt(cDirFd, temp, cDirFd, target, 0) == 0) {
            cPlacing = Placing::Final;
            return true;
        }
        error = errno;
    }
    err = errorText(error);
    return false;
}

// Takes a file of a group back out of its place. With the cleanup signals
// blocked.
void SafeFile::undoPlace()
{
    struct stat st;
    if (cPlacing == Placing::Exchanged &&
        cCalls.renameAt(cDirFd, cTempLeaf.c_str(), cDirFd, cLeaf.c_str(), RENAME_EXCHANGE) == 0)
        cPending.placedAt("", false, 0);
    else if (cPlacing == Placing::Taken && cCalls.statAt(cDirFd, cLeaf.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0 &&
             st.st_ino == cTempIno)
        ::unlinkat(cDirFd, cLeaf.c_str(), 0);
    cPlacing = Placing::Not;
}

// Every file of the group is in place: an old file kept under the
// temporary's name goes. With the cleanup signals blocked.
void SafeFile::completePlace()
{
    if (cPlacing == Placing::Exchanged)
        ::unlinkat(cDirFd, cTempLeaf.c_str(), 0);
    cPlacing = Placing::Not;
    cPending.delist();
    cTempLeaf.clear();
}

void SafeFile::syncDirectory()
{
    if (cDirFd >= 0 && !hasTemporary())
        ::fsync(cDirFd);
    if (!hasTemporary())
        closeDirectory();
}

bool SafeFile::place(std::string &err)
{
    SafeFile *self = this;
    SafeFile *failed = nullptr;
    if (!cFinished) {
        err = "file not finished";
        return false;
    }
    return commitTogether({self}, failed, err);
}

bool SafeFile::commit(std::string &err) { return finish(err) && place(err); }

bool SafeFile::commitTogether(const std::vector<SafeFile *> &files, SafeFile *&failed, std::string &err,
                              const std::function<void()> &betweenRenames)
{
    failed = nullptr;
    for (SafeFile *file : files)
        if (!failed && !file->cFinished && !file->finish(err))
            failed = file;
    // One file is simply renamed; two or more are exchanged with their old
    // files until all are in place.
    size_t temporaries = 0;
    for (SafeFile *file : files)
        temporaries += file->hasTemporary();
    const bool group = temporaries > 1;
    if (!failed) {
        CleanupSignalsBlocked blocked;
        for (size_t i = 0; group && i < files.size() && !failed; ++i)
            if (!files[i]->replaceable(err))
                failed = files[i];
        size_t placed = 0;
        for (size_t i = 0; i < files.size() && !failed; ++i) {
            if (!(group ? files[i]->placeInGroup(err) : files[i]->renameIntoPlace(err))) {
                failed = files[i];
                break;
            }
            ++placed;
            if (betweenRenames && i + 1 < files.size())
                betweenRenames();
        }
        for (size_t i = placed; group && i-- > 0;) {
            if (failed)
                files[i]->undoPlace();
            else
                files[i]->completePlace();
        }
    }
    // The renames are made durable, each directory once. A failure here
    // cannot be undone any more: the new files are in place.
    std::set<std::pair<dev_t, ino_t>> synced;
    for (SafeFile *file : files) {
        struct stat st;
        if (file->cDirFd >= 0 && !file->hasTemporary() && ::fstat(file->cDirFd, &st) == 0 &&
            !synced.insert({st.st_dev, st.st_ino}).second)
            file->closeDirectory();
        file->syncDirectory();
    }
    if (!failed)
        return true;
    for (SafeFile *file : files)
        file->discard();
    return false;
}

bool SafeFile::placeInstead(const struct stat *old, bool &replaced, std::string &err)
{
    replaced = false;
    if (!cFinished) {
        err = "file not finished";
        return false;
    }
    cFinished = false;
    if (cTempLeaf.empty())
        return true;
    bool placed = false;
    {
        CleanupSignalsBlocked blocked;
        const char *temp = cTempLeaf.c_str();
        const char *target = cLeaf.c_str();
        struct stat now;
        int error = 0;
        // Where the file system cannot exchange two files or refuse to
        // replace one: the comparison made just before is all there is.
        auto plainRename = [&] {
            bool renamed = cCalls.renameAt(cDirFd, temp, cDirFd, target, 0) == 0;
            error = renamed ? 0 : errno;
            return renamed;
        };
        if (!old) {
            if (cCalls.renameAt(cDirFd, temp, cDirFd, target, RENAME_NOREPLACE) == 0)
                placed = true;
            else if ((error = errno) == EEXIST)
                replaced = true;
            else if (unsupported(error) && cCalls.statAt(cDirFd, target, now, AT_SYMLINK_NOFOLLOW) == 0)
                replaced = true;
            else if (unsupported(error) && errno == ENOENT)
                placed = plainRename();
        } else if (cCalls.statAt(cDirFd, target, now, AT_SYMLINK_NOFOLLOW) != 0 || !unchangedFile(now, *old, true)) {
            // Rewritten in place (its change time moved) or replaced.
            replaced = true;
        } else if (cCalls.renameAt(cDirFd, temp, cDirFd, target, RENAME_EXCHANGE) == 0) {
            // The exchange moves both change times; the rest must hold.
            if (cCalls.statAt(cDirFd, temp, now, AT_SYMLINK_NOFOLLOW) == 0 && unchangedFile(now, *old, false)) {
                ::unlinkat(cDirFd, temp, 0);
                placed = true;
            } else if (cCalls.renameAt(cDirFd, temp, cDirFd, target, RENAME_EXCHANGE) == 0) {
                replaced = true;
            } else {
                // Neither can be put back: the other file keeps the
                // temporary's name.
                error = errno;
                cPending.delist();
                cTempLeaf.clear();
                err = "could not put back the file found at '" + cPath + "': " + errorText(error);
                return false;
            }
        } else if ((error = errno) == ENOENT) {
            replaced = true;
        } else if (unsupported(error)) {
            placed = plainRename();
        }
        if (placed) {
            cPending.delist();
            cTempLeaf.clear();
        } else if (!replaced) {
            err = errorText(error);
        }
    }
    if (!placed) {
        discard();
        return false;
    }
    syncDirectory();
    return true;
}

void SafeFile::closeFile()
{
    if (cFd >= 0) {
        ::close(cFd);
        cFd = -1;
    }
    cBuf.attach(-1);
}

void SafeFile::closeDirectory()
{
    if (cDirFd >= 0) {
        ::close(cDirFd);
        cDirFd = -1;
    }
}

// An open that failed leaves nothing behind.
bool SafeFile::refuse(std::string &err, const std::string &why)
{
    err = why;
    closeFile();
    closeDirectory();
    cPath.clear();
    cLeaf.clear();
    return false;
}

void SafeFile::writeTo(int fd)
{
    cFd = fd;
    cBuf.attach(fd);
    cOut.clear();
}

void SafeFile::discard()
{
    closeFile();
    cFinished = false;
    cPlacing = Placing::Not;
    if (!cTempLeaf.empty()) {
        CleanupSignalsBlocked blocked;
        ::unlinkat(cDirFd, cTempLeaf.c_str(), 0);
        cPending.delist();
        cTempLeaf.clear();
    }
    closeDirectory();
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
