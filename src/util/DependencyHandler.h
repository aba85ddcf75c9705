// The names of the files the run read, the input file first; the dependency-file
// writer turns them into make lines. It sits low because the source input, which
// opens the include files, records them as it goes.
#pragma once

#include <string>
#include <vector>

class DependencyHandler {
 public:
  // Records the name unless an equal name is already recorded: a file included
  // twice is one dependency.
  void addDependency(const char* fileName);
  const std::vector<std::string>& files() const { return files_; }
  // Writes the make dependency lines when the options ask for them.
  void writeDependencyFile();

 private:
  std::vector<std::string> files_;
};
