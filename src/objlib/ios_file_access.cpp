#include "objlib/ios_file_access.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_named_list.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeindex.h"

namespace {

// Texts take whole words from the size-class pools, as the string table frees them.
size_t textBlockSize(uint32_t length) { return (size_t{length} + 3) / 4 * 4; }

IosFile* fileOf(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  return file;
}

int stored(const IosHandle& property, IosHandle* string, IosErrorCode* error) {
  if (property.object_id < 1) return ios_unset(error);
  if (string != nullptr) *string = property;
  return 0;
}

int sectionAt(IdTable* table, uint32_t file_id, uint32_t index, IosHandle* section,
              IosErrorCode* error) {
  if (table == nullptr || index >= table->highest_id) return ios_fail(error, IOS_ERR_NO_SECTION);
  // The table holds the section records in the order they were made.
  auto* record = static_cast<const IosSection*>(table->slots[index]);
  if (record == nullptr || record->handle.object_id < 1) return ios_fail(error, IOS_ERR_NO_SECTION);
  if (section != nullptr) *section = IosHandle{file_id, record->handle.object_id};
  return 0;
}

int addString(uint32_t file_id, const void* bytes, uint32_t length, IosHandle* string,
              IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  IosStringTable* table = file->strtab;
  if (table == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  char* text = nullptr;
  if (length != 0) {
    text = static_cast<char*>(pool_alloc(textBlockSize(length)));
    if (text == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    std::memset(text, 0, textBlockSize(length));
    if (bytes != nullptr) std::memcpy(text, bytes, length);
  }
  auto* record = static_cast<IosString*>(pool_alloc_block(table->pool));
  uint32_t id = idtab_next_id(table->strings);
  if (record == nullptr || idtab_set(table->strings, id - 1, record) != 0) {
    if (record != nullptr) pool_free_block(record, table->pool);
    pool_free(text, textBlockSize(length));
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *record = IosString{IosHandle{file_id, id}, length, false, text};
  if (string != nullptr) *string = record->handle;
  return 0;
}

}  // namespace

int ios_file_get_string(uint32_t file_id, uint32_t property, IosHandle* string,
                        IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (property < 1 || property > IOS_FILE_STRING_COUNT) return ios_fail(error, IOS_ERR_INTERNAL);
  return stored(file->strings[property - 1], string, error);
}

int ios_file_get_string1(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 1, string, error);
}
int ios_file_get_string2(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 2, string, error);
}
int ios_file_get_string4(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 4, string, error);
}
int ios_file_get_string5(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 5, string, error);
}
int ios_file_get_string6(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 6, string, error);
}
int ios_file_get_string7(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 7, string, error);
}
int ios_file_get_string8(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 8, string, error);
}
int ios_file_get_string9(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return ios_file_get_string(file_id, 9, string, error);
}

int ios_file_get_version_string(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  return file == nullptr ? 1 : stored(file->version_string, string, error);
}

int ios_file_set_string10(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (string.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  file->string10 = string;
  return 0;
}

int ios_file_get_string10(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  return file == nullptr ? 1 : stored(file->string10, string, error);
}

int ios_file_get_mode(uint32_t file_id, uint32_t* mode, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (file->mode_word == 0) return ios_unset(error);
  if (mode != nullptr) *mode = file->mode_word;
  return 0;
}

int ios_file_get_aux_word(uint32_t file_id, uint32_t* word, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (file->aux_word == 0) return -1;
  if (word != nullptr) *word = file->aux_word;
  return 0;
}

int ios_file_get_word41(uint32_t file_id, uint32_t* word, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (file->section_flag == 0) return ios_unset(error);
  if (word != nullptr) *word = file->section_flag;
  return 0;
}

int ios_file_get_strtab(uint32_t file_id, IosStringTable** table, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (table != nullptr) *table = file->strtab;
  return 0;
}

int ios_file_get_debug_root_record(uint32_t file_id, IosDebugRoot** root, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (file->debug_root == nullptr) return ios_unset(error);
  if (root != nullptr) *root = file->debug_root;
  return 0;
}

int ios_file_get_named_lists(uint32_t file_id, IosNamedListAdmin** admin, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (admin != nullptr) *admin = file->named_lists;
  return 0;
}

int ios_file_free_debug_root(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  ios_debug_root_free(file->debug_root);
  file->debug_root = nullptr;
  return 0;
}

int ios_file_section_at(uint32_t file_id, uint32_t index, IosHandle* section, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  return file == nullptr ? 1 : sectionAt(file->file_table1, file_id, index, section, error);
}

int ios_file_section2_at(uint32_t file_id, uint32_t index, IosHandle* section,
                         IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  return file == nullptr ? 1 : sectionAt(file->file_table2, file_id, index, section, error);
}

int ios_file_section_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (count != nullptr) *count = file->file_table1 != nullptr ? file->file_table1->highest_id : 0;
  return 0;
}

int ios_file_section2_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (count != nullptr) *count = file->file_table2 != nullptr ? file->file_table2->highest_id : 0;
  return 0;
}

int ios_file_start_section_order(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  file->section_flag = 1;
  idtab_clear(file->file_table1);
  idtab_clear(file->file_table2);
  return 0;
}

int ios_file_clear_section_order_flag(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  file->section_flag = 0;
  return 0;
}

int ios_string_text_of(IosHandle string, const char** text, IosErrorCode* error) {
  IosString* record = nullptr;
  if (ios_get_string(string, &record, error) != 0) return 1;
  if (record->text == nullptr) return ios_unset(error);
  if (text != nullptr) *text = record->text;
  return 0;
}

int ios_string_take_text(IosHandle string, char** text, uint32_t* length, IosErrorCode* error) {
  IosString* record = nullptr;
  if (ios_get_string(string, &record, error) != 0) return 1;
  if (record->text == nullptr) return ios_unset(error);
  if (text == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (record->borrowed) {
    // The caller takes a text the table owns: a borrowed one is copied for it.
    auto* copy = static_cast<char*>(pool_alloc(textBlockSize(record->length)));
    if (copy == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    std::memcpy(copy, record->text, record->length);
    *text = copy;
  } else {
    *text = const_cast<char*>(record->text);
  }
  if (length != nullptr) *length = record->length;
  record->borrowed = false;
  record->text = nullptr;
  record->length = 0;
  ios_type_text_changed();
  return 0;
}

int ios_string_set_text(IosHandle string, char* text, uint32_t length, IosErrorCode* error) {
  IosString* record = nullptr;
  if (ios_get_string(string, &record, error) != 0) return 1;
  if (record->text != nullptr || text == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  record->borrowed = false;
  record->text = text;
  record->length = length;
  ios_type_text_changed();
  return 0;
}

void ios_string_text_free(char* text, uint32_t length) {
  if (text != nullptr) pool_free(text, textBlockSize(length));
}

int ios_string_at(uint32_t file_id, uint32_t index, IosHandle* string, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (file->strtab == nullptr || idtab_get(file->strtab->strings, index) == nullptr)
    return ios_fail(error, IOS_ERR_NO_STRING);
  if (string != nullptr) *string = IosHandle{file_id, index + 1};
  return 0;
}

int ios_strtab_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = fileOf(file_id, error);
  if (file == nullptr) return 1;
  if (count != nullptr) *count = file->strtab != nullptr ? file->strtab->strings->highest_id : 0;
  return 0;
}

int ios_strtab_add_bytes(uint32_t file_id, const void* bytes, uint32_t length, IosHandle* string,
                         IosErrorCode* error) {
  if (length != 0 && bytes == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return addString(file_id, bytes, length, string, error);
}

int ios_strtab_reserve(uint32_t file_id, uint32_t length, IosHandle* string, IosErrorCode* error) {
  return addString(file_id, nullptr, length, string, error);
}

void ios_strtab_free(IosStringTable* table) { ios_strtab_delete(table); }

void ios_heap_free(void* block) { std::free(block); }

void ios_plain_admin_free(IosDebugFamily* admin) { ios_free_record_admin(admin, nullptr); }

void ios_admin_free() { ios_admin_release(); }
