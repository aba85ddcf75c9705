// Test driver of the instruction encoder, not a product feature: reads one instruction
// statement per line and hands it to the product's matcher, builder and encoder as if it
// stood at address 0 of a section. Prints one line per input line: the candidates as
// "<bits>:<hex>" (bytes in memory order, ".." for a byte that holds a field still unknown),
// then every diagnostic that the error handler recorded for the line, each as "error: " or
// "warning: " and its text, errors first. A line that starts with "error: " is a statement
// that yields no instruction.
//
//   isa-probe [--core=...] [--no-fpu] [--mmu-present] [--user-mode=...] [assembler options] < statements
//
// Exits 1 when the options are wrong, with the handler's message on standard error, and 0
// once they are read, whatever the statements come to.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "driver/c-opt.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "expr/TEInteger.h"
#include "flow/ExpressionValidator.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/IPAttribute.h"
#include "isa/OperandCompletion.h"
#include "isa/OperandEvaluation.h"
#include "isa/SyntaxFailure.h"
#include "preproc/LineState.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"

namespace {

void setUpManagers() {
  MemoryPools& pools = MemoryPools::instance();
  g_expressionPool = pools.registerPool("OrbaExpression", &g_expressionPool);
  g_symbolPool = pools.registerPool("Symbol", &g_symbolPool);
  _stringBuffer = new StringBuffer();
  _errorHandler = new ErrorHandler();
  // A fatal diagnostic prints what was recorded; the lines then name this file.
  _lineState = new LineState();
  _lineState->addSourceFile("<stdin>");
}

// The target options, parsed and checked the way the assembler does it; the handler
// prints what is wrong with them.
bool setUpOptions(int argc, char** argv) {
  OrbaOptions* options = orbaFactory()->createOptions(argc, argv);
  bool failed = false;
  if (options->optionParser && options->optionParser->hasError()) {
    errorHandler()->reportWithoutLocation(E_command_line, options->optionParser->errorText);
    failed = true;
  }
  if (options->process() == 1) failed = true;
  // A misspelt option in a test would otherwise test nothing.
  for (uint32_t i = 0; i < opt_count(opt::ERR); ++i) {
    errorHandler()->reportWithoutLocation(E_illegal_option, opt_get_string_at(opt::ERR, i));
    failed = true;
  }
  return !failed;
}

void appendNumber(std::string& out, uint32_t number) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number);
  while (count) out += digits[--count];
}

void appendCandidate(std::string& out, const Encoding& encoding, const isa::FieldCompletion& completion) {
  static const char kHex[] = "0123456789abcdef";
  uint8_t bytes[32];
  uint32_t count = encoding.memoryBytes(bytes, sizeof bytes);
  if (!out.empty()) out += ' ';
  appendNumber(out, encoding.bits);
  out += ':';
  for (uint32_t i = 0; i < count; ++i) {
    // Memory byte i holds image bits 8i..8i+7, as memoryBytes lays them out.
    if ((completion.unknownBits[7 - i / 4] >> (8 * (i % 4))) & 0xFF) {
      out += "..";
    } else {
      out += kHex[bytes[i] >> 4];
      out += kHex[bytes[i] & 0xF];
    }
  }
}

// What the handler recorded for the line, errors first: the records of one line number
// sit together, and this line is the last one read.
void appendDiagnostics(std::string& out, const LineInfo& line, bool errors) {
  ErrorHandler::ErrorIter records(*errorHandler());
  for (records.seek(&line); !records.isDone(); records.next()) {
    const ErrorLine* record = records.current();
    bool warning = record->severity == 'W' && !record->promoted;
    if (warning == errors) continue;
    if (!out.empty()) out += ' ';
    out += warning ? "warning: " : "error: ";
    out += record->text;
  }
}

}  // namespace

int main(int argc, char** argv) {
  TriCoreFactory factory;
  _orbaFactory = &factory;
  setUpManagers();
  if (!setUpOptions(argc, argv)) return 1;
  // Symbols of the operands (jump targets) need the table; it reads the options.
  _symbolTable = new SymbolTable();
  isa::initMatchModule();
  ExpressionValidator* validator = factory.createExpressionValidator();

  // Every statement stands at address 0 of a section whose address is fixed.
  Section section(".text");
  section.hasAddress = 1;
  section.setBaseExpression(TEInteger::create(0));
  LineInfo line;
  line.section = &section;
  // The warning controls of the options apply to every line.
  line.controlState = factory.createControlState();

  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  isa::InstructionBuilder builder(context, &line, nullptr);
  isa::InstructionMatcher matcher(parser, builder);

  char buffer[4096];
  std::string statement;
  std::string out;
  uint32_t lineNumber = 0;
  while (std::fgets(buffer, sizeof buffer, stdin)) {
    statement += buffer;
    if (statement.back() != '\n' && !std::feof(stdin)) continue;
    while (!statement.empty() && (statement.back() == '\n' || statement.back() == '\r')) statement.pop_back();
    line.lineNumber = ++lineNumber;

    isa::MatchContext match;
    // A fresh context; the candidate list keeps its room from line to line.
    std::vector<IPInstruction*> room = std::move(context.candidates);
    context = isa::BuildContext{};
    context.candidates = std::move(room);
    context.matcher = &matcher;
    context.match = &match;
    const char* text = statement.c_str();
    while (*text == ' ' || *text == '\t') ++text;
    matcher.matchStatement(text, &line, isa::MatchOptions{}, match);

    out.clear();
    bool conditionFailed = false;
    const char* conditionMessage = nullptr;
    IPInstruction* unfit = nullptr;
    for (IPInstruction* candidate : context.candidates) {
      // Layout decides the conditions that the match left open, before anything is encoded.
      const char* message = nullptr;
      if (candidate->attributes && !candidate->attributes->findFirstUnsatisfiedCase(&message, true)) {
        if (!conditionFailed) conditionMessage = message;
        conditionFailed = true;
        continue;
      }
      if (candidate->encoding && !isa::operandFieldsFit(*candidate->encoding, *validator)) {
        if (!unfit) unfit = candidate;
        continue;
      }
      isa::FieldCompletion completion = isa::completeCandidate(*candidate, &line, *validator);
      if (candidate->encoding) appendCandidate(out, *candidate->encoding, completion);
    }
    if (out.empty()) {
      // No candidate fits: the diagnostic of the first reason, as the statement would get it.
      if (conditionFailed) isa::reportFailedCondition(conditionMessage, &line);
      else if (unfit) isa::completeCandidate(*unfit, &line, *validator);
      else isa::reportUnbuiltStatement(context, text, &line);
    }
    for (IPInstruction* candidate : context.candidates) delete candidate;
    context.candidates.clear();

    appendDiagnostics(out, line, true);
    appendDiagnostics(out, line, false);
    out += '\n';
    // A terminal gets each line at once; a pipe gets them when the buffer fills.
    std::fwrite(out.data(), 1, out.size(), stdout);
    statement.clear();
  }
  // As for the assembler, the exit status says whether any line had an error.
  return errorHandler()->errorFlag() ? 1 : 0;
}
