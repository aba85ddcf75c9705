#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "flow/FlowWalker.h"
#include "flow/Section.h"
#include "flow/SectionFinish.h"
#include "flow/SectionType.h"

namespace {

class SectionLayoutTest : public FlowTest {
 protected:
  // A section placed at a fixed address (or at an address that cannot be computed).
  Section* placed(const char* name, OrbaExpression* address) {
    Section* made = section(name);
    made->hasAddress = 1;
    made->setBaseExpression(address);
    return made;
  }
};

TEST_F(SectionLayoutTest, SummaryLineCutsLongNamesAndFormatsEachColumn) {
  struct Case {
    const char* name;
    uint32_t size;
    uint64_t cycles;
    int64_t address;  // -1 no fixed address, -2 one that cannot be computed
    const char* line;
  };
  const Case cases[] = {
      {".text", 0x1234, 0, -1, ".text                             0x001234    -         -             "},
      {"abcdefghijklmnopqrstuvwxyz0123", 1, 7, 0x80000000,
       "abcdefghijklmnopqrstuvwxyz0123    0x000001    000007    0x80000000    "},
      {"abcdefghijklmnopqrstuvwxyz01234", 0, 0, -1,
       "abcdefghijklmnopqrstuvwxyz0...    0x000000    -         -             "},
      // 35 characters: the first 27 and three dots.
      {".zelkova.linkonce.code.helper.1234", 0x10, 0, -1,
       ".zelkova.linkonce.code.help...    0x000010    -         -             "},
      {".data", 0x12345678, 0x1234567, -2, ".data                             0x12345678    19088743    0xXXXXXXXX    "},
      {".bss", 2, 0x100000001ULL, 0x10, ".bss                              0x000002    000001    0x00000010    "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Section* made = c.address == -1 ? section(c.name)
                    : c.address == -2 ? placed(c.name, TEError::kind5())
                                      : placed(c.name, TEInteger::create(static_cast<uint32_t>(c.address)));
    made->size = c.size;
    made->cycles = c.cycles;
    std::ostringstream out;
    EXPECT_TRUE(made->printSummaryLine(out));
    EXPECT_EQ(out.str(), c.line);
  }
}

TEST_F(SectionLayoutTest, SummaryShowsTheSourceNameAndSkipsDebugSections) {
  Section* text = section("code@part@2");
  text->finish();
  std::ostringstream out;
  text->printSummaryLine(out);
  EXPECT_EQ(out.str().substr(0, 14), "code@part@2   ");

  Section* debug = section(".debug_info");
  debug->flags.bytes[0] |= Section::SectionFlags::kDebugBit;
  std::ostringstream none;
  EXPECT_FALSE(debug->printSummaryLine(none));
  EXPECT_EQ(none.str(), "");

  std::ostringstream heading;
  int length = text->printSummaryHeader(heading);
  const std::string title = "Name                              Size        Cycles    Address       ";
  EXPECT_EQ(heading.str(), "\nSection summary:\n\n" + title);
  EXPECT_EQ(length, static_cast<int>(title.size()));
}

TEST_F(SectionLayoutTest, FinalNamesForLinkOnceAndAtSignSections) {
  struct Case {
    const char* name;
    const char* key;
    const char* finalName;
  };
  const Case cases[] = {
      {".text.helper", "k1", ".zelkova.linkonce..text.helper.k1"},  // two dots in a row, as built
      {"code", "abc", ".zelkova.linkonce.code.abc"},
      {"code@x", "abc", ".zelkova.linkonce.code@x.abc"},  // the key wins over "@"
      {"code@part@2", nullptr, "code"},
      {"code@part@2", "", "code"},                         // an empty key is no key
      {"@lead", nullptr, ""},
      {"plain", nullptr, "plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(finalSectionName(c.name, c.key), c.finalName);
    Section* made = section(c.name);
    made->linkOnceKey = c.key ? runState().stringBuffer->intern(c.key) : nullptr;
    made->finish();
    EXPECT_STREQ(made->getName(), c.finalName);
    EXPECT_STREQ(made->getDisplayName(), c.name);
    EXPECT_EQ(made->getName(), runState().stringBuffer->intern(c.finalName));
  }
}

TEST_F(SectionLayoutTest, PageChecksReportSizeAndBoundary) {
  struct Case {
    int32_t pageSize;
    int64_t address;  // -1 no fixed address
    uint32_t size;
    const char* message;
  };
  const Case cases[] = {
      {0, -1, 0x100000, nullptr},  // no page
      {256, -1, 256, nullptr},
      {256, -1, 257, "E224: section \"s\": size exceeds page size@1"},
      {256, 0x1000, 256, nullptr},
      {256, 0x1080, 128, nullptr},
      {256, 0x1080, 129, "E223: section \"s\": page boundary crossed@1"},
      {256, 0x10FF, 2, "E223: section \"s\": page boundary crossed@1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pageSize << " " << c.address << " " << c.size);
    ScopedManagers errors(ScopedManagers::kErrors);
    Section* made = c.address < 0 ? section("s") : placed("s", TEInteger::create(c.address));
    made->pageSize = c.pageSize;
    made->size = c.size;
    checkSectionPage(*made);
    std::vector<std::string> expected;
    if (c.message) expected.push_back(c.message);
    EXPECT_EQ(diagnostics(), expected);
  }
}

TEST_F(SectionLayoutTest, AbsoluteAddressIsCheckedAgainstRangesAndAlignment) {
  struct Case {
    OrbaExpression* address;
    uint32_t alignment;
    std::vector<std::pair<int64_t, int64_t>> ranges;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {TEInteger::create(0x100), 3, {}, {}},
      {TEInteger::create(0x102), 3, {}, {"W284: absolute section at address 258 not aligned at 4@1"}},
      {TEInteger::create(0x100000000LL), 1, {}, {"E104: address 4294967296 out of range (0 - FFFFFFFF hexadecimal)@1"}},
      {TEInteger::create(0x100000002LL), 4, {},
       {"E104: address 4294967298 out of range (0 - FFFFFFFF hexadecimal)@1",
        "W284: absolute section at address 2 not aligned at 4@1"}},
      {TEInteger::create(0x500), 1, {{0x100, 0x1FF}, {0x400, 0x7FF}}, {}},
      {TEInteger::create(0x300), 1, {{0x100, 0x1FF}, {0x400, 0x7FF}},
       {"E104: address 768 out of range (100 - 1FF hexadecimal)@1"}},
      {TEInteger::create(0), 16, {}, {}},  // 0 is never misaligned
      {TEError::kind5(), 4, {}, {"E188: section \"s\" has non-absolute address@1"}},
  };
  for (const Case& c : cases) {
    ScopedManagers errors(ScopedManagers::kErrors);
    Section* made = placed("s", c.address);
    made->alignment = c.alignment;
    made->addressRanges = c.ranges;
    made->resolveAbsoluteAddress();
    EXPECT_EQ(diagnostics(), c.messages);
  }
  ScopedManagers errors(ScopedManagers::kErrors);
  Section* floating = section("f");
  floating->resolveAbsoluteAddress();
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(SectionLayoutTest, AddressOfAddsTheBaseOnlyForPlacedSections) {
  Section* floating = section("f");
  EXPECT_EQ(floating->addressOf(12), 12);
  EXPECT_EQ(placed("p", TEInteger::create(0x8000))->addressOf(12), 0x800C);
  EXPECT_EQ(placed("e", TEError::kind5())->addressOf(12), 12);
}

TEST_F(SectionLayoutTest, WalkerCountsPassesAndGivesTheLocationWhileLayingOut) {
  Section* text = section(".text");
  text->locationCounter = 40;
  EXPECT_EQ(text->currentLocation(), 40);  // no walker yet
  FlowWalker* walker = text->flowWalker();
  EXPECT_EQ(walker->pass, 1u);
  EXPECT_EQ(text->flowWalker(), walker);
  walker->offset = 12;
  EXPECT_EQ(text->currentLocation(), 12);
  EXPECT_EQ(text->instructionLocation(), 12);
  text->writing = 1;
  EXPECT_EQ(text->currentLocation(), 40);
  LineInfo* somewhere = line(3);
  currentLayoutLine() = somewhere;
  walker->reset();
  EXPECT_EQ(walker->pass, 2u);
  EXPECT_EQ(walker->offset, 0);
  EXPECT_EQ(currentLayoutLine(), nullptr);
}

TEST_F(SectionLayoutTest, AlignmentPaddingRoundsWherePowersOfTwoAreAsked) {
  struct Case {
    bool powerOfTwo;
    int64_t base;  // -1 not placed
    uint32_t offset;
    uint32_t alignment;
    uint32_t padding;
  };
  const Case cases[] = {
      {false, -1, 8, 0, 0},  {false, -1, 7, 0, 0},  {false, -1, 7, 1, 0}, {false, -1, 8, 6, 4},
      {true, -1, 8, 6, 0},   {true, -1, 9, 6, 7},   {false, -1, 6, 4, 2}, {false, -1, 8, 4, 0},
      {false, 2, 6, 4, 0},   {false, 1, 0, 16, 15}, {true, -1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << " align " << c.alignment);
    Section* made = c.base < 0 ? section("s") : placed("s", TEInteger::create(c.base));
    if (c.powerOfTwo) made->flags.bytes[2] |= Section::SectionFlags::kPowerOfTwoAlignment;
    EXPECT_EQ(alignmentPadding(made, c.offset, c.alignment), c.padding);
  }
}

TEST_F(SectionLayoutTest, LocationThatLeavesThe32BitSpaceIsE217) {
  struct Case {
    uint32_t location;
    int64_t units;
    bool moves;
    uint32_t after;
  };
  const Case cases[] = {
      {0, 16, true, 16},
      {0xFFFFFFF0u, 15, true, 0xFFFFFFFFu},
      {0xFFFFFFF0u, 16, false, 0xFFFFFFF0u},  // the end would no longer be an address
      {0, 0x100000000LL, false, 0},
      {0, 0x80000000LL, true, 0x80000000u},  // a size beyond 31 bits is a size, not a negative one
      {8, -1, false, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.location << " + " << c.units);
    ScopedManagers errors(ScopedManagers::kErrors);
    Section* made = section("s");
    made->locationCounter = static_cast<int32_t>(c.location);
    EXPECT_EQ(made->advanceLocation(c.units, line(5)), c.moves);
    EXPECT_EQ(static_cast<uint32_t>(made->locationCounter), c.after);
    EXPECT_EQ(diagnostics(), c.moves ? std::vector<std::string>{}
                                     : std::vector<std::string>{"E217: expression out of range@5"});
    EXPECT_EQ(fitsInSection(c.location, c.units), c.moves);
  }
}

TEST_F(SectionLayoutTest, SectionTypeDescriptorsByCode) {
  const int32_t codes[] = {101, 102, 104, 103};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(sectionTypeDescriptor(codes[i]), nullptr);
    EXPECT_EQ(sectionTypeDescriptor(codes[i])->typeCode, codes[i]);
    EXPECT_EQ(kSectionTypes[i].typeCode, codes[i]);
  }
  EXPECT_STREQ(kSectionTypes[2].name, "romdata");
  EXPECT_EQ(sectionTypeDescriptor(0), nullptr);
  EXPECT_EQ(sectionTypeDescriptor(105), nullptr);
}

}  // namespace
