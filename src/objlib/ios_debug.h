// Debug records of a store file: the debug root with its type tables, modules and
// module variables. The assembler fills them (module name, one variable per symbol
// emitted with debug information) but no producer writes them; they stay in the
// store and go with the file.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

struct BlockPool;
struct ExprNode;
struct IdTable;

// {file id, root id, record id}; record ids are 1-based per family.
struct IosDebugHandle {
  uint32_t file_id;
  uint32_t root_id;
  uint32_t record_id;
};

// One family of records: its pool and id table.
struct IosDebugFamily {
  uint32_t file_id;
  uint32_t root_id;
  BlockPool* pool;
  IdTable* table;
};

struct IosTypeTable {
  IosDebugHandle handle;
  IdTable* types;    // type ids in the order the reachability walk met them twice
  IdTable* entered;  // type ids entered as types of the table, each once
  IosHandle symbol;  // {file id, symbol id} the table is bound to; symbol id 0 = none
};

// An admin record naming a type entered into a type table.
struct IosTypeEntry {
  uint32_t file_id;
  uint32_t entry_id;
  TypeHandle type;
};

struct IosModule {
  IosDebugHandle handle;
  IosHandle name;  // object id 0 = unset
  uint32_t word;   // all ones when made
  IdTable* entries;  // items of ios_module_add_entry, at index count
  uint32_t entry_count;
  IosArray variables;  // uint32_t variable ids in order added
  ExprNode* expression;  // list node, one reference; null = unset
  uint32_t word12;
  IdTable* functions;  // function ids stored as values
  IosLineInfo* line_info;
};

inline constexpr uint32_t IOS_VARIABLE_IN_MODULE = 16384;
inline constexpr uint32_t IOS_VARIABLE_VALUE_UNSET = 0xFFFFFFFFu;

struct IosVariable {
  IosDebugHandle handle;
  IosHandle name;  // object id 0 = unset
  uint32_t flags;
  uint32_t kind;  // 0 unset; 16 equate, 32 other
  ExprNode* expression;  // address; one reference, null = unset
  ExprNode* value_expression;  // one reference, null = unset
  uint32_t value;  // all ones = unset
  uint32_t word1;  // all ones when made
  uint32_t word2;  // all ones when made
  IdTable* lifetimes;  // lifetime ids stored as values; made with the first one
  uint32_t strict_word;  // 0 unset, written once
  TypeHandle type;  // type id < 1: unset
  uint32_t word17;
};

struct IosDebugRoot {
  uint32_t file_id;
  uint32_t root_id;  // always 1
  IosDebugFamily typetables;
  IosDebugFamily type_entries;  // IosTypeEntry records of the type tables
  IdTable* typetables_by_symbol;  // type tables at index symbol id - 1
  IosDebugFamily modules;
  IosDebugFamily variables;
  IosDebugFamily lifetimes;
  IosDebugFamily functions;
  IosLexicalBlockAdmin lexical_blocks;
  IosDebugFamily stack_usage;
  IosTypeStore* type_store;
};

// Free one admin of a root: each record's own tables (through the callback for a
// plain admin), then the record table and the pool. The admin is part of the root,
// so it is left empty rather than freed: a second free does nothing, and creating
// a record in it fails with 2. Null is ignored.
void ios_free_record_admin(IosDebugFamily* admin, void (*release_tables)(void* record));
// Also drops each variable's expression references and lifetime list.
void ios_free_variable_admin(IosDebugFamily* admin);
// The type-table admin: each table's two id tables.
void ios_free_table_admin(IosDebugFamily* admin);

// Frees every family and record of the root, dropping the variables' expression
// references, then the root. Null is ignored.
void ios_debug_root_free(IosDebugRoot* root);

// The root handle {file id, 1}; made when the file has none (0 when that fails).
int ios_file_get_debug_root(uint32_t file_id, IosHandle* root, IosErrorCode* error);
// The family admins; -1 with 2 when the file has no debug root.
int ios_debug_get_typetables(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error);
int ios_debug_get_modules(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error);
int ios_get_variable_admin(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error);

// A new type table / module; 1 without a debug root, 0 out of memory.
int ios_typetable_create(uint32_t file_id, IosDebugHandle* table, IosErrorCode* error);
int ios_module_create(uint32_t file_id, IosDebugHandle* module, IosErrorCode* error);
// Lookups; 19, 20, 21 when the id names none.
int ios_get_typetable(IosDebugHandle table, IosTypeTable** record, IosErrorCode* error);
int ios_get_module(IosDebugHandle module, IosModule** record, IosErrorCode* error);
int ios_get_variable(IosDebugHandle variable, IosVariable** record, IosErrorCode* error);

// Write-once module name; 37 for a string id below 1, 6 when set. Getter -1 with 2.
int ios_module_set_name(IosDebugHandle module, IosHandle name, IosErrorCode* error);
int ios_module_get_name(IosDebugHandle module, IosHandle* name, IosErrorCode* error);
// Appends an item to the module's entry table.
int ios_module_add_entry(IosDebugHandle module, uint32_t item, IosErrorCode* error);
// A new variable (in the variable table, not in a module).
int ios_variable_new(uint32_t file_id, uint32_t root_id, IosDebugHandle* variable,
                     IosErrorCode* error);
// A new variable of the module, appended to its variable list.
int ios_module_add_variable(IosDebugHandle module, IosDebugHandle* variable, IosErrorCode* error);
// The module's variables, 0-based in the order added; 21 past the end.
int ios_module_count_variables(IosDebugHandle module, uint32_t* count, IosErrorCode* error);
int ios_module_get_variable(IosDebugHandle module, uint32_t index, IosDebugHandle* variable,
                            IosErrorCode* error);

// Write-once name; 37, 6.
int ios_variable_set_name(IosDebugHandle variable, IosHandle name, IosErrorCode* error);
// Write-once value (all ones unset; the same value again accepted); 6.
int ios_variable_set_value(IosDebugHandle variable, uint32_t value, IosErrorCode* error);
// Kind := 16, 32 or the value while it is 0; 6 otherwise.
int ios_variable_set_kind16(IosDebugHandle variable, IosErrorCode* error);
int ios_variable_set_kind32(IosDebugHandle variable, IosErrorCode* error);
int ios_variable_set_kind(IosDebugHandle variable, uint32_t kind, IosErrorCode* error);
// Attaches the address expression (it gains a reference); 38 for null, 6 when set.
int ios_variable_set_expression(IosDebugHandle variable, ExprNode* expression,
                                IosErrorCode* error);
// Attaches the value expression, which must be a list operator node (1 otherwise;
// it gains a reference); 38 for null, 6 when set.
int ios_variable_set_value_expression(IosDebugHandle variable, ExprNode* value,
                                      IosErrorCode* error);
