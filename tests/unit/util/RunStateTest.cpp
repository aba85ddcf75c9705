#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/MemoryPools.h"
#include "util/RunState.h"

namespace {

std::vector<std::string> destroyed;

struct Counter {
  int value = 0;
};

template <char Name>
struct Named {
  ~Named() { destroyed.push_back(std::string(1, Name)); }
};

// Reaches a part made after it, while the run goes.
struct Reaching {
  ~Reaching() {
    runPart<Counter>().value += 1;
    destroyed.push_back("reaching saw " + std::to_string(runPart<Counter>().value));
  }
};

TEST(RunState, EachRunStartsWithPartsOfItsOwnAndTheOuterRunComesBack) {
  ScopedRun outer;
  runPart<Counter>().value = 7;
  {
    ScopedRun inner;
    EXPECT_EQ(&runState(), &inner.state());
    EXPECT_EQ(runPart<Counter>().value, 0);
    runPart<Counter>().value = 3;
  }
  EXPECT_EQ(&runState(), &outer.state());
  EXPECT_EQ(runPart<Counter>().value, 7);
}

TEST(RunState, PartsGoWithTheRunInTheReverseOrderOfTheirMaking) {
  struct Case {
    std::string makeOrder;
    std::vector<std::string> destroyOrder;
  };
  const Case cases[] = {
      {"abc", {"c", "b", "a"}},
      {"cab", {"b", "a", "c"}},
      {"b", {"b"}},
  };
  for (const Case& c : cases) {
    destroyed.clear();
    {
      ScopedRun run;
      for (char name : c.makeOrder) {
        if (name == 'a') runPart<Named<'a'>>();
        if (name == 'b') runPart<Named<'b'>>();
        if (name == 'c') runPart<Named<'c'>>();
      }
      // Asking again makes nothing new.
      runPart<Named<'b'>>();
    }
    EXPECT_EQ(destroyed, c.destroyOrder) << c.makeOrder;
  }
}

TEST(RunState, APartMayReachAnotherWhileTheRunGoes) {
  destroyed.clear();
  {
    ScopedRun run;
    runPart<Reaching>();
    runPart<Counter>().value = 41;
  }
  // Counter, made after Reaching, went first: Reaching made a fresh one, which went too.
  EXPECT_EQ(destroyed, std::vector<std::string>{"reaching saw 1"});
}

TEST(RunState, PoolsAndTheirHandlesBelongToTheRun) {
  ScopedRun outer;
  MemoryPools& outerPools = MemoryPools::instance();
  MemPool*& outerHandle = runState().poolHandle(nextPoolSlot());
  outerHandle = outerPools.registerPool("RunStateTest", &outerHandle);
  {
    ScopedRun inner;
    EXPECT_NE(&MemoryPools::instance(), &outerPools);
    EXPECT_EQ(MemoryPools::instance().find("RunStateTest"), nullptr);
  }
  EXPECT_EQ(MemoryPools::instance().find("RunStateTest"), outerHandle);
}

}  // namespace
