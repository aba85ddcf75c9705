#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/ObjectExpr.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/FLabel.h"
#include "flow/FlowFixture.h"
#include "flow/Section.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "output/ObjectFile.h"
#include "output/ObjectOutputFixture.h"

namespace {

const char* codeText(int32_t) { return "store failure"; }

TEST(ToolRecordsTest, InvocationIsProgramNameAndWordsWithinTheLimit) {
  struct Case {
    const char* what;
    std::string path;
    std::vector<std::string> words;
    size_t limit;
    std::string expected;
  };
  const Case cases[] = {
      {"backslash path", "D:\\bin\\tool.exe", {"-o", "x.o"}, 1023, "tool.exe -o x.o"},
      {"drive-relative path", "D:tool.exe", {}, 1023, "tool.exe"},
      {"slash path", "/usr/bin/vekt", {"t.asm"}, 1023, "vekt t.asm"},
      {"bare name", "vekt", {}, 1023, "vekt"},
      {"the word that crosses the limit is cut", "vekt", {"abcdef", "later"}, 8, "vekt abc"},
      {"words after the limit are left out", "vekt", {"abc", "later"}, 8, "vekt abc"},
      {"a name longer than the limit is cut", "longprogram", {"x"}, 4, "long"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(toolInvocationText(c.path, c.words, c.limit), c.expected) << c.what;
}

TEST(ToolRecordsTest, VersionIsCutTo76WithItsLastLineFeedBlank) {
  struct Case {
    const char* what;
    std::string version;
    std::string expected;
  };
  const std::string longText(100, 'v');
  const Case cases[] = {
      {"short text unchanged", "vekt 1.0", "vekt 1.0"},
      {"last line feed becomes a blank", "vekt\n1.0\n", "vekt\n1.0 "},
      {"cut to 76 characters", longText, std::string(76, 'v')},
      {"a line feed past 76 is cut away, none replaced", std::string(76, 'a') + "\n", std::string(76, 'a')},
  };
  for (const Case& c : cases) EXPECT_EQ(toolVersionText(c.version), c.expected) << c.what;
}

// The writer over a store file, with sections made for each case.
class ObjectFileTest : public StoreFileTest {
 protected:

  // A section with the flag bytes and one label node, so that it is not empty.
  Section* filledSection(const char* name, uint8_t first, uint8_t second, uint32_t size) {
    Section* made = section(name);
    made->flags.bytes[0] = first;
    made->flags.bytes[1] = second;
    made->size = size;
    made->addNode(new FLabel(line(2, made), symbol((std::string(name) + "_label").c_str())), true);
    return made;
  }

};

TEST_F(ObjectFileTest, SectionFlagsGiveContentAccessTypeAndImage) {
  using F = Section::SectionFlags;
  struct Case {
    const char* name;
    uint8_t first;
    uint8_t second;
    uint32_t content;
    int32_t access;  // -1: none set
    uint32_t type;
    bool image;
  };
  const Case cases[] = {
      {".text", F::kCodeBit, 0, 1, 2, 3, true},
      {".text.rw", F::kCodeBit | F::kInitialised, 0, 1, 3, 3, true},
      {".text.noread", F::kCodeBit, F::kNoRead, 1, -1, 3, true},
      {".data", F::kDataBit | F::kInitialised, 0, 2, 3, 3, true},
      {".rodata", F::kDataBit | F::kReadOnly, 0, 2, 2, 3, true},
      {".bss", F::kDataBit | F::kClearAtStartUp, 0, 3, 3, 3, false},
      {".noinit", F::kDataBit, 0, 4, 3, 3, false},
      {".debug_info", F::kDebugBit, 0, 2, 2, 1, true},
      {".note", F::kDebugBit, 0, 2, 2, 14, true},
      {".note.x", F::kDebugBit, 0, 2, 2, 1, true},
  };
  std::vector<Section*> sections;
  for (const Case& c : cases) sections.push_back(filledSection(c.name, c.first, c.second, 4));
  ObjectFile writer(fileId_, codeText, codeText);
  writer.writeFileRecords("t.o");
  for (Section* made : sections) writer.writeSection(made);

  for (size_t index = 0; index < std::size(cases); ++index) {
    const Case& c = cases[index];
    IosHandle handle = {sections[index]->objectHandle[0], sections[index]->objectHandle[1]};
    ASSERT_NE(handle.object_id, 0u) << c.name;
    IosErrorCode error = IOS_ERR_INTERNAL;
    uint32_t content = 0, type = 0, hasImage = 0;
    int32_t access = 0;
    EXPECT_EQ(ios_section_get_content(handle, &content, &error), 0) << c.name;
    EXPECT_EQ(content, c.content) << c.name;
    if (c.access < 0) {
      EXPECT_EQ(ios_section_get_access(handle, &access, &error), -1) << c.name;
    } else {
      EXPECT_EQ(ios_section_get_access(handle, &access, &error), 0) << c.name;
      EXPECT_EQ(access, c.access) << c.name;
    }
    EXPECT_EQ(ios_section_get_type(handle, &type, &error), 0) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    ios_section_has_image(handle, &hasImage, &error);
    EXPECT_EQ(hasImage != 0, c.image) << c.name;
    EXPECT_EQ(sections[index]->image != nullptr, c.image) << c.name;
    uint32_t size = 0;
    EXPECT_EQ(ios_section_get_size(handle, &size, &error), 0) << c.name;
    EXPECT_EQ(size, 4u) << c.name;
  }
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(ObjectFileTest, EmptySectionAndSectionWithoutKindFlags) {
  Section* empty = section(".data.empty");
  empty->flags.bytes[0] = Section::SectionFlags::kDataBit;
  Section* plain = filledSection(".plain", 0, 0, 2);
  ObjectFile writer(fileId_, codeText, codeText);
  writer.writeFileRecords("t.o");
  writer.writeSection(empty);
  writer.writeSection(plain);
  writer.writeSection(plain);  // written once

  EXPECT_EQ(empty->objectHandle[1], 0u);
  uint32_t count = 0;
  IosErrorCode error = IOS_ERR_INTERNAL;
  ios_file_count_sections(fileId_, &count, &error);
  EXPECT_EQ(count, 1u);
  uint32_t content = 0;
  int32_t access = 0;
  IosHandle handle = {plain->objectHandle[0], plain->objectHandle[1]};
  ios_section_get_content(handle, &content, &error);
  ios_section_get_access(handle, &access, &error);
  EXPECT_EQ(content, 1u);
  EXPECT_EQ(access, 3);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{
                               "E151: missing section flag/type info for section \".plain\"@1"});
}

TEST_F(ObjectFileTest, ConcatenationOptionDecidesPlainSectionClass) {
  struct Case {
    int32_t concatenate;
    uint8_t second;
    uint32_t expected;
  };
  const Case cases[] = {{0, 0, 3}, {1, 0, 2}, {0, Section::SectionFlags::kConcat, 2},
                        {1, Section::SectionFlags::kMax, 4}, {0, Section::SectionFlags::kMax, 4}};
  int index = 0;
  ObjectFile writer(fileId_, codeText, codeText);
  writer.writeFileRecords("t.o");
  for (const Case& c : cases) {
    runState().orbaOptions->concatenateSections = c.concatenate;
    Section* made = filledSection((".data" + std::to_string(index++)).c_str(),
                                  Section::SectionFlags::kDataBit | Section::SectionFlags::kInitialised,
                                  c.second, 1);
    writer.writeSection(made);
    uint32_t sectionClass = 0;
    IosErrorCode error = IOS_ERR_INTERNAL;
    ios_section_get_class({made->objectHandle[0], made->objectHandle[1]}, &sectionClass, &error);
    EXPECT_EQ(sectionClass, c.expected) << "concatenate " << c.concatenate << " flags " << int{c.second};
  }
  runState().orbaOptions->concatenateSections = 0;
}

TEST_F(ObjectFileTest, RelocationBaseIsTheSymbolARelocationCanName) {
  // B relocatable, C without a value, G a global label, E an equate of G, and P and Q
  // equates of each other.
  Symbol* b = symbol("B");
  b->flags[2] |= Symbol::kRelocatable;
  Symbol* bValue = symbol("Bvalue");
  b->valueExpression = TESymbol::create(bValue);
  Symbol* c = symbol("C");
  Symbol* g = symbol("G");
  g->flags[0] |= Symbol::kGlobal;
  g->valueExpression = TEInteger::create(16);
  Symbol* e = symbol("E");
  e->flags[0] |= Symbol::kEquate;
  e->valueExpression = TESymbol::create(g);
  Symbol* p = symbol("P");
  Symbol* q = symbol("Q");
  p->flags[0] |= Symbol::kEquate;
  q->flags[0] |= Symbol::kEquate;
  p->valueExpression = TESymbol::create(q);
  q->valueExpression = TESymbol::create(p);
  auto sym = [](Symbol* symbol) { return TESymbol::create(symbol); };
  auto num = [](int64_t value) { return TEInteger::create(value); };
  auto op = [](int32_t code, OrbaExpression* left, OrbaExpression* right) {
    return new TEBinary(code, left, right);
  };

  struct Case {
    const char* what;
    OrbaExpression* expression;
    bool relaxed;
    Symbol* expected;
  };
  const Case cases[] = {
      {"no expression", nullptr, false, nullptr},
      {"constant minus a symbol has none", op(OP_subtract, num(5), sym(b)), false, nullptr},
      {"difference takes the left side", op(OP_subtract, sym(b), sym(c)), false, b},
      {"sum searches past a constant", op(OP_add, num(4), sym(b)), false, b},
      {"a symbol without value is its own base", op(OP_add, num(4), sym(c)), false, c},
      {"an equate leads to the global it names", sym(e), false, g},
      {"other operators have none", op(OP_multiply, sym(b), num(2)), false, nullptr},
      {"relaxed looks through relocatable symbols", sym(b), true, bValue},
      {"an equate cycle has none and ends", sym(p), false, nullptr},
  };
  ObjectFile writer(fileId_, codeText, codeText);
  for (const Case& c : cases)
    EXPECT_EQ(writer.findRelocationBaseSymbol(c.expression, c.relaxed ? 1 : 0), c.expected) << c.what;
}

}  // namespace
