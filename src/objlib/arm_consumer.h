// The byte-order check of the ARM consumer entry: a reader of ARM ELF objects calls it
// once per input object and it refuses to combine the two big-endian variants, BE8
// (byte-invariant, flagged in e_flags) and BE32 (word-invariant, the default).
// Little-endian objects always pass.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

inline constexpr uint32_t ARM_EF_BE8 = 0x00800000u;

// What the consumer knows of one input object.
struct ArmInputObject {
  uint32_t e_flags;
  uint32_t file_id;  // the store file the object was read into
};

enum ArmBeMode : int32_t {
  ARM_BE_NONE = 0,
  ARM_BE_BE8 = 1,
  ARM_BE_BE32 = 2,
};

// 0 when the object may join those seen before; 1 with class 6 when its store file or
// byte order is missing, class 4 (and a message on the standard error stream) when it
// mixes BE8 and BE32. *name always becomes "ARM".
int arm_consumer_check_byte_order(const ArmInputObject* object, const char** name,
                                  ObjLibErrorClass* error);
// The variant fixed by the first big-endian object. It is never reset while the run
// lives: tests of the sequence run each in a process of its own.
ArmBeMode arm_be_mode();
