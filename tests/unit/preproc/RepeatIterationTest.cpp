#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "preproc/MppRecords.h"
#include "preproc/RepeatBlocks.h"
#include "util/StringBuffer.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

class RepeatIterationTest : public testing::Test {
 protected:
  // The values of every iteration ("-" for one without a value), at most limit.
  std::vector<std::string> iterate(MppConstruct& repeat, int32_t radix, size_t limit = 100) {
    std::vector<std::string> values;
    const char* value = nullptr;
    while (values.size() < limit && nextRepeatIteration(repeat, radix, &value)) {
      if (value) {
        EXPECT_EQ(value, stringBuffer()->intern(value)) << "not interned";
      }
      values.push_back(value ? value : "-");
    }
    // Once over, a repeat block stays over.
    if (values.size() < limit) {
      EXPECT_FALSE(nextRepeatIteration(repeat, radix, &value));
    }
    return values;
  }

  const char* intern(const char* text) { return stringBuffer()->intern(text); }

  ScopedManagers managers_{ScopedManagers::kAll};
};

TEST_F(RepeatIterationTest, EachKindYieldsItsValuesInOrder) {
  using Make = std::function<std::unique_ptr<MppConstruct>()>;
  struct Case {
    const char* what;
    Make make;
    int32_t radix;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {".DUP 3", [] { return std::make_unique<MppDup>(nullptr, 3); }, 10, {"-", "-", "-"}},
      {".DUP 0", [] { return std::make_unique<MppDup>(nullptr, 0); }, 10, {}},
      {".DUP -2", [] { return std::make_unique<MppDup>(nullptr, -2); }, 10, {}},
      {".DUPA with an omitted item",
       [this] {
         return std::make_unique<MppDupa>(nullptr, "v", std::vector<const char*>{intern("a"), nullptr, intern("b")});
       },
       10, {"a", "-", "b"}},
      {".DUPA without items", [] { return std::make_unique<MppDupa>(nullptr, "v", std::vector<const char*>{}); },
       10, {}},
      {".DUPC ab", [this] { return std::make_unique<MppDupc>(nullptr, "v", intern("ab")); }, 10, {"a", "b"}},
      {".DUPC a\\n", [this] { return std::make_unique<MppDupc>(nullptr, "v", intern("a\\n")); }, 10,
       {"a", "\\", "n"}},
      {".DUPC of nothing", [this] { return std::make_unique<MppDupc>(nullptr, "v", intern("")); }, 10, {}},
      {".DUPC after an operand error", [] { return std::make_unique<MppDupc>(nullptr, "v", nullptr); }, 10, {}},
      {".DUPF 1 to 10 step 3", [] { return std::make_unique<MppDupf>(nullptr, "v", 1, 10, 3); }, 10,
       {"1", "4", "7", "10"}},
      {".DUPF 10 to 1 step -4", [] { return std::make_unique<MppDupf>(nullptr, "v", 10, 1, -4); }, 10,
       {"10", "6", "2"}},
      {".DUPF step 0", [] { return std::make_unique<MppDupf>(nullptr, "v", 1, 3, 0); }, 10, {}},
      {".DUPF start past the end", [] { return std::make_unique<MppDupf>(nullptr, "v", 5, 1, 1); }, 10, {}},
      {".DUPF in radix 16", [] { return std::make_unique<MppDupf>(nullptr, "v", 9, 11, 1); }, 16,
       {"0x9", "0xa", "0xb"}},
      {".DUPF 255 and -1 in radix 16", [] { return std::make_unique<MppDupf>(nullptr, "v", 255, -1, -256); },
       16, {"0xff", "0xffffffffffffffff"}},
      {".DUPF in radix 8", [] { return std::make_unique<MppDupf>(nullptr, "v", 7, 8, 1); }, 8, {"7", "10"}},
      {".DUPF negative in radix 2 is decimal", [] { return std::make_unique<MppDupf>(nullptr, "v", -1, 0, 1); },
       2, {"-1", "0"}},
      // The next value would leave the 64-bit range: the loop ends instead of wrapping.
      {".DUPF up to the largest value", [] { return std::make_unique<MppDupf>(nullptr, "v", kMax - 1, kMax, 1); },
       10, {"9223372036854775806", "9223372036854775807"}},
      {".DUPF down to the smallest value",
       [] { return std::make_unique<MppDupf>(nullptr, "v", kMin + 2, kMin, -2); }, 10,
       {"-9223372036854775806", "-9223372036854775808"}},
      {".DUPF with a step larger than the range",
       [] { return std::make_unique<MppDupf>(nullptr, "v", 0, kMax, kMax); }, 10, {"0", "9223372036854775807"}},
      {".DUPF with the smallest step", [] { return std::make_unique<MppDupf>(nullptr, "v", 0, kMin, kMin); }, 10,
       {"0", "-9223372036854775808"}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<MppConstruct> repeat = c.make();
    EXPECT_EQ(iterate(*repeat, c.radix), c.values) << c.what;
  }
}

}  // namespace
