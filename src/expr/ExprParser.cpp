// Predictive recursive descent, one operation per pair of operator levels, with
// counter-based recovery: every open construct counts the terminals it awaits and
// the recovery sets it accepts, and a token that nobody awaits is dropped. Since a
// drop sets the error flag, the token after it is the end token, which the start
// rule always awaits: at most one real token is ever dropped, and the expression
// ends in front of it.
#include "expr/ExprParser.h"

#include <cstring>

#include "expr/ExprActions.h"
#include "expr/OrbaExpression.h"
#include "expr/functions.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

ExprParseState exprState;

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
  explicit Await(int32_t token) : tokenClass_(classOf(token)) { ++exprState.classCounters[tokenClass_]; }
  ~Await() { --exprState.classCounters[tokenClass_]; }
  Await(const Await&) = delete;
  Await& operator=(const Await&) = delete;

 private:
  int32_t tokenClass_;
};

// Raises a recovery set while a construct that may continue with it is open.
class Accept {
 public:
  explicit Accept(int set) : set_(set) { ++exprState.setCounters[set_]; }
  ~Accept() { --exprState.setCounters[set_]; }
  Accept(const Accept&) = delete;
  Accept& operator=(const Accept&) = delete;

 private:
  int set_;
};

int32_t current() { return exprState.currentToken; }

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
  exprState.currentToken = token;
  exprState.currentClass = classOf(token);
}

bool isAwaitedOrAccepted(int32_t tokenClass) {
  if (exprState.classCounters[tokenClass] != 0) return true;
  for (int set = 0; set < ExprParseState::kRecoverySets; ++set)
    if (exprState.setCounters[set] != 0 && kRecoverySets[set].contains(tokenClass)) return true;
  return false;
}

// Drops the current token while no open construct can use it.
void skipStep() {
  // The end token is always awaited by the start rule; the bound only guards that.
  for (int dropped = 0; !isAwaitedOrAccepted(exprState.currentClass) && dropped < 4; ++dropped) {
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
  exprState.currentToken = TK_END;
  exprState.currentClass = classOf(TK_END);
}

// Where a loop may end: the token is dropped when nobody can use it.
bool loopContinues(int32_t token) {
  if (current() == token) return true;
  skipStep();
  return false;
}

OrbaExpression* exprParseExpression(bool topLevel);
OrbaExpression* parseUnaryOrPrimary();
OrbaExpression* exprParseStringExpression();

OrbaExpression* exprParseMultiplicative() {
  Accept accept(kSetMultiplicative);
  OrbaExpression* left = parseUnaryOrPrimary();
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
    left = makeBinary(op, left, parseUnaryOrPrimary());
  }
}

// "+" and "-": the tighter half of exprParseShift.
OrbaExpression* parseAdditive() {
  Accept accept(kSetAdditive);
  OrbaExpression* left = exprParseMultiplicative();
  for (;;) {
    int32_t op = current() == TK_PLUS ? OP_add : current() == TK_MINUS ? OP_subtract : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = makeBinary(op, left, exprParseMultiplicative());
  }
}

// "<<" and ">>" over "+" and "-".
OrbaExpression* exprParseShift() {
  Accept accept(kSetShift);
  OrbaExpression* left = parseAdditive();
  for (;;) {
    int32_t op = current() == TK_SHL ? OP_shiftLeft : current() == TK_SHR ? OP_shiftRight : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = makeBinary(op, left, parseAdditive());
  }
}

OrbaExpression* exprParseRelational() {
  Accept accept(kSetRelational);
  OrbaExpression* left = exprParseShift();
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
    left = makeBinary(op, left, exprParseShift());
  }
}

// "&" over "==" and "!=".
OrbaExpression* exprParseEquality() {
  Accept accept(kSetEquality);
  OrbaExpression* left = exprParseRelational();
  for (;;) {
    int32_t op = current() == TK_EQ ? OP_equal : current() == TK_NE ? OP_notEqual : 0;
    if (op == 0) {
      skipStep();
      return left;
    }
    readToken();
    left = makeBinary(op, left, exprParseRelational());
  }
}

OrbaExpression* exprParseBitAnd() {
  Await await(TK_AND);
  OrbaExpression* left = exprParseEquality();
  while (loopContinues(TK_AND)) {
    readToken();
    left = makeBinary(OP_bitAnd, left, exprParseEquality());
  }
  return left;
}

OrbaExpression* exprParseBitXor() {
  Await await(TK_XOR);
  OrbaExpression* left = exprParseBitAnd();
  while (loopContinues(TK_XOR)) {
    readToken();
    left = makeBinary(OP_bitXor, left, exprParseBitAnd());
  }
  return left;
}

// "|" over "^".
OrbaExpression* exprParseBitOr() {
  Await await(TK_OR);
  OrbaExpression* left = exprParseBitXor();
  while (loopContinues(TK_OR)) {
    readToken();
    left = makeBinary(OP_bitOr, left, exprParseBitXor());
  }
  return left;
}

OrbaExpression* exprParseLogicalAnd() {
  Await await(TK_LOGICAL_AND);
  OrbaExpression* left = exprParseBitOr();
  while (loopContinues(TK_LOGICAL_AND)) {
    readToken();
    left = makeBinary(OP_logicalAnd, left, exprParseBitOr());
  }
  return left;
}

// "||" over "&&".
OrbaExpression* exprParseLogicalOr() {
  Await await(TK_LOGICAL_OR);
  OrbaExpression* left = exprParseLogicalAnd();
  while (loopContinues(TK_LOGICAL_OR)) {
    readToken();
    left = makeBinary(OP_logicalOr, left, exprParseLogicalAnd());
  }
  return left;
}

// Only the start rule may meet an empty expression without a message; inside a
// construct an empty expression is a missing operand.
OrbaExpression* exprParseExpression(bool topLevel) {
  if (topLevel) {
    if (current() != TK_END && !beginsOperand(current())) skipStep();
    if (current() == TK_END) {
      readToken();
      return nullptr;
    }
  }
  OrbaExpression* condition;
  {
    Await question(TK_QUESTION);
    condition = exprParseLogicalOr();
  }
  if (current() != TK_QUESTION) return condition;
  readToken();
  OrbaExpression* ifTrue;
  {
    Await colon(TK_COLON);
    ifTrue = exprParseExpression(false);
  }
  if (exprRequireColon()) readToken();
  OrbaExpression* ifFalse = exprParseExpression(false);
  return makeConditional(condition, ifTrue, ifFalse);
}

// The arguments after "(", up to the ")" that the caller requires.
void exprParseArguments() {
  if (current() == TK_RPAREN) return;
  Await comma(TK_COMMA);
  pushArgument(exprParseExpression(false));
  while (loopContinues(TK_COMMA)) {
    readToken();
    pushArgument(exprParseExpression(false));
  }
}

OrbaExpression* parseFunctionCall() {
  const ExprFunctionInfo& info = functionInfoAt(current() - TK_FUNCTION_FIRST);
  readToken();
  if (exprRequireToken(TK_LPAREN)) readToken();
  beginArguments();
  {
    Await close(TK_RPAREN);
    exprParseArguments();
  }
  if (exprRequireCloseParen()) readToken();
  return makeFunction(info.code, info.minArgs, info.maxArgs, info.builder);
}

// The substring form [string, start, length]: both numbers are integer tokens.
OrbaExpression* parseSubstring() {
  readToken();
  Await close(TK_RBRACKET);
  Await comma(TK_COMMA);
  OrbaExpression* text = exprParseStringExpression();
  beginArguments();
  pushArgument(text);
  for (int number = 0; number < 2; ++number) {
    if (exprRequireComma()) readToken();
    if (exprRequireInteger()) {
      pushArgument(makeIntegerLiteral());
      readToken();
    }
  }
  if (exprRequireToken(TK_RBRACKET)) readToken();
  return makeFunction(FN_SUB, 3, 3, FunctionBuilder::General);
}

OrbaExpression* parseStringPrimary() {
  if (current() != TK_STRING && current() != TK_LBRACKET) skipStep();
  if (current() == TK_STRING) {
    OrbaExpression* literal = makeStringLiteral();
    readToken();
    return literal;
  }
  if (current() == TK_LBRACKET) return parseSubstring();
  exprRequireString();
  return nullptr;
}

OrbaExpression* exprParseStringExpression() {
  Await concat(TK_CONCAT);
  OrbaExpression* left = parseStringPrimary();
  while (loopContinues(TK_CONCAT)) {
    readToken();
    Accept strings(kSetString);
    left = makeBinary(OP_concat, left, parseStringPrimary());
  }
  return left;
}

OrbaExpression* parsePrimary() {
  OrbaExpression* node = nullptr;
  switch (current()) {
    case TK_LPAREN: {
      readToken();
      {
        Await close(TK_RPAREN);
        node = exprParseExpression(false);
      }
      if (exprRequireCloseParen()) readToken();
      return node;
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
      return nullptr;
  }
  readToken();
  return node;
}

OrbaExpression* parseUnaryOrPrimary() {
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
  return maker(parseUnaryOrPrimary());
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
    exprState.errorFlag = true;
  } else if (code == 0) {
    exprState.errorFlag = true;
    exprState.currentEnd = exprState.previousEnd;
  } else if (exprState.message == nullptr) {
    exprState.message = kUnexpectedCharacter;
  }
}

int32_t exprNextToken() {
  if (exprState.errorFlag) {
    exprState.currentEnd = exprState.previousEnd;
    return -1;
  }
  ExprScanner* scanner = exprState.scanner;
  scanner->radix = exprState.defaultRadix;
  int32_t token = exprScan(scanner);
  if (token == TK_END) return token;
  exprState.previousEnd = exprState.currentEnd;
  exprState.currentEnd = scanner->cursor;
  return token;
}

void exprParseStart() {
  ExprParseState& state = exprState;
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
    state.result = exprParseExpression(true);
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

}  // namespace

OrbaExpression* parseExpressionAt(ExprScanner* stream, const char** message, bool preprocessor) {
  ExprParseState& state = exprState;
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

  exprParseStart();

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
