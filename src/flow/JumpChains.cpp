#include "flow/JumpChains.h"

#include <algorithm>
#include <cstdlib>

#include "expr/OrbaExpression.h"
#include "flow/FLabel.h"
#include "flow/FlowNode.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

struct InstalledJumps {
  JumpInstructions* installed = nullptr;
};
InstalledJumps& installedJumps() { return runPart<InstalledJumps>(); }

int64_t distance(int64_t from, int64_t to) { return from > to ? from - to : to - from; }

}  // namespace

void installJumpInstructions(JumpInstructions* instructions) { installedJumps().installed = instructions; }

JumpInstructions* jumpInstructions() { return installedJumps().installed; }

bool jumpTargetOf(FlowNode* instruction, bool& conditional, Symbol*& target) {
  conditional = false;
  target = nullptr;
  if (!installedJumps().installed || !instruction) return false;
  return installedJumps().installed->jumpTarget(instruction, conditional, target);
}

// Jump

bool Jump::hasTargetValue(const Symbol* symbol) { return symbol && symbol->valueExpression; }

int64_t Jump::targetValue(const Symbol* symbol) {
  const OrbaExpression* value = symbol ? symbol->valueExpression : nullptr;
  if (!value) return 0;
  if (value->getKind() == EK_integer) return value->getInteger();
  if (value->getKind() == EK_binary && value->getOperator() == OP_add) {
    const OrbaExpression* right = value->getArgument(1);
    if (right && right->getKind() == EK_integer) return right->getInteger();
  }
  return 0;
}

bool Jump::hasLabel(const Symbol* symbol) const {
  return std::find(labels.begin(), labels.end(), symbol) != labels.end();
}

bool Jump::reachesLabel(Section* section, Symbol* label) const {
  if (!instruction || !label || !currentTarget || !installedJumps().installed) return false;
  return installedJumps().installed->reaches(instruction, section, offset, currentTarget, label);
}

// JumpChainSet

JumpChainSet::~JumpChainSet() {
  for (Jump* jump : jumps) delete jump;
}

Jump* JumpChainSet::addJump(const std::vector<Symbol*>& labels, int64_t offset, FlowNode* instruction,
                            bool conditional, Symbol* target) {
  auto* jump = new Jump();
  jump->index = static_cast<uint32_t>(jumps.size());
  jump->labels = labels;
  jump->target = target;
  jump->currentTarget = target;
  jump->instruction = instruction;
  jump->offset = offset;
  jump->conditional = conditional;
  jumps.push_back(jump);
  return jump;
}

bool JumpChainSet::recordJump(FlowNode* instruction, int64_t offset) {
  bool conditional = false;
  Symbol* target = nullptr;
  if (!jumpTargetOf(instruction, conditional, target)) return false;
  std::vector<Symbol*> labels;
  for (FlowNode* before = instruction->previousNode(); before && before->kind == FlowNode::kLabel;
       before = before->previousNode()) {
    if (Symbol* symbol = static_cast<FLabel*>(before)->symbol) labels.push_back(symbol);
  }
  std::reverse(labels.begin(), labels.end());
  addJump(labels, offset, instruction, conditional, target);
  return true;
}

bool JumpChainSet::targetsOwnSection(const Jump& jump) const {
  return jump.target && jump.target->section == section && Jump::hasTargetValue(jump.target);
}

bool JumpChainSet::samePlace(const Jump& jump, const Jump& other) const {
  return targetsOwnSection(jump) && targetsOwnSection(other) &&
         Jump::targetValue(jump.target) == Jump::targetValue(other.target);
}

void JumpChainSet::planChains() {
  collapseChains();
  sortJumps();
  makeConditionalChains();
  makeUnconditionalChains();
}

void JumpChainSet::collapseChains() {
  // Link each jump to the jump its target labels. The jumps lie in flow order, so their
  // offsets ascend; a node that took no space shares its offset with the next one.
  for (Jump* jump : jumps) {
    if (!targetsOwnSection(*jump)) continue;
    int64_t targetOffset = Jump::targetValue(jump->target);
    auto at = std::lower_bound(jumps.begin(), jumps.end(), targetOffset,
                               [](const Jump* candidate, int64_t value) { return candidate->offset < value; });
    for (; at != jumps.end() && (*at)->offset == targetOffset; ++at) {
      if ((*at)->hasLabel(jump->target)) {
        jump->next = static_cast<int32_t>((*at)->index);
        break;
      }
    }
  }

  // Mark the jumps that lie on a cycle of links: those keep their targets, and so does
  // every jump whose chain runs into a cycle.
  const size_t count = jumps.size();
  std::vector<int32_t> component(count, -1);
  std::vector<uint8_t> onCycle(count, 0);
  for (size_t start = 0; start < count; ++start) {
    if (component[start] >= 0) continue;
    auto current = static_cast<int32_t>(start);
    while (current >= 0 && component[current] < 0) {
      component[current] = static_cast<int32_t>(start);
      current = jumps[current]->next;
    }
    if (current >= 0 && component[current] == static_cast<int32_t>(start)) {
      // The walk came back to a jump of its own: current lies on the cycle.
      int32_t member = current;
      do {
        onCycle[member] = 1;
        member = jumps[member]->next;
      } while (member != current);
    }
  }

  // Collapse until nothing changes. Outside the cycles the links form no loop, so every
  // sweep shortens some chain and the sweeps end.
  for (bool changed = true; changed;) {
    changed = false;
    for (Jump* jump : jumps) {
      if (jump->next < 0 || onCycle[jump->index]) continue;
      Jump* via = jumps[jump->next];
      if (via->conditional || onCycle[via->index]) continue;
      jump->target = via->target;
      jump->next = via->next;
      changed = true;
    }
  }

  for (Jump* jump : jumps) jump->next = -1;
}

void JumpChainSet::sortJumps() {
  // Jumps without a target value first, then those to other sections, then those to this
  // section; within each by target offset, then by offset. Jumps to one place of this
  // section thus lie together, in the order of their offsets.
  auto rank = [this](const Jump* jump) {
    if (!Jump::hasTargetValue(jump->target)) return 0;
    return targetsOwnSection(*jump) ? 2 : 1;
  };
  sorted = jumps;
  std::sort(sorted.begin(), sorted.end(), [&rank](const Jump* left, const Jump* right) {
    int leftRank = rank(left);
    int rightRank = rank(right);
    if (leftRank != rightRank) return leftRank < rightRank;
    int64_t leftTarget = Jump::targetValue(left->target);
    int64_t rightTarget = Jump::targetValue(right->target);
    if (leftTarget != rightTarget) return leftTarget < rightTarget;
    if (left->offset != right->offset) return left->offset < right->offset;
    return left->index < right->index;
  });
  conditionalJumps.clear();
  unconditionalJumps.clear();
  for (Jump* jump : sorted) (jump->conditional ? conditionalJumps : unconditionalJumps).push_back(jump);
}

namespace {

// Orders jumps like sortJumps within the jumps to this section: by target offset, then by
// offset.
bool beforeInGroupOrder(const Jump* jump, int64_t targetOffset, int64_t offset) {
  int64_t jumpTarget = Jump::targetValue(jump->target);
  return jumpTarget != targetOffset ? jumpTarget < targetOffset : jump->offset < offset;
}

}  // namespace

void JumpChainSet::makeConditionalChains() {
  // Both lists are in group order, so one forward scan finds, for each conditional jump,
  // the unconditional jumps to the same place on either side of it.
  size_t position = 0;
  for (Jump* jump : conditionalJumps) {
    if (!targetsOwnSection(*jump)) continue;
    int64_t targetOffset = Jump::targetValue(jump->target);
    while (position < unconditionalJumps.size() &&
           (!targetsOwnSection(*unconditionalJumps[position]) ||
            beforeInGroupOrder(unconditionalJumps[position], targetOffset, jump->offset)))
      ++position;
    int64_t toTarget = distance(jump->offset, targetOffset);
    Jump* before = nullptr;
    Jump* after = nullptr;
    if (position > 0) {
      Jump* candidate = unconditionalJumps[position - 1];
      if (samePlace(*jump, *candidate) && distance(jump->offset, candidate->offset) < toTarget) before = candidate;
    }
    if (position < unconditionalJumps.size()) {
      Jump* candidate = unconditionalJumps[position];
      if (samePlace(*jump, *candidate) && distance(jump->offset, candidate->offset) < toTarget) after = candidate;
    }
    Jump* winner = before ? before : after;
    if (before && after) {
      int64_t toBefore = distance(jump->offset, before->offset);
      int64_t toAfter = distance(jump->offset, after->offset);
      if (toAfter < toBefore || (toAfter == toBefore && targetOffset > jump->offset)) winner = after;
    }
    if (winner) jump->next = static_cast<int32_t>(winner->index);
  }
}

void JumpChainSet::makeUnconditionalChains() {
  for (size_t position = 0; position < unconditionalJumps.size(); ++position) {
    Jump* jump = unconditionalJumps[position];
    if (!targetsOwnSection(*jump)) continue;
    int64_t targetOffset = Jump::targetValue(jump->target);
    size_t neighbour = jump->offset < targetOffset ? position + 1 : position - 1;
    if (neighbour >= unconditionalJumps.size()) continue;  // also position 0 going back
    Jump* candidate = unconditionalJumps[neighbour];
    if (samePlace(*jump, *candidate) &&
        distance(jump->offset, candidate->offset) < distance(jump->offset, targetOffset))
      jump->next = static_cast<int32_t>(candidate->index);
  }
}

void JumpChainSet::retarget() {
  JumpInstructions* instructions = jumpInstructions();
  if (!instructions) return;
  for (Jump* jump : jumps) {
    Symbol* planned = jump->target;
    if (jump->next >= 0) {
      if (static_cast<size_t>(jump->next) >= jumps.size()) continue;
      planned = jumps[jump->next]->entryLabel();
    }
    if (!planned || planned == jump->currentTarget || !jump->currentTarget) continue;
    instructions->retargetOperands(jump->instruction, jump->currentTarget, planned);
    jump->currentTarget = planned;
  }
}

void JumpChainSet::checkChains() {
  for (Jump* jump : sorted) {
    if (!targetsOwnSection(*jump)) continue;
    int64_t targetOffset = Jump::targetValue(jump->target);
    if (jump->reachesLabel(section, jump->target)) {
      jump->next = -1;
      continue;
    }
    // The unconditional jumps to the same place, in the order of their offsets.
    auto runStart = std::lower_bound(unconditionalJumps.begin(), unconditionalJumps.end(), jump,
                                     [this, targetOffset](const Jump* entry, const Jump*) {
                                       return !targetsOwnSection(*entry) ||
                                              Jump::targetValue(entry->target) < targetOffset;
                                     });
    auto runEnd = runStart;
    while (runEnd != unconditionalJumps.end() && samePlace(*jump, **runEnd)) ++runEnd;
    if (runStart == runEnd) continue;

    // Bisection: the farthest entry in the target's direction that the jump reaches.
    // Entries nearer to the jump are easier to reach, so reach falls off with distance.
    const bool ahead = targetOffset >= jump->offset;
    Jump* found = nullptr;
    size_t first = static_cast<size_t>(runStart - unconditionalJumps.begin());
    size_t count = static_cast<size_t>(runEnd - runStart);
    while (count > 0) {
      size_t half = count / 2;
      Jump* probe = unconditionalJumps[first + half];
      bool higher;
      if (ahead ? probe->offset <= jump->offset : probe->offset >= jump->offset) {
        higher = ahead;
      } else if (jump->reachesLabel(section, probe->entryLabel())) {
        found = probe;
        higher = ahead;
      } else {
        higher = !ahead;
      }
      if (higher) {
        first += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    if (found) jump->next = static_cast<int32_t>(found->index);
  }
}
