#include "isa/FSimpleRun.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "expr/ObjectExpr.h"
#include "flow/DataEncoder.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/CycleCounts.h"
#include "isa/DefectChecks.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/JumpRecord.h"
#include "util/ControlState.h"
#include "util/assertion.h"
#include "util/c-memory.h"
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

// A stream of bytes in blocks that never move. A block whose bytes have all been taken
// out, once no more come, is given back: the stream of a run's bytes is needed up to
// its writing, not to the end.
class ByteStream {
 public:
  static constexpr size_t kBlockBits = 18;
  static constexpr size_t kBlock = size_t{1} << kBlockBits;
  // The most bytes a stream holds; an offset fits 32 bits.
  static constexpr uint64_t kMaxBytes = UINT32_MAX;

  uint64_t size() const { return size_; }
  // All of the first count bytes or, when the stream cannot grow, none. The few bytes
  // of an entry go in as one fixed-size copy while the block has room for it: a copy of
  // a varying count of one to four bytes costs more than the bytes.
  static constexpr size_t kCopy = 16;
  bool put(const uint8_t (&bytes)[kCopy], size_t count) {
    if (room_ >= sizeof bytes) {
      std::memcpy(cursor_, bytes, sizeof bytes);
      cursor_ += count;
      room_ -= count;
      size_ += count;
      pending_.back() += static_cast<uint32_t>(count);
      return true;
    }
    if (readyNextStep() && room_ >= sizeof bytes) return put(bytes, count);
    return putAcross(bytes, count);
  }
  // Makes the blocks that count bytes more need; false when it cannot.
  bool reserve(size_t count) { return count <= room_ || grow(count); }
  uint8_t at(uint64_t offset) const {
    const uint8_t* block = blocks_[offset >> kBlockBits].get();
    VEKT_ASSERT(block);
    return block[offset & (kBlock - 1)];
  }
  // Hands the bytes [offset, offset + count) to visit(pointer, count), a piece per
  // block, and counts them as taken out; no byte comes after the first call.
  template <typename Visit>
  void takeOut(uint64_t offset, uint64_t count, Visit visit) {
    closed_ = true;
    while (count > 0) {
      const size_t index = offset >> kBlockBits;
      const size_t within = offset & (kBlock - 1);
      const size_t piece = std::min<uint64_t>(count, kBlock - within);
      VEKT_ASSERT(blocks_[index]);
      visit(blocks_[index].get() + within, piece);
      pending_[index] -= static_cast<uint32_t>(piece);
      if (pending_[index] == 0) blocks_[index].reset();
      offset += piece;
      count -= piece;
    }
  }

 private:
  bool grow(size_t count) {
    VEKT_ASSERT(!closed_);
    if (size_ + count > kMaxBytes) return false;
    const size_t needed = ((size_ + count - 1) >> kBlockBits) + 1;
    while (blocks_.size() < needed) {
      try {
        pending_.reserve(blocks_.size() + 1);
        ready_.reserve(blocks_.size() + 1);
        blocks_.reserve(blocks_.size() + 1);
      } catch (const std::bad_alloc&) {
        return false;
      }
      // The block is filled from its start: its pages are made a step at a time, a
      // step in one call, as the bytes reach them.
      size_t ready = 0;
      Block block(static_cast<uint8_t*>(mem_block_alloc(kBlock, &ready)));
      if (!block) return false;
      blocks_.push_back(std::move(block));
      pending_.push_back(0);
      ready_.push_back(static_cast<uint32_t>(ready));
    }
    return true;
  }

  // Places the cursor in the block being filled, with the pages of its next step made
  // when those made so far end within an entry's copy; false when no block is there.
  bool readyNextStep() {
    const size_t index = size_ >> kBlockBits;
    if (index >= blocks_.size()) return false;
    if (ready_[index] < (size_ & (kBlock - 1)) + kCopy && ready_[index] < kBlock)
      ready_[index] = static_cast<uint32_t>(mem_block_ready_step(blocks_[index].get(), kBlock, ready_[index]));
    setCursor();
    return true;
  }
  // The cursor at the end of the stream; its room ends where the block's pages do.
  void setCursor() {
    const size_t index = size_ >> kBlockBits;
    if (index < blocks_.size()) {
      cursor_ = blocks_[index].get() + (size_ & (kBlock - 1));
      room_ = ready_[index] > (size_ & (kBlock - 1)) ? ready_[index] - (size_ & (kBlock - 1)) : 0;
    } else {
      cursor_ = nullptr;
      room_ = 0;
    }
  }
  bool putAcross(const uint8_t* bytes, size_t count) {
    if (!reserve(count)) return false;
    for (size_t index = 0; index < count; ++index, ++size_) {
      blocks_[size_ >> kBlockBits].get()[size_ & (kBlock - 1)] = bytes[index];
      ++pending_[size_ >> kBlockBits];
    }
    setCursor();
    return true;
  }

  struct GiveBack {
    void operator()(uint8_t* block) const { mem_block_free(block, kBlock); }
  };
  using Block = std::unique_ptr<uint8_t, GiveBack>;

  std::vector<Block> blocks_;
  std::vector<uint32_t> pending_;  // a block's bytes not taken out yet
  std::vector<uint32_t> ready_;    // a block's bytes from its start that have their pages
  uint8_t* cursor_ = nullptr;
  size_t room_ = 0;
  uint64_t size_ = 0;
  bool closed_ = false;
};

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
    uint8_t bits;
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

  // The form of the set, count and bit length, made on first use; -1 when the table
  // is full.
  int32_t formOf(const IPAttribute& attributes, uint16_t cycles, uint8_t bits) {
    if ((forms.size() + 1) * 2 > formSlots.size()) growFormSlots();
    const size_t mask = formSlots.size() - 1;
    for (size_t slot = formSlot(&attributes, cycles, bits);; slot = (slot + 1) & mask) {
      FormSlot& entry = formSlots[slot];
      if (entry.attributes == &attributes && entry.cycles == cycles && entry.bits == bits) return entry.form;
      if (entry.attributes) continue;
      if (forms.size() >= kMaxForms) return -1;
      forms.push_back({attributes.copy(), cycles, bits});
      entry = {&attributes, cycles, bits, static_cast<uint16_t>(forms.size() - 1)};
      return entry.form;
    }
  }

  size_t formSlot(const IPAttribute* attributes, uint16_t cycles, uint8_t bits) const {
    const uint64_t key = (reinterpret_cast<uintptr_t>(attributes) << 24) ^ (uint64_t{bits} << 16) ^ cycles;
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (formSlots.size() - 1);
  }

  void growFormSlots() {
    formSlots.assign(formSlots.empty() ? 256 : formSlots.size() * 2, FormSlot{});
    const size_t mask = formSlots.size() - 1;
    for (size_t index = 0; index < forms.size(); ++index) {
      const Form& form = forms[index];
      size_t slot = formSlot(form.attributes, form.parseCycles, form.bits);
      while (formSlots[slot].attributes) slot = (slot + 1) & mask;
      formSlots[slot] = {form.attributes, form.parseCycles, form.bits, static_cast<uint16_t>(index)};
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
    uint8_t bits = 0;
    uint16_t form = 0;
  };
  std::vector<FormSlot> formSlots;

  // Lean runs. Their instructions' bytes, in memory order, go to one stream, so that a
  // run is written with a copy per block; what the walks over a run read goes to
  // another, an entry's part starting with one byte:
  // - below kExplicitRow: the form, and the row is the one before with the next line;
  // - below kWideForm: the form plus kExplicitRow, then the row;
  // - kWideForm: two bytes of form, then the row.
  // A row is one byte of the line-number step from the entry before and whether the
  // line came from an expansion, or kFullRow and the source file, the line number and
  // that flag in nine bytes. A run's first entry has a full row.
  static constexpr uint8_t kExplicitRow = 0x80;
  static constexpr uint8_t kWideForm = 0xFF;
  static constexpr uint8_t kFullRow = 0xFF;

  struct LeanRun {
    uint32_t imageStart;  // the run's first byte in the image stream
    uint32_t metaStart;   // and in the other
    uint32_t units : 31;  // the run's bytes in the section (lean runs are in byte sections)
    uint32_t bigEndian : 1;
    uint32_t firstLabel;  // the run's first label in `labels`
  };

  ByteStream images;
  ByteStream meta;
  std::vector<LeanRun> leanRuns;
  // The labels of every lean run, a run's consecutive and in source order.
  std::vector<FSimpleRun::Label> labels;

  // The jumps written as lean entries, in stream order, with what makes their records
  // again (see appendLeanJump); kept until layout starts. A jump's note is a few bytes:
  // a byte of flags, then as varints its entry's first byte in `images` after the last
  // jump's, its target's index in `labels`, its expansion's first temporary label after
  // the last jump's (zigzag), and its shape and context number where they are not the
  // last jump's.
  struct JumpNote {
    Symbol* target = nullptr;
    uint32_t imageOffset = 0;  // the entry's first byte in `images`
    uint32_t firstLabel = 0;
    uint32_t context = 0;  // the line's context number
    uint32_t shape = 0;    // in jumpShapes
  };
  static constexpr uint8_t kOtherShape = 1;
  static constexpr uint8_t kOtherContext = 2;
  ByteStream jumpNotes;
  uint64_t jumpCount = 0;
  JumpNote lastJump;
  std::vector<isa::JumpShape*> jumpShapes;
  // The targets of the lean jumps with their sections, a pair each time it differs from
  // the jump before's: what the parse's end looks at before it reads any note.
  std::vector<std::pair<Symbol*, Section*>> jumpTargets;
  // The target settings the last lean jump was written under, and how many jumps came
  // before the first one written under them: a target control after a jump turns it
  // back into its record, as the settings the record reads are no longer those of its
  // parse. The numbers only grow during the parse.
  uint32_t jumpSettings = 0;
  uint64_t jumpsUnderEarlierSettings = 0;

  // The context number of each section's last lean entry: a section whose flow ends in
  // a lean run has let go of the line a closing label would follow. The pair checked
  // first is the last entry's, which most entries share.
  std::unordered_map<const Section*, uint32_t> endContexts;
  const Section* endSection = nullptr;
  uint32_t endContext = 0;

  // Notes the context of the line of an entry put at the section's end; false when the
  // table cannot grow.
  bool noteEnd(const Section& section, uint32_t context) {
    if (&section == endSection && context == endContext) return true;
    try {
      endContexts[&section] = context;
    } catch (const std::bad_alloc&) {
      return false;
    }
    endSection = &section;
    endContext = context;
    return true;
  }

  // Where the lean run's labels end: where the next one's begin.
  uint32_t labelEnd(uint32_t number) const {
    return number + 1 < leanRuns.size() ? leanRuns[number + 1].firstLabel : static_cast<uint32_t>(labels.size());
  }

  // Where the lean run's part of the meta stream ends: where the next one's begins.
  uint64_t metaEnd(uint32_t number) const {
    return number + 1 < leanRuns.size() ? leanRuns[number + 1].metaStart : meta.size();
  }
  // The row of the stream's last entry, which the next entry of its run steps from.
  uint32_t lastRowFile = 0;
  uint32_t lastRowLine = 0;
  bool lastRowExpansion = false;
  // The control state asked about last and whether it keeps entries out of lean runs
  // (it selects a defect check, or lean entries are switched off).
  const ControlState* lastState = nullptr;
  bool lastStateSelects = false;
};

SimpleRunStore& runStore() { return runPart<SimpleRunStore>(); }

}  // namespace

LeanEntries& leanEntries() { return runPart<LeanEntries>(); }

namespace {

// The form of the lean entry whose part of the meta stream starts at offset; offset moves
// past it, to the entry's row when the entry has one of its own (explicitRow).
uint32_t takeLeanForm(const SimpleRunStore& store, uint64_t& offset, bool& explicitRow) {
  uint32_t form = store.meta.at(offset++);
  explicitRow = form >= SimpleRunStore::kExplicitRow;
  if (form == SimpleRunStore::kWideForm) {
    form = store.meta.at(offset) | static_cast<uint32_t>(store.meta.at(offset + 1)) << 8;
    offset += 2;
  } else if (explicitRow) {
    form -= SimpleRunStore::kExplicitRow;
  }
  return form;
}

// The bytes of one entry in memory order, as a fixed-size instruction node makes them
// in a section of unitBits-bit units; returns their count.
uint32_t entryBytes(uint32_t image, uint8_t bits, uint32_t unitBits, int32_t byteOrder, uint8_t (&bytes)[32]) {
  const uint32_t units = std::max(1u, (bits + unitBits - 1) / unitBits);
  return instructionBytes(image, bits, units, unitBits, byteOrder, bytes);
}

// The bytes of the entry at index (of a run with lines when the run is not lean) at the
// section's location counter, as a fixed-size instruction node writes them. A listed
// line finds its bytes through the store.
void writeEntry(ObjectWriter& writer, Section& section, const FSimpleRun::Item& item, uint32_t index,
                uint32_t unitBits) {
  SimpleRunStore& store = runStore();
  const uint32_t units = std::max(1u, FSimpleRun::unitsOf(item, unitBits));
  uint8_t bytes[32];
  const uint32_t byteCount = entryBytes(item.image, item.bits, unitBits, section.byteOrder, bytes);
  placeInstructionBytes(writer, section, bytes, byteCount, units, unitBits);
  auto* line = const_cast<LineInfo*>(item.line);
  // A listed line is marked; listedRunBytes makes its bytes again from the entry.
  if (line && line->controlState && line->controlState->listCounter > 0 && !store.noteListed(index)) {
    const uint8_t masks[32] = {};
    appendListingBytes(line, bytes, masks, byteCount);
  }
}

}  // namespace

FSimpleRun::Cursor::Cursor(const FSimpleRun& run)
    : run_(run), left_(run.entryCount()), index_(run.isLean() ? 0 : run.first_), offset_(0) {
  if (run.isLean()) {
    const SimpleRunStore& store = runStore();
    const uint32_t number = run.first_ & ~kLean;
    const auto& lean = store.leanRuns[number];
    index_ = lean.imageStart;
    offset_ = lean.metaStart;
    label_ = lean.firstLabel;
    labelEnd_ = store.labelEnd(number);
  }
  if (left_ > 0) load();
}

void FSimpleRun::Cursor::next() {
  if (--left_ > 0) load();
}

void FSimpleRun::Cursor::load() {
  SimpleRunStore& store = runStore();
  if (!run_.isLean()) {
    // The line's fields are read only by the walks that want them.
    const Entry& entry = store.at(index_++);
    item_.line = entry.line;
    item_.image = entry.image;
    item_.form = entry.form;
    item_.bits = entry.bits;
    return;
  }
  auto take = [&] { return store.meta.at(offset_++); };
  item_.firstLabel = label_;
  while (label_ < labelEnd_ && store.labels[label_].offset == unitOffset_) ++label_;
  item_.labelCount = label_ - item_.firstLabel;
  bool explicitRow = false;
  const uint32_t form = takeLeanForm(store, offset_, explicitRow);
  item_.line = nullptr;
  item_.form = static_cast<uint16_t>(form);
  item_.bits = store.forms[form].bits;
  unitOffset_ += item_.bits / 8;
  // The bytes are in the section's memory order, each a unit.
  const uint32_t count = item_.bits / 8;
  const bool bigEndian = store.leanRuns[run_.first_ & ~kLean].bigEndian;
  uint32_t image = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t byte = store.images.at(index_++);
    image |= byte << (8 * (bigEndian ? count - 1 - k : k));
  }
  item_.image = image;
  if (!explicitRow) {
    ++item_.rowLine;
    return;
  }
  const uint8_t row = take();
  if (row == SimpleRunStore::kFullRow) {
    uint32_t words[2] = {0, 0};
    for (uint32_t& word : words)
      for (uint32_t shift = 0; shift < 32; shift += 8) word |= static_cast<uint32_t>(take()) << shift;
    item_.rowFile = words[0];
    item_.rowLine = words[1];
    item_.rowExpansion = take() != 0;
  } else {
    // Steps of -63..63 lines, folded to 0..126, above the expansion bit.
    const uint32_t folded = row >> 1;
    const int32_t step = (folded & 1) ? -static_cast<int32_t>((folded + 1) >> 1) : static_cast<int32_t>(folded >> 1);
    item_.rowLine = item_.rowLine + static_cast<uint32_t>(step);
    item_.rowExpansion = (row & 1) != 0;
  }
}

const IPAttribute* FSimpleRun::attributesOf(const Item& item) const { return runStore().forms[item.form].attributes; }

std::span<const FSimpleRun::Label> FSimpleRun::labelsBefore(const Item& item) const {
  if (item.labelCount == 0) return {};
  return {runStore().labels.data() + item.firstLabel, item.labelCount};
}

std::span<const FSimpleRun::Label> FSimpleRun::labels() const {
  if (!isLean()) return {};
  const SimpleRunStore& store = runStore();
  const uint32_t number = first_ & ~kLean;
  const uint32_t first = store.leanRuns[number].firstLabel;
  return {store.labels.data() + first, store.labelEnd(number) - first};
}

uint32_t FSimpleRun::unitsOf(const Item& item, uint32_t unitBits) { return (item.bits + unitBits - 1) / unitBits; }

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

uint16_t FSimpleRun::cyclesOf(const Item& item) const { return formCycles(runStore().forms[item.form], core_); }

uint64_t FSimpleRun::totalCycles() const {
  uint64_t total = 0;
  if (isLean()) {
    // The forms alone: no image is read and no row made.
    SimpleRunStore& store = runStore();
    uint64_t offset = store.leanRuns[first_ & ~kLean].metaStart;
    for (uint32_t left = entryCount(); left > 0; --left) {
      bool explicitRow = false;
      const uint32_t form = takeLeanForm(store, offset, explicitRow);
      if (explicitRow) offset += store.meta.at(offset) == SimpleRunStore::kFullRow ? 10 : 1;
      total += formCycles(store.forms[form], core_);
    }
    VEKT_ASSERT(offset == store.metaEnd(first_ & ~kLean));
    return total;
  }
  for (Cursor entries(*this); !entries.isDone(); entries.next()) total += cyclesOf(entries.item());
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
  SimpleRunStore& store = runStore();
  if (isLean()) return static_cast<int32_t>(store.leanRuns[first_ & ~kLean].units);
  const uint32_t unitBits = instructionUnitBits(section);
  int64_t units = 0;
  for (uint32_t index = first_; index < first_ + entryCount(); ++index) {
    const Entry& entry = store.at(index);
    units += (entry.bits + unitBits - 1) / unitBits;
  }
  auto total = static_cast<int32_t>(std::min<int64_t>(units, INT32_MAX));
  if (section && section->laidOut) size = total;
  return total;
}

FlowNode::LayoutChoice FSimpleRun::layOut(FlowWalker& walker, int32_t /*mode*/, bool /*fresh*/) {
  const int32_t units = computeSize(walker.section, static_cast<uint32_t>(walker.offset));
  walker.nodeSize = units > 0 ? units : 0;
  LayoutChoice choice;
  const std::span<const Label> placed = labels();
  for (const Label& label : placed)
    placeLabelSymbol(label.symbol, walker.offset + static_cast<int32_t>(label.offset), walker.pass);
  // As for a label node: the labels moved when the run did.
  if (!placed.empty()) choice.changed = walker.offset != walker.previousOffset;
  return choice;
}

namespace {

// Writes the labels in front of an entry as their own nodes would be written.
void emitRunLabels(ObjectWriter& writer, std::span<const FSimpleRun::Label> labels) {
  for (const FSimpleRun::Label& label : labels) {
    LineInfo* labelLine = label.symbol->definitionLine;
    setObjectSourcePosition(labelLine);
    if (labelLine && writer.section) labelLine->setCodeAddress(writer.section->locationCounter);
    emitLabelSymbol(writer, label.symbol, labelLine);
  }
}

}  // namespace

void FSimpleRun::emit(ObjectWriter& writer) {
  Section* section = writer.section;
  ErrorHandler* errors = errorHandler();
  const uint32_t unitBits = instructionUnitBits(section);
  if (isLean() && section && section->image && unitBits == 8) {
    emitLean(writer, *section);
    return;
  }
  uint32_t index = first_;
  for (Cursor entries(*this); !entries.isDone(); entries.next(), ++index) {
    const Item& current = entries.item();
    emitRunLabels(writer, labelsBefore(current));
    // A lean entry's diagnostics stand at its run's line.
    auto* entryLine = const_cast<LineInfo*>(current.line);
    setObjectSourcePosition(entryLine ? entryLine : line);
    if (entryLine && section) entryLine->setCodeAddress(section->locationCounter);
    if (!section || !section->image) {
      errors->report(E_no_instruction_allocation, entryLine ? entryLine : line);
      setLineSize(entryLine, unitsOf(current, unitBits));
    } else {
      writeEntry(writer, *section, current, index, unitBits);
    }
    setLineCycles(entryLine, cyclesOf(current));
  }
}

void FSimpleRun::emitLean(ObjectWriter& writer, Section& section) {
  SimpleRunStore& store = runStore();
  const uint32_t number = first_ & ~kLean;
  const SimpleRunStore::LeanRun& lean = store.leanRuns[number];
  setObjectSourcePosition(line);
  if (lean.bigEndian == (section.byteOrder != Section::kLittleEndian)) {
    // The bytes are the section's already: a copy per block of the stream, and a
    // break at each label.
    auto place = [&](const uint8_t* bytes, size_t count) {
      const auto units = static_cast<uint32_t>(count);
      placeInstructionBytes(writer, section, bytes, units, units, 8);
    };
    uint32_t placed = 0;
    for (const Label& label : labels()) {
      if (label.offset > placed) {
        store.images.takeOut(lean.imageStart + placed, label.offset - placed, place);
        placed = label.offset;
      }
      emitRunLabels(writer, {&label, 1});
      setObjectSourcePosition(line);
    }
    store.images.takeOut(lean.imageStart + placed, lean.units - placed, place);
  } else {
    for (Cursor entries(*this); !entries.isDone(); entries.next()) {
      emitRunLabels(writer, labelsBefore(entries.item()));
      setObjectSourcePosition(line);
      writeEntry(writer, section, entries.item(), 0, 8);
    }
    store.images.takeOut(lean.imageStart, lean.units, [](const uint8_t*, size_t) {});
  }
  store.meta.takeOut(lean.metaStart, store.metaEnd(number) - lean.metaStart, [](const uint8_t*, size_t) {});
}

uint16_t FSimpleRun::getCycles() const { return static_cast<uint16_t>(totalCycles()); }

void FSimpleRun::dump(std::ostream& out) const {
  out << "FSimpleRun(" << entryCount() << " instructions";
  if (const size_t labelCount = labels().size()) out << ", " << labelCount << " labels";
  out << ")\n";
}

bool leanRunEnd(const Section& section, const FlowNode* last, LeanRunEnd& end) {
  if (!last || last->kind != FlowNode::kSimpleRun) return false;
  const auto& run = static_cast<const FSimpleRun&>(*last);
  const SimpleRunStore& store = runStore();
  const auto found = store.endContexts.find(&section);
  if (!run.isLean() || run.entryCount() == 0 || found == store.endContexts.end()) return false;
  FSimpleRun::Cursor entries(run);
  for (uint32_t left = run.entryCount(); left > 1; --left) entries.next();
  end.sourceFile = entries.item().sourceFile();
  end.lineNumber = entries.item().lineNumber();
  end.context = &lineArena().contexts().at(found->second);
  // The run's last label's line, else that of the node before the run, else the
  // section's definition line.
  end.after = nullptr;
  const std::span<const FSimpleRun::Label> labels = run.labels();
  for (auto label = labels.rbegin(); label != labels.rend() && !end.after; ++label)
    end.after = label->symbol->definitionLine;
  for (const FlowNode* node = last->previousNode(); node && !end.after; node = node->previousNode())
    end.after = node->line;
  if (!end.after) end.after = section.line;
  return true;
}

uint32_t listedRunBytes(const LineInfo& line, uint8_t (&bytes)[32]) {
  const FSimpleRun::Entry* entry = runStore().findListed(&line);
  if (!entry || !line.section) return 0;
  const Section& section = *line.section;
  return entryBytes(entry->image, entry->bits, instructionUnitBits(&section), section.byteOrder, bytes);
}

namespace {

// Whether nothing after the parse needs the line of a fixed-size instruction in the
// section: no list file or debug information reads it, no defect check selected at it
// reports there, and a too-large section can only be blamed at a line of a run when it
// has a fixed address (lean runs go to sections without one). The entry's bytes are
// whole bytes of a code section.
bool leanEntryFits(SimpleRunStore& store, const Section& section, const LineInfo& line, uint8_t bits) {
  const RunSettings* options = orbaOptions();
  if (options->listFileWanted || options->asmDebugInfo || section.hasAddress) return false;
  if ((bits != 16 && bits != 32) || instructionUnitBits(&section) != 8) return false;
  if (!section.flags.isCode() || section.flags.isData()) return false;
  const ControlState* state = line.controlState;
  if (state != store.lastState) {
    store.lastState = state;
    // A test that keeps every line switches lean entries off before the parse.
    store.lastStateSelects = isa::stateSelectsDefectCheck(state) || !leanEntries().enabled;
  }
  return !store.lastStateSelects;
}

// Whether a label node may become an entry of a lean run: a label of the source
// without alignment, whose symbol names its line as its definition (the run keeps the
// symbol alone). Generated and aligned labels stay nodes.
bool labelJoinsRun(const FLabel& label) {
  const LineInfo* labelLine = label.line;
  return label.symbol && label.alignment <= 0 && labelLine && (labelLine->flags[2] & lineflag::kDefinesLabel) &&
         labelLine->variant() < 0 && label.symbol->definitionLine == labelLine;
}

// How many of the label nodes that end the section's flow a lean entry at the line
// takes in: those after the last one that must stay a node. -1 when the line defines a
// label of its own that cannot be taken in, which keeps the entry out of lean runs.
int32_t labelsJoiningRun(const Section& section, const LineInfo& line) {
  int32_t count = 0;
  bool ownLabel = false;
  for (const FlowNode* node = section.flow().last(); node && node->kind == FlowNode::kLabel;
       node = node->previousNode()) {
    const auto& label = static_cast<const FLabel&>(*node);
    if (!labelJoinsRun(label)) break;
    ownLabel = ownLabel || label.line == &line;
    ++count;
  }
  if ((line.flags[2] & lineflag::kDefinesLabel) && !ownLabel) return -1;
  return count;
}

// Appends the entry to the lean streams; false when they cannot take it (then neither
// holds any of it).
bool putLeanEntry(SimpleRunStore& store, uint16_t form, uint32_t image, uint8_t bits, bool bigEndian, uint32_t file,
                  uint32_t number, bool expansion, bool first) {
  uint8_t bytes[16] = {};
  const uint32_t count = bits / 8;
  for (uint32_t k = 0; k < count; ++k) bytes[k] = static_cast<uint8_t>(image >> (8 * (bigEndian ? count - 1 - k : k)));
  uint8_t about[16] = {};
  size_t length = 0;
  const auto step = static_cast<int64_t>(number) - static_cast<int64_t>(store.lastRowLine);
  const bool sameFile = !first && file == store.lastRowFile;
  if (sameFile && step == 1 && expansion == store.lastRowExpansion && form < SimpleRunStore::kExplicitRow) {
    about[length++] = static_cast<uint8_t>(form);
  } else {
    if (form < SimpleRunStore::kWideForm - SimpleRunStore::kExplicitRow) {
      about[length++] = static_cast<uint8_t>(form + SimpleRunStore::kExplicitRow);
    } else {
      about[length++] = SimpleRunStore::kWideForm;
      about[length++] = static_cast<uint8_t>(form);
      about[length++] = static_cast<uint8_t>(form >> 8);
    }
    if (sameFile && step >= -63 && step <= 63) {
      const uint32_t folded = step >= 0 ? static_cast<uint32_t>(step) * 2 : static_cast<uint32_t>(-step) * 2 - 1;
      about[length++] = static_cast<uint8_t>(folded << 1 | (expansion ? 1 : 0));
    } else {
      about[length++] = SimpleRunStore::kFullRow;
      for (uint32_t word : {file, number})
        for (uint32_t shift = 0; shift < 32; shift += 8) about[length++] = static_cast<uint8_t>(word >> shift);
      about[length++] = expansion ? 1 : 0;
    }
  }
  if (!store.images.reserve(count) || !store.meta.reserve(length)) return false;
  store.images.put(bytes, count);
  store.meta.put(about, length);
  store.lastRowFile = file;
  store.lastRowLine = number;
  store.lastRowExpansion = expansion;
  return true;
}

// Room for count labels more; false when the table cannot grow.
bool reserveLabels(SimpleRunStore& store, int32_t count) {
  const size_t needed = store.labels.size() + static_cast<size_t>(count);
  if (needed <= store.labels.capacity()) return true;
  try {
    // Grows as a push would, not by the few labels asked for: a reserve of the exact
    // size would copy the table at every label.
    store.labels.reserve(std::max(needed, store.labels.capacity() * 2));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Makes the count label nodes that end the section's flow labels of the lean run the
// store ends with, at offset in it, and deletes the nodes.
void takeLabels(SimpleRunStore& store, Section& section, int32_t count, uint32_t offset) {
  if (count == 0) return;
  FlowNode* node = section.flow().last();
  for (int32_t step = 1; step < count; ++step) node = node->previousNode();
  const size_t first = store.labels.size();
  for (int32_t index = 0; index < count; ++index, node = node->nextNode())
    store.labels.push_back({static_cast<FLabel*>(node)->symbol, offset});
  for (size_t index = first; index < store.labels.size(); ++index) {
    auto* label = static_cast<FLabel*>(section.flow().last());
    section.takeLastLabel(label);
    delete label;
  }
}

}  // namespace

// Where a lean entry at a section's end goes, and its putting there: the run's private
// parts, for the instructions and jumps that become entries.
struct LeanRunAccess {
  // The label nodes that end the flow and join the entry's run, the run it joins (null
  // for a new one) and the entry's form.
  struct Place {
    int32_t joining = -1;
    FSimpleRun* run = nullptr;
    int32_t form = -1;
  };

  // Whether an instruction at the line in the section may be an entry of a run at all:
  // a line of the source, not a generated one, in a section of its own.
  static bool plainLine(const Section& section, const LineInfo* line) {
    return line && line->variant() < 0 && &section != placeholderSection();
  }

  // Where the instruction's entry goes in a lean run; false when it would not be lean. The
  // caller has found the line plain and the flow read after the parse.
  static bool find(SimpleRunStore& store, Section& section, LineInfo* line, const IPAttribute& attributes,
                   uint8_t bits, uint16_t cycles, Place& place, int32_t* formHint = nullptr) {
    if (!attributes.isShared() || bits == 0 || bits > 32 || line->number() == 0) return false;
    place.joining = labelsJoiningRun(section, *line);
    if (place.joining < 0 || !leanEntryFits(store, section, *line, bits) ||
        store.leanRuns.size() >= FSimpleRun::kLean ||
        store.labels.size() + static_cast<uint32_t>(place.joining) >= UINT32_MAX ||
        !reserveLabels(store, place.joining))
      return false;
    place.form = formFor(store, attributes, cycles, bits, formHint);
    if (place.form < 0) return false;
    // To the lean run the stream ends with when that comes right before the entry and
    // the labels that join it, else to a new run.
    FlowNode* last = section.flow().last();
    for (int32_t skipped = 0; last && skipped < place.joining; ++skipped) last = last->previousNode();
    place.run = nullptr;
    if (last && last->kind == FlowNode::kSimpleRun) {
      auto* candidate = static_cast<FSimpleRun*>(last);
      if (candidate->isLean() && (candidate->first_ & ~FSimpleRun::kLean) + 1 == store.leanRuns.size() &&
          candidate->entryCount() < FSimpleRun::kMaxEntries)
        place.run = candidate;
    }
    return true;
  }

  // The entry form of the set, count and bit length, -1 when the table is full. A jump's
  // shape keeps its entries' form in `hint`: its jumps ask for the same one.
  static int32_t formFor(SimpleRunStore& store, const IPAttribute& attributes, uint16_t cycles, uint8_t bits,
                         int32_t* hint) {
    const int32_t hinted = hint ? *hint : -1;
    if (hinted >= 0 && static_cast<size_t>(hinted) < store.forms.size()) {
      const SimpleRunStore::Form& form = store.forms[static_cast<size_t>(hinted)];
      if (form.attributes == &attributes && form.parseCycles == cycles && form.bits == bits) return hinted;
    }
    const int32_t made = store.formOf(attributes, cycles, bits);
    if (hint) *hint = made;
    return made;
  }

  // Puts the entry where `place` says; false, with nothing changed, when the streams
  // cannot take it.
  static bool put(SimpleRunStore& store, Section& section, LineInfo* line, const Place& place, uint32_t image,
                  uint8_t bits) {
    const auto imageStart = static_cast<uint32_t>(store.images.size());
    const auto metaStart = static_cast<uint32_t>(store.meta.size());
    const bool bigEndian = section.byteOrder != Section::kLittleEndian;
    if (!store.noteEnd(section, line->contextNumber_) ||
        !putLeanEntry(store, static_cast<uint16_t>(place.form), image, bits, bigEndian, line->sourceFile,
                      line->lineNumber, (line->flags[0] & lineflag::kMacroExpansion) != 0, place.run == nullptr))
      return false;
    ++leanEntries().taken;
    // Nothing refers to the line any more unless it defines a label, whose symbol
    // names it: a lean run stands at no line.
    if (!(line->flags[2] & lineflag::kDefinesLabel)) lineLetGo(line);
    const auto firstLabel = static_cast<uint32_t>(store.labels.size());
    takeLabels(store, section, place.joining, place.run ? store.leanRuns.back().units : 0);
    if (place.run) {
      ++place.run->cycles;
      store.leanRuns.back().units += bits / 8;
      return true;
    }
    store.leanRuns.push_back({imageStart, metaStart, static_cast<uint32_t>(bits / 8), bigEndian, firstLabel});
    auto* run = new FSimpleRun(nullptr, static_cast<uint32_t>(store.leanRuns.size() - 1) | FSimpleRun::kLean);
    run->cycles = 1;
    section.addNode(run, true);
    return true;
  }

  static bool append(Section& section, LineInfo* line, const IPAttribute& attributes, uint32_t image, uint8_t bits,
                     uint16_t cycles) {
    SimpleRunStore& store = runStore();
    Place place;
    return find(store, section, line, attributes, bits, cycles, place) && put(store, section, line, place, image, bits);
  }

  // A new lean run at the streams' end, for the entries of a run being remade.
  static FSimpleRun* startRun(SimpleRunStore& store, bool bigEndian) {
    store.leanRuns.push_back({static_cast<uint32_t>(store.images.size()), static_cast<uint32_t>(store.meta.size()), 0,
                              bigEndian, static_cast<uint32_t>(store.labels.size())});
    auto* run = new FSimpleRun(nullptr, static_cast<uint32_t>(store.leanRuns.size() - 1) | FSimpleRun::kLean);
    run->cycles = 0;
    return run;
  }

  static uint32_t number(const FSimpleRun& run) { return run.first_ & ~FSimpleRun::kLean; }
  static void countEntry(FSimpleRun& run) { ++run.cycles; }
};

namespace {

// How many of its run's labels, from the last one back, a jump's target is looked for
// among: a jump further back than that stays a record.
constexpr uint32_t kNearLabels = 64;

// Puts a varint (seven bits a byte, low first) at bytes[length].
void putVarint(uint8_t (&bytes)[16], size_t& length, uint64_t value) {
  while (value >= 0x80) {
    bytes[length++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  bytes[length++] = static_cast<uint8_t>(value);
}

uint64_t takeVarint(const ByteStream& stream, uint64_t& offset) {
  uint64_t value = 0;
  for (uint32_t shift = 0;; shift += 7) {
    const uint8_t byte = stream.at(offset++);
    value |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80) || shift >= 63) return value;
  }
}

// The note that starts at offset, after `last`; offset moves past it.
SimpleRunStore::JumpNote takeJumpNote(const SimpleRunStore& store, uint64_t& offset,
                                      const SimpleRunStore::JumpNote& last) {
  SimpleRunStore::JumpNote jump = last;
  const uint8_t flags = store.jumpNotes.at(offset++);
  jump.imageOffset = static_cast<uint32_t>(last.imageOffset + takeVarint(store.jumpNotes, offset));
  const uint64_t targetIndex = takeVarint(store.jumpNotes, offset);
  const uint64_t labelStep = takeVarint(store.jumpNotes, offset);
  // Zigzag: an even count steps forward, an odd one back.
  const auto step = static_cast<uint32_t>((labelStep & 1) ? ~(labelStep >> 1) : labelStep >> 1);
  jump.firstLabel = last.firstLabel + step;
  if (flags & SimpleRunStore::kOtherShape) jump.shape = static_cast<uint32_t>(takeVarint(store.jumpNotes, offset));
  if (flags & SimpleRunStore::kOtherContext) jump.context = static_cast<uint32_t>(takeVarint(store.jumpNotes, offset));
  jump.target = store.labels[static_cast<size_t>(targetIndex)].symbol;
  return jump;
}

}  // namespace

bool appendLeanJump(Section& section, LineInfo* line, const LeanJumpForm& likely, const LeanJump& jump,
                    const LeanJumpEncoder& encode) {
  SimpleRunStore& store = runStore();
  LeanRunAccess::Place place;
  if (!LeanRunAccess::plainLine(section, line) || !orbaOptions()->flowReadAfterParse() ||
      !LeanRunAccess::find(store, section, line, *likely.attributes, likely.bits, likely.cycles, place,
                           likely.formHint))
    return false;
  // The target: a label that joins the run with the jump stands where the jump does,
  // else one of the run's last labels. Its index in the label table once the joining
  // labels are in it.
  const auto labelCount = static_cast<uint64_t>(store.labels.size());
  const uint32_t jumpOffset = place.run ? store.leanRuns.back().units : 0;
  uint64_t targetIndex = UINT64_MAX;
  int64_t distance = 0;
  FlowNode* node = section.flow().last();
  for (int32_t k = 0; k < place.joining; ++k, node = node->previousNode()) {
    if (static_cast<FLabel*>(node)->symbol == jump.target) {
      targetIndex = labelCount + static_cast<uint64_t>(place.joining - 1 - k);
      break;
    }
  }
  if (targetIndex == UINT64_MAX && place.run) {
    const uint32_t first = store.leanRuns.back().firstLabel;
    for (uint64_t k = labelCount, tried = 0; k > first && tried < kNearLabels; --k, ++tried) {
      if (store.labels[k - 1].symbol == jump.target) {
        targetIndex = k - 1;
        distance = static_cast<int64_t>(store.labels[k - 1].offset) - static_cast<int64_t>(jumpOffset);
        break;
      }
    }
  }
  LeanJumpForm form = likely;
  if (targetIndex == UINT64_MAX || !encode.encode(encode.context, distance, form)) return false;
  if (form.attributes != likely.attributes || form.bits != likely.bits || form.cycles != likely.cycles) {
    // Another form: its own entry form, of a width a lean run takes.
    if (!form.attributes->isShared() || (form.bits != 16 && form.bits != 32)) return false;
    place.form = LeanRunAccess::formFor(store, *form.attributes, form.cycles, form.bits, form.formHint);
    if (place.form < 0) return false;
  }
  const uint8_t bits = form.bits;
  const uint32_t image = form.image;
  // Most jumps of a stretch of code share a few shapes.
  uint32_t shape = store.lastJump.shape;
  if (store.jumpShapes.empty() || store.jumpShapes[shape] != jump.shape) {
    const auto shapeCount = static_cast<uint32_t>(store.jumpShapes.size());
    uint32_t back = 0;
    while (back < shapeCount && back < 8 && store.jumpShapes[shapeCount - 1 - back] != jump.shape) ++back;
    if (back < shapeCount && back < 8) {
      shape = shapeCount - 1 - back;
    } else {
      try {
        store.jumpShapes.push_back(jump.shape);
      } catch (const std::bad_alloc&) {
        return false;
      }
      shape = shapeCount;
    }
  }
  const auto imageOffset = static_cast<uint64_t>(store.images.size());
  const uint32_t context = line->contextNumber_;
  uint8_t note[16] = {};
  size_t length = 1;
  const bool first = store.jumpCount == 0;
  if (first || shape != store.lastJump.shape) note[0] |= SimpleRunStore::kOtherShape;
  if (first || context != store.lastJump.context) note[0] |= SimpleRunStore::kOtherContext;
  putVarint(note, length, imageOffset - store.lastJump.imageOffset);
  putVarint(note, length, targetIndex);
  const uint32_t labelStep = jump.firstLabel - store.lastJump.firstLabel;
  const auto signedStep = static_cast<int32_t>(labelStep);
  putVarint(note, length, signedStep < 0 ? (uint64_t{~labelStep} << 1) | 1 : uint64_t{labelStep} << 1);
  if (note[0] & SimpleRunStore::kOtherShape) putVarint(note, length, shape);
  if (note[0] & SimpleRunStore::kOtherContext) putVarint(note, length, context);
  const bool newTarget = first || jump.target != store.lastJump.target || context != store.lastJump.context;
  if (newTarget) {
    try {
      store.jumpTargets.emplace_back(jump.target, &section);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  if (length > sizeof note || imageOffset + bits / 8 > ByteStream::kMaxBytes || !store.jumpNotes.reserve(length) ||
      !LeanRunAccess::put(store, section, line, place, image, bits)) {
    if (newTarget) store.jumpTargets.pop_back();
    return false;
  }
  store.jumpNotes.put(note, length);
  if (const uint32_t settings = orbaOptions()->targetSettingsNumber(); settings != store.jumpSettings) {
    store.jumpSettings = settings;
    store.jumpsUnderEarlierSettings = store.jumpCount;
  }
  ++store.jumpCount;
  store.lastJump = {jump.target, static_cast<uint32_t>(imageOffset), jump.firstLabel, context, shape};
  return true;
}

namespace {

// Makes the run's node again as nodes without the lean jumps `remade` (in stream order):
// the other entries go to new lean runs, a jump's labels to label nodes and the jump to
// its record.
void remakeRun(SimpleRunStore& store, Section& section, FSimpleRun& run,
               const std::vector<SimpleRunStore::JumpNote>& remade) {
  const uint32_t number = LeanRunAccess::number(run);
  const SimpleRunStore::LeanRun lean = store.leanRuns[number];
  std::vector<FlowNode*> nodes;
  FSimpleRun* segment = nullptr;
  uint64_t offset = lean.imageStart;
  size_t next = 0;
  // The last line kept before the entry: a label's, or one made for a remade jump.
  LineInfo* lastLine = nullptr;
  for (FSimpleRun::Cursor entries(run); !entries.isDone(); entries.next()) {
    const FSimpleRun::Item& item = entries.item();
    // By value: the label table grows below.
    const std::span<const FSimpleRun::Label> before = run.labelsBefore(item);
    const std::vector<FSimpleRun::Label> labels(before.begin(), before.end());
    for (const FSimpleRun::Label& label : labels)
      if (label.symbol->definitionLine) lastLine = label.symbol->definitionLine;
    if (next < remade.size() && remade[next].imageOffset == offset) {
      const SimpleRunStore::JumpNote& jump = remade[next++];
      segment = nullptr;
      isa::RemadeJump row{jump.target, store.jumpShapes[jump.shape], jump.firstLabel, jump.context, item.rowLine,
                          item.rowExpansion, nullptr, lastLine};
      for (const FSimpleRun::Label& label : labels) {
        LineInfo* labelLine = label.symbol->definitionLine;
        nodes.push_back(new FLabel(labelLine, label.symbol));
        // A label on the jump's own line keeps that line.
        if (labelLine && labelLine->lineNumber == item.rowLine && labelLine->sourceFile == item.rowFile &&
            labelLine->contextNumber_ == jump.context)
          row.ownLine = labelLine;
      }
      FlowNode* record = isa::remakeJumpRecord(row);
      lastLine = record->line;
      nodes.push_back(record);
    } else {
      const bool first = segment == nullptr;
      if (first) {
        segment = LeanRunAccess::startRun(store, lean.bigEndian);
        nodes.push_back(segment);
      }
      for (const FSimpleRun::Label& label : labels) store.labels.push_back({label.symbol, store.leanRuns.back().units});
      if (!putLeanEntry(store, item.form, item.image, item.bits, lean.bigEndian, item.rowFile, item.rowLine,
                        item.rowExpansion, first))
        throw std::bad_alloc();
      LeanRunAccess::countEntry(*segment);
      store.leanRuns.back().units += item.bits / 8;
    }
    offset += item.bits / 8;
  }
  for (FlowNode* node : nodes) section.insertNodeBefore(&run, node);
  section.removeNode(&run);
  delete &run;
}

}  // namespace

void settleLeanJumps() {
  SimpleRunStore& store = runStore();
  if (store.jumpCount == 0) return;
  isa::directJumpLayout().entries += store.jumpCount;
  // The runs with a jump whose record would not be written as its entry is: every lean
  // jump of such a run goes back to its record, as a remade jump may take another size
  // and so move the labels of the others. So do the jumps written before a target control
  // that changed the settings.
  const uint64_t earlier = orbaOptions()->targetSettingsNumber() != store.jumpSettings
                               ? store.jumpCount
                               : store.jumpsUnderEarlierSettings;
  bool anyRemade = earlier > 0;
  for (const auto& [target, section] : store.jumpTargets)
    if (!isa::leanJumpWritten(*target, *section)) anyRemade = true;
  std::vector<std::pair<Symbol*, Section*>>().swap(store.jumpTargets);
  store.jumpSettings = 0;
  store.jumpsUnderEarlierSettings = 0;
  if (!anyRemade) {
    store.jumpNotes.takeOut(0, store.jumpNotes.size(), [](const uint8_t*, size_t) {});
    store.jumpCount = 0;
    std::vector<isa::JumpShape*>().swap(store.jumpShapes);
    return;
  }
  // Seldom: every note is read, with the run it stands in.
  const auto originalRuns = static_cast<uint32_t>(store.leanRuns.size());
  std::vector<std::pair<uint32_t, SimpleRunStore::JumpNote>> notes;
  notes.reserve(store.jumpCount);
  {
    uint32_t run = 0;
    uint64_t offset = 0;
    SimpleRunStore::JumpNote last;
    for (uint64_t left = store.jumpCount; left > 0; --left) {
      last = takeJumpNote(store, offset, last);
      while (run + 1 < originalRuns && store.leanRuns[run + 1].imageStart <= last.imageOffset) ++run;
      notes.emplace_back(run, last);
    }
  }
  std::vector<uint8_t> remakes(originalRuns);
  std::vector<Section*> sections;
  for (uint64_t index = 0; index < notes.size(); ++index) {
    const auto& [run, note] = notes[index];
    Section* section = lineArena().contexts().at(note.context).section;
    if (index >= earlier && section && isa::leanJumpWritten(*note.target, *section)) continue;
    remakes[run] = 1;
    if (std::find(sections.begin(), sections.end(), section) == sections.end()) sections.push_back(section);
  }
  std::vector<std::vector<SimpleRunStore::JumpNote>> byRun(originalRuns);
  for (const auto& [run, note] : notes)
    if (remakes[run]) byRun[run].push_back(note);
  store.jumpNotes.takeOut(0, store.jumpNotes.size(), [](const uint8_t*, size_t) {});
  store.jumpCount = 0;
  for (Section* section : sections) {
    if (!section) continue;
    for (FlowNode* node = section->firstNode(); node;) {
      FlowNode* after = node->nextNode();
      if (node->kind == FlowNode::kSimpleRun) {
        auto& run = static_cast<FSimpleRun&>(*node);
        if (run.isLean() && LeanRunAccess::number(run) < originalRuns && !byRun[LeanRunAccess::number(run)].empty())
          remakeRun(store, *section, run, byRun[LeanRunAccess::number(run)]);
      }
      node = after;
    }
  }
  // The remade runs' bytes are in the new runs now.
  for (uint32_t run = 0; run < byRun.size(); ++run) {
    if (byRun[run].empty()) continue;
    const SimpleRunStore::LeanRun& lean = store.leanRuns[run];
    store.images.takeOut(lean.imageStart, lean.units, [](const uint8_t*, size_t) {});
    store.meta.takeOut(lean.metaStart, store.metaEnd(run) - lean.metaStart, [](const uint8_t*, size_t) {});
  }
  std::vector<isa::JumpShape*>().swap(store.jumpShapes);
}

void appendSimpleInstruction(Section& section, LineInfo* line, const IPAttribute& attributes, uint32_t image,
                             uint8_t bits, uint16_t cycles) {
  const bool plainLine = LeanRunAccess::plainLine(section, line);
  if (!orbaOptions()->flowReadAfterParse()) {
    // Nothing reads the flow after the parse: the fixed-size instruction the section
    // discarded last stands for this one as well, at this line, rather than a node
    // made only to be deleted at the next.
    FlowNode* last = section.lastNode();
    if (plainLine && section.lastNodeDiscarded() && last->kind == FlowNode::kSimple) {
      // The line the node stood at is referred to by nothing else unless it defines a
      // label: the parse may let go of it.
      LineInfo* before = last->line;
      if (before && before != line && !(before->flags[2] & lineflag::kDefinesLabel)) lineLetGo(before);
      last->line = line;
      return;
    }
    section.addNode(new FSimple(line, attributes, image, bits, cycles), true);
    return;
  }
  if (plainLine && LeanRunAccess::append(section, line, attributes, image, bits, cycles)) return;
  SimpleRunStore& store = runStore();
  const bool entryFits = attributes.isShared() && bits > 0 && bits <= 32 && plainLine && line->number() != 0;
  int32_t form = -1;
  if (entryFits && store.reserveOne()) form = store.formOf(attributes, cycles, bits);
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
    if (!run->isLean() && run->first_ + run->entryCount() == index && run->entryCount() < FSimpleRun::kMaxEntries) {
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
