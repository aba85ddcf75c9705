// Small operations on a writer for code that drives it record by record: debug
// blocks, name lookups by letter, the section an encoded expression names, and a
// look at the next record code of a read stream.
#pragma once

#include <cstdint>

#include "objlib/ieee695/ieee_writer.h"

// The record code (0xE0 and up) the stream holds next, else 0; nothing is taken.
uint32_t ieee_peek_record_code(IeeeStream* stream);
// Walks an encoded expression; every P, L or R variable makes the section entry of
// its index current. The current section entry after the walk (null when none).
IeeeSectionEntry* ieee_expression_section(IeeeWriter* writer, const StrBuf* bytes);
// The name entry of a letter I, X or N and an index; null for another letter.
IeeeNameEntry* ieee_find_name_entry_by_letter(IeeeWriter* writer, uint32_t letter, uint32_t index);
void ieee_name_entry_mark(IeeeNameEntry* entry);

// A new block record of a kind: a copy of the innermost open block when there is one.
IeeeDebugBlock* ieee_block_new(IeeeWriter* writer, uint32_t kind);
// Opens the block: it goes on the stack and becomes current; BB is emitted for it
// unless output is off. The emission's result.
int ieee_block_begin(IeeeWriter* writer, IeeeDebugBlock* block, IeeeFillCallback fill, uint32_t* error);
// Closes the innermost block, which becomes current, and emits BE for it. An empty
// stack leaves the current block null and writes nothing.
int ieee_block_end(IeeeWriter* writer, IeeeFillCallback fill, uint32_t* error);
// Makes the innermost open block current (null when none) and returns it.
IeeeDebugBlock* ieee_block_top(IeeeWriter* writer);
