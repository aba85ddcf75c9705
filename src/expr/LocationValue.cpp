// Location values: what the layout passes learn of an expression before the link.
// A value is absolute, relative to a section with an offset, or none; "known" says
// whether the number in it is final.
#include <cstdint>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunState.h"
#include "expr/SymbolWalk.h"
#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEFract.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "flow/Section.h"
#include "flow/Symbol.h"

namespace {

int64_t wrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t wrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

void setAbsolute(ExprValue& value, int64_t number, bool known) {
  value.kind = ExprValue::kAbsolute;
  value.known = known;
  value.value = known ? number : 0;
}

void setRelative(ExprValue& value, Section* section, int64_t offset, bool known) {
  value.kind = ExprValue::kRelative;
  value.known = known;
  value.section = section;
  value.offset = offset;
}

void setNone(ExprValue& value) {
  value.kind = ExprValue::kNone;
  value.known = false;
}

void setFailed(ExprValue& value, bool& error, const char* what) {
  error = true;
  setNone(value);
  value.errorText = errorHandler()->formatMessage(E_invalid_expression, what);
}

bool isKind(const OrbaExpression* expression, uint32_t kind) {
  return expression && expression->getKind() == kind;
}

// The offset of a label in its section: its value, or the constant added to the
// section's start.
int64_t labelOffset(const OrbaExpression* value) {
  if (isKind(value, EK_integer)) return value->getInteger();
  if (isKind(value, EK_binary) && value->getOperator() == OP_add) {
    const OrbaExpression* right = value->getArgument(1);
    if (isKind(right, EK_integer)) return right->getInteger();
  }
  return 0;
}

// The section's start address when it is a plain number.
int64_t locatedBase(const Section* section) {
  OrbaExpression* base = section->baseExpression();
  if (!base) return 0;
  OrbaExpression* start = base->evaluate();
  return isKind(start, EK_integer) ? start->getInteger() : 0;
}

}  // namespace

ExprValue& TEInteger::getValue(ExprValue& value, const ExprLocation&, bool&) {
  setAbsolute(value, value_, true);
  value.unit = getUnit();
  return value;
}

ExprValue& TEDouble::getValue(ExprValue& value, const ExprLocation&, bool&) {
  setAbsolute(value, getInteger(), true);
  value.unit = getUnit();
  return value;
}

ExprValue& TEFract::getValue(ExprValue& value, const ExprLocation&, bool&) {
  setAbsolute(value, 0, false);
  value.unit = getUnit();
  return value;
}

ExprValue& TEString::getValue(ExprValue& value, const ExprLocation&, bool&) {
  bool failed = false;
  int64_t packed = stringToInteger(this, EK_string, failed);
  setAbsolute(value, packed, !failed);
  value.unit = getUnit();
  return value;
}

ExprValue& TESection::getValue(ExprValue& value, const ExprLocation&, bool& error) {
  setFailed(value, error, "section pointer");
  value.unit = getUnit();
  return value;
}

ExprValue& TELineInfo::getValue(ExprValue& value, const ExprLocation&, bool& error) {
  setFailed(value, error, "lineinfo pointer");
  value.unit = getUnit();
  return value;
}

ExprValue& TEUnary::getValue(ExprValue& value, const ExprLocation& location, bool& error) {
  if (!operand_) {
    setNone(value);
    return value;
  }
  bool failed = false;
  operand_->getValue(value, location, failed);
  if (failed) {
    error = true;
    return value;
  }
  bool absolute = value.kind == ExprValue::kAbsolute;
  switch (op_) {
    case OP_logicalNot:
      if (absolute)
        setAbsolute(value, value.value == 0 ? 1 : 0, value.known);
      else
        setNone(value);
      break;
    case OP_complement:
      if (absolute)
        setAbsolute(value, ~value.value, value.known);
      else
        setNone(value);
      break;
    case OP_negate:
      if (absolute)
        setAbsolute(value, wrapSub(0, value.value), value.known);
      else
        setNone(value);
      break;
    case OP_plus: break;
    default: setNone(value); break;
  }
  value.unit = getUnit();
  return value;
}

ExprValue& TEBinary::getValue(ExprValue& value, const ExprLocation& location, bool& error) {
  if (!left_ || !right_) {
    setNone(value);
    return value;
  }
  ExprValue left;
  ExprValue right;
  bool failed = false;
  left_->getValue(left, location, failed);
  const ExprValue* failedSide = failed ? &left : nullptr;
  if (!failedSide) {
    right_->getValue(right, location, failed);
    if (failed) failedSide = &right;
  }
  if (failedSide) {
    // The side that failed carries the text that the consumer reports.
    error = true;
    setNone(value);
    value.kind = failedSide->kind;
    value.errorText = failedSide->errorText;
    value.unit = getUnit();
    return value;
  }

  constexpr uint32_t kNone = ExprValue::kNone;
  constexpr uint32_t kRel = ExprValue::kRelative;
  constexpr uint32_t kAbs = ExprValue::kAbsolute;
  const bool bothKnown = left.known && right.known;
  const uint32_t l = left.kind;
  const uint32_t r = right.kind;
  bool done = true;
  value.errorText = nullptr;
  switch (op_) {
    case OP_add:
      if (l == kAbs && r == kAbs)
        setAbsolute(value, wrapAdd(left.value, right.value), bothKnown);
      else if (l == kAbs && r == kRel)
        setRelative(value, right.section, wrapAdd(left.value, right.offset), bothKnown);
      else if (l == kRel && r == kAbs)
        setRelative(value, left.section, wrapAdd(left.offset, right.value), bothKnown);
      else if ((l == kRel || l == kNone) && r == kRel)
        setRelative(value, nullptr, 0, false);
      else
        done = false;
      break;
    case OP_subtract:
      if (l == kAbs && r == kAbs)
        setAbsolute(value, wrapSub(left.value, right.value), bothKnown);
      else if (l == kRel && r == kAbs)
        setRelative(value, left.section, wrapSub(left.offset, right.value), bothKnown);
      else if (l == kRel && r == kRel && left.section == right.section)
        setAbsolute(value, wrapSub(left.offset, right.offset), bothKnown);
      else if (l == kRel && r == kRel)
        setAbsolute(value, 0, false);
      else
        done = false;
      break;
    case OP_bitAnd:
      // Only a section at its final address gives a label's bits; an absolute mask
      // over anything else is absolute, but its bits are not known yet.
      if (l == kAbs && r == kAbs)
        setAbsolute(value, left.value & right.value, bothKnown);
      else if (l == kRel && r == kAbs && left.section && left.section->hasAddress)
        setAbsolute(value, left.offset & right.value, bothKnown);
      else
        setAbsolute(value, 0, false);
      break;
    case OP_bitOr:
      if (l == kAbs && r == kAbs)
        setAbsolute(value, left.value | right.value, bothKnown);
      else
        setAbsolute(value, 0, false);
      break;
    default: done = false; break;
  }
  if (!done) {
    OrbaExpression* result = evaluate();
    if (!result || result->isError()) {
      setNone(value);
    } else {
      bool resultFailed = false;
      result->getValue(value, location, resultFailed);
      if (resultFailed) error = true;
    }
  }
  value.unit = getUnit();
  return value;
}

ExprValue& TESymbol::getValue(ExprValue& value, const ExprLocation& location, bool& error) {
  symbolLocationValue(symbol_, value, location, error);
  value.unit = getUnit();
  return value;
}

bool sectionOffsetOfValue(const OrbaExpression* value, const Symbol* sectionSymbol, int64_t& offset) {
  if (!value) return false;
  auto isSectionSymbol = [sectionSymbol](const OrbaExpression* leaf) {
    return leaf && leaf->getKind() == EK_symbol && leaf->getSymbol() == sectionSymbol;
  };
  if (isSectionSymbol(value)) {
    offset = 0;
    return true;
  }
  if (value->getKind() != EK_binary || value->getOperator() != OP_add) return false;
  const auto* sum = static_cast<const TEBinary*>(value);
  if (!isSectionSymbol(sum->left()) || !sum->right() || sum->right()->getKind() != EK_integer) return false;
  offset = sum->right()->getInteger();
  return true;
}

namespace {

struct LocationKey {
  ExprLocation location;
  bool error = false;
  bool operator==(const LocationKey& other) const {
    return location.section == other.location.section && location.address == other.location.address &&
           location.sectionStart == other.location.sectionStart && error == other.error;
  }
};
struct LocationAnswer {
  ExprValue value;
  bool error = false;
};
struct RunLocationWalks {
  SymbolWalkState<LocationAnswer, LocationKey> equates;
};

// Whether the location value of a reference to the symbol is that of its value.
bool locatedByValue(const Symbol* symbol) {
  return symbol->isEquate() && !symbol->isWeak() && symbol->valueExpression;
}

}  // namespace

ExprValue& symbolLocationValue(Symbol* symbol, ExprValue& value, const ExprLocation& location, bool& error) {
  Section* section = symbol->section;
  if (locatedByValue(symbol) && !symbol->valueVisit) {
    LocationKey key{location, error};
    LocationAnswer answer = askThroughValue(
        symbol, runPart<RunLocationWalks>().equates, key, locatedByValue,
        [key](Symbol* named) {
          LocationAnswer found;
          found.value.errorText = nullptr;
          found.error = key.error;
          named->valueExpression->getValue(found.value, key.location, found.error);
          return found;
        },
        [](const LocationAnswer& found) { return found; });
    value = answer.value;
    error = answer.error;
    return value;
  }
  SymbolValueVisit visit(symbol);
  OrbaExpression* symbolValue = visit.value();
  value.errorText = nullptr;
  if (symbol->isWeak() || !symbolValue) {
    setRelative(value, section, 0, false);
  } else if (section && section == location.section) {
    int64_t offset = labelOffset(symbolValue);
    if (section->hasAddress) offset = wrapAdd(offset, locatedBase(section));
    // A label of an earlier block has not moved with this pass yet.
    if (symbol->layoutBlock != section->layoutBlock)
      offset = wrapAdd(offset, wrapSub(location.address, location.sectionStart));
    setRelative(value, section, offset, true);
  } else {
    OrbaExpression* result = symbolValue->evaluate();
    ExprValue resultValue;
    bool resultFailed = false;
    if (result && !result->isError()) result->getValue(resultValue, location, resultFailed);
    bool usable = !resultFailed && resultValue.kind == ExprValue::kAbsolute && resultValue.known;
    setRelative(value, section, usable ? resultValue.value : 0, usable);
  }
  return value;
}
