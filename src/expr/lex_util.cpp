#include "expr/lex_util.h"

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/ExprScanner.h"

namespace {

int digitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

int32_t decodeLiteralChar(const ExprScanner* scanner, const char** position, const char* end,
                          uint8_t quote) {
  const char* p = *position;
  auto c = static_cast<unsigned char>(*p);
  if (c == quote) {
    if (p + 1 < end && static_cast<unsigned char>(p[1]) == quote) *position = p + 1;
    return c;
  }
  if (c != '\\') return c;

  // The escape character; the scanner never hands over a body that ends in a lone
  // backslash, but the statement parser's raw texts are not trusted that far.
  if (p + 1 >= end) return c;
  ++p;
  auto e = static_cast<unsigned char>(*p);
  *position = p;
  switch (e) {
    case '"': return 34;
    case '\'': return 39;
    case '?': return 63;
    case '\\': return 92;
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    default: break;
  }
  if (e >= '0' && e <= '7') {
    int32_t value = 0;
    for (int read = 0; read < 3 && p < end && *p >= '0' && *p <= '7'; ++read, ++p)
      value = value * 8 + (*p - '0');
    *position = p - 1;
    return value;
  }
  if (e == 'x' || e == 'X') {
    int32_t value = 0;
    const char* digit = p + 1;
    int read = 0;
    for (; read < 2 && digit < end && digitValue(static_cast<unsigned char>(*digit)) < 16;
         ++read, ++digit)
      value = value * 16 + digitValue(static_cast<unsigned char>(*digit));
    *position = read > 0 ? digit - 1 : p;
    return value;
  }
  errorHandler()->report(E_illegal_escape_character,
                         scanner != nullptr ? scanner->line : nullptr);
  return e;
}

uint64_t parseUnsigned64(const char* text, const char** end, int radix, bool* overflow) {
  const char* p = text;
  *overflow = false;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  if (radix == 0) {
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
      radix = 16;
      p += 2;
    } else {
      radix = p[0] == '0' ? 8 : 10;
    }
  } else if (radix == 16 && p[0] == '0' && p[1] == 'x') {
    p += 2;
  }
  const char* firstDigit = p;
  uint64_t value = 0;
  if (radix >= 2 && radix <= 36) {
    for (int d; (d = digitValue(static_cast<unsigned char>(*p))) < radix; ++p) {
      if (*overflow) continue;
      if (value > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(radix)) {
        *overflow = true;
        value = UINT64_MAX;
        continue;
      }
      value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
    }
  }
  if (p == firstDigit) {
    *end = text;
    return 0;
  }
  *end = p;
  if (*overflow) return UINT64_MAX;
  return negative ? 0 - value : value;
}
