#include "util/OrbaFactory.h"

#include <new>

#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "driver/c-opt.h"
#include "flow/ExpressionValidator.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "output/ListManager.h"
#include "util/ControlState.h"
#include "parser/OrbaParser.h"
#include "util/LineInfo.h"
#include "preproc/OrbaPreprocessor.h"

OrbaOptions* OrbaFactory::createOptions(int argc, char** argv) {
  return new (std::nothrow) OrbaOptions(argc, argv);
}

Symbol* OrbaFactory::createSymbol(const char* name, int16_t kind) {
  return Symbol::create(name, kind);
}

ControlState* OrbaFactory::copyControlState(const ControlState* state) {
  return new (std::nothrow) ControlState(*state);
}

ControlState* OrbaFactory::createControlState() { return new (std::nothrow) ControlState(); }

Section* OrbaFactory::createSectionFromName(const char* name) {
  return new (std::nothrow) Section(name);
}

LineInfo* OrbaFactory::createLineInfo(const char* text, uint32_t sourceFile, uint32_t lineStart,
                                      uint32_t lineOffset) {
  auto* line = new (std::nothrow) LineInfo();
  if (!line) return nullptr;
  line->text = text;
  line->sourceFile = sourceFile;
  line->lineNumber = lineStart + lineOffset;
  return line;
}

OrbaPreprocessor* OrbaFactory::createPreprocessor() {
  return new (std::nothrow) OrbaPreprocessor();
}

OrbaParser* OrbaFactory::createParser() { return new (std::nothrow) OrbaParser(); }

ListManager* OrbaFactory::createListManager() { return new (std::nothrow) ListManager(); }

ExpressionValidator* OrbaFactory::createExpressionValidator() {
  return new (std::nothrow) ExpressionValidator();
}

OrbaOptions* TriCoreFactory::createOptions(int argc, char** argv) {
  return new (std::nothrow) TriCoreOptions(argc, argv);
}

ControlState* TriCoreFactory::copyControlState(const ControlState* state) {
  return new (std::nothrow) TriCoreControlState(*static_cast<const TriCoreControlState*>(state));
}

ControlState* TriCoreFactory::createControlState() {
  auto* state = new (std::nothrow) TriCoreControlState();
  if (!state) return nullptr;
  orbaOptions();  // the switches come from the options, which must exist by now
  for (uint32_t i = 0; i < kDefectSelectionCount; ++i)
    if (opt_count(kDefectSelections[i].record) > 0)
      state->defectSwitch[kDefectSelections[i].defectSwitch] = 1;
  return state;
}
