#include "isa/AttributeHooks.h"

namespace isa {

IPAttribute* newAttributeSet() { return nullptr; }

bool addAttributeList(IPAttribute*, const AttributeSpecItem*, uint32_t, LineInfo*, OrbaExpression**) {
  return false;
}

bool attributeCasesHold(IPAttribute*, const char** message) {
  *message = nullptr;
  return true;
}

void releaseAttributeSet(IPAttribute*) {}

}  // namespace isa
