#include "objlib/ieee695/ieee_access.h"

#include <cstdio>
#include <cstring>

#include "objlib/elf_context.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

using F = IeeeField;
using K = IeeeFieldKind;

#define AT(member) static_cast<uint16_t>(offsetof(IeeeBody, member))
#define ROW(type, field, kind, member) {type, F::field, K::kind, AT(member), 0, -1}
#define ROWN(type, field, kind, member, count) {type, F::field, K::kind, AT(member), count, -1}

// Every field of every record body, by record type.
const IeeeFieldInfo kFields[] = {
    ROW(IEEE_MB, Processor, Buffer, mb.processor),
    ROW(IEEE_MB, Name, Buffer, mb.module),
    ROW(IEEE_AS, Letter, U32, as.letter),
    ROW(IEEE_AS, Index, U64, as.index),
    ROW(IEEE_AS, Value, Holder, as.value),
    ROW(IEEE_E3, Letter, U32, e3.letter),
    ROW(IEEE_E3, Value, Holder, e3.value),
    ROW(IEEE_LR, Parity, I16, lr.parity),
    ROW(IEEE_LR, ItemKind, I16, lr.item_kind),
    ROW(IEEE_LR, Count, U64, lr.count),
    ROWN(IEEE_LR, Data, Bytes, lr.data, IEEE_LR_DATA_BYTES),
    ROW(IEEE_LR, Letter, U32, lr.letter),
    ROW(IEEE_LR, Index, U64, lr.index),
    ROW(IEEE_LR, Variable, Holder, lr.variable_value),
    ROW(IEEE_LR, Expression, Holder, lr.expression),
    ROW(IEEE_LR, ValueKind, U16, lr.value_kind),
    ROW(IEEE_SB, Number, U64, number.number),
    ROW(IEEE_RE, Number, U64, number.number),
    ROW(IEEE_ST, Section, U64, st.section),
    ROWN(IEEE_ST, Types, List, st.types, IEEE_ST_LIST_WORDS),
    ROW(IEEE_ST, Name, Buffer, st.name),
    ROW(IEEE_ST, Trailing, U64, st.trailing),
    ROW(IEEE_SA, Section, U64, sa.section),
    ROW(IEEE_SA, Alignment, U64, sa.alignment),
    ROW(IEEE_SA, PageSize, U64, sa.page_size),
    ROW(IEEE_NI, Letter, U32, name.letter),
    ROW(IEEE_NI, Index, U64, name.index),
    ROW(IEEE_NI, Name, Buffer, name.name),
    ROW(IEEE_NX, Letter, U32, name.letter),
    ROW(IEEE_NX, Index, U64, name.index),
    ROW(IEEE_NX, Name, Buffer, name.name),
    ROW(IEEE_NN, Letter, U32, name.letter),
    ROW(IEEE_NN, Index, U64, name.index),
    ROW(IEEE_NN, Name, Buffer, name.name),
    ROW(IEEE_FC, Letter, U32, name.letter),
    ROW(IEEE_FC, Index, U64, name.index),
    ROW(IEEE_CO, Number, U64, co.number),
    ROW(IEEE_CO, Text, Buffer, co.text),
    ROWN(IEEE_DT, DateTime, Words, dt.fields, 6),
    ROW(IEEE_AD, BitsPerMau, U64, ad.bits_per_mau),
    ROW(IEEE_AD, MausPerAddress, U64, ad.maus_per_address),
    ROW(IEEE_AD, Order, U32, ad.order),
    ROW(IEEE_LD, Count, U64, ld.count),
    ROWN(IEEE_LD, Data, Bytes, ld.data, IEEE_LD_DATA_BYTES),
    ROW(IEEE_AT, Letter, U32, at.letter),
    ROW(IEEE_AT, Index, U64, at.index),
    ROWN(IEEE_AT, Numbers, Words, at.numbers, 3),
    {IEEE_AT, F::Extra, K::Words, AT(at.numbers[1]), 2, static_cast<int16_t>(AT(at.third_present))},
    ROW(IEEE_AT, Value, Holder, at.value),
    ROW(IEEE_TY, TypeIndex, U64, ty.type_index),
    ROW(IEEE_TY, Items, List, ty.items),
    ROW(IEEE_WX, Letter, U32, wx.letter),
    ROW(IEEE_WX, Index, U64, wx.index),
    ROW(IEEE_WX, Value, Holder, wx.value),
    ROW(IEEE_BB, BlockType, U64, bb.block_type),
    ROW(IEEE_BB, Size, U64, bb.size),
    ROW(IEEE_BB, Name, Buffer, bb.name),
    ROW(IEEE_BB, Value, Holder, bb.value),
    ROW(IEEE_BE, Value, Holder, be.value),
    ROW(IEEE_FB, First, U64, fb.first),
    ROW(IEEE_FB, Second, U64, fb.second),
};

#undef ROWN
#undef ROW
#undef AT

template <typename T>
T* at(IeeeBody* body, const IeeeFieldInfo& info) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(body) + info.offset);
}
template <typename T>
const T* at(const IeeeBody* body, const IeeeFieldInfo& info) {
  return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(body) + info.offset);
}

const IeeeFieldInfo* lookup(const void* body, uint32_t type, IeeeField field, IeeeFieldKind kind) {
  if (body == nullptr) return nullptr;
  const IeeeFieldInfo* info = ieee_field_info(type, field);
  return info != nullptr && info->kind == kind ? info : nullptr;
}

}  // namespace

const IeeeFieldInfo* ieee_field_info(uint32_t type, IeeeField field) {
  for (const IeeeFieldInfo& info : kFields) {
    if (info.type == type && info.field == field) return &info;
  }
  return nullptr;
}

void ieee_for_each_field(void (*function)(const IeeeFieldInfo&, void*), void* argument) {
  for (const IeeeFieldInfo& info : kFields) function(info, argument);
}

int64_t ieee_body_get_number(const IeeeBody* body, uint32_t type, IeeeField field) {
  const IeeeFieldInfo* info = ieee_field_info(type, field);
  if (info == nullptr) return -1;
  switch (info->kind) {
    case K::U64:
      return body != nullptr ? static_cast<int64_t>(*at<uint64_t>(body, *info)) : -1;
    case K::U32:
      return body != nullptr ? *at<uint32_t>(body, *info) : 0;
    case K::I16:
      return body != nullptr ? *at<int16_t>(body, *info) : -1;
    case K::U16:
      return body != nullptr ? *at<uint16_t>(body, *info) : -1;
    default:
      return -1;
  }
}

int ieee_body_set_number(IeeeBody* body, uint32_t type, IeeeField field, uint64_t value) {
  const IeeeFieldInfo* info = body != nullptr ? ieee_field_info(type, field) : nullptr;
  if (info == nullptr) return -1;
  switch (info->kind) {
    case K::U64:
      *at<uint64_t>(body, *info) = value;
      return 0;
    case K::U32:
      *at<uint32_t>(body, *info) = static_cast<uint32_t>(value);
      return 0;
    case K::I16:
      *at<int16_t>(body, *info) = static_cast<int16_t>(value);
      return 0;
    case K::U16:
      *at<uint16_t>(body, *info) = static_cast<uint16_t>(value);
      return 0;
    default:
      return -1;
  }
}

int ieee_body_set_numbers(IeeeBody* body, uint32_t type, IeeeField field, const uint64_t* values,
                          uint32_t count) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::Words);
  if (info == nullptr || values == nullptr || count > info->count) return -1;
  std::memcpy(at<uint64_t>(body, *info), values, count * sizeof(uint64_t));
  if (info->flag >= 0) {
    *reinterpret_cast<uint64_t*>(reinterpret_cast<unsigned char*>(body) + info->flag) = 1;
  }
  return 0;
}

IosValue ieee_body_get_value(const IeeeBody* body, uint32_t type, IeeeField field) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::Holder);
  if (info == nullptr) return IosValue{nullptr, nullptr, IEEE_UNSET32, IEEE_UNSET32};
  return *at<IosValue>(body, *info);
}

int ieee_body_set_value(IeeeBody* body, uint32_t type, IeeeField field, const IosValue* source) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::Holder);
  if (info == nullptr || source == nullptr) return -1;
  ios_value_copy(at<IosValue>(body, *info), source);
  return 0;
}

int ieee_body_set_encoded(IeeeBody* body, uint32_t type, IeeeField field, IosValue words) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::Holder);
  if (info == nullptr) return -1;
  *at<IosValue>(body, *info) = words;
  ieee_body_set_number(body, type, IeeeField::ValueKind, 2);
  return 0;
}

int ieee_body_copy_data(IeeeBody* body, uint32_t type, IeeeField field, const void* bytes, size_t count) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::Bytes);
  if (info == nullptr || count > info->count || (bytes == nullptr && count != 0)) return -1;
  if (count != 0) std::memcpy(at<uint8_t>(body, *info), bytes, count);
  return 0;
}

const uint32_t* ieee_body_tail(const IeeeBody* body, uint32_t type, IeeeField field) {
  const IeeeFieldInfo* info = lookup(body, type, field, K::List);
  if (info == nullptr) return nullptr;
  if (info->count != 0) {  // an inline list that a zero word ends
    const uint32_t* words = at<uint32_t>(body, *info);
    return words[0] != 0 ? words : nullptr;
  }
  const IeeeItemList* list = *at<IeeeItemList* const>(body, *info);
  return list != nullptr && list->count != 0 ? list->items : nullptr;
}

void* ieee_body_field_address(IeeeBody* body, uint32_t type, IeeeField field) {
  const IeeeFieldInfo* info = body != nullptr ? ieee_field_info(type, field) : nullptr;
  return info != nullptr ? at<unsigned char>(body, *info) : nullptr;
}

void* ieee_free_block(void* block, size_t size) {
  if (block != nullptr) pool_free(block, size);
  return nullptr;
}

int ieee_elf_put_field(ElfContext* context, uint32_t value, uint32_t size, ObjLibErrorClass* error) {
  unsigned char bytes[4] = {};
  bool fits = size == 1 || size == 2 || size == 4;
  if (fits) elf_swap_field(context != nullptr ? context->byte_order : ELF_DATA_LSB, value, size, bytes);
  if (!fits || context == nullptr || context->stream == nullptr ||
      std::fwrite(bytes, 1, size, context->stream) != size) {
    if (error != nullptr) *error = OBJLIB_ERR_FILE_IO;
    return 1;
  }
  return 0;
}

uint64_t make_u64(uint32_t low, uint32_t high) { return ieee_make_u64(low, high); }

void ieee_idtab_for_each(const IdTable* table, void (*function)(void* item, void* argument), void* argument) {
  if (table == nullptr || function == nullptr) return;
  for (uint32_t id = 1; id <= table->highest_id; ++id) function(idtab_get(table, id - 1), argument);
}
