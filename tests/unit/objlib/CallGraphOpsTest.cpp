// Reading and merging the call graph of a store file filled through the object
// writer's call records.
#include <gtest/gtest.h>

#include <vector>

#include "StoreFileFixture.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"

namespace {

constexpr uint32_t F = 10, G = 20, H = 30, K = 40;

struct Call {
  uint32_t caller, callee, index, value, count;
};

std::vector<int> events;
int noteEvent(int event) {
  events.push_back(event);
  return 0;
}

class CallGraphOps : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    events.clear();
    previousHook_ = mmi_set_hook(noteEvent);
  }
  void TearDown() override {
    mmi_set_hook(previousHook_);
    OneStoreFile::TearDown();
  }
  void record(const std::vector<Call>& calls) {
    for (const Call& c : calls) {
      ASSERT_EQ(ios_callgraph_record(file_, c.caller, c.callee, c.index, c.value, c.count, nullptr),
                0);
    }
  }
  uint32_t count(uint32_t caller, uint32_t callee) {
    uint32_t value = 0;
    EXPECT_EQ(ios_call_get_count(file_, callee, file_, caller, &value, nullptr), 0);
    return value;
  }
  uint32_t usage(uint32_t caller, uint32_t callee, uint32_t index) {
    uint32_t value = 0;
    EXPECT_EQ(ios_call_get_usage(file_, callee, file_, caller, index, &value, nullptr), 0);
    return value;
  }
  IosHandle key(uint32_t symbol) { return IosHandle{file_, symbol}; }

  IosHookFunction previousHook_ = nullptr;
};

TEST(StorageHandles, MakeHandleStoresBothWords) {
  struct Case {
    uint32_t file_id;
    uint32_t object_id;
  };
  const Case cases[] = {{0, 0}, {1, 2}, {2, 1}, {UINT32_MAX, 0}, {0, UINT32_MAX}};
  for (const Case& c : cases) {
    IosHandle made{77, 77};
    EXPECT_EQ(ios_make_handle(c.file_id, c.object_id, &made), 0);
    EXPECT_EQ(made.file_id, c.file_id);
    EXPECT_EQ(made.object_id, c.object_id);
  }
  EXPECT_EQ(ios_make_handle(1, 2, nullptr), 0);
}

TEST_F(CallGraphOps, MergingCombinesCallsToTheSameCallee) {
  record({{F, H, 0, 16, 1}, {F, H, 1, 3, 0}, {G, H, 0, 8, 1}, {G, H, 1, 9, 0}, {K, F, 0, 4, 1}});
  ASSERT_EQ(ios_callgraph_merge_nodes(file_, key(G), key(F), nullptr), 0);
  EXPECT_EQ(count(G, H), 2u);
  EXPECT_EQ(usage(G, H, 0), 16u);  // the larger of each word
  EXPECT_EQ(usage(G, H, 1), 9u);
  EXPECT_EQ(count(K, G), 1u);  // calls received move too
  uint32_t value = 0;
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_call_get_count(file_, H, file_, F, &value, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  EXPECT_EQ(ios_cgnode_get_kind(file_, F, &value, &error), 1);  // the source node is gone
  uint32_t kind = 0;
  EXPECT_EQ(ios_cgnode_get_kind(file_, G, &kind, nullptr), 0);
  EXPECT_EQ(kind, 3u);
  EXPECT_EQ(ios_cgnode_get_kind(file_, H, &kind, nullptr), 0);
  EXPECT_EQ(kind, 1u);
}

TEST_F(CallGraphOps, MergingIntoANewTargetOrFromNothing) {
  record({{F, H, 0, 5, 2}});
  // A missing source changes nothing, even with a missing target.
  EXPECT_EQ(ios_callgraph_merge_nodes(file_, key(K), key(99), nullptr), 0);
  uint32_t kind = 0;
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_cgnode_get_kind(file_, K, &kind, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ASSERT_EQ(ios_callgraph_merge_nodes(file_, key(K), key(F), nullptr), 0);
  EXPECT_EQ(count(K, H), 2u);
  // Keys that differ only in their file id name the same node.
  EXPECT_EQ(ios_callgraph_merge_nodes(file_, IosHandle{file_ + 5, G}, IosHandle{file_ + 7, K},
                                      nullptr),
            0);
  EXPECT_EQ(count(G, H), 2u);
}

TEST_F(CallGraphOps, MergingANodeIntoItselfIsRefused) {
  record({{F, H, 0, 5, 1}, {F, F, 0, 1, 1}});
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_callgraph_merge_nodes(file_, key(F), IosHandle{file_ + 1, F}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  EXPECT_EQ(events, std::vector<int>{1});
  EXPECT_EQ(count(F, H), 1u);
  EXPECT_EQ(count(F, F), 1u);
}

TEST_F(CallGraphOps, ReadsAndTheirFailures) {
  record({{F, H, 0, 12, 3}, {F, 0, 1, 77, 0}});
  ASSERT_EQ(ios_alias_add_record(file_, key(K), key(G), nullptr), 0);
  uint32_t value = 0;
  EXPECT_EQ(ios_callgraph_get_usage_count(file_, &value, nullptr), 0);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(ios_cgnode_get_usage(file_, F, 1, &value, nullptr), 0);
  EXPECT_EQ(value, 77u);
  EXPECT_EQ(count(F, H), 3u);
  EXPECT_EQ(usage(F, H, 0), 12u);
  IosHandle first{};
  IosHandle second{};
  EXPECT_EQ(ios_callgraph_get_pair(file_, 0, 0, &first, &second, nullptr), 0);
  EXPECT_EQ(first.object_id, G);
  EXPECT_EQ(second.object_id, K);
  EXPECT_EQ(ios_callgraph_count_pairs(file_, 0, &value, nullptr), 0);
  EXPECT_EQ(value, 1u);

  struct Case {
    const char* what;
    int (*call)(uint32_t file, IosErrorCode* error);
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"usage index n", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_cgnode_get_usage(f, F, 2, &v, e); }, 1, IOS_ERR_NO_STACK_USAGE},
      {"usage of a missing node", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_cgnode_get_usage(f, 99, 0, &v, e); }, 1, IOS_ERR_NO_PROPERTY},
      {"kind of a missing node", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_cgnode_get_kind(f, 99, &v, e); }, 1, IOS_ERR_NO_PROPERTY},
      {"reference without a table", [](uint32_t f, IosErrorCode* e) {
         IosHandle h; return ios_cgnode_get_reference(f, F, 0, &h, e); }, 1, IOS_ERR_NO_PROPERTY},
      {"count of a call never made", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_call_get_count(f, F, f, H, &v, e); }, 1, IOS_ERR_NO_PROPERTY},
      {"count from a missing caller", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_call_get_count(f, H, f, 99, &v, e); }, 1, IOS_ERR_NO_PROPERTY},
      {"call usage index n", [](uint32_t f, IosErrorCode* e) {
         uint32_t v; return ios_call_get_usage(f, H, f, F, 2, &v, e); }, 1, IOS_ERR_NO_STACK_USAGE},
      {"pair past the table", [](uint32_t f, IosErrorCode* e) {
         IosHandle a, b; return ios_callgraph_get_pair(f, 0, 1, &a, &b, e); }, -1, IOS_ERR_NO_MEMORY},
      {"missing file", [](uint32_t, IosErrorCode* e) {
         uint32_t v; return ios_cgnode_get_kind(4242, F, &v, e); }, 1, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = IOS_ERR_NO_MEMORY;
    EXPECT_EQ(c.call(file_, &error), c.result) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
  EXPECT_EQ(count(F, H), 3u);
}

TEST_F(CallGraphOps, AFileWithoutAGraphHasNone) {
  IosCallGraph* graph = reinterpret_cast<IosCallGraph*>(0x1);
  EXPECT_EQ(ios_file_get_callgraph(file_, &graph, nullptr), 0);
  EXPECT_EQ(graph, nullptr);
  uint32_t value = 5;
  EXPECT_EQ(ios_callgraph_count_pairs(file_, 0, &value, nullptr), 0);
  EXPECT_EQ(value, 0u);
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_callgraph_get_pair(file_, 0, 0, nullptr, nullptr, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_MEMORY);
  EXPECT_EQ(ios_callgraph_merge_nodes(file_, key(F), key(G), nullptr), 0);
  IosCallGraph* made = ios_callgraph_admin_new();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->nodes, nullptr);
  EXPECT_NE(made->calls, nullptr);
  EXPECT_EQ(made->calls->highest_id, 0u);
  ios_callgraph_delete(made);
}

}  // namespace
