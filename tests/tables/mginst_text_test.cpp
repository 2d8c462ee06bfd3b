// The instruction texts: disassembly of one instruction (with the branch
// targets and two-word forms of Core16E) and the lookup of a mnemonic name.
#include "mginst.h"
#include "tabletest.h"

#include <string>

namespace {

struct Disassembly {
    std::string text;
    int count;
};

Disassembly dis(DeviceFamily f, uint32_t address, uint16_t word, uint16_t word2 = 0)
{
    uint8_t count = 99;
    std::string text = inst_disassemble(address, word, word2, count, f);
    return {text, count};
}

void expectDis(DeviceFamily f, uint32_t address, uint16_t word, uint16_t word2,
               const std::string &text, int count)
{
    Disassembly d = dis(f, address, word, word2);
    EXPECT_EQ(d.text, text) << "word 0x" << std::hex << word;
    EXPECT_EQ(d.count, count) << "word 0x" << std::hex << word;
}

} // namespace

TEST(InstDisassemble, PlainOperandsOfTheThreeOlderFamilies)
{
    expectDis(FAMILY_CORE14, 0, 0x0725, 0, "ADDWF     0x25,0x0", 1);
    expectDis(FAMILY_CORE14, 0, 0x2123, 0, "CALL      0x123", 1);
    expectDis(FAMILY_CORE14, 0, 0x0100, 0, "CLRW      ", 1);
    expectDis(FAMILY_CORE14, 0, 0x0000, 0, "NOP       ", 1);
    expectDis(FAMILY_CORE14, 0, 0x0062, 0, "OPTION    ", 1);
    expectDis(FAMILY_CORE14, 0, 0x0063, 0, "SLEEP     ", 1);
    expectDis(FAMILY_CORE14, 0, 0xFFFF, 0, "ADDLW     0xff", 1);
    expectDis(FAMILY_CORE16, 0, 0x5555, 0, "MOVPF     0x15,0x55", 1);
    expectDis(FAMILY_CORE16, 0, 0xA955, 0, "TABLRD    0x0,0x1,0x55", 1);
    expectDis(FAMILY_CORE16, 0, 0xFFFF, 0xF000, "CALL      0x1fff", 1);
    expectDis(FAMILY_CORE12, 0, 0x0005, 0, "TRIS      0x5", 1);
    expectDis(FAMILY_CORE12, 0, 0x0000, 0, "NOP       ", 1);
    expectDis(FAMILY_CORE12, 0, 0x0003, 0, "SLEEP     ", 1);
    expectDis(FAMILY_CORE12, 0, 0x0004, 0, "CLRWDT    ", 1);
}

TEST(InstDisassemble, Core16EOneWordForms)
{
    const DeviceFamily f = FAMILY_CORE16E;
    expectDis(f, 0x200, 0x2555, 0, "ADDWF     0x55,0x0,0x1", 1);
    expectDis(f, 0, 0x000A, 0, "TBLRDPOSTDEC", 1);
    expectDis(f, 0, 0x000F, 0, "TBLWTPREINC", 1);
    expectDis(f, 0, 0xF555, 0, "WORD2     0x555", 1);
    expectDis(f, 0, 0x0013, 0, "RETURN    0x1", 1);
    expectDis(f, 0, 0x00E0, 0xF000, "TRAP      ", 1);
}

TEST(InstDisassemble, Core16EBranchesPrintTheirTarget)
{
    const DeviceFamily f = FAMILY_CORE16E;
    expectDis(f, 0x200, 0xE055, 0, "BZ        0x2ac", 1);
    expectDis(f, 0x200, 0xE0FF, 0, "BZ        0x200", 1);
    expectDis(f, 0x200, 0xE000, 0, "BZ        0x202", 1);
    expectDis(f, 0x200, 0xE780, 0, "BNN       0x102", 1);
    expectDis(f, 0x100, 0xDFFF, 0, "RCALL     0x100", 1);
    expectDis(f, 0x100, 0xD3FF, 0, "BRA       0x900", 1);
    // A target below 0 wraps as a 32-bit number.
    expectDis(f, 0, 0xD400, 0, "BRA       0xfffff802", 1);
}

TEST(InstDisassemble, Core16ETwoWordInstructions)
{
    const DeviceFamily f = FAMILY_CORE16E;
    expectDis(f, 0x200, 0xEC00, 0xF123, "CALL      0x24600,0x0", 2);
    expectDis(f, 0x200, 0xED34, 0xFFFF, "CALL      0x1ffe68,0x1", 2);
    expectDis(f, 0x200, 0xEC00, 0xFFFF, "CALL      0x1ffe00,0x0", 2);
    expectDis(f, 0x200, 0xEF12, 0xF001, "GOTO      0x224", 2);
    expectDis(f, 0x200, 0xEE15, 0xF123, "LFSR      0x1,0x523", 2);
    expectDis(f, 0x200, 0xEE15, 0xF1FF, "LFSR      0x1,0x5ff", 2);
    expectDis(f, 0x200, 0xC555, 0xF123, "MOVFF     0x555,0x123", 2);
}

TEST(InstDisassemble, Core16EMissingSecondWordGivesQuestionMarks)
{
    const DeviceFamily f = FAMILY_CORE16E;
    expectDis(f, 0x200, 0xEF00, 0x0000, "GOTO      ???", 1);
    expectDis(f, 0x200, 0xEF00, 0xEFFF, "GOTO      ???", 1);
    expectDis(f, 0x200, 0xEC00, 0x1234, "CALL      ???,0x0", 1);
    expectDis(f, 0x200, 0xED00, 0x0002, "CALL      ???,0x1", 1);
    expectDis(f, 0x200, 0xEE15, 0xEE40, "LFSR      0x1,???", 1);
    expectDis(f, 0x200, 0xC555, 0x0000, "MOVFF     0x555,???", 1);
}

TEST(InstDisassemble, EveryValidWordOfEveryFamily)
{
    // The text always starts with the padded mnemonic; only Core16E
    // two-word instructions followed by a second word take two words.
    for (DeviceFamily f : ALL_FAMILIES) {
        for (uint32_t w = 0; w <= 0xFFFF; ++w) {
            if (!inst_is_valid(uint16_t(w), f))
                continue;
            MnemonicIndex m = inst_decode(uint16_t(w), f);
            std::string name = inst_name(m);
            Disassembly d = dis(f, 0x1000, uint16_t(w), 0xF000);
            ASSERT_EQ(d.text.compare(0, name.size(), name), 0) << w;
            ASSERT_GE(d.text.size(), 10u);
            ASSERT_EQ(d.count, inst_flag(m, f) ? 2 : 1) << w;
        }
    }
}

TEST(InstLookup, WholeNamesInAnyCase)
{
    for (DeviceFamily f : ALL_FAMILIES) {
        MnemonicIndex m = 0;
        EXPECT_EQ(inst_lookup("movlw", m, f), 1);
        EXPECT_EQ(m, 47);
        m = 0;
        EXPECT_EQ(inst_lookup("MOVLW", m, f), 1);
        EXPECT_EQ(m, 47);
        m = 0;
        EXPECT_EQ(inst_lookup("MovLw", m, f), 1);
        EXPECT_EQ(m, 47);
        m = 7;
        EXPECT_EQ(inst_lookup("MOVLW ", m, f), 0);
        EXPECT_EQ(inst_lookup("MOVLWX", m, f), 0);
        EXPECT_EQ(inst_lookup("MOVL", m, f), 0);
        EXPECT_EQ(inst_lookup("", m, f), 0);
        EXPECT_EQ(inst_lookup("BANKSEL", m, f), 0);
        EXPECT_EQ(inst_lookup("PAGESEL", m, f), 0);
        EXPECT_EQ(m, 7);
    }
}

TEST(InstLookup, NamesPerFamily)
{
    MnemonicIndex m = 0;
    EXPECT_EQ(inst_lookup("LFSR", m, FAMILY_CORE16E), 1);
    EXPECT_EQ(m, 40);
    EXPECT_EQ(inst_lookup("LFSR", m, FAMILY_CORE14), 0);
    EXPECT_EQ(inst_lookup("OPTION", m, FAMILY_CORE14), 1);
    EXPECT_EQ(m, 55);
    m = 0;
    EXPECT_EQ(inst_lookup("option", m, FAMILY_CORE12), 1);
    EXPECT_EQ(m, 55);
    EXPECT_EQ(inst_lookup("OPTION", m, FAMILY_CORE16E), 0);
    EXPECT_EQ(inst_lookup("WORD2", m, FAMILY_CORE16E), 1);
    EXPECT_EQ(m, 94);
    for (DeviceFamily f : {FAMILY_CORE14, FAMILY_CORE16, FAMILY_CORE12})
        EXPECT_EQ(inst_lookup("WORD2", m, f), 0);

    // Every family finds exactly its own mnemonics.
    const int expected[5] = {0, 37, 61, 33, 82};
    for (DeviceFamily f : ALL_FAMILIES) {
        int found = 0;
        for (unsigned i = 1; i <= 98; ++i) {
            MnemonicIndex got = 0;
            if (inst_lookup(inst_name(MnemonicIndex(i)), got, f)) {
                ++found;
                EXPECT_EQ(got, i);
            }
        }
        EXPECT_EQ(found, expected[f]) << "family " << int(f);
    }
}

TEST(InstAssert, DisassembleAndLookupCheckTheirInput)
{
    uint8_t count = 0;
    EXPECT_TABLE_ASSERT(inst_disassemble(0, 0x0001, 0, count, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_disassemble(0, 0x0000, 0, count, 5), "mginst");
    MnemonicIndex m = 0;
    EXPECT_TABLE_ASSERT(inst_lookup("NOP", m, 0), "mginst");
}
