// Stand-ins for the control states and sections that the statement caches key by:
// the caches only compare their addresses, so two distinct bytes each do.
#pragma once

class ControlState;
class Section;

struct Places {
  char states[2] = {};
  char sections[2] = {};
  const ControlState* state(int i) const { return reinterpret_cast<const ControlState*>(&states[i]); }
  const Section* section(int i) const { return reinterpret_cast<const Section*>(&sections[i]); }
};
