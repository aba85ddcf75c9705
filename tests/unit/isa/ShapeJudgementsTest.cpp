// The judgements of the constant shapes read a form's kind, description and pattern alone,
// and are kept for the run by the form's number: asked again, asked for a copy of the form
// (as the walk offers it), or asked for another form under the same number, each must come
// out as the judgement made afresh, form ranges and fields included.
#include <gtest/gtest.h>

#include "ScopedManagers.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/InstructionTables.h"

namespace {

struct Judgement {
  bool reaches = false;
  isa::ConstantOperandForm form;
  bool leaves = false;

  bool operator==(const Judgement& other) const {
    if (reaches != other.reaches || leaves != other.leaves) return false;
    if (!reaches) return true;
    if (form.count != other.form.count) return false;
    for (uint32_t i = 0; i < form.count; ++i)
      if (form.low[i] != other.form.low[i] || form.high[i] != other.form.high[i] ||
          form.fields[i] != other.form.fields[i])
        return false;
    return true;
  }
};

Judgement judge(const MatchAlternative& alternative) {
  Judgement made;
  made.reaches = isa::constantReachesOnlyItsField(alternative, made.form);
  made.leaves = isa::constantLeavesBuildAlone(alternative);
  return made;
}

// A number outside the tables: the judgement is made afresh.
Judgement judgeAfresh(MatchAlternative alternative) {
  alternative.form = UINT16_MAX;
  return judge(alternative);
}

TEST(ShapeJudgements, AKeptJudgementIsTheJudgementOfTheForm) {
  ScopedManagers managers{ScopedManagers::kAll};
  const uint32_t count = isa::matchAlternativeCount();
  size_t reaching = 0;
  size_t leaving = 0;
  for (uint32_t a = 0; a < count; ++a) {
    const MatchAlternative& alternative = isa::matchAlternatives()[a];
    const Judgement fresh = judgeAfresh(alternative);
    const MatchAlternative copy = alternative;
    EXPECT_EQ(judge(alternative), fresh) << a;
    EXPECT_EQ(judge(alternative), fresh) << a;
    EXPECT_EQ(judge(copy), fresh) << a;
    // Another form under this form's number takes its own judgement, and this form's
    // judgement stands again after it.
    MatchAlternative other = isa::matchAlternatives()[(a * 7 + 3) % count];
    const Judgement otherFresh = judgeAfresh(other);
    other.form = alternative.form;
    EXPECT_EQ(judge(other), otherFresh) << a;
    EXPECT_EQ(judge(alternative), fresh) << a;
    reaching += fresh.reaches;
    leaving += fresh.leaves;
  }
  // Both judgements say yes for some forms and no for others.
  EXPECT_GT(reaching, 100u);
  EXPECT_LT(reaching, count);
  EXPECT_GT(leaving, 100u);
  EXPECT_LT(leaving, count);
}

}  // namespace
