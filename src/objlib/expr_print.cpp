#include "objlib/expr_print.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "objlib/exprlib.h"

namespace {

constexpr int DEEPEST_LEVEL = 256;

const char* const OPERATOR_NAMES[EXPR_BUILTIN_KIND_COUNT] = {
    "value", "slot",  "true",  "false", "abs",  "add",  "and",         "not",     "div",
    "land",  "lor",   "max",   "rem",   "min",  "mul",  "neg",         "lnot",    "or",
    "shl",   "shr",   "sar",   "sub",   "xor",  "eq",   "ne",          "le",      "ge",
    "gt",    "lt",    "cond",  "placeholder",   "convert", "deferred", "list",    "range",
};

const char* const TYPE_NAMES[] = {"untyped", "untyped1", "int", "uint", "double", "fract", "str"};

void appendFormat(std::string& text, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void appendFormat(std::string& text, const char* format, ...) {
  char piece[64];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(piece, sizeof piece, format, arguments);
  va_end(arguments);
  if (length > 0) text.append(piece, static_cast<size_t>(length) < sizeof piece
                                         ? static_cast<size_t>(length)
                                         : sizeof piece - 1);
}

// Prints the most significant byte first whatever the byte order held.
void appendHexBytes(std::string& text, const unsigned char* bytes, size_t count,
                    bool leastSignificantFirst) {
  text += "0x";
  for (size_t i = 0; i < count; ++i) {
    size_t index = leastSignificantFirst ? count - 1 - i : i;
    appendFormat(text, "%02X", bytes[index]);
  }
}

void appendInteger(std::string& text, const ExprNode* node) {
  const unsigned char* bytes = expr_value_bytes(node);
  uint64_t low = 0;
  for (int i = 0; i < 8; ++i) low |= uint64_t{bytes[i]} << (8 * i);
  bool isSigned = node->value_type == EXPR_TYPE_SIGNED;
  unsigned char extension = isSigned && (low >> 63) != 0 ? 0xFF : 0x00;
  uint32_t width = node->context->int_width;
  bool extended = true;
  for (uint32_t i = 8; i < width; ++i) extended = extended && bytes[i] == extension;
  text += isSigned ? "(int " : "(uint ";
  if (!extended) {
    appendHexBytes(text, bytes, width, true);
  } else if (isSigned) {
    appendFormat(text, "%" PRId64, static_cast<int64_t>(low));
  } else {
    appendFormat(text, "%" PRIu64, low);
  }
  text += ')';
}

void appendString(std::string& text, const ExprNode* node) {
  text += "(str \"";
  const ExprValueObject* value = node->payload.string;
  const char* characters = value != nullptr && value->text != nullptr ? value->text : "";
  for (const char* c = characters; *c != '\0'; ++c) {
    auto byte = static_cast<unsigned char>(*c);
    if (byte == '"' || byte == '\\') {
      text += '\\';
      text += *c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      appendFormat(text, "\\x%02X", byte);
    } else {
      text += *c;
    }
  }
  text += "\")";
}

void appendValue(std::string& text, const ExprNode* node) {
  switch (node->value_type) {
    case EXPR_TYPE_SIGNED:
    case EXPR_TYPE_UNSIGNED:
      appendInteger(text, node);
      return;
    case EXPR_TYPE_DOUBLE: {
      double value;
      std::memcpy(&value, expr_value_bytes(node), sizeof value);
      appendFormat(text, "(double %.17g)", value);
      return;
    }
    case EXPR_TYPE_FRACT: {
      size_t count = node->width / 8;
      if (count > node->context->int_width) count = node->context->int_width;
      text += "(fract ";
      appendHexBytes(text, expr_value_bytes(node), count, false);
      text += ')';
      return;
    }
    case EXPR_TYPE_STRING:
      appendString(text, node);
      return;
    default:
      text += "(value)";
      return;
  }
}

void appendNode(std::string& text, const ExprNode* node, int level, size_t limit) {
  if (text.size() > limit) return;
  if (node == nullptr) {
    text += "(null)";
    return;
  }
  if (level > DEEPEST_LEVEL) {
    text += "(...)";
    return;
  }
  if (node->kind == EXPR_VALUE) {
    appendValue(text, node);
    return;
  }
  if (node->kind == EXPR_SLOT_REF) {
    appendFormat(text, "(slot %" PRIu32 ")", node->payload.slot.index);
    return;
  }
  if (node->kind >= EXPR_USER_FIRST) {
    appendFormat(text, "(user %" PRId32, node->kind);
  } else if (node->kind > 0 && node->kind < EXPR_BUILTIN_KIND_COUNT) {
    text += '(';
    text += OPERATOR_NAMES[node->kind];
  } else {
    // Not a kind the library builds: its payload cannot be trusted to be a list.
    appendFormat(text, "(kind %" PRId32 ")", node->kind);
    return;
  }
  if (node->kind == EXPR_CONVERT) {
    text += ' ';
    if (node->value_type < sizeof TYPE_NAMES / sizeof TYPE_NAMES[0]) {
      text += TYPE_NAMES[node->value_type];
    } else {
      appendFormat(text, "%" PRIu32, node->value_type);
    }
  } else if (node->kind == EXPR_DEFERRED) {
    appendFormat(text, " %" PRIu32, node->payload.deferred.tag);
  }
  if (node->kind == EXPR_CONVERT || node->kind == EXPR_DEFERRED) {
    text += ' ';
    appendNode(text, expr_operand(node, 0), level + 1, limit);
  } else {
    for (const ExprLink* link = node->payload.operands.head; link != nullptr;
         link = link->next) {
      text += ' ';
      appendNode(text, link->operand, level + 1, limit);
    }
  }
  text += ')';
}

std::string textUpTo(const ExprNode* node, size_t limit) {
  std::string text;
  appendNode(text, node, 0, limit);
  if (text.size() > limit) {
    text.resize(limit >= 3 ? limit - 3 : 0);
    text += "...";
    text.resize(limit);
  }
  return text;
}

}  // namespace

std::string expr_to_text(const ExprNode* node) { return textUpTo(node, EXPR_TEXT_LIMIT); }

size_t expr_format(const ExprNode* node, char* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  std::string text = textUpTo(node, capacity - 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return text.size();
}
