// Reads the source into the line state. The plain preprocessor passes every line
// through unchanged; the macro preprocessor builds on it.
#pragma once

#include <memory>

#include "util/ControlState.h"

class OrbaPreprocessor {
 public:
  OrbaPreprocessor();
  virtual ~OrbaPreprocessor();
  // Reads the file and appends its lines to the line state.
  virtual void openSource(const char* fileName);

 protected:
  // The control state of every line read; it outlives the lines, which the line
  // state deletes first.
  std::unique_ptr<ControlState> controlState_;
};

class MotorolaPreprocessor : public OrbaPreprocessor {
 public:
  MotorolaPreprocessor() = default;
};
