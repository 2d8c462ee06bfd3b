// The librarian's command executor: holds the one command that the command
// line asked for and carries it out on an archive library.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <ostream>
#include <string>

#include "pathwalk.h"

// The command numbers that the parser hands over.
enum class ArCommand : uint8_t {
    cmdCreate = 0,
    cmdList = 1,
    cmdDelete = 2,
    cmdReplace = 3,
    cmdExtract = 4,
};

class Archiver
{
public:
    Archiver() = default;
    virtual ~Archiver() = default;

    // The parser's callback: stores the command, the library name and the
    // member names, once. A second call is refused and changes nothing.
    // The message text is left as it is.
    virtual bool setCommand(uint8_t cmd, const std::string &archive, const std::list<std::string> &members,
                            std::string &msg);

    // Carries out the stored command; false when there is none or it fails.
    bool run();

    bool cmdCreate();
    bool cmdList();
    bool cmdDelete();
    bool cmdReplace();
    bool cmdExtract();

    // Debug text of the stored command.
    void print(std::ostream &out) const;

    // A test's ways in: how the library's lock is taken (flock() when
    // none), what runs while a changing command holds the lock, right
    // before the new library is renamed into place, and the system calls
    // on the names of the library and of extracted members.
    int (*cLocker)(int fd, int operation) = nullptr;
    std::function<void()> cWhileLocked;
    FileCalls cCalls;

private:
    uint8_t cCmd = 0xFF; // no command yet
    std::string cArchive;
    std::list<std::string> cMembers;
    int32_t cHasCmd = 0;
};
