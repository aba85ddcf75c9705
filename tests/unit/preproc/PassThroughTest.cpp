#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "preproc/LineState.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/RunSettings.h"

namespace {

// One line of the list as the tests compare it; markers have no text.
struct Line {
  const char* text;  // null for a marker
  int32_t number;
  uint32_t start;
  uint32_t end;
  bool operator==(const Line& other) const {
    bool sameText = (text == nullptr) == (other.text == nullptr) &&
                    (text == nullptr || std::string(text) == other.text);
    return sameText && number == other.number && start == other.start && end == other.end;
  }
};

void PrintTo(const Line& line, std::ostream* out) {
  *out << "{" << (line.text ? testing::PrintToString(std::string(line.text)) : "marker") << ", "
       << line.number << ", " << line.start << ".." << line.end << "}";
}

struct Diagnostic {
  int32_t line;
  std::string text;
  bool operator==(const Diagnostic& other) const {
    return line == other.line && text == other.text;
  }
};

void PrintTo(const Diagnostic& diagnostic, std::ostream* out) {
  *out << diagnostic.line << ": " << diagnostic.text;
}

class PassThroughTest : public PreprocTest {
 protected:
  // The lines between the two markers, after checking the markers and the flags.
  std::vector<Line> readLines(OrbaPreprocessor& preprocessor, const std::string& path) {
    preprocessor.openSource(path.c_str());
    std::vector<Line> lines;
    LineInfo* first = lineState()->first();
    LineInfo* last = lineState()->last();
    EXPECT_NE(first, last);
    if (!first || first == last) return lines;
    for (LineInfo* marker : {first, last}) {
      EXPECT_EQ(marker->text, nullptr);
      EXPECT_EQ(marker->lineNumber, 0u);
      EXPECT_FALSE(marker->active());
      EXPECT_EQ(marker->controlState, preprocessor.controlState());
    }
    EXPECT_EQ(first->flags[3], 0x02) << "start-of-file marker";
    EXPECT_EQ(last->flags[3], 0x04) << "end-of-file marker";
    markerFile_ = static_cast<int32_t>(first->sourceFile);
    EXPECT_EQ(last->sourceFile, first->sourceFile);
    for (LineInfo* line = first->next; line != last; line = line->next) {
      EXPECT_TRUE(line->active());
      EXPECT_EQ(line->flags[3], 0);
      EXPECT_EQ(line->controlState, preprocessor.controlState());
      lines.push_back({line->text, line->lineNumberSigned(), line->sourceStart(), line->sourceEnd()});
      files_.push_back(lineState()->sourceFile(static_cast<int32_t>(line->sourceFile)));
    }
    return lines;
  }

  std::vector<Diagnostic> diagnostics() const {
    std::vector<Diagnostic> found;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next()) {
      const ErrorLine* record = records.current();
      found.push_back({record->position ? record->position->lineNumberSigned() : -1,
                       record->text});
    }
    return found;
  }

  int32_t markerFile_ = -1;
  std::vector<std::string> files_;
};

TEST_F(PassThroughTest, EveryTextLineBecomesOneLineToAssemble) {
  const std::string e296 = "E296: invalid character found in input: ";
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<Line> lines;
    std::vector<Diagnostic> diagnostics;
  };
  const Case cases[] = {
      {"empty input", "", {}, {}},
      {"two lines", " nop\n add\n", {{" nop\n", 1, 0, 5}, {" add\n", 2, 5, 10}}, {}},
      {"last line without newline", "a\nb", {{"a\n", 1, 0, 2}, {"b\n", 2, 2, 4}}, {}},
      {"empty lines", "\n\n", {{"\n", 1, 0, 1}, {"\n", 2, 1, 2}}, {}},
      {"continuation", "A\\\nB\n", {{"A\nB\n", 1, 0, 5}}, {}},
      {"continuation before CR LF, then a line without newline", "A\\\r\nB\r\n  nop",
       {{"A\nB\n", 1, 0, 5}, {"  nop\n", 3, 5, 11}},
       {}},
      {"continuation at the end of the input", "x\\", {{"x\n", 1, 0, 3}}, {}},
      {"backslash inside a line", "a\\b\n", {{"a\\b\n", 1, 0, 4}}, {}},
      {"two backslashes join nothing", "\\\\\nb\n", {{"\\\\\n", 1, 0, 3}, {"b\n", 2, 3, 5}}, {}},
      {"carriage returns and Ctrl-Z", "a\rb\x1a\r\n", {{"ab\n", 1, 0, 3}}, {}},
      {"white space and bytes from 0x80 pass", "\t\v\f\xC3\xA9\n",
       {{"\t\v\f\xC3\xA9\n", 1, 0, 6}}, {}},
      {"invalid characters reported once per line", "  nop\x01\x02\n",
       {{"  nop\n", 1, 0, 8}}, {{1, e296 + "01 (hex)"}}},
      {"each line reports its first", "a\x7f\nb\n\x1b\x01" "c\n",
       {{"a\n", 1, 0, 3}, {"b\n", 2, 3, 5}, {"c\n", 3, 5, 9}},
       {{1, e296 + "7F (hex)"}, {3, e296 + "1B (hex)"}}},
      {"a NUL byte", std::string("a\0b\n", 4), {{"ab\n", 1, 0, 4}}, {{1, e296 + "00 (hex)"}}},
      {"the character after a backslash is tested too", "a\\\x01\n",
       {{"a\\\n", 1, 0, 4}}, {{1, e296 + "01 (hex)"}}},
      {"a line of invalid characters only", "\x02", {{"\n", 1, 0, 2}},
       {{1, e296 + "02 (hex)"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Each case has the managers of its own.
    ScopedManagers fresh(ScopedManagers::kStrings | ScopedManagers::kErrors |
                         ScopedManagers::kLines);
    delete runState().lineState;
    runState().lineState = new LineState();
    files_.clear();
    std::string path = writeFile("t.asm", c.bytes);
    OrbaPreprocessor preprocessor;
    EXPECT_EQ(readLines(preprocessor, path), c.lines);
    EXPECT_EQ(diagnostics(), c.diagnostics);
    EXPECT_EQ(markerFile_, lineState()->findSourceFile(path.c_str()));
    EXPECT_EQ(preprocessor.isMacroPreprocessor(), 0);
  }
}

}  // namespace
