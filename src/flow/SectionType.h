// The section types a section directive may name, with the defaults it copies.
#pragma once

#include <cstdint>

struct SectionTypeDescriptor {
  int32_t typeCode;
  int32_t secondTypeCode;
  uint32_t words[4];
  uint32_t one;
};

struct SectionTypeEntry {
  const char* name;
  int32_t typeCode;
  const SectionTypeDescriptor* descriptor;
};

// "code", "data", "romdata", "debug", in this order.
extern const SectionTypeEntry kSectionTypes[4];

// The descriptor of the type code; null for a code no entry has.
const SectionTypeDescriptor* sectionTypeDescriptor(int32_t typeCode);
