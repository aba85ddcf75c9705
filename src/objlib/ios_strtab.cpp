#include "objlib/ios_strtab.h"

#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

// Texts take whole words from the size-class pools.
size_t textBlockSize(uint32_t length) { return (size_t{length} + 3) / 4 * 4; }

}  // namespace

IosStringTable* ios_strtab_new(uint32_t file_id) {
  auto* table = static_cast<IosStringTable*>(pool_alloc(sizeof(IosStringTable)));
  if (table == nullptr) return nullptr;
  table->file_id = file_id;
  table->pool = pool_create(sizeof(IosString));
  table->strings = idtab_new();
  if (table->pool == nullptr || table->strings == nullptr) {
    ios_strtab_delete(table);
    return nullptr;
  }
  return table;
}

void ios_strtab_delete(IosStringTable* table) {
  if (table == nullptr) return;
  if (table->strings != nullptr) {
    for (uint32_t id = 1; id <= table->strings->highest_id; ++id) {
      auto* record = static_cast<IosString*>(idtab_get(table->strings, id - 1));
      if (record != nullptr && !record->borrowed)
        pool_free(const_cast<char*>(record->text), textBlockSize(record->length));
    }
    idtab_delete(table->strings);
  }
  pool_destroy(table->pool);
  pool_free(table, sizeof(IosStringTable));
}

namespace {

int addString(uint32_t file_id, const char* text, bool borrow, IosHandle* string, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosStringTable* table = file->strtab;
  if (table == nullptr || text == nullptr || string == nullptr) {
    return ios_fail(error, IOS_ERR_INTERNAL);
  }
  size_t length = std::strlen(text) + 1;
  if (length > UINT32_MAX) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  auto* record = static_cast<IosString*>(pool_alloc_block(table->pool));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  uint32_t id = idtab_next_id(table->strings);
  *record = IosString{IosHandle{file_id, id}, static_cast<uint32_t>(length), borrow, nullptr};
  if (idtab_set(table->strings, id - 1, record) != 0) {
    pool_free_block(record, table->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (borrow) {
    record->text = text;
    *string = record->handle;
    return 0;
  }
  auto* copy = static_cast<char*>(pool_alloc(textBlockSize(record->length)));
  if (copy == nullptr) {
    // The record is already entered; take it out again rather than leave a string
    // without text behind.
    idtab_set(table->strings, id - 1, nullptr);
    pool_free_block(record, table->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  std::memcpy(copy, text, length);
  record->text = copy;
  *string = record->handle;
  return 0;
}

}  // namespace

int ios_strtab_add(uint32_t file_id, const char* text, IosHandle* string, IosErrorCode* error) {
  return addString(file_id, text, false, string, error);
}

int ios_strtab_add_borrowed(uint32_t file_id, const char* text, IosHandle* string, IosErrorCode* error) {
  return addString(file_id, text, true, string, error);
}

int ios_get_string(IosHandle string, IosString** record, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(string.file_id, &file, error) != 0) return 1;
  if (file->strtab == nullptr) return ios_fail(error, IOS_ERR_NO_STRING);
  auto* found = static_cast<IosString*>(idtab_get(file->strtab->strings, string.object_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_STRING);
  if (record != nullptr) *record = found;
  return 0;
}

int ios_string_get_text(IosHandle string, const char** text, IosErrorCode* error) {
  IosString* record = nullptr;
  if (ios_get_string(string, &record, error) != 0) return 1;
  if (record->text == nullptr) return ios_unset(error);
  if (text != nullptr) *text = record->text;
  return 0;
}
