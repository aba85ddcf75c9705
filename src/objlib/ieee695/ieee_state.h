// Process-wide state of the IEEE-695 codec and producer, kept in one place so that a
// run can reset it: the writer being written, the parity that tells consecutive LR
// records apart while reading, and the type of the record filled last.
#pragma once

#include <cstdint>

struct IeeeWriter;

// A part of the run's state: a new run starts with none of it.
struct IeeeProcessState {
  IeeeWriter* current_writer = nullptr;
  int16_t lr_parity = 0;
  uint32_t last_record_kind = 0;
};

IeeeProcessState& ieee_process_state();
// Back to the state of a fresh run.
void ieee_process_state_reset();

inline IeeeWriter* ieee_current_writer() { return ieee_process_state().current_writer; }
inline uint32_t ieee_last_record_kind() { return ieee_process_state().last_record_kind; }
