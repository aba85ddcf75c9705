// Type indexes and TY records of the debug part. Built-in type codes map onto the
// format's built-in indexes; interned types are numbered from 257.
#include <cstring>

#include "objlib/ieee695/ieee_value.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typequery.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

constexpr uint32_t ERR_PRODUCER = 5;
constexpr uint32_t ERR_OBLIGATED = 8;
constexpr uint32_t LETTER_N = 0xCE;
constexpr uint32_t LETTER_T = 0xD4;
constexpr uint32_t ALL_ONES = 0xFFFFFFFFu;

// Built-in type code (0-47) to the format's built-in type index.
constexpr uint8_t kBuiltinIndex[48] = {
    0,  1,  0,  71, 26, 27, 28, 19, 2,  3,  21, 4,  5,  16, 16, 18, 20, 6,  7,  0,  8,  9,  10, 11,
    12, 25, 0,  0,  0,  58, 59, 60, 61, 62, 63, 64, 68, 69, 67, 70, 65, 66, 13, 14, 15, 0,  0,  0};

uint32_t fail(uint32_t* error, uint32_t code) {
  *error = code;
  return 1;
}

struct TypeItems {
  IeeeWriter* writer;
  IeeeItemList* list;
  uint32_t file;
  uint32_t root;
  int last = 0;       // result of the last name emission or member fill
  uint32_t code = 0;  // its error code
  bool appended = false;

  void add(uint32_t item) {
    if (list == nullptr) return;
    if (ieee_items_append(list, item) == 0) appended = true;
  }
  uint32_t per_mau(uint32_t bits) const {
    return writer->bits_per_mau == 0 ? bits : bits / writer->bits_per_mau;
  }
  // Emits NN for the name and appends ~N and the name's number.
  void name(StringHandle handle) {
    writer->pending_name = handle;
    uint32_t error = 0;
    last = ieee_emit_record(writer, IEEE_NN, nullptr, ieee_fill_record, &error);
    code = error;
    writer->pending_name = IosHandle{0, 0};
    add(ieee_item_letter(LETTER_N));
    add(writer->second_name_counter);
  }
  void pair_name(int (*getter)(uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*), uint32_t id) {
    uint32_t pair[2] = {0, 0};
    if (getter(file, root, id, pair, nullptr) == 0) name(StringHandle{pair[0], pair[1]});
  }
  void id_name(int (*getter)(uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*), uint32_t id) {
    uint32_t string = 0;
    if (getter(file, root, id, &string, nullptr) == 0 && string > 0) name(StringHandle{file, string});
  }
  void reference(int (*getter)(uint32_t, uint32_t, uint32_t, TypeHandle*, IosErrorCode*), uint32_t id) {
    TypeHandle type{};
    add(ieee_item_letter(LETTER_T));
    add(getter(file, root, id, &type, nullptr) == 0 ? static_cast<uint32_t>(ieee_find_type_index(writer, type)) : 0);
  }
  uint32_t word_or_zero(int (*getter)(uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*), uint32_t id) {
    uint32_t value = 0;
    return getter(file, root, id, &value, nullptr) == 0 ? value : 0;
  }
  void member(uint32_t id) {
    pair_name(ios_member_get_pair2, id);
    reference(ios_member_get_type, id);
    add(word_or_zero(ios_member_get_field4, id));
    uint32_t size = 0;
    if (ios_member_get_field6(file, root, id, &size, nullptr) == 0) add(per_mau(size));
  }
};

IosType* find_type(uint32_t file_id, uint32_t type_id) {
  IosTypeIdTable* table = nullptr;
  IosType* type = nullptr;
  if (ios_get_type_table(&table, nullptr, file_id) != 0 || ios_type_lookup(table, type_id, &type, nullptr) != 0) {
    return nullptr;
  }
  return type;
}

void composite_items(TypeItems& t, uint32_t id, IosType* type, bool is_union) {
  if (is_union) {
    t.pair_name(ios_union_get_pair1, id);
    t.add(0x55);
  } else {
    t.pair_name(ios_struct_get_pair1, id);
    t.add(0x53);
  }
  uint32_t size = 0;
  int sized = is_union ? ios_union_get_field0(t.file, t.root, id, &size, nullptr)
                       : ios_struct_get_field0(t.file, t.root, id, &size, nullptr);
  t.add(sized == 0 ? t.per_mau(size) : 0);
  uint32_t count = 0;
  int listed = is_union ? ios_union_get_list(t.file, t.root, id, &count, nullptr)
                        : ios_struct_get_list(t.file, t.root, id, &count, nullptr);
  if (listed != 0) return;
  for (uint32_t n = 0; n < count; ++n) {
    // The type is looked up again for every entry: it must still be of its kind.
    IosType* again = find_type(t.file, id);
    if (again == nullptr || again->kind != type->kind) continue;
    TyperefRef entry{};
    int status = is_union ? ios_union_list_entry(again->detail, n, &entry, nullptr)
                          : ios_struct_list_entry(again->detail, n, &entry, nullptr);
    if (status != 0 || entry.resolved != 1) continue;
    t.member(entry.id);
  }
}

}  // namespace

uint64_t ieee_find_type_index(IeeeWriter* writer, TypeHandle type) {
  if (type.type_id < 1) return 0;
  if (type.type_id < IOS_FIRST_TYPE_ID) return type.type_id < 48 ? kBuiltinIndex[type.type_id] : 0;
  auto found = writer->type_indexes.find(type.type_id);
  return found == writer->type_indexes.end() ? 0 : found->second;
}

void ieee_prepare_types(IeeeWriter* writer) {
  IosTypeIdTable* table = nullptr;
  if (ios_get_type_table(&table, nullptr, writer->file_id) != 0 || table == nullptr || table->types == nullptr) {
    return;
  }
  for (uint32_t slot = 0; slot < table->types->highest_id; ++slot) {
    if (idtab_get(table->types, slot) == nullptr) continue;
    writer->type_indexes.emplace(table->base + slot, writer->next_type_index++);
  }
}

uint32_t ieee_fill_type_record(IeeeWriter* writer, uint32_t* error) {
  IeeeDebugBlock* block = writer->current_block;
  IeeeBodyTY& body = writer->current->body->ty;
  if (block == nullptr) return fail(error, ERR_OBLIGATED);
  TypeItems t{writer, body.items, *ieee_block_word(block, IEEE_SLOT_TYPE), *ieee_block_word(block, IEEE_SLOT_TYPE + 1)};
  uint32_t id = *ieee_block_word(block, IEEE_SLOT_TYPE + 2);
  IosType* type = id >= IOS_FIRST_TYPE_ID ? find_type(t.file, id) : nullptr;
  uint32_t kind = type != nullptr ? type->kind : 0;
  switch (kind) {
    case IOS_TYPEREF_ARRAY: {
      t.pair_name(ios_array_get_pair2, id);
      t.add(0x5A);
      t.reference(ios_array_get_type, id);
      uint32_t dim[2] = {0, 0};
      bool has = ios_array_dim_entry(type->detail, 0, dim, nullptr) == 0 && dim[1] != 0;
      t.add(has ? dim[1] : ALL_ONES);
      break;
    }
    case IOS_TYPEREF_ENUM: {
      t.id_name(ios_enum_get_field1, id);
      t.add(0x4E);
      uint32_t size = 0;
      if (ios_enum_get_field2(t.file, t.root, id, &size, nullptr) == 0) {
        t.add(0);
        t.add(t.per_mau(size));
      }
      uint32_t count = 0;
      if (ios_enum_get_list(t.file, t.root, id, &count, nullptr) != 0) count = 0;
      for (uint32_t n = 0; n < count; ++n) {
        IosType* again = find_type(t.file, id);
        StringHandle name{0, 0};
        uint32_t value = 0;
        if (again == nullptr || again->kind != IOS_TYPEREF_ENUM ||
            ios_enum_list_entry(again->detail, n, &name, &value, nullptr) != 0) {
          continue;
        }
        t.name(name);
        t.add(value);
      }
      break;
    }
    case IOS_TYPEREF_POINTER: {
      uint32_t mode = 0;
      bool pointer = ios_pointer_get_field3(t.file, t.root, id, &mode, nullptr) != 0 || mode == 2;
      t.add(pointer ? 0x50 : 0x4F);
      t.reference(ios_pointer_get_target, id);
      break;
    }
    case IOS_TYPEREF_TYPEDEF: {
      t.pair_name(ios_typedef_get_pair2, id);
      TypeHandle referred{};
      uint32_t referred_kind = 0;
      if (ios_typedef_get_type(t.file, t.root, id, &referred, nullptr) == 0) {
        // A built-in type is its own kind; only interned types have a kind word.
        if (referred.type_id < IOS_FIRST_TYPE_ID) {
          referred_kind = referred.type_id;
        } else if (IosType* target = find_type(t.file, referred.type_id)) {
          referred_kind = target->kind;
        }
      }
      if (referred_kind == 2) {
        t.add(0x67);
        t.add(0);
        t.add(1);
      } else {
        t.add(0x54);
        t.reference(ios_typedef_get_type, id);
      }
      break;
    }
    case IOS_TYPEREF_STRUCTURE:
    case IOS_TYPEREF_UNION:
      composite_items(t, id, type, kind == IOS_TYPEREF_UNION);
      break;
    case IOS_TYPEREF_FUNCTION: {
      t.id_name(ios_functype_get_field1, id);
      t.add(0x58);
      uint32_t value = 0;
      if (ios_functype_get_field4(t.file, t.root, id, &value, nullptr) == 0) t.add(value);
      t.reference(ios_functype_get_type, id);
      t.add(t.word_or_zero(ios_functype_get_field5, id));
      uint32_t count = 0;
      if (ios_functype_get_list(t.file, t.root, id, &count, nullptr) != 0) count = 0;
      uint32_t only = 0;
      if (count == 1 && ios_functype_list_entry(type->detail, 0, nullptr, &only, nullptr) == 0 && only == 0) {
        t.add(ALL_ONES);
        count = 0;
      } else {
        t.add(count);
      }
      for (uint32_t n = 0; n < count; ++n) {
        IosType* again = find_type(t.file, id);
        uint32_t parameter = 0;
        if (again == nullptr || again->kind != IOS_TYPEREF_FUNCTION ||
            ios_functype_list_entry(again->detail, n, nullptr, &parameter, nullptr) != 0) {
          continue;
        }
        t.add(ieee_item_letter(LETTER_T));
        t.add(static_cast<uint32_t>(ieee_find_type_index(writer, TypeHandle{t.file, t.root, parameter})));
      }
      break;
    }
    case IOS_TYPEREF_QUALIFIER: {
      t.add(0x6E);
      t.reference(ios_qualifier_get_type, id);
      uint32_t qualifier = t.word_or_zero(ios_qualifier_get_field2, id);
      t.add(qualifier);
      if (qualifier == 3) t.add(t.word_or_zero(ios_qualifier_get_field3, id));
      break;
    }
    case IOS_TYPEREF_MEMBER:
      t.member(id);
      break;
    case IOS_TYPEREF_BITFIELD: {
      uint32_t sign = 0;
      t.add(0x67);
      t.add(ios_bitfield_get_field0(t.file, t.root, id, &sign, nullptr) == 0 && sign == 1 ? 1 : 0);
      t.add(t.word_or_zero(ios_bitfield_get_field1, id));
      break;
    }
    default:
      break;
  }
  if (body.items == nullptr || !t.appended) return fail(error, ERR_OBLIGATED);
  if (t.last != 0) {
    *error = t.code != 0 ? t.code : ERR_PRODUCER;
    return static_cast<uint32_t>(t.last);
  }
  body.type_index = ieee_find_type_index(writer, TypeHandle{t.file, t.root, id});
  return 0;
}
