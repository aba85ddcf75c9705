#include "flow/FCalls.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <ostream>

#include "expr/OrbaExpression.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FCalls, "FCalls")

namespace {

// Call-graph names are module-wide: a name hidden in a local scope does not count.
Symbol* moduleSymbol(const char* name) {
  if (!name || !*name) return nullptr;
  SymbolTable* table = symbolTable();
  auto found = table->scopes.find(0);
  const SymbolTable::LocalSymbolTable* scope = found != table->scopes.end() ? found->second : table->current;
  return scope ? scope->lookup(name) : nullptr;
}

}  // namespace

bool FCalls::stackUsageBytes(OrbaExpression* value, uint32_t* bytes) {
  OrbaExpression* result = value ? value->evaluate() : nullptr;
  if (!result || result->isError() || result->getKind() != EK_integer) return false;
  int64_t number = result->getInteger();
  if (number < 0 || number > static_cast<int64_t>(UINT32_MAX)) return false;
  *bytes = static_cast<uint32_t>(number);
  return true;
}

void FCalls::releaseData() {
  values.clear();
  values.shrink_to_fit();
}

FlowNode* FCalls::clone() const {
  auto* copy = new (std::nothrow) FCalls(line, caller, callee);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->values = values;
  return copy;
}

void FCalls::assign(const FCalls& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  caller = other.caller;
  callee = other.callee;
  values = other.values;
}

void FCalls::emit(ObjectWriter& writer) {
  // Neither the line's location nor its cycle count: the record is not in the image.
  Symbol* callerSymbol = moduleSymbol(caller);
  if (!callerSymbol) return;
  Symbol* calleeSymbol = moduleSymbol(callee);
  writer.emitObjectSymbol(callerSymbol, 1);
  if (calleeSymbol) writer.emitObjectSymbol(calleeSymbol, 1);
  uint32_t callerId = callerSymbol->objectSymbolId;
  uint32_t calleeId = calleeSymbol ? calleeSymbol->objectSymbolId : 0;

  ObjectStore& store = writer.store();
  uint32_t status = 0;
  if (values.empty()) {
    if (store.callGraphRecord(writer.fileId, callerId, calleeId, 0, 0, 1, &status))
      reportObjectStoreError(store, status);
    return;
  }
  // The parser keeps no more values than the graph has places for; a node made
  // otherwise still writes only those.
  auto count = static_cast<uint32_t>(std::min<size_t>(values.size(), kStackUsageSlots));
  for (uint32_t index = 0; index < count; ++index) {
    uint32_t bytes = 0;
    if (!stackUsageBytes(values[index], &bytes)) {
      errorHandler()->report(E_calls_invalid_stack_usage, line);
      bytes = 0;
    }
    if (store.callGraphRecord(writer.fileId, callerId, calleeId, index, bytes, 1, &status))
      reportObjectStoreError(store, status);
  }
}

void FCalls::dump(std::ostream& out) const {
  out << "FCalls(caller = \"" << (caller ? caller : "") << "\", callee = \"" << (callee ? callee : "") << '"';
  for (const OrbaExpression* value : values) {
    out << ", ";
    if (value) value->print(out, 0);
  }
  out << ")\n";
}
