#include "isa/IPAttribute.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"

VEKT_POOLED_CLASS_IMPL(IPAttr, "IPAttr")
VEKT_POOLED_CLASS_IMPL(IPWhen, "IPWhen")
VEKT_POOLED_CLASS_IMPL(IPWarning, "IPWarning")
VEKT_POOLED_CLASS_IMPL(IPAttribute, "IPAttribute")

namespace {

constexpr uint32_t kLastKindId = ATTR_unit;
constexpr uint32_t kFirstNamedId = ATTR_NOP;
constexpr uint32_t kLastId = ATTR_reg_qd;

const char* const kKindNames[] = {"_none", "when", "cycle", "align", "case", "cpu", "jump",
                                  "jumpConditional", "warning", "default", "amode", "category",
                                  "mnemonic", "unit"};

const char* const kNames[] = {
#define VEKT_ATTRIBUTE(id, name) #name,
#include "isa/attributes.def"
#undef VEKT_ATTRIBUTE
};

static_assert(sizeof(kKindNames) / sizeof(kKindNames[0]) == kLastKindId + 1);
static_assert(sizeof(kNames) / sizeof(kNames[0]) == kLastKindId + (kLastId - kFirstNamedId + 1));

// What a condition folds to, as the readers of the condition lists see it. The folded
// node is kept: it may be a part of the condition itself.
enum class Outcome { Error, NotConstant, False, True };

Outcome outcomeOf(OrbaExpression* condition) {
  if (condition == nullptr) return Outcome::NotConstant;
  OrbaExpression* value = condition->evaluate();
  if (value == nullptr) return Outcome::NotConstant;
  Outcome outcome = Outcome::True;
  if (value->isError()) {
    outcome = Outcome::Error;
  } else if (!value->isValue() || value->getKind() == EK_symbol) {
    outcome = Outcome::NotConstant;
  } else {
    switch (value->getKind()) {
      case EK_integer:
        outcome = value->getInteger() != 0 ? Outcome::True : Outcome::False;
        break;
      case EK_double:
      case EK_fract:
        // A NaN compares unequal to 0.0 and so holds.
        outcome = value->getDouble() != 0.0 ? Outcome::True : Outcome::False;
        break;
      case EK_string:
        outcome = value->getStringLength() != 0 ? Outcome::True : Outcome::False;
        break;
      default:
        break;
    }
  }
  return outcome;
}

[[noreturn]] void listFault(int line, const char* text) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "IPAttribute", line, text);
  // An internal error ends the program inside the report.
  std::abort();
}

OrbaExpression* valueOf(const AttributeSpecItem& item, OrbaExpression** operands) {
  switch (item.kind) {
    case AttributeSpecItem::kConstant:
      return TEInteger::create(static_cast<int64_t>(uint64_t{item.argument}));
    case AttributeSpecItem::kOperand:
      return operands != nullptr ? operands[item.argument] : nullptr;
    case AttributeSpecItem::kString: {
      const char* text = item.extra != nullptr ? item.extra : "";
      return TEString::create(text, static_cast<uint32_t>(std::strlen(text)));
    }
    default:
      return nullptr;
  }
}

}  // namespace

const char* attributeName(uint32_t id) {
  if (id <= kLastKindId) return kKindNames[id];
  if (id >= kFirstNamedId && id <= kLastId) return kNames[kLastKindId + (id - kFirstNamedId)];
  return "**UNKNOWN ATTRIBUTE**";
}

bool IPAttribute::addNewAttributeList(const AttributeSpecItem* spec, uint32_t listMode, LineInfo* location,
                                      OrbaExpression** operands) {
  switch (listMode) {
    case kAppendToCurrent:
      break;
    case kDescriptionList:
    case kOperandList:
      lists.emplace_back();
      // Growing may have moved the lists.
      for (size_t i = 0; i < listRefs.size(); ++i) listRefs[i] = &lists[i];
      listRefs.push_back(&lists.back());
      break;
    default:
      listFault(135, "unknown argument to IPAttribute::addNewAttributeList()");
  }
  // Every caller opens a list before it appends; entries without a list would be lost.
  if (listRefs.empty()) listFault(136, "IPAttribute::addNewAttributeList() without an open list");
  AttributeList& current = *listRefs.back();
  if (spec == nullptr) return false;

  bool marksJump = false;
  for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item) {
    if (item->id == ATTR_jump || item->id == ATTR_jumpConditional) marksJump = true;
    if (item->id == ATTR_default) {
      isDefault = 1;
      continue;
    }
    if (item->kind == AttributeSpecItem::kOperand && (item->id == ATTR_when || item->id == ATTR_warning)) {
      OrbaExpression* condition = item->builder != nullptr ? item->builder(location, operands) : nullptr;
      if (item->id == ATTR_when)
        whens.push_back(new IPWhen(condition, item->extra));
      else
        warnings.push_back(new IPWarning(condition, item->extra));
      continue;
    }
    current.push_back(new IPAttr(item->id, valueOf(*item, operands), item->extra));
  }
  return marksJump;
}

void IPAttribute::clearLists() {
  for (AttributeList& list : lists) {
    for (IPAttr* entry : list) delete entry;
    list.clear();
  }
  for (AttributeList& list : lists) AttributeList().swap(list);
  lists.clear();
  listRefs.clear();
}

void IPAttribute::clear() {
  clearLists();
  std::vector<AttributeList*>().swap(listRefs);
  std::vector<AttributeList>().swap(lists);
  std::vector<IPWarning*>().swap(warnings);
  std::vector<IPWhen*>().swap(whens);
}

IPAttribute* IPAttribute::copy() const {
  auto* result = new IPAttribute();
  result->whens = whens;
  result->warnings = warnings;
  result->isDefault = isDefault;
  result->lists.reserve(lists.size());
  for (const AttributeList& list : lists) {
    AttributeList& target = result->lists.emplace_back();
    target.reserve(list.size());
    for (const IPAttr* entry : list)
      target.push_back(entry != nullptr ? new IPAttr(entry->id, entry->value, entry->extra) : nullptr);
  }
  // The references name the copy's own lists, in the same positions.
  for (const AttributeList* ref : listRefs) result->listRefs.push_back(&result->lists[ref - lists.data()]);
  return result;
}

const IPAttr* IPAttribute::lookupFromEnd(size_t listFromEnd, size_t entry) const {
  if (listFromEnd >= lists.size()) return nullptr;
  const AttributeList& list = lists[lists.size() - 1 - listFromEnd];
  return entry < list.size() ? list[entry] : nullptr;
}

bool IPAttribute::hasAttribute(uint32_t id, size_t skip) const {
  if (skip >= lists.size()) return false;
  for (size_t index = lists.size() - skip; index-- > 0;)
    for (const IPAttr* entry : lists[index])
      if (entry != nullptr && entry->id == id) return true;
  return false;
}

bool IPAttribute::findFirstUnsatisfiedCase(const char** message, bool errorStops) const {
  for (const IPWhen* when : whens) {
    switch (outcomeOf(when->condition)) {
      case Outcome::True:
        continue;
      case Outcome::Error:
        if (!errorStops) continue;
        *message = nullptr;
        return false;
      case Outcome::NotConstant:
      case Outcome::False:
        *message = when->message;
        return false;
    }
  }
  return true;
}

void IPAttribute::issueConditionalWarnings(const LineInfo* location) const {
  for (const IPWarning* warning : warnings) {
    if (warning->message == nullptr) continue;
    Outcome outcome = outcomeOf(warning->condition);
    if (outcome == Outcome::True || outcome == Outcome::NotConstant)
      errorHandler()->report(W_expression_warning, location, warning->message);
  }
}

void IPAttribute::print(std::ostream& out, const IPAttribute& attribute) {
  out << "IPAttribute(";
  for (size_t index = attribute.lists.size(); index-- > 0;) {
    if (index + 1 != attribute.lists.size()) out << ", ";
    out << '[';
    bool first = true;
    for (const IPAttr* entry : attribute.lists[index]) {
      if (entry == nullptr) continue;
      if (!first) out << ", ";
      first = false;
      out << attributeName(entry->id);
      if (entry->value != nullptr) {
        out << '(';
        entry->value->print(out, 0);
        out << ')';
      } else if (entry->id >= ATTR_amode && entry->id <= ATTR_unit) {
        out << '(' << (entry->extra != nullptr ? "**UNKNOWN KIND**" : "_none") << ')';
      }
    }
    out << ']';
  }
  out << ')';
}
