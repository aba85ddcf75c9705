#include "util/MessageCatalog.h"

#include <array>
#include <cinttypes>

namespace {

// Empty records bracket the catalog so that identifier 0 and the end read as absent.
constexpr MessageRecord kRecords[] = {
    {0, 0, 0, nullptr, nullptr},
#define VEKT_MESSAGE(id, severity, number, text, explanation) \
  {severity, number, 1, text, explanation},
#include "util/messages.def"
#undef VEKT_MESSAGE
    {0, 0, 0, nullptr, nullptr},
};

constexpr int32_t kRecordCount = static_cast<int32_t>(std::size(kRecords)) - 2;
static_assert(kRecordCount == MSG_count - 1, "identifiers and records disagree");

// Numbers have three digits; a table turns the lookup the warning controls and
// reportText make into one read.
constexpr uint32_t kNumberLimit = 1000;

constexpr std::array<int16_t, kNumberLimit> buildNumberIndex() {
  std::array<int16_t, kNumberLimit> index{};
  for (int32_t id = kRecordCount; id >= 1; --id) {  // downwards: the first record wins
    if (kRecords[id].number < kNumberLimit) index[kRecords[id].number] = static_cast<int16_t>(id);
  }
  return index;
}

constexpr std::array<int16_t, kNumberLimit> kNumberIndex = buildNumberIndex();

}  // namespace

namespace messages {

const MessageRecord& record(int32_t id) {
  if (id < 0 || id > kRecordCount) return kRecords[0];
  return kRecords[id];
}

int32_t indexOfNumber(uint32_t number) {
  if (number >= kNumberLimit) return 0;
  int32_t id = kNumberIndex[number];
  if (id == 0 || !kRecords[id].enabled) return 0;
  return id;
}

int32_t count() { return kRecordCount; }

}  // namespace messages
