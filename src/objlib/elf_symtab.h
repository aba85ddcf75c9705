// String tables (".shstrtab", ".strtab") and the symbol table (".symtab") of the ELF
// producer.
#pragma once

#include <cstdint>

#include "objlib/elf_context.h"

// Takes the next section header as a string table (sh_type 3) and starts its bytes
// with the empty name.
void elf_new_string_table(ElfContext* context, ElfStringTable* table);
// Resets a table to the empty name without a header (for use outside a context).
void elf_strtab_init(ElfStringTable* table);
// Offset of the name in the table, adding it (after the pending prefix) when the
// {prefix, name} pair is new; the pending prefix is consumed either way. The name's
// own offset is returned, so a prefixed name serves both with and without prefix.
int elf_strtab_add(ElfStringTable* table, const char* name, uint32_t* offset);
// Makes room in the table's index for that many more names at once, so that adding
// them never rebuilds it; a hint that changes no offset.
void elf_strtab_expect(ElfStringTable* table, uint32_t names);

// Reserves the ".symtab" header and builds every symbol record with the symbol map
// and the section-symbol map; 0, or 1 with a class.
int elf_build_symtab(ElfContext* context, ObjLibErrorClass* error);
// Resolves section-relative symbols to header indexes, once the sections are placed.
int elf_resolve_symbol_sections(ElfContext* context, ObjLibErrorClass* error);
// Writes the ".symtab" contents, 4-byte aligned, and completes its header.
int elf_write_symtab(ElfContext* context, ObjLibErrorClass* error);
// Names ".strtab" and ".shstrtab" and writes both tables, the section names last.
int elf_write_string_tables(ElfContext* context, ObjLibErrorClass* error);

// Converts a symbol record to its 16 bytes (20 with extended records) in the file's
// byte order.
void elf_swap_symbol(uint32_t selector, const ElfSymbolRecord& symbol, bool extended,
                     unsigned char* out);
