// Answers about symbol values kept for reuse, so that a walk follows each symbol's
// value once instead of following a chain of symbols again from every symbol on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class OrbaExpression;
class Symbol;

class SymbolValueMemo {
 public:
  SymbolValueMemo() = default;
  SymbolValueMemo(const SymbolValueMemo&) = delete;
  SymbolValueMemo& operator=(const SymbolValueMemo&) = delete;

  // Makes a memo the one symbol evaluations consult while it lasts. Meant for a caller
  // that evaluates many symbols in a row while their values stay put; a value changed
  // meanwhile (noteSymbolValueChange) empties the memo.
  class Use {
   public:
    explicit Use(SymbolValueMemo& memo);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

   private:
    SymbolValueMemo* previous_;
  };

  // Keeps the memo that a walk makes when it goes deep until the hold ends, so that
  // the walks after it in the same piece of work ask it instead of following the
  // chain again. Meant for a walk that asks at each symbol of a chain about the rest.
  class Hold {
   public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
  };

  struct Entry {
    OrbaExpression* value = nullptr;  // the evaluated value; null until asked
    int8_t relocatable = -1;          // 0 or 1; -1 until asked
  };

  // The entry of a symbol, made empty when missing; the whole memo is emptied first
  // when a symbol value changed since it was filled.
  Entry& entry(const Symbol* symbol);
  size_t size() const { return used_; }

 private:
  struct Slot {
    const Symbol* symbol = nullptr;
    Entry entry;
  };

  void grow();

  uint32_t generation_ = 0;
  size_t used_ = 0;
  // Open addressing over a power-of-two table: a walk asks several times per symbol.
  std::vector<Slot> slots_;
};

// The value a reference to the symbol evaluates to, and whether it is relocatable.
// Both follow a chain of symbol values of any length without recursing per link: past
// a few levels, or inside a memo in use, each symbol's value is settled once, the
// symbols it names first, on a stack of the walk's own.
OrbaExpression* evaluateSymbolValue(Symbol* symbol);
bool isSymbolValueRelocatable(Symbol* symbol);
