// Reads arbitrary bytes as IEEE-695 records with the record codec's read mode and
// writes every record that was read back through a write stream: hostile input must
// never crash, hang or read past the input, and each record's offsets must lie
// within what was read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ieee_process_state_reset();
  FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (input == nullptr) return 0;
  FILE* output = std::fopen("/dev/null", "wb");
  IeeeStream* reader = ieee_stream_open(input, 0);
  IeeeStream* writer = ieee_stream_open_write(output);
  IeeeRecord record{};
  // Every round takes at least one byte, except the split of an LR record, which
  // turns a byte already taken into the next record's type byte.
  for (size_t round = 0; round < 2 * size + 2 && reader->position < size; ++round) {
    uint64_t before = reader->position;
    int result = ieee_record_transfer(&record, reader);
    if (record.start_offset != before || record.start_offset + record.length > size + 1) std::abort();
    if (result != 0 && writer != nullptr) ieee_record_transfer(&record, writer);
    ieee_record_clear(&record);
    if (reader->position == before) {
      uint8_t skipped = 0;
      if (ieee_stream_get_byte(reader, &skipped) == 0) break;
    }
  }
  ieee_stream_close(&writer);
  ieee_stream_close(&reader);
  if (output != nullptr) std::fclose(output);
  std::fclose(input);
  ieee_process_state_reset();
  return 0;
}
