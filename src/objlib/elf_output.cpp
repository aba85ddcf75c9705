#include "objlib/elf_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "objlib/elf_context.h"
#include "objlib/elf_symtab.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"

namespace {

constexpr uint32_t kMaxFileOffset = 0xFFFFFFFFu;

int appendPiece(ElfContext* context, const ElfPiece& piece, ObjLibErrorClass* error) {
  try {
    context->output.pieces.push_back(piece);
  } catch (const std::bad_alloc&) {
    return elf_fail(error, OBJLIB_ERR_NO_MEMORY);
  }
  context->output.length += piece.size;
  return 0;
}

int put(ElfContext* context, const void* data, size_t size, ObjLibErrorClass* error) {
  if (size == 0) return 0;
  if (std::fwrite(data, 1, size, context->stream) != size) {
    // The cause stays in errno for the caller's message; fwrite does not always set it.
    if (errno == 0) errno = EIO;
    return elf_fail(error, OBJLIB_ERR_FILE_IO);
  }
  return 0;
}

int putZeros(ElfContext* context, uint64_t count, ObjLibErrorClass* error) {
  static const unsigned char zeros[4096] = {};
  while (count > 0) {
    size_t chunk = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
    if (put(context, zeros, chunk, error) != 0) return 1;
    count -= chunk;
  }
  return 0;
}

// The units as the image holds them, segment by segment; a segment that was never
// written is zeros and is written as such without a buffer being made for it.
int putImage(ElfContext* context, const ElfPiece& piece, ObjLibErrorClass* error) {
  IosHandle image{};
  if (ios_section_get_image(piece.section, &image, nullptr) != 0)
    return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
  uint32_t stride = 1;
  while (stride < piece.bytes_per_unit) stride <<= 1;
  uint32_t unit = 0;
  while (unit < piece.units) {
    const void* storage = nullptr;
    uint32_t left = 0;
    if (ios_image_peek_data_entry(image, unit, &storage, &left, nullptr) != 0 || left == 0)
      return elf_fail(error, OBJLIB_ERR_OBJECT_STORE);
    uint32_t count = left < piece.units - unit ? left : piece.units - unit;
    const auto* bytes = static_cast<const unsigned char*>(storage);
    if (bytes == nullptr) {
      if (putZeros(context, static_cast<uint64_t>(count) * piece.bytes_per_unit, error) != 0) return 1;
    } else if (stride == piece.bytes_per_unit) {
      if (put(context, bytes, static_cast<size_t>(count) * stride, error) != 0) return 1;
    } else {
      for (uint32_t index = 0; index < count; ++index)
        if (put(context, bytes + static_cast<size_t>(index) * stride, piece.bytes_per_unit, error) != 0)
          return 1;
    }
    unit += count;
  }
  return 0;
}

size_t symbolEntrySize(const ElfContext* context) { return context->extended() ? 20 : 16; }

// A block of entries at a time: a table of a million symbols would otherwise take a
// third copy of itself, beside the records and the file.
int putSymbols(ElfContext* context, const ElfPiece& piece, ObjLibErrorClass* error) {
  bool extended = context->extended();
  size_t entry_size = symbolEntrySize(context);
  size_t count = context->symbols.size();
  if (count * entry_size != piece.size) return elf_fail(error, OBJLIB_ERR_INTERNAL);
  constexpr size_t kEntriesPerBlock = 1024;
  unsigned char block[kEntriesPerBlock * 20];
  for (size_t first = 0; first < count; first += kEntriesPerBlock) {
    size_t entries = count - first < kEntriesPerBlock ? count - first : kEntriesPerBlock;
    for (size_t index = 0; index < entries; ++index)
      elf_swap_symbol(context->byte_order, context->symbols[first + index], extended,
                      block + index * entry_size);
    if (put(context, block, entries * entry_size, error) != 0) return 1;
  }
  return 0;
}

// Extends the last piece when it is of the same kind, else appends a new one.
int extendOrAppend(ElfContext* context, ElfPiece::Kind kind, uint64_t size, uint64_t first,
                   ObjLibErrorClass* error) {
  ElfOutput& output = context->output;
  if (!output.pieces.empty() && output.pieces.back().kind == kind) {
    output.pieces.back().size += size;
    output.length += size;
    return 0;
  }
  ElfPiece piece{};
  piece.kind = kind;
  piece.size = size;
  piece.first = first;
  return appendPiece(context, piece, error);
}

}  // namespace

int elf_write_bytes(ElfContext* context, const void* data, size_t size, ObjLibErrorClass* error) {
  if (size == 0) return 0;
  ElfOutput& output = context->output;
  const auto* bytes = static_cast<const unsigned char*>(data);
  try {
    output.bytes.insert(output.bytes.end(), bytes, bytes + size);
  } catch (const std::bad_alloc&) {
    return elf_fail(error, OBJLIB_ERR_NO_MEMORY);
  }
  // Bytes after bytes extend one piece: their storage follows on.
  return extendOrAppend(context, ElfPiece::kBytes, size, output.bytes.size() - size, error);
}

int elf_write_zeros(ElfContext* context, uint64_t count, ObjLibErrorClass* error) {
  if (count == 0) return 0;
  return extendOrAppend(context, ElfPiece::kZeros, count, 0, error);
}

int elf_write_image(ElfContext* context, IosHandle section, uint32_t bytes_per_unit,
                    uint32_t units, ObjLibErrorClass* error) {
  if (units == 0) return 0;
  ElfPiece piece{};
  piece.kind = ElfPiece::kImage;
  piece.section = section;
  piece.bytes_per_unit = bytes_per_unit;
  piece.units = units;
  piece.size = static_cast<uint64_t>(units) * bytes_per_unit;
  return appendPiece(context, piece, error);
}

int elf_write_symbol_entries(ElfContext* context, ObjLibErrorClass* error) {
  if (context->symbols.empty()) return 0;
  ElfPiece piece{};
  piece.kind = ElfPiece::kSymbols;
  piece.size = context->symbols.size() * symbolEntrySize(context);
  return appendPiece(context, piece, error);
}

int elf_write_string_table(ElfContext* context, const ElfStringTable* table,
                           ObjLibErrorClass* error) {
  if (table->bytes.empty()) return 0;
  ElfPiece piece{};
  piece.kind = ElfPiece::kStrings;
  piece.table = table;
  piece.size = table->bytes.size();
  return appendPiece(context, piece, error);
}

int elf_patch_bytes(ElfContext* context, uint64_t offset, const void* data, size_t size,
                    ObjLibErrorClass* error) {
  // An empty patch (an empty table, whose data may be null) changes nothing.
  if (size == 0) return 0;
  ElfOutput& output = context->output;
  uint64_t start = 0;
  for (const ElfPiece& piece : output.pieces) {
    if (offset < start + piece.size) {
      if (piece.kind != ElfPiece::kBytes || offset + size > start + piece.size)
        return elf_fail(error, OBJLIB_ERR_INTERNAL);
      std::memcpy(output.bytes.data() + piece.first + (offset - start), data, size);
      return 0;
    }
    start += piece.size;
  }
  return elf_fail(error, OBJLIB_ERR_INTERNAL);
}

int elf_tell(ElfContext* context, uint32_t* position, ObjLibErrorClass* error) {
  if (context->output.length > kMaxFileOffset) return elf_fail(error, OBJLIB_ERR_FILE_IO);
  *position = static_cast<uint32_t>(context->output.length);
  return 0;
}

int elf_pad_to_4(ElfContext* context, uint32_t* position, ObjLibErrorClass* error) {
  uint32_t at = 0;
  if (elf_tell(context, &at, error) != 0) return 1;
  uint32_t target = (at + 3) & ~3u;
  if (target != at) {
    static const unsigned char zeros[4] = {};
    if (elf_write_bytes(context, zeros, target - at, error) != 0) return 1;
  }
  *position = target;
  return 0;
}

int elf_emit_output(ElfContext* context, ObjLibErrorClass* error) {
  if (context->stream == nullptr) return elf_fail(error, OBJLIB_ERR_FILE_IO);
  errno = 0;
  for (const ElfPiece& piece : context->output.pieces) {
    int failed = 0;
    switch (piece.kind) {
      case ElfPiece::kBytes:
        failed = put(context, context->output.bytes.data() + piece.first, piece.size, error);
        break;
      case ElfPiece::kZeros: failed = putZeros(context, piece.size, error); break;
      case ElfPiece::kImage: failed = putImage(context, piece, error); break;
      case ElfPiece::kSymbols: failed = putSymbols(context, piece, error); break;
      case ElfPiece::kStrings:
        if (piece.table->bytes.size() != piece.size) return elf_fail(error, OBJLIB_ERR_INTERNAL);
        failed = put(context, piece.table->bytes.data(), piece.size, error);
        break;
    }
    if (failed != 0) return 1;
  }
  return 0;
}
