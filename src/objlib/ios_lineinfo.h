// Line information of a debug module: line blocks, each tied to a source name and
// to a section or to none, holding ordered tables of lines, deltas and specials
// with their address expressions.
//
// Everything is found through the module (20 when it is missing, 1 when it has no
// line information); a missing line block is 31, a missing line 29, delta 28 and
// special 30. Expressions gain a reference when stored.
#pragma once

#include <cstdint>

#include "objlib/ios_debug.h"
#include "objlib/ios_debuginfo.h"
#include "objlib/ios_types.h"

struct ExprNode;

// Made with the module; null when out of memory.
IosLineInfo* ios_line_info_new(uint32_t file_id, uint32_t root_id, uint32_t module_id);
// Frees every block, item and expression reference; null is ignored.
void ios_line_info_free(IosLineInfo* info);

int ios_module_get_line_info(IosDebugHandle module, IosLineInfo** info, IosErrorCode* error);
// A new block (id = highest + 1) without a section / with one.
int ios_line_block_create(IosDebugHandle module, StringHandle name, IosLineBlockHandle* block,
                          IosErrorCode* error);
int ios_line_block_create_in_section(IosDebugHandle module, StringHandle name, IosHandle section,
                                     IosLineBlockHandle* block, IosErrorCode* error);
// Appends the id of a record that belongs to the block.
int ios_line_block_attach(IosLineBlockHandle block, uint32_t item_id, IosErrorCode* error);
int ios_line_block_get_name(IosLineBlockHandle block, StringHandle* name, IosErrorCode* error);
// The block's section, looked up; 2 and -1 for a block without one.
int ios_line_block_get_section(IosLineBlockHandle block, IosHandle* section, IosErrorCode* error);

int ios_line_add(IosLineBlockHandle block, ExprNode* expression, uint32_t word_a, uint32_t word_b,
                 IosLineItemHandle* item, IosErrorCode* error);
int ios_delta_add(IosLineBlockHandle block, ExprNode* expression, uint32_t word_a,
                  uint32_t word_b, IosLineItemHandle* item, IosErrorCode* error);
int ios_special_add(IosLineBlockHandle block, ExprNode* expression, ExprNode* expression2,
                    uint32_t word, IosLineItemHandle* item, IosErrorCode* error);

int ios_get_line(IosLineItemHandle item, ExprNode** expression, uint32_t* word_a,
                 uint32_t* word_b, IosErrorCode* error);
int ios_get_delta(IosLineItemHandle item, ExprNode** expression, uint32_t* word_a,
                  uint32_t* word_b, IosErrorCode* error);
int ios_get_special(IosLineItemHandle item, ExprNode** expression, ExprNode** expression2,
                    uint32_t* word, IosErrorCode* error);
int ios_delta_set_field6(IosLineItemHandle item, uint32_t value, IosErrorCode* error);
int ios_special_set_field7(IosLineItemHandle item, uint32_t value, IosErrorCode* error);
// Replaces expression 2; the new node is held before the old one is released, so
// storing the node already held keeps it alive.
int ios_special_set_expression2(IosLineItemHandle item, ExprNode* expression,
                                IosErrorCode* error);
