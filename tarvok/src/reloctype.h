// The relocation types of r_type: what each asks the linker to write into
// an instruction word, and which device families accept it.
#pragma once

#include "mgproc.h"

#include <cstdint>

enum RelocType : uint16_t {
    RELOCT_CALL = 1,          // call target address field
    RELOCT_GOTO = 2,          // goto target address field
    RELOCT_HIGH = 3,          // bits 8..15 into an 8-bit literal
    RELOCT_LOW = 4,           // bits 0..7 into an 8-bit literal
    RELOCT_P = 5,             // bits 0..4 into the 5-bit P field
    RELOCT_BANKSEL = 6,       // select the data bank of the value
    RELOCT_PAGESEL = 7,       // select the program page of the value
    RELOCT_ALL = 8,           // bits 0..15 into the whole word
    RELOCT_IBANKSEL = 9,      // select the bank for indirect addressing
    RELOCT_F = 10,            // file-register address field
    RELOCT_TRIS = 11,         // 3-bit operand of TRIS
    RELOCT_MOVLR = 12,        // bank number into the upper nibble
    RELOCT_MOVLB = 13,        // bank number into the bank-select literal
    RELOCT_CALL2 = 14,        // second word of a two-word CALL or GOTO
    RELOCT_FF1 = 15,          // first (source) word of MOVFF
    RELOCT_FF2 = 16,          // second (destination) word of MOVFF
    RELOCT_LFSR1 = 17,        // first word of LFSR
    RELOCT_LFSR2 = 18,        // second word of LFSR
    RELOCT_BRA = 19,          // 11-bit relative branch
    RELOCT_CONDBRA = 20,      // 8-bit relative conditional branch
    RELOCT_UPPER = 21,        // bits 16..23 into an 8-bit literal
    RELOCT_ACCESS = 22,       // access-bank bit
    RELOCT_PAGESEL_WREG = 23, // page selection through the working register
    RELOCT_PAGESEL_BITS = 24, // page selection by single bit set and clear
    RELOCT_SCNSZ_LOW = 25,    // section size, bits 0..7
    RELOCT_SCNSZ_HIGH = 26,   // section size, bits 8..15
    RELOCT_SCNSZ_UPPER = 27,  // section size, bits 16..23
    RELOCT_SCNEND_LOW = 28,   // last address of a section, bits 0..7
    RELOCT_SCNEND_HIGH = 29,  // last address of a section, bits 8..15
    RELOCT_SCNEND_UPPER = 30, // last address of a section, bits 16..23
    RELOCT_SCNEND_LFSR1 = 31, // last address of a section, first word of LFSR
    RELOCT_SCNEND_LFSR2 = 32, // last address of a section, second word of LFSR
};

const uint16_t RELOCT_FIRST = RELOCT_CALL;
const uint16_t RELOCT_LAST = RELOCT_SCNEND_LFSR2;

// The type's name ("RELOCT_CALL"), or "RELOCT_UNKNOWN" for a value outside
// 1 to 32.
const char *relocTypeName(uint16_t type);

// True when the family's patcher accepts the type.
bool relocTypeAccepted(uint16_t type, DeviceFamily family);
