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
  MatchPath* next = nullptr;
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

 private:
  struct ExpressionMemo;
  const char* matchInstruction(uint16_t state, const char* text, MatchContext& context);
  void pushPath();
  void popPath();
  void appendState(uint16_t state);
  bool atStatementEnd(const char* text) const;
  void offerForms(const MatchState& state, MatchContext& context);
  uint32_t parseExpression(uint16_t target, const char* text);
  const char* walkAfterExpression(uint16_t state, const char* text, MatchContext& context);
  ExpressionMemo*& memoSlot(uint32_t key, const char* position);
  ExpressionMemo* addMemo(ExpressionMemo*& slot, uint32_t key, const char* position);
  void growMemo();
  void clearMemo();

  OperandParser& operands_;
  MatchListener& listener_;
  const LineInfo* line_ = nullptr;
  MatchOptions options_;
  size_t commentPrefixLength_ = 0;
  MatchPath* path_ = nullptr;
  MatchPath* freePaths_ = nullptr;
  // The memo of the current statement: open addressing over a power-of-two table that
  // lives as long as the matcher, and the records in the order they were made. Each
  // statement empties the slots its records took.
  std::vector<ExpressionMemo*> memoSlots_;
  std::vector<ExpressionMemo*> memoRecords_;
  CandidateNodes* statementNodes_ = nullptr;
};

// Start-up of the matcher: registers the pools "match", "match::admin", "match::expr" and
// "match::parse", builds every operand value table from its state/value pairs and the
// shared entries of the attribute lists. Runs once; later calls do nothing.
void initMatchModule();
// Frees what the start-up built; a later initMatchModule builds it again.
void releaseMatchModule();
bool matchModuleReady();
MemPool* matchPool(int which);  // 0 "match", 1 "match::admin", 2 "match::expr", 3 "match::parse"

// The value that the text held when the walk reached `state`, or -1 when the table has no
// entry for it.
int32_t lookupValue(const OperandValueTable& table, uint16_t state);

}  // namespace isa
