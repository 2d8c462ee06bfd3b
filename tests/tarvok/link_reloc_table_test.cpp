// Every relocation type of every device family through the linker program:
// an object holds an instruction word (or a reserved pair) with one
// relocation to "target", an absolute symbol of known value, and the word
// written into the executable is read back with the suite's own reader. Failing entries end the link with their message and exit code 1
// and leave no executable.
//
// Instruction words used below:
//   14-bit: BCF f,b 0x1000|b<<7|f, BSF 0x1400|b<<7|f, MOVLW 0x3000|k,
//           MOVWF 0x0080|f, CALL 0x2000, GOTO 0x2800
//   12-bit: BCF f,b 0x400|b<<5|f, BSF 0x500|b<<5|f, CALL 0x900, GOTO 0xa00,
//           MOVLW 0xc00, MOVWF 0x020|f, TRIS 0x000|f
//   16-bit: CALL 0xe000, GOTO 0xc000, MOVLW 0xb000, MOVLB 0xb800|bank,
//           MOVLR 0xba00|bank<<4, MOVWF 0x0100|f, MOVFP 0x6000|p<<8|f
//   byte-addressed: CALL 0xec00, GOTO 0xef00, second words 0xf000, BRA
//           0xd000, RCALL 0xd800, BZ 0xe000, BNZ 0xe100, MOVFF 0xc000,
//           LFSR 0xee00|fsr<<4, MOVLW 0x0e00, MOVLB 0x0100, MOVWF 0x6e00
//           with the access bit in bit 8

#include "link_fixture.h"
#include "reloctype.h"

#include <gtest/gtest.h>

namespace {

// Devices: 14-bit with 1 page/2 banks, 2 pages/2 banks, 3 and 4 pages/4
// banks; 12-bit with 1 page/1 bank, 2 pages/1 bank, 2 pages/2 banks, 4
// pages/4 banks; 16-bit with 4 banks/1 page, 8 banks/1 page, 8 banks/2
// pages; one byte-addressed device.
const ProcessorCode P14_1x2 = 0x08, P14_2x2 = 0x0E, P14_3x4 = 0x45, P14_4x4 = 0x34;
const ProcessorCode P12_1x1 = 0x03, P12_2x1 = 0x1B, P12_2x2 = 0x05, P12_4x4 = 0x1F;
const ProcessorCode P16_4B = 0x76, P16_8B = 0x7A, P16_2P = 0x7B;
const ProcessorCode P18 = 0x81;

struct Row
{
    const char *name;
    ProcessorCode device;
    uint16_t type;
    uint32_t target; // the value of "target"
    int16_t addend;
    std::vector<uint16_t> before; // the words from offset 2 of section "code"
    std::vector<uint16_t> after;  // the same words in the executable
    std::string error = "";       // the message of a link that must fail
    const char *symbol = "target";
    int32_t symndx = -1; // a raw symbol index instead of the symbol
};

std::ostream &operator<<(std::ostream &out, const Row &r) { return out << r.name; }

// The word-addressed families put "code" at location 0x100; the
// byte-addressed one at 0x1000, so the branch word at offset 2 is followed
// by location 0x1004 and a branch to 0x1004 + D has displacement D. Its
// "far_blocks" (0x1c4 bytes at 0x1f5a0, a name in the string table) ends
// at 0x1f763.
std::string commandFile(DeviceFamily family)
{
    switch (family) {
    case FAMILY_CORE14:
        return "CODEPAGE NAME=page0 START=0x0 END=0x1FF\nDATABANK NAME=gpr0 START=0x20 END=0x6F\n";
    case FAMILY_CORE12:
        return "CODEPAGE NAME=page0 START=0x0 END=0x1FF\nDATABANK NAME=gpr0 START=0x08 END=0x1F\n";
    case FAMILY_CORE16:
        return "CODEPAGE NAME=page0 START=0x0 END=0x1FF\nDATABANK NAME=gpr0 START=0x20 END=0xFF\n";
    default:
        return "CODEPAGE NAME=page0 START=0x0 END=0x1FFFF\nACCESSBANK NAME=acc START=0x0 END=0x5F\n"
               "DATABANK NAME=gpr0 START=0x60 END=0xFF\n";
    }
}

std::vector<uint8_t> wordBytes(const std::vector<uint16_t> &words)
{
    std::vector<uint8_t> bytes;
    for (uint16_t w : words) {
        bytes.push_back(uint8_t(w));
        bytes.push_back(uint8_t(w >> 8));
    }
    return bytes;
}

const std::string NOT_ALIGNED =
    "Symbol 'target' is not word-aligned.\nIt cannot be used as the target of a call or goto instruction.";
const std::string OUT_OF_RANGE = "Symbol 'target' out of range of relative branch instruction.";
const std::string UNSUPPORTED = "unsupported relocation type.";
const std::string NOT_IN_LOWER_HALF =
    "performs a call to \n symbol 'target' which is not in the lower half of a page.";

const Row ROWS[] = {
    // 14-bit fields: the bits outside the field stay.
    {"C14_CALL", P14_4x4, RELOCT_CALL, 0x1234, 0, {0x27FF}, {0x2234}},
    {"C14_GOTO", P14_4x4, RELOCT_GOTO, 0x0ABC, 0, {0x2800}, {0x2ABC}},
    {"C14_HIGH", P14_4x4, RELOCT_HIGH, 0x1234, 0, {0x30FF}, {0x3012}},
    {"C14_LOW_addend", P14_4x4, RELOCT_LOW, 0x0120, -2, {0x3000}, {0x301E}},
    {"C14_LOW_addend_wraps", P14_4x4, RELOCT_LOW, 0x0010, -0x20, {0x3000}, {0x30F0}}, // 0xfffffff0
    {"C14_ALL", P14_4x4, RELOCT_ALL, 0x12345, 0, {0xFFFF}, {0x2345}},
    {"C14_F", P14_4x4, RELOCT_F, 0x01A5, 0, {0x00FF}, {0x00A5}},
    // Bank selection: rp0 = bit 7, rp1 = bit 8; irp = bit 8 with more than
    // two banks; two banks get only the rp0 word.
    {"C14_BANKSEL_4banks", P14_4x4, RELOCT_BANKSEL, 0x01A0, 0, {0, 0}, {0x1683, 0x1703}},
    {"C14_BANKSEL_4banks_clear", P14_4x4, RELOCT_BANKSEL, 0x0020, 0, {0x3FFF, 0x3FFF}, {0x1283, 0x1303}},
    {"C14_BANKSEL_2banks", P14_1x2, RELOCT_BANKSEL, 0x00A0, 0, {0, 0x0123}, {0x1683, 0x0123}},
    {"C14_BANKSEL_by_addend", P14_4x4, RELOCT_BANKSEL, 0x007F, 1, {0, 0}, {0x1683, 0x1303}},
    {"C14_IBANKSEL_4banks", P14_4x4, RELOCT_IBANKSEL, 0x0120, 0, {0, 0x0456}, {0x1783, 0x0456}},
    {"C14_IBANKSEL_2banks", P14_2x2, RELOCT_IBANKSEL, 0x0120, 0, {0x0111, 0x0222}, {0x0111, 0x0222}},
    // Pages through W: MOVLW 0x0a, MOVWF PCLATH, whatever the page count.
    {"C14_PAGESEL_4pages", P14_4x4, RELOCT_PAGESEL, 0x0A34, 0, {0, 0}, {0x300A, 0x008A}},
    {"C14_PAGESEL_WREG_1page", P14_1x2, RELOCT_PAGESEL_WREG, 0x0A34, 0, {0x3FFF, 0x3FFF}, {0x300A, 0x008A}},
    // Pages by bits: PCLATH bit 3 = bit 11, bit 4 = bit 12.
    {"C14_PAGESEL_BITS_4pages", P14_4x4, RELOCT_PAGESEL_BITS, 0x0A34, 0, {0, 0}, {0x158A, 0x120A}},
    {"C14_PAGESEL_BITS_3pages", P14_3x4, RELOCT_PAGESEL_BITS, 0x1800, 0, {0, 0}, {0x158A, 0x160A}},
    {"C14_PAGESEL_BITS_2pages", P14_2x2, RELOCT_PAGESEL_BITS, 0x0234, 0, {0, 0x0333}, {0x118A, 0x0333}},
    {"C14_PAGESEL_BITS_1page", P14_1x2, RELOCT_PAGESEL_BITS, 0x0A34, 0, {0x0444, 0x0555}, {0x0444, 0x0555}},

    // 12-bit fields. The call target 0x4ab is in the lower half of its page.
    {"C12_CALL", P12_4x4, RELOCT_CALL, 0x04AB, 0, {0x09FF}, {0x09AB}},
    {"C12_GOTO", P12_4x4, RELOCT_GOTO, 0x03AB, 0, {0x0A00}, {0x0BAB}},
    {"C12_HIGH", P12_4x4, RELOCT_HIGH, 0x1234, 0, {0x0C00}, {0x0C12}},
    {"C12_LOW", P12_4x4, RELOCT_LOW, 0x1234, 0, {0x0C00}, {0x0C34}},
    {"C12_F", P12_4x4, RELOCT_F, 0x0045, 0, {0x003F}, {0x0025}},
    {"C12_TRIS", P12_4x4, RELOCT_TRIS, 0x000E, 0, {0x0005}, {0x0006}},
    {"C12_ALL", P12_4x4, RELOCT_ALL, 0xBEEF, 0, {0x0000}, {0xBEEF}},
    // Banks: FSR bits 5 and 6 from bits 5 and 6, two words on every device.
    {"C12_BANKSEL_4banks", P12_4x4, RELOCT_BANKSEL, 0x0050, 0, {0xFFFF, 0xFFFF}, {0x04A4, 0x05C4}},
    {"C12_IBANKSEL_2banks", P12_2x2, RELOCT_IBANKSEL, 0x0020, 0, {0, 0}, {0x05A4, 0x04C4}},
    {"C12_BANKSEL_1bank", P12_1x1, RELOCT_BANKSEL, 0x0050, 0, {0, 0}, {0x04A4, 0x05C4}},
    // Pages: STATUS bits 5 and 6 from bits 9 and 10.
    {"C12_PAGESEL_4pages", P12_4x4, RELOCT_PAGESEL, 0x02FF, 0, {0, 0}, {0x05A3, 0x04C3}},
    {"C12_PAGESEL_BITS_4pages", P12_4x4, RELOCT_PAGESEL_BITS, 0x0600, 0, {0, 0}, {0x05A3, 0x05C3}},
    {"C12_PAGESEL_2pages", P12_2x1, RELOCT_PAGESEL, 0x02FF, 0, {0, 0x0777}, {0x05A3, 0x0777}},
    {"C12_PAGESEL_BITS_2pages", P12_2x1, RELOCT_PAGESEL_BITS, 0x00FF, 0, {0, 0x0777}, {0x04A3, 0x0777}},
    {"C12_PAGESEL_1page", P12_1x1, RELOCT_PAGESEL, 0x02FF, 0, {0x0111, 0x0222}, {0x0111, 0x0222}},

    // 16-bit fields.
    {"C16_CALL", P16_4B, RELOCT_CALL, 0x3ABC, 0, {0xE000}, {0xFABC}},
    {"C16_GOTO", P16_4B, RELOCT_GOTO, 0x0123, 0, {0xDFFF}, {0xC123}},
    {"C16_HIGH", P16_4B, RELOCT_HIGH, 0x1234, 0, {0xB0FF}, {0xB012}},
    {"C16_HIGH_addend_wraps", P16_4B, RELOCT_HIGH, 0x0010, -0x20, {0xB000}, {0xB0FF}},
    {"C16_LOW", P16_4B, RELOCT_LOW, 0x1234, 0, {0xB000}, {0xB034}},
    {"C16_F", P16_4B, RELOCT_F, 0x02A5, 0, {0x0100}, {0x01A5}},
    {"C16_P", P16_4B, RELOCT_P, 0x0025, 0, {0x60FF}, {0x65FF}},
    {"C16_ALL", P16_4B, RELOCT_ALL, 0xFEDC, 0, {0x0000}, {0xFEDC}},
    {"C16_MOVLR", P16_4B, RELOCT_MOVLR, 0x0345, 0, {0xBA00}, {0xBA30}},
    {"C16_MOVLB", P16_4B, RELOCT_MOVLB, 0x0345, 0, {0xB80F}, {0xB803}},
    // Bank 0x12 keeps its low nibble.
    {"C16_MOVLR_bank_above_15", P16_8B, RELOCT_MOVLR, 0x1234, 0, {0xBAF0}, {0xBA20}},
    // One word: MOVLR for a general-purpose register (in-bank offset 0x20
    // and up), MOVLB for a special-function register.
    {"C16_BANKSEL_gpr", P16_4B, RELOCT_BANKSEL, 0x02A0, 0, {0, 0x1234}, {0xBA20, 0x1234}},
    {"C16_IBANKSEL_sfr", P16_4B, RELOCT_IBANKSEL, 0x0115, 0, {0xFFFF}, {0xB801}},
    {"C16_BANKSEL_8banks", P16_8B, RELOCT_BANKSEL, 0x0720, 0, {0}, {0xBA70}},
    // Pages: MOVLW high byte, MOVWF PCLATH (register 3).
    {"C16_PAGESEL_1page", P16_4B, RELOCT_PAGESEL, 0x1234, 0, {0xFFFF, 0xFFFF}, {0xB012, 0x0103}},
    {"C16_PAGESEL_WREG_2pages", P16_2P, RELOCT_PAGESEL_WREG, 0x1234, 0, {0, 0}, {0xB012, 0x0103}},

    // Byte-addressed: 0x1a2b4 is word 0xd15a; its low byte goes into the
    // first word, bits 8 to 19 (0x0d1) into the second.
    {"C16E_CALL", P18, RELOCT_CALL, 0x1A2B4, 0, {0xEC00}, {0xEC5A}},
    {"C16E_GOTO", P18, RELOCT_GOTO, 0x1A2B4, 0, {0xEFFF}, {0xEF5A}},
    {"C16E_CALL2", P18, RELOCT_CALL2, 0x1A2B4, 0, {0xF000}, {0xF0D1}},
    // The second word takes any target, odd or the highest: 0x1fffff >> 9.
    {"C16E_CALL2_odd_highest", P18, RELOCT_CALL2, 0x1FFFFF, 0, {0xF000}, {0xFFFF}},
    // Branches, D = target - 0x1004, written as words; D <= 0 first gets
    // 0x1000 (0x200) added.
    {"C16E_BRA_back", P18, RELOCT_BRA, 0x0EF2, 0, {0xD000}, {0xD777}},         // -274
    {"C16E_RCALL_farthest_back", P18, RELOCT_BRA, 0x0804, 0, {0xD800}, {0xDC00}}, // -2048
    {"C16E_BRA_farthest", P18, RELOCT_BRA, 0x1802, 0, {0xD000}, {0xD3FF}},     // 2046
    {"C16E_BRA_next", P18, RELOCT_BRA, 0x1004, 0, {0xD7FF}, {0xD000}},         // 0
    {"C16E_CONDBRA_farthest", P18, RELOCT_CONDBRA, 0x1102, 0, {0xE000}, {0xE07F}}, // 254
    {"C16E_CONDBRA_farthest_back", P18, RELOCT_CONDBRA, 0x0F04, 0, {0xE1FF}, {0xE180}}, // -256
    {"C16E_CONDBRA_back", P18, RELOCT_CONDBRA, 0x1000, 2, {0xE000}, {0xE0FF}}, // -2 with the addend
    {"C16E_FF1", P18, RELOCT_FF1, 0x0FFF, 0, {0xC000}, {0xCFFF}},
    {"C16E_FF2", P18, RELOCT_FF2, 0x0FFA, 0, {0xF000}, {0xFFFA}},
    {"C16E_FF2_beyond_TOSU", P18, RELOCT_FF2, 0x1FFF, 0, {0xF000}, {0xFFFF}},
    {"C16E_LFSR1", P18, RELOCT_LFSR1, 0x0345, 0, {0xEE1F}, {0xEE13}},
    {"C16E_LFSR2", P18, RELOCT_LFSR2, 0x0345, 0, {0xF0FF}, {0xF045}},
    {"C16E_LOW", P18, RELOCT_LOW, 0x123456, 0, {0x0E00}, {0x0E56}},
    {"C16E_F", P18, RELOCT_F, 0x01A5, 0, {0x6EFF}, {0x6EA5}},
    {"C16E_HIGH", P18, RELOCT_HIGH, 0x123456, 0, {0x0E00}, {0x0E34}},
    {"C16E_UPPER", P18, RELOCT_UPPER, 0x123456, 0, {0x0EFF}, {0x0E12}},
    {"C16E_ALL", P18, RELOCT_ALL, 0x123456, 0, {0x0000}, {0x3456}},
    {"C16E_BANKSEL", P18, RELOCT_BANKSEL, 0x0345, 0, {0x0100, 0x0E00}, {0x0103, 0x0E00}},
    {"C16E_IBANKSEL", P18, RELOCT_IBANKSEL, 0x02FF, 0, {0x0100}, {0x0102}},
    {"C16E_MOVLB", P18, RELOCT_MOVLB, 0x01A0, 0, {0x01FF}, {0x0101}},
    // Access bit: clear inside the ACCESSBANK 0x00-0x5f, set outside it.
    {"C16E_ACCESS_inside", P18, RELOCT_ACCESS, 0x005F, 0, {0x6FFF}, {0x6EFF}},
    {"C16E_ACCESS_outside", P18, RELOCT_ACCESS, 0x0060, 0, {0x6E00}, {0x6F00}},
    // Section size 0x1c4 and last address 0x1f763 of "far_blocks".
    {"C16E_SCNSZ_LOW", P18, RELOCT_SCNSZ_LOW, 0, 0, {0x0E00}, {0x0EC4}, "", ".far_blocks"},
    {"C16E_SCNSZ_HIGH", P18, RELOCT_SCNSZ_HIGH, 0, 0, {0x0E00}, {0x0E01}, "", ".far_blocks"},
    {"C16E_SCNSZ_UPPER_wraps", P18, RELOCT_SCNSZ_UPPER, 0, -0x1C5, {0x0E00}, {0x0EFF}, "", ".far_blocks"},
    {"C16E_SCNEND_LOW", P18, RELOCT_SCNEND_LOW, 0, 0x10, {0x0E00}, {0x0E73}, "", ".far_blocks"},
    {"C16E_SCNEND_HIGH", P18, RELOCT_SCNEND_HIGH, 0, 0, {0x0E00}, {0x0EF7}, "", ".far_blocks"},
    {"C16E_SCNEND_UPPER", P18, RELOCT_SCNEND_UPPER, 0, 0, {0x0E00}, {0x0E01}, "", ".far_blocks"},
    {"C16E_SCNEND_LFSR1", P18, RELOCT_SCNEND_LFSR1, 0, 0, {0xEE00}, {0xEE07}, "", ".far_blocks"},
    {"C16E_SCNEND_LFSR2", P18, RELOCT_SCNEND_LFSR2, 0, 0, {0xF000}, {0xF063}, "", ".far_blocks"},
    // A name that begins with "." but names no section: size 0, so the end
    // is the symbol's value (0x2000) less one, and the link goes on.
    {"C16E_SCNEND_of_no_section", P18, RELOCT_SCNEND_LOW, 0, 0, {0x0E00}, {0x0EFF}, "", ".far"},

    // Failures.
    {"C14_P_unsupported", P14_4x4, RELOCT_P, 0, 0, {0x3000}, {}, UNSUPPORTED},
    {"C14_type0_unsupported", P14_4x4, 0, 0, 0, {0x3000}, {}, UNSUPPORTED},
    {"C12_MOVLR_unsupported", P12_4x4, RELOCT_MOVLR, 0, 0, {0x0C00}, {}, UNSUPPORTED},
    {"C16_TRIS_unsupported", P16_4B, RELOCT_TRIS, 0, 0, {0xB000}, {}, UNSUPPORTED},
    {"C16_PAGESEL_BITS_unsupported", P16_4B, RELOCT_PAGESEL_BITS, 0, 0, {0, 0}, {}, UNSUPPORTED},
    {"C16E_PAGESEL_unsupported", P18, RELOCT_PAGESEL, 0, 0, {0, 0}, {}, UNSUPPORTED},
    {"C16E_type33_unsupported", P18, 33, 0, 0, {0}, {}, UNSUPPORTED},
    {"C12_CALL_upper_half", P12_4x4, RELOCT_CALL, 0x0300, 0, {0x0900}, {}, NOT_IN_LOWER_HALF},
    {"C12_CALL_upper_half_by_addend", P12_4x4, RELOCT_CALL, 0x00FF, 1, {0x0900}, {}, NOT_IN_LOWER_HALF},
    {"C16E_CALL_odd", P18, RELOCT_CALL, 0x1235, 0, {0xEC00}, {}, NOT_ALIGNED},
    {"C16E_BRA_odd", P18, RELOCT_BRA, 0x1007, 0, {0xD000}, {}, NOT_ALIGNED},
    {"C16E_BRA_too_far", P18, RELOCT_BRA, 0x1804, 0, {0xD000}, {}, OUT_OF_RANGE},        // 2048
    {"C16E_BRA_too_far_back", P18, RELOCT_BRA, 0x0802, 0, {0xD000}, {}, OUT_OF_RANGE},   // -2050
    {"C16E_CONDBRA_too_far", P18, RELOCT_CONDBRA, 0x1104, 0, {0xE000}, {}, OUT_OF_RANGE}, // 256
    {"C16E_FF2_TOSU", P18, RELOCT_FF2, 0x0FFF, 0, {0xF000}, {}, "TOSU cannot be used as the destination of a MOVFF instruction."},
    {"C16E_FF2_TOSH", P18, RELOCT_FF2, 0x0FFE, 0, {0xF000}, {}, "TOSH cannot be used as the destination of a MOVFF instruction."},
    {"C16E_FF2_TOSL", P18, RELOCT_FF2, 0x0FFD, 0, {0xF000}, {}, "TOSL cannot be used as the destination of a MOVFF instruction."},
    {"C16E_FF2_PCL", P18, RELOCT_FF2, 0x0FF9, 0, {0xF000}, {}, "PCL cannot be used as the destination of a MOVFF instruction."},
    // Entries that would read or write outside the section or the symbol
    // table.
    {"C14_word_outside_section", P14_4x4, RELOCT_LOW, 0x1234, 0, {}, {},
     "the relocated word at offset 2 lies outside the section's 2 bytes of raw data."},
    {"C14_second_word_outside_section", P14_4x4, RELOCT_BANKSEL, 0x01A0, 0, {0}, {},
     "the relocated words at offset 2 lie outside the section's 4 bytes of raw data."},
    {"C12_second_word_outside_section", P12_1x1, RELOCT_BANKSEL, 0x0050, 0, {0}, {},
     "the relocated words at offset 2 lie outside the section's 4 bytes of raw data."},
    {"C16E_word_outside_section", P18, RELOCT_CALL2, 0x1234, 0, {}, {},
     "the relocated word at offset 2 lies outside the section's 2 bytes of raw data."},
    {"C14_symbol_index_on_aux_slot", P14_4x4, RELOCT_LOW, 0, 0, {0x3000}, {},
     "relocation at offset 2 names symbol index 1, which is an auxiliary entry.", "", 1},
    {"C16E_size_of_plain_symbol", P18, RELOCT_SCNSZ_LOW, 0x100, 0, {0x0E00}, {},
     "symbol 'target' of a RELOCT_SCNSZ_LOW relocation is not a section reference."},
    {"C16E_end_of_plain_symbol", P18, RELOCT_SCNEND_LFSR2, 0x100, 0, {0xF000}, {},
     "symbol 'target' of a RELOCT_SCNEND_LFSR2 relocation is not a section reference."},
};

class RelocTable : public ::testing::TestWithParam<Row>
{
};

TEST_P(RelocTable, LinkWritesTheWordOrFails)
{
    const Row &row = GetParam();
    const DeviceFamily family = proc_family(row.device);
    const bool byteAddressed = family == FAMILY_CORE16E;
    const uint32_t codeAt = byteAddressed ? 0x1000 : 0x100;

    std::vector<uint16_t> words{0};
    words.insert(words.end(), row.before.begin(), row.before.end());
    CoffBuilder object = CoffBuilder()
                             .processor(row.device)
                             .section("code", SCN_CODE | SCN_ABS, wordBytes(words), codeAt)
                             .file("p.asm")
                             .symbol("target", row.target, -1, C_EXT);
    if (byteAddressed)
        object.section("far_blocks", SCN_CODE | SCN_ABS, std::vector<uint8_t>(0x1C4), 0x1F5A0)
            .symbol(".far_blocks", 0, 0, C_EXT)
            .symbol(".far", 0x2000, -1, C_STAT);
    if (row.symndx >= 0)
        object.relocIndex("code", 2, uint32_t(row.symndx), row.type, row.addend);
    else
        object.reloc("code", 2, row.symbol, row.type, row.addend);

    TempDir dir;
    dir.write("t.lkr", commandFile(family));
    dir.write("p.o", object.bytes());
    ToolResult link = runTool(TARVOK_EXE, {"t.lkr", "p.o", "/o", "out.o"}, dir.path());

    if (!row.error.empty()) {
        EXPECT_EQ(link.exitCode, 1) << link.output;
        const std::string line = "Error - file './p.o', section 'code', " + row.error + "\n";
        EXPECT_NE(link.output.find(line), std::string::npos) << link.output;
        EXPECT_FALSE(dir.exists("out.o"));
        return;
    }
    ASSERT_EQ(link.exitCode, 0) << link.output;
    auto out = Coff::make(dir.file("out.o"));
    ASSERT_TRUE(out);
    std::vector<uint16_t> expected{0};
    expected.insert(expected.end(), row.after.begin(), row.after.end());
    EXPECT_EQ(rawBytes(*out, "code"), wordBytes(expected));
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, RelocTable, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

TEST(RelocTable, SymbolIndexOutsideTheTableIsRefusedOnLoad)
{
    // Three slots: ".file", its auxiliary entry and "target".
    TempDir dir;
    dir.write("t.lkr", commandFile(FAMILY_CORE14));
    dir.write("p.o", CoffBuilder()
                         .processor(P14_4x4)
                         .section("code", SCN_CODE | SCN_ABS, {0x00, 0x30}, 0x100)
                         .file("p.asm")
                         .symbol("target", 0x10, -1, C_EXT)
                         .relocIndex("code", 0, 3, RELOCT_LOW)
                         .bytes());
    ToolResult link = runTool(TARVOK_EXE, {"t.lkr", "p.o", "/o", "out.o"}, dir.path());
    EXPECT_EQ(link.exitCode, 1) << link.output;
    EXPECT_NE(link.output.find("reloc[0] has an invalid r_symndx."), std::string::npos) << link.output;
    EXPECT_FALSE(dir.exists("out.o"));
}

} // namespace
