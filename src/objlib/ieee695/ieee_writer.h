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
#include "objlib/ios_debuginfo.h"
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

// One open block of the debug part: its kind (word 0), which goes with the BB and BE
// records, and thirteen slots naming the storage objects the block stands for. A
// slot is set when its last word, the id word, is above 0 (taken as signed). A new
// block starts with every slot of the block it opens in.
inline constexpr uint32_t IEEE_DEBUG_BLOCK_WORDS = 48;
struct IeeeDebugBlock {
  uint32_t kind;
  uint32_t words[IEEE_DEBUG_BLOCK_WORDS - 1];  // words[n - 1] is word n
};
// First words of the slots; a slot's id word is the last of its words.
enum IeeeDebugSlot : uint32_t {
  IEEE_SLOT_MODULE = 1,      // {file, root, module}
  IEEE_SLOT_FUNCTION = 4,    // {file, root, function}
  IEEE_SLOT_VARIABLE = 7,    // {file, root, variable}
  IEEE_SLOT_PARAMETER = 10,  // {file, root, variable}
  IEEE_SLOT_LEXICAL = 13,    // {file, root, block}
  IEEE_SLOT_ASM_SECTION = 16,  // {file, root, module, record}
  IEEE_SLOT_LINE_BLOCK = 20,   // {file, root, module, line block}
  IEEE_SLOT_LINE = 24,       // line block's four words and the item id
  IEEE_SLOT_DELTA = 29,
  IEEE_SLOT_SPECIAL = 34,
  IEEE_SLOT_FURTHER = 39,
  IEEE_SLOT_TYPE = 42,       // {file, root, type}
  IEEE_SLOT_LIFETIME = 45,   // {file, root, lifetime}
};
inline uint32_t* ieee_block_word(IeeeDebugBlock* block, uint32_t word) {
  return word == 0 ? &block->kind : &block->words[word - 1];
}

// The T variable that stands for a type: its IEEE-695 type index and the type, as
// the handle of its type table (two words) and its type id. A built-in index below
// 256 names the store's built-in code in the type id; a built-in pointer (indexes
// 32 to 57) has the pointer kind there and the code pointed to in pointee.
struct IeeeTypeRecord {
  uint32_t letter;  // 0xD4
  uint64_t index;
  TypeHandle type;
  uint32_t pointee;
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
  IeeeStream* trial;  // drops what it is given; records are tried on it first
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
  std::vector<std::unique_ptr<IeeeTypeRecord>> type_records;  // in the order made
  std::unordered_map<uint64_t, IeeeTypeRecord*> type_records_by_index;
  std::unordered_map<uint32_t, IeeeTypeRecord*> type_records_by_id;
  IeeeTypeRecord* current_type_record;
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
  // Debug part state (see ieee_write_debug_part).
  uint32_t debug_root_file;   // the file's debug root; 0 when it has none
  uint32_t debug_root_id;
  uint32_t module_count;
  uint32_t first_type_table;  // record id of the file's first type table; 0 none
  uint32_t global_types;      // 1 when the first type table holds a type
  IeeeLetterRecord* current_name_record;
  uint32_t type_scratch;
  uint32_t expression_index;
  int32_t delta_number;
  std::unordered_map<uint32_t, uint64_t> type_indexes;  // interned type id -> type index
  uint32_t type_file_id;  // the type whose TY record is being filled
  uint32_t type_root_id;
  uint32_t current_type_id;
  uint32_t module_flags[4];  // has types, has scope, has lines, has assembler sections
  // Record filler state.
  uint32_t name_counter;
  IosHandle pending_name;
  uint32_t data_mode;  // 0 none, 1 LD, 3 LR
  uint32_t next_count;  // MAUs of the next LD or LR record
  ExprNode* next_relocation;
  uint32_t repeat_count;
  uint32_t call_index;
  // The type of the record this writer filled last: a P assignment right after SB
  // gives the section's start. Kept per writer, so that one writer's records never
  // decide what another writes.
  uint32_t last_record_kind;
  // Set while ieee_set_load_address emits its P assignment: a move is a step from the
  // current load address whatever record came before it.
  uint32_t moving_load_address;
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
// A zeroed writer context (the blocks of a record and a stream: ieee_record.h and
// ieee_stream.h); null when out of memory. Freed by ieee_writer_free.
IeeeWriter* ieee_writer_alloc();

// Makes, fills and writes one record (see the record filler). 0 on success, 1 or
// the callback's result on failure with the code in *error.
int ieee_emit_record(IeeeWriter* writer, uint32_t type, const void* source, IeeeFillCallback fill,
                     uint32_t* error);
// The record filler handed to every emission of the module writer.
uint32_t ieee_fill_record(IeeeWriter* writer, uint32_t* error);
// Fills an NN record for the pending name, which it consumes: the next generated name
// index (kept in generated_name). Without a pending name the record is skipped.
uint32_t ieee_fill_pending_name(IeeeWriter* writer, uint32_t* error);
// Steps of the record filler with names of their own; each fills the current record
// and answers 0, or 1 with the error class in *error.
// CO: the comment text of the number the emission was given.
uint32_t ieee_fill_comment(IeeeWriter* writer, uint32_t* error);
// ST: number, type letters and name of the current section.
uint32_t ieee_fill_section_type(IeeeWriter* writer, uint32_t* error);
// AS O: the call expression of the call-graph root at the current call index, for the
// record argument (the writer's letter record).
uint32_t ieee_fill_call_list_value(IeeeWriter* writer, uint32_t* error);
// LD: the next_count units of the current section at its load address, which moves on.
uint32_t ieee_fill_data_record(IeeeWriter* writer, uint32_t* error);
// LR and 0xFA: the next relocation expression and unit count; the load address moves on.
uint32_t ieee_fill_relocation_item(IeeeWriter* writer, uint32_t* error);

IeeeLetterRecord* ieee_letter_record(IeeeWriter* writer, uint32_t letter, uint64_t index);
// A section entry with its L, R, P and S records, entered by index and by section id;
// its unit width is the section's own, else the file's. Null when none can be made.
IeeeSectionEntry* ieee_new_section_entry(IeeeWriter* writer, uint32_t index, IosHandle section);
// A name entry for the symbol with its letter record (I, X or N) and the section entry
// of the symbol's section, entered by index and by symbol id. Null when the symbol
// cannot be found.
IeeeNameEntry* ieee_new_name_entry(IeeeWriter* writer, uint32_t letter, uint32_t index, IosHandle symbol);
// The record of the type (type-table handle and type id), made when missing: the
// file's own types by the index the preparation gave them, built-in codes (and
// pointers to them) by the format's built-in index. Null for a type without one.
IeeeTypeRecord* ieee_find_type_record(IeeeWriter* writer, TypeHandle type);
// The record of a type index, made when missing for the type; an index below 256
// gets the built-in type it stands for instead of the type given.
IeeeTypeRecord* ieee_new_type_record(IeeeWriter* writer, uint64_t index, TypeHandle type);
// The record at a type index, taken from the table or made; it becomes a T record of
// that index (a negative index kept sign-extended) standing for the three words.
IeeeTypeRecord* ieee_type_record_at(IeeeWriter* writer, int64_t index, uint32_t first, uint32_t second,
                                    uint32_t third);
// A new letter record for {letter, index}, entered in its table without looking for
// an existing one; null when none can be made.
IeeeLetterRecord* ieee_new_letter_record(IeeeWriter* writer, uint32_t letter, uint64_t index);
// The IEEE-695 type index of a type: built-in codes map to the format's built-in
// indexes (0 for a code without one), interned types to the index the preparation
// gave them (0 when none).
uint64_t ieee_find_type_index(IeeeWriter* writer, TypeHandle type);
// Numbers the file's interned types from 257 in type-id order.
void ieee_prepare_types(IeeeWriter* writer);
// TY: the items of the type in the current debug block's type slot.
uint32_t ieee_fill_type_record(IeeeWriter* writer, uint32_t* error);
// BB and BE of the current debug block: its name and value by the block's kind.
uint32_t ieee_fill_block_begin(IeeeWriter* writer, uint32_t* error);
uint32_t ieee_fill_block_end(IeeeWriter* writer, uint32_t* error);
// AT of a variable's lifetime, and of the variable itself: type index, attribute
// number, flag words and the address (its generated names get their NN records first).
uint32_t ieee_fill_lifetime_attribute(IeeeWriter* writer, uint32_t* error);
uint32_t ieee_fill_type_attribute(IeeeWriter* writer, uint32_t* error);
// The debug part's records (AS, NN, AT, TY, BB, BE) from the current debug block.
uint32_t ieee_fill_debug_record(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error);
// The AS value of the section letters L, P, R, S and G by the current section.
uint32_t ieee_fill_assign_value(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error);
// Encodes the expression into a record value as its byte run; 8 when it gives none.
uint32_t ieee_set_encoded(IeeeWriter* writer, IosValue* body_value, ExprNode* expression, uint32_t* error);
void ieee_prepare_module(IeeeWriter* writer);
int ieee_write_part0(IeeeWriter* writer, uint32_t* error);
int ieee_write_part1(IeeeWriter* writer, uint32_t* error);
int ieee_write_part2(IeeeWriter* writer, uint32_t* error);
int ieee_write_part3(IeeeWriter* writer, uint32_t* error);
// The debug part from the file's debug information; the result of the first
// failing record (0 when every record was written or none was).
int ieee_write_debug_part(IeeeWriter* writer, uint32_t* error);
int ieee_write_part5(IeeeWriter* writer, uint32_t* error);
int ieee_write_part6(IeeeWriter* writer, uint32_t* error);

// -1 for a null stream.
int64_t ieee_stream_position(const IeeeStream* stream);
// Emits a load-address change of the section's P variable when the address differs:
// the step from the entry's load address, whatever record came before. A step whose
// byte count does not fit a signed 64-bit number is refused with 1 (internal error)
// before anything is written; the entry then keeps its load address.
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
