// Relocation patcher of the Core12 family: 12-bit program words addressed
// in words, program pages selected by bits 5 and 6 (pa0, pa1) of register
// 3, data banks by bits 5 and 6 of register 4.

#include "linker.h"

#include "patchword.h"
#include "reloctype.h"

namespace {

const std::string PATCHER = "Linker::doPatchCore12";
const uint16_t STATUS = 0x03;
const uint16_t FSR = 0x04;

// CALL reaches the first 256 words of a page, GOTO all 512.
const BitField CALL_TARGET{.srcBegin = 0, .dstBegin = 0, .width = 8};
const BitField GOTO_TARGET{.srcBegin = 0, .dstBegin = 0, .width = 9};
const BitField FILE_REGISTER{.srcBegin = 0, .dstBegin = 0, .width = 5};
const BitField TRIS_OPERAND{.srcBegin = 0, .dstBegin = 0, .width = 3};

} // namespace

bool Linker::doPatchCore12(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE12, rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const DeviceFamily f = FAMILY_CORE12;
    const PatchSite site{PATCHER, data, rel.r_type, rel.r_vaddr, f};

    switch (rel.r_type) {
    case RELOCT_CALL:
        return patchField(site, s, CALL_TARGET, err);
    case RELOCT_LOW:
        return patchField(site, s, LOW_BYTE, err);
    case RELOCT_GOTO:
        return patchField(site, s, GOTO_TARGET, err);
    case RELOCT_HIGH:
        return patchField(site, s, HIGH_BYTE, err);
    case RELOCT_F:
        return patchField(site, s, FILE_REGISTER, err);
    case RELOCT_TRIS:
        return patchField(site, s, TRIS_OPERAND, err);
    case RELOCT_ALL:
        return patchField(site, s, WHOLE_WORD, err);

    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL: {
        // Two words on every device, whatever its bank count.
        bool b5 = (s >> 5) & 1, b6 = (s >> 6) & 1;
        return patchWords(site, {buildBitSelect(b5, FSR, 5, f), buildBitSelect(b6, FSR, 6, f)},
                          selectorText("bit5", b5) + selectorText("bit6", b6), err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_BITS:
        return patchSelectBits(site, proc_page_count(cProcessor),
                               "RELOCT_PAGESEL encountered for a device with only one page!", STATUS,
                               {"pa0", bool((s >> 9) & 1), 5}, {"pa1", bool((s >> 10) & 1), 6}, err);
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
