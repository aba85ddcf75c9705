// Building typerefs field by field and reaching their details.
//
// Three ways of addressing occur: by detail record (a null detail answers the
// kind's code, 41 to 51); by typeref handle {file id, root id, typeref id} (26 for
// no such typeref, the kind's code for another kind or a missing detail, and 1
// for an interned typeref where a row says "not when interned"); and by type
// handle {file id, root id, type id} for interned types. The operations of one
// shape are the rows of one table; the list operations follow by hand.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

// ---- Plain words, names and references: one row per operation ----
// Getter rules: SILENT all ones is -1 without code; CODE all ones is -1 with 2;
// NONZERO 0 is -1 with 2; PLAIN any value. Word setters overwrite. A name is
// written once: 37 for a string id below 1, 6 once a name is set, even the same
// one. Reference setters store the given pair on a detail and {0, typeref id}
// through a typeref handle. A row whose last column is true refuses an interned
// typeref with 1.

// X(name, kind, word, rule)
#define IOS_DETAIL_WORD_GETTERS(X)                                      \
  X(ios_enum_detail_get_field2, IOS_TYPEREF_ENUM, 2, SILENT)            \
  X(ios_pointer_detail_get_field2, IOS_TYPEREF_POINTER, 2, SILENT)      \
  X(ios_pointer_detail_get_field3, IOS_TYPEREF_POINTER, 3, NONZERO)     \
  X(ios_struct_detail_get_field0, IOS_TYPEREF_STRUCTURE, 0, SILENT)     \
  X(ios_union_detail_get_field0, IOS_TYPEREF_UNION, 0, SILENT)          \
  X(ios_functype_detail_get_field4, IOS_TYPEREF_FUNCTION, 4, SILENT)    \
  X(ios_functype_detail_get_field5, IOS_TYPEREF_FUNCTION, 5, SILENT)    \
  X(ios_qualifier_detail_get_field2, IOS_TYPEREF_QUALIFIER, 2, CODE)    \
  X(ios_qualifier_detail_get_field3, IOS_TYPEREF_QUALIFIER, 3, CODE)    \
  X(ios_member_detail_get_field4, IOS_TYPEREF_MEMBER, 4, SILENT)        \
  X(ios_member_detail_get_field6, IOS_TYPEREF_MEMBER, 6, SILENT)        \
  X(ios_bitfield_detail_get_field0, IOS_TYPEREF_BITFIELD, 0, PLAIN)     \
  X(ios_bitfield_detail_get_field1, IOS_TYPEREF_BITFIELD, 1, SILENT)

// X(name, kind, word)
#define IOS_DETAIL_WORD_SETTERS(X)                              \
  X(ios_enum_detail_set_field2, IOS_TYPEREF_ENUM, 2)            \
  X(ios_pointer_detail_set_field2, IOS_TYPEREF_POINTER, 2)      \
  X(ios_pointer_detail_set_field3, IOS_TYPEREF_POINTER, 3)      \
  X(ios_struct_detail_set_field0, IOS_TYPEREF_STRUCTURE, 0)     \
  X(ios_union_detail_set_field0, IOS_TYPEREF_UNION, 0)          \
  X(ios_functype_detail_set_field4, IOS_TYPEREF_FUNCTION, 4)    \
  X(ios_functype_detail_set_field5, IOS_TYPEREF_FUNCTION, 5)    \
  X(ios_qualifier_detail_set_field2, IOS_TYPEREF_QUALIFIER, 2)  \
  X(ios_qualifier_detail_set_field3, IOS_TYPEREF_QUALIFIER, 3)  \
  X(ios_member_detail_set_field4, IOS_TYPEREF_MEMBER, 4)        \
  X(ios_member_detail_set_field6, IOS_TYPEREF_MEMBER, 6)        \
  X(ios_bitfield_detail_set_field0, IOS_TYPEREF_BITFIELD, 0)    \
  X(ios_bitfield_detail_set_field1, IOS_TYPEREF_BITFIELD, 1)

// X(name, kind, word, refused when interned)
#define IOS_TYPEREF_WORD_SETTERS(X)                                     \
  X(ios_typeref_set_enum_field2, IOS_TYPEREF_ENUM, 2, true)             \
  X(ios_typeref_set_pointer_field3, IOS_TYPEREF_POINTER, 3, false)      \
  X(ios_typeref_set_struct_field0, IOS_TYPEREF_STRUCTURE, 0, false)     \
  X(ios_typeref_set_union_field0, IOS_TYPEREF_UNION, 0, false)          \
  X(ios_typeref_set_functype_field4, IOS_TYPEREF_FUNCTION, 4, true)     \
  X(ios_typeref_set_functype_field5, IOS_TYPEREF_FUNCTION, 5, true)     \
  X(ios_typeref_set_qualifier_field2, IOS_TYPEREF_QUALIFIER, 2, false)  \
  X(ios_typeref_set_qualifier_field3, IOS_TYPEREF_QUALIFIER, 3, false)  \
  X(ios_typeref_set_member_field4, IOS_TYPEREF_MEMBER, 4, false)        \
  X(ios_typeref_set_member_field6, IOS_TYPEREF_MEMBER, 6, false)        \
  X(ios_typeref_set_bitfield_field0, IOS_TYPEREF_BITFIELD, 0, false)    \
  X(ios_typeref_set_bitfield_field1, IOS_TYPEREF_BITFIELD, 1, false)

// X(name, kind, word)
#define IOS_DETAIL_NAME_GETTERS(X)                              \
  X(ios_array_detail_get_name, IOS_TYPEREF_ARRAY, 2)            \
  X(ios_typedef_detail_get_name, IOS_TYPEREF_TYPEDEF, 2)        \
  X(ios_struct_detail_get_name, IOS_TYPEREF_STRUCTURE, 1)       \
  X(ios_union_detail_get_name, IOS_TYPEREF_UNION, 1)            \
  X(ios_functype_detail_get_name, IOS_TYPEREF_FUNCTION, 0)      \
  X(ios_member_detail_get_name, IOS_TYPEREF_MEMBER, 2)

// X(name, kind, word)
#define IOS_DETAIL_NAME_SETTERS(X)                              \
  X(ios_array_detail_set_name, IOS_TYPEREF_ARRAY, 2)            \
  X(ios_enum_detail_set_name, IOS_TYPEREF_ENUM, 0)              \
  X(ios_typedef_detail_set_name, IOS_TYPEREF_TYPEDEF, 2)        \
  X(ios_struct_detail_set_name, IOS_TYPEREF_STRUCTURE, 1)       \
  X(ios_union_detail_set_name, IOS_TYPEREF_UNION, 1)            \
  X(ios_member_detail_set_name, IOS_TYPEREF_MEMBER, 2)

// X(name, kind, word, refused when interned)
#define IOS_TYPEREF_NAME_SETTERS(X)                                     \
  X(ios_typeref_set_array_name, IOS_TYPEREF_ARRAY, 2, false)            \
  X(ios_typeref_set_enum_name, IOS_TYPEREF_ENUM, 0, true)               \
  X(ios_typeref_set_typedef_name, IOS_TYPEREF_TYPEDEF, 2, false)        \
  X(ios_typeref_set_struct_name, IOS_TYPEREF_STRUCTURE, 1, false)       \
  X(ios_typeref_set_union_name, IOS_TYPEREF_UNION, 1, true)             \
  X(ios_typeref_set_functype_name, IOS_TYPEREF_FUNCTION, 0, true)       \
  X(ios_typeref_set_member_name, IOS_TYPEREF_MEMBER, 2, false)

// X(name, kind, word)
#define IOS_DETAIL_REF_SETTERS(X)                               \
  X(ios_array_detail_set_type, IOS_TYPEREF_ARRAY, 0)            \
  X(ios_typedef_detail_set_type, IOS_TYPEREF_TYPEDEF, 0)        \
  X(ios_functype_detail_set_result, IOS_TYPEREF_FUNCTION, 2)

// X(name, kind, word)
#define IOS_TYPEREF_REF_SETTERS(X)                                      \
  X(ios_typeref_set_array_type, IOS_TYPEREF_ARRAY, 0)                   \
  X(ios_typeref_set_reference_type, IOS_TYPEREF_REFERENCE, 0)           \
  X(ios_typeref_set_qualifier_type, IOS_TYPEREF_QUALIFIER, 0)           \
  X(ios_typeref_set_member_type, IOS_TYPEREF_MEMBER, 0)

#define IOS_DECLARE_DETAIL_WORD_GETTER(name, kind, word, rule) \
  int name(void* detail, uint32_t* value, IosErrorCode* error);
#define IOS_DECLARE_DETAIL_WORD_SETTER(name, kind, word) \
  int name(void* detail, uint32_t value, IosErrorCode* error);
#define IOS_DECLARE_TYPEREF_WORD_SETTER(name, kind, word, strict) \
  int name(TypeHandle typeref, uint32_t value, IosErrorCode* error);
#define IOS_DECLARE_DETAIL_NAME_GETTER(name, kind, word) \
  int name(void* detail, StringHandle* name_out, IosErrorCode* error);
#define IOS_DECLARE_DETAIL_NAME_SETTER(name, kind, word) \
  int name(void* detail, StringHandle string, IosErrorCode* error);
#define IOS_DECLARE_TYPEREF_NAME_SETTER(name, kind, word, strict) \
  int name(TypeHandle typeref, StringHandle string, IosErrorCode* error);
#define IOS_DECLARE_DETAIL_REF_SETTER(name, kind, word) \
  int name(void* detail, TyperefRef reference, IosErrorCode* error);
#define IOS_DECLARE_TYPEREF_REF_SETTER(name, kind, word) \
  int name(TypeHandle typeref, uint32_t target_typeref_id, IosErrorCode* error);
IOS_DETAIL_WORD_GETTERS(IOS_DECLARE_DETAIL_WORD_GETTER)
IOS_DETAIL_WORD_SETTERS(IOS_DECLARE_DETAIL_WORD_SETTER)
IOS_TYPEREF_WORD_SETTERS(IOS_DECLARE_TYPEREF_WORD_SETTER)
IOS_DETAIL_NAME_GETTERS(IOS_DECLARE_DETAIL_NAME_GETTER)
IOS_DETAIL_NAME_SETTERS(IOS_DECLARE_DETAIL_NAME_SETTER)
IOS_TYPEREF_NAME_SETTERS(IOS_DECLARE_TYPEREF_NAME_SETTER)
IOS_DETAIL_REF_SETTERS(IOS_DECLARE_DETAIL_REF_SETTER)
IOS_TYPEREF_REF_SETTERS(IOS_DECLARE_TYPEREF_REF_SETTER)

// ---- Support ----
// The interned type of a type handle: 27 without a table or for an id naming none,
// 2 and -1 below the first type id.
int ios_type_find(TypeHandle type, IosType** record, IosErrorCode* error);
// The typeref of a typeref handle: file errors, 2 without a store, 26.
int ios_typeref_lookup(TypeHandle typeref, IosTyperef** record, IosErrorCode* error);
// Words 0-1 / 2-3 of a detail as a reference; {1, 0} without a detail.
TyperefRef ios_detail_ref_a(const void* detail);
TyperefRef ios_detail_ref_b(const void* detail);
// Tree comparator: the key's first word against a typeref's id.
int ios_compare_key_id(const void* key, const void* typeref);

// Detail constructors (null when out of memory) and releases (null is ignored).
void* ios_bitfield_detail_new();
void* ios_qualifier_detail_new();
void* ios_typedef_detail_new();
void* ios_member_detail_new();
void* ios_functype_detail_new();
void* ios_reference_detail_new();
void* ios_pointer_detail_new();
void ios_detail_free8(void* detail);   // reference or bitfield
void ios_detail_free16(void* detail);  // pointer, typedef or qualifier
void ios_member_detail_free(void* detail);
void ios_functype_detail_free(void* detail);
void ios_enum_detail_free(void* detail);
void ios_array_detail_free(void* detail);

// ---- Lists ----
// Array dimensions {first word, second word}, appended.
int ios_array_detail_add_dim(void* detail, uint32_t first, uint32_t second, IosErrorCode* error);
int ios_typeref_add_array_dim(TypeHandle typeref, uint32_t first, uint32_t second,
                              IosErrorCode* error);
int ios_array_detail_dim_count(void* detail, uint32_t* count, IosErrorCode* error);
int ios_type_array_dim_count(TypeHandle type, uint32_t* count, IosErrorCode* error);
// Dimension n (0-based); 1 past the list or for an empty entry.
int ios_array_dim_entry(void* detail, uint32_t index, uint32_t words[2], IosErrorCode* error);
int ios_type_array_dim(TypeHandle type, uint32_t index, uint32_t words[2], IosErrorCode* error);
// Enumerators {name file, name string id or 0, value}.
int ios_enum_detail_set_entry(void* detail, uint32_t index, StringHandle name, uint32_t value,
                              IosErrorCode* error);
int ios_typeref_add_enum_entry(TypeHandle typeref, StringHandle name, uint32_t value,
                               IosErrorCode* error);
int ios_type_enum_entry(TypeHandle type, uint32_t index, StringHandle* name, uint32_t* value,
                        IosErrorCode* error);
// Structure and union members: references {0, typeref id} once appended by handle.
int ios_struct_detail_member_count(void* detail, uint32_t* count, IosErrorCode* error);
int ios_union_detail_member_count(void* detail, uint32_t* count, IosErrorCode* error);
int ios_union_detail_set_member_entry(void* detail, uint32_t index, uint32_t value, uint32_t id,
                                      IosErrorCode* error);
int ios_typeref_add_struct_member(TypeHandle typeref, uint32_t member_typeref_id,
                                  IosErrorCode* error);
int ios_typeref_add_union_member(TypeHandle typeref, uint32_t member_typeref_id,
                                 IosErrorCode* error);
// Function-type parameters {reference, name file, name string id or 0}.
int ios_functype_detail_set_param(void* detail, uint32_t index, TyperefRef type,
                                  StringHandle name, IosErrorCode* error);
int ios_typeref_add_functype_param(TypeHandle typeref, uint32_t param_typeref_id,
                                   StringHandle name, IosErrorCode* error);
int ios_functype_detail_set_param_entry(void* detail, uint32_t index, uint32_t value, uint32_t id,
                                        IosErrorCode* error);
int ios_functype_detail_param_ref(void* detail, uint32_t index, TyperefRef* reference,
                                  IosErrorCode* error);
// The name of an interned function type, written once.
int ios_type_set_functype_name(TypeHandle type, StringHandle name, IosErrorCode* error);
