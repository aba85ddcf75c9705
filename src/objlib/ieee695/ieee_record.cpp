#include "objlib/ieee695/ieee_record.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ieee695/ieee_state.h"
#include "objlib/ios_pool.h"

namespace {

constexpr uint32_t LETTER_G = 0xC7;
constexpr uint32_t LETTER_I = 0xC9;
constexpr uint32_t LETTER_N = 0xCE;
constexpr uint32_t LETTER_T = 0xD4;
constexpr uint32_t LETTER_X = 0xD8;
constexpr uint32_t LETTER_Y = 0xD9;

bool is_set(uint64_t number) { return number != IEEE_UNSET; }
bool writing(const IeeeStream* stream) { return stream->mode != 0; }

// The next byte without taking it; false at the end of the input.
bool peek(IeeeStream* stream, uint8_t* byte) { return ieee_stream_peek_byte(stream, byte) != 0; }

bool number_follows(IeeeStream* stream) {
  uint8_t byte = 0;
  return peek(stream, &byte) && ieee_starts_number(byte);
}

bool expression_follows(IeeeStream* stream) {
  uint8_t byte = 0;
  return peek(stream, &byte) && !ieee_is_record_byte(byte);
}

int code_number(IeeeStream* stream, uint64_t* number) {
  return writing(stream) ? ieee_write_number(stream, *number) : ieee_read_number(stream, number);
}

int code_string(IeeeStream* stream, StrBuf** text) {
  if (writing(stream)) return ieee_write_string(stream, *text);
  ieee_buf_free(*text);
  return ieee_read_string(stream, text);
}

int code_variable(IeeeStream* stream, uint32_t* letter, uint64_t* index) {
  if (writing(stream)) return ieee_write_variable(stream, IeeeVariable{*letter, *index});
  IeeeVariable variable{0, IEEE_UNSET};
  int result = ieee_read_variable(stream, &variable);
  if (result != 0) {
    *letter = variable.letter;
    *index = variable.index;
  }
  return result;
}

// An expression run into a holder (read), or the holder's value (write).
int code_value(IeeeStream* stream, IosValue* value) {
  if (writing(stream)) return ieee_write_value(stream, *value);
  ios_value_clear(value);
  return ieee_read_expression(stream, value);
}

// Values that a record may leave out: nothing is written without bytes, nothing is
// read unless an expression run follows.
int code_optional_value(IeeeStream* stream, IosValue* value) {
  if (writing(stream)) return value->text == nullptr ? 1 : ieee_write_value(stream, *value);
  if (!expression_follows(stream)) return 1;
  return code_value(stream, value);
}

int code_bytes(IeeeStream* stream, uint8_t* data, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    if (writing(stream)) {
      if (ieee_stream_put_byte(stream, data[i]) == 0) return 0;
    } else if (ieee_stream_get_byte(stream, &data[i]) == 0) {
      return 0;
    }
  }
  return 1;
}

void free_items(IeeeItemList*& list) {
  if (list == nullptr) return;
  std::free(list->items);
  std::free(list);
  list = nullptr;
}

// ---- defaults ----------------------------------------------------------------

void init_body(IeeeBody* body, uint32_t type) {
  std::memset(body, 0, sizeof(IeeeBody));
  switch (type) {
    case IEEE_MB: ieee_init_rec_e0(&body->mb); break;
    case IEEE_AS: ieee_init_rec_e2(&body->as); break;
    case IEEE_E3: ieee_init_rec_e3(&body->e3); break;
    case IEEE_LR:
    case IEEE_FA: ieee_init_rec_e4(&body->lr); break;
    case IEEE_SB: ieee_init_rec_e5(&body->number); break;
    case IEEE_ST: ieee_init_rec_e6(&body->st); break;
    case IEEE_SA: ieee_init_rec_e7(&body->sa); break;
    case IEEE_NI: ieee_init_rec_e8(&body->name); break;
    case IEEE_NX: ieee_init_rec_e9(&body->name); break;
    case IEEE_CO: ieee_init_rec_ea(&body->co); break;
    case IEEE_DT: ieee_init_rec_eb(&body->dt); break;
    case IEEE_AD: ieee_init_rec_ec(&body->ad); break;
    case IEEE_LD: ieee_init_rec_ed(&body->ld); break;
    case IEEE_NN: ieee_init_rec_f0(&body->name); break;
    case IEEE_AT: ieee_init_rec_f1(&body->at); break;
    case IEEE_TY: ieee_init_rec_f2(&body->ty); break;
    case IEEE_WX: ieee_init_rec_f4(&body->wx); break;
    case IEEE_RE: ieee_init_rec_f7(&body->number); break;
    case IEEE_BB: ieee_init_rec_f8(&body->bb); break;
    case IEEE_BE: ieee_init_rec_f9(&body->be); break;
    case IEEE_FB: ieee_init_rec_fb(&body->fb); break;
    case IEEE_FC: ieee_init_rec_fc(&body->name); break;
    default: break;
  }
}

void release_body(IeeeBody* body, uint32_t type) {
  auto free_text = [](StrBuf*& text) {
    ieee_buf_free(text);
    text = nullptr;
  };
  switch (type) {
    case IEEE_MB:
      free_text(body->mb.processor);
      free_text(body->mb.module);
      break;
    case IEEE_AS:
      ios_value_clear(&body->as.value);
      break;
    case IEEE_E3:
      ios_value_clear(&body->e3.value);
      break;
    case IEEE_LR:
    case IEEE_FA:
      ios_value_clear(&body->lr.variable_value);
      ios_value_clear(&body->lr.expression);
      body->lr.data[0] = 0;
      break;
    case IEEE_ST:
      free_text(body->st.name);
      break;
    case IEEE_NI:
    case IEEE_NX:
    case IEEE_NN:
      free_text(body->name.name);
      break;
    case IEEE_CO:
      free_text(body->co.text);
      break;
    case IEEE_LD:
      body->ld.data[0] = 0;
      break;
    case IEEE_AT:
      ios_value_clear(&body->at.value);
      break;
    case IEEE_TY:
      free_items(body->ty.items);
      break;
    case IEEE_WX:
      ios_value_clear(&body->wx.value);
      break;
    case IEEE_BB:
      free_text(body->bb.name);
      ios_value_clear(&body->bb.value);
      break;
    case IEEE_BE:
      ios_value_clear(&body->be.value);
      break;
    default:
      break;
  }
}

// ---- body routines -------------------------------------------------------------

int code_mb(IeeeBodyMB& mb, IeeeStream* stream) {
  if (!writing(stream)) {
    return code_string(stream, &mb.processor) != 0 && code_string(stream, &mb.module) != 0;
  }
  if (ieee_write_string(stream, mb.processor) == 0) return 0;
  if (mb.module != nullptr && ieee_write_string(stream, mb.module) == 0) return 0;
  return mb.processor != nullptr;
}

int code_as(IeeeBodyAS& as, IeeeStream* stream) {
  if (code_variable(stream, &as.letter, &as.index) == 0) return 0;
  // The global variable G has no index; its value goes between brackets.
  bool bracketed = writing(stream) && as.letter == LETTER_G && as.index == 0;
  if (bracketed && ieee_stream_put_byte(stream, 0xBE) == 0) return 0;
  if (code_value(stream, &as.value) == 0) return 0;
  if (bracketed && ieee_stream_put_byte(stream, 0xBF) == 0) return 0;
  return as.letter != 0;
}

int code_e3(IeeeBodyE3& e3, IeeeStream* stream) {
  if (writing(stream)) {
    if (ieee_stream_put_byte(stream, static_cast<uint8_t>(e3.letter)) == 0) return 0;
  } else {
    uint8_t letter = 0;
    if (ieee_stream_get_byte(stream, &letter) == 0) return 0;
    e3.letter = letter;
  }
  if (code_value(stream, &e3.value) == 0) return 0;
  return e3.letter >= LETTER_G && e3.letter <= 0xDA && e3.value.text != nullptr;
}

int read_lr_item(IeeeBodyLR& lr, IeeeStream* stream) {
  lr.parity = ieee_lr_parity();
  uint8_t next = 0;
  if (!peek(stream, &next)) return 0;
  int result = 0;
  if (ieee_starts_number(next)) {
    lr.item_kind = IEEE_LR_DATA;
    if (ieee_read_number(stream, &lr.count) == 0) return 0;
    auto count = static_cast<int64_t>(lr.count);
    if (count > static_cast<int64_t>(IEEE_LR_DATA_BYTES)) return 0;
    result = count > 0 ? code_bytes(stream, lr.data, lr.count) : 1;
  } else if (ieee_is_letter(next)) {
    lr.item_kind = IEEE_LR_VARIABLE;
    result = code_variable(stream, &lr.letter, &lr.index) != 0 &&
             code_value(stream, &lr.variable_value) != 0;
  } else {
    lr.item_kind = IEEE_LR_EXPRESSION;
    result = code_value(stream, &lr.expression);
  }
  if (result == 0) return 0;
  if (peek(stream, &next) && !ieee_is_record_byte(next)) {
    // Another item of the same record follows: turn the last byte of this item into
    // an LR type byte, so the next transfer reads that item as a record of its own
    // with the same parity.
    ieee_stream_unget_byte(stream);
    stream->buffer[stream->fill] = IEEE_LR;
  } else {
    ieee_lr_parity_set(ieee_lr_parity() == 0 ? 1 : 0);
  }
  return 1;
}

int code_lr(IeeeBodyLR& lr, IeeeStream* stream) {
  if (!writing(stream)) return read_lr_item(lr, stream);
  int result = 1;
  switch (lr.item_kind) {
    case IEEE_LR_DATA:
      if (static_cast<int64_t>(lr.count) > static_cast<int64_t>(IEEE_LR_DATA_BYTES)) return 0;
      result = ieee_write_number(stream, lr.count);
      if (result != 0 && static_cast<int64_t>(lr.count) > 0) {
        result = code_bytes(stream, lr.data, lr.count);
      }
      break;
    case IEEE_LR_VARIABLE:
      result = code_variable(stream, &lr.letter, &lr.index) != 0 &&
               code_value(stream, &lr.variable_value) != 0;
      break;
    case IEEE_LR_EXPRESSION:
      result = code_value(stream, &lr.expression);
      break;
    default:
      break;
  }
  return result != 0 && lr.item_kind != IEEE_LR_NONE;
}

int code_number_body(IeeeBodyNumber& body, IeeeStream* stream) {
  return code_number(stream, &body.number) != 0 && is_set(body.number);
}

int code_st(IeeeBodyST& st, IeeeStream* stream) {
  if (code_number(stream, &st.section) == 0) return 0;
  if (writing(stream)) {
    for (uint32_t i = 0; i + 1 < IEEE_ST_LIST_WORDS && st.types[i] != 0; ++i) {
      if (ieee_stream_put_byte(stream, static_cast<uint8_t>(st.types[i])) == 0) return 0;
      if (st.types[i] == LETTER_Y && i + 2 < IEEE_ST_LIST_WORDS) {
        ++i;
        if (ieee_write_number(stream, st.types[i]) == 0) return 0;
      }
    }
    if (st.name != nullptr && ieee_write_string(stream, st.name) == 0) return 0;
    if (is_set(st.trailing) && ieee_write_number(stream, st.trailing) == 0) return 0;
    return is_set(st.section);
  }
  uint32_t used = 0;
  uint8_t next = 0;
  while (peek(stream, &next) && ieee_is_letter(next)) {
    // The list keeps its ending zero word: a longer list is refused, not cut.
    if (used + 1 >= IEEE_ST_LIST_WORDS) return 0;
    ieee_stream_get_byte(stream, &next);
    st.types[used++] = next;
    if (next == LETTER_Y) {
      if (used + 1 >= IEEE_ST_LIST_WORDS) return 0;
      uint64_t number = 0;
      if (ieee_read_number(stream, &number) == 0) return 0;
      st.types[used++] = static_cast<uint32_t>(number);
    }
  }
  if (code_string(stream, &st.name) == 0) return 0;
  return is_set(st.section);
}

int code_sa(IeeeBodySA& sa, IeeeStream* stream) {
  if (code_number(stream, &sa.section) == 0) return 0;
  if (writing(stream)) {
    if (is_set(sa.alignment)) {
      if (ieee_write_number(stream, sa.alignment) == 0) return 0;
      if (is_set(sa.page_size) && ieee_write_number(stream, sa.page_size) == 0) return 0;
    }
  } else if (number_follows(stream)) {
    if (ieee_read_number(stream, &sa.alignment) == 0) return 0;
    if (number_follows(stream) && ieee_read_number(stream, &sa.page_size) == 0) return 0;
  }
  return is_set(sa.section);
}

int code_name(IeeeBodyName& body, IeeeStream* stream, uint32_t fixed, bool name_needed) {
  if (code_number(stream, &body.index) == 0) return 0;
  if (code_string(stream, &body.name) == 0) return 0;
  return body.letter == fixed && is_set(body.index) && (!name_needed || body.name != nullptr);
}

int code_co(IeeeBodyCO& co, IeeeStream* stream) {
  if (writing(stream)) {
    if (ieee_write_number(stream, co.number) == 0) return 0;
  } else if (number_follows(stream) && ieee_read_number(stream, &co.number) == 0) {
    return 0;
  }
  if (code_string(stream, &co.text) == 0) return 0;
  return co.text != nullptr;
}

int code_dt(IeeeBodyDT& dt, IeeeStream* stream) {
  if (writing(stream) || number_follows(stream)) {
    for (uint64_t& field : dt.fields) {
      if (code_number(stream, &field) == 0) return 0;
    }
  }
  for (uint64_t field : dt.fields) {
    if (!is_set(field)) return 0;
  }
  return 1;
}

int code_ad(IeeeBodyAD& ad, IeeeStream* stream) {
  if (code_number(stream, &ad.bits_per_mau) == 0) return 0;
  if (writing(stream)) {
    if (is_set(ad.maus_per_address)) {
      if (ieee_write_number(stream, ad.maus_per_address) == 0) return 0;
      if (ad.order != 0 && ieee_stream_put_byte(stream, static_cast<uint8_t>(ad.order)) == 0) {
        return 0;
      }
    }
  } else if (number_follows(stream)) {
    if (ieee_read_number(stream, &ad.maus_per_address) == 0) return 0;
    uint8_t next = 0;
    if (peek(stream, &next) && ieee_is_letter(next)) {
      ieee_stream_get_byte(stream, &next);
      ad.order = next;
    }
  }
  return is_set(ad.bits_per_mau);
}

int code_ld(IeeeBodyLD& ld, IeeeStream* stream) {
  if (code_number(stream, &ld.count) == 0) return 0;
  auto count = static_cast<int64_t>(ld.count);
  if (count > static_cast<int64_t>(IEEE_LD_DATA_BYTES)) return 0;
  if (count > 0 && code_bytes(stream, ld.data, ld.count) == 0) return 0;
  return is_set(ld.count);
}

int code_at(IeeeBodyAT& at, IeeeStream* stream) {
  if (code_variable(stream, &at.letter, &at.index) == 0) return 0;
  if (code_number(stream, &at.numbers[0]) == 0) return 0;
  if (writing(stream)) {
    if (is_set(at.numbers[1]) && ieee_write_number(stream, at.numbers[1]) == 0) return 0;
    if (at.third_present == 1 && ieee_write_number(stream, at.numbers[2]) == 0) return 0;
    if (code_optional_value(stream, &at.value) == 0) return 0;
  } else if (number_follows(stream)) {
    if (ieee_read_number(stream, &at.numbers[1]) == 0) return 0;
    if (number_follows(stream)) {
      if (ieee_read_number(stream, &at.numbers[2]) == 0) return 0;
      at.third_present = 1;
      if (code_optional_value(stream, &at.value) == 0) return 0;
    }
  }
  return at.letter != 0 && is_set(at.numbers[0]);
}

int code_ty(IeeeBodyTY& ty, IeeeStream* stream) {
  if (code_number(stream, &ty.type_index) == 0) return 0;
  if (ty.items == nullptr) return 0;
  IeeeItemList& list = *ty.items;
  if (writing(stream)) {
    for (uint32_t i = 0; i < list.count; ++i) {
      uint32_t item = list.items[i];
      if (item == ieee_item_letter(LETTER_N) || item == ieee_item_letter(LETTER_T)) {
        if (ieee_stream_put_byte(stream, static_cast<uint8_t>(~item)) == 0) return 0;
        uint32_t index = i + 1 < list.count ? list.items[i + 1] : 0;
        if (ieee_write_number(stream, index) == 0) return 0;
        ++i;
      } else {
        // A negative item goes out as its 32-bit pattern.
        if (ieee_write_number(stream, item) == 0) return 0;
      }
    }
  } else {
    uint8_t next = 0;
    while (peek(stream, &next) && !ieee_is_record_byte(next)) {
      if (ieee_starts_number(next)) {
        uint64_t number = 0;
        if (ieee_read_number(stream, &number) == 0) return 0;
        if (ieee_items_append(&list, static_cast<uint32_t>(number)) != 0) return 0;
      } else if (ieee_is_letter(next)) {
        IeeeVariable variable{0, 0};
        if (ieee_read_variable(stream, &variable) == 0) return 0;
        if (ieee_items_append(&list, ieee_item_letter(variable.letter)) != 0 ||
            ieee_items_append(&list, static_cast<uint32_t>(variable.index)) != 0) {
          return 0;
        }
      } else {
        // Bytes that belong in no item end the record instead of being looked at again.
        return 0;
      }
    }
  }
  return is_set(ty.type_index) && list.count >= 1;
}

int code_wx(IeeeBodyWX& wx, IeeeStream* stream) {
  if (code_number(stream, &wx.index) == 0) return 0;
  if (code_optional_value(stream, &wx.value) == 0) return 0;
  return wx.letter == LETTER_X && is_set(wx.index);
}

int code_bb(IeeeBodyBB& bb, IeeeStream* stream) {
  if (code_number(stream, &bb.block_type) == 0) return 0;
  if (code_number(stream, &bb.size) == 0) return 0;
  if (writing(stream)) {
    if (static_cast<int64_t>(bb.block_type) > 0) {
      if (ieee_write_string(stream, bb.name) == 0) return 0;
      if (code_optional_value(stream, &bb.value) == 0) return 0;
    }
  } else {
    if (code_string(stream, &bb.name) == 0) return 0;
    if (code_optional_value(stream, &bb.value) == 0) return 0;
  }
  return is_set(bb.block_type) && is_set(bb.size);
}

int code_be(IeeeBodyBE& be, IeeeStream* stream) { return code_optional_value(stream, &be.value); }

int code_fb(IeeeBodyFB& fb, IeeeStream* stream) {
  if (code_number(stream, &fb.first) == 0) return 0;
  if (code_number(stream, &fb.second) == 0) return 0;
  return is_set(fb.first) && is_set(fb.second);
}

int code_fc(IeeeBodyName& body, IeeeStream* stream) {
  if (code_number(stream, &body.index) == 0) return 0;
  return body.letter == LETTER_I && is_set(body.index);
}

int code_body(uint32_t type, IeeeBody* body, IeeeStream* stream) {
  switch (type) {
    case IEEE_MB: return ieee_code_rec_e0(&body->mb, stream);
    case IEEE_ME: return 1;
    case IEEE_AS: return ieee_code_rec_e2(&body->as, stream);
    case IEEE_E3: return ieee_code_rec_e3(&body->e3, stream);
    case IEEE_LR:
    case IEEE_FA: return ieee_code_rec_e4(&body->lr, stream);
    case IEEE_SB: return ieee_code_rec_e5(&body->number, stream);
    case IEEE_ST: return ieee_code_rec_e6(&body->st, stream);
    case IEEE_SA: return ieee_code_rec_e7(&body->sa, stream);
    case IEEE_NI: return ieee_code_rec_e8(&body->name, stream);
    case IEEE_NX: return ieee_code_rec_e9(&body->name, stream);
    case IEEE_CO: return ieee_code_rec_ea(&body->co, stream);
    case IEEE_DT: return ieee_code_rec_eb(&body->dt, stream);
    case IEEE_AD: return ieee_code_rec_ec(&body->ad, stream);
    case IEEE_LD: return ieee_code_rec_ed(&body->ld, stream);
    case IEEE_NN: return ieee_code_rec_f0(&body->name, stream);
    case IEEE_AT: return ieee_code_rec_f1(&body->at, stream);
    case IEEE_TY: return ieee_code_rec_f2(&body->ty, stream);
    case IEEE_WX: return ieee_code_rec_f4(&body->wx, stream);
    case IEEE_RE: return ieee_code_rec_f7(&body->number, stream);
    case IEEE_BB: return ieee_code_rec_f8(&body->bb, stream);
    case IEEE_BE: return ieee_code_rec_f9(&body->be, stream);
    case IEEE_FB: return ieee_code_rec_fb(&body->fb, stream);
    case IEEE_FC: return ieee_code_rec_fc(&body->name, stream);
    default: return 0;
  }
}

}  // namespace

IeeeRecord* ieee_record_scratch_alloc() { return static_cast<IeeeRecord*>(pool_alloc(sizeof(IeeeRecord))); }

bool ieee_record_type_known(uint32_t type) {
  if (type < IEEE_MB || type > IEEE_FC) return false;
  return type != 0xEE && type != 0xEF && type != 0xF3 && type != 0xF5 && type != 0xF6;
}

IeeeRecord* ieee_record_init(IeeeRecord* record, uint32_t type) {
  if (record == nullptr || !ieee_record_type_known(type)) return nullptr;
  init_body(&record->storage, type);
  record->body = &record->storage;
  record->type = type;
  return record;
}

void ieee_record_clear(IeeeRecord* record) {
  if (record == nullptr) return;
  if (record->body != nullptr && ieee_record_type_known(record->type)) {
    release_body(record->body, record->type);
  }
  record->type = 0;
  record->body = nullptr;
}

int ieee_record_transfer(IeeeRecord* record, IeeeStream* stream) {
  if (record == nullptr || stream == nullptr) return 0;
  record->start_offset = stream->position;
  if (writing(stream)) {
    ieee_stream_put_byte(stream, static_cast<uint8_t>(record->type));
  } else {
    uint32_t found = 0;
    if (ieee_read_record_type(stream, &found) == 0 || !ieee_record_type_known(found)) {
      ieee_record_clear(record);
      record->length = stream->position - record->start_offset;
      return 0;
    }
    if (found != record->type || record->body == nullptr) {
      // The body is laid out for the type on the stream, not the one expected.
      ieee_record_clear(record);
      if (ieee_record_init(record, found) == nullptr) return 0;
    }
  }
  int result = 0;
  if (record->body != nullptr && ieee_record_type_known(record->type)) {
    result = code_body(record->type, record->body, stream);
  } else {
    record->type = 0;
  }
  record->length = stream->position - record->start_offset;
  return result;
}

int ieee_record_writable(IeeeRecord* record, IeeeStream* trial) {
  if (record == nullptr || trial == nullptr || trial->mode == 0 || trial->handle != nullptr) return 0;
  if (record->body == nullptr || !ieee_record_type_known(record->type)) return 0;
  return code_body(record->type, record->body, trial);
}

void ieee_record_get_value(IosValue* out, const IeeeRecord* record) {
  ios_value_init(out);
  if (record == nullptr || record->body == nullptr) return;
  if (record->type == IEEE_AS) *out = record->body->as.value;
  if (record->type == IEEE_WX) *out = record->body->wx.value;
}

void ieee_record_set_value(IeeeRecord* record, const IosValue* value) {
  if (record == nullptr || record->body == nullptr || value == nullptr) return;
  if (record->type == IEEE_AS) ios_value_copy(&record->body->as.value, value);
  if (record->type == IEEE_WX) ios_value_copy(&record->body->wx.value, value);
}

int ieee_items_append(IeeeItemList* list, uint32_t item) {
  if (list == nullptr) return -1;
  if (list->count == list->capacity) {
    uint32_t capacity = list->capacity != 0 ? 2 * list->capacity : 8;
    if (capacity < list->capacity) return -1;
    auto* items =
        static_cast<uint32_t*>(std::realloc(list->items, size_t{capacity} * sizeof(uint32_t)));
    if (items == nullptr) return -1;
    list->items = items;
    list->capacity = capacity;
  }
  list->items[list->count++] = item;
  return 0;
}

int16_t ieee_lr_parity() { return ieee_process_state().lr_parity; }
void ieee_lr_parity_set(int16_t parity) { ieee_process_state().lr_parity = parity; }

// ---- one type's defaults --------------------------------------------------------

void ieee_init_rec_e0(IeeeBodyMB* body) {
  if (body != nullptr) *body = IeeeBodyMB{nullptr, nullptr};
}

void ieee_init_rec_e2(IeeeBodyAS* body) {
  if (body == nullptr) return;
  body->letter = 0;
  body->index = IEEE_UNSET;
  ios_value_init(&body->value);
}

void ieee_init_rec_e3(IeeeBodyE3* body) {
  if (body == nullptr) return;
  body->letter = 0;
  ios_value_init(&body->value);
}

void ieee_init_rec_e4(IeeeBodyLR* body) {
  if (body == nullptr) return;
  body->parity = -1;
  body->item_kind = IEEE_LR_NONE;
  body->count = IEEE_UNSET;
  body->data[0] = 0;
  body->letter = 0;
  body->index = IEEE_UNSET;
  ios_value_init(&body->variable_value);
  ios_value_init(&body->expression);
  body->value_kind = 0;
}

void ieee_init_rec_e5(IeeeBodyNumber* body) {
  if (body != nullptr) body->number = IEEE_UNSET;
}

void ieee_init_rec_e6(IeeeBodyST* body) {
  if (body == nullptr) return;
  body->section = IEEE_UNSET;
  std::memset(body->types, 0, sizeof body->types);
  body->name = nullptr;
  body->trailing = IEEE_UNSET;
}

void ieee_init_rec_e7(IeeeBodySA* body) {
  if (body != nullptr) *body = IeeeBodySA{IEEE_UNSET, IEEE_UNSET, IEEE_UNSET};
}

void ieee_init_rec_e8(IeeeBodyName* body) {
  if (body != nullptr) *body = IeeeBodyName{LETTER_I, IEEE_UNSET, nullptr};
}

void ieee_init_rec_e9(IeeeBodyName* body) {
  if (body != nullptr) *body = IeeeBodyName{LETTER_X, IEEE_UNSET, nullptr};
}

void ieee_init_rec_ea(IeeeBodyCO* body) {
  if (body != nullptr) *body = IeeeBodyCO{IEEE_UNSET, nullptr};
}

void ieee_init_rec_eb(IeeeBodyDT* body) {
  if (body == nullptr) return;
  for (uint64_t& field : body->fields) field = IEEE_UNSET;
}

void ieee_init_rec_ec(IeeeBodyAD* body) {
  if (body != nullptr) *body = IeeeBodyAD{IEEE_UNSET, IEEE_UNSET, 0};
}

void ieee_init_rec_ed(IeeeBodyLD* body) {
  if (body == nullptr) return;
  body->count = IEEE_UNSET;
  body->data[0] = 0;
}

void ieee_init_rec_f0(IeeeBodyName* body) {
  if (body != nullptr) *body = IeeeBodyName{LETTER_N, IEEE_UNSET, nullptr};
}

void ieee_init_rec_f1(IeeeBodyAT* body) {
  if (body == nullptr) return;
  body->letter = 0;
  body->index = IEEE_UNSET;
  for (uint64_t& number : body->numbers) number = IEEE_UNSET;
  body->third_present = 0;
  ios_value_init(&body->value);
}

void ieee_init_rec_f2(IeeeBodyTY* body) {
  if (body == nullptr) return;
  body->type_index = IEEE_UNSET;
  body->items = static_cast<IeeeItemList*>(std::calloc(1, sizeof(IeeeItemList)));
}

void ieee_init_rec_f4(IeeeBodyWX* body) {
  if (body == nullptr) return;
  body->letter = LETTER_X;
  body->index = IEEE_UNSET;
  ios_value_init(&body->value);
}

void ieee_init_rec_f7(IeeeBodyNumber* body) { ieee_init_rec_e5(body); }

void ieee_init_rec_f8(IeeeBodyBB* body) {
  if (body == nullptr) return;
  body->block_type = IEEE_UNSET;
  body->size = IEEE_UNSET;
  body->name = nullptr;
  ios_value_init(&body->value);
}

void ieee_init_rec_f9(IeeeBodyBE* body) {
  if (body != nullptr) ios_value_init(&body->value);
}

void ieee_init_rec_fb(IeeeBodyFB* body) {
  if (body != nullptr) *body = IeeeBodyFB{IEEE_UNSET, IEEE_UNSET};
}

void ieee_init_rec_fc(IeeeBodyName* body) { ieee_init_rec_e8(body); }

// ---- one type's body coder ------------------------------------------------------

namespace {

template <typename Body>
int code_checked(Body* body, IeeeStream* stream, int (*code)(Body&, IeeeStream*)) {
  return body != nullptr && stream != nullptr ? code(*body, stream) : 0;
}

int code_ni(IeeeBodyName& body, IeeeStream* stream) { return code_name(body, stream, LETTER_I, true); }
int code_nx(IeeeBodyName& body, IeeeStream* stream) { return code_name(body, stream, LETTER_X, true); }
int code_nn(IeeeBodyName& body, IeeeStream* stream) { return code_name(body, stream, LETTER_N, false); }

}  // namespace

int ieee_code_rec_e0(IeeeBodyMB* body, IeeeStream* stream) { return code_checked(body, stream, code_mb); }
int ieee_code_rec_e2(IeeeBodyAS* body, IeeeStream* stream) { return code_checked(body, stream, code_as); }
int ieee_code_rec_e3(IeeeBodyE3* body, IeeeStream* stream) { return code_checked(body, stream, code_e3); }
int ieee_code_rec_e4(IeeeBodyLR* body, IeeeStream* stream) { return code_checked(body, stream, code_lr); }
int ieee_code_rec_e5(IeeeBodyNumber* body, IeeeStream* stream) {
  return code_checked(body, stream, code_number_body);
}
int ieee_code_rec_e6(IeeeBodyST* body, IeeeStream* stream) { return code_checked(body, stream, code_st); }
int ieee_code_rec_e7(IeeeBodySA* body, IeeeStream* stream) { return code_checked(body, stream, code_sa); }
int ieee_code_rec_e8(IeeeBodyName* body, IeeeStream* stream) { return code_checked(body, stream, code_ni); }
int ieee_code_rec_e9(IeeeBodyName* body, IeeeStream* stream) { return code_checked(body, stream, code_nx); }
int ieee_code_rec_ea(IeeeBodyCO* body, IeeeStream* stream) { return code_checked(body, stream, code_co); }
int ieee_code_rec_eb(IeeeBodyDT* body, IeeeStream* stream) { return code_checked(body, stream, code_dt); }
int ieee_code_rec_ec(IeeeBodyAD* body, IeeeStream* stream) { return code_checked(body, stream, code_ad); }
int ieee_code_rec_ed(IeeeBodyLD* body, IeeeStream* stream) { return code_checked(body, stream, code_ld); }
int ieee_code_rec_f0(IeeeBodyName* body, IeeeStream* stream) { return code_checked(body, stream, code_nn); }
int ieee_code_rec_f1(IeeeBodyAT* body, IeeeStream* stream) { return code_checked(body, stream, code_at); }
int ieee_code_rec_f2(IeeeBodyTY* body, IeeeStream* stream) { return code_checked(body, stream, code_ty); }
int ieee_code_rec_f4(IeeeBodyWX* body, IeeeStream* stream) { return code_checked(body, stream, code_wx); }
int ieee_code_rec_f7(IeeeBodyNumber* body, IeeeStream* stream) { return ieee_code_rec_e5(body, stream); }
int ieee_code_rec_f8(IeeeBodyBB* body, IeeeStream* stream) { return code_checked(body, stream, code_bb); }
int ieee_code_rec_f9(IeeeBodyBE* body, IeeeStream* stream) { return code_checked(body, stream, code_be); }
int ieee_code_rec_fb(IeeeBodyFB* body, IeeeStream* stream) { return code_checked(body, stream, code_fb); }
int ieee_code_rec_fc(IeeeBodyName* body, IeeeStream* stream) { return code_checked(body, stream, code_fc); }
