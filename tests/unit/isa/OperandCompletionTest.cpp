#include "isa/OperandCompletion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"
#include "flow/ExpressionValidator.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/IPInstruction.h"
#include "isa/PostEncode.h"
#include "util/LineInfo.h"

namespace {

// The operand of the one deferred field, as the operand transforms would have built it.
enum class Operand {
  kConstant,
  kRange,          // @RANGE(value, low, high, line)
  kWarningRange,   // @WRANGE(value, low, high, line)
  kDistance,       // @RANGE(@PCREL(value, section, 0, 0), low, high, line)
  kExternal,       // a symbol that only the linker resolves
  kDistanceToExternal,
};

struct Case {
  const char* behaviour;
  Operand operand;
  int64_t value;  // the constant, or the target of kDistance
  int64_t low;
  int64_t high;
  uint32_t mask;  // condition bits that must be 0; 0 for none
  bool negated;   // the field's post-encode callback negates the operand
  bool fits;
  uint32_t image;    // the low image word after completion
  uint32_t unknown;  // the low word of the unknown bits
  const char* diagnostic;  // what completion reports at the line, null for nothing
};

// 8 value bits from bit 0 to image bit 8, 4 from bit 8 to image bit 24.
const OperandMapping kRuns[] = {{8, 0, 8}, {4, 8, 24}};
constexpr uint32_t kFieldBits = 0x0F00FF00;
// The instruction stands here, in a section at address 0.
constexpr int32_t kLocation = 0x10;

std::vector<std::string> recordedAt(const LineInfo& line) {
  std::vector<std::string> texts;
  ErrorHandler::ErrorIter records(*errorHandler());
  for (records.seek(&line); !records.isDone(); records.next())
    if (records.current()->position == &line) texts.emplace_back(records.current()->text);
  return texts;
}

TEST(OperandCompletion, EvaluatesChecksAndEncodesEachDeferredField) {
  const Case cases[] = {
      {"constant inside its range", Operand::kRange, 0x7F, -256, 255, 0, false, true, 0x00007F00, 0, nullptr},
      {"value above the range is E218 and leaves the field 0", Operand::kRange, 300, -256, 255, 0, false, false, 0,
       0, "E218: expression out of range (-256 and 255 decimal)"},
      {"bounds from 0 read in hexadecimal", Operand::kRange, 256, 0, 255, 0, false, false, 0, 0,
       "E219: expression out of range (0 and FF hexadecimal)"},
      {"warning range keeps the value", Operand::kWarningRange, 0x12C, 0, 255, 0, false, true, 0x01002C00, 0,
       "W221: expression out of range (0 and FF hexadecimal)"},
      {"warning range below negative bounds", Operand::kWarningRange, -300, -256, 255, 0, false, true, 0x0E00D400,
       0, "W220: expression out of range (-256 and 255 decimal)"},
      {"odd value where the condition bits want even is E287", Operand::kConstant, 5, 0, 0, 1, false, false,
       0x00000500, 0, "E287: incompatible expression for instruction"},
      {"even value meets the condition bits", Operand::kConstant, 6, 0, 0, 1, false, true, 0x00000600, 0, nullptr},
      {"callback negates before the bits are placed", Operand::kConstant, 4, 0, 0, 0, true, true, 0x0F00FC00, 0,
       nullptr},
      {"negated operand is range-checked as written", Operand::kRange, 600, -511, 512, 0, true, false, 0, 0,
       "E218: expression out of range (-511 and 512 decimal)"},
      {"distance measured from the instruction", Operand::kDistance, 0x40, -256, 254, 0, false, true, 0x00003000, 0,
       nullptr},
      {"backward distance", Operand::kDistance, 0, -256, 254, 0, false, true, 0x0F00F000, 0, nullptr},
      {"distance beyond the range", Operand::kDistance, 0x200, -256, 254, 0, false, false, 0, 0,
       "E218: expression out of range (-256 and 254 decimal)"},
      {"odd distance misses the condition bits", Operand::kDistance, 0x41, -256, 254, 1, false, false, 0x00003100, 0,
       "E287: incompatible expression for instruction"},
      {"external symbol is left for the relocation", Operand::kExternal, 0, 0, 0, 1, false, true, 0, kFieldBits,
       nullptr},
      {"distance to an external symbol is left for the relocation", Operand::kDistanceToExternal, 0, -256, 254, 1,
       false, true, 0, kFieldBits, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    ScopedManagers managers(ScopedManagers::kAll);
    Section section(".text");
    section.hasAddress = 1;
    section.setBaseExpression(TEInteger::create(0));
    section.locationCounter = kLocation;
    LineInfo line;
    line.lineNumber = 7;
    line.section = &section;

    OrbaExpression* value = TEInteger::create(c.value);
    if (c.operand == Operand::kExternal || c.operand == Operand::kDistanceToExternal) {
      Symbol* symbol = Symbol::create(runState().stringBuffer->intern("far"), 0);
      symbol->flags[0] |= Symbol::kExternal | Symbol::kGlobal;
      symbol->flags[2] |= Symbol::kRelocatable;
      value = TESymbol::create(symbol);
    }
    if (c.operand == Operand::kDistance || c.operand == Operand::kDistanceToExternal) {
      OrbaExpression* arguments[] = {value, TESection::create(&section), TEInteger::create(0), TEInteger::create(0)};
      value = TEFunction::create(FN_PCREL, arguments, 4);
    }
    if (c.operand == Operand::kRange || c.operand == Operand::kWarningRange || c.operand == Operand::kDistance ||
        c.operand == Operand::kDistanceToExternal) {
      OrbaExpression* arguments[] = {value, TEInteger::create(c.low), TEInteger::create(c.high),
                                     TELineInfo::create(&line)};
      value = TEFunction::create(c.operand == Operand::kWarningRange ? FN_WRANGE : FN_RANGE, arguments, 4);
    }
    const FieldConstant mask{1, c.mask};
    const FieldConstant expect{1, 0};
    Encoding encoding(32, nullptr);
    encoding.operands.push_back(new OperandEncoding(&value, nullptr, 2, kRuns, c.mask ? &mask : nullptr,
                                                    c.mask ? &expect : nullptr, 0, 0, 0, false,
                                                    c.negated ? negateOperand : nullptr, &line));
    ExpressionValidator validator;

    EXPECT_EQ(isa::operandFieldsFit(encoding, validator), c.fits);
    EXPECT_TRUE(recordedAt(line).empty()) << "the fit check reported something";
    EXPECT_EQ(encoding.image[7], 0u) << "the fit check wrote bits";

    isa::FieldCompletion completion = isa::completeOperandFields(encoding, &line, validator);
    EXPECT_EQ(encoding.image[7], c.image);
    EXPECT_EQ(completion.unknownBits[7], c.unknown);
    std::vector<std::string> expected;
    if (c.diagnostic) expected.emplace_back(c.diagnostic);
    EXPECT_EQ(recordedAt(line), expected);
    EXPECT_EQ(completion.errors, c.diagnostic && c.diagnostic[0] == 'E' ? 1u : 0u);
  }
}

}  // namespace
