#include "util/RunState.h"

#include <atomic>

#include "util/MemoryPools.h"

RunState* _currentRun = nullptr;

namespace {
// Per-process numbering, not per-run state: see nextRunPartIndex.
std::atomic<size_t> partCount{0};
std::atomic<size_t> poolSlotCount{0};
RunState* defaultRun = nullptr;
}  // namespace

size_t nextRunPartIndex() { return partCount++; }
size_t nextPoolSlot() { return poolSlotCount++; }

RunState& startDefaultRun() {
  if (!defaultRun) defaultRun = new RunState();
  _currentRun = defaultRun;
  return *defaultRun;
}

RunState::RunState() = default;

RunState::~RunState() {
  // Pool handles kept in parts go with the parts, before the pools.
  if (pools_) pools_->dropHandles();
  // A part's destructor may reach another part, even one not made yet (it is made
  // and goes next).
  while (!madeOrder_.empty()) {
    size_t index = madeOrder_.back();
    madeOrder_.pop_back();
    // Still reachable while its destructor runs, as members are inside a destructor.
    Part slot = parts_[index];
    slot.destroy(slot.object);
    parts_[index] = Part{};
  }
  // The pools go last: every pooled object of the parts has been released into them.
  delete pools_;
}

MemoryPools& RunState::pools() {
  if (!pools_) pools_ = new MemoryPools();
  return *pools_;
}

void RunState::deletePools() {
  delete pools_;
  pools_ = nullptr;
}

MemPool*& RunState::addPoolHandle(size_t slot) {
  while (handleBlocks_.size() <= slot / kHandleBlock)
    handleBlocks_.push_back(std::make_unique<MemPool*[]>(kHandleBlock));  // null-filled
  return handleBlocks_[slot / kHandleBlock][slot % kHandleBlock];
}

void* RunState::makePart(size_t index, void* (*make)(), void (*destroy)(void*)) {
  if (index >= parts_.size()) parts_.resize(index + 1);
  void* made = make();
  // Making the part may have made others and moved the vector.
  parts_[index] = Part{made, destroy};
  madeOrder_.push_back(index);
  return made;
}

ScopedRun::ScopedRun() : state_(new RunState()), previous_(_currentRun) { _currentRun = state_; }

ScopedRun::~ScopedRun() {
  // The run is still the current one while its parts go: their destructors reach it.
  delete state_;
  _currentRun = previous_;
}
