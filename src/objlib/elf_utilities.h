// Small utilities of the ELF writers offered to the library's clients.
#pragma once

#include <cstdint>

struct ExprNode;
struct IdTable;

using ElfItemCompare = int (*)(const void* left, const void* right);

// Sorts the items of an id table in place (ascending by the comparator). Short tables
// (under 15 items) use an exchange sort, longer ones a quicksort around the middle
// item; both give the same order for distinct keys.
void elf_table_sort(IdTable* table, ElfItemCompare compare);
// The node's value bytes 0-7 as a little-endian 64-bit value; 1 (and status 2 in the
// node's context) when a wider integer has bits beyond 64.
int expr_value_to_u64(const ExprNode* node, uint64_t* value);
