// Image operations for the library's clients: the entry tables read by index,
// relocation removal, filling, resizing, creating and deleting images, range records
// and a hash of an image's contents. Conventions as in ios_types.h; the "raw" forms
// find the section straight in the file's table, without following a redirection and
// without the deleted test (7 when the table has no such section).
//
// The entry tables of an image: triples are its expression entries, fill ranges its
// zero ranges and ranges its plain ranges (ios_image.h).
#pragma once

#include <cstdint>

#include "objlib/ios_image.h"
#include "objlib/ios_types.h"

struct IosSection;

// The section record straight from the file's table.
int ios_section_lookup_raw(uint32_t file_id, uint32_t section_id, IosSection** record,
                           IosErrorCode* error);

// Counts of the entry tables; 33 for a section without image.
int ios_image_count_triples(IosHandle image, uint32_t* count, IosErrorCode* error);
int ios_section_count_triples(IosHandle section, uint32_t* count, IosErrorCode* error);
int ios_section_count_triples_raw(uint32_t file_id, uint32_t section_id, uint32_t* count,
                                  IosErrorCode* error);
int ios_image_count_relocations(IosHandle image, uint32_t* count, IosErrorCode* error);
int ios_section_count_relocations_raw(uint32_t file_id, uint32_t section_id, uint32_t* count,
                                      IosErrorCode* error);
int ios_image_count_fill_ranges(IosHandle image, uint32_t* count, IosErrorCode* error);
int ios_section_count_fill_ranges(IosHandle section, uint32_t* count, IosErrorCode* error);
int ios_image_count_ranges(IosHandle image, uint32_t* count, IosErrorCode* error);
int ios_section_count_ranges(IosHandle section, uint32_t* count, IosErrorCode* error);

// Entries by 0-based index; 1 when absent, 33 without image.
int ios_section_get_triple(IosHandle section, uint32_t index, IosExprEntry* entry,
                           IosErrorCode* error);
int ios_section_get_triple_raw(uint32_t file_id, uint32_t section_id, uint32_t index,
                               IosExprEntry* entry, IosErrorCode* error);
int ios_section_get_relocation_raw(uint32_t file_id, uint32_t section_id, uint32_t index,
                                   IosRelocEntry* entry, IosErrorCode* error);
int ios_section_get_fill_range(IosHandle section, uint32_t index, uint32_t* start,
                               uint32_t* length, IosErrorCode* error);
int ios_section_get_range(IosHandle section, uint32_t index, uint32_t* start, uint32_t* length,
                          IosErrorCode* error);

// Removes relocation i; later entries move down. The entry's expression reference is
// dropped with it. 1 when i is past the end.
int ios_image_remove_relocation(IosHandle image, uint32_t index, IosErrorCode* error);

// *has = 1 when the section has an image, else 0 with 33 stored; status 0 in both.
int ios_section_has_image_raw(uint32_t file_id, uint32_t section_id, uint32_t* has,
                              IosErrorCode* error);
// Storage of unit p of a section of at most 8-bit units: 53 for wider units, 35 for p
// at or past the size, 2 without image.
int ios_section_get_data_entry(IosHandle section, uint32_t unit, void** storage,
                               uint32_t* units_left, IosErrorCode* error);
// The size of a section found raw; -1 with 2 without a size, out 0 when the size
// does not evaluate.
int ios_section_get_size_raw(uint32_t file_id, uint32_t section_id, uint32_t* size,
                             IosErrorCode* error);

// Data windows: removal and the image a window belongs to; 54 for no such window.
int ios_data_remove(uint32_t file_id, uint32_t data_id, IosErrorCode* error);
int ios_data_get_image(uint32_t file_id, uint32_t data_id, IosHandle* image,
                       IosErrorCode* error);

// A new image for the section in the file's image admin, with zero-reading segments
// of the width over [0, length); the section's image field is left as it is. 35 when
// the section's size is below length.
int ios_image_create_for(uint32_t file_id, IosHandle section, uint32_t mau_size, uint32_t length,
                         IosHandle* image, IosErrorCode* error);
// Frees an image with its buffers and tables and clears its slot; 33.
int ios_image_delete(IosHandle image, IosErrorCode* error);
// Deletes the section's image and clears its image handle; 7, 4, 33.
int ios_section_delete_image(IosHandle section, IosErrorCode* error);
// A range record {start, length} in the admin's table and the image's range table;
// 35 when start + length exceeds the limit.
int ios_image_range_new(IosImageAdmin* admin, IosRange** record, int32_t limit, uint32_t start,
                        uint32_t length, IosErrorCode* error);
int ios_image_add_range(IosHandle image, int32_t limit, uint32_t start, uint32_t length,
                        IosErrorCode* error);

// Sets every unit of [start, start + count) that lies in a segment to value; units
// outside every segment are not made. Nothing is written for widths above 64.
int ios_image_fill(IosHandle image, uint32_t mau_size, uint32_t start, uint64_t value,
                   uint32_t count, IosErrorCode* error);
int ios_section_fill(IosHandle section, uint32_t start, uint32_t count, uint64_t value,
                     IosErrorCode* error);

// Reallocates a segment's buffer for units units (new units read as 0) and stores the
// count; 53 for a width above 64 (the count is still stored).
int ios_data_chunk_realloc(IosSegment* segment, uint32_t units, uint32_t mau_size,
                           IosErrorCode* error);
// Resizes an image from old_size to new_size units: segments past the new end go,
// the last one holds the remainder, new ones read as 0. 1 when old_size does not
// match the image's segments, 53.
int ios_image_resize(IosHandle image, uint32_t mau_size, uint32_t old_size, uint32_t new_size,
                     IosErrorCode* error);

// The System V ELF hash over every unit of the image in order (units of more than 32
// bits give their low 32 bits); 53 for a width above 64.
int ios_image_hash(IosHandle image, uint32_t mau_size, uint32_t* hash, IosErrorCode* error);
// The hash of the section's image; a section without image leaves *hash alone.
int ios_section_hash(IosHandle section, uint32_t* hash, IosErrorCode* error);

// Converts units of width from_bits into units of width to_bits: several narrow units
// pack into one wide unit, the first in the most significant position; a wide unit
// splits into narrow ones, least significant piece first for byte order 1 and most
// significant first for 2. Widths that do not divide each other give 36.
int ios_convert_units(const uint32_t* units, uint32_t count, uint32_t from_bits, uint32_t to_bits,
                      uint32_t byte_order, uint32_t** converted, uint32_t* converted_count,
                      IosErrorCode* error);
// Copies count units of the source's image from unit 0 into the target's image (made
// when missing), converting between the two unit widths by the target file's byte
// order (-1 with 2 when it is unset).
int ios_section_copy_image(IosHandle target, IosHandle source, uint32_t count,
                           IosErrorCode* error);
// Exchanges the images of two sections with the same number (36 when their widths
// differ), or of a source whose link names the target, converting count units of the
// source into the target's width; 1 for unrelated sections.
int ios_section_exchange_images(IosHandle source, IosHandle target, uint32_t count,
                                IosErrorCode* error);

// Copies the source's image into every target of the list (ended by a handle whose
// object id is 0), each with the target's size as unit count, then deletes the
// source's image. The raw form finds the source without following a redirection.
int ios_section_copy_into(uint32_t file_id, uint32_t source_id, const IosHandle* targets,
                          IosErrorCode* error);
int ios_section_copy_into_raw(uint32_t file_id, uint32_t source_id, const IosHandle* targets,
                              IosErrorCode* error);
// Exchanges images (ios_section_exchange_images) over the source's size (0 when it
// does not evaluate). The raw form finds both sections without following a
// redirection (7 when either is not in its file's table).
int ios_section_move_content(IosHandle source, IosHandle target, IosErrorCode* error);
int ios_section_move_content_raw(uint32_t source_file_id, uint32_t source_id,
                                 uint32_t target_file_id, uint32_t target_id,
                                 IosErrorCode* error);

// Opens a data window over units [offset, offset + count) of a section found raw
// (count 0: the section's size, 0 when it does not evaluate); out: the window.
int ios_section_open_data(uint32_t file_id, uint32_t section_id, uint32_t offset, uint32_t count,
                          IosHandle* data, IosErrorCode* error);
