#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ScopedManagers.h"
#include "preproc/BodySubstitution.h"
#include "preproc/MppRecords.h"

namespace {

// X is 255, NEG is -2; every other name has no value.
bool testSymbolValue(std::string_view name, int64_t* value) {
  if (name == "X") *value = 255;
  else if (name == "NEG") *value = -2;
  else return false;
  return true;
}

struct Case {
  const char* what;
  std::string body;
  std::vector<std::pair<const char*, const char*>> arguments;  // name, value (null: omitted)
  std::string expected;
  std::vector<const char*> localNames = {};  // given: the expansion is a macro call
  uint32_t number = 12;
  const char* label = nullptr;
  bool caseSensitive = true;
  const char* commentString = ";";
};

class BodySubstitutionTest : public testing::Test {
 protected:
  std::string expand(const Case& c) {
    std::unique_ptr<MppConstruct> construct;
    if (c.localNames.empty()) {
      construct = std::make_unique<MppDup>(nullptr, 1);
    } else {
      auto macro = std::make_unique<MppMacro>("m", std::vector<const char*>{});
      for (const char* name : c.localNames) macro->localNames.insert(name);
      construct = std::move(macro);
    }
    MppExpand expansion(c.localNames.empty() ? MppExpand::kRepeat : MppExpand::kMacroCall,
                        construct.get());
    expansion.number = c.number;
    for (const auto& [name, value] : c.arguments) expansion.addArgument(name, value);
    BodySubstitution::Settings settings;
    settings.caseSensitive = c.caseSensitive;
    settings.commentString = c.commentString;
    settings.symbolValue = testSymbolValue;
    return substitution_.expand(c.body, expansion, c.label, settings);
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  BodySubstitution substitution_;
};

TEST_F(BodySubstitutionTest, ArgumentsOperatorsQuotesCommentsAndLocalLabels) {
  const Case cases[] = {
      {"parameter", "\tmov d0,#val\n", {{"val", "5"}}, "\tmov d0,#5\n"},
      {"single quotes keep the name", "\t.ascii 'val'\n", {{"val", "5"}}, "\t.ascii 'val'\n"},
      {"double quotes are replaced in and come out single",
       "\t.ascii \"val\"\n", {{"val", "5"}}, "\t.ascii '5'\n"},
      {"a single quote inside double quotes is text", "\"it's val\"\n", {{"val", "5"}},
       "'it's 5'\n"},
      {"quote states end with the line", "'a\nval\n", {{"val", "5"}}, "'a\n5\n"},
      {"backslash joins", "lbl\\_end\n", {{"lbl", "L3"}}, "L3_end\n"},
      {"two backslashes give one", "a\\\\b\n", {}, "a\\b\n"},
      {"backslash before a double quote gives it", "x\\\"y\n", {}, "x\"y\n"},
      {"backslash in single quotes stays", "'a\\b'\n", {}, "'a\\b'\n"},
      {"doubled operators stand for themselves", "%% ?? ^^\n", {}, "% ? ^\n"},
      {"%NAME is upper-case hex, ?NAME decimal", "%X ?X ?NEG %NEG\n", {},
       "FF 255 -2 FFFFFFFFFFFFFFFE\n"},
      {"names without a value stay as written", "%Y ?Y\n", {}, "%Y ?Y\n"},
      {"a second operator drops the first", "%?X %^X ^%X\n", {}, "255 X FF\n"},
      {"an operator before no name is kept", "%1 ? ^\n", {}, "%1 ? ^\n"},
      {"operators take the argument value", "%v\n", {{"v", "X"}}, "FF\n"},
      {"comment copied unchanged", "\tnop ; val %X \\ \"q\"\n", {{"val", "5"}},
       "\tnop ; val %X \\ \"q\"\n"},
      {"comment string inside quotes is text", "\t.ascii \"a;val\"\n", {{"val", "5"}},
       "\t.ascii 'a;5'\n"},
      {"a longer comment string", "a // val\nb / val\n", {{"val", "5"}},
       "a // val\nb / 5\n", {}, 12, nullptr, true, "//"},
      {"no comment string", "a ; val\n", {{"val", "5"}}, "a ; 5\n", {}, 12, nullptr, true,
       nullptr},
      {"omitted value leaves the name", "\t.byte v,w\n", {{"v", nullptr}, {"w", "2"}},
       "\t.byte v,2\n"},
      {"the first argument of a name wins", "a\n", {{"a", "1"}, {"a", "2"}}, "1\n"},
      {"case-sensitive names", "VAL val\n", {{"val", "5"}}, "VAL 5\n"},
      {"case-insensitive names", "VAL val\n", {{"val", "5"}}, "5 5\n", {}, 12, nullptr, false},
      {"names go on over digits and dots, never over an at sign", "val1 val.x 1val @val val@\n",
       {{"val", "5"}}, "val1 val.x 15 @val 5@\n"},
      {"macro-local labels get the serial", "loop: j loop\n\tj ^loop\n\tj other\n", {},
       "loop__M_L000012: j loop__M_L000012\n\tj loop\n\tj other\n", {"loop"}},
      {"the serial grows past six digits", "loop:\n", {}, "loop__M_L1234567:\n", {"loop"},
       1234567},
      {"a local label stays in single quotes", "'loop'\n", {}, "'loop'\n", {"loop"}},
      {"repeat blocks have no local labels", "loop:\n", {}, "loop:\n"},
      {"the label comes first on a line of its own", "\tnop\n", {}, "start:\n\tnop\n", {}, 1,
       "start"},
      {"an empty body with a label", "", {}, "L:\n", {}, 1, "L"},
      {"the body ends at a NUL byte", std::string("a\n\0b\n", 5), {}, "a\n"},
      {"a pending operator at the end is kept", "x%", {}, "x%"},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c), c.expected) << c.what;
}

TEST_F(BodySubstitutionTest, BuffersAreReusedWithoutCarryingText) {
  Case first{"first", "a b c d e f g\n", {}, "a b c d e f g\n"};
  Case second{"second", "x\n", {}, "x\n"};
  EXPECT_EQ(expand(first), first.expected);
  EXPECT_EQ(expand(second), second.expected);
}

}  // namespace
