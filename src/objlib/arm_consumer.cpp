#include "objlib/arm_consumer.h"

#include <unistd.h>

#include "objlib/ios_admin.h"
#include "util/RunState.h"

namespace {

struct ArmConsumerState {
  ArmBeMode mode = ARM_BE_NONE;
};
ArmConsumerState& consumerState() { return runPart<ArmConsumerState>(); }

void report(const char* text, size_t length) {
  ssize_t written = write(STDERR_FILENO, text, length);
  (void)written;
}

}  // namespace

ArmBeMode arm_be_mode() { return consumerState().mode; }

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
