// Target memory of a link: a Memory is one region of a CODEPAGE, DATABANK,
// SHAREBANK or ACCESSBANK directive; inside it every stretch of locations is
// a Range, either a free hole or the range a section was allocated to.
// MemSize pairs a memory with the size of its largest hole.
//
// Units: starts, ends and range sizes count locations (a program word in
// program memory, a byte in data memory); section and file-part lengths
// count bytes; bytes per location = (width bits + 7) / 8.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// The kind of memory a region describes.
enum MemType : uint8_t { rom = 0, ram = 1 };

// One input file's part of a section, as placed by Range::load. Inputs are
// told apart by their number, not by their name: two inputs may be located
// under the same name.
struct LoadRecord
{
    uint32_t input = 0;  // the input's identity (its place in the link's input list)
    std::string file;    // its located name, for printing
    uint32_t start = 0;  // first location of the part
    uint32_t length = 0; // length of the part in bytes
};

class Range
{
public:
    // A free range of one memory type with 8-bit locations at 0, size 0.
    Range();
    // A free range of size locations from start.
    Range(uint32_t start, uint32_t size, MemType type, uint16_t widthBits);

    uint32_t getStart() const { return cStart; }
    // Number of locations.
    uint32_t getSize() const { return cSize; }
    // Last location; the range must not be empty.
    uint32_t getEnd() const;
    const std::string &getAllocName() const { return cAllocName; }
    MemType getType() const { return cType; }
    uint32_t getLoadPointer() const { return cLoadPtr; }
    bool isOverlay() const { return cOverlay != 0; }

    uint16_t getWidthBits() const;
    void setWidthBits(uint16_t bits) { cWidthBits = bits; }
    uint32_t bytesPerLoc() const;
    uint32_t sizeInBytes() const;
    // Number of locations that hold length bytes (rounded up).
    uint32_t locs(uint32_t length) const;

    bool isAllocated() const { return !cAllocName.empty(); }

    // A part of length bytes fits at the first start that is a multiple of
    // alignment (in locations).
    bool canFit(uint32_t length, uint16_t alignment) const;
    // A part of length bytes fits from the given start.
    bool canFit(uint32_t start, uint32_t length) const;

    // Makes this free range the section's range from start; the parts of the
    // old range it does not take are appended to newHoles, leading part first.
    void allocate(const std::string &secName, uint32_t start, uint32_t length,
                  std::vector<Range> &newHoles, bool overlay);

    bool isLoaded(uint32_t input) const;
    // Places one input's part of a relocatable section at the load pointer.
    void load(uint32_t input, const std::string &file, uint32_t length);
    // Loads an absolute section in one go; the part takes the whole range.
    void load(uint32_t input, const std::string &file, uint32_t start, uint32_t length);
    bool loadComplete() const { return cLoadComplete != 0; }
    uint32_t getLoadStart(uint32_t input) const;
    uint32_t getLoadSize(uint32_t input) const;
    // The loaded parts in load order.
    const std::vector<LoadRecord> &getLoads() const { return cLoads; }

    void print(std::ostream &out) const;

private:
    const LoadRecord &loadRecord(uint32_t input) const;

    std::string cAllocName;
    uint32_t cStart = 0;
    uint32_t cSize = 0;
    uint32_t cLoadPtr = 0;
    MemType cType = ram;
    uint16_t cWidthBits = 8;
    uint32_t cOverlay = 0;
    uint32_t cLoadComplete = 0;
    std::vector<LoadRecord> cLoads;          // in load order
    std::map<uint32_t, size_t> cLoadIndex;   // input -> index into cLoads
};

class Memory
{
public:
    // An unnamed data memory of one location at 0.
    Memory();
    // One free range covering start..end; end must not be below start and
    // the region must have at most 0xFFFFFFFF locations.
    Memory(const std::string &name, uint32_t start, uint32_t end, MemType type,
           bool isProtected, bool hasFill, const std::string &fill);

    const std::string &getName() const { return cName; }
    uint32_t getStart() const { return cStart; }
    uint32_t getEnd() const { return cEnd; }
    MemType getType() const { return cType; }
    bool isProtected() const { return cProtected != 0; }
    bool hasFill() const { return cHasFill != 0; }
    const std::string &getFill() const { return cFill; }

    // Number of locations, end - start + 1.
    uint32_t size() const { return cEnd - cStart + 1; }
    // Size in bytes for the given width, in 64 bits: a region of 2-byte
    // locations can hold more bytes than 32 bits count.
    uint64_t sizeInBytes(uint16_t widthBits) const;
    bool overlaps(const Memory &other) const;

    // Sets the location width of every range; must come before anything that
    // counts bytes.
    void setWidthBits(uint16_t bits);

    bool canFit(uint32_t length, uint16_t alignment) const;
    bool canFit(uint32_t start, uint32_t length) const;
    // Places a relocatable section into the smallest hole that takes it.
    void allocate(const std::string &secName, uint32_t length, bool overlay, uint16_t alignment);
    // Places a section at a fixed start.
    void allocate(const std::string &secName, uint32_t start, uint32_t length, bool overlay);
    bool isAllocated(const std::string &secName) const;

    bool isLoaded(uint32_t input, const std::string &secName) const;
    void load(uint32_t input, const std::string &file, const std::string &secName, uint32_t length);
    void load(uint32_t input, const std::string &file, const std::string &secName,
              uint32_t start, uint32_t length);
    uint32_t getScnStart(const std::string &secName) const;
    uint32_t getScnSize(const std::string &secName) const;
    uint32_t getLoadStart(uint32_t input, const std::string &secName) const;
    uint32_t getLoadSize(uint32_t input, const std::string &secName) const;
    bool allLoaded() const;

    // The largest hole in bytes, 0 when there is none.
    uint32_t largestHole() const;
    // Calls back once per hole, in the order of the free list, when the
    // memory has FILL; with (this memory, first location, last location, fill).
    void forEachHole(const std::function<void(const Memory &, uint32_t, uint32_t, const std::string &)> &callback) const;
    // Orders the holes by size, smallest first, keeping the order of equals.
    void sortHoles();

    // The holes in the order of the free list: by size, equal sizes in the
    // order they were made, except that the leftovers of the latest
    // allocation stand at the end until the next one sorts them in.
    const std::vector<Range> &getHoles() const;
    const std::map<std::string, Range> &getAllocated() const { return cAlloc; }

    void print(std::ostream &out) const;
    // The memory's rows of the memory-usage table.
    void printUsage(std::ostream &out, bool header) const;

private:
    // A hole's place in the search order: its size in locations, then the
    // number it was made under (older first).
    using HoleKey = std::pair<uint32_t, uint64_t>;
    using HoleMap = std::map<HoleKey, Range>;

    const Range &allocatedRange(const std::string &secName) const;
    void addHole(const Range &hole);
    // The smallest, then oldest, hole that takes the part; end() if none.
    HoleMap::const_iterator findFit(uint32_t length, uint16_t alignment) const;
    HoleMap::const_iterator findFit(uint32_t start, uint32_t length) const;
    void takeHole(HoleMap::const_iterator hole, const std::string &secName, uint32_t start, uint32_t length,
                  bool overlay);

    std::string cName;
    MemType cType = ram;
    uint32_t cProtected = 0;
    uint32_t cHasFill = 0;
    std::string cFill;
    uint32_t cStart = 0;
    uint32_t cEnd = 0;
    // The free ranges, searched in (size, age) order and found by their
    // first location; holes never share a location.
    HoleMap cHoles;
    std::map<uint32_t, HoleKey> cHoleAt;
    uint64_t cNextHole = 0;
    // Holes numbered from here on are the latest allocation's leftovers.
    uint64_t cRecentHoles = 0;
    mutable std::vector<Range> cFreeList; // getHoles(), rebuilt when stale
    mutable bool cFreeListValid = false;
    std::map<std::string, Range> cAlloc;
};

// A memory and its largest hole in bytes; the allocator sorts candidates
// with lessBySize.
struct MemSize
{
    MemSize() = default;
    MemSize(Memory *memory, uint32_t size) : cMemory(memory), cSize(size) {}

    Memory *cMemory = nullptr;
    uint32_t cSize = 0;
};

bool lessBySize(const MemSize &a, const MemSize &b);
