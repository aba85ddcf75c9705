// Cycle counts by core: the instruction tables give a form a cycle class rather than a
// count, because the count depends on the core. After the defect checks, every instruction
// of the code sections gets the count of its class on the selected core.
#pragma once

#include <cstdint>

class FlowNode;
class IPAttribute;
class RunSettings;

namespace isa {

// The cores, by the code of their --core item.
enum CoreCode : int32_t { kCoreTc13 = 166, kCoreTc131 = 167, kCoreTc16 = 168, kCoreTc16x = 169 };

// The core the options select; TC1.3 when none of the newer ones is.
int32_t coreCodeOf(const RunSettings& options);
// The cycles of a class on a core; 0 for a class the table does not list.
uint32_t cyclesForClass(int64_t cycleClass, int32_t core);
// The cycles of the attribute set's class on a core; 1 for a set without a class.
uint32_t cyclesOfAttributes(const IPAttribute* attributes, int32_t core);
// Gives an instruction node the cycles of its form's class (1 without a class); a generic
// instruction passes it on to the nodes of its chosen expansion. Other nodes, and
// instructions without a chosen form, are left as they are.
void assignCycles(FlowNode* node, int32_t core);
// assignCycles for every node of the code sections and of the first section made,
// and each such section's cycle total as the sum over its nodes.
void walkCodeSectionsForCore();

}  // namespace isa
