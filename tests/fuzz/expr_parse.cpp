// Feeds arbitrary bytes as one line to the expression scanner and parser, then
// evaluates and prints what came back. The first byte picks the radix and whether
// the parse is a preprocessor condition; the text ends at the first NUL.
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TEString.h"
#include "flow/SymbolTable.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

void setUp() {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  // Diagnostics with a position are kept until the end; there is no end here.
  runState().errorHandler->setErrorLimit(0);
  runState().lineState = new LineState();
  runState().lineState->addSourceFile("fuzz.asm");
  runState().symbolTable = new SymbolTable();
}

// Nodes live until the end of the run by design; a fuzzing run has no end, so each
// input gives its tree back. A fresh parse shares no node that is not interned.
void releaseTree(OrbaExpression* node) {
  if (node == nullptr || node->isShared()) return;
  if (node->hasOperands())
    for (int32_t i = 0; i < node->getArgumentCount(); ++i) releaseTree(node->getArgument(i));
  releaseTempExpression(node);
}

}  // namespace

// The pool goes with each input's run, and with it every node nobody released; a
// function node among them takes its argument vector's heap block along unseen. That is
// how pooled nodes end, not a leak worth a report.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Nodes that nobody gives back (evaluated values, the operands of a failed parse)
  // would pile up over millions of inputs: they go with the input's run.
  FuzzRun run;
  setUp();
  static const int16_t kRadixes[] = {10, 16, 2, 8};
  ControlState control;
  control.radix = kRadixes[data[0] & 3];
  bool preprocessor = data[0] & 4;
  LineInfo line;
  line.lineNumber = 1;
  line.controlState = &control;

  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  text = text.c_str();
  ExprScanner stream;
  stream.reset(text.c_str(), &line);
  // An operand list: parse, step over what stopped the expression, parse again.
  for (int operand = 0; operand < 8 && *stream.cursor != '\0'; ++operand) {
    const char* before = stream.cursor;
    const char* message = nullptr;
    OrbaExpression* tree = parseExpressionAt(&stream, &message, preprocessor);
    if (stream.cursor < before || stream.cursor > text.c_str() + text.size()) __builtin_trap();
    if (message != nullptr && stream.cursor != before) __builtin_trap();
    if (tree != nullptr) {
      (void)tree->toString(3);
      OrbaExpression* value = tree->evaluate();
      if (value != nullptr) (void)value->toString(0);
      releaseTree(tree);
    }
    if (stream.cursor == before) ++stream.cursor;
  }
  return 0;
}
