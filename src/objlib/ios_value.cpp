#include "objlib/ios_value.h"

#include "objlib/expr_values.h"
#include "objlib/exprlib.h"
#include "objlib/ios_strbuf.h"

void ios_value_init(IosValue* value) {
  if (value == nullptr) return;
  *value = IosValue{nullptr, nullptr, IOS_VALUE_UNSET, IOS_VALUE_UNSET};
}

IosValue* ios_value_clear(IosValue* value) {
  if (value == nullptr) return nullptr;
  strbuf_free(value->text);
  value->text = nullptr;
  expr_release(value->expression);
  value->expression = nullptr;
  value->number1 = IOS_VALUE_UNSET;
  value->number2 = IOS_VALUE_UNSET;
  return value;
}

IosValue* ios_value_copy(IosValue* destination, const IosValue* source) {
  if (destination == nullptr) return nullptr;
  ios_value_clear(destination);
  if (source == nullptr) return destination;
  if (source->text != nullptr) destination->text = strbuf_dup(source->text);
  if (source->expression != nullptr) destination->expression = expr_copy(source->expression);
  destination->number1 = source->number1;
  destination->number2 = source->number2;
  return destination;
}

void ios_slot_init(uint32_t* record, uint32_t key) {
  if (record == nullptr) return;
  record[0] = key;
  record[2] = 0;
  record[3] = 0;
}

void ios_slot_init_entry(uint32_t* record, uint32_t key) { ios_slot_init(record, key); }
