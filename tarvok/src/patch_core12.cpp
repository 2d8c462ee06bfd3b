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

std::string bit(const char *name, bool set) { return std::string(", ") + name + "=" + (set ? "1" : "0"); }

} // namespace

bool Linker::doPatchCore12(Data &data, const reloc &rel, const std::vector<coff_syment> &symbols, std::string &err)
{
    if (!relocTypeAccepted(rel.r_type, FAMILY_CORE12)) {
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
    const coff_syment *sym = relocSymbol(rel, symbols, err);
    if (!sym)
        return false;
    const uint32_t s = relocTarget(*sym, rel);
    const uint32_t at = rel.r_vaddr;
    const DeviceFamily f = FAMILY_CORE12;

    switch (rel.r_type) {
    case RELOCT_CALL:
    case RELOCT_LOW:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 8, err);
    case RELOCT_GOTO:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 9, err);
    case RELOCT_HIGH:
        return patchField(PATCHER, data, rel.r_type, at, s, 8, 0, 8, err);
    case RELOCT_F:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 5, err);
    case RELOCT_TRIS:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 3, err);
    case RELOCT_ALL:
        return patchField(PATCHER, data, rel.r_type, at, s, 0, 0, 16, err);

    case RELOCT_BANKSEL:
    case RELOCT_IBANKSEL: {
        // Two words on every device, whatever its bank count.
        bool b5 = (s >> 5) & 1, b6 = (s >> 6) & 1;
        return patchWords(PATCHER, data, rel.r_type, at, {buildBitSelect(b5, FSR, 5, f), buildBitSelect(b6, FSR, 6, f)},
                          bit("bit5", b5) + bit("bit6", b6), err);
    }
    case RELOCT_PAGESEL:
    case RELOCT_PAGESEL_BITS: {
        uint32_t pages = proc_page_count(cProcessor);
        if (pages <= 1) {
            traceNothing(PATCHER, "RELOCT_PAGESEL encountered for a device with only one page!");
            return true;
        }
        bool pa0 = (s >> 9) & 1, pa1 = (s >> 10) & 1;
        std::vector<uint16_t> words{buildBitSelect(pa0, STATUS, 5, f)};
        std::string selectors = bit("pa0", pa0);
        if (pages > 2) {
            words.push_back(buildBitSelect(pa1, STATUS, 6, f));
            selectors += bit("pa1", pa1);
        }
        return patchWords(PATCHER, data, rel.r_type, at, words, selectors, err);
    }
    default:
        err = UNSUPPORTED_RELOC_TYPE;
        return false;
    }
}
