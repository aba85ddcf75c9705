// Section and group operations of the store for the library's clients: sections with
// an address slot of their own, further strings, a link to another section, attribute
// bits, a third location slot, 64-bit slot values, the file's admins, and iterating,
// counting and deleting section groups. Conventions as in ios_types.h.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_types.h"

struct IdTable;
struct IosDataAdmin;
struct IosDebugFamily;
struct IosGroupAdmin;
struct IosImageAdmin;
struct IosSectionAdmin;
struct BlockPool;

// A new section whose address slot is its own.
int ios_section_add(uint32_t file_id, IosHandle* section, IosErrorCode* error);
void ios_section_admin_free(IosSectionAdmin* admin);

// Write-once strings: 37 for a string id below 1, 6 for any second store. Getters -1
// with 2 when unset.
int ios_section_get_string2(IosHandle section, IosHandle* string, IosErrorCode* error);
int ios_section_set_string2(IosHandle section, IosHandle string, IosErrorCode* error);
int ios_section_get_string3(IosHandle section, IosHandle* string, IosErrorCode* error);
int ios_section_set_string3(IosHandle section, IosHandle string, IosErrorCode* error);
// The link to another section: set once (7 for a target id below 1 or the target's
// lookup error, 6 when set), cleared only by clear_link (6 when none is set).
int ios_section_get_link(IosHandle section, IosHandle* link, IosErrorCode* error);
int ios_section_set_link(IosHandle section, IosHandle target, IosErrorCode* error);
int ios_section_clear_link(IosHandle section, IosErrorCode* error);
// The number, overwriting.
int ios_section_put_number(IosHandle section, uint32_t number, IosErrorCode* error);
// The information word (the alignment field) and the whole attribute word, both
// overwriting. The deleted bit is never taken from the word: only
// ios_section_set_deleted deletes a section, and a stored word must not make a live
// section vanish from every lookup.
int ios_section_set_info_word(IosHandle section, uint32_t value, IosErrorCode* error);
int ios_section_set_attr_word(IosHandle section, uint32_t value, IosErrorCode* error);
// Bits 10-12 (-1 with 2 when 0); bits 13-14 once (6 when not 0); flags 19 and 21.
int ios_section_get_field_10_12(IosHandle section, uint32_t* value, IosErrorCode* error);
int ios_section_set_field_13_14(IosHandle section, uint32_t value, IosErrorCode* error);
int ios_section_get_flag19(IosHandle section, uint32_t* value, IosErrorCode* error);
int ios_section_set_flag19(IosHandle section, uint32_t value, IosErrorCode* error);
int ios_section_get_flag21(IosHandle section, uint32_t* value, IosErrorCode* error);
int ios_section_set_flag21(IosHandle section, uint32_t value, IosErrorCode* error);

// Slots: the pairs themselves, the third slot's node (-1 with 2 when empty), and
// values evaluated to 64 bits ({low, high}; {0, 0} and 0 when the expression does not
// reduce to a value; error 2 in the context for bits beyond 64 that are not an
// extension). Stores re-derive the slot's dependants.
int ios_section_get_size_slot(IosHandle section, ExprSlotRef* slot, IosErrorCode* error);
int ios_section_get_slot3(IosHandle section, ExprSlotRef* slot, IosErrorCode* error);
int ios_section_get_slot3_expr(IosHandle section, ExprNode** node, IosErrorCode* error);
int ios_section_get_slot3_value(IosHandle section, uint32_t value[2], IosErrorCode* error);
int ios_section_get_address_value(IosHandle section, uint32_t value[2], IosErrorCode* error);
int ios_section_set_slot3_expr(IosHandle section, ExprNode* node, IosErrorCode* error);
int ios_section_set_slot3_value(IosHandle section, uint32_t low, uint32_t high,
                                IosErrorCode* error);
int ios_section_set_address_value(IosHandle section, uint32_t low, uint32_t high,
                                  IosErrorCode* error);
int ios_slot_get_expr(ExprNode** node, uint32_t index, ExprLibContext* slots);

// The file's admins as they stand (null when absent, no error), and its byte order
// (-1 with 2 when unset).
int ios_file_get_section_order(uint32_t file_id, IdTable** table, IosErrorCode* error);
int ios_file_get_group_admin(uint32_t file_id, IosGroupAdmin** admin, IosErrorCode* error);
int ios_file_get_image_admin(uint32_t file_id, IosImageAdmin** admin, IosErrorCode* error);
int ios_file_get_data_admin(uint32_t file_id, IosDataAdmin** admin, IosErrorCode* error);
int ios_file_get_byte_order(uint32_t file_id, uint32_t* order, IosErrorCode* error);

// Groups by file and group id; 55 for a missing one.
int ios_group_get_name(uint32_t file_id, uint32_t group_id, IosHandle* name, IosErrorCode* error);
// Members whose section id is not 0.
int ios_group_count_sections(IosHandle group, uint32_t* count, IosErrorCode* error);
// Marks the group deleted; it keeps its id, and iteration passes it by.
int ios_group_delete(uint32_t file_id, uint32_t group_id, IosErrorCode* error);
// The next live group after the last one given (the first on the first call); 7 when
// there is none.
int ios_group_next(uint32_t file_id, uint32_t unused, IosHandle* group, IosErrorCode* error);
void ios_group_admin_free(IosGroupAdmin* admin);
// Frees the record pool and record table of an admin whose records own nothing
// (ios_free_record_admin); 0.
int ios_admin_storage_free(IosDebugFamily* admin);

// Small allocations beside the records: a 16-byte pooled block, a zeroed block of a
// pool, and one whose first 8 bytes are copied from a source.
void* ios_alloc_node16();
void* pool_alloc_zeroed(BlockPool* pool);
void* pool_alloc_copy8(BlockPool* pool, const void* source);
