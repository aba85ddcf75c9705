#include "util/LineInfo.h"

#include <cstring>
#include <unordered_map>

#include "util/ControlState.h"
#include "util/RunState.h"

// Line records are many and small: they come from their own pool.
VEKT_POOLED_CLASS_IMPL(LineInfo, "LineInfo")

namespace {

// The extras of the lines that have any, by line. A line leaves the table when it is
// deleted, so that a record made later at the same address starts without extras.
struct LineExtrasTable {
  std::unordered_map<const LineInfo*, LineExtras> byLine;
};

LineExtrasTable& extrasTable() { return runPart<LineExtrasTable>(); }

constexpr LineExtras kNoExtras{};

}  // namespace

LineInfo::~LineInfo() {
  if (ownsControlState()) delete controlState;
  LineExtrasTable& table = extrasTable();
  if (!table.byLine.empty()) table.byLine.erase(this);
}

const LineExtras& LineInfo::extras() const {
  const LineExtrasTable& table = extrasTable();
  if (table.byLine.empty()) return kNoExtras;
  auto entry = table.byLine.find(this);
  return entry == table.byLine.end() ? kNoExtras : entry->second;
}

LineExtras& LineInfo::extrasForUpdate() { return extrasTable().byLine[this]; }

uint32_t LineInfo::setPrinterControl(const uint8_t* bytes, uint32_t count) {
  // Printer controls are rare and live as long as their lines: a pool of their own
  // keeps them out of the line pool's block sizes.
  static const size_t poolSlot = nextPoolSlot();
  MemPool*& handle = runState().poolHandle(poolSlot);
  if (count > kMaxPrinterControl) count = kMaxPrinterControl;
  if (count == 0 && extras().printerControlCount == 0) return 0;
  LineExtras& extra = extrasForUpdate();
  extra.printerControlCount = static_cast<uint16_t>(count);
  if (count == 0) {
    extra.printerControl = nullptr;
    return 0;
  }
  if (!handle) handle = MemoryPools::instance().registerPool("LineInfo::printerControl", &handle);
  auto* copy = static_cast<uint8_t*>(mem_pool_alloc(handle, count));
  std::memcpy(copy, bytes, count);
  extra.printerControl = copy;
  return count;
}
