// Decides during layout whether an operand expression fits one operand of one
// instruction form at one address: its type, the bounds of its @RANGE/@WRANGE check,
// the page or distance of @INPAGE/@PCREL, and the operand's condition bits. The answer
// has three values, because a label not yet placed gives no final value: 0 does not
// fit, 1 fits, 2 undecided. A failure keeps its formatted text; the validator reports
// nothing, the caller keeps the text and reports it only when no form is left.
#pragma once

#include <cstdint>
#include <vector>

struct LineInfo;
class OrbaExpression;
class Section;
struct ExprValue;

class ExpressionValidator {
 public:
  // Maps the operand value (as an integer node) to the value the field holds.
  using Transform = OrbaExpression* (*)(void* context, OrbaExpression* value);

  // What one operand asks of its value besides the expression itself.
  struct Operand {
    const uint32_t* acceptedTypes = nullptr;  // type codes; none accepts every type
    uint32_t acceptedCount = 0;
    // Condition words, low word first: (value & mask) must equal bits.
    const uint32_t* maskWords = nullptr;
    const uint32_t* bitWords = nullptr;
    uint32_t conditionWords = 0;
    Transform transform = nullptr;
    void* transformContext = nullptr;
    LineInfo* line = nullptr;
  };

  // Why the last check failed.
  enum FailureKind : int32_t {
    kNoFailure = 0,
    kTypeFailed = 1,
    kWhenFailed = 2,
    kRangeError = 3,
    kConditionBitsFailed = 4,
    kRelocationRefused = 5,
    kValueError = 6,
  };

  ExpressionValidator() = default;
  virtual ~ExpressionValidator() = default;
  ExpressionValidator(const ExpressionValidator&) = delete;
  ExpressionValidator& operator=(const ExpressionValidator&) = delete;

  // Where the instruction stands; every use starts here.
  virtual void init(Section* section, uint32_t address, int32_t previousOffset);
  // 0, 1 or 2, also left in result.
  virtual int validate(OrbaExpression* expression, const Operand& operand);
  virtual int checkType(OrbaExpression* expression, const uint32_t* acceptedTypes, uint32_t acceptedCount);
  virtual int checkRange(OrbaExpression* expression);
  virtual int checkInPage(OrbaExpression* call);
  virtual int checkPcRelative(OrbaExpression* call);
  virtual int checkValue(OrbaExpression* expression);
  // 1 when the value (after the transform) meets the condition bits or there are none,
  // 0 with E287 kept otherwise.
  virtual int checkConditionBits(int64_t value);
  virtual int undecidedResult() { return 2; }

  // The condition-bit check alone, with the conditions set in mask and pattern.
  int checkInteger(int64_t value) { return checkConditionBits(value); }

  // Keeps a failure: its text and why.
  void fail(const char* text, int32_t kind) {
    message = text;
    failureKind = kind;
    result = 0;
  }

  Section* section = nullptr;
  uint32_t address = 0;
  int32_t previousOffset = 0;
  int32_t result = 1;
  const char* message = nullptr;  // interned
  int32_t failureKind = kNoFailure;
  int64_t rangeLow = 0;
  int64_t rangeHigh = 0;
  uint8_t warnOnly = 0;
  int64_t pageSize = 0;
  // Multi-word condition values, low word first; only the low 64 bits take part.
  std::vector<uint32_t> mask;
  std::vector<uint32_t> pattern;
  Transform transform = nullptr;
  void* transformContext = nullptr;
  LineInfo* line = nullptr;

 private:
  // The location value of an expression at the instruction's place; false with the
  // error text kept (failure kind 6) when the value is an error.
  bool valueOf(OrbaExpression* expression, ExprValue& value);
  // The reference address of @INPAGE and @PCREL: the instruction's address plus the
  // call's offset argument.
  int64_t referenceAddress(OrbaExpression* call);
  bool sectionIsAbsolute(const Section* candidate) const;
  int rangeFailure();
  bool maskedWithinRange(OrbaExpression* expression) const;
};
