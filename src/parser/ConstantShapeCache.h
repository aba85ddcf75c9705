// The table of constant shapes: statements that differ from one parsed before only in the
// values of their plain numbers ("mov d1,#3", "mov d1,#40"). What such statements come to
// is kept by ranges of the values (a regime): the next statement of the shape whose values
// fall in a kept regime takes its form, with the values placed in the form's fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "isa/InstructionMatcherShapes.h"
#include "parser/StatementText.h"
#include "util/PagedSlots.h"

class ControlState;
class IPAttribute;
class IPInstruction;
class Section;
struct MatchAlternative;

// What statements of one constant shape come to over ranges of their constants: the form
// chosen when every value lies in its range of the form, and the values lie outside the
// ranges of each form that comes before it (one value is enough), which then rules it out.
struct ShapeRegime {
  static constexpr size_t kMostPassedOver = 4;
  static constexpr uint32_t kMost = ConstantTokens::kMost;
  // What every statement that takes the regime reads comes first, so that a statement of
  // one number and no form passed over reads two cache lines of it.
  IPAttribute* attributes = nullptr;  // a claim on a shared set; null when the regime is free
  uint32_t base = 0;                  // the image without the constants' bits
  uint16_t cycles = 0;
  uint8_t bits = 0;
  uint8_t passedOverCount = 0;
  isa::ConstantOperandForm chosen;
  // The ranges of the forms before it, by number: [form][number][low, high].
  int64_t passedOver[kMostPassedOver][kMost][2] = {};

  static bool within(const isa::ConstantOperandForm& form, const int64_t* values);
  // Whether values of the shape take the regime.
  bool takes(const int64_t* values) const;
  // The image for the values; false when a field refuses its value.
  bool image(const int64_t* values, uint32_t& out) const;

  // The regime of a statement that chose `chosen` among the sorted `candidates` (the walk
  // offered the forms `offered`), for its `count` values: false when the values can have
  // changed more than whether the forms before the chosen one are ruled out and the bits
  // of the chosen one's fields. Takes no claim on the attributes.
  static bool judge(const std::vector<IPInstruction*>& candidates, const IPInstruction& chosen,
                    const std::vector<const MatchAlternative*>& offered, const int64_t* values, uint32_t count,
                    ShapeRegime& regime);
};

class ConstantShapeCache : public StatementStaleness {
 public:
  static constexpr size_t kSlots = 1024;
  static constexpr size_t kRegimes = 3;

  // A statement text with its numbers taken out, under a control state, in a section.
  struct alignas(64) Entry {
    uint64_t key = 0;
    const ControlState* state = nullptr;
    const Section* section = nullptr;
    uint32_t generation = 0;
    uint32_t consumedAfter = 0;                  // characters consumed after the last number
    uint8_t digits[ConstantTokens::kMost] = {};  // where the numbers stand in the text
    uint8_t count = 0;
    uint8_t textLength = 0;  // without the numbers
    uint8_t nextRegime = 0;
    char text[kStatementTextRoom] = {};
    ShapeRegime regimes[kRegimes];
  };

  // What a statement of a kept shape comes to.
  struct Outcome {
    const ShapeRegime* regime = nullptr;
    uint32_t image = 0;
    uint32_t consumed = 0;
  };

  ConstantShapeCache() = default;
  ~ConstantShapeCache();
  ConstantShapeCache(const ConstantShapeCache&) = delete;
  ConstantShapeCache& operator=(const ConstantShapeCache&) = delete;

  // The key of a statement's shape (the text read must have one) under a state in a section.
  static uint64_t key(const StatementText& text, const ControlState* state, const Section* section);

  // The outcome of the statement when its shape is kept under the state in the section and
  // its values take one of the shape's regimes; false otherwise.
  bool find(uint64_t key, const StatementText& text, const ControlState* state, const Section* section,
            Outcome& out) const;

  // Keeps the regime for the statement's shape, with a claim of its own on `attributes` (a
  // shared set), beside the shape's other regimes; the oldest goes when all are taken. A
  // shape of another key in the slot goes with its regimes. `consumed` counts from the
  // statement's start. False, with nothing kept, when the text has no shape or `consumed`
  // stops before its last number.
  bool keep(uint64_t key, const StatementText& text, const ControlState* state, const Section* section,
            const ShapeRegime& regime, IPAttribute& attributes, uint32_t consumed);

 private:
  Entry* entryFor(uint64_t key, const StatementText& text, const ControlState* state, const Section* section);
  const Entry* entryFor(uint64_t key, const StatementText& text, const ControlState* state,
                        const Section* section) const;
  static void releaseRegimes(Entry& entry);

  // A page of slots at a time, at the first shape kept in it: an entry is near a kilobyte.
  PagedSlots<Entry, kSlots, 4> entries_;
};
