#include "parser/StatementText.h"

#include <cstring>

#include "isa/GenericExpansion.h"

bool TargetSplit::find(const char* text, uint8_t commentAt) {
  uint8_t last = commentAt;
  while (last > 0 && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  uint32_t start = 0;
  if (!isa::targetAtEnd(text, last, start)) return false;
  from = static_cast<uint8_t>(start);
  end = last;
  return true;
}

bool TargetName::copy(const char* statement, const TargetSplit& split) {
  text[0] = '\0';
  if (split.end < split.from || split.length() > kStatementTextRoom) return false;
  std::memcpy(text, statement + split.from, split.length());
  text[split.length()] = '\0';
  return true;
}
