#include <gtest/gtest.h>

#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

namespace {

struct Managers {
  void* pointers[12];
};

Managers snapshot() {
  return {{_dwarfAdmin, _errorHandler, _dependencyHandler, _instructionParser, _lineState,
           _metricsAdmin, _preProcessor, _sectionAdmin, _stringBuffer, _symbolTable, _orbaFactory,
           _orbaOptions}};
}

TEST(StartUp, CreatesEveryManagerButMetricsAndTearDownClearsAll) {
  TriCoreFactory factory;
  _orbaFactory = &factory;
  char program[] = "vekt";
  char input[] = "x.asm";
  char* argv[] = {program, input, nullptr};
  {
    TriCoreAssembler assembler(2, argv);
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
  for (int i = 0; i < 12; ++i) EXPECT_EQ(after.pointers[i], nullptr) << "manager " << i;
}

TEST(StartUpDeathTest, MissingManagerNamesItsMember) {
  // The child clears the member itself: another test may have left one behind.
  EXPECT_DEATH(
      {
        _errorHandler = nullptr;
        errorHandler();
      },
      "OrbaState:328: .*Assertion `_errorHandler' failed");
}

}  // namespace
