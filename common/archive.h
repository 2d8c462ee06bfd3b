// Archive: one library file in memory, its member objects in library order
// and an index from every external definition to the member holding it.
// The file is "!<arch>\n", then per member a 280-byte header and the
// member's image:
//
//   offset 0    name  (256)  "sub\a.o/" and blanks, no NUL
//   offset 256  date  (12)   f_timdat in decimal digits, NUL-padded
//   offset 268  size  (10)   image length in decimal digits, NUL-padded
//   offset 278  fmag  (2)    0x60 0x0A
//
// A '/' ends the name in the header, so a '/' inside a member's name (a
// directory part) is stored as '\' and read back as '/'.
#pragma once

#include "coff.h"

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class SafeFile;

class Archive
{
public:
    Archive() = default;
    explicit Archive(const std::string &name) : cName(name) {}
    // Copies the name and every member, then rebuilds the index.
    Archive(const Archive &other);
    // Appends copies of the other's members after its own and rebuilds the
    // index over all of them; the name becomes the other's.
    Archive &operator=(const Archive &other);

    // Reads a library; none after reporting why not. A file that is no
    // regular file is read only as far as its members reach, and refused
    // when that lies past FileBytes::STREAM_LIMIT. A library that ends
    // inside a member header is read up to that member, with a warning
    // that says where it ends; one about to be written back (rewriting) is
    // refused instead, and so, saying where it ends, is one whose member
    // image reaches past its end.
    static std::unique_ptr<Archive> make(const std::string &name, const FileOpener &open = openInput,
                                         bool rewriting = false);
    // Writes the library file named by cName (through a temporary file
    // renamed into place, so a failed write leaves the old library). A
    // library that fitsReader() refuses is not written at all.
    bool write() const;
    // Puts a finished library file in place; false, with a reason in err
    // or (err empty) after reporting why, leaves the file of that name as
    // it is.
    using Placer = std::function<bool(SafeFile &file, std::string &err)>;
    // The same into a file its caller opened (or tried to open: a file not
    // open is reported as one that could not be opened for writing); place,
    // when given, puts it in place instead of SafeFile::place().
    bool write(SafeFile &file, const Placer &place = {}) const;
    // Writes the library's bytes to a stream from its current position,
    // unless fitsReader() refuses it.
    bool write(std::ostream &out) const;
    // True when the library, once written, reads back: each member's image
    // fits the size field of its header, and the zero bytes the reader
    // would have to build for all members together fit one run's zero-fill
    // budget. Reports each reason why not.
    bool fitsReader() const;
    // Rebuilds the index; false (after reporting) when a symbol is defined
    // by two members, the first definition staying in the index.
    bool makeSymbols();
    bool hasSymbol(const std::string &symbol) const { return cSymbols.count(symbol) != 0; }
    // A copy of the member that defines the symbol; none when no member does.
    std::unique_ptr<Coff> copyMember(const std::string &symbol) const;
    void print(std::ostream &out) const;

    const std::string &name() const { return cName; }

    static constexpr size_t MAGIC_SIZE = 8;
    static constexpr size_t HEADER_SIZE = 280;
    static constexpr size_t NAME_FIELD = 256;
    static constexpr size_t MEMBER_NAME_MAX = 255;
    // The size field holds at most 9 digits.
    static constexpr uint32_t MEMBER_SIZE_LIMIT = 1000000000u;

    // The 280-byte member header for a member of that name, date and size.
    static std::vector<uint8_t> packHeader(const std::string &member, uint32_t date, uint32_t size);
    // The member name held in a header's name field.
    static std::string headerName(const uint8_t *header);

    std::string cName;
    std::vector<std::unique_ptr<Coff>> cMembers; // in library order, owned
    std::map<std::string, const Coff *> cSymbols; // external definition -> member

private:
    bool buildIndex(bool reportDuplicates);
    bool writeMembers(std::ostream &out) const;
    bool writeInto(SafeFile &file, const Placer &place) const;
};
