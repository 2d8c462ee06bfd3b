// The processor table: for every device the tool chain supports, its device
// family, name, object-file processor-type word, word widths and the
// geometry of its program and data memory.
//
// Every function is keyed by a ProcessorCode (1 to 135) and is a pure
// function of it; a code outside the table ends the program through the
// table's assertion. proc_from_name and proc_type_word_known never fail.
#ifndef REDERIZA_MGPROC_H
#define REDERIZA_MGPROC_H

#include <cstdint>
#include <string_view>

typedef uint8_t ProcessorCode;      // 1 to 135
typedef uint16_t ProcessorTypeWord; // the proc_type of an object file
typedef uint8_t DeviceFamily;       // one of the FAMILY_ values

const DeviceFamily FAMILY_CORE14 = 1;
const DeviceFamily FAMILY_CORE16 = 2;
const DeviceFamily FAMILY_CORE12 = 3;
const DeviceFamily FAMILY_CORE16E = 4;

// The lowest and highest valid processor codes; every code between is valid.
const ProcessorCode PROC_FIRST_CODE = 0x01;
const ProcessorCode PROC_LAST_CODE = 0x87;

DeviceFamily proc_family(ProcessorCode code);

// The device name (5 to 8 upper-case letters and digits), owned by the table.
const char *proc_name(ProcessorCode code);

// Finds the device whose name equals the whole text, ignoring the case of
// the letters A to Z. Returns 1 and stores the code, or returns 0 and leaves
// `code` untouched.
int proc_from_name(std::string_view name, ProcessorCode &code);

ProcessorTypeWord proc_type_word(ProcessorCode code);

// The code whose type word this is; asserts for a word not in the table, so
// words read from a file are tested with proc_type_word_known first.
ProcessorCode proc_from_type_word(ProcessorTypeWord word);

// 1 when the word is the type word of one of the devices, else 0.
int proc_type_word_known(ProcessorTypeWord word);

uint32_t proc_rom_width(ProcessorCode code);       // bits per program word
uint32_t proc_ram_width(ProcessorCode code);       // bits per data word
uint32_t proc_page_count(ProcessorCode code);      // program-memory pages
uint32_t proc_rom_size(ProcessorCode code);        // program words
uint32_t proc_page_size(ProcessorCode code);       // program locations per page
uint32_t proc_bank_count(ProcessorCode code);      // data-memory banks
uint32_t proc_ram_size(ProcessorCode code);        // data bytes
uint32_t proc_bank_size(ProcessorCode code);       // data bytes per bank
uint32_t proc_max_rom_address(ProcessorCode code); // family's highest program address
uint32_t proc_max_ram_address(ProcessorCode code); // family's highest data address

// The bank of a data address (the address shifted right by the family's
// bank shift) and the in-bank part of it.
uint32_t proc_bank(ProcessorCode code, uint32_t address);
uint16_t proc_bank_offset(ProcessorCode code, uint32_t address);

// 1 when the data address is a general-purpose register of the device, 0
// when it is a special-function register. The threshold is the same in
// every bank; whether the bank exists is not tested.
int proc_is_gpr(ProcessorCode code, uint32_t address);

#endif
