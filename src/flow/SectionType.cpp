#include "flow/SectionType.h"

#include "flow/Section.h"

namespace {

constexpr SectionTypeDescriptor kCodeType = {Section::kCode, Section::kCode, {0, 0, 0, 0}, 1};
constexpr SectionTypeDescriptor kDataType = {Section::kData, Section::kData, {0, 0, 0, 0}, 1};
constexpr SectionTypeDescriptor kRomDataType = {Section::kRomData, Section::kRomData, {0, 0, 0, 0}, 1};
constexpr SectionTypeDescriptor kDebugType = {Section::kDebug, Section::kDebug, {0, 0, 0, 0}, 1};

}  // namespace

const SectionTypeEntry kSectionTypes[4] = {
    {"code", Section::kCode, &kCodeType},
    {"data", Section::kData, &kDataType},
    {"romdata", Section::kRomData, &kRomDataType},
    {"debug", Section::kDebug, &kDebugType},
};

const SectionTypeDescriptor* sectionTypeDescriptor(int32_t typeCode) {
  for (const SectionTypeEntry& entry : kSectionTypes)
    if (entry.typeCode == typeCode) return entry.descriptor;
  return nullptr;
}
