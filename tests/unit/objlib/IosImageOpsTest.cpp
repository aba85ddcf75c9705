#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_image.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_section.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class ImageOps : public OneStoreFile {
 protected:
  IosHandle section(uint32_t size, uint32_t bits = 8, bool withImage = true) {
    return sectionOfSize(size, bits, withImage);
  }
  IosHandle imageHandle(IosHandle sectionHandle) {
    IosHandle image{};
    EXPECT_EQ(ios_section_get_image(sectionHandle, &image, nullptr), 0);
    return image;
  }
  IosImage* imageOf(IosHandle sectionHandle) {
    IosImage* record = nullptr;
    EXPECT_EQ(ios_get_image(imageHandle(sectionHandle), &record, nullptr), 0);
    return record;
  }
  std::vector<uint32_t> segmentLengths(IosImage* image) {
    std::vector<uint32_t> lengths;
    for (uint32_t i = 0; i < image->segments.count; ++i)
      lengths.push_back(
          static_cast<IosSegment*>(ios_array_at(&image->segments, sizeof(IosSegment), i))->units);
    return lengths;
  }
  uint8_t byteAt(IosHandle image, uint32_t unit) {
    void* storage = nullptr;
    EXPECT_EQ(ios_image_get_data_entry(image, unit, &storage, nullptr, nullptr), 0);
    return storage == nullptr ? 0xEE : *static_cast<uint8_t*>(storage);
  }
};

constexpr uint32_t M = IOS_SEGMENT_UNITS;

TEST_F(ImageOps, ResizeKeepsAFullLastSegmentAndTheUnitsBelowTheNewSize) {
  struct Case {
    uint32_t oldSize;
    uint32_t newSize;
    std::vector<uint32_t> lengths;
  };
  const Case cases[] = {
      {M + 5, M, {M}},  // a multiple of 2^21 keeps its last segment whole
      {2 * M + 1, 2 * M, {M, M}},
      {10, M, {M}},
      {10, M + 3, {M, 3}},
      {M, 2 * M, {M, M}},
      {M + 5, 4, {4}},
      {7, 0, {}},
      {0, 9, {9}},
  };
  for (const Case& c : cases) {
    IosHandle sectionHandle = section(c.oldSize);
    IosHandle image = imageHandle(sectionHandle);
    uint32_t kept = (c.oldSize < c.newSize ? c.oldSize : c.newSize);
    if (kept > 0) {
      ASSERT_EQ(ios_section_fill(sectionHandle, kept - 1, 1, 0x5A, nullptr), 0);
    }
    IosErrorCode error = NOT_SET;
    ASSERT_EQ(ios_image_resize(image, 8, c.oldSize, c.newSize, &error), 0) << c.newSize;
    EXPECT_EQ(error, NOT_SET);
    EXPECT_EQ(segmentLengths(imageOf(sectionHandle)), c.lengths) << c.oldSize << "->" << c.newSize;
    if (kept > 0) {
      EXPECT_EQ(byteAt(image, kept - 1), 0x5A) << c.oldSize << "->" << c.newSize;
    }
    // Units that the resize added read as zero, in a grown segment or a new one.
    if (c.newSize > c.oldSize) {
      EXPECT_EQ(byteAt(image, c.newSize - 1), 0) << c.newSize;
    }
  }
}

TEST_F(ImageOps, ResizeRefusesAnOldSizeThatDoesNotDescribeTheImageAndWideUnits) {
  IosHandle image = imageHandle(section(M + 1));
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_image_resize(image, 8, 5, 10, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  EXPECT_EQ(ios_image_resize(image, 65, M + 1, 10, &error), 1);
  EXPECT_EQ(error, IOS_ERR_MAU_SIZE_RANGE);
}

TEST_F(ImageOps, HashIsTheElfHashOfTheUnits) {
  struct Case {
    uint32_t bits;
    std::vector<uint64_t> units;
    uint32_t hash;
  };
  const Case cases[] = {
      {8, {'a', 'b', 'c'}, 0x6783},
      {8, {'p', 'r', 'i', 'n', 't', 'f'}, 0x077905A6},  // the high nibble folds back
      {16, {0x102, 0x304}, 0x1324},
      {64, {0x100000005}, 0x5},  // units wider than 32 bits give their low word
      {8, {}, 0},
  };
  for (const Case& c : cases) {
    IosHandle sectionHandle = section(static_cast<uint32_t>(c.units.size()), c.bits);
    for (size_t i = 0; i < c.units.size(); ++i)
      ASSERT_EQ(ios_section_fill(sectionHandle, static_cast<uint32_t>(i), 1, c.units[i], nullptr),
                0);
    uint32_t hash = 0xDEAD;
    ASSERT_EQ(ios_section_hash(sectionHandle, &hash, nullptr), 0);
    EXPECT_EQ(hash, c.hash) << c.units.size();
  }
  // Units never written hash as zeros.
  uint32_t hash = 0;
  IosHandle unwritten = section(6);
  ASSERT_EQ(ios_section_fill(unwritten, 5, 1, 1, nullptr), 0);
  ASSERT_EQ(ios_section_hash(unwritten, &hash, nullptr), 0);
  EXPECT_EQ(hash, 1u);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_image_hash(imageHandle(unwritten), 65, &hash, &error), 1);
  EXPECT_EQ(error, IOS_ERR_MAU_SIZE_RANGE);
  hash = 0xBEEF;
  EXPECT_EQ(ios_section_hash(section(4, 8, false), &hash, nullptr), 0);
  EXPECT_EQ(hash, 0xBEEFu);
}

TEST_F(ImageOps, FillWritesOnlyUnitsInsideTheImage) {
  IosHandle sectionHandle = section(6);
  IosHandle image = imageHandle(sectionHandle);
  ASSERT_EQ(ios_image_fill(image, 8, 3, 0x1FF, 100, nullptr), 0);
  const uint8_t expected[] = {0, 0, 0, 0xFF, 0xFF, 0xFF};
  for (uint32_t unit = 0; unit < 6; ++unit) EXPECT_EQ(byteAt(image, unit), expected[unit]) << unit;
  EXPECT_EQ(segmentLengths(imageOf(sectionHandle)), std::vector<uint32_t>{6});
}

TEST_F(ImageOps, RemovingARelocationMovesTheLaterOnesDown) {
  IosHandle sectionHandle = section(16);
  IosHandle image = imageHandle(sectionHandle);
  for (uint32_t offset : {0u, 4u, 8u}) {
    ExprNode* node = integer(offset);
    ASSERT_EQ(ios_image_add_relocation(sectionHandle, offset, 4, node, 1, 0, 0, nullptr), 0);
    expr_release(node);
  }
  ASSERT_EQ(ios_image_remove_relocation(image, 1, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_image_count_relocations(image, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  IosRelocEntry entry{};
  ASSERT_EQ(ios_section_get_relocation_raw(file_, sectionHandle.object_id, 1, &entry, nullptr), 0);
  EXPECT_EQ(entry.offset, 8u);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_image_remove_relocation(image, 2, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
}

TEST_F(ImageOps, QueriesOfASectionReportTheirErrors) {
  IosHandle wide = section(8, 16);
  IosHandle bare = section(8, 8, false);
  IosHandle narrow = section(8);
  // Each query fails with status 1 and the error given.
  struct Case {
    const char* name;
    int (*call)(IosHandle, IosErrorCode*);
    IosHandle section;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"data entry of 16-bit units",
       [](IosHandle s, IosErrorCode* e) { return ios_section_get_data_entry(s, 0, nullptr, nullptr, e); },
       wide, IOS_ERR_MAU_SIZE_RANGE},
      {"data entry past the size",
       [](IosHandle s, IosErrorCode* e) { return ios_section_get_data_entry(s, 8, nullptr, nullptr, e); },
       narrow, IOS_ERR_DATA_TOO_LARGE},
      {"data entry without image",
       [](IosHandle s, IosErrorCode* e) { return ios_section_get_data_entry(s, 0, nullptr, nullptr, e); },
       bare, IOS_ERR_NO_PROPERTY},
      {"triple count without image",
       [](IosHandle s, IosErrorCode* e) { return ios_section_count_triples(s, nullptr, e); },
       bare, IOS_ERR_NO_IMAGE},
      {"fill range past the table",
       [](IosHandle s, IosErrorCode* e) { return ios_section_get_fill_range(s, 0, nullptr, nullptr, e); },
       narrow, IOS_ERR_INTERNAL},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.call(c.section, &error), 1) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
  uint32_t has = 7;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_has_image_raw(file_, bare.object_id, &has, &error), 0);
  EXPECT_EQ(has, 0u);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
  EXPECT_EQ(ios_section_has_image_raw(file_, 99, &has, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
}

TEST_F(ImageOps, DeletedImageIsGoneAndRangesAreRecorded) {
  IosHandle sectionHandle = section(10);
  IosHandle image = imageHandle(sectionHandle);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_image_add_range(image, 10, 8, 3, &error), 1);
  EXPECT_EQ(error, IOS_ERR_DATA_TOO_LARGE);
  ASSERT_EQ(ios_image_add_range(image, 10, 2, 3, nullptr), 0);
  uint32_t start = 0, length = 0;
  ASSERT_EQ(ios_section_get_range(sectionHandle, 0, &start, &length, nullptr), 0);
  EXPECT_EQ(start, 2u);
  EXPECT_EQ(length, 3u);

  ASSERT_EQ(ios_section_delete_image(sectionHandle, nullptr), 0);
  EXPECT_EQ(ios_get_image(image, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
  IosHandle none{};
  EXPECT_EQ(ios_section_get_image(sectionHandle, &none, nullptr), -1);

  IosHandle made{};
  error = NOT_SET;
  EXPECT_EQ(ios_image_create_for(file_, sectionHandle, 8, 11, &made, &error), 1);
  EXPECT_EQ(error, IOS_ERR_DATA_TOO_LARGE);
  ASSERT_EQ(ios_image_create_for(file_, sectionHandle, 8, 10, &made, nullptr), 0);
  EXPECT_EQ(made.object_id, image.object_id + 1);
  EXPECT_EQ(byteAt(made, 9), 0);
}

TEST_F(ImageOps, OpenDataCoversTheSectionSizeWhenNoCountIsGiven) {
  IosHandle sectionHandle = section(5);
  ASSERT_EQ(ios_section_fill(sectionHandle, 0, 5, 0x33, nullptr), 0);
  IosHandle data{};
  ASSERT_EQ(ios_section_open_data(file_, sectionHandle.object_id, 0, 0, &data, nullptr), 0);
  IosData* window = nullptr;
  ASSERT_EQ(ios_get_data(data, &window, nullptr), 0);
  EXPECT_EQ(window->units, 5u);
  EXPECT_EQ(window->words[4], 0x33u);
  IosHandle image{};
  ASSERT_EQ(ios_data_get_image(file_, data.object_id, &image, nullptr), 0);
  EXPECT_EQ(image.object_id, imageHandle(sectionHandle).object_id);
  ASSERT_EQ(ios_data_remove(file_, data.object_id, nullptr), 0);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_data_remove(file_, data.object_id, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_DATA);
}

}  // namespace
