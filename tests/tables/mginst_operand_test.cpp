// Operand fields: reading and rewriting them in place, the opcode writer the
// linker's patchers build instructions with, the per-mnemonic facts and the
// relocation types per operand.
#include "mginst.h"
#include "tabletest.h"

namespace {

uint16_t withOpcode(uint16_t word, MnemonicIndex m, DeviceFamily f)
{
    inst_put_opcode(word, m, f);
    return word;
}

uint16_t withOperand(uint16_t word, unsigned n, uint16_t value, DeviceFamily f)
{
    if (n == 0)
        inst_put_operand0(word, value, f);
    else if (n == 1)
        inst_put_operand1(word, value, f);
    else
        inst_put_operand2(word, value, f);
    return word;
}

// How many of the family's mnemonics have operand n.
int countWithOperand(DeviceFamily f, unsigned n)
{
    int count = 0;
    for (unsigned i = 1; i <= 98; ++i)
        count += inst_has_operand(MnemonicIndex(i), f, n);
    return count;
}

} // namespace

TEST(InstPutOpcode, KeepsOperandsAndUnusedHighBits)
{
    EXPECT_EQ(withOpcode(0xFFFF, MN_ADDWF, FAMILY_CORE14), 0xC7FF);
    EXPECT_EQ(withOpcode(0xFFFF, MN_ADDLW, FAMILY_CORE14), 0xFFFF);
    EXPECT_EQ(withOpcode(0xFFFF, MN_ADDWF, FAMILY_CORE12), 0xF1FF);
    EXPECT_EQ(withOpcode(0xFFFF, MN_TRIS, FAMILY_CORE12), 0xF007);
    EXPECT_EQ(withOpcode(0x0000, MN_MOVLW, FAMILY_CORE16E), 0x0E00);
    EXPECT_EQ(withOpcode(0x1234, MN_GOTO, FAMILY_CORE16), 0xD234);
}

TEST(InstPutOperand, Core14FieldsKeepEveryOtherBit)
{
    const DeviceFamily f = FAMILY_CORE14;
    EXPECT_EQ(withOperand(0x0700, 0, 0xFFFF, f), 0x077F);
    EXPECT_EQ(withOperand(0xC7FF, 0, 0, f), 0xC780);
    EXPECT_EQ(withOperand(0x1000, 1, 0xFFFF, f), 0x1380);
    // An address too wide for CALL's 11 bits loses its high bits silently.
    EXPECT_EQ(withOperand(0x2000, 0, 0xFFFF, f), 0x27FF);
    EXPECT_EQ(withOperand(0xE000, 0, 0x0800, f), 0xE000);
    EXPECT_EQ(withOperand(0x0060, 0, 0x5, f), 0x0065);
}

TEST(InstPutOperand, PatcherSequenceComposes)
{
    // Turn an arbitrary word into BSF 0x03,5 on Core14, then into MOVLW 0xAB.
    uint16_t word = 0x3FFF;
    inst_put_opcode(word, MN_BSF, FAMILY_CORE14);
    inst_put_operand0(word, 0x03, FAMILY_CORE14);
    inst_put_operand1(word, 5, FAMILY_CORE14);
    EXPECT_EQ(word, 0x1683);
    inst_put_opcode(word, MN_MOVLW, FAMILY_CORE14);
    inst_put_operand0(word, 0xAB, FAMILY_CORE14);
    EXPECT_EQ(word, 0x32AB);

    // Core16E BCF of bit 7 in register 0x12, access bit kept.
    word = 0x0100;
    inst_put_opcode(word, MN_BCF, FAMILY_CORE16E);
    inst_put_operand0(word, 0x12, FAMILY_CORE16E);
    inst_put_operand1(word, 7, FAMILY_CORE16E);
    EXPECT_EQ(word, 0x9F12);
    EXPECT_EQ(inst_operand2(word, FAMILY_CORE16E), 1);
}

TEST(InstPutOperand, Core16LayoutsThatDifferFromTheObvious)
{
    const DeviceFamily f = FAMILY_CORE16;
    EXPECT_EQ(withOperand(0xBA00, 0, 0xF, f), 0xBAF0);  // MOVLR: bits 4-7
    EXPECT_EQ(withOperand(0xB800, 0, 0xFF, f), 0xB80F); // MOVLB: bits 0-3
    EXPECT_EQ(withOperand(0x4000, 0, 0x1F, f), 0x5F00); // MOVPF: operand 0 is bits 8-12
    EXPECT_EQ(withOperand(0x4000, 1, 0xFF, f), 0x40FF);
    EXPECT_EQ(withOperand(0x6000, 0, 0xFF, f), 0x60FF); // MOVFP: operand 0 is bits 0-7
    EXPECT_EQ(withOperand(0x6000, 1, 0x1F, f), 0x7F00);
    EXPECT_EQ(withOperand(0xA800, 0, 1, f), 0xAA00);    // TABLRD: bit 9, bit 8, bits 0-7
    EXPECT_EQ(withOperand(0xA800, 1, 1, f), 0xA900);
    EXPECT_EQ(withOperand(0xA800, 2, 0x1FF, f), 0xA8FF);
}

TEST(InstPutOperand, Core16ETwoWordFirstWords)
{
    const DeviceFamily f = FAMILY_CORE16E;
    EXPECT_EQ(withOperand(0xEE00, 0, 3, f), 0xEE30);   // LFSR pointer: bits 4-5
    EXPECT_EQ(withOperand(0xEE00, 1, 0xFF, f), 0xEE0F); // LFSR high value bits: 0-3
    // MOVFF's destination lies wholly in the second word.
    EXPECT_EQ(withOperand(0xC555, 1, 0xFFFF, f), 0xC555);
    EXPECT_EQ(inst_operand1(0xC555, f), 0);
    EXPECT_EQ(withOperand(0xC000, 0, 0xFFFF, f), 0xCFFF);
    EXPECT_EQ(withOperand(0xEC00, 1, 1, f), 0xED00);    // CALL fast bit
}

TEST(InstOperand, ReadsRawUnsignedFields)
{
    EXPECT_EQ(inst_operand0(0x0725, FAMILY_CORE14), 0x25);
    EXPECT_EQ(inst_operand1(0x07A5, FAMILY_CORE14), 1);
    EXPECT_EQ(inst_operand0(0x5555, FAMILY_CORE16), 0x15);
    EXPECT_EQ(inst_operand1(0x5555, FAMILY_CORE16), 0x55);
    EXPECT_EQ(inst_operand(0xA955, FAMILY_CORE16, 0), 0);
    EXPECT_EQ(inst_operand(0xA955, FAMILY_CORE16, 1), 1);
    EXPECT_EQ(inst_operand(0xA955, FAMILY_CORE16, 2), 0x55);
    EXPECT_EQ(inst_operand0(0x0BFF, FAMILY_CORE12), 0x1FF); // GOTO: 9 bits
    EXPECT_EQ(inst_operand0(0x09AB, FAMILY_CORE12), 0xAB);  // CALL: 8 bits
    EXPECT_EQ(inst_operand1(0x07E3, FAMILY_CORE12), 7);     // BTFSS bit number
    EXPECT_EQ(inst_operand0(0x2555, FAMILY_CORE16E), 0x55);
    EXPECT_EQ(inst_operand1(0x2555, FAMILY_CORE16E), 0);
    EXPECT_EQ(inst_operand2(0x2555, FAMILY_CORE16E), 1);
    EXPECT_EQ(inst_operand1(0x9E12, FAMILY_CORE16E), 7);
    // Relative offsets are not sign-extended.
    EXPECT_EQ(inst_operand0(0xD7FF, FAMILY_CORE16E), 0x7FF);
    EXPECT_EQ(inst_operand0(0xE6FF, FAMILY_CORE16E), 0xFF);
    EXPECT_EQ(inst_operand0(0x0013, FAMILY_CORE16E), 1);
    EXPECT_EQ(inst_operand0(0xFABC, FAMILY_CORE16E), 0xABC);
}

TEST(InstHasOperand, OperandCountsPerFamily)
{
    EXPECT_EQ(countWithOperand(FAMILY_CORE14, 0), 30);
    EXPECT_EQ(countWithOperand(FAMILY_CORE14, 1), 18);
    EXPECT_EQ(countWithOperand(FAMILY_CORE14, 2), 0);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16, 0), 53);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16, 1), 34);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16, 2), 2);
    EXPECT_EQ(countWithOperand(FAMILY_CORE12, 0), 28);
    EXPECT_EQ(countWithOperand(FAMILY_CORE12, 1), 18);
    EXPECT_EQ(countWithOperand(FAMILY_CORE12, 2), 0);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16E, 0), 61);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16E, 1), 38);
    EXPECT_EQ(countWithOperand(FAMILY_CORE16E, 2), 26);

    EXPECT_EQ(inst_has_operand(MN_MOVFF, FAMILY_CORE16E, 1), 1);
    EXPECT_EQ(inst_has_operand(MN_TRAP, FAMILY_CORE16E, 0), 0);
    EXPECT_EQ(inst_has_operand(MN_CLRW, FAMILY_CORE14, 0), 0);
    EXPECT_EQ(inst_has_operand(MN_ADDWF, FAMILY_CORE14, 3), 0);
    EXPECT_EQ(inst_has_operand(MN_LFSR, FAMILY_CORE14, 0), 0);
    EXPECT_EQ(inst_has_operand(MN_BANKSEL, FAMILY_CORE16E, 0), 0);
}

TEST(InstTwoWord, FlagAndSecondWordOperand)
{
    int flagged = 0;
    for (DeviceFamily f : ALL_FAMILIES)
        for (unsigned i = 1; i <= 98; ++i)
            flagged += inst_flag(MnemonicIndex(i), f);
    EXPECT_EQ(flagged, 4);
    for (MnemonicIndex m : {MN_CALL, MN_GOTO, MN_LFSR, MN_MOVFF})
        EXPECT_EQ(inst_flag(m, FAMILY_CORE16E), 1) << inst_name(m);
    EXPECT_EQ(inst_flag(MN_CALL, FAMILY_CORE16), 0);

    EXPECT_EQ(inst_word2_operand(MN_CALL, FAMILY_CORE16E), 1);
    EXPECT_EQ(inst_word2_operand(MN_GOTO, FAMILY_CORE16E), 1);
    EXPECT_EQ(inst_word2_operand(MN_LFSR, FAMILY_CORE16E), 2);
    EXPECT_EQ(inst_word2_operand(MN_MOVFF, FAMILY_CORE16E), 2);
    EXPECT_EQ(inst_word2_operand(MN_RCALL, FAMILY_CORE16E), 0);
    EXPECT_EQ(inst_word2_operand(MN_TRAP, FAMILY_CORE16E), 0);
    EXPECT_EQ(inst_word2_operand(MN_TRET, FAMILY_CORE16E), 0);
    EXPECT_EQ(inst_word2_operand(MN_BRA, FAMILY_CORE16E), -1);
    EXPECT_EQ(inst_word2_operand(MN_CALL, FAMILY_CORE14), -1);
}

TEST(InstRelocType, Core16EOperands)
{
    const DeviceFamily f = FAMILY_CORE16E;
    int registerOrLiteral = 0;
    for (unsigned i = 1; i <= 96; ++i) {
        MnemonicIndex found = 0;
        if (inst_lookup(inst_name(MnemonicIndex(i)), found, f) && inst_reloc_type(found, f, 0) == 10)
            ++registerOrLiteral;
    }
    EXPECT_EQ(registerOrLiteral, 43);
    EXPECT_EQ(inst_reloc_type(MN_MOVLW, f, 0), 10);
    EXPECT_EQ(inst_reloc_type(MN_BTG, f, 0), 10);
    EXPECT_EQ(inst_reloc_type(MN_BZ, f, 0), 20);
    EXPECT_EQ(inst_reloc_type(MN_BNZ, f, 0), 20);
    EXPECT_EQ(inst_reloc_type(MN_BRA, f, 0), 19);
    EXPECT_EQ(inst_reloc_type(MN_RCALL, f, 0), 19);
    EXPECT_EQ(inst_reloc_type(MN_CALL, f, 0), 1);
    EXPECT_EQ(inst_reloc_type(MN_GOTO, f, 0), 2);
    EXPECT_EQ(inst_reloc_type(MN_MOVFF, f, 0), 15);
    EXPECT_EQ(inst_reloc_type(MN_MOVLB, f, 0), 13);
    EXPECT_EQ(inst_reloc_type(MN_LFSR, f, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_LFSR, f, 1), 17);
    EXPECT_EQ(inst_reloc_type(MN_RETURN, f, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_RETFIE, f, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_WORD2, f, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_ADDWF, f, 1), -1);
    EXPECT_EQ(inst_reloc_type(MN_ADDWF, f, 2), -1);

    EXPECT_EQ(inst_reloc_type_word2(MN_CALL, f), 14);
    EXPECT_EQ(inst_reloc_type_word2(MN_GOTO, f), 14);
    EXPECT_EQ(inst_reloc_type_word2(MN_MOVFF, f), 16);
    EXPECT_EQ(inst_reloc_type_word2(MN_LFSR, f), 18);
    EXPECT_EQ(inst_reloc_type_word2(MN_BRA, f), -1);
}

TEST(InstRelocType, OtherFamiliesTakeNone)
{
    EXPECT_EQ(inst_reloc_type(MN_CALL, FAMILY_CORE14, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_GOTO, FAMILY_CORE12, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_ADDLW, FAMILY_CORE16, 0), -1);
    EXPECT_EQ(inst_reloc_type(MN_MOVLW, FAMILY_CORE16, 0), -1);
    EXPECT_EQ(inst_reloc_type_word2(MN_CALL, FAMILY_CORE16), -1);
}

TEST(InstAssert, OperandsAndOpcodesOutsideTheFamily)
{
    uint16_t clrw = 0x0100;
    EXPECT_TABLE_ASSERT(inst_put_operand0(clrw, 1, FAMILY_CORE14), "mginst");
    uint16_t bad = 0x0001;
    EXPECT_TABLE_ASSERT(inst_put_operand0(bad, 1, FAMILY_CORE14), "mginst");
    uint16_t addwf = 0x0700;
    EXPECT_TABLE_ASSERT(inst_put_operand2(addwf, 1, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_put_opcode(addwf, MN_BANKSEL, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_put_opcode(addwf, MN_LFSR, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_put_opcode(addwf, MN_ADDWF, 0), "mginst");
    EXPECT_TABLE_ASSERT(inst_operand0(0x0100, FAMILY_CORE14), "mginst");
    EXPECT_TABLE_ASSERT(inst_operand1(0x0001, FAMILY_CORE16E), "mginst");
    EXPECT_TABLE_ASSERT(inst_operand(0x0700, FAMILY_CORE14, 3), "mginst");
    EXPECT_TABLE_ASSERT(inst_has_operand(MN_ADDWF, 5, 0), "mginst");
    EXPECT_TABLE_ASSERT(inst_reloc_type(MN_ADDWF, FAMILY_CORE16E, 3), "mginst");
    EXPECT_TABLE_ASSERT(inst_reloc_type(MN_LFSR, FAMILY_CORE14, 0), "mginst");
    EXPECT_TABLE_ASSERT(inst_reloc_type_word2(MN_OPTION, FAMILY_CORE16E), "mginst");
    EXPECT_TABLE_ASSERT(inst_flag(MN_CALL, 0), "mginst");
}
