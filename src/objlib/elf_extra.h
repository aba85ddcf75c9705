// The sections that describe the others, written after the symbol table: section
// groups, the extended section indexes of symbols, section attributes, call
// information and the MISRA-C settings. Each takes the producer context and returns
// 0, or 1 with a class.
#pragma once

#include "objlib/elf_context.h"

// One SHT_GROUP section per store group (relocatable output only); the members'
// headers get SHF_GROUP. Run after the store sections have their headers.
int elf_write_groups(ElfContext* context, ObjLibErrorClass* error);
// ".symtab_shndx", when some symbol lies in a section with an index of 0xff00 or more.
int elf_write_symtab_shndx(ElfContext* context, ObjLibErrorClass* error);
// "zelkova.attributes", when some section has a non-zero attribute word.
int elf_write_attributes(ElfContext* context, ObjLibErrorClass* error);
// ".zelkova.callinfo" from the resolved call graph (relocatable output, and only
// when the machine names a section type and the graph has resolved entries).
int elf_write_callinfo(ElfContext* context, ObjLibErrorClass* error);
// ".zelkova.misrac", when the file has a MISRA-C settings text.
int elf_write_misrac(ElfContext* context, ObjLibErrorClass* error);
