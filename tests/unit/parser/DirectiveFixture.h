// Managers, sections and parsed values for the tests of what the directives do once
// their operands are read.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "flow/FlowFixture.h"
#include "flow/Section.h"
#include "parser/SectionOperations.h"

class DirectiveTest : public FlowTest {
 protected:
  DirectiveTest() { setPreviousSection(nullptr); }
  ~DirectiveTest() override { setPreviousSection(nullptr); }

  // The section that stands for "no section yet", as the parse loop makes it.
  Section* makePlaceholder() {
    Section* made = section("__placeholder", 0);
    runState().placeholderSection = made;
    return made;
  }

  OrbaExpression* parse(const char* text, LineInfo* position) {
    const std::string& kept = texts_.emplace_back(text);
    ExprScanner stream;
    stream.reset(kept.c_str(), position);
    const char* message = nullptr;
    OrbaExpression* tree = parseExpressionAt(&stream, &message, false);
    EXPECT_NE(tree, nullptr) << text << ": " << (message ? message : "");
    return tree;
  }

  // Forgets the diagnostics recorded so far.
  static void clearDiagnostics() {
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }

  // The kinds of the section's nodes in flow order.
  static std::vector<int> kinds(const Section* of) {
    std::vector<int> found;
    for (FlowNode* node = of->firstNode(); node; node = node->nextNode()) found.push_back(node->kind);
    return found;
  }

 private:
  std::deque<std::string> texts_;
};
