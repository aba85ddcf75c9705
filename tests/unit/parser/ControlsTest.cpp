#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "flow/SectionAdmin.h"
#include "parser/Controls.h"
#include "parser/LineFlags.h"
#include "parser/OrbaParser.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MessageCatalog.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

// One parse of a few source lines with fresh managers, as the plain preprocessor
// leaves them; adjust may set options first.
class ControlRun {
 public:
  explicit ControlRun(const std::vector<std::string>& source,
                      const std::function<void(RunSettings&)>& adjust = {})
      : savedFactory_(runState().orbaFactory), savedAdmin_(runState().sectionAdmin), savedPlaceholder_(runState().placeholderSection) {
    runState().orbaFactory = &factory_;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
    ControlState::firstTitle() = nullptr;
    ControlState::firstSubtitle() = nullptr;
    if (adjust) adjust(*runState().orbaOptions);
    int32_t number = 1;
    for (const std::string& text : source) {
      LineInfo* line = runState().lineState->appendLine((text + "\n").c_str(), 0, number++, 0);
      line->flags[0] |= lineflag::kAssemble;
      lines.push_back(line);
    }
    OrbaParser parser;
    parser.parse();
  }
  ~ControlRun() {
    ControlState::firstTitle() = nullptr;
    ControlState::firstSubtitle() = nullptr;
    delete runState().sectionAdmin;
    runState().sectionAdmin = savedAdmin_;
    runState().orbaFactory = savedFactory_;
    runState().placeholderSection = savedPlaceholder_;
  }
  ControlRun(const ControlRun&) = delete;
  ControlRun& operator=(const ControlRun&) = delete;

  // The recorded diagnostics as "E226@1" (severity letter, number and line).
  std::vector<std::string> diagnostics() const {
    std::vector<std::string> found;
    for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
      const ErrorLine* record = it.current();
      std::string text(record->text, 4);
      if (record->position) text += "@" + std::to_string(record->position->lineNumber);
      found.push_back(text);
    }
    return found;
  }
  const ControlState& state(size_t index) const { return *lines.at(index)->controlState; }
  const TriCoreControlState& tricore(size_t index) const {
    return *static_cast<const TriCoreControlState*>(lines.at(index)->controlState.get());
  }
  bool marked(size_t index) const { return (lines.at(index)->flags[1] & lineflag::kControlLine) != 0; }
  RunSettings& options() const { return *runState().orbaOptions; }

  std::vector<LineInfo*> lines;

 private:
  ScopedManagers managers_{ScopedManagers::kAll};
  TriCoreFactory factory_;
  OrbaFactory* savedFactory_;
  SectionAdmin* savedAdmin_;
  Section* savedPlaceholder_;
};

using Diagnostics = std::vector<std::string>;

constexpr uint32_t kThirteenLetters =
    ControlState::kListControl | ControlState::kListSection | ControlState::kListSymbol |
    ControlState::kListGenericExpansion | ControlState::kListLine | ControlState::kListMacro |
    ControlState::kListEmptyLine | ControlState::kListConditional | ControlState::kListEquate |
    ControlState::kListHll | ControlState::kListWrapLines | ControlState::kListMacroExpansion |
    ControlState::kListDefineExpansion;
constexpr uint32_t kDefaultLetters = ControlState::kListControl | ControlState::kListLine |
                                     ControlState::kListMacro | ControlState::kListConditional |
                                     ControlState::kListHll;
// Letters $LIST does not know, and a further bit: a letter string must keep them.
constexpr uint32_t kForeignFlags = ControlState::kListGeneric | ControlState::kListRelocations |
                                   ControlState::kListCycleCount | ControlState::kListFurther4;

TEST(ControlLettersTest, ListLettersSetTheGivenKindsAndResetTheOthers) {
  struct Case {
    const char* letters;
    uint32_t before;
    uint32_t after;  // valid strings only
    int32_t repeats;
    bool invalid;
  };
  const Case cases[] = {
      {"", kThirteenLetters, kDefaultLetters, 0, false},
      {"e", 0, kDefaultLetters | ControlState::kListSymbol, 0, false},
      {"E", kThirteenLetters, kDefaultLetters, 0, false},
      {"Cd", 0, (kDefaultLetters & ~ControlState::kListControl) | ControlState::kListSection, 0, false},
      {"CLMPS", kThirteenLetters, 0, 0, false},
      {"cdeglmnpqswxz", 0, kThirteenLetters, 0, false},
      {"eE", 0, kDefaultLetters | ControlState::kListSymbol, 1, false},  // the first mention counts
      {"eee", 0, kDefaultLetters | ControlState::kListSymbol, 2, false},
      {"ei", 0, 0, 0, true},
      {"r", 0, 0, 0, true},
      {"e ", 0, 0, 0, true},
      {"e1", 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    for (uint32_t foreign : {0u, kForeignFlags}) {
      ListLetters result = listFlagsFromLetters(c.letters, c.before | foreign);
      EXPECT_EQ(result.invalid, c.invalid) << c.letters;
      if (c.invalid) continue;
      EXPECT_EQ(result.repeats, c.repeats) << c.letters;
      EXPECT_EQ(result.flags, c.after | foreign) << c.letters;
    }
  }
}

TEST(ControlLettersTest, DebugLettersAreAAndLEachOnce) {
  struct Case {
    const char* letters;
    int32_t asmLines;
    int32_t localSymbols;
    bool invalid;
  };
  const Case cases[] = {
      {"", -1, -1, false},  {"a", 1, -1, false}, {"A", 0, -1, false}, {"l", -1, 1, false},
      {"aL", 1, 0, false},  {"La", 1, 0, false}, {"h", -1, -1, true}, {"s", -1, -1, true},
      {"aa", -1, -1, true}, {"aA", -1, -1, true}, {"a ", -1, -1, true},
  };
  for (const Case& c : cases) {
    DebugLetters result = debugLettersOf(c.letters);
    EXPECT_EQ(result.invalid, c.invalid) << c.letters;
    if (c.invalid) continue;
    EXPECT_EQ(result.asmLines, c.asmLines) << c.letters;
    EXPECT_EQ(result.localSymbols, c.localSymbols) << c.letters;
  }
}

TEST(ControlLettersTest, ACoreControlClearsOnlyTheNewerCores) {
  struct Case {
    int32_t code;
    const char* before;  // the flags T13, T131, T16, T16X as "1" and "0"
    const char* after;
  };
  const Case cases[] = {
      {kTokTc13, "1111", "1000"},  {kTokTc131, "1111", "1100"}, {kTokTc16, "1111", "1110"},
      {kTokTc16x, "1111", "1111"}, {kTokTc16, "1000", "1010"},  {kTokTc16x, "0010", "0011"},
      {kTokTc13, "0000", "1000"},  {kTokTc131, "0001", "0100"},
  };
  for (const Case& c : cases) {
    ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kOptions);
    RunSettings& options = *runState().orbaOptions;
    bool* flags[] = {&options.coreTc13, &options.coreTc131, &options.coreTc16, &options.coreTc16x};
    for (int i = 0; i < 4; ++i) *flags[i] = c.before[i] == '1';
    selectCore(options, c.code);
    std::string after;
    for (bool* flag : flags) after += *flag ? '1' : '0';
    EXPECT_EQ(after, c.after) << keywordName(c.code) << " after " << c.before;
  }
}

TEST(ControlsTest, GlobalControlsChangeTheOptionsFromTheirLineOn) {
  struct Case {
    std::vector<std::string> source;
    std::function<void(RunSettings&)> before;
    std::function<bool(const RunSettings&)> holds;
    Diagnostics diagnostics;
  };
  const Case cases[] = {
      {{" $CASE OFF"}, {}, [](const RunSettings& o) { return !o.caseSensitive; }, {}},
      {{" $case on"}, [](RunSettings& o) { o.caseSensitive = false; },
       [](const RunSettings& o) { return o.caseSensitive; }, {}},
      {{" $CASE"}, {}, [](const RunSettings& o) { return o.caseSensitive; }, {"E118@1"}},
      {{" $CASE YES"}, {}, [](const RunSettings& o) { return o.caseSensitive; }, {"E118@1"}},
      // The control has acted by the time the frame finds the text after it.
      {{" $CASE OFF x"}, {}, [](const RunSettings& o) { return !o.caseSensitive; }, {"E172@1"}},
      {{" $FPU"}, [](RunSettings& o) { o.fpuPresent = false; },
       [](const RunSettings& o) { return o.fpuPresent; }, {}},
      {{"l $FPU"}, [](RunSettings& o) { o.fpuPresent = false; },
       [](const RunSettings& o) { return !o.fpuPresent; }, {"W179@1", "E174@1"}},
      {{" $NO_FPU"}, {}, [](const RunSettings& o) { return !o.fpuPresent; }, {}},
      {{" $MMU", " $FPU"}, {}, [](const RunSettings& o) { return o.mmuPresent; }, {}},
      {{" $TC16"}, [](RunSettings& o) { o.coreTc13 = true; },
       [](const RunSettings& o) { return o.coreTc13 && o.coreTc16 && !o.coreTc16x; }, {}},
      {{" $TC16X", " $TC131"}, [](RunSettings& o) { o.coreTc16 = true; },
       [](const RunSettings& o) { return o.coreTc131 && !o.coreTc16 && !o.coreTc16x; }, {}},
      {{" $HW_ONLY"}, {}, [](const RunSettings& o) { return !o.optimizeGenerics; }, {}},
  };
  for (const Case& c : cases) {
    ControlRun run(c.source, c.before);
    EXPECT_TRUE(c.holds(run.options())) << c.source[0];
    EXPECT_EQ(run.diagnostics(), c.diagnostics) << c.source[0];
  }
}

TEST(ControlsTest, OnlyTheCaseControlMarksItsLineAmongTheTargetControls) {
  ControlRun run({" $CASE ON", " $TC13", " $FPU", " $NO_FPU", " $MMU", " $HW_ONLY", " $CPU_TC013 ON"});
  EXPECT_TRUE(run.marked(0));
  for (size_t i = 1; i < run.lines.size(); ++i) EXPECT_FALSE(run.marked(i)) << i;
}

TEST(ControlsTest, HardwareOnlyRefusesGenericsFromItsLineOn) {
  ControlRun run({" .MESSAGE 1", " $HW_ONLY", " .MESSAGE 2", " $HW_ONLY"});
  EXPECT_TRUE(run.state(0).genericsAllowed);
  EXPECT_FALSE(run.state(1).genericsAllowed);
  EXPECT_FALSE(run.state(2).genericsAllowed);
  EXPECT_TRUE(run.lines[1]->ownsControlState());
  // A second one finds nothing to change and copies nothing.
  EXPECT_EQ(run.lines[3]->controlState, run.lines[2]->controlState);
}

TEST(ControlsTest, EveryDefectControlSetsItsSwitchOnACopyOfTheLineState) {
  std::vector<std::string> source{" .MESSAGE 0"};
  for (const DefectControl& control : kDefectControls) {
    source.push_back(std::string(" ") + control.name + " ON");
    source.push_back(std::string(" ") + control.name + " OFF");
  }
  ControlRun run(source);
  for (int i = 0; i < kDefectControlCount; ++i) {
    const DefectControl& control = kDefectControls[i];
    size_t on = 1 + 2 * static_cast<size_t>(i);
    EXPECT_EQ(run.tricore(on - 1).defectSwitch[control.defectSwitch], 0) << control.name;
    EXPECT_EQ(run.tricore(on).defectSwitch[control.defectSwitch], 1) << control.name;
    EXPECT_EQ(run.tricore(on + 1).defectSwitch[control.defectSwitch], 0) << control.name;
    EXPECT_NE(run.lines[on]->controlState, run.lines[on - 1]->controlState) << control.name;
    EXPECT_TRUE(run.lines[on]->ownsControlState()) << control.name;
  }
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"I145@1"}));
}

TEST(ControlsTest, DefectControlsOfOneSwitchShareIt) {
  ControlRun run({" $TC112_COR1 ON", " $CPU_TC018 OFF", " $tc113_cpu9 on", " $CPU_TC034", " .MESSAGE 1"});
  EXPECT_EQ(run.tricore(0).defectSwitch[1], 1);
  EXPECT_EQ(run.tricore(1).defectSwitch[1], 0);
  EXPECT_EQ(run.tricore(2).defectSwitch[8], 1);
  // Without ON or OFF the control changes nothing, not even by a copy.
  EXPECT_EQ(run.lines[3]->controlState, run.lines[2]->controlState);
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"E118@4", "I145@5"}));
}

TEST(ControlsTest, PageSetsTheLayoutOnlyWhenItIsUsable) {
  struct Case {
    const char* text;
    int32_t width, length, left, top, bottom;
    Diagnostics diagnostics;
  };
  const Case cases[] = {
      {" $PAGE 40,10", 40, 10, 0, 0, 0, {}},
      {" $PAGE 39", 132, 72, 0, 0, 0, {"E226@1"}},
      {" $PAGE 80,9", 132, 72, 0, 0, 0, {"E226@1"}},
      {" $PAGE 80,0,0,50,60", 80, 0, 0, 50, 60, {}},  // length 0: margins are free
      {" $PAGE 80,20,0,5,5", 80, 20, 0, 5, 5, {}},
      {" $PAGE 80,20,0,6,5", 132, 72, 0, 0, 0, {"E226@1"}},
      {" $PAGE 132,60,93", 132, 72, 0, 0, 0, {"E226@1"}},
      {" $PAGE 132,60,92", 132, 60, 92, 0, 0, {}},
      {" $PAGE 100,,5", 100, 72, 5, 0, 0, {}},
      {" $PAGE 100,", 100, 72, 0, 0, 0, {}},
      {" $PAGE -1,50", 132, 50, 0, 0, 0, {}},
      {" $PAGE 2147483648,50", 2147483647, 50, 0, 0, 0, {}},
      {" $PAGE undefined,50", 132, 50, 0, 0, 0, {"E102@1"}},
      {" $PAGE 60,20,1,2,3 ; c", 60, 20, 1, 2, 3, {}},
      {" $PAGE 60,20,1,2,3,4", 60, 20, 1, 2, 3, {"E172@1"}},
      {" $PAGE 60,,,,,", 60, 72, 0, 0, 0, {"E172@1"}},
      {" $PAGE ,60", 132, 72, 0, 0, 0, {"E113@1"}},
      {" $PAGE 60,+", 132, 72, 0, 0, 0, {"E134@1"}},
  };
  for (const Case& c : cases) {
    ControlRun run({c.text});
    ControlState::PageLayout layout = run.state(0).getPageLayout();
    EXPECT_EQ(layout.width, c.width) << c.text;
    EXPECT_EQ(layout.length, c.length) << c.text;
    EXPECT_EQ(layout.leftMargin, c.left) << c.text;
    EXPECT_EQ(layout.topMargin, c.top) << c.text;
    EXPECT_EQ(layout.bottomMargin, c.bottom) << c.text;
    EXPECT_EQ(run.diagnostics(), c.diagnostics) << c.text;
  }
}

TEST(ControlsTest, PageWithoutArgumentsBreaksThePageAndKeepsTheState) {
  ControlRun run({" .MESSAGE 1", " $PAGE ; new page", " $PAGE 80"});
  EXPECT_TRUE(run.lines[1]->flags[2] & lineflag::kControlListedAnyway);
  EXPECT_FALSE(run.lines[2]->flags[2] & lineflag::kControlListedAnyway);
  EXPECT_EQ(run.lines[1]->controlState, run.lines[0]->controlState);
  EXPECT_TRUE(run.marked(1));
  EXPECT_TRUE(run.marked(2));
}

TEST(ControlsTest, ListCountsOnAndOffAndTakesLetters) {
  auto withList = [](RunSettings& o) { o.listFileWanted = true; };
  ControlRun run({" $LIST OFF", " $LIST OFF", " $LIST ON", " $LIST \"e\"", " $LIST \"ee\"", " $LIST \"ei\"",
                  " $LIST", " $list on"},
                 withList);
  EXPECT_EQ(run.state(0).listCounter, 0);
  EXPECT_EQ(run.state(1).listCounter, -1);
  EXPECT_EQ(run.state(2).listCounter, 0);
  EXPECT_EQ(run.state(3).listCounter, 0);
  EXPECT_EQ(run.state(3).listFlags & kThirteenLetters, kDefaultLetters | ControlState::kListSymbol);
  EXPECT_EQ(run.state(4).listFlags & kThirteenLetters, kDefaultLetters | ControlState::kListSymbol);
  // The same letters again change nothing and copy nothing.
  EXPECT_EQ(run.lines[4]->controlState, run.lines[3]->controlState);
  EXPECT_NE(run.lines[3]->controlState, run.lines[2]->controlState);
  // A bad letter leaves the line with the state it came with.
  EXPECT_EQ(run.lines[5]->controlState, run.lines[4]->controlState);
  EXPECT_FALSE(run.marked(5));
  EXPECT_EQ(run.lines[6]->controlState, run.lines[4]->controlState);
  EXPECT_EQ(run.state(7).listCounter, 1);
  for (size_t i : {0, 1, 2, 3, 4, 7}) EXPECT_TRUE(run.marked(i)) << i;
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"E283@5", "E283@6", "E118@7"}));
}

TEST(ControlsTest, ListCounterStopsAtItsLimitInsteadOfTurningListingOn) {
  std::vector<std::string> source(32770, " $LIST OFF");
  source.push_back(" $LIST ON");
  ControlRun run(source, [](RunSettings& o) { o.listFileWanted = true; });
  EXPECT_EQ(run.state(32769).listCounter, -32768);
  EXPECT_EQ(run.state(32770).listCounter, -32767);
}

TEST(ControlsTest, ListWithoutAListFileChangesNothing) {
  ControlRun run({" .MESSAGE 1", " $LIST OFF", " $LIST \"i\""});
  EXPECT_EQ(run.lines[1]->controlState, run.lines[0]->controlState);
  EXPECT_EQ(run.lines[2]->controlState, run.lines[0]->controlState);
  EXPECT_FALSE(run.marked(1));
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"I145@1"}));
}

TEST(ControlsTest, DebugSetsTheLineKindAndLocalSymbols) {
  struct Case {
    const char* text;
    int32_t debugKind;
    bool localSymbolDebug;
    bool asmDebugUsed;
    bool localDebugUsed;
    Diagnostics diagnostics;
  };
  // The options start with high-level debug information and no local symbols.
  const Case cases[] = {
      {" $DEBUG ON", 2, true, false, true, {}},
      {" $DEBUG OFF", 2, false, false, false, {}},
      {" $DEBUG \"a\"", 1, false, true, false, {}},
      {" $DEBUG \"A\"", 0, false, false, false, {}},
      {" $DEBUG \"lA\"", 0, true, false, true, {}},
      {" $DEBUG \"L\"", 2, false, false, false, {}},
      {" $DEBUG \"h\"", 2, false, false, false, {"E283@1"}},
      {" $DEBUG \"aa\"", 2, false, false, false, {"E283@1"}},
      {" $DEBUG 1", 2, false, false, false, {"E118@1"}},
  };
  for (const Case& c : cases) {
    ControlRun run({c.text});
    EXPECT_EQ(run.state(0).debugKind, c.debugKind) << c.text;
    EXPECT_EQ(run.state(0).localSymbolDebug, c.localSymbolDebug) << c.text;
    EXPECT_EQ(run.options().asmDebugInfo, c.asmDebugUsed) << c.text;
    EXPECT_EQ(run.options().localDebugSymbols, c.localDebugUsed) << c.text;
    EXPECT_EQ(run.marked(0), c.diagnostics.empty()) << c.text;
    EXPECT_EQ(run.diagnostics(), c.diagnostics) << c.text;
  }
}

TEST(ControlsTest, IdentSetsTheDefaultScope) {
  ControlRun run({" $IDENT GLOBAL", " $ident local", " $IDENT x", " $IDENT"},
                 [](RunSettings& o) { o.localScopeDefault = true; });
  EXPECT_FALSE(run.state(0).localByDefault);
  EXPECT_TRUE(run.state(1).localByDefault);
  EXPECT_EQ(run.lines[2]->controlState, run.lines[1]->controlState);
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"E118@3", "E118@4"}));
}

TEST(ControlsTest, TheFirstTitleIsTheRunsAndLaterOnesThoseOfTheirLines) {
  ControlRun run({" .MESSAGE 1", " $TITLE \"one\"", " $STITLE \"sub\"", " $TITLE \"two\"", " $TITLE 5"});
  // The first title heads the pages before its line too.
  EXPECT_STREQ(run.state(0).getPageLayout().title, "one");
  EXPECT_STREQ(run.state(0).getPageLayout().subtitle, "sub");
  EXPECT_EQ(run.lines[1]->controlState, run.lines[0]->controlState);
  EXPECT_EQ(run.lines[2]->controlState, run.lines[0]->controlState);
  EXPECT_STREQ(run.state(3).getPageLayout().title, "two");
  EXPECT_STREQ(run.state(3).getPageLayout().subtitle, "sub");
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"I145@1", "E118@5"}));
}

TEST(ControlsTest, PrinterControlKeepsEveryByteWithItsCount) {
  struct Case {
    const char* text;
    std::string bytes;
    Diagnostics diagnostics;
  };
  const Case cases[] = {
      {" $PRCTL 27", std::string("\x1b", 1), {}},
      // A zero byte in the middle must not cut the rest off.
      {" $PRCTL 27, 0, \"(s\", 0x141", std::string("\x1b\0(sA", 5), {}},
      {" $PRCTL -1, 7", std::string("\x07", 1), {}},
      {" $PRCTL \"a\\0b\"", std::string("a\0b", 3), {}},
      {" $PRCTL later, 9", std::string("\x09", 1), {"E102@1"}},
      {" $PRCTL", std::string(), {"E113@1"}},
  };
  for (const Case& c : cases) {
    ControlRun run({c.text});
    const LineInfo* line = run.lines[0];
    std::string stored(reinterpret_cast<const char*>(line->extras().printerControl), line->extras().printerControlCount);
    EXPECT_EQ(stored, c.bytes) << c.text;
    EXPECT_EQ(run.marked(0), c.diagnostics.empty() || c.diagnostics[0] != "E113@1") << c.text;
    EXPECT_EQ(run.diagnostics(), c.diagnostics) << c.text;
  }
}

TEST(ControlsTest, PrinterControlBeyondItsLimitIsCutWithAWarning) {
  std::string text = " $PRCTL \"" + std::string(LineInfo::kMaxPrinterControl, 'x') + "\", 1";
  ControlRun run({text});
  EXPECT_EQ(run.lines[0]->extras().printerControlCount, LineInfo::kMaxPrinterControl);
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"W215@1"}));
}

TEST(ControlsTest, WarningOffThatSuppressesGivesItsLineAStateOfItsOwn) {
  struct Case {
    const char* text;
    bool allOff;
    std::vector<int32_t> suppressed;
    Diagnostics diagnostics;
  };
  const Case cases[] = {
      {" $WARNING OFF", true, {}, {}},
      {" $WARNING OFF ; all", true, {}, {}},
      {" $WARNING OFF 244", false, {W_additional_input_ignored}, {}},
      {" $WARNING OFF 999", false, {}, {}},  // no such message: nothing suppressed
      {" $WARNING OFF -5", false, {}, {}},
      {" $WARNING OFF later", false, {}, {"E102@2"}},
  };
  for (const Case& c : cases) {
    ControlRun run({" .MESSAGE 1", c.text});
    const ControlState& before = run.state(0);
    const ControlState& own = run.state(1);
    const bool changes = c.allOff || !c.suppressed.empty();
    if (changes) {
      ASSERT_NE(&own, &before) << c.text;
      // The line deletes what it owns: no copy is left behind at the end of the run.
      EXPECT_TRUE(run.lines[1]->ownsControlState()) << c.text;
    } else {
      // Suppressing nothing leaves the line on the state it came with.
      EXPECT_EQ(&own, &before) << c.text;
      EXPECT_FALSE(run.lines[1]->ownsControlState()) << c.text;
    }
    EXPECT_EQ(own.allWarningsOff, c.allOff) << c.text;
    EXPECT_EQ(std::vector<int32_t>(own.suppressedWarnings.begin(), own.suppressedWarnings.end()), c.suppressed)
        << c.text;
    EXPECT_TRUE(before.suppressedWarnings.empty()) << c.text;
    EXPECT_FALSE(before.allWarningsOff) << c.text;
    EXPECT_TRUE(run.marked(1)) << c.text;
    Diagnostics expected{"I145@1"};
    expected.insert(expected.end(), c.diagnostics.begin(), c.diagnostics.end());
    EXPECT_EQ(run.diagnostics(), expected) << c.text;
  }
}

TEST(ControlsTest, ControlsRefuseWrongArgumentsWithoutAChange) {
  struct Case {
    const char* text;
    const char* shown;  // what E118 says was expected
  };
  const Case cases[] = {
      {" $WARNING", "OFF"},        {" $WARNING ON", "OFF"}, {" $OBJECT 1", "OFF"},
      {" $TITLE title", "<string>"}, {" $STITLE", "<string>"}, {" $IDENT ON", "GLOBAL"},
      {" $LIST 3", "<string>"},    {" $CPU_TC013", "OFF"},  {" $CASE \"on\"", "OFF"},
  };
  for (const Case& c : cases) {
    ControlRun run({" .MESSAGE 1", c.text}, [](RunSettings& o) { o.listFileWanted = true; });
    EXPECT_EQ(run.lines[1]->controlState, run.lines[0]->controlState) << c.text;
    EXPECT_FALSE(run.marked(1)) << c.text;
    ASSERT_EQ(run.diagnostics(), (Diagnostics{"I145@1", "E118@2"})) << c.text;
    ErrorHandler::ErrorIter it(*runState().errorHandler);
    it.next();
    EXPECT_NE(std::string(it.current()->text).find(std::string("expected ") + c.shown), std::string::npos)
        << c.text << ": " << it.current()->text;
  }
}

TEST(ControlsTest, ObjectIsAcceptedAndIgnored) {
  ControlRun run({" .MESSAGE 1", " $OBJECT \"x.o\"", " $OBJECT OFF"});
  EXPECT_EQ(run.lines[1]->controlState, run.lines[0]->controlState);
  EXPECT_EQ(run.lines[2]->controlState, run.lines[0]->controlState);
  EXPECT_FALSE(run.marked(1));
  EXPECT_EQ(run.diagnostics(), (Diagnostics{"I145@1"}));
}

TEST(ControlsTest, EveryControlRefusesALabel) {
  std::vector<std::string> source;
  for (int32_t code = kTokControlFirst; code <= kTokControlLast; ++code)
    source.push_back("l" + std::to_string(code) + ": " + keywordName(code) + " ON");
  ControlRun run(source);
  Diagnostics diagnostics = run.diagnostics();
  for (int32_t code = kTokControlFirst; code <= kTokControlLast; ++code) {
    std::string at = "@" + std::to_string(code);
    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), "E174" + at), 1) << keywordName(code);
    EXPECT_FALSE(run.marked(static_cast<size_t>(code - 1))) << keywordName(code);
  }
  EXPECT_TRUE(run.options().caseSensitive);
}

}  // namespace

TEST(ControlsTest, AControlThatChangesNothingKeepsTheStateItsLineCameWith) {
  // Each control three times after a first line: the first changes the state, the
  // others find nothing to change. A macro body that sets the same title at every call
  // would otherwise keep a copy, and its line, per call.
  const char* const controls[] = {
      " $TITLE \"t\"", " $STITLE \"s\"", " $IDENT GLOBAL", " $DEBUG \"a\"", " $DEBUG ON",
      " $CPU_TC013 ON", " $TC113_LFI3 ON", " $WARNING OFF 244", " $WARNING OFF", " $PAGE 80",
      " .RADIX 16", " .comment_prefix \"!\"", " $LIST \"e\"", " $HW_ONLY",
  };
  for (const char* control : controls) {
    ControlRun run({" $TITLE \"first\"", " $STITLE \"first\"", control, control, control},
                   [](RunSettings& o) { o.listFileWanted = true; });
    EXPECT_NE(run.lines[2]->controlState, run.lines[1]->controlState) << control;
    EXPECT_EQ(run.lines[3]->controlState, run.lines[2]->controlState) << control;
    EXPECT_EQ(run.lines[4]->controlState, run.lines[2]->controlState) << control;
    EXPECT_FALSE(run.lines[3]->ownsControlState()) << control;
    EXPECT_FALSE(run.lines[4]->ownsControlState()) << control;
  }
}

TEST(ControlsTest, ControlsThatDifferInOneSettingGetStatesOfTheirOwn) {
  struct Case {
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {" $TITLE \"t\"", " $TITLE \"u\""},          {" $IDENT GLOBAL", " $IDENT LOCAL"},
      {" $CPU_TC013 ON", " $CPU_TC018 ON"},      {" $TC113_LFI2 ON", " $TC113_LFI3 ON"},
      {" $WARNING OFF 244", " $WARNING OFF 245"}, {" .RADIX 16", " .RADIX 8"},
      {" .comment_prefix \"!\"", " .comment_prefix \"!!\""}, {" $PAGE 80", " $PAGE 81"},
      {" $DEBUG \"a\"", " $DEBUG \"A\""},
  };
  for (const Case& c : cases) {
    ControlRun run({" $TITLE \"first\"", c.first, c.second});
    EXPECT_NE(run.lines[1]->controlState, run.lines[0]->controlState) << c.first;
    EXPECT_NE(run.lines[2]->controlState, run.lines[1]->controlState) << c.second;
    EXPECT_TRUE(run.lines[2]->ownsControlState()) << c.second;
  }
}
