// Furthest-failure tracking of the instruction walk, the text of the recorded failure, and
// the diagnostic of a statement that yields no instruction.
#include "isa/SyntaxFailure.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "util/ErrorHandler.h"
#include "util/MessageCatalog.h"
#include "util/OrbaState.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionMatcher.h"
#include "isa/OperandEvaluation.h"

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

namespace {

// The message of a recorded failure and its arguments: the text argument, if any, then
// the quoted token at the failure.
struct FailureMessage {
  int32_t id = 0;
  const char* argument = nullptr;
  const char* token = nullptr;
  int byteCode = -1;  // E296: the byte that cannot stand in assembly text
  char quoted[64];
};

bool describe(const SyntaxFailure& failure, FailureMessage& message) {
  if (failure.messageId == 0) return false;
  message.id = failure.messageId;
  if (failure.messageId == E_error) {
    // A value table without a text still needs words in its place.
    message.argument = failure.argument ? failure.argument : "syntax error";
    return true;
  }
  message.argument = failure.argument;
  if (quoteToken(failure.position, message.quoted, sizeof message.quoted)) {
    message.token = message.quoted;
  } else if (failure.position && static_cast<unsigned char>(*failure.position) >= 0x80) {
    // Not the end of the line: a byte above ASCII, named as the line reader names
    // the control bytes.
    message.id = E_invalid_input_character;
    message.argument = nullptr;
    message.byteCode = static_cast<unsigned char>(*failure.position);
  } else {
    message.id = E_unexpected_eol;
  }
  return true;
}

}  // namespace

const char* syntaxFailureText(const SyntaxFailure& failure, char* buffer, uint32_t size) {
  FailureMessage message;
  if (!describe(failure, message)) return nullptr;
  if (message.id == E_error) return message.argument;
  if (message.byteCode >= 0) {
    std::snprintf(buffer, size, messages::text(message.id), message.byteCode);
    return buffer;
  }
  if (!message.token) return messages::text(message.id);
  const char* format = messages::text(message.id);
  if (message.argument) std::snprintf(buffer, size, format, message.argument, message.token);
  else std::snprintf(buffer, size, format, message.token);
  return buffer;
}

const char* unbuiltStatementText(const BuildContext& context, const char* statement) {
  ErrorHandler* handler = errorHandler();
  if (context.whenMessage) return failedConditionText(context.whenMessage);
  FailureMessage message;
  if (!context.cpuMismatch && describe(context.match ? context.match->failure : SyntaxFailure{}, message)) {
    if (message.id == E_error) return handler->formatMessage(E_error, message.argument);
    if (message.byteCode >= 0) return handler->formatMessage(message.id, message.byteCode);
    if (!message.token) return handler->formatMessage(message.id);
    if (message.argument) return handler->formatMessage(message.id, message.argument, message.token);
    return handler->formatMessage(message.id, message.token);
  }
  // Only the mnemonic is named; the statement text runs on to the end of the line.
  const char* end = statement;
  while (*end && *end != ' ' && *end != '\t') ++end;
  std::string mnemonic(statement, end);
  return handler->formatMessage(context.cpuMismatch ? E_cpu_mismatch : E_unknown_mnemonic, mnemonic.c_str());
}

void reportUnbuiltStatement(const BuildContext& context, const char* statement, const LineInfo* line) {
  errorHandler()->reportText(unbuiltStatementText(context, statement), line);
}

const char* failedConditionText(const char* message) {
  return errorHandler()->formatMessage(E_when_check, message && message[0] ? message : "cause unknown");
}

void reportFailedCondition(const char* message, const LineInfo* line) {
  errorHandler()->reportText(failedConditionText(message), line);
}

bool failsForCertain(const IPInstruction& candidate, const char** message) {
  return candidate.attributes && candidate.attributes->failsForCertain(message);
}

}  // namespace isa
