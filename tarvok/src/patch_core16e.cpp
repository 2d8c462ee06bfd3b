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

} // namespace

bool Linker::doPatchCore16E(uint32_t loadStart, Data &data, const reloc &rel, const std::vector<coff_syment> &symbols,
                            const StrTbl &strTbl, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE16E, rel, symbols, err);
    if (!sym)
        return false;
    // Messages show the symbol's name as it stands; the section types look
    // the section up under the name without its leading ".".
    const std::string name = Coff::getName(*sym, strTbl);
    const bool isScn = !name.empty() && name[0] == '.';
    const uint32_t s = relocTarget(*sym, rel);
    const uint32_t at = rel.r_vaddr;

    uint32_t value = s;
    uint16_t srcBegin = 0, dstBegin = 0, width = 0;
    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        if (s & 1) {
            err = notAligned(name);
            return false;
        }
        srcBegin = 1;
        width = 8;
        break;
    case RELOCT_CALL2:
        srcBegin = 9;
        width = 12;
        break;
    case RELOCT_BRA:
    case RELOCT_CONDBRA: {
        const bool bra = rel.r_type == RELOCT_BRA;
        // Bytes from the instruction after the branch.
        int32_t d = int32_t(s - (loadStart + at + 2));
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
        srcBegin = 1;
        width = bra ? 11 : 8;
        break;
    }
    case RELOCT_FF2:
        if (const char *reg = forbiddenMovffDestination(s)) {
            err = std::string(reg) + " cannot be used as the destination of a MOVFF instruction.";
            return false;
        }
        width = 12;
        break;
    case RELOCT_FF1:
        width = 12;
        break;
    case RELOCT_LFSR1:
        srcBegin = 8;
        width = 4;
        break;
    case RELOCT_LFSR2:
    case RELOCT_LOW:
    case RELOCT_F:
        width = 8;
        break;
    case RELOCT_HIGH:
    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL:
    case RELOCT_MOVLB:
        srcBegin = 8;
        width = 8;
        break;
    case RELOCT_UPPER:
        srcBegin = 16;
        width = 8;
        break;
    case RELOCT_ALL:
        width = 16;
        break;
    case RELOCT_ACCESS:
        value = 1;
        for (const Memory &bank : cAccessBanks)
            if (bank.getStart() <= s && s <= bank.getEnd()) {
                value = 0;
                break;
            }
        dstBegin = 8;
        width = 1;
        break;
    default:
        if (!isSectionSizeOrEnd(rel.r_type)) {
            err = UNSUPPORTED_RELOC_TYPE;
            return false;
        }
        if (!isScn) {
            err = "symbol '" + name + "' of a " + relocTypeName(rel.r_type) +
                  " relocation is not a section reference.";
            return false;
        }
        // A section no input has reads as size 0; it is not entered into the
        // sizes, whose every entry the output phases take for a real section.
        auto size = cScnSize.find(name.substr(1));
        uint32_t scnSize = size == cScnSize.end() ? 0 : size->second;
        uint32_t addend = uint32_t(int32_t(rel.r_offset));
        bool sizeType = rel.r_type <= RELOCT_SCNSZ_UPPER;
        value = sizeType ? scnSize + addend : sym->n_value + scnSize + addend - 1;
        switch (rel.r_type) {
        case RELOCT_SCNSZ_HIGH:
        case RELOCT_SCNEND_HIGH:
        case RELOCT_SCNEND_LFSR1:
            srcBegin = 8;
            break;
        case RELOCT_SCNSZ_UPPER:
        case RELOCT_SCNEND_UPPER:
            srcBegin = 16;
            break;
        default:
            break;
        }
        width = rel.r_type == RELOCT_SCNEND_LFSR1 ? 4 : 8;
        break;
    }
    return patchField(PATCHER, data, rel.r_type, at, value, srcBegin, dstBegin, width, err, "\n\n");
}
