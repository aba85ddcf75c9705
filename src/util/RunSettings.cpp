#include "util/RunSettings.h"

#include <strings.h>

#include "util/assertion.h"

namespace {

struct CpuEntry {
  int32_t id;
  const char* name;
};

const CpuEntry kCpus[] = {
    {0, "_none"},        {101, "tc1130"},     {102, "tc1164"},    {103, "tc1166"},
    {104, "tc11ib"},     {105, "tc1736"},     {106, "tc1762"},    {107, "tc1764"},
    {108, "tc1766"},     {109, "tc1766b"},    {110, "tc1767"},    {111, "tc1792"},
    {112, "tc1796"},     {113, "tc1796b"},    {114, "tc1797"},    {115, "tricore"},
    {116, "userdef13"},  {117, "userdef131"}, {118, "userdef16"},
};

}  // namespace

int32_t cpuNameToId(const char* name) {
  for (const CpuEntry& cpu : kCpus)
    if (strcasecmp(name, cpu.name) == 0) return cpu.id;
  return 0;
}

const char* cpuIdToName(int32_t id) {
  for (const CpuEntry& cpu : kCpus)
    if (cpu.id == id) return cpu.name;
  return "**UNKNOWN CPU NAME**";
}


void RunSettings::setTargetSettings(const TargetSettings& value) {
  caseSensitive = value.caseSensitive;
  optimizeGenerics = value.optimizeGenerics;
  coreTc13 = value.coreTc13;
  coreTc131 = value.coreTc131;
  coreTc16 = value.coreTc16;
  coreTc16x = value.coreTc16x;
  mmuPresent = value.mmuPresent;
  fpuPresent = value.fpuPresent;
}

void RunSettings::changeTargetSettings(const TargetSettings& value) {
  const TargetSettings before = targetSettings();
  setTargetSettings(value);
  if (value == before) return;
  if (targetHistory_.empty()) targetHistory_.push_back(before);
  targetHistory_.push_back(value);
  targetNumber_ = static_cast<uint32_t>(targetHistory_.size() - 1);
}

uint32_t RunSettings::applyTargetSettings(uint32_t number) {
  const uint32_t before = targetNumber_;
  if (number == before) return before;
  VEKT_ASSERT(number < targetHistory_.size());
  setTargetSettings(targetHistory_[number]);
  targetNumber_ = number;
  return before;
}
