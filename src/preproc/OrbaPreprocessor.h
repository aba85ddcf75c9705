// Reads the source into the line state. The plain preprocessor passes every line
// through unchanged; the macro preprocessor builds on it.
#pragma once

class ControlState;

class OrbaPreprocessor {
 public:
  OrbaPreprocessor();
  virtual ~OrbaPreprocessor() = default;
  // Reads the file and appends its lines to the line state.
  virtual void openSource(const char* fileName);

 protected:
  ControlState* controlState_;
};

class MotorolaPreprocessor : public OrbaPreprocessor {
 public:
  MotorolaPreprocessor() = default;
};
