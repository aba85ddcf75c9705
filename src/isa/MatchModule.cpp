// Start-up of the matcher: its pools, the operand value tables and the constant entries of
// the attribute lists.
#include <cstring>
#include <memory>
#include <vector>

#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "util/MemoryPools.h"
#include "util/RunState.h"

namespace isa {

namespace {

struct MatchModuleState {
  MemPool* pools[4] = {};
  // The value tables from state to value, by the number of their generated table.
  std::vector<std::unique_ptr<StateValueIndex>> valueTables;
  bool ready = false;
};
MatchModuleState& matchModuleState() { return runPart<MatchModuleState>(); }

}  // namespace

void initMatchModule() {
  MatchModuleState& state = matchModuleState();
  if (state.ready) return;
  MemPool** pools = state.pools;
  static const char* const names[4] = {"match", "match::admin", "match::expr", "match::parse"};
  for (int i = 0; i < 4; ++i)
    if (!pools[i]) pools[i] = MemoryPools::instance().registerPool(names[i], &pools[i]);
  const ValueTableSource* sources = valueTableSources();
  state.valueTables.clear();
  state.valueTables.resize(valueTableSourceCount());
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    auto table = std::make_unique<StateValueIndex>(sources[t].count);
    for (uint32_t i = 0; i < sources[t].count; ++i) table->add(sources[t].pairs[i]);
    state.valueTables[sources[t].target->index] = std::move(table);
  }
  prebuildAttributeLists(attributeSpecLists(), attributeSpecListCount());
  prepareFormScreening();
  state.ready = true;
}

void releaseMatchModule() {
  MatchModuleState& state = matchModuleState();
  if (!state.ready) return;
  state.valueTables.clear();
  forgetPrebuiltAttributeLists();
  forgetFormScreening();
  state.ready = false;
}

bool matchModuleReady() { return matchModuleState().ready; }

const StateValueIndex* builtValueTable(uint32_t index) {
  const std::vector<std::unique_ptr<StateValueIndex>>& tables = matchModuleState().valueTables;
  return index < tables.size() ? tables[index].get() : nullptr;
}

MemPool* matchPool(int which) {
  MemPool** pools = matchModuleState().pools;
  if (!pools[which]) pools[which] = MemoryPools::instance().registerPool(
                         which == 0 ? "match" : which == 1 ? "match::admin" : which == 2 ? "match::expr" : "match::parse",
                         &pools[which]);
  return pools[which];
}

}  // namespace isa
