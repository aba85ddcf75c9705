// Small utilities of the ELF writers offered to the library's clients.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct ElfContext;
struct ElfProgramHeader;
struct ElfSectionHeader;
struct ExprNode;
struct IdTable;
struct IosCountedList;

using ElfItemCompare = int (*)(const void* left, const void* right);

// Sorts the items of an id table in place (ascending by the comparator). Short tables
// (under 15 items) use an exchange sort, longer ones a quicksort around the middle
// item; both give the same order for distinct keys.
void elf_table_sort(IdTable* table, ElfItemCompare compare);
// The node's value bytes 0-7 as a little-endian 64-bit value; 1 (and status 2 in the
// node's context) when a wider integer has bits beyond 64.
int expr_value_to_u64(const ExprNode* node, uint64_t* value);

// ---- The writer context's records ----

// Makes the section-name table and then the symbol-name table, and records the
// section-name table's header index as e_shstrndx. 0; class 1 for a null context.
int elf_create_string_tables(ElfContext* context, ObjLibErrorClass* error);
// Takes the next section-header (program-header) record, cleared: its address and
// index, either out may be null. The address stays valid until the next record of
// the same array is taken. 0; 1 for a null context.
int elf_next_section_record(ElfContext* context, ElfSectionHeader** record, uint32_t* index);
int elf_next_program_record(ElfContext* context, ElfProgramHeader** record, uint32_t* index);
// Takes back the last program-header record when it is the one given; class 1
// otherwise, and the records stay as they are.
int elf_drop_last_program_record(ElfContext* context, const ElfProgramHeader* record,
                                 ObjLibErrorClass* error);
// Stores the value as the record's fourth word and returns it; a null record stores
// nothing.
uint32_t elf_record_set_word3(uint32_t* record, uint32_t value);
// Returns every node of the list's chain and then the list head itself to the
// size-class pools, so the head must come from pool_alloc too. The payloads stay
// the caller's. Null is ignored.
void elf_list_free(IosCountedList* list);

// ---- Store reads by file id and section id ----
// Lookup failures give 1 with the store's code; a property that is unset gives -1.

// Tables of a section's image that elf_section_image_entry reads.
enum ElfImageTable : uint32_t {
  ELF_IMAGE_RELOCATIONS = 0,
  ELF_IMAGE_EXPRESSIONS = 1,
};
// Entry index (0-based) of the table of the section's image, as its offset, unit
// count, expression (no reference taken) and relocation type (0 for expression
// entries); outs may be null. 33 for a section without image, 1 for an index past
// the table or an unknown table.
int elf_section_image_entry(uint32_t file_id, uint32_t section_id, uint32_t table,
                            uint32_t index, uint32_t* offset, uint32_t* units,
                            ExprNode** expression, uint32_t* type, IosErrorCode* error);
// Number of relocation entries of the section's image; 33 without image.
int elf_section_image_count(uint32_t file_id, uint32_t section_id, uint32_t* count,
                            IosErrorCode* error);
// The number word; -1 without code when unset (all ones).
int elf_section_get_number(uint32_t file_id, uint32_t section_id, uint32_t* number,
                           IosErrorCode* error);
// The words of ios_section_set_info_word and ios_section_set_attr_word; -1 without
// code when 0.
int elf_section_get_info_word(uint32_t file_id, uint32_t section_id, uint32_t* word,
                              IosErrorCode* error);
int elf_section_get_attr_word(uint32_t file_id, uint32_t section_id, uint32_t* word,
                              IosErrorCode* error);
// 1 when the marker flag is set, else 0.
int elf_section_get_marker(uint32_t file_id, uint32_t section_id, uint32_t* marker,
                           IosErrorCode* error);

// ---- Store reads by file id ----

// The file's MISRA-C settings text, as stored (the writer may reverse it in
// ".zelkova.misrac"); -1 with 2 when the file has none.
int elf_file_get_misrac(uint32_t file_id, const char** text, IosErrorCode* error);
// The symbol entered at this location-slot index (from 1) of the file's symbol
// admin, with its aliases followed: {file id, symbol id}. -1 with 2 when no live
// symbol is entered there.
int elf_symbol_by_index(IosHandle* symbol, IosErrorCode* error, uint32_t file_id,
                        uint32_t index);
