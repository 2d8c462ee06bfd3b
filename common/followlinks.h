// Where an output name leads: through symbolic links to the file that
// writing it would reach, as the kernel would follow them for an ordinary
// open, and whether that is one of the process's own open descriptors.
#pragma once

#include <string>

// The file that path leads to through symbolic links: path itself when it
// is no link, else the last name of the chain, a relative link target
// counting from its link's directory; for a dangling link, the name that
// writing through it would create; a link of the process file system ends
// the chain (its text is no path; the kernel reaches its file through the
// name). A link in a sticky directory that everyone may write (as /tmp is)
// is followed only when it belongs to the effective user or to the
// directory's owner, so that nobody can plant a link there that decides
// which of another user's files is written. False, with a reason in err,
// for such a link and for a chain of more than 40 links.
bool followLinks(const std::string &path, std::string &target, std::string &err);

// True when the name is a link of the process file system that stands for
// an open descriptor (/proc/self/fd/1; /dev/fd/N leads there).
bool isDescriptorLink(const std::string &name);

// The descriptor number N when target (a result of followLinks) stands for
// one of this process's own open descriptors (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N, /proc/<this process>/fd/N); else -1.
int ownDescriptor(const std::string &target);

// The directory part of a name, with its final '/', or empty.
std::string directoryOf(const std::string &name);
