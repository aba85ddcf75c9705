// Generic instruction expansion: any statement text that a generic form accepts must give
// whole lines (one line end each, at the end), all of one variant and marked for the parser,
// whose instructions (but the jump to the target) the matcher accepts again with a hardware
// form.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/OrbaOptions.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/OperandEvaluation.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

// The managers an expansion needs, made afresh for every input: what one input interned,
// defined, expanded or pooled goes with its run instead of piling up over millions of
// inputs.
void setUp(TriCoreFactory& factory) {
  runState().orbaFactory = &factory;
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  static char program[] = "isa_expand";
  static char* argv[] = {program, nullptr};
  (new TriCoreOptions(1, argv))->process();
  runState().symbolTable = new SymbolTable();
  isa::initMatchModule();
}

struct Matched {
  bool hardware = false;
  bool expanded = false;
};

// Matches the text as the statement of `line`; the candidates are dropped.
Matched match(const char* text, LineInfo* line, bool generics) {
  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  isa::MatchContext match;
  isa::InstructionBuilder builder(context, line, nullptr);
  isa::InstructionMatcher matcher(parser, builder);
  context.matcher = &matcher;
  context.match = &match;
  isa::MatchOptions options;
  options.genericsAllowed = generics;
  matcher.matchStatement(text, line, options, match);
  Matched result{!context.candidates.empty(), context.expanded};
  for (IPInstruction* candidate : context.candidates) delete candidate;
  return result;
}

// The instruction of a generated line: after its label, if any, and the tab.
std::string instructionOf(const char* text) {
  std::string rest(text, std::strlen(text) - 1);
  size_t colon = rest.find(':');
  if (colon != std::string::npos && rest.compare(0, 3, "__T") == 0) rest.erase(0, colon + 1);
  if (!rest.empty() && rest[0] == '\t') rest.erase(0, 1);
  return rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  FuzzRun run;
  TriCoreFactory factory;
  setUp(factory);
  std::string text(reinterpret_cast<const char*>(data), size);
  for (char& c : text)
    if (c == '\n' || c == 0) c = ' ';

  runState().lineState = new LineState();
  runState().lineState->addSourceFile("fuzz.s");
  TriCoreControlState control;
  LineInfo* line = runState().lineState->appendLine(text.c_str(), 0, 1, 0);
  line->controlState = &control;
  Matched statement = match(text.c_str(), line, true);
  if (statement.expanded != (line->next != nullptr)) __builtin_trap();
  int16_t variant = statement.hardware ? 1 : 0;
  for (LineInfo* made = line->next; made; made = made->next) {
    const char* feed = std::strchr(made->text, '\n');
    if (!feed || feed[1] != '\0') __builtin_trap();
    if (made->variant() != variant || !(made->flags[0] & 0x01)) __builtin_trap();
    made->controlState = &control;
    if (made->text[0] != '\t' && std::strncmp(made->text, "__T", 3) != 0) __builtin_trap();
    // The jump to the target carries the target's print, whose round trip through the
    // expression parser is the printer's own matter; the other lines hold names and texts.
    std::string instruction = instructionOf(made->text);
    if (instruction.empty() || instruction.compare(0, 2, "j\t") == 0) continue;
    if (!match(instruction.c_str(), made, false).hardware) {
      std::fprintf(stderr, "no hardware form for the generated line \"%s\"\n", instruction.c_str());
      __builtin_trap();
    }
  }
  return 0;
}
