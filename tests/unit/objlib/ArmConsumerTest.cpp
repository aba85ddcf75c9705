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

}  // namespace
