// The processor table: the partition of the codes into families and memory
// groups, the names and type words, the address arithmetic, and the
// assertion on keys outside the table.
#include "tabletest.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

// One row of the device groups: devices that share all memory properties.
struct GroupRow {
    DeviceFamily family;
    uint32_t rom, pages, banks, ram, gprFrom;
    std::vector<ProcessorCode> codes;
};

const std::vector<GroupRow> &groupRows()
{
    static const std::vector<GroupRow> rows = {
        {FAMILY_CORE14, 512, 1, 2, 256, 0x0C, {0x65, 0x6B}},
        {FAMILY_CORE14, 512, 1, 2, 256, 0x20, {0x17, 0x23, 0x24, 0x39, 0x52, 0x60}},
        {FAMILY_CORE14, 1024, 1, 2, 256, 0x0C, {0x4F, 0x66, 0x6C, 0x6D}},
        {FAMILY_CORE14, 1024, 1, 2, 256, 0x20,
         {0x07, 0x0B, 0x0F, 0x18, 0x21, 0x25, 0x26, 0x38, 0x3A, 0x3B, 0x53}},
        {FAMILY_CORE14, 1024, 1, 4, 512, 0x20, {0x67}},
        {FAMILY_CORE14, 2048, 1, 2, 256, 0x20,
         {0x08, 0x0C, 0x19, 0x22, 0x27, 0x28, 0x29, 0x2A, 0x2D, 0x2E, 0x30, 0x35, 0x3C, 0x3D,
          0x3F, 0x40, 0x54, 0x5F, 0x62, 0x64}},
        {FAMILY_CORE14, 2048, 1, 4, 512, 0x20, {0x3E, 0x4B, 0x68, 0x6E, 0x6F, 0x70}},
        {FAMILY_CORE14, 4096, 2, 2, 256, 0x20,
         {0x0E, 0x2B, 0x2C, 0x2F, 0x31, 0x32, 0x33, 0x36, 0x41, 0x42, 0x43, 0x44, 0x46, 0x47,
          0x61, 0x63}},
        {FAMILY_CORE14, 4096, 2, 4, 512, 0x20, {0x4C, 0x4D, 0x4E, 0x50, 0x51, 0x71, 0x72}},
        {FAMILY_CORE14, 6144, 3, 4, 512, 0x20, {0x45, 0x49}},
        {FAMILY_CORE14, 8192, 4, 4, 512, 0x20, {0x34, 0x37, 0x48, 0x4A, 0x69, 0x6A, 0x73, 0x74}},
        {FAMILY_CORE16, 2048, 1, 4, 1024, 0x20, {0x76, 0x77, 0x7F}},
        {FAMILY_CORE16, 4096, 1, 4, 1024, 0x20, {0x78, 0x80}},
        {FAMILY_CORE16, 8192, 1, 4, 1024, 0x20, {0x79}},
        {FAMILY_CORE16, 8192, 1, 8, 2048, 0x20, {0x7A}},
        {FAMILY_CORE16, 16384, 2, 8, 2048, 0x20, {0x7B, 0x7C, 0x7D, 0x7E}},
        {FAMILY_CORE12, 384, 1, 1, 32, 0x08, {0x11}},
        {FAMILY_CORE12, 512, 1, 1, 32, 0x07, {0x03, 0x04, 0x09}},
        {FAMILY_CORE12, 512, 1, 1, 32, 0x08,
         {0x12, 0x13, 0x14, 0x15, 0x16, 0x1A, 0x55, 0x56, 0x57, 0x58, 0x75}},
        {FAMILY_CORE12, 1024, 2, 1, 32, 0x08, {0x1B, 0x1C, 0x59}},
        {FAMILY_CORE12, 1024, 2, 2, 64, 0x07, {0x05, 0x06, 0x0A, 0x0D}},
        {FAMILY_CORE12, 1024, 2, 3, 80, 0x08, {0x10}},
        {FAMILY_CORE12, 1024, 2, 4, 128, 0x08, {0x01, 0x02}},
        {FAMILY_CORE12, 2048, 4, 4, 128, 0x07, {0x1F, 0x20, 0x5D, 0x5E}},
        {FAMILY_CORE12, 2048, 4, 4, 128, 0x08, {0x1D, 0x1E, 0x5A, 0x5B, 0x5C}},
        {FAMILY_CORE16E, 16384, 1, 2, 512, 0, {0x81, 0x83}},
        {FAMILY_CORE16E, 32768, 1, 6, 1536, 0, {0x82, 0x84, 0x85, 0x86, 0x87}},
    };
    return rows;
}

// The first code of a family's group with the given threshold.
ProcessorCode codeWith(DeviceFamily family, uint32_t gprFrom)
{
    for (const GroupRow &g : groupRows())
        if (g.family == family && g.gprFrom == gprFrom)
            return g.codes.front();
    ADD_FAILURE() << "no such group";
    return 0;
}

std::string upper(std::string s)
{
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TEST(ProcFamily, CountsPerFamilyOverAllCodes)
{
    int counts[5] = {};
    for (unsigned c = PROC_FIRST_CODE; c <= PROC_LAST_CODE; ++c) {
        DeviceFamily f = proc_family(ProcessorCode(c));
        ASSERT_GE(f, 1);
        ASSERT_LE(f, 4);
        ++counts[f];
    }
    EXPECT_EQ(counts[FAMILY_CORE14], 83);
    EXPECT_EQ(counts[FAMILY_CORE16], 11);
    EXPECT_EQ(counts[FAMILY_CORE12], 34);
    EXPECT_EQ(counts[FAMILY_CORE16E], 7);
    for (unsigned c = 0x76; c <= 0x80; ++c)
        EXPECT_EQ(proc_family(ProcessorCode(c)), FAMILY_CORE16) << c;
    for (unsigned c = 0x81; c <= 0x87; ++c)
        EXPECT_EQ(proc_family(ProcessorCode(c)), FAMILY_CORE16E) << c;
}

TEST(ProcGeometry, EveryCodeHasTheMemoryOfItsGroup)
{
    std::set<unsigned> seen;
    for (const GroupRow &g : groupRows()) {
        for (ProcessorCode c : g.codes) {
            SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << unsigned(c));
            EXPECT_TRUE(seen.insert(c).second);
            EXPECT_EQ(proc_family(c), g.family);
            EXPECT_EQ(proc_rom_size(c), g.rom);
            EXPECT_EQ(proc_page_count(c), g.pages);
            EXPECT_EQ(proc_bank_count(c), g.banks);
            EXPECT_EQ(proc_ram_size(c), g.ram);
            // The threshold is the lowest in-bank offset that counts.
            EXPECT_EQ(proc_is_gpr(c, g.gprFrom), 1);
            if (g.gprFrom > 0) {
                EXPECT_EQ(proc_is_gpr(c, g.gprFrom - 1), 0);
            }
        }
    }
    EXPECT_EQ(seen.size(), 135u);
    EXPECT_EQ(*seen.begin(), 0x01u);
    EXPECT_EQ(*seen.rbegin(), 0x87u);
}

TEST(ProcGeometry, FamilyWidePropertiesOfEveryCode)
{
    struct FamilyRow {
        uint32_t romWidth, pageSize, bankSize, maxRom, maxRam;
    };
    const FamilyRow rows[5] = {{0, 0, 0, 0, 0},
                               {14, 2048, 128, 0x1FFF, 0x1FF},
                               {16, 8192, 256, 0xFFFF, 0xFFF},
                               {12, 512, 32, 0x7FF, 0x7F},
                               {8, 0x200000, 256, 0x1FFFFF, 0xFFF}};
    for (unsigned c = PROC_FIRST_CODE; c <= PROC_LAST_CODE; ++c) {
        const FamilyRow &r = rows[proc_family(ProcessorCode(c))];
        SCOPED_TRACE(c);
        EXPECT_EQ(proc_rom_width(ProcessorCode(c)), r.romWidth);
        EXPECT_EQ(proc_ram_width(ProcessorCode(c)), 8u);
        EXPECT_EQ(proc_page_size(ProcessorCode(c)), r.pageSize);
        EXPECT_EQ(proc_bank_size(ProcessorCode(c)), r.bankSize);
        EXPECT_EQ(proc_max_rom_address(ProcessorCode(c)), r.maxRom);
        EXPECT_EQ(proc_max_ram_address(ProcessorCode(c)), r.maxRam);
    }
}

TEST(ProcGeometry, DataSizeIsNotAlwaysBanksTimesBankSize)
{
    EXPECT_EQ(proc_bank_count(0x10), 3u);
    EXPECT_EQ(proc_bank_size(0x10), 32u);
    EXPECT_EQ(proc_ram_size(0x10), 80u);
}

TEST(ProcTypeWord, CodesAndWordsMapOneToOne)
{
    std::set<ProcessorTypeWord> words;
    for (unsigned c = PROC_FIRST_CODE; c <= PROC_LAST_CODE; ++c) {
        ProcessorTypeWord w = proc_type_word(ProcessorCode(c));
        EXPECT_NE(w, 0);
        EXPECT_TRUE(words.insert(w).second) << "word shared by code " << c;
        EXPECT_EQ(proc_from_type_word(w), c);
    }
    int known = 0;
    for (uint32_t w = 0; w <= 0xFFFF; ++w) {
        if (!proc_type_word_known(ProcessorTypeWord(w)))
            continue;
        ++known;
        EXPECT_TRUE(words.count(ProcessorTypeWord(w))) << w;
    }
    EXPECT_EQ(known, 135);
    EXPECT_EQ(proc_type_word_known(0), 0);
}

TEST(ProcName, NamesKeepTheLengthsAndAreDistinctIgnoringCase)
{
    const size_t minLen[5] = {0, 5, 5, 5, 6};
    const size_t maxLen[5] = {0, 8, 7, 8, 6};
    std::set<std::string> folded;
    for (unsigned c = PROC_FIRST_CODE; c <= PROC_LAST_CODE; ++c) {
        std::string name = proc_name(ProcessorCode(c));
        DeviceFamily f = proc_family(ProcessorCode(c));
        SCOPED_TRACE(name);
        EXPECT_GE(name.size(), minLen[f]);
        EXPECT_LE(name.size(), maxLen[f]);
        for (char ch : name)
            EXPECT_TRUE((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9'));
        EXPECT_TRUE(folded.insert(upper(name)).second);
    }
}

TEST(ProcName, FindsEveryNameInAnyCase)
{
    for (unsigned c = PROC_FIRST_CODE; c <= PROC_LAST_CODE; ++c) {
        std::string name = proc_name(ProcessorCode(c));
        std::string lower = name;
        for (char &ch : lower)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        ProcessorCode found = 0;
        EXPECT_EQ(proc_from_name(lower, found), 1) << name;
        EXPECT_EQ(found, c);
        found = 0;
        EXPECT_EQ(proc_from_name(name, found), 1);
        EXPECT_EQ(found, c);
    }
}

TEST(ProcName, OnlyWholeNamesMatchAndMissesLeaveTheCode)
{
    const std::string name = proc_name(0x81);
    ProcessorCode code = 0x42;
    EXPECT_EQ(proc_from_name("", code), 0);
    EXPECT_EQ(proc_from_name(name.substr(0, name.size() - 1), code), 0);
    EXPECT_EQ(proc_from_name(name + "X", code), 0);
    EXPECT_EQ(proc_from_name(name + " ", code), 0);
    EXPECT_EQ(proc_from_name(" " + name, code), 0);
    EXPECT_EQ(code, 0x42);
}

TEST(ProcBank, BankShiftPerFamily)
{
    const ProcessorCode c14 = codeWith(FAMILY_CORE14, 0x20);
    const ProcessorCode c16 = codeWith(FAMILY_CORE16, 0x20);
    const ProcessorCode c12 = codeWith(FAMILY_CORE12, 0x08);
    const ProcessorCode c16e = codeWith(FAMILY_CORE16E, 0);
    EXPECT_EQ(proc_bank(c14, 0x100), 2u);
    EXPECT_EQ(proc_bank(c14, 0x80), 1u);
    EXPECT_EQ(proc_bank(c12, 0x100), 8u);
    EXPECT_EQ(proc_bank(c16, 0x100), 1u);
    EXPECT_EQ(proc_bank(c16e, 0x100), 1u);
    // The whole 32-bit address takes part.
    EXPECT_EQ(proc_bank(c14, 0xFFFFFFFFu), 0x1FFFFFFu);

    EXPECT_EQ(proc_bank_offset(c14, 0x1FF), 0x7F);
    EXPECT_EQ(proc_bank_offset(c16, 0x1234), 0x34);
    EXPECT_EQ(proc_bank_offset(c12, 0x7F), 0x1F);
    EXPECT_EQ(proc_bank_offset(c16e, 0xFFFFFFFFu), 0xFF);
}

TEST(ProcIsGpr, ThresholdHoldsInEveryBank)
{
    const ProcessorCode c14 = codeWith(FAMILY_CORE14, 0x20);
    EXPECT_EQ(proc_is_gpr(c14, 0x1F), 0);
    EXPECT_EQ(proc_is_gpr(c14, 0x80), 0);
    EXPECT_EQ(proc_is_gpr(c14, 0x9F), 0);
    EXPECT_EQ(proc_is_gpr(c14, 0x20), 1);
    EXPECT_EQ(proc_is_gpr(c14, 0xA0), 1);

    const ProcessorCode c14low = codeWith(FAMILY_CORE14, 0x0C);
    EXPECT_EQ(proc_is_gpr(c14low, 0x0C), 1);
    EXPECT_EQ(proc_is_gpr(c14low, 0x8C), 1);
    EXPECT_EQ(proc_is_gpr(c14low, 0x8B), 0);

    const ProcessorCode c12 = codeWith(FAMILY_CORE12, 0x07);
    EXPECT_EQ(proc_is_gpr(c12, 0x07), 1);
    EXPECT_EQ(proc_is_gpr(c12, 0x27), 1);
    EXPECT_EQ(proc_is_gpr(c12, 0x26), 0);

    const ProcessorCode c16 = codeWith(FAMILY_CORE16, 0x20);
    EXPECT_EQ(proc_is_gpr(c16, 0x11F), 0);
    EXPECT_EQ(proc_is_gpr(c16, 0x120), 1);

    const ProcessorCode c16e = codeWith(FAMILY_CORE16E, 0);
    EXPECT_EQ(proc_is_gpr(c16e, 0), 1);
    EXPECT_EQ(proc_is_gpr(c16e, 0xF80), 1);
}

TEST(ProcAssert, UnknownCodesEndTheProgram)
{
    for (unsigned bad : {0x00u, 0x88u, 0xFFu}) {
        const ProcessorCode c = ProcessorCode(bad);
        SCOPED_TRACE(bad);
        EXPECT_TABLE_ASSERT(proc_family(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_name(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_type_word(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_rom_width(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_ram_width(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_page_count(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_rom_size(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_page_size(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_bank_count(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_ram_size(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_bank_size(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_max_rom_address(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_max_ram_address(c), "mgproc");
        EXPECT_TABLE_ASSERT(proc_bank(c, 0x100), "mgproc");
        EXPECT_TABLE_ASSERT(proc_bank_offset(c, 0x100), "mgproc");
        EXPECT_TABLE_ASSERT(proc_is_gpr(c, 0x100), "mgproc");
    }
}

TEST(ProcAssert, UnknownTypeWordEndsTheProgram)
{
    uint32_t unknown = 0;
    while (proc_type_word_known(ProcessorTypeWord(unknown)))
        ++unknown;
    EXPECT_TABLE_ASSERT(proc_from_type_word(ProcessorTypeWord(unknown)), "mgproc");
    EXPECT_TABLE_ASSERT(proc_from_type_word(0), "mgproc");
}
