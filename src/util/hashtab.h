// Open-addressing hash table of caller-owned entry pointers: double hashing over
// prime sizes, lazy allocation, deletion markers, growth and shrinking. A lookup
// leaves the table on the slot where the key was found or would go (curpos) and
// an insert fills exactly that slot.
#pragma once

#include <cstdint>

using HashtabKeyOf = const void* (*)(const void* entry);
using HashtabHashFn = uint32_t (*)(const void* key);
// Returns 0 when the entry's key equals the key.
using HashtabCompareFn = int (*)(const void* entry, const void* key);

struct Hashtab {
  void** table;         // size slots; null until the first lookup with a key
  void** curpos;        // slot of the last lookup or iteration step
  void** iter;          // next slot an iteration examines; == table when none runs
  uint32_t size;        // 0 or one of the table primes
  uint32_t count;       // occupied slots, deletion markers included
  uint32_t deleted;     // deletion markers
  uint32_t lowMark;     // shrink below this many live entries
  uint32_t highMark;    // grow above this many occupied slots
  uint32_t stepMask;    // largest 2^k - 1 below size
  HashtabHashFn hashFn;        // optional; then keys compare as pointers or by compareFn
  HashtabCompareFn compareFn;  // optional
  HashtabKeyOf keyOf;          // optional; without it the entry is its own key
  int32_t keyKind;  // 0: NUL-terminated text; n > 0: n bytes; < 0: the pointer itself
};

Hashtab* hashtab_create(HashtabKeyOf keyOf, int32_t keyKind);
// Frees the bucket array and the header; the entries stay the caller's.
void hashtab_free(Hashtab* h);
void* hashtab_lookup(Hashtab* h, const void* key);
void hashtab_insert(Hashtab* h, void* data);
void hashtab_add_if_absent(Hashtab* h, void* data);
void* hashtab_next(Hashtab* h);
void hashtab_remove_current(Hashtab* h);

// The table's hash of a key, exposed for the tables' own tests.
uint32_t hashtab_hash(const Hashtab* h, const void* key);
// The first table size greater than target.
uint32_t hashtab_size_above(uint32_t target);
