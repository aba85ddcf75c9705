// Hash table and string interning driven by a script of lookups, inserts,
// removals and iterations, checked against a standard set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "util/hashtab.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Hashtab* h = hashtab_create(nullptr, 0);
  StringBuffer strings;
  std::set<std::string> model;
  std::vector<std::string> owned;  // the entries' storage
  owned.reserve(size);
  size_t pos = 0;
  while (pos + 2 <= size) {
    uint8_t op = data[pos] % 4;
    size_t length = data[pos + 1] % 6;
    pos += 2;
    if (pos + length > size) length = size - pos;
    std::string key(reinterpret_cast<const char*>(data + pos), length);
    key = key.c_str();
    pos += length;
    if (op == 0 || op == 1) {
      void* found = hashtab_lookup(h, key.c_str());
      if ((found != nullptr) != (model.count(key) != 0)) abort();
      if (found && std::strcmp(static_cast<char*>(found), key.c_str()) != 0) abort();
      if (!found && op == 0) {
        owned.push_back(key);
        hashtab_insert(h, owned.back().data());
        model.insert(key);
      }
      if (found && op == 1) {
        hashtab_remove_current(h);
        model.erase(key);
      }
    } else if (op == 2) {
      size_t visited = 0;
      while (void* entry = hashtab_next(h)) {
        ++visited;
        if (!model.count(static_cast<char*>(entry))) abort();
      }
      if (visited != model.size()) abort();
    } else {
      const char* first = strings.intern(key.c_str());
      if (std::strcmp(first, key.c_str()) != 0 || strings.intern(key.c_str()) != first) abort();
      const char* ranged = strings.internRange(key.data(), key.data() + key.size());
      if (ranged != first) abort();
    }
    if (h->size && h->count > h->highMark) abort();
  }
  for (const std::string& key : model) {
    if (!hashtab_lookup(h, key.c_str())) abort();
  }
  hashtab_free(h);
  return 0;
}
