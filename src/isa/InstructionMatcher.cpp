#include "isa/InstructionMatcher.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "expr/OrbaExpression.h"
#include "isa/CandidateNodes.h"
#include "util/LineInfo.h"
#include "util/MessageCatalog.h"

#include "util/MemoryPools.h"
#include "util/c-memory.h"
#include "util/RunState.h"

namespace isa {

namespace {

constexpr uint32_t kPathGrowth = 128;
// Slots of the expression memo to start with; a statement parses a handful of expressions.
constexpr size_t kMemoSlots = 64;
// The key of a record of the walk that followed an expression, beside the state it went on
// from; a parse record's key is the state alone.
constexpr uint32_t kWalkRecord = 0x10000;

struct OfferCount {
  uint64_t offersMade = 0;
};
OfferCount& offerCount() { return runPart<OfferCount>(); }

bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
constexpr bool isWordCharacterByCompare(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

// The walk asks this of every character it takes.
struct WordCharacters {
  bool of[256];
  constexpr WordCharacters() : of() {
    for (int c = 0; c < 256; ++c) of[c] = isWordCharacterByCompare(static_cast<unsigned char>(c));
  }
};
constexpr WordCharacters kWordCharacters;

bool isWordCharacter(unsigned char c) { return kWordCharacters.of[c]; }
bool isLineEnd(unsigned char c) { return c == 0 || c == '\n' || c == '\r' || c == 0x1A; }
// Bytes that the automaton uses as pseudo-characters, and bytes outside its signed range,
// are never looked up as text.
bool isTextCharacter(unsigned char c) {
  return c > ' ' && c < 0x7F && c != kParsedOperandCharacter;
}

}  // namespace

// One parsed expression operand, keyed by the state it leads to and where it starts; or one
// walk on from the end of an expression, keyed by its state (with kWalkRecord) and where it
// went on from.
struct InstructionMatcher::ExpressionMemo {
  uint32_t key;
  const char* position;
  void* expression;
  const char* error;
  const char* reached;  // a walk's furthest character
  uint32_t length;
  uint32_t slot;  // where the record lies in the memo's slots
};

InstructionMatcher::InstructionMatcher(OperandParser& operands, MatchListener& listener)
    : operands_(operands), listener_(listener), memoSlots_(kMemoSlots, 0) {
  initMatchModule();
  memoRecords_.reserve(kMemoSlots / 2);
}

InstructionMatcher::~InstructionMatcher() {
  clearMemo();
  if (path_) {
    std::free(path_->states);
    MemoryPools::free(matchPool(1), path_, sizeof(MatchPath));
  }
}

uint32_t& InstructionMatcher::memoSlot(uint32_t key, const char* position) {
  size_t mask = memoSlots_.size() - 1;
  uint64_t hashed = reinterpret_cast<uintptr_t>(position) ^ (uint64_t{key} << 44);
  size_t index = static_cast<size_t>((hashed * 0x9E3779B97F4A7C15ull) >> 32) & mask;
  // The table stays at most half full, so the walk meets the key or an empty slot.
  while (memoSlots_[index]) {
    const ExpressionMemo& memo = memoRecords_[memoSlots_[index] - 1];
    if (memo.key == key && memo.position == position) break;
    index = (index + 1) & mask;
  }
  return memoSlots_[index];
}

InstructionMatcher::ExpressionMemo& InstructionMatcher::addMemo(uint32_t& slot, uint32_t key, const char* position) {
  memoRecords_.push_back(ExpressionMemo{key, position, nullptr, nullptr, nullptr, 0,
                                        static_cast<uint32_t>(&slot - memoSlots_.data())});
  slot = static_cast<uint32_t>(memoRecords_.size());
  if (memoRecords_.size() * 2 > memoSlots_.size()) growMemo();
  return memoRecords_.back();
}

void InstructionMatcher::growMemo() {
  memoSlots_.assign(memoSlots_.size() * 2, 0);
  for (size_t i = 0; i < memoRecords_.size(); ++i) {
    ExpressionMemo& memo = memoRecords_[i];
    uint32_t& slot = memoSlot(memo.key, memo.position);
    slot = static_cast<uint32_t>(i + 1);
    memo.slot = static_cast<uint32_t>(&slot - memoSlots_.data());
  }
}

void InstructionMatcher::clearMemo() {
  for (const ExpressionMemo& memo : memoRecords_) memoSlots_[memo.slot] = 0;
  memoRecords_.clear();
  CandidateNodes::release(statementNodes_);
}

bool InstructionMatcher::findExpression(uint16_t state, const char* end, ParsedExpression& out) const {
  // A statement parses only a handful of expressions, so a scan is cheaper than a second table.
  for (const ExpressionMemo& memo : memoRecords_) {
    if (memo.key != state || memo.position + memo.length != end) continue;
    out.state = state;
    out.expression = memo.expression;
    out.start = memo.position;
    out.error = memo.error;
    out.length = memo.length;
    return true;
  }
  return false;
}

namespace {

// A parse that failed at once on a character that starts no expression read nothing: a
// comma, a closing bracket, or the bracket of an address operand before a name, which the
// expression parser refuses before it reads the name.
bool failedAtStart(const char* text, const void* expression, uint32_t length) {
  if (expression || length != 0) return false;
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == ']' || *text == ',') return true;
  if (*text++ != '[') return false;
  while (*text == ' ' || *text == '\t') ++text;
  return (*text >= 'a' && *text <= 'z') || (*text >= 'A' && *text <= 'Z') || *text == '_';
}

}  // namespace

bool InstructionMatcher::parsedOnlyIntegers() const {
  for (const ExpressionMemo& memo : memoRecords_) {
    if (memo.key & kWalkRecord) continue;
    auto* parsed = static_cast<OrbaExpression*>(memo.expression);
    if (failedAtStart(memo.position, parsed, memo.length)) continue;
    if (!parsed || parsed->getKind() != EK_integer) return false;
  }
  return true;
}

bool InstructionMatcher::integersBetween(const char* const* from, const char* const* end, uint32_t count,
                                         int64_t* values) const {
  uint32_t covered = 0;
  for (const ExpressionMemo& memo : memoRecords_) {
    if (memo.key & kWalkRecord) continue;
    auto* parsed = static_cast<OrbaExpression*>(memo.expression);
    if (failedAtStart(memo.position, parsed, memo.length)) continue;
    if (!parsed || parsed->getKind() != EK_integer) return false;
    uint32_t span = 0;
    while (span < count && memo.position + memo.length != end[span]) ++span;
    if (span == count) return false;
    const char* start = memo.position;
    while (start < from[span] && (*start == ' ' || *start == '\t')) ++start;
    if (start != from[span]) return false;
    // The walk may parse the same text for several target states: one value all the same.
    if ((covered & (1u << span)) && values[span] != parsed->getInteger()) return false;
    covered |= 1u << span;
    values[span] = parsed->getInteger();
  }
  return count > 0 && covered == (1u << count) - 1;
}

void InstructionMatcher::watchNumbersAt(const char* const* digits, uint32_t count) {
  watchedCount_ = count < kMostWatched ? count : kMostWatched;
  for (uint32_t i = 0; i < watchedCount_; ++i) watchedNumbers_[i] = digits[i];
}

void InstructionMatcher::noteWatchedNumber(uint16_t state, const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f') ++p;
  bool watched = false;
  for (uint32_t i = 0; i < watchedCount_; ++i) watched = watched || p == watchedNumbers_[i];
  if (!watched) return;
  const MatchState& st = matchStates()[state];
  for (int digit = '0'; digit <= '9'; ++digit)
    if (st.successor(state, digit)) numberReadAsText_ = true;
}

uint32_t InstructionMatcher::pushPath() {
  // One array serves the whole walk: a walk taken on from a state adds its states behind
  // those of the walk it came from, and leaves them when it returns.
  if (!path_) {
    path_ = static_cast<MatchPath*>(mem_pool_alloc(matchPool(1), sizeof(MatchPath)));
    path_->states = static_cast<uint16_t*>(xrealloc(nullptr, kPathGrowth * sizeof(uint16_t)));
    path_->capacity = kPathGrowth;
  }
  return path_->count;
}

void InstructionMatcher::popPath(uint32_t mark) { path_->count = mark; }

inline void InstructionMatcher::appendState(uint16_t state) {
  MatchPath* path = path_;
  if (path->count == path->capacity) {
    path->capacity += kPathGrowth;
    path->states = static_cast<uint16_t*>(xrealloc(path->states, path->capacity * sizeof(uint16_t)));
  }
  path->states[path->count++] = state;
}

bool InstructionMatcher::atStatementEnd(const char* text) const {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f') ++p;
  if (isLineEnd(static_cast<unsigned char>(*p))) return true;
  return commentPrefixLength_ && std::strncmp(p, options_.commentPrefix, commentPrefixLength_) == 0;
}

uint32_t InstructionMatcher::parseExpression(uint16_t target, const char* text, MatchContext& context) {
  if (uint32_t known = memoSlot(target, text)) return memoRecords_[known - 1].length;
  void* expression = nullptr;
  const char* error = nullptr;
  uint32_t length = operands_.parse(text, line_, &expression, &error);
  // An operand refused for what it is, not for where it stands, names the statement's
  // failure where it begins.
  if (error && operands_.errorNamesStatement(error)) noteSyntaxErrorText(context.failure, text, error);
  // A tree may share nodes with the value of a symbol and stays with the expressions; a
  // single node is this parse's own.
  auto* parsed = static_cast<OrbaExpression*>(expression);
  if (parsed && !parsed->hasOperands()) CandidateNodes::keep(statementNodes_, parsed);
  ExpressionMemo& memo = addMemo(memoSlot(target, text), target, text);
  memo.expression = expression;
  memo.error = error;
  memo.length = length;
  return length;
}

const char* InstructionMatcher::walkAfterExpression(uint16_t state, const char* text, MatchContext& context) {
  // An expression read with the blanks before it and one read after them can end at the
  // same place in the same state; the walk on from there is the same, and is taken once.
  if (uint32_t walked = memoSlot(kWalkRecord | state, text)) return memoRecords_[walked - 1].reached;
  const char* reached = matchInstruction(state, text, context);
  // The walk has added records of its own: the slot is sought again.
  addMemo(memoSlot(kWalkRecord | state, text), kWalkRecord | state, text).reached = reached;
  return reached;
}

void InstructionMatcher::offerForms(const MatchState& state, MatchContext& context) {
  offerNumber_ = ++offerCount().offersMade;
  bool hardware = false, generic = false;
  for (const MatchAlternative* const* a = state.alternatives; a && *a; ++a) {
    if ((*a)->kind == kHardwareForm) {
      hardware = true;
      ++context.acceptedForms;
      listener_.acceptForm(**a, *path_);
    } else {
      generic = true;
    }
  }
  if (!generic) return;
  context.genericAccepted = true;
  // Generated lines are never expanded again.
  if (options_.genericsAllowed && (!line_ || line_->variant() < 0)) {
    for (const MatchAlternative* const* a = state.alternatives; *a; ++a) {
      if ((*a)->kind != kGenericForm) continue;
      ++context.acceptedForms;
      listener_.acceptForm(**a, *path_);
    }
  } else if (!hardware) {
    // Only generic forms matched: any failure with a real position replaces this record.
    context.onlyGenericRejected = true;
    if (!context.failure.position)
      context.failure = SyntaxFailure{nullptr, E_error, "only hardware instructions are allowed"};
  }
}

const char* InstructionMatcher::matchInstruction(uint16_t state, const char* text, MatchContext& context) {
  const MatchState* states = matchStates();
  uint32_t mark = pushPath();
  appendState(state);
  const char* furthest = text;
  const char* p = text;
  int previousClass = 0;  // 2 after a word character, 0 otherwise
  // Each turn consumes a character or a blank run, so the loop ends with the text.
  while (*p) {
    if (watchedCount_ && p <= watchedNumbers_[watchedCount_ - 1]) noteWatchedNumber(state, p);
    if (p == watchedTarget_) {
      if (targetStateCount_ < kMostTargetStates)
        targetStates_[targetStateCount_++] = state;
      else
        targetStateCount_ = kMostTargetStates + 1;
    }
    const MatchState& st = states[state];
    const unsigned char c = static_cast<unsigned char>(*p);
    // Only a blank, the end of the line or the start of a comment can end the statement here.
    bool atEnd = (c > ' ' && (!commentPrefixLength_ || c != static_cast<unsigned char>(options_.commentPrefix[0])))
                     ? false
                     : atStatementEnd(p);
    // Only a blank, or an accepting state that must decide whether the walk goes on, asks
    // for the blank successor.
    const bool blank = isBlank(c);
    uint16_t onBlank = blank || st.alternativeCount ? st.successor(state, kBlankCharacter) : 0;
    uint16_t onExpression = st.successor(state, kExpressionCharacter);
    if (st.alternativeCount && !atEnd) {
      // An accepting state ends the walk unless the text can go on from it.
      const char* decide = p;
      if (blank && !onBlank)
        while (isBlank(static_cast<unsigned char>(*decide))) ++decide;
      if (!(blank && onBlank) && !onExpression) {
        unsigned char d = static_cast<unsigned char>(*decide);
        if (!isTextCharacter(d) || !st.successor(state, d)) break;
      }
    }
    if (onExpression && states[onExpression].wordClass() != previousClass) {
      uint32_t length = parseExpression(onExpression, p, context);
      if (length) {
        const char* reached = walkAfterExpression(onExpression, p + length, context);
        if (reached > furthest) furthest = reached;
      }
    }
    if (atEnd) break;
    if (blank) {
      const char* runEnd = p;
      while (isBlank(static_cast<unsigned char>(*runEnd))) ++runEnd;
      if (onBlank) {
        const char* reached = matchInstruction(onBlank, runEnd, context);
        if (reached > furthest) furthest = reached;
      }
      previousClass = 0;
      p = runEnd;
      continue;
    }
    uint16_t next = isTextCharacter(c) ? st.successor(state, c) : 0;
    if (!next || states[next].wordClass() == previousClass) break;
    state = next;
    appendState(state);
    previousClass = isWordCharacter(c) ? 2 : 0;
    ++p;
  }
  if (p > furthest) furthest = p;
  const MatchState& st = states[state];
  const char* after = p;
  while (*after == ' ' || *after == '\t' || *after == '\v' || *after == '\f') ++after;
  bool ends = isLineEnd(static_cast<unsigned char>(*after)) ||
              (commentPrefixLength_ && std::strncmp(after, options_.commentPrefix, commentPrefixLength_) == 0) ||
              (after != p && !st.successor(state, kBlankCharacter));
  if (!ends || !st.alternativeCount) {
    if (st.expectedSlot && st.expectedSlot->values->text)
      noteSyntaxErrorText(context.failure, after, st.expectedSlot->values->text);
    else
      noteSyntaxUnexpected(context.failure, after);
  } else {
    context.matchedLength = static_cast<uint32_t>(furthest - context.text);
    offerForms(st, context);
  }
  popPath(mark);
  return furthest;
}

bool InstructionMatcher::nameOnlyAnExpression(const uint16_t* states, uint32_t count, const char* name,
                                               uint32_t length) {
  const MatchState* all = matchStates();
  for (uint32_t k = 0; k < count; ++k) {
    uint16_t state = states[k];
    int previousClass = 0;
    uint32_t i = 0;
    // As matchInstruction steps: the text goes on while a successor takes each character.
    for (; i < length; ++i) {
      const MatchState& st = all[state];
      if (i > 0) {
        const uint16_t onExpression = st.successor(state, kExpressionCharacter);
        if (onExpression && all[onExpression].wordClass() != previousClass) return false;
      }
      const auto c = static_cast<unsigned char>(name[i]);
      const uint16_t next = isTextCharacter(c) ? st.successor(state, c) : 0;
      if (!next || all[next].wordClass() == previousClass) break;
      state = next;
      previousClass = isWordCharacter(c) ? 2 : 0;
    }
    if (i == length) return false;
  }
  return true;
}

uint32_t InstructionMatcher::matchStatement(const char* text, const LineInfo* line, const MatchOptions& options,
                                            MatchContext& context) {
  clearMemo();
  line_ = line;
  options_ = options;
  commentPrefixLength_ = options.commentPrefix ? std::strlen(options.commentPrefix) : 0;
  context.text = text;
  context.matchedLength = 0;
  numberReadAsText_ = false;
  matchInstruction(kStartState, text, context);
  watchedCount_ = 0;
  watchedTarget_ = nullptr;
  return context.acceptedForms ? context.matchedLength : 0;
}

uint32_t SimpleOperandParser::parse(const char* text, const LineInfo*, void** expression, const char** error) {
  const char* p = text;
  *expression = nullptr;
  *error = nullptr;
  auto skipBlanks = [&] {
    while (*p == ' ' || *p == '\t') ++p;
  };
  bool haveTerm = false;
  while (true) {
    skipBlanks();
    while (*p == '-' || *p == '+') ++p, skipBlanks();
    const char* termStart = p;
    if (*p >= '0' && *p <= '9') {
      if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
      while (isWordCharacter(static_cast<unsigned char>(*p)) && *p != '.') ++p;
    } else if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || *p == '_') {
      while (isWordCharacter(static_cast<unsigned char>(*p))) ++p;
    }
    if (p == termStart) {
      if (!haveTerm) {
        *error = "unexpected character in expression";
        return 0;
      }
      return static_cast<uint32_t>(termStart - text);
    }
    haveTerm = true;
    const char* afterTerm = p;
    skipBlanks();
    if (*p != '+' && *p != '-') return static_cast<uint32_t>(afterTerm - text);
    // A "+" or "-" followed by "]" belongs to an addressing mode, not to the expression.
    const char* q = p + 1;
    while (*q == ' ' || *q == '\t') ++q;
    if (*q == ']' || *q == 0) return static_cast<uint32_t>(afterTerm - text);
    ++p;
  }
}

}  // namespace isa
