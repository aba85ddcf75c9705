// A section of the output: its name, where it lies, what kind of contents it holds
// and its flow, the nodes the parser appends in source order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <utility>
#include <vector>

#include "flow/FlowIterator.h"
#include "flow/FlowNode.h"
#include "flow/FlowWalker.h"
#include "util/MemoryPools.h"

class FlowWalker;
class FLabel;
class OrbaExpression;
class Symbol;
struct LineInfo;

class FGeneric;

class Section {
  VEKT_POOLED_CLASS(Section)

 public:
  enum Type : int32_t { kNoType = 0, kCode = 101, kData = 102, kDebug = 103, kRomData = 104 };
  enum ByteOrder : int32_t { kBigEndian = 1, kLittleEndian = 2 };

  struct SectionFlags {
    // First byte.
    static constexpr uint8_t kCodeBit = 0x01;
    static constexpr uint8_t kDataBit = 0x02;
    static constexpr uint8_t kDebugBit = 0x04;
    static constexpr uint8_t kInitialised = 0x08;
    static constexpr uint8_t kObjectProperty = 0x10;
    static constexpr uint8_t kReadOnly = 0x20;
    static constexpr uint8_t kClearAtStartUp = 0x80;
    // Second byte.
    static constexpr uint8_t kMax = 0x01;
    static constexpr uint8_t kConcat = 0x02;
    static constexpr uint8_t kNoRead = 0x10;
    static constexpr uint8_t kProtect = 0x40;
    // Third byte.
    static constexpr uint8_t kPowerOfTwoAlignment = 0x01;

    virtual ~SectionFlags() = default;
    bool isCode() const { return bytes[0] & kCodeBit; }
    bool isData() const { return bytes[0] & kDataBit; }
    bool isDebug() const { return bytes[0] & kDebugBit; }
    bool powerOfTwoAlignment() const { return bytes[2] & kPowerOfTwoAlignment; }
    bool isInit() const { return bytes[0] & kInitialised; }
    bool isRom() const { return bytes[0] & kReadOnly; }
    bool isClear() const { return bytes[0] & kClearAtStartUp; }
    bool isMax() const { return bytes[1] & kMax; }
    bool isConcat() const { return bytes[1] & kConcat; }
    bool isNoRead() const { return bytes[1] & kNoRead; }
    bool isProtect() const { return bytes[1] & kProtect; }
    // Sets or clears one bit of a flag byte.
    void set(int byte, uint8_t bit, bool on) {
      bytes[byte] = static_cast<uint8_t>(on ? bytes[byte] | bit : bytes[byte] & ~bit);
    }

    uint8_t bytes[3] = {0, 0, 0};
  };

  // A forward walk over the live flow: nodes appended during the walk are reached.
  class FlowIter : public ForwardIterator<FlowNode*> {
   public:
    explicit FlowIter(const Section& section) : section_(section) { first(); }
    void first() override;
    void next() override;
    bool isDone() const override { return position_ == nullptr; }
    FlowNode* current() const override { return position_; }

   private:
    const Section& section_;
    FlowNode* position_ = nullptr;
  };

  // A walk both ways. prev on the first node sets done and stays there; next on the
  // last node sets done.
  class BidirectionalFlowIterator : public BidirectionalIterator<FlowNode*> {
   public:
    explicit BidirectionalFlowIterator(const Section& section) : section_(section) { first(); }
    bool first() override;
    void last() override;
    void next() override;
    void prev() override;
    bool isDone() const override { return done_; }
    FlowNode* current() const override { return position_; }

   private:
    const Section& section_;
    FlowNode* position_ = nullptr;
    bool done_ = true;
  };

  // A bare section with a name and nothing else: no number, no section symbol.
  // Expression tests and tools use it; the assembler makes sections as below.
  explicit Section(const char* name) : name_(name) {}
  // A named section of the run: numbered, with its section symbol and base.
  Section(LineInfo* line, const char* name);
  // A section without a name, named "__sect_%04x" with a run-wide count.
  explicit Section(LineInfo* line);
  virtual ~Section();
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  // The virtual operations, in their fixed order.
  virtual int16_t getShortA() const { return shortA_; }
  virtual void setShortA(int16_t value) { shortA_ = value; }
  // Appends the node to the flow (at the front when atEnd is false). A node with an
  // address that arrives at the placeholder section opens the default section (W179)
  // and goes there instead.
  virtual void addNode(FlowNode* node, bool atEnd);
  // The expression of the section's start address.
  virtual OrbaExpression* getBase() const { return baseExpression_; }
  // Simplifies the expression and makes it the value of the section symbol.
  virtual void setAddress(OrbaExpression* expression);
  virtual const char* getName() const { return name_; }
  virtual void setName(const char* name) { name_ = name; }
  virtual const char* getDisplayName() const { return displayName_ ? displayName_ : name_; }
  virtual void setDisplayName(const char* name) { displayName_ = name; }
  // Gives a link-once section its final name.
  virtual void finish();
  virtual int16_t getShortB() const { return shortB_; }
  virtual void setShortB(int16_t value) { shortB_ = value; }
  virtual bool isCode() const { return flags.isCode(); }
  // Writes the summary heading; returns the length of the title line.
  virtual int printSummaryHeader(std::ostream& out) const;
  // Writes one summary line without its end; false (nothing written) for a debug section.
  virtual bool printSummaryLine(std::ostream& out) const;

  const char* name() const { return name_; }
  OrbaExpression* baseExpression() const { return baseExpression_; }
  void setBaseExpression(OrbaExpression* expression) { baseExpression_ = expression; }

  // The location now: the walker's running offset while the section is laid out,
  // the location counter once it is being written.
  int32_t currentLocation() const;
  // The address of the instruction being laid out or emitted in this section.
  virtual int32_t instructionLocation() const { return currentLocation(); }
  // offset plus the start address when the section has a fixed one.
  int64_t addressOf(int64_t offset) const;
  // Moves the location counter on by units; E217 at line, and no move, when the
  // location would leave the section's 32-bit address space.
  bool advanceLocation(int64_t units, const LineInfo* line);
  // E110 at line: the section would hold size bytes, more than kSectionUnitLimit allows.
  void reportTooLarge(const LineInfo* line, uint64_t size) const;
  // The section's layout walker, made (and reset once) on first use.
  FlowWalker* flowWalker();
  // Checks the fixed start address: E188 when it is not absolute, E104 when no
  // address range allows it, W284 when it misses the section's alignment.
  void resolveAbsoluteAddress();

  const FlowList& flow() const { return flow_; }
  // Puts `fresh` in the place of `node` in the flow; `node` leaves it.
  void replaceNode(FlowNode* node, FlowNode* fresh) { flow_.replace(node, fresh); }
  // Puts `node` in front of `anchor`, a node of the flow; for nodes made again after the
  // parse, which nothing of the parse's bookkeeping refers to.
  void insertNodeBefore(FlowNode* anchor, FlowNode* node) { flow_.insertBefore(anchor, node); }
  // Takes a node that is not the section's last label out of the flow.
  void removeNode(FlowNode* node) { flow_.remove(node); }
  FlowNode* firstNode() const { return flow_.first(); }
  // The node added last: an instruction or label that a run without readers of the
  // flow did not keep stands there until the next node comes.
  FlowNode* lastNode() const { return discarded_ ? discarded_ : flow_.last(); }
  // Whether lastNode() is such a node, kept by the section alone.
  bool lastNodeDiscarded() const { return discarded_ != nullptr; }
  uint32_t nodeCount() const { return flow_.count(); }
  // The most recently appended label node, cleared when a node with an address follows.
  FLabel* lastLabel() const { return lastLabel_; }
  // Takes the label node that ends the flow out of it: an entry of a run of
  // instructions stands for it from now on. The caller deletes the node.
  void takeLastLabel(FLabel* label);

  FlowWalker* walker = nullptr;
  int32_t type = kNoType;
  // The type a declaration gave; 1 for a section without one. Labels in the section
  // take it as their memory class.
  int32_t secondType = 1;
  int32_t byteOrder = kLittleEndian;
  uint8_t writing = 0;      // set by the object writer when it starts on the section
  uint8_t userSection = 1;  // clear for the placeholder and the assembler's own sections
  uint32_t size = 0;        // as the layout settled it
  int32_t locationCounter = 0;
  uint64_t cycles = 0;
  Symbol* sectionSymbol = nullptr;
  uint8_t laidOut = 0;     // the layout is final; nodes may cache their sizes
  uint8_t hasAddress = 0;  // the section has its final, fixed start address
  // Set when @PCREL and @INPAGE must measure targets in this section from its base
  // address rather than from the section start.
  uint8_t noSectionRelativeEvaluation = 0;
  LineInfo* line = nullptr;  // where the section was made; its diagnostics go there
  // Set for sections the assembler makes itself: their line is their own, made for
  // them and freed with them.
  bool ownsLine = false;
  int32_t mauBits = 8;
  uint32_t maxAlignment = 0;
  uint32_t alignment = 0;  // the alignment the section's attributes ask for
  // Where a fixed start address may lie; empty means 0 to 0xFFFFFFFF.
  std::vector<std::pair<int64_t, int64_t>> addressRanges;
  uint32_t number = 0;
  SectionFlags flags;
  int32_t pageSize = 0;
  uint32_t objectNumber = 0;
  const char* clusterName = nullptr;
  const char* linkOnceKey = nullptr;  // interned; null or empty when not link-once
  uint16_t fillPattern = 0;
  uint32_t fillCycles = 0;
  uint32_t fillLength = 2;
  uint32_t objectHandle[2] = {0, 0};  // object-store file and section ids
  // The section's contents while it is written, imageUnitBytes(mauBits) bytes a unit
  // (one byte a unit for every section the assembler makes); null before and for
  // sections without data image.
  uint8_t* image = nullptr;
  // Where the unit at location starts in the image.
  uint8_t* imageUnit(uint32_t location) const;
  // The block word of the current layout state; a symbol laid out in another block
  // is shifted by the distance the current pass has moved.
  uint32_t layoutBlock = 0;
  // While a generic instruction's lines are parsed after the section's flow has moved
  // on, the nodes of generated lines go to that generic's rewrites.
  FGeneric* rewriteTarget = nullptr;

 private:
  void initialize(const char* name);

  const char* name_;  // interned
  const char* displayName_ = nullptr;
  OrbaExpression* baseExpression_ = nullptr;
  int16_t shortA_ = 0;
  int16_t shortB_ = 0;
  FlowList flow_;
  FLabel* lastLabel_ = nullptr;
  FlowNode* discarded_ = nullptr;  // owned
  FLabel* discardedLabel_ = nullptr;  // owned: a discarded label still last of its section
};

// Bytes a unit of the width takes in a section image: 1, 2, 4 or 8, as the object
// store keeps units; a width of 0 counts as 8 bits.
inline uint32_t imageUnitBytes(int32_t unitBits) {
  if (unitBits <= 8) return 1;
  if (unitBits <= 16) return 2;
  if (unitBits <= 32) return 4;
  return 8;
}

inline uint8_t* Section::imageUnit(uint32_t location) const {
  return image + static_cast<size_t>(location) * imageUnitBytes(mauBits);
}

// Whether units placed at offset stay within a section's 32-bit address space.
inline bool fitsInSection(uint64_t offset, int64_t units) {
  if (units < 0) return false;
  return offset <= 0xFFFFFFFFu && static_cast<uint64_t>(units) <= 0xFFFFFFFFu - offset;
}

// The section that the parse opens for code before any section directive (a symbol in
// it has no section of its own) is reached through placeholderSection().

// Lines that nothing of the assembly refers to any more, told to the parse, which lets go
// of them: the line of a statement whose instruction needs no line after the parse, or,
// in a run that reads no flow after the parse, the line of a discarded fixed-size
// instruction node that a later node took the place of, when no label names it.
void lineLetGo(LineInfo* line);
// Moves the lines told since the last call into `lines`, in the order they were told.
void takeLinesLetGo(std::vector<LineInfo*>& lines);
