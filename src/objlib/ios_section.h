// Sections of the object store and the location slots that hold their addresses,
// sizes and symbol values.
//
// A section records one output section: name, attribute fields, unit width,
// alignment, fixed address, number, image handle, and the address and size
// expressions, which live in location slots of the file's expression context so
// that they can stay symbolic until the producer evaluates them.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_types.h"

struct BlockPool;
struct IdTable;

// Attribute word fields.
inline constexpr uint32_t IOS_SECTION_TYPE_SHIFT = 0, IOS_SECTION_TYPE_MASK = 0xFu;
inline constexpr uint32_t IOS_SECTION_CLASS_SHIFT = 4, IOS_SECTION_CLASS_MASK = 0x7u;
inline constexpr uint32_t IOS_SECTION_ACCESS_SHIFT = 7, IOS_SECTION_ACCESS_MASK = 0x7u;
inline constexpr uint32_t IOS_SECTION_ACCESS_DEFAULT_SHIFT = 10,
                          IOS_SECTION_ACCESS_DEFAULT_MASK = 0x7u;
inline constexpr uint32_t IOS_SECTION_PLACEMENT_SHIFT = 13, IOS_SECTION_PLACEMENT_MASK = 0x3u;
inline constexpr uint32_t IOS_SECTION_CONTENT_SHIFT = 15, IOS_SECTION_CONTENT_MASK = 0x7u;
inline constexpr uint32_t IOS_SECTION_DELETED_BIT = 1u << 18;
inline constexpr uint32_t IOS_SECTION_FLAG19_BIT = 1u << 19;
inline constexpr uint32_t IOS_SECTION_MARKER_BIT = 1u << 20;
inline constexpr uint32_t IOS_SECTION_FLAG21_BIT = 1u << 21;

// Section types and contents as the setters store them.
enum IosSectionType : uint32_t {
  IOS_SECTION_TYPE_SPECIAL = 1,  // not allocated (debug-like)
  IOS_SECTION_TYPE_NORMAL = 3,
  IOS_SECTION_TYPE_NOTE = 14,
};
enum IosSectionContent : uint32_t {
  IOS_CONTENT_CODE = 1,
  IOS_CONTENT_KIND2 = 2,
  IOS_CONTENT_CLEARED = 3,
  IOS_CONTENT_KIND4 = 4,
};

inline constexpr uint32_t IOS_NUMBER_UNSET = 0xFFFFFFFFu;

struct IosSection {
  IosHandle handle;
  IosHandle redirect;  // object id above 0: every lookup continues at that section
  IosHandle name;
  IosHandle image;  // object id 0 until an image is made
  ExprSlotRef address_slot;
  ExprSlotRef size_slot;
  IosHandle group;  // object id 0 when in no group
  uint8_t mau_size;  // 0 = the file's default
  uint32_t attributes;
  uint32_t alignment;      // 0 = unset
  uint32_t fixed_address;  // write-once, 0 = unset
  uint32_t number;         // write-once, IOS_NUMBER_UNSET = unset
  IosHandle link;          // another section this one refers to; object id 0 = none
  IosHandle string2;       // further string handles; object id 0 = unset
  IosHandle string3;
  ExprSlotRef slot3;       // a third location slot, made on its first store
};

// A file's sections. Sections are never freed one by one, so id order is creation
// order and the table itself serves as the ordered section list.
struct IosSectionAdmin {
  BlockPool* pool;
  IdTable* sections;
  uint32_t live_count;
};

// Admin lifecycle, used by the file's creation and teardown; delete releases the
// slot references of every section. Null is ignored.
IosSectionAdmin* ios_section_admin_new();
void ios_section_admin_delete(IosSectionAdmin* admin);

// ---- Location slots (entries of the file's expression context) ----

// Appends a cleared slot {no expression, all ones, 0} to the context's slot table,
// growing it (from a minimum capacity) when full; out: {index, context}. Slot 0 is
// never handed out.
int ios_entry_array_push(ExprLibContext* context, ExprSlotRef* slot, IosErrorCode* error);
// Stores the node in the slot (null empties it), taking the new reference before
// dropping the old one, so storing the node already there is harmless.
int ios_location_set(ExprSlotRef slot, ExprNode* node, IosErrorCode* error);
// The node of the slot (no reference is taken); -1 with IOS_ERR_NO_PROPERTY when
// empty.
int ios_location_get(ExprSlotRef slot, ExprNode** node, IosErrorCode* error);
// Makes the slot hold a located value, slot base of the same context + offset, with
// no tree (what it held goes); ios_location_get makes the tree when asked.
// IOS_ERR_NO_EXPRESSION_SYMBOL for a base that is no other slot of the context.
int ios_location_set_located(ExprSlotRef slot, uint32_t base, uint32_t offset, IosErrorCode* error);
// The base slot index and offset of a located value; -1 with IOS_ERR_NO_PROPERTY
// when the slot holds none (empty, or a tree, also one made from the pair).
int ios_location_get_located(ExprSlotRef slot, uint32_t* base, uint32_t* offset, IosErrorCode* error);
// A copy of the expression in the target context with one reference for the
// caller; the node itself with one more reference when it already lives there.
int ios_location_derive(ExprLibContext* target, ExprNode* node, ExprNode** copy,
                        IosErrorCode* error);

// ---- Sections ----

// Creates a section: id = highest section id + 1; a new address slot unless an
// existing one is given to share (null: none), a new size slot; out: handle.
int ios_section_create(uint32_t file_id, const ExprSlotRef* shared_address, IosHandle* section,
                       IosErrorCode* error);
// Looks a section up, following redirections; 7 for no such section, 4 deleted.
int ios_get_section(IosHandle section, IosSection** record, IosErrorCode* error);
// Walks the file's sections in creation order: start with *cursor 0; each call
// gives the next live section and advances the cursor; at the end the handle's
// object id is 0 (status 0). Sections placed into another one are passed by.
int ios_section_next(uint32_t file_id, uint32_t* cursor, IosHandle* section,
                     IosErrorCode* error);
// Number of live sections of the file.
int ios_file_count_sections(uint32_t file_id, uint32_t* count, IosErrorCode* error);

// Name (overwriting; 37 for a string id below 1) and its getter (-1 with 2 unset).
int ios_section_set_name(IosHandle section, IosHandle name, IosErrorCode* error);
int ios_section_get_name(IosHandle section, IosHandle* name, IosErrorCode* error);
// The 8-bit unit width; the getter falls back to the file's default and returns -1
// without an error code when neither is set.
int ios_section_set_mau_size(IosHandle section, uint32_t bits, IosErrorCode* error);
int ios_section_get_mau_size(IosHandle section, uint32_t* bits, IosErrorCode* error);
// Alignment (overwriting); the getter gives 0 when unset.
int ios_section_set_alignment(IosHandle section, uint32_t alignment, IosErrorCode* error);
int ios_section_get_alignment(IosHandle section, uint32_t* alignment, IosErrorCode* error);
// Write-once fixed address (0 counts as unset; 6 for a different second value);
// the getter returns -1 with 2 when unset.
int ios_section_set_fixed_address(IosHandle section, uint32_t address, IosErrorCode* error);
int ios_section_get_fixed_address(IosHandle section, uint32_t* address, IosErrorCode* error);
// Write-once number (all ones counts as unset; 6); the getter returns -1 with 2
// when unset.
int ios_section_set_number(IosHandle section, uint32_t number, IosErrorCode* error);
int ios_section_get_number(IosHandle section, uint32_t* number, IosErrorCode* error);
// Group membership handle, overwriting; object id 0 = none. The getter copies the
// handle out and then returns -1 with 55 when it names no group.
int ios_section_set_group(IosHandle section, IosHandle group, IosErrorCode* error);
int ios_section_get_group(IosHandle section, IosHandle* group, IosErrorCode* error);
// The whole attribute word.
int ios_section_get_attributes(IosHandle section, uint32_t* attributes, IosErrorCode* error);

// Type := 3, 14 or 1; the getter returns -1 with 2 when 0.
int ios_section_set_type_normal(IosHandle section, IosErrorCode* error);
int ios_section_set_type_note(IosHandle section, IosErrorCode* error);
int ios_section_set_type_special(IosHandle section, IosErrorCode* error);
int ios_section_get_type(IosHandle section, uint32_t* type, IosErrorCode* error);
// Class := low three bits of the value; getter -1 with 2 when 0.
int ios_section_set_class(IosHandle section, uint32_t section_class, IosErrorCode* error);
int ios_section_get_class(IosHandle section, uint32_t* section_class, IosErrorCode* error);
// Access := 3 (read-write) or 2 (read-only), and the access default 1 or 2 when it
// is 0; the value argument is not used. The getter gives the signed field, -1 with
// 2 when all ones.
int ios_section_set_access_rw(IosHandle section, uint32_t unused, IosErrorCode* error);
int ios_section_set_access_ro(IosHandle section, uint32_t unused, IosErrorCode* error);
int ios_section_get_access(IosHandle section, int32_t* access, IosErrorCode* error);
// Access from the access default: 1 or 3 give 3, 2 gives 2, 5 to 7 leave it; -1
// with 2 when the default is 0 or 4.
int ios_section_access_from_default(IosHandle section, IosErrorCode* error);
// Placement field (1 or 2); getter -1 with 2 when 0.
int ios_section_set_placement(IosHandle section, uint32_t placement, IosErrorCode* error);
int ios_section_get_mode2(IosHandle section, uint32_t* placement, IosErrorCode* error);
// Content := 1, 2, 3, 4; getter -1 with 2 when 0.
int ios_section_set_content_code(IosHandle section, IosErrorCode* error);
int ios_section_set_content_kind2(IosHandle section, IosErrorCode* error);
int ios_section_set_content_cleared(IosHandle section, IosErrorCode* error);
int ios_section_set_content_kind4(IosHandle section, IosErrorCode* error);
int ios_section_get_content(IosHandle section, uint32_t* content, IosErrorCode* error);
// Marker := 1, and its reader (0 or 1).
int ios_section_set_marker_flag(IosHandle section, IosErrorCode* error);
int ios_section_get_marker_flag(IosHandle section, uint32_t* marker, IosErrorCode* error);
// Single-field setters by file and section id: marker = value bit 0; type = low
// four bits; content = low three bits; access = low three bits, with the access
// default derived (1 odd, 2 even) while it is 0.
int ios_section_set_bit4(uint32_t file_id, uint32_t section_id, uint32_t value,
                         IosErrorCode* error);
int ios_section_set_nibble(uint32_t file_id, uint32_t section_id, uint32_t value,
                           IosErrorCode* error);
int ios_section_set_field3(uint32_t file_id, uint32_t section_id, uint32_t value,
                           IosErrorCode* error);
int ios_section_set_mode(uint32_t file_id, uint32_t section_id, uint32_t value,
                         IosErrorCode* error);
// Marks the section deleted; lookups then fail with 4.
int ios_section_set_deleted(IosHandle section, IosErrorCode* error);
// Makes the section stand for another one; lookups continue there.
int ios_section_set_redirect(IosHandle section, IosHandle target, IosErrorCode* error);

// The address expression (the slot takes a reference; null empties it) and its
// getter (no reference taken; -1 with 2 when empty).
int ios_section_set_address_expr(IosHandle section, ExprNode* address, IosErrorCode* error);
int ios_section_get_address_expr(IosHandle section, ExprNode** address, IosErrorCode* error);
// The address slot itself, for expressions that refer to the section's address.
int ios_section_get_address_slot(IosHandle section, ExprSlotRef* slot, IosErrorCode* error);
// Stores an integer value node of the size (sign-extended) in the size slot; 1 when
// the file has no expression context.
int ios_section_set_size(IosHandle section, uint32_t size, IosErrorCode* error);
// Stores any size expression (the slot takes a reference).
int ios_section_set_size_expr(IosHandle section, ExprNode* size, IosErrorCode* error);
int ios_section_get_size_expr(IosHandle section, ExprNode** size, IosErrorCode* error);
// The size as an unsigned 32-bit number, evaluating the expression when it is not a
// value yet. -1 with 2 when no size is set; 1 with IOS_ERR_SECTION_SIZE_UNSET when
// the size does not evaluate to a value. Bits above 32 are dropped and mark the
// context with status 2.
int ios_section_get_size(IosHandle section, uint32_t* size, IosErrorCode* error);
// The image handle, copied out first; -1 with 33 when the section has none.
int ios_section_get_image(IosHandle section, IosHandle* image, IosErrorCode* error);
// *has = 1 when the section has an image, else 0 with 33 stored; status 0 in both
// cases.
int ios_section_has_image(IosHandle section, uint32_t* has, IosErrorCode* error);
