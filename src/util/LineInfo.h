// One preprocessed or generated source line of the line list.
#pragma once

#include <cstddef>
#include <cstdint>

#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "util/RunState.h"
#include "util/c-memory.h"

class ControlState;
class Section;
struct LineInfo;
struct LineSideFields;

// The flag bits of a line record, each named once. A name is the mask of its bit
// within the byte of LineFlags that its group heading gives; a bit that the passes
// read under two meanings says both.
namespace lineflag {
// Byte 0.
inline constexpr uint8_t kAssemble = 0x01;         // handed on to the statement parser
inline constexpr uint8_t kMacroCall = 0x02;        // macro call or repeat directive
inline constexpr uint8_t kBodyEnd = 0x04;          // .ENDM or .EXITM
inline constexpr uint8_t kMacroDefinition = 0x08;  // .MACRO or repeat directive; collected body line
inline constexpr uint8_t kMacroExpansion = 0x10;   // made while an expansion's text was read
inline constexpr uint8_t kConditionalDirective = 0x20;  // .IF, .ELIF, .ELSE, .ENDIF
inline constexpr uint8_t kInactiveRegion = 0x40;   // inside an inactive conditional region
inline constexpr uint8_t kCommentOnly = 0x80;      // only a comment; also a .COMMENT block
// Byte 1.
inline constexpr uint8_t kEquateOrSet = 0x01;
inline constexpr uint8_t kControlLine = 0x02;
inline constexpr uint8_t kHllLine = 0x04;
inline constexpr uint8_t kUnlistedGroup = 0x08;    // also the remark line of an alignment fill
inline constexpr uint8_t kNeverListed1 = 0x10;
inline constexpr uint8_t kSectionSwitched = 0x20;  // the list file marks the switch
inline constexpr uint8_t kSectionDirective = 0x40;
inline constexpr uint8_t kListed = 0x80;           // the list pass wrote the line
// Byte 2.
inline constexpr uint8_t kDefinesLabel = 0x01;
inline constexpr uint8_t kLastLine = 0x02;         // the last line; before parsing, the .END
                                                   // line and every line after it
inline constexpr uint8_t kGenericLine = 0x04;
inline constexpr uint8_t kGenericMark = 0x08;      // the chosen hardware form of a generic
inline constexpr uint8_t kGeneratedListable = 0x10;  // a line of a generic's expansion
inline constexpr uint8_t kGenericAlternative = 0x20;  // a template line of an expansion
inline constexpr uint8_t kSectionSwitch = 0x40;
inline constexpr uint8_t kControlListedAnyway = 0x80;
// Byte 3.
inline constexpr uint8_t kNeverListed3 = 0x01;
inline constexpr uint8_t kStartOfFile = 0x02;      // the marker line of a file's start
inline constexpr uint8_t kEndOfFile = 0x04;        // the marker line of a file's end
inline constexpr uint8_t kEndReached = 0x08;
inline constexpr uint8_t kSplit = 0x10;            // held several statements, which follow it;
                                                   // the list shows its text as written
inline constexpr uint8_t kLineMarker = 0x20;       // a C line marker
inline constexpr uint8_t kGroupListed = 0x40;      // carries listing bytes
inline constexpr uint8_t kOwnsControlState = 0x80;  // the line deletes its control state
}  // namespace lineflag

// The four flag bytes of a line record, indexed by byte.
struct LineFlags {
  uint8_t bytes[4] = {0, 0, 0, 0};

  uint8_t& operator[](size_t index) { return bytes[index]; }
  uint8_t operator[](size_t index) const { return bytes[index]; }
};

// What few lines carry, kept beside the line rather than in every record.
struct LineExtras {
  // The listing bytes of a data line and behind them, at listingCapacity(count), their
  // markers; the buffer comes from the listing pool.
  uint8_t* codeBytes = nullptr;
  uint32_t codeByteCount = 0;
  // The $PRCTL bytes that the list file copies unchanged in front of the line. They
  // may hold NUL bytes, so the count, not a terminator, ends them.
  uint16_t printerControlCount = 0;
  const uint8_t* printerControl = nullptr;
};

// What the lines of a stretch of source share: control state, section and source
// file. The run numbers each combination it meets, so that a record holds one
// 32-bit number for the three.
struct LineContext {
  ControlState* controlState = nullptr;
  Section* section = nullptr;
  uint32_t sourceFile = 0;

  bool operator==(const LineContext&) const = default;
};

class LineContexts {
 public:
  LineContexts() { contexts_.emplace_back(); }
  const LineContext& at(uint32_t number) const { return contexts_[number]; }
  uint32_t numberOf(const LineContext& context) {
    // Lines come in runs with the same context, and a line's context is set field by
    // field: the last few numbers answer nearly every look-up.
    for (uint32_t number : recent_)
      if (contexts_[number] == context) return number;
    uint32_t number = lookUp(context);
    recent_[nextRecent_] = number;
    nextRecent_ = (nextRecent_ + 1) % kRecent;
    return number;
  }

 private:
  static constexpr uint32_t kRecent = 4;
  struct Hash {
    size_t operator()(const LineContext& context) const;
  };
  uint32_t lookUp(const LineContext& context);

  std::vector<LineContext> contexts_;
  std::unordered_map<LineContext, uint32_t, Hash> numbers_;
  uint32_t recent_[kRecent] = {0, 0, 0, 0};
  uint32_t nextRecent_ = 0;
};

// Line records live in one range of address space that grows in place, each record
// numbered by its place: a record reaches another by a 32-bit number instead of a
// pointer, and a record's number is found from its address. Number 0 is no line.
// Records made outside the arena (on the stack, in tests) have number 0 and keep
// their side fields in a table by address. The arena also keeps the line texts, in a
// second such range, so that a record refers to its text by a 32-bit offset.
class LineArena {
 public:
  // Side fields come in chunks of this many lines.
  static constexpr uint32_t kChunkBits = 12;
  static constexpr uint32_t kChunkSize = uint32_t{1} << kChunkBits;
  // Address space reserved for records and texts; only what is used takes memory.
  static constexpr size_t kMaxLines = size_t{1} << 28;
  static constexpr size_t kMaxTextBytes = size_t{1} << 32;

  LineArena();
  ~LineArena();
  LineArena(const LineArena&) = delete;
  LineArena& operator=(const LineArena&) = delete;

  inline LineInfo* at(uint32_t number) const;
  // The number of a record in the arena; 0 for one made elsewhere.
  inline uint32_t numberOf(const LineInfo* record) const;
  // Storage for one record.
  void* allocate();
  // Takes the number back for a later record.
  void release(uint32_t number);
  LineContexts& contexts() { return contexts_; }
  // The fields that a part of the lines carry, by line number (LineInfo.cpp).
  LineSideFields& sideFields();
  // Whether the lines keep their source ranges (see LineInfo::keepSourceRanges).
  bool keepsSourceRanges() const { return keepSourceRanges_; }
  void setKeepSourceRanges(bool keep) { keepSourceRanges_ = keep; }
  // Whether the lines keep their code addresses and extra words (see
  // LineInfo::keepListingFields).
  bool keepsListingFields() const { return keepListingFields_; }
  void setKeepListingFields(bool keep) { keepListingFields_ = keep; }

  // The generic variant of a line by number (see LineInfo::variant): nearly every
  // statement asks for it, so that it is read here, inline.
  int16_t variantOf(uint32_t number) const {
    size_t chunk = number >> kChunkBits;
    if (chunk >= variantChunks_.size() || !variantChunks_[chunk]) return -1;
    return variantChunks_[chunk][number & (kChunkSize - 1)];
  }
  void setVariantOf(uint32_t number, int16_t variant);
  bool hasVariants() const { return !variantChunks_.empty(); }

  // A copy of the bytes [from, from + length), up to a NUL byte among them, with a
  // terminating NUL. Its offset (textOffset) is never 0. It stays for the run unless
  // the texts are recycled (setRecycleTexts): then it stays while a line holds it.
  const char* storeText(const char* from, size_t length);
  // Texts come in chunks; with recycling on, a chunk that no line's text refers to any
  // more takes new texts. Only a run that lets go of its lines turns it on: a text
  // pointer kept beyond its lines would see a later text.
  void setRecycleTexts(bool recycle) { recycleTexts_ = recycle; }
  // The bytes of address space the texts have taken so far.
  size_t textTop() const { return textUsed_; }
  // A line took or let go of the text at that offset.
  void holdText(uint32_t offset) {
    if (offset && recycleTexts_) ++chunkHolds_[offset >> kTextChunkBits];
  }
  void dropText(uint32_t offset) {
    if (offset && recycleTexts_) dropHeldText(offset);
  }
  // Gives up the chunk texts are placed in (reused at once when no line holds a text of it).
  void leaveChunk();
  const char* textAt(uint32_t offset) const { return texts_.base + offset; }
  // The offset of a text inside the store, or 0 when it lies outside.
  uint32_t textOffset(const char* text) const {
    size_t offset = reinterpret_cast<uintptr_t>(text) - reinterpret_cast<uintptr_t>(texts_.base);
    return offset < textUsed_ ? static_cast<uint32_t>(offset) : 0;
  }

 private:
  void dropHeldText(uint32_t offset);
  size_t takeChunk();

  RunState* run_;
  LineContexts contexts_;
  std::unique_ptr<LineSideFields> sideFields_;
  MemRange records_;
  MemRange texts_;
  // Chunks of kChunkSize variants, made at the first variant other than -1.
  std::vector<std::unique_ptr<int16_t[]>> variantChunks_;
  size_t textUsed_ = 1;  // offset 0 is no text; the top of the texts made so far
  // Recycling (setRecycleTexts): the chunk texts are placed in, where the next goes,
  // the lines holding texts of each chunk, and the chunks free for reuse.
  static constexpr uint32_t kTextChunkBits = 16;
  static constexpr size_t kTextChunk = size_t{1} << kTextChunkBits;
  bool recycleTexts_ = false;
  size_t chunkCursor_ = 0;
  size_t chunkEnd_ = 0;
  std::vector<uint32_t> chunkHolds_;
  std::vector<uint32_t> freeChunks_;
  std::vector<uint32_t> freeNumbers_;
  uint32_t nextNumber_ = 1;  // 0 is no line
  bool keepSourceRanges_ = true;
  bool keepListingFields_ = true;
};

inline LineArena& lineArena() {
  if (LineArena* arena = runState().lineArena) return *arena;
  return runPart<LineArena>();
}

// The previous or next line of a record: its arena number, read and written as a
// pointer.
class LineLink {
 public:
  LineLink() = default;
  operator LineInfo*() const { return get(); }
  LineInfo* operator->() const { return get(); }
  LineInfo* get() const { return lineArena().at(number_); }
  inline LineLink& operator=(LineInfo* line);

 private:
  uint32_t number_ = 0;
};

// The text of a record: its offset in the arena's text store, read as a pointer. A
// text from elsewhere is copied into the store when it is assigned.
class LineText {
 public:
  LineText() = default;
  operator const char*() const { return get(); }
  const char* get() const { return offset_ ? lineArena().textAt(offset_) : nullptr; }
  // Whether there is a text, without reading where it is.
  bool present() const { return offset_ != 0; }
  inline LineText& operator=(const char* text);
  LineText& operator=(const LineText& other) { return *this = other.get(); }
  // No text any more; the same as assigning null.
  void clear() {
    if (uint32_t old = offset_) {
      offset_ = 0;
      lineArena().dropText(old);
    }
  }
  ~LineText();
  LineText(const LineText&) = delete;

 private:
  uint32_t offset_ = 0;
};

// One field of a record's line context, read and written as the field itself. The
// three fields share the record's context number (they are members of one union, all
// beginning with it); writing one field renumbers the record with the other two kept.
template <typename Value, Value LineContext::*Member>
class LineContextField {
 public:
  operator Value() const { return get(); }
  Value get() const { return contexts().at(number_).*Member; }
  LineContextField& operator=(Value value) {
    LineContexts& table = contexts();
    const LineContext& current = table.at(number_);
    // Most writes give a line the value it has: the number stands.
    if (current.*Member == value) return *this;
    LineContext context = current;
    context.*Member = value;
    number_ = table.numberOf(context);
    return *this;
  }
  // From another record: the field's value, not the other record's whole context.
  LineContextField& operator=(const LineContextField& other) { return *this = other.get(); }
  Value operator->() const
    requires std::is_pointer_v<Value>
  {
    return get();
  }

 private:
  static LineContexts& contexts();
  uint32_t number_;
};

struct LineInfo {
 public:
  static void* operator new(size_t size);
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block, size_t size);

  LineLink previous;
  LineLink next;
  LineText text;
  union {
    uint32_t contextNumber_ = 0;
    LineContextField<ControlState*, &LineContext::controlState> controlState;
    LineContextField<Section*, &LineContext::section> section;
    // Index into the line state's table of source files.
    LineContextField<uint32_t, &LineContext::sourceFile> sourceFile;
  };
  uint32_t lineNumber = 0;        // -1 (all ones) when the line has no number
  LineFlags flags;

  LineInfo();
  LineInfo(const LineInfo&) = delete;
  LineInfo& operator=(const LineInfo&) = delete;
  ~LineInfo();

  uint32_t number() const { return lineArena().numberOf(this); }
  // Both fields at once, with one look-up of the context they make.
  void setControlStateAndSection(ControlState* state, Section* lineSection) {
    LineContexts& table = lineArena().contexts();
    LineContext context = table.at(contextNumber_);
    if (context.controlState == state && context.section == lineSection) return;
    context.controlState = state;
    context.section = lineSection;
    contextNumber_ = table.numberOf(context);
  }

  // Clears all but where the line came from and who owns its control state.
  void clearFlags() {
    flags[0] &= lineflag::kMacroExpansion;
    flags[1] = 0;
    flags[2] = 0;
    flags[3] &= lineflag::kOwnsControlState;
  }
  bool active() const { return flags[0] & lineflag::kAssemble; }

  // Set when a control gave the line a control state of its own: the line deletes it.
  // Clearing the flags keeps it.
  bool ownsControlState() const { return flags[3] & lineflag::kOwnsControlState; }
  void setOwnsControlState(bool owns) {
    if (owns)
      flags[3] |= lineflag::kOwnsControlState;
    else
      flags[3] &= static_cast<uint8_t>(~lineflag::kOwnsControlState);
  }

  // Fields that a part of the lines carry, kept beside the records.
  // The line's number within its generic's expansion; -1 for a line of the source.
  inline int16_t variant() const;
  void setVariant(int16_t variant);
  // The three words the data and alignment nodes leave for the list file.
  uint16_t extra(size_t word) const;
  void setExtra(size_t word, uint16_t value);
  // The section offset the line's code starts at; -1 before output.
  int32_t codeAddress() const;
  void setCodeAddress(int32_t address);
  // The bytes of the source file the line was read from, for the list file; 0 and 0
  // for a line that was not read from a file (and in a run without a list file).
  uint32_t sourceStart() const;
  uint32_t sourceEnd() const;
  void setSourceRange(uint32_t start, uint32_t end);
  void copySourceRange(const LineInfo& other) { setSourceRange(other.sourceStart(), other.sourceEnd()); }
  // Only the list file reads the source ranges: a run without one keeps none. Kept
  // unless told otherwise.
  static void keepSourceRanges(bool keep);
  // Only the list file reads the code addresses and the extra words: a run without one
  // keeps neither, and codeAddress is -1 and every extra word 0 for every line. Kept
  // unless told otherwise.
  static void keepListingFields(bool keep);

  // The line's rarely used fields; all empty for most lines.
  const LineExtras& extras() const;
  LineExtras& extrasForUpdate();
  // Stores a copy of the bytes, at most kMaxPrinterControl of them; returns how many
  // were kept.
  static constexpr uint32_t kMaxPrinterControl = 0xFFFF;
  uint32_t setPrinterControl(const uint8_t* bytes, uint32_t count);
  int32_t lineNumberSigned() const { return static_cast<int32_t>(lineNumber); }

 private:
  int16_t looseVariant() const;
};

inline LineInfo* LineArena::at(uint32_t number) const {
  return number ? reinterpret_cast<LineInfo*>(records_.base) + number : nullptr;
}

inline uint32_t LineArena::numberOf(const LineInfo* record) const {
  // Unsigned: an address below the range wraps to a large offset.
  size_t offset = reinterpret_cast<uintptr_t>(record) - reinterpret_cast<uintptr_t>(records_.base);
  if (offset >= size_t{nextNumber_} * sizeof(LineInfo)) return 0;
  return static_cast<uint32_t>(offset / sizeof(LineInfo));
}

inline int16_t LineInfo::variant() const {
  LineArena& arena = lineArena();
  if (uint32_t own = arena.numberOf(this)) return arena.variantOf(own);
  return looseVariant();
}

template <typename Value, Value LineContext::*Member>
LineContexts& LineContextField<Value, Member>::contexts() {
  return lineArena().contexts();
}

// Nearly every text assigned is in the store already: a new line's, kept by the line
// state; only a text from elsewhere takes the copy out of line.
inline LineText& LineText::operator=(const char* text) {
  LineArena& arena = lineArena();
  uint32_t offset = 0;
  if (text) {
    offset = arena.textOffset(text);
    if (offset == 0) offset = arena.textOffset(arena.storeText(text, std::char_traits<char>::length(text)));
  }
  uint32_t old = offset_;
  offset_ = offset;
  arena.holdText(offset);
  arena.dropText(old);
  return *this;
}

inline LineLink& LineLink::operator=(LineInfo* line) {
  number_ = line ? line->number() : 0;
  return *this;
}
