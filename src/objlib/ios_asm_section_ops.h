// Further operations on the assembler-section records of a debug module for the
// library's clients: the kind, two free words, entry expressions, removal, and walking
// a module's records in id order. Record handles are {file id, module id, record id};
// the module is looked up first (20 when absent), then the record (32).
#pragma once

#include <cstdint>

#include "objlib/ios_debug.h"
#include "objlib/ios_types.h"

struct ExprNode;

// The kind; -1 without an error code while unset.
int ios_asm_section_get_kind(const IosDebugHandle& record, uint32_t* kind, IosErrorCode* error);
int ios_asm_section_get_word_a(const IosDebugHandle& record, uint32_t* word, IosErrorCode* error);
int ios_asm_section_set_word_a(const IosDebugHandle& record, uint32_t word, IosErrorCode* error);
int ios_asm_section_get_word_b(const IosDebugHandle& record, uint32_t* word, IosErrorCode* error);
int ios_asm_section_set_word_b(const IosDebugHandle& record, uint32_t word, IosErrorCode* error);
// Appends an entry: a node of kind 33 over {the string's text as a string value, x, y},
// each operand counted once more. 2 when the string has no text, 1 when the file has
// no expression context.
int ios_asm_section_add_entry(const IosDebugHandle& record, IosHandle string, ExprNode* x,
                              ExprNode* y, IosErrorCode* error);
// The number of entries and entry n (0-based, no reference taken); 1 past the end.
int ios_asm_section_entry_count(const IosDebugHandle& record, uint32_t* count,
                                IosErrorCode* error);
int ios_asm_section_entry_at(const IosDebugHandle& record, uint32_t index, ExprNode** entry,
                             IosErrorCode* error);
// The section the record names, as ios_get_section finds it; -1 with 2 when it
// names none, the section's own errors when that lookup fails.
int ios_asm_section_get_section(const IosDebugHandle& record, IosHandle* section,
                                IosErrorCode* error);
// Entry n (0-based): its text as a new string of the record's file, and its second
// and third operands (no reference taken; the third is null when the entry has only
// two). 38 when n is past the entries; 1 for an entry without a text.
int ios_asm_section_get_expression(const IosDebugHandle& record, uint32_t index,
                                   IosHandle* string, ExprNode** second, ExprNode** third,
                                   IosErrorCode* error);
// Takes the record out of its module and frees it with its entries.
int ios_asm_section_remove(const IosDebugHandle& record, IosErrorCode* error);
// The handle of the module's p-th record (from 0) in id order; 32 when p is not below
// the module's number of records (the out handle is then untouched).
int ios_module_asm_section_walk(const IosDebugHandle& module, uint32_t position,
                                IosDebugHandle* record, IosErrorCode* error);
// The number of the module's records.
int ios_module_asm_section_count(const IosDebugHandle& module, uint32_t* count, IosErrorCode* error);
