// The node of ".LOAD": the bytes of a binary file at its place in the section, or as
// many units as its size expression asks for.
#pragma once

#include <cstdint>
#include <cstdio>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

class FLoad : public FlowNode {
  VEKT_POOLED_CLASS(FLoad)

 public:
  // Takes the unit width of the section the node is made for (8 without one).
  FLoad(LineInfo* line, const char* fileName, OrbaExpression* sizeExpression, const Section* section);

  FlowNode* clone() const override;
  // The size expression's units (a negative one counts as 0), else the file's length
  // in units, rounded up; 0 for a file that is not found; at most INT32_MAX.
  int32_t computeSize(Section* section, uint32_t offset) override;
  // Copies the file's bytes into the section's image and reserves zero units after a
  // file shorter than the size, as .SPACE does; W242 for no units, E110 for a file or
  // size too large for any section, E252 in a section without image, E297 for a file
  // that is not found, is not a regular file or does not open.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  // The file's path, looked for under its own name, then beside the line's source file,
  // then along the include path; null when no regular file is found. Looked for once.
  const char* path();
  // The units the node asks for, in 64 bits, before the section's limits.
  int64_t requestedUnits();

  OrbaExpression* sizeExpression;  // shared; null when none was given
  const char* fileName;            // interned, as written between the quotes
  int32_t unitBits;
  const char* directive = ".LOAD";
  const char* resolvedPath = nullptr;  // interned
  uint8_t searched = 0;
  uint8_t notRegular = 0;  // the search met the name as something other than a regular file

 private:
  // Whether the line collects the bytes for the list file.
  bool listsBytes() const;
  // The open file's length in units, rounded up; 0 when it cannot be told.
  int64_t openFileUnits(std::FILE* file) const;
  // Stores the open file's bytes at location, at most units units, and copies the first
  // listedUnits of them to listed when it is not null; returns the units placed, the
  // last one completed with zeros when the file ends inside it.
  uint32_t placeFileUnits(std::FILE* file, Section& section, uint32_t location, uint32_t units,
                          uint8_t* listed, uint32_t listedUnits);
  // Records units zero units at location as reserved space of the writer's section.
  void padUnits(ObjectWriter& writer, uint32_t location, uint32_t units);
};
