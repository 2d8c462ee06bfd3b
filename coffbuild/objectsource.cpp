#include "objectsource.h"

#include "mginst.h"
#include "reloctype.h"
#include "textio.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

ObjectSource::ObjectSource(ProcessorCode proc, const std::string &source, const std::string &include,
                           uint32_t includeLine, SourceConventions conventions)
    : cProc(proc), cFamily(proc_family(proc)), cSource(source), cInclude(include), cIncludeLine(includeLine),
      cConventions(conventions)
{
}

void ObjectSource::code(const std::string &section) { cSections.push_back({section, SCN_CODE, {}, 0}); }

void ObjectSource::dataSection(const std::string &section, uint32_t flags, const std::string &label, bool global,
                               const std::vector<uint8_t> &bytes)
{
    cSections.push_back({section, flags, bytes, 0});
    cLabels.push_back({label, section, 0, uint8_t(global ? C_EXT : C_STAT)});
}

void ObjectSource::idata(const std::string &section, const std::string &label, bool global,
                         const std::vector<uint8_t> &bytes)
{
    dataSection(section, SCN_IDATA, label, global, bytes);
}

void ObjectSource::romdata(const std::string &section, const std::string &label, bool global,
                           const std::vector<uint8_t> &bytes)
{
    dataSection(section, SCN_ROMDATA, label, global, bytes);
}

void ObjectSource::udata(const std::string &section, const std::string &label, bool global, uint32_t size,
                         bool shared)
{
    cSections.push_back({section, SCN_UDATA | (shared ? SCN_SHARED : 0), {}, size});
    cLabels.push_back({label, section, 0, uint8_t(global ? C_EXT : C_STAT)});
}

ObjectSource::Section &ObjectSource::current()
{
    if (cSections.empty() || !(cSections.back().flags & SCN_CODE))
        throw std::logic_error(cSource + ": no code section started");
    return cSections.back();
}

uint32_t ObjectSource::here()
{
    // Byte-addressed program memory counts bytes; the others count words.
    uint32_t size = uint32_t(current().bytes.size());
    return cFamily == FAMILY_CORE16E ? size : size / 2;
}

void ObjectSource::label(const std::string &name, bool global)
{
    cLabels.push_back({name, current().name, here(), uint8_t(global ? C_EXT : C_LABEL)});
}

void ObjectSource::putWord(uint16_t word, const std::string &symbol, uint16_t relocType)
{
    Section &s = current();
    if (!symbol.empty())
        cFixups.push_back({s.name, uint32_t(s.bytes.size()), symbol, relocType});
    s.bytes.push_back(uint8_t(word & 0xFF));
    s.bytes.push_back(uint8_t(word >> 8));
}

uint16_t ObjectSource::encode(const std::string &mnemonic, const std::vector<uint16_t> &operands) const
{
    MnemonicIndex index = 0;
    if (!inst_lookup(mnemonic, index, cFamily))
        throw std::invalid_argument(cSource + ": no instruction '" + mnemonic + "'");
    uint16_t word = 0;
    inst_put_opcode(word, index, cFamily);
    for (size_t i = 0; i < operands.size(); i++) {
        if (!inst_has_operand(index, cFamily, unsigned(i)))
            throw std::invalid_argument(cSource + ": '" + mnemonic + "' has no operand " + std::to_string(i));
        if (i == 0)
            inst_put_operand0(word, operands[i], cFamily);
        else if (i == 1)
            inst_put_operand1(word, operands[i], cFamily);
        else
            inst_put_operand2(word, operands[i], cFamily);
    }
    return word;
}

void ObjectSource::ins(uint16_t line, const std::string &mnemonic, const std::vector<uint16_t> &operands,
                       const std::string &symbol, uint16_t relocType)
{
    uint16_t word = encode(mnemonic, operands);
    cLines.push_back({current().name, line, here(), mnemonic});
    putWord(word, symbol, relocType);
}

void ObjectSource::banksel(uint16_t line, const std::string &symbol)
{
    cLines.push_back({current().name, line, here(), "banksel"});
    if (cFamily == FAMILY_CORE16E) {
        putWord(encode("movlb", {0}), symbol, RELOCT_BANKSEL);
        return;
    }
    if (cFamily == FAMILY_CORE16) {
        // One word, which the linker rewrites as MOVLR or MOVLB.
        putWord(encode("movlb", {0}), symbol, RELOCT_BANKSEL);
        return;
    }
    if (cFamily == FAMILY_CORE12) {
        // FSR (4) bits 5 and 6, always both.
        putWord(encode("bcf", {4, 5}), symbol, RELOCT_BANKSEL);
        putWord(encode("bcf", {4, 6}), "", 0);
        return;
    }
    // STATUS (3) bit 5 selects between two banks, bit 6 between pairs.
    putWord(encode("bcf", {3, 5}), symbol, RELOCT_BANKSEL);
    if (proc_bank_count(cProc) > 2)
        putWord(encode("bcf", {3, 6}), "", 0);
}

void ObjectSource::word2(uint16_t bits, const std::string &symbol, uint16_t relocType)
{
    if (cLines.empty() || cLines.back().section != current().name)
        throw std::logic_error(cSource + ": a second word without its instruction");
    if (cConventions.secondWordLines) {
        Line second = cLines.back();
        second.address = here();
        cLines.push_back(second);
    }
    putWord(uint16_t(0xF000 | (bits & 0x0FFF)), symbol, relocType);
}

void ObjectSource::external(const std::string &name) { cExternals.push_back(name); }

CoffBuilder ObjectSource::build() const
{
    CoffBuilder b;
    std::string base = cSource.substr(0, cSource.rfind('.'));
    b.name(base + ".o").processor(cProc);
    for (const Section &s : cSections) {
        if (s.flags & SCN_UDATA)
            b.udata(s.name, s.size, 0, s.flags & ~SCN_UDATA);
        else
            b.section(s.name, s.flags, s.bytes);
    }
    // The source file's symbols lie between its ".file" and ".eof"; the
    // include file, which defines no symbol of its own, opens and closes
    // where it was included.
    b.file(cSource);
    uint32_t sourceSlot = b.symbolIndex(".file");
    if (!cInclude.empty()) {
        b.file(cInclude, cIncludeLine);
        b.symbol(".eof", 0, int16_t(-2), cConventions.eofClass);
    }
    for (const Section &s : cSections)
        b.symbol(s.name, 0, s.name, C_SECTION);
    for (const Label &l : cLabels)
        b.symbol(l.name, l.value, l.section, l.sclass);
    for (const std::string &e : cExternals)
        b.symbol(e, 0, int16_t(0), C_EXT);
    b.symbol(".eof", 0, int16_t(-2), cConventions.eofClass);
    for (const Fixup &f : cFixups)
        b.reloc(f.section, f.offset, f.symbol, f.type);
    for (const Line &l : cLines) {
        coff_lineno entry;
        entry.l_srcndx = sourceSlot;
        entry.l_lnno = l.line;
        entry.l_paddr = l.address;
        b.line(l.section, entry);
    }
    return b;
}

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

bool ObjectSource::matchesSource(const std::string &dir, std::string &err) const
{
    std::ifstream in(dir + "/" + cSource);
    if (!in) {
        err = "cannot read '" + dir + "/" + cSource + "'";
        return false;
    }
    std::vector<std::string> text;
    std::string line;
    while (readTextLine(in, line))
        text.push_back(line);
    if (!cInclude.empty() && (cIncludeLine < 1 || cIncludeLine > text.size() ||
                              text[cIncludeLine - 1].find("#include \"" + cInclude + "\"") == std::string::npos)) {
        err = cSource + ":" + std::to_string(cIncludeLine) + " does not include '" + cInclude + "'";
        return false;
    }
    for (const Line &l : cLines) {
        bool found = false;
        if (l.line >= 1 && l.line <= text.size()) {
            std::istringstream words(text[l.line - 1].substr(0, text[l.line - 1].find(';')));
            std::string word;
            while (words >> word)
                found = found || lower(word) == lower(l.mnemonic);
        }
        if (!found) {
            err = cSource + ":" + std::to_string(l.line) + " does not hold '" + l.mnemonic + "'";
            return false;
        }
    }
    return true;
}
