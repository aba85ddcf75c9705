#include "flow/FSymbolDefinition.h"

#include <ostream>

#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "expr/SymbolValueMemo.h"
#include "expr/TEBinary.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

VEKT_POOLED_CLASS_IMPL(FEquSet, "FEquSet")
VEKT_POOLED_CLASS_IMPL(FExtern, "FExtern")

namespace {

// F008 and the end of the run when an operation of the store failed (F005 when it ran
// out of memory). The status is taken by reference, so that it is read after the call
// that fills it.
void checkStore(const ObjectStore& store, uint32_t failed, const uint32_t& status) {
  if (failed) reportObjectStoreError(store, status);
}

}  // namespace

int64_t FEquSet::bindingCode(const Symbol* symbol) {
  if (symbol->flags[0] & Symbol::kEquate) return 1;
  if (symbol->flags[1] & Symbol::kSet) return 2;
  return 0;
}

FlowNode* FEquSet::clone() const {
  auto* copy = new (std::nothrow) FEquSet(line, symbol, value);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FEquSet::assign(const FEquSet& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  symbol = other.symbol;
  value = other.value;
}

void FEquSet::emit(ObjectWriter& writer) {
  writer.emitObjectSymbol(symbol, 0);
  emitHook(writer);
  // Symbols of expanded lines have no source place a debugger could show.
  bool debugRecord = orbaOptions()->asmDebugInfo && line && line->variant() < 0 &&
                     !(line->flags[0] & lineflag::kMacroExpansion);
  if (debugRecord) writeDebugVariable(writer);
  setLineCycles(line, cycles);
}

void FEquSet::writeDebugVariable(ObjectWriter& writer) {
  ObjectStore& store = writer.store();
  Section* section = writer.section;
  bool placed = section && section != placeholderSection();
  uint32_t status = 0;
  uint32_t stringId = 0;
  uint32_t variableId = 0;
  checkStore(store, store.stringAdd(writer.fileId, symbol->name, &stringId, &status), status);
  checkStore(store, store.moduleAddVariable(writer.module, &variableId, &status), status);
  checkStore(store, store.variableSetName(writer.fileId, variableId, stringId, &status), status);
  if (placed) {
    uint32_t word = static_cast<uint32_t>(section->mauBits) * 16 + (section->objectNumber & 0xF);
    checkStore(store, store.variableSetValue(writer.fileId, variableId, word, &status), status);
  }
  checkStore(store, store.variableSetKind16(writer.fileId, variableId, kDebugVariableKind, &status),
             status);
  if (placed) {
    int32_t location = section->currentLocation();
    OrbaExpression* address = section->baseExpression();
    if (location != 0) address = TEBinary::create(address, OP_add, location);
    ExprNode* converted = emitExpressionValue(address, writer, line, 0);
    uint32_t failed = store.variableSetExpression(writer.fileId, variableId, converted, &status);
    store.releaseExpression(converted);
    checkStore(store, failed, status);
  }

  int64_t known = 0;
  OrbaExpression* symbolValue = nullptr;
  if (symbol->valueExpression) {
    SymbolValueMemo::Use use(writer.debugValues);
    symbolValue = symbol->valueExpression->evaluate();
  }
  if (symbolValue && symbolValue->getKind() == EK_integer) known = symbolValue->getInteger();
  ExprNode* record = objectTake(kValueListOperator,
                                {objectInteger(0), objectInteger(bindingCode(symbol)), objectInteger(known)});
  uint32_t failed = store.variableSetValueExpression(writer.fileId, variableId, record, &status);
  objectRelease(record);
  checkStore(store, failed, status);
}

void FEquSet::dump(std::ostream& out) const { out << "FEquSet()\n"; }

FlowNode* FExtern::clone() const {
  auto* copy = new (std::nothrow) FExtern(line, symbol);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FExtern::emit(ObjectWriter& writer) {
  writer.emitObjectSymbol(symbol, 0);
  emitHook(writer);
}

void FExtern::dump(std::ostream& out) const { out << "FExtern()\n"; }
