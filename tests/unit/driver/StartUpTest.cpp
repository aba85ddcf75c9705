#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "preproc/MacroPreprocessor.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

namespace {

// The managers a start-up makes, each read straight from its member so that a
// missing one reads as null instead of stopping the test.
struct Manager {
  const char* name;
  const void* (*member)();
  bool everyRun;  // made by every start-up, not only when an option asks for it
};

const Manager kManagers[] = {
    {"_dwarfAdmin", [] { return static_cast<const void*>(_dwarfAdmin); }, true},
    {"_errorHandler", [] { return static_cast<const void*>(_errorHandler); }, true},
    {"_dependencyHandler", [] { return static_cast<const void*>(_dependencyHandler); }, true},
    {"_instructionParser", [] { return static_cast<const void*>(_instructionParser); }, true},
    {"_lineState", [] { return static_cast<const void*>(_lineState); }, true},
    {"_metricsAdmin", [] { return static_cast<const void*>(_metricsAdmin); }, false},
    {"_preProcessor", [] { return static_cast<const void*>(_preProcessor); }, true},
    {"_sectionAdmin", [] { return static_cast<const void*>(_sectionAdmin); }, true},
    {"_stringBuffer", [] { return static_cast<const void*>(_stringBuffer); }, true},
    {"_symbolTable", [] { return static_cast<const void*>(_symbolTable); }, true},
    {"_orbaFactory", [] { return static_cast<const void*>(_orbaFactory); }, true},
    {"_orbaOptions", [] { return static_cast<const void*>(_orbaOptions); }, true},
};

TEST(StartUp, OptionsChooseTheManagersAndTearDownClearsAll) {
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
    _orbaFactory = &factory;
    std::vector<std::string> words = {"vekt"};
    words.insert(words.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    {
      TriCoreAssembler assembler(static_cast<int>(words.size()), argv.data());
      for (const Manager& manager : kManagers) {
        bool expected = manager.everyRun || c.metrics;
        EXPECT_EQ(manager.member() != nullptr, expected) << manager.name;
      }
      EXPECT_EQ(_orbaFactory, &factory) << "the factory given is the one used";
      EXPECT_EQ(dynamic_cast<MacroPreprocessor*>(_preProcessor) != nullptr, c.macroPreprocessor);
    }
    for (const Manager& manager : kManagers) EXPECT_EQ(manager.member(), nullptr) << manager.name;
  }
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
