// Value holders: one field value of a record, as a text, an expression, or up to two
// numbers whose meaning the holding record gives. A holder owns its text buffer and
// one reference of its expression; clearing or overwriting it gives both back.
#pragma once

#include <cstdint>

struct ExprNode;
struct StrBuf;

inline constexpr uint32_t IOS_VALUE_UNSET = 0xFFFFFFFFu;

struct IosValue {
  StrBuf* text;
  ExprNode* expression;
  uint32_t number1;  // IOS_VALUE_UNSET = unset
  uint32_t number2;
};

// The empty holder {null, null, unset, unset}; frees nothing.
void ios_value_init(IosValue* value);
// Gives back the text and the expression's reference and unsets the numbers.
IosValue* ios_value_clear(IosValue* value);
// Clears the destination, then gives it its own copy of the source's text and
// expression and the two numbers. A part whose copy cannot be made stays null.
// Copying a holder onto itself therefore leaves it empty.
IosValue* ios_value_copy(IosValue* destination, const IosValue* source);

// A four-word record keyed by its first word: the key, the third and fourth words
// cleared, the second left as it is.
void ios_slot_init(uint32_t* record, uint32_t key);
void ios_slot_init_entry(uint32_t* record, uint32_t key);
