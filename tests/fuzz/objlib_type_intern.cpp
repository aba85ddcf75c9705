// Random type graphs, recursive ones included, entered twice into one store and
// interned: every type whose graph holds no cycle must get the same id as every
// structurally equal one (and only those), and walking and reading the interned
// types must stay within the store.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typequery.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"
#include "objlib/ios_typetable.h"

namespace {

constexpr size_t kMaxNodes = 48;
const char* const kNames[] = {"a", "b", "a", "node"};  // equal texts under different ids

struct Node {
  uint32_t kind;  // a simple code, or pointer, structure, member, typedef
  uint32_t word;  // pointer word 3, structure word 0, member word 4
  uint32_t name;  // index into kNames
  std::vector<uint32_t> refs;  // node indices
};

enum Mark { UNSEEN, ON_PATH, ACYCLIC, CYCLIC };

// Whether the graph reachable from n holds no cycle.
bool acyclic(const std::vector<Node>& nodes, uint32_t n, std::vector<Mark>& marks) {
  if (marks[n] == ON_PATH || marks[n] == CYCLIC) return false;
  if (marks[n] == ACYCLIC) return true;
  marks[n] = ON_PATH;
  bool clean = true;
  for (uint32_t r : nodes[n].refs) clean = acyclic(nodes, r, marks) && clean;
  marks[n] = clean ? ACYCLIC : CYCLIC;
  return clean;
}

std::string canon(const std::vector<Node>& nodes, uint32_t n) {
  const Node& node = nodes[n];
  std::string text = std::to_string(node.kind) + "(" + std::to_string(node.word) + "," +
                     kNames[node.name];
  for (uint32_t r : node.refs) text += "," + canon(nodes, r);
  return text + ")";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size, 0};
  std::vector<Node> nodes;
  size_t count = 1 + in.byte() % kMaxNodes;
  for (size_t i = 0; i < count; ++i) {
    Node node{};
    uint8_t pick = in.byte();
    static const uint32_t kinds[] = {5, 9, IOS_TYPEREF_POINTER, IOS_TYPEREF_STRUCTURE,
                                     IOS_TYPEREF_MEMBER, IOS_TYPEREF_TYPEDEF};
    node.kind = kinds[pick % 6];
    node.word = (pick >> 3) & 3;
    node.name = (pick >> 5) & 3;
    size_t refs = node.kind == IOS_TYPEREF_STRUCTURE ? in.byte() % 4
                  : node.kind >= IOS_TYPEREF_FIRST_COMPOSITE ? 1
                                                             : 0;
    for (size_t r = 0; r < refs; ++r) node.refs.push_back(in.byte() % count);
    nodes.push_back(node);
  }

  ios_admin_release();
  uint32_t file = 0;
  if (ios_admin_init(nullptr) != 0 || ios_file_create(&file, nullptr) != 0) abort();
  IosHandle root{};
  IosTypeStore* store = nullptr;
  if (ios_file_get_debug_root(file, &root, nullptr) != 0 ||
      ios_get_type_store(&store, nullptr, file) != 0)
    abort();
  uint32_t names[4];
  for (int i = 0; i < 4; ++i) {
    IosHandle made{};
    if (ios_strtab_add(file, kNames[i], &made, nullptr) != 0) abort();
    names[i] = made.object_id;
  }

  // Two copies of the graph: typeref ids first[i] and second[i].
  std::vector<uint32_t> ids[2];
  for (auto& copy : ids) {
    for (const Node& node : nodes) {
      TypeHandle made{};
      if (ios_typetable_add_entry(store, node.kind, &made) != 0) abort();
      copy.push_back(made.type_id);
    }
    for (size_t i = 0; i < count; ++i) {
      const Node& node = nodes[i];
      TypeHandle self{file, 1, copy[i]};
      StringHandle name{file, names[node.name]};
      switch (node.kind) {
        case IOS_TYPEREF_POINTER:
          ios_typeref_set_pointer_target(file, 1, copy[i], copy[node.refs[0]], nullptr);
          ios_typeref_set_pointer_field3(self, node.word, nullptr);
          break;
        case IOS_TYPEREF_STRUCTURE:
          ios_typeref_set_struct_field0(self, node.word, nullptr);
          ios_typeref_set_struct_name(self, name, nullptr);
          for (uint32_t r : node.refs) ios_typeref_add_struct_member(self, copy[r], nullptr);
          break;
        case IOS_TYPEREF_MEMBER:
          ios_typeref_set_member_type(self, copy[node.refs[0]], nullptr);
          ios_typeref_set_member_field4(self, node.word, nullptr);
          ios_typeref_set_member_name(self, name, nullptr);
          break;
        case IOS_TYPEREF_TYPEDEF: {
          IosTyperef* typeref = nullptr;
          if (ios_typeref_lookup(self, &typeref, nullptr) != 0) abort();
          ios_typedef_detail_set_type(typeref->detail, {0, copy[node.refs[0]]}, nullptr);
          ios_typeref_set_typedef_name(self, name, nullptr);
          break;
        }
        default:
          break;
      }
    }
  }
  // Simple codes and names are part of the structure; the other words only where set.
  for (Node& node : nodes) {
    if (node.kind < IOS_TYPEREF_FIRST_COMPOSITE) node.word = node.name = 0;
    if (node.kind == IOS_TYPEREF_POINTER) node.name = 0;
    if (node.kind == IOS_TYPEREF_TYPEDEF) node.word = 0;
  }

  std::vector<uint32_t> typeIds[2];
  for (int c = 0; c < 2; ++c) {
    for (uint32_t id : ids[c]) {
      TypeHandle type{};
      if (ios_typeref_intern_by_id(&type, nullptr, file, 1, id) != 0) abort();
      typeIds[c].push_back(type.type_id);
    }
  }

  std::vector<Mark> marks(count, UNSEEN);
  std::vector<std::string> forms(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (acyclic(nodes, i, marks)) forms[i] = canon(nodes, i);
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (forms[i].empty()) continue;
    for (uint32_t j = 0; j < count; ++j) {
      if (forms[j].empty()) continue;
      bool sameForm = forms[i] == forms[j];
      if ((typeIds[0][i] == typeIds[1][j]) != sameForm) abort();
      if ((typeIds[0][i] == typeIds[0][j]) != sameForm) abort();
    }
  }

  // Every interned type reads back and can be walked from a type table.
  IosDebugHandle table{};
  if (ios_typetable_create(file, &table, nullptr) != 0) abort();
  for (uint32_t c = 0; c < 2; ++c) {
    for (uint32_t id : ids[c]) ios_typetable_enter_type(table, file, 1, id, nullptr, nullptr);
  }
  for (uint32_t typeId : typeIds[0]) {
    uint32_t value[2];
    TypeHandle handle{};
    ios_struct_get_list(file, 1, typeId, value, nullptr);
    ios_pointer_get_target(file, 1, typeId, &handle, nullptr);
    ios_member_get_pair2(file, 1, typeId, value, nullptr);
  }
  ios_admin_release();
  return 0;
}
