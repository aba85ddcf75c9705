#include "flow/SymbolNames.h"

#include <cstring>
#include <unordered_map>

#include "flow/Symbol.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/c-memory.h"

namespace {

// The folding of the C locale, the only one the assembler runs in, without a library
// call per character: every name of every statement is hashed through here.
inline unsigned char foldCase(unsigned char c) {
  return static_cast<unsigned char>(static_cast<unsigned>(c - 'a') < 26u ? c - ('a' - 'A') : c);
}

constexpr uint64_t kPositionMask = 0xFFFFFFFFu;

inline uint32_t slotHash(uint64_t slot) { return static_cast<uint32_t>(slot >> 32); }
inline size_t slotPosition(uint64_t slot) { return static_cast<size_t>(slot & kPositionMask) - 1; }

}  // namespace

namespace {

// Names compare as different while a name is chained (every name was new when it was
// entered), and by the scope's rule when one is looked for.
struct ChainEqual {
  const bool* adding;
  bool exact;
  bool operator()(const char* a, const char* b) const { return !*adding && SymbolNames::sameName(a, b, exact); }
};

struct ChainHash {
  size_t operator()(const char* name) const { return SymbolNames::hashName(name); }
};

}  // namespace

struct SymbolNames::Chains {
  explicit Chains(bool exact) : map(0, ChainHash(), ChainEqual{&adding, exact}) {}
  void add(Symbol* symbol) {
    adding = true;
    map.emplace(symbol->name, symbol);
    adding = false;
  }
  Symbol* first(const char* name) const {
    auto found = map.find(name);
    return found == map.end() ? nullptr : found->second;
  }
  bool adding = false;
  std::unordered_multimap<const char*, Symbol*, ChainHash, ChainEqual> map;
};

// Every character counts: generated names (macro-local labels, numbered labels) differ
// only in a few digits.
uint32_t SymbolNames::hashName(const char* name) {
  uint32_t hash = 2166136261u;
  for (const char* p = name; *p; ++p) hash = (hash ^ foldCase(static_cast<unsigned char>(*p))) * 16777619u;
  return hash;
}

bool SymbolNames::sameFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (foldCase(static_cast<unsigned char>(*a)) != foldCase(static_cast<unsigned char>(*b))) return false;
    if (*a == '\0') return true;
  }
}

bool SymbolNames::sameName(const char* a, const char* b, bool exact) {
  if (a == b) return true;
  if (exact || orbaOptions()->caseSensitive) return std::strcmp(a, b) == 0;
  return sameFolded(a, b);
}

// Fibonacci hashing spreads the FNV value's high and low bits over the index; the
// shift keeps as many top bits as the index has slots.
size_t SymbolNames::home(uint32_t hash) const {
  return static_cast<size_t>((static_cast<uint64_t>(hash) * 0x9E3779B97F4A7C15ull) >> shift_);
}

SymbolNames::Probe SymbolNames::probe(const char* name, uint32_t hash) const {
  Probe result;
  result.hash = hash;
  if (slotCount_ == 0) return result;
  bool exact = exact_ || orbaOptions()->caseSensitive;
  // Only under the folding rule, and only once two spellings were entered, can more
  // than one name match: then every match is counted.
  bool countMatches = !exact && chains_;
  // A name is most often asked for again right after it was entered or found (a
  // binding directive, then the label): the symbol of that very text is the only
  // match under either rule while no two spellings are counted.
  if (recent_ && recent_->name == name && !countMatches) {
    result.found = recent_;
    return result;
  }
  int matches = 0;
  size_t mask = slotCount_ - 1;
  for (size_t at = home(hash);; at = (at + 1) & mask) {
    uint64_t slot = slots_[at];
    if (slot == 0) {
      result.slot = at;
      break;
    }
    if (slotHash(slot) != hash) continue;
    Symbol* symbol = symbols_[slotPosition(slot)];
    if (sameName(symbol->name, name, exact)) {
      if (!countMatches) {
        result.found = symbol;
        if (symbol->name == name) recent_ = symbol;
        return result;
      }
      if (++matches == 1) result.found = symbol;
    } else if (exact && sameFolded(symbol->name, name)) {
      result.otherSpelling = true;
    }
  }
  if (matches > 1) result.found = chains_->first(name);
  return result;
}

Symbol* SymbolNames::find(const char* name, uint32_t hash) const { return probe(name, hash).found; }

Symbol* SymbolNames::recentNamed(const char* name) const {
  if (!recent_) return nullptr;
  const bool exact = exact_ || orbaOptions()->caseSensitive;
  // As probe: while no two spellings are counted, the one symbol of the name is the match.
  if (!exact && chains_) return nullptr;
  return sameName(recent_->name, name, exact) ? recent_ : nullptr;
}

SymbolNames::Probe SymbolNames::probeForInsert(const char* name, uint32_t hash) {
  // At most half the slots are taken, so that a probe for a missing name ends soon.
  if ((symbols_.size() + 1) * 2 > slotCount_) grow();
  return probe(name, hash);
}

void SymbolNames::insert(const Probe& probe, Symbol* symbol) {
  symbols_.push_back(symbol);
  slots_[probe.slot] = (static_cast<uint64_t>(probe.hash) << 32) | symbols_.size();
  recent_ = symbol;
  if (chains_) chains_->add(symbol);
  else if (probe.otherSpelling) chains_ = buildChains();
}

void SymbolNames::add(Symbol* symbol) {
  Probe probe = probeForInsert(symbol->name, hashName(symbol->name));
  insert(probe, symbol);
}

void SymbolNames::grow() {
  size_t count = slotCount_ == 0 ? 8 : slotCount_ * 2;
  uint64_t* old = slots_;
  size_t oldCount = slotCount_;
  slots_ = static_cast<uint64_t*>(mem_table_alloc(count * sizeof(uint64_t)));
  slotCount_ = count;
  shift_ = 64;
  for (size_t bits = count; bits > 1; bits >>= 1) --shift_;
  size_t mask = count - 1;
  for (size_t index = 0; index < oldCount; ++index) {
    uint64_t slot = old[index];
    if (slot == 0) continue;
    size_t at = home(slotHash(slot));
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = slot;
  }
  mem_table_free(old, oldCount * sizeof(uint64_t));
}

SymbolNames::SymbolNames(bool exact) : exact_(exact) {}

SymbolNames::~SymbolNames() { mem_table_free(slots_, slotCount_ * sizeof(uint64_t)); }

std::unique_ptr<SymbolNames::Chains> SymbolNames::buildChains() const {
  auto chains = std::make_unique<Chains>(exact_);
  for (Symbol* symbol : symbols_) chains->add(symbol);
  return chains;
}

std::vector<Symbol*> SymbolNames::reportOrder() const {
  std::unique_ptr<Chains> built;
  const Chains* chains = chains_.get();
  if (!chains) {
    built = buildChains();
    chains = built.get();
  }
  std::vector<Symbol*> order;
  order.reserve(symbols_.size());
  for (const auto& entry : chains->map) order.push_back(entry.second);
  return order;
}
