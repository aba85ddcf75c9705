// Program headers of absolute output: one PT_LOAD record per allocated section,
// written in ascending address order into the area reserved after the file header.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct ElfContext;
struct ElfProgramHeader;

// Whether left loads below right. Addresses compare as unsigned 32-bit values, so a
// segment at 0x80000000 follows one at 0x1000.
bool elf_phdr_before(const ElfProgramHeader& left, const ElfProgramHeader& right);

// Sorts the kept records and writes them at offset 52, setting e_phoff and e_phnum;
// the stream position is restored afterwards. Runs after the section contents and
// before the section header table (a count of 0xffff or more goes into the null
// section header). Does nothing for relocatable output.
// 0, or 1 with class 2 for a failed seek, position or write.
int elf_write_program_headers(ElfContext* context, ObjLibErrorClass* error);
