#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/RunSettings.h"

namespace {

// The flags of a line as letters, in a fixed order.
std::string tags(const LineInfo* line) {
  const LineFlags& flags = line->flags;
  std::string text;
  auto add = [&](bool on, char letter) {
    if (on) text.push_back(letter);
  };
  add(flags[3] & lineflag::kStartOfFile, '<');
  add(flags[3] & lineflag::kEndOfFile, '>');
  add(flags[0] & lineflag::kAssemble, 'A');
  add(flags[0] & lineflag::kMacroCall, 'C');
  add(flags[0] & lineflag::kBodyEnd, 'E');
  add(flags[0] & lineflag::kMacroDefinition, 'B');
  add(flags[0] & lineflag::kMacroExpansion, 'X');
  add(flags[0] & lineflag::kConditionalDirective, 'I');
  add(flags[0] & lineflag::kInactiveRegion, 'S');
  add(flags[0] & lineflag::kCommentOnly, 'M');
  add(flags[1] & lineflag::kEquateOrSet, 'Q');
  add(flags[2] & lineflag::kLastLine, 'Z');
  add(flags[3] & lineflag::kSplit, '/');
  add(flags[3] & lineflag::kLineMarker, '#');
  return text;
}

// A line's text without its final newline, inner newlines shown as "\n"; "~" for
// a line without text.
std::string shown(const char* text) {
  if (!text) return "~";
  std::string result;
  size_t length = std::strlen(text);
  if (length && text[length - 1] == '\n') --length;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') result += "\\n";
    else result.push_back(text[i]);
  }
  return result;
}

std::string baseName(const char* path) {
  if (!path) return "";
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

class MacroPreprocessorTest : public PreprocTest {
 protected:
  // The symbol reset after preprocessing gives the symbol pool back whole: no other
  // symbol table may live in it meanwhile, the fixture's own neither. A fresh one
  // takes its place afterwards.
  class OnlySymbolTable {
   public:
    OnlySymbolTable() {
      delete runState().symbolTable;
      runState().symbolTable = nullptr;
    }
    ~OnlySymbolTable() { runState().symbolTable = new SymbolTable(); }
  };

  struct Run {
    std::vector<std::string> lines;        // "<number> <tags>|<text>", file named unless t.asm
    std::vector<std::string> active;       // texts of the assembled lines, as --preprocess writes
    std::vector<std::string> diagnostics;  // "<number>: <text>"
    std::string unplaced;                  // what went to standard error at once
  };

  // Preprocesses t.asm with the other files beside it, each run with managers of
  // its own; settings adjusts the options first.
  template <typename Adjust>
  Run run(const std::string& source, const std::vector<std::pair<std::string, std::string>>& files,
          Adjust settings) {
    OnlySymbolTable only;
    ScopedManagers fresh(ScopedManagers::kAll);
    delete runState().lineState;
    runState().lineState = new LineState();
    settings(*runState().orbaOptions);
    for (const auto& file : files) writeFile(file.first, file.second);
    std::string path = writeFile("t.asm", source);
    Run result;
    testing::internal::CaptureStderr();
    {
      MacroPreprocessor preprocessor;
      preprocessor.openSource(path.c_str());
      EXPECT_TRUE(preprocessor.released);
    }
    result.unplaced = testing::internal::GetCapturedStderr();
    for (LineInfo* line = lineState()->first(); line; line = line->next) {
      std::string file = baseName(lineState()->sourceFile(static_cast<int32_t>(line->sourceFile)));
      std::string entry = file == "t.asm" ? "" : "[" + file + "] ";
      entry += std::to_string(line->lineNumberSigned()) + " " + tags(line) + "|" + shown(line->text);
      result.lines.push_back(entry);
      if (line->active() && line->text) result.active.push_back(shown(line->text));
    }
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next()) {
      const ErrorLine* record = records.current();
      int32_t number = record->position ? record->position->lineNumberSigned() : -1;
      std::string text = record->text;
      std::string folder = folder_.string();
      for (size_t at; (at = text.find(folder)) != std::string::npos;)
        text.replace(at, folder.size(), "<folder>");
      result.diagnostics.push_back(std::to_string(number) + ": " + text);
    }
    return result;
  }

  Run run(const std::string& source,
          const std::vector<std::pair<std::string, std::string>>& files = {}) {
    return run(source, files, [](RunSettings&) {});
  }
};

using Lines = std::vector<std::string>;

TEST_F(MacroPreprocessorTest, LinesAreRecordedWithTheirNumbersFlagsAndTexts) {
  struct Case {
    const char* what;
    std::string source;
    Lines lines;
    Lines diagnostics;
  };
  const Case cases[] = {
      {"an empty file has its two markers only", "", {"1 <|~", "1 >|~"}, {}},
      {"blank and comment lines keep their numbers but no text",
       " nop ; c\n\n; only\n  \n",
       {"1 <|~", "1 A| nop ", "2 |~", "3 |~", "4 |~", "5 >|~"},
       {}},
      {"a last line without newline", " nop", {"1 <|~", "1 A| nop", "1 >|~"},
       {"1: W300: missing end-of-line for last input line"}},
      {"a backslash at the end of a line joins the next one",
       " .WORD 1,\\\n 2\n nop\n",
       {"1 <|~", "1 A| .WORD 1, 2", "3 A| nop", "4 >|~"},
       {}},
      {"a backslash before a blank joins nothing", " a\\ \n b\n",
       {"1 <|~", "1 A| a\\ ", "2 A| b", "3 >|~"},
       {}},
      {"a control character is left out and reported", " nop\x01x\n",
       {"1 <|~", "1 A| nopx", "2 >|~"},
       {"1: E296: invalid character found in input: 01 (hex)"}},
      {"a NUL byte inside a line", std::string(" a\0b\n c\n", 8),
       {"1 <|~", "1 A| ab", "2 A| c", "3 >|~"},
       {"1: E296: invalid character found in input: 00 (hex)"}},
      {"lines after .END keep their numbers and texts, unassembled",
       " .END\n junk\n\n ; note\n",
       {"1 <|~", "1 AZ| .END", "2 Z| junk", "3 Z|~", "4 Z|~", "5 >|~"},
       {}},
      {"a .COMMENT block is one line",
       " .COMMENT *\n text\n end * x\n nop\n",
       {"1 <|~", "1 M| .COMMENT *\\n text\\n end * x", "4 A| nop", "5 >|~"},
       {}},
      {"a .COMMENT block without its closing delimiter",
       " nop\n .COMMENT #\n text\n",
       {"1 <|~", "1 A| nop", "2 M| .COMMENT #\\n text", "4 >|~"},
       {"2: E212: no closing delimiter found for .COMMENT directive starting at 2"}},
      {"NUL bytes before and inside a .COMMENT block are left out",
       std::string(" \0.COMMENT *\n x\0y *\n", 20),
       {"1 <|~", "1 M| .COMMENT *\\n xy *", "3 >|~"},
       {"1: E296: invalid character found in input: 00 (hex)"}},
      {"a .COMMENT without delimiter", " .COMMENT\n nop\n",
       {"1 <|~", "1 M| .COMMENT", "2 A| nop", "3 >|~"},
       {"1: E148: missing delimiter for .COMMENT directive"}},
      {"statements split at the separator follow their line",
       " .COMMENT_PREFIX \"//\"\n nop; add d0,d1 // c\n",
       {"1 <|~", "1 A| .COMMENT_PREFIX \"//\"", "2 /| nop\\n add d0,d1 ", "2 A| nop",
        "2 A| add d0,d1 ", "3 >|~"},
       {}},
      {"statements keep the bias of a line marker",
       "# 10\n .COMMENT_PREFIX \"//\"\n nop; nop\n",
       {"1 <|~", "9 #|# 10", "10 A| .COMMENT_PREFIX \"//\"", "11 /| nop\\n nop",
        "11 A| nop", "11 A| nop", "12 >|~"},
       {}},
      {"an included file is framed by its own markers",
       " .INCLUDE \"a.inc\"\n nop\n",
       {"1 <|~", "1 | .INCLUDE \"a.inc\"", "[a.inc] 1 <|~", "[a.inc] 1 A|x", "[a.inc] 2 >|~",
        "2 A| nop", "3 >|~"},
       {}},
      {"line markers renumber and rename the following lines",
       "# 100 \"gen.asm\"\n nop\n#line 7\n nop\n#pragma x\n",
       {"1 <|~", "[gen.asm] 99 #|# 100 \"gen.asm\"", "[gen.asm] 100 A| nop",
        "[gen.asm] 6 #|#line 7", "[gen.asm] 7 A| nop", "[gen.asm] 8 |#pragma x",
        "[gen.asm] 9 >|~"},
       {"8: E301: unknown C preprocessor directive used"}},
      {"a marker without a number only marks its line", "#line\n nop\n",
       {"1 <|~", "1 #|#line", "2 A| nop", "3 >|~"},
       {}},
      {"a # that starts the comment prefix is a comment",
       " .COMMENT_PREFIX \"#\"\n# note\n",
       {"1 <|~", "1 A| .COMMENT_PREFIX \"#\"", "2 |~", "3 >|~"},
       {}},
      {"lines of an inactive region are skipped, directives still marked",
       " .IF 0\n nop\n\nL\n .ELSE\n add\n .ENDIF\n",
       {"1 <|~", "1 IS| .IF 0", "2 S| nop", "3 |~", "4 S|L", "5 IS| .ELSE", "6 A| add",
        "7 I| .ENDIF", "8 >|~"},
       {}},
      {"a .COMMENT line inside an inactive region", " .IF 0\n .COMMENT *x*\n .ENDIF\n",
       {"1 <|~", "1 IS| .IF 0", "2 SM| .COMMENT *x*", "3 IS| .ENDIF", "4 >|~"},
       {}},
      {".SET and .EQU lines are marked for symbol setting", "X .SET 1\nY .EQU 2\n",
       {"1 <|~", "1 AQ|X .SET 1", "2 AQ|Y .EQU 2", "3 >|~"},
       {}},
      {"carriage returns before newlines are left out", " nop\r\n add d0,d1\r\n\r\nL:\r\n",
       {"1 <|~", "1 A| nop", "2 A| add d0,d1", "3 |~", "4 A|L:", "5 >|~"},
       {}},
      {"a last line without newline after CR LF lines", " nop\r\n add",
       {"1 <|~", "1 A| nop", "2 A| add", "2 >|~"},
       {"2: W300: missing end-of-line for last input line"}},
      {"a long line keeps its whole text", " .ASCII \"" + std::string(100000, 'x') + "\"\n nop\n",
       {"1 <|~", "1 A| .ASCII \"" + std::string(100000, 'x') + "\"", "2 A| nop", "3 >|~"},
       {}},
      {"a NUL byte as the last byte of a line", std::string(" a\0\n b\n", 7),
       {"1 <|~", "1 A| a", "2 A| b", "3 >|~"},
       {"1: E296: invalid character found in input: 00 (hex)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source, {{"a.inc", "x\n"}});
    EXPECT_EQ(result.lines, c.lines);
    EXPECT_EQ(result.diagnostics, c.diagnostics);
  }
}

TEST_F(MacroPreprocessorTest, HeaderFilesAreReadFirstEachFramedByItsMarkers) {
  Run result = run(" t1\n", {{"a.def", "a1\n"}, {"b.def", "b1\nb2\n"}},
                   [](RunSettings& settings) { settings.includeFiles = {"a.def", "b.def"}; });
  const Lines expected = {"[a.def] 1 <|~",  "[a.def] 1 A|a1",  "[a.def] 2 >|~", "[b.def] 1 <|~",
                          "[b.def] 1 A|b1", "[b.def] 2 A|b2", "[b.def] 3 >|~", "1 <|~",
                          "1 A| t1",        "2 >|~"};
  EXPECT_EQ(result.lines, expected);
}

TEST_F(MacroPreprocessorTest, CommentsStayInTheLinesWhenAListFileIsMade) {
  Run result = run(" nop ; c\n; only\n .BYTE @MXP() ; d\n", {},
                   [](RunSettings& settings) { settings.listFileWanted = true; });
  const Lines expected = {"1 <|~", "1 A| nop ; c", "2 |~", "3 A| .BYTE 0 ; d", "4 >|~"};
  EXPECT_EQ(result.lines, expected);
}

TEST_F(MacroPreprocessorTest, OverLongLineMarkerFileNameIsRejected) {
  std::string longest(MacroPreprocessor::kMaxMarkerFileName, 'n');
  Run accepted = run("# 5 \"" + longest + "\"\n nop\n");
  EXPECT_EQ(accepted.lines.at(2), "[" + longest + "] 5 A| nop");
  EXPECT_TRUE(accepted.diagnostics.empty());

  Run rejected = run("# 5 \"" + longest + "n\"\n nop\n");
  EXPECT_EQ(rejected.lines.at(2), "2 A| nop");
  EXPECT_EQ(rejected.diagnostics,
            Lines{"1: E206: syntax error: file name of a line marker longer than 2047 characters"});
}

TEST_F(MacroPreprocessorTest, DefinesReplaceNamesInLaterLines) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
    Lines diagnostics;
  };
  const Case cases[] = {
      {"a define replaces its name", " .DEFINE A \"12\"\n ld d0,A\n", {" ld d0,12"}, {}},
      {"the defined name itself is not replaced, a define in its value is",
       " .DEFINE A \"1\"\n .DEFINE B \"A+A\"\n .BYTE B\n",
       {" .BYTE 1+1"},
       {}},
      {".UNDEF and # lines keep the name", " .DEFINE A \"1\"\n# A\n .UNDEF A\n .BYTE A\n",
       {" .BYTE A"},
       {"2: E301: unknown C preprocessor directive used"}},
      {"a value keeps its escapes as written", " .DEFINE ESC \"a\\n\"\n .ASCII ESC\n",
       {" .ASCII a\\n"},
       {}},
      {"a define is never replaced", " .DEFINE X \"1\"\n .DEFINE X \"2\"\n .BYTE X\n",
       {" .BYTE 1"},
       {"2: E109: \"X\" already defined"}},
      {"an unquoted value", " .DEFINE X 1\n", {}, {"1: E238: string value expected"}},
      {"a quoted name", " .DEFINE \"X\" \"1\"\n", {},
       {"1: E198: expected symbol name for .DEFINE directive"}},
      {"text after the value", " .DEFINE X \"1\" junk\n .BYTE X\n", {" .BYTE 1"},
       {"1: E172: additional characters found after instruction or directive"}},
      {".UNDEF of two names without a comma removes both",
       " .DEFINE A \"1\"\n .DEFINE B \"2\"\n .UNDEF A B\n .BYTE A,B\n",
       {" .BYTE A,B"},
       {"3: E112: syntax error: expected comma"}},
      {".UNDEF ending in a comma", " .DEFINE A \"1\"\n .UNDEF A,\n", {},
       {"2: E198: expected symbol name for .UNDEF directive"}},
      {".UNDEF alone", " .UNDEF\n", {}, {"1: E198: expected symbol name for .UNDEF directive"}},
      {".UNDEF of a fixed define", " .UNDEF __TRI__\n .BYTE __TRI__\n", {" .BYTE 1"},
       {"1: E276: \"__TRI__\" cannot be undefined"}},
      {".UNDEF of an unknown name", " .UNDEF M\n", {},
       {"1: E227: \"M\" is not a .DEFINE or .MACRO symbol"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source);
    EXPECT_EQ(result.active, c.active);
    EXPECT_EQ(result.diagnostics, c.diagnostics);
  }
}

// Most lines are copied into the line list by one scan of their bytes; each case
// holds the byte or token that must send its line through the token loop instead,
// in a place where the scan could overlook it, beside a line the scan copies.
TEST_F(MacroPreprocessorTest, OnlyPlainLinesSkipTheTokenLoop) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
  };
  const Case cases[] = {
      {"a define after an immediate's hash", " .DEFINE N \"5\"\n mov d1,#N\n mov d1,#M\n",
       {" mov d1,#5", " mov d1,#M"}},
      {"a define after a label and in a name's tail", " .DEFINE R \"d2\"\nl: add R,d1.R\n",
       {"l: add d2,d1.R"}},
      {"a comment after operands", " add d1,d2 ; sum\n add d1,d2\n", {" add d1,d2 ", " add d1,d2"}},
      {"a separator once the prefix is another", " .COMMENT_PREFIX \"#\"\n add d1,d2;nop\n mov d1,#1\n",
       {" .COMMENT_PREFIX \"#\"", " add d1,d2", "nop", " mov d1,"}},
      {"a continued line", " add d1,\\\n d2\n", {" add d1, d2"}},
      {"a carriage return", " nop\r\n nop\rnop\n", {" nop", " nop", "nop"}},
      {"a directive with a rule of its own first", " .DEFINE X \"1\"\n .UNDEF X\n .BYTE X\n",
       {" .BYTE X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source);
    EXPECT_EQ(result.active, c.active);
  }
}

TEST_F(MacroPreprocessorTest, CommandLineAndPredefinedMacros) {
  struct Case {
    const char* what;
    std::vector<const char*> defines;
    const char* cpu;
    bool caseSensitive;
    std::string source;
    Lines active;
    std::string unplaced;
  };
  const Case cases[] = {
      {"a name alone is 1", {"X"}, nullptr, true, " .BYTE X\n", {" .BYTE 1"}, ""},
      {"an equals sign and nothing else is empty", {"X="}, nullptr, true, " .BYTE (X)\n",
       {" .BYTE ()"}, ""},
      {"the value runs from the first equals sign", {"X=a=b"}, nullptr, true, " .BYTE X\n",
       {" .BYTE a=b"}, ""},
      {"a later -D replaces an earlier one", {"X=1", "X=2"}, nullptr, true, " .BYTE X\n",
       {" .BYTE 2"}, ""},
      {"a -D replaces a predefined macro that is not fixed", {"__FPU__=7"}, nullptr, true,
       " .BYTE __FPU__\n", {" .BYTE 7"}, ""},
      {"a fixed one is refused", {"__TRI__=2", "__VEKT__"}, nullptr, true,
       " .BYTE __TRI__,__VEKT__\n", {" .BYTE 1,1"},
       "vekt E276: \"__TRI__\" cannot be undefined\nvekt E276: \"__VEKT__\" cannot be undefined\n"},
      {"the version numbers", {}, nullptr, true, " .WORD __VERSION__,__REVISION__,__BUILD__\n",
       {" .WORD 0,0,341000000"}, ""},
      {"core, mode and unit macros are always defined", {}, nullptr, true,
       " .BYTE __CORE_TC13__,__CORE_TC131__,__CORE_TC16__,__CORE_TC16X__,__TC131__,__TC16__,"
       "__FPU__,__MMU__,__UM_USER_1__,__UM_KERNEL__\n",
       {" .BYTE 1,0,0,0,0,0,1,0,0,0"}, ""},
      {"a CPU macro", {}, "tc1796", true, " .BYTE __CPU_TC1796__\n", {" .BYTE 1"}, ""},
      {"a 22-character CPU name", {}, "abcdefghijklmnopqrstuv", true,
       " .BYTE __CPU_ABCDEFGHIJKLMNOPQRSTUV__\n", {" .BYTE 1"}, ""},
      {"a 23-character CPU name has none", {}, "abcdefghijklmnopqrstuvw", true,
       " .BYTE __CPU_ABCDEFGHIJKLMNOPQRSTUVW__\n", {" .BYTE __CPU_ABCDEFGHIJKLMNOPQRSTUVW__"},
       ""},
      {"a 5-character CPU name has none", {}, "tc179", true, " .BYTE __CPU_TC179__\n",
       {" .BYTE __CPU_TC179__"}, ""},
      {"without case sensitivity names match in any case", {"foo=3"}, nullptr, false,
       " .BYTE FOO\n", {" .BYTE 3"}, ""},
      {"with case sensitivity they do not", {"foo=3"}, nullptr, true, " .BYTE FOO\n",
       {" .BYTE FOO"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source, {}, [&](RunSettings& settings) {
      settings.defines = c.defines;
      settings.coreTc13 = true;
      settings.cpuName = c.cpu;
      settings.caseSensitive = c.caseSensitive;
    });
    EXPECT_EQ(result.active, c.active);
    EXPECT_EQ(result.unplaced, c.unplaced);
  }
}

TEST_F(MacroPreprocessorTest, LabelFieldAndSymbols) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
    Lines diagnostics;
  };
  const Case cases[] = {
      {"a name alone in the first column is a label", "LAB\n .BYTE @DEF(LAB)\n",
       {"LAB", " .BYTE 1"}, {}},
      {"with blanks before it, it is a statement", "  LAB\n .BYTE @DEF(LAB)\n",
       {"  LAB", " .BYTE 0"}, {}},
      {"a first-column name before a statement is its label", "LAB nop\n .BYTE @DEF(LAB)\n",
       {"LAB nop", " .BYTE 1"}, {}},
      {"a label with a colon", "  L: nop\n .BYTE @DEF(L)\n", {"  L: nop", " .BYTE 1"}, {}},
      {"a numbered label", "1:\n", {"1:"}, {}},
      {".END in the first column is the directive", ".END\n", {".END"}, {}},
      {"no label with .IF; the conditional still runs", "L: .IF 0\n nop\n .ENDIF\n", {},
       {"1: E174: no label allowed with .IF"}},
      {"no label with .INCLUDE", "L: .INCLUDE \"a.inc\"\n", {"x"},
       {"1: E174: no label allowed with .INCLUDE"}},
      {"no label with .DEFINE", "L: .DEFINE X \"1\"\n", {},
       {"1: E174: no label allowed with .DEFINE"}},
      {"a label and a colon are fine with .SET and .EQU", "X: .SET 1\nY: .EQU 2\n",
       {"X: .SET 1", "Y: .EQU 2"}, {}},
      {".SET and .EQU define their symbols",
       " .SET A, 3\nB .SET 4\n .EQU C, 5\nD .EQU 6\n .EQU E 7\n"
       " .BYTE @DEF(A),@DEF(B),@DEF(C),@DEF(D),@DEF(E)\n",
       {" .SET A, 3", "B .SET 4", " .EQU C, 5", "D .EQU 6", " .EQU E 7", " .BYTE 1,1,1,1,1"},
       {}},
      {"a .SET symbol takes a new value", " .SET X, 3\n .SET X, 4\n .IF X == 4\n ok\n .ENDIF\n",
       {" .SET X, 3", " .SET X, 4", " ok"}, {}},
      {".SET of an .EQU symbol", "X .EQU 1\nX .SET 2\n .IF X == 1\n ok\n .ENDIF\n",
       {"X .EQU 1", "X .SET 2", " ok"},
       {"2: E181: redefinition of a non-.SET symbol"}},
      {".SET of a name used before", " .IF X\n .ENDIF\n .SET X, 1\n", {" .SET X, 1"},
       {"1: E152: cannot evaluate expression for .IF directive",
        "3: E263: symbol \"X\" is used before its definition"}},
      {"text after the .SET value; the value is set", " .SET X, 3 junk\n .IF X == 3\n ok\n .ENDIF\n",
       {" .SET X, 3 junk", " ok"},
       {"1: E172: additional characters found after instruction or directive"}},
      {".SET without a name", " .SET , 3\n", {" .SET , 3"},
       {"1: E198: expected symbol name for .SET directive"}},
      {".SET without a value", " .SET X,\n", {" .SET X,"},
       {"1: E113: syntax error: expected expression"}},
      {".EQU without a name", " .EQU\n", {" .EQU"},
       {"1: E198: expected symbol name for .EQU directive"}},
      {"a second .EQU of a name", "X .EQU 1\nX .EQU 2\n", {"X .EQU 1", "X .EQU 2"},
       {"2: E168: symbol \"X\" already defined at line 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source, {{"a.inc", "x\n"}});
    EXPECT_EQ(result.active, c.active);
    EXPECT_EQ(result.diagnostics, c.diagnostics);
  }
}

TEST_F(MacroPreprocessorTest, ConditionalAssembly) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
    Lines diagnostics;
  };
  const Case cases[] = {
      {"a fraction truncates toward zero", " .IF 0.5\n a\n .ELSE\n b\n .ENDIF\n", {" b"}, {}},
      {"-1.5 is true", " .IF -1.5\n a\n .ENDIF\n", {" a"}, {}},
      {"a string condition", " .IF \"x\"\n a\n .ELSE\n b\n .ENDIF\n", {" b"},
       {"1: E157: integer expression expected for .IF directive"}},
      {"a missing condition", " .IF\n a\n .ELSE\n b\n .ENDIF\n", {" b"},
       {"1: E113: syntax error: expected expression"}},
      {"text after the condition drops it", " .IF 1 junk\n a\n .ELSE\n b\n .ENDIF\n", {" b"},
       {"1: E172: additional characters found after instruction or directive"}},
      {"a condition that cannot be evaluated", " .IF Y\n a\n .ELSE\n b\n .ENDIF\n", {" b"},
       {"1: E152: cannot evaluate expression for .IF directive"}},
      {"text after .ELSE leaves the branch", " .IF 1\n a\n .ELSE junk\n b\n .ENDIF\n",
       {" a", " b"},
       {"3: E172: additional characters found after instruction or directive"}},
      {"text after .ENDIF leaves the block open", " .IF 1\n a\n .ENDIF junk\n b\n",
       {" a", " b"},
       {"1: E155: missing corresponding .ENDIF directive for .IF directive",
        "3: E172: additional characters found after instruction or directive"}},
      {"a block inside an inactive region is parsed, never evaluated",
       " .IF 0\n .IF \"x\"\n a\n .ELSE\n b\n .ENDIF\n .ENDIF\n c\n", {" c"}, {}},
      {"two .ELSE lines after .IF 0 are both active", " .IF 0\n .ELSE\n a\n .ELSE\n b\n .ENDIF\n",
       {" a", " b"}, {}},
      {".ELIF 1 after .ELSE of an untaken block", " .IF 0\n .ELSE\n .ELIF 1\n c\n .ENDIF\n",
       {" c"}, {}},
      {".ELIF 0 after .ELSE", " .IF 0\n .ELSE\n .ELIF 0\n c\n .ENDIF\n", {}, {}},
      {"only the first true branch", " .IF 0\n a\n .ELIF 1\n b\n .ELIF 1\n c\n .ELSE\n d\n .ENDIF\n",
       {" b"}, {}},
      {"a stray .ELIF", " .ELIF 1\n a\n", {" a"},
       {"1: E166: .ELIF directive without a corresponding .IF directive"}},
      {"a stray .ELSE and .ENDIF", " .ELSE\n .ENDIF\n a\n", {" a"},
       {"1: E166: .ELSE directive without a corresponding .IF directive",
        "2: E166: .ENDIF directive without a corresponding .IF directive"}},
      {"two blocks open at the end, the inner first", " .IF 1\n nop\n .IF 1\n",
       {" nop"},
       {"1: E155: missing corresponding .ENDIF directive for .IF directive",
        "3: E155: missing corresponding .ENDIF directive for .IF directive"}},
      {".END in an inactive region does not end the input", " .IF 0\n .END\n .ENDIF\n a\n",
       {" a"}, {}},
      {"an .EQU value decides", "N .EQU 5\n .IF N == 5\n a\n .ENDIF\n", {"N .EQU 5", " a"}, {}},
      {"an include in an inactive region is read and all its lines skipped",
       " .IF 0\n .INCLUDE \"skip.inc\"\n .ENDIF\n a\n", {" a"}, {}},
      {"an include in an inactive region is read: its .ENDIF ends the block",
       " .IF 0\n .INCLUDE \"end.inc\"\n a\n .ENDIF\n", {" a"},
       {"1: W156: .IF started in \"<folder>/t.asm\", line 1",
        "4: E166: .ENDIF directive without a corresponding .IF directive"}},
      {"an included file ends the block of its includer",
       " .IF 1\n .INCLUDE \"end.inc\"\n a\n", {" a"},
       {"1: W156: .IF started in \"<folder>/t.asm\", line 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result =
        run(c.source, {{"end.inc", " .ENDIF\n"}, {"skip.inc", " b\n .IF 1\n c\n .ENDIF\n"}});
    EXPECT_EQ(result.active, c.active);
    EXPECT_EQ(result.diagnostics, c.diagnostics);
  }
}

TEST_F(MacroPreprocessorTest, AtFunctionsOutsideExpansions) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
    Lines diagnostics;
  };
  const Case cases[] = {
      {"@DEF of a defined and an undefined symbol, @MXP", "L:\n .BYTE @DEF(L),@DEF(M),@MXP()\n",
       {"L:", " .BYTE 1,0,0"}, {}},
      {"@DEF of a define given as a string", " .DEFINE X \"1\"\n .BYTE @DEF('X'),@DEF(\"Y\")\n",
       {" .BYTE 1,0"}, {}},
      {"@MXP with an argument", " .BYTE @MXP(1)\n", {" .BYTE 0"},
       {"1: E281: too many arguments for function \"@MXP\""}},
      {"@ARG and @CNT outside an expansion", " .BYTE @ARG(1),@cnt()\n", {" .BYTE 0,0"},
       {"1: W183: @ARG used while no macro expansion is active",
        "1: W183: @CNT used while no macro expansion is active"}},
      {"@DEF and @MAC without argument", " .BYTE @DEF(),@MAC()\n", {" .BYTE 0,0"},
       {"1: E281: too many arguments for function \"@DEF\"",
        "1: E281: too many arguments for function \"@MAC\""}},
      {"@MAC of a string", " .BYTE @MAC('m')\n", {" .BYTE 0"},
       {"1: E282: invalid argument for function \"@MAC\""}},
      {"a call without parentheses stays as written", " .BYTE @ARG 1\n", {" .BYTE @ARG 1"},
       {"1: E282: invalid argument for function \"@ARG\""}},
      {"@ in a string stays; the line is rebuilt", " .ASCII '@MXP()'   \n",
       {" .ASCII '@MXP()'"}, {}},
      {"no separator is needed around a call", " .BYTE a@MXP()b\n", {" .BYTE a0b"}, {}},
      {"a condition of @-functions", "L\n .IF @DEF(L) && !@MXP()\n ok\n .ENDIF\n",
       {"L", " ok"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run result = run(c.source);
    EXPECT_EQ(result.active, c.active);
    EXPECT_EQ(result.diagnostics, c.diagnostics);
  }
}

TEST_F(MacroPreprocessorTest, AtFunctionsAskTheInnermostExpansion) {
  struct Case {
    const char* line;
    int16_t radix;
    const char* output;
    Lines diagnostics;
  };
  const Case cases[] = {
      {" @ARG(1),@ARG(2),@ARG(3),@ARG(0),@ARG(-1),@ARG(4)\n", 10, " 1,0,1,0,0,0\n", {}},
      {" @ARG('a'),@ARG(\"b\"),@ARG('c'),@ARG('none')\n", 10, " 1,0,1,0\n", {}},
      {" @ARG('A')\n", 10, " 0\n", {}},
      {" @ARG(1.0)\n", 10, " 0\n", {"1: E239: integer or string value expected"}},
      {" @ARG()\n", 10, " 0\n", {"1: E239: integer or string value expected"}},
      {" @CNT() @MXP()\n", 10, " 2 1\n", {}},
      {" @CNT(1)\n", 10, " 0\n", {"1: E281: too many arguments for function \"@CNT\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ScopedManagers fresh(ScopedManagers::kAll);
    MacroPreprocessor preprocessor;
    preprocessor.currentControlState()->radix = c.radix;
    MppMacro macro(stringBuffer()->intern("m"), {});
    auto* expansion = new MppExpand(MppExpand::kMacroCall, &macro);
    expansion->addArgument(stringBuffer()->intern("a"), stringBuffer()->intern("x"));
    expansion->addArgument(stringBuffer()->intern("b"), nullptr);
    expansion->addArgument(stringBuffer()->intern("c"), stringBuffer()->intern("y"));
    preprocessor.expansionStack.push_back(expansion);
    InputBuffer input(nullptr);
    input.pushText("\n", 1);
    LineInfo* line = lineState()->appendLine(c.line, 0, 1, 0);
    line->controlState = preprocessor.currentControlState();
    std::string out;
    EXPECT_TRUE(preprocessor.evaluateAtFunctions(input, line, c.line, std::strlen(c.line), out));
    EXPECT_EQ(out, c.output);
    Lines diagnostics;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next())
      diagnostics.push_back("1: " + std::string(records.current()->text));
    EXPECT_EQ(diagnostics, c.diagnostics);
    EXPECT_EQ(input.top()->outer, nullptr) << "the line's text source is popped again";
  }
}

TEST_F(MacroPreprocessorTest, ArgumentCountFollowsTheRadix) {
  struct Case {
    int16_t radix;
    const char* output;
  };
  const Case cases[] = {{10, "11\n"}, {8, "13\n"}, {16, "0xb\n"}, {2, "11\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radix);
    ScopedManagers fresh(ScopedManagers::kAll);
    MacroPreprocessor preprocessor;
    preprocessor.currentControlState()->radix = c.radix;
    MppMacro macro(stringBuffer()->intern("m"), {});
    auto* expansion = new MppExpand(MppExpand::kMacroCall, &macro);
    for (int i = 0; i < 12; ++i)
      expansion->addArgument(nullptr, i == 5 ? nullptr : stringBuffer()->intern("v"));
    preprocessor.expansionStack.push_back(expansion);
    InputBuffer input(nullptr);
    input.pushText("\n", 1);
    LineInfo* line = lineState()->appendLine("@CNT()\n", 0, 1, 0);
    std::string out;
    EXPECT_TRUE(preprocessor.evaluateAtFunctions(input, line, "@CNT()\n", 7, out));
    EXPECT_EQ(out, c.output);
  }
}

TEST_F(MacroPreprocessorTest, RadixAndCommentPrefixChangeTheFollowingLines) {
  struct Case {
    const char* what;
    std::string source;
    Lines active;
    Lines diagnostics;
    int16_t radix;  // of the last line
  };
  const Case cases[] = {
      {".RADIX 16", " .RADIX 16\n nop\n", {" .RADIX 16", " nop"}, {}, 16},
      {".RADIX 16.9 sets 16", " .RADIX 16.9\n nop\n", {" .RADIX 16.9", " nop"}, {}, 16},
      {".RADIX 3", " .RADIX 3\n nop\n", {" .RADIX 3", " nop"},
       {"1: E117: syntax error: expected number radix expression"}, 10},
      {".RADIX of a string", " .RADIX \"x\"\n nop\n", {" .RADIX \"x\"", " nop"},
       {"1: E157: integer expression expected for .RADIX directive"}, 10},
      {".RADIX without value", " .RADIX\n nop\n", {" .RADIX", " nop"},
       {"1: E113: syntax error: expected expression"}, 10},
      {"a comment prefix of two characters",
       " .COMMENT_PREFIX \"//\"\n nop // c ; d\n nop ; e\n",
       {" .COMMENT_PREFIX \"//\"", " nop ", " nop ", " e"}, {}, 10},
      {"a comment prefix that starts with ;", " .COMMENT_PREFIX \";;\"\n nop ;; c\n a ; b\n",
       {" .COMMENT_PREFIX \";;\"", " nop ", " a ; b"}, {}, 10},
      {"inside double quotes a comment prefix is text; defines are replaced",
       " .ASCII \"a;b\" ; c\n .DEFINE X \"1\"\n .ASCII \"X;\\\";\" ;\n",
       {" .ASCII \"a;b\" ", " .ASCII \"1;\\\";\" "}, {}, 10},
      {".COMMENT_PREFIX without a string", " .COMMENT_PREFIX x\n", {" .COMMENT_PREFIX x"},
       {"1: E238: string value expected"}, 10},
      {"its end check uses the new prefix", " .COMMENT_PREFIX \"//\" // note\n nop\n",
       {" .COMMENT_PREFIX \"//\" // note", " nop"}, {}, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OnlySymbolTable only;
    ScopedManagers fresh(ScopedManagers::kAll);
    delete runState().lineState;
    runState().lineState = new LineState();
    std::string path = writeFile("t.asm", c.source);
    MacroPreprocessor preprocessor;
    preprocessor.openSource(path.c_str());
    Lines active;
    LineInfo* last = nullptr;
    for (LineInfo* line = lineState()->first(); line; line = line->next) {
      if (line->active() && line->text) active.push_back(shown(line->text));
      if (line->text) last = line;
    }
    Lines diagnostics;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next()) {
      const ErrorLine* record = records.current();
      diagnostics.push_back(std::to_string(record->position->lineNumberSigned()) + ": " +
                            record->text);
    }
    EXPECT_EQ(active, c.active);
    EXPECT_EQ(diagnostics, c.diagnostics);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->controlState->radix, c.radix);
  }
}

TEST_F(MacroPreprocessorTest, SymbolsOfThePreprocessorAreGoneAfterIt) {
  OnlySymbolTable only;
  ScopedManagers fresh(ScopedManagers::kAll);
  delete runState().lineState;
  runState().lineState = new LineState();
  std::string path = writeFile("t.asm", "X .EQU 1\nL:\n .SET S, 2\n");
  {
    MacroPreprocessor preprocessor;
    preprocessor.openSource(path.c_str());
  }
  SymbolTable* table = symbolTable();
  // The line's state went with the preprocessor; a definition reads the state of its line.
  ControlState state;
  lineState()->first()->controlState = &state;
  for (const char* name : {"X", "L", "S"}) {
    SCOPED_TRACE(name);
    const char* interned = stringBuffer()->intern(name);
    EXPECT_EQ(table->current->lookup(interned), nullptr);
    // The parser defines the name afresh, without E168.
    EXPECT_NE(table->current->defineSymbol(interned, lineState()->first()), nullptr);
  }
  EXPECT_EQ(runState().errorHandler->errorCount(), 0);
}

}  // namespace
