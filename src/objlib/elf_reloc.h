// Relocation sections of the ELF producer. An expression that is one symbol or
// section reference plus a constant becomes one RELA record; any other expression
// becomes a postfix run of push and operator records at the same offset, closed by a
// record that carries the relocation type.
#pragma once

#include <cstdint>
#include <vector>

#include "objlib/elf_context.h"

struct ExprLibContext;
struct ExprNode;
struct ExprSlotRef;

// r_info types of the records of a relocation run.
inline constexpr uint32_t ELF_RUN_PUSH = 0xFD;
inline constexpr uint32_t ELF_RUN_OPERATOR = 0xFE;
inline constexpr uint32_t ELF_RUN_END = 0xFF;

// A reference found by the decomposer: a location slot of an expression context.
struct ElfReference {
  uint32_t slot_index;  // 0 = none
  ExprLibContext* slot_context;
};

// Splits an expression into at most one reference plus a 64-bit constant (added to
// *constant). With substitute set, a referenced slot whose expression is not an
// integer value is decomposed in its place. 0, or 1 for any other form.
int elfw_build_relocation(const ExprNode* node, ElfReference* reference, int64_t* constant,
                          bool substitute);
// The same for a located value, the base slot plus an offset, without its tree.
int elfw_build_located_relocation(const ExprSlotRef& base, uint32_t offset, ElfReference* reference,
                                  int64_t* constant, bool substitute);

// The run-record operator code of an expression node kind and its operand count;
// false for kinds that have no record form.
bool elf_relocation_operator(int32_t kind, uint32_t* code, uint32_t* operands);

// Symbol index and addend of an expression that is one reference plus a constant;
// 0, or 1 with a class.
int elf_resolve_relocation_symbol(ElfContext* context, const ExprNode* node,
                                  uint32_t* symbol_index, int64_t* addend,
                                  ObjLibErrorClass* error);

// Appends the records of the expression, in postfix order, to the list; all carry the
// byte offset. 0, or 1 with a class (records appended before the failure stay).
int elf_encode_relocation_program(ElfContext* context, const ExprNode* node,
                                  std::vector<ElfRelaRecord>* records, uint32_t byte_offset,
                                  ObjLibErrorClass* error);

// Writes the record or records of one relocation entry of a section image.
int elf_write_relocation_entry(ElfContext* context, uint32_t mau_bits, uint32_t unit_offset,
                               uint32_t type, const ExprNode* node, ObjLibErrorClass* error);
// Writes one 12-byte record in the file's byte order.
int elf_write_rela_record(ElfContext* context, const ElfRelaRecord& record,
                          ObjLibErrorClass* error);

// Writes the ".rela" section of a store section placed at header index section_index,
// when the output is relocatable and the section's image holds relocation entries.
int elf_write_relocation_section(ElfContext* context, uint32_t section_id,
                                 uint32_t section_index, uint32_t mau_bits,
                                 ObjLibErrorClass* error);
