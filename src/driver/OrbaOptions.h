// The parsed options with the run settings derived from them. Settings are read,
// never written, after process(); texts are borrowed (interned or the option
// parser's values) and never freed by their readers.
#pragma once

#include <cstdint>
#include <vector>

// Holds the result of the option parse; deleting it releases the parse.
class OptionParser {
 public:
  virtual ~OptionParser();
  bool hasError() const { return errorText != nullptr; }
  const char* errorText = nullptr;
};

// Set when the debug-information mode ends as 1 or 4 (the $DEBUG control sets it too).
extern bool asmDebugInfo;
// Set when debug information for local symbols was asked for.
extern bool localDebugSymbols;

class OrbaOptions {
 public:
  OrbaOptions(int argc, char** argv);
  virtual ~OrbaOptions();
  // Derives the run settings; 1 when it reported an error.
  virtual int process();
  virtual void setDefaults();
  virtual int isKnownControlName(const char* name);

  int32_t inputFileCount() const;
  const char* inputFileName(int32_t index) const;

  bool nestedSections = false;
  bool checkOnly = false;
  bool mergeMetrics = false;
  bool metrics = false;
  bool instructionMetrics = false;
  bool typeChecking = true;
  OptionParser* optionParser = nullptr;
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

 private:
  void applyFlagRecords();
  void selectDebugInfoMode();
  void collectIncludeDirectories();
};

class TriCoreOptions : public OrbaOptions {
 public:
  TriCoreOptions(int argc, char** argv);
  ~TriCoreOptions() override;
  int process() override;

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
};

// CPU names and processor ids; names compare without regard to ASCII case.
int32_t cpuNameToId(const char* name);
const char* cpuIdToName(int32_t id);

// One row per defect check: the option record that selects it, the predefined
// macro that announces it and the control-state switch that turns it on. A
// record may stand in two rows.
struct DefectSelection {
  uint32_t record;
  const char* macro;
  int32_t defectSwitch;
};
extern const DefectSelection kDefectSelections[];
extern const uint32_t kDefectSelectionCount;
