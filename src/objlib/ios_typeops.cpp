#include "objlib/ios_typeops.h"

#include "objlib/ios_idtable.h"
#include "objlib/ios_typeindex.h"
#include "objlib/ios_typequery.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

enum Rule { SILENT, CODE, NONZERO, PLAIN };

IosErrorCode kindError(uint32_t kind) { return ios_detail_kind(kind)->not_this_kind; }

uint32_t* words(void* detail) { return static_cast<uint32_t*>(detail); }

// The typeref of a handle when it is of the kind and may still change. A missing
// detail answers `noDetail`.
int typerefOfKind(TypeHandle handle, uint32_t kind, bool refuseInterned, IosErrorCode noDetail,
                  IosTyperef** typeref, IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status = ios_typeref_lookup(handle, &found, error);
  if (status != 0) return status;
  if (found->kind != kind) return ios_fail(error, kindError(kind));
  if (found->detail == nullptr) return ios_fail(error, noDetail);
  if (refuseInterned && found->state == IOS_TYPEREF_DONE) return ios_fail(error, IOS_ERR_INTERNAL);
  *typeref = found;
  return 0;
}

int typeOfKind(TypeHandle handle, uint32_t kind, IosType** type, IosErrorCode* error) {
  IosType* found = nullptr;
  int status = ios_type_find(handle, &found, error);
  if (status != 0) return status;
  if (found->kind != kind) return ios_fail(error, kindError(kind));
  *type = found;
  return 0;
}

int getWord(void* detail, uint32_t kind, int word, Rule rule, uint32_t* value, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  uint32_t held = words(detail)[word];
  if (rule == SILENT && held == IOS_DEBUG_UNSET) return -1;
  if (rule == CODE && held == IOS_DEBUG_UNSET) return ios_unset(error);
  if (rule == NONZERO && held == 0) return ios_unset(error);
  if (value != nullptr) *value = held;
  return 0;
}

int setWord(void* detail, uint32_t kind, int word, uint32_t value, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  words(detail)[word] = value;
  ios_type_detail_changed(detail);
  return 0;
}

int getName(void* detail, uint32_t kind, int word, StringHandle* name, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  const uint32_t* held = words(detail) + word;
  if (held[1] < 1) return ios_unset(error);
  if (name != nullptr) *name = StringHandle{held[0], held[1]};
  return 0;
}

int setName(void* detail, uint32_t kind, int word, StringHandle name, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  uint32_t* held = words(detail) + word;
  if (held[1] >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  held[0] = name.file_id;
  held[1] = name.object_id;
  ios_type_detail_changed(detail);
  return 0;
}

int setRef(void* detail, uint32_t kind, int word, TyperefRef reference, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  words(detail)[word] = reference.resolved;
  words(detail)[word + 1] = reference.id;
  ios_type_detail_changed(detail);
  return 0;
}

IdTable* listOf(uint32_t kind, void* detail) { return ios_detail_list(kind, detail); }

// Stores a list entry through the kind's list slot, making the list when needed.
int setEntry(uint32_t kind, void* detail, uint32_t index, uint32_t a, uint32_t b,
             uint32_t** entry, IosErrorCode* error) {
  IdTable* list = listOf(kind, detail);
  if (list == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t entryWords = ios_detail_kind(kind)->entry_words;
  if (ios_typetable_set_entry(&list, index, a, b, error, entryWords) != 0) return 1;
  if (entry != nullptr) *entry = static_cast<uint32_t*>(idtab_get(list, index));
  ios_type_detail_changed(detail);
  return 0;
}

int countOf(void* detail, uint32_t kind, uint32_t* count, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  if (count != nullptr) *count = idtab_count(listOf(kind, detail));
  return 0;
}

}  // namespace

#define IOS_DEFINE_DETAIL_WORD_GETTER(name, kind, word, rule)             \
  int name(void* detail, uint32_t* value, IosErrorCode* error) {          \
    return getWord(detail, kind, word, rule, value, error);               \
  }
#define IOS_DEFINE_DETAIL_WORD_SETTER(name, kind, word)                   \
  int name(void* detail, uint32_t value, IosErrorCode* error) {           \
    return setWord(detail, kind, word, value, error);                     \
  }
#define IOS_DEFINE_TYPEREF_WORD_SETTER(name, kind, word, strict)                         \
  int name(TypeHandle typeref, uint32_t value, IosErrorCode* error) {                    \
    IosTyperef* found = nullptr;                                                         \
    int status = typerefOfKind(typeref, kind, strict, kindError(kind), &found, error);   \
    return status != 0 ? status : setWord(found->detail, kind, word, value, error);      \
  }
#define IOS_DEFINE_DETAIL_NAME_GETTER(name, kind, word)                   \
  int name(void* detail, StringHandle* name_out, IosErrorCode* error) {   \
    return getName(detail, kind, word, name_out, error);                  \
  }
#define IOS_DEFINE_DETAIL_NAME_SETTER(name, kind, word)                   \
  int name(void* detail, StringHandle string, IosErrorCode* error) {      \
    return setName(detail, kind, word, string, error);                    \
  }
#define IOS_DEFINE_TYPEREF_NAME_SETTER(name, kind, word, strict)                         \
  int name(TypeHandle typeref, StringHandle string, IosErrorCode* error) {               \
    IosTyperef* found = nullptr;                                                         \
    int status = typerefOfKind(typeref, kind, strict, kindError(kind), &found, error);   \
    return status != 0 ? status : setName(found->detail, kind, word, string, error);     \
  }
#define IOS_DEFINE_DETAIL_REF_SETTER(name, kind, word)                    \
  int name(void* detail, TyperefRef reference, IosErrorCode* error) {     \
    return setRef(detail, kind, word, reference, error);                  \
  }
#define IOS_DEFINE_TYPEREF_REF_SETTER(name, kind, word)                                      \
  int name(TypeHandle typeref, uint32_t target_typeref_id, IosErrorCode* error) {            \
    IosTyperef* found = nullptr;                                                             \
    int status = typerefOfKind(typeref, kind, false, kindError(kind), &found, error);        \
    return status != 0 ? status                                                              \
                       : setRef(found->detail, kind, word, {0, target_typeref_id}, error);   \
  }
IOS_DETAIL_WORD_GETTERS(IOS_DEFINE_DETAIL_WORD_GETTER)
IOS_DETAIL_WORD_SETTERS(IOS_DEFINE_DETAIL_WORD_SETTER)
IOS_TYPEREF_WORD_SETTERS(IOS_DEFINE_TYPEREF_WORD_SETTER)
IOS_DETAIL_NAME_GETTERS(IOS_DEFINE_DETAIL_NAME_GETTER)
IOS_DETAIL_NAME_SETTERS(IOS_DEFINE_DETAIL_NAME_SETTER)
IOS_TYPEREF_NAME_SETTERS(IOS_DEFINE_TYPEREF_NAME_SETTER)
IOS_DETAIL_REF_SETTERS(IOS_DEFINE_DETAIL_REF_SETTER)
IOS_TYPEREF_REF_SETTERS(IOS_DEFINE_TYPEREF_REF_SETTER)

int ios_type_find(TypeHandle type, IosType** record, IosErrorCode* error) {
  IosTypeIdTable* table = nullptr;
  int status = ios_get_type_table(&table, error, type.file_id);
  if (status == -1) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (status != 0) return status;
  return ios_type_lookup(table, type.type_id, record, error);
}

int ios_typeref_lookup(TypeHandle typeref, IosTyperef** record, IosErrorCode* error) {
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, typeref.file_id);
  if (status != 0) return status;
  return ios_typeref_find(store->typerefs, typeref.type_id, record, error);
}

TyperefRef ios_detail_ref_a(const void* detail) {
  if (detail == nullptr) return TyperefRef{1, 0};
  const auto* held = static_cast<const uint32_t*>(detail);
  return TyperefRef{held[0], held[1]};
}

TyperefRef ios_detail_ref_b(const void* detail) {
  if (detail == nullptr) return TyperefRef{1, 0};
  const auto* held = static_cast<const uint32_t*>(detail);
  return TyperefRef{held[2], held[3]};
}

int ios_compare_key_id(const void* key, const void* typeref) {
  uint32_t wanted = *static_cast<const uint32_t*>(key);
  uint32_t id = static_cast<const IosTyperef*>(typeref)->typeref_id;
  return wanted < id ? -1 : (wanted > id ? 1 : 0);
}

void* ios_bitfield_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_BITFIELD).detail; }
void* ios_qualifier_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_QUALIFIER).detail; }
void* ios_typedef_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_TYPEDEF).detail; }
void* ios_member_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_MEMBER).detail; }
void* ios_functype_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_FUNCTION).detail; }
void* ios_reference_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_REFERENCE).detail; }
void* ios_pointer_detail_new() { return ios_typeref_detail_new(IOS_TYPEREF_POINTER).detail; }
// References and bitfields share one record size, as do pointers, typedefs and
// qualifiers, so one release serves each group.
void ios_detail_free8(void* detail) { ios_typeref_detail_free(IOS_TYPEREF_REFERENCE, detail); }
void ios_detail_free16(void* detail) { ios_typeref_detail_free(IOS_TYPEREF_POINTER, detail); }
void ios_member_detail_free(void* detail) { ios_typeref_detail_free(IOS_TYPEREF_MEMBER, detail); }
void ios_functype_detail_free(void* detail) {
  ios_typeref_detail_free(IOS_TYPEREF_FUNCTION, detail);
}
void ios_enum_detail_free(void* detail) { ios_typeref_detail_free(IOS_TYPEREF_ENUM, detail); }
void ios_array_detail_free(void* detail) { ios_typeref_detail_free(IOS_TYPEREF_ARRAY, detail); }

int ios_array_detail_add_dim(void* detail, uint32_t first, uint32_t second, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_TYPEREF_NOT_ARRAY);
  uint32_t index = idtab_count(listOf(IOS_TYPEREF_ARRAY, detail));
  return setEntry(IOS_TYPEREF_ARRAY, detail, index, first, second, nullptr, error);
}

int ios_typeref_add_array_dim(TypeHandle typeref, uint32_t first, uint32_t second,
                              IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status = typerefOfKind(typeref, IOS_TYPEREF_ARRAY, false, IOS_ERR_TYPEREF_NOT_ARRAY, &found,
                             error);
  return status != 0 ? status : ios_array_detail_add_dim(found->detail, first, second, error);
}

int ios_array_detail_dim_count(void* detail, uint32_t* count, IosErrorCode* error) {
  return countOf(detail, IOS_TYPEREF_ARRAY, count, error);
}

int ios_type_array_dim_count(TypeHandle type, uint32_t* count, IosErrorCode* error) {
  IosType* found = nullptr;
  int status = typeOfKind(type, IOS_TYPEREF_ARRAY, &found, error);
  return status != 0 ? status : ios_array_detail_dim_count(found->detail, count, error);
}

int ios_array_dim_entry(void* detail, uint32_t index, uint32_t pair[2], IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_TYPEREF_NOT_ARRAY);
  const auto* entry = static_cast<const uint32_t*>(idtab_get(listOf(IOS_TYPEREF_ARRAY, detail), index));
  if (entry == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  pair[0] = entry[0];
  pair[1] = entry[1];
  return 0;
}

int ios_type_array_dim(TypeHandle type, uint32_t index, uint32_t pair[2], IosErrorCode* error) {
  IosType* found = nullptr;
  int status = typeOfKind(type, IOS_TYPEREF_ARRAY, &found, error);
  return status != 0 ? status : ios_array_dim_entry(found->detail, index, pair, error);
}

int ios_enum_detail_set_entry(void* detail, uint32_t index, StringHandle name, uint32_t value,
                              IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t* entry = nullptr;
  if (setEntry(IOS_TYPEREF_ENUM, detail, index, name.file_id,
               name.object_id < 1 ? 0 : name.object_id, &entry, error) != 0)
    return 1;
  entry[2] = value;
  ios_type_detail_changed(detail);
  return 0;
}

int ios_typeref_add_enum_entry(TypeHandle typeref, StringHandle name, uint32_t value,
                               IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status = typerefOfKind(typeref, IOS_TYPEREF_ENUM, false, IOS_ERR_INTERNAL, &found, error);
  if (status != 0) return status;
  uint32_t index = idtab_count(listOf(IOS_TYPEREF_ENUM, found->detail));
  return ios_enum_detail_set_entry(found->detail, index, name, value, error);
}

int ios_type_enum_entry(TypeHandle type, uint32_t index, StringHandle* name, uint32_t* value,
                        IosErrorCode* error) {
  IosType* found = nullptr;
  int status = typeOfKind(type, IOS_TYPEREF_ENUM, &found, error);
  return status != 0 ? status : ios_enum_list_entry(found->detail, index, name, value, error);
}

int ios_struct_detail_member_count(void* detail, uint32_t* count, IosErrorCode* error) {
  return countOf(detail, IOS_TYPEREF_STRUCTURE, count, error);
}

int ios_union_detail_member_count(void* detail, uint32_t* count, IosErrorCode* error) {
  return countOf(detail, IOS_TYPEREF_UNION, count, error);
}

int ios_union_detail_set_member_entry(void* detail, uint32_t index, uint32_t value, uint32_t id,
                                      IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_TYPEREF_NOT_UNION);
  return setEntry(IOS_TYPEREF_UNION, detail, index, value, id, nullptr, error);
}

int ios_typeref_add_struct_member(TypeHandle typeref, uint32_t member_typeref_id,
                                  IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status = typerefOfKind(typeref, IOS_TYPEREF_STRUCTURE, false, IOS_ERR_TYPEREF_NOT_STRUCTURE,
                             &found, error);
  if (status != 0) return status;
  uint32_t index = idtab_count(listOf(IOS_TYPEREF_STRUCTURE, found->detail));
  return setEntry(IOS_TYPEREF_STRUCTURE, found->detail, index, 0, member_typeref_id, nullptr,
                  error);
}

int ios_typeref_add_union_member(TypeHandle typeref, uint32_t member_typeref_id,
                                 IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status =
      typerefOfKind(typeref, IOS_TYPEREF_UNION, true, IOS_ERR_TYPEREF_NOT_UNION, &found, error);
  if (status != 0) return status;
  uint32_t index = idtab_count(listOf(IOS_TYPEREF_UNION, found->detail));
  return setEntry(IOS_TYPEREF_UNION, found->detail, index, 0, member_typeref_id, nullptr, error);
}

int ios_functype_detail_set_param(void* detail, uint32_t index, TyperefRef type,
                                  StringHandle name, IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t* entry = nullptr;
  if (setEntry(IOS_TYPEREF_FUNCTION, detail, index, type.resolved, type.id, &entry, error) != 0)
    return 1;
  entry[2] = name.file_id;
  entry[3] = name.object_id < 1 ? 0 : name.object_id;
  ios_type_detail_changed(detail);
  return 0;
}

int ios_typeref_add_functype_param(TypeHandle typeref, uint32_t param_typeref_id,
                                   StringHandle name, IosErrorCode* error) {
  IosTyperef* found = nullptr;
  int status =
      typerefOfKind(typeref, IOS_TYPEREF_FUNCTION, false, IOS_ERR_INTERNAL, &found, error);
  if (status != 0) return status;
  uint32_t index = idtab_count(listOf(IOS_TYPEREF_FUNCTION, found->detail));
  return ios_functype_detail_set_param(found->detail, index, {0, param_typeref_id}, name, error);
}

int ios_functype_detail_set_param_entry(void* detail, uint32_t index, uint32_t value, uint32_t id,
                                        IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_TYPEREF_NOT_FUNCTION_TYPE);
  return setEntry(IOS_TYPEREF_FUNCTION, detail, index, value, id, nullptr, error);
}

int ios_functype_detail_param_ref(void* detail, uint32_t index, TyperefRef* reference,
                                  IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, IOS_ERR_TYPEREF_NOT_FUNCTION_TYPE);
  const auto* entry =
      static_cast<const uint32_t*>(idtab_get(listOf(IOS_TYPEREF_FUNCTION, detail), index));
  if (entry == nullptr) return ios_unset(error);
  if (reference != nullptr) *reference = TyperefRef{entry[0], entry[1]};
  return 0;
}

int ios_type_set_functype_name(TypeHandle type, StringHandle name, IosErrorCode* error) {
  IosType* found = nullptr;
  int status = typeOfKind(type, IOS_TYPEREF_FUNCTION, &found, error);
  return status != 0 ? status : setName(found->detail, IOS_TYPEREF_FUNCTION, 0, name, error);
}
