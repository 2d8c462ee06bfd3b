// The records of a COD debug file: the directory block, the 512-byte code
// block and the table entries (short and long symbols, source names, line
// infos, memory-map ranges, local groups and debug messages).
//
// Each record keeps the fields of its entry on disk and has one pack/unpack
// pair that writes or reads exactly that entry, little-endian except where
// a field says otherwise. Counted texts keep their length byte beside a
// fixed field whose unused characters stay zero.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const size_t COD_BLOCK_SIZE = 512;
// Every directory describes one 64 KB window of byte addresses, split
// into 128 code blocks.
const size_t COD_INDEX_COUNT = 128;
const uint32_t COD_WINDOW_SIZE = 0x10000;

const size_t COD_SYMBOL_SIZE = 16;
const size_t COD_SOURCE_NAME_SIZE = 64;
const size_t COD_LINE_INFO_SIZE = 6;
const size_t COD_MEMORY_MAP_SIZE = 4;
const size_t COD_LOCAL_ENTRY_SIZE = 16;
const size_t COD_LONG_SYMBOL_FIXED = 7; // NameLen, Type, Value
const size_t COD_DEBUG_MSG_FIXED = 6;   // Address, Type, MsgLen

// Symbol type codes this converter writes.
const uint8_t COD_TYPE_ADDRESS = 46;
const uint8_t COD_TYPE_CONSTANT = 47;

// Line-info flags.
const uint8_t COD_LINE_FIRST = 0x80;   // first code address of a source line
const uint8_t COD_LINE_MORE = 0x00;    // a further address of the same line
const uint8_t COD_LINE_NOCODE = 0x90;  // a source line without code
const uint8_t COD_LINE_HEADER = 0x02;  // a line of a listing page header

// Stores text into a counted field of the given capacity, cut to fit;
// returns the stored length. The unused characters become zero.
uint8_t setCountedText(char *field, size_t capacity, const std::string &text);
// The counted text of a field, its length limited by the capacity.
std::string countedText(const char *field, size_t capacity, uint8_t length);

// One directory block. Directory 0 carries the file-wide tables and texts;
// every directory carries its own code index, line-info and memory-map
// ranges and its window number.
class Directory
{
public:
    Directory();

    void pack(uint8_t *block) const;
    static Directory unpack(const uint8_t *block);

    // Field texts, cut to their fields.
    void setSource(const std::string &text) { SourceLen = setCountedText(Source, sizeof Source, text); }
    void setDate(const std::string &text) { DateLen = setCountedText(Date, sizeof Date, text); }
    void setVersion(const std::string &text) { VersionLen = setCountedText(Version, sizeof Version, text); }
    void setNotice(const std::string &text) { NoticeLen = setCountedText(Notice, sizeof Notice, text); }
    void setProcessor(const std::string &text)
    {
        ProcessorLen = setCountedText(Processor, sizeof Processor, text);
    }
    std::string source() const { return countedText(Source, sizeof Source, SourceLen); }
    std::string date() const { return countedText(Date, sizeof Date, DateLen); }
    std::string version() const { return countedText(Version, sizeof Version, VersionLen); }
    std::string notice() const { return countedText(Notice, sizeof Notice, NoticeLen); }
    std::string processor() const { return countedText(Processor, sizeof Processor, ProcessorLen); }

    bool operator==(const Directory &o) const;

    uint16_t Index[COD_INDEX_COUNT];
    uint8_t SourceLen;
    char Source[63];
    uint8_t DateLen;
    char Date[7];
    uint16_t Time;
    uint8_t VersionLen;
    char Version[19];
    uint8_t CompilerLen;
    char Compiler[11];
    uint8_t NoticeLen;
    char Notice[63];
    uint16_t SymTab;
    uint16_t SymEnd;
    uint16_t NamTab;
    uint16_t NamEnd;
    uint16_t LineTab;
    uint16_t LineEnd;
    uint8_t AddrSize;
    uint16_t HighAddr;
    uint16_t NextDir;
    uint16_t MemMapOfs;
    uint16_t MemMapEnd;
    uint16_t LocalVars;
    uint16_t LocalEnd;
    uint16_t CodType;
    uint8_t ProcessorLen;
    char Processor[8];
    uint16_t LSymTab;
    uint16_t LSymEnd;
    uint16_t MessTab;
    uint16_t MessEnd;
    uint8_t Spare[42];
};

// The code bytes of one 512-byte range of byte addresses.
class Block
{
public:
    Block() { cBytes.fill(0); }
    explicit Block(const uint8_t *bytes);

    uint8_t *data() { return cBytes.data(); }
    const uint8_t *data() const { return cBytes.data(); }
    bool operator==(const Block &o) const { return cBytes == o.cBytes; }

private:
    std::array<uint8_t, COD_BLOCK_SIZE> cBytes;
};

// A short symbol entry: at most 12 characters of the name.
class Symbol
{
public:
    static const size_t MAX_LENGTH = 12;

    Symbol();
    // The name must fit: callers cut longer names first.
    Symbol(const std::string &name, uint8_t type, uint16_t value);

    void pack(uint8_t *entry) const;
    static Symbol unpack(const uint8_t *entry);
    std::string name() const { return countedText(Name, MAX_LENGTH, NameLen); }

    bool operator==(const Symbol &o) const;
    bool operator<(const Symbol &o) const { return name() < o.name(); }

    uint8_t NameLen;
    char Name[MAX_LENGTH];
    uint8_t SymbolType;
    uint16_t SymbolValue;
};

// A source file name; its position in the table is its file number.
class SourceName
{
public:
    static const size_t MAX_LENGTH = 63;

    SourceName();
    // The name must have fewer than MAX_LENGTH characters.
    explicit SourceName(const std::string &name);

    void pack(uint8_t *entry) const;
    static SourceName unpack(const uint8_t *entry);
    std::string name() const { return countedText(FileName, MAX_LENGTH, FileNameLen); }

    bool operator==(const SourceName &o) const;
    bool operator<(const SourceName &o) const { return name() < o.name(); }

    uint8_t FileNameLen;
    char FileName[MAX_LENGTH];
};

// Ties one source or listing line to a code address.
class LineInfo
{
public:
    LineInfo() : FileNum(0), Flags(0), Line(0), CodeAddress(0) {}
    LineInfo(uint8_t fileNum, uint8_t flags, uint16_t line, uint16_t codeAddress)
        : FileNum(fileNum), Flags(flags), Line(line), CodeAddress(codeAddress)
    {
    }

    void pack(uint8_t *entry) const;
    static LineInfo unpack(const uint8_t *entry);

    bool operator==(const LineInfo &o) const
    {
        return FileNum == o.FileNum && Flags == o.Flags && Line == o.Line && CodeAddress == o.CodeAddress;
    }
    bool operator<(const LineInfo &o) const
    {
        return FileNum != o.FileNum ? FileNum < o.FileNum : Line < o.Line;
    }

    uint8_t FileNum;
    uint8_t Flags;
    uint16_t Line;
    uint16_t CodeAddress;
};

// One range of byte addresses, within its directory's window, that holds
// code; Last is the last byte of the range's last program word.
class MemoryMap
{
public:
    MemoryMap() : Start(0), Last(0) {}
    MemoryMap(uint16_t start, uint16_t last) : Start(start), Last(last) {}

    void pack(uint8_t *entry) const;
    static MemoryMap unpack(const uint8_t *entry);

    bool operator==(const MemoryMap &o) const { return Start == o.Start && Last == o.Last; }
    bool operator<(const MemoryMap &o) const { return Start < o.Start; }

    uint16_t Start;
    uint16_t Last;
};

// A symbol with its full name (up to 255 characters) and 32-bit value.
class LongSymbol
{
public:
    static const size_t MAX_LENGTH = 255;

    LongSymbol() : NameLen(0), Type(0), Value(0) {}

    // Bytes of the entry on disk.
    size_t size() const { return COD_LONG_SYMBOL_FIXED + NameLen; }
    // Writes the entry; Value goes most significant byte first.
    void pack(uint8_t *entry) const;
    // Reads an entry from the bytes available; false when it does not fit.
    static bool unpack(const uint8_t *entry, size_t available, LongSymbol &out);

    bool operator==(const LongSymbol &o) const
    {
        return NameLen == o.NameLen && Name == o.Name && Type == o.Type && Value == o.Value;
    }
    bool operator<(const LongSymbol &o) const { return Name < o.Name; }

    uint8_t NameLen;
    std::string Name;
    uint16_t Type;
    uint32_t Value;
};

// A group of local symbols valid between two addresses.
class LocalGroup
{
public:
    LocalGroup() : StartAddr(0), EndAddr(0) {}
    LocalGroup(uint32_t start, uint32_t end, const std::vector<Symbol> &symbols)
        : StartAddr(start), EndAddr(end), Symbols(symbols)
    {
    }

    // Entries on disk: the header entry and one per symbol.
    size_t entries() const { return 1 + Symbols.size(); }
    // Writes the group's header entry.
    void packHeader(uint8_t *entry) const;

    bool operator==(const LocalGroup &o) const
    {
        return StartAddr == o.StartAddr && EndAddr == o.EndAddr && Symbols == o.Symbols;
    }
    bool operator<(const LocalGroup &o) const { return StartAddr < o.StartAddr; }

    uint32_t StartAddr;
    uint32_t EndAddr;
    std::vector<Symbol> Symbols;
};

// A message for the debugger at a code address.
class DebugMsg
{
public:
    static const size_t MAX_LENGTH = 255;

    DebugMsg() : Address(0), Type(0), MsgLen(0) {}
    // The text is cut to 255 characters and to the length given.
    DebugMsg(uint32_t address, uint8_t type, uint8_t length, const std::string &text);

    size_t size() const { return COD_DEBUG_MSG_FIXED + MsgLen; }
    // Writes the entry; Address goes most significant byte first.
    void pack(uint8_t *entry) const;
    static bool unpack(const uint8_t *entry, size_t available, DebugMsg &out);

    bool operator==(const DebugMsg &o) const
    {
        return Address == o.Address && Type == o.Type && MsgLen == o.MsgLen && Msg == o.Msg;
    }
    bool operator<(const DebugMsg &o) const { return Address < o.Address; }

    uint32_t Address;
    uint8_t Type;
    uint8_t MsgLen;
    std::string Msg;
};
