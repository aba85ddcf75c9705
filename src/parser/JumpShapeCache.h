// The table of jump shapes: generic jumps that repeat the text of one parsed before but for
// their target ("jne d4,d4,L0", "jne d4,d4,L10") share the hardware forms built once for
// that text (an isa::JumpShape), and each becomes a small jump record. A slot is keyed by
// the text but for the target, the control state, the section, the generation of the
// settings and how the target's symbol stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "isa/InstructionMatcher.h"
#include "parser/StatementText.h"

class ControlState;
class Section;
namespace isa {
struct JumpShape;
}

class JumpShapeCache : public StatementStaleness {
 public:
  static constexpr size_t kSlots = 512;
  // A key may stand in any slot of its set: a few dozen texts in a loop would otherwise
  // keep taking each other's slot.
  static constexpr size_t kWays = 4;
  static constexpr uint32_t kMostStates = isa::InstructionMatcher::kMostTargetStates;

  // A jump statement as the table looks it up.
  struct Key {
    const char* text = nullptr;  // the statement
    TargetSplit split;           // where its target stands
    uint8_t length = 0;          // of the text read (StatementText::length)
    const ControlState* state = nullptr;
    const Section* section = nullptr;
    uint32_t generation = 0;
    // How the target's symbol stands once the parse has referred to it: its flags, and
    // whether it is placed in the statement's section (1), elsewhere (2) or nowhere yet (0).
    uint8_t symbolFlags[3] = {};
    uint8_t symbolPlace = 0;
    uint64_t hash = 0;

    // False when the split does not lie in the text; else the hash is made.
    bool make();
  };

  struct Entry {
    uint64_t hash = 0;
    const ControlState* state = nullptr;
    const Section* section = nullptr;
    uint32_t generation = 0;
    uint8_t beforeLength = 0;
    uint8_t afterLength = 0;
    uint8_t stateCount = 0;
    uint8_t symbolFlags[3] = {};
    uint8_t symbolPlace = 0;
    uint32_t consumedBeyond = 0;  // characters the walk took after the target
    char text[kStatementTextRoom] = {};  // the text before the target, then after it
    // The automaton states the walk stood in at the target.
    uint16_t states[kMostStates] = {};
    isa::JumpShape* shape = nullptr;  // null when the slot is free; the run owns it
  };

  // Invalidation. The entries count under their own generation, which the directives that
  // only place data, space or a symbol's value leave alone, and under the control state of
  // the last jump, as the plain statements count theirs; a directive that binds symbols
  // makes every entry stale too, as a jump names a symbol.
  // The generation a jump under `state` is looked up and kept in.
  uint32_t generationFor(const ControlState* state) {
    enterState(state);
    return generation_ + bindingChanges_;
  }
  // A directive or control ran; `directive` is its keyword's token, 0 when unknown.
  void directiveRan(int directive);
  void bindingChanged() { ++bindingChanges_; }

  // Whether a slot was made: a source without repeated jumps never looks further.
  bool empty() const { return entries_.empty(); }

  // The entry that holds a shape for the key, or null.
  const Entry* find(const Key& key);
  // The entry the last find returned, when it holds a shape for the key; else null. The key
  // needs no hash: a stretch of jumps of one text is looked up without one.
  const Entry* findLast(const Key& key) const { return last_ && holds(*last_, key) ? last_ : nullptr; }

  // The first jump of a text only marks its slot, in place of what the slot held: a text
  // met once needs no shape. True when the slot was marked for the key before.
  bool seenBefore(const Key& key);

  // Keeps the shape for the key (the slot must have been marked for it). False, with
  // nothing kept, when the text but for the target does not fit, the states are more than
  // kMostStates or none, or the split does not lie in the text.
  bool keep(const Key& key, isa::JumpShape* shape, const uint16_t* states, uint32_t stateCount,
            uint32_t consumedBeyond);

 private:
  // The first slot of the key's set.
  static size_t setOf(uint64_t hash) { return hash & (kSlots - 1) & ~(kWays - 1); }
  // The slot of the set whose hash is the key's; null when none is.
  Entry* slotWith(uint64_t hash);
  const Entry* slotWith(uint64_t hash) const { return const_cast<JumpShapeCache*>(this)->slotWith(hash); }

  // Whether the entry holds a shape for the key, all but the hash compared.
  static bool holds(const Entry& entry, const Key& key);

  // Made at the first jump marked.
  std::vector<Entry> entries_;
  // What find returned last: a slot of entries_, whose fields findLast compares again.
  const Entry* last_ = nullptr;
  // Per set, the slot the next new key takes when every slot of the set is taken.
  std::vector<uint8_t> nextVictim_;
  uint32_t bindingChanges_ = 0;
};
