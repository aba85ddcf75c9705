#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

class LineStateTest : public PreprocTest {
 protected:
  // Three lines numbered 1, 2, 3 of file 0.
  std::vector<LineInfo*> threeLines(LineState& state) {
    std::vector<LineInfo*> made;
    for (int32_t number = 1; number <= 3; ++number)
      made.push_back(state.appendLine("x\n", 0, number, 0));
    return made;
  }
};

std::vector<int> forward(const LineState& state) {
  std::vector<int> order;
  for (LineInfo* line = state.first(); line; line = line->next)
    order.push_back(line->lineNumberSigned());
  return order;
}

std::vector<int> backward(const LineState& state) {
  std::vector<int> order;
  for (LineInfo* line = state.last(); line; line = line->previous)
    order.insert(order.begin(), line->lineNumberSigned());
  return order;
}

enum class Op {
  AppendLine,
  AppendRange,
  AppendLineNamed,
  AppendRangeNamed,
  InsertLine,
  InsertRangeBefore,
  InsertLineNamed,
  InsertRangeBeforeNamed,
  InsertLineAfter,
  InsertRangeAfter,
  InsertLineAfterNamed,
  InsertRangeAfterNamed,
};

// Makes line 9 (base 7, bias 2) with the text "new\n" through the operation; the
// range forms get the range "new\n" out of a longer text.
constexpr char kRange[] = "new\nrest";
constexpr char kText[] = "new\n";

// Whether the text is one of the caller's buffers above rather than a copy.
bool isCallersBuffer(const char* text) {
  return text == kText || (text >= kRange && text < kRange + sizeof kRange);
}

LineInfo* make(LineState& state, Op op, LineInfo* anchor) {
  const char* text = kText;
  const char* from = kRange;
  const char* to = kRange + 4;
  const char* name = "b.inc";
  switch (op) {
    case Op::AppendLine: return state.appendLine(text, 1, 7, 2);
    case Op::AppendRange: return state.appendRange(from, to, 1, 7, 2);
    case Op::AppendLineNamed: return state.appendLineNamed(text, name, 7, 2);
    case Op::AppendRangeNamed: return state.appendRangeNamed(from, to, name, 7, 2);
    case Op::InsertLine: return state.insertLine(anchor, text, 1, 7, 2);
    case Op::InsertRangeBefore: return state.insertRangeBefore(anchor, from, to, 1, 7, 2);
    case Op::InsertLineNamed: return state.insertLineNamed(anchor, text, name, 7, 2);
    case Op::InsertRangeBeforeNamed:
      return state.insertRangeBeforeNamed(anchor, from, to, name, 7, 2);
    case Op::InsertLineAfter: return state.insertLineAfter(anchor, text, 1, 7, 2);
    case Op::InsertRangeAfter: return state.insertRangeAfter(anchor, from, to, 1, 7, 2);
    case Op::InsertLineAfterNamed:
      return state.insertLineAfterNamed(anchor, text, name, 7, 2);
    case Op::InsertRangeAfterNamed:
      return state.insertRangeAfterNamed(anchor, from, to, name, 7, 2);
  }
  return nullptr;
}

TEST_F(LineStateTest, EveryLineOperationLinksTheNewLineWhereItBelongs) {
  struct Case {
    const char* what;
    Op op;
    int anchor;  // index into the lines 1, 2, 3; -1 for no anchor
    std::vector<int> order;
  };
  const Case cases[] = {
      {"append", Op::AppendLine, -1, {1, 2, 3, 9}},
      {"append range", Op::AppendRange, -1, {1, 2, 3, 9}},
      {"append named", Op::AppendLineNamed, -1, {1, 2, 3, 9}},
      {"append range named", Op::AppendRangeNamed, -1, {1, 2, 3, 9}},
      {"before the head", Op::InsertLine, 0, {9, 1, 2, 3}},
      {"before an inner line", Op::InsertLine, 1, {1, 9, 2, 3}},
      {"before the tail", Op::InsertLine, 2, {1, 2, 9, 3}},
      {"before nothing appends", Op::InsertLine, -1, {1, 2, 3, 9}},
      {"range before the head", Op::InsertRangeBefore, 0, {9, 1, 2, 3}},
      {"range before nothing appends", Op::InsertRangeBefore, -1, {1, 2, 3, 9}},
      {"named before an inner line", Op::InsertLineNamed, 1, {1, 9, 2, 3}},
      {"range named before the tail", Op::InsertRangeBeforeNamed, 2, {1, 2, 9, 3}},
      {"after the head", Op::InsertLineAfter, 0, {1, 9, 2, 3}},
      {"after the tail", Op::InsertLineAfter, 2, {1, 2, 3, 9}},
      {"after nothing appends", Op::InsertLineAfter, -1, {1, 2, 3, 9}},
      {"range after an inner line", Op::InsertRangeAfter, 1, {1, 2, 9, 3}},
      {"range after nothing appends", Op::InsertRangeAfter, -1, {1, 2, 3, 9}},
      {"named after the tail", Op::InsertLineAfterNamed, 2, {1, 2, 3, 9}},
      {"range named after the head", Op::InsertRangeAfterNamed, 0, {1, 9, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineState state;
    state.sourceFileId("a.asm");
    state.sourceFileId("b.inc");
    std::vector<LineInfo*> lines = threeLines(state);
    LineInfo* made = make(state, c.op, c.anchor < 0 ? nullptr : lines[c.anchor]);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(forward(state), c.order);
    EXPECT_EQ(backward(state), c.order);
    EXPECT_EQ(state.first()->lineNumberSigned(), c.order.front());
    EXPECT_EQ(state.last()->lineNumberSigned(), c.order.back());
    EXPECT_STREQ(made->text, "new\n");
    // A copy of its own, not the caller's bytes, which may be reused for the next line.
    EXPECT_FALSE(isCallersBuffer(made->text));
    EXPECT_EQ(made->sourceFile, 1u);
    EXPECT_EQ(made->lineNumber, 9u);
    EXPECT_EQ(state.fileCount(), 2);
  }
}

TEST_F(LineStateTest, AppendingToAnEmptyListMakesHeadAndTail) {
  LineState state;
  LineInfo* line = state.appendLine(nullptr, 0, 0, 0);
  EXPECT_EQ(state.first(), line);
  EXPECT_EQ(state.last(), line);
  EXPECT_EQ(line->previous, nullptr);
  EXPECT_EQ(line->next, nullptr);
  EXPECT_EQ(line->text, nullptr);
  // Inserting after the tail makes a new tail, which a later append follows.
  LineInfo* after = state.insertLineAfter(line, "b\n", 0, 2, 0);
  LineInfo* appended = state.appendLine("c\n", 0, 3, 0);
  EXPECT_EQ(state.last(), appended);
  EXPECT_EQ(after->next, appended);
  EXPECT_EQ(appended->previous, after);
}

// A line made for another line's text shares it: the text stays the run's, never the
// caller's buffer, and both lines show the same bytes.
TEST_F(LineStateTest, ASharedTextIsTheKeptOneAndTheLineGoesBeforeItsAnchor) {
  LineState state;
  LineInfo* statement = state.appendLine("jne d4,d4,L0\n", 0, 5, 0);
  LineInfo* shared = state.insertLineSharingText(statement, statement->text, 0, 5, 0);
  EXPECT_EQ(shared->text, statement->text);
  EXPECT_EQ(shared->next, statement);
  EXPECT_EQ(statement->previous, shared);
  EXPECT_EQ(state.first(), shared);
  EXPECT_EQ(shared->lineNumber, 5u);
  LineInfo* appended = state.insertLineSharingText(nullptr, nullptr, 0, 6, 0);
  EXPECT_EQ(state.last(), appended);
  EXPECT_EQ(appended->text, nullptr);
}

TEST_F(LineStateTest, RangeTextsStopAtAnEmbeddedNul) {
  const char text[] = {'a', 'b', '\0', 'c', '\n'};
  LineState state;
  EXPECT_STREQ(state.appendRange(text, text + sizeof text, 0, 1, 0)->text, "ab");
  EXPECT_STREQ(state.internRange(text + 3, text + 5), "c\n");
  EXPECT_EQ(state.internRange(nullptr, nullptr), nullptr);
  EXPECT_EQ(state.intern(nullptr), nullptr);
  LineInfo* line = state.appendLine("old\n", 0, 1, 0);
  char reused[] = "new\n";
  state.setLineText(reused, line);
  reused[0] = 'x';
  EXPECT_STREQ(line->text, "new\n");
  state.setLineText(nullptr, line);
  EXPECT_EQ(line->text, nullptr);
}

TEST_F(LineStateTest, SourceFilesGetDenseIdsInFirstRegistrationOrder) {
  struct Step {
    const char* name;
    int32_t id;     // what sourceFileId answers
    int32_t count;  // files registered afterwards
  };
  const Step steps[] = {
      {"t.asm", 0, 1},
      {"t.asm", 0, 1},
      {"inc/a.inc", 1, 2},
      // No normalisation: another text for the same file is another file.
      {"./inc/a.inc", 2, 3},
      {"T.asm", 3, 4},
      {"inc/a.inc", 1, 4},
      {nullptr, -1, 4},
  };
  LineState state;
  EXPECT_EQ(state.findSourceFile("t.asm"), -1);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name ? step.name : "(null)");
    std::string copy = step.name ? step.name : "";
    // A fresh copy of the text: names compare by their bytes, not their address.
    EXPECT_EQ(state.sourceFileId(step.name ? copy.c_str() : nullptr), step.id);
    EXPECT_EQ(state.fileCount(), step.count);
    if (step.name) {
      EXPECT_EQ(state.findSourceFile(copy.c_str()), step.id);
      EXPECT_STREQ(state.sourceFile(step.id), step.name);
    }
  }
  EXPECT_EQ(state.sourceFile(-1), nullptr);
  EXPECT_EQ(state.sourceFile(state.fileCount()), nullptr);
  EXPECT_EQ(state.findSourceFile("other.asm"), -1);
  EXPECT_EQ(state.findSourceFile(nullptr), -1);
}

// A line state that counts its basic appends: the variants must reach them through
// the virtual table.
class CountingLineState : public LineState {
 public:
  LineInfo* appendLine(const char* text, int32_t fileId, int32_t line, int32_t bias) override {
    ++lineAppends;
    return LineState::appendLine(text, fileId, line, bias);
  }
  LineInfo* appendRange(const char* from, const char* to, int32_t fileId, int32_t line,
                        int32_t bias) override {
    ++rangeAppends;
    return LineState::appendRange(from, to, fileId, line, bias);
  }
  int32_t sourceFileId(const char* fileName) override {
    ++registrations;
    return LineState::sourceFileId(fileName);
  }
  int lineAppends = 0;
  int rangeAppends = 0;
  int registrations = 0;
};

TEST_F(LineStateTest, VariantsWithoutAnchorGoThroughTheOverriddenAppends) {
  CountingLineState state;
  const char text[] = "t\n";
  state.insertLine(nullptr, text, 0, 1, 0);
  state.insertLineAfter(nullptr, text, 0, 1, 0);
  state.appendLineNamed(text, "a.asm", 1, 0);
  state.insertRangeBefore(nullptr, text, text + 2, 0, 1, 0);
  state.insertRangeAfterNamed(nullptr, text, text + 2, "a.asm", 1, 0);
  EXPECT_EQ(state.lineAppends, 3);
  EXPECT_EQ(state.rangeAppends, 2);
  EXPECT_EQ(state.registrations, 2);
}

TEST(LineInfo, FreshLineHasNoVariantAddressOrFlags) {
  LineInfo line;
  line.flags[0] = 0xFF;
  line.flags[1] = 0xFF;
  line.flags[2] = 0xFF;
  line.flags[3] = 0xFF;
  line.clearFlags();
  EXPECT_EQ(line.flags[0], 0x10);
  EXPECT_EQ(line.flags[1], 0);
  EXPECT_EQ(line.flags[2], 0);
  EXPECT_EQ(line.flags[3], 0x80);
  LineInfo fresh;
  EXPECT_EQ(fresh.variant(), -1);
  EXPECT_EQ(fresh.codeAddress(), -1);
  EXPECT_EQ(fresh.controlState, nullptr);
  EXPECT_EQ(fresh.extras().codeBytes, nullptr);
}

// The extras live beside the record: a record made after the deletion, which the pool
// may place at the same address, must not find the deleted line's.
TEST(LineInfo, ExtrasGoWithTheirLine) {
  const uint8_t control[] = {0x1B, 0x00, 0x45};
  auto* line = new LineInfo;
  EXPECT_EQ(line->setPrinterControl(control, 3), 3u);
  line->extrasForUpdate().codeByteCount = 2;
  EXPECT_EQ(line->extras().printerControlCount, 3u);
  EXPECT_EQ(line->extras().printerControl[1], 0x00);
  EXPECT_EQ(line->extras().codeByteCount, 2u);
  LineInfo other;
  EXPECT_EQ(other.extras().printerControlCount, 0u);
  delete line;
  auto* again = new LineInfo;
  EXPECT_EQ(again->extras().printerControlCount, 0u);
  EXPECT_EQ(again->extras().printerControl, nullptr);
  EXPECT_EQ(again->extras().codeByteCount, 0u);
  delete again;
}

// The side fields of a line record live beside it: by its place in the line arena or,
// for a record made elsewhere (on the stack), by its address. Each case sets them on
// a line made one way and reads them back; a record then made in the deleted line's
// place starts blank.
TEST(LineInfo, SideFieldsStayWithTheirLineAndGoWithIt) {
  struct Case {
    const char* name;
    bool inArena;
    int16_t variant;
    uint16_t extra[3];
    int32_t codeAddress;
    uint32_t sourceStart;
    uint32_t sourceEnd;
  };
  const Case cases[] = {
      {"arena", true, 3, {1, 0xFFFF, 7}, 0x1234, 10, 25},
      {"stack", false, 0, {0, 2, 0}, 0, 0, 1},
      {"arena, largest values", true, INT16_MAX, {0xFFFF, 0xFFFF, 0xFFFF}, INT32_MAX,
       UINT32_MAX - 1, UINT32_MAX},
  };
  ScopedRun run;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineInfo onStack;
    LineInfo* line = c.inArena ? new LineInfo : &onStack;
    EXPECT_EQ(line->number() != 0, c.inArena);
    line->setVariant(c.variant);
    for (size_t word = 0; word < 3; ++word) line->setExtra(word, c.extra[word]);
    line->setCodeAddress(c.codeAddress);
    line->setSourceRange(c.sourceStart, c.sourceEnd);
    LineInfo neighbour;
    auto* arenaNeighbour = new LineInfo;
    EXPECT_EQ(line->variant(), c.variant);
    for (size_t word = 0; word < 3; ++word) EXPECT_EQ(line->extra(word), c.extra[word]);
    EXPECT_EQ(line->codeAddress(), c.codeAddress);
    EXPECT_EQ(line->sourceStart(), c.sourceStart);
    EXPECT_EQ(line->sourceEnd(), c.sourceEnd);
    for (const LineInfo* other : std::vector<const LineInfo*>{&neighbour, arenaNeighbour}) {
      EXPECT_EQ(other->variant(), -1);
      EXPECT_EQ(other->codeAddress(), -1);
      EXPECT_EQ(other->sourceEnd(), 0u);
    }
    delete arenaNeighbour;
    if (!c.inArena) continue;
    uint32_t number = line->number();
    delete line;
    auto* again = new LineInfo;
    EXPECT_EQ(again->number(), number);
    EXPECT_EQ(again->variant(), -1);
    for (size_t word = 0; word < 3; ++word) EXPECT_EQ(again->extra(word), 0);
    EXPECT_EQ(again->codeAddress(), -1);
    EXPECT_EQ(again->sourceStart(), 0u);
    EXPECT_EQ(again->sourceEnd(), 0u);
    delete again;
  }
}

// Links between records are arena numbers: they reach the record they were set to
// across chunk boundaries, and null stays null.
TEST_F(LineStateTest, LinksReachTheirLinesAcrossArenaChunks) {
  LineState state;
  const int32_t count = 3 * static_cast<int32_t>(LineArena::kChunkSize) + 5;
  std::vector<LineInfo*> made;
  for (int32_t number = 1; number <= count; ++number) made.push_back(state.appendLine("x\n", 0, number, 0));
  EXPECT_EQ(made.front()->previous, nullptr);
  EXPECT_EQ(made.back()->next, nullptr);
  int32_t walked = 0;
  for (LineInfo* line = state.first(); line; line = line->next, ++walked) {
    ASSERT_LT(walked, count);
    EXPECT_EQ(line, made[static_cast<size_t>(walked)]);
    if (line->previous) {
      EXPECT_EQ(line->previous->next, line);
    }
  }
  EXPECT_EQ(walked, count);
}

// A record's control state, section and source file share one number of the run's
// table of line contexts. Each case writes the three fields of two lines in its own
// order, copying a field from the other line where it says so; every line must read
// back exactly what was written to it, whatever the other line or field holds.
TEST(LineInfo, ContextFieldsAreWrittenOneByOne) {
  struct Step {
    int line;      // 0 or 1
    char field;    // 'c' control state, 's' section, 'f' source file
    int value;     // index into the objects below; -1: copy the field of the other line
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  ControlState states[2];
  alignas(8) char sectionBytes[2][8];
  Section* sections[2] = {reinterpret_cast<Section*>(sectionBytes[0]), reinterpret_cast<Section*>(sectionBytes[1])};
  const Case cases[] = {
      {"each field alone", {{0, 'c', 1}, {1, 's', 1}, {0, 'f', 1}}},
      {"same values, another order", {{1, 'f', 1}, {1, 'c', 1}, {0, 's', 0}, {0, 'c', 1}}},
      {"copies take one field only",
       {{0, 'c', 0}, {0, 's', 1}, {0, 'f', 1}, {1, 'c', 1}, {1, 's', -1}, {1, 'f', -1}}},
      {"back to the blank context", {{0, 'c', 1}, {0, 's', 1}, {0, 'c', 0}, {0, 's', 0}}},
  };
  ScopedRun run;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<LineInfo> lines[2] = {std::make_unique<LineInfo>(), std::make_unique<LineInfo>()};
    ControlState* wantState[2] = {nullptr, nullptr};
    Section* wantSection[2] = {nullptr, nullptr};
    uint32_t wantFile[2] = {0, 0};
    for (const Step& step : c.steps) {
      LineInfo& line = *lines[step.line];
      const LineInfo& other = *lines[1 - step.line];
      int at = step.line;
      switch (step.field) {
        case 'c':
          if (step.value < 0) line.controlState = other.controlState;
          else line.controlState = step.value ? &states[step.value] : nullptr;
          wantState[at] = step.value < 0 ? wantState[1 - at] : step.value ? &states[step.value] : nullptr;
          break;
        case 's':
          if (step.value < 0) line.section = other.section;
          else line.section = step.value ? sections[step.value] : nullptr;
          wantSection[at] = step.value < 0 ? wantSection[1 - at] : step.value ? sections[step.value] : nullptr;
          break;
        default:
          if (step.value < 0) line.sourceFile = other.sourceFile;
          else line.sourceFile = static_cast<uint32_t>(step.value);
          wantFile[at] = step.value < 0 ? wantFile[1 - at] : static_cast<uint32_t>(step.value);
          break;
      }
      for (int index = 0; index < 2; ++index) {
        EXPECT_EQ(lines[index]->controlState.get(), wantState[index]) << index;
        EXPECT_EQ(lines[index]->section.get(), wantSection[index]) << index;
        EXPECT_EQ(lines[index]->sourceFile.get(), wantFile[index]) << index;
      }
    }
  }
}

// A record refers to its text by an offset into the run's text store: a text the
// store holds already is taken as it is, any other is copied in, and every text
// stays where it is while the store grows by megabytes behind it.
TEST(LineInfo, TextsAreStoredOnceAndNeverMove) {
  struct Case {
    const char* name;
    std::string text;   // what is assigned
    bool fromStore;     // assigned as a pointer the store handed out
    std::string reads;  // what the record reads back
  };
  const Case cases[] = {
      {"a text of the store", " add d1,d2\n", true, " add d1,d2\n"},
      {"a text from elsewhere", " mov d3,#4\n", false, " mov d3,#4\n"},
      {"empty", "", false, ""},
      {"a stored range stops at a NUL", std::string("ab\0cd\n", 6), true, "ab"},
      {"one long line", std::string(100000, 'x'), true, std::string(100000, 'x')},
  };
  ScopedRun run;
  LineArena& arena = lineArena();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const char* source = c.fromStore ? arena.storeText(c.text.data(), c.text.size()) : c.text.c_str();
    for (bool inArena : {true, false}) {
      LineInfo onStack;
      LineInfo* line = inArena ? new LineInfo : &onStack;
      line->text = source;
      const char* read = line->text;
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(std::string(read), c.reads);
      EXPECT_EQ(read == source, c.fromStore);
      EXPECT_NE(arena.textOffset(read), 0u);
      // Copying between records keeps the same stored text.
      LineInfo other;
      other.text = line->text;
      EXPECT_EQ(static_cast<const char*>(other.text), read);
      line->text = nullptr;
      EXPECT_EQ(static_cast<const char*>(line->text), nullptr);
      if (inArena) delete line;
    }
  }
  const char* first = arena.storeText("first\n", 6);
  std::vector<LineInfo*> made;
  const std::string filler(1000, 'f');
  for (int count = 0; count < 20000; ++count) {
    made.push_back(new LineInfo);
    made.back()->text = filler.c_str();
  }
  EXPECT_STREQ(first, "first\n");
  EXPECT_EQ(arena.textOffset("first\n"), 0u);  // a literal is not in the store
  for (LineInfo* line : made) {
    EXPECT_EQ(arena.at(line->number()), line);
    delete line;
  }
}

// A record is numbered by its place in the arena; one made elsewhere has number 0,
// whatever its address, and the number of a deleted record goes to the next one.
TEST(LineInfo, RecordsAreNumberedByTheirPlace) {
  ScopedRun run;
  LineArena& arena = lineArena();
  auto* first = new LineInfo;
  auto* second = new LineInfo;
  LineInfo onStack;
  auto heap = std::make_unique<LineInfo>();  // also the arena's: operator new is its own
  EXPECT_EQ(heap->number(), second->number() + 1);
  EXPECT_NE(first->number(), 0u);
  EXPECT_EQ(second->number(), first->number() + 1);
  EXPECT_EQ(onStack.number(), 0u);
  EXPECT_EQ(arena.numberOf(nullptr), 0u);
  EXPECT_EQ(arena.at(second->number()), second);
  EXPECT_EQ(arena.at(0), nullptr);
  uint32_t freed = first->number();
  delete first;
  auto* again = new LineInfo;
  EXPECT_EQ(again->number(), freed);
  delete again;
  delete second;
}

}  // namespace
