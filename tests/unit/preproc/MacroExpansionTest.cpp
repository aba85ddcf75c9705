#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/LineInfo.h"
#include "util/RunSettings.h"

namespace {

// The preprocessor flags of a line as letters: A assemble, C expansion call, E block
// end, B block, X from expansion, / split; < and > the file markers.
std::string tags(const LineInfo* line) {
  std::string text;
  auto add = [&](bool on, char letter) {
    if (on) text.push_back(letter);
  };
  add(line->flags[3] & lineflag::kStartOfFile, '<');
  add(line->flags[3] & lineflag::kEndOfFile, '>');
  add(line->flags[0] & lineflag::kAssemble, 'A');
  add(line->flags[0] & lineflag::kMacroCall, 'C');
  add(line->flags[0] & lineflag::kBodyEnd, 'E');
  add(line->flags[0] & lineflag::kMacroDefinition, 'B');
  add(line->flags[0] & lineflag::kMacroExpansion, 'X');
  add(line->flags[3] & lineflag::kSplit, '/');
  return text;
}

// A text without its last newline; "~" for none.
std::string shown(const char* text) {
  if (!text) return "~";
  std::string result(text);
  if (!result.empty() && result.back() == '\n') result.pop_back();
  return result;
}

class MacroExpansionTest : public PreprocTest {
 protected:
  struct Macro {
    std::string body;
    uint32_t lineCount;
    std::set<std::string> localNames;
  };

  // Reads t.asm with the line loop alone, so that the macros are still defined
  // afterwards; the preprocessor lives until the next run.
  void run(const std::string& source, bool caseSensitive = true) {
    orbaOptions()->caseSensitive = caseSensitive;
    std::string path = writeFile("t.asm", source);
    preprocessor_ = std::make_unique<MacroPreprocessor>();
    InputBuffer input(&orbaOptions()->includeDirectories);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    preprocessor_->readLines(input);
  }

  // "<number> <tags>|<text>" for every line after the start-of-file marker.
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (LineInfo* line = lineState()->first(); line; line = line->next) {
      if (line == lineState()->first()) continue;
      result.push_back(std::to_string(line->lineNumberSigned()) + " " + tags(line) + "|" +
                       shown(line->text));
    }
    return result;
  }

  Macro macro(const char* name) const {
    MppMacro* found = preprocessor_->findMacro(stringBuffer()->intern(name));
    EXPECT_NE(found, nullptr) << name;
    if (!found) return {};
    Macro result{found->body, found->lineCount, {}};
    for (const char* local : found->localNames) result.localNames.insert(local);
    return result;
  }

  // Strings, diagnostics and lines of one case; the case's preprocessor goes first.
  class Fresh {
   public:
    explicit Fresh(MacroExpansionTest* test)
        : test_(test),
          managers_(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines) {
      delete runState().lineState;
      runState().lineState = new LineState();
    }
    ~Fresh() { test_->preprocessor_.reset(); }

   private:
    MacroExpansionTest* test_;
    ScopedManagers managers_;
  };

  std::unique_ptr<MacroPreprocessor> preprocessor_;
};

TEST_F(MacroExpansionTest, BodiesAreCollectedWithTheirLabelsAndLineCounts) {
  struct Case {
    const char* what;
    std::string source;
    Macro expected;
    bool caseSensitive = true;
  };
  const Case cases[] = {
      {"labels in the first column or with a colon are local",
       "m .MACRO\nlab: nop\n  x: nop\n  y nop\nz\n .ENDM\n",
       {"lab: nop\n  x: nop\n  y nop\nz\n .ENDM\n", 5, {"lab", "x", "z"}}},
      {"an empty body is its .ENDM", "m .MACRO a\n .ENDM\n", {" .ENDM\n", 1, {}}},
      {"a nested block ends only at the second .ENDM",
       "m .MACRO\n .DUP 2\n nop\n .ENDM\n .ENDM\n nop\n",
       {" .DUP 2\n nop\n .ENDM\n .ENDM\n", 4, {}}},
      {"a nested macro's name is a label of the body",
       "m .MACRO\ninner .MACRO\n .ENDM\n .ENDM\n",
       {"inner .MACRO\n .ENDM\n .ENDM\n", 3, {"inner"}}},
      {"a local name is kept once, under the case rule",
       "m .MACRO\nL:\nl:\n .ENDM\n", {"L:\nl:\n .ENDM\n", 3, {"L"}}, false},
      {"the same names stay apart when case counts",
       "m .MACRO\nL:\nl:\n .ENDM\n", {"L:\nl:\n .ENDM\n", 3, {"L", "l"}}},
      {"the end of the input closes the body, which stays defined",
       "m .MACRO\n nop\n", {" nop\n\t.ENDM\n", 2, {}}},
      {"a body line split into statements keeps each as a body line",
       " .COMMENT_PREFIX \"//\"\nm .MACRO\n a; b // c\n .ENDM\n",
       {" a\n b \n .ENDM\n", 2, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh fresh(this);
    run(c.source, c.caseSensitive);
    Macro found = macro("m");
    EXPECT_EQ(found.body, c.expected.body);
    EXPECT_EQ(found.lineCount, c.expected.lineCount);
    EXPECT_EQ(found.localNames, c.expected.localNames);
    EXPECT_EQ(preprocessor_->pendingConstruct, nullptr);
    EXPECT_EQ(preprocessor_->definitionDepth, 0);
  }
}

TEST_F(MacroExpansionTest, BodyAndExpansionLinesAreRecordedWithTheirFlagsAndNumbers) {
  struct Case {
    const char* what;
    std::string source;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a macro definition and two calls",
       "m .MACRO\n nop\n .ENDM\n m\n\n m\n",
       {"1 B|m .MACRO", "2 B| nop", "3 B| .ENDM", "4 C| m", "4 AX| nop", "4 EX| .ENDM", "5 |~",
        "6 C| m", "6 AX| nop", "6 EX| .ENDM", "7 >|~"}},
      {"a repeat block's iterations carry the number of its .ENDM line",
       " .DUP 2\n nop\n .ENDM\n nop\n",
       {"1 CB| .DUP 2", "2 B| nop", "3 B| .ENDM", "3 AX| nop", "3 EX| .ENDM", "3 AX| nop",
        "3 EX| .ENDM", "4 A| nop", "5 >|~"}},
      {"a label on the call line comes first in the expansion",
       "m .MACRO\n nop\n .ENDM\nhere m\n",
       {"1 B|m .MACRO", "2 B| nop", "3 B| .ENDM", "4 C|here m", "4 AX|here:", "4 AX| nop",
        "4 EX| .ENDM", "5 >|~"}},
      {"a block collected inside an expansion is marked both ways",
       "m .MACRO\n .DUP 1\n nop\n .ENDM\n .ENDM\n m\n",
       {"1 B|m .MACRO", "2 B| .DUP 1", "3 B| nop", "4 B| .ENDM", "5 B| .ENDM", "6 C| m",
        "6 CBX| .DUP 1", "6 BX| nop", "6 BX| .ENDM", "6 AX| nop", "6 EX| .ENDM", "6 EX| .ENDM",
        "7 >|~"}},
      {"a macro without body lines expands to nothing", "m .MACRO\n .ENDM\n m\n",
       {"1 B|m .MACRO", "2 B| .ENDM", "3 C| m", "4 >|~"}},
      {"a body that runs to the end of the input",
       "m .MACRO\n nop\n", {"1 B|m .MACRO", "2 B| nop", "3 >|~"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh fresh(this);
    run(c.source);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_TRUE(preprocessor_->expansionStack.empty());
  }
}

TEST_F(MacroExpansionTest, ExpansionNumbersAreSharedAndEveryBlockWithABodyDrawsOne) {
  struct Case {
    const char* what;
    std::string source;
    uint32_t counter;  // expansion numbers drawn
  };
  const Case cases[] = {
      {"every call and every iteration draws one", "m .MACRO\n nop\n .ENDM\n m\n .DUP 3\n m\n .ENDM\n",
       1 + 3 * 2},
      {"a block with a body but no iteration still draws one",
       " .DUP 0\n nop\n .ENDM\n .DUPF i,1,0\n nop\n .ENDM\n", 2},
      {"an empty body draws none", " .DUP 5\n .ENDM\nm .MACRO\n .ENDM\n m\n", 0},
      {".EXITM ends the repetition", " .DUP 5\n .EXITM\n .ENDM\n", 1},
      {"a refused call draws none", "m .MACRO\n m\n .ENDM\n m\n", 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh fresh(this);
    run(c.source);
    EXPECT_EQ(preprocessor_->expansionCounter, c.counter);
    EXPECT_TRUE(preprocessor_->expansionStack.empty());
    EXPECT_FALSE(preprocessor_->nestingLimitReached);
    // Every scope an expansion opened is closed again.
    EXPECT_EQ(preprocessor_->macroScopes.size(), 1u);
    EXPECT_EQ(preprocessor_->defineScopes.size(), 1u);
  }
}

}  // namespace

namespace {

// Macros m0 .. m<levels - 1>, each above m0 calling the one below twice, and a call
// of the top one. The innermost body is `innermost`; with `everyLevel` each level
// above holds it too, before and between its two calls.
std::string doublingChain(const std::string& innermost, bool everyLevel, int levels = 40) {
  std::string source = "m0 .MACRO\n" + innermost + "\n .ENDM\n";
  for (int level = 1; level < levels; ++level) {
    std::string below = " m" + std::to_string(level - 1) + "\n";
    std::string between = everyLevel ? innermost + "\n" : "";
    source += "m" + std::to_string(level) + " .MACRO\n" + between + below + between + below + " .ENDM\n";
  }
  return source + " m" + std::to_string(levels - 1) + "\n";
}

TEST_F(MacroExpansionTest, DoublingChainsAreRefusedAtTheCallWhateverTheirBodiesHold) {
  // Forty doubling levels would make about 2^41 lines: the call is refused before any
  // of them is made, with one E110, whatever statements, labels, set symbols,
  // conditions, repeat blocks or early ends the bodies hold.
  struct Body {
    const char* text;
    bool aroundCalls;  // may stand before and between the calls of every level too
  };
  const Body bodies[] = {
      {" nop", true},
      {"x .SET 1", true},
      {" .SET y,2", true},
      {"z .EQU 3", true},
      {" .BYTE 1", true},
      {" .WORD 1,2", true},
      {"l:", true},
      {"l nop", true},
      {"l: .WORD 4 ; a comment", true},
      {" .IF 1\n nop\n .ENDIF", true},
      {" .IF 0\n nop\n .ELIF 1\n .BYTE 2\n .ELSE\n .ENDIF", true},
      {" .DUP 2\n nop\n .ENDM", true},
      {" .DUP 0\n .IF 1\n .EXITM\n .ENDIF\n .ENDM", true},
      {" .DUPA a,1,2\n nop\n .WORD a\n .ENDM", true},
      {" .DUPC c,\"ab\"\n .BYTE 1\n .ENDM", true},
      {" .DUPF i,1,3\n .DUPA j,4\n .WORD i,j\n .ENDM\n .ENDM", true},
      {" .RADIX 16", true},
      // After an .EXITM of the body itself the rest of it is not sure to be read.
      {" .EXITM", false},
      {" nop\n .EXITM\n nop", false},
      {" .IF 1\n .EXITM\n .ENDIF", false},
  };
  for (const Body& body : bodies) {
    for (bool everyLevel : {false, true}) {
      if (everyLevel && !body.aroundCalls) continue;
      SCOPED_TRACE(std::string(body.text) + (everyLevel ? " (every level)" : " (innermost)"));
      Fresh fresh(this);
      run(doublingChain(body.text, everyLevel));
      EXPECT_EQ(preprocessor_->expansionLines, 0);
      EXPECT_EQ(preprocessor_->expansionCounter, 0u);
      EXPECT_EQ(recordedTexts(),
                std::vector<std::string>{
                    "E110: macro call skipped: lines made by expansions would exceed 10000000 in total"});
    }
  }
}

TEST_F(MacroExpansionTest, CallsThatMayNotBeMadeAreNotCountedAhead) {
  // Each level's second call is not sure to be made, or the first ends the run: the
  // forty levels expand as far as they go, without E110.
  struct Case {
    const char* what;
    std::string source;
    uint32_t counter;  // expansion numbers drawn
  };
  // Each level holds `between` between its calls and `after` after them, with "@"
  // standing for the name of the macro below.
  auto chain = [](const std::string& between, const std::string& after, const char* top) {
    std::string source = "m0 .MACRO\n nop\n .ENDM\n";
    for (int level = 1; level < 40; ++level) {
      std::string below = "m" + std::to_string(level - 1);
      std::string text = between;
      for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@'))
        text.replace(at, 1, below);
      source += "m" + std::to_string(level) + " .MACRO " + below + "\n " + below + "\n" + text + " " +
                below + "\n" + after + " .ENDM\n";
    }
    return source + " m39 " + top + "\n";
  };
  const Case cases[] = {
      {"after .EXITM", chain(" .EXITM\n", "", ""), 40},
      {"after .EXITM in a condition that holds", chain(" .IF 1\n .EXITM\n .ENDIF\n", "", ""), 40},
      {"in a condition that fails", chain(" .IF 0\n", " .ENDIF\n", ""), 40},
      {"in a branch not taken", chain(" .IF 1\n .ELSE\n", " .ENDIF\n", ""), 40},
      {"in a repeat block of no iteration", chain(" .DUP 0\n", " .ENDM\n", ""), 40 + 39},
      {"after a define of the name", chain(" .DEFINE @ \"nop\"\n", "", ""), 40},
      // The name in the body is the formal, replaced by the argument.
      {"a formal named as the macro below", chain("", "", "nop"), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh fresh(this);
    run(c.source);
    EXPECT_EQ(recordedTexts(), std::vector<std::string>{});
    EXPECT_EQ(preprocessor_->expansionCounter, c.counter);
    EXPECT_TRUE(preprocessor_->expansionStack.empty());
  }
}

TEST_F(MacroExpansionTest, ABodyThatEndsTheRunIsNotCountedThrough) {
  // The first call that reaches .END ends the run: the rest of the chain never
  // expands, so the forty levels are not refused ahead. A loop symbol may stand for
  // .END as well.
  struct Case {
    const char* body;
    uint32_t counter;  // expansion numbers drawn
  };
  const Case cases[] = {
      {" .END", 40},
      {" .DUPA x,.END\n x\n .ENDM", 41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Fresh fresh(this);
    run(doublingChain(c.body, false));
    EXPECT_EQ(recordedTexts(), std::vector<std::string>{});
    EXPECT_EQ(preprocessor_->expansionCounter, c.counter);
  }
}
TEST_F(MacroExpansionTest, AChainMetFirstInAConditionCountsInFullWhereItIsSure) {
  // The count of m39 made for the call in the condition serves the sure call after
  // it too: the outer call is refused before any line, its own expansion included.
  Fresh fresh(this);
  std::string chain = doublingChain(" nop", false);
  chain.erase(chain.rfind(" m39\n"));
  run(chain + "t .MACRO\n .IF 0\n m39\n .ENDIF\n m39\n .ENDM\n t\n");
  EXPECT_EQ(preprocessor_->expansionCounter, 0u);
  EXPECT_EQ(recordedTexts(),
            std::vector<std::string>{
                "E110: macro call skipped: lines made by expansions would exceed 10000000 in total"});
}

}  // namespace
