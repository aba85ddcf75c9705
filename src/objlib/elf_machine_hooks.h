// Section hooks of machines other than TriCore. The ELF writers call a machine row's
// hook once per section while building its headers, so a machine can mark its own
// sections. The assembler's table selects TriCore only; these serve rows that a
// client of the library adds. Each returns 0 to go on, or 1 with a class in *error.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct ElfContext;
struct ElfSectionHeader;
struct ElfProgramHeader;

// Flag bit that marks a machine's special sections in both headers.
inline constexpr uint32_t ELF_MACHINE_SECTION_MARK = 0x10000000u;
// Section-header flag bits that absolute output keeps for the "PPC" row.
inline constexpr uint32_t ELF_PPC_ABSOLUTE_FLAGS = 0x11FFFFFFu;

// "PPC": sections named ".text_vle..." must be allocated and executable (class 8
// otherwise) and get the mark; class 6 when the section or its name cannot be read.
int elf_section_hook_ppc(ElfContext* context, ElfSectionHeader* section_header,
                         ElfProgramHeader* program_header, uint32_t file_id,
                         uint32_t section_id, ObjLibErrorClass* error);
// "C166": in absolute output, a section numbered 1 gets the mark.
int elf_section_hook_c166(ElfContext* context, ElfSectionHeader* section_header,
                          ElfProgramHeader* program_header, uint32_t file_id,
                          uint32_t section_id, ObjLibErrorClass* error);
// "c51": only checks that the section exists.
int elf_section_hook_c51(ElfContext* context, ElfSectionHeader* section_header,
                         ElfProgramHeader* program_header, uint32_t file_id,
                         uint32_t section_id, ObjLibErrorClass* error);
int elf_section_hook_none(ElfContext* context, ElfSectionHeader* section_header,
                          ElfProgramHeader* program_header, uint32_t file_id,
                          uint32_t section_id, ObjLibErrorClass* error);
