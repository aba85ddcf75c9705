// Read access to interned types by {file id, root id, type id}: each getter finds
// the type, checks its kind (answering the kind's code, 41 to 51, for another
// kind) and reads one word, pair or reference of its detail.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

// How a getter treats an unset word:
//   SILENT  all ones: -1 without code      CODE    all ones: -1 with 2
//   PAIR    two words, string id below 1: -1 with 2
//   ID      the string id word alone, below 1: -1 with 2
//   NONZERO 0: -1 with 2                   PLAIN   any value is read
//   COUNT   number of entries of the detail's list (0 without a list)
// A missing detail answers the kind's code, except for the list counts of enums
// and function types, which answer 1.
#define IOS_TYPE_WORD_GETTERS(X)                            \
  X(ios_array_get_pair2, IOS_TYPEREF_ARRAY, 2, PAIR)        \
  X(ios_enum_get_list, IOS_TYPEREF_ENUM, 3, COUNT)          \
  X(ios_enum_get_field2, IOS_TYPEREF_ENUM, 2, SILENT)       \
  X(ios_enum_get_field1, IOS_TYPEREF_ENUM, 1, ID)           \
  X(ios_pointer_get_field3, IOS_TYPEREF_POINTER, 3, NONZERO) \
  X(ios_typedef_get_pair2, IOS_TYPEREF_TYPEDEF, 2, PAIR)    \
  X(ios_struct_get_list, IOS_TYPEREF_STRUCTURE, 3, COUNT)   \
  X(ios_struct_get_field0, IOS_TYPEREF_STRUCTURE, 0, SILENT) \
  X(ios_struct_get_pair1, IOS_TYPEREF_STRUCTURE, 1, PAIR)   \
  X(ios_union_get_list, IOS_TYPEREF_UNION, 3, COUNT)        \
  X(ios_union_get_field0, IOS_TYPEREF_UNION, 0, SILENT)     \
  X(ios_union_get_pair1, IOS_TYPEREF_UNION, 1, PAIR)        \
  X(ios_functype_get_list, IOS_TYPEREF_FUNCTION, 6, COUNT)  \
  X(ios_functype_get_field1, IOS_TYPEREF_FUNCTION, 1, ID)   \
  X(ios_functype_get_field4, IOS_TYPEREF_FUNCTION, 4, SILENT) \
  X(ios_functype_get_field5, IOS_TYPEREF_FUNCTION, 5, SILENT) \
  X(ios_qualifier_get_field2, IOS_TYPEREF_QUALIFIER, 2, CODE) \
  X(ios_qualifier_get_field3, IOS_TYPEREF_QUALIFIER, 3, CODE) \
  X(ios_member_get_pair2, IOS_TYPEREF_MEMBER, 2, PAIR)      \
  X(ios_member_get_field4, IOS_TYPEREF_MEMBER, 4, SILENT)   \
  X(ios_member_get_field6, IOS_TYPEREF_MEMBER, 6, SILENT)   \
  X(ios_bitfield_get_field0, IOS_TYPEREF_BITFIELD, 0, PLAIN) \
  X(ios_bitfield_get_field1, IOS_TYPEREF_BITFIELD, 1, SILENT)

// The referred type as {file id, root id, id word of the reference}; a missing
// detail reads as the reference {1, 0}.
#define IOS_TYPE_REF_GETTERS(X)                              \
  X(ios_array_get_type, IOS_TYPEREF_ARRAY, 0)                \
  X(ios_pointer_get_target, IOS_TYPEREF_POINTER, 0)          \
  X(ios_reference_get_type, IOS_TYPEREF_REFERENCE, 0)        \
  X(ios_typedef_get_type, IOS_TYPEREF_TYPEDEF, 0)            \
  X(ios_functype_get_type, IOS_TYPEREF_FUNCTION, 2)          \
  X(ios_qualifier_get_type, IOS_TYPEREF_QUALIFIER, 0)        \
  X(ios_member_get_type, IOS_TYPEREF_MEMBER, 0)

#define IOS_DECLARE_TYPE_WORD_GETTER(name, kind, word, rule)                          \
  int name(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t* value,     \
           IosErrorCode* error);
#define IOS_DECLARE_TYPE_REF_GETTER(name, kind, word)                                 \
  int name(uint32_t file_id, uint32_t root_id, uint32_t type_id, TypeHandle* type,    \
           IosErrorCode* error);
IOS_TYPE_WORD_GETTERS(IOS_DECLARE_TYPE_WORD_GETTER)
IOS_TYPE_REF_GETTERS(IOS_DECLARE_TYPE_REF_GETTER)

// The type of a type handle with the kind required; the kind's code for another.
int ios_type_of_kind(uint32_t file_id, uint32_t type_id, uint32_t kind, IosType** type,
                     IosErrorCode* error);

// Entries of a detail's list by 0-based index.
// Parameter n: its referred id, and its name (string id 0 when it has none).
int ios_functype_list_entry(void* detail, uint32_t index, StringHandle* name, uint32_t* id,
                            IosErrorCode* error);
// Member n as a reference: 44 / 46 without a detail, 2 and -1 without entry n.
int ios_struct_list_entry(void* detail, uint32_t index, TyperefRef* entry, IosErrorCode* error);
int ios_union_list_entry(void* detail, uint32_t index, TyperefRef* entry, IosErrorCode* error);
// Enumerator n: name and value.
int ios_enum_list_entry(void* detail, uint32_t index, StringHandle* name, uint32_t* value,
                        IosErrorCode* error);
