#include "isa/FInstruction.h"

#include <algorithm>
#include <new>
#include <ostream>
#include <unordered_map>

#include "flow/DataEncoder.h"
#include "flow/ExpressionValidator.h"
#include "flow/FAlign.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionEncoding.h"
#include "isa/PostEncode.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

VEKT_POOLED_CLASS_IMPL(FInstruction, "FInstruction")

namespace {

}  // namespace

struct KeptErrors {
  const char* whenError = nullptr;
  const char* otherError = nullptr;
};

namespace {

struct InstructionErrors {
  std::unordered_map<const FInstruction*, KeptErrors> byNode;
};

const KeptErrors* keptErrors(const FInstruction& node) {
  if (!node.keepsErrors) return nullptr;
  auto& table = runPart<InstructionErrors>().byNode;
  auto found = table.find(&node);
  return found == table.end() ? nullptr : &found->second;
}

}  // namespace

const char* FInstruction::whenError() const {
  const KeptErrors* kept = keptErrors(*this);
  return kept ? kept->whenError : nullptr;
}

const char* FInstruction::otherError() const {
  const KeptErrors* kept = keptErrors(*this);
  return kept ? kept->otherError : nullptr;
}

const char* FInstruction::failureText() const {
  const KeptErrors* kept = keptErrors(*this);
  if (!kept) return nullptr;
  return kept->whenError ? kept->whenError : kept->otherError;
}

KeptErrors& FInstruction::errorsToKeep() {
  KeptErrors& kept = runPart<InstructionErrors>().byNode[this];
  // An entry of a node that has gone may still stand at this address: a node that
  // keeps nothing yet starts afresh.
  if (!keepsErrors) kept = KeptErrors{};
  keepsErrors = 1;
  return kept;
}

void FInstruction::setWhenError(const char* text) {
  if (text || keepsErrors) errorsToKeep().whenError = text;
}

void FInstruction::setOtherError(const char* text) {
  if (text || keepsErrors) errorsToKeep().otherError = text;
}

namespace {

void sortCandidates(IPInstruction** first, IPInstruction** last) {
  auto key = [](const IPInstruction* candidate) {
    // Null last; then by width; a default form before the others of its width.
    if (!candidate) return uint32_t{0xFFFFFFFF};
    uint32_t bits = candidate->encoding ? candidate->encoding->bits : 0;
    bool preferred = candidate->attributes && candidate->attributes->isDefault;
    return bits * 2 + (preferred ? 0u : 1u);
  };
  std::stable_sort(first, last, [&](const IPInstruction* a, const IPInstruction* b) { return key(a) < key(b); });
}

}  // namespace

void sortCandidates(std::vector<IPInstruction*>& candidates) {
  sortCandidates(candidates.data(), candidates.data() + candidates.size());
}

FInstruction::FInstruction(LineInfo* line, std::vector<IPInstruction*> taken) : FlowNode(line, kInstruction) {
  candidates.reserve(taken.size());
  for (IPInstruction* candidate : taken) candidates.push_back(candidate);
  sortCandidates(candidates.begin(), candidates.end());
}

FInstruction::~FInstruction() { releaseData(); }

void FInstruction::releaseData() {
  for (IPInstruction* candidate : candidates) delete candidate;
  candidates.reset();
  selected = -1;
  excludedCount = 0;
  fixed = 0;
}

void FInstruction::followToSection(const Section& from, Section& to) {
  for (IPInstruction* candidate : candidates)
    if (candidate && candidate->encoding)
      for (OperandEncoding* operand : candidate->encoding->operands) moveSectionChecks(operand->expression, from, to);
}

FlowNode* FInstruction::clone() const {
  InlineVector<IPInstruction*, 2> copies;
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
  copy->excludedCount = excludedCount;
  copy->fixed = fixed;
  copy->setWhenError(whenError());
  copy->setOtherError(otherError());
  return copy;
}

void FInstruction::dump(std::ostream& out) const {
  out << "FInstruction(selected = " << static_cast<int>(selected) << ", candidates = " << candidates.size()
      << ", excluded = " << static_cast<unsigned>(excludedCount) << ", fixed = " << static_cast<unsigned>(fixed)
      << ")\n";
  for (const IPInstruction* candidate : candidates) {
    if (!candidate || !candidate->encoding) continue;
    out << "\tbits = " << static_cast<unsigned>(candidate->encoding->bits) << ", cycles = " << candidate->cycles
        << '\n';
  }
}

// ---------------------------------------------------------------------------------------
// Layout

namespace {

// The form's last validation result: 0 rejected, 1 valid, 2 undecided.
void setUsable(IPInstruction& form, uint32_t usable) { form.count = static_cast<uint8_t>(usable); }

uint32_t unitBitsOf(const Section* section) {
  return section && section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8u;
}

int32_t unitsOf(const IPInstruction& form, const Section* section) {
  uint32_t bits = form.encoding ? form.encoding->bits : 0;
  uint32_t unitBits = unitBitsOf(section);
  return static_cast<int32_t>((bits + unitBits - 1) / unitBits);
}

int32_t paddingOf(const IPInstruction& form, const Section* section, uint32_t offset) {
  if (form.alignment <= 0) return 0;
  if (!section) return std::max(0, computeAlignPadding(nullptr, offset, form.alignment, false, nullptr));
  return static_cast<int32_t>(alignmentPadding(section, offset, static_cast<uint32_t>(form.alignment)));
}

// The three validators of layout, each made through the factory on first use and kept
// for the run: the final choice, the relax passes and the jump chains must not disturb
// one another's state.
enum ValidatorUse { kChooseValidator, kRelaxValidator };

struct LayoutValidators {
  ExpressionValidator* validators[2] = {nullptr, nullptr};
  ~LayoutValidators() {
    for (ExpressionValidator* validator : validators) delete validator;
  }
};

ExpressionValidator& layoutValidator(ValidatorUse use) {
  ExpressionValidator** validators = runPart<LayoutValidators>().validators;
  if (!validators[use]) validators[use] = orbaFactory()->createExpressionValidator();
  return *validators[use];
}

// The "when" conditions of the form; false, with the E122 text kept in the validator
// and the form marked rejected, when one fails.
bool conditionsHold(IPInstruction& form, ExpressionValidator& validator) {
  const char* message = nullptr;
  if (!form.attributes || form.attributes->findFirstUnsatisfiedCase(&message, true)) return true;
  validator.fail(message ? errorHandler()->formatMessage(E_when_check, message) : nullptr,
                 ExpressionValidator::kWhenFailed);
  setUsable(form, 0);
  return false;
}

// Every operand field of the form at the validator's place; stops at the first that
// cannot fit.
int validateOperands(IPInstruction& form, ExpressionValidator& validator) {
  int verdict = 1;
  if (form.encoding) {
    for (OperandEncoding* operand : form.encoding->operands) {
      operand->status[2] = 1;
      if (!operand->expression) continue;
      int answer;
      if (operand->relocFunction[0] == 0 && isa::operandNeedsRelocation(*operand, validator.section)) {
        validator.fail(nullptr, ExpressionValidator::kRelocationRefused);
        answer = 0;
      } else {
        answer = validator.validate(operand->expression, isa::validatorOperand(*operand));
      }
      operand->status[2] = static_cast<uint8_t>(answer);
      if (answer == 0) {
        verdict = 0;
        break;
      }
      if (answer == 2) verdict = 2;
    }
  }
  validator.result = verdict;
  return verdict;
}

// The widest operand field of an undecided form; 0 when one of its operands cannot fit.
uint32_t operandWidth(IPInstruction& form, const Section* section) {
  uint32_t width = 0;
  if (!form.encoding) return 0;
  for (OperandEncoding* operand : form.encoding->operands) {
    if (operand->status[2] == 0) return 0;
    if (operand->relocFunction[0] == 0 && isa::operandNeedsRelocation(*operand, section)) return 0;
    width = std::max<uint32_t>(width, isa::operandFieldWidth(*operand));
  }
  return width;
}

bool isDefaultForm(const IPInstruction& form) { return form.attributes && form.attributes->isDefault; }

}  // namespace

int validateInstructionForm(IPInstruction& form, ExpressionValidator& validator) {
  if (!conditionsHold(form, validator)) return validator.result = 0;
  return validateOperands(form, validator);
}

int32_t FInstruction::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  IPInstruction* form = selectedCandidate();
  if (!form) return -1;
  int32_t formSize = std::max(0, unitsOf(*form, section) + paddingOf(*form, section, offset));
  if (section && section->laidOut) size = formSize;
  return formSize;
}

uint16_t FInstruction::getCycles() const {
  const IPInstruction* form = selectedCandidate();
  return form ? static_cast<uint16_t>(form->cycles) : 0;
}

int FInstruction::chooseInstructionForm(bool keepOffset, int32_t& padding, FlowWalker& walker, bool& chosen) {
  ExpressionValidator& validator = layoutValidator(kChooseValidator);
  Section* section = walker.section;
  const auto offset = static_cast<uint32_t>(walker.offset);
  padding = 0;
  chosen = false;
  if (fixed) {
    IPInstruction* form = selectedCandidate();
    walker.nodeSize = 0;
    if (!form) return -1;
    int32_t skip = paddingOf(*form, section, offset);
    if (form->alignment > 0) padding = skip;
    walker.nodeSize = skip + unitsOf(*form, section);
    return selected;
  }
  // The widest form first: without relaxation a form must fit wherever the code ends up.
  for (size_t index = candidates.size(); index-- > 0;) {
    IPInstruction* form = candidates[index];
    if (!form) continue;
    int32_t skip = paddingOf(*form, section, offset);
    padding = form->alignment > 0 ? skip : 0;
    validator.init(section, keepOffset ? offset : offset + static_cast<uint32_t>(skip), walker.previousOffset);
    if (validateInstructionForm(*form, validator) == 0) continue;
    walker.nodeSize = skip + unitsOf(*form, section);
    chosen = true;
    selected = static_cast<int8_t>(index);
    fixed = 1;
    return selected;
  }
  padding = 0;
  walker.nodeSize = 0;
  return -1;
}

int FInstruction::sizeInstructionInitial(bool /*keepOffset*/, int32_t& padding, FlowWalker& walker, bool& changed) {
  Section* section = walker.section;
  const auto offset = static_cast<uint32_t>(walker.offset);
  padding = 0;
  if (fixed) {
    IPInstruction* form = selectedCandidate();
    walker.nodeSize = 0;
    if (!form) return -1;
    padding = paddingOf(*form, section, offset);
    walker.nodeSize = padding + unitsOf(*form, section);
    return selected;
  }
  // Every form is assumed to fit: the relax passes find out.
  int winner = -1;
  int32_t winnerSize = 0;
  for (size_t index = 0; index < candidates.size(); ++index) {
    IPInstruction* form = candidates[index];
    if (!form || form->excluded) continue;
    int32_t formSize = unitsOf(*form, section) + paddingOf(*form, section, offset);
    if (winner < 0 || winnerSize == 0 || formSize < winnerSize) {
      winner = static_cast<int>(index);
      winnerSize = formSize;
    }
  }
  if (winner >= 0) {
    changed = true;
    padding = paddingOf(*candidates[winner], section, offset);
    walker.nodeSize = winnerSize;
  } else {
    walker.nodeSize = 0;
  }
  selected = static_cast<int8_t>(winner);
  if (excludedCount + 1u == candidates.size()) fixed = 1;
  return winner;
}

namespace {

// Keeps the message of a rejected form: the first failed condition, or the latest other
// reason.
void keepFailure(FInstruction& node, const ExpressionValidator& validator) {
  if (!validator.message) return;
  if (validator.failureKind == ExpressionValidator::kWhenFailed) {
    if (!node.whenError()) node.setWhenError(validator.message);
  } else {
    node.setOtherError(validator.message);
  }
}

void exclude(FInstruction& node, IPInstruction& form) {
  if (form.excluded) return;
  form.excluded = 1;
  ++node.excludedCount;
}

}  // namespace

int FInstruction::sizeInstructionRelax(bool keepOffset, int32_t& padding, FlowWalker& walker, bool& changed) {
  ExpressionValidator& validator = layoutValidator(kRelaxValidator);
  Section* section = walker.section;
  const auto offset = static_cast<uint32_t>(walker.offset);
  const bool singleForm = candidates.size() == 1;
  padding = 0;
  changed = false;
  auto validationAddress = [&](int32_t skip) { return keepOffset ? offset : offset + static_cast<uint32_t>(skip); };

  if (IPInstruction* current = selectedCandidate()) {
    int32_t skip = paddingOf(*current, section, offset);
    padding = skip;
    validator.init(section, validationAddress(skip), walker.previousOffset);
    int verdict = validateInstructionForm(*current, validator);
    setUsable(*current, static_cast<uint32_t>(verdict));
    if (verdict == 1 || (verdict == 2 && (fixed || singleForm))) {
      walker.nodeSize = unitsOf(*current, section) + skip;
      return selected;
    }
    keepFailure(*this, validator);
    if (verdict == 0) exclude(*this, *current);
  }

  const int before = selected;
  int candidate = -1;
  int32_t candidateSize = 0;
  uint32_t candidateUsable = 0;
  for (size_t index = 0; index < candidates.size(); ++index) {
    IPInstruction* form = candidates[index];
    if (!form) continue;
    setUsable(*form, 1);
    if (form->excluded) continue;
    int32_t skip = paddingOf(*form, section, offset);
    padding = skip;
    validator.init(section, validationAddress(skip), walker.previousOffset);
    int verdict = validateInstructionForm(*form, validator);
    int32_t formSize = unitsOf(*form, section) + skip;
    if (verdict == 0) {
      exclude(*this, *form);
      keepFailure(*this, validator);
      setUsable(*form, 0);
      continue;
    }
    bool wins = false;
    if (candidate < 0) {
      wins = true;
    } else if (verdict == 1) {
      if (candidateUsable == 2 || candidateSize == 0 || formSize < candidateSize)
        wins = true;
      else if (formSize == candidateSize)
        wins = !isDefaultForm(*candidates[candidate]) && isDefaultForm(*form);
    } else if (candidateUsable == 2) {
      uint32_t width = operandWidth(*form, section);
      uint32_t candidateWidth = operandWidth(*candidates[candidate], section);
      if (width != candidateWidth)
        wins = width > candidateWidth;
      else
        wins = !isDefaultForm(*candidates[candidate]) && isDefaultForm(*form);
    }
    if (wins) {
      candidate = static_cast<int>(index);
      candidateSize = formSize;
      candidateUsable = static_cast<uint32_t>(verdict);
    }
    setUsable(*form, static_cast<uint32_t>(verdict));
  }

  padding = 0;
  if (candidate >= 0) {
    changed = candidate != before;
    if (candidates[candidate]->alignment > 0) padding = paddingOf(*candidates[candidate], section, offset);
    walker.nodeSize = candidateSize;
  } else {
    walker.nodeSize = 0;
  }
  selected = static_cast<int8_t>(candidate);
  if (singleForm || excludedCount + 1u == candidates.size()) fixed = 1;
  return candidate;
}

void FInstruction::forgetChoice() {
  for (IPInstruction* form : candidates) {
    if (!form) continue;
    form->excluded = 0;
    setUsable(*form, 1);
  }
  excludedCount = 0;
  fixed = 0;
  selected = -1;
}

FlowNode::LayoutChoice FInstruction::layOut(FlowWalker& walker, int32_t mode, bool fresh) {
  if (fresh) forgetChoice();
  LayoutChoice choice;
  int32_t padding = 0;
  bool changed = false;
  const int before = selected;
  switch (mode) {
    case 0: choice.chosen = sizeInstructionInitial(false, padding, walker, changed); break;
    case 1: choice.chosen = sizeInstructionRelax(false, padding, walker, changed); break;
    default: {
      bool chosen = false;
      choice.chosen = chooseInstructionForm(false, padding, walker, chosen);
      changed = chosen && selected != before;
      break;
    }
  }
  choice.padding = padding > 0 ? static_cast<uint32_t>(padding) : 0;
  choice.changed = changed;
  const IPInstruction* form = selectedCandidate();
  choice.usable = form ? static_cast<uint8_t>(form->count) : 0;
  return choice;
}

// ---------------------------------------------------------------------------------------
// Output

void FInstruction::emit(ObjectWriter& writer) {
  IPInstruction* form = selectedCandidate();
  ErrorHandler* errors = errorHandler();
  if (!form) {
    if (const char* text = failureText())
      errors->reportText(text, line);
    else
      errors->report(E_invalid_instruction_encoding, line);
    return;
  }
  Section* section = writer.section;
  if (form->alignment > 0 && section) {
    const char* changedText = nullptr;
    int32_t skip = computeAlignPadding(section, static_cast<uint32_t>(section->currentLocation()), form->alignment,
                                       section->flags.powerOfTwoAlignment(), &changedText);
    if (changedText) errors->reportText(changedText, line);
    if (skip > 0) insertAlignment(writer, *this, static_cast<uint32_t>(skip), kInstructionAlignmentRemark, true);
    if (static_cast<uint32_t>(form->alignment) > section->maxAlignment)
      section->maxAlignment = static_cast<uint32_t>(form->alignment);
  }
  if (form->encoding) {
    if (form->encoding->bits == 0)
      errors->report(W_instruction_has_no_size, line);
    else
      isa::encodeInstruction(writer, *form, line);
    if (form->attributes) form->attributes->issueConditionalWarnings(line);
  }
  setLineCycles(line, static_cast<uint16_t>(form->cycles));
}
