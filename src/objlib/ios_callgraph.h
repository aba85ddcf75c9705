// The call graph of a store file: functions (by symbol) with their own stack-usage
// values, the calls between them, and the aliases under which calls were recorded.
// Resolution folds alias calls into their targets and lists the root functions from
// which the call-information section is walked.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"
#include "util/avl.h"

struct IdTable;

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
  IdTable* references;   // IosCallGraphReference*, null when none
};

// A reference a node keeps for a client; only the handle is read here.
struct IosCallGraphReference {
  uint32_t word;
  IosHandle* handle;
};

struct IosCallAlias {
  IosHandle target;
  IosHandle alias;
};

// The alias records double as the graph's pair table: pair i is {target, alias},
// whose alias node resolution merges into the target node.
struct IosCallGraph {
  AvlNode* nodes;    // IosCallGraphNode*, by symbol id
  IosArray aliases;  // IosCallAlias in the order added
  IosArray resolved;  // IosCallGraphNode*, made by ios_callgraph_resolve
  uint32_t usage_count;  // value words that nodes and calls carry
  IdTable* calls;        // made empty for clients that keep call records
};

// Frees the nodes, edges, alias records and the resolved list; null is ignored.
void ios_callgraph_delete(IosCallGraph* graph);

// The file's call graph, made on first use; 0 out of memory.
int ios_file_make_callgraph(uint32_t file_id, IosCallGraph** graph, IosErrorCode* error);
// The file's call graph as it stands: null when none was made (no error).
int ios_file_get_callgraph(uint32_t file_id, IosCallGraph** graph, IosErrorCode* error);
// A new empty graph with its tables; null when out of memory.
IosCallGraph* ios_callgraph_admin_new();

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

// ---- Reading and merging for the library's clients ----
// Nodes are found by symbol id alone; a missing node, call or table entry is 2.

int ios_callgraph_get_usage_count(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// Value word i of the function's node; 25 when i is not below the usage count.
int ios_cgnode_get_usage(uint32_t file_id, uint32_t symbol_id, uint32_t index, uint32_t* usage,
                         IosErrorCode* error);
// 3 for a function that makes calls, else 1.
int ios_cgnode_get_kind(uint32_t file_id, uint32_t symbol_id, uint32_t* kind, IosErrorCode* error);
int ios_cgnode_get_reference(uint32_t file_id, uint32_t symbol_id, uint32_t index,
                             IosHandle* handle, IosErrorCode* error);
// The call count and value word i of the call from caller to callee.
int ios_call_get_count(uint32_t file_id, uint32_t callee_id, uint32_t caller_file_id,
                       uint32_t caller_id, uint32_t* count, IosErrorCode* error);
int ios_call_get_usage(uint32_t file_id, uint32_t callee_id, uint32_t caller_file_id,
                       uint32_t caller_id, uint32_t index, uint32_t* usage, IosErrorCode* error);
// Pair i {target, alias}; -1 without an error code past the table.
int ios_callgraph_get_pair(uint32_t file_id, uint32_t unused, uint32_t index, IosHandle* first,
                           IosHandle* second, IosErrorCode* error);
int ios_callgraph_count_pairs(uint32_t file_id, uint32_t unused, uint32_t* count,
                              IosErrorCode* error);
// Moves every call of the source function to the target function and removes the
// source node; nothing when the source has no node; 10 when the target node cannot be
// made. Merging a node into itself is refused (event 1, error 1).
int ios_callgraph_merge_nodes(uint32_t file_id, IosHandle target, IosHandle source,
                              IosErrorCode* error);

// A handle made of two words {file id, object id}; always 0.
int ios_make_handle(uint32_t file_id, uint32_t object_id, IosHandle* handle);
