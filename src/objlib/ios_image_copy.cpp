#include <cstdlib>
#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_image_ops.h"
#include "objlib/ios_section.h"
#include "objlib/ios_section_ops.h"

namespace {

uint64_t maskOf(uint32_t bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

// The section's own unit width, else its file's default.
uint32_t widthOf(const IosSection* section) {
  if (section->mau_size != 0) return section->mau_size;
  IosFile* file = nullptr;
  return ios_get_file(section->handle.file_id, &file, nullptr) == 0 ? file->mau_size : 0;
}

// The count units of a section's image from unit 0, as words the caller frees. The
// windows go straight to the record's image, so a section found without following
// its redirection reads its own image.
int readUnits(const IosSection* section, uint32_t count, uint32_t** words, IosErrorCode* error) {
  *words = static_cast<uint32_t*>(std::calloc(count == 0 ? 1 : count, sizeof(uint32_t)));
  if (*words == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  if (count == 0) return 0;
  if (section->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  IosHandle data{};
  uint32_t* window = nullptr;
  if (ios_data_place(section->image, section->mau_size, 0, count, &data, error) != 0) return 1;
  if (ios_data_get_buffer(data, &window, error) != 0) return 1;
  std::memcpy(*words, window, size_t{count} * sizeof(uint32_t));
  return ios_data_delete(data, error);
}

// Writes the words into the units from 0 of the section's image.
int writeUnits(const IosSection* section, const uint32_t* words, uint32_t count,
               IosErrorCode* error) {
  if (count == 0) return 0;
  if (section->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  IosHandle data{};
  uint32_t* window = nullptr;
  if (ios_data_place(section->image, section->mau_size, 0, count, &data, error) != 0) return 1;
  if (ios_data_get_buffer(data, &window, error) != 0) return 1;
  std::memcpy(window, words, size_t{count} * sizeof(uint32_t));
  return ios_section_merge_data_raw(section->handle.file_id, section->handle.object_id,
                                    data.file_id, data.object_id, error);
}

int byteOrderOf(const IosSection* section, uint32_t* order, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(section->handle.file_id, &file, error) != 0) return 1;
  if (file->byte_order == IOS_BYTE_ORDER_UNSET) return ios_unset(error);
  *order = file->byte_order;
  return 0;
}

void swapImages(IosSection* first, IosSection* second) {
  IosHandle image = first->image;
  first->image = second->image;
  second->image = image;
}

}  // namespace

int ios_convert_units(const uint32_t* units, uint32_t count, uint32_t from_bits, uint32_t to_bits,
                      uint32_t byte_order, uint32_t** converted, uint32_t* converted_count,
                      IosErrorCode* error) {
  uint32_t pack = 1, split = 1;
  if (from_bits == to_bits || from_bits == 1) {
  } else if (to_bits == 1) {
    split = from_bits;
  } else if (from_bits < to_bits && to_bits % from_bits == 0) {
    pack = to_bits / from_bits;
  } else if (from_bits > to_bits && from_bits % to_bits == 0) {
    split = from_bits / to_bits;
  } else {
    return ios_fail(error, IOS_ERR_MAU_SIZE_DIFFERS);
  }
  uint64_t total = split > 1 ? uint64_t{count} * split : (uint64_t{count} + pack - 1) / pack;
  if (total > UINT32_MAX / sizeof(uint32_t)) return ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  auto* out = static_cast<uint32_t*>(std::calloc(total == 0 ? 1 : total, sizeof(uint32_t)));
  if (out == nullptr) return ios_fail(error, IOS_ERR_NO_MEMORY);
  for (uint64_t index = 0; index < total; ++index) {
    if (split > 1) {
      uint64_t value = units[index / split];
      uint32_t piece = static_cast<uint32_t>(index % split);
      if (byte_order == IOS_BYTE_ORDER_BIG) piece = split - 1 - piece;
      out[index] = static_cast<uint32_t>((value >> (uint64_t{piece} * to_bits)) & maskOf(to_bits));
    } else {
      uint64_t value = 0;
      for (uint32_t part = 0; part < pack; ++part) {
        uint64_t source = index * pack + part;
        uint64_t unit = source < count ? units[source] : 0;
        value = pack > 1 ? (value << from_bits) | (unit & maskOf(from_bits)) : unit;
      }
      out[index] = static_cast<uint32_t>(value);
    }
  }
  *converted = out;
  *converted_count = static_cast<uint32_t>(total);
  return 0;
}

int ios_section_copy_image(IosHandle target, IosHandle source, uint32_t count,
                           IosErrorCode* error) {
  IosSection* into = nullptr;
  IosSection* from = nullptr;
  if (ios_get_section(target, &into, error) != 0 || ios_get_section(source, &from, error) != 0)
    return 1;
  if (from->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  uint32_t targetBits = widthOf(into), sourceBits = widthOf(from);
  uint32_t* words = nullptr;
  if (readUnits(from, count, &words, error) != 0) {
    std::free(words);
    return 1;
  }
  uint32_t* converted = words;
  uint32_t convertedCount = count;
  if (targetBits != sourceBits && count != 0) {
    uint32_t order = 0;
    int known = byteOrderOf(into, &order, error);
    if (known != 0 ||
        ios_convert_units(words, count, sourceBits, targetBits, order, &converted, &convertedCount,
                          error) != 0) {
      std::free(words);
      return known < 0 ? -1 : 1;
    }
    std::free(words);
  }
  int status = 0;
  if (into->image.object_id == 0 && ios_section_create_image(target, nullptr, error) != 0)
    status = 1;
  if (status == 0) status = writeUnits(into, converted, convertedCount, error);
  std::free(converted);
  return status;
}

namespace {

// The exchange on two section records, however they were found. A section whose
// link names the target may be reached through the target's redirection.
int exchangeImages(IosSection* from, IosSection* into, uint32_t count, IosErrorCode* error) {
  uint32_t sourceBits = widthOf(from), targetBits = widthOf(into);
  bool sameNumber = from->number != IOS_NUMBER_UNSET && from->number == into->number;
  if (sameNumber) {
    if (sourceBits != targetBits) return ios_fail(error, IOS_ERR_MAU_SIZE_DIFFERS);
    swapImages(from, into);
    return 0;
  }
  IosSection* linked = nullptr;
  bool linksTarget =
      from->link.object_id >= 1 &&
      ((from->link.file_id == into->handle.file_id && from->link.object_id == into->handle.object_id) ||
       (ios_get_section(from->link, &linked, nullptr) == 0 && linked == into));
  if (!linksTarget) return ios_fail(error, IOS_ERR_INTERNAL);
  if (sourceBits == targetBits || count == 0) {
    swapImages(from, into);
    return 0;
  }
  if (from->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  uint32_t order = 0;
  uint32_t* words = nullptr;
  uint32_t* converted = nullptr;
  uint32_t convertedCount = 0;
  int known = byteOrderOf(into, &order, error);
  if (known != 0) return known;
  if (readUnits(from, count, &words, error) != 0 ||
      ios_convert_units(words, count, sourceBits, targetBits, order, &converted, &convertedCount,
                        error) != 0) {
    std::free(words);
    return 1;
  }
  std::free(words);
  swapImages(from, into);
  // The target now holds the source's former image: it is rebuilt in the target's
  // width and size before the converted units go in.
  int status = ios_image_resize(into->image, sourceBits, count, 0, error);
  if (status == 0) status = ios_image_resize(into->image, targetBits, 0, convertedCount, error);
  if (status == 0) {
    uint32_t size = 0;
    // The converted units must lie within the target section.
    if (ios_section_get_size_raw(into->handle.file_id, into->handle.object_id, &size, nullptr) !=
            0 ||
        size < convertedCount)
      status = ios_fail(error, IOS_ERR_DATA_TOO_LARGE);
  }
  if (status == 0) status = writeUnits(into, converted, convertedCount, error);
  std::free(converted);
  return status;
}

}  // namespace

int ios_section_exchange_images(IosHandle source, IosHandle target, uint32_t count,
                                IosErrorCode* error) {
  IosSection* from = nullptr;
  IosSection* into = nullptr;
  if (ios_get_section(source, &from, error) != 0 || ios_get_section(target, &into, error) != 0)
    return 1;
  return exchangeImages(from, into, count, error);
}

namespace {

uint32_t sizeOrZero(IosHandle section) {
  uint32_t size = 0;
  return ios_section_get_size(section, &size, nullptr) == 0 ? size : 0;
}

int copyInto(IosSection* source, const IosHandle* targets, IosErrorCode* error) {
  if (source->image.object_id == 0) return ios_fail(error, IOS_ERR_NO_IMAGE);
  for (uint32_t index = 0; targets != nullptr && targets[index].object_id != 0; ++index) {
    if (ios_section_copy_image(targets[index], source->handle, sizeOrZero(targets[index]),
                               error) != 0)
      return 1;
  }
  if (ios_image_delete(source->image, error) != 0) return 1;
  source->image.object_id = 0;
  return 0;
}

}  // namespace

int ios_section_copy_into(uint32_t file_id, uint32_t source_id, const IosHandle* targets,
                          IosErrorCode* error) {
  IosSection* source = nullptr;
  if (ios_get_section(IosHandle{file_id, source_id}, &source, error) != 0) return 1;
  return copyInto(source, targets, error);
}

int ios_section_copy_into_raw(uint32_t file_id, uint32_t source_id, const IosHandle* targets,
                              IosErrorCode* error) {
  IosSection* source = nullptr;
  if (ios_section_lookup_raw(file_id, source_id, &source, error) != 0) return 1;
  return copyInto(source, targets, error);
}

int ios_section_move_content(IosHandle source, IosHandle target, IosErrorCode* error) {
  if (ios_get_section(source, nullptr, error) != 0) return 1;
  return ios_section_exchange_images(source, target, sizeOrZero(source), error);
}

int ios_section_move_content_raw(uint32_t source_file_id, uint32_t source_id,
                                 uint32_t target_file_id, uint32_t target_id,
                                 IosErrorCode* error) {
  IosSection* from = nullptr;
  IosSection* into = nullptr;
  if (ios_section_lookup_raw(source_file_id, source_id, &from, error) != 0 ||
      ios_section_lookup_raw(target_file_id, target_id, &into, error) != 0)
    return 1;
  uint32_t size = 0;
  if (ios_section_get_size_raw(source_file_id, source_id, &size, nullptr) != 0) size = 0;
  return exchangeImages(from, into, size, error);
}
