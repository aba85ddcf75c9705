// The IEEE-695 producer: writes one file of the object store as an IEEE-695 object
// module (module frame, parts, record filler). One writer exists at a time; it is
// the current writer of the process state while a module is written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "objlib/ieee695/ieee_record.h"
#include "objlib/ios_types.h"

struct ExprLibContext;
struct ExprNode;
struct IeeeWriter;

inline constexpr uint32_t IEEE_PART_COUNT = 9;
inline constexpr uint32_t IEEE_PART_END = 7;   // module end
inline constexpr uint32_t IEEE_PART_HEAD = 8;  // outside any part
inline constexpr uint32_t IEEE_BLOCK_DEPTH = 256;
inline constexpr uint32_t IEEE_FIRST_NAME_INDEX = 32;
inline constexpr uint64_t IEEE_PART_PLACEHOLDER = 0xFEFEFEFE;

// A variable of the module and what it stands for: the record argument of the AS,
// NN and AT records made for it.
struct IeeeLetterRecord {
  uint32_t letter;
  uint64_t index;
  uint32_t reference;  // slot index of the store expression it stands for; 0 none
  uint64_t reference_value;  // the slot a reference node to this variable names
  IosValue value;
};

struct IeeeSectionEntry {
  IeeeLetterRecord* records[4];  // L, R, P, S
  uint32_t index;
  IosHandle section;
  uint32_t mau_bits;
  uint64_t load_address;  // in MAUs
};

// A root of the file's call graph: its O variable carries the call expression.
struct IeeeContextEntry {
  IeeeLetterRecord* record;  // O
  uint32_t index;
  IosHandle node;  // the call-graph node key (the function's symbol)
};

struct IeeeNameEntry {
  uint32_t index;
  IeeeLetterRecord* record;  // I, X or N
  IeeeSectionEntry* section;
  IosHandle symbol;
  uint32_t flag;
};

// One open block of the debug part; its kind goes with the BB and BE records.
struct IeeeDebugBlock {
  uint32_t kind;
  uint32_t words[7];
};

struct IeeePartSlot {
  uint32_t part;
  int64_t offset;
};

// A field that the data part covers: relocated units or plain data.
struct IeeeRelocationPoint {
  uint32_t offset;
  uint32_t units;
  ExprNode* expression;
};

using IeeeFillCallback = uint32_t (*)(IeeeWriter* writer, uint32_t* error);

struct IeeeWriter {
  FILE* handle;
  StrBuf* module_name;
  uint32_t object_version;
  uint32_t file_id;
  uint32_t output_off;
  ExprLibContext* expression_context;
  IeeeStream* stream;
  IeeeRecord* scratch;
  IeeeRecord* current;
  uint32_t skip;
  uint32_t current_part;
  IeeePartSlot parts[IEEE_PART_COUNT];
  uint32_t bits_per_mau;
  uint32_t maus_per_address;
  uint32_t byte_order;
  uint32_t object_kind;
  IeeeLetterRecord* letter_cache;
  std::vector<std::unique_ptr<IeeeLetterRecord>> letter_records;
  std::unordered_map<uint64_t, IeeeLetterRecord*> letter_tables;  // {letter, index}
  std::unordered_map<uint32_t, IeeeLetterRecord*> by_reference;   // slot index
  std::vector<std::unique_ptr<IeeeSectionEntry>> sections;        // index - 1
  std::unordered_map<uint32_t, IeeeSectionEntry*> sections_by_id;
  std::vector<std::unique_ptr<IeeeNameEntry>> names;  // index - 32
  std::unordered_map<uint32_t, IeeeNameEntry*> names_by_symbol;
  uint32_t next_section_index;
  uint32_t next_name_index;
  uint32_t second_name_counter;
  uint32_t next_type_index;
  IeeeSectionEntry* current_section;
  IeeeNameEntry* current_name;
  int64_t block_stack[IEEE_BLOCK_DEPTH];
  uint16_t block_depth;
  std::vector<uint32_t> block_table;
  int64_t last_block_end;
  uint32_t block_flag;
  std::vector<std::unique_ptr<IeeeDebugBlock>> block_records;
  std::vector<IeeeDebugBlock*> open_blocks;  // innermost last
  IeeeDebugBlock* current_block;
  // Record filler state.
  uint32_t name_counter;
  IosHandle pending_name;
  uint32_t data_mode;  // 0 none, 1 LD, 3 LR
  uint32_t next_count;  // MAUs of the next LD or LR record
  ExprNode* next_relocation;
  uint32_t repeat_count;
  uint32_t call_index;
  // Call graphs and generated names.
  std::vector<std::unique_ptr<IeeeContextEntry>> contexts;  // by index
  IeeeContextEntry* current_context;
  std::set<uint64_t> visited_nodes;  // call-graph node keys already encoded
  uint32_t generated_name;  // index of the last NN record made for a pending name
  // Reading: the scopes that names read from a module go to.
  IosHandle reader_global_scope;
  IosHandle reader_scope;
};

// Writes store file file_id to the open handle as one module named name. 0 on
// success; 1 with an object-library error class in *error.
int ieee_write_module(const char* name, FILE* handle, uint32_t file_id, uint32_t* error);
// A writer made as the module writer makes it, and the current writer; null when out
// of memory. Freed by ieee_writer_free.
IeeeWriter* ieee_writer_new(FILE* handle, const char* name, uint32_t file_id);
void ieee_writer_free(IeeeWriter* writer);

// Makes, fills and writes one record (see the record filler). 0 on success, 1 or
// the callback's result on failure with the code in *error.
int ieee_emit_record(IeeeWriter* writer, uint32_t type, const void* source, IeeeFillCallback fill,
                     uint32_t* error);
// The record filler handed to every emission of the module writer.
uint32_t ieee_fill_record(IeeeWriter* writer, uint32_t* error);
// Fills an NN record for the pending name, which it consumes: the next generated name
// index (kept in generated_name). Without a pending name the record is skipped.
uint32_t ieee_fill_pending_name(IeeeWriter* writer, uint32_t* error);

IeeeLetterRecord* ieee_letter_record(IeeeWriter* writer, uint32_t letter, uint64_t index);
void ieee_prepare_module(IeeeWriter* writer);
int ieee_write_part0(IeeeWriter* writer, uint32_t* error);
int ieee_write_part1(IeeeWriter* writer, uint32_t* error);
int ieee_write_part2(IeeeWriter* writer, uint32_t* error);
int ieee_write_part3(IeeeWriter* writer, uint32_t* error);
int ieee_write_part5(IeeeWriter* writer, uint32_t* error);
int ieee_write_part6(IeeeWriter* writer, uint32_t* error);

// -1 for a null stream.
int64_t ieee_stream_position(const IeeeStream* stream);
// Emits a load-address change of the section's P variable when the address differs.
int ieee_set_load_address(IeeeWriter* writer, IeeeSectionEntry* entry, uint64_t address,
                          uint32_t* error);
// The section entry of a storage section; null when none.
IeeeSectionEntry* ieee_find_cached_record(IeeeWriter* writer, IosHandle section);
// The name entry of a storage symbol; null when none.
IeeeNameEntry* ieee_find_cached_record_alt(IeeeWriter* writer, IosHandle symbol);
// The name entry of an index in the X, I, then N table; becomes current.
IeeeNameEntry* ieee_find_name_entry(IeeeWriter* writer, uint32_t index);
// Orders part slots: the module head first, the module end last, the rest by offset.
int ieee_part_compare(const IeeePartSlot& first, const IeeePartSlot& second);
// Decodes a number from bytes: the value and the count of bytes used; 0 bytes for a
// count byte above 0x88 or input that ends among the value bytes.
uint32_t ieee_decode_number(const uint8_t* bytes, size_t size, uint64_t* value);
