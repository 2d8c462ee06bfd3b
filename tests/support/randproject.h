// Random small link projects, each fully determined by its seed: a few
// objects and libraries with code, data, long and short names, references,
// relocations, line numbers and source file entries, the memory directives
// of a command file, SECTION directives and sometimes a stack. Nearly every
// project links; a few lack a definition or a place on purpose.
#pragma once

#include "coffbuilder.h"
#include "mgproc.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A small deterministic generator (the same numbers on every platform).
class Rng
{
public:
    explicit Rng(uint64_t seed) : cState(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next();
    // 0 .. n-1
    uint32_t below(uint32_t n) { return n ? next() % n : 0; }
    // lo .. hi
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
    bool chance(uint32_t percent) { return below(100) < percent; }

private:
    uint64_t cState;
};

struct ProjectMemory
{
    std::string kind; // "CODEPAGE", "DATABANK" or "SHAREBANK"
    std::string name;
    uint32_t start = 0;
    uint32_t end = 0;
    bool isProtected = false;
    std::string fill; // empty: none
};

struct ProjectSection
{
    std::string name;
    std::string rom; // ROM= memory, or empty
    std::string ram; // RAM= memory, or empty
};

struct RandomProject
{
    ProcessorCode processor = 0;
    std::vector<std::pair<std::string, CoffBuilder>> objects;  // file name, object
    struct Library
    {
        std::string name;
        std::vector<std::pair<std::string, CoffBuilder>> members;
        ArchiveBuilder archive() const;
    };
    std::vector<Library> libraries;
    std::vector<ProjectMemory> memories; // in directive order
    std::vector<ProjectSection> sections;
    bool stack = false;
    uint32_t stackSize = 0;
    std::string stackBank;

    // The command file for the directives above (no FILES lines).
    std::string commandFile() const;
};

RandomProject randomProject(uint64_t seed);
