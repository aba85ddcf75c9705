// The record filler of the module writer: fills the record under construction from
// the object store, the writer and the clock, by the part being written.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_kit.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr uint32_t ERR_INTERNAL = 1;
constexpr uint32_t ERR_FILE_IO = 2;
constexpr uint32_t ERR_PRODUCER = 5;
constexpr uint32_t ERR_STORE = 6;
constexpr uint32_t ERR_OBLIGATED = 8;
constexpr uint32_t ERR_SYNTAX = 10;

uint32_t fail(uint32_t* error, uint32_t code) {
  *error = code;
  return 1;
}

// Text of a string property; null when unset or without text.
const char* string_text(IosHandle handle) {
  if (handle.object_id < 1) return nullptr;
  const char* text = nullptr;
  if (ios_string_get_text(handle, &text, nullptr) != 0) return nullptr;
  return text;
}

// Encodes the expression into the body value as its byte run.
uint32_t set_encoded(IeeeWriter* writer, IosValue* body_value, ExprNode* expression, uint32_t* error) {
  IosValue value{};
  ios_value_init(&value);
  value.expression = expression;
  uint32_t result = static_cast<uint32_t>(ieee_value_encode(writer, &value, error));
  value.expression = nullptr;
  if (result == 0 && ieee_buf_length(value.text) == 0) result = fail(error, ERR_OBLIGATED);
  ios_value_clear(body_value);
  if (result == 0) body_value->text = value.text;
  else ieee_buf_free(value.text);
  return result;
}

// Encodes a symbol's value held as section + offset into the body value, as
// set_encoded would encode the tree of that sum. False when the symbol's value is
// not held that way.
bool set_encoded_section_offset(IeeeWriter* writer, IosValue* body_value, IosHandle symbol, uint32_t* result,
                                uint32_t* error) {
  uint32_t offset = 0;
  ExprSlotRef base{};
  if (ios_symbol_get_section_offset(symbol, &offset, &base, nullptr) != 0) return false;
  StrBuf* text = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  *result = 0;
  if (text == nullptr || ieee_encode_section_offset(writer, text, base, offset) != 0) {
    if (error != nullptr) *error = 5;
    *result = 1;
  }
  if (*result == 0 && ieee_buf_length(text) == 0) *result = fail(error, ERR_OBLIGATED);
  ios_value_clear(body_value);
  if (*result == 0) body_value->text = text;
  else ieee_buf_free(text);
  return true;
}

// Builds "reference + offset" in the writer's expression context.
ExprNode* reference_plus(IeeeWriter* writer, uint32_t slot, int32_t kind, int64_t offset) {
  ExprLibContext* context = writer->expression_context;
  if (context == nullptr) return nullptr;
  ExprNode* reference = nullptr;
  ExprNode* number = nullptr;
  ExprNode* sum = nullptr;
  if (objexpr_make_slot_ref(context, &reference, slot, context) != 0) return nullptr;
  if (objexpr_make_integer(context, &number, offset) == 0) {
    objexpr_make_operator(context, &sum, kind, 2, reference, number);
  }
  expr_release(reference);
  expr_release(number);
  return sum;
}

ExprNode* reference_node(IeeeWriter* writer, uint32_t slot) {
  ExprNode* reference = nullptr;
  if (writer->expression_context == nullptr ||
      objexpr_make_slot_ref(writer->expression_context, &reference, slot, writer->expression_context) != 0) {
    return nullptr;
  }
  return reference;
}

// AS records of sections and the trailer: the value by the variable's letter.
uint32_t fill_assign_value(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  ExprNode* expression = nullptr;
  bool owned = true;
  uint32_t size = 0;
  switch (argument->letter) {
    case 0xC7: {
      IosFile* file = nullptr;
      if (ios_get_file(writer->file_id, &file, nullptr) != 0 || file == nullptr || file->entry_expr == nullptr) {
        return fail(error, ERR_STORE);
      }
      expression = file->entry_expr;
      owned = false;
      break;
    }
    case 0xCC:
      if (entry == nullptr || ios_section_get_address_expr(entry->section, &expression, nullptr) != 0) {
        return fail(error, ERR_STORE);
      }
      owned = false;
      break;
    case 0xD0:
      if (entry != nullptr) expression = reference_node(writer, static_cast<uint32_t>(entry->records[2]->reference_value));
      break;
    case 0xD2: {
      if (entry == nullptr || ios_section_get_size(entry->section, &size, nullptr) != 0) return fail(error, ERR_STORE);
      uint32_t alignment = 0;
      if (ios_section_get_alignment(entry->section, &alignment, nullptr) != 0 || alignment == 0) alignment = 1;
      expression = reference_plus(writer, static_cast<uint32_t>(entry->records[1]->reference_value), EXPR_ADD,
                                  int64_t{size} + size % alignment);
      break;
    }
    case 0xD3:
      if (entry == nullptr || ios_section_get_size(entry->section, &size, nullptr) != 0) return fail(error, ERR_STORE);
      if (writer->expression_context != nullptr) objexpr_make_integer(writer->expression_context, &expression, size);
      break;
    default:
      return 0;
  }
  IeeeBodyAS& body = writer->current->body->as;
  body.letter = argument->letter;
  body.index = argument->index;
  uint32_t result = expression != nullptr ? set_encoded(writer, &body.value, expression, error)
                                          : fail(error, ERR_OBLIGATED);
  if (owned) expr_release(expression);
  return result;
}

uint32_t fill_part_offset(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IosValue& value = argument->value;
  if (value.number1 == IEEE_UNSET32 && value.number2 == IEEE_UNSET32) {
    if (argument->letter == 0) return fail(error, ERR_OBLIGATED);
    ieee_value_set_number(&value, IEEE_PART_PLACEHOLDER);
    IeeeBodyAS& body = writer->current->body->as;
    body.letter = argument->letter;
    body.index = argument->index;
    ios_value_copy(&body.value, &value);
    // The value sits at bytes 4 to 7 of the record that starts here.
    ieee_value_set_number(&value, writer->stream != nullptr ? writer->stream->position : IEEE_UNSET);
    return 0;
  }
  uint64_t position = ieee_value_number(value);
  if (argument->index >= IEEE_PART_COUNT || position == IEEE_UNSET) return fail(error, ERR_INTERNAL);
  auto offset = static_cast<uint32_t>(writer->parts[argument->index].offset);
  const uint8_t bytes[4] = {static_cast<uint8_t>(offset >> 24), static_cast<uint8_t>(offset >> 16),
                            static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)};
  if (std::fseek(writer->handle, static_cast<long>(position + 4), SEEK_SET) != 0 ||
      std::fwrite(bytes, 1, 4, writer->handle) != 4) {
    return fail(error, ERR_FILE_IO);
  }
  ieee_value_set_number(&value, static_cast<uint64_t>(writer->parts[argument->index].offset));
  return 0;
}

uint32_t fill_head(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IosFile* file = nullptr;
  if (ios_get_file(writer->file_id, &file, nullptr) != 0 || file == nullptr) return fail(error, ERR_STORE);
  IeeeBody* body = writer->current->body;
  switch (writer->current->type) {
    case IEEE_MB: {
      const char* processor = string_text(file->strings[4]);
      if (processor == nullptr) return fail(error, ERR_OBLIGATED);
      body->mb.processor = ieee_buf_from_string(processor);
      if (const char* module = string_text(file->strings[0])) body->mb.module = ieee_buf_from_string(module);
      return body->mb.processor != nullptr ? 0 : fail(error, ERR_PRODUCER);
    }
    case IEEE_AD: {
      uint32_t mau = file->mau_size;
      uint32_t address_bits = file->aux_word != 0 ? file->aux_word : mau;
      uint32_t order = file->byte_order != 0 ? file->byte_order : 1;
      writer->bits_per_mau = mau;
      writer->maus_per_address = mau != 0 ? address_bits / mau : 0;
      writer->byte_order = order;
      if (mau == 0) return fail(error, ERR_OBLIGATED);
      body->ad = IeeeBodyAD{mau, writer->maus_per_address, order == 1 ? 0xCCu : 0xCDu};
      return 0;
    }
    case IEEE_AS:
      if (argument == nullptr || argument->letter != 0xD7) return 0;
      return fill_part_offset(writer, argument, error);
    default:
      return fail(error, ERR_SYNTAX);
  }
}

uint32_t fill_date(IeeeWriter* writer) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  writer->current->body->dt = IeeeBodyDT{{uint64_t(local.tm_year + 1900), uint64_t(local.tm_mon + 1),
                                          uint64_t(local.tm_mday), uint64_t(local.tm_hour),
                                          uint64_t(local.tm_min), uint64_t(local.tm_sec)}};
  return 0;
}

}  // namespace

// ---- Filler steps with names of their own ---------------------------------------

uint32_t ieee_fill_comment(IeeeWriter* writer, uint32_t* error) {
  IeeeBodyCO& body = writer->current->body->co;
  IosFile* file = nullptr;
  bool found = ios_get_file(writer->file_id, &file, nullptr) == 0 && file != nullptr;
  const char* text = nullptr;
  switch (static_cast<int64_t>(body.number)) {
    case 37:
      if (writer->object_version == 11) text = "Object version: 1.1";
      else if (writer->object_version == 12) text = "Object version: 1.2";
      else return fail(error, ERR_INTERNAL);
      break;
    case 38:
      text = found && file->mode_word == IOS_MODE_ABSOLUTE ? "Object format: Absolute" : "Object format: Relocatable";
      break;
    case 41:
      if (!found) return fail(error, ERR_STORE);
      text = file->misrac_text;
      break;
    case 51:
      if (!found) return fail(error, ERR_STORE);
      text = string_text(file->tool_invocation);
      break;
    case 53:
      // The store keeps no tenth string property.
      break;
    case 54:
      if (!found) return fail(error, ERR_STORE);
      text = string_text(file->tool_name);
      break;
    default:
      return fail(error, ERR_SYNTAX);
  }
  body.text = ieee_buf_from_string(text != nullptr ? text : "Comment unavailable");
  return body.text != nullptr ? 0 : fail(error, ERR_PRODUCER);
}

uint32_t ieee_fill_section_type(IeeeWriter* writer, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  if (entry == nullptr || entry->index < 1) return fail(error, ERR_OBLIGATED);
  IosSection* section = nullptr;
  if (ios_get_section(entry->section, &section, nullptr) != 0 || section == nullptr) return fail(error, ERR_STORE);
  IeeeBodyST& body = writer->current->body->st;
  body.section = entry->index;
  uint32_t used = 0;
  auto add = [&](uint32_t word) {
    if (used + 1 < IEEE_ST_LIST_WORDS) body.types[used++] = word;
  };
  uint32_t attributes = section->attributes;
  ExprNode* address = nullptr;
  if (ios_section_get_address_expr(entry->section, &address, nullptr) == 0 && address != nullptr) add(0xC1);
  if (((attributes >> IOS_SECTION_TYPE_SHIFT) & IOS_SECTION_TYPE_MASK) == 1) add(0xC4);
  static constexpr uint8_t kAccess[] = {0xD5, 0xC3, 0xD3, 0xCD, 0xC5, 0xCF, 0xD1};
  uint32_t access = (attributes >> IOS_SECTION_ACCESS_SHIFT) & IOS_SECTION_ACCESS_MASK;
  if (access >= 1 && access <= 7) add(kAccess[access - 1]);
  static constexpr uint8_t kContent[] = {0xD8, 0xC9, 0xC2, 0xC6};
  uint32_t content = (attributes >> IOS_SECTION_CONTENT_SHIFT) & IOS_SECTION_CONTENT_MASK;
  if (content >= 1 && content <= 4) add(kContent[content - 1]);
  uint32_t placement = (attributes >> IOS_SECTION_PLACEMENT_SHIFT) & IOS_SECTION_PLACEMENT_MASK;
  if (placement == 1) add(0xCE);
  if (placement == 2) add(0xD0);
  uint32_t section_class = (attributes >> IOS_SECTION_CLASS_SHIFT) & IOS_SECTION_CLASS_MASK;
  if (section_class != 0 && section_class != IOS_SECTION_CLASS_MASK) add(section_class == 2 ? 0xD2 : 0xD7);
  if (section->number != 0xFFFFFFFFu && used + 2 < IEEE_ST_LIST_WORDS) {
    add(0xD9);
    add(section->number & 0xFF);
  }
  if (const char* name = string_text(section->name)) body.name = ieee_buf_from_string(name);
  return 0;
}

// AS O: the call expression of the call-graph root at the current call index.
uint32_t ieee_fill_call_list_value(IeeeWriter* writer, uint32_t* error) {
  IeeeLetterRecord* argument = writer->letter_cache;
  if (argument == nullptr) return fail(error, ERR_OBLIGATED);
  if (argument->value.text == nullptr) argument->value.text = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (argument->value.text == nullptr) return fail(error, ERR_PRODUCER);
  IosCallGraphNode* node = nullptr;
  if (ios_callgraph_get_entry(writer->file_id, writer->call_index, &node, nullptr) != 0 || node == nullptr) {
    return fail(error, ERR_STORE);
  }
  *error = 0;
  // The NN records of the called functions go out ahead of this record.
  if (ieee_encode_callgraph(writer, argument->value.text, error, node->key) != 0) {
    return fail(error, *error != 0 ? *error : ERR_STORE);
  }
  if (ieee_buf_length(argument->value.text) == 0) return fail(error, ERR_OBLIGATED);
  IeeeBodyAS& body = writer->current->body->as;
  body.letter = argument->letter;
  body.index = argument->index;
  ios_value_clear(&body.value);
  body.value.text = ieee_buf_dup(argument->value.text);
  return body.value.text != nullptr ? 0 : fail(error, ERR_PRODUCER);
}

uint32_t ieee_fill_data_record(IeeeWriter* writer, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  uint32_t count = writer->next_count;
  uint32_t width = entry != nullptr ? entry->mau_bits : 0;
  uint32_t bytes_per_mau = (width + 7) / 8;
  // A MAU wider than a data word would lose its high bits.
  if (entry == nullptr || width == 0 || width > 32) return fail(error, ERR_PRODUCER);
  if (count == 0 || uint64_t{count} * bytes_per_mau > IEEE_LD_DATA_BYTES) return fail(error, ERR_PRODUCER);
  IosHandle image{0, 0};
  IosHandle data{0, 0};
  IosData* window = nullptr;
  if (ios_section_get_image(entry->section, &image, nullptr) != 0 ||
      ios_data_place(image, width, static_cast<uint32_t>(entry->load_address), count, &data, nullptr) != 0) {
    return fail(error, ERR_STORE);
  }
  if (ios_get_data(data, &window, nullptr) != 0 || window == nullptr || window->words == nullptr) {
    ios_section_remove_data(entry->section, data, nullptr);
    return fail(error, ERR_STORE);
  }
  IeeeBodyLD& body = writer->current->body->ld;
  body.count = uint64_t{count} * bytes_per_mau;
  // Units go out in address order whatever the module's byte order: a reader loads
  // a data record at ascending addresses, so reversing the units of a record would
  // scramble the section against the ELF image of the same source.
  uint32_t out = 0;
  for (uint32_t unit = 0; unit < count; ++unit) {
    for (uint32_t i = bytes_per_mau; i-- > 0;) body.data[out++] = static_cast<uint8_t>(window->words[unit] >> (8 * i));
  }
  int removed = ios_section_remove_data(entry->section, data, nullptr);
  entry->load_address += count;
  return removed == 0 ? 0 : fail(error, ERR_STORE);
}

uint32_t ieee_fill_relocation_item(IeeeWriter* writer, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  ExprNode* expression = writer->data_mode == 3 ? writer->next_relocation : nullptr;
  uint32_t count = writer->next_count;
  if (entry != nullptr) entry->load_address += count;
  if (expression == nullptr || count == 0) return fail(error, ERR_OBLIGATED);
  StrBuf* bytes = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (bytes == nullptr || ieee_buf_put_byte(bytes, 0xBE) != 0 ||
      ieee_encode_expression(writer, bytes, expression) != 0 ||
      (count != writer->maus_per_address && ieee_encode_number(bytes, count) != 0) ||
      ieee_buf_put_byte(bytes, 0xBF) != 0) {
    ieee_buf_free(bytes);
    return fail(error, ERR_PRODUCER);
  }
  IeeeBodyLR& body = writer->current->body->lr;
  body.item_kind = IEEE_LR_EXPRESSION;
  ios_value_clear(&body.expression);
  body.expression.text = bytes;
  body.value_kind = 2;
  return 0;
}

uint32_t ieee_fill_pending_name(IeeeWriter* writer, uint32_t* error) {
  IosHandle name = writer->pending_name;
  writer->pending_name = IosHandle{0, 0};
  if (name.object_id < 1) {
    // Without a name the record would carry no variable at all.
    writer->skip = 1;
    return 0;
  }
  ++writer->name_counter;
  const char* text = string_text(name);
  if (text == nullptr) return fail(error, ERR_OBLIGATED);
  // Generated names follow the module's own names, whose indexes share the N space.
  uint32_t index = std::max(writer->second_name_counter, writer->next_name_index);
  writer->second_name_counter = index + 1;
  writer->generated_name = index;
  IeeeBodyName& body = writer->current->body->name;
  body.letter = 0xCE;
  body.index = index;
  body.name = ieee_buf_from_string(text);
  return body.name != nullptr ? 0 : fail(error, ERR_PRODUCER);
}

namespace {

uint32_t fill_sections(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  IeeeBody* body = writer->current->body;
  switch (writer->current->type) {
    case IEEE_AS:
      if (argument != nullptr && (argument->letter == 0xCC || argument->letter == 0xD3)) {
        return fill_assign_value(writer, argument, error);
      }
      if (argument != nullptr && argument->letter == 0xCF) return ieee_fill_call_list_value(writer, error);
      return 0;
    case IEEE_ST:
      return ieee_fill_section_type(writer, error);
    case IEEE_SA: {
      IosSection* section = nullptr;
      if (entry == nullptr || ios_get_section(entry->section, &section, nullptr) != 0 || section == nullptr) {
        return fail(error, ERR_STORE);
      }
      if (section->alignment == 0) return fail(error, ERR_OBLIGATED);
      body->sa.section = entry->index;
      body->sa.alignment = section->alignment;
      return 0;
    }
    case IEEE_FB:
      if (entry == nullptr) return fail(error, ERR_OBLIGATED);
      if (entry->mau_bits < 1) entry->mau_bits = writer->bits_per_mau;
      body->fb = IeeeBodyFB{entry->index, entry->mau_bits};
      return 0;
    case IEEE_NN:
      return ieee_fill_pending_name(writer, error);
    default:
      return fail(error, ERR_SYNTAX);
  }
}

uint32_t fill_externals(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeNameEntry* entry = writer->current_name;
  if (entry == nullptr) return fail(error, ERR_OBLIGATED);
  IeeeLetterRecord* name = entry->record;
  IosSymbol* symbol = nullptr;
  bool found = ios_get_symbol(entry->symbol, &symbol, nullptr) == 0 && symbol != nullptr;
  IeeeBody* body = writer->current->body;
  switch (writer->current->type) {
    case IEEE_AS: {
      if (argument == nullptr || (argument->letter != 0xCE && argument->letter != 0xC9)) {
        return fail(error, ERR_OBLIGATED);
      }
      uint32_t result = 0;
      if (found && ios_symbol_get_section_offset(entry->symbol, nullptr, nullptr, nullptr) == 0) {
        body->as.letter = argument->letter;
        body->as.index = argument->index;
        set_encoded_section_offset(writer, &body->as.value, entry->symbol, &result, error);
        return result;
      }
      ExprNode* value = nullptr;
      if (!found || ios_symbol_get_section_expr(entry->symbol, &value, nullptr) != 0 || value == nullptr) {
        return fail(error, ERR_OBLIGATED);
      }
      body->as.letter = argument->letter;
      body->as.index = argument->index;
      return set_encoded(writer, &body->as.value, value, error);
    }
    case IEEE_NI:
    case IEEE_NX:
    case IEEE_NN: {
      const char* text = found ? string_text(symbol->name) : nullptr;
      if (text == nullptr) return fail(error, ERR_OBLIGATED);
      body->name.letter = name->letter;
      body->name.index = name->index;
      body->name.name = ieee_buf_from_string(text);
      return body->name.name != nullptr ? 0 : fail(error, ERR_PRODUCER);
    }
    case IEEE_AT: {
      if (!found) return fail(error, ERR_STORE);
      uint32_t width = symbol->mau_size;
      if (width == 0 && entry->section != nullptr) width = entry->section->mau_bits;
      if (width == 0) width = writer->bits_per_mau;
      uint32_t number = 0;
      if (ios_symbol_get_section_number(entry->symbol, &number, nullptr) != 0) number = 0;
      body->at.letter = name->letter;
      body->at.index = name->index;
      // Attribute 19: a symbol that the assembler made. The store keeps no other
      // attribute number for a symbol, so every name carries this one.
      body->at.numbers[0] = 19;
      body->at.numbers[1] = ((width & 0xFFu) << 4) | (number & 0xFu);
      return 0;
    }
    case IEEE_WX: {
      uint32_t weak = 0;
      if (name->letter != 0xD8 || ios_symbol_get_weak(entry->symbol, &weak, nullptr) != 0 || weak == 0) {
        return fail(error, ERR_OBLIGATED);
      }
      body->wx.index = name->index;
      uint32_t result = 0;
      if (set_encoded_section_offset(writer, &body->wx.value, entry->symbol, &result, error)) return result;
      ExprNode* value = nullptr;
      if (ios_symbol_get_section_expr(entry->symbol, &value, nullptr) == 0 && value != nullptr) {
        return set_encoded(writer, &body->wx.value, value, error);
      }
      return 0;
    }
    case IEEE_FC: {
      uint32_t weak = 0;
      if (name->letter != 0xC9 || ios_symbol_get_weak(entry->symbol, &weak, nullptr) != 0 || weak == 0) {
        return fail(error, ERR_OBLIGATED);
      }
      body->name.index = name->index;
      return 0;
    }
    default:
      return fail(error, ERR_SYNTAX);
  }
}

// AS P away from the data just loaded: the step from the current load address, in
// bytes, written as P plus or minus that many units. P stands for the load address
// itself, so a step back is as plain as a step forward.
uint32_t fill_load_step(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  if (entry == nullptr) return fail(error, ERR_OBLIGATED);
  auto step = static_cast<int64_t>(ieee_value_number(argument->value));
  if (step == 0) return fail(error, ERR_INTERNAL);
  uint64_t bytes_per_mau = (entry->mau_bits + 7) / 8;
  uint64_t magnitude = step < 0 ? uint64_t{0} - static_cast<uint64_t>(step) : static_cast<uint64_t>(step);
  uint64_t units = magnitude / (bytes_per_mau != 0 ? bytes_per_mau : 1);
  // The number coder holds signed 64-bit values only.
  if (units > static_cast<uint64_t>(INT64_MAX)) return fail(error, ERR_INTERNAL);
  StrBuf* bytes = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (bytes == nullptr || ieee_buf_put_byte(bytes, 0xD0) != 0 || ieee_encode_number(bytes, entry->index) != 0 ||
      ieee_encode_number(bytes, static_cast<int64_t>(units)) != 0 ||
      ieee_buf_put_byte(bytes, step < 0 ? 0xA6 : 0xA5) != 0) {
    ieee_buf_free(bytes);
    return fail(error, ERR_PRODUCER);
  }
  IeeeBodyAS& body = writer->current->body->as;
  body.letter = argument->letter;
  body.index = argument->index;
  ios_value_clear(&body.value);
  body.value.text = bytes;
  return 0;
}

uint32_t fill_data(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  IeeeSectionEntry* entry = writer->current_section;
  IeeeBody* body = writer->current->body;
  switch (writer->current->type) {
    case IEEE_AS: {
      if (argument == nullptr) return 0;
      if (argument->letter == 0xD2) return fill_assign_value(writer, argument, error);
      if (argument->letter != 0xD0) return 0;
      if (writer->moving_load_address == 0 && writer->last_record_kind == IEEE_SB) {
        return fill_assign_value(writer, argument, error);
      }
      return fill_load_step(writer, argument, error);
    }
    case IEEE_LR:
      if (writer->data_mode != 3) return fail(error, ERR_SYNTAX);
      return ieee_fill_relocation_item(writer, error);
    case IEEE_FA:
      return ieee_fill_relocation_item(writer, error);
    case IEEE_SB:
      if (entry == nullptr || entry->index < 1) return fail(error, ERR_OBLIGATED);
      body->number.number = entry->index;
      return 0;
    case IEEE_LD:
      if (writer->data_mode != 1) return fail(error, ERR_SYNTAX);
      return ieee_fill_data_record(writer, error);
    case IEEE_RE:
      if (writer->repeat_count < 1) return fail(error, ERR_OBLIGATED);
      body->number.number = writer->repeat_count;
      return 0;
    default:
      return fail(error, ERR_SYNTAX);
  }
}

}  // namespace

uint32_t ieee_fill_assign_value(IeeeWriter* writer, IeeeLetterRecord* argument, uint32_t* error) {
  return fill_assign_value(writer, argument, error);
}

uint32_t ieee_set_encoded(IeeeWriter* writer, IosValue* body_value, ExprNode* expression, uint32_t* error) {
  return set_encoded(writer, body_value, expression, error);
}

uint32_t ieee_fill_record(IeeeWriter* writer, uint32_t* error) {
  if (writer == nullptr || writer->current == nullptr || writer->current->body == nullptr) {
    return fail(error, ERR_INTERNAL);
  }
  uint32_t type = writer->current->type;
  // The argument of AS, NN and AT records is the variable the emission looked up;
  // encoding values moves the letter cache, so it is taken first.
  IeeeLetterRecord* argument = writer->letter_cache;
  uint32_t part = writer->current_part < IEEE_PART_COUNT ? writer->parts[writer->current_part].part : IEEE_PART_HEAD;
  uint32_t result = 0;
  switch (part) {
    case IEEE_PART_HEAD:
      result = type == IEEE_MB || type == IEEE_AD || type == IEEE_AS ? fill_head(writer, argument, error)
                                                                       : fail(error, ERR_SYNTAX);
      break;
    case 0:
    case 1:
      result = type == IEEE_CO ? ieee_fill_comment(writer, error)
               : type == IEEE_DT ? fill_date(writer)
                                 : fail(error, ERR_SYNTAX);
      break;
    case 2:
      result = fill_sections(writer, argument, error);
      break;
    case 3:
      result = fill_externals(writer, argument, error);
      break;
    case 5:
      result = fill_data(writer, argument, error);
      break;
    case 6:
      if (type != IEEE_AS) {
        result = fail(error, ERR_SYNTAX);
      } else if (argument != nullptr && argument->letter == 0xC7) {
        result = fill_assign_value(writer, argument, error);
      }
      break;
    case IEEE_PART_END:
      result = type == IEEE_ME ? 0 : fail(error, ERR_SYNTAX);
      break;
    case 4:
      result = ieee_fill_debug_record(writer, argument, error);
      break;
    default:
      result = fail(error, ERR_SYNTAX);
      break;
  }
  writer->last_record_kind = type;
  ieee_process_state().last_record_kind = type;
  return result;
}
