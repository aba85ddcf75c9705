// Screening skips the build of forms that their conditions drop, and the forms of one offer
// share the steps of their walks. Neither may change what a statement comes to: the same
// candidates, bit for bit, and the same failure when there is none.
#include "isa/FormScreening.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "isa/CandidateNodes.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

// A statement's candidates as the statement parser gets them, as text.
struct Outcome {
  std::vector<std::string> candidates;  // "<form>:<image words>"
  std::string failure;
  bool isJump = false;
};

class Statements {
 public:
  Statements() : matcher_(parser_, builder_) { line_.controlState = &control_; }

  Outcome match(const char* text) {
    context_ = isa::BuildContext{};
    context_.matcher = &matcher_;
    isa::MatchContext match;
    context_.match = &match;
    // The hardware forms only: a generic form would add source lines.
    isa::MatchOptions hardwareOnly;
    hardwareOnly.genericsAllowed = false;
    matcher_.matchStatement(text, &line_, hardwareOnly, match);
    Outcome outcome;
    for (IPInstruction* candidate : context_.candidates) {
      std::string image = std::to_string(candidate->alternative->form) + ":";
      for (uint32_t word : candidate->encoding->image) image += std::to_string(word) + ",";
      image += std::to_string(candidate->encoding->operands.size());
      outcome.candidates.push_back(image);
      delete candidate;
    }
    char buffer[256];
    const char* failure = isa::syntaxFailureText(match.failure, buffer, sizeof buffer);
    outcome.failure = failure ? failure : "";
    outcome.isJump = context_.isJump;
    return outcome;
  }

 private:
  ControlState control_;
  LineInfo line_;
  isa::ExpressionOperandParser parser_;
  isa::BuildContext context_;
  isa::InstructionBuilder builder_{context_, &line_, nullptr};
  isa::InstructionMatcher matcher_;
};

const char* const kStatements[] = {
    "ld.w d0,[a2]8",     "ld.w d0,[a0]8",      "ld.w d15,[a15]8",  "ld.w d0,[a9]sym",   "ld.w d0,[a1]-512",
    "ld.w d0,[a8]40000", "ld.w d0,[sp]8",      "ld.w d0,[a2+]4",   "ld.w d0,[+a2]4",    "ld.w d0,[p2+c]4",
    "ld.a a4,[a12]84",   "lea a3,[a1]foo",     "lea a10,[a13]bar", "st.w [a8]-4,d5",    "st.w [a12]-36,d0",
    "st.w [a0]0,d15",    "st.a [a9]12,a2",     "ld.q d1,[a8]4",    "swap.w [a2]4,d1",   "ld.w d0,[a2] 8",
    "ld.w d0, [a2]8",    "ld.w d0,[a16]8",     "ld.w d0,[a2]",     "ld.w d0,[a2]x+",    "nop",
    "mov d7,#3",         "add d1,d2,d3",       "j foo",            "jne d13,#7,bar",    "calli a11",
    "ld.w d0,[a2]8 ; x", "LD.W D0,[A9]SYM",
};

TEST(Screening, ScreenedFormsAreThoseTheirBuildWouldDrop) {
  ScopedManagers managers(ScopedManagers::kAll);
  isa::initMatchModule();
  Statements statements;
  std::vector<Outcome> screened;
  for (const char* text : kStatements) screened.push_back(statements.match(text));
  // Without screening every offered form is built, and its conditions drop it.
  isa::forgetFormScreening();
  for (size_t i = 0; i < std::size(kStatements); ++i) {
    Outcome built = statements.match(kStatements[i]);
    EXPECT_EQ(screened[i].candidates, built.candidates) << kStatements[i];
    EXPECT_EQ(screened[i].failure, built.failure) << kStatements[i];
    EXPECT_EQ(screened[i].isJump, built.isJump) << kStatements[i];
  }
  isa::prepareFormScreening();
}

TEST(Screening, AStatementInTheBufferOfTheOneBeforeIsScreenedAnew) {
  ScopedManagers managers(ScopedManagers::kAll);
  isa::initMatchModule();
  // The probe and the statement parser hand every statement over in the same buffer: the
  // walk steps shared by one statement's forms must not reach the next one.
  Statements fresh;
  Statements reused;
  char buffer[64];
  for (const char* text : kStatements) {
    std::strncpy(buffer, text, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    Outcome expected = fresh.match(std::string(text).c_str());
    Outcome got = reused.match(buffer);
    EXPECT_EQ(got.candidates, expected.candidates) << text;
    EXPECT_EQ(got.failure, expected.failure) << text;
  }
}

}  // namespace

namespace {

// What a condition comes to, as text.
std::string conditionText(const AttributeSpecItem& item, OrbaExpression** operands, LineInfo* line) {
  CandidateNodes* made = nullptr;
  OrbaExpression* condition = item.builder(line, operands, made);
  std::string text = condition ? exprToString(condition) : "(none)";
  CandidateNodes::release(made);
  return text;
}

TEST(Screening, ConditionsMarkedAsReadingOnlyTheirOperandsAnswerAlikeOnEveryLine) {
  ScopedManagers managers(ScopedManagers::kAll);
  // The lines differ in every switch that a condition may read.
  TriCoreControlState plain;
  TriCoreControlState checked;
  for (int32_t& state : checked.defectSwitch) state = 1;
  LineInfo plainLine;
  plainLine.controlState = &plain;
  LineInfo checkedLine;
  checkedLine.controlState = &checked;
  // Register numbers that the conditions single out, in every place they read.
  const int64_t values[] = {0, 1, 8, 9, 11, 15};
  uint32_t marked = 0;
  for (uint32_t s = 0; s < isa::attributeSpecListCount(); ++s) {
    for (const AttributeSpecItem* item = isa::attributeSpecLists()[s]; item && item->id != ATTR_end; ++item) {
      if ((item->argument & AttributeSpecItem::kReadsOnlyThem) == 0 || !item->builder) continue;
      ++marked;
      uint32_t reads = item->argument & AttributeSpecItem::kReadMask;
      for (int64_t first : values) {
        for (int64_t second : values) {
          OrbaExpression* operands[32] = {};
          int written = 0;
          for (uint32_t rest = reads; rest != 0; rest &= rest - 1)
            operands[__builtin_ctz(rest)] = TEInteger::create(written++ == 0 ? first : second);
          EXPECT_EQ(conditionText(*item, operands, &plainLine), conditionText(*item, operands, &checkedLine))
              << "spec list " << s << " with " << first << ", " << second;
          EXPECT_EQ(conditionText(*item, operands, nullptr), conditionText(*item, operands, &plainLine))
              << "spec list " << s << " with " << first << ", " << second;
        }
      }
    }
  }
  EXPECT_GT(marked, 100u) << "the operand conditions of the tables are marked";
}

}  // namespace
