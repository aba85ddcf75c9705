// The assembler-control settings that apply to a line; copied per line when a
// control changes them.
#pragma once

#include <cstdint>
#include <set>

class ControlState {
 public:
  // The initial state of a run, with the warning sets of --no-warnings and
  // --warnings-as-errors; without an options object the sets stay empty.
  ControlState();
  ControlState(const ControlState&) = default;
  virtual ~ControlState() = default;

  void suppressWarning(int32_t id) { suppressedWarnings.insert(id); }
  void promoteWarning(int32_t id) { promotedWarnings.insert(id); }

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
  // Indexes of the switches that the operand actions read.
  static constexpr int kDmuTc001 = 32;
  static constexpr int kTc112Cor10 = 35;
  static constexpr int kTc113Cpu15 = 39;
  static constexpr int kTc113Lfi2 = 40;
  static constexpr int kTc113Lfi3 = 41;
  int32_t defectSwitch[kDefectSwitches] = {};
};
