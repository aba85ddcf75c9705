// The object file laid out before a byte of it is written. The producer's passes
// append pieces in file order and read offsets from the running length; the file
// header and the program headers, which need the final offsets, are filled in last.
// Only then is the file written, front to back in one pass, so that a pipe or a FIFO
// receives the same bytes as a file. Section images and the symbol and string tables
// are not copied: their pieces name where the bytes are, and they are read from there
// while the file is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "objlib/ios_types.h"

struct ElfContext;
struct ElfStringTable;

struct ElfPiece {
  enum Kind : uint8_t {
    kBytes,    // bytes held in ElfOutput::bytes from `first` on
    kZeros,    // zero bytes
    kImage,    // a section's image as the store holds it
    kSymbols,  // the symbol table entries of the context's symbol records
    kStrings,  // a string table's bytes
  };
  Kind kind;
  uint32_t units;           // kImage: units of the section
  uint32_t bytes_per_unit;  // kImage
  uint64_t size;            // bytes in the file
  size_t first;             // kBytes
  IosHandle section;        // kImage
  const ElfStringTable* table;  // kStrings
};

struct ElfOutput {
  std::vector<ElfPiece> pieces;
  std::vector<unsigned char> bytes;  // what the kBytes pieces hold
  uint64_t length = 0;               // of the file laid out so far
};

// Appends bytes to the file; class 3 when they cannot be held.
int elf_write_bytes(ElfContext* context, const void* data, size_t size, ObjLibErrorClass* error);
// Appends count zero bytes; nothing is held for them.
int elf_write_zeros(ElfContext* context, uint64_t count, ObjLibErrorClass* error);
// Appends the units of a section's image, bytes_per_unit bytes of each unit's storage.
int elf_write_image(ElfContext* context, IosHandle section, uint32_t bytes_per_unit,
                    uint32_t units, ObjLibErrorClass* error);
// Appends the symbol table entries of every symbol record: the records must not change
// until the file is written.
int elf_write_symbol_entries(ElfContext* context, ObjLibErrorClass* error);
// Appends the table's bytes: the table must not change until the file is written.
int elf_write_string_table(ElfContext* context, const ElfStringTable* table,
                           ObjLibErrorClass* error);
// Overwrites bytes already appended with elf_write_bytes at offset; class 1 when they
// lie elsewhere.
int elf_patch_bytes(ElfContext* context, uint64_t offset, const void* data, size_t size,
                    ObjLibErrorClass* error);

// The length laid out so far as a 32-bit file offset; class 2 past 4 GiB.
int elf_tell(ElfContext* context, uint32_t* position, ObjLibErrorClass* error);
// Appends zero bytes up to the next multiple of 4 and gives that offset.
int elf_pad_to_4(ElfContext* context, uint32_t* position, ObjLibErrorClass* error);

// Writes the pieces to the context's stream, in order, from its current position. A
// short write is class 2 with errno as the failing call left it.
int elf_emit_output(ElfContext* context, ObjLibErrorClass* error);
