// Type tables of the debug root: which types a producer emits for a table, the
// admin records naming them, and the walk that marks the types they reach.
#pragma once

#include <cstdint>

#include "objlib/ios_debug.h"
#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

// The type table of the key {file, root, table id}; 19 when it names none.
int ios_find_typetable(IosDebugHandle key, IosTypeTable** table, IosErrorCode* error);
// Sets a pointer typeref's target to {0, target typeref id}; 26 for a missing
// typeref, 42 when it is no pointer or has no detail.
int ios_typeref_set_pointer_target(uint32_t file_id, uint32_t root_id, uint32_t typeref_id,
                                   uint32_t target_typeref_id, IosErrorCode* error);
// Interns a typeref of a simple kind and adds an admin record naming its code; 40
// when it is not simple.
int ios_typetable_enter_simple_type(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                                    uint32_t typeref_id, IosDebugHandle* entry,
                                    IosErrorCode* error);
// Interns a typeref, enters its type id in the table once, marks what it reaches and
// adds an admin record naming it.
int ios_typetable_enter_type(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                             uint32_t typeref_id, IosDebugHandle* entry, IosErrorCode* error);
// The reachability walk. Each visit raises the type's visit count; a type visited
// exactly twice is appended to the table's first list. A simple type id, a type
// seen too often and a type the parent rule stops at answer 1 without a code, which
// is no failure: the walk visits every reference and answers the first real failure,
// else 0 for a composite type.
int ios_typeref_mark_reachable_top(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                                   uint32_t type_id, uint32_t parent_visits, IosErrorCode* error);
int ios_typeref_mark_reachable(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                               uint32_t type_id, uint32_t parent_visits, IosErrorCode* error);
// Adds an admin record naming the type; out: {file id, root id, record id}. 1 for a
// null admin, 0 when out of memory.
int ios_typetable_admin_add_type(IosDebugFamily* admin, IosDebugHandle* entry,
                                 IosErrorCode* error, TypeHandle type);
