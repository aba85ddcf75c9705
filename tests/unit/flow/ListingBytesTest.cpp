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
