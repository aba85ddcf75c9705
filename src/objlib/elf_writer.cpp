#include "objlib/elf_writer.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "objlib/elf_context.h"
#include "objlib/elf_extra.h"
#include "objlib/elf_phdr.h"
#include "objlib/elf_reloc.h"
#include "objlib/elf_symtab.h"
#include "objlib/elf_utilities.h"
#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_machine.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

constexpr uint32_t kHeaderSize = 52;
constexpr uint32_t SHT_PROGBITS = 1;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHT_NOTE = 7;
constexpr uint32_t SHF_WRITE = 0x1;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
constexpr uint32_t PF_X = 0x1;
constexpr uint32_t PF_W = 0x2;
constexpr uint32_t PF_R = 0x4;
constexpr uint32_t kExtendedIndexFrom = 0xff00;

// Address and entry values: integers whose bytes past the eighth are zero. An
// expression that is not a value yet (a section placed at an address the layout
// could not settle) is evaluated first.
int addressValue(ElfContext* context, ExprNode* node, uint32_t* value,
                 ObjLibErrorClass* error) {
  if (node->kind != EXPR_VALUE && (expr_evaluate(node) != 0 || node->kind != EXPR_VALUE))
    return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
  const unsigned char* bytes = expr_value_bytes(node);
  for (uint32_t index = 8; index < context->expr_context->int_width; ++index) {
    if (bytes[index] != 0) {
      context->expr_context->error = EXPR_ERR_OPERAND_TRUNCATED;
      return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
    }
  }
  *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return 0;
}

int initContext(ElfContext* context, ObjLibErrorClass* error) {
  if (ios_get_file(context->file_id, &context->file, nullptr) != 0 ||
      context->file->expr_context == nullptr)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  context->expr_context = context->file->expr_context;
  return 0;
}

int prepareHeader(ElfContext* context, ObjLibErrorClass* error) {
  static const unsigned char magic[4] = {0x7F, 'E', 'L', 'F'};
  std::memcpy(context->e_ident, magic, sizeof magic);
  context->e_ident[4] = 1;  // ELFCLASS32
  context->e_ident[5] = static_cast<unsigned char>(context->byte_order);
  context->e_ident[6] = 1;  // EV_CURRENT
  if (context->file->entry_expr != nullptr &&
      addressValue(context, context->file->entry_expr, &context->e_entry, error) != 0)
    return 1;
  context->e_phentsize = context->extended() ? 36 : 32;
  context->e_shentsize = context->extended() ? 44 : 40;
  context->e_phoff = 0;
  context->e_phnum = 0;
  context->e_flags = 0;
  const char* core = elf_file_string(context->file, 6);
  if (core == nullptr) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (context->machine->describe_flags(context, core, error) != 0) return 1;
  context->e_ehsize = kHeaderSize;
  return 0;
}

int allocHeaders(ElfContext* context, ObjLibErrorClass* error) {
  uint32_t live = 0;
  if (ios_file_count_sections(context->file_id, &live, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  // A first guess only: the array grows when relocation sections add more.
  context->section_headers.reserve(2 * static_cast<size_t>(live) + 8);
  context->section_headers.push_back(ElfSectionHeader{});
  context->program_headers.reserve(live);
  context->program_header_reserved = live;
  return 0;
}

void mapSection(ElfContext* context, uint32_t section_id, uint32_t header_index) {
  if (context->section_map.size() <= section_id) context->section_map.resize(section_id + 1, 0);
  context->section_map[section_id] = header_index;
}

// Flags of the section and program header from the store's attribute fields.
int sectionFlags(ElfContext* context, IosHandle section, uint32_t type, ElfSectionHeader& header,
                 ElfProgramHeader& program) {
  const MachineEntry* row = context->machine;
  int32_t access = 0;
  int status = ios_section_get_access(section, &access, nullptr);
  if (status == 1) return 1;
  if (status == 0) {
    if ((access & 1) != 0) {
      header.sh_flags = SHF_WRITE;
      program.p_flags |= PF_W;
    } else {
      header.sh_flags = 0;
    }
    if ((access & 2) != 0)
      program.p_flags |= PF_R;
    else
      header.sh_flags |= 0x800;
  }
  uint32_t content = 0;
  status = ios_section_get_content(section, &content, nullptr);
  if (status == 1) return 1;
  if (status == 0 && content == IOS_CONTENT_CODE) {
    header.sh_flags |= SHF_EXECINSTR;
    program.p_flags |= PF_X;
  }
  if (status == 0 && content == IOS_CONTENT_KIND4) header.sh_flags |= row->flag_content4;
  if (type != IOS_SECTION_TYPE_SPECIAL && type != IOS_SECTION_TYPE_NOTE)
    header.sh_flags |= SHF_ALLOC;
  uint32_t section_class = 0;
  status = ios_section_get_class(section, &section_class, nullptr);
  if (status == 1) return 1;
  if (status == 0) {
    if (section_class == 4) {
      header.sh_flags |= 0x10;
      header.sh_entsize = 0;
    } else if (section_class == 3) {
      header.sh_flags |= row->flag_class3;
    } else if (section_class == 6) {
      header.sh_flags |= row->flag_class6;
    }
  }
  uint32_t marker = 0;
  if (ios_section_get_marker_flag(section, &marker, nullptr) != 0) return 1;
  if (marker != 0) header.sh_flags |= row->flag_marker;
  return 0;
}

int writeSection(ElfContext* context, IosHandle section, ObjLibErrorClass* error) {
  const MachineEntry* row = context->machine;
  uint32_t type = 0;
  if (ios_section_get_type(section, &type, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (type == 5) return 0;
  uint32_t index = 0;
  elf_next_section_record(context, nullptr, &index);
  ElfProgramHeader* taken = nullptr;
  elf_next_program_record(context, &taken, nullptr);
  mapSection(context, section.object_id, index);
  ElfSectionHeader header{};
  ElfProgramHeader& program = *taken;

  IosHandle name{};
  const char* name_text = nullptr;
  if (ios_section_get_name(section, &name, nullptr) != 0 ||
      ios_string_get_text(name, &name_text, nullptr) != 0 || name_text == nullptr)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  context->section_names.pending_prefix = ".rela";
  elf_strtab_add(&context->section_names, name_text, &header.sh_name);

  uint32_t has_image = 0;
  ios_section_has_image(section, &has_image, nullptr);
  if (type == IOS_SECTION_TYPE_NOTE)
    header.sh_type = SHT_NOTE;
  else
    header.sh_type = has_image != 0 ? SHT_PROGBITS : SHT_NOBITS;
  program.p_type = 1;
  if (sectionFlags(context, section, type, header, program) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);

  ExprNode* address = nullptr;
  int status = ios_section_get_address_expr(section, &address, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status == 0) {
    if (addressValue(context, address, &header.sh_addr, error) != 0) return 1;
    if (context->relocatable()) header.sh_flags |= row->flag_address_expression;
  }
  uint32_t number = 0;
  bool numbered = ios_section_get_number(section, &number, nullptr) == 0 && number != 0;
  if (context->translating() && numbered &&
      elf_translate_address(context, &header.sh_addr, number, error) != 0)
    return 1;
  program.p_vaddr = program.p_paddr = header.sh_addr;
  uint32_t fixed = 0;
  if (context->relocatable() && ios_section_get_fixed_address(section, &fixed, nullptr) == 0 &&
      fixed != 0) {
    header.sh_flags |= row->flag_fixed_address;
    if (row->flag_fixed_address != 0 && (header.sh_flags & row->flag_address_expression) == 0)
      header.sh_addr = fixed;
  }

  uint32_t alignment = 0;
  if (ios_section_get_alignment(section, &alignment, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  header.sh_addralign = alignment;
  program.p_align = alignment != 0 ? alignment : row->segment_alignment;
  if (row->segment_alignment > 1 && row->segment_alignment > program.p_align)
    program.p_align = row->segment_alignment;

  uint32_t mau_bits = 0;
  if (ios_section_get_mau_size(section, &mau_bits, nullptr) != 0 || mau_bits == 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  uint32_t bytes_per_unit = (mau_bits + 7) / 8;
  uint32_t units = 0;
  status = ios_section_get_size(section, &units, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status != 0) units = 0;
  header.sh_size = program.p_memsz = bytes_per_unit * units;

  if (context->extended()) {
    if (ios_section_get_number(section, &number, nullptr) != 0) number = 0;
    header.sh_number = program.p_number = number;
    // A translating writer tells the reader which address space the headers use.
    if (context->translating())
      header.sh_number = static_cast<uint32_t>(row->address_callback_argument);
  }
  if (row->section_hook != nullptr &&
      row->section_hook(context, &header, &program, section.file_id, section.object_id, error) !=
          0)
    return 1;
  header.sh_link = header.sh_info = header.sh_entsize = 0;

  uint32_t position = 0;
  if (elf_tell(context, &position, error) != 0) return 1;
  if (header.sh_type == SHT_NOBITS) {
    header.sh_offset = 0;
    program.p_filesz = 0;
    program.p_offset = position;
    if (program.p_align != 0)
      program.p_offset += (program.p_vaddr - position) % program.p_align;
  } else {
    program.p_filesz = program.p_memsz;
    if (header.sh_size > 0) {
      if (!context->relocatable() && (header.sh_flags & SHF_ALLOC) != 0 && program.p_align != 0) {
        uint32_t gap = (program.p_vaddr - position) % program.p_align;
        if (elf_write_zeros(context, gap, error) != 0) return 1;
        position += gap;
      }
      header.sh_offset = program.p_offset = position;
      if (elf_write_image(context, section, bytes_per_unit, units, error) != 0) return 1;
    }
  }
  context->section_headers[index] = header;
  if (elf_write_relocation_section(context, section.object_id, index, mau_bits, error) != 0)
    return 1;
  uint32_t content = 0;
  bool content4 = ios_section_get_content(section, &content, nullptr) == 0 &&
                  content == IOS_CONTENT_KIND4;
  // Only allocated contents are loaded.
  if ((header.sh_flags & SHF_ALLOC) == 0 || content4)
    return elf_drop_last_program_record(context, &program, error);
  return 0;
}

int writeSections(ElfContext* context, ObjLibErrorClass* error) {
  uint32_t cursor = 0;
  for (;;) {
    IosSection* section = nullptr;
    if (elf_next_section(context, &cursor, &section, error) != 0) return 1;
    if (section == nullptr) return 0;
    if (writeSection(context, section->handle, error) != 0) return 1;
  }
}

void swapSectionHeader(ElfContext* context, const ElfSectionHeader& header, unsigned char* out) {
  const uint32_t words[] = {header.sh_name,   header.sh_type,   header.sh_flags,
                            header.sh_addr,   header.sh_offset, header.sh_size,
                            header.sh_link,   header.sh_info,   header.sh_addralign,
                            header.sh_entsize, header.sh_number};
  uint32_t count = context->extended() ? 11 : 10;
  for (uint32_t index = 0; index < count; ++index)
    elf_swap_field(context->byte_order, words[index], 4, out + 4 * index);
}

int writeSectionHeaderTable(ElfContext* context, ObjLibErrorClass* error) {
  size_t count = context->section_headers.size();
  if (count >= kExtendedIndexFrom) {
    context->e_shnum = 0;
    context->section_headers[0].sh_size = static_cast<uint32_t>(count);
  } else {
    context->e_shnum = static_cast<uint16_t>(count);
  }
  std::vector<unsigned char> table(count * context->e_shentsize);
  for (size_t index = 0; index < count; ++index)
    swapSectionHeader(context, context->section_headers[index],
                      table.data() + index * context->e_shentsize);
  uint32_t position = 0;
  if (elf_pad_to_4(context, &position, error) != 0) return 1;
  context->e_shoff = position;
  return elf_write_bytes(context, table.data(), table.size(), error);
}

// Filled in last, over the placeholder at the start of the file: it holds the offset
// of the section header table.
int writeHeader(ElfContext* context, ObjLibErrorClass* error) {
  unsigned char header[kHeaderSize];
  std::memcpy(header, context->e_ident, 16);
  uint32_t order = context->byte_order;
  elf_swap_field(order, context->e_type, 2, header + 16);
  elf_swap_field(order, context->e_machine, 2, header + 18);
  elf_swap_field(order, context->e_version, 4, header + 20);
  elf_swap_field(order, context->e_entry, 4, header + 24);
  elf_swap_field(order, context->e_phoff, 4, header + 28);
  elf_swap_field(order, context->e_shoff, 4, header + 32);
  elf_swap_field(order, context->e_flags, 4, header + 36);
  elf_swap_field(order, context->e_ehsize, 2, header + 40);
  elf_swap_field(order, context->e_phentsize, 2, header + 42);
  elf_swap_field(order, context->e_phnum, 2, header + 44);
  elf_swap_field(order, context->e_shentsize, 2, header + 46);
  elf_swap_field(order, context->e_shnum, 2, header + 48);
  elf_swap_field(order, context->e_shstrndx, 2, header + 50);
  return elf_patch_bytes(context, 0, header, sizeof header, error);
}

// Swapping with an empty vector gives the memory back, which clear() does not.
template <typename Item>
void releaseVector(std::vector<Item>& items) {
  std::vector<Item>().swap(items);
}

}  // namespace

bool ElfContext::extended() const {
  return machine != nullptr && machine->extended_records != 0 &&
         (machine->extended_relocatable_only == 0 || relocatable());
}

void elf_free_context(ElfContext* context) {
  if (context == nullptr) return;
  releaseVector(context->section_headers);
  releaseVector(context->section_map);
  releaseVector(context->program_headers);
  releaseVector(context->symbols);
  releaseVector(context->symbol_map);
  releaseVector(context->section_symbol_map);
  releaseVector(context->extended_index);
  releaseVector(context->output.pieces);
  releaseVector(context->output.bytes);
  for (ElfStringTable* table : {&context->section_names, &context->symbol_names}) {
    releaseVector(table->bytes);
    releaseVector(table->buckets);
    std::unordered_map<uint32_t, uint32_t>().swap(table->prefixed);
  }
}

int elf_next_section(ElfContext* context, uint32_t* cursor, IosSection** section, ObjLibErrorClass* error) {
  *section = nullptr;
  IosHandle handle{};
  if (ios_section_next(context->file_id, cursor, &handle, nullptr) != 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (handle.object_id == 0) return 0;
  if (ios_get_section(handle, section, nullptr) != 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  return 0;
}

void elf_swap_field(uint32_t selector, uint32_t value, uint32_t size, unsigned char* out) {
  for (uint32_t index = 0; index < size; ++index) {
    uint32_t shift = selector == ELF_DATA_MSB ? 8 * (size - 1 - index) : 8 * index;
    out[index] = static_cast<unsigned char>(value >> shift);
  }
}

int elf_write_object(const char* output_name, std::FILE* stream, uint32_t file_id,
                     ObjLibErrorClass* error) {
  return elf_write_object_with(output_name, stream, file_id, nullptr, nullptr, nullptr, error);
}

int elf_write_object_ex(const char* output_name, std::FILE* stream, uint32_t file_id,
                        ElfAddressTranslator translator, void* argument,
                        ObjLibErrorClass* error) {
  return elf_write_object_with(output_name, stream, file_id, translator, argument, nullptr, error);
}

uint32_t elf_bytes_for_bits(uint32_t bits, uint32_t count) { return count * ((bits + 7) / 8); }

bool ElfContext::translating() const {
  return translator != nullptr && !relocatable() && machine != nullptr &&
         machine->address_callback_argument != 0;
}

int elf_translate_address(ElfContext* context, uint32_t* address, uint32_t section_number,
                          ObjLibErrorClass* error) {
  uint64_t moved = *address;
  if (context->translator(*address, 0, section_number,
                          static_cast<uint32_t>(context->machine->address_callback_argument),
                          context->translator_argument, &moved) != 0)
    return elf_fail(error, OBJLIB_ERR_ADDRESS_OVERFLOW);
  *address = static_cast<uint32_t>(moved);
  return 0;
}

int elf_write_object_with(const char* output_name, std::FILE* stream, uint32_t file_id,
                          ElfAddressTranslator translator, void* argument,
                          const MachineEntry* machine, ObjLibErrorClass* error) {
  ElfContext context;
  context.stream = stream;
  context.output_name = output_name;
  context.file_id = file_id;
  context.translator = translator;
  context.translator_argument = argument;
  if (stream == nullptr) return elf_fail(error, OBJLIB_ERR_FILE_IO);
  if (initContext(&context, error) != 0 || elf_select_machine(&context, error) != 0) return 1;
  if (machine != nullptr) {
    context.machine = machine;
    context.e_machine = static_cast<uint16_t>(machine->elf_machine);
  }
  if (prepareHeader(&context, error) != 0 || allocHeaders(&context, error) != 0)
    return 1;
  // Placeholders for the file header and the program headers, filled in once the
  // offsets they hold are known.
  std::vector<unsigned char> placeholder(
      kHeaderSize + static_cast<size_t>(context.program_header_reserved) * context.e_phentsize);
  if (elf_write_bytes(&context, placeholder.data(), placeholder.size(), error) != 0) return 1;
  std::vector<unsigned char>().swap(placeholder);
  if (elf_create_string_tables(&context, error) != 0 || elf_build_symtab(&context, error) != 0 ||
      writeSections(&context, error) != 0 ||
      elf_write_groups(&context, error) != 0 || elf_resolve_symbol_sections(&context, error) != 0 ||
      elf_write_symtab(&context, error) != 0 || elf_write_symtab_shndx(&context, error) != 0 ||
      elf_write_attributes(&context, error) != 0 || elf_write_callinfo(&context, error) != 0 ||
      elf_write_misrac(&context, error) != 0 || elf_write_string_tables(&context, error) != 0 ||
      elf_write_program_headers(&context, error) != 0 ||
      writeSectionHeaderTable(&context, error) != 0 || writeHeader(&context, error) != 0 ||
      elf_emit_output(&context, error) != 0)
    return 1;  // the context's destructor gives back what a failed write leaves
  elf_free_context(&context);
  if (std::fflush(stream) != 0) {
    if (errno == 0) errno = EIO;
    return elf_fail(error, OBJLIB_ERR_FILE_IO);
  }
  return 0;
}
