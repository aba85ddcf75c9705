#include "flow/OrbaOptimizer.h"

#include <memory>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/JumpChains.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

// A rewrite's condition holds when it is absent or simplifies to a non-zero integer.
bool conditionHolds(OrbaExpression* condition) {
  if (!condition) return true;
  OrbaExpression* value = condition->evaluate();
  return value && !value->isError() && value->getKind() == EK_integer && value->getInteger() != 0;
}

// Moves the labels that stand directly in front of the walker's position to offset:
// they name the instruction, which starts after its alignment padding. A generic
// whose chosen rewrite ends in labels hands them on, and the walk goes on past it
// when the rewrite holds nothing else.
void shiftPrecedingLabels(FlowWalker& walker, int32_t offset) {
  if (!walker.position) return;
  for (FlowNode* node = walker.position->previousNode(); node; node = node->previousNode()) {
    if (node->kind == FlowNode::kLabel) {
      placeLabelSymbol(static_cast<FLabel&>(*node).symbol, offset, walker.pass);
      continue;
    }
    if (node->kind != FlowNode::kGeneric) return;
    const FGeneric::Rewrite* rewrite = static_cast<FGeneric*>(node)->selectedGroup();
    if (!rewrite) return;
    for (FlowNode* inner = rewrite->nodes.last(); inner; inner = inner->previousNode()) {
      if (inner->kind != FlowNode::kLabel) return;
      placeLabelSymbol(static_cast<FLabel&>(*inner).symbol, offset, walker.pass);
    }
  }
}

// The padding an aligned label takes at the walker's offset; 0 for a plain label.
int32_t labelPadding(const FLabel& label, const FlowWalker& walker) {
  if (label.alignment <= 0 || !walker.section) return 0;
  return static_cast<int32_t>(alignmentPadding(walker.section, static_cast<uint32_t>(walker.offset),
                                               static_cast<uint32_t>(label.alignment)));
}

struct RewriteLayout {
  int32_t size = 0;
  bool failed = false;
  // The weakest check among the rewrite's instructions: 0 one is rejected, 2 one is
  // undecided, 1 all fit.
  uint8_t usable = 1;
};

// Lays out one rewrite of a generic from the outer walker's offset, on a walker of
// its own. Its instructions choose afresh every time. Only a committed layout
// leaves its sizes in the nodes and moves labels in front of an aligned first
// instruction.
RewriteLayout layoutRewrite(const FGeneric::Rewrite& rewrite, FlowWalker& outer, int32_t mode, bool commit) {
  FlowWalker walker(outer.section, &rewrite.nodes);
  walker.position = rewrite.nodes.first();
  walker.offset = outer.offset;
  walker.previousOffset = outer.previousOffset;
  walker.pass = outer.pass;
  RewriteLayout result;
  for (FlowNode* node = rewrite.nodes.first(); node; node = node->nextNode()) {
    walker.position = node;
    if (node->line) currentLayoutLine() = node->line;
    walker.previousNodeSize = static_cast<int32_t>(node->layoutSize);
    int32_t size = 0;
    switch (node->kind) {
      case FlowNode::kInstruction: {
        FlowNode::LayoutChoice choice = node->layOut(walker, mode, true);
        if (choice.chosen < 0) {
          result.failed = true;
          result.usable = 0;
          break;
        }
        if (choice.usable == 0 || (choice.usable == 2 && result.usable == 1)) result.usable = choice.usable;
        if (commit && choice.padding > 0) {
          int32_t shifted = walker.offset + static_cast<int32_t>(choice.padding);
          shiftPrecedingLabels(walker, shifted);
          if (node == rewrite.nodes.first()) shiftPrecedingLabels(outer, shifted);
        }
        size = walker.nodeSize;
        break;
      }
      case FlowNode::kSimple: {
        FlowNode::LayoutChoice choice = node->layOut(walker, mode, true);
        if (choice.chosen < 0)
          result.failed = true;
        else
          size = walker.nodeSize;
        break;
      }
      case FlowNode::kLabel: {
        auto& label = static_cast<FLabel&>(*node);
        size = labelPadding(label, walker);
        placeLabelSymbol(label.symbol, walker.offset + size, walker.pass);
        break;
      }
      case FlowNode::kReset:
        break;
      case FlowNode::kError:
        result.failed = true;
        break;
      default: {
        int32_t units = node->computeSize(walker.section, static_cast<uint32_t>(walker.offset));
        size = units > 0 ? units : 0;
        break;
      }
    }
    if (commit) node->layoutSize = static_cast<uint32_t>(size);
    walker.advance(size);
  }
  result.size = walker.offset - outer.offset;
  return result;
}

// Whether a rewrite may still be chosen in a checking pass: its condition holds and
// it lays out with every instruction in a form that is not rejected. One that may
// not is excluded for good.
bool rewriteSurvives(FGeneric& generic, size_t index, FlowWalker& walker, int32_t mode, RewriteLayout& layout,
                     const RewriteLayout* known) {
  const FGeneric::Rewrite& rewrite = *generic.groups[index];
  if (!conditionHolds(rewrite.condition)) {
    generic.setExcluded(index, true);
    return false;
  }
  layout = known ? *known : layoutRewrite(rewrite, walker, mode, false);
  if (layout.failed || layout.usable == 0) {
    generic.setExcluded(index, true);
    return false;
  }
  return true;
}

// Initial pass: every rewrite is allowed again; of those whose condition holds and
// that lay out, the smallest wins, the first of equal ones. A layout of the first
// rewrite made at this offset in this pass is taken as it is (knownFirst).
int32_t chooseRewriteInitial(FGeneric& generic, FlowWalker& walker, int32_t& size, const RewriteLayout* knownFirst) {
  for (size_t index = 0; index < generic.groups.size(); ++index) generic.setExcluded(index, false);
  int32_t best = -1;
  for (size_t index = 0; index < generic.groups.size(); ++index) {
    const FGeneric::Rewrite& rewrite = *generic.groups[index];
    if (!conditionHolds(rewrite.condition)) continue;
    RewriteLayout layout =
        index == 0 && knownFirst ? *knownFirst : layoutRewrite(rewrite, walker, kLayoutInitial, false);
    if (layout.failed) continue;
    if (best < 0 || layout.size < size) {
      best = static_cast<int32_t>(index);
      size = layout.size;
    }
  }
  return best;
}

// Relax pass: a rewrite whose instructions all fit ranks above one with an
// undecided instruction. Among those that fit the smallest wins; among undecided
// ones the largest, which stays valid whatever the open value turns out to be. At
// equal size a "default" rewrite is preferred, else the earlier one stays. knownFirst
// as for the initial pass.
int32_t chooseRewriteRelax(FGeneric& generic, FlowWalker& walker, int32_t& size, const RewriteLayout* knownFirst) {
  int32_t best = -1;
  int32_t bestRank = 0;
  size = 0;
  for (size_t index = 0; index < generic.groups.size(); ++index) {
    if (generic.isExcluded(index)) continue;
    RewriteLayout layout;
    if (!rewriteSurvives(generic, index, walker, kLayoutRelax, layout, index == 0 ? knownFirst : nullptr)) continue;
    int32_t rank = layout.usable == 2 ? 2 : 1;
    bool wins;
    if (best < 0 || size == 0)
      wins = true;
    else if (rank != bestRank)
      wins = rank < bestRank;
    else if (layout.size != size)
      wins = rank == 1 ? layout.size < size : layout.size > size;
    else
      wins = !generic.isDefault(static_cast<size_t>(best)) && generic.isDefault(index);
    if (wins) {
      best = static_cast<int32_t>(index);
      bestRank = rank;
      size = layout.size;
    }
  }
  return best;
}

// Fixed pass, and a relax pass that may only grow: of the rewrites that survive,
// the largest wins, the first of equal ones.
int32_t chooseRewriteLargest(FGeneric& generic, FlowWalker& walker, int32_t mode, int32_t& size) {
  int32_t best = -1;
  size = 0;
  for (size_t index = 0; index < generic.groups.size(); ++index) {
    if (generic.isExcluded(index)) continue;
    const FGeneric::Rewrite& rewrite = *generic.groups[index];
    if (!conditionHolds(rewrite.condition)) {
      generic.setExcluded(index, true);
      continue;
    }
    RewriteLayout layout = layoutRewrite(rewrite, walker, mode, false);
    if (layout.failed) {
      generic.setExcluded(index, true);
      continue;
    }
    if (best < 0 || layout.size > size) {
      best = static_cast<int32_t>(index);
      size = layout.size;
    }
  }
  return best;
}

struct NodeLayout {
  int32_t size = 0;
  bool changed = false;
  bool failed = false;
};

// Whether a generic whose expansions are not built yet needs them to choose now. It does
// not while its hardware form lays out, fits and is no larger than the least an expansion
// can take (a halfword an instruction): an expansion could then only tie, and at a tie the
// hardware form, the first rewrite, stays. The largest-rewrite choice always needs them.
// The hardware form's layout is left in hardware: the choice that follows at the same
// offset would only repeat it.
bool expansionsNeeded(FGeneric& generic, FlowWalker& walker, int32_t mode, RewriteLayout& hardware) {
  if (mode == kLayoutFixed || generic.groups.empty() || generic.isExcluded(0)) return true;
  hardware = layoutRewrite(*generic.groups[0], walker, mode, false);
  if (hardware.failed || (mode == kLayoutRelax && hardware.usable != 1)) return true;
  const int32_t unitBits = walker.section && walker.section->mauBits > 0 ? walker.section->mauBits : 8;
  const int32_t least = static_cast<int32_t>(generic.deferredInstructions) * 16 / unitBits;
  return hardware.size > least;
}

// Builds a generic's expansions. Past the initial pass they are laid out once as the
// initial pass would have, so that their labels have places before they are measured.
void buildExpansions(FGeneric& generic, FlowWalker& walker, int32_t mode) {
  const size_t built = generic.groups.size();
  generic.buildDeferredRewrites();
  if (mode == kLayoutInitial) return;
  for (size_t index = built; index < generic.groups.size(); ++index)
    layoutRewrite(*generic.groups[index], walker, kLayoutInitial, false);
}

NodeLayout layOutGeneric(FGeneric& generic, FlowWalker& walker, int32_t mode, bool growOnly) {
  const uint32_t before = generic.selected;
  int32_t size = 0;
  int32_t chosen;
  int32_t commitMode = mode;
  RewriteLayout hardware;
  const RewriteLayout* knownHardware = nullptr;
  if (generic.rewritesDeferred()) {
    if (expansionsNeeded(generic, walker, mode, hardware))
      buildExpansions(generic, walker, mode);
    else
      knownHardware = &hardware;
  }
  if (mode == kLayoutInitial) {
    chosen = chooseRewriteInitial(generic, walker, size, knownHardware);
  } else if (mode == kLayoutRelax) {
    chosen = chooseRewriteRelax(generic, walker, size, knownHardware);
    if (growOnly && chosen >= 0 && size < walker.previousNodeSize) {
      commitMode = kLayoutFixed;
      if (generic.rewritesDeferred()) buildExpansions(generic, walker, mode);
      chosen = chooseRewriteLargest(generic, walker, kLayoutFixed, size);
    }
  } else {
    chosen = chooseRewriteLargest(generic, walker, kLayoutFixed, size);
  }
  generic.selected = chosen < 0 ? FGeneric::kNoneSelected : static_cast<uint32_t>(chosen);
  NodeLayout result;
  result.changed = mode == kLayoutInitial ? chosen >= 0 : generic.selected != before;
  if (chosen < 0) {
    result.failed = true;
    return result;
  }
  RewriteLayout layout = layoutRewrite(*generic.groups[static_cast<size_t>(chosen)], walker, commitMode, true);
  if (layout.failed) result.failed = true;
  if (generic.line) currentLayoutLine() = generic.line;
  result.size = layout.size;
  return result;
}

// layoutRewrite for a node that stands for a generic with only its hardware group (see
// FlowNode::waitingExpansions): the node is that group's one instruction, laid out in
// the flow as layoutRewrite lays it out in the group. Its forms have no alignment.
RewriteLayout layoutStandIn(FlowNode& node, FlowWalker& outer, int32_t mode, bool commit) {
  FlowWalker walker(outer.section, outer.flow);
  walker.position = &node;
  walker.offset = outer.offset;
  walker.previousOffset = outer.previousOffset;
  walker.pass = outer.pass;
  if (node.line) currentLayoutLine() = node.line;
  walker.previousNodeSize = static_cast<int32_t>(node.layoutSize);
  RewriteLayout result;
  FlowNode::LayoutChoice choice = node.layOut(walker, mode, true);
  if (choice.chosen < 0) {
    result.failed = true;
    result.usable = 0;
  } else {
    if (choice.usable == 0 || choice.usable == 2) result.usable = choice.usable;
    result.size = walker.nodeSize;
  }
  if (commit) node.layoutSize = static_cast<uint32_t>(result.size);
  return result;
}

// layOutGeneric for a node that stands for a waiting generic. While its hardware form
// alone decides, the node chooses as the generic would; otherwise it becomes the generic,
// which builds its expansions and chooses.
NodeLayout layOutStandIn(FlowNode*& node, FlowWalker& walker, int32_t mode, bool growOnly) {
  RewriteLayout hardware;
  bool needed = mode == kLayoutFixed;
  if (!needed) {
    hardware = layoutStandIn(*node, walker, mode, false);
    const int32_t unitBits = walker.section && walker.section->mauBits > 0 ? walker.section->mauBits : 8;
    const int32_t least = node->waitingExpansions() * 16 / unitBits;
    needed = hardware.failed || (mode == kLayoutRelax && hardware.usable != 1) || hardware.size > least;
  }
  if (!needed && mode == kLayoutRelax && growOnly && hardware.size < walker.previousNodeSize) needed = true;
  if (needed) {
    FGeneric* generic = node->becomeGeneric(*walker.section);
    node = generic;
    walker.position = generic;
    return layOutGeneric(*generic, walker, mode, growOnly);
  }
  NodeLayout result;
  const bool chosenBefore = node->chooseStandIn();
  result.changed = mode == kLayoutInitial || !chosenBefore;
  // The hardware form's layout above chose afresh at the same place: choosing again would
  // come to the same, so it is only committed.
  RewriteLayout layout = hardware;
  node->layoutSize = static_cast<uint32_t>(layout.size);
  if (layout.failed) result.failed = true;
  result.size = layout.size;
  return result;
}

NodeLayout layOutInstruction(FlowNode& node, FlowWalker& walker, int32_t mode, bool growOnly) {
  FlowNode::LayoutChoice choice = node.layOut(walker, mode, false);
  NodeLayout result;
  // After the cap an instruction that would shrink settles on its largest fitting
  // form: sizes then only grow, and the passes end.
  if (growOnly && mode == kLayoutRelax && choice.chosen >= 0 && walker.nodeSize < walker.previousNodeSize) {
    bool changedBefore = choice.changed;
    choice = node.layOut(walker, kLayoutFixed, false);
    choice.changed = choice.changed || changedBefore;
  }
  result.changed = choice.changed;
  if (choice.chosen < 0) {
    result.failed = true;
    return result;
  }
  if (choice.padding > 0) shiftPrecedingLabels(walker, walker.offset + static_cast<int32_t>(choice.padding));
  result.size = walker.nodeSize;
  return result;
}

bool jumpChainOptimisation(const LineInfo* line) {
  return line && line->controlState && line->controlState->jumpChainOpt;
}

// Jumps are met in the same order in every pass: the initial pass records them, the
// relax passes find the same jump at the next index and give it its new offset.
void trackJump(JumpChainSet& chains, FlowNode& node, int32_t mode, int32_t offset, size_t& jumpIndex) {
  if (!jumpChainOptimisation(node.line)) return;
  if (mode == kLayoutInitial) {
    chains.recordJump(&node, offset);
  } else if (jumpIndex < chains.jumps.size() && chains.jumps[jumpIndex]->instruction == &node) {
    chains.jumps[jumpIndex++]->offset = offset;
  }
}

}  // namespace

bool instructionSizeOptimisation(const Section& section) {
  const ControlState* controls = section.line ? section.line->controlState.get() : nullptr;
  return controls ? controls->instrSizeOpt : true;
}

void updateSectionSize(Section& section, int32_t endOffset) {
  if (section.flags.isMax() && static_cast<int32_t>(section.size) > endOffset) return;
  section.size = static_cast<uint32_t>(endOffset);
}

OrbaOptimizer::PassResult OrbaOptimizer::relaxSection(FlowWalker& walker, int32_t mode, JumpChainSet* chains,
                                                      bool growOnly) {
  PassResult result;
  size_t jumpIndex = 0;
  for (FlowNode* node = walker.position; node; node = node->nextNode()) {
    walker.position = node;
    currentLayoutLine() = node->line;
    walker.previousNodeSize = static_cast<int32_t>(node->layoutSize);
    NodeLayout layout;
    switch (node->kind) {
      case FlowNode::kJumpRecord:
      case FlowNode::kInstruction:
        if (node->waitingExpansions() >= 0) {
          layout = layOutStandIn(node, walker, mode, growOnly);
          break;
        }
        if (chains && mode != kLayoutFixed) trackJump(*chains, *node, mode, walker.offset, jumpIndex);
        layout = layOutInstruction(*node, walker, mode, growOnly);
        break;
      case FlowNode::kGeneric:
        layout = layOutGeneric(static_cast<FGeneric&>(*node), walker, mode, growOnly);
        break;
      case FlowNode::kLabel: {
        auto& label = static_cast<FLabel&>(*node);
        layout.size = labelPadding(label, walker);
        placeLabelSymbol(label.symbol, walker.offset + layout.size, walker.pass);
        // Both sides before the padding: a padded label would otherwise look moved
        // in every pass.
        layout.changed = walker.offset != walker.previousOffset;
        break;
      }
      case FlowNode::kReset:
        if (walker.section) updateSectionSize(*walker.section, walker.offset);
        walker.offset = 0;
        walker.previousOffset = 0;
        walker.nodeSize = 0;
        break;
      case FlowNode::kSimpleRun: {
        // A run places the labels among its instructions; they move when it does.
        FlowNode::LayoutChoice choice = node->layOut(walker, mode, false);
        layout.size = walker.nodeSize;
        layout.changed = choice.changed;
        break;
      }
      case FlowNode::kSimple: {
        // Outside the initial pass the node checks its conditions and may turn
        // unusable for good.
        FlowNode::LayoutChoice choice = node->layOut(walker, mode, false);
        if (choice.chosen < 0)
          layout.failed = true;
        else
          layout.size = walker.nodeSize;
        break;
      }
      default: {
        int32_t units = node->computeSize(walker.section, static_cast<uint32_t>(walker.offset));
        layout.size = units > 0 ? units : 0;
        break;
      }
    }
    result.changed = result.changed || layout.changed;
    result.failed = result.failed || layout.failed;
    node->layoutSize = static_cast<uint32_t>(layout.size);
    walker.advance(layout.size);
  }
  walker.position = nullptr;
  return result;
}

OrbaOptimizer::PassResult OrbaOptimizer::layOutSection(Section& section, int32_t mode, JumpChainSet* chains,
                                                       bool growOnly) {
  FlowWalker* walker = section.flowWalker();
  walker->reset();
  PassResult result = relaxSection(*walker, mode, chains, growOnly);
  updateSectionSize(section, walker->offset);
  return result;
}

void OrbaOptimizer::run() {
  relaxIterations_ = 0;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  // The code sections still to relax, in the order of the section list, each with
  // the chain set of its jumps.
  struct Relaxing {
    Section* section;
    std::unique_ptr<JumpChainSet> chains;
  };
  std::vector<Relaxing> relaxing;
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (section->laidOut || section == placeholderSection()) continue;
    if (!section->isCode()) {
      layOutSection(*section, kLayoutInitial, nullptr, false);
      section->laidOut = 1;
    } else if (instructionSizeOptimisation(*section)) {
      // The optimistic start: neither size nor laidOut are final after it.
      auto chains = std::make_unique<JumpChainSet>(section);
      FlowWalker* walker = section->flowWalker();
      walker->reset();
      relaxSection(*walker, kLayoutInitial, chains.get());
      relaxing.push_back({section, std::move(chains)});
    } else {
      layOutSection(*section, kLayoutFixed, nullptr, false);
      section->laidOut = 1;
    }
  }
  std::vector<std::unique_ptr<JumpChainSet>> allChains;
  for (Relaxing& entry : relaxing) {
    entry.chains->planChains();
    entry.chains->retarget();
  }

  bool lastFailed = false;
  while (!relaxing.empty()) {
    if (relaxIterations_ >= kMaxRelaxPasses + kMaxGrowthPasses) {
      for (Relaxing& entry : relaxing) {
        entry.section->laidOut = 1;
        allChains.push_back(std::move(entry.chains));
      }
      relaxing.clear();
      break;
    }
    const bool growOnly = relaxIterations_ >= kMaxRelaxPasses;
    ++relaxIterations_;
    lastFailed = false;
    size_t kept = 0;
    for (Relaxing& entry : relaxing) {
      JumpChainSet* chains = jumpChainOptimisation(entry.section->line) ? entry.chains.get() : nullptr;
      PassResult pass = layOutSection(*entry.section, kLayoutRelax, chains, growOnly);
      lastFailed = lastFailed || pass.failed;
      if (pass.changed) {
        relaxing[kept++] = std::move(entry);
      } else {
        entry.section->laidOut = 1;
        allChains.push_back(std::move(entry.chains));
      }
    }
    relaxing.resize(kept);
  }
  // With every offset final the chains are checked once more; a section that could
  // not be laid out leaves them as planned.
  if (!lastFailed) {
    for (auto& chains : allChains) {
      chains->checkChains();
      chains->retarget();
    }
  }
  currentLayoutLine() = nullptr;
}

void OrbaOptimizer::layoutDebugSections() {
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (section->laidOut || section == placeholderSection() || !section->flags.isDebug()) continue;
    layOutSection(*section, kLayoutInitial, nullptr, false);
    section->laidOut = 1;
  }
  currentLayoutLine() = nullptr;
}
