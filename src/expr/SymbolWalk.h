// Questions asked of a symbol reference that are answered from the symbol's value
// expression, and through it from the symbols that value names: a chain of .EQU links
// of any length is followed without a stack frame per link and without a depth bound.
//
// A reference asks by plain recursion while the walk is shallow, so ordinary values
// are answered as they always were. Past kDirectDepth nested symbols (or kDirectSteps
// symbols in one walk) the walk settles the rest in a memo of its own: each symbol's
// answer once, after the answers of the symbols its value names, on a stack of the
// walk's own. The symbols on that stack are marked as being walked (Symbol::valueVisit)
// as the recursion would have marked them, so that a value leading back to one of them
// ends there as it would. A caller that asks about many symbols in a row while their
// values stay put keeps one memo for all of them (SymbolAnswers::Use), so that a chain
// asked about at each of its links is still followed once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "flow/Symbol.h"

class OrbaExpression;

// The symbols an expression names, not those inside their values, appended in the
// order of the tree's operands.
void collectNamedSymbols(OrbaExpression* expression, std::vector<Symbol*>& symbols,
                         std::vector<OrbaExpression*>& work);

size_t symbolAnswerSlot(const Symbol* symbol, size_t mask);

// The answers of one question, per symbol; emptied when a symbol value changed since
// they were given (noteSymbolValueChange), and on request.
template <typename Answer>
class SymbolAnswers {
 public:
  using Release = void (*)(Answer&);

  explicit SymbolAnswers(Release release = nullptr) : release_(release) {}
  ~SymbolAnswers() { clear(); }
  SymbolAnswers(const SymbolAnswers&) = delete;
  SymbolAnswers& operator=(const SymbolAnswers&) = delete;

  // Drops the answers when a symbol value changed since they were given.
  void refresh() {
    if (generation_ != symbolValueGeneration()) clear();
  }

  Answer* find(const Symbol* symbol) {
    if (slots_.empty()) return nullptr;
    size_t mask = slots_.size() - 1;
    for (size_t index = symbolAnswerSlot(symbol, mask); slots_[index].symbol; index = (index + 1) & mask)
      if (slots_[index].symbol == symbol) return &slots_[index].answer;
    return nullptr;
  }

  void store(const Symbol* symbol, Answer answer) {
    if (Answer* known = find(symbol)) {
      if (release_) release_(*known);
      *known = std::move(answer);
      return;
    }
    if ((used_ + 1) * 2 > slots_.size()) grow();
    size_t mask = slots_.size() - 1;
    size_t index = symbolAnswerSlot(symbol, mask);
    while (slots_[index].symbol) index = (index + 1) & mask;
    slots_[index].symbol = symbol;
    slots_[index].answer = std::move(answer);
    ++used_;
  }

  void clear() {
    if (release_)
      for (Slot& slot : slots_)
        if (slot.symbol) release_(slot.answer);
    slots_.clear();
    used_ = 0;
    generation_ = symbolValueGeneration();
  }

  size_t size() const { return used_; }

 private:
  struct Slot {
    const Symbol* symbol = nullptr;
    Answer answer{};
  };

  void grow() {
    std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2);
    old.swap(slots_);
    size_t mask = slots_.size() - 1;
    for (Slot& slot : old) {
      if (!slot.symbol) continue;
      size_t index = symbolAnswerSlot(slot.symbol, mask);
      while (slots_[index].symbol) index = (index + 1) & mask;
      slots_[index].symbol = slot.symbol;
      slots_[index].answer = std::move(slot.answer);
    }
  }

  Release release_;
  uint32_t generation_ = symbolValueGeneration();
  size_t used_ = 0;
  // Open addressing over a power-of-two table: a walk asks several times per symbol.
  std::vector<Slot> slots_;
};

// The walk of one question in progress: the memo it asks, the arguments that memo's
// answers hold for, and how deep the plain recursion has gone.
template <typename Answer, typename Key>
struct SymbolWalkState {
  SymbolAnswers<Answer>* memo = nullptr;
  Key key{};
  uint32_t depth = 0;
  uint32_t steps = 0;
  uint32_t settling = 0;  // settles in progress, which hold on to the memo's answers
  std::unique_ptr<SymbolAnswers<Answer>> own;
  typename SymbolAnswers<Answer>::Release release = nullptr;

  // Trades the walk in progress, not the memo's release, with another state.
  void exchangeWalk(SymbolWalkState& other) {
    std::swap(memo, other.memo);
    std::swap(key, other.key);
    std::swap(depth, other.depth);
    std::swap(steps, other.steps);
    std::swap(settling, other.settling);
    std::swap(own, other.own);
  }
};

namespace symbolwalk {

constexpr uint32_t kDirectDepth = 64;
constexpr uint32_t kDirectSteps = 4096;

// Settles the root's answer and those of the symbols its value leads to, each after the
// symbols its own value names. `walks` tells whether a reference to a symbol answers
// from the symbol's value; `fromValue` answers for a symbol marked as being walked,
// asking the memo about the symbols its value names.
template <typename Answer, typename Walks, typename FromValue>
void settle(Symbol* root, SymbolAnswers<Answer>& memo, Walks walks, FromValue fromValue) {
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
    size_t first = pending.size();
    collectNamedSymbols(symbol->valueExpression, pending, work);
    // The first operand is answered first, as the recursion would.
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  };

  enter(root);
  while (!frames.empty()) {
    if (pending.size() > frames.back().firstPending) {
      Symbol* next = pending.back();
      pending.pop_back();
      if (!next->valueVisit && next->valueExpression && walks(next) && !memo.find(next)) enter(next);
      continue;
    }
    Symbol* symbol = frames.back().symbol;
    Answer answer = fromValue(symbol);
    memo.store(symbol, std::move(answer));
    symbol->valueVisit = false;
    frames.pop_back();
  }
}

}  // namespace symbolwalk

// The answer for a reference to a symbol whose value the question walks into: the
// symbol has a value expression and is not being walked already. `fromValue` gives
// the answer from the value, with the symbol marked as being walked; `walks` tells,
// for the symbols the value names, whether their answers come from their values too.
// Answers taken from a memo are copies (`copy`), so that a caller may own what it is
// given.
template <typename Answer, typename Key, typename Walks, typename FromValue, typename Copy>
Answer askThroughValue(Symbol* symbol, SymbolWalkState<Answer, Key>& state, const Key& key, Walks walks,
                       FromValue fromValue, Copy copy) {
  if (state.memo && !(state.key == key)) {
    // The same question with other arguments, asked inside a walk: a walk of its own.
    SymbolWalkState<Answer, Key> outer;
    outer.exchangeWalk(state);
    Answer answer = askThroughValue(symbol, state, key, walks, fromValue, copy);
    outer.exchangeWalk(state);
    return answer;
  }
  struct Settling {
    uint32_t& count;
    explicit Settling(uint32_t& settling) : count(++settling) {}
    ~Settling() { --count; }
  };
  if (state.memo) {
    // Between walks a memo kept for many of them drops what a changed value outdated.
    if (state.settling == 0 && state.depth == 0) state.memo->refresh();
    if (Answer* known = state.memo->find(symbol)) return copy(*known);
    Settling settling(state.settling);
    symbolwalk::settle(symbol, *state.memo, walks, fromValue);
    return copy(*state.memo->find(symbol));
  }
  struct Step {
    SymbolWalkState<Answer, Key>& state;
    explicit Step(SymbolWalkState<Answer, Key>& walkState) : state(walkState) {
      if (state.depth++ == 0) state.steps = 0;
      ++state.steps;
    }
    ~Step() {
      if (--state.depth != 0 || !state.own) return;
      state.memo = nullptr;
      state.own.reset();
    }
  } step(state);
  if (state.depth > symbolwalk::kDirectDepth || state.steps > symbolwalk::kDirectSteps) {
    state.own = std::make_unique<SymbolAnswers<Answer>>(state.release);
    state.memo = state.own.get();
    state.key = key;
    Settling settling(state.settling);
    symbolwalk::settle(symbol, *state.memo, walks, fromValue);
    return copy(*state.memo->find(symbol));
  }
  symbol->valueVisit = true;
  Answer answer = fromValue(symbol);
  symbol->valueVisit = false;
  return answer;
}

// Makes a memo the one that a question's walks ask while it lasts, for a caller that
// asks about many symbols in a row while their values stay put. Its answers go when a
// symbol value changes; a walk in progress keeps the memo it started with.
template <typename Answer, typename Key>
class SymbolAnswersUse {
 public:
  SymbolAnswersUse(SymbolWalkState<Answer, Key>& state, SymbolAnswers<Answer>& memo, const Key& key)
      : state_(state), active_(!state.memo && state.depth == 0) {
    if (!active_) return;
    memo.refresh();
    state_.memo = &memo;
    state_.key = key;
  }
  ~SymbolAnswersUse() {
    if (active_) state_.memo = nullptr;
  }
  SymbolAnswersUse(const SymbolAnswersUse&) = delete;
  SymbolAnswersUse& operator=(const SymbolAnswersUse&) = delete;

 private:
  SymbolWalkState<Answer, Key>& state_;
  bool active_;
};
