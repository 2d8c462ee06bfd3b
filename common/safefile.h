// Output files that are never left half-written, written where their name
// leads.
//
// open() walks the name to the file it leads to (see walkName: a link
// planted in a sticky directory by another user is refused, on the
// directory part too; a link of the process file system stands for an
// open descriptor) and then, relative to the directory it reached:
// - one of the process's own descriptors (/dev/stdout, /dev/fd/N) is
//   written through a duplicate of that descriptor, after the console text
//   already buffered, so both share one file offset;
// - an existing device, FIFO or socket is written directly: opened without
//   following a link, and only when it is still the file that was walked
//   to; nothing is created beside it and nothing is renamed; a regular
//   file that another process's descriptor link stands for is written in
//   place after what it holds, never replaced;
// - in a sticky directory that everyone may write, a file that belongs
//   neither to the user nor to the directory's owner is refused, as the
//   kernel refuses such files and FIFOs to an open that may create;
// - an existing file that the user may not write fails, as writing it in
//   place would;
// - anything else goes to a new temporary file beside that target, made
//   and renamed relative to its directory held open (so any name the
//   system can open works), and written through the descriptor that
//   created it. commit() gives it the target's permission bits (a new
//   file: 0666 less the umask), flushes it to the disk and renames it over
//   the target (keeping its owner and group where the user may, except in
//   a sticky directory that everyone may write, where the new file is the
//   user's): a link stays a link and its target gets the new contents.
// A run that fails, a SafeFile destroyed without commit(), or a program
// ended early (see pendingfiles.h) leaves any old file untouched and no
// temporary file behind.
//
//   SafeFile out;
//   if (!out.open(name, err)) ...;
//   out.stream() << ...;
//   if (!out.commit(err)) ...;
#pragma once

#include "fdoutbuf.h"
#include "pathwalk.h"
#include "pendingfiles.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

class SafeFile
{
public:
    // The system calls on names come from calls (a test's way in).
    explicit SafeFile(const FileCalls &calls = systemCalls());
    // Removes the temporary file unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Prepares writing path as described above. False, with a reason in err,
    // when that is impossible (a directory, a file the user may not write,
    // a link or file planted by another user, no such directory, no
    // permission to create the temporary file). Links::Refuse refuses
    // every link on the way and makes a new file of the user's: an
    // existing file of another user is replaced by one with the user's
    // owner and a new file's mode, and another user's FIFO or device is
    // refused.
    bool open(const std::string &path, std::string &err, Links links = Links::Follow);
    // The same for a name already walked; takes over its directory.
    bool openWalked(const std::string &path, WalkedName &where, std::string &err);
    // True from a successful open until the file is finished or dropped.
    bool isOpen() const { return cFd >= 0; }
    // Where the contents are written (binary; no line-end conversion).
    std::ostream &stream() { return cOut; }
    // Writes out what is buffered and puts the file in place: finish(),
    // then place(). False, with a reason in err (the cause of a failed
    // write, flush or rename), when anything failed; a temporary file is
    // then removed.
    bool commit(std::string &err);
    // The two steps of commit(): finish() writes out what is buffered and
    // closes the file (a temporary one gets its owner, mode and a flush to
    // the disk first); place() renames a finished temporary file over the
    // target (nothing to do for a file written directly) and flushes the
    // directory. Each false, with a reason in err, when it failed; a
    // temporary file is then removed.
    bool finish(std::string &err);
    bool place(std::string &err);
    // Files that belong together: finishes every one, checks that each can
    // be renamed over its target (not another user's file in a sticky
    // directory, no append-only or immutable file or directory, no mount
    // point), then renames them all with the cleanup signals held back from
    // before the first rename to after the last. Each new file is exchanged
    // with the old one, which keeps the temporary name until every new file
    // is in place: a rename that fails even so, or a signal or fault meanwhile,
    // puts every old file back. Either every old file stays or every new
    // one is in place; each directory is flushed once afterwards. False,
    // with the file that failed and why, when any step failed: then every
    // new file is dropped. betweenRenames, when given, runs after each
    // rename but the last (a test's way in).
    static bool commitTogether(const std::vector<SafeFile *> &files, SafeFile *&failed, std::string &err,
                               const std::function<void()> &betweenRenames = {});
    // Puts a finished file in the place of the file old describes (device,
    // inode, size, modification and change time), or, without old, at a
    // name that holds no file. When the name holds anything else just
    // before, or the file exchanged with the new one proves to be another,
    // that file is left in place (or put back), the new one dropped, and
    // false comes back with replaced set. Where the file system cannot
    // exchange two files, all is compared just before a plain rename.
    bool placeInstead(const struct stat *old, bool &replaced, std::string &err);
    // Drops what was written; the target stays as it was (what already went
    // to a device stays there).
    void discard();

    const std::string &path() const { return cPath; }
    // True while a temporary file is being written beside the target.
    bool hasTemporary() const { return !cTempLeaf.empty(); }

private:
    // How a file of a group stands while the group is placed.
    enum class Placing { Not, Exchanged, Taken, Final };

    bool openDirect(int flags, const struct stat &walked, std::string &err);
    bool openDescriptor(int fd, std::string &err);
    bool createTemporary(std::string &err);
    bool renameIntoPlace(std::string &err);
    bool replaceable(std::string &err);
    bool placeInGroup(std::string &err);
    void undoPlace();
    void completePlace();
    void syncDirectory();
    void closeFile();
    void closeDirectory();
    // Ends a failed open with why in err; false.
    bool refuse(std::string &err, const std::string &why);
    // Output goes to the open descriptor fd.
    void writeTo(int fd);

    FileCalls cCalls;
    std::string cPath;
    std::string cLeaf;     // the target's name within its directory
    std::string cTempLeaf; // the temporary's, empty when written directly
    int cDirFd = -1;       // the target's directory, while a temporary exists
    int cFd = -1;
    ino_t cTempIno = 0;
    bool cFinished = false; // finish() succeeded, place() not yet called
    Placing cPlacing = Placing::Not;
    mode_t cMode = 0;
    uid_t cOwner = uid_t(-1);
    gid_t cGroup = gid_t(-1);
    PendingFile cPending;
    FdOutBuf cBuf;
    std::ostream cOut;
};

// True when SafeFile writes path directly: it leads to an existing device,
// FIFO or socket, or to a regular file through a descriptor link. Such a
// target cannot take a file back once written: it keeps all that reaches it.
bool writesDirectly(const std::string &path);

// Writes the whole file through a SafeFile.
bool writeFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes, std::string &err);
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &err);
