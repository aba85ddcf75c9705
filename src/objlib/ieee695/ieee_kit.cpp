#include "objlib/ieee695/ieee_kit.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_stream.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

constexpr uint8_t LETTER_N = 0xCE;
constexpr uint8_t LETTER_O = 0xCF;
constexpr uint8_t CALL_CODE = 0x9F;
constexpr char AT_PREFIX = 0x40;

uint64_t node_key(IosHandle node) { return (uint64_t{node.file_id} << 32) | node.object_id; }

IeeeContextEntry* context_of_node(IeeeWriter* writer, IosHandle node) {
  for (auto& entry : writer->contexts) {
    if (entry->node.file_id == node.file_id && entry->node.object_id == node.object_id) return entry.get();
  }
  return nullptr;
}

// The name a function goes by in call expressions: its own name with the prefix
// character, entered in the string table when the name lacks it.
IosHandle at_name(uint32_t file_id, IosHandle name) {
  const char* text = nullptr;
  if (name.object_id < 1 || ios_string_get_text(name, &text, nullptr) != 0 || text == nullptr ||
      text[0] == AT_PREFIX) {
    return name;
  }
  std::string prefixed(1, AT_PREFIX);
  prefixed += text;
  IosHandle added{0, 0};
  if (ios_strtab_add(file_id, prefixed.c_str(), &added, nullptr) != 0) return name;
  return added;
}

// A name value node holding the text, in the context of the node it replaces.
ExprNode* name_node(ExprLibContext* context, const char* text) {
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return nullptr;
  ExprValueObject* value = expr_new_value(context);
  if (value == nullptr || expr_value_set_text(context, value, text) != 0) {
    expr_release(made);
    return nullptr;
  }
  made->value_type = EXPR_TYPE_STRING;
  made->width = static_cast<uint16_t>(std::char_traits<char>::length(text) + 1);
  made->payload.string = value;
  return made;
}

bool has_operand_list(const ExprNode* node) {
  return node->kind != EXPR_VALUE && node->kind != EXPR_SLOT_REF && node->kind != EXPR_CONVERT &&
         node->kind != EXPR_DEFERRED;
}

}  // namespace

uint32_t ieee_peek_record_code(IeeeStream* stream) {
  uint8_t byte = 0;
  if (ieee_stream_peek_byte(stream, &byte) == 0) return 0;
  return ieee_is_record_byte(byte) ? byte : 0;
}

IeeeSectionEntry* ieee_expression_section(IeeeWriter* writer, const StrBuf* bytes) {
  size_t length = ieee_buf_length(bytes);
  const uint8_t* data = length != 0 ? ieee_buf_bytes(bytes) : nullptr;
  size_t at = 0;
  while (at < length) {
    uint8_t byte = data[at];
    if (byte >= 0x80 && byte <= 0x88) {
      at += 1 + (byte - 0x80u);
    } else if (byte == 0xD0 || byte == 0xCC || byte == 0xD2) {
      uint64_t index = 0;
      uint32_t used = ieee_decode_number(data + at + 1, length - at - 1, &index);
      if (used == 0) break;
      if (index >= 1 && index <= writer->sections.size()) writer->current_section = writer->sections[index - 1].get();
      at += 1 + used;
    } else {
      ++at;
    }
  }
  return writer->current_section;
}

IeeeNameEntry* ieee_find_name_entry_by_letter(IeeeWriter* writer, uint32_t letter, uint32_t index) {
  if (letter != 0xC9 && letter != 0xD8 && letter != 0xCE) return nullptr;
  IeeeNameEntry* current = writer->current_name;
  if (current != nullptr && current->record->letter == letter && current->index == index) return current;
  IeeeNameEntry* entry = ieee_find_name_entry(writer, index);
  if (entry == nullptr || entry->record->letter != letter) {
    writer->current_name = current;
    return nullptr;
  }
  return entry;
}

void ieee_name_entry_mark(IeeeNameEntry* entry) {
  if (entry != nullptr) entry->flag = 1;
}

IeeeDebugBlock* ieee_block_new(IeeeWriter* writer, uint32_t kind) {
  auto block = std::make_unique<IeeeDebugBlock>();
  IeeeDebugBlock* innermost = ieee_block_stack_top(&writer->open_blocks);
  if (innermost != nullptr) *block = *innermost;
  block->kind = kind;
  writer->current_block = innermost;
  IeeeDebugBlock* raw = block.get();
  writer->block_records.push_back(std::move(block));
  return raw;
}

int ieee_block_begin(IeeeWriter* writer, IeeeDebugBlock* block, IeeeFillCallback fill, uint32_t* error) {
  writer->open_blocks.push_back(block);
  writer->current_block = block;
  if (writer->output_off != 0) return 0;
  return ieee_emit_record(writer, IEEE_BB, &block->kind, fill, error);
}

int ieee_block_end(IeeeWriter* writer, IeeeFillCallback fill, uint32_t* error) {
  if (writer->open_blocks.empty()) {
    writer->current_block = nullptr;
    return 0;
  }
  IeeeDebugBlock* block = writer->open_blocks.back();
  writer->open_blocks.pop_back();
  writer->current_block = block;
  if (writer->output_off != 0) return 0;
  return ieee_emit_record(writer, IEEE_BE, &block->kind, fill, error);
}

IeeeDebugBlock* ieee_block_stack_top(const std::vector<IeeeDebugBlock*>* stack) {
  return stack == nullptr || stack->empty() ? nullptr : stack->back();
}

IeeeDebugBlock* ieee_block_top(IeeeWriter* writer) {
  writer->current_block = ieee_block_stack_top(&writer->open_blocks);
  return writer->current_block;
}

void ieee_record_set_pair(IeeeLetterRecord* record, uint32_t reference, uint64_t reference_value) {
  if (record == nullptr) return;
  record->reference = reference;
  record->reference_value = reference_value;
}

void ieee_free_id_table(IdTable** owner) {
  if (owner == nullptr) return;
  idtab_delete(*owner);
  *owner = nullptr;
}

IeeeContextEntry* ieee_context_entry_at(IeeeWriter* writer, uint32_t index) {
  writer->current_context = index < writer->contexts.size() ? writer->contexts[index].get() : nullptr;
  return writer->current_context;
}

int ieee_for_each_context_entry(IeeeWriter* writer, int (*callback)(IeeeWriter*, void*), void* argument) {
  for (uint32_t index = 0; index < writer->contexts.size(); ++index) {
    ieee_context_entry_at(writer, index);
    if (int result = callback(writer, argument); result != 0) return result;
  }
  return 0;
}

namespace {

// Call chains nest the expression one level per call; past this depth neither the
// encoder's stack nor a reader's is safe.
constexpr uint32_t MAX_CALL_DEPTH = 4000;

int encode_callgraph(IeeeWriter* writer, StrBuf* buffer, uint32_t* error, IosHandle node, uint32_t depth);

}  // namespace

int ieee_encode_callgraph(IeeeWriter* writer, StrBuf* buffer, uint32_t* error, IosHandle node) {
  if (writer == nullptr || buffer == nullptr) return 1;
  return encode_callgraph(writer, buffer, error, node, 0);
}

namespace {

int encode_callgraph(IeeeWriter* writer, StrBuf* buffer, uint32_t* error, IosHandle node, uint32_t depth) {
  if (depth > MAX_CALL_DEPTH) {
    *error = 5;
    return 1;
  }
  if (!writer->visited_nodes.insert(node_key(node)).second) return 0;
  IosHandle key{0, 0};
  IosSymbol* symbol = nullptr;
  uint32_t callees = 0;
  IosCallGraph* graph = nullptr;
  if (ios_callgraph_get_node_key(writer->file_id, node, &key, nullptr) != 0 ||
      ios_get_symbol(key, &symbol, nullptr) != 0 || symbol == nullptr ||
      ios_callgraph_get_node_value(writer->file_id, key, &callees, nullptr) != 0 ||
      ios_file_get_callgraph(writer->file_id, &graph, nullptr) != 0 || graph == nullptr) {
    return 1;
  }
  IosCallGraphNode* graph_node = ios_cgnode_find(graph, key);
  if (graph_node == nullptr) return 1;
  // The recursion rebuilds other nodes' lists, so the callees are taken first.
  std::vector<IosHandle> callee_keys;
  for (uint32_t i = 0; i < graph_node->callee_list.count; ++i) {
    auto* edge = *static_cast<IosCallEdge* const*>(ios_array_at(&graph_node->callee_list, sizeof(IosCallEdge*), i));
    if (edge != nullptr && edge->callee != nullptr) callee_keys.push_back(edge->callee->key);
  }
  writer->pending_name = at_name(writer->file_id, symbol->name);
  int result = ieee_emit_record(writer, IEEE_NN, nullptr, ieee_fill_record, error);
  if (result != 0) return result;
  if (ieee_buf_put_byte(buffer, LETTER_N) != 0 || ieee_encode_number(buffer, writer->generated_name) != 0) {
    *error = 5;
    return 1;
  }
  for (IosHandle callee : callee_keys) {
    size_t before = ieee_buf_length(buffer);
    if (IeeeContextEntry* entry = context_of_node(writer, callee)) {
      if (ieee_buf_put_byte(buffer, LETTER_O) != 0 || ieee_encode_number(buffer, entry->index) != 0) {
        *error = 5;
        return 1;
      }
    } else if ((result = encode_callgraph(writer, buffer, error, callee, depth + 1)) != 0) {
      return result;
    }
    // A callee encoded before adds no operand, and a call code without its operand
    // would take the caller's expression apart.
    if (ieee_buf_length(buffer) != before && ieee_buf_put_byte(buffer, CALL_CODE) != 0) {
      *error = 5;
      return 1;
    }
  }
  return 0;
}

}  // namespace

int ieee_emit_named_record(IeeeWriter* writer, ExprNode* node, uint32_t* error) {
  if (writer == nullptr || node == nullptr || !has_operand_list(node)) return 0;
  int result = 0;
  for (ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    ExprNode* operand = link->operand;
    if (operand == nullptr || operand->kind != EXPR_VALUE || operand->value_type != EXPR_TYPE_STRING ||
        operand->payload.string == nullptr || operand->payload.string->text == nullptr) {
      continue;
    }
    long number = 0;
    if (std::sscanf(operand->payload.string->text, "S%ld", &number) != 1 || number < 1 ||
        number > static_cast<long>(UINT32_MAX)) {
      continue;
    }
    writer->pending_name = IosHandle{writer->file_id, static_cast<uint32_t>(number)};
    result = ieee_emit_record(writer, IEEE_NN, nullptr, ieee_fill_record, error);
    char text[24];
    std::snprintf(text, sizeof text, "S%u", writer->generated_name);
    ExprNode* fresh = name_node(operand->context, text);
    if (fresh == nullptr) {
      *error = 5;
      return 1;
    }
    link->operand = fresh;
    expr_release(operand);
  }
  return result;
}

void ieee_prepare_reader(IeeeWriter* writer) {
  if (writer == nullptr) return;
  // A stream left from writing would be lost; what it holds belongs in the file.
  ieee_stream_close(&writer->stream);
  writer->stream = ieee_stream_open(writer->handle, 0);
  if (writer->stream == nullptr) writer->output_off = 1;
  // Failures here leave the handles unset; reading then has nowhere to put names.
  IosHandle global{0, 0};
  if (ios_scope_get_global(writer->file_id, &global, nullptr) == 0) writer->reader_global_scope = global;
  IosHandle scope{0, 0};
  if (ios_scope_create(writer->file_id, IosHandle{writer->file_id, 0}, &scope, nullptr) == 0) {
    writer->reader_scope = scope;
  }
  if (writer->module_name != nullptr) {
    IosHandle name{0, 0};
    ios_strtab_add(writer->file_id, strbuf_c_str(writer->module_name), &name, nullptr);
  }
  writer->letter_cache = nullptr;
  writer->letter_tables.clear();
  writer->by_reference.clear();
  writer->sections.clear();
  writer->sections_by_id.clear();
  writer->contexts.clear();
  writer->names.clear();
  writer->names_by_symbol.clear();
  writer->block_records.clear();
  writer->open_blocks.clear();
  writer->current_type_record = nullptr;
  writer->type_records_by_index.clear();
  writer->type_records_by_id.clear();
  writer->type_records.clear();
  writer->current_section = nullptr;
  writer->current_name = nullptr;
  writer->current_context = nullptr;
  writer->current_block = nullptr;
  writer->next_section_index = 1;
  writer->next_name_index = IEEE_FIRST_NAME_INDEX;
  writer->second_name_counter = IEEE_FIRST_NAME_INDEX;
  writer->next_type_index = 257;
}
