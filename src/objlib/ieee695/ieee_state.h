// Process-wide state of the IEEE-695 codec and producer, kept in one place so that a
// run can reset it: the writer being written, the parity that tells consecutive LR
// records apart while reading, and the type of the record filled last.
#pragma once

#include <cstdint>

struct IeeeWriter;

struct IeeeProcessState {
  IeeeWriter* current_writer;
  int16_t lr_parity;
  uint32_t last_record_kind;
};

IeeeProcessState& ieee_process_state();
// Back to the state of a fresh process.
void ieee_process_state_reset();

inline IeeeWriter* ieee_current_writer() { return ieee_process_state().current_writer; }
inline uint32_t ieee_last_record_kind() { return ieee_process_state().last_record_kind; }
