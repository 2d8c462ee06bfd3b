// The COD model: adding records, packing the record lists into blocks,
// numbering the blocks and writing the file.

#include "cod.h"

#include "debugsw.h"
#include "diag.h"
#include "safefile.h"
#include "textio.h"

#include <cstdlib>
#include <iostream>

namespace {

// Packs fixed-size entries: an entry fits while it ends within the block.
template <class Record>
std::vector<Block> packFixed(const std::vector<Record> &list, size_t entrySize)
{
    std::vector<Block> result;
    Block buffer;
    size_t pos = 0;
    for (const Record &record : list) {
        if (pos + entrySize > COD_BLOCK_SIZE) {
            result.push_back(buffer);
            buffer = Block();
            pos = 0;
        }
        record.pack(buffer.data() + pos);
        pos += entrySize;
    }
    if (!list.empty())
        result.push_back(buffer);
    return result;
}

// Packs variable-size entries: an entry fits only when it ends before the
// block's last byte, so every block ends in a zero that stops a reader.
template <class Record>
std::vector<Block> packVariable(const std::vector<Record> &list)
{
    std::vector<Block> result;
    Block buffer;
    size_t pos = 0;
    for (const Record &record : list) {
        if (pos + record.size() >= COD_BLOCK_SIZE) {
            result.push_back(buffer);
            buffer = Block();
            pos = 0;
        }
        record.pack(buffer.data() + pos);
        pos += record.size();
    }
    if (!list.empty())
        result.push_back(buffer);
    return result;
}

// The number of blocks packVariable gives, without packing.
template <class Record>
size_t countVariable(const std::vector<Record> &list)
{
    size_t blocks = 0;
    size_t pos = 0;
    for (const Record &record : list) {
        if (blocks == 0 || pos + record.size() >= COD_BLOCK_SIZE) {
            ++blocks;
            pos = 0;
        }
        pos += record.size();
    }
    return blocks;
}

size_t roundUpDiv(size_t n, size_t d) { return (n + d - 1) / d; }

// Local-group entries a block holds: the last 16 bytes stay zero.
const size_t LOCAL_ENTRIES_PER_BLOCK = 31;

} // namespace

// ------------------------------------------------------------ adding records

void Cod::addSymbol(std::vector<Symbol> &list, const Symbol &record) { list.push_back(record); }
void Cod::addSourceName(std::vector<SourceName> &list, const SourceName &record) { list.push_back(record); }
void Cod::addLineInfo(std::vector<LineInfo> &list, const LineInfo &record) { list.push_back(record); }

size_t Cod::lineInfoCount(size_t directory) const
{
    size_t held = directory < cLineInfo.size() ? cLineInfo[directory].size() : 0;
    return held + (directory < cLineInfoCounted.size() ? cLineInfoCounted[directory] : 0);
}

void Cod::storeLineInfo(size_t directory, const LineInfo &record)
{
    SUITE_ASSERT(directory < cLineInfo.size());
    if (cLineInfoCounted.size() < cLineInfo.size())
        cLineInfoCounted.resize(cLineInfo.size());
    if (lineInfoCount(directory) % (COD_BLOCK_SIZE / COD_LINE_INFO_SIZE) == 0)
        ++cLineInfoBlocks;
    if (!cLineInfoOnlyCounted && cDirectory.size() + cLineInfoBlocks > COD_MAX_BLOCKS) {
        cLineInfoOnlyCounted = true;
        for (size_t i = 0; i < cLineInfo.size(); ++i) {
            cLineInfoCounted[i] += cLineInfo[i].size();
            std::vector<LineInfo>().swap(cLineInfo[i]);
        }
    }
    if (cLineInfoOnlyCounted)
        ++cLineInfoCounted[directory];
    else
        addLineInfo(cLineInfo[directory], record);
}
void Cod::addMemoryMap(std::vector<MemoryMap> &list, const MemoryMap &record) { list.push_back(record); }
void Cod::addLongSymbol(std::vector<LongSymbol> &list, const LongSymbol &record) { list.push_back(record); }
void Cod::addLocalGroup(std::vector<LocalGroup> &list, const LocalGroup &record) { list.push_back(record); }
void Cod::addDebugMsg(std::vector<DebugMsg> &list, const DebugMsg &record) { list.push_back(record); }

void Cod::addDirectory()
{
    Directory dir;
    dir.HighAddr = uint16_t(cDirectory.size());
    cDirectory.push_back(dir);
    cLineInfo.emplace_back();
    cMemoryMap.emplace_back();
    cCodeBlock.emplace_back();
}

std::string Cod::fileName() const
{
    if (!cFileName.empty())
        return cFileName;
    return cDirectory.empty() ? std::string() : cDirectory[0].source();
}

std::time_t Cod::now() const { return cClock != 0 ? cClock : currentTime(); }

// ------------------------------------------------------------------ packing

std::vector<Block> Cod::packCodeBlocks(const std::map<uint16_t, Block> &blocks)
{
    std::vector<Block> result;
    result.reserve(blocks.size());
    for (const auto &entry : blocks)
        result.push_back(entry.second);
    return result;
}

std::vector<Block> Cod::packSymbols(const std::vector<Symbol> &list) { return packFixed(list, COD_SYMBOL_SIZE); }

std::vector<Block> Cod::packSourceNames(const std::vector<SourceName> &list)
{
    return packFixed(list, COD_SOURCE_NAME_SIZE);
}

std::vector<Block> Cod::packLineInfos(const std::vector<LineInfo> &list)
{
    return packFixed(list, COD_LINE_INFO_SIZE);
}

std::vector<Block> Cod::packMemoryMaps(const std::vector<MemoryMap> &list)
{
    return packFixed(list, COD_MEMORY_MAP_SIZE);
}

std::vector<Block> Cod::packLongSymbols(const std::vector<LongSymbol> &list) { return packVariable(list); }

std::vector<Block> Cod::packDebugMsgs(const std::vector<DebugMsg> &list) { return packVariable(list); }

std::vector<Block> Cod::packLocalGroups(const std::vector<LocalGroup> &list)
{
    // A group's header entry and its symbols may be split over blocks.
    std::vector<Block> result;
    Block buffer;
    size_t pos = 0;
    auto nextEntry = [&]() {
        if (pos + COD_LOCAL_ENTRY_SIZE >= COD_BLOCK_SIZE) {
            result.push_back(buffer);
            buffer = Block();
            pos = 0;
        }
        uint8_t *entry = buffer.data() + pos;
        pos += COD_LOCAL_ENTRY_SIZE;
        return entry;
    };
    for (const LocalGroup &group : list) {
        group.packHeader(nextEntry());
        for (const Symbol &symbol : group.Symbols)
            symbol.pack(nextEntry());
    }
    if (!list.empty())
        result.push_back(buffer);
    return result;
}

// ---------------------------------------------------------------- numbering

bool Cod::preWrite()
{
    // A file always has directory 0, and every directory its three lists.
    if (cDirectory.empty())
        addDirectory();
    cLineInfo.resize(cDirectory.size());
    cMemoryMap.resize(cDirectory.size());
    cCodeBlock.resize(cDirectory.size());

    size_t numDirectoryBlock = cDirectory.size();
    size_t numRawDataBlock = 0;
    size_t numLineInfoBlock = 0;
    size_t numMemMapBlock = 0;
    for (size_t i = 0; i < cDirectory.size(); ++i) {
        numRawDataBlock += cCodeBlock[i].size();
        numLineInfoBlock += roundUpDiv(lineInfoCount(i), COD_BLOCK_SIZE / COD_LINE_INFO_SIZE);
        numMemMapBlock += roundUpDiv(cMemoryMap[i].size(), COD_BLOCK_SIZE / COD_MEMORY_MAP_SIZE);
    }
    size_t numSymbolBlock = roundUpDiv(cSymbol.size(), COD_BLOCK_SIZE / COD_SYMBOL_SIZE);
    size_t numSourceNameBlock = roundUpDiv(cSourceName.size(), COD_BLOCK_SIZE / COD_SOURCE_NAME_SIZE);
    size_t localEntries = 0;
    for (const LocalGroup &group : cLocalGroup)
        localEntries += group.entries();
    size_t numLocalGroupBlock = roundUpDiv(localEntries, LOCAL_ENTRIES_PER_BLOCK);
    size_t numLongBlock = countVariable(cLongSymbol);
    size_t numDebugBlock = countVariable(cDebugMsg);

    if (debugLevel("Cod::preWrite")) {
        std::cout << "Cod::preWrite()- dump of block mappings:\n"
                  << "  numDirectoryBlock=" << numDirectoryBlock << '\n'
                  << "  numRawDataBlock=" << numRawDataBlock << '\n'
                  << "  numSymbolBlock=" << numSymbolBlock << '\n'
                  << "  numSourceNameBlock=" << numSourceNameBlock << '\n'
                  << "  numLineInfoBlock=" << numLineInfoBlock << '\n'
                  << "  numLocalGroupBlock=" << numLocalGroupBlock << '\n'
                  << "  numMemMapBlock=" << numMemMapBlock << '\n'
                  << "  numLongBlock=" << numLongBlock << '\n'
                  << "  numDebugBlock=" << numDebugBlock << '\n';
    }

    size_t total = numDirectoryBlock + numRawDataBlock + numSymbolBlock + numSourceNameBlock + numLineInfoBlock +
                   numLocalGroupBlock + numMemMapBlock + numLongBlock + numDebugBlock;
    if (total > COD_MAX_BLOCKS) {
        report(SEV_ERROR, "Cod::preWrite()",
               "Cod file '" + fileName() + "' would need " + std::to_string(total) +
                   " blocks; a COD file holds at most " + std::to_string(COD_MAX_BLOCKS) + ".",
               false);
        return false;
    }

    // From here on every block number fits in 16 bits.
    uint16_t next = uint16_t(numDirectoryBlock);
    for (size_t i = 0; i < cDirectory.size(); ++i)
        for (const auto &entry : cCodeBlock[i])
            cDirectory[i].Index[entry.first % COD_INDEX_COUNT] = next++;

    for (size_t i = 0; i < cDirectory.size(); ++i)
        cDirectory[i].NextDir = i + 1 < cDirectory.size() ? uint16_t(i + 1) : 0;

    Directory &dir0 = cDirectory[0];
    // Sets a table's first and last block and moves on past it.
    auto assign = [&next](size_t count, uint16_t &first, uint16_t &last) {
        if (count == 0) {
            first = last = 0;
            return;
        }
        first = next;
        last = uint16_t(next + count - 1);
        next = uint16_t(next + count);
    };
    assign(numSymbolBlock, dir0.SymTab, dir0.SymEnd);
    assign(numSourceNameBlock, dir0.NamTab, dir0.NamEnd);
    for (size_t i = 0; i < cDirectory.size(); ++i)
        assign(roundUpDiv(lineInfoCount(i), COD_BLOCK_SIZE / COD_LINE_INFO_SIZE), cDirectory[i].LineTab,
               cDirectory[i].LineEnd);
    assign(numLocalGroupBlock, dir0.LocalVars, dir0.LocalEnd);
    for (size_t i = 0; i < cDirectory.size(); ++i)
        assign(roundUpDiv(cMemoryMap[i].size(), COD_BLOCK_SIZE / COD_MEMORY_MAP_SIZE), cDirectory[i].MemMapOfs,
               cDirectory[i].MemMapEnd);
    assign(numLongBlock, dir0.LSymTab, dir0.LSymEnd);
    assign(numDebugBlock, dir0.MessTab, dir0.MessEnd);

    std::time_t when = now();
    dir0.setDate(formatLocalTime(when, "%d%b%y").substr(0, 7));
    dir0.Time = uint16_t(std::strtol(formatLocalTime(when, "%H%M").c_str(), nullptr, 10));
    return true;
}

// ------------------------------------------------------------------ writing

bool Cod::writeBlockList(std::ostream &out, const std::vector<Block> &blocks, const std::string &kind,
                         const std::string &name)
{
    for (const Block &block : blocks) {
        out.write(reinterpret_cast<const char *>(block.data()), COD_BLOCK_SIZE);
        if (!out) {
            report(SEV_ERROR, "Cod::writeBlockList()",
                   "Could not write " + kind + " block in Cod file '" + name + "'.", false);
            return false;
        }
    }
    return true;
}

bool Cod::write()
{
    std::string name = fileName();
    SafeFile file;
    std::string err;
    if (!file.open(name, err)) {
        report(SEV_ERROR, "Cod::write()", "Could not open Cod file '" + name + "' for writing.", false);
        return false;
    }
    std::ostream &out = file.stream();

    for (const Directory &dir : cDirectory) {
        uint8_t block[COD_BLOCK_SIZE];
        dir.pack(block);
        out.write(reinterpret_cast<const char *>(block), COD_BLOCK_SIZE);
        if (!out) {
            report(SEV_ERROR, "Cod::write()", "Could not write directory in Cod file '" + name + "'.", false);
            return false;
        }
    }

    // The order in which preWrite numbered the blocks.
    for (const auto &blocks : cCodeBlock)
        if (!writeBlockList(out, packCodeBlocks(blocks), "code", name))
            return false;
    if (!writeBlockList(out, packSymbols(cSymbol), "symbol", name))
        return false;
    if (!writeBlockList(out, packSourceNames(cSourceName), "source name", name))
        return false;
    for (const auto &list : cLineInfo)
        if (!writeBlockList(out, packLineInfos(list), "line info", name))
            return false;
    if (!writeBlockList(out, packLocalGroups(cLocalGroup), "local group", name))
        return false;
    for (const auto &list : cMemoryMap)
        if (!writeBlockList(out, packMemoryMaps(list), "memory map", name))
            return false;
    if (!writeBlockList(out, packLongSymbols(cLongSymbol), "long symbol", name))
        return false;
    if (!writeBlockList(out, packDebugMsgs(cDebugMsg), "debug msg", name))
        return false;

    if (!file.commit(err)) {
        report(SEV_ERROR, "Cod::write()", "Could not write Cod file '" + name + "': " + err + ".", false);
        return false;
    }
    return true;
}
