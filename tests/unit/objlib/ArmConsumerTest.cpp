#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/arm_consumer.h"
#include "objlib/ios_file_props.h"

namespace {

// The variant that the first big-endian object fixes lasts for the whole process, so
// every sequence runs in a child process of its own (a death test) and reports through
// its exit status: bit i set when object i was refused.
struct Object {
  uint32_t byte_order;  // 0 unset, 1 little, 2 big
  bool be8;
};

[[noreturn]] void runSequence(const std::vector<Object>& objects) {
  StoreFile store;
  store.open();
  int refused = 0;
  for (size_t i = 0; i < objects.size(); ++i) {
    store.renew();
    if (objects[i].byte_order != 0) ios_file_set_byte_order(store.id, objects[i].byte_order, nullptr);
    ArmInputObject object{objects[i].be8 ? ARM_EF_BE8 : 0u, store.id};
    const char* name = nullptr;
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    if (arm_consumer_check_byte_order(&object, &name, &error) != 0) {
      refused |= 1 << i;
      // A refusal always names its class: 4 for mixing, 6 for a missing byte order.
      if (error != (objects[i].byte_order == 0 ? OBJLIB_ERR_OBJECT_STORE : OBJLIB_ERR_CONSUMER))
        std::_Exit(100);
    }
    if (name == nullptr || std::string(name) != "ARM") std::_Exit(101);
  }
  store.close();
  std::_Exit(refused);
}

TEST(ArmConsumerDeathTest, MixingBigEndianVariantsIsRefused) {
  struct Case {
    const char* name;
    std::vector<Object> objects;
    int refused;
    const char* message;
  };
  const Case cases[] = {
      {"little, BE8, little, BE32", {{1, false}, {2, true}, {1, false}, {2, false}}, 0x8,
       "^consumer error: Mixing BE8 and BE32 object files!\n$"},
      {"BE32 then BE8", {{2, false}, {2, true}}, 0x2,
       "^consumer error: Mixing BE32 and BE8 object files!\n$"},
      {"a refusal does not change the variant", {{2, false}, {2, true}, {2, false}}, 0x2,
       "^consumer error: Mixing BE32 and BE8 object files!\n$"},
      {"little endian never counts", {{1, true}, {2, false}, {1, true}}, 0x0, "^$"},
      {"byte order unset", {{0, false}, {2, true}}, 0x1, "^$"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(runSequence(c.objects), ::testing::ExitedWithCode(c.refused), c.message) << c.name;
  }
}

TEST(ArmConsumerEntry, TheEntryHoldsTheMachineWordsTheHookAndTheState) {
  const ArmConsumerEntry* entry = arm_consumer_entry();
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry->name, "ARM");
  struct Word {
    const char* name;
    uint32_t value;
    uint32_t expected;
  };
  const Word words[] = {
      {"machine", entry->elf_machine, 40},
      {"word 2", entry->relocation_form, 1},
      {"word 3", entry->relocation_runs, 1},
      {"word 4", entry->no_extended_operators, 0},
      {"word 5", entry->extended_records, 0},
      {"word 6", entry->extended_relocatable_only, 0},
      {"word 7", entry->symbol_value_relocations, 0},
      {"word 8", entry->callinfo_type, 0x7f000001u},
      {"word 9", entry->flag_class3, 0x20000000u},
      {"word 10", entry->flag_address_expression, 0x10000000u},
      {"word 11", entry->flag_content4, 0x40000000u},
      {"word 12", entry->flag_fixed_address, 0},
      {"word 13", entry->flag_class6, 0x4000000u},
      {"word 14", entry->flag_marker, 0x8000000u},
      {"word 15", entry->word15, 8},
      {"word 18", entry->words18_20[0], 0},
      {"word 20", entry->words18_20[2], 0},
      {"word 22", entry->words22_23[0], 0},
      {"word 23", entry->words22_23[1], 0},
  };
  for (const Word& w : words) EXPECT_EQ(w.value, w.expected) << w.name;
  EXPECT_EQ(entry->check, &arm_consumer_check_byte_order);
  EXPECT_EQ(entry->relocation_size, &arm_relocation_size);
  EXPECT_NE(entry->state, nullptr);
  EXPECT_EQ(arm_consumer_entry(), entry);

  // The hook reached through the entry checks like the hook itself.
  StoreFile store;
  store.open();
  ios_file_set_byte_order(store.id, 1, nullptr);
  ArmInputObject object{0, store.id};
  const char* name = nullptr;
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  EXPECT_EQ(entry->check(&object, &name, &error), 0);
  EXPECT_STREQ(name, "ARM");
  store.close();
}

TEST(ArmConsumerEntry, RelocationSizesFollowTheFieldEachTypeChanges) {
  struct Case {
    uint32_t type;
    uint32_t bytes;
  };
  const Case cases[] = {
      {0, 0},    // R_ARM_NONE
      {2, 4},    // R_ARM_ABS32
      {5, 2},    // R_ARM_ABS16
      {8, 1},    // R_ARM_ABS8
      {10, 4},   // R_ARM_THM_CALL: two halfwords
      {11, 2},   // R_ARM_THM_PC8
      {28, 4},   // R_ARM_CALL
      {102, 2},  // R_ARM_THM_JUMP11
  };
  for (const Case& c : cases) EXPECT_EQ(arm_relocation_size(c.type), c.bytes) << c.type;
}

}  // namespace
