// The names of one symbol table scope: its symbols in the order they were entered,
// and an open-addressing index over them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Symbol;

class SymbolNames {
 public:
  // Hash of a name: FNV-1a over every character, letter case folded, so that a name
  // lands in the same place under both case rules.
  static uint32_t hashName(const char* name);
  // Exact comparison when exact is set or the options' case-sensitive flag is, else
  // ignoring letter case. The flag can change during the parse ($CASE), which is why
  // the hash never depends on it.
  static bool sameName(const char* a, const char* b, bool exact);
  // Equal once letter case is folded.
  static bool sameFolded(const char* a, const char* b);

  // Where a probe for a name ended: the symbol it found, or the free slot the name
  // would take. Valid until the next insert.
  struct Probe {
    Symbol* found = nullptr;
    size_t slot = 0;
    uint32_t hash = 0;
    bool otherSpelling = false;  // a name differing only in case is here
  };

  // exact: the comparison of this scope, fixed when the scope is made.
  explicit SymbolNames(bool exact);
  ~SymbolNames();
  SymbolNames(const SymbolNames&) = delete;
  SymbolNames& operator=(const SymbolNames&) = delete;

  size_t size() const { return symbols_.size(); }
  // Slots of the index: none until the first name.
  size_t slotCount() const { return slotCount_; }
  bool empty() const { return symbols_.empty(); }
  // In the order they were entered.
  const std::vector<Symbol*>& symbols() const { return symbols_; }

  Symbol* find(const char* name) const { return find(name, hashName(name)); }
  Symbol* find(const char* name, uint32_t hash) const;
  // The symbol last entered or found when the name is its own, compared as a find would
  // compare it; else null, and a find must answer. Needs no hash: a stretch of jumps
  // names one label again and again.
  Symbol* recentNamed(const char* name) const;
  // A probe that leaves room for one more name, so that its slot stays good for insert.
  Probe probeForInsert(const char* name, uint32_t hash);
  // Enters the symbol under its own name at the probe's slot; the probe found nothing.
  void insert(const Probe& probe, Symbol* symbol);
  // Enters a symbol whose name is not here yet.
  void add(Symbol* symbol);

  // The order the symbol checks report in: the chain order of a hashed multimap of the
  // names (with the hash above, filled in entry order). Diagnostics of several symbols
  // follow it, so a test that names them reads the same whatever the index does.
  std::vector<Symbol*> reportOrder() const;

 private:
  Probe probe(const char* name, uint32_t hash) const;
  struct Chains;
  // The names chained in report order, built from symbols_.
  std::unique_ptr<Chains> buildChains() const;
  size_t home(uint32_t hash) const;
  void grow();

  std::vector<Symbol*> symbols_;
  // Per slot: the name's hash in the high word, its position in symbols_ plus one in
  // the low word; 0 is a free slot. The hash beside the position lets a probe pass
  // other names without reading their symbols. A large index lies on huge pages: a
  // probe of a scope of a million names is one cache miss, not a page walk too.
  uint64_t* slots_ = nullptr;
  size_t slotCount_ = 0;
  unsigned shift_ = 64;
  bool exact_;
  // Made when a name is entered (under the exact rule) beside another spelling of it:
  // a lookup under the folding rule may then match both, and takes the one first in
  // report order. Kept up to date from then on, so that such lookups stay cheap.
  std::unique_ptr<Chains> chains_;
  // The symbol last entered or found by its own name's text: asked for again, it is
  // found without a probe.
  mutable Symbol* recent_ = nullptr;
};
