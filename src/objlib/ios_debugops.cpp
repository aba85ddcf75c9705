#include "objlib/ios_debugops.h"

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_function.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typequery.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

namespace {

// A second "unset" that producers write into words whose unset value is all ones.
constexpr uint32_t kAlsoUnset = 0xFFFFFFFEu;


#define MODULE_OR_FAIL(handle, name) \
  IosModule* name = nullptr;         \
  if (ios_get_module(handle, &name, error) != 0) return 1
#define VARIABLE_OR_FAIL(handle, name) \
  IosVariable* name = nullptr;         \
  if (ios_get_variable(handle, &name, error) != 0) return 1

int rootOf(uint32_t file_id, IosDebugRoot** root, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr) return ios_unset(error);
  *root = file->debug_root;
  return 0;
}

int addFlaggedToModule(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t flags,
                       IosDebugHandle* variable, IosErrorCode* error) {
  IosDebugHandle made{};
  if (ios_module_add_variable({file_id, root_id, module_id}, &made, error) != 0) return 1;
  VARIABLE_OR_FAIL(made, record);
  record->flags = flags;
  if (variable != nullptr) *variable = made;
  return 0;
}

int getZeroUnset(uint32_t word, uint32_t* value, IosErrorCode* error) {
  if (word == 0) return ios_unset(error);
  if (value != nullptr) *value = word;
  return 0;
}

int getAllOnesUnset(uint32_t word, uint32_t* value) {
  if (word == IOS_DEBUG_UNSET) return -1;
  if (value != nullptr) *value = word;
  return 0;
}

int memberOf(uint32_t kind, uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
             TypeHandle* member, IosErrorCode* error) {
  IosType* type = nullptr;
  int status = ios_type_of_kind(file_id, type_id, kind, &type, error);
  if (status != 0) return status;
  TyperefRef entry{};
  status = kind == IOS_TYPEREF_STRUCTURE ? ios_struct_list_entry(type->detail, index, &entry, error)
                                         : ios_union_list_entry(type->detail, index, &entry, error);
  if (status != 0) return status;
  if (entry.resolved == 1 && member != nullptr) *member = TypeHandle{file_id, root_id, entry.id};
  return 0;
}

}  // namespace

int ios_set_once(uint32_t* field, uint32_t value, uint32_t unset, IosErrorCode* error) {
  bool isUnset = *field == unset || (unset == IOS_DEBUG_UNSET && *field == kAlsoUnset);
  if (!isUnset && *field != value) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  *field = value;
  return 0;
}

int ios_take_unless_unset(uint32_t value, uint32_t* out, uint32_t unset) {
  if (value == unset) return -1;
  *out = value;
  return 0;
}

int ios_module_add_function(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                            IosDebugHandle* function, IosErrorCode* error) {
  MODULE_OR_FAIL((IosDebugHandle{file_id, root_id, module_id}), module);
  IosDebugHandle made{};
  if (ios_function_create(file_id, root_id, &made, error) != 0) return 1;
  if (function != nullptr) *function = made;
  return ios_idtab_append(module->functions, ios_id_item(made.record_id), error);
}

int ios_variable_add_lifetime(uint32_t file_id, uint32_t root_id, uint32_t variable_id,
                              IosDebugHandle* lifetime, IosErrorCode* error) {
  VARIABLE_OR_FAIL((IosDebugHandle{file_id, root_id, variable_id}), variable);
  if (variable->lifetimes == nullptr) {
    variable->lifetimes = idtab_new();
    if (variable->lifetimes == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  IosDebugHandle made{};
  if (ios_lifetime_create(file_id, root_id, &made, error) != 0) return 1;
  if (lifetime != nullptr) *lifetime = made;
  return ios_idtab_append(variable->lifetimes, ios_id_item(made.record_id), error);
}

int ios_variable_create_flagged(uint32_t file_id, uint32_t root_id, uint32_t flags,
                                IosDebugHandle* variable, IosErrorCode* error) {
  IosDebugHandle made{};
  if (ios_variable_new(file_id, root_id, &made, error) != 0) return 1;
  VARIABLE_OR_FAIL(made, record);
  record->flags = flags;
  if (variable != nullptr) *variable = made;
  return 0;
}

int ios_module_add_variable_4096(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                                 IosDebugHandle* variable, IosErrorCode* error) {
  return addFlaggedToModule(file_id, root_id, module_id, 4096, variable, error);
}

int ios_module_add_variable_16384(uint32_t file_id, uint32_t root_id, uint32_t module_id,
                                  IosDebugHandle* variable, IosErrorCode* error) {
  return addFlaggedToModule(file_id, root_id, module_id, 16384, variable, error);
}

int ios_module_get_word12(IosDebugHandle module, uint32_t* value, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  if (record->word12 == 0) return ios_fail(error, IOS_ERR_INTERNAL);
  if (value != nullptr) *value = record->word12;
  return 0;
}

int ios_module_get_expression(IosDebugHandle module, ExprNode** expression, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  if (record->expression == nullptr) return ios_unset(error);
  if (expression != nullptr) *expression = record->expression;
  return 0;
}

int ios_module_set_expression(IosDebugHandle module, ExprNode* expression, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  if (expression == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  if (expression->kind != EXPR_LIST) return ios_fail(error, IOS_ERR_INTERNAL);
  if (record->expression != nullptr) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  ++expression->ref_count;
  record->expression = expression;
  return 0;
}

int ios_module_get_word5(IosDebugHandle module, uint32_t* value, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  return getAllOnesUnset(record->word, value);
}

int ios_module_set_word5(IosDebugHandle module, uint32_t value, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  return ios_set_once(&record->word, value, IOS_DEBUG_UNSET, error);
}

int ios_module_variable_count(IosDebugHandle module, uint32_t* count, IosErrorCode* error) {
  MODULE_OR_FAIL(module, record);
  if (count != nullptr) *count = record->variables.count;
  return 0;
}

int ios_variable_set_flags(IosDebugHandle variable, uint32_t flags, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  record->flags = flags;
  return 0;
}

int ios_variable_get_flags(IosDebugHandle variable, uint32_t* flags, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getZeroUnset(record->flags, flags, error);
}

int ios_variable_get_word5(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getZeroUnset(record->strict_word, value, error);
}

int ios_variable_set_word5(IosDebugHandle variable, uint32_t value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (record->strict_word != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->strict_word = value;
  return 0;
}

int ios_variable_get_word10(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getZeroUnset(record->kind, value, error);
}

int ios_variable_get_word11(IosDebugHandle variable, ExprNode** expression, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (record->expression == nullptr) return ios_unset(error);
  if (expression != nullptr) *expression = record->expression;
  return 0;
}

int ios_variable_get_word12(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getAllOnesUnset(record->value, value);
}

int ios_variable_get_word14(IosDebugHandle variable, ExprNode** expression, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (record->value_expression == nullptr) return ios_unset(error);
  if (expression != nullptr) *expression = record->value_expression;
  return 0;
}

int ios_variable_release_expression(IosDebugHandle variable, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  expr_release(record->value_expression);
  record->value_expression = nullptr;
  return 0;
}

int ios_variable_get_word15(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getAllOnesUnset(record->word1, value);
}

int ios_variable_set_word15(IosDebugHandle variable, uint32_t value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return ios_set_once(&record->word1, value, IOS_DEBUG_UNSET, error);
}

int ios_variable_get_word16(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  return getAllOnesUnset(record->word2, value);
}

int ios_variable_get_word17(IosDebugHandle variable, uint32_t* value, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (value != nullptr) *value = record->word17;
  return 0;
}

int ios_variable_get_pair(IosDebugHandle variable, StringHandle* name, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (record->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = record->name;
  return 0;
}

int ios_variable_get_type(IosDebugHandle variable, TypeHandle* type, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (record->type.type_id < 1) return ios_unset(error);
  if (type != nullptr) *type = record->type;
  return 0;
}

int ios_variable_set_type(IosDebugHandle variable, TypeHandle type, IosErrorCode* error) {
  VARIABLE_OR_FAIL(variable, record);
  if (type.type_id < 1) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (record->type.type_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->type = type;
  return 0;
}

int ios_typetable_add_kind(uint32_t file_id, uint32_t, uint32_t, uint32_t kind,
                           TypeHandle* typeref, IosErrorCode* error) {
  IosTypeStore* store = nullptr;
  int status = ios_get_type_store(&store, error, file_id);
  if (status != 0) return status;
  return ios_typetable_add_entry(store, kind, typeref, error);
}

int ios_typetable_add_typedef(uint32_t file_id, uint32_t root_id, uint32_t, uint32_t word,
                              TypeHandle* typeref, IosErrorCode* error) {
  return ios_typetable_add_kind(file_id, root_id, word, IOS_TYPEREF_TYPEDEF, typeref, error);
}

int ios_typetable_add_kind2(uint32_t file_id, uint32_t root_id, uint32_t, uint32_t word,
                            TypeHandle* typeref, IosErrorCode* error) {
  return ios_typetable_add_kind(file_id, root_id, word, 2, typeref, error);
}

int ios_typedef_set_target(uint32_t file_id, uint32_t root_id, uint32_t typeref_id, uint32_t,
                           uint32_t, uint32_t type_id, IosErrorCode* error) {
  IosTyperef* typeref = nullptr;
  int status = ios_typeref_lookup({file_id, root_id, typeref_id}, &typeref, error);
  if (status != 0) return status;
  if (typeref->kind != IOS_TYPEREF_TYPEDEF || typeref->detail == nullptr)
    return ios_fail(error, IOS_ERR_TYPEREF_NOT_TYPEDEF);
  return ios_typedef_detail_set_type(typeref->detail, {0, type_id}, error);
}

int ios_typetable_bind_symbol(IosDebugHandle table, uint32_t file_id, uint32_t symbol_id,
                              IosErrorCode* error) {
  IosDebugRoot* root = nullptr;
  int status = rootOf(table.file_id, &root, error);
  if (status != 0) return status;
  auto* record = static_cast<IosTypeTable*>(idtab_get(root->typetables.table, table.record_id - 1));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_TYPETABLE);
  if (symbol_id < 1) return ios_fail(error, IOS_ERR_NO_SYMBOL);
  if (record->symbol.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  if (idtab_set(root->typetables_by_symbol, symbol_id - 1, record) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  record->symbol = IosHandle{file_id, symbol_id};
  return 0;
}

// The binding is the table's last words: read as a handle ending in the symbol id,
// as every other handle of the store ends in the id its getter tests.
int ios_typetable_get_triple(IosDebugHandle table, uint32_t triple[3], IosErrorCode* error) {
  IosDebugRoot* root = nullptr;
  int status = rootOf(table.file_id, &root, error);
  if (status != 0) return status;
  auto* record = static_cast<IosTypeTable*>(idtab_get(root->typetables.table, table.record_id - 1));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_TYPETABLE);
  if (record->symbol.object_id < 1) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  if (triple != nullptr) {
    triple[0] = record->symbol.file_id;
    triple[1] = record->handle.root_id;
    triple[2] = record->symbol.object_id;
  }
  return 0;
}

uint32_t ios_record_word3(const IosType* record) { return record == nullptr ? 0 : record->visits; }
uint32_t ios_record_word4(const IosType* record) { return record == nullptr ? 0 : record->kind; }

int ios_typetable_by_symbol_index(uint32_t file_id, uint32_t, uint32_t, uint32_t index,
                                  IosDebugHandle* table, IosErrorCode* error) {
  IosDebugRoot* root = nullptr;
  int status = rootOf(file_id, &root, error);
  if (status != 0) return status;
  auto* record = static_cast<IosTypeTable*>(idtab_get(root->typetables_by_symbol, index));
  if (record == nullptr || record->handle.record_id < 1) return -1;
  if (table != nullptr) *table = record->handle;
  return 0;
}

int ios_typetable_count(uint32_t file_id, uint32_t, uint32_t* count, IosErrorCode* error) {
  IosDebugRoot* root = nullptr;
  int status = rootOf(file_id, &root, error);
  if (status != 0) return status;
  if (count != nullptr) *count = idtab_count(root->typetables.table);
  return 0;
}

int ios_struct_member(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                      TypeHandle* member, IosErrorCode* error) {
  return memberOf(IOS_TYPEREF_STRUCTURE, file_id, root_id, type_id, index, member, error);
}

int ios_union_member(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                     TypeHandle* member, IosErrorCode* error) {
  return memberOf(IOS_TYPEREF_UNION, file_id, root_id, type_id, index, member, error);
}

int ios_functype_entry(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t index,
                       TyperefRef* entry, IosHandle* owner, IosErrorCode* error) {
  IosType* type = nullptr;
  int status = ios_type_of_kind(file_id, type_id, IOS_TYPEREF_FUNCTION, &type, error);
  if (status != 0) return status;
  TyperefRef found{};
  if (ios_functype_detail_param_ref(type->detail, index, &found, nullptr) != 0)
    return ios_fail(error, IOS_ERR_INTERNAL);
  if (entry != nullptr) *entry = found;
  if (owner != nullptr) *owner = IosHandle{file_id, root_id};
  return 0;
}

int ios_type_use(IosType* type, IosErrorCode* error) {
  if (type == nullptr) return ios_fail(error, IOS_ERR_NO_TYPE);
  ++type->visits;
  return 0;
}
