#include "flow/SymbolChecks.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

bool isAlias(const Symbol& symbol) { return symbol.flags[1] & Symbol::kSectionByValue; }

const LineInfo* firstReference(const Symbol& symbol) { return symbol.firstReference; }

bool defaultScopeIsLocal(const Symbol& symbol) { return symbol.localByDefault(); }

void makeExternal(Symbol& symbol) { symbol.flags[0] |= Symbol::kExternal; }

// "__NL000003_12" is the third definition of local label 12.
std::string localLabelText(const char* name) {
  std::string text = name ? name : "";
  if (text.compare(0, 4, "__NL") == 0) {
    size_t digits = text.find('_', 4);
    if (digits != std::string::npos) text.erase(0, digits + 1);
  }
  return text;
}

// Gives the diagnostic now, or holds it with its symbol.
void say(SymbolReports* reports, const Symbol& symbol, std::function<void()> report) {
  if (reports) reports->add(symbol, std::move(report));
  else report();
}

}  // namespace

void SymbolReports::add(const Symbol& symbol, std::function<void()> report) {
  held_.push_back({&symbol, std::move(report)});
}

void SymbolReports::flush(const SymbolTable& table) {
  std::vector<Held> held;
  held.swap(held_);
  bool several = false;
  for (const Held& entry : held) several = several || entry.symbol != held.front().symbol;
  if (several) {
    // The rank of each reporting symbol in its scope's report order; the scopes are
    // ordered by id, as the walk of the table goes.
    std::unordered_map<const Symbol*, std::pair<uint16_t, size_t>> rank;
    for (const Held& entry : held) rank.emplace(entry.symbol, std::make_pair(uint16_t{0xFFFF}, size_t{0}));
    std::map<uint16_t, bool> scopes;
    for (const Held& entry : held) scopes[static_cast<uint16_t>(entry.symbol->scope)] = true;
    for (const auto& scopeId : scopes) {
      auto scope = table.scopes.find(scopeId.first);
      if (scope == table.scopes.end()) continue;
      std::vector<Symbol*> order = scope->second->symbols.reportOrder();
      for (size_t position = 0; position < order.size(); ++position) {
        auto found = rank.find(order[position]);
        if (found != rank.end()) found->second = {scopeId.first, position};
      }
    }
    std::stable_sort(held.begin(), held.end(), [&rank](const Held& a, const Held& b) {
      return rank[a.symbol] < rank[b.symbol];
    });
  }
  for (const Held& entry : held) entry.report();
}

void checkAllSymbols(const SymbolTable& table) {
  // The checks add no symbol: one walk of the table serves both passes.
  std::vector<Symbol*> all;
  for (const auto& scope : table.scopes)
    all.insert(all.end(), scope.second->symbols.symbols().begin(), scope.second->symbols.symbols().end());
  SymbolReports reports;
  for (Symbol* symbol : all) checkGlobalSymbol(*symbol, &reports);
  reports.flush(table);
  for (Symbol* symbol : all) checkLocalSymbol(*symbol, &reports);
  reports.flush(table);
}

void checkGlobalSymbol(Symbol& symbol, SymbolReports* reports) {
  if (isAlias(symbol) && symbol.valueExpression && symbol.valueExpression->getKind() == EK_symbol)
    if (Symbol* target = symbol.valueExpression->getSymbol()) symbol.section = target->section;

  if (symbol.isWeak()) {
    if (symbol.isDefined())
      symbol.flags[0] |= Symbol::kGlobal;
    else
      makeExternal(symbol);
  }

  if (symbol.isEquate()) {
    OrbaExpression* value = symbol.valueExpression;
    if (value && value->hasWeakReference() && (symbol.isGlobal() || orbaOptions()->emitLocalEqus)) {
      say(reports, symbol, [definition = symbol.definitionLine] { errorHandler()->report(E_unresolved_expression, definition); });
      symbol.valueExpression = TEInteger::create(0);
      noteSymbolValueChange();
    }
    if (symbol.valueExpression) symbol.unit = symbol.valueExpression->getUnit();
  }

  if (symbol.isDefined() || !symbol.isUsed()) return;

  const LineInfo* at = firstReference(symbol);
  if (symbol.isInternal()) {
    // A numbered local label that is never defined: its generated name cannot stand
    // for an external symbol, so it is reported by the label the source wrote.
    say(reports, symbol, [at, text = localLabelText(symbol.name)] { errorHandler()->report(E_symbol_undefined, at, text.c_str()); });
    symbol.flags[0] &= static_cast<uint8_t>(~Symbol::kInternal);
    makeExternal(symbol);
  } else if (symbol.needsDefinition()) {
    say(reports, symbol, [at, name = symbol.name] { errorHandler()->report(E_symbol_undefined, at, name); });
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kNeedsDefinition);
    makeExternal(symbol);
  } else if (symbol.isLocal()) {
    say(reports, symbol, [at, name = symbol.name] { errorHandler()->report(W_symbol_made_external, at, "local", name); });
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kLocal);
    makeExternal(symbol);
  } else if (symbol.isGlobal()) {
    say(reports, symbol, [at, name = symbol.name] { errorHandler()->report(W_symbol_made_external, at, "global", name); });
    symbol.flags[0] &= static_cast<uint8_t>(~Symbol::kGlobal);
    makeExternal(symbol);
  } else if (!symbol.isExternal()) {
    makeExternal(symbol);
    symbol.flags[2] |= Symbol::kAutoExternal;
  }
}

void checkLocalSymbol(Symbol& symbol, SymbolReports* reports) {
  bool exempt = symbol.isInternal() || symbol.isExpansion();

  if (symbol.isGlobal()) {
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kLocal);
    if (!symbol.isDefined() && symbol.isUsed()) say(reports, symbol, [reference = firstReference(symbol), name = symbol.name] { errorHandler()->report(E_symbol_undefined, reference, name); });
    // A global that is declared and neither defined nor used asks nothing of this
    // module (a shared header may declare it for every module): no warning.
    return;
  }

  if (symbol.isLocal()) {
    if (symbol.isUsed() && !symbol.isDefined()) {
      say(reports, symbol, [binding = symbol.bindingLine, name = symbol.name] { errorHandler()->report(W_symbol_made_external, binding, "local", name); });
      makeExternal(symbol);
    } else if (!symbol.isUsed() && !symbol.isDefined()) {
      say(reports, symbol, [binding = symbol.bindingLine, name = symbol.name] { errorHandler()->report(E_symbol_undefined, binding, name); });
    } else if (!symbol.isUsed() && !exempt) {
      say(reports, symbol, [definition = symbol.definitionLine, name = symbol.name] { errorHandler()->report(W_symbol_not_used, definition, name); });
    }
    return;
  }

  if (symbol.isExternal()) {
    if (!symbol.isDefined()) return;
    if (defaultScopeIsLocal(symbol)) {
      say(reports, symbol, [definition = symbol.definitionLine, name = symbol.name] { errorHandler()->report(E_symbol_defined_external, definition, name); });
    } else {
      say(reports, symbol, [definition = symbol.definitionLine, name = symbol.name] { errorHandler()->report(W_symbol_external_redefine, definition, name); });
      symbol.flags[0] = static_cast<uint8_t>((symbol.flags[0] & ~Symbol::kExternal) | Symbol::kGlobal);
    }
    return;
  }

  // The labels of generic expansions carry the assembler's own names: another module
  // makes the same names, so they stay local whatever the default scope.
  if (symbol.isEquate() || symbol.needsDefinition() || symbol.isInternal() || isTempLabelName(symbol.name)) {
    symbol.flags[1] |= Symbol::kLocal;
  } else if (symbol.isDefined()) {
    if (symbol.isWeak() || !defaultScopeIsLocal(symbol))
      symbol.flags[0] |= Symbol::kGlobal;
    else
      symbol.flags[1] |= Symbol::kLocal;
  }
}
