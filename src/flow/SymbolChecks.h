// The two passes over all symbols after the parse that settle each symbol's final
// binding: first the global check for every symbol, then the local check.
#pragma once

#include <functional>
#include <vector>

class Symbol;
class SymbolTable;

// The diagnostics of one pass over the symbols, held with their symbols until the pass
// is done and then given in the table's report order (SymbolNames::reportOrder).
class SymbolReports {
 public:
  void add(const Symbol& symbol, std::function<void()> report);
  // Gives the held diagnostics, scope by scope in ascending id and in each scope's
  // report order, and forgets them.
  void flush(const SymbolTable& table);

 private:
  struct Held {
    const Symbol* symbol;
    std::function<void()> report;
  };
  std::vector<Held> held_;
};

// Both passes over every symbol of the table, each pass's diagnostics in report order.
void checkAllSymbols(const SymbolTable& table);

// Aliases take their target's section, weak symbols become global or external,
// equates over unresolved weak symbols are E250, and used symbols without a
// definition become external (E205 or W201 where the source asked otherwise).
// With reports, the diagnostics are held there; without, they are given at once.
void checkGlobalSymbol(Symbol& symbol, SymbolReports* reports = nullptr);
// Declared scopes against what the module did with the symbol: E205, W201, W202,
// E197, W199; a symbol without a declared scope gets its default binding.
void checkLocalSymbol(Symbol& symbol, SymbolReports* reports = nullptr);
