// Hand-written longest-match recogniser. Where several rules could start at one
// byte, each candidate's length is measured and the longest wins; on a tie the
// rule that comes first in this list wins: float, local label, hexadecimal,
// binary, '#' decimal, integer in the default radix; then quoted literal,
// identifier (a function name when it spells one exactly), operators.
#include "expr/ExprScanner.h"

#include <cstdlib>
#include <cstring>

#include "expr/functions.h"
#include "util/c-memory.h"
#include "util/RunState.h"

namespace {

inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(unsigned char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool isOctalDigit(unsigned char c) { return c >= '0' && c <= '7'; }
inline bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isNameChar(unsigned char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '.'; }
// A line feed ends the expression like the end of the text, so it is not a blank.
inline bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

inline const unsigned char* bytes(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

size_t runOf(const unsigned char* p, bool (*accept)(unsigned char)) {
  size_t n = 0;
  while (accept(p[n])) ++n;
  return n;
}

// Length of an exponent ("e", optional sign, digits) at p, 0 when there is none.
size_t exponentLength(const unsigned char* p) {
  if (p[0] != 'e' && p[0] != 'E') return 0;
  size_t n = 1;
  if (p[n] == '+' || p[n] == '-') ++n;
  size_t digits = runOf(p + n, isDigit);
  return digits == 0 ? 0 : n + digits;
}

// Length of a float that begins with digits, 0 when there is none.
size_t floatFromDigits(const unsigned char* p, size_t digitRun) {
  if (p[digitRun] == '.') {
    size_t n = digitRun + 1;
    n += runOf(p + n, isDigit);
    return n + exponentLength(p + n);
  }
  size_t exponent = exponentLength(p + digitRun);  // D+ E requires the exponent
  return exponent == 0 ? 0 : digitRun + exponent;
}

// Scans the body of a quoted literal whose opening quote is at p. Returns the
// position of the closing quote, or null when the literal is not well formed.
const unsigned char* scanQuoted(const unsigned char* p) {
  unsigned char quote = *p++;
  // The last place at which the literal could have ended, just before a doubled quote.
  const unsigned char* fallback = nullptr;
  for (;;) {
    unsigned char c = *p;
    if (c == '\0' || c == '\n') return fallback;
    if (c == quote) {
      if (p[1] != quote) return p;
      fallback = p;
      p += 2;
      continue;
    }
    if (c != '\\') {
      ++p;
      continue;
    }
    unsigned char e = p[1];
    if (std::strchr("\"'?\\abfnrtv", e) != nullptr && e != '\0') {
      p += 2;
    } else if (isOctalDigit(e)) {
      p += 1 + runOf(p + 1, isOctalDigit);
    } else if ((e == 'x' || e == 'X') && isHexDigit(p[2])) {
      p += 2 + runOf(p + 2, isHexDigit);
    } else {
      return fallback;
    }
  }
}

int32_t scanNumber(ExprScanner* s, const unsigned char* p) {
  size_t digitRun = runOf(p, isDigit);
  size_t floatLen = floatFromDigits(p, digitRun);
  size_t localLen = std::strchr("nNpP", p[digitRun]) != nullptr && p[digitRun] != '\0' ? digitRun + 1 : 0;
  size_t hexLen = 0;
  size_t binLen = 0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    size_t h = runOf(p + 2, isHexDigit);
    if (h > 0) hexLen = 2 + h;
  }
  if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) {
    size_t b = runOf(p + 2, [](unsigned char c) { return c == '0' || c == '1'; });
    if (b > 0) binLen = 2 + b;
  }
  size_t intLen = runOf(p, isHexDigit);

  // Longest wins; on a tie the earlier rule, hence the strict comparisons.
  size_t best = floatLen;
  int rule = 1;
  const size_t lengths[] = {localLen, hexLen, binLen, intLen};
  const int rules[] = {2, 3, 4, 6};
  for (int i = 0; i < 4; ++i)
    if (lengths[i] > best) {
      best = lengths[i];
      rule = rules[i];
    }

  const char* start = reinterpret_cast<const char*>(p);
  s->cursor = start + best;
  s->marker = s->cursor;
  switch (rule) {
    case 1:
      return TK_FLOAT;
    case 2:
      return TK_LOCAL_LABEL;
    case 3:
      s->tokenStart = start + 2;
      s->tokenEnd = s->cursor;
      s->radix = 16;
      return TK_INTEGER;
    case 4:
      s->tokenStart = start + 2;
      s->tokenEnd = s->cursor;
      s->radix = 2;
      return TK_INTEGER;
    default:
      return TK_INTEGER;
  }
}

int32_t scanName(ExprScanner* s, const unsigned char* p) {
  size_t length = 1 + runOf(p + 1, isNameChar);
  const char* start = reinterpret_cast<const char*>(p);
  if (p[0] == '.' && isDigit(p[1])) {
    // A float such as .5 wins a tie with the identifier of the same text.
    size_t digits = runOf(p + 1, isDigit);
    size_t floatLen = 1 + digits + exponentLength(p + 1 + digits);
    if (floatLen >= length) {
      s->cursor = start + floatLen;
      return TK_FLOAT;
    }
  }
  s->cursor = start + length;
  if (p[0] == '@') {
    int32_t index = findFunctionName(start, length);
    if (index >= 0) return TK_FUNCTION_FIRST + index;
  }
  return TK_IDENTIFIER;
}

// Operators and punctuation; a two-byte operator is taken whenever its second byte follows.
int32_t scanOperator(ExprScanner* s, const unsigned char* p) {
  unsigned char next = p[1];
  int32_t token = TK_END;
  size_t length = 1;
  auto pair = [&](unsigned char second, int32_t both, int32_t single) {
    if (next == second) {
      length = 2;
      return both;
    }
    return single;
  };
  switch (p[0]) {
    case '&': token = pair('&', TK_LOGICAL_AND, TK_AND); break;
    case '|': token = pair('|', TK_LOGICAL_OR, TK_OR); break;
    case '+': token = pair('+', TK_CONCAT, TK_PLUS); break;
    case '=': token = pair('=', TK_EQ, TK_END); break;
    case '!': token = pair('=', TK_NE, TK_NOT); break;
    case '<':
      token = next == '<' ? (length = 2, TK_SHL) : pair('=', TK_LE, TK_LT);
      break;
    case '>':
      token = next == '>' ? (length = 2, TK_SHR) : pair('=', TK_GE, TK_GT);
      break;
    case ':': token = TK_COLON; break;
    case ',': token = TK_COMMA; break;
    case '~': token = TK_TILDE; break;
    case '/': token = TK_SLASH; break;
    case '[': token = TK_LBRACKET; break;
    case '(': token = TK_LPAREN; break;
    case '-': token = TK_MINUS; break;
    case '%': token = TK_PERCENT; break;
    case '?': token = TK_QUESTION; break;
    case ']': token = TK_RBRACKET; break;
    case ')': token = TK_RPAREN; break;
    case '*': token = TK_STAR; break;
    case '^': token = TK_XOR; break;
    default: break;
  }
  // A byte that begins no token is stepped over, but the token positions of the
  // parser stay in front of it.
  s->cursor = reinterpret_cast<const char*>(p) + length;
  return token;
}

// A comment prefix that begins like a name, a number or a literal is part of that
// token, as the statement scanner sees it; any other prefix ends the expression.
bool startsComment(const ExprScanner* s, const unsigned char* p) {
  const char* prefix = s->commentPrefix;
  if (prefix == nullptr || *p != static_cast<unsigned char>(prefix[0])) return false;
  auto first = static_cast<unsigned char>(prefix[0]);
  if (isNameChar(first) || first == '@' || first == '"' || first == '\'') return false;
  return std::strncmp(reinterpret_cast<const char*>(p), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

int32_t exprScan(ExprScanner* s) {
  s->limit = 0;
  s->tokenEnd = nullptr;
  const unsigned char* p = bytes(s->cursor);
  while (isBlank(*p)) ++p;
  s->tokenStart = reinterpret_cast<const char*>(p);
  s->marker = s->tokenStart;
  unsigned char c = *p;

  if (c == '\0' || startsComment(s, p)) {
    s->cursor = s->tokenStart;
    return TK_END;
  }
  if (isDigit(c)) return scanNumber(s, p);
  if (c == '#') {
    size_t digits = runOf(p + 1, isDigit);
    if (digits == 0) {
      s->cursor = s->tokenStart + 1;
      return TK_END;
    }
    s->tokenStart = reinterpret_cast<const char*>(p + 1);
    s->cursor = s->tokenStart + digits;
    s->tokenEnd = s->cursor;
    s->radix = 10;
    return TK_INTEGER;
  }
  if (c == '"' || c == '\'') {
    const unsigned char* close = scanQuoted(p);
    if (close == nullptr) {
      s->cursor = s->tokenStart + 1;
      return TK_END;
    }
    s->tokenStart = reinterpret_cast<const char*>(p + 1);
    s->tokenEnd = reinterpret_cast<const char*>(close);
    s->cursor = s->tokenEnd + 1;
    return TK_STRING;
  }
  if (isLetter(c) || c == '_' || c == '.' || c == '@') return scanName(s, p);
  return scanOperator(s, p);
}

namespace {
struct ScannerScratch {
  char* scratchText = nullptr;
  size_t scratchCapacity = 0;
  ~ScannerScratch() { std::free(scratchText); }
};
ScannerScratch& scannerScratch() { return runPart<ScannerScratch>(); }
}  // namespace

const char* tokenText(const ExprScanner* s, uint32_t* length) {
  const char* from = s->tokenStart;
  const char* to = s->tokenEnd != nullptr ? s->tokenEnd : s->cursor;
  size_t size = (from != nullptr && to > from) ? static_cast<size_t>(to - from) : 0;
  if (size + 1 > scannerScratch().scratchCapacity) {
    scannerScratch().scratchCapacity = size * 2 + 2;
    scannerScratch().scratchText = static_cast<char*>(xrealloc(scannerScratch().scratchText, scannerScratch().scratchCapacity));
  }
  if (size > 0) std::memcpy(scannerScratch().scratchText, from, size);
  scannerScratch().scratchText[size] = '\0';
  if (length != nullptr) *length = static_cast<uint32_t>(size);
  return scannerScratch().scratchText;
}
