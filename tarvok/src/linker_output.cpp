// Builds the output object of the link from the placed, relocated and
// patched inputs, in this order: section numbers, symbol table, section
// contents (with the program-memory images of initialised data and the
// ".cinit" table), line numbers, long image names, section headers, file
// header, and the fill sections for unused program memory. Each step reads
// what the earlier ones left in cOutput. The output is an absolute
// executable: it has no relocation entries. Last, the executable and the
// map file are written.

#include "linker.h"

#include "bytes.h"
#include "debugsw.h"
#include "diag.h"
#include "mapfile.h"
#include "mginst.h"
#include "mgproc.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>

namespace {

const std::string FILL_PREFIX = ".fill_";

// A table of one RETLW word per byte, each word carrying its byte as the
// literal: how 12- and 14-bit program memory holds data.
Data retlwTable(const Data &bytes, DeviceFamily family)
{
    Data table(2 * bytes.size());
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        uint16_t word = 0;
        inst_put_opcode(word, MN_RETLW, family);
        inst_put_operand0(word, bytes.data()[i], family);
        putU16(table.data() + 2 * i, word);
    }
    return table;
}

// The value of one hexadecimal digit; a character that is none counts 0.
uint16_t hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return uint16_t(c - '0');
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return uint16_t(c - 'a' + 10);
    return 0;
}

// The 16-bit pattern values of a hexadecimal FILL value "0x..." (digits
// padded on the left to whole groups of four, as the command file does).
std::vector<uint16_t> hexFillPattern(const std::string &text)
{
    std::string digits = text.substr(2);
    if (digits.size() % 4)
        digits.insert(0, 4 - digits.size() % 4, '0');
    std::vector<uint16_t> pattern;
    for (size_t i = 0; i < digits.size(); i += 4)
        pattern.push_back(uint16_t(hexDigit(digits[i]) << 12 | hexDigit(digits[i + 1]) << 8 |
                                   hexDigit(digits[i + 2]) << 4 | hexDigit(digits[i + 3])));
    return pattern;
}

} // namespace

uint64_t Linker::codePageSize() const
{
    uint64_t total = 0;
    for (const Memory &m : cCodePage)
        total += uint64_t(m.getEnd()) - m.getStart() + 1;
    return total;
}

// ---------------------------------------------------------------------------
// Section numbers and the symbol table

bool Linker::buildOutputScnNum(std::string &err)
{
    // Fills cOutput.cScnNum: every input section in order of first
    // appearance, each idata section directly followed by its image, then
    // ".cinit" and, with a STACK directive, ".stack".
    (void)err;
    bool trace = debugLevel("Linker::buildOutputScnNum");
    std::set<std::string> numbered;
    auto number = [&](const std::string &name) {
        if (!numbered.insert(name).second)
            return;
        int32_t num = int32_t(numbered.size());
        cOutput.cScnNum[num] = name;
        if (trace)
            std::cout << "Linker::buildOutputScnNum() - cOutput.cScnNum[" << num << "]='" << name << "'\n";
    };
    for (const auto &coff : cCoff)
        for (const auto &[num, name] : coff->cScnNum) {
            if (numbered.count(name))
                continue;
            number(name);
            if (cScnType.at(name) == SCNTYPE_IDATA)
                number(romImageName(name));
        }
    number(cCinitName);
    if (cStackDeclared)
        number(cStackName);
    return true;
}

bool Linker::buildOutputSymbolTbl(std::string &err)
{
    // Appends the symbol slots of every input, in cCoff order, to cOutput;
    // section numbers become output numbers and symbol indexes in the
    // auxiliary entries move by the input's first output slot, which
    // cOutputSymMap records per input.
    (void)err;
    if (cStrip)
        return true;
    std::map<std::string, int32_t> outputNumber;
    for (const auto &[num, name] : cOutput.cScnNum)
        outputNumber.emplace(name, num);

    bool trace = debugLevel("Linker::buildOutputSymbolTbl");
    uint32_t base = 0;
    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        const Coff &coff = *cCoff[input];
        cOutputSymMap[input] = base;
        const size_t count = coff.cSymbols.size();
        for (size_t i = 0; i < count; ++i) {
            coff_syment sym = coff.cSymbols[i];
            if (coff.cAuxKind[i] != AUX_NONE) {
                // An auxiliary slot the reader found without its symbol:
                // carried as it is.
                cOutput.cSymbols.push_back(sym);
                cOutput.cAuxKind.push_back(coff.cAuxKind[i]);
                continue;
            }
            if (sym.n_scnum >= 1) {
                auto name = coff.cScnNum.find(sym.n_scnum);
                if (name != coff.cScnNum.end()) {
                    int16_t now = int16_t(outputNumber.at(name->second));
                    if (trace)
                        std::cout << "Linker::buildOutputSymbolTbl() -  file '" << coff.cName << "', symbol[" << i
                                  << "] n_scnum from " << sym.n_scnum << " to " << now << '\n';
                    sym.n_scnum = now;
                }
            }
            cOutput.cSymbols.push_back(sym);
            cOutput.cAuxKind.push_back(AUX_NONE);
            // The symbol's auxiliary slot is the one the reader recorded.
            if (i + 1 < count && coff.cAuxKind[i + 1] != AUX_NONE) {
                ++i;
                cOutput.cSymbols.push_back(rebaseAux(coff.cSymbols[i], coff.cAuxKind[i], base, trace ? int(i) : -1));
                cOutput.cAuxKind.push_back(coff.cAuxKind[i]);
            }
        }
        base += uint32_t(count);
    }
    return true;
}

coff_syment Linker::rebaseAux(const coff_syment &slot, int32_t kind, uint32_t base, int traceIndex)
{
    // Adds base to the symbol indexes that an auxiliary entry of this kind
    // holds; traceIndex >= 0 prints the change.
    coff_syment out = slot;
    auto trace = [&](const std::string &text) {
        if (traceIndex >= 0)
            std::cout << "symbol[" << traceIndex << "]" << text << '\n';
    };
    auto move = [&](uint32_t from) { return std::to_string(from) + " to " + std::to_string(uint32_t(from + base)); };
    switch (kind) {
    case AUX_TAG: {
        aux_tag a = auxOf<aux_tag>(slot);
        trace("- aux_tag x_endndx from " + move(a.x_endndx));
        a.x_endndx += base;
        setAux(out, a);
        break;
    }
    case AUX_EOS: {
        aux_eos a = auxOf<aux_eos>(slot);
        trace("- aux_eos x_tagndx from " + move(a.x_tagndx));
        a.x_tagndx += base;
        setAux(out, a);
        break;
    }
    case AUX_FCN: {
        aux_fcn a = auxOf<aux_fcn>(slot);
        trace("- aux_fcn x_tagndx from " + move(a.x_tagndx) + ", x_endndx from " + move(a.x_endndx));
        a.x_tagndx += base;
        a.x_endndx += base;
        setAux(out, a);
        break;
    }
    case AUX_ARR: {
        aux_arr a = auxOf<aux_arr>(slot);
        trace("- aux_arr x_tagndx from " + move(a.x_tagndx));
        a.x_tagndx += base;
        setAux(out, a);
        break;
    }
    case AUX_BOBF: {
        aux_bobf a = auxOf<aux_bobf>(slot);
        trace("- aux_bobf x_endndx from " + move(a.x_endndx));
        a.x_endndx += base;
        setAux(out, a);
        break;
    }
    case AUX_VAR: {
        aux_var a = auxOf<aux_var>(slot);
        trace("- aux_var x_tagndx from " + move(a.x_tagndx));
        a.x_tagndx += base;
        setAux(out, a);
        break;
    }
    default:
        trace(" no x_tagndx or x_endndx to update");
        break;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Section contents, line numbers and long image names

bool Linker::buildOutputRawData(std::string &err)
{
    // Fills cOutput.cRawData: every section's buffer with each input's part
    // where the allocation placed it, the "_i" images, ".cinit" and
    // ".stack". Uninitialised data (".stack" too) is zero fill: it is never
    // written, so it takes no memory.
    (void)err;
    bool trace = debugLevel("Linker::buildOutputRawData");
    for (const auto &[name, size] : cScnSize)
        cOutput.cRawData[name] = cScnType.at(name) == SCNTYPE_UDATA ? Data::zeroFill(size) : Data(size);

    for (uint32_t input = 0; input < cCoff.size(); ++input) {
        const Coff &coff = *cCoff[input];
        for (const auto &[num, name] : coff.cScnNum) {
            if (cScnType.at(name) == SCNTYPE_UDATA)
                continue;
            auto raw = coff.cRawData.find(name);
            if (raw == coff.cRawData.end() || raw->second.size() == 0)
                continue;
            const Memory &mem = *cScnMem.at(name);
            uint32_t allocStart = mem.getScnStart(name);
            uint32_t loadStart = mem.getLoadStart(input, name);
            uint64_t startByte = uint64_t(bytesPerWord(mem.getType())) * (loadStart - allocStart);
            Data &out = cOutput.cRawData.at(name);
            if (trace) {
                std::cout << "Linker::buildOutputRawData() - input file '" << coff.cName << "', section '" << name
                          << "' \n   allocStart=" << allocStart << " loadStart=" << loadStart
                          << " startByte=" << startByte << " size=" << mem.getLoadSize(input, name) << '\n';
                std::cout << "  input raw data: \n";
                raw->second.print(std::cout);
                std::cout << "  output raw data before: \n";
                out.print(std::cout);
            }
            // The part's own bytes: an absolute part's load length is its
            // whole range, which may be longer than the part (overlay parts
            // of different sizes, odd lengths in 2-byte locations). Section
            // loading made sure every part lies inside the buffer; the copy
            // is bounded by it all the same.
            uint64_t n = raw->second.size();
            if (startByte >= out.size())
                n = 0;
            else
                n = std::min<uint64_t>(n, out.size() - startByte);
            std::copy_n(raw->second.data(), n, out.data() + startByte);
            if (trace) {
                std::cout << "  output raw data after: \n";
                out.print(std::cout);
            }
        }
    }

    for (const auto &[name, size] : cScnSize) {
        if (cScnType.at(name) != SCNTYPE_IDATA)
            continue;
        const Data &data = cOutput.cRawData.at(name);
        uint64_t romSize = wordsToBytes(size);
        if (trace)
            std::cout << "Linker::buildOutputRawData() - init section '" << name << "', initSize=" << romSize
                      << " size=" << size << '\n';
        cOutput.cRawData[romImageName(name)] = romSize != size ? retlwTable(data, cFamily) : data;
    }

    uint64_t romSize = wordsToBytes(cCinitTbl.size());
    if (trace)
        std::cout << "Linker::buildOutputRawData() - init table section '" << cCinitName << "', romSize=" << romSize
                  << " size=" << cCinitTbl.size() << '\n';
    cOutput.cRawData[cCinitName] = romSize != cCinitTbl.size() ? retlwTable(cCinitTbl, cFamily) : cCinitTbl;

    if (cStackDeclared)
        cOutput.cRawData[cStackName] = Data::zeroFill(cStackDesc.getSize());
    return true;
}

bool Linker::buildOutputLineInfo(std::string &err)
{
    // Fills cOutput.cLineInfo with the line numbers of every input's code
    // sections, input after input, their symbol indexes moved by the
    // input's first output slot.
    (void)err;
    if (cStrip)
        return true;
    bool trace = debugLevel("Linker::buildOutputLineInfo");
    forEachCodeLineInfo([&](uint32_t input, Coff &coff, const std::string &name, std::vector<coff_lineno> &lines) {
        uint32_t base = cOutputSymMap.at(input);
        std::vector<coff_lineno> &out = cOutput.cLineInfo[name];
        for (coff_lineno line : lines) {
            if (trace)
                std::cout << "Linker::buildOutputLineInfo() - file '" << coff.cName << "', section '" << name
                          << "', fixing up l_srcndx from " << line.l_srcndx << " to " << line.l_srcndx + base
                          << '\n' << "l_fcnndx from " << line.l_fcnndx << " to " << line.l_fcnndx + base << '\n';
            line.l_srcndx += base;
            line.l_fcnndx += base;
            out.push_back(line);
        }
    });
    return true;
}

bool Linker::buildOutputStringTbl(std::string &err)
{
    // Appends the image names longer than 8 characters to cOutput's string
    // table, so the section headers can refer to them.
    (void)err;
    for (const auto &[name, type] : cScnType) {
        if (type != SCNTYPE_IDATA)
            continue;
        std::string image = romImageName(name);
        if (image.size() > NAME_INLINE_MAX)
            strTblAppend(cOutput.cStrTbl, image);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Headers and fill sections

void Linker::makeOutputScnHdr(const std::string &name, uint32_t start, SectionType type, bool abs, bool shared,
                              bool access)
{
    coff_scnhdr hdr;
    int64_t offset = name.size() > NAME_INLINE_MAX ? cOutputNames.find(cOutput.cStrTbl, name) : -1;
    if (offset >= 0)
        hdr.setLongNameOffset(uint32_t(offset));
    else
        Coff::setName(hdr, cOutput.cStrTbl, name); // a short name, or the report of a missing one
    hdr.s_paddr = start;
    hdr.s_vaddr = 0;
    Coff::setSectionFlags(hdr, type, abs, shared, access);
    cOutput.cScnHdr[name] = hdr;
}

bool Linker::buildOutputScnHdrs(std::string &err)
{
    // Fills cOutput.cScnHdr: names, starts and flags of every section; the
    // sizes and file offsets come with the layout.
    (void)err;
    cOutputNames = StrTblIndex();
    for (const auto &[name, type] : cScnType) {
        makeOutputScnHdr(name, cScnMem.at(name)->getScnStart(name), SectionType(type), cScnAbs.at(name),
                         cScnShare.at(name), cScnAccess.at(name));
        if (type == SCNTYPE_IDATA) {
            std::string image = romImageName(name);
            makeOutputScnHdr(image, cScnMem.at(image)->getScnStart(image), SCNTYPE_ROMDATA, false, false, false);
        }
    }
    makeOutputScnHdr(cCinitName, cScnMem.at(cCinitName)->getScnStart(cCinitName), SCNTYPE_ROMDATA, false, false,
                     false);
    if (cStackDeclared)
        makeOutputScnHdr(cStackName, cScnMem.at(cStackName)->getScnStart(cStackName), SCNTYPE_UDATA, false, false,
                         false);
    return true;
}

bool Linker::buildOutputFileHdr(std::string &err)
{
    // Fills the file header and the optional header of cOutput and names
    // it after the output file.
    (void)err;
    const Coff &first = *cCoff.front();
    cOutput.cFileHdr.f_magic = first.cFileHdr.f_magic;
    cOutput.cFileHdr.f_opthdr = OPTHDR_SIZE;
    cOutput.cFileHdr.f_flags = cStrip ? (F_EXEC | F_LNNO | F_LSYMS) : F_EXEC;
    cOutput.cOptHdr.magic = first.cOptHdr.magic;
    cOutput.cOptHdr.vstamp = first.cOptHdr.vstamp;
    cOutput.cOptHdr.proc_type = proc_type_word(cProcessor);
    cOutput.cOptHdr.rom_width_bits = cRomWidthBits;
    cOutput.cOptHdr.ram_width_bits = cRamWidthBits;
    cOutput.cName = cOutputFile;
    return true;
}

void Linker::buildOutputHoles()
{
    // Adds a fill section for every free range of every CODEPAGE that has
    // a FILL value, numbered on from the sections already there.
    for (const Memory &mem : cCodePage)
        mem.forEachHole([this](const Memory &m, uint32_t start, uint32_t end, const std::string &fill) {
            holeCallback(this, m, start, end, fill);
        });
}

void Linker::holeCallback(void *context, const Memory &mem, uint32_t start, uint32_t end, const std::string &fill)
{
    static_cast<Linker *>(context)->buildOutputHole(mem, start, end, fill);
}

void Linker::buildOutputHole(const Memory &mem, uint32_t start, uint32_t end, const std::string &fill)
{
    if (debugLevel("Linker::buildOutputHole"))
        std::cout << "Linker::buildOutputHole() - start=" << hexString(start, 4) << " end=" << hexString(end, 4)
                  << " fill=" << fill << '\n';
    ++cHoleCount;
    std::string name = FILL_PREFIX + std::to_string(cHoleCount);
    cOutput.cScnNum[int32_t(cOutput.cScnNum.size() + 1)] = name;

    // A CODEPAGE with FILL is never larger than MAX_FILL_LOCATIONS, so the
    // buffer stays of a sensible size.
    uint64_t size = (uint64_t(end) - start + 1) * bytesPerWord(rom);
    SUITE_ASSERT(size <= uint64_t(MAX_FILL_LOCATIONS) * 2);
    Data data{uint32_t(size)};
    uint8_t *p = data.data();
    const uint64_t words = size / 2;
    bool truncated = false;

    if (fill.size() < 3 || std::tolower(static_cast<unsigned char>(fill[1])) != 'x') {
        uint16_t value = uint16_t(scanDecimal(fill).wrapped());
        for (uint64_t w = 0; w < words; ++w)
            putU16(p + 2 * w, value);
        if (size % 2) {
            p[size - 1] = uint8_t(value);
            truncated = true;
        }
    } else {
        std::vector<uint16_t> pattern = hexFillPattern(fill);
        for (uint64_t w = 0; w < words; ++w)
            putU16(p + 2 * w, pattern[w % pattern.size()]);
        // Either the last word ends the pattern part-way, or a byte is
        // left over: it gets the low byte of the value that comes next.
        size_t next = size_t(words % pattern.size());
        truncated = next != 0;
        if (size % 2) {
            p[size - 1] = uint8_t(pattern[next]);
            truncated = true;
        }
    }
    if (truncated)
        report(SEV_WARNING, "Linker::BuildOutputHole()",
               "Fill pattern for memory '" + mem.getName() +
                   "' doesn't divide evenly into\n          unused program locations.  Last value was truncated.",
               false);

    cOutput.cRawData[name] = data;
    if (name.size() > NAME_INLINE_MAX)
        strTblAppend(cOutput.cStrTbl, name);
    makeOutputScnHdr(name, start, SCNTYPE_CODE, false, false, false);
}

// ---------------------------------------------------------------------------
// Writing

bool Linker::writeOutputFiles(std::string &err)
{
    // Lays out cOutput, checks it and writes the executable, then the map
    // file when one is asked for.
    cOutput.preWrite();
    if (!cOutput.verify()) {
        err = "Internal Coff output file is corrupt.";
        return false;
    }
    if (!cOutput.write())
        return false;
    // The map describes the executable as written; it takes the place of
    // an error map held back. A map file that could not be opened for the
    // error map fails the link without being tried and reported again.
    cPendingErrorMap.clear();
    if (!cMapFile.empty() && (cMapUnopened || !MapFile::write(cMapFile, cOutput, codePageSize())))
        return false;
    return true;
}
