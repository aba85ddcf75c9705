#include "flow/FGeneric.h"

#include <algorithm>
#include <new>
#include <ostream>

#include "flow/FlowWalker.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FGeneric, "FGeneric")

FGeneric::Rewrite* FGeneric::RewriteGroups::add() {
  if (count_ == 0) {
    first_ = Rewrite();
    count_ = 1;
    return &first_;
  }
  if (count_ - 1 == capacity_) {
    uint32_t grown = capacity_ ? 2 * capacity_ : 4;
    auto** fresh = new Rewrite*[grown];
    std::copy(more_, more_ + capacity_, fresh);
    delete[] more_;
    more_ = fresh;
    capacity_ = grown;
  }
  auto* made = new Rewrite();
  more_[count_ - 1] = made;
  ++count_;
  return made;
}

void FGeneric::RewriteGroups::clear() {
  for (uint32_t index = 1; index < count_; ++index) delete more_[index - 1];
  delete[] more_;
  more_ = nullptr;
  capacity_ = 0;
  count_ = 0;
  first_ = Rewrite();
}

FGeneric::~FGeneric() { releaseData(); }

void FGeneric::releaseData() {
  // The nodes of the groups are in no section's flow: the generic is their only owner.
  for (Rewrite* group : groups) {
    while (FlowNode* node = group->nodes.first()) {
      group->nodes.remove(node);
      delete node;
    }
  }
  groups.clear();
  selected = kNoneSelected;
  excludedCount = 0;
}

void FGeneric::addRewrite(FlowNode* node) {
  int16_t key = node->line ? node->line->variant() : 0;
  if (groups.empty() || groups.back()->key != key) groups.add()->key = key;
  groups.back()->nodes.append(node);
}

void FGeneric::setExcluded(size_t group, bool value) {
  Rewrite& rewrite = *groups[group];
  if (value) {
    if (!rewrite.excluded) ++excludedCount;
  } else if (rewrite.excluded) {
    --excludedCount;
  }
  rewrite.excluded = value ? 1 : 0;
}

void FGeneric::followToSection(const Section& from, Section& to) {
  for (Rewrite* group : groups)
    for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) node->followToSection(from, to);
}

FlowNode* FGeneric::clone() const {
  auto* copy = new (std::nothrow) FGeneric(line);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->selected = selected;
  copy->hasHardwareGroup = hasHardwareGroup;
  copy->excludedCount = excludedCount;
  copy->layoutState = layoutState;
  for (const Rewrite* group : groups) {
    Rewrite* twin = copy->groups.add();
    twin->key = group->key;
    twin->isDefault = group->isDefault;
    twin->excluded = group->excluded;
    twin->condition = group->condition;
    for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) {
      FlowNode* nodeCopy = node->clone();
      if (nodeCopy) twin->nodes.append(nodeCopy);
    }
  }
  return copy;
}

int32_t FGeneric::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  const Rewrite* group = selectedGroup();
  if (!group) return 0;
  int32_t total = 0;
  for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) {
    int32_t units = node->computeSize(section, offset);
    if (units > 0) {
      total += units;
      offset += static_cast<uint32_t>(units);
    }
  }
  if (section && section->laidOut) size = total;
  return total;
}

void FGeneric::emit(ObjectWriter& writer) {
  const Rewrite* group = selectedGroup();
  ErrorHandler* errors = errorHandler();
  if (!group) {
    // Every rewrite's failure is told, the unbuilt ones' too.
    buildDeferredRewrites();
    errors->report(E_no_generic_rewrites, line);
    for (const Rewrite* rewrite : groups)
      for (FlowNode* node = rewrite->nodes.first(); node; node = node->nextNode())
        if (const char* text = node->failureText()) errors->reportText(text, line);
    return;
  }
  bool hardware = selected == 0 && hasHardwareGroup;
  if (hardware && line) line->flags[2] |= lineflag::kGenericMark;
  for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) {
    if (!node->line) continue;
    currentLayoutLine() = node->line;
    node->line->flags[2] |= lineflag::kGeneratedListable;
    if (writer.section) node->line->setCodeAddress(writer.section->currentLocation());
    node->emit(writer);
    if (hardware) node->line->flags[2] |= lineflag::kGenericMark;
  }
}

uint16_t FGeneric::getCycles() const {
  const Rewrite* group = selectedGroup();
  if (!group) return 0;
  uint64_t total = 0;
  for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) total += node->getCycles();
  return static_cast<uint16_t>(total);
}

void FGeneric::dump(std::ostream& out) const {
  out << "FGeneric()\n";
  for (const Rewrite* group : groups) {
    out << "Rewrite(" << (group->isDefault ? "default" : "") << ")\n";
    for (FlowNode* node = group->nodes.first(); node; node = node->nextNode()) node->dump(out);
    out << "Rewrite() end\n";
  }
  out << "FGeneric() end\n";
}
