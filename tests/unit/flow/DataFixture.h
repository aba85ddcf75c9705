// Data nodes written into a section the way the object writer does it: the nodes are
// laid out from offset 0, the section gets an image of that size, and every node is
// emitted through a writer that records what reaches the object store. Values are
// parsed from text with the expression parser, as the statement parser will.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "flow/FConstant.h"
#include "flow/FlowWalker.h"
#include "flow/FlowNode.h"
#include "objlib/expr_print.h"
#include "util/ControlState.h"

// The object library's side, from tests/unit/expr/reloc_objlib.cpp.
ExprLibContext* relocNewContext();
void relocFreeContext(ExprLibContext* context);
uint32_t relocLiveNodes(const ExprLibContext* context);
ExprNode* relocSymbolReference(ExprLibContext* context, Symbol* symbol);
void relocRelease(ExprNode* node);

// Records the image expressions, relocations and debug variables as text; every
// expression handed over is printed at once and the caller's references are really
// dropped, so a test can demand that no node is left behind.
class DataStore : public RecordingStore {
 public:
  uint32_t imageAddExpression(uint32_t, uint32_t, uint32_t offset, uint32_t units,
                              ExprNode* expression, uint32_t* error) override {
    records.push_back(describe("expression", offset, units, expression, 0));
    return failure(error);
  }
  uint32_t imageAddRelocation(uint32_t, uint32_t, uint32_t offset, uint32_t units,
                              ExprNode* expression, uint32_t type, uint32_t* error) override {
    records.push_back(describe("relocation", offset, units, expression, type));
    return failure(error);
  }
  uint32_t stringAdd(uint32_t, const char* text, uint32_t* stringId, uint32_t* error) override {
    records.push_back(std::string("string ") + text);
    *stringId = 21;
    return failure(error);
  }
  uint32_t moduleAddVariable(const uint32_t*, uint32_t* variableId, uint32_t* error) override {
    records.push_back("variable");
    *variableId = 31;
    return failure(error);
  }
  uint32_t variableSetName(uint32_t, uint32_t variable, uint32_t name, uint32_t* error) override {
    records.push_back("name " + std::to_string(variable) + " " + std::to_string(name));
    return failure(error);
  }
  uint32_t variableSetValue(uint32_t, uint32_t, uint32_t value, uint32_t* error) override {
    records.push_back("value " + std::to_string(value));
    return failure(error);
  }
  uint32_t variableSetKind16(uint32_t, uint32_t, uint32_t kind, uint32_t* error) override {
    records.push_back("kind " + std::to_string(kind));
    return failure(error);
  }
  uint32_t variableSetExpression(uint32_t, uint32_t, ExprNode* address, uint32_t* error) override {
    records.push_back("address " + expr_to_text(address));
    return failure(error);
  }
  uint32_t variableSetValueExpression(uint32_t, uint32_t, ExprNode* value, uint32_t* error) override {
    records.push_back("binding " + expr_to_text(value));
    return failure(error);
  }
  void releaseExpression(ExprNode* expression) override { relocRelease(expression); }

  std::vector<std::string> records;

 private:
  static std::string describe(const char* what, uint32_t offset, uint32_t units, ExprNode* value,
                              uint32_t type) {
    std::string text = std::string(what) + " @" + std::to_string(offset) + "+" +
                       std::to_string(units) + " " + expr_to_text(value);
    if (type) text += " type " + std::to_string(type);
    return text;
  }
  uint32_t failure(uint32_t* error) const {
    if (failWith < 0) return 0;
    if (error) *error = static_cast<uint32_t>(failWith);
    return 1;
  }
};

class DataWriter : public ObjectWriter {
 public:
  ObjectStore& store() override { return store_; }
  void emitObjectSymbol(Symbol* symbol, int) override { objectSymbols.push_back(symbol); }
  Symbol* findRelocationBaseSymbol(OrbaExpression*, int) override { return baseSymbol; }
  ExprNode* objectExpression(OrbaExpression* value, LineInfo*) override {
    return value->toObject(nullptr, false);
  }

  DataStore store_;
  std::vector<Symbol*> objectSymbols;
  Symbol* baseSymbol = nullptr;  // what findRelocationBaseSymbol answers
};

class DataNodeTest : public FlowTest {
 protected:
  void SetUp() override {
    context_ = relocNewContext();
    ASSERT_NE(context_, nullptr);
    setObjectExprContext(context_);
    ObjectExprHooks hooks;
    hooks.symbolReference = relocSymbolReference;
    setObjectExprHooks(hooks);
  }

  void TearDown() override {
    EXPECT_EQ(relocLiveNodes(context_), 0u) << "object-store expressions left behind";
    setObjectExprContext(nullptr);
    setObjectExprHooks(ObjectExprHooks());
    relocFreeContext(context_);
  }

  // A data section, with a data image when it is written unless cleared is set.
  Section* dataSection(bool cleared = false) {
    Section* made = section(cleared ? ".bss" : ".data");
    made->type = Section::kData;
    made->objectHandle[0] = 1;
    made->objectHandle[1] = 3;
    cleared_ = cleared;
    return made;
  }

  // A source line in the section, listed.
  LineInfo* at(uint32_t number, Section* in) {
    LineInfo* made = line(number, in);
    made->controlState = &control_;
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

  // Parses each operand at the line and gives it to the node the way the statement
  // parser does (string rules of .ASCII and .ASCIIZ included).
  void addOperands(FDataNode* node, const std::vector<const char*>& operands, LineInfo* position) {
    for (const char* operand : operands) {
      OrbaExpression* value = parse(operand, position);
      if (auto* constantNode = dynamic_cast<FConstant*>(node))
        constantNode->addOperand(value);
      else
        node->addValue(value);
    }
  }

  // An external symbol, referenced by name in the object file as slot id.
  Symbol* external(const char* name, uint32_t id) {
    Symbol* made = symbol(name);
    made->flags[0] |= Symbol::kExternal | Symbol::kGlobal;
    made->flags[2] |= Symbol::kRelocatable;
    made->objectSymbolId = id;
    return made;
  }

  // Lays the section's flow out from offset 0, then writes every node as the
  // object writer does; the image starts filled with the fill byte.
  void layOutAndWrite(Section* in, uint32_t fill = 0) {
    uint32_t offset = 0;
    for (FlowNode* node = in->firstNode(); node; node = node->nextNode()) {
      int32_t size = node->computeSize(in, offset);
      // As the layout counts: no further than the section's bound.
      if (size > 0) offset = static_cast<uint32_t>(advancedOffset(static_cast<int32_t>(offset), size));
    }
    in->size = offset;
    in->laidOut = 1;
    image_.assign(cleared_ ? 0 : offset, static_cast<uint8_t>(fill));
    in->image = cleared_ ? nullptr : image_.data();
    in->writing = 1;
    in->locationCounter = 0;
    writer_.section = in;
    for (FlowNode* node = in->firstNode(); node; node = node->nextNode()) {
      if (node->line) node->line->setCodeAddress(in->currentLocation());
      node->emit(writer_);
    }
  }

  // The image as hexadecimal bytes, one unit each: "44 33 22 11".
  std::string imageBytes() const {
    std::string text;
    char byte[4];
    for (uint32_t word : image_) {
      std::snprintf(byte, sizeof byte, "%02x", word & 0xFFu);
      if (!text.empty()) text += ' ';
      text += byte;
    }
    return text;
  }

  // The line's listing bytes, then "|" and their markers.
  static std::string listing(const LineInfo* of) {
    std::string values, markers;
    char byte[4];
    uint32_t capacity = (of->extras().codeByteCount + 7u) & ~7u;
    for (uint32_t index = 0; index < of->extras().codeByteCount; ++index) {
      std::snprintf(byte, sizeof byte, "%02x", of->extras().codeBytes[index]);
      values += (index ? " " : "") + std::string(byte);
      std::snprintf(byte, sizeof byte, "%02x", of->extras().codeBytes[capacity + index]);
      markers += (index ? " " : "") + std::string(byte);
    }
    return values + "|" + markers;
  }

  ExprLibContext* context_ = nullptr;
  // Listed lines: the list counter is on, as when a list file is made.
  ControlState control_ = [] {
    ControlState state;
    state.listCounter = 1;
    return state;
  }();
  DataWriter writer_;
  std::vector<uint8_t> image_;
  bool cleared_ = false;

 private:
  std::deque<std::string> texts_;
};
