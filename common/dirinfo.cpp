// Directory existence test.

#include "dirinfo.h"

#include <dirent.h>

DirInfo::DirInfo(const std::string &name) : cName(name) {}

bool DirInfo::dirExists() const
{
    DIR *dir = opendir(cName.c_str());
    if (!dir)
        return false;
    closedir(dir);
    return true;
}

void DirInfo::print(std::ostream &out) const
{
    out << "name()='" << cName << "' \n";
    out << "dirExists()=" << (dirExists() ? 1 : 0) << '\n';
}
