#include <gtest/gtest.h>

#include "parser/LineFlags.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

using CS = ControlState;

TEST(LineListing, TheFirstRuleThatDecidesGivesTheAnswer) {
  struct Case {
    const char* what;
    uint8_t flags[4];
    int16_t variant;
    const char* text;
    int16_t listCounter;
    uint32_t letters;  // list flags that are on
    bool listed;
  };
  const Case cases[] = {
      {"plain line", {0, 0, 0, 0}, -1, "x", 1, 0, true},
      {"listing off", {0, 0, 0, 0}, -1, "x", 0, ~0u, false},
      {"listing turned below zero", {0, 0, 0, 0}, -1, "x", -1, ~0u, false},
      {"never listed (byte 1)", {0, 0x10, 0, 0}, -1, "x", 1, ~0u, false},
      {"never listed (byte 3)", {0, 0, 0, 0x01}, -1, "x", 1, ~0u, false},
      {"not listed (byte 3 bit 1)", {0, 0, 0, 0x02}, -1, "x", 1, ~0u, false},
      {"not listed (byte 3 bit 2)", {0, 0, 0, 0x04}, -1, "x", 1, ~0u, false},
      {"unlisted group", {0, 0x08, 0, 0}, -1, "x", 1, ~0u, false},
      {"unlisted group listed anyway", {0, 0x08, 0, 0x40}, -1, "x", 1, 0, true},
      {"body end", {0x04, 0, 0, 0}, -1, "x", 1, 0, false},
      {"end of a macro body, macros not listed", {0x0C, 0, 0, 0}, -1, "x", 1, 0, true},
      {"end of a macro body, macros listed", {0x0C, 0, 0, 0}, -1, "x", 1, CS::kListMacro, false},
      {"equate without q", {0, 0x01, 0, 0}, -1, "x", 1, 0, false},
      {"equate with q", {0, 0x01, 0, 0}, -1, "x", 1, CS::kListEquate, true},
      {"control without c", {0, 0x02, 0, 0}, -1, "x", 1, ~0u & ~CS::kListControl, false},
      {"control without c, listed anyway", {0, 0x02, 0x80, 0}, -1, "x", 1, 0, true},
      {"control with c", {0, 0x02, 0, 0}, -1, "x", 1, CS::kListControl, true},
      {"section directive without d", {0, 0x40, 0, 0}, -1, "x", 1, 0, false},
      {"section directive with d", {0, 0x40, 0, 0}, -1, "x", 1, CS::kListSection, true},
      {"hll line without s", {0, 0x04, 0, 0}, -1, "x", 1, 0, false},
      {"line marker without l", {0, 0, 0, 0x20}, -1, "x", 1, 0, false},
      {"line marker with l", {0, 0, 0, 0x20}, -1, "x", 1, CS::kListLine, true},
      {"empty text without n", {0, 0, 0, 0}, -1, "", 1, 0, false},
      {"no text without n", {0, 0, 0, 0}, -1, nullptr, 1, 0, false},
      {"empty text with n", {0, 0, 0, 0}, -1, "", 1, CS::kListEmptyLine, true},
      {"expansion without x", {0x10, 0, 0, 0}, -1, "x", 1, 0, false},
      {"expansion with x", {0x10, 0, 0, 0}, -1, "x", 1, CS::kListMacroExpansion, true},
      {"macro definition without m", {0x08, 0, 0, 0}, -1, "x", 1, 0, false},
      {"generic without i", {0, 0, 0x04, 0}, -1, "x", 1, 0, false},
      {"generic with i", {0, 0, 0x04, 0}, -1, "x", 1, CS::kListGeneric, true},
      {"generic with i, marked", {0, 0, 0x0C, 0}, -1, "x", 1, CS::kListGeneric, false},
      {"generated line, not listable", {0, 0, 0, 0}, 0, "x", 1, ~0u, false},
      {"generated line without g", {0, 0, 0x10, 0}, 0, "x", 1, 0, false},
      {"generated line without g, marked", {0, 0, 0x18, 0}, 1, "x", 1, 0, true},
      {"generated line with g", {0, 0, 0x10, 0}, 2, "x", 1, CS::kListGenericExpansion, true},
      {"conditional directive without p", {0x20, 0, 0, 0}, -1, "x", 1, 0, false},
      {"inactive region without p", {0x40, 0, 0, 0}, -1, "x", 1, 0, false},
      {"inactive region with p", {0x40, 0, 0, 0}, -1, "x", 1, CS::kListConditional, true},
      {"comment line without n", {0x80, 0, 0, 0}, -1, "x", 1, 0, false},
      {"comment line with n", {0x80, 0, 0, 0}, -1, "x", 1, CS::kListEmptyLine, true},
  };
  for (const Case& c : cases) {
    ControlState state;
    state.listCounter = c.listCounter;
    state.listFlags = c.letters;
    LineInfo line;
    for (int i = 0; i < 4; ++i) line.flags[i] = c.flags[i];
    line.setVariant(c.variant);
    line.text = c.text;
    line.controlState = &state;
    EXPECT_EQ(isListed(line), c.listed) << c.what;
  }
  LineInfo stateless;
  stateless.text = "x";
  EXPECT_FALSE(isListed(stateless));
}

}  // namespace
