// The parsed options with the run settings derived from them. Settings are read,
// never written, after process(); texts are borrowed (interned or the option
// parser's values) and never freed by their readers.
#pragma once

#include <cstdint>
#include <vector>

#include "util/OrbaState.h"
#include "util/RunSettings.h"

// Holds the result of the option parse; deleting it releases the parse.
class OptionParser {
 public:
  virtual ~OptionParser();
  bool hasError() const { return errorText != nullptr; }
  const char* errorText = nullptr;
};

class OrbaOptions : public RunSettings {
 public:
  OrbaOptions(int argc, char** argv);
  virtual ~OrbaOptions();
  // Derives the run settings; 1 when it reported an error.
  virtual int process();
  virtual void setDefaults();
  virtual int isKnownControlName(const char* name);

  int32_t inputFileCount() const;
  const char* inputFileName(int32_t index) const;

  OptionParser* optionParser = nullptr;

 private:
  void applyFlagRecords();
  void selectDebugInfoMode();
  void collectIncludeDirectories();
  // Names every output of the run and checks them against the input file (and the
  // option files read already); fatal when one would overwrite a file the run reads.
  void claimOutputs(const char* errorFileName);
};

class TriCoreOptions : public OrbaOptions {
 public:
  TriCoreOptions(int argc, char** argv);
  ~TriCoreOptions() override;
  int process() override;

};

// The options object behind the settings; only the driver parses and processes options.
inline OrbaOptions* commandOptions() { return static_cast<OrbaOptions*>(orbaOptions()); }


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
