// The walker with which a layout pass goes over one section's flow: the running
// offset of this pass beside the one the previous pass computed.
#pragma once

#include <cstdint>

class FlowList;
class FlowNode;
class Section;
struct LineInfo;

// The modes of a layout pass. Initial: the first, optimistic pass (every form is
// assumed to fit). Relax: the passes that follow until nothing moves. Fixed: one
// pass that settles every choice at once.
enum LayoutMode : int32_t { kLayoutInitial = 0, kLayoutRelax = 1, kLayoutFixed = 2 };

// A section holds less than one TriCore segment, 256 MiB, which also bounds the
// memory of its image.
inline constexpr uint64_t kSectionUnitLimit = uint64_t{1} << 28;

// A layout offset goes no further than the section bound: a section that reaches it
// fails anyway, and offsets past it would wrap the 32 bits they are kept in, making a
// section of several GiB look small. The object output then measures what the section
// would have held.
inline int32_t advancedOffset(int32_t offset, int32_t size) {
  const int64_t next = int64_t{offset} + size;
  return next > static_cast<int64_t>(kSectionUnitLimit) ? static_cast<int32_t>(kSectionUnitLimit)
                                                         : static_cast<int32_t>(next);
}

class FlowWalker {
 public:
  // A walker over a section's flow, or over one rewrite's node list.
  FlowWalker(Section* section, const FlowList* flow) : section(section), flow(flow) {}
  virtual ~FlowWalker() = default;
  FlowWalker(const FlowWalker&) = delete;
  FlowWalker& operator=(const FlowWalker&) = delete;

  // Starts a pass: offsets and sizes to 0, the first node, one pass more. The
  // section's own walker also makes this pass the section's current layout block,
  // which tells the labels placed in this pass from those still to come.
  void reset();
  // Ends the current node: it gave size units; the offsets move on past it.
  void advance(int32_t size) {
    offset = advancedOffset(offset, size);
    previousOffset = advancedOffset(previousOffset, previousNodeSize);
    nodeSize = 0;
    previousNodeSize = 0;
  }

  Section* section;
  const FlowList* flow;
  FlowNode* position = nullptr;
  int32_t offset = 0;
  int32_t previousOffset = 0;
  int32_t nodeSize = 0;
  int32_t previousNodeSize = 0;
  uint32_t pass = 0;
};

// The line of the node being laid out or written. Expression errors raised
// meanwhile are reported there.
LineInfo*& currentLayoutLine();

// The distance from the address of offset in section up to the next multiple of
// alignment. Alignment 0 counts as 1; where the section asks for power-of-two
// alignments it is rounded up to one.
uint32_t alignmentPadding(const Section* section, uint32_t offset, uint32_t alignment);
