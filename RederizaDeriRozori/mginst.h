// The instruction sets of the four device families: decoding a program word
// to its mnemonic, reading and rewriting its operand fields, the relocation
// type an assembler attaches to each operand, disassembly and mnemonic
// lookup.
//
// All functions are pure. A family outside 1 to 4, a word that is no
// instruction of the family given to a function that decodes it, or a
// mnemonic that lacks the asked-for operand end the program through the
// tables' assertion: callers that see words from a file test them with
// inst_is_valid first.
#ifndef REDERIZA_MGINST_H
#define REDERIZA_MGINST_H

#include "mgproc.h"

#include <cstdint>
#include <string>
#include <string_view>

typedef uint8_t MnemonicIndex;

// The mnemonics of all families in alphabetical order, then the two
// pseudo-instructions, which belong to no family.
enum : MnemonicIndex {
    MN_ADDLW = 1,
    MN_ADDWF = 2,
    MN_ADDWFC = 3,
    MN_ANDLW = 4,
    MN_ANDWF = 5,
    MN_BC = 6,
    MN_BCF = 7,
    MN_BN = 8,
    MN_BNC = 9,
    MN_BNN = 10,
    MN_BNOV = 11,
    MN_BNZ = 12,
    MN_BOV = 13,
    MN_BRA = 14,
    MN_BSF = 15,
    MN_BTFSC = 16,
    MN_BTFSS = 17,
    MN_BTG = 18,
    MN_BZ = 19,
    MN_CALL = 20,
    MN_CLRF = 21,
    MN_CLRW = 22,
    MN_CLRWDT = 23,
    MN_COMF = 24,
    MN_CPFSEQ = 25,
    MN_CPFSGT = 26,
    MN_CPFSLT = 27,
    MN_DAW = 28,
    MN_DCFSNZ = 29,
    MN_DECF = 30,
    MN_DECFSZ = 31,
    MN_GOTO = 32,
    MN_HALT = 33,
    MN_INCF = 34,
    MN_INCFSZ = 35,
    MN_INFSNZ = 36,
    MN_IORLW = 37,
    MN_IORWF = 38,
    MN_LCALL = 39,
    MN_LFSR = 40,
    MN_LOG = 41,
    MN_MOVF = 42,
    MN_MOVFF = 43,
    MN_MOVFP = 44,
    MN_MOVLB = 45,
    MN_MOVLR = 46,
    MN_MOVLW = 47,
    MN_MOVPF = 48,
    MN_MOVWF = 49,
    MN_MULLW = 50,
    MN_MULWF = 51,
    MN_NEGF = 52,
    MN_NEGW = 53,
    MN_NOP = 54,
    MN_OPTION = 55,
    MN_PAUSE = 56,
    MN_POP = 57,
    MN_PUSH = 58,
    MN_RCALL = 59,
    MN_RESET = 60,
    MN_RETFIE = 61,
    MN_RETLW = 62,
    MN_RETURN = 63,
    MN_RLCF = 64,
    MN_RLF = 65,
    MN_RLNCF = 66,
    MN_RRCF = 67,
    MN_RRF = 68,
    MN_RRNCF = 69,
    MN_SETF = 70,
    MN_SLEEP = 71,
    MN_STOP = 72,
    MN_SUBFWB = 73,
    MN_SUBLW = 74,
    MN_SUBWF = 75,
    MN_SUBWFB = 76,
    MN_SWAPF = 77,
    MN_TABLRD = 78,
    MN_TABLWT = 79,
    MN_TBLRD = 80,
    MN_TBLRDPOSTDEC = 81,
    MN_TBLRDPOSTINC = 82,
    MN_TBLRDPREINC = 83,
    MN_TBLWT = 84,
    MN_TBLWTPOSTDEC = 85,
    MN_TBLWTPOSTINC = 86,
    MN_TBLWTPREINC = 87,
    MN_TLRD = 88,
    MN_TLWT = 89,
    MN_TRAP = 90,
    MN_TRET = 91,
    MN_TRIS = 92,
    MN_TSTFSZ = 93,
    MN_WORD2 = 94,
    MN_XORLW = 95,
    MN_XORWF = 96,
    MN_BANKSEL = 97,
    MN_PAGESEL = 98,
};

// The mnemonic text of an index 1 to 98, owned by the module.
const char *inst_name(MnemonicIndex index);

// The mnemonic of an instruction word; asserts when the word is no
// instruction of the family.
MnemonicIndex inst_decode(uint16_t word, DeviceFamily family);

// 1 when the word is an instruction of the family (exactly when inst_decode
// succeeds), else 0.
int inst_is_valid(uint16_t word, DeviceFamily family);

// Rewrites the opcode field of the word to that of the mnemonic, keeping
// every other bit. Asserts when the mnemonic is not in the family.
void inst_put_opcode(uint16_t &word, MnemonicIndex index, DeviceFamily family);

// Decode the word, then write the low bits of the value into operand n of
// its mnemonic, keeping every other bit; value bits beyond the field are
// dropped. Asserts when the mnemonic has no operand n.
void inst_put_operand0(uint16_t &word, uint16_t value, DeviceFamily family);
void inst_put_operand1(uint16_t &word, uint16_t value, DeviceFamily family);
void inst_put_operand2(uint16_t &word, uint16_t value, DeviceFamily family);

// The unsigned value of operand n of the word's mnemonic; asserts when the
// mnemonic has no such operand. inst_operand asserts for n above 2.
uint16_t inst_operand0(uint16_t word, DeviceFamily family);
uint16_t inst_operand1(uint16_t word, DeviceFamily family);
uint16_t inst_operand2(uint16_t word, DeviceFamily family);
uint16_t inst_operand(uint16_t word, DeviceFamily family, unsigned n);

// 1 when the mnemonic has operand n in the family, else 0 (also for a
// mnemonic not in the family and for n above 2).
int inst_has_operand(MnemonicIndex index, DeviceFamily family, unsigned n);

// 1 for the Core16E two-word instructions CALL, GOTO, LFSR and MOVFF.
int inst_flag(MnemonicIndex index, DeviceFamily family);

// Which operand continues in the second word of a Core16E two-word
// instruction (1 for CALL and GOTO, 2 for LFSR and MOVFF), 0 for RCALL,
// TRAP and TRET, and -1 for every other mnemonic.
int inst_word2_operand(MnemonicIndex index, DeviceFamily family);

// The relocation type an assembler attaches to operand n (0 to 2) of the
// mnemonic, or -1. Asserts for another n or a mnemonic not in the family.
int inst_reloc_type(MnemonicIndex index, DeviceFamily family, unsigned n);

// The relocation type of the operand in the second word of a Core16E
// two-word instruction, or -1. Asserts for a mnemonic not in the family.
int inst_reloc_type_word2(MnemonicIndex index, DeviceFamily family);

// One line of assembler text for the instruction at the program address
// (the family's program-address units). `word2` is the word that follows in
// program memory; `count` receives the number of words the instruction took
// (1, or 2 for a complete Core16E two-word instruction). Asserts when the
// word is no instruction of the family.
std::string inst_disassemble(uint32_t address, uint16_t word, uint16_t word2, uint8_t &count,
                             DeviceFamily family);

// Finds the family's mnemonic whose name equals the whole text, ignoring the
// case of the letters A to Z. Returns 1 and stores its index, or returns 0
// and leaves `index` untouched.
int inst_lookup(std::string_view text, MnemonicIndex &index, DeviceFamily family);

#endif
