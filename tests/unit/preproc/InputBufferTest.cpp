#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "util/RunSettings.h"

namespace {

class InputBufferTest : public PreprocTest {
 protected:
  // Everything readChar delivers until it answers 0; a NUL byte shows as '@'.
  static std::string drain(InputBuffer& input) {
    std::string delivered;
    // Bounded: more characters than any test writes means a reader that loops.
    for (int guard = 0; guard < 1 << 22; ++guard) {
      int c = input.readChar();
      if (c == 0) return delivered;
      delivered += c == InputBuffer::kNulByte ? '@' : static_cast<char>(c);
    }
    ADD_FAILURE() << "the reader does not come to an end";
    return delivered;
  }

  // Runs the body with the file as the standard input.
  template <typename Body>
  void withStandardInput(const std::string& path, int flags, Body body) {
    int saved = ::dup(0);
    int fd = ::open(path.c_str(), flags);
    ASSERT_GE(fd, 0);
    ::dup2(fd, 0);
    ::close(fd);
    body();
    ::dup2(saved, 0);
    ::close(saved);
  }

  std::vector<const char*> includePath_;
};

TEST_F(InputBufferTest, FileCharactersArriveWithoutReturnsAndWithAFinalNewline) {
  const std::string longLine(100000, 'x');
  // A line that ends just past the first chunk, and one that starts in it.
  const std::string straddling = std::string(InputBuffer::kReadChunk - 3, 'a') + "bcdef\nlast";
  struct Case {
    const char* what;
    std::string bytes;
    std::string delivered;
    int32_t lines;  // the line counter at the end: one past the last line
  };
  const Case cases[] = {
      {"empty file", "", "", 1},
      {"one line", " nop\n", " nop\n", 2},
      {"missing final newline", " nop", " nop\n", 2},
      {"CR LF line ends", "a\r\nb\r\n", "a\nb\n", 3},
      {"CR LF and no final newline", "a\r\nb\r", "a\nb\n", 3},
      {"lone carriage returns", "a\rb\n", "ab\n", 2},
      {"Ctrl-Z bytes", "a\x1a\n\x1a", "a\n", 2},
      {"only a carriage return", "\r", "", 1},
      {"a NUL byte goes on", std::string("a\0b\n", 4), "a@b\n", 2},
      {"empty lines", "\n\n", "\n\n", 3},
      {"a line longer than a chunk", longLine + "\nz\n", longLine + "\nz\n", 3},
      {"a line across the chunk boundary", straddling,
       std::string(InputBuffer::kReadChunk - 3, 'a') + "bcdef\nlast\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = writeFile("in.asm", c.bytes);
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    EXPECT_EQ(drain(input), c.delivered);
    EXPECT_TRUE(input.isExhausted());
    EXPECT_TRUE(input.endReached);
    EXPECT_EQ(input.endFileId, lineState()->findSourceFile(path.c_str()));
    EXPECT_EQ(input.endLine, c.lines);
    // Once empty, the reader stays empty.
    EXPECT_EQ(input.readChar(), 0);
  }
}

TEST_F(InputBufferTest, LinesPastTheBoundAreSkippedWholeAndReportedOnce) {
  const size_t bound = InputBuffer::kMaxLineLength;
  const std::string atBound(bound, 'x');
  const std::string pastBound(bound + 1, 'y');
  struct Case {
    const char* what;
    std::string bytes;
    std::string delivered;
    int32_t lines;     // the line counter at the end
    int32_t reported;  // lines takeOverlongLine answers true for
  };
  const Case cases[] = {
      {"a line at the bound arrives whole", atBound + "\nz\n", atBound + "\nz\n", 3, 0},
      {"a line past the bound is skipped to its newline", "a\n" + pastBound + "\nz\n", "a\n\nz\n", 4, 1},
      {"without a newline the rest of the file goes", "a\n" + pastBound, "a\n\n", 3, 1},
      {"two long lines are two reports", pastBound + "\n" + pastBound + "\n", "\n\n", 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = writeFile("long.asm", c.bytes);
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    std::string delivered;
    int32_t reported = 0;
    // Bounded: each turn delivers a character or ends.
    for (size_t guard = 0; guard < c.bytes.size() + 4; ++guard) {
      int next = input.readChar();
      if (input.takeOverlongLine()) ++reported;
      if (next == 0) break;
      delivered += static_cast<char>(next);
    }
    EXPECT_EQ(delivered, c.delivered);
    EXPECT_EQ(reported, c.reported);
    EXPECT_EQ(input.endLine, c.lines);
  }
}

TEST_F(InputBufferTest, TextBytesCountTheTextSourcesOnTheStack) {
  std::string path = writeFile("t.asm", "a\n");
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile(path.c_str(), 1));
  EXPECT_EQ(input.textBytes(), 0u);
  // Each step pushes (a text) or pops (null); the count is what stays pushed. The
  // popped source is kept for reuse, which must not keep its count.
  struct Step {
    const char* pushed;
    size_t expected;
  } steps[] = {
      {"abc", 3}, {"de\nf", 7}, {nullptr, 3}, {"longer text", 14}, {nullptr, 3}, {nullptr, 0}, {"x", 1},
  };
  for (const Step& step : steps) {
    if (step.pushed)
      input.pushText(step.pushed, std::strlen(step.pushed));
    else
      input.popSource();
    EXPECT_EQ(input.textBytes(), step.expected) << (step.pushed ? step.pushed : "pop");
  }
}

TEST_F(InputBufferTest, OnlyRegularFilesOpen) {
  InputBuffer input(&includePath_);
  // A device reads without end, a pipe may never end: neither opens.
  EXPECT_FALSE(input.openFile("/dev/zero", 1));
  EXPECT_FALSE(input.openFile("/dev/null", 1));
  std::string fifo = (folder_ / "pipe.asm").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opening a pipe for reading waits for a writer; a writer that opens without
  // waiting keeps this test from hanging when the refusal is gone.
  int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  EXPECT_FALSE(input.openFile(fifo.c_str(), 1));
  ::close(writer);
  EXPECT_TRUE(input.isExhausted());
  EXPECT_TRUE(dependencies_.files().empty());
}

TEST_F(InputBufferTest, LineCounterCountsTheNewlinesReadInAFile) {
  std::string path = writeFile("t.asm", "a\nb\r\n\nc");
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile(path.c_str(), 1));
  std::vector<int32_t> lineAtEachCharacter;
  for (int c; (c = input.readChar()) != 0;)
    lineAtEachCharacter.push_back(input.isExhausted() ? -1 : input.top()->line);
  // a \n b \n \n c \n: the counter moves on with each newline read.
  EXPECT_EQ(lineAtEachCharacter, (std::vector<int32_t>{1, 2, 2, 3, 4, 4, 5}));
  EXPECT_EQ(input.endFileId, lineState()->findSourceFile(path.c_str()));
  EXPECT_EQ(input.endLine, 5);
}

TEST_F(InputBufferTest, TextSourcesDeliverEveryByteAndOnlyTheBottomOneGetsANewline) {
  std::string path = writeFile("t.asm", "f1\nf2\n");
  {
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    ASSERT_TRUE(input.startLine());
    EXPECT_EQ(input.readChar(), 'f');
    const char text[] = "T\r\x1a";
    input.pushText(text, 3);
    EXPECT_EQ(input.top()->kind, InputBuffer::kTextSource);
    EXPECT_EQ(input.top()->fileId, lineState()->findSourceFile(path.c_str()));
    EXPECT_EQ(input.top()->line, 1);
    // The text as it is, then the file where it stood: the text gets no newline.
    EXPECT_EQ(drain(input), "T\r\x1a" "1\nf2\n");
  }
  {
    InputBuffer input(&includePath_);
    input.pushText("abc", 3);
    EXPECT_EQ(input.top()->fileId, -1);
    EXPECT_EQ(drain(input), "abc\n");
    EXPECT_EQ(input.endLine, 0);
  }
  {
    // A text is a C string to the readers: its NUL ends it.
    InputBuffer input(&includePath_);
    input.pushText("ab\0cd", 5);
    EXPECT_EQ(drain(input), "ab\n");
  }
}

TEST_F(InputBufferTest, LoadLineAppendsTheNextLineAndKeepsTheCursor) {
  std::string path = writeFile("t.asm", "one\\\n" + std::string(300, 'b') + "\nthree\n");
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile(path.c_str(), 1));
  ASSERT_TRUE(input.startLine());
  for (int i = 0; i < 5; ++i) input.readChar();
  const char* start = input.lineBufferStart();
  EXPECT_EQ(input.cursor() - start, 5);
  // The buffer grows from its first 80 bytes: the cursor follows it.
  input.loadLine();
  start = input.lineBufferStart();
  EXPECT_EQ(input.cursor() - start, 5);
  EXPECT_EQ(std::string(start), "one\\\n" + std::string(300, 'b') + "\n");
  EXPECT_EQ(drain(input), std::string(300, 'b') + "\nthree\n");
}

TEST_F(InputBufferTest, PoppingLeavesTheBottomSource) {
  std::string a = writeFile("a.asm", "a\n");
  std::string b = writeFile("b.asm", "b\n");
  InputBuffer input(&includePath_);
  EXPECT_EQ(input.popSource(), 0);
  ASSERT_TRUE(input.openFile(a.c_str(), 1));
  EXPECT_EQ(input.popSource(), 0);
  ASSERT_TRUE(input.openFile(b.c_str(), 1));
  input.pushText("t", 1);
  EXPECT_EQ(input.popSource(), 1);
  EXPECT_EQ(input.popSource(), 1);
  EXPECT_EQ(input.popSource(), 0);
  ASSERT_FALSE(input.isExhausted());
  EXPECT_EQ(input.top()->fileId, lineState()->findSourceFile(a.c_str()));
  EXPECT_EQ(drain(input), "a\n");
}

TEST_F(InputBufferTest, ATextSourcePushedAfterAnotherStartsFresh) {
  // The second push may reuse what the first left behind: nothing of it may show.
  std::string file = writeFile("f.asm", "x\ny\n");
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile(file.c_str(), 1));
  input.loadLine();
  input.pushText(std::string(200, 'a').c_str(), 200);
  InputBuffer::InputSource* first = input.top();
  first->blankRuns = 3;
  first->tokenStart = first->cursor;
  first->lineOffset = 9;
  first->started = true;
  input.readChar();
  EXPECT_EQ(input.popSource(), 1);
  input.innermostFileSource()->line = 7;
  input.pushText("bc", 2);
  InputBuffer::InputSource* second = input.top();
  EXPECT_EQ(second->kind, InputBuffer::kTextSource);
  EXPECT_EQ(second->outer, input.innermostFileSource());
  EXPECT_EQ(second->line, 7);
  EXPECT_EQ(second->fileId, lineState()->findSourceFile(file.c_str()));
  EXPECT_EQ(second->blankRuns, 0);
  EXPECT_EQ(second->lineOffset, 0);
  EXPECT_FALSE(second->started);
  EXPECT_EQ(second->tokenStart, nullptr);
  EXPECT_EQ(second->previousChar, 0);
  EXPECT_EQ(std::string(input.lineBufferStart()), "bc");
  EXPECT_EQ(second->lineEnd - second->cursor, 2);
  EXPECT_EQ(input.readChar(), 'b');
  EXPECT_EQ(input.readChar(), 'c');
}

TEST_F(InputBufferTest, StartLineRetiresFinishedSourcesBeforeTheLineBegins) {
  std::string outer = writeFile("outer.asm", "o1\n");
  std::string inner = writeFile("inner.asm", "i1\n");
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile(outer.c_str(), 1));
  ASSERT_TRUE(input.openFile(inner.c_str(), 1));
  ASSERT_TRUE(input.startLine());
  EXPECT_EQ(drain(input), "i1\no1\n");
  // The outer file had not loaded a line when the inner one was pushed.
  InputBuffer again(&includePath_);
  ASSERT_TRUE(again.openFile(outer.c_str(), 1));
  ASSERT_TRUE(again.openFile(inner.c_str(), 1));
  for (int i = 0; i < 3; ++i) again.readChar();
  ASSERT_TRUE(again.startLine());
  EXPECT_EQ(again.top()->fileId, lineState()->findSourceFile(outer.c_str()));
  EXPECT_EQ(again.top()->line, 1);
  EXPECT_EQ(drain(again), "o1\n");
  EXPECT_FALSE(again.startLine());
}

TEST_F(InputBufferTest, OpenedFilesAreDependenciesOnceAndDirectoriesDoNotOpen) {
  std::string a = writeFile("a.asm", "a\n");
  std::filesystem::create_directories(folder_ / "dir.asm");
  InputBuffer input(&includePath_);
  EXPECT_FALSE(input.openFile((folder_ / "missing.asm").c_str(), 1));
  EXPECT_FALSE(input.openFile((folder_ / "dir.asm").c_str(), 1));
  EXPECT_TRUE(input.isExhausted());
  EXPECT_TRUE(dependencies_.files().empty());
  EXPECT_EQ(lineState()->fileCount(), 0);
  ASSERT_TRUE(input.openFile(a.c_str(), 1));
  ASSERT_TRUE(input.openFile(a.c_str(), 1));
  EXPECT_EQ(dependencies_.files(), std::vector<std::string>{a});
  EXPECT_EQ(lineState()->fileCount(), 1);
}

TEST_F(InputBufferTest, DashReadsTheStandardInputAndIsNoDependency) {
  std::string path = writeFile("stdin.txt", "from stdin\n");
  withStandardInput(path, O_RDONLY, [&] {
    {
      InputBuffer input(&includePath_);
      ASSERT_TRUE(input.openFile("-", 1));
      EXPECT_STREQ(lineState()->sourceFile(input.top()->fileId), "-");
      EXPECT_EQ(drain(input), "from stdin\n");
    }
    EXPECT_TRUE(dependencies_.files().empty());
    // The standard input is not closed behind the reader.
    EXPECT_NE(::fcntl(0, F_GETFD), -1);
  });
}

TEST_F(InputBufferTest, IncludesAreSearchedBesideTheFileBeingReadThenAlongThePath) {
  writeFile("src/t.asm", "t\n");
  writeFile("src/both.inc", "src\n");
  writeFile("i1/both.inc", "i1\n");
  writeFile("i1/first.inc", "i1\n");
  writeFile("i2/first.inc", "i2\n");
  writeFile("i2/second.inc", "i2\n");
  writeFile("src/sub/nested.inc", "nested\n");
  std::string i1 = (folder_ / "i1").string();
  std::string i2 = (folder_ / "i2").string();
  includePath_ = {i1.c_str(), i2.c_str()};
  struct Case {
    const char* name;
    bool skipCurrentDirectory;
    const char* found;  // below the test folder; null when nothing opens
  };
  const Case cases[] = {
      {"both.inc", false, "src/both.inc"},
      {"both.inc", true, "i1/both.inc"},
      {"first.inc", false, "i1/first.inc"},
      {"second.inc", false, "i2/second.inc"},
      {"sub/nested.inc", false, "src/sub/nested.inc"},
      {"./sub/../both.inc", false, "src/both.inc"},
      {"none.inc", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile((folder_ / "src/t.asm").c_str(), 1));
    ASSERT_TRUE(input.startLine());
    bool opened = input.openInclude(c.name, c.skipCurrentDirectory);
    EXPECT_EQ(opened, c.found != nullptr);
    if (opened && c.found) {
      // Lines are recorded under the joined name.
      EXPECT_EQ(std::string(lineState()->sourceFile(input.top()->fileId)),
                (folder_ / c.found).string());
    }
  }
}

TEST_F(InputBufferTest, HeaderFilesAreSearchedBesideTheInputNotBesideEachOther) {
  writeFile("src/t.asm", "t\n");
  writeFile("src/regs.def", "src\n");
  writeFile("inc/b.def", "b\n");
  writeFile("inc/regs.def", "inc\n");
  std::string inc = (folder_ / "inc").string();
  includePath_ = {inc.c_str()};
  InputBuffer input(&includePath_);
  ASSERT_TRUE(input.openFile((folder_ / "src/t.asm").c_str(), 1));
  // Pushed ahead of reading, the later -H file first.
  ASSERT_TRUE(input.openInclude("b.def", false));
  ASSERT_TRUE(input.openInclude("regs.def", false));
  EXPECT_EQ(std::string(lineState()->sourceFile(input.top()->fileId)),
            (folder_ / "src/regs.def").string());
  EXPECT_EQ(drain(input), "src\nb\nt\n");
}

TEST_F(InputBufferTest, FilesNestDeeperThanTheLimitEndTheRunWithAClearMessage) {
  std::string self = writeFile("self.inc", "x\n");
  InputBuffer input(&includePath_);
  for (int32_t depth = 1; depth <= InputBuffer::kMaxFileDepth; ++depth)
    ASSERT_TRUE(input.openFile(self.c_str(), 1)) << depth;
  // Text sources do not count: only files.
  input.pushText("t", 1);
  EXPECT_EXIT(input.openFile(self.c_str(), 1), testing::ExitedWithCode(2),
              "vekt F007: files nested deeper than 256 levels when opening \".*self.inc\"");
  // Once some are retired, files open again.
  EXPECT_EQ(input.popSource(), 1);
  EXPECT_EQ(input.popSource(), 1);
  EXPECT_TRUE(input.openFile(self.c_str(), 1));
}

TEST_F(InputBufferTest, AFailingReadIsF002WithTheSystemText) {
  // A directory opens as the standard input, and reading it fails.
  withStandardInput(folder_.string(), O_RDONLY | O_DIRECTORY, [&] {
    InputBuffer input(&includePath_);
    EXPECT_EXIT(input.openFile("-", 1), testing::ExitedWithCode(2),
                "vekt F002: error reading \"-\": Is a directory");
  });
}

TEST_F(InputBufferTest, TokenAccessorsWorkOnTheTopSource) {
  InputBuffer input(&includePath_);
  input.pushText(";; rest", 7);
  const char* start = input.lineBufferStart();
  input.tokenStart() = start;
  input.cursor() = start + 2;
  struct Case {
    const char* prefix;
    bool begins;
  };
  const Case cases[] = {{";", true}, {";;", true}, {";; r", true}, {"#", false},
                        {";x", false}, {"", false}, {nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix ? c.prefix : "(null)");
    EXPECT_EQ(input.tokenBeginsWith(c.prefix), c.begins);
  }
  EXPECT_STREQ(input.tokenText(), ";;");
  EXPECT_EQ(input.tokenText(), stringBuffer()->intern(";;"));
  ++input.blankRuns();
  EXPECT_EQ(input.top()->blankRuns, 1);
}

}  // namespace
