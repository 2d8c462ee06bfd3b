// Path splitting and file-name tests.

#include "pathinfo.h"

#include <unistd.h>

namespace {

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

bool validNamePart(const std::string &name) { return !name.empty() && isAsciiAlnum(name[0]); }

} // namespace

PathInfo::PathInfo(const std::string &path)
{
    size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':') {
        cDrive = path.substr(0, DRIVE_MAX);
        pos = 2;
    }

    size_t slash = path.find_last_of("/\\");
    size_t nameStart = pos;
    if (slash != std::string::npos && slash >= pos) {
        cDir = path.substr(pos, slash + 1 - pos);
        nameStart = slash + 1;
    }

    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && dot >= nameStart) {
        cFname = path.substr(nameStart, dot - nameStart);
        cExt = path.substr(dot);
    } else {
        cFname = path.substr(nameStart);
    }
}

std::string PathInfo::path() const { return cDrive + cDir; }
std::string PathInfo::name() const { return cFname + cExt; }
std::string PathInfo::baseName() const { return cFname; }
std::string PathInfo::ext() const { return cExt; }

std::string PathInfo::fullName() const { return (cDir.empty() ? std::string() : cDrive + cDir) + cFname + cExt; }

bool PathInfo::hasPath() const { return !cDir.empty(); }
bool PathInfo::hasName() const { return !cFname.empty(); }

bool PathInfo::pathExists() const { return hasPath() && DirInfo(path()).dirExists(); }

bool PathInfo::fileExists() const
{
    if (!hasName())
        return false;
    std::string file = hasPath() ? fullName() : name();
    return access(hostPath(file).c_str(), F_OK) == 0;
}

void PathInfo::print(std::ostream &out) const
{
    out << "path()='" << path() << "' \n";
    out << "name()='" << name() << "' \n";
    out << "ext()='" << ext() << "' \n";
    out << "fullName()='" << fullName() << "' \n";
    out << "hasName()=" << (hasName() ? 1 : 0) << '\n';
    out << "hasPath()=" << (hasPath() ? 1 : 0) << '\n';
    out << "pathExists()=" << (pathExists() ? 1 : 0) << '\n';
    out << "fileExists()=" << (fileExists() ? 1 : 0) << '\n';
}

std::string hostPath(const std::string &name)
{
    std::string path = name;
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

bool isValidFileName(const std::string &text) { return validNamePart(PathInfo(text).name()); }

bool isNumber(const std::string &text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool isObjectFile(const std::string &text)
{
    PathInfo info(text);
    std::string name = info.name();
    return name.size() > 2 && validNamePart(name) && equalsIgnoringCase(info.ext(), ".o");
}

bool isLibraryFile(const std::string &text)
{
    PathInfo info(text);
    std::string name = info.name();
    return name.size() > 4 && validNamePart(name) && equalsIgnoringCase(info.ext(), ".lib");
}
