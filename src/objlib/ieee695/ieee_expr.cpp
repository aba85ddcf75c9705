#include "objlib/ieee695/ieee_expr.h"

#include <cinttypes>
#include <cstdio>

#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_access.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_section.h"
#include "objlib/ios_symbol.h"

namespace {

struct OperatorCode {
  int32_t kind;
  uint8_t codes[2];  // the second 0 when one code
  uint8_t operands[4];  // 1-based operand numbers in writing order, 0 ends
};

// Kinds of the expression library and the IEEE-695 function codes written for them.
constexpr OperatorCode kOperatorCodes[] = {
    {2, {0xA1, 0}, {0}},          {3, {0xA0, 0}, {0}},          {4, {0xA2, 0}, {1}},
    {5, {0xA5, 0}, {1, 2}},       {6, {0xB0, 0}, {1, 2}},       {7, {0xA4, 0}, {1}},
    {8, {0xA7, 0}, {1, 2}},       {9, {0xB0, 0}, {1, 2}},       {10, {0xB1, 0}, {1, 2}},
    {11, {0xA9, 0}, {1, 2}},      {12, {0xAB, 0}, {1, 2}},      {13, {0xAA, 0}, {1, 2}},
    {14, {0xA8, 0}, {1, 2}},      {15, {0xA3, 0}, {1}},         {16, {0xA4, 0}, {1}},
    {17, {0xB1, 0}, {1, 2}},      {18, {0x90, 0}, {1, 2}},      {19, {0x91, 0}, {1, 2}},
    {21, {0xA6, 0}, {1, 2}},      {22, {0xB2, 0}, {1, 2}},      {23, {0xAE, 0}, {1, 2}},
    {24, {0xAF, 0}, {1, 2}},      {25, {0xAD, 0xA4}, {1, 2}},   {26, {0xAC, 0xA4}, {1, 2}},
    {27, {0xAD, 0}, {1, 2}},      {28, {0xAC, 0}, {1, 2}},      {34, {0xB5, 0}, {2, 1, 3}},
    {402, {0x92, 0}, {1, 2, 3, 4}}, {403, {0x93, 0}, {1}},      {404, {0x94, 0}, {1, 2}},
    {405, {0x95, 0}, {1}},        {410, {0x9A, 0}, {0}},        {411, {0x9B, 0}, {0}},
    {415, {0x9F, 0}, {1, 2}},     {435, {0xB3, 0}, {2, 1, 3}},  {436, {0xB4, 0}, {1, 2, 3, 4}},
    {441, {0xB9, 0}, {1}},        {446, {0xBE, 0}, {0}},        {447, {0xBF, 0}, {0}},
};

const OperatorCode* find_operator(int32_t kind) {
  for (const OperatorCode& entry : kOperatorCodes) {
    if (entry.kind == kind) return &entry;
  }
  return nullptr;
}

// Letters that a reference may stand for and the byte written for each.
uint8_t reference_letter(const IeeeWriter* writer, uint32_t letter) {
  switch (letter) {
    case 0xC7: case 0xC9: case 0xCC: case 0xCE: case 0xCF:
    case 0xD0: case 0xD3: case 0xD4: case 0xD7: case 0xD8:
      return static_cast<uint8_t>(letter);
    case 0xD2:
      return writer != nullptr && writer->current_part == 3 && writer->object_kind == 4 ? 0xCC : 0xD2;
    default:
      return 0;
  }
}

int encode_name_text(IeeeWriter* writer, StrBuf* buffer, const char* text) {
  long number = 0;
  switch (text[0]) {
    case 'N':
      if (std::sscanf(text, "N%ld", &number) != 1) return 0;
      if (writer == nullptr) return 0;
      if (IeeeNameEntry* entry = ieee_find_cached_record_alt(
              writer, IosHandle{writer->file_id, static_cast<uint32_t>(number)})) {
        if (ieee_put_letter_n(buffer) != 0) return -1;
        return ieee_encode_number(buffer, entry->index);
      }
      return 0;
    case 'S':
      if (std::sscanf(text, "S%ld", &number) != 1) return 0;
      if (ieee_put_letter_n(buffer) != 0) return -1;
      return ieee_encode_number(buffer, number);
    case 'T': {
      if (std::sscanf(text, "T%ld", &number) != 1 || writer == nullptr || number < 0 || number > long{UINT32_MAX}) {
        return 0;
      }
      IeeeTypeRecord* record = ieee_find_type_record(
          writer, TypeHandle{writer->file_id, writer->debug_root_id, static_cast<uint32_t>(number)});
      if (record == nullptr) return 0;
      if (ieee_put_letter_t(buffer) != 0) return -1;
      return ieee_encode_number(buffer, static_cast<int64_t>(record->index));
    }
    default:
      return 0;
  }
}

int encode_value(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node) {
  if (node->value_type == EXPR_TYPE_STRING) {
    const ExprValueObject* value = node->payload.string;
    if (value == nullptr || value->text == nullptr) return 0;
    return encode_name_text(writer, buffer, value->text);
  }
  const unsigned char* bytes = expr_value_bytes(node);
  uint64_t low = 0;
  for (int i = 7; i >= 0; --i) low = (low << 8) | bytes[i];
  uint32_t width = node->context != nullptr ? node->context->int_width : 8;
  for (uint32_t i = 8; i < width; ++i) {
    if (bytes[i] != 0 && bytes[i] != 0xFF && node->context != nullptr) {
      node->context->error = EXPR_ERR_OPERAND_TRUNCATED;
    }
  }
  return ieee_encode_number(buffer, static_cast<int64_t>(low));
}

int encode_node(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node, uint32_t depth);

int encode_slot(IeeeWriter* writer, StrBuf* buffer, const ExprSlotRef& reference, uint32_t depth) {
  uint32_t slot = reference.index;
  if (writer != nullptr && writer->object_kind == 4) {
    ExprLibContext* context = reference.context;
    if (ExprNode* held = expr_slot_expression(context, slot)) return encode_node(writer, buffer, held, depth + 1);
  }
  IeeeLetterRecord* record = ieee_encode_operand_refs(writer, slot);
  if (record == nullptr) return 0;
  uint8_t letter = reference_letter(writer, record->letter);
  if (letter == 0) return 0;
  if (ieee_buf_put_byte(buffer, letter) != 0) return -1;
  return ieee_encode_number(buffer, static_cast<int64_t>(record->index));
}

int encode_reference(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node, uint32_t depth) {
  return encode_slot(writer, buffer, node->payload.slot, depth);
}

int encode_node(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node, uint32_t depth) {
  if (node == nullptr) return 0;
  // Trees this deep are cycles through slots; they have no encoding.
  if (depth > 4000) return -1;
  if (node->kind == EXPR_VALUE) return encode_value(writer, buffer, node);
  if (node->kind == EXPR_SLOT_REF) return encode_reference(writer, buffer, node, depth);
  if (node->kind == EXPR_LIST) {
    for (uint32_t i = 0; i < expr_operand_count(node); ++i) {
      if (encode_node(writer, buffer, expr_operand(node, i), depth + 1) != 0) return -1;
    }
    return 0;
  }
  if (node->kind == EXPR_COND) {
    using PutCode = int (*)(StrBuf*);
    static constexpr PutCode kCodes[3] = {ieee_put_code_b6, ieee_put_code_b7, ieee_put_code_b8};
    for (uint32_t i = 0; i < 3; ++i) {
      if (encode_node(writer, buffer, expr_operand(node, i), depth + 1) != 0) return -1;
      if (kCodes[i](buffer) != 0) return -1;
    }
    return 0;
  }
  const OperatorCode* entry = find_operator(node->kind);
  if (entry == nullptr || entry->kind == 410 || entry->kind == 411 || entry->kind == 446 ||
      entry->kind == 447) {
    return 0;
  }
  for (uint8_t operand : entry->operands) {
    if (operand == 0) break;
    if (encode_node(writer, buffer, expr_operand(node, operand - 1u), depth + 1) != 0) return -1;
  }
  for (uint8_t code : entry->codes) {
    if (code == 0) break;
    if (ieee_buf_put_byte(buffer, code) != 0) return -1;
  }
  return 0;
}

// The reference to search next for a symbol that has no variable of its own: the
// symbol it stands for (an alias leads the lookup to its target's slot); for a
// section's own symbol, the section's address; for a symbol whose value is nothing
// but another reference, that reference. 0 when the symbol reaches nothing further.
uint32_t reaching_reference(const IosSymbol* record, uint32_t slot) {
  if (record->slot.index != slot && record->slot.index != 0) return record->slot.index;
  if ((record->flags & IOS_SYMBOL_TYPE_MASK) == IOS_SYMBOL_SECTION && record->section.object_id != 0) {
    IosSection* section = nullptr;
    if (ios_get_section(record->section, &section, nullptr) == 0 && section != nullptr) {
      return section->address_slot.index;
    }
  }
  ExprNode* value = nullptr;
  if (record->slot.index != 0 && ios_location_get(record->slot, &value, nullptr) == 0 && value != nullptr &&
      value->kind == EXPR_SLOT_REF) {
    return value->payload.slot.index;
  }
  return 0;
}

bool same_reference(const IeeeLetterRecord* record, uint32_t slot) {
  return record != nullptr && record->reference != 0 && record->reference == slot;
}

}  // namespace

uint32_t ieee_operator_code(int32_t kind) {
  if (kind == 4) return 0;  // written by the encoder only
  const OperatorCode* entry = find_operator(kind);
  return entry != nullptr ? entry->codes[0] : 0;
}

int ieee_encode_number(StrBuf* buffer, int64_t value) {
  if (value >= 0 && value < 128) return ieee_buf_put_byte(buffer, static_cast<uint8_t>(value));
  uint64_t bits = value < 0 ? static_cast<uint32_t>(value) : static_cast<uint64_t>(value);
  uint8_t count = 8;
  while (count > 1 && (bits >> ((count - 1) * 8)) == 0) --count;
  if (ieee_buf_put_byte(buffer, static_cast<uint8_t>(0x80 + count)) != 0) return -1;
  for (int i = count - 1; i >= 0; --i) {
    if (ieee_buf_put_byte(buffer, static_cast<uint8_t>(bits >> (i * 8))) != 0) return -1;
  }
  return 0;
}

int ieee_encode_expression(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node) {
  if (buffer == nullptr) return -1;
  return encode_node(writer, buffer, node, 0);
}

int ieee_encode_section_offset(IeeeWriter* writer, StrBuf* buffer, const ExprSlotRef& base, uint32_t offset) {
  if (buffer == nullptr) return -1;
  // Written as the sum base + offset is: its operands in the operator's order (the
  // sum at depth 0, its operands below it), then the operator's codes.
  const OperatorCode* entry = find_operator(EXPR_ADD);
  for (uint8_t operand : entry->operands) {
    if (operand == 0) break;
    int status = operand == 1 ? encode_slot(writer, buffer, base, 1)
                              : ieee_encode_number(buffer, static_cast<int64_t>(offset));
    if (status != 0) return -1;
  }
  for (uint8_t code : entry->codes) {
    if (code == 0) break;
    if (ieee_buf_put_byte(buffer, code) != 0) return -1;
  }
  return 0;
}

IeeeLetterRecord* ieee_encode_operand_refs(IeeeWriter* writer, uint32_t slot_index) {
  if (writer == nullptr || slot_index == 0) return nullptr;
  uint32_t slot = slot_index;
  // An alias leads to the symbol it stands for; a short walk ends any cycle.
  for (int hops = 0; hops < 16; ++hops) {
    if (same_reference(writer->letter_cache, slot)) return writer->letter_cache;
    if (writer->current_name != nullptr && same_reference(writer->current_name->record, slot)) {
      return writer->letter_cache = writer->current_name->record;
    }
    if (IeeeSectionEntry* entry = writer->current_section) {
      for (int i : {0, 2, 1, 3}) {
        if (same_reference(entry->records[i], slot)) return writer->letter_cache = entry->records[i];
      }
    }
    auto found = writer->by_reference.find(slot);
    if (found != writer->by_reference.end()) return writer->letter_cache = found->second;
    IosHandle symbol{0, 0};
    if (ios_symbol_find_by_slot(writer->file_id, slot, &symbol, nullptr) != 0) return nullptr;
    IosSymbol* record = nullptr;
    if (ios_get_symbol(symbol, &record, nullptr) != 0 || record == nullptr) return nullptr;
    uint32_t next = reaching_reference(record, slot);
    if (next == 0 || next == slot) return nullptr;
    slot = next;
  }
  return nullptr;
}

int ieee_put_letter_n(StrBuf* buffer) { return ieee_buf_put_byte(buffer, 0xCE); }
int ieee_put_letter_t(StrBuf* buffer) { return ieee_buf_put_byte(buffer, 0xD4); }
int ieee_put_code_b6(StrBuf* buffer) { return ieee_buf_put_byte(buffer, 0xB6); }
int ieee_put_code_b7(StrBuf* buffer) { return ieee_buf_put_byte(buffer, 0xB7); }
int ieee_put_code_b8(StrBuf* buffer) { return ieee_buf_put_byte(buffer, 0xB8); }

int ieee_encode_expression_buffer(IosValue* target, IeeeWriter* writer) {
  if (target == nullptr || target->expression == nullptr) return 0;
  if (target->text == nullptr) target->text = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (target->text == nullptr) return -1;
  return ieee_encode_expression(writer, target->text, target->expression);
}

int ieee_value_encode(IeeeWriter* writer, IosValue* value, uint32_t* error) {
  if (value->expression == nullptr) {
    if (error != nullptr) *error = 8;
    return 1;
  }
  if (ieee_encode_expression_buffer(value, writer) != 0) {
    if (error != nullptr) *error = 5;
    return 1;
  }
  return 0;
}

uint32_t ieee_value_from_expression(IeeeWriter* writer, uint32_t* error) {
  // The argument is taken before encoding, which moves the letter cache.
  IeeeLetterRecord* argument = writer != nullptr ? writer->letter_cache : nullptr;
  IeeeRecord* record = writer != nullptr ? writer->current : nullptr;
  auto* holder = record != nullptr && record->body != nullptr
                     ? static_cast<IosValue*>(ieee_body_field_address(record->body, record->type, IeeeField::Value))
                     : nullptr;
  if (argument == nullptr || argument->value.expression == nullptr || holder == nullptr) {
    if (error != nullptr) *error = 8;
    return 1;
  }
  uint32_t scratch = 0;
  return ieee_set_encoded(writer, holder, argument->value.expression, error != nullptr ? error : &scratch);
}

void ios_set_attached_list(IeeeLetterRecord* record, StrBuf* buffer) {
  if (record == nullptr || buffer == nullptr || record->value.text == buffer) return;
  ieee_buf_free(record->value.text);
  record->value.text = buffer;
}

ExprNode* ieee_fold_expressions(const ExprNode* list) {
  uint32_t count = list != nullptr ? expr_operand_count(list) : 0;
  if (count == 0) return nullptr;
  ExprNode* result = expr_operand(list, 0);
  ++result->ref_count;
  IeeeWriter* writer = ieee_current_writer();
  ExprLibContext* context = writer != nullptr ? writer->expression_context : nullptr;
  for (uint32_t i = 1; i < count; ++i) {
    ExprNode* folded = nullptr;
    if (context == nullptr ||
        objexpr_make_operator(context, &folded, EXPR_LT, 2, result, expr_operand(list, i)) != 0) {
      expr_release(result);
      return nullptr;
    }
    expr_release(result);
    result = folded;
  }
  return result;
}
