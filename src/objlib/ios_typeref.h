// Detail records of type references in the store's type tables.
//
// A type reference is a kind and, for the composite kinds, a detail record: a few
// 32-bit words, ids that start unset (all ones) and, for the kinds that list parts,
// an id table of entries. Records and entries come zeroed from the size-class pools.
// Nothing in the assembler fills the words; it creates and frees the records only.
#pragma once

#include <cstddef>
#include <cstdint>

struct IdTable;

enum IosTyperefKind : uint32_t {
  IOS_TYPEREF_FIRST_COMPOSITE = 128,  // below: simple type codes without a record
  IOS_TYPEREF_ARRAY = 129,
  IOS_TYPEREF_ENUM = 130,
  IOS_TYPEREF_POINTER = 131,
  IOS_TYPEREF_REFERENCE = 132,
  IOS_TYPEREF_TYPEDEF = 133,
  IOS_TYPEREF_STRUCTURE = 134,
  IOS_TYPEREF_UNION = 135,
  IOS_TYPEREF_FUNCTION = 137,
  IOS_TYPEREF_QUALIFIER = 138,
  IOS_TYPEREF_MEMBER = 140,
  IOS_TYPEREF_BITFIELD = 141,
};

inline constexpr uint32_t IOS_TYPEREF_UNSET_ID = 0xFFFFFFFFu;

struct IosTyperefArray {
  uint32_t words[4];
  IdTable* dimensions;  // entries of 2 words
};
struct IosTyperefEnum {
  uint32_t words[2];
  uint32_t id;
  IdTable* enumerators;  // entries of 3 words
};
struct IosTyperefPointer {
  uint32_t words[2];
  uint32_t id;
  uint32_t word;
};
struct IosTyperefReference {
  uint32_t words[2];
};
struct IosTyperefTypedef {
  uint32_t words[4];
};
// Also the record of a union.
struct IosTyperefStructure {
  uint32_t id;
  uint32_t words[2];
  IdTable* members;  // entries of 2 words
};
struct IosTyperefFunction {
  uint32_t words[4];
  uint32_t ids[2];
  IdTable* parameters;  // entries of 4 words
};
struct IosTyperefQualifier {
  uint32_t words[2];
  uint32_t ids[2];
};
struct IosTyperefMember {
  uint32_t words[4];
  uint32_t ids[3];
};
struct IosTyperefBitfield {
  uint32_t word;
  uint32_t id;
};

// A type reference: its kind and the kind's detail record (null for simple codes and
// kinds without a record).
struct IosTyperefKindDetail {
  uint32_t kind;
  void* detail;
};

// The kind with a new detail record for kinds 129-135, 137, 138, 140 and 141; the kind
// alone for every other value, and also when memory for the record is short.
IosTyperefKindDetail ios_typeref_detail_new(uint32_t kind);
// Returns the record and everything it owns (entries, id table) to the pools. Kinds
// without a record and a null record free nothing.
void ios_typeref_detail_free(uint32_t kind, void* detail);

// Bytes of the kind's detail record, 0 for kinds without one.
size_t ios_typeref_detail_size(uint32_t kind);
// Words of one entry of the kind's id table, 0 for kinds without a table.
uint32_t ios_typeref_entry_words(uint32_t kind);
// Adds a zeroed entry to the record's id table and gives its id; 1 for a kind without
// a table, a null record, or when memory is short.
int ios_typeref_entry_add(uint32_t kind, void* detail, uint32_t* id);
