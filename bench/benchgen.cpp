// Writes a synthetic firmware project for the byte-addressed family, large
// enough to time the four programs on:
//
//   benchgen N OUTDIR
//
// OUTDIR receives
//   m0.o ... m<N-1>.o       N modules, each with a code section of eight
//                           routines, a table in program memory, about thirty
//                           symbols and forty relocations, and line numbers;
//   l<L>_<K>.o              the members of four libraries of N/16 members;
//   *.asm                   the source of every object, for the listing;
//   bench.lkr               a command file with 2 MB of program memory;
//   modules.txt, members<L>.txt   the object names, one a line.
//
//   benchgen image EXECUTABLE BINFILE
//
// writes the program memory of a linked byte-addressed executable as one
// binary image (0xFF where no section lies), the input of the reference
// hex converter that the hex converter is timed against.
// Every module's source is written the way an assembler listing reads it:
// the line number of each instruction names the line that holds it.
// Exit code 0 on success, 1 on any error.
#include "objectsource.h"

#include "coff_format.h"
#include "mgproc.h"
#include "reloctype.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const ProcessorCode VOQ850 = 0x81; // byte-addressed program memory
const unsigned LIBRARIES = 4;
const unsigned ROUTINES = 8;      // routines per module
const unsigned GROUP = 32;        // modules sharing one variable

// One source file, written the way an assembler listing reads it, and the
// object an assembler makes of it, described as the text grows.
class Module
{
public:
    explicit Module(const std::string &base)
        : cBase(base), cObject(VOQ850, base + ".asm", "", 0, CONVENTIONS)
    {
        text("; " + base + ".asm - generated module");
        text("        list    p=voq850");
    }

    void global(const std::string &name) { text("        global  " + name); }
    void external(const std::string &name)
    {
        cObject.external(name);
        text("        extern  " + name);
    }
    void code(const std::string &section)
    {
        cObject.code(section);
        text(section + " code");
    }
    void romdata(const std::string &section, const std::string &label, unsigned bytes)
    {
        std::vector<uint8_t> values;
        std::string line = label + "  db      ";
        for (unsigned b = 0; b < bytes; b++) {
            uint8_t value = uint8_t(b * 17 + cBase.size());
            values.push_back(value);
            line += (b ? ", " : "") + std::to_string(value);
        }
        cObject.romdata(section, label, true, values);
        text(section + " code_pack");
        text(line);
    }
    void udata(const std::string &section, const std::string &label, unsigned bytes)
    {
        cObject.udata(section, label, true, bytes);
        text(section + " udata");
        text(label + "  res     " + std::to_string(bytes));
    }
    // A label on the next instruction.
    void label(const std::string &name, bool global)
    {
        cObject.label(name, global);
        cPendingLabel = name;
    }
    // One instruction word with its source text; with a symbol, the word
    // gets a relocation of that type.
    void ins(const std::string &mnemonic, const std::vector<uint16_t> &operands, const std::string &source,
             const std::string &symbol = "", uint16_t relocType = 0)
    {
        std::string line = cPendingLabel;
        cPendingLabel.clear();
        line.resize(std::max<size_t>(line.size() + 1, 8), ' ');
        text(line + source);
        cObject.ins(uint16_t(cText.size()), mnemonic, operands, symbol, relocType);
    }
    // The second word of a CALL or GOTO, relocated for the same symbol.
    void word2(const std::string &symbol) { cObject.word2(0, symbol, RELOCT_CALL2); }

    void end() { text("        end"); }

    CoffBuilder build() const { return cObject.build(); }

    std::string source() const
    {
        std::string all;
        for (const std::string &line : cText)
            all += line + "\n";
        return all;
    }

    const std::string &base() const { return cBase; }

private:
    // The ".eof" symbol is a static one, and the second word of an
    // instruction has no line entry.
    static constexpr SourceConventions CONVENTIONS = {C_STAT, false};

    void text(const std::string &line) { cText.push_back(line); }

    std::string cBase;
    ObjectSource cObject;
    std::vector<std::string> cText;
    std::string cPendingLabel;
};

std::string routine(unsigned module, unsigned k) { return "f" + std::to_string(module) + "_" + std::to_string(k); }
std::string member(unsigned lib, unsigned j) { return "l" + std::to_string(lib) + "_" + std::to_string(j); }
std::string hex(unsigned v)
{
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// Module i: eight routines that keep a shared variable, call routines of
// other modules and of the libraries, and a table in program memory.
Module makeModule(unsigned i, unsigned n, unsigned k)
{
    Module m("m" + std::to_string(i));
    unsigned owner = i - i % GROUP;
    std::string var = "v" + std::to_string(owner);
    std::string table = "tbl" + std::to_string(i);
    std::vector<std::string> targets;
    for (unsigned r = 0; r < ROUTINES; r++) {
        if (r < 6)
            targets.push_back(routine((i + 1 + r * 131) % n, r));
        else
            targets.push_back(member((i + r) % LIBRARIES, (i / LIBRARIES + r) % k) + "_" + std::to_string(r % 2));
    }
    for (unsigned r = 0; r < ROUTINES; r++)
        m.global(routine(i, r));
    m.global(table);
    if (owner == i)
        m.global(var);
    for (unsigned r = 0; r < ROUTINES; r++)
        if (r >= 6 || (i + 1 + r * 131) % n != i)
            m.external(targets[r]);
    if (owner != i)
        m.external(var);
    if (owner == i)
        m.udata("var_m" + std::to_string(i), var, 1);
    m.romdata("tbl_m" + std::to_string(i), table, 16);
    if (i == 0) {
        m.code("reset");
        m.ins("goto", {0}, "goto    " + routine(0, 0), routine(0, 0), RELOCT_GOTO);
        m.word2(routine(0, 0));
    }
    m.code("code_m" + std::to_string(i));
    for (unsigned r = 0; r < ROUTINES; r++) {
        std::string loop = "L" + std::to_string(r);
        m.label(routine(i, r), true);
        m.ins("movlw", {uint16_t(r)}, "movlw   " + hex(r));
        if (r == 0) {
            m.ins("movlw", {0}, "movlw   low " + table, table, RELOCT_LOW);
            m.ins("movlw", {0}, "movlw   high " + table, table, RELOCT_HIGH);
        }
        m.ins("movlb", {0}, "banksel " + var, var, RELOCT_BANKSEL);
        m.ins("movwf", {0, 1}, "movwf   " + var + ", BANKED", var, RELOCT_F);
        m.label(loop, false);
        m.ins("call", {0, 0}, "call    " + targets[r] + ", 0", targets[r], RELOCT_CALL);
        m.word2(targets[r]);
        m.ins("decfsz", {0, 1, 1}, "decfsz  " + var + ", F, BANKED", var, RELOCT_F);
        m.ins("bra", {0}, "bra     " + loop, loop, RELOCT_BRA);
        m.ins("return", {0}, "return  0");
    }
    m.end();
    return m;
}

// Member j of library lib: two routines; the first calls the next member.
Module makeMember(unsigned lib, unsigned j, unsigned k)
{
    Module m(member(lib, j));
    std::string next = member(lib, (j + 1) % k) + "_0";
    m.global(member(lib, j) + "_0");
    m.global(member(lib, j) + "_1");
    if (k > 1)
        m.external(next);
    m.code("lc" + std::to_string(lib) + "_" + std::to_string(j));
    m.label(member(lib, j) + "_0", true);
    m.ins("movlw", {uint16_t(j & 0xFF)}, "movlw   " + hex(j & 0xFF));
    if (k > 1) {
        m.ins("call", {0, 0}, "call    " + next + ", 0", next, RELOCT_CALL);
        m.word2(next);
    }
    m.ins("return", {0}, "return  0");
    m.label(member(lib, j) + "_1", true);
    m.ins("movlw", {uint16_t(~j & 0xFF)}, "movlw   " + hex(~j & 0xFF));
    m.ins("return", {0}, "return  0");
    m.end();
    return m;
}

void writeFile(const std::string &path, const void *bytes, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char *>(bytes), std::streamsize(size));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write '" + path + "'");
}

void writeModule(const std::string &dir, const Module &m)
{
    std::vector<uint8_t> image = m.build().bytes();
    writeFile(dir + "/" + m.base() + ".o", image.data(), image.size());
    std::string text = m.source();
    writeFile(dir + "/" + m.base() + ".asm", text.data(), text.size());
}

const char *COMMAND_FILE = "// bench.lkr - the byte-addressed family with 2 MB of program memory\n"
                           "LIBPATH    .\n"
                           "CODEPAGE   NAME=vectors   START=0x0    END=0x7       PROTECTED\n"
                           "CODEPAGE   NAME=program   START=0x8    END=0x1FFFFF  FILL=0xFFFF\n"
                           "ACCESSBANK NAME=accessram START=0x0    END=0x5F\n"
                           "DATABANK   NAME=gpr0      START=0x60   END=0xFF\n"
                           "DATABANK   NAME=gpr1      START=0x100  END=0x1FF\n"
                           "ACCESSBANK NAME=accesssfr START=0xF60  END=0xFFF     PROTECTED\n"
                           "SECTION    NAME=reset     ROM=vectors\n"
                           "STACK      SIZE=0x20      RAM=gpr1\n";

} // namespace

// The code and romdata sections of the executable, laid out at their
// addresses in one buffer.
int writeImage(const std::string &executable, const std::string &binFile)
{
    std::unique_ptr<Coff> coff = Coff::make(executable);
    if (!coff)
        return 1;
    std::vector<uint8_t> image;
    for (const auto &[name, hdr] : coff->cScnHdr) {
        auto raw = coff->cRawData.find(name);
        if (!(hdr.s_flags & (SCN_CODE | SCN_ROMDATA)) || raw == coff->cRawData.end())
            continue;
        uint64_t end = uint64_t(hdr.s_paddr) + raw->second.size();
        if (end > (64u << 20)) {
            std::cerr << "benchgen: section '" << name << "' lies beyond 64 MB\n";
            return 1;
        }
        if (image.size() < end)
            image.resize(end, 0xFF);
        std::copy(raw->second.data(), raw->second.data() + raw->second.size(), image.begin() + hdr.s_paddr);
    }
    writeFile(binFile, image.data(), image.size());
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "image") {
        try {
            return writeImage(argv[2], argv[3]);
        } catch (const std::exception &e) {
            std::cerr << "benchgen: " << e.what() << '\n';
            return 1;
        }
    }
    if (argc != 3) {
        std::cerr << "usage: benchgen N OUTDIR | benchgen image EXECUTABLE BINFILE\n";
        return 1;
    }
    char *end = nullptr;
    unsigned long n = std::strtoul(argv[1], &end, 10);
    if (*end || n < LIBRARIES * 16 || n > 8000) {
        std::cerr << "benchgen: N must be a number from 64 to 8000\n";
        return 1;
    }
    std::string dir = argv[2];
    unsigned k = unsigned(n / 16);
    try {
        std::filesystem::create_directories(dir);
        std::string list;
        for (unsigned i = 0; i < n; i++) {
            Module m = makeModule(i, unsigned(n), k);
            writeModule(dir, m);
            list += m.base() + ".o\n";
        }
        writeFile(dir + "/modules.txt", list.data(), list.size());
        for (unsigned lib = 0; lib < LIBRARIES; lib++) {
            list.clear();
            for (unsigned j = 0; j < k; j++) {
                Module m = makeMember(lib, j, k);
                writeModule(dir, m);
                list += m.base() + ".o\n";
            }
            std::string name = dir + "/members" + std::to_string(lib) + ".txt";
            writeFile(name, list.data(), list.size());
        }
        writeFile(dir + "/bench.lkr", COMMAND_FILE, std::char_traits<char>::length(COMMAND_FILE));
    } catch (const std::exception &e) {
        std::cerr << "benchgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
