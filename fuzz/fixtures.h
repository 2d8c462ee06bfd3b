// Inputs the fuzz targets start from, all built through the suite's own
// Coff and Archive writers: objects, executables and libraries of each
// device family, linker command files, and the files that the command-line
// targets find in their working directory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

using Seed = std::pair<std::string, std::vector<uint8_t>>; // file name, bytes

// Relocatable objects and executables of every family, with long names,
// symbols, auxiliary entries, relocations and line numbers.
std::vector<Seed> objectSeeds();
// Libraries of none, one and several members.
std::vector<Seed> librarySeeds();
// Linker command files using every directive.
std::vector<Seed> commandFileSeeds();

// Objects that link under the command files of writeLinkFiles(), one per
// family, named by family number ("link1.o" ... "link4.o").
std::vector<Seed> linkSeeds();
// Executables with line numbers and source names, as the converters get them.
std::vector<Seed> executableSeeds();
// The family numbers in the order of the command files "core12.lkr",
// "core14.lkr", "core16.lkr", "core16e.lkr".
extern const uint8_t LINK_FAMILIES[4];

// The files that the command-line targets work on, written into the
// current directory (sub-directories included).
void writeLibrarianFiles();
void writeLinkerFiles();
void writeHexConverterFiles();
// Command files of one device per family and a library for each
// ("lib12.lib" ... "lib16e.lib"), for whole links.
void writeLinkFiles();
// Source files that executables name, for the listing.
void writeConverterFiles();


} // namespace fuzz
