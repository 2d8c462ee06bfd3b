// The librarian's commands on an archive library. Members are named by the
// object file they were made from, exactly as given (directory part and case
// included), and every lookup compares that name exactly; the first member
// of a name is the one a command finds.
//
// A command that changes a library builds the whole new member list in
// memory and writes the library only when every step succeeded; the writer
// replaces the file by renaming a finished temporary file over it, so a
// failed run leaves the old library as it was. Such a command holds the
// library's lock from before it reads the library until the new one is in
// place, so concurrent runs on one library take their turns; it reads the
// library through the locked descriptor, and puts the new one in place
// only while the old one is still that file, unchanged (see LibraryLock).
// The member files are read before the lock is taken: one that makes its
// reader wait (a FIFO without a writer yet) holds up no other run. A
// library whose members would not read back is not written at all.
//
// "/t" prints one line per member:
//
//   Member: 'main.o'                   Size: 412    Date: Tue Mar  5 14:02:11 2024 

#include "archiver.h"

#include "archive.h"
#include "coff.h"
#include "debugsw.h"
#include "diag.h"
#include "librarylock.h"
#include "pathinfo.h"
#include "safefile.h"
#include "samefile.h"
#include "text.h"
#include "textio.h"

#include <ctime>
#include <deque>
#include <iostream>
#include <unordered_map>
#include <vector>

namespace {

// The position of the first member of each name.
std::unordered_map<std::string, size_t> firstByName(const Archive &ar)
{
    std::unordered_map<std::string, size_t> first;
    for (size_t i = 0; i < ar.cMembers.size(); ++i)
        first.emplace(ar.cMembers[i]->name(), i);
    return first;
}

// Reads one object file to be stored in a library. Besides the reader's
// own failures, any error counted while reading (such as an image in the
// foreign layout) refuses the file: the library must not keep a member that
// it cannot read back as it was.
std::unique_ptr<Coff> readObject(const std::string &name)
{
    uint32_t errors = errorCount();
    std::unique_ptr<Coff> obj = Coff::make(name);
    if (errorCount() != errors)
        return nullptr;
    return obj;
}

void notAMember(const std::string &op, const std::string &name, const std::string &library)
{
    report(SEV_ERROR, op, "'" + name + "' is not a member of library '" + library + "'.", false);
}

void notExtracted(const std::string &member, const std::string &library, const std::string &why)
{
    report(SEV_ERROR, "Archiver::cmdExtract()",
           "Member '" + escapeControlCharacters(member) + "' of library '" + library + "' is not extracted: " + why +
               ".",
           false);
}

// True when a member name read from a library may be used as the name of a
// file to create: a relative path that stays below the current directory
// (no leading separator, no drive letter, no ".." component) ending in an
// object-file name.
bool isSafeExtractName(const std::string &name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return isObjectFile(name);
}

// Why a walk of a member's name that refuses links refused it: a directory
// on its path is a link, or the file name is one already (the write would
// land on its target). Empty when neither.
std::string refusedLink(const std::string &name, const WalkedName &where)
{
    if (where.refusedLink.empty())
        return "";
    if (where.refusedLink == name)
        return "its file is a symbolic link";
    return "its directory '" + where.refusedLink + "' is a symbolic link";
}

// Why writing a member to the file of its name could leave the current
// directory through a symbolic link; empty when it could not.
std::string linkOnPath(const std::string &name, const FileCalls &calls)
{
    WalkedName where;
    std::string err;
    walkName(name, Links::Refuse, calls, where, err);
    return refusedLink(name, where);
}

// True when no member file is the library: writing the library would
// overwrite it while it is read.
bool librarySeparate(const std::string &op, const std::string &library, const std::list<std::string> &members)
{
    return checkOutputFiles(op, {library}, std::vector<std::string>(members.begin(), members.end()));
}

// True when no member file to be written is the library itself; each name
// is checked alone, as a name given twice is written twice.
bool extractsBesideLibrary(const std::string &library, const std::vector<std::string> &files)
{
    bool separate = true;
    for (const std::string &file : files)
        separate = checkOutputFiles("Archiver::cmdExtract()", {file}, {library}) && separate;
    return separate;
}

// False, after reporting, when the file system refused the library's lock.
bool lockTaken(const LibraryLock &lock, const std::string &op, const std::string &library)
{
    if (lock.refusal().empty())
        return true;
    report(SEV_ERROR, op, "Could not lock library file '" + library + "': " + lock.refusal() + ".", false);
    return false;
}

void reportReplaced(const std::string &op, const std::string &library)
{
    report(SEV_ERROR, op,
           "Library file '" + library +
               "' was replaced by another program during this run; that program's library is kept.",
           false);
}

// Reads the library through its lock: none after reporting why, also when
// another program changed it meanwhile.
std::unique_ptr<Archive> readLocked(const std::string &library, const LibraryLock &lock, const std::string &op)
{
    // A library that ends inside a member is not written back: the
    // members after the cut would be lost.
    std::unique_ptr<Archive> ar = Archive::make(library, lock.opener(), true);
    if (ar && !lock.unchanged()) {
        reportReplaced(op, library);
        return nullptr;
    }
    return ar;
}

// Writes the library while its lock is held, in the library's directory.
// It takes the old library's place only while that is still the locked
// file, unchanged: a library that another program put in its place or
// wrote meanwhile is kept, and this run fails.
bool writeLocked(const Archive &ar, LibraryLock &lock, const std::string &op, const FileCalls &calls,
                 const std::function<void()> &whileLocked)
{
    SafeFile file(calls);
    std::string err;
    lock.open(file, err);
    return ar.write(file, [&](SafeFile &finished, std::string &why) {
        if (whileLocked)
            whileLocked();
        bool replaced = false;
        if (lock.replace(finished, replaced, why))
            return true;
        if (replaced)
            reportReplaced(op, ar.name());
        return false;
    });
}

// Writes one member to the file of its name, walked again as it is
// written: a link met on the way now refuses it as the check before did.
bool extractMember(const Coff &member, const std::string &library, const FileCalls &calls)
{
    if (!isQuiet())
        std::cout << "Extracting member '" << escapeControlCharacters(member.name()) << "'.\n";
    WalkedName where;
    SafeFile file(calls);
    std::string err;
    if (walkName(member.name(), Links::Refuse, calls, where, err)) {
        file.openWalked(member.name(), where, err);
    } else if (!where.refusedLink.empty()) {
        notExtracted(member.name(), library, refusedLink(member.name(), where));
        return false;
    }
    return member.write(file);
}

} // namespace

bool Archiver::setCommand(uint8_t cmd, const std::string &archive, const std::list<std::string> &members,
                          std::string &)
{
    if (cHasCmd == 1)
        return false;
    cCmd = cmd;
    cArchive = archive;
    cMembers = members;
    cHasCmd = 1;
    return true;
}

bool Archiver::run()
{
    if (cHasCmd == 0)
        return false;
    switch (ArCommand(cCmd)) {
    case ArCommand::cmdCreate: return cmdCreate();
    case ArCommand::cmdList: return cmdList();
    case ArCommand::cmdDelete: return cmdDelete();
    case ArCommand::cmdReplace: return cmdReplace();
    case ArCommand::cmdExtract: return cmdExtract();
    }
    return false;
}

bool Archiver::cmdCreate()
{
    // Any old library of that name is replaced, never read. The member
    // files are read before the lock.
    if (!librarySeparate("Archiver::cmdCreate()", cArchive, cMembers))
        return false;
    Archive ar(cArchive);
    for (const auto &name : cMembers) {
        std::unique_ptr<Coff> obj = readObject(name);
        if (!obj)
            return false;
        ar.cMembers.push_back(std::move(obj));
    }
    if (debugLevel("Archiver::cmdCreate"))
        ar.print(std::cout);
    if (!ar.makeSymbols())
        return false;
    LibraryLock lock(cArchive, cLocker, cCalls);
    if (!lockTaken(lock, "Archiver::cmdCreate()", cArchive))
        return false;
    return writeLocked(ar, lock, "Archiver::cmdCreate()", cCalls, cWhileLocked);
}

bool Archiver::cmdList()
{
    std::unique_ptr<Archive> ar = Archive::make(cArchive);
    if (!ar)
        return false;
    if (isQuiet())
        return true;
    for (const auto &member : ar->cMembers) {
        // Control characters in a name are shown escaped, never sent to
        // the console as they are.
        std::string quoted = "'" + escapeControlCharacters(member->name()) + "'";
        if (quoted.size() < 25)
            quoted.append(25 - quoted.size(), ' ');
        std::string size = std::to_string(member->size());
        if (size.size() < 6)
            size.append(6 - size.size(), ' ');
        // The date text is empty when the stamp cannot be converted.
        std::string date = formatLocalTime(std::time_t(member->cFileHdr.f_timdat), "%a %b %e %H:%M:%S %Y");
        std::cout << "Member: " << quoted << "  Size: " << size << " Date: " << date << " \n";
    }
    return true;
}

bool Archiver::cmdDelete()
{
    LibraryLock lock(cArchive, cLocker, cCalls);
    if (!lockTaken(lock, "Archiver::cmdDelete()", cArchive))
        return false;
    std::unique_ptr<Archive> ar = readLocked(cArchive, lock, "Archiver::cmdDelete()");
    if (!ar)
        return false;

    // Each name deletes the first member of that name still in the list, so
    // a name given twice deletes the first two members of that name.
    std::unordered_map<std::string, std::deque<size_t>> byName;
    for (size_t i = 0; i < ar->cMembers.size(); ++i)
        byName[ar->cMembers[i]->name()].push_back(i);
    std::vector<bool> deleted(ar->cMembers.size(), false);
    bool allFound = true;
    for (const auto &name : cMembers) {
        auto it = byName.find(name);
        if (it == byName.end() || it->second.empty()) {
            notAMember("Archiver::cmdDelete()", name, cArchive);
            allFound = false;
            continue;
        }
        deleted[it->second.front()] = true;
        it->second.pop_front();
    }
    if (!allFound)
        return false;

    std::vector<std::unique_ptr<Coff>> kept;
    for (size_t i = 0; i < ar->cMembers.size(); ++i)
        if (!deleted[i])
            kept.push_back(std::move(ar->cMembers[i]));
    ar->cMembers = std::move(kept);
    if (!ar->makeSymbols())
        return false;
    return writeLocked(*ar, lock, "Archiver::cmdDelete()", cCalls, cWhileLocked);
}

bool Archiver::cmdReplace()
{
    // The library must exist: "add or replace" never creates one. The
    // member files are read first, before the lock.
    if (!librarySeparate("Archiver::cmdReplace()", cArchive, cMembers))
        return false;
    std::vector<std::unique_ptr<Coff>> objects;
    for (const auto &name : cMembers) {
        objects.push_back(readObject(name));
        if (!objects.back())
            return false;
    }
    LibraryLock lock(cArchive, cLocker, cCalls);
    if (!lockTaken(lock, "Archiver::cmdReplace()", cArchive))
        return false;
    std::unique_ptr<Archive> ar = readLocked(cArchive, lock, "Archiver::cmdReplace()");
    if (!ar)
        return false;

    std::unordered_map<std::string, size_t> first = firstByName(*ar);
    auto next = objects.begin();
    for (const auto &name : cMembers) {
        std::unique_ptr<Coff> obj = std::move(*next++);
        auto it = first.find(name);
        if (it != first.end()) {
            ar->cMembers[it->second] = std::move(obj);
        } else {
            first.emplace(name, ar->cMembers.size());
            ar->cMembers.push_back(std::move(obj));
        }
    }
    if (!ar->makeSymbols())
        return false;
    return writeLocked(*ar, lock, "Archiver::cmdReplace()", cCalls, cWhileLocked);
}

bool Archiver::cmdExtract()
{
    std::unique_ptr<Archive> ar = Archive::make(cArchive);
    if (!ar)
        return false;

    std::vector<const Coff *> chosen;
    if (!cMembers.empty()) {
        std::unordered_map<std::string, size_t> first = firstByName(*ar);
        bool allFound = true;
        for (const auto &name : cMembers) {
            if (!first.count(name)) {
                notAMember("Archiver::cmdExtract()", name, cArchive);
                allFound = false;
            }
        }
        if (!allFound)
            return false;
        for (const auto &name : cMembers)
            chosen.push_back(ar->cMembers[first[name]].get());
    } else {
        for (const auto &member : ar->cMembers)
            chosen.push_back(member.get());
    }

    // Every file name is checked before any file is written, and one that
    // is refused refuses the whole extraction. Without names the names come
    // from the library itself, so each must be a relative object-file path
    // that stays below the current directory; no name may lead out of it
    // through a symbolic link (checked here, and again as each is written).
    // A name with a control character is no file name to create, given or
    // not.
    bool allSafe = true;
    for (const Coff *member : chosen) {
        std::string why = hasControlCharacter(member->name()) ||
                                  (cMembers.empty() && !isSafeExtractName(member->name()))
                              ? "its name is not a relative object file name"
                              : linkOnPath(member->name(), cCalls);
        if (!why.empty()) {
            notExtracted(member->name(), cArchive, why);
            allSafe = false;
        }
    }
    std::vector<std::string> files;
    for (const Coff *member : chosen)
        files.push_back(member->name());
    if (!allSafe || !extractsBesideLibrary(cArchive, files))
        return false;
    for (const Coff *member : chosen)
        if (!extractMember(*member, cArchive, cCalls))
            return false;
    return true;
}

void Archiver::print(std::ostream &out) const
{
    static const char *const names[] = {"cmdCreate", "cmdList", "cmdDelete", "cmdReplace", "cmdExtract"};
    out << "Archiver:\n";
    out << "  cCmd=" << (cCmd <= 4 ? names[cCmd] : "undefined") << '\n';
    out << "  cArchive=" << cArchive << '\n';
    out << "  cMembers=\n";
    for (const auto &m : cMembers)
        out << "    " << m << '\n';
    out << "  cHasCmd=" << cHasCmd << '\n';
}
