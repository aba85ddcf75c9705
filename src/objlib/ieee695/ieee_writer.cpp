#include "objlib/ieee695/ieee_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_image.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr uint32_t LETTER_G = 0xC7;
constexpr uint32_t LETTER_I = 0xC9;
constexpr uint32_t LETTER_L = 0xCC;
constexpr uint32_t LETTER_N = 0xCE;
constexpr uint32_t LETTER_O = 0xCF;
constexpr uint32_t LETTER_P = 0xD0;
constexpr uint32_t LETTER_R = 0xD2;
constexpr uint32_t LETTER_S = 0xD3;
constexpr uint32_t LETTER_W = 0xD7;
constexpr uint32_t LETTER_X = 0xD8;

uint64_t letter_key(uint32_t letter, uint64_t index) {
  return (uint64_t{letter & 0xFF} << 56) | (index & 0x00FFFFFFFFFFFFFFu);
}

// Stream positions enter the part slots as their low 32 bits, signed.
int64_t slot_position(const IeeeStream* stream) {
  if (stream == nullptr) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(stream->position));
}

int emit(IeeeWriter* writer, uint32_t type, const void* source, uint32_t* error) {
  return ieee_emit_record(writer, type, source, ieee_fill_record, error);
}

int emit_variable(IeeeWriter* writer, uint32_t type, uint32_t letter, uint64_t index,
                  uint32_t* error) {
  IeeeVariable variable{letter, index};
  return emit(writer, type, &variable, error);
}

int emit_comment(IeeeWriter* writer, int32_t number, uint32_t* error) {
  return emit(writer, IEEE_CO, &number, error);
}

void start_part(IeeeWriter* writer, uint32_t part, uint32_t* error) {
  writer->current_part = part;
  *error = 0;
}

void add_scope_names(IeeeWriter* writer, IosHandle scope, bool global) {
  uint32_t count = 0;
  if (ios_scope_count_symbols(scope, &count, nullptr) != 0) return;
  for (uint32_t i = 0; i < count; ++i) {
    IosHandle symbol{0, 0};
    if (ios_scope_get_symbol(scope, i, &symbol, nullptr) != 0) continue;
    IosSymbol* record = nullptr;
    if (ios_get_symbol(symbol, &record, nullptr) != 0 || record == nullptr) continue;
    if (writer->names_by_symbol.count(symbol.object_id) != 0) continue;
    uint32_t letter = LETTER_N;
    if (global) letter = record->section.object_id != 0 || record->slot.index == 0 ? LETTER_I : LETTER_X;
    // A global without a section but with a value (an equate) is defined here too.
    if (global && record->section.object_id == 0) {
      ExprNode* value = nullptr;
      bool defined = ios_symbol_get_section_expr(symbol, &value, nullptr) == 0 && value != nullptr;
      letter = defined ? LETTER_I : LETTER_X;
    }
    ieee_new_name_entry(writer, letter, writer->next_name_index, symbol);
  }
}

bool section_size(IeeeSectionEntry* entry, uint32_t* size) {
  ExprNode* expression = nullptr;
  if (ios_section_get_size_expr(entry->section, &expression, nullptr) != 0 || expression == nullptr) {
    return false;
  }
  return ios_section_get_size(entry->section, size, nullptr) == 0;
}

void release_writer_contents(IeeeWriter* writer) {
  for (auto& record : writer->letter_records) ios_value_clear(&record->value);
  if (writer->scratch != nullptr) {
    ieee_record_clear(writer->scratch);
    pool_free(writer->scratch, sizeof(IeeeRecord));
    writer->scratch = nullptr;
  }
  ieee_buf_free(writer->module_name);
  writer->module_name = nullptr;
}

}  // namespace

IeeeSectionEntry* ieee_new_section_entry(IeeeWriter* writer, uint32_t index, IosHandle section) {
  // Indexes stay dense: a new entry takes the next index or replaces one.
  if (writer == nullptr || index < 1 || index > writer->sections.size() + 1) return nullptr;
  auto entry = std::make_unique<IeeeSectionEntry>();
  entry->index = index;
  entry->section = section;
  entry->load_address = 0;
  uint32_t bits = 0;
  IosFile* file = nullptr;
  if ((ios_section_get_mau_size(section, &bits, nullptr) != 0 || bits == 0) &&
      ios_get_file(section.file_id, &file, nullptr) == 0 && file != nullptr) {
    bits = file->mau_size;
  }
  entry->mau_bits = bits;
  const uint32_t letters[4] = {LETTER_L, LETTER_R, LETTER_P, LETTER_S};
  for (int i = 0; i < 4; ++i) {
    entry->records[i] = ieee_letter_record(writer, letters[i], index);
    if (entry->records[i] == nullptr) return nullptr;
  }
  // The section's address slot is what a reference to the section names: its L
  // variable when the section has a fixed address, else its relocation base R.
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, nullptr) == 0 && record != nullptr) {
    ExprNode* address = nullptr;
    bool fixed = ios_section_get_address_expr(section, &address, nullptr) == 0 && address != nullptr;
    IeeeLetterRecord* base = entry->records[fixed ? 0 : 1];
    base->reference = record->address_slot.index;
    for (IeeeLetterRecord* letter : entry->records) letter->reference_value = record->address_slot.index;
    if (base->reference != 0) writer->by_reference.emplace(base->reference, base);
  }
  IeeeSectionEntry* raw = entry.get();
  if (index > writer->sections.size()) writer->sections.push_back(std::move(entry));
  else writer->sections[index - 1] = std::move(entry);
  writer->sections_by_id[section.object_id] = raw;
  return raw;
}

IeeeNameEntry* ieee_new_name_entry(IeeeWriter* writer, uint32_t letter, uint32_t index, IosHandle symbol) {
  IosSymbol* record = nullptr;
  // Indexes stay dense: a new entry takes the next index or replaces one.
  if (writer == nullptr || index < IEEE_FIRST_NAME_INDEX || index - IEEE_FIRST_NAME_INDEX > writer->names.size() ||
      ios_get_symbol(symbol, &record, nullptr) != 0 || record == nullptr) {
    return nullptr;
  }
  auto entry = std::make_unique<IeeeNameEntry>();
  entry->index = index;
  entry->record = ieee_letter_record(writer, letter, index);
  if (entry->record == nullptr) return nullptr;
  entry->symbol = symbol;
  entry->section = record->section.object_id != 0 ? ieee_find_cached_record(writer, record->section) : nullptr;
  entry->record->reference = record->slot.index;
  if (record->slot.index != 0) writer->by_reference.emplace(record->slot.index, entry->record);
  IeeeNameEntry* raw = entry.get();
  writer->names_by_symbol[symbol.object_id] = raw;
  size_t slot = index - IEEE_FIRST_NAME_INDEX;
  if (slot == writer->names.size()) writer->names.push_back(std::move(entry));
  else writer->names[slot] = std::move(entry);
  writer->next_name_index = std::max(writer->next_name_index, index + 1);
  return raw;
}

IeeeWriter* ieee_writer_alloc() { return new (std::nothrow) IeeeWriter{}; }

IeeeWriter* ieee_writer_new(FILE* handle, const char* name, uint32_t file_id) {
  IeeeWriter* writer = ieee_writer_alloc();
  if (writer == nullptr) return nullptr;
  writer->handle = handle;
  writer->module_name = ieee_buf_from_string(name != nullptr ? name : "");
  writer->object_version = 12;
  writer->file_id = file_id;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, nullptr) == 0 && file != nullptr) {
    const char* version = nullptr;
    if (file->version_string.object_id > 0 &&
        ios_string_get_text(file->version_string, &version, nullptr) == 0 && version != nullptr) {
      if (std::strcmp(version, "1.1") == 0) writer->object_version = 11;
    }
    writer->expression_context = file->expr_context;
  }
  ieee_process_state().current_writer = writer;
  writer->current_part = IEEE_PART_HEAD;
  for (uint32_t n = 0; n < IEEE_PART_COUNT; ++n) writer->parts[n] = IeeePartSlot{n, 0};
  writer->scratch = ieee_record_scratch_alloc();
  writer->block_flag = 1;
  writer->last_block_end = -1;
  return writer;
}

void ieee_writer_free(IeeeWriter* writer) {
  if (writer == nullptr) return;
  ieee_stream_close(&writer->stream);
  ieee_stream_close(&writer->trial);
  release_writer_contents(writer);
  if (ieee_process_state().current_writer == writer) ieee_process_state().current_writer = nullptr;
  delete writer;
}

int ieee_write_module(const char* name, FILE* handle, uint32_t file_id, uint32_t* error) {
  *error = 0;
  IeeeWriter* writer = ieee_writer_new(handle, name, file_id);
  if (writer == nullptr || writer->scratch == nullptr) {
    ieee_writer_free(writer);
    *error = 5;
    return 1;
  }
  ieee_prepare_module(writer);
  writer->current_part = IEEE_PART_HEAD;
  writer->parts[8].offset = 0;
  int result = emit(writer, IEEE_MB, nullptr, error);
  if (result == 0) result = emit(writer, IEEE_AD, nullptr, error);
  for (uint32_t n = 0; n < 8 && result == 0; ++n) result = emit_variable(writer, IEEE_AS, LETTER_W, n, error);
  using Part = int (*)(IeeeWriter*, uint32_t*);
  const Part parts[] = {ieee_write_part0, ieee_write_part1, ieee_write_part2, ieee_write_part3,
                        ieee_write_debug_part, ieee_write_part5, ieee_write_part6};
  for (uint32_t n = 0; n < 7 && result == 0; ++n) result = parts[n](writer, error);
  if (result == 0) {
    start_part(writer, IEEE_PART_END, error);
    writer->parts[IEEE_PART_END].offset = slot_position(writer->stream);
    result = emit(writer, IEEE_ME, nullptr, error);
  }
  writer->current_part = IEEE_PART_HEAD;
  if (ieee_stream_close(&writer->stream) == 0 && result == 0) {
    *error = 2;
    result = 1;
  }
  if (result == 0 && writer->output_off == 0) {
    for (uint32_t n = 0; n < 8 && result == 0; ++n) {
      result = emit_variable(writer, IEEE_AS, LETTER_W, n, error);
    }
    if (result == 0 && std::fflush(handle) != 0) {
      *error = 2;
      result = 1;
    }
  }
  if (result != 0 && *error == 0) *error = 5;
  ieee_writer_free(writer);
  if (result != 0) return 1;
  *error = 0;
  return 0;
}

int ieee_emit_record(IeeeWriter* writer, uint32_t type, const void* source, IeeeFillCallback fill,
                     uint32_t* error) {
  if (writer == nullptr || writer->output_off != 0) return 0;
  bool saved = writer->current != nullptr;
  IeeeRecord outer{};
  IeeeLetterRecord* outer_cache = writer->letter_cache;
  if (saved) outer = *writer->scratch;
  auto restore = [&]() {
    if (saved) {
      *writer->scratch = outer;
      writer->current = writer->scratch;
      writer->letter_cache = outer_cache;
    } else {
      writer->current = nullptr;
    }
  };
  if (saved) std::memset(static_cast<void*>(writer->scratch), 0, sizeof(IeeeRecord));
  writer->current = ieee_record_init(writer->scratch, type);
  if (writer->current == nullptr) {
    restore();
    return 0;
  }
  if (source != nullptr) {
    switch (type) {
      case IEEE_AS:
      case IEEE_NN:
      case IEEE_AT: {
        const auto* variable = static_cast<const IeeeVariable*>(source);
        ieee_letter_record(writer, variable->letter, variable->index);
        break;
      }
      case IEEE_CO:
        writer->current->body->co.number =
            static_cast<uint64_t>(static_cast<int64_t>(*static_cast<const int32_t*>(source)));
        break;
      case IEEE_BB:
        // A deeper nesting than the stack holds is refused rather than overrun.
        if (writer->block_depth >= IEEE_BLOCK_DEPTH) {
          ieee_record_clear(writer->scratch);
          restore();
          *error = 5;
          return 1;
        }
        writer->block_stack[writer->block_depth++] = ieee_stream_position(writer->stream);
        break;
      default:
        break;
    }
  }
  if (type == IEEE_BE && source != nullptr && writer->block_depth == 0) {
    ieee_record_clear(writer->scratch);
    restore();
    *error = 5;
    return 1;
  }
  writer->skip = 0;
  if (fill == nullptr) {
    *error = 1;
    ieee_record_clear(writer->scratch);
    restore();
    return 1;
  }
  int result = static_cast<int>(fill(writer, error));
  if (result != 0) {
    ieee_record_clear(writer->scratch);
    restore();
    return result;
  }
  if (writer->stream != nullptr && writer->skip != 1) {
    // A record that cannot be written whole is refused before its first byte goes
    // out, so that a refused record leaves nothing behind in the module.
    bool writing = writer->stream->mode != 0;
    if (writing && writer->trial == nullptr) writer->trial = ieee_stream_open_discard();
    if ((writing && ieee_record_writable(writer->current, writer->trial) == 0) ||
        ieee_record_transfer(writer->current, writer->stream) == 0) {
      result = 1;
      *error = 2;
    }
  }
  ieee_record_clear(writer->scratch);
  if (type == IEEE_BE && source != nullptr) {
    --writer->block_depth;
    writer->last_block_end = ieee_stream_position(writer->stream);
    int64_t start = writer->block_stack[writer->block_depth];
    writer->block_table.push_back(static_cast<uint32_t>(start));
    writer->block_table.push_back(static_cast<uint32_t>(writer->last_block_end - start));
  }
  restore();
  return result;
}

IeeeLetterRecord* ieee_letter_record(IeeeWriter* writer, uint32_t letter, uint64_t index) {
  if (writer == nullptr) return nullptr;
  IeeeLetterRecord* cache = writer->letter_cache;
  if (cache != nullptr && cache->letter == letter && cache->index == index) return cache;
  uint64_t key = letter_key(letter, index);
  auto found = writer->letter_tables.find(key);
  if (found != writer->letter_tables.end()) return writer->letter_cache = found->second;
  auto record = std::make_unique<IeeeLetterRecord>();
  record->letter = letter;
  record->index = index;
  ios_value_init(&record->value);
  IeeeLetterRecord* raw = record.get();
  writer->letter_records.push_back(std::move(record));
  writer->letter_tables.emplace(key, raw);
  return writer->letter_cache = raw;
}

void ieee_prepare_module(IeeeWriter* writer) {
  writer->stream = ieee_stream_open_write(writer->handle);
  if (writer->stream == nullptr) writer->output_off = 1;
  writer->next_section_index = 1;
  writer->next_name_index = IEEE_FIRST_NAME_INDEX;
  writer->second_name_counter = IEEE_FIRST_NAME_INDEX;
  writer->next_type_index = 257;
  IosFile* file = nullptr;
  if (ios_get_file(writer->file_id, &file, nullptr) != 0 || file == nullptr) return;
  writer->object_kind = file->kind_word;
  if (file->debug_root != nullptr) {
    // The debug part reads the debug root's modules and its first type table.
    IosDebugRoot* root = file->debug_root;
    writer->debug_root_file = root->file_id;
    writer->debug_root_id = root->root_id;
    writer->module_count = root->modules.table != nullptr ? root->modules.table->highest_id : 0;
    auto* first = root->typetables.table != nullptr
                      ? static_cast<IosTypeTable*>(idtab_get(root->typetables.table, 0))
                      : nullptr;
    if (first != nullptr) {
      writer->first_type_table = first->handle.record_id;
      writer->global_types = first->types != nullptr && first->types->highest_id > 0 ? 1 : 0;
    }
    ieee_prepare_types(writer);
  }
  uint32_t cursor = 0;
  IosHandle section{0, 0};
  // The walk ends with a handle of section id 0; deleted sections are passed over.
  while (ios_section_next(writer->file_id, &cursor, &section, nullptr) == 0 && section.object_id != 0) {
    IosSection* live = nullptr;
    if (ios_get_section(section, &live, nullptr) != 0 || live == nullptr) continue;
    uint32_t type = 0;
    if (ios_section_get_type(section, &type, nullptr) == 0 && type == 2 && writer->object_kind != 5) continue;
    if (ieee_new_section_entry(writer, writer->next_section_index, section) != nullptr) ++writer->next_section_index;
  }
  // Roots of the resolved call graph get the O variables that carry their calls.
  uint32_t roots = 0;
  if (writer->object_kind != 4 && writer->object_kind != 5 &&
      ios_callgraph_count(writer->file_id, &roots, nullptr) == 0) {
    for (uint32_t i = 0; i < roots; ++i) {
      IosCallGraphNode* node = nullptr;
      if (ios_callgraph_get_entry(writer->file_id, i, &node, nullptr) != 0 || node == nullptr) continue;
      auto entry = std::make_unique<IeeeContextEntry>();
      entry->index = static_cast<uint32_t>(writer->contexts.size());
      entry->record = ieee_letter_record(writer, LETTER_O, entry->index);
      entry->node = node->key;
      writer->contexts.push_back(std::move(entry));
    }
  }
  IosHandle global{0, 0};
  if (ios_scope_get_global_handle(writer->file_id, &global, nullptr) == 0) add_scope_names(writer, global, true);
  uint32_t scopes = 0;
  if (ios_scope_list_count(writer->file_id, &scopes, nullptr) == 0) {
    for (uint32_t i = 0; i < scopes; ++i) {
      IosHandle scope{0, 0};
      if (ios_scope_list_get(i, writer->file_id, &scope, nullptr) == 0) add_scope_names(writer, scope, false);
    }
  }
}

int ieee_write_part0(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 0, error);
  writer->parts[0].offset = slot_position(writer->stream);
  int result = emit_comment(writer, 37, error);
  if (result == 0) result = emit_comment(writer, 38, error);
  if (result == 0) result = emit(writer, IEEE_DT, nullptr, error);
  return result;
}

int ieee_write_part1(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 1, error);
  writer->parts[1].offset = slot_position(writer->stream);
  int result = 0;
  for (int32_t number : {51, 53, 54}) {
    if (result == 0) result = emit_comment(writer, number, error);
  }
  IosFile* file = nullptr;
  if (result == 0 && ios_get_file(writer->file_id, &file, nullptr) == 0 && file != nullptr &&
      file->misrac_text != nullptr) {
    result = emit_comment(writer, 41, error);
  }
  return result;
}

int ieee_write_part2(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 2, error);
  if (writer->sections.empty()) return 0;
  writer->parts[2].offset = slot_position(writer->stream);
  int result = 0;
  for (auto& entry : writer->sections) {
    writer->current_section = entry.get();
    result = emit(writer, IEEE_ST, nullptr, error);
    if (result == 0 && entry->mau_bits != writer->bits_per_mau) result = emit(writer, IEEE_FB, nullptr, error);
    // The store keeps no page size beside a section's alignment (its attribute word
    // holds type and class bits, not a size), so SA carries the alignment alone, and
    // only when there is one: SA without an alignment is an incomplete record.
    IosSection* section = nullptr;
    if (result == 0 && ios_get_section(entry->section, &section, nullptr) == 0 && section != nullptr &&
        section->alignment != 0) {
      result = emit(writer, IEEE_SA, nullptr, error);
    }
    uint32_t size = 0;
    if (result == 0 && section_size(entry.get(), &size)) {
      result = emit_variable(writer, IEEE_AS, LETTER_S, entry->index, error);
    }
    ExprNode* address = nullptr;
    if (result == 0 && ios_section_get_address_expr(entry->section, &address, nullptr) == 0 &&
        address != nullptr) {
      result = emit_variable(writer, IEEE_AS, LETTER_L, entry->index, error);
    }
    if (result != 0) return result;
  }
  for (auto& context : writer->contexts) {
    writer->current_context = context.get();
    writer->call_index = context->index;
    result = emit_variable(writer, IEEE_AS, LETTER_O, context->index, error);
    if (result != 0) return result;
  }
  return result;
}

int ieee_write_part3(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 3, error);
  if (writer->sections.empty() || writer->names.empty()) return 0;
  writer->parts[3].offset = slot_position(writer->stream);
  int result = 0;
  for (uint32_t index = IEEE_FIRST_NAME_INDEX; index < writer->next_name_index && result == 0; ++index) {
    IeeeNameEntry* entry = ieee_find_name_entry(writer, index);
    if (entry == nullptr) continue;
    writer->letter_cache = entry->record;
    writer->current_section = entry->section;
    uint32_t letter = entry->record->letter;
    uint32_t weak = 0;
    ios_symbol_get_weak(entry->symbol, &weak, nullptr);
    uint32_t name_type = letter == LETTER_X ? IEEE_NX : letter == LETTER_I ? IEEE_NI : IEEE_NN;
    result = name_type == IEEE_NN ? emit_variable(writer, IEEE_NN, letter, index, error)
                                  : emit(writer, name_type, nullptr, error);
    if (result == 0) result = emit_variable(writer, IEEE_AT, letter, index, error);
    if (result != 0) break;
    if (letter == LETTER_X) {
      if (weak != 0) result = emit(writer, IEEE_WX, nullptr, error);
      continue;
    }
    if (letter == LETTER_I && weak != 0) result = emit(writer, IEEE_FC, nullptr, error);
    if (result == 0) result = emit_variable(writer, IEEE_AS, letter, index, error);
  }
  return result;
}

namespace {

// The fields of the image that the data part must load as expressions, by offset.
std::vector<IeeeRelocationPoint> relocation_points(IeeeSectionEntry* entry) {
  std::vector<IeeeRelocationPoint> points;
  IosHandle image_handle{0, 0};
  IosImage* image = nullptr;
  if (ios_section_get_image(entry->section, &image_handle, nullptr) != 0 ||
      ios_get_image(image_handle, &image, nullptr) != 0 || image == nullptr) {
    return points;
  }
  for (uint32_t i = 0; i < image->relocations.count; ++i) {
    const auto* reloc = static_cast<const IosRelocEntry*>(ios_array_at(&image->relocations, sizeof(IosRelocEntry), i));
    points.push_back({reloc->offset, reloc->units, reloc->expression});
  }
  for (uint32_t i = 0; i < image->expressions.count; ++i) {
    const auto* field = static_cast<const IosExprEntry*>(ios_array_at(&image->expressions, sizeof(IosExprEntry), i));
    points.push_back({field->offset, field->units, field->expression});
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const IeeeRelocationPoint& a, const IeeeRelocationPoint& b) { return a.offset < b.offset; });
  return points;
}

// Data runs of the image: its plain ranges, else one run over the whole section.
std::vector<IosRange> data_runs(IeeeSectionEntry* entry, uint32_t size) {
  std::vector<IosRange> runs;
  IosHandle image_handle{0, 0};
  IosImage* image = nullptr;
  if (ios_section_get_image(entry->section, &image_handle, nullptr) == 0 &&
      ios_get_image(image_handle, &image, nullptr) == 0 && image != nullptr) {
    for (uint32_t i = 0; i < image->plain_ranges.count; ++i) {
      runs.push_back(*static_cast<const IosRange*>(ios_array_at(&image->plain_ranges, sizeof(IosRange), i)));
    }
  }
  if (runs.empty()) runs.push_back(IosRange{0, size, size});
  std::stable_sort(runs.begin(), runs.end(), [](const IosRange& a, const IosRange& b) { return a.start < b.start; });
  return runs;
}

int write_section_data(IeeeWriter* writer, IeeeSectionEntry* entry, uint32_t size, uint32_t* error) {
  uint32_t bytes_per_mau = (entry->mau_bits + 7) / 8;
  uint32_t limit = bytes_per_mau == 0 ? 0 : 127 / bytes_per_mau;
  if (limit == 0) {
    *error = 5;
    return 1;
  }
  constexpr uint64_t NONE = ~uint64_t{0};
  std::vector<IeeeRelocationPoint> points = relocation_points(entry);
  std::vector<IosRange> runs = data_runs(entry, size);
  size_t point = 0;
  size_t run = 0;
  int result = 0;
  // Relocation points are loaded wherever they lie, in a run, in a gap between runs or
  // after the last one; plain data only inside the runs. Every round covers at least
  // one unit or moves the load address forward, so the walk ends whatever the tables
  // hold.
  while (entry->load_address < size && result == 0) {
    uint64_t address = entry->load_address;
    while (point < points.size() && (points[point].offset < address || points[point].units == 0)) ++point;
    while (run < runs.size() && uint64_t{runs[run].start} + runs[run].count <= address) ++run;
    uint64_t next_point = point < points.size() ? points[point].offset : NONE;
    if (next_point == address) {
      writer->data_mode = 3;
      writer->next_relocation = points[point].expression;
      writer->next_count = points[point].units;
      result = emit(writer, IEEE_LR, nullptr, error);
      ++point;
      // With output off nothing is filled and nothing advances.
      if (entry->load_address == address) break;
      continue;
    }
    if (run == runs.size() || runs[run].start > address) {
      // Nothing to load here: on to the next run or relocation point, if any lies
      // inside the section.
      uint64_t target = std::min<uint64_t>(run < runs.size() ? runs[run].start : NONE, next_point);
      if (target >= size) break;
      result = ieee_set_load_address(writer, entry, target, error);
      if (entry->load_address == address) break;
      continue;
    }
    uint64_t end = uint64_t{runs[run].start} + runs[run].count;
    end = std::min<uint64_t>({end, size, next_point});
    uint64_t count = std::min<uint64_t>(end - address, limit);
    writer->data_mode = 1;
    writer->next_count = static_cast<uint32_t>(count);
    result = emit(writer, IEEE_LD, nullptr, error);
    if (entry->load_address == address) break;
  }
  writer->data_mode = 0;
  return result;
}

}  // namespace

int ieee_write_part5(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 5, error);
  writer->parts[5].offset = 0;
  bool first = true;
  int result = 0;
  for (auto& owned : writer->sections) {
    IeeeSectionEntry* entry = owned.get();
    writer->current_section = entry;
    uint32_t size = 0;
    uint32_t has_image = 0;
    if (!section_size(entry, &size) || size == 0) continue;
    if (ios_section_has_image(entry->section, &has_image, nullptr) != 0 || has_image == 0) continue;
    if (first) writer->parts[5].offset = slot_position(writer->stream);
    first = false;
    result = emit(writer, IEEE_SB, nullptr, error);
    entry->load_address = 0;
    if (result == 0) result = emit_variable(writer, IEEE_AS, LETTER_P, entry->index, error);
    if (result == 0) result = write_section_data(writer, entry, size, error);
    if (result != 0) return result;
  }
  if (writer->object_kind == 4) {
    for (auto& entry : writer->sections) {
      ExprNode* address = nullptr;
      if (ios_section_get_address_expr(entry->section, &address, nullptr) == 0 && address != nullptr) continue;
      writer->current_section = entry.get();
      result = emit_variable(writer, IEEE_AS, LETTER_R, entry->index, error);
      if (result != 0) return result;
    }
  }
  return result;
}

int ieee_write_part6(IeeeWriter* writer, uint32_t* error) {
  start_part(writer, 6, error);
  IosFile* file = nullptr;
  if (writer->sections.empty() || ios_get_file(writer->file_id, &file, nullptr) != 0 || file == nullptr ||
      file->entry_expr == nullptr) {
    return 0;
  }
  writer->parts[6].offset = slot_position(writer->stream);
  return emit_variable(writer, IEEE_AS, LETTER_G, 1, error);
}

int64_t ieee_stream_position(const IeeeStream* stream) {
  return stream == nullptr ? -1 : static_cast<int64_t>(stream->position);
}

int ieee_set_load_address(IeeeWriter* writer, IeeeSectionEntry* entry, uint64_t address,
                          uint32_t* error) {
  if (writer == nullptr || entry == nullptr || address == entry->load_address) return 0;
  IeeeLetterRecord* record = ieee_letter_record(writer, LETTER_P, entry->index);
  if (record == nullptr) {
    *error = 5;
    return 1;
  }
  // The record carries the step from the current load address in bytes; the filler
  // writes it as P plus or minus that many units. The step in bytes must fit the
  // signed 64-bit number that carries it and that the number coder writes.
  bool forward = address > entry->load_address;
  uint64_t units = forward ? address - entry->load_address : entry->load_address - address;
  uint64_t bytes_per_mau = std::max<uint64_t>((uint64_t{entry->mau_bits} + 7) / 8, 1);
  if (units > static_cast<uint64_t>(INT64_MAX) / bytes_per_mau) {
    *error = 1;
    return 1;
  }
  auto bytes = static_cast<int64_t>(units * bytes_per_mau);
  ios_value_clear(&record->value);
  ieee_value_set_number(&record->value, static_cast<uint64_t>(forward ? bytes : -bytes));
  IeeeSectionEntry* outer = writer->current_section;
  writer->current_section = entry;
  uint32_t mode = writer->data_mode;
  writer->data_mode = 0;
  writer->moving_load_address = 1;
  IeeeVariable variable{LETTER_P, entry->index};
  int result = ieee_emit_record(writer, IEEE_AS, &variable, ieee_fill_record, error);
  writer->moving_load_address = 0;
  writer->data_mode = mode;
  writer->current_section = outer;
  // A step that was not written leaves the entry where the module stands.
  if (result == 0) entry->load_address = address;
  return result;
}

IeeeSectionEntry* ieee_find_cached_record(IeeeWriter* writer, IosHandle section) {
  if (writer == nullptr) return nullptr;
  IeeeSectionEntry* cache = writer->current_section;
  if (cache != nullptr && cache->section.file_id == section.file_id &&
      cache->section.object_id == section.object_id) {
    return cache;
  }
  auto found = writer->sections_by_id.find(section.object_id);
  return found != writer->sections_by_id.end() ? found->second : nullptr;
}

IeeeNameEntry* ieee_find_cached_record_alt(IeeeWriter* writer, IosHandle symbol) {
  if (writer == nullptr) return nullptr;
  IeeeNameEntry* cache = writer->current_name;
  if (cache != nullptr && cache->symbol.object_id == symbol.object_id) return cache;
  auto found = writer->names_by_symbol.find(symbol.object_id);
  return found != writer->names_by_symbol.end() ? found->second : nullptr;
}

IeeeNameEntry* ieee_find_name_entry(IeeeWriter* writer, uint32_t index) {
  writer->current_name = nullptr;
  if (index < IEEE_FIRST_NAME_INDEX || index - IEEE_FIRST_NAME_INDEX >= writer->names.size()) return nullptr;
  // One index space serves X, I and N, so the entry at the index is the one.
  writer->current_name = writer->names[index - IEEE_FIRST_NAME_INDEX].get();
  return writer->current_name;
}

int ieee_part_compare(const IeeePartSlot& first, const IeeePartSlot& second) {
  // Symmetric in both rules, so that a sort sees one consistent order.
  if (first.part == second.part && (first.part == IEEE_PART_HEAD || first.part == IEEE_PART_END)) return 0;
  if (first.part == IEEE_PART_HEAD || second.part == IEEE_PART_END) return -1;
  if (first.part == IEEE_PART_END || second.part == IEEE_PART_HEAD) return 1;
  if (first.offset < second.offset) return -1;
  return first.offset > second.offset ? 1 : 0;
}

uint32_t ieee_decode_number(const uint8_t* bytes, size_t size, uint64_t* value) {
  *value = 0;
  if (size == 0) return 0;
  if (bytes[0] < 0x80) {
    *value = bytes[0];
    return 1;
  }
  if (bytes[0] == 0x80) return 1;
  uint32_t count = bytes[0] - 0x80u;
  if (count > 8 || size < 1 + size_t{count}) return 0;
  for (uint32_t i = 1; i <= count; ++i) *value = (*value << 8) | bytes[i];
  return 1 + count;
}
