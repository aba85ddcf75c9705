#include "expr/SymbolValueMemo.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

// Symbol values a walk follows by plain recursion, in depth and in all, before it
// settles the rest in a memo of its own. Ordinary values stay far below both, and so
// are evaluated as they always were; a long chain, or values that name the same
// symbols over and over, are settled once each past them.
constexpr uint32_t kDirectDepth = 64;
constexpr uint32_t kDirectSteps = 4096;

enum Question { kValue = 0, kRelocatable = 1 };

// One question's walk by plain recursion, and the memo it made when it went too far;
// the memo goes when the walk ends.
struct DirectWalk {
  uint32_t depth = 0;
  uint32_t steps = 0;
  std::unique_ptr<SymbolValueMemo> own;
};

struct RunSymbolWalks {
  SymbolValueMemo* activeMemo = nullptr;  // the memo evaluations consult
  DirectWalk directWalks[2];
  // The holds open, and the memo made under them.
  uint32_t holds = 0;
  std::unique_ptr<SymbolValueMemo> heldMemo;
};
RunSymbolWalks& walks() { return runPart<RunSymbolWalks>(); }

// Whether the answer for a reference to the symbol comes from walking its value; the
// others are answered on the spot, as the reference itself answers them.
bool walksValue(const Symbol* symbol, Question question) {
  if (!symbol->valueExpression || symbol->valueVisit) return false;
  return question == kValue ? !symbol->isWeak() : !symbol->isRelocatable();
}

bool answered(const SymbolValueMemo::Entry& entry, Question question) {
  return question == kValue ? entry.value != nullptr : entry.relocatable >= 0;
}

// The symbols an expression names, not those inside their values.
void collectSymbols(OrbaExpression* expression, std::vector<Symbol*>& symbols,
                    std::vector<OrbaExpression*>& work) {
  work.clear();
  if (expression) work.push_back(expression);
  while (!work.empty()) {
    OrbaExpression* node = work.back();
    work.pop_back();
    if (node->getKind() == EK_symbol) {
      if (Symbol* symbol = node->getSymbol()) symbols.push_back(symbol);
      continue;
    }
    if (!node->hasOperands()) continue;
    for (int32_t index = node->getArgumentCount() - 1; index >= 0; --index)
      if (OrbaExpression* argument = node->getArgument(index)) work.push_back(argument);
  }
}

// The answer for the symbol's own value, asked with the symbol entered.
void answerFromValue(Symbol* symbol, Question question, SymbolValueMemo& memo) {
  if (question == kValue) {
    OrbaExpression* value = symbol->valueExpression->evaluate();
    // A failed allocation gives no node; it stays an error of its own.
    memo.entry(symbol).value = value ? value : TEError::kind5();
  } else {
    memo.entry(symbol).relocatable = symbol->valueExpression->isRelocatable() ? 1 : 0;
  }
}

// Settles the symbol's answer and those of the symbols its value leads to, each after
// the symbols its own value names, on a stack of its own. The symbols on that stack
// are entered as a recursive walk would have entered them, so that a value leading
// back to one of them ends there as it would.
void settle(Symbol* root, Question question, SymbolValueMemo& memo) {
  struct Frame {
    Symbol* symbol;
    size_t firstPending;
  };
  std::vector<Frame> frames;
  std::vector<Symbol*> pending;
  std::vector<OrbaExpression*> work;
  struct Leave {
    std::vector<Frame>& frames;
    ~Leave() {
      for (Frame& frame : frames) frame.symbol->valueVisit = false;
    }
  } leave{frames};
  auto enter = [&](Symbol* symbol) {
    symbol->valueVisit = true;
    frames.push_back({symbol, pending.size()});
    collectSymbols(symbol->valueExpression, pending, work);
  };

  enter(root);
  while (!frames.empty()) {
    if (pending.size() > frames.back().firstPending) {
      Symbol* next = pending.back();
      pending.pop_back();
      if (walksValue(next, question) && !answered(memo.entry(next), question)) enter(next);
      continue;
    }
    Symbol* symbol = frames.back().symbol;
    answerFromValue(symbol, question, memo);
    symbol->valueVisit = false;
    frames.pop_back();
  }
}

// The answer from the memo, settled first when missing.
OrbaExpression* settledValue(Symbol* symbol, SymbolValueMemo& memo) {
  if (!memo.entry(symbol).value) settle(symbol, kValue, memo);
  OrbaExpression* value = memo.entry(symbol).value;
  // The memo keeps its node; a caller may release what it is given.
  return value->isShared() ? value : value->clone();
}

bool settledRelocatable(Symbol* symbol, SymbolValueMemo& memo) {
  if (memo.entry(symbol).relocatable < 0) settle(symbol, kRelocatable, memo);
  return memo.entry(symbol).relocatable > 0;
}

// Counts one step of a walk by plain recursion while it lasts; the walk's own memo,
// if it made one, goes with its outermost step.
class DirectStep {
 public:
  explicit DirectStep(DirectWalk& walk) : walk_(walk) {
    if (walk_.depth++ == 0) walk_.steps = 0;
    ++walk_.steps;
  }
  ~DirectStep() {
    if (--walk_.depth != 0 || !walk_.own) return;
    walks().activeMemo = nullptr;
    walk_.own.reset();
  }
  DirectStep(const DirectStep&) = delete;
  DirectStep& operator=(const DirectStep&) = delete;

 private:
  DirectWalk& walk_;
};

// The memo the walk must settle in from here on: the one in use, or the walk's own
// once it went too deep or too far; null while plain recursion goes on.
SymbolValueMemo* memoFor(DirectWalk& walk) {
  RunSymbolWalks& state = walks();
  if (state.activeMemo) return state.activeMemo;
  if (walk.depth < kDirectDepth && walk.steps < kDirectSteps) return nullptr;
  std::unique_ptr<SymbolValueMemo>& owner = state.holds ? state.heldMemo : walk.own;
  owner = std::make_unique<SymbolValueMemo>();
  state.activeMemo = owner.get();
  return state.activeMemo;
}

}  // namespace

SymbolValueMemo::Hold::Hold() { ++walks().holds; }

SymbolValueMemo::Hold::~Hold() {
  RunSymbolWalks& state = walks();
  if (--state.holds != 0 || !state.heldMemo) return;
  if (state.activeMemo == state.heldMemo.get()) state.activeMemo = nullptr;
  state.heldMemo.reset();
}

SymbolValueMemo::Use::Use(SymbolValueMemo& memo) : previous_(walks().activeMemo) {
  walks().activeMemo = &memo;
}

SymbolValueMemo::Use::~Use() { walks().activeMemo = previous_; }

namespace {
size_t slotOf(const Symbol* symbol, size_t mask) {
  uint64_t key = reinterpret_cast<uintptr_t>(symbol);
  return static_cast<size_t>((key >> 3) * 0x9E3779B97F4A7C15ull >> 20) & mask;
}
}  // namespace

void SymbolValueMemo::grow() {
  std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2);
  old.swap(slots_);
  size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (!slot.symbol) continue;
    size_t index = slotOf(slot.symbol, mask);
    while (slots_[index].symbol) index = (index + 1) & mask;
    slots_[index] = slot;
  }
}

SymbolValueMemo::Entry& SymbolValueMemo::entry(const Symbol* symbol) {
  if (generation_ != symbolValueGeneration()) {
    slots_.clear();
    used_ = 0;
    generation_ = symbolValueGeneration();
  }
  if ((used_ + 1) * 2 > slots_.size()) grow();
  size_t mask = slots_.size() - 1;
  size_t index = slotOf(symbol, mask);
  while (slots_[index].symbol && slots_[index].symbol != symbol) index = (index + 1) & mask;
  Slot& slot = slots_[index];
  if (!slot.symbol) {
    slot.symbol = symbol;
    ++used_;
  }
  return slot.entry;
}

OrbaExpression* evaluateSymbolValue(Symbol* symbol) {
  if (!walksValue(symbol, kValue)) return TEError::kind16();
  DirectWalk& walk = walks().directWalks[kValue];
  DirectStep step(walk);
  if (SymbolValueMemo* memo = memoFor(walk)) return settledValue(symbol, *memo);
  symbol->valueVisit = true;
  OrbaExpression* value = symbol->valueExpression->evaluate();
  symbol->valueVisit = false;
  return value;
}

bool isSymbolValueRelocatable(Symbol* symbol) {
  if (symbol->isRelocatable()) return true;
  if (!walksValue(symbol, kRelocatable)) return false;
  DirectWalk& walk = walks().directWalks[kRelocatable];
  DirectStep step(walk);
  if (SymbolValueMemo* memo = memoFor(walk)) return settledRelocatable(symbol, *memo);
  symbol->valueVisit = true;
  bool relocatable = symbol->valueExpression->isRelocatable();
  symbol->valueVisit = false;
  return relocatable;
}
