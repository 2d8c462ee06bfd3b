// Telling files apart by device and inode.

#include "samefile.h"

#include "diag.h"
#include "pathwalk.h"

#include <sys/stat.h>

namespace {

// A file by device and inode; a file still to be made by those of its
// directory and its name there.
struct FileId
{
    bool known = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string leaf;
    bool special = false; // an existing device, FIFO or socket

    bool operator==(const FileId &other) const
    {
        return known && other.known && dev == other.dev && ino == other.ino && leaf == other.leaf;
    }
};

FileId idOf(const std::string &name, bool mayBeNew)
{
    FileId id;
    WalkedName where;
    std::string err;
    if (!walkName(name, Links::Follow, systemCalls(), where, err))
        return id;
    if (where.exists) {
        const struct stat &st = where.st;
        id = {true, st.st_dev, st.st_ino, "", !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)};
        return id;
    }
    if (mayBeNew)
        id = {true, where.dirStat.st_dev, where.dirStat.st_ino, where.leaf, false};
    return id;
}

} // namespace

bool sameFile(const std::string &a, const std::string &b) { return idOf(a, false) == idOf(b, false); }

bool checkOutputFiles(const std::string &context, const std::vector<std::string> &outputs,
                      const std::vector<std::string> &inputs)
{
    std::vector<FileId> inputIds;
    for (const std::string &name : inputs)
        inputIds.push_back(idOf(name, false));
    std::vector<FileId> outputIds;
    bool distinct = true;
    for (const std::string &output : outputs) {
        FileId id = idOf(output, true);
        std::string clash;
        for (size_t i = 0; i < inputs.size() && clash.empty(); ++i)
            if (id == inputIds[i])
                clash = "input file '" + inputs[i] + "'";
        // Two outputs to one device or FIFO both reach it whole.
        for (size_t i = 0; i < outputIds.size() && clash.empty() && !id.special; ++i)
            if (id == outputIds[i])
                clash = "output file '" + outputs[i] + "'";
        if (!clash.empty()) {
            report(SEV_ERROR, context, "Output file '" + output + "' is the same file as " + clash + ".", false);
            distinct = false;
        }
        outputIds.push_back(id);
    }
    return distinct;
}
