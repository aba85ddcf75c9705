// Drives the expression parser the way the statement parser does: a token stream
// over one line of text, parseExpressionAt, then the printed tree, its evaluation
// and where the cursor stopped. The managers the parser reaches are made per test.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "expr/ExprActions.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

class ExprParseTest : public testing::Test {
 public:
  struct Outcome {
    OrbaExpression* tree = nullptr;
    const char* message = nullptr;
    long stop = 0;  // cursor offset from the start of the text
  };

 protected:
  void SetUp() override {
    line_.lineNumber = 1;
    line_.controlState = &control_;
    // As when a list file is made: @LST reads the list counter.
    control_.listCounter = 1;
  }

  // The text is kept for the test's lifetime: nodes and symbols may point into it.
  Outcome parse(const char* text, bool preprocessor = false) {
    const std::string& kept = texts_.emplace_back(text);
    ExprScanner stream;
    stream.reset(kept.c_str(), &line_);
    Outcome outcome;
    outcome.tree = parseExpressionAt(&stream, &outcome.message, preprocessor);
    outcome.stop = stream.cursor - kept.c_str();
    return outcome;
  }

  static std::string printed(const OrbaExpression* expression) {
    return expression ? expression->toString(0) : std::string("<null>");
  }

  static std::string evaluated(OrbaExpression* expression) {
    return expression ? printed(expression->evaluate()) : std::string("<null>");
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  ControlState control_;
  LineInfo line_;

 private:
  std::deque<std::string> texts_;
};
