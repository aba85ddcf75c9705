// Further operations on the debug records of a file: functions, lifetimes and
// variables made inside modules and variables, module and variable fields under
// the write-once rule, type-table entries and member reads of interned types.
//
// Modules and variables are named by {file id, root id, id}: 20 for a missing
// module, 21 for a missing variable. A word whose unset value is all ones also
// counts as unset when it holds 0xFFFFFFFE.
#pragma once

#include <cstdint>

#include "objlib/ios_debug.h"
#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

struct ExprNode;

// ---- Creation ----
int ios_module_add_function(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                            IosDebugHandle* function, IosErrorCode* error);
int ios_variable_add_lifetime(uint32_t file_id, uint32_t root_id, uint32_t variable_id,
                              IosDebugHandle* lifetime, IosErrorCode* error);
int ios_variable_create_flagged(uint32_t file_id, uint32_t root_id, uint32_t flags,
                                IosDebugHandle* variable, IosErrorCode* error);
int ios_module_add_variable_4096(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                                 IosDebugHandle* variable, IosErrorCode* error);
int ios_module_add_variable_16384(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                                  IosDebugHandle* variable, IosErrorCode* error);

// ---- Module fields ----
int ios_module_get_word12(IosDebugHandle module, uint32_t* value, IosErrorCode* error);
int ios_module_get_expression(IosDebugHandle module, ExprNode** expression, IosErrorCode* error);
// A list node, stored once: 38 for null, 1 for another kind, 6 once set.
int ios_module_set_expression(IosDebugHandle module, ExprNode* expression, IosErrorCode* error);
int ios_module_get_word5(IosDebugHandle module, uint32_t* value, IosErrorCode* error);
int ios_module_set_word5(IosDebugHandle module, uint32_t value, IosErrorCode* error);
int ios_module_variable_count(IosDebugHandle module, uint32_t* count, IosErrorCode* error);

// ---- Variable fields ----
int ios_variable_set_flags(IosDebugHandle variable, uint32_t flags, IosErrorCode* error);
int ios_variable_get_flags(IosDebugHandle variable, uint32_t* flags, IosErrorCode* error);
int ios_variable_get_word5(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_set_word5(IosDebugHandle variable, uint32_t value, IosErrorCode* error);
int ios_variable_get_word10(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_get_word11(IosDebugHandle variable, ExprNode** expression, IosErrorCode* error);
int ios_variable_get_word12(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_get_word14(IosDebugHandle variable, ExprNode** expression, IosErrorCode* error);
int ios_variable_release_expression(IosDebugHandle variable, IosErrorCode* error);
int ios_variable_get_word15(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_set_word15(IosDebugHandle variable, uint32_t value, IosErrorCode* error);
int ios_variable_get_word16(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_get_word17(IosDebugHandle variable, uint32_t* value, IosErrorCode* error);
int ios_variable_get_pair(IosDebugHandle variable, StringHandle* name, IosErrorCode* error);
int ios_variable_get_type(IosDebugHandle variable, TypeHandle* type, IosErrorCode* error);
// Stored once: 27 for a type id below 1, 6 once set.
int ios_variable_set_type(IosDebugHandle variable, TypeHandle type, IosErrorCode* error);

// ---- Type tables ----
int ios_typetable_add_typedef(uint32_t file_id, uint32_t root_id, uint32_t, uint32_t,
                              TypeHandle* typeref, IosErrorCode* error);
int ios_typetable_add_kind2(uint32_t file_id, uint32_t root_id, uint32_t, uint32_t,
                            TypeHandle* typeref, IosErrorCode* error);
int ios_typetable_add_kind(uint32_t file_id, uint32_t root_id, uint32_t, uint32_t kind,
                           TypeHandle* typeref, IosErrorCode* error);
// A typedef typeref's target becomes {0, type id}: 26, 47.
int ios_typedef_set_target(uint32_t file_id, uint32_t root_id, uint32_t typeref_id, uint32_t,
                           uint32_t, uint32_t type_id, IosErrorCode* error);
// Binds a type table to a symbol once: 17 for a symbol id below 1, 6 when bound.
int ios_typetable_bind_symbol(IosDebugHandle table, uint32_t file_id, uint32_t symbol_id,
                              IosErrorCode* error);
// The symbol the table is bound to, as a handle like the store's others:
// {file id, root id, symbol id}, the id last and tested for presence (1 with 2
// while unbound); 19 for a missing table.
int ios_typetable_get_triple(IosDebugHandle table, uint32_t triple[3], IosErrorCode* error);
// A type's use count and kind, the two plain words after its handle; 0 for null.
uint32_t ios_record_word3(const IosType* record);
uint32_t ios_record_word4(const IosType* record);
// The type table bound to symbol id index + 1; -1 when there is none.
int ios_typetable_by_symbol_index(uint32_t file_id, uint32_t, uint32_t, uint32_t index,
                                  IosDebugHandle* table, IosErrorCode* error);
int ios_typetable_count(uint32_t file_id, uint32_t, uint32_t* count, IosErrorCode* error);
// Member `index` of an interned structure or union as a type handle; nothing is
// written for an unresolved member.
int ios_struct_member(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                      TypeHandle* member, IosErrorCode* error);
int ios_union_member(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                     TypeHandle* member, IosErrorCode* error);
// Parameter `index` of an interned function type: its first two words, and
// {file id, root id}.
int ios_functype_entry(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                       TyperefRef* entry, IosHandle* owner, IosErrorCode* error);
// Raises a type's use count; 27 for null.
int ios_type_use(IosType* type, IosErrorCode* error);

// The write-once rule on one word, and a read that refuses the unset value.
int ios_set_once(uint32_t* field, uint32_t value, uint32_t unset, IosErrorCode* error);
int ios_take_unless_unset(uint32_t value, uint32_t* out, uint32_t unset);
