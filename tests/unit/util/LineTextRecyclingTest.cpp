#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "util/LineInfo.h"
#include "util/RunState.h"

namespace {

// Lines made and let go of one after another: with recycling, the texts take the
// room of a few chunks however many lines pass; a text that a line still holds keeps
// its bytes; without recycling every text stays.
TEST(LineTextRecycling, TextsOfLinesLetGoOfAreReused) {
  struct Case {
    const char* name;
    bool recycle;
    size_t keptEvery;  // every that many lines one is kept to the end; 0: none
    size_t maxTop;     // the most room the texts may take
  };
  const std::string text(40, 'x');
  constexpr size_t kLines = 100000;
  const Case cases[] = {
      {"recycled, none kept", true, 0, size_t{4} << 16},
      {"kept lines keep their chunks only", true, 5000, size_t{24} << 16},
      {"not recycled", false, 0, SIZE_MAX},
  };
  for (const Case& c : cases) {
    ScopedRun run;
    LineArena& arena = lineArena();
    arena.setRecycleTexts(c.recycle);
    std::vector<std::unique_ptr<LineInfo>> kept;
    for (size_t index = 0; index < kLines; ++index) {
      auto line = std::make_unique<LineInfo>();
      std::string own = text + std::to_string(index);
      line->text = own.c_str();
      if (c.keptEvery && index % c.keptEvery == 0) kept.push_back(std::move(line));
    }
    EXPECT_LE(arena.textTop(), c.maxTop) << c.name;
    if (!c.recycle) {
      EXPECT_GE(arena.textTop(), kLines * (text.size() + 2)) << c.name;
    }
    for (size_t index = 0; index < kept.size(); ++index)
      EXPECT_STREQ(kept[index]->text, (text + std::to_string(index * c.keptEvery)).c_str()) << c.name;
  }
}

// Two lines sharing one text: letting go of one leaves the other's text whole, even
// when everything around it is reused.
TEST(LineTextRecycling, SharedTextStaysWhileALineHoldsIt) {
  ScopedRun run;
  lineArena().setRecycleTexts(true);
  auto first = std::make_unique<LineInfo>();
  first->text = "shared statement\n";
  auto second = std::make_unique<LineInfo>();
  second->text = first->text.get();
  ASSERT_EQ(first->text.get(), second->text.get());
  first.reset();
  for (int index = 0; index < 50000; ++index) {
    LineInfo passing;
    passing.text = "a passing line of about forty characters\n";
  }
  EXPECT_STREQ(second->text, "shared statement\n");
}

}  // namespace
