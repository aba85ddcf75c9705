// The records of the writer that stand for types: one T variable per IEEE-695 type
// index, found by index or by the store's type id. References to types in encoded
// expressions and TY items go through them.
#include <algorithm>

#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_debuginfo.h"
#include "objlib/ios_typequery.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

constexpr uint32_t LETTER_T = 0xD4;
constexpr uint64_t FIRST_OWN_TYPE_INDEX = 256;
constexpr uint64_t FIRST_BUILTIN_POINTER = 32;
constexpr uint64_t LAST_BUILTIN_POINTER = 57;

// The format's built-in type index (0-255) to the store's built-in type code. Indexes
// 32 to 57 are pointers to the built-in type of the index less 32.
constexpr uint8_t builtin_kind(uint64_t index) {
  constexpr uint8_t kKinds[72] = {0,  1,  8,  9,  11, 12, 17, 18, 20, 21, 22, 23, 24, 42, 43, 44, 13, 15,
                                  15, 7,  16, 10, 12, 10, 11, 25, 4,  5,  6,  0,  0,  0,  0,  0,  0,  0,
                                  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                  0,  0,  0,  0,  29, 30, 31, 32, 33, 34, 35, 40, 41, 38, 36, 37, 39, 3};
  return index < 72 ? kKinds[index] : 0;
}

bool same_type(const IeeeTypeRecord* record, TypeHandle type) {
  return record != nullptr && record->type.file_id == type.file_id && record->type.root_id == type.root_id &&
         record->type.type_id == type.type_id;
}

IeeeTypeRecord* remember(IeeeWriter* writer, IeeeTypeRecord* record) {
  if (record != nullptr) writer->current_type_record = record;
  return record;
}

// The kind of a type as the built-in map sees it: a code below 128 as it is, a
// pointer by what it points to, anything else by its typeref kind.
uint32_t type_kind(TypeHandle type) {
  if (type.type_id < IOS_FIRST_TYPE_ID) return type.type_id;
  IosTypeIdTable* table = nullptr;
  IosType* found = nullptr;
  if (ios_get_type_table(&table, nullptr, type.file_id) != 0 ||
      ios_type_lookup(table, type.type_id, &found, nullptr) != 0 || found == nullptr) {
    return IOS_FIRST_TYPE_ID;
  }
  if (found->kind != IOS_TYPEREF_POINTER) return found->kind;
  TypeHandle target{};
  if (ios_pointer_get_target(type.file_id, type.root_id, type.type_id, &target, nullptr) != 0) {
    return IOS_FIRST_TYPE_ID;
  }
  return target.type_id < IOS_FIRST_TYPE_ID ? target.type_id : IOS_FIRST_TYPE_ID;
}

}  // namespace

IeeeTypeRecord* ieee_type_record_at(IeeeWriter* writer, int64_t index, uint32_t first, uint32_t second,
                                    uint32_t third) {
  if (writer == nullptr) return nullptr;
  auto key = static_cast<uint64_t>(index);
  IeeeTypeRecord* record = nullptr;
  auto found = writer->type_records_by_index.find(key);
  if (found != writer->type_records_by_index.end()) {
    record = found->second;
  } else {
    auto made = std::make_unique<IeeeTypeRecord>();
    record = made.get();
    // The list owns the records, so a record given new words keeps its one place.
    writer->type_records.push_back(std::move(made));
    writer->type_records_by_index.emplace(key, record);
  }
  *record = IeeeTypeRecord{LETTER_T, key, TypeHandle{first, second, third}, 0};
  return record;
}

IeeeTypeRecord* ieee_new_type_record(IeeeWriter* writer, uint64_t index, TypeHandle type) {
  if (writer == nullptr) return nullptr;
  IeeeTypeRecord* current = writer->current_type_record;
  if (current != nullptr && current->index == index) return current;
  auto found = writer->type_records_by_index.find(index);
  if (found != writer->type_records_by_index.end()) return remember(writer, found->second);
  TypeHandle stands_for = type;
  uint32_t pointee = 0;
  if (index < FIRST_OWN_TYPE_INDEX) {
    if (index >= FIRST_BUILTIN_POINTER && index <= LAST_BUILTIN_POINTER) {
      stands_for.type_id = IOS_TYPEREF_POINTER;
      pointee = builtin_kind(index - FIRST_BUILTIN_POINTER);
    } else {
      stands_for.type_id = builtin_kind(index);
    }
  }
  IeeeTypeRecord* record = ieee_type_record_at(writer, static_cast<int64_t>(index), stands_for.file_id,
                                               stands_for.root_id, stands_for.type_id);
  if (record == nullptr) return nullptr;
  record->pointee = pointee;
  writer->type_records_by_id.emplace(stands_for.type_id, record);
  return remember(writer, record);
}

IeeeTypeRecord* ieee_find_type_record(IeeeWriter* writer, TypeHandle type) {
  if (writer == nullptr) return nullptr;
  if (same_type(writer->current_type_record, type)) return writer->current_type_record;
  auto found = writer->type_records_by_id.find(type.type_id);
  if (found != writer->type_records_by_id.end() && type.type_id >= IOS_FIRST_TYPE_ID) {
    return remember(writer, found->second);
  }
  // The file's own types keep the index the preparation gave them.
  auto own = writer->type_indexes.find(type.type_id);
  if (type.type_id >= IOS_FIRST_TYPE_ID && own != writer->type_indexes.end()) {
    return ieee_new_type_record(writer, own->second, type);
  }
  uint32_t kind = type_kind(type);
  if (kind >= IOS_FIRST_TYPE_ID) return nullptr;
  uint64_t index = ieee_find_type_index(writer, TypeHandle{type.file_id, type.root_id, kind});
  return ieee_new_type_record(writer, index, type);
}
