#include "flow/Symbol.h"

#include "flow/TempLabels.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

#include "util/MemoryPools.h"
#include "util/RunState.h"
#include "util/c-memory.h"

MemPool*& symbolPool() {
  static const size_t poolSlot = nextPoolSlot();
  return runState().poolHandle(poolSlot);
}

void* Symbol::operator new(size_t size) noexcept {
  // A registry torn down clears the handle; the next symbol then registers afresh.
  if (!symbolPool()) symbolPool() = MemoryPools::instance().registerPool("Symbol", &symbolPool());
  return mem_pool_alloc(symbolPool(), size);
}

void Symbol::operator delete(void* block, size_t size) {
  if (symbolPool()) MemoryPools::free(symbolPool(), block, size);
}

namespace {
struct RunSymbolValues {
  uint32_t generation = 0;
};
}  // namespace

uint32_t symbolValueGeneration() { return runPart<RunSymbolValues>().generation; }
void noteSymbolValueChange() { ++runPart<RunSymbolValues>().generation; }

Symbol* Symbol::create(const char* name, int16_t scope) {
  noteSymbolName(name);
  return new Symbol(name, scope);
}

void Symbol::setDefinitionLine(LineInfo* line) {
  definitionLine = line;
  const ControlState* state = line ? static_cast<const ControlState*>(line->controlState) : nullptr;
  if (!state) {
    // A line the parse has not reached yet (the macro preprocessor defines early)
    // has no state: the parse records it when it completes the definition.
    flags[2] &= static_cast<uint8_t>(~(kDefaultScopeKnown | kLocalByDefault));
    return;
  }
  flags[2] = static_cast<uint8_t>((flags[2] & ~kLocalByDefault) | kDefaultScopeKnown |
                                  (state->localByDefault ? kLocalByDefault : 0));
}

bool Symbol::localByDefault() const {
  if (flags[2] & kDefaultScopeKnown) return (flags[2] & kLocalByDefault) != 0;
  return orbaOptions()->localScopeDefault;
}

// One record per label of the source: a field added in the wrong place pads every one.
static_assert(sizeof(Symbol) <= 88, "Symbol record grew");
