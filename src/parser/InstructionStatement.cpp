#include "parser/InstructionStatement.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "flow/FError.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolChecks.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "isa/CandidateNodes.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/InstructionEncoding.h"
#include "isa/GenericExpansion.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/OperandEvaluation.h"
#include "isa/SyntaxFailure.h"
#include "parser/LineFlags.h"
#include "parser/OrbaParser.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

// What a statement of one fixed form came to, for the next statement of the same text
// under the same control state in the same section.
struct PlainStatement {
  static constexpr size_t kTextRoom = 46;
  uint64_t hash = 0;
  const ControlState* state = nullptr;
  const Section* section = nullptr;
  IPAttribute* attributes = nullptr;  // a claim on a shared set; null when the slot is free
  uint32_t image = 0;                 // bits 0..31; the rest of the image is 0
  uint32_t generation = 0;
  uint32_t consumed = 0;
  uint16_t cycles = 0;
  uint8_t bits = 0;
  uint8_t textLength = 0;
  char text[kTextRoom] = {};
};

// Slots of the table of plain statements: a source repeats a few shapes often, and the
// table stays small enough to be looked up at the cost of a cache line.
constexpr size_t kPlainStatementSlots = 4096;

// The statement text to the end of the line, when it fits a slot.
bool plainText(const char* position, uint8_t& length) {
  const char* end = position;
  while (*end && *end != '\n') {
    if (end - position >= static_cast<ptrdiff_t>(PlainStatement::kTextRoom)) return false;
    ++end;
  }
  length = static_cast<uint8_t>(end - position);
  return true;
}

uint64_t plainHash(const char* text, uint8_t length, const LineInfo* line) {
  uint64_t hash = hashBytes(text, length);
  hash ^= reinterpret_cast<uintptr_t>(line->controlState.get()) * 0x9E3779B97F4A7C15ull;
  hash ^= reinterpret_cast<uintptr_t>(line->section.get()) * 0xC2B2AE3D27D4EB4Full;
  return hash ^ (hash >> 29);
}

}  // namespace

// The matcher's working records live as long as the parse: their tables and the room of
// the candidate list are reused from statement to statement.
struct InstructionStatements::Session {
  ~Session() {
    for (PlainStatement& plain : plainStatements) IPAttribute::release(plain.attributes);
  }

  // Statements whose text, control state and section decide everything about them: one
  // fixed form chosen at once, integer operands alone, nothing reported, no jump. A slot
  // holds the last such statement of its hash. A control state is never changed once a
  // later line takes it, but a state that goes may leave its address to another, and a
  // directive or control may change the run's settings: the slots count only while the
  // statements go on under the state they were made in, with no directive between.
  // Made at the first statement kept: the parsers of generated lines never keep one.
  std::vector<PlainStatement> plainStatements;
  const ControlState* plainState = nullptr;
  uint32_t plainGeneration = 0;

  // The packed lines of the statement's expansions, reused from statement to statement.
  std::string expansionText;
  // Judges constant operands as layout would, made at the first one.
  std::unique_ptr<ExpressionValidator> constantCheck;
  isa::ExpressionOperandParser operands;
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

// A generic whose expansions are kept as packed text until layout asks for them: most
// generic statements never take theirs, and text costs a fraction of their nodes. The
// lines are parsed, when built, in the symbol scope of the statement.
class FDeferredGeneric : public FGeneric {
  VEKT_POOLED_CLASS(FDeferredGeneric)

 public:
  FDeferredGeneric(LineInfo* line, LineInfo* statementLine, const std::string& packed, uint32_t instructions)
      : FGeneric(line),
        statementLine_(statementLine),
        packed_(new char[packed.size()]),
        packedLength_(static_cast<uint32_t>(packed.size())) {
    packed.copy(packed_.get(), packed.size());
    deferredInstructions = static_cast<uint16_t>(instructions < kNotDeferred ? instructions : kNotDeferred - 1);
    SymbolTable* table = symbolTable();
    scope_ = table->current;
    scopeId_ = table->currentScope;
  }

  void buildDeferredRewrites() override {
    if (!rewritesDeferred()) return;
    deferredInstructions = kNotDeferred;
    std::unique_ptr<char[]> packed = std::move(packed_);
    LineInfo* last = isa::insertExpansionLines(statementLine_, packed.get(), packedLength_);
    if (last == statementLine_) return;
    LineInfo* first = statementLine_->next;
    for (LineInfo* made = first;; made = made->next) {
      made->controlState = statementLine_->controlState;
      made->section = statementLine_->section;
      if (made == last) break;
    }
    SymbolTable* table = symbolTable();
    SymbolTable::LocalSymbolTable* outerScope = table->current;
    const uint16_t outerScopeId = table->currentScope;
    table->current = scope_;
    table->currentScope = scopeId_;
    Section* section = statementLine_->section;
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

  // A copy holds every rewrite: the expansions are built for it first.
  FlowNode* clone() const override {
    const_cast<FDeferredGeneric*>(this)->buildDeferredRewrites();
    return FGeneric::clone();
  }

  void releaseData() override {
    packed_.reset();
    FGeneric::releaseData();
  }

 private:
  // The two short fields share one word: a node is kept for every generic statement.
  LineInfo* statementLine_;
  std::unique_ptr<char[]> packed_;
  SymbolTable::LocalSymbolTable* scope_ = nullptr;
  uint32_t packedLength_;
  uint16_t scopeId_ = 0;
};

VEKT_POOLED_CLASS_IMPL(FDeferredGeneric, "FDeferredGeneric")

namespace {

const char* commentPrefixOf(const LineInfo* line) {
  return line->controlState ? line->controlState->commentPrefix : ";";
}

bool genericsAllowedAt(const LineInfo* line) {
  // $HW_ONLY clears the run's setting; the line's copy follows the option and the control.
  bool line_allows = !line->controlState || line->controlState->genericsAllowed;
  return line_allows && orbaOptions()->optimizeGenerics;
}

bool jumpChainsAt(const LineInfo* line) {
  return line->controlState ? line->controlState->jumpChainOpt : orbaOptions()->optimizeJumpChains;
}

bool isGeneratedLine(const LineInfo* line) { return line->variant() >= 0; }

// Whether a generic's expansions may wait for layout. Jump chains label every generated
// jump from the counter the expansion's own labels take theirs from, and the metrics count
// the generated lines as the parse meets them: both need the lines now.
bool expansionsMayWait(const LineInfo* line) {
  const RunSettings* options = orbaOptions();
  return !jumpChainsAt(line) && !options->metrics && !options->instructionMetrics;
}

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
  line->flags[2] = static_cast<uint8_t>((line->flags[2] & ~lineflag::kGenericLine) | lineflag::kGenericAlternative);
  line->setVariant(0);
  return generic;
}

}  // namespace

void InstructionStatements::settingsMayHaveChanged() { ++session_->plainGeneration; }

namespace {

// A statement of one candidate needs its parsed operands only as long as that candidate.
void keepOperandsWithSoleCandidate(const std::vector<IPInstruction*>& candidates) {
  if (candidates.size() == 1 && candidates.front()->encoding)
    CandidateNodes::takeOverDependency(candidates.front()->encoding->nodes);
}

}  // namespace

bool InstructionStatements::parse(const char* position, LineInfo* line, uint32_t* consumed) {
  Session& s = *session_;
  // A generated line belongs to an expansion that may not be chosen: it goes the long way.
  uint8_t plainLength = 0;
  const bool plainKnown = line->variant() < 0 && plainText(position, plainLength);
  uint64_t plainKey = 0;
  if (plainKnown) {
    if (line->controlState != s.plainState) {
      s.plainState = line->controlState;
      ++s.plainGeneration;
    }
    plainKey = plainHash(position, plainLength, line);
    const PlainStatement* plain =
        s.plainStatements.empty() ? nullptr : &s.plainStatements[plainKey & (kPlainStatementSlots - 1)];
    if (plain && plain->attributes && plain->hash == plainKey && plain->generation == s.plainGeneration &&
        plain->state == line->controlState && plain->section == line->section && plain->textLength == plainLength &&
        std::memcmp(plain->text, position, plainLength) == 0) {
      *consumed = plain->consumed;
      line->section->addNode(new FSimple(line, *plain->attributes, plain->image, plain->bits, plain->cycles), true);
      return true;
    }
  }
  const size_t diagnosticsBefore = errorHandler()->diagnosticStamp();
  isa::BuildContext& context = s.context;
  std::vector<IPInstruction*> room = std::move(context.candidates);
  context = isa::BuildContext{};
  context.candidates = std::move(room);
  isa::MatchContext match;
  context.matcher = &s.matcher;
  context.match = &match;

  s.expansionText.clear();
  context.expansionText = isa::expansionLinesWanted() ? &s.expansionText : nullptr;

  const char* prefix = commentPrefixOf(line);
  s.builder.setStatement(line, prefix);
  isa::MatchOptions options;
  options.commentPrefix = prefix;
  options.genericsAllowed = genericsAllowedAt(line);
  s.matcher.matchStatement(position, line, options, match);
  *consumed = match.matchedLength;

  std::vector<IPInstruction*>& candidates = context.candidates;
  Section* section = line->section;
  if (context.expanded) {
    const std::string& packed = s.expansionText;
    const bool wait = !candidates.empty() && !packed.empty() && expansionsMayWait(line);
    if (!wait && !packed.empty()) isa::insertExpansionLines(line, packed.data(), packed.size());
    FGeneric* generic =
        wait ? new FDeferredGeneric(line, line, packed, context.expansionInstructions) : new FGeneric(line);
    if (!candidates.empty()) {
      // The copy of the line only serves the expansion's lines when they are made.
      if (isa::expansionLinesWanted()) generic->line = insertGenericLine(line);
      generic->hasHardwareGroup = 1;
      keepOperandsWithSoleCandidate(candidates);
      generic->addRewrite(new FInstruction(line, std::move(candidates)));
      candidates.clear();
    }
    section->addNode(generic, true);
    return true;
  }

  if (!candidates.empty()) {
    // A statement whose every form fails a condition that no layout can change is
    // reported now: checking the source alone must find it.
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
      if (plainKnown && !match.genericAccepted && !context.isJump && simple->attributes &&
          simple->attributes->isShared() && simple->encoding && fitsPlainImage(*simple->encoding) &&
          s.matcher.parsedOnlyIntegers() && errorHandler()->diagnosticStamp() == diagnosticsBefore) {
        if (s.plainStatements.empty()) s.plainStatements.resize(kPlainStatementSlots);
        PlainStatement& plain = s.plainStatements[plainKey & (kPlainStatementSlots - 1)];
        IPAttribute::release(plain.attributes);
        plain.hash = plainKey;
        plain.state = line->controlState;
        plain.section = line->section;
        plain.attributes = simple->attributes->copy();
        plain.image = simple->encoding->image[7];
        plain.generation = s.plainGeneration;
        plain.consumed = *consumed;
        plain.cycles = static_cast<uint16_t>(simple->cycles);
        plain.bits = simple->encoding->bits;
        plain.textLength = plainLength;
        std::memcpy(plain.text, position, plainLength);
      }
      node = new FSimple(line, *simple);
      for (IPInstruction* candidate : candidates) delete candidate;
      candidates.clear();
    } else {
      keepOperandsWithSoleCandidate(candidates);
      node = new FInstruction(line, std::move(candidates));
      candidates.clear();
    }
    section->addNode(node, true);
    return true;
  }

  return fail(line, isa::unbuiltStatementText(context, position));
}
