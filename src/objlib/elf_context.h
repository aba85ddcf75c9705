// The state of one elf_write_object call, shared by the producer's modules (header
// and section passes, string and symbol tables, relocation sections).
#pragma once

#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "objlib/elf_output.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_types.h"

struct IosSection;

struct ExprLibContext;
struct IosFile;
struct MachineEntry;

// Records are held in host order and converted to the file's byte order only when
// written.
struct ElfSectionHeader {
  uint32_t sh_name;
  uint32_t sh_type;
  uint32_t sh_flags;
  uint32_t sh_addr;
  uint32_t sh_offset;
  uint32_t sh_size;
  uint32_t sh_link;
  uint32_t sh_info;
  uint32_t sh_addralign;
  uint32_t sh_entsize;
  uint32_t sh_number;  // written only for machines with extended records
};

struct ElfProgramHeader {
  uint32_t p_type;
  uint32_t p_offset;
  uint32_t p_vaddr;
  uint32_t p_paddr;
  uint32_t p_filesz;
  uint32_t p_memsz;
  uint32_t p_flags;
  uint32_t p_align;
  uint32_t p_number;
};

struct ElfSymbolRecord {
  uint32_t st_name;
  uint32_t st_value;
  uint32_t st_size;
  uint8_t st_info;
  uint8_t st_other;
  uint16_t st_shndx;
  uint32_t st_number;
  uint32_t section_id;     // the store section it lies in, when section-relative
  bool section_relative;  // st_shndx comes from section_id once the sections are placed
};

struct ElfRelaRecord {
  uint32_t r_offset;
  uint32_t r_info;
  uint32_t r_addend;
};

// A string table under construction: the bytes, starting with the empty name, and an
// index that finds a {prefix, name} pair already added.
struct ElfStringTable {
  uint32_t header_index;
  std::vector<char> bytes;
  const char* pending_prefix;  // consumed by the next addition
  // Per bucket: the name's hash in the high word, its offset in bytes in the low word
  // (never 0: the table starts with a NUL); 0 = empty; a power of two long. The hash
  // beside the offset lets a probe pass other names without reading their bytes.
  std::vector<uint64_t> buckets;
  uint32_t names = 0;  // entered in the buckets
  // The prefix length of each name stored behind a prefix, by the name's offset: a
  // few relocation section names, none in the symbol names.
  std::unordered_map<uint32_t, uint32_t> prefixed;
};

struct ElfContext {
  std::FILE* stream = nullptr;
  ElfOutput output;  // the file laid out, written to the stream once complete
  const char* output_name = nullptr;
  uint32_t file_id = 0;
  IosFile* file = nullptr;
  ExprLibContext* expr_context = nullptr;
  const MachineEntry* machine = nullptr;
  uint32_t kind_word = 0;
  uint32_t byte_order = 0;  // 1 least significant byte first, 2 most significant first

  unsigned char e_ident[16] = {};
  uint16_t e_type = 0;
  uint16_t e_machine = 0;
  uint32_t e_version = 1;
  uint32_t e_entry = 0;
  uint32_t e_phoff = 0;
  uint32_t e_shoff = 0;
  uint32_t e_flags = 0;
  uint16_t e_ehsize = 52;
  uint16_t e_phentsize = 32;
  uint16_t e_phnum = 0;
  uint16_t e_shentsize = 40;
  uint16_t e_shnum = 0;
  uint16_t e_shstrndx = 0;

  // Index 0 is the null header. Grows with every header taken: a section may add a
  // relocation section, so no count known up front bounds it.
  std::vector<ElfSectionHeader> section_headers;
  std::vector<uint32_t> section_map;  // store section id -> header index, 0 = none
  std::vector<ElfProgramHeader> program_headers;
  uint32_t program_header_count = 0;
  uint32_t program_header_reserved = 0;  // records reserved after the file header

  uint32_t symtab_index = 0;
  std::vector<ElfSymbolRecord> symbols;
  std::vector<uint32_t> symbol_map;          // store symbol id -> symbol index
  std::vector<uint32_t> section_symbol_map;  // address-slot index -> symbol index
  std::vector<uint32_t> extended_index;      // made on first need

  ElfStringTable section_names;
  ElfStringTable symbol_names;

  // Set only by elf_write_object_ex; null for the assembler's own writes.
  ElfAddressTranslator translator = nullptr;
  void* translator_argument = nullptr;

  bool relocatable() const { return e_type == 1; }
  // Absolute output for a row with a translation parameter, and a translator given.
  bool translating() const;
  bool extended() const;
};

// Passes an address through the translator; the section number must be non-zero.
// Class 15 when the translator fails.
int elf_translate_address(ElfContext* context, uint32_t* address, uint32_t section_number,
                          ObjLibErrorClass* error);
// The whole write with a translator and, when not null, a machine row that replaces
// the one the file's machine name selects (rows that the built-in table lacks).
int elf_write_object_with(const char* output_name, std::FILE* stream, uint32_t file_id,
                          ElfAddressTranslator translator, void* argument,
                          const MachineEntry* machine, ObjLibErrorClass* error);

// Gives back the context's record arrays, maps and string tables once the file is
// written; the context can then only be discarded.
void elf_free_context(ElfContext* context);

// The file's next section in creation order, from the cursor (0 at first); *section
// is null after the last. A store failure is class 6.
int elf_next_section(ElfContext* context, uint32_t* cursor, IosSection** section, ObjLibErrorClass* error);

// The store file's string property (1-based) as text; null when unset or textless.
const char* elf_file_string(const IosFile* file, uint32_t property);

inline int elf_fail(ObjLibErrorClass* error, ObjLibErrorClass code) {
  if (error != nullptr) *error = code;
  return 1;
}
