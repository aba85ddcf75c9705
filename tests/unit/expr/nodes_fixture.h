// The managers that expression nodes reach (error handler, string buffer, line
// state), made for one test and put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <deque>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

class ExprNodesTest : public testing::Test {
 protected:
  LineInfo* line(uint32_t number, uint32_t file = 0) {
    LineInfo& info = lines_.emplace_back();
    info.lineNumber = number;
    info.sourceFile = file;
    return &info;
  }

  // A symbol outside any table; value and flags as the test needs them.
  Symbol* symbol(const char* name, OrbaExpression* value = nullptr) {
    Symbol* made = Symbol::create(runState().stringBuffer->intern(name), 0);
    made->valueExpression = value;
    return made;
  }

 private:
  ScopedManagers managers_{ScopedManagers::kExpressions};
  std::deque<LineInfo> lines_;
};
