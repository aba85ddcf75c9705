#include "objlib/ios_asm_section_ops.h"

#include "objlib/expr_values.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_group.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strbuf.h"
#include "objlib/ios_strtab.h"

namespace {

// The record of a live module; a record handle carries its module id in its second
// word.
int recordOf(const IosDebugHandle& record, IosAsmSection** found, IosErrorCode* error) {
  IosDebugHandle module{record.file_id, 1, record.root_id};
  if (ios_get_module(module, nullptr, error) != 0) return 1;
  return ios_get_asm_section(record, found, error);
}

int compareRecords(const void* key, const void* data) {
  const auto* left = static_cast<const IosAsmSection*>(key);
  const auto* right = static_cast<const IosAsmSection*>(data);
  if (left->module_id != right->module_id) return left->module_id < right->module_id ? -1 : 1;
  if (left->record_id != right->record_id) return left->record_id < right->record_id ? -1 : 1;
  return 0;
}

struct WalkState {
  uint32_t module_id;
  uint32_t position;
  uint32_t seen;
  const IosAsmSection* found;
};

void countRecord(void* data, void* context) {
  auto* state = static_cast<WalkState*>(context);
  const auto* record = static_cast<const IosAsmSection*>(data);
  if (record->module_id != state->module_id) return;
  if (state->seen == state->position) state->found = record;
  ++state->seen;
}

}  // namespace

int ios_asm_section_get_kind(const IosDebugHandle& record, uint32_t* kind, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  if (found->kind == IOS_ASM_SECTION_KIND_UNSET) return -1;
  if (kind != nullptr) *kind = found->kind;
  return 0;
}

int ios_asm_section_get_word_a(const IosDebugHandle& record, uint32_t* word, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  if (word != nullptr) *word = found->word_a;
  return 0;
}

int ios_asm_section_set_word_a(const IosDebugHandle& record, uint32_t word, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  found->word_a = word;
  return 0;
}

int ios_asm_section_get_word_b(const IosDebugHandle& record, uint32_t* word, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  if (word != nullptr) *word = found->word_b;
  return 0;
}

int ios_asm_section_set_word_b(const IosDebugHandle& record, uint32_t word, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  found->word_b = word;
  return 0;
}

int ios_asm_section_add_entry(const IosDebugHandle& record, IosHandle string, ExprNode* x,
                              ExprNode* y, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  if (x == nullptr || y == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  ExprLibContext* context = nullptr;
  if (ios_file_get_expr_context(record.file_id, &context, error) != 0) return 1;
  if (context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  const char* text = nullptr;
  if (ios_string_get_text(string, &text, error) != 0) return 1;
  // A string without text gives no entry: an entry always names its text.
  if (text == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  StrBuf* buffer = strbuf_from_string(text);
  if (buffer == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  ExprNode* value = nullptr;
  int made = ieee_make_expression_node(context, &value, buffer);
  strbuf_free(buffer);
  if (made != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  ExprNode* entry = nullptr;
  if (objexpr_make_operator(context, &entry, EXPR_LIST, 3, value, x, y) != 0) {
    expr_release(value);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  expr_release(value);
  auto** slot = static_cast<ExprNode**>(ios_array_push(&found->entries, sizeof(ExprNode*)));
  if (slot == nullptr) {
    expr_release(entry);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *slot = entry;
  return 0;
}

int ios_asm_section_entry_count(const IosDebugHandle& record, uint32_t* count,
                                IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  if (count != nullptr) *count = found->entries.count;
  return 0;
}

int ios_asm_section_entry_at(const IosDebugHandle& record, uint32_t index, ExprNode** entry,
                             IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  auto** slot = static_cast<ExprNode**>(ios_array_at(&found->entries, sizeof(ExprNode*), index));
  if (slot == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (entry != nullptr) *entry = *slot;
  return 0;
}

int ios_asm_section_get_section(const IosDebugHandle& record, IosHandle* section,
                                IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  // The record keeps its section in its name field.
  if (static_cast<int32_t>(found->name.object_id) < 1) return ios_unset(error);
  IosSection* named = nullptr;
  if (ios_get_section(found->name, &named, error) != 0) return 1;
  if (section != nullptr) *section = named->handle;
  return 0;
}

int ios_asm_section_get_expression(const IosDebugHandle& record, uint32_t index,
                                   IosHandle* string, ExprNode** second, ExprNode** third,
                                   IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  auto** slot = static_cast<ExprNode**>(ios_array_at(&found->entries, sizeof(ExprNode*), index));
  if (slot == nullptr || *slot == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  const ExprNode* entry = *slot;
  const ExprLink* link = entry->kind == EXPR_LIST ? entry->payload.operands.head : nullptr;
  const ExprNode* text = link != nullptr ? link->operand : nullptr;
  if (text == nullptr || text->kind != EXPR_VALUE || text->value_type != EXPR_TYPE_STRING ||
      text->payload.string == nullptr || text->payload.string->text == nullptr)
    return ios_fail(error, IOS_ERR_INTERNAL);
  IosHandle added{};
  if (ios_strtab_add(record.file_id, text->payload.string->text, &added, error) != 0) return 1;
  link = link->next;
  ExprNode* secondOperand = link != nullptr ? link->operand : nullptr;
  ExprNode* thirdOperand = link != nullptr && link->next != nullptr ? link->next->operand : nullptr;
  if (string != nullptr) *string = added;
  if (second != nullptr) *second = secondOperand;
  if (third != nullptr) *third = thirdOperand;
  return 0;
}

int ios_asm_section_remove(const IosDebugHandle& record, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (recordOf(record, &found, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(record.file_id, &file, error) != 0) return 1;
  int removed = 0;
  file->asm_sections =
      avl_delete(file->asm_sections, found, compareRecords, nullptr, nullptr, &removed);
  if (removed == 0) return ios_fail(error, IOS_ERR_INTERNAL);
  // Nothing can reach the record once it has left the tree, so it goes with its
  // entries rather than staying allocated until the file is freed.
  for (uint32_t index = 0; index < found->entries.count; ++index)
    expr_release(*static_cast<ExprNode**>(ios_array_at(&found->entries, sizeof(ExprNode*), index)));
  ios_array_free(&found->entries);
  pool_free(found, sizeof(IosAsmSection));
  return 0;
}

int ios_module_asm_section_walk(const IosDebugHandle& module, uint32_t position,
                                IosDebugHandle* record, IosErrorCode* error) {
  if (ios_get_module(module, nullptr, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(module.file_id, &file, error) != 0) return 1;
  WalkState state{module.record_id, position, 0, nullptr};
  ios_tree_walk(file->asm_sections, countRecord, &state);
  if (position >= state.seen || state.found == nullptr)
    return ios_fail(error, IOS_ERR_NO_ASM_SECTION);
  if (record != nullptr)
    *record = IosDebugHandle{state.found->file_id, state.found->module_id, state.found->record_id};
  return 0;
}

int ios_module_asm_section_count(const IosDebugHandle& module, uint32_t* count, IosErrorCode* error) {
  if (ios_get_module(module, nullptr, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(module.file_id, &file, error) != 0) return 1;
  WalkState state{module.record_id, UINT32_MAX, 0, nullptr};
  ios_tree_walk(file->asm_sections, countRecord, &state);
  if (count != nullptr) *count = state.seen;
  return 0;
}
