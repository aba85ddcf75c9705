#include "expr/TETricoreFunction.h"

#include <cstdint>
#include <vector>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/ExprReport.h"
#include "expr/ObjectExpr.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"
#include "flow/Section.h"
#include "flow/Symbol.h"

namespace {

// How many times the span halves before it is 1 or less: log2 of a power of two.
int halvings(int64_t span) {
  int count = 0;
  while (span > 1) {
    span >>= 1;
    ++count;
  }
  return count;
}

int64_t wrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

int64_t wrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// A distance between two addresses: the program counter counts in 32 bits, so a target
// beyond them is reached as its low 32 bits are, the way layout measured it.
int64_t addressDistance(int64_t distance) {
  return static_cast<int32_t>(static_cast<uint32_t>(distance));
}

// All bits from n upward set.
int64_t highMask(int n) { return static_cast<int64_t>(~uint64_t{0} << n); }

// What an operand check knows of the instruction it guards.
struct CheckSite {
  Section* section = nullptr;
  int64_t offset = 0;  // the offset argument plus the instruction's location
  int64_t span = 0;    // the field span, or the page size
};

// The section, offset and span arguments; false when they do not describe a place
// in a section that a directive opened.
bool readCheckSite(const TEFunction::Arguments& arguments, CheckSite& site) {
  if (arguments.size() < 4 || !arguments[0]) return false;
  OrbaExpression* sectionArgument = arguments[1];
  if (!sectionArgument || sectionArgument->getKind() != EK_section) return false;
  Section* section = static_cast<TESection*>(sectionArgument)->section();
  if (!section || section == placeholderSection()) return false;
  int64_t offset = 0;
  if (!arguments[2] || exprargs::integerValue(arguments[2], offset)) return false;
  if (!arguments[3] || exprargs::integerValue(arguments[3], site.span)) return false;
  site.section = section;
  site.offset = wrapAdd(offset, static_cast<int64_t>(section->instructionLocation()));
  return true;
}

// The temporary trees of one check; only the operator nodes built here are freed,
// never the operands that they borrow.
class Scratch {
 public:
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    for (OrbaExpression* node : made_) releaseTempExpression(node);
  }

  // left op right, folded when both are constants.
  OrbaExpression* binary(OrbaExpression* left, int32_t op, OrbaExpression* right) {
    if (OrbaExpression* folded = foldBinaryOperation(op, left, right)) return folded;
    return keep(new TEBinary(op, left, right));
  }
  OrbaExpression* binary(OrbaExpression* left, int32_t op, int64_t constant) {
    OrbaExpression* made = TEBinary::create(left, op, constant);
    return made && made->getKind() == EK_binary ? keep(made) : made;
  }

 private:
  OrbaExpression* keep(OrbaExpression* node) {
    if (node) made_.push_back(node);
    return node;
  }
  std::vector<OrbaExpression*> made_;
};

// The target and the start it is measured from: section-relative (the section's own
// symbol taken as 0, measured from 0) when the section allows it and the target
// lies in it, otherwise against the section's base address.
struct Measured {
  OrbaExpression* target;
  OrbaExpression* base;
};

Measured measure(OrbaExpression* target, Section* section) {
  if (!section->noSectionRelativeEvaluation && target->isInSection(section)) {
    OrbaExpression* relative =
        section->sectionSymbol ? target->substitute(section->sectionSymbol, TEInteger::create(0))
                               : target;
    return {relative, TEInteger::create(0)};
  }
  return {target, section->baseExpression()};
}

// The start address of a section placed at a fixed address, when it is a number.
bool fixedStart(const Section& section, int64_t& start) {
  if (!section.hasAddress || !section.baseExpression()) return false;
  OrbaExpression* base = section.baseExpression()->evaluate();
  if (!base || base->getKind() != EK_integer) return false;
  start = base->getInteger();
  return true;
}

// The target and the start that a distance is measured from. A section at a fixed
// address measures every target from its start address: a number is an address there,
// not an offset into the section, and a label's value holds the start already.
Measured measureDistance(OrbaExpression* target, Section* section) {
  int64_t start = 0;
  if (fixedStart(*section, start)) return {target, TEInteger::create(start)};
  return measure(target, section);
}

// The offset of a target in the section when it is a label there whose value is the
// section's symbol plus an integer, the form layout gives labels; what measure would
// fold the target to, read without making a node. False for every other target.
bool labelOffsetIn(OrbaExpression* target, const Section& section, int64_t& offset) {
  Symbol* sectionSymbol = section.sectionSymbol;
  if (!sectionSymbol || section.noSectionRelativeEvaluation || target->getKind() != EK_symbol) return false;
  Symbol* label = target->getSymbol();
  if (!label || label == sectionSymbol || label->valueVisit || !target->isInSection(&section)) return false;
  return sectionOffsetOfValue(label->valueExpression, sectionSymbol, offset);
}

}  // namespace

bool labelOffsetInSection(Symbol* label, const Section& section, int64_t& offset) {
  Symbol* sectionSymbol = section.sectionSymbol;
  if (!sectionSymbol || section.noSectionRelativeEvaluation || !label || label == sectionSymbol || label->valueVisit)
    return false;
  if (!label->isDefined() || label->isWeak() || label->isSectionByValue() || label->section != &section) return false;
  return sectionOffsetOfValue(label->valueExpression, sectionSymbol, offset);
}

int64_t fieldDisplacement(int64_t distance, int64_t span) {
  const int n = halvings(span);
  // A span below 2 has no sign bit to test; the displacement stays as it is.
  if (n == 0) return distance;
  const bool signBit = (static_cast<uint64_t>(distance) >> (n - 1)) & 1;
  if ((signBit && distance > 0) || distance < 0) distance ^= highMask(n);
  return distance;
}

OrbaExpression* evaluatePcRelativeCall(const TEFunction::Arguments& arguments) {
  CheckSite site;
  if (!readCheckSite(arguments, site)) return TEError::kind5();
  int64_t value = 0;
  int64_t targetOffset = 0;
  if (labelOffsetIn(arguments[0], *site.section, targetOffset)) {
    // A label of the instruction's own section, measured from 0: every jump to a label
    // comes here, and a node for its distance would be kept for the rest of the run.
    value = wrapSub(targetOffset, site.offset);
    if (site.span == 0) return TEInteger::create(value);
  } else {
    Measured measured = measureDistance(arguments[0], site.section);
    if (!measured.target || !measured.base) return TEError::kind5();
    if (measured.base->getKind() == EK_integer && measured.target->getKind() == EK_integer) {
      // Both ends are numbers: the distance needs no node either.
      value = addressDistance(
          wrapSub(measured.target->getInteger(), wrapAdd(measured.base->getInteger(), site.offset)));
      if (site.span == 0) return TEInteger::create(value);
    } else {
      Scratch scratch;
      OrbaExpression* from = scratch.binary(measured.base, OP_add, site.offset);
      if (from && from->getKind() == EK_integer) {
        // A target without a value (a symbol defined later or elsewhere) fails the
        // distance the same way; finding that out needs no node for the distance.
        OrbaExpression* target = measured.target->evaluate();
        if (!target) return TEError::kind5();
        if (target->isError()) return target;
      }
      OrbaExpression* distance = scratch.binary(measured.target, OP_subtract, from);
      OrbaExpression* displacement = distance ? distance->evaluate() : nullptr;
      if (!displacement) return TEError::kind5();
      if (displacement->isError()) return displacement;
      uint32_t kind = displacement->getKind();
      if (site.span == 0 && kind != EK_integer) return displacement;
      if ((kind != EK_integer && kind != EK_string) || exprargs::integerValue(displacement, value))
        return TEError::kind5();
      value = addressDistance(value);
      if (site.span == 0) return TEInteger::create(value);
    }
  }
  return TEInteger::create(fieldDisplacement(value, site.span));
}

OrbaExpression* evaluateInPageCall(const TEFunction::Arguments& arguments) {
  CheckSite site;
  if (!readCheckSite(arguments, site)) return TEError::kind5();
  Measured measured = measure(arguments[0], site.section);
  if (!measured.target || !measured.base) return TEError::kind5();
  OrbaExpression* bits = TEInteger::create(halvings(site.span));
  Scratch scratch;
  OrbaExpression* targetPage = scratch.binary(measured.target, OP_shiftRight, bits);
  OrbaExpression* from = scratch.binary(measured.base, OP_add, site.offset);
  OrbaExpression* fromPage = scratch.binary(from, OP_shiftRight, bits);
  OrbaExpression* differ = scratch.binary(targetPage, OP_notEqual, fromPage);
  OrbaExpression* answer = differ ? differ->evaluate() : nullptr;
  if (!answer) return TEError::kind5();
  if (answer->isError()) return answer;
  if (answer->getKind() == EK_integer && answer->getInteger() == 0)
    return measured.target->evaluate();
  return TEError::kind5();
}

bool reportRangeDiagnostic(const TEFunction& call, OrbaExpression*& value) {
  const TEFunction::Arguments& arguments = call.arguments();
  if (call.code() != FN_RANGE && call.code() != FN_WRANGE) return false;
  if (arguments.size() < 4) return false;
  if (exprargs::evaluated(arguments[0], value)) return false;
  int64_t low = 0;
  int64_t high = 0;
  if (!arguments[1] || exprargs::integerValue(arguments[1], low)) return false;
  if (!arguments[2] || exprargs::integerValue(arguments[2], high)) return false;
  const LineInfo* position = nullptr;
  if (arguments[3] && arguments[3]->getKind() == EK_lineInfo)
    position = static_cast<TELineInfo*>(arguments[3])->lineInfo();
  bool warning = call.code() == FN_WRANGE;
  int32_t id = warning ? (low < 0 ? W_range_error_dec : W_range_error_hex)
                       : (low < 0 ? E_range_error_dec : E_range_error_hex);
  errorHandler()->report(id, position, low, high);
  return true;
}

namespace {

// Errors of a call that the object writer reports itself, giving the constant 0.
bool reportedWhenWritten(uint32_t kind) {
  switch (kind) {
    case ERR_argument:
    case ERR_argumentCount:
    case ERR_argumentIndex:
    case ERR_unsupportedFunction:
    case ERR_divideByZero:
    case ERR_floatingPoint:
    case ERR_expectedInteger:
    case ERR_expectedString:
    case ERR_missingArguments:
    case ERR_additionalArguments: return true;
    default: return false;
  }
}

ExprNode* argumentForm(const TEFunction::Arguments& arguments, size_t index, ObjectFile* context,
                       bool warn) {
  if (index >= arguments.size() || !arguments[index]) return nullptr;
  return arguments[index]->toObject(context, warn);
}

// The link-time form of a displacement: the field value of d = target - location
// for a span of 2^n, chosen by an IF node as the evaluation chooses it.
ExprNode* pcRelativeForm(ExprNode* distance, int64_t span) {
  int n = halvings(span);
  if (span <= 0 || n == 0 || !distance) return distance;
  auto signBit = [&] {
    return objectTake(OBJ_bitAnd,
                      {objectTake(OBJ_shiftRight, {objectShare(distance), objectInteger(n - 1)}),
                       objectInteger(1)});
  };
  ExprNode* positive =
      objectTake(OBJ_logicalAnd,
                 {signBit(), objectTake(OBJ_greater, {objectShare(distance), objectInteger(0)})});
  ExprNode* negative =
      objectTake(OBJ_logicalAnd, {objectTake(OBJ_bitNot, {signBit()}),
                                  objectTake(OBJ_less, {objectShare(distance), objectInteger(0)})});
  ExprNode* condition = objectTake(OBJ_logicalOr, {positive, negative});
  ExprNode* inverted = objectTake(OBJ_bitXor, {objectShare(distance), objectInteger(highMask(n))});
  ExprNode* kept = objectTake(OBJ_bitXor, {distance, objectInteger(0)});
  return objectTake(OBJ_if, {condition, inverted, kept});
}

// The out-of-range value of @WRANGE still goes out.
ExprNode* rangeDiagnostic(TEFunction& call, ObjectFile* context, bool warn) {
  OrbaExpression* value = nullptr;
  if (!reportRangeDiagnostic(call, value)) return nullptr;
  if (call.code() != FN_WRANGE) return objectInteger(0);
  if (call.isRelocatable()) return call.arguments()[0]->toObject(context, warn);
  int64_t integer = 0;
  if (exprargs::integerValue(value, integer)) return nullptr;
  return objectInteger(integer);
}

}  // namespace

ExprNode* TEFunction::toObject(ObjectFile* context, bool warn) {
  OrbaExpression* result = evaluate();
  bool relocatable = isRelocatable();
  if (result && !result->isError() && !relocatable) return result->toObject(context, warn);
  if (result && result->isError()) {
    uint32_t kind = result->getErrorKind();
    if (kind == ERR_range && (code_ == FN_RANGE || code_ == FN_WRANGE))
      return rangeDiagnostic(*this, context, warn);
    // A range error of a nested check reaches an outer call without its bounds.
    if (kind == ERR_range || reportedWhenWritten(kind)) {
      reportExpressionError(kind, TEError::kindText(result), E_expression_error,
                            objectSourcePosition());
      return objectInteger(0);
    }
  }

  switch (code_) {
    case FN_MSB:
      return objectTake(OBJ_bitAnd,
                        {objectTake(OBJ_shiftRight,
                                    {argumentForm(arguments_, 0, context, warn), objectInteger(8)}),
                         objectInteger(0xFF)});
    case FN_LSB:
      return objectTake(OBJ_bitAnd,
                        {argumentForm(arguments_, 0, context, warn), objectInteger(0xFF)});
    case FN_CONDITIONAL: {
      if (arguments_.size() != 3) return nullptr;
      ExprNode* choice = objectOpenOperator(OBJ_if);
      for (size_t i = 0; i < 3 && choice; ++i) {
        ExprNode* operand = argumentForm(arguments_, i, context, warn);
        if (!objectTakeAppend(choice, operand)) choice = nullptr;
      }
      return choice;
    }
    case FN_PAGESIZE: {
      int64_t size = 0;
      if (arguments_.size() < 2 || !arguments_[1] || exprargs::integerValue(arguments_[1], size))
        return nullptr;
      return objectTake(OBJ_bitAnd,
                        {argumentForm(arguments_, 0, context, warn),
                         objectInteger(static_cast<int64_t>(static_cast<uint64_t>(size) - 1))});
    }
    case FN_RANGE: {
      ExprNode* value = argumentForm(arguments_, 0, context, warn);
      ExprNode* low = argumentForm(arguments_, 1, context, warn);
      ExprNode* high = argumentForm(arguments_, 2, context, warn);
      ExprNode* outside =
          objectTake(OBJ_logicalOr, {objectTake(OBJ_less, {objectShare(value), low}),
                                     objectTake(OBJ_greater, {objectShare(value), high})});
      return objectTake(OBJ_rangeCheck, {outside, value, objectInteger(1)});
    }
    case FN_WRANGE: return argumentForm(arguments_, 0, context, warn);
    case FN_PCREL: {
      CheckSite site;
      if (!readCheckSite(arguments_, site) || !site.section->hasAddress) return nullptr;
      OrbaExpression* base = site.section->baseExpression();
      if (!base) return nullptr;
      ExprNode* target = argumentForm(arguments_, 0, context, warn);
      ExprNode* from =
          objectTake(OBJ_add, {base->toObject(context, warn), objectInteger(site.offset)});
      return pcRelativeForm(objectTake(OBJ_subtract, {target, from}), site.span);
    }
    case FN_INPAGE: {
      CheckSite site;
      if (!readCheckSite(arguments_, site) || !site.section->hasAddress) return nullptr;
      OrbaExpression* base = site.section->baseExpression();
      if (!base) return nullptr;
      int n = halvings(site.span);
      ExprNode* target = argumentForm(arguments_, 0, context, warn);
      ExprNode* from =
          objectTake(OBJ_add, {base->toObject(context, warn), objectInteger(site.offset)});
      ExprNode* elsewhere = objectTake(
          OBJ_notEqual, {objectTake(OBJ_shiftRight, {objectShare(target), objectInteger(n)}),
                         objectTake(OBJ_shiftRight, {from, objectInteger(n)})});
      return objectTake(OBJ_rangeCheck, {elsewhere, target, objectInteger(1)});
    }
    default: return nullptr;
  }
}

ExprNode* TETricoreFunction::toRelocationObject(ObjectFile* context) {
  OrbaExpression* result = evaluate();
  if (result && !result->isError()) return result->toObject(context, false);
  uint32_t function = 0;
  switch (code_) {
    case FN_HIS: function = RELOC_HIS; break;
    case FN_LO: function = RELOC_LO; break;
    case FN_LOS: function = RELOC_LOS; break;
    default: return nullptr;
  }
  ExprNode* argument = argumentForm(arguments_, 0, context, false);
  return argument ? objectTakeRelocation(function, argument) : nullptr;
}
