// Relocation patcher of the Core14 family: 14-bit program words addressed
// in words, 128-byte data banks selected by bits 5 and 6 (rp0, rp1) of
// register 3 and, for indirect addressing, bit 7 (irp); program pages
// selected through bits 3 and 4 of PCLATH, register 0x0a.

#include "linker.h"

#include "patchword.h"
#include "reloctype.h"

namespace {

const std::string PATCHER = "Linker::doPatchCore14";
const uint16_t STATUS = 0x03;
const uint16_t PCLATH = 0x0a;

// CALL and GOTO reach the 2048 words of a page.
const BitField JUMP_TARGET{.srcBegin = 0, .dstBegin = 0, .width = 11};
const BitField FILE_REGISTER{.srcBegin = 0, .dstBegin = 0, .width = 7};

} // namespace

bool Linker::doPatchCore14(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE14, rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const DeviceFamily f = FAMILY_CORE14;
    const PatchSite site{PATCHER, data, rel.r_type, rel.r_vaddr, f};

    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        return patchField(site, s, JUMP_TARGET, err);
    case RELOCT_HIGH:
        return patchField(site, s, HIGH_BYTE, err);
    case RELOCT_LOW:
        return patchField(site, s, LOW_BYTE, err);
    case RELOCT_F:
        return patchField(site, s, FILE_REGISTER, err);
    case RELOCT_ALL:
        return patchField(site, s, WHOLE_WORD, err);

    case RELOCT_BANKSEL:
        return patchSelectBits(site, proc_bank_count(cProcessor),
                               "RELOCT_BANKSEL encountered for a device with only one bank!", STATUS,
                               {"rp0", bool((s >> 7) & 1), 5}, {"rp1", bool((s >> 8) & 1), 6}, err);
    case RELOCT_IBANKSEL: {
        if (proc_bank_count(cProcessor) <= 2) {
            traceNothing(PATCHER, "RELOCT_IBANKSEL encountered for a device with one or two banks!");
            return true;
        }
        bool irp = (s >> 8) & 1;
        return patchWords(site, {buildBitSelect(irp, STATUS, 7, f)}, selectorText("irp", irp), err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_WREG:
        return patchPageLatch(site, s, PCLATH, err);
    case RELOCT_PAGESEL_BITS:
        return patchSelectBits(site, proc_page_count(cProcessor),
                               "RELOCT_PAGESEL_BITS encountered for a device with only one page!", PCLATH,
                               {"pclath3", bool((s >> 11) & 1), 3}, {"pclath4", bool((s >> 12) & 1), 4}, err);
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
