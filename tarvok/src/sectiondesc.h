// What one SECTION directive of a linker command file said: the section's
// name and the memories it is assigned to.
#pragma once

#include <ostream>
#include <string>

class SectionDesc
{
public:
    SectionDesc() = default;
    SectionDesc(const std::string &name, const std::string &loadMemory, const std::string &runMemory)
        : cName(name), cLoadMemory(loadMemory), cRunMemory(runMemory)
    {
    }

    std::string getName() const { return cName; }
    // The CODEPAGE given with ROM, empty when none.
    std::string getLoadMemory() const { return cLoadMemory; }
    // The DATABANK, SHAREBANK or ACCESSBANK given with RAM, empty when none.
    std::string getRunMemory() const { return cRunMemory; }

    // Descriptions are one per section name: they compare by name alone.
    bool operator==(const SectionDesc &other) const { return cName == other.cName; }
    bool operator<(const SectionDesc &other) const { return cName < other.cName; }

    void print(std::ostream &out) const;

private:
    std::string cName;
    std::string cLoadMemory;
    std::string cRunMemory;
};
