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

std::string bit(const char *name, bool set) { return std::string(", ") + name + "=" + (set ? "1" : "0"); }

} // namespace

bool Linker::doPatchCore14(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    if (!relocTypeAccepted(rel.r_type, FAMILY_CORE14)) {
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
    const coff_syment *sym = relocSymbol(rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const uint32_t at = rel.r_vaddr;
    const DeviceFamily f = FAMILY_CORE14;

    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_GOTO:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 11, err);
    case RELOCT_HIGH:
        return patchField(PATCHER, data, rel.r_type, at, s, 8, 0, 8, err);
    case RELOCT_LOW:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 8, err);
    case RELOCT_F:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 7, err);
    case RELOCT_ALL:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 16, err);

    case RELOCT_BANKSEL: {
        uint32_t banks = proc_bank_count(cProcessor);
        if (banks <= 1) {
            traceNothing(PATCHER, "RELOCT_BANKSEL encountered for a device with only one bank!");
            return true;
        }
        bool rp0 = (s >> 7) & 1, rp1 = (s >> 8) & 1;
        std::vector<uint16_t> words{buildBitSelect(rp0, STATUS, 5, f)};
        std::string selectors = bit("rp0", rp0);
        if (banks > 2) {
            words.push_back(buildBitSelect(rp1, STATUS, 6, f));
            selectors += bit("rp1", rp1);
        }
        return patchWords(PATCHER, data, rel.r_type, at, words, selectors, err);
    }
    case RELOCT_IBANKSEL: {
        if (proc_bank_count(cProcessor) <= 2) {
            traceNothing(PATCHER, "RELOCT_IBANKSEL encountered for a device with one or two banks!");
            return true;
        }
        bool irp = (s >> 8) & 1;
        return patchWords(PATCHER, data, rel.r_type, at, {buildBitSelect(irp, STATUS, 7, f)}, bit("irp", irp), err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_WREG:
        return patchWords(PATCHER, data, rel.r_type, at,
                          {buildInstruction(MN_MOVLW, uint16_t((s >> 8) & 0xff), f),
                           buildInstruction(MN_MOVWF, PCLATH, f)},
                          "", err);
    case RELOCT_PAGESEL_BITS: {
        uint32_t pages = proc_page_count(cProcessor);
        if (pages <= 1) {
            traceNothing(PATCHER, "RELOCT_PAGESEL_BITS encountered for a device with only one page!");
            return true;
        }
        bool pclath3 = (s >> 11) & 1, pclath4 = (s >> 12) & 1;
        std::vector<uint16_t> words{buildBitSelect(pclath3, PCLATH, 3, f)};
        std::string selectors = bit("pclath3", pclath3);
        if (pages > 2) {
            words.push_back(buildBitSelect(pclath4, PCLATH, 4, f));
            selectors += bit("pclath4", pclath4);
        }
        return patchWords(PATCHER, data, rel.r_type, at, words, selectors, err);
    }
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
