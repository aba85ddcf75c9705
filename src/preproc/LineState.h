// The list of preprocessed lines and the table of source files they came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LineInfo;

class LineState {
 public:
  LineState();
  ~LineState();
  LineState(const LineState&) = delete;
  LineState& operator=(const LineState&) = delete;

  LineInfo* first() const { return first_; }
  LineInfo* last() const { return last_; }
  void append(LineInfo* line);
  void insertLineInfo(LineInfo* anchor, LineInfo* line);

  // Registers a source file name; returns its index.
  uint32_t addSourceFile(const char* name);
  // The name as the file was opened; null for an index outside the table.
  const char* fileName(int32_t index) const;
  size_t fileCount() const { return files_.size(); }

 private:
  LineInfo* first_ = nullptr;
  LineInfo* last_ = nullptr;
  std::vector<std::string> files_;
};
