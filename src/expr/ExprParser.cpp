// Predictive recursive descent, one operation per pair of operator levels, with
// counter-based recovery: every open construct counts the terminals it awaits and
// the recovery sets it accepts, and a token that nobody awaits is dropped. Since a
// drop sets the error flag, the token after it is the end token, which the start
// rule always awaits: at most one real token is ever dropped, and the expression
// ends in front of it.
#include "expr/ExprParser.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "expr/ExprActions.h"
#include "expr/OrbaExpression.h"
#include "expr/functions.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"


namespace {
struct TooDeepText {
  std::string text = "expression nested deeper than " + std::to_string(kMaxExpressionDepth) + " levels";
};
}  // namespace

const char* expressionTooDeepText() { return runPart<TooDeepText>().text.c_str(); }

namespace {

constexpr const char* kUnexpectedCharacter = "unexpected character in expression";

constexpr int32_t classOf(int32_t token) { return token - ExprTokenBase; }

// A recovery set: bit c of byte c / 8 stands for token class c.
struct TokenSet {
  uint8_t bits[(kExprTokenClasses + 7) / 8] = {};
  constexpr bool contains(int32_t tokenClass) const {
    return (bits[tokenClass / 8] >> (tokenClass % 8)) & 1;
  }
  constexpr void add(int32_t token) { bits[classOf(token) / 8] |= uint8_t(1u << (classOf(token) % 8)); }
};

constexpr bool beginsOperand(int32_t token) {
  switch (token) {
    case TK_TILDE:
    case TK_MINUS:
    case TK_NOT:
    case TK_PLUS:
    case TK_LPAREN:
    case TK_LBRACKET:
    case TK_STAR:
    case TK_IDENTIFIER:
    case TK_STRING:
    case TK_FLOAT:
    case TK_INTEGER:
    case TK_LOCAL_LABEL:
      return true;
    default:
      return token >= TK_FUNCTION_FIRST && token <= TK_FUNCTION_LAST;
  }
}

constexpr TokenSet makeSet(int index) {
  TokenSet set;
  auto addAll = [&set](std::initializer_list<int32_t> tokens) {
    for (int32_t token : tokens) set.add(token);
  };
  switch (index) {
    case 0:
    case 2:
      for (int32_t token = ExprTokenBase; token <= TK_LAST; ++token)
        if (beginsOperand(token)) set.add(token);
      if (index == 0) set.add(TK_END);
      break;
    case 1: addAll({TK_LBRACKET, TK_STRING}); break;
    case 3: addAll({TK_STAR, TK_SLASH, TK_PERCENT}); break;
    case 4: addAll({TK_PLUS, TK_MINUS}); break;
    case 5: addAll({TK_SHL, TK_SHR}); break;
    case 6: addAll({TK_LT, TK_LE, TK_GT, TK_GE}); break;
    case 7: addAll({TK_EQ, TK_NE}); break;
    default: break;
  }
  return set;
}

constexpr TokenSet kRecoverySets[ExprParseState::kRecoverySets] = {
    makeSet(0), makeSet(1), makeSet(2), makeSet(3), makeSet(4), makeSet(5), makeSet(6), makeSet(7),
};

enum RecoverySet { kSetExpression = 0, kSetString = 1, kSetOperand = 2, kSetMultiplicative = 3,
                   kSetAdditive = 4, kSetShift = 5, kSetRelational = 6, kSetEquality = 7 };

// Counts a terminal as awaited while the construct that needs it is open.
class Await {
 public:
  explicit Await(int32_t token) : counter_(exprParseState().classCounters[classOf(token)]) { ++counter_; }
  ~Await() { --counter_; }
  Await(const Await&) = delete;
  Await& operator=(const Await&) = delete;

 private:
  uint32_t& counter_;
};

// Raises a recovery set while a construct that may continue with it is open.
class Accept {
 public:
  explicit Accept(int set) : counter_(exprParseState().setCounters[set]) { ++counter_; }
  ~Accept() { --counter_; }
  Accept(const Accept&) = delete;
  Accept& operator=(const Accept&) = delete;

 private:
  uint32_t& counter_;
};

int32_t current() { return exprParseState().currentToken; }

void readToken() {
  int32_t token = exprNextToken();
  if (token < 1) token = TK_END;
  // The scanner delivers no code without a class; a bounded loop all the same.
  for (int attempt = 0; (token < ExprTokenBase || token > TK_LAST) && attempt < 2; ++attempt) {
    exprParseError(0);
    token = exprNextToken();
    if (token < 1) token = TK_END;
  }
  if (token < ExprTokenBase || token > TK_LAST) token = TK_END;
  exprParseState().currentToken = token;
  exprParseState().currentClass = classOf(token);
}

bool isAwaitedOrAccepted(int32_t tokenClass) {
  const ExprParseState& state = exprParseState();
  if (state.classCounters[tokenClass] != 0) return true;
  for (int set = 0; set < ExprParseState::kRecoverySets; ++set)
    if (state.setCounters[set] != 0 && kRecoverySets[set].contains(tokenClass)) return true;
  return false;
}

// Drops the current token while no open construct can use it.
void skipStep() {
  // The end token is always awaited by the start rule; the bound only guards that.
  for (int dropped = 0; !isAwaitedOrAccepted(exprParseState().currentClass) && dropped < 4; ++dropped) {
    exprParseError(0);
    readToken();
  }
}

// A missing terminal: true when the current token is it (the caller reads past it);
// otherwise the message is stored and parsing goes on as if it had been there.
bool exprRequireToken(int32_t token) {
  if (current() == token) return true;
  {
    Await expected(token);
    skipStep();
  }
  if (current() == token) return true;
  exprParseError(token);
  return false;
}

bool exprRequireCloseParen() { return exprRequireToken(TK_RPAREN); }
bool exprRequireInteger() { return exprRequireToken(TK_INTEGER); }
bool exprRequireString() { return exprRequireToken(TK_STRING); }
bool exprRequireComma() { return exprRequireToken(TK_COMMA); }
bool exprRequireColon() { return exprRequireToken(TK_COLON); }

void exprParseAbort() {
  exprParseError(-1);
  // With the error flag set the token source answers -1 at once; the bound is
  // for the reader, not for the input.
  for (int attempt = 0; attempt < 2 && exprNextToken() >= 1; ++attempt) {
  }
  exprParseState().currentToken = TK_END;
  exprParseState().currentClass = classOf(TK_END);
}

// Where a loop may end: the token is dropped when nobody can use it.
bool loopContinues(int32_t token) {
  if (current() == token) return true;
  skipStep();
  return false;
}

// A rule's node and the height of its tree: a leaf is 1, no node is 0. The heights
// travel beside the nodes so that bounding a tree costs no walk over it.
struct Parsed {
  OrbaExpression* node = nullptr;
  int32_t height = 0;
};

// The parse fails and reads no further token: every open rule sees the end token and
// returns, so the recursion goes no deeper.
void stopTooDeep() {
  exprStoreMessage(expressionTooDeepText(), true);
  exprParseState().currentToken = TK_END;
  exprParseState().currentClass = classOf(TK_END);
}

// One more level of nesting while a construct's inner expression is parsed; the
// construct does not descend when the level is past the bound.
class Level {
 public:
  Level() : open_(++exprParseState().depth <= kMaxExpressionDepth) {
    if (!open_) stopTooDeep();
  }
  ~Level() { --exprParseState().depth; }
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

// Only copied .SET values arrive as trees; the walk stops once past the bound.
int32_t treeHeight(const OrbaExpression* node, int32_t remaining) {
  if (node == nullptr) return 0;
  if (!node->hasOperands() || remaining <= 1) return 1;
  int32_t highest = 0;
  for (int32_t i = 0; i < node->getArgumentCount(); ++i)
    highest = std::max(highest, treeHeight(node->getArgument(i), remaining - 1));
  return highest + 1;
}

Parsed checked(Parsed parsed) {
  if (parsed.height > kMaxExpressionDepth) stopTooDeep();
  return parsed;
}

Parsed leaf(OrbaExpression* node) {
  return checked({node, treeHeight(node, kMaxExpressionDepth + 1)});
}

// What a maker returned over operands at most operandHeight high: a folded value is
// a leaf, anything else one level above its operands.
Parsed made(OrbaExpression* node, int32_t operandHeight) {
  if (node == nullptr || !node->hasOperands()) return leaf(node);
  return checked({node, operandHeight + 1});
}

Parsed binary(int32_t op, const Parsed& left, const Parsed& right) {
  return made(makeBinary(op, left.node, right.node), std::max(left.height, right.height));
}

Parsed exprParseExpression(bool topLevel);
Parsed parseUnaryOrPrimary();
Parsed exprParseStringExpression();

Parsed exprParseMultiplicative() {
  Accept accept(kSetMultiplicative);
  Parsed left = parseUnaryOrPrimary();
  for (;;) {
    int32_t op = current() == TK_STAR      ? OP_multiply
                 : current() == TK_SLASH   ? OP_divide
                 : current() == TK_PERCENT ? OP_remainder
                                           : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = binary(op, left, parseUnaryOrPrimary());
  }
}

// "+" and "-": the tighter half of exprParseShift.
Parsed parseAdditive() {
  Accept accept(kSetAdditive);
  Parsed left = exprParseMultiplicative();
  for (;;) {
    int32_t op = current() == TK_PLUS ? OP_add : current() == TK_MINUS ? OP_subtract : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = binary(op, left, exprParseMultiplicative());
  }
}

// "<<" and ">>" over "+" and "-".
Parsed exprParseShift() {
  Accept accept(kSetShift);
  Parsed left = parseAdditive();
  for (;;) {
    int32_t op = current() == TK_SHL ? OP_shiftLeft : current() == TK_SHR ? OP_shiftRight : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = binary(op, left, parseAdditive());
  }
}

Parsed exprParseRelational() {
  Accept accept(kSetRelational);
  Parsed left = exprParseShift();
  for (;;) {
    int32_t op = current() == TK_LT   ? OP_less
                 : current() == TK_LE ? OP_lessEqual
                 : current() == TK_GT ? OP_greater
                 : current() == TK_GE ? OP_greaterEqual
                                      : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = binary(op, left, exprParseShift());
  }
}

// "&" over "==" and "!=".
Parsed exprParseEquality() {
  Accept accept(kSetEquality);
  Parsed left = exprParseRelational();
  for (;;) {
    int32_t op = current() == TK_EQ ? OP_equal : current() == TK_NE ? OP_notEqual : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = binary(op, left, exprParseRelational());
  }
}

Parsed exprParseBitAnd() {
  Await await(TK_AND);
  Parsed left = exprParseEquality();
  while (loopContinues(TK_AND)) {
    readToken();
    left = binary(OP_bitAnd, left, exprParseEquality());
  }
  return left;
}

Parsed exprParseBitXor() {
  Await await(TK_XOR);
  Parsed left = exprParseBitAnd();
  while (loopContinues(TK_XOR)) {
    readToken();
    left = binary(OP_bitXor, left, exprParseBitAnd());
  }
  return left;
}

// "|" over "^".
Parsed exprParseBitOr() {
  Await await(TK_OR);
  Parsed left = exprParseBitXor();
  while (loopContinues(TK_OR)) {
    readToken();
    left = binary(OP_bitOr, left, exprParseBitXor());
  }
  return left;
}

Parsed exprParseLogicalAnd() {
  Await await(TK_LOGICAL_AND);
  Parsed left = exprParseBitOr();
  while (loopContinues(TK_LOGICAL_AND)) {
    readToken();
    left = binary(OP_logicalAnd, left, exprParseBitOr());
  }
  return left;
}

// "||" over "&&".
Parsed exprParseLogicalOr() {
  Await await(TK_LOGICAL_OR);
  Parsed left = exprParseLogicalAnd();
  while (loopContinues(TK_LOGICAL_OR)) {
    readToken();
    left = binary(OP_logicalOr, left, exprParseLogicalAnd());
  }
  return left;
}

// Only the start rule may meet an empty expression without a message; inside a
// construct an empty expression is a missing operand.
Parsed exprParseExpression(bool topLevel) {
  if (topLevel) {
    if (current() != TK_END && !beginsOperand(current())) skipStep();
    if (current() == TK_END) {
      readToken();
      return {};
    }
  }
  Parsed condition;
  {
    Await question(TK_QUESTION);
    condition = exprParseLogicalOr();
  }
  if (current() != TK_QUESTION) return condition;
  readToken();
  Parsed ifTrue;
  Parsed ifFalse;
  {
    Level arms;
    if (arms.open()) {
      {
        Await colon(TK_COLON);
        ifTrue = exprParseExpression(false);
      }
      if (exprRequireColon()) readToken();
      ifFalse = exprParseExpression(false);
    }
  }
  int32_t highest = std::max({condition.height, ifTrue.height, ifFalse.height});
  return made(makeConditional(condition.node, ifTrue.node, ifFalse.node), highest);
}

// The arguments after "(", up to the ")" that the caller requires; answers the
// height of the highest.
int32_t exprParseArguments() {
  if (current() == TK_RPAREN) return 0;
  Await comma(TK_COMMA);
  Parsed argument = exprParseExpression(false);
  pushArgument(argument.node);
  int32_t highest = argument.height;
  while (loopContinues(TK_COMMA)) {
    readToken();
    argument = exprParseExpression(false);
    pushArgument(argument.node);
    highest = std::max(highest, argument.height);
  }
  return highest;
}

Parsed parseFunctionCall() {
  const ExprFunctionInfo& info = functionInfoAt(current() - TK_FUNCTION_FIRST);
  readToken();
  if (exprRequireToken(TK_LPAREN)) readToken();
  beginArguments();
  int32_t highest = 0;
  {
    Level arguments;
    Await close(TK_RPAREN);
    if (arguments.open()) highest = exprParseArguments();
  }
  if (exprRequireCloseParen()) readToken();
  return made(makeFunction(info.code, info.minArgs, info.maxArgs, info.builder), highest);
}

// The substring form [string, start, length]: both numbers are integer tokens.
Parsed parseSubstring() {
  readToken();
  Await close(TK_RBRACKET);
  Await comma(TK_COMMA);
  Parsed text;
  {
    Level inner;
    if (inner.open()) text = exprParseStringExpression();
  }
  beginArguments();
  pushArgument(text.node);
  for (int number = 0; number < 2; ++number) {
    if (exprRequireComma()) readToken();
    if (exprRequireInteger()) {
      pushArgument(makeIntegerLiteral());
      readToken();
    }
  }
  if (exprRequireToken(TK_RBRACKET)) readToken();
  return made(makeFunction(FN_SUB, 3, 3, FunctionBuilder::General), std::max(text.height, 1));
}

Parsed parseStringPrimary() {
  if (current() != TK_STRING && current() != TK_LBRACKET) skipStep();
  if (current() == TK_STRING) {
    Parsed literal = leaf(makeStringLiteral());
    readToken();
    return literal;
  }
  if (current() == TK_LBRACKET) return parseSubstring();
  exprRequireString();
  return {};
}

Parsed exprParseStringExpression() {
  Await concat(TK_CONCAT);
  Parsed left = parseStringPrimary();
  while (loopContinues(TK_CONCAT)) {
    readToken();
    Accept strings(kSetString);
    left = binary(OP_concat, left, parseStringPrimary());
  }
  return left;
}

Parsed parsePrimary() {
  OrbaExpression* node = nullptr;
  switch (current()) {
    case TK_LPAREN: {
      readToken();
      Parsed inner;
      {
        Level level;
        Await close(TK_RPAREN);
        if (level.open()) inner = exprParseExpression(false);
      }
      if (exprRequireCloseParen()) readToken();
      return inner;
    }
    case TK_INTEGER:
      node = makeIntegerLiteral();
      break;
    case TK_FLOAT:
      node = makeFloatLiteral();
      break;
    case TK_IDENTIFIER:
      node = makeSymbolReference();
      break;
    case TK_LOCAL_LABEL:
      node = makeLocalLabelReference();
      break;
    case TK_STAR:
      node = makeLocationCounterReference();
      break;
    case TK_STRING:
    case TK_LBRACKET:
      return exprParseStringExpression();
    default:
      if (current() >= TK_FUNCTION_FIRST && current() <= TK_FUNCTION_LAST)
        return parseFunctionCall();
      // No operand where one must stand: the integer alternative reports it.
      exprRequireInteger();
      return {};
  }
  Parsed primary = leaf(node);
  readToken();
  return primary;
}

Parsed parseUnaryOrPrimary() {
  if (!beginsOperand(current())) skipStep();
  OrbaExpression* (*maker)(OrbaExpression*) = nullptr;
  switch (current()) {
    case TK_TILDE: maker = makeComplement; break;
    case TK_MINUS: maker = makeNegate; break;
    case TK_NOT: maker = makeLogicalNot; break;
    case TK_PLUS: maker = makeUnaryPlus; break;
    default: return parsePrimary();
  }
  readToken();
  Accept operand(kSetOperand);
  Parsed inner;
  {
    Level level;
    if (level.open()) inner = parseUnaryOrPrimary();
  }
  return made(maker(inner.node), inner.height);
}

struct SavedLookAhead {
  int32_t token;
  int32_t tokenClass;
  uint32_t classCounters[kExprTokenClasses];
  uint32_t setCounters[ExprParseState::kRecoverySets];
};

}  // namespace

void exprParseError(int32_t code) {
  if (code == -1) {
    exprParseState().errorFlag = true;
  } else if (code == 0) {
    exprParseState().errorFlag = true;
    exprParseState().currentEnd = exprParseState().previousEnd;
  } else if (exprParseState().message == nullptr) {
    exprParseState().message = kUnexpectedCharacter;
  }
}

int32_t exprNextToken() {
  if (exprParseState().errorFlag) {
    exprParseState().currentEnd = exprParseState().previousEnd;
    return -1;
  }
  ExprScanner* scanner = exprParseState().scanner;
  scanner->radix = exprParseState().defaultRadix;
  int32_t token = exprScan(scanner);
  if (token == TK_END) return token;
  exprParseState().previousEnd = exprParseState().currentEnd;
  exprParseState().currentEnd = scanner->cursor;
  return token;
}

void exprParseStart() {
  ExprParseState& state = exprParseState();
  ++state.nesting;
  bool nested = state.nesting > 1;
  SavedLookAhead saved{};
  if (nested) {
    saved.token = state.currentToken;
    saved.tokenClass = state.currentClass;
    std::memcpy(saved.classCounters, state.classCounters, sizeof saved.classCounters);
    std::memcpy(saved.setCounters, state.setCounters, sizeof saved.setCounters);
    std::memset(state.classCounters, 0, sizeof state.classCounters);
    std::memset(state.setCounters, 0, sizeof state.setCounters);
  }

  {
    Await end(TK_END);
    readToken();
    Accept expression(kSetExpression);
    Level whole;
    if (whole.open()) state.result = exprParseExpression(true).node;
    if (current() != TK_END) exprParseAbort();
  }

  --state.nesting;
  if (nested) {
    state.currentToken = saved.token;
    state.currentClass = saved.tokenClass;
    std::memcpy(state.classCounters, saved.classCounters, sizeof saved.classCounters);
    std::memcpy(state.setCounters, saved.setCounters, sizeof saved.setCounters);
  }
}

namespace {

// What a nested parse must leave as it found it besides the look-ahead, which the
// start rule keeps: the outer parse may be in the middle of a token or a call.
struct SavedParse {
  ExprScanner* scanner;
  const char* currentEnd;
  const char* previousEnd;
  int32_t defaultRadix;
  bool errorFlag;
  const char* message;
  OrbaExpression* result;
  bool keep;
  bool preprocessor;
  size_t argumentCount;
  size_t baseCount;
};

int32_t defaultRadixOf(const LineInfo* line) {
  if (line == nullptr || line->controlState == nullptr) return ControlState().radix;
  return line->controlState->radix;
}

// Most operands are one integer or one name, right in front of the comma or the bracket
// that ends them or of the end of the text. The start rule would read that token, make
// its node, drop the delimiter (which no rule awaits) and end in front of it; this reads
// the token and makes the node with the same actions, and leaves the state as that parse
// would. Anything else leaves the stream as it was, for the start rule. Returns whether
// the parse is done.
bool parseSingleToken(ExprScanner* stream) {
  ExprParseState& state = exprParseState();
  const ExprScanner before = *stream;
  stream->radix = state.defaultRadix;
  int32_t token = exprScan(stream);
  char after = *stream->cursor;
  // A line feed ends the text for the scanner as a delimiter does.
  if ((token != TK_INTEGER && token != TK_IDENTIFIER) ||
      (after != ',' && after != ']' && after != '\n' && after != '\0')) {
    *stream = before;
    return false;
  }
  state.previousEnd = state.currentEnd;
  state.currentEnd = stream->cursor;
  state.result = leaf(token == TK_INTEGER ? makeIntegerLiteral() : makeSymbolReference()).node;
  // A dropped delimiter sets the error flag; the end of the text does not.
  if (after != '\0') state.errorFlag = true;
  state.currentToken = TK_END;
  state.currentClass = classOf(TK_END);
  return true;
}

// "[" opens the substring form, whose first operand is a string. A name there fails the
// parse: the string operand's rule stores its message at the name, before anything else
// can store one, and no action runs for the name. Address operands ("[a2]4") meet this
// at every bracket. (Unless the line's comments begin with "[": then nothing is read.)
bool opensSubstringOfName(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  if (*p++ != '[') return false;
  while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  return (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || *p == '_';
}

}  // namespace

OrbaExpression* parseExpressionAt(ExprScanner* stream, const char** message, bool preprocessor) {
  ExprParseState& state = exprParseState();
  bool nested = state.nesting > 0;
  SavedParse saved{state.scanner,  state.currentEnd, state.previousEnd, state.defaultRadix,
                   state.errorFlag, state.message,   state.result,      state.keep,
                   state.preprocessor, state.arguments.size(), state.argumentBases.size()};
  if (!nested) {
    state.arguments.clear();
    state.argumentBases.clear();
    stream->callDepth = 0;
  }

  state.scanner = stream;
  state.errorFlag = false;
  state.message = nullptr;
  state.result = nullptr;
  state.keep = false;
  state.preprocessor = preprocessor;
  state.defaultRadix = defaultRadixOf(stream->line);
  const char* start = stream->cursor;
  state.currentEnd = start;
  state.previousEnd = start;

  if (nested || preprocessor) {
    exprParseStart();
  } else if (opensSubstringOfName(start) && !(stream->commentPrefix && stream->commentPrefix[0] == '[')) {
    state.message = kUnexpectedCharacter;
  } else if (!parseSingleToken(stream)) {
    exprParseStart();
  }

  const char* text = state.message;
  OrbaExpression* result = nullptr;
  if (text == nullptr) {
    stream->cursor = state.currentEnd;
    result = state.result;
  } else {
    stream->cursor = start;
    releaseTempExpression(state.result);
  }
  // Argument lists that a failed parse left open are dropped here.
  state.arguments.resize(nested ? saved.argumentCount : 0);
  state.argumentBases.resize(nested ? saved.baseCount : 0);

  if (nested) {
    state.scanner = saved.scanner;
    state.currentEnd = saved.currentEnd;
    state.previousEnd = saved.previousEnd;
    state.defaultRadix = saved.defaultRadix;
    state.errorFlag = saved.errorFlag;
    state.message = saved.message;
    state.result = saved.result;
    state.keep = saved.keep;
    state.preprocessor = saved.preprocessor;
  }
  if (message != nullptr) *message = text;
  return result;
}

OrbaExpression* parseOperandExpression(ExprScanner* stream, const char** message) {
  return parseExpressionAt(stream, message, false);
}
