#include "objlib/ios_section.h"

#include <cstdlib>
#include <cstring>

#include "objlib/expr_eval.h"
#include "objlib/expr_slots.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/objlib_state.h"

namespace {

// Redirections are written by the store's own callers; a chain longer than this is a
// cycle, not a design.
constexpr uint32_t kRedirectLimit = 64;

uint32_t field(uint32_t word, uint32_t shift, uint32_t mask) { return (word >> shift) & mask; }

void setField(uint32_t* word, uint32_t shift, uint32_t mask, uint32_t value) {
  *word = (*word & ~(mask << shift)) | ((value & mask) << shift);
}

int32_t signedAccess(uint32_t attributes) {
  uint32_t bits = field(attributes, IOS_SECTION_ACCESS_SHIFT, IOS_SECTION_ACCESS_MASK);
  return (bits & 0x4u) != 0 ? static_cast<int32_t>(bits) - 8 : static_cast<int32_t>(bits);
}

// The section record by handle, or the lookup's failure.
#define LOOKUP(handle, record)                                       \
  IosSection* record = nullptr;                                      \
  if (ios_get_section(handle, &record, error) != 0) return 1

int getField(IosHandle section, uint32_t shift, uint32_t mask, uint32_t* value,
             IosErrorCode* error) {
  LOOKUP(section, record);
  uint32_t bits = field(record->attributes, shift, mask);
  if (value != nullptr) *value = bits;
  if (bits == 0) return ios_unset(error);
  return 0;
}

int setAttribute(IosHandle section, uint32_t shift, uint32_t mask, uint32_t value,
                 IosErrorCode* error) {
  LOOKUP(section, record);
  setField(&record->attributes, shift, mask, value);
  return 0;
}

void setAccess(IosSection* record, uint32_t access, uint32_t accessDefault) {
  setField(&record->attributes, IOS_SECTION_ACCESS_SHIFT, IOS_SECTION_ACCESS_MASK, access);
  if (field(record->attributes, IOS_SECTION_ACCESS_DEFAULT_SHIFT,
            IOS_SECTION_ACCESS_DEFAULT_MASK) == 0) {
    setField(&record->attributes, IOS_SECTION_ACCESS_DEFAULT_SHIFT,
             IOS_SECTION_ACCESS_DEFAULT_MASK, accessDefault);
  }
}

void copyValueBytes(ExprNode* copy, const ExprNode* node, uint32_t count) {
  std::memcpy(expr_value_bytes(copy), expr_value_bytes(node), count);
}

}  // namespace

IosSectionAdmin* ios_section_admin_new() {
  auto* admin = static_cast<IosSectionAdmin*>(std::calloc(1, sizeof(IosSectionAdmin)));
  if (admin == nullptr) return nullptr;
  admin->pool = pool_create(sizeof(IosSection));
  admin->sections = idtab_new();
  if (admin->pool == nullptr || admin->sections == nullptr) {
    ios_section_admin_delete(admin);
    return nullptr;
  }
  return admin;
}

void ios_section_admin_delete(IosSectionAdmin* admin) {
  if (admin == nullptr) return;
  if (admin->sections != nullptr) {
    for (uint32_t id = 1; id <= admin->sections->highest_id; ++id) {
      auto* section = static_cast<IosSection*>(idtab_get(admin->sections, id - 1));
      if (section == nullptr) continue;
      // The context frees its nodes itself when it goes, but a context that outlives
      // the file would otherwise keep them counted as live.
      ios_location_set(section->address_slot, nullptr, nullptr);
      ios_location_set(section->size_slot, nullptr, nullptr);
      if (section->slot3.index != 0) ios_location_set(section->slot3, nullptr, nullptr);
    }
    idtab_delete(admin->sections);
  }
  pool_destroy(admin->pool);
  std::free(admin);
}

// ---- Location slots ----

int ios_entry_array_push(ExprLibContext* context, ExprSlotRef* slot, IosErrorCode* error) {
  if (context == nullptr || slot == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ExprSlotTable& table = context->slots;
  if (table.next_index == 0) table.next_index = 1;
  if (table.next_index >= table.capacity) {
    // A table that never got its first entries grows from a minimum instead of
    // doubling zero forever.
    uint32_t capacity =
        table.capacity < EXPR_FIRST_SLOT_CAPACITY ? EXPR_FIRST_SLOT_CAPACITY : table.capacity * 2;
    if (capacity <= table.capacity) {
      context->error = EXPR_ERR_NO_MEMORY;
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    auto* grown = static_cast<ExprSlot*>(pool_alloc(size_t{capacity} * sizeof(ExprSlot)));
    if (grown == nullptr) {
      context->error = EXPR_ERR_NO_MEMORY;
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    if (table.entries != nullptr) {
      std::memcpy(grown, table.entries, size_t{table.capacity} * sizeof(ExprSlot));
      objlib_state().moved_items += table.capacity;
      pool_free(table.entries, size_t{table.capacity} * sizeof(ExprSlot));
    }
    table.entries = grown;
    table.capacity = capacity;
  }
  uint32_t index = table.next_index++;
  table.entries[index] = ExprSlot{nullptr, EXPR_NO_BASE, 0};
  *slot = ExprSlotRef{index, context};
  return 0;
}

int ios_location_set(ExprSlotRef slot, ExprNode* node, IosErrorCode* error) {
  if (slot.context == nullptr || slot.index == 0 || slot.index >= slot.context->slots.next_index)
    return ios_fail(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
  ExprSlot& entry = slot.context->slots.entries[slot.index];
  // The new reference first: storing the node the slot already holds must not free
  // it in between.
  if (node != nullptr) ++node->ref_count;
  ExprNode* old = entry.expr;
  entry.expr = node;
  entry.base = EXPR_NO_BASE;
  entry.offset = 0;
  expr_release(old);
  expr_slot_refresh_dependants(slot.context, slot.index);
  return 0;
}

int ios_location_set_located(ExprSlotRef slot, uint32_t base, uint32_t offset, IosErrorCode* error) {
  if (slot.context == nullptr || slot.index == 0 || slot.index >= slot.context->slots.next_index ||
      base == 0 || base == slot.index || base >= slot.context->slots.next_index)
    return ios_fail(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
  ExprSlot& entry = slot.context->slots.entries[slot.index];
  ExprNode* old = entry.expr;
  entry = ExprSlot{nullptr, base, offset};
  expr_release(old);
  expr_slot_refresh_dependants(slot.context, slot.index);
  return 0;
}

int ios_location_get_located(ExprSlotRef slot, uint32_t* base, uint32_t* offset, IosErrorCode* error) {
  if (slot.context == nullptr || slot.index == 0 || slot.index >= slot.context->slots.next_index)
    return ios_fail(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
  if (!expr_slot_located(slot.context, slot.index)) return ios_unset(error);
  const ExprSlot& entry = slot.context->slots.entries[slot.index];
  if (base != nullptr) *base = entry.base;
  if (offset != nullptr) *offset = entry.offset;
  return 0;
}

int ios_location_get(ExprSlotRef slot, ExprNode** node, IosErrorCode* error) {
  if (node != nullptr) *node = nullptr;
  if (slot.context == nullptr || slot.index == 0 || slot.index >= slot.context->slots.next_index)
    return ios_fail(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
  ExprNode* held = expr_slot_expression(slot.context, slot.index);
  if (held == nullptr) {
    if (expr_slot_located(slot.context, slot.index)) return ios_fail(error, IOS_ERR_NO_MEMORY);
    return ios_unset(error);
  }
  if (node != nullptr) *node = held;
  return 0;
}

int ios_location_derive(ExprLibContext* target, ExprNode* node, ExprNode** copy,
                        IosErrorCode* error) {
  if (target == nullptr || node == nullptr || copy == nullptr)
    return ios_fail(error, IOS_ERR_INTERNAL);
  if (node->context == target) {
    ++node->ref_count;
    *copy = node;
    return 0;
  }
  ExprNode* made = nullptr;
  if (expr_new_node(target, &made) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  made->kind = node->kind;
  made->value_type = node->value_type;
  made->width = node->width;
  made->flag = node->flag;
  if (node->kind == EXPR_VALUE) {
    switch (node->value_type) {
      case EXPR_TYPE_DOUBLE: copyValueBytes(made, node, 8); break;
      case EXPR_TYPE_FRACT: {
        uint32_t bytes = node->width / 8u;
        uint32_t room = target->int_width > 16 ? target->int_width : 16;
        copyValueBytes(made, node, bytes < room ? bytes : room);
        break;
      }
      case EXPR_TYPE_STRING: {
        ExprValueObject* value = expr_new_value(target);
        const char* text = node->payload.string != nullptr ? node->payload.string->text : "";
        if (value == nullptr || expr_value_set_text(target, value, text) != 0) {
          expr_release(made);
          return ios_fail(error, IOS_ERR_NO_MEMORY);
        }
        made->payload.string = value;
        break;
      }
      default: {
        uint32_t source = node->context->int_width > 16 ? node->context->int_width : 16;
        uint32_t bytes = target->int_width < source ? target->int_width : source;
        copyValueBytes(made, node, bytes);
        break;
      }
    }
    *copy = made;
    return 0;
  }
  if (node->kind == EXPR_SLOT_REF) {
    made->payload.slot = node->payload.slot;
    *copy = made;
    return 0;
  }
  if (node->kind == EXPR_CONVERT || node->kind == EXPR_DEFERRED) {
    ExprNode* operand = expr_operand(node, 0);
    ExprNode* operandCopy = nullptr;
    if (operand == nullptr || ios_location_derive(target, operand, &operandCopy, error) != 0) {
      expr_release(made);
      return 1;
    }
    if (node->kind == EXPR_CONVERT) {
      made->payload.held = operandCopy;
    } else {
      made->payload.deferred = ExprDeferred{node->payload.deferred.tag, operandCopy};
    }
    *copy = made;
    return 0;
  }
  uint32_t count = expr_operand_count(node);
  for (uint32_t index = 0; index < count; ++index) {
    ExprNode* operandCopy = nullptr;
    if (ios_location_derive(target, expr_operand(node, index), &operandCopy, error) != 0) {
      expr_release(made);
      return 1;
    }
    int added = expr_add_operand(made, operandCopy);
    expr_release(operandCopy);
    if (added != 0) {
      expr_release(made);
      return ios_fail(error, IOS_ERR_INTERNAL);
    }
  }
  *copy = made;
  return 0;
}

// ---- Sections ----

int ios_section_create(uint32_t file_id, const ExprSlotRef* shared_address, IosHandle* section,
                       IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosSectionAdmin* admin = file->sections;
  if (admin == nullptr) {
    mmi_hook_event1();
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  ExprSlotRef address{};
  ExprSlotRef size{};
  if (shared_address != nullptr && shared_address->index != 0) {
    address = *shared_address;
  } else if (ios_entry_array_push(file->expr_context, &address, error) != 0) {
    return 1;
  }
  if (ios_entry_array_push(file->expr_context, &size, error) != 0) return 1;
  auto* record = static_cast<IosSection*>(pool_alloc_block(admin->pool));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(record, 0, sizeof *record);
  uint32_t id = idtab_next_id(admin->sections);
  record->handle = IosHandle{file_id, id};
  record->address_slot = address;
  record->size_slot = size;
  record->attributes = IOS_SECTION_ACCESS_MASK << IOS_SECTION_ACCESS_SHIFT;
  record->number = IOS_NUMBER_UNSET;
  if (idtab_set(admin->sections, id - 1, record) != 0) {
    pool_free_block(record, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  ++admin->live_count;
  if (file->section_flag != 0 &&
      idtab_set(file->file_table1, idtab_next_id(file->file_table1) - 1, record) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  if (section != nullptr) *section = record->handle;
  return 0;
}

int ios_get_section(IosHandle section, IosSection** record, IosErrorCode* error) {
  for (uint32_t hops = 0; hops <= kRedirectLimit; ++hops) {
    IosFile* file = nullptr;
    if (ios_get_file(section.file_id, &file, error) != 0) return 1;
    if (file->sections == nullptr) return ios_fail(error, IOS_ERR_NO_SECTION);
    auto* found = static_cast<IosSection*>(idtab_get(file->sections->sections, section.object_id - 1));
    if (found == nullptr) return ios_fail(error, IOS_ERR_NO_SECTION);
    if (found->redirect.object_id > 0) {
      section = found->redirect;
      continue;
    }
    if ((found->attributes & IOS_SECTION_DELETED_BIT) != 0) return ios_fail(error, IOS_ERR_DELETED);
    if (record != nullptr) *record = found;
    return 0;
  }
  return ios_fail(error, IOS_ERR_INTERNAL);
}

int ios_section_next(uint32_t file_id, uint32_t* cursor, IosHandle* section,
                     IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (cursor == nullptr || section == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  *section = IosHandle{file_id, 0};
  if (file->sections == nullptr) return 0;
  const IdTable* table = file->sections->sections;
  while (*cursor < table->highest_id) {
    uint32_t id = ++*cursor;
    // A section placed into another is deleted and redirects to its destination, which
    // the walk reaches on its own; a section only marked deleted is still walked.
    auto* found = static_cast<const IosSection*>(idtab_get(table, id - 1));
    bool placed = found != nullptr && (found->attributes & IOS_SECTION_DELETED_BIT) != 0 &&
                  found->redirect.object_id > 0;
    if (found != nullptr && !placed) {
      section->object_id = id;
      return 0;
    }
  }
  return 0;
}

int ios_file_count_sections(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (count != nullptr) *count = file->sections != nullptr ? file->sections->live_count : 0;
  return 0;
}

int ios_section_set_name(IosHandle section, IosHandle name, IosErrorCode* error) {
  LOOKUP(section, record);
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  record->name = name;
  return 0;
}

int ios_section_get_name(IosHandle section, IosHandle* name, IosErrorCode* error) {
  LOOKUP(section, record);
  if (name != nullptr) *name = record->name;
  if (record->name.object_id < 1) return ios_unset(error);
  return 0;
}

int ios_section_set_mau_size(IosHandle section, uint32_t bits, IosErrorCode* error) {
  LOOKUP(section, record);
  record->mau_size = static_cast<uint8_t>(bits);
  return 0;
}

int ios_section_get_mau_size(IosHandle section, uint32_t* bits, IosErrorCode* error) {
  LOOKUP(section, record);
  uint32_t width = record->mau_size;
  if (width == 0) {
    IosFile* file = nullptr;
    if (ios_get_file(record->handle.file_id, &file, error) != 0) return 1;
    width = file->mau_size;
  }
  if (bits != nullptr) *bits = width;
  return width == 0 ? -1 : 0;
}

int ios_section_set_alignment(IosHandle section, uint32_t alignment, IosErrorCode* error) {
  LOOKUP(section, record);
  record->alignment = alignment;
  return 0;
}

int ios_section_get_alignment(IosHandle section, uint32_t* alignment, IosErrorCode* error) {
  LOOKUP(section, record);
  if (alignment != nullptr) *alignment = record->alignment;
  return 0;
}

int ios_section_set_fixed_address(IosHandle section, uint32_t address, IosErrorCode* error) {
  LOOKUP(section, record);
  if (address == 0 || address == record->fixed_address) return 0;
  if (record->fixed_address != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->fixed_address = address;
  return 0;
}

int ios_section_get_fixed_address(IosHandle section, uint32_t* address, IosErrorCode* error) {
  LOOKUP(section, record);
  if (address != nullptr) *address = record->fixed_address;
  if (record->fixed_address == 0) return ios_unset(error);
  return 0;
}

int ios_section_set_number(IosHandle section, uint32_t number, IosErrorCode* error) {
  LOOKUP(section, record);
  if (number == IOS_NUMBER_UNSET || number == record->number) return 0;
  if (record->number != IOS_NUMBER_UNSET) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->number = number;
  return 0;
}

int ios_section_get_number(IosHandle section, uint32_t* number, IosErrorCode* error) {
  LOOKUP(section, record);
  if (number != nullptr) *number = record->number;
  if (record->number == IOS_NUMBER_UNSET) return ios_unset(error);
  return 0;
}

int ios_section_set_group(IosHandle section, IosHandle group, IosErrorCode* error) {
  LOOKUP(section, record);
  record->group = group;
  return 0;
}

int ios_section_get_group(IosHandle section, IosHandle* group, IosErrorCode* error) {
  LOOKUP(section, record);
  if (group != nullptr) *group = record->group;
  if (record->group.object_id < 1) {
    if (error != nullptr) *error = IOS_ERR_NO_GROUP;
    return -1;
  }
  return 0;
}

int ios_section_get_attributes(IosHandle section, uint32_t* attributes, IosErrorCode* error) {
  LOOKUP(section, record);
  if (attributes != nullptr) *attributes = record->attributes;
  return 0;
}

int ios_section_set_type_normal(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_TYPE_SHIFT, IOS_SECTION_TYPE_MASK,
                      IOS_SECTION_TYPE_NORMAL, error);
}

int ios_section_set_type_note(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_TYPE_SHIFT, IOS_SECTION_TYPE_MASK,
                      IOS_SECTION_TYPE_NOTE, error);
}

int ios_section_set_type_special(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_TYPE_SHIFT, IOS_SECTION_TYPE_MASK,
                      IOS_SECTION_TYPE_SPECIAL, error);
}

int ios_section_get_type(IosHandle section, uint32_t* type, IosErrorCode* error) {
  return getField(section, IOS_SECTION_TYPE_SHIFT, IOS_SECTION_TYPE_MASK, type, error);
}

int ios_section_set_class(IosHandle section, uint32_t section_class, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_CLASS_SHIFT, IOS_SECTION_CLASS_MASK, section_class,
                      error);
}

int ios_section_get_class(IosHandle section, uint32_t* section_class, IosErrorCode* error) {
  return getField(section, IOS_SECTION_CLASS_SHIFT, IOS_SECTION_CLASS_MASK, section_class, error);
}

int ios_section_set_access_rw(IosHandle section, uint32_t, IosErrorCode* error) {
  LOOKUP(section, record);
  setAccess(record, 3, 1);
  return 0;
}

int ios_section_set_access_ro(IosHandle section, uint32_t, IosErrorCode* error) {
  LOOKUP(section, record);
  setAccess(record, 2, 2);
  return 0;
}

int ios_section_get_access(IosHandle section, int32_t* access, IosErrorCode* error) {
  LOOKUP(section, record);
  int32_t value = signedAccess(record->attributes);
  if (access != nullptr) *access = value;
  if (value == -1) return ios_unset(error);
  return 0;
}

int ios_section_access_from_default(IosHandle section, IosErrorCode* error) {
  LOOKUP(section, record);
  uint32_t accessDefault = field(record->attributes, IOS_SECTION_ACCESS_DEFAULT_SHIFT,
                                 IOS_SECTION_ACCESS_DEFAULT_MASK);
  switch (accessDefault) {
    case 1:
    case 3:
      setField(&record->attributes, IOS_SECTION_ACCESS_SHIFT, IOS_SECTION_ACCESS_MASK, 3);
      return 0;
    case 2:
      setField(&record->attributes, IOS_SECTION_ACCESS_SHIFT, IOS_SECTION_ACCESS_MASK, 2);
      return 0;
    case 5:
    case 6:
    case 7: return 0;
    default: return ios_unset(error);
  }
}

int ios_section_set_placement(IosHandle section, uint32_t placement, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_PLACEMENT_SHIFT, IOS_SECTION_PLACEMENT_MASK, placement,
                      error);
}

int ios_section_get_mode2(IosHandle section, uint32_t* placement, IosErrorCode* error) {
  return getField(section, IOS_SECTION_PLACEMENT_SHIFT, IOS_SECTION_PLACEMENT_MASK, placement,
                  error);
}

int ios_section_set_content_code(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_CONTENT_SHIFT, IOS_SECTION_CONTENT_MASK,
                      IOS_CONTENT_CODE, error);
}

int ios_section_set_content_kind2(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_CONTENT_SHIFT, IOS_SECTION_CONTENT_MASK,
                      IOS_CONTENT_KIND2, error);
}

int ios_section_set_content_cleared(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_CONTENT_SHIFT, IOS_SECTION_CONTENT_MASK,
                      IOS_CONTENT_CLEARED, error);
}

int ios_section_set_content_kind4(IosHandle section, IosErrorCode* error) {
  return setAttribute(section, IOS_SECTION_CONTENT_SHIFT, IOS_SECTION_CONTENT_MASK,
                      IOS_CONTENT_KIND4, error);
}

int ios_section_get_content(IosHandle section, uint32_t* content, IosErrorCode* error) {
  return getField(section, IOS_SECTION_CONTENT_SHIFT, IOS_SECTION_CONTENT_MASK, content, error);
}

int ios_section_set_marker_flag(IosHandle section, IosErrorCode* error) {
  LOOKUP(section, record);
  record->attributes |= IOS_SECTION_MARKER_BIT;
  return 0;
}

int ios_section_get_marker_flag(IosHandle section, uint32_t* marker, IosErrorCode* error) {
  LOOKUP(section, record);
  if (marker != nullptr) *marker = (record->attributes & IOS_SECTION_MARKER_BIT) != 0 ? 1 : 0;
  return 0;
}

int ios_section_set_bit4(uint32_t file_id, uint32_t section_id, uint32_t value,
                         IosErrorCode* error) {
  return setAttribute(IosHandle{file_id, section_id}, 20, 0x1u, value, error);
}

int ios_section_set_nibble(uint32_t file_id, uint32_t section_id, uint32_t value,
                           IosErrorCode* error) {
  return setAttribute(IosHandle{file_id, section_id}, IOS_SECTION_TYPE_SHIFT,
                      IOS_SECTION_TYPE_MASK, value, error);
}

int ios_section_set_field3(uint32_t file_id, uint32_t section_id, uint32_t value,
                           IosErrorCode* error) {
  return setAttribute(IosHandle{file_id, section_id}, IOS_SECTION_CONTENT_SHIFT,
                      IOS_SECTION_CONTENT_MASK, value, error);
}

int ios_section_set_mode(uint32_t file_id, uint32_t section_id, uint32_t value,
                         IosErrorCode* error) {
  LOOKUP((IosHandle{file_id, section_id}), record);
  setAccess(record, value & IOS_SECTION_ACCESS_MASK, (value & 1u) != 0 ? 1 : 2);
  return 0;
}

int ios_section_set_deleted(IosHandle section, IosErrorCode* error) {
  LOOKUP(section, record);
  record->attributes |= IOS_SECTION_DELETED_BIT;
  return 0;
}

int ios_section_set_redirect(IosHandle section, IosHandle target, IosErrorCode* error) {
  LOOKUP(section, record);
  record->redirect = target;
  return 0;
}

int ios_section_set_address_expr(IosHandle section, ExprNode* address, IosErrorCode* error) {
  LOOKUP(section, record);
  return ios_location_set(record->address_slot, address, error);
}

int ios_section_get_address_expr(IosHandle section, ExprNode** address, IosErrorCode* error) {
  LOOKUP(section, record);
  return ios_location_get(record->address_slot, address, error);
}

int ios_section_get_address_slot(IosHandle section, ExprSlotRef* slot, IosErrorCode* error) {
  LOOKUP(section, record);
  if (slot != nullptr) *slot = record->address_slot;
  return 0;
}

int ios_section_set_size(IosHandle section, uint32_t size, IosErrorCode* error) {
  LOOKUP(section, record);
  ExprLibContext* context = record->size_slot.context;
  if (context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ExprNode* node = nullptr;
  // Sign-extended, as the size word is a signed 32-bit number to the producer.
  if (objexpr_make_integer(context, &node, static_cast<int32_t>(size)) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  int status = ios_location_set(record->size_slot, node, error);
  expr_release(node);
  return status;
}

int ios_section_set_size_expr(IosHandle section, ExprNode* size, IosErrorCode* error) {
  LOOKUP(section, record);
  return ios_location_set(record->size_slot, size, error);
}

int ios_section_get_size_expr(IosHandle section, ExprNode** size, IosErrorCode* error) {
  LOOKUP(section, record);
  return ios_location_get(record->size_slot, size, error);
}

int ios_section_get_size(IosHandle section, uint32_t* size, IosErrorCode* error) {
  LOOKUP(section, record);
  ExprNode* node = nullptr;
  int got = ios_location_get(record->size_slot, &node, error);
  if (got != 0) return got;
  if (node->kind != EXPR_VALUE) expr_evaluate(node);
  // A size that is not a number would make an empty section of a full one; the
  // caller has to hear about it.
  if (node->kind != EXPR_VALUE || node->value_type == EXPR_TYPE_DOUBLE ||
      node->value_type == EXPR_TYPE_FRACT || node->value_type == EXPR_TYPE_STRING)
    return ios_fail(error, IOS_ERR_SECTION_SIZE_UNSET);
  const unsigned char* bytes = expr_value_bytes(node);
  uint32_t value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                   uint32_t{bytes[3]} << 24;
  ExprLibContext* context = node->context;
  for (uint32_t index = 4; index < context->int_width; ++index) {
    if (bytes[index] != 0) {
      context->error = EXPR_ERR_OPERAND_TRUNCATED;
      break;
    }
  }
  if (size != nullptr) *size = value;
  return 0;
}

int ios_section_get_image(IosHandle section, IosHandle* image, IosErrorCode* error) {
  LOOKUP(section, record);
  if (image != nullptr) *image = record->image;
  if (record->image.object_id < 1) {
    if (error != nullptr) *error = IOS_ERR_NO_IMAGE;
    return -1;
  }
  return 0;
}

int ios_section_has_image(IosHandle section, uint32_t* has, IosErrorCode* error) {
  LOOKUP(section, record);
  uint32_t present = record->image.object_id != 0 ? 1 : 0;
  if (has != nullptr) *has = present;
  if (present == 0 && error != nullptr) *error = IOS_ERR_NO_IMAGE;
  return 0;
}
