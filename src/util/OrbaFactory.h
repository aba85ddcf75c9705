// Creates the target's objects; the TriCore factory is the one main publishes.
#pragma once

#include <cstdint>

class OrbaOptions;
class OrbaParser;
class OrbaPreprocessor;
class ListManager;
class ExpressionValidator;
class ControlState;
class Section;
class Symbol;
struct LineInfo;

class OrbaFactory {
 public:
  virtual ~OrbaFactory() = default;
  // Parses the command line; the options publish themselves as runState().orbaOptions.
  virtual OrbaOptions* createOptions(int argc, char** argv);
  virtual Symbol* createSymbol(const char* name, int16_t kind);
  // Each time a control changes a setting, the line gets its own copy.
  virtual ControlState* copyControlState(const ControlState* state);
  // The control state of the first line, built from the options.
  virtual ControlState* createControlState();
  // A section of the run named by the source or the program.
  virtual Section* createSection(LineInfo* line, const char* name);
  // A section without a name of its own ("__sect_" and a run-wide count).
  virtual Section* createSectionFromName(LineInfo* line);
  virtual LineInfo* createLineInfo(const char* text, uint32_t sourceFile, uint32_t lineStart,
                                   uint32_t lineOffset);
  virtual OrbaPreprocessor* createPreprocessor();
  virtual OrbaParser* createParser();
  virtual ListManager* createListManager();
  virtual ExpressionValidator* createExpressionValidator();
};

class TriCoreFactory : public OrbaFactory {
 public:
  OrbaOptions* createOptions(int argc, char** argv) override;
  ControlState* copyControlState(const ControlState* state) override;
  ControlState* createControlState() override;
};
