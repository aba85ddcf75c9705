#include "objlib/elf_utilities.h"

#include <utility>

#include "objlib/exprlib.h"
#include "objlib/ios_idtable.h"

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
