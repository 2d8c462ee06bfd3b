// Output files that are never left half-written, written where their name
// leads.
//
// open() follows the name through symbolic links to the file it names (see
// followLinks: a link planted in a sticky directory by another user is
// refused; a link of the process file system stands for an open descriptor
// and is not followed further) and then:
// - one of the process's own descriptors (/dev/stdout, /dev/fd/N) is
//   written through a duplicate of that descriptor, after the console text
//   already buffered, so both share one file offset;
// - an existing device, FIFO or socket is written directly: nothing is
//   created beside it and nothing is renamed; a regular file that another
//   process's descriptor link stands for is written in place after what
//   it holds, never replaced;
// - an existing file that the user may not write fails, as writing it in
//   place would;
// - anything else goes to a new temporary file beside that target, made
//   and renamed relative to its directory held open (so any name the
//   system can open works), and written through the descriptor that
//   created it. commit() gives it the target's permission bits (a new
//   file: 0666 less the umask), flushes it to the disk and renames it over
//   the target (keeping its owner and group where the user may): a link
//   stays a link and its target gets the new contents.
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
    SafeFile();
    // Removes the temporary file unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Prepares writing path as described above. False, with a reason in err,
    // when that is impossible (a directory, a file the user may not write,
    // a link planted by another user, no such directory, no permission to
    // create the temporary file).
    bool open(const std::string &path, std::string &err);
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
    // Files that belong together: finishes every one, then renames them
    // all with the cleanup signals held back from before the first rename
    // to after the last, so a signal leaves either every old file or every
    // new one; each directory is flushed once afterwards. False, with the
    // file that failed and why, when any step failed: then every file not
    // yet renamed is dropped. Only a rename refused after an earlier one
    // succeeded can still leave new files beside old ones. betweenRenames,
    // when given, runs after each rename but the last (a test's way in).
    static bool commitTogether(const std::vector<SafeFile *> &files, SafeFile *&failed, std::string &err,
                               const std::function<void()> &betweenRenames = {});
    // Drops what was written; the target stays as it was (what already went
    // to a device stays there).
    void discard();

    const std::string &path() const { return cPath; }
    // The file that is written: path() with its links followed.
    const std::string &target() const { return cTarget; }
    // True while a temporary file is being written beside the target.
    bool hasTemporary() const { return !cTempLeaf.empty(); }

private:
    bool openDirect(int flags, std::string &err);
    bool openDescriptor(int fd, std::string &err);
    bool createTemporary(std::string &err);
    bool renameIntoPlace(std::string &err);
    void closeFile();
    void closeDirectory();
    void fail();

    std::string cPath;
    std::string cTarget;
    std::string cLeaf;     // the target's name within its directory
    std::string cTempLeaf; // the temporary's, empty when written directly
    int cDirFd = -1;       // the target's directory, while a temporary exists
    int cFd = -1;
    bool cFinished = false; // finish() succeeded, place() not yet called
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
