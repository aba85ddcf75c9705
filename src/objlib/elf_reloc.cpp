#include "objlib/elf_reloc.h"

#include "objlib/elf_utilities.h"
#include "objlib/elf_writer.h"
#include "objlib/exprlib.h"
#include "objlib/ios_image.h"
#include "objlib/ios_machine.h"
#include "objlib/ios_section.h"

namespace {

constexpr uint32_t SHT_RELA = 4;
constexpr uint32_t kRelaSize = 12;
constexpr uint32_t kRelaPrefixLength = 5;  // ".rela"
// Relocation trees come from source expressions; anything this deep is a cycle
// through slots.
constexpr uint32_t kDepthLimit = 2000;
constexpr uint32_t kExtendedOperatorFrom = 0x400;

struct OperatorRow {
  int32_t kind;
  uint32_t code;
  uint32_t operands;
};

constexpr OperatorRow kOperators[] = {
    {EXPR_NEG, 0x1, 1},          {EXPR_BIT_NOT, 0x2, 1},     {EXPR_LOGICAL_NOT, 0x3, 1},
    {EXPR_MUL, 0x4, 2},          {EXPR_DIV, 0x5, 2},         {EXPR_REM, 0x6, 2},
    {EXPR_ADD, 0x7, 2},          {EXPR_SUB, 0x8, 2},         {EXPR_SHL, 0x9, 2},
    {EXPR_SHR, 0xA, 2},          {EXPR_SAR, 0xC, 2},         {EXPR_LT, 0xD, 2},
    {EXPR_LE, 0xE, 2},           {EXPR_GT, 0xF, 2},          {EXPR_GE, 0x10, 2},
    {EXPR_EQ, 0x11, 2},          {EXPR_NE, 0x12, 2},         {EXPR_BIT_AND, 0x13, 2},
    {EXPR_BIT_OR, 0x14, 2},      {EXPR_BIT_XOR, 0x15, 2},    {EXPR_LOGICAL_AND, 0x16, 2},
    {EXPR_LOGICAL_OR, 0x17, 2},  {EXPR_ABS, 0x400, 1},       {EXPR_MAX, 0x401, 2},
    {EXPR_MIN, 0x402, 2},        {EXPR_COND, 0x403, 3},      {EXPR_RANGE_CHECK, 0x404, 3},
    {EXPR_USER_FIRST + 1, 0x405, 3},
};

bool isIntegerType(uint32_t type) {
  return type == EXPR_TYPE_SIGNED || type == EXPR_TYPE_UNSIGNED;
}

// The first eight value bytes as a signed number; false when the bytes beyond them
// are not a plain extension of it (the context's status is then 2).
bool nodeInteger(const ExprNode* node, int64_t* value) {
  const unsigned char* bytes = expr_value_bytes(node);
  uint64_t bits = 0;
  for (int index = 7; index >= 0; --index) bits = bits << 8 | bytes[index];
  *value = static_cast<int64_t>(bits);
  uint32_t width = node->context->int_width;
  unsigned char fill = *value < 0 ? 0xFF : 0x00;
  for (uint32_t index = 8; index < width; ++index) {
    if (bytes[index] != fill) {
      node->context->error = EXPR_ERR_OPERAND_TRUNCATED;
      return false;
    }
  }
  return true;
}

int decompose(const ExprNode* node, ElfReference* reference, int64_t* constant,
              bool substitute, uint32_t depth);

void addConstant(int64_t* constant, int64_t value) {
  *constant = static_cast<int64_t>(static_cast<uint64_t>(*constant) + static_cast<uint64_t>(value));
}

// A reference to a slot: what the slot holds in its place when substituting, else the
// slot itself. A located value is read as its pair, base slot + offset, as its tree
// would be, without making the tree.
int decomposeSlot(const ExprSlotRef& slot, ElfReference* reference, int64_t* constant, bool substitute,
                  uint32_t depth) {
  if (depth > kDepthLimit) return 1;
  if (substitute && slot.context != nullptr && slot.index < slot.context->slots.capacity) {
    if (expr_slot_located(slot.context, slot.index)) {
      const ExprSlot& located = slot.context->slots.entries[slot.index];
      // The tree's sum sits one level down, its base reference two.
      if (decomposeSlot(ExprSlotRef{located.base, slot.context}, reference, constant, substitute,
                        depth + 2) != 0)
        return 1;
      addConstant(constant, static_cast<int64_t>(located.offset));
      return 0;
    }
    const ExprNode* held = slot.context->slots.entries[slot.index].expr;
    if (held != nullptr && !(held->kind == EXPR_VALUE && isIntegerType(held->value_type)))
      return decompose(held, reference, constant, substitute, depth + 1);
  }
  if (reference->slot_index != 0) return 1;
  reference->slot_index = slot.index;
  reference->slot_context = slot.context;
  return 0;
}

int decompose(const ExprNode* node, ElfReference* reference, int64_t* constant,
              bool substitute, uint32_t depth) {
  if (node == nullptr || depth > kDepthLimit) return 1;
  switch (node->kind) {
    case EXPR_VALUE: {
      if (node->value_type > EXPR_TYPE_UNSIGNED) return 1;
      int64_t value = 0;
      if (!nodeInteger(node, &value)) return 1;
      addConstant(constant, value);
      return 0;
    }
    case EXPR_SLOT_REF: return decomposeSlot(node->payload.slot, reference, constant, substitute, depth);
    case EXPR_ADD: {
      if (expr_operand_count(node) != 2) return 1;
      // Each operand may bring the one reference; a second one ends the form.
      for (uint32_t index = 0; index < 2; ++index)
        if (decompose(expr_operand(node, index), reference, constant, substitute, depth + 1) != 0)
          return 1;
      return 0;
    }
    default: return 1;
  }
}

// Files of kind 4 refer to symbols whose own expressions stand in for them.
bool substituteFor(uint32_t kind_word) { return kind_word == 4; }

// Result of a symbol-index lookup of one reference.
enum class Lookup { Found, Miss, Failed };

Lookup lookupIndex(ElfContext* context, const ElfReference& reference, uint32_t* index) {
  if (reference.slot_index == 0) return Lookup::Miss;
  IosHandle symbol{};
  if (reference.slot_context == context->expr_context &&
      elf_symbol_by_index(&symbol, nullptr, context->file_id, reference.slot_index) == 0) {
    // Every symbol that a relocation may name was entered in the symbol table; one
    // missing would bind the relocation to the null symbol without a word.
    if (symbol.object_id >= context->symbol_map.size() ||
        context->symbol_map[symbol.object_id] == 0)
      return Lookup::Failed;
    *index = context->symbol_map[symbol.object_id];
    return Lookup::Found;
  }
  if (reference.slot_index < context->section_symbol_map.size() &&
      context->section_symbol_map[reference.slot_index] != 0) {
    *index = context->section_symbol_map[reference.slot_index];
    return Lookup::Found;
  }
  return Lookup::Miss;
}

// Symbol index of a decomposed reference, retrying a miss once with the references
// replaced by their own expressions.
int findSymbolIndex(ElfContext* context, const ExprNode* node, uint32_t kind_word,
                    ElfReference* reference, int64_t* constant, uint32_t* index,
                    ObjLibErrorClass* error) {
  Lookup found = lookupIndex(context, *reference, index);
  if (found == Lookup::Found) return 0;
  if (found == Lookup::Failed || kind_word == 4) return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  *reference = ElfReference{0, nullptr};
  *constant = 0;
  if (decompose(node, reference, constant, true, 0) != 0)
    return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
  if (lookupIndex(context, *reference, index) == Lookup::Found) return 0;
  return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
}

int resolveSymbol(ElfContext* context, const ExprNode* node, uint32_t kind_word,
                  uint32_t* symbol_index, int64_t* addend, ObjLibErrorClass* error) {
  *addend = 0;
  ElfReference reference{0, nullptr};
  if (decompose(node, &reference, addend, substituteFor(kind_word), 0) != 0)
    return elf_fail(error, OBJLIB_ERR_EXPRESSION_LIBRARY);
  return findSymbolIndex(context, node, kind_word, &reference, addend, symbol_index, error);
}

int encode(ElfContext* context, const ExprNode* node, std::vector<ElfRelaRecord>* records,
           uint32_t byte_offset, uint32_t depth, ObjLibErrorClass* error) {
  if (depth > kDepthLimit) return elf_fail(error, OBJLIB_ERR_SYNTAX);
  ElfRelaRecord record{byte_offset, 0, 0};
  if (node->kind == EXPR_SLOT_REF) {
    // A kind-4 relocatable file looks run references up as kind 3, so that a miss
    // is retried with substitution.
    uint32_t kind_word =
        context->kind_word == 4 && context->relocatable() ? 3 : context->kind_word;
    uint32_t index = 0;
    int64_t addend = 0;
    if (resolveSymbol(context, node, kind_word, &index, &addend, error) != 0) return 1;
    record.r_info = index << 8 | ELF_RUN_PUSH;
    record.r_addend = static_cast<uint32_t>(addend);
    records->push_back(record);
    return 0;
  }
  if (node->kind == EXPR_VALUE) {
    if (!isIntegerType(node->value_type) && node->value_type > EXPR_TYPE_UNTYPED_ALT)
      return elf_fail(error, OBJLIB_ERR_SYNTAX);
    int64_t value = 0;
    nodeInteger(node, &value);  // a wide value is recorded and written truncated
    record.r_info = ELF_RUN_PUSH;
    record.r_addend = static_cast<uint32_t>(value);
    records->push_back(record);
    return 0;
  }
  uint32_t code = 0;
  uint32_t operands = 0;
  if (!elf_relocation_operator(node->kind, &code, &operands))
    return elf_fail(error, OBJLIB_ERR_SYNTAX);
  if (code >= kExtendedOperatorFrom && context->machine->no_extended_operators != 0)
    return elf_fail(error, OBJLIB_ERR_SYNTAX);
  if (expr_operand_count(node) != operands) return elf_fail(error, OBJLIB_ERR_SYNTAX);
  for (uint32_t index = 0; index < operands; ++index)
    if (encode(context, expr_operand(node, index), records, byte_offset, depth + 1, error) != 0)
      return 1;
  record.r_info = ELF_RUN_OPERATOR;
  record.r_addend = code;
  records->push_back(record);
  return 0;
}

}  // namespace

int elfw_build_relocation(const ExprNode* node, ElfReference* reference, int64_t* constant,
                          bool substitute) {
  *reference = ElfReference{0, nullptr};
  *constant = 0;
  return decompose(node, reference, constant, substitute, 0);
}

int elfw_build_located_relocation(const ExprSlotRef& base, uint32_t offset, ElfReference* reference,
                                  int64_t* constant, bool substitute) {
  *reference = ElfReference{0, nullptr};
  *constant = 0;
  // As the tree base + offset would decompose: its sum at depth 0, the base below.
  if (decomposeSlot(base, reference, constant, substitute, 1) != 0) return 1;
  addConstant(constant, static_cast<int64_t>(offset));
  return 0;
}

bool elf_relocation_operator(int32_t kind, uint32_t* code, uint32_t* operands) {
  for (const OperatorRow& row : kOperators) {
    if (row.kind == kind) {
      *code = row.code;
      *operands = row.operands;
      return true;
    }
  }
  return false;
}

int elf_resolve_relocation_symbol(ElfContext* context, const ExprNode* node,
                                  uint32_t* symbol_index, int64_t* addend,
                                  ObjLibErrorClass* error) {
  return resolveSymbol(context, node, context->kind_word, symbol_index, addend, error);
}

int elf_encode_relocation_program(ElfContext* context, const ExprNode* node,
                                  std::vector<ElfRelaRecord>* records, uint32_t byte_offset,
                                  ObjLibErrorClass* error) {
  if (node == nullptr) return elf_fail(error, OBJLIB_ERR_SYNTAX);
  return encode(context, node, records, byte_offset, 0, error);
}

int elf_write_rela_record(ElfContext* context, const ElfRelaRecord& record,
                          ObjLibErrorClass* error) {
  unsigned char bytes[kRelaSize];
  elf_swap_field(context->byte_order, record.r_offset, 4, bytes);
  elf_swap_field(context->byte_order, record.r_info, 4, bytes + 4);
  elf_swap_field(context->byte_order, record.r_addend, 4, bytes + 8);
  return elf_write_bytes(context, bytes, sizeof bytes, error);
}

int elf_write_relocation_entry(ElfContext* context, uint32_t mau_bits, uint32_t unit_offset,
                               uint32_t type, const ExprNode* node, ObjLibErrorClass* error) {
  uint32_t byte_offset = (mau_bits + 7) / 8 * unit_offset;
  ElfReference reference{0, nullptr};
  int64_t constant = 0;
  if (node != nullptr &&
      decompose(node, &reference, &constant, substituteFor(context->kind_word), 0) ==
          0 &&
      reference.slot_index != 0) {
    uint32_t index = 0;
    if (findSymbolIndex(context, node, context->kind_word, &reference, &constant, &index,
                        error) != 0)
      return 1;
    ElfRelaRecord record{byte_offset, index << 8 | (type & 0xFF),
                         static_cast<uint32_t>(constant)};
    return elf_write_rela_record(context, record, error);
  }
  if (context->machine->relocation_runs == 0) return elf_fail(error, OBJLIB_ERR_INTERNAL);
  std::vector<ElfRelaRecord> records;
  if (elf_encode_relocation_program(context, node, &records, byte_offset, error) != 0) return 1;
  for (const ElfRelaRecord& record : records)
    if (elf_write_rela_record(context, record, error) != 0) return 1;
  return elf_write_rela_record(context, ElfRelaRecord{byte_offset, ELF_RUN_END, type}, error);
}

int elf_write_relocation_section(ElfContext* context, uint32_t section_id,
                                 uint32_t section_index, uint32_t mau_bits,
                                 ObjLibErrorClass* error) {
  if (!context->relocatable()) return 0;
  IosHandle section{context->file_id, section_id};
  uint32_t has_image = 0;
  ios_section_has_image(section, &has_image, nullptr);
  if (has_image == 0) return 0;
  IosHandle image{};
  uint32_t count = 0;
  if (ios_section_get_image(section, &image, nullptr) != 0 ||
      ios_section_image_count_b(section, &count, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  if (count == 0) return 0;
  if (context->machine->relocation_form != MACHINE_RELOCATION_RELA)
    return elf_fail(error, OBJLIB_ERR_INTERNAL);
  uint32_t index = 0;
  elf_next_section_record(context, nullptr, &index);
  ElfSectionHeader header{};
  header.sh_name = context->section_headers[section_index].sh_name - kRelaPrefixLength;
  header.sh_type = SHT_RELA;
  header.sh_link = context->symtab_index;
  header.sh_info = section_index;
  header.sh_entsize = kRelaSize;
  if (elf_pad_to_4(context, &header.sh_offset, error) != 0) return 1;
  for (uint32_t entry_index = 0; entry_index < count; ++entry_index) {
    IosRelocEntry entry{};
    if (ios_image_get_entry(image, entry_index, &entry, nullptr) != 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    if (elf_write_relocation_entry(context, mau_bits, entry.offset, entry.type, entry.expression,
                                   error) != 0)
      return 1;
  }
  uint32_t end = 0;
  if (elf_tell(context, &end, error) != 0) return 1;
  header.sh_size = end - header.sh_offset;
  context->section_headers[index] = header;
  return 0;
}
