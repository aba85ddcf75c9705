#include "isa/FormScreening.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "isa/CandidateNodes.h"
#include "isa/ConditionBuilders.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "isa/PostEncode.h"
#include "util/RunState.h"

namespace isa {

namespace {

// Operands screening can hold; forms with more are built as they are.
constexpr uint32_t kScreenedOperands = 16;

bool queuesConditions(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->kind == AttributeSpecItem::kOperand && (item->id == ATTR_when || item->id == ATTR_warning)) return true;
  return false;
}

bool reports(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->builder != nullptr && conditions::reportsWhenBuilt(item->builder)) return true;
  return false;
}

// Whether the list holds a jump item: building the list marks the statement as a jump.
bool marksJump(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->id == ATTR_jump || item->id == ATTR_jumpConditional) return true;
  return false;
}

bool leavesTrace(const PatternElement* elements, uint32_t count);

bool sequenceLeavesTrace(const OperandSequence* sequence) {
  return sequence != nullptr &&
         (queuesConditions(sequence->description->spec) || leavesTrace(sequence->elements, sequence->count));
}

// Whether building these elements could leave something behind when the candidate is
// dropped, or put a condition ahead of the description's: a syntax failure noted by an
// operand that must be a number, a condition queued by an element's own list or by the
// list of a register or mnemonic it names.
bool leavesTrace(const PatternElement* elements, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    if (queuesConditions(item.spec)) return true;
    switch (item.kind) {
      case kItemExpression:
        for (const auto* t = static_cast<const OperandTransform*>(item.node); t && t->kind != transform::kEnd; ++t)
          if (t->kind == transform::kMustBeInteger) return true;
        break;
      case kItemSlot: {
        const auto* slot = static_cast<const OperandSlot*>(item.node);
        for (uint32_t k = 0; k < slot->count; ++k)
          if (queuesConditions(slot->names[k].record->spec)) return true;
        break;
      }
      case kItemSequence:
        if (sequenceLeavesTrace(static_cast<const OperandSequence*>(item.node))) return true;
        break;
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k)
          if (sequenceLeavesTrace(choice->choices[k].sequence)) return true;
        break;
      }
      default:
        break;
    }
  }
  return false;
}

// Whether building these elements may mark the statement as a jump: an element's own list,
// the list of a register or mnemonic it names or of a nested form holds a jump item.
bool elementsMarkJump(const PatternElement* elements, uint32_t count);

bool sequenceMarksJump(const OperandSequence* sequence) {
  return sequence != nullptr &&
         (marksJump(sequence->description->spec) || elementsMarkJump(sequence->elements, sequence->count));
}

bool elementsMarkJump(const PatternElement* elements, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    if (marksJump(item.spec)) return true;
    switch (item.kind) {
      case kItemSlot: {
        const auto* slot = static_cast<const OperandSlot*>(item.node);
        for (uint32_t k = 0; k < slot->count; ++k)
          if (marksJump(slot->names[k].record->spec)) return true;
        break;
      }
      case kItemSequence:
        if (sequenceMarksJump(static_cast<const OperandSequence*>(item.node))) return true;
        break;
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k)
          if (sequenceMarksJump(choice->choices[k].sequence)) return true;
        break;
      }
      default:
        break;
    }
  }
  return false;
}

// Whether an operand is written by more than one element: screening reads each value where
// it is written, which must then be its last value.
bool writesAnOperandTwice(const PatternElement* elements, uint32_t count) {
  uint32_t written = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    for (int32_t index : {item.operandIndex, item.secondIndex}) {
      if (index < 0) continue;
      if (index >= 32 || (written & (1u << index)) != 0) return true;
      written |= 1u << index;
    }
  }
  return false;
}

// The description's first "when" item, when screening may decide it.
const AttributeSpecItem* firstCondition(const InstructionDescription& description) {
  for (const AttributeSpecItem* item = description.spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->id == ATTR_when && item->kind == AttributeSpecItem::kOperand) return item;
  return nullptr;
}

const AttributeSpecItem* nextCondition(const AttributeSpecItem* item) {
  for (++item; item->id != ATTR_end; ++item)
    if (item->id == ATTR_when && item->kind == AttributeSpecItem::kOperand) return item;
  return nullptr;
}

// The forms that one accepting state offers share its path and text, and many of them
// differ only in their conditions and fields (five base registers, two offset widths): their
// walks read the same texts and value tables into the same operands, element for element,
// up to where they part. Every distinct start of a walk (its first n steps, from the last
// element) has a number, and the step that ends it is taken once per offer.
//
// The first condition is decided at the step that writes the last operand it reads, and not
// before: once another form of the offer has walked that far, the steps that wrote those
// operands are all that a screening needs.
constexpr uint32_t kNoStep = UINT32_MAX;
constexpr uint32_t kMostReads = 4;
// A first condition on one register number alone has its verdicts worked out once, for the
// numbers below this, when the form is first screened.
constexpr int64_t kTabledValues = 32;
constexpr int32_t kNotTabledYet = -2;

struct ScreenedForm {
  uint32_t firstStep = 0;  // the number of its walk's first step in stepNumbers
  uint32_t steps = 0;      // 0: the form is never screened
  const AttributeSpecItem* firstCondition = nullptr;
  // The step after which the first condition can first be decided, and the steps that write
  // the operands it reads; kNoStep when a named value does not write them all.
  uint32_t decisiveStep = kNoStep;
  uint32_t readCount = 0;
  uint32_t writerSteps[kMostReads] = {};
  // The operand that the tabled verdicts are for: -1 without a table, kNotTabledYet before
  // the first screening.
  int32_t tabledOperand = -1;
  uint8_t tabledVerdicts[kTabledValues] = {};
};

struct Screening {
  std::vector<ScreenedForm> forms;     // by form
  std::vector<uint8_t> marksJumps;     // by form: whether its build may mark a jump
  std::vector<uint32_t> stepNumbers;   // per form, the number of each start of its walk
  uint32_t startCount = 0;
};


// Where the walk stands after a start of it, in the current offer.
struct StepMemo {
  uint32_t generation = 0;  // the memo holds a step of the current offer when it is current
  uint32_t p = 0, c = 0;
  bool followed = false;
  int32_t operand = -1;  // what the step wrote; -1 nothing
  OrbaExpression* value = nullptr;
};


// The offer whose steps the memos hold, and its generation; a new offer starts a new one,
// which leaves every memo behind at once.
struct CurrentOffer {
  uint64_t offer = 0;
  const char* text = nullptr;
  uint32_t length = 0;
  uint32_t pathCount = 0;
  uint32_t generation = 0;
};

// The screening tables are built at the start-up of the matcher; the memos and the
// offer belong to the walks of the run.
struct ScreeningState {
  Screening screeningTables;
  std::vector<StepMemo> stepMemos;
  CurrentOffer currentOffer;
};
ScreeningState& screeningState() { return runPart<ScreeningState>(); }

uint32_t generationOf(uint64_t offer, const char* text, uint32_t length, uint32_t pathCount) {
  CurrentOffer& current = screeningState().currentOffer;
  if (current.offer != offer || current.text != text || current.length != length || current.pathCount != pathCount) {
    current = CurrentOffer{offer, text, length, pathCount, current.generation + 1};
    // After four billion offers the memos are cleared rather than trusted.
    if (current.generation == 0) {
      for (StepMemo& memo : screeningState().stepMemos) memo.generation = 0;
      current.generation = 1;
    }
  }
  return current.generation;
}

// One step of the walk over the element, reading values only; false when the walk cannot
// follow it. A slot sets `operand` and `value` to what it writes.
bool walkStep(const PatternItem& item, const MatchPath& path, const InstructionMatcher* matcher, const char* text,
              uint32_t& p, uint32_t& c, OrbaExpression** operands, int32_t& operand, OrbaExpression*& value) {
  operand = -1;
  value = nullptr;
  switch (item.kind) {
    case kItemLiteral:
      return matchTextBackward(text, p, c, static_cast<const char*>(item.node), item.textLength);
    case kItemExpression: {
      InstructionMatcher::ParsedExpression parsed;
      if (c == 0 || !findParsedOperand(matcher, path.states[c - 1], text, p, parsed)) return false;
      p = static_cast<uint32_t>(parsed.start - text);
      --c;
      return true;
    }
    case kItemSlot: {
      const auto* slot = static_cast<const OperandSlot*>(item.node);
      if (c == 0) return false;
      int32_t index = lookupValue(*slot->values, path.states[c - 1]);
      if (index < 0 || static_cast<uint32_t>(index) >= slot->count) return false;
      const RegisterRecord& record = *slot->names[index].record;
      if (item.secondIndex >= 0) {
        setOperandValue(item.secondIndex, operands, record.secondKind, record.second.number,
                        record.secondKind == RegisterRecord::kText ? record.second.text : nullptr, false);
        operand = item.secondIndex;
        value = operands[operand];
      }
      return matchTextBackward(text, p, c, record.name, record.nameLength);
    }
    default:
      return false;
  }
}

// A start of a walk: the start one element shorter and the element as the screening walk
// reads it. Starts with equal keys walk alike.
struct StartKey {
  uint32_t shorter;  // the number of the start without the element; UINT32_MAX for none
  uint32_t kind;
  std::string_view text;  // a literal's text
  const void* slot;       // a named value's slot
  int32_t secondIndex;
  bool operator==(const StartKey&) const = default;
};

struct StartKeyHash {
  size_t operator()(const StartKey& key) const {
    size_t hash = std::hash<std::string_view>()(key.text);
    for (uint64_t part : {uint64_t{key.shorter}, uint64_t{key.kind}, reinterpret_cast<uintptr_t>(key.slot),
                          static_cast<uint64_t>(static_cast<uint32_t>(key.secondIndex))})
      hash = (hash ^ part) * 0x9E3779B97F4A7C15ull;
    return hash;
  }
};

StartKey startKey(uint32_t shorter, const PatternItem& item) {
  StartKey key{shorter, item.kind, {}, nullptr, -1};
  if (item.kind == kItemLiteral) {
    key.text = static_cast<const char*>(item.node);
  } else if (item.kind == kItemSlot) {
    key.slot = item.node;
    key.secondIndex = item.secondIndex;
  }
  return key;
}

// What the leading conditions say once their operands are known.
enum class Verdict { Undecided, Holds, Drops };

Verdict decide(const AttributeSpecItem& item, OrbaExpression** operands, uint32_t operandCount, LineInfo* line) {
  if ((item.argument & AttributeSpecItem::kReadsKnown) == 0 || item.builder == nullptr) return Verdict::Undecided;
  for (uint32_t reads = item.argument & AttributeSpecItem::kReadMask; reads != 0; reads &= reads - 1) {
    auto index = static_cast<uint32_t>(__builtin_ctz(reads));
    if (index >= operandCount || operands[index] == nullptr) return Verdict::Undecided;
  }
  CandidateNodes* made = nullptr;
  OrbaExpression* condition = item.builder(line, operands, made);
  Verdict verdict = Verdict::Undecided;
  if (condition != nullptr && condition->getKind() == EK_integer) {
    if (condition->getInteger() != 0) verdict = Verdict::Holds;
    else if (item.extra == nullptr) verdict = Verdict::Drops;
  }
  CandidateNodes::release(made);
  return verdict;
}

void tabulateFirstCondition(const InstructionDescription& description, ScreenedForm& form);

// The first condition's verdict: from the form's table when the number it reads has one.
Verdict decideFirst(const InstructionDescription& description, ScreenedForm& form, OrbaExpression** operands,
                    uint32_t operandCount, LineInfo* line) {
  if (form.tabledOperand == kNotTabledYet) tabulateFirstCondition(description, form);
  if (form.tabledOperand >= 0) {
    OrbaExpression* operand = operands[form.tabledOperand];
    if (operand == nullptr) return Verdict::Undecided;
    if (operand->getKind() == EK_integer) {
      int64_t value = operand->getInteger();
      if (value >= 0 && value < kTabledValues) return static_cast<Verdict>(form.tabledVerdicts[value]);
    }
  }
  return decide(*form.firstCondition, operands, operandCount, line);
}

// Works out the verdicts of a first condition on one register number, when its builder
// reads nothing else.
void tabulateFirstCondition(const InstructionDescription& description, ScreenedForm& form) {
  form.tabledOperand = -1;
  const AttributeSpecItem& condition = *form.firstCondition;
  uint32_t reads = condition.argument & AttributeSpecItem::kReadMask;
  if ((condition.argument & AttributeSpecItem::kReadsOnlyThem) == 0 || __builtin_popcount(reads) != 1) return;
  auto operand = static_cast<int32_t>(__builtin_ctz(reads));
  if (static_cast<uint32_t>(operand) >= description.operandCount) return;
  OrbaExpression* operands[kScreenedOperands] = {};
  for (int64_t value = 0; value < kTabledValues; ++value) {
    operands[operand] = TEInteger::create(value);
    if (!operands[operand]) return;
    form.tabledVerdicts[value] =
        static_cast<uint8_t>(decide(condition, operands, description.operandCount, nullptr));
  }
  form.tabledOperand = operand;
}

void findDecisiveStep(const MatchAlternative& alternative, ScreenedForm& form) {
  uint32_t reads = form.firstCondition->argument & AttributeSpecItem::kReadMask;
  if (static_cast<uint32_t>(__builtin_popcount(reads)) > kMostReads) return;
  uint32_t decisive = 0;
  for (; reads != 0; reads &= reads - 1) {
    auto operand = static_cast<int32_t>(__builtin_ctz(reads));
    uint32_t writer = kNoStep;
    for (uint32_t e = alternative.elementCount, step = 0; e >= 1; --e, ++step) {
      const PatternItem& item = *alternative.elements[e - 1].item;
      if (item.kind == kItemSlot && item.secondIndex == operand) writer = step;
    }
    if (writer == kNoStep) return;
    form.writerSteps[form.readCount++] = writer;
    decisive = std::max(decisive, writer);
  }
  form.decisiveStep = decisive;
}

}  // namespace

void prepareFormScreening() {
  Screening& tables = screeningState().screeningTables;
  tables = Screening{};
  tables.forms.assign(matchAlternativeCount(), ScreenedForm{});
  screeningState().stepMemos.clear();
  tables.marksJumps.assign(matchAlternativeCount(), 1);
  std::unordered_map<StartKey, uint32_t, StartKeyHash> numbers;
  for (uint32_t i = 0; i < matchAlternativeCount(); ++i) {
    const MatchAlternative& alternative = matchAlternatives()[i];
    if (alternative.kind != kHardwareForm) continue;
    const InstructionDescription& description = *alternative.description;
    const AttributeSpecItem* first = firstCondition(description);
    if (alternative.form >= tables.forms.size()) continue;
    // A jump mark of a dropped form still reaches the statement: such forms are built.
    bool jump = marksJump(description.spec) || elementsMarkJump(alternative.elements, alternative.elementCount);
    tables.marksJumps[alternative.form] = jump;
    bool screened = !jump && first != nullptr && (first->argument & AttributeSpecItem::kReadsKnown) != 0 &&
                    description.operandCount <= kScreenedOperands && !reports(description.spec) &&
                    !leavesTrace(alternative.elements, alternative.elementCount) &&
                    !writesAnOperandTwice(alternative.elements, alternative.elementCount);
    if (!screened) continue;
    ScreenedForm& form = tables.forms[alternative.form];
    form.firstStep = static_cast<uint32_t>(tables.stepNumbers.size());
    form.steps = alternative.elementCount;
    form.firstCondition = first;
    findDecisiveStep(alternative, form);
    form.tabledOperand = kNotTabledYet;
    uint32_t start = UINT32_MAX;
    for (uint32_t e = alternative.elementCount; e >= 1; --e) {
      auto known = numbers.emplace(startKey(start, *alternative.elements[e - 1].item),
                                   static_cast<uint32_t>(numbers.size())).first;
      start = known->second;
      tables.stepNumbers.push_back(start);
    }
  }
  tables.startCount = static_cast<uint32_t>(numbers.size());
  screeningState().stepMemos.assign(tables.startCount, StepMemo{});
  screeningState().currentOffer = CurrentOffer{};
}

bool formMayMarkJump(const MatchAlternative& alternative) {
  const Screening& tables = screeningState().screeningTables;
  if (alternative.form >= tables.marksJumps.size()) return true;
  // A form made elsewhere than in the tables may mark anything.
  if (matchAlternatives()[alternative.form].elements != alternative.elements) return true;
  return tables.marksJumps[alternative.form] != 0;
}

void forgetFormScreening() {
  screeningState().screeningTables = Screening{};
  std::vector<StepMemo>().swap(screeningState().stepMemos);
  screeningState().currentOffer = CurrentOffer{};
}

bool formIsScreenedOut(const MatchAlternative& alternative, const MatchPath& path, const InstructionMatcher* matcher,
                       const char* text, uint32_t length, LineInfo* line) {
  Screening& tables = screeningState().screeningTables;
  if (alternative.form >= tables.forms.size() || tables.forms[alternative.form].steps == 0) return false;
  // A form made elsewhere than in the tables is built as it is.
  if (matchAlternatives()[alternative.form].elements != alternative.elements) return false;

  ScreenedForm& form = tables.forms[alternative.form];
  const InstructionDescription& description = *alternative.description;
  OrbaExpression* operands[kScreenedOperands] = {};
  const AttributeSpecItem* condition = form.firstCondition;
  // Without a matcher there is no offer to share the steps with.
  uint64_t offer = matcher != nullptr ? matcher->offerNumber() : 0;
  uint32_t generation = offer != 0 ? generationOf(offer, text, length, path.count) : 0;
  StepMemo* memos = screeningState().stepMemos.data();
  const uint32_t* numbers = tables.stepNumbers.data() + form.firstStep;
  // Another form of the offer has walked as far as the first condition needs: its operands
  // are at hand, and only a verdict that drops the form ends the screening here.
  if (generation != 0 && form.decisiveStep != kNoStep) {
    const StepMemo& decisive = memos[numbers[form.decisiveStep]];
    if (decisive.generation == generation) {
      if (!decisive.followed) return false;
      for (uint32_t r = 0; r < form.readCount; ++r) {
        const StepMemo& writer = memos[numbers[form.writerSteps[r]]];
        operands[writer.operand] = writer.value;
      }
      if (decideFirst(description, form, operands, description.operandCount, line) == Verdict::Drops) return true;
    }
  }
  uint32_t p = length, c = path.count;
  bool changed = true;  // whether the last step wrote an operand: only then can a verdict move
  // The build's walk, reading values only: from the last element back, as far as the
  // conditions need it. Anything it cannot follow leaves the form to the build.
  for (uint32_t i = alternative.elementCount, step = 0; i >= 1; --i, ++step) {
    StepMemo* memo = offer != 0 ? &memos[numbers[step]] : nullptr;
    if (memo && memo->generation == generation) {
      if (!memo->followed) return false;
      p = memo->p;
      c = memo->c;
      changed = memo->operand >= 0;
      if (changed) operands[memo->operand] = memo->value;
    } else {
      int32_t operand = -1;
      OrbaExpression* value = nullptr;
      bool followed = walkStep(*alternative.elements[i - 1].item, path, matcher, text, p, c, operands, operand, value);
      if (memo) *memo = StepMemo{generation, p, c, followed, operand, value};
      if (!followed) return false;
      changed = operand >= 0;
    }
    // A condition left undecided stays so until an operand it reads is written.
    if (!changed && step > 0) continue;
    while (condition != nullptr) {
      Verdict verdict = condition == form.firstCondition
                            ? decideFirst(description, form, operands, description.operandCount, line)
                            : decide(*condition, operands, description.operandCount, line);
      if (verdict == Verdict::Drops) return true;
      if (verdict == Verdict::Undecided) break;
      condition = nextCondition(condition);
    }
    if (condition == nullptr) return false;
  }
  return false;
}

}  // namespace isa
