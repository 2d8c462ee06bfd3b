// Output files that are never left half-written: everything goes to a
// temporary file in the target's directory, which replaces the target by
// rename only once every byte was written. A run that fails, or a SafeFile
// destroyed without commit(), leaves any old file of that name untouched.
//
//   SafeFile out;
//   if (!out.open(name, err)) ...;
//   out.stream() << ...;
//   if (!out.commit(err)) ...;
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

class SafeFile
{
public:
    SafeFile() = default;
    // Removes the temporary file unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Creates the temporary file beside path. False, with a reason in err,
    // when it cannot be created (no such directory, no permission).
    bool open(const std::string &path, std::string &err);
    // Where the contents are written (binary; no line-end conversion).
    std::ostream &stream() { return cOut; }
    // Flushes and closes the temporary file and renames it over the target;
    // the target gets the mode of the file it replaces, or the usual mode
    // of a new file. False, with a reason in err, when anything failed; the
    // temporary file is then removed.
    bool commit(std::string &err);
    // Drops what was written; the target stays as it was.
    void discard();

    const std::string &path() const { return cPath; }
    const std::string &tempPath() const { return cTemp; }

private:
    std::string cPath;
    std::string cTemp;
    std::ofstream cOut;
};

// Writes the whole file through a SafeFile.
bool writeFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes, std::string &err);
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &err);
