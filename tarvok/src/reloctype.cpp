#include "reloctype.h"

namespace {

// Bits of the accepting families, one per family code.
const uint8_t C14 = 1 << FAMILY_CORE14;
const uint8_t C16 = 1 << FAMILY_CORE16;
const uint8_t C12 = 1 << FAMILY_CORE12;
const uint8_t C16E = 1 << FAMILY_CORE16E;

struct RelocTypeRow
{
    const char *name;
    uint8_t families;
};

// Indexed by the type value; row 0 stands for every unknown value.
const RelocTypeRow ROWS[RELOCT_LAST + 1] = {
    {"RELOCT_UNKNOWN", 0},
    {"RELOCT_CALL", C14 | C12 | C16 | C16E},
    {"RELOCT_GOTO", C14 | C12 | C16 | C16E},
    {"RELOCT_HIGH", C14 | C12 | C16 | C16E},
    {"RELOCT_LOW", C14 | C12 | C16 | C16E},
    {"RELOCT_P", C16},
    {"RELOCT_BANKSEL", C14 | C12 | C16 | C16E},
    {"RELOCT_PAGESEL", C14 | C12 | C16},
    {"RELOCT_ALL", C14 | C12 | C16 | C16E},
    {"RELOCT_IBANKSEL", C14 | C12 | C16 | C16E},
    {"RELOCT_F", C14 | C12 | C16 | C16E},
    {"RELOCT_TRIS", C12},
    {"RELOCT_MOVLR", C16},
    {"RELOCT_MOVLB", C16 | C16E},
    {"RELOCT_CALL2", C16E},
    {"RELOCT_FF1", C16E},
    {"RELOCT_FF2", C16E},
    {"RELOCT_LFSR1", C16E},
    {"RELOCT_LFSR2", C16E},
    {"RELOCT_BRA", C16E},
    {"RELOCT_CONDBRA", C16E},
    {"RELOCT_UPPER", C16E},
    {"RELOCT_ACCESS", C16E},
    {"RELOCT_PAGESEL_WREG", C14 | C16},
    {"RELOCT_PAGESEL_BITS", C14 | C12},
    {"RELOCT_SCNSZ_LOW", C16E},
    {"RELOCT_SCNSZ_HIGH", C16E},
    {"RELOCT_SCNSZ_UPPER", C16E},
    {"RELOCT_SCNEND_LOW", C16E},
    {"RELOCT_SCNEND_HIGH", C16E},
    {"RELOCT_SCNEND_UPPER", C16E},
    {"RELOCT_SCNEND_LFSR1", C16E},
    {"RELOCT_SCNEND_LFSR2", C16E},
};

const RelocTypeRow &row(uint16_t type) { return type <= RELOCT_LAST ? ROWS[type] : ROWS[0]; }

} // namespace

const char *relocTypeName(uint16_t type) { return row(type).name; }

bool relocTypeAccepted(uint16_t type, DeviceFamily family)
{
    if (family < FAMILY_CORE14 || family > FAMILY_CORE16E)
        return false;
    return row(type).families & (1 << family);
}
