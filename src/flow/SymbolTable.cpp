#include "flow/SymbolTable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"

namespace {

// The folding of the C locale, the only one the assembler runs in, without a library
// call per character: every name of every statement is hashed through here.
inline unsigned char foldCase(unsigned char c) {
  return static_cast<unsigned char>(static_cast<unsigned>(c - 'a') < 26u ? c - ('a' - 'A') : c);
}

}  // namespace

// Every character counts: generated names (macro-local labels, numbered labels) differ
// only in a few digits, and sampling every few characters put thousands of them in
// one bucket.
size_t SymbolTable::NameHash::operator()(const char* name) const {
  uint32_t hash = 2166136261u;
  for (const char* p = name; *p; ++p) hash = (hash ^ foldCase(static_cast<unsigned char>(*p))) * 16777619u;
  return hash;
}

bool SymbolTable::NameEqual::operator()(const char* a, const char* b) const {
  if (a == b) return true;
  if (exact || orbaOptions()->caseSensitive) return std::strcmp(a, b) == 0;
  for (;; ++a, ++b) {
    if (foldCase(static_cast<unsigned char>(*a)) != foldCase(static_cast<unsigned char>(*b))) return false;
    if (*a == '\0') return true;
  }
}

void* SymbolTable::allocateNode(size_t size) { return Symbol::operator new(size); }

void SymbolTable::freeNode(void* block, size_t size) { Symbol::operator delete(block, size); }

SymbolTable::NameEqual SymbolTable::nameEqual() {
  NameEqual equal;
  equal.exact = orbaOptions()->caseSensitiveFast;
  return equal;
}

// Maps start without buckets: most scopes hold a handful of names, and the module
// scope grows by doubling as the source fills it.
SymbolTable::LocalSymbolTable::LocalSymbolTable(SymbolTable* owner, uint16_t scopeId,
                                                LocalSymbolTable* enclosing)
    : owner(owner),
      global(&owner->names),
      scopeId(scopeId),
      enclosing(enclosing),
      symbols(0, NameHash(), nameEqual()),
      localLabelCounts(0, NameHash(), nameEqual()) {}

void* SymbolTable::LocalSymbolTable::operator new(size_t size) noexcept {
  return Symbol::operator new(size);
}

void SymbolTable::LocalSymbolTable::operator delete(void* block, size_t size) {
  Symbol::operator delete(block, size);
}

Symbol* SymbolTable::LocalSymbolTable::lookup(const char* name) const {
  for (const LocalSymbolTable* scope = this; scope; scope = scope->enclosing) {
    auto found = scope->symbols.find(name);
    if (found != scope->symbols.end()) return found->second;
  }
  return nullptr;
}

uint32_t SymbolTable::LocalSymbolTable::localLabelCount(const char* digits) const {
  auto found = localLabelCounts.find(digits);
  return found == localLabelCounts.end() ? 0 : found->second;
}

Symbol* SymbolTable::LocalSymbolTable::defineSymbol(const char* name, LineInfo* line) {
  bool numberedLocal = std::isdigit(static_cast<unsigned char>(name[0]));
  std::string localName;
  if (numberedLocal) {
    auto counter = localLabelCounts.find(name);
    if (counter == localLabelCounts.end())
      counter = localLabelCounts.emplace(stringBuffer()->intern(name), 0);
    uint32_t definition = ++counter->second;
    // Each definition gets a name of its own that no source name can spell.
    int length = static_cast<int>(std::char_traits<char>::length(name));
    localName.resize(32 + static_cast<size_t>(length));
    int written = std::snprintf(localName.data(), localName.size(), "__NL%06u_%*.*s", definition,
                                length, length, name);
    localName.resize(static_cast<size_t>(written));
    name = localName.c_str();
  }

  auto found = symbols.find(name);
  if (found != symbols.end()) {
    Symbol* symbol = found->second;
    if (symbol->isDefined()) {
      if (symbol->isSpecialFunctionRegister()) {
        const char* fileName =
            line ? sourceFileName(static_cast<int32_t>(line->sourceFile)) : nullptr;
        errorHandler()->reportWithoutLocation(E_sfr_defined_symbol, fileName ? fileName : "",
                                              line ? line->lineNumberSigned() : -1, name);
      } else {
        int earlier = symbol->definitionLine ? symbol->definitionLine->lineNumberSigned() : 0;
        errorHandler()->report(E_multiple_defined_symbol, line, name, earlier);
      }
      return nullptr;
    }
    if (symbol->isExternal()) {
      errorHandler()->report(E_symbol_defined_external, line, name);
      return nullptr;
    }
    symbol->flags[0] |= Symbol::kDefined;
    symbol->definitionLine = line;
    return symbol;
  }

  Symbol* symbol = defineNewSymbol(name, line);
  if (symbol && numberedLocal) symbol->flags[0] |= Symbol::kInternal;
  return symbol;
}

Symbol* SymbolTable::LocalSymbolTable::defineNewSymbol(const char* name, LineInfo* line) {
  Symbol* symbol = Symbol::create(stringBuffer()->intern(name), static_cast<int16_t>(scopeId));
  if (!symbol) return nullptr;
  symbol->flags[0] |= Symbol::kDefined;
  symbol->definitionLine = line;
  symbols.emplace(symbol->name, symbol);
  return symbol;
}

SymbolTable::SymbolIter::SymbolIter(const SymbolTable& table) : scopes_(table.scopes) {}

void SymbolTable::SymbolIter::start() const {
  started_ = true;
  scope_ = scopes_.begin();
  copyScope();
  skipEmptyScopes();
}

void SymbolTable::SymbolIter::copyScope() const {
  entries_.clear();
  entry_ = 0;
  if (scope_ == scopes_.end()) return;
  const NameMap<Symbol*>& symbols = scope_->second->symbols;
  entries_.reserve(symbols.size());
  for (const auto& entry : symbols) entries_.push_back(entry.second);
}

void SymbolTable::SymbolIter::skipEmptyScopes() const {
  while (scope_ != scopes_.end() && entry_ >= entries_.size()) {
    ++scope_;
    copyScope();
  }
}

void SymbolTable::SymbolIter::first() { start(); }

void SymbolTable::SymbolIter::next() {
  if (isDone()) return;
  ++entry_;
  skipEmptyScopes();
}

bool SymbolTable::SymbolIter::isDone() const {
  if (!started_) start();
  return scope_ == scopes_.end();
}

Symbol* SymbolTable::SymbolIter::current() const { return isDone() ? nullptr : entries_[entry_]; }

// The name maps take their case flag from the options, so the options come first.
SymbolTable::SymbolTable() : names(0, NameHash(), nameEqual()) {
  makeModuleScope();
}

SymbolTable::~SymbolTable() { discardScopes(false); }

void SymbolTable::makeModuleScope() {
  currentScope = 0;
  current = new LocalSymbolTable(this, 0, nullptr);
  scopes[0] = current;
}

void SymbolTable::discardScopes(bool poolIsGoing) {
  // A symbol may sit in the module-wide map and in a scope; each goes once. A sorted
  // vector finds the repeats at a fraction of a hash set's cost for large tables.
  std::vector<Symbol*> symbols;
  size_t count = names.size();
  for (const auto& scope : scopes) count += scope.second->symbols.size();
  symbols.reserve(count);
  for (const auto& entry : names) symbols.push_back(entry.second);
  for (const auto& scope : scopes)
    for (const auto& entry : scope.second->symbols) symbols.push_back(entry.second);
  std::sort(symbols.begin(), symbols.end());
  symbols.erase(std::unique(symbols.begin(), symbols.end()), symbols.end());
  // When the pool goes, it takes the records' memory; only what they own on the
  // heap is released here.
  for (Symbol* symbol : symbols) {
    if (poolIsGoing) symbol->~Symbol();
    else delete symbol;
  }
  // A scope holds only its maps, whose every block is in the pool: when the pool
  // goes, a scope is not taken apart node by node.
  if (!poolIsGoing)
    for (const auto& scope : scopes) delete scope.second;
  scopes.clear();
  names = NameMap<Symbol*>(0, names.hash_function(), names.key_eq());
  current = nullptr;
}

Symbol* SymbolTable::referenceSymbol(const char* name, LineInfo* line) {
  Symbol* symbol = current->lookup(name);
  if (!symbol) {
    symbol = Symbol::create(name, static_cast<int16_t>(current->scopeId));
    current->symbols.emplace(symbol->name, symbol);
  }
  symbol->flags[1] |= Symbol::kUsed;
  symbol->references.push_back(line);
  bool debugSection = line && line->section && line->section->flags.isDebug();
  symbol->flags[2] |= debugSection ? Symbol::kDebugReferenced : Symbol::kProgramReferenced;
  return symbol;
}

uint32_t SymbolTable::localLabelCount(const char* digits) const {
  return current ? current->localLabelCount(digits) : 0;
}

SymbolTable::LocalSymbolTable* SymbolTable::openScope(uint16_t scopeId) {
  LocalSymbolTable*& scope = scopes[scopeId];
  if (!scope) scope = new LocalSymbolTable(this, scopeId, current);
  current = scope;
  currentScope = scopeId;
  return scope;
}

void SymbolTable::closeScope() {
  if (!current || !current->enclosing) return;
  current = current->enclosing;
  currentScope = current->scopeId;
}

void SymbolTable::reset() {
  discardScopes(true);
  MemoryPools& pools = MemoryPools::instance();
  if (MemPool* old = pools.find("Symbol")) pools.destroyRegistered(old);
  symbolPool() = pools.registerPool("Symbol", &symbolPool());
  makeModuleScope();
}
