#include "isa/JumpRecord.h"

#include <memory>
#include <ostream>
#include <unordered_map>
#include <utility>

#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/FGeneric.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/CandidateNodes.h"
#include "isa/CycleCounts.h"
#include "isa/FInstruction.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionEncoding.h"
#include "isa/InstructionMatcher.h"
#include "isa/OperandEvaluation.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"
#include "util/StringBuffer.h"

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

FlowNode::LayoutChoice FJumpRecord::layOut(FlowWalker& walker, int32_t mode, bool fresh) {
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

void emitAsChosenHardwareForm(FInstruction& form, LineInfo* line, LineInfo* genericLine, ObjectWriter& writer) {
  if (genericLine) {
    if (writer.section) genericLine->setCodeAddress(writer.section->locationCounter);
    genericLine->flags[2] |= lineflag::kGenericMark;
  } else {
    line->flags[2] |= lineflag::kGenericMark;
  }
  currentLayoutLine() = line;
  line->flags[2] |= lineflag::kGeneratedListable;
  if (writer.section) line->setCodeAddress(writer.section->currentLocation());
  form.FInstruction::emit(writer);
  line->flags[2] |= lineflag::kGenericMark;
}

// As the stand-in's emission with its hardware form chosen.
void FJumpRecord::emit(ObjectWriter& writer) {
  FInstruction& forms = lend();
  if (shape_->plain)
    forms.FInstruction::emit(writer);
  else
    emitAsChosenHardwareForm(forms, line, (keepsLines_ & 1) ? runPart<JumpRecordSides>().lines.at(this) : nullptr,
                             writer);
  takeBack(forms);
}

FInstruction* FJumpRecord::makeStandIn() {
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
