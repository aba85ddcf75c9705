#include "objlib/ios_callgraph.h"

#include <vector>

#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

int compareNodes(const void* key, const void* data) {
  uint32_t left = static_cast<const IosCallGraphNode*>(key)->key.object_id;
  uint32_t right = static_cast<const IosCallGraphNode*>(data)->key.object_id;
  return left < right ? -1 : left > right ? 1 : 0;
}

int compareByCaller(const void* key, const void* data) {
  return compareNodes(static_cast<const IosCallEdge*>(key)->caller,
                      static_cast<const IosCallEdge*>(data)->caller);
}

int compareByCallee(const void* key, const void* data) {
  return compareNodes(static_cast<const IosCallEdge*>(key)->callee,
                      static_cast<const IosCallEdge*>(data)->callee);
}

IosCallEdge* findCallee(IosCallGraphNode* caller, IosCallGraphNode* callee) {
  IosCallEdge probe{caller, callee, {}, 0};
  return static_cast<IosCallEdge*>(avl_find(caller->callees, &probe, compareByCallee));
}

void insertInto(AvlNode** tree, uint32_t* count, IosCallEdge* edge, AvlCompare compare) {
  int inserted = 0;
  *tree = avl_insert(*tree, edge, compare, &inserted);
  if (inserted != 0) ++*count;
}

void removeFrom(AvlNode** tree, uint32_t* count, const IosCallEdge* key, AvlCompare compare) {
  int found = 0;
  *tree = avl_delete_found(*tree, key, compare, &found);
  if (found != 0 && *count > 0) --*count;
}

// One edge takes over another between the same pair: the larger value per word,
// and the calls of both. The count is added once, not once per value word.
void absorb(IosCallEdge* into, IosCallEdge* merged) {
  for (uint32_t word = 0; word < IOS_CALLGRAPH_VALUE_WORDS; ++word)
    if (merged->values[word] > into->values[word]) into->values[word] = merged->values[word];
  into->count += merged->count;
  pool_free(merged, sizeof *merged);
}

void collect(void* data, void* context) {
  static_cast<std::vector<void*>*>(context)->push_back(data);
}

template <typename T>
std::vector<T*> inOrder(AvlNode* root) {
  std::vector<void*> items;
  ios_tree_walk(root, collect, &items);
  std::vector<T*> typed;
  typed.reserve(items.size());
  for (void* item : items) typed.push_back(static_cast<T*>(item));
  return typed;
}

// Moves every call of the alias node to the target node.
void mergeAlias(IosCallGraphNode* alias, IosCallGraphNode* target) {
  for (IosCallEdge* edge : inOrder<IosCallEdge>(alias->callers)) {
    IosCallGraphNode* caller = edge->caller;
    removeFrom(&caller->callees, &caller->callee_count, edge, compareByCallee);
    if (IosCallEdge* existing = findCallee(caller, target)) {
      absorb(existing, edge);
      continue;
    }
    edge->callee = target;
    insertInto(&target->callers, &target->caller_count, edge, compareByCaller);
    insertInto(&caller->callees, &caller->callee_count, edge, compareByCallee);
  }
  for (IosCallEdge* edge : inOrder<IosCallEdge>(alias->callees)) {
    IosCallGraphNode* callee = edge->callee;
    removeFrom(&callee->callers, &callee->caller_count, edge, compareByCaller);
    if (IosCallEdge* existing = findCallee(target, callee)) {
      absorb(existing, edge);
      continue;
    }
    edge->caller = target;
    insertInto(&target->callees, &target->callee_count, edge, compareByCallee);
    insertInto(&callee->callers, &callee->caller_count, edge, compareByCaller);
  }
}

void drain(std::vector<IosCallGraphNode*>& work) {
  while (!work.empty()) {
    IosCallGraphNode* node = work.back();
    work.pop_back();
    for (IosCallEdge* edge : inOrder<IosCallEdge>(node->callees)) {
      if (edge->callee->mark != 0) continue;
      edge->callee->mark = 1;
      work.push_back(edge->callee);
    }
  }
}

int appendResolved(IosCallGraph* graph, IosCallGraphNode* node) {
  auto* slot =
      static_cast<IosCallGraphNode**>(ios_array_push(&graph->resolved, sizeof(IosCallGraphNode*)));
  if (slot == nullptr) return 1;
  *slot = node;
  return 0;
}

void freeEdge(void* data, void* /*context*/) { pool_free(data, sizeof(IosCallEdge)); }

// Every edge sits in exactly one callee tree; the caller trees only borrow them.
void freeNode(void* data, void* /*context*/) {
  auto* node = static_cast<IosCallGraphNode*>(data);
  node->callees = avl_free_tree(node->callees, freeEdge, nullptr);
  ios_cgnode_clear(node);
}

IosCallGraph* graphOf(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  return file->callgraph;
}

}  // namespace

void ios_callgraph_delete(IosCallGraph* graph) {
  if (graph == nullptr) return;
  graph->nodes = avl_free_tree(graph->nodes, freeNode, nullptr);
  idtab_delete(graph->calls);
  ios_array_free(&graph->aliases);
  ios_array_free(&graph->resolved);
  pool_free(graph, sizeof *graph);
}

int ios_file_make_callgraph(uint32_t file_id, IosCallGraph** graph, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->callgraph == nullptr) {
    file->callgraph = ios_callgraph_admin_new();
    if (file->callgraph == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (graph != nullptr) *graph = file->callgraph;
  return 0;
}

IosCallGraphNode* ios_cgnode_find(IosCallGraph* graph, IosHandle symbol) {
  IosCallGraphNode probe{};
  probe.key = symbol;
  return static_cast<IosCallGraphNode*>(avl_find(graph->nodes, &probe, compareNodes));
}

IosCallGraphNode* ios_cgnode_find_or_create(IosCallGraph* graph, IosHandle symbol) {
  if (IosCallGraphNode* found = ios_cgnode_find(graph, symbol)) return found;
  auto* node = static_cast<IosCallGraphNode*>(pool_alloc(sizeof(IosCallGraphNode)));
  if (node == nullptr) return nullptr;
  node->key = symbol;
  int inserted = 0;
  graph->nodes = avl_insert(graph->nodes, node, compareNodes, &inserted);
  if (inserted == 0) {
    pool_free(node, sizeof *node);
    return nullptr;
  }
  return node;
}

void ios_cgnode_clear(IosCallGraphNode* node) {
  if (node == nullptr) return;
  node->callers = avl_free_tree(node->callers, nullptr, nullptr);
  node->callees = avl_free_tree(node->callees, nullptr, nullptr);
  node->caller_count = node->callee_count = 0;
  ios_array_free(&node->callee_list);
  idtab_free_each(node->references, nullptr);
  pool_free(node, sizeof *node);
}

int ios_callgraph_record(uint32_t file_id, uint32_t caller_id, uint32_t callee_id, uint32_t index,
                         uint32_t value, uint32_t count, IosErrorCode* error) {
  IosCallGraph* graph = nullptr;
  if (ios_file_make_callgraph(file_id, &graph, error) != 0) return 1;
  if (index >= IOS_CALLGRAPH_VALUE_WORDS) return ios_fail(error, IOS_ERR_NO_STACK_USAGE);
  if (caller_id == 0) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  IosCallGraphNode* caller = ios_cgnode_find_or_create(graph, {file_id, caller_id});
  if (caller == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  if (callee_id == 0) {
    caller->values[index] = value;
    return 0;
  }
  IosCallGraphNode* callee = ios_cgnode_find_or_create(graph, {file_id, callee_id});
  if (callee == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  IosCallEdge* edge = findCallee(caller, callee);
  if (edge == nullptr) {
    edge = static_cast<IosCallEdge*>(pool_alloc(sizeof(IosCallEdge)));
    if (edge == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    edge->caller = caller;
    edge->callee = callee;
    insertInto(&caller->callees, &caller->callee_count, edge, compareByCallee);
    insertInto(&callee->callers, &callee->caller_count, edge, compareByCaller);
  }
  if (value > edge->values[index]) edge->values[index] = value;
  edge->count += count;
  return 0;
}

int ios_alias_add_record(uint32_t file_id, IosHandle alias, IosHandle target, IosErrorCode* error) {
  IosCallGraph* graph = nullptr;
  if (ios_file_make_callgraph(file_id, &graph, error) != 0) return 1;
  auto* record = static_cast<IosCallAlias*>(ios_array_push(&graph->aliases, sizeof(IosCallAlias)));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  record->target = target;
  record->alias = alias;
  return 0;
}

int ios_callgraph_resolve(uint32_t file_id, IosErrorCode* error) {
  IosCallGraph* graph = nullptr;
  if (ios_file_make_callgraph(file_id, &graph, error) != 0) return 1;
  for (uint32_t index = 0; index < graph->aliases.count; ++index) {
    auto* record = static_cast<IosCallAlias*>(ios_array_at(&graph->aliases, sizeof(IosCallAlias), index));
    IosCallGraphNode* alias = ios_cgnode_find(graph, record->alias);
    // An alias of itself has nothing to fold.
    if (alias == nullptr || record->alias.object_id == record->target.object_id) continue;
    IosCallGraphNode* target = ios_cgnode_find_or_create(graph, record->target);
    if (target == nullptr) return ios_fail(error, IOS_ERR_NO_CALL);
    mergeAlias(alias, target);
    graph->nodes = avl_delete_with(graph->nodes, alias, compareNodes);
    ios_cgnode_clear(alias);
  }

  ios_array_free(&graph->resolved);
  std::vector<IosCallGraphNode*> all = inOrder<IosCallGraphNode>(graph->nodes);
  std::vector<IosCallGraphNode*> work;
  for (IosCallGraphNode* node : all) node->mark = 0;
  for (IosCallGraphNode* node : all) {
    if (node->caller_count != 0) continue;
    if (appendResolved(graph, node) != 0) return ios_fail(error, IOS_ERR_NO_PROPERTY);
    node->mark = 1;
    work.push_back(node);
  }
  drain(work);
  for (size_t index = all.size(); index-- > 0;) {
    IosCallGraphNode* node = all[index];
    if (node->mark != 0) continue;
    if (appendResolved(graph, node) != 0) return ios_fail(error, IOS_ERR_NO_PROPERTY);
    node->mark = 1;
    work.push_back(node);
    drain(work);
  }
  return 0;
}

int ios_callgraph_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (count == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  *count = file->callgraph != nullptr ? file->callgraph->resolved.count : 0;
  return 0;
}

int ios_callgraph_get_entry(uint32_t file_id, uint32_t index, IosCallGraphNode** node,
                            IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  void* slot = file->callgraph != nullptr
                   ? ios_array_at(&file->callgraph->resolved, sizeof(IosCallGraphNode*), index)
                   : nullptr;
  if (slot == nullptr || node == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  *node = *static_cast<IosCallGraphNode**>(slot);
  return 0;
}

int ios_callgraph_get_node_key(uint32_t file_id, IosHandle symbol, IosHandle* key,
                               IosErrorCode* error) {
  IosCallGraph* graph = graphOf(file_id, error);
  IosCallGraphNode* node = graph != nullptr ? ios_cgnode_find(graph, symbol) : nullptr;
  if (node == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  if (key != nullptr) *key = node->key;
  return 0;
}

int ios_callgraph_get_node_value(uint32_t file_id, IosHandle symbol, uint32_t* count,
                                 IosErrorCode* error) {
  IosCallGraph* graph = graphOf(file_id, error);
  IosCallGraphNode* node = graph != nullptr ? ios_cgnode_find(graph, symbol) : nullptr;
  if (node == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  ios_array_free(&node->callee_list);
  for (IosCallEdge* edge : inOrder<IosCallEdge>(node->callees)) {
    auto* slot = static_cast<IosCallEdge**>(ios_array_push(&node->callee_list, sizeof(IosCallEdge*)));
    if (slot == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    *slot = edge;
  }
  if (count != nullptr) *count = node->callee_count;
  return 0;
}

IosCallGraph* ios_callgraph_admin_new() {
  auto* graph = static_cast<IosCallGraph*>(pool_alloc(sizeof(IosCallGraph)));
  if (graph == nullptr) return nullptr;
  graph->usage_count = IOS_CALLGRAPH_VALUE_WORDS;
  graph->calls = idtab_new();
  if (graph->calls == nullptr) {
    pool_free(graph, sizeof *graph);
    return nullptr;
  }
  return graph;
}

int ios_file_get_callgraph(uint32_t file_id, IosCallGraph** graph, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (graph != nullptr) *graph = file->callgraph;
  return 0;
}

namespace {

IosCallGraphNode* nodeOf(uint32_t file_id, uint32_t symbol_id, IosCallGraph** graph,
                         IosErrorCode* error, bool* failed) {
  *failed = false;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) {
    *failed = true;
    return nullptr;
  }
  if (graph != nullptr) *graph = file->callgraph;
  if (file->callgraph == nullptr) return nullptr;
  return ios_cgnode_find(file->callgraph, IosHandle{file_id, symbol_id});
}

#define NODE(file_id, symbol_id, graph, node)                                   \
  IosCallGraph* graph = nullptr;                                                \
  bool node##Failed = false;                                                    \
  IosCallGraphNode* node = nodeOf(file_id, symbol_id, &graph, error, &node##Failed); \
  if (node##Failed) return 1;                                                   \
  if (node == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY)

IosCallEdge* callOf(IosCallGraph* graph, IosCallGraphNode* callee, uint32_t caller_file_id,
                    uint32_t caller_id) {
  IosCallGraphNode* caller = ios_cgnode_find(graph, IosHandle{caller_file_id, caller_id});
  if (caller == nullptr) return nullptr;
  IosCallEdge probe{caller, callee, {}, 0};
  return static_cast<IosCallEdge*>(avl_find(callee->callers, &probe, compareByCaller));
}

}  // namespace

int ios_callgraph_get_usage_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (count != nullptr) *count = file->callgraph != nullptr ? file->callgraph->usage_count : 0;
  return 0;
}

int ios_cgnode_get_usage(uint32_t file_id, uint32_t symbol_id, uint32_t index, uint32_t* usage,
                         IosErrorCode* error) {
  NODE(file_id, symbol_id, graph, node);
  if (index >= graph->usage_count || index >= IOS_CALLGRAPH_VALUE_WORDS) {
    return ios_fail(error, IOS_ERR_NO_STACK_USAGE);
  }
  if (usage != nullptr) *usage = node->values[index];
  return 0;
}

int ios_cgnode_get_kind(uint32_t file_id, uint32_t symbol_id, uint32_t* kind, IosErrorCode* error) {
  NODE(file_id, symbol_id, graph, node);
  if (kind != nullptr) *kind = node->callee_count != 0 ? 3 : 1;
  return 0;
}

int ios_cgnode_get_reference(uint32_t file_id, uint32_t symbol_id, uint32_t index,
                             IosHandle* handle, IosErrorCode* error) {
  NODE(file_id, symbol_id, graph, node);
  IdTable* table = node->references;
  if (table == nullptr || index >= table->capacity || table->slots[index] == nullptr) {
    return ios_fail(error, IOS_ERR_NO_PROPERTY);
  }
  auto* reference = static_cast<IosCallGraphReference*>(table->slots[index]);
  if (reference->handle == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  if (handle != nullptr) *handle = *reference->handle;
  return 0;
}

int ios_call_get_count(uint32_t file_id, uint32_t callee_id, uint32_t caller_file_id,
                       uint32_t caller_id, uint32_t* count, IosErrorCode* error) {
  NODE(file_id, callee_id, graph, callee);
  IosCallEdge* call = callOf(graph, callee, caller_file_id, caller_id);
  if (call == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  if (count != nullptr) *count = call->count;
  return 0;
}

int ios_call_get_usage(uint32_t file_id, uint32_t callee_id, uint32_t caller_file_id,
                       uint32_t caller_id, uint32_t index, uint32_t* usage, IosErrorCode* error) {
  NODE(file_id, callee_id, graph, callee);
  IosCallEdge* call = callOf(graph, callee, caller_file_id, caller_id);
  if (call == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  if (index >= graph->usage_count || index >= IOS_CALLGRAPH_VALUE_WORDS) {
    return ios_fail(error, IOS_ERR_NO_STACK_USAGE);
  }
  if (usage != nullptr) *usage = call->values[index];
  return 0;
}

int ios_callgraph_get_pair(uint32_t file_id, uint32_t unused, uint32_t index, IosHandle* first,
                           IosHandle* second, IosErrorCode* error) {
  (void)unused;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->callgraph == nullptr) return -1;
  auto* pair = static_cast<IosCallAlias*>(
      ios_array_at(&file->callgraph->aliases, sizeof(IosCallAlias), index));
  if (pair == nullptr) return -1;
  if (first != nullptr) *first = pair->target;
  if (second != nullptr) *second = pair->alias;
  return 0;
}

int ios_callgraph_count_pairs(uint32_t file_id, uint32_t unused, uint32_t* count,
                              IosErrorCode* error) {
  (void)unused;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (count != nullptr) *count = file->callgraph != nullptr ? file->callgraph->aliases.count : 0;
  return 0;
}

int ios_callgraph_merge_nodes(uint32_t file_id, IosHandle target, IosHandle source,
                              IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosCallGraph* graph = file->callgraph;
  IosCallGraphNode* from = graph != nullptr ? ios_cgnode_find(graph, source) : nullptr;
  if (from == nullptr) return 0;
  // Nodes are keyed by symbol id: merging into the same id would free the node that
  // receives the calls.
  if (target.object_id == source.object_id) {
    mmi_hook_event1();
    return ios_fail(error, IOS_ERR_INTERNAL);
  }
  IosCallGraphNode* into = ios_cgnode_find_or_create(graph, target);
  if (into == nullptr) return ios_fail(error, IOS_ERR_NO_CALL);
  mergeAlias(from, into);
  graph->nodes = avl_delete_with(graph->nodes, from, compareNodes);
  ios_cgnode_clear(from);
  return 0;
}

int ios_make_handle(uint32_t file_id, uint32_t object_id, IosHandle* handle) {
  if (handle != nullptr) *handle = IosHandle{file_id, object_id};
  return 0;
}
