#include "objlib/ios_admin.h"

#include <cstdlib>
#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_named_list.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_group.h"
#include "objlib/ios_image.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "util/RunState.h"

namespace {

struct AdminState {
  IosAdmin* admin = nullptr;
  // The store's files go before the pools, the context registry and the scratch array
  // they use: making those parts first has the run destroy them after this one.
  AdminState() {
    pool_find(sizeof(void*));
    expr_live_node_total();
    ios_scratch_release();
  }
  ~AdminState() { ios_admin_release(); }
};
AdminState& adminState() { return runPart<AdminState>(); }

// Releases what a file owns in reverse dependence, clearing each reference, so the
// same sequence tears down a file that was only partly built.
void teardownFile(IosFile* file) {
  // Holders of expression references go before the context that owns the nodes.
  ios_section_admin_delete(file->sections);
  file->sections = nullptr;
  ios_image_admin_delete(file->images);
  file->images = nullptr;
  ios_data_admin_delete(file->data);
  file->data = nullptr;
  ios_group_admin_delete(file->groups);
  file->groups = nullptr;
  ios_callgraph_delete(file->callgraph);
  file->callgraph = nullptr;
  file->asm_sections = ios_asm_section_tree_free(file->asm_sections);
  ios_symbol_admin_delete(file->symbols);
  file->symbols = nullptr;
  ios_named_list_admin_free(file->named_lists);
  file->named_lists = nullptr;
  ios_debug_root_free(file->debug_root);
  file->debug_root = nullptr;
  ios_strtab_delete(file->strtab);
  file->strtab = nullptr;
  // The context owns the entry-point node; dropping the reference is enough.
  file->entry_expr = nullptr;
  expr_context_free(file->expr_context);
  file->expr_context = nullptr;
  if (file->misrac_text != nullptr) {
    pool_free(file->misrac_text, std::strlen(file->misrac_text) + 1);
    file->misrac_text = nullptr;
  }
  idtab_delete(file->file_table1);
  file->file_table1 = nullptr;
  idtab_delete(file->file_table2);
  file->file_table2 = nullptr;
  pool_free_block(file, adminState().admin->file_pool);
}

}  // namespace

IosAdmin* ios_get_admin() { return adminState().admin; }

int ios_admin_init(IosErrorCode* error) {
  if (adminState().admin != nullptr) return 0;
  auto* made = static_cast<IosAdmin*>(std::calloc(1, sizeof(IosAdmin)));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  made->file_pool = pool_create(sizeof(IosFile));
  if (made->file_pool == nullptr) {
    std::free(made);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  adminState().admin = made;
  return 0;
}

void ios_admin_release() {
  if (adminState().admin == nullptr) return;
  if (adminState().admin->files != nullptr) {
    for (uint32_t id = 1; id <= adminState().admin->files->highest_id; ++id) {
      if (auto* file = static_cast<IosFile*>(idtab_get(adminState().admin->files, id - 1))) teardownFile(file);
    }
    idtab_delete(adminState().admin->files);
  }
  pool_destroy(adminState().admin->file_pool);
  std::free(adminState().admin);
  adminState().admin = nullptr;
  ios_scratch_release();
}

int ios_file_create(uint32_t* file_id, IosErrorCode* error) {
  return ios_file_create_sized(EXPR_DEFAULT_INT_WIDTH, file_id, error);
}

int ios_file_create_sized(uint32_t int_width, uint32_t* file_id, IosErrorCode* error) {
  if (adminState().admin == nullptr) return ios_fail(error, IOS_ERR_NO_ADMIN);
  if (file_id == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (adminState().admin->files == nullptr) {
    adminState().admin->files = idtab_new();
    if (adminState().admin->files == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  auto* file = static_cast<IosFile*>(pool_alloc_block(adminState().admin->file_pool));
  if (file == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(file, 0, sizeof *file);
  uint32_t id = idtab_next_id(adminState().admin->files);
  file->file_id = id;
  file->file_table1 = idtab_new();
  file->file_table2 = idtab_new();
  bool built = file->file_table1 != nullptr && file->file_table2 != nullptr &&
               expr_context_new(&file->expr_context, int_width) == 0;
  if (built) {
    file->sections = ios_section_admin_new();
    file->symbols = ios_symbol_admin_new();
    file->images = ios_image_admin_new();
    file->strtab = ios_strtab_new(id);
    file->data = ios_data_admin_new();
    built = file->sections != nullptr && file->symbols != nullptr && file->images != nullptr &&
            file->strtab != nullptr && file->data != nullptr;
  }
  if (!built || idtab_set(adminState().admin->files, id - 1, file) != 0) {
    teardownFile(file);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *file_id = id;
  return 0;
}

int ios_file_delete(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  idtab_set(adminState().admin->files, file_id - 1, nullptr);
  teardownFile(file);
  return 0;
}

int ios_get_file(uint32_t file_id, IosFile** file, IosErrorCode* error) {
  // Every record look-up of the store starts here: the admin is found once.
  const IosAdmin* admin = adminState().admin;
  if (admin == nullptr) return ios_fail(error, IOS_ERR_NO_ADMIN);
  auto* found = static_cast<IosFile*>(idtab_get(admin->files, file_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_FILE);
  if (file != nullptr) *file = found;
  return 0;
}

int ios_file_get_expr_context(uint32_t file_id, ExprLibContext** context,
                              IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  *context = file->expr_context;
  // Handing out a null context as a success would only move the failure to the
  // first builder call, far from its cause.
  if (file->expr_context == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  return 0;
}

uint32_t ios_admin_file_count(IosErrorCode* error) {
  IosAdmin* admin = ios_get_admin();
  if (admin == nullptr) {
    ios_fail(error, IOS_ERR_NO_ADMIN);
    return 0;
  }
  return admin->files != nullptr ? admin->files->highest_id : 0;
}

int ios_admin_file_id_at(uint32_t index, uint32_t* file_id, IosErrorCode* error) {
  IosAdmin* admin = ios_get_admin();
  if (admin == nullptr) return ios_fail(error, IOS_ERR_NO_ADMIN);
  auto* file = admin->files != nullptr ? static_cast<IosFile*>(idtab_get(admin->files, index)) : nullptr;
  if (file == nullptr) return ios_fail(error, IOS_ERR_NO_FILE);
  *file_id = file->file_id;
  return 0;
}
