// Generated label names: the counter they come from, and the record of a symbol made under
// such a name before the name was given out (the expansion marks such a symbol as its own
// label, and looks for one only when the record says there may be one).
#include "flow/TempLabels.h"

#include <gtest/gtest.h>

#include <string>

#include "ScopedManagers.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

uint64_t numberOf(const char* name) { return std::stoull(std::string(name).substr(3)); }

TEST(TempLabelNames, WrittenAndInternedNamesCountDownFromOneCounter) {
  ScopedRun run;
  ScopedManagers managers{ScopedManagers::kStrings};
  char written[kTempLabelNameRoom];
  writeTempLabelName(written);
  EXPECT_STREQ(written, "__T4294967295");
  const char* interned = makeTempLabelName();
  EXPECT_STREQ(interned, "__T4294967294");
  writeTempLabelName(written);
  EXPECT_EQ(numberOf(written), numberOf(interned) - 1);
}

TEST(TempLabelNames, OnlyASymbolMadeUnderANameNotYetGivenOutIsRecorded) {
  struct Case {
    const char* name;  // "<next>" is the name the counter gives out next, "<given>" the last given
    bool recorded;
  };
  const Case cases[] = {
      {"<next>", true},
      {"<given>", false},
      {"__T12", true},
      {"__t12", true},
      {"__T0", true},
      {"__T012", true},        // spells no given name; recording it is merely cautious
      {"__T99999999999", false},  // longer than any number given out
      {"__T12x", false},
      {"__T", false},
      {"_T12", false},
      {"__X12", false},
      {"lab", false},
  };
  for (const Case& c : cases) {
    ScopedRun run;
    ScopedManagers managers{ScopedManagers::kStrings};
    char given[kTempLabelNameRoom];
    writeTempLabelName(given);
    std::string name = c.name;
    if (name == "<given>") name = given;
    if (name == "<next>") name = "__T" + std::to_string(numberOf(given) - 1);
    EXPECT_FALSE(tempLabelNameTakenEarly()) << c.name;
    Symbol* symbol = Symbol::create(name.c_str(), 0);
    EXPECT_EQ(tempLabelNameTakenEarly(), c.recorded) << c.name;
    delete symbol;
  }
}

}  // namespace
