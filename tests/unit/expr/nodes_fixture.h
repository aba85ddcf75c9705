// The managers that expression nodes reach (error handler, string buffer, line
// state), made for one test and put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <deque>

#include "driver/ErrorHandler.h"
#include "driver/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "preproc/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"

class ExprNodesTest : public testing::Test {
 protected:
  void SetUp() override {
    savedStringBuffer_ = _stringBuffer;
    savedErrorHandler_ = _errorHandler;
    savedLineState_ = _lineState;
    _stringBuffer = new StringBuffer();
    _errorHandler = new ErrorHandler();
    _lineState = new LineState();
    _lineState->addSourceFile("t.asm");
  }

  void TearDown() override {
    delete _lineState;
    delete _errorHandler;
    delete _stringBuffer;
    _stringBuffer = savedStringBuffer_;
    _errorHandler = savedErrorHandler_;
    _lineState = savedLineState_;
  }

  LineInfo* line(uint32_t number, uint32_t file = 0) {
    LineInfo& info = lines_.emplace_back();
    info.lineNumber = number;
    info.sourceFile = file;
    return &info;
  }

  // A symbol outside any table; value and flags as the test needs them.
  Symbol* symbol(const char* name, OrbaExpression* value = nullptr) {
    Symbol* made = Symbol::create(_stringBuffer->intern(name), 0);
    made->valueExpression = value;
    return made;
  }

 private:
  StringBuffer* savedStringBuffer_ = nullptr;
  ErrorHandler* savedErrorHandler_ = nullptr;
  LineState* savedLineState_ = nullptr;
  std::deque<LineInfo> lines_;
};
