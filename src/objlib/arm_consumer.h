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
inline constexpr uint32_t EM_ARM = 40;

// Bytes of the field an ARM relocation type changes (4 for the instruction and data
// words, less for the narrow data and Thumb forms; 0 for R_ARM_NONE).
uint32_t arm_relocation_size(uint32_t type);

// The consumer's entry beside the machine table: 24 words, laid out as the machine
// table's entries are, through word 15; then the check hook, the relocation-size
// operation and the consumer's state block.
struct ArmConsumerEntry {
  const char* name;  // "ARM"
  uint32_t elf_machine;
  uint32_t relocation_form;
  uint32_t relocation_runs;
  uint32_t no_extended_operators;
  uint32_t extended_records;
  uint32_t extended_relocatable_only;
  uint32_t symbol_value_relocations;
  uint32_t callinfo_type;
  uint32_t flag_class3;
  uint32_t flag_address_expression;
  uint32_t flag_content4;
  uint32_t flag_fixed_address;
  uint32_t flag_class6;
  uint32_t flag_marker;
  uint32_t word15;
  int (*check)(const ArmInputObject* object, const char** name, ObjLibErrorClass* error);
  uint32_t (*relocation_size)(uint32_t type);
  uint32_t words18_20[3];
  void* state;  // the run's ARM consumer state (the BE variant seen first)
  uint32_t words22_23[2];
};

// The run's ARM consumer entry.
const ArmConsumerEntry* arm_consumer_entry();

// The variant fixed by the first big-endian object. It is never reset while the run
// lives: tests of the sequence run each in a process of its own.
ArmBeMode arm_be_mode();
