// Whether two names lead to one file, and the check every program makes
// before it writes anything: no output may be one of the run's inputs, nor
// another of its outputs.
#pragma once

#include <string>
#include <vector>

// True when both names lead to one existing file (same device and inode,
// symbolic links followed, so hard links and links match too). A name that
// does not exist matches nothing.
bool sameFile(const std::string &a, const std::string &b);

// Reports an error with the context for every output that is the same file
// as one of the inputs ("Output file 'x' is the same file as input file
// 'y'.") or as an output before it ("... as output file 'y'."); two outputs
// still to be made also match when they lead to one name in one directory.
// Two outputs that are one existing device, FIFO or socket do not clash:
// each is written to it directly, whole.
// True when there was none; nothing is created or changed.
bool checkOutputFiles(const std::string &context, const std::vector<std::string> &outputs,
                      const std::vector<std::string> &inputs);
