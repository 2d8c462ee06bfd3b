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

} // namespace

bool Linker::doPatchCore16(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    const coff_syment *sym = acceptedRelocSymbol(FAMILY_CORE16, rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const uint32_t at = rel.r_vaddr;
    const DeviceFamily f = FAMILY_CORE16;

    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 13, err);
    case RELOCT_HIGH:
        return patchField(PATCHER, data, rel.r_type, at, s, 8, 0, 8, err);
    case RELOCT_LOW:
    case RELOCT_F:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 8, err);
    case RELOCT_P:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 8, 5, err);
    case RELOCT_ALL:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 16, err);
    case RELOCT_MOVLR:
        return patchField(PATCHER, data, rel.r_type, at, proc_bank(cProcessor, s), 0, 4, 4, err);
    case RELOCT_MOVLB:
        return patchField(PATCHER, data, rel.r_type, at, proc_bank(cProcessor, s), 0, 0, 4, err);

    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL: {
        bool gpr = proc_is_gpr(cProcessor, s) != 0;
        if (debugLevel(PATCHER))
            std::cout << PATCHER << "() -  RELOCT_BANKSEL, isgpr=" << gpr << '\n';
        uint16_t bank = uint16_t(proc_bank(cProcessor, s));
        return patchWords(PATCHER, data, rel.r_type, at, {buildInstruction(gpr ? MN_MOVLR : MN_MOVLB, bank, f)}, "",
                          err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_WREG:
        return patchPageLatch(PATCHER, data, rel.r_type, at, s, PCLATH, f, err);
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
