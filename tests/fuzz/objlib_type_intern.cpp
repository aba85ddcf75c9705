// Random type graphs of every typeref kind, recursive ones and long chains included,
// entered three times into one store and interned, with names whose strings have no
// text. Structural equality is the model: right after a call that met no cycle, every
// typeref it interned must hold the id of the first type of the table that equality
// calls equal to it, so equal typerefs share an id and different ones do not. Interning
// again answers the same. Between the passes, string texts are taken and given and
// interned details are rewritten through their setters, and the third copy must still
// find the first equal type. The reachability walk then runs over every type.
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "FuzzInput.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_file_access.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"
#include "objlib/ios_typetable.h"

namespace {

constexpr uint32_t kMaxNodes = 40;
constexpr uint32_t kCopies = 3;
constexpr size_t kMaxChecksPerCall = 64;
constexpr uint32_t kMissingTyperef = 0xFFFFFFu;

const uint32_t kKinds[16] = {5,
                             9,
                             IOS_TYPEREF_ARRAY,
                             IOS_TYPEREF_ENUM,
                             IOS_TYPEREF_POINTER,
                             IOS_TYPEREF_REFERENCE,
                             IOS_TYPEREF_TYPEDEF,
                             IOS_TYPEREF_STRUCTURE,
                             IOS_TYPEREF_UNION,
                             IOS_TYPEREF_FUNCTION,
                             IOS_TYPEREF_QUALIFIER,
                             IOS_TYPEREF_MEMBER,
                             IOS_TYPEREF_BITFIELD,
                             IOS_TYPEREF_POINTER,
                             IOS_TYPEREF_STRUCTURE,
                             139};  // a kind without a detail: interning it fails
// Links of a chain: the kinds whose one reference is at words 0-1.
const uint32_t kChainKinds[6] = {IOS_TYPEREF_POINTER,   IOS_TYPEREF_REFERENCE,
                                 IOS_TYPEREF_QUALIFIER, IOS_TYPEREF_TYPEDEF,
                                 IOS_TYPEREF_ARRAY,     IOS_TYPEREF_MEMBER};

// Words of a detail before its list pointer.
uint32_t plainWords(uint32_t kind) {
  switch (kind) {
    case IOS_TYPEREF_ENUM:
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      return 3;
    case IOS_TYPEREF_REFERENCE:
    case IOS_TYPEREF_BITFIELD:
      return 2;
    case IOS_TYPEREF_FUNCTION:
      return 6;
    case IOS_TYPEREF_MEMBER:
      return 7;
    default:
      return 4;
  }
}

// Names: no string, texts (equal texts under different ids, bytes without a NUL),
// strings without text made three ways, an empty text, and an id naming no string.
enum NameKind { NO_NAME, TEXT, BYTES, EMPTY_BYTES, RESERVED_EMPTY, RESERVED_ZEROED, TAKEN, NO_STRING };
struct NameSpec {
  NameKind how;
  const char* text;
};
const NameSpec kNames[] = {{NO_NAME, nullptr},       {TEXT, "a"},          {TEXT, "b"},
                           {TEXT, "a"},              {BYTES, "ab"},        {TEXT, "ab"},
                           {EMPTY_BYTES, nullptr},   {RESERVED_EMPTY, nullptr},
                           {RESERVED_ZEROED, nullptr}, {TAKEN, "c"},       {NO_STRING, nullptr}};
constexpr uint32_t kNameCount = sizeof kNames / sizeof kNames[0];

// A reference: a node of the same copy, a resolved simple code, or a missing typeref.
struct Ref {
  enum { NODE, SIMPLE, MISSING } how = SIMPLE;
  uint32_t value = 1;
};

struct Entry {
  Ref ref;
  uint32_t words[2] = {0, 0};
  uint32_t name = 0;
  uint32_t value = 0;
};

struct Node {
  uint32_t kind = 5;
  uint32_t words[7] = {};
  Ref ref;
  uint32_t name = 0;
  std::vector<Entry> entries;
};

uint32_t wordValue(uint8_t b) { return b >= 0xF0 ? 0xFFFFFFFFu : b % 4; }

// Graph nodes refer to graph nodes or, as node `count`, to the chain's head.
Ref readRef(Input& in, uint32_t targets) {
  uint8_t b = in.byte();
  if (b == 0xFF) return Ref{Ref::MISSING, 0};
  if (b >= 0xE0) return Ref{Ref::SIMPLE, 1u + (b - 0xE0u) % 8};
  return Ref{Ref::NODE, b % targets};
}

Node readNode(Input& in, uint32_t targets) {
  Node node;
  node.kind = kKinds[in.byte() % 16];
  const IosDetailKind* row = ios_detail_kind(node.kind);
  if (row == nullptr) return node;
  for (uint32_t w = 0; w < plainWords(node.kind); ++w) {
    bool isRef = row->ref_word >= 0 && (w == uint32_t(row->ref_word) || w == uint32_t(row->ref_word) + 1);
    bool isName =
        row->name_word >= 0 && (w == uint32_t(row->name_word) || w == uint32_t(row->name_word) + 1);
    if (!isRef && !isName) node.words[w] = wordValue(in.byte());
  }
  if (row->ref_word >= 0) node.ref = readRef(in, targets);
  if (row->name_word >= 0) node.name = in.byte() % kNameCount;
  if (row->entry_words == 0) return node;
  uint32_t entries = in.byte() % 4;
  for (uint32_t e = 0; e < entries; ++e) {
    Entry entry;
    switch (node.kind) {
      case IOS_TYPEREF_ARRAY:
        entry.words[0] = wordValue(in.byte());
        entry.words[1] = wordValue(in.byte());
        break;
      case IOS_TYPEREF_ENUM:
        entry.name = in.byte() % kNameCount;
        entry.value = wordValue(in.byte());
        break;
      case IOS_TYPEREF_FUNCTION:
        entry.ref = readRef(in, targets);
        entry.name = in.byte() % kNameCount;
        break;
      default:  // members of structures and unions
        entry.ref = readRef(in, targets);
        break;
    }
    node.entries.push_back(entry);
  }
  return node;
}

// Node indices a node refers to within its copy.
void targetsOf(const Node& node, std::vector<uint32_t>& out) {
  out.clear();
  if (ios_detail_kind(node.kind) == nullptr) return;
  if (ios_detail_kind(node.kind)->ref_word >= 0 && node.ref.how == Ref::NODE)
    out.push_back(node.ref.value);
  for (const Entry& e : node.entries) {
    if (e.ref.how == Ref::NODE && node.kind != IOS_TYPEREF_ARRAY && node.kind != IOS_TYPEREF_ENUM)
      out.push_back(e.ref.value);
  }
}

struct Run {
  uint32_t file = 0;
  IosTypeStore* store = nullptr;
  uint32_t names[kNameCount] = {};
  std::vector<Node> nodes;  // graph nodes, then chain links
  uint32_t graphCount = 0;
  std::vector<uint32_t> typerefs[kCopies];  // typeref id of each node, per copy

  IosTyperef* record(uint32_t id) {
    IosTyperef* found = nullptr;
    if (ios_typeref_find(store->typerefs, id, &found, nullptr) != 0) abort();
    return found;
  }
  uint32_t typeCount() const { return store->table->types->highest_id; }
  IosType* type(uint32_t typeId) {
    IosType* found = nullptr;
    if (ios_type_lookup(store->table, typeId, &found, nullptr) != 0) return nullptr;
    return found;
  }

  void makeNames() {
    for (uint32_t i = 0; i < kNameCount; ++i) {
      IosHandle made{};
      int status = 0;
      switch (kNames[i].how) {
        case NO_NAME:
          continue;
        case NO_STRING:
          names[i] = 9999;
          continue;
        case TEXT:
        case TAKEN:
          status = ios_strtab_add(file, kNames[i].text, &made, nullptr);
          break;
        case BYTES:
          status = ios_strtab_add_bytes(file, kNames[i].text, 2, &made, nullptr);
          break;
        case EMPTY_BYTES:
          status = ios_strtab_add_bytes(file, nullptr, 0, &made, nullptr);
          break;
        case RESERVED_EMPTY:
          status = ios_strtab_reserve(file, 0, &made, nullptr);
          break;
        case RESERVED_ZEROED:
          status = ios_strtab_reserve(file, 2, &made, nullptr);
          break;
      }
      if (status != 0) abort();
      names[i] = made.object_id;
      if (kNames[i].how == TAKEN) {
        char* text = nullptr;
        uint32_t length = 0;
        if (ios_string_take_text(made, &text, &length, nullptr) != 0) abort();
        ios_string_text_free(text, length);
      }
    }
  }

  void setName(uint32_t* at, uint32_t name) {
    at[0] = file;
    at[1] = names[name];
  }
  void setRef(uint32_t* at, Ref ref, uint32_t copy) {
    at[0] = ref.how == Ref::SIMPLE ? 1 : 0;
    at[1] = ref.how == Ref::NODE      ? typerefs[copy][ref.value]
            : ref.how == Ref::MISSING ? kMissingTyperef
                                      : ref.value;
  }

  void build(uint32_t copy) {
    for (const Node& node : nodes) {
      TypeHandle made{};
      if (ios_typetable_add_entry(store, node.kind, &made) != 0) abort();
      typerefs[copy].push_back(made.type_id);
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
      const Node& node = nodes[i];
      const IosDetailKind* row = ios_detail_kind(node.kind);
      if (row == nullptr) continue;
      void* detail = record(typerefs[copy][i])->detail;
      if (detail == nullptr) abort();
      for (uint32_t w = 0; w < plainWords(node.kind); ++w) *ios_detail_word(detail, w) = node.words[w];
      if (row->ref_word >= 0) setRef(ios_detail_word(detail, row->ref_word), node.ref, copy);
      if (row->name_word >= 0) setName(ios_detail_word(detail, row->name_word), node.name);
      IdTable* list = ios_detail_list(node.kind, detail);
      if (list == nullptr && !node.entries.empty()) abort();
      for (uint32_t e = 0; e < node.entries.size(); ++e) {
        const Entry& entry = node.entries[e];
        uint32_t words[4] = {entry.words[0], entry.words[1], 0, 0};
        if (node.kind == IOS_TYPEREF_ENUM) {
          setName(words, entry.name);
          words[2] = entry.value;
        } else if (node.kind != IOS_TYPEREF_ARRAY) {
          setRef(words, entry.ref, copy);
          if (node.kind == IOS_TYPEREF_FUNCTION) setName(words + 2, entry.name);
        }
        if (ios_typetable_set_entry(&list, e, words[0], words[1], nullptr, row->entry_words) != 0)
          abort();
        auto* stored = static_cast<uint32_t*>(idtab_get(list, e));
        for (uint32_t w = 2; w < row->entry_words; ++w) stored[w] = words[w];
      }
    }
  }

  // The first type of the table that equality calls equal to {kind, detail}; 0 when none.
  uint32_t firstEqual(uint32_t kind, void* detail) {
    for (uint32_t i = 0; i < typeCount(); ++i) {
      auto* t = static_cast<IosType*>(idtab_get(store->table->types, i));
      if (t != nullptr && ios_typeref_equal(t->kind, t->detail, kind, detail)) return t->type_id;
    }
    return 0;
  }

  // Nodes of the copy that interning node `root` reaches (those not interned before);
  // true when they hold a cycle.
  bool reach(uint32_t copy, uint32_t root, std::vector<uint32_t>& reached) {
    enum : uint8_t { UNSEEN, ON_PATH, LEFT };
    std::vector<uint8_t> marks(nodes.size(), UNSEEN);
    std::vector<std::pair<uint32_t, size_t>> path;
    std::vector<std::vector<uint32_t>> targets;
    bool cycle = false;
    auto enter = [&](uint32_t n) {
      if (record(typerefs[copy][n])->state == IOS_TYPEREF_DONE) {
        marks[n] = LEFT;
        return;
      }
      marks[n] = ON_PATH;
      reached.push_back(n);
      path.push_back({n, 0});
      targets.emplace_back();
      targetsOf(nodes[n], targets.back());
    };
    enter(root);
    while (!path.empty()) {
      auto& [n, next] = path.back();
      if (next == targets.back().size()) {
        marks[n] = LEFT;
        path.pop_back();
        targets.pop_back();
        continue;
      }
      uint32_t t = targets.back()[next++];
      if (marks[t] == ON_PATH) cycle = true;
      if (marks[t] == UNSEEN) enter(t);
    }
    return cycle;
  }

  void intern(uint32_t copy, uint32_t root) {
    std::vector<uint32_t> reached;
    bool cycle = reach(copy, root, reached);
    uint32_t before = typeCount();
    TypeHandle first{}, again{};
    int status = ios_typeref_intern_by_id(&first, nullptr, file, 1, typerefs[copy][root]);
    uint32_t after = typeCount();
    // A typeref already handled answers its id again, even one whose interning failed.
    if (ios_typeref_intern_by_id(&again, nullptr, file, 1, typerefs[copy][root]) != 0 ||
        (status == 0 && again.type_id != first.type_id) || typeCount() != after)
      abort();
    // A walk without a cycle reserves no slot: every new slot holds its type.
    for (uint32_t i = before; !cycle && i < after; ++i) {
      if (idtab_get(store->table->types, i) == nullptr) abort();
    }
    // The typerefs this call interned, the root first; an even sample of a long chain.
    size_t step = reached.size() / kMaxChecksPerCall + 1;
    for (size_t r = 0; r < reached.size(); r += step) check(copy, reached[r], cycle);
  }

  void check(uint32_t copy, uint32_t n, bool cycle) {
    const Node& node = nodes[n];
    IosTyperef* typeref = record(typerefs[copy][n]);
    if (typeref->state != IOS_TYPEREF_DONE) abort();
    TypeHandle handle{};
    int status = ios_typeref_intern_by_id(&handle, nullptr, file, 1, typerefs[copy][n]);
    if (node.kind < IOS_TYPEREF_FIRST_COMPOSITE) {
      if (status != 0 || handle.type_id != node.kind) abort();
      return;
    }
    if (status != 0 || handle.type_id == 0) return;  // failed in this or an earlier call
    IosType* made = type(handle.type_id);
    // A reserved slot stays empty when the detail of its typeref failed.
    if (made == nullptr && cycle) return;
    if (made == nullptr || made->kind != node.kind) abort();
    // A typeref merged into an equal type keeps its detail; otherwise the type has it.
    void* detail = typeref->detail != nullptr ? typeref->detail : made->detail;
    if (typeref->detail != nullptr && typeref->kind != node.kind) abort();
    if (cycle) {
      // Reserved types are stored without a search: only their own merge is checked.
      if (!ios_typeref_equal(made->kind, made->detail, node.kind, detail)) abort();
    } else if (firstEqual(node.kind, detail) != handle.type_id) {
      abort();
    }
  }
};

// Detail setters that rewrite a word of an interned type.
struct Setter {
  uint32_t kind;
  int (*set)(void*, uint32_t, IosErrorCode*);
};
#define IOS_FUZZ_SETTER_ROW(name, kind, word) {kind, name},
const Setter kSetters[] = {IOS_DETAIL_WORD_SETTERS(IOS_FUZZ_SETTER_ROW)};
#undef IOS_FUZZ_SETTER_ROW

struct Taken {
  char* text;
  uint32_t length;
};

void mutate(Run& run, Input& in, std::vector<Taken>& taken) {
  uint32_t ops = in.byte() % 6;
  for (uint32_t op = 0; op < ops; ++op) {
    uint8_t what = in.byte();
    uint8_t arg = in.byte();
    IosHandle string{run.file, run.names[arg % kNameCount]};
    switch (what % 3) {
      case 0: {
        Taken t{};
        if (ios_string_take_text(string, &t.text, &t.length, nullptr) == 0) taken.push_back(t);
        break;
      }
      case 1:
        if (!taken.empty() &&
            ios_string_set_text(string, taken.back().text, taken.back().length, nullptr) == 0)
          taken.pop_back();
        break;
      default: {
        if (run.typeCount() == 0) break;
        IosType* t = run.type(run.store->table->base + arg % run.typeCount());
        if (t == nullptr) break;
        uint8_t pick = in.byte();
        uint32_t value = wordValue(in.byte());
        std::vector<const Setter*> rows;
        for (const Setter& s : kSetters) {
          if (s.kind == t->kind) rows.push_back(&s);
        }
        if (!rows.empty()) rows[pick % rows.size()]->set(t->detail, value, nullptr);
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size, 0};
  Run run;
  run.graphCount = 1 + in.byte() % kMaxNodes;
  // Mostly a few links; one input in sixteen chains thousands (320 to 5,120), which
  // costs far more time per run.
  uint8_t chain = in.byte();
  uint32_t links = chain < 0xF0 ? chain % 8 : (chain - 0xEFu) * 320;
  uint32_t pattern = in.byte();
  uint8_t tail = in.byte();
  uint32_t targets = run.graphCount + (links > 0 ? 1 : 0);
  for (uint32_t i = 0; i < run.graphCount; ++i) run.nodes.push_back(readNode(in, targets));
  // The chain: link i refers to link i + 1, the last to a graph node or a simple code.
  for (uint32_t i = 0; i < links; ++i) {
    Node link;
    link.kind = kChainKinds[(pattern + i * (pattern >> 3 | 1)) % 6];
    link.ref = i + 1 < links ? Ref{Ref::NODE, run.graphCount + i + 1}
               : tail >= 0xE0 ? Ref{Ref::SIMPLE, 1u + tail % 8u}
                              : Ref{Ref::NODE, tail % run.graphCount};
    run.nodes.push_back(link);
  }

  ios_admin_release();
  if (ios_admin_init(nullptr) != 0 || ios_file_create(&run.file, nullptr) != 0) abort();
  IosHandle root{};
  if (ios_file_get_debug_root(run.file, &root, nullptr) != 0 ||
      ios_get_type_store(&run.store, nullptr, run.file) != 0)
    abort();
  run.makeNames();
  for (uint32_t c = 0; c < kCopies; ++c) run.build(c);

  // First pass: two copies, some nodes first in the input's order, then all.
  uint32_t roots = targets;
  uint32_t picks = in.byte() % 16;
  for (uint32_t p = 0; p < picks; ++p) {
    uint32_t pick = in.byte() % (2 * roots);
    run.intern(pick / roots, pick % roots);
  }
  for (uint32_t c = 0; c < 2; ++c) {
    for (uint32_t n = 0; n < roots; ++n) run.intern(c, n);
  }

  std::vector<Taken> taken;
  mutate(run, in, taken);
  // Second pass: the third copy meets the table as the changes left it.
  for (uint32_t n = 0; n < roots; ++n) run.intern(2, n);

  // The reachability walk over every type the copies reach.
  IosDebugHandle table{};
  if (ios_typetable_create(run.file, &table, nullptr) != 0) abort();
  for (uint32_t c = 0; c < kCopies; ++c) {
    for (uint32_t n = 0; n < roots; ++n)
      ios_typetable_enter_type(table, run.file, 1, run.typerefs[c][n], nullptr, nullptr);
  }
  for (const Taken& t : taken) ios_string_text_free(t.text, t.length);
  ios_admin_release();
  return 0;
}
