#include "objlib/ios_typeindex.h"

#include <new>
#include <unordered_map>
#include <utility>

#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_typestore.h"

struct IosTypeIndex {
  std::unordered_multimap<uint64_t, IosType*> by_hash;
  // The hash each detail is filed under now, to find its old place on a change.
  std::unordered_map<const void*, std::pair<uint64_t, IosType*>> by_detail;
};

namespace {

void unfile(IosTypeIndex* index, uint64_t hash, const IosType* type) {
  auto [first, last] = index->by_hash.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    if (it->second == type) {
      index->by_hash.erase(it);
      return;
    }
  }
}

IosTypeIndex* indexOfFile(uint32_t file_id) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, nullptr) != 0 || file->debug_root == nullptr) return nullptr;
  IosTypeStore* store = file->debug_root->type_store;
  if (store == nullptr || store->table == nullptr) return nullptr;
  return store->table->index;
}

// Files every type whose hash changed under its new hash.
void refileAll(IosTypeIndex* index) {
  for (auto held = index->by_detail.begin(); held != index->by_detail.end();) {
    auto& [hash, type] = held->second;
    uint64_t now = ios_typeref_hash(type->kind, type->detail);
    if (now == hash) {
      ++held;
      continue;
    }
    unfile(index, hash, type);
    hash = now;
    try {
      index->by_hash.emplace(now, type);
      ++held;
    } catch (const std::bad_alloc&) {
      // As in ios_type_detail_changed: the type is only no longer merged.
      held = index->by_detail.erase(held);
    }
  }
}

}  // namespace

IosTypeIndex* ios_type_index_new() { return new (std::nothrow) IosTypeIndex(); }

void ios_type_index_free(IosTypeIndex* index) { delete index; }

int ios_type_index_add(IosTypeIndex* index, IosType* type) {
  if (index == nullptr || type == nullptr) return 1;
  uint64_t hash = ios_typeref_hash(type->kind, type->detail);
  try {
    index->by_hash.emplace(hash, type);
    if (type->detail != nullptr) index->by_detail[type->detail] = {hash, type};
  } catch (const std::bad_alloc&) {
    unfile(index, hash, type);
    return 1;
  }
  return 0;
}

uint32_t ios_type_index_find(const IosTypeIndex* index, uint32_t kind, void* detail) {
  if (index == nullptr) return 0;
  uint32_t found = 0;
  auto [first, last] = index->by_hash.equal_range(ios_typeref_hash(kind, detail));
  for (auto it = first; it != last; ++it) {
    IosType* candidate = it->second;
    if ((found == 0 || candidate->type_id < found) &&
        ios_typeref_equal(candidate->kind, candidate->detail, kind, detail))
      found = candidate->type_id;
  }
  return found;
}

void ios_type_detail_changed(void* detail) {
  if (detail == nullptr) return;
  uint32_t files = ios_admin_file_count(nullptr);
  for (uint32_t i = 0; i < files; ++i) {
    uint32_t file_id = 0;
    if (ios_admin_file_id_at(i, &file_id, nullptr) != 0) continue;
    IosTypeIndex* index = indexOfFile(file_id);
    if (index == nullptr) continue;
    auto held = index->by_detail.find(detail);
    if (held == index->by_detail.end()) continue;
    auto& [hash, type] = held->second;
    uint64_t now = ios_typeref_hash(type->kind, detail);
    if (now == hash) return;
    unfile(index, hash, type);
    hash = now;
    try {
      index->by_hash.emplace(now, type);
    } catch (const std::bad_alloc&) {
      // A type missing from the index is only not merged with later equal ones;
      // the table itself stays whole.
      index->by_detail.erase(held);
    }
    return;
  }
}

void ios_type_text_changed() {
  uint32_t files = ios_admin_file_count(nullptr);
  for (uint32_t i = 0; i < files; ++i) {
    uint32_t file_id = 0;
    if (ios_admin_file_id_at(i, &file_id, nullptr) != 0) continue;
    if (IosTypeIndex* index = indexOfFile(file_id)) refileAll(index);
  }
}
