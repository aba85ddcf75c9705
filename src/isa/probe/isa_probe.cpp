// Test harness of the instruction encoder, not a product feature: reads one instruction
// statement per line, builds its candidates as if it stood at address 0, and prints one line
// per input line: the candidates as "<bits>:<hex>" (bytes in memory order, ".." for a byte
// that holds a field still unknown), or "error: " and the diagnostic text.
//
//   isa-probe [--core=...] [--no-fpu] [--mmu-present] [--user-mode=...] < statements
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "expr/TEFunction.h"
#include "expr/functions.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"

namespace {

// The target options, parsed the way the assembler parses them.
bool setUpOptions(int argc, char** argv) {
  auto* options = new TriCoreOptions(argc, argv);
  _orbaOptions = options;
  if (options->optionParser && options->optionParser->hasError()) {
    std::printf("error: %s\n", errorHandler()->formatMessage(E_command_line, options->optionParser->errorText));
    return false;
  }
  return options->process() != 1;
}

void setUpManagers() {
  MemoryPools& pools = MemoryPools::instance();
  g_expressionPool = pools.registerPool("OrbaExpression", &g_expressionPool);
  g_symbolPool = pools.registerPool("Symbol", &g_symbolPool);
  if (!_stringBuffer) _stringBuffer = new StringBuffer();
  if (!_errorHandler) _errorHandler = new ErrorHandler();
}

// The value an operand field takes at address 0, as the output stage computes it.
struct FieldValue {
  bool known = false;
  int64_t value = 0;
  const char* error = nullptr;  // a check that the value fails
};

FieldValue valueAtZero(OrbaExpression* expression) {
  FieldValue result;
  if (!expression) return result;
  uint32_t kind = expression->getKind();
  if (kind == EK_function || kind == EK_tricoreFunction) {
    auto* call = static_cast<TEFunction*>(expression);
    const auto& arguments = call->arguments();
    int32_t code = call->code();
    auto integerArgument = [&](size_t i) {
      return i < arguments.size() && arguments[i] && arguments[i]->getKind() == EK_integer ? arguments[i]->getInteger()
                                                                                            : 0;
    };
    if (code == FN_RANGE || code == FN_WRANGE) {
      result = valueAtZero(arguments.empty() ? nullptr : arguments[0]);
      int64_t low = integerArgument(1), high = integerArgument(2);
      if (result.known && !result.error && (result.value < low || result.value > high) && code == FN_RANGE)
        result.error = low < 0 ? errorHandler()->formatMessage(E_range_error_dec, low, high)
                               : errorHandler()->formatMessage(E_range_error_hex, low, high);
      return result;
    }
    if (code == FN_PCREL) {
      // Every statement stands at address 0.
      result = valueAtZero(arguments.empty() ? nullptr : arguments[0]);
      result.value -= integerArgument(2);
      return result;
    }
    if (code == FN_INPAGE) return valueAtZero(arguments.empty() ? nullptr : arguments[0]);
  }
  if (kind == EK_unary && expression->getOperator() == OP_negate) {
    result = valueAtZero(expression->getArgument(0));
    result.value = -result.value;
    return result;
  }
  OrbaExpression* evaluated = expression->evaluate();
  if (evaluated && evaluated->getKind() == EK_integer) {
    result.known = true;
    result.value = evaluated->getInteger();
  }
  return result;
}

// Completes the deferred fields that are known at address 0; marks the bytes of the others.
// Returns the error of a field whose value does not fit, else null.
const char* completeAtZero(Encoding& encoding, std::vector<bool>& deferredBytes) {
  for (OperandEncoding* field : encoding.operands) {
    OrbaExpression* expression = field->callback ? field->callback(field->context, &field->expression)
                                                 : field->expression;
    FieldValue value = valueAtZero(expression);
    if (value.error) return value.error;
    if (!value.known) {
      for (const OperandMapping* run : field->mapping)
        for (uint32_t k = 0; k < run->length; ++k) {
          uint32_t byte = (run->destination + k) / 8;
          if (byte < deferredBytes.size()) deferredBytes[byte] = true;
        }
      continue;
    }
    if (field->mask && field->expect && field->mask->kind == 1 && field->expect->kind == 1 &&
        (static_cast<uint32_t>(value.value) & field->mask->value) != field->expect->value)
      return errorHandler()->formatMessage(E_incompatible_instruction_expression);
    // The field's range checks are nodes of the expression; the field keeps the low bits.
    for (const OperandMapping* run : field->mapping)
      encoding.orBits(static_cast<uint64_t>(value.value), run->length, run->source, run->destination);
  }
  return nullptr;
}

const char* failureText(const isa::BuildContext& context, const char* statement) {
  ErrorHandler* handler = errorHandler();
  if (context.whenMessage)
    return handler->formatMessage(E_when_check, context.whenMessage[0] ? context.whenMessage : "cause unknown");
  std::string mnemonic;
  for (const char* p = statement; *p && *p != ' ' && *p != '\t'; ++p) mnemonic += *p;
  if (context.cpuMismatch) return handler->formatMessage(E_cpu_mismatch, mnemonic.c_str());
  const isa::SyntaxFailure& failure = context.match->failure;
  if (failure.messageId == E_error) return handler->formatMessage(E_error, failure.argument);
  char buffer[512];
  if (const char* text = isa::syntaxFailureText(failure, buffer, sizeof buffer)) {
    int32_t id = text == messages::text(E_unexpected_eol) ? static_cast<int32_t>(E_unexpected_eol) : failure.messageId;
    // The text is formatted already; the diagnostic adds its letter and number.
    static std::string diagnostic;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%c%03u: ", messages::severity(id), messages::number(id));
    diagnostic = std::string(prefix) + text;
    return diagnostic.c_str();
  }
  return handler->formatMessage(E_unknown_mnemonic, mnemonic.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  setUpManagers();
  if (!setUpOptions(argc, argv)) return 1;
  // Symbols of the operands (jump targets) need the table; it reads the options.
  if (!_symbolTable) _symbolTable = new SymbolTable();
  isa::initMatchModule();

  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  LineInfo line;
  isa::InstructionBuilder builder(context, &line, nullptr);
  isa::InstructionMatcher matcher(parser, builder);

  char buffer[4096];
  std::string statement;
  while (std::fgets(buffer, sizeof buffer, stdin)) {
    statement += buffer;
    if (statement.back() != '\n' && !std::feof(stdin)) continue;
    while (!statement.empty() && (statement.back() == '\n' || statement.back() == '\r')) statement.pop_back();

    isa::MatchContext match;
    context = isa::BuildContext{};
    context.matcher = &matcher;
    context.match = &match;
    const char* text = statement.c_str();
    while (*text == ' ' || *text == '\t') ++text;
    matcher.matchStatement(text, &line, isa::MatchOptions{}, match);

    std::string out;
    const char* firstError = nullptr;
    const char* whenFailure = nullptr;
    for (IPInstruction* candidate : context.candidates) {
      // Layout decides the conditions that the match left open, before anything is encoded.
      const char* message = nullptr;
      if (candidate->attributes && !candidate->attributes->findFirstUnsatisfiedCase(&message, true)) {
        if (!whenFailure) whenFailure = message && message[0] ? message : "cause unknown";
        continue;
      }
      Encoding& encoding = *candidate->encoding;
      std::vector<bool> deferred((encoding.bits + 7) / 8, false);
      if (const char* error = completeAtZero(encoding, deferred)) {
        if (!firstError) firstError = error;
        continue;
      }
      uint8_t bytes[32];
      uint32_t count = encoding.memoryBytes(bytes, sizeof bytes);
      char piece[8];
      if (!out.empty()) out += ' ';
      out += std::to_string(encoding.bits) + ':';
      for (uint32_t i = 0; i < count; ++i) {
        if (deferred[i]) {
          out += "..";
        } else {
          std::snprintf(piece, sizeof piece, "%02x", bytes[i]);
          out += piece;
        }
      }
    }
    for (IPInstruction* candidate : context.candidates) delete candidate;
    if (out.empty() && whenFailure)
      std::printf("error: %s\n", errorHandler()->formatMessage(E_when_check, whenFailure));
    else if (out.empty())
      std::printf("error: %s\n", firstError ? firstError : failureText(context, text));
    else std::printf("%s\n", out.c_str());
    std::fflush(stdout);
    statement.clear();
  }
  return 0;
}
