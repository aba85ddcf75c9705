// Read-only walk of a file's debug information by position: counts of a record's
// tables, the handle of the n-th entry, single words. Readers (the IEEE-695 debug
// part) walk modules, functions, variables, line blocks and assembler sections
// through these without knowing the record layouts.
//
// Every operation returns 0 on success, else a non-zero result with the code in
// *error (which may be null). A count of a table the record lacks is 0. An entry
// past the table, or an item of 0, is missing and fails with the entry's code; the
// three-word handle operations have then already written {file, root, 0}.
#pragma once

#include <cstdint>

#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

// ---- Modules ----
int ios_get_module_entry(uint32_t file_id, uint32_t root_id, uint32_t position, uint32_t out[3],
                         IosErrorCode* error);
int ios_module_get_count_a(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                           IosErrorCode* error);  // functions
int ios_module_get_count_b(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                           IosErrorCode* error);  // assembler variables
int ios_module_type_count(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                          IosErrorCode* error);
int ios_module_line_block_count(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                                IosErrorCode* error);
int ios_module_get_tree_measure(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t* count,
                                IosErrorCode* error);
int ios_module_get_ref_a(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error);  // assembler variable
int ios_module_get_ref_b(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error);  // function
int ios_module_get_ref_c(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error);  // variable
int ios_module_type_at(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                       uint32_t out[3], IosErrorCode* error);
int ios_module_line_block_at(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                             uint32_t out[4], IosErrorCode* error);
int ios_module_asm_section_walk(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t position,
                                uint32_t out[4], IosErrorCode* error);
int ios_asm_section_get_count(uint32_t file_id, uint32_t root_id, uint32_t module_id, uint32_t record_id,
                              uint32_t* count, IosErrorCode* error);

// ---- Variables ----
int ios_variable_get_count(uint32_t file_id, uint32_t root_id, uint32_t variable_id, uint32_t* count,
                           IosErrorCode* error);  // lifetimes
int ios_variable_get_ref(uint32_t file_id, uint32_t root_id, uint32_t variable_id, uint32_t position,
                         uint32_t out[3], IosErrorCode* error);  // lifetime

// ---- Functions ----
// The function's kind word; -1 with IOS_ERR_NO_PROPERTY when it is 0.
int ios_debug_get_word_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* word,
                         IosErrorCode* error);
int ios_debug_get_count_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                          IosErrorCode* error);  // parameters
int ios_debug_get_count_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                          IosErrorCode* error);  // body variables
int ios_debug_get_word_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t* count,
                         IosErrorCode* error);  // body child blocks
int ios_debug_get_ref_a(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error);  // parameter
int ios_debug_get_ref_b(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error);  // body variable
int ios_debug_get_ref_c(uint32_t file_id, uint32_t root_id, uint32_t function_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error);  // body child block

// ---- Lexical blocks (a block that does not exist fails with IOS_ERR_NO_LEXICAL_BLOCK) ----
int ios_debug_get_count_b(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t* count,
                          IosErrorCode* error);  // variables
int ios_debug_get_word_b(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t* count,
                         IosErrorCode* error);  // child blocks
// Variable p; id 0 when missing, still a success.
int ios_debug_get_ref_d(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error);
int ios_debug_get_ref_e(uint32_t file_id, uint32_t root_id, uint32_t block_id, uint32_t position,
                        uint32_t out[3], IosErrorCode* error);  // child block

// ---- Line blocks (a block that does not exist fails with IOS_ERR_NO_LINE_BLOCK) ----
int ios_get_line_block(const uint32_t handle[4], IosLineBlock** record, IosErrorCode* error);
int ios_line_block_child_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error);
int ios_line_block_line_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error);
int ios_line_block_delta_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error);
int ios_line_block_special_count(const uint32_t handle[4], uint32_t* count, IosErrorCode* error);
int ios_line_block_get_child(const uint32_t handle[4], uint32_t position, uint32_t out[4],
                             IosErrorCode* error);
// Items: the record's five first words {owning line-block handle, item id}.
int ios_line_block_get_line(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                            IosErrorCode* error);
int ios_line_block_get_delta(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                             IosErrorCode* error);
int ios_line_block_get_special(const uint32_t handle[4], uint32_t position, uint32_t out[5],
                               IosErrorCode* error);

// ---- Types and block contents ----
// 0 for simple type codes (below 128, no lookup); else 1 when the interned type's
// visit count is above 1.
int ios_type_is_complex(uint32_t file_id, uint32_t root_id, uint32_t type_id, uint32_t* flag,
                        IosErrorCode* error);
int ios_contents_get_variable(const IosBlockContents* contents, uint32_t position, uint32_t* id,
                              IosErrorCode* error);
// No contents: IOS_ERR_INTERNAL; a missing child gives id 0 and success.
int ios_contents_get_child(const IosBlockContents* contents, uint32_t position, uint32_t* id,
                           IosErrorCode* error);
