#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "flow/DataEncoder.h"
#include "flow/FAlign.h"
#include "flow/FError.h"
#include "flow/FLabel.h"
#include "flow/Section.h"

namespace {

class AlignmentNodesTest : public FlowTest {
 protected:
  // A section being written, with an image of size units and its store handle.
  Section* writing(const char* name, uint32_t size, bool code = false, bool powerOfTwo = false) {
    Section* made = section(name);
    if (code) made->flags.bytes[0] |= Section::SectionFlags::kCodeBit;
    if (powerOfTwo) made->flags.bytes[2] |= Section::SectionFlags::kPowerOfTwoAlignment;
    made->writing = 1;
    made->size = size;
    made->objectHandle[0] = 3;
    made->objectHandle[1] = 9;
    images_.emplace_back(size, 0xEE);
    made->image = images_.back().data();
    writer_.section = made;
    return made;
  }

  static OrbaExpression* text(const char* value, uint32_t length) { return TEString::create(value, length); }

  static std::vector<uint32_t> image(const Section* made, uint32_t from, uint32_t count) {
    return std::vector<uint32_t>(made->image + from, made->image + from + count);
  }

  RecordingWriter writer_;
  std::deque<std::vector<uint8_t>> images_;
};

TEST_F(AlignmentNodesTest, AlignSizeIsThePaddingToTheNextMultiple) {
  struct Case {
    OrbaExpression* alignment;
    bool powerOfTwo;
    uint32_t offset;
    int32_t size;
  };
  const Case cases[] = {
      {TEInteger::create(4), false, 6, 2},
      {TEInteger::create(4), false, 8, 0},
      {TEInteger::create(6), true, 9, 7},     // taken as 8
      {TEInteger::create(6), false, 9, 3},
      {TEInteger::create(0), false, 5, 0},    // 0 asks for nothing: no remainder modulo 0
      {TEInteger::create(0), true, 5, 0},
      {TEInteger::create(-4), false, 5, 0},
      {TEError::kind5(), false, 5, 0},
      {text("\x08", 1), false, 5, 3},         // a one-character text is its code
      {text("\x01\x00", 2), false, 3, 253},   // two characters: 0x100
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << " pow2 " << c.powerOfTwo);
    Section* made = section("d");
    if (c.powerOfTwo) made->flags.bytes[2] |= Section::SectionFlags::kPowerOfTwoAlignment;
    FAlign node(line(1), c.alignment, made);
    EXPECT_EQ(node.computeSize(made, c.offset), c.size);
    EXPECT_EQ(node.size, 0);  // nothing cached before the layout is final
  }
}

TEST_F(AlignmentNodesTest, AlignCachesItsSizeOnceTheLayoutIsFinal) {
  Section* made = section("d");
  FAlign node(line(1), TEInteger::create(8), made);
  made->laidOut = 1;
  EXPECT_EQ(node.computeSize(made, 3), 5);
  EXPECT_EQ(node.size, 5);
  EXPECT_EQ(node.computeSize(made, 0), 5);
}

TEST_F(AlignmentNodesTest, AlignEmitPadsDataWithStoredZerosAndReportsAtItsLine) {
  struct Case {
    OrbaExpression* alignment;
    bool powerOfTwo;
    int32_t location;
    uint32_t padding;
    uint32_t maxAlignment;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {TEInteger::create(4), false, 6, 2, 4, {}},
      {TEInteger::create(4), false, 8, 0, 4, {}},
      {TEInteger::create(6), true, 9, 7, 6, {"W127: alignment size changed to 8@7"}},
      {TEInteger::create(0), false, 5, 0, 0, {}},
      {TEInteger::create(0), true, 5, 0, 0, {"W127: alignment size changed to 1@7"}},
      {TEError::kind5(), false, 5, 0, 0, {"E129: invalid alignment expression@7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.location << " pow2 " << c.powerOfTwo);
    ScopedManagers errors(ScopedManagers::kErrors);
    writer_.store_.zeros.clear();
    Section* made = writing("d", 64, false, c.powerOfTwo);
    made->locationCounter = c.location;
    FAlign node(line(7), c.alignment, made);
    node.emit(writer_);
    EXPECT_EQ(made->locationCounter, c.location + static_cast<int32_t>(c.padding));
    EXPECT_EQ(made->maxAlignment, c.maxAlignment);
    EXPECT_EQ(diagnostics(), c.messages);
    if (c.padding == 0) {
      EXPECT_TRUE(writer_.store_.zeros.empty());
    } else {
      ASSERT_EQ(writer_.store_.zeros.size(), 1u);
      const RecordingStore::ZeroRange& range = writer_.store_.zeros[0];
      EXPECT_EQ(range.fileId, 3u);
      EXPECT_EQ(range.sectionId, 9u);
      EXPECT_EQ(range.offset, static_cast<uint32_t>(c.location));
      EXPECT_EQ(range.count, c.padding);
    }
  }
}

TEST_F(AlignmentNodesTest, AlignWithoutImageOnlyMovesTheLocation) {
  Section* made = writing(".bss", 64);
  made->image = nullptr;
  made->locationCounter = 1;
  FAlign node(line(1), TEInteger::create(4), made);
  node.emit(writer_);
  EXPECT_EQ(made->locationCounter, 4);
  EXPECT_TRUE(writer_.store_.zeros.empty());
}

TEST_F(AlignmentNodesTest, CodePaddingUsesTheFillPatternInByteOrder) {
  struct Case {
    int32_t byteOrder;
    uint32_t gap;
    std::vector<uint32_t> bytes;
    bool unevenGap;
  };
  const Case cases[] = {
      {Section::kLittleEndian, 4, {0x00, 0xA0, 0x00, 0xA0}, false},
      {Section::kBigEndian, 4, {0xA0, 0x00, 0xA0, 0x00}, false},
      {Section::kLittleEndian, 3, {0x00, 0xA0, 0x00}, true},  // one pattern unit and one zero byte
      {Section::kLittleEndian, 1, {0x00}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.gap << " order " << c.byteOrder);
    ScopedManagers errors(ScopedManagers::kErrors);
    Section* made = writing(".text", 16, true);
    made->byteOrder = c.byteOrder;
    made->fillPattern = 0xA000;
    made->fillCycles = 1;
    made->locationCounter = 4;
    FAlign node(line(2), TEInteger::create(4), made);
    ASSERT_EQ(node.codeSection, 1);
    insertAlignment(writer_, node, c.gap, kNoRemark, true);
    EXPECT_EQ(image(made, 4, c.gap), c.bytes);
    EXPECT_EQ(made->image[4 + c.gap], 0xEE);  // nothing beyond the gap
    EXPECT_EQ(made->locationCounter, 4 + static_cast<int32_t>(c.gap));
    EXPECT_TRUE(writer_.store_.zeros.empty());
    EXPECT_EQ(diagnostics(), c.unevenGap ? std::vector<std::string>{"W288: alignment gap cannot be properly filled@2"}
                                         : std::vector<std::string>{});
  }
}

TEST_F(AlignmentNodesTest, RemarkLineGoesBeforeTheLabelsThatFollowThePadding) {
  Section* made = writing(".text", 32, true);
  made->fillCycles = 2;
  made->fillPattern = 0x1234;
  made->locationCounter = 6;
  LineInfo* start = line(1);
  LineInfo* before = line(2, made, "  nop");
  before->setCodeAddress(4);
  before->flags[2] |= 0x01;  // a label line at an earlier address stays before the remark
  LineInfo* labels[2] = {line(3, made, "a:"), line(4, made, "b:")};
  LineInfo* padded = line(5, made, "  .align 4");
  padded->flags[0] |= 0x10;
  start->next = before;
  before->previous = start;
  before->next = labels[0];
  labels[0]->previous = before;
  labels[0]->next = labels[1];
  labels[1]->previous = labels[0];
  labels[1]->next = padded;
  padded->previous = labels[1];
  for (LineInfo* label : labels) {
    label->flags[2] |= 0x01;
    label->setCodeAddress(8);
  }
  FAlign node(padded, TEInteger::create(4), made);
  insertAlignment(writer_, node, 2, kBufferAlignmentRemark, true);

  LineInfo* remark = before->next;
  ASSERT_NE(remark, labels[0]);
  EXPECT_EQ(remark->next, labels[0]);
  EXPECT_EQ(labels[0]->previous, remark);
  EXPECT_STREQ(remark->text, "  .align 4 inserted buffer alignment");
  EXPECT_EQ(remark->lineNumber, 5u);
  EXPECT_EQ(remark->codeAddress(), 6);
  EXPECT_EQ(remark->section, made);
  EXPECT_TRUE(remark->flags[1] & 0x08);
  EXPECT_TRUE(remark->flags[0] & 0x10);
  EXPECT_EQ(remark->extra(1), 2);  // one pattern unit of 2 cycles
  // The list file shows the pattern's bytes, as constants.
  ASSERT_EQ(remark->extras().codeByteCount, 2u);
  EXPECT_EQ(remark->extras().codeBytes[0], 0x34);
  EXPECT_EQ(remark->extras().codeBytes[1], 0x12);
  EXPECT_EQ(remark->extras().codeBytes[listingCapacity(2)], 0x00);
}

TEST_F(AlignmentNodesTest, RemarkTextsByKind) {
  struct Case {
    int kind;
    const char* text;
  };
  const Case cases[] = {
      {kLabelAlignmentRemark, "x inserted label alignment"},
      {kAlignmentRemark, "x inserted alignment"},
      {kInstructionAlignmentRemark, "x inserted instruction alignment"},
      {kBufferAlignmentRemark, "x inserted buffer alignment"},
      {9, "x inserted alignment"},
  };
  for (const Case& c : cases) {
    Section* made = writing(".text", 8, true);
    LineInfo* start = line(1);
    LineInfo* padded = line(2, made, "x");
    start->next = padded;
    padded->previous = start;
    FAlign node(padded, TEInteger::create(2), made);
    insertAlignment(writer_, node, 0, c.kind, true);
    ASSERT_NE(start->next, padded);
    EXPECT_STREQ(start->next->text, c.text);
    EXPECT_EQ(made->locationCounter, 0);  // no units: only the remark
  }
}

TEST_F(AlignmentNodesTest, StoreFailureWhilePaddingIsFatalF008) {
  EXPECT_EXIT(
      {
        Section* made = writing("d", 4);
        made->locationCounter = 1;
        writer_.store_.failWith = ObjectStore::kDataTooLarge;
        FAlign node(line(1), TEInteger::create(8), made);
        node.emit(writer_);
      },
      testing::ExitedWithCode(2), "F008: object store error: size of data appears to be too large");
}

TEST_F(AlignmentNodesTest, LabelPaddingAndItsWarningComeOnlyAtEmit) {
  struct Case {
    int32_t alignment;
    bool powerOfTwo;
    int32_t location;
    int32_t padding;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {0, false, 3, 0, {}},
      {-2, false, 3, 0, {}},
      // Labels pad with the code fill pattern: an odd gap leaves a byte it cannot fill.
      {4, false, 3, 1, {"W288: alignment gap cannot be properly filled@4"}},
      {4, false, 2, 2, {}},
      {4, false, 8, 0, {}},
      {6, true, 9, 7, {"W127: alignment size changed to 8@4", "W288: alignment gap cannot be properly filled@4"}},
      {6, true, 8, 0, {"W127: alignment size changed to 8@4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.alignment << " at " << c.location);
    ScopedManagers errors(ScopedManagers::kErrors);
    Section* made = writing(".text", 32, true, c.powerOfTwo);
    FLabel label(line(4, made, "l:"), symbol("l"));
    label.alignment = c.alignment;
    EXPECT_EQ(label.computeSize(made, static_cast<uint32_t>(c.location)), c.padding);
    EXPECT_TRUE(diagnostics().empty());
    made->locationCounter = c.location;
    label.emit(writer_);
    EXPECT_EQ(made->locationCounter, c.location + c.padding);
    EXPECT_EQ(diagnostics(), c.messages);
    EXPECT_EQ(made->maxAlignment, c.alignment > 0 ? static_cast<uint32_t>(c.alignment) : 0u);
  }
}

TEST_F(AlignmentNodesTest, LabelGivesItsSymbolAValueFromWhereItStands) {
  struct Case {
    uint8_t firstFlags;
    bool ownSection;  // else the symbol has no section
    int32_t location;
    bool presetValue;
    const char* value;  // printed; null when the label gives none
  };
  const Case cases[] = {
      {0x04, true, 0, false, "_R[N]"},        // at the start: the base itself, not base + 0
      {0x04, true, 12, false, "(_R[N] + 12)"},
      {0x04, false, 12, false, "12"},
      {0x04, true, 12, true, nullptr},        // a value already there stays
      {0x00, true, 12, false, nullptr},       // not waiting for a label value
      {0x24, true, 12, false, nullptr},
      {0x44, true, 12, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.firstFlags) << " at " << c.location);
    RecordingWriter writer;
    Section* made = writing(".text", 32, true);
    writer.section = made;
    made->locationCounter = c.location;
    Symbol* target = symbol("t");
    target->flags[0] = c.firstFlags;
    if (c.ownSection) target->section = made;
    OrbaExpression* preset = TEInteger::create(99);
    if (c.presetValue) target->valueExpression = preset;
    FLabel label(line(2, made), target);
    label.emit(writer);

    ASSERT_EQ(writer.objectSymbols, std::vector<Symbol*>{target});
    EXPECT_EQ(writer.flags, std::vector<int>{0});
    if (!c.value) {
      EXPECT_TRUE(writer.store_.values.empty());
      EXPECT_EQ(target->valueExpression, c.presetValue ? preset : nullptr);
      continue;
    }
    std::string expected = c.value;
    size_t n = expected.find('N');
    if (n != std::string::npos) expected.replace(n, 1, std::to_string(made->number));
    ASSERT_NE(target->valueExpression, nullptr);
    EXPECT_EQ(target->valueExpression->toString(0), expected);
    if (c.location == 0) {
      EXPECT_EQ(target->valueExpression, made->baseExpression());
    }
    ASSERT_EQ(writer.store_.values.size(), 1u);
    EXPECT_EQ(writer.store_.values[0].fileId, 7u);
    EXPECT_EQ(writer.store_.values[0].symbolId, 1u);
    EXPECT_EQ(writer.converted, std::vector<OrbaExpression*>{target->valueExpression});
    EXPECT_EQ(writer.store_.released.size(), 1u);
  }
}

TEST_F(AlignmentNodesTest, LabelTellsTheListFileTheOffsetInItsValue) {
  struct Case {
    OrbaExpression* value;
    int32_t listed;
  };
  Section* made = writing(".text", 32, true);
  const Case cases[] = {
      {TEInteger::create(0x40), 0x40},
      {nullptr, 0},
      {made->baseExpression(), 0},
  };
  for (const Case& c : cases) {
    Symbol* target = symbol("t");
    target->valueExpression = c.value;
    LineInfo* at = line(1, made);
    FLabel label(at, target);
    label.emit(writer_);
    EXPECT_EQ(at->codeAddress(), c.listed);
  }
}

TEST_F(AlignmentNodesTest, LabelOnThePlaceholderGetsNoValueAndANullSymbolDoesNothing) {
  Section* placeholder = writing("", 8);
  runState().placeholderSection = placeholder;
  Symbol* target = symbol("p");
  target->flags[0] = 0x04;
  FLabel label(line(1, placeholder), target);
  label.emit(writer_);
  EXPECT_EQ(target->valueExpression, nullptr);

  FLabel empty(line(2, placeholder), nullptr);
  empty.alignment = 8;
  placeholder->locationCounter = 3;
  empty.emit(writer_);
  EXPECT_EQ(placeholder->locationCounter, 3);
  EXPECT_EQ(writer_.objectSymbols.size(), 1u);
}

TEST_F(AlignmentNodesTest, ErrorNodeReportsItsTextWhenWrittenAndTakesNoPlace) {
  Section* made = writing(".text", 8, true);
  const char* text = runState().errorHandler->formatMessage(E_invalid_align_expression);
  FError node(line(6, made), text);
  EXPECT_EQ(node.computeSize(made, 0), 0);
  EXPECT_TRUE(node.hasAddress());
  EXPECT_TRUE(diagnostics().empty());
  node.emit(writer_);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E129: invalid alignment expression@6"});
  EXPECT_EQ(made->locationCounter, 0);
}

TEST_F(AlignmentNodesTest, AliasTakesNoPlaceAndEmitsItsSymbol) {
  Section* made = writing(".text", 8, true);
  Symbol* alias = symbol("other");
  LineInfo* at = line(3, made);
  FAlias node(at, alias);
  node.cycles = 5;
  EXPECT_FALSE(node.hasAddress());
  EXPECT_EQ(node.computeSize(made, 3), 0);
  node.emit(writer_);
  EXPECT_EQ(writer_.objectSymbols, std::vector<Symbol*>{alias});
  EXPECT_EQ(at->extra(1), 5);
}

TEST_F(AlignmentNodesTest, DumpTexts) {
  Section* made = section(".text");
  Symbol* valued = symbol("start");
  valued->valueExpression = TEInteger::create(16);
  Symbol* unvalued = symbol("later");
  FLabel withValue(line(1), valued);
  withValue.alignment = 4;
  FLabel withoutValue(line(1), unvalued);
  FLabel withoutSymbol(line(1), nullptr);
  FAlign align(line(1), TEInteger::create(4), made);
  FAlias alias(line(1), valued);
  FError error(line(1), "E129: invalid alignment expression");
  struct Case {
    const FlowNode* node;
    const char* text;
  };
  const Case cases[] = {
      {&withValue, "FLabel(name = \"start\", address = 16, alignment = 4)\n"},
      {&withoutValue, "FLabel(name = \"later\", address = <not-set>, alignment = 0)\n"},
      {&withoutSymbol, "FLabel(name = \"<not-set>\", alignment = 0)\n"},
      {&align, "FAlign()\n"},
      {&alias, "FAlias(\"start\")\n"},
      {&error, "FError(E129: invalid alignment expression)\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    c.node->dump(out);
    EXPECT_EQ(out.str(), c.text);
  }
}

TEST_F(AlignmentNodesTest, ClonesCopyEveryFieldAndAssignBaseKeepsTheLine) {
  Section* made = section(".text");
  LineInfo* first = line(1);
  LineInfo* second = line(2);
  FLabel label(first, symbol("x"));
  label.alignment = 8;
  label.size = 3;
  label.layoutSize = 4;
  label.cycles = 5;
  FAlign align(first, TEInteger::create(2), made);
  align.powerOfTwo = 1;
  align.listRemark = 1;
  align.size = 6;
  FError error(first, "E1");
  FAlias alias(first, label.symbol);

  std::unique_ptr<FlowNode> copies[] = {std::unique_ptr<FlowNode>(label.clone()),
                                        std::unique_ptr<FlowNode>(align.clone()),
                                        std::unique_ptr<FlowNode>(error.clone()),
                                        std::unique_ptr<FlowNode>(alias.clone())};
  const FlowNode* originals[] = {&label, &align, &error, &alias};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(copies[i], nullptr);
    EXPECT_EQ(copies[i]->line, first);
    EXPECT_EQ(copies[i]->kind, originals[i]->kind);
    EXPECT_EQ(copies[i]->size, originals[i]->size);
    EXPECT_EQ(copies[i]->nextNode(), nullptr);
  }
  auto* labelCopy = static_cast<FLabel*>(copies[0].get());
  EXPECT_EQ(labelCopy->alignment, 8);
  EXPECT_EQ(labelCopy->symbol, label.symbol);
  EXPECT_EQ(labelCopy->layoutSize, 4u);
  EXPECT_EQ(labelCopy->cycles, 5);
  auto* alignCopy = static_cast<FAlign*>(copies[1].get());
  EXPECT_EQ(alignCopy->alignment, align.alignment);
  EXPECT_EQ(alignCopy->powerOfTwo, 1);
  EXPECT_EQ(alignCopy->listRemark, 1);
  EXPECT_STREQ(static_cast<FError*>(copies[2].get())->text, "E1");

  FLabel target(second, nullptr);
  target.assignBase(label);
  EXPECT_EQ(target.line, second);
  EXPECT_EQ(target.size, 3);
  EXPECT_EQ(target.cycles, 5);
  EXPECT_EQ(target.kind, FlowNode::kLabel);
}

}  // namespace
