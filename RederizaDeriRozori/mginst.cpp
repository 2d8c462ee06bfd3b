// The instruction sets of the four device families.
//
// Each family is one constant list of rows (mnemonic, pattern, mask and the
// bit fields of its operands). A word is the mnemonic of the first row whose
// pattern equals the word and-ed with the row's mask; the order of the rows
// matters only where the exact words of Core14 and Core12 lie inside TRIS's
// range. The mask is also the opcode field that inst_put_opcode rewrites.
#include "mginst.h"

#include "diag.h"

#include <cstddef>
#include <cstdio>

namespace {

const char *const MODULE = "mginst.cpp";

const char *const NAMES[] = {
    "ADDLW", // 1
    "ADDWF", // 2
    "ADDWFC", // 3
    "ANDLW", // 4
    "ANDWF", // 5
    "BC", // 6
    "BCF", // 7
    "BN", // 8
    "BNC", // 9
    "BNN", // 10
    "BNOV", // 11
    "BNZ", // 12
    "BOV", // 13
    "BRA", // 14
    "BSF", // 15
    "BTFSC", // 16
    "BTFSS", // 17
    "BTG", // 18
    "BZ", // 19
    "CALL", // 20
    "CLRF", // 21
    "CLRW", // 22
    "CLRWDT", // 23
    "COMF", // 24
    "CPFSEQ", // 25
    "CPFSGT", // 26
    "CPFSLT", // 27
    "DAW", // 28
    "DCFSNZ", // 29
    "DECF", // 30
    "DECFSZ", // 31
    "GOTO", // 32
    "HALT", // 33
    "INCF", // 34
    "INCFSZ", // 35
    "INFSNZ", // 36
    "IORLW", // 37
    "IORWF", // 38
    "LCALL", // 39
    "LFSR", // 40
    "LOG", // 41
    "MOVF", // 42
    "MOVFF", // 43
    "MOVFP", // 44
    "MOVLB", // 45
    "MOVLR", // 46
    "MOVLW", // 47
    "MOVPF", // 48
    "MOVWF", // 49
    "MULLW", // 50
    "MULWF", // 51
    "NEGF", // 52
    "NEGW", // 53
    "NOP", // 54
    "OPTION", // 55
    "PAUSE", // 56
    "POP", // 57
    "PUSH", // 58
    "RCALL", // 59
    "RESET", // 60
    "RETFIE", // 61
    "RETLW", // 62
    "RETURN", // 63
    "RLCF", // 64
    "RLF", // 65
    "RLNCF", // 66
    "RRCF", // 67
    "RRF", // 68
    "RRNCF", // 69
    "SETF", // 70
    "SLEEP", // 71
    "STOP", // 72
    "SUBFWB", // 73
    "SUBLW", // 74
    "SUBWF", // 75
    "SUBWFB", // 76
    "SWAPF", // 77
    "TABLRD", // 78
    "TABLWT", // 79
    "TBLRD", // 80
    "TBLRDPOSTDEC", // 81
    "TBLRDPOSTINC", // 82
    "TBLRDPREINC", // 83
    "TBLWT", // 84
    "TBLWTPOSTDEC", // 85
    "TBLWTPOSTINC", // 86
    "TBLWTPREINC", // 87
    "TLRD", // 88
    "TLWT", // 89
    "TRAP", // 90
    "TRET", // 91
    "TRIS", // 92
    "TSTFSZ", // 93
    "WORD2", // 94
    "XORLW", // 95
    "XORWF", // 96
    "BANKSEL", // 97
    "PAGESEL", // 98
};
static_assert(sizeof(NAMES) / sizeof(NAMES[0]) == MN_PAGESEL);

// One operand: `width` bits starting at word bit `lo`. A present field of
// width 0 is an operand that lies wholly in the second word (Core16E MOVFF's
// destination): it reads as 0 and writing it changes nothing.
struct Field {
    bool present;
    uint8_t lo;
    uint8_t width;
};

constexpr Field NO = {false, 0, 0};
constexpr Field IN_WORD2 = {true, 0, 0};
constexpr Field F(uint8_t lo, uint8_t width)
{
    return Field{true, lo, width};
}

struct Row {
    MnemonicIndex index;
    uint16_t pattern;
    uint16_t mask;
    Field op[3];
};

// Core14: bits 14 and 15 lie outside every mask, so they never affect the
// decoding and every writer keeps them.
#define C14_REG_DEST {F(0, 7), F(7, 1), NO}
#define C14_REG_BIT {F(0, 7), F(7, 3), NO}
#define C14_LIT {F(0, 8), NO, NO}
const Row CORE14[] = {
    // The exact words come before TRIS's range, and TRIS before NOP,
    // whose pattern also matches 0x0060.
    {MN_OPTION, 0x0062, 0x3FFF, {NO, NO, NO}},
    {MN_SLEEP, 0x0063, 0x3FFF, {NO, NO, NO}},
    {MN_CLRWDT, 0x0064, 0x3FFF, {NO, NO, NO}},
    {MN_TRIS, 0x0060, 0x3FF8, {F(0, 3), NO, NO}},
    {MN_NOP, 0x0000, 0x3F9F, {NO, NO, NO}},
    {MN_RETURN, 0x0008, 0x3FFF, {NO, NO, NO}},
    {MN_RETFIE, 0x0009, 0x3FFF, {NO, NO, NO}},
    {MN_MOVWF, 0x0080, 0x3F80, {F(0, 7), NO, NO}},
    {MN_CLRW, 0x0100, 0x3F80, {NO, NO, NO}},
    {MN_CLRF, 0x0180, 0x3F80, {F(0, 7), NO, NO}},
    {MN_SUBWF, 0x0200, 0x3F00, C14_REG_DEST},
    {MN_DECF, 0x0300, 0x3F00, C14_REG_DEST},
    {MN_IORWF, 0x0400, 0x3F00, C14_REG_DEST},
    {MN_ANDWF, 0x0500, 0x3F00, C14_REG_DEST},
    {MN_XORWF, 0x0600, 0x3F00, C14_REG_DEST},
    {MN_ADDWF, 0x0700, 0x3F00, C14_REG_DEST},
    {MN_MOVF, 0x0800, 0x3F00, C14_REG_DEST},
    {MN_COMF, 0x0900, 0x3F00, C14_REG_DEST},
    {MN_INCF, 0x0A00, 0x3F00, C14_REG_DEST},
    {MN_DECFSZ, 0x0B00, 0x3F00, C14_REG_DEST},
    {MN_RRF, 0x0C00, 0x3F00, C14_REG_DEST},
    {MN_RLF, 0x0D00, 0x3F00, C14_REG_DEST},
    {MN_SWAPF, 0x0E00, 0x3F00, C14_REG_DEST},
    {MN_INCFSZ, 0x0F00, 0x3F00, C14_REG_DEST},
    {MN_BCF, 0x1000, 0x3C00, C14_REG_BIT},
    {MN_BSF, 0x1400, 0x3C00, C14_REG_BIT},
    {MN_BTFSC, 0x1800, 0x3C00, C14_REG_BIT},
    {MN_BTFSS, 0x1C00, 0x3C00, C14_REG_BIT},
    {MN_CALL, 0x2000, 0x3800, {F(0, 11), NO, NO}},
    {MN_GOTO, 0x2800, 0x3800, {F(0, 11), NO, NO}},
    {MN_MOVLW, 0x3000, 0x3C00, C14_LIT},
    {MN_RETLW, 0x3400, 0x3C00, C14_LIT},
    {MN_IORLW, 0x3800, 0x3F00, C14_LIT},
    {MN_ANDLW, 0x3900, 0x3F00, C14_LIT},
    {MN_XORLW, 0x3A00, 0x3F00, C14_LIT},
    {MN_SUBLW, 0x3C00, 0x3E00, C14_LIT},
    {MN_ADDLW, 0x3E00, 0x3E00, C14_LIT},
};

// Core16: all 16 bits count and no two patterns overlap.
#define C16_REG_DEST {F(0, 8), F(8, 1), NO}
#define C16_REG_BIT {F(0, 8), F(8, 3), NO}
#define C16_BYTE {F(0, 8), NO, NO}
const Row CORE16[] = {
    {MN_NOP, 0x0000, 0xFFFF, {NO, NO, NO}},
    {MN_STOP, 0x0001, 0xFFFF, {NO, NO, NO}},
    {MN_RETURN, 0x0002, 0xFFFF, {NO, NO, NO}},
    {MN_SLEEP, 0x0003, 0xFFFF, {NO, NO, NO}},
    {MN_CLRWDT, 0x0004, 0xFFFF, {NO, NO, NO}},
    {MN_RETFIE, 0x0005, 0xFFFF, {NO, NO, NO}},
    {MN_LOG, 0x0008, 0xFFFF, {NO, NO, NO}},
    {MN_PAUSE, 0x000E, 0xFFFF, {NO, NO, NO}},
    {MN_MOVWF, 0x0100, 0xFF00, C16_BYTE},
    {MN_SUBWFB, 0x0200, 0xFE00, C16_REG_DEST},
    {MN_SUBWF, 0x0400, 0xFE00, C16_REG_DEST},
    {MN_DECF, 0x0600, 0xFE00, C16_REG_DEST},
    {MN_IORWF, 0x0800, 0xFE00, C16_REG_DEST},
    {MN_ANDWF, 0x0A00, 0xFE00, C16_REG_DEST},
    {MN_XORWF, 0x0C00, 0xFE00, C16_REG_DEST},
    {MN_ADDWF, 0x0E00, 0xFE00, C16_REG_DEST},
    {MN_ADDWFC, 0x1000, 0xFE00, C16_REG_DEST},
    {MN_COMF, 0x1200, 0xFE00, C16_REG_DEST},
    {MN_INCF, 0x1400, 0xFE00, C16_REG_DEST},
    {MN_DECFSZ, 0x1600, 0xFE00, C16_REG_DEST},
    {MN_RRCF, 0x1800, 0xFE00, C16_REG_DEST},
    {MN_RLCF, 0x1A00, 0xFE00, C16_REG_DEST},
    {MN_SWAPF, 0x1C00, 0xFE00, C16_REG_DEST},
    {MN_INCFSZ, 0x1E00, 0xFE00, C16_REG_DEST},
    {MN_RRNCF, 0x2000, 0xFE00, C16_REG_DEST},
    {MN_RLNCF, 0x2200, 0xFE00, C16_REG_DEST},
    {MN_INFSNZ, 0x2400, 0xFE00, C16_REG_DEST},
    {MN_DCFSNZ, 0x2600, 0xFE00, C16_REG_DEST},
    {MN_CLRF, 0x2800, 0xFE00, C16_REG_DEST},
    {MN_SETF, 0x2A00, 0xFE00, C16_REG_DEST},
    {MN_NEGW, 0x2C00, 0xFE00, C16_REG_DEST},
    {MN_DAW, 0x2E00, 0xFE00, C16_REG_DEST},
    {MN_CPFSLT, 0x3000, 0xFF00, C16_BYTE},
    {MN_CPFSEQ, 0x3100, 0xFF00, C16_BYTE},
    {MN_CPFSGT, 0x3200, 0xFF00, C16_BYTE},
    {MN_TSTFSZ, 0x3300, 0xFF00, C16_BYTE},
    {MN_MULWF, 0x3400, 0xFF00, C16_BYTE},
    {MN_BTG, 0x3800, 0xF800, C16_REG_BIT},
    // MOVPF names the peripheral register (bits 8-12) first, MOVFP the
    // file register (bits 0-7).
    {MN_MOVPF, 0x4000, 0xE000, {F(8, 5), F(0, 8), NO}},
    {MN_MOVFP, 0x6000, 0xE000, {F(0, 8), F(8, 5), NO}},
    {MN_BSF, 0x8000, 0xF800, C16_REG_BIT},
    {MN_BCF, 0x8800, 0xF800, C16_REG_BIT},
    {MN_BTFSS, 0x9000, 0xF800, C16_REG_BIT},
    {MN_BTFSC, 0x9800, 0xF800, C16_REG_BIT},
    {MN_TLRD, 0xA000, 0xFC00, {F(9, 1), F(0, 8), NO}},
    {MN_TLWT, 0xA400, 0xFC00, {F(9, 1), F(0, 8), NO}},
    {MN_TABLRD, 0xA800, 0xFC00, {F(9, 1), F(8, 1), F(0, 8)}},
    {MN_TABLWT, 0xAC00, 0xFC00, {F(9, 1), F(8, 1), F(0, 8)}},
    {MN_MOVLW, 0xB000, 0xFF00, C16_BYTE},
    {MN_ADDLW, 0xB100, 0xFF00, C16_BYTE},
    {MN_SUBLW, 0xB200, 0xFF00, C16_BYTE},
    {MN_IORLW, 0xB300, 0xFF00, C16_BYTE},
    {MN_XORLW, 0xB400, 0xFF00, C16_BYTE},
    {MN_ANDLW, 0xB500, 0xFF00, C16_BYTE},
    {MN_RETLW, 0xB600, 0xFF00, C16_BYTE},
    {MN_LCALL, 0xB700, 0xFF00, C16_BYTE},
    {MN_MOVLB, 0xB800, 0xFF00, {F(0, 4), NO, NO}},
    {MN_MOVLR, 0xBA00, 0xFE00, {F(4, 4), NO, NO}},
    {MN_MULLW, 0xBC00, 0xFF00, C16_BYTE},
    {MN_GOTO, 0xC000, 0xE000, {F(0, 13), NO, NO}},
    {MN_CALL, 0xE000, 0xE000, {F(0, 13), NO, NO}},
};

// Core12: bits 12 to 15 lie outside every mask.
#define C12_REG_DEST {F(0, 5), F(5, 1), NO}
#define C12_REG_BIT {F(0, 5), F(5, 3), NO}
#define C12_LIT {F(0, 8), NO, NO}
const Row CORE12[] = {
    // The exact words come before TRIS's range 0x000 to 0x007.
    {MN_NOP, 0x0000, 0x0FFF, {NO, NO, NO}},
    {MN_OPTION, 0x0002, 0x0FFF, {NO, NO, NO}},
    {MN_SLEEP, 0x0003, 0x0FFF, {NO, NO, NO}},
    {MN_CLRWDT, 0x0004, 0x0FFF, {NO, NO, NO}},
    {MN_TRIS, 0x0000, 0x0FF8, {F(0, 3), NO, NO}},
    {MN_MOVWF, 0x0020, 0x0FE0, {F(0, 5), NO, NO}},
    {MN_CLRW, 0x0040, 0x0FFF, {NO, NO, NO}},
    {MN_CLRF, 0x0060, 0x0FE0, {F(0, 5), NO, NO}},
    {MN_SUBWF, 0x0080, 0x0FC0, C12_REG_DEST},
    {MN_DECF, 0x00C0, 0x0FC0, C12_REG_DEST},
    {MN_IORWF, 0x0100, 0x0FC0, C12_REG_DEST},
    {MN_ANDWF, 0x0140, 0x0FC0, C12_REG_DEST},
    {MN_XORWF, 0x0180, 0x0FC0, C12_REG_DEST},
    {MN_ADDWF, 0x01C0, 0x0FC0, C12_REG_DEST},
    {MN_MOVF, 0x0200, 0x0FC0, C12_REG_DEST},
    {MN_COMF, 0x0240, 0x0FC0, C12_REG_DEST},
    {MN_INCF, 0x0280, 0x0FC0, C12_REG_DEST},
    {MN_DECFSZ, 0x02C0, 0x0FC0, C12_REG_DEST},
    {MN_RRF, 0x0300, 0x0FC0, C12_REG_DEST},
    {MN_RLF, 0x0340, 0x0FC0, C12_REG_DEST},
    {MN_SWAPF, 0x0380, 0x0FC0, C12_REG_DEST},
    {MN_INCFSZ, 0x03C0, 0x0FC0, C12_REG_DEST},
    {MN_BCF, 0x0400, 0x0F00, C12_REG_BIT},
    {MN_BSF, 0x0500, 0x0F00, C12_REG_BIT},
    {MN_BTFSC, 0x0600, 0x0F00, C12_REG_BIT},
    {MN_BTFSS, 0x0700, 0x0F00, C12_REG_BIT},
    {MN_RETLW, 0x0800, 0x0F00, C12_LIT},
    {MN_CALL, 0x0900, 0x0F00, C12_LIT},
    {MN_GOTO, 0x0A00, 0x0E00, {F(0, 9), NO, NO}},
    {MN_MOVLW, 0x0C00, 0x0F00, C12_LIT},
    {MN_IORLW, 0x0D00, 0x0F00, C12_LIT},
    {MN_ANDLW, 0x0E00, 0x0F00, C12_LIT},
    {MN_XORLW, 0x0F00, 0x0F00, C12_LIT},
};

// Core16E: all 16 bits count and no two patterns overlap. Register
// operations carry the access bit (bit 8) as operand 2.
#define C16E_REG_DEST_ACC {F(0, 8), F(9, 1), F(8, 1)}
#define C16E_REG_BIT_ACC {F(0, 8), F(9, 3), F(8, 1)}
#define C16E_REG_ACC {F(0, 8), F(8, 1), NO}
#define C16E_BYTE {F(0, 8), NO, NO}
const Row CORE16E[] = {
    {MN_NOP, 0x0000, 0xFFFF, {NO, NO, NO}},
    {MN_HALT, 0x0001, 0xFFFF, {NO, NO, NO}},
    {MN_SLEEP, 0x0003, 0xFFFF, {NO, NO, NO}},
    {MN_CLRWDT, 0x0004, 0xFFFF, {NO, NO, NO}},
    {MN_PUSH, 0x0005, 0xFFFF, {NO, NO, NO}},
    {MN_POP, 0x0006, 0xFFFF, {NO, NO, NO}},
    {MN_DAW, 0x0007, 0xFFFF, {NO, NO, NO}},
    {MN_TBLRD, 0x0008, 0xFFFF, {NO, NO, NO}},
    {MN_TBLRDPOSTINC, 0x0009, 0xFFFF, {NO, NO, NO}},
    {MN_TBLRDPOSTDEC, 0x000A, 0xFFFF, {NO, NO, NO}},
    {MN_TBLRDPREINC, 0x000B, 0xFFFF, {NO, NO, NO}},
    {MN_TBLWT, 0x000C, 0xFFFF, {NO, NO, NO}},
    {MN_TBLWTPOSTINC, 0x000D, 0xFFFF, {NO, NO, NO}},
    {MN_TBLWTPOSTDEC, 0x000E, 0xFFFF, {NO, NO, NO}},
    {MN_TBLWTPREINC, 0x000F, 0xFFFF, {NO, NO, NO}},
    // The low bit of RETFIE and RETURN is the fast-return flag.
    {MN_RETFIE, 0x0010, 0xFFFE, {F(0, 1), NO, NO}},
    {MN_RETURN, 0x0012, 0xFFFE, {F(0, 1), NO, NO}},
    {MN_STOP, 0x0020, 0xFFFF, {NO, NO, NO}},
    {MN_LOG, 0x0021, 0xFFFF, {NO, NO, NO}},
    {MN_PAUSE, 0x0022, 0xFFFF, {NO, NO, NO}},
    {MN_TRAP, 0x00E0, 0xFFFF, {NO, NO, NO}},
    {MN_TRET, 0x00E1, 0xFFFF, {NO, NO, NO}},
    {MN_RESET, 0x00FF, 0xFFFF, {NO, NO, NO}},
    {MN_MOVLB, 0x0100, 0xFF00, C16E_BYTE},
    {MN_MULWF, 0x0200, 0xFE00, C16E_REG_ACC},
    {MN_DECF, 0x0400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_SUBLW, 0x0800, 0xFF00, C16E_BYTE},
    {MN_IORLW, 0x0900, 0xFF00, C16E_BYTE},
    {MN_XORLW, 0x0A00, 0xFF00, C16E_BYTE},
    {MN_ANDLW, 0x0B00, 0xFF00, C16E_BYTE},
    {MN_RETLW, 0x0C00, 0xFF00, C16E_BYTE},
    {MN_MULLW, 0x0D00, 0xFF00, C16E_BYTE},
    {MN_MOVLW, 0x0E00, 0xFF00, C16E_BYTE},
    {MN_ADDLW, 0x0F00, 0xFF00, C16E_BYTE},
    {MN_IORWF, 0x1000, 0xFC00, C16E_REG_DEST_ACC},
    {MN_ANDWF, 0x1400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_XORWF, 0x1800, 0xFC00, C16E_REG_DEST_ACC},
    {MN_COMF, 0x1C00, 0xFC00, C16E_REG_DEST_ACC},
    {MN_ADDWFC, 0x2000, 0xFC00, C16E_REG_DEST_ACC},
    {MN_ADDWF, 0x2400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_INCF, 0x2800, 0xFC00, C16E_REG_DEST_ACC},
    {MN_DECFSZ, 0x2C00, 0xFC00, C16E_REG_DEST_ACC},
    {MN_RRCF, 0x3000, 0xFC00, C16E_REG_DEST_ACC},
    {MN_RLCF, 0x3400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_SWAPF, 0x3800, 0xFC00, C16E_REG_DEST_ACC},
    {MN_INCFSZ, 0x3C00, 0xFC00, C16E_REG_DEST_ACC},
    {MN_RRNCF, 0x4000, 0xFC00, C16E_REG_DEST_ACC},
    {MN_RLNCF, 0x4400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_INFSNZ, 0x4800, 0xFC00, C16E_REG_DEST_ACC},
    {MN_DCFSNZ, 0x4C00, 0xFC00, C16E_REG_DEST_ACC},
    {MN_MOVF, 0x5000, 0xFC00, C16E_REG_DEST_ACC},
    {MN_SUBFWB, 0x5400, 0xFC00, C16E_REG_DEST_ACC},
    {MN_SUBWFB, 0x5800, 0xFC00, C16E_REG_DEST_ACC},
    {MN_SUBWF, 0x5C00, 0xFC00, C16E_REG_DEST_ACC},
    {MN_CPFSLT, 0x6000, 0xFE00, C16E_REG_ACC},
    {MN_CPFSEQ, 0x6200, 0xFE00, C16E_REG_ACC},
    {MN_CPFSGT, 0x6400, 0xFE00, C16E_REG_ACC},
    {MN_TSTFSZ, 0x6600, 0xFE00, C16E_REG_ACC},
    {MN_SETF, 0x6800, 0xFE00, C16E_REG_ACC},
    {MN_CLRF, 0x6A00, 0xFE00, C16E_REG_ACC},
    {MN_NEGF, 0x6C00, 0xFE00, C16E_REG_ACC},
    {MN_MOVWF, 0x6E00, 0xFE00, C16E_REG_ACC},
    {MN_BTG, 0x7000, 0xF000, C16E_REG_BIT_ACC},
    {MN_BSF, 0x8000, 0xF000, C16E_REG_BIT_ACC},
    {MN_BCF, 0x9000, 0xF000, C16E_REG_BIT_ACC},
    {MN_BTFSS, 0xA000, 0xF000, C16E_REG_BIT_ACC},
    {MN_BTFSC, 0xB000, 0xF000, C16E_REG_BIT_ACC},
    // Source register in the first word, destination wholly in the second.
    {MN_MOVFF, 0xC000, 0xF000, {F(0, 12), IN_WORD2, NO}},
    {MN_BRA, 0xD000, 0xF800, {F(0, 11), NO, NO}},
    {MN_RCALL, 0xD800, 0xF800, {F(0, 11), NO, NO}},
    {MN_BZ, 0xE000, 0xFF00, C16E_BYTE},
    {MN_BNZ, 0xE100, 0xFF00, C16E_BYTE},
    {MN_BC, 0xE200, 0xFF00, C16E_BYTE},
    {MN_BNC, 0xE300, 0xFF00, C16E_BYTE},
    {MN_BOV, 0xE400, 0xFF00, C16E_BYTE},
    {MN_BNOV, 0xE500, 0xFF00, C16E_BYTE},
    {MN_BN, 0xE600, 0xFF00, C16E_BYTE},
    {MN_BNN, 0xE700, 0xFF00, C16E_BYTE},
    // CALL: low 8 bits of the word address and the fast bit; the next 12
    // address bits follow in the second word, as for GOTO.
    {MN_CALL, 0xEC00, 0xFE00, C16E_REG_ACC},
    // LFSR: pointer number, then the top 4 bits of the 12-bit value; the
    // low 8 bits follow in the second word.
    {MN_LFSR, 0xEE00, 0xFFC0, {F(4, 2), F(0, 4), NO}},
    {MN_GOTO, 0xEF00, 0xFF00, C16E_BYTE},
    // The second word of a two-word instruction, decoded on its own.
    {MN_WORD2, 0xF000, 0xF000, {F(0, 12), NO, NO}},
};

struct RowList {
    const Row *rows;
    size_t count;
};

template <size_t N>
constexpr RowList rowsOf(const Row (&rows)[N])
{
    return RowList{rows, N};
}

// The family's rows; an unknown family ends in the assertion at the line of
// the public function that asked (given by the caller).
RowList familyRows(DeviceFamily family, int line)
{
    switch (family) {
    case FAMILY_CORE14:
        return rowsOf(CORE14);
    case FAMILY_CORE16:
        return rowsOf(CORE16);
    case FAMILY_CORE12:
        return rowsOf(CORE12);
    case FAMILY_CORE16E:
        return rowsOf(CORE16E);
    }
    assertFailed("0", MODULE, line);
}

const Row *findByWord(uint16_t word, const RowList &list)
{
    for (size_t i = 0; i < list.count; ++i)
        if ((word & list.rows[i].mask) == list.rows[i].pattern)
            return &list.rows[i];
    return nullptr;
}

const Row *findByIndex(MnemonicIndex index, const RowList &list)
{
    for (size_t i = 0; i < list.count; ++i)
        if (list.rows[i].index == index)
            return &list.rows[i];
    return nullptr;
}

uint16_t readField(uint16_t word, const Field &f)
{
    return uint16_t((word >> f.lo) & ((1u << f.width) - 1));
}

void writeField(uint16_t &word, uint16_t value, const Field &f)
{
    uint32_t fieldMask = ((1u << f.width) - 1) << f.lo;
    word = uint16_t((word & ~fieldMask) | ((uint32_t(value) << f.lo) & fieldMask));
}

// The row of a word that must be an instruction, asserting from the caller's
// line otherwise.
const Row &decodedRow(uint16_t word, DeviceFamily family, int line)
{
    const Row *row = findByWord(word, familyRows(family, line));
    if (!row)
        assertFailed("0", MODULE, line);
    return *row;
}

const Field &operandField(const Row &row, unsigned n, int line)
{
    if (n > 2 || !row.op[n].present)
        assertFailed("0", MODULE, line);
    return row.op[n];
}

char foldAsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string hexText(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(value));
    return buf;
}

// Core16E's relocation types of operand 0.
int core16eRelocOperand0(MnemonicIndex index)
{
    switch (index) {
    case MN_ADDLW: case MN_ADDWF: case MN_ADDWFC: case MN_ANDLW: case MN_ANDWF:
    case MN_BCF: case MN_BSF: case MN_BTFSC: case MN_BTFSS: case MN_BTG:
    case MN_CLRF: case MN_COMF: case MN_CPFSEQ: case MN_CPFSGT: case MN_CPFSLT:
    case MN_DCFSNZ: case MN_DECF: case MN_DECFSZ: case MN_INCF: case MN_INCFSZ:
    case MN_INFSNZ: case MN_IORLW: case MN_IORWF: case MN_MOVF: case MN_MOVLW:
    case MN_MOVWF: case MN_MULLW: case MN_MULWF: case MN_NEGF: case MN_RETLW:
    case MN_RLCF: case MN_RLNCF: case MN_RRCF: case MN_RRNCF: case MN_SETF:
    case MN_SUBFWB: case MN_SUBLW: case MN_SUBWF: case MN_SUBWFB: case MN_SWAPF:
    case MN_TSTFSZ: case MN_XORLW: case MN_XORWF:
        return 10; // RELOCT_F
    case MN_BC: case MN_BN: case MN_BNC: case MN_BNN: case MN_BNOV: case MN_BNZ:
    case MN_BOV: case MN_BZ:
        return 20; // RELOCT_CONDBRA
    case MN_BRA: case MN_RCALL:
        return 19; // RELOCT_BRA
    case MN_CALL:
        return 1; // RELOCT_CALL
    case MN_GOTO:
        return 2; // RELOCT_GOTO
    case MN_MOVFF:
        return 15; // RELOCT_FF1
    case MN_MOVLB:
        return 13; // RELOCT_MOVLB
    default:
        return -1;
    }
}

// A Core16E word that carries the rest of a two-word instruction.
bool isWord2(uint16_t word)
{
    return inst_is_valid(word, FAMILY_CORE16E) && inst_decode(word, FAMILY_CORE16E) == MN_WORD2;
}

// The target of a Core16E relative branch: the offset is a signed count of
// words from the next instruction; the sum wraps as an unsigned 32-bit number.
uint32_t branchTarget(uint32_t address, uint16_t offset, unsigned width)
{
    int32_t signedOffset = int32_t(offset);
    if (offset & (1u << (width - 1)))
        signedOffset -= int32_t(1u << width);
    return address + 2u + 2u * uint32_t(signedOffset);
}

} // namespace

// A key that is not in the table is the caller's fault: the assertion names
// this module and the line of the function that was asked.
#define UNKNOWN_KEY() assertFailed("0", MODULE, __LINE__)

const char *inst_name(MnemonicIndex index)
{
    if (index < MN_ADDLW || index > MN_PAGESEL)
        UNKNOWN_KEY();
    return NAMES[index - 1];
}

MnemonicIndex inst_decode(uint16_t word, DeviceFamily family)
{
    return decodedRow(word, family, __LINE__).index;
}

int inst_is_valid(uint16_t word, DeviceFamily family)
{
    return findByWord(word, familyRows(family, __LINE__)) ? 1 : 0;
}

void inst_put_opcode(uint16_t &word, MnemonicIndex index, DeviceFamily family)
{
    const Row *row = findByIndex(index, familyRows(family, __LINE__));
    if (!row)
        UNKNOWN_KEY();
    word = uint16_t((word & ~row->mask) | row->pattern);
}

void inst_put_operand0(uint16_t &word, uint16_t value, DeviceFamily family)
{
    writeField(word, value, operandField(decodedRow(word, family, __LINE__), 0, __LINE__));
}

void inst_put_operand1(uint16_t &word, uint16_t value, DeviceFamily family)
{
    writeField(word, value, operandField(decodedRow(word, family, __LINE__), 1, __LINE__));
}

void inst_put_operand2(uint16_t &word, uint16_t value, DeviceFamily family)
{
    writeField(word, value, operandField(decodedRow(word, family, __LINE__), 2, __LINE__));
}

uint16_t inst_operand0(uint16_t word, DeviceFamily family)
{
    return readField(word, operandField(decodedRow(word, family, __LINE__), 0, __LINE__));
}

uint16_t inst_operand1(uint16_t word, DeviceFamily family)
{
    return readField(word, operandField(decodedRow(word, family, __LINE__), 1, __LINE__));
}

uint16_t inst_operand2(uint16_t word, DeviceFamily family)
{
    return readField(word, operandField(decodedRow(word, family, __LINE__), 2, __LINE__));
}

uint16_t inst_operand(uint16_t word, DeviceFamily family, unsigned n)
{
    if (n > 2)
        UNKNOWN_KEY();
    return readField(word, operandField(decodedRow(word, family, __LINE__), n, __LINE__));
}

int inst_has_operand(MnemonicIndex index, DeviceFamily family, unsigned n)
{
    const Row *row = findByIndex(index, familyRows(family, __LINE__));
    return (row && n <= 2 && row->op[n].present) ? 1 : 0;
}

int inst_flag(MnemonicIndex index, DeviceFamily family)
{
    familyRows(family, __LINE__);
    if (family != FAMILY_CORE16E)
        return 0;
    return (index == MN_CALL || index == MN_GOTO || index == MN_LFSR || index == MN_MOVFF) ? 1 : 0;
}

int inst_word2_operand(MnemonicIndex index, DeviceFamily family)
{
    familyRows(family, __LINE__);
    if (family != FAMILY_CORE16E)
        return -1;
    switch (index) {
    case MN_CALL: case MN_GOTO:
        return 1;
    case MN_LFSR: case MN_MOVFF:
        return 2;
    case MN_RCALL: case MN_TRAP: case MN_TRET:
        return 0;
    default:
        return -1;
    }
}

int inst_reloc_type(MnemonicIndex index, DeviceFamily family, unsigned n)
{
    const RowList rows = familyRows(family, __LINE__);
    if (n > 2 || !findByIndex(index, rows))
        UNKNOWN_KEY();
    // Only Core16E operands take relocations from an assembler.
    if (family != FAMILY_CORE16E)
        return -1;
    if (n == 0)
        return core16eRelocOperand0(index);
    if (n == 1 && index == MN_LFSR)
        return 17; // RELOCT_LFSR1
    return -1;
}

int inst_reloc_type_word2(MnemonicIndex index, DeviceFamily family)
{
    const RowList rows = familyRows(family, __LINE__);
    if (!findByIndex(index, rows))
        UNKNOWN_KEY();
    if (family != FAMILY_CORE16E)
        return -1;
    switch (index) {
    case MN_CALL: case MN_GOTO:
        return 14; // RELOCT_CALL2
    case MN_MOVFF:
        return 16; // RELOCT_FF2
    case MN_LFSR:
        return 18; // RELOCT_LFSR2
    default:
        return -1;
    }
}

std::string inst_disassemble(uint32_t address, uint16_t word, uint16_t word2, uint8_t &count,
                             DeviceFamily family)
{
    const Row &row = decodedRow(word, family, __LINE__);
    count = 1;

    // The mnemonic padded to 10 columns; longer names are written whole.
    std::string text = inst_name(row.index);
    if (text.size() < 10)
        text.append(10 - text.size(), ' ');

    if (family == FAMILY_CORE16E) {
        switch (row.index) {
        case MN_BC: case MN_BN: case MN_BNC: case MN_BNN: case MN_BNOV: case MN_BNZ:
        case MN_BOV: case MN_BZ:
            return text + hexText(branchTarget(address, readField(word, row.op[0]), 8));
        case MN_BRA: case MN_RCALL:
            return text + hexText(branchTarget(address, readField(word, row.op[0]), 11));
        case MN_CALL: case MN_GOTO:
            if (isWord2(word2)) {
                count = 2;
                uint32_t wordAddress = (uint32_t(word2 & 0xFFF) << 8) | (word & 0xFF);
                text += hexText(2 * wordAddress);
            } else {
                text += "???";
            }
            if (row.index == MN_CALL) {
                text += ',';
                text += hexText(readField(word, row.op[1]));
            }
            return text;
        case MN_LFSR:
            text += hexText(readField(word, row.op[0]));
            if (isWord2(word2)) {
                count = 2;
                return text + "," + hexText((uint32_t(readField(word, row.op[1])) << 8) | (word2 & 0xFF));
            }
            return text + ",???";
        case MN_MOVFF:
            text += hexText(readField(word, row.op[0]));
            if (isWord2(word2)) {
                count = 2;
                return text + "," + hexText(word2 & 0xFFF);
            }
            return text + ",???";
        default:
            break;
        }
    }

    for (unsigned n = 0; n < 3 && row.op[n].present; ++n) {
        if (n > 0)
            text += ",";
        text += hexText(readField(word, row.op[n]));
    }
    return text;
}

int inst_lookup(std::string_view text, MnemonicIndex &index, DeviceFamily family)
{
    const RowList list = familyRows(family, __LINE__);
    for (size_t i = 0; i < list.count; ++i) {
        std::string_view name = NAMES[list.rows[i].index - 1];
        if (name.size() != text.size())
            continue;
        size_t k = 0;
        while (k < text.size() && foldAsciiLower(text[k]) == foldAsciiLower(name[k]))
            ++k;
        if (k == text.size()) {
            index = list.rows[i].index;
            return 1;
        }
    }
    return 0;
}
