#include "objlib/elf_utilities.h"

#include <utility>

#include "objlib/elf_context.h"
#include "objlib/elf_symtab.h"
#include "objlib/exprlib.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_image.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr uint32_t kExchangeSortLimit = 15;

void exchangeSort(void** items, uint32_t count, ElfItemCompare compare) {
  for (uint32_t i = 0; i + 1 < count; ++i)
    for (uint32_t j = i + 1; j < count; ++j)
      if (compare(items[i], items[j]) > 0) std::swap(items[i], items[j]);
}

// Quicksort with the middle item as pivot; the recursion goes into the smaller side
// so its depth stays logarithmic whatever the input order.
void quickSort(void** items, uint32_t count, ElfItemCompare compare) {
  while (count >= kExchangeSortLimit) {
    std::swap(items[0], items[count / 2]);
    uint32_t last = 0;
    for (uint32_t i = 1; i < count; ++i)
      if (compare(items[i], items[0]) < 0) std::swap(items[++last], items[i]);
    std::swap(items[0], items[last]);
    uint32_t below = last, above = count - last - 1;
    if (below < above) {
      quickSort(items, below, compare);
      items += last + 1;
      count = above;
    } else {
      quickSort(items + last + 1, above, compare);
      count = below;
    }
  }
  exchangeSort(items, count, compare);
}

template <typename Record>
int takeRecord(std::vector<Record>& records, Record** record, uint32_t* index) {
  records.push_back(Record{});
  if (record != nullptr) *record = &records.back();
  if (index != nullptr) *index = static_cast<uint32_t>(records.size() - 1);
  return 0;
}

// The section by file and section id; lookups follow redirections.
int sectionOf(uint32_t file_id, uint32_t section_id, IosSection** record, IosErrorCode* error) {
  return ios_get_section(IosHandle{file_id, section_id}, record, error) != 0 ? 1 : 0;
}

// A section word whose given value means unset: -1 without a code.
int sectionWord(uint32_t file_id, uint32_t section_id, uint32_t IosSection::*field,
                uint32_t unset, uint32_t* word, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (sectionOf(file_id, section_id, &record, error) != 0) return 1;
  if (record->*field == unset) return -1;
  if (word != nullptr) *word = record->*field;
  return 0;
}

}  // namespace

void elf_table_sort(IdTable* table, ElfItemCompare compare) {
  if (table == nullptr || compare == nullptr || table->highest_id > table->capacity) return;
  quickSort(table->slots, table->highest_id, compare);
}

int expr_value_to_u64(const ExprNode* node, uint64_t* value) {
  if (node == nullptr) return 1;
  const unsigned char* bytes = expr_value_bytes(node);
  uint64_t result = 0;
  uint32_t width = node->context->int_width;
  for (uint32_t index = 0; index < 8 && index < width; ++index)
    result |= uint64_t{bytes[index]} << (8 * index);
  if (value != nullptr) *value = result;
  for (uint32_t index = 8; index < width; ++index) {
    if (bytes[index] != 0) {
      node->context->error = 2;
      return 1;
    }
  }
  return 0;
}

int elf_create_string_tables(ElfContext* context, ObjLibErrorClass* error) {
  if (context == nullptr) return elf_fail(error, OBJLIB_ERR_INTERNAL);
  elf_new_string_table(context, &context->section_names);
  context->e_shstrndx = static_cast<uint16_t>(context->section_names.header_index);
  elf_new_string_table(context, &context->symbol_names);
  return 0;
}

int elf_next_section_record(ElfContext* context, ElfSectionHeader** record, uint32_t* index) {
  if (context == nullptr) return 1;
  return takeRecord(context->section_headers, record, index);
}

int elf_next_program_record(ElfContext* context, ElfProgramHeader** record, uint32_t* index) {
  if (context == nullptr) return 1;
  return takeRecord(context->program_headers, record, index);
}

int elf_drop_last_program_record(ElfContext* context, const ElfProgramHeader* record,
                                 ObjLibErrorClass* error) {
  if (context == nullptr || context->program_headers.empty() ||
      &context->program_headers.back() != record)
    return elf_fail(error, OBJLIB_ERR_INTERNAL);
  context->program_headers.pop_back();
  return 0;
}

uint32_t elf_record_set_word3(uint32_t* record, uint32_t value) {
  if (record != nullptr) record[3] = value;
  return value;
}

void elf_list_free(IosCountedList* list) {
  if (list == nullptr) return;
  IosListNode* node = list->head;
  while (node != nullptr) {
    IosListNode* next = node->next;
    pool_free(node, sizeof(IosListNode));
    node = next;
  }
  pool_free(list, sizeof(IosCountedList));
}

int elf_section_image_entry(uint32_t file_id, uint32_t section_id, uint32_t table,
                            uint32_t index, uint32_t* offset, uint32_t* units,
                            ExprNode** expression, uint32_t* type, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (sectionOf(file_id, section_id, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  IosRelocEntry entry{};
  if (table == ELF_IMAGE_RELOCATIONS) {
    if (ios_image_get_entry(record->image, index, &entry, error) != 0) return 1;
  } else if (table == ELF_IMAGE_EXPRESSIONS) {
    IosExprEntry found{};
    if (ios_image_get_entry_a(record->image, index, &found, error) != 0) return 1;
    entry.offset = found.offset;
    entry.units = found.units;
    entry.expression = found.expression;
  } else {
    return ios_fail(error, IOS_ERR_INTERNAL);
  }
  if (offset != nullptr) *offset = entry.offset;
  if (units != nullptr) *units = entry.units;
  if (expression != nullptr) *expression = entry.expression;
  if (type != nullptr) *type = entry.type;
  return 0;
}

int elf_section_image_count(uint32_t file_id, uint32_t section_id, uint32_t* count,
                            IosErrorCode* error) {
  return ios_section_image_count_b(IosHandle{file_id, section_id}, count, error);
}

int elf_section_get_number(uint32_t file_id, uint32_t section_id, uint32_t* number,
                           IosErrorCode* error) {
  return sectionWord(file_id, section_id, &IosSection::number, IOS_NUMBER_UNSET, number, error);
}

int elf_section_get_info_word(uint32_t file_id, uint32_t section_id, uint32_t* word,
                              IosErrorCode* error) {
  return sectionWord(file_id, section_id, &IosSection::alignment, 0, word, error);
}

int elf_section_get_attr_word(uint32_t file_id, uint32_t section_id, uint32_t* word,
                              IosErrorCode* error) {
  return sectionWord(file_id, section_id, &IosSection::attributes, 0, word, error);
}

int elf_section_get_marker(uint32_t file_id, uint32_t section_id, uint32_t* marker,
                           IosErrorCode* error) {
  return ios_section_get_marker_flag(IosHandle{file_id, section_id}, marker, error);
}

int elf_file_get_misrac(uint32_t file_id, const char** text, IosErrorCode* error) {
  return ios_file_get_misrac_text(file_id, text, error);
}

int elf_symbol_by_index(IosHandle* symbol, IosErrorCode* error, uint32_t file_id,
                        uint32_t index) {
  IosHandle entered{};
  IosErrorCode code = IOS_ERR_INTERNAL;
  if (ios_symbol_find_by_slot(file_id, index, &entered, &code) != 0) {
    if (code != IOS_ERR_NO_EXPRESSION_SYMBOL) return ios_fail(error, code);
    return ios_unset(error);
  }
  IosSymbol* record = nullptr;
  if (ios_get_symbol(entered, &record, nullptr) != 0) return ios_unset(error);
  if (symbol != nullptr) *symbol = IosHandle{record->file_id, record->symbol_id};
  return 0;
}
