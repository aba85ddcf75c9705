// What instruction building asks of attribute sets. These stand-ins keep candidates without
// attribute sets; the attribute lists replace them with the real sets.
#pragma once

#include <cstdint>

class IPAttribute;
class OrbaExpression;
struct AttributeSpecItem;
struct LineInfo;

namespace isa {

// A new, empty attribute set, or null when candidates carry none.
IPAttribute* newAttributeSet();
// Adds a spec list; true when it marks a jump.
bool addAttributeList(IPAttribute* set, const AttributeSpecItem* spec, uint32_t listKind, LineInfo* line,
                      OrbaExpression** operands);
// The "when" cases: true when all hold; otherwise the message of the first that stops.
bool attributeCasesHold(IPAttribute* set, const char** message);
void releaseAttributeSet(IPAttribute* set);

}  // namespace isa
