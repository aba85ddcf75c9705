// The encoder's road from statement text to candidate bytes: the walk, the form builders,
// operand evaluation and the deferred fields. Any statement text must come back as
// candidates or a failure, never as a write outside an encoding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/OperandEvaluation.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

// The managers an encoding needs, made afresh for every input: what one input interned,
// defined or pooled goes with its run instead of piling up over millions of inputs.
void setUp() {
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  static char program[] = "isa_encode";
  static char* argv[] = {program, nullptr};
  (new TriCoreOptions(1, argv))->process();
  runState().symbolTable = new SymbolTable();
  isa::initMatchModule();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  FuzzRun run;
  setUp();
  std::string text(reinterpret_cast<const char*>(data), size);
  for (char& c : text)
    if (c == '\n' || c == 0) c = ' ';

  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  LineInfo line;
  isa::InstructionBuilder builder(context, &line, nullptr);
  isa::InstructionMatcher matcher(parser, builder);

  isa::MatchContext match;
  context.matcher = &matcher;
  context.match = &match;
  // The hardware forms only: a generic form would add source lines.
  isa::MatchOptions hardwareOnly;
  hardwareOnly.genericsAllowed = false;
  matcher.matchStatement(text.c_str(), &line, hardwareOnly, match);
  for (IPInstruction* candidate : context.candidates) {
    uint8_t bytes[32];
    candidate->encoding->memoryBytes(bytes, sizeof bytes);
    for (OperandEncoding* field : candidate->encoding->operands)
      for (const OperandMapping& run : field->mapping)
        if (run.destination + run.length > candidate->encoding->bits) __builtin_trap();
    delete candidate;
  }
  return 0;
}
