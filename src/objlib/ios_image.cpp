#include "objlib/ios_image.h"

#include <cstdlib>
#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "util/RunState.h"

namespace {

// The word array that consecutive windows of one length share, so filling section
// after section does not allocate a word array each time.
struct ScratchArray {
  uint32_t* words;
  uint32_t length;
  bool free;
};
struct ScratchState {
  ScratchArray scratch{nullptr, 0, true};
  // A lent array belongs to its window, which frees it.
  ~ScratchState() {
    if (scratch.free) std::free(scratch.words);
  }
};
ScratchState& scratchState() { return runPart<ScratchState>(); }

constexpr uint32_t kLargestUnitBits = 64;

// Bytes a unit of the width takes in a buffer; widths of 0 count as bytes.
uint32_t unitBytes(uint32_t bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 32) return 4;
  return 8;
}

int compareDataIds(const void* a, const void* b) {
  uint32_t left = static_cast<const IosData*>(a)->handle.object_id;
  uint32_t right = static_cast<const IosData*>(b)->handle.object_id;
  return left < right ? -1 : (left > right ? 1 : 0);
}

IosSegment* segmentAt(IosImage* image, uint32_t index) {
  return static_cast<IosSegment*>(ios_array_at(&image->segments, sizeof(IosSegment), index));
}

int ensureBuffer(IosSegment* segment, IosErrorCode* error) {
  if (segment->buffer != nullptr) return 0;
  return ios_alloc_mau_buffer(segment->units, segment->mau_size, &segment->buffer, error);
}

// Clears count units from offset in whichever segments they fall. A segment without
// buffer holds zeros already and gets none: a large reserved range costs no memory.
int clearUnits(IosImage* image, uint32_t offset, uint32_t count, IosErrorCode*) {
  uint64_t end = uint64_t{offset} + count;
  for (uint32_t index = offset >> IOS_SEGMENT_SHIFT; index < image->segments.count; ++index) {
    IosSegment* segment = segmentAt(image, index);
    if (segment->first_unit >= end) break;
    if (segment->buffer == nullptr) continue;
    uint64_t from = offset > segment->first_unit ? offset : segment->first_unit;
    uint64_t segmentEnd = uint64_t{segment->first_unit} + segment->units;
    uint64_t to = end < segmentEnd ? end : segmentEnd;
    if (from >= to) continue;
    uint32_t bytes = unitBytes(segment->mau_size);
    std::memset(static_cast<unsigned char*>(segment->buffer) + (from - segment->first_unit) * bytes,
                0, (to - from) * bytes);
  }
  return 0;
}

// The section, its image and its size, with the offset + count check of every
// operation that records data.
int imageOfSection(IosHandle section, uint32_t offset, uint32_t count, IosSection** sectionRecord,
                   IosImage** image, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  uint32_t size = 0;
  int sized = ios_section_get_size(record->handle, &size, error);
  if (sized != 0) return sized < 0 ? 1 : sized;
  if (ios_get_image(record->image, image, error) != 0) return 1;
  if (int64_t{offset} + int64_t{count} > int64_t{static_cast<int32_t>(size)})
    return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  if (sectionRecord != nullptr) *sectionRecord = record;
  return 0;
}

void releaseWords(uint32_t* words) {
  if (words == nullptr) return;
  if (words == scratchState().scratch.words) {
    scratchState().scratch.free = true;
    return;
  }
  std::free(words);
  if (scratchState().scratch.free && scratchState().scratch.words != nullptr) {
    std::free(scratchState().scratch.words);
    scratchState().scratch = ScratchArray{nullptr, 0, true};
  }
}

// The window takes words in place of its own array; the scratch array handed in
// counts as lent, so no later window is given it while this one holds it.
void handWords(IosData* window, uint32_t* words) {
  if (words == window->words) return;
  if (words != nullptr && words == scratchState().scratch.words) scratchState().scratch.free = false;
  releaseWords(window->words);
  window->words = words;
}

// Word array for a window of length units, from the scratch array when it fits.
uint32_t* takeWords(uint32_t length) {
  if (scratchState().scratch.free && scratchState().scratch.words != nullptr && scratchState().scratch.length == length) {
    scratchState().scratch.free = false;
    return scratchState().scratch.words;
  }
  auto* words = static_cast<uint32_t*>(std::malloc(size_t{length} * sizeof(uint32_t)));
  if (words == nullptr) return nullptr;
  if (scratchState().scratch.free) std::free(scratchState().scratch.words);
  // A scratch array lent to an open window stays with that window.
  scratchState().scratch = ScratchArray{words, length, false};
  return words;
}

IosDataAdmin* dataAdminOf(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  if (file->data == nullptr) ios_fail(error, IOS_ERR_INTERNAL);
  return file->data;
}

void destroyWindow(void* data, void*) { releaseWords(static_cast<IosData*>(data)->words); }

}  // namespace

IosImageAdmin* ios_image_admin_new() {
  auto* admin = static_cast<IosImageAdmin*>(std::calloc(1, sizeof(IosImageAdmin)));
  if (admin == nullptr) return nullptr;
  admin->pool = pool_create(sizeof(IosImage));
  admin->images = idtab_new();
  if (admin->pool == nullptr || admin->images == nullptr) {
    ios_image_admin_delete(admin);
    return nullptr;
  }
  return admin;
}

void ios_image_admin_delete(IosImageAdmin* admin) {
  if (admin == nullptr) return;
  if (admin->images != nullptr) {
    for (uint32_t id = 1; id <= admin->images->highest_id; ++id) {
      auto* image = static_cast<IosImage*>(idtab_get(admin->images, id - 1));
      if (image == nullptr) continue;
      for (uint32_t index = 0; index < image->segments.count; ++index)
        std::free(segmentAt(image, index)->buffer);
      for (uint32_t index = 0; index < image->expressions.count; ++index) {
        expr_release(static_cast<IosExprEntry*>(
                         ios_array_at(&image->expressions, sizeof(IosExprEntry), index))
                         ->expression);
      }
      for (uint32_t index = 0; index < image->relocations.count; ++index) {
        expr_release(static_cast<IosRelocEntry*>(
                         ios_array_at(&image->relocations, sizeof(IosRelocEntry), index))
                         ->expression);
      }
      IosArray* arrays[] = {&image->segments, &image->expressions, &image->relocations,
                            &image->pairs_b,  &image->pairs_c,     &image->zero_ranges,
                            &image->plain_ranges};
      for (IosArray* array : arrays) ios_array_free(array);
    }
    idtab_delete(admin->images);
  }
  ios_array_free(&admin->ranges);
  pool_destroy(admin->pool);
  std::free(admin);
}

IosDataAdmin* ios_data_admin_new() {
  auto* admin = static_cast<IosDataAdmin*>(std::calloc(1, sizeof(IosDataAdmin)));
  if (admin == nullptr) return nullptr;
  admin->pool = pool_create(sizeof(IosData));
  if (admin->pool == nullptr) {
    std::free(admin);
    return nullptr;
  }
  return admin;
}

void ios_data_admin_delete(IosDataAdmin* admin) {
  if (admin == nullptr) return;
  admin->tree = avl_free_tree(admin->tree, destroyWindow, nullptr);
  pool_destroy(admin->pool);
  std::free(admin);
}

void ios_scratch_release() {
  if (!scratchState().scratch.free) return;
  std::free(scratchState().scratch.words);
  scratchState().scratch = ScratchArray{nullptr, 0, true};
}

int ios_alloc_mau_buffer(uint32_t units, uint32_t bits, void** buffer, IosErrorCode* error) {
  if (bits > kLargestUnitBits) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  if (buffer == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  void* made = std::calloc(units == 0 ? 1 : units, unitBytes(bits));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *buffer = made;
  return 0;
}

int ios_section_create_image(IosHandle section, IosHandle* image, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  uint32_t size = 0;
  int sized = ios_section_get_size(record->handle, &size, error);
  if (sized != 0) return sized;
  if (record->mau_size > kLargestUnitBits) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  // Sizes are signed 32-bit numbers to the producer; 2^31 units or more cannot be
  // written.
  if (static_cast<int32_t>(size) < 0) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  IosFile* file = nullptr;
  if (ios_get_file(record->handle.file_id, &file, error) != 0) return 1;
  IosImageAdmin* admin = file->images;
  if (admin == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  auto* made = static_cast<IosImage*>(pool_alloc_block(admin->pool));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(made, 0, sizeof *made);
  uint32_t id = idtab_next_id(admin->images);
  made->handle = IosHandle{record->handle.file_id, id};
  made->section = record->handle;
  for (uint32_t first = 0; first < size; first += IOS_SEGMENT_UNITS) {
    auto* segment = static_cast<IosSegment*>(ios_array_push(&made->segments, sizeof(IosSegment)));
    if (segment == nullptr) {
      ios_array_free(&made->segments);
      pool_free_block(made, admin->pool);
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    uint32_t left = size - first;
    *segment = IosSegment{first, left < IOS_SEGMENT_UNITS ? left : IOS_SEGMENT_UNITS,
                          record->mau_size, nullptr};
  }
  if (idtab_set(admin->images, id - 1, made) != 0) {
    ios_array_free(&made->segments);
    pool_free_block(made, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  record->image = made->handle;
  if (image != nullptr) *image = made->handle;
  return 0;
}

int ios_get_image(IosHandle image, IosImage** record, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(image.file_id, &file, error) != 0) return 1;
  if (file->images == nullptr) return ios_fail(error, IOS_ERR_NO_IMAGE);
  auto* found = static_cast<IosImage*>(idtab_get(file->images->images, image.object_id - 1));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_IMAGE);
  if (record != nullptr) *record = found;
  return 0;
}

namespace {

int imageOfSectionOnly(IosHandle section, IosImage** image, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  return ios_get_image(record->image, image, error);
}

template <typename Entry>
int getEntry(IosHandle image, IosArray IosImage::*table, uint32_t index, Entry* entry,
             IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  auto* found = static_cast<Entry*>(ios_array_at(&(record->*table), sizeof(Entry), index));
  if (found == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (entry != nullptr) *entry = *found;
  return 0;
}

}  // namespace

int ios_section_image_count_a(IosHandle section, uint32_t* count, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSectionOnly(section, &image, error) != 0) return 1;
  if (count != nullptr) *count = image->expressions.count;
  return 0;
}

int ios_section_image_count_b(IosHandle section, uint32_t* count, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSectionOnly(section, &image, error) != 0) return 1;
  if (count != nullptr) *count = image->relocations.count;
  return 0;
}

int ios_image_get_entry_a(IosHandle image, uint32_t index, IosExprEntry* entry,
                          IosErrorCode* error) {
  return getEntry(image, &IosImage::expressions, index, entry, error);
}

int ios_image_get_entry(IosHandle image, uint32_t index, IosRelocEntry* entry,
                        IosErrorCode* error) {
  return getEntry(image, &IosImage::relocations, index, entry, error);
}

int ios_image_get_entry_b(IosHandle image, uint32_t index, IosPairEntry* entry,
                          IosErrorCode* error) {
  return getEntry(image, &IosImage::pairs_b, index, entry, error);
}

int ios_image_get_entry_c(IosHandle image, uint32_t index, IosPairEntry* entry,
                          IosErrorCode* error) {
  return getEntry(image, &IosImage::pairs_c, index, entry, error);
}

namespace {

// The segment that holds the unit and the unit's place in it.
int findUnit(IosHandle image, uint32_t unit, IosSegment** segment, uint32_t* element,
             IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  *segment = segmentAt(record, unit >> IOS_SEGMENT_SHIFT);
  *element = unit & IOS_SEGMENT_MASK;
  if (*segment == nullptr || *element >= (*segment)->units)
    return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  return 0;
}

}  // namespace

int ios_image_get_data_entry(IosHandle image, uint32_t unit, void** storage,
                             uint32_t* units_left, IosErrorCode* error) {
  IosSegment* segment = nullptr;
  uint32_t element = 0;
  if (findUnit(image, unit, &segment, &element, error) != 0) return 1;
  if (ensureBuffer(segment, error) != 0) return 1;
  if (storage != nullptr)
    *storage = static_cast<unsigned char*>(segment->buffer) + size_t{element} *
                                                                  unitBytes(segment->mau_size);
  if (units_left != nullptr) *units_left = segment->units - element;
  return 0;
}

int ios_image_peek_data_entry(IosHandle image, uint32_t unit, const void** storage,
                              uint32_t* units_left, IosErrorCode* error) {
  IosSegment* segment = nullptr;
  uint32_t element = 0;
  if (findUnit(image, unit, &segment, &element, error) != 0) return 1;
  if (storage != nullptr)
    *storage = segment->buffer == nullptr
                   ? nullptr
                   : static_cast<const unsigned char*>(segment->buffer) +
                         size_t{element} * unitBytes(segment->mau_size);
  if (units_left != nullptr) *units_left = segment->units - element;
  return 0;
}

int ios_image_adopt_first_segment(IosHandle image, void* buffer, size_t bytes, IosErrorCode* error) {
  IosImage* record = nullptr;
  if (ios_get_image(image, &record, error) != 0) return 1;
  IosSegment* segment = segmentAt(record, 0);
  if (segment == nullptr || buffer == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (bytes < size_t{segment->units} * unitBytes(segment->mau_size)) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  std::free(segment->buffer);
  segment->buffer = buffer;
  return 0;
}

int ios_image_add_zeros(uint32_t file_id, uint32_t section_id, uint32_t offset, uint32_t count,
                        IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSection(IosHandle{file_id, section_id}, offset, count, nullptr, &image, error) != 0)
    return 1;
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return 1;
  IosRange* record = nullptr;
  if (file->images != nullptr &&
      objsec_add_range(file->images, INT32_MAX, offset, count, &record, error) != 0)
    return 1;
  if (record != nullptr) record->length = count;
  auto* range = static_cast<IosRange*>(ios_array_push(&image->zero_ranges, sizeof(IosRange)));
  if (range == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *range = IosRange{offset, count, count};
  if (count == 0) return 0;
  return clearUnits(image, offset, count, error);
}

int ios_section_add_plain_range(uint32_t file_id, uint32_t section_id, uint32_t offset,
                                uint32_t count, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSection(IosHandle{file_id, section_id}, offset, count, nullptr, &image, error) != 0)
    return 1;
  auto* range = static_cast<IosRange*>(ios_array_push(&image->plain_ranges, sizeof(IosRange)));
  if (range == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  *range = IosRange{offset, count, 0};
  return 0;
}

int ios_image_add_expression(IosHandle section, uint32_t offset, uint32_t units,
                             ExprNode* expression, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSection(section, offset, units, nullptr, &image, error) != 0) return 1;
  if (expression == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  auto* entry =
      static_cast<IosExprEntry*>(ios_array_push(&image->expressions, sizeof(IosExprEntry)));
  if (entry == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  ++expression->ref_count;
  *entry = IosExprEntry{offset, units, expression};
  return clearUnits(image, offset, units, error);
}

int ios_image_add_relocation(IosHandle section, uint32_t offset, uint32_t units,
                             ExprNode* expression, uint32_t type, uint32_t word1,
                             uint32_t word2, IosErrorCode* error) {
  IosImage* image = nullptr;
  if (imageOfSection(section, offset, units, nullptr, &image, error) != 0) return 1;
  if (expression == nullptr) return ios_fail(error, IOS_ERR_NO_EXPRESSION);
  auto* entry =
      static_cast<IosRelocEntry*>(ios_array_push(&image->relocations, sizeof(IosRelocEntry)));
  if (entry == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  ++expression->ref_count;
  *entry = IosRelocEntry{offset, units, type, expression, word1, word2};
  return 0;
}

int objsec_add_range(IosImageAdmin* admin, int32_t limit, uint32_t start, uint32_t size,
                     IosRange** record, IosErrorCode* error) {
  if (admin == nullptr) return ios_fail(error, IOS_ERR_INTERNAL);
  if (int64_t{static_cast<int32_t>(start)} + int64_t{static_cast<int32_t>(size)} > limit)
    return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  auto* made = static_cast<IosRange*>(ios_array_push(&admin->ranges, sizeof(IosRange)));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  made->start = start;
  made->count = size;
  // The record lives in a growable table, so its address holds only until the next
  // range is added.
  if (record != nullptr) *record = made;
  return 0;
}

int ios_section_add_data(IosHandle section, uint32_t start, uint32_t units, IosHandle* data,
                         IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  if (record->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  if (units == 0) {
    int sized = ios_section_get_size(record->handle, &units, error);
    if (sized != 0) return sized;
  }
  return ios_data_place(record->image, record->mau_size, start, units, data, error);
}

int ios_data_place(IosHandle image, uint32_t mau_size, uint32_t first_unit, uint32_t units,
                   IosHandle* data, IosErrorCode* error) {
  IosImage* imageRecord = nullptr;
  if (ios_get_image(image, &imageRecord, error) != 0) return 1;
  if (mau_size > kLargestUnitBits) return ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
  IosDataAdmin* admin = dataAdminOf(image.file_id, error);
  if (admin == nullptr) return 1;
  auto* window = static_cast<IosData*>(pool_alloc_block(admin->pool));
  if (window == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  std::memset(window, 0, sizeof *window);
  window->handle = IosHandle{image.file_id, admin->counter + 1};
  if (units != 0) {
    window->words = takeWords(units);
    if (window->words == nullptr) {
      pool_free_block(window, admin->pool);
      return ios_fail(error, IOS_ERR_NO_MEMORY);
    }
    uint64_t end = uint64_t{first_unit} + units;
    for (uint32_t index = first_unit >> IOS_SEGMENT_SHIFT; index < imageRecord->segments.count;
         ++index) {
      IosSegment* segment = segmentAt(imageRecord, index);
      if (segment->first_unit >= end) break;
      if (ensureBuffer(segment, error) != 0) {
        releaseWords(window->words);
        pool_free_block(window, admin->pool);
        return 1;
      }
      uint64_t from = first_unit > segment->first_unit ? first_unit : segment->first_unit;
      uint64_t segmentEnd = uint64_t{segment->first_unit} + segment->units;
      uint64_t to = end < segmentEnd ? end : segmentEnd;
      uint32_t* word = window->words + (from - first_unit);
      uint32_t element = static_cast<uint32_t>(from - segment->first_unit);
      uint32_t count = static_cast<uint32_t>(to > from ? to - from : 0);
      switch (unitBytes(segment->mau_size)) {
        case 1: {
          auto* source = static_cast<const uint8_t*>(segment->buffer) + element;
          for (uint32_t i = 0; i < count; ++i) word[i] = source[i];
          break;
        }
        case 2: {
          auto* source = static_cast<const uint16_t*>(segment->buffer) + element;
          for (uint32_t i = 0; i < count; ++i) word[i] = source[i];
          break;
        }
        case 4: std::memcpy(word, static_cast<const uint32_t*>(segment->buffer) + element,
                            size_t{count} * 4);
          break;
        default: {
          auto* source = static_cast<const uint64_t*>(segment->buffer) + element;
          for (uint32_t i = 0; i < count; ++i) word[i] = static_cast<uint32_t>(source[i]);
          break;
        }
      }
    }
    // Words past the image's end (a window longer than the section) start as zero.
    uint64_t imageEnd = 0;
    if (imageRecord->segments.count != 0) {
      IosSegment* last = segmentAt(imageRecord, imageRecord->segments.count - 1);
      imageEnd = uint64_t{last->first_unit} + last->units;
    }
    if (end > imageEnd) {
      uint64_t from = first_unit > imageEnd ? first_unit : imageEnd;
      std::memset(window->words + (from - first_unit), 0, (end - from) * sizeof(uint32_t));
    }
    window->image = image;
    window->first_unit = first_unit;
    window->units = units;
  }
  int inserted = 0;
  admin->tree = avl_insert(admin->tree, window, compareDataIds, &inserted);
  if (inserted == 0) {
    releaseWords(window->words);
    pool_free_block(window, admin->pool);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  ++admin->counter;
  if (data != nullptr) *data = window->handle;
  return 0;
}

int ios_get_data(IosHandle data, IosData** record, IosErrorCode* error) {
  IosDataAdmin* admin = dataAdminOf(data.file_id, error);
  if (admin == nullptr) return 1;
  IosData key{};
  key.handle = data;
  auto* found = static_cast<IosData*>(avl_find(admin->tree, &key, compareDataIds));
  if (found == nullptr) return ios_fail(error, IOS_ERR_NO_DATA);
  if (record != nullptr) *record = found;
  return 0;
}

int ios_data_set_buffer(uint32_t file_id, uint32_t data_id, uint32_t* buffer,
                        IosErrorCode* error) {
  IosData* record = nullptr;
  if (ios_get_data(IosHandle{file_id, data_id}, &record, error) != 0) return 1;
  handWords(record, buffer);
  return 0;
}

int ios_data_set_fields(uint32_t file_id, uint32_t data_id, uint32_t* buffer,
                        uint32_t image_file_id, uint32_t image_id, uint32_t first_unit,
                        uint32_t units, IosErrorCode* error) {
  IosData* record = nullptr;
  if (ios_get_data(IosHandle{file_id, data_id}, &record, error) != 0) return 1;
  handWords(record, buffer);
  record->image = IosHandle{image_file_id, image_id};
  record->first_unit = first_unit;
  record->units = units;
  return 0;
}

int ios_data_get_buffer(IosHandle data, uint32_t** words, IosErrorCode* error) {
  IosData* record = nullptr;
  if (ios_get_data(data, &record, error) != 0) return 1;
  if (words != nullptr) *words = record->words;
  return 0;
}

namespace {

int windowOfRecord(const IosSection* record, IosHandle data, IosData** window, IosImage** image,
                   IosErrorCode* error) {
  if (ios_get_data(data, window, error) != 0) return 1;
  if (record->image.object_id == 0 || (*window)->image.file_id != record->image.file_id ||
      (*window)->image.object_id != record->image.object_id)
    return ios_fail(error, IOS_ERR_NO_IMAGE);
  return ios_get_image(record->image, image, error);
}

int windowOfSection(IosHandle section, IosHandle data, IosData** window, IosImage** image,
                    IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  return windowOfRecord(record, data, window, image, error);
}

int mergeWindow(const IosSection* record, IosHandle data, IosErrorCode* error) {
  IosData* window = nullptr;
  IosImage* image = nullptr;
  if (windowOfRecord(record, data, &window, &image, error) != 0) return 1;
  int status = 0;
  uint64_t end = uint64_t{window->first_unit} + window->units;
  for (uint32_t index = window->first_unit >> IOS_SEGMENT_SHIFT; index < image->segments.count;
       ++index) {
    IosSegment* segment = segmentAt(image, index);
    if (segment->first_unit > end) break;
    if (segment->mau_size > kLargestUnitBits) {
      status = ios_fail(error, IOS_ERR_MAU_SIZE_RANGE);
      break;
    }
    if (ensureBuffer(segment, error) != 0) {
      status = 1;
      break;
    }
    uint64_t from =
        window->first_unit > segment->first_unit ? window->first_unit : segment->first_unit;
    uint64_t segmentEnd = uint64_t{segment->first_unit} + segment->units;
    uint64_t to = end < segmentEnd ? end : segmentEnd;
    if (from >= to) continue;
    const uint32_t* word = window->words + (from - window->first_unit);
    uint32_t element = static_cast<uint32_t>(from - segment->first_unit);
    uint32_t count = static_cast<uint32_t>(to - from);
    switch (unitBytes(segment->mau_size)) {
      case 1: {
        auto* target = static_cast<uint8_t*>(segment->buffer) + element;
        for (uint32_t i = 0; i < count; ++i) target[i] = static_cast<uint8_t>(word[i]);
        break;
      }
      case 2: {
        auto* target = static_cast<uint16_t*>(segment->buffer) + element;
        for (uint32_t i = 0; i < count; ++i) target[i] = static_cast<uint16_t>(word[i]);
        break;
      }
      case 4:
        std::memcpy(static_cast<uint32_t*>(segment->buffer) + element, word, size_t{count} * 4);
        break;
      default: {
        auto* target = static_cast<uint64_t*>(segment->buffer) + element;
        for (uint32_t i = 0; i < count; ++i) target[i] = word[i];
        break;
      }
    }
  }
  IosErrorCode ignored = IOS_ERR_NO_MEMORY;
  ios_data_delete(data, status != 0 ? &ignored : error);
  return status;
}

}  // namespace

int ios_section_merge_data_raw(uint32_t file_id, uint32_t section_id, uint32_t data_file_id,
                               uint32_t data_id, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_section_lookup_raw(file_id, section_id, &record, error) != 0) return 1;
  return mergeWindow(record, IosHandle{data_file_id, data_id}, error);
}

int ios_section_merge_data(IosHandle section, IosHandle data, IosErrorCode* error) {
  IosSection* record = nullptr;
  if (ios_get_section(section, &record, error) != 0) return 1;
  return mergeWindow(record, data, error);
}

int ios_section_remove_data(IosHandle section, IosHandle data, IosErrorCode* error) {
  IosData* window = nullptr;
  IosImage* image = nullptr;
  if (windowOfSection(section, data, &window, &image, error) != 0) return 1;
  return ios_data_delete(data, error);
}

int ios_data_delete(IosHandle data, IosErrorCode* error) {
  IosDataAdmin* admin = dataAdminOf(data.file_id, error);
  if (admin == nullptr) return 1;
  IosData key{};
  key.handle = data;
  auto* window = static_cast<IosData*>(avl_find(admin->tree, &key, compareDataIds));
  if (window == nullptr) return ios_fail(error, IOS_ERR_NO_DATA);
  int found = 0;
  admin->tree = avl_delete(admin->tree, window, compareDataIds, nullptr, nullptr, &found);
  releaseWords(window->words);
  window->words = nullptr;
  pool_free_block(window, admin->pool);
  return 0;
}
