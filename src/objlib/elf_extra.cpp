#include "objlib/elf_extra.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "objlib/elf_symtab.h"
#include "objlib/elf_utilities.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_group.h"
#include "objlib/ios_machine.h"
#include "objlib/ios_section.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr uint32_t SHT_PROGBITS = 1;
constexpr uint32_t SHT_GROUP = 17;
constexpr uint32_t SHT_SYMTAB_SHNDX = 18;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_GROUP = 0x200;
constexpr uint32_t kAliasMarker = 0xFFFFFFFFu;

int writeWords(ElfContext* context, const uint32_t* words, size_t count, ObjLibErrorClass* error) {
  std::vector<unsigned char> bytes(count * 4);
  for (size_t index = 0; index < count; ++index)
    elf_swap_field(context->byte_order, words[index], 4, bytes.data() + 4 * index);
  return elf_write_bytes(context, bytes.data(), bytes.size(), error);
}

uint32_t headerOf(const ElfContext* context, uint32_t section_id) {
  return section_id < context->section_map.size() ? context->section_map[section_id] : 0;
}

int finishSize(ElfContext* context, uint32_t index, ObjLibErrorClass* error) {
  uint32_t position = 0;
  if (elf_tell(context, &position, error) != 0) return 1;
  ElfSectionHeader& header = context->section_headers[index];
  header.sh_size = position - header.sh_offset;
  return 0;
}

// A named section at the unpadded stream position.
int startSection(ElfContext* context, const char* name, uint32_t type, uint32_t* index,
                 ObjLibErrorClass* error) {
  elf_next_section_record(context, nullptr, index);
  ElfSectionHeader& header = context->section_headers[*index];
  header.sh_type = type;
  elf_strtab_add(&context->section_names, name, &header.sh_name);
  return elf_tell(context, &header.sh_offset, error);
}

// The word "zelkova.attributes" records for a section; 0 gives it no pair.
int attributeWord(ElfContext* context, IosHandle section, uint32_t* word, ObjLibErrorClass* error) {
  static constexpr uint32_t kClassBits[] = {0, 0x1, 0, 0x10, 0x8, 0x4, 0x40, 0x20};
  uint32_t bits = 0;
  uint32_t section_class = 0;
  int status = ios_section_get_class(section, &section_class, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  // Sections made outside the assembler may leave the class open; they carry no
  // class bits rather than stopping the producer.
  if (status == 0 && section_class < std::size(kClassBits)) bits |= kClassBits[section_class];
  uint32_t placement = 0;
  status = ios_section_get_mode2(section, &placement, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status == 0) {
    if (placement == 1) bits |= 0x200;
    else if (placement == 2) bits |= 0x400;
    else if (placement == 3) return elf_fail(error, OBJLIB_ERR_INTERNAL);
  }
  uint32_t content = 0;
  status = ios_section_get_content(section, &content, nullptr);
  if (status == 1) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (status == 0 && content == IOS_CONTENT_KIND4) bits |= 0x80;
  uint32_t machine = context->e_machine;
  *word = bits & (machine == EM_TRICORE || machine == 20 ? 0x88u : 0u);
  return 0;
}

uint32_t symbolIndex(const ElfContext* context, IosHandle symbol) {
  return symbol.object_id < context->symbol_map.size() ? context->symbol_map[symbol.object_id] : 0;
}

// The call-information section's entries, in walk order.
struct CallInfoWriter {
  ElfContext* context;
  IosCallGraph* graph;
  uint32_t words;  // value words per entry
  std::vector<uint8_t> visited;  // by symbol id
  std::vector<uint32_t> out;

  bool firstVisit(uint32_t symbol_id) {
    if (visited.size() <= symbol_id) visited.resize(symbol_id + 1, 0);
    if (visited[symbol_id] != 0) return false;
    visited[symbol_id] = 1;
    return true;
  }

  void entry(uint32_t first, uint32_t second, const uint32_t* values, uint32_t last) {
    out.push_back(first);
    out.push_back(second);
    for (uint32_t word = 0; word < words; ++word) out.push_back(values != nullptr ? values[word] : 0);
    out.push_back(last);
  }

  // Both ends without a symbol index say nothing for files of kinds 4 and 5.
  bool silent(uint32_t first, uint32_t second) const {
    return first == 0 && second == 0 && (context->kind_word == 4 || context->kind_word == 5);
  }

  const IosCallAlias* aliasOf(uint32_t symbol_id) const {
    for (uint32_t index = 0; index < graph->aliases.count; ++index) {
      auto* record =
          static_cast<const IosCallAlias*>(ios_array_at(&graph->aliases, sizeof(IosCallAlias), index));
      if (record->alias.object_id == symbol_id) return record;
    }
    return nullptr;
  }

  void aliasEntry(const IosCallAlias& record) {
    if (ios_get_symbol(record.alias, nullptr, nullptr) != 0) return;
    uint32_t alias = symbolIndex(context, record.alias);
    uint32_t target = symbolIndex(context, record.target);
    if (!silent(alias, target)) entry(alias, kAliasMarker, nullptr, target);
  }

  struct Frame {
    IosCallGraphNode* node;
    uint32_t next;  // index in the node's callee list
  };

  // Depth first with an explicit stack: a long call chain must not exhaust ours.
  int walk(IosCallGraphNode* root, ObjLibErrorClass* error) {
    std::vector<Frame> stack;
    if (enter(root, stack, error) != 0) return 1;
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next >= frame.node->callee_list.count) {
        stack.pop_back();
        continue;
      }
      // The frame reference dies when enter grows the stack.
      auto* edge = *static_cast<IosCallEdge**>(
          ios_array_at(&frame.node->callee_list, sizeof(IosCallEdge*), frame.next++));
      uint32_t caller = symbolIndex(context, edge->caller->key);
      uint32_t callee = symbolIndex(context, edge->callee->key);
      if (!silent(caller, callee)) entry(caller, callee, edge->values, edge->count);
      if (enter(edge->callee, stack, error) != 0) return 1;
    }
    return 0;
  }

  // Writes the function's own entry and pushes it, unless it was seen before or is
  // an alias; 1 when its callees cannot be listed, for want of memory or otherwise.
  int enter(IosCallGraphNode* node, std::vector<Frame>& stack, ObjLibErrorClass* error) {
    if (!firstVisit(node->key.object_id)) return 0;
    if (const IosCallAlias* alias = aliasOf(node->key.object_id)) {
      aliasEntry(*alias);
      return 0;
    }
    IosErrorCode code = IOS_ERR_INTERNAL;
    if (ios_callgraph_get_node_value(context->file_id, node->key, nullptr, &code) != 0)
      return elf_fail(error, code == IOS_ERR_NO_MEMORY ? OBJLIB_ERR_NO_MEMORY : OBJLIB_ERR_OBJECT_STORE);
    entry(symbolIndex(context, node->key), 0, node->values, 0);
    stack.push_back({node, 0});
    return 0;
  }
};

}  // namespace

int elf_write_groups(ElfContext* context, ObjLibErrorClass* error) {
  if (!context->relocatable() || context->file->groups == nullptr) return 0;
  uint32_t count = 0;
  if (ios_file_count_groups(context->file_id, &count, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  for (uint32_t id = 1; id <= count; ++id) {
    IosGroup* group = nullptr;
    if (ios_get_group({context->file_id, id}, &group, nullptr) != 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    uint32_t index = 0;
    elf_next_section_record(context, nullptr, &index);
    uint32_t offset = 0;
    if (elf_pad_to_4(context, &offset, error) != 0) return 1;
    {
      ElfSectionHeader& header = context->section_headers[index];
      header.sh_type = SHT_GROUP;
      header.sh_offset = offset;
      header.sh_link = context->symtab_index;
      header.sh_addralign = 4;
      header.sh_entsize = 4;
      elf_strtab_add(&context->section_names, "group", &header.sh_name);
    }
    std::vector<uint32_t> words{0};
    for (uint32_t member = 0; member < group->members.count; ++member) {
      uint32_t section_id =
          *static_cast<uint32_t*>(ios_array_at(&group->members, sizeof(uint32_t), member));
      IosSection* section = nullptr;
      if (section_id < 1 || ios_get_section({context->file_id, section_id}, &section, nullptr) != 0)
        return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
      uint32_t header = headerOf(context, section->handle.object_id);
      if (header != 0) context->section_headers[header].sh_flags |= SHF_GROUP;
      words.push_back(header);
    }
    if (writeWords(context, words.data(), words.size(), error) != 0) return 1;
    if (finishSize(context, index, error) != 0) return 1;
  }
  return 0;
}

int elf_write_symtab_shndx(ElfContext* context, ObjLibErrorClass* error) {
  if (context->extended_index.empty()) return 0;
  uint32_t index = 0;
  elf_next_section_record(context, nullptr, &index);
  uint32_t offset = 0;
  if (elf_pad_to_4(context, &offset, error) != 0) return 1;
  ElfSectionHeader& header = context->section_headers[index];
  header.sh_type = SHT_SYMTAB_SHNDX;
  header.sh_offset = offset;
  header.sh_entsize = 4;
  header.sh_addralign = 4;
  header.sh_link = context->symtab_index;
  header.sh_flags = context->section_headers[context->symtab_index].sh_flags & SHF_ALLOC;
  elf_strtab_add(&context->section_names, ".symtab_shndx", &header.sh_name);
  std::vector<uint32_t> words(context->symbols.size(), 0);
  for (size_t symbol = 0; symbol < words.size() && symbol < context->extended_index.size(); ++symbol)
    words[symbol] = context->extended_index[symbol];
  header.sh_size = static_cast<uint32_t>(4 * words.size());
  return writeWords(context, words.data(), words.size(), error);
}

int elf_write_attributes(ElfContext* context, ObjLibErrorClass* error) {
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (uint32_t section_id = 1; section_id < context->section_map.size(); ++section_id) {
    uint32_t header = context->section_map[section_id];
    if (header == 0) continue;
    uint32_t word = 0;
    if (attributeWord(context, {context->file_id, section_id}, &word, error) != 0) return 1;
    if (word != 0) pairs.emplace_back(header, word);
  }
  if (pairs.empty()) return 0;
  std::sort(pairs.begin(), pairs.end());
  uint32_t index = 0;
  if (startSection(context, "zelkova.attributes", SHT_PROGBITS, &index, error) != 0) return 1;
  std::vector<uint32_t> words{1, index, context->section_headers[index].sh_offset, 2,
                              static_cast<uint32_t>(pairs.size())};
  for (const auto& [header, word] : pairs) {
    words.push_back(header);
    words.push_back(word);
  }
  if (writeWords(context, words.data(), words.size(), error) != 0) return 1;
  return finishSize(context, index, error);
}

int elf_write_callinfo(ElfContext* context, ObjLibErrorClass* error) {
  const MachineEntry* row = context->machine;
  IosCallGraph* graph = context->file->callgraph;
  if (!context->relocatable() || row->callinfo_type == 0 || graph == nullptr || graph->resolved.count == 0)
    return 0;
  uint32_t words = row->stack_usage_words;
  if (words > IOS_CALLGRAPH_VALUE_WORDS) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  uint32_t index = 0;
  if (startSection(context, ".zelkova.callinfo", row->callinfo_type, &index, error) != 0) return 1;
  {
    ElfSectionHeader& header = context->section_headers[index];
    header.sh_link = context->symtab_index;
    header.sh_info = words;
    header.sh_entsize = 12 + 4 * words;
  }
  CallInfoWriter writer{context, graph, words, {}, {}};
  for (uint32_t entry = 0; entry < graph->resolved.count; ++entry) {
    auto* node = *static_cast<IosCallGraphNode**>(
        ios_array_at(&graph->resolved, sizeof(IosCallGraphNode*), entry));
    if (writer.walk(node, error) != 0) return 1;
    for (uint32_t alias = 0; alias < graph->aliases.count; ++alias) {
      auto* record =
          static_cast<IosCallAlias*>(ios_array_at(&graph->aliases, sizeof(IosCallAlias), alias));
      if (symbolIndex(context, record->alias) != 0 && symbolIndex(context, record->target) != 0)
        writer.entry(symbolIndex(context, record->alias), kAliasMarker, nullptr,
                     symbolIndex(context, record->target));
    }
  }
  if (writeWords(context, writer.out.data(), writer.out.size(), error) != 0) return 1;
  return finishSize(context, index, error);
}

int elf_write_misrac(ElfContext* context, ObjLibErrorClass* error) {
  const char* text = context->file->misrac_text;
  if (text == nullptr) return 0;
  uint32_t index = 0;
  if (startSection(context, ".zelkova.misrac", SHT_PROGBITS, &index, error) != 0) return 1;
  std::vector<char> bytes(text, text + std::strlen(text));
  // The settings go out reversed unless they start with 'M'.
  if (!bytes.empty() && bytes.front() != 'M') std::reverse(bytes.begin(), bytes.end());
  if (elf_write_bytes(context, bytes.data(), bytes.size(), error) != 0) return 1;
  return finishSize(context, index, error);
}
