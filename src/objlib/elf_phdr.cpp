#include "objlib/elf_phdr.h"

#include <algorithm>
#include <vector>

#include "objlib/elf_context.h"
#include "objlib/elf_writer.h"

namespace {

constexpr uint32_t kProgramHeaderOffset = 52;
constexpr uint32_t PN_XNUM = 0xffff;

void swapProgramHeader(const ElfContext* context, const ElfProgramHeader& header,
                       unsigned char* out) {
  const uint32_t words[] = {header.p_type,  header.p_offset, header.p_vaddr,
                            header.p_paddr, header.p_filesz, header.p_memsz,
                            header.p_flags, header.p_align,  header.p_number};
  uint32_t count = context->e_phentsize / 4;
  for (uint32_t index = 0; index < count; ++index)
    elf_swap_field(context->byte_order, words[index], 4, out + 4 * index);
}

}  // namespace

bool elf_phdr_before(const ElfProgramHeader& left, const ElfProgramHeader& right) {
  return left.p_vaddr < right.p_vaddr;
}

int elf_write_program_headers(ElfContext* context, ObjLibErrorClass* error) {
  if (context->relocatable()) return 0;
  std::vector<ElfProgramHeader>& records = context->program_headers;
  // Equal addresses keep their section order, so the output does not depend on the
  // sort's choice of pivot.
  std::stable_sort(records.begin(), records.end(), elf_phdr_before);
  context->program_header_count = static_cast<uint32_t>(records.size());
  // Past what e_phnum holds, the count moves to the null section header's sh_info,
  // which is why this runs before the section header table is written.
  if (records.size() >= PN_XNUM) {
    context->e_phnum = PN_XNUM;
    context->section_headers[0].sh_info = static_cast<uint32_t>(records.size());
  } else {
    context->e_phnum = static_cast<uint16_t>(records.size());
  }
  // A file without loadable sections has no table to point at.
  context->e_phoff = records.empty() ? 0 : kProgramHeaderOffset;
  std::vector<unsigned char> table(records.size() * context->e_phentsize);
  for (size_t index = 0; index < records.size(); ++index)
    swapProgramHeader(context, records[index], table.data() + index * context->e_phentsize);
  // Over the placeholder that follows the file header.
  return elf_patch_bytes(context, kProgramHeaderOffset, table.data(), table.size(), error);
}
