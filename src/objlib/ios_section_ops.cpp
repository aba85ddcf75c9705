#include "objlib/ios_section_ops.h"

#include <cstring>

#include "objlib/expr_eval.h"
#include "objlib/expr_values.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_group.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

namespace {

#define LOOKUP(handle, record)                                       \
  IosSection* record = nullptr;                                      \
  if (ios_get_section(handle, &record, error) != 0) return 1

int getHandle(IosHandle section, IosHandle IosSection::*field, IosHandle* out,
              IosErrorCode* error) {
  LOOKUP(section, record);
  if ((record->*field).object_id < 1) return ios_unset(error);
  if (out != nullptr) *out = record->*field;
  return 0;
}

int setOnce(IosHandle section, IosHandle IosSection::*field, IosHandle value,
            IosErrorCode* error) {
  LOOKUP(section, record);
  if (value.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if ((record->*field).object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->*field = value;
  return 0;
}

int getBit(IosHandle section, uint32_t bit, uint32_t* value, IosErrorCode* error) {
  LOOKUP(section, record);
  if (value != nullptr) *value = (record->attributes & bit) != 0 ? 1 : 0;
  return 0;
}

int setBit(IosHandle section, uint32_t bit, uint32_t value, IosErrorCode* error) {
  LOOKUP(section, record);
  record->attributes = (value & 1) != 0 ? record->attributes | bit : record->attributes & ~bit;
  return 0;
}

// The value of a node evaluated in place, as {low, high}.
int valueOf(ExprNode* node, uint32_t value[2]) {
  uint32_t words[2] = {0, 0};
  if (node->kind != EXPR_VALUE) expr_evaluate(node);
  if (node->kind == EXPR_VALUE) {
    ExprLibContext* context = node->context;
    uint32_t kept = context->error;
    if (expr_get_int64(node, words) == 0) context->error = kept;  // 2 stays on failure
  }
  if (value != nullptr) {
    value[0] = words[0];
    value[1] = words[1];
  }
  return 0;
}

// The third slot, made in the file's context on its first use.
int slot3Of(IosSection* record, bool make, ExprSlotRef* slot, IosErrorCode* error) {
  if (record->slot3.index == 0 && make) {
    ExprLibContext* context = nullptr;
    if (ios_file_get_expr_context(record->handle.file_id, &context, error) != 0) return 1;
    if (ios_entry_array_push(context, &record->slot3, error) != 0) return 1;
  }
  *slot = record->slot3;
  return 0;
}

int storeInteger(ExprSlotRef slot, uint32_t file_id, uint32_t low, uint32_t high,
                 IosErrorCode* error) {
  ExprLibContext* context = nullptr;
  if (ios_file_get_expr_context(file_id, &context, error) != 0 || context == nullptr) {
    return ios_fail(error, IOS_ERR_INTERNAL);
  }
  ExprNode* node = nullptr;
  if (expr_new_node(context, &node) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  node->value_type = EXPR_TYPE_SIGNED;
  expr_set_integer64(node, low, high, 0);
  node->width = 64;
  int status = ios_location_set(slot, node, error);
  expr_release(node);
  return status;
}

IosGroup* groupOf(uint32_t file_id, uint32_t group_id, IosGroupAdmin** admin,
                  IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  if (admin != nullptr) *admin = file->groups;
  IosGroup* group = file->groups != nullptr
                        ? static_cast<IosGroup*>(idtab_get(file->groups->groups, group_id - 1))
                        : nullptr;
  if (group == nullptr) ios_fail(error, IOS_ERR_NO_GROUP);
  return group;
}

}  // namespace

int ios_section_add(uint32_t file_id, IosHandle* section, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->sections == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return ios_section_create(file_id, nullptr, section, error);
}

void ios_section_admin_free(IosSectionAdmin* admin) { ios_section_admin_delete(admin); }

int ios_section_get_string2(IosHandle section, IosHandle* string, IosErrorCode* error) {
  return getHandle(section, &IosSection::string2, string, error);
}

int ios_section_set_string2(IosHandle section, IosHandle string, IosErrorCode* error) {
  return setOnce(section, &IosSection::string2, string, error);
}

int ios_section_get_string3(IosHandle section, IosHandle* string, IosErrorCode* error) {
  return getHandle(section, &IosSection::string3, string, error);
}

int ios_section_set_string3(IosHandle section, IosHandle string, IosErrorCode* error) {
  return setOnce(section, &IosSection::string3, string, error);
}

int ios_section_get_link(IosHandle section, IosHandle* link, IosErrorCode* error) {
  return getHandle(section, &IosSection::link, link, error);
}

int ios_section_set_link(IosHandle section, IosHandle target, IosErrorCode* error) {
  LOOKUP(section, record);
  if (target.object_id < 1) return ios_fail(error, IOS_ERR_NO_SECTION);
  if (ios_get_section(target, nullptr, error) != 0) return 1;
  if (record->link.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->link = target;
  return 0;
}

int ios_section_clear_link(IosHandle section, IosErrorCode* error) {
  LOOKUP(section, record);
  if (record->link.object_id < 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->link = IosHandle{0, 0};
  return 0;
}

int ios_section_put_number(IosHandle section, uint32_t number, IosErrorCode* error) {
  LOOKUP(section, record);
  record->number = number;
  return 0;
}

int ios_section_set_info_word(IosHandle section, uint32_t value, IosErrorCode* error) {
  LOOKUP(section, record);
  record->alignment = value;
  return 0;
}

int ios_section_set_attr_word(IosHandle section, uint32_t value, IosErrorCode* error) {
  LOOKUP(section, record);
  record->attributes = value & ~IOS_SECTION_DELETED_BIT;
  return 0;
}

int ios_section_get_field_10_12(IosHandle section, uint32_t* value, IosErrorCode* error) {
  LOOKUP(section, record);
  uint32_t bits = (record->attributes >> 10) & 0x7u;
  if (bits == 0) return ios_unset(error);
  if (value != nullptr) *value = bits;
  return 0;
}

int ios_section_set_field_13_14(IosHandle section, uint32_t value, IosErrorCode* error) {
  LOOKUP(section, record);
  if (((record->attributes >> 13) & 0x3u) != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->attributes |= (value & 0x3u) << 13;
  return 0;
}

int ios_section_get_flag19(IosHandle section, uint32_t* value, IosErrorCode* error) {
  return getBit(section, IOS_SECTION_FLAG19_BIT, value, error);
}

int ios_section_set_flag19(IosHandle section, uint32_t value, IosErrorCode* error) {
  return setBit(section, IOS_SECTION_FLAG19_BIT, value, error);
}

int ios_section_get_flag21(IosHandle section, uint32_t* value, IosErrorCode* error) {
  return getBit(section, IOS_SECTION_FLAG21_BIT, value, error);
}

int ios_section_set_flag21(IosHandle section, uint32_t value, IosErrorCode* error) {
  return setBit(section, IOS_SECTION_FLAG21_BIT, value, error);
}

int ios_section_get_size_slot(IosHandle section, ExprSlotRef* slot, IosErrorCode* error) {
  LOOKUP(section, record);
  if (slot != nullptr) *slot = record->size_slot;
  return 0;
}

int ios_section_get_slot3(IosHandle section, ExprSlotRef* slot, IosErrorCode* error) {
  LOOKUP(section, record);
  if (slot != nullptr) *slot = record->slot3;
  return 0;
}

int ios_section_get_slot3_expr(IosHandle section, ExprNode** node, IosErrorCode* error) {
  if (node != nullptr) *node = nullptr;
  LOOKUP(section, record);
  if (record->slot3.index == 0) return ios_unset(error);
  return ios_location_get(record->slot3, node, error);
}

int ios_section_get_slot3_value(IosHandle section, uint32_t value[2], IosErrorCode* error) {
  if (value != nullptr) value[0] = value[1] = 0;
  ExprNode* node = nullptr;
  int status = ios_section_get_slot3_expr(section, &node, error);
  if (status != 0) return status;
  return valueOf(node, value);
}

int ios_section_get_address_value(IosHandle section, uint32_t value[2], IosErrorCode* error) {
  if (value != nullptr) value[0] = value[1] = 0;
  ExprNode* node = nullptr;
  int status = ios_section_get_address_expr(section, &node, error);
  if (status != 0) return status;
  return valueOf(node, value);
}

int ios_section_set_slot3_expr(IosHandle section, ExprNode* node, IosErrorCode* error) {
  LOOKUP(section, record);
  ExprSlotRef slot{};
  if (slot3Of(record, node != nullptr, &slot, error) != 0) return 1;
  if (slot.index == 0) return 0;
  return ios_location_set(slot, node, error);
}

int ios_section_set_slot3_value(IosHandle section, uint32_t low, uint32_t high,
                                IosErrorCode* error) {
  LOOKUP(section, record);
  ExprSlotRef slot{};
  if (slot3Of(record, true, &slot, error) != 0) return 1;
  return storeInteger(slot, section.file_id, low, high, error);
}

int ios_section_set_address_value(IosHandle section, uint32_t low, uint32_t high,
                                  IosErrorCode* error) {
  LOOKUP(section, record);
  return storeInteger(record->address_slot, section.file_id, low, high, error);
}

int ios_slot_get_expr(ExprNode** node, uint32_t index, ExprLibContext* slots) {
  if (node == nullptr) return 0;
  *node = nullptr;
  if (slots != nullptr && index < slots->slots.next_index && index < slots->slots.capacity) {
    *node = expr_slot_expression(slots, index);
  }
  return 0;
}

int ios_file_get_section_order(uint32_t file_id, IdTable** table, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (table != nullptr) *table = file->file_table1;
  return 0;
}

int ios_file_get_group_admin(uint32_t file_id, IosGroupAdmin** admin, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (admin != nullptr) *admin = file->groups;
  return 0;
}

int ios_file_get_image_admin(uint32_t file_id, IosImageAdmin** admin, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (admin != nullptr) *admin = file->images;
  return 0;
}

int ios_file_get_data_admin(uint32_t file_id, IosDataAdmin** admin, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (admin != nullptr) *admin = file->data;
  return 0;
}

int ios_file_get_byte_order(uint32_t file_id, uint32_t* order, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->byte_order == 0) return ios_unset(error);
  if (order != nullptr) *order = file->byte_order;
  return 0;
}

int ios_group_get_name(uint32_t file_id, uint32_t group_id, IosHandle* name, IosErrorCode* error) {
  IosGroup* group = groupOf(file_id, group_id, nullptr, error);
  if (group == nullptr) return 1;
  if (group->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = group->name;
  return 0;
}

int ios_group_count_sections(IosHandle group, uint32_t* count, IosErrorCode* error) {
  IosGroup* record = nullptr;
  if (ios_get_group(group, &record, error) != 0) return 1;
  uint32_t live = 0;
  const auto* ids = static_cast<const uint32_t*>(record->members.items);
  for (uint32_t i = 0; i < record->members.count; ++i) {
    if (ids[i] != 0) ++live;
  }
  if (count != nullptr) *count = live;
  return 0;
}

int ios_group_delete(uint32_t file_id, uint32_t group_id, IosErrorCode* error) {
  IosGroup* group = groupOf(file_id, group_id, nullptr, error);
  if (group == nullptr) return 1;
  group->deleted = 1;
  return 0;
}

int ios_group_next(uint32_t file_id, uint32_t unused, IosHandle* group, IosErrorCode* error) {
  (void)unused;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosGroupAdmin* admin = file->groups;
  if (admin == nullptr) return ios_fail(error, IOS_ERR_NO_SECTION);
  for (uint32_t id = admin->cursor + 1; id <= admin->groups->highest_id; ++id) {
    auto* record = static_cast<IosGroup*>(idtab_get(admin->groups, id - 1));
    if (record == nullptr || record->deleted != 0) continue;
    admin->cursor = id;
    if (group != nullptr) *group = IosHandle{file_id, id};
    return 0;
  }
  return ios_fail(error, IOS_ERR_NO_SECTION);
}

void ios_group_admin_free(IosGroupAdmin* admin) { ios_group_admin_delete(admin); }

void* ios_alloc_node16() { return pool_alloc(16); }

void* pool_alloc_zeroed(BlockPool* pool) { return pool_block_alloc_zeroed(pool); }

void* pool_alloc_copy8(BlockPool* pool, const void* source) {
  void* block = pool_block_alloc_zeroed(pool);
  if (block != nullptr && source != nullptr) std::memcpy(block, source, 8);
  return block;
}

int ios_admin_storage_free(IosDebugFamily* admin) {
  ios_free_record_admin(admin, nullptr);
  return 0;
}
