#include "objlib/ios_lineinfo.h"

#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

namespace {

enum ItemKind { LINE, DELTA, SPECIAL };

struct ItemTable {
  IdTable* IosLineBlock::*table;
  BlockPool* IosLineInfo::*pool;
  IosErrorCode missing;
};

constexpr ItemTable kItemTables[] = {
    {&IosLineBlock::lines, &IosLineInfo::line_pool, IOS_ERR_NO_LINE},
    {&IosLineBlock::deltas, &IosLineInfo::delta_pool, IOS_ERR_NO_DELTA},
    {&IosLineBlock::specials, &IosLineInfo::special_pool, IOS_ERR_NO_SPECIAL},
};

int findBlock(const IosLineBlockHandle& handle, IosLineInfo** info, IosLineBlock** block,
              IosErrorCode* error) {
  IosLineInfo* found = nullptr;
  if (ios_module_get_line_info(IosDebugHandle{handle.file_id, handle.root_id, handle.module_id},
                               &found, error) != 0)
    return 1;
  auto* record = static_cast<IosLineBlock*>(idtab_get(found->blocks, handle.block_id - 1));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_LINE_BLOCK);
  if (info != nullptr) *info = found;
  *block = record;
  return 0;
}

int findItem(const IosLineItemHandle& handle, ItemKind kind, IosLineItem** item,
             IosErrorCode* error) {
  IosLineBlock* block = nullptr;
  if (findBlock(IosLineBlockHandle{handle.file_id, handle.root_id, handle.module_id,
                                   handle.block_id},
                nullptr, &block, error) != 0)
    return 1;
  const ItemTable& table = kItemTables[kind];
  auto* found = static_cast<IosLineItem*>(idtab_get(block->*table.table, handle.item_id - 1));
  if (found == nullptr) return ios_fail(error, table.missing);
  *item = found;
  return 0;
}

void hold(ExprNode* expression) {
  if (expression != nullptr) ++expression->ref_count;
}

int addItem(const IosLineBlockHandle& handle, ItemKind kind, ExprNode* expression,
            uint32_t word_a, ExprNode* expression2, uint32_t word_b, IosLineItemHandle* out,
            IosErrorCode* error) {
  IosLineInfo* info = nullptr;
  IosLineBlock* block = nullptr;
  if (findBlock(handle, &info, &block, error) != 0) return 1;
  const ItemTable& table = kItemTables[kind];
  BlockPool* pool = info->*table.pool;
  IdTable* items = block->*table.table;
  auto* item = static_cast<IosLineItem*>(pool_alloc_block(pool));
  if (item == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(item, 0, sizeof(IosLineItem));
  item->block = handle;
  item->item_id = idtab_next_id(items);
  if (idtab_set(items, item->item_id - 1, item) != 0) {
    pool_free_block(item, pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  item->expression = expression;
  hold(expression);
  if (kind == SPECIAL) {
    item->expression2 = expression2;
    hold(expression2);
  } else {
    item->word_a = word_a;
  }
  item->word_b = word_b;
  if (out != nullptr) {
    *out = IosLineItemHandle{handle.file_id, handle.root_id, handle.module_id, handle.block_id,
                             item->item_id};
  }
  return 0;
}

int createBlock(IosDebugHandle module, StringHandle name, const IosHandle* section,
                IosLineBlockHandle* out, IosErrorCode* error) {
  IosLineInfo* info = nullptr;
  if (ios_module_get_line_info(module, &info, error) != 0) return 1;
  IosLineBlockHandle handle{module.file_id, module.root_id, module.record_id,
                            idtab_next_id(info->blocks)};
  if (out != nullptr) *out = handle;
  auto* block = static_cast<IosLineBlock*>(pool_alloc_block(info->block_pool));
  if (block == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(block, 0, sizeof(IosLineBlock));
  block->handle = handle;
  block->name = name;
  block->items = idtab_new();
  block->lines = idtab_new();
  block->deltas = idtab_new();
  block->specials = idtab_new();
  if (block->items == nullptr || block->lines == nullptr || block->deltas == nullptr ||
      block->specials == nullptr || idtab_set(info->blocks, handle.block_id - 1, block) != 0) {
    idtab_delete(block->items);
    idtab_delete(block->lines);
    idtab_delete(block->deltas);
    idtab_delete(block->specials);
    pool_free_block(block, info->block_pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (section == nullptr) {
    block->no_section = 1;
  } else {
    block->section = *section;
  }
  return 0;
}

void freeItems(IdTable* items, bool special) {
  for (uint32_t id = 1; items != nullptr && id <= items->highest_id; ++id) {
    auto* item = static_cast<IosLineItem*>(idtab_get(items, id - 1));
    if (item == nullptr) continue;
    expr_release(item->expression);
    if (special) expr_release(item->expression2);
  }
  idtab_delete(items);
}

}  // namespace

IosLineInfo* ios_line_info_new(uint32_t file_id, uint32_t root_id, uint32_t module_id) {
  auto* info = static_cast<IosLineInfo*>(pool_alloc(sizeof(IosLineInfo)));
  if (info == nullptr) return nullptr;
  info->file_id = file_id;
  info->root_id = root_id;
  info->module_id = module_id;
  info->line_pool = pool_create(sizeof(IosLineItem));
  info->delta_pool = pool_create(sizeof(IosLineItem));
  info->special_pool = pool_create(sizeof(IosLineItem));
  info->block_pool = pool_create(sizeof(IosLineBlock));
  info->blocks = idtab_new();
  if (info->line_pool == nullptr || info->delta_pool == nullptr ||
      info->special_pool == nullptr || info->block_pool == nullptr || info->blocks == nullptr) {
    ios_line_info_free(info);
    return nullptr;
  }
  return info;
}

void ios_line_info_free(IosLineInfo* info) {
  if (info == nullptr) return;
  for (uint32_t id = 1; info->blocks != nullptr && id <= info->blocks->highest_id; ++id) {
    auto* block = static_cast<IosLineBlock*>(idtab_get(info->blocks, id - 1));
    if (block == nullptr) continue;
    idtab_delete(block->items);
    freeItems(block->lines, false);
    freeItems(block->deltas, false);
    freeItems(block->specials, true);
  }
  idtab_delete(info->blocks);
  pool_destroy(info->line_pool);
  pool_destroy(info->delta_pool);
  pool_destroy(info->special_pool);
  pool_destroy(info->block_pool);
  pool_free(info, sizeof(IosLineInfo));
}

int ios_module_get_line_info(IosDebugHandle module, IosLineInfo** info, IosErrorCode* error) {
  IosModule* record = nullptr;
  if (ios_get_module(module, &record, error) != 0) return 1;
  if (record->line_info == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (info != nullptr) *info = record->line_info;
  return 0;
}

int ios_line_block_create(IosDebugHandle module, StringHandle name, IosLineBlockHandle* block,
                          IosErrorCode* error) {
  return createBlock(module, name, nullptr, block, error);
}

int ios_line_block_create_in_section(IosDebugHandle module, StringHandle name, IosHandle section,
                                     IosLineBlockHandle* block, IosErrorCode* error) {
  return createBlock(module, name, &section, block, error);
}

int ios_line_block_attach(IosLineBlockHandle block, uint32_t item_id, IosErrorCode* error) {
  IosLineBlock* record = nullptr;
  if (findBlock(block, nullptr, &record, error) != 0) return 1;
  return ios_idtab_append(record->items, ios_id_item(item_id), error);
}

int ios_line_block_get_name(IosLineBlockHandle block, StringHandle* name, IosErrorCode* error) {
  IosLineBlock* record = nullptr;
  if (findBlock(block, nullptr, &record, error) != 0) return 1;
  if (record->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = record->name;
  return 0;
}

int ios_line_block_get_section(IosLineBlockHandle block, IosHandle* section, IosErrorCode* error) {
  IosLineBlock* record = nullptr;
  if (findBlock(block, nullptr, &record, error) != 0) return 1;
  if (record->no_section != 0 || record->section.object_id < 1) return ios_unset(error);
  if (ios_get_section(record->section, nullptr, error) != 0) {
    if (section != nullptr) section->object_id = 0;
    return 1;
  }
  if (section != nullptr) *section = record->section;
  return 0;
}

int ios_line_add(IosLineBlockHandle block, ExprNode* expression, uint32_t word_a, uint32_t word_b,
                 IosLineItemHandle* item, IosErrorCode* error) {
  return addItem(block, LINE, expression, word_a, nullptr, word_b, item, error);
}

int ios_delta_add(IosLineBlockHandle block, ExprNode* expression, uint32_t word_a,
                  uint32_t word_b, IosLineItemHandle* item, IosErrorCode* error) {
  return addItem(block, DELTA, expression, word_a, nullptr, word_b, item, error);
}

int ios_special_add(IosLineBlockHandle block, ExprNode* expression, ExprNode* expression2,
                    uint32_t word, IosLineItemHandle* item, IosErrorCode* error) {
  return addItem(block, SPECIAL, expression, 0, expression2, word, item, error);
}

int ios_get_line(IosLineItemHandle item, ExprNode** expression, uint32_t* word_a,
                 uint32_t* word_b, IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, LINE, &record, error) != 0) return 1;
  if (expression != nullptr) *expression = record->expression;
  if (word_a != nullptr) *word_a = record->word_a;
  if (word_b != nullptr) *word_b = record->word_b;
  return 0;
}

int ios_get_delta(IosLineItemHandle item, ExprNode** expression, uint32_t* word_a,
                  uint32_t* word_b, IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, DELTA, &record, error) != 0) return 1;
  if (expression != nullptr) *expression = record->expression;
  if (word_a != nullptr) *word_a = record->word_a;
  if (word_b != nullptr) *word_b = record->word_b;
  return 0;
}

int ios_get_special(IosLineItemHandle item, ExprNode** expression, ExprNode** expression2,
                    uint32_t* word, IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, SPECIAL, &record, error) != 0) return 1;
  if (expression != nullptr) *expression = record->expression;
  if (expression2 != nullptr) *expression2 = record->expression2;
  if (word != nullptr) *word = record->word_b;
  return 0;
}

int ios_delta_set_field6(IosLineItemHandle item, uint32_t value, IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, DELTA, &record, error) != 0) return 1;
  record->word_a = value;
  return 0;
}

int ios_special_set_field7(IosLineItemHandle item, uint32_t value, IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, SPECIAL, &record, error) != 0) return 1;
  record->word_b = value;
  return 0;
}

int ios_special_set_expression2(IosLineItemHandle item, ExprNode* expression,
                                IosErrorCode* error) {
  IosLineItem* record = nullptr;
  if (findItem(item, SPECIAL, &record, error) != 0) return 1;
  hold(expression);
  expr_release(record->expression2);
  record->expression2 = expression;
  return 0;
}
