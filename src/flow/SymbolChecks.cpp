#include "flow/SymbolChecks.h"

#include <string>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

bool isAlias(const Symbol& symbol) { return symbol.flags[1] & Symbol::kSectionByValue; }

const LineInfo* firstReference(const Symbol& symbol) {
  return symbol.references.empty() ? nullptr : symbol.references.front();
}

// The default identifier scope at a definition is local unless the options say
// otherwise.
bool defaultScopeIsLocal(const Symbol&) { return orbaOptions()->localScopeDefault; }

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

}  // namespace

void checkGlobalSymbol(Symbol& symbol) {
  ErrorHandler* handler = errorHandler();
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
      handler->report(E_unresolved_expression, symbol.definitionLine);
      symbol.valueExpression = TEInteger::create(0);
    }
    if (symbol.valueExpression) symbol.unit = symbol.valueExpression->getUnit();
  }

  if (symbol.isDefined() || !symbol.isUsed()) return;

  const LineInfo* at = firstReference(symbol);
  if (symbol.isInternal()) {
    // A numbered local label that is never defined: its generated name cannot stand
    // for an external symbol, so it is reported by the label the source wrote.
    handler->report(E_symbol_undefined, at, localLabelText(symbol.name).c_str());
    symbol.flags[0] &= static_cast<uint8_t>(~Symbol::kInternal);
    makeExternal(symbol);
  } else if (symbol.needsDefinition()) {
    handler->report(E_symbol_undefined, at, symbol.name);
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kNeedsDefinition);
    makeExternal(symbol);
  } else if (symbol.isLocal()) {
    handler->report(W_symbol_made_external, at, "local", symbol.name);
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kLocal);
    makeExternal(symbol);
  } else if (symbol.isGlobal()) {
    handler->report(W_symbol_made_external, at, "global", symbol.name);
    symbol.flags[0] &= static_cast<uint8_t>(~Symbol::kGlobal);
    makeExternal(symbol);
  } else if (!symbol.isExternal()) {
    makeExternal(symbol);
    symbol.flags[2] |= Symbol::kAutoExternal;
  }
}

void checkLocalSymbol(Symbol& symbol) {
  ErrorHandler* handler = errorHandler();
  bool exempt = symbol.isInternal() || symbol.isExpansion();

  if (symbol.isGlobal()) {
    symbol.flags[1] &= static_cast<uint8_t>(~Symbol::kLocal);
    if (!symbol.isDefined() && symbol.isUsed()) handler->report(E_symbol_undefined, firstReference(symbol), symbol.name);
    // A global that is declared and neither defined nor used asks nothing of this
    // module (a shared header may declare it for every module): no warning.
    return;
  }

  if (symbol.isLocal()) {
    if (symbol.isUsed() && !symbol.isDefined()) {
      handler->report(W_symbol_made_external, symbol.bindingLine, "local", symbol.name);
      makeExternal(symbol);
    } else if (!symbol.isUsed() && !symbol.isDefined()) {
      handler->report(E_symbol_undefined, symbol.bindingLine, symbol.name);
    } else if (!symbol.isUsed() && !exempt) {
      handler->report(W_symbol_not_used, symbol.definitionLine, symbol.name);
    }
    return;
  }

  if (symbol.isExternal()) {
    if (!symbol.isDefined()) return;
    if (defaultScopeIsLocal(symbol)) {
      handler->report(E_symbol_defined_external, symbol.definitionLine, symbol.name);
    } else {
      handler->report(W_symbol_external_redefine, symbol.definitionLine, symbol.name);
      symbol.flags[0] = static_cast<uint8_t>((symbol.flags[0] & ~Symbol::kExternal) | Symbol::kGlobal);
    }
    return;
  }

  if (symbol.isEquate() || symbol.needsDefinition() || symbol.isInternal()) {
    symbol.flags[1] |= Symbol::kLocal;
  } else if (symbol.isDefined()) {
    if (symbol.isWeak() || !defaultScopeIsLocal(symbol))
      symbol.flags[0] |= Symbol::kGlobal;
    else
      symbol.flags[1] |= Symbol::kLocal;
  }
}
