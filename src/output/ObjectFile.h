// Fills the object store from the sections and symbols and writes the ELF file.
#pragma once

#include <cstdio>

class ObjectFile {
 public:
  void write();
};

// The section summary table.
void printSectionSummary(FILE* stream);
