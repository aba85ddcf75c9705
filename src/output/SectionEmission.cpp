// Sections into the object store: one store section per assembler section that has
// contents, with its attributes, size and a cleared unit buffer that the flow nodes
// then fill in place.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "flow/DataEncoder.h"
#include "flow/FAlign.h"
#include "flow/FLoad.h"
#include "flow/FStorage.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "isa/FSimpleRun.h"
#include "flow/Symbol.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_group.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "output/ObjectFile.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

// Store attribute values of a section's contents and access.
enum Content { kContentCode, kContentKind2, kContentCleared, kContentKind4 };
enum Access { kAccessNone, kAccessReadOnly, kAccessReadWrite };

struct SectionKind {
  Content content;
  Access access;
  bool image;
  bool missingFlags;  // neither code, data nor debug: E151
};

SectionKind classify(const Section::SectionFlags& flags) {
  Access dataAccess = flags.isRom() ? kAccessReadOnly : kAccessReadWrite;
  if (flags.isData()) {
    if (flags.isClear()) return {kContentCleared, dataAccess, false, false};
    if (flags.isInit() || flags.isRom()) return {kContentKind2, dataAccess, true, false};
    return {kContentKind4, dataAccess, false, false};
  }
  if (flags.isCode()) {
    Access access = flags.isInit() ? kAccessReadWrite : flags.isNoRead() ? kAccessNone : kAccessReadOnly;
    return {kContentCode, access, true, false};
  }
  if (flags.isDebug()) return {kContentKind2, kAccessReadOnly, true, false};
  return {kContentCode, kAccessReadWrite, true, true};
}

int setContent(IosHandle handle, Content content, IosErrorCode* error) {
  switch (content) {
    case kContentCode: return ios_section_set_content_code(handle, error);
    case kContentKind2: return ios_section_set_content_kind2(handle, error);
    case kContentCleared: return ios_section_set_content_cleared(handle, error);
    case kContentKind4: return ios_section_set_content_kind4(handle, error);
  }
  return 0;
}

int setAccess(IosHandle handle, Access access, IosErrorCode* error) {
  switch (access) {
    case kAccessNone: return 0;
    case kAccessReadOnly: return ios_section_set_access_ro(handle, 0, error);
    case kAccessReadWrite: return ios_section_set_access_rw(handle, 0, error);
  }
  return 0;
}

// Class 2 sections of one name are concatenated by the linker; class 3 stay apart.
uint32_t sectionClass(const Section& section) {
  const Section::SectionFlags& flags = section.flags;
  if (flags.isMax()) return 4;
  if (section.hasAddress) return 3;
  if (flags.isDebug() || flags.isConcat()) return 2;
  return orbaOptions()->concatenateSections ? 2 : 3;
}

// Besides its size bound (kSectionUnitLimit), a section ends at or below address
// 0xFFFFFFFF.
constexpr uint64_t kAddressSpaceEnd = uint64_t{1} << 32;

// The units a node takes at offset when the section is measured past its bound. A
// .SPACE, .LOAD or .ALIGN gives all it asks for, more than its layout could keep;
// the others are sized at the offset's low 32 bits, which keeps the padding of
// aligned labels and instructions.
uint64_t measuredUnits(FlowNode* node, Section* section, uint64_t offset) {
  if (node->kind == FlowNode::kAlign)
    return static_cast<uint64_t>(
        std::max<int64_t>(0, static_cast<FAlign*>(node)->paddingAt(section, static_cast<int64_t>(offset))));
  if (node->kind == FlowNode::kStorage)
    return static_cast<uint64_t>(std::max<int64_t>(0, static_cast<FStorage*>(node)->requestedUnits()));
  if (node->kind == FlowNode::kLoad) return static_cast<uint64_t>(static_cast<FLoad*>(node)->requestedUnits());
  int32_t nodeSize = node->computeSize(section, static_cast<uint32_t>(offset));
  return nodeSize > 0 ? static_cast<uint64_t>(nodeSize) : 0;
}

// E110 at the line of the first node that runs past either bound, false then; the
// section's line when no node can be blamed. A section past its unit bound is
// measured node by node in 64 bits, as its layout stopped counting at the bound.
bool sectionFits(Section* section, uint64_t base) {
  uint64_t size = section->size;
  // A start address beyond the address space has drawn E104 already.
  if (size < kSectionUnitLimit && (base + size <= kAddressSpaceEnd || base >= kAddressSpaceEnd)) return true;
  uint64_t limit = std::min(kSectionUnitLimit - 1, kAddressSpaceEnd - std::min(base, kAddressSpaceEnd));
  LineInfo* blamed = nullptr;
  uint64_t offset = 0;
  // The largest part of a section that reset nodes divide.
  uint64_t measured = 0;
  for (Section::FlowIter nodes(*section); !nodes.isDone(); nodes.next()) {
    FlowNode* node = nodes.current();
    if (node->kind == FlowNode::kReset) {
      measured = std::max(measured, offset);
      offset = 0;
    }
    if (node->kind == FlowNode::kSimpleRun) {
      // The instruction of the run that passes the bound is blamed, as its own node would be.
      const auto& run = static_cast<const FSimpleRun&>(*node);
      const uint32_t unitBits = section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8u;
      for (FSimpleRun::Cursor entries(run); !entries.isDone(); entries.next()) {
        offset += FSimpleRun::unitsOf(entries.item(), unitBits);
        if (offset > limit && !blamed) {
          // A lean entry keeps no line: a record of where its line stood stands for it,
          // which a diagnostic prints as it would the line.
          const FSimpleRun::Item& item = entries.item();
          if (item.line) {
            blamed = const_cast<LineInfo*>(item.line);
          } else {
            blamed = new LineInfo();
            blamed->sourceFile = item.sourceFile();
            blamed->lineNumber = item.lineNumber();
          }
        }
      }
      continue;
    }
    offset += measuredUnits(node, section, offset);
    if (offset > limit && !blamed && node->line) blamed = node->line;
  }
  measured = std::max(measured, offset);
  if (!blamed) blamed = section->line;
  if (size >= kSectionUnitLimit) {
    section->reportTooLarge(blamed, std::max(size, measured));
    return false;
  }
  char text[256];
  const char* name = section->getName() ? section->getName() : "";
  std::snprintf(text, sizeof text,
                "section \"%s\" too large: 0x%" PRIX64 " bytes at address 0x%" PRIX64 " end past 0xFFFFFFFF",
                name, size, base);
  errorHandler()->report(E_error, blamed, text);
  return false;
}

// The units the store holds as zero data (reserved space), merged into ranges in
// address order; none when a reset node lets a later part of the section write over
// them.
std::vector<std::pair<uint64_t, uint64_t>> reservedRanges(const Section& section, IosHandle storeImage) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (Section::FlowIter nodes(section); !nodes.isDone(); nodes.next())
    if (nodes.current()->kind == FlowNode::kReset) return ranges;
  IosImage* image = nullptr;
  if (ios_get_image(storeImage, &image, nullptr) != 0) return ranges;
  for (uint32_t index = 0; index < image->zero_ranges.count; ++index) {
    const auto* range = static_cast<const IosRange*>(ios_array_at(&image->zero_ranges, sizeof(IosRange), index));
    if (range->count > 0) ranges.emplace_back(range->start, uint64_t{range->start} + range->count);
  }
  std::sort(ranges.begin(), ranges.end());
  size_t merged = 0;
  for (const auto& range : ranges) {
    if (merged > 0 && range.first <= ranges[merged - 1].second)
      ranges[merged - 1].second = std::max(ranges[merged - 1].second, range.second);
    else
      ranges[merged++] = range;
  }
  ranges.resize(merged);
  return ranges;
}

// Whether [first, end) lies inside one of the merged ranges.
bool withinRanges(const std::vector<std::pair<uint64_t, uint64_t>>& ranges, uint64_t first, uint64_t end) {
  auto after = std::upper_bound(ranges.begin(), ranges.end(), std::make_pair(first, UINT64_MAX));
  return after != ranges.begin() && std::prev(after)->second >= end;
}

// The section's fixed start address when it has one that is an integer.
bool fixedAddress(Section* section, uint64_t* address) {
  if (!section->hasAddress || !section->baseExpression()) return false;
  OrbaExpression* value = section->baseExpression()->evaluate();
  if (!value || value->isError() || value->getKind() != EK_integer) return false;
  *address = static_cast<uint64_t>(value->getInteger());
  return true;
}

// In an executable every placed section owns its addresses: E110 at the line of
// each section that starts inside one placed below it, naming both.
void reportOverlappingSections() {
  struct Placed {
    uint64_t start;
    uint64_t end;
    Section* section;
  };
  std::vector<Placed> placed;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    uint64_t start = 0;
    if (section == placeholderSection() || section->size == 0 || !fixedAddress(section, &start)) continue;
    placed.push_back({start, start + section->size, section});
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.start < b.start; });
  // The section reaching furthest so far: a small one inside a large one, and any
  // after it, are caught as well.
  const Placed* reaching = nullptr;
  for (const Placed& current : placed) {
    if (reaching && current.start < reaching->end) {
      char text[512];
      std::snprintf(text, sizeof text,
                    "section \"%s\" at 0x%" PRIX64 " overlaps section \"%s\" at 0x%" PRIX64 " to 0x%" PRIX64,
                    current.section->getName() ? current.section->getName() : "", current.start,
                    reaching->section->getName() ? reaching->section->getName() : "", reaching->start,
                    reaching->end - 1);
      errorHandler()->report(E_error, current.section->line, text);
    }
    if (!reaching || current.end > reaching->end) reaching = &current;
  }
}

}  // namespace

void ObjectFile::writeSection(Section* section) {
  if (section->objectHandle[1] != 0 || section == placeholderSection() || section->nodeCount() == 0) return;
  IosErrorCode error = IOS_ERR_INTERNAL;

  // The section shares its address slot with its symbol, so the section's address
  // and the symbol's value are one location.
  const ExprSlotRef* sharedSlot = nullptr;
  ExprSlotRef symbolSlot = {0, nullptr};
  if (Symbol* symbol = section->sectionSymbol) {
    emitObjectSymbol(symbol, 0);
    SymbolRecord& record = recordOf(symbol);
    if (record.registered) {
      symbolSlot = {record.slot, objectExprContext()};
      sharedSlot = &symbolSlot;
    }
  }
  // The symbol's emission may have written the section already.
  if (section->objectHandle[1] != 0) return;

  IosHandle handle = {0, 0};
  check(ios_section_create(fileId, sharedSlot, &handle, &error), error);
  section->objectHandle[0] = handle.file_id;
  section->objectHandle[1] = handle.object_id;

  IosHandle name = {fileId, addString(section->getName() ? section->getName() : "")};
  check(ios_section_set_name(handle, name, &error), error);
  check(ios_section_set_mau_size(handle, static_cast<uint32_t>(section->mauBits), &error), error);
  check(ios_section_set_number(handle, section->number, &error), error);
  check(ios_section_set_alignment(handle, section->alignment, &error), error);

  // An address that is not an integer drew E188 when the section was finished; the
  // producer could not place the section at it.
  OrbaExpression* simplified =
      section->hasAddress && section->baseExpression() ? section->baseExpression()->evaluate() : nullptr;
  uint64_t baseAddress = 0;
  if (simplified && !simplified->isError() && simplified->getKind() == EK_integer) {
    OrbaExpression* base = simplified;
    baseAddress = static_cast<uint64_t>(base->getInteger());
    ExprNode* address = emitExpressionValue(base, *this, section->line, 0);
    int failed = ios_section_set_address_expr(handle, address, &error);
    expr_release(address);
    check(failed, error);
  }

  joinSectionGroup(section, handle);
  setSectionAttributes(section, handle.object_id);

  if (section->flags.isProtect()) check(ios_section_set_marker_flag(handle, &error), error);
  check(ios_section_set_size(handle, section->size, &error), error);
  if (orbaOptions()->asmDebugInfo && !section->flags.isDebug() && module[2] > 0) describeAsmSection(section, handle);

  // A section too large is written without contents: they would only take the
  // memory of its image, and the run has failed anyway.
  if (!sectionFits(section, baseAddress) && section->size >= kSectionUnitLimit) {
    unfitSections_.push_back(section);
    return;
  }
  if (classify(section->flags).image) {
    IosHandle storeImage = {0, 0};
    check(ios_section_create_image(handle, &storeImage, &error), error);
    if (section->size > 0) {
      size_t bytes = static_cast<size_t>(section->size) * imageUnitBytes(section->mauBits);
      auto* buffer = static_cast<uint8_t*>(std::calloc(bytes, 1));
      if (!buffer) storeFailed(IOS_ERR_NO_MEMORY);
      ImageBuffer& kept = images_[section];
      kept.bytes.reset(buffer);
      kept.storeImage = storeImage;
      section->image = buffer;
    }
  }
}

void ObjectFile::setSectionAttributes(Section* section, uint32_t sectionId) {
  IosHandle handle = {fileId, sectionId};
  IosErrorCode error = IOS_ERR_INTERNAL;
  SectionKind kind = classify(section->flags);
  if (kind.missingFlags) {
    errorHandler()->report(E_missing_section_flag_type, section->line, section->getDisplayName());
    check(setAccess(handle, kind.access, &error), error);
    check(setContent(handle, kind.content, &error), error);
  } else {
    check(setContent(handle, kind.content, &error), error);
    check(setAccess(handle, kind.access, &error), error);
  }

  if (section->flags.isDebug()) {
    const char* name = section->getName();
    if (name && std::strcmp(name, ".note") == 0)
      check(ios_section_set_type_note(handle, &error), error);
    else
      check(ios_section_set_type_special(handle, &error), error);
  } else {
    check(ios_section_set_type_normal(handle, &error), error);
  }
  check(ios_section_set_class(handle, sectionClass(*section), &error), error);
}

void ObjectFile::describeAsmSection(Section* section, IosHandle handle) {
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosDebugHandle record = {0, 0, 0};
  check(ios_asm_section_create({module[0], module[1], module[2]}, &record, &error), error);
  // The record names its section by the store section's handle.
  check(ios_asm_section_set_name(record, handle, &error), error);
  const Section::SectionFlags& flags = section->flags;
  if (flags.isCode())
    check(ios_asm_section_set_kind_code(record, &error), error);
  else if (flags.isRom())
    check(ios_asm_section_set_kind_bss(record, &error), error);
  else
    check(ios_asm_section_set_kind_data(record, &error), error);
}

IosHandle ObjectFile::findSectionGroup(const std::string& key) const {
  auto found = groups_.find(key);
  return found == groups_.end() ? IosHandle{0, 0} : found->second;
}

IosHandle ObjectFile::createSectionGroup(const std::string& key, const char* name) {
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosHandle group = {0, 0};
  check(ios_group_create(fileId, {fileId, addString(name)}, &group, &error), error);
  groups_[key] = group;
  return group;
}

void ObjectFile::joinSectionGroup(Section* section, IosHandle handle) {
  // A cluster names the group; a link-once section without one goes into the group
  // of its key, which the linker keeps once. The keys live apart from the cluster
  // names so that a key never joins a cluster of the same spelling.
  std::string key;
  const char* name = nullptr;
  if (section->clusterName && *section->clusterName) {
    key = section->clusterName;
    name = section->clusterName;
  } else if (section->linkOnceKey && *section->linkOnceKey) {
    key = std::string(1, '\0') + section->linkOnceKey;
    name = section->linkOnceKey;
  } else {
    return;
  }
  IosHandle group = findSectionGroup(key);
  if (group.object_id == 0) group = createSectionGroup(key, name);
  IosErrorCode error = IOS_ERR_INTERNAL;
  check(ios_section_add_to_group(group, handle, &error), error);
}

void ObjectFile::commitImage(Section& section) {
  auto found = images_.find(&section);
  section.image = nullptr;
  if (found == images_.end()) return;
  ImageBuffer buffer = std::move(found->second);
  images_.erase(found);
  if (section.size == 0) return;
  size_t stride = imageUnitBytes(section.mauBits);
  IosErrorCode error = IOS_ERR_INTERNAL;
  // The store keeps an image in segments. Each after the first takes its run of units
  // in one copy; the first takes the buffer itself, cut to its size, so that a section
  // of one segment is never held twice. A segment that is all reserved space stays
  // out of the store, which reads a segment without buffer as zeros: the pages of the
  // buffer that nothing wrote are never made, not even by reading them.
  const uint32_t firstUnits = std::min(section.size, IOS_SEGMENT_UNITS);
  const auto reserved = section.size > firstUnits ? reservedRanges(section, buffer.storeImage)
                                                  : std::vector<std::pair<uint64_t, uint64_t>>{};
  for (uint32_t unit = firstUnits; unit < section.size;) {
    const void* held = nullptr;
    uint32_t unitsLeft = 0;
    check(ios_image_peek_data_entry(buffer.storeImage, unit, &held, &unitsLeft, &error), error);
    uint32_t count = std::min(unitsLeft, section.size - unit);
    const uint8_t* run = buffer.bytes.get() + size_t{unit} * stride;
    if (held || !withinRanges(reserved, unit, uint64_t{unit} + count)) {
      void* storage = nullptr;
      check(ios_image_get_data_entry(buffer.storeImage, unit, &storage, nullptr, &error), error);
      std::memcpy(storage, run, size_t{count} * stride);
    }
    unit += count;
  }
  uint8_t* first = buffer.bytes.release();
  const size_t firstBytes = size_t{firstUnits} * stride;
  if (firstUnits < section.size) {
    // Shrinking keeps the bytes; a block that cannot shrink serves as it is.
    if (void* cut = std::realloc(first, firstBytes)) first = static_cast<uint8_t*>(cut);
  }
  buffer.bytes.reset(first);
  if (ios_image_adopt_first_segment(buffer.storeImage, first, firstBytes, &error) == 0) {
    (void)buffer.bytes.release();
    return;
  }
  // A first segment larger than the section's units takes them in a copy.
  void* storage = nullptr;
  check(ios_image_get_data_entry(buffer.storeImage, 0, &storage, nullptr, &error), error);
  std::memcpy(storage, first, firstBytes);
}

void ObjectFile::emitFlow(Section* section) {
  if (std::find(unfitSections_.begin(), unfitSections_.end(), section) != unfitSections_.end()) return;
  // The debug information describes the unwritten section with addresses it never
  // got; the run has failed already, so it is left out rather than misreported.
  if (!unfitSections_.empty() && section->flags.isDebug()) return;
  this->section = section;
  // The location counter is the emission offset: the nodes place their units at it
  // and move it on; a reset node sets it back to 0.
  section->writing = 1;
  section->locationCounter = 0;
  if (section->line) section->line->setCodeAddress(0);
  for (Section::FlowIter nodes(*section); !nodes.isDone(); nodes.next()) {
    FlowNode* node = nodes.current();
    setObjectSourcePosition(node->line);
    if (node->line) node->line->setCodeAddress(section->locationCounter);
    node->emit(*this);
    // The parts of a max section each start at offset 0, as the layout placed them.
    if (node->kind == FlowNode::kReset) section->locationCounter = 0;
  }
  setObjectSourcePosition(nullptr);
}

void ObjectFile::emitSections() {
  IosErrorCode error = IOS_ERR_INTERNAL;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) writeSection(sections->current());
  if (orbaOptions()->absoluteMode) reportOverlappingSections();

  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    emitFlow(section);
    if (section != placeholderSection() && section->nodeCount() != 0) {
      section->resolveAbsoluteAddress();
      if (section->objectHandle[1] != 0) {
        IosHandle handle = {section->objectHandle[0], section->objectHandle[1]};
        check(ios_section_set_alignment(handle, section->alignment ? section->alignment : 1, &error), error);
      }
    }
    if (section->image) commitImage(*section);
    section->writing = 0;
  }
  this->section = nullptr;
}
