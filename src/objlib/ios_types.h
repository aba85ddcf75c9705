// Handles and error codes shared by every module of the object store.
//
// Store operations return 0 on success and 1 on failure; the failure's code goes
// through an optional last out-parameter and a success leaves it untouched.
// Getters of optional properties return -1 with IOS_ERR_NO_PROPERTY when unset.
#pragma once

#include <cstddef>
#include <cstdint>

// Objects are named by numbers, never by pointers. Ids are 1-based per kind and
// file; 0 means "none".
struct IosHandle {
  uint32_t file_id;
  uint32_t object_id;
};

// Object-store error codes; the texts live with the assembler's diagnostics and are
// indexed by these values, so the numbering is fixed.
enum IosErrorCode : uint32_t {
  IOS_ERR_NO_MEMORY = 0,
  IOS_ERR_INTERNAL = 1,
  IOS_ERR_NO_PROPERTY = 2,
  IOS_ERR_NO_ADMIN = 3,
  IOS_ERR_DELETED = 4,
  IOS_ERR_NO_FILE = 5,
  IOS_ERR_VALUE_EXISTS = 6,
  IOS_ERR_NO_SECTION = 7,
  IOS_ERR_SECTION_SIZE_UNSET = 8,
  IOS_ERR_NO_CALLGRAPH = 9,
  IOS_ERR_NO_CALL = 10,
  IOS_ERR_NO_CALL_TYPE = 11,
  IOS_ERR_NO_CALL_RECURSION = 12,
  IOS_ERR_NO_CALLEE = 13,
  IOS_ERR_RECURSIVE_CALL = 14,
  IOS_ERR_ILLEGAL_SCOPE = 15,
  IOS_ERR_NO_SCOPE = 16,
  IOS_ERR_NO_SYMBOL = 17,
  IOS_ERR_MULTIPLE_DEFINITION = 18,
  IOS_ERR_NO_TYPETABLE = 19,
  IOS_ERR_NO_MODULE = 20,
  IOS_ERR_NO_VARIABLE = 21,
  IOS_ERR_NO_LIFETIME = 22,
  IOS_ERR_NO_FUNCTION = 23,
  IOS_ERR_NO_LEXICAL_BLOCK = 24,
  IOS_ERR_NO_STACK_USAGE = 25,
  IOS_ERR_NO_TYPEREF = 26,
  IOS_ERR_NO_TYPE = 27,
  IOS_ERR_NO_DELTA = 28,
  IOS_ERR_NO_LINE = 29,
  IOS_ERR_NO_SPECIAL = 30,
  IOS_ERR_NO_LINE_BLOCK = 31,
  IOS_ERR_NO_ASM_SECTION = 32,
  IOS_ERR_NO_IMAGE = 33,
  IOS_ERR_OVERLAPPING_DATA = 34,
  IOS_ERR_DATA_TOO_LARGE = 35,
  IOS_ERR_MAU_SIZE_DIFFERS = 36,
  IOS_ERR_NO_STRING = 37,
  IOS_ERR_NO_EXPRESSION = 38,
  IOS_ERR_NO_EXPRESSION_SYMBOL = 39,
  IOS_ERR_TYPEREF_NOT_SIMPLE = 40,
  IOS_ERR_TYPEREF_NOT_ARRAY = 41,
  IOS_ERR_TYPEREF_NOT_POINTER = 42,
  IOS_ERR_TYPEREF_NOT_REFERENCE = 43,
  IOS_ERR_TYPEREF_NOT_STRUCTURE = 44,
  IOS_ERR_TYPEREF_NOT_MEMBER = 45,
  IOS_ERR_TYPEREF_NOT_UNION = 46,
  IOS_ERR_TYPEREF_NOT_TYPEDEF = 47,
  IOS_ERR_TYPEREF_NOT_ENUM = 48,
  IOS_ERR_TYPEREF_NOT_FUNCTION_TYPE = 49,
  IOS_ERR_TYPEREF_NOT_QUALIFIER = 50,
  IOS_ERR_TYPEREF_NOT_BITFIELD = 51,
  IOS_ERR_INVALID_MISRAC = 52,
  IOS_ERR_MAU_SIZE_RANGE = 53,
  IOS_ERR_NO_DATA = 54,
  IOS_ERR_NO_GROUP = 55,
  IOS_ERR_COMPILER_NAME = 56,
  IOS_ERR_COMPILER_VERSION = 57,
  IOS_ERR_COMPILER_INVOCATION = 58,
};
inline constexpr uint32_t IOS_ERROR_CODE_COUNT = 59;

// Error classes of the object-file producers built on the store.
enum ObjLibErrorClass : uint32_t {
  OBJLIB_ERR_NONE = 0,
  OBJLIB_ERR_INTERNAL = 1,
  OBJLIB_ERR_FILE_IO = 2,
  OBJLIB_ERR_NO_MEMORY = 3,
  OBJLIB_ERR_CONSUMER = 4,
  OBJLIB_ERR_PRODUCER = 5,
  OBJLIB_ERR_OBJECT_STORE = 6,
  OBJLIB_ERR_EXPRESSION_LIBRARY = 7,
  OBJLIB_ERR_OBLIGATED_FIELD = 8,
  OBJLIB_ERR_UNSUPPORTED_FORMAT = 9,
  OBJLIB_ERR_SYNTAX = 10,
  OBJLIB_ERR_UNSUPPORTED_PLATFORM = 11,
  OBJLIB_ERR_UNDEFINED_REFERENCE = 12,
  OBJLIB_ERR_UNDEFINED_TYPE_REFERENCE = 13,
  OBJLIB_ERR_UNSUPPORTED_ABI = 14,
  OBJLIB_ERR_ADDRESS_OVERFLOW = 15,
  OBJLIB_ERR_TOO_MANY_SECTIONS = 16,
};
inline constexpr uint32_t OBJLIB_ERROR_CLASS_COUNT = 17;

// The failure path of every store operation: store the code when asked, report 1.
inline int ios_fail(IosErrorCode* error, IosErrorCode code) {
  if (error != nullptr) *error = code;
  return 1;
}

// The result of an optional-property getter whose property is unset.
inline int ios_unset(IosErrorCode* error) {
  if (error != nullptr) *error = IOS_ERR_NO_PROPERTY;
  return -1;
}

// A growable array of fixed-size items (entry tables, id lists). It doubles from a
// minimum capacity, so growth never stalls at capacity 0 and appending stays
// amortised constant time for the 100,000s of symbols and relocations of a file.
struct IosArray {
  uint32_t count;
  uint32_t capacity;
  void* items;
};

inline constexpr uint32_t IOS_ARRAY_MIN_CAPACITY = 16;

// Appends a zeroed item and returns it; null when memory runs out (the array is
// unchanged then).
void* ios_array_push(IosArray* array, size_t item_size);
// Item index (0-based) or null when out of range.
inline void* ios_array_at(const IosArray* array, size_t item_size, uint32_t index) {
  if (index >= array->count) return nullptr;
  return static_cast<unsigned char*>(array->items) + size_t{index} * item_size;
}
// Frees the items and empties the array.
void ios_array_free(IosArray* array);
