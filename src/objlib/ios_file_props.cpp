#include "objlib/ios_file_props.h"

#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_pool.h"

namespace {

int setString(uint32_t file_id, IosHandle IosFile::*property, IosHandle string,
              IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (string.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  file->*property = string;
  return 0;
}

int setIndexedString(uint32_t file_id, uint32_t index, IosHandle string, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (string.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  file->strings[index] = string;
  return 0;
}

int getStoredString(const IosHandle& stored, IosHandle* string, IosErrorCode* error) {
  if (stored.object_id < 1) return ios_unset(error);
  if (string != nullptr) *string = stored;
  return 0;
}

int getString(uint32_t file_id, IosHandle IosFile::*property, IosHandle* string,
              IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  return getStoredString(file->*property, string, error);
}

int setWord(uint32_t file_id, uint32_t IosFile::*word, uint32_t value, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  file->*word = value;
  return 0;
}

}  // namespace

int ios_file_set_string1(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 0, string, error);
}
int ios_file_set_string2(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 1, string, error);
}
int ios_file_set_string3(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 2, string, error);
}
int ios_file_set_string4(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 3, string, error);
}
int ios_file_set_string5(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 4, string, error);
}
int ios_file_set_string6(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 5, string, error);
}
int ios_file_set_string7(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 6, string, error);
}
int ios_file_set_string8(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 7, string, error);
}
int ios_file_set_string9(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setIndexedString(file_id, 8, string, error);
}
int ios_file_set_version_string(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::version_string, string, error);
}
int ios_file_set_tool_name(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::tool_name, string, error);
}
int ios_file_set_tool_version(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::tool_version, string, error);
}
int ios_file_set_tool_invocation(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::tool_invocation, string, error);
}
int ios_file_set_compiler_name(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::compiler_name, string, error);
}
int ios_file_set_compiler_version(uint32_t file_id, IosHandle string, IosErrorCode* error) {
  return setString(file_id, &IosFile::compiler_version, string, error);
}
int ios_file_set_compiler_invocation(uint32_t file_id, IosHandle string,
                                     IosErrorCode* error) {
  return setString(file_id, &IosFile::compiler_invocation, string, error);
}

int ios_file_get_string3(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  return getStoredString(file->strings[2], string, error);
}
int ios_file_get_tool_name(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return getString(file_id, &IosFile::tool_name, string, error);
}
int ios_file_get_tool_version(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return getString(file_id, &IosFile::tool_version, string, error);
}
int ios_file_get_tool_invocation(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return getString(file_id, &IosFile::tool_invocation, string, error);
}
int ios_file_get_compiler_name(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return getString(file_id, &IosFile::compiler_name, string, error);
}
int ios_file_get_compiler_version(uint32_t file_id, IosHandle* string, IosErrorCode* error) {
  return getString(file_id, &IosFile::compiler_version, string, error);
}
int ios_file_get_compiler_invocation(uint32_t file_id, IosHandle* string,
                                     IosErrorCode* error) {
  return getString(file_id, &IosFile::compiler_invocation, string, error);
}

int ios_file_set_mau_size(uint32_t file_id, uint32_t bits, IosErrorCode* error) {
  return setWord(file_id, &IosFile::mau_size, bits, error);
}
int ios_file_set_aux_word(uint32_t file_id, uint32_t value, IosErrorCode* error) {
  return setWord(file_id, &IosFile::aux_word, value, error);
}
int ios_file_set_byte_order(uint32_t file_id, uint32_t byte_order, IosErrorCode* error) {
  return setWord(file_id, &IosFile::byte_order, byte_order, error);
}
int ios_file_set_little_endian(uint32_t file_id, IosErrorCode* error) {
  return setWord(file_id, &IosFile::byte_order, IOS_BYTE_ORDER_LITTLE, error);
}
int ios_file_set_big_endian(uint32_t file_id, IosErrorCode* error) {
  return setWord(file_id, &IosFile::byte_order, IOS_BYTE_ORDER_BIG, error);
}
int ios_file_set_kind_word(uint32_t file_id, IosErrorCode* error) {
  return setWord(file_id, &IosFile::kind_word, 3, error);
}
int ios_file_set_kind(uint32_t file_id, uint32_t kind, IosErrorCode* error) {
  return setWord(file_id, &IosFile::kind_word, kind, error);
}
int ios_file_set_flag_one(uint32_t file_id, IosErrorCode* error) {
  return setWord(file_id, &IosFile::mode_word, IOS_MODE_ABSOLUTE, error);
}
int ios_file_set_flag_two(uint32_t file_id, IosErrorCode* error) {
  return setWord(file_id, &IosFile::mode_word, IOS_MODE_RELOCATABLE, error);
}
int ios_file_set_mode_word(uint32_t file_id, uint32_t mode, IosErrorCode* error) {
  return setWord(file_id, &IosFile::mode_word, mode, error);
}

int ios_file_set_misrac_text(uint32_t file_id, const char* text, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (text != nullptr && text[0] == '\0') return ios_fail(error, IOS_ERR_INVALID_MISRAC);
  char* copy = nullptr;
  if (text != nullptr) {
    size_t size = std::strlen(text) + 1;
    copy = static_cast<char*>(pool_alloc(size));
    if (copy == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    std::memcpy(copy, text, size);
  }
  if (file->misrac_text != nullptr) {
    pool_free(file->misrac_text, std::strlen(file->misrac_text) + 1);
  }
  file->misrac_text = copy;
  return 0;
}

int ios_file_get_misrac_text(uint32_t file_id, const char** text, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->misrac_text == nullptr) return ios_unset(error);
  if (text != nullptr) *text = file->misrac_text;
  return 0;
}

const char* ios_byte_order_text(uint32_t byte_order, uint32_t letter_case) {
  static const char* const TEXTS[3][3] = {
      {"unknown", "little", "big"},
      {"UNKNOWN", "LITTLE", "BIG"},
      {"Unknown", "Little", "Big"},
  };
  if (letter_case > IOS_CASE_CAPITALISED) letter_case = IOS_CASE_LOWER;
  if (byte_order > IOS_BYTE_ORDER_BIG) byte_order = IOS_BYTE_ORDER_UNSET;
  return TEXTS[letter_case][byte_order];
}
