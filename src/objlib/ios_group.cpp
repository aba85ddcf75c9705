#include "objlib/ios_group.h"

#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"

void ios_group_admin_delete(IosGroupAdmin* admin) {
  if (admin == nullptr) return;
  if (admin->groups != nullptr) {
    for (uint32_t id = 1; id <= admin->groups->highest_id; ++id) {
      if (auto* group = static_cast<IosGroup*>(idtab_get(admin->groups, id - 1)))
        ios_array_free(&group->members);
    }
    idtab_delete(admin->groups);
  }
  pool_destroy(admin->pool);
  pool_free(admin, sizeof *admin);
}

namespace {

IosGroupAdmin* groupAdmin(IosFile* file) {
  if (file->groups != nullptr) return file->groups;
  auto* admin = static_cast<IosGroupAdmin*>(pool_alloc(sizeof(IosGroupAdmin)));
  if (admin == nullptr) return nullptr;
  admin->pool = pool_create(sizeof(IosGroup));
  admin->groups = idtab_new();
  if (admin->pool == nullptr || admin->groups == nullptr) {
    ios_group_admin_delete(admin);
    return nullptr;
  }
  file->groups = admin;
  return admin;
}

}  // namespace

int ios_group_create(uint32_t file_id, IosHandle name, IosHandle* group, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (group == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  IosGroupAdmin* admin = groupAdmin(file);
  if (admin == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  auto* record = static_cast<IosGroup*>(pool_alloc_block(admin->pool));
  if (record == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(record, 0, sizeof *record);
  uint32_t id = idtab_next_id(admin->groups);
  record->handle = {file_id, id};
  if (static_cast<int32_t>(name.object_id) > 0) record->name = name;
  if (idtab_set(admin->groups, id - 1, record) != 0) {
    pool_free_block(record, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *group = record->handle;
  return 0;
}

int ios_get_group(IosHandle group, IosGroup** record, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(group.file_id, &file, error) != 0) return 1;
  IosGroup* found =
      file->groups != nullptr ? static_cast<IosGroup*>(idtab_get(file->groups->groups, group.object_id - 1))
                              : nullptr;
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_GROUP);
  if (record != nullptr) *record = found;
  return 0;
}

int ios_file_count_groups(uint32_t file_id, uint32_t* count, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (count == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  *count = file->groups != nullptr ? file->groups->groups->highest_id : 0;
  return 0;
}

int ios_section_add_to_group(IosHandle group, IosHandle section, IosErrorCode* error) {
  IosGroup* record = nullptr;
  if (ios_get_group(group, &record, error) != 0) return 1;
  if (section.object_id == 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  auto* member = static_cast<uint32_t*>(ios_array_push(&record->members, sizeof(uint32_t)));
  if (member == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *member = section.object_id;
  return ios_section_set_group(section, record->handle, error);
}

namespace {

int compareAsmSections(const void* key, const void* data) {
  const auto* left = static_cast<const IosAsmSection*>(key);
  const auto* right = static_cast<const IosAsmSection*>(data);
  if (left->module_id != right->module_id) return left->module_id < right->module_id ? -1 : 1;
  if (left->record_id != right->record_id) return left->record_id < right->record_id ? -1 : 1;
  return 0;
}

void freeAsmSection(void* data, void* /*context*/) {
  auto* record = static_cast<IosAsmSection*>(data);
  for (uint32_t index = 0; index < record->entries.count; ++index)
    expr_release(*static_cast<ExprNode**>(ios_array_at(&record->entries, sizeof(ExprNode*), index)));
  ios_array_free(&record->entries);
  pool_free(data, sizeof(IosAsmSection));
}

int setKind(const IosDebugHandle& handle, uint32_t kind, IosErrorCode* error) {
  IosAsmSection* record = nullptr;
  if (ios_get_asm_section(handle, &record, error) != 0) return 1;
  if (record->kind != IOS_ASM_SECTION_KIND_UNSET && record->kind != kind)
    return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  record->kind = kind;
  return 0;
}

}  // namespace

AvlNode* ios_asm_section_tree_free(AvlNode* root) { return avl_free_tree(root, freeAsmSection, nullptr); }

int ios_asm_section_create(const IosDebugHandle& module, IosDebugHandle* record, IosErrorCode* error) {
  IosModule* owner = nullptr;
  if (ios_get_module(module, &owner, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(module.file_id, &file, error) != 0) return 1;
  if (record == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  // The module's largest record is the last one at or below {module, all ones}.
  IosAsmSection last_possible{module.file_id, module.record_id, 0xFFFFFFFFu, {}, 0, 0, 0, {}};
  auto* last = static_cast<IosAsmSection*>(
      avl_find_at_or_below(file->asm_sections, &last_possible, compareAsmSections));
  uint32_t id = last != nullptr && last->module_id == module.record_id ? last->record_id + 1 : 1;
  auto* made = static_cast<IosAsmSection*>(pool_alloc(sizeof(IosAsmSection)));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *made = {module.file_id, module.record_id, id, {0, 0}, IOS_ASM_SECTION_KIND_UNSET, 0, 0, {}};
  int inserted = 0;
  file->asm_sections = avl_insert(file->asm_sections, made, compareAsmSections, &inserted);
  if (inserted == 0) {
    pool_free(made, sizeof *made);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *record = {module.file_id, module.record_id, id};
  return 0;
}

int ios_get_asm_section(const IosDebugHandle& record, IosAsmSection** found, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(record.file_id, &file, error) != 0) return 1;
  IosAsmSection probe{record.file_id, record.root_id, record.record_id, {}, 0, 0, 0, {}};
  auto* match = static_cast<IosAsmSection*>(avl_find(file->asm_sections, &probe, compareAsmSections));
  if (match == nullptr) return ios_fail(error, IOS_ERR_NO_ASM_SECTION);
  if (found != nullptr) *found = match;
  return 0;
}

int ios_asm_section_set_name(const IosDebugHandle& record, IosHandle name, IosErrorCode* error) {
  IosAsmSection* found = nullptr;
  if (ios_get_asm_section(record, &found, error) != 0) return 1;
  if (static_cast<int32_t>(name.object_id) < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (found->name.object_id != 0) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  found->name = name;
  return 0;
}

int ios_asm_section_set_kind_code(const IosDebugHandle& record, IosErrorCode* error) {
  return setKind(record, IOS_ASM_SECTION_CODE, error);
}
int ios_asm_section_set_kind_data(const IosDebugHandle& record, IosErrorCode* error) {
  return setKind(record, IOS_ASM_SECTION_DATA, error);
}
int ios_asm_section_set_kind_bss(const IosDebugHandle& record, IosErrorCode* error) {
  return setKind(record, IOS_ASM_SECTION_BSS, error);
}
