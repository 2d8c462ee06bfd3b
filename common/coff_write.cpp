// Coff layout and writing. An image is laid out as
//
//   file header (20) | optional header (16) | section headers (40 each)
//   | raw data | relocation entries (12 each) | line numbers (16 each)
//   | symbol table (18 each) | string table (length, then strings)
//
// with every per-section area in section-number order. preWrite stores the
// offsets and counts in the headers; write emits the areas in that order.

#include "coff.h"

#include "bytes.h"
#include "debugsw.h"
#include "diag.h"
#include "safefile.h"
#include "text.h"
#include "textio.h"

#include <iostream>
#include <set>

struct Coff::Layout
{
    uint64_t secHdrStart = FILEHDR_SIZE + OPTHDR_SIZE;
    uint64_t secHdrLength = 0;
    uint64_t rawDataStart = 0, rawDataLength = 0;
    uint64_t relocStart = 0, relocLength = 0;
    uint64_t lineStart = 0, lineLength = 0;
    uint64_t symbolStart = 0, symbolLength = 0;
    uint64_t stringStart = 0, stringLength = 0;
    uint64_t fileLength = 0;
};

namespace {

// The sections that an image holds, in number order, each name once.
std::vector<std::string> writtenSections(const Coff &c)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const auto &[num, name] : c.cScnNum)
        if (c.cScnHdr.count(name) && seen.insert(name).second)
            names.push_back(name);
    return names;
}

template <class Map> size_t countOf(const Map &map, const std::string &name)
{
    auto it = map.find(name);
    return it == map.end() ? 0 : it->second.size();
}

void printAreas(std::ostream &out, const uint64_t (&v)[12])
{
    static const char *const names[6][2] = {
        {"secHdrStart=", ", secHdrLength="}, {"rawDataStart=", ", rawDataLength="},
        {"relocStart=", ", relocLength="},   {"lineStart=", ", lineLength="},
        {"symbolStart=", ", symbolLength="}, {"stringStart=", ", stringLength="},
    };
    for (int i = 0; i < 6; i++)
        out << names[i][0] << hexString(uint32_t(v[2 * i]), 4) << names[i][1] << hexString(uint32_t(v[2 * i + 1]), 4)
            << "\n";
}

} // namespace

Coff::Layout Coff::layout() const
{
    Layout l;
    std::vector<std::string> names = writtenSections(*this);
    l.secHdrLength = SCNHDR_SIZE * uint64_t(names.size());
    l.rawDataStart = l.secHdrStart + l.secHdrLength;
    uint64_t relocs = 0, lines = 0;
    for (const std::string &name : names) {
        auto raw = cRawData.find(name);
        if (raw != cRawData.end() && !isUdata(cScnHdr.at(name)))
            l.rawDataLength += raw->second.size();
        relocs += countOf(cReloc, name);
        lines += countOf(cLineInfo, name);
    }
    l.relocStart = l.rawDataStart + l.rawDataLength;
    l.relocLength = RELOC_SIZE * relocs;
    l.lineStart = l.relocStart + l.relocLength;
    l.lineLength = LINENO_SIZE * lines;
    l.symbolStart = l.lineStart + l.lineLength;
    l.symbolLength = SYMENT_SIZE * uint64_t(cSymbols.size());
    l.stringStart = l.symbolStart + l.symbolLength;
    l.stringLength = strTblLength(cStrTbl);
    l.fileLength = l.stringStart + l.stringLength;
    return l;
}

void Coff::preWrite() { layOut(true); }

void Coff::layOut(bool stampTime)
{
    bool trace = debugLevel(registerDebugSwitch("Coff::preWrite"));
    Layout l = layout();
    if (trace) {
        std::cout << "Coff::preWrite\n";
        printAreas(std::cout, {l.secHdrStart, l.secHdrLength, l.rawDataStart, l.rawDataLength, l.relocStart,
                               l.relocLength, l.lineStart, l.lineLength, l.symbolStart, l.symbolLength,
                               l.stringStart, l.stringLength});
    }

    cFileHdr.f_nscns = uint16_t(cScnHdr.size());
    if (stampTime)
        cFileHdr.f_timdat = uint32_t(currentTime());
    cFileHdr.f_symptr = cSymbols.empty() ? 0 : uint32_t(l.symbolStart);
    cFileHdr.f_nsyms = uint32_t(cSymbols.size());

    uint64_t rawPtr = l.rawDataStart, relPtr = l.relocStart, linePtr = l.lineStart;
    std::set<std::string> seen;
    for (const auto &[num, name] : cScnNum) {
        auto hdrIt = cScnHdr.find(name);
        if (hdrIt == cScnHdr.end() || !seen.insert(name).second)
            continue;
        coff_scnhdr &h = hdrIt->second;
        bool udata = isUdata(h);
        uint32_t size = cRawData[name].size();
        h.s_size = size;
        h.s_scnptr = (size == 0 || udata) ? 0 : uint32_t(rawPtr);
        if (!udata)
            rawPtr += size;
        size_t n = cReloc[name].size();
        h.s_nreloc = uint16_t(n);
        h.s_relptr = n ? uint32_t(relPtr) : 0;
        relPtr += RELOC_SIZE * n;
        size_t m = cLineInfo[name].size();
        h.s_nlnno = uint16_t(m);
        h.s_lnnoptr = m ? uint32_t(linePtr) : 0;
        linePtr += LINENO_SIZE * m;
        if (trace) {
            std::cout << "scnNum=" << num << ", secName=" << name << "\n"
                      << "raw data: size=" << hexString(size, 4) << ", ptr=" << hexString(h.s_scnptr, 4) << "\n"
                      << "reloc: num=" << n << ", ptr=" << hexString(h.s_relptr, 4) << "\n"
                      << "line: num=" << m << ", ptr=" << hexString(h.s_lnnoptr, 4) << "\n";
        }
    }
    fixupAuxFcns();
    cFileHdr.f_magic = COFF_MAGIC;
}

uint32_t Coff::size() const
{
    Layout l = layout();
    if (debugLevel(registerDebugSwitch("Coff::size"))) {
        std::cout << "Coff::size\n";
        printAreas(std::cout, {l.secHdrStart, l.secHdrLength, l.rawDataStart, l.rawDataLength, l.relocStart,
                               l.relocLength, l.lineStart, l.lineLength, l.symbolStart, l.symbolLength,
                               l.stringStart, l.stringLength});
        std::cout << "fileLength=" << hexString(uint32_t(l.fileLength), 4) << "\n";
    }
    return uint32_t(l.fileLength);
}

uint64_t Coff::readBackZeroFill() const
{
    uint64_t total = 0;
    for (const std::string &name : writtenSections(*this)) {
        const coff_scnhdr &h = cScnHdr.at(name);
        if (isUdata(h) && sectionType(h) != SCNTYPE_UDATA)
            total += countOf(cRawData, name);
    }
    return total;
}

void Coff::fixupAuxFcns()
{
    bool trace = debugLevel(registerDebugSwitch("Coff::fixupAuxFcns"));
    for (size_t i = 0; i < cSymbols.size(); i++) {
        const coff_syment &sym = cSymbols[i];
        if (auxKind(sym) != AUX_FCN) {
            if (sym.n_numaux == 1)
                i++;
            continue;
        }
        size_t fcn = i++;
        // A function symbol in the last slot has no entry to fix up.
        if (i >= cSymbols.size())
            break;
        auto scn = cScnNum.find(sym.n_scnum);
        if (scn == cScnNum.end())
            continue;
        auto lines = cLineInfo.find(scn->second);
        auto hdr = cScnHdr.find(scn->second);
        if (lines == cLineInfo.end() || hdr == cScnHdr.end())
            continue;
        aux_fcn aux = auxOf<aux_fcn>(cSymbols[i]);
        uint32_t old = aux.x_lnnoptr;
        bool found = false;
        for (size_t pos = 0; pos < lines->second.size(); pos++) {
            const coff_lineno &l = lines->second[pos];
            // The last line of the function decides.
            if (isFunctionLine(l) && l.l_fcnndx == fcn) {
                aux.x_lnnoptr = uint32_t(hdr->second.s_lnnoptr + LINENO_SIZE * pos);
                found = true;
            }
        }
        if (!found)
            continue;
        setAux(cSymbols[i], aux);
        if (trace)
            std::cout << "Coff::fixupAuxFcns() - symbol '" << getName(cSymbols[fcn], cStrTbl) << "' in section '"
                      << scn->second << "'  from " << hexString(old, 4) << " to " << hexString(aux.x_lnnoptr, 4)
                      << "\n";
    }
}

bool Coff::hasCanonicalLayout() const
{
    Layout l = layout();
    const coff_filehdr &fh = cFileHdr;
    if (fh.f_magic != COFF_MAGIC || fh.f_opthdr != OPTHDR_SIZE || fh.f_nscns != cScnHdr.size() ||
        fh.f_nsyms != cSymbols.size() || fh.f_symptr != (cSymbols.empty() ? 0 : l.symbolStart))
        return false;
    uint64_t rawPtr = l.rawDataStart, relPtr = l.relocStart, linePtr = l.lineStart;
    for (const std::string &name : writtenSections(*this)) {
        const coff_scnhdr &h = cScnHdr.at(name);
        auto raw = cRawData.find(name);
        uint32_t size = raw == cRawData.end() ? 0 : raw->second.size();
        bool udata = isUdata(h);
        if (h.s_size != size || h.s_scnptr != ((size == 0 || udata) ? 0 : rawPtr))
            return false;
        if (!udata)
            rawPtr += size;
        size_t n = countOf(cReloc, name);
        if (h.s_nreloc != n || h.s_relptr != (n ? relPtr : 0))
            return false;
        relPtr += RELOC_SIZE * n;
        size_t m = countOf(cLineInfo, name);
        if (h.s_nlnno != m || h.s_lnnoptr != (m ? linePtr : 0))
            return false;
        linePtr += LINENO_SIZE * m;
    }
    return true;
}

bool Coff::write() const
{
    SafeFile file;
    std::string err;
    file.open(cName, err);
    return write(file);
}

bool Coff::write(SafeFile &file) const
{
    std::string err;
    if (!file.isOpen()) {
        report(SEV_ERROR, "Coff::write()", "Could not open Coff file '" + cName + "' for writing.", false);
        return false;
    }
    if (!write(file.stream(), 0))
        return false; // the old file, if any, stays as it was
    if (!file.commit(err)) {
        report(SEV_ERROR, "Coff::write()", "Coff file '" + cName + "' could not be saved: " + err + ".", false);
        return false;
    }
    return true;
}

bool Coff::write(std::ostream &out, uint64_t start, const std::string &library) const
{
    auto fail = [&](const std::string &what) {
        report(SEV_ERROR, "Coff::write()", "Coff file '" + cName + "' " + what, false);
        return false;
    };
    // An image names each section once, and its counts and offsets must
    // fit their fields; anything else would be written corrupt.
    if (writtenSections(*this).size() != cScnNum.size() || cScnNum.size() != cScnHdr.size() ||
        cScnHdr.size() > UINT16_MAX)
        return fail("could not write section header.");
    for (const auto &[num, name] : cScnNum) {
        if (countOf(cReloc, name) > UINT16_MAX)
            return fail("could not write reloc.");
        if (countOf(cLineInfo, name) > UINT16_MAX)
            return fail("could not write lineinfo.");
    }
    if (layout().fileLength > UINT32_MAX)
        return fail("could not write file header.");

    if (hasCanonicalLayout())
        return writeImage(out, start, library);
    // Read from another layout or not laid out since it was changed: write
    // a laid-out copy, keeping the time stamp.
    Coff copy(*this);
    copy.cFileHdr.f_opthdr = OPTHDR_SIZE;
    copy.layOut(false);
    return copy.writeImage(out, start, library);
}

bool Coff::writeImage(std::ostream &out, uint64_t start, const std::string &library) const
{
    auto fail = [&](const std::string &what) {
        if (library.empty())
            report(SEV_ERROR, "Coff::write()", "Coff file '" + cName + "' " + what, false);
        else
            report(SEV_ERROR, "Coff::write()",
                   "Could not write member '" + cName + "' in library file '" + library + "'. ", false);
        return false;
    };
    uint8_t buf[SCNHDR_SIZE];
    auto put = [&](size_t n) { return bool(out.write(reinterpret_cast<const char *>(buf), std::streamsize(n))); };

    out.seekp(std::streamoff(start));
    packFileHdr(buf, cFileHdr);
    if (!out || !put(FILEHDR_SIZE))
        return fail("could not write file header.");
    packOptHdr(buf, cOptHdr);
    if (!put(OPTHDR_SIZE))
        return fail("could not write optional file header.");
    for (const auto &[num, name] : cScnNum) {
        packScnHdr(buf, cScnHdr.at(name));
        if (!put(SCNHDR_SIZE))
            return fail("could not write section header.");
    }
    for (const auto &[num, name] : cScnNum) {
        auto raw = cRawData.find(name);
        if (isUdata(cScnHdr.at(name)) || raw == cRawData.end() || raw->second.size() == 0)
            continue;
        if (!out.write(reinterpret_cast<const char *>(raw->second.data()), raw->second.size()))
            return fail("could not write raw data.");
    }
    for (const auto &[num, name] : cScnNum) {
        auto relocs = cReloc.find(name);
        if (relocs == cReloc.end())
            continue;
        for (const reloc &r : relocs->second) {
            packReloc(buf, r);
            if (!put(RELOC_SIZE))
                return fail("could not write reloc.");
        }
    }
    for (const auto &[num, name] : cScnNum) {
        auto lines = cLineInfo.find(name);
        if (lines == cLineInfo.end())
            continue;
        for (const coff_lineno &l : lines->second) {
            packLineno(buf, l);
            if (!put(LINENO_SIZE))
                return fail("could not write lineinfo.");
        }
    }
    for (const coff_syment &s : cSymbols) {
        packSyment(buf, s);
        if (!put(SYMENT_SIZE))
            return fail("could not write symbol.");
    }
    putU32(buf, uint32_t(strTblLength(cStrTbl)));
    if (!put(4))
        return fail("could not write string table length.");
    for (const auto &[offset, text] : cStrTbl) {
        if (!out.write(text.c_str(), std::streamsize(text.size() + 1)))
            return fail("could not write string.");
    }
    return true;
}
