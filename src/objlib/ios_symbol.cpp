#include "objlib/ios_symbol.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

namespace {

constexpr uint32_t kUnset = 0xFFFFFFFFu;

IosSymbolAdmin* symbolAdminOf(uint32_t file_id, IosFile** file, IosErrorCode* error) {
  IosFile* found = nullptr;
  if (ios_get_file(file_id, &found, error) != 0) return nullptr;
  if (found->symbols == nullptr) {
    ios_fail(error, IOS_ERR_INTERNAL);
    return nullptr;
  }
  if (file != nullptr) *file = found;
  return found->symbols;
}

IosScope* newScope(IosSymbolAdmin* admin, uint32_t file_id, uint32_t kind, IosHandle name,
                   IosErrorCode* error) {
  auto* scope = static_cast<IosScope*>(pool_alloc_block(admin->scope_pool));
  if (scope == nullptr) {
    ios_fail(error, IOS_ERR_NO_MEMORY);
    return nullptr;
  }
  std::memset(scope, 0, sizeof *scope);
  uint32_t id = idtab_next_id(admin->scopes);
  scope->handle = IosHandle{file_id, id};
  scope->name = name.object_id >= 1 ? name : IosHandle{0, 0};
  scope->kind = kind;
  if (idtab_set(admin->scopes, id - 1, scope) != 0) {
    pool_free_block(scope, admin->scope_pool);
    ios_fail(error, IOS_ERR_NO_MEMORY);
    return nullptr;
  }
  return scope;
}

// The symbol record by handle, or the lookup's failure.
#define LOOKUP(handle, record)                                      \
  IosSymbol* record = nullptr;                                      \
  if (ios_get_symbol(handle, &record, error) != 0) return 1

}  // namespace

IosSymbolAdmin* ios_symbol_admin_new() {
  auto* admin = static_cast<IosSymbolAdmin*>(std::calloc(1, sizeof(IosSymbolAdmin)));
  if (admin == nullptr) return nullptr;
  admin->symbol_pool = pool_create(sizeof(IosSymbol));
  admin->scope_pool = pool_create(sizeof(IosScope));
  admin->symbols = idtab_new();
  admin->scopes = idtab_new();
  admin->slot_map = idtab_new();
  admin->second_slots = idtab_new();
  if (admin->symbol_pool == nullptr || admin->scope_pool == nullptr || admin->symbols == nullptr ||
      admin->scopes == nullptr || admin->slot_map == nullptr || admin->second_slots == nullptr) {
    ios_symbol_admin_delete(admin);
    return nullptr;
  }
  return admin;
}

void ios_symbol_admin_delete(IosSymbolAdmin* admin) {
  if (admin == nullptr) return;
  if (admin->scopes != nullptr) {
    for (uint32_t id = 1; id <= admin->scopes->highest_id; ++id) {
      if (auto* scope = static_cast<IosScope*>(idtab_get(admin->scopes, id - 1)))
        ios_array_free(&scope->members);
    }
  }
  idtab_delete(admin->symbols);
  idtab_delete(admin->scopes);
  idtab_delete(admin->slot_map);
  if (admin->second_slots != nullptr) {
    for (uint32_t id = 1; id <= admin->second_slots->highest_id; ++id)
      pool_free(idtab_get(admin->second_slots, id - 1), sizeof(ExprSlotRef));
    idtab_delete(admin->second_slots);
  }
  ios_array_free(&admin->list_scopes);
  pool_destroy(admin->symbol_pool);
  pool_destroy(admin->scope_pool);
  std::free(admin);
}

// ---- Scopes ----

int ios_get_scope(IosHandle scope, IosScope** record, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(scope.file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* found = static_cast<IosScope*>(idtab_get(admin->scopes, scope.object_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_SCOPE);
  if (record != nullptr) *record = found;
  return 0;
}

int ios_scope_get_global(uint32_t file_id, IosHandle* scope, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  if (admin->global == nullptr) {
    admin->global = newScope(admin, file_id, IOS_SCOPE_GLOBAL, IosHandle{0, 0}, error);
    if (admin->global == nullptr) return 1;
  }
  if (scope != nullptr) *scope = admin->global->handle;
  return 0;
}

int ios_scope_get_global_handle(uint32_t file_id, IosHandle* scope, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  if (admin->global == nullptr) return ios_unset(error);
  if (scope != nullptr) *scope = admin->global->handle;
  return 0;
}

int ios_scope_create(uint32_t file_id, IosHandle name, IosHandle* scope, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* slot = static_cast<uint32_t*>(ios_array_push(&admin->list_scopes, sizeof(uint32_t)));
  if (slot == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  IosScope* made = newScope(admin, file_id, IOS_SCOPE_LIST, name, error);
  if (made == nullptr) {
    --admin->list_scopes.count;
    return 1;
  }
  *slot = made->handle.object_id;
  if (scope != nullptr) *scope = made->handle;
  return 0;
}

int ios_scope_list_get(uint32_t index, uint32_t file_id, IosHandle* scope, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* id = static_cast<uint32_t*>(ios_array_at(&admin->list_scopes, sizeof(uint32_t), index));
  if (id == nullptr) return ios_fail(error, IOS_ERR_NO_SCOPE);
  if (scope != nullptr) *scope = IosHandle{file_id, *id};
  return 0;
}

int ios_scope_list_count(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  if (count != nullptr) *count = admin->list_scopes.count;
  return 0;
}

int ios_scope_count_symbols(IosHandle scope, uint32_t* count, IosErrorCode* error) {
  IosScope* record = nullptr;
  if (ios_get_scope(scope, &record, error) != 0) return 1;
  if (count != nullptr) *count = record->members.count;
  return 0;
}

int ios_scope_get_symbol(IosHandle scope, uint32_t index, IosHandle* symbol, IosErrorCode* error) {
  IosScope* record = nullptr;
  if (ios_get_scope(scope, &record, error) != 0) return 1;
  auto* id = static_cast<uint32_t*>(ios_array_at(&record->members, sizeof(uint32_t), index));
  if (id == nullptr) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  if (symbol != nullptr) *symbol = IosHandle{scope.file_id, *id};
  return 0;
}

// ---- Symbols ----

int ios_symbol_create_with_slot(uint32_t file_id, IosHandle scope, ExprSlotRef slot,
                                IosHandle* symbol, IosErrorCode* error) {
  IosFile* file = nullptr;
  IosSymbolAdmin* admin = symbolAdminOf(file_id, &file, error);
  if (admin == nullptr) return 1;
  IosScope* scopeRecord = nullptr;
  if (ios_get_scope(IosHandle{file_id, scope.object_id}, &scopeRecord, error) != 0) return 1;
  if (slot.index == 0 && ios_entry_array_push(file->expr_context, &slot, error) != 0) return 1;
  auto* member = static_cast<uint32_t*>(ios_array_push(&scopeRecord->members, sizeof(uint32_t)));
  if (member == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  auto* record = static_cast<IosSymbol*>(pool_alloc_block(admin->symbol_pool));
  uint32_t id = idtab_next_id(admin->symbols);
  if (record == nullptr || idtab_set(admin->symbols, id - 1, record) != 0) {
    if (record != nullptr) pool_free_block(record, admin->symbol_pool);
    --scopeRecord->members.count;
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  std::memset(record, 0, sizeof *record);
  record->file_id = file_id;
  record->symbol_id = id;
  record->scope = scopeRecord->handle;
  record->section_number = kUnset;
  record->other = kUnset;
  record->slot = slot;
  record->scope_index = scopeRecord->members.count - 1;
  *member = id;
  // Slots of other contexts cannot be mapped back; the file's own are what the
  // producer meets in relocation expressions. A symbol the producer could not find
  // from its slot is no symbol of the file: no room for the entry fails the call.
  if (slot.context == file->expr_context && idtab_set(admin->slot_map, slot.index - 1, record) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  if (file->section_flag != 0 &&
      idtab_set(file->file_table2, idtab_next_id(file->file_table2) - 1, record) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  if (symbol != nullptr) *symbol = IosHandle{file_id, id};
  return 0;
}

int ios_get_symbol(IosHandle symbol, IosSymbol** record, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(symbol.file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* found = static_cast<IosSymbol*>(idtab_get(admin->symbols, symbol.object_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  // An alias chain can only be as long as there are symbols; past that it is a
  // cycle.
  for (uint32_t hops = 0; found->alias_id != 0; ++hops) {
    if (record != nullptr) *record = found;
    if (hops > admin->symbols->highest_id) return ios_fail(error, IOS_ERR_NO_SYMBOL);
    found = static_cast<IosSymbol*>(idtab_get(admin->symbols, found->alias_id - 1));
    if (found == nullptr) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  }
  if (record != nullptr) *record = found;
  if ((found->flags & IOS_SYMBOL_DELETED_BIT) != 0) return ios_fail(error, IOS_ERR_DELETED);
  return 0;
}

int ios_file_count_symbols(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  if (count != nullptr) *count = admin->symbols->highest_id;
  return 0;
}

int ios_symbol_find_by_slot(uint32_t file_id, uint32_t slot_index, IosHandle* symbol,
                            IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* found = static_cast<IosSymbol*>(idtab_get(admin->slot_map, slot_index - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
  if (symbol != nullptr) *symbol = IosHandle{file_id, found->symbol_id};
  return 0;
}

int ios_symbol_set_name(IosHandle symbol, IosHandle name, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (record->name.object_id != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->name = name;
  return 0;
}

int ios_symbol_get_name(IosHandle symbol, IosHandle* name, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (name != nullptr) *name = record->name;
  if (record->name.object_id == 0) return ios_unset(error);
  return 0;
}

int ios_symbol_set_section(IosHandle symbol, IosHandle section, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (section.object_id < 1) return ios_fail(error, IOS_ERR_NO_SECTION);
  if (record->section.object_id != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->section = section;
  return 0;
}

int ios_symbol_get_section(IosHandle symbol, IosHandle* section, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (section != nullptr) *section = record->section;
  return 0;
}

int ios_symbol_section(IosHandle symbol, IosHandle* section, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (record->section.object_id == 0) {
    ios_fail(error, IOS_ERR_NO_PROPERTY);
    return -1;
  }
  IosSection* found = nullptr;
  if (ios_get_section(record->section, &found, error) != 0) return 1;
  if (section != nullptr) *section = record->section;
  return 0;
}

int ios_symbol_set_section_number(IosHandle symbol, uint32_t number, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (record->section_number != kUnset && record->section_number != number)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->section_number = number;
  return 0;
}

int ios_symbol_get_section_number(IosHandle symbol, uint32_t* number, IosErrorCode* error) {
  LOOKUP(symbol, record);
  uint32_t value = record->section_number;
  if (value == kUnset && record->section.object_id != 0) {
    IosSection* section = nullptr;
    if (ios_get_section(record->section, &section, error) != 0) return 1;
    value = section->number;
  }
  if (number != nullptr) *number = value;
  return value == kUnset ? -1 : 0;
}

int ios_symbol_set_mau(IosHandle symbol, uint32_t bits, IosErrorCode* error) {
  LOOKUP(symbol, record);
  auto width = static_cast<uint8_t>(bits);
  if (record->mau_size != 0 && record->mau_size != width)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->mau_size = width;
  return 0;
}

int ios_symbol_init_other(IosHandle symbol, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (record->other != kUnset && record->other != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->other = 0;
  return 0;
}

int ios_symbol_set_other(IosHandle symbol, uint32_t other, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (record->other != kUnset && record->other != other)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->other = other;
  return 0;
}

int ios_symbol_set_type(IosHandle symbol, uint32_t type, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if ((record->flags & IOS_SYMBOL_TYPE_MASK) != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->flags = static_cast<uint8_t>(record->flags | (type & IOS_SYMBOL_TYPE_MASK));
  return 0;
}

int ios_symbol_get_type(IosHandle symbol, uint32_t* type, IosErrorCode* error) {
  LOOKUP(symbol, record);
  uint32_t value = record->flags & IOS_SYMBOL_TYPE_MASK;
  if (type != nullptr) *type = value;
  if (value == 0) return ios_unset(error);
  return 0;
}

int ios_symbol_set_weak(IosHandle symbol, IosErrorCode* error) {
  return ios_symbol_put_weak(symbol, 1, error);
}

int ios_symbol_put_weak(IosHandle symbol, uint32_t weak, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if ((weak & 1u) != 0) {
    record->flags = static_cast<uint8_t>(record->flags | IOS_SYMBOL_WEAK_BIT);
  } else {
    record->flags = static_cast<uint8_t>(record->flags & ~IOS_SYMBOL_WEAK_BIT);
  }
  return 0;
}

int ios_symbol_get_weak(IosHandle symbol, uint32_t* weak, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (weak != nullptr) *weak = (record->flags & IOS_SYMBOL_WEAK_BIT) != 0 ? 1 : 0;
  return 0;
}

int ios_symbol_set_size(IosHandle symbol, uint32_t size, IosErrorCode* error) {
  LOOKUP(symbol, record);
  record->size = size;
  return 0;
}

int ios_symbol_get_size(IosHandle symbol, uint32_t* size, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (size != nullptr) *size = record->size;
  return 0;
}

int ios_symbol_set_info_byte(IosHandle symbol, uint32_t info, IosErrorCode* error) {
  LOOKUP(symbol, record);
  record->info = static_cast<uint8_t>(info);
  return 0;
}

int ios_symbol_get_binding(IosHandle symbol, uint32_t* scope_kind, IosErrorCode* error) {
  LOOKUP(symbol, record);
  IosScope* scope = nullptr;
  if (ios_get_scope(record->scope, &scope, error) != 0) return 1;
  if (scope_kind != nullptr) *scope_kind = scope->kind;
  return 0;
}

namespace {

// Whether the slot holds a value, as a tree or as a located pair, without making the
// pair's tree.
bool holdsValue(ExprSlotRef slot) {
  if (expr_slot_located(slot.context, slot.index)) return true;
  ExprNode* held = nullptr;
  IosErrorCode ignored = IOS_ERR_NO_MEMORY;
  return ios_location_get(slot, &held, &ignored) == 0;
}

}  // namespace

int ios_symbol_set_value_expr(IosHandle symbol, ExprNode* value, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (holdsValue(record->slot)) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  if (value == nullptr) return 0;
  return ios_location_set(record->slot, value, error);
}

int ios_symbol_set_section_offset(IosHandle symbol, uint32_t offset, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (record->section.object_id == 0) return ios_fail(error, IOS_ERR_NO_SECTION);
  if (holdsValue(record->slot)) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  IosSection* section = nullptr;
  if (ios_get_section(record->section, &section, error) != 0) return 1;
  // The base is named by its slot index, which only means something in the
  // symbol's own context.
  if (section->address_slot.context != record->slot.context) return ios_fail(error, IOS_ERR_INTERNAL);
  return ios_location_set_located(record->slot, section->address_slot.index, offset, error);
}

int ios_symbol_get_section_offset(IosHandle symbol, uint32_t* offset, ExprSlotRef* base, IosErrorCode* error) {
  LOOKUP(symbol, record);
  uint32_t baseIndex = 0;
  int status = ios_location_get_located(record->slot, &baseIndex, offset, error);
  if (status != 0) return status;
  if (base != nullptr) *base = ExprSlotRef{baseIndex, record->slot.context};
  return 0;
}

int ios_symbol_get_section_expr(IosHandle symbol, ExprNode** value, IosErrorCode* error) {
  if (value != nullptr) *value = nullptr;
  LOOKUP(symbol, record);
  return ios_location_get(record->slot, value, error);
}

int ios_symbol_get_slot(IosHandle symbol, ExprSlotRef* slot, IosErrorCode* error) {
  LOOKUP(symbol, record);
  if (slot != nullptr) *slot = record->slot;
  return 0;
}

int ios_symbol_set_second_slot(IosHandle symbol, ExprSlotRef slot, IosErrorCode* error) {
  LOOKUP(symbol, record);
  IosSymbolAdmin* admin = symbolAdminOf(symbol.file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* held = static_cast<ExprSlotRef*>(idtab_get(admin->second_slots, record->symbol_id - 1));
  if (held == nullptr) {
    held = static_cast<ExprSlotRef*>(pool_alloc(sizeof(ExprSlotRef)));
    if (held == nullptr || idtab_set(admin->second_slots, record->symbol_id - 1, held) != 0) {
      pool_free(held, sizeof(ExprSlotRef));
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
  }
  *held = slot;
  return 0;
}

int ios_symbol_get_second_slot(IosHandle symbol, ExprSlotRef* slot, IosErrorCode* error) {
  LOOKUP(symbol, record);
  IosSymbolAdmin* admin = symbolAdminOf(symbol.file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* held = static_cast<const ExprSlotRef*>(idtab_get(admin->second_slots, record->symbol_id - 1));
  if (slot != nullptr) *slot = held != nullptr ? *held : ExprSlotRef{0, nullptr};
  return 0;
}

int ios_symbol_set_alias(IosHandle symbol, uint32_t alias_id, IosErrorCode* error) {
  IosSymbolAdmin* admin = symbolAdminOf(symbol.file_id, nullptr, error);
  if (admin == nullptr) return 1;
  auto* record = static_cast<IosSymbol*>(idtab_get(admin->symbols, symbol.object_id - 1));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  record->alias_id = alias_id;
  return 0;
}

int ios_symbol_set_deleted(IosHandle symbol, IosErrorCode* error) {
  LOOKUP(symbol, record);
  record->flags = static_cast<uint8_t>(record->flags | IOS_SYMBOL_DELETED_BIT);
  return 0;
}
