// Cod::make: reads a COD file back into the model. The directories come
// first (block 0, then the NextDir chain), then every table from its first
// to its last block, then the code blocks that the directories' Index
// entries name.
//
// Every block number is checked against the file's size before it is read,
// and every block may serve one purpose only: a directory, one table or one
// code range. A chain that turns back, tables that overlap or entries that
// run past their block are broken files, and reading one always ends.

#include "cod.h"

#include "bytes.h"
#include "diag.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>

namespace {

// The name of a local group's header entry.
const char LOCAL_GROUP_NAME[] = "__LOCAL";

// Reads whole blocks of an open COD file and remembers which blocks have
// been given to a directory, a table or a code range.
class BlockFile
{
public:
    explicit BlockFile(const std::string &name) : cIn(name, std::ios::binary)
    {
        if (!cIn)
            return;
        cIn.seekg(0, std::ios::end);
        std::streamoff end = cIn.tellg();
        cBlocks = end > 0 ? uint64_t(end) / COD_BLOCK_SIZE : 0;
        cClaimed.assign(size_t(std::min<uint64_t>(cBlocks, COD_MAX_BLOCKS + 1)), false);
        cIn.clear();
    }

    bool isOpen() const { return bool(cIn.is_open()); }

    // Reads block n for its one use; false when the file ends before the
    // block does, or the block has already been used.
    bool claim(uint32_t n, Block &block)
    {
        if (uint64_t(n) >= cBlocks || n >= cClaimed.size() || cClaimed[n])
            return false;
        cIn.clear();
        cIn.seekg(std::streamoff(uint64_t(n) * COD_BLOCK_SIZE));
        cIn.read(reinterpret_cast<char *>(block.data()), std::streamsize(COD_BLOCK_SIZE));
        if (uint64_t(cIn.gcount()) != COD_BLOCK_SIZE)
            return false;
        cClaimed[n] = true;
        return true;
    }

    // True when blocks first to last all lie inside the file.
    bool holds(uint16_t first, uint16_t last) const { return first <= last && uint64_t(last) < cBlocks; }

private:
    std::ifstream cIn;
    uint64_t cBlocks = 0;
    std::vector<bool> cClaimed;
};

// Reads a table's blocks first to last (first 0: no table) and hands each
// to unpack. The range is checked whole before the first block is read.
bool readTable(BlockFile &file, uint16_t first, uint16_t last, const std::function<bool(const Block &)> &unpack)
{
    if (first == 0)
        return true;
    if (!file.holds(first, last))
        return false;
    for (uint32_t n = first; n <= last; ++n) {
        Block block;
        if (!file.claim(n, block) || !unpack(block))
            return false;
    }
    return true;
}

// Fixed-size entries: the used ones go to the list in block order.
template <class Record, class IsUsed, class Unpack>
void unpackFixed(const Block &block, size_t entrySize, IsUsed isUsed, Unpack unpack)
{
    for (size_t pos = 0; pos + entrySize <= COD_BLOCK_SIZE; pos += entrySize)
        if (isUsed(block.data() + pos))
            unpack(block.data() + pos);
}

} // namespace

// ------------------------------------------------------------ block readers

bool Cod::unpackSymbols(const Block &block, AddRecord<Symbol> add, std::vector<Symbol> &list)
{
    bool ok = true;
    unpackFixed<Symbol>(
        block, COD_SYMBOL_SIZE, [](const uint8_t *e) { return e[0] != 0; },
        [&](const uint8_t *e) {
            if (e[0] > Symbol::MAX_LENGTH)
                ok = false;
            else if (ok)
                add(list, Symbol::unpack(e));
        });
    return ok;
}

bool Cod::unpackSourceNames(const Block &block, AddRecord<SourceName> add, std::vector<SourceName> &list)
{
    bool ok = true;
    unpackFixed<SourceName>(
        block, COD_SOURCE_NAME_SIZE, [](const uint8_t *e) { return e[0] != 0; },
        [&](const uint8_t *e) {
            if (e[0] > SourceName::MAX_LENGTH)
                ok = false;
            else if (ok)
                add(list, SourceName::unpack(e));
        });
    return ok;
}

bool Cod::unpackLineInfos(const Block &block, AddRecord<LineInfo> add, std::vector<LineInfo> &list)
{
    unpackFixed<LineInfo>(
        block, COD_LINE_INFO_SIZE,
        [](const uint8_t *e) {
            static const uint8_t zero[COD_LINE_INFO_SIZE] = {};
            return std::memcmp(e, zero, COD_LINE_INFO_SIZE) != 0;
        },
        [&](const uint8_t *e) { add(list, LineInfo::unpack(e)); });
    return true;
}

bool Cod::unpackMemoryMaps(const Block &block, AddRecord<MemoryMap> add, std::vector<MemoryMap> &list)
{
    unpackFixed<MemoryMap>(
        block, COD_MEMORY_MAP_SIZE,
        [](const uint8_t *e) {
            MemoryMap m = MemoryMap::unpack(e);
            return m.Start != 0 || m.Last != 0;
        },
        [&](const uint8_t *e) { add(list, MemoryMap::unpack(e)); });
    return true;
}

bool Cod::unpackLongSymbols(const Block &block, AddRecord<LongSymbol> add, std::vector<LongSymbol> &list)
{
    // Entries run on until a NameLen of 0 or the end of the block.
    const uint8_t *b = block.data();
    size_t pos = 0;
    while (pos < COD_BLOCK_SIZE && b[pos] != 0) {
        LongSymbol symbol;
        if (!LongSymbol::unpack(b + pos, COD_BLOCK_SIZE - pos, symbol))
            return false;
        add(list, symbol);
        pos += symbol.size();
    }
    return true;
}

bool Cod::unpackDebugMsgs(const Block &block, AddRecord<DebugMsg> add, std::vector<DebugMsg> &list)
{
    // Entries run on until an MsgLen of 0 or until no fixed part fits.
    const uint8_t *b = block.data();
    size_t pos = 0;
    while (COD_BLOCK_SIZE - pos >= COD_DEBUG_MSG_FIXED && b[pos + 5] != 0) {
        DebugMsg msg;
        if (!DebugMsg::unpack(b + pos, COD_BLOCK_SIZE - pos, msg))
            return false;
        add(list, msg);
        pos += msg.size();
    }
    return true;
}

bool Cod::unpackLocalGroups(const Block &block, AddRecord<LocalGroup> add, std::vector<LocalGroup> &list,
                            std::optional<LocalGroup> &pending)
{
    const size_t nameLength = sizeof LOCAL_GROUP_NAME - 1;
    for (size_t pos = 0; pos + COD_LOCAL_ENTRY_SIZE <= COD_BLOCK_SIZE; pos += COD_LOCAL_ENTRY_SIZE) {
        const uint8_t *e = block.data() + pos;
        if (e[0] == 0)
            break;
        if (e[0] > Symbol::MAX_LENGTH)
            return false;
        if (e[0] == nameLength && std::memcmp(e + 1, LOCAL_GROUP_NAME, nameLength) == 0) {
            if (pending)
                add(list, *pending);
            pending = LocalGroup(getU32(e + 8), getU32(e + 12), {});
            continue;
        }
        if (!pending)
            return false;
        pending->Symbols.push_back(Symbol::unpack(e));
    }
    return true;
}

// ------------------------------------------------------------------ reading

std::unique_ptr<Cod> Cod::make(const std::string &name)
{
    auto fail = [&](const std::string &message) {
        report(SEV_ERROR, "Cod::make()", message, false);
        return nullptr;
    };
    BlockFile file(name);
    if (!file.isOpen())
        return fail("Could not open Cod file '" + name + "' for reading.");
    const std::string cod = "Cod file '" + name + "'";

    auto result = std::make_unique<Cod>();
    Cod &c = *result;
    auto addDirectory = [&c](const Block &block) {
        c.cDirectory.push_back(Directory::unpack(block.data()));
        c.cLineInfo.emplace_back();
        c.cMemoryMap.emplace_back();
        c.cCodeBlock.emplace_back();
    };

    Block block;
    if (!file.claim(0, block))
        return fail(cod + " does not have a properly formed first directory.");
    addDirectory(block);
    // Directories follow one another: a NextDir that does not lead forward
    // would make the chain a loop.
    for (uint16_t at = 0; c.cDirectory.back().NextDir != 0;) {
        uint16_t next = c.cDirectory.back().NextDir;
        if (next <= at || !file.claim(next, block))
            return fail(cod + " does not have a properly formed linked directory.");
        addDirectory(block);
        at = next;
    }

    const Directory dir0 = c.cDirectory[0];
    if (!readTable(file, dir0.SymTab, dir0.SymEnd,
                   [&](const Block &b) { return unpackSymbols(b, addSymbol, c.cSymbol); }))
        return fail(cod + " does not have a proper symbol table.");
    if (!readTable(file, dir0.NamTab, dir0.NamEnd,
                   [&](const Block &b) { return unpackSourceNames(b, addSourceName, c.cSourceName); }))
        return fail(cod + " does not have a proper name table.");
    for (size_t i = 0; i < c.cDirectory.size(); ++i)
        if (!readTable(file, c.cDirectory[i].LineTab, c.cDirectory[i].LineEnd,
                       [&](const Block &b) { return unpackLineInfos(b, addLineInfo, c.cLineInfo[i]); }))
            return fail(cod + " does not have a proper line info table.");
    for (size_t i = 0; i < c.cDirectory.size(); ++i)
        if (!readTable(file, c.cDirectory[i].MemMapOfs, c.cDirectory[i].MemMapEnd,
                       [&](const Block &b) { return unpackMemoryMaps(b, addMemoryMap, c.cMemoryMap[i]); }))
            return fail(cod + " does not have a proper memory map table.");
    if (!readTable(file, dir0.LSymTab, dir0.LSymEnd,
                   [&](const Block &b) { return unpackLongSymbols(b, addLongSymbol, c.cLongSymbol); }))
        return fail(cod + " does not have a proper long symbol table.");
    std::optional<LocalGroup> pending;
    if (!readTable(file, dir0.LocalVars, dir0.LocalEnd,
                   [&](const Block &b) { return unpackLocalGroups(b, addLocalGroup, c.cLocalGroup, pending); }))
        return fail(cod + " does not have a proper local vars table.");
    if (pending)
        addLocalGroup(c.cLocalGroup, *pending);
    if (!readTable(file, dir0.MessTab, dir0.MessEnd,
                   [&](const Block &b) { return unpackDebugMsgs(b, addDebugMsg, c.cDebugMsg); }))
        return fail(cod + " does not have a proper debug message table.");

    for (size_t i = 0; i < c.cDirectory.size(); ++i)
        for (uint16_t k = 0; k < COD_INDEX_COUNT; ++k) {
            uint16_t n = c.cDirectory[i].Index[k];
            if (n == 0)
                continue;
            if (!file.claim(n, block))
                return fail(cod + " does not have a proper Index.");
            c.cCodeBlock[i][k] = block;
        }
    return result;
}
