#include "isa/FInstruction.h"

#include <algorithm>
#include <new>
#include <ostream>

#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"

VEKT_POOLED_CLASS_IMPL(FInstruction, "FInstruction")

void sortCandidates(std::vector<IPInstruction*>& candidates) {
  auto key = [](const IPInstruction* candidate) {
    // Null last; then by width; a default form before the others of its width.
    if (!candidate) return uint32_t{0xFFFFFFFF};
    uint32_t bits = candidate->encoding ? candidate->encoding->bits : 0;
    bool preferred = candidate->attributes && candidate->attributes->isDefault;
    return bits * 2 + (preferred ? 0u : 1u);
  };
  std::stable_sort(candidates.begin(), candidates.end(),
                   [&](const IPInstruction* a, const IPInstruction* b) { return key(a) < key(b); });
}

FInstruction::FInstruction(LineInfo* line, std::vector<IPInstruction*> taken)
    : FlowNode(line, kInstruction), candidates(std::move(taken)) {
  sortCandidates(candidates);
}

FInstruction::~FInstruction() { releaseData(); }

void FInstruction::releaseData() {
  for (IPInstruction* candidate : candidates) delete candidate;
  candidates.clear();
  candidates.shrink_to_fit();
  selected = -1;
}

FlowNode* FInstruction::clone() const {
  std::vector<IPInstruction*> copies;
  copies.reserve(candidates.size());
  for (const IPInstruction* candidate : candidates) copies.push_back(candidate ? candidate->copy() : nullptr);
  auto* copy = new (std::nothrow) FInstruction(line, std::vector<IPInstruction*>{});
  if (!copy) {
    for (IPInstruction* candidate : copies) delete candidate;
    return nullptr;
  }
  copy->copyBaseForClone(*this);
  // The order is kept as it is: the selected index refers to it.
  copy->candidates = std::move(copies);
  copy->selected = selected;
  copy->whenError = whenError;
  copy->otherError = otherError;
  return copy;
}

void FInstruction::dump(std::ostream& out) const {
  out << "FInstruction(selected = " << static_cast<int>(selected) << ", candidates = " << candidates.size()
      << ")\n";
  for (const IPInstruction* candidate : candidates) {
    if (!candidate || !candidate->encoding) continue;
    out << "\tbits = " << static_cast<unsigned>(candidate->encoding->bits) << ", cycles = " << candidate->cycles
        << '\n';
  }
}
