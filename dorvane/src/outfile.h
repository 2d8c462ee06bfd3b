// An output file that appears only when it is complete: the text or bytes
// go to a temporary file in the target's directory, which commit() renames
// over the target. A file that is never committed is removed, so a failed
// run leaves any earlier file of that name as it was.
#pragma once

#include <fstream>
#include <string>

class OutFile
{
public:
    // Opens the temporary file. A target that exists but may not be
    // written counts as a failure to open, as writing it in place would.
    OutFile(const std::string &target, std::ios::openmode mode);
    ~OutFile();
    OutFile(const OutFile &) = delete;
    OutFile &operator=(const OutFile &) = delete;

    bool isOpen() const { return cStream.is_open(); }
    std::ofstream &stream() { return cStream; }

    // Closes the temporary file and renames it over the target; false (and
    // the temporary file removed) when writing or renaming failed.
    bool commit();
    // Closes and removes the temporary file.
    void discard();

private:
    std::string cTarget;
    std::string cTemp;
    std::ofstream cStream;
};
