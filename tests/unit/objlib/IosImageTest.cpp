#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/objlib_state.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class IosImageStore : public OneStoreFile {
 protected:
  IosHandle section(uint32_t size, uint32_t bits = 8, bool withImage = true) {
    return sectionOfSize(size, bits, withImage);
  }

  IosImage* imageOf(IosHandle sectionHandle) {
    IosHandle image{};
    EXPECT_EQ(ios_section_get_image(sectionHandle, &image, nullptr), 0);
    IosImage* record = nullptr;
    EXPECT_EQ(ios_get_image(image, &record, nullptr), 0);
    return record;
  }
};

TEST_F(IosImageStore, SegmentsSplitAt2To21Units) {
  struct Case {
    uint32_t size;
    std::vector<uint32_t> lengths;
  };
  const Case cases[] = {
      {0, {}},
      {1, {1}},
      {IOS_SEGMENT_UNITS, {IOS_SEGMENT_UNITS}},
      {IOS_SEGMENT_UNITS + 1, {IOS_SEGMENT_UNITS, 1}},
      {2 * IOS_SEGMENT_UNITS + 5, {IOS_SEGMENT_UNITS, IOS_SEGMENT_UNITS, 5}},
  };
  for (const Case& c : cases) {
    IosImage* image = imageOf(section(c.size));
    std::vector<uint32_t> lengths;
    for (uint32_t i = 0; i < image->segments.count; ++i) {
      auto* segment = static_cast<IosSegment*>(ios_array_at(&image->segments, sizeof(IosSegment), i));
      EXPECT_EQ(segment->first_unit, i * IOS_SEGMENT_UNITS) << c.size;
      lengths.push_back(segment->units);
    }
    EXPECT_EQ(lengths, c.lengths) << c.size;
  }
}

TEST_F(IosImageStore, DataEntryPointsIntoTheRightSegment) {
  IosHandle big = section(IOS_SEGMENT_UNITS + 16);
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(big, &image, nullptr), 0);
  void* storage = nullptr;
  uint32_t left = 0;
  ASSERT_EQ(ios_image_get_data_entry(image, IOS_SEGMENT_UNITS + 3, &storage, &left, nullptr), 0);
  EXPECT_EQ(left, 13u);
  auto* second = static_cast<IosSegment*>(ios_array_at(&imageOf(big)->segments, sizeof(IosSegment), 1));
  EXPECT_EQ(storage, static_cast<unsigned char*>(second->buffer) + 3);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_image_get_data_entry(image, IOS_SEGMENT_UNITS + 16, &storage, &left, &error), 1);
  EXPECT_EQ(error, IOS_ERR_DATA_TOO_LARGE);
}

// The first segment takes a filled buffer as its storage, in place of one the store
// made already; a buffer smaller than the segment is refused and left to its maker.
TEST_F(IosImageStore, FirstSegmentAdoptsABufferOfAtLeastItsSize) {
  struct Case {
    const char* name;
    uint32_t size;
    uint32_t bits;
    size_t bufferBytes;
    bool storeBufferFirst;  // the store made the segment's buffer before
    int status;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"one unit", 1, 8, 1, false, 0, NOT_SET},
      {"a whole segment", IOS_SEGMENT_UNITS, 8, IOS_SEGMENT_UNITS, false, 0, NOT_SET},
      {"replaces the store's buffer", 64, 8, 64, true, 0, NOT_SET},
      {"16-bit units", 10, 16, 20, false, 0, NOT_SET},
      {"first of two segments", IOS_SEGMENT_UNITS + 16, 8, IOS_SEGMENT_UNITS, false, 0, NOT_SET},
      {"larger than the segment", 8, 8, 64, false, 0, NOT_SET},
      {"one byte short", 64, 8, 63, true, 1, IOS_ERR_DATA_TOO_LARGE},
      {"units counted in their width", 10, 16, 10, false, 1, IOS_ERR_DATA_TOO_LARGE},
  };
  for (const Case& c : cases) {
    IosHandle sectionHandle = section(c.size, c.bits);
    IosHandle image{};
    ASSERT_EQ(ios_section_get_image(sectionHandle, &image, nullptr), 0) << c.name;
    void* storeBuffer = nullptr;
    if (c.storeBufferFirst) {
      ASSERT_EQ(ios_image_get_data_entry(image, 0, &storeBuffer, nullptr, nullptr), 0);
    }
    auto* bytes = static_cast<unsigned char*>(std::malloc(c.bufferBytes));
    ASSERT_NE(bytes, nullptr);
    for (size_t i = 0; i < c.bufferBytes; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_image_adopt_first_segment(image, bytes, c.bufferBytes, &error), c.status) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    void* storage = nullptr;
    uint32_t left = 0;
    ASSERT_EQ(ios_image_get_data_entry(image, 0, &storage, &left, nullptr), 0) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(storage, bytes) << c.name;
      EXPECT_EQ(static_cast<unsigned char*>(storage)[c.bufferBytes - 1],
                static_cast<unsigned char>((c.bufferBytes - 1) * 7 + 1))
          << c.name;
    } else {
      if (storeBuffer) {
        EXPECT_EQ(storage, storeBuffer) << c.name;
      }
      EXPECT_NE(storage, bytes) << c.name;
      std::free(bytes);
    }
  }
}

TEST_F(IosImageStore, ImageCreationRefusals) {
  IosHandle noSize{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &noSize, nullptr), 0);
  IosHandle twice = section(4);
  IosHandle huge = section(0x80000000u, 8, false);
  IosHandle wide = section(4, 65, false);
  struct Case {
    const char* name;
    IosHandle handle;
    int status;
    IosErrorCode expected;
  };
  const Case cases[] = {
      {"no size", noSize, -1, IOS_ERR_NO_PROPERTY},
      {"second image", twice, 1, IOS_ERR_VALUE_EXISTS},
      {"2^31 units", huge, 1, IOS_ERR_DATA_TOO_LARGE},
      {"unit above 64 bits", wide, 1, IOS_ERR_MAU_SIZE_RANGE},
      {"no section", IosHandle{file_, 99}, 1, IOS_ERR_NO_SECTION},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_section_create_image(c.handle, nullptr, &error), c.status) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
  }
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(twice, &image, nullptr), 0);
  EXPECT_EQ(image.object_id, 1u);  // the first image stays
}

TEST_F(IosImageStore, RecordingNeedsAnImageAndStaysInsideTheSection) {
  IosHandle bare = section(8, 8, false);
  IosHandle full = section(8);
  ExprNode* value = integer(1);
  struct Case {
    const char* name;
    std::function<int(IosHandle, uint32_t offset, uint32_t units, IosErrorCode*)> call;
  };
  const Case cases[] = {
      {"zeros",
       [](IosHandle s, uint32_t o, uint32_t n, IosErrorCode* e) {
         return ios_image_add_zeros(s.file_id, s.object_id, o, n, e);
       }},
      {"range",
       [](IosHandle s, uint32_t o, uint32_t n, IosErrorCode* e) {
         return ios_section_add_plain_range(s.file_id, s.object_id, o, n, e);
       }},
      {"expression",
       [&](IosHandle s, uint32_t o, uint32_t n, IosErrorCode* e) {
         return ios_image_add_expression(s, o, n, value, e);
       }},
      {"relocation",
       [&](IosHandle s, uint32_t o, uint32_t n, IosErrorCode* e) {
         return ios_image_add_relocation(s, o, n, value, 2, 0, 0, e);
       }},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.call(bare, 0, 4, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_IMAGE) << c.name;
    EXPECT_EQ(c.call(full, 4, 4, nullptr), 0) << c.name << ": ends at the size";
    error = NOT_SET;
    EXPECT_EQ(c.call(full, 5, 4, &error), 1) << c.name << ": one unit past";
    EXPECT_EQ(error, IOS_ERR_DATA_TOO_LARGE) << c.name;
    EXPECT_EQ(c.call(full, 8, 0, nullptr), 0) << c.name << ": empty at the end";
  }
  uint32_t count = 0;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_image_count_b(bare, &count, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
  expr_release(value);
}

TEST_F(IosImageStore, RelocationEntriesReadBackInOrderAndHoldTheirExpressions) {
  IosHandle text = section(16);
  ExprNode* first = integer(10);
  ExprNode* second = integer(20);
  ASSERT_EQ(ios_image_add_relocation(text, 0, 4, first, 2, 0, 0, nullptr), 0);
  ASSERT_EQ(ios_image_add_relocation(text, 8, 2, second, 7, 5, 6, nullptr), 0);
  ASSERT_EQ(ios_image_add_expression(text, 12, 4, second, nullptr), 0);
  EXPECT_EQ(first->ref_count, 2);
  EXPECT_EQ(second->ref_count, 3);
  uint32_t count = 0;
  ASSERT_EQ(ios_section_image_count_b(text, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(ios_section_image_count_a(text, &count, nullptr), 0);
  EXPECT_EQ(count, 1u);
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(text, &image, nullptr), 0);
  IosRelocEntry entry{};
  ASSERT_EQ(ios_image_get_entry(image, 1, &entry, nullptr), 0);
  EXPECT_EQ(entry.offset, 8u);
  EXPECT_EQ(entry.units, 2u);
  EXPECT_EQ(entry.type, 7u);
  EXPECT_EQ(entry.expression, second);
  EXPECT_EQ(entry.word1, 5u);
  EXPECT_EQ(entry.word2, 6u);
  EXPECT_EQ(ios_image_get_entry(image, 2, &entry, nullptr), 1);
  IosExprEntry data{};
  ASSERT_EQ(ios_image_get_entry_a(image, 0, &data, nullptr), 0);
  EXPECT_EQ(data.offset, 12u);
  expr_release(first);
  expr_release(second);
  // Deleting the file drops the entries' references.
  uint64_t before = expr_live_node_total();
  ASSERT_EQ(ios_file_delete(file_, nullptr), 0);
  EXPECT_LT(expr_live_node_total(), before);
}

TEST_F(IosImageStore, WindowsWidenAndNarrowUnits) {
  struct Case {
    uint32_t bits;
    uint32_t written;
    uint32_t readBack;
  };
  const Case cases[] = {
      {8, 0x1FF, 0xFF},
      {16, 0x12345, 0x2345},
      {32, 0xDEADBEEF, 0xDEADBEEF},
      {64, 0x80000001, 0x80000001},
  };
  for (const Case& c : cases) {
    IosHandle target = section(4, c.bits);
    IosHandle data{};
    ASSERT_EQ(ios_section_add_data(target, 0, 0, &data, nullptr), 0);
    uint32_t* words = nullptr;
    ASSERT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
    for (uint32_t i = 0; i < 4; ++i) words[i] = i == 2 ? c.written : 0;
    ASSERT_EQ(ios_section_merge_data(target, data, nullptr), 0);
    EXPECT_EQ(ios_get_data(data, nullptr, nullptr), 1) << "a commit deletes the window";
    ASSERT_EQ(ios_section_add_data(target, 0, 4, &data, nullptr), 0);
    ASSERT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
    EXPECT_EQ(words[2], c.readBack) << c.bits;
    EXPECT_EQ(words[1], 0u) << c.bits;
    ASSERT_EQ(ios_section_remove_data(target, data, nullptr), 0);
  }
}

TEST_F(IosImageStore, ZerosAndExpressionsClearTheirUnits) {
  IosHandle target = section(8);
  IosHandle data{};
  ASSERT_EQ(ios_section_add_data(target, 0, 8, &data, nullptr), 0);
  uint32_t* words = nullptr;
  ASSERT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
  for (uint32_t i = 0; i < 8; ++i) words[i] = 0xAA;
  ASSERT_EQ(ios_section_merge_data(target, data, nullptr), 0);
  ASSERT_EQ(ios_image_add_zeros(target.file_id, target.object_id, 1, 2, nullptr), 0);
  ExprNode* value = integer(3);
  ASSERT_EQ(ios_image_add_expression(target, 5, 2, value, nullptr), 0);
  ASSERT_EQ(ios_image_add_relocation(target, 7, 1, value, 2, 0, 0, nullptr), 0);
  expr_release(value);
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(target, &image, nullptr), 0);
  void* storage = nullptr;
  ASSERT_EQ(ios_image_get_data_entry(image, 0, &storage, nullptr, nullptr), 0);
  const unsigned char expected[8] = {0xAA, 0, 0, 0xAA, 0xAA, 0, 0, 0xAA};
  EXPECT_EQ(std::memcmp(storage, expected, 8), 0) << "a relocation leaves its units";
}

// Reserved space costs no memory: a zero range over segments that were never written
// makes no buffer for them (they read as zeros), while one over a written segment
// clears its units there. Counted by the buffers the image holds, at the largest
// section size.
TEST_F(IosImageStore, ZerosOverUnwrittenSegmentsMakeNoBuffers) {
  struct Case {
    uint32_t size;
    uint32_t written;  // a unit set to 0xAA first; size = none
    uint32_t zeroFrom;
    uint32_t zeroCount;
    uint32_t buffers;  // segments holding a buffer afterwards
  };
  constexpr uint32_t kLargest = (1u << 28) - 1;
  const Case cases[] = {
      {kLargest, kLargest, 0, kLargest, 0},
      {kLargest, kLargest, 4, kLargest - 4, 0},
      {kLargest, 5 * IOS_SEGMENT_UNITS + 7, 0, kLargest, 1},
      {3 * IOS_SEGMENT_UNITS, 3 * IOS_SEGMENT_UNITS, IOS_SEGMENT_UNITS - 1, 2, 0},
  };
  for (const Case& c : cases) {
    IosHandle target = section(c.size);
    IosHandle image{};
    ASSERT_EQ(ios_section_get_image(target, &image, nullptr), 0);
    if (c.written < c.size) {
      void* storage = nullptr;
      ASSERT_EQ(ios_image_get_data_entry(image, c.written, &storage, nullptr, nullptr), 0);
      *static_cast<unsigned char*>(storage) = 0xAA;
    }
    ASSERT_EQ(ios_image_add_zeros(target.file_id, target.object_id, c.zeroFrom, c.zeroCount, nullptr), 0);
    IosImage* record = imageOf(target);
    uint32_t buffers = 0;
    for (uint32_t i = 0; i < record->segments.count; ++i)
      buffers += static_cast<IosSegment*>(ios_array_at(&record->segments, sizeof(IosSegment), i))->buffer != nullptr;
    EXPECT_EQ(buffers, c.buffers) << c.size << " " << c.written;
    for (uint32_t unit : {c.zeroFrom, c.zeroFrom + c.zeroCount - 1, c.written}) {
      if (unit >= c.size) continue;
      const void* storage = nullptr;
      uint32_t left = 0;
      ASSERT_EQ(ios_image_peek_data_entry(image, unit, &storage, &left, nullptr), 0);
      EXPECT_GT(left, 0u);
      EXPECT_TRUE(storage == nullptr || *static_cast<const unsigned char*>(storage) == 0) << unit;
    }
  }
}

TEST_F(IosImageStore, WindowMismatchesFailWith33) {
  IosHandle first = section(4);
  IosHandle second = section(4);
  IosHandle data{};
  ASSERT_EQ(ios_section_add_data(first, 0, 4, &data, nullptr), 0);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_merge_data(second, data, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
  EXPECT_EQ(ios_get_data(data, nullptr, nullptr), 0) << "the window stays open";
  ASSERT_EQ(ios_section_merge_data(first, data, nullptr), 0);

  // A window of 0 units belongs to no image.
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(first, &image, nullptr), 0);
  ASSERT_EQ(ios_data_place(image, 8, 0, 0, &data, nullptr), 0);
  uint32_t* words = reinterpret_cast<uint32_t*>(1);
  ASSERT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
  EXPECT_EQ(words, nullptr);
  error = NOT_SET;
  EXPECT_EQ(ios_section_merge_data(first, data, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
  error = NOT_SET;
  EXPECT_EQ(ios_get_data(IosHandle{file_, 99}, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_DATA);
}

TEST_F(IosImageStore, ScratchArrayIsReusedAndNeverFreedTwice) {
  IosHandle target = section(64);
  IosHandle a{}, b{}, c{};
  uint32_t *wordsA = nullptr, *wordsB = nullptr, *wordsC = nullptr;
  ASSERT_EQ(ios_section_add_data(target, 0, 64, &a, nullptr), 0);
  ASSERT_EQ(ios_data_get_buffer(a, &wordsA, nullptr), 0);
  ASSERT_EQ(ios_data_delete(a, nullptr), 0);
  ASSERT_EQ(ios_section_add_data(target, 0, 64, &b, nullptr), 0);
  ASSERT_EQ(ios_data_get_buffer(b, &wordsB, nullptr), 0);
  EXPECT_EQ(wordsA, wordsB) << "same length: the scratch array again";
  // A second window while b is open gets an array of its own, which becomes the
  // scratch array; b keeps the old one.
  ASSERT_EQ(ios_section_add_data(target, 0, 64, &c, nullptr), 0);
  ASSERT_EQ(ios_data_get_buffer(c, &wordsC, nullptr), 0);
  EXPECT_NE(wordsB, wordsC);
  ASSERT_EQ(ios_data_delete(c, nullptr), 0);  // scratch free
  ASSERT_EQ(ios_data_delete(b, nullptr), 0);  // frees b's array and the free scratch
  // The freed scratch must be forgotten: new windows and the final release work.
  for (uint32_t length : {64u, 32u, 64u}) {
    IosHandle d{};
    ASSERT_EQ(ios_section_add_data(target, 0, length, &d, nullptr), 0);
    ASSERT_EQ(ios_section_merge_data(target, d, nullptr), 0);
  }
  ios_scratch_release();
}

// Handing a window a word array gives its old one back: the scratch array to the
// run for the next window, any other array to the heap; the scratch array handed
// in is lent again, so no other window is given it meanwhile.
TEST_F(IosImageStore, HandingAWindowAnArrayGivesItsOldOneBack) {
  struct Case {
    const char* name;
    bool scratchHandedBack;  // the window's scratch array goes back to the run
    bool nextWindowGetsScratch;
  };
  const Case cases[] = {
      {"own array replaces the scratch array", false, true},
      {"the scratch array handed back in", true, false},
  };
  for (const Case& c : cases) {
    IosHandle target = section(4);
    IosHandle a{};
    ASSERT_EQ(ios_section_add_data(target, 0, 4, &a, nullptr), 0);
    uint32_t* scratch = nullptr;
    ASSERT_EQ(ios_data_get_buffer(a, &scratch, nullptr), 0);
    auto* own = static_cast<uint32_t*>(std::malloc(4 * sizeof(uint32_t)));
    ASSERT_NE(own, nullptr);
    for (uint32_t i = 0; i < 4; ++i) own[i] = 0x10 + i;
    IosErrorCode error = NOT_SET;
    ASSERT_EQ(ios_data_set_buffer(file_, a.object_id, own, &error), 0) << c.name;
    EXPECT_EQ(error, NOT_SET) << c.name;
    uint32_t* held = nullptr;
    ASSERT_EQ(ios_data_get_buffer(a, &held, nullptr), 0);
    EXPECT_EQ(held, own) << c.name;
    uint32_t* expectedInA = own;
    if (c.scratchHandedBack) {
      // The scratch array, now free, goes back to a; own goes to the heap.
      for (uint32_t i = 0; i < 4; ++i) scratch[i] = 0x20 + i;
      ASSERT_EQ(ios_data_set_buffer(file_, a.object_id, scratch, nullptr), 0) << c.name;
      expectedInA = scratch;
    }
    IosHandle b{};
    ASSERT_EQ(ios_section_add_data(target, 0, 4, &b, nullptr), 0);
    uint32_t* wordsB = nullptr;
    ASSERT_EQ(ios_data_get_buffer(b, &wordsB, nullptr), 0);
    EXPECT_EQ(wordsB == scratch, c.nextWindowGetsScratch) << c.name;
    ASSERT_EQ(ios_section_remove_data(target, b, nullptr), 0);
    uint32_t first = expectedInA[0];
    ASSERT_EQ(ios_section_merge_data(target, a, nullptr), 0) << c.name;
    IosHandle image{};
    ASSERT_EQ(ios_section_get_image(target, &image, nullptr), 0);
    void* storage = nullptr;
    ASSERT_EQ(ios_image_get_data_entry(image, 0, &storage, nullptr, nullptr), 0);
    EXPECT_EQ(static_cast<const unsigned char*>(storage)[0], first) << c.name;
    ios_scratch_release();
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_data_set_buffer(file_, 99, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_DATA);
}

// A window given its fields by hand commits like one opened over the image, and the
// merge from plain ids checks section, window and image in that order.
TEST_F(IosImageStore, WindowFieldsSetByHandMergeFromPlainIds) {
  IosHandle target = section(4);
  IosHandle other = section(4);
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(target, &image, nullptr), 0);
  struct Case {
    const char* name;
    uint32_t sectionId;  // 0: the target
    uint32_t dataId;     // 0: the window
    bool otherSection;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"no such section", 77, 0, false, 1, IOS_ERR_NO_SECTION},
      {"no such window", 0, 99, false, 1, IOS_ERR_NO_DATA},
      {"window over another image", 0, 0, true, 1, IOS_ERR_NO_IMAGE},
      {"committed", 0, 0, false, 0, NOT_SET},
  };
  for (const Case& c : cases) {
    IosHandle data{};
    ASSERT_EQ(ios_data_place(image, 8, 0, 0, &data, nullptr), 0);
    auto* words = static_cast<uint32_t*>(std::malloc(2 * sizeof(uint32_t)));
    ASSERT_NE(words, nullptr);
    words[0] = 0x1A5;  // narrowed to the 8-bit unit
    words[1] = 0x66;
    IosErrorCode error = NOT_SET;
    ASSERT_EQ(ios_data_set_fields(file_, data.object_id, words, image.file_id, image.object_id, 1,
                                  2, &error),
              0)
        << c.name;
    EXPECT_EQ(error, NOT_SET) << c.name;
    IosData* record = nullptr;
    ASSERT_EQ(ios_get_data(data, &record, nullptr), 0);
    EXPECT_EQ(record->words, words) << c.name;
    EXPECT_EQ(record->first_unit, 1u) << c.name;
    EXPECT_EQ(record->units, 2u) << c.name;
    uint32_t sectionId = c.otherSection ? other.object_id
                                        : (c.sectionId != 0 ? c.sectionId : target.object_id);
    uint32_t dataId = c.dataId != 0 ? c.dataId : data.object_id;
    EXPECT_EQ(ios_section_merge_data_raw(file_, sectionId, file_, dataId, &error), c.result)
        << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    if (c.result != 0) {
      ASSERT_EQ(ios_data_delete(data, nullptr), 0);
      continue;
    }
    EXPECT_EQ(ios_get_data(data, nullptr, nullptr), 1) << "a commit deletes the window";
    void* storage = nullptr;
    ASSERT_EQ(ios_image_get_data_entry(image, 0, &storage, nullptr, nullptr), 0);
    const unsigned char expected[4] = {0, 0xA5, 0x66, 0};
    EXPECT_EQ(std::memcmp(storage, expected, 4), 0);
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_data_set_fields(file_, 99, nullptr, 0, 0, 0, 0, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_DATA);
}

// The cost is counted, not timed: the relocation table grows by doubling, so it copies
// fewer entries than twice those added (a fixed step would copy billions), and reading
// them back copies nothing.
TEST_F(IosImageStore, HundredThousandRelocationsCostLinearWork) {
  constexpr uint32_t kCount = 100000;
  IosHandle text = section(kCount * 4);
  ExprNode* value = integer(0);
  objlib_state().moved_items = 0;
  for (uint32_t i = 0; i < kCount; ++i)
    ASSERT_EQ(ios_image_add_relocation(text, i * 4, 4, value, 2, 0, 0, nullptr), 0);
  const uint64_t movedWhileAdding = objlib_state().moved_items;
  EXPECT_LT(movedWhileAdding, 2 * uint64_t{kCount});
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(text, &image, nullptr), 0);
  uint64_t offsets = 0;
  IosRelocEntry entry{};
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(ios_image_get_entry(image, i, &entry, nullptr), 0);
    offsets += entry.offset;
  }
  EXPECT_EQ(offsets, uint64_t{4} * kCount * (kCount - 1) / 2);
  EXPECT_EQ(objlib_state().moved_items, movedWhileAdding);
  EXPECT_EQ(value->ref_count, int32_t{kCount} + 1);
  expr_release(value);
}

}  // namespace
