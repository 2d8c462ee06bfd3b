// ScnAddr pairs a section name with its address, so the sections of a
// memory region can be listed in address order.
#pragma once

#include <cstdint>
#include <string>

class ScnAddr
{
public:
    ScnAddr();
    ScnAddr(const std::string &name, uint32_t address);

    // Order by address alone (unsigned); the names play no part.
    bool operator<(const ScnAddr &other) const;
    bool operator>(const ScnAddr &other) const;

    std::string name;
    uint32_t address;
};
