#include "objlib/ieee695/ieee_kit.h"

#include <memory>

#include "objlib/ieee695/ieee_stream.h"

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
  IeeeDebugBlock* innermost = writer->open_blocks.empty() ? nullptr : writer->open_blocks.back();
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

IeeeDebugBlock* ieee_block_top(IeeeWriter* writer) {
  writer->current_block = writer->open_blocks.empty() ? nullptr : writer->open_blocks.back();
  return writer->current_block;
}
