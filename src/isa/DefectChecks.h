// CPU functional-defect checks: after layout, the code of a section is scanned for the short
// instruction sequences that some TriCore devices execute wrongly, and each instruction that
// starts or ends one gets its warning (W800 to W832). Which checks run is a switch per line
// (--silicon-bug and the $CPU_TC... controls). Instructions are known only by the attributes
// their forms carry; the scan reads the flow and changes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class ErrorHandler;
class FlowNode;
class ControlState;
class IPAttribute;
class IPInstruction;
struct IPAttr;
class RunSettings;
class Section;
class Symbol;

namespace isa {

// A position in the scan's node list that walks both ways. next past the last node, and
// prev on the first node, leave it done; prev from past the end returns to the last node.
class ScanIterator {
 public:
  explicit ScanIterator(const std::vector<FlowNode*>& nodes) : nodes_(&nodes) { first(); }
  void first() {
    index_ = 0;
    done_ = nodes_->empty();
  }
  void next() {
    if (done_) return;
    ++index_;
    done_ = index_ >= nodes_->size();
  }
  void prev() {
    if (index_ >= nodes_->size()) {
      done_ = nodes_->empty();
      if (!done_) index_ = nodes_->size() - 1;
      return;
    }
    if (index_ == 0) {
      done_ = true;
      return;
    }
    --index_;
    done_ = false;
  }
  bool isDone() const { return done_; }
  FlowNode* current() const { return index_ < nodes_->size() ? (*nodes_)[index_] : nullptr; }

 private:
  const std::vector<FlowNode*>* nodes_;
  size_t index_ = 0;
  bool done_ = true;
};

// The scan of one section.
struct DefectScan {
  explicit DefectScan(Section& scanned);
  DefectScan(const DefectScan&) = delete;
  DefectScan& operator=(const DefectScan&) = delete;

  // Instruction nodes already checked that came after the section's first label.
  int32_t instructionsAfterLabel = 0;
  int32_t labelsPassed = 0;
  std::vector<FlowNode*> nodes;
  // Nodes made for the scan alone: one for each instruction of a run, whose entries
  // have none of their own.
  std::vector<std::unique_ptr<FlowNode>> madeNodes;
  ErrorHandler* errorHandler;
  RunSettings* options;  // read for the user mode
  Section* section;
  ScanIterator cursor{nodes};  // the instruction being checked
  ScanIterator look{nodes};    // moved by a checker from the cursor's position
};

// A scan of the section with the cursor on its first instruction node.
std::unique_ptr<DefectScan> initDefectScan(Section& section);
// Fills the node list: the section's flow with the chosen rewrite of each generic
// instruction and a node for each instruction of a run in its place; a generic instruction without one ends the list. Labels referred
// to from debug sections only are left out.
void collectScanNodes(DefectScan& scan);
// Runs the checks switched on for the line of the node at the cursor.
void checkCpuDefects(DefectScan& scan);
// Moves the cursor to the next instruction node, counting the labels on the way.
void advanceDefectScan(DefectScan& scan);
// initDefectScan, then checkCpuDefects on every instruction node.
void scanSectionForDefects(Section& section);
// Whether a line with the control state has any defect check switched on: the checks
// report only at such lines.
bool stateSelectsDefectCheck(const ControlState* state);

// The queries of the checks; a null attribute set answers false or not found.

// The attribute set of an FSimple node, or of an FInstruction's selected candidate.
const IPAttribute* instructionAttributes(const FlowNode* node);
// Whether a list from the (skip+1)-th last back to the first has an entry with the id.
bool hasAttribute(const IPAttribute* attributes, uint32_t id, size_t skip);
// Whether the list `listFromEnd` (0 the last) has an entry with the id.
bool listHoldsAttribute(const IPAttribute* attributes, size_t listFromEnd, uint32_t id);
// Entry `entry` of list `listFromEnd`; null when either is out of range.
const IPAttr* lookupFromEnd(const IPAttribute* attributes, size_t listFromEnd, size_t entry);
// The integer of the first idB entry of the newest list, from `position` (counted from the
// end, starting at entry `index` there) back, that holds an idA entry; false when there is
// none, when that list has no idB entry, or when its value is not an integer constant. The
// positions found are written back.
bool findAttributePairValue(const IPAttribute* attributes, uint32_t idA, uint32_t idB, int64_t& value,
                            size_t& position, size_t& index);
// The same from the last list.
bool findAttributePairValue(const IPAttribute* attributes, uint32_t idA, uint32_t idB, int64_t& value);
// The integer pipelineUse of the description's list.
bool getPipelineUse(const IPAttribute* attributes, int64_t& value);
// The selected candidate of an FInstruction node; null for every other node.
IPInstruction* selectedInstruction(const FlowNode* node);
// The label symbol a conditional loop instruction goes to, through equates; null for other
// nodes, for a target without a symbol, and for the location counter minus a number, which
// is reported (W831) at the cursor's line.
Symbol* loopTargetSymbol(DefectScan& scan, const FlowNode* node, const IPAttribute* attributes);

// The checks, each of the instruction at the cursor with its attributes; each reports at
// most one warning, at the cursor's line. checkCpuDefects calls them in this order.
void checkTc013(DefectScan& scan, const IPAttribute* attributes);
void checkTc048(DefectScan& scan, const IPAttribute* attributes);
void checkTc060(DefectScan& scan, const IPAttribute* attributes);
void checkTc065(DefectScan& scan, const IPAttribute* attributes);
void checkTc068(DefectScan& scan, const IPAttribute* attributes);
void checkTc069(DefectScan& scan, const IPAttribute* attributes);
void checkTc070(DefectScan& scan, const IPAttribute* attributes);
void checkTc071(DefectScan& scan, const IPAttribute* attributes);
void checkTc072(DefectScan& scan, const IPAttribute* attributes);
void checkTc081(DefectScan& scan, const IPAttribute* attributes);
void checkTc082(DefectScan& scan, const IPAttribute* attributes);
void checkTc083(DefectScan& scan, const IPAttribute* attributes);
void checkTc094(DefectScan& scan, const IPAttribute* attributes);
void checkTc095(DefectScan& scan, const IPAttribute* attributes);
void checkTc096(DefectScan& scan, const IPAttribute* attributes);
void checkTc104(DefectScan& scan, const IPAttribute* attributes);
void checkTc105(DefectScan& scan, const IPAttribute* attributes);
void checkTc106(DefectScan& scan, const IPAttribute* attributes);
void checkTc108(DefectScan& scan, const IPAttribute* attributes);
void checkTc109(DefectScan& scan, const IPAttribute* attributes);
void checkTc116(DefectScan& scan, const IPAttribute* attributes);

}  // namespace isa
