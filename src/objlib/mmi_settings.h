// Set-up routines of the object library: the handler of broken trees, pools for a
// caller's own block sizes, and two small record stores, the library's clients.
#pragma once

#include <cstdint>

#include "util/avl.h"

// Stores the handler and its argument for the tree rotations; returns the handler.
AvlErrorHandler mmi_set_tree_error_handler(AvlErrorHandler handler, void* argument);

struct MmiPoolSize {
  int32_t block_size;  // negative: skipped
  uint32_t blocks_per_chunk;
  uint32_t second;
};
// Registers a pool for each listed size (rounded up to 4) that has none, as long as
// the standard pools are not set up yet; afterwards it registers nothing. Returns 0.
int mmi_register_pool_sizes(int16_t count, const MmiPoolSize* sizes);

// Stores the value as the record's fifteenth word; 0.
int mmi_record_set_word14(uint32_t* record, uint32_t value);
// Stores the value as the second word of the record *reference points to; returns
// reference.
uint32_t** mmi_record_set_ref_word1(uint32_t** reference, uint32_t value);
