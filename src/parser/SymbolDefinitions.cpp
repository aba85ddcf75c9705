#include "parser/SymbolDefinitions.h"

#include <cctype>

#include "expr/OrbaExpression.h"
#include "expr/SymbolValueMemo.h"
#include "expr/SymbolWalk.h"
#include "expr/TESymbol.h"
#include "flow/FAlign.h"
#include "flow/FLabel.h"
#include "flow/FSymbolDefinition.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/GenericExpansion.h"
#include "parser/LineFlags.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

// The alias mark shares its bit with the by-value mark of section symbols.
constexpr uint8_t kAlias = Symbol::kSectionByValue;

void clearRelocatable(Symbol* symbol) { symbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable); }

struct RunForwardWalks {
  SymbolWalkState<int8_t, NoWalkKey> forward;
};

bool symbolIsForward(Symbol* symbol) {
  if (!symbol) return false;
  // A value that refers back to its own symbol is found by the checks of its
  // definition, not here.
  if (symbol->valueVisit) return false;
  if (symbol->valueExpression)
    return askThroughValue(
               symbol, runPart<RunForwardWalks>().forward, NoWalkKey{},
               [](const Symbol* named) { return named->valueExpression != nullptr; },
               [](Symbol* named) -> int8_t { return hasForwardReference(named->valueExpression) ? 1 : 0; },
               [](int8_t forward) { return forward; }) > 0;
  if (symbol->isWeak()) return !symbol->isDefined();
  return !symbol->isDefined() && !symbol->isExternal();
}

void appendEquSet(LineInfo* line, Symbol* symbol, OrbaExpression* value) {
  if (line->section) line->section->addNode(new FEquSet(line, symbol, value), true);
  line->flags[1] |= lineflag::kEquateOrSet;
}

bool equalsIgnoringCase(const char* text, const char* upper) {
  for (; *upper; ++text, ++upper)
    if (std::toupper(static_cast<unsigned char>(*text)) != *upper) return false;
  return *text == '\0';
}

}  // namespace

bool hasForwardReference(const OrbaExpression* expression) {
  if (!expression) return false;
  if (expression->getKind() == EK_symbol) return symbolIsForward(expression->getSymbol());
  if (!expression->hasOperands()) return false;
  int32_t count = expression->getArgumentCount();
  for (int32_t index = 0; index < count; ++index)
    if (hasForwardReference(expression->getArgument(index))) return true;
  return false;
}

int32_t expressionMemoryClass(const OrbaExpression* expression) {
  if (!expression) return 1;
  switch (expression->getKind()) {
    case EK_symbol: {
      const Symbol* symbol = expression->getSymbol();
      return symbol ? symbol->memoryClass : 1;
    }
    case EK_section: return 0;
    case EK_unary:
    case EK_binary: return expressionMemoryClass(expression->getArgument(0));
    default: return 1;
  }
}

bool defineEquate(LineInfo* line, const char* labelName, const char* operandName, OrbaExpression* value) {
  const char* name = labelName ? labelName : operandName;
  if (isa::refuseGeneratedLabelName(name, line)) return false;
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  // The macro preprocessor defines an equate of its own line early (its conditions
  // may use the value); the statement completes that definition.
  Symbol* symbol = scope->lookup(name);
  bool definedEarly = symbol && symbol->isEquate() && symbol->definitionLine == line &&
                      symbol->scope == static_cast<int16_t>(scope->scopeId);
  if (!definedEarly) symbol = scope->defineSymbol(name, line);
  if (!symbol) return false;
  // The early definition came before the parse gave the line its control state.
  if (definedEarly) symbol->setDefinitionLine(line);
  int32_t memoryClass = expressionMemoryClass(value);
  symbol->flags[0] |= Symbol::kEquate;
  clearRelocatable(symbol);
  symbol->valueExpression = value;
  noteSymbolValueChange();
  symbol->section = line->section;
  // A plain number defined inside a section counts as lying in that section's space.
  if ((memoryClass == 0 || memoryClass == 1) && line->section && line->section != placeholderSection())
    memoryClass = line->section->type;
  symbol->memoryClass = memoryClass;
  appendEquSet(line, symbol, value);
  return true;
}

bool defineSetSymbol(LineInfo* line, const char* labelName, const char* operandName, OrbaExpression* value,
                     const char* directive) {
  const char* name = labelName ? labelName : operandName;
  if (isa::refuseGeneratedLabelName(name, line)) return false;
  if (hasForwardReference(value)) {
    errorHandler()->report(E_no_forward_reference_allowed, line);
    return false;
  }
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  Symbol* symbol = scope->lookup(name);
  if (symbol && symbol->scope == static_cast<int16_t>(scope->scopeId) && symbol->isSet()) {
    // A redefinition: the symbol keeps its attributes, its line and its section.
  } else {
    if (symbol && symbol->scope == static_cast<int16_t>(scope->scopeId)) {
      if (symbol->isDefined()) {
        errorHandler()->report(E_non_set_redefinition, line, directive);
        return false;
      }
      if (symbol->isUsed()) {
        errorHandler()->report(E_used_before_set, line, symbol->name);
        return false;
      }
    }
    // A name bound by a binding directive and not defined yet is defined here and
    // keeps its binding; an external one is refused by the definition.
    symbol = scope->defineSymbol(name, line);
    if (!symbol) return false;
    symbol->flags[1] |= Symbol::kSet;
    clearRelocatable(symbol);
  }
  symbol->valueExpression = value;
  noteSymbolValueChange();
  symbol->memoryClass = expressionMemoryClass(value);
  appendEquSet(line, symbol, value);
  return true;
}

bool defineAlias(LineInfo* line, const char* aliasName, const char* targetName) {
  if (isa::refuseGeneratedLabelName(aliasName, line) || isa::refuseGeneratedLabelName(targetName, line)) return false;
  Symbol* alias = symbolTable()->current->defineSymbol(aliasName, line);
  Symbol* target = symbolTable()->referenceSymbol(targetName, line);
  if (!alias || !target) return false;
  alias->flags[0] |= Symbol::kEquate;
  alias->flags[1] |= kAlias;
  clearRelocatable(alias);
  alias->valueExpression = TESymbol::create(target);
  noteSymbolValueChange();
  alias->section = target->section;
  alias->memoryClass = target->memoryClass;
  if (line->section) line->section->addNode(new FAlias(line, alias), true);
  return true;
}

bool setSymbolSize(LineInfo* line, const char* name, OrbaExpression* size) {
  if (isa::refuseGeneratedLabelName(name, line)) return false;
  Symbol* symbol = symbolTable()->referenceSymbol(name, line);
  symbol->sizeExpression = size;
  return true;
}

bool applySymbolType(LineInfo* line, const char* typeWord) {
  FlowNode* last = line->section ? line->section->lastNode() : nullptr;
  // The frame has just defined the line's label, so its node ends the section; a
  // label that could not be defined leaves no node to give the type to.
  if (!last || last->kind != FlowNode::kLabel || !static_cast<FLabel*>(last)->symbol) {
    errorHandler()->report(E_label_expected, line, ".TYPE");
    return false;
  }
  Symbol* symbol = static_cast<FLabel*>(last)->symbol;
  static constexpr const char* kTypeWords[] = {"FUNC", "OBJECT", "FILE"};
  int32_t type = Symbol::kNoType;
  for (int32_t index = 0; index < 3 && type == Symbol::kNoType; ++index)
    if (equalsIgnoringCase(typeWord, kTypeWords[index])) type = index + 1;
  if (type == Symbol::kNoType) {
    errorHandler()->report(E_symbol_type_invalid, line);
    return false;
  }
  symbol->setType(&type);
  return true;
}

void typePendingLabelAsObject(Section* section) {
  if (!section || section == placeholderSection() || section->flags.isDebug()) return;
  FLabel* label = section->lastLabel();
  Symbol* symbol = label ? label->symbol : nullptr;
  if (!symbol || symbol->isInternal() || symbol->type != Symbol::kNoType) return;
  int32_t object = Symbol::kObject;
  symbol->setType(&object);
}
