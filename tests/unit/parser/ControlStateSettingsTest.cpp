#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "driver/OrbaOptions.h"
#include "util/ControlState.h"
#include "util/MessageCatalog.h"
#include "util/OrbaFactory.h"

namespace {

// A state built from the options of the command line words.
class OptionsState {
 public:
  explicit OptionsState(std::vector<const char*> words)
      : managers_(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines) {
    std::vector<char*> argv{const_cast<char*>("vekt")};
    for (const char* word : words) argv.push_back(const_cast<char*>(word));
    options_ = std::make_unique<TriCoreOptions>(static_cast<int>(argv.size()), argv.data());
    options_->process();
    state_.reset(factory_.createControlState());
  }
  ~OptionsState() {
    state_.reset();
    options_.reset();
    runState().orbaOptions = nullptr;
  }
  const TriCoreControlState& state() const { return *static_cast<const TriCoreControlState*>(state_.get()); }

 private:
  ScopedManagers managers_;
  std::unique_ptr<TriCoreOptions> options_;
  TriCoreFactory factory_;
  std::unique_ptr<ControlState> state_;
};

TEST(ControlStateDefaults, TheFirstStateFollowsTheOptions) {
  struct Case {
    std::vector<const char*> words;
    int32_t pageWidth;
    int32_t pageLength;
    int16_t listCounter;
    uint32_t listOn;   // list flags that must be set
    uint32_t listOff;  // list flags that must be clear
    int32_t debugKind;
    bool localByDefault;
    bool genericsAllowed;
    bool jumpChainOpt;
    bool localSymbolDebug;
  };
  const uint32_t fixed = ControlState::kFixedListFlags;
  const Case cases[] = {
      {{}, 132, 72, 0, fixed | ControlState::kListSection | ControlState::kListEmptyLine,
       ControlState::kListSymbol | ControlState::kListMacro | ControlState::kListDefineExpansion, 2, true, true,
       false, false},
      // A list file is made: listing starts on; --check makes none.
      {{"-l"}, 132, 72, 1, 0, 0, 2, true, true, false, false},
      {{"-l", "--check"}, 132, 72, 0, 0, 0, 2, true, true, false, false},
      {{"--page-width=100", "--page-length=0"}, 100, 0, 0, 0, 0, 2, true, true, false, false},
      {{"-Lez"}, 132, 72, 0, ControlState::kListSymbol | ControlState::kListDefineExpansion, 0, 2, true, true,
       false, false},
      {{"-LDN"}, 132, 72, 0, fixed, ControlState::kListSection | ControlState::kListEmptyLine, 2, true, true,
       false, false},
      {{"-Lp"}, 132, 72, 0, ControlState::kListConditional, 0, 2, true, true, false, false},
      {{"-gs"}, 132, 72, 0, 0, 0, 4, true, true, false, false},
      {{"--symbol-scope=global"}, 132, 72, 0, 0, 0, 2, false, true, false, false},
      {{"-OGj"}, 132, 72, 0, 0, 0, 2, true, false, true, false},
      {{"-gl"}, 132, 72, 0, 0, 0, 2, true, true, false, true},
  };
  for (const Case& c : cases) {
    OptionsState made(c.words);
    const ControlState& state = made.state();
    std::string label = c.words.empty() ? "(none)" : c.words[0];
    EXPECT_EQ(state.pageWidth, c.pageWidth) << label;
    EXPECT_EQ(state.pageLength, c.pageLength) << label;
    EXPECT_EQ(state.listCounter, c.listCounter) << label;
    EXPECT_EQ(state.listFlags & c.listOn, c.listOn) << label;
    EXPECT_EQ(state.listFlags & c.listOff, 0u) << label;
    EXPECT_EQ(state.debugKind, c.debugKind) << label;
    EXPECT_EQ(state.localByDefault, c.localByDefault) << label;
    EXPECT_EQ(state.genericsAllowed, c.genericsAllowed) << label;
    EXPECT_EQ(state.jumpChainOpt, c.jumpChainOpt) << label;
    EXPECT_EQ(state.localSymbolDebug, c.localSymbolDebug) << label;
    EXPECT_STREQ(state.commentPrefix, ";") << label;
    EXPECT_EQ(state.radix, 10) << label;
    EXPECT_EQ(state.layoutValue1, 4) << label;
    EXPECT_EQ(state.layoutValue2, 8) << label;
  }
}

TEST(ControlStateDefaults, SiliconBugSelectionsSwitchTheirDefectsOn) {
  OptionsState made({"--silicon-bug=cpu-tc048,lfi2,pmu1"});
  std::set<int> on;
  for (int i = 0; i < TriCoreControlState::kDefectSwitches; ++i)
    if (made.state().defectSwitch[i]) on.insert(i);
  EXPECT_EQ(on, (std::set<int>{defectSwitchOfControl("$CPU_TC048"), defectSwitchOfControl("$TC113_LFI2"),
                               defectSwitchOfControl("$PMU_TC004")}));
}

TEST(ControlStateCopy, ACopyOwnsItsSetsAndTheFactoryCopyKeepsTheSwitches) {
  ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines);
  TriCoreFactory factory;
  TriCoreControlState original;
  original.defectSwitch[TriCoreControlState::kTc113Lfi3] = 1;
  original.suppressWarning(W_additional_input_ignored);
  original.commentPrefix = "//";
  original.radix = 16;
  original.title = "title";
  std::unique_ptr<ControlState> copy(factory.copyControlState(&original));
  copy->suppressWarning(W_cpu_deprecated);
  copy->promoteWarning(W_cpu_deprecated);
  EXPECT_EQ(original.suppressedWarnings, (std::set<int32_t>{W_additional_input_ignored}));
  EXPECT_TRUE(original.promotedWarnings.empty());
  EXPECT_STREQ(copy->commentPrefix, "//");
  EXPECT_EQ(copy->radix, 16);
  EXPECT_STREQ(copy->title, "title");
  EXPECT_EQ(static_cast<TriCoreControlState*>(copy.get())->defectSwitch[TriCoreControlState::kTc113Lfi3], 1);

  // assign copies the settings, never the switches.
  TriCoreControlState other;
  other.assign(original);
  EXPECT_EQ(other.suppressedWarnings, original.suppressedWarnings);
  EXPECT_STREQ(other.commentPrefix, "//");
  EXPECT_EQ(other.defectSwitch[TriCoreControlState::kTc113Lfi3], 0);
  other.assign(other);
  EXPECT_EQ(other.suppressedWarnings, original.suppressedWarnings);
}

TEST(ControlStatePage, APageLayoutIsStoredOnlyWhenItLeavesRoom) {
  struct Case {
    int32_t width, length, top, bottom, left;
    const char* error;
    int32_t storedWidth, storedLength, storedTop, storedBottom, storedLeft;
  };
  const char* kLength = "page length must be larger than 10 lines";
  const char* kWidth = "page width must be larger than 40 columns";
  const char* kMargins = "top and/or bottom margin too large for page length (at least 10 lines available)";
  const char* kLeft = "left margin too large for page width (at least 40 columns available)";
  const Case cases[] = {
      {40, 10, -1, -1, -1, nullptr, 40, 10, 0, 0, 0},
      {39, 60, -1, -1, -1, kWidth, 132, 72, 0, 0, 0},
      {-1, 9, -1, -1, -1, kLength, 132, 72, 0, 0, 0},
      {-1, 0, 50, 50, -1, nullptr, 132, 0, 50, 50, 0},
      {132, 60, -1, -1, 93, kLeft, 132, 72, 0, 0, 0},
      {132, 60, -1, -1, 92, nullptr, 132, 60, 0, 0, 92},
      {-1, 72, 31, 32, -1, kMargins, 132, 72, 0, 0, 0},
      {-1, 72, 31, 31, -1, nullptr, 132, 72, 31, 31, 0},
      // The width is checked before the margins.
      {39, 10, 5, 5, 0, kWidth, 132, 72, 0, 0, 0},
      {-1, -1, 2147483647, 2147483647, -1, kMargins, 132, 72, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ControlState state;
    const char* error = state.setPageLayout(c.width, c.length, c.top, c.bottom, c.left);
    std::string label = std::to_string(c.width) + "x" + std::to_string(c.length);
    EXPECT_STREQ(error, c.error) << label;
    ControlState::PageLayout layout = state.getPageLayout();
    EXPECT_EQ(layout.width, c.storedWidth) << label;
    EXPECT_EQ(layout.length, c.storedLength) << label;
    EXPECT_EQ(layout.topMargin, c.storedTop) << label;
    EXPECT_EQ(layout.bottomMargin, c.storedBottom) << label;
    EXPECT_EQ(layout.leftMargin, c.storedLeft) << label;
  }
}

TEST(ControlStatePage, AMissingTitleIsTheFirstTitleOfTheSource) {
  ControlState untitled;
  ControlState titled;
  titled.title = "own";
  ControlState::firstTitle() = "first";
  ControlState::firstSubtitle() = "sub";
  EXPECT_STREQ(untitled.getPageLayout().title, "first");
  EXPECT_STREQ(untitled.getPageLayout().subtitle, "sub");
  EXPECT_STREQ(titled.getPageLayout().title, "own");
  ControlState::firstTitle() = nullptr;
  ControlState::firstSubtitle() = nullptr;
  EXPECT_EQ(untitled.getPageLayout().title, nullptr);
}

TEST(DefectControls, FiftyFourControlsShareFortyTwoSwitches) {
  struct Case {
    const char* control;
    const char* sharesWith;  // the control whose switch it sets
  };
  const Case cases[] = {
      {"$TC112_COR1", "$CPU_TC018"},  {"$TC112_COR4", "$CPU_TC021"},  {"$TC112_COR6", "$CPU_TC023"},
      {"$TC112_COR7", "$CPU_TC024"},  {"$TC112_COR13", "$CPU_TC030"}, {"$TC112_COR16", "$CPU_TC033"},
      {"$TC112_COR17", "$CPU_TC034"}, {"$TC113_CPU9", "$CPU_TC034"},  {"$TC113_CPU16", "$CPU_TC048"},
      {"$TC113_DMU1", "$DMU_TC001"},  {"$TC113_PMU3", "$PMI_TC003"},  {"$TC113_PMU1", "$PMU_TC004"},
      {"$tc113_pmu1", "$pmu_tc004"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(defectSwitchOfControl(c.control), -1) << c.control;
    EXPECT_EQ(defectSwitchOfControl(c.control), defectSwitchOfControl(c.sharesWith)) << c.control;
  }

  std::set<std::string> names;
  std::set<int32_t> switches;
  for (const DefectControl& control : kDefectControls) {
    names.insert(control.name);
    switches.insert(control.defectSwitch);
    EXPECT_STREQ(defectSwitchName(control.defectSwitch), defectSwitchName(defectSwitchOfControl(control.name)));
  }
  EXPECT_EQ(names.size(), 54u);
  EXPECT_EQ(switches.size(), 42u);
  EXPECT_EQ(*switches.begin(), 0);
  EXPECT_EQ(*switches.rbegin(), 41);

  // The switches that the operand checks read by index.
  EXPECT_EQ(defectSwitchOfControl("$DMU_TC001"), TriCoreControlState::kDmuTc001);
  EXPECT_EQ(defectSwitchOfControl("$TC112_COR10"), TriCoreControlState::kTc112Cor10);
  EXPECT_EQ(defectSwitchOfControl("$TC113_CPU15"), TriCoreControlState::kTc113Cpu15);
  EXPECT_EQ(defectSwitchOfControl("$TC113_LFI2"), TriCoreControlState::kTc113Lfi2);
  EXPECT_EQ(defectSwitchOfControl("$TC113_LFI3"), TriCoreControlState::kTc113Lfi3);
  EXPECT_STREQ(defectSwitchName(9), "$CPU_TC048");
  EXPECT_EQ(defectSwitchName(42), nullptr);
  EXPECT_EQ(defectSwitchOfControl("$CASE"), -1);
  EXPECT_EQ(defectSwitchOfControl(nullptr), -1);

  // Each --silicon-bug selection sets the switch of the control its macro is named after.
  for (uint32_t i = 0; i < kDefectSelectionCount; ++i) {
    std::string macro = kDefectSelections[i].macro;  // "__CPU_TC048__"
    std::string control = "$" + macro.substr(2, macro.size() - 4);
    EXPECT_EQ(defectSwitchOfControl(control.c_str()), static_cast<int32_t>(kDefectSelections[i].defectSwitch))
        << control;
  }
}

}  // namespace
