#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ScopedManagers.h"
#include "util/MessageCatalog.h"
#include "driver/OrbaOptions.h"
#include "util/ControlState.h"

namespace {

struct Case {
  std::vector<const char*> words;
  bool allOff;
  bool allErrors;
  std::vector<int32_t> suppressed;
  std::vector<int32_t> promoted;
};

TEST(ControlState, WarningSetsComeFromTheWarningOptions) {
  const Case cases[] = {
      {{}, false, false, {}, {}},
      {{"-w"}, true, false, {}, {}},
      {{"--no-warnings=244,999"}, false, false, {W_additional_input_ignored}, {}},
      // An error's number is kept, though the handler consults the sets only for warnings.
      {{"--no-warnings=101"}, false, false, {E_illegal_option}, {}},
      {{"--warnings-as-errors=717"}, false, false, {}, {W_cpu_deprecated}},
      {{"--warnings-as-errors"}, false, true, {}, {}},
      {{"--no-warnings=244", "--warnings-as-errors=244"},
       false,
       false,
       {W_additional_input_ignored},
       {W_additional_input_ignored}},
  };
  for (const Case& c : cases) {
    ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors |
                            ScopedManagers::kLines);
    std::vector<char*> argv{const_cast<char*>("vekt")};
    for (const char* word : c.words) argv.push_back(const_cast<char*>(word));
    auto options = std::make_unique<TriCoreOptions>(static_cast<int>(argv.size()), argv.data());
    options->process();
    ControlState state;
    SCOPED_TRACE(c.words.empty() ? "(none)" : c.words[0]);
    EXPECT_EQ(state.allWarningsOff, c.allOff);
    EXPECT_EQ(state.warningsAsErrors, c.allErrors);
    EXPECT_EQ(std::vector<int32_t>(state.suppressedWarnings.begin(), state.suppressedWarnings.end()),
              c.suppressed);
    EXPECT_EQ(std::vector<int32_t>(state.promotedWarnings.begin(), state.promotedWarnings.end()),
              c.promoted);
    options.reset();
    runState().orbaOptions = nullptr;
  }
}

TEST(ControlState, CopiesKeepTheirOwnSets) {
  TriCoreControlState original;
  original.defectSwitch[TriCoreControlState::kTc112Cor10] = 1;
  TriCoreControlState copy(original);
  copy.suppressWarning(W_additional_input_ignored);
  EXPECT_TRUE(original.suppressedWarnings.empty());
  EXPECT_EQ(copy.defectSwitch[TriCoreControlState::kTc112Cor10], 1);
}

}  // namespace
