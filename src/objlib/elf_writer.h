// The ELF32 producer: writes one file of the object store as a relocatable (or, in
// absolute mode, executable) object file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "objlib/ios_types.h"

// Writes the store file to the stream, which the caller opened "w+b" (the producer
// seeks back to write the header) and closes afterwards. 0, or 1 with the class of
// the first failing pass.
int elf_write_object(const char* output_name, std::FILE* stream, uint32_t file_id,
                     ObjLibErrorClass* error);

// Byte orders of the file header's EI_DATA, and the selectors of elf_swap_field.
inline constexpr uint32_t ELF_DATA_LSB = 1;
inline constexpr uint32_t ELF_DATA_MSB = 2;

// Writes a field of 1, 2 or 4 bytes into out in the given byte order.
void elf_swap_field(uint32_t selector, uint32_t value, uint32_t size, unsigned char* out);
