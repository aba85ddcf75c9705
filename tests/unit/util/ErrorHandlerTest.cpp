#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

namespace {

constexpr uint32_t kNoLine = 0xFFFFFFFFu;

// A handler with its own managers, writing to an error file that the test reads back.
class ErrorHandlerTest : public testing::Test {
 protected:
  void SetUp() override {
    runState().lineState->addSourceFile("inc.inc");
    handler_ = new ErrorHandler();
    // Named for the process: test runs of other build trees share the temporary folder.
    path_ = testing::TempDir() + "vekt_diag_" + std::to_string(getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name() + ".ers";
    handler_->openErrorFile(path_.c_str());
  }

  void TearDown() override {
    delete handler_;
    std::remove(path_.c_str());
  }

  LineInfo* line(uint32_t number, uint32_t file = 0, ControlState* state = nullptr) {
    LineInfo& info = *lines_.emplace_back(new LineInfo());
    info.lineNumber = number;
    info.sourceFile = file;
    info.controlState = state;
    return &info;
  }

  // The error file goes in place only when the run ends; until then it is read through
  // the handler's own stream. A child that ended fatally has put it in place already,
  // under the same inode, so the stream reads what the child wrote.
  std::string output() const {
    std::FILE* stream = handler_->outputStream();
    if (stream == stderr) {
      std::ifstream in(path_);
      std::stringstream text;
      text << in.rdbuf();
      return text.str();
    }
    std::fflush(stream);
    std::string text;
    char chunk[4096];
    off_t offset = 0;
    ssize_t got;
    while ((got = pread(fileno(stream), chunk, sizeof chunk, offset)) > 0) {
      text.append(chunk, static_cast<size_t>(got));
      offset += got;
    }
    return text;
  }

  std::string finish() {
    handler_->printRecorded(handler_->outputStream());
    return output();
  }

  ErrorHandler& handler() { return *handler_; }

  // The handler under test is the fixture's own, not the process-wide one.
  ScopedManagers managers_{ScopedManagers::kStrings | ScopedManagers::kLines |
                           ScopedManagers::kOptions};
  std::string path_;
  std::deque<std::unique_ptr<LineInfo>> lines_;  // from the line arena, which links need
  ErrorHandler* handler_ = nullptr;
};

using ErrorHandlerDeathTest = ErrorHandlerTest;

TEST_F(ErrorHandlerTest, PositionlessMessagePrintsAtOncePositionedWaitsForTheEnd) {
  handler().report(E_symbol_undefined, line(5), "a");
  handler().reportWithoutLocation(W_additional_input_ignored);
  EXPECT_EQ(output(), "vekt W244: additional input files will be ignored\n");
  EXPECT_EQ(finish(),
            "vekt W244: additional input files will be ignored\n"
            "vekt E205: [\"t.asm\" 5] unknown symbol \"a\"\n");
}

TEST_F(ErrorHandlerTest, KeptMessagesPrintByLineNumberTiesInRaiseOrder) {
  handler().report(E_symbol_undefined, line(30), "late");
  handler().report(E_multiple_defined_symbol, line(3), "x", 1);
  handler().report(E_unexpected_eol, line(kNoLine));
  handler().report(W_symbol_not_used, line(2, 1), "u");
  LineInfo* shared = line(3);
  handler().report(E_symbol_undefined, shared, "tie");
  handler().report(E_syntax_unexpected_error, shared, "+");
  EXPECT_EQ(finish(),
            "vekt W202: [\"inc.inc\" 2] symbol \"u\" defined but not used\n"
            "vekt E168: [\"t.asm\" 3] symbol \"x\" already defined at line 1\n"
            "vekt E205: [\"t.asm\" 3] unknown symbol \"tie\"\n"
            "vekt E208: [\"t.asm\" 3] syntax error: + unexpected\n"
            "vekt E205: [\"t.asm\" 30] unknown symbol \"late\"\n"
            "vekt E210: unexpected end of line\n");
}

TEST_F(ErrorHandlerTest, IdenticalTextAtTheSamePositionIsKeptOnce) {
  struct Report {
    int slot;  // 0 and 1: two positions of line 4; 2: line 9
    const char* name;
  };
  struct Case {
    std::vector<Report> reports;
    int expectedLines;
  };
  const Case cases[] = {
      {{{0, "x"}, {0, "x"}}, 1},
      {{{0, "x"}, {0, "y"}}, 2},
      {{{0, "x"}, {1, "x"}}, 2},
      {{{0, "x"}, {2, "x"}}, 2},
      {{{0, "x"}, {1, "y"}, {0, "x"}}, 2},  // a record of another position in between
  };
  for (const Case& c : cases) {
    ErrorHandler local;
    LineInfo* slots[] = {line(4), line(4), line(9)};
    for (const Report& r : c.reports) local.report(E_symbol_undefined, slots[r.slot], r.name);
    int printed = 0;
    for (ErrorHandler::ErrorIter it(local); !it.isDone(); it.next()) ++printed;
    EXPECT_EQ(printed, c.expectedLines) << "case with " << c.reports.size() << " reports";
    EXPECT_TRUE(local.errorFlag());
  }
}

// A repeat block or a macro gives many lines one line number: recording stays fast and
// each line keeps its own records; a line record that is used again for another line
// number (as a driver that reuses one record does) starts afresh there.
TEST_F(ErrorHandlerTest, ManyLinesOfOneLineNumberKeepTheirOwnRecords) {
  ErrorHandler local;
  constexpr int kLines = 50000;
  std::vector<LineInfo*> same;
  for (int i = 0; i < kLines; ++i) same.push_back(line(7));
  for (LineInfo* at : same) {
    local.report(E_symbol_undefined, at, "x");
    local.report(E_symbol_undefined, at, "x");
  }
  int printed = 0;
  for (ErrorHandler::ErrorIter it(local); !it.isDone(); it.next()) ++printed;
  EXPECT_EQ(printed, kLines);

  LineInfo* reused = line(1);
  local.report(E_symbol_undefined, reused, "y");
  reused->lineNumber = 2;
  local.report(E_symbol_undefined, reused, "y");
  EXPECT_TRUE(local.hasErrorAt(reused));
  printed = 0;
  for (ErrorHandler::ErrorIter it(local); !it.isDone(); it.next()) ++printed;
  EXPECT_EQ(printed, kLines + 2);
}

TEST_F(ErrorHandlerTest, WarningControlsSuppressAndPromote) {
  const int32_t byNumber = messages::indexOfNumber(202);
  struct Case {
    bool allOff;
    bool asErrors;
    int32_t suppressed;
    int32_t promoted;
    const char* expected;
    bool errorFlag;
  };
  const char* plain = "vekt W202: [\"t.asm\" 7] symbol \"s\" defined but not used\n";
  const char* promoted = "vekt E202: [\"t.asm\" 7] symbol \"s\" defined but not used\n";
  const Case cases[] = {
      {false, false, 0, 0, plain, false},
      {true, false, 0, 0, "", false},
      {false, false, byNumber, 0, "", false},
      {false, false, W_symbol_not_used + 1, 0, plain, false},
      {false, true, 0, 0, promoted, true},
      {false, false, 0, byNumber, promoted, true},
      {true, false, 0, byNumber, promoted, true},  // promotion wins over suppression
      {false, true, byNumber, 0, promoted, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "allOff " << c.allOff << " asErrors " << c.asErrors
                                    << " suppressed " << c.suppressed << " promoted " << c.promoted);
    ControlState state;
    state.allWarningsOff = c.allOff;
    state.warningsAsErrors = c.asErrors;
    if (c.suppressed) state.suppressedWarnings.insert(c.suppressed);
    if (c.promoted) state.promotedWarnings.insert(c.promoted);
    ErrorHandler local;
    std::FILE* stream = std::tmpfile();
    local.report(W_symbol_not_used, line(7, 0, &state), "s");
    local.printRecorded(stream);
    std::rewind(stream);
    char text[200] = "";
    size_t length = std::fread(text, 1, sizeof text - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(text, length), c.expected);
    EXPECT_EQ(local.errorFlag(), c.errorFlag);
    EXPECT_EQ(local.promotedCount(), c.errorFlag ? 1 : 0);
    EXPECT_EQ(local.warningCount(), !c.errorFlag && *c.expected ? 1 : 0);
    EXPECT_EQ(local.errorCount(), 0);
  }
}

TEST_F(ErrorHandlerTest, ErrorFlagFollowsEffectiveSeverity) {
  ControlState allOff;
  allOff.allWarningsOff = true;
  struct Case {
    int32_t id;
    ControlState* state;
    bool errorFlag;
  };
  const Case cases[] = {
      {W_symbol_not_used, nullptr, false},
      {I_message_info, nullptr, false},
      {E_message_error, nullptr, true},
      {E_message_error, &allOff, true},  // the warning controls leave errors alone
      {E_no_section_active, nullptr, false},  // identifier says E, the record says W
  };
  for (const Case& c : cases) {
    ErrorHandler local;
    local.report(c.id, line(1, 0, c.state), "m");
    EXPECT_EQ(local.errorFlag(), c.errorFlag) << c.id;
  }
}

TEST_F(ErrorHandlerTest, ErrorLimitZeroPrintsEveryError) {
  handler().setErrorLimit(0);
  for (uint32_t number = 1; number <= 100; ++number)
    handler().report(E_symbol_undefined, line(number), "e");
  std::string printed = finish();
  EXPECT_EQ(handler().errorCount(), 100);
  EXPECT_EQ(printed.find("F013"), std::string::npos);
}

TEST_F(ErrorHandlerTest, ResetCountsLetsTheFinalPrintingCountAfresh) {
  for (uint32_t number = 1; number <= 43; ++number)
    handler().report(E_symbol_undefined, line(number), "e");
  handler().report(W_symbol_not_used, line(1), "w");
  EXPECT_EQ(handler().errorCount(), 0);  // recorded, not yet printed
  handler().resetCounts();
  std::string printed = finish();
  EXPECT_EQ(handler().errorCount(), 43);
  EXPECT_EQ(printed.find("F013"), std::string::npos);
}

TEST_F(ErrorHandlerTest, RecordsPrintOnceHoweverOftenTheyArePrinted) {
  handler().report(E_symbol_undefined, line(2), "e");
  handler().report(W_symbol_not_used, line(1), "w");
  std::string first = finish();
  EXPECT_NE(first.find("E"), std::string::npos);
  handler().report(E_symbol_undefined, line(3), "later");
  std::string second = finish();
  // Only the record that came after the first print is new.
  EXPECT_EQ(second.substr(first.size()).find("\"e\""), std::string::npos);
  EXPECT_NE(second.substr(first.size()).find("later"), std::string::npos);
  EXPECT_EQ(handler().errorCount(), 2);
}

TEST_F(ErrorHandlerDeathTest, PrintingBeyondTheErrorLimitEndsWithF013) {
  struct Case {
    int32_t limit;
    int errors;
    bool warningAfter;
    int printedErrors;
    const char* last;
  };
  const Case cases[] = {
      {42, 44, false, 43, "vekt F013: More than 42 errors, aborting\n"},
      {42, 43, true, 43, "vekt F013: More than 42 errors, aborting\n"},
      {3, 10, false, 4, "vekt F013: More than 3 errors, aborting\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << " errors " << c.errors);
    handler().setErrorLimit(c.limit);
    handler().openErrorFile(path_.c_str());  // each child writes a fresh file
    EXPECT_EXIT(
        {
          for (int number = 1; number <= c.errors; ++number)
            handler().report(E_symbol_undefined, line(static_cast<uint32_t>(number)), "e");
          if (c.warningAfter) handler().report(W_symbol_not_used, line(1000), "w");
          finish();
        },
        testing::ExitedWithCode(2), "");
    std::string printed = output();
    int errorLines = 0;
    for (size_t at = printed.find("vekt E205"); at != std::string::npos;
         at = printed.find("vekt E205", at + 1))
      ++errorLines;
    EXPECT_EQ(errorLines, c.printedErrors);
    ASSERT_GE(printed.size(), std::strlen(c.last));
    EXPECT_EQ(printed.substr(printed.size() - std::strlen(c.last)), c.last);
    EXPECT_EQ(printed.find("W202"), std::string::npos);
  }
}

TEST_F(ErrorHandlerDeathTest, FatalAndInternalMessagesPrintWhatWasKeptAndExitWith2) {
  struct Case {
    const char* name;
    std::function<void(ErrorHandler&, LineInfo*)> raise;
    const char* expected;
  };
  const char* early = "vekt E205: [\"t.asm\" 2] unknown symbol \"early\"\n";
  const char* later = "vekt E205: [\"t.asm\" 7] unknown symbol \"later\"\n";
  const Case cases[] = {
      {"positionless fatal prints first",
       [](ErrorHandler& h, LineInfo*) { h.reportWithoutLocation(F_cannot_open, "x.inc"); },
       "vekt F001: cannot open \"x.inc\"\n"},
      {"positioned fatal prints in line order",
       [](ErrorHandler& h, LineInfo* at5) { h.report(F_message_fatal, at5, "stop"); }, nullptr},
      {"internal error",
       [](ErrorHandler& h, LineInfo*) {
         h.reportWithoutLocation(S_should_not_happen, "Section", 12, "bad");
       },
       "vekt S901: assertion failed at \"Section\", line 12: bad\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    handler().openErrorFile(path_.c_str());  // each child writes a fresh file
    EXPECT_EXIT(
        {
          handler().report(E_symbol_undefined, line(7), "later");
          handler().report(E_symbol_undefined, line(2), "early");
          c.raise(handler(), line(5));
        },
        testing::ExitedWithCode(2), "");
    std::string expected = c.expected ? std::string(c.expected) + early + later
                                      : std::string(early) +
                                            "vekt F007: [\"t.asm\" 5] stop\n" + later;
    EXPECT_EQ(output(), expected);
  }
}

TEST_F(ErrorHandlerDeathTest, TooManyErrorsEndsWithoutPrintingKeptRecords) {
  EXPECT_EXIT(
      {
        handler().report(E_symbol_undefined, line(7), "kept");
        handler().reportWithoutLocation(F_too_many_errors, 42);
      },
      testing::ExitedWithCode(2), "");
  EXPECT_EQ(output(), "vekt F013: More than 42 errors, aborting\n");
}

TEST_F(ErrorHandlerTest, ErrorFileFallsBackToStandardError) {
  struct Case {
    const char* name;
    bool toFile;
  };
  std::string writable = testing::TempDir() + "vekt_diag_other_" + std::to_string(getpid()) + ".ers";
  const Case cases[] = {
      {"/nonexistent-directory/sub/out.ers", false},
      {nullptr, false},
      {writable.c_str(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "no name");
    handler().openErrorFile(c.name);
    EXPECT_EQ(handler().outputStream() != stderr, c.toFile);
    testing::internal::CaptureStderr();
    handler().reportWithoutLocation(W_additional_input_ignored);
    std::string onStderr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(onStderr.empty(), c.toFile) << onStderr;
    if (!c.toFile) {
      EXPECT_EQ(onStderr, "vekt W244: additional input files will be ignored\n");
    }
  }
  handler().openErrorFile(nullptr);
  std::remove(writable.c_str());
}

TEST_F(ErrorHandlerTest, LongTextsAreFormattedWhole) {
  std::string name(10000, 'n');
  const char* first = handler().formatMessage(E_symbol_undefined, name.c_str());
  EXPECT_EQ(first, "E205: unknown symbol \"" + name + "\"");
  const char* again = handler().formatMessage(E_symbol_undefined, name.c_str());
  EXPECT_EQ(again, first) << "equal texts are interned once";
  EXPECT_STREQ(handler().formatMessage(E_symbol_undefined, "s"), "E205: unknown symbol \"s\"");
  handler().report(E_symbol_undefined, line(1), name.c_str());
  EXPECT_EQ(finish(), "vekt E205: [\"t.asm\" 1] unknown symbol \"" + name + "\"\n");
}

TEST_F(ErrorHandlerTest, NumericConversionsPrintTheirFullWidth) {
  struct Case {
    std::function<const char*(ErrorHandler&)> format;
    const char* expected;
  };
  const Case cases[] = {
      {[](ErrorHandler& h) {
         return h.formatMessage(E_address_out_of_range, int64_t{-5}, uint64_t{0}, UINT64_MAX);
       },
       "E104: address -5 out of range (0 - FFFFFFFFFFFFFFFF hexadecimal)"},
      {[](ErrorHandler& h) { return h.formatMessage(E_range_error_dec, INT64_MIN, INT64_MAX); },
       "E218: expression out of range (-9223372036854775808 and 9223372036854775807 decimal)"},
      {[](ErrorHandler& h) {
         return h.formatMessage(W_range_error_hex, uint64_t{0x8000000000000000u}, uint64_t{0xAB});
       },
       "W221: expression out of range (8000000000000000 and AB hexadecimal)"},
      {[](ErrorHandler& h) { return h.formatMessage(E_multiple_defined_symbol, "x", int32_t{-1}); },
       "E168: symbol \"x\" already defined at line -1"},
      {[](ErrorHandler& h) { return h.formatMessage(E_invalid_input_character, 0x7f); },
       "E296: invalid character found in input: 7F (hex)"},
      {[](ErrorHandler& h) { return h.formatMessage(E_no_section_active); },
       "W179: no active section, default section activated"},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.format(handler()), c.expected);
}

TEST_F(ErrorHandlerTest, ReportTextTakesTheIdentifierFromTheNumber) {
  ControlState suppressing;
  suppressing.suppressedWarnings.insert(W_symbol_not_used);
  ControlState promoting;
  promoting.promotedWarnings.insert(W_symbol_not_used);
  const char* warning = handler().formatMessage(W_symbol_not_used, "s");

  handler().reportText(warning, line(1, 0, &suppressing));
  EXPECT_FALSE(handler().errorFlag());
  handler().reportText(warning, line(2, 0, &promoting));
  EXPECT_TRUE(handler().errorFlag());

  char ownBuffer[32] = "E999: not in the catalog";
  handler().reportText(ownBuffer, line(3));
  ownBuffer[0] = '\0';  // the handler must have kept its own copy
  EXPECT_EQ(finish(),
            "vekt E202: [\"t.asm\" 2] symbol \"s\" defined but not used\n"
            "vekt E999: [\"t.asm\" 3] not in the catalog\n");
  EXPECT_EQ(handler().errorCount(), 1);
}

TEST_F(ErrorHandlerTest, HasErrorAtAnswersForErrorsAndPromotedWarningsOfThatPosition) {
  ControlState promoting;
  promoting.warningsAsErrors = true;
  LineInfo* warned = line(1);
  LineInfo* failed = line(2);
  LineInfo* sameNumber = line(2);
  LineInfo* promoted = line(3, 0, &promoting);
  LineInfo* clean = line(4);
  handler().report(W_symbol_not_used, warned, "w");
  handler().report(E_symbol_undefined, failed, "e");
  handler().report(W_symbol_not_used, promoted, "p");
  struct Case {
    LineInfo* position;
    bool expected;
  };
  const Case cases[] = {
      {warned, false}, {failed, true}, {sameNumber, false}, {promoted, true}, {clean, false},
      {nullptr, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(handler().hasErrorAt(c.position), c.expected)
        << (c.position ? c.position->lineNumber : 0);
}

TEST_F(ErrorHandlerTest, IteratorSeeksToTheFirstRecordAtOrAfterALine) {
  const uint32_t numbers[] = {9, 1, 5, 5};
  for (uint32_t number : numbers) handler().report(E_symbol_undefined, line(number), "e");
  struct Case {
    uint32_t seekTo;
    int remaining;
  };
  const Case cases[] = {{0, 4}, {1, 4}, {5, 3}, {6, 1}, {9, 1}, {10, 0}};
  for (const Case& c : cases) {
    ErrorHandler::ErrorIter it(handler());
    it.seek(line(c.seekTo));
    int remaining = 0;
    for (; !it.isDone(); it.next()) {
      EXPECT_GE(it.current()->position->lineNumber, c.seekTo);
      ++remaining;
    }
    EXPECT_EQ(remaining, c.remaining) << "seek to " << c.seekTo;
    EXPECT_EQ(it.current(), nullptr);
    it.first();
    EXPECT_EQ(it.current()->position->lineNumber, 1u);
  }
}

// The list file asks for the records of each line: it gets those of that line alone,
// in the order the walk in line order meets them (the preprocessor's before the later
// stages', each in the order they came), among records of many lines of one number.
TEST_F(ErrorHandlerTest, RecordsAtALineAreItsOwnInTheOrderOfTheWalk) {
  ErrorHandler local;
  std::vector<LineInfo*> same;
  for (int i = 0; i < 200; ++i) same.push_back(line(4));
  LineInfo* renumbered = line(4);
  // Recorded in mixed stages and out of stage order.
  for (size_t i = 0; i < same.size(); ++i) {
    local.setPreprocessorStage(i % 3 == 0);
    local.report(E_symbol_undefined, same[i], "a");
    local.setPreprocessorStage(i % 2 == 0);
    local.report(E_symbol_undefined, same[i], "b");
    if (i % 5 == 0) local.report(E_symbol_undefined, same[i], "c");
  }
  local.report(E_symbol_undefined, renumbered, "r");
  renumbered->lineNumber = 5;

  auto texts = [](const std::vector<const ErrorLine*>& records) {
    std::vector<std::string> result;
    for (const ErrorLine* record : records) result.emplace_back(record->text);
    return result;
  };
  std::vector<const ErrorLine*> found;
  for (LineInfo* at : same) {
    std::vector<const ErrorLine*> walked;
    for (ErrorHandler::ErrorIter it(local); !it.isDone(); it.next())
      if (it.current()->position == at) walked.push_back(it.current());
    local.recordsAt(at, found);
    ASSERT_EQ(texts(found), texts(walked));
    ASSERT_EQ(found, walked);
  }
  // A record keeps the number its line had: the line renumbered since has none.
  local.recordsAt(renumbered, found);
  EXPECT_TRUE(found.empty());
  local.recordsAt(line(4), found);
  EXPECT_TRUE(found.empty());
  local.recordsAt(nullptr, found);
  EXPECT_TRUE(found.empty());
}

}  // namespace
