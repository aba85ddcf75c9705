#include "expr/OrbaExpression.h"

#include <cstdlib>
#include <sstream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TEString.h"
#include "util/MemoryPools.h"
#include "util/c-memory.h"

MemPool*& expressionPool() {
  static const size_t poolSlot = nextPoolSlot();
  return runState().poolHandle(poolSlot);
}

void* OrbaExpression::operator new(size_t size) noexcept {
  // A registry torn down clears the handle, and the next node then registers a fresh
  // pool rather than use a freed one.
  if (!expressionPool()) {
    // Interned and shared nodes lived in the pool that went; none of them is valid.
    TEInteger::forgetInterned();
    TEString::forgetInterned();
    TELineInfo::forgetInterned();
    TEError::forgetShared();
    expressionPool() = MemoryPools::instance().registerPool("OrbaExpression", &expressionPool());
  }
  return mem_pool_alloc(expressionPool(), size);
}

void OrbaExpression::operator delete(void* block, size_t size) {
  if (expressionPool()) MemoryPools::free(expressionPool(), block, size);
}

void OrbaExpression::noSuchValue(int line, const char* text) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "OrbaExpression", line, text);
  // An internal error ends the program inside the report.
  std::abort();
}

const char* OrbaExpression::getErrorExtra() const { noSuchValue(124, "not an error object"); }

uint32_t OrbaExpression::getErrorKind() const { noSuchValue(131, "not an error object"); }

int32_t OrbaExpression::getArgumentCount() const {
  noSuchValue(138, "expression has no arguments");
}

OrbaExpression* OrbaExpression::getArgument(int32_t) const {
  noSuchValue(145, "expression has no arguments");
}

int64_t OrbaExpression::getInteger() const { noSuchValue(153, "expression has no integer value"); }

double OrbaExpression::getDouble() const {
  noSuchValue(161, "expression has no floating point value");
}

const uint8_t* OrbaExpression::getFract() const {
  noSuchValue(169, "expression has no fixed point value");
}

const char* OrbaExpression::getString() const { noSuchValue(176, "expression has no string value"); }

uint32_t OrbaExpression::getStringLength() const {
  noSuchValue(184, "expression has no string value");
}

Symbol* OrbaExpression::getSymbol() const { noSuchValue(191, "expression has no symbol value"); }

int32_t OrbaExpression::getOperator() const { noSuchValue(199, "expression has no operator"); }

bool OrbaExpression::isInSection(const Section*) const { return true; }

void OrbaExpression::replaceSymbol(Symbol*, Symbol*) {}

OrbaExpression* OrbaExpression::substitute(Symbol*, OrbaExpression*) { return this; }

namespace {
// One stream for all printing: making a stream per call costs more than the text.
struct PrintStream {
  std::ostringstream stream;
};
}  // namespace

std::string OrbaExpression::toString(unsigned mode) const {
  std::ostringstream& stream = runPart<PrintStream>().stream;
  stream.str(std::string());
  stream.clear();
  print(stream, mode);
  return stream.str();
}

ExprNode* OrbaExpression::toObject(ObjectFile*, bool) { return nullptr; }

ExprValue& OrbaExpression::getValue(ExprValue& value, const ExprLocation&, bool&) {
  value.init();
  return value;
}

void releaseTempExpression(OrbaExpression* expression) {
  if (!expression || expression->isShared()) return;
  delete expression;
}

bool isConstantValue(const OrbaExpression* expression) {
  return expression && expression->isValue() && expression->getKind() != EK_symbol;
}

std::string exprToString(const OrbaExpression* expression) {
  if (!expression) return std::string();
  return expression->toString(3);
}
