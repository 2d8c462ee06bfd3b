// Section name and address pairs.

#include "scnaddr.h"

ScnAddr::ScnAddr() : address(0) {}

ScnAddr::ScnAddr(const std::string &sectionName, uint32_t sectionAddress) : name(sectionName), address(sectionAddress) {}

bool ScnAddr::operator<(const ScnAddr &other) const { return address < other.address; }

bool ScnAddr::operator>(const ScnAddr &other) const { return address > other.address; }
