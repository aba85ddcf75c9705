#include "objlib/ios_symbol_ops.h"

#include <cstring>

#include "objlib/expr_eval.h"
#include "objlib/expr_slots.h"
#include "objlib/expr_values.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

namespace {

constexpr uint32_t kUnset = 0xFFFFFFFFu;

#define LOOKUP(file_id, symbol_id, record)                                      \
  IosSymbol* record = nullptr;                                                  \
  if (ios_get_symbol(IosHandle{file_id, symbol_id}, &record, error) != 0) return 1

int misuse(IosErrorCode* error) {
  mmi_hook_event1();
  return ios_fail(error, IOS_ERR_INTERNAL);
}

// Takes the symbol out of its scope's member list; the later members move up.
void leaveScope(IosSymbol* record) {
  IosScope* scope = nullptr;
  if (ios_get_scope(record->scope, &scope, nullptr) != 0) return;
  IosArray& members = scope->members;
  auto* ids = static_cast<uint32_t*>(members.items);
  uint32_t at = record->scope_index;
  if (at >= members.count || ids[at] != record->symbol_id) return;  // not a member any more
  std::memmove(&ids[at], &ids[at + 1], size_t{members.count - at - 1} * sizeof(uint32_t));
  --members.count;
  for (uint32_t i = at; i < members.count; ++i) {
    IosSymbol* moved = nullptr;
    // Members are looked up without following aliases: their own record moves.
    IosSymbolAdmin* admin = nullptr;
    if (ios_file_get_symbol_admin(record->file_id, &admin, nullptr) == 0 &&
        (moved = static_cast<IosSymbol*>(idtab_get(admin->symbols, ids[i] - 1))) != nullptr) {
      moved->scope_index = i;
    }
  }
}

// A new signed integer node of the context.
ExprNode* integerNode(ExprLibContext* context, uint32_t low, uint32_t high, uint16_t width) {
  ExprNode* node = nullptr;
  if (expr_new_node(context, &node) != 0) return nullptr;
  node->value_type = EXPR_TYPE_SIGNED;
  expr_set_integer64(node, low, high, 0);
  node->width = width;
  return node;
}

// The 64-bit value of a node, evaluated in place when it is not a value yet.
int value64Of(ExprNode* node, uint32_t value[2]) {
  value[0] = 0;
  value[1] = 0;
  if (node->kind != EXPR_VALUE) expr_evaluate(node);
  if (node->kind != EXPR_VALUE) return 0;
  ExprLibContext* context = node->context;
  uint32_t saved = context->error;
  if (expr_get_int64(node, value) != 0) return 0;  // error 2 stays in the context
  context->error = saved;
  return 0;
}

}  // namespace

int ios_symbol_create(uint32_t file_id, uint32_t scope_id, IosSymbol* record,
                      IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->symbols == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (ios_get_scope(IosHandle{file_id, scope_id}, nullptr, error) != 0) return 1;
  if (file->expr_context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  IosHandle made{};
  if (ios_symbol_create_with_slot(file_id, IosHandle{file_id, scope_id}, ExprSlotRef{0, nullptr},
                                  &made, error) != 0) {
    return 1;
  }
  if (ios_get_symbol(made, nullptr, error) != 0) return 1;
  if (record != nullptr) {
    record->file_id = file_id;
    record->symbol_id = made.object_id;
  }
  return 0;
}

int ios_symbol_make_alias(uint32_t file_id, uint32_t unused, uint32_t a_file_id, uint32_t a_id,
                          uint32_t b_file_id, uint32_t b_id, IosErrorCode* error) {
  (void)unused;
  if (ios_get_file(file_id, nullptr, error) != 0) return 1;
  IosSymbol* a = nullptr;
  IosSymbol* b = nullptr;
  IosErrorCode found = IOS_ERR_NO_MEMORY;
  if (ios_get_symbol(IosHandle{a_file_id, a_id}, &a, &found) != 0 ||
      ios_get_symbol(IosHandle{b_file_id, b_id}, &b, &found) != 0) {
    return ios_fail(error, found == IOS_ERR_DELETED ? IOS_ERR_INTERNAL : found);
  }
  // A symbol standing for itself would make every lookup of it a cycle.
  if (a == b || a->file_id != b->file_id) return misuse(error);
  a->flags = static_cast<uint8_t>(a->flags | IOS_SYMBOL_DELETED_BIT);
  leaveScope(a);
  a->alias_id = b->symbol_id;
  ExprNode* reference = nullptr;
  if (objexpr_make_slot_ref(a->slot.context, &reference, b->slot.index, b->slot.context) != 0) {
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  ios_location_set(a->slot, reference, nullptr);
  expr_release(reference);
  return 0;
}

int ios_symbol_delete(uint32_t file_id, uint32_t symbol_id, IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  record->flags = static_cast<uint8_t>(record->flags | IOS_SYMBOL_DELETED_BIT);
  leaveScope(record);
  return 0;
}

int ios_symbol_set_value64(uint32_t file_id, uint32_t symbol_id, uint32_t low, uint32_t high,
                           IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  ExprLibContext* context = record->slot.context;
  if (context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (context->slots.entries[record->slot.index].expr != nullptr ||
      expr_slot_located(context, record->slot.index)) {
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  }
  ExprNode* value = integerNode(context, low, high, 64);
  if (value == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ios_location_set(record->slot, value, nullptr);
  expr_release(value);
  return 0;
}

int ios_symbol_set_second_value(uint32_t unused, uint32_t file_id, uint32_t symbol_id,
                                int32_t value, IosErrorCode* error) {
  (void)unused;
  LOOKUP(file_id, symbol_id, record);
  ExprSlotRef second{};
  if (ios_symbol_get_second_slot(IosHandle{file_id, symbol_id}, &second, error) != 0) return 1;
  if (second.index == 0) return 0;
  ExprLibContext* context = second.context;
  if (context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ExprNode* node = integerNode(context, static_cast<uint32_t>(value),
                               value < 0 ? 0xFFFFFFFFu : 0, 32);
  if (node == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ios_location_set(second, node, nullptr);
  expr_release(node);
  return 0;
}

int ios_symbol_get_value64(uint32_t file_id, uint32_t symbol_id, uint32_t value[2],
                           IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  ExprNode* node = nullptr;
  if (ios_location_get(record->slot, &node, error) != 0) return -1;
  uint32_t words[2];
  value64Of(node, words);
  if (value != nullptr) {
    value[0] = words[0];
    value[1] = words[1];
  }
  return 0;
}

int ios_symbol_get_scope(uint32_t file_id, uint32_t symbol_id, IosHandle* scope,
                         IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (record->scope.object_id < 1) return ios_fail(error, IOS_ERR_NO_SCOPE);
  if (scope != nullptr) *scope = record->scope;
  return 0;
}

int ios_symbol_set_name_handle(uint32_t file_id, uint32_t symbol_id, uint32_t string_file_id,
                               uint32_t string_id, IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (string_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  record->name = IosHandle{string_file_id, string_id};
  return 0;
}

int ios_symbol_get_attribute(uint32_t file_id, uint32_t symbol_id, uint32_t* attribute,
                             IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (attribute != nullptr) *attribute = record->info;
  return 0;
}

int ios_symbol_set_number(uint32_t file_id, uint32_t symbol_id, uint32_t number,
                          IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  record->section_number = number;
  return 0;
}

int ios_symbol_get_second_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                 IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (number != nullptr) *number = record->other;
  return record->other == kUnset ? -1 : 0;
}

int ios_symbol_get_third_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (number != nullptr) *number = record->size;
  return 0;
}

int ios_symbol_get_fourth_number(uint32_t file_id, uint32_t symbol_id, uint32_t* number,
                                 IosErrorCode* error) {
  LOOKUP(file_id, symbol_id, record);
  if (number != nullptr) *number = 0;
  return -1;
}

int ios_symbol_resolve(uint32_t file_id, uint32_t symbol_id, IosHandle* resolved,
                       IosErrorCode* error) {
  IosSymbol* record = nullptr;
  if (ios_get_symbol(IosHandle{file_id, symbol_id}, &record, error) != 0) {
    if (resolved != nullptr) resolved->object_id = 0;
    return 1;
  }
  if (resolved != nullptr) *resolved = IosHandle{record->file_id, record->symbol_id};
  return 0;
}

int ios_section_resolve(uint32_t file_id, uint32_t section_id, IosHandle* resolved,
                        IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(IosHandle{file_id, section_id}, &record, error) != 0) {
    if (resolved != nullptr) resolved->object_id = 0;
    return 1;
  }
  if (resolved != nullptr) *resolved = record->handle;
  return 0;
}

int ios_create_root_scope(uint32_t file_id, IosHandle* scope, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosSymbolAdmin* admin = file->symbols;
  if (admin == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  auto* made = static_cast<IosScope*>(pool_alloc_block(admin->scope_pool));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(made, 0, sizeof *made);
  uint32_t id = idtab_next_id(admin->scopes);
  made->handle = IosHandle{file_id, id};
  made->kind = IOS_SCOPE_ROOT;
  if (idtab_set(admin->scopes, id - 1, made) != 0) {
    pool_free_block(made, admin->scope_pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (scope != nullptr) *scope = made->handle;
  if (admin->root != nullptr) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  admin->root = made;
  return 0;
}

int ios_get_root_scope(uint32_t file_id, IosHandle* scope, IosErrorCode* error) {
  IosSymbolAdmin* admin = nullptr;
  if (ios_file_get_symbol_admin(file_id, &admin, error) != 0) return 1;
  if (admin == nullptr || admin->root == nullptr) return ios_unset(error);
  if (scope != nullptr) *scope = admin->root->handle;
  return 0;
}

int ios_scope_get_kind(uint32_t file_id, uint32_t scope_id, uint32_t* kind, IosErrorCode* error) {
  IosScope* record = nullptr;
  if (ios_get_scope(IosHandle{file_id, scope_id}, &record, error) != 0) return 1;
  if (record->kind == 0) return ios_fail(error, IOS_ERR_INTERNAL);
  if (kind != nullptr) *kind = record->kind;
  return 0;
}

int ios_file_get_symbol_admin(uint32_t file_id, IosSymbolAdmin** admin, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (admin != nullptr) *admin = file->symbols;
  return 0;
}

int ios_file_get_expr_context_of(uint32_t file_id, ExprLibContext** context,
                                 IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (context != nullptr) *context = file->expr_context;
  if (file->expr_context == nullptr && error != nullptr) *error = IOS_ERR_INTERNAL;
  return 0;
}

uint32_t ios_file_get_symbol_log_flag(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 0;
  return file->section_flag;
}

int ios_file_get_symbol_log(uint32_t file_id, IdTable** log, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (log != nullptr) *log = file->file_table2;
  return 0;
}
