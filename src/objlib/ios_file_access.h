// Further accessors of a store file for the library's clients: its string properties
// and words, its section-order tables, the texts of its string table, and releasing
// its debug root. Conventions as in ios_types.h; getters of unset properties answer
// -1 with 2 and change nothing.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct IosDebugFamily;
struct IosDebugRoot;
struct IosNamedListAdmin;
struct IosStringTable;

// String properties 1 to 9 (n from 1), the version string and property 10. The
// numbered getters are the entry points; property 3 has its getter beside the
// setters (ios_file_props.h).
int ios_file_get_string(uint32_t file_id, uint32_t property, IosHandle* string,
                        IosErrorCode* error);
int ios_file_get_string1(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string2(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string4(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string5(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string6(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string7(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string8(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_string9(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_version_string(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_set_string10(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_get_string10(uint32_t file_id, IosHandle* string, IosErrorCode* error);
// The mode word (-1 with 2 when 0) and the aux word (-1 without code when 0).
int ios_file_get_mode(uint32_t file_id, uint32_t* mode, IosErrorCode* error);
int ios_file_get_aux_word(uint32_t file_id, uint32_t* word, IosErrorCode* error);
// The section-order flag word (ios_file_start_section_order); -1 with 2 when 0.
int ios_file_get_word41(uint32_t file_id, uint32_t* word, IosErrorCode* error);
int ios_file_get_strtab(uint32_t file_id, IosStringTable** table, IosErrorCode* error);
int ios_file_get_debug_root_record(uint32_t file_id, IosDebugRoot** root, IosErrorCode* error);
int ios_file_get_named_lists(uint32_t file_id, IosNamedListAdmin** admin, IosErrorCode* error);
// Frees the debug root and clears the field; nothing when there is none.
int ios_file_free_debug_root(uint32_t file_id, IosErrorCode* error);

// Entry n (0-based) of the first or second section-order table as a section handle;
// 7 when the entry is empty or past the table. Counts are the highest ids, 0 without
// a table.
int ios_file_section_at(uint32_t file_id, uint32_t index, IosHandle* section, IosErrorCode* error);
int ios_file_section2_at(uint32_t file_id, uint32_t index, IosHandle* section,
                         IosErrorCode* error);
int ios_file_section_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
int ios_file_section2_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// Sets the section-order flag (new sections then enter the first table) and empties
// both tables; the second clears the flag.
int ios_file_start_section_order(uint32_t file_id, IosErrorCode* error);
int ios_file_clear_section_order_flag(uint32_t file_id, IosErrorCode* error);

// Texts of the string table: the text (-1 with 2 when none), handing it over (the
// record forgets it; the caller frees it with ios_string_text_free), the string at a
// 0-based index, the count, and new strings of length bytes copied or zeroed.
int ios_string_text_of(IosHandle string, const char** text, IosErrorCode* error);
int ios_string_take_text(IosHandle string, char** text, uint32_t* length, IosErrorCode* error);
// Gives a string without text the text and its length word; the record owns it
// from then on, so it must be a text handed out by ios_string_take_text (of this or
// another string). 37 for no such string, 1 when it has a text or for a null text.
int ios_string_set_text(IosHandle string, char* text, uint32_t length, IosErrorCode* error);
void ios_string_text_free(char* text, uint32_t length);
int ios_string_at(uint32_t file_id, uint32_t index, IosHandle* string, IosErrorCode* error);
int ios_strtab_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
int ios_strtab_add_bytes(uint32_t file_id, const void* bytes, uint32_t length, IosHandle* string,
                         IosErrorCode* error);
int ios_strtab_reserve(uint32_t file_id, uint32_t length, IosHandle* string, IosErrorCode* error);

// Release operations; each accepts null. ios_admin_free frees every file and the
// admin, after which file ids start at 1 again.
void ios_strtab_free(IosStringTable* table);
// A debug admin whose records own nothing: its record table and pool. The admin
// lives inside the debug root, so it is left empty rather than freed.
void ios_plain_admin_free(IosDebugFamily* admin);
void ios_heap_free(void* block);
void ios_admin_free();
