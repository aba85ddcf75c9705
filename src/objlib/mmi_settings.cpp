#include "objlib/mmi_settings.h"

#include "objlib/ios_pool.h"

AvlErrorHandler mmi_set_tree_error_handler(AvlErrorHandler handler, void* argument) {
  avl_error_handling() = AvlErrorHandling{handler, argument};
  return handler;
}

int mmi_register_pool_sizes(int16_t count, const MmiPoolSize* sizes) {
  if (count < 1 || sizes == nullptr) return 0;
  // Read once: the standard set-up registers only the classes still without a pool,
  // so registering first is what lets a caller choose the chunk sizes.
  bool ready = pool_standard_ready();
  for (int16_t i = 0; i < count; ++i) {
    if (ready || sizes[i].block_size < 0) continue;
    size_t rounded = (static_cast<size_t>(sizes[i].block_size) + 3) / 4 * 4;
    pool_register_with(rounded, sizes[i].blocks_per_chunk, sizes[i].second);
  }
  return 0;
}

int mmi_record_set_word14(uint32_t* record, uint32_t value) {
  if (record != nullptr) record[14] = value;
  return 0;
}

uint32_t** mmi_record_set_ref_word1(uint32_t** reference, uint32_t value) {
  if (reference != nullptr && *reference != nullptr) (*reference)[1] = value;
  return reference;
}
