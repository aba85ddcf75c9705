// The string table of a store file: texts entered in order of addition under
// 1-based string ids. Equal texts are not merged; each addition makes a new id.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct BlockPool;
struct IdTable;

struct IosString {
  IosHandle handle;
  uint32_t length;  // including the terminating NUL
  bool borrowed;    // the text is the caller's, not a copy the table owns
  const char* text;
};

struct IosStringTable {
  uint32_t file_id;
  BlockPool* pool;  // IosString records
  IdTable* strings;
};

// A new empty table for a file; null when out of memory.
IosStringTable* ios_strtab_new(uint32_t file_id);
// Frees every text, the records and the table. Null is ignored.
void ios_strtab_delete(IosStringTable* table);

// Adds a NUL-terminated text to the file's string table; out: its handle.
int ios_strtab_add(uint32_t file_id, const char* text, IosHandle* string, IosErrorCode* error);
// The same without a copy: the table refers to the caller's text, which must stay
// unchanged until the file is deleted (the assembler's interned names do). Saves a
// copy per symbol name.
int ios_strtab_add_borrowed(uint32_t file_id, const char* text, IosHandle* string, IosErrorCode* error);
// Looks a string record up by {file id, string id}.
int ios_get_string(IosHandle string, IosString** record, IosErrorCode* error);
// The text of a string; -1 with IOS_ERR_NO_PROPERTY when the record holds none.
int ios_string_get_text(IosHandle string, const char** text, IosErrorCode* error);
