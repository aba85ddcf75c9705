// The pieces of the build's backward walk that take short ways: a text whose length the
// tables give, and the value tables built at start-up. Each must answer as the plain way
// does, for every entry of the generated tables.
#include "isa/OperandEvaluation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "isa/InstructionMatcher.h"
#include "isa/InstructionTables.h"

namespace {

TEST(BackwardTextMatch, AKnownLengthMatchesAsTheTextAlone) {
  struct Case {
    const char* text;     // the statement text up to where the walk stands
    uint32_t states;      // path states left
    const char* pattern;  // what the element spells
  };
  const Case cases[] = {
      {"ld.w", 4, "ld.w"},      {"LD.W", 4, "ld.w"},      {"mov d0", 2, "d0"},    {"mov D0", 2, "d0"},
      {"x,", 1, ","},           {"x ,", 1, ","},          {"x\t,", 1, ","},       {"[a2]", 1, "]"},
      {"mov ", 1, " "},         {"mov   ", 1, " "},       {"mov\t \t", 1, " "},   {"mov", 1, " "},
      {"mov ", 0, " "},         {"", 0, " "},             {"d1", 2, "d0"},        {"d0", 1, "d0"},
      {"0", 2, "d0"},           {"a b", 2, "a b"},        {"a  b", 2, "a b"},     {"ab", 2, "a b"},
      {"[+a2]", 3, "[+"},       {"x[ +", 2, "[+"},        {"e14h", 4, "d15"},     {"nop", 3, "nop"},
      {"x\n", 1, "x"},          {"x\v,", 1, ","},         {"x,", 0, ","},         {"ab", 1, "b"},
  };
  for (const Case& c : cases) {
    uint32_t length = static_cast<uint32_t>(std::strlen(c.text));
    uint32_t plainP = length, plainC = c.states;
    bool plain = isa::matchTextBackward(c.text, plainP, plainC, c.pattern);
    uint32_t knownP = length, knownC = c.states;
    bool known = isa::matchTextBackward(c.text, knownP, knownC, c.pattern,
                                        static_cast<uint32_t>(std::strlen(c.pattern)));
    EXPECT_EQ(known, plain) << '"' << c.text << "\" / \"" << c.pattern << '"';
    EXPECT_EQ(knownP, plainP) << '"' << c.text << "\" / \"" << c.pattern << '"';
    EXPECT_EQ(knownC, plainC) << '"' << c.text << "\" / \"" << c.pattern << '"';
  }
}

// Every literal and name that a form's walk can meet, its own elements and those of its
// operand sequences.
void checkLengths(const PatternElement* elements, uint32_t count, uint32_t& checked) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    switch (item.kind) {
      case isa::kItemLiteral:
        EXPECT_EQ(item.textLength, std::strlen(static_cast<const char*>(item.node)))
            << static_cast<const char*>(item.node);
        ++checked;
        break;
      case isa::kItemSlot: {
        const auto* slot = static_cast<const OperandSlot*>(item.node);
        for (uint32_t k = 0; k < slot->count; ++k) {
          const RegisterRecord& record = *slot->names[k].record;
          EXPECT_EQ(record.nameLength, std::strlen(record.name)) << record.name;
          ++checked;
        }
        break;
      }
      case isa::kItemSequence: {
        const auto* sequence = static_cast<const OperandSequence*>(item.node);
        checkLengths(sequence->elements, sequence->count, checked);
        break;
      }
      case isa::kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k)
          checkLengths(choice->choices[k].sequence->elements, choice->choices[k].sequence->count, checked);
        break;
      }
      default:
        break;
    }
  }
}

TEST(BackwardTextMatch, TheTablesGiveTheLengthOfEveryTextTheyName) {
  uint32_t checked = 0;
  for (uint32_t i = 0; i < isa::matchAlternativeCount(); ++i) {
    const MatchAlternative& alternative = isa::matchAlternatives()[i];
    checkLengths(alternative.elements, alternative.elementCount, checked);
  }
  EXPECT_GT(checked, 1000u) << "the walk met too few texts to be the whole tables";
}

TEST(ValueTables, EveryStateFindsTheFirstValueGivenForItInItsTable) {
  isa::initMatchModule();
  uint32_t pairs = 0;
  for (uint32_t t = 0; t < isa::valueTableSourceCount(); ++t) {
    const ValueTableSource& source = isa::valueTableSources()[t];
    std::map<uint32_t, uint32_t> first;
    for (uint32_t i = 0; i < source.count; ++i) first.emplace(source.pairs[i].state, source.pairs[i].value);
    for (auto [state, value] : first) {
      ASSERT_LE(state, UINT16_MAX) << "table " << t;
      EXPECT_EQ(isa::lookupValue(*source.target, static_cast<uint16_t>(state)), static_cast<int32_t>(value))
          << "table " << t << " state " << state;
      // The states around an entry belong to other names or to none.
      for (uint32_t near : {state - 1, state + 1}) {
        if (near > UINT16_MAX || first.count(near)) continue;
        EXPECT_EQ(isa::lookupValue(*source.target, static_cast<uint16_t>(near)), -1)
            << "table " << t << " state " << near;
      }
      ++pairs;
    }
  }
  EXPECT_GT(pairs, 1000u);
}

}  // namespace
