#include "objlib/ios_section_place.h"

#include <cstdlib>
#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_segment_units.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_section.h"

namespace {



uint64_t imageEnd(IosImage* image) {
  if (image->segments.count == 0) return 0;
  IosSegment* last = ios_segment_at(image, image->segments.count - 1);
  return uint64_t{last->first_unit} + last->units;
}

// Appends every entry of the source table to the destination's with its first word
// shifted by the offset, then empties the source; references move with the entries.
template <typename Entry>
int moveEntries(IosArray* destination, IosArray* source, uint32_t offset, IosErrorCode* error) {
  for (uint32_t index = 0; index < source->count; ++index) {
    auto* from = static_cast<Entry*>(ios_array_at(source, sizeof(Entry), index));
    auto* to = static_cast<Entry*>(ios_array_push(destination, sizeof(Entry)));
    if (to == nullptr) {
      // The entries already moved must not stay behind twice.
      std::memmove(source->items, from, size_t{source->count - index} * sizeof(Entry));
      source->count -= index;
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    *to = *from;
    to->offset += offset;
  }
  source->count = 0;
  return 0;
}

// Range records name their first word start.
int moveRanges(IosArray* destination, IosArray* source, uint32_t offset, IosErrorCode* error) {
  for (uint32_t index = 0; index < source->count; ++index) {
    auto* from = static_cast<IosRange*>(ios_array_at(source, sizeof(IosRange), index));
    auto* to = static_cast<IosRange*>(ios_array_push(destination, sizeof(IosRange)));
    if (to == nullptr) {
      std::memmove(source->items, from, size_t{source->count - index} * sizeof(IosRange));
      source->count -= index;
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    *to = *from;
    to->start += offset;
  }
  source->count = 0;
  return 0;
}

// Replaces the expression of a slot; the slot's dependants follow it.
int replaceSlot(ExprSlotRef slot, ExprNode* node, IosErrorCode* error) {
  int status = ios_location_set(slot, node, error);
  expr_release(node);
  return status;
}

uint32_t sizeOf(IosHandle section) {
  uint32_t size = 0;
  if (ios_section_get_size(section, &size, nullptr) != 0) return 0;
  return size;
}

uint32_t widthOf(IosHandle section) {
  uint32_t bits = 0;
  ios_section_get_mau_size(section, &bits, nullptr);
  return bits;
}

uint32_t contentOf(const IosSection* record) {
  return (record->attributes >> IOS_SECTION_CONTENT_SHIFT) & IOS_SECTION_CONTENT_MASK;
}

bool holdsNoData(const IosSection* record) {
  uint32_t content = contentOf(record);
  return content == IOS_CONTENT_CLEARED || content == IOS_CONTENT_KIND4;
}

void widenAlignment(IosSection* destination, const IosSection* source) {
  if (static_cast<int32_t>(source->alignment) > static_cast<int32_t>(destination->alignment))
    destination->alignment = source->alignment;
}

}  // namespace

int ios_section_is_deleted(IosHandle section, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(section.file_id, section.object_id, &record, error) != 0) return 1;
  return (record->attributes & IOS_SECTION_DELETED_BIT) != 0 ? 1 : 0;
}

int ios_section_delete(uint32_t file_id, uint32_t section_id, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(IosHandle{file_id, section_id}, &record, error) != 0) return 1;
  record->attributes |= IOS_SECTION_DELETED_BIT;
  IosFile* file = nullptr;
  if (ios_get_file(record->handle.file_id, &file, nullptr) == 0 && file->sections != nullptr &&
      file->sections->live_count > 0)
    --file->sections->live_count;
  return 0;
}

int ios_image_move_into(IosHandle destination, uint32_t mau_size, uint32_t offset,
                        IosHandle source, uint32_t source_size, IosErrorCode* error) {
  IosImage* target = nullptr;
  IosImage* from = nullptr;
  if (ios_get_image(destination, &target, error) != 0 || ios_get_image(source, &from, error) != 0)
    return 1;
  if (target == from) return ios_fail(error, IOS_ERR_INTERNAL);
  if (mau_size > IOS_LARGEST_UNIT_BITS) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  uint64_t end = uint64_t{offset} + source_size;
  if (end > imageEnd(target)) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  for (uint32_t index = 0; index < target->segments.count; ++index) {
    IosSegment* segment = ios_segment_at(target, index);
    uint64_t segmentEnd = uint64_t{segment->first_unit} + segment->units;
    uint64_t first = offset > segment->first_unit ? offset : segment->first_unit;
    uint64_t last = end < segmentEnd ? end : segmentEnd;
    if (first >= last) continue;
    if (segment->buffer == nullptr &&
        ios_alloc_mau_buffer(segment->units, segment->mau_size, &segment->buffer, error) != 0)
      return 1;
    for (uint64_t unit = first; unit < last; ++unit) {
      uint64_t sourceUnit = unit - offset;
      // Source units past its image, or in a segment never written, are zeros.
      IosSegment* sourceSegment = ios_segment_at(from, static_cast<uint32_t>(sourceUnit >> IOS_SEGMENT_SHIFT));
      uint64_t value = 0;
      uint32_t element = static_cast<uint32_t>(sourceUnit & IOS_SEGMENT_MASK);
      if (sourceSegment != nullptr && element < sourceSegment->units)
        value = ios_segment_read_unit(sourceSegment, element);
      ios_segment_write_unit(segment, static_cast<uint32_t>(unit - segment->first_unit), value);
    }
  }
  for (uint32_t index = 0; index < from->segments.count; ++index) {
    IosSegment* segment = ios_segment_at(from, index);
    std::free(segment->buffer);
    segment->buffer = nullptr;
  }
  if (moveEntries<IosExprEntry>(&target->expressions, &from->expressions, offset, error) != 0 ||
      moveEntries<IosRelocEntry>(&target->relocations, &from->relocations, offset, error) != 0 ||
      moveRanges(&target->zero_ranges, &from->zero_ranges, offset, error) != 0 ||
      moveRanges(&target->plain_ranges, &from->plain_ranges, offset, error) != 0)
    return 1;
  return 0;
}

int ios_section_place_at(uint32_t source_file, uint32_t source_id, uint32_t offset,
                         uint32_t destination_file, uint32_t destination_id,
                         IosErrorCode* error) {
  IosHandle sourceHandle{source_file, source_id};
  IosHandle destinationHandle{destination_file, destination_id};
  IosSection* source = nullptr;
  IosSection* destination = nullptr;
  if (ios_get_section(sourceHandle, &source, error) != 0 ||
      ios_get_section(destinationHandle, &destination, error) != 0)
    return 1;
  if (ios_section_is_deleted(sourceHandle, nullptr) != 0 ||
      ios_section_is_deleted(destinationHandle, nullptr) != 0)
    return ios_fail(error, IOS_ERR_DELETED);
  // A section placed into itself would move its contents over themselves and then
  // redirect to itself.
  if (source == destination) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t sourceSize = sizeOf(source->handle);
  if (uint64_t{offset} + sourceSize > sizeOf(destination->handle))
    return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  uint32_t width = widthOf(destination->handle);
  if (widthOf(source->handle) != width) return ios_fail(error, IOS_ERR_MAU_SIZE_DIFFERS);
  if (source->image.object_id != 0 && destination->image.object_id != 0 &&
      ios_image_move_into(destination->image, width, offset, source->image, sourceSize, error) != 0)
    return 1;

  ExprLibContext* context = nullptr;
  if (ios_file_get_expr_context(destination->handle.file_id, &context, error) != 0) return 1;
  ExprNode* reference = nullptr;
  if (expr_new_node(context, &reference) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  reference->kind = EXPR_SLOT_REF;
  reference->payload.slot = destination->address_slot;
  ExprNode* address = reference;
  if (offset != 0) {
    ExprNode* distance = nullptr;
    if (objexpr_make_integer(context, &distance, offset) != 0) {
      expr_release(reference);
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    address = nullptr;
    int made = objexpr_make_operator(context, &address, EXPR_ADD, 2, reference, distance);
    expr_release(reference);
    expr_release(distance);
    if (made != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (replaceSlot(source->address_slot, address, error) != 0) return 1;
  if (ios_section_delete(source->handle.file_id, source->handle.object_id, error) != 0) return 1;
  source->redirect = destination->handle;
  return 0;
}

int ios_section_merge_into(IosHandle source, IosHandle destination, IosErrorCode* error) {
  IosSection* from = nullptr;
  IosSection* into = nullptr;
  if (ios_get_section(source, &from, error) != 0 || ios_get_section(destination, &into, error) != 0)
    return 1;
  if (!holdsNoData(into) && into->image.object_id == 0) return ios_fail(error, IOS_ERR_INTERNAL);
  if (from == into) return ios_fail(error, IOS_ERR_INTERNAL);
  widenAlignment(into, from);
  return ios_section_place_at(source.file_id, source.object_id, 0, destination.file_id,
                              destination.object_id, error);
}

int ios_section_append(IosHandle source, IosHandle destination, uint32_t* offset,
                       IosErrorCode* error) {
  IosSection* from = nullptr;
  IosSection* into = nullptr;
  if (ios_get_section(source, &from, error) != 0 || ios_get_section(destination, &into, error) != 0)
    return 1;
  if (from == into) return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t old = sizeOf(into->handle);
  uint32_t sourceSize = sizeOf(from->handle);
  if (into->image.object_id == 0 && !holdsNoData(into)) {
    // The new image covers the units the destination has, so a resize finds them.
    IosHandle image{};
    if (ios_image_create_for(into->handle.file_id, into->handle, widthOf(into->handle), old,
                             &image, error) != 0)
      return 1;
    into->image = image;
  }
  if (!holdsNoData(into) && ((from->image.object_id == 0 && sourceSize != 0) ||
                             (into->image.object_id == 0 && old != 0)))
    return ios_fail(error, IOS_ERR_INTERNAL);
  uint32_t alignment = from->alignment;
  uint32_t pad = alignment == 0 ? 0 : (alignment - old % alignment) % alignment;
  uint64_t placed = uint64_t{old} + pad;
  uint64_t newSize = placed + sourceSize;
  if (newSize > UINT32_MAX) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  if (ios_section_resize(into->handle.file_id, into->handle.object_id,
                         static_cast<uint32_t>(newSize), error) != 0)
    return 1;
  widenAlignment(into, from);
  if (into->image.object_id != 0) {
    // A gap that cannot be recorded or cleared would leave stale units between the
    // two contents: the append stops there, before the source is placed.
    IosFile* file = nullptr;
    IosImage* image = nullptr;
    IosRange* record = nullptr;
    if (ios_get_file(into->handle.file_id, &file, error) != 0 ||
        ios_get_image(into->image, &image, error) != 0 ||
        objsec_add_range(file->images, static_cast<int32_t>(newSize), old, pad, &record, error) != 0)
      return 1;
    record->length = pad;
    auto* range = static_cast<IosRange*>(ios_array_push(&image->zero_ranges, sizeof(IosRange)));
    if (range == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
    *range = IosRange{old, pad, pad};
    if (pad > 0 && ios_image_fill(into->image, widthOf(into->handle), old, 0, pad, error) != 0)
      return 1;
  }
  if (ios_section_place_at(source.file_id, source.object_id, static_cast<uint32_t>(placed),
                           destination.file_id, destination.object_id, error) != 0)
    return 1;
  if (offset != nullptr) *offset = static_cast<uint32_t>(placed);
  return 0;
}

int ios_section_resize(uint32_t file_id, uint32_t section_id, uint32_t size, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(IosHandle{file_id, section_id}, &record, error) != 0) return 1;
  uint32_t old = sizeOf(record->handle);
  if (record->image.object_id != 0 &&
      ios_image_resize(record->image, widthOf(record->handle), old, size, error) != 0)
    return 1;
  return ios_section_set_size(record->handle, size, error);
}
