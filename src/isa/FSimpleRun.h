// Consecutive fixed-size instructions of a section in one node. Most statements of a
// program are instructions whose bits are final when their line is parsed and whose
// attribute set is a shared one (no condition left for layout, no warning to issue):
// such an instruction needs no node of its own, only a 12-byte entry (its line, its
// image and the index of its attribute set) in the run's entry store. Layout sees one
// node of the run's total size; the object writer, the debug line rows, the cycle
// counts and the defect scan go through the entries.
//
// When nothing after the parse reads an instruction's line (no list file, no debug
// information, no defect check selected at the line), the entry keeps no line either:
// a lean run holds its instructions as a byte stream of form, image and where the
// line stood (for a debug line table asked for later in the source), about five bytes
// an instruction, and the parse lets go of their lines; the run node has no line.
//
// A label defined in front of an instruction of a lean run is an entry of that run as
// well: its symbol and its offset in the run, placed by layout with the run and
// written to the object in its place among the instructions. A label is never a lean
// run's last entry: one that no instruction of the run follows stays a node of its own.
#pragma once

#include <cstdint>
#include <span>

#include "flow/FlowNode.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"

class IPAttribute;
class Section;
class Symbol;
namespace isa {
struct JumpShape;
}

// Whether fixed-size instructions may go to lean runs, letting go of their lines (on by
// default, off only where a test compares the object with the one every line is kept
// for), and how many entries of the run went to them.
struct LeanEntries {
  bool enabled = true;
  uint64_t taken = 0;
};
LeanEntries& leanEntries();

class FSimpleRun : public FlowNode {
  VEKT_POOLED_CLASS(FSimpleRun)

 public:
  // The line by its arena number: a run keeps one entry per instruction, and a
  // pointer would make the entry a third larger.
  struct Entry {
    LineLink line;
    uint32_t image;  // bits 0..31
    uint16_t form;   // index of the attribute set and parse-time cycle count
    uint8_t bits;
    uint8_t spare;
  };

  // A label among a lean run's instructions: its symbol (whose definition line is the
  // label's line) and its offset in units from the run's start.
  struct Label {
    Symbol* symbol;
    uint32_t offset;
  };

  // An entry as the walks over a run see it, lean or not. A lean entry has no line; the
  // source file, line number and whether the line came from a macro expansion, kept in
  // the run, stand in for the line's fields.
  struct Item {
    const LineInfo* line = nullptr;
    uint32_t image = 0;
    uint16_t form = 0;
    uint8_t bits = 0;
    uint32_t sourceFile() const { return line ? static_cast<uint32_t>(line->sourceFile) : rowFile; }
    uint32_t lineNumber() const { return line ? line->lineNumber : rowLine; }
    bool expansion() const { return line ? (line->flags[0] & lineflag::kMacroExpansion) != 0 : rowExpansion; }

    // A lean entry's row; unused when there is a line.
    uint32_t rowFile = 0;
    uint32_t rowLine = 0;
    bool rowExpansion = false;
    // The labels that stand right in front of the entry, as indexes into the store.
    uint32_t firstLabel = 0;
    uint32_t labelCount = 0;
  };

  // Walks the entries of a run in order.
  class Cursor {
   public:
    explicit Cursor(const FSimpleRun& run);
    bool isDone() const { return left_ == 0; }
    const Item& item() const { return item_; }
    void next();

   private:
    void load();

    const FSimpleRun& run_;
    uint32_t left_;
    uint32_t index_;    // the next entry of a run with lines
    uint64_t offset_;   // the next byte of a lean run's stream
    uint32_t label_ = 0;      // the next label of a lean run
    uint32_t labelEnd_ = 0;   // past its last label
    uint32_t unitOffset_ = 0; // the units of the entries before the next one
    Item item_;
  };

  ~FSimpleRun() override = default;

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  // Writes every entry as its own instruction would: line address, bytes, list bytes,
  // line size and cycles.
  void emit(ObjectWriter& writer) override;
  uint16_t getCycles() const override;
  void dump(std::ostream& out) const override;
  // Sizes the run and places its labels at their offsets from walker.offset; the
  // choice is changed when the run has labels and moved since the pass before.
  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh) override;

  // The labels that stand in front of the item, in source order.
  std::span<const Label> labelsBefore(const Item& item) const;
  // Every label of the run, in source order.
  std::span<const Label> labels() const;

  uint32_t entryCount() const { return cycles & kCountMask; }
  // Whether the entries keep no lines.
  bool isLean() const { return first_ & kLean; }
  const IPAttribute* attributesOf(const Item& item) const;
  // The entry's units in a section of unitBits-bit units.
  static uint32_t unitsOf(const Item& item, uint32_t unitBits);
  // The entry's cycle count: its form's on the core given to assignCore, else the
  // count its statement was built with.
  uint16_t cyclesOf(const Item& item) const;
  // The sum of cyclesOf over the entries.
  uint64_t totalCycles() const;
  // From now on the entries count their cycles on this core.
  void assignCore(int32_t core) { core_ = static_cast<uint8_t>(core); }
  // Whether the lines of all entries share one control state, the run's line's.
  bool oneControlState() const { return !(cycles & kMixedStates); }
  // The most entries one run holds; the next instruction starts a run of its own.
  static constexpr uint32_t kMaxEntries = 0x7FFF;

 private:
  friend void appendSimpleInstruction(Section&, LineInfo*, const IPAttribute&, uint32_t, uint8_t, uint16_t);
  friend struct LeanRunAccess;
  FSimpleRun(LineInfo* line, uint32_t first) : FlowNode(line, kSimpleRun), first_(first) {}

  // A run has no cycle count of its own (its entries have theirs), so the base's cycles
  // word holds the entry count and whether the entries' lines have more than one
  // control state; the two fields below fill the padding at the end of the base, and
  // the node takes 48 bytes for the instructions it stands for.
  static constexpr uint16_t kCountMask = 0x7FFF;

  // Writes a lean run into a byte section that has its image; gives the run's part of
  // the streams back.
  void emitLean(ObjectWriter& writer, Section& section);
  static constexpr uint16_t kMixedStates = 0x8000;

  // A lean run's first_ is its index in the store's table of lean runs with this bit.
  static constexpr uint32_t kLean = uint32_t{1} << 31;

  uint8_t core_ = 0xFF;  // 0xFF: no core assigned
  // The index of the first entry in the run's store, or of a lean run (kLean).
  uint32_t first_;
};

// Appends a fixed-size instruction of at most 32 bits at the section's end: to the run
// that ends the section's flow or a new run when the attribute set is a shared one, the
// line has an arena number and the flow is kept, else as an FSimple node through
// Section::addNode. Takes a claim on the attribute set either way. When the entry goes
// to a lean run, the plain labels that end the flow in front of it become entries of
// that run and their nodes go.
void appendSimpleInstruction(Section& section, LineInfo* line, const IPAttribute& attributes, uint32_t image,
                             uint8_t bits, uint16_t cycles);

// The bytes the list file shows for a line whose instruction, an entry of a run, was
// written while the line's listing was on, in memory order; returns their count, 0 for
// every other line. They follow any listing bytes the line collected before.
uint32_t listedRunBytes(const LineInfo& line, uint8_t (&bytes)[32]);

// Where the last entry of a lean run stood, for a line made after it once its own line
// has gone: the entry's row, the context of its line, and the last line before it that
// is still kept (null when there is none).
struct LeanRunEnd {
  uint32_t sourceFile = 0;
  uint32_t lineNumber = 0;
  const LineContext* context = nullptr;
  LineInfo* after = nullptr;
};
// The end of the lean run `last`, the section's last statement; false when that is no
// lean run or nothing is known of its last entry.
bool leanRunEnd(const Section& section, const FlowNode* last, LeanRunEnd& end);

// A jump whose target is a label of the lean run it joins, behind it, and whose form
// the distance alone decides, is an entry of that run as well: nothing after the parse
// can move the two apart. What makes the record it would otherwise be stays beside
// the run until layout starts, for a later line that changes the target (a .WEAK).
struct LeanJump {
  Symbol* target;
  isa::JumpShape* shape;
  uint32_t firstLabel;  // of the expansion's temporary labels
};

// The form a lean jump takes: its attribute set, width, cycles and image, and where its
// entries' form is kept between jumps (-1 until the first).
struct LeanJumpForm {
  const IPAttribute* attributes = nullptr;
  uint8_t bits = 0;
  uint16_t cycles = 0;
  uint32_t image = 0;
  int32_t* formHint = nullptr;
};

// Chooses a jump's form and makes its image from the distance in units from its first
// unit to its target, as layout and emission would; false when the distance does not
// decide them.
struct LeanJumpEncoder {
  bool (*encode)(const void* context, int64_t distance, LeanJumpForm& form);
  const void* context;
};

// Appends the jump at the section's end as an entry of a lean run, in the form `encode`
// makes from the distance to its target, a label of that run behind it or joining it
// with the jump, and keeps `jump` beside it; false, with nothing changed, when the jump
// would not be a lean entry, its target is no near label of its run or `encode` refuses.
// `likely` is the form the jump most likely takes, its narrowest.
bool appendLeanJump(Section& section, LineInfo* line, const LeanJumpForm& likely, const LeanJump& jump,
                    const LeanJumpEncoder& encode);

// Once the parse is done: the lean jumps whose records would not be written as their
// entries are (isa::leanJumpWritten) become those records, in their runs' places; what
// the lean jumps kept goes.
void settleLeanJumps();
