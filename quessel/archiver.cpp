// The librarian's commands on an archive library.

#include "archiver.h"

#include "diag.h"

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

// The commands work on libraries through the archive reader and writer,
// which this build does not have yet: each one refuses openly.
namespace {
bool notYet(const std::string &op)
{
    report(SEV_ERROR, op + "()", "This command is not available yet.", false);
    return false;
}
} // namespace

bool Archiver::cmdCreate() { return notYet("Archiver::cmdCreate"); }
bool Archiver::cmdList() { return notYet("Archiver::cmdList"); }
bool Archiver::cmdDelete() { return notYet("Archiver::cmdDelete"); }
bool Archiver::cmdReplace() { return notYet("Archiver::cmdReplace"); }
bool Archiver::cmdExtract() { return notYet("Archiver::cmdExtract"); }
