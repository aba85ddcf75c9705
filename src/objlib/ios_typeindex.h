// An index of a file's interned types by a hash of their structure, so interning
// finds an equal type without comparing against every type of the table.
//
// A detail can still be written after its type is interned (the detail setters
// take the detail itself), which would leave the type filed under a hash it no
// longer has. Every detail write therefore reports itself through
// ios_type_detail_changed, which files the type again under its new hash. Names
// hash by their text, so a string whose text is taken or given changes the hash of
// every type named by it: ios_type_text_changed files every type again.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"

struct IosTypeIndex;

// An empty index; null when out of memory.
IosTypeIndex* ios_type_index_new();
// Null is ignored.
void ios_type_index_free(IosTypeIndex* index);
// Files an interned type under the hash of its structure; 1 when out of memory.
int ios_type_index_add(IosTypeIndex* index, IosType* type);
// The lowest type id whose structure equals {kind, detail}; 0 when none.
uint32_t ios_type_index_find(const IosTypeIndex* index, uint32_t kind, void* detail);
// Files the interned type that owns the detail (if any) under its current hash.
// Details of typerefs not yet interned are in no index and are passed over.
void ios_type_detail_changed(void* detail);
// Files every interned type of every file under its current hash; called when the
// text of a string changes.
void ios_type_text_changed();

// A hash of {kind, detail} that agrees with ios_typeref_equal: equal structures
// hash alike. Names count by their text, as equality compares them.
uint64_t ios_typeref_hash(uint32_t kind, void* detail);
