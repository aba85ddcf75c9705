#include "isa/CycleCounts.h"

#include <memory>

#include "expr/OrbaExpression.h"
#include "flow/FGeneric.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/FSimpleRun.h"
#include "isa/IPAttribute.h"
#include "isa/JumpRecord.h"
#include "isa/IPInstruction.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace isa {

namespace {

// The class of the newest list that has a cycle_info entry; false when none has, or when
// its value is not an integer.
bool cycleClassOf(const IPAttribute& attributes, int64_t& cycleClass) {
  for (size_t listFromEnd = 0; listFromEnd < attributes.listCount(); ++listFromEnd) {
    for (size_t entry = 0;; ++entry) {
      const IPAttr* attribute = attributes.lookupFromEnd(listFromEnd, entry);
      if (attribute == nullptr) break;
      if (attribute->id != ATTR_cycle_info) continue;
      if (attribute->value == nullptr || attribute->value->getKind() != EK_integer) return false;
      cycleClass = attribute->value->getInteger();
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t cyclesOfAttributes(const IPAttribute* attributes, int32_t core) {
  int64_t cycleClass = 0;
  if (attributes == nullptr || !cycleClassOf(*attributes, cycleClass)) return 1;
  return cyclesForClass(cycleClass, core);
}

int32_t coreCodeOf(const RunSettings& options) {
  if (options.coreTc16x) return kCoreTc16x;
  if (options.coreTc16) return kCoreTc16;
  if (options.coreTc131) return kCoreTc131;
  return kCoreTc13;
}

uint32_t cyclesForClass(int64_t cycleClass, int32_t core) {
  // Cycles on TC1.3, TC1.3.1, TC1.6 and TC1.6.X for each run of classes.
  struct Row {
    int64_t first, last;
    uint32_t cycles[4];
  };
  static const Row kRows[] = {
      {5, 6, {2, 2, 4, 4}},      {103, 108, {2, 2, 4, 4}},  {7, 8, {2, 2, 2, 2}},      {119, 130, {2, 2, 2, 2}},
      {10, 45, {1, 1, 2, 2}},    {100, 102, {1, 1, 2, 2}},  {46, 47, {4, 4, 6, 6}},    {48, 49, {3, 2, 2, 2}},
      {50, 51, {3, 2, 3, 3}},    {58, 61, {3, 2, 3, 3}},    {79, 82, {3, 2, 3, 3}},    {52, 57, {2, 2, 3, 3}},
      {62, 77, {2, 2, 3, 3}},    {83, 98, {2, 2, 3, 3}},    {78, 78, {3, 3, 3, 3}},    {99, 99, {3, 3, 3, 3}},
      {109, 110, {4, 4, 4, 4}},  {113, 115, {4, 4, 4, 4}},  {111, 112, {4, 4, 1, 1}},  {116, 117, {2, 2, 1, 1}},
      {118, 118, {15, 15, 8, 8}}, {131, 132, {0, 0, 4, 4}}, {134, 135, {0, 0, 0, 2}},
  };
  int column = core == kCoreTc16x ? 3 : core == kCoreTc16 ? 2 : core == kCoreTc131 ? 1 : 0;
  for (const Row& row : kRows)
    if (cycleClass >= row.first && cycleClass <= row.last) return row.cycles[column];
  return 0;
}

void assignCycles(FlowNode* node, int32_t core) {
  if (node == nullptr) return;
  switch (node->kind) {
    case FlowNode::kGeneric: {
      const FGeneric::Rewrite* group = static_cast<FGeneric*>(node)->selectedGroup();
      if (group == nullptr) return;
      for (FlowNode* member = group->nodes.first(); member != nullptr; member = member->nextNode())
        assignCycles(member, core);
      return;
    }
    case FlowNode::kSimple: {
      auto* simple = static_cast<FSimple*>(node);
      simple->cycles = static_cast<uint16_t>(cyclesOfAttributes(simple->attr, core));
      return;
    }
    case FlowNode::kSimpleRun:
      static_cast<FSimpleRun*>(node)->assignCore(core);
      return;
    case FlowNode::kJumpRecord:
      static_cast<FJumpRecord*>(node)->assignCore(core);
      return;
    case FlowNode::kInstruction:
      // Only the chosen form: the others are no longer candidates for anything.
      if (IPInstruction* candidate = static_cast<FInstruction*>(node)->selectedCandidate())
        candidate->cycles = cyclesOfAttributes(candidate->attributes, core);
      return;
    default:
      return;
  }
}

void walkCodeSectionsForCore() {
  int32_t core = coreCodeOf(*orbaOptions());
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (!section->isCode() && section->number != 1) continue;
    // The section's total comes from its flow, so that the summary and the
    // statistics have it whether or not a list file is written.
    section->cycles = 0;
    for (FlowNode* node = section->firstNode(); node != nullptr; node = node->nextNode()) {
      assignCycles(node, core);
      if (node->kind == FlowNode::kSimpleRun) {
        // A run's total may pass the 16 bits of one node's count.
        section->cycles += static_cast<const FSimpleRun&>(*node).totalCycles();
        continue;
      }
      section->cycles += node->getCycles();
    }
  }
}

}  // namespace isa
