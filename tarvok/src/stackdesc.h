// What the STACK directive of a linker command file said: the stack's size
// and the bank it goes in.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class StackDesc
{
public:
    StackDesc() = default;
    StackDesc(uint32_t size, const std::string &runMemory) : cSize(size), cRunMemory(runMemory) {}

    uint32_t getSize() const { return cSize; }
    // The bank given with RAM, empty when none.
    std::string getRunMemory() const { return cRunMemory; }

    bool operator==(const StackDesc &other) const { return cSize == other.cSize; }
    bool operator<(const StackDesc &other) const { return cSize < other.cSize; }

    void print(std::ostream &out) const;

private:
    uint32_t cSize = 0;
    std::string cRunMemory;
};
