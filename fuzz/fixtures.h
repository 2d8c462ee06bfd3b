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

// The files that the command-line targets work on, written into the
// current directory (sub-directories included).
void writeLibrarianFiles();
void writeLinkerFiles();
void writeHexConverterFiles();


} // namespace fuzz
