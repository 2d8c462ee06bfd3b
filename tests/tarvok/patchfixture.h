// Runs one relocation patcher on a few instruction words without a link:
// a Linker set to a processor, a symbol table of one symbol, and one
// relocation entry.
#pragma once

#include "coff_format.h"
#include "data.h"
#include "linker.h"
#include "mgproc.h"
#include "reloctype.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Devices of each family with the geometry the tests need.
const ProcessorCode C14_2PAGES_2BANKS = 0x0E;
const ProcessorCode C14_4PAGES_4BANKS = 0x34;
const ProcessorCode C12_1PAGE_1BANK = 0x03;
const ProcessorCode C12_4PAGES_4BANKS = 0x1F;
const ProcessorCode C16_4BANKS = 0x76;
const ProcessorCode C16E_2BANKS = 0x81;

class PatchLinker : public Linker
{
public:
    explicit PatchLinker(ProcessorCode code)
    {
        cProcessor = code;
        cFamily = proc_family(code);
    }
    using Linker::cFamily;
    using Linker::cScnSize;
    using Linker::doPatch;
    using Linker::doPatchCore12;
    using Linker::doPatchCore14;
    using Linker::doPatchCore16;
    using Linker::doPatchCore16E;

    void accessBank(uint32_t start, uint32_t end)
    {
        std::string err;
        addAccessBank(Memory("access" + std::to_string(cAccessBanks.size()), start, end, ram, false, false, ""), err);
    }
};

// One patch: the words before (little-endian in the section's data), the
// relocation and its symbol. run() patches through doPatch and leaves the
// words after in `words`.
struct PatchCase
{
    std::vector<uint16_t> words{0};
    uint16_t type = 0;
    uint32_t symValue = 0;
    int16_t addend = 0;
    uint32_t rawOffset = 0;
    uint32_t symndx = 0;
    std::string symName = "target";
    uint32_t loadStart = 0;
    std::string err;

    bool run(PatchLinker &linker)
    {
        Data data(uint32_t(2 * words.size()));
        for (size_t i = 0; i < words.size(); ++i) {
            data.data()[2 * i] = uint8_t(words[i]);
            data.data()[2 * i + 1] = uint8_t(words[i] >> 8);
        }
        coff_syment sym;
        StrTbl strTbl;
        if (symName.size() <= 8)
            setInlineName(sym._n_name, symName);
        else
            sym.setLongNameOffset(uint32_t(strTblAppend(strTbl, symName)));
        sym.n_value = symValue;
        sym.n_sclass = C_EXT;
        reloc rel;
        rel.r_vaddr = rawOffset;
        rel.r_symndx = symndx;
        rel.r_offset = addend;
        rel.r_type = type;
        bool ok = linker.doPatch(loadStart, data, rel, {sym}, strTbl, err);
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = uint16_t(data.data()[2 * i] | data.data()[2 * i + 1] << 8);
        return ok;
    }
};

// The words after patching one word (or a pair) on the processor; fails
// the test when the patcher fails.
inline std::vector<uint16_t> patched(ProcessorCode code, uint16_t type, std::vector<uint16_t> words, uint32_t value,
                                     int16_t addend = 0)
{
    PatchLinker linker(code);
    PatchCase c;
    c.words = std::move(words);
    c.type = type;
    c.symValue = value;
    c.addend = addend;
    if (!c.run(linker))
        ADD_FAILURE() << relocTypeName(type) << " failed: " << c.err;
    return c.words;
}

// The message of a patch that must fail; "" when it succeeded.
inline std::string patchError(PatchLinker &linker, PatchCase c)
{
    return c.run(linker) ? std::string() : c.err;
}
