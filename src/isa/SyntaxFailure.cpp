// Furthest-failure tracking of the instruction walk and the text of the recorded failure.
#include <cstdio>
#include <cstring>

#include "util/MessageCatalog.h"
#include "isa/InstructionMatcher.h"

namespace isa {

namespace {

void note(SyntaxFailure& failure, const char* position, int32_t id, const char* argument) {
  // Addresses in one statement text: further right is greater. Equal positions keep the first.
  if (position > failure.position) {
    failure.position = position;
    failure.messageId = id;
    failure.argument = argument;
  }
}

bool isNameStart(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_'; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The token at the text, in double quotes; false when there is none (a control byte, the end
// of the line, or a byte above 0x7F).
bool quoteToken(const char* text, char* out, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  if (!p || *p < ' ' || *p > 0x7F) return false;
  size_t length = 1;
  if (isNameStart(*p)) {
    while (isNameStart(p[length]) || isDigit(p[length])) ++length;
  } else if (isDigit(*p)) {
    while (isDigit(p[length])) ++length;
  }
  if (length > 40) std::snprintf(out, size, "\"%.40s\"...", text);
  else std::snprintf(out, size, "\"%.*s\"", static_cast<int>(length), text);
  return true;
}

}  // namespace

void noteSyntaxExpectedNumber(SyntaxFailure& failure, const char* position) {
  note(failure, position, E_syntax_expected_error, "a number");
}

void noteSyntaxExpectedExpression(SyntaxFailure& failure, const char* position) {
  note(failure, position, E_syntax_expected_error, "an expression");
}

void noteSyntaxErrorText(SyntaxFailure& failure, const char* position, const char* text) {
  note(failure, position, E_error, text);
}

void noteSyntaxUnexpected(SyntaxFailure& failure, const char* position) {
  note(failure, position, E_syntax_unexpected_error, nullptr);
}

const char* syntaxFailureText(const SyntaxFailure& failure, char* buffer, uint32_t size) {
  if (failure.messageId == 0) return nullptr;
  // A value table without a text still needs words in its place.
  if (failure.messageId == E_error) return failure.argument ? failure.argument : "syntax error";
  char token[64];
  if (!quoteToken(failure.position, token, sizeof token)) return messages::text(E_unexpected_eol);
  const char* format = messages::text(failure.messageId);
  if (failure.argument) std::snprintf(buffer, size, format, failure.argument, token);
  else std::snprintf(buffer, size, format, token);
  return buffer;
}

}  // namespace isa
