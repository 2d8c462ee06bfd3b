// Packs and unpacks the COD records, one entry at a time.

#include "codrecords.h"

#include "bytes.h"
#include "diag.h"

#include <algorithm>
#include <cstring>

namespace {

// The two fields stored most significant byte first.
void putU32BigEndian(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t getU32BigEndian(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Offsets of the directory fields.
const size_t DIR_SOURCE_LEN = 256;
const size_t DIR_DATE_LEN = 320;
const size_t DIR_TIME = 328;
const size_t DIR_VERSION_LEN = 330;
const size_t DIR_COMPILER_LEN = 350;
const size_t DIR_NOTICE_LEN = 362;
const size_t DIR_SYMTAB = 426;
const size_t DIR_SYMEND = 428;
const size_t DIR_NAMTAB = 430;
const size_t DIR_NAMEND = 432;
const size_t DIR_LINETAB = 434;
const size_t DIR_LINEEND = 436;
const size_t DIR_ADDRSIZE = 438;
const size_t DIR_HIGHADDR = 439;
const size_t DIR_NEXTDIR = 441;
const size_t DIR_MEMMAPOFS = 443;
const size_t DIR_MEMMAPEND = 445;
const size_t DIR_LOCALVARS = 447;
const size_t DIR_LOCALEND = 449;
const size_t DIR_CODTYPE = 451;
const size_t DIR_PROCESSOR_LEN = 453;
const size_t DIR_LSYMTAB = 462;
const size_t DIR_LSYMEND = 464;
const size_t DIR_MESSTAB = 466;
const size_t DIR_MESSEND = 468;
const size_t DIR_SPARE = 470;

// The name of a local-group header entry.
const char LOCAL_GROUP_NAME[] = "__LOCAL";

} // namespace

uint8_t setCountedText(char *field, size_t capacity, const std::string &text)
{
    size_t n = std::min({text.size(), capacity, size_t(255)});
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), n);
    return uint8_t(n);
}

std::string countedText(const char *field, size_t capacity, uint8_t length)
{
    return std::string(field, std::min(size_t(length), capacity));
}

// ---------------------------------------------------------------- Directory

Directory::Directory()
{
    std::memset(Index, 0, sizeof Index);
    SourceLen = DateLen = VersionLen = CompilerLen = NoticeLen = ProcessorLen = AddrSize = 0;
    std::memset(Source, 0, sizeof Source);
    std::memset(Date, 0, sizeof Date);
    std::memset(Version, 0, sizeof Version);
    std::memset(Compiler, 0, sizeof Compiler);
    std::memset(Notice, 0, sizeof Notice);
    std::memset(Processor, 0, sizeof Processor);
    std::memset(Spare, 0, sizeof Spare);
    Time = SymTab = SymEnd = NamTab = NamEnd = LineTab = LineEnd = 0;
    HighAddr = NextDir = MemMapOfs = MemMapEnd = LocalVars = LocalEnd = 0;
    LSymTab = LSymEnd = MessTab = MessEnd = 0;
    CodType = 1;
}

void Directory::pack(uint8_t *b) const
{
    std::memset(b, 0, COD_BLOCK_SIZE);
    for (size_t k = 0; k < COD_INDEX_COUNT; ++k)
        putU16(b + 2 * k, Index[k]);
    b[DIR_SOURCE_LEN] = SourceLen;
    std::memcpy(b + DIR_SOURCE_LEN + 1, Source, sizeof Source);
    b[DIR_DATE_LEN] = DateLen;
    std::memcpy(b + DIR_DATE_LEN + 1, Date, sizeof Date);
    putU16(b + DIR_TIME, Time);
    b[DIR_VERSION_LEN] = VersionLen;
    std::memcpy(b + DIR_VERSION_LEN + 1, Version, sizeof Version);
    b[DIR_COMPILER_LEN] = CompilerLen;
    std::memcpy(b + DIR_COMPILER_LEN + 1, Compiler, sizeof Compiler);
    b[DIR_NOTICE_LEN] = NoticeLen;
    std::memcpy(b + DIR_NOTICE_LEN + 1, Notice, sizeof Notice);
    putU16(b + DIR_SYMTAB, SymTab);
    putU16(b + DIR_SYMEND, SymEnd);
    putU16(b + DIR_NAMTAB, NamTab);
    putU16(b + DIR_NAMEND, NamEnd);
    putU16(b + DIR_LINETAB, LineTab);
    putU16(b + DIR_LINEEND, LineEnd);
    b[DIR_ADDRSIZE] = AddrSize;
    putU16(b + DIR_HIGHADDR, HighAddr);
    putU16(b + DIR_NEXTDIR, NextDir);
    putU16(b + DIR_MEMMAPOFS, MemMapOfs);
    putU16(b + DIR_MEMMAPEND, MemMapEnd);
    putU16(b + DIR_LOCALVARS, LocalVars);
    putU16(b + DIR_LOCALEND, LocalEnd);
    putU16(b + DIR_CODTYPE, CodType);
    b[DIR_PROCESSOR_LEN] = ProcessorLen;
    std::memcpy(b + DIR_PROCESSOR_LEN + 1, Processor, sizeof Processor);
    putU16(b + DIR_LSYMTAB, LSymTab);
    putU16(b + DIR_LSYMEND, LSymEnd);
    putU16(b + DIR_MESSTAB, MessTab);
    putU16(b + DIR_MESSEND, MessEnd);
    std::memcpy(b + DIR_SPARE, Spare, sizeof Spare);
}

Directory Directory::unpack(const uint8_t *b)
{
    Directory d;
    for (size_t k = 0; k < COD_INDEX_COUNT; ++k)
        d.Index[k] = getU16(b + 2 * k);
    d.SourceLen = b[DIR_SOURCE_LEN];
    std::memcpy(d.Source, b + DIR_SOURCE_LEN + 1, sizeof d.Source);
    d.DateLen = b[DIR_DATE_LEN];
    std::memcpy(d.Date, b + DIR_DATE_LEN + 1, sizeof d.Date);
    d.Time = getU16(b + DIR_TIME);
    d.VersionLen = b[DIR_VERSION_LEN];
    std::memcpy(d.Version, b + DIR_VERSION_LEN + 1, sizeof d.Version);
    d.CompilerLen = b[DIR_COMPILER_LEN];
    std::memcpy(d.Compiler, b + DIR_COMPILER_LEN + 1, sizeof d.Compiler);
    d.NoticeLen = b[DIR_NOTICE_LEN];
    std::memcpy(d.Notice, b + DIR_NOTICE_LEN + 1, sizeof d.Notice);
    d.SymTab = getU16(b + DIR_SYMTAB);
    d.SymEnd = getU16(b + DIR_SYMEND);
    d.NamTab = getU16(b + DIR_NAMTAB);
    d.NamEnd = getU16(b + DIR_NAMEND);
    d.LineTab = getU16(b + DIR_LINETAB);
    d.LineEnd = getU16(b + DIR_LINEEND);
    d.AddrSize = b[DIR_ADDRSIZE];
    d.HighAddr = getU16(b + DIR_HIGHADDR);
    d.NextDir = getU16(b + DIR_NEXTDIR);
    d.MemMapOfs = getU16(b + DIR_MEMMAPOFS);
    d.MemMapEnd = getU16(b + DIR_MEMMAPEND);
    d.LocalVars = getU16(b + DIR_LOCALVARS);
    d.LocalEnd = getU16(b + DIR_LOCALEND);
    d.CodType = getU16(b + DIR_CODTYPE);
    d.ProcessorLen = b[DIR_PROCESSOR_LEN];
    std::memcpy(d.Processor, b + DIR_PROCESSOR_LEN + 1, sizeof d.Processor);
    d.LSymTab = getU16(b + DIR_LSYMTAB);
    d.LSymEnd = getU16(b + DIR_LSYMEND);
    d.MessTab = getU16(b + DIR_MESSTAB);
    d.MessEnd = getU16(b + DIR_MESSEND);
    std::memcpy(d.Spare, b + DIR_SPARE, sizeof d.Spare);
    return d;
}

bool Directory::operator==(const Directory &o) const
{
    uint8_t a[COD_BLOCK_SIZE], b[COD_BLOCK_SIZE];
    pack(a);
    o.pack(b);
    return std::memcmp(a, b, COD_BLOCK_SIZE) == 0;
}

// -------------------------------------------------------------------- Block

Block::Block(const uint8_t *bytes) { std::memcpy(cBytes.data(), bytes, COD_BLOCK_SIZE); }

// ------------------------------------------------------------------- Symbol

Symbol::Symbol() : NameLen(0), SymbolType(0), SymbolValue(0) { std::memset(Name, 0, sizeof Name); }

Symbol::Symbol(const std::string &name, uint8_t type, uint16_t value) : SymbolType(type), SymbolValue(value)
{
    size_t len = name.size();
    SUITE_ASSERT(len <= MAX_LENGTH);
    NameLen = setCountedText(Name, MAX_LENGTH, name);
}

void Symbol::pack(uint8_t *e) const
{
    e[0] = NameLen;
    std::memcpy(e + 1, Name, MAX_LENGTH);
    e[13] = SymbolType;
    putU16(e + 14, SymbolValue);
}

Symbol Symbol::unpack(const uint8_t *e)
{
    Symbol s;
    s.NameLen = e[0];
    std::memcpy(s.Name, e + 1, MAX_LENGTH);
    s.SymbolType = e[13];
    s.SymbolValue = getU16(e + 14);
    return s;
}

bool Symbol::operator==(const Symbol &o) const
{
    return name() == o.name() && SymbolType == o.SymbolType && SymbolValue == o.SymbolValue;
}

// --------------------------------------------------------------- SourceName

SourceName::SourceName() : FileNameLen(0) { std::memset(FileName, 0, sizeof FileName); }

SourceName::SourceName(const std::string &name)
{
    size_t len = name.size();
    SUITE_ASSERT(len < MAX_LENGTH);
    FileNameLen = setCountedText(FileName, MAX_LENGTH, name);
}

void SourceName::pack(uint8_t *e) const
{
    e[0] = FileNameLen;
    std::memcpy(e + 1, FileName, MAX_LENGTH);
}

SourceName SourceName::unpack(const uint8_t *e)
{
    SourceName s;
    s.FileNameLen = e[0];
    std::memcpy(s.FileName, e + 1, MAX_LENGTH);
    return s;
}

bool SourceName::operator==(const SourceName &o) const { return name() == o.name(); }

// ----------------------------------------------------- LineInfo, MemoryMap

void LineInfo::pack(uint8_t *e) const
{
    e[0] = FileNum;
    e[1] = Flags;
    putU16(e + 2, Line);
    putU16(e + 4, CodeAddress);
}

LineInfo LineInfo::unpack(const uint8_t *e) { return LineInfo(e[0], e[1], getU16(e + 2), getU16(e + 4)); }

void MemoryMap::pack(uint8_t *e) const
{
    putU16(e, Start);
    putU16(e + 2, Last);
}

MemoryMap MemoryMap::unpack(const uint8_t *e) { return MemoryMap(getU16(e), getU16(e + 2)); }

// --------------------------------------------------------------- LongSymbol

void LongSymbol::pack(uint8_t *e) const
{
    e[0] = NameLen;
    std::memset(e + 1, 0, NameLen);
    std::memcpy(e + 1, Name.data(), std::min(Name.size(), size_t(NameLen)));
    putU16(e + 1 + NameLen, Type);
    putU32BigEndian(e + 3 + NameLen, Value);
}

bool LongSymbol::unpack(const uint8_t *e, size_t available, LongSymbol &out)
{
    if (available < COD_LONG_SYMBOL_FIXED || available < COD_LONG_SYMBOL_FIXED + e[0])
        return false;
    out.NameLen = e[0];
    out.Name.assign(reinterpret_cast<const char *>(e + 1), out.NameLen);
    out.Type = getU16(e + 1 + out.NameLen);
    out.Value = getU32BigEndian(e + 3 + out.NameLen);
    return true;
}

// --------------------------------------------------------------- LocalGroup

void LocalGroup::packHeader(uint8_t *e) const
{
    std::memset(e, 0, COD_LOCAL_ENTRY_SIZE);
    e[0] = sizeof LOCAL_GROUP_NAME - 1;
    std::memcpy(e + 1, LOCAL_GROUP_NAME, sizeof LOCAL_GROUP_NAME - 1);
    putU32(e + 8, StartAddr);
    putU32(e + 12, EndAddr);
}

// ----------------------------------------------------------------- DebugMsg

DebugMsg::DebugMsg(uint32_t address, uint8_t type, uint8_t length, const std::string &text)
    : Address(address), Type(type)
{
    Msg = text.substr(0, std::min(size_t(length), text.size()));
    MsgLen = uint8_t(Msg.size());
}

void DebugMsg::pack(uint8_t *e) const
{
    putU32BigEndian(e, Address);
    e[4] = Type;
    e[5] = MsgLen;
    std::memset(e + 6, 0, MsgLen);
    std::memcpy(e + 6, Msg.data(), std::min(Msg.size(), size_t(MsgLen)));
}

bool DebugMsg::unpack(const uint8_t *e, size_t available, DebugMsg &out)
{
    if (available < COD_DEBUG_MSG_FIXED || available < COD_DEBUG_MSG_FIXED + e[5])
        return false;
    out.Address = getU32BigEndian(e);
    out.Type = e[4];
    out.MsgLen = e[5];
    out.Msg.assign(reinterpret_cast<const char *>(e + 6), out.MsgLen);
    return true;
}
