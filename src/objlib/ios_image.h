// Section images and data windows.
//
// An image holds a section's contents as addressable units in segments of at most
// 2^21 units, each with a buffer made on first use, plus its entry tables: the
// expression records and relocation records that the flow nodes add. Callers fill
// units through data windows: a window lends one 32-bit word per unit and a commit
// narrows the words back into the image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objlib/ios_types.h"

struct AvlNode;
struct BlockPool;
struct ExprNode;
struct IdTable;

inline constexpr uint32_t IOS_SEGMENT_SHIFT = 21;
inline constexpr uint32_t IOS_SEGMENT_UNITS = 1u << IOS_SEGMENT_SHIFT;
inline constexpr uint32_t IOS_SEGMENT_MASK = IOS_SEGMENT_UNITS - 1;

struct IosSegment {
  uint32_t first_unit;
  uint32_t units;
  uint8_t mau_size;
  void* buffer;  // null until first needed; 1, 2, 4 or 8 bytes per unit
};

// First entry table: the units an expression fills.
struct IosExprEntry {
  uint32_t offset;
  uint32_t units;
  ExprNode* expression;  // one reference held by the entry
};

// Second entry table: a relocation of the section, in emission order.
struct IosRelocEntry {
  uint32_t offset;  // unit offset of the relocated field
  uint32_t units;   // units of the field
  uint32_t type;
  ExprNode* expression;  // one reference held by the entry
  uint32_t word1;
  uint32_t word2;
};

// Third and fourth entry tables.
struct IosPairEntry {
  uint32_t word1;
  uint32_t word2;
};

// A range of units recorded as zero data (length = count) or as a plain range.
struct IosRange {
  uint32_t start;
  uint32_t count;
  uint32_t length;
};

struct IosImage {
  IosHandle handle;
  IosHandle section;
  IosArray segments;      // IosSegment, in address order
  IosArray expressions;   // IosExprEntry
  IosArray relocations;   // IosRelocEntry
  IosArray pairs_b;       // IosPairEntry
  IosArray pairs_c;       // IosPairEntry
  IosArray zero_ranges;   // IosRange
  IosArray plain_ranges;  // IosRange
};

struct IosImageAdmin {
  BlockPool* pool;  // IosImage records
  IdTable* images;
  IosArray ranges;  // every range record of the file, IosRange
};

// A data window.
struct IosData {
  IosHandle handle;
  uint32_t* words;  // one per unit; null for a window of 0 units
  IosHandle image;
  uint32_t first_unit;
  uint32_t units;
};

struct IosDataAdmin {
  BlockPool* pool;  // IosData records
  AvlNode* tree;    // windows by data id
  uint32_t counter;
};

// Admin lifecycles, used by the file's creation and teardown. Deleting the image
// admin releases every buffer and the entries' expression references. Null is
// ignored.
IosImageAdmin* ios_image_admin_new();
void ios_image_admin_delete(IosImageAdmin* admin);
IosDataAdmin* ios_data_admin_new();
void ios_data_admin_delete(IosDataAdmin* admin);
// Releases the run's scratch array once no window holds it (for tests and
// the end of the run).
void ios_scratch_release();

// A buffer for units of the given width, zero-filled; 53 for a width above 64.
int ios_alloc_mau_buffer(uint32_t units, uint32_t bits, void** buffer, IosErrorCode* error);

// Creates the section's image from its size; 6 when it has one, -1 with 2 when no
// size is set, 35 for 2^31 units or more; out: image handle (may be null).
int ios_section_create_image(IosHandle section, IosHandle* image, IosErrorCode* error);
// The image record; 33 when the id names none.
int ios_get_image(IosHandle image, IosImage** record, IosErrorCode* error);

// Entry counts of the section's image (first and second table); 33 without image.
int ios_section_image_count_a(IosHandle section, uint32_t* count, IosErrorCode* error);
int ios_section_image_count_b(IosHandle section, uint32_t* count, IosErrorCode* error);
// Entries by 0-based index; 1 with IOS_ERR_INTERNAL when the index is past the end.
int ios_image_get_entry_a(IosHandle image, uint32_t index, IosExprEntry* entry,
                          IosErrorCode* error);
int ios_image_get_entry(IosHandle image, uint32_t index, IosRelocEntry* entry,
                        IosErrorCode* error);
int ios_image_get_entry_b(IosHandle image, uint32_t index, IosPairEntry* entry,
                          IosErrorCode* error);
int ios_image_get_entry_c(IosHandle image, uint32_t index, IosPairEntry* entry,
                          IosErrorCode* error);
// Storage of a unit and the units left in its segment; makes the segment's buffer
// when missing. 35 when the unit lies outside the image.
int ios_image_get_data_entry(IosHandle image, uint32_t unit, void** storage,
                             uint32_t* units_left, IosErrorCode* error);
// The same without making a buffer: storage is null for a segment that has none, whose
// units are all zero. For readers of an image, which need not hold its zeros.
int ios_image_peek_data_entry(IosHandle image, uint32_t unit, const void** storage,
                              uint32_t* units_left, IosErrorCode* error);
// Makes buffer, a block of bytes from malloc or calloc, the first segment's storage in
// place of any it had; the image frees it as its own. The caller that filled a whole
// section needs no second copy of its first segment. 35, and the buffer stays the
// caller's, when it is smaller than the segment.
int ios_image_adopt_first_segment(IosHandle image, void* buffer, size_t bytes, IosErrorCode* error);

// Records count units at offset of the section's image as zero data and clears
// them (a segment that has no buffer yet is zero already and stays without); 33
// without image, 35 past the section's size.
int ios_image_add_zeros(uint32_t file_id, uint32_t section_id, uint32_t offset, uint32_t count,
                        IosErrorCode* error);
// Records a plain range of count units at offset; writes no data.
int ios_section_add_plain_range(uint32_t file_id, uint32_t section_id, uint32_t offset,
                                uint32_t count, IosErrorCode* error);
// Records the expression as the contents of units units at offset (the entry takes
// a reference) and clears those units; 33, 35.
int ios_image_add_expression(IosHandle section, uint32_t offset, uint32_t units,
                             ExprNode* expression, IosErrorCode* error);
// Records a relocation over units units at offset (the entry takes a reference);
// the units are left as they are; 33, 35.
int ios_image_add_relocation(IosHandle section, uint32_t offset, uint32_t units,
                             ExprNode* expression, uint32_t type, uint32_t word1,
                             uint32_t word2, IosErrorCode* error);
// Appends a range record {start, size} to the admin's range table; 35 when
// start + size (signed) exceeds the limit.
int objsec_add_range(IosImageAdmin* admin, int32_t limit, uint32_t start, uint32_t size,
                     IosRange** record, IosErrorCode* error);

// Opens a window from unit start over units units (0 = the section size); out:
// data handle.
int ios_section_add_data(IosHandle section, uint32_t start, uint32_t units, IosHandle* data,
                         IosErrorCode* error);
// Opens a window over an image; the words hold the units' current values.
int ios_data_place(IosHandle image, uint32_t mau_size, uint32_t first_unit, uint32_t units,
                   IosHandle* data, IosErrorCode* error);
// The window record and its word array; 54 when the id names none.
int ios_get_data(IosHandle data, IosData** record, IosErrorCode* error);
int ios_data_get_buffer(IosHandle data, uint32_t** words, IosErrorCode* error);
// The window takes the word array in place of its own. Its old array is freed,
// or given back for reuse when it is the run's scratch array; handing the scratch
// array in marks it lent. 54 when the id names no window.
int ios_data_set_buffer(uint32_t file_id, uint32_t data_id, uint32_t* buffer,
                        IosErrorCode* error);
// Stores the word array (taken as ios_data_set_buffer does), the image handle, the
// first unit and the unit count of a window; 54.
int ios_data_set_fields(uint32_t file_id, uint32_t data_id, uint32_t* buffer,
                        uint32_t image_file_id, uint32_t image_id, uint32_t first_unit,
                        uint32_t units, IosErrorCode* error);
// Commits the window into the section's image (words narrowed to the unit width)
// and deletes it; 33 when it belongs to another image (the window stays open).
int ios_section_merge_data(IosHandle section, IosHandle data, IosErrorCode* error);
// The same from plain ids: 7 without the section, 54 without the window, 33
// when the window lies over another image.
int ios_section_merge_data_raw(uint32_t file_id, uint32_t section_id, uint32_t data_file_id,
                               uint32_t data_id, IosErrorCode* error);
// Deletes the window without committing; 33 as above.
int ios_section_remove_data(IosHandle section, IosHandle data, IosErrorCode* error);
// Removes and releases the window.
int ios_data_delete(IosHandle data, IosErrorCode* error);
