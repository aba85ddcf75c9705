#include "util/LineInfo.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "util/ControlState.h"
#include "util/MemoryPools.h"
#include "util/RunState.h"
#include "util/assertion.h"

namespace {

// The extras of the lines that have any, by line. A line leaves the table when it is
// deleted, so that a record made later at the same address starts without extras.
struct LineExtrasTable {
  std::unordered_map<const LineInfo*, LineExtras> byLine;
};

LineExtrasTable& extrasTable() { return runPart<LineExtrasTable>(); }

constexpr LineExtras kNoExtras{};

// The words the data and alignment nodes leave for the list file. The variant lives
// apart from them: every line of a jump with a generic form has one, while only a
// run with a list file keeps the extra words.
struct ExtraWords {
  uint16_t extra[3] = {0, 0, 0};

  bool operator==(const ExtraWords&) const = default;
};

struct SourceRange {
  uint32_t start = 0;
  uint32_t end = 0;

  bool operator==(const SourceRange&) const = default;
};

// One side field of the arena's lines, by line number, in chunks made at the first
// line of a chunk that has a value other than the blank one.
template <typename T>
class SideArray {
 public:
  explicit SideArray(T blank) : blank_(blank) {}

  T get(uint32_t number) const {
    size_t chunk = number >> LineArena::kChunkBits;
    if (chunk < chunks_.size() && chunks_[chunk])
      return chunks_[chunk][number & (LineArena::kChunkSize - 1)];
    return blank_;
  }
  void set(uint32_t number, T value) {
    size_t chunk = number >> LineArena::kChunkBits;
    if (chunk >= chunks_.size() || !chunks_[chunk]) {
      if (value == blank_) return;
      if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
      chunks_[chunk] = std::make_unique<T[]>(LineArena::kChunkSize);
      for (uint32_t slot = 0; slot < LineArena::kChunkSize; ++slot) chunks_[chunk][slot] = blank_;
    }
    chunks_[chunk][number & (LineArena::kChunkSize - 1)] = value;
  }
  // Whether any line has a value other than the blank one.
  bool empty() const { return chunks_.empty(); }

 private:
  T blank_;
  std::vector<std::unique_ptr<T[]>> chunks_;
};

}  // namespace

// The side fields: by number for the arena's lines, by address for the others.
struct LineSideFields {
  SideArray<int32_t> codeAddresses{-1};
  SideArray<ExtraWords> extraWords{ExtraWords{}};
  SideArray<SourceRange> sourceRanges{SourceRange{}};
  struct Loose {
    int32_t codeAddress = -1;
    int16_t variant = -1;
    ExtraWords words;
    SourceRange sourceRange;
  };
  std::unordered_map<const LineInfo*, Loose> loose;
  Loose* findLoose(const LineInfo* line) {
    auto entry = loose.find(line);
    return entry == loose.end() ? nullptr : &entry->second;
  }
  // Clears the fields of the line, whose number in `arena` is `number` (0 for a line of
  // its own).
  void forget(const LineInfo* line, LineArena& arena, uint32_t number) {
    if (number == 0) {
      if (!loose.empty()) loose.erase(line);
      return;
    }
    // A field that no line of the run has is not looked at: most runs keep none, and a
    // run with jumps keeps only their variants.
    if (!codeAddresses.empty()) codeAddresses.set(number, -1);
    if (arena.hasVariants() && arena.variantOf(number) >= 0) arena.setVariantOf(number, -1);
    if (!extraWords.empty()) extraWords.set(number, ExtraWords{});
    if (!sourceRanges.empty()) sourceRanges.set(number, SourceRange{});
  }
};

LineSideFields& LineArena::sideFields() {
  if (!sideFields_) sideFields_ = std::make_unique<LineSideFields>();
  return *sideFields_;
}

namespace {

LineSideFields& sideFields() { return lineArena().sideFields(); }

}  // namespace

size_t LineContexts::Hash::operator()(const LineContext& context) const {
  auto mix = [](uint64_t hash, uint64_t value) { return (hash ^ value) * 0x9E3779B97F4A7C15ull; };
  uint64_t hash = mix(0, reinterpret_cast<uintptr_t>(context.controlState));
  hash = mix(hash, reinterpret_cast<uintptr_t>(context.section));
  hash = mix(hash, context.sourceFile);
  return static_cast<size_t>(hash ^ (hash >> 32));
}

uint32_t LineContexts::lookUp(const LineContext& context) {
  auto [entry, added] = numbers_.try_emplace(context, static_cast<uint32_t>(contexts_.size()));
  if (added) contexts_.push_back(context);
  return entry->second;
}

LineArena::LineArena() : run_(&runState()) {
  run_->lineArena = this;
  mem_range_reserve(&records_, kMaxLines * sizeof(LineInfo));
  mem_range_reserve(&texts_, kMaxTextBytes);
}

LineArena::~LineArena() {
  if (run_->lineArena == this) run_->lineArena = nullptr;
  mem_range_release(&records_);
  mem_range_release(&texts_);
}

void* LineArena::allocate() {
  uint32_t number;
  if (!freeNumbers_.empty()) {
    number = freeNumbers_.back();
    freeNumbers_.pop_back();
  } else {
    if (nextNumber_ >= kMaxLines) mem_out_of_memory();
    number = nextNumber_++;
    mem_range_commit(&records_, size_t{nextNumber_} * sizeof(LineInfo));
  }
  return at(number);
}

void LineArena::release(uint32_t number) {
  // A record outliving its run's arena finds a new, empty one: nothing to give back.
  if (number == 0 || number >= nextNumber_) return;
  freeNumbers_.push_back(number);
}

void LineArena::setVariantOf(uint32_t number, int16_t variant) {
  size_t chunk = number >> kChunkBits;
  if (chunk >= variantChunks_.size() || !variantChunks_[chunk]) {
    if (variant == -1) return;
    if (chunk >= variantChunks_.size()) variantChunks_.resize(chunk + 1);
    variantChunks_[chunk] = std::make_unique<int16_t[]>(kChunkSize);
    std::fill_n(variantChunks_[chunk].get(), kChunkSize, int16_t{-1});
  }
  variantChunks_[chunk][number & (kChunkSize - 1)] = variant;
}

const char* LineArena::storeText(const char* from, size_t length) {
  if (const void* nul = std::memchr(from, '\0', length)) length = static_cast<const char*>(nul) - from;
  size_t offset = textUsed_;
  if (recycleTexts_ && length + 1 <= kTextChunk) {
    if (chunkCursor_ == 0 || length + 1 > chunkEnd_ - chunkCursor_) {
      leaveChunk();
      const size_t chunk = takeChunk();
      // Offset 0 is no text.
      chunkCursor_ = chunk == 0 ? 1 : chunk << kTextChunkBits;
      chunkEnd_ = (chunk + 1) << kTextChunkBits;
    }
    offset = chunkCursor_;
    chunkCursor_ += length + 1;
  } else {
    if (length + 1 > kMaxTextBytes - offset) mem_out_of_memory();
    mem_range_commit(&texts_, offset + length + 1);
    textUsed_ = offset + length + 1;
    if (recycleTexts_ && chunkHolds_.size() <= (textUsed_ >> kTextChunkBits))
      chunkHolds_.resize((textUsed_ >> kTextChunkBits) + 1, 0);
    // The chunks behind a long text are never reused: the cursor starts past them.
    if (recycleTexts_) leaveChunk();
  }
  char* copy = texts_.base + offset;
  std::memcpy(copy, from, length);
  copy[length] = '\0';
  return copy;
}

size_t LineArena::takeChunk() {
  // A free chunk, or a new one at the top.
  if (!freeChunks_.empty()) {
    const size_t chunk = freeChunks_.back();
    freeChunks_.pop_back();
    return chunk;
  }
  const size_t chunk = (textUsed_ + kTextChunk - 1) >> kTextChunkBits;
  if ((chunk + 1) << kTextChunkBits > kMaxTextBytes) mem_out_of_memory();
  mem_range_commit(&texts_, (chunk + 1) << kTextChunkBits);
  textUsed_ = (chunk + 1) << kTextChunkBits;
  if (chunkHolds_.size() <= chunk) chunkHolds_.resize(chunk + 1, 0);
  return chunk;
}

void LineArena::leaveChunk() {
  if (chunkCursor_ != 0) {
    size_t chunk = (chunkCursor_ - 1) >> kTextChunkBits;
    if (chunk < chunkHolds_.size() && chunkHolds_[chunk] == 0) freeChunks_.push_back(static_cast<uint32_t>(chunk));
  }
  chunkCursor_ = chunkEnd_ = 0;
}

void LineArena::dropHeldText(uint32_t offset) {
  size_t chunk = offset >> kTextChunkBits;
  if (chunk >= chunkHolds_.size() || chunkHolds_[chunk] == 0) return;
  // The chunk that takes texts now stays; it is reused once it is left.
  bool current = chunkCursor_ != 0 && (chunkCursor_ - 1) >> kTextChunkBits == chunk;
  if (--chunkHolds_[chunk] == 0 && !current) freeChunks_.push_back(static_cast<uint32_t>(chunk));
}

LineText::~LineText() {
  if (offset_)
    if (LineArena* arena = runState().lineArena) arena->dropText(offset_);
}

void* LineInfo::operator new(size_t size) {
  VEKT_ASSERT(size == sizeof(LineInfo));
  (void)size;
  return lineArena().allocate();
}

void* LineInfo::operator new(size_t size, const std::nothrow_t&) noexcept {
  return LineInfo::operator new(size);
}

// The arena keeps the storage; the destructor gave the number back.
void LineInfo::operator delete(void*, size_t) {}

LineInfo::LineInfo() = default;

LineInfo::~LineInfo() {
  if (ownsControlState()) delete controlState;
  LineExtrasTable& table = extrasTable();
  if (!table.byLine.empty()) table.byLine.erase(this);
  LineArena& arena = lineArena();
  const uint32_t own = arena.numberOf(this);
  arena.sideFields().forget(this, arena, own);
  if (own) arena.release(own);
}

int16_t LineInfo::looseVariant() const {
  LineSideFields::Loose* loose = sideFields().findLoose(this);
  return loose ? loose->variant : -1;
}

void LineInfo::setVariant(int16_t variant) {
  if (uint32_t own = number())
    lineArena().setVariantOf(own, variant);
  else
    sideFields().loose[this].variant = variant;
}

uint16_t LineInfo::extra(size_t word) const {
  VEKT_ASSERT(word < 3);
  if (uint32_t own = number()) return sideFields().extraWords.get(own).extra[word];
  LineSideFields::Loose* loose = sideFields().findLoose(this);
  return loose ? loose->words.extra[word] : 0;
}

void LineInfo::setExtra(size_t word, uint16_t value) {
  VEKT_ASSERT(word < 3);
  if (!lineArena().keepsListingFields()) return;
  uint32_t own = number();
  if (own == 0) {
    sideFields().loose[this].words.extra[word] = value;
    return;
  }
  ExtraWords words = sideFields().extraWords.get(own);
  words.extra[word] = value;
  sideFields().extraWords.set(own, words);
}

int32_t LineInfo::codeAddress() const {
  if (uint32_t own = number()) return sideFields().codeAddresses.get(own);
  LineSideFields::Loose* loose = sideFields().findLoose(this);
  return loose ? loose->codeAddress : -1;
}

void LineInfo::setCodeAddress(int32_t address) {
  if (!lineArena().keepsListingFields()) return;
  if (uint32_t own = number())
    sideFields().codeAddresses.set(own, address);
  else
    sideFields().loose[this].codeAddress = address;
}

uint32_t LineInfo::sourceStart() const {
  if (uint32_t own = number()) return sideFields().sourceRanges.get(own).start;
  LineSideFields::Loose* loose = sideFields().findLoose(this);
  return loose ? loose->sourceRange.start : 0;
}

uint32_t LineInfo::sourceEnd() const {
  if (uint32_t own = number()) return sideFields().sourceRanges.get(own).end;
  LineSideFields::Loose* loose = sideFields().findLoose(this);
  return loose ? loose->sourceRange.end : 0;
}

void LineInfo::setSourceRange(uint32_t start, uint32_t end) {
  if (!lineArena().keepsSourceRanges()) return;
  LineSideFields& fields = sideFields();
  if (uint32_t own = number())
    fields.sourceRanges.set(own, SourceRange{start, end});
  else
    fields.loose[this].sourceRange = SourceRange{start, end};
}

void LineInfo::keepSourceRanges(bool keep) { lineArena().setKeepSourceRanges(keep); }

void LineInfo::keepListingFields(bool keep) { lineArena().setKeepListingFields(keep); }

const LineExtras& LineInfo::extras() const {
  const LineExtrasTable& table = extrasTable();
  if (table.byLine.empty()) return kNoExtras;
  auto entry = table.byLine.find(this);
  return entry == table.byLine.end() ? kNoExtras : entry->second;
}

LineExtras& LineInfo::extrasForUpdate() { return extrasTable().byLine[this]; }

uint32_t LineInfo::setPrinterControl(const uint8_t* bytes, uint32_t count) {
  // Printer controls are rare and live as long as their lines: a pool of their own
  // keeps them out of the line pool's block sizes.
  static const size_t poolSlot = nextPoolSlot();
  MemPool*& handle = runState().poolHandle(poolSlot);
  if (count > kMaxPrinterControl) count = kMaxPrinterControl;
  if (count == 0 && extras().printerControlCount == 0) return 0;
  LineExtras& extra = extrasForUpdate();
  extra.printerControlCount = static_cast<uint16_t>(count);
  if (count == 0) {
    extra.printerControl = nullptr;
    return 0;
  }
  if (!handle) handle = MemoryPools::instance().registerPool("LineInfo::printerControl", &handle);
  auto* copy = static_cast<uint8_t*>(mem_pool_alloc(handle, count));
  std::memcpy(copy, bytes, count);
  extra.printerControl = copy;
  return count;
}

// A line record is kept for every source line and every generated one: its size is
// the run's memory per line.
static_assert(sizeof(LineInfo) <= 24, "the line record grew");
