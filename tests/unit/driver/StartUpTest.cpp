#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "preproc/MacroPreprocessor.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

// The managers a start-up makes, each read straight from the run so that a missing
// one reads as null instead of stopping the test.
struct Manager {
  const char* name;
  const void* (*member)();
  bool everyRun;  // made by every start-up, not only when an option asks for it
};

const Manager kManagers[] = {
    {"dwarfAdmin", [] { return static_cast<const void*>(runState().dwarfAdmin); }, true},
    {"errorHandler", [] { return static_cast<const void*>(runState().errorHandler); }, true},
    {"dependencyHandler", [] { return static_cast<const void*>(runState().dependencyHandler); }, true},
    {"instructionParser", [] { return static_cast<const void*>(runState().instructionParser); }, true},
    {"lineState", [] { return static_cast<const void*>(runState().lineState); }, true},
    {"metricsAdmin", [] { return static_cast<const void*>(runState().metricsAdmin); }, false},
    {"preProcessor", [] { return static_cast<const void*>(runState().preProcessor); }, true},
    {"sectionAdmin", [] { return static_cast<const void*>(runState().sectionAdmin); }, true},
    {"stringBuffer", [] { return static_cast<const void*>(runState().stringBuffer); }, true},
    {"symbolTable", [] { return static_cast<const void*>(runState().symbolTable); }, true},
    {"orbaFactory", [] { return static_cast<const void*>(runState().orbaFactory); }, true},
    {"orbaOptions", [] { return static_cast<const void*>(runState().orbaOptions); }, true},
};

TEST(StartUp, OptionsChooseTheManagersInARunOfTheirOwn) {
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    bool metrics;            // the metrics administration exists
    bool macroPreprocessor;  // the preprocessor is the macro preprocessor
  };
  const Case cases[] = {
      {"plain run: macro preprocessor, no metrics", {"x.asm"}, false, true},
      {"instruction metrics asked for", {"--instruction-metrics=m.txt", "x.asm"}, true, true},
      {"no preprocessing", {"--preprocessor-type=none", "x.asm"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TriCoreFactory factory;
    std::vector<std::string> words = {"vekt"};
    words.insert(words.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<const void*> before;
    for (const Manager& manager : kManagers) before.push_back(manager.member());
    {
      TriCoreAssembler assembler(static_cast<int>(words.size()), argv.data(), &factory);
      for (const Manager& manager : kManagers) {
        bool expected = manager.everyRun || c.metrics;
        EXPECT_EQ(manager.member() != nullptr, expected) << manager.name;
      }
      EXPECT_EQ(runState().orbaFactory, &factory) << "the factory given is the one used";
      EXPECT_EQ(dynamic_cast<MacroPreprocessor*>(runState().preProcessor) != nullptr, c.macroPreprocessor);
    }
    // The assembler's run is gone with it: the caller's managers are as they were.
    for (size_t i = 0; i < std::size(kManagers); ++i) {
      EXPECT_EQ(kManagers[i].member(), before[i]) << kManagers[i].name;
    }
  }
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
