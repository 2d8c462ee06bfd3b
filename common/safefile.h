// Output files that are never left half-written, written where their name
// leads.
//
// open() follows the name through symbolic links to the file it names (for
// a dangling link, the file that link would create; a link of the process
// file system, such as /dev/stdout or /dev/fd/N, stands for an open
// descriptor and is not followed further) and then:
// - an existing device, FIFO or socket is written directly: nothing is
//   created beside it and nothing is renamed;
// - a regular file that a descriptor link stands for is written directly
//   too, in place after what it holds, never replaced;
// - an existing file that the user may not write fails, as writing it in
//   place would;
// - anything else goes to a new temporary file beside that target, written
//   through the descriptor that created it. commit() gives it the target's
//   permission bits (a new file: 0666 less the umask), flushes it to the
//   disk and renames it over the target (keeping its owner and group
//   where the user may): a link stays a link and its target
//   gets the new contents.
// A run that fails, a SafeFile destroyed without commit(), or a program
// ended by SIGINT, SIGTERM, SIGHUP, SIGPIPE or SIGXFSZ (where that signal
// still had its default action), by running out of memory or by a failed
// assertion leaves any old file untouched and no temporary file behind.
//
//   SafeFile out;
//   if (!out.open(name, err)) ...;
//   out.stream() << ...;
//   if (!out.commit(err)) ...;
#pragma once

#include "fdoutbuf.h"

#include <cstdint>
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
    // no such directory, no permission to create the temporary file).
    bool open(const std::string &path, std::string &err);
    // Where the contents are written (binary; no line-end conversion).
    std::ostream &stream() { return cOut; }
    // Writes out what is buffered and puts the file in place: finish(),
    // then place(). False, with a reason in err, when anything failed; a
    // temporary file is then removed.
    bool commit(std::string &err);
    // The two steps of commit(), for files that belong together: finish()
    // writes out what is buffered and closes the file (a temporary one gets
    // its owner, mode and a flush to the disk first); place() renames a
    // finished temporary file over the target (nothing to do for a file
    // written directly). Each false, with a reason in err, when it failed;
    // a temporary file is then removed.
    bool finish(std::string &err);
    bool place(std::string &err);
    // Drops what was written; the target stays as it was (what already went
    // to a device stays there).
    void discard();

    const std::string &path() const { return cPath; }
    // The file that is written: path() with its links followed.
    const std::string &target() const { return cTarget; }
    // The temporary file, or empty when the target is written directly.
    const std::string &tempPath() const { return cTemp; }

    // One entry of the list of temporary files that a signal removes.
    struct Pending
    {
        const char *name = nullptr;
        Pending *prev = nullptr;
        Pending *next = nullptr;
    };

private:
    bool openDirect(int flags, std::string &err);
    bool createTemporary(std::string &err);
    void closeFile();

    std::string cPath;
    std::string cTarget;
    std::string cTemp;
    int cFd = -1;
    bool cFinished = false; // finish() succeeded, place() not yet called
    mode_t cMode = 0;
    uid_t cOwner = uid_t(-1);
    gid_t cGroup = gid_t(-1);
    Pending cPending;
    FdOutBuf cBuf;
    std::ostream cOut;
};

// The file that path leads to through symbolic links: path itself when it
// is no link, else the last name of the chain, a relative link target
// counting from its link's directory; for a dangling link, the name that
// writing through it would create; a link of the process file system ends
// the chain (its text is no path; the kernel reaches its file through the
// name). False, with a reason in err, for a chain of more than 40 links.
bool followLinks(const std::string &path, std::string &target, std::string &err);

// True when SafeFile writes path directly: it leads to an existing device,
// FIFO or socket, or to a regular file through a descriptor link. Such a
// target cannot take a file back once written: it keeps all that reaches it.
bool writesDirectly(const std::string &path);

// Writes the whole file through a SafeFile.
bool writeFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes, std::string &err);
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &err);
