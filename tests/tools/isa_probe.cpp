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
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "util/ControlState.h"
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
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  // A fatal diagnostic prints what was recorded; the lines then name this file.
  runState().lineState = new LineState();
  runState().lineState->addSourceFile("<stdin>");
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

void appendCandidate(std::string& out, const Encoding& encoding, const isa::FieldCompletion& completion) {
  static const char kHex[] = "0123456789abcdef";
  uint8_t bytes[32];
  uint32_t count = encoding.memoryBytes(bytes, sizeof bytes);
  // Made in place and appended at once: a blank, the width, ':' and two digits a byte.
  char text[1 + 3 + 1 + 2 * sizeof bytes];
  size_t length = 0;
  if (!out.empty()) text[length++] = ' ';
  char digits[3];
  int digitCount = 0;
  uint32_t width = encoding.bits;
  do {
    digits[digitCount++] = static_cast<char>('0' + width % 10);
    width /= 10;
  } while (width);
  while (digitCount) text[length++] = digits[--digitCount];
  text[length++] = ':';
  for (uint32_t i = 0; i < count; ++i) {
    // Memory byte i holds image bits 8i..8i+7, as memoryBytes lays them out.
    bool unknown = (completion.unknownBits[7 - i / 4] >> (8 * (i % 4))) & 0xFF;
    text[length++] = unknown ? '.' : kHex[bytes[i] >> 4];
    text[length++] = unknown ? '.' : kHex[bytes[i] & 0xF];
  }
  out.append(text, length);
}

// Standard input in the pieces that fgets(buffer, 4096, stdin) would give: up to and
// including a line feed, 4095 bytes at most, and only the bytes before a NUL byte count;
// but read in large blocks. atEnd() is what feof(stdin) would say after the piece.
class InputPieces {
 public:
  // Appends the next piece to the statement; false when the input has nothing left.
  bool next(std::string& statement) {
    if (atEnd_) return false;
    size_t taken = 0;
    bool cut = false;  // a NUL byte ended what counts of the piece
    while (taken < kPiece) {
      if (position_ == filled_ && !refill()) {
        atEnd_ = true;
        break;
      }
      size_t room = std::min(filled_ - position_, kPiece - taken);
      const char* from = block_.data() + position_;
      const auto* feed = static_cast<const char*>(std::memchr(from, '\n', room));
      size_t length = feed ? static_cast<size_t>(feed - from) + 1 : room;
      if (!cut) {
        const auto* nul = static_cast<const char*>(std::memchr(from, '\0', length));
        statement.append(from, nul ? static_cast<size_t>(nul - from) : length);
        cut = nul != nullptr;
      }
      position_ += length;
      taken += length;
      if (feed) break;
    }
    return taken > 0;
  }
  bool atEnd() const { return atEnd_; }

 private:
  static constexpr size_t kPiece = 4095;
  bool refill() {
    ssize_t count;
    do count = read(STDIN_FILENO, block_.data(), block_.size());
    while (count < 0 && errno == EINTR);
    position_ = 0;
    filled_ = count > 0 ? static_cast<size_t>(count) : 0;
    return filled_ > 0;
  }

  std::vector<char> block_ = std::vector<char>(size_t{1} << 16);
  size_t position_ = 0;
  size_t filled_ = 0;
  bool atEnd_ = false;
};

// The output lines wait here and go out in large blocks, or one by one to a terminal; a
// fatal diagnostic ends the program in the middle of a line, and the lines before it still
// go out then.
std::string pendingOutput;

void writePendingOutput() {
  std::fwrite(pendingOutput.data(), 1, pendingOutput.size(), stdout);
  pendingOutput.clear();
}

// What the handler recorded for the line, errors first: the records of one line number
// sit together, and this line is the last one read.
void appendDiagnostics(std::string& out, const LineInfo& line) {
  ErrorHandler::ErrorIter records(*errorHandler());
  records.seek(&line);
  if (records.isDone()) return;
  std::vector<const char*> warnings;
  for (; !records.isDone(); records.next()) {
    const ErrorLine* record = records.current();
    if (record->severity == 'W' && !record->promoted) {
      warnings.push_back(record->text);
      continue;
    }
    if (!out.empty()) out += ' ';
    out += "error: ";
    out += record->text;
  }
  for (const char* text : warnings) {
    if (!out.empty()) out += ' ';
    out += "warning: ";
    out += text;
  }
}

}  // namespace

int main(int argc, char** argv) {
  TriCoreFactory factory;
  runState().orbaFactory = &factory;
  setUpManagers();
  if (!setUpOptions(argc, argv)) return 1;
  // Symbols of the operands (jump targets) need the table; it reads the options.
  runState().symbolTable = new SymbolTable();
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

  InputPieces input;
  std::string statement;
  std::string out;
  uint32_t lineNumber = 0;
  const bool interactive = isatty(STDOUT_FILENO) != 0;
  std::atexit(writePendingOutput);
  while (input.next(statement)) {
    // As with fgets, a piece that ends neither the line nor the input is joined to the next;
    // a piece that begins with a NUL byte adds nothing.
    if ((statement.empty() || statement.back() != '\n') && !input.atEnd()) continue;
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
    // The statements are encoded, not assembled: generic forms generate no lines here.
    isa::MatchOptions hardwareOnly;
    hardwareOnly.genericsAllowed = false;
    matcher.matchStatement(text, &line, hardwareOnly, match);

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

    appendDiagnostics(out, line);
    out += '\n';
    pendingOutput += out;
    if (interactive || pendingOutput.size() >= (size_t{1} << 16)) writePendingOutput();
    statement.clear();
  }
  writePendingOutput();
  delete line.controlState;
  delete validator;
  // As for the assembler, the exit status says whether any line had an error.
  return errorHandler()->errorFlag() ? 1 : 0;
}
