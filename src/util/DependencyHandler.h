// The names of the files the run read, the input file first; the dependency-file
// writer turns them into make lines. It sits low because the source input, which
// opens the include files, records them as it goes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class DependencyHandler {
 public:
  // Records the name unless an equal name is already recorded: a file included
  // twice is one dependency.
  void addDependency(const char* fileName);
  const std::vector<std::string>& files() const { return files_; }
  // With a dependency file name in the run settings, writes for every recorded
  // name the rule "<target> : <name>" and the empty rule "<name> :", so that make
  // neither fails nor stops when an include file is deleted. F001 when the file
  // cannot be opened, F004 when writing fails.
  void writeDependencyFile();

 private:
  std::vector<std::string> files_;
};

// The text as one make word: quoted when it holds a blank, tab, ':', '#', '+'
// or '=', and every '$' doubled.
std::string makeWord(std::string_view text);
