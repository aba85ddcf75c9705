#include "objlib/arm_consumer.h"

#include <unistd.h>

#include "objlib/ios_admin.h"
#include "util/RunState.h"

namespace {

constexpr ArmConsumerEntry kArmEntry = {
    "ARM", EM_ARM, 1, 1, 0, 0, 0, 0,
    0x7f000001u, 0x20000000u, 0x10000000u, 0x40000000u, 0, 0x4000000u, 0x8000000u,
    8, arm_consumer_check_byte_order, arm_relocation_size, {0, 0, 0}, nullptr, {0, 0},
};

struct ArmConsumerState {
  ArmConsumerState() : entry(kArmEntry) { entry.state = this; }
  ArmConsumerState(const ArmConsumerState&) = delete;
  ArmConsumerState& operator=(const ArmConsumerState&) = delete;

  ArmBeMode mode = ARM_BE_NONE;
  ArmConsumerEntry entry;
};
ArmConsumerState& consumerState() { return runPart<ArmConsumerState>(); }

void report(const char* text, size_t length) {
  ssize_t written = write(STDERR_FILENO, text, length);
  (void)written;
}

}  // namespace

ArmBeMode arm_be_mode() { return consumerState().mode; }

const ArmConsumerEntry* arm_consumer_entry() { return &consumerState().entry; }

uint32_t arm_relocation_size(uint32_t type) {
  switch (type) {
    case 0:    // R_ARM_NONE
      return 0;
    case 8:    // R_ARM_ABS8
      return 1;
    case 5:    // R_ARM_ABS16
    case 7:    // R_ARM_THM_ABS5
    case 11:   // R_ARM_THM_PC8
    case 102:  // R_ARM_THM_JUMP11
    case 103:  // R_ARM_THM_JUMP8
      return 2;
    default:
      return 4;
  }
}

int arm_consumer_check_byte_order(const ArmInputObject* object, const char** name,
                                  ObjLibErrorClass* error) {
  if (name != nullptr) *name = "ARM";
  IosFile* file = nullptr;
  if (object == nullptr || ios_get_file(object->file_id, &file, nullptr) != 0 ||
      file->byte_order == IOS_BYTE_ORDER_UNSET) {
    if (error != nullptr) *error = OBJLIB_ERR_OBJECT_STORE;
    return 1;
  }
  if (file->byte_order != IOS_BYTE_ORDER_BIG) return 0;
  bool be8 = (object->e_flags & ARM_EF_BE8) != 0;
  ArmBeMode& mode = consumerState().mode;
  if (mode == ARM_BE_NONE) {
    mode = be8 ? ARM_BE_BE8 : ARM_BE_BE32;
    return 0;
  }
  if (mode == ARM_BE_BE8 && !be8) {
    static const char text[] = "consumer error: Mixing BE8 and BE32 object files!\n";
    report(text, sizeof text - 1);
  } else if (mode == ARM_BE_BE32 && be8) {
    static const char text[] = "consumer error: Mixing BE32 and BE8 object files!\n";
    report(text, sizeof text - 1);
  } else {
    return 0;
  }
  if (error != nullptr) *error = OBJLIB_ERR_CONSUMER;
  return 1;
}
