// File-level properties of a store file: the texts and words that end up in the
// object file's records. These setters overwrite; none of them is write-once.
// String properties hold string handles; a string id below 1 is refused with
// IOS_ERR_NO_STRING and the string itself is not looked up.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

int ios_file_set_string1(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string2(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string3(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string4(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string5(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string6(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string7(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string8(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_string9(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_version_string(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_tool_name(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_tool_version(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_tool_invocation(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_compiler_name(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_compiler_version(uint32_t file_id, IosHandle string, IosErrorCode* error);
int ios_file_set_compiler_invocation(uint32_t file_id, IosHandle string,
                                     IosErrorCode* error);

// Getters return -1 with IOS_ERR_NO_PROPERTY while the property is unset.
int ios_file_get_string3(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_tool_name(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_tool_version(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_tool_invocation(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_compiler_name(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_compiler_version(uint32_t file_id, IosHandle* string, IosErrorCode* error);
int ios_file_get_compiler_invocation(uint32_t file_id, IosHandle* string,
                                     IosErrorCode* error);

int ios_file_set_mau_size(uint32_t file_id, uint32_t bits, IosErrorCode* error);
int ios_file_set_aux_word(uint32_t file_id, uint32_t value, IosErrorCode* error);
int ios_file_set_byte_order(uint32_t file_id, uint32_t byte_order, IosErrorCode* error);
int ios_file_set_little_endian(uint32_t file_id, IosErrorCode* error);
int ios_file_set_big_endian(uint32_t file_id, IosErrorCode* error);
// Sets the kind word to 3; ios_file_set_kind stores any value.
int ios_file_set_kind_word(uint32_t file_id, IosErrorCode* error);
int ios_file_set_kind(uint32_t file_id, uint32_t kind, IosErrorCode* error);
// Set the mode word to absolute (1) or relocatable (2) output; ios_file_set_mode_word
// stores any value.
int ios_file_set_flag_one(uint32_t file_id, IosErrorCode* error);
int ios_file_set_flag_two(uint32_t file_id, IosErrorCode* error);
int ios_file_set_mode_word(uint32_t file_id, uint32_t mode, IosErrorCode* error);

// Stores a private copy of the MISRA-C settings text, replacing an earlier one; an
// empty text is refused with IOS_ERR_INVALID_MISRAC and a null text clears it.
int ios_file_set_misrac_text(uint32_t file_id, const char* text, IosErrorCode* error);
// -1 with IOS_ERR_NO_PROPERTY when the file has no MISRA-C text.
int ios_file_get_misrac_text(uint32_t file_id, const char** text, IosErrorCode* error);

// Letter cases of ios_byte_order_text.
enum IosLetterCase : uint32_t {
  IOS_CASE_LOWER = 0,
  IOS_CASE_UPPER = 1,
  IOS_CASE_CAPITALISED = 2,
};

// "unknown", "little" or "big" in the given letter case; a case other than 0-2 counts
// as lower case, and a byte order other than 1 or 2 as unknown.
const char* ios_byte_order_text(uint32_t byte_order, uint32_t letter_case);
