// Measures the expression layer on the operands of instruction lines: a lone number in
// front of the line's end (the single-token path), small arithmetic (the precedence
// descent), and integer nodes asked for in the small range and far outside it. Prints
// nanoseconds per operation and the expression pool's bytes; `ninja expr_bench`.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

constexpr int kOperands = 1000000;

template <typename Body>
double nanosecondsEach(int count, Body body) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) body(i);
  std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / count;
}

}  // namespace

int main() {
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  ControlState control;
  LineInfo line;
  line.lineNumber = 1;
  line.controlState = &control;

  // Texts as the operand parser hands them over: the rest of the line, newline included.
  std::vector<std::string> lone, arithmetic;
  for (int i = 0; i < 1000; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%d\n", i * 20 + 8);
    lone.emplace_back(text);
    std::snprintf(text, sizeof text, "(%d<<4)|3+%d\n", i, i % 7);
    arithmetic.emplace_back(text);
  }
  int failures = 0;
  auto parse = [&](const std::string& text) {
    ExprScanner stream;
    stream.reset(text.c_str(), &line);
    const char* message = nullptr;
    if (!parseOperandExpression(&stream, &message) || message) ++failures;
  };
  double lonePath = nanosecondsEach(kOperands, [&](int i) { parse(lone[i % lone.size()]); });
  double descent = nanosecondsEach(kOperands, [&](int i) { parse(arithmetic[i % arithmetic.size()]); });
  int64_t sum = 0;
  double small = nanosecondsEach(kOperands, [&](int i) { sum += TEInteger::create(i % 4096)->getInteger(); });
  double large = nanosecondsEach(kOperands, [&](int i) {
    sum += TEInteger::create(0x80000000 + 4 * int64_t{i})->getInteger();
  });
  double repeated = nanosecondsEach(kOperands, [&](int i) {
    sum += TEInteger::create(0x80000000 + 4 * int64_t{i / 4})->getInteger();
  });

  MemPool* pool = MemoryPools::instance().find("OrbaExpression");
  std::printf("lone number operand   %7.1f ns\n", lonePath);
  std::printf("arithmetic operand    %7.1f ns\n", descent);
  std::printf("small integer node    %7.1f ns\n", small);
  std::printf("new large integer     %7.1f ns\n", large);
  std::printf("large integer, 4 asks %7.1f ns\n", repeated);
  std::printf("expression pool       %7zu KB in use\n", pool ? pool->inUse / 1024 : 0);
  if (failures) std::printf("%d operands failed to parse\n", failures);
  return sum == 0 || failures ? 1 : 0;
}
