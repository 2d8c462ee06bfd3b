// Coff::make: reads an image, in this layout or the foreign one, from a file
// or from inside a larger file (an archive member). Every count and offset
// taken from the image is checked against the file's size, in 64-bit
// arithmetic, before anything is allocated or read.

#include "coff.h"

#include "bytes.h"
#include "diag.h"
#include "text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Random access to the bytes of one image inside a file held in memory,
// or read by FileBytes piece by piece as the image needs them.
class ImageReader
{
public:
    ImageReader(const uint8_t *file, uint64_t fileSize, uint64_t start)
        : cFile(file), cStart(start), cFileSize(fileSize)
    {
    }
    // The file's size is asked for at each step: a file cut short while it
    // is read ends where its bytes did.
    ImageReader(FileBytes &file, uint64_t start) : cStart(start), cPieces(&file) {}

    // True when n bytes at offset off of the image lie inside the file.
    bool fits(uint64_t off, uint64_t n) const
    {
        if (cPieces)
            return off <= UINT64_MAX - cStart && cPieces->fits(cStart + off, n);
        if (cStart > cFileSize || off > cFileSize - cStart)
            return false;
        return n <= cFileSize - cStart - off;
    }

    // True when n bytes at offset off of the image fit and could be read:
    // at() may then be used on them.
    bool load(uint64_t off, uint64_t n) const
    {
        if (cPieces)
            return off <= UINT64_MAX - cStart && cPieces->load(cStart + off, n);
        return fits(off, n);
    }

    bool read(uint64_t off, uint64_t n, uint8_t *dst) const
    {
        if (!load(off, n))
            return false;
        if (n > 0)
            std::memcpy(dst, at(off), n);
        return true;
    }

    // The bytes at offset off, which must have been loaded.
    const uint8_t *at(uint64_t off) const { return (cPieces ? cPieces->data() : cFile) + cStart + off; }
    // True when a stream would have had to be read past its limit.
    bool overLimit() const { return cPieces && cPieces->overLimit(); }

private:
    const uint8_t *cFile = nullptr;
    uint64_t cStart;
    uint64_t cFileSize = 0;
    FileBytes *cPieces = nullptr;
};

// Where the last area that the section headers describe ends; an image
// without a symbol table keeps its string table there.
uint64_t endOfAreas(ImageReader &r, const coff_filehdr &fh, bool foreign)
{
    uint64_t relSize = foreign ? GNU_RELOC_SIZE : RELOC_SIZE;
    uint64_t lineSize = foreign ? GNU_LINENO_SIZE : LINENO_SIZE;
    uint64_t hdrStart = FILEHDR_SIZE + uint64_t(fh.f_opthdr);
    uint64_t end = hdrStart + SCNHDR_SIZE * uint64_t(fh.f_nscns);
    uint8_t buf[SCNHDR_SIZE];
    for (uint64_t i = 0; i < fh.f_nscns; i++) {
        if (!r.read(hdrStart + SCNHDR_SIZE * i, SCNHDR_SIZE, buf))
            break;
        coff_scnhdr h = unpackScnHdr(buf);
        if (h.s_scnptr)
            end = std::max(end, uint64_t(h.s_scnptr) + h.s_size);
        if (h.s_relptr && h.s_nreloc)
            end = std::max(end, uint64_t(h.s_relptr) + relSize * h.s_nreloc);
        if (h.s_lnnoptr && h.s_nlnno)
            end = std::max(end, uint64_t(h.s_lnnoptr) + lineSize * h.s_nlnno);
    }
    return end;
}

// Reads the stream from offset start to its end into bytes (none when the
// stream ends before start).
void readRest(std::istream &in, uint64_t start, std::vector<uint8_t> &bytes)
{
    bytes.clear();
    in.clear();
    in.seekg(0, std::ios::end);
    std::streamoff end = in.tellg();
    in.clear();
    if (end <= 0 || uint64_t(end) <= start)
        return;
    in.seekg(std::streamoff(start));
    bytes.resize(uint64_t(end) - start);
    in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()));
    // A file that reads short is parsed as far as it could be read.
    bytes.resize(in.gcount() > 0 ? uint64_t(in.gcount()) : 0);
    in.clear();
}

std::unique_ptr<Coff> makeFromFile(const std::string &name, bool tables, const FileOpener &open)
{
    // One buffer serves every file a program reads.
    static FileBytes bytes;
    if (!bytes.read(name, open)) {
        report(SEV_ERROR, "Coff::make()", "Could not open Coff file '" + name + "' for reading.", false);
        return nullptr;
    }
    bool readError = false;
    std::unique_ptr<Coff> coff = Coff::read(bytes, 0, name, readError, tables);
    if (bytes.overLimit()) {
        report(SEV_ERROR, "Coff::make()", "Coff file '" + name + "' " + FileBytes::overLimitText(), false);
        return nullptr;
    }
    if (readError)
        return nullptr;
    return coff;
}

} // namespace

std::unique_ptr<Coff> Coff::make(const std::string &name, const FileOpener &open)
{
    return makeFromFile(name, true, open);
}

std::unique_ptr<Coff> Coff::makeSections(const std::string &name, const FileOpener &open)
{
    return makeFromFile(name, false, open);
}

std::unique_ptr<Coff> Coff::make(std::istream &in, uint64_t start, const std::string &name)
{
    bool readError = false;
    std::unique_ptr<Coff> coff = read(in, start, name, readError);
    // An image that drew an error while being read is not used: it would
    // otherwise be linked, stored or converted as if it were sound.
    if (readError)
        return nullptr;
    return coff;
}

std::unique_ptr<Coff> Coff::read(std::istream &in, uint64_t start, const std::string &name, bool &readError)
{
    std::vector<uint8_t> bytes;
    readRest(in, start, bytes);
    return read(bytes.data(), bytes.size(), 0, name, readError);
}

namespace {

// Reads one image into a Coff in steps: the headers, the string table, the
// symbol table, then section by section the raw data, line numbers and
// relocation entries. A step that cannot read what it needs reports it and
// returns false, and the reader returns no image.
class ImageParser
{
public:
    ImageParser(const ImageReader &reader, Coff &coff, bool tables, bool &readError)
        : cReader(reader), cCoff(coff), cTables(tables), cReadError(readError)
    {
    }

    bool headers();
    bool stringTable();
    bool symbolTable();
    bool sections();
    // True when a step failed because the image reaches past the end of
    // its file.
    bool ranShort() const { return cShort; }

private:
    // Reports that a step could not read what it needs: the image reaches
    // past the end of its file.
    bool fail(const std::string &what);
    // Reports an image that is refused for what it holds.
    bool refuse(const std::string &what);
    // False, after reporting the first two, when areas that the section
    // headers describe share bytes.
    bool distinctAreas();
    std::string sectionLabel(const coff_scnhdr &hdr, uint64_t index) const;
    bool section(uint64_t index);
    bool rawData(const coff_scnhdr &hdr, const std::string &scn);
    bool lineNumbers(const coff_scnhdr &hdr, const std::string &scn);
    bool relocations(const coff_scnhdr &hdr, const std::string &scn);
    bool sectionTable(uint64_t ptr, uint64_t bytes, const std::string &failure, const uint8_t *&records);
    // The foreign layout's file-name entry: its name moves into the string
    // table and the slot becomes one of this layout's.
    bool foreignFileName(uint8_t *slot);

    ImageReader cReader;
    Coff &cCoff;
    const bool cTables;
    bool &cReadError;
    bool cForeign = false;
    bool cShort = false;
    int64_t cNextOffset = 4; // the string-table offset after the last string
};

bool ImageParser::fail(const std::string &what)
{
    cShort = true;
    return refuse(what);
}

bool ImageParser::refuse(const std::string &what)
{
    // A stream read up to its limit is refused by the caller, which names
    // the limit instead of the step that wanted more.
    if (cReader.overLimit())
        return false;
    // A member name read from a library may hold control characters.
    report(SEV_ERROR, "Coff::make()", "Coff file '" + escapeControlCharacters(cCoff.cName) + "' " + what, false);
    return false;
}

bool ImageParser::headers()
{
    // The file header, and the optional header that only this layout has.
    uint8_t buf[FILEHDR_SIZE];
    if (!cReader.read(0, FILEHDR_SIZE, buf))
        return fail("could not read file header.");
    cCoff.cFileHdr = unpackFileHdr(buf);
    const coff_filehdr &fh = cCoff.cFileHdr;
    if (fh.f_magic != COFF_MAGIC)
        return refuse("does not appear to be a valid COFF file.");
    cForeign = fh.f_opthdr != OPTHDR_SIZE;
    if (cForeign) {
        // Read on all the same, but counted as an error.
        refuse("missing optional file header.");
        cReadError = true;
        return true;
    }
    if (!cReader.read(FILEHDR_SIZE, OPTHDR_SIZE, buf))
        return fail("could not read optional file header.");
    cCoff.cOptHdr = unpackOptHdr(buf);
    return true;
}

bool ImageParser::stringTable()
{
    // Right after the symbol table. An image without symbols has it after
    // its last area, or has none at all.
    const coff_filehdr &fh = cCoff.cFileHdr;
    uint64_t symBytes = SYMENT_SIZE * uint64_t(fh.f_nsyms);
    bool noSymbols = fh.f_nsyms == 0 && fh.f_symptr == 0;
    uint64_t strPos = noSymbols ? endOfAreas(cReader, fh, cForeign) : uint64_t(fh.f_symptr) + symBytes;
    uint8_t lenBytes[4];
    if (!cReader.read(strPos, 4, lenBytes)) {
        if (!noSymbols)
            return fail("could not read string table length.");
        return true;
    }
    uint32_t length = getU32(lenBytes);
    uint64_t n = length > 4 ? length - 4 : 0;
    // Offsets are kept as signed 32-bit numbers.
    bool fits = length <= uint32_t(INT32_MAX) && cReader.load(strPos + 4, n);
    if (!fits && !noSymbols)
        return fail("could not read string table.");
    if (fits && n > 0)
        cNextOffset = parseStrTbl(cReader.at(strPos + 4), n, cCoff.cStrTbl);
    return true;
}

bool ImageParser::symbolTable()
{
    // Each symbol takes at most one auxiliary slot, and only when its kind
    // says one follows.
    const coff_filehdr &fh = cCoff.cFileHdr;
    uint64_t symBytes = SYMENT_SIZE * uint64_t(fh.f_nsyms);
    // The foreign layout keeps its file names in the symbol table; they
    // become strings, so its symbols are always read.
    uint64_t symbolCount = cTables || cForeign ? fh.f_nsyms : 0;
    if (!cReader.fits(fh.f_symptr, symBytes) || !cReader.load(fh.f_symptr, SYMENT_SIZE * symbolCount))
        return fail("could not read symbol table.");
    const uint8_t *symbols = cReader.at(fh.f_symptr);
    cCoff.cSymbols.reserve(symbolCount);
    cCoff.cAuxKind.reserve(symbolCount);
    for (uint64_t i = 0; i < symbolCount; i++) {
        coff_syment sym = unpackSyment(&symbols[SYMENT_SIZE * i]);
        cCoff.cSymbols.push_back(sym);
        cCoff.cAuxKind.push_back(AUX_NONE);
        AuxKind kind = Coff::auxKind(sym);
        if (kind == AUX_NONE || i + 1 >= symbolCount)
            continue;
        i++;
        uint8_t slot[SYMENT_SIZE];
        std::memcpy(slot, &symbols[SYMENT_SIZE * i], SYMENT_SIZE);
        if (cForeign && kind == AUX_FILE && !foreignFileName(slot))
            return refuse("could not read symbol table.");
        cCoff.cSymbols.push_back(unpackSyment(slot));
        cCoff.cAuxKind.push_back(kind);
    }
    return true;
}

bool ImageParser::foreignFileName(uint8_t *slot)
{
    // The name is NUL-terminated within the slot's 18 bytes when it is
    // shorter. False when the string table would pass its offset range.
    size_t len = 0;
    while (len < AUXENT_SIZE && slot[len] != 0)
        len++;
    std::string file(reinterpret_cast<const char *>(slot), len);
    if (cNextOffset + int64_t(len) + 1 > INT32_MAX)
        return false;
    cCoff.cStrTbl[int32_t(cNextOffset)] = file;
    aux_file aux;
    aux.x_offset = uint32_t(cNextOffset);
    aux.x_incline = 0;
    packAux(slot, aux);
    cNextOffset += int64_t(len) + 1;
    return true;
}

// One area of the image that a section header describes.
struct Area
{
    uint64_t begin;
    uint64_t end; // past its last byte
    uint32_t section; // index in the header table
    const char *what;
};

std::string ImageParser::sectionLabel(const coff_scnhdr &hdr, uint64_t index) const
{
    // A name missing from the string table ends the run once the section
    // itself is read; here the section is named by its number instead.
    if (hdr.hasLongName() && !cCoff.cStrTbl.count(int32_t(hdr._s_offset())))
        return "section " + std::to_string(index + 1);
    return "section '" + Coff::getName(hdr, cCoff.cStrTbl) + "'";
}

bool ImageParser::distinctAreas()
{
    // The raw data, relocation entries and line numbers of a sound image
    // each have bytes of their own: an image whose headers point at one
    // block more than once would have that block copied once per use.
    // Areas that do not lie inside the file are left to the step that
    // reads them. One sort by start finds two that overlap, if any do.
    const coff_filehdr &fh = cCoff.cFileHdr;
    const uint64_t relSize = cForeign ? GNU_RELOC_SIZE : RELOC_SIZE;
    const uint64_t lineSize = cForeign ? GNU_LINENO_SIZE : LINENO_SIZE;
    const uint64_t hdrStart = FILEHDR_SIZE + uint64_t(fh.f_opthdr);
    std::vector<coff_scnhdr> headers;
    std::vector<Area> areas;
    uint8_t buf[SCNHDR_SIZE];
    for (uint64_t i = 0; i < fh.f_nscns && cReader.read(hdrStart + SCNHDR_SIZE * i, SCNHDR_SIZE, buf); i++) {
        headers.push_back(unpackScnHdr(buf));
        const coff_scnhdr &h = headers.back();
        if (h.s_size == 0)
            continue; // nothing of it is read
        auto add = [&](uint64_t begin, uint64_t length, const char *what) {
            if (length > 0 && cReader.fits(begin, length))
                areas.push_back(Area{begin, begin + length, uint32_t(i), what});
        };
        if (h.s_scnptr != 0)
            add(h.s_scnptr, h.s_size, "raw data");
        add(h.s_relptr, relSize * h.s_nreloc, "relocation entries");
        add(h.s_lnnoptr, lineSize * h.s_nlnno, "line numbers");
    }
    // Areas that start together stay in header order.
    std::stable_sort(areas.begin(), areas.end(), [](const Area &a, const Area &b) { return a.begin < b.begin; });
    const Area *reach = nullptr; // the area reaching furthest so far
    for (const Area &area : areas) {
        if (reach && area.begin < reach->end) {
            return refuse("has overlapping areas: the " + std::string(reach->what) + " of " +
                        sectionLabel(headers[reach->section], reach->section) + " and the " + area.what + " of " +
                        sectionLabel(headers[area.section], area.section) + " share the bytes from offset " +
                        std::to_string(area.begin) + ".");
        }
        if (!reach || area.end > reach->end)
            reach = &area;
    }
    return true;
}

bool ImageParser::sections()
{
    if (!distinctAreas())
        return false;
    for (uint64_t i = 0; i < cCoff.cFileHdr.f_nscns; i++)
        if (!section(i))
            return false;
    return true;
}

bool ImageParser::section(uint64_t index)
{
    // The header, then, for a section with a size, its contents and tables.
    uint8_t buf[SCNHDR_SIZE];
    uint64_t hdrStart = FILEHDR_SIZE + uint64_t(cCoff.cFileHdr.f_opthdr);
    if (!cReader.read(hdrStart + SCNHDR_SIZE * index, SCNHDR_SIZE, buf))
        return fail("could not read section header.");
    coff_scnhdr hdr = unpackScnHdr(buf);
    std::string scn = Coff::getName(hdr, cCoff.cStrTbl);
    cCoff.cScnHdr[scn] = hdr;
    cCoff.cScnNum[int32_t(index + 1)] = scn;
    if (hdr.s_size == 0)
        return true;
    return rawData(hdr, scn) && lineNumbers(hdr, scn) && relocations(hdr, scn);
}

bool ImageParser::rawData(const coff_scnhdr &hdr, const std::string &scn)
{
    if (hdr.s_scnptr != 0) {
        if (!cReader.load(hdr.s_scnptr, hdr.s_size))
            return fail("could not read raw data.");
        cCoff.cRawData.erase(scn);
        cCoff.cRawData.emplace(scn, Data(hdr.s_size, cReader.at(hdr.s_scnptr)));
        return true;
    }
    // Zero fill has no bytes in the file to check against. Uninitialised
    // data keeps only its size: nothing reads its bytes. Any other section
    // gets them built, within what the run may build.
    Data zeros = Data::zeroFill(hdr.s_size);
    if (Coff::sectionType(hdr) != SCNTYPE_UDATA && !zeros.fill())
        return refuse("could not read raw data.");
    cCoff.cRawData.erase(scn);
    cCoff.cRawData.emplace(scn, std::move(zeros));
    return true;
}

// The records of a section's line-number or relocation table: checked
// against the file even when they are not kept; records is null when
// there are none to keep.
bool ImageParser::sectionTable(uint64_t ptr, uint64_t bytes, const std::string &failure, const uint8_t *&records)
{
    records = nullptr;
    if (!cReader.fits(ptr, bytes))
        return fail(failure);
    if (!cTables || bytes == 0)
        return true;
    if (!cReader.load(ptr, bytes))
        return fail(failure);
    records = cReader.at(ptr);
    return true;
}

bool ImageParser::lineNumbers(const coff_scnhdr &hdr, const std::string &scn)
{
    uint64_t lineSize = cForeign ? GNU_LINENO_SIZE : LINENO_SIZE;
    const uint8_t *records;
    if (!sectionTable(hdr.s_lnnoptr, lineSize * hdr.s_nlnno, "could not read line numbers.", records))
        return false;
    if (!records)
        return true;
    std::vector<coff_lineno> &lines = cCoff.cLineInfo[scn];
    lines.reserve(lines.size() + hdr.s_nlnno);
    uint32_t fcnndx = 0;
    for (uint64_t j = 0; j < hdr.s_nlnno; j++) {
        const uint8_t *p = &records[lineSize * j];
        if (!cForeign) {
            lines.push_back(unpackLineno(p));
            continue;
        }
        gnu_lineno g = unpackGnuLineno(p);
        if (g.l_lnno == 0) {
            fcnndx = g.l_addr; // the function whose lines follow
            continue;
        }
        coff_lineno l;
        l.l_srcndx = 0;
        l.l_lnno = g.l_lnno;
        l.l_paddr = g.l_addr;
        l.l_flags = 1;
        l.l_fcnndx = fcnndx;
        lines.push_back(l);
    }
    return true;
}

bool ImageParser::relocations(const coff_scnhdr &hdr, const std::string &scn)
{
    uint64_t relSize = cForeign ? GNU_RELOC_SIZE : RELOC_SIZE;
    const uint8_t *records;
    if (!sectionTable(hdr.s_relptr, relSize * hdr.s_nreloc, "could not read relocation info.", records))
        return false;
    if (!records)
        return true;
    std::vector<reloc> &relocs = cCoff.cReloc[scn];
    relocs.reserve(relocs.size() + hdr.s_nreloc);
    for (uint64_t j = 0; j < hdr.s_nreloc; j++) {
        const uint8_t *p = &records[relSize * j];
        if (!cForeign) {
            relocs.push_back(unpackReloc(p));
            continue;
        }
        gnu_reloc g = unpackGnuReloc(p);
        reloc rel;
        rel.r_vaddr = g.r_vaddr;
        rel.r_symndx = g.r_symndx;
        rel.r_offset = 0;
        rel.r_type = 4; // the low byte: the foreign type field is not used
        relocs.push_back(rel);
    }
    return true;
}

} // namespace

namespace {

std::unique_ptr<Coff> readImage(const ImageReader &reader, const std::string &name, bool &readError, bool tables,
                                bool *ranShort = nullptr)
{
    readError = false;
    auto coff = std::make_unique<Coff>();
    coff->cName = name;
    ImageParser parser(reader, *coff, tables, readError);
    // The string table comes before the symbols: the foreign layout's file
    // names are added after its last string.
    bool read = parser.headers() && parser.stringTable() && parser.symbolTable() && parser.sections();
    if (ranShort)
        *ranShort = !read && parser.ranShort();
    if (!read)
        return nullptr;
    return coff;
}

} // namespace

std::unique_ptr<Coff> Coff::read(const uint8_t *file, uint64_t fileSize, uint64_t start, const std::string &name,
                                 bool &readError, bool tables)
{
    return readImage(ImageReader(file, fileSize, start), name, readError, tables);
}

std::unique_ptr<Coff> Coff::read(FileBytes &file, uint64_t start, const std::string &name, bool &readError,
                                 bool tables, bool *ranShort)
{
    return readImage(ImageReader(file, start), name, readError, tables, ranShort);
}
