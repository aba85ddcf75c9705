#include "isa/JumpRecord.h"

#include <memory>
#include <ostream>
#include <unordered_map>
#include <utility>

#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/functions.h"
#include "expr/TESymbol.h"
#include "expr/TETricoreFunction.h"
#include "flow/DataEncoder.h"
#include "flow/FGeneric.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectWriter.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/CandidateNodes.h"
#include "isa/CycleCounts.h"
#include "isa/FInstruction.h"
#include "isa/FSimpleRun.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionEncoding.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/OperandEvaluation.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/RunState.h"
#include "util/StringBuffer.h"
#include "preproc/LineState.h"

namespace isa {

VEKT_POOLED_CLASS_IMPL(FJumpRecord, "FJumpRecord")

namespace {

// Hands the walk the target's symbol wherever the statement's walk parsed the target;
// the walk parses nothing else in a statement of a shape.
class TargetOperands : public OperandParser {
 public:
  uint32_t parse(const char* text, const LineInfo* /*line*/, void** expression, const char** error) override {
    *error = nullptr;
    *expression = nullptr;
    if (text > target_) return 0;
    for (uint32_t i = 0; i < shape_->numberCount; ++i) {
      if (text != statement_ + shape_->numberAt[i]) continue;
      *expression = TEInteger::create(shape_->numberValue[i]);
      return shape_->numberLength[i];
    }
    const auto back = static_cast<uint32_t>(target_ - text);
    for (uint32_t i = 0; i < shape_->parseCount; ++i) {
      if (shape_->parseBack[i] != back) continue;
      OrbaExpression* made = TESymbol::create(symbol_);
      if (leafCount_ < JumpShape::kMostParses) leaves_[leafCount_++] = made;
      *expression = made;
      return back + targetLength_ + shape_->parseBeyond[i];
    }
    return 0;
  }

  void start(const JumpShape& shape, const char* statement, const char* target, uint32_t targetLength,
             Symbol* symbol) {
    shape_ = &shape;
    statement_ = statement;
    target_ = target;
    targetLength_ = targetLength;
    symbol_ = symbol;
    leafCount_ = 0;
  }

  OrbaExpression* leaves_[JumpShape::kMostParses] = {};
  uint32_t leafCount_ = 0;

 private:
  const JumpShape* shape_ = nullptr;
  const char* statement_ = nullptr;
  const char* target_ = nullptr;
  uint32_t targetLength_ = 0;
  Symbol* symbol_ = nullptr;
};

// The walk that builds the forms of a shape again, kept for the run.
struct JumpReplay {
  TargetOperands operands;
  BuildContext context;
  InstructionBuilder builder{context, nullptr, nullptr};
  InstructionMatcher matcher{operands, builder};
  ~JumpReplay() {
    for (IPInstruction* candidate : context.candidates) delete candidate;
  }
};

// What few nodes keep beside them: the copy of the statement's line a line placed after
// the node goes after, and the texts layout kept of forms it refused.
struct JumpRecordSides {
  std::unordered_map<const FJumpRecord*, LineInfo*> lines;
  std::unordered_map<const FJumpRecord*, std::pair<const char*, const char*>> errors;
};

constexpr uint32_t kFormBits = 3;
constexpr uint32_t kFieldBits = 4;
constexpr uint32_t kFieldsFrom = kFormBits * JumpShape::kMostForms;

uint32_t fieldShift(uint32_t form, uint32_t field) {
  return kFieldsFrom + kFieldBits * (form * JumpShape::kMostFields + field);
}

// The layout state the forms hold, packed.
uint32_t packState(const FInstruction& forms) {
  uint32_t state = 0;
  for (uint32_t f = 0; f < forms.candidates.size(); ++f) {
    const IPInstruction* form = forms.candidates[f];
    state |= ((form->count & 3u) | (form->excluded ? 4u : 0u)) << (kFormBits * f);
    if (!form->encoding) continue;
    for (uint32_t k = 0; k < form->encoding->operands.size(); ++k) {
      const OperandEncoding* field = form->encoding->operands[k];
      const uint32_t bits = (field->status[0] ? 1u : 0u) | (field->status[1] ? 2u : 0u) | ((field->status[2] & 3u) << 2);
      state |= bits << fieldShift(f, k);
    }
  }
  return state;
}

void unpackState(FInstruction& forms, uint32_t state) {
  for (uint32_t f = 0; f < forms.candidates.size(); ++f) {
    IPInstruction* form = forms.candidates[f];
    const uint32_t bits = state >> (kFormBits * f);
    form->count = static_cast<uint8_t>(bits & 3u);
    form->excluded = static_cast<uint8_t>((bits >> 2) & 1u);
    if (!form->encoding) continue;
    for (uint32_t k = 0; k < form->encoding->operands.size(); ++k) {
      OperandEncoding* field = form->encoding->operands[k];
      const uint32_t fieldState = state >> fieldShift(f, k);
      field->status[0] = static_cast<uint8_t>(fieldState & 1u);
      field->status[1] = static_cast<uint8_t>((fieldState >> 1) & 1u);
      field->status[2] = static_cast<uint8_t>((fieldState >> 2) & 3u);
    }
  }
}

// A fresh form's state: every check passed, no relocation memo.
uint32_t freshState(const FInstruction& forms) {
  uint32_t state = 0;
  for (uint32_t f = 0; f < forms.candidates.size(); ++f) state |= 1u << (kFormBits * f);
  return state;
}

// Every shape of the run.
struct JumpShapes {
  std::vector<std::unique_ptr<JumpShape>> all;
};

}  // namespace

JumpShape::~JumpShape() {
  delete forms;
  CandidateNodes::release(parsedNodes);
}

JumpShape* makeJumpShape() {
  auto& shapes = runPart<JumpShapes>().all;
  shapes.push_back(std::make_unique<JumpShape>());
  return shapes.back().get();
}

namespace {

// A claim on the nodes the matcher parsed for the statement it walked last.
CandidateNodes* claimParsedNodes(const InstructionMatcher& matcher) {
  CandidateNodes* nodes = matcher.statementNodes();
  return nodes ? nodes->retain() : nullptr;
}

}  // namespace


bool jumpFormsFitRecord(const FInstruction& forms) {
  if (forms.candidates.empty() || forms.candidates.size() > JumpShape::kMostForms) return false;
  for (const IPInstruction* form : forms.candidates) {
    if (!form || form->alignment != 0) return false;
    if (form->encoding && form->encoding->operands.size() > JumpShape::kMostFields) return false;
  }
  return true;
}

std::vector<IPInstruction*> buildJumpForms(const JumpShape& shape, LineInfo* line, Symbol* target,
                                           OrbaExpression** leaves, uint32_t* leafCount, CandidateNodes** parsedNodes) {
  JumpReplay& replay = runPart<JumpReplay>();
  // The text as the statement had it; the forms may keep pointers into it, so it stays.
  std::string text = shape.before;
  const size_t targetAt = text.size();
  text += target->name;
  const auto targetLength = static_cast<uint32_t>(text.size() - targetAt);
  text += shape.after;
  const char* kept = stringBuffer()->internRange(text.data(), text.data() + text.size());
  replay.operands.start(shape, kept, kept + targetAt, targetLength, target);

  BuildContext& context = replay.context;
  std::vector<IPInstruction*> room = std::move(context.candidates);
  context = BuildContext{};
  context.candidates = std::move(room);
  context.candidates.clear();
  MatchContext match;
  context.matcher = &replay.matcher;
  context.match = &match;
  // The comment prefix as the statement parser takes it.
  const char* prefix = line->controlState ? line->controlState->commentPrefix : ";";
  replay.builder.setStatement(line, prefix);
  MatchOptions options;
  options.commentPrefix = prefix;
  // The hardware forms only: the expansion waits already.
  options.genericsAllowed = false;
  replay.matcher.matchStatement(kept, line, options, match);
  std::vector<IPInstruction*> forms = std::move(context.candidates);
  context.candidates.clear();
  // As the statement parser leaves a statement of one candidate.
  if (forms.size() == 1 && forms.front()->encoding) CandidateNodes::takeOverDependency(forms.front()->encoding->nodes);
  if (leaves && leafCount) {
    // The nodes stay while the shape does, whether a form took them or not.
    if (parsedNodes) *parsedNodes = claimParsedNodes(replay.matcher);
    *leafCount = replay.operands.leafCount_;
    for (uint32_t i = 0; i < replay.operands.leafCount_; ++i) leaves[i] = replay.operands.leaves_[i];
  }
  return forms;
}

FJumpRecord::FJumpRecord(LineInfo* line, JumpShape* shape, Symbol* target, uint32_t firstLabel)
    : FlowNode(line, kJumpRecord), state_(freshState(*shape->forms)), firstLabel_(firstLabel), shape_(shape),
      target_(target) {}

// The entries beside a node that has gone stay: a node at the same address reads them
// only once it has written its own.
FJumpRecord::~FJumpRecord() = default;

FInstruction& FJumpRecord::lend() const {
  JumpShape& shape = *shape_;
  FInstruction& forms = *shape.forms;
  if (shape.bound != target_) {
    for (uint32_t i = 0; i < shape.leafCount; ++i) shape.leaves[i]->replaceSymbol(shape.bound, target_);
    shape.bound = target_;
  }
  forms.line = line;
  for (IPInstruction* form : forms.candidates)
    if (form->encoding)
      for (OperandEncoding* field : form->encoding->operands) field->context = line;
  forms.selected = selected_;
  forms.fixed = fixed_;
  forms.excludedCount = excludedCount_;
  unpackState(forms, state_);
  const char* when = nullptr;
  const char* other = nullptr;
  if (keepsLines_ & 2) {
    const auto& kept = runPart<JumpRecordSides>().errors.at(this);
    when = kept.first;
    other = kept.second;
  }
  forms.setWhenError(when);
  forms.setOtherError(other);
  return forms;
}

void FJumpRecord::takeBack(FInstruction& forms) {
  selected_ = forms.selected;
  fixed_ = forms.fixed;
  excludedCount_ = forms.excludedCount;
  state_ = packState(forms);
  const char* when = forms.whenError();
  const char* other = forms.otherError();
  if (when || other) {
    runPart<JumpRecordSides>().errors[this] = {when, other};
    keepsLines_ |= 2;
  } else if (keepsLines_ & 2) {
    runPart<JumpRecordSides>().errors.erase(this);
    keepsLines_ &= static_cast<uint8_t>(~2u);
  }
}

namespace {

int32_t callCodeOf(const OrbaExpression* expression) {
  if (!expression) return -1;
  const uint32_t kind = expression->getKind();
  return kind == EK_function || kind == EK_tricoreFunction ? static_cast<const TEFunction*>(expression)->code() : -1;
}

// A call's argument as the operand checks read it: absent is 0; false when it is there but
// no plain integer.
bool constantArgument(const OrbaExpression* call, int32_t index, int64_t& value) {
  value = 0;
  if (call->getArgumentCount() <= index) return true;
  OrbaExpression* argument = call->getArgument(index);
  OrbaExpression* evaluated = argument ? argument->evaluate() : nullptr;
  if (!evaluated || evaluated->getKind() != EK_integer) return false;
  value = evaluated->getInteger();
  return true;
}

bool isLeafOf(const JumpShape& shape, const OrbaExpression* expression) {
  for (uint32_t i = 0; i < shape.leafCount; ++i)
    if (shape.leaves[i] == expression) return true;
  return false;
}

// Whether layout can measure the shape's jumps without the forms, and what it needs to.
JumpShape::DirectLayout workOutDirectLayout(JumpShape& shape) {
  const FInstruction& forms = *shape.forms;
  if (forms.candidates.empty() || forms.candidates.size() > JumpShape::kMostForms) return JumpShape::kLent;
  for (uint32_t f = 0; f < forms.candidates.size(); ++f) {
    const IPInstruction* form = forms.candidates[f];
    if (!form || !form->encoding || form->alignment != 0) return JumpShape::kLent;
    if (form->attributes && !form->attributes->whens.empty()) return JumpShape::kLent;
    const auto& fields = form->encoding->operands;
    if (fields.size() > JumpShape::kMostFields) return JumpShape::kLent;
    int target = -1;
    for (uint32_t k = 0; k < fields.size(); ++k) {
      if (!fields[k]->expression) continue;
      if (target >= 0) return JumpShape::kLent;
      target = static_cast<int>(k);
    }
    if (target < 0) return JumpShape::kLent;
    const OperandEncoding& field = *fields[static_cast<size_t>(target)];
    if (field.callback) return JumpShape::kLent;
    const ExpressionValidator::Operand check = validatorOperand(field);
    if (check.transform || check.conditionWords > 1) return JumpShape::kLent;
    const OrbaExpression* range = field.expression;
    if (callCodeOf(range) != FN_RANGE || range->getArgumentCount() < 3) return JumpShape::kLent;
    const OrbaExpression* distance = range->getArgument(0);
    if (callCodeOf(distance) != FN_PCREL || distance->getArgumentCount() < 1) return JumpShape::kLent;
    const OrbaExpression* named = distance->getArgument(0);
    if (!named || named->getKind() != EK_symbol || !isLeafOf(shape, named)) return JumpShape::kLent;
    JumpShape::DirectForm& direct = shape.direct[f];
    if (!constantArgument(range, 1, direct.low) || !constantArgument(range, 2, direct.high) ||
        !constantArgument(distance, 2, direct.pcOffset) || !constantArgument(distance, 3, direct.width))
      return JumpShape::kLent;
    direct.bits = form->encoding->bits;
    direct.preferred = form->attributes && form->attributes->isDefault;
    direct.fieldCount = static_cast<uint8_t>(fields.size());
    direct.targetField = static_cast<uint8_t>(target);
    direct.asksRelocation = field.relocFunction[0] == 0;
    direct.masked = check.conditionWords == 1 && check.maskWords && check.bitWords;
    direct.mask = direct.masked ? *check.maskWords : 0;
    direct.pattern = direct.masked ? *check.bitWords : 0;
  }
  return JumpShape::kDirect;
}

int64_t signExtend32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Whether the form reaches the target from the address, as the operand checks of layout
// judge it: 1 it does, 0 it does not (with the range text), -1 where only the forms can tell.
// The distance the pc-relative check of the form's field reads, from a jump at address to
// a target at offset.
int64_t checkedDistance(const JumpShape::DirectForm& form, int64_t offset, int64_t address) {
  const int64_t reference = signExtend32(address + form.pcOffset);
  int64_t distance = signExtend32(offset - reference);
  if (form.width != 0) {
    int k = 0;
    for (int64_t rest = form.width; rest > 1; rest >>= 1) ++k;
    if (k > 0) {
      const bool bit = (static_cast<uint64_t>(distance) >> (k - 1)) & 1;
      if ((distance > 0 && bit) || (distance < 0 && !bit)) distance ^= static_cast<int64_t>(~uint64_t{0} << k);
    }
  }
  return distance;
}

// Whether the form's field condition takes the checked distance, as layout reads it.
bool distanceMatchesMask(const JumpShape::DirectForm& form, int64_t distance) {
  return !form.masked || (static_cast<uint64_t>(distance) & uint64_t{form.mask}) == uint64_t{form.pattern};
}

// Whether the form's field condition takes the field's value cut to the form's width, as
// the encoder reads it.
bool fieldBitsMatchMask(const JumpShape::DirectForm& form, int64_t value) {
  const uint32_t fieldBits = static_cast<uint32_t>(value) & (form.bits == 32 ? ~0u : 0xffffu);
  return !form.masked || (fieldBits & form.mask) == form.pattern;
}

int directVerdict(const JumpShape::DirectForm& form, Symbol* target, Section* section, uint32_t address,
                  int32_t previousOffset, const char** message) {
  ExprLocation location;
  location.section = section;
  location.address = address;
  location.sectionStart = previousOffset;
  ExprValue value;
  bool error = false;
  symbolLocationValue(target, value, location, error);
  if (error || value.kind != ExprValue::kRelative || !value.known || value.section != section) return -1;
  const int64_t distance = checkedDistance(form, value.offset, address);
  if (distance < form.low || distance > form.high) {
    *message = form.low < 0 ? errorHandler()->formatMessage(E_range_error_dec, form.low, form.high)
                            : errorHandler()->formatMessage(E_range_error_hex, form.low, form.high);
    return 0;
  }
  if (!distanceMatchesMask(form, distance)) return -1;
  return 1;
}

// The layout state of a record, unpacked for the direct layout.
struct DirectState {
  uint8_t usable[JumpShape::kMostForms] = {};
  uint8_t excluded[JumpShape::kMostForms] = {};
  uint8_t checked[JumpShape::kMostForms][JumpShape::kMostFields] = {};
};

}  // namespace

bool FJumpRecord::layOutDirectly(FlowWalker& walker, int32_t mode, bool fresh, LayoutChoice& choice) {
  JumpShape& shape = *shape_;
  if (shape.directLayout == JumpShape::kDirectUnknown) shape.directLayout = workOutDirectLayout(shape);
  if (shape.directLayout != JumpShape::kDirect || !directJumpLayout().enabled) return false;
  Section* section = walker.section;
  if (!section || section->hasAddress || target_->section != section) return false;
  const auto formCount = static_cast<uint32_t>(shape.forms->candidates.size());
  DirectState st;
  for (uint32_t f = 0; f < formCount; ++f) {
    const uint32_t bits = state_ >> (kFormBits * f);
    st.usable[f] = static_cast<uint8_t>(bits & 3u);
    st.excluded[f] = static_cast<uint8_t>((bits >> 2) & 1u);
    for (uint32_t k = 0; k < shape.direct[f].fieldCount; ++k)
      st.checked[f][k] = static_cast<uint8_t>((state_ >> (fieldShift(f, k) + 2)) & 3u);
  }
  int selected = selected_;
  uint8_t fixed = fixed_;
  uint8_t excludedCount = excludedCount_;
  const char* otherError = nullptr;
  const char* whenError = nullptr;
  if (keepsLines_ & 2) {
    const auto& kept = runPart<JumpRecordSides>().errors.at(this);
    whenError = kept.first;
    otherError = kept.second;
  }
  const uint32_t unitBits = section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8u;
  auto unitsOf = [&](uint32_t f) { return static_cast<int32_t>((shape.direct[f].bits + unitBits - 1) / unitBits); };
  const auto address = static_cast<uint32_t>(walker.offset);
  // Checks the form's fields in order as validation does; -1 where only the forms can tell.
  auto validate = [&](uint32_t f, const char** message) {
    const JumpShape::DirectForm& form = shape.direct[f];
    *message = nullptr;
    int verdict = 1;
    for (uint32_t k = 0; k < form.fieldCount; ++k) {
      st.checked[f][k] = 1;
      if (k != form.targetField) continue;
      if (form.asksRelocation) {
        // A field without a relocation of its own refuses a target that needs one; the
        // answer is kept in the record once the forms have worked it out.
        const uint32_t memo = state_ >> fieldShift(f, k);
        if (!(memo & 1u)) return -1;
        if (memo & 2u) {
          st.checked[f][k] = 0;
          verdict = 0;
          break;
        }
      }
      verdict = directVerdict(form, target_, section, address, walker.previousOffset, message);
      if (verdict < 0) return -1;
      st.checked[f][k] = static_cast<uint8_t>(verdict);
      if (verdict == 0) break;
    }
    return verdict;
  };
  auto exclude = [&](uint32_t f) {
    if (st.excluded[f]) return;
    st.excluded[f] = 1;
    ++excludedCount;
  };

  if (fresh) {
    for (uint32_t f = 0; f < formCount; ++f) {
      st.excluded[f] = 0;
      st.usable[f] = 1;
    }
    excludedCount = 0;
    fixed = 0;
    selected = -1;
  }
  const int before = selected;
  bool changed = false;
  int chosen = -1;
  const bool selectedValid = selected >= 0 && static_cast<uint32_t>(selected) < formCount;
  switch (mode) {
    case 0: {
      if (fixed) {
        walker.nodeSize = selectedValid ? unitsOf(static_cast<uint32_t>(selected)) : 0;
        chosen = selectedValid ? selected : -1;
        break;
      }
      int winner = -1;
      int32_t winnerSize = 0;
      for (uint32_t f = 0; f < formCount; ++f) {
        if (st.excluded[f]) continue;
        const int32_t formSize = unitsOf(f);
        if (winner < 0 || winnerSize == 0 || formSize < winnerSize) {
          winner = static_cast<int>(f);
          winnerSize = formSize;
        }
      }
      changed = winner >= 0;
      walker.nodeSize = winner >= 0 ? winnerSize : 0;
      selected = winner;
      if (excludedCount + 1u == formCount) fixed = 1;
      chosen = winner;
      break;
    }
    case 1: {
      const char* message = nullptr;
      if (selectedValid) {
        const auto current = static_cast<uint32_t>(selected);
        const int verdict = validate(current, &message);
        if (verdict < 0) return false;
        st.usable[current] = static_cast<uint8_t>(verdict);
        if (verdict == 1) {
          walker.nodeSize = unitsOf(current);
          chosen = selected;
          break;
        }
        if (message) otherError = message;
        exclude(current);
      }
      int candidate = -1;
      int32_t candidateSize = 0;
      for (uint32_t f = 0; f < formCount; ++f) {
        st.usable[f] = 1;
        if (st.excluded[f]) continue;
        const int verdict = validate(f, &message);
        if (verdict < 0) return false;
        const int32_t formSize = unitsOf(f);
        if (verdict == 0) {
          exclude(f);
          if (message) otherError = message;
          st.usable[f] = 0;
          continue;
        }
        bool wins = false;
        if (candidate < 0 || candidateSize == 0 || formSize < candidateSize)
          wins = true;
        else if (formSize == candidateSize)
          wins = !shape.direct[candidate].preferred && shape.direct[f].preferred;
        if (wins) {
          candidate = static_cast<int>(f);
          candidateSize = formSize;
        }
        st.usable[f] = 1;
      }
      changed = candidate >= 0 && candidate != before;
      walker.nodeSize = candidate >= 0 ? candidateSize : 0;
      selected = candidate;
      if (formCount == 1 || excludedCount + 1u == formCount) fixed = 1;
      chosen = candidate;
      break;
    }
    default: {
      if (fixed) {
        walker.nodeSize = selectedValid ? unitsOf(static_cast<uint32_t>(selected)) : 0;
        chosen = selectedValid ? selected : -1;
        break;
      }
      walker.nodeSize = 0;
      for (uint32_t f = formCount; f-- > 0;) {
        const char* message = nullptr;
        const int verdict = validate(f, &message);
        if (verdict < 0) return false;
        if (verdict == 0) continue;
        walker.nodeSize = unitsOf(f);
        selected = static_cast<int>(f);
        fixed = 1;
        changed = selected != before;
        chosen = selected;
        break;
      }
      break;
    }
  }

  // The state as the forms would have been left with it.
  selected_ = static_cast<int8_t>(selected);
  fixed_ = fixed;
  excludedCount_ = excludedCount;
  uint32_t state = state_;
  for (uint32_t f = 0; f < formCount; ++f) {
    state &= ~(7u << (kFormBits * f));
    state |= ((st.usable[f] & 3u) | (st.excluded[f] ? 4u : 0u)) << (kFormBits * f);
    for (uint32_t k = 0; k < shape.direct[f].fieldCount; ++k) {
      state &= ~(3u << (fieldShift(f, k) + 2));
      state |= (st.checked[f][k] & 3u) << (fieldShift(f, k) + 2);
    }
  }
  state_ = state;
  if (whenError || otherError) {
    runPart<JumpRecordSides>().errors[this] = {whenError, otherError};
    keepsLines_ |= 2;
  }
  choice.chosen = chosen;
  choice.padding = 0;
  choice.changed = changed;
  const bool chosenValid = selected >= 0 && static_cast<uint32_t>(selected) < formCount;
  choice.usable = chosenValid ? st.usable[selected] : 0;
  ++directJumpLayout().taken;
  return true;
}

FlowNode::LayoutChoice FJumpRecord::layOut(FlowWalker& walker, int32_t mode, bool fresh) {
  LayoutChoice direct;
  if (layOutDirectly(walker, mode, fresh, direct)) return direct;
  FInstruction& forms = lend();
  LayoutChoice choice = forms.layOut(walker, mode, fresh);
  takeBack(forms);
  return choice;
}

int32_t FJumpRecord::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  FInstruction& forms = lend();
  const int32_t made = forms.computeSize(section, offset);
  // The forms keep the size of a laid-out section: it is the node's.
  if (forms.size > 0) size = forms.size;
  forms.size = 0;
  return made;
}

uint16_t FJumpRecord::getCycles() const {
  const FInstruction& forms = *shape_->forms;
  return selected_ >= 0 && static_cast<size_t>(selected_) < forms.candidates.size()
             ? static_cast<uint16_t>(forms.candidates[selected_]->cycles)
             : 0;
}

void FJumpRecord::assignCore(int32_t core) {
  const FInstruction& forms = *shape_->forms;
  if (selected_ < 0 || static_cast<size_t>(selected_) >= forms.candidates.size()) return;
  if (shape_->cyclesCore[selected_] == core) return;
  shape_->cyclesCore[selected_] = core;
  IPInstruction* form = forms.candidates[selected_];
  form->cycles = static_cast<uint16_t>(cyclesOfAttributes(form->attributes, core));
}

const char* FJumpRecord::failureText() const {
  if (!(keepsLines_ & 2)) return nullptr;
  const auto& kept = runPart<JumpRecordSides>().errors.at(this);
  return kept.first ? kept.first : kept.second;
}

void FJumpRecord::dump(std::ostream& out) const {
  const FInstruction& forms = *shape_->forms;
  out << "FInstruction(selected = " << static_cast<int>(selected_) << ", candidates = " << forms.candidates.size()
      << ", excluded = " << static_cast<unsigned>(excludedCount_) << ", fixed = " << static_cast<unsigned>(fixed_)
      << ")\n";
  for (const IPInstruction* candidate : forms.candidates) {
    if (!candidate || !candidate->encoding) continue;
    out << "\tbits = " << static_cast<unsigned>(candidate->encoding->bits) << ", cycles = " << candidate->cycles
        << '\n';
  }
}

LineInfo* FJumpRecord::ownLine() {
  if (shape_->plain) return line;
  JumpRecordSides& sides = runPart<JumpRecordSides>();
  if (keepsLines_ & 1) return sides.lines.at(this);
  LineInfo* made = shape_->makeGenericLine(line);
  sides.lines[this] = made;
  keepsLines_ |= 1;
  return made;
}

namespace {

// Around the emission of a generic's chosen hardware form: the marks and code addresses the
// list file reads on the statement's line and on its generic's copy.
void markBeforeChosenForm(LineInfo* line, LineInfo* genericLine, ObjectWriter& writer) {
  if (genericLine) {
    if (writer.section) genericLine->setCodeAddress(writer.section->locationCounter);
    genericLine->flags[2] |= lineflag::kGenericMark;
  } else {
    line->flags[2] |= lineflag::kGenericMark;
  }
  currentLayoutLine() = line;
  line->flags[2] |= lineflag::kGeneratedListable;
  if (writer.section) line->setCodeAddress(writer.section->currentLocation());
}

}  // namespace

void emitAsChosenHardwareForm(FInstruction& form, LineInfo* line, LineInfo* genericLine, ObjectWriter& writer) {
  markBeforeChosenForm(line, genericLine, writer);
  form.FInstruction::emit(writer);
  line->flags[2] |= lineflag::kGenericMark;
}

int64_t FJumpRecord::directFieldValue(const Section& section) const {
  const JumpShape& shape = *shape_;
  if (shape.directLayout != JumpShape::kDirect || !directJumpLayout().enabled || (keepsLines_ & 2)) return kNoValue;
  if (section.hasAddress || !section.image || selected_ < 0 ||
      static_cast<size_t>(selected_) >= shape.forms->candidates.size())
    return kNoValue;
  const auto f = static_cast<uint32_t>(selected_);
  const JumpShape::DirectForm& form = shape.direct[f];
  const IPInstruction* chosen = shape.forms->candidates[f];
  if (chosen->attributes && !chosen->attributes->warnings.empty()) return kNoValue;
  // Whether the field needs a relocation: the memo when the forms have worked it out, else
  // as they would, for a field that reads @RANGE(@PCREL(target, ...)).
  const uint32_t memo = state_ >> fieldShift(f, form.targetField);
  if (memo & 1u) {
    if (memo & 2u) return kNoValue;
  } else {
    if (chosen->encoding->operands[form.targetField]->transformFlag || target_->isRelocatable()) return kNoValue;
    SymbolValueVisit visit(target_);
    if (visit.value() && visit.value()->isRelocatable()) return kNoValue;
  }
  int64_t targetOffset = 0;
  if (!labelOffsetInSection(target_, section, targetOffset)) return kNoValue;
  const int64_t from = static_cast<int64_t>(static_cast<uint64_t>(form.pcOffset) +
                                            static_cast<uint64_t>(section.instructionLocation()));
  const int64_t value =
      fieldDisplacement(static_cast<int64_t>(static_cast<uint64_t>(targetOffset) - static_cast<uint64_t>(from)),
                        form.width);
  // Out of reach: the forms report it.
  if (value < form.low || value > form.high) return kNoValue;
  return value;
}

bool FJumpRecord::writeFromTemplate(ObjectWriter& writer, int64_t value) const {
  const JumpShape::DirectForm& form = shape_->direct[selected_];
  Section* section = writer.section;
  if (section->mauBits != 8 || section->byteOrder != Section::kLittleEndian) return false;
  const uint32_t bytes = form.bits / 8;
  const auto location = static_cast<uint32_t>(section->currentLocation());
  // Past the section's end, or bytes the list file shows: the general way reports and lists.
  if (static_cast<uint64_t>(location) + bytes > section->size) return false;
  const ControlState* state = line ? static_cast<const ControlState*>(line->controlState) : nullptr;
  if (state && state->listCounter > 0) return false;
  if (!fieldBitsMatchMask(form, value)) return false;
  uint32_t word = 0;
  if (!formWordWithField(*shape_->forms->candidates[selected_], form.targetField, value, word)) return false;
  uint8_t* image = section->imageUnit(location);
  for (uint32_t k = 0; k < bytes; ++k) image[k] = static_cast<uint8_t>(word >> (8 * k));
  section->locationCounter = static_cast<int32_t>(location + bytes);
  return true;
}

// As the stand-in's emission with its hardware form chosen. A record whose layout measured
// its target itself writes the form from that distance without lending the forms.
void FJumpRecord::emit(ObjectWriter& writer) {
  LineInfo* genericLine = !shape_->plain && (keepsLines_ & 1) ? runPart<JumpRecordSides>().lines.at(this) : nullptr;
  Section* section = writer.section;
  const int64_t value = section ? directFieldValue(*section) : kNoValue;
  if (value != kNoValue) {
    IPInstruction& chosen = *shape_->forms->candidates[static_cast<size_t>(selected_)];
    if (!shape_->plain) markBeforeChosenForm(line, genericLine, writer);
    if (writeFromTemplate(writer, value) ||
        encodeWithTargetValue(writer, chosen, shape_->direct[selected_].targetField, value, line)) {
      setLineCycles(line, static_cast<uint16_t>(chosen.cycles));
      if (!shape_->plain) line->flags[2] |= lineflag::kGenericMark;
      ++directJumpLayout().emitted;
      return;
    }
  }
  FInstruction& forms = lend();
  if (shape_->plain)
    forms.FInstruction::emit(writer);
  else
    emitAsChosenHardwareForm(forms, line, genericLine, writer);
  takeBack(forms);
}

FInstruction* FJumpRecord::makeStandIn() {
  // The forms and the expansion as the jump's parse would have made them, whatever
  // target control came after it.
  TargetSettingsScope settings(*orbaOptions(), shape_->settingsNumber);
  std::vector<IPInstruction*> forms = buildJumpForms(*shape_, line, target_, nullptr, nullptr, nullptr);
  FInstruction* standIn = shape_->plain ? new FInstruction(line, std::move(forms))
                                        : shape_->makeStandIn(line, std::move(forms), *shape_, target_->name, firstLabel_);
  standIn->size = size;
  standIn->layoutSize = layoutSize;
  standIn->cycles = cycles;
  standIn->selected = selected_;
  standIn->fixed = fixed_;
  standIn->excludedCount = excludedCount_;
  if (standIn->candidates.size() == shape_->forms->candidates.size()) unpackState(*standIn, state_);
  if (keepsLines_ & 2) {
    const auto& kept = runPart<JumpRecordSides>().errors.at(this);
    standIn->setWhenError(kept.first);
    standIn->setOtherError(kept.second);
  }
  if (shape_->plain) return standIn;
  LineInfo* genericLine = (keepsLines_ & 1) ? runPart<JumpRecordSides>().lines.at(this) : nullptr;
  shape_->adoptStandIn(standIn, standInChosen_ != 0, genericLine);
  return standIn;
}

FInstruction* FJumpRecord::becomeStandIn(Section& section) {
  FInstruction* standIn = makeStandIn();
  section.replaceNode(this, standIn);
  delete this;
  return standIn;
}

namespace {

// Whether a label's distance from a jump of its section is all its jump's field needs:
// it takes no relocation and has no value but its place.
bool targetMeasured(const Symbol& target, const Section& section) {
  return !target.isWeak() && !target.isRelocatable() && !target.isExternal() && !target.valueExpression &&
         target.section == &section;
}

}  // namespace

bool leanJumpWritten(const Symbol& target, const Section& section) {
  return targetMeasured(target, section) && instructionSizeOptimisation(section);
}

namespace {

// Whether the shape's form takes the distance, as layout checks it and emission writes
// its field (layOutDirectly, directFieldValue, writeFromTemplate), and its word when so.
bool formTakesDistance(const JumpShape& shape, uint32_t f, int64_t distance, uint32_t& word) {
  const JumpShape::DirectForm& form = shape.direct[f];
  const int64_t checked = checkedDistance(form, distance, 0);
  if (checked < form.low || checked > form.high || !distanceMatchesMask(form, checked)) return false;
  const int64_t value = fieldDisplacement(distance - form.pcOffset, form.width);
  if (value < form.low || value > form.high || !fieldBitsMatchMask(form, value)) return false;
  return formWordWithField(*shape.forms->candidates[f], form.targetField, value, word);
}

// The first of the shape's narrowest forms: the one layout's first pass takes.
uint32_t firstNarrowestForm(const JumpShape& shape) {
  uint32_t first = 0;
  for (uint32_t f = 1; f < shape.forms->candidates.size(); ++f)
    if (shape.direct[f].bits < shape.direct[first].bits) first = f;
  return first;
}

// The form of a lean jump's shape that layout settles on for the distance, with its word.
// A plain jump's record keeps the form the first pass took while that reaches; a
// generic's stand-in chooses afresh in every pass. Either takes the narrowest form that
// reaches, the default one of two alike.
bool encodeLeanJump(const void* context, int64_t distance, LeanJumpForm& out) {
  auto& shape = *static_cast<JumpShape*>(const_cast<void*>(context));
  const auto count = static_cast<uint32_t>(shape.forms->candidates.size());
  uint32_t words[JumpShape::kMostForms] = {};
  bool takes[JumpShape::kMostForms] = {};
  int chosen = -1;
  if (count == 1) {
    // The form the caller expects: nothing else to fill in.
    if (!formTakesDistance(shape, 0, distance, out.image)) return false;
    return shape.plain || uint32_t{shape.waiting} * 16 >= shape.direct[0].bits;
  }
  for (uint32_t f = 0; f < count; ++f) takes[f] = formTakesDistance(shape, f, distance, words[f]);
  if (shape.plain) {
    const uint32_t first = firstNarrowestForm(shape);
    if (takes[first]) chosen = static_cast<int>(first);
  }
  if (chosen < 0) {
    for (uint32_t f = 0; f < count; ++f) {
      if (!takes[f]) continue;
      const JumpShape::DirectForm& form = shape.direct[f];
      if (chosen < 0 || form.bits < shape.direct[chosen].bits ||
          (form.bits == shape.direct[chosen].bits && !shape.direct[chosen].preferred && form.preferred))
        chosen = static_cast<int>(f);
    }
  }
  if (chosen < 0) return false;
  const JumpShape::DirectForm& form = shape.direct[chosen];
  // A generic's stand-in lays out as its hardware form only while that takes no more
  // than the least its expansion would (a halfword an instruction).
  if (!shape.plain && uint32_t{shape.waiting} * 16 < form.bits) return false;
  const IPInstruction& made = *shape.forms->candidates[chosen];
  out.attributes = made.attributes;
  out.bits = static_cast<uint8_t>(form.bits);
  out.cycles = static_cast<uint16_t>(made.cycles);
  out.image = words[chosen];
  out.formHint = &shape.leanForms[chosen];
  return true;
}


// Whether the shape's jumps may be written as run entries: forms whose fields hold the
// pc-relative distance alone, of a width a lean run takes, with no warning to give, in
// a run that measures jumps itself.
bool shapeWritesEntries(JumpShape& shape) {
  if (!directJumpLayout().enabled || shape.checkOnly) return false;
  if (shape.directLayout == JumpShape::kDirectUnknown) shape.directLayout = workOutDirectLayout(shape);
  if (shape.directLayout != JumpShape::kDirect) return false;
  for (uint32_t f = 0; f < shape.forms->candidates.size(); ++f) {
    const JumpShape::DirectForm& form = shape.direct[f];
    const IPInstruction& candidate = *shape.forms->candidates[f];
    if ((form.bits != 16 && form.bits != 32) || !candidate.attributes || !candidate.attributes->warnings.empty() ||
        candidate.encoding->operands[form.targetField]->transformFlag)
      return false;
  }
  return true;
}

}  // namespace

bool writeJumpAsEntry(Section& section, LineInfo* line, JumpShape& shape, Symbol* target, uint32_t firstLabel) {
  if (shape.writesEntries == JumpShape::kEntriesUnknown)
    shape.writesEntries = shapeWritesEntries(shape) ? JumpShape::kEntries : JumpShape::kNoEntries;
  if (shape.writesEntries != JumpShape::kEntries || !line || !target) return false;
  // The section's choice of forms is looked at once the parse is done.
  if (section.hasAddress || section.byteOrder != Section::kLittleEndian || !targetMeasured(*target, section))
    return false;
  const uint32_t first = firstNarrowestForm(shape);
  const IPInstruction& likely = *shape.forms->candidates[first];
  const LeanJumpForm form{likely.attributes, static_cast<uint8_t>(shape.direct[first].bits),
                          static_cast<uint16_t>(likely.cycles), 0, &shape.leanForms[first]};
  return appendLeanJump(section, line, form, {target, &shape, firstLabel}, {encodeLeanJump, &shape});
}

FlowNode* remakeJumpRecord(RemadeJump& jump) {
  const JumpShape& shape = *jump.shape;
  LineInfo* line = jump.ownLine;
  if (!line) {
    // The statement as the shape knows it: nothing but diagnostics and a generic's
    // expansion read the line of a jump without a list file. It stands after the last
    // line kept before it, a label's of its run.
    const std::string text = shape.before + jump.target->name + shape.after;
    const LineContext& context = lineArena().contexts().at(jump.context);
    line = lineState()->insertLineAfter(jump.after, text.c_str(), static_cast<int32_t>(context.sourceFile),
                                        static_cast<int32_t>(jump.lineNumber), 0);
    line->setControlStateAndSection(context.controlState, context.section);
    line->flags[0] = static_cast<uint8_t>(lineflag::kAssemble | (jump.expansion ? lineflag::kMacroExpansion : 0));
    if (!shape.plain) markHardwareAlternative(line);
  }
  ++directJumpLayout().remade;
  return new FJumpRecord(line, jump.shape, jump.target, jump.firstLabel);
}

void standInJumpRecords(Section& section) {
  for (FlowNode* node = section.firstNode(); node != nullptr; node = node->nextNode())
    if (node->kind == FlowNode::kJumpRecord) node = static_cast<FJumpRecord*>(node)->becomeStandIn(section);
}

FGeneric* FJumpRecord::becomeGeneric(Section& section) {
  FInstruction* standIn = makeStandIn();
  section.replaceNode(this, standIn);
  FGeneric* generic = standIn->becomeGeneric(section);
  // Nothing points at the node once the stand-in holds its place.
  delete this;
  return generic;
}

}  // namespace isa
