#include "util/RunSettings.h"

#include <strings.h>

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

