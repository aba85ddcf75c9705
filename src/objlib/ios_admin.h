// The object store's admin for the run and its file objects. A file object stands
// for one object file being built and owns everything stored for it, including the
// expression context in which all of its relocation expressions live.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct AvlNode;
struct BlockPool;
struct ExprLibContext;
struct ExprNode;
struct IdTable;
struct IosDataAdmin;
struct IosCallGraph;
struct IosDebugRoot;
struct IosGroupAdmin;
struct IosImageAdmin;
struct IosNamedListAdmin;
struct IosSectionAdmin;
struct IosStringTable;
struct IosSymbolAdmin;

struct IosAdmin {
  uint32_t reserved;
  IdTable* files;  // made on the first file creation
  BlockPool* file_pool;
};

// Byte-order words, as ELF's EI_DATA.
enum IosByteOrder : uint32_t {
  IOS_BYTE_ORDER_UNSET = 0,
  IOS_BYTE_ORDER_LITTLE = 1,
  IOS_BYTE_ORDER_BIG = 2,
};

// Writer modes of the mode word.
enum IosFileMode : uint32_t {
  IOS_MODE_UNSET = 0,
  IOS_MODE_ABSOLUTE = 1,
  IOS_MODE_RELOCATABLE = 2,
};

inline constexpr uint32_t IOS_FILE_STRING_COUNT = 9;

struct IosFile {
  uint32_t file_id;
  // Properties 1-9: object file base name and directory, source file base name and
  // directory, machine name, core name, and three target texts.
  IosHandle strings[IOS_FILE_STRING_COUNT];
  char* misrac_text;  // private copy, null = none
  uint32_t kind_word;
  IosHandle tool_name;
  IosHandle tool_version;
  IosHandle tool_invocation;
  IosHandle compiler_name;
  IosHandle compiler_version;
  IosHandle compiler_invocation;
  uint32_t byte_order;
  uint32_t mau_size;  // default bits per addressable unit of the file's sections
  uint32_t aux_word;
  uint32_t mode_word;
  IosHandle version_string;
  IosHandle string10;  // a further text property of the library's clients
  ExprNode* entry_expr;  // null = none; the context owns the node
  IosStringTable* strtab;
  uint32_t section_flag;  // non-zero: new section ids also go to file_table1
  IdTable* file_table1;
  IdTable* file_table2;
  ExprLibContext* expr_context;
  IosSectionAdmin* sections;
  IosSymbolAdmin* symbols;
  IosImageAdmin* images;
  IosDataAdmin* data;
  IosGroupAdmin* groups;  // made with the first section group
  IosCallGraph* callgraph;  // made with the first call-graph record or alias
  AvlNode* asm_sections;  // assembler-section records of every module, by {module, id}
  IosDebugRoot* debug_root;  // made on demand
  IosNamedListAdmin* named_lists;  // made with the first named record
};

// The admin, or null before ios_admin_init.
IosAdmin* ios_get_admin();
// Creates the admin; a second call keeps the existing one and its files.
int ios_admin_init(IosErrorCode* error);
// Deletes every file and the admin, as at the end of the process; afterwards the
// store is as before ios_admin_init and file ids start at 1 again.
void ios_admin_release();

// Creates a file object whose expression context holds 8-byte integers; out: file id.
int ios_file_create(uint32_t* file_id, IosErrorCode* error);
// As ios_file_create with the given integer byte width (0 counts as 8).
int ios_file_create_sized(uint32_t int_width, uint32_t* file_id, IosErrorCode* error);
// Releases the file and all it owns; its id is not handed out again.
int ios_file_delete(uint32_t file_id, IosErrorCode* error);
// Looks a file up.
int ios_get_file(uint32_t file_id, IosFile** file, IosErrorCode* error);
// The file's expression context.
int ios_file_get_expr_context(uint32_t file_id, ExprLibContext** context,
                              IosErrorCode* error);

// Highest file id of the admin; 0 with 3 when there is no admin or no file table.
uint32_t ios_admin_file_count(IosErrorCode* error);
// The id of the file at 0-based index n of the admin's file table; 3 without admin,
// 5 when no file sits there.
int ios_admin_file_id_at(uint32_t index, uint32_t* file_id, IosErrorCode* error);
