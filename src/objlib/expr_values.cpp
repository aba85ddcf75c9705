#include "objlib/expr_values.h"

#include <cmath>
#include <cstring>

#include "objlib/expr_arith.h"
#include "objlib/expr_eval.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_strbuf.h"

namespace {

constexpr uint32_t USER_OPERATOR_STEP = 100;
// Fractions are read to at most this many bytes; a double holds no more.
constexpr uint32_t FRACTION_DOUBLE_BYTES = 20;

int fail(ExprLibContext* context, uint32_t code) {
  if (context != nullptr) context->error = code;
  return 1;
}

bool holdsOperandList(int32_t kind) {
  return kind != EXPR_VALUE && kind != EXPR_SLOT_REF && kind != EXPR_CONVERT &&
         kind != EXPR_DEFERRED;
}

// A new value leaf whose first bytes are given and the rest filled.
int newInteger(ExprLibContext* context, ExprNode** node, uint32_t type, uint16_t width,
               const uint8_t* bytes, uint32_t count, uint8_t fill) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->value_type = type;
  made->width = width;
  unsigned char* value = expr_value_bytes(made);
  uint32_t n = context->int_width;
  if (count > n) count = n;
  if (count != 0) std::memcpy(value, bytes, count);
  for (uint32_t i = count; i < n; ++i) value[i] = fill;
  *node = made;
  return 0;
}

int newFromBits(ExprLibContext* context, ExprNode** node, const uint8_t* bytes, uint32_t width,
                bool isSigned) {
  if (context == nullptr) return 1;
  if (width > 8 * context->int_width) return fail(context, EXPR_ERR_WIDTH_TOO_LARGE);
  if (bytes == nullptr && width >= 7) return fail(context, EXPR_ERR_BAD_OPERANDS);
  // (w + 1) / 8 bytes, not (w + 7) / 8: widths of 8n - 1 bits and up fill n bytes.
  uint32_t count = (width + 1) / 8;
  uint8_t fill = 0x00;
  if (isSigned && count != 0 && bytes[count - 1] > 127) fill = 0xFF;
  return newInteger(context, node, isSigned ? EXPR_TYPE_SIGNED : EXPR_TYPE_UNSIGNED,
                    static_cast<uint16_t>(width), bytes, count, fill);
}

uint32_t fractionBytes(const ExprNode* node) {
  uint32_t count = node->width / 8u;
  uint32_t room = expr_value_capacity(node->context);
  return count < room ? count : room;
}

// Two's complement of a most-significant-first byte array.
void negateMsbFirst(unsigned char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
  for (uint32_t i = count; i-- > 0;) {
    if (++bytes[i] != 0) break;
  }
}

// Two's complement of a least-significant-first byte array.
void negateLsbFirst(unsigned char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
  for (uint32_t i = 0; i < count; ++i) {
    if (++bytes[i] != 0) break;
  }
}

void writeDouble(ExprNode* node, double value) { std::memcpy(expr_value_bytes(node), &value, 8); }

double readDouble(const ExprNode* node) {
  double value;
  std::memcpy(&value, expr_value_bytes(node), 8);
  return value;
}

// Copies can nest as deep as the trees the evaluator accepts, and no deeper.
ExprNode* copyTree(const ExprNode* node, uint32_t depth);

bool appendCopies(const ExprNode* source, ExprNode* destination, bool share, uint32_t depth) {
  ExprLibContext* context = destination->context;
  ExprOperandList& list = destination->payload.operands;
  for (const ExprLink* link = source->payload.operands.head; link != nullptr; link = link->next) {
    ExprNode* operand = link->operand;
    if (share) {
      ++operand->ref_count;
    } else {
      operand = copyTree(operand, depth + 1);
      if (operand == nullptr) return false;
    }
    auto* made = static_cast<ExprLink*>(pool_block_alloc_zeroed(context->link_pool));
    if (made == nullptr) {
      expr_release(operand);
      context->error = EXPR_ERR_NO_MEMORY;
      return false;
    }
    made->operand = operand;
    if (list.tail != nullptr) {
      list.tail->next = made;
    } else {
      list.head = made;
    }
    list.tail = made;
  }
  return true;
}

ExprNode* copyTree(const ExprNode* node, uint32_t depth) {
  if (node == nullptr || depth > EXPR_EVAL_DEPTH_LIMIT) return nullptr;
  ExprLibContext* context = node->context;
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return nullptr;
  switch (node->kind) {
    case EXPR_VALUE:
      if (expr_copy_value(made, node) != 0) {
        expr_release(made);
        return nullptr;
      }
      return made;
    case EXPR_SLOT_REF:
      made->kind = EXPR_SLOT_REF;
      made->payload.slot = node->payload.slot;
      return made;
    case EXPR_DEFERRED: {
      ExprNode* child = copyTree(node->payload.deferred.operand, depth + 1);
      if (child == nullptr && node->payload.deferred.operand != nullptr) {
        expr_release(made);
        return nullptr;
      }
      made->kind = node->kind;
      made->value_type = node->value_type;
      made->width = node->width;
      made->payload.deferred = ExprDeferred{node->payload.deferred.tag, child};
      return made;
    }
    case EXPR_CONVERT: {
      // The copy holds its child with the one reference the child was made with, as
      // every other holder does; a second one would keep the child alive forever.
      ExprNode* child = copyTree(node->payload.held, depth + 1);
      if (child == nullptr && node->payload.held != nullptr) {
        expr_release(made);
        return nullptr;
      }
      made->kind = EXPR_CONVERT;
      made->value_type = node->value_type;
      made->payload.held = child;
      return made;
    }
    default:
      made->kind = node->kind;
      made->value_type = node->value_type;
      made->width = node->width;
      if (!appendCopies(node, made, false, depth)) {
        expr_release(made);
        return nullptr;
      }
      return made;
  }
}

int replaceOperands(const ExprNode* source, ExprNode* destination, bool share) {
  if (source == nullptr || destination == nullptr) return 1;
  ExprLibContext* context = destination->context;
  if (!holdsOperandList(source->kind) || !holdsOperandList(destination->kind) ||
      source->context != context) {
    return fail(context, EXPR_ERR_WRONG_KIND);
  }
  if (source == destination) return share ? 0 : fail(context, EXPR_ERR_WRONG_KIND);
  expr_release_operands(destination);
  return appendCopies(source, destination, share, 0) ? 0 : 1;
}

bool allBytes(const unsigned char* bytes, uint32_t from, uint32_t to, unsigned char value) {
  for (uint32_t i = from; i < to; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

}  // namespace

// ---- Constructors ----

int expr_new_integer32(ExprLibContext* context, ExprNode** node, int32_t value) {
  uint8_t bytes[4];
  auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  return newInteger(context, node, EXPR_TYPE_SIGNED, 32, bytes, 4, value < 0 ? 0xFF : 0x00);
}

int expr_new_signed8(ExprLibContext* context, ExprNode** node, int8_t value) {
  auto byte = static_cast<uint8_t>(value);
  return newInteger(context, node, EXPR_TYPE_SIGNED, 8, &byte, 1, value < 0 ? 0xFF : 0x00);
}

int expr_new_unsigned32(ExprLibContext* context, ExprNode** node, uint32_t value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return newInteger(context, node, EXPR_TYPE_UNSIGNED, 32, bytes, 4, 0x00);
}

int expr_new_unsigned16(ExprLibContext* context, ExprNode** node, uint16_t value) {
  uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  return newInteger(context, node, EXPR_TYPE_UNSIGNED, 16, bytes, 2, 0x00);
}

int expr_new_unsigned8(ExprLibContext* context, ExprNode** node, uint8_t value) {
  return newInteger(context, node, EXPR_TYPE_UNSIGNED, 8, &value, 1, 0x00);
}

int expr_new_signed_bits(ExprLibContext* context, ExprNode** node, const uint8_t* bytes,
                         uint32_t width) {
  return newFromBits(context, node, bytes, width, true);
}

int expr_new_unsigned_bits(ExprLibContext* context, ExprNode** node, const uint8_t* bytes,
                           uint32_t width) {
  return newFromBits(context, node, bytes, width, false);
}

int expr_new_double(ExprLibContext* context, ExprNode** node, double value) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->value_type = EXPR_TYPE_DOUBLE;
  made->width = 64;
  writeDouble(made, value);
  *node = made;
  return 0;
}

int expr_new_fraction(ExprLibContext* context, ExprNode** node, double value,
                      uint32_t byte_count) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  if (byte_count > context->int_width) return fail(context, EXPR_ERR_WIDTH_TOO_LARGE);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  if (expr_set_fract_from_double(made, byte_count, value) != 0) {
    expr_release(made);
    return 1;
  }
  *node = made;
  return 0;
}

int ieee_make_expression_node(ExprLibContext* context, ExprNode** node, StrBuf* text) {
  if (context == nullptr) return 1;
  if (node == nullptr || text == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  const char* characters = strbuf_c_str(text);
  size_t length = strbuf_length(text);
  if (length + 1 > UINT16_MAX) return fail(context, EXPR_ERR_WIDTH_TOO_LARGE);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  ExprValueObject* value = expr_new_value(context);
  if (value == nullptr ||
      expr_value_set_text(context, value, characters != nullptr ? characters : "") != 0) {
    expr_release(made);
    return fail(context, EXPR_ERR_NO_MEMORY);
  }
  made->value_type = EXPR_TYPE_STRING;
  made->width = static_cast<uint16_t>(length + 1);
  made->payload.string = value;
  *node = made;
  return 0;
}

// ---- Writing values ----

int expr_set_integer64(ExprNode* node, uint32_t low, uint32_t high, int unsigned_flag) {
  if (node == nullptr) return 0;
  expr_drop_payload(node);
  unsigned char* bytes = expr_value_bytes(node);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(low >> (8 * i));
    bytes[4 + i] = static_cast<unsigned char>(high >> (8 * i));
  }
  unsigned char fill = unsigned_flag == 0 && (high & 0x80000000u) != 0 ? 0xFF : 0x00;
  for (uint32_t i = 8; i < node->context->int_width; ++i) bytes[i] = fill;
  return 0;
}

int expr_assign_value(ExprNode* destination, const ExprNode* source) {
  if (destination == nullptr || source == nullptr) return 1;
  if (source->kind != EXPR_VALUE) return fail(destination->context, EXPR_ERR_WRONG_KIND);
  if (destination == source) return 0;
  // The source may hang below the destination: hold it while the old payload goes.
  auto* held = const_cast<ExprNode*>(source);
  ++held->ref_count;
  expr_drop_payload(destination);
  int status = expr_copy_value(destination, source);
  expr_release(held);
  return status;
}

ExprNode* expr_copy(const ExprNode* node) { return copyTree(node, 0); }

int expr_share_operands(const ExprNode* source, ExprNode* destination) {
  return replaceOperands(source, destination, true);
}

int expr_copy_operands(const ExprNode* source, ExprNode* destination) {
  return replaceOperands(source, destination, false);
}

// ---- Conversions ----

int expr_fraction_to_double(ExprNode* destination, const ExprNode* fraction) {
  if (destination == nullptr || fraction == nullptr) return 1;
  uint32_t count = fractionBytes(fraction);
  if (count > FRACTION_DOUBLE_BYTES) count = FRACTION_DOUBLE_BYTES;
  // Negation works on a copy: the source keeps its value.
  unsigned char bytes[FRACTION_DOUBLE_BYTES] = {};
  if (count != 0) std::memcpy(bytes, expr_value_bytes(fraction), count);
  double result = 0.0;
  if (count != 0 && bytes[0] == 0x80 && allBytes(bytes, 1, count, 0x00)) {
    result = -1.0;
  } else if (count != 0) {
    bool negative = bytes[0] > 127;
    if (negative) negateMsbFirst(bytes, count);
    double weight = 1.0 / 128.0;
    for (uint32_t i = 0; i < count; ++i, weight /= 256.0) result += bytes[i] * weight;
    if (negative) result = -result;
  }
  expr_drop_payload(destination);
  destination->value_type = EXPR_TYPE_DOUBLE;
  destination->width = 64;
  writeDouble(destination, result);
  return 0;
}

int expr_integer_to_double(ExprNode* destination, const ExprNode* integer) {
  if (destination == nullptr || integer == nullptr) return 1;
  uint32_t n = integer->context->int_width;
  const unsigned char* source = expr_value_bytes(integer);
  bool negative = integer->value_type == EXPR_TYPE_SIGNED && (source[n - 1] & 0x80) != 0;
  double result = 0.0;
  double weight = 1.0;
  // The magnitude of a negative value is summed from its complement, byte by byte,
  // without writing to the source.
  unsigned carry = negative ? 1 : 0;
  for (uint32_t i = 0; i < n && std::isfinite(weight); ++i, weight *= 256.0) {
    unsigned byte = source[i];
    if (negative) {
      byte = (~byte & 0xFFu) + carry;
      carry = byte >> 8;
      byte &= 0xFFu;
    }
    result += byte * weight;
  }
  // A destination that held operands or a text gives them back before its bytes change.
  expr_drop_payload(destination);
  writeDouble(destination, negative ? -result : result);
  return 0;
}

int expr_double_to_fraction(ExprNode* destination, const ExprNode* value) {
  if (destination == nullptr || value == nullptr) return 1;
  double number = readDouble(value);
  expr_drop_payload(destination);
  return expr_set_fract_from_double(destination, destination->context->int_width, number);
}

int expr_double_to_integer(ExprNode* destination, const ExprNode* value) {
  if (destination == nullptr || value == nullptr) return 1;
  ExprLibContext* context = destination->context;
  double number = readDouble(value);
  bool isUnsigned = destination->value_type == EXPR_TYPE_UNSIGNED;
  if (std::isnan(number) || (number < 0 && isUnsigned)) return fail(context, EXPR_ERR_OUT_OF_RANGE);
  uint32_t n = context->int_width;
  double magnitude = std::trunc(std::fabs(number));
  // The n-byte range of the destination's type: [-2^(8n-1), 2^(8n-1)) signed,
  // [0, 2^(8n)) unsigned.
  int topBit = static_cast<int>(8 * n) - (isUnsigned ? 0 : 1);
  double limit = std::ldexp(1.0, topBit);
  bool fits = number < 0 ? magnitude <= limit : magnitude < limit;
  if (!fits) return fail(context, EXPR_ERR_OUT_OF_RANGE);
  expr_drop_payload(destination);
  unsigned char* bytes = expr_value_bytes(destination);
  for (uint32_t i = n; i-- > 0;) {
    double unit = std::ldexp(1.0, static_cast<int>(8 * i));
    double digit = std::isfinite(unit) ? std::floor(magnitude / unit) : 0.0;
    if (digit > 255.0) digit = 255.0;
    bytes[i] = static_cast<unsigned char>(digit);
    magnitude -= digit * unit;
  }
  if (number < 0) negateLsbFirst(bytes, n);
  return 0;
}

// ---- Readers ----

int expr_get_int32(const ExprNode* node, uint32_t* value) {
  if (node == nullptr) return 1;
  const unsigned char* bytes = expr_value_bytes(node);
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= uint32_t{bytes[i]} << (8 * i);
  if (value != nullptr) *value = word;
  uint32_t n = node->context->int_width;
  unsigned char fill = (bytes[3] & 0x80) != 0 ? 0xFF : 0x00;
  if (n > 4 && !allBytes(bytes, 4, n, 0x00) && !allBytes(bytes, 4, n, fill)) {
    return fail(node->context, EXPR_ERR_DOES_NOT_FIT);
  }
  return 0;
}

int expr_get_uint32(const ExprNode* node, uint32_t* value) {
  if (node == nullptr) return 1;
  const unsigned char* bytes = expr_value_bytes(node);
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= uint32_t{bytes[i]} << (8 * i);
  if (value != nullptr) *value = word;
  uint32_t n = node->context->int_width;
  if (n > 4 && !allBytes(bytes, 4, n, 0x00)) return fail(node->context, EXPR_ERR_DOES_NOT_FIT);
  return 0;
}

int expr_get_int64(const ExprNode* node, uint32_t words[2]) {
  if (node == nullptr) return 1;
  const unsigned char* bytes = expr_value_bytes(node);
  uint32_t low = 0;
  uint32_t high = 0;
  for (int i = 0; i < 4; ++i) {
    low |= uint32_t{bytes[i]} << (8 * i);
    high |= uint32_t{bytes[4 + i]} << (8 * i);
  }
  if (words != nullptr) {
    words[0] = low;
    words[1] = high;
  }
  uint32_t n = node->context->int_width;
  unsigned char fill = (bytes[7] & 0x80) != 0 ? 0xFF : 0x00;
  if (n > 8 && !allBytes(bytes, 8, n, 0x00) && !allBytes(bytes, 8, n, fill)) {
    return fail(node->context, EXPR_ERR_DOES_NOT_FIT);
  }
  return 0;
}

// ---- Location references ----

int expr_get_location_ref(const ExprNode* node, ExprSlotRef* slot) {
  if (node == nullptr || node->kind != EXPR_SLOT_REF) return 1;
  if (slot != nullptr) *slot = node->payload.slot;
  return 0;
}

int expr_set_location_ref(ExprNode* node, uint32_t index, ExprLibContext* slot_context) {
  if (node == nullptr || node->kind != EXPR_SLOT_REF) return 1;
  node->payload.slot = ExprSlotRef{index, slot_context};
  return 0;
}

// ---- User operators ----

int expr_add_user_operator(ExprLibContext* context, int32_t kind, ExprOperatorHandler handler,
                           uintptr_t argument) {
  if (context == nullptr) return 1;
  ExprUserOperators& users = context->user_operators;
  if (users.count == users.capacity) {
    if (users.capacity > UINT32_MAX - USER_OPERATOR_STEP) return fail(context, EXPR_ERR_NO_MEMORY);
    uint32_t capacity = users.capacity + USER_OPERATOR_STEP;
    auto* grown =
        static_cast<ExprUserOperator*>(pool_alloc(size_t{capacity} * sizeof(ExprUserOperator)));
    if (grown == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
    if (users.count != 0) {
      std::memcpy(grown, users.entries, size_t{users.count} * sizeof(ExprUserOperator));
    }
    pool_free(users.entries, size_t{users.capacity} * sizeof(ExprUserOperator));
    users.entries = grown;
    users.capacity = capacity;
  }
  users.entries[users.count++] = ExprUserOperator{kind, handler, argument};
  return 0;
}

int expr_clear_user_operators(ExprLibContext* context) {
  if (context == nullptr) return 1;
  ExprUserOperators& users = context->user_operators;
  pool_free(users.entries, size_t{users.capacity} * sizeof(ExprUserOperator));
  users = ExprUserOperators{0, 0, nullptr};
  return 0;
}

int expr_evaluate_node(ExprNode* node) { return expr_evaluate(node); }

// ---- Field accessors ----

int32_t expr_get_kind(const ExprNode* node) { return node->kind; }
uint32_t expr_get_type(const ExprNode* node) { return node->value_type; }
uint16_t expr_get_width(const ExprNode* node) { return node->width; }
ExprLibContext* expr_get_context(const ExprNode* node) { return node->context; }
uint32_t expr_get_int_size(const ExprNode* node) { return node->context->int_width; }

int expr_get_tag(const ExprNode* node, uint32_t* tag) {
  if (tag != nullptr) *tag = node->flag;
  return 0;
}

int expr_set_tag(ExprNode* node, uint32_t tag) {
  node->flag = tag;
  return 0;
}

int expr_get_double(const ExprNode* node, double* value) {
  if (value != nullptr) *value = readDouble(node);
  return 0;
}

unsigned char* expr_value_bytes_at(uintptr_t node_address) {
  return expr_value_bytes(reinterpret_cast<ExprNode*>(node_address));
}

const char* expr_get_string(const ExprNode* node) {
  if (node->value_type != EXPR_TYPE_STRING || node->payload.string == nullptr) return nullptr;
  return node->payload.string->text;
}

ExprNode* expr_get_operand(const ExprNode* node, uint32_t index) {
  if (!holdsOperandList(node->kind)) return nullptr;
  return expr_operand(node, index);
}

int expr_set_operand(ExprNode* node, uint32_t index, ExprNode* operand) {
  if (!holdsOperandList(node->kind)) return 1;
  ExprLink* link = node->payload.operands.head;
  for (; link != nullptr && index != 0; --index) link = link->next;
  if (link == nullptr) return 1;
  link->operand = operand;
  return 0;
}

int expr_count_links(const ExprLink* head, uint32_t* count) {
  uint32_t links = 0;
  for (; head != nullptr; head = head->next) ++links;
  if (count != nullptr) *count = links;
  return 0;
}

int expr_collect_operands(const ExprNode* node, ExprNode** operands) {
  if (!holdsOperandList(node->kind) || operands == nullptr) return 0;
  uint32_t index = 0;
  for (const ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    operands[index++] = link->operand;
  }
  return 0;
}

int expr_free_operand_links(ExprNode* node) {
  if (!holdsOperandList(node->kind)) return 0;
  ExprLink* link = node->payload.operands.head;
  while (link != nullptr) {
    ExprLink* next = link->next;
    pool_free_block(link, node->context->link_pool);
    link = next;
  }
  node->payload.operands = ExprOperandList{nullptr, nullptr};
  return 0;
}

int expr_release_operands(ExprNode* node) {
  if (!holdsOperandList(node->kind)) return 0;
  ExprLink* link = node->payload.operands.head;
  node->payload.operands = ExprOperandList{nullptr, nullptr};
  while (link != nullptr) {
    ExprLink* next = link->next;
    expr_release(link->operand);
    pool_free_block(link, node->context->link_pool);
    link = next;
  }
  return 0;
}

void expr_set_error(ExprLibContext* context, uint32_t code) {
  if (context != nullptr) context->error = code;
}

int expr_is_value(const ExprNode* node) { return node->kind == EXPR_VALUE ? 1 : 0; }

int expr_is_location_ref(const ExprNode* node) { return node->kind == EXPR_SLOT_REF ? 1 : 0; }

int expr_is_fraction(const ExprNode* node) {
  return node->kind == EXPR_VALUE && node->value_type == EXPR_TYPE_FRACT ? 1 : 0;
}

int expr_is_string(const ExprNode* node) {
  return node->kind == EXPR_VALUE && node->value_type == EXPR_TYPE_STRING ? 1 : 0;
}

int expr_is_numeric(const ExprNode* node) {
  return node->kind == EXPR_VALUE && node->value_type <= EXPR_TYPE_DOUBLE ? 1 : 0;
}

int expr_kind_checks_operands(int32_t kind) {
  return kind >= 0 && kind < 32 && ((0x1ffe5760u >> kind) & 1u) != 0 ? 1 : 0;
}

int expr_is_unary(int32_t kind) {
  return kind >= 0 && kind < 32 && ((0x18080u >> kind) & 1u) != 0 ? 1 : 0;
}
