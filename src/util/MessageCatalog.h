// The compiled-in catalog of every diagnostic. A message is raised by its
// identifier, which is its position in the catalog counted from 1.
#pragma once

#include <cstdint>

enum MessageId : int32_t {
  MSG_none = 0,
#define VEKT_MESSAGE(id, severity, number, text, explanation) id,
#include "util/messages.def"
#undef VEKT_MESSAGE
  MSG_count
};

struct MessageRecord {
  char severity;            // 'F', 'E', 'W', 'I' or 'S'; 0 only in the empty records
  uint32_t number;          // printed with three digits
  int32_t enabled;          // 0 makes the record invisible to number lookups and --diag
  const char* text;         // printf format
  const char* explanation;  // title and description in the --diag markup
};

namespace messages {

// Position 0 and the position after the last record are all-zero records; an
// identifier outside the catalog reads as such an empty record.
const MessageRecord& record(int32_t id);
inline uint32_t number(int32_t id) { return record(id).number; }
inline char severity(int32_t id) { return record(id).severity; }
inline const char* text(int32_t id) { return record(id).text; }
inline const char* explanation(int32_t id) { return record(id).explanation; }

// The identifier of the first enabled record with this number, 0 when there is none.
int32_t indexOfNumber(uint32_t number);

// Number of catalog records (without the two empty ones).
int32_t count();

}  // namespace messages
