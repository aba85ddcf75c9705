// Controls of the target: the core ($TC13 .. $TC16X), the instruction groups ($FPU,
// $NO_FPU, $MMU, $HW_ONLY), the case of identifiers ($CASE) and the switches of the
// CPU functional-defect checks.
//
// The first three kinds change the options at the moment their line is parsed, so
// every later reader sees the last value the source set. The defect switches are
// per line: a copy of the line's state carries the change to the lines after it.
#include "parser/Controls.h"
#include "parser/Directives.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

void selectCore(RunSettings& options, int32_t code) {
  RunSettings::TargetSettings settings = options.targetSettings();
  // A newer core keeps the flags of the older ones it runs the code of.
  switch (code) {
    case kTokTc13:
      settings.coreTc13 = true;
      settings.coreTc131 = settings.coreTc16 = settings.coreTc16x = false;
      break;
    case kTokTc131:
      settings.coreTc131 = true;
      settings.coreTc16 = settings.coreTc16x = false;
      break;
    case kTokTc16:
      settings.coreTc16 = true;
      settings.coreTc16x = false;
      break;
    case kTokTc16x:
      settings.coreTc16x = true;
      break;
    default:
      break;
  }
  options.changeTargetSettings(settings);
}

bool caseControl(OrbaParser& parser, Statement& statement) {
  int32_t on = scanOnOff(parser.scanner(), statement.line);
  if (on < 0) return false;
  RunSettings* options = orbaOptions();
  RunSettings::TargetSettings settings = options->targetSettings();
  settings.caseSensitive = on != 0;
  options->changeTargetSettings(settings);
  markControlLine(statement.line);
  return true;
}

bool coreControl(OrbaParser& /*parser*/, Statement& statement) {
  selectCore(*orbaOptions(), statement.keyword);
  return true;
}

bool instructionGroupControl(OrbaParser& /*parser*/, Statement& statement) {
  RunSettings* options = orbaOptions();
  RunSettings::TargetSettings settings = options->targetSettings();
  switch (statement.keyword) {
    case kTokFpu:
      settings.fpuPresent = true;
      options->changeTargetSettings(settings);
      break;
    case kTokNoFpu:
      settings.fpuPresent = false;
      options->changeTargetSettings(settings);
      break;
    case kTokMmu:
      settings.mmuPresent = true;
      options->changeTargetSettings(settings);
      break;
    case kTokHwOnly: {
      settings.optimizeGenerics = false;
      options->changeTargetSettings(settings);
      // The instruction statement asks each line's state, which copied the option
      // when the run's first state was made: the lines from here on need a state
      // that says no.
      LineInfo* line = statement.line;
      if (line->controlState && !line->controlState->genericsAllowed) break;
      ControlState* state = copyLineControlState(line);
      state->genericsAllowed = false;
      giveLineControlState(line, state);
      break;
    }
    default:
      break;
  }
  return true;
}

bool defectControl(OrbaParser& parser, Statement& statement) {
  int32_t on = scanOnOff(parser.scanner(), statement.line);
  if (on < 0) return false;
  int32_t defectSwitch = defectSwitchOfControl(statementName(statement));
  if (defectSwitch < 0) return true;
  ControlState* state = copyLineControlState(statement.line);
  // The TriCore factory makes every state; another target has no defect switches.
  if (auto* tricore = dynamic_cast<TriCoreControlState*>(state)) {
    tricore->defectSwitch[defectSwitch] = on;
    giveLineControlState(statement.line, state);
  } else {
    delete state;
  }
  return true;
}
