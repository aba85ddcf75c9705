// Conversion of expression trees into the object file's relocation expressions,
// for values that only the linker can finish.
#include <cstdint>
#include <cstring>
#include <optional>

#include "util/ErrorHandler.h"
#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "expr/ObjectExpr.h"
#include "expr/SymbolValueMemo.h"
#include "expr/SymbolWalk.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

// The object store's operator for a binary operator code; 0 for none.
int32_t objectBinaryOperator(int32_t op) {
  switch (op) {
    case OP_add: return OBJ_add;
    case OP_logicalAnd: return OBJ_logicalAnd;
    case OP_bitAnd: return OBJ_bitAnd;
    case OP_bitOr: return OBJ_bitOr;
    case OP_bitXor: return OBJ_bitXor;
    case OP_divide: return OBJ_divide;
    case OP_equal: return OBJ_equal;
    case OP_greaterEqual: return OBJ_greaterEqual;
    case OP_greater: return OBJ_greater;
    case OP_lessEqual: return OBJ_lessEqual;
    case OP_less: return OBJ_less;
    case OP_remainder: return OBJ_remainder;
    case OP_multiply: return OBJ_multiply;
    case OP_notEqual: return OBJ_notEqual;
    case OP_logicalOr: return OBJ_logicalOr;
    case OP_shiftLeft: return OBJ_shiftLeft;
    case OP_shiftRight: return OBJ_shiftRight;
    case OP_subtract: return OBJ_subtract;
    default: return 0;
  }
}

constexpr uint32_t kObjectIntegerBits = 32;
constexpr uint32_t kObjectStringBytes = 32;

bool isKind(const OrbaExpression* expression, uint32_t kind) {
  return expression && expression->getKind() == kind;
}

// Whether the symbol goes into the object file by name; otherwise its value is
// converted in its place.
bool referencedByName(const Symbol* symbol, bool relocatable) {
  const bool binding0 = symbol->flags[0] & Symbol::kBinding0;
  if (!relocatable && binding0) return false;
  const RunSettings* options = orbaOptions();
  if (options->emitLocalSymbols && symbol->isLocal() && !symbol->isEquate()) {
    const char* name = symbol->name;
    if (name[0] != '.' || std::strncmp(name, ".cocofun", 8) == 0) return true;
  } else if (symbol->isEquate() && options->emitLocalEqus) {
    return true;
  }
  if (symbol->countsAsReference() || symbol->isWeak()) return true;
  const bool binding5 = symbol->flags[0] & Symbol::kInternal;
  const bool binding6 = symbol->flags[0] & Symbol::kBinding6;
  return !(symbol->isLocal() || symbol->isEquate() || binding5 || binding6);
}

}  // namespace

ExprNode* TEInteger::toObject(ObjectFile* context, bool warn) {
  int64_t value = value_;
  if (warn && (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX))) {
    errorHandler()->report(W_integer_value_truncated, objectContextPosition(context),
                           kObjectIntegerBits);
    value = static_cast<int64_t>(static_cast<uint32_t>(value));
  }
  return objectInteger(value);
}

ExprNode* TEString::toObject(ObjectFile* context, bool warn) {
  if (warn && length_ > kObjectStringBytes)
    errorHandler()->report(W_string_value_truncated, objectContextPosition(context),
                           kObjectStringBytes);
  bool tooLong = false;
  return objectInteger(stringToInteger(this, EK_string, tooLong));
}

ExprNode* TEBinary::toObject(ObjectFile* context, bool warn) {
  if (!left_ || !right_) return nullptr;
  if (countSymbolReferences() == 0) {
    OrbaExpression* result = evaluate();
    if (result && !result->isError()) return result->toObject(context, warn);
    if (result && result->getErrorKind() == ERR_divideByZero) {
      ErrorHandler* handler = errorHandler();
      handler->reportText(handler->formatMessage(E_divide_by_zero), objectContextPosition(context));
      return objectInteger(0);
    }
  }
  int32_t kind = objectBinaryOperator(op_);
  ExprNode* left = left_->toObject(context, warn);
  if (!left) return nullptr;
  ExprNode* right = right_->toObject(context, warn);
  if (!right || kind == 0) {
    objectRelease(left);
    objectRelease(right);
    return nullptr;
  }
  return objectTake(kind, {left, right});
}

ExprNode* TEUnary::toObject(ObjectFile* context, bool warn) {
  if (!operand_) return nullptr;
  // The folded node, not the folded operand: converting the operand alone would
  // drop the operator.
  if (!isRelocatable()) {
    OrbaExpression* result = evaluate();
    if (result && !result->isError()) return result->toObject(context, warn);
  }
  ExprNode* operand = operand_->toObject(context, warn);
  if (!operand) return nullptr;
  switch (op_) {
    case OP_logicalNot: return objectTake(OBJ_logicalNot, {operand});
    case OP_complement: return objectTake(OBJ_bitNot, {operand});
    case OP_negate: return objectTake(OBJ_negate, {operand});
    case OP_plus: return operand;
    default: objectRelease(operand); return nullptr;
  }
}

namespace {

struct ObjectKey {
  ObjectFile* context = nullptr;
  bool warn = false;
  bool operator==(const ObjectKey& other) const { return context == other.context && warn == other.warn; }
};

struct RunObjectWalks {
  SymbolWalkState<ExprNode*, ObjectKey> converted;
  RunObjectWalks() { converted.release = [](ExprNode*& node) { objectRelease(node); }; }
};

// Whether a reference to the symbol converts the symbol's value in its place.
bool convertsValue(Symbol* symbol) {
  return symbol->valueExpression && !referencedByName(symbol, isSymbolValueRelocatable(symbol));
}

// The symbol's value in the object form, the symbol marked as being walked.
ExprNode* convertValue(Symbol* symbol, ObjectFile* context, bool warn) {
  OrbaExpression* value = symbol->valueExpression;
  Section* section = symbol->section;
  // A label written as section start plus offset goes out against the section's
  // base, so that the linker places it with its section.
  if (section && section != placeholderSection() && !symbol->isEquate() && isKind(value, EK_binary) &&
      value->getOperator() == OP_add && isKind(value->getArgument(0), EK_symbol) &&
      isKind(value->getArgument(1), EK_integer)) {
    OrbaExpression* base = section->baseExpression();
    ExprNode* baseForm = base ? base->toObject(context, warn) : nullptr;
    int64_t offset =
        static_cast<int32_t>(static_cast<uint32_t>(value->getArgument(1)->getInteger()));
    return baseForm ? objectTake(OBJ_add, {baseForm, objectInteger(offset)}) : nullptr;
  }
  return value->toObject(context, warn);
}

}  // namespace

ExprNode* TESymbol::toObject(ObjectFile* context, bool warn) {
  Symbol* symbol = symbol_;
  // A value that leads back to its own symbol cannot be converted.
  if (symbol->valueVisit) return nullptr;
  RunObjectWalks& walks = runPart<RunObjectWalks>();
  // Each symbol of a chain asks whether the rest of it is relocatable: one memo of
  // those answers serves the whole conversion.
  SymbolValueMemo relocatable;
  std::optional<SymbolValueMemo::Use> use;
  if (walks.converted.depth == 0 && !walks.converted.memo) use.emplace(relocatable);
  if (!convertsValue(symbol)) return objectSymbolReference(symbol);
  return askThroughValue(
      symbol, walks.converted, ObjectKey{context, warn}, convertsValue,
      [context, warn](Symbol* named) { return convertValue(named, context, warn); },
      [](ExprNode* node) { return node ? objectShare(node) : nullptr; });
}
