// Small operations on a writer for code that drives it record by record: debug
// blocks, name lookups by letter, the section an encoded expression names, and a
// look at the next record code of a read stream.
#pragma once

#include <cstdint>
#include <vector>

#include "objlib/ieee695/ieee_writer.h"

struct IdTable;

// The record code (0xE0 and up) the stream holds next, else 0; nothing is taken.
uint32_t ieee_peek_record_code(IeeeStream* stream);
// Walks an encoded expression; every P, L or R variable makes the section entry of
// its index current. The current section entry after the walk (null when none).
IeeeSectionEntry* ieee_expression_section(IeeeWriter* writer, const StrBuf* bytes);
// The name entry of a letter I, X or N and an index; null for another letter.
IeeeNameEntry* ieee_find_name_entry_by_letter(IeeeWriter* writer, uint32_t letter, uint32_t index);
void ieee_name_entry_mark(IeeeNameEntry* entry);
// Sets the two words that tie a letter record to the store: the slot a reference
// to it is looked up by, and the slot a reference node to it names. A null record is
// left alone.
void ieee_record_set_pair(IeeeLetterRecord* record, uint32_t reference, uint64_t reference_value);
// Gives the id table held in the slot back to the pools; the slot becomes null.
void ieee_free_id_table(IdTable** owner);

// A new block record of a kind: a copy of the innermost open block when there is one.
IeeeDebugBlock* ieee_block_new(IeeeWriter* writer, uint32_t kind);
// Opens the block: it goes on the stack and becomes current; BB is emitted for it
// unless output is off. The emission's result.
int ieee_block_begin(IeeeWriter* writer, IeeeDebugBlock* block, IeeeFillCallback fill, uint32_t* error);
// Closes the innermost block, which becomes current, and emits BE for it. An empty
// stack leaves the current block null and writes nothing.
int ieee_block_end(IeeeWriter* writer, IeeeFillCallback fill, uint32_t* error);
// The innermost block of a block stack; null for an empty or null stack.
IeeeDebugBlock* ieee_block_stack_top(const std::vector<IeeeDebugBlock*>* stack);
// Makes the innermost open block current (null when none) and returns it.
IeeeDebugBlock* ieee_block_top(IeeeWriter* writer);

// The context entry of an index; becomes current (null when none).
IeeeContextEntry* ieee_context_entry_at(IeeeWriter* writer, uint32_t index);
// Makes each context entry current in index order and calls the callback; the first
// non-zero result ends the walk and is returned, 0 after the last.
int ieee_for_each_context_entry(IeeeWriter* writer, int (*callback)(IeeeWriter*, void*), void* argument);
// Appends the call expression of a call-graph node (key: the function's symbol): an
// NN record names the function, then N, its name index, and for each callee, in
// ascending order, O and the callee's context index or the callee's own expression,
// each followed by the call code 0x9F. A node encoded before appends nothing. 0, or 1
// when the node or its symbol cannot be had, or the emission's result.
int ieee_encode_callgraph(IeeeWriter* writer, StrBuf* buffer, uint32_t* error, IosHandle node);
// Gives every generated name operand "S<n>" of the node a fresh number: an NN record
// names string n, and the operand becomes "S<index of that record>". The result of
// the last emission, 0 when no operand qualified.
int ieee_emit_named_record(IeeeWriter* writer, ExprNode* node, uint32_t* error);
// Sets a writer up for reading a module from its handle: a read stream, the scopes
// that names read go to, the module name in the string table, empty tables.
void ieee_prepare_reader(IeeeWriter* writer);
