#include "objlib/ios_machine.h"

#include <cstring>

#include "objlib/elf_context.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

struct CoreFlags {
  const char* core;
  uint32_t flags;
};

constexpr CoreFlags kTriCoreCores[] = {
    {"TC1V1.1", 0x80000000u},   {"TC1V1.2", 0x40000000u}, {"TC1V1.3", 0x20000000u},
    {"TC1V1.3.1", 0x00800000u}, {"TC1V1.6", 0x00400000u}, {"TC1V1.6.X", 0x00200000u},
    {"TC2", 0x10000000u},       {"PCP", 0x01000000u},     {"PCP2", 0x02000000u},
    {"MCS", 0x04000000u},
};

// Sections of these families are written by the owning core only, yet must be
// writable in the image whatever access the source gave them.
constexpr const char* kPrivatePrefixes[] = {
    ".ldata.private",    ".sbss.private",      ".sdata.private",     ".srodata.private",
    ".bss_a8.private",   ".data_a8.private",   ".rodata_a8.private", ".bss_a9.private",
    ".data_a9.private",  ".rodata_a9.private", ".zbss.private",      ".zdata.private",
    ".zrodata.private",  ".bss.private",       ".data.private",      ".data1.private",
    ".rodata.private",   ".rodata1.private",   ".text.private",
};

// The file's string property (1-based) as text; null when unset or without text.
const char* fileString(const IosFile* file, uint32_t property) {
  IosHandle handle = file->strings[property - 1];
  if (handle.object_id < 1) return nullptr;
  const char* text = nullptr;
  if (ios_string_get_text(handle, &text, nullptr) != 0) return nullptr;
  return text;
}

int describeTriCore(ElfContext* context, const char* core_name, ObjLibErrorClass* error) {
  if (fileString(context->file, 7) == nullptr || fileString(context->file, 9) == nullptr)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  uint32_t flags = 0;
  if (ios_machine_tricore_core_flags(core_name, &flags, error) != 0) return 1;
  context->e_flags = flags;
  return 0;
}

int tricorePrivateSectionHook(ElfContext* context, ElfSectionHeader* section_header,
                              ElfProgramHeader* program_header, uint32_t file_id,
                              uint32_t section_id, ObjLibErrorClass* error) {
  (void)context;
  IosHandle handle{file_id, section_id};
  IosHandle name{};
  const char* text = nullptr;
  if (ios_section_get_name(handle, &name, nullptr) != 0 ||
      ios_string_get_text(name, &text, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (!ios_machine_is_private_section(text)) return 0;
  int status = 0;
  IosSection* section = nullptr;
  int32_t access = 0;
  if (ios_get_section(handle, &section, nullptr) != 0 ||
      ios_section_get_access(handle, &access, nullptr) != 0) {
    status = elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  } else {
    uint32_t field = (static_cast<uint32_t>(access) | 1u) & IOS_SECTION_ACCESS_MASK;
    uint32_t attributes = section->attributes;
    attributes &= ~(IOS_SECTION_ACCESS_MASK << IOS_SECTION_ACCESS_SHIFT);
    attributes &= ~(IOS_SECTION_ACCESS_DEFAULT_MASK << IOS_SECTION_ACCESS_DEFAULT_SHIFT);
    attributes |= field << IOS_SECTION_ACCESS_SHIFT;
    attributes |= 1u << IOS_SECTION_ACCESS_DEFAULT_SHIFT;
    section->attributes = attributes;
    // All ones reads as unset; the default just set makes it read-write.
    if (field == IOS_SECTION_ACCESS_MASK && ios_section_access_from_default(handle, nullptr) != 0)
      status = elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  }
  section_header->sh_flags |= 0x1;
  program_header->p_flags |= 0x2;
  return status;
}

// The peripheral control processor shares the TriCore object format; only the
// private-section rule is the main core's.
constexpr MachineEntry kTriCoreRow = {
    "TRI", EM_TRICORE, MACHINE_RELOCATION_RELA, 1, 0, 0, 0, 0, 0x7f000001u,
    0x20000000u, 0x400u, 0x40000000u, 0x80000000u, 0x4000000u, 0x8000000u,
    0, 0, 0, 1, describeTriCore, tricorePrivateSectionHook,
};
constexpr MachineEntry kPcpRow = {
    "PCP", EM_TRICORE, MACHINE_RELOCATION_RELA, 1, 0, 0, 0, 0, 0x7f000001u,
    0x20000000u, 0x400u, 0x40000000u, 0x80000000u, 0x4000000u, 0x8000000u,
    0, 0, 0, 1, describeTriCore, nullptr,
};

constexpr const MachineEntry* kSearchOrder[] = {&kTriCoreRow, &kPcpRow};

}  // namespace

const MachineEntry* ios_machine_find(const char* name) {
  if (name == nullptr) return nullptr;
  for (const MachineEntry* row : kSearchOrder)
    if (std::strcmp(row->name, name) == 0) return row;
  return nullptr;
}

int ios_machine_tricore_core_flags(const char* core_name, uint32_t* flags,
                                   ObjLibErrorClass* error) {
  if (core_name != nullptr) {
    for (const CoreFlags& row : kTriCoreCores) {
      if (std::strcmp(row.core, core_name) == 0) {
        *flags = row.flags;
        return 0;
      }
    }
  }
  return elf_fail(error, OBJLIB_ERR_UNSUPPORTED_PLATFORM);
}

bool ios_machine_is_private_section(const char* name) {
  if (name == nullptr) return false;
  for (const char* prefix : kPrivatePrefixes)
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
  return false;
}

int elf_select_machine(ElfContext* context, ObjLibErrorClass* error) {
  IosFile* file = nullptr;
  if (ios_get_file(context->file_id, &file, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  const char* machine_name = fileString(file, 5);
  if (machine_name == nullptr) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  const MachineEntry* row = ios_machine_find(machine_name);
  if (row == nullptr) return elf_fail(error, OBJLIB_ERR_UNSUPPORTED_PLATFORM);
  context->machine = row;
  context->e_machine = static_cast<uint16_t>(row->elf_machine);
  switch (file->mode_word) {
    case IOS_MODE_ABSOLUTE: context->e_type = 2; break;
    case IOS_MODE_RELOCATABLE: context->e_type = 1; break;
    default: return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  }
  if (file->kind_word == 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  context->kind_word = file->kind_word;
  if (file->byte_order != ELF_DATA_LSB && file->byte_order != ELF_DATA_MSB)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  context->byte_order = file->byte_order;
  return 0;
}

const char* elf_file_string(const IosFile* file, uint32_t property) {
  return fileString(file, property);
}
