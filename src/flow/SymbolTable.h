// The run-wide table of symbols: nested scopes of names, scope 0 being the module,
// with the definition counts of the numbered local labels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "flow/SymbolNames.h"

struct MemPool;
struct LineInfo;
class Symbol;

class SymbolTable {
 public:
  // Hash of a name: that of SymbolNames, for the maps keyed by name.
  struct NameHash {
    size_t operator()(const char* name) const;
  };
  // Exact comparison when the map was made case-sensitive or while the options'
  // case-sensitive flag is set, else ignoring letter case. The flag can change during
  // the parse ($CASE), which is why the hash never depends on it.
  struct NameEqual {
    bool exact = false;  // the map's own case flag, fixed when the map is made
    bool operator()(const char* a, const char* b) const;
  };
  // Everything of the name maps comes from the symbol pool, beside the symbols they
  // name: no heap call per name, and when the pool goes (reset) the maps go with
  // it without a walk of their nodes. A map that outlives a reset is made anew
  // before the pool goes.
  template <typename T>
  struct NodeAllocator {
    using value_type = T;
    NodeAllocator() = default;
    template <typename U>
    NodeAllocator(const NodeAllocator<U>&) {}
    T* allocate(size_t count) { return static_cast<T*>(allocateNode(count * sizeof(T))); }
    void deallocate(T* block, size_t count) { freeNode(block, count * sizeof(T)); }
    friend bool operator==(const NodeAllocator&, const NodeAllocator&) { return true; }
  };
  static void* allocateNode(size_t size);
  static void freeNode(void* block, size_t size);
  template <typename Value>
  using NameMap = std::unordered_multimap<const char*, Value, NameHash, NameEqual,
                                          NodeAllocator<std::pair<const char* const, Value>>>;
  // The comparison of a new map: its case flag comes from the options.
  static NameEqual nameEqual();

  class LocalSymbolTable {
   public:
    LocalSymbolTable(SymbolTable* owner, uint16_t scopeId, LocalSymbolTable* enclosing);
    virtual ~LocalSymbolTable() = default;
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block, size_t size);

    // Finds the name here or in the enclosing scopes; null when no scope has it.
    Symbol* lookup(const char* name) const;
    Symbol* lookup(const char* name, uint32_t hash) const;
    // lookup without first entering the labels the table holds back.
    Symbol* lookupEntered(const char* name, uint32_t hash) const;
    // Defines the name in this scope. A name that starts with a digit is a numbered
    // local label and gets the name of its next definition. Null after a diagnostic.
    // interned: the caller holds the name interned already.
    Symbol* defineSymbol(const char* name, LineInfo* line, bool interned = false);
    // defineSymbol for a name that no scope has (lookup gave null) and that is no
    // numbered local label: the scope is not searched a second time.
    Symbol* defineNewSymbol(const char* name, LineInfo* line);
    // The symbol of the name from this scope outwards, marked defined at the line unless
    // it was defined already; made here when no scope has it. One probe of this scope
    // serves both the search and the entry.
    Symbol* defineUnlessDefined(const char* name, LineInfo* line);
    // defineUnlessDefined without first entering the labels held back.
    Symbol* defineUnlessDefinedEntered(const char* name, LineInfo* line);
    // Definitions made so far of the numbered local label (digits only); 0 when none.
    uint32_t localLabelCount(const char* digits) const;

    // The binding directives, one name each: the symbol of this scope (made, neither
    // defined nor used, when the name is new) bound global, local, weak or external,
    // and the line kept as its binding line. A binding that conflicts with an earlier
    // one or with a definition is refused with E169 (E168 for an external label) and
    // gives null; the symbol then stays as it was. interned: as for defineSymbol.
    Symbol* declareGlobal(const char* name, LineInfo* line, bool interned = false);
    Symbol* declareLocal(const char* name, LineInfo* line, bool interned = false);
    Symbol* declareWeak(const char* name, LineInfo* line, bool interned = false);
    Symbol* declareExternal(const char* name, LineInfo* line, bool interned = false);

    SymbolTable* owner;
    uint16_t scopeId;
    LocalSymbolTable* enclosing;
    SymbolNames symbols;
    NameMap<uint32_t> localLabelCounts;
  };

  // Walks every symbol, scope by scope in ascending id and in the order each scope
  // took them in. A walk sees the symbols its scope held when the walk reached it.
  class SymbolIter {
   public:
    explicit SymbolIter(const SymbolTable& table);
    virtual ~SymbolIter() = default;
    virtual void first();
    virtual void next();
    virtual bool isDone() const;
    virtual Symbol* current() const;

   private:
    void start() const;
    void enterScope() const;
    void skipEmptyScopes() const;
    std::map<uint16_t, LocalSymbolTable*> scopes_;
    mutable std::map<uint16_t, LocalSymbolTable*>::const_iterator scope_;
    mutable size_t entry_ = 0;
    mutable size_t scopeEnd_ = 0;  // the scope's size when the walk entered it
    mutable bool started_ = false;
  };

  SymbolTable();
  virtual ~SymbolTable();
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;

  // Makes the scope of that id current, nested in the current one; a scope that
  // exists already is entered again with its own symbols and enclosing scope. Names
  // defined in it hide those of the enclosing scopes until closeScope.
  LocalSymbolTable* openScope(uint16_t scopeId);
  // Returns to the enclosing scope; scope 0 stays current when it is closed.
  void closeScope();

  // defineUnlessDefined in the current scope, held back until the table is next asked
  // anything: the preprocessor defines every label, and most sources never ask it
  // about one before its symbols go (resetAfterPreprocessing). The label's text is
  // interned and its line lives as long as the run.
  void deferLabelDefinition(const char* name, LineInfo* line);
  // Enters the labels held back, in the order they came. Every operation of the
  // table and its scopes does so first, so that what they see is what it would be
  // had each label been entered at once.
  void enterDeferredLabels() {
    if (!deferredLabels_.empty()) enterDeferredLabelsNow();
  }

  // Finds the name from the current scope outwards or creates it in the current
  // scope, marks it used and records the reference; never null.
  Symbol* referenceSymbol(const char* name, LineInfo* line);
  // referenceSymbol for the symbol that looking its name up in the current scope found.
  void referenceFound(Symbol* symbol, LineInfo* line);
  // Definitions so far of a numbered local label in the current scope.
  uint32_t localLabelCount(const char* digits) const;
  // Discards every symbol with the "Symbol" pool and starts again with scope 0.
  void reset();
  // After preprocessing: the symbols that the preprocessor made for its own .SET,
  // .EQU and labels go, so that the parser defines them afresh.
  void resetAfterPreprocessing() { reset(); }
  SymbolIter* createIterator() const {
    const_cast<SymbolTable*>(this)->enterDeferredLabels();
    return new SymbolIter(*this);
  }

  LocalSymbolTable* current = nullptr;
  uint16_t currentScope = 0;
  std::map<uint16_t, LocalSymbolTable*> scopes;

 private:
  void makeModuleScope();
  void discardScopes(bool poolIsGoing);
  void enterDeferredLabelsNow();

  struct DeferredLabel {
    const char* name;
    LineInfo* line;
  };
  // All of one scope: a label of another scope enters those before it.
  LocalSymbolTable* deferredScope_ = nullptr;
  std::vector<DeferredLabel> deferredLabels_;
};
