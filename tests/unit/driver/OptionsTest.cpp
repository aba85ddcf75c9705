// The run settings that the options object derives from the parsed options, and
// the TriCore target selection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "driver/ProgramDirectory.h"
#include "util/ControlState.h"
#include "util/StringBuffer.h"

namespace {

class OptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!runState().stringBuffer) runState().stringBuffer = new StringBuffer();
    if (!runState().errorHandler) runState().errorHandler = new ErrorHandler();
  }
  void TearDown() override {
    options_.reset();
    runState().orbaOptions = nullptr;
  }

  TriCoreOptions& make(std::vector<const char*> words) {
    options_.reset();
    std::vector<char*> argv{const_cast<char*>("vekt")};
    for (const char* word : words) argv.push_back(const_cast<char*>(word));
    options_ = std::make_unique<TriCoreOptions>(static_cast<int>(argv.size()), argv.data());
    failed_ = options_->process();
    return *options_;
  }

  std::unique_ptr<TriCoreOptions> options_;
  int failed_ = 0;
};

std::string text(const char* value) { return value ? value : "(null)"; }

TEST_F(OptionsTest, DefaultFileNamesFollowTheInputAndOutput) {
  struct Case {
    std::vector<const char*> words;
    const char* output;
    const char* depFile;
    const char* makeTarget;
  } cases[] = {
      {{"x.asm", "--dep-file"}, "x.o", "x.d", "x.o"},
      {{"src/x.y.asm", "--dep-file"}, "x.y.o", "x.y.d", "x.y.o"},
      {{"x.asm", "--output=out/a.elf", "--dep-file"}, "out/a.elf", "a.d", "out/a.elf"},
      {{"x.asm", "--dep-file=deps", "--make-target=all"}, "x.o", "deps", "all"},
      {{"x.asm"}, "x.o", nullptr, "x.o"},
      {{}, nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.empty() ? "(no input)" : c.words[0]);
    TriCoreOptions& options = make(c.words);
    EXPECT_EQ(text(options.outputFile), text(c.output));
    EXPECT_EQ(text(options.depFile), text(c.depFile));
    EXPECT_EQ(text(options.makeTarget), text(c.makeTarget));
  }
}

TEST_F(OptionsTest, DebugLettersSelectTheMode) {
  struct Case {
    const char* behaviour;
    std::vector<const char*> words;
    int32_t mode;
  } cases[] = {
      {"DefaultPassesHighLevelRecords", {}, 2},
      {"SmartBeatsHighLevel", {"-gsh"}, 4},
      {"HighLevelBeatsAssembly", {"-gha"}, 2},
      {"HighLevelOnAssemblyOff", {"-ghA"}, 2},
      {"HighLevelOffClearsDefault", {"-gH"}, 0},
      {"AssemblyOn", {"-ga"}, 1},
      {"AssemblyOnHighLevelOff", {"-gHa"}, 1},
      {"SmartOffKeepsDefault", {"-gS"}, 2},
      {"AliasMeansSmart", {"-g"}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    EXPECT_EQ(make(c.words).debugInfoMode, c.mode);
  }
}

TEST_F(OptionsTest, RangeChecksOfPageSizeAndDwarfVersion) {
  struct Case {
    const char* word;
    int failed;
  } cases[] = {
      {"--page-length=0", 0}, {"--page-length=9", 1},  {"--page-length=10", 0},
      {"--page-width=40", 0}, {"--page-width=39", 1},  {"--dwarf-version=2", 0},
      {"--dwarf-version=4", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    make({c.word, "x.asm"});
    EXPECT_EQ(failed_, c.failed);
  }
  EXPECT_EQ(make({"--dwarf-version=4"}).dwarfVersion, 4);
}

TEST_F(OptionsTest, ListLettersSetFlagsButGenericStaysOn) {
  TriCoreOptions& options = make({"-LIme", "--list-file", "x.asm"});
  EXPECT_TRUE(options.listGeneric);
  EXPECT_TRUE(options.listMacro);
  EXPECT_TRUE(options.listSymbol);
  EXPECT_TRUE(options.listSection);
  EXPECT_TRUE(options.listFileWanted);
  EXPECT_FALSE(make({"--list-file", "--check", "x.asm"}).listFileWanted);
  EXPECT_FALSE(make({"--list-file", "-E", "x.asm"}).listFileWanted);
}

TEST_F(OptionsTest, PreprocessorTypeAndScope) {
  EXPECT_EQ(make({}).preprocessorType, 1);
  EXPECT_EQ(make({"--preprocessor-type=none"}).preprocessorType, 0);
  EXPECT_EQ(make({"-mc"}).preprocessorType, 2);
  EXPECT_TRUE(make({}).localScopeDefault);
  EXPECT_FALSE(make({"--symbol-scope=global"}).localScopeDefault);
}

TEST_F(OptionsTest, IncludeDirectoriesComeFromOptionsThenEnvironmentThenInstallation) {
  setenv("<unknown>", ";a;;b,", 1);
  TriCoreOptions& options = make({"-Ifirst", "-I", "second"});
  unsetenv("<unknown>");
  ASSERT_EQ(options.includeDirectories.size(), 5u);
  EXPECT_STREQ(options.includeDirectories[0], "first");
  EXPECT_STREQ(options.includeDirectories[1], "second");
  EXPECT_STREQ(options.includeDirectories[2], "a");
  EXPECT_STREQ(options.includeDirectories[3], "b");
  std::string installed = options.includeDirectories[4];
  EXPECT_EQ(installed.substr(installed.size() - 9), "/include/");
}

TEST_F(OptionsTest, TargetSelection) {
  struct Case {
    const char* behaviour;
    std::vector<const char*> words;
    const char* cpuName;
    int32_t cpuId;
    const char* coreName;
    bool mmu, fpu, user1, kernel;
  } cases[] = {
      {"Defaults", {}, "tricore", 115, "TC1V1.3", false, true, false, true},
      {"CpuWithoutMmuOrFpu", {"--cpu=tc11ib"}, "tc11ib", 104, "TC1V1.3", true, false, false, true},
      {"CpuWithMmu", {"--cpu=tc1130"}, "tc1130", 101, "TC1V1.3", true, true, false, true},
      {"CpuTableIgnoresCaseButRulesDoNot", {"--cpu=TC11IB"}, "TC11IB", 104, "TC1V1.3", false,
       true, false, true},
      {"UnknownCpuIsAccepted", {"--cpu=xyz"}, "xyz", 0, "TC1V1.3", false, true, false, true},
      {"UserOne", {"--user-mode=user-1"}, "tricore", 115, "TC1V1.3", false, true, true, false},
      {"UserZero", {"--user-mode=user-0"}, "tricore", 115, "TC1V1.3", false, true, false, false},
      {"LastUserModeWins", {"--user-mode=user-1", "--user-mode=kernel"}, "tricore", 115,
       "TC1V1.3", false, true, false, true},
      {"FixedCoreOrderDecides", {"--core=tc1.6", "--core=tc1.3"}, "tricore", 115, "TC1V1.3",
       false, true, false, true},
      {"CoreSixX", {"--core=tc1.6.x"}, "tricore", 115, "TC1V1.6.X", false, true, false, true},
      {"MmuAndNoFpuOptions", {"--mmu-present", "--no-fpu"}, "tricore", 115, "TC1V1.3", true,
       false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    TriCoreOptions& options = make(c.words);
    EXPECT_STREQ(options.cpuName, c.cpuName);
    EXPECT_EQ(options.cpuId, c.cpuId);
    EXPECT_STREQ(options.coreName, c.coreName);
    EXPECT_EQ(options.mmuPresent, c.mmu);
    EXPECT_EQ(options.fpuPresent, c.fpu);
    EXPECT_EQ(options.userMode1, c.user1);
    EXPECT_EQ(options.kernelMode, c.kernel);
    int cores = options.coreTc13 + options.coreTc131 + options.coreTc16 + options.coreTc16x;
    EXPECT_EQ(cores, 1);
  }
}

TEST_F(OptionsTest, RegisterDefinitionsNeedCpuAndSfrOption) {
  TriCoreOptions& both = make({"-Hfirst.def", "--cpu=tc1796", "--zelkova-sfr"});
  ASSERT_EQ(both.includeFiles.size(), 2u);
  EXPECT_STREQ(both.includeFiles[0], "first.def");
  EXPECT_STREQ(both.includeFiles[1], "sfr/regtc1796.def");
  EXPECT_TRUE(make({"--zelkova-sfr"}).includeFiles.empty());
}

TEST_F(OptionsTest, DefectSelectionsGiveMacrosAndSwitches) {
  struct Case {
    const char* argument;
    std::vector<std::string> macros;
    std::vector<int> switches;
  } cases[] = {
      {"--silicon-bug=cpu-tc048", {"__CPU_TC048__", "__TC113_CPU16__"}, {9}},
      {"--silicon-bug=all-tc13",
       {"__CPU_TC048__", "__CPU_TC051__", "__CPU_TC060__", "__DMU_TC001__", "__PMI_TC003__",
        "__PMU_TC004__", "__TC113_CPU13__", "__TC113_CPU15__", "__TC113_CPU16__",
        "__TC113_DMU1__", "__TC113_LFI2__", "__TC113_LFI3__", "__TC113_PMU1__",
        "__TC113_PMU3__"},
       {9, 11, 12, 32, 33, 34, 38, 39, 40, 41}},
      {"--check", {}, {}},
  };
  TriCoreFactory factory;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    TriCoreOptions& options = make({c.argument});
    std::vector<std::string> macros(options.defectMacros.begin(), options.defectMacros.end());
    EXPECT_EQ(macros, c.macros);
    std::unique_ptr<ControlState> state(factory.createControlState());
    std::unique_ptr<ControlState> copy(factory.copyControlState(state.get()));
    for (ControlState* s : {state.get(), copy.get()}) {
      auto* tricore = static_cast<TriCoreControlState*>(s);
      std::vector<int> on;
      for (int i = 0; i < TriCoreControlState::kDefectSwitches; ++i)
        if (tricore->defectSwitch[i]) on.push_back(i);
      EXPECT_EQ(on, c.switches);
    }
  }
}

TEST_F(OptionsTest, KnownControlNamesIgnoreCase) {
  TriCoreOptions& options = make({});
  EXPECT_EQ(options.isKnownControlName("mex"), 1);
  EXPECT_EQ(options.isKnownControlName("W"), 1);
  EXPECT_EQ(options.isKnownControlName("MEXX"), 0);
}

TEST(FileNames, ReplaceExtensionOfTheLastComponentOnly) {
  struct Case {
    const char* name;
    const char* extension;
    const char* expected;
  } cases[] = {
      {"x.asm", ".o", "x.o"},
      {"x", ".o", "x.o"},
      {"dir.old/file", ".o", "dir.old/file.o"},
      {"build.v2/a.o", ".ers", "build.v2/a.ers"},
      {".profile", ".d", ".d"},
      {"a.b.c", ".o", "a.b.o"},
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    replaceExtension(name, c.extension);
    EXPECT_EQ(name, c.expected) << c.name;
  }
}

}  // namespace
