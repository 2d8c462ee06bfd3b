// The source-file description under the example's and the benchmark's
// object generators: what each convention changes in the object, the
// program-memory data sections, and the misuses it refuses.
#include "objectsource.h"
#include "reloctype.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

const ProcessorCode BYTE_ADDRESSED = 0x81;

using Lines = std::vector<std::pair<uint16_t, uint32_t>>;

// An included file, two program-memory tables and a two-word call.
ObjectSource callSource(SourceConventions conventions)
{
    ObjectSource s(BYTE_ADDRESSED, "m.asm", "defs.inc", 2, conventions);
    s.external("far");
    s.romdata("tbl", "table", true, {1, 2, 3});
    s.romdata("tbl_local", "local", false, {4});
    s.code("code");
    s.ins(5, "call", {0, 0}, "far", RELOCT_CALL);
    s.word2(0, "far", RELOCT_CALL2);
    s.ins(6, "return", {0});
    return s;
}

// The primary symbols of that name, as (storage class, section, value).
std::vector<std::tuple<unsigned, int, uint32_t>> symbols(const Coff &c, const std::string &name)
{
    std::vector<std::tuple<unsigned, int, uint32_t>> out;
    for (size_t i = 0; i < c.cSymbols.size(); i++)
        if (c.cAuxKind[i] == AUX_NONE && Coff::getName(c.cSymbols[i], c.cStrTbl) == name)
            out.push_back({c.cSymbols[i].n_sclass, c.cSymbols[i].n_scnum, c.cSymbols[i].n_value});
    return out;
}

int sectionNumber(const Coff &c, const std::string &name)
{
    for (const auto &[num, scn] : c.cScnNum)
        if (scn == name)
            return int(num);
    return 0;
}

TEST(ObjectSource, ConventionsSetTheEndOfFileClassAndTheLinesOfSecondWords)
{
    struct Case
    {
        SourceConventions conventions;
        unsigned eofClass;
        Lines lines;
    };
    const Case cases[] = {
        {{}, C_EOF, {{5, 0}, {5, 2}, {6, 4}}},
        {{C_STAT, false}, C_STAT, {{5, 0}, {6, 4}}},
    };
    for (const Case &k : cases) {
        Coff c = callSource(k.conventions).build().coff();
        // One end for the include, one for the source itself.
        EXPECT_EQ((std::vector<std::tuple<unsigned, int, uint32_t>>(2, {k.eofClass, -2, 0})), symbols(c, ".eof"));
        Lines lines;
        for (const coff_lineno &l : c.cLineInfo.at("code"))
            lines.push_back({l.l_lnno, l.l_paddr});
        EXPECT_EQ(k.lines, lines);
        // The words and their relocations do not depend on the conventions.
        const Data &code = c.cRawData.at("code");
        EXPECT_EQ((std::vector<uint8_t>{0x00, 0xEC, 0x00, 0xF0, 0x12, 0x00}),
                  std::vector<uint8_t>(code.data(), code.data() + code.size()));
        ASSERT_EQ(2u, c.cReloc.at("code").size());
        EXPECT_EQ(2u, c.cReloc.at("code")[1].r_vaddr);
        EXPECT_EQ(RELOCT_CALL2, c.cReloc.at("code")[1].r_type);
    }
}

TEST(ObjectSource, RomdataIsAProgramMemorySectionStartingWithItsLabel)
{
    struct Case
    {
        std::string section, label;
        std::vector<uint8_t> bytes;
        unsigned sclass;
    };
    const Case cases[] = {{"tbl", "table", {1, 2, 3}, C_EXT}, {"tbl_local", "local", {4}, C_STAT}};
    Coff c = callSource({}).build().coff();
    for (const Case &k : cases) {
        EXPECT_EQ(uint32_t(SCN_ROMDATA), c.cScnHdr.at(k.section).s_flags) << k.section;
        const Data &raw = c.cRawData.at(k.section);
        EXPECT_EQ(k.bytes, std::vector<uint8_t>(raw.data(), raw.data() + raw.size())) << k.section;
        EXPECT_EQ((std::vector<std::tuple<unsigned, int, uint32_t>>{{k.sclass, sectionNumber(c, k.section), 0}}),
                  symbols(c, k.label));
    }
}

TEST(ObjectSource, RefusesWhatNoAssemblerWouldWrite)
{
    struct Case
    {
        const char *what;
        std::function<void(ObjectSource &)> write;
    };
    const Case cases[] = {
        {"an instruction before any code section", [](ObjectSource &s) { s.ins(1, "nop"); }},
        {"a label in a data section",
         [](ObjectSource &s) {
             s.code("c");
             s.romdata("t", "table", true, {1});
             s.label("here", false);
         }},
        {"a second word without its instruction",
         [](ObjectSource &s) {
             s.code("c");
             s.word2(0);
         }},
        {"an unknown mnemonic",
         [](ObjectSource &s) {
             s.code("c");
             s.ins(1, "blink");
         }},
        {"an operand the instruction lacks",
         [](ObjectSource &s) {
             s.code("c");
             s.ins(1, "nop", {1});
         }},
    };
    for (const Case &k : cases) {
        ObjectSource s(BYTE_ADDRESSED, "m.asm");
        EXPECT_THROW(k.write(s), std::logic_error) << k.what; // std::invalid_argument is one too
    }
}

} // namespace
