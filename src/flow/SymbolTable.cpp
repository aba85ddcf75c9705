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

size_t SymbolTable::NameHash::operator()(const char* name) const { return SymbolNames::hashName(name); }

bool SymbolTable::NameEqual::operator()(const char* a, const char* b) const {
  return SymbolNames::sameName(a, b, exact);
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
      scopeId(scopeId),
      enclosing(enclosing),
      symbols(nameEqual().exact),
      localLabelCounts(0, NameHash(), nameEqual()) {}

void* SymbolTable::LocalSymbolTable::operator new(size_t size) noexcept {
  return Symbol::operator new(size);
}

void SymbolTable::LocalSymbolTable::operator delete(void* block, size_t size) {
  Symbol::operator delete(block, size);
}

Symbol* SymbolTable::LocalSymbolTable::lookup(const char* name) const {
  owner->enterDeferredLabels();
  // This scope is searched first: the symbol it found or entered last, named again, is
  // the answer without a hash.
  if (Symbol* recent = symbols.recentNamed(name)) return recent;
  return lookupEntered(name, SymbolNames::hashName(name));
}

Symbol* SymbolTable::LocalSymbolTable::lookup(const char* name, uint32_t hash) const {
  owner->enterDeferredLabels();
  return lookupEntered(name, hash);
}

Symbol* SymbolTable::LocalSymbolTable::lookupEntered(const char* name, uint32_t hash) const {
  for (const LocalSymbolTable* scope = this; scope; scope = scope->enclosing)
    if (Symbol* symbol = scope->symbols.find(name, hash)) return symbol;
  return nullptr;
}

uint32_t SymbolTable::LocalSymbolTable::localLabelCount(const char* digits) const {
  owner->enterDeferredLabels();
  auto found = localLabelCounts.find(digits);
  return found == localLabelCounts.end() ? 0 : found->second;
}

Symbol* SymbolTable::LocalSymbolTable::defineSymbol(const char* name, LineInfo* line, bool interned) {
  owner->enterDeferredLabels();
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
    interned = false;
  }

  // One probe finds the name or the slot a new symbol takes.
  SymbolNames::Probe probe = symbols.probeForInsert(name, SymbolNames::hashName(name));
  if (Symbol* symbol = probe.found) {
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
    symbol->setDefinitionLine(line);
    return symbol;
  }

  Symbol* symbol = Symbol::create(interned ? name : stringBuffer()->intern(name), static_cast<int16_t>(scopeId));
  if (!symbol) return nullptr;
  symbol->flags[0] |= Symbol::kDefined;
  if (numberedLocal) symbol->flags[0] |= Symbol::kInternal;
  symbol->setDefinitionLine(line);
  symbols.insert(probe, symbol);
  return symbol;
}

Symbol* SymbolTable::LocalSymbolTable::defineNewSymbol(const char* name, LineInfo* line) {
  owner->enterDeferredLabels();
  Symbol* symbol = Symbol::create(stringBuffer()->intern(name), static_cast<int16_t>(scopeId));
  if (!symbol) return nullptr;
  symbol->flags[0] |= Symbol::kDefined;
  symbol->setDefinitionLine(line);
  symbols.add(symbol);
  return symbol;
}

Symbol* SymbolTable::LocalSymbolTable::defineUnlessDefined(const char* name, LineInfo* line) {
  owner->enterDeferredLabels();
  return defineUnlessDefinedEntered(name, line);
}

Symbol* SymbolTable::LocalSymbolTable::defineUnlessDefinedEntered(const char* name, LineInfo* line) {
  SymbolNames::Probe probe = symbols.probeForInsert(name, SymbolNames::hashName(name));
  Symbol* symbol = probe.found;
  if (!symbol && enclosing) symbol = enclosing->lookupEntered(name, probe.hash);
  if (symbol) {
    if (!symbol->isDefined()) {
      symbol->flags[0] |= Symbol::kDefined;
      symbol->setDefinitionLine(line);
    }
    return symbol;
  }
  symbol = Symbol::create(stringBuffer()->intern(name), static_cast<int16_t>(scopeId));
  if (!symbol) return nullptr;
  symbol->flags[0] |= Symbol::kDefined;
  symbol->setDefinitionLine(line);
  symbols.insert(probe, symbol);
  return symbol;
}

SymbolTable::SymbolIter::SymbolIter(const SymbolTable& table) : scopes_(table.scopes) {}

void SymbolTable::SymbolIter::start() const {
  started_ = true;
  scope_ = scopes_.begin();
  enterScope();
  skipEmptyScopes();
}

void SymbolTable::SymbolIter::enterScope() const {
  entry_ = 0;
  scopeEnd_ = scope_ == scopes_.end() ? 0 : scope_->second->symbols.size();
}

void SymbolTable::SymbolIter::skipEmptyScopes() const {
  while (scope_ != scopes_.end() && entry_ >= scopeEnd_) {
    ++scope_;
    enterScope();
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

Symbol* SymbolTable::SymbolIter::current() const {
  return isDone() ? nullptr : scope_->second->symbols.symbols()[entry_];
}

// The name maps take their case flag from the options, so the options come first.
SymbolTable::SymbolTable() { makeModuleScope(); }

SymbolTable::~SymbolTable() { discardScopes(false); }

void SymbolTable::makeModuleScope() {
  currentScope = 0;
  current = new LocalSymbolTable(this, 0, nullptr);
  scopes[0] = current;
}

void SymbolTable::discardScopes(bool poolIsGoing) {
  // Each symbol sits in one scope. When the pool goes, it takes the records' memory;
  // only what they own on the heap is released here.
  for (const auto& scope : scopes) {
    for (Symbol* symbol : scope.second->symbols.symbols()) {
      if (poolIsGoing) symbol->~Symbol();
      else delete symbol;
    }
    // The scope's index is on the heap: the scope is taken down while its pool is
    // still there.
    delete scope.second;
  }
  scopes.clear();
  current = nullptr;
}

void SymbolTable::deferLabelDefinition(const char* name, LineInfo* line) {
  if (current != deferredScope_) {
    enterDeferredLabels();
    deferredScope_ = current;
  }
  deferredLabels_.push_back({name, line});
}

void SymbolTable::enterDeferredLabelsNow() {
  // Taken out first: entering a label goes through the scope, which asks for this.
  std::vector<DeferredLabel> labels;
  labels.swap(deferredLabels_);
  for (const DeferredLabel& label : labels) deferredScope_->defineUnlessDefinedEntered(label.name, label.line);
  // Kept for the next labels, which are likely as many.
  labels.clear();
  labels.swap(deferredLabels_);
}

Symbol* SymbolTable::referenceSymbol(const char* name, LineInfo* line) {
  enterDeferredLabels();
  // The current scope is probed first, as lookup would, and its probe keeps the slot
  // for a new symbol.
  SymbolNames::Probe probe = current->symbols.probeForInsert(name, SymbolNames::hashName(name));
  Symbol* symbol = probe.found;
  if (!symbol && current->enclosing) symbol = current->enclosing->lookupEntered(name, probe.hash);
  if (!symbol) {
    symbol = Symbol::create(name, static_cast<int16_t>(current->scopeId));
    current->symbols.insert(probe, symbol);
  }
  referenceFound(symbol, line);
  return symbol;
}

void SymbolTable::referenceFound(Symbol* symbol, LineInfo* line) {
  symbol->flags[1] |= Symbol::kUsed;
  symbol->addReference(line);
  bool debugSection = line && line->section && line->section->flags.isDebug();
  symbol->flags[2] |= debugSection ? Symbol::kDebugReferenced : Symbol::kProgramReferenced;
}

uint32_t SymbolTable::localLabelCount(const char* digits) const {
  const_cast<SymbolTable*>(this)->enterDeferredLabels();
  return current ? current->localLabelCount(digits) : 0;
}

SymbolTable::LocalSymbolTable* SymbolTable::openScope(uint16_t scopeId) {
  enterDeferredLabels();
  LocalSymbolTable*& scope = scopes[scopeId];
  if (!scope) scope = new LocalSymbolTable(this, scopeId, current);
  current = scope;
  currentScope = scopeId;
  return scope;
}

void SymbolTable::closeScope() {
  enterDeferredLabels();
  if (!current || !current->enclosing) return;
  current = current->enclosing;
  currentScope = current->scopeId;
}

void SymbolTable::reset() {
  // The labels held back would be discarded with everything else.
  std::vector<DeferredLabel>().swap(deferredLabels_);
  deferredScope_ = nullptr;
  discardScopes(true);
  MemoryPools& pools = MemoryPools::instance();
  if (MemPool* old = pools.find("Symbol")) pools.destroyRegistered(old);
  symbolPool() = pools.registerPool("Symbol", &symbolPool());
  makeModuleScope();
}
