// Relocation patcher of the Core16E family: program memory addressed in
// bytes with 16-bit instructions, two-word CALL, GOTO, LFSR and MOVFF,
// relative branches, 256-byte data banks and an access bank. The only
// patcher that checks alignment and branch range, and that knows section
// sizes and ends.

#include "linker.h"

#include "coff.h"
#include "patchword.h"
#include "reloctype.h"

namespace {

const std::string PATCHER = "Linker::doPatchCore16E";

// The fields of the family's instruction words. Program addresses count
// bytes, so a word address starts at bit 1 of the value.
const BitField JUMP_LOW{.srcBegin = 1, .dstBegin = 0, .width = 8};      // CALL, GOTO: first word
const BitField JUMP_HIGH{.srcBegin = 9, .dstBegin = 0, .width = 12};    // CALL, GOTO: second word
const BitField BRA_OFFSET{.srcBegin = 1, .dstBegin = 0, .width = 11};   // BRA, RCALL
const BitField CONDBRA_OFFSET{.srcBegin = 1, .dstBegin = 0, .width = 8}; // BZ and the other conditional branches
const BitField MOVFF_REGISTER{.srcBegin = 0, .dstBegin = 0, .width = 12};
const BitField LFSR_HIGH{.srcBegin = 8, .dstBegin = 0, .width = 4};     // LFSR: first word
const BitField UPPER_BYTE{.srcBegin = 16, .dstBegin = 0, .width = 8};
const BitField ACCESS_BIT{.srcBegin = 0, .dstBegin = 8, .width = 1};

std::string notAligned(const std::string &name)
{
    return "Symbol '" + name + "' is not word-aligned.\nIt cannot be used as the target of a call or goto instruction.";
}

// The register a MOVFF may not write, or null.
const char *forbiddenMovffDestination(uint32_t s)
{
    switch (s) {
    case 0xfff:
        return "TOSU";
    case 0xffe:
        return "TOSH";
    case 0xffd:
        return "TOSL";
    case 0xff9:
        return "PCL";
    default:
        return nullptr;
    }
}

bool isSectionSizeOrEnd(uint16_t type) { return type >= RELOCT_SCNSZ_LOW && type <= RELOCT_SCNEND_LFSR2; }

// The field each type fills; false for a type the family does not know.
bool fieldOf(uint16_t type, BitField &field)
{
    switch (type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        field = JUMP_LOW;
        return true;
    case RELOCT_CALL2:
        field = JUMP_HIGH;
        return true;
    case RELOCT_BRA:
        field = BRA_OFFSET;
        return true;
    case RELOCT_CONDBRA:
        field = CONDBRA_OFFSET;
        return true;
    case RELOCT_FF1:
    case RELOCT_FF2:
        field = MOVFF_REGISTER;
        return true;
    case RELOCT_LFSR1:
    case RELOCT_SCNEND_LFSR1:
        field = LFSR_HIGH;
        return true;
    case RELOCT_LFSR2:
    case RELOCT_LOW:
    case RELOCT_F:
    case RELOCT_SCNSZ_LOW:
    case RELOCT_SCNEND_LOW:
    case RELOCT_SCNEND_LFSR2:
        field = LOW_BYTE;
        return true;
    case RELOCT_HIGH:
    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL:
    case RELOCT_MOVLB:
    case RELOCT_SCNSZ_HIGH:
    case RELOCT_SCNEND_HIGH:
        field = HIGH_BYTE;
        return true;
    case RELOCT_UPPER:
    case RELOCT_SCNSZ_UPPER:
    case RELOCT_SCNEND_UPPER:
        field = UPPER_BYTE;
        return true;
    case RELOCT_ALL:
        field = WHOLE_WORD;
        return true;
    case RELOCT_ACCESS:
        field = ACCESS_BIT;
        return true;
    default:
        return false;
    }
}

// The field value of a relative branch at byte address `at` to the target:
// the distance in bytes from the instruction after the branch, negative
// distances in two's complement of the field. False with err set when the
// target is out of range or odd.
bool branchOffset(uint16_t type, uint32_t target, uint32_t at, const std::string &name, uint32_t &value,
                  std::string &err)
{
    const bool bra = type == RELOCT_BRA;
    int32_t d = int32_t(target - (at + 2));
    if (d > (bra ? 2046 : 254) || d < (bra ? -2048 : -256)) {
        err = "Symbol '" + name + "' out of range of relative branch instruction.";
        return false;
    }
    if (d <= 0)
        d += bra ? 0x1000 : 0x200;
    if (d & 1) {
        err = notAligned(name);
        return false;
    }
    value = uint32_t(d);
    return true;
}

// The access bit of an address: 0 inside an access bank, else 1.
uint32_t accessBit(const std::vector<Memory> &accessBanks, uint32_t address)
{
    for (const Memory &bank : accessBanks)
        if (bank.getStart() <= address && address <= bank.getEnd())
            return 0;
    return 1;
}

// The size of the section the symbol names, or its last address, plus the
// addend. False with err set when the symbol names no section.
bool sectionSizeOrEnd(const coff_syment &sym, const reloc &rel, const std::string &name,
                      const std::map<std::string, uint32_t> &sizes, uint32_t &value, std::string &err)
{
    if (name.empty() || name[0] != '.') {
        err = "symbol '" + name + "' of a " + relocTypeName(rel.r_type) + " relocation is not a section reference.";
        return false;
    }
    // The sizes know the section under its name without the leading ".". A
    // section no input has reads as size 0; it is not entered into the
    // sizes, whose every entry the output phases take for a real section.
    auto size = sizes.find(name.substr(1));
    uint32_t scnSize = size == sizes.end() ? 0 : size->second;
    uint32_t addend = uint32_t(int32_t(rel.r_offset));
    bool sizeType = rel.r_type <= RELOCT_SCNSZ_UPPER;
    value = sizeType ? scnSize + addend : sym.n_value + scnSize + addend - 1;
    return true;
}

} // namespace

bool Linker::doPatchCore16E(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                            const StrTbl &strTbl, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE16E, rel, symbols, err);
    if (!sym)
        return false;
    // Messages show the symbol's name as it stands.
    const std::string name = Coff::getName(*sym, strTbl);
    const uint32_t s = relocTarget(*sym, rel);
    BitField field;
    if (!fieldOf(rel.r_type, field)) {
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
    uint32_t value = s;
    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        if (s & 1) {
            err = notAligned(name);
            return false;
        }
        break;
    case RELOCT_BRA:
    case RELOCT_CONDBRA:
        if (!branchOffset(rel.r_type, s, loadStart + rel.r_vaddr, name, value, err))
            return false;
        break;
    case RELOCT_FF2:
        if (const char *reg = forbiddenMovffDestination(s)) {
            err = std::string(reg) + " cannot be used as the destination of a MOVFF instruction.";
            return false;
        }
        break;
    case RELOCT_ACCESS:
        value = accessBit(cAccessBanks, s);
        break;
    default:
        if (isSectionSizeOrEnd(rel.r_type) && !sectionSizeOrEnd(*sym, rel, name, cScnSize, value, err))
            return false;
        break;
    }
    const PatchSite site{PATCHER, data, rel.r_type, rel.r_vaddr, FAMILY_CORE16E};
    return patchField(site, value, field, err, "\n\n");
}
