#include "output/DwarfAdmin.h"

#include "util/RunSettings.h"
#include "util/OrbaState.h"

DwarfAdmin::DwarfAdmin() : version_(orbaOptions()->dwarfVersion) {
  std::string name = orbaOptions()->inputFile ? orbaOptions()->inputFile : "";
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  inputBaseName_ = name;
}

// Nothing to describe until sections carry code.
void DwarfAdmin::generate() {}
