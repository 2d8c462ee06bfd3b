// The map-file writer. It reads only the finished output object: the
// section headers in section-number order and the symbol table. A sample:
//
//   TARVOK v2.20.00, Linker
//   Linker Map File - Created Wed Dec  9 08:30:34 2026
//
//                                    Section Info
//                     Section       Type    Address   Location Size(Bytes)
//                   ---------  ---------  ---------  ---------  ---------
//                       reset       code   0x000000    program   0x000002
//                      .cinit    romdata   0x000004    program   0x000010
//                   main_code       code   0x00000c    program   0x00000c
//                  main_idata      idata   0x0000b0       data   0x000002
//
//
//
//                                 Program Memory Usage
//                                  Start         End
//                              ---------   ---------
//                               0x000000    0x000000
//                               0x000004    0x000011
//               17 out of 1024 program addresses used, program memory utilization is 1%
//
// followed by the symbols, sorted by name and then by address:
//
//                        Name    Address   Location    Storage File
//                   ---------  ---------  ---------  --------- ---------
//                       start   0x00000c    program     extern main.asm

#include "mapfile.h"

#include "debugsw.h"
#include "diag.h"
#include "mgproc.h"
#include "safefile.h"
#include "text.h"
#include "textio.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

// A field of at least width characters, the text right-aligned (or
// left-aligned); longer texts are written whole, as printf's "%25s" does.
std::string right(const std::string &text, size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string left(const std::string &text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

bool isDataType(uint32_t type) { return type == SCNTYPE_IDATA || type == SCNTYPE_UDATA; }

// One row of the section and symbol tables: "%25s %10s %10s %10s <last>\n".
void row(std::ostream &out, const std::string &a, const std::string &b, const std::string &c, const std::string &d,
         const std::string &last)
{
    out << right(a, 25) << ' ' << right(b, 10) << ' ' << right(c, 10) << ' ' << right(d, 10) << ' ' << last
        << '\n';
}

void usageRow(std::ostream &out, const std::string &start, const std::string &end)
{
    out << std::string(26, ' ') << right(start, 10) << "  " << right(end, 10) << std::string(6, ' ') << '\n';
}

// Bytes per program address of the processor the output was linked for.
uint32_t bytesPerAddress(const Coff &output)
{
    ProcessorTypeWord word = ProcessorTypeWord(output.cOptHdr.proc_type & 0xFFFF);
    if (!proc_type_word_known(word))
        return 1;
    return (proc_rom_width(proc_from_type_word(word)) + 7) / 8;
}

void writeSections(std::ostream &out, const Coff &output, std::vector<SectionInfo> &program,
                   std::vector<SectionInfo> &data)
{
    for (const auto &[num, name] : output.cScnNum) {
        auto h = output.cScnHdr.find(name);
        if (h == output.cScnHdr.end())
            continue;
        const coff_scnhdr &hdr = h->second;
        uint8_t type = uint8_t(Coff::sectionType(hdr));
        SectionInfo info(name, hdr.s_paddr, hdr.s_size, isDataType(type) ? 1 : 0, type, Coff::isAbsolute(hdr),
                         Coff::isShared(hdr), Coff::isAccess(hdr));
        (info.cLocation ? data : program).push_back(info);
    }
    std::stable_sort(program.begin(), program.end(), [](auto &a, auto &b) { return lessByAddress(a, b); });
    std::stable_sort(data.begin(), data.end(), [](auto &a, auto &b) { return lessByAddress(a, b); });
    if (debugLevel("MapFile::write")) {
        for (const auto *list : {&program, &data})
            for (const SectionInfo &s : *list) {
                s.print(std::cout);
                std::cout << '\n';
            }
    }

    out << '\n' << std::string(33, ' ') << "Section Info\n";
    row(out, "Section", "Type", "Address", "Location", right("Size(Bytes)", 10));
    row(out, "---------", "---------", "---------", "---------", right("---------", 10));
    for (const auto *list : {&program, &data})
        for (const SectionInfo &s : *list)
            row(out, s.cName, scnTypeName(s.cType), hexString(s.cAddress, 3), locationName(s.cLocation),
                right(hexString(s.cSize, 3), 10));
    out << "\n\n";
}

void writeUsage(std::ostream &out, const Coff &output, const std::vector<SectionInfo> &program, uint64_t total)
{
    out << '\n' << std::string(30, ' ') << "Program Memory Usage \n";
    usageRow(out, "Start", "End");
    usageRow(out, "---------", "---------");

    uint32_t bpa = bytesPerAddress(output);
    uint64_t used = 0;
    bool open = false;
    uint32_t runStart = 0, runEnd = 0;
    for (const SectionInfo &s : program) {
        // Addresses a section takes, counted in full: a section of 64K
        // addresses or more (a large fill section) is not cut to 16 bits.
        uint32_t n = s.cSize / bpa + (s.cSize % bpa ? 1 : 0);
        used += n;
        if (n == 0)
            continue;
        if (open && uint32_t(runEnd + 1) == s.cAddress) {
            runEnd += n;
            continue;
        }
        if (open)
            usageRow(out, hexString(runStart, 3), hexString(runEnd, 3));
        open = true;
        runStart = s.cAddress;
        runEnd = s.cAddress + n - 1;
    }
    if (open)
        usageRow(out, hexString(runStart, 3), hexString(runEnd, 3));

    uint64_t percent = (total == 0 || used >= total) ? 100 : used * 100 / total;
    out << "            " << used << " out of " << total
        << " program addresses used, program memory utilization is " << percent << "%\n";
    out << "\n\n";
}

// Gathers the listed symbols: those in a section with storage class
// external, static or label, each with the source file that encloses it.
void gatherSymbols(const Coff &output, std::vector<SymbolInfo> &program, std::vector<SymbolInfo> &data)
{
    std::vector<std::string> files;
    const size_t count = output.cSymbols.size();
    for (size_t i = 0; i < count; ++i) {
        if (output.cAuxKind[i] != AUX_NONE)
            continue; // an auxiliary slot, read with its symbol
        const coff_syment &sym = output.cSymbols[i];
        bool hasAux = i + 1 < count && output.cAuxKind[i + 1] != AUX_NONE;
        std::string name = Coff::getName(sym, output.cStrTbl);
        if (name == ".file") {
            // A ".file" symbol without its entry still opens a file, so
            // that its ".eof" closes the right one.
            if (hasAux && output.cAuxKind[i + 1] == AUX_FILE)
                files.push_back(Coff::getName(auxOf<aux_file>(output.cSymbols[i + 1]), output.cStrTbl));
            else
                files.push_back("");
        } else if (name == ".eof") {
            if (!files.empty())
                files.pop_back();
        }
        if (sym.n_scnum >= 1 && (sym.n_sclass == C_EXT || sym.n_sclass == C_STAT || sym.n_sclass == C_LABEL)) {
            uint8_t location = 0;
            auto num = output.cScnNum.find(sym.n_scnum);
            if (num != output.cScnNum.end()) {
                auto hdr = output.cScnHdr.find(num->second);
                if (hdr != output.cScnHdr.end() && isDataType(Coff::sectionType(hdr->second)))
                    location = 1;
            }
            SymbolInfo info(name, sym.n_value, location, sym.n_sclass == C_EXT ? 0 : 1,
                            Coff::isFunction(sym) ? 0 : 1, files.empty() ? std::string() : files.back());
            (location ? data : program).push_back(info);
        }
    }
}

void dumpSymbols(const std::vector<SymbolInfo> &program, const std::vector<SymbolInfo> &data)
{
    if (!debugLevel("MapFile::write"))
        return;
    for (const auto *list : {&program, &data})
        for (const SymbolInfo &s : *list) {
            s.print(std::cout);
            std::cout << '\n';
        }
}

void writeSymbolTable(std::ostream &out, const char *title, const std::vector<SymbolInfo> &program,
                      const std::vector<SymbolInfo> &data)
{
    out << '\n' << std::string(30, ' ') << title << '\n';
    row(out, "Name", "Address", "Location", "Storage", left("File", 25));
    row(out, "---------", "---------", "---------", "---------", left("---------", 25));
    for (const auto *list : {&program, &data})
        for (const SymbolInfo &s : *list)
            row(out, s.cName, hexString(s.cAddress, 3), locationName(s.cLocation), storageName(s.cStorageClass),
                left(s.cFile, 25));
    out << "\n\n";
}

} // namespace

SectionInfo::SectionInfo(const std::string &name, uint32_t address, uint32_t size, uint8_t location, uint8_t type,
                         bool abs, bool shared, bool access)
    : cName(name), cAddress(address), cSize(size), cLocation(location), cType(type), cAbs(abs), cShared(shared),
      cAccess(access)
{
}

void SectionInfo::print(std::ostream &out) const
{
    static const char *types[] = {"unknown", "code", "idata", "udata", "romdata"};
    out << "SectionInfo:\n"
        << "cName=" << cName << '\n'
        << "cAddress=" << hexString(cAddress, 4) << '\n'
        << "cSize=" << hexString(cSize, 4) << '\n'
        << "cLocation=" << (cLocation == 0 ? "progMem" : cLocation == 1 ? "dataMem" : "error!") << '\n'
        << "cType=" << (cType <= 4 ? types[cType] : "error!") << '\n'
        << "cAbs=" << (cAbs ? "absolute" : "relocated") << '\n'
        << "cShared=" << (cShared ? "shared" : "not shared") << '\n'
        << "cAccess=" << (cAccess ? "access" : "not access") << '\n';
}

SymbolInfo::SymbolInfo(const std::string &name, uint32_t address, uint8_t location, uint8_t storageClass,
                       uint8_t kind, const std::string &file)
    : cName(name), cAddress(address), cLocation(location), cStorageClass(storageClass), cKind(kind), cFile(file)
{
}

void SymbolInfo::print(std::ostream &out) const
{
    out << "SymbolInfo: \n"
        << "cName=" << cName << '\n'
        << "cAddress=" << hexString(cAddress, 4) << '\n'
        << "cLocation=" << (cLocation == 0 ? "progMem" : cLocation == 1 ? "dataMem" : "error!") << '\n'
        << "cStorageClass=" << (cStorageClass == 0 ? "ext" : cStorageClass == 1 ? "stat" : "error!") << '\n'
        << "cKind=" << (cKind == 0 ? "function" : cKind == 1 ? "variable" : "error!") << '\n'
        << "cFile=" << cFile << '\n';
}

bool lessByAddress(const SectionInfo &a, const SectionInfo &b) { return a.cAddress < b.cAddress; }
bool lessByAddress(const SymbolInfo &a, const SymbolInfo &b) { return a.cAddress < b.cAddress; }
// std::string compares its characters as unsigned bytes.
bool lessByName(const SymbolInfo &a, const SymbolInfo &b) { return a.cName < b.cName; }

std::string scnTypeName(uint32_t type)
{
    static const char *names[] = {"unknown", "code", "idata", "udata", "romdata"};
    return type <= 4 ? names[type] : "";
}

std::string locationName(uint32_t location)
{
    return location == 0 ? "program" : location == 1 ? "data" : "";
}

std::string storageName(uint32_t storage)
{
    return storage == 0 ? "extern" : storage == 1 ? "static" : "";
}

bool MapFile::write(const std::string &name, const Coff &output, uint64_t totalProgramAddresses)
{
    SafeFile file;
    std::string err;
    if (!file.open(name, err)) {
        report(SEV_ERROR, "MapFile::write()", "Could not open map file '" + name + "' for writing.", false);
        return false;
    }
    std::ostream &out = file.stream();
    out << linkerBanner() << "\nLinker Map File - Created " << formatLocalTime("%a %b %e %H:%M:%S %Y") << '\n';

    std::vector<SectionInfo> programSections, dataSections;
    writeSections(out, output, programSections, dataSections);
    writeUsage(out, output, programSections, totalProgramAddresses);

    std::vector<SymbolInfo> program, data;
    gatherSymbols(output, program, data);
    std::stable_sort(program.begin(), program.end(), [](auto &a, auto &b) { return lessByName(a, b); });
    std::stable_sort(data.begin(), data.end(), [](auto &a, auto &b) { return lessByName(a, b); });
    dumpSymbols(program, data);
    writeSymbolTable(out, "Symbols - Sorted by Name", program, data);

    std::stable_sort(program.begin(), program.end(),
                     [](auto &a, auto &b) { return lessByAddress(a, b); });
    std::stable_sort(data.begin(), data.end(), [](auto &a, auto &b) { return lessByAddress(a, b); });
    dumpSymbols(program, data);
    writeSymbolTable(out, "Symbols - Sorted by Address", program, data);

    if (!file.commit(err)) {
        report(SEV_ERROR, "MapFile::write()", "Could not write map file '" + name + "': " + err + ".", false);
        return false;
    }
    return true;
}
