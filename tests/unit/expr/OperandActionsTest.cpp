#include <gtest/gtest.h>

#include <vector>

#include "ScopedManagers.h"
#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "expr/OperandActions.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/Symbol.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

class OperandActionsTest : public testing::Test {
 protected:
  void SetUp() override {
    savedFactory_ = runState().orbaFactory;
    runState().orbaFactory = &factory_;
    line_.lineNumber = 3;
    line_.controlState = &state_;
  }
  void TearDown() override { runState().orbaFactory = savedFactory_; }

  std::vector<int32_t> recorded() const {
    std::vector<int32_t> ids;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next()) ids.push_back(records.current()->id);
    return ids;
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  TriCoreFactory factory_;
  OrbaFactory* savedFactory_ = nullptr;
  TriCoreControlState state_;
  LineInfo line_;
};

TEST_F(OperandActionsTest, Cor10WarnsOnlyWhenTheOffsetMayBeNonZeroAndTheCheckIsOn) {
  struct Case {
    bool checkOn;
    OrbaExpression* operand;
    bool warns;
  };
  OrbaExpression* unknown = new TESymbol(Symbol::create(runState().stringBuffer->intern("ext"), 0));
  const Case cases[] = {
      {true, TEInteger::create(0), false},
      {true, TEInteger::create(4), true},
      {true, unknown, true},
      {false, TEInteger::create(4), false},
  };
  for (const Case& c : cases) {
    ScopedManagers fresh(ScopedManagers::kErrors);
    state_.defectSwitch[TriCoreControlState::kTc112Cor10] = c.checkOn ? 1 : 0;
    OrbaExpression* answer = reportOperandCor10(&line_, c.operand);
    EXPECT_EQ(answer->getInteger(), 1);
    EXPECT_EQ(recorded(), c.warns ? std::vector<int32_t>{W_TC112_COR10} : std::vector<int32_t>{});
  }
}

TEST_F(OperandActionsTest, DefectWarningsComeInTheirFixedOrder) {
  for (int index : {TriCoreControlState::kDmuTc001, TriCoreControlState::kTc113Lfi2,
                    TriCoreControlState::kTc113Lfi3, TriCoreControlState::kTc113Cpu15})
    state_.defectSwitch[index] = 1;
  reportOperandDefect(&line_, TEInteger::create(1));
  EXPECT_EQ(recorded(),
            (std::vector<int32_t>{W_DMU_TC001, W_TC113_LFI2, W_TC113_LFI3, W_TC113_CPU15}));
}

}  // namespace
