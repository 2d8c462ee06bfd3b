// The object and library builders over the suite's own Coff and Archive.

#include "coffbuilder.h"

#include <sstream>
#include <stdexcept>

CoffBuilder::CoffBuilder()
{
    cCoff.cName = "test.o";
    cCoff.cFileHdr.f_magic = COFF_MAGIC;
    cCoff.cFileHdr.f_opthdr = OPTHDR_SIZE;
}

CoffBuilder &CoffBuilder::name(const std::string &name)
{
    cCoff.cName = name;
    return *this;
}

CoffBuilder &CoffBuilder::flags(uint16_t f_flags)
{
    cCoff.cFileHdr.f_flags = f_flags;
    return *this;
}

CoffBuilder &CoffBuilder::processor(uint32_t procType, uint32_t romWidthBits, uint32_t ramWidthBits)
{
    cCoff.cOptHdr.proc_type = procType;
    cCoff.cOptHdr.rom_width_bits = romWidthBits;
    cCoff.cOptHdr.ram_width_bits = ramWidthBits;
    return *this;
}

CoffBuilder &CoffBuilder::processor(ProcessorCode code)
{
    return processor(proc_type_word(code), proc_rom_width(code), proc_ram_width(code));
}

CoffBuilder &CoffBuilder::optMagic(uint16_t magic, uint16_t vstamp)
{
    cCoff.cOptHdr.magic = magic;
    cCoff.cOptHdr.vstamp = vstamp;
    return *this;
}

CoffBuilder &CoffBuilder::timeStamp(uint32_t f_timdat)
{
    cCoff.cFileHdr.f_timdat = f_timdat;
    return *this;
}

void CoffBuilder::setName(char name[8], bool section, const std::string &text)
{
    if (text.size() > NAME_INLINE_MAX) {
        bool present = false;
        for (const auto &[offset, s] : cCoff.cStrTbl)
            present = present || s == text;
        if (!present)
            strTblAppend(cCoff.cStrTbl, text);
    }
    if (section) {
        coff_scnhdr h;
        Coff::setName(h, cCoff.cStrTbl, text);
        std::copy(h._s_name, h._s_name + 8, name);
    } else {
        coff_syment s;
        Coff::setName(s, cCoff.cStrTbl, text);
        std::copy(s._n_name, s._n_name + 8, name);
    }
}

CoffBuilder &CoffBuilder::section(const std::string &name, uint32_t flags, const std::vector<uint8_t> &bytes,
                                  uint32_t address, uint32_t vaddr)
{
    if (cCoff.cScnHdr.count(name))
        throw std::invalid_argument("section '" + name + "' added twice");
    coff_scnhdr h;
    setName(h._s_name, true, name);
    h.s_paddr = address;
    h.s_vaddr = vaddr;
    h.s_flags = flags;
    cCoff.cScnHdr[name] = h;
    cCoff.cScnNum[cNextScn++] = name;
    cCoff.cRawData[name] = Data(uint32_t(bytes.size()), bytes.data());
    return *this;
}

CoffBuilder &CoffBuilder::udata(const std::string &name, uint32_t size, uint32_t address, uint32_t moreFlags)
{
    section(name, SCN_UDATA | moreFlags, {}, address);
    cCoff.cRawData[name] = Data::zeroFill(size);
    return *this;
}

const std::string &CoffBuilder::sectionName(const std::string &name) const
{
    if (!cCoff.cScnHdr.count(name))
        throw std::invalid_argument("no section '" + name + "'");
    return name;
}

CoffBuilder &CoffBuilder::symbol(const std::string &name, uint32_t value, int16_t scnum, uint8_t sclass,
                                 uint16_t type)
{
    coff_syment s;
    setName(s._n_name, false, name);
    s.n_value = value;
    s.n_scnum = scnum;
    s.n_type = type;
    s.n_sclass = sclass;
    s.n_numaux = 0;
    cLastSymbol = cCoff.cSymbols.size();
    cCoff.cSymbols.push_back(s);
    cCoff.cAuxKind.push_back(AUX_NONE);
    return *this;
}

CoffBuilder &CoffBuilder::symbol(const std::string &name, uint32_t value, const std::string &section,
                                 uint8_t sclass, uint16_t type)
{
    sectionName(section);
    for (const auto &[num, scn] : cCoff.cScnNum)
        if (scn == section)
            return symbol(name, value, int16_t(num), sclass, type);
    throw std::invalid_argument("no section '" + section + "'");
}

CoffBuilder &CoffBuilder::addAux(const uint8_t *bytes)
{
    if (cLastSymbol == SIZE_MAX || cLastSymbol + 1 != cCoff.cSymbols.size())
        throw std::invalid_argument("an auxiliary entry must follow a symbol");
    cCoff.cSymbols[cLastSymbol].n_numaux = 1;
    AuxKind kind = Coff::auxKind(cCoff.cSymbols[cLastSymbol]);
    cCoff.cSymbols.push_back(unpackSyment(bytes));
    cCoff.cAuxKind.push_back(kind);
    return *this;
}

namespace {

template <class Aux> std::vector<uint8_t> auxBytes(const Aux &a)
{
    std::vector<uint8_t> b(AUXENT_SIZE, 0);
    packAux(b.data(), a);
    return b;
}

} // namespace

CoffBuilder &CoffBuilder::aux(const aux_file &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_scn &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_tag &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_eos &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_fcn &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_arr &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_eobf &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_bobf &a) { return addAux(auxBytes(a).data()); }
CoffBuilder &CoffBuilder::aux(const aux_var &a) { return addAux(auxBytes(a).data()); }

CoffBuilder &CoffBuilder::file(const std::string &source, uint32_t incline)
{
    symbol(".file", 0, int16_t(-2), C_FILE);
    cLastFile = uint32_t(cLastSymbol);
    aux_file a;
    a.x_offset = uint32_t(strTblAppend(cCoff.cStrTbl, source));
    a.x_incline = incline;
    return aux(a);
}

uint32_t CoffBuilder::symbolIndex(const std::string &name) const
{
    for (size_t i = 0; i < cCoff.cSymbols.size(); i++)
        if (cCoff.cAuxKind[i] == AUX_NONE && Coff::getName(cCoff.cSymbols[i], cCoff.cStrTbl) == name)
            return uint32_t(i);
    throw std::invalid_argument("no symbol '" + name + "'");
}

CoffBuilder &CoffBuilder::reloc(const std::string &section, uint32_t vaddr, const std::string &symbol,
                                uint16_t type, int16_t addend)
{
    return relocIndex(section, vaddr, symbolIndex(symbol), type, addend);
}

CoffBuilder &CoffBuilder::relocIndex(const std::string &section, uint32_t vaddr, uint32_t symndx, uint16_t type,
                                     int16_t addend)
{
    ::reloc r;
    r.r_vaddr = vaddr;
    r.r_symndx = symndx;
    r.r_offset = addend;
    r.r_type = type;
    cCoff.cReloc[sectionName(section)].push_back(r);
    return *this;
}

CoffBuilder &CoffBuilder::line(const std::string &section, uint16_t lnno, uint32_t paddr)
{
    coff_lineno l;
    l.l_srcndx = cLastFile;
    l.l_lnno = lnno;
    l.l_paddr = paddr;
    return line(section, l);
}

CoffBuilder &CoffBuilder::line(const std::string &section, uint16_t lnno, uint32_t paddr,
                               const std::string &function)
{
    coff_lineno l;
    l.l_srcndx = cLastFile;
    l.l_lnno = lnno;
    l.l_paddr = paddr;
    l.l_flags = 1;
    l.l_fcnndx = symbolIndex(function);
    return line(section, l);
}

CoffBuilder &CoffBuilder::line(const std::string &section, const coff_lineno &l)
{
    cCoff.cLineInfo[sectionName(section)].push_back(l);
    return *this;
}

Coff CoffBuilder::coff() const
{
    Coff c(cCoff);
    uint32_t stamp = c.cFileHdr.f_timdat;
    c.preWrite();
    c.cFileHdr.f_timdat = stamp;
    return c;
}

std::vector<uint8_t> CoffBuilder::bytes() const
{
    std::ostringstream out;
    if (!coff().write(out, 0))
        throw std::invalid_argument("the writer refused the object");
    std::string s = out.str();
    return std::vector<uint8_t>(s.begin(), s.end());
}

ArchiveBuilder &ArchiveBuilder::member(const std::string &name, const CoffBuilder &object)
{
    return member(name, object.coff());
}

ArchiveBuilder &ArchiveBuilder::member(const std::string &name, const Coff &object)
{
    cMembers.emplace_back(name, object);
    cMembers.back().second.cName = name;
    return *this;
}

Archive ArchiveBuilder::archive() const
{
    Archive a("test.lib");
    for (const auto &[name, coff] : cMembers)
        a.cMembers.push_back(std::make_unique<Coff>(coff));
    a.makeSymbols();
    return a;
}

std::vector<uint8_t> ArchiveBuilder::bytes() const
{
    // No index: the bytes do not hold one, and building it would report
    // the duplicate definitions that a test may want to put in a library.
    Archive a("test.lib");
    for (const auto &[name, coff] : cMembers)
        a.cMembers.push_back(std::make_unique<Coff>(coff));
    std::ostringstream out;
    if (!a.write(out))
        throw std::invalid_argument("the writer refused the library");
    std::string s = out.str();
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::unique_ptr<Coff> coffFromBytes(const std::vector<uint8_t> &image, const std::string &name)
{
    std::istringstream in(std::string(image.begin(), image.end()));
    return Coff::make(in, 0, name);
}
