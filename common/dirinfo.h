// DirInfo tests whether a directory exists.
#pragma once

#include <ostream>
#include <string>

class DirInfo
{
public:
    explicit DirInfo(const std::string &name);

    const std::string &name() const { return cName; }
    // True when the directory can be opened for listing.
    bool dirExists() const;
    // Debugging aid: the name and whether the directory exists.
    void print(std::ostream &out) const;

private:
    std::string cName;
};
