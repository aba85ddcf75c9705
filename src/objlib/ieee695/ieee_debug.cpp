// The debug part of a module: a nesting of BB/BE blocks walked from the file's debug
// information, with type records, name triples of variables and line assignments
// inside, and the record filler for those records. Every record is filled from the
// current debug block, whose slots name the storage objects it stands for.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "objlib/exprlib.h"
#include "objlib/expr_values.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_kit.h"
#include "objlib/ieee695/ieee_value.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_debugops.h"
#include "objlib/ios_debugread.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_asm_section_ops.h"
#include "objlib/ios_function.h"
#include "objlib/ios_group.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typestore.h"

namespace {

constexpr uint32_t ERR_PRODUCER = 5;
constexpr uint32_t ERR_STORE = 6;
constexpr uint32_t ERR_OBLIGATED = 8;
constexpr uint32_t ERR_SYNTAX = 10;

constexpr uint32_t LETTER_H = 0xC8;
constexpr uint32_t LETTER_N = 0xCE;
constexpr uint32_t LETTER_Q = 0xD1;
constexpr uint32_t LETTER_R = 0xD2;
constexpr uint32_t LETTER_U = 0xD5;
constexpr uint32_t KIND_MEMBER = 140;

uint32_t fail(uint32_t* error, uint32_t code) {
  *error = code;
  return 1;
}

// Word counts of the slots; the id word is the last one.
uint32_t slot_words(uint32_t first) {
  switch (first) {
    case IEEE_SLOT_ASM_SECTION:
    case IEEE_SLOT_LINE_BLOCK:
      return 4;
    case IEEE_SLOT_LINE:
    case IEEE_SLOT_DELTA:
    case IEEE_SLOT_SPECIAL:
      return 5;
    default:
      return 3;
  }
}

bool slot_set(IeeeDebugBlock* block, uint32_t first) {
  return block != nullptr && static_cast<int32_t>(*ieee_block_word(block, first + slot_words(first) - 1)) > 0;
}

void slot_clear(IeeeDebugBlock* block, uint32_t first) {
  for (uint32_t n = 0; n < slot_words(first); ++n) *ieee_block_word(block, first + n) = 0;
}

void slot_store(IeeeDebugBlock* block, uint32_t first, const uint32_t* words) {
  for (uint32_t n = 0; n < slot_words(first); ++n) *ieee_block_word(block, first + n) = words[n];
}

IosDebugHandle slot_handle(IeeeDebugBlock* block, uint32_t first) {
  return IosDebugHandle{*ieee_block_word(block, first), *ieee_block_word(block, first + 1),
                        *ieee_block_word(block, first + 2)};
}

void slot_words_out(IeeeDebugBlock* block, uint32_t first, uint32_t* out) {
  for (uint32_t n = 0; n < slot_words(first); ++n) out[n] = *ieee_block_word(block, first + n);
}

IosLineItemHandle item_handle(IeeeDebugBlock* block, uint32_t first) {
  uint32_t w[5];
  slot_words_out(block, first, w);
  return IosLineItemHandle{w[0], w[1], w[2], w[3], w[4]};
}

// The text of a name property; null when unset or without text.
const char* name_text(IosHandle name) {
  if (name.object_id < 1) return nullptr;
  const char* text = nullptr;
  if (ios_string_get_text(name, &text, nullptr) != 0) return nullptr;
  return text;
}

// A lookup that failed for a reason other than an unset value.
bool hard_failure(int status, IosErrorCode code) { return status != 0 && code != IOS_ERR_NO_PROPERTY; }

// ---- Filler ----

// The number of the next name of the debug part. The module's own names of part 3
// take their numbers first; a debug name that reused one would give a reader two
// names for one N variable.
uint32_t next_debug_name(IeeeWriter* writer) {
  uint32_t index = std::max(writer->second_name_counter + 1, writer->next_name_index);
  writer->second_name_counter = index;
  return index;
}

// The store handle {file, module, record} of the block's assembler-section slot.
IosDebugHandle asm_record_handle(IeeeDebugBlock* block) {
  uint32_t words[4];
  slot_words_out(block, IEEE_SLOT_ASM_SECTION, words);
  return IosDebugHandle{words[0], words[2], words[3]};
}

// One entry of an assembler-section record: a list of its name, its start and its
// end address.
struct AsmEntry {
  const char* name = nullptr;
  ExprNode* start = nullptr;
  ExprNode* end = nullptr;
};

bool asm_entry(IeeeWriter* writer, IeeeDebugBlock* block, AsmEntry* out) {
  ExprNode* entry = nullptr;
  if (ios_asm_section_entry_at(asm_record_handle(block), writer->expression_index, &entry, nullptr) != 0 ||
      entry == nullptr) {
    return false;
  }
  uint32_t count = expr_operand_count(entry);
  ExprNode* name = count > 0 ? expr_operand(entry, 0) : nullptr;
  if (name != nullptr && name->kind == EXPR_VALUE && name->value_type == EXPR_TYPE_STRING &&
      name->payload.string != nullptr) {
    out->name = name->payload.string->text;
  }
  out->start = count > 1 ? expr_operand(entry, 1) : nullptr;
  out->end = count > 2 ? expr_operand(entry, 2) : nullptr;
  return true;
}

// The value of a block record as a list expression, built operand by operand in the
// writer's expression context. A failed step makes the whole list unusable.
class ValueList {
 public:
  explicit ValueList(ExprLibContext* context) : context_(context) {
    if (context_ == nullptr || objexpr_make_operator(context_, &list_, EXPR_LIST, 0) != 0) list_ = nullptr;
    failed_ = list_ == nullptr;
  }
  ~ValueList() { expr_release(list_); }
  ValueList(const ValueList&) = delete;
  ValueList& operator=(const ValueList&) = delete;

  void integer(int32_t value) {
    ExprNode* node = nullptr;
    if (failed_ || expr_new_integer32(context_, &node, value) != 0) {
      failed_ = true;
      return;
    }
    take(node);
  }
  // A plain number, as the fields of a block's value list that are no expression.
  void number(uint64_t value) {
    ExprNode* node = nullptr;
    if (failed_ || objexpr_make_integer(context_, &node, static_cast<int64_t>(value)) != 0) {
      failed_ = true;
      return;
    }
    take(node);
  }
  // Appends an operand that the caller keeps.
  void add(ExprNode* node) {
    if (!failed_ && (node == nullptr || expr_add_operand(list_, node) != 0)) failed_ = true;
  }
  // Appends an operand whose reference the list takes over.
  void take(ExprNode* node) {
    add(node);
    expr_release(node);
  }
  ExprNode* node() const { return failed_ ? nullptr : list_; }

 private:
  ExprLibContext* context_;
  ExprNode* list_ = nullptr;
  bool failed_ = false;
};

// The stack space of a function or lexical block: the operands of its first
// stack-usage record's expression folded into one; null when it has none.
ExprNode* stack_space(IosDebugHandle owner, bool lexical) {
  IosDebugHandle usage{};
  int status = lexical ? ios_lexical_block_stack_usage_at(owner, 0, &usage, nullptr)
                       : ios_function_stack_usage_at(owner, 0, &usage, nullptr);
  IosStackUsage* record = nullptr;
  if (status != 0 || ios_get_stack_usage(usage, &record, nullptr) != 0 || record == nullptr ||
      record->expression == nullptr) {
    return nullptr;
  }
  if (record->expression->kind == EXPR_LIST) return ieee_fold_expressions(record->expression);
  ++record->expression->ref_count;
  return record->expression;
}

uint32_t fill_as(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeDebugBlock* block = ieee_block_top(writer);
  if (argument == nullptr || block == nullptr) return fail(error, ERR_OBLIGATED);
  IeeeBodyAS& body = writer->current->body->as;
  body.letter = argument->letter;
  body.index = argument->index;
  ExprNode* expression = nullptr;
  ExprNode* owned = nullptr;
  IosErrorCode code = IOS_ERR_INTERNAL;
  switch (argument->letter) {
    case LETTER_R:
      if (block->kind != 0) return fail(error, ERR_OBLIGATED);
      return ieee_fill_assign_value(writer, argument, error);
    case LETTER_H:
    case LETTER_Q: {
      uint32_t first = 0;
      uint32_t second = 0;
      IosLineItemHandle item = item_handle(block, argument->letter == LETTER_H ? IEEE_SLOT_LINE : IEEE_SLOT_DELTA);
      int status = argument->letter == LETTER_H ? ios_get_line(item, &expression, &first, &second, &code)
                                                : ios_get_delta(item, &expression, &first, &second, &code);
      if (hard_failure(status, code)) return fail(error, ERR_STORE);
      if (argument->letter == LETTER_H) {
        argument->index = first;
      } else {
        argument->index = second;
        writer->delta_number = static_cast<int32_t>(first);
      }
      break;
    }
    case LETTER_U: {
      ExprNode* second = nullptr;
      uint32_t number = 0;
      int status = ios_get_special(item_handle(block, IEEE_SLOT_SPECIAL), &expression, &second, &number, &code);
      if (hard_failure(status, code)) return fail(error, ERR_STORE);
      argument->index = number;
      if (expression != nullptr && second != nullptr) {
        if (writer->expression_context == nullptr ||
            objexpr_make_operator(writer->expression_context, &owned, 28, 2, expression, second) != 0) {
          return fail(error, ERR_PRODUCER);
        }
        expression = owned;
      }
      break;
    }
    case LETTER_N: {
      // The attribute record before this one renamed the generated names of the
      // same address; its copy is what this record assigns.
      owned = argument->value.expression;
      argument->value.expression = nullptr;
      if (slot_set(block, IEEE_SLOT_LIFETIME)) {
        IosLifetime* lifetime = nullptr;
        if (ios_get_lifetime(slot_handle(block, IEEE_SLOT_LIFETIME), &lifetime, nullptr) != 0 ||
            lifetime->expression_a == nullptr) {
          expr_release(owned);
          return fail(error, ERR_STORE);
        }
        expression = lifetime->expression_a;
      } else if (slot_set(block, IEEE_SLOT_PARAMETER)) {
        IosVariable* variable = nullptr;
        if (ios_get_variable(slot_handle(block, IEEE_SLOT_PARAMETER), &variable, nullptr) != 0 ||
            variable->expression == nullptr) {
          expr_release(owned);
          return fail(error, ERR_STORE);
        }
        expression = variable->expression;
      } else if (slot_set(block, IEEE_SLOT_VARIABLE)) {
        IosVariable* variable = nullptr;
        int status = ios_get_variable(slot_handle(block, IEEE_SLOT_VARIABLE), &variable, &code);
        // A variable without a location has no address to assign: the record is left out.
        if ((status == 0 && variable->expression == nullptr) || (status != 0 && code == IOS_ERR_NO_PROPERTY)) {
          expr_release(owned);
          writer->skip = 1;
          return 0;
        }
        if (status == 0) expression = variable->expression;
      }
      if (owned != nullptr && expression != nullptr) expression = owned;
      break;
    }
    default:
      break;
  }
  argument->value.expression = nullptr;
  body.index = argument->index;
  if (expression == nullptr) {
    expr_release(owned);
    return fail(error, ERR_OBLIGATED);
  }
  uint32_t result = ieee_set_encoded(writer, &body.value, expression, error);
  expr_release(owned);
  // Encoding moved the letter cache to the record the expression names; the
  // attribute record of a delta follows without an argument and reads this one.
  writer->letter_cache = argument;
  return result;
}

// The variable a name or attribute record stands for: the block's variable, else its
// parameter.
IosVariable* block_variable(IeeeDebugBlock* block, IosErrorCode* code) {
  IosVariable* variable = nullptr;
  uint32_t slot = slot_set(block, IEEE_SLOT_VARIABLE) ? IEEE_SLOT_VARIABLE : IEEE_SLOT_PARAMETER;
  if (!slot_set(block, slot)) return nullptr;
  if (ios_get_variable(slot_handle(block, slot), &variable, code) != 0) return nullptr;
  return variable;
}

uint32_t fill_nn(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeBodyName& body = writer->current->body->name;
  if (writer->pending_name.object_id > 0) {
    // A name handed over by a type record or a generated name: numbered by the
    // counter, used once.
    const char* text = name_text(writer->pending_name);
    writer->pending_name = IosHandle{0, 0};
    uint32_t index = next_debug_name(writer);
    writer->generated_name = index;
    if (text == nullptr) return fail(error, ERR_OBLIGATED);
    body.letter = LETTER_N;
    body.index = index;
    body.name = ieee_buf_from_string(text);
    return body.name != nullptr ? 0 : fail(error, ERR_PRODUCER);
  }
  IeeeDebugBlock* block = writer->current_block;
  if (argument == nullptr || block == nullptr) return fail(error, ERR_OBLIGATED);
  IosVariable* variable = block_variable(block, nullptr);
  const char* text = variable != nullptr ? name_text(variable->name) : nullptr;
  if (text == nullptr) return fail(error, ERR_OBLIGATED);
  body.letter = argument->letter;
  body.index = argument->index;
  body.name = ieee_buf_from_string(text);
  return body.name != nullptr ? 0 : fail(error, ERR_PRODUCER);
}

uint32_t word_or_zero(uint32_t word) { return word == IOS_DEBUG_UNSET ? 0 : word; }

// The value of an attribute record: a copy of the address expression whose generated
// names got their NN records first. The copy goes on to the AS record of the same
// variable, so that both name the same N variables; the store keeps its own numbers.
uint32_t attribute_value(IeeeWriter* writer, IeeeLetterRecord* argument, ExprNode* expression, uint32_t* error) {
  IeeeBodyAT& body = writer->current->body->at;
  body.third_present = 1;
  if (expression == nullptr) return 0;
  ExprNode* copy = expr_copy(expression);
  if (copy == nullptr) return fail(error, ERR_PRODUCER);
  uint32_t named_error = 0;
  if (ieee_emit_named_record(writer, copy, &named_error) != 0) {
    expr_release(copy);
    return fail(error, named_error != 0 ? named_error : ERR_PRODUCER);
  }
  uint32_t result = ieee_set_encoded(writer, &body.value, copy, error);
  expr_release(argument->value.expression);
  argument->value.expression = copy;
  return result;
}

uint32_t fill_at(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  if (argument == nullptr) return fail(error, ERR_OBLIGATED);
  if (argument->letter == LETTER_Q) {
    IeeeBodyAT& body = writer->current->body->at;
    body.letter = argument->letter;
    body.index = argument->index;
    body.numbers[0] = 0;
    body.numbers[1] = static_cast<uint32_t>(writer->delta_number);
    return 0;
  }
  IeeeDebugBlock* block = ieee_block_top(writer);
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  return slot_set(block, IEEE_SLOT_LIFETIME) ? ieee_fill_lifetime_attribute(writer, error)
                                              : ieee_fill_type_attribute(writer, error);
}

// The name and the start and end addresses of the function or lexical block a block of
// kind 4 or 6 stands for (a lexical block has no name); false when its record is missing.
struct ScopeBounds {
  IosHandle name{0, 0};
  const char* entry_name = nullptr;  // an assembler-section entry's own text
  ExprNode* start = nullptr;
  ExprNode* end = nullptr;
  TypeHandle type{0, 0, 0};
  ExprNode* stack = nullptr;  // owned
};

bool scope_bounds(IeeeWriter* writer, IeeeDebugBlock* block, ScopeBounds* bounds) {
  if (slot_set(block, IEEE_SLOT_ASM_SECTION)) {
    AsmEntry entry;
    if (!asm_entry(writer, block, &entry)) return false;
    bounds->entry_name = entry.name;
    bounds->start = entry.start;
    bounds->end = entry.end;
  } else if (slot_set(block, IEEE_SLOT_LEXICAL)) {
    IosLexicalBlock* lexical = nullptr;
    if (ios_find_lexical_block(slot_handle(block, IEEE_SLOT_LEXICAL), &lexical, nullptr) != 0 ||
        lexical == nullptr) {
      return false;
    }
    if (lexical->contents != nullptr) {
      bounds->start = lexical->contents->expression_a;
      bounds->end = lexical->contents->expression_b;
    }
    bounds->stack = stack_space(slot_handle(block, IEEE_SLOT_LEXICAL), true);
  } else if (slot_set(block, IEEE_SLOT_FUNCTION)) {
    IosFunction* function = nullptr;
    if (ios_get_function(slot_handle(block, IEEE_SLOT_FUNCTION), &function, nullptr) != 0) return false;
    bounds->name = function->name;
    bounds->start = function->expression_a;
    bounds->end = function->expression_b;
    bounds->type = function->type;
    bounds->stack = stack_space(slot_handle(block, IEEE_SLOT_FUNCTION), false);
  }
  return true;
}

// BB of a function block: the stack space (0 when unknown), the type index of the
// function as a plain number (0 when it has no type) and its start address, in the
// order of the format's function blocks.
void scope_value(IeeeWriter* writer, const ScopeBounds& bounds, ValueList* list) {
  if (bounds.stack != nullptr) list->add(bounds.stack);
  else list->integer(0);
  uint32_t type_id = bounds.type.type_id > 0 ? bounds.type.type_id : 0;
  IeeeTypeRecord* record =
      ieee_find_type_record(writer, TypeHandle{writer->file_id, writer->debug_root_id, type_id});
  list->number(record != nullptr ? record->index : 0);
  if (bounds.start != nullptr) list->add(bounds.start);
}

// Appends a name as the format writes names: its length (one byte below 128, 0xDE and
// one byte below 256, 0xDF and two bytes up to 65535), then its bytes; -1 for a longer
// name or when the buffer cannot grow.
int put_name(StrBuf* bytes, const char* text) {
  size_t length = text != nullptr ? std::strlen(text) : 0;
  int status = 0;
  if (length < 128) {
    status = ieee_buf_put_byte(bytes, static_cast<uint8_t>(length));
  } else if (length < 256) {
    status = ieee_buf_put_byte(bytes, 0xDE) != 0 ? -1 : ieee_buf_put_byte(bytes, static_cast<uint8_t>(length));
  } else if (length <= 0xFFFF) {
    const uint8_t prefix[3] = {0xDF, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    status = ieee_buf_append_bytes(bytes, prefix, sizeof prefix);
  } else {
    return -1;
  }
  if (status != 0 || length == 0) return status;
  return ieee_buf_append_bytes(bytes, text, length);
}

// An assembler module's tool type: none of the format's tool codes is recorded in the
// store, so the field says "unspecified".
constexpr int64_t TOOL_TYPE_UNSPECIFIED = 0;

// BB of an assembler module, after the module's name: the name of the input file it
// was made from (the file's source name; empty when the file does not record one), the
// tool type, and the tool's version when the file records one. No date follows, so
// that the part is the same whenever it is written.
uint32_t assembler_module_value(IeeeWriter* writer, IosValue* value, uint32_t* error) {
  IosHandle input{0, 0};
  IosHandle version{0, 0};
  const char* input_text = ios_file_get_string3(writer->file_id, &input, nullptr) == 0 ? name_text(input) : nullptr;
  const char* version_text =
      ios_file_get_tool_version(writer->file_id, &version, nullptr) == 0 ? name_text(version) : nullptr;
  StrBuf* bytes = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (bytes == nullptr || put_name(bytes, input_text) != 0 || ieee_encode_number(bytes, TOOL_TYPE_UNSPECIFIED) != 0 ||
      (version_text != nullptr && put_name(bytes, version_text) != 0)) {
    ieee_buf_free(bytes);
    return fail(error, ERR_PRODUCER);
  }
  ios_value_clear(value);
  value->text = bytes;
  return 0;
}

// BB of a module section: the record's kind (1 code, 2 data, 3 uninitialised data, 0
// unknown), the section's index, and the section's base variable.
uint32_t section_block(IeeeWriter* writer, IeeeDebugBlock* block, IosHandle* name, ValueList* list,
                       uint32_t* error) {
  IosAsmSection* record = nullptr;
  IosSection* section = nullptr;
  if (ios_get_asm_section(asm_record_handle(block), &record, nullptr) != 0 || record == nullptr ||
      static_cast<int32_t>(record->name.object_id) < 1 || ios_get_section(record->name, &section, nullptr) != 0 ||
      section == nullptr) {
    return fail(error, ERR_STORE);
  }
  IeeeSectionEntry* entry = ieee_find_cached_record(writer, record->name);
  if (entry == nullptr) return fail(error, ERR_STORE);
  *name = section->name;
  list->integer(record->kind == IOS_ASM_SECTION_KIND_UNSET ? 0 : static_cast<int32_t>(record->kind));
  list->integer(static_cast<int32_t>(entry->index));
  ExprNode* base = nullptr;
  if (writer->expression_context == nullptr ||
      objexpr_make_slot_ref(writer->expression_context, &base, static_cast<uint32_t>(entry->records[1]->reference_value),
                            writer->expression_context) != 0) {
    return fail(error, ERR_PRODUCER);
  }
  list->take(base);
  return 0;
}

}  // namespace

uint32_t ieee_fill_block_begin(IeeeWriter* writer, uint32_t* error) {
  IeeeDebugBlock* block = writer->current_block;
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  IeeeBodyBB& body = writer->current->body->bb;
  body.block_type = block->kind;
  body.size = 0;
  IosHandle name{0, 0};
  const char* text = nullptr;
  ExprNode* value = nullptr;
  ValueList list(writer->expression_context);
  bool listed = false;
  IosErrorCode code = IOS_ERR_INTERNAL;
  switch (block->kind) {
    case 0:
    case 2:
    case 7:
    case 8:
    case 9:
      return 0;
    case 1:
    case 3:
    case 10: {
      IosModule* module = nullptr;
      if (ios_get_module(slot_handle(block, IEEE_SLOT_MODULE), &module, nullptr) != 0) return fail(error, ERR_STORE);
      name = module->name;
      if (block->kind == 3) value = module->expression;
      if (block->kind == 10 && assembler_module_value(writer, &body.value, error) != 0) return 1;
      break;
    }
    case 5: {
      if (!slot_set(block, IEEE_SLOT_LINE_BLOCK)) return 0;
      uint32_t handle[4];
      slot_words_out(block, IEEE_SLOT_LINE_BLOCK, handle);
      IosLineBlock* line_block = nullptr;
      if (ios_get_line_block(handle, &line_block, &code) != 0) return fail(error, ERR_STORE);
      name = line_block->name;
      break;
    }
    case 4:
    case 6: {
      ScopeBounds bounds;
      if (!scope_bounds(writer, block, &bounds)) return fail(error, ERR_STORE);
      name = bounds.name;
      text = bounds.entry_name;
      scope_value(writer, bounds, &list);
      expr_release(bounds.stack);
      listed = true;
      break;
    }
    case 11:
      if (section_block(writer, block, &name, &list, error) != 0) return 1;
      listed = true;
      break;
    default:
      return fail(error, ERR_OBLIGATED);
  }
  if (name.object_id > 0) {
    text = name_text(name);
    if (text == nullptr) return fail(error, ERR_STORE);
  }
  if (text != nullptr) {
    body.name = ieee_buf_from_string(text);
    if (body.name == nullptr) return fail(error, ERR_PRODUCER);
  }
  if (listed) {
    value = list.node();
    if (value == nullptr) return fail(error, ERR_PRODUCER);
  }
  if (value == nullptr) return 0;
  return ieee_set_encoded(writer, &body.value, value, error);
}

uint32_t ieee_fill_block_end(IeeeWriter* writer, uint32_t* error) {
  IeeeDebugBlock* block = writer->current_block;
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  ExprNode* value = nullptr;
  ExprNode* owned = nullptr;
  switch (block->kind) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
    case 7:
    case 8:
    case 9:
    case 10:
      return 0;
    case 4:
    case 6: {
      ScopeBounds bounds;
      bool found = scope_bounds(writer, block, &bounds);
      expr_release(bounds.stack);
      if (!found) return fail(error, ERR_STORE);
      value = bounds.end;
      break;
    }
    case 11: {
      // The size of the module's part of the section.
      IosHandle section{};
      uint32_t size = 0;
      if (ios_asm_section_get_section(asm_record_handle(block), &section, nullptr) != 0 ||
          ios_section_get_size(section, &size, nullptr) != 0) {
        return fail(error, ERR_STORE);
      }
      if (writer->expression_context == nullptr ||
          objexpr_make_integer(writer->expression_context, &owned, size) != 0) {
        return fail(error, ERR_PRODUCER);
      }
      value = owned;
      break;
    }
    default:
      return fail(error, ERR_OBLIGATED);
  }
  if (value == nullptr) return 0;
  uint32_t result = ieee_set_encoded(writer, &writer->current->body->be.value, value, error);
  expr_release(owned);
  return result;
}

// An AT record names the variable of its record argument and describes the innermost
// block's variable or lifetime: the block, with the variable set in the body; null
// when either is missing.
static IeeeDebugBlock* begin_attribute(IeeeWriter* writer, IeeeLetterRecord*& argument) {
  argument = writer->letter_cache;
  IeeeDebugBlock* block = ieee_block_top(writer);
  if (argument == nullptr || block == nullptr) return nullptr;
  IeeeBodyAT& body = writer->current->body->at;
  body.letter = argument->letter;
  body.index = argument->index;
  return block;
}

uint32_t ieee_fill_lifetime_attribute(IeeeWriter* writer, uint32_t* error) {
  IeeeLetterRecord* argument = nullptr;
  IeeeDebugBlock* block = begin_attribute(writer, argument);
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  IeeeBodyAT& body = writer->current->body->at;
  IosLifetime* lifetime = nullptr;
  IosErrorCode code = IOS_ERR_INTERNAL;
  int status = ios_get_lifetime(slot_handle(block, IEEE_SLOT_LIFETIME), &lifetime, &code);
  if (hard_failure(status, code)) return fail(error, ERR_STORE);
  body.numbers[0] = 0;
  if (status != 0 || lifetime == nullptr) return 0;
  body.numbers[1] = word_or_zero(lifetime->attribute);
  body.numbers[2] = lifetime->flags5 | lifetime->flags6 | lifetime->flags7;
  return attribute_value(writer, argument, lifetime->expression_a, error);
}

uint32_t ieee_fill_type_attribute(IeeeWriter* writer, uint32_t* error) {
  IeeeLetterRecord* argument = nullptr;
  IeeeDebugBlock* block = begin_attribute(writer, argument);
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  IeeeBodyAT& body = writer->current->body->at;
  IosErrorCode code = IOS_ERR_INTERNAL;
  IosVariable* variable = block_variable(block, &code);
  if (variable == nullptr) return fail(error, ERR_STORE);
  uint64_t type_index = 0;
  if (variable->type.type_id > 0) type_index = ieee_find_type_index(writer, variable->type);
  body.numbers[0] = type_index;
  body.numbers[1] = word_or_zero(variable->value);
  body.numbers[2] = word_or_zero(variable->word1) | word_or_zero(variable->word2);
  return attribute_value(writer, argument, variable->expression, error);
}

namespace {

// ---- Walker ----

// The walk goes on after a failed record, so that every block it opens is closed;
// the first failure is what the part reports.
struct Walk {
  IeeeWriter* writer;
  int result = 0;
  uint32_t code = 0;

  void note(int status, uint32_t error) {
    if (status != 0 && result == 0) {
      result = status;
      code = error != 0 ? error : ERR_PRODUCER;
    }
  }
  void emit(uint32_t type, const IeeeVariable* argument) {
    uint32_t error = 0;
    int status = ieee_emit_record(writer, type, argument, ieee_fill_record, &error);
    note(status, error);
  }
};

void walk(Walk& w);

template <typename Slots>
void open_block(Walk& w, uint32_t kind, Slots&& slots, bool contents) {
  IeeeWriter* writer = w.writer;
  IeeeDebugBlock* block = nullptr;
  try {
    block = ieee_block_new(writer, kind);
  } catch (const std::bad_alloc&) {
    block = nullptr;
  }
  if (block == nullptr) {
    w.note(1, ERR_PRODUCER);
    return;
  }
  slots(block);
  uint32_t error = 0;
  int status = ieee_block_begin(writer, block, ieee_fill_record, &error);
  w.note(status, error);
  if (contents) walk(w);
  error = 0;
  status = ieee_block_end(writer, ieee_fill_record, &error);
  w.note(status, error);
}

void write_variable(Walk& w) {
  IeeeWriter* writer = w.writer;
  IeeeDebugBlock* block = ieee_block_top(writer);
  uint32_t number = next_debug_name(writer);
  writer->current_name_record = ieee_new_letter_record(writer, LETTER_N, number);
  IeeeVariable argument{LETTER_N, number};
  auto triple = [&]() {
    w.emit(IEEE_NN, &argument);
    w.emit(IEEE_AT, &argument);
    w.emit(IEEE_AS, &argument);
  };
  triple();
  uint32_t slot = slot_set(block, IEEE_SLOT_VARIABLE) ? IEEE_SLOT_VARIABLE : IEEE_SLOT_PARAMETER;
  IosDebugHandle variable = slot_handle(block, slot);
  uint32_t count = 0;
  if (ios_variable_get_count(variable.file_id, variable.root_id, variable.record_id, &count, nullptr) != 0) count = 0;
  for (uint32_t j = 0; j < count; ++j) {
    uint32_t lifetime[3];
    if (ios_variable_get_ref(variable.file_id, variable.root_id, variable.record_id, j, lifetime, nullptr) != 0) {
      continue;
    }
    slot_store(block, IEEE_SLOT_LIFETIME, lifetime);
    triple();
  }
  slot_clear(block, IEEE_SLOT_LIFETIME);
  slot_clear(block, IEEE_SLOT_VARIABLE);
  slot_clear(block, IEEE_SLOT_PARAMETER);
}

// Hands one variable to the open block and writes it.
void walk_variable(Walk& w, uint32_t slot, const uint32_t handle[3]) {
  IeeeDebugBlock* block = ieee_block_top(w.writer);
  if (block == nullptr || static_cast<int32_t>(handle[2]) <= 0) return;
  slot_store(block, slot, handle);
  write_variable(w);
}

void walk_section_bases(Walk& w) {
  IeeeWriter* writer = w.writer;
  for (uint32_t s = 1; s < writer->next_section_index && s <= writer->sections.size(); ++s) {
    IeeeSectionEntry* entry = writer->sections[s - 1].get();
    IosSection* section = nullptr;
    if (ios_get_section(entry->section, &section, nullptr) != 0 || section == nullptr) continue;
    ExprNode* address = nullptr;
    if (ios_section_get_address_expr(entry->section, &address, nullptr) == 0 && address != nullptr) continue;
    writer->current_section = entry;
    IeeeVariable argument{LETTER_R, s};
    w.emit(IEEE_AS, &argument);
  }
}

// The type a module type-list entry names: the TypeHandle of its type-table entry.
bool module_type(IeeeWriter* writer, uint32_t entry_id, TypeHandle* type) {
  IosFile* file = nullptr;
  if (ios_get_file(writer->file_id, &file, nullptr) != 0 || file == nullptr || file->debug_root == nullptr) {
    return false;
  }
  auto* entry = static_cast<IosTypeEntry*>(idtab_get(file->debug_root->type_entries.table, entry_id - 1));
  if (entry == nullptr || entry->type.type_id < 1) return false;
  *type = entry->type;
  return true;
}

uint32_t type_kind(uint32_t file_id, uint32_t type_id, bool* found) {
  *found = true;
  if (type_id < IOS_FIRST_TYPE_ID) return type_id;
  IosTypeIdTable* table = nullptr;
  IosType* type = nullptr;
  if (ios_get_type_table(&table, nullptr, file_id) != 0 || ios_type_lookup(table, type_id, &type, nullptr) != 0 ||
      type == nullptr) {
    *found = false;
    return 0;
  }
  return type->kind;
}

void walk_module_types(Walk& w, IeeeDebugBlock* block) {
  IeeeWriter* writer = w.writer;
  IosDebugHandle module = slot_handle(block, IEEE_SLOT_MODULE);
  uint32_t count = 0;
  if (ios_module_type_count(module.file_id, module.root_id, module.record_id, &count, nullptr) != 0) count = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t entry[3];
    TypeHandle type{};
    // An entry that names no type is left out rather than repeating the previous one.
    if (ios_module_type_at(module.file_id, module.root_id, module.record_id, i, entry, nullptr) == 0 &&
        module_type(writer, entry[2], &type)) {
      const uint32_t words[3] = {type.file_id, type.root_id, type.type_id};
      slot_store(block, IEEE_SLOT_TYPE, words);
      uint32_t complex = 1;
      if (ios_type_is_complex(type.file_id, type.root_id, type.type_id, &complex, nullptr) != 0) complex = 1;
      bool found = false;
      uint32_t kind = type_kind(type.file_id, type.type_id, &found);
      if (complex == 0 && (!found || kind != KIND_MEMBER)) w.emit(IEEE_TY, nullptr);
    }
    writer->type_scratch = 0;
  }
}

void walk_global_types(Walk& w, IeeeDebugBlock* block) {
  IeeeWriter* writer = w.writer;
  IosDebugHandle key{writer->file_id, writer->debug_root_id, writer->first_type_table};
  IosTypeTable* table = nullptr;
  if (ios_get_typetable(key, &table, nullptr) != 0 || table == nullptr) return;
  uint32_t count = table->types == nullptr ? 0 : table->types->highest_id;
  for (uint32_t i = 0; i < count; ++i) {
    if (ios_get_typetable(key, &table, nullptr) == 0 && table != nullptr) {
      uint32_t id = 0;
      if (table->types != nullptr && i < table->types->capacity) id = ios_item_id(table->types->slots[i]);
      const uint32_t words[3] = {table->handle.file_id, table->handle.root_id, id};
      slot_store(block, IEEE_SLOT_TYPE, words);
      bool found = false;
      uint32_t kind = id >= IOS_FIRST_TYPE_ID ? type_kind(writer->file_id, id, &found) : 0;
      if (id >= 1 && !(found && kind == KIND_MEMBER)) w.emit(IEEE_TY, nullptr);
    }
    writer->type_scratch = 0;
  }
}

using RefCountReader = int (*)(uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*);
using RefReader = int (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*);

// Visits every reference of a record that its count announces, in order; a count that
// does not read is none, and a reference that does not read is skipped.
template <typename Visit>
void for_each_ref(const IosDebugHandle& owner, RefCountReader count_of, RefReader ref_at, Visit visit) {
  uint32_t count = 0;
  if (count_of(owner.file_id, owner.root_id, owner.record_id, &count, nullptr) != 0) count = 0;
  for (uint32_t j = 0; j < count; ++j) {
    uint32_t handle[3];
    if (ref_at(owner.file_id, owner.root_id, owner.record_id, j, handle, nullptr) == 0) visit(handle);
  }
}

// Visits the module's assembler-section records in id order by their four-word
// handles {file, root, module, record}.
template <typename Visit>
void for_each_asm_section(const IosDebugHandle& module, Visit visit) {
  uint32_t count = 0;
  if (ios_module_get_tree_measure(module.file_id, module.root_id, module.record_id, &count, nullptr) != 0) count = 0;
  for (uint32_t a = 0; a < count; ++a) {
    uint32_t record[4];
    if (ios_module_asm_section_walk(module.file_id, module.root_id, module.record_id, a, record, nullptr) != 0) {
      continue;
    }
    visit(record);
  }
}

void walk_module_scope(Walk& w, IeeeDebugBlock* block) {
  IeeeWriter* writer = w.writer;
  IosDebugHandle module = slot_handle(block, IEEE_SLOT_MODULE);
  uint32_t functions = 0;
  if (ios_module_get_count_a(module.file_id, module.root_id, module.record_id, &functions, nullptr) != 0) functions = 0;
  for (uint32_t i = 0; i < functions; ++i) {
    uint32_t function[3];
    if (ios_module_get_ref_b(module.file_id, module.root_id, module.record_id, i, function, nullptr) != 0) continue;
    uint32_t word = 0;
    // A function without a kind word opens a function block of kind 4.
    if (ios_debug_get_word_a(function[0], function[1], function[2], &word, nullptr) != 0) word = 0;
    open_block(w, word == 3 ? 6 : 4, [&](IeeeDebugBlock* b) { slot_store(b, IEEE_SLOT_FUNCTION, function); }, true);
  }
  uint32_t variables = 0;
  if (ios_module_variable_count(module, &variables, nullptr) != 0) variables = 0;
  for (uint32_t j = 0; j < variables; ++j) {
    uint32_t variable[3];
    if (ios_module_get_ref_c(module.file_id, module.root_id, module.record_id, j, variable, nullptr) != 0) continue;
    walk_variable(w, IEEE_SLOT_VARIABLE, variable);
  }
  // Every entry of the module's assembler sections: a block of its own, whose
  // filler reads the entry by the expression index.
  for_each_asm_section(module, [&](const uint32_t record[4]) {
    uint32_t entries = 0;
    if (ios_asm_section_get_count(record[0], record[1], record[2], record[3], &entries, nullptr) != 0) entries = 0;
    for (uint32_t k = 0; k < entries; ++k) {
      writer->expression_index = k;
      open_block(w, 6, [&](IeeeDebugBlock* b) { slot_store(b, IEEE_SLOT_ASM_SECTION, record); }, false);
    }
  });
}

// The module's assembler variables, then a block per assembler section that names
// a section.
void walk_assembler_module(Walk& w, IeeeDebugBlock* block) {
  IosDebugHandle module = slot_handle(block, IEEE_SLOT_MODULE);
  for_each_ref(module, ios_module_get_count_b, ios_module_get_ref_a,
               [&](uint32_t* handle) { walk_variable(w, IEEE_SLOT_VARIABLE, handle); });
  for_each_asm_section(module, [&](const uint32_t record[4]) {
    IosAsmSection* found = nullptr;
    if (ios_get_asm_section(IosDebugHandle{record[0], record[2], record[3]}, &found, nullptr) == 0 &&
        found != nullptr) {
      if (static_cast<int32_t>(found->name.object_id) < 1) return;
    }
    open_block(w, 11, [&](IeeeDebugBlock* b) { slot_store(b, IEEE_SLOT_ASM_SECTION, record); }, false);
  });
}

void open_lexical_block(Walk& w, uint32_t handle[3]) {
  open_block(w, 6, [&](IeeeDebugBlock* child) { slot_store(child, IEEE_SLOT_LEXICAL, handle); }, true);
}

void walk_function(Walk& w, IeeeDebugBlock* block) {
  IosDebugHandle f = slot_handle(block, IEEE_SLOT_FUNCTION);
  for_each_ref(f, ios_debug_get_count_a, ios_debug_get_ref_a,
               [&](uint32_t* handle) { walk_variable(w, IEEE_SLOT_PARAMETER, handle); });
  for_each_ref(f, ios_debug_get_count_c, ios_debug_get_ref_b,
               [&](uint32_t* handle) { walk_variable(w, IEEE_SLOT_VARIABLE, handle); });
  for_each_ref(f, ios_debug_get_word_c, ios_debug_get_ref_c,
               [&](uint32_t* handle) { open_lexical_block(w, handle); });
}

void walk_lexical_block(Walk& w, IeeeDebugBlock* block) {
  IosDebugHandle b = slot_handle(block, IEEE_SLOT_LEXICAL);
  for_each_ref(b, ios_debug_get_count_b, ios_debug_get_ref_d,
               [&](uint32_t* handle) { walk_variable(w, IEEE_SLOT_VARIABLE, handle); });
  for_each_ref(b, ios_debug_get_word_b, ios_debug_get_ref_e,
               [&](uint32_t* handle) { open_lexical_block(w, handle); });
}

void walk_line_block(Walk& w, IeeeDebugBlock* block) {
  IeeeWriter* writer = w.writer;
  uint32_t handle[4];
  slot_words_out(block, IEEE_SLOT_LINE_BLOCK, handle);
  uint32_t count = 0;
  if (ios_line_block_child_count(handle, &count, nullptr) != 0) count = 0;
  for (uint32_t j = 0; j < count; ++j) {
    uint32_t child[4];
    if (ios_line_block_get_child(handle, j, child, nullptr) != 0) continue;
    open_block(w, 5, [&](IeeeDebugBlock* b) { slot_store(b, IEEE_SLOT_LINE_BLOCK, child); }, true);
  }
  struct ItemKind {
    int (*count)(const uint32_t*, uint32_t*, IosErrorCode*);
    int (*get)(const uint32_t*, uint32_t, uint32_t*, IosErrorCode*);
    uint32_t slot;
    uint32_t letter;
  };
  const ItemKind kinds[3] = {
      {ios_line_block_line_count, ios_line_block_get_line, IEEE_SLOT_LINE, LETTER_H},
      {ios_line_block_delta_count, ios_line_block_get_delta, IEEE_SLOT_DELTA, LETTER_Q},
      {ios_line_block_special_count, ios_line_block_get_special, IEEE_SLOT_SPECIAL, LETTER_U},
  };
  for (const ItemKind& kind : kinds) {
    uint32_t items = 0;
    if (kind.count(handle, &items, nullptr) != 0) items = 0;
    for (uint32_t j = 0; j < items; ++j) {
      uint32_t item[5];
      if (kind.get(handle, j, item, nullptr) != 0) continue;
      IeeeDebugBlock* top = ieee_block_top(writer);
      slot_store(top, kind.slot, item);
      IeeeVariable argument{kind.letter, 0};
      writer->delta_number = 0;
      w.emit(IEEE_AS, &argument);
      if (kind.letter == LETTER_Q && writer->delta_number != 0) {
        ieee_block_top(writer);
        w.emit(IEEE_AT, nullptr);
      }
    }
  }
}

void walk(Walk& w) {
  IeeeWriter* writer = w.writer;
  IeeeDebugBlock* block = ieee_block_top(writer);
  if (block == nullptr) return;
  switch (block->kind) {
    case 0:
      walk_section_bases(w);
      break;
    case 1:
      walk_module_types(w, block);
      break;
    case 2:
      walk_global_types(w, block);
      break;
    case 3:
      walk_module_scope(w, block);
      break;
    case 4:
      walk_function(w, block);
      break;
    case 5:
      walk_line_block(w, block);
      break;
    case 6:
      if (slot_set(block, IEEE_SLOT_LEXICAL)) walk_lexical_block(w, block);
      else walk_function(w, block);
      break;
    case 10:
      walk_assembler_module(w, block);
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t ieee_fill_debug_record(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  switch (writer->current->type) {
    case IEEE_AS:
      return fill_as(writer, argument, error);
    case IEEE_NN:
      return fill_nn(writer, argument, error);
    case IEEE_AT:
      return fill_at(writer, argument, error);
    case IEEE_BB:
      return ieee_fill_block_begin(writer, error);
    case IEEE_BE:
      return ieee_fill_block_end(writer, error);
    case IEEE_TY:
      return ieee_fill_type_record(writer, error);
    default:
      return fail(error, ERR_SYNTAX);
  }
}

IeeeLetterRecord* ieee_new_letter_record(IeeeWriter* writer, uint32_t letter, uint64_t index) {
  if (writer == nullptr) return nullptr;
  auto record = std::unique_ptr<IeeeLetterRecord>(new (std::nothrow) IeeeLetterRecord{});
  if (record == nullptr) return nullptr;
  record->letter = letter;
  record->index = index;
  ios_value_init(&record->value);
  IeeeLetterRecord* raw = record.get();
  writer->letter_records.push_back(std::move(record));
  // The new record is the one later lookups of {letter, index} find.
  writer->letter_tables[(uint64_t{letter & 0xFF} << 56) | (index & 0x00FFFFFFFFFFFFFFu)] = raw;
  writer->letter_cache = raw;
  return raw;
}

int ieee_write_debug_part(IeeeWriter* writer, uint32_t* error) {
  *error = 0;
  writer->current_block = ieee_block_top(writer);
  writer->current_part = 4;
  int64_t position = writer->stream == nullptr
                         ? -1
                         : static_cast<int32_t>(static_cast<uint32_t>(writer->stream->position));
  if (writer->next_section_index == 1 || writer->module_count == 0) {
    writer->parts[4].offset = 0;
    return 0;
  }
  writer->parts[4].offset = position;
  Walk w{writer};
  auto no_slots = [](IeeeDebugBlock*) {};
  if (writer->global_types != 0) open_block(w, 2, no_slots, true);
  uint32_t modules = 0;
  IosDebugFamily* admin = nullptr;
  if (ios_debug_get_modules(writer->file_id, &admin, nullptr) == 0 && admin->table != nullptr) {
    modules = admin->table->highest_id;
  }
  for (uint32_t i = 0; i < modules; ++i) {
    uint32_t module[3];
    if (ios_get_module_entry(writer->file_id, writer->debug_root_id, i, module, nullptr) != 0) continue;
    uint32_t count = 0;
    IosErrorCode ignored = IOS_ERR_INTERNAL;
    bool lines = ios_module_line_block_count(module[0], module[1], module[2], &count, &ignored) == 0 && count != 0;
    count = 0;
    bool types = ios_module_type_count(module[0], module[1], module[2], &count, &ignored) == 0 && count != 0;
    count = 0;
    bool sections = ios_module_get_tree_measure(module[0], module[1], module[2], &count, &ignored) == 0 && count != 0;
    count = 0;
    bool scope = ios_module_get_count_a(module[0], module[1], module[2], &count, &ignored) == 0 && count != 0;
    count = 0;
    IosDebugHandle handle{module[0], module[1], module[2]};
    scope = scope || (ios_module_variable_count(handle, &count, &ignored) == 0 && count != 0) || sections;
    writer->module_flags[0] = types;
    writer->module_flags[1] = scope;
    writer->module_flags[2] = lines;
    writer->module_flags[3] = sections;
    auto module_slot = [&](IeeeDebugBlock* b) { slot_store(b, IEEE_SLOT_MODULE, module); };
    open_block(w, 1, module_slot, types);
    if (scope) {
      open_block(w, 3, module_slot, true);
      uint32_t first[4];
      if (lines && ios_module_line_block_at(module[0], module[1], module[2], 0, first, &ignored) == 0) {
        open_block(w, 5, [&](IeeeDebugBlock* b) {
          slot_store(b, IEEE_SLOT_MODULE, module);
          slot_store(b, IEEE_SLOT_LINE_BLOCK, first);
        }, true);
      }
    }
    if (sections) open_block(w, 10, module_slot, true);
    if (i + 1 < modules) open_block(w, 0, module_slot, false);
  }
  if (writer->object_kind == 4) open_block(w, 0, no_slots, true);
  if (w.result != 0) *error = w.code;
  return w.result;
}
