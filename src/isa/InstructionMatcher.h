// The backtracking walk of an instruction statement through the instruction automaton:
// every reading of the text that the automaton allows is followed, every accepting one
// offers its forms, and the failure that got furthest into the text is kept for the
// diagnostic when nothing matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "isa/InstructionTables.h"

class CandidateNodes;
class OrbaExpression;
struct LineInfo;
struct MemPool;

namespace isa {

// The furthest syntax failure of a statement. `messageId` is a catalog identifier
// (E_error, E_syntax_expected_error, E_syntax_unexpected_error), 0 when nothing is recorded.
struct SyntaxFailure {
  const char* position = nullptr;
  int32_t messageId = 0;
  const char* argument = nullptr;
};

// Each records its failure only when it lies strictly further right than the recorded one.
void noteSyntaxExpectedNumber(SyntaxFailure& failure, const char* position);
void noteSyntaxExpectedExpression(SyntaxFailure& failure, const char* position);
void noteSyntaxErrorText(SyntaxFailure& failure, const char* position, const char* text);
void noteSyntaxUnexpected(SyntaxFailure& failure, const char* position);

// The diagnostic text of a failure, or null when none is recorded; the text is formatted
// into `buffer` when it needs formatting.
const char* syntaxFailureText(const SyntaxFailure& failure, char* buffer, uint32_t size);

// The visited states from the start state to the current one.
struct MatchPath {
  uint16_t* states = nullptr;
  uint32_t capacity = 0;
  uint32_t count = 0;
};

// Reads an expression operand for the walk. The statement parser supplies one over the
// expression parser; SimpleOperandParser stands in where no expression parser is wanted.
class OperandParser {
 public:
  virtual ~OperandParser() = default;
  // Parses the expression that starts at `text`; returns the number of characters it
  // consumed (0 when there is no expression there), the expression or null, and the
  // parser's error text or null.
  virtual uint32_t parse(const char* text, const LineInfo* line, void** expression, const char** error) = 0;
  // Whether the error text of a refused operand is the statement's diagnostic, rather than
  // the syntax error where the walk then stops.
  virtual bool errorNamesStatement(const char* /*error*/) const { return false; }
};

// Integers (decimal, 0x hex), identifiers and the unary minus, joined by + and -.
class SimpleOperandParser : public OperandParser {
 public:
  uint32_t parse(const char* text, const LineInfo* line, void** expression, const char** error) override;
};

// Receives the forms of an accepting state: the statement parser builds or expands them.
class MatchListener {
 public:
  virtual ~MatchListener() = default;
  virtual void acceptForm(const MatchAlternative& alternative, const MatchPath& path) = 0;
};

struct MatchContext {
  const char* text = nullptr;  // the statement text being walked
  uint32_t matchedLength = 0;
  SyntaxFailure failure;
  uint32_t acceptedForms = 0;
  // Set when only generic forms accepted and generics are not allowed on the line.
  bool onlyGenericRejected = false;
  // Set when an accepting state had a generic form, offered or not.
  bool genericAccepted = false;
};

struct MatchOptions {
  const char* commentPrefix = nullptr;  // null or empty when none
  bool genericsAllowed = true;
};

// Holds the walk's working records: the pools, the stack of visited states, and the memo of
// parsed expressions, keyed by target state and text position, with the walks taken on from
// their ends.
class InstructionMatcher {
 public:
  InstructionMatcher(OperandParser& operands, MatchListener& listener);
  ~InstructionMatcher();
  InstructionMatcher(const InstructionMatcher&) = delete;
  InstructionMatcher& operator=(const InstructionMatcher&) = delete;

  // Walks one statement; returns the number of characters consumed by an accepting walk
  // (the context's matchedLength), 0 when none accepted.
  uint32_t matchStatement(const char* text, const LineInfo* line, const MatchOptions& options,
                          MatchContext& context);

  // An expression operand that the walk parsed for the current statement.
  struct ParsedExpression {
    uint16_t state = 0;             // the state the expression leads to
    void* expression = nullptr;     // the parse result, null when nothing was parsed
    const char* start = nullptr;    // where it starts in the statement text
    const char* error = nullptr;
    uint32_t length = 0;            // characters consumed from start
  };
  // The expression that leads to `state` and ends at `end`; false when the walk parsed none.
  bool findExpression(uint16_t state, const char* end, ParsedExpression& out) const;
  // The operands parsed for the current statement that are nodes of their own (a symbol,
  // a floating-point number), null when there are none. The matcher lets go of them at the
  // next statement; a candidate that keeps pointing at them takes a claim.
  CandidateNodes* statementNodes() const { return statementNodes_; }
  // Whether every expression that the walk parsed for the current statement came out an
  // integer, or failed at a bracket or comma where no expression can start: reading such
  // operands touched nothing outside the statement.
  bool parsedOnlyIntegers() const;
  // The most numbers a walk watches.
  static constexpr uint32_t kMostWatched = 3;
  // The walk of the next statement watches where the digits of its numbers start (at most
  // kMostWatched, in text order): it notes whether any state it reached there, or at the
  // blanks just before, could take a digit as text of its own. A count of 0 watches
  // nothing.
  void watchNumbersAt(const char* const* digits, uint32_t count);
  // Whether the last walk could read a watched number as text rather than as an operand.
  bool numberReadAsText() const { return numberReadAsText_; }
  // The most states a walk notes at the watched target.
  static constexpr uint32_t kMostTargetStates = 8;
  // The walk of the next statement notes the states it stands in where `target` starts
  // (null watches nothing): whether the text there can only be read as an expression.
  void watchTargetAt(const char* target) {
    watchedTarget_ = target;
    targetStateCount_ = 0;
  }
  // The states noted at the watched target; the count is kMostTargetStates + 1 when more
  // were met than noted.
  const uint16_t* targetStates() const { return targetStates_; }
  uint32_t targetStateCount() const { return targetStateCount_; }
  // Whether a walk that stands in one of `states` where a name starts, after a comma or a
  // blank, can take the name only as an expression: from no state does it read the name
  // as text to its end, or start an expression inside it.
  static bool nameOnlyAnExpression(const uint16_t* states, uint32_t count, const char* name, uint32_t length);
  // Whether every expression of the current statement that came out something is an
  // integer that starts at one of `from` and ends at the `end` of the same index (blanks
  // before it aside), every such span has one, and every other parse failed where no
  // expression can start. `values` receives the integers by span.
  bool integersBetween(const char* const* from, const char* const* end, uint32_t count, int64_t* values) const;
  // The forms that one accepting state offers share their path and text. Every offer of
  // every matcher in the process has a number of its own, so that those forms can share
  // what they read from them; 0 before the first offer.
  uint64_t offerNumber() const { return offerNumber_; }

 private:
  struct ExpressionMemo;
  const char* matchInstruction(uint16_t state, const char* text, MatchContext& context);
  // The count of states that the walk taken on from here must leave behind.
  uint32_t pushPath();
  void popPath(uint32_t mark);
  void appendState(uint16_t state);
  void noteWatchedNumber(uint16_t state, const char* text);
  bool atStatementEnd(const char* text) const;
  void offerForms(const MatchState& state, MatchContext& context);
  uint32_t parseExpression(uint16_t target, const char* text, MatchContext& context);
  const char* walkAfterExpression(uint16_t state, const char* text, MatchContext& context);
  // The slot of the key: 0 when no record has it, otherwise one more than the record's index.
  uint32_t& memoSlot(uint32_t key, const char* position);
  ExpressionMemo& addMemo(uint32_t& slot, uint32_t key, const char* position);
  void growMemo();
  void clearMemo();

  OperandParser& operands_;
  MatchListener& listener_;
  const LineInfo* line_ = nullptr;
  MatchOptions options_;
  size_t commentPrefixLength_ = 0;
  MatchPath* path_ = nullptr;
  // The memo of the current statement: open addressing over a power-of-two table that
  // lives as long as the matcher, and the records in the order they were made. Each
  // statement empties the slots its records took.
  std::vector<uint32_t> memoSlots_;
  std::vector<ExpressionMemo> memoRecords_;
  CandidateNodes* statementNodes_ = nullptr;
  uint64_t offerNumber_ = 0;
  const char* watchedNumbers_[kMostWatched] = {};
  uint32_t watchedCount_ = 0;
  bool numberReadAsText_ = false;
  const char* watchedTarget_ = nullptr;
  uint16_t targetStates_[kMostTargetStates] = {};
  uint32_t targetStateCount_ = 0;
};

// Start-up of the matcher: registers the pools "match", "match::admin", "match::expr" and
// "match::parse", builds every operand value table from its state/value pairs and the
// shared entries of the attribute lists. Runs once; later calls do nothing.
void initMatchModule();
// Frees what the start-up built; a later initMatchModule builds it again.
void releaseMatchModule();
bool matchModuleReady();
MemPool* matchPool(int which);

struct StateValueIndex;
// The run's table from state to value of the value table with that number; null before
// the start-up built it and for a number no table has.
const StateValueIndex* builtValueTable(uint32_t index);  // 0 "match", 1 "match::admin", 2 "match::expr", 3 "match::parse"

// The walk asks a value table for every named operand of every form it builds or screens:
// open addressing over a power-of-two array at most half full, keyed by the state itself.
struct StateValueIndex {
  static constexpr uint32_t kEmpty = UINT32_MAX;
  uint32_t mask = 0;
  uint32_t shift = 0;  // 32 less the bits of the slot index
  std::vector<StateValuePair> slots;

  uint32_t home(uint32_t state) const { return state * 0x9E3779B1u >> shift; }
  explicit StateValueIndex(uint32_t count) {
    uint32_t bits = 3;
    while ((1u << bits) < 2 * count) ++bits;
    mask = (1u << bits) - 1;
    shift = 32 - bits;
    slots.assign(size_t{mask} + 1, StateValuePair{kEmpty, 0});
  }
  // The first pair of a state is the one that counts.
  void add(const StateValuePair& pair) {
    uint32_t index = home(pair.state);
    while (slots[index].state != kEmpty) {
      if (slots[index].state == pair.state) return;
      index = (index + 1) & mask;
    }
    slots[index] = pair;
  }
};

// The value that the text held when the walk reached `state`, or -1 when the table has no
// entry for it.
inline int32_t lookupValue(const OperandValueTable& table, uint16_t state) {
  const StateValueIndex* index = builtValueTable(table.index);
  if (!index) return -1;
  const StateValuePair* slots = index->slots.data();
  // The array is at most half full, so the probe meets the state or an empty slot.
  for (uint32_t slot = index->home(state);; slot = (slot + 1) & index->mask) {
    if (slots[slot].state == state) return static_cast<int32_t>(slots[slot].value);
    if (slots[slot].state == StateValueIndex::kEmpty) return -1;
  }
}

}  // namespace isa
