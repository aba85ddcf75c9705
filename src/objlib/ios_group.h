// Section groups of a store file: sets of sections that the linker keeps or drops
// together. The ELF producer writes one group section per group, in creation order.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"
#include "util/avl.h"

struct BlockPool;
struct IdTable;

struct IosGroup {
  IosHandle handle;
  IosHandle name;     // object id 0 when the group has no name
  IosArray members;   // uint32_t section ids in the order added; duplicates stay
  uint32_t deleted;   // 1 once deleted; the group keeps its id
};

// Ids are never reused, so the id table in id order is the creation order.
struct IosGroupAdmin {
  BlockPool* pool;
  IdTable* groups;
  uint32_t cursor;  // id of the group ios_group_next stands on, 0 before the first
};

// Releases the admin, its groups and their member lists; null is ignored.
void ios_group_admin_delete(IosGroupAdmin* admin);

// Creates a group (id = highest group id + 1) with the name, or without one when the
// name's string id is 0 or below; the admin is made on the file's first group.
int ios_group_create(uint32_t file_id, IosHandle name, IosHandle* group, IosErrorCode* error);
// The group record; 55 when the id names none.
int ios_get_group(IosHandle group, IosGroup** record, IosErrorCode* error);
// Number of groups of the file (the highest group id; 0 without groups).
int ios_file_count_groups(uint32_t file_id, uint32_t* count, IosErrorCode* error);
// Appends the section to the group's members and records the group in the section.
// A section that cannot be found keeps its member entry and fails with its lookup
// error.
int ios_section_add_to_group(IosHandle group, IosHandle section, IosErrorCode* error);

// ---- Assembler-section records ----

struct IosDebugHandle;

// One section of the assembly source inside a debug module: its name and kind.
enum IosAsmSectionKind : uint32_t {
  IOS_ASM_SECTION_CODE = 1,
  IOS_ASM_SECTION_DATA = 2,
  IOS_ASM_SECTION_BSS = 3,
  IOS_ASM_SECTION_KIND_UNSET = 0xFFFFFFFFu,
};

struct IosAsmSection {
  uint32_t file_id;
  uint32_t module_id;
  uint32_t record_id;  // 1-based per module
  IosHandle name;      // object id 0 until set
  uint32_t kind;       // write-once
  uint32_t word_a;     // two words kept for the library's clients, overwritten freely
  uint32_t word_b;
  IosArray entries;    // ExprNode*, each holding one reference
};

// Frees every assembler-section record of a file's tree; returns null.
AvlNode* ios_asm_section_tree_free(AvlNode* root);

// Record handles are {file id, module id, record id}.
// Creates a record in the module: id = the module's largest record id + 1. 20 when
// the module does not exist.
int ios_asm_section_create(const IosDebugHandle& module, IosDebugHandle* record, IosErrorCode* error);
// The record; 32 when the id names none.
int ios_get_asm_section(const IosDebugHandle& record, IosAsmSection** found, IosErrorCode* error);
// Stores the name once: 37 for a string id below 1, 6 when one is set.
int ios_asm_section_set_name(const IosDebugHandle& record, IosHandle name, IosErrorCode* error);
// Kind := code, data or uninitialised data while unset; the same kind again
// succeeds, a different one fails with 6 and keeps the first.
int ios_asm_section_set_kind_code(const IosDebugHandle& record, IosErrorCode* error);
int ios_asm_section_set_kind_data(const IosDebugHandle& record, IosErrorCode* error);
int ios_asm_section_set_kind_bss(const IosDebugHandle& record, IosErrorCode* error);
