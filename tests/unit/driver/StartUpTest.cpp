#include <gtest/gtest.h>

#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

namespace {

struct Managers {
  void* pointers[12];
};

Managers snapshot() {
  return {{runState().dwarfAdmin, runState().errorHandler, runState().dependencyHandler, runState().instructionParser, runState().lineState,
           runState().metricsAdmin, runState().preProcessor, runState().sectionAdmin, runState().stringBuffer, runState().symbolTable, runState().orbaFactory,
           runState().orbaOptions}};
}

TEST(StartUp, CreatesEveryManagerButMetricsInARunOfItsOwn) {
  TriCoreFactory factory;
  char program[] = "vekt";
  char input[] = "x.asm";
  char* argv[] = {program, input, nullptr};
  // The assembler's managers live in a run of its own: the caller's stay as they were.
  Managers before = snapshot();
  {
    TriCoreAssembler assembler(2, argv, &factory);
    Managers live = snapshot();
    for (int i = 0; i < 12; ++i) {
      if (i == 5) {
        EXPECT_EQ(live.pointers[i], nullptr) << "metrics exist only when asked for";
      } else {
        EXPECT_NE(live.pointers[i], nullptr) << "manager " << i;
      }
    }
  }
  Managers after = snapshot();
  for (int i = 0; i < 12; ++i) EXPECT_EQ(after.pointers[i], before.pointers[i]) << "manager " << i;
}

TEST(StartUpDeathTest, MissingManagerNamesItsMember) {
  // The child clears the member itself: another test may have left one behind.
  EXPECT_DEATH(
      {
        runState().errorHandler = nullptr;
        errorHandler();
      },
      "OrbaState:328: .*Assertion `_errorHandler' failed");
}

}  // namespace
