// The attribute set of an instruction candidate: the attribute lists that the spec lists of
// the instruction tables turn into while a form is built, and the "when" and "warning"
// conditions queued on the way. Readers count the lists from the end: the last one added is
// the description's own list. The constant entries of the tables' lists are made once at
// start-up and shared by every set; a set owns the entries it makes, its condition records
// and a claim on the nodes made for its conditions.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>

#include "util/InlineVector.h"
#include "util/MemoryPools.h"

class CandidateNodes;
class OrbaExpression;
struct LineInfo;

// Attribute ids; attributes.def holds the vocabulary.
enum AttributeId : uint32_t {
  ATTR_end = 0,
#define VEKT_ATTRIBUTE(id, name) ATTR_##name = id,
#include "isa/attributes.def"
#undef VEKT_ATTRIBUTE
};

// Builds the condition of a "when" or "warning" item from the statement's operand array.
// The nodes it makes for the condition go to `made`, which gives them back with the
// candidate; the operands themselves are never its to give back.
using OperandConditionBuilder = OrbaExpression* (*)(LineInfo* location, OrbaExpression** operands,
                                                    CandidateNodes*& made);

// One item of an attribute spec list in the instruction tables; a list ends with id 0.
struct AttributeSpecItem {
  enum ValueKind : uint32_t { kConstant = 10, kOperand = 11, kString = 12, kNone = 13 };

  // The argument of a condition item with this bit set names the operands its builder
  // reads, bit i for operand i; without it they are not known.
  static constexpr uint32_t kReadsKnown = 0x80000000u;
  // With kReadsKnown: the builder reads nothing but those operands (no option, no state of
  // the line), so the same operand values always give the same condition.
  static constexpr uint32_t kReadsOnlyThem = 0x40000000u;
  static constexpr uint32_t kReadMask = ~(kReadsKnown | kReadsOnlyThem);

  uint32_t id;
  uint32_t kind;
  // kConstant: the value; kOperand: an operand index, or for a "when" or "warning" item
  // the operands its builder reads (kReadsKnown).
  uint32_t argument;
  const char* extra;  // the message of a condition item, the text of a string item
  // kOperand with "when" or "warning": the condition builder, which takes the place of
  // the operand index.
  OperandConditionBuilder builder = nullptr;
};

// The name of an attribute id; never null.
const char* attributeName(uint32_t id);

struct IPAttr {
  VEKT_POOLED_CLASS(IPAttr)

 public:
  IPAttr(uint32_t id, OrbaExpression* value, const char* extra, bool shared = false)
      : id(id), value(value), extra(extra), shared(shared) {}

  uint32_t id;
  OrbaExpression* value;  // not owned; the integers are shared nodes
  const char* extra;      // the spec item's text, not copied
  // Made once for a spec list of the tables and shared by every set that adds the list.
  bool shared;
};

struct IPWhen {
  VEKT_POOLED_CLASS(IPWhen)

 public:
  IPWhen(OrbaExpression* condition, const char* message) : condition(condition), message(message) {}

  OrbaExpression* condition;
  const char* message;  // E122 text when the condition fails; may be null
};

struct IPWarning {
  VEKT_POOLED_CLASS(IPWarning)

 public:
  IPWarning(OrbaExpression* condition, const char* message) : condition(condition), message(message) {}

  OrbaExpression* condition;
  const char* message;  // W230 text when the condition holds; null: never issued
};

class IPAttribute {
  VEKT_POOLED_CLASS(IPAttribute)

 public:
  // How addNewAttributeList places the entries of a spec list.
  enum ListMode : uint32_t {
    kAppendToCurrent = 0,
    kDescriptionList = 1,  // opens a new list
    kOperandList = 2,      // opens a new list
  };

  IPAttribute() = default;
  ~IPAttribute() { clear(); }
  IPAttribute(const IPAttribute&) = delete;
  IPAttribute& operator=(const IPAttribute&) = delete;

  // Turns a spec list into entries of a new or the current list and queues its conditions.
  // A null spec still opens the new list. Returns true when the list holds "jump" or
  // "jumpConditional". Mode 0 needs an open list; another mode is an internal error (S901).
  bool addNewAttributeList(const AttributeSpecItem* spec, uint32_t listMode, LineInfo* location,
                           OrbaExpression** operands) {
    // Most items of the tables have no list of their own: at most a list is opened.
    if (spec == nullptr) {
      if (listMode == kDescriptionList || listMode == kOperandList) {
        openList();
        return false;
      }
      if (listMode == kAppendToCurrent && !listStarts_.empty()) return false;
    }
    return addSpecList(spec, listMode, location, operands);
  }

  // Gives every entry made for this set back to its pool and empties the lists.
  void clearLists();
  // clearLists, then gives back the condition records and the set's claim on the nodes
  // made for its conditions. The values and texts belong to others and stay.
  void clear();
  // A deep copy: new entries and condition records, which share the values, conditions
  // and texts (and the claim on the nodes behind them). A shared set is its own copy,
  // with one holder more.
  IPAttribute* copy() const;

  // A set whose entries are all constants of the tables, whose conditions all hold for
  // certain and that has no warning is the same for every statement that builds it: one
  // copy serves them all while any holds it. Returns that copy (deleting
  // `built` when an equal one exists), or `built` itself when it cannot be shared. The
  // set's claim on its nodes is dropped: only the encoding keeps them.
  static IPAttribute* share(IPAttribute* built);
  // Drops the holder's claim: deletes the set, or a shared set once its last holder
  // lets go of it.
  static void release(IPAttribute* set);
  bool isShared() const { return shared_; }
  // Forgets the shared sets, for a new run: the sets stay with their holders.
  static void forgetShared();

  // The nodes made for the candidate: its conditions here and, while it is built, its
  // operand fields. Made at the first node kept (CandidateNodes::keep); the encoding takes
  // a claim of its own once the candidate is built.
  CandidateNodes* nodes() const { return nodes_; }
  CandidateNodes*& nodeSet() { return nodes_; }

  size_t listCount() const { return listStarts_.size(); }
  // The entries of list `index`, counted from the first.
  std::span<IPAttr* const> list(size_t index) const;
  // Entry `entry` of the list `listFromEnd` counted from the end; null when either is out
  // of range.
  const IPAttr* lookupFromEnd(size_t listFromEnd, size_t entry) const;
  // Whether any list from the (skip+1)-th last back to the first has an entry with the id.
  bool hasAttribute(uint32_t id, size_t skip) const;

  // Whether findFirstUnsatisfiedCase(&message, false) is already sure to stop at a
  // condition without a message, whatever conditions follow: the first that is not a
  // true constant is the integer 0 and has none.
  bool dropIsCertain() const { return dropIsCertain_; }
  // While the set's candidate is being built, it is dropped as soon as the build ends when
  // dropIsCertain(): conditions after that point are not made, unless making them reports
  // something.
  void setBuilding(bool building) { building_ = building; }

  // Evaluates the "when" conditions in order and stops at the first that does not hold:
  // false with its message (null when it has none). An error value holds unless
  // errorStops is set, in which case it fails without a message.
  bool findFirstUnsatisfiedCase(const char** message, bool errorStops) const;
  // Whether the "when" conditions already fail whatever layout finds: taken in order,
  // the first that is not a known true value must be a known false one. `message`
  // receives its message.
  bool failsForCertain(const char** message) const;
  // Reports W230 with the message of every "warning" condition that holds, at the line.
  void issueConditionalWarnings(const LineInfo* location) const;

  // The debug form: "IPAttribute(" then the lists from the last to the first, ")".
  static void print(std::ostream& out, const IPAttribute& attribute);

  // Owned condition records, in the order of their items.
  InlineVector<IPWhen*, 4> whens;
  InlineVector<IPWarning*, 2> warnings;
  uint8_t isDefault = 0;

 private:
  void openList() {
    // A set holds a few lists of a few entries each; one past this size is a broken table.
    if (entries_.size() > UINT16_MAX) setTooLarge();
    listStarts_.push_back(static_cast<uint16_t>(entries_.size()));
  }
  [[noreturn]] static void setTooLarge();
  bool addSpecList(const AttributeSpecItem* spec, uint32_t listMode, LineInfo* location, OrbaExpression** operands);
  void queueCondition(const AttributeSpecItem& item, LineInfo* location, OrbaExpression** operands);

  // The lists lie one after the other: the entries of every list in order, and where each
  // list starts. New entries always go to the last list, so nothing ever moves a list.
  // A form's lists come to six to ten entries together: they fit without the heap.
  InlineVector<IPAttr*, 12> entries_;
  InlineVector<uint16_t, 8> listStarts_;
  CandidateNodes* nodes_ = nullptr;
  bool whensConstantTrue_ = true;
  bool dropIsCertain_ = false;
  bool building_ = false;
  bool shared_ = false;
  uint32_t holders_ = 0;  // of a shared set
  uint64_t hash_ = 0;     // of a shared set, its key among the shared sets
};

namespace isa {

// The spec lists of the instruction tables, emitted with them. Start-up builds the
// constant entries of each once (prebuildAttributeLists); the sets that add a list share
// them instead of making their own.
const AttributeSpecItem* const* attributeSpecLists();
uint32_t attributeSpecListCount();

void prebuildAttributeLists(const AttributeSpecItem* const* specs, uint32_t count);
void forgetPrebuiltAttributeLists();
// How many spec lists have prebuilt entries; for the tests.
uint32_t prebuiltAttributeListCount();
// Whether a spec list of the tables holds "jump" or "jumpConditional"; true until they are
// prebuilt.
bool attributeListsMarkJumps();

}  // namespace isa
