// A link set up in a few lines: objects and libraries built with the
// fixture builders and written into a scratch directory, memories and
// directives handed to the Linker through its callbacks, and the output
// read back with the suite's own reader.
//
//   LinkRun run;
//   run.codePage("page0", 0, 0x7FF).dataBank("gpr0", 0x20, 0x6F);
//   run.object("a.o", CoffBuilder().processor(core14(), 14, 8)...);
//   ASSERT_TRUE(run.link()) << run.err;
//   std::unique_ptr<Coff> out = run.output();
#pragma once

#include "coffbuilder.h"
#include "diag.h"
#include "linker.h"
#include "mgproc.h"
#include "tooltest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Processor-type words of one device of each family.
inline uint32_t core14Type() { return proc_type_word(0x08); }  // 2048 words, 2 banks
inline uint32_t core16eType() { return proc_type_word(0x81); } // byte-addressed program memory
inline uint32_t core12Type() { return proc_type_word(0x12); }  // 512 words
inline uint32_t core16Type() { return proc_type_word(0x76); }

inline CoffBuilder core14Object() { return CoffBuilder().processor(core14Type(), 14, 8); }
inline CoffBuilder core16eObject() { return CoffBuilder().processor(core16eType(), 8, 8); }
inline CoffBuilder core12Object() { return CoffBuilder().processor(core12Type(), 12, 8); }
inline CoffBuilder core16Object() { return CoffBuilder().processor(core16Type(), 16, 8); }

class LinkRun
{
public:
    LinkRun &codePage(const std::string &name, uint32_t start, uint32_t end, const std::string &fill = "",
                      bool isProtected = false)
    {
        check(linker.addCodePage(Memory(name, start, end, rom, isProtected, !fill.empty(), fill), err));
        return *this;
    }
    LinkRun &dataBank(const std::string &name, uint32_t start, uint32_t end)
    {
        check(linker.addDataBank(Memory(name, start, end, ram, false, false, ""), err));
        return *this;
    }
    LinkRun &shareBank(const std::string &name, uint32_t start, uint32_t end)
    {
        check(linker.addShareBank(Memory(name, start, end, ram, false, false, ""), err));
        return *this;
    }
    LinkRun &section(const std::string &name, const std::string &rom, const std::string &ram)
    {
        check(linker.addSectionDesc(SectionDesc(name, rom, ram), err));
        return *this;
    }
    LinkRun &stack(uint32_t size, const std::string &bank = "")
    {
        check(linker.setStackDesc(StackDesc(size, bank), err));
        return *this;
    }
    LinkRun &strip()
    {
        check(linker.setStrip(1, err));
        return *this;
    }
    LinkRun &map(const std::string &name = "out.map")
    {
        check(linker.setMapFile(dir.file(name), err));
        return *this;
    }
    LinkRun &object(const std::string &name, const CoffBuilder &builder)
    {
        dir.write(name, builder.bytes());
        check(linker.addObjectFile(dir.file(name), err));
        return *this;
    }
    LinkRun &library(const std::string &name, const ArchiveBuilder &builder)
    {
        dir.write(name, builder.bytes());
        check(linker.addLibraryFile(dir.file(name), err));
        return *this;
    }

    // Links into "out.o" of the scratch directory.
    bool link()
    {
        check(linker.setOutputFile(dir.file("out.o"), err));
        return linker.link(err);
    }
    std::unique_ptr<Coff> output() const { return Coff::make(dir.file("out.o")); }
    std::vector<std::string> mapLines(const std::string &name = "out.map") const
    {
        return splitLines(dir.readText(name));
    }

    TempDir dir;
    Linker linker;
    std::string err;

private:
    void check(bool ok)
    {
        if (!ok)
            throw std::runtime_error("configuration refused: " + err);
    }
};

// The bytes of a section of an object read back, as a vector.
inline std::vector<uint8_t> rawBytes(const Coff &coff, const std::string &section)
{
    auto it = coff.cRawData.find(section);
    if (it == coff.cRawData.end())
        return {};
    return std::vector<uint8_t>(it->second.data(), it->second.data() + it->second.size());
}

// True when text has the form of the 24-character date the map headers
// carry, such as "Wed Dec  9 08:54:11 2026": letters, digits, blanks and
// colons in their places (the day may begin with a blank).
inline bool isDateText(const std::string &text)
{
    const std::string shape = "Aaa Aaa _9 99:99:99 9999";
    if (text.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        bool ok = false;
        switch (shape[i]) {
        case 'A': ok = c >= 'A' && c <= 'Z'; break;
        case 'a': ok = c >= 'a' && c <= 'z'; break;
        case '9': ok = digit; break;
        case '_': ok = digit || c == ' '; break;
        default: ok = c == shape[i]; break;
        }
        if (!ok)
            return false;
    }
    return true;
}

// Compares two texts line by line, naming the first lines that differ.
inline void expectLines(const std::vector<std::string> &actual, const std::vector<std::string> &expected)
{
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "line " << i;
    EXPECT_EQ(actual.size(), expected.size());
}

// Checks the two header lines of a map file, the linker's banner and
// "Linker Map File - Created " with the date, and takes them off the lines.
// Call it through ASSERT_NO_FATAL_FAILURE.
inline void takeMapHeader(std::vector<std::string> &lines)
{
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "TARVOK v2.20.00, Linker");
    EXPECT_EQ(lines[1].substr(0, 26), "Linker Map File - Created ");
    EXPECT_TRUE(isDateText(lines[1].substr(26))) << lines[1];
    lines.erase(lines.begin(), lines.begin() + 2);
}
