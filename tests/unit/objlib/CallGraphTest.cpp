#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_callgraph.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

struct Record {
  uint32_t caller, callee, index, value, count;
};
struct Alias {
  uint32_t alias, target;
};
struct Edge {
  uint32_t caller, callee, value0, value1, count;
  bool operator==(const Edge&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Edge& edge) {
  return out << "{" << edge.caller << "->" << edge.callee << " " << edge.value0 << "," << edge.value1
             << " x" << edge.count << "}";
}

using CallGraph = ElfStore;

void collectNode(void* data, void* context) {
  static_cast<std::vector<IosCallGraphNode*>*>(context)->push_back(static_cast<IosCallGraphNode*>(data));
}

void countItem(void* /*data*/, void* context) { ++*static_cast<uint32_t*>(context); }

// Every edge of the graph from the callee lists, checking on the way that each
// node's counts agree with its trees.
std::vector<Edge> edgesOf(uint32_t file) {
  IosCallGraph* graph = nullptr;
  EXPECT_EQ(ios_file_make_callgraph(file, &graph, nullptr), 0);
  std::vector<IosCallGraphNode*> nodes;
  ios_tree_walk(graph->nodes, collectNode, &nodes);
  std::vector<Edge> edges;
  for (IosCallGraphNode* node : nodes) {
    uint32_t callees = 0;
    EXPECT_EQ(ios_callgraph_get_node_value(file, node->key, &callees, nullptr), 0);
    EXPECT_EQ(callees, node->callee_list.count);
    uint32_t callers = 0;
    ios_tree_walk(node->callers, countItem, &callers);
    EXPECT_EQ(callers, node->caller_count) << "node " << node->key.object_id;
    for (uint32_t index = 0; index < node->callee_list.count; ++index) {
      auto* edge = *static_cast<IosCallEdge**>(ios_array_at(&node->callee_list, sizeof(IosCallEdge*), index));
      EXPECT_EQ(edge->caller, node);
      edges.push_back({edge->caller->key.object_id, edge->callee->key.object_id, edge->values[0],
                       edge->values[1], edge->count});
    }
  }
  return edges;
}

std::vector<uint32_t> resolvedOf(uint32_t file) {
  uint32_t count = 0;
  EXPECT_EQ(ios_callgraph_count(file, &count, nullptr), 0);
  std::vector<uint32_t> ids;
  for (uint32_t index = 0; index < count; ++index) {
    IosCallGraphNode* node = nullptr;
    EXPECT_EQ(ios_callgraph_get_entry(file, index, &node, nullptr), 0);
    ids.push_back(node->key.object_id);
  }
  return ids;
}

TEST_F(CallGraph, ResolutionMergesAliasesAndListsRoots) {
  struct Case {
    const char* name;
    std::vector<Record> records;
    std::vector<Alias> aliases;
    std::vector<Edge> edges;       // after resolution, by caller then callee id
    std::vector<uint32_t> resolved;
    std::vector<uint32_t> gone;    // symbols whose node the merge removed
  };
  const Case cases[] = {
      {"without aliases every edge stays and the roots are the uncalled nodes",
       {{1, 2, 0, 16, 1}, {3, 2, 0, 8, 1}, {2, 4, 0, 4, 1}},
       {},
       {{1, 2, 16, 0, 1}, {2, 4, 4, 0, 1}, {3, 2, 8, 0, 1}},
       {1, 3},
       {}},
      {"an edge keeps the larger value per word and adds the counts",
       {{1, 2, 0, 16, 1}, {1, 2, 0, 8, 2}, {1, 2, 1, 5, 1}, {1, 2, 1, 9, 1}},
       {},
       {{1, 2, 16, 9, 5}},
       {1},
       {}},
      {"calls recorded against an alias move to its target",
       {{1, 5, 0, 8, 1}, {5, 3, 0, 4, 1}},
       {{5, 2}},
       {{1, 2, 8, 0, 1}, {2, 3, 4, 0, 1}},
       {1},
       {5}},
      // Adding the merged count once per value word would give 5 here.
      {"two edges that meet in the target merge with the larger values and the count added once",
       {{1, 2, 0, 16, 2}, {1, 2, 1, 3, 0}, {1, 5, 0, 8, 3}, {1, 5, 1, 7, 0}},
       {{5, 2}},
       {{1, 2, 16, 7, 5}},
       {1},
       {5}},
      {"outgoing edges of alias and target that meet merge too",
       {{2, 3, 0, 4, 1}, {5, 3, 0, 6, 1}},
       {{5, 2}},
       {{2, 3, 6, 0, 2}},
       {2},
       {5}},
      {"an alias that calls itself becomes a self call of the target",
       {{5, 5, 0, 1, 1}},
       {{5, 2}},
       {{2, 2, 1, 0, 1}},
       {2},
       {5}},
      {"an alias record without a node changes nothing",
       {{1, 2, 0, 1, 1}},
       {{7, 2}},
       {{1, 2, 1, 0, 1}},
       {1},
       {7}},
      {"functions that only call each other list the highest id once",
       {{3, 4, 0, 1, 1}, {4, 3, 0, 1, 1}, {1, 2, 0, 1, 1}},
       {},
       {{1, 2, 1, 0, 1}, {3, 4, 1, 0, 1}, {4, 3, 1, 0, 1}},
       {1, 4},
       {}},
      {"a cycle reachable from a root adds no entry",
       {{1, 2, 0, 1, 1}, {2, 3, 0, 1, 1}, {3, 2, 0, 1, 1}},
       {},
       {{1, 2, 1, 0, 1}, {2, 3, 1, 0, 1}, {3, 2, 1, 0, 1}},
       {1},
       {}},
      {"a function's own values make a node without edges",
       {{6, 0, 0, 40, 1}, {6, 0, 0, 24, 1}},
       {},
       {},
       {6},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    for (const Record& record : c.records)
      ASSERT_EQ(ios_callgraph_record(file_, record.caller, record.callee, record.index, record.value,
                                     record.count, nullptr),
                0);
    for (const Alias& alias : c.aliases)
      ASSERT_EQ(ios_alias_add_record(file_, {file_, alias.alias}, {file_, alias.target}, nullptr), 0);
    uint32_t before = 9;
    ASSERT_EQ(ios_callgraph_count(file_, &before, nullptr), 0);
    EXPECT_EQ(before, 0u);
    ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);
    EXPECT_EQ(edgesOf(file_), c.edges);
    EXPECT_EQ(resolvedOf(file_), c.resolved);
    for (uint32_t symbol : c.gone) {
      IosErrorCode error = NOT_SET;
      EXPECT_EQ(ios_callgraph_get_node_key(file_, {file_, symbol}, nullptr, &error), 1) << symbol;
      EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
    }
  }
}

TEST_F(CallGraph, OwnValuesAreReplacedAndOutOfRangeIndexesRefused) {
  ASSERT_EQ(ios_callgraph_record(file_, 3, 0, 0, 40, 1, nullptr), 0);
  ASSERT_EQ(ios_callgraph_record(file_, 3, 0, 0, 24, 1, nullptr), 0);
  ASSERT_EQ(ios_callgraph_record(file_, 3, 0, 1, 7, 1, nullptr), 0);
  IosCallGraph* graph = nullptr;
  ASSERT_EQ(ios_file_make_callgraph(file_, &graph, nullptr), 0);
  IosCallGraphNode* node = ios_cgnode_find(graph, {file_, 3});
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->values[0], 24u);
  EXPECT_EQ(node->values[1], 7u);
  IosHandle key{};
  ASSERT_EQ(ios_callgraph_get_node_key(file_, {file_, 3}, &key, nullptr), 0);
  EXPECT_EQ(key.object_id, 3u);

  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_callgraph_record(file_, 3, 4, IOS_CALLGRAPH_VALUE_WORDS, 1, 1, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STACK_USAGE);
  error = NOT_SET;
  EXPECT_EQ(ios_callgraph_get_node_value(file_, {file_, 99}, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(CallGraph, ALongChainIsResolvedAndFreedWithTheFile) {
  constexpr uint32_t kLength = 20000;
  for (uint32_t symbol = 1; symbol < kLength; ++symbol)
    ASSERT_EQ(ios_callgraph_record(file_, symbol, symbol + 1, 0, symbol, 1, nullptr), 0);
  ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);
  EXPECT_EQ(resolvedOf(file_), std::vector<uint32_t>{1});
  ASSERT_EQ(ios_file_delete(file_, nullptr), 0);
}

}  // namespace
