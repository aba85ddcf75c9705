// Symbol operations of the store for the library's clients: creating a symbol with a
// slot of its own, aliases, deletion, integer values, further numbers, the root
// scope and the file's symbol admin. Conventions as in ios_types.h.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_symbol.h"
#include "objlib/ios_types.h"

struct IdTable;
struct IosSymbolAdmin;

// Creates a symbol with a new location slot in the scope of that id; the record's
// file id and symbol id are filled in (the rest of it is not read).
int ios_symbol_create(uint32_t file_id, uint32_t scope_id, IosSymbol* record, IosErrorCode* error);
// Makes A stand for B: A leaves its scope, its lookups continue at B, and its slot
// refers to B's. Refused (event 1, error 1) when A and B are the same symbol after
// their aliases, are in different files, or either is deleted.
int ios_symbol_make_alias(uint32_t file_id, uint32_t unused, uint32_t a_file_id, uint32_t a_id,
                          uint32_t b_file_id, uint32_t b_id, IosErrorCode* error);
// Marks the symbol deleted and takes it out of its scope.
int ios_symbol_delete(uint32_t file_id, uint32_t symbol_id, IosErrorCode* error);
// Stores a signed 64-bit value in the symbol's empty slot; 6 when it holds one.
int ios_symbol_set_value64(uint32_t file_id, uint32_t symbol_id, uint32_t low, uint32_t high,
                           IosErrorCode* error);
// Replaces the value of the second slot, when the symbol has one.
int ios_symbol_set_second_value(uint32_t unused, uint32_t file_id, uint32_t symbol_id,
                                int32_t value, IosErrorCode* error);
// The value, evaluated in place; {0, 0} and 0 when it does not reduce to a value;
// -1 with 2 for an empty slot.
int ios_symbol_get_value64(uint32_t file_id, uint32_t symbol_id, uint32_t value[2],
                           IosErrorCode* error);
int ios_symbol_get_scope(uint32_t file_id, uint32_t symbol_id, IosHandle* scope,
                         IosErrorCode* error);
int ios_symbol_set_name_handle(uint32_t file_id, uint32_t symbol_id, uint32_t string_file_id,
                               uint32_t string_id, IosErrorCode* error);
int ios_symbol_get_attribute(uint32_t file_id, uint32_t symbol_id, uint32_t* attribute,
                             IosErrorCode* error);
int ios_symbol_set_number(uint32_t file_id, uint32_t symbol_id, uint32_t number,
                          IosErrorCode* error);
// -1 without an error code when unset (all ones, or 0 for the fourth).
int ios_symbol_get_second_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                 IosErrorCode* error);
int ios_symbol_get_third_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                IosErrorCode* error);
int ios_symbol_get_fourth_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                 IosErrorCode* error);
// The handle reached after aliases (redirections for sections); the out handle's id
// is 0 on failure.
int ios_symbol_resolve(uint32_t file_id, uint32_t symbol_id, IosHandle* resolved,
                       IosErrorCode* error);
int ios_section_resolve(uint32_t file_id, uint32_t section_id, IosHandle* resolved,
                        IosErrorCode* error);
// A new scope of kind 1, made the root unless there is one (then 6; the scope stays).
int ios_create_root_scope(uint32_t file_id, IosHandle* scope, IosErrorCode* error);
int ios_get_root_scope(uint32_t file_id, IosHandle* scope, IosErrorCode* error);
// The scope's kind; 1 for kind 0.
int ios_scope_get_kind(uint32_t file_id, uint32_t scope_id, uint32_t* kind, IosErrorCode* error);
int ios_file_get_symbol_admin(uint32_t file_id, IosSymbolAdmin** admin, IosErrorCode* error);
// Stores 1 as the error when the file has no context, and still returns 0.
int ios_file_get_expr_context_of(uint32_t file_id, ExprLibContext** context,
                                 IosErrorCode* error);
// Symbols created while the flag is set are entered in the log.
uint32_t ios_file_get_symbol_log_flag(uint32_t file_id, IosErrorCode* error);
int ios_file_get_symbol_log(uint32_t file_id, IdTable** log, IosErrorCode* error);
