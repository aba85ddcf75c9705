#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "DirectiveFixture.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "parser/CompilerRecords.h"
#include "parser/OrbaParser.h"
#include "util/ControlState.h"

namespace {

// Compiler-record statements through the statement frame; the once rules start
// afresh for every test.
class CompilerRecordsTest : public DirectiveTest {
 protected:
  CompilerRecordsTest() { compilerRecordState() = CompilerRecordState(); }
  ~CompilerRecordsTest() override { compilerRecordState() = CompilerRecordState(); }

  // Parses the lines (numbered from 1) from a fresh placeholder section on.
  void statements(const std::vector<const char*>& texts) {
    current_ = start_ = makePlaceholder();
    uint32_t number = 0;
    for (const char* text : texts) {
      LineInfo* at = line(++number, current_, text);
      at->controlState = &control_;
      parser_.parseLine(runState().sectionAdmin, &current_, at);
      current_ = at->section;
    }
  }

  // The dumps of the nodes the lines left in the section they started in.
  std::vector<std::string> nodes() const {
    std::vector<std::string> dumps;
    for (FlowNode* node = start_->firstNode(); node; node = node->nextNode()) {
      std::ostringstream out;
      node->dump(out);
      dumps.push_back(out.str());
    }
    return dumps;
  }

  Symbol* find(const char* text) { return runState().symbolTable->current->lookup(runState().stringBuffer->intern(text)); }

 private:
  OrbaParser parser_;
  ControlState control_;
  Section* current_ = nullptr;
  Section* start_ = nullptr;
};

constexpr const char* kStackUsage = "E229: invalid stack usage; expected positive integer expression";

TEST_F(CompilerRecordsTest, RecordStatementsMakeTheirNodesOnceOrAsOftenAsAllowed) {
  struct Case {
    std::vector<const char*> source;
    std::vector<std::string> nodes;
    std::vector<std::string> messages;
    int32_t callRecords;
  } cases[] = {
      // Each kind has its own turn; a later directive of a kind is ignored.
      {{" .COMPILER_NAME \"cc\"", " .COMPILER_NAME \"cc\"", " .COMPILER_VERSION \"v1\"",
        " .COMPILER_INVOCATION \"cc t.c\"", " .COMPILER_INVOCATION \"cc u.c\"", " .COMPILER_VERSION \"v2\""},
       {"FCompilerName(name = cc)\n", "FCompilerVers(version = v1)\n", "FCompilerInvoc(invocation = cc t.c)\n"},
       {"W309: additional .COMPILER_NAME directives will be ignored@2",
        "W309: additional .COMPILER_INVOCATION directives will be ignored@5",
        "W309: additional .COMPILER_VERSION directives will be ignored@6"},
       0},
      {{" .MISRAC \"1.1\"", " .MISRAC \"1.1\""},
       {"FMisraC(rules = 1.1)\n"},
       {"W216: additional .MISRAC directives will be ignored@2"},
       0},
      // Empty settings are refused without using up the turn.
      {{" .MISRAC \"\"", " .MISRAC \"2.1\"", " .MISRAC \"3.1\""},
       {"FMisraC(rules = 2.1)\n"},
       {"E130: invalid or missing argument(s) for .MISRAC@1", "W216: additional .MISRAC directives will be ignored@3"},
       0},
      // The module has one name.
      {{" .NAME \"first\"", " .NAME \"second\""},
       {"FName(moduleName = first)\n"},
       {"W309: additional .NAME directives will be ignored@2"},
       0},
      // The text is the literal's as written, escapes and all.
      {{" .COMPILER_INVOCATION \"cc -D\\\"X\\\" t.c\""}, {"FCompilerInvoc(invocation = cc -D\\\"X\\\" t.c)\n"}, {}, 0},
      {{" .CALLS \"f\",\"g\"", " .CALLS \"f\",\"\""},
       {"FCalls(caller = \"f\", callee = \"g\")\n", "FCalls(caller = \"f\", callee = \"\")\n"},
       {},
       2},
      {{" .CALLS \"f\",\"g\",16,32 ; stack"}, {"FCalls(caller = \"f\", callee = \"g\", 16, 32)\n"}, {}, 1},
      // Two places per call: the rest is read and ignored.
      {{" .CALLS \"f\",\"g\",1,2,3,4"},
       {"FCalls(caller = \"f\", callee = \"g\", 1, 2)\n"},
       {"W225: additional arguments for .CALLS directive ignored@1"},
       1},
      // A value that cannot be a stack usage is 0 from here on; one naming a symbol
      // waits for the object output.
      {{" .CALLS \"f\",\"g\",-1,later", " .CALLS \"f\",\"g\",1.5", " .CALLS \"f\",\"g\",\"ab\""},
       {"FCalls(caller = \"f\", callee = \"g\", 0, later)\n", "FCalls(caller = \"f\", callee = \"g\", 0)\n",
        "FCalls(caller = \"f\", callee = \"g\", 0)\n"},
       {std::string(kStackUsage) + "@1", std::string(kStackUsage) + "@2", std::string(kStackUsage) + "@3"},
       3},
      // A statement that fails makes no node and counts nothing.
      {{" .CALLS \"f\"", " .CALLS \"f\",\"g\",(1", " .CALLS \"f\",\"g\",1,", " .NAME m"},
       {},
       {"E118: expected ,@1", "E134: error in expression: unexpected character in expression@2",
        "E113: syntax error: expected expression@3", "E118: expected <string>@4"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source.front());
    compilerRecordState() = CompilerRecordState();
    clearDiagnostics();
    statements(c.source);
    EXPECT_EQ(nodes(), c.nodes);
    EXPECT_EQ(diagnostics(), c.messages);
    EXPECT_EQ(compilerRecordState().callRecordCount, c.callRecords);
  }
}

TEST_F(CompilerRecordsTest, RecordsBetweenLabelAndDataLeaveTheLabelADataObject) {
  statements({" .SDECL \".data\",DATA", " .SECT \".data\"", "table:", " .CALLS \"f\",\"g\",8",
              " .COMPILER_NAME \"cc\"", " .NAME \"m\"", " .MISRAC \"1.1\"", " .WORD 1"});
  ASSERT_NE(find("table"), nullptr);
  EXPECT_EQ(find("table")->type, Symbol::kObject);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

}  // namespace
