// The source-file description under the example's and the benchmark's
// object generators: what each convention changes in the object, the
// program-memory data sections, and the misuses it refuses.
#include "objectsource.h"
#include "reloctype.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const ProcessorCode BYTE_ADDRESSED = 0x81;

// An included file, two program-memory tables and a two-word call.
Coff callObject(SourceConventions conventions)
{
    ObjectSource s(BYTE_ADDRESSED, "m.asm", "defs.inc", 2, conventions);
    s.external("far");
    s.romdata("tbl", "table", true, {1, 2, 3});
    s.romdata("tbl_local", "local", false, {4});
    s.code("code");
    s.ins(5, "call", {0, 0}, "far", RELOCT_CALL);
    s.word2(0, "far", RELOCT_CALL2);
    s.ins(6, "return", {0});
    return s.build().coff();
}

// (storage class, section number, value) of the primary symbols of that name.
using Symbols = std::vector<std::tuple<unsigned, int, uint32_t>>;
Symbols symbols(const Coff &c, const std::string &name)
{
    Symbols out;
    for (size_t i = 0; i < c.cSymbols.size(); i++)
        if (c.cAuxKind[i] == AUX_NONE && Coff::getName(c.cSymbols[i], c.cStrTbl) == name)
            out.push_back({c.cSymbols[i].n_sclass, c.cSymbols[i].n_scnum, c.cSymbols[i].n_value});
    return out;
}

std::vector<uint8_t> raw(const Coff &c, const std::string &section)
{
    const Data &d = c.cRawData.at(section);
    return std::vector<uint8_t>(d.data(), d.data() + d.size());
}

TEST(ObjectSource, ConventionsSetTheEndOfFileClassAndTheLinesOfSecondWords)
{
    using Lines = std::vector<std::pair<uint16_t, uint32_t>>;
    const std::tuple<SourceConventions, unsigned, Lines> cases[] = {
        {{}, C_EOF, {{5, 0}, {5, 2}, {6, 4}}},
        {{C_STAT, false}, C_STAT, {{5, 0}, {6, 4}}},
    };
    for (const auto &[conventions, eofClass, expected] : cases) {
        Coff c = callObject(conventions);
        // One end for the include, one for the source itself.
        EXPECT_EQ(Symbols(2, {eofClass, -2, 0}), symbols(c, ".eof"));
        Lines lines;
        for (const coff_lineno &l : c.cLineInfo.at("code"))
            lines.push_back({l.l_lnno, l.l_paddr});
        EXPECT_EQ(expected, lines);
        // The words and their relocations do not depend on the conventions.
        EXPECT_EQ((std::vector<uint8_t>{0x00, 0xEC, 0x00, 0xF0, 0x12, 0x00}), raw(c, "code"));
        ASSERT_EQ(2u, c.cReloc.at("code").size());
        EXPECT_EQ(2u, c.cReloc.at("code")[1].r_vaddr);
        EXPECT_EQ(RELOCT_CALL2, c.cReloc.at("code")[1].r_type);
    }
}

TEST(ObjectSource, RomdataIsAProgramMemorySectionStartingAtItsLabel)
{
    // Sections are numbered in the order they were described.
    const std::tuple<std::string, std::string, std::vector<uint8_t>, unsigned, int> cases[] = {
        {"tbl", "table", {1, 2, 3}, C_EXT, 1}, {"tbl_local", "local", {4}, C_STAT, 2}};
    Coff c = callObject({});
    for (const auto &[section, label, bytes, sclass, number] : cases) {
        EXPECT_EQ(uint32_t(SCN_ROMDATA), c.cScnHdr.at(section).s_flags) << section;
        EXPECT_EQ(bytes, raw(c, section)) << section;
        EXPECT_EQ((Symbols{{sclass, number, 0}}), symbols(c, label));
    }
}

TEST(ObjectSource, BankselReservesTheWordsOfItsFamily)
{
    // The words an assembler reserves for "banksel x", the first carrying
    // the relocation that the linker rewrites them by.
    const std::tuple<const char *, ProcessorCode, std::vector<uint8_t>> cases[] = {
        {"12-bit: bcf 4,5 and bcf 4,6", 0x01, {0xA4, 0x04, 0xC4, 0x04}},
        {"14-bit, two banks: bcf 3,5", 0x07, {0x83, 0x12}},
        {"14-bit, four banks: bcf 3,5 and bcf 3,6", 0x34, {0x83, 0x12, 0x03, 0x13}},
        {"16-bit: movlb 0", 0x7B, {0x00, 0xB8}},
        {"byte-addressed: movlb 0", BYTE_ADDRESSED, {0x00, 0x01}},
    };
    for (const auto &[what, proc, words] : cases) {
        ObjectSource s(proc, "m.asm");
        s.external("x");
        s.code("code");
        s.banksel(1, "x");
        Coff c = s.build().coff();
        EXPECT_EQ(words, raw(c, "code")) << what;
        ASSERT_EQ(1u, c.cReloc.at("code").size()) << what;
        EXPECT_EQ(0u, c.cReloc.at("code")[0].r_vaddr) << what;
        EXPECT_EQ(RELOCT_BANKSEL, c.cReloc.at("code")[0].r_type) << what;
    }
}

TEST(ObjectSource, RefusesWhatNoAssemblerWouldWrite)
{
    // Each case runs in a code section except the first.
    const std::pair<const char *, std::function<void(ObjectSource &)>> cases[] = {
        {"an instruction before any code section", [](ObjectSource &s) { s.ins(1, "nop"); }},
        {"a label in a data section", [](ObjectSource &s) { s.romdata("t", "t", true, {1}); s.label("l", false); }},
        {"a second word without its instruction", [](ObjectSource &s) { s.word2(0); }},
        {"an unknown mnemonic", [](ObjectSource &s) { s.ins(1, "blink"); }},
        {"an operand the instruction lacks", [](ObjectSource &s) { s.ins(1, "nop", {1}); }},
    };
    bool first = true;
    for (const auto &[what, write] : cases) {
        ObjectSource s(BYTE_ADDRESSED, "m.asm");
        if (!first)
            s.code("c");
        first = false;
        EXPECT_THROW(write(s), std::logic_error) << what; // std::invalid_argument is one too
    }
}

} // namespace
