#include <gtest/gtest.h>

#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_group.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

using IosGroupStore = ElfStore;

std::vector<uint32_t> membersOf(IosHandle group) {
  IosGroup* record = nullptr;
  EXPECT_EQ(ios_get_group(group, &record, nullptr), 0);
  std::vector<uint32_t> members;
  if (record == nullptr) return members;
  for (uint32_t index = 0; index < record->members.count; ++index)
    members.push_back(*static_cast<uint32_t*>(ios_array_at(&record->members, sizeof(uint32_t), index)));
  return members;
}

TEST_F(IosGroupStore, GroupsAreNumberedInCreationOrderWithOrWithoutName) {
  IosHandle first{}, second{};
  ASSERT_EQ(ios_group_create(file_, text("grp"), &first, nullptr), 0);
  ASSERT_EQ(ios_group_create(file_, IosHandle{file_, 0}, &second, nullptr), 0);
  EXPECT_EQ(first.object_id, 1u);
  EXPECT_EQ(second.object_id, 2u);
  uint32_t count = 0;
  ASSERT_EQ(ios_file_count_groups(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);

  IosGroup* named = nullptr;
  IosGroup* unnamed = nullptr;
  ASSERT_EQ(ios_get_group(first, &named, nullptr), 0);
  ASSERT_EQ(ios_get_group(second, &unnamed, nullptr), 0);
  const char* name = nullptr;
  ASSERT_EQ(ios_string_get_text(named->name, &name, nullptr), 0);
  EXPECT_STREQ(name, "grp");
  EXPECT_EQ(unnamed->name.file_id, 0u);
  EXPECT_EQ(unnamed->name.object_id, 0u);
}

TEST_F(IosGroupStore, MembersKeepTheOrderOfAdditionAndSectionsKnowTheirGroup) {
  IosHandle group{};
  ASSERT_EQ(ios_group_create(file_, text("g"), &group, nullptr), 0);
  IosHandle a = section(".a", 4, nullptr);
  IosHandle b = section(".b", 4, nullptr);
  ASSERT_EQ(ios_section_add_to_group(group, b, nullptr), 0);
  ASSERT_EQ(ios_section_add_to_group(group, a, nullptr), 0);
  // A second addition is not compared with the members: it lists the section twice.
  ASSERT_EQ(ios_section_add_to_group(group, a, nullptr), 0);
  EXPECT_EQ(membersOf(group), (std::vector<uint32_t>{b.object_id, a.object_id, a.object_id}));
  IosHandle recorded{};
  ASSERT_EQ(ios_section_get_group(b, &recorded, nullptr), 0);
  EXPECT_EQ(recorded.object_id, group.object_id);
}

TEST_F(IosGroupStore, LookupFailuresGiveTheStoreCodes) {
  IosHandle group{};
  ASSERT_EQ(ios_group_create(file_, text("g"), &group, nullptr), 0);
  IosHandle member = section(".a", 4, nullptr);
  struct Case {
    const char* name;
    IosHandle group;
    IosHandle section;
    IosErrorCode expected;
    size_t membersAfter;
  };
  const Case cases[] = {
      {"group never made", {file_, 9}, member, IOS_ERR_NO_GROUP, 0},
      {"group id 0", {file_, 0}, member, IOS_ERR_NO_GROUP, 0},
      {"unknown file", {file_ + 5, 1}, member, IOS_ERR_NO_FILE, 0},
      {"section id 0", group, {file_, 0}, IOS_ERR_NO_MEMORY, 0},
      // The member entry stays; only the section's side fails.
      {"section never made", group, {file_, 42}, IOS_ERR_NO_SECTION, 1},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_section_add_to_group(c.group, c.section, &error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
    EXPECT_EQ(membersOf(group).size(), c.membersAfter) << c.name;
  }
}

TEST_F(IosGroupStore, AFileWithoutGroupsCountsNone) {
  uint32_t count = 7;
  ASSERT_EQ(ios_file_count_groups(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 0u);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_group({file_, 1}, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_GROUP);
}

class AsmSectionRecords : public ElfStore {
 public:
  IosDebugHandle module() {
    IosHandle root{};
    EXPECT_EQ(ios_file_get_debug_root(file_, &root, nullptr), 0);
    IosDebugHandle made{};
    EXPECT_EQ(ios_module_create(file_, &made, nullptr), 0);
    return made;
  }
};

TEST_F(AsmSectionRecords, IdsCountPerModuleFromOne) {
  IosDebugHandle first = module();
  IosDebugHandle second = module();
  std::vector<uint32_t> ids;
  for (const IosDebugHandle& owner : {first, first, second, first, second}) {
    IosDebugHandle record{};
    ASSERT_EQ(ios_asm_section_create(owner, &record, nullptr), 0);
    EXPECT_EQ(record.root_id, owner.record_id);
    ids.push_back(record.record_id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 1, 3, 2}));
  IosAsmSection* record = nullptr;
  ASSERT_EQ(ios_get_asm_section({file_, second.record_id, 2}, &record, nullptr), 0);
  EXPECT_EQ(record->kind, IOS_ASM_SECTION_KIND_UNSET);
  EXPECT_EQ(record->name.object_id, 0u);
}

TEST_F(AsmSectionRecords, NameAndKindAreWrittenOnce) {
  IosDebugHandle owner = module();
  using Setter = int (*)(const IosDebugHandle&, IosErrorCode*);
  struct Case {
    const char* name;
    std::vector<Setter> setters;  // all but the last succeed
    bool lastFails;
    uint32_t kind;
  };
  const Case cases[] = {
      {"data twice", {ios_asm_section_set_kind_data, ios_asm_section_set_kind_data}, false, IOS_ASM_SECTION_DATA},
      {"data then code", {ios_asm_section_set_kind_data, ios_asm_section_set_kind_code}, true, IOS_ASM_SECTION_DATA},
      {"code", {ios_asm_section_set_kind_code}, false, IOS_ASM_SECTION_CODE},
      {"bss then data", {ios_asm_section_set_kind_bss, ios_asm_section_set_kind_data}, true, IOS_ASM_SECTION_BSS},
  };
  for (const Case& c : cases) {
    IosDebugHandle record{};
    ASSERT_EQ(ios_asm_section_create(owner, &record, nullptr), 0);
    for (size_t index = 0; index < c.setters.size(); ++index) {
      IosErrorCode error = NOT_SET;
      bool last = index + 1 == c.setters.size();
      int expected = last && c.lastFails ? 1 : 0;
      EXPECT_EQ(c.setters[index](record, &error), expected) << c.name;
      EXPECT_EQ(error, expected ? IOS_ERR_VALUE_EXISTS : NOT_SET) << c.name;
    }
    IosAsmSection* found = nullptr;
    ASSERT_EQ(ios_get_asm_section(record, &found, nullptr), 0);
    EXPECT_EQ(found->kind, c.kind) << c.name;
  }

  IosDebugHandle named{};
  ASSERT_EQ(ios_asm_section_create(owner, &named, nullptr), 0);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_asm_section_set_name(named, {file_, 0}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STRING);
  EXPECT_EQ(ios_asm_section_set_name(named, text("s"), nullptr), 0);
  error = NOT_SET;
  EXPECT_EQ(ios_asm_section_set_name(named, text("t"), &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
}

TEST_F(AsmSectionRecords, UnknownModulesAndRecordsGiveTheirCodes) {
  IosDebugHandle owner = module();
  IosErrorCode error = NOT_SET;
  IosDebugHandle record{};
  EXPECT_EQ(ios_asm_section_create({file_, 1, owner.record_id + 5}, &record, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_MODULE);
  error = NOT_SET;
  EXPECT_EQ(ios_get_asm_section({file_, owner.record_id, 1}, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_ASM_SECTION);
}

}  // namespace
