#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "flow/FCalls.h"
#include "flow/FCompilerInfo.h"
#include "flow/FMisraC.h"
#include "flow/FName.h"
#include "util/ControlState.h"

namespace {

// Records, as text, what the record nodes hand to the object store.
class RecordsStore : public RecordingStore {
 public:
  uint32_t stringAdd(uint32_t fileId, const char* text, uint32_t* stringId, uint32_t* error) override {
    *stringId = ++strings_;
    calls.push_back("string " + std::to_string(fileId) + " \"" + text + "\" = " + std::to_string(*stringId));
    return failure(error);
  }
  uint32_t fileSetCompilerName(uint32_t fileId, uint32_t stringId, uint32_t* error) override {
    return property("compiler-name", fileId, stringId, error);
  }
  uint32_t fileSetCompilerVersion(uint32_t fileId, uint32_t stringId, uint32_t* error) override {
    return property("compiler-version", fileId, stringId, error);
  }
  uint32_t fileSetCompilerInvocation(uint32_t fileId, uint32_t stringId, uint32_t* error) override {
    return property("compiler-invocation", fileId, stringId, error);
  }
  uint32_t fileSetMisraC(uint32_t fileId, const char* text, uint32_t* error) override {
    calls.push_back("misrac " + std::to_string(fileId) + " \"" + text + "\"");
    return failure(error);
  }
  uint32_t moduleSetName(const uint32_t module[3], uint32_t stringId, uint32_t* error) override {
    calls.push_back("module-name " + std::to_string(module[2]) + " " + std::to_string(stringId));
    return failure(error);
  }
  uint32_t callGraphRecord(uint32_t fileId, uint32_t callerId, uint32_t calleeId, uint32_t index, uint32_t value,
                           uint32_t count, uint32_t* error) override {
    calls.push_back("calls " + std::to_string(fileId) + " " + std::to_string(callerId) + "->" +
                    std::to_string(calleeId) + " [" + std::to_string(index) + "]=" + std::to_string(value) + " x" +
                    std::to_string(count));
    return failure(error);
  }

  std::vector<std::string> calls;

 private:
  uint32_t property(const char* name, uint32_t fileId, uint32_t stringId, uint32_t* error) {
    calls.push_back(std::string(name) + " " + std::to_string(fileId) + " " + std::to_string(stringId));
    return failure(error);
  }
  uint32_t failure(uint32_t* error) const {
    if (failWith < 0) return 0;
    if (error) *error = static_cast<uint32_t>(failWith);
    return 1;
  }
  uint32_t strings_ = 0;
};

// The recording writer (object symbols numbered from 1 in the order asked for) over
// the records store, writing file 5.
class RecordsWriter : public RecordingWriter {
 public:
  RecordsWriter() { fileId = 5; }
  ObjectStore& store() override { return records; }
  RecordsStore records;
};

class CompilerRecordNodesTest : public FlowTest {
 protected:
  // One node of each record kind, all at the line.
  std::vector<FlowNode*> oneOfEachKind(LineInfo* position) {
    return {new FCompilerName(position, text("cc")), new FCompilerVers(position, text("v1")),
            new FCompilerInvoc(position, text("cc t.c")), new FMisraC(position, text("1.1")),
            new FName(position, text("m")), calls(position, "f", "g", {"8", "4"})};
  }

  LineInfo* at(uint32_t number) {
    LineInfo* made = line(number);
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

  const char* text(const char* value) { return runState().stringBuffer->intern(value); }

  FCalls* calls(LineInfo* position, const char* caller, const char* callee, const std::vector<const char*>& values) {
    auto* node = new FCalls(position, text(caller), text(callee));
    for (const char* value : values) node->values.push_back(parse(value, position));
    return node;
  }

  static void forgetDiagnostics() {
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }

  static std::string dumped(const FlowNode& node) {
    std::ostringstream out;
    node.dump(out);
    return out.str();
  }

 private:
  ControlState control_;
  std::deque<std::string> texts_;
};

TEST_F(CompilerRecordNodesTest, EveryRecordKindDumpsItsFields) {
  struct Case {
    FlowNode* node;
    const char* dump;
  } cases[] = {
      {new FCompilerName(at(1), text("cc 4.1")), "FCompilerName(name = cc 4.1)\n"},
      {new FCompilerVers(at(1), text("v4.1r2")), "FCompilerVers(version = v4.1r2)\n"},
      {new FCompilerInvoc(at(1), text("cc -O2 t.c")), "FCompilerInvoc(invocation = cc -O2 t.c)\n"},
      {new FMisraC(at(1), text("1.1,2.3")), "FMisraC(rules = 1.1,2.3)\n"},
      {new FName(at(1), text("engine")), "FName(moduleName = engine)\n"},
      {calls(at(1), "main", "init", {}), "FCalls(caller = \"main\", callee = \"init\")\n"},
      {calls(at(1), "main", "", {"16", "32"}), "FCalls(caller = \"main\", callee = \"\", 16, 32)\n"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<FlowNode> owned(c.node);
    EXPECT_EQ(dumped(*c.node), c.dump);
  }
}

TEST_F(CompilerRecordNodesTest, CloneCopiesTheLineTheBaseFieldsAndTheTexts) {
  for (FlowNode* made : oneOfEachKind(at(3))) {
    std::unique_ptr<FlowNode> original(made);
    original->cycles = 9;
    original->layoutSize = 4;
    std::unique_ptr<FlowNode> copy(original->clone());
    ASSERT_NE(copy, nullptr);
    SCOPED_TRACE(dumped(*original));
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(copy->line, original->line);
    EXPECT_EQ(copy->kind, original->kind);
    EXPECT_EQ(copy->cycles, 9);
    EXPECT_EQ(copy->layoutSize, 4u);
    EXPECT_EQ(dumped(*copy), dumped(*original));
    // The copy's lists are its own: emptying the original leaves it whole.
    std::string before = dumped(*copy);
    original->releaseData();
    EXPECT_EQ(dumped(*copy), before);
  }
}

TEST_F(CompilerRecordNodesTest, AssignTakesTheOtherNodesFieldsButKeepsTheLine) {
  LineInfo* mine = at(1);
  LineInfo* theirs = at(2);

  FCompilerVers version(mine, text("v1"));
  FCompilerVers otherVersion(theirs, text("v2"));
  version.assign(otherVersion);
  EXPECT_EQ(dumped(version), "FCompilerVers(version = v2)\n");
  EXPECT_EQ(version.line, mine);

  FMisraC misra(mine, text("1.1"));
  misra.assign(FMisraC(theirs, text("2.2")));
  EXPECT_EQ(dumped(misra), "FMisraC(rules = 2.2)\n");
  EXPECT_EQ(misra.line, mine);

  FName name(mine, text("a"));
  name.assign(FName(theirs, text("b")));
  EXPECT_EQ(dumped(name), "FName(moduleName = b)\n");

  std::unique_ptr<FCalls> target(calls(mine, "f", "g", {"1", "2"}));
  std::unique_ptr<FCalls> source(calls(theirs, "h", "", {"3"}));
  target->assign(*source);
  EXPECT_EQ(dumped(*target), "FCalls(caller = \"h\", callee = \"\", 3)\n");
  EXPECT_EQ(target->line, mine);
  target->assign(*target);
  EXPECT_EQ(dumped(*target), "FCalls(caller = \"h\", callee = \"\", 3)\n");
}

// Records take no place: before any section directive they stay with the placeholder
// section instead of opening the default section.
TEST_F(CompilerRecordNodesTest, RecordsTakeNoPlaceAndOpenNoSection) {
  Section* placeholder = section("__placeholder", 0);
  runState().placeholderSection = placeholder;
  LineInfo* position = at(1);
  position->section = placeholder;
  uint32_t expected = 0;
  for (FlowNode* node : oneOfEachKind(position)) {
    EXPECT_FALSE(node->hasAddress());
    EXPECT_EQ(node->computeSize(placeholder, 0), 0);
    placeholder->addNode(node, true);
    EXPECT_EQ(position->section, placeholder);
    EXPECT_EQ(placeholder->flow().count(), ++expected);
  }
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

TEST_F(CompilerRecordNodesTest, CompilerRecordsSetTheFilePropertyToTheirString) {
  struct Case {
    std::function<FlowNode*(LineInfo*)> make;
    std::vector<std::string> calls;
  } cases[] = {
      {[this](LineInfo* l) { return new FCompilerName(l, text("cc")); },
       {"string 5 \"cc\" = 1", "compiler-name 5 1"}},
      {[this](LineInfo* l) { return new FCompilerVers(l, text("v4.1")); },
       {"string 5 \"v4.1\" = 1", "compiler-version 5 1"}},
      {[this](LineInfo* l) { return new FCompilerInvoc(l, text("cc -O2 t.c")); },
       {"string 5 \"cc -O2 t.c\" = 1", "compiler-invocation 5 1"}},
      {[this](LineInfo* l) { return new FMisraC(l, text("1.1,2.3")); }, {"misrac 5 \"1.1,2.3\""}},
  };
  for (const Case& c : cases) {
    RecordsWriter writer;
    LineInfo* position = at(4);
    position->setCodeAddress(77);
    std::unique_ptr<FlowNode> node(c.make(position));
    node->emit(writer);
    EXPECT_EQ(writer.records.calls, c.calls);
    // The record is not in the image: the line keeps its location.
    EXPECT_EQ(position->codeAddress(), 77);
  }
}

TEST_F(CompilerRecordNodesTest, ModuleNameIsGivenOnlyWhenTheWriterHasAModule) {
  struct Case {
    uint32_t module;
    std::vector<std::string> calls;
  } cases[] = {
      {0, {}},
      {3, {"string 5 \"engine\" = 1", "module-name 3 1"}},
  };
  for (const Case& c : cases) {
    RecordsWriter writer;
    writer.module[2] = c.module;
    FName node(at(1), text("engine"));
    node.emit(writer);
    EXPECT_EQ(writer.records.calls, c.calls);
  }
}

TEST_F(CompilerRecordNodesTest, CallsRecordTheValuesOnTheCallOrAsTheCallersOwn) {
  // Symbols of the module: f and g are functions, size an equate of 24, late an
  // equate whose value is still missing.
  symbol("f");
  symbol("g");
  symbol("size")->valueExpression = TEInteger::create(24);
  symbol("late");
  struct Case {
    const char* caller;
    const char* callee;
    std::vector<const char*> values;
    std::vector<std::string> calls;
    std::vector<std::string> messages;
  } cases[] = {
      // Unknown caller: nothing, quietly.
      {"nobody", "g", {"8"}, {}, {}},
      {"", "g", {"8"}, {}, {}},
      // No values: the call alone, counted once.
      {"f", "g", {}, {"calls 5 1->2 [0]=0 x1"}, {}},
      {"f", "g", {"16", "2*16"}, {"calls 5 1->2 [0]=16 x1", "calls 5 1->2 [1]=32 x1"}, {}},
      // No callee, or one that is not a symbol: the caller's own values.
      {"f", "", {"8", "0"}, {"calls 5 1->0 [0]=8 x1", "calls 5 1->0 [1]=0 x1"}, {}},
      {"f", "nobody", {"8"}, {"calls 5 1->0 [0]=8 x1"}, {}},
      // Symbol values are judged here.
      {"f", "g", {"size", "size+8"}, {"calls 5 1->2 [0]=24 x1", "calls 5 1->2 [1]=32 x1"}, {}},
      {"f", "g", {"late"}, {"calls 5 1->2 [0]=0 x1"}, {"E229: invalid stack usage; expected positive integer expression@6"}},
      // What cannot be a stack usage goes out as 0.
      {"f", "g", {"-4", "8"}, {"calls 5 1->2 [0]=0 x1", "calls 5 1->2 [1]=8 x1"},
       {"E229: invalid stack usage; expected positive integer expression@6"}},
      {"f", "g", {"1.5"}, {"calls 5 1->2 [0]=0 x1"}, {"E229: invalid stack usage; expected positive integer expression@6"}},
      {"f", "g", {"\"ab\""}, {"calls 5 1->2 [0]=0 x1"}, {"E229: invalid stack usage; expected positive integer expression@6"}},
      {"f", "g", {"0x100000000"}, {"calls 5 1->2 [0]=0 x1"},
       {"E229: invalid stack usage; expected positive integer expression@6"}},
      {"f", "g", {"0xFFFFFFFF"}, {"calls 5 1->2 [0]=4294967295 x1"}, {}},
      // The graph has two places; a third value is not written past them.
      {"f", "g", {"1", "2", "3"}, {"calls 5 1->2 [0]=1 x1", "calls 5 1->2 [1]=2 x1"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caller) + "->" + c.callee + " with " + std::to_string(c.values.size()));
    forgetDiagnostics();
    RecordsWriter writer;
    std::unique_ptr<FCalls> node(calls(at(6), c.caller, c.callee, c.values));
    node->emit(writer);
    EXPECT_EQ(writer.records.calls, c.calls);
    EXPECT_EQ(diagnostics(), c.messages);
    // Caller and callee get their object-file symbols, as function references.
    for (int flag : writer.flags) EXPECT_EQ(flag, 1);
  }
}

TEST_F(CompilerRecordNodesTest, StoreFailureOfARecordIsFatalF008) {
  symbol("f");
  for (FlowNode* made : oneOfEachKind(at(1))) {
    std::unique_ptr<FlowNode> node(made);
    SCOPED_TRACE(dumped(*node));
    EXPECT_EXIT(
        {
          RecordsWriter writer;
          writer.module[2] = 1;
          writer.records.failWith = ObjectStore::kValueExists;
          node->emit(writer);
        },
        testing::ExitedWithCode(2), "F008: object store error: other status");
  }
}

}  // namespace
