#include "objlib/ios_debugread.h"

#include "objlib/ios_asm_section_ops.h"

#include "objlib/ios_debug.h"
#include "objlib/ios_function.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_typestore.h"

namespace {

// Item p of an id table as an id; 0 when the table is absent or p is past it.
uint32_t table_item(const IdTable* table, uint32_t position) {
  if (table == nullptr || position >= table->capacity || position >= table->highest_id) return 0;
  return ios_item_id(table->slots[position]);
}

uint32_t table_count(const IdTable* table) { return table == nullptr ? 0 : table->highest_id; }

int set_count(uint32_t* count, uint32_t value) {
  if (count != nullptr) *count = value;
  return 0;
}

// Writes {file, root, id}; a missing id (0) fails with the entry's code.
int set_handle(uint32_t out[3], uint32_t file_id, uint32_t root_id, uint32_t id, IosErrorCode code,
               IosErrorCode* error) {
  if (out != nullptr) {
    out[0] = file_id;
    out[1] = root_id;
    out[2] = id;
  }
  return id == 0 ? ios_fail(error, code) : 0;
}

int module_of(uint32_t file_id, uint32_t root_id, uint32_t module_id, IosModule** module,
              IosErrorCode* error) {
  return ios_get_module(IosDebugHandle{file_id, root_id, module_id}, module, error);
}

int function_of(uint32_t file_id, uint32_t root_id, uint32_t function_id, IosFunction** function,
                IosErrorCode* error) {
  return ios_get_function(IosDebugHandle{file_id, root_id, function_id}, function, error);
}

// The lexical-block lookup names no code for an id without a block; readers that
// need the block report it as missing.
int block_of(uint32_t file_id, uint32_t root_id, uint32_t block_id, IosLexicalBlock** block,
             IosErrorCode* error) {
  IosLexicalBlock* found = nullptr;
  int status = ios_find_lexical_block(IosDebugHandle{file_id, root_id, block_id}, &found, error);
  if (status != 0) return status;
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_LEXICAL_BLOCK);
  *block = found;
  return 0;
}

// Line items sit in their tables as records whose first five words are their handle.
int line_item(const uint32_t handle[4], IdTable* IosLineBlock::*table, uint32_t position, uint32_t out[5],
              IosErrorCode code, IosErrorCode* error) {
  IosLineBlock* block = nullptr;
  int status = ios_get_line_block(handle, &block, error);
  if (status != 0) return status;
  const IdTable* items = block->*table;
  const IosLineItem* item = nullptr;
  if (items != nullptr && position < items->capacity && position < items->highest_id) {
    item = static_cast<const IosLineItem*>(items->slots[position]);
  }
  if (item == nullptr) return ios_fail(error, code);
  if (out != nullptr) {
    out[0] = item->block.file_id;
    out[1] = item->block.root_id;
    out[2] = item->block.module_id;
    out[3] = item->block.block_id;
    out[4] = item->item_id;
  }
  return 0;
}

int line_count(const uint32_t handle[4], IdTable* IosLineBlock::*table, uint32_t* count, IosErrorCode* error) {
  IosLineBlock* block = nullptr;
  int status = ios_get_line_block(handle, &block, error);
  if (status != 0) return status;
  return set_count(count, table_count(block->*table));
}

}  // namespace

int ios_get_module_entry(uint32_t file_id, uint32_t root_id, uint32_t position, uint32_t out[3],
                         IosErrorCode* error) {
  IosDebugFamily* modules = nullptr;
  int status = ios_debug_get_modules(file_id, &modules, error);
  if (status != 0) return status;
  const IdTable* table = modules->table;
  const IosModule* module = nullptr;
  if (table != nullptr && position < table->capacity && position < table->highest_id) {
    module = static_cast<const IosModule*>(table->slots[position]);
  }
  return set_handle(out, file_id, root_id, module == nullptr ? 0 : module->handle.record_id,
                    IOS_ERR_NO_MODULE, error);
}

int ios_module_get_count_a(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                           IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  return status != 0 ? status : set_count(count, table_count(module->functions));
}

int ios_module_get_count_b(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                           IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  // Modules keep no variable table of their assembler part.
  return status != 0 ? status : set_count(count, 0);
}

int ios_module_type_count(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                          IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  return status != 0 ? status : set_count(count, table_count(module->entries));
}

int ios_module_line_block_count(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                                IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  if (module->line_info == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return set_count(count, table_count(module->line_info->blocks));
}

int ios_module_get_tree_measure(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                                IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  return ios_module_asm_section_count(IosDebugHandle{file_id, root_id, module_id}, count, error);
}

int ios_module_get_ref_a(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t,
                         uint32_t out[3], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, 0, IOS_ERR_NO_VARIABLE, error);
}

int ios_module_get_ref_b(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, table_item(module->functions, position), IOS_ERR_NO_FUNCTION, error);
}

int ios_module_get_ref_c(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  const auto* id = static_cast<const uint32_t*>(ios_array_at(&module->variables, sizeof(uint32_t), position));
  return set_handle(out, file_id, root_id, id == nullptr ? 0 : *id, IOS_ERR_NO_VARIABLE, error);
}

int ios_module_type_at(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                       uint32_t out[3], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, table_item(module->entries, position), IOS_ERR_NO_TYPE, error);
}

int ios_module_line_block_at(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                             uint32_t out[4], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  if (module->line_info == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  const IdTable* blocks = module->line_info->blocks;
  const IosLineBlock* block = nullptr;
  if (blocks != nullptr && position < blocks->capacity && position < blocks->highest_id) {
    block = static_cast<const IosLineBlock*>(blocks->slots[position]);
  }
  if (block == nullptr || block->handle.block_id < 1) return ios_fail(error, IOS_ERR_NO_LINE_BLOCK);
  if (out != nullptr) {
    out[0] = block->handle.file_id;
    out[1] = block->handle.root_id;
    out[2] = block->handle.module_id;
    out[3] = block->handle.block_id;
  }
  return 0;
}

int ios_module_asm_section_walk(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                                uint32_t out[4], IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(file_id, root_id, module_id, &module, error);
  if (status != 0) return status;
  IosDebugHandle record{};
  if (ios_module_asm_section_walk(IosDebugHandle{file_id, root_id, module_id}, position, &record, error) != 0)
    return 1;
  if (out != nullptr) {
    out[0] = file_id;
    out[1] = root_id;
    out[2] = module_id;
    out[3] = record.record_id;
  }
  return 0;
}

int ios_asm_section_get_count(uint32_t file_id, uint32_t, uint32_t module_id, uint32_t record_id, uint32_t* count,
                              IosErrorCode* error) {
  return ios_asm_section_entry_count(IosDebugHandle{file_id, module_id, record_id}, count, error);
}

int ios_variable_get_count(uint32_t file_id, uint32_t root_id, uint32_t variable_id, uint32_t* count,
                           IosErrorCode* error) {
  IosVariable* variable = nullptr;
  int status = ios_get_variable(IosDebugHandle{file_id, root_id, variable_id}, &variable, error);
  return status != 0 ? status : set_count(count, table_count(variable->lifetimes));
}

int ios_variable_get_ref(uint32_t file_id, uint32_t root_id, uint32_t variable_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error) {
  IosVariable* variable = nullptr;
  int status = ios_get_variable(IosDebugHandle{file_id, root_id, variable_id}, &variable, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, table_item(variable->lifetimes, position), IOS_ERR_NO_LIFETIME,
                    error);
}

int ios_debug_get_word_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* word,
                         IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  if (function->function_kind == 0) return ios_unset(error);
  if (word != nullptr) *word = function->function_kind;
  return 0;
}

int ios_debug_get_count_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                          IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  return status != 0 ? status : set_count(count, table_count(function->parameters));
}

int ios_debug_get_count_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                          IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  return set_count(count, function->body == nullptr ? 0 : table_count(function->body->variables));
}

int ios_debug_get_word_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                         IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  if (function->body == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return set_count(count, table_count(function->body->children));
}

int ios_debug_get_ref_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, table_item(function->parameters, position), IOS_ERR_NO_VARIABLE,
                    error);
}

int ios_debug_get_ref_b(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  uint32_t id = 0;
  set_handle(out, file_id, root_id, 0, IOS_ERR_NO_VARIABLE, nullptr);
  status = ios_contents_get_variable(function->body, position, &id, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, id, IOS_ERR_NO_VARIABLE, error);
}

int ios_debug_get_ref_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error) {
  IosFunction* function = nullptr;
  int status = function_of(file_id, root_id, function_id, &function, error);
  if (status != 0) return status;
  uint32_t id = 0;
  status = ios_contents_get_child(function->body, position, &id, error);
  if (status != 0) return status;
  // A position without a child is a missing entry, not a block of id 0.
  return set_handle(out, file_id, root_id, id, IOS_ERR_NO_LEXICAL_BLOCK, error);
}

int ios_debug_get_count_b(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t* count,
                          IosErrorCode* error) {
  IosLexicalBlock* block = nullptr;
  int status = block_of(file_id, root_id, block_id, &block, error);
  if (status != 0) return status;
  return set_count(count, block->contents == nullptr ? 0 : table_count(block->contents->variables));
}

int ios_debug_get_word_b(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t* count,
                         IosErrorCode* error) {
  IosLexicalBlock* block = nullptr;
  int status = block_of(file_id, root_id, block_id, &block, error);
  if (status != 0) return status;
  if (block->contents == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return set_count(count, table_count(block->contents->children));
}

int ios_debug_get_ref_d(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error) {
  IosLexicalBlock* block = nullptr;
  int status = block_of(file_id, root_id, block_id, &block, error);
  if (status != 0) return status;
  uint32_t id = block->contents == nullptr ? 0 : table_item(block->contents->variables, position);
  set_handle(out, file_id, root_id, id, IOS_ERR_NO_VARIABLE, nullptr);
  return 0;
}

int ios_debug_get_ref_e(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error) {
  IosLexicalBlock* block = nullptr;
  int status = block_of(file_id, root_id, block_id, &block, error);
  if (status != 0) return status;
  uint32_t id = 0;
  status = ios_contents_get_child(block->contents, position, &id, error);
  if (status != 0) return status;
  return set_handle(out, file_id, root_id, id, IOS_ERR_NO_LEXICAL_BLOCK, error);
}

int ios_get_line_block(const uint32_t handle[4], IosLineBlock** record, IosErrorCode* error) {
  IosModule* module = nullptr;
  int status = module_of(handle[0], handle[1], handle[2], &module, error);
  if (status != 0) return status;
  if (module->line_info == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  // A handle without its block is a missing line block, never a success without one.
  auto* block = static_cast<IosLineBlock*>(idtab_get(module->line_info->blocks, handle[3] - 1));
  if (block == nullptr) return ios_fail(error, IOS_ERR_NO_LINE_BLOCK);
  if (record != nullptr) *record = block;
  return 0;
}

int ios_line_block_child_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error) {
  return line_count(handle, &IosLineBlock::items, count, error);
}
int ios_line_block_line_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error) {
  return line_count(handle, &IosLineBlock::lines, count, error);
}
int ios_line_block_delta_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error) {
  return line_count(handle, &IosLineBlock::deltas, count, error);
}
int ios_line_block_special_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error) {
  return line_count(handle, &IosLineBlock::specials, count, error);
}

int ios_line_block_get_child(const uint32_t handle[4], uint32_t position, uint32_t out[4],
                             IosErrorCode* error) {
  IosLineBlock* block = nullptr;
  int status = ios_get_line_block(handle, &block, error);
  if (status != 0) return status;
  uint32_t id = table_item(block->items, position);
  if (out != nullptr) {
    out[0] = handle[0];
    out[1] = handle[1];
    out[2] = handle[2];
    out[3] = id;
  }
  return id == 0 ? ios_fail(error, IOS_ERR_NO_LINE_BLOCK) : 0;
}

int ios_line_block_get_line(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                            IosErrorCode* error) {
  return line_item(handle, &IosLineBlock::lines, position, out, IOS_ERR_NO_LINE, error);
}
int ios_line_block_get_delta(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                             IosErrorCode* error) {
  return line_item(handle, &IosLineBlock::deltas, position, out, IOS_ERR_NO_DELTA, error);
}
int ios_line_block_get_special(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                               IosErrorCode* error) {
  return line_item(handle, &IosLineBlock::specials, position, out, IOS_ERR_NO_SPECIAL, error);
}

int ios_type_is_complex(uint32_t file_id, uint32_t, uint32_t type_id, uint32_t* flag, IosErrorCode* error) {
  if (type_id < IOS_FIRST_TYPE_ID) {
    if (flag != nullptr) *flag = 0;
    return 0;
  }
  IosTypeIdTable* table = nullptr;
  int status = ios_get_type_table(&table, error, file_id);
  if (status != 0) return status;
  IosType* type = nullptr;
  status = ios_type_lookup(table, type_id, &type, error);
  if (status != 0) return status;
  if (type == nullptr) return ios_fail(error, IOS_ERR_NO_TYPE);
  if (flag != nullptr) *flag = type->visits > 1 ? 1 : 0;
  return 0;
}

int ios_contents_get_variable(const IosBlockContents* contents, uint32_t position, uint32_t* id,
                              IosErrorCode* error) {
  uint32_t found = contents == nullptr ? 0 : table_item(contents->variables, position);
  if (found == 0) return ios_fail(error, IOS_ERR_NO_VARIABLE);
  if (id != nullptr) *id = found;
  return 0;
}

int ios_contents_get_child(const IosBlockContents* contents, uint32_t position, uint32_t* id,
                           IosErrorCode* error) {
  if (contents == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (id != nullptr) *id = table_item(contents->children, position);
  return 0;
}
