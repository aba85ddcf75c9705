// The type store of a file's debug information: typerefs as a producer enters them,
// their interning into canonical types, the structural equality that interning
// uses, the read access to interned types, and the type tables that record which
// types a producer emits.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

struct IosTypeTable;

// ---- Detail layout, one row per composite kind ----

// Where a kind's detail keeps what interning, equality and the getters need. Word
// indices count 32-bit words from the start of the detail; the list is the kind's
// id table of entries.
struct IosDetailKind {
  uint32_t kind;
  IosErrorCode not_this_kind;  // answered by operations that require this kind
  int8_t ref_word;    // first word of a TyperefRef, -1 when none
  int8_t name_word;   // first word of a StringHandle, -1 when none
  uint8_t entry_words;  // of a list entry, 0 without a list
};

// The row of a composite kind that has a detail, else null.
const IosDetailKind* ios_detail_kind(uint32_t kind);
// Word i of a detail (only for words before its list).
inline uint32_t* ios_detail_word(void* detail, int index) {
  return static_cast<uint32_t*>(detail) + index;
}
// The detail's list of entries, or null for kinds without one or a null detail.
IdTable* ios_detail_list(uint32_t kind, void* detail);

// ---- Store, typerefs and interning ----

// A store holding typeref 0 (kind 0); null when out of memory.
IosTypeStore* ios_type_store_new(uint32_t file_id, uint32_t root_id);
// Frees the typerefs and the interned types with their details; null is ignored.
void ios_type_store_free(IosTypeStore* store);
// The store of a file's debug root; 2 and -1 without a root, file errors passed on.
int ios_get_type_store(IosTypeStore** store, IosErrorCode* error, uint32_t file_id);

// The interned types of a file; 2 and -1 when it has no type store.
int ios_get_type_table(IosTypeIdTable** table, IosErrorCode* error, uint32_t file_id);
// The type of a type id: 27 without a table, 2 and -1 below the base, and 27 for
// an id that names no type (past the end or an unfilled reserved slot).
int ios_type_lookup(const IosTypeIdTable* table, uint32_t type_id, IosType** type,
                    IosErrorCode* error);

// A new typeref of the kind with the next typeref id; out: {file, root, typeref id}.
// 1 without code for a missing store; 0 when out of memory.
int ios_typetable_add_entry(IosTypeStore* store, uint32_t kind, TypeHandle* typeref,
                            IosErrorCode* error = nullptr);
// A zeroed typeref (state new) with the handle, the kind and the kind's detail;
// null when out of memory.
IosTyperef* ios_typeref_new_record(TypeHandle handle, uint32_t kind);
// 26 when no typeref has the id; *found is then null.
int ios_typeref_find(const IosTyperefTree* tree, uint32_t typeref_id, IosTyperef** found,
                     IosErrorCode* error);
// For an unresolved reference, the typeref it names and *looked_up = 1.
int ios_typeref_resolve(TyperefRef reference, IosTyperef** typeref, uint32_t* looked_up,
                        uint32_t file_id, uint32_t root_id, IosErrorCode* error);

int ios_typeref_intern(IosTypeIdTable* table, IosTyperef* typeref, TypeHandle* type,
                       IosErrorCode* error);
int ios_typeref_intern_by_id(TypeHandle* type, IosErrorCode* error, uint32_t file_id,
                             uint32_t root_id, uint32_t typeref_id);
// Interns what the detail refers to and rewrites the references. A failing entry
// of a list does not stop the walk; the first failure is the result.
int ios_typeref_intern_detail(IosTypeIdTable* table, IosTyperef* typeref,
                              IosErrorCode* error);
int ios_array_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error);
int ios_pointer_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error);
int ios_reference_intern_ref(IosTypeIdTable* table, IosTyperef* typeref,
                             IosErrorCode* error);
int ios_typedef_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error);
int ios_qualifier_intern_ref(IosTypeIdTable* table, IosTyperef* typeref,
                             IosErrorCode* error);
int ios_member_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error);

// Stores {a, b} at a 0-based index of the list, making the list and the entry when
// needed (an existing entry keeps its further words); 0 when out of memory.
int ios_typetable_set_entry(IdTable** list, uint32_t index, uint32_t word_a, uint32_t word_b,
                            IosErrorCode* error, uint32_t entry_words = 2);
// A new type taking over the typeref's kind and detail; null when out of memory.
IosType* ios_typeref_make_entry(IosTyperef* typeref);
// Stores the type under the next type id; 0 when the table is missing or full.
int ios_typetable_append_entry(IosTypeIdTable* table, IosType* type, uint32_t* type_id,
                               IosErrorCode* error);

// Structural equality of two {kind, detail} pairs: 1 equal, 0 different.
int ios_typeref_equal(uint32_t kind_a, void* detail_a, uint32_t kind_b, void* detail_b);
int ios_string_ids_equal(uint32_t file_a, uint32_t string_a, uint32_t file_b, uint32_t string_b);
int ios_pointer_equal(void* a, void* b);
int ios_typedef_equal(void* a, void* b);
int ios_struct_equal(void* a, void* b);
int ios_union_equal(void* a, void* b);
int ios_qualifier_equal(void* a, void* b);
int ios_member_equal(void* a, void* b);
int ios_array_detail_equal(void* a, void* b);
int ios_enum_detail_equal(void* a, void* b);
int ios_functype_detail_equal(void* a, void* b);
int ios_pair_equal(const uint32_t* a, const uint32_t* b);
int ios_ref_equal(const TyperefRef* a, const TyperefRef* b);
