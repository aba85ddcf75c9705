// Symbols and scopes of the object store.
//
// Each file keeps its symbol records, a global scope (global binding) and an
// ordered list of list scopes (local binding). A symbol's value lives in a location
// slot of the file's expression context, so relocation expressions refer to the
// symbol by that slot; the admin maps slots back to symbols for the producer.
// Symbols are never freed one by one, and scopes keep their members as id arrays,
// so counting and walking them is constant time per symbol.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_types.h"

struct BlockPool;
struct IdTable;

// Symbol types, bits 0-2 of the flag byte.
enum IosSymbolType : uint32_t {
  IOS_SYMBOL_NONE = 0,
  IOS_SYMBOL_FUNCTION = 1,
  IOS_SYMBOL_OBJECT = 2,
  IOS_SYMBOL_FILE = 3,
  IOS_SYMBOL_SECTION = 4,
};
inline constexpr uint8_t IOS_SYMBOL_TYPE_MASK = 0x7;
inline constexpr uint8_t IOS_SYMBOL_DELETED_BIT = 1u << 3;
inline constexpr uint8_t IOS_SYMBOL_WEAK_BIT = 1u << 5;

enum IosScopeKind : uint32_t {
  IOS_SCOPE_ROOT = 1,
  IOS_SCOPE_GLOBAL = 2,
  IOS_SCOPE_LIST = 3,
};

// One record per symbol of the file, so its fields are packed without holes: the
// rare second value slot lives in the admin's side table, and the fourth number,
// which no operation sets, is not kept at all.
struct IosSymbol {
  uint32_t file_id;
  uint32_t symbol_id;
  uint32_t alias_id;  // 0 = none; lookups continue at that symbol
  IosHandle scope;
  IosHandle name;     // object id 0 = unset
  IosHandle section;  // object id 0 = undefined symbol
  uint32_t section_number;  // all ones = unset
  uint32_t other;           // all ones = unset
  uint32_t size;
  uint32_t scope_index;  // 0-based place in its scope's member array
  uint8_t mau_size;   // 0 = unset
  uint8_t info;       // 0 = unset
  uint8_t flags;      // type, deleted, weak
  ExprSlotRef slot;   // holds the value (location) expression
};

struct IosScope {
  IosHandle handle;
  IosHandle name;  // object id 0 = none
  uint32_t kind;   // IosScopeKind
  IosArray members;  // uint32_t symbol ids in order of creation
};

struct IosSymbolAdmin {
  BlockPool* symbol_pool;
  BlockPool* scope_pool;
  IdTable* symbols;
  IdTable* scopes;
  IosScope* global;      // null until ios_scope_get_global made it
  IosArray list_scopes;  // uint32_t scope ids in creation order
  IdTable* slot_map;     // symbol at index slot - 1
  IosScope* root;        // null until ios_create_root_scope made one
  IdTable* second_slots;  // ExprSlotRef* at index symbol id - 1, for the few that have one
};

// Admin lifecycle, used by the file's creation and teardown; delete drops nothing
// from the expression context (the context goes with the file). Null is ignored.
IosSymbolAdmin* ios_symbol_admin_new();
void ios_symbol_admin_delete(IosSymbolAdmin* admin);

// ---- Scopes ----

// The scope record; 16 when the id names none.
int ios_get_scope(IosHandle scope, IosScope** record, IosErrorCode* error);
// The global scope, made on the first call.
int ios_scope_get_global(uint32_t file_id, IosHandle* scope, IosErrorCode* error);
// The global scope; -1 with 2 when not made yet.
int ios_scope_get_global_handle(uint32_t file_id, IosHandle* scope, IosErrorCode* error);
// A new list scope appended to the scope list; a name string id below 1 gives none.
int ios_scope_create(uint32_t file_id, IosHandle name, IosHandle* scope, IosErrorCode* error);
// The list scope at a 0-based index; 16 when out of range.
int ios_scope_list_get(uint32_t index, uint32_t file_id, IosHandle* scope, IosErrorCode* error);
// Number of list scopes.
int ios_scope_list_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// Number of symbols of the scope.
int ios_scope_count_symbols(IosHandle scope, uint32_t* count, IosErrorCode* error);
// The symbol at a 0-based index of the scope's members (in creation order); 17
// when out of range.
int ios_scope_get_symbol(IosHandle scope, uint32_t index, IosHandle* symbol, IosErrorCode* error);

// ---- Symbols ----

// Creates a symbol in the scope: id = highest symbol id + 1; its value lives in the
// given slot, or in a new slot of the file's context when slot.index is 0; out:
// handle. 16 for an unknown scope.
int ios_symbol_create_with_slot(uint32_t file_id, IosHandle scope, ExprSlotRef slot,
                                IosHandle* symbol, IosErrorCode* error);
// The record after following alias ids; 17 when an id names none, 4 when the final
// record is deleted. *record holds the last record taken, also on failure.
int ios_get_symbol(IosHandle symbol, IosSymbol** record, IosErrorCode* error);
// Number of symbols ever made in the file (ids run 1..count).
int ios_file_count_symbols(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// The symbol whose value lives in a slot of the file's context; 39 when none.
int ios_symbol_find_by_slot(uint32_t file_id, uint32_t slot_index, IosHandle* symbol,
                            IosErrorCode* error);

// Write-once name; 37 for a string id below 1, 6 when set. Getter -1 with 2 unset.
int ios_symbol_set_name(IosHandle symbol, IosHandle name, IosErrorCode* error);
int ios_symbol_get_name(IosHandle symbol, IosHandle* name, IosErrorCode* error);
// Write-once section; 7 for a section id below 1, 6 when set. Getter gives object
// id 0 for an undefined symbol.
int ios_symbol_set_section(IosHandle symbol, IosHandle section, IosErrorCode* error);
int ios_symbol_get_section(IosHandle symbol, IosHandle* section, IosErrorCode* error);
// The symbol's section as a handle {file id, section id}, once the section is found;
// -1 with 2 for a symbol without section; lookup errors as their getters give them.
int ios_symbol_section(IosHandle symbol, IosHandle* section, IosErrorCode* error);
// Write-once section number (unset all ones); 6.
int ios_symbol_set_section_number(IosHandle symbol, uint32_t number, IosErrorCode* error);
// The symbol's number, else its section's number; -1 without error code when
// neither is set.
int ios_symbol_get_section_number(IosHandle symbol, uint32_t* number, IosErrorCode* error);
// Write-once unit width (unset 0); 6.
int ios_symbol_set_mau(IosHandle symbol, uint32_t bits, IosErrorCode* error);
// Other word := 0 when unset (0 again accepted); 6 for another stored value.
int ios_symbol_init_other(IosHandle symbol, IosErrorCode* error);
// Write-once other word (unset all ones); 6.
int ios_symbol_set_other(IosHandle symbol, uint32_t other, IosErrorCode* error);
// Type := low 3 bits when unset; 6 when set. Getter -1 with 2 when 0.
int ios_symbol_set_type(IosHandle symbol, uint32_t type, IosErrorCode* error);
int ios_symbol_get_type(IosHandle symbol, uint32_t* type, IosErrorCode* error);
// Weak flag: set, or set to bit 0 of the value; and its reader (0 or 1).
int ios_symbol_set_weak(IosHandle symbol, IosErrorCode* error);
int ios_symbol_put_weak(IosHandle symbol, uint32_t weak, IosErrorCode* error);
int ios_symbol_get_weak(IosHandle symbol, uint32_t* weak, IosErrorCode* error);
// Size and info byte (overwriting).
int ios_symbol_set_size(IosHandle symbol, uint32_t size, IosErrorCode* error);
int ios_symbol_get_size(IosHandle symbol, uint32_t* size, IosErrorCode* error);
int ios_symbol_set_info_byte(IosHandle symbol, uint32_t info, IosErrorCode* error);
// The kind of the scope that holds the symbol (IOS_SCOPE_GLOBAL or IOS_SCOPE_LIST).
int ios_symbol_get_binding(IosHandle symbol, uint32_t* scope_kind, IosErrorCode* error);
// Attaches the value expression (the slot takes a reference); 6 when it holds one.
// A null expression changes nothing.
int ios_symbol_set_value_expr(IosHandle symbol, ExprNode* value, IosErrorCode* error);
// The value expression (no reference taken); -1 with 2 when none (out cleared). A
// value held as section + offset gets its expression made here, once.
int ios_symbol_get_section_expr(IosHandle symbol, ExprNode** value, IosErrorCode* error);
// The value as its section's address + an unsigned offset, held as the pair with no
// expression (a label's value); readers that can take the pair read it with the
// getter below, the others get the expression from ios_symbol_get_section_expr.
// 7 for a symbol without section, 6 when the value is set.
int ios_symbol_set_section_offset(IosHandle symbol, uint32_t offset, IosErrorCode* error);
// The offset and the slot it is relative to (the section's address slot when the
// value was set); -1 with 2 when the value is not held as the pair.
int ios_symbol_get_section_offset(IosHandle symbol, uint32_t* offset, ExprSlotRef* base, IosErrorCode* error);
// The slot that holds the symbol's value, for expressions that refer to it.
int ios_symbol_get_slot(IosHandle symbol, ExprSlotRef* slot, IosErrorCode* error);
// The symbol's second value slot: index 0 when it has none.
int ios_symbol_set_second_slot(IosHandle symbol, ExprSlotRef slot, IosErrorCode* error);
int ios_symbol_get_second_slot(IosHandle symbol, ExprSlotRef* slot, IosErrorCode* error);
// Makes the symbol an alias of another: lookups continue at alias_id.
int ios_symbol_set_alias(IosHandle symbol, uint32_t alias_id, IosErrorCode* error);
// Marks the symbol deleted; lookups then fail with 4.
int ios_symbol_set_deleted(IosHandle symbol, IosErrorCode* error);
