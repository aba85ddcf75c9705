#include "objlib/ios_image_ops.h"

#include <cstdlib>
#include <cstring>

#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/ios_segment_units.h"

namespace {


// Segments needed for a size: the last one holds ((size - 1) mod 2^21) + 1 units,
// never 0, so a size that is a multiple of 2^21 keeps its full last segment.
uint32_t segmentsFor(uint32_t size) {
  return size == 0 ? 0 : ((size - 1) >> IOS_SEGMENT_SHIFT) + 1;
}
uint32_t lastSegmentUnits(uint32_t size) { return ((size - 1) & IOS_SEGMENT_MASK) + 1; }


int imageOfSection(IosHandle section, IosImage** image, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  return ios_get_image(record->image, image, error);
}

int imageOfSectionRaw(uint32_t file_id, uint32_t section_id, IosImage** image,
                      IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(file_id, section_id, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  return ios_get_image(record->image, image, error);
}

template <typename Entry>
int entryAt(IosImage* image, IosArray IosImage::*table, uint32_t index, Entry* entry,
            IosErrorCode* error) {
  auto* found = static_cast<Entry*>(ios_array_at(&(image->*table), sizeof(Entry), index));
  if (found == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (entry != nullptr) *entry = *found;
  return 0;
}

// The image pointer is read only after the lookup has run.
int countOf(int found, IosImage* const* image, IosArray IosImage::*table, uint32_t* count) {
  if (found != 0) return 1;
  if (count != nullptr) *count = ((*image)->*table).count;
  return 0;
}

void freeImage(IosImage* image) {
  for (uint32_t index = 0; index < image->segments.count; ++index)
    std::free(ios_segment_at(image, index)->buffer);
  for (uint32_t index = 0; index < image->expressions.count; ++index)
    expr_release(static_cast<IosExprEntry*>(
                     ios_array_at(&image->expressions, sizeof(IosExprEntry), index))
                     ->expression);
  for (uint32_t index = 0; index < image->relocations.count; ++index)
    expr_release(static_cast<IosRelocEntry*>(
                     ios_array_at(&image->relocations, sizeof(IosRelocEntry), index))
                     ->expression);
  IosArray* arrays[] = {&image->segments, &image->expressions, &image->relocations,
                        &image->pairs_b,  &image->pairs_c,     &image->zero_ranges,
                        &image->plain_ranges};
  for (IosArray* array : arrays) ios_array_free(array);
}

// Appends segments of the width covering [from, to), reading as 0 until written.
int appendSegments(IosImage* image, uint32_t mau_size, uint64_t from, uint64_t to,
                   IosErrorCode* error) {
  for (uint64_t first = from; first < to; first += IOS_SEGMENT_UNITS) {
    auto* segment = static_cast<IosSegment*>(ios_array_push(&image->segments, sizeof(IosSegment)));
    if (segment == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    uint64_t left = to - first;
    *segment = IosSegment{static_cast<uint32_t>(first),
                          static_cast<uint32_t>(left < IOS_SEGMENT_UNITS ? left : IOS_SEGMENT_UNITS),
                          static_cast<uint8_t>(mau_size), nullptr};
  }
  return 0;
}

}  // namespace

int ios_section_lookup_raw(uint32_t file_id, uint32_t section_id, IosSection** record,
                           IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->sections == nullptr) return ios_fail(error, IOS_ERR_NO_SECTION);
  auto* found = static_cast<IosSection*>(idtab_get(file->sections->sections, section_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_SECTION);
  if (record != nullptr) *record = found;
  return 0;
}

int ios_image_count_triples(IosHandle image, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(ios_get_image(image, &record, error), &record, &IosImage::expressions, count);
}
int ios_section_count_triples(IosHandle section, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(imageOfSection(section, &record, error), &record, &IosImage::expressions, count);
}
int ios_section_count_triples_raw(uint32_t file_id, uint32_t section_id, uint32_t* count,
                                  IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(imageOfSectionRaw(file_id, section_id, &record, error), &record,
                 &IosImage::expressions, count);
}
int ios_image_count_relocations(IosHandle image, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(ios_get_image(image, &record, error), &record, &IosImage::relocations, count);
}
int ios_section_count_relocations_raw(uint32_t file_id, uint32_t section_id, uint32_t* count,
                                      IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(imageOfSectionRaw(file_id, section_id, &record, error), &record,
                 &IosImage::relocations, count);
}
int ios_image_count_fill_ranges(IosHandle image, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(ios_get_image(image, &record, error), &record, &IosImage::zero_ranges, count);
}
int ios_section_count_fill_ranges(IosHandle section, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(imageOfSection(section, &record, error), &record, &IosImage::zero_ranges, count);
}
int ios_image_count_ranges(IosHandle image, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(ios_get_image(image, &record, error), &record, &IosImage::plain_ranges, count);
}
int ios_section_count_ranges(IosHandle section, uint32_t* count, IosErrorCode* error) {
  IosImage* record = nullptr;
  return countOf(imageOfSection(section, &record, error), &record, &IosImage::plain_ranges,
                 count);
}

int ios_section_get_triple(IosHandle section, uint32_t index, IosExprEntry* entry,
                           IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSection(section, &image, error) != 0) return 1;
  return entryAt(image, &IosImage::expressions, index, entry, error);
}
int ios_section_get_triple_raw(uint32_t file_id, uint32_t section_id, uint32_t index,
                               IosExprEntry* entry, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSectionRaw(file_id, section_id, &image, error) != 0) return 1;
  return entryAt(image, &IosImage::expressions, index, entry, error);
}
int ios_section_get_relocation_raw(uint32_t file_id, uint32_t section_id, uint32_t index,
                                   IosRelocEntry* entry, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSectionRaw(file_id, section_id, &image, error) != 0) return 1;
  return entryAt(image, &IosImage::relocations, index, entry, error);
}
int ios_section_get_fill_range(IosHandle section, uint32_t index, uint32_t* start,
                               uint32_t* length, IosErrorCode* error) {
  IosImage* image = nullptr;
  IosRange range{};
  if (imageOfSection(section, &image, error) != 0 ||
      entryAt(image, &IosImage::zero_ranges, index, &range, error) != 0)
    return 1;
  if (start != nullptr) *start = range.start;
  if (length != nullptr) *length = range.count;
  return 0;
}
int ios_section_get_range(IosHandle section, uint32_t index, uint32_t* start, uint32_t* length,
                          IosErrorCode* error) {
  IosImage* image = nullptr;
  IosRange range{};
  if (imageOfSection(section, &image, error) != 0 ||
      entryAt(image, &IosImage::plain_ranges, index, &range, error) != 0)
    return 1;
  if (start != nullptr) *start = range.start;
  if (length != nullptr) *length = range.count;
  return 0;
}

int ios_image_remove_relocation(IosHandle image, uint32_t index, IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  IosArray& table = record->relocations;
  if (index >= table.count) return ios_fail(error, IOS_ERR_INTERNAL);
  auto* entries = static_cast<IosRelocEntry*>(table.items);
  expr_release(entries[index].expression);
  std::memmove(entries + index, entries + index + 1,
               size_t{table.count - index - 1} * sizeof(IosRelocEntry));
  --table.count;
  std::memset(entries + table.count, 0, sizeof(IosRelocEntry));
  return 0;
}

int ios_section_has_image_raw(uint32_t file_id, uint32_t section_id, uint32_t* has,
                              IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(file_id, section_id, &record, error) != 0) return 1;
  uint32_t found = record->image.object_id != 0 ? 1 : 0;
  if (found == 0 && error != nullptr) *error = IOS_ERR_NO_IMAGE;
  if (has != nullptr) *has = found;
  return 0;
}

int ios_section_get_data_entry(IosHandle section, uint32_t unit, void** storage,
                               uint32_t* units_left, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  uint32_t bits = 0;
  if (ios_section_get_mau_size(section, &bits, nullptr) == 0 && bits > 8)
    return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  uint32_t size = 0;
  if (ios_section_get_size(section, &size, error) != 0 || unit >= size)
    return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  return ios_image_get_data_entry(record->image, unit, storage, units_left, error);
}

int ios_section_get_size_raw(uint32_t file_id, uint32_t section_id, uint32_t* size,
                             IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(file_id, section_id, &record, error) != 0) return 1;
  ExprNode* node = nullptr;
  if (ios_location_get(record->size_slot, &node, error) != 0) return -1;
  if (node->kind != EXPR_VALUE) expr_evaluate(node);
  uint32_t value = 0;
  if (node->kind == EXPR_VALUE && (node->value_type == EXPR_TYPE_SIGNED ||
                                   node->value_type == EXPR_TYPE_UNSIGNED)) {
    const unsigned char* bytes = expr_value_bytes(node);
    value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
            uint32_t{bytes[3]} << 24;
    for (uint32_t index = 4; index < node->context->int_width; ++index) {
      if (bytes[index] != 0) {
        node->context->error = EXPR_ERR_OPERAND_TRUNCATED;
        if (size != nullptr) *size = value;
        return 0;
      }
    }
  }
  if (size != nullptr) *size = value;
  return 0;
}

int ios_data_remove(uint32_t file_id, uint32_t data_id, IosErrorCode* error) {
  return ios_data_delete(IosHandle{file_id, data_id}, error);
}

int ios_data_get_image(uint32_t file_id, uint32_t data_id, IosHandle* image,
                       IosErrorCode* error) {
  IosData* record = nullptr;
  if (ios_get_data(IosHandle{file_id, data_id}, &record, error) != 0) return 1;
  if (image != nullptr) *image = record->image;
  return 0;
}

int ios_image_create_for(uint32_t file_id, IosHandle section, uint32_t mau_size, uint32_t length,
                         IosHandle* image, IosErrorCode* error) {
  if (mau_size > IOS_LARGEST_UNIT_BITS) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  if (file->images == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (length > 0) {
    uint32_t size = 0;
    if (ios_section_get_size(section, &size, nullptr) != 0 || size < length)
      return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  }
  IosImageAdmin* admin = file->images;
  auto* made = static_cast<IosImage*>(pool_alloc_block(admin->pool));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(made, 0, sizeof *made);
  uint32_t id = idtab_next_id(admin->images);
  made->handle = IosHandle{file_id, id};
  made->section = section;
  if (appendSegments(made, mau_size, 0, length, error) != 0 ||
      idtab_set(admin->images, id - 1, made) != 0) {
    ios_array_free(&made->segments);
    pool_free_block(made, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (image != nullptr) *image = made->handle;
  return 0;
}

int ios_image_delete(IosHandle image, IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(image.file_id, &file, error) != 0) return 1;
  freeImage(record);
  idtab_set(file->images->images, image.object_id - 1, nullptr);
  pool_free_block(record, file->images->pool);
  return 0;
}

int ios_section_delete_image(IosHandle section, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  if (ios_image_delete(record->image, error) != 0) return 1;
  record->image.object_id = 0;
  return 0;
}

int ios_image_range_new(IosImageAdmin* admin, IosRange** record, int32_t limit, uint32_t start,
                        uint32_t length, IosErrorCode* error) {
  return objsec_add_range(admin, limit, start, length, record, error);
}

int ios_image_add_range(IosHandle image, int32_t limit, uint32_t start, uint32_t length,
                        IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  IosFile* file = nullptr;
  if (ios_get_file(image.file_id, &file, error) != 0) return 1;
  if (ios_image_range_new(file->images, nullptr, limit, start, length, error) != 0) return 1;
  auto* range = static_cast<IosRange*>(ios_array_push(&record->plain_ranges, sizeof(IosRange)));
  if (range == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *range = IosRange{start, length, 0};
  return 0;
}

int ios_image_fill(IosHandle image, uint32_t mau_size, uint32_t start, uint64_t value,
                   uint32_t count, IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  if (mau_size > IOS_LARGEST_UNIT_BITS) return 0;
  uint64_t end = uint64_t{start} + count;
  for (uint32_t index = 0; index < record->segments.count; ++index) {
    IosSegment* segment = ios_segment_at(record, index);
    uint64_t segmentEnd = uint64_t{segment->first_unit} + segment->units;
    uint64_t from = start > segment->first_unit ? start : segment->first_unit;
    uint64_t to = end < segmentEnd ? end : segmentEnd;
    if (from >= to) continue;
    if (segment->buffer == nullptr &&
        ios_alloc_mau_buffer(segment->units, segment->mau_size, &segment->buffer, error) != 0)
      return 1;
    for (uint64_t unit = from; unit < to; ++unit)
      ios_segment_write_unit(segment, static_cast<uint32_t>(unit - segment->first_unit), value);
  }
  return 0;
}

int ios_section_fill(IosHandle section, uint32_t start, uint32_t count, uint64_t value,
                     IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  uint32_t bits = 0;
  ios_section_get_mau_size(section, &bits, nullptr);
  return ios_image_fill(record->image, bits, start, value, count, error);
}

int ios_data_chunk_realloc(IosSegment* segment, uint32_t units, uint32_t mau_size,
                           IosErrorCode* error) {
  uint32_t oldUnits = segment->units;
  segment->units = units;
  if (mau_size > IOS_LARGEST_UNIT_BITS) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  // A segment never written keeps no buffer: it reads as zeros whatever its length.
  if (segment->buffer == nullptr) return 0;
  uint32_t bytes = ios_unit_bytes(segment->mau_size);
  void* grown = std::realloc(segment->buffer, size_t{units == 0 ? 1 : units} * bytes);
  if (grown == nullptr) {
    segment->units = oldUnits;
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (units > oldUnits)
    std::memset(static_cast<unsigned char*>(grown) + size_t{oldUnits} * bytes, 0,
                size_t{units - oldUnits} * bytes);
  segment->buffer = grown;
  return 0;
}

int ios_image_resize(IosHandle image, uint32_t mau_size, uint32_t old_size, uint32_t new_size,
                     IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  if (mau_size > IOS_LARGEST_UNIT_BITS) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  uint32_t oldCount = segmentsFor(old_size);
  uint32_t newCount = segmentsFor(new_size);
  // The caller's old size must describe the image, or the segments past it would be
  // kept or dropped by a wrong count.
  if (oldCount != record->segments.count) return ios_fail(error, IOS_ERR_INTERNAL);
  if (newCount <= oldCount) {
    if (newCount > 0 && ios_data_chunk_realloc(ios_segment_at(record, newCount - 1),
                                               lastSegmentUnits(new_size), mau_size, error) != 0)
      return 1;
    while (record->segments.count > newCount) {
      IosSegment* last = ios_segment_at(record, record->segments.count - 1);
      std::free(last->buffer);
      std::memset(last, 0, sizeof *last);
      --record->segments.count;
    }
    return 0;
  }
  if (oldCount > 0 &&
      ios_data_chunk_realloc(ios_segment_at(record, oldCount - 1), IOS_SEGMENT_UNITS, mau_size,
                             error) != 0)
    return 1;
  return appendSegments(record, mau_size, uint64_t{oldCount} << IOS_SEGMENT_SHIFT, new_size,
                        error);
}

int ios_image_hash(IosHandle image, uint32_t mau_size, uint32_t* hash, IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  if (mau_size > IOS_LARGEST_UNIT_BITS) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  uint32_t h = 0;
  for (uint32_t index = 0; index < record->segments.count; ++index) {
    const IosSegment* segment = ios_segment_at(record, index);
    for (uint32_t element = 0; element < segment->units; ++element) {
      h = (h << 4) + static_cast<uint32_t>(ios_segment_read_unit(segment, element));
      uint32_t g = h & 0xF0000000u;
      if (g != 0) h ^= g >> 24;
      h &= ~g;
    }
  }
  if (hash != nullptr) *hash = h;
  return 0;
}

int ios_section_hash(IosHandle section, uint32_t* hash, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return 0;
  uint32_t bits = 0;
  ios_section_get_mau_size(section, &bits, nullptr);
  return ios_image_hash(record->image, bits, hash, error);
}

int ios_section_open_data(uint32_t file_id, uint32_t section_id, uint32_t offset, uint32_t count,
                          IosHandle* data, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(file_id, section_id, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  if (count == 0 && ios_section_get_size_raw(file_id, section_id, &count, nullptr) != 0) count = 0;
  uint32_t bits = record->mau_size;
  if (bits == 0) {
    IosFile* file = nullptr;
    if (ios_get_file(file_id, &file, error) != 0) return 1;
    bits = file->mau_size;
  }
  return ios_data_place(record->image, bits, offset, count, data, error);
}
