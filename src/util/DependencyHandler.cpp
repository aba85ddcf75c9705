#include "util/DependencyHandler.h"

#include <algorithm>

void DependencyHandler::addDependency(const char* fileName) {
  // A run reads few files: a linear search keeps their first-use order for free.
  if (std::find(files_.begin(), files_.end(), fileName) == files_.end())
    files_.emplace_back(fileName);
}

// No option asks for a dependency file yet.
void DependencyHandler::writeDependencyFile() {}
