// Reading, indexing, writing and printing archive libraries.

#include "archive.h"

#include "debugsw.h"
#include "diag.h"
#include "safefile.h"
#include "text.h"

#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>

namespace {

const char MAGIC[] = "!<arch>\n";

} // namespace

Archive::Archive(const Archive &other) : cName(other.cName)
{
    for (const auto &m : other.cMembers)
        cMembers.push_back(std::make_unique<Coff>(*m));
    buildIndex(false);
}

Archive &Archive::operator=(const Archive &other)
{
    if (this == &other)
        return *this;
    cName = other.cName;
    for (const auto &m : other.cMembers)
        cMembers.push_back(std::make_unique<Coff>(*m));
    buildIndex(false);
    return *this;
}

std::vector<uint8_t> Archive::packHeader(const std::string &member, uint32_t date, uint32_t size)
{
    std::vector<uint8_t> h(HEADER_SIZE, 0);
    std::string name = member.substr(0, MEMBER_NAME_MAX);
    for (char &c : name)
        if (c == '/')
            c = '\\';
    name += '/';
    std::memset(h.data(), ' ', NAME_FIELD);
    std::memcpy(h.data(), name.data(), name.size());
    std::string d = std::to_string(date);
    std::memcpy(h.data() + 256, d.data(), d.size()); // at most 10 digits of 12
    std::string s = std::to_string(size);
    std::memcpy(h.data() + 268, s.data(), s.size()); // at most 9 digits of 10
    h[278] = 0x60;
    h[279] = 0x0A;
    return h;
}

std::string Archive::headerName(const uint8_t *header)
{
    size_t n = 0;
    while (n < NAME_FIELD && header[n] != 0 && header[n] != '/')
        n++;
    std::string name(reinterpret_cast<const char *>(header), n);
    for (char &c : name)
        if (c == '\\')
            c = '/';
    return name;
}

std::unique_ptr<Archive> Archive::make(const std::string &name, const FileOpener &open, bool rewriting)
{
    auto fail = [](const std::string &message) {
        report(SEV_ERROR, "Archive::make()", message, false);
        return nullptr;
    };
    // The file is read into memory (a large one or a stream as its members
    // need it) and the members parsed there.
    FileBytes bytes;
    if (!bytes.read(name, open))
        return fail("Could not open library file '" + name + "' for reading.");
    const std::string overLimit = "Library file '" + name + "' " + FileBytes::overLimitText();

    auto archive = std::make_unique<Archive>(name);
    if (!bytes.load(0, MAGIC_SIZE))
        return fail("Could not read archive magic string in library file '" + name + "'.");
    if (std::memcmp(bytes.data(), MAGIC, MAGIC_SIZE) != 0)
        return fail("File '" + name + "' is not a valid library file.");

    // Where a library that was cut short (or is still being written) ends:
    // after its size in bytes, inside the header or the image of a member.
    auto endsInside = [&](const std::string &where) {
        return "Library file '" + name + "' ends after " + std::to_string(bytes.size()) + " bytes, inside " +
               where + "; ";
    };
    uint64_t offset = MAGIC_SIZE;
    // The members end where no whole header is left.
    while (bytes.load(offset, HEADER_SIZE)) {
        std::string member = headerName(bytes.data() + offset);
        if (!bytes.load(offset + HEADER_SIZE, 1))
            return fail(bytes.overLimit() ? overLimit
                                          : "Library file '" + name + "' has a missing member object file.");
        bool readError = false;
        bool ranShort = false;
        std::unique_ptr<Coff> coff = Coff::read(bytes, offset + HEADER_SIZE, member, readError, true, &ranShort);
        if (bytes.overLimit())
            return fail(overLimit);
        if (!coff || readError) {
            fail("Could not build member '" + escapeControlCharacters(member) + "' in library file '" + name +
                 "'. ");
            // A library that would be written back says where it ends.
            if (ranShort && rewriting)
                fail(endsInside("its member " + std::to_string(archive->cMembers.size() + 1) + " '" +
                                escapeControlCharacters(member) + "', whose header starts at byte " +
                                std::to_string(offset)) +
                     "it is not written back.");
            return nullptr;
        }
        offset += HEADER_SIZE + uint64_t(coff->size());
        archive->cMembers.push_back(std::move(coff));
    }
    // A stream whose next header lies past the limit.
    if (bytes.overLimit())
        return fail(overLimit);
    // Bytes left that make no whole header: the members before them are
    // read as the whole library, but a command that writes the library
    // back would drop what it could not read.
    if (offset < bytes.size()) {
        std::string where = endsInside("the header of its member " + std::to_string(archive->cMembers.size() + 1) +
                                       ", which starts at byte " + std::to_string(offset));
        if (rewriting)
            return fail(where + "it is not written back.");
        report(SEV_WARNING, "Archive::make()", where + "only the members before it are read.", false);
    }
    archive->makeSymbols();
    return archive;
}

bool Archive::fitsReader() const
{
    auto refuse = [&](const std::string &why) {
        report(SEV_ERROR, "Archive::write()", "Library file '" + cName + "' is not written: " + why, false);
    };
    bool fits = true;
    uint64_t zeroFill = 0;
    for (const auto &m : cMembers) {
        uint32_t size = m->size();
        if (size >= MEMBER_SIZE_LIMIT) {
            refuse("member '" + m->cName + "' is " + std::to_string(size) + " bytes long, more than the " +
                   std::to_string(MEMBER_SIZE_LIMIT - 1) + " bytes a member header can give.");
            fits = false;
        }
        zeroFill += m->readBackZeroFill();
    }
    if (zeroFill > Data::ZERO_FILL_BUDGET) {
        refuse("its members would read back with " + std::to_string(zeroFill) +
               " bytes of zero fill in sections that are not uninitialised data, more than the " +
               std::to_string(Data::ZERO_FILL_BUDGET) + " bytes a run builds.");
        fits = false;
    }
    return fits;
}

bool Archive::write(std::ostream &out) const { return fitsReader() && writeMembers(out); }

bool Archive::writeMembers(std::ostream &out) const
{
    auto fail = [&](const std::string &message) {
        report(SEV_ERROR, "Archive::write()", message, false);
        return false;
    };
    std::streamoff base = out.tellp();
    if (!out.write(MAGIC, MAGIC_SIZE))
        return fail("Could not write archive magic string in library file '" + cName + "'. ");
    uint64_t offset = uint64_t(base > 0 ? base : 0) + MAGIC_SIZE;
    for (const auto &m : cMembers) {
        uint32_t size = m->size();
        if (size >= MEMBER_SIZE_LIMIT)
            return fail("Could not write member header for '" + m->cName + "' in library file '" + cName + "'. ");
        std::vector<uint8_t> header = packHeader(m->cName, m->cFileHdr.f_timdat, size);
        if (!out.write(reinterpret_cast<const char *>(header.data()), HEADER_SIZE))
            return fail("Could not write member header for '" + m->cName + "' in library file '" + cName + "'. ");
        offset += HEADER_SIZE;
        if (!m->write(out, offset, cName))
            return false;
        offset += size;
    }
    return true;
}

bool Archive::write() const
{
    if (!fitsReader())
        return false;
    SafeFile file;
    std::string err;
    file.open(cName, err);
    return writeInto(file, {});
}

bool Archive::write(SafeFile &file, const Placer &place) const { return fitsReader() && writeInto(file, place); }

bool Archive::writeInto(SafeFile &file, const Placer &place) const
{
    if (!file.isOpen()) {
        report(SEV_ERROR, "Archive::write()", "Could not open library file '" + cName + "' for writing.", false);
        return false;
    }
    if (!writeMembers(file.stream()))
        return false; // the old library stays as it was
    std::string err;
    bool placed = file.finish(err) && (place ? place(file, err) : file.place(err));
    if (!placed && !err.empty())
        report(SEV_ERROR, "Archive::write()", "Library file '" + cName + "' could not be saved: " + err + ".", false);
    return placed;
}

bool Archive::makeSymbols()
{
    bool ok = buildIndex(true);
    if (debugLevel(registerDebugSwitch("Archive::makeSymbols"))) {
        std::cout << "  Symbols: \n";
        for (const auto &[symbol, member] : cSymbols)
            std::cout << "    " << std::setw(15) << std::right << ("'" + symbol + "'") << " -> " << member->cName
                      << "\n";
        std::cout << "\n";
    }
    return ok;
}

bool Archive::buildIndex(bool reportDuplicates)
{
    cSymbols.clear();
    bool ok = true;
    for (const auto &m : cMembers) {
        for (size_t i = 0; i < m->cSymbols.size(); i++) {
            if (i < m->cAuxKind.size() && m->cAuxKind[i] != AUX_NONE)
                continue;
            const coff_syment &s = m->cSymbols[i];
            if (!Coff::isExternalDef(s))
                continue;
            std::string symbol = Coff::getName(s, m->cStrTbl);
            if (cSymbols.count(symbol)) {
                if (reportDuplicates)
                    report(SEV_ERROR, "Archive::makeSymbols()",
                           "Symbol '" + symbol + "' has multiple external definitions.", false);
                ok = false;
                continue;
            }
            cSymbols[symbol] = m.get();
        }
    }
    return ok;
}

std::unique_ptr<Coff> Archive::copyMember(const std::string &symbol) const
{
    auto it = cSymbols.find(symbol);
    if (it == cSymbols.end())
        return nullptr;
    return std::make_unique<Coff>(*it->second);
}

void Archive::print(std::ostream &out) const
{
    out << "Archive: \n"
        << "  Symbols: \n";
    for (const auto &[symbol, member] : cSymbols)
        out << "    '" << symbol << "' -> " << member->cName << "\n";
    out << "  Members: \n";
    for (size_t i = 0; i < cMembers.size(); i++) {
        out << "    Member[" << i << "] = ";
        cMembers[i]->print(out);
    }
}
