// What a candidate gives back: every record it owns and every expression node made for it
// returns to its pool when it is deleted, and a copy keeps what it shares alive until the
// last of them goes. Forms that a base-register condition drops are not built at all.
#include <gtest/gtest.h>

#include <sstream>

#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "expr/OrbaExpression.h"
#include "isa/CandidateNodes.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"

namespace {

// The pools a candidate draws from while it is built and while it lives.
const char* const kPools[] = {"IPInstruction", "Encoding",       "OperandEncoding", "OperandMapping",
                              "IPAttribute",   "IPAttr",         "IPWhen",          "IPWarning",
                              "CandidateNodes", "OrbaExpression", "match",           "match::admin",
                              "match::expr"};

std::vector<size_t> blocksInUse() {
  std::vector<size_t> inUse;
  for (const char* name : kPools) {
    MemPool* pool = MemoryPools::instance().find(name);
    inUse.push_back(pool ? pool->inUse : 0);
  }
  return inUse;
}

// The line of every statement: its node in the range checks lives for the run, as the
// line of a source does.
LineInfo* statementLine() {
  static LineInfo line;
  return &line;
}

// The candidates of one statement, built as the statement parser builds them; the matcher
// goes with the object, and with it its claim on the operands parsed.
class Statement {
 public:
  explicit Statement(const char* text) : matcher_(parser_, builder_) {
    context_.matcher = &matcher_;
    context_.match = &match_;
    // The hardware forms only: a generic form would add source lines.
    isa::MatchOptions hardwareOnly;
    hardwareOnly.genericsAllowed = false;
    matcher_.matchStatement(text, statementLine(), hardwareOnly, match_);
  }
  ~Statement() { deleteCandidates(); }

  std::vector<IPInstruction*>& candidates() { return context_.candidates; }
  void deleteCandidates() {
    for (IPInstruction* candidate : context_.candidates) delete candidate;
    context_.candidates.clear();
  }

 private:
  isa::ExpressionOperandParser parser_;
  isa::BuildContext context_;
  isa::MatchContext match_;
  isa::InstructionBuilder builder_{context_, statementLine(), nullptr};
  isa::InstructionMatcher matcher_;
};

class CandidateRelease : public testing::Test {
 protected:
  void SetUp() override { isa::initMatchModule(); }
  ScopedManagers managers_{ScopedManagers::kAll};
};

TEST_F(CandidateRelease, DeletedCandidatesGiveEveryPoolBlockBack) {
  struct Case {
    const char* statement;
    size_t candidates;
    const char* owns;  // what the candidates hold besides their records
  };
  const Case cases[] = {
      {"nop", 2, "nothing but records"},
      {"mov d0,#-5", 2, "a constant folded from its sign"},
      {"add d1,d2,#300", 1, "a range check around a constant out of bounds"},
      {"ld.w d0,[a2]sym", 2, "deferred fields, range checks and an offset warning"},
      {"ld.w d0,[a9]sym", 2, "the fields of a dedicated base register"},
      {"st.w [a3]-4,d5", 2, "a negative offset"},
      {"j foo", 2, "a distance to a section"},
      {"jeq d0,#3,lab", 1, "two deferred fields"},
      {"calli a11", 1, "a condition on an option"},
      {"ld.w d0,[a2+]4", 2, "a fixed step"},
  };
  for (const Case& c : cases) {
    // The first build makes what lives for the run: symbols, interned values.
    { Statement warmUp(c.statement); }
    std::vector<size_t> before = blocksInUse();
    {
      Statement statement(c.statement);
      ASSERT_EQ(statement.candidates().size(), c.candidates) << c.statement;
      EXPECT_GT(blocksInUse()[0], before[0]) << c.statement << ": the candidates are out of their pool";
    }
    std::vector<size_t> after = blocksInUse();
    for (size_t i = 0; i < std::size(kPools); ++i)
      EXPECT_EQ(after[i], before[i]) << c.statement << " (" << c.owns << "): pool " << kPools[i];
  }
}

TEST_F(CandidateRelease, ACopyOutlivesItsOriginalAndGivesBackWhatItShares) {
  const char* const statements[] = {"j foo", "ld.w d0,[a2]sym", "jeq d0,#3,lab"};
  for (const char* text : statements) {
    { Statement warmUp(text); }
    std::vector<size_t> before = blocksInUse();
    std::vector<std::string> printed;
    IPInstruction* copy = nullptr;
    Encoding* encodingAlone = nullptr;
    {
      Statement statement(text);
      ASSERT_FALSE(statement.candidates().empty()) << text;
      IPInstruction* original = statement.candidates().front();
      ASSERT_FALSE(original->encoding->operands.empty()) << text;
      for (const OperandEncoding* field : original->encoding->operands)
        printed.push_back(exprToString(field->expression));
      copy = original->copy();
      encodingAlone = original->encoding->copy();
      EXPECT_NE(copy->encoding, original->encoding);
      // A set the statements share is its own copy; any other is copied.
      if (original->attributes->isShared())
        EXPECT_EQ(copy->attributes, original->attributes);
      else
        EXPECT_NE(copy->attributes, original->attributes);
    }
    // The original, its statement and the matcher are gone; what the copies share is not.
    ASSERT_EQ(copy->encoding->operands.size(), printed.size()) << text;
    for (size_t i = 0; i < printed.size(); ++i)
      EXPECT_EQ(exprToString(copy->encoding->operands[i]->expression), printed[i]) << text;
    const char* message = nullptr;
    EXPECT_TRUE(copy->attributes->findFirstUnsatisfiedCase(&message, true)) << text;
    delete copy;
    // An encoding copied without its attribute set holds the nodes by itself.
    ASSERT_EQ(encodingAlone->operands.size(), printed.size()) << text;
    for (size_t i = 0; i < printed.size(); ++i)
      EXPECT_EQ(exprToString(encodingAlone->operands[i]->expression), printed[i]) << text;
    delete encodingAlone;
    std::vector<size_t> after = blocksInUse();
    for (size_t i = 0; i < std::size(kPools); ++i) EXPECT_EQ(after[i], before[i]) << text << ": pool " << kPools[i];
  }
}

// A statement of one candidate hands the operands parsed for it to that candidate: one
// set of nodes less, and the candidate still reads its operands once the matcher is gone.
// With two candidates both keep their claim on the statement's set.
TEST_F(CandidateRelease, ASoleCandidateTakesOverTheOperandsOfItsStatement) {
  struct Case {
    const char* statement;
    size_t candidates;
    size_t setsLess;  // sets of nodes fewer than without the take-over
  };
  const Case cases[] = {
      {"jeq d0,#3,lab", 1, 1},
      {"add d1,d2,#300", 1, 0},  // no operand node of its own to hand over
      {"j foo", 2, 0},
  };
  const size_t setsPool = 8;  // "CandidateNodes" in kPools, counted in bytes
  const size_t setBytes = (sizeof(CandidateNodes) + 3) & ~size_t{3};
  for (const Case& c : cases) {
    { Statement warmUp(c.statement); }
    std::vector<size_t> before = blocksInUse();
    size_t setsWithout = 0;
    for (bool takeOver : {false, true}) {
      std::vector<IPInstruction*> kept;
      std::vector<std::string> printed;
      {
        Statement statement(c.statement);
        ASSERT_EQ(statement.candidates().size(), c.candidates) << c.statement;
        for (IPInstruction* candidate : statement.candidates())
          for (const OperandEncoding* field : candidate->encoding->operands)
            printed.push_back(exprToString(field->expression));
        if (takeOver) CandidateNodes::takeOverDependency(statement.candidates().front()->encoding->nodes);
        kept.swap(statement.candidates());
      }
      // The statement and its matcher are gone; the candidates read what they point at.
      size_t at = 0;
      for (IPInstruction* candidate : kept)
        for (const OperandEncoding* field : candidate->encoding->operands)
          EXPECT_EQ(exprToString(field->expression), printed[at++]) << c.statement;
      size_t sets = blocksInUse()[setsPool];
      if (!takeOver)
        setsWithout = sets;
      else
        EXPECT_EQ(setsWithout - sets, c.setsLess * setBytes) << c.statement;
      for (IPInstruction* candidate : kept) delete candidate;
      std::vector<size_t> after = blocksInUse();
      for (size_t i = 0; i < std::size(kPools); ++i)
        EXPECT_EQ(after[i], before[i]) << c.statement << (takeOver ? " taken over" : "") << ": pool " << kPools[i];
    }
  }
}

TEST_F(CandidateRelease, AttributeSetsGiveBackTheirConditionRecords) {
  using Kind = AttributeSpecItem::ValueKind;
  auto madeCondition = [](LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
    return CandidateNodes::keep(made, operands[0]->clone());
  };
  const AttributeSpecItem spec[] = {{ATTR_when, Kind::kOperand, 0, "w", madeCondition},
                                    {ATTR_warning, Kind::kOperand, 0, "v", madeCondition},
                                    {ATTR_op_imm, Kind::kNone, 0, nullptr},
                                    {ATTR_end, Kind::kNone, 0, nullptr}};
  Statement symbols("j foo");  // a symbol node to clone
  OrbaExpression* operand = symbols.candidates().front()->encoding->operands[0]->expression;
  std::vector<size_t> before = blocksInUse();
  {
    IPAttribute attribute;
    attribute.addNewAttributeList(spec, IPAttribute::kDescriptionList, nullptr, &operand);
    IPAttribute* copy = attribute.copy();
    attribute.clear();
    EXPECT_EQ(copy->whens.size(), 1u) << "the copy keeps its own records";
    EXPECT_EQ(exprToString(copy->whens[0]->condition), exprToString(operand));
    delete copy;
  }
  std::vector<size_t> after = blocksInUse();
  for (size_t i = 0; i < std::size(kPools); ++i) {
    if (std::string(kPools[i]) != "OrbaExpression") {
      EXPECT_EQ(after[i], before[i]) << "pool " << kPools[i];
    }
  }
}

// Counts, for each form offered, whether screening drops it, and builds it as the statement
// parser would.
class ScreeningCounter : public isa::MatchListener {
 public:
  explicit ScreeningCounter(isa::BuildContext& context) : builder_(context, &line_, nullptr), context_(context) {}
  void acceptForm(const MatchAlternative& alternative, const isa::MatchPath& path) override {
    ++offered;
    const char* text = context_.match->text;
    uint32_t length = context_.match->matchedLength;
    if (isa::formIsScreenedOut(alternative, path, context_.matcher, text, length, &line_)) ++screened;
    builder_.acceptForm(alternative, path);
  }
  size_t offered = 0;
  size_t screened = 0;

 private:
  LineInfo line_;
  isa::InstructionBuilder builder_;
  isa::BuildContext& context_;
};

TEST_F(CandidateRelease, FormsOfAnotherBaseRegisterAreScreenedOutBeforeTheyAreBuilt) {
  struct Case {
    const char* statement;
    size_t offered, screened, built;
  };
  const Case cases[] = {
      // Five base-register forms for each offset width; one of each fits the base.
      {"ld.w d0,[a2]8", 10, 8, 2},
      {"ld.w d0,[a0]8", 10, 8, 2},
      {"ld.w d0,[a9]sym", 10, 8, 2},
      {"lea a3,[a1]foo", 10, 8, 2},
      {"st.w [a8]-4,d5", 10, 8, 2},
      // No condition on a register: every form is built.
      {"nop", 2, 0, 2},
      {"add d1,d2,d3", 1, 0, 1},
      {"j foo", 2, 0, 2},
  };
  for (const Case& c : cases) {
    isa::ExpressionOperandParser parser;
    isa::BuildContext context;
    isa::MatchContext match;
    ScreeningCounter counter(context);
    isa::InstructionMatcher matcher(parser, counter);
    context.matcher = &matcher;
    context.match = &match;
    matcher.matchStatement(c.statement, nullptr, isa::MatchOptions{}, match);
    EXPECT_EQ(counter.offered, c.offered) << c.statement;
    EXPECT_EQ(counter.screened, c.screened) << c.statement;
    EXPECT_EQ(context.candidates.size(), c.built) << c.statement;
    for (IPInstruction* candidate : context.candidates) delete candidate;
  }
}

}  // namespace

// Statements that build the same constant attribute set share one copy; a set with a
// condition or warning that layout must decide stays the candidate's own.
TEST_F(CandidateRelease, ConstantAttributeSetsAreSharedBetweenStatements) {
  struct Case {
    const char* first;
    const char* second;
    bool sameSet;
    bool shared;
  };
  const Case cases[] = {
      // Other registers bring other register entries: two shared sets.
      {"add d0,d1,d2", "add d3,d1,d2", false, true},
      {"add d0,d1,d2", "add d0,d1,d2", true, true},
      {"j foo", "j bar", true, true},
      // The target differs from the base register: the condition folds to true.
      {"ld.a a3,[a2+]4", "ld.a a3,[a2+]4", true, true},
      // An offset layout resolves may draw a warning: the set stays the candidate's.
      {"ld.b d0,[a2]sym", "ld.b d0,[a2]sym", false, false},
  };
  for (const Case& c : cases) {
    Statement first(c.first);
    Statement second(c.second);
    ASSERT_FALSE(first.candidates().empty()) << c.first;
    ASSERT_FALSE(second.candidates().empty()) << c.second;
    IPAttribute* a = first.candidates().back()->attributes;
    IPAttribute* b = second.candidates().back()->attributes;
    EXPECT_EQ(a == b, c.sameSet) << c.first << " / " << c.second;
    EXPECT_EQ(a->isShared(), c.shared) << c.first;
    EXPECT_EQ(b->isShared(), c.shared) << c.second;
  }
}
