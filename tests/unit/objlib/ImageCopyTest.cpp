#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_section.h"
#include "objlib/ios_section_ops.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

TEST(UnitConversion, PacksAndSplitsByWidthAndByteOrder) {
  struct Case {
    uint32_t from, to, order;
    std::vector<uint32_t> units;
    std::vector<uint32_t> converted;
  };
  const Case cases[] = {
      {8, 16, 1, {0x12, 0x34, 0x56}, {0x1234, 0x5600}},  // the first unit most significant
      {8, 32, 2, {0x1FF, 0x2, 0x3, 0x4}, {0xFF020304}},  // units masked to their width
      {16, 8, 1, {0x1234}, {0x34, 0x12}},
      {16, 8, 2, {0x1234}, {0x12, 0x34}},
      {32, 8, 2, {0x11223344}, {0x11, 0x22, 0x33, 0x44}},
      {8, 1, 1, {0x05}, {1, 0, 1, 0, 0, 0, 0, 0}},
      {1, 8, 1, {1, 0}, {1, 0}},
  };
  for (const Case& c : cases) {
    uint32_t* converted = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(ios_convert_units(c.units.data(), static_cast<uint32_t>(c.units.size()), c.from,
                                c.to, c.order, &converted, &count, nullptr),
              0);
    EXPECT_EQ(std::vector<uint32_t>(converted, converted + count), c.converted)
        << c.from << "->" << c.to << " order " << c.order;
    std::free(converted);
  }
  uint32_t* converted = nullptr;
  uint32_t count = 0, unit = 1;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_convert_units(&unit, 1, 12, 8, 1, &converted, &count, &error), 1);
  EXPECT_EQ(error, IOS_ERR_MAU_SIZE_DIFFERS);
}

class ImageCopy : public OneStoreFile {
 protected:
  IosHandle section(uint32_t size, uint32_t bits, std::vector<uint64_t> units = {}) {
    IosHandle made = sectionOfSize(size, bits, !units.empty());
    if (!units.empty()) {
      for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(ios_section_fill(made, static_cast<uint32_t>(i), 1, units[i], nullptr), 0);
      }
    }
    return made;
  }
  std::vector<uint32_t> units(IosHandle sectionHandle, uint32_t count) {
    IosHandle data{};
    EXPECT_EQ(ios_section_add_data(sectionHandle, 0, count, &data, nullptr), 0);
    uint32_t* words = nullptr;
    EXPECT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
    std::vector<uint32_t> values(words, words + count);
    EXPECT_EQ(ios_data_delete(data, nullptr), 0);
    return values;
  }
};

TEST_F(ImageCopy, CopyConvertsIntoTheTargetsWidth) {
  IosHandle source = section(4, 8, {1, 2, 3, 4});
  IosHandle target = section(2, 16);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_copy_image(target, source, 4, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);  // no byte order to convert by
  ASSERT_EQ(ios_file_set_byte_order(file_, 1, nullptr), 0);
  ASSERT_EQ(ios_section_copy_image(target, source, 4, nullptr), 0);
  EXPECT_EQ(units(target, 2), (std::vector<uint32_t>{0x0102, 0x0304}));
}

TEST_F(ImageCopy, ExchangeSwapsOrConvertsLinkedImages) {
  ASSERT_EQ(ios_file_set_byte_order(file_, 2, nullptr), 0);
  IosHandle first = section(2, 8, {7, 8});
  IosHandle second = section(2, 8, {9, 10});
  ASSERT_EQ(ios_section_set_number(first, 5, nullptr), 0);
  ASSERT_EQ(ios_section_set_number(second, 5, nullptr), 0);
  ASSERT_EQ(ios_section_exchange_images(first, second, 2, nullptr), 0);
  EXPECT_EQ(units(first, 2), (std::vector<uint32_t>{9, 10}));
  EXPECT_EQ(units(second, 2), (std::vector<uint32_t>{7, 8}));

  IosHandle wide = section(2, 16, {0x1234, 0x5678});
  IosHandle narrow = section(4, 8, {1, 1, 1, 1});
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_exchange_images(wide, narrow, 2, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);  // neither one number nor a link
  ASSERT_EQ(ios_section_set_link(wide, narrow, nullptr), 0);
  ASSERT_EQ(ios_section_exchange_images(wide, narrow, 2, nullptr), 0);
  EXPECT_EQ(units(narrow, 4), (std::vector<uint32_t>{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(units(wide, 2), (std::vector<uint32_t>{1, 1}));  // the target's former image
}

TEST_F(ImageCopy, CopyIntoFillsEveryTargetAndDropsTheSourceImage) {
  ASSERT_EQ(ios_file_set_byte_order(file_, 1, nullptr), 0);
  IosHandle source = section(4, 8, {1, 2, 3, 4});
  IosHandle same = section(4, 8);
  IosHandle wide = section(2, 16);
  const IosHandle targets[] = {same, wide, IosHandle{file_, 0}};
  ASSERT_EQ(ios_section_copy_into(file_, source.object_id, targets, nullptr), 0);
  EXPECT_EQ(units(same, 4), (std::vector<uint32_t>{1, 2, 3, 4}));
  // Each target takes as many source units as its own size counts.
  EXPECT_EQ(units(wide, 2), (std::vector<uint32_t>{0x0102, 0}));
  IosHandle image{};
  EXPECT_EQ(ios_section_get_image(source, &image, nullptr), -1);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_copy_into(file_, source.object_id, targets, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
}

TEST_F(ImageCopy, RawMoveExchangesTheSectionsOwnImages) {
  struct Case {
    const char* name;
    uint32_t sourceBits, targetBits, targetSize;
    bool sameNumber, link, redirectSource, missingTarget;
    int status;
    IosErrorCode error;
    std::vector<uint32_t> targetUnits;  // after the move
  };
  const Case cases[] = {
      {"one number", 8, 8, 2, true, false, false, false, 0, NOT_SET, {7, 8}},
      {"one number, widths differ", 16, 8, 4, true, false, false, false, 1,
       IOS_ERR_MAU_SIZE_DIFFERS, {1, 1, 1, 1}},
      {"linked, one width", 8, 8, 2, false, true, false, false, 0, NOT_SET, {7, 8}},
      {"linked, converted", 16, 8, 4, false, true, false, false, 0, NOT_SET,
       {0x12, 0x34, 0x56, 0x78}},
      {"unrelated", 8, 8, 2, false, false, false, false, 1, IOS_ERR_INTERNAL, {1, 1}},
      {"target not in the table", 8, 8, 2, false, true, false, true, 1, IOS_ERR_NO_SECTION, {1, 1}},
      {"redirected source", 8, 8, 2, false, true, true, false, 0, NOT_SET, {7, 8}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ios_file_set_byte_order(file_, 2, nullptr), 0);
    IosHandle source = c.sourceBits == 8 ? section(2, 8, {7, 8}) : section(2, 16, {0x1234, 0x5678});
    IosHandle target = section(c.targetSize, c.targetBits, std::vector<uint64_t>(c.targetSize, 1));
    IosHandle elsewhere = section(2, 8, {5, 5});
    if (c.sameNumber) {
      ASSERT_EQ(ios_section_set_number(source, 40 + source.object_id, nullptr), 0);
      ASSERT_EQ(ios_section_set_number(target, 40 + source.object_id, nullptr), 0);
    }
    if (c.link) {
      ASSERT_EQ(ios_section_set_link(source, target, nullptr), 0);
    }
    if (c.redirectSource) {
      // Lookups that follow the redirection land on `elsewhere`; the raw move must not.
      IosSection* record = nullptr;
      ASSERT_EQ(ios_section_lookup_raw(file_, source.object_id, &record, nullptr), 0);
      record->redirect = elsewhere;
    }
    IosErrorCode error = NOT_SET;
    uint32_t targetId = c.missingTarget ? 999 : target.object_id;
    EXPECT_EQ(ios_section_move_content_raw(file_, source.object_id, file_, targetId, &error),
              c.status)
        << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(units(target, c.targetSize), c.targetUnits) << c.name;
    EXPECT_EQ(units(elsewhere, 2), (std::vector<uint32_t>{5, 5})) << c.name;
  }
}

}  // namespace
