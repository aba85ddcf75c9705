#include "objlib/elf_machine_hooks.h"

#include <cstring>

#include "objlib/elf_context.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

constexpr uint32_t kAllocated = 0x2;
constexpr uint32_t kExecutable = 0x4;
constexpr char kVlePrefix[] = ".text_vle";

// Absolute output is what the writer makes from a file whose mode is not relocatable.
bool absoluteOutput(const ElfContext* context) { return !context->relocatable(); }

}  // namespace

int elf_section_hook_ppc(ElfContext* context, ElfSectionHeader* section_header,
                         ElfProgramHeader* program_header, uint32_t file_id,
                         uint32_t section_id, ObjLibErrorClass* error) {
  if (absoluteOutput(context)) section_header->sh_flags &= ELF_PPC_ABSOLUTE_FLAGS;
  IosHandle section{file_id, section_id};
  if (ios_get_section(section, nullptr, nullptr) != 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  IosHandle name{};
  const char* text = nullptr;
  if (ios_section_get_name(section, &name, nullptr) != 0 || name.object_id < 1 ||
      ios_string_get_text(name, &text, nullptr) != 0 || text == nullptr)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (std::strncmp(text, kVlePrefix, sizeof kVlePrefix - 1) != 0) return 0;
  if ((section_header->sh_flags & (kAllocated | kExecutable)) != (kAllocated | kExecutable))
    return elf_fail(error, OBJLIB_ERR_OBLIGATED_FIELD);
  section_header->sh_flags |= ELF_MACHINE_SECTION_MARK;
  program_header->p_flags |= ELF_MACHINE_SECTION_MARK;
  return 0;
}

int elf_section_hook_c166(ElfContext* context, ElfSectionHeader* section_header,
                          ElfProgramHeader*, uint32_t file_id, uint32_t section_id,
                          ObjLibErrorClass* error) {
  if (!absoluteOutput(context)) return 0;
  IosHandle section{file_id, section_id};
  if (ios_get_section(section, nullptr, nullptr) != 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  uint32_t number = 0;
  if (ios_section_get_number(section, &number, nullptr) == 0 && number == 1)
    section_header->sh_flags |= ELF_MACHINE_SECTION_MARK;
  return 0;
}

int elf_section_hook_c51(ElfContext*, ElfSectionHeader*, ElfProgramHeader*, uint32_t file_id,
                         uint32_t section_id, ObjLibErrorClass* error) {
  if (ios_get_section(IosHandle{file_id, section_id}, nullptr, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  return 0;
}

int elf_section_hook_none(ElfContext*, ElfSectionHeader*, ElfProgramHeader*, uint32_t, uint32_t,
                          ObjLibErrorClass*) {
  return 0;
}
