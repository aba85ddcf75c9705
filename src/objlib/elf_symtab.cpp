#include "objlib/elf_symtab.h"

#include <cstring>

#include "objlib/elf_reloc.h"
#include "objlib/elf_utilities.h"
#include "objlib/elf_writer.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_machine.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr size_t kFirstTableCapacity = 10000;
constexpr uint32_t kFirstBucketCount = 1024;

// FNV-1a with a final mix: the table probes linearly over the low bits, and names
// that differ only in their last digits (sym1, sym2, ...) must not pile up in runs.
uint32_t nameHash(uint32_t prefix_length, const char* name) {
  uint32_t hash = 2166136261u ^ prefix_length;
  for (const unsigned char* byte = reinterpret_cast<const unsigned char*>(name); *byte != 0;
       ++byte)
    hash = (hash ^ *byte) * 16777619u;
  hash ^= hash >> 16;
  hash *= 0x85EBCA6Bu;
  hash ^= hash >> 13;
  hash *= 0xC2B2AE35u;
  hash ^= hash >> 16;
  return hash;
}

bool nameMatches(const ElfStringTable& table, uint32_t name_offset, const char* prefix,
                 uint32_t prefix_length, const char* name) {
  auto stored_prefix = table.prefixed.find(name_offset);
  bool has_prefix = stored_prefix != table.prefixed.end();
  if (has_prefix != (prefix != nullptr)) return false;
  const char* stored = table.bytes.data() + name_offset;
  if (prefix != nullptr &&
      (stored_prefix->second != prefix_length ||
       std::memcmp(stored - prefix_length, prefix, prefix_length) != 0))
    return false;
  return std::strcmp(stored, name) == 0;
}

uint64_t bucketOf(uint32_t hash, uint32_t name_offset) { return (static_cast<uint64_t>(hash) << 32) | name_offset; }

void rehash(ElfStringTable* table, uint32_t bucket_count) {
  std::vector<uint64_t> old(bucket_count, 0);
  old.swap(table->buckets);
  uint32_t mask = bucket_count - 1;
  for (uint64_t slot : old) {
    if (slot == 0) continue;
    uint32_t bucket = static_cast<uint32_t>(slot >> 32) & mask;
    while (table->buckets[bucket] != 0) bucket = (bucket + 1) & mask;
    table->buckets[bucket] = slot;
  }
}

}  // namespace

void elf_strtab_init(ElfStringTable* table) {
  table->bytes.clear();
  table->bytes.reserve(kFirstTableCapacity);
  table->bytes.push_back('\0');
  table->pending_prefix = nullptr;
  table->buckets.assign(kFirstBucketCount, 0);
  table->names = 0;
  table->prefixed.clear();
}

void elf_new_string_table(ElfContext* context, ElfStringTable* table) {
  elf_next_section_record(context, nullptr, &table->header_index);
  context->section_headers[table->header_index].sh_type = 3;
  elf_strtab_init(table);
}

int elf_strtab_add(ElfStringTable* table, const char* name, uint32_t* offset) {
  const char* prefix = table->pending_prefix;
  table->pending_prefix = nullptr;
  uint32_t prefix_length = prefix != nullptr ? static_cast<uint32_t>(std::strlen(prefix)) : 0;
  uint32_t hash = nameHash(prefix_length, name);
  uint32_t mask = static_cast<uint32_t>(table->buckets.size()) - 1;
  uint32_t bucket = hash & mask;
  for (; table->buckets[bucket] != 0; bucket = (bucket + 1) & mask) {
    uint64_t slot = table->buckets[bucket];
    if (static_cast<uint32_t>(slot >> 32) != hash) continue;
    uint32_t stored = static_cast<uint32_t>(slot);
    if (nameMatches(*table, stored, prefix, prefix_length, name)) {
      *offset = stored;
      return 0;
    }
  }
  if (prefix != nullptr) table->bytes.insert(table->bytes.end(), prefix, prefix + prefix_length);
  uint32_t name_offset = static_cast<uint32_t>(table->bytes.size());
  table->bytes.insert(table->bytes.end(), name, name + std::strlen(name) + 1);
  if (prefix != nullptr) table->prefixed.emplace(name_offset, prefix_length);
  table->buckets[bucket] = bucketOf(hash, name_offset);
  // Kept at most half full, so that probe runs stay short.
  if (++table->names * 2 > table->buckets.size())
    rehash(table, static_cast<uint32_t>(table->buckets.size()) * 2);
  *offset = name_offset;
  return 0;
}

void elf_strtab_expect(ElfStringTable* table, uint32_t names) {
  uint64_t wanted = (static_cast<uint64_t>(table->names) + names) * 2;
  if (wanted > UINT32_MAX / 2) return;
  uint32_t count = static_cast<uint32_t>(table->buckets.size());
  if (count == 0) return;
  while (count < wanted) count *= 2;
  if (count != table->buckets.size()) rehash(table, count);
}

void elf_swap_symbol(uint32_t selector, const ElfSymbolRecord& symbol, bool extended,
                     unsigned char* out) {
  elf_swap_field(selector, symbol.st_name, 4, out);
  elf_swap_field(selector, symbol.st_value, 4, out + 4);
  elf_swap_field(selector, symbol.st_size, 4, out + 8);
  out[12] = symbol.st_info;
  out[13] = symbol.st_other;
  elf_swap_field(selector, symbol.st_shndx, 2, out + 14);
  if (extended) elf_swap_field(selector, symbol.st_number, 4, out + 16);
}

int elf_write_string_tables(ElfContext* context, ObjLibErrorClass* error) {
  ElfStringTable* tables[] = {&context->symbol_names, &context->section_names};
  uint32_t strtab_name = 0;
  uint32_t shstrtab_name = 0;
  elf_strtab_add(&context->section_names, ".strtab", &strtab_name);
  elf_strtab_add(&context->section_names, ".shstrtab", &shstrtab_name);
  context->section_headers[context->symbol_names.header_index].sh_name = strtab_name;
  context->section_headers[context->section_names.header_index].sh_name = shstrtab_name;
  for (ElfStringTable* table : tables) {
    ElfSectionHeader& header = context->section_headers[table->header_index];
    if (elf_tell(context, &header.sh_offset, error) != 0) return 1;
    header.sh_size = static_cast<uint32_t>(table->bytes.size());
    if (elf_write_string_table(context, table, error) != 0) return 1;
  }
  return 0;
}

namespace {

constexpr uint8_t STB_LOCAL = 0;
constexpr uint8_t STB_GLOBAL = 1;
constexpr uint8_t STB_WEAK = 2;
constexpr uint8_t STT_SECTION = 3;
constexpr uint8_t STT_FILE = 4;
constexpr uint16_t SHN_ABS = 0xfff1;
constexpr uint16_t SHN_XINDEX = 0xffff;
constexpr uint32_t kExtendedIndexFrom = 0xff00;

uint8_t symbolType(uint32_t store_type) {
  static constexpr uint8_t kTypes[] = {0, 2, 1, 4, 3};
  return store_type < sizeof kTypes ? kTypes[store_type] : 0;
}

uint32_t addSymbolRecord(ElfContext* context, const ElfSymbolRecord& record) {
  context->symbols.push_back(record);
  return static_cast<uint32_t>(context->symbols.size() - 1);
}

void mapSymbol(std::vector<uint32_t>& map, uint32_t key, uint32_t index) {
  if (map.size() <= key) map.resize(key + 1, 0);
  map[key] = index;
}

int addFileSymbol(ElfContext* context, const char* name) {
  ElfSymbolRecord record{};
  elf_strtab_add(&context->symbol_names, name, &record.st_name);
  record.st_info = STB_LOCAL << 4 | STT_FILE;
  record.st_shndx = SHN_ABS;
  addSymbolRecord(context, record);
  return 0;
}

// Value and section of a store symbol from its location: the section and offset it
// holds, or its expression.
int symbolValue(ElfContext* context, IosHandle symbol, const IosSymbol& store, uint8_t binding,
                ElfSymbolRecord& record, ObjLibErrorClass* error) {
  const IosHandle section = store.section;
  if (section.object_id != 0) {
    IosSection* placed = nullptr;
    if (ios_get_section(section, &placed, nullptr) != 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    record.section_relative = true;
    record.section_id = placed->handle.object_id;
  }
  ElfReference reference{};
  int64_t constant = 0;
  uint32_t offset = 0;
  uint32_t base = 0;
  if (ios_location_get_located(store.slot, &base, &offset, nullptr) == 0) {
    if (elfw_build_located_relocation(ExprSlotRef{base, store.slot.context}, offset, &reference, &constant, true) != 0)
      return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
    record.st_value = static_cast<uint32_t>(constant);
    return 0;
  }
  ExprNode* location = nullptr;
  int status = ios_location_get(store.slot, &location, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status != 0 || location == nullptr) {
    if (binding == STB_LOCAL) return elf_fail(error, OBJLIB_ERR_INTERNAL);
    record.section_relative = false;
    record.st_value = 0;
    record.st_shndx = 0;
    return 0;
  }
  if (location->kind == EXPR_VALUE &&
      (location->value_type == EXPR_TYPE_SIGNED || location->value_type == EXPR_TYPE_UNSIGNED)) {
    const unsigned char* bytes = expr_value_bytes(location);
    for (uint32_t index = 8; index < location->context->int_width; ++index) {
      if (bytes[index] != 0) {
        location->context->error = EXPR_ERR_OPERAND_TRUNCATED;
        return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
      }
    }
    record.st_value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                      static_cast<uint32_t>(bytes[2]) << 16 |
                      static_cast<uint32_t>(bytes[3]) << 24;
    if (!(context->kind_word == 5 && record.section_relative)) {
      record.section_relative = false;
      record.st_shndx = SHN_ABS;
      uint32_t number = 0;
      if (context->translating() &&
          ios_symbol_get_section_number(symbol, &number, nullptr) == 0 && number != 0 &&
          elf_translate_address(context, &record.st_value, number, error) != 0)
        return 1;
    }
    return 0;
  }
  if (elfw_build_relocation(location, &reference, &constant, true) != 0)
    return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
  record.st_value = static_cast<uint32_t>(constant);
  return 0;
}

int addStoreSymbol(ElfContext* context, IosHandle symbol, uint8_t binding,
                   ObjLibErrorClass* error) {
  // One lookup for all the fields the entry reads (the alias followed, as every
  // getter would).
  IosSymbol* store = nullptr;
  const char* text = nullptr;
  if (ios_get_symbol(symbol, &store, nullptr) != 0 || store->name.object_id == 0 ||
      ios_string_get_text(store->name, &text, nullptr) != 0 || text == nullptr)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (binding != STB_LOCAL && (store->flags & IOS_SYMBOL_WEAK_BIT) != 0) binding = STB_WEAK;
  ElfSymbolRecord record{};
  elf_strtab_add(&context->symbol_names, text, &record.st_name);
  record.st_info = static_cast<uint8_t>(binding << 4 | symbolType(store->flags & IOS_SYMBOL_TYPE_MASK));
  record.st_size = store->size;
  if (symbolValue(context, symbol, *store, binding, record, error) != 0) return 1;
  uint32_t index = addSymbolRecord(context, record);
  mapSymbol(context->symbol_map, store->symbol_id, index);
  return 0;
}

int addScope(ElfContext* context, IosHandle scope_handle, uint8_t binding,
             ObjLibErrorClass* error) {
  IosScope* scope = nullptr;
  uint32_t count = 0;
  if (ios_get_scope(scope_handle, &scope, nullptr) != 0 ||
      ios_scope_count_symbols(scope_handle, &count, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (count == 0) return 0;
  if (binding == STB_LOCAL && scope->name.object_id >= 1) {
    const char* name = nullptr;
    if (ios_string_get_text(scope->name, &name, nullptr) != 0 || name == nullptr)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    addFileSymbol(context, name);
  }
  for (uint32_t position = 0; position < count; ++position) {
    IosHandle symbol{};
    if (ios_scope_get_symbol(scope_handle, position, &symbol, nullptr) != 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    if (addStoreSymbol(context, symbol, binding, error) != 0) return 1;
  }
  return 0;
}

int addSectionSymbols(ElfContext* context, ObjLibErrorClass* error) {
  uint32_t cursor = 0;
  for (;;) {
    IosSection* section = nullptr;
    if (elf_next_section(context, &cursor, &section, error) != 0) return 1;
    if (section == nullptr) return 0;
    uint32_t type = 0;
    if (ios_section_get_type(section->handle, &type, nullptr) != 0) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    if (type == 2 || type == 5) continue;
    IosHandle name{};
    const char* text = nullptr;
    if (ios_section_get_name(section->handle, &name, nullptr) != 0 ||
        ios_string_get_text(name, &text, nullptr) != 0 || text == nullptr)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    ElfSymbolRecord record{};
    elf_strtab_add(&context->symbol_names, text, &record.st_name);
    record.st_info = STB_LOCAL << 4 | STT_SECTION;
    record.section_relative = true;
    record.section_id = section->handle.object_id;
    if (context->extended() &&
        ios_section_get_number(section->handle, &record.st_number, nullptr) != 0)
      record.st_number = 0;
    uint32_t index = addSymbolRecord(context, record);
    mapSymbol(context->section_symbol_map, section->address_slot.index, index);
  }
}

}  // namespace

int elf_build_symtab(ElfContext* context, ObjLibErrorClass* error) {
  elf_next_section_record(context, nullptr, &context->symtab_index);
  {
    ElfSectionHeader& symtab = context->section_headers[context->symtab_index];
    symtab.sh_type = 2;
    symtab.sh_link = context->symbol_names.header_index;
    symtab.sh_entsize = context->extended() ? 20 : 16;
  }
  uint32_t symbol_count = 0;
  uint32_t section_count = 0;
  uint32_t scope_count = 0;
  if (ios_file_count_symbols(context->file_id, &symbol_count, nullptr) != 0 ||
      ios_file_count_sections(context->file_id, &section_count, nullptr) != 0 ||
      ios_scope_list_count(context->file_id, &scope_count, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  context->symbols.reserve(static_cast<size_t>(symbol_count) + section_count + scope_count + 2);
  elf_strtab_expect(&context->symbol_names, symbol_count + section_count + scope_count + 1);
  context->symbol_map.assign(static_cast<size_t>(symbol_count) + 1, 0);

  context->symbols.push_back(ElfSymbolRecord{});
  const char* file_name = nullptr;
  if (context->file->strings[2].object_id >= 1) {
    file_name = elf_file_string(context->file, 3);
    if (file_name == nullptr) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  } else {
    file_name = context->output_name != nullptr ? context->output_name : "";
  }
  addFileSymbol(context, file_name);

  for (uint32_t position = 0; position < scope_count; ++position) {
    IosHandle scope{};
    if (ios_scope_list_get(position, context->file_id, &scope, nullptr) != 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    if (addScope(context, scope, STB_LOCAL, error) != 0) return 1;
  }
  if (addSectionSymbols(context, error) != 0) return 1;
  context->section_headers[context->symtab_index].sh_info =
      static_cast<uint32_t>(context->symbols.size());

  IosHandle global{};
  int status = ios_scope_get_global_handle(context->file_id, &global, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status == 0 && addScope(context, global, STB_GLOBAL, error) != 0) return 1;
  ElfSectionHeader& symtab = context->section_headers[context->symtab_index];
  symtab.sh_size = symtab.sh_entsize * static_cast<uint32_t>(context->symbols.size());
  return 0;
}

int elf_resolve_symbol_sections(ElfContext* context, ObjLibErrorClass* error) {
  (void)error;
  for (size_t index = 0; index < context->symbols.size(); ++index) {
    ElfSymbolRecord& record = context->symbols[index];
    if (!record.section_relative) continue;
    uint32_t header = record.section_id < context->section_map.size()
                          ? context->section_map[record.section_id]
                          : 0;
    if (header < kExtendedIndexFrom) {
      record.st_shndx = static_cast<uint16_t>(header);
      continue;
    }
    record.st_shndx = SHN_XINDEX;
    if (context->extended_index.empty()) context->extended_index.assign(context->symbols.size(), 0);
    context->extended_index[index] = header;
  }
  return 0;
}

int elf_write_symtab(ElfContext* context, ObjLibErrorClass* error) {
  uint32_t offset = 0;
  if (elf_pad_to_4(context, &offset, error) != 0) return 1;
  uint32_t name = 0;
  elf_strtab_add(&context->section_names, ".symtab", &name);
  {
    ElfSectionHeader& symtab = context->section_headers[context->symtab_index];
    symtab.sh_offset = offset;
    symtab.sh_name = name;
  }
  return elf_write_symbol_entries(context, error);
}
