#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DataFixture.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "flow/FConstant.h"
#include "flow/FLabel.h"
#include "flow/SectionAppend.h"
#include "flow/TempLabels.h"

namespace {

std::string hexBytes(const uint8_t* bytes, size_t count) {
  std::string text;
  char byte[4];
  for (size_t index = 0; index < count; ++index) {
    std::snprintf(byte, sizeof byte, "%02x", bytes[index]);
    if (!text.empty()) text += ' ';
    text += byte;
  }
  return text;
}

TEST(Leb128Test, UnsignedAndSignedEncodingsEndWhereTheValueDoes) {
  struct Case {
    bool isSigned;
    int64_t value;
    const char* bytes;
  };
  const Case cases[] = {
      {false, 0, "00"},
      {false, 127, "7f"},
      {false, 128, "80 01"},
      {false, 0x9101, "81 a2 02"},
      {false, 16383, "ff 7f"},
      {false, 16384, "80 80 01"},
      // The top bit of an unsigned 64-bit value needs the tenth byte.
      {false, INT64_MIN, "80 80 80 80 80 80 80 80 80 01"},
      {true, 0, "00"},
      {true, -1, "7f"},
      {true, 63, "3f"},
      {true, 64, "c0 00"},
      {true, -64, "40"},
      {true, -65, "bf 7f"},
      {true, 127, "ff 00"},
      {true, -128, "80 7f"},
      {true, INT64_MAX, "ff ff ff ff ff ff ff ff ff 00"},
      {true, INT64_MIN, "80 80 80 80 80 80 80 80 80 7f"},
  };
  for (const Case& c : cases) {
    uint8_t bytes[kMaxLeb128Bytes];
    size_t count = c.isSigned ? encodeSleb128(c.value, bytes) : encodeUleb128(static_cast<uint64_t>(c.value), bytes);
    EXPECT_EQ(hexBytes(bytes, count), c.bytes) << (c.isSigned ? "signed " : "unsigned ") << c.value;
  }
}

TEST(TempLabelNameTest, NamesCountDownFromOneCounter) {
  ScopedManagers managers(ScopedManagers::kStrings);
  const char* first = makeTempLabelName();
  const char* second = makeTempLabelName();
  ASSERT_EQ(std::strncmp(first, "__T", 3), 0);
  ASSERT_EQ(std::strncmp(second, "__T", 3), 0);
  unsigned long firstNumber = std::stoul(first + 3);
  EXPECT_EQ(std::stoul(second + 3), firstNumber - 1);
  // Interned: the same text is the same pointer.
  EXPECT_EQ(runState().stringBuffer->intern(second), second);
}

class SectionAppendTest : public DataNodeTest {
 protected:
  // A generated debug section with its own line, as the debug and note generators make it.
  Section* debugSection() {
    Section* made = createGeneratedSection(".debug_test");
    made->objectHandle[0] = 1;
    made->objectHandle[1] = 3;
    return made;
  }

  std::vector<FConstant*> items(const Section* in) {
    std::vector<FConstant*> found;
    for (FlowNode* node = in->firstNode(); node; node = node->nextNode())
      if (node->kind == FlowNode::kConstant) found.push_back(static_cast<FConstant*>(node));
    return found;
  }
};

TEST_F(SectionAppendTest, ItemsTakeWidthRelocationKindAndDirectiveOfTheirKind) {
  struct Case {
    const char* what;
    uint8_t width;
    const char* directive;
    uint8_t relocationType;
    uint8_t leb128;
  };
  const Case cases[] = {
      {"byte", 8, kDwarfDirective, 0, 0},
      {"half", 16, kDwarfDirective, 0, 0},
      {"word may be relocated", 32, kDwarfDirective, FConstant::kWordRelocation, 0},
      {"note word", 32, kNoteDirective, FConstant::kWordRelocation, 0},
      {"text", 0, kNoteDirective, 0, 0},
  };
  Section* debug = debugSection();
  for (const Case& c : cases) {
    FConstant* item = appendData(*debug, c.width ? static_cast<OrbaExpression*>(TEInteger::create(1))
                                                 : TEString::intern("x", 1),
                                 c.width, c.directive);
    EXPECT_EQ(debug->lastNode(), item) << c.what;
    EXPECT_EQ(item->width, c.width) << c.what;
    EXPECT_EQ(item->relocationType, c.relocationType) << c.what;
    EXPECT_EQ(item->packStrings, c.leb128) << c.what;
    EXPECT_STREQ(item->directiveName(), c.directive) << c.what;
    EXPECT_EQ(item->line, debug->line) << c.what;
  }
  FConstant* leb = appendUleb128(*debug, 300);
  EXPECT_EQ(leb->width, 8);
  EXPECT_EQ(leb->relocationType, 0);
  EXPECT_EQ(leb->packStrings, 1);
  EXPECT_EQ(debug->nodeCount(), std::size(cases) + 1);
}

TEST_F(SectionAppendTest, AppendedItemsBecomeLittleEndianBytesAndNulPaddedTexts) {
  struct Case {
    const char* what;
    void (*append)(Section&);
    const char* bytes;
  };
  const Case cases[] = {
      {"byte", [](Section& s) { appendInteger(s, 0xAB, 8); }, "ab"},
      {"half", [](Section& s) { appendInteger(s, 0x1234, 16); }, "34 12"},
      {"word", [](Section& s) { appendInteger(s, 0x9101, 32); }, "01 91 00 00"},
      {"text with its NUL", [](Section& s) { appendText(s, "ab"); }, "61 62 00"},
      {"text with two more NULs", [](Section& s) { appendText(s, "Veltra", kNoteDirective, 2); },
       "56 65 6c 74 72 61 00 00 00"},
      {"empty text is one NUL", [](Section& s) { appendText(s, ""); }, "00"},
      {"unsigned LEB128", [](Section& s) { appendUleb128(s, 0x9101); }, "81 a2 02"},
      {"signed LEB128", [](Section& s) { appendSleb128(s, -65); }, "bf 7f"},
  };
  for (const Case& c : cases) {
    Section* debug = debugSection();
    c.append(*debug);
    layOutAndWrite(debug);
    EXPECT_EQ(imageBytes(), c.bytes) << c.what;
    EXPECT_EQ(diagnostics(), std::vector<std::string>{}) << c.what;
  }
}

// The debug generator's constants go into one byte run, which anything else appended
// ends; the run holds the bytes the items would, in the section's byte order.
TEST_F(SectionAppendTest, ConstantBytesShareOneRunUntilAnotherNodeComes) {
  struct Case {
    const char* what;
    int32_t byteOrder;
    void (*append)(Section&);
    const char* bytes;
    uint32_t nodes;
  };
  const Case cases[] = {
      {"bytes, a half and a word make one run", Section::kLittleEndian,
       [](Section& s) {
         const uint8_t bytes[] = {1, 2};
         appendBytes(s, bytes, 2);
         appendConstant(s, 0x1234, 16);
         appendConstant(s, 0x9101, 32);
       },
       "01 02 34 12 01 91 00 00", 1},
      {"big-endian constants", Section::kBigEndian,
       [](Section& s) {
         appendConstant(s, 0x1234, 16);
         appendConstant(s, 0x9101, 32);
       },
       "12 34 00 00 91 01", 1},
      {"a label ends the run", Section::kLittleEndian,
       [](Section& s) {
         const uint8_t seven = 7;
         appendBytes(s, &seven, 1);
         placeLabel(s, newDebugLabel(s));
         appendBytes(s, &seven, 1);
       },
       "07 07", 3},
      {"an item ends the run", Section::kLittleEndian,
       [](Section& s) {
         const uint8_t seven = 7;
         appendBytes(s, &seven, 1);
         appendInteger(s, 0x1234, 16);
         appendBytes(s, &seven, 1);
       },
       "07 34 12 07", 3},
      {"no bytes append nothing", Section::kLittleEndian, [](Section& s) { appendBytes(s, nullptr, 0); }, "", 0},
  };
  for (const Case& c : cases) {
    Section* debug = debugSection();
    debug->byteOrder = c.byteOrder;
    c.append(*debug);
    EXPECT_EQ(debug->nodeCount(), c.nodes) << c.what;
    layOutAndWrite(debug);
    EXPECT_EQ(imageBytes(), c.bytes) << c.what;
    EXPECT_EQ(debug->locationCounter, static_cast<int32_t>(image_.size())) << c.what;
    EXPECT_EQ(diagnostics(), std::vector<std::string>{}) << c.what;
  }
}

// Addresses and label differences reach only 32-bit items as relocations; a narrower
// item cannot carry one and is written as 0 with E139.
TEST_F(SectionAppendTest, OnlyWordsCarryValuesTheLinkerCompletes) {
  struct Case {
    uint8_t width;
    std::vector<std::string> records;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {32, {"relocation @0+4 (slot 5) type 2"}, {}},
      {16, {}, {"E139: cannot emit expression in object file, replaced with integral value '0'@0"}},
      {8, {}, {"E139: cannot emit expression in object file, replaced with integral value '0'@0"}},
  };
  Symbol* target = external("ext", 5);
  for (const Case& c : cases) {
    writer_.store_.records.clear();
    Section* debug = debugSection();
    appendData(*debug, TESymbol::create(target), c.width);
    layOutAndWrite(debug);
    EXPECT_EQ(writer_.store_.records, c.records) << int{c.width};
    EXPECT_EQ(diagnostics(), c.messages) << int{c.width};
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

TEST_F(SectionAppendTest, DebugLabelBelongsToItsSectionAndIsPlacedWhereAsked) {
  Section* debug = debugSection();
  Symbol* label = newDebugLabel(*debug);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(std::strncmp(label->name, "__T", 3), 0);
  EXPECT_EQ(label->section, debug);
  EXPECT_TRUE(label->isDefined());
  EXPECT_TRUE(label->isLocal());
  EXPECT_TRUE(label->isUsed()) << "a generated label never draws the unused-label warning";
  EXPECT_TRUE(label->flags[0] & Symbol::kBinding0) << "emitted only while its value is relocatable";
  EXPECT_FALSE(label->isRelocatable());
  EXPECT_FALSE(label->flags[0] & Symbol::kInternal) << "a suppressed symbol could not be a relocation's base";
  EXPECT_EQ(debug->nodeCount(), 0u) << "made now, placed later";

  appendInteger(*debug, 1, 32);
  FLabel* placed = placeLabel(*debug, label);
  EXPECT_EQ(debug->lastNode(), placed);
  EXPECT_EQ(placed->symbol, label);
  EXPECT_EQ(placed->line, debug->line);
  EXPECT_EQ(debug->lastLabel(), placed);
  appendInteger(*debug, 2, 8);
  EXPECT_EQ(debug->lastLabel(), nullptr);

  Symbol* next = newDebugLabel(*debug);
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, label);
}

TEST_F(SectionAppendTest, GeneratedSectionIsByteAddressedDebugContentsNotDescribed) {
  Section* code = section(".text");
  code->flags.bytes[0] = Section::SectionFlags::kCodeBit;
  Section* made = createGeneratedSection(".debug_line");
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made->getName(), ".debug_line");
  EXPECT_EQ(runState().sectionAdmin->sections().back(), made);
  EXPECT_TRUE(made->flags.isDebug());
  EXPECT_FALSE(made->flags.isCode());
  EXPECT_FALSE(made->flags.isData());
  EXPECT_FALSE(made->flags.isProtect());
  EXPECT_EQ(made->userSection, 0) << "the debug information does not describe it";
  EXPECT_EQ(code->userSection, 1);
  EXPECT_EQ(made->mauBits, 8);
  ASSERT_NE(made->sectionSymbol, nullptr);
  EXPECT_FALSE(made->sectionSymbol->isRelocatable());

  LineInfo* line = made->line;
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->section, made);
  EXPECT_EQ(line->text, nullptr);
  EXPECT_EQ(line->lineNumber, 0u);
  EXPECT_EQ(line->sourceFile, static_cast<uint32_t>(-1));
  ASSERT_NE(line->controlState, nullptr);
  EXPECT_EQ(line->controlState->debugKind, 0) << "symbols defined on it get no debug information";
  EXPECT_FALSE(line->controlState->localSymbolDebug);
  EXPECT_NE(line, code->line);
}

}  // namespace
