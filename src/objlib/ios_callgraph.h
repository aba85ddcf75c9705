// The call graph of a store file: functions (by symbol) with their own stack-usage
// values, the calls between them, and the aliases under which calls were recorded.
// Resolution folds alias calls into their targets and lists the root functions from
// which the call-information section is walked.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"
#include "util/avl.h"

// Value words kept per function and per call.
inline constexpr uint32_t IOS_CALLGRAPH_VALUE_WORDS = 2;

struct IosCallGraphNode;

struct IosCallEdge {
  IosCallGraphNode* caller;
  IosCallGraphNode* callee;
  uint32_t values[IOS_CALLGRAPH_VALUE_WORDS];
  uint32_t count;
};

struct IosCallGraphNode {
  IosHandle key;     // the function's symbol
  AvlNode* callers;  // edges whose callee is this node, by caller symbol id
  AvlNode* callees;  // edges whose caller is this node, by callee symbol id
  uint32_t values[IOS_CALLGRAPH_VALUE_WORDS];
  uint32_t caller_count;
  uint32_t callee_count;
  IosArray callee_list;  // IosCallEdge*, rebuilt by ios_callgraph_get_node_value
  uint32_t mark;         // scratch of the resolution
};

struct IosCallAlias {
  IosHandle target;
  IosHandle alias;
};

struct IosCallGraph {
  AvlNode* nodes;    // IosCallGraphNode*, by symbol id
  IosArray aliases;  // IosCallAlias in the order added
  IosArray resolved;  // IosCallGraphNode*, made by ios_callgraph_resolve
};

// Frees the nodes, edges, alias records and the resolved list; null is ignored.
void ios_callgraph_delete(IosCallGraph* graph);

// The file's call graph, made on first use; 0 out of memory.
int ios_file_make_callgraph(uint32_t file_id, IosCallGraph** graph, IosErrorCode* error);

// The node of the symbol (by symbol id), or null.
IosCallGraphNode* ios_cgnode_find(IosCallGraph* graph, IosHandle symbol);
// The node, inserting a zero-filled one when absent; null out of memory.
IosCallGraphNode* ios_cgnode_find_or_create(IosCallGraph* graph, IosHandle symbol);
// Frees the node's tree nodes (not the edges, which may have moved to another node),
// its callee list and the node record.
void ios_cgnode_clear(IosCallGraphNode* node);

// One call record. calleeId 0: the caller's own value at index, replacing an earlier
// one. Otherwise the caller-to-callee edge (made once per pair) keeps the larger
// value at index and counts count more calls. 25 for an index past the value words.
int ios_callgraph_record(uint32_t file_id, uint32_t caller_id, uint32_t callee_id, uint32_t index,
                         uint32_t value, uint32_t count, IosErrorCode* error);
// Records that alias stands for target.
int ios_alias_add_record(uint32_t file_id, IosHandle alias, IosHandle target, IosErrorCode* error);

// Merges the calls of alias nodes into their targets and lists the roots: the
// functions without callers in ascending symbol id, then, for every set of functions
// that only call each other, the one with the highest symbol id.
int ios_callgraph_resolve(uint32_t file_id, IosErrorCode* error);
// Entries of the resolved list; 0 before resolution.
int ios_callgraph_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// The node of the resolved list at index (0-based); 2 past the end.
int ios_callgraph_get_entry(uint32_t file_id, uint32_t index, IosCallGraphNode** node,
                            IosErrorCode* error);
// The key of the symbol's node; 2 when the symbol has none.
int ios_callgraph_get_node_key(uint32_t file_id, IosHandle symbol, IosHandle* key,
                               IosErrorCode* error);
// The callee count of the symbol's node, rebuilding its callee list in ascending
// callee order; 2 when the symbol has no node.
int ios_callgraph_get_node_value(uint32_t file_id, IosHandle symbol, uint32_t* count,
                                 IosErrorCode* error);
