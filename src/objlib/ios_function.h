// Function-level debug records of a store file: functions with their names, result
// types, expressions, type lists, parameters and local variables; lexical blocks
// nested in functions and in each other; lifetimes; stack-usage records.
//
// Records are named by {file id, root id, record id}. Setters are write-once: a
// word whose unset value is all ones takes a value while unset and the same value
// again; a word whose unset value is 0, a name, a handle and an expression take a
// value only once. Getters answer -1 for an unset field, with code 2 where the
// field's row says so.
#pragma once

#include <cstdint>

#include "objlib/ios_debug.h"
#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

struct ExprNode;

inline constexpr uint32_t IOS_VARIABLE_LOCAL = 16384;
inline constexpr uint32_t IOS_VARIABLE_PARAMETER = 4096;

// Admins of the debug root: 2 and -1 without a root, file errors passed on.
int ios_get_function_admin(uint32_t file_id, uint32_t root_id, IosDebugFamily** admin,
                           IosErrorCode* error);
int ios_get_lifetime_admin(uint32_t file_id, uint32_t root_id, IosDebugFamily** admin,
                           IosErrorCode* error);
int ios_get_stack_usage_admin(uint32_t file_id, uint32_t root_id, IosDebugFamily** admin,
                              IosErrorCode* error);
int ios_get_lexical_block_admin(uint32_t file_id, uint32_t root_id, IosLexicalBlockAdmin** admin,
                                IosErrorCode* error);

// Lookups: 23 function, 22 lifetime, 25 stack usage when the id names none; 2 and
// -1 without a debug root. A missing lexical block is no error: *block is null.
int ios_get_function(IosDebugHandle function, IosFunction** record, IosErrorCode* error);
int ios_get_lifetime(IosDebugHandle lifetime, IosLifetime** record, IosErrorCode* error);
int ios_get_stack_usage(IosDebugHandle usage, IosStackUsage** record, IosErrorCode* error);
int ios_find_lexical_block(IosDebugHandle block, IosLexicalBlock** record, IosErrorCode* error);

// Creation; the record's id is the admin's highest id + 1 and goes to the handle.
// 0 when out of memory (nothing is then entered).
int ios_function_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* function,
                        IosErrorCode* error);
int ios_lifetime_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* lifetime,
                        IosErrorCode* error);
int ios_stack_usage_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* usage,
                           IosErrorCode* error);
int ios_lexical_block_create(uint32_t file_id, uint32_t root_id, IosDebugHandle* block,
                             IosErrorCode* error);

// Frees what a record owns (tables, contents, expression references).
void ios_function_release(IosFunction* function);
void ios_lifetime_release(IosLifetime* lifetime);
void ios_stack_usage_release(IosStackUsage* usage);
// Free every record of the admin with what it owns, then the admin's table and
// pools; the admin stays usable as an empty one. Null is ignored.
void ios_lexical_block_admin_free(IosLexicalBlockAdmin* admin);
void ios_function_admin_free(IosDebugFamily* admin);

// ---- Field accessors, one row per field ----
// X(name, record, member, rule, missing-record code): the rules are
//   ONCE_ALL_ONES  all ones unset; getter -1 without code; setter accepts the same value
//   ONCE_ZERO      0 unset; getter -1 with 2; setter refuses any second store
//   OVERWRITE      plain word; getter reads, setter overwrites
#define IOS_FUNCTION_LEVEL_WORDS(X)                                                   \
  X(function_get_field10, function_set_field10, IosFunction, function_kind, ONCE_ZERO) \
  X(lifetime_get_field3, lifetime_set_field3, IosLifetime, attribute, ONCE_ALL_ONES)   \
  X(lifetime_get_field5, lifetime_set_field5, IosLifetime, flags5, ONCE_ZERO)          \
  X(lifetime_get_field6, lifetime_set_field6, IosLifetime, flags6, ONCE_ZERO)          \
  X(lifetime_get_field7, lifetime_set_field7, IosLifetime, flags7, ONCE_ZERO)          \
  X(lifetime_get_field12, lifetime_set_field12, IosLifetime, word12, ONCE_ALL_ONES)    \
  X(lifetime_get_field14, lifetime_set_field14, IosLifetime, word14, ONCE_ALL_ONES)    \
  X(lifetime_get_field15, lifetime_set_field15, IosLifetime, word15, ONCE_ALL_ONES)    \
  X(stack_usage_get_field4, stack_usage_set_field4, IosStackUsage, word4, ONCE_ALL_ONES) \
  X(stack_usage_get_field5, stack_usage_set_field5, IosStackUsage, word5, ONCE_ALL_ONES) \
  X(stack_usage_get_field6, stack_usage_set_field6, IosStackUsage, word6, ONCE_ALL_ONES)

// X(getter, setter, record, member, list node required): expressions gain a
// reference when stored; 38 for null, 6 when one is held, 1 for a non-list node
// where a list node is required. Getters answer -1 with 2 when none is held.
#define IOS_FUNCTION_LEVEL_EXPRESSIONS(X)                                                       \
  X(function_get_expression_a, function_set_expression_a, IosFunction, expression_a, false)    \
  X(function_get_expression_b, function_set_expression_b, IosFunction, expression_b, false)    \
  X(function_get_expression_c, function_set_expression_c, IosFunction, expression_c, true)     \
  X(lifetime_get_expression_a, lifetime_set_expression_a, IosLifetime, expression_a, false)    \
  X(lifetime_get_expression_b, lifetime_set_expression_b, IosLifetime, expression_b, false)    \
  X(lifetime_get_expression_c, lifetime_set_expression_c, IosLifetime, expression_c, true)     \
  X(stack_usage_get_expression, stack_usage_set_expression, IosStackUsage, expression, false)  \
  X(lexical_block_get_expression_a, lexical_block_set_expression_a, IosBlockContents,          \
    expression_a, false)                                                                        \
  X(lexical_block_get_expression_b, lexical_block_set_expression_b, IosBlockContents,          \
    expression_b, false)                                                                        \
  X(lexical_block_get_expression_c, lexical_block_set_expression_c, IosBlockContents,          \
    expression_c, false)

#define IOS_DECLARE_WORD_ACCESSORS(getter, setter, record, member, rule)              \
  int ios_##getter(IosDebugHandle handle, uint32_t* value, IosErrorCode* error);      \
  int ios_##setter(IosDebugHandle handle, uint32_t value, IosErrorCode* error);
#define IOS_DECLARE_EXPRESSION_ACCESSORS(getter, setter, record, member, list)        \
  int ios_##getter(IosDebugHandle handle, ExprNode** expression, IosErrorCode* error); \
  int ios_##setter(IosDebugHandle handle, ExprNode* expression, IosErrorCode* error);
IOS_FUNCTION_LEVEL_WORDS(IOS_DECLARE_WORD_ACCESSORS)
IOS_FUNCTION_LEVEL_EXPRESSIONS(IOS_DECLARE_EXPRESSION_ACCESSORS)

// Releasing the list-node expressions clears the field for a new store.
int ios_function_clear_expression_c(IosDebugHandle function, IosErrorCode* error);
int ios_lifetime_clear_expression_c(IosDebugHandle lifetime, IosErrorCode* error);
int ios_lexical_block_clear_expression_c(IosDebugHandle block, IosErrorCode* error);

// ---- Functions ----
int ios_function_get_name(IosDebugHandle function, StringHandle* name, IosErrorCode* error);
int ios_function_set_name(IosDebugHandle function, StringHandle name, IosErrorCode* error);
int ios_function_get_type(IosDebugHandle function, TypeHandle* type, IosErrorCode* error);
int ios_function_set_type(IosDebugHandle function, TypeHandle type, IosErrorCode* error);
int ios_function_add_type(IosDebugHandle function, uint32_t type_id, IosErrorCode* error);
int ios_function_type_count(IosDebugHandle function, uint32_t* count, IosErrorCode* error);
// Entry n (0-based); 27 when it holds no type id.
int ios_function_type_at(IosDebugHandle function, uint32_t index, TypeHandle* type,
                         IosErrorCode* error);
// Entry n of the stack-usage list; 25 when it holds no id.
int ios_function_stack_usage_at(IosDebugHandle function, uint32_t index, IosDebugHandle* usage,
                                IosErrorCode* error);
// A new variable with flags 4096 in the parameter list; -1 without code when the
// list is missing or cannot grow.
int ios_function_add_parameter(IosDebugHandle function, IosDebugHandle* variable,
                               IosErrorCode* error);
// A new local variable of the body, flags 16384 (a) or 4096 (b).
int ios_function_add_variable_a(IosDebugHandle function, IosDebugHandle* variable,
                                IosErrorCode* error);
int ios_function_add_variable_b(IosDebugHandle function, IosDebugHandle* variable,
                                IosErrorCode* error);
// A new lexical block, appended to the body's child blocks.
int ios_function_add_block(IosDebugHandle function, IosDebugHandle* block, IosErrorCode* error);

// ---- Lexical blocks (24 when the block id names none) ----
int ios_lexical_block_add_child(IosDebugHandle block, IosDebugHandle* child, IosErrorCode* error);
int ios_lexical_block_add_variable_a(IosDebugHandle block, IosDebugHandle* variable,
                                     IosErrorCode* error);
int ios_lexical_block_add_variable_b(IosDebugHandle block, IosDebugHandle* variable,
                                     IosErrorCode* error);
int ios_lexical_block_add_stack_usage(IosDebugHandle block, IosDebugHandle* usage,
                                      IosErrorCode* error);
int ios_lexical_block_stack_usage_at(IosDebugHandle block, uint32_t index, IosDebugHandle* usage,
                                     IosErrorCode* error);
int ios_lexical_block_stack_usage_count(IosDebugHandle block, uint32_t* count,
                                        IosErrorCode* error);
uint32_t ios_block_contents_variable_count(const IosBlockContents* contents);
int ios_block_contents_add_variable(IosBlockContents* contents, uint32_t file_id, uint32_t root_id,
                                    uint32_t flags, IosDebugHandle* variable, IosErrorCode* error);

// ---- Lifetimes ----
// Scope handle {file, root, scope id}: 16 for a scope id below 1, 6 when set.
int ios_lifetime_get_scope(IosDebugHandle lifetime, IosDebugHandle* scope, IosErrorCode* error);
int ios_lifetime_set_scope(IosDebugHandle lifetime, IosDebugHandle scope, IosErrorCode* error);

// ---- Stack usage ----
// Word 3; storing 0 makes word 4 unset again, any other value sets it to 0.
int ios_stack_usage_get_field3(IosDebugHandle usage, uint32_t* value, IosErrorCode* error);
int ios_stack_usage_set_field3(IosDebugHandle usage, uint32_t value, IosErrorCode* error);
int ios_stack_usage_get_pair8(IosDebugHandle usage, uint32_t pair[2], IosErrorCode* error);
int ios_stack_usage_set_pair8(IosDebugHandle usage, const uint32_t pair[2], IosErrorCode* error);
