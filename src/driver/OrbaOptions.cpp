#include "driver/OrbaOptions.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "util/ErrorHandler.h"
#include "util/MessageCatalog.h"
#include "util/OrbaState.h"
#include "driver/ProgramDirectory.h"
#include "driver/c-opt.h"
#include "output/FileNames.h"
#include "util/StringBuffer.h"
#include "util/interrupt.h"
#include "util/OutputFile.h"
#include "output/ListManager.h"

using namespace opt;




namespace {

// Named so in the program; it adds include directories, separated by ';' or ','.
constexpr char kIncludeEnvironmentVariable[] = "<unknown>";

const char* internText(const std::string& text) { return stringBuffer()->intern(text.c_str()); }

const char* withExtension(const char* name, const char* extension) {
  std::string text = name;
  replaceExtension(text, extension);
  return internText(text);
}

bool given(uint32_t id) { return opt_count(id) > 0; }

const char* const kControlNames[] = {"AE", "AEC", "CC", "CEX", "CK",  "CL",  "CM",
                                     "DEX", "DLD", "DXL", "FC", "FF",  "FM",  "HDR",
                                     "INTR", "LPA", "MC", "MD",  "MEX", "MI",  "MSW",
                                     "NL",  "PP",  "PS",  "RC", "U",   "UR",  "W"};

// The option without a number stands for every warning (the parser gives -1);
// numbers that no message has are ignored.
void readWarningSet(uint32_t record, bool& all, std::vector<int32_t>& ids) {
  uint32_t count = opt_count(record);
  for (uint32_t i = 0; i < count && !all; ++i) {
    int32_t number = opt_get_int_at(record, i);
    if (number == -1) {
      all = true;
    } else if (number >= 0) {
      if (int32_t id = messages::indexOfNumber(static_cast<uint32_t>(number))) ids.push_back(id);
    }
  }
}

}  // namespace

OptionParser::~OptionParser() { opt_release(); }

OrbaOptions::OrbaOptions(int argc, char** argv) {
  programPath = argc > 0 ? argv[0] : nullptr;
  programName = "vekt";
  auto* parser = new OptionParser();
  parser->errorText = opt_parse(argc, argv);
  installOptAssertHandler(true);
  runState().orbaOptions = this;
  optionParser = parser;
  OrbaOptions::setDefaults();
  readWarningSet(EH_SUPPRESS, allWarningsOff, suppressedWarnings);
  readWarningSet(EH_ERRWARN, allWarningsAsErrors, promotedWarnings);
}

OrbaOptions::~OrbaOptions() { delete optionParser; }

void OrbaOptions::setDefaults() {
  optimizeGenerics = opt_get_bool(O_G);
  sectionInfoConsole = opt_get_bool(SI_C);
  localScopeDefault = opt_get_bool(S_LOCAL);
  listConditional = opt_get_bool(LF_P);
  listControl = opt_get_bool(LF_C);
  listCycleCount = opt_get_bool(LF_Y);
  listEmptyLine = opt_get_bool(LF_N);
  listEquateValues = opt_get_bool(LF_V);
  listEquate = opt_get_bool(LF_Q);
  listDefineExpansion = opt_get_bool(LF_Z);
  listGenericExpansion = opt_get_bool(LF_G);
  listGeneric = opt_get_bool(LF_I);
  listLine = opt_get_bool(LF_L);
  listMacro = opt_get_bool(LF_M);
  listMacroExpansion = opt_get_bool(LF_X);
  listRelocations = opt_get_bool(LF_R);
  listSection = opt_get_bool(LF_D);
  sectionInfoList = opt_get_bool(SI_L);
  listSymbol = opt_get_bool(LF_E);
  listHll = opt_get_bool(LF_S);
  listWrapLines = opt_get_bool(LF_W);
  optimizeInstrSize = opt_get_bool(O_S);
  optimizeJumpChains = opt_get_bool(O_J);
  caseSensitiveFast = opt_get_bool(FF_C);
  debugInfoMode = 2;
  checkOnly = false;
  instructionMetrics = false;
  mergeMetrics = false;
  metrics = false;
  concatenateSections = 0;
}

int OrbaOptions::isKnownControlName(const char* name) {
  for (const char* control : kControlNames)
    if (strcasecmp(name, control) == 0) return 1;
  return 0;
}

int32_t OrbaOptions::inputFileCount() const { return static_cast<int32_t>(opt_count(ARG)); }

const char* OrbaOptions::inputFileName(int32_t index) const {
  return opt_get_arg(static_cast<uint32_t>(index));
}

void OrbaOptions::applyFlagRecords() {
  struct FlagField {
    uint32_t record;
    bool OrbaOptions::*field;
  };
  static const FlagField kFlagFields[] = {
      {EL_EQUS, &OrbaOptions::emitLocalEqus},
      {EL_SYMBOLS, &OrbaOptions::emitLocalSymbols},
      {ABSOLUTE, &OrbaOptions::absoluteMode},
      {LF_C, &OrbaOptions::listControl},
      {LF_D, &OrbaOptions::listSection},
      {LF_E, &OrbaOptions::listSymbol},
      {LF_G, &OrbaOptions::listGenericExpansion},
      {LF_I, &OrbaOptions::listGeneric},
      {LF_L, &OrbaOptions::listLine},
      {LF_M, &OrbaOptions::listMacro},
      {LF_N, &OrbaOptions::listEmptyLine},
      {LF_P, &OrbaOptions::listConditional},
      {LF_Q, &OrbaOptions::listEquate},
      {LF_R, &OrbaOptions::listRelocations},
      {LF_S, &OrbaOptions::listHll},
      {LF_V, &OrbaOptions::listEquateValues},
      {LF_W, &OrbaOptions::listWrapLines},
      {LF_X, &OrbaOptions::listMacroExpansion},
      {LF_Y, &OrbaOptions::listCycleCount},
      {LF_Z, &OrbaOptions::listDefineExpansion},
      {O_G, &OrbaOptions::optimizeGenerics},
      {O_J, &OrbaOptions::optimizeJumpChains},
      {O_S, &OrbaOptions::optimizeInstrSize},
      {REQUIRE_END, &OrbaOptions::requireEnd},
      {SD_L, &OrbaOptions::debugLocals},
      {SI_C, &OrbaOptions::sectionInfoConsole},
      {SI_L, &OrbaOptions::sectionInfoList},
      {TYPECHECK, &OrbaOptions::typeChecking},
      {FF_C, &OrbaOptions::caseSensitiveFast},
      {NESTED_SECTIONS, &OrbaOptions::nestedSections},
  };
  for (const FlagField& flag : kFlagFields)
    if (given(flag.record)) this->*flag.field = opt_get_bool(flag.record);
}

// s beats h, which beats a; switching off the letter of the current mode clears it.
void OrbaOptions::selectDebugInfoMode() {
  bool keep = true;
  if (given(SD_S)) {
    if (opt_get_bool(SD_S)) {
      debugInfoMode = 4;
      return;
    }
    keep = debugInfoMode != 4;
  }
  if (given(SD_H)) {
    if (opt_get_bool(SD_H)) {
      debugInfoMode = 2;
      return;
    }
    if (debugInfoMode == 2) keep = false;
  }
  if (given(SD_A)) {
    if (opt_get_bool(SD_A)) {
      debugInfoMode = 1;
      return;
    }
    if (debugInfoMode == 1) {
      debugInfoMode = 0;
      return;
    }
  }
  if (!keep) debugInfoMode = 0;
}

void OrbaOptions::collectIncludeDirectories() {
  for (uint32_t i = 0; i < opt_count(PP_INCPATH); ++i)
    includeDirectories.push_back(opt_get_string_at(PP_INCPATH, i));
  const char* environment = std::getenv(kIncludeEnvironmentVariable);
  if (!environment) return;
  const char* piece = environment;
  for (const char* c = environment;; ++c) {
    if (*c == ';' || *c == ',' || !*c) {
      if (c > piece) includeDirectories.push_back(stringBuffer()->internRange(piece, c));
      if (!*c) break;
      piece = c + 1;
    }
  }
}

int OrbaOptions::process() {
  int failed = 0;
  cpuName = cpuIdToName(cpuId);
  inputFile = inputFileCount() != 0 ? inputFileName(0) : nullptr;
  if (given(CASE)) caseSensitive = false;
  if (given(EH_KEEP)) deleteOutputOnError = false;
  if (given(EH_ERRLIM)) errorHandler()->setErrorLimit(static_cast<int32_t>(opt_get_value(EH_ERRLIM)));

  if (given(PAGE_LENGTH)) {
    auto length = static_cast<int32_t>(opt_get_value(PAGE_LENGTH));
    if (length != 0 && length < 10) {
      errorHandler()->reportWithoutLocation(E_command_line,
                                            "page length must be larger than 10 lines");
      failed = 1;
    } else {
      pageLength = length;
    }
  }
  if (given(PAGE_WIDTH)) {
    auto width = static_cast<int32_t>(opt_get_value(PAGE_WIDTH));
    if (width < 40) {
      errorHandler()->reportWithoutLocation(E_command_line,
                                            "page width must be larger than 40 columns");
      failed = 1;
    } else {
      pageWidth = width;
    }
  }

  listFile = nullptr;
  if (given(GENLISTFILE)) {
    listFile = opt_get_string(GENLISTFILE);
    listFileWanted = true;
  }
  if (given(PP_ONLY)) {
    preprocessOnly = true;
    listFileWanted = false;
  }
  if (given(CHECK)) {
    checkOnly = true;
    listFileWanted = false;
  }
  if (given(METRICS)) metrics = true;
  if (given(MERGE_INSTR_METRICS)) mergeMetrics = true;
  if (given(INSTR_METRICS)) instructionMetrics = true;

  if (given(DWARF_VERSION)) {
    dwarfVersion = static_cast<int32_t>(opt_get_value(DWARF_VERSION));
    if (dwarfVersion != 2 && dwarfVersion != 3) {
      errorHandler()->reportWithoutLocation(E_invalid_dwarf_version);
      failed = 1;
    }
  }
  if (opt_get_bool(CONCATENATE_SECTIONS)) concatenateSections = 1;

  applyFlagRecords();
  if (nestedSections) nestedSectionsActive = true;
  listGeneric = true;

  if (given(OUTPUT)) {
    outputFile = opt_get_string(OUTPUT);
    outputGiven = true;
    // No file has that name; without this the run would fail only when it writes.
    if (!outputFile || !*outputFile) {
      errorHandler()->reportWithoutLocation(E_command_line, "empty file name given for --output");
      failed = 1;
    }
  } else if (inputFile) {
    outputFile = withExtension(pathBaseName(inputFile).c_str(), ".o");
  }

  const char* errorFileName = nullptr;
  if (given(EH_FILE)) {
    const char* name = opt_get_string(EH_FILE);
    if (name && *name)
      name = internText(name);
    else
      name = outputFile ? withExtension(outputFile, ".ers") : nullptr;
    errorFileName = name;
  }

  if (given(PP_TYPE)) {
    if (opt_get_bool(PT_C))
      preprocessorType = 2;
    else if (opt_get_bool(PT_ZELKOVA))
      preprocessorType = 1;
    else if (opt_get_bool(PT_NONE))
      preprocessorType = 0;
  }
  if (given(SCOPE)) {
    const char* scope = opt_get_string(SCOPE);
    localScopeDefault = !(scope && scope[0] == 'g');
  }

  selectDebugInfoMode();
  if (debugInfoMode == 4 || debugInfoMode == 1) asmDebugInfo = true;
  if (debugLocals) localDebugSymbols = true;

  collectIncludeDirectories();

  depFile = nullptr;
  if (given(DEPFILE)) {
    depFile = opt_get_string(DEPFILE);
    if ((!depFile || !*depFile) && outputFile)
      depFile = withExtension(pathBaseName(outputFile).c_str(), ".d");
  }
  if (given(MAKETARGET)) {
    const char* target = opt_get_string(MAKETARGET);
    makeTarget = target ? internText(target) : nullptr;
  } else {
    makeTarget = outputFile;
  }

  if (char* installed = findProgramDirectory(programPath, programName, "../include/")) {
    includeDirectories.push_back(internText(installed));
    std::free(installed);
  }
  for (uint32_t i = 0; i < opt_count(PP_INCLUDE); ++i)
    includeFiles.push_back(opt_get_string_at(PP_INCLUDE, i));
  for (uint32_t i = 0; i < opt_count(PP_DEFINE); ++i)
    defines.push_back(opt_get_string_at(PP_DEFINE, i));

  keepOutputFiles = !deleteOutputOnError;
  if (!failed) {
    // Before anything is written: no output may land on a file the run reads.
    claimOutputs(errorFileName);
    if (errorFileName) errorHandler()->openErrorFile(errorFileName);
  }
  return failed;
}

void OrbaOptions::claimOutputs(const char* errorFileName) {
  if (mergeMetrics) {
    claimOutputPath(OutputRole::kMetrics, opt_get_string(MERGE_INSTR_METRICS), "--merge-instruction-metrics");
  } else if (preprocessOnly) {
    if (outputGiven) claimOutputPath(OutputRole::kPreprocessed, outputFile, "--output");
  } else if (!checkOnly) {
    claimOutputPath(OutputRole::kObject, outputFile, "--output");
  }
  if (listFileWanted) claimOutputPath(OutputRole::kList, listFileName(), "--list-file");
  claimOutputPath(OutputRole::kDependency, depFile, "--dep-file");
  claimOutputPath(OutputRole::kError, errorFileName, "--error-file");
  std::string source;
  if (!mergeMetrics && inputFile && std::strcmp(inputFile, "-") != 0 && findRegularFile(inputFile, ".asm", source))
    guardInputPath(source.c_str());
}
