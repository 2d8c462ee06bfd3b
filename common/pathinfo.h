// PathInfo splits a path once into drive, directory, file name and
// extension and answers the questions the programs ask of file names: the
// output name's base, whether a directory part was given, whether the file
// exists. The free functions classify names by their extension.
//
// '\' separates directories as '/' does, wherever a name is split and
// wherever it is opened or searched: hostPath() gives the name the system
// opens, with every '\' turned into '/'.
#pragma once

#include "dirinfo.h"

#include <ostream>
#include <string>

class PathInfo
{
public:
    // The drive is the first two characters when the second is ':'; the
    // directory runs up to the last '/' or '\'; the extension starts at the
    // last '.' of the rest. Nothing is normalised, and every part is kept
    // whole, however long: a name is searched and opened as it was given.
    explicit PathInfo(const std::string &path);

    static const size_t DRIVE_MAX = 2;

    std::string path() const;     // drive + directory
    std::string name() const;     // file name + extension
    std::string baseName() const; // file name without extension
    std::string ext() const;      // extension, dot included
    // The path back, except that a drive without a directory is dropped.
    std::string fullName() const;

    bool hasPath() const; // a directory was given (a drive alone does not count)
    bool hasName() const; // the file name without extension is not empty
    bool pathExists() const;
    // hasName(), and the file exists: fullName() when hasPath(), else name(),
    // opened as hostPath() gives it.
    bool fileExists() const;

    // Debugging aid: the parts and answers, one per line.
    void print(std::ostream &out) const;

private:
    std::string cDrive;
    std::string cDir;
    std::string cFname;
    std::string cExt;
};

// The name as the system opens it: every '\' becomes '/'. So a command
// file written with '\' separators works as written, and a file whose own
// name holds '\' cannot be named.
std::string hostPath(const std::string &name);

// The name part is not empty and begins with an ASCII letter or digit.
bool isValidFileName(const std::string &text);
// Not empty and nothing but decimal digits.
bool isNumber(const std::string &text);
// A name part of more than 2 characters, beginning with an ASCII letter or
// digit, with extension ".o" in either case.
bool isObjectFile(const std::string &text);
// A name part of more than 4 characters, beginning with an ASCII letter or
// digit, with extension ".lib" in any case.
bool isLibraryFile(const std::string &text);
