// Section and group operations for the library's clients on a store file filled
// through the object writer's calls.
#include <gtest/gtest.h>

#include <vector>

#include "StoreFileFixture.h"
#include "objlib/expr_slots.h"
#include "objlib/ios_group.h"
#include "objlib/ios_section.h"
#include "objlib/ios_section_ops.h"

namespace {

class SectionOps : public OneStoreFile {
 protected:
  IosHandle section() {
    IosHandle made{};
    EXPECT_EQ(ios_section_add(file_, &made, nullptr), 0);
    return made;
  }
  IosHandle group() {
    IosHandle made{};
    EXPECT_EQ(ios_group_create(file_, IosHandle{file_, 1}, &made, nullptr), 0);
    return made;
  }
};

TEST_F(SectionOps, AddedSectionsCountFromOneWithTheirOwnAddressSlots) {
  IosHandle first = section();
  IosHandle second = section();
  EXPECT_EQ(first.object_id, 1u);
  EXPECT_EQ(second.object_id, 2u);
  ExprSlotRef a{};
  ExprSlotRef b{};
  ios_section_get_address_slot(first, &a, nullptr);
  ios_section_get_address_slot(second, &b, nullptr);
  EXPECT_NE(a.index, b.index);
  ExprSlotRef size{};
  EXPECT_EQ(ios_section_get_size_slot(first, &size, nullptr), 0);
  EXPECT_NE(size.index, a.index);
}

TEST_F(SectionOps, SettersAndTheirFailuresLeaveTheSectionAsItWas) {
  IosHandle s = section();
  IosHandle target = section();
  ASSERT_EQ(ios_section_set_string2(s, IosHandle{file_, 4}, nullptr), 0);
  ASSERT_EQ(ios_section_set_link(s, target, nullptr), 0);
  ASSERT_EQ(ios_section_set_field_13_14(s, 2, nullptr), 0);
  struct Case {
    const char* what;
    int (*call)(IosHandle s, uint32_t file, IosErrorCode* e);
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"second string again, the same", [](IosHandle s, uint32_t f, IosErrorCode* e) {
         return ios_section_set_string2(s, IosHandle{f, 4}, e); }, 1, IOS_ERR_VALUE_EXISTS},
      {"third string without an id", [](IosHandle s, uint32_t f, IosErrorCode* e) {
         return ios_section_set_string3(s, IosHandle{f, 0}, e); }, 1, IOS_ERR_NO_STRING},
      {"third string unset", [](IosHandle s, uint32_t, IosErrorCode* e) {
         IosHandle h; return ios_section_get_string3(s, &h, e); }, -1, IOS_ERR_NO_PROPERTY},
      {"link again", [](IosHandle s, uint32_t f, IosErrorCode* e) {
         return ios_section_set_link(s, IosHandle{f, 1}, e); }, 1, IOS_ERR_VALUE_EXISTS},
      {"link to section 0", [](IosHandle s, uint32_t f, IosErrorCode* e) {
         return ios_section_set_link(s, IosHandle{f, 0}, e); }, 1, IOS_ERR_NO_SECTION},
      {"link to a missing section", [](IosHandle s, uint32_t f, IosErrorCode* e) {
         return ios_section_set_link(s, IosHandle{f, 9}, e); }, 1, IOS_ERR_NO_SECTION},
      {"field 13-14 again", [](IosHandle s, uint32_t, IosErrorCode* e) {
         return ios_section_set_field_13_14(s, 2, e); }, 1, IOS_ERR_VALUE_EXISTS},
      {"field 10-12 unset", [](IosHandle s, uint32_t, IosErrorCode* e) {
         uint32_t v; return ios_section_get_field_10_12(s, &v, e); }, -1, IOS_ERR_NO_PROPERTY},
      {"slot 3 empty", [](IosHandle s, uint32_t, IosErrorCode* e) {
         ExprNode* n; return ios_section_get_slot3_expr(s, &n, e); }, -1, IOS_ERR_NO_PROPERTY},
      {"slot 3 value empty", [](IosHandle s, uint32_t, IosErrorCode* e) {
         uint32_t v[2]; return ios_section_get_slot3_value(s, v, e); }, -1, IOS_ERR_NO_PROPERTY},
      {"image none", [](IosHandle s, uint32_t, IosErrorCode* e) {
         IosHandle h; return ios_section_get_image(s, &h, e); }, -1, IOS_ERR_NO_IMAGE},
      {"group none", [](IosHandle s, uint32_t, IosErrorCode* e) {
         IosHandle h; return ios_section_get_group(s, &h, e); }, -1, IOS_ERR_NO_GROUP},
      {"missing section", [](IosHandle, uint32_t f, IosErrorCode* e) {
         return ios_section_put_number(IosHandle{f, 9}, 1, e); }, 1, IOS_ERR_NO_SECTION},
      {"missing file", [](IosHandle, uint32_t, IosErrorCode* e) {
         IosHandle h; return ios_section_add(4242, &h, e); }, 1, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = IOS_ERR_NO_MEMORY;
    EXPECT_EQ(c.call(s, file_, &error), c.result) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    IosHandle held{};
    EXPECT_EQ(ios_section_get_string2(s, &held, nullptr), 0) << c.what;
    EXPECT_EQ(held.object_id, 4u) << c.what;
    EXPECT_EQ(ios_section_get_link(s, &held, nullptr), 0) << c.what;
    EXPECT_EQ(held.object_id, target.object_id) << c.what;
    uint32_t attributes = 0;
    ios_section_get_attributes(s, &attributes, nullptr);
    EXPECT_EQ((attributes >> 13) & 3u, 2u) << c.what;
  }
  uint32_t count = 0;
  ios_file_count_sections(file_, &count, nullptr);
  EXPECT_EQ(count, 2u);
}

TEST_F(SectionOps, LinksClearOnlyWhenSet) {
  IosHandle s = section();
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_section_clear_link(s, &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  ASSERT_EQ(ios_section_set_link(s, s, nullptr), 0);
  EXPECT_EQ(ios_section_clear_link(s, nullptr), 0);
  IosHandle link{};
  EXPECT_EQ(ios_section_get_link(s, &link, &error), -1);
  EXPECT_EQ(ios_section_set_link(s, s, nullptr), 0);
}

TEST_F(SectionOps, GroupGetterWritesTheHandleBeforeFailing) {
  IosHandle s = section();
  IosHandle out{7, 7};
  EXPECT_EQ(ios_section_get_group(s, &out, nullptr), -1);
  EXPECT_EQ(out.object_id, 0u);
  IosHandle g = group();
  ASSERT_EQ(ios_section_add_to_group(g, s, nullptr), 0);
  EXPECT_EQ(ios_section_get_group(s, &out, nullptr), 0);
  EXPECT_EQ(out.object_id, g.object_id);
}

TEST_F(SectionOps, BitsAndNumbersOverwrite) {
  IosHandle s = section();
  uint32_t value = 9;
  EXPECT_EQ(ios_section_get_flag19(s, &value, nullptr), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(ios_section_set_flag19(s, 3, nullptr), 0);
  EXPECT_EQ(ios_section_set_flag21(s, 1, nullptr), 0);
  EXPECT_EQ(ios_section_get_flag19(s, &value, nullptr), 0);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(ios_section_set_flag19(s, 2, nullptr), 0);
  EXPECT_EQ(ios_section_get_flag19(s, &value, nullptr), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(ios_section_get_flag21(s, &value, nullptr), 0);
  EXPECT_EQ(value, 1u);
  uint32_t attributes = 0;
  ios_section_get_attributes(s, &attributes, nullptr);
  EXPECT_EQ(attributes & (1u << 20), 0u);  // the marker between them stays
  EXPECT_EQ(ios_section_put_number(s, 5, nullptr), 0);
  EXPECT_EQ(ios_section_put_number(s, 6, nullptr), 0);
  EXPECT_EQ(ios_section_get_number(s, &value, nullptr), 0);
  EXPECT_EQ(value, 6u);
  ASSERT_EQ(ios_section_set_access_rw(s, 0, nullptr), 0);  // derives bits 10-12
  EXPECT_EQ(ios_section_get_field_10_12(s, &value, nullptr), 0);
  EXPECT_EQ(value, 1u);
}

TEST_F(SectionOps, SlotValuesAreSixtyFourBitIntegers) {
  IosHandle s = section();
  ASSERT_EQ(ios_section_set_slot3_value(s, 0xFFFFFFFEu, 0xFFFFFFFFu, nullptr), 0);
  uint32_t value[2] = {};
  EXPECT_EQ(ios_section_get_slot3_value(s, value, nullptr), 0);
  EXPECT_EQ(value[0], 0xFFFFFFFEu);
  EXPECT_EQ(value[1], 0xFFFFFFFFu);
  ExprNode* node = nullptr;
  ASSERT_EQ(ios_section_get_slot3_expr(s, &node, nullptr), 0);
  EXPECT_EQ(node->ref_count, 1);  // the slot holds the only reference
  EXPECT_EQ(node->width, 64);
  ASSERT_EQ(ios_section_set_address_value(s, 0x1000, 0, nullptr), 0);
  EXPECT_EQ(ios_section_get_address_value(s, value, nullptr), 0);
  EXPECT_EQ(value[0], 0x1000u);
  // An expression is evaluated in place.
  ExprNode* sum = nullptr;
  ExprNode* a = integer(0x20);
  ExprNode* b = integer(0x3);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, a, b), 0);
  expr_release(a);
  expr_release(b);
  ASSERT_EQ(ios_section_set_slot3_expr(s, sum, nullptr), 0);
  expr_release(sum);
  EXPECT_EQ(ios_section_get_slot3_value(s, value, nullptr), 0);
  EXPECT_EQ(value[0], 0x23u);
  ExprSlotRef slot{};
  ios_section_get_slot3(s, &slot, nullptr);
  ExprNode* held = nullptr;
  EXPECT_EQ(ios_slot_get_expr(&held, slot.index, slot.context), 0);
  EXPECT_EQ(held->kind, EXPR_VALUE);
  // One that does not reduce gives {0, 0} and still 0.
  ExprNode* reference = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &reference, 999, context_), 0);
  ASSERT_EQ(ios_section_set_slot3_expr(s, reference, nullptr), 0);
  expr_release(reference);
  value[0] = value[1] = 7;
  EXPECT_EQ(ios_section_get_slot3_value(s, value, nullptr), 0);
  EXPECT_EQ(value[0], 0u);
  EXPECT_EQ(value[1], 0u);
}

TEST_F(SectionOps, WideIntegersReportBitsBeyondSixtyFour) {
  uint32_t wideFile = 0;
  ASSERT_EQ(ios_file_create_sized(12, &wideFile, nullptr), 0);
  IosHandle s{};
  ASSERT_EQ(ios_section_add(wideFile, &s, nullptr), 0);
  ExprLibContext* wide = nullptr;
  ios_file_get_expr_context(wideFile, &wide, nullptr);
  struct Case {
    uint8_t byte8;
    uint32_t high;
    uint32_t error;
  };
  const Case cases[] = {{0x00, 0, 0}, {0xFF, 0x80000000u, 0}, {0x01, 0, 2}, {0xFF, 0, 2}};
  for (const Case& c : cases) {
    ASSERT_EQ(ios_section_set_slot3_value(s, 5, c.high, nullptr), 0);
    ExprNode* node = nullptr;
    ios_section_get_slot3_expr(s, &node, nullptr);
    expr_value_bytes(node)[8] = c.byte8;
    wide->error = 0;
    uint32_t value[2] = {};
    EXPECT_EQ(ios_section_get_slot3_value(s, value, nullptr), 0);
    EXPECT_EQ(value[0], 5u);
    EXPECT_EQ(value[1], c.high);
    EXPECT_EQ(wide->error, c.error) << int{c.byte8};
  }
}

TEST_F(SectionOps, SlotStoresReachImportingContexts) {
  IosHandle s = section();
  uint32_t other = 0;
  ExprLibContext* importer = nullptr;
  ASSERT_EQ(ios_file_create(&other, nullptr), 0);
  ios_file_get_expr_context(other, &importer, nullptr);
  ExprSlotRef size{};
  ios_section_get_size_slot(s, &size, nullptr);
  ExprSlotRef imported{};
  ASSERT_EQ(expr_import_slot(importer, &imported, size.index, context_), 0);
  ExprNode* value = integer(64);
  ASSERT_EQ(ios_section_set_size_expr(s, value, nullptr), 0);
  expr_release(value);
  ExprNode* copy = importer->slots.entries[imported.index].expr;
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(expr_value_bytes(copy)[0], 64);
}

TEST_F(SectionOps, GroupsIterateCountAndDelete) {
  IosHandle a = group();
  IosHandle b = group();
  IosHandle c = group();
  IosHandle s1 = section();
  IosHandle s2 = section();
  ios_section_add_to_group(b, s1, nullptr);
  ios_section_add_to_group(b, s2, nullptr);
  uint32_t count = 0;
  EXPECT_EQ(ios_group_count_sections(b, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  IosHandle name{};
  EXPECT_EQ(ios_group_get_name(file_, a.object_id, &name, nullptr), 0);
  EXPECT_EQ(name.object_id, 1u);
  EXPECT_EQ(ios_group_delete(file_, b.object_id, nullptr), 0);
  std::vector<uint32_t> seen;
  IosHandle next{};
  while (ios_group_next(file_, 0, &next, nullptr) == 0) seen.push_back(next.object_id);
  EXPECT_EQ(seen, (std::vector<uint32_t>{a.object_id, c.object_id}));
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_group_next(file_, 0, &next, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
  error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_group_delete(file_, 9, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_GROUP);
  EXPECT_EQ(ios_group_get_name(file_, 9, &name, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_GROUP);
}

TEST_F(SectionOps, AllGroupsDeletedLeavesNothingToIterate) {
  IosHandle a = group();
  IosHandle b = group();
  ios_group_delete(file_, a.object_id, nullptr);
  ios_group_delete(file_, b.object_id, nullptr);
  IosHandle next{};
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_group_next(file_, 0, &next, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
}

TEST_F(SectionOps, FileAdminGetters) {
  IosGroupAdmin* groups = reinterpret_cast<IosGroupAdmin*>(0x1);
  EXPECT_EQ(ios_file_get_group_admin(file_, &groups, nullptr), 0);
  EXPECT_EQ(groups, nullptr);
  group();
  EXPECT_EQ(ios_file_get_group_admin(file_, &groups, nullptr), 0);
  EXPECT_NE(groups, nullptr);
  IdTable* order = nullptr;
  EXPECT_EQ(ios_file_get_section_order(file_, &order, nullptr), 0);
  EXPECT_NE(order, nullptr);
  uint32_t byteOrder = 0;
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_file_get_byte_order(file_, &byteOrder, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  IosImageAdmin* images = nullptr;
  EXPECT_EQ(ios_file_get_image_admin(file_, &images, nullptr), 0);
  IosDataAdmin* data = nullptr;
  EXPECT_EQ(ios_file_get_data_admin(file_, &data, nullptr), 0);
}

}  // namespace
