// Coff::make: reads an image, in this layout or the foreign one, from a file
// or from inside a larger file (an archive member). Every count and offset
// taken from the image is checked against the file's size, in 64-bit
// arithmetic, before anything is allocated or read.

#include "coff.h"

#include "bytes.h"
#include "diag.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <tuple>

namespace {

// Random access to the bytes of one image inside a file.
class ImageReader
{
public:
    ImageReader(std::istream &in, uint64_t start) : cIn(in), cStart(start)
    {
        cIn.clear();
        cIn.seekg(0, std::ios::end);
        std::streamoff end = cIn.tellg();
        cFileSize = end > 0 ? uint64_t(end) : 0;
        cIn.clear();
    }

    // True when n bytes at offset off of the image lie inside the file.
    bool fits(uint64_t off, uint64_t n) const
    {
        if (cStart > cFileSize || off > cFileSize - cStart)
            return false;
        return n <= cFileSize - cStart - off;
    }

    bool read(uint64_t off, uint64_t n, uint8_t *dst)
    {
        if (!fits(off, n))
            return false;
        if (n == 0)
            return true;
        cIn.clear();
        cIn.seekg(std::streamoff(cStart + off));
        cIn.read(reinterpret_cast<char *>(dst), std::streamsize(n));
        return uint64_t(cIn.gcount()) == n;
    }

private:
    std::istream &cIn;
    uint64_t cStart;
    uint64_t cFileSize;
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

// Replaces the section's contents with size zero bytes, built in place.
Data &freshData(std::map<std::string, Data> &rawData, const std::string &scn, uint32_t size)
{
    rawData.erase(scn);
    return rawData.emplace(std::piecewise_construct, std::forward_as_tuple(scn), std::forward_as_tuple(size))
        .first->second;
}

} // namespace

std::unique_ptr<Coff> Coff::make(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        report(SEV_ERROR, "Coff::make()", "Could not open Coff file '" + name + "' for reading.", false);
        return nullptr;
    }
    return make(in, 0, name);
}

std::unique_ptr<Coff> Coff::make(std::istream &in, uint64_t start, const std::string &name)
{
    bool readError = false;
    uint64_t budget = ZERO_FILL_LIMIT;
    std::unique_ptr<Coff> coff = read(in, start, name, readError, budget);
    // An image that drew an error while being read is not used: it would
    // otherwise be linked, stored or converted as if it were sound.
    if (readError)
        return nullptr;
    return coff;
}

std::unique_ptr<Coff> Coff::read(std::istream &in, uint64_t start, const std::string &name, bool &readError,
                                 uint64_t &zeroFillBudget)
{
    readError = false;
    ImageReader r(in, start);
    auto fail = [&](const std::string &what) {
        report(SEV_ERROR, "Coff::make()", "Coff file '" + name + "' " + what, false);
        return nullptr;
    };

    auto coff = std::make_unique<Coff>();
    coff->cName = name;
    uint8_t buf[SCNHDR_SIZE];

    // File and optional header.
    if (!r.read(0, FILEHDR_SIZE, buf))
        return fail("could not read file header.");
    coff->cFileHdr = unpackFileHdr(buf);
    const coff_filehdr &fh = coff->cFileHdr;
    if (fh.f_magic != COFF_MAGIC)
        return fail("does not appear to be a valid COFF file.");
    bool foreign = fh.f_opthdr != OPTHDR_SIZE;
    if (!foreign) {
        if (!r.read(FILEHDR_SIZE, OPTHDR_SIZE, buf))
            return fail("could not read optional file header.");
        coff->cOptHdr = unpackOptHdr(buf);
    } else {
        report(SEV_ERROR, "Coff::make()", "Coff file '" + name + "' missing optional file header.", false);
        readError = true;
    }

    // String table: right after the symbol table. An image without symbols
    // has it after its last area, or has none at all.
    uint64_t symBytes = SYMENT_SIZE * uint64_t(fh.f_nsyms);
    bool noSymbols = fh.f_nsyms == 0 && fh.f_symptr == 0;
    uint64_t strPos = noSymbols ? endOfAreas(r, fh, foreign) : uint64_t(fh.f_symptr) + symBytes;
    int64_t nextOffset = 4;
    uint8_t lenBytes[4];
    if (!r.read(strPos, 4, lenBytes)) {
        if (!noSymbols)
            return fail("could not read string table length.");
    } else {
        uint32_t length = getU32(lenBytes);
        uint64_t n = length > 4 ? length - 4 : 0;
        // Offsets are kept as signed 32-bit numbers.
        bool fits = length <= uint32_t(INT32_MAX) && r.fits(strPos + 4, n);
        if (!fits && !noSymbols)
            return fail("could not read string table.");
        if (fits && n > 0) {
            std::vector<uint8_t> strings(n);
            if (!r.read(strPos + 4, n, strings.data()))
                return fail("could not read string table.");
            nextOffset = parseStrTbl(strings.data(), strings.size(), coff->cStrTbl);
        }
    }

    // Symbol table: each symbol takes at most one auxiliary slot, and only
    // when its kind says one follows.
    if (!r.fits(fh.f_symptr, symBytes))
        return fail("could not read symbol table.");
    std::vector<uint8_t> symbols(symBytes);
    if (!r.read(fh.f_symptr, symBytes, symbols.data()))
        return fail("could not read symbol table.");
    coff->cSymbols.reserve(fh.f_nsyms);
    coff->cAuxKind.reserve(fh.f_nsyms);
    for (uint64_t i = 0; i < fh.f_nsyms; i++) {
        coff_syment sym = unpackSyment(&symbols[SYMENT_SIZE * i]);
        coff->cSymbols.push_back(sym);
        coff->cAuxKind.push_back(AUX_NONE);
        AuxKind kind = auxKind(sym);
        if (kind == AUX_NONE || i + 1 >= fh.f_nsyms)
            continue;
        i++;
        uint8_t *slot = &symbols[SYMENT_SIZE * i];
        if (foreign && kind == AUX_FILE) {
            // The foreign .file entry holds the name itself, NUL-terminated
            // within its 18 bytes when it is shorter.
            size_t len = 0;
            while (len < AUXENT_SIZE && slot[len] != 0)
                len++;
            std::string file(reinterpret_cast<const char *>(slot), len);
            if (nextOffset + int64_t(len) + 1 > INT32_MAX)
                return fail("could not read symbol table.");
            coff->cStrTbl[int32_t(nextOffset)] = file;
            aux_file aux;
            aux.x_offset = uint32_t(nextOffset);
            aux.x_incline = 0;
            packAux(slot, aux);
            nextOffset += int64_t(len) + 1;
        }
        coff->cSymbols.push_back(unpackSyment(slot));
        coff->cAuxKind.push_back(kind);
    }

    // Sections, with their raw data, line numbers and relocation entries.
    uint64_t zeroFill = std::min(zeroFillBudget, ZERO_FILL_LIMIT);
    uint64_t relSize = foreign ? GNU_RELOC_SIZE : RELOC_SIZE;
    uint64_t lineSize = foreign ? GNU_LINENO_SIZE : LINENO_SIZE;
    uint64_t hdrStart = FILEHDR_SIZE + uint64_t(fh.f_opthdr);
    std::vector<uint8_t> records;
    for (uint64_t i = 0; i < fh.f_nscns; i++) {
        if (!r.read(hdrStart + SCNHDR_SIZE * i, SCNHDR_SIZE, buf))
            return fail("could not read section header.");
        coff_scnhdr hdr = unpackScnHdr(buf);
        std::string scn = getName(hdr, coff->cStrTbl);
        coff->cScnHdr[scn] = hdr;
        coff->cScnNum[int32_t(i + 1)] = scn;
        if (hdr.s_size == 0)
            continue;

        if (hdr.s_scnptr != 0) {
            if (!r.fits(hdr.s_scnptr, hdr.s_size))
                return fail("could not read raw data.");
            Data &raw = freshData(coff->cRawData, scn, hdr.s_size);
            if (!r.read(hdr.s_scnptr, hdr.s_size, raw.data()))
                return fail("could not read raw data.");
        } else {
            // Zero fill has no bytes in the file to check against, so it is
            // bounded by a limit of its own.
            if (hdr.s_size > zeroFill)
                return fail("could not read raw data.");
            zeroFill -= hdr.s_size;
            zeroFillBudget -= hdr.s_size;
            freshData(coff->cRawData, scn, hdr.s_size);
        }

        uint64_t lineBytes = lineSize * hdr.s_nlnno;
        records.resize(lineBytes);
        if (!r.read(hdr.s_lnnoptr, lineBytes, records.data()))
            return fail("could not read line numbers.");
        if (hdr.s_nlnno > 0) {
            std::vector<coff_lineno> &lines = coff->cLineInfo[scn];
            uint32_t fcnndx = 0;
            for (uint64_t j = 0; j < hdr.s_nlnno; j++) {
                const uint8_t *p = &records[lineSize * j];
                if (!foreign) {
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
        }

        uint64_t relBytes = relSize * hdr.s_nreloc;
        records.resize(relBytes);
        if (!r.read(hdr.s_relptr, relBytes, records.data()))
            return fail("could not read relocation info.");
        if (hdr.s_nreloc > 0) {
            std::vector<reloc> &relocs = coff->cReloc[scn];
            for (uint64_t j = 0; j < hdr.s_nreloc; j++) {
                const uint8_t *p = &records[relSize * j];
                if (!foreign) {
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
        }
    }
    return coff;
}
