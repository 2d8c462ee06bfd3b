// Relocation patcher of the Core16 family: 16-bit program words addressed
// in words, 256-byte data banks selected with MOVLR (general-purpose
// registers) or MOVLB (special-function registers), program pages through
// PCLATH, register 3.

#include "linker.h"

#include "debugsw.h"
#include "patchword.h"
#include "reloctype.h"

#include <iostream>

namespace {

const std::string PATCHER = "Linker::doPatchCore16";
const uint16_t PCLATH = 0x03;

// CALL and GOTO reach the 8192 words of a page.
const BitField JUMP_TARGET{.srcBegin = 0, .dstBegin = 0, .width = 13};
const BitField FILE_REGISTER{.srcBegin = 0, .dstBegin = 0, .width = 8};
// The 5-bit P field in the upper byte.
const BitField P_REGISTER{.srcBegin = 0, .dstBegin = 8, .width = 5};
// The bank number: the upper nibble of MOVLR's literal, the literal of MOVLB.
const BitField MOVLR_BANK{.srcBegin = 0, .dstBegin = 4, .width = 4};
const BitField MOVLB_BANK{.srcBegin = 0, .dstBegin = 0, .width = 4};

} // namespace

bool Linker::doPatchCore16(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE16, rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const DeviceFamily f = FAMILY_CORE16;
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
    case RELOCT_P:
        return patchField(site, s, P_REGISTER, err);
    case RELOCT_ALL:
        return patchField(site, s, WHOLE_WORD, err);
    case RELOCT_MOVLR:
        return patchField(site, proc_bank(cProcessor, s), MOVLR_BANK, err);
    case RELOCT_MOVLB:
        return patchField(site, proc_bank(cProcessor, s), MOVLB_BANK, err);

    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL: {
        bool gpr = proc_is_gpr(cProcessor, s) != 0;
        if (debugLevel(PATCHER))
            std::cout << PATCHER << "() -  RELOCT_BANKSEL, isgpr=" << gpr << '\n';
        uint16_t bank = uint16_t(proc_bank(cProcessor, s));
        return patchWords(site, {buildInstruction(gpr ? MN_MOVLR : MN_MOVLB, bank, f)}, "", err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_WREG:
        return patchPageLatch(site, s, PCLATH, err);
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
