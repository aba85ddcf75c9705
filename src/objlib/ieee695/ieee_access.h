// Field-by-field access to IEEE-695 record bodies for code that reads or builds
// records without the codec: one table names every field of every record type with
// its place and kind, and a few generic operations read and set fields through it.
//
// Every operation tolerates a null body and a field the type does not have: getters
// give their kind's default, setters change nothing and report -1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objlib/ieee695/ieee_record.h"
#include "objlib/ios_types.h"

struct ElfContext;
struct IdTable;

enum class IeeeField : uint8_t {
  Letter,
  Index,
  Number,     // SB section, RE count, CO comment number
  Section,    // ST, SA
  Alignment,  // SA
  PageSize,   // SA
  Trailing,   // ST
  BitsPerMau,
  MausPerAddress,
  Order,
  Count,      // LR, LD data bytes
  Parity,     // LR
  ItemKind,   // LR
  ValueKind,  // LR
  TypeIndex,  // TY
  BlockType,  // BB
  Size,       // BB
  First,      // FB
  Second,     // FB
  Value,      // the value holder of AS, E3, WX, AT, BB, BE
  Variable,   // LR variable holder
  Expression, // LR expression holder
  DateTime,   // DT: year, month, day, hour, minute, second
  Numbers,    // AT: the three numbers
  Extra,      // AT: second and third number, which make the third present
  Data,       // LR, LD inline bytes
  Items,      // TY item list
  Types,      // ST type letters
  Name,       // MB module, names, ST, BB
  Text,       // CO
  Processor,  // MB
};

enum class IeeeFieldKind : uint8_t {
  U64,     // a 64-bit number; default -1
  U32,     // a word; default 0
  I16,     // a 16-bit word; default -1
  U16,
  Holder,  // a value holder; default {0, 0, -1, -1}
  Words,   // consecutive 64-bit numbers
  Bytes,   // inline bytes
  List,    // a variable-length tail
  Buffer,  // a byte buffer pointer
};

struct IeeeFieldInfo {
  uint32_t type;
  IeeeField field;
  IeeeFieldKind kind;
  uint16_t offset;    // in the body
  uint16_t count;     // Words: numbers; Bytes: capacity
  int16_t flag;       // offset of a 64-bit "present" word set to 1 with the field; -1 none
};

// The table entry of a field of a record type; null when the type has no such field.
const IeeeFieldInfo* ieee_field_info(uint32_t type, IeeeField field);
// Calls the function with every table entry, in table order.
void ieee_for_each_field(void (*function)(const IeeeFieldInfo&, void*), void* argument);

// A numeric field (U64, U32, I16, U16): its value, else the kind's default (-1 for
// an unknown field).
int64_t ieee_body_get_number(const IeeeBody* body, uint32_t type, IeeeField field);
// Stores the value, cut to the field's width; 0, or -1.
int ieee_body_set_number(IeeeBody* body, uint32_t type, IeeeField field, uint64_t value);
// Consecutive numbers from the first: count must not exceed the field's. 0, or -1.
int ieee_body_set_numbers(IeeeBody* body, uint32_t type, IeeeField field, const uint64_t* values,
                          uint32_t count);
// The holder's four words as they are (shared, not copied); {0, 0, -1, -1} when none.
IosValue ieee_body_get_value(const IeeeBody* body, uint32_t type, IeeeField field);
// Gives the holder its own copy of the source. 0, or -1.
int ieee_body_set_value(IeeeBody* body, uint32_t type, IeeeField field, const IosValue* source);
// Takes the four words over as they are and marks the value as encoded bytes (the
// record's value kind 2, where it has one). 0, or -1.
int ieee_body_set_encoded(IeeeBody* body, uint32_t type, IeeeField field, IosValue words);
// Copies bytes into the inline data; more than the field holds is refused. 0, or -1.
int ieee_body_copy_data(IeeeBody* body, uint32_t type, IeeeField field, const void* bytes, size_t count);
// The start of a variable-length tail; null when none or when it is empty.
const uint32_t* ieee_body_tail(const IeeeBody* body, uint32_t type, IeeeField field);
// The address of a field; null when none.
void* ieee_body_field_address(IeeeBody* body, uint32_t type, IeeeField field);

// The small steps a filler table can name where a step has nothing to do, yields 0, or
// yields the distance between two values: one operation each, shared by every place.
inline void ieee_step_none() {}
inline int ieee_step_zero() { return 0; }
inline int64_t ieee_step_difference(int64_t first, int64_t second) { return first - second; }

// Gives a record block of the given size back to the pools; returns null, or the null
// pointer it was given.
void* ieee_free_block(void* block, size_t size);

// Writes a field of 1, 2 or 4 bytes in the ELF context's byte order to its stream. 0, or
// 1 with class 2 ("file io error occurred") after a short write or without a stream.
int ieee_elf_put_field(ElfContext* context, uint32_t value, uint32_t size, ObjLibErrorClass* error);

// Low and high word as one value.
uint64_t make_u64(uint32_t low, uint32_t high);
inline uint64_t ieee_make_u64(uint32_t low, uint32_t high) { return (uint64_t{high} << 32) | low; }

// Calls the function with every item of the table (empty slots as null), in index
// order; a null table does nothing.
void ieee_idtab_for_each(const IdTable* table, void (*function)(void* item, void* argument), void* argument);
