#include "output/ObjectFile.h"

// Sections carry no contents yet, so there is no object file to write.
void ObjectFile::write() {}

void printSectionSummary(FILE*) {}
