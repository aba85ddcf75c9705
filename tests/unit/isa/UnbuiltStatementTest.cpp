#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "isa/InstructionMatcher.h"
#include "isa/OperandEvaluation.h"
#include "isa/SyntaxFailure.h"
#include "util/LineInfo.h"

namespace {

std::vector<std::string> recordedAt(const LineInfo& line) {
  std::vector<std::string> texts;
  ErrorHandler::ErrorIter records(*errorHandler());
  for (records.seek(&line); !records.isDone(); records.next())
    if (records.current()->position == &line) texts.emplace_back(records.current()->text);
  return texts;
}

TEST(UnbuiltStatement, ReportsTheFirstReasonInOrderOfPreference) {
  static const char kStatement[] = "frob\td0,#5";
  struct Case {
    const char* behaviour;
    const char* whenMessage;
    bool cpuMismatch;
    int32_t failureId;        // 0: no syntax failure recorded
    int failureColumn;        // where in the statement it lies; -1 for no position
    const char* failureArgument;
    const char* expected;
  };
  const Case cases[] = {
      {"when-message beats everything", "fpu instructions are not allowed", true, E_syntax_unexpected_error, 5,
       nullptr, "E122: invalid instruction: fpu instructions are not allowed"},
      {"empty when-message", "", false, 0, 0, nullptr, "E122: invalid instruction: cause unknown"},
      {"CPU mismatch beats a syntax failure", nullptr, true, E_syntax_unexpected_error, 5, nullptr,
       "E108: instruction \"frob\" not allowed for current CPU"},
      {"unexpected token", nullptr, false, E_syntax_unexpected_error, 5, nullptr,
       "E208: syntax error: \"d0\" unexpected"},
      {"expected operand", nullptr, false, E_syntax_expected_error, 9, "an expression",
       "E207: syntax error: expected an expression instead of \"5\""},
      {"failure at the end of the line", nullptr, false, E_syntax_expected_error, 10, "an expression",
       "E210: unexpected end of line"},
      {"text of an operand table", nullptr, false, E_error, 5, "expected data register",
       "E110: expected data register"},
      {"operand table without a text", nullptr, false, E_error, -1, nullptr, "E110: syntax error"},
      {"nothing recorded names the mnemonic", nullptr, false, 0, 0, nullptr, "E211: unknown instruction \"frob\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines);
    LineInfo line;
    line.lineNumber = 3;
    isa::MatchContext match;
    match.text = kStatement;
    match.failure.messageId = c.failureId;
    match.failure.position = c.failureColumn < 0 || c.failureId == 0 ? nullptr : kStatement + c.failureColumn;
    match.failure.argument = c.failureArgument;
    isa::BuildContext context;
    context.match = &match;
    context.whenMessage = c.whenMessage;
    context.cpuMismatch = c.cpuMismatch;

    isa::reportUnbuiltStatement(context, kStatement, &line);
    EXPECT_EQ(recordedAt(line), std::vector<std::string>{c.expected});
  }
}

}  // namespace
