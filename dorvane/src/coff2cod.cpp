// The conversion steps up to the symbols: the line map, the directory
// texts, the code blocks with their memory map, the source names and the
// short and long symbols.

#include "coff2cod.h"

#include "debugsw.h"
#include "diag.h"
#include "pathinfo.h"
#include "scnaddr.h"

#include <algorithm>
#include <cstring>
#include <iostream>

Cod *Coff2Cod::convert(const Coff &coff, int32_t pageLength, bool noListing)
{
    cCoff = &coff;
    cPageLength = pageLength;
    cLineCount = 0;
    // Every step below asks the processor table; an executable for a
    // processor it does not know goes no further.
    if (!selectProcessor(coff))
        return nullptr;
    buildLineMap(coff);
    fillDirectory(coff);
    if (!createRawDataAndMemoryMap(coff))
        return nullptr;
    createSourceNames(coff);
    createSymbols(coff);
    if (!noListing && !createListFile(coff))
        return nullptr;
    return this;
}

bool Coff2Cod::selectProcessor(const Coff &coff)
{
    ProcessorTypeWord word = ProcessorTypeWord(coff.cOptHdr.proc_type);
    if (!proc_type_word_known(word)) {
        report(SEV_ERROR, "Coff2Cod::convert()", "Unsupported processor type in file '" + coff.cName + "'", false);
        return false;
    }
    cProcessor = proc_from_type_word(word);
    cFamily = proc_family(cProcessor);
    cWordBytes = (proc_rom_width(cProcessor) + 7) / 8;
    return true;
}

bool Coff2Cod::hasAuxSlot(size_t index) const
{
    return index + 1 < cCoff->cSymbols.size() && index + 1 < cCoff->cAuxKind.size() &&
           cCoff->cAuxKind[index + 1] != AUX_NONE;
}

std::string Coff2Cod::sourceFileName(size_t fileSymbol) const
{
    if (!hasAuxSlot(fileSymbol) || cCoff->cAuxKind[fileSymbol + 1] != AUX_FILE)
        return std::string();
    return Coff::getName(auxOf<aux_file>(cCoff->cSymbols[fileSymbol + 1]), cCoff->cStrTbl);
}

uint32_t Coff2Cod::includeLine(size_t fileSymbol) const
{
    if (!hasAuxSlot(fileSymbol) || cCoff->cAuxKind[fileSymbol + 1] != AUX_FILE)
        return 0;
    return auxOf<aux_file>(cCoff->cSymbols[fileSymbol + 1]).x_incline;
}

void Coff2Cod::buildLineMap(const Coff &coff)
{
    for (const auto &[name, hdr] : coff.cScnHdr) {
        if (Coff::sectionType(hdr) != SCNTYPE_CODE)
            continue;
        auto lines = coff.cLineInfo.find(name);
        if (lines == coff.cLineInfo.end())
            continue;
        for (const coff_lineno &entry : lines->second)
            cLine[entry.l_srcndx][entry.l_lnno].push_back(LstLine(name, entry));
    }

    if (debugLevel("Coff2Cod::buildLineMap")) {
        std::cout << "Coff2Cod::buildLineMap() - Dumping contents of cLine: \n";
        for (const auto &[srcndx, byLine] : cLine)
            for (const auto &[line, list] : byLine)
                for (const LstLine &l : list)
                    std::cout << "   srcndx=" << srcndx << ",  linenum=" << line << ",  paddr=" << std::hex
                              << l.cEntry.l_paddr << std::dec << ",  secName=" << l.cSection << '\n';
    }
}

std::string Coff2Cod::codFileName(const std::string &coffName) { return PathInfo(coffName).baseName() + ".cod"; }

std::string Coff2Cod::listFileName(const std::string &coffName)
{
    PathInfo input(coffName);
    return input.path() + input.baseName() + ".lst";
}

void Coff2Cod::fillDirectory(const Coff &coff)
{
    addDirectory();
    Directory &dir = cDirectory[0];
    // The file is created under the whole name; the field keeps what fits.
    cFileName = codFileName(coff.cName);
    dir.setSource(cFileName);
    dir.setVersion(codConverterVersion());
    dir.setNotice(noticeBanner());
    dir.setProcessor(proc_name(cProcessor));
}

bool Coff2Cod::createRawDataAndMemoryMap(const Coff &coff)
{
    const uint32_t w = cWordBytes;
    if (cDirectory.empty())
        addDirectory();

    std::vector<ScnAddr> sections;
    for (const auto &[name, hdr] : coff.cScnHdr) {
        if (!coff.programData(name, hdr))
            continue;
        sections.push_back(ScnAddr(name, hdr.s_paddr));
    }
    std::stable_sort(sections.begin(), sections.end());

    if (debugLevel("Coff2Cod::createRawDataAndMemoryMap")) {
        std::cout << "Coff2Cod::createRawDataAndMemoryMap: \n";
        for (const ScnAddr &s : sections)
            std::cout << "  scnName=" << s.name << ", addr=" << std::hex << s.address << std::dec << '\n';
    }

    if (sections.empty()) {
        report(SEV_ERROR, "Coff2Cod::createRawDataAndMemoryMap()",
               "Coff file '" + coff.cName + "' must contain at least one 'code' or 'romdata' section.", false);
        return false;
    }

    for (const ScnAddr &s : sections) {
        const Data &raw = coff.cRawData.at(s.name);
        const uint8_t *bytes = raw.data();
        // Byte addresses in 64 bits: a word address times two may pass 4 GB.
        const uint64_t first = uint64_t(w) * s.address;
        const uint64_t end = first + raw.size();
        // A section that crosses a window boundary is split there, so every
        // byte lands in the window of its own address.
        for (uint64_t pos = first; pos < end;) {
            const uint64_t window = pos >> 16;
            const uint64_t pieceEnd = std::min(end, (window + 1) << 16);
            if (window + 1 > COD_MAX_BLOCKS) {
                report(SEV_ERROR, "Coff2Cod::createRawDataAndMemoryMap()",
                       "Section '" + s.name + "' of Coff file '" + coff.cName +
                           "' lies beyond the addresses a COD file can describe.",
                       false);
                return false;
            }
            while (window >= cDirectory.size())
                addDirectory();

            const uint32_t start = uint32_t(pos & 0xFFFF);
            const uint32_t last = uint32_t((pieceEnd - 1) & 0xFFFF);
            // The last byte is rounded up to the end of its program word.
            addMemoryMap(cMemoryMap[window], MemoryMap(uint16_t(start), uint16_t(last + (last + 1) % w)));

            std::map<uint16_t, Block> &blocks = cCodeBlock[window];
            const uint8_t *src = bytes + (pos - first);
            for (uint32_t key = start / COD_BLOCK_SIZE; key <= last / COD_BLOCK_SIZE; ++key) {
                uint32_t from = key == start / COD_BLOCK_SIZE ? start % COD_BLOCK_SIZE : 0;
                uint32_t to = key == last / COD_BLOCK_SIZE ? last % COD_BLOCK_SIZE : COD_BLOCK_SIZE - 1;
                std::memcpy(blocks[uint16_t(key)].data() + from, src, to - from + 1);
                src += to - from + 1;
            }
            pos = pieceEnd;
        }
    }
    return true;
}

void Coff2Cod::createSourceNames(const Coff &coff)
{
    for (size_t i = 0; i < coff.cSymbols.size(); i += hasAuxSlot(i) ? 2 : 1) {
        if (coff.cSymbols[i].n_sclass != C_FILE)
            continue;
        if (cSourceName.size() >= MAX_SOURCE_FILES) {
            if (!cTooManyFilesReported)
                report(SEV_WARNING, "Coff2Cod::createSourceNames()",
                       "Coff file '" + coff.cName + "' names more than " + std::to_string(MAX_SOURCE_FILES) +
                           " source files; the line tables describe only the first " +
                           std::to_string(MAX_SOURCE_FILES) + ".",
                       false);
            cTooManyFilesReported = true;
            continue;
        }
        cFileNum[uint32_t(i)] = uint8_t(cSourceName.size());
        // The table keeps what fits of a long name; the listing opens the
        // file under its whole name.
        addSourceName(cSourceName, SourceName(sourceFileName(i).substr(0, SourceName::MAX_LENGTH - 1)));
    }
}

void Coff2Cod::createSymbols(const Coff &coff)
{
    for (size_t i = 0; i < coff.cSymbols.size(); i += hasAuxSlot(i) ? 2 : 1) {
        const coff_syment &sym = coff.cSymbols[i];
        if (sym.n_sclass != C_EXT && sym.n_sclass != C_STAT && sym.n_sclass != C_LABEL)
            continue;
        if (sym.n_scnum < 1)
            continue;
        std::string name = Coff::getName(sym, coff.cStrTbl);
        uint8_t type = COD_TYPE_CONSTANT;
        auto scn = coff.cScnNum.find(sym.n_scnum);
        if (scn != coff.cScnNum.end()) {
            auto hdr = coff.cScnHdr.find(scn->second);
            if (hdr != coff.cScnHdr.end()) {
                SectionType t = Coff::sectionType(hdr->second);
                if (t == SCNTYPE_CODE || t == SCNTYPE_ROMDATA)
                    type = COD_TYPE_ADDRESS;
            }
        }
        addSymbol(cSymbol, Symbol(name.substr(0, Symbol::MAX_LENGTH), type, uint16_t(sym.n_value)));
        LongSymbol ls;
        ls.Name = name.substr(0, LongSymbol::MAX_LENGTH);
        ls.NameLen = uint8_t(ls.Name.size());
        ls.Type = type;
        ls.Value = sym.n_value;
        addLongSymbol(cLongSymbol, ls);
    }
}
