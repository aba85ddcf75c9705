// The assembler-control settings that apply to a line; copied per line when a
// control changes them.
#pragma once

#include <cstdint>
#include <set>

class ControlState {
 public:
  ControlState();
  ControlState(const ControlState&) = default;
  virtual ~ControlState() = default;

  bool allWarningsOff = false;
  bool warningsAsErrors = false;
  std::set<int32_t> suppressedWarnings;  // message identifiers
  std::set<int32_t> promotedWarnings;    // message identifiers
  int16_t radix = 10;
  int16_t listCounter = 1;
};

class TriCoreControlState : public ControlState {
 public:
  TriCoreControlState() = default;
  TriCoreControlState(const TriCoreControlState&) = default;

  static constexpr int kDefectSwitches = 42;
  int32_t defectSwitch[kDefectSwitches] = {};
};
