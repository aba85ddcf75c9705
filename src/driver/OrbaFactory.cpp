#include "util/OrbaFactory.h"

#include <new>
#include <utility>

#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "driver/c-opt.h"
#include "flow/ExpressionValidator.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "output/ListManager.h"
#include "driver/VersionText.h"
#include "util/ControlState.h"
#include "parser/OrbaParser.h"
#include "util/LineInfo.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/c-memory.h"

namespace {

// Callers use what the factory makes without a check: an exhausted heap ends the
// program the way the utility layer's allocators do.
template <typename T, typename... Args>
T* make(Args&&... args) {
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  if (!object) mem_out_of_memory();
  return object;
}

}  // namespace

OrbaOptions* OrbaFactory::createOptions(int argc, char** argv) {
  return make<OrbaOptions>(argc, argv);
}

Symbol* OrbaFactory::createSymbol(const char* name, int16_t kind) {
  return Symbol::create(name, kind);
}

ControlState* OrbaFactory::copyControlState(const ControlState* state) {
  return make<ControlState>(*state);
}

ControlState* OrbaFactory::createControlState() { return make<ControlState>(); }

Section* OrbaFactory::createSection(LineInfo* line, const char* name) {
  return make<Section>(line, name);
}

Section* OrbaFactory::createSectionFromName(LineInfo* line) { return make<Section>(line); }

LineInfo* OrbaFactory::createLineInfo(const char* text, uint32_t sourceFile, uint32_t lineStart,
                                      uint32_t lineOffset) {
  auto* line = make<LineInfo>();
  line->text = text;
  line->sourceFile = sourceFile;
  line->lineNumber = lineStart + lineOffset;
  return line;
}

OrbaPreprocessor* OrbaFactory::createPreprocessor() {
  return make<OrbaPreprocessor>();
}

OrbaParser* OrbaFactory::createParser() { return make<OrbaParser>(); }

ListManager* OrbaFactory::createListManager() { return make<ListManager>(versionString()); }

ExpressionValidator* OrbaFactory::createExpressionValidator() {
  return make<ExpressionValidator>();
}

OrbaOptions* TriCoreFactory::createOptions(int argc, char** argv) {
  return make<TriCoreOptions>(argc, argv);
}

ControlState* TriCoreFactory::copyControlState(const ControlState* state) {
  return make<TriCoreControlState>(*static_cast<const TriCoreControlState*>(state));
}

ControlState* TriCoreFactory::createControlState() {
  auto* state = make<TriCoreControlState>();
  orbaOptions();  // the switches come from the options, which must exist by now
  for (uint32_t i = 0; i < kDefectSelectionCount; ++i)
    if (opt_count(kDefectSelections[i].record) > 0)
      state->defectSwitch[kDefectSelections[i].defectSwitch] = 1;
  return state;
}
