// The listing's walk of the symbol table (source files, includes, ".eof",
// ".list" and ".nolist") against a plain reference that scans the table
// afresh for every source line, kept here only: the listing files are
// compared line for line on random executables with random sources.

#include "codtestutil.h"
#include "coff2cod.h"
#include "coffbuilder.h"
#include "diag.h"
#include "mginst.h"
#include "randproject.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

using namespace codtest;
using Lines = std::vector<std::string>;

namespace {

// The rows of the listing written by literal scans of the symbol table.
class ReferenceListing
{
public:
    ReferenceListing(const Coff &coff, int32_t pageLength, const std::map<uint32_t, uint8_t> &fileNums)
        : coff(coff), pageLength(pageLength), fileNums(fileNums)
    {
        family = proc_family(proc_from_type_word(uint16_t(coff.cOptHdr.proc_type)));
        w = (coff.cOptHdr.rom_width_bits + 7) / 8;
        for (size_t i = 0; i < coff.cSymbols.size(); ++i) {
            const coff_syment &s = coff.cSymbols[i];
            names.push_back(Coff::getName(s, coff.cStrTbl));
            aux.push_back(false);
            if (s.n_numaux == 1 && i + 1 < coff.cSymbols.size()) {
                names.push_back("");
                aux.push_back(true);
                ++i;
            }
        }
        header(true);
        size_t index = 0;
        while (findNextFile(index)) {
            listing = true;
            doNextFile(index);
        }
    }

    Lines lines;
    std::vector<LineInfo> infos; // of directory 0

private:
    bool is(size_t i, const char *name) const { return !aux[i] && names[i] == name; }
    bool findNextFile(size_t &index) const
    {
        for (; index + 1 < names.size(); ++index)
            if (is(index, ".file"))
                return true;
        return false;
    }
    void skipToEndOfFile(size_t &index) const
    {
        while (index + 1 < names.size())
            if (is(index++, ".eof"))
                return;
    }
    uint32_t incline(size_t file) const { return auxOf<aux_file>(coff.cSymbols[file + 1]).x_incline; }
    void applyListDirective(size_t index, uint32_t line)
    {
        for (size_t i = index; i < names.size() && !is(i, ".file") && !is(i, ".eof"); ++i)
            if ((is(i, ".list") || is(i, ".nolist")) && coff.cSymbols[i].n_value == line) {
                listing = is(i, ".list");
                return;
            }
    }
    bool hasInclude(size_t index, uint32_t line) const
    {
        for (size_t i = index; i < names.size() && !is(i, ".eof"); ++i)
            if (is(i, ".file"))
                return incline(i) == line || (incline(i) == 0 && i == index);
        return false;
    }
    bool doNextFile(size_t &index)
    {
        if (!findNextFile(index))
            return true;
        std::string name = Coff::getName(auxOf<aux_file>(coff.cSymbols[index + 1]), coff.cStrTbl);
        std::ifstream in(name);
        if (!in) {
            ++index;
            return false;
        }
        const uint32_t srcndx = uint32_t(index);
        const uint8_t fileNum = fileNums.at(srcndx);
        index += 2;
        std::string text;
        uint8_t skip = 1;
        for (uint32_t line = 1; std::getline(in, text); ++line) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            applyListDirective(index, line);
            if (listing) {
                // Every line-number entry of every code section made from
                // this line, sections in name order.
                bool first = true;
                for (const auto &[scn, entries] : coff.cLineInfo)
                    for (const coff_lineno &e : entries) {
                        if (e.l_srcndx != srcndx || e.l_lnno != line)
                            continue;
                        const Data &raw = coff.cRawData.at(scn);
                        int64_t at = (int64_t(e.l_paddr) - coff.cScnHdr.at(scn).s_paddr) * w;
                        auto byte = [&](int64_t i) { return i >= 0 && i < raw.size() ? raw.data()[i] : 0; };
                        uint16_t word = uint16_t(byte(at) | byte(at + 1) << 8);
                        uint16_t word2 = at + 2 < raw.size() ? uint16_t(byte(at + 2) | byte(at + 3) << 8) : 0;
                        std::string dis;
                        if (skip > 0)
                            --skip;
                        if (skip == 0)
                            dis = inst_is_valid(word, family) ? inst_disassemble(e.l_paddr, word, word2, skip, family)
                                                              : "??? Illegal Opcode";
                        char a[16], v[16];
                        std::snprintf(a, sizeof a, "%06x", e.l_paddr);
                        std::snprintf(v, sizeof v, "%04x", word);
                        infos.push_back(LineInfo(fileNum, first ? 0x80 : 0, uint16_t(line), uint16_t(e.l_paddr)));
                        nextRow(row(a, v, dis, first ? text : "", first ? name : ""));
                        first = false;
                    }
                if (first) {
                    infos.push_back(LineInfo(fileNum, 0x90, uint16_t(line), 0));
                    nextRow(row("", "", "", text, name));
                }
            }
            if (hasInclude(index, line))
                doNextFile(index);
        }
        skipToEndOfFile(index);
        return true;
    }
    void nextRow(const std::string &text)
    {
        lines.push_back(text);
        if (pageLength && ++rows % pageLength == 0)
            header(false);
    }
    void header(bool first)
    {
        infos.insert(infos.end(), 8, LineInfo(0, 2, 1, 0));
        if (!first)
            lines.push_back("\f");
        Lines h = {"DORVANE v2.20.00, COFF to COD File Converter",
                   noticeBanner(),
                   std::string("Listing File Generated: ") + FIXED_TIME_TEXT,
                   "",
                   "",
                   "Address  Value    Disassembly              Source" + std::string(75, ' ') + "File",
                   "-------  -------  -----------------------  " + std::string(79, '-') + "  -----"};
        lines.insert(lines.end(), h.begin(), h.end());
    }

    const Coff &coff;
    int32_t pageLength;
    const std::map<uint32_t, uint8_t> &fileNums;
    DeviceFamily family;
    uint32_t w;
    std::vector<std::string> names;
    std::vector<bool> aux;
    bool listing = true;
    int64_t rows = 0;
};

// Source files, included files, list switches, missing files and stray
// symbols, nested at random.
class RandomSources
{
public:
    RandomSources(uint64_t seed, const TempDir &dir) : rng(seed), dir(dir) {}

    // A code section of random words, with the processor of one family.
    void code(CoffBuilder &b)
    {
        ProcessorCode proc = rng.chance(50) ? CORE14 : CORE16E;
        b.name("prog.o").flags(F_EXEC).processor(proc_type_word(proc), proc_rom_width(proc), 8);
        std::vector<uint8_t> bytes(2 * rng.between(1, 24));
        for (uint8_t &x : bytes)
            x = uint8_t(rng.next() >> 8);
        b.section(".code", SCN_CODE, bytes);
        words = uint32_t(bytes.size()) / (proc == CORE14 ? 2 : 1);
    }

    void file(CoffBuilder &b, uint32_t incline, int depth)
    {
        std::string name = "src" + std::to_string(count++) + (rng.chance(50) ? ".asm" : "_long_name.inc");
        uint32_t lines = rng.below(10);
        if (!rng.chance(10)) {
            std::string text;
            for (uint32_t i = 1; i <= lines; ++i)
                text += name + " line " + std::to_string(i) + (rng.chance(20) ? "\r\n" : "\n");
            dir.write(name, text);
        }
        b.file(name, incline);
        for (uint32_t i = rng.below(5); i > 0; --i)
            b.line(".code", uint16_t(rng.between(1, lines + 1)), rng.below(words));
        for (uint32_t i = rng.below(4); i > 0; --i) {
            if (depth < 3 && rng.chance(40))
                file(b, rng.chance(15) ? 0 : rng.below(lines + 2), depth + 1);
            else if (rng.chance(70))
                b.symbol(rng.chance(50) ? ".list" : ".nolist", rng.below(lines + 2), -2, C_STAT);
            else
                b.symbol("x" + std::to_string(i), rng.below(8), 0, C_EXT);
        }
        if (!rng.chance(10))
            b.symbol(".eof", 0, -2, C_STAT);
    }

    Rng rng;
    const TempDir &dir;
    int count = 0;
    uint32_t words = 0;
};

TEST(Differential, ListingMatchesPerLineScansOfTheSymbolTable)
{
    useUtc();
    setQuiet(1);
    for (uint64_t seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        WorkDir dir;
        RandomSources sources(seed, dir);
        CoffBuilder b;
        sources.code(b);
        for (uint32_t i = sources.rng.between(1, 3); i > 0; --i)
            sources.file(b, 0, 0);
        if (sources.rng.chance(30))
            b.symbol("last", 0, 0, C_EXT);
        int32_t pageLength = sources.rng.chance(50) ? 0 : int32_t(sources.rng.between(2, 9));
        Coff coff = b.coff();
        Coff2Cod conv;
        conv.setClock(FIXED_TIME);
        ASSERT_TRUE(conv.convert(coff, pageLength, false));
        ReferenceListing expected(coff, pageLength, conv.cFileNum);
        EXPECT_EQ(splitLines(dir.readText("prog.lst")), expected.lines);
        EXPECT_TRUE(conv.cLineInfo[0] == expected.infos);
    }
}

} // namespace
