#include "isa/FSimpleRun.h"

#include <algorithm>
#include <memory>
#include <new>
#include <ostream>
#include <vector>

#include "expr/ObjectExpr.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "isa/CycleCounts.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/RunState.h"

VEKT_POOLED_CLASS_IMPL(FSimpleRun, "FSimpleRun")

// A run costs its node once and an entry for each instruction: the node is smaller than
// the fixed-size instruction node it stands for several of.
static_assert(sizeof(FSimpleRun) <= 48);
static_assert(sizeof(FSimpleRun::Entry) == 12);

namespace {

// The entries of every run, in blocks that never move, and the distinct pairs of
// attribute set and cycle count they refer to. A run's entries are consecutive here.
struct SimpleRunStore {
  static constexpr uint32_t kBlockBits = 12;
  static constexpr uint32_t kBlockEntries = 1u << kBlockBits;
  // One form more than an entry can name sends the instruction to a node of its own.
  static constexpr size_t kMaxForms = 0xFFFF;

  struct Form {
    IPAttribute* attributes;  // one claim on a shared set
    uint16_t parseCycles;
    uint8_t core = 0xFF;  // the core coreCycles was counted for
    uint16_t coreCycles = 0;
  };

  SimpleRunStore() = default;
  SimpleRunStore(const SimpleRunStore&) = delete;
  SimpleRunStore& operator=(const SimpleRunStore&) = delete;
  ~SimpleRunStore() {
    for (Form& form : forms) IPAttribute::release(form.attributes);
  }

  FSimpleRun::Entry& at(uint32_t index) { return blocks[index >> kBlockBits][index & (kBlockEntries - 1)]; }

  // Room for one entry more; false when the store cannot grow.
  bool reserveOne() {
    if (count < blocks.size() * kBlockEntries) return true;
    if (count >= UINT32_MAX - kBlockEntries) return false;
    auto* block = new (std::nothrow) FSimpleRun::Entry[kBlockEntries];
    if (!block) return false;
    blocks.emplace_back(block);
    return true;
  }

  // The form of the set and count, made on first use; -1 when the table is full.
  int32_t formOf(const IPAttribute& attributes, uint16_t cycles) {
    if ((forms.size() + 1) * 2 > formSlots.size()) growFormSlots();
    const size_t mask = formSlots.size() - 1;
    for (size_t slot = formSlot(&attributes, cycles);; slot = (slot + 1) & mask) {
      FormSlot& entry = formSlots[slot];
      if (entry.attributes == &attributes && entry.cycles == cycles) return entry.form;
      if (entry.attributes) continue;
      if (forms.size() >= kMaxForms) return -1;
      forms.push_back({attributes.copy(), cycles});
      entry = {&attributes, cycles, static_cast<uint16_t>(forms.size() - 1)};
      return entry.form;
    }
  }

  size_t formSlot(const IPAttribute* attributes, uint16_t cycles) const {
    const uint64_t key = (reinterpret_cast<uintptr_t>(attributes) << 16) ^ cycles;
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (formSlots.size() - 1);
  }

  void growFormSlots() {
    formSlots.assign(formSlots.empty() ? 256 : formSlots.size() * 2, FormSlot{});
    const size_t mask = formSlots.size() - 1;
    for (size_t index = 0; index < forms.size(); ++index) {
      size_t slot = formSlot(forms[index].attributes, forms[index].parseCycles);
      while (formSlots[slot].attributes) slot = (slot + 1) & mask;
      formSlots[slot] = {forms[index].attributes, forms[index].parseCycles, static_cast<uint16_t>(index)};
    }
  }

  // Marks the entry's line as listed with the entry's bytes; false when the list of
  // them cannot grow (the bytes then go to the line as any node's).
  bool noteListed(uint32_t index) {
    if (listedOrder.size() >= kNoEntry) return false;
    try {
      listedOrder.push_back(index);
    } catch (const std::bad_alloc&) {
      return false;
    }
    listed.clear();  // a table made before is made again at the next lookup
    return true;
  }

  // The entry whose line is the line and whose bytes were listed; null when none. The
  // list file asks in line order, which is the order the entries were written in: the
  // entry after the last one found is tried first, the table only after it.
  const FSimpleRun::Entry* findListed(const LineInfo* line) {
    if (listedOrder.empty()) return nullptr;
    for (size_t position = lastFound; position < lastFound + 2 && position < listedOrder.size(); ++position) {
      const FSimpleRun::Entry& entry = at(listedOrder[position]);
      if (entry.line == line) {
        lastFound = position;
        return &entry;
      }
    }
    if (listed.empty() && !makeListedTable()) return nullptr;
    const uint64_t hash = listedHash(line);
    const auto fingerprint = static_cast<uint32_t>(hash);
    const size_t mask = listed.size() - 1;
    for (size_t slot = hash >> listedShift;; slot = (slot + 1) & mask) {
      const ListedSlot& entry = listed[slot];
      if (entry.position == kNoEntry) return nullptr;
      if (entry.fingerprint != fingerprint) continue;
      const FSimpleRun::Entry& found = at(listedOrder[entry.position]);
      if (found.line == line) {
        lastFound = entry.position;
        return &found;
      }
    }
  }

  static constexpr uint32_t kNoEntry = UINT32_MAX;

  // A slot keeps a fingerprint of its line beside the entry's place in listedOrder: a
  // line without an entry is told so from the table alone.
  struct ListedSlot {
    uint32_t fingerprint = 0;
    uint32_t position = kNoEntry;
  };

  static uint64_t listedHash(const LineInfo* line) {
    return (reinterpret_cast<uintptr_t>(line) >> 3) * 0x9E3779B97F4A7C15ull;
  }

  // The table by line, at most half full, of every listed entry.
  bool makeListedTable() {
    size_t slots = 1024;
    while (slots < 2 * listedOrder.size()) slots *= 2;
    try {
      listed.assign(slots, ListedSlot{});
    } catch (const std::bad_alloc&) {
      listed.clear();
      return false;
    }
    listedShift = 64 - static_cast<uint32_t>(__builtin_ctzll(slots));
    const size_t mask = slots - 1;
    for (size_t position = 0; position < listedOrder.size(); ++position) {
      const uint64_t hash = listedHash(at(listedOrder[position]).line);
      size_t slot = hash >> listedShift;
      while (listed[slot].position != kNoEntry) slot = (slot + 1) & mask;
      listed[slot] = {static_cast<uint32_t>(hash), static_cast<uint32_t>(position)};
    }
    return true;
  }

  std::vector<std::unique_ptr<FSimpleRun::Entry[]>> blocks;
  uint32_t count = 0;
  // The entries whose bytes the list file shows, in the order they were written, and a
  // table of them by line made at the first lookup that needs it: 4 bytes an entry and
  // 8 a slot, instead of a record of listing bytes for each such line.
  std::vector<uint32_t> listedOrder;
  size_t lastFound = 0;
  std::vector<ListedSlot> listed;
  uint32_t listedShift = 64;
  std::vector<Form> forms;
  // Open addressing by set and count: a program uses a few hundred forms at most, and
  // every fixed-size instruction looks its form up.
  struct FormSlot {
    const IPAttribute* attributes = nullptr;
    uint16_t cycles = 0;
    uint16_t form = 0;
  };
  std::vector<FormSlot> formSlots;
};

SimpleRunStore& runStore() { return runPart<SimpleRunStore>(); }

// The bytes of one entry in memory order, as a fixed-size instruction node makes them
// in a section of unitBits-bit units; returns their count.
uint32_t entryBytes(const FSimpleRun::Entry& entry, uint32_t unitBits, int32_t byteOrder, uint8_t (&bytes)[32]) {
  const uint32_t units = std::max(1u, FSimpleRun::unitsOf(entry, unitBits));
  return instructionBytes(entry.image, entry.bits, units, unitBits, byteOrder, bytes);
}

// The bytes of the entry at index at the section's location counter, as a fixed-size
// instruction node writes them. A listed line finds its bytes through the store.
void writeEntry(ObjectWriter& writer, Section& section, uint32_t index, uint32_t unitBits) {
  SimpleRunStore& store = runStore();
  const FSimpleRun::Entry& entry = store.at(index);
  const uint32_t units = std::max(1u, FSimpleRun::unitsOf(entry, unitBits));
  uint8_t bytes[32];
  const uint32_t byteCount = entryBytes(entry, unitBits, section.byteOrder, bytes);
  placeInstructionBytes(writer, section, bytes, byteCount, units, unitBits);
  LineInfo* line = entry.line;
  // A listed line is marked; listedRunBytes makes its bytes again from the entry.
  if (line && line->controlState && line->controlState->listCounter > 0 && !store.noteListed(index)) {
    const uint8_t masks[32] = {};
    appendListingBytes(line, bytes, masks, byteCount);
  }
}

}  // namespace

const FSimpleRun::Entry& FSimpleRun::entry(uint32_t index) const { return runStore().at(first_ + index); }

const IPAttribute* FSimpleRun::attributesOf(const Entry& entry) const {
  return runStore().forms[entry.form].attributes;
}

uint32_t FSimpleRun::unitsOf(const Entry& entry, uint32_t unitBits) {
  return (entry.bits + unitBits - 1) / unitBits;
}

namespace {

uint16_t formCycles(SimpleRunStore::Form& form, uint8_t core) {
  if (core == 0xFF) return form.parseCycles;
  if (form.core != core) {
    form.coreCycles = static_cast<uint16_t>(isa::cyclesOfAttributes(form.attributes, core));
    form.core = core;
  }
  return form.coreCycles;
}

}  // namespace

uint16_t FSimpleRun::cyclesOf(const Entry& entry) const { return formCycles(runStore().forms[entry.form], core_); }

uint64_t FSimpleRun::totalCycles() const {
  SimpleRunStore& store = runStore();
  uint64_t total = 0;
  for (uint32_t index = first_; index < first_ + entryCount(); ++index)
    total += formCycles(store.forms[store.at(index).form], core_);
  return total;
}

FlowNode* FSimpleRun::clone() const {
  // A run lives only in a section's flow, which is never copied.
  return nullptr;
}

int32_t FSimpleRun::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  // The entries never change once made: the size of the last layout pass holds.
  if (layoutSize > 0) return static_cast<int32_t>(layoutSize);
  const uint32_t unitBits = instructionUnitBits(section);
  SimpleRunStore& store = runStore();
  int64_t units = 0;
  for (uint32_t index = first_; index < first_ + entryCount(); ++index) units += unitsOf(store.at(index), unitBits);
  auto total = static_cast<int32_t>(std::min<int64_t>(units, INT32_MAX));
  if (section && section->laidOut) size = total;
  return total;
}

void FSimpleRun::emit(ObjectWriter& writer) {
  Section* section = writer.section;
  ErrorHandler* errors = errorHandler();
  const uint32_t unitBits = instructionUnitBits(section);
  SimpleRunStore& store = runStore();
  for (uint32_t index = first_; index < first_ + entryCount(); ++index) {
    const Entry& current = store.at(index);
    LineInfo* entryLine = current.line;
    setObjectSourcePosition(entryLine);
    if (entryLine && section) entryLine->setCodeAddress(section->locationCounter);
    if (!section || !section->image) {
      errors->report(E_no_instruction_allocation, entryLine);
      setLineSize(entryLine, unitsOf(current, unitBits));
    } else {
      writeEntry(writer, *section, index, unitBits);
    }
    setLineCycles(entryLine, cyclesOf(current));
  }
}

uint16_t FSimpleRun::getCycles() const {
  uint32_t total = 0;
  for (uint32_t index = 0; index < entryCount(); ++index) total += cyclesOf(entry(index));
  return static_cast<uint16_t>(total);
}

void FSimpleRun::dump(std::ostream& out) const {
  out << "FSimpleRun(" << entryCount() << " instructions)\n";
}

uint32_t listedRunBytes(const LineInfo& line, uint8_t (&bytes)[32]) {
  const FSimpleRun::Entry* entry = runStore().findListed(&line);
  if (!entry || !line.section) return 0;
  const Section& section = *line.section;
  return entryBytes(*entry, instructionUnitBits(&section), section.byteOrder, bytes);
}

void appendSimpleInstruction(Section& section, LineInfo* line, const IPAttribute& attributes, uint32_t image,
                             uint8_t bits, uint16_t cycles) {
  const bool plainLine = line && line->variant() < 0 && &section != placeholderSection();
  if (!orbaOptions()->flowReadAfterParse()) {
    // Nothing reads the flow after the parse: the fixed-size instruction the section
    // discarded last stands for this one as well, at this line, rather than a node
    // made only to be deleted at the next.
    FlowNode* last = section.lastNode();
    if (plainLine && section.lastNodeDiscarded() && last->kind == FlowNode::kSimple) {
      last->line = line;
      return;
    }
    section.addNode(new FSimple(line, attributes, image, bits, cycles), true);
    return;
  }
  SimpleRunStore& store = runStore();
  int32_t form = -1;
  if (attributes.isShared() && bits > 0 && bits <= 32 && plainLine && line->number() != 0 && store.reserveOne())
    form = store.formOf(attributes, cycles);
  if (form < 0) {
    section.addNode(new FSimple(line, attributes, image, bits, cycles), true);
    return;
  }
  const uint32_t index = store.count++;
  FSimpleRun::Entry& entry = store.at(index);
  entry.line = line;
  entry.image = image;
  entry.form = static_cast<uint16_t>(form);
  entry.bits = bits;
  entry.spare = 0;
  FlowNode* last = section.flow().last();
  if (last && last->kind == FlowNode::kSimpleRun) {
    auto* run = static_cast<FSimpleRun*>(last);
    if (run->first_ + run->entryCount() == index && run->entryCount() < FSimpleRun::kMaxEntries) {
      ++run->cycles;
      if (line->controlState != run->line->controlState) run->cycles |= FSimpleRun::kMixedStates;
      run->line = line;
      return;
    }
  }
  auto* run = new FSimpleRun(line, index);
  run->cycles = 1;
  section.addNode(run, true);
}
