// The relocation code that a symbol operand's deferred field carries, by the kind of field
// and, for offsets, by the base register of the form.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ScopedManagers.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/OperandEvaluation.h"
#include "util/LineInfo.h"

namespace {

// The codes of the deferred fields of every candidate of a statement, one set per size.
std::set<std::pair<int, int>> relocationCodes(const char* statement) {
  isa::initMatchModule();
  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  LineInfo line;
  isa::InstructionBuilder builder(context, &line, nullptr);
  isa::InstructionMatcher matcher(parser, builder);
  isa::MatchContext match;
  context.matcher = &matcher;
  context.match = &match;
  // The hardware forms only: a generic form would add source lines.
  isa::MatchOptions hardwareOnly;
  hardwareOnly.genericsAllowed = false;
  matcher.matchStatement(statement, &line, hardwareOnly, match);
  std::set<std::pair<int, int>> codes;
  for (IPInstruction* candidate : context.candidates) {
    for (const OperandEncoding* field : candidate->encoding->operands)
      codes.emplace(candidate->encoding->bits, field->relocFunction[0]);
    delete candidate;
  }
  return codes;
}

TEST(RelocationCodes, SymbolOperandsCarryTheCodeOfTheirField) {
  ScopedManagers managers{ScopedManagers::kAll};
  struct Case {
    const char* statement;
    std::set<std::pair<int, int>> expected;  // {bits, code} of each deferred field
  };
  const Case cases[] = {
      // Branch targets: 24-bit and 15-bit displacements; the 16-bit ones have none.
      {"call foo", {{32, 3}, {16, 0}}},
      {"jeq d0,d1,foo", {{32, 11}}},
      // Absolute targets and addresses.
      {"calla foo", {{32, 4}}},
      {"ld.w d0,foo", {{32, 9}}},
      // Offsets from the dedicated base registers: 10-bit and 16-bit fields.
      {"ld.w d0,[a0]foo", {{32, 10}, {32, 5}}},
      {"ld.w d0,[a1]foo", {{32, 12}, {32, 13}}},
      {"ld.w d0,[a8]foo", {{32, 14}, {32, 15}}},
      {"ld.w d0,[a9]foo", {{32, 16}, {32, 17}}},
      {"lea a3,[a0]foo", {{32, 10}, {32, 5}}},
      // Any other base register cannot be relocated against.
      {"ld.w d0,[a2]foo", {{32, 0}}},
      {"ld.w d0,[a2+]foo", {{32, 0}}},
      // An immediate is no offset.
      {"addi d0,d1,#foo", {{32, 0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(relocationCodes(c.statement), c.expected) << c.statement;
}

}  // namespace
