#include "expr/TEBinary.h"

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

#include "expr/SymbolValueMemo.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "flow/Symbol.h"

namespace {

// Two's-complement arithmetic that wraps instead of overflowing.
int64_t wrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t wrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t wrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// Counts of 32 and more shift by 32 plus the count modulo 32, so that 32 to 63 are
// exact and nothing ever shifts a 64-bit value by 64 or more.
unsigned shiftCount(int64_t count) {
  auto c = static_cast<uint32_t>(count);
  return c <= 31 ? c : 32 + (c % 32);
}

bool isKind(const OrbaExpression* expression, uint32_t kind) {
  return expression && expression->getKind() == kind;
}

// A symbol standing alone, added to another operand, or with something taken off.
struct SymbolTerm {
  enum Shape { kNone, kSymbol, kSymbolPlus, kPlusSymbol, kSymbolMinus };
  Shape shape = kNone;
  Symbol* symbol = nullptr;
  OrbaExpression* other = nullptr;
};

SymbolTerm matchSymbolTerm(OrbaExpression* operand) {
  SymbolTerm term;
  if (isKind(operand, EK_symbol)) {
    term.shape = SymbolTerm::kSymbol;
    term.symbol = operand->getSymbol();
    return term;
  }
  if (!isKind(operand, EK_binary)) return term;
  auto* binary = static_cast<TEBinary*>(operand);
  bool leftSymbol = isKind(binary->left(), EK_symbol);
  bool rightSymbol = isKind(binary->right(), EK_symbol);
  if (binary->getOperator() == OP_add && leftSymbol != rightSymbol) {
    term.shape = leftSymbol ? SymbolTerm::kSymbolPlus : SymbolTerm::kPlusSymbol;
    term.symbol = (leftSymbol ? binary->left() : binary->right())->getSymbol();
    term.other = leftSymbol ? binary->right() : binary->left();
  } else if (binary->getOperator() == OP_subtract && leftSymbol && !rightSymbol) {
    term.shape = SymbolTerm::kSymbolMinus;
    term.symbol = binary->left()->getSymbol();
    term.other = binary->right();
  }
  return term;
}

// The offset of a symbol in its section, as its value expression states it.
int64_t symbolOffset(const Symbol* symbol) {
  const OrbaExpression* value = symbol->valueExpression;
  int64_t offset = 0;
  if (isKind(value, EK_integer)) {
    offset = value->getInteger();
  } else if (isKind(value, EK_binary) && value->getOperator() == OP_add &&
             isKind(value->getArgument(1), EK_integer)) {
    offset = value->getArgument(1)->getInteger();
  }
  return static_cast<int32_t>(static_cast<uint32_t>(offset));
}

// The position of a symbol whose value, evaluated where it could be, is the value given.
int64_t symbolPositionOf(Symbol* symbol, OrbaExpression* value) {
switch (value->getKind()) {
    case EK_binary: {
      OrbaExpression* base = value->getArgument(0);
      OrbaExpression* added = value->getArgument(1);
      int64_t position = isKind(base, EK_symbol) ? symbolOffset(base->getSymbol()) : 0;
      return isKind(added, EK_integer) ? wrapAdd(position, added->getInteger()) : position;
    }
    case EK_symbol:
      return symbolOffset(value->getSymbol());
    case EK_integer:
      return value->getInteger();
    default:
      return symbolOffset(symbol);
  }
}

// The integer that stands for a symbol when two symbols of one section are subtracted;
// false when the symbol's value leads back into the walk, which no integer stands for.
bool symbolPosition(Symbol* symbol, int64_t& position) {
  OrbaExpression* value = symbol->valueExpression;
  OrbaExpression* evaluated = evaluateSymbolValue(symbol);
  if (isSymbolCycleError(evaluated)) return false;
  if (evaluated && !evaluated->isError()) value = evaluated;
  position = symbolPositionOf(symbol, value);
  return true;
}

// Nodes made while rewriting one evaluation; the result of an evaluation is always
// a constant or an error, never one of these, so they go when it is done.
class Scratch {
 public:
  ~Scratch() {
    for (int index = 0; index < count_; ++index) releaseTempExpression(nodes_[index]);
  }
  OrbaExpression* keep(OrbaExpression* node) {
    if (node && count_ < kCapacity) nodes_[count_++] = node;
    return node;
  }

 private:
  static constexpr int kCapacity = 6;
  OrbaExpression* nodes_[kCapacity] = {};
  int count_ = 0;
};

// The term with its symbol replaced by the value, its other operand kept in place.
OrbaExpression* replaceSymbolOfTerm(const SymbolTerm& term, int64_t value, Scratch& scratch) {
  OrbaExpression* replacement = TEInteger::create(value);
  switch (term.shape) {
    case SymbolTerm::kSymbolPlus:
      return scratch.keep(new TEBinary(OP_add, replacement, term.other));
    case SymbolTerm::kPlusSymbol:
      return scratch.keep(new TEBinary(OP_add, term.other, replacement));
    case SymbolTerm::kSymbolMinus:
      return scratch.keep(new TEBinary(OP_subtract, replacement, term.other));
    default:
      return replacement;
  }
}

bool isSymbolPlusOrMinusConstant(const SymbolTerm& term) {
  return (term.shape == SymbolTerm::kSymbolPlus || term.shape == SymbolTerm::kSymbolMinus) &&
         isKind(term.other, EK_integer);
}

// Rewrites left - right where symbols cancel or can be moved; false when the rule
// does not apply, and with `cycle` set when a symbol's value leads back into the walk:
// then no rewrite may stand in for the value.
bool rewriteSymbolDifference(OrbaExpression*& left, OrbaExpression*& right, Scratch& scratch, bool& cycle) {
  SymbolTerm leftTerm = matchSymbolTerm(left);
  SymbolTerm rightTerm = matchSymbolTerm(right);
  bool leftMatches = leftTerm.shape != SymbolTerm::kNone;
  bool rightMatches = rightTerm.shape != SymbolTerm::kNone;
  if (leftMatches && rightMatches) {
    // One symbol on both sides cancels whatever its value is, also one that leads back
    // into the walk.
    if (leftTerm.symbol == rightTerm.symbol) {
      left = replaceSymbolOfTerm(leftTerm, 0, scratch);
      right = replaceSymbolOfTerm(rightTerm, 0, scratch);
      return true;
    }
    if (leftTerm.symbol->valueVisit || rightTerm.symbol->valueVisit) {
      cycle = true;
      return false;
    }
    if (leftTerm.symbol->section == rightTerm.symbol->section &&
        leftTerm.symbol->valueExpression && rightTerm.symbol->valueExpression) {
      int64_t leftPosition = 0;
      int64_t rightPosition = 0;
      if (!symbolPosition(leftTerm.symbol, leftPosition) || !symbolPosition(rightTerm.symbol, rightPosition)) {
        cycle = true;
        return false;
      }
      left = replaceSymbolOfTerm(leftTerm, leftPosition, scratch);
      right = replaceSymbolOfTerm(rightTerm, rightPosition, scratch);
      return true;
    }
    return false;
  }
  if (rightMatches && isKind(left, EK_integer) && isSymbolPlusOrMinusConstant(rightTerm)) {
    int64_t k = left->getInteger();
    int64_t c = rightTerm.other->getInteger();
    left = TEInteger::create(rightTerm.shape == SymbolTerm::kSymbolPlus ? wrapSub(k, c)
                                                                         : wrapAdd(k, c));
    right = scratch.keep(new TESymbol(rightTerm.symbol));
    return true;
  }
  if (leftMatches && isKind(right, EK_integer) && isSymbolPlusOrMinusConstant(leftTerm)) {
    int64_t k = right->getInteger();
    int64_t c = leftTerm.other->getInteger();
    left = scratch.keep(new TESymbol(leftTerm.symbol));
    right = TEInteger::create(leftTerm.shape == SymbolTerm::kSymbolPlus ? wrapSub(k, c)
                                                                         : wrapAdd(c, k));
    return true;
  }
  return false;
}

}  // namespace

OrbaExpression* foldIntegerOperation(int32_t op, int64_t a, int64_t b) {
  if ((op == OP_divide || op == OP_remainder) && b == 0) return TEError::kind8();
  int64_t result;
  switch (op) {
    case OP_add: result = wrapAdd(a, b); break;
    case OP_subtract: result = wrapSub(a, b); break;
    case OP_multiply: result = wrapMul(a, b); break;
    case OP_divide: result = (a == INT64_MIN && b == -1) ? INT64_MIN : a / b; break;
    case OP_remainder: result = b == -1 ? 0 : a % b; break;
    case OP_logicalAnd: result = (a != 0 && b != 0); break;
    case OP_logicalOr: result = (a != 0 || b != 0); break;
    case OP_bitAnd: result = a & b; break;
    case OP_bitOr: result = a | b; break;
    case OP_bitXor: result = a ^ b; break;
    case OP_equal: result = a == b; break;
    case OP_notEqual: result = a != b; break;
    case OP_greaterEqual: result = a >= b; break;
    case OP_greater: result = a > b; break;
    case OP_lessEqual: result = a <= b; break;
    case OP_less: result = a < b; break;
    case OP_shiftLeft:
      result = static_cast<int64_t>(static_cast<uint64_t>(a) << shiftCount(b));
      break;
    case OP_shiftRight: result = a >> shiftCount(b); break;
    default: return TEError::kind5();
  }
  return TEInteger::create(result);
}

OrbaExpression* foldDoubleOperation(int32_t op, double a, double b) {
  if (op == OP_divide && b == 0.0) return TEError::kind8();
  double result;
  switch (op) {
    case OP_add: result = a + b; break;
    case OP_subtract: result = a - b; break;
    case OP_multiply: result = a * b; break;
    case OP_divide: result = a / b; break;
    case OP_equal: result = a == b ? 1.0 : 0.0; break;
    case OP_notEqual: result = a != b ? 1.0 : 0.0; break;
    case OP_greaterEqual: result = a >= b ? 1.0 : 0.0; break;
    case OP_greater: result = a > b ? 1.0 : 0.0; break;
    case OP_lessEqual: result = a <= b ? 1.0 : 0.0; break;
    case OP_less: result = a < b ? 1.0 : 0.0; break;
    default: return TEError::kind5();
  }
  return new TEDouble(result);
}

OrbaExpression* foldStringOperation(int32_t op, OrbaExpression* a, OrbaExpression* b) {
  if (op != OP_concat) return TEError::kind5();
  // Each text counts up to its first NUL byte.
  size_t leftLength = std::strlen(a->getString());
  size_t rightLength = std::strlen(b->getString());
  std::string joined;
  joined.reserve(leftLength + rightLength);
  joined.append(a->getString(), leftLength).append(b->getString(), rightLength);
  return TEString::create(joined.data(), static_cast<uint32_t>(joined.size()));
}

int64_t stringToInteger(const OrbaExpression* expression, uint32_t kind, bool& failed) {
  if (kind == EK_integer) return expression->getInteger();
  if (kind != EK_string) {
    failed = true;
    return 0;
  }
  uint32_t length = expression->getStringLength();
  if (length > 32) failed = true;
  const char* text = expression->getString();
  uint64_t value = 0;
  for (uint32_t index = 0; index < length && index < 32; ++index)
    value = (value << 8) + static_cast<uint8_t>(text[index]);
  return static_cast<int64_t>(value);
}

OrbaExpression* foldBinaryOperation(int32_t op, OrbaExpression* left, OrbaExpression* right) {
  if (!left || !right) return nullptr;
  uint32_t leftKind = left->getKind();
  uint32_t rightKind = right->getKind();
  auto integerOrString = [](uint32_t kind) { return kind == EK_integer || kind == EK_string; };
  if ((leftKind == EK_double && (rightKind == EK_integer || rightKind == EK_double)) ||
      (leftKind == EK_integer && rightKind == EK_double))
    return foldDoubleOperation(op, left->getDouble(), right->getDouble());
  if (op == OP_concat && leftKind == EK_string && rightKind == EK_string)
    return foldStringOperation(op, left, right);
  if (integerOrString(leftKind) && integerOrString(rightKind)) {
    bool failed = false;
    int64_t a = stringToInteger(left, leftKind, failed);
    int64_t b = stringToInteger(right, rightKind, failed);
    if (failed) return TEError::kind5();
    return foldIntegerOperation(op, a, b);
  }
  return nullptr;
}

OrbaExpression* TEBinary::create(OrbaExpression* left, int32_t op, int64_t constant) {
  if (!left) return nullptr;
  if (left->getKind() == EK_integer) return foldIntegerOperation(op, left->getInteger(), constant);
  OrbaExpression* right = TEInteger::create(constant);
  if (OrbaExpression* folded = foldBinaryOperation(op, left, right)) return folded;
  return new TEBinary(op, left, right);
}

bool TEBinary::isRelocatable() const {
  return (left_ && left_->isRelocatable()) || (right_ && right_->isRelocatable());
}

OrbaExpression* TEBinary::getArgument(int32_t index) const {
  if (index == 0) return left_;
  if (index == 1) return right_;
  return TEError::kind4();
}

bool TEBinary::isInSection(const Section* section) const {
  return left_ && right_ && left_->isInSection(section) && right_->isInSection(section);
}

bool TEBinary::hasWeakReference() const {
  return (left_ && left_->hasWeakReference()) || (right_ && right_->hasWeakReference());
}

uint32_t TEBinary::countSymbolReferences() const {
  return (left_ ? left_->countSymbolReferences() : 0) +
         (right_ ? right_->countSymbolReferences() : 0);
}

void TEBinary::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (left_) left_->replaceSymbol(oldSymbol, newSymbol);
  if (right_) right_->replaceSymbol(oldSymbol, newSymbol);
}

OrbaExpression* TEBinary::substitute(Symbol* symbol, OrbaExpression* expression) {
  if (!left_ || !right_) return this;
  OrbaExpression* left = left_->substitute(symbol, expression);
  OrbaExpression* right = right_->substitute(symbol, expression);
  if (OrbaExpression* folded = foldBinaryOperation(op_, left, right)) return folded;
  return new TEBinary(op_, left, right);
}

OrbaExpression* TEBinary::evaluate() {
  if (!left_ || !right_) return TEError::kind5();
  if (op_ == OP_subtract && !isRelocatable()) {
    OrbaExpression* left = left_;
    OrbaExpression* right = right_;
    Scratch scratch;
    bool cycle = false;
    if (rewriteSymbolDifference(left, right, scratch, cycle)) {
      if (OrbaExpression* folded = foldBinaryOperation(op_, left, right)) return folded->evaluate();
      OrbaExpression* rewritten = scratch.keep(new TEBinary(op_, left, right));
      return rewritten ? rewritten->evaluate() : nullptr;
    }
    if (cycle) return symbolCycleError();
  }
  OrbaExpression* left = left_->evaluate();
  if (!left || left->isError()) return left;
  OrbaExpression* right = right_->evaluate();
  if (!right || right->isError()) return right;
  if (OrbaExpression* folded = foldBinaryOperation(op_, left, right)) return folded;
  return TEError::kind5();
}

uint32_t TEBinary::getUnit() const {
  if (!left_) return 1;
  uint32_t unit = left_->getUnit();
  // The right operand is asked as well; its answer does not count.
  if (right_) right_->getUnit();
  return unit;
}

const char* TEBinary::operatorText(int32_t op) {
  const char* text;
  switch (op) {
    case OP_add: text = " + "; break;
    case OP_logicalAnd: text = " && "; break;
    case OP_bitAnd: text = " & "; break;
    case OP_bitOr: text = " | "; break;
    case OP_bitXor: text = " ^ "; break;
    case OP_concat: text = " ++ "; break;
    case OP_divide: text = " / "; break;
    case OP_equal: text = " == "; break;
    case OP_greaterEqual: text = " >= "; break;
    case OP_greater: text = " > "; break;
    case OP_lessEqual: text = " <= "; break;
    case OP_less: text = " < "; break;
    case OP_remainder: text = " % "; break;
    case OP_multiply: text = " * "; break;
    case OP_notEqual: text = " != "; break;
    case OP_logicalOr: text = " || "; break;
    case OP_shiftLeft: text = " << "; break;
    case OP_shiftRight: text = " >> "; break;
    case OP_subtract: text = " - "; break;
    default: text = " <?> "; break;
  }
  return text;
}

void TEBinary::print(std::ostream& out, unsigned mode) const {
  const char* text = operatorText(op_);
  out << '(';
  if (left_) left_->print(out, mode);
  out << text;
  if (right_) right_->print(out, mode);
  out << ')';
}

bool findFirstUnsatisfiedCase(const std::vector<std::pair<OrbaExpression*, const char*>>& cases,
                              const char*& result, bool errorStops) {
  for (const auto& [condition, caseResult] : cases) {
    OrbaExpression* value = condition ? condition->evaluate() : nullptr;
    bool holds;
    if (value && value->isError()) {
      holds = !errorStops;
    } else if (!value || !value->isValue() || value->getKind() == EK_symbol) {
      holds = false;
    } else {
      switch (value->getKind()) {
        case EK_integer: holds = value->getInteger() != 0; break;
        case EK_double:
        case EK_fract: holds = value->getDouble() != 0.0; break;
        case EK_string: holds = value->getStringLength() != 0; break;
        default: holds = true; break;
      }
    }
    if (!holds) {
      result = caseResult;
      return false;
    }
  }
  return true;
}
