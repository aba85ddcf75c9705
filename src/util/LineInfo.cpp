#include "util/LineInfo.h"

#include <cstring>

#include "util/ControlState.h"

// Line records are many and small: they come from their own pool.
VEKT_POOLED_CLASS_IMPL(LineInfo, "LineInfo")

LineInfo::~LineInfo() {
  if (ownsControlState) delete controlState;
}

uint32_t LineInfo::setPrinterControl(const uint8_t* bytes, uint32_t count) {
  // Printer controls are rare and live as long as their lines: a pool of their own
  // keeps them out of the line pool's block sizes.
  static const size_t poolSlot = nextPoolSlot();
  MemPool*& handle = runState().poolHandle(poolSlot);
  if (count > kMaxPrinterControl) count = kMaxPrinterControl;
  printerControlCount = static_cast<uint16_t>(count);
  if (count == 0) {
    printerControl = nullptr;
    return 0;
  }
  if (!handle) handle = MemoryPools::instance().registerPool("LineInfo::printerControl", &handle);
  auto* copy = static_cast<uint8_t*>(mem_pool_alloc(handle, count));
  std::memcpy(copy, bytes, count);
  printerControl = copy;
  return count;
}
