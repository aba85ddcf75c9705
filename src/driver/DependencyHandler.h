// The names of the files the run read, the input file first; the dependency-file
// writer turns them into make lines.
#pragma once

#include <string>
#include <vector>

class DependencyHandler {
 public:
  void append(const char* fileName) { files_.emplace_back(fileName); }
  const std::vector<std::string>& files() const { return files_; }
  // Writes the make dependency lines when the options ask for them.
  void writeDependencyFile();

 private:
  std::vector<std::string> files_;
};
