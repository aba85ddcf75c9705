// Measures the start-up of the instruction tables: building every operand value table.
#include <chrono>
#include <cstdio>

#include "isa/InstructionMatcher.h"

int main() {
  auto start = std::chrono::steady_clock::now();
  isa::initMatchModule();
  auto end = std::chrono::steady_clock::now();
  double ms = std::chrono::duration<double, std::milli>(end - start).count();
  uint32_t pairs = 0;
  for (uint32_t t = 0; t < isa::valueTableSourceCount(); ++t) pairs += isa::valueTableSources()[t].count;
  std::printf("value tables: %u, pairs: %u, start-up: %.3f ms\n", isa::valueTableSourceCount(), pairs, ms);
  return ms < 5.0 ? 0 : 1;
}
