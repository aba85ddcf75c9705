#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataFixture.h"
#include "flow/FFloatData.h"
#include "flow/FStorage.h"
#include "flow/FSymbolDefinition.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "util/RunSettings.h"

namespace {

using StorageTest = DataNodeTest;

TEST_F(StorageTest, SpaceReservesZeroUnitsOrReportsItsSize) {
  struct Case {
    const char* size;
    bool cleared;
    int32_t location;
    std::vector<std::string> zeros;  // "offset+count" of each zero range
    std::vector<std::string> messages;
    uint32_t laidOut = 0;  // the section's size after layout where it is not the location
  } cases[] = {
      {"4", false, 4, {"0+4"}, {}},
      {"2*3", false, 6, {"0+6"}, {}},
      {"4", true, 4, {}, {}},
      {"0", false, 0, {}, {"W242: no storage allocated for \".SPACE\"@7"}},
      {"-1", false, 0, {}, {"E102: absolute integer expression expected for .SPACE@7"}},
      {"-1", true, 0, {}, {"E102: absolute integer expression expected for .SPACE@7"}},
      // Sizes beyond 31 bits are more than any section holds, not negative: the layout
      // gives the node the most one node takes, which passes the section's bound, and
      // the node names the size asked for.
      {"0x80000000",
       true,
       0,
       {},
       {"E110: section \".bss\" too large: 0x80000000 bytes, at most 0x0FFFFFFF@7"},
       0x10000000},
      {"0x100000004",
       true,
       0,
       {},
       {"E110: section \".bss\" too large: 0x100000004 bytes, at most 0x0FFFFFFF@7"},
       0x10000000},
      {"0x7fffffff", true, 0x7fffffff, {}, {}, 0x10000000},
      {"ext", false, 0, {}, {"W242: no storage allocated for \".SPACE\"@7"}},
      {"\"AB\"", false, 0, {}, {"W242: no storage allocated for \".SPACE\"@7"}},
  };
  external("ext", 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    writer_.store_.zeros.clear();
    Section* in = dataSection(c.cleared);
    LineInfo* statement = at(7, in);
    in->addNode(new FStorage(statement, parse(c.size, statement), in), true);
    layOutAndWrite(in);
    EXPECT_EQ(in->size, c.laidOut != 0 ? c.laidOut : static_cast<uint32_t>(c.location));
    EXPECT_EQ(in->locationCounter, c.location);
    EXPECT_EQ(statement->extra(0), static_cast<uint16_t>(c.location));
    std::vector<std::string> zeros;
    for (const RecordingStore::ZeroRange& range : writer_.store_.zeros) {
      EXPECT_EQ(range.fileId, 1u);
      EXPECT_EQ(range.sectionId, 3u);
      zeros.push_back(std::to_string(range.offset) + "+" + std::to_string(range.count));
    }
    EXPECT_EQ(zeros, c.zeros);
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

// The space must fit from where it starts: the same size fits at one offset and
// not at another. One node reserves at most 2^31 - 1 units. The layout counts no
// further than the section's bound, so the section's size does not wrap.
TEST_F(StorageTest, SpaceThatRunsPastTheAddressSpaceGetsNoRoom) {
  Section* bss = dataSection(true);
  const char* sizes[] = {"0x7FFFFFFF", "0x7FFFFFFF", "0x10", "1"};
  uint32_t number = 1;
  for (const char* size : sizes) {
    LineInfo* statement = at(number++, bss);
    bss->addNode(new FStorage(statement, parse(size, statement), bss), true);
  }
  layOutAndWrite(bss);
  EXPECT_EQ(bss->size, 0x10000000u);
  EXPECT_EQ(static_cast<uint32_t>(bss->locationCounter), 0xFFFFFFFFu);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{
                               "E110: section \".bss\" too large: 0x10000000E bytes, at most 0x0FFFFFFF@3"});
}

TEST_F(StorageTest, ZeroRangesStartWhereTheNodeStands) {
  Section* data = dataSection();
  LineInfo* first = at(1, data);
  LineInfo* second = at(2, data);
  data->addNode(new FStorage(first, parse("3", first), data), true);
  data->addNode(new FStorage(second, parse("5", second), data), true);
  layOutAndWrite(data);
  ASSERT_EQ(writer_.store_.zeros.size(), 2u);
  EXPECT_EQ(writer_.store_.zeros[1].offset, 3u);
  EXPECT_EQ(writer_.store_.zeros[1].count, 5u);
  EXPECT_EQ(data->locationCounter, 8);
}

class SymbolNodeTest : public DataNodeTest {
 protected:
  void SetUp() override {
    DataNodeTest::SetUp();
    saved_ = orbaOptions()->asmDebugInfo;
  }
  void TearDown() override {
    orbaOptions()->asmDebugInfo = saved_;
    DataNodeTest::TearDown();
  }
  static void debugInfo(bool on) { orbaOptions()->asmDebugInfo = on; }

 private:
  bool saved_ = false;
};

TEST_F(SymbolNodeTest, EquateGivesItsSymbolAndADebugRecord) {
  struct Case {
    const char* name;
    bool debug;
    int16_t variant;         // the line's rewrite key
    bool fromExpansion;
    bool placed;             // in a real section, not the placeholder
    int32_t location;
    uint8_t bindingFlag0, bindingFlag1;
    const char* value;
    std::vector<std::string> records;
  } cases[] = {
      {"equate", true, -1, false, true, 0, Symbol::kEquate, 0, "42",
       {"string sym", "variable", "name 31 21", "value 133", "kind 16", "address (slot 9)",
        "binding (list (int 0) (int 1) (int 42))"}},
      {"set at offset 4", true, -1, false, true, 4, 0, Symbol::kSet, "-3",
       {"string sym", "variable", "name 31 21", "value 133", "kind 16",
        "address (add (slot 9) (int 4))", "binding (list (int 0) (int 2) (int -3))"}},
      {"value not constant", true, -1, false, true, 0, Symbol::kEquate, 0, "ext+1",
       {"string sym", "variable", "name 31 21", "value 133", "kind 16", "address (slot 9)",
        "binding (list (int 0) (int 1) (int 0))"}},
      {"before any section", true, -1, false, false, 0, 0, 0, "1",
       {"string sym", "variable", "name 31 21", "kind 16", "binding (list (int 0) (int 0) (int 1))"}},
      {"debugging off", false, -1, false, true, 0, Symbol::kEquate, 0, "1", {}},
      {"generated line", true, 0, false, true, 0, Symbol::kEquate, 0, "1", {}},
      {"expanded line", true, -1, true, true, 0, Symbol::kEquate, 0, "1", {}},
  };
  external("ext", 5);
  Section* placeholder = dataSection();
  runState().placeholderSection = placeholder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    debugInfo(c.debug);
    writer_.store_.records.clear();
    writer_.objectSymbols.clear();
    Section* in = c.placed ? dataSection() : placeholder;
    in->objectNumber = 0x25;
    in->sectionSymbol->objectSymbolId = 9;
    in->locationCounter = c.location;
    in->writing = 1;
    writer_.section = in;
    writer_.module[2] = 1;
    LineInfo* statement = at(4, in);
    statement->setVariant(c.variant);
    if (c.fromExpansion) statement->flags[0] |= 0x10;
    Symbol* defined = symbol("sym");
    defined->flags[0] |= c.bindingFlag0;
    defined->flags[1] |= c.bindingFlag1;
    defined->valueExpression = parse(c.value, statement);
    FEquSet node(statement, defined, defined->valueExpression);
    node.cycles = 3;
    node.emit(writer_);
    EXPECT_EQ(writer_.objectSymbols, std::vector<Symbol*>{defined});
    EXPECT_EQ(writer_.store_.records, c.records);
    EXPECT_EQ(statement->extra(1), 3u);
    EXPECT_EQ(in->locationCounter, c.location);
  }
  EXPECT_TRUE(diagnostics().empty());
  runState().placeholderSection = nullptr;
}

// The end of an equate chain: counts how often the debug records evaluate it.
class CountedValue : public OrbaExpression {
 public:
  explicit CountedValue(int64_t value) : value_(value) {}
  bool isValue() const override { return true; }
  void print(std::ostream& out, unsigned) const override { out << value_; }
  OrbaExpression* evaluate() override {
    ++evaluated;
    return TEInteger::create(value_);
  }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return new CountedValue(value_); }

  int64_t value_;
  uint32_t evaluated = 0;
};

TEST_F(SymbolNodeTest, DebugRecordsOfAnEquateChainEvaluateItOnce) {
  // Each equate names the one before it (and, for the second run, the one after it);
  // every debug record carries its equate's value, and the chain is evaluated once
  // for all of them, not once per record: the end value twice, by its own record and
  // through the chain.
  constexpr int kLinks = 2000;
  for (bool forward : {false, true}) {
    SCOPED_TRACE(forward);
    debugInfo(true);
    Section* in = dataSection();
    in->objectNumber = 0x25;
    in->sectionSymbol->objectSymbolId = 9;
    in->writing = 1;
    writer_.section = in;
    writer_.module[2] = 1;
    LineInfo* statement = at(4, in);
    statement->setVariant(-1);
    std::vector<Symbol*> symbols;
    for (int index = 0; index <= kLinks; ++index) {
      symbols.push_back(symbol("sym"));
      symbols.back()->flags[0] |= Symbol::kEquate;
    }
    auto* end = new CountedValue(10);
    for (int index = 0; index <= kLinks; ++index) {
      int base = forward ? index + 1 : index - 1;
      symbols[index]->valueExpression =
          base < 0 || base > kLinks ? end : TEBinary::create(TESymbol::create(symbols[base]), OP_add, 1);
    }
    writer_.store_.records.clear();
    for (Symbol* defined : symbols) {
      FEquSet node(statement, defined, defined->valueExpression);
      node.emit(writer_);
    }
    EXPECT_EQ(end->evaluated, 2u);
    const std::string top = "binding (list (int 0) (int 1) (int 2010))";
    const std::string bottom = "binding (list (int 0) (int 1) (int 10))";
    const std::string& first = forward ? top : bottom;
    const std::string& last = forward ? bottom : top;
    std::vector<std::string> bindings;
    for (const std::string& record : writer_.store_.records)
      if (record.rfind("binding", 0) == 0) bindings.push_back(record);
    ASSERT_EQ(bindings.size(), static_cast<size_t>(kLinks + 1));
    EXPECT_EQ(bindings.front(), first);
    EXPECT_EQ(bindings.back(), last);
  }
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(SymbolNodeTest, SymbolNodesTakeNoPlace) {
  Section* placeholder = dataSection();
  runState().placeholderSection = placeholder;
  LineInfo* statement = at(2, placeholder);
  Symbol* defined = symbol("sym");
  std::unique_ptr<FlowNode> nodes[] = {
      std::make_unique<FEquSet>(statement, defined, parse("1", statement)),
      std::make_unique<FExtern>(statement, defined),
  };
  for (auto& node : nodes) {
    EXPECT_FALSE(node->hasAddress());
    EXPECT_EQ(node->computeSize(placeholder, 0), 0);
    // Before any section directive the node stays where it is, without W179.
    FlowNode* added = node.release();
    placeholder->addNode(added, true);
    EXPECT_EQ(placeholder->lastNode(), added);
  }
  EXPECT_EQ(placeholder->nodeCount(), 2u);
  EXPECT_TRUE(diagnostics().empty());

  writer_.section = placeholder;
  statement->setCodeAddress(-1);
  placeholder->lastNode()->emit(writer_);
  EXPECT_EQ(writer_.objectSymbols, std::vector<Symbol*>{defined});
  EXPECT_EQ(statement->codeAddress(), -1);  // .EXTERN sets no location
  EXPECT_TRUE(writer_.store_.records.empty());
  runState().placeholderSection = nullptr;
}

TEST_F(SymbolNodeTest, EveryKindDumpsItsFixedText) {
  LineInfo* statement = at(2, nullptr);
  external("ext", 5);
  Symbol* defined = symbol("sym");
  struct Case {
    std::unique_ptr<FlowNode> node;
    const char* text;
  };
  Case cases[] = {
      {std::unique_ptr<FlowNode>(FFloat::create(FFloat::kDouble, statement)), "FFloat()\n"},
      {std::unique_ptr<FlowNode>(FFract::create(FFract::kAccum, statement)), "FFract()\n"},
      {std::make_unique<FEquSet>(statement, defined, nullptr), "FEquSet()\n"},
      {std::make_unique<FExtern>(statement, defined), "FExtern()\n"},
      {std::make_unique<FStorage>(statement, parse("ext+4", statement), nullptr),
       "FStorage(size = (ext + 4))\n"},
  };
  for (Case& c : cases) {
    std::ostringstream out;
    c.node->dump(out);
    EXPECT_EQ(out.str(), c.text);
    // A clone is a node of the same kind with the same line and fields.
    std::unique_ptr<FlowNode> copy(c.node->clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->kind, c.node->kind);
    EXPECT_EQ(copy->line, statement);
    std::ostringstream copied;
    copy->dump(copied);
    EXPECT_EQ(copied.str(), c.text);
  }
}

}  // namespace
