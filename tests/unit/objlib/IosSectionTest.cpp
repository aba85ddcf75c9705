#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class IosSectionStore : public OneStoreFile {
 protected:
  IosHandle createSection() {
    IosHandle section{};
    EXPECT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
    return section;
  }
};

TEST_F(IosSectionStore, LookupsFailWithTheStoreCodes) {
  IosHandle section = createSection();
  IosHandle deleted = createSection();
  ASSERT_EQ(ios_section_set_deleted(deleted, nullptr), 0);
  struct Case {
    const char* name;
    IosHandle handle;
    IosErrorCode expected;
  };
  const Case cases[] = {
      {"unknown file", {file_ + 7, section.object_id}, IOS_ERR_NO_FILE},
      {"section id 0", {file_, 0}, IOS_ERR_NO_SECTION},
      {"section never made", {file_, 99}, IOS_ERR_NO_SECTION},
      {"deleted section", deleted, IOS_ERR_DELETED},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    IosSection* record = nullptr;
    EXPECT_EQ(ios_get_section(c.handle, &record, &error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
    error = NOT_SET;
    EXPECT_EQ(ios_section_set_alignment(c.handle, 4, &error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name << " (setter)";
  }
  ios_admin_release();
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_section(section, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_ADMIN);
}

TEST_F(IosSectionStore, IdsStartAtOneAndIterationFollowsCreation) {
  IosHandle first = createSection();
  IosHandle second = createSection();
  IosHandle third = createSection();
  EXPECT_EQ(first.object_id, 1u);
  EXPECT_EQ(second.object_id, 2u);
  EXPECT_EQ(third.object_id, 3u);
  ASSERT_EQ(ios_section_set_deleted(second, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_file_count_sections(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 3u);  // deletion only hides a section from lookups
  uint32_t cursor = 0;
  IosHandle walked{};
  std::vector<uint32_t> ids;
  do {
    ASSERT_EQ(ios_section_next(file_, &cursor, &walked, nullptr), 0);
    if (walked.object_id != 0) ids.push_back(walked.object_id);
  } while (walked.object_id != 0);
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(IosSectionStore, NewSectionReadsAsUnset) {
  ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
  IosHandle section = createSection();
  uint32_t value = 0;
  int32_t access = 0;
  ExprNode* node = nullptr;
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> get;
  };
  const Case cases[] = {
      {"type", [&](IosErrorCode* e) { return ios_section_get_type(section, &value, e); }},
      {"class", [&](IosErrorCode* e) { return ios_section_get_class(section, &value, e); }},
      {"access", [&](IosErrorCode* e) { return ios_section_get_access(section, &access, e); }},
      {"content", [&](IosErrorCode* e) { return ios_section_get_content(section, &value, e); }},
      {"placement", [&](IosErrorCode* e) { return ios_section_get_mode2(section, &value, e); }},
      {"name", [&](IosErrorCode* e) {
         IosHandle name{};
         return ios_section_get_name(section, &name, e);
       }},
      {"number", [&](IosErrorCode* e) { return ios_section_get_number(section, &value, e); }},
      {"fixed address",
       [&](IosErrorCode* e) { return ios_section_get_fixed_address(section, &value, e); }},
      {"address", [&](IosErrorCode* e) { return ios_section_get_address_expr(section, &node, e); }},
      {"size expr", [&](IosErrorCode* e) { return ios_section_get_size_expr(section, &node, e); }},
      {"size", [&](IosErrorCode* e) { return ios_section_get_size(section, &value, e); }},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.get(&error), -1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.name;
  }
  ASSERT_EQ(ios_section_get_mau_size(section, &value, nullptr), 0);
  EXPECT_EQ(value, 8u);  // the file's default
  ASSERT_EQ(ios_section_set_mau_size(section, 16, nullptr), 0);
  ASSERT_EQ(ios_section_get_mau_size(section, &value, nullptr), 0);
  EXPECT_EQ(value, 16u);
  uint32_t has = 7;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_has_image(section, &has, &error), 0);
  EXPECT_EQ(has, 0u);
  EXPECT_EQ(error, IOS_ERR_NO_IMAGE);
}

TEST_F(IosSectionStore, WriteOnceFieldsKeepTheirFirstValue) {
  IosHandle section = createSection();
  struct Case {
    const char* name;
    std::function<int(uint32_t, IosErrorCode*)> set;
    std::function<int(uint32_t*)> get;
  };
  const Case cases[] = {
      {"number", [&](uint32_t v, IosErrorCode* e) { return ios_section_set_number(section, v, e); },
       [&](uint32_t* v) { return ios_section_get_number(section, v, nullptr); }},
      {"fixed address",
       [&](uint32_t v, IosErrorCode* e) { return ios_section_set_fixed_address(section, v, e); },
       [&](uint32_t* v) { return ios_section_get_fixed_address(section, v, nullptr); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.set(5, nullptr), 0) << c.name;
    EXPECT_EQ(c.set(5, nullptr), 0) << c.name << ": the same value again";
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.set(6, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
    uint32_t value = 0;
    ASSERT_EQ(c.get(&value), 0) << c.name;
    EXPECT_EQ(value, 5u) << c.name;
  }
  // The unset markers count as no value at all.
  IosHandle other = createSection();
  EXPECT_EQ(ios_section_set_fixed_address(other, 0, nullptr), 0);
  EXPECT_EQ(ios_section_set_fixed_address(other, 0x100, nullptr), 0);
  EXPECT_EQ(ios_section_set_number(other, IOS_NUMBER_UNSET, nullptr), 0);
  EXPECT_EQ(ios_section_set_number(other, 3, nullptr), 0);

  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_set_name(section, IosHandle{file_, 0}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STRING);
}

TEST_F(IosSectionStore, AttributeFieldsSetAndReadBack) {
  struct Case {
    const char* name;
    std::function<void(IosHandle)> set;
    uint32_t shift;
    uint32_t mask;
    uint32_t expected;
  };
  auto rw = [](IosHandle s) { ios_section_set_access_rw(s, 0, nullptr); };
  auto ro = [](IosHandle s) { ios_section_set_access_ro(s, 0, nullptr); };
  const Case cases[] = {
      {"type normal", [](IosHandle s) { ios_section_set_type_normal(s, nullptr); }, 0, 0xF, 3},
      {"type note", [](IosHandle s) { ios_section_set_type_note(s, nullptr); }, 0, 0xF, 14},
      {"type special", [](IosHandle s) { ios_section_set_type_special(s, nullptr); }, 0, 0xF, 1},
      {"class keeps three bits", [](IosHandle s) { ios_section_set_class(s, 12, nullptr); }, 4,
       0x7, 4},
      {"content code", [](IosHandle s) { ios_section_set_content_code(s, nullptr); }, 15, 0x7, 1},
      {"content cleared", [](IosHandle s) { ios_section_set_content_cleared(s, nullptr); }, 15,
       0x7, 3},
      {"marker", [](IosHandle s) { ios_section_set_marker_flag(s, nullptr); }, 20, 0x1, 1},
      {"rw then ro: access", [&](IosHandle s) { rw(s); ro(s); }, 7, 0x7, 2},
      {"rw then ro: default stays", [&](IosHandle s) { rw(s); ro(s); }, 10, 0x7, 1},
      {"mode 3", [](IosHandle s) { ios_section_set_mode(s.file_id, s.object_id, 3, nullptr); }, 10,
       0x7, 1},
      {"mode 2", [](IosHandle s) { ios_section_set_mode(s.file_id, s.object_id, 2, nullptr); }, 10,
       0x7, 2},
      {"nibble", [](IosHandle s) { ios_section_set_nibble(s.file_id, s.object_id, 0x1E, nullptr); },
       0, 0xF, 14},
  };
  for (const Case& c : cases) {
    IosHandle section = createSection();
    c.set(section);
    uint32_t attributes = 0;
    ASSERT_EQ(ios_section_get_attributes(section, &attributes, nullptr), 0);
    EXPECT_EQ((attributes >> c.shift) & c.mask, c.expected) << c.name;
  }
}

TEST_F(IosSectionStore, AccessFromDefaultNeedsADefault) {
  IosHandle section = createSection();
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_access_from_default(section, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  int32_t access = 0;
  EXPECT_EQ(ios_section_get_access(section, &access, nullptr), -1);
  ASSERT_EQ(ios_section_set_access_ro(section, 0, nullptr), 0);
  ASSERT_EQ(ios_section_set_access_rw(section, 0, nullptr), 0);
  ASSERT_EQ(ios_section_access_from_default(section, nullptr), 0);
  ASSERT_EQ(ios_section_get_access(section, &access, nullptr), 0);
  EXPECT_EQ(access, 2);
}

TEST_F(IosSectionStore, SizeReadsBackAsUnsigned32Bits) {
  IosHandle section = createSection();
  ASSERT_EQ(ios_section_set_size(section, 0x80000000u, nullptr), 0);
  uint32_t size = 0;
  context_->error = EXPR_ERR_NONE;
  ASSERT_EQ(ios_section_get_size(section, &size, nullptr), 0);
  EXPECT_EQ(size, 0x80000000u);
  // Sign-extended to 8 bytes, so the high bytes are set and the context says so.
  EXPECT_EQ(context_->error, EXPR_ERR_OPERAND_TRUNCATED);

  ASSERT_EQ(ios_section_set_size(section, 1234, nullptr), 0);
  ASSERT_EQ(ios_section_get_size(section, &size, nullptr), 0);
  EXPECT_EQ(size, 1234u);
}

TEST_F(IosSectionStore, SizeThatDoesNotEvaluateFails) {
  IosHandle section = createSection();
  IosHandle other = createSection();
  // A size that refers to the empty address slot of another section cannot become a
  // number; reading it as 0 would silently empty the section.
  ExprSlotRef slot{};
  ASSERT_EQ(ios_section_get_address_slot(other, &slot, nullptr), 0);
  ExprNode* reference = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &reference, slot.index, slot.context), 0);
  ExprNode* sum = nullptr;
  ExprNode* four = integer(4);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, reference, four), 0);
  expr_release(reference);
  expr_release(four);
  ASSERT_EQ(ios_section_set_size_expr(section, sum, nullptr), 0);
  expr_release(sum);
  uint32_t size = 77;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_section_get_size(section, &size, &error), 1);
  EXPECT_EQ(error, IOS_ERR_SECTION_SIZE_UNSET);

  // Once the slot holds a value, the same size expression evaluates.
  ExprNode* base = integer(0x10);
  ASSERT_EQ(ios_section_set_address_expr(other, base, nullptr), 0);
  expr_release(base);
  ASSERT_EQ(ios_section_get_size(section, &size, nullptr), 0);
  EXPECT_EQ(size, 0x14u);
}

TEST_F(IosSectionStore, StoringTheHeldNodeAgainKeepsItAlive) {
  IosHandle section = createSection();
  ExprNode* address = integer(0x1000);
  ASSERT_EQ(ios_section_set_address_expr(section, address, nullptr), 0);
  expr_release(address);  // the slot holds the only reference now
  uint32_t live = expr_live_node_count(context_);
  ASSERT_EQ(ios_section_set_address_expr(section, address, nullptr), 0);
  EXPECT_EQ(expr_live_node_count(context_), live);
  EXPECT_EQ(address->ref_count, 1);
  ExprNode* held = nullptr;
  ASSERT_EQ(ios_section_get_address_expr(section, &held, nullptr), 0);
  EXPECT_EQ(held, address);

  // Replacing the node drops the slot's reference on the first one.
  ExprNode* next = integer(0x2000);
  ASSERT_EQ(ios_section_set_address_expr(section, next, nullptr), 0);
  expr_release(next);
  EXPECT_EQ(expr_live_node_count(context_), live);  // one freed, one made
  ASSERT_EQ(ios_section_set_address_expr(section, nullptr, nullptr), 0);
  EXPECT_EQ(expr_live_node_count(context_), live - 1);
}

TEST_F(IosSectionStore, SectionsShareAnAddressSlotWhenAsked) {
  IosHandle first = createSection();
  ExprSlotRef slot{};
  ASSERT_EQ(ios_section_get_address_slot(first, &slot, nullptr), 0);
  IosHandle second{};
  ASSERT_EQ(ios_section_create(file_, &slot, &second, nullptr), 0);
  ExprNode* address = integer(0x40);
  ASSERT_EQ(ios_section_set_address_expr(first, address, nullptr), 0);
  expr_release(address);
  ExprNode* seen = nullptr;
  ASSERT_EQ(ios_section_get_address_expr(second, &seen, nullptr), 0);
  EXPECT_EQ(seen, address);
}

TEST_F(IosSectionStore, RedirectionIsFollowedAndCyclesFail) {
  IosHandle target = createSection();
  IosHandle alias = createSection();
  ASSERT_EQ(ios_section_set_redirect(alias, target, nullptr), 0);
  IosSection* record = nullptr;
  ASSERT_EQ(ios_get_section(alias, &record, nullptr), 0);
  EXPECT_EQ(record->handle.object_id, target.object_id);
  // A redirection back makes a loop; the lookup must end.
  IosSection* targetRecord = record;
  targetRecord->redirect = alias;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_section(alias, &record, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
}

TEST_F(IosSectionStore, SlotTableGrowsFromNoCapacity) {
  // A table that never had entries must still grow (it used to double zero).
  ExprLibContext* bare = nullptr;
  ASSERT_EQ(expr_context_new(&bare, 8), 0);
  pool_free(bare->slots.entries, size_t{bare->slots.capacity} * sizeof(ExprSlot));
  bare->slots = ExprSlotTable{0, 0, nullptr};
  ExprSlotRef slot{};
  for (uint32_t i = 1; i <= 2500; ++i) {
    ASSERT_EQ(ios_entry_array_push(bare, &slot, nullptr), 0) << i;
    EXPECT_EQ(slot.index, i);
  }
  EXPECT_EQ(bare->slots.entries[2500].base, EXPR_NO_BASE);
  EXPECT_EQ(bare->slots.entries[2500].expr, nullptr);
  expr_context_free(bare);
}

}  // namespace

namespace {

TEST_F(IosSectionStore, DeriveCopiesAnExpressionIntoAnotherContext) {
  ExprLibContext* narrow = nullptr;
  ASSERT_EQ(expr_context_new(&narrow, 4), 0);
  ExprNode* left = integer(-2);
  ExprNode* right = integer(7);
  ExprNode* sum = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_SUB, 2, left, right), 0);
  expr_release(left);
  expr_release(right);
  struct Case {
    const char* name;
    ExprLibContext* target;
    bool same;
  };
  const Case cases[] = {{"own context", context_, true}, {"other context", narrow, false}};
  for (const Case& c : cases) {
    ExprNode* copy = nullptr;
    ASSERT_EQ(ios_location_derive(c.target, sum, &copy, nullptr), 0) << c.name;
    EXPECT_EQ(copy == sum, c.same) << c.name;
    EXPECT_EQ(copy->context, c.target) << c.name;
    ASSERT_EQ(expr_operand_count(copy), 2u) << c.name;
    const unsigned char* bytes = expr_value_bytes(expr_operand(copy, 0));
    EXPECT_EQ(bytes[0], 0xFE) << c.name;
    EXPECT_EQ(bytes[3], 0xFF) << c.name;
    EXPECT_EQ(expr_operand(copy, 1)->context, c.target) << c.name;
    expr_release(copy);
  }
  EXPECT_EQ(expr_live_node_count(narrow), 0u) << "the copy owned its operands";
  expr_release(sum);
  expr_context_free(narrow);
}

}  // namespace
