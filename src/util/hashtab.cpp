#include "util/hashtab.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "util/assertion.h"

namespace {

const uint32_t kTableSizes[] = {
    11u,        31u,        67u,        131u,       257u,       521u,        1021u,
    2039u,      4093u,      8179u,      16381u,     32749u,     65521u,      131063u,
    262139u,    524269u,    1048573u,   2097143u,   4194301u,   8388593u,    16777213u,
    33554393u,  67108859u,  134217689u, 268435399u, 536870909u, 1073741789u, 2147483629u,
    4294967295u};

// A slot value no entry can have.
// Only its address counts: never written.
const char deletionMarkerByte = 0;
void* const kDeleted = const_cast<char*>(&deletionMarkerByte);

[[noreturn]] void outOfMemory() {
  static const char text[] = "hashtab_calloc: Cannot allocate memory.\n";
  ssize_t written = write(STDERR_FILENO, text, sizeof text - 1);
  (void)written;
  std::exit(2);
}

void* hashtabCalloc(size_t count, size_t size) {
  void* memory = std::calloc(count, size);
  if (!memory) outOfMemory();
  return memory;
}

#define HASHTAB_CHECK(condition, text) \
  ((condition) ? (void)0 : vektAssertFailed(text, "hashtab.c", __LINE__, __func__))

const void* keyOfEntry(const Hashtab* h, const void* entry) {
  return h->keyOf ? h->keyOf(entry) : entry;
}

bool keysEqual(const Hashtab* h, const void* entry, const void* key) {
  const void* entryKey = keyOfEntry(h, entry);
  if (h->hashFn || h->keyKind < 0) {
    return h->compareFn ? h->compareFn(entry, key) == 0 : entryKey == key;
  }
  if (h->keyKind == 0) {
    return std::strcmp(static_cast<const char*>(entryKey), static_cast<const char*>(key)) == 0;
  }
  return std::memcmp(entryKey, key, static_cast<size_t>(h->keyKind)) == 0;
}

uint32_t mixByte(uint32_t hash, unsigned char byte) {
  uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(byte)));
  return value + (hash << 4) + (hash >> 15);
}

void setMarks(Hashtab* h) {
  h->lowMark = (h->size / 10) * 25 / 10;
  h->highMark = (h->size / 10) * 75 / 10;
  uint32_t mask = 1;
  while (mask * 2 + 1 < h->size && mask < 0x7FFFFFFFu) mask = mask * 2 + 1;
  h->stepMask = mask;
}

// The empty slot at the end of the key's probe: only valid in a fresh array,
// which holds no markers and no equal key.
void** firstEmptySlot(const Hashtab* h, const void* key) {
  uint32_t hash = hashtab_hash(h, key);
  uint64_t index = hash % h->size;
  uint64_t step = (hash & h->stepMask) + 1;
  while (h->table[index]) {
    index += step;
    if (index >= h->size) index -= h->size;
  }
  return &h->table[index];
}

// Twice the live count, in the arithmetic that keeps the intermediate below 2^32.
uint32_t doubledTarget(uint32_t live) {
  return live < 10000 ? live * 100 / 50 : (live * 10 / 50) * 10;
}

void rebuild(Hashtab* h, uint32_t target) {
  void** oldTable = h->table;
  uint32_t oldSize = h->size;
  h->size = hashtab_size_above(target);
  h->count = 0;
  h->deleted = 0;
  h->table = static_cast<void**>(hashtabCalloc(h->size, sizeof(void*)));
  h->iter = h->table;
  h->curpos = nullptr;
  setMarks(h);
  for (uint32_t i = 0; i < oldSize; ++i) {
    void* entry = oldTable[i];
    if (!entry || entry == kDeleted) continue;
    *firstEmptySlot(h, keyOfEntry(h, entry)) = entry;
    ++h->count;
  }
  std::free(oldTable);
}

void shrinkCheck(Hashtab* h) {
  if (h->deleted == 0 || h->iter != h->table) return;
  uint32_t live = h->count - h->deleted;
  if (live >= h->lowMark || h->size <= kTableSizes[0]) return;
  rebuild(h, doubledTarget(live));
}

}  // namespace

uint32_t hashtab_size_above(uint32_t target) {
  for (uint32_t size : kTableSizes) {
    if (size > target) return size;
  }
  return kTableSizes[sizeof kTableSizes / sizeof kTableSizes[0] - 1];
}

uint32_t hashtab_hash(const Hashtab* h, const void* key) {
  if (h->hashFn) return h->hashFn(key);
  uint32_t hash = 0;
  if (h->keyKind == 0) {
    for (const unsigned char* byte = static_cast<const unsigned char*>(key); *byte; ++byte) {
      hash = mixByte(hash, *byte);
    }
  } else if (h->keyKind > 0) {
    const unsigned char* bytes = static_cast<const unsigned char*>(key);
    for (int32_t i = 0; i < h->keyKind; ++i) hash = mixByte(hash, bytes[i]);
  } else {
    unsigned char bytes[sizeof key];
    std::memcpy(bytes, &key, sizeof key);
    for (unsigned char byte : bytes) hash = mixByte(hash, byte);
  }
  return hash;
}

Hashtab* hashtab_create(HashtabKeyOf keyOf, int32_t keyKind) {
  Hashtab* h = static_cast<Hashtab*>(hashtabCalloc(1, sizeof(Hashtab)));
  h->keyOf = keyOf;
  h->keyKind = keyKind;
  return h;
}

void hashtab_free(Hashtab* h) {
  if (!h) return;
  std::free(h->table);
  std::free(h);
}

void* hashtab_lookup(Hashtab* h, const void* key) {
  if (h->size == 0) {
    if (!key) return nullptr;
    h->size = kTableSizes[0];
    h->table = static_cast<void**>(hashtabCalloc(h->size, sizeof(void*)));
    h->iter = h->table;
    setMarks(h);
  }
  uint32_t hash = hashtab_hash(h, key);
  uint64_t index = hash % h->size;
  uint64_t step = (hash & h->stepMask) + 1;
  // A full walk of a prime-sized table visits every slot; growth keeps one empty.
  for (uint32_t visited = 0; visited < h->size; ++visited) {
    void* entry = h->table[index];
    if (!entry) {
      h->curpos = &h->table[index];
      return nullptr;
    }
    if (entry != kDeleted && keysEqual(h, entry, key)) {
      h->curpos = &h->table[index];
      return entry;
    }
    index += step;
    if (index >= h->size) index -= h->size;
  }
  h->curpos = nullptr;
  return nullptr;
}

void hashtab_insert(Hashtab* h, void* data) {
  HASHTAB_CHECK(h->curpos && *h->curpos == nullptr, "*h->curpos == NULL");
  HASHTAB_CHECK(data, "data");
  *h->curpos = data;
  h->curpos = nullptr;
  uint32_t newCount = h->count + 1;
  if (newCount <= h->highMark) {
    h->count = newCount;
    h->iter = h->table;
    return;
  }
  uint32_t target = h->deleted == 0 ? h->size : doubledTarget(newCount - h->deleted);
  rebuild(h, target);
}

void hashtab_add_if_absent(Hashtab* h, void* data) {
  if (!h || !data) return;
  if (hashtab_lookup(h, keyOfEntry(h, data))) return;
  hashtab_insert(h, data);
}

void* hashtab_next(Hashtab* h) {
  if (h->table) {
    void** end = h->table + h->size;
    while (h->iter < end) {
      h->curpos = h->iter++;
      void* entry = *h->curpos;
      if (entry && entry != kDeleted) return entry;
    }
  }
  h->iter = h->table;
  h->curpos = nullptr;
  shrinkCheck(h);
  return nullptr;
}

void hashtab_remove_current(Hashtab* h) {
  HASHTAB_CHECK(h->curpos && *h->curpos != nullptr, "*h->curpos != NULL");
  *h->curpos = kDeleted;
  h->curpos = nullptr;
  ++h->deleted;
  shrinkCheck(h);
}
