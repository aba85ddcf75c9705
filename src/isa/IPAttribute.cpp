#include "isa/IPAttribute.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "isa/CandidateNodes.h"
#include "isa/ConditionBuilders.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

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
#include "util/RunState.h"
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

bool isCondition(const AttributeSpecItem& item) {
  return item.kind == AttributeSpecItem::kOperand && (item.id == ATTR_when || item.id == ATTR_warning);
}

// A string item's value is the shared node of its text: nothing ever writes to it.
OrbaExpression* textOf(const AttributeSpecItem& item) {
  const char* text = item.extra != nullptr ? item.extra : "";
  return TEString::intern(text, static_cast<uint32_t>(std::strlen(text)));
}

OrbaExpression* valueOf(const AttributeSpecItem& item, OrbaExpression** operands) {
  switch (item.kind) {
    case AttributeSpecItem::kConstant:
      return TEInteger::create(static_cast<int64_t>(uint64_t{item.argument}));
    case AttributeSpecItem::kOperand:
      return operands != nullptr ? operands[item.argument] : nullptr;
    case AttributeSpecItem::kString:
      return textOf(item);
    default:
      return nullptr;
  }
}

// What a spec list of the tables adds, worked out once: its stored entries (made once and
// shared) and whether it marks a jump, sets the default flag or queues conditions. Only
// lists whose stored entries are all constant are kept; an entry that takes an operand's
// value is made per statement.
struct PrebuiltList {
  const AttributeSpecItem* spec = nullptr;
  uint32_t first = 0;
  uint32_t count = 0;
  bool marksJump = false;
  bool setsDefault = false;
  bool hasConditions = false;
};

class PrebuiltLists {
 public:
  void build(const AttributeSpecItem* const* specs, uint32_t count) {
    forget();
    built_ = true;
    for (uint32_t i = 0; i < count; ++i)
      for (const AttributeSpecItem* item = specs[i]; item != nullptr && item->id != ATTR_end; ++item)
        if (item->id == ATTR_jump || item->id == ATTR_jumpConditional) marksJumps_ = true;
    // The entries are counted first so that their storage never moves once made.
    size_t entryCount = 0;
    for (uint32_t i = 0; i < count; ++i)
      if (specs[i] != nullptr && isConstant(specs[i])) entryCount += storedItems(specs[i]);
    entries_.reserve(entryCount);
    size_t capacity = 16;
    while (capacity < 2 * size_t{count}) capacity *= 2;
    slots_.assign(capacity, PrebuiltList{});
    for (uint32_t i = 0; i < count; ++i) {
      const AttributeSpecItem* spec = specs[i];
      if (spec == nullptr || !isConstant(spec)) continue;
      PrebuiltList& slot = slotOf(spec);
      if (slot.spec == spec) continue;
      slot.spec = spec;
      slot.first = static_cast<uint32_t>(entries_.size());
      for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item) {
        if (item->id == ATTR_jump || item->id == ATTR_jumpConditional) slot.marksJump = true;
        if (item->id == ATTR_default) {
          slot.setsDefault = true;
        } else if (isCondition(*item)) {
          slot.hasConditions = true;
        } else {
          OrbaExpression* value = valueOf(*item, nullptr);
          if (value != nullptr) valuePool_ = expressionPool();
          entries_.emplace_back(item->id, value, item->extra, true);
        }
      }
      slot.count = static_cast<uint32_t>(entries_.size()) - slot.first;
      ++lists_;
    }
  }

  void forget() {
    slots_.clear();
    entries_.clear();
    valuePool_ = nullptr;
    lists_ = 0;
    built_ = false;
    marksJumps_ = false;
  }

  // The prebuilt list of the spec, or null when it has none.
  const PrebuiltList* find(const AttributeSpecItem* spec) {
    if (slots_.empty()) return nullptr;
    // Values made in an expression pool that has since been replaced are gone.
    if (valuePool_ != nullptr && valuePool_ != expressionPool()) return nullptr;
    const PrebuiltList& slot = slotOf(spec);
    return slot.spec == spec ? &slot : nullptr;
  }

  IPAttr* entry(uint32_t index) { return &entries_[index]; }
  uint32_t lists() const { return lists_; }
  // Unknown until the lists are built.
  bool marksJumps() const { return !built_ || marksJumps_; }

 private:
  static bool isConstant(const AttributeSpecItem* spec) {
    for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item)
      if (item->kind == AttributeSpecItem::kOperand && !isCondition(*item) && item->id != ATTR_default) return false;
    return true;
  }
  static size_t storedItems(const AttributeSpecItem* spec) {
    size_t count = 0;
    for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item)
      count += item->id != ATTR_default && !isCondition(*item);
    return count;
  }
  PrebuiltList& slotOf(const AttributeSpecItem* spec) {
    size_t mask = slots_.size() - 1;
    size_t index = (reinterpret_cast<uintptr_t>(spec) >> 3) * 0x9E3779B97F4A7C15ull >> 40 & mask;
    // The table is never more than half full, so the walk meets the key or an empty slot.
    while (slots_[index].spec != nullptr && slots_[index].spec != spec) index = (index + 1) & mask;
    return slots_[index];
  }

  std::vector<PrebuiltList> slots_;
  std::vector<IPAttr> entries_;
  MemPool* valuePool_ = nullptr;
  uint32_t lists_ = 0;
  bool built_ = false;
  bool marksJumps_ = false;
};

PrebuiltLists& prebuilt() { return runPart<PrebuiltLists>(); }

}  // namespace

const char* attributeName(uint32_t id) {
  if (id <= kLastKindId) return kKindNames[id];
  if (id >= kFirstNamedId && id <= kLastId) return kNames[kLastKindId + (id - kFirstNamedId)];
  return "**UNKNOWN ATTRIBUTE**";
}

namespace isa {

void prebuildAttributeLists(const AttributeSpecItem* const* specs, uint32_t count) { prebuilt().build(specs, count); }
void forgetPrebuiltAttributeLists() {
  IPAttribute::forgetShared();
  prebuilt().forget();
}
uint32_t prebuiltAttributeListCount() { return prebuilt().lists(); }
bool attributeListsMarkJumps() { return prebuilt().marksJumps(); }

}  // namespace isa

void IPAttribute::setTooLarge() { listFault(__LINE__, "attribute set too large"); }

void IPAttribute::queueCondition(const AttributeSpecItem& item, LineInfo* location, OrbaExpression** operands) {
  if (building_ && dropIsCertain_ && !(item.builder && isa::conditions::reportsWhenBuilt(item.builder))) return;
  OrbaExpression* condition = item.builder != nullptr ? item.builder(location, operands, nodes_) : nullptr;
  if (item.id != ATTR_when) {
    warnings.push_back(new IPWarning(condition, item.extra));
    return;
  }
  whens.push_back(new IPWhen(condition, item.extra));
  // While every condition so far is a true constant, a false one without a message is
  // where the check after the build will stop, and it drops the candidate.
  if (whensConstantTrue_) {
    bool constant = condition != nullptr && condition->getKind() == EK_integer;
    whensConstantTrue_ = constant && condition->getInteger() != 0;
    dropIsCertain_ = constant && !whensConstantTrue_ && item.extra == nullptr;
  }
}

bool IPAttribute::addSpecList(const AttributeSpecItem* spec, uint32_t listMode, LineInfo* location,
                              OrbaExpression** operands) {
  switch (listMode) {
    case kAppendToCurrent:
      break;
    case kDescriptionList:
    case kOperandList:
      openList();
      break;
    default:
      listFault(135, "unknown argument to IPAttribute::addNewAttributeList()");
  }
  // Every caller opens a list before it appends; entries without a list would be lost.
  if (listStarts_.empty()) listFault(136, "IPAttribute::addNewAttributeList() without an open list");
  if (spec == nullptr) return false;

  PrebuiltLists& lists = prebuilt();
  if (const PrebuiltList* known = lists.find(spec)) {
    entries_.reserve(entries_.size() + known->count);
    for (uint32_t i = 0; i < known->count; ++i) entries_.push_back(lists.entry(known->first + i));
    if (known->setsDefault) isDefault = 1;
    if (known->hasConditions)
      for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item)
        if (isCondition(*item)) queueCondition(*item, location, operands);
    return known->marksJump;
  }

  bool marksJump = false;
  for (const AttributeSpecItem* item = spec; item->id != ATTR_end; ++item) {
    if (item->id == ATTR_jump || item->id == ATTR_jumpConditional) marksJump = true;
    if (item->id == ATTR_default) {
      isDefault = 1;
      continue;
    }
    if (isCondition(*item)) {
      queueCondition(*item, location, operands);
      continue;
    }
    entries_.push_back(new IPAttr(item->id, valueOf(*item, operands), item->extra));
  }
  return marksJump;
}

void IPAttribute::clearLists() {
  for (IPAttr* entry : entries_)
    if (entry != nullptr && !entry->shared) delete entry;
  entries_.clear();
  listStarts_.clear();
}

void IPAttribute::clear() {
  clearLists();
  for (IPWhen* when : whens) delete when;
  for (IPWarning* warning : warnings) delete warning;
  whens.clear();
  warnings.clear();
  whensConstantTrue_ = true;
  dropIsCertain_ = false;
  building_ = false;
  CandidateNodes::release(nodes_);
}

namespace {

// The shared sets by a hash of their lists; a bucket holds the sets of one hash.
struct SharedSets {
  std::unordered_map<uint64_t, std::vector<IPAttribute*>> byHash;
};
std::unordered_map<uint64_t, std::vector<IPAttribute*>>& sharedSets() { return runPart<SharedSets>().byHash; }

}  // namespace

IPAttribute* IPAttribute::share(IPAttribute* built) {
  if (!built || built->shared_ || !built->whensConstantTrue_ || !built->warnings.empty()) return built;
  uint64_t hash = 0xcbf29ce484222325ull ^ built->isDefault;
  for (IPAttr* entry : built->entries_) {
    if (!entry || !entry->shared) return built;
    hash = (hash ^ reinterpret_cast<uintptr_t>(entry)) * 0x100000001b3ull;
  }
  for (uint16_t start : built->listStarts_) hash = (hash ^ start) * 0x100000001b3ull;
  // Every condition holds whatever layout finds: nothing of them needs keeping.
  for (IPWhen* when : built->whens) delete when;
  built->whens.clear();
  CandidateNodes::release(built->nodes_);
  std::vector<IPAttribute*>& bucket = sharedSets()[hash];
  for (IPAttribute* set : bucket) {
    if (set->isDefault != built->isDefault || set->entries_.size() != built->entries_.size() ||
        set->listStarts_.size() != built->listStarts_.size())
      continue;
    if (!std::equal(set->entries_.begin(), set->entries_.end(), built->entries_.begin()) ||
        !std::equal(set->listStarts_.begin(), set->listStarts_.end(), built->listStarts_.begin()))
      continue;
    delete built;
    ++set->holders_;
    return set;
  }
  built->shared_ = true;
  built->holders_ = 1;
  built->hash_ = hash;
  bucket.push_back(built);
  return built;
}

void IPAttribute::release(IPAttribute* set) {
  if (!set) return;
  if (set->shared_) {
    if (--set->holders_ > 0) return;
    auto found = sharedSets().find(set->hash_);
    if (found != sharedSets().end()) {
      std::vector<IPAttribute*>& bucket = found->second;
      bucket.erase(std::remove(bucket.begin(), bucket.end(), set), bucket.end());
      if (bucket.empty()) sharedSets().erase(found);
    }
  }
  delete set;
}

void IPAttribute::forgetShared() {
  // A set that stays held is no longer found; its last holder deletes it.
  for (auto& [hash, bucket] : sharedSets())
    for (IPAttribute* set : bucket) set->hash_ = ~uint64_t{0};
  sharedSets().clear();
}

IPAttribute* IPAttribute::copy() const {
  if (shared_) {
    auto* self = const_cast<IPAttribute*>(this);
    ++self->holders_;
    return self;
  }
  auto* result = new IPAttribute();
  for (const IPWhen* when : whens) result->whens.push_back(new IPWhen(when->condition, when->message));
  for (const IPWarning* warning : warnings)
    result->warnings.push_back(new IPWarning(warning->condition, warning->message));
  result->isDefault = isDefault;
  result->whensConstantTrue_ = whensConstantTrue_;
  result->dropIsCertain_ = dropIsCertain_;
  result->listStarts_ = listStarts_;
  result->entries_.reserve(entries_.size());
  for (IPAttr* entry : entries_)
    result->entries_.push_back(entry == nullptr || entry->shared ? entry
                                                                 : new IPAttr(entry->id, entry->value, entry->extra));
  result->nodes_ = nodes_ != nullptr ? nodes_->retain() : nullptr;
  return result;
}

std::span<IPAttr* const> IPAttribute::list(size_t index) const {
  if (index >= listStarts_.size()) return {};
  size_t end = index + 1 < listStarts_.size() ? listStarts_[index + 1] : entries_.size();
  return {entries_.data() + listStarts_[index], end - listStarts_[index]};
}

const IPAttr* IPAttribute::lookupFromEnd(size_t listFromEnd, size_t entry) const {
  if (listFromEnd >= listStarts_.size()) return nullptr;
  std::span<IPAttr* const> entries = list(listStarts_.size() - 1 - listFromEnd);
  return entry < entries.size() ? entries[entry] : nullptr;
}

bool IPAttribute::hasAttribute(uint32_t id, size_t skip) const {
  if (skip >= listStarts_.size()) return false;
  // The lists from the first up to the (skip+1)-th last lie together at the front.
  size_t end = skip == 0 ? entries_.size() : listStarts_[listStarts_.size() - skip];
  for (size_t index = 0; index < end; ++index)
    if (entries_[index] != nullptr && entries_[index]->id == id) return true;
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

bool IPAttribute::failsForCertain(const char** message) const {
  for (const IPWhen* when : whens) {
    switch (outcomeOf(when->condition)) {
      case Outcome::True:
        continue;
      case Outcome::False:
        *message = when->message;
        return true;
      case Outcome::Error:
      case Outcome::NotConstant:
        return false;
    }
  }
  return false;
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
  for (size_t index = attribute.listCount(); index-- > 0;) {
    if (index + 1 != attribute.listCount()) out << ", ";
    out << '[';
    bool first = true;
    for (const IPAttr* entry : attribute.list(index)) {
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
