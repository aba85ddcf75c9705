// String leaf: the text is a NUL-terminated copy held in the "TEString" pool and may
// contain NUL bytes of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "expr/OrbaExpression.h"
#include "util/RunState.h"

class TEString : public OrbaExpression {
 public:
  // A new node with its own copy of the length bytes (parser literals, concatenation).
  static TEString* create(const char* text, uint32_t length);
  // The one interned node for the text, made when absent.
  static TEString* intern(const char* text, uint32_t length);
  // intern() of a NUL-terminated text that stays in place for the whole run (a name in
  // the instruction tables): found again by its address alone.
  static TEString* internFixed(const char* text) {
    FixedTexts& fixed = fixedTexts();
    if (fixed.slots) {
      for (size_t index = fixedHome(text, fixed.mask); fixed.slots[index].text; index = (index + 1) & fixed.mask)
        if (fixed.slots[index].text == text) return fixed.slots[index].node;
    }
    return internNewFixed(text);
  }
  // Empties the interning table when the expression pool is replaced.
  static void forgetInterned();

  ~TEString() override;
  // The node itself is never given back; only its text is.
  static void* operator new(size_t size) noexcept { return OrbaExpression::operator new(size); }
  static void operator delete(void*, size_t) {}

  bool isShared() const override { return true; }
  bool isValue() const override { return true; }
  const char* getString() const override { return text_; }
  uint32_t getStringLength() const override { return length_; }
  uint32_t getKind() const override { return EK_string; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return intern(text_, length_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

 private:
  // The nodes of fixed texts by address: open addressing over a power-of-two array that is
  // kept at most half full; null while it is empty.
  struct FixedText {
    const char* text;
    TEString* node;
  };
  struct FixedTexts {
    std::vector<FixedText> table;
    FixedText* slots = nullptr;  // table.data(), null while the table is empty
    size_t mask = 0;
    size_t count = 0;
  };
  static FixedTexts& fixedTexts() { return runPart<FixedTexts>(); }
  static size_t fixedHome(const char* text, size_t mask) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(text) * 0x9E3779B97F4A7C15ull) >> 40) & mask;
  }
  static TEString* internNewFixed(const char* text);

  TEString(char* text, uint32_t length) : text_(text), length_(length) {}
  char* text_;
  uint32_t length_;
};
