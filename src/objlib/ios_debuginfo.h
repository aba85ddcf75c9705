// The debug-information records of a store file beyond modules and variables:
// the type store with its typerefs and interned types, line information of
// modules, functions, lexical blocks, lifetimes and stack-usage records.
//
// Every record is named by ids, never by pointers, so that readers can hold a
// handle across additions. Ids are 1-based and dense per table; the words of a
// record that may hold any value start all ones, those whose valid values are
// non-zero start 0.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct AvlNode;
struct BlockPool;
struct ExprNode;
struct IdTable;

inline constexpr uint32_t IOS_DEBUG_UNSET = 0xFFFFFFFFu;
// Interned types are numbered from here; smaller ids are simple type codes.
inline constexpr uint32_t IOS_FIRST_TYPE_ID = 128;

// {file id, string id}; a string id below 1 means no string.
using StringHandle = IosHandle;

// How a detail refers to another type: {0, typeref id} before interning,
// {1, type id or simple code} after.
struct TyperefRef {
  uint32_t resolved;
  uint32_t id;
};

struct TypeHandle {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t type_id;
};

// Visit states of a typeref during interning.
enum IosTyperefState : uint32_t {
  IOS_TYPEREF_NEW = 0,
  IOS_TYPEREF_IN_PROGRESS = 1,
  IOS_TYPEREF_RESERVED = 2,  // met again while its own detail was interned
  IOS_TYPEREF_DONE = 3,
};

struct IosTyperef {
  uint32_t state;
  uint32_t file_id;
  uint32_t root_id;
  uint32_t typeref_id;
  uint32_t type_id;  // once interned
  uint32_t kind;
  void* detail;  // moves to the type when interning makes a new one
};

struct IosType {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t type_id;
  uint32_t visits;  // raised by the reachability walk and by ios_type_use
  uint32_t kind;
  void* detail;
};

// The interned types: type id t at slot t - base.
struct IosTypeIndex;

struct IosTypeIdTable {
  IdTable* types;
  uint32_t base;
  IosTypeIndex* index;  // the types by structure, for interning
};

struct IosTyperefTree {
  AvlNode* root;
  uint32_t last_id;
};

struct IosTypeStore {
  uint32_t file_id;
  uint32_t root_id;
  IosTyperefTree* typerefs;
  IosTypeIdTable* table;
};

// ---- Module line information ----

// {file, root, module, line block}; items add their id as a fifth word.
struct IosLineBlockHandle {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t module_id;
  uint32_t block_id;
};

struct IosLineItemHandle {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t module_id;
  uint32_t block_id;
  uint32_t item_id;
};

// A line, delta or special; a special holds its second expression in place of
// word A.
struct IosLineItem {
  IosLineBlockHandle block;
  uint32_t item_id;
  ExprNode* expression;
  union {
    uint32_t word_a;
    ExprNode* expression2;
  };
  uint32_t word_b;
};
using IosLine = IosLineItem;
using IosDelta = IosLineItem;
using IosSpecial = IosLineItem;

struct IosLineBlock {
  IosLineBlockHandle handle;
  StringHandle name;
  IdTable* items;  // attached record ids, stored as values
  uint32_t no_section;  // 1: the block belongs to no section
  IosHandle section;
  IdTable* lines;
  IdTable* deltas;
  IdTable* specials;
  uint32_t word;
};

struct IosLineInfo {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t module_id;
  BlockPool* line_pool;
  BlockPool* delta_pool;
  BlockPool* special_pool;
  BlockPool* block_pool;
  IdTable* blocks;
};

// ---- Functions, lexical blocks, lifetimes, stack usage ----

struct IosBlockContents {
  ExprNode* expression_a;
  ExprNode* expression_b;
  IdTable* variables;  // ids stored as values
  IdTable* children;
  ExprNode* expression_c;
  IdTable* stack_usage;
};

struct IosFunction {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t function_id;
  StringHandle name;
  ExprNode* expression_a;
  ExprNode* expression_b;
  TypeHandle type;  // type id < 1: unset
  uint32_t function_kind;  // 0 unset
  IdTable* types;  // type ids stored as values
  IdTable* parameters;
  IosBlockContents* body;
  ExprNode* expression_c;  // list node
  IdTable* stack_usage;
};

struct IosLexicalBlock {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t block_id;
  IosBlockContents* contents;
};

struct IosLexicalBlockAdmin {
  uint32_t file_id;
  uint32_t root_id;
  BlockPool* block_pool;
  BlockPool* contents_pool;
  IdTable* blocks;
};

struct IosLifetime {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t lifetime_id;
  uint32_t attribute;  // all ones unset
  ExprNode* expression_a;
  uint32_t flags5;
  uint32_t flags6;
  uint32_t flags7;
  uint32_t scope_file;
  uint32_t scope_root;
  uint32_t scope_id;  // < 1 unset
  ExprNode* expression_c;  // list node
  uint32_t word12;  // all ones unset
  ExprNode* expression_b;
  uint32_t word14;  // all ones unset
  uint32_t word15;  // all ones unset
};

struct IosStackUsage {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t usage_id;
  uint32_t word3;
  uint32_t word4;  // all ones unset
  uint32_t word5;  // all ones unset
  uint32_t word6;  // all ones unset
  uint32_t word7;
  uint32_t pair8[2];
  ExprNode* expression;
  uint32_t word11;
};

// Ids kept as table items; 0 never occurs, since ids start at 1.
inline void* ios_id_item(uint32_t id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }
inline uint32_t ios_item_id(const void* item) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(item));
}
// Appends a value after the table's highest id; 0 (no memory) or 1 for a null table.
int ios_idtab_append(IdTable* table, void* item, IosErrorCode* error);
// Stores the item at the 0-based index; 0 when the table is null or cannot grow.
int ios_idtab_store(IdTable* table, uint32_t index, void* item, IosErrorCode* error);
// Highest id in use; 0 for a null table.
uint32_t idtab_count(const IdTable* table);
