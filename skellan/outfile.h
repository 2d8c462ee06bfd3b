// An output file that appears whole or not at all: the text goes to a
// temporary file beside the final name, and commit() renames it into place.
// A file that is never committed is removed, so a failed run leaves any
// earlier file of that name untouched.
#pragma once

#include <cstdio>
#include <string>

class OutFile
{
public:
    explicit OutFile(const std::string &name);
    ~OutFile();
    OutFile(const OutFile &) = delete;
    OutFile &operator=(const OutFile &) = delete;

    const std::string &name() const { return cName; }
    // Creates the temporary file in the final name's directory; false when
    // that fails or when the final name is a directory.
    bool open();
    // Appends text; a failed write is remembered and reported by close().
    void write(const std::string &text);
    // Flushes and closes the temporary file; false when a write or the close
    // failed (the temporary file is then removed).
    bool close();
    // Closes the temporary file if still open and renames it to the final
    // name; false when that failed (the temporary file is then removed).
    bool commit();
    // Closes and removes the temporary file.
    void discard();

private:
    std::string cName;
    std::string cTempName;
    std::FILE *cFile = nullptr;
    bool cFailed = false;
};
