// An assembler symbol: its name, binding flags, value expression and section.
#pragma once

#include <cstddef>
#include <cstdint>

struct MemPool;
struct LineInfo;
class OrbaExpression;
class Section;

// The handle of the run's pool of symbols and of the symbol table's scopes; registered
// as "Symbol" at the first symbol and registered anew by SymbolTable::reset.
MemPool*& symbolPool();

class Symbol {
 public:
  // First flag byte.
  static constexpr uint8_t kBinding0 = 0x01;  // binding bit read by the object-file conversion
  static constexpr uint8_t kDefined = 0x02;
  static constexpr uint8_t kEquate = 0x08;
  static constexpr uint8_t kExternal = 0x10;
  static constexpr uint8_t kInternal = 0x20;  // generated name
  static constexpr uint8_t kBinding6 = 0x40;
  static constexpr uint8_t kGlobal = 0x80;
  // Second flag byte.
  static constexpr uint8_t kLocal = 0x01;
  static constexpr uint8_t kUsed = 0x02;
  static constexpr uint8_t kSet = 0x04;
  static constexpr uint8_t kWeak = 0x08;
  static constexpr uint8_t kNeedsDefinition = 0x10;    // named by .EQU/.SET or the preprocessor
  static constexpr uint8_t kCountsAsReference = 0x20;  // also marks section symbols
  static constexpr uint8_t kExpansion = 0x40;          // defined on a line of a generic expansion
  static constexpr uint8_t kSectionByValue = 0x80;     // also marks alias symbols
  // Third flag byte.
  static constexpr uint8_t kRelocatable = 0x01;
  static constexpr uint8_t kSpecialFunctionRegister = 0x02;
  static constexpr uint8_t kDebugReferenced = 0x04;
  static constexpr uint8_t kProgramReferenced = 0x08;
  static constexpr uint8_t kAutoExternal = 0x10;  // made external by the symbol checks
  // The default scope where the symbol was defined, taken from the line's control
  // state then: the line may be let go of before the symbol checks read it.
  static constexpr uint8_t kDefaultScopeKnown = 0x20;
  static constexpr uint8_t kLocalByDefault = 0x40;

  enum Type : int32_t { kNoType = 0, kFunc = 1, kObject = 2, kFile = 3 };

  // A new symbol from the symbol pool: flags clear, no value, no section, both
  // unit words 1. Null when the pool gives no block.
  static Symbol* create(const char* name, int16_t scope);

  Symbol(const char* name, int16_t scope) : name(name), scope(scope) {}
  ~Symbol() = default;
  Symbol(const Symbol&) = delete;
  Symbol& operator=(const Symbol&) = delete;

  static void* operator new(size_t size) noexcept;
  static void operator delete(void* block, size_t size);

  void setType(const int32_t* newType) { type = static_cast<int16_t>(*newType); }

  bool isDefined() const { return flags[0] & kDefined; }
  bool isEquate() const { return flags[0] & kEquate; }
  bool isExternal() const { return flags[0] & kExternal; }
  bool isInternal() const { return flags[0] & kInternal; }
  bool isGlobal() const { return flags[0] & kGlobal; }
  bool isLocal() const { return flags[1] & kLocal; }
  bool isUsed() const { return flags[1] & kUsed; }
  bool isSet() const { return flags[1] & kSet; }
  bool isWeak() const { return flags[1] & kWeak; }
  bool needsDefinition() const { return flags[1] & kNeedsDefinition; }
  bool isExpansion() const { return flags[1] & kExpansion; }
  bool isAutoExternal() const { return flags[2] & kAutoExternal; }
  bool countsAsReference() const { return flags[1] & kCountsAsReference; }
  bool isSectionByValue() const { return flags[1] & kSectionByValue; }
  bool isRelocatable() const { return flags[2] & kRelocatable; }
  bool isSpecialFunctionRegister() const { return flags[2] & kSpecialFunctionRegister; }

  // Records the line that defines the symbol and the default scope in force there.
  void setDefinitionLine(LineInfo* line);
  // Whether a symbol without a scope directive is local by default: as the control
  // state of its definition line said, or as the options say when none was recorded.
  bool localByDefault() const;

  // Counts a reference from the line; the first one is kept, for the diagnostics that
  // point at where an undefined symbol is first used.
  void addReference(LineInfo* line) {
    if (referenceCount++ == 0) firstReference = line;
  }

  // Ordered so that the record has no padding: a million labels keep a million of them.
  const char* name;  // interned
  int16_t scope;
  uint8_t flags[3] = {0, 0, 0};
  // Set while an expression walk is inside this symbol's value, so that a value
  // that refers back to its own symbol ends the walk instead of recursing forever.
  bool valueVisit = false;
  int16_t type = kNoType;  // one of Type
  int32_t memoryClass = 1;
  uint32_t unit = 1;
  uint32_t layoutBlock = 0;  // compared with the section's current layout block
  uint32_t referenceCount = 0;
  OrbaExpression* sizeExpression = nullptr;
  OrbaExpression* valueExpression = nullptr;
  Section* section = nullptr;
  LineInfo* definitionLine = nullptr;
  LineInfo* bindingLine = nullptr;  // the last binding directive
  LineInfo* firstReference = nullptr;
  uint32_t objectSymbolId = 0;  // in the object writer's file
  uint32_t writerRecord = 0;  // the object writer's record of it, plus one; 0 when none
};

// Counts the changes of symbol values; answers kept about symbol values hold while it
// stands. Whatever sets a symbol's value expression after the symbol was defined
// calls noteSymbolValueChange.
uint32_t symbolValueGeneration();
void noteSymbolValueChange();
// Enters a symbol's value expression for the length of one step of a walk; entered()
// is false when the walk is already inside it (a value that refers to itself). A walk
// that goes on into the symbols that value names asks through askThroughValue
// (expr/SymbolWalk.h), which follows a chain of any length without a frame per link.
class SymbolValueVisit {
 public:
  explicit SymbolValueVisit(Symbol* symbol) : symbol_(symbol), entered_(!symbol->valueVisit) {
    symbol_->valueVisit = true;
  }
  ~SymbolValueVisit() {
    if (entered_) symbol_->valueVisit = false;
  }
  SymbolValueVisit(const SymbolValueVisit&) = delete;
  SymbolValueVisit& operator=(const SymbolValueVisit&) = delete;

  bool entered() const { return entered_; }
  // The value expression to walk into, null when absent or already being walked.
  OrbaExpression* value() const { return entered_ ? symbol_->valueExpression : nullptr; }

 private:
  Symbol* symbol_;
  bool entered_;
};
