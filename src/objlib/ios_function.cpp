#include "objlib/ios_function.h"

#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

enum WordRule { ONCE_ALL_ONES, ONCE_ZERO, OVERWRITE };

IosDebugRoot* rootOf(uint32_t file_id, IosErrorCode* error, int* status) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) {
    *status = 1;
    return nullptr;
  }
  if (file->debug_root == nullptr) {
    *status = ios_unset(error);
    return nullptr;
  }
  *status = 0;
  return file->debug_root;
}

template <typename Record>
int findRecord(IosDebugHandle handle, IosDebugFamily IosDebugRoot::*member, IosErrorCode missing,
               Record** record, IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(handle.file_id, error, &status);
  if (root == nullptr) return status;
  auto* found = static_cast<Record*>(idtab_get((root->*member).table, handle.record_id - 1));
  if (found == nullptr) return ios_fail(error, missing);
  if (record != nullptr) *record = found;
  return 0;
}

// A zeroed record of the family, entered under the next id; 0 when out of memory.
template <typename Record>
int enterRecord(uint32_t file_id, uint32_t root_id, IosDebugFamily IosDebugRoot::*member,
                IosDebugHandle* handle, Record** made, IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root == nullptr) return status;
  IosDebugFamily& family = root->*member;
  // A freed admin takes no more records.
  if (family.pool == nullptr || family.table == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  auto* record = static_cast<Record*>(pool_alloc_block(family.pool));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(record, 0, sizeof(Record));
  uint32_t id = idtab_next_id(family.table);
  if (idtab_set(family.table, id - 1, record) != 0) {
    pool_free_block(record, family.pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (handle != nullptr) *handle = IosDebugHandle{file_id, root_id, id};
  *made = record;
  return 0;
}

IosBlockContents* newContents(IosLexicalBlockAdmin* admin) {
  auto* contents = static_cast<IosBlockContents*>(pool_alloc_block(admin->contents_pool));
  if (contents == nullptr) return nullptr;
  std::memset(contents, 0, sizeof(IosBlockContents));
  contents->variables = idtab_new();
  contents->children = idtab_new();
  contents->stack_usage = idtab_new();
  if (contents->variables == nullptr || contents->children == nullptr ||
      contents->stack_usage == nullptr) {
    idtab_delete(contents->variables);
    idtab_delete(contents->children);
    idtab_delete(contents->stack_usage);
    pool_free_block(contents, admin->contents_pool);
    return nullptr;
  }
  return contents;
}

void releaseContents(IosBlockContents* contents) {
  if (contents == nullptr) return;
  expr_release(contents->expression_a);
  expr_release(contents->expression_b);
  expr_release(contents->expression_c);
  idtab_delete(contents->variables);
  idtab_delete(contents->children);
  idtab_delete(contents->stack_usage);
}

// The record behind a handle, by record kind; lexical blocks answer their contents.
int locate(IosDebugHandle handle, IosFunction** record, IosErrorCode* error) {
  return ios_get_function(handle, record, error);
}
int locate(IosDebugHandle handle, IosLifetime** record, IosErrorCode* error) {
  return ios_get_lifetime(handle, record, error);
}
int locate(IosDebugHandle handle, IosStackUsage** record, IosErrorCode* error) {
  return ios_get_stack_usage(handle, record, error);
}
int locate(IosDebugHandle handle, IosBlockContents** record, IosErrorCode* error) {
  IosLexicalBlock* block = nullptr;
  int status = ios_find_lexical_block(handle, &block, error);
  if (status != 0) return status;
  // The lookup itself reports nothing for a missing block; its users need a code.
  if (block == nullptr || block->contents == nullptr)
    return ios_fail(error, IOS_ERR_NO_LEXICAL_BLOCK);
  *record = block->contents;
  return 0;
}

template <typename Record>
int getWord(IosDebugHandle handle, uint32_t Record::*member, WordRule rule, uint32_t* value,
            IosErrorCode* error) {
  Record* record = nullptr;
  if (locate(handle, &record, error) != 0) return 1;
  uint32_t word = record->*member;
  if (rule == ONCE_ALL_ONES && word == IOS_DEBUG_UNSET) return -1;
  if (rule == ONCE_ZERO && word == 0) return ios_unset(error);
  if (value != nullptr) *value = word;
  return 0;
}

template <typename Record>
int setWord(IosDebugHandle handle, uint32_t Record::*member, WordRule rule, uint32_t value,
            IosErrorCode* error) {
  Record* record = nullptr;
  if (locate(handle, &record, error) != 0) return 1;
  uint32_t& word = record->*member;
  if (rule == ONCE_ALL_ONES && word != IOS_DEBUG_UNSET && word != value)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  if (rule == ONCE_ZERO && word != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  word = value;
  return 0;
}

template <typename Record>
int getExpression(IosDebugHandle handle, ExprNode* Record::*member, ExprNode** expression,
                  IosErrorCode* error) {
  Record* record = nullptr;
  if (locate(handle, &record, error) != 0) return 1;
  if (record->*member == nullptr) return ios_unset(error);
  if (expression != nullptr) *expression = record->*member;
  return 0;
}

template <typename Record>
int setExpression(IosDebugHandle handle, ExprNode* Record::*member, bool listOnly,
                  ExprNode* expression, IosErrorCode* error) {
  Record* record = nullptr;
  if (locate(handle, &record, error) != 0) return 1;
  if (expression == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  if (listOnly && expression->kind != EXPR_LIST) return ios_fail(error, IOS_ERR_INTERNAL);
  if (record->*member != nullptr) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  ++expression->ref_count;
  record->*member = expression;
  return 0;
}

template <typename Record>
int clearExpression(IosDebugHandle handle, ExprNode* Record::*member, IosErrorCode* error) {
  Record* record = nullptr;
  if (locate(handle, &record, error) != 0) return 1;
  expr_release(record->*member);
  record->*member = nullptr;
  return 0;
}

// Entry n of a list of ids as a handle; `missing` when the entry holds no id.
int idAt(const IdTable* list, uint32_t index, uint32_t file_id, uint32_t root_id,
         IosDebugHandle* handle, IosErrorCode missing, IosErrorCode* error) {
  uint32_t id = ios_item_id(idtab_get(list, index));
  if (id < 1) return ios_fail(error, missing);
  if (handle != nullptr) *handle = IosDebugHandle{file_id, root_id, id};
  return 0;
}

// A new variable with the flags, its id appended to the list. Nothing is appended
// when the variable cannot be made.
int addVariable(IdTable* list, uint32_t file_id, uint32_t root_id, uint32_t flags,
                IosDebugHandle* variable, IosErrorCode* error) {
  IosDebugHandle made{};
  if (ios_variable_new(file_id, root_id, &made, error) != 0) return 1;
  if (variable != nullptr) *variable = made;
  IosVariable* record = nullptr;
  if (ios_get_variable(made, &record, error) != 0) return 1;
  record->flags = flags;
  return ios_idtab_append(list, ios_id_item(made.record_id), error);
}

int newBlock(IosLexicalBlockAdmin* admin, uint32_t file_id, uint32_t root_id,
             IosDebugHandle* handle, IosErrorCode* error) {
  uint32_t id = idtab_next_id(admin->blocks);
  if (handle != nullptr) *handle = IosDebugHandle{file_id, root_id, id};
  auto* block = static_cast<IosLexicalBlock*>(pool_alloc_block(admin->block_pool));
  if (block == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  block->file_id = file_id;
  block->root_id = root_id;
  block->block_id = id;
  block->contents = newContents(admin);
  if (block->contents == nullptr || idtab_set(admin->blocks, id - 1, block) != 0) {
    if (block->contents != nullptr) {
      releaseContents(block->contents);
      pool_free_block(block->contents, admin->contents_pool);
    }
    pool_free_block(block, admin->block_pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  return 0;
}

}  // namespace

uint32_t idtab_count(const IdTable* table) { return table == nullptr ? 0 : table->highest_id; }

int ios_idtab_append(IdTable* table, void* item, IosErrorCode* error) {
  if (table == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (idtab_set(table, table->highest_id, item) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  return 0;
}

int ios_idtab_store(IdTable* table, uint32_t index, void* item, IosErrorCode* error) {
  if (idtab_set(table, index, item) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  return 0;
}

int ios_get_function_admin(uint32_t file_id, uint32_t, IosDebugFamily** admin,
                           IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root != nullptr && admin != nullptr) *admin = &root->functions;
  return status;
}

int ios_get_lifetime_admin(uint32_t file_id, uint32_t, IosDebugFamily** admin,
                           IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root != nullptr && admin != nullptr) *admin = &root->lifetimes;
  return status;
}

int ios_get_stack_usage_admin(uint32_t file_id, uint32_t, IosDebugFamily** admin,
                              IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root != nullptr && admin != nullptr) *admin = &root->stack_usage;
  return status;
}

int ios_get_lexical_block_admin(uint32_t file_id, uint32_t, IosLexicalBlockAdmin** admin,
                                IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root != nullptr && admin != nullptr) *admin = &root->lexical_blocks;
  return status;
}

int ios_get_function(IosDebugHandle function, IosFunction** record, IosErrorCode* error) {
  return findRecord(function, &IosDebugRoot::functions, IOS_ERR_NO_FUNCTION, record, error);
}
int ios_get_lifetime(IosDebugHandle lifetime, IosLifetime** record, IosErrorCode* error) {
  return findRecord(lifetime, &IosDebugRoot::lifetimes, IOS_ERR_NO_LIFETIME, record, error);
}
int ios_get_stack_usage(IosDebugHandle usage, IosStackUsage** record, IosErrorCode* error) {
  return findRecord(usage, &IosDebugRoot::stack_usage, IOS_ERR_NO_STACK_USAGE, record, error);
}

int ios_find_lexical_block(IosDebugHandle block, IosLexicalBlock** record, IosErrorCode* error) {
  IosLexicalBlockAdmin* admin = nullptr;
  int status = ios_get_lexical_block_admin(block.file_id, block.root_id, &admin, error);
  if (status != 0) return status;
  if (record != nullptr)
    *record = static_cast<IosLexicalBlock*>(idtab_get(admin->blocks, block.record_id - 1));
  return 0;
}

int ios_function_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* function,
                        IosErrorCode* error) {
  int status = 0;
  IosDebugRoot* root = rootOf(file_id, error, &status);
  if (root == nullptr) return status;
  // A freed admin takes no more records.
  if (root->functions.pool == nullptr || root->functions.table == nullptr)
    return ios_fail(error, IOS_ERR_NO_PROPERTY);
  // Every part is made before the record is entered, so a failure leaves no trace.
  IdTable* types = idtab_new();
  IdTable* parameters = idtab_new();
  IdTable* usage = idtab_new();
  IosBlockContents* body = newContents(&root->lexical_blocks);
  IosFunction* record = nullptr;
  IosDebugHandle handle{};
  if (types == nullptr || parameters == nullptr || usage == nullptr || body == nullptr ||
      enterRecord(file_id, root_id, &IosDebugRoot::functions, &handle, &record, error) != 0) {
    idtab_delete(types);
    idtab_delete(parameters);
    idtab_delete(usage);
    if (body != nullptr) {
      releaseContents(body);
      pool_free_block(body, root->lexical_blocks.contents_pool);
    }
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  record->file_id = file_id;
  record->root_id = root_id;
  record->function_id = handle.record_id;
  record->types = types;
  record->parameters = parameters;
  record->stack_usage = usage;
  record->body = body;
  if (function != nullptr) *function = handle;
  return 0;
}

int ios_lifetime_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* lifetime,
                        IosErrorCode* error) {
  IosLifetime* record = nullptr;
  IosDebugHandle handle{};
  if (enterRecord(file_id, root_id, &IosDebugRoot::lifetimes, &handle, &record, error) != 0)
    return 1;
  record->file_id = file_id;
  record->root_id = root_id;
  record->lifetime_id = handle.record_id;
  record->attribute = IOS_DEBUG_UNSET;
  record->word12 = IOS_DEBUG_UNSET;
  record->word14 = IOS_DEBUG_UNSET;
  record->word15 = IOS_DEBUG_UNSET;
  if (lifetime != nullptr) *lifetime = handle;
  return 0;
}

int ios_stack_usage_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* usage,
                           IosErrorCode* error) {
  IosStackUsage* record = nullptr;
  IosDebugHandle handle{};
  if (enterRecord(file_id, root_id, &IosDebugRoot::stack_usage, &handle, &record, error) != 0)
    return 1;
  record->file_id = file_id;
  record->root_id = root_id;
  record->usage_id = handle.record_id;
  record->word4 = IOS_DEBUG_UNSET;
  record->word5 = IOS_DEBUG_UNSET;
  record->word6 = IOS_DEBUG_UNSET;
  if (usage != nullptr) *usage = handle;
  return 0;
}

int ios_lexical_block_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* block,
                             IosErrorCode* error) {
  IosLexicalBlockAdmin* admin = nullptr;
  int status = ios_get_lexical_block_admin(file_id, root_id, &admin, error);
  if (status != 0) return status;
  return newBlock(admin, file_id, root_id, block, error);
}

void ios_function_release(IosFunction* function) {
  expr_release(function->expression_a);
  expr_release(function->expression_b);
  expr_release(function->expression_c);
  idtab_delete(function->types);
  idtab_delete(function->parameters);
  idtab_delete(function->stack_usage);
  // The body's block comes from the lexical-block admin's pool, which goes with it.
  releaseContents(function->body);
}

void ios_lifetime_release(IosLifetime* lifetime) {
  expr_release(lifetime->expression_a);
  expr_release(lifetime->expression_b);
  expr_release(lifetime->expression_c);
}

void ios_stack_usage_release(IosStackUsage* usage) { expr_release(usage->expression); }

void ios_function_admin_free(IosDebugFamily* admin) {
  ios_free_record_admin(admin, [](void* record) {
    ios_function_release(static_cast<IosFunction*>(record));
  });
}

void ios_lexical_block_admin_free(IosLexicalBlockAdmin* admin) {
  if (admin == nullptr) return;
  for (uint32_t id = 1; admin->blocks != nullptr && id <= admin->blocks->highest_id; ++id) {
    auto* block = static_cast<IosLexicalBlock*>(idtab_get(admin->blocks, id - 1));
    if (block != nullptr) releaseContents(block->contents);
  }
  idtab_delete(admin->blocks);
  admin->blocks = nullptr;
  pool_destroy(admin->block_pool);
  admin->block_pool = nullptr;
  pool_destroy(admin->contents_pool);
  admin->contents_pool = nullptr;
}

#define IOS_DEFINE_WORD_ACCESSORS(getter, setter, record, member, rule)              \
  int ios_##getter(IosDebugHandle handle, uint32_t* value, IosErrorCode* error) {    \
    return getWord(handle, &record::member, rule, value, error);                     \
  }                                                                                  \
  int ios_##setter(IosDebugHandle handle, uint32_t value, IosErrorCode* error) {     \
    return setWord(handle, &record::member, rule, value, error);                     \
  }
#define IOS_DEFINE_EXPRESSION_ACCESSORS(getter, setter, record, member, list)             \
  int ios_##getter(IosDebugHandle handle, ExprNode** expression, IosErrorCode* error) {   \
    return getExpression(handle, &record::member, expression, error);                     \
  }                                                                                       \
  int ios_##setter(IosDebugHandle handle, ExprNode* expression, IosErrorCode* error) {    \
    return setExpression(handle, &record::member, list, expression, error);               \
  }
IOS_FUNCTION_LEVEL_WORDS(IOS_DEFINE_WORD_ACCESSORS)
IOS_FUNCTION_LEVEL_EXPRESSIONS(IOS_DEFINE_EXPRESSION_ACCESSORS)

int ios_function_clear_expression_c(IosDebugHandle function, IosErrorCode* error) {
  return clearExpression(function, &IosFunction::expression_c, error);
}
int ios_lifetime_clear_expression_c(IosDebugHandle lifetime, IosErrorCode* error) {
  return clearExpression(lifetime, &IosLifetime::expression_c, error);
}
int ios_lexical_block_clear_expression_c(IosDebugHandle block, IosErrorCode* error) {
  return clearExpression(block, &IosBlockContents::expression_c, error);
}

int ios_function_get_name(IosDebugHandle function, StringHandle* name, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (record->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = record->name;
  return 0;
}

int ios_function_set_name(IosDebugHandle function, StringHandle name, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (record->name.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->name = name;
  return 0;
}

int ios_function_get_type(IosDebugHandle function, TypeHandle* type, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (record->type.type_id < 1) return ios_unset(error);
  if (type != nullptr) *type = record->type;
  return 0;
}

int ios_function_set_type(IosDebugHandle function, TypeHandle type, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (type.type_id < 1) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (record->type.type_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->type = type;
  return 0;
}

int ios_function_add_type(IosDebugHandle function, uint32_t type_id, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  return ios_idtab_append(record->types, ios_id_item(type_id), error);
}

int ios_function_type_count(IosDebugHandle function, uint32_t* count, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (count != nullptr) *count = idtab_count(record->types);
  return 0;
}

int ios_function_type_at(IosDebugHandle function, uint32_t index, TypeHandle* type,
                         IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  uint32_t id = ios_item_id(idtab_get(record->types, index));
  if (id < 1) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (type != nullptr) *type = TypeHandle{function.file_id, function.root_id, id};
  return 0;
}

int ios_function_stack_usage_at(IosDebugHandle function, uint32_t index, IosDebugHandle* usage,
                                IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  return idAt(record->stack_usage, index, function.file_id, function.root_id, usage,
              IOS_ERR_NO_STACK_USAGE, error);
}

int ios_function_add_parameter(IosDebugHandle function, IosDebugHandle* variable,
                               IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  if (record->parameters == nullptr) return -1;
  IosErrorCode appendError = IOS_ERR_NO_MEMORY;
  IosDebugHandle made{};
  if (ios_variable_new(function.file_id, function.root_id, &made, error) != 0) return 1;
  IosVariable* parameter = nullptr;
  if (ios_get_variable(made, &parameter, error) != 0) return 1;
  parameter->flags = IOS_VARIABLE_PARAMETER;
  if (variable != nullptr) *variable = made;
  if (ios_idtab_append(record->parameters, ios_id_item(made.record_id), &appendError) != 0)
    return -1;
  return 0;
}

int ios_function_add_variable_a(IosDebugHandle function, IosDebugHandle* variable,
                                IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  return ios_block_contents_add_variable(record->body, function.file_id, function.root_id,
                                         IOS_VARIABLE_LOCAL, variable, error);
}

int ios_function_add_variable_b(IosDebugHandle function, IosDebugHandle* variable,
                                IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  return ios_block_contents_add_variable(record->body, function.file_id, function.root_id,
                                         IOS_VARIABLE_PARAMETER, variable, error);
}

int ios_function_add_block(IosDebugHandle function, IosDebugHandle* block, IosErrorCode* error) {
  IosFunction* record = nullptr;
  if (ios_get_function(function, &record, error) != 0) return 1;
  IosLexicalBlockAdmin* admin = nullptr;
  int status = ios_get_lexical_block_admin(function.file_id, function.root_id, &admin, error);
  if (status != 0) return status;
  IosDebugHandle made{};
  if (newBlock(admin, function.file_id, function.root_id, &made, error) != 0) return 1;
  if (block != nullptr) *block = made;
  if (record->body == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return ios_idtab_append(record->body->children, ios_id_item(made.record_id), error);
}

int ios_lexical_block_add_child(IosDebugHandle block, IosDebugHandle* child, IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  IosLexicalBlockAdmin* admin = nullptr;
  int status = ios_get_lexical_block_admin(block.file_id, block.root_id, &admin, error);
  if (status != 0) return status;
  IosDebugHandle made{};
  if (newBlock(admin, block.file_id, block.root_id, &made, error) != 0) return 1;
  if (child != nullptr) *child = made;
  return ios_idtab_append(contents->children, ios_id_item(made.record_id), error);
}

int ios_lexical_block_add_variable_a(IosDebugHandle block, IosDebugHandle* variable,
                                     IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  return ios_block_contents_add_variable(contents, block.file_id, block.root_id,
                                         IOS_VARIABLE_LOCAL, variable, error);
}

int ios_lexical_block_add_variable_b(IosDebugHandle block, IosDebugHandle* variable,
                                     IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  return ios_block_contents_add_variable(contents, block.file_id, block.root_id,
                                         IOS_VARIABLE_PARAMETER, variable, error);
}

int ios_lexical_block_add_stack_usage(IosDebugHandle block, IosDebugHandle* usage,
                                      IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  IosDebugHandle made{};
  if (ios_stack_usage_create(block.file_id, block.root_id, &made, error) != 0) return 1;
  if (usage != nullptr) *usage = made;
  return ios_idtab_append(contents->stack_usage, ios_id_item(made.record_id), error);
}

int ios_lexical_block_stack_usage_at(IosDebugHandle block, uint32_t index, IosDebugHandle* usage,
                                     IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  return idAt(contents->stack_usage, index, block.file_id, block.root_id, usage,
              IOS_ERR_NO_STACK_USAGE, error);
}

int ios_lexical_block_stack_usage_count(IosDebugHandle block, uint32_t* count,
                                        IosErrorCode* error) {
  IosBlockContents* contents = nullptr;
  if (locate(block, &contents, error) != 0) return 1;
  if (count != nullptr) *count = idtab_count(contents->stack_usage);
  return 0;
}

uint32_t ios_block_contents_variable_count(const IosBlockContents* contents) {
  return contents == nullptr ? 0 : idtab_count(contents->variables);
}

int ios_block_contents_add_variable(IosBlockContents* contents, uint32_t file_id, uint32_t root_id,
                                    uint32_t flags, IosDebugHandle* variable, IosErrorCode* error) {
  if (contents == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return addVariable(contents->variables, file_id, root_id, flags, variable, error);
}

int ios_lifetime_get_scope(IosDebugHandle lifetime, IosDebugHandle* scope, IosErrorCode* error) {
  IosLifetime* record = nullptr;
  if (ios_get_lifetime(lifetime, &record, error) != 0) return 1;
  if (record->scope_id < 1) return ios_unset(error);
  if (scope != nullptr) *scope = IosDebugHandle{record->scope_file, record->scope_root, record->scope_id};
  return 0;
}

int ios_lifetime_set_scope(IosDebugHandle lifetime, IosDebugHandle scope, IosErrorCode* error) {
  IosLifetime* record = nullptr;
  if (ios_get_lifetime(lifetime, &record, error) != 0) return 1;
  if (scope.record_id < 1) return ios_fail(error, IOS_ERR_NO_SCOPE);
  if (record->scope_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->scope_file = scope.file_id;
  record->scope_root = scope.root_id;
  record->scope_id = scope.record_id;
  return 0;
}

int ios_stack_usage_get_field3(IosDebugHandle usage, uint32_t* value, IosErrorCode* error) {
  return getWord(usage, &IosStackUsage::word3, OVERWRITE, value, error);
}

int ios_stack_usage_set_field3(IosDebugHandle usage, uint32_t value, IosErrorCode* error) {
  IosStackUsage* record = nullptr;
  if (ios_get_stack_usage(usage, &record, error) != 0) return 1;
  record->word3 = value;
  record->word4 = value == 0 ? IOS_DEBUG_UNSET : 0;
  return 0;
}

int ios_stack_usage_get_pair8(IosDebugHandle usage, uint32_t pair[2], IosErrorCode* error) {
  IosStackUsage* record = nullptr;
  if (ios_get_stack_usage(usage, &record, error) != 0) return 1;
  pair[0] = record->pair8[0];
  pair[1] = record->pair8[1];
  return 0;
}

int ios_stack_usage_set_pair8(IosDebugHandle usage, const uint32_t pair[2], IosErrorCode* error) {
  IosStackUsage* record = nullptr;
  if (ios_get_stack_usage(usage, &record, error) != 0) return 1;
  record->pair8[0] = pair[0];
  record->pair8[1] = pair[1];
  return 0;
}
