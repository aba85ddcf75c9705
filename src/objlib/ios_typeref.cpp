#include "objlib/ios_typeref.h"

#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_typestore.h"

namespace {

// The id table of a record, for the kinds that list parts; null otherwise.
IdTable** tableOf(uint32_t kind, void* detail) {
  switch (kind) {
    case IOS_TYPEREF_ARRAY:
      return &static_cast<IosTyperefArray*>(detail)->dimensions;
    case IOS_TYPEREF_ENUM:
      return &static_cast<IosTyperefEnum*>(detail)->enumerators;
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      return &static_cast<IosTyperefStructure*>(detail)->members;
    case IOS_TYPEREF_FUNCTION:
      return &static_cast<IosTyperefFunction*>(detail)->parameters;
    default:
      return nullptr;
  }
}

void unsetIds(uint32_t* ids, int count) {
  for (int i = 0; i < count; ++i) ids[i] = IOS_TYPEREF_UNSET_ID;
}

}  // namespace

size_t ios_typeref_detail_size(uint32_t kind) {
  switch (kind) {
    case IOS_TYPEREF_ARRAY:
      return sizeof(IosTyperefArray);
    case IOS_TYPEREF_ENUM:
      return sizeof(IosTyperefEnum);
    case IOS_TYPEREF_POINTER:
      return sizeof(IosTyperefPointer);
    case IOS_TYPEREF_REFERENCE:
      return sizeof(IosTyperefReference);
    case IOS_TYPEREF_TYPEDEF:
      return sizeof(IosTyperefTypedef);
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      return sizeof(IosTyperefStructure);
    case IOS_TYPEREF_FUNCTION:
      return sizeof(IosTyperefFunction);
    case IOS_TYPEREF_QUALIFIER:
      return sizeof(IosTyperefQualifier);
    case IOS_TYPEREF_MEMBER:
      return sizeof(IosTyperefMember);
    case IOS_TYPEREF_BITFIELD:
      return sizeof(IosTyperefBitfield);
    default:
      return 0;
  }
}

uint32_t ios_typeref_entry_words(uint32_t kind) {
  switch (kind) {
    case IOS_TYPEREF_ARRAY:
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      return 2;
    case IOS_TYPEREF_ENUM:
      return 3;
    case IOS_TYPEREF_FUNCTION:
      return 4;
    default:
      return 0;
  }
}

IosTyperefKindDetail ios_typeref_detail_new(uint32_t kind) {
  IosTyperefKindDetail made{kind, nullptr};
  size_t size = ios_typeref_detail_size(kind);
  if (size == 0) return made;
  void* detail = pool_alloc(size);
  if (detail == nullptr) return made;
  IdTable** table = tableOf(kind, detail);
  if (table != nullptr) {
    *table = idtab_new();
    if (*table == nullptr) {
      pool_free(detail, size);
      return made;
    }
  }
  switch (kind) {
    case IOS_TYPEREF_ENUM:
      static_cast<IosTyperefEnum*>(detail)->id = IOS_TYPEREF_UNSET_ID;
      break;
    case IOS_TYPEREF_POINTER:
      static_cast<IosTyperefPointer*>(detail)->id = IOS_TYPEREF_UNSET_ID;
      break;
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      static_cast<IosTyperefStructure*>(detail)->id = IOS_TYPEREF_UNSET_ID;
      break;
    case IOS_TYPEREF_FUNCTION:
      unsetIds(static_cast<IosTyperefFunction*>(detail)->ids, 2);
      break;
    case IOS_TYPEREF_QUALIFIER:
      unsetIds(static_cast<IosTyperefQualifier*>(detail)->ids, 2);
      break;
    case IOS_TYPEREF_MEMBER:
      unsetIds(static_cast<IosTyperefMember*>(detail)->ids, 3);
      break;
    case IOS_TYPEREF_BITFIELD:
      static_cast<IosTyperefBitfield*>(detail)->id = IOS_TYPEREF_UNSET_ID;
      break;
    default:
      break;
  }
  made.detail = detail;
  return made;
}

void ios_typeref_detail_free(uint32_t kind, void* detail) {
  size_t size = ios_typeref_detail_size(kind);
  if (size == 0 || detail == nullptr) return;
  IdTable** table = tableOf(kind, detail);
  if (table != nullptr && *table != nullptr) {
    size_t entrySize = ios_typeref_entry_words(kind) * sizeof(uint32_t);
    // Slots of removed entries stay empty below the highest id.
    for (uint32_t id = 1; id <= (*table)->highest_id; ++id) {
      pool_free(idtab_get(*table, id - 1), entrySize);
    }
    idtab_delete(*table);
  }
  pool_free(detail, size);
}

int ios_typeref_entry_add(uint32_t kind, void* detail, uint32_t* id) {
  if (detail == nullptr || id == nullptr) return 1;
  IdTable** table = tableOf(kind, detail);
  if (table == nullptr || *table == nullptr) return 1;
  size_t entrySize = ios_typeref_entry_words(kind) * sizeof(uint32_t);
  void* entry = pool_alloc(entrySize);
  if (entry == nullptr) return 1;
  uint32_t next = idtab_next_id(*table);
  if (idtab_set(*table, next - 1, entry) != 0) {
    pool_free(entry, entrySize);
    return 1;
  }
  *id = next;
  return 0;
}

IdTable* ios_detail_list(uint32_t kind, void* detail) {
  if (detail == nullptr) return nullptr;
  IdTable** table = tableOf(kind, detail);
  return table == nullptr ? nullptr : *table;
}
