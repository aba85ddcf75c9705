// Sections, labels and external symbols for location values and object-file
// conversion, with an object-file expression context that counts its live nodes.
// Symbols are referenced by name as slot references whose index is the symbol's
// object-file id, so a printed tree shows which symbol went out by name.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "objlib/expr_print.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

ExprLibContext* relocNewContext();
void relocFreeContext(ExprLibContext* context);
uint32_t relocLiveNodes(const ExprLibContext* context);
uint64_t relocLiveTotal();
ExprNode* relocSymbolReference(ExprLibContext* context, Symbol* symbol);
void relocRelease(ExprNode* node);

class RelocTest : public testing::Test {
 protected:
  // Declared first, so the managers outlive everything the test makes.
  ScopedManagers managers_{ScopedManagers::kExpressions | ScopedManagers::kOptions};

  void SetUp() override {
    nextSymbolId_ = 1;
    context_ = relocNewContext();
    ASSERT_NE(context_, nullptr);
    setObjectExprContext(context_);
    ObjectExprHooks hooks;
    hooks.symbolReference = relocSymbolReference;
    hooks.contextPosition = [](const ObjectFile*) -> const LineInfo* { return contextLine_; };
    setObjectExprHooks(hooks);
    contextLine_ = line(10);
    setObjectSourcePosition(line(20));

    sectionA_ = section("A");
    sectionB_ = section("B");
    sectionB_->hasAddress = 1;
    sectionB_->setBaseExpression(TEInteger::create(0x1000));
    sectionC_ = section("C");
  }

  void TearDown() override {
    setObjectExprContext(nullptr);
    setObjectExprHooks(ObjectExprHooks());
    setObjectSourcePosition(nullptr);
    relocFreeContext(context_);
  }

  LineInfo* line(uint32_t number) {
    LineInfo& info = lines_.emplace_back();
    info.lineNumber = number;
    return &info;
  }

  Symbol* symbol(const char* name, OrbaExpression* value = nullptr) {
    Symbol* made = Symbol::create(runState().stringBuffer->intern(name), 0);
    made->valueExpression = value;
    made->objectSymbolId = nextSymbolId_++;
    return made;
  }

  // A section whose own symbol stands for its start and goes out by name.
  Section* section(const char* name) {
    Section* made = sections_.emplace_back(std::make_unique<Section>(name)).get();
    Symbol* start = symbol(name);
    start->flags[0] |= Symbol::kDefined;
    start->flags[1] |= Symbol::kCountsAsReference;
    start->flags[2] |= Symbol::kRelocatable;
    start->section = made;
    made->sectionSymbol = start;
    if (!made->baseExpression()) made->setBaseExpression(TESymbol::create(start));
    return made;
  }

  // A label: the section's start plus the offset.
  Symbol* label(const char* name, Section* in, int64_t offset) {
    auto* value =
        new TEBinary(OP_add, TESymbol::create(in->sectionSymbol), TEInteger::create(offset));
    Symbol* made = symbol(name, value);
    made->flags[0] |= Symbol::kDefined;
    made->flags[2] |= Symbol::kRelocatable;
    made->section = in;
    return made;
  }

  // An external symbol: no value, resolved by the linker.
  Symbol* external(const char* name) {
    Symbol* made = symbol(name);
    made->flags[0] |= Symbol::kExternal | Symbol::kGlobal;
    made->flags[2] |= Symbol::kRelocatable;
    return made;
  }

  static OrbaExpression* sym(Symbol* symbol) { return TESymbol::create(symbol); }
  static OrbaExpression* num(int64_t value) { return TEInteger::create(value); }
  static OrbaExpression* bin(OrbaExpression* left, int32_t op, OrbaExpression* right) {
    return new TEBinary(op, left, right);
  }

  // The printed object form (null prints "(null)"); the root is released and the
  // context must then hold no node, so every intermediate reference was dropped.
  std::string convert(OrbaExpression* expression, bool warn = false) {
    ExprNode* root = expression->toObject(nullptr, warn);
    std::string text = expr_to_text(root);
    relocRelease(root);
    EXPECT_EQ(relocLiveNodes(context_), 0u) << "nodes left behind by " << text;
    return text;
  }

  // The diagnostics recorded so far, "text@line" each, in line order.
  std::vector<std::string> diagnostics() const {
    std::vector<std::string> texts;
    for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
      const ErrorLine* record = it.current();
      texts.push_back(std::string(record->text) + "@" +
                      std::to_string(record->position ? record->position->lineNumber : 0));
    }
    return texts;
  }

  ExprLibContext* context_ = nullptr;
  Section* sectionA_ = nullptr;
  Section* sectionB_ = nullptr;
  Section* sectionC_ = nullptr;
  static inline const LineInfo* contextLine_ = nullptr;

 private:
  uint32_t nextSymbolId_ = 1;
  std::deque<LineInfo> lines_;
  std::vector<std::unique_ptr<Section>> sections_;
};
