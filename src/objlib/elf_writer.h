// The ELF32 producer: writes one file of the object store as a relocatable (or, in
// absolute mode, executable) object file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "objlib/ios_types.h"

// Writes the store file to the stream from its current position, front to back
// without seeking, so that the stream may be a pipe; the caller opened it for writing
// and closes it afterwards. 0, or 1 with the class of the first failing pass; after a
// failed write (class 2) errno tells the cause.
int elf_write_object(const char* output_name, std::FILE* stream, uint32_t file_id,
                     ObjLibErrorClass* error);

// Moves an address of absolute output into another address space: the 64-bit address
// as two halves, the section number, the machine row's translation parameter and the
// caller's argument; the callback updates *address in place and answers 0.
using ElfAddressTranslator = int (*)(uint32_t low, uint32_t high, uint32_t section_number,
                                     uint32_t parameter, void* argument, uint64_t* address);

// elf_write_object with an address translator for machines whose row gives a
// translation parameter: section addresses and absolute symbol values of numbered
// sections pass through it in absolute output. Without a translator, or for a row
// without parameter (TriCore's), the output is that of elf_write_object. A failing
// translator fails the write with class 15.
int elf_write_object_ex(const char* output_name, std::FILE* stream, uint32_t file_id,
                        ElfAddressTranslator translator, void* argument,
                        ObjLibErrorClass* error);

// Bytes of count units of the bit width: count x ceil(bits / 8).
uint32_t elf_bytes_for_bits(uint32_t bits, uint32_t count);

// Byte orders of the file header's EI_DATA, and the selectors of elf_swap_field.
inline constexpr uint32_t ELF_DATA_LSB = 1;
inline constexpr uint32_t ELF_DATA_MSB = 2;

// Writes a field of 1, 2 or 4 bytes into out in the given byte order.
void elf_swap_field(uint32_t selector, uint32_t value, uint32_t size, unsigned char* out);
