// Combining sections as a linking step does: placing one inside another at a unit
// offset, appending after an alignment gap, merging at offset 0, and resizing. The
// placed section's contents, entries and ranges move into the destination shifted by
// the offset; its address becomes the destination's plus the offset, and it is
// deleted and redirected, so later lookups of it land on the destination.
// Conventions as in ios_types.h.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

// 1 when the file or the section record is missing (looked up without following a
// redirection), else its deleted bit.
int ios_section_is_deleted(IosHandle section, IosErrorCode* error);
// Sets the deleted bit: walks and the live count no longer see the section.
int ios_section_delete(uint32_t file_id, uint32_t section_id, IosErrorCode* error);

// Moves the source image's units, entries and ranges into the destination image at
// the unit offset. 35 when the destination image does not cover offset + size, 53.
int ios_image_move_into(IosHandle destination, uint32_t mau_size, uint32_t offset,
                        IosHandle source, uint32_t source_size, IosErrorCode* error);

// Places the source inside the destination at the offset: 4 when either is deleted,
// 1 for a section placed into itself, 35 when offset + size passes the destination's
// size, 36 for different unit widths.
int ios_section_place_at(uint32_t source_file, uint32_t source_id, uint32_t offset,
                         uint32_t destination_file, uint32_t destination_id,
                         IosErrorCode* error);
// Places at offset 0 after widening the destination's alignment; 1 when the
// destination neither has an image nor holds cleared or kind-4 content.
int ios_section_merge_into(IosHandle source, IosHandle destination, IosErrorCode* error);
// Appends the source after the destination's end and a gap up to the source's
// alignment, recorded as a fill range whose units are zero; out: the offset. 35 when
// the new size passes 32 bits.
int ios_section_append(IosHandle source, IosHandle destination, uint32_t* offset,
                       IosErrorCode* error);
// Resizes the section's image and replaces its size expression.
int ios_section_resize(uint32_t file_id, uint32_t section_id, uint32_t size, IosErrorCode* error);
