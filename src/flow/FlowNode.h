// One item of a section's contents: a label, an instruction, a data directive, an
// alignment and so on. The layout passes, the object writer, the metrics and the
// debug dump treat every kind alike through the virtual operations below.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "flow/FlowIterator.h"

class FGeneric;
class FlowWalker;
struct LineInfo;
class MetricsAdmin;
class ObjectWriter;
class Section;

class FlowNode {
 public:
  // Kind codes; the layout passes and Section::addNode branch on them.
  enum Kind : uint8_t {
    kAlign = 1,
    kCalls = 7,
    kConstant = 8,
    kEquSet = 11,
    kExtern = 12,
    kError = 13,
    kFloat = 14,
    kFract = 15,
    kGeneric = 16,
    kInstruction = 17,
    kLabel = 18,
    kMisraC = 20,
    kName = 21,
    kParallel = 23,
    kReset = 24,
    kSimple = 25,
    kStorage = 27,
    kLoad = 29,
    kMacroCall = 30,
    kAlias = 31,
    kCompilerName = 32,
    kCompilerVers = 33,
    kCompilerInvoc = 34,
    kBytes = 35,
    kSimpleRun = 36,
    kJumpRecord = 37,
  };

  FlowNode() = default;
  FlowNode(LineInfo* line, Kind kind) : line(line), kind(kind) {}
  FlowNode(const FlowNode&) = delete;
  FlowNode& operator=(const FlowNode&) = delete;

  // The virtual operations, in the order every pass relies on.

  // Copies the base fields except the line (and the flow links) from other.
  virtual void assignBase(const FlowNode& other);
  // Frees the containers the node owns and leaves them empty.
  virtual void releaseData() {}
  virtual void emitHook(ObjectWriter& /*writer*/) {}
  // Kinds return the node to their class's pool.
  virtual ~FlowNode() = default;
  // A node of the same class from its pool with every field (the line included)
  // copied and no flow links; null when the pool cannot supply memory.
  virtual FlowNode* clone() const = 0;
  virtual bool isInstruction() const { return false; }
  virtual int32_t getSize() const { return size; }
  // The bytes the node occupies when it starts at offset in section; 0 or less is
  // no bytes. Problems found here are reported by emit, at the node's line.
  virtual int32_t computeSize(Section* /*section*/, uint32_t /*offset*/) { return 0; }
  // Writes the node's bytes, relocations and symbols. The base sets the line's
  // location to the current location of the section being written.
  virtual void emit(ObjectWriter& writer);
  virtual void collectMetrics(MetricsAdmin& /*metrics*/) {}
  // One debug description of the node.
  virtual void dump(std::ostream& out) const = 0;
  virtual uint16_t getCycles() const { return cycles; }
  // False for kinds that take no place in the section (they do not activate the
  // default section when they come before any section directive).
  virtual bool hasAddress() const { return true; }
  // The diagnostic a failed statement keeps for later, null when there is none.
  virtual const char* failureText() const { return nullptr; }
  // A node may stand for a generic instruction that holds nothing but its hardware form
  // while its expansions wait (see FGeneric): layout treats it as that generic. The
  // least instructions the expansions hold, -1 for every other node.
  virtual int32_t waitingExpansions() const { return -1; }
  // Such a node's generic, made with the node as its hardware group, in the node's
  // place in the section's flow; null for every other node.
  virtual FGeneric* becomeGeneric(Section& /*section*/) { return nullptr; }
  // Such a node's hardware form becomes the generic's choice; whether it was already.
  virtual bool chooseStandIn() { return false; }
  // The line a line placed after the node goes after: the node's line, or the line of
  // the generic it stands for, made now when that waits with the expansions.
  virtual LineInfo* ownLine() { return line; }
  // A node made while no section was active goes to the default section made for it
  // (Section::addNode): what the node measures against the section it was made in
  // follows it there.
  virtual void followToSection(const Section& /*from*/, Section& /*to*/) {}

  // What a layout pass learns from a node that chooses its own encoding.
  struct LayoutChoice {
    int32_t chosen = 0;    // index of the chosen form; negative when none is left
    uint32_t padding = 0;  // alignment padding in front of the chosen form
    uint8_t usable = 1;    // the chosen form's last check: 0 rejected, 1 fits, 2 undecided
    bool changed = false;  // the choice differs from the one before the call
  };
  // Sizes the node for one layout pass at walker.offset and stores the size in
  // walker.nodeSize. Mode 0 takes the smallest form on trust, 1 checks the forms
  // against the addresses of the previous pass, 2 settles on one for good. fresh
  // forgets every earlier choice first (a generic's rewrite is tried anew each
  // time). The default serves nodes without a choice: computeSize.
  virtual LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh);

  // The neighbours in the list that holds the node (a section's flow or a rewrite's
  // node list); null at either end and for a node in no list.
  FlowNode* previousNode() const { return prev_; }
  FlowNode* nextNode() const { return next_; }

  LineInfo* line = nullptr;

 private:
  // The links come before the small fields, so that a kind's first small field
  // fills the padding at the end of the base (a label node takes 56 bytes).
  friend class FlowList;
  FlowNode* prev_ = nullptr;
  FlowNode* next_ = nullptr;

 public:
  // The size in bytes once known; 0 or less while open or when the node has none.
  int32_t size = 0;
  // Written and read by the layout passes only.
  uint32_t layoutSize = 0;
  uint16_t cycles = 0;
  uint8_t kind = 0;

 protected:
  // The base-field copy that every clone starts with.
  void copyBaseForClone(const FlowNode& other) {
    assignBase(other);
    line = other.line;
  }
};

// An ordered list of nodes linked through the nodes themselves: appending costs no
// allocation, and a walk runs both ways. A node is in at most one list; the list
// owns no node.
class FlowList {
 public:
  FlowNode* first() const { return head_; }
  FlowNode* last() const { return tail_; }
  uint32_t count() const { return count_; }
  bool empty() const { return head_ == nullptr; }

  void append(FlowNode* node) {
    node->prev_ = tail_;
    node->next_ = nullptr;
    if (tail_)
      tail_->next_ = node;
    else
      head_ = node;
    tail_ = node;
    ++count_;
  }
  void prepend(FlowNode* node) {
    node->prev_ = nullptr;
    node->next_ = head_;
    if (head_)
      head_->prev_ = node;
    else
      tail_ = node;
    head_ = node;
    ++count_;
  }
  // Puts `fresh` (in no list) in the place of `node` (in this list), which leaves it.
  void replace(FlowNode* node, FlowNode* fresh) {
    fresh->prev_ = node->prev_;
    fresh->next_ = node->next_;
    (node->prev_ ? node->prev_->next_ : head_) = fresh;
    (node->next_ ? node->next_->prev_ : tail_) = fresh;
    node->prev_ = node->next_ = nullptr;
  }
  // Puts `node` (in no list) in front of `anchor` (in this list).
  void insertBefore(FlowNode* anchor, FlowNode* node) {
    node->next_ = anchor;
    node->prev_ = anchor->prev_;
    (anchor->prev_ ? anchor->prev_->next_ : head_) = node;
    anchor->prev_ = node;
    ++count_;
  }
  // Takes the node out of this list (it must be in it).
  void remove(FlowNode* node) {
    (node->prev_ ? node->prev_->next_ : head_) = node->next_;
    (node->next_ ? node->next_->prev_ : tail_) = node->prev_;
    node->prev_ = node->next_ = nullptr;
    --count_;
  }

 private:
  FlowNode* head_ = nullptr;
  FlowNode* tail_ = nullptr;
  uint32_t count_ = 0;
};
