// The attribute set of an instruction candidate: the attribute lists that the spec lists of
// the instruction tables turn into while a form is built, and the "when" and "warning"
// conditions queued on the way. Readers count the lists from the end: the last one added is
// the description's own list.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "util/MemoryPools.h"

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
using OperandConditionBuilder = OrbaExpression* (*)(LineInfo* location, OrbaExpression** operands);

// One item of an attribute spec list in the instruction tables; a list ends with id 0.
struct AttributeSpecItem {
  enum ValueKind : uint32_t { kConstant = 10, kOperand = 11, kString = 12, kNone = 13 };

  uint32_t id;
  uint32_t kind;
  uint32_t argument;  // kConstant: the value; kOperand: an operand index
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
  IPAttr(uint32_t id, OrbaExpression* value, const char* extra) : id(id), value(value), extra(extra) {}

  uint32_t id;
  OrbaExpression* value;  // not owned; the integers are shared nodes
  const char* extra;      // the spec item's text, not copied
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
  using AttributeList = std::vector<IPAttr*>;

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
                           OrbaExpression** operands);

  // Gives every entry back to its pool and empties the lists; the conditions, values and
  // texts belong to others and stay.
  void clearLists();
  void clear();
  // A deep copy with new entries that share the values, conditions and texts.
  IPAttribute* copy() const;

  // Entry `entry` of the list `listFromEnd` counted from the end; null when either is out
  // of range.
  const IPAttr* lookupFromEnd(size_t listFromEnd, size_t entry) const;
  // Whether any list from the (skip+1)-th last back to the first has an entry with the id.
  bool hasAttribute(uint32_t id, size_t skip) const;

  // Evaluates the "when" conditions in order and stops at the first that does not hold:
  // false with its message (null when it has none). An error value holds unless
  // errorStops is set, in which case it fails without a message.
  bool findFirstUnsatisfiedCase(const char** message, bool errorStops) const;
  // Reports W230 with the message of every "warning" condition that holds, at the line.
  void issueConditionalWarnings(const LineInfo* location) const;

  // The debug form: "IPAttribute(" then the lists from the last to the first, ")".
  static void print(std::ostream& out, const IPAttribute& attribute);

  std::vector<IPWhen*> whens;
  std::vector<IPWarning*> warnings;
  std::vector<AttributeList> lists;
  std::vector<AttributeList*> listRefs;  // the last entry names the list receiving entries
  uint8_t isDefault = 0;
};
