// Generates the DWARF sections of the run.
#pragma once

#include <cstdint>
#include <string>

class DwarfAdmin {
 public:
  DwarfAdmin();
  virtual ~DwarfAdmin() = default;
  virtual void generate();

  int32_t version() const { return version_; }
  const std::string& inputBaseName() const { return inputBaseName_; }

 private:
  int32_t version_;
  std::string inputBaseName_;  // without directory and extension
};
