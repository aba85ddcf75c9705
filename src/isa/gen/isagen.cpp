// Builds the instruction tables from the data file: a deterministic, case-insensitive
// character automaton over whole instruction texts, the accepting lists, the forms'
// descriptions and patterns, and the state/value pairs of the operand value tables. Every
// invariant that the matcher relies on is checked here; a broken one fails the build.
//
//   isagen DATA OUT_DIR                write OUT_DIR/TriCoreTables.cpp
//   isagen --print-forms DATA          print the form list, one line per size, names, syntax
//   isagen --check-forms DATA LIST     compare that list with LIST

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AttributeData.h"
#include "IsaData.h"

using namespace isagen;

namespace {

int failures = 0;
void fail(const std::string& message) {
  std::fprintf(stderr, "isagen: %s\n", message.c_str());
  ++failures;
}

// Mirrors the run-time constants of isa/InstructionTables.h; the generator stands alone.
constexpr int16_t kNoTransition = -32768;
constexpr int kParsedOperandCharacter = 5;

bool isWordCharacter(int c) { return std::isalnum(c) || c == '.' || c == '_'; }

// ---------------------------------------------------------------------------------------
// Nondeterministic automaton: one chain of nodes per form, with a trie per named-value slot.

constexpr int kClassContinue = 0, kClassStart = 1, kClassBlank = 2;

struct Edge {
  int character;
  int target;
  int wordClass;
};

// A named-value table: the register sets are shared by all forms, each mnemonic slot and
// each sequence choice has its own.
struct ValueTable {
  std::string text;  // error text or empty
  std::string label;
  RegisterKind reg = RegisterKind::None;
  std::map<int, int> pairs;  // DFA state -> value
};

struct NfaNode {
  std::vector<Edge> edges;
  std::vector<int> epsilon;
  int accepts = -1;  // form index
  std::vector<std::pair<int, int>> ends;  // (value table, value) whose name ends here
  int slotTable = -1;  // the register table whose name is being read here
  int slotRank = 0;
};

struct Nfa {
  std::vector<NfaNode> nodes;
  int add() {
    nodes.emplace_back();
    return static_cast<int>(nodes.size()) - 1;
  }
};

struct Builder {
  const IsaData& data;
  Nfa nfa;
  std::vector<ValueTable> tables;
  std::map<RegisterKind, int> registerTable;
  std::vector<int> mnemonicTable;  // per form
  std::vector<std::vector<int>> choiceTables;  // per form, in pattern order

  explicit Builder(const IsaData& d) : data(d) {
    static const RegisterKind textOrder[] = {RegisterKind::Data, RegisterKind::DataNot15,
                                             RegisterKind::Data15, RegisterKind::Address,
                                             RegisterKind::Address15, RegisterKind::StackPointer,
                                             RegisterKind::DataPair, RegisterKind::AddressPair,
                                             RegisterKind::DataQuad};
    for (RegisterKind kind : textOrder) {
      registerTable[kind] = static_cast<int>(tables.size());
      tables.push_back(ValueTable{registerErrorText(kind), registerNotation(kind), kind, {}});
    }
  }

  // Chains a text from node `from`; returns the end node.
  int addText(int from, const std::string& text, bool continuesWord, int slotTable, int rank) {
    int node = from;
    bool previousWord = continuesWord;
    for (char raw : text) {
      int c = static_cast<unsigned char>(raw);
      int cls = (isWordCharacter(c) && previousWord) ? kClassContinue : kClassStart;
      int next = -1;
      for (const Edge& e : nfa.nodes[node].edges)
        if (e.character == c && e.wordClass == cls && slotTable >= 0) next = e.target;
      if (next < 0) {
        next = nfa.add();
        nfa.nodes[node].edges.push_back(Edge{c, next, cls});
      }
      if (slotTable >= 0) {
        nfa.nodes[node].slotTable = slotTable;
        nfa.nodes[node].slotRank = rank;
      }
      node = next;
      previousWord = isWordCharacter(c);
    }
    return node;
  }

  int addSlot(int from, const std::vector<std::string>& names, int table, bool textTable, int rank,
              int& end) {
    end = nfa.add();
    for (size_t i = 0; i < names.size(); ++i) {
      int last = addText(from, names[i], false, textTable ? table : -1, rank);
      nfa.nodes[last].ends.push_back({table, static_cast<int>(i)});
      nfa.nodes[last].epsilon.push_back(end);
    }
    return end;
  }

  int addSequence(int from, const Form& form, const Sequence& seq) {
    int node = from;
    for (const Item& item : seq) {
      switch (item.kind) {
        case Item::Literal:
          node = addText(node, item.text, false, -1, form.rank);
          break;
        case Item::Blank: {
          int next = nfa.add();
          nfa.nodes[node].edges.push_back(Edge{isa_blank, next, kClassBlank});
          node = next;
          break;
        }
        case Item::Slot: {
          int end = 0;
          addSlot(node, registerNames(item.reg), registerTable.at(item.reg), true, form.rank, end);
          node = end;
          break;
        }
        case Item::Expression: {
          int next = nfa.add();
          nfa.nodes[node].edges.push_back(Edge{isa_expression, next, kClassStart});
          node = next;
          break;
        }
        case Item::Choice: {
          int table = static_cast<int>(tables.size());
          tables.push_back(ValueTable{"", "choice of form " + std::to_string(form.index), RegisterKind::None, {}});
          choiceTables[form.index].push_back(table);
          int end = nfa.add();
          for (size_t i = 0; i < item.alternatives.size(); ++i) {
            int last = addSequence(node, form, item.alternatives[i]);
            // A node of its own marks the end of this alternative, so that the states after
            // different alternatives stay distinct.
            int mark = nfa.add();
            nfa.nodes[last].epsilon.push_back(mark);
            nfa.nodes[mark].ends.push_back({table, static_cast<int>(i)});
            nfa.nodes[mark].epsilon.push_back(end);
          }
          node = end;
          break;
        }
      }
    }
    return node;
  }

  static constexpr int isa_blank = 32;
  static constexpr int isa_expression = 127;

  void build(int start) {
    mnemonicTable.resize(data.forms.size());
    choiceTables.resize(data.forms.size());
    for (const Form& form : data.forms) {
      std::vector<std::string> names;
      for (const Mnemonic& m : form.mnemonics)
        for (const std::string& n : acceptedNames(form, m)) names.push_back(n);
      int table = static_cast<int>(tables.size());
      tables.push_back(ValueTable{"", "mnemonics of form " + std::to_string(form.index), RegisterKind::None, {}});
      mnemonicTable[form.index] = table;
      int end = 0;
      addSlot(start, names, table, false, form.rank, end);
      int node = end;
      if (!form.operands.empty()) {
        int next = nfa.add();
        nfa.nodes[node].edges.push_back(Edge{isa_blank, next, kClassBlank});
        node = addSequence(next, form, form.operands);
      }
      int accept = nfa.add();
      nfa.nodes[node].epsilon.push_back(accept);
      nfa.nodes[accept].accepts = form.index;
    }
  }
};

// ---------------------------------------------------------------------------------------
// Deterministic automaton by subset construction.

struct DfaState {
  std::vector<int> nodes;  // sorted NFA node set (epsilon-closed)
  int wordClass = kClassStart;
  std::map<int, int> next;  // character (lower case, pseudo-characters) -> state
  std::vector<int> forms;   // accepted forms, by rank
  int expectedTable = -1;
};

struct Dfa {
  std::vector<DfaState> states;  // index 0 unused, 1 is the start
};

std::vector<int> closure(const Nfa& nfa, std::vector<int> set) {
  std::vector<int> stack = set;
  std::set<int> seen(set.begin(), set.end());
  while (!stack.empty()) {
    int n = stack.back();
    stack.pop_back();
    for (int e : nfa.nodes[n].epsilon)
      if (seen.insert(e).second) stack.push_back(e);
  }
  return std::vector<int>(seen.begin(), seen.end());
}

Dfa determinize(Builder& b, const IsaData& data, int start) {
  Dfa dfa;
  dfa.states.resize(1);
  std::map<std::vector<int>, int> index;
  auto intern = [&](std::vector<int> set, int cls) {
    auto it = index.find(set);
    if (it != index.end()) {
      if (dfa.states[it->second].wordClass != cls) fail("a state is entered with two word classes");
      return it->second;
    }
    int id = static_cast<int>(dfa.states.size());
    index.emplace(set, id);
    DfaState state;
    state.nodes = std::move(set);
    state.wordClass = cls;
    dfa.states.push_back(std::move(state));
    return id;
  };
  intern(closure(b.nfa, {start}), kClassStart);
  for (size_t s = 1; s < dfa.states.size(); ++s) {
    std::map<int, std::pair<std::set<int>, std::set<int>>> moves;  // char -> (targets, classes)
    int bestRank = 1 << 30;
    for (int n : dfa.states[s].nodes) {
      const NfaNode& node = b.nfa.nodes[n];
      for (const Edge& e : node.edges) {
        moves[e.character].first.insert(e.target);
        moves[e.character].second.insert(e.wordClass);
      }
      if (node.accepts >= 0) dfa.states[s].forms.push_back(node.accepts);
      if (node.slotTable >= 0 && node.slotRank < bestRank) {
        bestRank = node.slotRank;
        dfa.states[s].expectedTable = node.slotTable;
      }
    }
    std::sort(dfa.states[s].forms.begin(), dfa.states[s].forms.end(),
              [&](int x, int y) { return data.forms[x].rank < data.forms[y].rank; });
    for (auto& [c, move] : moves) {
      if (move.second.size() != 1) {
        fail("word classes clash on '" + std::string(1, static_cast<char>(c)) + "'");
        continue;
      }
      int target = intern(closure(b.nfa, std::vector<int>(move.first.begin(), move.first.end())),
                          *move.second.begin());
      dfa.states[s].next[c] = target;
    }
  }
  // Value-table pairs: the state in which a name (or a sequence alternative) ends.
  for (size_t s = 1; s < dfa.states.size(); ++s) {
    for (int n : dfa.states[s].nodes) {
      for (auto [table, value] : b.nfa.nodes[n].ends) {
        auto [it, added] = b.tables[table].pairs.emplace(static_cast<int>(s), value);
        if (!added && it->second != value)
          fail("value table " + b.tables[table].label + ": state reached by two names");
      }
    }
  }
  return dfa;
}

// Renumbers the states breadth-first from the start, so that most deltas are small.
void renumber(Dfa& dfa) {
  std::vector<int> order{0, 1};
  std::vector<int> newIndex(dfa.states.size(), -1);
  newIndex[0] = 0, newIndex[1] = 1;
  for (size_t i = 1; i < order.size(); ++i)
    for (auto& [c, t] : dfa.states[order[i]].next)
      if (newIndex[t] < 0) newIndex[t] = static_cast<int>(order.size()), order.push_back(t);
  if (order.size() != dfa.states.size()) fail("unreachable automaton states");
  std::vector<DfaState> states(dfa.states.size());
  for (size_t old = 1; old < dfa.states.size(); ++old) {
    DfaState& s = dfa.states[old];
    for (auto& [c, t] : s.next) t = newIndex[t];
    states[newIndex[old]] = std::move(s);
  }
  dfa.states = std::move(states);
}

// ---------------------------------------------------------------------------------------
// The form list in the notation of the data file, one line per size, names and syntax.

std::string syntaxText(const Form& form) {
  return form.partSyntax.empty() ? "(no operands)" : form.partSyntax;
}

std::vector<std::string> formListLines(const IsaData& data) {
  std::vector<std::string> lines;
  std::string previous;
  int count = 0;
  auto flush = [&] {
    if (count == 0) return;
    lines.push_back("- " + previous + (count > 1 ? " (" + std::to_string(count) + " forms)" : ""));
  };
  for (const Form& form : data.forms) {
    std::string line = form.bits ? std::to_string(form.bits) : "generic";
    for (const Mnemonic& m : form.mnemonics) line += ", " + m.name + (m.plainOnly ? "*" : "");
    line += ": " + syntaxText(form);
    if (line == previous) {
      ++count;
      continue;
    }
    flush();
    previous = line;
    count = 1;
  }
  flush();
  return lines;
}

// ---------------------------------------------------------------------------------------
// Checks of the data.

void checkData(const IsaData& data) {
  std::set<int> ranks;
  std::set<std::string> plainNames;
  int hardware = 0, generic = 0;
  for (const Form& form : data.forms) {
    std::string where = "form at line " + std::to_string(form.line);
    if (!ranks.insert(form.rank).second) fail(where + ": rank used twice");
    if (form.mnemonics.empty()) fail(where + ": no mnemonic");
    (form.bits ? hardware : generic)++;
    for (const Mnemonic& m : form.mnemonics) {
      plainNames.insert(m.name);
      if (form.bits == 0) continue;
      const Format& format = data.formats.at(form.format);
      if (format.bits != form.bits) fail(where + ": size differs from format " + form.format);
      if (m.op2 >= 0 && !format.fields.count("op2")) fail(where + ": op2 given for format without op2");
      if (m.op2 < 0 && format.fields.count("op2")) fail(where + ": " + m.name + " lacks op2");
    }
    // Every field an operand names exists in the format.
    std::vector<const Sequence*> pending{&form.operands};
    while (!pending.empty()) {
      const Sequence* seq = pending.back();
      pending.pop_back();
      for (const Item& item : *seq) {
        for (const Sequence& alt : item.alternatives) pending.push_back(&alt);
        for (const std::string& field : item.fields) {
          if (form.bits == 0) fail(where + ": generic forms have no fields");
          else if (field != "disp4x" && field != "disp4h" && !data.formats.at(form.format).fields.count(field))
            fail(where + ": field " + field + " not in format " + form.format);
        }
      }
    }
  }
  if (ranks.size() != data.forms.size() || (!ranks.empty() && (*ranks.begin() != 1 ||
                                                               *ranks.rbegin() != static_cast<int>(data.forms.size()))))
    fail("ranks must number the forms 1..n");
  std::fprintf(stderr, "isagen: %zu forms (%d hardware, %d generic), %zu mnemonics\n", data.forms.size(),
               hardware, generic, plainNames.size());
}

// Optional cross-check against the published encodings: every opcode pair of the data is a
// row of the encoding list for the same mnemonic (or the one named by as=) and format.
void checkEncodings(const IsaData& data, const std::string& tsvPath) {
  std::ifstream in(tsvPath);
  if (!in) return;
  std::set<std::string> rows;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) cols.push_back(col);
    if (cols.size() < 11 || cols[10] == "-") continue;
    long op1 = std::stol(cols[4], nullptr, 16);
    long op2 = cols[5] == "-" ? -1 : std::stol(cols[5], nullptr, 16);
    rows.insert(cols[0] + "|" + cols[3] + "|" + std::to_string(op1) + "|" + std::to_string(op2));
  }
  for (const Form& form : data.forms) {
    if (form.bits == 0) continue;
    for (const Mnemonic& m : form.mnemonics) {
      std::string name = m.encodedAs.empty() ? m.name : m.encodedAs;
      std::string key = name + "|" + form.format + "|" + std::to_string(m.op1) + "|" + std::to_string(m.op2);
      if (!rows.count(key)) fail("form at line " + std::to_string(form.line) + ": " + m.name +
                                 " has no published encoding " + key);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Emission.

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

uint32_t mnemonicValue(const Mnemonic& m) {
  return static_cast<uint32_t>(m.op1 | (m.op2 >= 0 ? m.op2 << 8 : 0));
}

// Field runs of a named field, with the mnemonic's op1/op2 runs for the mnemonic slot.
std::vector<FieldRun> runsOf(const Format& format, const std::string& field) {
  if (field == "disp4x") {
    std::vector<FieldRun> runs = format.fields.at("disp4");
    runs.push_back(FieldRun{1, 4, 7});
    return runs;
  }
  if (field == "disp4h") return format.fields.at("disp4");
  return format.fields.at(field);
}

struct Emitter {
  const IsaData& data;
  Builder& b;
  Dfa& dfa;
  std::ostringstream out;
  int counter = 0;
  std::vector<std::string> specNames;  // every emitted spec list, in order

  std::string fresh(const char* prefix) { return std::string(prefix) + std::to_string(counter++); }

  // A run must stay within a 64-bit value and within the 256-bit image; the encoder
  // refuses one that does not, so a broken run fails here, at build time.
  void checkRuns(const std::vector<FieldRun>& runs) {
    for (const FieldRun& r : runs)
      if (r.length < 1 || r.valueLo < 0 || r.bitLo < 0 || r.valueLo + r.length > 64 || r.bitLo + r.length > 256)
        fail("field run outside the value or the image");
  }

  std::string emitFieldMap(const std::vector<FieldRun>& runs, uint32_t mask = 0) {
    if (runs.empty()) return "nullptr";
    checkRuns(runs);
    std::string runsName = fresh("kRuns");
    out << "const OperandMapping " << runsName << "[] = {";
    for (const FieldRun& r : runs) out << "{" << r.length << ", " << r.valueLo << ", " << r.bitLo << "}, ";
    out << "};\n";
    std::string maskName = "kZero";
    if (mask) {
      maskName = fresh("kMask");
      out << "const FieldConstant " << maskName << " = {1, 0x" << std::hex << mask << std::dec << "u};\n";
    }
    std::string mapName = fresh("kFields");
    out << "const OperandFieldMap " << mapName << " = {&" << maskName << ", &" << (mask ? "kExpectZero" : "kZero")
        << ", " << runs.size() << ", " << runsName << "};\n";
    return "&" + mapName;
  }

  // How many low value bits a field drops: branch displacements count halfwords, short
  // offsets count access units.
  static int scaleOf(const Item& item, const std::string& field) {
    if (item.exprName == "label" || field == "disp4x" || field == "disp4h") return 1;
    if (field == "off4") return item.hi >= 60 ? 2 : item.hi >= 30 ? 1 : 0;
    if (field == "const8" && item.hi == 1020) return 2;
    return 0;
  }

  // The base register tag of a form of a five-form addressing line, or empty.
  static std::string baseTagOf(const Form& form) {
    for (const std::string& tag : form.when)
      if (tag == "a0" || tag == "a1" || tag == "a8" || tag == "a9" || tag == "aother") return tag;
    return {};
  }

  static int relocationOf(const Item& item, const std::string& field, const std::string& baseTag) {
    if (item.exprName == "label") return field == "disp24" ? 3 : field == "disp15" ? 11 : 0;
    if (item.exprName == "address") return 4;
    if (field == "off18") return 9;
    // An offset can only be relocated against one of the dedicated base registers (small
    // data a0, literal data a1, the global registers a8 and a9); any other base register
    // leaves the field to be known at layout.
    static const std::map<std::string, std::pair<int, int>> byBase = {
        {"a0", {10, 5}}, {"a1", {12, 13}}, {"a8", {14, 15}}, {"a9", {16, 17}}};
    auto codes = byBase.find(baseTag);
    if (codes == byBase.end()) return 0;
    if (field == "off10") return codes->second.first;
    if (field == "off16") return codes->second.second;
    return 0;
  }

  // Positions in a sequence's operand value array, numbered as emitSequence numbers them:
  // every slot, expression and choice takes the next one, in text order.
  struct Positions {
    int base = -1;      // the address register (or pair) in brackets
    int target = -1;    // an address register outside the brackets
    int offset16 = -1;  // a 16-bit offset
    int circularOffset = -1;  // the offset after "[Pn+c]"
    std::vector<std::pair<int, int64_t>> fixed;  // expressions with a fixed value
  };

  static Positions positionsOf(const Sequence& seq) {
    Positions positions;
    int index = 0;
    for (const Item& item : seq) {
      bool hasField = [&](const char* name) {
        for (const std::string& f : item.fields)
          if (f == name) return true;
        return false;
      }("s2");
      switch (item.kind) {
        case Item::Slot:
          if ((item.reg == RegisterKind::Address || item.reg == RegisterKind::AddressPair) && hasField &&
              positions.base < 0)
            positions.base = index;
          else if (item.reg == RegisterKind::Address && positions.target < 0)
            positions.target = index;
          ++index;
          break;
        case Item::Expression:
          if (item.fixed) positions.fixed.emplace_back(index, item.lo);
          for (const std::string& f : item.fields)
            if (f == "off16") positions.offset16 = index;
          if (&item != seq.data() && (&item - 1)->kind == Item::Literal && (&item - 1)->text.ends_with("+c]"))
            positions.circularOffset = index;
          ++index;
          break;
        case Item::Choice:
          ++index;
          break;
        default:
          break;
      }
    }
    return positions;
  }

  // The argument of a condition item: the operands its builder reads (AttributeSpecItem).
  static std::string reads(std::initializer_list<int> operands) {
    uint32_t mask = 0;
    for (int index : operands) mask |= 1u << index;
    return "AttributeSpecItem::kReadsKnown | " + std::to_string(mask) + "u";
  }
  // The same for a builder that reads nothing else: no option, no state of the line.
  static std::string readsOnly(std::initializer_list<int> operands) {
    return "AttributeSpecItem::kReadsOnlyThem | " + reads(operands);
  }

  // A "when" item; the message is the E122 text, null for a condition that drops the form
  // without one.
  static std::string whenItem(const std::string& builder, const std::string& argument, const char* message) {
    return "{ATTR_when, AttributeSpecItem::kOperand, " + argument + ", " +
           (message ? quote(message) : std::string("nullptr")) + ", &isa::conditions::" + builder + "}";
  }

  // A fixed value (the 0 of "#0", the step of a post-increment) is written as an
  // expression: the form holds only when the expression has that value.
  static void addFixedValueConditions(const Positions& positions, std::vector<std::string>& items) {
    for (auto [index, value] : positions.fixed)
      items.push_back(whenItem("operandIs<" + std::to_string(index) + ", " + std::to_string(value) + ">",
                               readsOnly({index}), nullptr));
  }

  // The spec list of a form's description, from its "when" tags in their order; the
  // conditions of the operands come first, as they would from their own sequences.
  std::vector<std::string> formSpecItems(const Form& form, int mnemonicSecond) {
    Positions positions = positionsOf(form.operands);
    std::vector<std::string> items;
    addFixedValueConditions(positions, items);
    auto need = [&](int index, const std::string& tag) {
      if (index < 0) fail("form at line " + std::to_string(form.line) + ": no operand for the tag " + tag);
      return std::to_string(index);
    };
    static const std::map<std::string, std::pair<const char*, const char*>> options = {
        {"kernel", {"kernelMode", "kernel instructions are not allowed"}},
        {"user1", {"userMode1OrKernel", "user-1 instructions are not allowed"}},
        {"mmu", {"mmuPresent", "mmu instructions are not allowed"}},
        {"fpu", {"fpuPresent", "fpu instructions are not allowed"}},
        {"tc131", {"coreTc131OrNewer", "TC1.3.1/TC1.6/TC1.6.X instructions are not allowed"}},
        {"tc16", {"coreTc16OrNewer", "TC1.6/TC1.6.X instructions are not allowed"}},
        {"tc16x", {"coreTc16x", "TC1.6.X instructions are not allowed"}},
        {"notc16", {"notCoreTc16", nullptr}},
        {"generics", {"genericsEnabled", nullptr}},
    };
    static const std::map<std::string, int> dedicatedBases = {{"a0", 0}, {"a1", 1}, {"a8", 8}, {"a9", 9}};
    const char* modified = "target register may not be modified by addressing mode";
    auto at = [&](int index, const std::string& tag) { return std::stoi(need(index, tag)); };
    // The run-time side knows the operand actions by their instances below this bound
    // (isa::conditions::kActionOperandLimit).
    auto actionOperand = [&](int index, const std::string& tag) {
      if (index >= 16) fail("form at line " + std::to_string(form.line) + ": operand of " + tag + " beyond 15");
      return need(index, tag);
    };
    for (const std::string& tag : form.when) {
      if (auto option = options.find(tag); option != options.end()) {
        items.push_back(whenItem(option->second.first, reads({}), option->second.second));
      } else if (auto base = dedicatedBases.find(tag); base != dedicatedBases.end()) {
        items.push_back(whenItem(
            "baseRegisterIs<" + need(positions.base, tag) + ", " + std::to_string(base->second) + ">",
            readsOnly({at(positions.base, tag)}), nullptr));
      } else if (tag == "aother") {
        items.push_back(whenItem("baseRegisterIsOther<" + need(positions.base, tag) + ">",
                                 readsOnly({at(positions.base, tag)}), nullptr));
      } else if (tag == "notbase") {
        items.push_back(whenItem(
            "targetIsNotBase<" + need(positions.target, tag) + ", " + need(positions.base, tag) + ">",
            readsOnly({at(positions.target, tag), at(positions.base, tag)}), modified));
      } else if (tag == "notpair") {
        items.push_back(whenItem(
            "targetIsNotPairIndex<" + need(positions.target, tag) + ", " + need(positions.base, tag) + ">",
            readsOnly({at(positions.target, tag), at(positions.base, tag)}), modified));
      } else if (tag == "off16warn") {
        items.push_back("{ATTR_warning, AttributeSpecItem::kOperand, " + readsOnly({at(positions.offset16, tag)}) + ", " +
                        quote("offset is in range [32768:65535], but should be in range [-32768:32767]") +
                        ", &isa::conditions::offsetAbove32767<" + need(positions.offset16, tag) + ">}");
      } else if (tag == "iewarn") {
        // One warning per mnemonic, holding for its own second value; besides that operand
        // the builder reads the option, so the item does not say it reads the operand only.
        for (const Mnemonic& m : form.mnemonics) {
          if (m.second < 0)
            fail("form at line " + std::to_string(form.line) + ": " + m.name + " lacks second= for iewarn");
          items.push_back("{ATTR_warning, AttributeSpecItem::kOperand, " + reads({at(mnemonicSecond, tag)}) + ", " +
                          quote("Instruction '" + m.name + "' is used") + ", &isa::conditions::interruptEnableAccess<" +
                          need(mnemonicSecond, tag) + ", " + std::to_string(m.second) + ">}");
        }
      } else if (tag == "tc023") {
        items.push_back(whenItem("noCpuTc023<" + need(mnemonicSecond, tag) + ", " + need(positions.target, tag) + ">",
                                 reads({at(mnemonicSecond, tag), at(positions.target, tag)}),
                                 "CPU functional defect CPU_TC.023"));
      } else if (tag == "oldswap") {
        items.push_back(whenItem("oldSwapSyntax", reads({}), nullptr));
      } else if (tag == "defect") {
        items.push_back(whenItem("operandDefect<" + actionOperand(mnemonicSecond, tag) + ">",
                                 reads({at(mnemonicSecond, tag)}), nullptr));
      } else if (tag == "defect1") {
        items.push_back(whenItem("defectAlways", reads({}), nullptr));
      } else if (tag == "cor10" || tag == "cor10defect") {
        items.push_back(whenItem(std::string(tag == "cor10" ? "circularOffsetCor10<" : "circularOffsetCor10ThenDefect<") +
                                     actionOperand(positions.circularOffset, tag) + ">",
                                 reads({at(positions.circularOffset, tag)}), nullptr));
      } else if (tag == "default") {
        items.push_back("{ATTR_default, AttributeSpecItem::kNone, 0, nullptr, nullptr}");
      } else if (tag != "post") {
        // post: the step is a fixed value, checked above.
        fail("form at line " + std::to_string(form.line) + ": unknown when tag " + tag);
      }
    }
    return items;
  }

  std::string emitSpec(const std::vector<std::string>& items) {
    std::string name = fresh("kSpec");
    specNames.push_back(name);
    out << "const AttributeSpecItem " << name << "[] = {";
    for (const std::string& item : items) out << item << ", ";
    out << "{ATTR_end, AttributeSpecItem::kNone, 0, nullptr, nullptr}};\n";
    return name;
  }

  // The spec list of attribute items ("nullptr" for none); equal lists are emitted once.
  std::map<std::string, std::string> attributeSpecs;
  const Sequence* topSequence = nullptr;  // the form's operand list being emitted
  std::string attributeSpec(const std::vector<std::string>& items) {
    if (items.empty()) return "nullptr";
    std::string key;
    for (const std::string& item : items) key += item + ";";
    auto [it, added] = attributeSpecs.emplace(key, std::string());
    if (added) it->second = emitSpec(items);
    return it->second;
  }

  // Whether item `position` of a generic form's operands is an expression that the expansion
  // writes as the source has it: an immediate after "#", a bit position after ":". The
  // hardware forms read these operands' values only.
  static bool keptAsWritten(const Sequence& seq, size_t position) {
    if (position == 0 || position >= seq.size() || seq[position].kind != Item::Expression) return false;
    const Item& before = seq[position - 1];
    return before.kind == Item::Literal && (before.text.ends_with("#") || before.text.ends_with(":"));
  }

  // Such an operand as an operand sequence (the "#", when written, and the expression), whose
  // text the walk stores at the operand index; its value goes to the sequence's own array.
  std::string emitWrittenOperand(const Item& before, const std::string& name, int operandIndex,
                                 const std::string& spec) {
    std::string sequence = fresh("kSequence");
    out << "extern const OperandSequence " << sequence << ";\n";
    std::vector<std::string> elements;
    if (before.text.ends_with("#")) {
      std::string text = fresh("kText"), hash = fresh("kItem");
      out << "const char " << text << "[] = \"#\";\n";
      out << "const PatternItem " << hash << " = {isa::kItemLiteral, " << text << ", -1, -1, nullptr, nullptr, 1};\n";
      elements.push_back(hash);
    }
    std::string transforms = fresh("kTransforms"), value = fresh("kItem");
    out << "const OperandTransform " << transforms << "[] = {{OperandTransform::kEnd, 0, 0, nullptr}};\n";
    out << "const PatternItem " << value << " = {isa::kItemExpression, " << transforms
        << ", -1, 0, nullptr, nullptr};\n";
    elements.push_back(value);
    out << "const PatternElement " << sequence << "Elements[] = {";
    for (const std::string& element : elements) out << "{23, &" << sequence << ", &" << element << ", {0, 0}}, ";
    out << "};\n";
    out << "const InstructionDescription " << sequence << "Description = {0, &kTemplateZero, 1, nullptr, nullptr, "
        << "0, 0, 0};\n";
    out << "const OperandSequence " << sequence << " = {5, 0, &" << sequence << "Description, " << sequence
        << "Elements, " << elements.size() << "};\n";
    out << "const PatternItem " << name << " = {isa::kItemSequence, &" << sequence << ", " << operandIndex
        << ", -1, nullptr, " << spec << "};\n";
    return name;
  }

  // A C string literal of any text.
  static std::string quoteText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '\n') out += "\\n";
      else if (c == '\t') out += "\\t";
      else if (c == '"' || c == '\\') out += '\\', out += c;
      else out += c;
    }
    return out + "\"";
  }

  // A generic form's description: its expand lines as template entries, each a list of
  // texts and operands. The operands of the syntax take the indexes 0 up to mnemonicIndex,
  // in the order written; the mnemonic and its second value follow.
  std::string emitGenericDescription(const Form& form, int operandCount, const std::string& spec, int mnemonicIndex,
                                     int secondIndex) {
    std::string where = "form at line " + std::to_string(form.line);
    if (form.expansions.empty()) fail(where + ": generic form without expand line");
    std::vector<std::string> entries;
    for (const std::string& line : form.expansions) {
      std::vector<std::string> items;
      std::string text;
      auto flushText = [&] {
        if (!text.empty()) items.push_back("{TemplateItem::kText, 0, " + quoteText(text) + "}");
        text.clear();
      };
      for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
          char escaped = line[++i];
          if (escaped == 't') text += '\t';
          else if (escaped == 'n') text += '\n';
          else if (escaped == '\\' || escaped == '{') text += escaped;
          else fail(where + ": unknown escape in expand line");
        } else if (c == '{') {
          size_t close = line.find('}', i);
          if (close == std::string::npos) {
            fail(where + ": unclosed { in expand line");
            break;
          }
          std::string name = line.substr(i + 1, close - i - 1);
          i = close;
          int index = -1;
          if (name == "mnemonic") index = mnemonicIndex;
          else if (name == "second") index = secondIndex;
          else if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            index = std::stoi(name) >= 1 && std::stoi(name) <= mnemonicIndex ? std::stoi(name) - 1 : -1;
          if (index < 0) fail(where + ": expand line names no operand {" + name + "}");
          flushText();
          items.push_back("{TemplateItem::kOperand, " + std::to_string(index) + ", nullptr}");
        } else {
          text += c;
        }
      }
      flushText();
      std::string itemsName = fresh("kTemplateItems");
      out << "const TemplateItem " << itemsName << "[] = {";
      for (const std::string& item : items) out << item << ", ";
      out << "{TemplateItem::kEnd, 0, nullptr}};\n";
      entries.push_back("{ExpansionTemplate::kMarker, 0, nullptr, nullptr, " + itemsName + "}");
    }
    for (const Mnemonic& m : form.mnemonics)
      if (secondIndex >= 0 && m.secondText.empty()) fail(where + ": " + m.name + " lacks the second text");
    std::string templates = fresh("kExpansion");
    out << "const ExpansionTemplate " << templates << "[] = {";
    for (const std::string& entry : entries) out << entry << ", ";
    out << "{0, 0, nullptr, nullptr, nullptr}};\n";
    std::string generic = fresh("kGeneric");
    out << "const GenericDescription " << generic << " = {" << operandCount << ", " << templates << ", " << spec
        << ", nullptr};\n";
    return generic;
  }

  // Emits the items of a sequence; returns the name of its PatternElement array.
  std::string emitSequence(const Form& form, const Sequence& seq, const std::string& owner, int& operandIndex,
                           size_t& choiceNumber, std::string& countOut) {
    const Format* format = form.bits ? &data.formats.at(form.format) : nullptr;
    std::vector<std::string> items;
    // "[An-]n" and "[-An]n" are the increment modes with the offset negated.
    bool negated = false;
    for (const Item& item : seq)
      if (item.kind == Item::Literal &&
          (item.text.find("-]") != std::string::npos || item.text.find("[-") != std::string::npos))
        negated = true;
    for (const Item& item : seq) {
      std::string name = fresh("kItem");
      std::string itemSpec = attributeSpec(
          operandAttributeItems(form, seq, static_cast<size_t>(&item - seq.data()), &seq == topSequence));
      size_t position = static_cast<size_t>(&item - seq.data());
      if (form.bits == 0 && keptAsWritten(seq, position)) {
        items.push_back(emitWrittenOperand(seq[position - 1], name, operandIndex++, itemSpec));
        continue;
      }
      // The "#" before an immediate kept as written belongs to the immediate.
      std::string literal = item.text;
      if (form.bits == 0 && keptAsWritten(seq, position + 1) && literal.ends_with("#")) literal.pop_back();
      if (item.kind == Item::Literal && literal.empty()) continue;
      std::string fields = "nullptr";
      // Expression items make their own field map, scaled and masked.
      if (format && !item.fields.empty() && item.kind == Item::Slot) {
        std::vector<FieldRun> runs;
        for (const std::string& f : item.fields)
          for (const FieldRun& r : runsOf(*format, f)) runs.push_back(r);
        fields = emitFieldMap(runs);
      }
      switch (item.kind) {
        case Item::Literal: {
          std::string text = fresh("kText");
          out << "const char " << text << "[] = " << quote(literal) << ";\n";
          out << "const PatternItem " << name << " = {isa::kItemLiteral, " << text << ", -1, -1, nullptr, nullptr, "
              << literal.size() << "};\n";
          break;
        }
        case Item::Blank:
          break;
        case Item::Slot:
          // A hardware form reads the register's number, a generic form writes its name.
          out << "const PatternItem " << name << " = {isa::kItemSlot, &kRegisterSlot" << b.registerTable.at(item.reg)
              << (form.bits ? ", -1, " + std::to_string(operandIndex++) : ", " + std::to_string(operandIndex++) + ", -1")
              << ", " << fields << ", " << itemSpec << "};\n";
          break;
        case Item::Expression: {
          std::string field = item.fields.empty() ? std::string() : item.fields[0];
          int scale = scaleOf(item, field);
          uint32_t mask = scale ? (1u << scale) - 1 : 0;
          std::vector<FieldRun> runs;
          if (format && !item.fields.empty()) {
            for (const std::string& f : item.fields)
              for (FieldRun r : runsOf(*format, f)) r.valueLo += scale, runs.push_back(r);
          }
          if (item.exprName == "address" && field == "disp24") {
            // An absolute target keeps address bits 1..20 and 28..31.
            runs = {FieldRun{16, 1, 16}, FieldRun{4, 17, 8}, FieldRun{4, 28, 12}};
            mask = 0x0FE00001u;
          }
          std::string transforms = fresh("kTransforms");
          out << "const OperandTransform " << transforms << "[] = {";
          // A fixed value is checked by the form's condition, which drops the form when the
          // value differs; a range check would only report an error for a dropped form.
          if (item.hasRange && !item.fixed)
            out << "{OperandTransform::kRange, " << item.lo << "LL, " << item.hi << "LL, nullptr}, ";
          if (form.bits && item.exprName == "label") {
            out << "{OperandTransform::kPcRelative, " << (field == "disp4h" ? 32 : 0) << ", 0, nullptr}, ";
            // The distance the field reaches, in bytes: signed displacements, forward-only
            // short ones, and the short loop that only goes back.
            int64_t lo = 0, hi = 0;
            if (field == "disp24") lo = -(1LL << 24), hi = (1LL << 24) - 2;
            else if (field == "disp15") lo = -(1LL << 15), hi = (1LL << 15) - 2;
            else if (field == "disp8") lo = -(1LL << 8), hi = (1LL << 8) - 2;
            else if (field == "disp4" && form.mnemonics[0].name == "loop") lo = -32, hi = -2;
            else if (field == "disp4" || field == "disp4h") lo = 0, hi = 30;
            if (lo != hi)
              out << "{OperandTransform::kRange, " << lo << "LL, " << hi << "LL, nullptr}, ";
          }
          if (int code = form.bits ? relocationOf(item, field, baseTagOf(form)) : 0)
            out << "{OperandTransform::kRelocation, " << code << ", 0, nullptr}, ";
          if (form.bits && negated && !item.fixed)
            out << "{10, 0, 0, reinterpret_cast<void (*)()>(&negateOperand)}, ";
          out << "{OperandTransform::kEnd, 0, 0, nullptr}};\n";
          if (format && field == "off18") {
            // The absolute address is a small form of its own: address bits 0..13 and
            // 28..31 make the 18-bit field, which the format scatters over the word.
            std::string innerFields = emitFieldMap({FieldRun{14, 0, 0}, FieldRun{4, 28, 14}}, 0x0FFFC000u);
            std::string inner = fresh("kItem");
            out << "const PatternItem " << inner << " = {isa::kItemExpression, " << transforms << ", -1, 0, "
                << innerFields << ", nullptr};\n";
            std::string seqName = fresh("kSequence");
            out << "extern const OperandSequence " << seqName << ";\n";
            out << "const PatternElement " << seqName << "Elements[] = {{23, &" << seqName << ", &" << inner
                << ", {0, 0}}};\n";
            out << "const InstructionDescription " << seqName << "Description = {18, &kTemplateZero, 1, nullptr, "
                << "nullptr, 0, 0, 0};\n";
            out << "const OperandSequence " << seqName << " = {5, 0, &" << seqName << "Description, " << seqName
                << "Elements, 1};\n";
            std::string outer = emitFieldMap(format->fields.at("off18"));
            out << "const PatternItem " << name << " = {isa::kItemSequence, &" << seqName << ", " << operandIndex++
                << ", -1, " << outer << ", " << itemSpec << "};\n";
            break;
          }
          fields = format && !runs.empty() ? emitFieldMap(runs, mask) : "nullptr";
          out << "const PatternItem " << name << " = {isa::kItemExpression, " << transforms << ", -1, "
              << operandIndex++ << ", " << fields << ", " << itemSpec << "};\n";
          break;
        }
        case Item::Choice: {
          int table = b.choiceTables[form.index].at(choiceNumber++);
          std::vector<std::string> sequences;
          for (const Sequence& alternative : item.alternatives) {
            int nestedIndex = 0;
            std::string count;
            std::string seqName = fresh("kSequence");
            out << "extern const OperandSequence " << seqName << ";\n";
            std::string elements = emitSequence(form, alternative, seqName, nestedIndex, choiceNumber, count);
            std::vector<std::string> specItems;
            addFixedValueConditions(positionsOf(alternative), specItems);
            std::string spec = specItems.empty() ? std::string("nullptr") : emitSpec(specItems);
            std::string description = fresh("kSequenceDescription");
            out << "const InstructionDescription " << description << " = {" << form.bits << ", &kTemplateZero, "
                << nestedIndex << ", " << spec << ", nullptr, 0, 0, 0};\n";
            out << "const OperandSequence " << seqName << " = {5, 0, &" << description << ", " << elements << ", "
                << count << "};\n";
            sequences.push_back(seqName);
          }
          std::string choice = fresh("kChoice");
          out << "extern const SequenceChoice " << choice << ";\n";
          out << "const ChoiceElement " << choice << "Elements[] = {";
          for (const std::string& s : sequences) out << "{17, &" << choice << ", &" << s << ", {0, 0}}, ";
          out << "};\n";
          out << "const SequenceChoice " << choice << " = {7, 0, &kValueTables[" << table << "], " << choice
              << "Elements, " << sequences.size() << "};\n";
          // The alternatives place their bits where the form has them: the choice copies
          // its sub-encoding unmoved.
          std::string identity = form.bits ? emitFieldMap({FieldRun{form.bits, 0, 0}}) : std::string("nullptr");
          out << "const PatternItem " << name << " = {isa::kItemSequenceChoice, &" << choice << ", "
              << operandIndex++ << ", -1, " << identity << ", nullptr};\n";
          break;
        }
      }
      if (item.kind != Item::Blank) items.push_back(name);
    }
    countOut = std::to_string(items.size());
    if (items.empty()) return "nullptr";
    std::string elements = fresh("kElements");
    out << "const PatternElement " << elements << "[] = {";
    for (const std::string& i : items) out << "{23, &" << owner << ", &" << i << ", {0, 0}}, ";
    out << "};\n";
    return elements;
  }

  void emit(const std::string& path) {
    out << "// Generated by isagen from tricore.isa. Do not edit.\n";
    out << "#include \"isa/ConditionBuilders.h\"\n";
    out << "#include \"isa/IPAttribute.h\"\n";
    out << "#include \"isa/InstructionTables.h\"\n\n";
    out << "class OrbaExpression;\nstruct LineInfo;\n";
    out << "OrbaExpression* negateOperand(LineInfo* context, OrbaExpression** argument);\n\nnamespace {\n\n";
    out << "const FieldConstant kZero = {10, 0};\n";
    out << "const FieldConstant kExpectZero = {1, 0};\n";
    out << "const OpcodeTemplate kTemplateZero = {1, {0}};\n";
    out << "const OperandValueTable kValueTables[] = {\n";
    for (size_t t = 0; t < b.tables.size(); ++t)
      out << "  {" << (b.tables[t].text.empty() ? "nullptr" : quote(b.tables[t].text)) << ", " << t << "},\n";
    out << "};\n\n";

    // Register records and slots, shared by all forms.
    for (auto [kind, table] : b.registerTable) {
      const auto& names = registerNames(kind);
      const auto& numbers = registerNumbers(kind);
      std::vector<std::string> registerSpecs;
      for (int number : numbers) registerSpecs.push_back(attributeSpec(registerAttributeItems(kind, number)));
      out << "const RegisterRecord kRegisters" << table << "[] = {\n";
      for (size_t i = 0; i < names.size(); ++i)
        out << "  {" << quote(names[i]) << ", 10, " << numbers[i] << ", 10, {" << numbers[i]
            << "u}, {0, 0}, " << registerSpecs[i] << ", " << names[i].size() << "},\n";
      out << "};\n";
      out << "extern const OperandSlot kRegisterSlot" << table << ";\n";
      out << "const NameElement kRegisterNames" << table << "[] = {\n";
      for (size_t i = 0; i < names.size(); ++i)
        out << "  {22, &kRegisterSlot" << table << ", &kRegisters" << table << "[" << i << "], {0, 0}},\n";
      out << "};\n";
      out << "const OperandSlot kRegisterSlot" << table << " = {2, 0, &kValueTables[" << table << "], "
          << (names.empty() ? "nullptr" : "kRegisterNames" + std::to_string(table)) << ", " << names.size()
          << "};\n";
    }

    // Forms.
    std::vector<std::string> alternativeNames;
    for (const Form& form : data.forms) {
      std::string f = std::to_string(form.index);
      int table = b.mnemonicTable[form.index];
      out << "\n// " << (form.bits ? std::to_string(form.bits) : "generic") << " " << form.mnemonics[0].name << " "
          << syntaxText(form) << "\n";
      std::vector<std::string> mnemonicSpecs;
      for (const Mnemonic& m : form.mnemonics)
        for (const std::string& n : acceptedNames(form, m))
          mnemonicSpecs.push_back(attributeSpec(mnemonicAttributeItems(form, m, n)));
      out << "const RegisterRecord kMnemonics" << f << "[] = {\n";
      int names = 0;
      for (const Mnemonic& m : form.mnemonics) {
        for (const std::string& n : acceptedNames(form, m)) {
          uint32_t value = form.bits ? mnemonicValue(m) : 0;
          uint32_t second = m.second >= 0 ? static_cast<uint32_t>(m.second) : value;
          std::string secondValue = m.secondText.empty() ? "10, {" + std::to_string(second) + "u}"
                                                         : "12, {.text = " + quote(m.secondText) + "}";
          out << "  {" << quote(n) << ", 10, " << value << "u, " << secondValue << ", {0, 0}, "
              << mnemonicSpecs[names] << ", " << n.size() << "},\n";
          ++names;
        }
      }
      out << "};\n";
      out << "extern const OperandSlot kMnemonicSlot" << f << ";\n";
      out << "const NameElement kMnemonicNames" << f << "[] = {\n";
      for (int i = 0; i < names; ++i)
        out << "  {22, &kMnemonicSlot" << f << ", &kMnemonics" << f << "[" << i << "], {0, 0}},\n";
      out << "};\n";
      out << "const OperandSlot kMnemonicSlot" << f << " = {2, 0, &kValueTables[" << table << "], kMnemonicNames"
          << f << ", " << names << "};\n";
      out << "extern const MatchAlternative kAlternative" << f << ";\n";

      int operandIndex = 0;
      size_t choiceNumber = 0;
      std::string count;
      // The mnemonic's element comes first; its operand index follows the operands'.
      Sequence all = form.operands;
      topSequence = &all;
      std::string operandElements =
          emitSequence(form, all, "kAlternative" + f, operandIndex, choiceNumber, count);
      std::vector<FieldRun> mnemonicRuns;
      if (form.bits) {
        const Format& format = data.formats.at(form.format);
        for (const FieldRun& r : format.fields.at("op1")) mnemonicRuns.push_back(r);
        if (format.fields.count("op2"))
          for (FieldRun r : format.fields.at("op2")) r.valueLo += 8, mnemonicRuns.push_back(r);
      }
      for (const FieldRun& r : mnemonicRuns)
        if (r.valueLo + r.length > 32) fail("form at line " + std::to_string(form.line) + ": opcode run beyond 32 bits");
      std::string mnemonicFields = emitFieldMap(mnemonicRuns);
      // A hardware mnemonic's second value (which of calli, ji, jli) is an operand of the
      // form's conditions.
      bool hasSecond = false;
      // A generic mnemonic's second value is the text its expansion writes.
      for (const Mnemonic& m : form.mnemonics)
        hasSecond = hasSecond || (form.bits && m.second >= 0) || !m.secondText.empty();
      int mnemonicSecond = hasSecond ? operandIndex + 1 : -1;
      out << "const PatternItem kMnemonicItem" << f << " = {isa::kItemSlot, &kMnemonicSlot" << f << ", "
          << operandIndex << ", " << mnemonicSecond << ", " << mnemonicFields << ", nullptr};\n";
      int operandCount = operandIndex + (hasSecond ? 2 : 1);
      std::vector<std::string> descriptionItems = formSpecItems(form, mnemonicSecond);
      for (const std::string& item : descriptionAttributeItems(form)) descriptionItems.push_back(item);
      std::string spec = emitSpec(descriptionItems);
      int elementCount = 1 + std::stoi(count) + (form.operands.empty() ? 0 : 1);
      if (!form.operands.empty()) {
        out << "const char kBlank" << f << "[] = \" \";\n";
        out << "const PatternItem kBlankItem" << f << " = {isa::kItemLiteral, kBlank" << f
            << ", -1, -1, nullptr, nullptr, 1};\n";
      }
      out << "const PatternElement kFormElements" << f << "[] = {\n  {23, &kAlternative" << f
          << ", &kMnemonicItem" << f << ", {0, 0}},\n";
      if (!form.operands.empty()) {
        out << "  {23, &kAlternative" << f << ", &kBlankItem" << f << ", {0, 0}},\n";
        // The operand elements follow; they were emitted as their own array, copied here.
      }
      out << "};\n";
      // Concatenate: a second array holding all elements in text order.
      out << "const PatternElement kAllElements" << f << "[] = {\n  kFormElements" << f << "[0],\n";
      if (!form.operands.empty()) {
        out << "  kFormElements" << f << "[1],\n";
        for (int i = 0; i < std::stoi(count); ++i) out << "  " << operandElements << "[" << i << "],\n";
      }
      out << "};\n";
      if (form.bits) {
        out << "const OpcodeTemplate kTemplate" << f << " = {1, {0x" << std::hex << form.opcodeTemplate << std::dec
            << "u}};\n";
        out << "const InstructionDescription kDescription" << f << " = {" << form.bits << ", &kTemplate" << f
            << ", " << operandCount << ", " << spec << ", nullptr, 0, 0, 0};\n";
        out << "const MatchAlternative kAlternative" << f << " = {isa::kHardwareForm, 0, &kDescription" << f
            << ", kAllElements" << f << ", " << elementCount << ", " << form.index << "};\n";
      } else {
        std::string generic = emitGenericDescription(form, operandCount, spec, operandIndex, mnemonicSecond);
        out << "const MatchAlternative kAlternative" << f << " = {isa::kGenericForm, 0, nullptr, kAllElements" << f
            << ", " << elementCount << ", " << form.index << ", &" << generic << "};\n";
      }
      alternativeNames.push_back("kAlternative" + f);
    }

    // Accepting lists and delta rows.
    std::map<std::vector<int16_t>, int> rowIndex;
    std::vector<std::vector<int16_t>> rows;
    struct Row {
      int row, lo, hi;
    };
    std::vector<Row> stateRows(dfa.states.size());
    size_t transitions = 0;
    for (size_t s = 0; s < dfa.states.size(); ++s) {
      DfaState& st = dfa.states[s];
      std::map<int, int> full;
      for (auto [c, t] : st.next) {
        full[c] = t;
        if (std::islower(c)) full[std::toupper(c)] = t;
      }
      transitions += full.size();
      std::vector<int16_t> row;
      int lo = 0, hi = 0;
      if (full.empty()) {
        row.push_back(kNoTransition);
      } else {
        lo = full.begin()->first, hi = full.rbegin()->first;
        row.assign(hi - lo + 1, kNoTransition);
        for (auto [c, t] : full) {
          long delta = static_cast<long>(t) - static_cast<long>(s);
          if (delta < -32767 || delta > 32767) fail("delta does not fit 16 bits");
          row[c - lo] = static_cast<int16_t>(delta);
        }
      }
      auto [it, added] = rowIndex.emplace(row, static_cast<int>(rows.size()));
      if (added) rows.push_back(row);
      stateRows[s] = Row{it->second, lo, hi};
    }
    out << "\nconst int16_t kRows[] = {\n";
    std::vector<size_t> rowOffset;
    size_t offset = 0;
    for (const auto& row : rows) {
      rowOffset.push_back(offset);
      out << " ";
      for (int16_t d : row) out << " " << d << ",";
      out << "\n";
      offset += row.size();
    }
    out << "};\n";
    for (size_t s = 1; s < dfa.states.size(); ++s) {
      const DfaState& st = dfa.states[s];
      if (st.forms.empty()) continue;
      out << "const MatchAlternative* const kAccept" << s << "[] = {";
      for (int form : st.forms) out << "&" << alternativeNames[form] << ", ";
      out << "nullptr};\n";
    }
    out << "\nconst MatchState kStates[] = {\n";
    for (size_t s = 0; s < dfa.states.size(); ++s) {
      const DfaState& st = dfa.states[s];
      const Row& r = stateRows[s];
      out << "  {kRows + " << rowOffset[r.row] << ", " << r.lo << ", " << r.hi << ", " << (st.wordClass << 1)
          << ", " << st.forms.size() << ", "
          << (st.forms.empty() ? std::string("nullptr") : "kAccept" + std::to_string(s)) << ", "
          << (st.expectedTable >= 0 ? "&kRegisterSlot" + std::to_string(st.expectedTable) : std::string("nullptr"))
          << "},\n";
    }
    out << "};\n";

    // State/value pairs.
    size_t pairCount = 0;
    for (size_t t = 0; t < b.tables.size(); ++t) {
      if (b.tables[t].pairs.empty()) continue;
      out << "const StateValuePair kPairs" << t << "[] = {";
      for (auto [state, value] : b.tables[t].pairs) out << "{" << state << ", " << value << "}, ";
      out << "};\n";
      pairCount += b.tables[t].pairs.size();
    }
    out << "const ValueTableSource kSources[] = {\n";
    for (size_t t = 0; t < b.tables.size(); ++t)
      out << "  {&kValueTables[" << t << "], "
          << (b.tables[t].pairs.empty() ? std::string("nullptr") : "kPairs" + std::to_string(t)) << ", "
          << b.tables[t].pairs.size() << "},\n";
    out << "};\n";

    out << "const MatchAlternative kAlternatives[] = {";
    for (const std::string& a : alternativeNames) out << a << ", ";
    out << "};\n";
    // Every spec list, for the start-up that builds their constant entries once.
    out << "const AttributeSpecItem* const kSpecLists[] = {";
    for (const std::string& name : specNames) out << name << ", ";
    out << "nullptr};\n";
    out << "const isa::FormInfo kFormInfo[] = {\n";
    for (const Form& form : data.forms)
      out << "  {" << form.rank << ", " << form.bits << ", " << quote(syntaxText(form)) << ", "
          << quote(form.mnemonics[0].name) << "},\n";
    out << "};\n";
    out << "\n}  // namespace\n\nnamespace isa {\n";
    out << "const MatchState* matchStates() { return kStates; }\n";
    out << "uint32_t matchStateCount() { return " << dfa.states.size() << "; }\n";
    out << "const MatchAlternative* matchAlternatives() { return kAlternatives; }\n";
    out << "uint32_t matchAlternativeCount() { return " << data.forms.size() << "; }\n";
    out << "const FormInfo* formInfo() { return kFormInfo; }\n";
    out << "const ValueTableSource* valueTableSources() { return kSources; }\n";
    out << "uint32_t valueTableSourceCount() { return " << b.tables.size() << "; }\n";
    out << "const OperandValueTable* registerValueTable(uint32_t index) { return &kValueTables[index]; }\n";
    out << "uint32_t registerValueTableCount() { return " << b.registerTable.size() << "; }\n";
    out << "const AttributeSpecItem* const* attributeSpecLists() { return kSpecLists; }\n";
    out << "uint32_t attributeSpecListCount() { return " << specNames.size() << "; }\n";
    out << "}  // namespace isa\n";

    std::string text = out.str();
    std::ifstream existing(path);
    std::stringstream old;
    old << existing.rdbuf();
    if (old.str() != text) std::ofstream(path) << text;
    size_t accepting = 0;
    for (const DfaState& st : dfa.states) accepting += !st.forms.empty();
    std::fprintf(stderr, "isagen: %zu states, %zu rows, %zu transitions, %zu accepting, %zu value tables, %zu pairs\n",
                 dfa.states.size(), rows.size(), transitions, accepting, b.tables.size(), pairCount);
  }
};

void checkAutomaton(const IsaData& data, const Dfa& dfa) {
  if (dfa.states.size() > 65535) fail("state numbers do not fit 16 bits");
  std::vector<bool> reached(data.forms.size());
  for (const DfaState& st : dfa.states) {
    for (int f : st.forms) reached[f] = true;
    for (auto [c, t] : st.next) {
      if (std::isupper(c)) fail("upper-case transition before folding");
      if (c == kParsedOperandCharacter || c == 13) fail("transition on a reserved character");
      int cls = dfa.states[t].wordClass;
      bool word = isWordCharacter(c);
      if (cls == kClassContinue && !word) fail("class-0 state entered by a non-word character");
      if (cls == kClassBlank && c != 32) fail("class-2 state entered by a non-blank");
      if (c == 32 && cls != kClassBlank) fail("blank successor is not class 2");
    }
  }
  for (size_t f = 0; f < reached.size(); ++f)
    if (!reached[f]) fail("form at line " + std::to_string(data.forms[f].line) + " is not reachable");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && (args[0] == "--print-forms" || args[0] == "--check-forms")) {
    IsaData data;
    if (!readIsaData(args[1], data)) return 1;
    std::vector<std::string> lines = formListLines(data);
    if (args[0] == "--print-forms") {
      for (const std::string& l : lines) std::printf("%s\n", l.c_str());
      return 0;
    }
    if (args.size() < 3) return 2;
    std::ifstream in(args[2]);
    std::vector<std::string> expected;
    std::string line;
    while (std::getline(in, line))
      if (!line.empty()) expected.push_back(line);
    int mismatches = 0;
    for (size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
      std::string got = i < lines.size() ? lines[i] : "(none)";
      std::string want = i < expected.size() ? expected[i] : "(none)";
      if (got != want) {
        std::fprintf(stderr, "line %zu:\n  expected: %s\n  printed:  %s\n", i + 1, want.c_str(), got.c_str());
        if (++mismatches > 20) break;
      }
    }
    std::printf("%zu form lines, %d mismatches\n", lines.size(), mismatches);
    return mismatches ? 1 : 0;
  }
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: isagen DATA OUT_DIR [ENCODINGS.tsv]\n");
    return 2;
  }
  IsaData data;
  if (!readIsaData(args[0], data)) return 1;
  checkData(data);
  checkAttributeData(data, fail);
  if (args.size() >= 3) checkEncodings(data, args[2]);
  Builder builder(data);
  int start = builder.nfa.add();
  builder.build(start);
  Dfa dfa = determinize(builder, data, start);
  renumber(dfa);
  // The pairs were keyed by the old numbering; rebuild them on the new one.
  for (ValueTable& t : builder.tables) t.pairs.clear();
  {
    for (size_t s = 1; s < dfa.states.size(); ++s)
      for (int n : dfa.states[s].nodes)
        for (auto [table, value] : builder.nfa.nodes[n].ends) builder.tables[table].pairs[static_cast<int>(s)] = value;
  }
  checkAutomaton(data, dfa);
  if (failures) return 1;
  Emitter emitter{data, builder, dfa, {}, 0, {}, {}, nullptr};
  emitter.emit(args[1] + "/TriCoreTables.cpp");
  return failures ? 1 : 0;
}
