// The judgements of the constant shapes read the tables alone and are kept per form for the
// run: a form asked again, and a copy of it from outside the tables (judged afresh), must
// come out as the first answer, form ranges and fields included.
#include <gtest/gtest.h>

#include "ScopedManagers.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/InstructionTables.h"

namespace {

bool sameForm(const isa::ConstantOperandForm& a, const isa::ConstantOperandForm& b) {
  if (a.count != b.count) return false;
  for (uint32_t i = 0; i < a.count; ++i)
    if (a.low[i] != b.low[i] || a.high[i] != b.high[i] || a.fields[i] != b.fields[i]) return false;
  return true;
}

TEST(ShapeJudgements, AKeptJudgementIsTheJudgementOfTheForm) {
  ScopedManagers managers{ScopedManagers::kAll};
  size_t reaching = 0;
  size_t leaving = 0;
  for (uint32_t a = 0; a < isa::matchAlternativeCount(); ++a) {
    const MatchAlternative& alternative = isa::matchAlternatives()[a];
    const MatchAlternative copy = alternative;  // outside the tables: never kept
    isa::ConstantOperandForm fresh;
    const bool freshReaches = isa::constantReachesOnlyItsField(copy, fresh);
    for (int ask = 0; ask < 2; ++ask) {
      isa::ConstantOperandForm kept;
      ASSERT_EQ(isa::constantReachesOnlyItsField(alternative, kept), freshReaches) << a;
      if (freshReaches) {
        EXPECT_TRUE(sameForm(kept, fresh)) << a;
      }
      ASSERT_EQ(isa::constantLeavesBuildAlone(alternative), isa::constantLeavesBuildAlone(copy)) << a;
    }
    reaching += freshReaches;
    leaving += isa::constantLeavesBuildAlone(alternative);
  }
  // Both judgements say yes for some forms and no for others.
  EXPECT_GT(reaching, 100u);
  EXPECT_LT(reaching, isa::matchAlternativeCount());
  EXPECT_GT(leaving, 100u);
  EXPECT_LT(leaving, isa::matchAlternativeCount());
}

}  // namespace
