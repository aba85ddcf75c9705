#include "objlib/ios_debug.h"

#include <cstdlib>
#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_function.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_typestore.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

constexpr uint32_t kRootId = 1;
constexpr uint32_t kUnset = 0xFFFFFFFFu;

bool familyInit(IosDebugFamily* family, uint32_t file_id, size_t recordSize) {
  family->file_id = file_id;
  family->root_id = kRootId;
  family->pool = pool_create(recordSize);
  family->table = idtab_new();
  return family->pool != nullptr && family->table != nullptr;
}

template <typename Record, typename Release>
void familyFree(IosDebugFamily* family, Release release) {
  if (family->table != nullptr) {
    for (uint32_t id = 1; id <= family->table->highest_id; ++id) {
      if (auto* record = static_cast<Record*>(idtab_get(family->table, id - 1))) release(record);
    }
    idtab_delete(family->table);
    family->table = nullptr;
  }
  pool_destroy(family->pool);
  family->pool = nullptr;
}

IosDebugRoot* rootOf(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  return file->debug_root;
}

bool freed(const IosDebugFamily& family) {
  return family.pool == nullptr || family.table == nullptr;
}

// A zeroed record entered at the family's next id; null when memory runs out.
void* newRecord(IosDebugFamily* family, size_t size, uint32_t* id) {
  if (family->pool == nullptr || family->table == nullptr) return nullptr;
  void* record = pool_alloc_block(family->pool);
  if (record == nullptr) return nullptr;
  std::memset(record, 0, size);
  *id = idtab_next_id(family->table);
  if (idtab_set(family->table, *id - 1, record) != 0) {
    pool_free_block(record, family->pool);
    return nullptr;
  }
  return record;
}

template <typename Record>
int getRecord(IosDebugHandle handle, IosDebugFamily IosDebugRoot::*member, IosErrorCode code,
              Record** record, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(handle.file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr || handle.root_id != kRootId) return ios_fail(error, code);
  auto* found = static_cast<Record*>(idtab_get((file->debug_root->*member).table, handle.record_id - 1));
  if (found == nullptr) return ios_fail(error, code);
  if (record != nullptr) *record = found;
  return 0;
}

int getFamily(uint32_t file_id, IosDebugFamily IosDebugRoot::*member, IosDebugFamily** family,
              IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr) return ios_unset(error);
  if (family != nullptr) *family = &(file->debug_root->*member);
  return 0;
}

#define MODULE(handle, record)   \
  IosModule* record = nullptr;   \
  if (ios_get_module(handle, &record, error) != 0) return 1
#define VARIABLE(handle, record) \
  IosVariable* record = nullptr; \
  if (ios_get_variable(handle, &record, error) != 0) return 1

}  // namespace

void ios_free_record_admin(IosDebugFamily* admin, void (*release_tables)(void* record)) {
  if (admin == nullptr) return;
  familyFree<void>(admin, [release_tables](void* record) {
    if (release_tables != nullptr) release_tables(record);
  });
}

void ios_free_variable_admin(IosDebugFamily* admin) {
  if (admin == nullptr) return;
  // The expressions go too: each variable holds one reference to them.
  familyFree<IosVariable>(admin, [](IosVariable* variable) {
    expr_release(variable->expression);
    expr_release(variable->value_expression);
    idtab_delete(variable->lifetimes);
  });
}

void ios_free_table_admin(IosDebugFamily* admin) {
  if (admin == nullptr) return;
  familyFree<IosTypeTable>(admin, [](IosTypeTable* table) {
    idtab_delete(table->types);
    idtab_delete(table->entered);
  });
}

void ios_debug_root_free(IosDebugRoot* root) {
  if (root == nullptr) return;
  ios_free_table_admin(&root->typetables);
  familyFree<IosTypeEntry>(&root->type_entries, [](IosTypeEntry*) {});
  idtab_delete(root->typetables_by_symbol);
  ios_free_record_admin(&root->modules, [](void* record) {
    auto* module = static_cast<IosModule*>(record);
    idtab_delete(module->entries);
    ios_array_free(&module->variables);
    expr_release(module->expression);
    idtab_delete(module->functions);
    ios_line_info_free(module->line_info);
  });
  ios_free_variable_admin(&root->variables);
  ios_free_record_admin(&root->lifetimes, [](void* record) {
    ios_lifetime_release(static_cast<IosLifetime*>(record));
  });
  ios_function_admin_free(&root->functions);
  ios_lexical_block_admin_free(&root->lexical_blocks);
  ios_free_record_admin(&root->stack_usage, [](void* record) {
    ios_stack_usage_release(static_cast<IosStackUsage*>(record));
  });
  ios_type_store_free(root->type_store);
  std::free(root);
}

int ios_file_get_debug_root(uint32_t file_id, IosHandle* root, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->debug_root == nullptr) {
    auto* made = static_cast<IosDebugRoot*>(std::calloc(1, sizeof(IosDebugRoot)));
    if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    made->file_id = file_id;
    made->root_id = kRootId;
    // In the order of the root's fields; whatever was made goes when one fails.
    IosLexicalBlockAdmin& blocks = made->lexical_blocks;
    blocks.file_id = file_id;
    blocks.root_id = kRootId;
    bool built = familyInit(&made->typetables, file_id, sizeof(IosTypeTable)) &&
                 familyInit(&made->type_entries, file_id, sizeof(IosTypeEntry)) &&
                 (made->typetables_by_symbol = idtab_new()) != nullptr &&
                 familyInit(&made->modules, file_id, sizeof(IosModule)) &&
                 familyInit(&made->variables, file_id, sizeof(IosVariable)) &&
                 familyInit(&made->lifetimes, file_id, sizeof(IosLifetime)) &&
                 familyInit(&made->functions, file_id, sizeof(IosFunction)) &&
                 (blocks.block_pool = pool_create(sizeof(IosLexicalBlock))) != nullptr &&
                 (blocks.contents_pool = pool_create(sizeof(IosBlockContents))) != nullptr &&
                 (blocks.blocks = idtab_new()) != nullptr &&
                 familyInit(&made->stack_usage, file_id, sizeof(IosStackUsage)) &&
                 (made->type_store = ios_type_store_new(file_id, kRootId)) != nullptr;
    if (!built) {
      ios_debug_root_free(made);
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    file->debug_root = made;
  }
  if (root != nullptr) *root = IosHandle{file_id, kRootId};
  return 0;
}

int ios_debug_get_typetables(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error) {
  return getFamily(file_id, &IosDebugRoot::typetables, family, error);
}

int ios_debug_get_modules(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error) {
  return getFamily(file_id, &IosDebugRoot::modules, family, error);
}

int ios_get_variable_admin(uint32_t file_id, IosDebugFamily** family, IosErrorCode* error) {
  return getFamily(file_id, &IosDebugRoot::variables, family, error);
}

int ios_typetable_create(uint32_t file_id, IosDebugHandle* table, IosErrorCode* error) {
  IosDebugRoot* root = rootOf(file_id, error);
  if (root == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (freed(root->typetables)) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  uint32_t id = 0;
  auto* record =
      static_cast<IosTypeTable*>(newRecord(&root->typetables, sizeof(IosTypeTable), &id));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  record->handle = IosDebugHandle{file_id, kRootId, id};
  record->types = idtab_new();
  record->entered = idtab_new();
  if (table != nullptr) *table = record->handle;
  return 0;
}

int ios_module_create(uint32_t file_id, IosDebugHandle* module, IosErrorCode* error) {
  IosDebugRoot* root = rootOf(file_id, error);
  if (root == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (freed(root->modules)) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  uint32_t id = idtab_next_id(root->modules.table);
  IosLineInfo* lines = ios_line_info_new(file_id, kRootId, id);
  IdTable* functions = idtab_new();
  IdTable* entries = idtab_new();
  auto* record = lines == nullptr || functions == nullptr || entries == nullptr
                     ? nullptr
                     : static_cast<IosModule*>(newRecord(&root->modules, sizeof(IosModule), &id));
  if (record == nullptr) {
    ios_line_info_free(lines);
    idtab_delete(functions);
    idtab_delete(entries);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  record->handle = IosDebugHandle{file_id, kRootId, id};
  record->word = kUnset;
  record->entries = entries;
  record->functions = functions;
  record->line_info = lines;
  if (module != nullptr) *module = record->handle;
  return 0;
}

int ios_get_typetable(IosDebugHandle table, IosTypeTable** record, IosErrorCode* error) {
  return getRecord(table, &IosDebugRoot::typetables, IOS_ERR_NO_TYPETABLE, record, error);
}

int ios_get_module(IosDebugHandle module, IosModule** record, IosErrorCode* error) {
  return getRecord(module, &IosDebugRoot::modules, IOS_ERR_NO_MODULE, record, error);
}

int ios_get_variable(IosDebugHandle variable, IosVariable** record, IosErrorCode* error) {
  return getRecord(variable, &IosDebugRoot::variables, IOS_ERR_NO_VARIABLE, record, error);
}

int ios_module_set_name(IosDebugHandle module, IosHandle name, IosErrorCode* error) {
  MODULE(module, record);
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (record->name.object_id != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->name = name;
  return 0;
}

int ios_module_get_name(IosDebugHandle module, IosHandle* name, IosErrorCode* error) {
  MODULE(module, record);
  if (name != nullptr) *name = record->name;
  if (record->name.object_id == 0) return ios_unset(error);
  return 0;
}

int ios_module_add_entry(IosDebugHandle module, uint32_t item, IosErrorCode* error) {
  MODULE(module, record);
  if (record->entries == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (idtab_set(record->entries, record->entry_count,
                reinterpret_cast<void*>(static_cast<uintptr_t>(item))) != 0)
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  ++record->entry_count;
  return 0;
}

int ios_variable_new(uint32_t file_id, uint32_t root_id, IosDebugHandle* variable,
                     IosErrorCode* error) {
  IosDebugRoot* root = rootOf(file_id, error);
  if (root == nullptr || root_id != kRootId) return ios_fail(error, IOS_ERR_INTERNAL);
  if (freed(root->variables)) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  uint32_t id = 0;
  auto* record =
      static_cast<IosVariable*>(newRecord(&root->variables, sizeof(IosVariable), &id));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  record->handle = IosDebugHandle{file_id, kRootId, id};
  record->value = IOS_VARIABLE_VALUE_UNSET;
  record->word1 = kUnset;
  record->word2 = kUnset;
  if (variable != nullptr) *variable = record->handle;
  return 0;
}

int ios_module_add_variable(IosDebugHandle module, IosDebugHandle* variable, IosErrorCode* error) {
  MODULE(module, record);
  auto* slot = static_cast<uint32_t*>(ios_array_push(&record->variables, sizeof(uint32_t)));
  if (slot == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  IosDebugHandle made{};
  if (ios_variable_new(module.file_id, module.root_id, &made, error) != 0) {
    --record->variables.count;
    return 1;
  }
  IosVariable* variableRecord = nullptr;
  ios_get_variable(made, &variableRecord, nullptr);
  variableRecord->flags |= IOS_VARIABLE_IN_MODULE;
  *slot = made.record_id;
  if (variable != nullptr) *variable = made;
  return 0;
}

int ios_module_count_variables(IosDebugHandle module, uint32_t* count, IosErrorCode* error) {
  MODULE(module, record);
  if (count != nullptr) *count = record->variables.count;
  return 0;
}

int ios_module_get_variable(IosDebugHandle module, uint32_t index, IosDebugHandle* variable,
                            IosErrorCode* error) {
  MODULE(module, record);
  auto* id = static_cast<uint32_t*>(ios_array_at(&record->variables, sizeof(uint32_t), index));
  if (id == nullptr) return ios_fail(error, IOS_ERR_NO_VARIABLE);
  if (variable != nullptr) *variable = IosDebugHandle{module.file_id, module.root_id, *id};
  return 0;
}

int ios_variable_set_name(IosDebugHandle variable, IosHandle name, IosErrorCode* error) {
  VARIABLE(variable, record);
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (record->name.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->name = name;
  return 0;
}

int ios_variable_set_value(IosDebugHandle variable, uint32_t value, IosErrorCode* error) {
  VARIABLE(variable, record);
  if (record->value != IOS_VARIABLE_VALUE_UNSET && record->value != value)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->value = value;
  return 0;
}

int ios_variable_set_kind16(IosDebugHandle variable, IosErrorCode* error) {
  return ios_variable_set_kind(variable, 16, error);
}

int ios_variable_set_kind32(IosDebugHandle variable, IosErrorCode* error) {
  return ios_variable_set_kind(variable, 32, error);
}

int ios_variable_set_kind(IosDebugHandle variable, uint32_t kind, IosErrorCode* error) {
  VARIABLE(variable, record);
  if (record->kind != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->kind = kind;
  return 0;
}

int ios_variable_set_expression(IosDebugHandle variable, ExprNode* expression,
                                IosErrorCode* error) {
  VARIABLE(variable, record);
  if (expression == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  if (record->expression != nullptr) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  ++expression->ref_count;
  record->expression = expression;
  return 0;
}

int ios_variable_set_value_expression(IosDebugHandle variable, ExprNode* value,
                                      IosErrorCode* error) {
  VARIABLE(variable, record);
  if (value == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  if (value->kind != EXPR_LIST) return ios_fail(error, IOS_ERR_INTERNAL);
  if (record->value_expression != nullptr) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  ++value->ref_count;
  record->value_expression = value;
  return 0;
}
