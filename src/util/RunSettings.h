// The run settings that every subsystem reads: plain values derived from the command
// line by the driver's options class. Most stay as the options set them; the source's
// controls change a few for the rest of the run, during the parse:
//   $CASE                      caseSensitive
//   the core controls          coreTc13, coreTc131, coreTc16, coreTc16x
//   FPU, NOFPU, MMU            fpuPresent, mmuPresent
//   HW_ONLY                    optimizeGenerics
//   $DEBUG                     asmDebugInfo, localDebugSymbols
// and the driver settles debugInfoMode after the parse, from the debug sections the
// source holds. Texts are borrowed (interned or the option parser's values) and never
// freed by their readers.
#pragma once

#include <cstdint>
#include <vector>

class RunSettings {
 public:
  RunSettings() = default;
  virtual ~RunSettings() = default;
  RunSettings(const RunSettings&) = delete;
  RunSettings& operator=(const RunSettings&) = delete;

  // The settings the target controls change ($CASE, the core controls, $FPU, $NO_FPU,
  // $MMU, $HW_ONLY), numbered in the order the parse set them: 0 for those of the
  // command line, one number more at each control that changed one. A statement is
  // matched under the settings of its line's parse. Work after the parse that matches
  // a statement the parse left for later (a generic's expansion, the own forms of a
  // jump that shared another's) puts the number of that statement's parse in force
  // for the time it takes, so that it matches as the parse would have.
  struct TargetSettings {
    bool caseSensitive, optimizeGenerics, coreTc13, coreTc131, coreTc16, coreTc16x, mmuPresent, fpuPresent;
    bool operator==(const TargetSettings&) const = default;
  };
  TargetSettings targetSettings() const {
    return {caseSensitive, optimizeGenerics, coreTc13, coreTc131, coreTc16, coreTc16x, mmuPresent, fpuPresent};
  }
  // The settings the parse may change (listed above), as one value: a streamed run
  // keeps the preprocessor on those of the command line while the parser changes its
  // own, so that each reads what it would read had the whole source been
  // preprocessed before the parse.
  struct ParseControlled {
    TargetSettings target;
    bool asmDebugInfo, localDebugSymbols;
  };
  ParseControlled parseControlled() const { return {targetSettings(), asmDebugInfo, localDebugSymbols}; }
  void setParseControlled(const ParseControlled& value) {
    setTargetSettings(value.target);
    asmDebugInfo = value.asmDebugInfo;
    localDebugSymbols = value.localDebugSymbols;
  }

  // A control's change: the settings in force become `value`, under a new number when
  // they differ from those before.
  void changeTargetSettings(const TargetSettings& value);
  // The number of the settings in force.
  uint32_t targetSettingsNumber() const { return targetNumber_; }
  // Puts the settings of the number in force; returns the number in force before.
  uint32_t applyTargetSettings(uint32_t number);

  // Whether anything after the parse reads the sections' flows: layout and the object
  // file, the list file, the metrics, the section summaries. A run that only checks the
  // source keeps only what the parse itself looks back at.
  bool flowReadAfterParse() const {
    return !checkOnly || listFileWanted || metrics || instructionMetrics || sectionInfoConsole || sectionInfoList;
  }

  bool nestedSections = false;
  bool checkOnly = false;
  bool mergeMetrics = false;
  bool metrics = false;
  bool instructionMetrics = false;
  bool typeChecking = true;
  const char* programPath = nullptr;
  const char* programName = "vekt";
  const char* inputFile = nullptr;
  const char* outputFile = nullptr;
  bool outputGiven = false;
  const char* cpuName = nullptr;
  int32_t cpuId = 115;
  bool caseSensitive = true;
  bool sectionInfoConsole = false;
  bool sectionInfoList = false;
  bool localScopeDefault = true;
  std::vector<const char*> includeDirectories;
  bool preprocessOnly = false;
  int32_t preprocessorType = 1;
  std::vector<const char*> includeFiles;
  std::vector<const char*> defines;  // -D values in command-line order: name[=value]
  bool deleteOutputOnError = true;
  int32_t debugInfoMode = 2;
  bool debugLocals = false;
  bool optimizeGenerics = true;
  bool optimizeJumpChains = false;
  bool optimizeInstrSize = true;
  bool listFileWanted = false;
  bool listControl = false;
  bool listSection = true;
  bool listSymbol = false;
  bool listGenericExpansion = false;
  bool listGeneric = true;
  bool listLine = false;
  bool listMacro = false;
  bool listEmptyLine = true;
  bool listConditional = false;
  bool listEquate = true;
  bool listRelocations = true;
  bool listHll = true;
  bool listEquateValues = false;
  bool listWrapLines = true;
  bool listMacroExpansion = false;
  bool listCycleCount = true;
  bool listDefineExpansion = false;
  bool emitLocalEqus = false;
  bool emitLocalSymbols = false;
  bool requireEnd = false;
  bool nestedSectionsActive = false;
  bool absoluteMode = false;
  bool caseSensitiveFast = false;
  int32_t pageWidth = 132;
  int32_t pageLength = 72;
  int32_t dwarfVersion = 3;
  int32_t concatenateSections = 0;
  const char* coreName = "TC1V1.3";
  const char* listFile = nullptr;
  const char* depFile = nullptr;
  const char* makeTarget = nullptr;


  // Debug information for the assembly source itself (modes 1 and 4; the $DEBUG control
  // sets it too) and for local symbols.
  bool asmDebugInfo = false;
  bool localDebugSymbols = false;

  // Warning sets of --no-warnings and --warnings-as-errors, as message identifiers; the
  // "all" flags stand for the option given without numbers.
  bool allWarningsOff = false;
  bool allWarningsAsErrors = false;
  std::vector<int32_t> suppressedWarnings;
  std::vector<int32_t> promotedWarnings;

  // The target selection. Set only by the TriCore options; without them the target
  // conditions keep their permissive defaults.
  bool targetSelected = false;
  bool coreTc13 = false;
  bool coreTc131 = false;
  bool coreTc16 = false;
  bool coreTc16x = false;
  bool userMode1 = false;
  bool kernelMode = false;
  bool mmuPresent = false;
  bool fpuPresent = true;
  bool warnAccessInterruptEnable = false;
  std::vector<const char*> defectMacros;

 private:
  void setTargetSettings(const TargetSettings& value);

  // The settings of each number, from 0; empty while no control changed any.
  std::vector<TargetSettings> targetHistory_;
  uint32_t targetNumber_ = 0;
};

// Puts the target settings of a number in force for its lifetime.
class TargetSettingsScope {
 public:
  TargetSettingsScope(RunSettings& settings, uint32_t number)
      : settings_(settings), before_(settings.applyTargetSettings(number)) {}
  ~TargetSettingsScope() { settings_.applyTargetSettings(before_); }
  TargetSettingsScope(const TargetSettingsScope&) = delete;
  TargetSettingsScope& operator=(const TargetSettingsScope&) = delete;

 private:
  RunSettings& settings_;
  uint32_t before_;
};

// CPU names and processor ids; names compare without regard to ASCII case.
int32_t cpuNameToId(const char* name);
const char* cpuIdToName(int32_t id);
