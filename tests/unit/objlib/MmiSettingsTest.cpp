// The library's set-up routines: tree handler, pool sizes and record words.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "objlib/ios_pool.h"
#include "objlib/mmi_settings.h"

namespace {

int reportCode(int code, void* argument) {
  std::fprintf(stderr, "handler %d %s\n", code, static_cast<const char*>(argument));
  return 0;
}

char tag[] = "tag";

void rotateLeftWithHandler() {
  if (mmi_set_tree_error_handler(reportCode, tag) != reportCode) std::exit(3);
  AvlNode lonely{nullptr, nullptr, 1, nullptr};
  avl_rotate_left(&lonely);
}

void rotateRightWithoutHandler() {
  mmi_set_tree_error_handler(nullptr, nullptr);
  AvlNode lonely{nullptr, nullptr, 1, nullptr};
  avl_rotate_right(&lonely);
}

void registerSizesFirst() {
  pool_registry_clear();
  const MmiPoolSize sizes[] = {{10, 3, 0}, {12, 9, 0}, {-8, 5, 0}, {100, 2, 0}};
  bool ok = mmi_register_pool_sizes(4, sizes) == 0;
  BlockPool* twelve = pool_find(12);
  // Size 10 registered class 12 with 3 blocks a chunk; the second 12 found it.
  ok = ok && twelve != nullptr && twelve->chunk_size == 3 * twelve->block_size;
  const MmiPoolSize later[] = {{200, 4, 0}};
  ok = ok && mmi_register_pool_sizes(1, later) == 0;
  ok = ok && mmi_register_pool_sizes(0, nullptr) == 0;
  std::exit(ok ? 0 : 1);
}

TEST(MmiSettingsDeathTest, BrokenRotationCallsTheHandlerThenEnds) {
  EXPECT_EXIT(rotateLeftWithHandler(), ::testing::ExitedWithCode(1),
      "handler 1 tag\nIllegal left rotation: unexpected NULL\nNot supposed to pass exit\\(\\)");
}

TEST(MmiSettingsDeathTest, BrokenRotationWithoutHandlerPrintsOnlyItsMessage) {
  EXPECT_EXIT(rotateRightWithoutHandler(), ::testing::ExitedWithCode(1), "^Illegal right rotation: unexpected NULL\n$");
}

// The registry is process-wide: each scenario runs in a child process.
TEST(MmiSettingsDeathTest, PoolSizesDecideChunksOnlyBeforeTheStandardPools) {
  EXPECT_EXIT(registerSizesFirst(), ::testing::ExitedWithCode(0), "");
}

TEST(MmiSettings, RecordWordStores) {
  uint32_t record[16] = {};
  EXPECT_EQ(mmi_record_set_word14(record, 0xABCD), 0);
  EXPECT_EQ(record[14], 0xABCDu);
  EXPECT_EQ(record[13], 0u);
  EXPECT_EQ(record[15], 0u);
  uint32_t* reference = record;
  EXPECT_EQ(mmi_record_set_ref_word1(&reference, 77), &reference);
  EXPECT_EQ(record[1], 77u);
}

}  // namespace
