#include "objlib/ios_typequery.h"

#include "objlib/ios_idtable.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

enum UnsetRule { SILENT, CODE, PAIR, ID, NONZERO, PLAIN, COUNT };

IosErrorCode kindError(uint32_t kind) {
  const IosDetailKind* row = ios_detail_kind(kind);
  return row == nullptr ? IOS_ERR_INTERNAL : row->not_this_kind;
}

int readWord(uint32_t file_id, uint32_t type_id, uint32_t kind, int word, UnsetRule rule,
             uint32_t* value, IosErrorCode* error) {
  IosType* type = nullptr;
  int status = ios_type_of_kind(file_id, type_id, kind, &type, error);
  if (status != 0) return status;
  if (type->detail == nullptr) {
    bool countAnswersOne = rule == COUNT && (kind == IOS_TYPEREF_ENUM || kind == IOS_TYPEREF_FUNCTION);
    return ios_fail(error, countAnswersOne ? IOS_ERR_INTERNAL : kindError(kind));
  }
  if (rule == COUNT) {
    if (value != nullptr) *value = idtab_count(ios_detail_list(kind, type->detail));
    return 0;
  }
  const uint32_t* words = ios_detail_word(type->detail, word);
  switch (rule) {
    case SILENT:
      if (words[0] == IOS_DEBUG_UNSET) return -1;
      break;
    case CODE:
      if (words[0] == IOS_DEBUG_UNSET) return ios_unset(error);
      break;
    case PAIR:
      if (words[1] < 1) return ios_unset(error);
      if (value != nullptr) value[1] = words[1];
      break;
    case ID:
    case NONZERO:
      if (words[0] < 1) return ios_unset(error);
      break;
    default:
      break;
  }
  if (value != nullptr) value[0] = words[0];
  return 0;
}

int readRef(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t kind, int word,
            TypeHandle* out, IosErrorCode* error) {
  IosType* type = nullptr;
  int status = ios_type_of_kind(file_id, type_id, kind, &type, error);
  if (status != 0) return status;
  uint32_t id = type->detail == nullptr ? 0 : ios_detail_word(type->detail, word)[1];
  if (out != nullptr) *out = TypeHandle{file_id, root_id, id};
  return 0;
}

const uint32_t* entryAt(uint32_t kind, void* detail, uint32_t index) {
  return static_cast<const uint32_t*>(idtab_get(ios_detail_list(kind, detail), index));
}

int memberEntry(uint32_t kind, void* detail, uint32_t index, TyperefRef* entry,
                IosErrorCode* error) {
  if (detail == nullptr) return ios_fail(error, kindError(kind));
  const uint32_t* words = entryAt(kind, detail, index);
  if (words == nullptr) return ios_unset(error);
  if (entry != nullptr) *entry = TyperefRef{words[0], words[1]};
  return 0;
}

}  // namespace

int ios_type_of_kind(uint32_t file_id, uint32_t type_id, uint32_t kind, IosType** type,
                     IosErrorCode* error) {
  IosTypeIdTable* table = nullptr;
  int status = ios_get_type_table(&table, error, file_id);
  if (status != 0) return status;
  IosType* found = nullptr;
  status = ios_type_lookup(table, type_id, &found, error);
  if (status != 0) return status;
  if (found->kind != kind) return ios_fail(error, kindError(kind));
  *type = found;
  return 0;
}

#define IOS_DEFINE_TYPE_WORD_GETTER(name, kind, word, rule)                             \
  int name(uint32_t file_id, uint32_t, uint32_t type_id, uint32_t* value,               \
           IosErrorCode* error) {                                                       \
    return readWord(file_id, type_id, kind, word, rule, value, error);                  \
  }
#define IOS_DEFINE_TYPE_REF_GETTER(name, kind, word)                                    \
  int name(uint32_t file_id, uint32_t root_id, uint32_t type_id, TypeHandle* type,      \
           IosErrorCode* error) {                                                       \
    return readRef(file_id, root_id, type_id, kind, word, type, error);                 \
  }
IOS_TYPE_WORD_GETTERS(IOS_DEFINE_TYPE_WORD_GETTER)
IOS_TYPE_REF_GETTERS(IOS_DEFINE_TYPE_REF_GETTER)

int ios_functype_list_entry(void* detail, uint32_t index, StringHandle* name, uint32_t* id,
                            IosErrorCode* error) {
  const uint32_t* words =
      detail == nullptr ? nullptr : entryAt(IOS_TYPEREF_FUNCTION, detail, index);
  if (words == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (id != nullptr) *id = words[1];
  if (name != nullptr) {
    if (words[3] >= 1) {
      *name = StringHandle{words[2], words[3]};
    } else {
      name->object_id = 0;
    }
  }
  return 0;
}

int ios_struct_list_entry(void* detail, uint32_t index, TyperefRef* entry, IosErrorCode* error) {
  return memberEntry(IOS_TYPEREF_STRUCTURE, detail, index, entry, error);
}

int ios_union_list_entry(void* detail, uint32_t index, TyperefRef* entry, IosErrorCode* error) {
  return memberEntry(IOS_TYPEREF_UNION, detail, index, entry, error);
}

int ios_enum_list_entry(void* detail, uint32_t index, StringHandle* name, uint32_t* value,
                        IosErrorCode* error) {
  const uint32_t* words = detail == nullptr ? nullptr : entryAt(IOS_TYPEREF_ENUM, detail, index);
  if (words == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (name != nullptr) *name = StringHandle{words[0], words[1]};
  if (value != nullptr) *value = words[2];
  return 0;
}
