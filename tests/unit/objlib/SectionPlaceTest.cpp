#include <gtest/gtest.h>

#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_image.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_section.h"
#include "objlib/ios_section_ops.h"
#include "objlib/ios_section_place.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class SectionPlace : public OneStoreFile {
 protected:
  // A section whose units hold first, first + 1, ...
  IosHandle section(uint32_t size, uint8_t first, uint32_t alignment = 0, uint32_t bits = 8) {
    IosHandle made = sectionOfSize(size, bits);
    EXPECT_EQ(ios_section_set_alignment(made, alignment, nullptr), 0);
    for (uint32_t unit = 0; unit < size; ++unit) {
      EXPECT_EQ(ios_section_fill(made, unit, 1, uint8_t(first + unit), nullptr), 0);
    }
    return made;
  }
  std::vector<int> units(IosHandle sectionHandle) {
    uint32_t size = 0;
    EXPECT_EQ(ios_section_get_size(sectionHandle, &size, nullptr), 0);
    IosHandle image{};
    EXPECT_EQ(ios_section_get_image(sectionHandle, &image, nullptr), 0);
    std::vector<int> values;
    for (uint32_t unit = 0; unit < size; ++unit) {
      void* storage = nullptr;
      EXPECT_EQ(ios_image_get_data_entry(image, unit, &storage, nullptr, nullptr), 0);
      values.push_back(*static_cast<uint8_t*>(storage));
    }
    return values;
  }
};

TEST_F(SectionPlace, AppendPadsToTheSourceAlignmentAndRecordsTheGap) {
  IosHandle destination = section(10, 1);
  IosHandle source = section(6, 0x41, 4);
  ExprNode* node = integer(0);
  ASSERT_EQ(ios_image_add_relocation(source, 2, 4, node, 7, 0, 0, nullptr), 0);
  expr_release(node);

  uint32_t offset = 0;
  ASSERT_EQ(ios_section_append(source, destination, &offset, nullptr), 0);
  EXPECT_EQ(offset, 12u);
  uint32_t size = 0;
  ASSERT_EQ(ios_section_get_size(destination, &size, nullptr), 0);
  EXPECT_EQ(size, 18u);
  uint32_t count = 0, start = 0, length = 0;
  ASSERT_EQ(ios_section_count_fill_ranges(destination, &count, nullptr), 0);
  ASSERT_EQ(count, 1u);
  IosHandle image{};
  ASSERT_EQ(ios_section_get_image(destination, &image, nullptr), 0);
  IosImage* record = nullptr;
  ASSERT_EQ(ios_get_image(image, &record, nullptr), 0);
  auto* fill = static_cast<IosRange*>(ios_array_at(&record->zero_ranges, sizeof(IosRange), 0));
  EXPECT_EQ(fill->start, 10u);
  EXPECT_EQ(fill->count, 2u);
  EXPECT_EQ(fill->length, 2u);
  ASSERT_EQ(ios_section_get_fill_range(destination, 0, &start, &length, nullptr), 0);
  EXPECT_EQ(units(destination), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0x41, 0x42,
                                                  0x43, 0x44, 0x45, 0x46}));
  IosRelocEntry relocation{};
  ASSERT_EQ(ios_image_get_entry(image, 0, &relocation, nullptr), 0);
  EXPECT_EQ(relocation.offset, 14u);
  uint32_t alignment = 0;
  ASSERT_EQ(ios_section_get_alignment(destination, &alignment, nullptr), 0);
  EXPECT_EQ(alignment, 4u);
  // The source handle now leads to the destination.
  IosSection* found = nullptr;
  ASSERT_EQ(ios_get_section(source, &found, nullptr), 0);
  EXPECT_EQ(found->handle.object_id, destination.object_id);
}

TEST_F(SectionPlace, AppendAtAnAlignedEndHasAnEmptyGap) {
  IosHandle destination = section(8, 1);
  IosHandle source = section(2, 9, 4);
  uint32_t offset = 0;
  ASSERT_EQ(ios_section_append(source, destination, &offset, nullptr), 0);
  EXPECT_EQ(offset, 8u);
  uint32_t start = 0, length = 7;
  ASSERT_EQ(ios_section_get_fill_range(destination, 0, &start, &length, nullptr), 0);
  EXPECT_EQ(start, 8u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(units(destination), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(SectionPlace, RefusedPlacementsLeaveBothSectionsAsTheyWere) {
  IosHandle destination = section(8, 1);
  IosHandle source = section(4, 0x20);
  IosHandle wide = section(2, 0, 0, 16);
  struct Case {
    const char* name;
    IosHandle source;
    uint32_t offset;
    IosHandle destination;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"does not fit", source, 5, destination, IOS_ERR_DATA_TOO_LARGE},
      // 0xFFFFFFFF + 4 wraps to 3 in 32 bits, which would fit.
      {"offset and size overflow 32 bits", source, 0xFFFFFFFFu, destination,
       IOS_ERR_DATA_TOO_LARGE},
      {"into itself", destination, 0, destination, IOS_ERR_INTERNAL},
      {"unit widths differ", wide, 0, destination, IOS_ERR_MAU_SIZE_DIFFERS},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_section_place_at(file_, c.source.object_id, c.offset, file_,
                                   c.destination.object_id, &error),
              1)
        << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(units(destination), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8})) << c.name;
    EXPECT_EQ(units(source), (std::vector<int>{0x20, 0x21, 0x22, 0x23})) << c.name;
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_merge_into(wide, destination, &error), 1);
  EXPECT_EQ(error, IOS_ERR_MAU_SIZE_DIFFERS);
}

TEST_F(SectionPlace, PlacedSectionAddressFollowsTheDestination) {
  IosHandle destination = section(8, 1);
  IosHandle first = section(2, 0x30);
  IosHandle second = section(2, 0x40);
  ASSERT_EQ(ios_section_set_address_value(destination, 0x1000, 0, nullptr), 0);
  ExprSlotRef firstSlot{}, secondSlot{}, destinationSlot{};
  ASSERT_EQ(ios_section_get_address_slot(first, &firstSlot, nullptr), 0);
  ASSERT_EQ(ios_section_get_address_slot(second, &secondSlot, nullptr), 0);
  ASSERT_EQ(ios_section_get_address_slot(destination, &destinationSlot, nullptr), 0);

  ASSERT_EQ(ios_section_merge_into(first, destination, nullptr), 0);
  ASSERT_EQ(ios_section_place_at(file_, second.object_id, 6, file_, destination.object_id, nullptr),
            0);
  ExprNode* address = nullptr;
  ASSERT_EQ(ios_location_get(firstSlot, &address, nullptr), 0);
  ASSERT_EQ(address->kind, EXPR_SLOT_REF);  // offset 0: the bare reference
  EXPECT_EQ(address->payload.slot.index, destinationSlot.index);
  ASSERT_EQ(ios_location_get(secondSlot, &address, nullptr), 0);
  EXPECT_EQ(address->kind, EXPR_ADD);
  EXPECT_EQ(units(destination), (std::vector<int>{0x30, 0x31, 3, 4, 5, 6, 0x40, 0x41}));

  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_place_at(file_, second.object_id, 0, file_, destination.object_id, &error),
            1);
  EXPECT_EQ(error, IOS_ERR_DELETED);
  EXPECT_EQ(ios_section_is_deleted(second, nullptr), 1);
  EXPECT_EQ(ios_section_is_deleted(destination, nullptr), 0);
  EXPECT_EQ(ios_section_is_deleted(IosHandle{file_, 99}, nullptr), 1);

  // Walks and the live count see the destination once, not the placed sections.
  std::vector<uint32_t> walked;
  uint32_t cursor = 0;
  IosHandle next{};
  while (ios_section_next(file_, &cursor, &next, nullptr) == 0 && next.object_id != 0)
    walked.push_back(next.object_id);
  EXPECT_EQ(walked, std::vector<uint32_t>{destination.object_id});
  uint32_t live = 0;
  ASSERT_EQ(ios_file_count_sections(file_, &live, nullptr), 0);
  EXPECT_EQ(live, 1u);
}

}  // namespace
