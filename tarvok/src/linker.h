// The link engine. The command-line and command-file parser hands it the
// whole configuration through thirteen virtual callbacks; the link run then
// reads that configuration, loads the inputs, places every section, resolves
// symbols, patches the code and writes the executable.
//
// One class, several files: each phase of the link lives in the file named
// after it (see the groups below); this header declares them all.
#pragma once

#include "archive.h"
#include "coff.h"
#include "coff_format.h"
#include "data.h"
#include "memtarg.h"
#include "mgproc.h"
#include "sectiondesc.h"
#include "stackdesc.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

class Linker
{
public:
    Linker();
    virtual ~Linker();
    Linker(const Linker &) = delete;
    Linker &operator=(const Linker &) = delete;

    // ---- Configuration callbacks (linker.cpp), in their fixed slot order.
    // Each checks its value against what came before and records it, or
    // fills err and returns false leaving the Linker unchanged.
    virtual bool setMinHeapSize(uint32_t size, std::string &err);            // HEAP
    virtual bool setMapFile(const std::string &name, std::string &err);      // /m
    virtual bool setOutputFile(const std::string &name, std::string &err);   // /o
    virtual bool addObjectFile(const std::string &name, std::string &err);   // .o argument, FILES
    virtual bool addLibraryFile(const std::string &name, std::string &err);  // .lib argument, FILES
    virtual bool addCodePage(const Memory &memory, std::string &err);        // CODEPAGE
    virtual bool addDataBank(const Memory &memory, std::string &err);        // DATABANK
    virtual bool addShareBank(const Memory &memory, std::string &err);       // SHAREBANK
    virtual bool addAccessBank(const Memory &memory, std::string &err);      // ACCESSBANK
    virtual bool addSectionDesc(const SectionDesc &desc, std::string &err);  // SECTION
    virtual bool setStackDesc(const StackDesc &desc, std::string &err);      // STACK
    virtual bool addLibPath(const std::string &dir, std::string &err);       // /l, LIBPATH
    virtual bool setStrip(uint32_t flag, std::string &err);                  // /s

    // The command files read, INCLUDEd ones too, under the names found:
    // inputs that no output may replace.
    void setCommandFiles(const std::vector<std::string> &names) { cCommandFiles = names; }

    // ---- The link run (linker.cpp): the phases in order, stopping at the
    // first that fails. err holds that phase's message, or is empty when the
    // phase reported its own.
    bool link(std::string &err);

    // Debug dump of the settings and, under "Linker::print", the tables.
    void print(std::ostream &out) const;

    // Bytes per location of the linked processor's program (rom) or data
    // (ram) memory; the widths must be known.
    uint32_t bytesPerWord(MemType memType) const;

    // ---- Inputs (linker_inputs.cpp): find, read and check every object
    // and library, then add the library members that define symbols still
    // undefined.
    bool loadObjectFiles(std::string &err);
    bool loadLibraryFiles(std::string &err);
    bool importLibraryMembers(std::string &err);
    // Once every input is located: neither the executable nor the map file
    // may be an input or the other output. Reports each and leaves err empty.
    bool checkOutputFiles(std::string &err);

    // ---- Consistency (linker_check.cpp): the one processor of the link and
    // the per-section tables, with agreement across inputs and directives.
    bool verifyProcessor(std::string &err);
    bool collectSectionInfo(std::string &err);
    bool verifySectionAttributes(std::string &err);

    // ---- Allocation (linker_alloc.cpp): every section, image, the stack
    // and ".cinit" into the memories; then the error map (linker_errmap.cpp),
    // held back while the link may still succeed when the map file is
    // written directly (a device, a FIFO), which would keep both maps.
    bool mapSections(std::string &err);
    void writeErrorMapFile();

    // Once the widths are known: every region's size in bytes must fit in
    // 32 bits, since sections and holes count their bytes that way. Reports
    // the first region that does not in err.
    bool checkMemorySizes(std::string &err) const;

    // ---- Configuration, read by the link run.
    uint32_t getMinHeapSize() const { return cMinHeapSize; }
    const StackDesc &getStackDesc() const { return cStackDesc; }
    bool isStackDeclared() const { return cStackDeclared != 0; }
    const std::string &getMapFile() const { return cMapFile; }
    const std::string &getOutputFile() const { return cOutputFile; }
    const std::vector<std::string> &getObjectFiles() const { return cObjectFile; }
    const std::vector<std::string> &getLibraryFiles() const { return cLibraryFile; }
    const std::vector<Memory> &getCodePages() const { return cCodePage; }
    const std::vector<Memory> &getDataBanks() const { return cDataBanks; }
    const std::vector<Memory> &getShareBanks() const { return cShareBanks; }
    const std::vector<Memory> &getAccessBanks() const { return cAccessBanks; }
    const std::vector<SectionDesc> &getSectionDescs() const { return cSectionDesc; }
    const std::vector<std::string> &getLibPaths() const { return cLibPath; }
    uint32_t getStrip() const { return cStrip; }

    // The CODEPAGEs with a FILL value of one link may span at most this many
    // locations together: their unused stretches become sections held in
    // memory and written into the executable.
    static const uint32_t MAX_FILL_LOCATIONS = 0x1000000;
    // True when the memory has no FILL or its locations fit in what the
    // CODEPAGEs with FILL taken so far leave of MAX_FILL_LOCATIONS; else
    // err names the CODEPAGE and `at`, its place in a command file (empty
    // for none).
    bool fillFits(const Memory &memory, const std::string &at, std::string &err) const;

protected:
    // ---- Checks behind the memory callbacks (linker.cpp).
    bool checkDuplicateMemory(const Memory &memory, bool skipShareBanks, std::string &err) const;
    bool checkRomOverlap(const Memory &memory, std::string &err) const;
    bool checkRamOverlap(const Memory &memory, std::string &err) const;

    // ---- Section loading, the ".cinit" table, symbol and line relocation,
    // string tables and external symbols (linker_symbols.cpp).
    bool loadSections(std::string &err);
    bool buildCinitTbl(std::string &err);
    bool relocateSymbols(std::string &err);
    bool relocateLineInfo(std::string &err);
    // Calls visit with the line numbers of every input's code sections that
    // have any, input after input, each input's sections in number order.
    void forEachCodeLineInfo(
        const std::function<void(uint32_t input, Coff &coff, const std::string &name, std::vector<coff_lineno> &lines)>
            &visit);
    void mergeStringTbls();
    // Renumbers an input's long names and file names to the merged table
    // (offsets: each string's offset there).
    void replaceStringTbl(Coff &coff, const std::map<std::string, int32_t> &offsets);
    bool buildExtSymDef(std::string &err);
    bool resolveExternals(std::string &err);

    // ---- The output object (linker_output.cpp).
    bool buildOutputScnNum(std::string &err);
    bool buildOutputSymbolTbl(std::string &err);
    bool buildOutputRawData(std::string &err);
    bool buildOutputLineInfo(std::string &err);
    bool buildOutputStringTbl(std::string &err);
    bool buildOutputScnHdrs(std::string &err);
    bool buildOutputFileHdr(std::string &err);
    void buildOutputHoles();
    // Lays out, checks and writes the executable, then the map file.
    bool writeOutputFiles(std::string &err);
    static void holeCallback(void *context, const Memory &memory, uint32_t start, uint32_t end,
                             const std::string &fill);
    void buildOutputHole(const Memory &memory, uint32_t start, uint32_t end, const std::string &fill);
    // Program-memory locations of all CODEPAGEs together.
    uint64_t codePageSize() const;

    // ---- Relocation patching (linker_patch.cpp, patch_core*.cpp). Each
    // patcher completes the word(s) one relocation entry names in the raw
    // data of the section, or fills err and writes nothing.
    bool verifyRelocations(std::string &err);
    bool patchSections(std::string &err);
    bool doPatch(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                 const StrTbl &strTbl, std::string &err);
    bool doPatchCore16E(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                        const StrTbl &strTbl, std::string &err);
    bool doPatchCore16(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err);
    bool doPatchCore14(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err);
    bool doPatchCore12(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err);

    // ---- Configuration, filled by the callbacks.
    uint32_t cHeapDeclared = 0;
    uint32_t cStackDeclared = 0;
    uint32_t cMinHeapSize = 0x20;
    StackDesc cStackDesc;
    std::string cStackName = ".stack";
    std::string cMapFile;
    std::string cOutputFile; // empty until the link run makes it "a.out"
    std::vector<std::string> cObjectFile;
    std::vector<std::string> cLibraryFile;
    std::vector<std::string> cCommandFiles;
    // The memories are held by value. They are only appended to while the
    // configuration is read; the link run refers into them (cScnMem), so no
    // list may grow once it has started.
    std::vector<Memory> cCodePage;
    std::vector<Memory> cDataBanks;
    std::vector<Memory> cShareBanks; // one name may repeat
    std::vector<Memory> cAccessBanks;
    std::vector<SectionDesc> cSectionDesc;
    std::vector<std::string> cLibPath;
    uint32_t cStrip = 0;
    uint64_t cFillLocations = 0; // the locations of the CODEPAGEs with FILL

    // ---- Link-run state, filled by the phases in order.
    std::vector<std::unique_ptr<Archive>> cArchives; // the libraries, in command order
    // The input objects, then the imported library members. An input's
    // place in this list is its number (the identity of its load records).
    std::vector<std::unique_ptr<Coff>> cCoff;
    Coff cOutput; // the executable being built
    uint16_t cRomWidthBits = 0;
    uint16_t cRamWidthBits = 0;
    ProcessorCode cProcessor = 0;
    DeviceFamily cFamily = 0;
    std::map<std::string, uint32_t> cScnSize;
    std::map<std::string, SectionType> cScnType;
    std::map<std::string, bool> cScnAbs;
    std::map<std::string, bool> cScnShare;
    std::map<std::string, bool> cScnOverlay;
    std::map<std::string, bool> cScnAccess;
    std::map<std::string, uint32_t> cScnAbsStart;
    std::map<std::string, uint32_t> cScnAbsSize;
    std::map<std::string, Memory *> cScnMem; // points into the memory lists
    std::map<std::string, const coff_syment *> cExtSymDef;
    std::map<uint32_t, uint32_t> cOutputSymMap; // input number -> its first output symbol
    std::string cCinitName = ".cinit";
    Data cCinitTbl;
    coff_syment cCinitSym;
    coff_syment cStackSym;
    coff_syment cStkSizeSym;
    uint32_t cHoleCount = 0;

    // ---- Input helpers (linker_inputs.cpp).
    // Replaces each name found in one of dirs by its path there.
    bool locateFiles(std::vector<std::string> &names, const std::vector<std::string> &dirs, std::string &err);

    // ---- Consistency helpers (linker_check.cpp).
    // Refuses input sections named like a section the linker makes.
    bool checkSectionName(const Coff &coff, const std::string &name, std::string &err);
    bool checkImageNames(std::string &err);

    // ---- Allocation steps and helpers (linker_alloc.cpp).
    // One section of an allocation pass: its name, its size in bytes and
    // whether it is the program-memory image of initialised data.
    struct AllocSection
    {
        std::string name;
        uint32_t size;
        bool image;
    };

    // The passes of mapSections; the first two add what they placed to
    // `placed`, the last places the sections that unassignedSections lists.
    bool mapAbsoluteSections(std::vector<AllocSection> &placed, std::string &err);
    bool mapAssignedSections(std::vector<AllocSection> &placed, std::string &err);
    std::vector<AllocSection> unassignedSections();
    bool mapUnassignedSections(const std::vector<AllocSection> &sections, std::string &err);
    // Placement of one section.
    bool allocateAbsAssigned(std::vector<Memory> &list, const std::string &memName, const std::string &name,
                             uint32_t start, uint32_t size, bool overlay, std::string &err);
    bool allocateAbsUnassigned(std::vector<Memory> &list, const std::string &name, uint32_t start,
                               uint32_t size, bool overlay, std::string &err);
    bool allocateRelAssigned(std::vector<Memory> &list, const std::string &memName, const std::string &name,
                             uint32_t size, bool overlay, std::string &err);
    bool allocateRelUnassigned(std::vector<Memory> &list, const std::string &name, uint32_t size, bool overlay,
                               std::string &err);
    bool allocateRomImage(const std::string &imageName, std::string &err);
    bool allocateStack(std::string &err);
    bool allocateCinit(std::string &err);
    bool isStackAssigned() const;
    bool isCinitAssigned() const;
    // Bytes of the ".cinit" table, in 64 bits: the caller refuses what no
    // memory could hold.
    uint64_t cinitSize() const;
    // Bytes that n data bytes take in program memory.
    uint64_t wordsToBytes(uint64_t n) const;
    // X -> "X_i" and back; a name without the suffix maps to itself.
    std::string romImageName(const std::string &name) const;
    std::string ramSectionName(const std::string &name) const;
    // The name is the image of an initialised-data input section.
    bool isRomImage(const std::string &name) const;
    // The SECTION directive of the name, or none.
    const SectionDesc *findSectionDesc(const std::string &name) const;
    std::vector<Memory> &candidateList(const std::string &name);
    std::string namedMemory(const std::string &name, const SectionDesc &desc);
    static Memory *findMemory(std::vector<Memory> &list, const std::string &memName);
    uint16_t alignmentFor(int type) const;
    bool checkWordAligned(const std::string &name, uint32_t start, std::string &err);

    mutable std::map<std::string, size_t> cSectionDescIndex; // name -> first directive
    mutable size_t cSectionDescIndexed = 0;

private:
    bool runPhases(std::string &err);
    // Writes the error map held back by writeErrorMapFile(), if any.
    void writePendingErrorMap();
    std::string cPendingErrorMap;
    // The error map could not be opened: that was reported, and the map is
    // not tried again.
    bool cMapUnopened = false;

    // Helpers of the loading and output phases.
    bool partFits(const Memory &memory, const std::string &section, uint32_t length) const;
    std::vector<int64_t> sectionDisplacements(uint32_t input) const;
    static void makeLinkerSymbol(coff_syment &sym, const std::string &name, uint32_t value);
    static coff_syment rebaseAux(const coff_syment &slot, int32_t kind, uint32_t base, int traceIndex);
    void makeOutputScnHdr(const std::string &name, uint32_t start, SectionType type, bool abs, bool shared,
                          bool access);
    StrTblIndex cOutputNames; // the output's string table, for the section headers' names

    // Indexes that keep the configuration checks near-linear.
    enum MemList : uint8_t { LIST_CODE = 0, LIST_DATA = 1, LIST_SHARE = 2, LIST_ACCESS = 3 };
    struct RegionRef
    {
        uint32_t end;  // last location of the region
        MemList list;  // the list it is in
        uint32_t index; // its place in that list
    };
    using RegionIndex = std::map<uint32_t, RegionRef>; // start -> region; regions never overlap
    bool findOverlap(const RegionIndex &index, const Memory &memory, std::string &err) const;
    const Memory &region(const RegionRef &ref) const;
    void noteMemory(const Memory &memory, MemList list);

    RegionIndex cRomRegions;
    RegionIndex cRamRegions;
    std::map<std::string, uint8_t> cMemoryNames; // name -> bit (1 << MemList) per list holding it
    std::map<std::string, uint32_t> cShareBankSize;
    std::set<std::string> cObjectNames;
    std::set<std::string> cLibraryNames;
    std::set<std::string> cSectionNames;
};
