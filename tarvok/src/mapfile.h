// The map file of a successful link: a text report of the finished
// executable with its sections, the runs of program memory in use and the
// listed symbols, once sorted by name and once by address.
//
// SectionInfo and SymbolInfo are the rows of the report; MapFile::write
// builds them from the output object and writes the file.
#pragma once

#include "coff.h"

#include <cstdint>
#include <ostream>
#include <string>

// One output section as the map lists it.
class SectionInfo
{
public:
    SectionInfo() = default;
    SectionInfo(const std::string &name, uint32_t address, uint32_t size, uint8_t location, uint8_t type,
                bool abs, bool shared, bool access);

    void print(std::ostream &out) const;

    std::string cName;
    uint32_t cAddress = 0;
    uint32_t cSize = 0;
    uint8_t cLocation = 0; // 0 program memory, 1 data memory
    uint8_t cType = 0;     // SectionType
    uint32_t cAbs = 0;
    uint32_t cShared = 0;
    uint32_t cAccess = 0;
};

// One global, static or label symbol as the map lists it.
class SymbolInfo
{
public:
    SymbolInfo() = default;
    SymbolInfo(const std::string &name, uint32_t address, uint8_t location, uint8_t storageClass, uint8_t kind,
               const std::string &file);

    void print(std::ostream &out) const;

    std::string cName;
    uint32_t cAddress = 0;
    uint8_t cLocation = 0;     // 0 program memory, 1 data memory
    uint8_t cStorageClass = 0; // 0 extern, 1 static
    uint8_t cKind = 0;         // 0 function, 1 variable
    std::string cFile;
};

bool lessByAddress(const SectionInfo &a, const SectionInfo &b);
bool lessByAddress(const SymbolInfo &a, const SymbolInfo &b);
bool lessByName(const SymbolInfo &a, const SymbolInfo &b);

// The texts of the map's columns; empty for a code they do not know.
std::string scnTypeName(uint32_t type);
std::string locationName(uint32_t location);
std::string storageName(uint32_t storage);

class MapFile
{
public:
    // Writes the map of the output object into the named file (through a
    // temporary file renamed into place). totalProgramAddresses is the
    // number of program-memory locations that the CODEPAGEs define. False
    // after reporting when the file cannot be written.
    static bool write(const std::string &name, const Coff &output, uint64_t totalProgramAddresses);
};
