// The bytes a line collects for the list file, appended a few at a time as data
// and debug nodes write them: every value and marker must stay where the list file
// reads it, whatever the buffer went through on the way.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FlowFixture.h"
#include "flow/DataEncoder.h"

namespace {

class ListingBytesTest : public FlowTest {};

TEST_F(ListingBytesTest, AppendedBytesAndMarkersSurviveEveryGrowth) {
  struct Case {
    uint32_t chunk;  // bytes per append
    uint32_t total;
  } cases[] = {
      {1, 7}, {8, 64}, {8, 65}, {3, 200}, {8, 4096}, {13, 10000}, {64, 64}, {100, 100},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << test.chunk << " at a time to " << test.total);
    LineInfo* at = line(1);
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> markers;
    for (uint32_t done = 0; done < test.total; done += test.chunk) {
      uint32_t count = std::min(test.chunk, test.total - done);
      std::vector<uint8_t> chunkBytes;
      std::vector<uint8_t> chunkMarkers;
      for (uint32_t i = done; i < done + count; ++i) {
        chunkBytes.push_back(static_cast<uint8_t>(i * 7 + 1));
        chunkMarkers.push_back(i % 3 == 0 ? 0xFF : 0);
      }
      appendListingBytes(at, chunkBytes.data(), chunkMarkers.data(), count);
      bytes.insert(bytes.end(), chunkBytes.begin(), chunkBytes.end());
      markers.insert(markers.end(), chunkMarkers.begin(), chunkMarkers.end());
    }
    ASSERT_EQ(at->extras().codeByteCount, test.total);
    const uint8_t* markersAt = at->extras().codeBytes + listingCapacity(test.total);
    EXPECT_EQ(std::vector<uint8_t>(at->extras().codeBytes, at->extras().codeBytes + test.total), bytes);
    EXPECT_EQ(std::vector<uint8_t>(markersAt, markersAt + test.total), markers);
  }
}

// Zeros made in place (a file's bytes filled in later, or padding) sit among appended
// bytes as if appended themselves, with marker 0, also in a buffer that another line
// had and gave back full of its own bytes.
TEST_F(ListingBytesTest, ZerosMadeInPlaceAreZeroWithMarkerZeroAmongAppendedBytes) {
  struct Step {
    bool zeros;
    uint32_t count;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"zeros alone", {{true, 5}}},
      {"zeros after bytes", {{false, 3}, {true, 10}}},
      {"bytes after zeros", {{true, 10}, {false, 3}}},
      {"zeros that grow the buffer", {{false, 60}, {true, 100}, {false, 5}}},
      {"zeros within the capacity", {{false, 65}, {true, 20}, {false, 1}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    // A line that fills a buffer of the sizes below with non-zero values and markers and
    // gives it back as it grows, for the line under test to get.
    LineInfo* before = line(1);
    const std::vector<uint8_t> full(300, 0xEE);
    for (uint32_t count : {65u, 70u, 150u}) appendListingBytes(before, full.data(), full.data(), count);

    LineInfo* at = line(2);
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> markers;
    for (const Step& step : test.steps) {
      if (step.zeros) {
        const uint8_t* made = appendListingZeros(at, step.count);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made, at->extras().codeBytes + bytes.size());
        bytes.insert(bytes.end(), step.count, 0);
        markers.insert(markers.end(), step.count, 0);
      } else {
        std::vector<uint8_t> values(step.count, 0x5A);
        std::vector<uint8_t> marks(step.count, 0xFF);
        appendListingBytes(at, values.data(), marks.data(), step.count);
        bytes.insert(bytes.end(), values.begin(), values.end());
        markers.insert(markers.end(), marks.begin(), marks.end());
      }
    }
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    ASSERT_EQ(at->extras().codeByteCount, total);
    const uint8_t* markersAt = at->extras().codeBytes + listingCapacity(total);
    EXPECT_EQ(std::vector<uint8_t>(at->extras().codeBytes, at->extras().codeBytes + total), bytes);
    EXPECT_EQ(std::vector<uint8_t>(markersAt, markersAt + total), markers);
  }
  EXPECT_EQ(appendListingZeros(line(3), 0), nullptr);
  EXPECT_EQ(appendListingZeros(nullptr, 4), nullptr);
}

TEST_F(ListingBytesTest, CapacityGrowsGeometricallyBeyondSmallLines) {
  struct Case {
    uint32_t count;
    uint32_t capacity;
  } cases[] = {
      {0, 0}, {1, 8}, {8, 8}, {9, 16}, {64, 64}, {65, 128}, {128, 128}, {129, 256},
      {100000, 131072}, {(1u << 31), (1u << 31)},
  };
  for (const Case& test : cases)
    EXPECT_EQ(listingCapacity(test.count), test.capacity) << test.count;
}

}  // namespace
