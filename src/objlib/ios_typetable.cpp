#include "objlib/ios_typetable.h"

#include <cstring>
#include <new>
#include <vector>

#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

// The store records no code for the walk's own stop value; a code shows a failure.
constexpr IosErrorCode kNoFailure = static_cast<IosErrorCode>(IOS_ERROR_CODE_COUNT);

int typeEntries(uint32_t file_id, IosDebugFamily** admin, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr) return ios_unset(error);
  *admin = &file->debug_root->type_entries;
  return 0;
}

// One type of the reachability walk whose references are being visited.
struct MarkFrame {
  IosType* type;
  int ref_word;     // -1 when the kind has no reference of its own
  bool walks_list;  // members of structures and unions, parameters
  bool own_done;
  uint32_t next;    // list entry visited next (from 0)
  int first_status;
  IosErrorCode first_error;
};

struct MarkWalk {
  IosDebugHandle key;
  uint32_t file_id;
};

// The part of one step before the type's references: true when the step ends here
// (result in *status), false when the type's references are to be visited.
bool markType(const MarkWalk& walk, uint32_t type_id, uint32_t parent_visits, bool top,
              IosType** visited, int* status, IosErrorCode* error) {
  IosTypeTable* typeTable = nullptr;
  *status = 1;
  if (ios_find_typetable(walk.key, &typeTable, error) != 0) return true;
  if (type_id < IOS_FIRST_TYPE_ID) return true;  // a simple type: nothing to mark
  IosTypeIdTable* table = nullptr;
  *status = ios_get_type_table(&table, error, walk.file_id);
  if (*status != 0) return true;
  IosType* type = nullptr;
  *status = ios_type_lookup(table, type_id, &type, error);
  if (*status != 0) return true;
  *status = 1;
  if (!top && parent_visits == 1 && type->visits == 1) return true;
  ++type->visits;
  if (type->visits == 2 && typeTable->types != nullptr) {
    if (ios_idtab_append(typeTable->types, ios_id_item(type_id), error) != 0) return true;
  }
  if (type->kind < IOS_TYPEREF_FIRST_COMPOSITE || type->visits > 2) return true;
  const IosDetailKind* row = ios_detail_kind(type->kind);
  *status = 0;
  if (row == nullptr || type->detail == nullptr) return true;
  *visited = type;
  return false;
}

MarkFrame markFrame(IosType* type) {
  const IosDetailKind* row = ios_detail_kind(type->kind);
  bool list = type->kind == IOS_TYPEREF_STRUCTURE || type->kind == IOS_TYPEREF_UNION ||
              type->kind == IOS_TYPEREF_FUNCTION;
  return MarkFrame{type, row->ref_word, list, false, 0, 0, kNoFailure};
}

void noteFailure(MarkFrame& frame, int status, IosErrorCode code) {
  if (status != 0 && code != kNoFailure && frame.first_status == 0) {
    frame.first_status = status;
    frame.first_error = code;
  }
}

// The next type id the frame refers to; false when its references are done.
bool nextReferred(MarkFrame& frame, uint32_t* type_id) {
  if (!frame.own_done) {
    frame.own_done = true;
    if (frame.ref_word >= 0) {
      *type_id = ios_detail_word(frame.type->detail, frame.ref_word)[1];
      return true;
    }
  }
  if (!frame.walks_list) return false;
  IdTable* list = ios_detail_list(frame.type->kind, frame.type->detail);
  while (frame.next < idtab_count(list)) {
    const auto* entry = static_cast<const uint32_t*>(idtab_get(list, frame.next++));
    if (entry == nullptr) {
      if (frame.first_status == 0) {
        frame.first_status = -1;
        frame.first_error = IOS_ERR_NO_PROPERTY;
      }
      continue;
    }
    // An unresolved entry names a typeref, not a type; there is nothing to visit.
    if (entry[0] == 1) {
      *type_id = entry[1];
      return true;
    }
  }
  return false;
}

// Visits the type and everything it refers to, depth first. Types refer to each other
// as deeply as a producer chains them, so the walk keeps its own stack rather than
// the machine's. Every referred type is visited; the first failure decides the
// result.
int markStep(IosDebugHandle key, uint32_t file_id, uint32_t type_id, uint32_t parent_visits,
             bool top, IosErrorCode* error) {
  MarkWalk walk{key, file_id};
  IosType* type = nullptr;
  int status = 0;
  if (markType(walk, type_id, parent_visits, top, &type, &status, error)) return status;
  std::vector<MarkFrame> stack;
  try {
    stack.push_back(markFrame(type));
    for (;;) {
      MarkFrame& frame = stack.back();
      uint32_t child = 0;
      if (nextReferred(frame, &child)) {
        IosType* referred = nullptr;
        IosErrorCode code = kNoFailure;
        // The parent's count as it is now: a cycle may have raised it meanwhile.
        if (markType(walk, child, frame.type->visits, false, &referred, &status, &code))
          noteFailure(frame, status, code);
        else
          stack.push_back(markFrame(referred));
        continue;
      }
      status = frame.first_status;
      IosErrorCode code = frame.first_error;
      stack.pop_back();
      if (stack.empty()) {
        if (status != 0 && error != nullptr) *error = code;
        return status;
      }
      noteFailure(stack.back(), status, code);
    }
  } catch (const std::bad_alloc&) {
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
}

}  // namespace

int ios_find_typetable(IosDebugHandle key, IosTypeTable** table, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(key.file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr) return ios_unset(error);
  auto* found =
      static_cast<IosTypeTable*>(idtab_get(file->debug_root->typetables.table, key.record_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_TYPETABLE);
  if (table != nullptr) *table = found;
  return 0;
}

int ios_typeref_set_pointer_target(uint32_t file_id, uint32_t, uint32_t typeref_id,
                                   uint32_t target_typeref_id, IosErrorCode* error) {
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, file_id);
  if (status != 0) return status;
  IosTyperef* typeref = nullptr;
  if (ios_typeref_find(store->typerefs, typeref_id, &typeref, error) != 0) return 1;
  if (typeref->kind != IOS_TYPEREF_POINTER || typeref->detail == nullptr)
    return ios_fail(error, IOS_ERR_TYPEREF_NOT_POINTER);
  auto* ref = reinterpret_cast<TyperefRef*>(ios_detail_word(typeref->detail, 0));
  *ref = TyperefRef{0, target_typeref_id};
  return 0;
}

int ios_typetable_admin_add_type(IosDebugFamily* admin, IosDebugHandle* entry,
                                 IosErrorCode* error, TypeHandle type) {
  if (admin == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t id = idtab_next_id(admin->table);
  auto* record = static_cast<IosTypeEntry*>(pool_alloc_block(admin->pool));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(record, 0, sizeof(IosTypeEntry));
  record->file_id = admin->file_id;
  record->entry_id = id;
  record->type = type;
  if (idtab_set(admin->table, id - 1, record) != 0) {
    pool_free_block(record, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (entry != nullptr) *entry = IosDebugHandle{admin->file_id, admin->root_id, id};
  return 0;
}

int ios_typetable_enter_simple_type(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                                    uint32_t typeref_id, IosDebugHandle* entry,
                                    IosErrorCode* error) {
  TypeHandle type{};
  int status = ios_typeref_intern_by_id(&type, error, file_id, root_id, typeref_id);
  if (status != 0) return status;
  if (type.type_id >= IOS_FIRST_TYPE_ID) return ios_fail(error, IOS_ERR_TYPEREF_NOT_SIMPLE);
  if (ios_find_typetable(key, nullptr, error) != 0) return 1;
  IosDebugFamily* admin = nullptr;
  status = typeEntries(key.file_id, &admin, error);
  if (status != 0) return status;
  return ios_typetable_admin_add_type(admin, entry, error, type);
}

int ios_typetable_enter_type(IosDebugHandle key, uint32_t file_id, uint32_t root_id,
                             uint32_t typeref_id, IosDebugHandle* entry, IosErrorCode* error) {
  TypeHandle type{};
  int status = ios_typeref_intern_by_id(&type, error, file_id, root_id, typeref_id);
  if (status != 0) return status;
  IosTypeIdTable* types = nullptr;
  status = ios_get_type_table(&types, error, file_id);
  if (status != 0) return status;
  status = ios_type_lookup(types, type.type_id, nullptr, error);
  if (status != 0) return status;
  IosTypeTable* table = nullptr;
  if (ios_find_typetable(key, &table, error) != 0) return 1;
  if (table->entered != nullptr) {
    bool present = false;
    for (uint32_t id = idtab_count(table->entered); id >= 1 && !present; --id) {
      present = ios_item_id(idtab_get(table->entered, id - 1)) == type.type_id;
    }
    if (!present && ios_idtab_append(table->entered, ios_id_item(type.type_id), error) != 0)
      return 1;
  }
  ios_typeref_mark_reachable_top(key, file_id, root_id, type.type_id, 0, nullptr);
  IosDebugFamily* admin = nullptr;
  status = typeEntries(key.file_id, &admin, error);
  if (status != 0) return status;
  return ios_typetable_admin_add_type(admin, entry, error, type);
}

int ios_typeref_mark_reachable_top(IosDebugHandle key, uint32_t file_id, uint32_t,
                                   uint32_t type_id, uint32_t parent_visits, IosErrorCode* error) {
  return markStep(key, file_id, type_id, parent_visits, true, error);
}

int ios_typeref_mark_reachable(IosDebugHandle key, uint32_t file_id, uint32_t,
                               uint32_t type_id, uint32_t parent_visits, IosErrorCode* error) {
  return markStep(key, file_id, type_id, parent_visits, false, error);
}
