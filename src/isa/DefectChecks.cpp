#include "isa/DefectChecks.h"

#include <initializer_list>
#include <iterator>

#include "expr/OrbaExpression.h"
#include "expr/functions.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/FSimpleRun.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/JumpRecord.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace isa {

namespace {

using Attributes = const IPAttribute*;

bool isInstructionNode(const FlowNode* node) {
  return node != nullptr && (node->kind == FlowNode::kInstruction || node->kind == FlowNode::kSimple);
}
bool isLabelNode(const FlowNode* node) { return node != nullptr && node->kind == FlowNode::kLabel; }
Symbol* labelSymbol(const FlowNode* node) {
  return isLabelNode(node) ? static_cast<const FLabel*>(node)->symbol : nullptr;
}

bool carries(Attributes attributes, uint32_t id) { return hasAttribute(attributes, id, 0); }
bool carriesAny(Attributes attributes, std::initializer_list<uint32_t> ids) {
  for (uint32_t id : ids)
    if (carries(attributes, id)) return true;
  return false;
}
bool carriesNop(const FlowNode* node) { return carries(instructionAttributes(node), ATTR_NOP); }

bool integerValue(const IPAttr* entry, int64_t& value) {
  if (entry == nullptr || entry->value == nullptr || entry->value->getKind() != EK_integer) return false;
  value = entry->value->getInteger();
  return true;
}

// The first entry with the id in list `listFromEnd`, from entry `from` on; -1 when none.
int64_t entryWithId(Attributes attributes, size_t listFromEnd, uint32_t id, size_t from) {
  for (size_t entry = from;; ++entry) {
    const IPAttr* attribute = lookupFromEnd(attributes, listFromEnd, entry);
    if (attribute == nullptr) return -1;
    if (attribute->id == id) return static_cast<int64_t>(entry);
  }
}

void report(DefectScan& scan, int32_t id) {
  const FlowNode* node = scan.cursor.current();
  scan.errorHandler->report(id, node ? node->line : nullptr);
}

// The steps of the checks. Each starts where the previous one left `look`; null when the
// start or the end of the list is reached.
void placeLook(DefectScan& scan) { scan.look = scan.cursor; }

FlowNode* backOverInstructions(DefectScan& scan, bool labelsToo) {
  while (true) {
    scan.look.prev();
    if (scan.look.isDone()) return nullptr;
    FlowNode* node = scan.look.current();
    if (isInstructionNode(node) || (labelsToo && isLabelNode(node))) return node;
  }
}
FlowNode* backOverI(DefectScan& scan) { return backOverInstructions(scan, false); }
FlowNode* backOverIL(DefectScan& scan) { return backOverInstructions(scan, true); }

FlowNode* forwardOverI(DefectScan& scan) {
  while (true) {
    scan.look.next();
    if (scan.look.isDone()) return nullptr;
    FlowNode* node = scan.look.current();
    if (isInstructionNode(node)) return node;
  }
}

bool pipelineUseIs(const FlowNode* node, std::initializer_list<int64_t> uses) {
  int64_t use = 0;
  if (!getPipelineUse(instructionAttributes(node), use)) return false;
  for (int64_t wanted : uses)
    if (use == wanted) return true;
  return false;
}

// A warning unless the instruction next to the current one (after it or before it, labels
// counting as instructions that are no NOP) is a NOP; the end of the list warns too.
void warnUnlessNopFollows(DefectScan& scan, int32_t id) {
  placeLook(scan);
  FlowNode* next = forwardOverI(scan);
  if (next == nullptr || !carriesNop(next)) report(scan, id);
}
void warnUnlessNopPrecedes(DefectScan& scan, int32_t id) {
  placeLook(scan);
  FlowNode* previous = backOverIL(scan);
  if (previous == nullptr || !carriesNop(previous)) report(scan, id);
}

const std::initializer_list<uint32_t> kAddressLoads = {ATTR_instr_lda, ATTR_instr_ld16a, ATTR_instr_ldda};

// The working record of the loop-body walk of checkTc116.
struct LoopBodyState {
  uint8_t sawIp = 0;
  uint8_t sawSecondIp = 0;
  uint8_t sawBarrier = 0;
  uint8_t done = 0;
  int32_t budget = 4;
  int64_t loopRegister = 0;
  const FlowNode* loopNode = nullptr;
};

// The budget a loop body has before its register can no longer be disturbed in time.
void lowerBudget(LoopBodyState& state, bool integerSeen) {
  if (!integerSeen) {
    state.budget -= 1;
  } else if (state.sawIp == 0) {
    state.sawIp = 1;
    state.budget -= 2;
  } else {
    state.budget -= 1;
  }
}

bool checkLoopBodyNode(DefectScan& scan, ScanIterator& look, LoopBodyState& state);

// Places `look` on the label of the symbol, searching back from where it stands, then
// forward; false, and `look` unmoved, when there is none.
bool findLabel(ScanIterator& look, const Symbol* symbol) {
  ScanIterator search = look;
  while (true) {
    search.prev();
    if (search.isDone()) break;
    if (labelSymbol(search.current()) == symbol) {
      look = search;
      return true;
    }
  }
  search = look;
  while (true) {
    search.next();
    if (search.isDone()) return false;
    if (labelSymbol(search.current()) == symbol) {
      look = search;
      return true;
    }
  }
}

bool checkNestedLoopBody(DefectScan& scan, ScanIterator& look, const Symbol* target, LoopBodyState& copy) {
  if (!findLabel(look, target)) return false;
  while (true) {
    if (copy.done && copy.budget <= 0) return false;
    if (look.isDone()) return false;
    look.next();
    const FlowNode* node = look.current();
    if (look.isDone() || node == scan.cursor.current() || node == copy.loopNode) return false;
    if (checkLoopBodyNode(scan, look, copy)) return true;
  }
}

// A context, call or return instruction in the body: a hazard when it restores the loop's
// register (`restored`), else a barrier.
// A barrier in the body: the first is noted, a second ends the walk.
void passBarrier(LoopBodyState& state) {
  if (state.sawBarrier == 0)
    state.sawBarrier = 1;
  else
    state.done = 1;
  lowerBudget(state, true);
}

bool contextBarrier(LoopBodyState& state, int64_t restored) {
  if (state.loopRegister == restored) {
    lowerBudget(state, state.sawBarrier != 0);
    return true;
  }
  passBarrier(state);
  return false;
}

// Whether an address register the instruction reads is the loop's register.
bool readsLoopRegister(Attributes attributes, int64_t loopRegister) {
  size_t lists = attributes ? attributes->listCount() : 0;
  for (size_t listFromEnd = 0; listFromEnd < lists; ++listFromEnd) {
    if (entryWithId(attributes, listFromEnd, ATTR_ax_is_read, 0) < 0) continue;
    int64_t value = 0;
    int64_t at = entryWithId(attributes, listFromEnd, ATTR_reg_a, 0);
    if (at >= 0 && integerValue(lookupFromEnd(attributes, listFromEnd, static_cast<size_t>(at)), value)) {
      if (value == loopRegister) return true;
      continue;
    }
    at = entryWithId(attributes, listFromEnd, ATTR_reg_aa, 0);
    if (at >= 0 && integerValue(lookupFromEnd(attributes, listFromEnd, static_cast<size_t>(at)), value)) {
      if (loopRegister == value || loopRegister == value + 1) return true;
      continue;
    }
    return false;
  }
  return false;
}

// One node of a loop body: true when it disturbs the loop's register.
bool checkLoopBodyNode(DefectScan& scan, ScanIterator& look, LoopBodyState& state) {
  const FlowNode* node = look.current();
  if (!isInstructionNode(node)) return false;
  Attributes attributes = instructionAttributes(node);
  if (carries(attributes, ATTR_instr_IP)) {
    if (state.sawIp == 0)
      state.sawIp = 1;
    else if (state.sawSecondIp != 0)
      state.done = 1;
    else if (state.sawBarrier != 0)
      state.sawSecondIp = 1;
    else
      state.done = 1;
    state.budget -= 1;
    return false;
  }
  if (carriesAny(attributes, {ATTR_instr_bisr, ATTR_instr_bisr16, ATTR_instr_svlcx})) {
    if (state.sawBarrier != 0) {
      state.done = 1;
      lowerBudget(state, true);
      return false;
    }
    if (state.loopRegister == 11) {
      state.budget -= 1;
      return true;
    }
    state.sawBarrier = 1;
    lowerBudget(state, true);
    return false;
  }
  // A return restores A11; a call saves it and writes A10.
  if (carriesAny(attributes, {ATTR_instr_ret, ATTR_instr_ret16, ATTR_instr_rfe})) return contextBarrier(state, 11);
  if (carriesAny(attributes, {ATTR_instr_call, ATTR_instr_call16, ATTR_instr_calla, ATTR_instr_calli}))
    return contextBarrier(state, 10);
  if (carriesAny(attributes,
                 {ATTR_instr_rslcx, ATTR_instr_ldlcx, ATTR_instr_lducx, ATTR_instr_stlcx, ATTR_instr_stucx})) {
    passBarrier(state);
    return false;
  }
  if (carries(attributes, ATTR_instr_LS)) {
    if (readsLoopRegister(attributes, state.loopRegister)) {
      lowerBudget(state, state.sawBarrier != 0);
      return true;
    }
    if (state.sawBarrier != 0)
      state.done = 1;
    else
      state.sawBarrier = 1;
    if (state.done != 0) {
      lowerBudget(state, true);
      return false;
    }
    if (carriesAny(attributes, {ATTR_instr_loop, ATTR_instr_loop16, ATTR_instr_loopu})) {
      if (const Symbol* inner = loopTargetSymbol(scan, node, attributes)) {
        LoopBodyState copy = state;
        lowerBudget(copy, true);
        bool hazard = checkNestedLoopBody(scan, look, inner, copy);
        lowerBudget(state, true);
        return hazard;
      }
    }
    lowerBudget(state, true);
    return false;
  }
  lowerBudget(state, state.sawBarrier != 0);
  return false;
}

// The location counter minus a number: the expression a "loop a2,$-4" operand becomes.
bool isLocationMinusNumber(const OrbaExpression* target) {
  if (target->getKind() != EK_binary || target->getOperator() != OP_subtract) return false;
  const OrbaExpression* left = target->getArgument(0);
  const OrbaExpression* right = target->getArgument(1);
  if (left == nullptr || right == nullptr || left->getKind() != EK_symbol || right->getKind() != EK_integer)
    return false;
  const Symbol* symbol = left->getSymbol();
  return symbol != nullptr && symbol->isInternal();
}

// Takes the checks of an operand off the written target: the range check and the
// PC-relative conversion wrap it, each with the target as its first argument.
const OrbaExpression* writtenOperand(const OrbaExpression* operand) {
  for (int depth = 0; operand != nullptr && depth < 8; ++depth) {
    if (operand->getKind() != EK_function) return operand;
    int32_t code = operand->getOperator();
    if (code != FN_RANGE && code != FN_WRANGE && code != FN_PCREL && code != FN_INPAGE && code != FN_PAGESIZE)
      return operand;
    if (operand->getArgumentCount() < 1) return nullptr;
    operand = operand->getArgument(0);
  }
  return operand;
}

}  // namespace

DefectScan::DefectScan(Section& scanned)
    : errorHandler(::errorHandler()), options(orbaOptions()), section(&scanned) {}

std::unique_ptr<DefectScan> initDefectScan(Section& section) {
  auto scan = std::make_unique<DefectScan>(section);
  collectScanNodes(*scan);
  scan->cursor.first();
  scan->look.first();
  while (!scan->cursor.isDone() && !isInstructionNode(scan->cursor.current())) {
    if (isLabelNode(scan->cursor.current())) ++scan->labelsPassed;
    scan->cursor.next();
  }
  return scan;
}

void collectScanNodes(DefectScan& scan) {
  scan.nodes.clear();
  for (FlowNode* node = scan.section->firstNode(); node != nullptr; node = node->nextNode()) {
    if (node->kind == FlowNode::kGeneric) {
      const FGeneric::Rewrite* group = static_cast<const FGeneric*>(node)->selectedGroup();
      // Nothing after an unresolved generic instruction has a known neighbour.
      if (group == nullptr) return;
      for (FlowNode* member = group->nodes.first(); member != nullptr; member = member->nextNode())
        scan.nodes.push_back(member);
      continue;
    }
    if (node->kind == FlowNode::kSimpleRun) {
      const auto& run = static_cast<const FSimpleRun&>(*node);
      for (FSimpleRun::Cursor entries(run); !entries.isDone(); entries.next()) {
        const FSimpleRun::Item& entry = entries.item();
        // The labels among a run's instructions are neighbours as their nodes would be.
        for (const FSimpleRun::Label& label : run.labelsBefore(entry)) {
          if ((label.symbol->flags[2] & Symbol::kDebugReferenced) &&
              !(label.symbol->flags[2] & Symbol::kProgramReferenced))
            continue;
          scan.madeNodes.push_back(std::make_unique<FLabel>(label.symbol->definitionLine, label.symbol));
          scan.nodes.push_back(scan.madeNodes.back().get());
        }
        // A lean entry has no line: no check is switched on at it.
        scan.madeNodes.push_back(std::make_unique<FSimple>(const_cast<LineInfo*>(entry.line), *run.attributesOf(entry),
                                                           entry.image, entry.bits, run.cyclesOf(entry)));
        scan.nodes.push_back(scan.madeNodes.back().get());
      }
      continue;
    }
    if (const Symbol* symbol = labelSymbol(node)) {
      // A label that only the debug information names is no place the code goes to.
      if ((symbol->flags[2] & Symbol::kDebugReferenced) && !(symbol->flags[2] & Symbol::kProgramReferenced))
        continue;
    }
    scan.nodes.push_back(node);
  }
}

void advanceDefectScan(DefectScan& scan) {
  if (scan.cursor.isDone()) return;
  do {
    const FlowNode* node = scan.cursor.current();
    if (isLabelNode(node))
      ++scan.labelsPassed;
    else if (isInstructionNode(node) && scan.labelsPassed > 0)
      ++scan.instructionsAfterLabel;
    scan.cursor.next();
  } while (!scan.cursor.isDone() && !isInstructionNode(scan.cursor.current()));
}

void checkCpuDefects(DefectScan& scan) {
  using Check = void (*)(DefectScan&, const IPAttribute*);
  struct Gate {
    const char* control;
    Check check;
  };
  static const Gate kGates[] = {
      {"$CPU_TC013", checkTc013}, {"$CPU_TC048", checkTc048}, {"$CPU_TC060", checkTc060},
      {"$CPU_TC065", checkTc065}, {"$CPU_TC068", checkTc068}, {"$CPU_TC069", checkTc069},
      {"$CPU_TC070", checkTc070}, {"$CPU_TC071", checkTc071}, {"$CPU_TC072", checkTc072},
      {"$CPU_TC081", checkTc081}, {"$CPU_TC082", checkTc082}, {"$CPU_TC083", checkTc083},
      {"$CPU_TC094", checkTc094}, {"$CPU_TC095", checkTc095}, {"$CPU_TC096", checkTc096},
      {"$CPU_TC104", checkTc104}, {"$CPU_TC105", checkTc105}, {"$CPU_TC106", checkTc106},
      {"$CPU_TC108", checkTc108}, {"$CPU_TC109", checkTc109}, {"$CPU_TC116", checkTc116},
  };
  // The switch of each check, looked up once by the control that sets it.
  static const auto kSwitches = [] {
    std::vector<int32_t> switches;
    for (const Gate& gate : kGates) switches.push_back(defectSwitchOfControl(gate.control));
    return switches;
  }();

  if (scan.cursor.isDone()) return;
  const FlowNode* node = scan.cursor.current();
  if (node == nullptr) return;
  Attributes attributes = instructionAttributes(node);
  if (attributes == nullptr || node->line == nullptr || node->line->controlState == nullptr) return;
  // Every line of a TriCore run carries the TriCore control state.
  const auto* state = static_cast<const TriCoreControlState*>(node->line->controlState.get());
  for (size_t i = 0; i < std::size(kGates); ++i) {
    int32_t index = kSwitches[i];
    if (index >= 0 && index < TriCoreControlState::kDefectSwitches && state->defectSwitch[index] != 0)
      kGates[i].check(scan, attributes);
  }
}

namespace {

bool selectsAnyDefectCheck(const ControlState* state, const ControlState*& lastSeen) {
  if (state == nullptr || state == lastSeen) return false;
  lastSeen = state;
  return stateSelectsDefectCheck(state);
}

// Whether a line that the scan would visit selects a defect check: the checks only report
// at lines that select them. The nodes are those collectScanNodes takes.
bool scanCanReport(const Section& section) {
  const ControlState* lastSeen = nullptr;
  for (const FlowNode* node = section.firstNode(); node != nullptr; node = node->nextNode()) {
    if (node->kind == FlowNode::kGeneric) {
      const FGeneric::Rewrite* group = static_cast<const FGeneric*>(node)->selectedGroup();
      if (group == nullptr) return false;
      for (const FlowNode* member = group->nodes.first(); member != nullptr; member = member->nextNode())
        if (member->line != nullptr && selectsAnyDefectCheck(member->line->controlState, lastSeen)) return true;
      continue;
    }
    if (node->kind == FlowNode::kSimpleRun) {
      const auto& run = static_cast<const FSimpleRun&>(*node);
      if (run.oneControlState()) {
        if (run.line != nullptr && selectsAnyDefectCheck(run.line->controlState, lastSeen)) return true;
        continue;
      }
      for (FSimpleRun::Cursor entries(run); !entries.isDone(); entries.next()) {
        const LineInfo* line = entries.item().line;
        if (line != nullptr && selectsAnyDefectCheck(line->controlState, lastSeen)) return true;
      }
      continue;
    }
    if (node->line != nullptr && selectsAnyDefectCheck(node->line->controlState, lastSeen)) return true;
  }
  return false;
}

}  // namespace

bool stateSelectsDefectCheck(const ControlState* state) {
  if (state == nullptr) return false;
  // Every line of a TriCore run carries the TriCore control state.
  const auto* tricore = static_cast<const TriCoreControlState*>(state);
  for (int32_t on : tricore->defectSwitch)
    if (on != 0) return true;
  return false;
}

void scanSectionForDefects(Section& section) {
  if (!scanCanReport(section)) return;
  // The checks read the forms of every instruction.
  standInJumpRecords(section);
  std::unique_ptr<DefectScan> scan = initDefectScan(section);
  while (!scan->cursor.isDone()) {
    checkCpuDefects(*scan);
    advanceDefectScan(*scan);
  }
}

const IPAttribute* instructionAttributes(const FlowNode* node) {
  if (node == nullptr) return nullptr;
  if (node->kind == FlowNode::kSimple) return static_cast<const FSimple*>(node)->attr;
  if (const IPInstruction* candidate = selectedInstruction(node)) return candidate->attributes;
  return nullptr;
}

bool hasAttribute(const IPAttribute* attributes, uint32_t id, size_t skip) {
  return attributes != nullptr && attributes->hasAttribute(id, skip);
}

bool listHoldsAttribute(const IPAttribute* attributes, size_t listFromEnd, uint32_t id) {
  return entryWithId(attributes, listFromEnd, id, 0) >= 0;
}

const IPAttr* lookupFromEnd(const IPAttribute* attributes, size_t listFromEnd, size_t entry) {
  return attributes != nullptr ? attributes->lookupFromEnd(listFromEnd, entry) : nullptr;
}

bool findAttributePairValue(const IPAttribute* attributes, uint32_t idA, uint32_t idB, int64_t& value,
                            size_t& position, size_t& index) {
  size_t lists = attributes ? attributes->listCount() : 0;
  // The newest list, from the starting one back, that holds idA.
  size_t listA = lists;
  for (size_t list = position; list < lists; ++list) {
    int64_t at = entryWithId(attributes, list, idA, list == position ? index : 0);
    if (at >= 0) {
      listA = list;
      position = list;
      index = static_cast<size_t>(at);
      break;
    }
  }
  if (listA == lists) return false;
  index = 0;
  for (size_t list = listA; list < lists; ++list) {
    int64_t at = entryWithId(attributes, list, idB, 0);
    if (at < 0) continue;
    position = list;
    index = static_cast<size_t>(at);
    // The pair must stand in one list: a register of another operand is not this one's.
    if (list != listA) return false;
    return integerValue(lookupFromEnd(attributes, list, index), value);
  }
  return false;
}

bool findAttributePairValue(const IPAttribute* attributes, uint32_t idA, uint32_t idB, int64_t& value) {
  size_t position = 0, index = 0;
  return findAttributePairValue(attributes, idA, idB, value, position, index);
}

bool getPipelineUse(const IPAttribute* attributes, int64_t& value) {
  int64_t at = entryWithId(attributes, 0, ATTR_pipelineUse, 0);
  return at >= 0 && integerValue(lookupFromEnd(attributes, 0, static_cast<size_t>(at)), value);
}

IPInstruction* selectedInstruction(const FlowNode* node) {
  if (node == nullptr || node->kind != FlowNode::kInstruction) return nullptr;
  return static_cast<const FInstruction*>(node)->selectedCandidate();
}

Symbol* loopTargetSymbol(DefectScan& scan, const FlowNode* node, const IPAttribute* attributes) {
  const IPInstruction* instruction = selectedInstruction(node);
  if (instruction == nullptr || attributes == nullptr || !carries(attributes, ATTR_is_conditional_loop)) return nullptr;
  if (instruction->encoding == nullptr || instruction->encoding->operands.empty()) return nullptr;
  const OrbaExpression* target = writtenOperand(instruction->encoding->operands[0]->expression);
  if (target == nullptr) return nullptr;
  if (isLocationMinusNumber(target)) {
    report(scan, W_CPU_TC096_RA);
    return nullptr;
  }
  // Any other expression (a label plus a number, say) names no label to find.
  if (target->getKind() != EK_symbol) return nullptr;
  Symbol* symbol = target->getSymbol();
  // Equates to equates: a bounded walk, since a value may refer back to its own symbol.
  for (int depth = 0; symbol != nullptr && depth < 64; ++depth) {
    const OrbaExpression* value = symbol->valueExpression;
    if (value == nullptr || value->getKind() != EK_symbol) break;
    Symbol* next = value->getSymbol();
    if (next == nullptr || next == symbol || (next->section && next->section->sectionSymbol == next)) break;
    symbol = next;
  }
  return symbol;
}

void checkTc013(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_ldlcx, ATTR_instr_stlcx})) return;
  placeLook(scan);
  FlowNode* previous = backOverI(scan);
  if (previous == nullptr || carriesNop(previous)) return;
  if (carriesAny(instructionAttributes(previous), {ATTR_instr_ld16a, ATTR_instr_st16a})) {
    report(scan, W_CPU_TC013);
    return;
  }
  previous = backOverI(scan);
  if (previous != nullptr && carriesAny(instructionAttributes(previous), {ATTR_instr_ld16a, ATTR_instr_st16a}))
    report(scan, W_CPU_TC013);
}

void checkTc048(DefectScan& scan, Attributes attributes) {
  if (carriesAny(attributes, {ATTR_instr_ji, ATTR_instr_ji16, ATTR_instr_jli, ATTR_instr_calli})) {
    placeLook(scan);
    FlowNode* previous = backOverI(scan);
    if (previous == nullptr || carriesNop(previous)) return;
    // The address load, right before or with one integer instruction between.
    Attributes load = instructionAttributes(previous);
    if (!carriesAny(load, kAddressLoads)) {
      if (!pipelineUseIs(previous, {1, 2})) return;
      previous = backOverI(scan);
      if (previous == nullptr || carriesNop(previous)) return;
      load = instructionAttributes(previous);
      if (!carriesAny(load, kAddressLoads)) return;
    }
    int64_t jumpRegister = 0;
    if (!findAttributePairValue(attributes, ATTR_ax_is_read, ATTR_reg_a, jumpRegister)) return;
    int64_t loaded = 0;
    if (findAttributePairValue(load, ATTR_is_target, ATTR_reg_a, loaded)) {
      if (loaded == jumpRegister) {
        report(scan, W_CPU_TC048);
        return;
      }
    } else if (findAttributePairValue(load, ATTR_is_target, ATTR_reg_aa, loaded) &&
               (jumpRegister == loaded || jumpRegister == loaded + 1)) {
      report(scan, W_CPU_TC048);
      return;
    }
    // The load's base register is written too when the addressing mode moves it.
    int64_t base = 0;
    if (findAttributePairValue(load, ATTR_op_post, ATTR_reg_a, base)) {
      if (base == jumpRegister) report(scan, W_CPU_TC048);
    } else if (findAttributePairValue(load, ATTR_op_pre, ATTR_reg_a, base) && base == jumpRegister) {
      report(scan, W_CPU_TC048);
    }
    return;
  }
  if (!carriesAny(attributes, {ATTR_instr_ret, ATTR_instr_ret16})) return;
  if (scan.instructionsAfterLabel > 1) return;
  if (scan.instructionsAfterLabel == 1) {
    placeLook(scan);
    FlowNode* previous = backOverI(scan);
    if (previous != nullptr && !carriesNop(previous)) report(scan, W_CPU_TC048);
    return;
  }
  report(scan, W_CPU_TC048);
}

void checkTc060(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, kAddressLoads)) return;
  const std::initializer_list<uint32_t> loads = {ATTR_instr_ld16w, ATTR_instr_ldd, ATTR_instr_ldw, ATTR_instr_ldda};
  placeLook(scan);
  FlowNode* next = forwardOverI(scan);
  if (next == nullptr) return;
  if (!carriesAny(instructionAttributes(next), loads)) {
    if (!pipelineUseIs(next, {1})) return;
    next = forwardOverI(scan);
    if (next == nullptr || !carriesAny(instructionAttributes(next), loads)) return;
  }
  int64_t target = 0, base = 0;
  if (findAttributePairValue(attributes, ATTR_is_target, ATTR_reg_a, target) &&
      findAttributePairValue(instructionAttributes(next), ATTR_ax_used_for_source, ATTR_reg_a, base) &&
      target == base)
    report(scan, W_CPU_TC060);
}

void checkTc065(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_is_unconditional_jump)) return;
  placeLook(scan);
  if (isLabelNode(backOverIL(scan))) report(scan, W_CPU_TC065);
}

void checkTc068(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_dvinit, ATTR_instr_dvinitu, ATTR_instr_dvinitb, ATTR_instr_dvinitbu,
                               ATTR_instr_dvinith, ATTR_instr_dvinithu}))
    return;
  placeLook(scan);
  for (int i = 0; i < 2; ++i) {
    FlowNode* previous = backOverIL(scan);
    if (previous == nullptr || !carriesNop(previous)) {
      report(scan, W_CPU_TC068);
      return;
    }
  }
  if (scan.options == nullptr || !scan.options->userMode1) return;
  // In user-1 mode the divide also needs the interrupts disabled before it.
  while (true) {
    FlowNode* previous = backOverIL(scan);
    if (previous == nullptr || isLabelNode(previous) || carries(instructionAttributes(previous), ATTR_instr_enable)) {
      report(scan, W_CPU_TC068);
      return;
    }
    if (carries(instructionAttributes(previous), ATTR_instr_disable)) return;
  }
}

void checkTc069(DefectScan& scan, Attributes attributes) {
  if (carries(attributes, ATTR_instr_rslcx)) warnUnlessNopFollows(scan, W_CPU_TC069);
}

void checkTc070(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_is_loop)) return;
  placeLook(scan);
  FlowNode* previous = backOverIL(scan);
  if (previous == nullptr) return;
  Attributes before = instructionAttributes(previous);
  if (carriesAny(before, {ATTR_is_ip_jump, ATTR_is_ls_jump})) {
    report(scan, W_CPU_TC070);
    return;
  }
  if (!carries(before, ATTR_NOP)) return;
  previous = backOverIL(scan);
  if (previous != nullptr && carries(instructionAttributes(previous), ATTR_is_ip_jump)) report(scan, W_CPU_TC070);
}

void checkTc071(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_is_unconditional_loop)) return;
  placeLook(scan);
  if (isLabelNode(backOverIL(scan))) report(scan, W_CPU_TC071);
}

void checkTc072(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_is_conditional_loop)) return;
  placeLook(scan);
  FlowNode* previous = backOverI(scan);
  if (previous == nullptr) return;
  Attributes before = instructionAttributes(previous);
  int64_t counted = 0, written = 0;
  if (carries(before, ATTR_has_Ax_target) && findAttributePairValue(attributes, ATTR_is_target, ATTR_reg_a, counted) &&
      findAttributePairValue(before, ATTR_is_target, ATTR_reg_a, written) && counted == written)
    report(scan, W_CPU_TC072);
}

void checkTc081(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, kAddressLoads) || !carries(attributes, ATTR_has_Ax_target)) return;
  int64_t target = 0;
  // A pair load is named by its first register.
  if (findAttributePairValue(attributes, ATTR_is_target, ATTR_reg_a, target) ||
      findAttributePairValue(attributes, ATTR_is_target, ATTR_reg_aa, target)) {
    if (target == 10) report(scan, W_CPU_TC081);
  }
}

void checkTc082(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_stucx, ATTR_instr_stlcx})) return;
  placeLook(scan);
  FlowNode* next = forwardOverI(scan);
  if (next != nullptr &&
      carriesAny(instructionAttributes(next),
                 {ATTR_instr_ld16a, ATTR_instr_ld16bu, ATTR_instr_ld16h, ATTR_instr_ld16w, ATTR_instr_lda,
                  ATTR_instr_ldb, ATTR_instr_ldbu, ATTR_instr_ldd, ATTR_instr_ldda, ATTR_instr_ldh, ATTR_instr_ldhu,
                  ATTR_instr_ldq, ATTR_instr_ldw}))
    report(scan, W_CPU_TC082);
}

void checkTc083(DefectScan& scan, Attributes attributes) {
  if (carries(attributes, ATTR_instr_disable)) warnUnlessNopFollows(scan, W_CPU_TC083);
}

void checkTc094(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_jeq, ATTR_instr_jge, ATTR_instr_jgeu, ATTR_instr_jgez, ATTR_instr_jgtz,
                               ATTR_instr_jlez, ATTR_instr_jlt, ATTR_instr_jltu, ATTR_instr_jltz, ATTR_instr_jne,
                               ATTR_instr_jned, ATTR_instr_jnei, ATTR_instr_jnz, ATTR_instr_jnzt, ATTR_instr_jz,
                               ATTR_instr_jzt}))
    return;
  placeLook(scan);
  FlowNode* next = forwardOverI(scan);
  if (next != nullptr && carriesAny(instructionAttributes(next), {ATTR_instr_call, ATTR_instr_calla, ATTR_instr_calli,
                                                                  ATTR_instr_syscall, ATTR_instr_ret, ATTR_instr_rfe}))
    report(scan, W_CPU_TC094);
}

void checkTc095(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_satb, ATTR_instr_sath})) return;
  placeLook(scan);
  FlowNode* next = forwardOverI(scan);
  if (next != nullptr && carriesAny(instructionAttributes(next),
                                    {ATTR_instr_addsca, ATTR_instr_addscat, ATTR_instr_mova, ATTR_instr_mtcr}))
    report(scan, W_CPU_TC095);
}

void checkTc096(DefectScan& scan, Attributes attributes) {
  // First, for every instruction: W831 comes with any loop to the location counter.
  const Symbol* target = loopTargetSymbol(scan, scan.cursor.current(), attributes);
  if (!carriesAny(attributes, {ATTR_instr_loop, ATTR_instr_loop16})) return;
  placeLook(scan);
  // A short loop body: the loop's own label one, two or three instructions back.
  FlowNode* previous = backOverIL(scan);
  if (previous == nullptr) return;
  if (isLabelNode(previous)) {
    if (target != nullptr && labelSymbol(previous) == target) report(scan, W_CPU_TC096);
    return;
  }
  bool loadStoreLast = pipelineUseIs(previous, {3}) || carriesNop(previous);
  previous = backOverIL(scan);
  if (previous == nullptr) return;
  if (isLabelNode(previous)) {
    if (target != nullptr && labelSymbol(previous) == target) report(scan, W_CPU_TC096);
    return;
  }
  bool integerFirst = pipelineUseIs(previous, {1, 2});
  previous = backOverIL(scan);
  if (previous == nullptr || !isLabelNode(previous)) return;
  if (loadStoreLast && integerFirst && target != nullptr && labelSymbol(previous) == target)
    report(scan, W_CPU_TC096);
}

void checkTc104(DefectScan& scan, Attributes attributes) {
  // The circular addressing mode is the list of the second operand.
  if (carries(attributes, ATTR_instr_ldd) && listHoldsAttribute(attributes, 3, ATTR_op_circ))
    warnUnlessNopPrecedes(scan, W_CPU_TC104);
}

void checkTc105(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_instr_mtcr)) return;
  placeLook(scan);
  FlowNode* previous = backOverIL(scan);
  if (previous == nullptr || !carries(instructionAttributes(previous), ATTR_instr_dsync)) report(scan, W_CPU_TC105);
}

void checkTc106(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_instr_mtcr)) return;
  placeLook(scan);
  FlowNode* previous = backOverI(scan);
  if (previous == nullptr) return;
  static const uint32_t kMultiplies[] = {
      ATTR_instr_mul,       ATTR_instr_muls,      ATTR_instr_mulu,       ATTR_instr_mulsu,      ATTR_instr_mulq,
      ATTR_instr_mulrq,     ATTR_instr_mulh,      ATTR_instr_mulmh,      ATTR_instr_mulrh,      ATTR_instr_madd,
      ATTR_instr_madds,     ATTR_instr_maddu,     ATTR_instr_maddsu,     ATTR_instr_maddq,      ATTR_instr_maddsq,
      ATTR_instr_maddrq,    ATTR_instr_maddrsq,   ATTR_instr_maddh,      ATTR_instr_maddsh,     ATTR_instr_maddmh,
      ATTR_instr_maddmsh,   ATTR_instr_maddrh,    ATTR_instr_maddrsh,    ATTR_instr_maddsuh,    ATTR_instr_maddsush,
      ATTR_instr_maddsumh,  ATTR_instr_maddsumsh, ATTR_instr_maddsurh,   ATTR_instr_maddsursh,  ATTR_instr_msub,
      ATTR_instr_msubs,     ATTR_instr_msubu,     ATTR_instr_msubsu,     ATTR_instr_msubq,      ATTR_instr_msubsq,
      ATTR_instr_msubrq,    ATTR_instr_msubrsq,   ATTR_instr_msubh,      ATTR_instr_msubsh,     ATTR_instr_msubmh,
      ATTR_instr_msubmsh,   ATTR_instr_msubrh,    ATTR_instr_msubrsh,    ATTR_instr_msubadh,    ATTR_instr_msubadsh,
      ATTR_instr_msubadmh,  ATTR_instr_msubadmsh, ATTR_instr_msubadrh,   ATTR_instr_msubadrsh,  ATTR_instr_rstv,
  };
  Attributes before = instructionAttributes(previous);
  for (uint32_t id : kMultiplies) {
    if (carries(before, id)) {
      report(scan, W_CPU_TC106);
      return;
    }
  }
}

void checkTc108(DefectScan& scan, Attributes attributes) {
  // Skipping the description's and the mnemonic's lists: an operand's addressing mode.
  if (hasAttribute(attributes, ATTR_op_circ, 2)) warnUnlessNopPrecedes(scan, W_CPU_TC108);
}

void checkTc109(DefectScan& scan, Attributes attributes) {
  if (!carries(attributes, ATTR_instr_ldw) || !hasAttribute(attributes, ATTR_op_circ, 2)) return;
  placeLook(scan);
  FlowNode* previous = backOverIL(scan);
  if (previous == nullptr) return;
  if (pipelineUseIs(previous, {1, 2})) {
    previous = backOverIL(scan);
    if (previous == nullptr) return;
  }
  if (carriesAny(instructionAttributes(previous), {ATTR_instr_stb, ATTR_instr_st16b})) report(scan, W_CPU_TC109);
}

void checkTc116(DefectScan& scan, Attributes attributes) {
  if (!carriesAny(attributes, {ATTR_instr_loop, ATTR_instr_loop16, ATTR_instr_loopu}) ||
      !carries(attributes, ATTR_has_Ax_target))
    return;
  int64_t loopRegister = 0;
  if (!findAttributePairValue(attributes, ATTR_is_target, ATTR_reg_a, loopRegister)) return;
  const FlowNode* loop = scan.cursor.current();
  const Symbol* target = loopTargetSymbol(scan, loop, attributes);
  if (target == nullptr) return;
  placeLook(scan);
  if (!findLabel(scan.look, target)) return;
  LoopBodyState state;
  state.loopRegister = loopRegister;
  state.loopNode = loop;
  while (true) {
    scan.look.next();
    if (scan.look.isDone() || scan.look.current() == loop) return;
    if (checkLoopBodyNode(scan, scan.look, state)) {
      report(scan, W_CPU_TC116);
      return;
    }
    if (state.done != 0) return;
    // A nested walk that ended on this loop, or at the end, has seen the whole body.
    if (scan.look.isDone() || scan.look.current() == loop) return;
  }
}

}  // namespace isa
