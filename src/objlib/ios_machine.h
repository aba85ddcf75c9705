// The machine table of the ELF producer: what differs between target machines (ELF
// machine number, relocation form, record sizes, the ABI's section flag values, the
// core-name describer and an optional per-section hook). A row is picked per output
// file by the machine name stored in the store file.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct ElfContext;
struct ElfSectionHeader;
struct ElfProgramHeader;

// Stores e_flags for the core name in the context; 0, or 1 with a class.
using ElfFlagsDescriber = int (*)(ElfContext* context, const char* core_name,
                                  ObjLibErrorClass* error);
// Called for every written section; may change the section's headers and store fields.
using ElfSectionHook = int (*)(ElfContext* context, ElfSectionHeader* section_header,
                               ElfProgramHeader* program_header, uint32_t file_id,
                               uint32_t section_id, ObjLibErrorClass* error);

enum MachineRelocationForm : uint32_t {
  MACHINE_RELOCATION_REL = 0,
  MACHINE_RELOCATION_RELA = 1,
};

struct MachineEntry {
  const char* name;
  uint32_t elf_machine;
  uint32_t relocation_form;
  uint32_t relocation_runs;      // non-zero: any expression may become a run of records
  uint32_t no_extended_operators;  // non-zero: runs may not use codes 0x400 and up
  uint32_t extended_records;     // 44-byte section, 36-byte program, 20-byte symbol records
  uint32_t extended_relocatable_only;
  uint32_t symbol_value_relocations;  // expression symbol values go to ".rela.symtab"
  uint32_t callinfo_type;             // sh_type of the call-information section; 0 = none
  uint32_t flag_class3;
  uint32_t flag_address_expression;  // relocatable output, address given by an expression
  uint32_t flag_content4;
  uint32_t flag_fixed_address;  // relocatable output, a fixed address is set
  uint32_t flag_class6;
  uint32_t flag_marker;
  uint32_t merge_segments;  // absolute output: order sections and merge adjacent segments
  uintptr_t address_callback_argument;
  uint32_t segment_alignment;  // minimum p_align
  uint32_t stack_usage_words;  // per call-information entry, below 3
  ElfFlagsDescriber describe_flags;
  ElfSectionHook section_hook;
};

inline constexpr uint32_t EM_TRICORE = 44;

// The row whose name equals the text exactly, or null; the search order is fixed.
const MachineEntry* ios_machine_find(const char* name);

// e_flags of a TriCore or PCP core name (exact match); 0, or 1 with class 11 for a
// name that no core of the table has.
int ios_machine_tricore_core_flags(const char* core_name, uint32_t* flags,
                                   ObjLibErrorClass* error);

// Whether the section name begins with one of the prefixes of sections that must be
// writable whatever their access says.
bool ios_machine_is_private_section(const char* name);

// Picks the row for the context's file by its machine name and sets e_machine, e_type,
// the kind word and EI_DATA; 0, or 1 with a class.
int elf_select_machine(ElfContext* context, ObjLibErrorClass* error);
