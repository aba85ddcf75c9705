// Reads arbitrary bytes as IEEE-695 records with the record codec's read mode and
// writes every record that was read back through a write stream into memory. Hostile
// input must never crash, hang or read past the input, and each record's offsets must
// lie within what was read. What the codec writes must then read back as the same
// records: a second decode of the re-encoded bytes gives the record types of the first
// decode, and encoding those again gives the same bytes.
//
// A value read from input keeps what the reader took with it: the record byte that
// ended its run (which also stays on the stream), and for the AS record of letter C7
// index 0 the brackets that the writer adds itself. Before a record is written back its
// values are put in the form a producer gives them, so that the comparison sees the
// codec, not those two deliberate asymmetries. A record whose write fails is left out
// whole: the bytes of a failed write may stand half on the stream.
//
// The first byte repeats the rest of the input up to 64 times, so that inputs cross the
// stream's block and exercise its refill and the step back over a block boundary.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_stream.h"

namespace {

void dropByte(StrBuf* text, bool last) {
  if (!last) std::memmove(text->base, text->base + 1, ieee_buf_length(text) - 1);
  --text->end;
}

void asProduced(IosValue& value, bool bracketed) {
  StrBuf* text = value.text;
  if (text == nullptr || text->base == nullptr) return;
  auto length = [text] { return ieee_buf_length(text); };
  // Walk the run as the reader took it: a record byte ends it, unless it was one of
  // the bytes that follow a number's length byte.
  for (size_t at = 0; at < length();) {
    auto byte = static_cast<uint8_t>(text->base[at]);
    if (byte >= 0xE0 && at + 1 == length()) {
      dropByte(text, true);
      break;
    }
    at += byte >= 0x81 && byte <= 0x88 ? 1 + (byte - 0x80) : 1;
  }
  if (bracketed && length() >= 2 && static_cast<uint8_t>(text->base[0]) == 0xBE &&
      static_cast<uint8_t>(text->end[-1]) == 0xBF) {
    dropByte(text, true);
    dropByte(text, false);
  }
}

void asProduced(IeeeRecord& record) {
  IeeeBody& body = *record.body;
  switch (record.type) {
    case IEEE_AS:
      asProduced(body.as.value, body.as.letter == 0xC7 && body.as.index == 0);
      break;
    case IEEE_E3:
      asProduced(body.e3.value, false);
      break;
    case IEEE_LR:
    case IEEE_FA:
      asProduced(body.lr.variable_value, false);
      asProduced(body.lr.expression, false);
      break;
    case IEEE_AT:
      asProduced(body.at.value, false);
      break;
    case IEEE_WX:
      asProduced(body.wx.value, false);
      break;
    case IEEE_BB:
      asProduced(body.bb.value, false);
      break;
    case IEEE_BE:
      asProduced(body.be.value, false);
      break;
    default:
      break;
  }
}

// Writes the record into its own memory stream; its bytes, or nothing when the write
// failed.
bool encode(IeeeRecord& record, std::vector<uint8_t>& out) {
  char* buffer = nullptr;
  size_t written = 0;
  FILE* sink = open_memstream(&buffer, &written);
  if (sink == nullptr) return false;
  IeeeStream* writer = ieee_stream_open_write(sink);
  bool done = writer != nullptr && ieee_record_transfer(&record, writer) != 0;
  done = ieee_stream_close(&writer) != 0 && done;
  std::fclose(sink);
  if (done) out.insert(out.end(), buffer, buffer + written);
  std::free(buffer);
  return done;
}

struct Decoded {
  std::vector<uint32_t> read;  // types of the records that were read whole, in order
  std::vector<uint32_t> written;  // types of those that were also written back
  std::vector<uint8_t> encoded;  // the records written back
};

// Decodes `input` record by record and writes each record read back into memory.
Decoded transcode(const uint8_t* input, size_t size) {
  Decoded result;
  FILE* source = fmemopen(const_cast<uint8_t*>(input), size, "rb");
  if (source == nullptr) return result;
  IeeeStream* reader = ieee_stream_open(source, 0);
  IeeeRecord record{};
  // Every round takes at least one byte, except the split of an LR record, which
  // turns a byte already taken into the next record's type byte.
  for (size_t round = 0; reader != nullptr && round < 2 * size + 2 && reader->position < size;
       ++round) {
    uint64_t before = reader->position;
    int read = ieee_record_transfer(&record, reader);
    if (record.start_offset != before || record.start_offset + record.length > size + 1) {
      std::abort();
    }
    if (read != 0) {
      result.read.push_back(record.type);
      asProduced(record);
      if (encode(record, result.encoded)) result.written.push_back(record.type);
    }
    ieee_record_clear(&record);
    if (reader->position == before) {
      uint8_t skipped = 0;
      if (ieee_stream_get_byte(reader, &skipped) == 0) break;
    }
  }
  ieee_stream_close(&reader);
  std::fclose(source);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t copies = 1 + data[0] % 64;
  std::vector<uint8_t> input;
  input.reserve(copies * (size - 1));
  for (size_t copy = 0; copy < copies; ++copy) input.insert(input.end(), data + 1, data + size);

  ieee_process_state_reset();
  Decoded first = transcode(input.data(), input.size());
  if (!first.encoded.empty()) {
    ieee_process_state_reset();
    Decoded second = transcode(first.encoded.data(), first.encoded.size());
    if (second.read != first.written || second.written != second.read) std::abort();
    ieee_process_state_reset();
    Decoded third = transcode(second.encoded.data(), second.encoded.size());
    if (third.encoded != second.encoded) std::abort();
  }
  ieee_process_state_reset();
  return 0;
}
