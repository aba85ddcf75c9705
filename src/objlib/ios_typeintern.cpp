#include <cstring>
#include <initializer_list>
#include <new>
#include <string_view>
#include <vector>

#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeindex.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

// Kinds in the order of their codes; the lists of structures, unions and function
// types hold references, those of arrays and enums hold plain words.
constexpr IosDetailKind kDetailKinds[] = {
    {IOS_TYPEREF_ARRAY, IOS_ERR_TYPEREF_NOT_ARRAY, 0, 2, 2},
    {IOS_TYPEREF_ENUM, IOS_ERR_TYPEREF_NOT_ENUM, -1, 0, 3},
    {IOS_TYPEREF_POINTER, IOS_ERR_TYPEREF_NOT_POINTER, 0, -1, 0},
    {IOS_TYPEREF_REFERENCE, IOS_ERR_TYPEREF_NOT_REFERENCE, 0, -1, 0},
    {IOS_TYPEREF_TYPEDEF, IOS_ERR_TYPEREF_NOT_TYPEDEF, 0, 2, 0},
    {IOS_TYPEREF_STRUCTURE, IOS_ERR_TYPEREF_NOT_STRUCTURE, -1, 1, 2},
    {IOS_TYPEREF_UNION, IOS_ERR_TYPEREF_NOT_UNION, -1, 1, 2},
    {IOS_TYPEREF_FUNCTION, IOS_ERR_TYPEREF_NOT_FUNCTION_TYPE, 2, 0, 4},
    {IOS_TYPEREF_QUALIFIER, IOS_ERR_TYPEREF_NOT_QUALIFIER, 0, -1, 0},
    {IOS_TYPEREF_MEMBER, IOS_ERR_TYPEREF_NOT_MEMBER, 0, 2, 0},
    {IOS_TYPEREF_BITFIELD, IOS_ERR_TYPEREF_NOT_BITFIELD, -1, -1, 0},
};

void freeTyperef(void* data, void*) {
  auto* typeref = static_cast<IosTyperef*>(data);
  ios_typeref_detail_free(typeref->kind, typeref->detail);
  pool_free(typeref, sizeof(IosTyperef));
}

void freeType(IosType* type) {
  if (type == nullptr) return;
  ios_typeref_detail_free(type->kind, type->detail);
  pool_free(type, sizeof(IosType));
}

int compareTyperefs(const void* key, const void* data) {
  uint32_t a = static_cast<const IosTyperef*>(key)->typeref_id;
  uint32_t b = static_cast<const IosTyperef*>(data)->typeref_id;
  return a < b ? -1 : (a > b ? 1 : 0);
}

uint32_t listCount(const IdTable* list) { return list == nullptr ? 0 : list->highest_id; }

// The text of a name up to its NUL; a text made from bytes may fill its whole length
// without one, and is then read no further than that. False for a name without text.
bool nameText(uint32_t file_id, uint32_t string_id, std::string_view* text) {
  IosString* record = nullptr;
  if (string_id < 1 || ios_get_string(IosHandle{file_id, string_id}, &record, nullptr) != 0 ||
      record->text == nullptr)
    return false;
  *text = std::string_view(record->text, strnlen(record->text, record->length));
  return true;
}

const uint32_t* listEntry(const IdTable* list, uint32_t index) {
  return static_cast<const uint32_t*>(idtab_get(list, index));
}

// Both lists hold the same number of entries and each entry's first `words` words
// agree; an empty slot equals only an empty slot.
bool listsEqual(const IdTable* a, const IdTable* b, uint32_t words) {
  uint32_t count = listCount(a);
  if (count != listCount(b)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t* x = listEntry(a, i);
    const uint32_t* y = listEntry(b, i);
    if ((x == nullptr) != (y == nullptr)) return false;
    if (x != nullptr && std::memcmp(x, y, words * sizeof(uint32_t)) != 0) return false;
  }
  return true;
}

bool wordsEqual(void* a, void* b, std::initializer_list<int> words) {
  for (int w : words) {
    if (*ios_detail_word(a, w) != *ios_detail_word(b, w)) return false;
  }
  return true;
}

bool namesEqual(void* a, void* b, int word) {
  return ios_string_ids_equal(*ios_detail_word(a, word), *ios_detail_word(a, word + 1),
                              *ios_detail_word(b, word), *ios_detail_word(b, word + 1)) != 0;
}

int structLikeEqual(uint32_t kind, void* a, void* b) {
  if (a == nullptr || b == nullptr) return 0;
  return wordsEqual(a, b, {0}) && namesEqual(a, b, 1) &&
         listsEqual(ios_detail_list(kind, a), ios_detail_list(kind, b), 2);
}

}  // namespace

const IosDetailKind* ios_detail_kind(uint32_t kind) {
  for (const IosDetailKind& row : kDetailKinds) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}

IosTypeStore* ios_type_store_new(uint32_t file_id, uint32_t root_id) {
  auto* store = static_cast<IosTypeStore*>(pool_alloc(sizeof(IosTypeStore)));
  if (store == nullptr) return nullptr;
  store->file_id = file_id;
  store->root_id = root_id;
  store->typerefs = static_cast<IosTyperefTree*>(pool_alloc(sizeof(IosTyperefTree)));
  store->table = static_cast<IosTypeIdTable*>(pool_alloc(sizeof(IosTypeIdTable)));
  if (store->table != nullptr) *store->table = IosTypeIdTable{};
  if (store->typerefs == nullptr || store->table == nullptr) {
    ios_type_store_free(store);
    return nullptr;
  }
  store->table->base = IOS_FIRST_TYPE_ID;
  store->table->types = idtab_new();
  store->table->index = ios_type_index_new();
  IosTyperef* first = ios_typeref_new_record(TypeHandle{file_id, root_id, 0}, 0);
  if (store->table->types == nullptr || store->table->index == nullptr || first == nullptr) {
    if (first != nullptr) freeTyperef(first, nullptr);
    ios_type_store_free(store);
    return nullptr;
  }
  store->typerefs->root = avl_insert(nullptr, first, compareTyperefs, nullptr);
  if (store->typerefs->root == nullptr) {
    freeTyperef(first, nullptr);
    ios_type_store_free(store);
    return nullptr;
  }
  return store;
}

void ios_type_store_free(IosTypeStore* store) {
  if (store == nullptr) return;
  if (store->typerefs != nullptr) {
    avl_free_tree(store->typerefs->root, freeTyperef, nullptr);
    pool_free(store->typerefs, sizeof(IosTyperefTree));
  }
  if (store->table != nullptr) {
    IdTable* types = store->table->types;
    for (uint32_t id = 1; types != nullptr && id <= types->highest_id; ++id) {
      freeType(static_cast<IosType*>(idtab_get(types, id - 1)));
    }
    idtab_delete(types);
    ios_type_index_free(store->table->index);
    pool_free(store->table, sizeof(IosTypeIdTable));
  }
  pool_free(store, sizeof(IosTypeStore));
}

int ios_get_type_store(IosTypeStore** store, IosErrorCode* error, uint32_t file_id) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr || file->debug_root->type_store == nullptr)
    return ios_unset(error);
  if (store != nullptr) *store = file->debug_root->type_store;
  return 0;
}

int ios_get_type_table(IosTypeIdTable** table, IosErrorCode* error, uint32_t file_id) {
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, file_id);
  if (status != 0) return status;
  if (store->table == nullptr) return ios_unset(error);
  if (table != nullptr) *table = store->table;
  return 0;
}

int ios_type_lookup(const IosTypeIdTable* table, uint32_t type_id, IosType** type,
                    IosErrorCode* error) {
  if (table == nullptr) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (type_id < table->base) return ios_unset(error);
  // An id past the end, or a reserved slot never filled, has no record to read.
  auto* found = static_cast<IosType*>(idtab_get(table->types, type_id - table->base));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (type != nullptr) *type = found;
  return 0;
}

IosTyperef* ios_typeref_new_record(TypeHandle handle, uint32_t kind) {
  auto* typeref = static_cast<IosTyperef*>(pool_alloc(sizeof(IosTyperef)));
  if (typeref == nullptr) return nullptr;
  typeref->state = IOS_TYPEREF_NEW;
  typeref->file_id = handle.file_id;
  typeref->root_id = handle.root_id;
  typeref->typeref_id = handle.type_id;
  typeref->kind = kind;
  if (ios_detail_kind(kind) != nullptr) {
    IosTyperefKindDetail made = ios_typeref_detail_new(kind);
    if (made.detail == nullptr) {
      pool_free(typeref, sizeof(IosTyperef));
      return nullptr;
    }
    typeref->detail = made.detail;
  }
  return typeref;
}

int ios_typetable_add_entry(IosTypeStore* store, uint32_t kind, TypeHandle* typeref,
                            IosErrorCode* error) {
  if (store == nullptr || store->typerefs == nullptr) return 1;
  TypeHandle handle{store->file_id, store->root_id, store->typerefs->last_id + 1};
  IosTyperef* record = ios_typeref_new_record(handle, kind);
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  int inserted = 0;
  AvlNode* root = avl_insert(store->typerefs->root, record, compareTyperefs, &inserted);
  if (!inserted) {
    freeTyperef(record, nullptr);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  store->typerefs->root = root;
  store->typerefs->last_id = handle.type_id;
  if (typeref != nullptr) *typeref = handle;
  return 0;
}

int ios_typeref_find(const IosTyperefTree* tree, uint32_t typeref_id, IosTyperef** found,
                     IosErrorCode* error) {
  if (found != nullptr) *found = nullptr;
  const AvlNode* node = tree == nullptr ? nullptr : tree->root;
  while (node != nullptr) {
    auto* typeref = static_cast<IosTyperef*>(node->data);
    if (typeref_id < typeref->typeref_id) {
      node = node->left;
    } else if (typeref_id > typeref->typeref_id) {
      node = node->right;
    } else {
      if (found != nullptr) *found = typeref;
      return 0;
    }
  }
  return ios_fail(error, IOS_ERR_NO_TYPEREF);
}

int ios_typeref_resolve(TyperefRef reference, IosTyperef** typeref, uint32_t* looked_up,
                        uint32_t file_id, uint32_t, IosErrorCode* error) {
  if (reference.resolved != 0) {
    if (looked_up != nullptr) *looked_up = 0;
    return 0;
  }
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, file_id);
  if (status != 0) return status;
  if (looked_up != nullptr) *looked_up = 1;
  return ios_typeref_find(store->typerefs, reference.id, typeref, error);
}

IosType* ios_typeref_make_entry(IosTyperef* typeref) {
  auto* type = static_cast<IosType*>(pool_alloc(sizeof(IosType)));
  if (type == nullptr) return nullptr;
  type->file_id = typeref->file_id;
  type->root_id = typeref->root_id;
  type->kind = typeref->kind;
  type->detail = typeref->detail;
  typeref->kind = 0;
  typeref->detail = nullptr;
  return type;
}

int ios_typetable_append_entry(IosTypeIdTable* table, IosType* type, uint32_t* type_id,
                               IosErrorCode* error) {
  if (table == nullptr || table->types == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  uint32_t index = table->types->highest_id;
  if (idtab_set(table->types, index, type) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  type->type_id = table->base + index;
  if (type_id != nullptr) *type_id = type->type_id;
  return 0;
}

int ios_typetable_set_entry(IdTable** list, uint32_t index, uint32_t word_a, uint32_t word_b,
                            IosErrorCode* error, uint32_t entry_words) {
  if (*list == nullptr) {
    *list = idtab_new();
    if (*list == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  auto* entry = static_cast<uint32_t*>(idtab_get(*list, index));
  bool made = entry == nullptr;
  if (made) {
    entry = static_cast<uint32_t*>(pool_alloc(entry_words * sizeof(uint32_t)));
    if (entry == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (idtab_set(*list, index, entry) != 0) {
    if (made) pool_free(entry, entry_words * sizeof(uint32_t));
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  entry[0] = word_a;
  entry[1] = word_b;
  return 0;
}

namespace {

// Interning walks references depth first, and a chain of references is as deep as
// the producer makes it, so the walk keeps its own stack of frames instead of the
// machine's: a chain of any length costs memory, never a crash.

// A code the store never writes: the outcome leaves the caller's code alone.
constexpr IosErrorCode kNoCode = static_cast<IosErrorCode>(IOS_ERROR_CODE_COUNT);

struct Outcome {
  int status = 0;
  IosErrorCode code = kNoCode;
};

int report(Outcome outcome, IosErrorCode* error) {
  if (outcome.status != 0 && outcome.code != kNoCode && error != nullptr) *error = outcome.code;
  return outcome.status;
}

Outcome failed(int status, IosErrorCode code) { return Outcome{status, code}; }

// Lists and a function's result type keep their own code: a failure that brought
// none reads as "no memory" there.
Outcome coded(Outcome outcome) {
  if (outcome.status != 0 && outcome.code == kNoCode) outcome.code = IOS_ERR_NO_MEMORY;
  return outcome;
}

enum class Phase : uint8_t { OwnRef, List, Done };

// One typeref whose references are being interned.
struct InternFrame {
  IosTypeIdTable* table = nullptr;  // the table the typeref itself goes to
  IosTyperef* typeref = nullptr;
  int ref_word = -1;        // the kind's own reference, -1 when none
  bool walks_list = false;  // members of structures and unions, parameters
  bool has_immediate = false;
  Outcome immediate;  // a detail that cannot be walked at all
  Phase phase = Phase::OwnRef;
  bool list_started = false;
  uint32_t next = 0;   // list index handled next
  uint32_t count = 0;  // list entries when the walk started
  uint32_t* pending = nullptr;  // the reference the running child's id goes to
  Phase pending_phase = Phase::OwnRef;
  TypeHandle child_result{};
  Outcome own;   // of the kind's own reference
  Outcome list;  // first failure of the list
};

InternFrame detailFrame(IosTypeIdTable* table, IosTyperef* typeref) {
  InternFrame frame;
  frame.table = table;
  frame.typeref = typeref;
  switch (typeref->kind) {
    case IOS_TYPEREF_ENUM:
    case IOS_TYPEREF_BITFIELD:
      frame.phase = Phase::Done;
      break;
    case IOS_TYPEREF_ARRAY:
    case IOS_TYPEREF_POINTER:
    case IOS_TYPEREF_REFERENCE:
    case IOS_TYPEREF_TYPEDEF:
    case IOS_TYPEREF_QUALIFIER:
    case IOS_TYPEREF_MEMBER:
      frame.ref_word = 0;
      break;
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
    case IOS_TYPEREF_FUNCTION:
      if (typeref->detail == nullptr) {
        frame.has_immediate = true;
        frame.immediate = failed(1, IOS_ERR_INTERNAL);
        frame.phase = Phase::Done;
        break;
      }
      frame.ref_word = typeref->kind == IOS_TYPEREF_FUNCTION ? 2 : -1;
      frame.walks_list = true;
      break;
    default:
      frame.has_immediate = true;
      frame.immediate = failed(1, kNoCode);
      frame.phase = Phase::Done;
      break;
  }
  return frame;
}

// A frame that interns only the reference at words 0-1, whatever the kind.
InternFrame singleRefFrame(IosTypeIdTable* table, IosTyperef* typeref) {
  InternFrame frame;
  frame.table = table;
  frame.typeref = typeref;
  frame.ref_word = 0;
  return frame;
}

Outcome detailOutcome(const InternFrame& frame) {
  if (frame.has_immediate) return frame.immediate;
  if (!frame.walks_list) return frame.own;
  if (frame.ref_word >= 0 && frame.own.status != 0) return coded(frame.own);
  return frame.list;
}

void noteListFailure(InternFrame& frame, Outcome outcome) {
  if (outcome.status != 0 && frame.list.status == 0) frame.list = coded(outcome);
}

// Moves the frame on to its next reference that needs a typeref interned: true with
// the typeref and its table; false when the frame's references are done.
bool nextChild(InternFrame& frame, IosTyperef** child, IosTypeIdTable** childTable) {
  IosTyperef* typeref = frame.typeref;
  if (frame.phase == Phase::OwnRef) {
    frame.phase = Phase::List;
    // A missing detail counts as an already resolved reference.
    if (frame.ref_word >= 0 && typeref->detail != nullptr) {
      auto* ref = reinterpret_cast<TyperefRef*>(ios_detail_word(typeref->detail, frame.ref_word));
      if (ref->resolved == 0) {
        IosErrorCode code = kNoCode;
        uint32_t lookedUp = 0;
        IosTyperef* target = nullptr;
        IosTypeIdTable* table = nullptr;
        if (ios_typeref_resolve(*ref, &target, &lookedUp, typeref->file_id, typeref->root_id,
                                &code) != 0) {
          frame.own = failed(1, code);
        } else if (int status = ios_get_type_table(&table, &code, typeref->file_id); status != 0) {
          frame.own = failed(status, code);
        } else {
          frame.pending = reinterpret_cast<uint32_t*>(ref);
          frame.pending_phase = Phase::OwnRef;
          *child = target;
          *childTable = table;
          return true;
        }
      }
    }
  }
  if (frame.phase == Phase::List) {
    IdTable* list = frame.walks_list ? ios_detail_list(typeref->kind, typeref->detail) : nullptr;
    if (!frame.list_started) {
      frame.list_started = true;
      frame.count = listCount(list);
    }
    while (frame.next < frame.count) {
      auto* entry = static_cast<uint32_t*>(idtab_get(list, frame.next++));
      if (entry == nullptr) {
        noteListFailure(frame, failed(-1, IOS_ERR_NO_PROPERTY));
        break;
      }
      if (entry[0] != 0) continue;
      IosErrorCode code = kNoCode;
      IosTypeStore* store = nullptr;
      IosTyperef* member = nullptr;
      int status = ios_get_type_store(&store, &code, typeref->file_id);
      if (status == 0) status = ios_typeref_find(store->typerefs, entry[1], &member, &code);
      if (status != 0) {
        noteListFailure(frame, failed(status, code));
        continue;
      }
      frame.pending = entry;
      frame.pending_phase = Phase::List;
      *child = member;
      *childTable = store->table;
      return true;
    }
    frame.phase = Phase::Done;
  }
  return false;
}

// Hands a child's outcome to the frame that asked for it.
void deliver(InternFrame& frame, Outcome outcome) {
  if (outcome.status == 0) {
    frame.pending[0] = 1;
    frame.pending[1] = frame.child_result.type_id;
  }
  if (frame.pending_phase == Phase::OwnRef) {
    if (outcome.status != 0) frame.own = outcome;
  } else {
    noteListFailure(frame, outcome);
  }
}

// Interning a typeref up to its detail. True when it is finished here (outcome set,
// and *type where the typeref gives one); false when its detail must be walked: the
// typeref is then in progress.
bool beginIntern(IosTypeIdTable* table, IosTyperef* typeref, TypeHandle* type, Outcome* outcome) {
  *outcome = Outcome{};
  if (typeref == nullptr) {
    *outcome = failed(1, IOS_ERR_NO_TYPEREF);
    return true;
  }
  TypeHandle handle{typeref->file_id, typeref->root_id, 0};
  switch (typeref->state) {
    case IOS_TYPEREF_NEW:
      break;
    case IOS_TYPEREF_IN_PROGRESS: {
      // Met again while its own detail is interned: the type is recursive, so it
      // gets its id now and its record later, in the reserved slot.
      typeref->state = IOS_TYPEREF_RESERVED;
      if (table == nullptr || table->types == nullptr) {
        if (type != nullptr) *type = handle;
        *outcome = failed(1, IOS_ERR_NO_MEMORY);
        return true;
      }
      uint32_t index = table->types->highest_id;
      int stored = idtab_set(table->types, index, nullptr);
      typeref->type_id = table->base + index;
      handle.type_id = typeref->type_id;
      if (type != nullptr) *type = handle;
      if (stored != 0) *outcome = failed(1, IOS_ERR_NO_MEMORY);
      return true;
    }
    default:
      handle.type_id = typeref->kind >= 1 && typeref->kind < IOS_TYPEREF_FIRST_COMPOSITE
                           ? typeref->kind
                           : typeref->type_id;
      if (type != nullptr) *type = handle;
      return true;
  }
  if (typeref->kind < IOS_TYPEREF_FIRST_COMPOSITE) {
    typeref->state = IOS_TYPEREF_DONE;
    handle.type_id = typeref->kind;
    if (type != nullptr) *type = handle;
    return true;
  }
  typeref->state = IOS_TYPEREF_IN_PROGRESS;
  return false;
}

// Interning a typeref once its detail is walked: an equal type is reused, else the
// typeref becomes a type of its own.
Outcome finishIntern(IosTypeIdTable* table, IosTyperef* typeref, Outcome detail,
                     TypeHandle* type) {
  TypeHandle handle{typeref->file_id, typeref->root_id, 0};
  uint32_t state = typeref->state;
  typeref->state = IOS_TYPEREF_DONE;
  if (detail.status != 0) return detail;
  if (state == IOS_TYPEREF_IN_PROGRESS) {
    uint32_t equal = table == nullptr ? 0
                                      : ios_type_index_find(table->index, typeref->kind,
                                                            typeref->detail);
    if (equal != 0) {
      typeref->type_id = equal;
      handle.type_id = equal;
      if (type != nullptr) *type = handle;
      return Outcome{};
    }
    IosType* made = ios_typeref_make_entry(typeref);
    if (made == nullptr) return failed(1, IOS_ERR_NO_MEMORY);
    uint32_t typeId = 0;
    IosErrorCode code = kNoCode;
    if (ios_typetable_append_entry(table, made, &typeId, &code) != 0) {
      // The typeref keeps its detail, so nothing is lost or freed twice.
      typeref->kind = made->kind;
      typeref->detail = made->detail;
      pool_free(made, sizeof(IosType));
      return failed(1, code);
    }
    typeref->type_id = typeId;
    handle.type_id = typeId;
    if (type != nullptr) *type = handle;
    // Out of memory here only costs later merges; the type itself stands.
    ios_type_index_add(table->index, made);
    return Outcome{};
  }
  if (state == IOS_TYPEREF_RESERVED) {
    handle.type_id = typeref->type_id;
    if (type != nullptr) *type = handle;
    IosType* made = ios_typeref_make_entry(typeref);
    if (made == nullptr) return failed(1, IOS_ERR_NO_MEMORY);
    made->type_id = typeref->type_id;
    if (table == nullptr ||
        idtab_set(table->types, typeref->type_id - table->base, made) != 0) {
      typeref->kind = made->kind;
      typeref->detail = made->detail;
      pool_free(made, sizeof(IosType));
      return failed(1, IOS_ERR_NO_MEMORY);
    }
    ios_type_index_add(table->index, made);
  }
  return Outcome{};
}

// Walks the references of the frames on the stack, depth first, finishing every
// typeref above the bottom frame; the bottom frame's detail outcome is the result.
Outcome walkDetails(std::vector<InternFrame>& stack) {
  try {
    for (;;) {
      InternFrame& frame = stack.back();
      IosTyperef* child = nullptr;
      IosTypeIdTable* childTable = nullptr;
      if (nextChild(frame, &child, &childTable)) {
        frame.child_result = TypeHandle{};
        Outcome outcome;
        if (beginIntern(childTable, child, &frame.child_result, &outcome))
          deliver(frame, outcome);
        else
          stack.push_back(detailFrame(childTable, child));
        continue;
      }
      Outcome detail = detailOutcome(frame);
      if (stack.size() == 1) return detail;
      IosTypeIdTable* table = frame.table;
      IosTyperef* typeref = frame.typeref;
      stack.pop_back();
      InternFrame& parent = stack.back();
      deliver(parent, finishIntern(table, typeref, detail, &parent.child_result));
    }
  } catch (const std::bad_alloc&) {
    // The typerefs still in progress end as failed, as any failing detail does.
    for (size_t i = 1; i < stack.size(); ++i) stack[i].typeref->state = IOS_TYPEREF_DONE;
    return failed(1, IOS_ERR_NO_MEMORY);
  }
}

Outcome walkFrame(InternFrame frame) {
  std::vector<InternFrame> stack;
  try {
    stack.reserve(16);
    stack.push_back(frame);
  } catch (const std::bad_alloc&) {
    return failed(1, IOS_ERR_NO_MEMORY);
  }
  return walkDetails(stack);
}

int internSingleRef(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  if (typeref == nullptr) return ios_fail(error, IOS_ERR_NO_TYPEREF);
  return report(walkFrame(singleRefFrame(table, typeref)), error);
}

}  // namespace

int ios_typeref_intern(IosTypeIdTable* table, IosTyperef* typeref, TypeHandle* type,
                       IosErrorCode* error) {
  Outcome outcome;
  if (beginIntern(table, typeref, type, &outcome)) return report(outcome, error);
  Outcome detail = walkFrame(detailFrame(table, typeref));
  return report(finishIntern(table, typeref, detail, type), error);
}

int ios_typeref_intern_by_id(TypeHandle* type, IosErrorCode* error, uint32_t file_id, uint32_t,
                             uint32_t typeref_id) {
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, file_id);
  if (status != 0) return status;
  IosTyperef* typeref = nullptr;
  if (ios_typeref_find(store->typerefs, typeref_id, &typeref, error) != 0) return 1;
  return ios_typeref_intern(store->table, typeref, type, error);
}

int ios_array_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}
int ios_pointer_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}
int ios_reference_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}
int ios_typedef_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}
int ios_qualifier_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}
int ios_member_intern_ref(IosTypeIdTable* table, IosTyperef* typeref, IosErrorCode* error) {
  return internSingleRef(table, typeref, error);
}

int ios_typeref_intern_detail(IosTypeIdTable* table, IosTyperef* typeref,
                              IosErrorCode* error) {
  if (typeref == nullptr) return ios_fail(error, IOS_ERR_NO_TYPEREF);
  return report(walkFrame(detailFrame(table, typeref)), error);
}

int ios_string_ids_equal(uint32_t file_a, uint32_t string_a, uint32_t file_b, uint32_t string_b) {
  std::string_view a, b;
  bool hasA = nameText(file_a, string_a, &a);
  bool hasB = nameText(file_b, string_b, &b);
  if (!hasA || !hasB) return hasA == hasB;
  return a == b;
}

int ios_pair_equal(const uint32_t* a, const uint32_t* b) {
  return a != nullptr && b != nullptr && a[0] == b[0] && a[1] == b[1];
}

int ios_ref_equal(const TyperefRef* a, const TyperefRef* b) {
  return a != nullptr && b != nullptr && a->id == b->id && a->resolved == b->resolved;
}

int ios_pointer_equal(void* a, void* b) {
  return a != nullptr && b != nullptr && wordsEqual(a, b, {0, 1, 2, 3});
}

int ios_typedef_equal(void* a, void* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return wordsEqual(a, b, {0, 1}) && namesEqual(a, b, 2);
}

int ios_struct_equal(void* a, void* b) { return structLikeEqual(IOS_TYPEREF_STRUCTURE, a, b); }
int ios_union_equal(void* a, void* b) { return structLikeEqual(IOS_TYPEREF_UNION, a, b); }

int ios_qualifier_equal(void* a, void* b) {
  return a != nullptr && b != nullptr && wordsEqual(a, b, {0, 1, 2, 3});
}

int ios_member_equal(void* a, void* b) {
  return a != nullptr && b != nullptr && wordsEqual(a, b, {6, 5, 4, 0, 1}) && namesEqual(a, b, 2);
}

int ios_array_detail_equal(void* a, void* b) {
  return a != nullptr && b != nullptr && wordsEqual(a, b, {0, 1}) &&
         listsEqual(ios_detail_list(IOS_TYPEREF_ARRAY, a), ios_detail_list(IOS_TYPEREF_ARRAY, b),
                    2);
}

int ios_enum_detail_equal(void* a, void* b) {
  if (a == nullptr || b == nullptr) return 0;
  if (!wordsEqual(a, b, {2}) || !namesEqual(a, b, 0)) return 0;
  IdTable* listA = ios_detail_list(IOS_TYPEREF_ENUM, a);
  IdTable* listB = ios_detail_list(IOS_TYPEREF_ENUM, b);
  uint32_t count = listCount(listA);
  if (count != listCount(listB)) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t* x = listEntry(listA, i);
    const uint32_t* y = listEntry(listB, i);
    if (x == nullptr || y == nullptr) {
      if (x != y) return 0;
      continue;
    }
    if (!ios_string_ids_equal(x[0], x[1], y[0], y[1]) || x[2] != y[2]) return 0;
  }
  return 1;
}

int ios_functype_detail_equal(void* a, void* b) {
  return a != nullptr && b != nullptr && wordsEqual(a, b, {2, 3}) && namesEqual(a, b, 0) &&
         wordsEqual(a, b, {4}) &&
         listsEqual(ios_detail_list(IOS_TYPEREF_FUNCTION, a),
                    ios_detail_list(IOS_TYPEREF_FUNCTION, b), 2);
}

int ios_typeref_equal(uint32_t kind_a, void* detail_a, uint32_t kind_b, void* detail_b) {
  if (kind_a != kind_b) return 0;
  if (kind_a < IOS_TYPEREF_FIRST_COMPOSITE) return 1;
  switch (kind_a) {
    case IOS_TYPEREF_ARRAY:
      return ios_array_detail_equal(detail_a, detail_b);
    case IOS_TYPEREF_ENUM:
      return ios_enum_detail_equal(detail_a, detail_b);
    case IOS_TYPEREF_POINTER:
      return ios_pointer_equal(detail_a, detail_b);
    case IOS_TYPEREF_REFERENCE:
      return detail_a != nullptr && detail_b != nullptr && wordsEqual(detail_a, detail_b, {0, 1});
    case IOS_TYPEREF_TYPEDEF:
      return ios_typedef_equal(detail_a, detail_b);
    case IOS_TYPEREF_STRUCTURE:
      return ios_struct_equal(detail_a, detail_b);
    case IOS_TYPEREF_UNION:
      return ios_union_equal(detail_a, detail_b);
    case IOS_TYPEREF_FUNCTION:
      return ios_functype_detail_equal(detail_a, detail_b);
    case IOS_TYPEREF_QUALIFIER:
      return ios_qualifier_equal(detail_a, detail_b);
    case IOS_TYPEREF_MEMBER:
      return ios_member_equal(detail_a, detail_b);
    case IOS_TYPEREF_BITFIELD:
      return detail_a != nullptr && detail_b != nullptr && wordsEqual(detail_a, detail_b, {0, 1});
    default:
      return 0;
  }
}

namespace {

// FNV-1a over 32-bit words and text: cheap and spreads small ids well enough.
struct StructureHash {
  uint64_t value = 14695981039346656037ull;

  void byte(uint8_t b) {
    value ^= b;
    value *= 1099511628211ull;
  }
  void word(uint32_t w) {
    for (int shift = 0; shift < 32; shift += 8) byte(static_cast<uint8_t>(w >> shift));
  }
  void words(void* detail, std::initializer_list<int> indices) {
    for (int i : indices) word(*ios_detail_word(detail, i));
  }
  // By text, as names compare; a name without text (no string, or a string whose
  // text is null) is absent and hashes as a marker of its own.
  void name(uint32_t file_id, uint32_t string_id) {
    std::string_view text;
    if (!nameText(file_id, string_id, &text)) {
      word(0xFFFFFFFFu);
      return;
    }
    byte(1);
    for (char c : text) byte(static_cast<uint8_t>(c));
    byte(0);
  }
  void nameAt(void* detail, int index) {
    name(*ios_detail_word(detail, index), *ios_detail_word(detail, index + 1));
  }
  // The first `compared` words of every entry; an empty slot is a marker.
  void list(const IdTable* list, uint32_t compared) {
    uint32_t count = listCount(list);
    word(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t* entry = listEntry(list, i);
      byte(entry == nullptr ? 0 : 1);
      for (uint32_t w = 0; entry != nullptr && w < compared; ++w) word(entry[w]);
    }
  }
};

}  // namespace

uint64_t ios_typeref_hash(uint32_t kind, void* detail) {
  StructureHash hash;
  hash.word(kind);
  if (kind < IOS_TYPEREF_FIRST_COMPOSITE || detail == nullptr) return hash.value;
  switch (kind) {
    case IOS_TYPEREF_ARRAY:
      hash.words(detail, {0, 1});
      hash.list(ios_detail_list(kind, detail), 2);
      break;
    case IOS_TYPEREF_ENUM: {
      hash.words(detail, {2});
      hash.nameAt(detail, 0);
      IdTable* list = ios_detail_list(kind, detail);
      uint32_t count = listCount(list);
      hash.word(count);
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t* entry = listEntry(list, i);
        hash.byte(entry == nullptr ? 0 : 1);
        if (entry == nullptr) continue;
        hash.name(entry[0], entry[1]);
        hash.word(entry[2]);
      }
      break;
    }
    case IOS_TYPEREF_POINTER:
    case IOS_TYPEREF_QUALIFIER:
      hash.words(detail, {0, 1, 2, 3});
      break;
    case IOS_TYPEREF_REFERENCE:
    case IOS_TYPEREF_BITFIELD:
      hash.words(detail, {0, 1});
      break;
    case IOS_TYPEREF_TYPEDEF:
      hash.words(detail, {0, 1});
      hash.nameAt(detail, 2);
      break;
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      hash.words(detail, {0});
      hash.nameAt(detail, 1);
      hash.list(ios_detail_list(kind, detail), 2);
      break;
    case IOS_TYPEREF_FUNCTION:
      hash.words(detail, {2, 3, 4});
      hash.nameAt(detail, 0);
      hash.list(ios_detail_list(kind, detail), 2);
      break;
    case IOS_TYPEREF_MEMBER:
      hash.words(detail, {0, 1, 4, 5, 6});
      hash.nameAt(detail, 2);
      break;
    default:
      break;
  }
  return hash.value;
}
