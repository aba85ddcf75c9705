// The metrics-file reader over arbitrary texts (merge mode reads files a user names),
// with the properties a merge relies on: reading a text twice doubles every count,
// and a report written from the counts reads back to the same counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "output/MetricsAdmin.h"

namespace {

std::vector<uint32_t> countsOf(const MetricsAdmin& admin) {
  std::vector<uint32_t> counts = {admin.total,          admin.mnemonicCounts[0], admin.categoryCounts[0],
                                  admin.unitCounts[0],  admin.parallelBlocks,    admin.inParallel,
                                  admin.generic,        admin.inGeneric};
  for (const auto& entry : admin.amodes()) counts.push_back(entry.second->useCount);
  return counts;
}

void read(MetricsAdmin& admin, const std::string& text) {
  std::istringstream in(text);
  admin.readMetrics(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  MetricsAdmin once;
  read(once, text);
  MetricsAdmin twice;
  read(twice, text);
  read(twice, text);
  std::vector<uint32_t> single = countsOf(once);
  std::vector<uint32_t> doubled = countsOf(twice);
  if (single.size() != doubled.size()) abort();
  for (size_t i = 0; i < single.size(); ++i)
    if (static_cast<uint32_t>(single[i] * 2) != doubled[i]) abort();
  // The total is rebuilt from the usage rows, as the catch-all mnemonic's count is.
  if (once.total != once.mnemonicCounts[0]) abort();

  std::string report;
  once.writeReport(report);
  MetricsAdmin back;
  read(back, report);
  if (once.total == 0) {
    if (back.total != 0 || back.categoryCounts[0] != 0 || back.parallelBlocks != 0 || back.generic != 0) abort();
    return 0;
  }
  if (back.total != once.total || back.categoryCounts[0] != once.categoryCounts[0] ||
      back.unitCounts[0] != once.unitCounts[0])
    abort();
  if (once.parallelBlocks != 0 &&
      (back.parallelBlocks != once.parallelBlocks || back.inParallel != once.inParallel))
    abort();
  if (once.generic != 0 && (back.generic != once.generic || back.inGeneric != once.inGeneric)) abort();
  return 0;
}
