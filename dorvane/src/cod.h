// The COD debug file in memory: one directory per 64 KB window of byte
// addresses, the code blocks of each window and the record tables. Whoever
// fills it (the COFF converter, a reader) calls preWrite() to number the
// blocks, then write().
//
// The file on disk, in block order:
//   directories (window 0 first), code blocks (per directory, by key),
//   short symbols, source names, line infos (per directory), local groups,
//   memory maps (per directory), long symbols, debug messages.
#pragma once

#include "codrecords.h"

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Block numbers are 16 bits, so a file holds at most this many blocks.
const size_t COD_MAX_BLOCKS = 65535;

class Cod
{
public:
    Cod() = default;

    // Appends one record to a list; a reader hands these over as callbacks.
    static void addSymbol(std::vector<Symbol> &list, const Symbol &record);
    static void addSourceName(std::vector<SourceName> &list, const SourceName &record);
    static void addLineInfo(std::vector<LineInfo> &list, const LineInfo &record);
    static void addMemoryMap(std::vector<MemoryMap> &list, const MemoryMap &record);
    static void addLongSymbol(std::vector<LongSymbol> &list, const LongSymbol &record);
    static void addLocalGroup(std::vector<LocalGroup> &list, const LocalGroup &record);
    static void addDebugMsg(std::vector<DebugMsg> &list, const DebugMsg &record);

    // Appends a cleared directory for the next window with its empty
    // line-info list, memory-map list and code-block map.
    void addDirectory();

    // Adds one line info to a directory's list while the file can still
    // hold every line-info block counted so far. Past that the records are
    // only counted and those held are given back: the file will be refused
    // whole, and memory stays within what a COD file can hold.
    void storeLineInfo(size_t directory, const LineInfo &record);
    // The line infos of a directory, held or only counted.
    size_t lineInfoCount(size_t directory) const;

    // Numbers the blocks and stores the numbers, date and time in the
    // directories. False, after reporting, when the file would need more
    // blocks than 16-bit block numbers can name.
    bool preWrite();
    // Writes the file; false after reporting an error. An existing file of
    // that name is replaced only when the whole file has been written.
    bool write();
    bool writeBlockList(std::ostream &out, const std::vector<Block> &blocks, const std::string &kind,
                        const std::string &name);

    // The blocks of one record list, entries packed in list order.
    static std::vector<Block> packCodeBlocks(const std::map<uint16_t, Block> &blocks);
    static std::vector<Block> packSymbols(const std::vector<Symbol> &list);
    static std::vector<Block> packSourceNames(const std::vector<SourceName> &list);
    static std::vector<Block> packLineInfos(const std::vector<LineInfo> &list);
    static std::vector<Block> packLocalGroups(const std::vector<LocalGroup> &list);
    static std::vector<Block> packMemoryMaps(const std::vector<MemoryMap> &list);
    static std::vector<Block> packLongSymbols(const std::vector<LongSymbol> &list);
    static std::vector<Block> packDebugMsgs(const std::vector<DebugMsg> &list);

    // The name the file is written under: cFileName when set, else
    // directory 0's Source field.
    std::string fileName() const;

    // The clock for the directory stamp and the listing: the current time
    // unless a fixed time was set.
    void setClock(std::time_t when) { cClock = when; }
    std::time_t now() const;

    // ---- Reading and dump (cod_read.cpp, cod_dump.cpp) ----
    // Reads a COD file and checks its structure: the directory chain, every
    // table and the code blocks. None after reporting why not.
    static std::unique_ptr<Cod> make(const std::string &name);
    // Prints the directories, line-info tables, memory-map lists and code
    // blocks.
    void dump(std::ostream &out) const;

    // Block readers: each calls add(list, record) for every used entry of
    // one block, in block order. False when an entry is malformed: a counted
    // length beyond its field, or an entry running past the block.
    template <class Record> using AddRecord = void (*)(std::vector<Record> &, const Record &);
    static bool unpackSymbols(const Block &block, AddRecord<Symbol> add, std::vector<Symbol> &list);
    static bool unpackSourceNames(const Block &block, AddRecord<SourceName> add, std::vector<SourceName> &list);
    static bool unpackLineInfos(const Block &block, AddRecord<LineInfo> add, std::vector<LineInfo> &list);
    static bool unpackMemoryMaps(const Block &block, AddRecord<MemoryMap> add, std::vector<MemoryMap> &list);
    static bool unpackLongSymbols(const Block &block, AddRecord<LongSymbol> add, std::vector<LongSymbol> &list);
    static bool unpackDebugMsgs(const Block &block, AddRecord<DebugMsg> add, std::vector<DebugMsg> &list);
    // A group may run on into the next block of its table: the group being
    // read waits in pending until the next group header, and the caller
    // hands over what is left in pending after the table's last block. False
    // also for symbol entries before the table's first group header.
    static bool unpackLocalGroups(const Block &block, AddRecord<LocalGroup> add, std::vector<LocalGroup> &list,
                                  std::optional<LocalGroup> &pending);

    // The file's full name; Source holds it cut to its field.
    std::string cFileName;
    std::vector<Directory> cDirectory;
    std::vector<Symbol> cSymbol;
    std::vector<SourceName> cSourceName;
    std::vector<std::vector<LineInfo>> cLineInfo;
    std::vector<std::vector<MemoryMap>> cMemoryMap;
    std::vector<LongSymbol> cLongSymbol;
    std::vector<LocalGroup> cLocalGroup;
    std::vector<DebugMsg> cDebugMsg;
    // Per directory, the code blocks by key (bits 9 to 15 of the byte address).
    std::vector<std::map<uint16_t, Block>> cCodeBlock;

private:
    std::time_t cClock = 0;
    // Per directory, the line infos counted but not held.
    std::vector<size_t> cLineInfoCounted;
    // The line-info blocks of all directories together.
    size_t cLineInfoBlocks = 0;
    bool cLineInfoOnlyCounted = false;
};

// Record printers of the dump: one line per record; a directory prints a
// title and one line per field, a block its title, size and hex dump, a
// local group its header line, its symbols and a closing line.
void printRecord(std::ostream &out, const Directory &d);
void printRecord(std::ostream &out, const Block &b);
void printRecord(std::ostream &out, const Symbol &s);
void printRecord(std::ostream &out, const SourceName &s);
void printRecord(std::ostream &out, const LineInfo &l);
void printRecord(std::ostream &out, const MemoryMap &m);
void printRecord(std::ostream &out, const LongSymbol &s);
void printRecord(std::ostream &out, const LocalGroup &g);
void printRecord(std::ostream &out, const DebugMsg &m);
