#include "expr/SymbolWalk.h"

#include "expr/OrbaExpression.h"

void collectNamedSymbols(OrbaExpression* expression, std::vector<Symbol*>& symbols,
                         std::vector<OrbaExpression*>& work) {
  work.clear();
  if (expression) work.push_back(expression);
  while (!work.empty()) {
    OrbaExpression* node = work.back();
    work.pop_back();
    if (node->getKind() == EK_symbol) {
      if (Symbol* symbol = node->getSymbol()) symbols.push_back(symbol);
      continue;
    }
    if (!node->hasOperands()) continue;
    for (int32_t index = node->getArgumentCount() - 1; index >= 0; --index)
      if (OrbaExpression* argument = node->getArgument(index)) work.push_back(argument);
  }
}

size_t symbolAnswerSlot(const Symbol* symbol, size_t mask) {
  uint64_t key = reinterpret_cast<uintptr_t>(symbol);
  return static_cast<size_t>((key >> 3) * 0x9E3779B97F4A7C15ull >> 20) & mask;
}
