#include "isa/IPInstruction.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "ScopedManagers.h"
#include "isa/OperandEvaluation.h"

namespace {

// The error handler formats the W127 text and reports the internal errors; reporting one
// reads the options.
constexpr unsigned kReporting = ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kOptions;

TEST(AlignPadding, PadsToTheNextMultipleAndRejectsAlignmentsBeyondI32) {
  ScopedManagers managers{kReporting};
  struct Case {
    int64_t address;
    int32_t alignment;
    bool powerOfTwo;
    int32_t expected;
    const char* text;  // the W127 text, or null when none is handed back
  };
  const Case cases[] = {
      {6, 4, false, 2, nullptr},
      {8, 4, false, 0, nullptr},
      {5, 3, false, 1, nullptr},
      {5, 3, true, 3, "W127: alignment size changed to 4"},
      {5, 1, true, 0, nullptr},
      {0, 0, false, 0, nullptr},
      {7, -4, false, 0, nullptr},
      // A negative address pads forward to the next multiple, never past it.
      {-3, 4, false, 3, nullptr},
      {-8, 4, false, 0, nullptr},
      // The next power of two of this alignment does not fit 32 bits.
      {1, INT32_MAX, true, -1, nullptr},
  };
  for (const Case& c : cases) {
    const char* text = nullptr;
    EXPECT_EQ(alignPaddingAt(c.address, c.alignment, c.powerOfTwo, &text), c.expected)
        << c.address << " align " << c.alignment;
    if (c.text) {
      ASSERT_NE(text, nullptr);
      EXPECT_STREQ(text, c.text);
    } else {
      EXPECT_EQ(text, nullptr);
    }
  }
}

TEST(CandidateSize, CountsUnitsAndAlignmentPadding) {
  struct Case {
    uint32_t bits;
    int32_t alignment;
    uint32_t offset;
    int64_t expected;
  };
  const Case cases[] = {{32, 0, 6, 4}, {16, 0, 6, 2}, {32, 4, 6, 6}, {32, 4, 8, 4}, {16, -2, 3, 2}};
  for (const Case& c : cases) {
    IPInstruction instruction;
    instruction.alignment = c.alignment;
    instruction.encoding = new Encoding(c.bits, nullptr);
    EXPECT_EQ(instruction.size(nullptr, c.offset), c.expected) << c.bits << " at " << c.offset;
  }
}

TEST(RemapBits, MovesSubEncodingRunsThroughTheFieldList) {
  // The 18-bit absolute address field as the ABS format scatters it.
  const OperandMapping absolute[] = {{6, 0, 16}, {4, 6, 28}, {4, 10, 22}, {4, 14, 12}};
  struct Case {
    std::vector<OperandMapping> runs;
    std::vector<OperandMapping> triples;
    std::vector<OperandMapping> expected;
  };
  const Case cases[] = {
      {{{18, 0, 0}},
       {absolute, absolute + 4},
       {{6, 0, 16}, {4, 6, 28}, {4, 10, 22}, {4, 14, 12}}},
      // Address bits 28..31 sit at sub-encoding bits 14..17.
      {{{14, 0, 0}, {4, 28, 14}},
       {absolute, absolute + 4},
       {{6, 0, 16}, {4, 6, 28}, {4, 10, 22}, {4, 28, 12}}},
      // Contiguous results merge; uncovered bits are dropped.
      {{{8, 0, 0}}, {{4, 0, 8}, {4, 4, 12}}, {{8, 0, 8}}},
      {{{8, 0, 0}}, {{4, 0, 8}}, {{4, 0, 8}}},
      {{{8, 0, 0}}, {}, {}},
  };
  for (const Case& c : cases) {
    OperandEncoding field;
    for (const OperandMapping& run : c.runs)
      field.mapping.push_back(run);
    field.remapBits(static_cast<uint32_t>(c.triples.size()), c.triples.data());
    ASSERT_EQ(field.mapping.size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(field.mapping[i].length, c.expected[i].length) << i;
      EXPECT_EQ(field.mapping[i].source, c.expected[i].source) << i;
      EXPECT_EQ(field.mapping[i].destination, c.expected[i].destination) << i;
    }
  }
}

TEST(PlaceValueFields, SetsOnlyTheMappedBitsOfAnIntegerValue) {
  const OperandMapping nopRuns[] = {{8, 0, 0}, {5, 8, 22}};
  const OperandFieldMap nopFields = {nullptr, nullptr, 2, nopRuns};
  struct Case {
    uint32_t valueKind;
    uint32_t value;
    uint32_t expected;
  };
  const Case cases[] = {
      {RegisterRecord::kInteger, 0x0D, 0x0000000D},
      {RegisterRecord::kInteger, 0x120D, 0x0480000D},  // dsync
      {RegisterRecord::kInteger, 0, 0},
      {RegisterRecord::kText, 0x120D, 0},
  };
  for (const Case& c : cases) {
    Encoding encoding(32, nullptr);
    isa::placeValueFields(&encoding, &nopFields, c.valueKind, c.value);
    EXPECT_EQ(encoding.image[7], c.expected) << std::hex << c.value;
  }
}

TEST(EncodingBoundsDeathTest, RunOutsideTheEncodingIsAnInternalError) {
  ScopedManagers managers{kReporting};
  struct Case {
    uint32_t bits;
    uint32_t length, source, destination;
  };
  const Case cases[] = {{32, 8, 0, 28}, {16, 1, 0, 16}, {32, 8, 60, 0}};
  for (const Case& c : cases) {
    Encoding encoding(c.bits, nullptr);
    EXPECT_DEATH(encoding.orBits(~0ull, c.length, c.source, c.destination), "S901") << c.bits << " " << c.destination;
  }
}

TEST(EncodingImage, RunsCrossWordsAndBytesComeLowFirst) {
  Encoding wide(0, nullptr);
  wide.orBits(0xFFFF, 16, 0, 24);
  EXPECT_EQ(wide.image[7], 0xFF000000u);
  EXPECT_EQ(wide.image[6], 0x000000FFu);
  Encoding word(32, nullptr);
  word.orBits(0xF3FFF085u, 32, 0, 0);
  uint8_t bytes[4];
  ASSERT_EQ(word.memoryBytes(bytes, sizeof bytes), 4u);
  const uint8_t expected[] = {0x85, 0xF0, 0xFF, 0xF3};
  EXPECT_EQ(std::memcmp(bytes, expected, 4), 0);
}

}  // namespace
