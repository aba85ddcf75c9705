#include "parser/InstructionStatement.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEString.h"
#include "flow/FError.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolChecks.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "isa/CandidateNodes.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/FSimpleRun.h"
#include "isa/InstructionEncoding.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/GenericExpansion.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionTables.h"
#include "isa/JumpRecord.h"
#include "isa/OperandEvaluation.h"
#include "isa/SyntaxFailure.h"
#include "parser/LineFlags.h"
#include "parser/ConstantShapeCache.h"
#include "parser/JumpShapeCache.h"
#include "parser/LineScanner.h"
#include "parser/OrbaParser.h"
#include "parser/PlainStatementCache.h"
#include "parser/StatementText.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/RunState.h"
#include "util/StringBuffer.h"

namespace {

// The parses the walk of the current statement made, for a jump that may keep its shape.
class RecordingOperands : public isa::ExpressionOperandParser {
 public:
  static constexpr uint32_t kMost = isa::JumpShape::kMostParses + isa::JumpShape::kMostNumbers;
  struct Call {
    const char* text;
    uint32_t length;
    void* expression;
    const char* error;
  };

  uint32_t parse(const char* text, const LineInfo* line, void** expression, const char** error) override {
    const uint32_t length = isa::ExpressionOperandParser::parse(text, line, expression, error);
    if (count < kMost) calls[count] = Call{text, length, *expression, *error};
    ++count;
    return length;
  }

  Call calls[kMost] = {};
  uint32_t count = 0;
};

// How the target's symbol will stand once the parse has referred to it, for the symbol
// as it stands now (null: the parse makes it).
void referencedClass(const Symbol* symbol, const Section* lineSection, uint8_t* flags, uint8_t& place) {
  const bool debugSection = lineSection && lineSection->flags.isDebug();
  flags[0] = symbol ? symbol->flags[0] : 0;
  flags[1] = static_cast<uint8_t>((symbol ? symbol->flags[1] : 0) | Symbol::kUsed);
  flags[2] = static_cast<uint8_t>((symbol ? symbol->flags[2] : 0) |
                                  (debugSection ? Symbol::kDebugReferenced : Symbol::kProgramReferenced));
  const Section* section = symbol ? symbol->section : nullptr;
  place = section == nullptr ? 0 : section == lineSection ? 1 : 2;
}

}  // namespace

// The matcher's working records and the tables of repeated statements live as long as the
// parse: their tables and the room of the candidate list are reused from statement to
// statement.
struct InstructionStatements::Session {
  PlainStatementCache plain;
  ConstantShapeCache shapes;
  JumpShapeCache jumps;
  // Binding directives so far. The kept jump outcomes of the expansions go by its sum with
  // the plain statements' generation: both only grow, so the sum is the same only when
  // neither has moved.
  uint32_t bindingChanges = 0;
  // The hardware forms the walk of the current statement offered.
  std::vector<const MatchAlternative*> offered;
  // The packed lines of the statement's expansions, reused from statement to statement.
  std::string expansionText;
  // Judges constant operands as layout would, made at the first one.
  std::unique_ptr<ExpressionValidator> constantCheck;
  RecordingOperands operands;
  isa::BuildContext context;
  isa::InstructionBuilder builder{context, nullptr, nullptr};
  isa::InstructionMatcher matcher{operands, builder};
};

InstructionStatements::InstructionStatements() : session_(std::make_unique<Session>()) {
  isa::initMatchModule();
}

InstructionStatements::~InstructionStatements() {
  for (IPInstruction* candidate : session_->context.candidates) delete candidate;
}

namespace {

// What a generic keeps of its unbuilt expansions, all in one block of the run's arena:
// the symbol scope the lines are parsed in, then the `length` bytes of packed lines.
struct DeferredExpansion {
  SymbolTable::LocalSymbolTable* scope;
  uint32_t length;
  uint16_t scopeId;
  uint16_t instructions;  // lines that hold an instruction
  char* text() { return reinterpret_cast<char*>(this + 1); }
};

// The number of the target settings each deferred expansion was made under, for those
// made under another than the command line's (RunSettings::targetSettingsNumber).
struct DeferredExpansionSettings {
  std::unordered_map<const DeferredExpansion*, uint32_t> numbers;
};

// The blocks of every deferred expansion of the run. They are kept until the run ends:
// most are never built, and one allocation a statement would cost more than the text.
class DeferredExpansionArena {
 public:
  DeferredExpansion* make(size_t textLength) {
    const size_t bytes = (sizeof(DeferredExpansion) + textLength + alignof(DeferredExpansion) - 1) &
                         ~(alignof(DeferredExpansion) - 1);
    if (bytes > left_) {
      const size_t chunk = bytes > kChunkBytes ? bytes : kChunkBytes;
      // Not cleared: a block is written whole when it is made, and a chunk's pages come
      // only as the blocks reach them.
      chunks_.emplace_back(new std::max_align_t[(chunk + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t)]);
      next_ = reinterpret_cast<char*>(chunks_.back().get());
      left_ = chunk;
    }
    auto* made = reinterpret_cast<DeferredExpansion*>(next_);
    next_ += bytes;
    left_ -= bytes;
    return made;
  }

 private:
  static constexpr size_t kChunkBytes = 256 * 1024;
  std::vector<std::unique_ptr<std::max_align_t[]>> chunks_;
  char* next_ = nullptr;
  size_t left_ = 0;
};

// A copy of the statement's line in front of it, which the generic node stands for; the
// statement's own line becomes the hardware alternative.
LineInfo* insertGenericLine(LineInfo* line) {
  LineInfo* generic = lineState()->insertLineSharingText(line, line->text, static_cast<int32_t>(line->sourceFile),
                                                         static_cast<int32_t>(line->lineNumber), 0);
  generic->copySourceRange(*line);
  generic->flags[0] = static_cast<uint8_t>(line->flags[0] & (lineflag::kAssemble | lineflag::kMacroExpansion));
  generic->controlState = line->controlState;
  generic->section = line->section;
  generic->setVariant(-1);
  generic->flags[2] |= lineflag::kGenericLine;
  isa::markHardwareAlternative(line);
  return generic;
}

}  // namespace

// A generic whose expansions are kept as packed text until layout asks for them: most
// generic statements never take theirs, and text costs a fraction of their nodes. The
// lines are parsed, when built, in the symbol scope of the statement, after the line of
// its hardware form (the first group), which is the statement's own line.
class FDeferredGeneric : public FGeneric {
  VEKT_POOLED_CLASS(FDeferredGeneric)

 public:
  FDeferredGeneric(LineInfo* line, DeferredExpansion* deferred) : FGeneric(line), deferred_(deferred) {
    deferredInstructions = deferred->instructions;
  }

  // The packed lines, in the symbol scope of the parse now.
  static DeferredExpansion* pack(const std::string& packed, uint32_t instructions) {
    DeferredExpansion* deferred = runPart<DeferredExpansionArena>().make(packed.size());
    SymbolTable* table = symbolTable();
    deferred->scope = table->current;
    deferred->scopeId = table->currentScope;
    deferred->length = static_cast<uint32_t>(packed.size());
    deferred->instructions = static_cast<uint16_t>(instructions < kNotDeferred ? instructions : kNotDeferred - 1);
    packed.copy(deferred->text(), packed.size());
    if (const uint32_t number = orbaOptions()->targetSettingsNumber(); number != 0)
      runPart<DeferredExpansionSettings>().numbers[deferred] = number;
    return deferred;
  }

  void buildDeferredRewrites() override {
    if (!rewritesDeferred()) return;
    deferredInstructions = kNotDeferred;
    DeferredExpansion* deferred = deferred_;
    deferred_ = nullptr;
    if (!deferred || groups.empty() || !groups.front()->nodes.first()) return;
    LineInfo* statementLine = groups.front()->nodes.first()->line;
    ownLine();
    LineInfo* last = isa::insertExpansionLines(statementLine, deferred->text(), deferred->length);
    if (last == statementLine) return;
    LineInfo* first = statementLine->next;
    for (LineInfo* made = first;; made = made->next) {
      made->controlState = statementLine->controlState;
      made->section = statementLine->section;
      if (made == last) break;
    }
    // The lines are matched as the statement's parse would have matched them.
    const auto& numbers = runPart<DeferredExpansionSettings>().numbers;
    const auto made = numbers.find(deferred);
    TargetSettingsScope settings(*orbaOptions(), made == numbers.end() ? 0 : made->second);
    SymbolTable* table = symbolTable();
    SymbolTable::LocalSymbolTable* outerScope = table->current;
    const uint16_t outerScopeId = table->currentScope;
    table->current = deferred->scope;
    table->currentScope = deferred->scopeId;
    Section* section = statementLine->section;
    FGeneric* outerTarget = section->rewriteTarget;
    section->rewriteTarget = this;
    const size_t built = groups.size();
    std::unique_ptr<OrbaParser> parser(orbaFactory()->createParser());
    parser->parseExpansionLines(first, last);
    section->rewriteTarget = outerTarget;
    table->current = outerScope;
    table->currentScope = outerScopeId;
    // The labels the lines define come after the symbol checks of the parse: they take
    // the binding those checks give every label.
    for (size_t index = built; index < groups.size(); ++index)
      for (FlowNode* node = groups[index]->nodes.first(); node; node = node->nextNode())
        if (node->kind == FlowNode::kLabel)
          if (Symbol* symbol = static_cast<FLabel*>(node)->symbol) {
            checkGlobalSymbol(*symbol);
            checkLocalSymbol(*symbol);
          }
  }

  LineInfo* ownLine() override {
    if (!groups.empty() && groups.front()->nodes.first() && line == groups.front()->nodes.first()->line)
      line = insertGenericLine(line);
    return line;
  }

  // A copy holds every rewrite: the expansions are built for it first.
  FlowNode* clone() const override {
    const_cast<FDeferredGeneric*>(this)->buildDeferredRewrites();
    return FGeneric::clone();
  }

  void releaseData() override {
    deferred_ = nullptr;
    FGeneric::releaseData();
  }

 private:
  // In the run's arena; null once built or released.
  DeferredExpansion* deferred_ = nullptr;
};

VEKT_POOLED_CLASS_IMPL(FDeferredGeneric, "FDeferredGeneric")

// A generic statement of the source whose expansions wait, kept as its hardware form
// alone: nearly every such statement keeps that form, and the generic node would cost
// more than the instruction. Layout treats it as the generic it stands for and makes
// that generic, in its place, once the expansions are needed.
class FStandInGeneric;

// The copies of statement lines made for stand-ins before they became generics: only a
// line placed after one (a section's closing label) needs one that early.
struct StandInLines {
  std::unordered_map<const FStandInGeneric*, LineInfo*> byNode;
};

class FStandInGeneric : public FInstruction {
  VEKT_POOLED_CLASS(FStandInGeneric)

 public:
  FStandInGeneric(LineInfo* line, std::vector<IPInstruction*> candidates, DeferredExpansion* deferred)
      : FInstruction(line, std::move(candidates)), deferred_(deferred) {}

  int32_t waitingExpansions() const override { return deferred_->instructions; }

  bool chooseStandIn() override {
    const bool before = standInChosen_ != 0;
    standInChosen_ = 1;
    return before;
  }

  LineInfo* ownLine() override {
    if (LineInfo* made = genericLine()) return made;
    LineInfo* made = insertGenericLine(line);
    runPart<StandInLines>().byNode[this] = made;
    hasGenericLine_ = 1;
    return made;
  }

  FGeneric* becomeGeneric(Section& section) override {
    LineInfo* made = genericLine();
    auto* generic = new FDeferredGeneric(made ? made : line, deferred_);
    generic->hasHardwareGroup = 1;
    generic->layoutSize = layoutSize;
    if (standInChosen_) generic->selected = 0;
    section.replaceNode(this, generic);
    generic->groups.add()->key = -1;
    generic->groups.front()->nodes.append(this);
    return generic;
  }

  // As the generic's emission with its hardware form chosen.
  void emit(ObjectWriter& writer) override { isa::emitAsChosenHardwareForm(*this, line, genericLine(), writer); }

  // No pass copies a stand-in: a copy is made of the generic, with every rewrite.
  FlowNode* clone() const override { return nullptr; }

  // Takes over the choice and the line copy of the jump record it replaces.
  void adopt(bool chosen, LineInfo* genericLine) {
    standInChosen_ = chosen ? 1 : 0;
    if (!genericLine) return;
    runPart<StandInLines>().byNode[this] = genericLine;
    hasGenericLine_ = 1;
  }

 private:
  // The copy of the statement's line, once a line had to follow the stand-in.
  LineInfo* genericLine() const {
    if (!hasGenericLine_) return nullptr;
    auto& lines = runPart<StandInLines>().byNode;
    auto found = lines.find(this);
    return found == lines.end() ? nullptr : found->second;
  }

  // The two flags first: they fill the room the instruction node leaves at its end.
  uint8_t standInChosen_ = 0;
  uint8_t hasGenericLine_ = 0;
  DeferredExpansion* deferred_;
};

VEKT_POOLED_CLASS_IMPL(FStandInGeneric, "FStandInGeneric")

namespace {

// The hooks of the jump records: the stand-in a record becomes, and the line copy.
FInstruction* makeJumpStandIn(LineInfo* line, std::vector<IPInstruction*> forms, const isa::JumpShape& shape,
                              const char* targetName, uint32_t firstLabel) {
  // The lines as the statement would have packed them, with the label numbers it took.
  std::string packed;
  isa::BuildContext context;
  context.expansionText = &packed;
  context.found = true;
  const unsigned long next = nextTempLabelNumber();
  setNextTempLabelNumber(firstLabel);
  isa::expandJumpExpansion(shape.expansion, context, line,
                           TEString::intern(targetName, static_cast<uint32_t>(std::strlen(targetName))), true);
  setNextTempLabelNumber(next);
  SymbolTable* table = symbolTable();
  SymbolTable::LocalSymbolTable* scope = table->current;
  const uint16_t scopeId = table->currentScope;
  table->current = shape.scope;
  table->currentScope = shape.scopeId;
  DeferredExpansion* deferred = FDeferredGeneric::pack(packed, context.expansionInstructions);
  table->current = scope;
  table->currentScope = scopeId;
  return new FStandInGeneric(line, std::move(forms), deferred);
}

LineInfo* makeJumpGenericLine(LineInfo* line) { return insertGenericLine(line); }

void adoptJumpStandIn(FInstruction* standIn, bool chosen, LineInfo* genericLine) {
  static_cast<FStandInGeneric*>(standIn)->adopt(chosen, genericLine);
}

}  // namespace

namespace {

// The checks below by the line's control state, read once by a caller that asks several.
bool genericsAllowedIn(const ControlState* state, const RunSettings* options) {
  // $HW_ONLY clears the run's setting; the line's copy follows the option and the control.
  return (!state || state->genericsAllowed) && options->optimizeGenerics;
}

bool jumpChainsIn(const ControlState* state, const RunSettings* options) {
  return state ? state->jumpChainOpt : options->optimizeJumpChains;
}

bool expansionsMayWaitIn(const ControlState* state, const RunSettings* options) {
  return !jumpChainsIn(state, options) && !options->metrics && !options->instructionMetrics;
}

bool genericsAllowedAt(const LineInfo* line) { return genericsAllowedIn(line->controlState, orbaOptions()); }

bool jumpChainsAt(const LineInfo* line) { return jumpChainsIn(line->controlState, orbaOptions()); }

bool isGeneratedLine(const LineInfo* line) { return line->variant() >= 0; }

bool noFormAligns(const std::vector<IPInstruction*>& candidates) {
  for (const IPInstruction* candidate : candidates)
    if (candidate->alignment != 0) return false;
  return true;
}

// Whether a generic's expansions may wait for layout. Jump chains label every generated
// jump from the counter the expansion's own labels take theirs from, and the metrics count
// the generated lines as the parse meets them: both need the lines now.
bool expansionsMayWait(const LineInfo* line) { return expansionsMayWaitIn(line->controlState, orbaOptions()); }

// Whether the instruction's bits lie in the last word of its image, which is all a plain
// statement's slot keeps.
bool fitsPlainImage(const Encoding& encoding) { return encoding.bits <= 32; }

bool isPlainForm(const IPInstruction& candidate) {
  return candidate.alignment == 0 && candidate.encoding && candidate.encoding->operands.empty();
}

bool conditionsHold(const IPInstruction& candidate) {
  const char* message = nullptr;
  return !candidate.attributes || candidate.attributes->findFirstUnsatisfiedCase(&message, true);
}

// The form a statement takes before layout, or null when layout chooses. Layout takes the
// smallest form that fits; a form without a field left to fill fits wherever it lands, so
// when the first in that order is such a form and its conditions already hold, it is the
// choice. Forms that a constant operand rules out are passed over: layout would drop them
// at once.
IPInstruction* simpleChoice(InstructionStatements::Session& s, const std::vector<IPInstruction*>& candidates,
                            Section* section) {
  IPInstruction* first = candidates.front();
  if (isPlainForm(*first)) return candidates.size() == 1 || conditionsHold(*first) ? first : nullptr;
  if (candidates.size() == 1) return nullptr;
  if (!s.constantCheck) s.constantCheck.reset(orbaFactory()->createExpressionValidator());
  for (IPInstruction* candidate : candidates) {
    if (isa::constantOperandRulesOut(*candidate, section, *s.constantCheck)) continue;
    return isPlainForm(*candidate) && conditionsHold(*candidate) ? candidate : nullptr;
  }
  return nullptr;
}

// The statement failed: an error node keeps the text on a generated line (the expansion
// it belongs to may not be chosen), every other line reports it now.
bool fail(LineInfo* line, const char* text) {
  if (isGeneratedLine(line))
    line->section->addNode(new FError(line, text), true);
  else
    errorHandler()->reportText(text, line);
  return false;
}


}  // namespace

namespace {

// A statement of one candidate needs its parsed operands only as long as that candidate.
void keepOperandsWithSoleCandidate(const std::vector<IPInstruction*>& candidates) {
  if (candidates.size() == 1 && candidates.front()->encoding)
    CandidateNodes::takeOverDependency(candidates.front()->encoding->nodes);
}

}  // namespace

void InstructionStatements::settingsMayHaveChanged(int directive) {
  session_->plain.invalidate();
  session_->shapes.invalidate();
  session_->jumps.directiveRan(directive);
}

void InstructionStatements::symbolBindingChanged() {
  ++session_->bindingChanges;
  session_->jumps.bindingChanged();
}

namespace {

// A statement as the tables of repeated statements see it, read once.
struct StatementKeys {
  const char* position;
  LineInfo* line;
  // The line's control state and section: each read of them goes through the table of
  // line contexts, so they are read once.
  const ControlState* state;
  Section* section;
  const char* prefix;
  StatementText text;
  // The text fits the tables. A generated line belongs to an expansion that may not be
  // chosen: it goes the long way.
  bool plainKnown = false;
  // It has a shape; the digits are read as decimal only where the line's radix is ten.
  bool shapeKnown = false;
  uint64_t shapeKey = 0;
  uint64_t plainKey = 0;
  // Its target, found once for the jump records and the walk that keeps them.
  bool jumpKnown = false;
  // The run's jump record switch and count, once a plain statement has looked.
  isa::JumpRecords* jumpRecords = nullptr;
  TargetSplit jumpSplit;

  StatementKeys(const char* at, LineInfo* of)
      : position(at), line(of), state(of->controlState), section(of->section) {
    prefix = state ? state->commentPrefix : ";";
    plainKnown = line->variant() < 0 && text.read(position, prefix);
    shapeKnown = plainKnown && text.tokens.count > 0 && text.numbersFit && state && state->radix == 10 &&
                 isa::constantShapes().enabled;
  }
};

// A statement of a kept constant shape whose values take one of its regimes.
bool takeConstantShape(InstructionStatements::Session& s, StatementKeys& st, uint32_t* consumed) {
  if (!st.shapeKnown) return false;
  st.shapeKey = ConstantShapeCache::key(st.text, st.state, st.section);
  ConstantShapeCache::Outcome outcome;
  if (!s.shapes.find(st.shapeKey, st.text, st.state, st.section, outcome)) return false;
  *consumed = outcome.consumed;
  ++isa::constantShapes().taken;
  const ShapeRegime& regime = *outcome.regime;
  appendSimpleInstruction(*st.section, st.line, *regime.attributes, outcome.image, regime.bits, regime.cycles);
  return true;
}

// A statement of a kept plain text. The plain key is hashed only here: a statement of a
// known shape does without it.
bool takePlainStatement(InstructionStatements::Session& s, StatementKeys& st, uint32_t* consumed) {
  if (!st.plainKnown) return false;
  st.plainKey = PlainStatementCache::key(st.position, st.text.length, st.state, st.section);
  const PlainStatementCache::Entry* plain =
      s.plain.find(st.plainKey, st.position, st.text.length, st.state, st.section);
  if (!plain) return false;
  *consumed = plain->consumed;
  appendSimpleInstruction(*st.section, st.line, *plain->attributes, plain->image, plain->bits, plain->cycles);
  return true;
}

// Keeps what a statement of one fixed form came to, for the next statement of its text
// and for the next of its shape.
void keepPlainOutcome(InstructionStatements::Session& s, const StatementKeys& st,
                      const std::vector<IPInstruction*>& candidates, const IPInstruction& simple, uint32_t consumed) {
  s.plain.keep(st.plainKey, st.position, st.text.length, st.line->controlState, st.line->section, *simple.attributes,
               simple.encoding->image[7], simple.encoding->bits, static_cast<uint16_t>(simple.cycles), consumed);
  if (!st.shapeKnown || s.matcher.numberReadAsText()) return;
  // The values must be the numbers the walk parsed: the shape's regime holds them.
  const ConstantTokens& tokens = st.text.tokens;
  if (consumed < tokens.token[tokens.count - 1].end) return;
  const char* from[ConstantTokens::kMost];
  const char* end[ConstantTokens::kMost];
  int64_t values[ConstantTokens::kMost];
  int64_t parsed[ConstantTokens::kMost];
  for (uint32_t i = 0; i < tokens.count; ++i) {
    from[i] = st.position + tokens.token[i].from;
    end[i] = st.position + tokens.token[i].end;
    values[i] = tokens.token[i].value;
  }
  if (!s.matcher.integersBetween(from, end, tokens.count, parsed)) return;
  for (uint32_t i = 0; i < tokens.count; ++i)
    if (parsed[i] != values[i]) return;
  ShapeRegime regime;
  if (!ShapeRegime::judge(candidates, simple, s.offered, values, tokens.count, regime)) return;
  s.shapes.keep(st.shapeKey, st.text, st.line->controlState, st.line->section, regime, *simple.attributes,
                consumed);
}

// The key of a jump statement under the line's state and section as given, for a target
// symbol that will stand as `symbolFlags` and `symbolPlace` say, without its hash.
void fillJumpKey(InstructionStatements::Session& s, const StatementKeys& st, const ControlState* state,
                 const Section* section, const uint8_t* symbolFlags, uint8_t symbolPlace, JumpShapeCache::Key& key) {
  key.text = st.position;
  key.split = st.jumpSplit;
  key.length = st.text.length;
  key.state = state;
  key.section = section;
  key.generation = s.jumps.generationFor(key.state);
  for (int i = 0; i < 3; ++i) key.symbolFlags[i] = symbolFlags[i];
  key.symbolPlace = symbolPlace;
}

// And with it; false when the split does not lie in the text.
bool jumpKey(InstructionStatements::Session& s, const StatementKeys& st, const ControlState* state,
             const Section* section, const uint8_t* symbolFlags, uint8_t symbolPlace, JumpShapeCache::Key& key) {
  fillJumpKey(s, st, state, section, symbolFlags, symbolPlace, key);
  return key.make();
}

bool sameForms(const FInstruction& made, const FInstruction& statement) {
  if (made.candidates.size() != statement.candidates.size()) return false;
  for (size_t i = 0; i < made.candidates.size(); ++i) {
    const IPInstruction& a = *made.candidates[i];
    const IPInstruction& b = *statement.candidates[i];
    if (a.alternative != b.alternative || a.cycles != b.cycles || !a.encoding != !b.encoding) return false;
    if (!a.encoding) continue;
    if (a.encoding->bits != b.encoding->bits || a.encoding->operands.size() != b.encoding->operands.size() ||
        std::memcmp(a.encoding->image, b.encoding->image, sizeof a.encoding->image) != 0)
      return false;
  }
  return true;
}

// What the walk of a statement left that keeping its jump shape reads.
struct WalkOutcome {
  uint32_t matched;
  const isa::BuildContext& context;
  size_t diagnosticsBefore;
  unsigned long labelsBefore;
};

// Keeps the shape of a generic jump that went the whole way to its stand-in, when the
// walk read its target as an expression alone, the target named a symbol of its own
// name, and nothing was reported: the next jump of the same text but for the target can
// then share the forms. A shape is made at the second jump of its text.
void keepJumpShape(InstructionStatements::Session& s, const StatementKeys& st, const WalkOutcome& walk,
                   const FInstruction& standIn, bool plainJump = false, bool genericRefused = false) {
  const char* position = st.position;
  LineInfo* line = st.line;
  const TargetSplit& split = st.jumpSplit;
  if (!isa::targetOutcomes().enabled || walk.matched < split.end || tempLabelNameTakenEarly()) return;
  const unsigned long labelsAfter = nextTempLabelNumber();
  if (labelsAfter > walk.labelsBefore || (plainJump && labelsAfter != walk.labelsBefore)) return;
  isa::JumpExpansion expansion;
  if ((!plainJump && !isa::jumpExpansionOf(walk.context, expansion)) || !isa::jumpFormsFitRecord(standIn)) return;
  if (errorHandler()->diagnosticStamp() != walk.diagnosticsBefore) return;
  const uint32_t stateCount = s.matcher.targetStateCount();
  if (stateCount == 0 || stateCount > isa::InstructionMatcher::kMostTargetStates) return;
  if (!isa::InstructionMatcher::nameOnlyAnExpression(s.matcher.targetStates(), stateCount, position + split.from,
                                                     split.length()))
    return;
  const RecordingOperands& parses = s.operands;
  if (parses.count == 0 || parses.count > RecordingOperands::kMost) return;
  const char* target = position + split.from;
  const uint32_t nameLength = split.length();
  Symbol* symbol = nullptr;
  uint32_t back[isa::JumpShape::kMostParses];
  uint32_t beyond[isa::JumpShape::kMostParses];
  uint32_t targetParses = 0;
  isa::JumpShape numbers;
  for (uint32_t i = 0; i < parses.count; ++i) {
    const RecordingOperands::Call& call = parses.calls[i];
    if (call.text > target || call.error || !call.expression) return;
    auto* parsed = static_cast<OrbaExpression*>(call.expression);
    // A number before the target reads nothing outside the statement.
    if (call.text + call.length <= target && parsed->getKind() == EK_integer && !parsed->hasOperands()) {
      if (numbers.numberCount == isa::JumpShape::kMostNumbers) return;
      numbers.numberAt[numbers.numberCount] = static_cast<uint32_t>(call.text - position);
      numbers.numberLength[numbers.numberCount] = call.length;
      numbers.numberValue[numbers.numberCount++] = parsed->getInteger();
      continue;
    }
    if (targetParses == isa::JumpShape::kMostParses) return;
    for (const char* blank = call.text; blank < target; ++blank)
      if (*blank != ' ' && *blank != '\t') return;
    if (parsed->getKind() != EK_symbol || parsed->hasOperands() || !parsed->getSymbol()) return;
    if (symbol && parsed->getSymbol() != symbol) return;
    symbol = parsed->getSymbol();
    back[targetParses] = static_cast<uint32_t>(target - call.text);
    if (call.length < back[targetParses] + nameLength) return;
    beyond[targetParses] = call.length - back[targetParses] - nameLength;
    ++targetParses;
  }
  if (!symbol || !symbol->name || symbol->valueExpression || (symbol->flags[0] & Symbol::kBinding6) ||
      std::strlen(symbol->name) != nameLength || std::memcmp(symbol->name, target, nameLength) != 0 ||
      isa::isGeneratedLabelName(symbol->name))
    return;

  JumpShapeCache::Key key;
  // After the walk: a statement outside every section has moved its line to a section made for it.
  Section* lineSection = line->section;
  const uint8_t symbolPlace = symbol->section == nullptr ? 0 : symbol->section == lineSection ? 1 : 2;
  if (!jumpKey(s, st, line->controlState, lineSection, symbol->flags, symbolPlace, key) || !s.jumps.seenBefore(key))
    return;
  isa::JumpShape* shape = isa::makeJumpShape();
  shape->before.assign(position, split.from);
  shape->after.assign(position + split.end, static_cast<size_t>(st.text.length - split.end));
  shape->parseCount = targetParses;
  for (uint32_t i = 0; i < targetParses; ++i) {
    shape->parseBack[i] = back[i];
    shape->parseBeyond[i] = beyond[i];
  }
  shape->numberCount = numbers.numberCount;
  for (uint32_t i = 0; i < numbers.numberCount; ++i) {
    shape->numberAt[i] = numbers.numberAt[i];
    shape->numberLength[i] = numbers.numberLength[i];
    shape->numberValue[i] = numbers.numberValue[i];
  }
  shape->makeStandIn = makeJumpStandIn;
  shape->makeGenericLine = makeJumpGenericLine;
  shape->adoptStandIn = adoptJumpStandIn;
  shape->settingsNumber = orbaOptions()->targetSettingsNumber();
  shape->plain = plainJump;
  shape->checkOnly = !isa::expansionLinesWanted();
  shape->genericRefused = genericRefused;
  shape->waiting = plainJump || shape->checkOnly ? 0 : static_cast<uint16_t>(standIn.waitingExpansions());
  shape->expansion = expansion;
  shape->labelCount = static_cast<uint32_t>(walk.labelsBefore - labelsAfter);
  SymbolTable* table = symbolTable();
  shape->scope = table->current;
  shape->scopeId = table->currentScope;
  shape->forms = new FInstruction(
      line, isa::buildJumpForms(*shape, line, symbol, shape->leaves, &shape->leafCount, &shape->parsedNodes));
  shape->bound = symbol;
  if (!sameForms(*shape->forms, standIn) || shape->leafCount == 0 ||
      errorHandler()->diagnosticStamp() != walk.diagnosticsBefore)
    return;
  s.jumps.keep(key, shape, s.matcher.targetStates(), stateCount, walk.matched - split.end);
}

// A generic jump of a kept shape: the target is parsed as the walk parses it, the
// expansion is packed as the kept outcome makes it, and a record shares the shape's
// forms. False, with nothing done, when the statement is not of a kept shape or its
// target could stand otherwise than the shape's did.
bool takeJumpRecord(InstructionStatements::Session& s, const StatementKeys& st, uint32_t* consumed) {
  if (!st.jumpKnown || s.jumps.empty()) return false;
  isa::TargetOutcomes& outcomes = isa::targetOutcomes();
  if (!outcomes.enabled) return false;
  const char* position = st.position;
  LineInfo* line = st.line;
  const TargetSplit& split = st.jumpSplit;
  Section* section = st.section;
  const ControlState* state = st.state;
  const RunSettings* options = orbaOptions();
  if (section == placeholderSection() || jumpChainsIn(state, options)) return false;
  TargetName target;
  if (!target.copy(position, split)) return false;
  const char* name = target.text;
  if (isa::isGeneratedLabelName(name)) return false;
  SymbolTable* table = symbolTable();
  if (!table->current) return false;
  const Symbol* known = table->current->lookup(name);
  if (known && (known->valueExpression || std::strcmp(known->name, name) != 0 || (known->flags[0] & Symbol::kBinding6)))
    return false;
  uint8_t flags[3];
  uint8_t place = 0;
  referencedClass(known, section, flags, place);
  JumpShapeCache::Key key;
  fillJumpKey(s, st, state, section, flags, place, key);
  const JumpShapeCache::Entry* kept = s.jumps.findLast(key);
  if (!kept) kept = key.make() ? s.jumps.find(key) : nullptr;
  if (!kept || kept->shape->scope != table->current || kept->shape->scopeId != table->currentScope) return false;
  // The expansion's labels are numbered now and named when the lines are made.
  unsigned long* labelNumber = freeTempLabelNumber();
  if (!labelNumber) return false;
  const unsigned long firstLabel = *labelNumber;
  if (firstLabel > UINT32_MAX || firstLabel < kept->shape->labelCount) return false;
  isa::JumpShape& shape = *kept->shape;
  if (shape.checkOnly == isa::expansionLinesWanted()) return false;
  const bool genericsAllowed = genericsAllowedIn(state, options);
  if (!shape.plain && (!genericsAllowed || (!shape.checkOnly && !expansionsMayWaitIn(state, options)))) return false;
  if (shape.genericRefused && genericsAllowed) return false;
  // The walk of the shape's text reads the target as an expression alone, and so it reads
  // this one, when no state it stands in there reads this name as text.
  if (!isa::InstructionMatcher::nameOnlyAnExpression(kept->states, kept->stateCount, position + split.from,
                                                     split.length()))
    return false;

  // Each parse of the walk reads the target as the name alone (checked above), which
  // references the name's symbol and makes nothing else: the references are made without
  // the parses. The name is no generated label's, and a symbol with a value was refused.
  // A symbol the look-up above found is the one each reference finds: the table has not
  // changed since.
  Symbol* symbol = known ? const_cast<Symbol*>(known) : nullptr;
  if (symbol) {
    for (uint32_t i = 0; i < shape.parseCount; ++i) table->referenceFound(symbol, line);
  } else {
    const char* interned = stringBuffer()->intern(name);
    for (uint32_t i = 0; i < shape.parseCount; ++i) {
      Symbol* referenced = table->referenceSymbol(interned, line);
      if (!symbol) symbol = referenced;
    }
  }
  if (symbol && symbol->isSet() && symbol->valueExpression) return false;
  // Only a symbol of the target's own name can be shown by its name: else the walk, which
  // cannot differ, builds the stand-in. The one found by the look-up was compared above.
  if (!symbol || (symbol != known && std::strcmp(symbol->name, name) != 0)) return false;
  *consumed = split.end + kept->consumedBeyond;
  if (shape.plain) {
    if (!isa::writeJumpAsEntry(*section, line, shape, symbol, 0))
      section->addNode(new isa::FJumpRecord(line, &shape, symbol, 0), true);
  } else if (shape.checkOnly) {
    // Nothing after the parse reads the record: it stands for the discarded generic.
    ++outcomes.taken;
    section->addNode(new isa::FJumpRecord(line, &shape, symbol, 0), true);
  } else {
    *labelNumber = firstLabel - shape.labelCount;
    ++outcomes.taken;
    if (isa::writeJumpAsEntry(*section, line, shape, symbol, static_cast<uint32_t>(firstLabel))) {
      // The entry let go of the line unless a label names it.
      if (line->flags[2] & lineflag::kDefinesLabel) isa::markHardwareAlternative(line);
    } else {
      section->addNode(new isa::FJumpRecord(line, &shape, symbol, static_cast<uint32_t>(firstLabel)), true);
      isa::markHardwareAlternative(line);
    }
  }
  ++st.jumpRecords->taken;
  return true;
}

// A generic statement whose expansion was made: the generic node, or the stand-in of its
// hardware form when the expansion may wait.
bool addExpanded(InstructionStatements::Session& s, const StatementKeys& st, const WalkOutcome& walk) {
  LineInfo* line = st.line;
  isa::BuildContext& context = s.context;
  std::vector<IPInstruction*>& candidates = context.candidates;
  Section* section = line->section;
  const std::string& packed = s.expansionText;
  // Outside every section the node moves to a section made for it, which its lines take
  // from the copy of the statement's line: that copy is made at once there.
  const bool wait =
      !candidates.empty() && !packed.empty() && expansionsMayWait(line) && section != placeholderSection();
  if (!wait && !packed.empty()) isa::insertExpansionLines(line, packed.data(), packed.size());
  // A statement of the source whose forms take no alignment stands as its hardware form;
  // a generated one stays in the group of the expansion it belongs to, where layout does
  // not look into generics.
  if (wait && !isGeneratedLine(line) && noFormAligns(candidates)) {
    keepOperandsWithSoleCandidate(candidates);
    auto* standIn = new FStandInGeneric(line, std::move(candidates),
                                        FDeferredGeneric::pack(packed, context.expansionInstructions));
    candidates.clear();
    section->addNode(standIn, true);
    isa::markHardwareAlternative(line);
    if (st.jumpKnown) keepJumpShape(s, st, walk, *standIn);
    return true;
  }
  FGeneric* generic = wait ? new FDeferredGeneric(line, FDeferredGeneric::pack(packed, context.expansionInstructions))
                           : new FGeneric(line);
  bool hardwareAlternative = false;
  FInstruction* hardware = nullptr;
  if (!candidates.empty()) {
    // The copy of the line only serves the expansion's lines when they are made; a generic
    // whose lines wait stands on the statement's line until then.
    if (isa::expansionLinesWanted()) {
      if (wait)
        hardwareAlternative = true;
      else
        generic->line = insertGenericLine(line);
    }
    generic->hasHardwareGroup = 1;
    keepOperandsWithSoleCandidate(candidates);
    hardware = new FInstruction(line, std::move(candidates));
    generic->addRewrite(hardware);
    candidates.clear();
  }
  section->addNode(generic, true);
  // After the node is placed: a generated line's node would join the generic before it.
  if (hardwareAlternative) isa::markHardwareAlternative(line);
  // A check reads nothing of the node: the next jump of the text needs none of its own.
  if (hardware && st.jumpKnown && !isa::expansionLinesWanted() && !isGeneratedLine(line) &&
      section != placeholderSection())
    keepJumpShape(s, st, walk, *hardware);
  return true;
}

// A statement of hardware forms alone: an FSimple or a fixed instruction of a run when one
// form is the choice before layout, else an FInstruction.
bool addHardware(InstructionStatements::Session& s, const StatementKeys& st, const WalkOutcome& walk,
                 const isa::MatchContext& match, bool genericsAllowed, uint32_t consumed) {
  LineInfo* line = st.line;
  isa::BuildContext& context = s.context;
  std::vector<IPInstruction*>& candidates = context.candidates;
  Section* section = line->section;
  // A statement whose every form fails a condition that no layout can change is reported
  // now: checking the source alone must find it.
  const char* message = nullptr;
  bool allFail = true;
  for (IPInstruction* candidate : candidates) {
    const char* reason = nullptr;
    if (!isa::failsForCertain(*candidate, &reason)) {
      allFail = false;
      break;
    }
    if (!message) message = reason;
  }
  if (allFail) {
    for (IPInstruction* candidate : candidates) delete candidate;
    candidates.clear();
    return fail(line, isa::failedConditionText(message));
  }

  // A generated label in front of a jump, where the jump-chain pass retargets jumps.
  if (context.isJump && jumpChainsAt(line)) makeGeneratedLabel(line);
  if (candidates.size() > 1) sortCandidates(candidates);
  FlowNode* node;
  if (IPInstruction* simple = simpleChoice(s, candidates, section)) {
    if (st.plainKnown && !match.genericAccepted && !context.isJump && simple->attributes &&
        simple->attributes->isShared() && simple->encoding && fitsPlainImage(*simple->encoding) &&
        s.matcher.parsedOnlyIntegers() && errorHandler()->diagnosticStamp() == walk.diagnosticsBefore &&
        consumed <= st.text.commentAt)
      keepPlainOutcome(s, st, candidates, *simple, consumed);
    const Encoding* encoding = simple->encoding;
    if (simple->attributes && simple->attributes->isShared() && encoding && encoding->bits <= 32) {
      appendSimpleInstruction(*section, line, *simple->attributes, encoding->image[7], encoding->bits,
                              static_cast<uint16_t>(simple->cycles));
      for (IPInstruction* candidate : candidates) delete candidate;
      candidates.clear();
      return true;
    }
    node = new FSimple(line, *simple);
    for (IPInstruction* candidate : candidates) delete candidate;
    candidates.clear();
  } else {
    keepOperandsWithSoleCandidate(candidates);
    node = new FInstruction(line, std::move(candidates));
    candidates.clear();
    // A generic form accepted where generics are not allowed generated nothing.
    if (st.jumpKnown && context.isJump && (!match.genericAccepted || !genericsAllowed) && !jumpChainsAt(line) &&
        section != placeholderSection()) {
      section->addNode(node, true);
      keepJumpShape(s, st, walk, static_cast<FInstruction&>(*node), true, match.genericAccepted);
      return true;
    }
  }
  section->addNode(node, true);
  return true;
}

// The whole walk of the automaton over the statement, and the node it comes to.
bool matchStatement(InstructionStatements::Session& s, const StatementKeys& st, uint32_t* consumed) {
  const size_t diagnosticsBefore = errorHandler()->diagnosticStamp();
  isa::BuildContext& context = s.context;
  std::vector<IPInstruction*> room = std::move(context.candidates);
  context = isa::BuildContext{};
  context.candidates = std::move(room);
  isa::MatchContext match;
  context.matcher = &s.matcher;
  context.match = &match;
  // A generic jump of the source may take the outcome of one that differs only in its
  // target, under the conditions of the plain statements.
  context.targetOutcomes = st.plainKnown;
  context.settingsGeneration = s.plain.generation() + s.bindingChanges;
  s.offered.clear();
  context.offered = st.shapeKnown ? &s.offered : nullptr;
  const ConstantTokens& tokens = st.text.tokens;
  const char* digits[ConstantTokens::kMost];
  for (uint32_t i = 0; st.shapeKnown && i < tokens.count; ++i) digits[i] = st.position + tokens.token[i].digits;
  s.matcher.watchNumbersAt(digits, st.shapeKnown ? tokens.count : 0);
  s.matcher.watchTargetAt(st.jumpKnown ? st.position + st.jumpSplit.from : nullptr);
  s.operands.count = 0;
  const unsigned long labelsBefore = nextTempLabelNumber();

  s.expansionText.clear();
  context.expansionText = isa::expansionLinesWanted() ? &s.expansionText : nullptr;

  s.builder.setStatement(st.line, st.prefix);
  isa::MatchOptions options;
  options.commentPrefix = st.prefix;
  options.genericsAllowed = genericsAllowedAt(st.line);
  s.matcher.matchStatement(st.position, st.line, options, match);
  *consumed = match.matchedLength;

  const WalkOutcome walk{match.matchedLength, context, diagnosticsBefore, labelsBefore};
  if (context.expanded) return addExpanded(s, st, walk);
  if (!context.candidates.empty()) return addHardware(s, st, walk, match, options.genericsAllowed, *consumed);
  return fail(st.line, isa::unbuiltStatementText(context, st.position));
}

}  // namespace

// Each table of repeated statements is asked in turn, the cheapest first; a statement that
// none holds takes the whole walk, which keeps what it came to for the next one.
bool InstructionStatements::parse(const char* position, LineInfo* line, uint32_t* consumed) {
  Session& s = *session_;
  StatementKeys st(position, line);
  if (st.plainKnown) {
    s.plain.enterState(st.state);
    s.shapes.enterState(st.state);
  }
  if (takeConstantShape(s, st, consumed) || takePlainStatement(s, st, consumed)) return true;
  if (st.plainKnown) st.jumpRecords = &isa::jumpRecords();
  st.jumpKnown = st.plainKnown && st.jumpRecords->enabled && st.jumpSplit.find(position, st.text.commentAt);
  if (takeJumpRecord(s, st, consumed)) return true;
  return matchStatement(s, st, consumed);
}
