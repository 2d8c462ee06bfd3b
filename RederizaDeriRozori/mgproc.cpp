// The processor table: device names, processor-type words and memory
// geometry per processor code.
//
// The whole table is constant data: one row per device, indexed by the code,
// naming its memory group; the group gives the per-device geometry and the
// family gives the family-wide properties. Nothing is computed or cached at
// run time.
#include "mgproc.h"

#include "diag.h"

#include <cstddef>

namespace {

const char *const MODULE = "mgproc.cpp";

// Devices of one group share program size, page count, bank count, data
// size and the lowest general-purpose register offset.
enum Group : uint8_t {
    C14_512_2_0C, C14_512_2_20, C14_1K_2_0C, C14_1K_2_20, C14_1K_4_20,
    C14_2K_2_20, C14_2K_4_20, C14_4K_2_20, C14_4K_4_20, C14_6K_4_20,
    C14_8K_4_20,
    C16_2K_4, C16_4K_4, C16_8K_4, C16_8K_8, C16_16K_8,
    C12_384_1_08, C12_512_1_07, C12_512_1_08, C12_1K_1_08, C12_1K_2_07,
    C12_1K_3_08, C12_1K_4_08, C12_2K_4_07, C12_2K_4_08,
    C16E_16K, C16E_32K,
    GROUP_COUNT
};

struct GroupInfo {
    DeviceFamily family;
    uint32_t romSize;   // program words
    uint32_t pages;
    uint32_t banks;
    uint32_t ramSize;   // data bytes; not always banks times bank size
    uint32_t gprFrom;   // lowest in-bank offset of a general-purpose register
};

const GroupInfo GROUPS[GROUP_COUNT] = {
    {FAMILY_CORE14, 512, 1, 2, 256, 0x0C},     // C14_512_2_0C
    {FAMILY_CORE14, 512, 1, 2, 256, 0x20},     // C14_512_2_20
    {FAMILY_CORE14, 1024, 1, 2, 256, 0x0C},    // C14_1K_2_0C
    {FAMILY_CORE14, 1024, 1, 2, 256, 0x20},    // C14_1K_2_20
    {FAMILY_CORE14, 1024, 1, 4, 512, 0x20},    // C14_1K_4_20
    {FAMILY_CORE14, 2048, 1, 2, 256, 0x20},    // C14_2K_2_20
    {FAMILY_CORE14, 2048, 1, 4, 512, 0x20},    // C14_2K_4_20
    {FAMILY_CORE14, 4096, 2, 2, 256, 0x20},    // C14_4K_2_20
    {FAMILY_CORE14, 4096, 2, 4, 512, 0x20},    // C14_4K_4_20
    {FAMILY_CORE14, 6144, 3, 4, 512, 0x20},    // C14_6K_4_20
    {FAMILY_CORE14, 8192, 4, 4, 512, 0x20},    // C14_8K_4_20
    {FAMILY_CORE16, 2048, 1, 4, 1024, 0x20},   // C16_2K_4
    {FAMILY_CORE16, 4096, 1, 4, 1024, 0x20},   // C16_4K_4
    {FAMILY_CORE16, 8192, 1, 4, 1024, 0x20},   // C16_8K_4
    {FAMILY_CORE16, 8192, 1, 8, 2048, 0x20},   // C16_8K_8
    {FAMILY_CORE16, 16384, 2, 8, 2048, 0x20},  // C16_16K_8
    {FAMILY_CORE12, 384, 1, 1, 32, 0x08},      // C12_384_1_08
    {FAMILY_CORE12, 512, 1, 1, 32, 0x07},      // C12_512_1_07
    {FAMILY_CORE12, 512, 1, 1, 32, 0x08},      // C12_512_1_08
    {FAMILY_CORE12, 1024, 2, 1, 32, 0x08},     // C12_1K_1_08
    {FAMILY_CORE12, 1024, 2, 2, 64, 0x07},     // C12_1K_2_07
    {FAMILY_CORE12, 1024, 2, 3, 80, 0x08},     // C12_1K_3_08
    {FAMILY_CORE12, 1024, 2, 4, 128, 0x08},    // C12_1K_4_08
    {FAMILY_CORE12, 2048, 4, 4, 128, 0x07},    // C12_2K_4_07
    {FAMILY_CORE12, 2048, 4, 4, 128, 0x08},    // C12_2K_4_08
    {FAMILY_CORE16E, 16384, 1, 2, 512, 0},     // C16E_16K
    {FAMILY_CORE16E, 32768, 1, 6, 1536, 0},    // C16E_32K
};

struct Device {
    const char *name;
    ProcessorTypeWord typeWord;
    Group group;
};

// The devices, indexed by code - 1. Names and type words are unique; the
// names also when compared without regard to case.
const Device DEVICES[] = {
    {"VOQ240",   0x2B03, C12_1K_4_08},  // 0x01
    {"VOQ241S",  0x2B06, C12_1K_4_08},  // 0x02
    {"VOQ242SK", 0x2B09, C12_512_1_07}, // 0x03
    {"VOQB0",    0x2B0C, C12_512_1_07}, // 0x04
    {"VOQ244",   0x2B0F, C12_1K_2_07},  // 0x05
    {"VOQ245",   0x2B12, C12_1K_2_07},  // 0x06
    {"VOQ410",   0x4E01, C14_1K_2_20},  // 0x07
    {"VOQ411L",  0x4E08, C14_2K_2_20},  // 0x08
    {"VOQ246S",  0x2B15, C12_512_1_07}, // 0x09
    {"VOQ247SK", 0x2B18, C12_1K_2_07},  // 0x0A
    {"VOQ12",    0x4E0F, C14_1K_2_20},  // 0x0B
    {"VOQ413LV", 0x4E16, C14_2K_2_20},  // 0x0C
    {"VOQB1",    0x2B1B, C12_1K_2_07},  // 0x0D
    {"VOQ414T",  0x4E1D, C14_4K_2_20},  // 0x0E
    {"VOQ415",   0x4E24, C14_1K_2_20},  // 0x0F
    {"VOQ249",   0x2B1E, C12_1K_3_08},  // 0x10
    {"VOQ250",   0x2B21, C12_384_1_08}, // 0x11
    {"VOQ251S",  0x2B24, C12_512_1_08}, // 0x12
    {"VOQ252SK", 0x2B27, C12_512_1_08}, // 0x13
    {"VOQB2",    0x2B2A, C12_512_1_08}, // 0x14
    {"VOQ254",   0x2B2D, C12_512_1_08}, // 0x15
    {"VOQ255",   0x2B30, C12_512_1_08}, // 0x16
    {"VOQ416",   0x4E2B, C14_512_2_20}, // 0x17
    {"VOQ417L",  0x4E32, C14_1K_2_20},  // 0x18
    {"VOQ18",    0x4E39, C14_2K_2_20},  // 0x19
    {"VOQ256S",  0x2B33, C12_512_1_08}, // 0x1A
    {"VOQ257SK", 0x2B36, C12_1K_1_08},  // 0x1B
    {"VOQB3",    0x2B39, C12_1K_1_08},  // 0x1C
    {"VOQ259",   0x2B3C, C12_2K_4_08},  // 0x1D
    {"VOQ260",   0x2B3F, C12_2K_4_08},  // 0x1E
    {"VOQ261S",  0x2B42, C12_2K_4_07},  // 0x1F
    {"VOQ262SK", 0x2B45, C12_2K_4_07},  // 0x20
    {"VOQ419LV", 0x4E40, C14_1K_2_20},  // 0x21
    {"VOQ420T",  0x4E47, C14_2K_2_20},  // 0x22
    {"VOQ421",   0x4E4E, C14_512_2_20}, // 0x23
    {"VOQ422",   0x4E55, C14_512_2_20}, // 0x24
    {"VOQ423L",  0x4E5C, C14_1K_2_20},  // 0x25
    {"VOQ24",    0x4E63, C14_1K_2_20},  // 0x26
    {"VOQ425LV", 0x4E6A, C14_2K_2_20},  // 0x27
    {"VOQ426T",  0x4E71, C14_2K_2_20},  // 0x28
    {"VOQ427",   0x4E78, C14_2K_2_20},  // 0x29
    {"VOQ428",   0x4E7F, C14_2K_2_20},  // 0x2A
    {"VOQ429L",  0x4E86, C14_4K_2_20},  // 0x2B
    {"VOQ30",    0x4E8D, C14_4K_2_20},  // 0x2C
    {"VOQ431LV", 0x4E94, C14_2K_2_20},  // 0x2D
    {"VOQ432T",  0x4E9B, C14_2K_2_20},  // 0x2E
    {"VOQ433",   0x4EA2, C14_4K_2_20},  // 0x2F
    {"VOQ434",   0x4EA9, C14_2K_2_20},  // 0x30
    {"VOQ435L",  0x4EB0, C14_4K_2_20},  // 0x31
    {"VOQ36",    0x4EB7, C14_4K_2_20},  // 0x32
    {"VOQ437LV", 0x4EBE, C14_4K_2_20},  // 0x33
    {"VOQ438T",  0x4EC5, C14_8K_4_20},  // 0x34
    {"VOQ439",   0x4ECC, C14_2K_2_20},  // 0x35
    {"VOQ440",   0x4ED3, C14_4K_2_20},  // 0x36
    {"VOQ441L",  0x4EDA, C14_8K_4_20},  // 0x37
    {"VOQ42",    0x4EE1, C14_1K_2_20},  // 0x38
    {"VOQ443LV", 0x4EE8, C14_512_2_20}, // 0x39
    {"VOQ444T",  0x4EEF, C14_1K_2_20},  // 0x3A
    {"VOQ445",   0x4EF6, C14_1K_2_20},  // 0x3B
    {"VOQ446",   0x4EFD, C14_2K_2_20},  // 0x3C
    {"VOQ447L",  0x4F04, C14_2K_2_20},  // 0x3D
    {"VOQ48",    0x4F0B, C14_2K_4_20},  // 0x3E
    {"VOQ449LV", 0x4F12, C14_2K_2_20},  // 0x3F
    {"VOQ450T",  0x4F19, C14_2K_2_20},  // 0x40
    {"VOQ451",   0x4F20, C14_4K_2_20},  // 0x41
    {"VOQ452",   0x4F27, C14_4K_2_20},  // 0x42
    {"VOQ453L",  0x4F2E, C14_4K_2_20},  // 0x43
    {"VOQ54",    0x4F35, C14_4K_2_20},  // 0x44
    {"VOQ455LV", 0x4F3C, C14_6K_4_20},  // 0x45
    {"VOQ456T",  0x4F43, C14_4K_2_20},  // 0x46
    {"VOQ457",   0x4F4A, C14_4K_2_20},  // 0x47
    {"VOQ458",   0x4F51, C14_8K_4_20},  // 0x48
    {"VOQ459L",  0x4F58, C14_6K_4_20},  // 0x49
    {"VOQ60",    0x4F5F, C14_8K_4_20},  // 0x4A
    {"VOQ461LV", 0x4F66, C14_2K_4_20},  // 0x4B
    {"VOQ462T",  0x4F6D, C14_4K_4_20},  // 0x4C
    {"VOQ463",   0x4F74, C14_4K_4_20},  // 0x4D
    {"VOQ464",   0x4F7B, C14_4K_4_20},  // 0x4E
    {"VOQ465L",  0x4F82, C14_1K_2_0C},  // 0x4F
    {"VOQ66",    0x4F89, C14_4K_4_20},  // 0x50
    {"VOQ467LV", 0x4F90, C14_4K_4_20},  // 0x51
    {"VOQ468T",  0x4F97, C14_512_2_20}, // 0x52
    {"VOQ469",   0x4F9E, C14_1K_2_20},  // 0x53
    {"VOQ470",   0x4FA5, C14_2K_2_20},  // 0x54
    {"VOQB4",    0x2B48, C12_512_1_08}, // 0x55
    {"VOQ264",   0x2B4B, C12_512_1_08}, // 0x56
    {"VOQ265",   0x2B4E, C12_512_1_08}, // 0x57
    {"VOQ266S",  0x2B51, C12_512_1_08}, // 0x58
    {"VOQ267SK", 0x2B54, C12_1K_1_08},  // 0x59
    {"VOQB5",    0x2B57, C12_2K_4_08},  // 0x5A
    {"VOQ269",   0x2B5A, C12_2K_4_08},  // 0x5B
    {"VOQ270",   0x2B5D, C12_2K_4_08},  // 0x5C
    {"VOQ271S",  0x2B60, C12_2K_4_07},  // 0x5D
    {"VOQ272SK", 0x2B63, C12_2K_4_07},  // 0x5E
    {"VOQ471L",  0x4FAC, C14_2K_2_20},  // 0x5F
    {"VOQ72",    0x4FB3, C14_512_2_20}, // 0x60
    {"VOQ473LV", 0x4FBA, C14_4K_2_20},  // 0x61
    {"VOQ474T",  0x4FC1, C14_2K_2_20},  // 0x62
    {"VOQ475",   0x4FC8, C14_4K_2_20},  // 0x63
    {"VOQ476",   0x4FCF, C14_2K_2_20},  // 0x64
    {"VOQ477L",  0x4FD6, C14_512_2_0C}, // 0x65
    {"VOQ78",    0x4FDD, C14_1K_2_0C},  // 0x66
    {"VOQ479LV", 0x4FE4, C14_1K_4_20},  // 0x67
    {"VOQ480T",  0x4FEB, C14_2K_4_20},  // 0x68
    {"VOQ481",   0x4FF2, C14_8K_4_20},  // 0x69
    {"VOQ482",   0x4FF9, C14_8K_4_20},  // 0x6A
    {"VOQ483L",  0x5000, C14_512_2_0C}, // 0x6B
    {"VOQ84",    0x5007, C14_1K_2_0C},  // 0x6C
    {"VOQ485LV", 0x500E, C14_1K_2_0C},  // 0x6D
    {"VOQ486T",  0x5015, C14_2K_4_20},  // 0x6E
    {"VOQ487",   0x501C, C14_2K_4_20},  // 0x6F
    {"VOQ488",   0x5023, C14_2K_4_20},  // 0x70
    {"VOQ489L",  0x502A, C14_4K_4_20},  // 0x71
    {"VOQ90",    0x5031, C14_4K_4_20},  // 0x72
    {"VOQ491LV", 0x5038, C14_8K_4_20},  // 0x73
    {"VOQ492T",  0x503F, C14_8K_4_20},  // 0x74
    {"VOQB6",    0x2B66, C12_512_1_08}, // 0x75
    {"VOQ730",   0x6A05, C16_2K_4},     // 0x76
    {"VOQ731A",  0x6A0A, C16_2K_4},     // 0x77
    {"VOQK2",    0x6A0F, C16_4K_4},     // 0x78
    {"VOQ733",   0x6A14, C16_8K_4},     // 0x79
    {"VOQ734A",  0x6A19, C16_8K_8},     // 0x7A
    {"VOQK5",    0x6A1E, C16_16K_8},    // 0x7B
    {"VOQ736",   0x6A23, C16_16K_8},    // 0x7C
    {"VOQ737A",  0x6A28, C16_16K_8},    // 0x7D
    {"VOQK8",    0x6A2D, C16_16K_8},    // 0x7E
    {"VOQ739",   0x6A32, C16_2K_4},     // 0x7F
    {"VOQ740A",  0x6A37, C16_4K_4},     // 0x80
    {"VOQ850",   0x8F11, C16E_16K},     // 0x81
    {"VOQ851",   0x8F1A, C16E_32K},     // 0x82
    {"VOQ852",   0x8F23, C16E_16K},     // 0x83
    {"VOQ853",   0x8F2C, C16E_32K},     // 0x84
    {"VOQ854",   0x8F35, C16E_32K},     // 0x85
    {"VOQ855",   0x8F3E, C16E_32K},     // 0x86
    {"VOQ856",   0x8F47, C16E_32K},     // 0x87
};

const size_t DEVICE_COUNT = sizeof(DEVICES) / sizeof(DEVICES[0]);
static_assert(DEVICE_COUNT == PROC_LAST_CODE - PROC_FIRST_CODE + 1);

// Family-wide properties, indexed by family - 1.
struct FamilyInfo {
    uint32_t romWidth;
    uint32_t ramWidth;
    uint32_t pageSize;
    uint32_t bankSize;
    uint32_t bankShift;
    uint32_t bankMask;
    uint32_t maxRomAddress;
    uint32_t maxRamAddress;
};

const FamilyInfo FAMILIES[4] = {
    {14, 8, 2048, 128, 7, 0x7F, 0x1FFF, 0x1FF},    // Core14
    {16, 8, 8192, 256, 8, 0xFF, 0xFFFF, 0xFFF},    // Core16
    {12, 8, 512, 32, 5, 0x1F, 0x7FF, 0x7F},        // Core12
    {8, 8, 0x200000, 256, 8, 0xFF, 0x1FFFFF, 0xFFF}, // Core16E: byte-addressed program memory
};

// Each public function asserts from its own line, so the message tells
// which question was asked with a bad key.
const Device *deviceOrNull(ProcessorCode code)
{
    if (code < PROC_FIRST_CODE || code > PROC_LAST_CODE)
        return nullptr;
    return &DEVICES[code - PROC_FIRST_CODE];
}

const GroupInfo &groupOf(const Device &d)
{
    return GROUPS[d.group];
}

const FamilyInfo &familyOf(const Device &d)
{
    return FAMILIES[groupOf(d).family - 1];
}

char foldAsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

} // namespace

// A key that is not in the table is the caller's fault: the assertion names
// this module and the line of the function that was asked.
#define UNKNOWN_KEY() assertFailed("0", MODULE, __LINE__)

#define DEVICE_OR_ASSERT(code)                  \
    const Device *dev = deviceOrNull(code);     \
    if (!dev)                                   \
        UNKNOWN_KEY()

DeviceFamily proc_family(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return groupOf(*dev).family;
}

const char *proc_name(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return dev->name;
}

int proc_from_name(std::string_view name, ProcessorCode &code)
{
    for (size_t i = 0; i < DEVICE_COUNT; ++i) {
        std::string_view candidate = DEVICES[i].name;
        if (candidate.size() != name.size())
            continue;
        size_t k = 0;
        while (k < name.size() && foldAsciiUpper(name[k]) == foldAsciiUpper(candidate[k]))
            ++k;
        if (k == name.size()) {
            code = ProcessorCode(PROC_FIRST_CODE + i);
            return 1;
        }
    }
    return 0;
}

ProcessorTypeWord proc_type_word(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return dev->typeWord;
}

ProcessorCode proc_from_type_word(ProcessorTypeWord word)
{
    for (size_t i = 0; i < DEVICE_COUNT; ++i)
        if (DEVICES[i].typeWord == word)
            return ProcessorCode(PROC_FIRST_CODE + i);
    UNKNOWN_KEY();
}

int proc_type_word_known(ProcessorTypeWord word)
{
    for (size_t i = 0; i < DEVICE_COUNT; ++i)
        if (DEVICES[i].typeWord == word)
            return 1;
    return 0;
}

uint32_t proc_rom_width(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).romWidth;
}

uint32_t proc_ram_width(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).ramWidth;
}

uint32_t proc_page_count(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return groupOf(*dev).pages;
}

uint32_t proc_rom_size(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return groupOf(*dev).romSize;
}

uint32_t proc_page_size(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).pageSize;
}

uint32_t proc_bank_count(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return groupOf(*dev).banks;
}

uint32_t proc_ram_size(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return groupOf(*dev).ramSize;
}

uint32_t proc_bank_size(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).bankSize;
}

uint32_t proc_max_rom_address(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).maxRomAddress;
}

uint32_t proc_max_ram_address(ProcessorCode code)
{
    DEVICE_OR_ASSERT(code);
    return familyOf(*dev).maxRamAddress;
}

uint32_t proc_bank(ProcessorCode code, uint32_t address)
{
    DEVICE_OR_ASSERT(code);
    return address >> familyOf(*dev).bankShift;
}

uint16_t proc_bank_offset(ProcessorCode code, uint32_t address)
{
    DEVICE_OR_ASSERT(code);
    return uint16_t(address & familyOf(*dev).bankMask);
}

int proc_is_gpr(ProcessorCode code, uint32_t address)
{
    DEVICE_OR_ASSERT(code);
    // Core16E's threshold is 0: every address counts as general purpose.
    return (address & familyOf(*dev).bankMask) >= groupOf(*dev).gprFrom ? 1 : 0;
}
