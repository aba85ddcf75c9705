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
#include "parser/LineScanner.h"
#include "parser/OrbaParser.h"
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

// The most characters of a statement text that the tables of repeated statements and
// shapes key by.
constexpr size_t kStatementTextRoom = 46;

// What a statement of one fixed form came to, for the next statement of the same text
// under the same control state in the same section. A slot takes one cache line: its
// hash is not kept, as the text, state and section decide it, and the tags beside the
// slots hold bits of it.
struct alignas(64) PlainStatement {
  static constexpr size_t kTextRoom = 27;
  const ControlState* state = nullptr;
  const Section* section = nullptr;
  IPAttribute* attributes = nullptr;  // a claim on a shared set; null when the slot is free
  uint32_t image = 0;                 // bits 0..31; the rest of the image is 0
  uint32_t generation = 0;
  uint16_t cycles = 0;
  uint8_t bits = 0;
  uint8_t consumed = 0;  // never past the text
  uint8_t textLength = 0;
  char text[kTextRoom] = {};
};
static_assert(sizeof(PlainStatement) == 64);

// Slots of the table of plain statements: a source repeats a few shapes often, and the
// table stays small enough to be looked up at the cost of a cache line.
constexpr size_t kPlainStatementSlots = 4096;

// A plain number of a statement: up to nine decimal digits without a leading zero, or "0x"
// and up to eight hexadecimal digits, after a character that ends no name, before a comma,
// a bracket, a blank, a comment or the end of the text. A sign in front of the digits is
// the number's when the operand starts there.
struct ConstantToken {
  uint8_t from = 0;  // the sign, or the digits when there is none
  uint8_t digits = 0;
  uint8_t end = 0;
  int64_t value = 0;
};

// The plain numbers of a statement, in text order.
struct ConstantTokens {
  static constexpr uint32_t kMost = isa::ConstantOperandForm::kMostOperands;
  uint32_t count = 0;
  ConstantToken token[kMost];
};

// What the tables of repeated statements and shapes key a statement by, read in one pass
// over its text: every statement comes this way, so the text is walked once.
struct StatementText {
  // The statement text to the end of the line, or to the end of the prefix of the comment
  // after it: matching reads no further into a comment than its prefix, so statements that
  // differ only in their comments are one. `commentAt` is where the comment starts, the
  // length when there is none.
  uint8_t length = 0;
  uint8_t commentAt = 0;
  // Its plain numbers; `numbersFit` is false when there are more than a shape holds.
  ConstantTokens tokens;
  bool numbersFit = true;
  // The text without the digits of its numbers, made only when there are numbers.
  uint8_t shapeLength = 0;
  char shape[kStatementTextRoom];
};

// What each byte is to the pass over a statement.
namespace textclass {
constexpr uint8_t kEnd = 0x01;  // NUL or line feed
constexpr uint8_t kQuote = 0x02;
constexpr uint8_t kSemicolon = 0x04;
constexpr uint8_t kDigit = 0x08;
constexpr uint8_t kName = 0x10;        // a character that continues a name
constexpr uint8_t kEndsNumber = 0x20;  // a comma, a bracket, a blank or the end
constexpr uint8_t kSpecial = kEnd | kQuote | kSemicolon | kDigit;

struct Table {
  uint8_t of[256] = {};
  constexpr Table() {
    for (int c = 0; c < 256; ++c) {
      uint8_t bits = 0;
      if (c == 0 || c == '\n') bits |= kEnd | kEndsNumber;
      if (c == '"' || c == '\'') bits |= kQuote;
      if (c == ';') bits |= kSemicolon;
      if (c >= '0' && c <= '9') bits |= kDigit | kName;
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.') bits |= kName;
      if (c == ',' || c == ']' || c == ' ' || c == '\t') bits |= kEndsNumber;
      of[c] = bits;
    }
  }
};
constexpr Table kTable;

inline uint8_t of(char c) { return kTable.of[static_cast<unsigned char>(c)]; }
}  // namespace textclass

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the statement at `position`; false when its text does not fit the tables. A quote
// leaves the rest of the text whole: the prefix may stand inside a string. Only the prefix
// ";" is cut at, a character that no operand reads on from; another prefix may begin with
// an operator.
bool readStatementText(const char* position, const char* commentPrefix, StatementText& out) {
  constexpr size_t kRoom = kStatementTextRoom;
  const bool cutAtSemicolon = commentPrefix && commentPrefix[0] == ';' && commentPrefix[1] == '\0';
  bool quoted = false;
  ConstantTokens& tokens = out.tokens;
  tokens.count = 0;
  out.numbersFit = true;
  size_t i = 0;
  for (;;) {
    // Most characters are none of the kinds below: the loop only counts them.
    uint8_t kind = textclass::of(position[i]);
    while (!(kind & textclass::kSpecial)) {
      if (i >= kRoom) return false;
      kind = textclass::of(position[++i]);
    }
    if (kind & textclass::kEnd) {
      out.length = out.commentAt = static_cast<uint8_t>(i);
      break;
    }
    if (i >= kRoom) return false;
    const char c = position[i];
    if (kind & textclass::kQuote) {
      quoted = true;
    } else if (kind & textclass::kSemicolon) {
      if (cutAtSemicolon && !quoted) {
        out.commentAt = static_cast<uint8_t>(i);
        out.length = static_cast<uint8_t>(i + 1);
        break;
      }
    } else if (i == 0 || !(textclass::of(position[i - 1]) & textclass::kName)) {
      // A number starts here: its digits stop at a character that is no digit, never at
      // the end of the text or the comment, so the end is found by reading on.
      size_t end = i;
      uint64_t value = 0;
      bool wellFormed;
      if (c == '0' && (position[i + 1] == 'x' || position[i + 1] == 'X')) {
        end = i + 2;
        for (int digit; end <= kRoom && (digit = hexDigitValue(position[end])) >= 0; ++end)
          value = value * 16 + static_cast<uint64_t>(digit);
        const size_t count = end - (i + 2);
        wellFormed = count >= 1 && count <= 8;
      } else {
        while (end <= kRoom && (textclass::of(position[end]) & textclass::kDigit))
          value = value * 10 + static_cast<uint64_t>(position[end++] - '0');
        const size_t count = end - i;
        wellFormed = count <= 9 && (count == 1 || c != '0');
      }
      if (end > kRoom) return false;
      // The comment's ";" ends a number only where the text is cut there.
      const char after = position[end];
      const bool ends = (textclass::of(after) & textclass::kEndsNumber) ||
                        (after == ';' && cutAtSemicolon && !quoted);
      if (wellFormed && ends) {
        if (tokens.count == ConstantTokens::kMost) {
          out.numbersFit = false;
        } else {
          ConstantToken& token = tokens.token[tokens.count++];
          token.digits = static_cast<uint8_t>(i);
          token.end = static_cast<uint8_t>(end);
          token.from = static_cast<uint8_t>(i);
          token.value = static_cast<int64_t>(value);
          const char sign = i > 0 ? position[i - 1] : '\0';
          if (sign == '-' || sign == '+' || sign == '~') {
            token.from = static_cast<uint8_t>(i - 1);
            if (sign == '-') token.value = static_cast<int64_t>(0 - value);
            if (sign == '~') token.value = static_cast<int64_t>(~value);
          }
        }
      }
      // The character after the digits is no digit: it is read as any other.
      i = end;
      continue;
    }
    ++i;
  }
  // The shape, of a statement that has one: the text without the digits of its numbers.
  // Digits that make no number stay, as any other text.
  out.shapeLength = 0;
  if (tokens.count == 0 || !out.numbersFit) return true;
  uint8_t made = 0;
  uint8_t from = 0;
  for (uint32_t k = 0; k < tokens.count; ++k) {
    const ConstantToken& token = tokens.token[k];
    std::memcpy(out.shape + made, position + from, token.digits - from);
    made = static_cast<uint8_t>(made + token.digits - from);
    from = token.end;
  }
  std::memcpy(out.shape + made, position + from, out.length - from);
  out.shapeLength = static_cast<uint8_t>(made + out.length - from);
  return true;
}

uint64_t plainHash(const char* text, uint8_t length, const ControlState* state, const Section* section) {
  uint64_t hash = hashBytes(text, length);
  hash ^= reinterpret_cast<uintptr_t>(state) * 0x9E3779B97F4A7C15ull;
  hash ^= reinterpret_cast<uintptr_t>(section) * 0xC2B2AE3D27D4EB4Full;
  return hash ^ (hash >> 29);
}

// The tag of a plain statement's slot: bits of its hash above those that choose the slot,
// never 0, which marks a free slot.
uint32_t plainTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 12) | 1; }

// What statements of one constant shape come to over ranges of their constants: the form
// chosen when every value lies in its range of the form, and the values lie outside the
// ranges of each form that comes before it (one value is enough), which then rules it out.
struct ShapeRegime {
  static constexpr size_t kMostPassedOver = 4;
  static constexpr uint32_t kMost = isa::ConstantOperandForm::kMostOperands;
  // What every statement that takes the regime reads comes first, so that a statement of
  // one number and no form passed over reads two cache lines of it.
  IPAttribute* attributes = nullptr;  // a claim on a shared set; null when the regime is free
  uint32_t base = 0;  // the image without the constants' bits
  uint16_t cycles = 0;
  uint8_t bits = 0;
  uint8_t passedOverCount = 0;
  isa::ConstantOperandForm chosen;
  // The ranges of the forms before it, by number: [form][number][low, high].
  int64_t passedOver[kMostPassedOver][kMost][2] = {};

  static bool within(const isa::ConstantOperandForm& form, const int64_t* values) {
    for (uint32_t i = 0; i < form.count; ++i)
      if (values[i] < form.low[i] || values[i] > form.high[i]) return false;
    return true;
  }

  bool takes(const int64_t* values) const {
    if (!attributes || !within(chosen, values)) return false;
    for (uint8_t i = 0; i < passedOverCount; ++i) {
      bool inside = true;
      for (uint32_t k = 0; k < chosen.count && inside; ++k)
        inside = values[k] >= passedOver[i][k][0] && values[k] <= passedOver[i][k][1];
      if (inside) return false;
    }
    return true;
  }

  // The image for the values; false when a field refuses its value.
  bool image(const int64_t* values, uint32_t& out) const {
    uint32_t placed = 0;
    for (uint32_t i = 0; i < chosen.count; ++i) {
      uint32_t bitsOfValue = 0;
      if (chosen.fields[i] && !isa::placeConstant(*chosen.fields[i], bits, values[i], bitsOfValue)) return false;
      placed |= bitsOfValue;
    }
    out = base | placed;
    return true;
  }
};

// A statement text with its numbers taken out, under a control state, in a section.
struct alignas(64) ShapeStatement {
  static constexpr size_t kRegimes = 3;
  uint64_t hash = 0;
  const ControlState* state = nullptr;
  const Section* section = nullptr;
  uint32_t generation = 0;
  uint32_t consumedAfter = 0;  // characters consumed after the last number
  uint8_t digits[ConstantTokens::kMost] = {};  // where the numbers stand in the text
  uint8_t count = 0;
  uint8_t textLength = 0;  // without the numbers
  uint8_t nextRegime = 0;
  char text[kStatementTextRoom] = {};
  ShapeRegime regimes[kRegimes];

  void releaseRegimes() {
    for (ShapeRegime& regime : regimes) {
      IPAttribute::release(regime.attributes);
      regime = ShapeRegime{};
    }
    nextRegime = 0;
  }
};

constexpr size_t kShapeStatementSlots = 1024;

uint64_t shapeHash(const char* shape, uint8_t length, const ConstantTokens& tokens, const ControlState* state,
                   const Section* section) {
  uint64_t hash = plainHash(shape, length, state, section);
  for (uint32_t i = 0; i < tokens.count; ++i) hash = (hash ^ tokens.token[i].digits) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 31);
}

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

// Where a statement's target stands: the name at the end of the statement text (before
// blanks and the comment), after a comma or a blank, starting with a letter or an
// underscore.
struct TargetSplit {
  uint8_t from = 0;
  uint8_t end = 0;
};

bool splitTarget(const char* text, uint8_t commentAt, TargetSplit& split) {
  uint8_t end = commentAt;
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  uint32_t from = 0;
  if (!isa::targetAtEnd(text, end, from)) return false;
  split.from = static_cast<uint8_t>(from);
  split.end = end;
  return true;
}

// A generic jump statement's text but for its target, under a control state, in a
// section, under a generation of the settings: its shared forms and its kept expansion.
struct JumpShapeSlot {
  uint64_t hash = 0;
  const ControlState* state = nullptr;
  const Section* section = nullptr;
  uint32_t generation = 0;
  uint8_t beforeLength = 0;
  uint8_t afterLength = 0;
  uint8_t stateCount = 0;
  // The target's symbol as the parse leaves it: its flags, and whether it is placed in
  // the statement's section (1), elsewhere (2) or nowhere yet (0).
  uint8_t symbolFlags[3] = {};
  uint8_t symbolPlace = 0;
  uint32_t consumedBeyond = 0;  // characters the walk took after the target
  char text[kStatementTextRoom] = {};
  uint16_t states[isa::InstructionMatcher::kMostTargetStates] = {};
  isa::JumpShape* shape = nullptr;  // null when the slot is free
};

constexpr size_t kJumpShapeSlots = 512;

uint64_t jumpShapeHash(const char* text, const TargetSplit& split, uint8_t length, const LineInfo* line,
                       uint32_t generation) {
  uint64_t hash = hashBytes(text, split.from);
  hash = (hash ^ hashBytes(text + split.end, static_cast<size_t>(length - split.end))) * 0x9E3779B97F4A7C15ull;
  hash ^= reinterpret_cast<uintptr_t>(line->controlState.get()) * 0xC2B2AE3D27D4EB4Full;
  hash ^= reinterpret_cast<uintptr_t>(line->section.get()) * 0x165667B19E3779F9ull;
  hash ^= generation * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 29);
}

// How the target's symbol will stand once the parse has referred to it, for the symbol
// as it stands now (null: the parse makes it).
void referencedClass(const Symbol* symbol, const LineInfo* line, uint8_t* flags, uint8_t& place) {
  const bool debugSection = line->section && line->section->flags.isDebug();
  flags[0] = symbol ? symbol->flags[0] : 0;
  flags[1] = static_cast<uint8_t>((symbol ? symbol->flags[1] : 0) | Symbol::kUsed);
  flags[2] = static_cast<uint8_t>((symbol ? symbol->flags[2] : 0) |
                                  (debugSection ? Symbol::kDebugReferenced : Symbol::kProgramReferenced));
  const Section* section = symbol ? symbol->section : nullptr;
  place = section == nullptr ? 0 : section == line->section ? 1 : 2;
}

// Jumps of one text whose targets stand differently have slots of their own: forward and
// backward jumps mix in most code.
uint64_t classHash(uint64_t hash, const uint8_t* flags, uint8_t place) {
  const uint64_t mixed = (uint64_t{flags[0]} | uint64_t{flags[1]} << 8 | uint64_t{flags[2]} << 16 |
                          uint64_t{place} << 24) + 1;
  hash ^= mixed * 0xD6E8FEB86659FD93ull;
  return hash ^ (hash >> 32);
}

}  // namespace

// The matcher's working records live as long as the parse: their tables and the room of
// the candidate list are reused from statement to statement.
struct InstructionStatements::Session {
  ~Session() {
    for (PlainStatement& plain : plainStatements) IPAttribute::release(plain.attributes);
    for (ShapeStatement& shape : shapeStatements) shape.releaseRegimes();
  }

  // Statements whose text, control state and section decide everything about them: one
  // fixed form chosen at once, integer operands alone, nothing reported, no jump. A slot
  // holds the last such statement of its hash. A control state is never changed once a
  // later line takes it, but a state that goes may leave its address to another, and a
  // directive or control may change the run's settings: the slots count only while the
  // statements go on under the state they were made in, with no directive between.
  // Made at the first statement kept: the parsers of generated lines never keep one.
  std::vector<PlainStatement> plainStatements;
  std::vector<uint32_t> plainTags;  // beside the slots, by slot
  const ControlState* plainState = nullptr;
  uint32_t plainGeneration = 0;
  // Binding directives so far. Both counts only grow, so their sum is the same only when
  // neither has moved: the kept jump outcomes go by the sum.
  uint32_t bindingChanges = 0;
  // Statements that differ from one made before only in the values of their numbers, under
  // the same conditions as the plain ones; made at the first shape kept.
  std::vector<ShapeStatement> shapeStatements;
  // The hardware forms the walk of the current statement offered.
  std::vector<const MatchAlternative*> offered;

  ShapeStatement* shapeSlot(uint64_t hash) {
    if (shapeStatements.empty()) shapeStatements.resize(kShapeStatementSlots);
    return &shapeStatements[hash & (kShapeStatementSlots - 1)];
  }

  // The slot that holds the shape under the line's conditions, or null.
  ShapeStatement* findShape(uint64_t hash, const char* shape, uint8_t length, const ConstantTokens& tokens,
                            const ControlState* state, const Section* section) {
    if (shapeStatements.empty()) return nullptr;
    ShapeStatement* slot = &shapeStatements[hash & (kShapeStatementSlots - 1)];
    if (slot->hash != hash || slot->generation != plainGeneration || slot->state != state ||
        slot->section != section || slot->count != tokens.count || slot->textLength != length ||
        std::memcmp(slot->text, shape, length) != 0)
      return nullptr;
    for (uint32_t i = 0; i < tokens.count; ++i)
      if (slot->digits[i] != tokens.token[i].digits) return nullptr;
    return slot;
  }

  // The packed lines of the statement's expansions, reused from statement to statement.
  std::string expansionText;
  // Judges constant operands as layout would, made at the first one.
  std::unique_ptr<ExpressionValidator> constantCheck;
  RecordingOperands operands;
  // Generic jumps by their text but for the target; made at the first shape kept. They
  // count under their own generation, which the directives that place data leave alone,
  // and the control state of the last jump, as the plain statements count theirs.
  std::vector<JumpShapeSlot> jumpShapes;
  uint32_t jumpGeneration = 0;
  const ControlState* jumpState = nullptr;

  uint32_t jumpShapeGeneration(const LineInfo* line) {
    if (line->controlState != jumpState) {
      jumpState = line->controlState;
      ++jumpGeneration;
    }
    return jumpGeneration + bindingChanges;
  }
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

// The blocks of every deferred expansion of the run. They are kept until the run ends:
// most are never built, and one allocation a statement would cost more than the text.
class DeferredExpansionArena {
 public:
  DeferredExpansion* make(size_t textLength) {
    const size_t bytes = (sizeof(DeferredExpansion) + textLength + alignof(DeferredExpansion) - 1) &
                         ~(alignof(DeferredExpansion) - 1);
    if (bytes > left_) {
      const size_t chunk = bytes > kChunkBytes ? bytes : kChunkBytes;
      chunks_.push_back(std::make_unique<std::max_align_t[]>((chunk + sizeof(std::max_align_t) - 1) /
                                                              sizeof(std::max_align_t)));
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

// The statement's own line as the hardware alternative of its generic.
void markHardwareAlternative(LineInfo* line) {
  line->flags[2] = static_cast<uint8_t>((line->flags[2] & ~lineflag::kGenericLine) | lineflag::kGenericAlternative);
  line->setVariant(0);
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
  markHardwareAlternative(line);
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

bool genericsAllowedAt(const LineInfo* line) {
  // $HW_ONLY clears the run's setting; the line's copy follows the option and the control.
  bool line_allows = !line->controlState || line->controlState->genericsAllowed;
  return line_allows && orbaOptions()->optimizeGenerics;
}

bool jumpChainsAt(const LineInfo* line) {
  return line->controlState ? line->controlState->jumpChainOpt : orbaOptions()->optimizeJumpChains;
}

bool isGeneratedLine(const LineInfo* line) { return line->variant() >= 0; }

bool noFormAligns(const std::vector<IPInstruction*>& candidates) {
  for (const IPInstruction* candidate : candidates)
    if (candidate->alignment != 0) return false;
  return true;
}

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


}  // namespace

namespace {

// Directives that place data, space or alignment in the section, or give a symbol a value:
// nothing a jump's forms are built from. A symbol's value is judged at every jump.
bool leavesJumpsAlone(int directive) {
  switch (directive) {
    case kTokAccum:
    case kTokAlign:
    case kTokAscii:
    case kTokAsciiz:
    case kTokByte:
    case kTokDouble:
    case kTokEqu:
    case kTokFloat:
    case kTokFract:
    case kTokHalf:
    case kTokSet:
    case kTokSfract:
    case kTokSpace:
    case kTokWord:
      return true;
    default:
      return false;
  }
}

}  // namespace

void InstructionStatements::settingsMayHaveChanged(int directive) {
  ++session_->plainGeneration;
  if (!leavesJumpsAlone(directive)) ++session_->jumpGeneration;
}

void InstructionStatements::symbolBindingChanged() { ++session_->bindingChanges; }

namespace {

// A statement of one candidate needs its parsed operands only as long as that candidate.
void keepOperandsWithSoleCandidate(const std::vector<IPInstruction*>& candidates) {
  if (candidates.size() == 1 && candidates.front()->encoding)
    CandidateNodes::takeOverDependency(candidates.front()->encoding->nodes);
}

}  // namespace

namespace {

// Keeps what the statement came to for the next of its shape, when the values of its
// numbers can have changed nothing but whether the forms before the chosen one are ruled
// out and the bits of the chosen one's fields.
void keepShape(InstructionStatements::Session& s, const char* position, const ConstantTokens& tokens,
               const char* shape, uint8_t shapeLength, uint64_t key, const LineInfo* line,
               const std::vector<IPInstruction*>& candidates, const IPInstruction& chosen, uint32_t consumed) {
  const ConstantToken& last = tokens.token[tokens.count - 1];
  if (consumed < last.end) return;
  const char* from[ConstantTokens::kMost];
  const char* end[ConstantTokens::kMost];
  int64_t values[ConstantTokens::kMost];
  int64_t parsed[ConstantTokens::kMost];
  for (uint32_t i = 0; i < tokens.count; ++i) {
    from[i] = position + tokens.token[i].from;
    end[i] = position + tokens.token[i].end;
    values[i] = tokens.token[i].value;
  }
  if (!s.matcher.integersBetween(from, end, tokens.count, parsed)) return;
  for (uint32_t i = 0; i < tokens.count; ++i)
    if (parsed[i] != values[i]) return;
  size_t chosenAt = 0;
  while (chosenAt < candidates.size() && candidates[chosenAt] != &chosen) ++chosenAt;
  if (chosenAt == candidates.size() || chosenAt > ShapeRegime::kMostPassedOver) return;

  ShapeRegime regime;
  for (size_t i = 0; i < chosenAt; ++i) {
    isa::ConstantOperandForm form;
    const MatchAlternative* alternative = candidates[i]->alternative;
    if (!alternative || !isa::constantReachesOnlyItsField(*alternative, form) || form.count != tokens.count) return;
    // The form was passed over for its ranges: values inside them may take the form.
    if (ShapeRegime::within(form, values)) return;
    for (uint32_t k = 0; k < form.count; ++k) {
      regime.passedOver[i][k][0] = form.low[k];
      regime.passedOver[i][k][1] = form.high[k];
    }
  }
  regime.passedOverCount = static_cast<uint8_t>(chosenAt);
  if (!chosen.alternative || !isa::constantReachesOnlyItsField(*chosen.alternative, regime.chosen) ||
      regime.chosen.count != tokens.count || !ShapeRegime::within(regime.chosen, values))
    return;
  for (const MatchAlternative* alternative : s.offered) {
    bool judged = false;
    for (size_t i = 0; i <= chosenAt && !judged; ++i) judged = candidates[i]->alternative == alternative;
    if (!judged && !isa::constantLeavesBuildAlone(*alternative)) return;
  }
  const uint32_t image = chosen.encoding->image[7];
  regime.bits = chosen.encoding->bits;
  uint32_t mask = 0;
  for (uint32_t i = 0; i < regime.chosen.count; ++i) {
    uint32_t fieldMask = 0;
    if (regime.chosen.fields[i] && !isa::constantFieldMask(*regime.chosen.fields[i], regime.bits, fieldMask)) return;
    mask |= fieldMask;
  }
  regime.base = image & ~mask;
  uint32_t rebuilt = 0;
  if (!regime.image(values, rebuilt) || rebuilt != image) return;
  regime.cycles = static_cast<uint16_t>(chosen.cycles);

  ShapeStatement* slot = s.findShape(key, shape, shapeLength, tokens, line->controlState, line->section);
  if (!slot) {
    slot = s.shapeSlot(key);
    slot->releaseRegimes();
    slot->hash = key;
    slot->state = line->controlState;
    slot->section = line->section;
    slot->generation = s.plainGeneration;
    slot->count = static_cast<uint8_t>(tokens.count);
    for (uint32_t i = 0; i < tokens.count; ++i) slot->digits[i] = tokens.token[i].digits;
    slot->textLength = shapeLength;
    std::memcpy(slot->text, shape, shapeLength);
  }
  slot->consumedAfter = consumed - last.end;
  size_t free = 0;
  while (free < ShapeStatement::kRegimes && slot->regimes[free].attributes) ++free;
  if (free == ShapeStatement::kRegimes) {
    free = slot->nextRegime;
    slot->nextRegime = static_cast<uint8_t>((free + 1) % ShapeStatement::kRegimes);
    IPAttribute::release(slot->regimes[free].attributes);
  }
  regime.attributes = chosen.attributes->copy();
  slot->regimes[free] = regime;
}

}  // namespace

namespace {

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

// Keeps the shape of a generic jump that went the whole way to its stand-in, when the
// walk read its target as an expression alone, the target named a symbol of its own
// name, and nothing was reported: the next jump of the same text but for the target can
// then share the forms. A shape is made at the second jump of its text.
void keepJumpShape(InstructionStatements::Session& s, const char* position, LineInfo* line, uint8_t plainLength,
                   const TargetSplit& split, uint32_t matched, const isa::BuildContext& context,
                   const FInstruction& standIn, size_t diagnosticsBefore, unsigned long labelsBefore,
                   bool plainJump = false, bool genericRefused = false) {
  if (!isa::targetOutcomes().enabled || matched < split.end || tempLabelNameTakenEarly()) return;
  const unsigned long labelsAfter = nextTempLabelNumber();
  if (labelsAfter > labelsBefore || (plainJump && labelsAfter != labelsBefore)) return;
  isa::JumpExpansion expansion;
  if ((!plainJump && !isa::jumpExpansionOf(context, expansion)) || !isa::jumpFormsFitRecord(standIn)) return;
  if (errorHandler()->diagnosticStamp() != diagnosticsBefore) return;
  const uint32_t stateCount = s.matcher.targetStateCount();
  if (stateCount == 0 || stateCount > isa::InstructionMatcher::kMostTargetStates) return;
  if (!isa::InstructionMatcher::nameOnlyAnExpression(s.matcher.targetStates(), stateCount, position + split.from,
                                                     split.end - split.from))
    return;
  const RecordingOperands& parses = s.operands;
  if (parses.count == 0 || parses.count > RecordingOperands::kMost) return;
  const char* target = position + split.from;
  const uint32_t nameLength = split.end - split.from;
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

  const uint32_t generation = s.jumpShapeGeneration(line);
  uint8_t symbolPlace = symbol->section == nullptr ? 0 : symbol->section == line->section ? 1 : 2;
  const uint64_t hash =
      classHash(jumpShapeHash(position, split, plainLength, line, generation), symbol->flags, symbolPlace);
  if (s.jumpShapes.empty()) s.jumpShapes.resize(kJumpShapeSlots);
  JumpShapeSlot& slot = s.jumpShapes[hash & (kJumpShapeSlots - 1)];
  // The first jump of a text only marks the slot: a text met once needs no shape.
  if (slot.hash != hash) {
    slot = JumpShapeSlot{};
    slot.hash = hash;
    return;
  }
  isa::JumpShape* shape = isa::makeJumpShape();
  shape->before.assign(position, split.from);
  shape->after.assign(position + split.end, static_cast<size_t>(plainLength - split.end));
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
  shape->plain = plainJump;
  shape->checkOnly = !isa::expansionLinesWanted();
  shape->genericRefused = genericRefused;
  shape->waiting = plainJump || shape->checkOnly ? 0 : static_cast<uint16_t>(standIn.waitingExpansions());
  shape->expansion = expansion;
  shape->labelCount = static_cast<uint32_t>(labelsBefore - labelsAfter);
  SymbolTable* table = symbolTable();
  shape->scope = table->current;
  shape->scopeId = table->currentScope;
  shape->forms = new FInstruction(
      line, isa::buildJumpForms(*shape, line, symbol, shape->leaves, &shape->leafCount, &shape->parsedNodes));
  shape->bound = symbol;
  if (!sameForms(*shape->forms, standIn) || shape->leafCount == 0 ||
      errorHandler()->diagnosticStamp() != diagnosticsBefore)
    return;
  slot.shape = shape;
  slot.state = line->controlState;
  slot.section = line->section;
  slot.generation = generation;
  slot.beforeLength = split.from;
  slot.afterLength = static_cast<uint8_t>(plainLength - split.end);
  std::memcpy(slot.text, position, split.from);
  std::memcpy(slot.text + split.from, position + split.end, slot.afterLength);
  slot.stateCount = static_cast<uint8_t>(stateCount);
  for (uint32_t i = 0; i < stateCount; ++i) slot.states[i] = s.matcher.targetStates()[i];
  for (int i = 0; i < 3; ++i) slot.symbolFlags[i] = symbol->flags[i];
  slot.symbolPlace = symbolPlace;
  slot.consumedBeyond = matched - split.end;
}

// A generic jump of a kept shape: the target is parsed as the walk parses it, the
// expansion is packed as the kept outcome makes it, and a record shares the shape's
// forms. False, with nothing done, when the statement is not of a kept shape or its
// target could stand otherwise than the shape's did.
bool takeJumpRecord(InstructionStatements::Session& s, const char* position, LineInfo* line, uint8_t plainLength,
                    const TargetSplit& split, uint32_t* consumed) {
  if (s.jumpShapes.empty() || !isa::targetOutcomes().enabled) return false;
  Section* section = line->section;
  if (section == placeholderSection() || jumpChainsAt(line)) return false;
  char name[kStatementTextRoom + 1];
  const auto nameLength = static_cast<size_t>(split.end - split.from);
  std::memcpy(name, position + split.from, nameLength);
  name[nameLength] = '\0';
  if (isa::isGeneratedLabelName(name)) return false;
  SymbolTable* table = symbolTable();
  if (!table->current) return false;
  const Symbol* known = table->current->lookup(name);
  if (known && (known->valueExpression || std::strcmp(known->name, name) != 0 || (known->flags[0] & Symbol::kBinding6)))
    return false;
  uint8_t flags[3];
  uint8_t place = 0;
  referencedClass(known, line, flags, place);
  const uint32_t generation = s.jumpShapeGeneration(line);
  const uint64_t hash = classHash(jumpShapeHash(position, split, plainLength, line, generation), flags, place);
  const JumpShapeSlot& slot = s.jumpShapes[hash & (kJumpShapeSlots - 1)];
  const auto afterLength = static_cast<uint8_t>(plainLength - split.end);
  if (!slot.shape || slot.hash != hash || slot.generation != generation || slot.state != line->controlState ||
      slot.section != line->section || slot.beforeLength != split.from || slot.afterLength != afterLength ||
      std::memcmp(slot.text, position, split.from) != 0 ||
      std::memcmp(slot.text + split.from, position + split.end, afterLength) != 0 ||
      std::memcmp(flags, slot.symbolFlags, 3) != 0 || place != slot.symbolPlace ||
      slot.shape->scope != table->current || slot.shape->scopeId != table->currentScope)
    return false;
  // The expansion's labels are numbered now and named when the lines are made.
  const unsigned long firstLabel = nextTempLabelNumber();
  if (tempLabelNameTakenEarly() || firstLabel > UINT32_MAX || firstLabel < slot.shape->labelCount) return false;
  isa::JumpShape& shape = *slot.shape;
  if (shape.checkOnly == isa::expansionLinesWanted()) return false;
  if (!shape.plain && (!genericsAllowedAt(line) || (!shape.checkOnly && !expansionsMayWait(line)))) return false;
  if (shape.genericRefused && genericsAllowedAt(line)) return false;
  // The walk of the shape's text reads the target as an expression alone, and so it reads
  // this one, when no state it stands in there reads this name as text.
  if (!isa::InstructionMatcher::nameOnlyAnExpression(slot.states, slot.stateCount, position + split.from,
                                                     split.end - split.from))
    return false;

  OrbaExpression* target = nullptr;
  for (uint32_t i = 0; i < shape.parseCount; ++i) {
    void* expression = nullptr;
    const char* error = nullptr;
    s.operands.isa::ExpressionOperandParser::parse(position + split.from - shape.parseBack[i], line, &expression,
                                                    &error);
    auto* parsed = static_cast<OrbaExpression*>(expression);
    if (!target)
      target = parsed;
    else if (parsed)
      releaseTempExpression(parsed);
  }
  Symbol* symbol = target && target->getKind() == EK_symbol ? target->getSymbol() : nullptr;
  if (target) releaseTempExpression(target);
  // Only a symbol of the target's own name can be shown by its name: else the walk, which
  // cannot differ, builds the stand-in.
  if (!symbol || std::strcmp(symbol->name, name) != 0) return false;
  *consumed = split.end + slot.consumedBeyond;
  if (shape.plain) {
    section->addNode(new isa::FJumpRecord(line, &shape, symbol, 0), true);
  } else if (shape.checkOnly) {
    // Nothing after the parse reads the record: it stands for the discarded generic.
    ++isa::targetOutcomes().taken;
    section->addNode(new isa::FJumpRecord(line, &shape, symbol, 0), true);
  } else {
    setNextTempLabelNumber(firstLabel - shape.labelCount);
    ++isa::targetOutcomes().taken;
    section->addNode(new isa::FJumpRecord(line, &shape, symbol, static_cast<uint32_t>(firstLabel)), true);
    markHardwareAlternative(line);
  }
  ++isa::jumpRecords().taken;
  return true;
}

}  // namespace

bool InstructionStatements::parse(const char* position, LineInfo* line, uint32_t* consumed) {
  Session& s = *session_;
  // Each read of the line's control state or section goes through the table of line
  // contexts: the fast paths read them once.
  const ControlState* const state = line->controlState;
  Section* const lineSection = line->section;
  const char* prefix = state ? state->commentPrefix : ";";
  StatementText text;
  // A generated line belongs to an expansion that may not be chosen: it goes the long way.
  const bool plainKnown = line->variant() < 0 && readStatementText(position, prefix, text);
  const uint8_t plainLength = text.length;
  const uint8_t commentAt = text.commentAt;
  const ConstantTokens& tokens = text.tokens;
  if (plainKnown && state != s.plainState) {
    s.plainState = state;
    ++s.plainGeneration;
  }
  // The digits are read as decimal only where the line's radix is ten.
  const bool shapeKnown = plainKnown && tokens.count > 0 && text.numbersFit && state && state->radix == 10 &&
                          isa::constantShapes().enabled;
  const char* shape = text.shape;
  const uint8_t shapeLength = text.shapeLength;
  uint64_t shapeKey = 0;
  if (shapeKnown) {
    shapeKey = shapeHash(shape, shapeLength, tokens, state, lineSection);
    if (const ShapeStatement* known = s.findShape(shapeKey, shape, shapeLength, tokens, state, lineSection)) {
      int64_t values[ConstantTokens::kMost];
      for (uint32_t i = 0; i < tokens.count; ++i) values[i] = tokens.token[i].value;
      for (const ShapeRegime& regime : known->regimes) {
        if (!regime.takes(values)) continue;
        uint32_t image = 0;
        if (!regime.image(values, image)) break;
        *consumed = tokens.token[tokens.count - 1].end + known->consumedAfter;
        ++isa::constantShapes().taken;
        appendSimpleInstruction(*lineSection, line, *regime.attributes, image, regime.bits, regime.cycles);
        return true;
      }
    }
  }
  // The plain key is hashed only here: a statement of a known shape does without it.
  const uint64_t plainKey = plainKnown ? plainHash(position, plainLength, state, lineSection) : 0;
  // A statement of a known shape needs no look in the table of plain statements. The tags
  // answer most misses (a jump is never kept) without reading a slot, which is seldom in
  // the cache.
  if (plainKnown && plainLength <= PlainStatement::kTextRoom && !s.plainStatements.empty()) {
    const size_t slot = plainKey & (kPlainStatementSlots - 1);
    const PlainStatement* plain = &s.plainStatements[slot];
    if (s.plainTags[slot] == plainTag(plainKey) && plain->generation == s.plainGeneration && plain->state == state && plain->section == lineSection &&
        plain->textLength == plainLength && std::memcmp(plain->text, position, plainLength) == 0) {
      *consumed = plain->consumed;
      appendSimpleInstruction(*lineSection, line, *plain->attributes, plain->image, plain->bits, plain->cycles);
      return true;
    }
  }
  // The statement's target, found once for the jump records and the walk that keeps them.
  TargetSplit jumpSplit;
  const bool jumpKnown = plainKnown && isa::jumpRecords().enabled && splitTarget(position, commentAt, jumpSplit);
  if (jumpKnown && takeJumpRecord(s, position, line, plainLength, jumpSplit, consumed)) return true;
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
  context.targetOutcomes = plainKnown;
  context.settingsGeneration = s.plainGeneration + s.bindingChanges;
  s.offered.clear();
  context.offered = shapeKnown ? &s.offered : nullptr;
  const char* digits[ConstantTokens::kMost];
  for (uint32_t i = 0; shapeKnown && i < tokens.count; ++i) digits[i] = position + tokens.token[i].digits;
  s.matcher.watchNumbersAt(digits, shapeKnown ? tokens.count : 0);
  s.matcher.watchTargetAt(jumpKnown ? position + jumpSplit.from : nullptr);
  s.operands.count = 0;
  const unsigned long labelsBefore = nextTempLabelNumber();

  s.expansionText.clear();
  context.expansionText = isa::expansionLinesWanted() ? &s.expansionText : nullptr;

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
    // Outside every section the node moves to a section made for it, which its lines
    // take from the copy of the statement's line: that copy is made at once there.
    const bool wait =
        !candidates.empty() && !packed.empty() && expansionsMayWait(line) && section != placeholderSection();
    if (!wait && !packed.empty()) isa::insertExpansionLines(line, packed.data(), packed.size());
    // A statement of the source whose forms take no alignment stands as its hardware
    // form; a generated one stays in the group of the expansion it belongs to, where
    // layout does not look into generics.
    if (wait && !isGeneratedLine(line) && noFormAligns(candidates)) {
      keepOperandsWithSoleCandidate(candidates);
      auto* standIn = new FStandInGeneric(
          line, std::move(candidates), FDeferredGeneric::pack(packed, context.expansionInstructions));
      candidates.clear();
      section->addNode(standIn, true);
      markHardwareAlternative(line);
      if (jumpKnown)
        keepJumpShape(s, position, line, plainLength, jumpSplit, match.matchedLength, context, *standIn,
                      diagnosticsBefore, labelsBefore);
      return true;
    }
    FGeneric* generic = wait ? new FDeferredGeneric(line, FDeferredGeneric::pack(packed, context.expansionInstructions))
                             : new FGeneric(line);
    bool hardwareAlternative = false;
    FInstruction* hardware = nullptr;
    if (!candidates.empty()) {
      // The copy of the line only serves the expansion's lines when they are made; a
      // generic whose lines wait stands on the statement's line until then.
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
    if (hardwareAlternative) markHardwareAlternative(line);
    // A check reads nothing of the node: the next jump of the text needs none of its own.
    if (hardware && jumpKnown && !isa::expansionLinesWanted() && !isGeneratedLine(line) &&
        section != placeholderSection())
      keepJumpShape(s, position, line, plainLength, jumpSplit, match.matchedLength, context, *hardware,
                    diagnosticsBefore, labelsBefore);
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
          s.matcher.parsedOnlyIntegers() && errorHandler()->diagnosticStamp() == diagnosticsBefore &&
          *consumed <= commentAt) {
        if (plainLength <= PlainStatement::kTextRoom) {
          if (s.plainStatements.empty()) {
            s.plainStatements.resize(kPlainStatementSlots);
            s.plainTags.resize(kPlainStatementSlots);
          }
          PlainStatement& plain = s.plainStatements[plainKey & (kPlainStatementSlots - 1)];
          s.plainTags[plainKey & (kPlainStatementSlots - 1)] = plainTag(plainKey);
          IPAttribute::release(plain.attributes);
          plain.state = line->controlState;
          plain.section = line->section;
          plain.attributes = simple->attributes->copy();
          plain.image = simple->encoding->image[7];
          plain.generation = s.plainGeneration;
          plain.consumed = static_cast<uint8_t>(*consumed);
          plain.cycles = static_cast<uint16_t>(simple->cycles);
          plain.bits = simple->encoding->bits;
          plain.textLength = plainLength;
          std::memcpy(plain.text, position, plainLength);
        }
        if (shapeKnown && !s.matcher.numberReadAsText())
          keepShape(s, position, tokens, shape, shapeLength, shapeKey, line, candidates, *simple, *consumed);
      }
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
      if (jumpKnown && context.isJump && (!match.genericAccepted || !options.genericsAllowed) &&
          !jumpChainsAt(line) && section != placeholderSection()) {
        section->addNode(node, true);
        keepJumpShape(s, position, line, plainLength, jumpSplit, match.matchedLength, context,
                      static_cast<FInstruction&>(*node), diagnosticsBefore, labelsBefore, true,
                      match.genericAccepted);
        return true;
      }
    }
    section->addNode(node, true);
    return true;
  }

  return fail(line, isa::unbuiltStatementText(context, position));
}
