// Generic jumps that repeat the text of one parsed before but for their target ("jne
// d4,d4,L0", "jne d4,d4,L10") share the hardware forms built once for that text. Each such
// jump keeps a small node: its line, its target's symbol, its unbuilt expansion and the
// state layout leaves in the forms. Layout and emission lend the shared forms the node's
// target and state for the length of one call; anything the shared forms cannot answer
// builds the jump's own forms from its text, exactly as the statement's walk builds them,
// and puts the stand-in generic it would have had in the node's place.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "flow/FlowNode.h"
#include "flow/SymbolTable.h"
#include "isa/GenericExpansion.h"
#include "util/MemoryPools.h"

class CandidateNodes;
class FGeneric;
class FInstruction;
class IPInstruction;
class OrbaExpression;
class Symbol;

namespace isa {

// What the jumps of one text but for the target share. Made by the statement parser from
// a jump it matched in full; lives as long as the run.
struct JumpShape {
  // The most parses of the target one walk makes, and the most forms and operand fields
  // a shape keeps the layout state of.
  static constexpr uint32_t kMostParses = 4;
  static constexpr uint32_t kMostForms = 2;
  static constexpr uint32_t kMostFields = 2;

  // The statement text before the target and after it, to the end of what the walk read.
  std::string before;
  std::string after;
  // Where each parse of the walk started, counted back from the target (blanks in front of
  // it), and how far past the target's end it read, in the walk's order.
  uint32_t parseCount = 0;
  uint32_t parseBack[kMostParses] = {};
  uint32_t parseBeyond[kMostParses] = {};
  // The walk's parses before the target, each an integer: where it started in the
  // statement, what it read and its value.
  static constexpr uint32_t kMostNumbers = 4;
  uint32_t numberCount = 0;
  uint32_t numberAt[kMostNumbers] = {};
  uint32_t numberLength[kMostNumbers] = {};
  int64_t numberValue[kMostNumbers] = {};

  // The forms built for the shape, with the symbol nodes the parses of their target made:
  // the nodes name the symbol `bound` until a jump lends them its own.
  FInstruction* forms = nullptr;
  OrbaExpression* leaves[kMostParses] = {};
  uint32_t leafCount = 0;
  Symbol* bound = nullptr;
  // The core each form's cycles were last worked out for, -1 for none: the same for every
  // record of the shape.
  int32_t cyclesCore[kMostForms] = {-1, -1};
  // What layout needs to measure a record's target itself, without lending the forms:
  // each form's width, whether it is the default one, the operand field that holds the
  // target and the bounds of its pc-relative check. Worked out at the first record laid
  // out; forms with conditions, alignment or operands other than the target are lent.
  struct DirectForm {
    uint32_t bits = 0;
    bool preferred = false;
    bool masked = false;
    bool asksRelocation = false;  // the field has no relocation of its own
    uint8_t fieldCount = 0;
    uint8_t targetField = 0;
    int64_t pcOffset = 0;
    int64_t width = 0;
    int64_t low = 0;
    int64_t high = 0;
    uint32_t mask = 0;
    uint32_t pattern = 0;
  };
  enum DirectLayout : uint8_t { kDirectUnknown, kDirect, kLent };
  DirectLayout directLayout = kDirectUnknown;
  DirectForm direct[kMostForms];
  // Whether its jumps may be written as run entries (see writeJumpAsEntry), worked out
  // at the first, and the entry form of each of its forms, -1 until the first.
  enum WritesEntries : uint8_t { kEntriesUnknown, kEntries, kNoEntries };
  WritesEntries writesEntries = kEntriesUnknown;
  int32_t leanForms[kMostForms] = {-1, -1};
  // A claim on every node the parses of the target made, which `leaves` point at.
  CandidateNodes* parsedNodes = nullptr;
  // The target settings the shape's statement was matched under
  // (RunSettings::targetSettingsNumber): its jumps' own forms are built under them.
  uint32_t settingsNumber = 0;
  // A jump without generic forms: its record stands for an instruction node, not a stand-in.
  bool plain = false;
  // Made in a run that only checks the source: its records stand for discarded nodes.
  bool checkOnly = false;
  // The walk met a generic form where generics are not allowed.
  bool genericRefused = false;
  // Lines of the expansion that hold an instruction (see FGeneric::deferredInstructions).
  uint16_t waiting = 0;
  // The expansion: the kept outcome, the temporary labels it names, and the symbol scope
  // its lines are parsed in.
  JumpExpansion expansion;
  uint32_t labelCount = 0;
  SymbolTable::LocalSymbolTable* scope = nullptr;
  uint16_t scopeId = 0;

  // The statement parser's: the stand-in generic of a jump, from its forms and its
  // expansion, whose temporary labels are numbered down from `firstLabel`; and the copy of
  // a statement's line that a generic stands on.
  FInstruction* (*makeStandIn)(LineInfo* line, std::vector<IPInstruction*> forms, const JumpShape& shape,
                               const char* targetName, uint32_t firstLabel) = nullptr;
  LineInfo* (*makeGenericLine)(LineInfo* line) = nullptr;
  // A stand-in takes over the choice and the line copy of the node it replaces.
  void (*adoptStandIn)(FInstruction* standIn, bool chosen, LineInfo* genericLine) = nullptr;

  ~JumpShape();
};

// A shape that lives as long as the run.
JumpShape* makeJumpShape();

// Builds the hardware forms of the shape's statement with `target` as the target, on the
// line, as the statement's walk builds them; the symbol nodes the parses made go to
// `leaves` (up to kMostParses), with a claim on them in `parsedNodes`, when those are not
// null. Nothing is reported and no symbol is looked up: the target's symbol stands for
// every parse of it.
std::vector<IPInstruction*> buildJumpForms(const JumpShape& shape, LineInfo* line, Symbol* target,
                                           OrbaExpression** leaves, uint32_t* leafCount, CandidateNodes** parsedNodes);

// Whether the forms fit what a node keeps of their layout state.
bool jumpFormsFitRecord(const FInstruction& forms);

class FJumpRecord : public FlowNode {
  VEKT_POOLED_CLASS(FJumpRecord)

 public:
  // Starts as a fresh stand-in: no form chosen or refused.
  FJumpRecord(LineInfo* line, JumpShape* shape, Symbol* target, uint32_t firstLabel);
  ~FJumpRecord() override;

  FlowNode* clone() const override { return nullptr; }
  bool isInstruction() const override { return true; }
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  uint16_t getCycles() const override;
  const char* failureText() const override;
  int32_t waitingExpansions() const override { return shape_->plain ? -1 : shape_->waiting; }
  FGeneric* becomeGeneric(Section& section) override;
  bool chooseStandIn() override {
    if (shape_->plain) return false;
    const bool before = standInChosen_ != 0;
    standInChosen_ = 1;
    return before;
  }
  LineInfo* ownLine() override;
  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh) override;

  // Puts the stand-in generic the node stands for, with the node's state, in the node's
  // place, for a pass that reads the forms of every instruction; the node is deleted.
  FInstruction* becomeStandIn(Section& section);

  // The cycles of the chosen form on the core, as every chosen form of the section gets them.
  void assignCore(int32_t core);

  Symbol* target() const { return target_; }

 private:
  // Layout without lending the forms, for a target in the walker's section at a known
  // offset: false, with nothing changed, where the forms must be lent.
  bool layOutDirectly(FlowWalker& walker, int32_t mode, bool fresh, LayoutChoice& choice);

  // The target field's value of the chosen form, measured as layout measured it, where the
  // record can write the form from it without lending the forms; kNoValue elsewhere.
  static constexpr int64_t kNoValue = INT64_MIN;
  int64_t directFieldValue(const Section& section) const;
  // Writes the chosen form from the field's value where it is one word and nothing but
  // the bytes is asked for; false, with nothing written, elsewhere.
  bool writeFromTemplate(ObjectWriter& writer, int64_t value) const;

  // Lends the shared forms the node's target, line and state; takes the state back.
  FInstruction& lend() const;
  void takeBack(FInstruction& forms);
  // The stand-in generic the node stands for, with the node's state, in no flow yet.
  FInstruction* makeStandIn();

  // The small fields first: they fill the room the base leaves at its end.
  int8_t selected_ = -1;
  uint8_t fixed_ = 0;
  uint8_t excludedCount_ = 0;
  uint8_t standInChosen_ = 0;
  uint8_t keepsLines_ = 0;  // bit 0: a generic line, bit 1: kept error texts
  // Per form, three bits (last check, excluded); per operand field, four (relocation
  // memo, its answer, the last check).
  uint32_t state_ = 0;
  // The number of the expansion's first temporary label.
  uint32_t firstLabel_;
  JumpShape* shape_;
  Symbol* target_;
};

// Whether the record of a jump to `target` in `section`, whose target is a label of its
// lean run, would be written as its lean entry was: with the form the distance decides
// and the displacement in its field. Not so for a target that needs a relocation or
// lives elsewhere, or a section whose instructions keep their largest forms.
bool leanJumpWritten(const Symbol& target, const Section& section);

// Writes the jump as an entry of the lean run it joins (see appendLeanJump) when its
// forms' fields hold the displacement alone, the distance decides which form layout
// chooses and the target is a near label of the run behind it; false, with nothing done,
// elsewhere.
bool writeJumpAsEntry(Section& section, LineInfo* line, JumpShape& shape, Symbol* target, uint32_t firstLabel);

// What a lean jump's record is made again from: the row of its entry and, when its line
// defined a label, that line; else the line made for it follows `after` among the lines.
struct RemadeJump {
  Symbol* target;
  JumpShape* shape;
  uint32_t firstLabel;
  uint32_t context;  // the line's context number
  uint32_t lineNumber;
  bool expansion;
  LineInfo* ownLine;
  LineInfo* after;
};
FlowNode* remakeJumpRecord(RemadeJump& jump);

// Every jump record of the section becomes its stand-in.
void standInJumpRecords(Section& section);

// A generic's hardware form emitted in the generic's place: around the form's own
// emission, the marks and code addresses the list file reads on the statement's line and
// on the copy of it that stands for the generic, when one was made.
void emitAsChosenHardwareForm(FInstruction& form, LineInfo* line, LineInfo* genericLine, ObjectWriter& writer);

}  // namespace isa
