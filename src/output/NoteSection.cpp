#include "output/NoteSection.h"

#include <cstring>
#include <ostream>

#include "expr/ObjectExpr.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"
#include "flow/SectionAppend.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "output/ObjectFile.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

using PropertyGetter = int (*)(uint32_t, IosHandle*, IosErrorCode*);

struct NoteProperty {
  PropertyGetter getter;
  uint32_t type;
};

constexpr NoteProperty kProperties[] = {
    {ios_file_get_compiler_name, NoteSection::kCompilerName},
    {ios_file_get_compiler_version, NoteSection::kCompilerVersion},
    {ios_file_get_compiler_invocation, NoteSection::kCompilerInvocation},
    {ios_file_get_tool_name, NoteSection::kToolName},
    {ios_file_get_tool_version, NoteSection::kToolVersion},
    {ios_file_get_tool_invocation, NoteSection::kToolInvocation},
};
constexpr size_t kPropertyCount = sizeof kProperties / sizeof kProperties[0];

constexpr uint32_t roundUpToWord(uint32_t bytes) { return (bytes + 3u) & ~3u; }

}  // namespace

void NoteSection::dump(std::ostream& out) const { out << "NoteSection()"; }

void NoteSection::fill(ObjectFile& context) {
  const char* texts[kPropertyCount] = {};
  bool anyPresent = false;
  for (size_t index = 0; index < kPropertyCount; ++index) {
    IosHandle string = {0, 0};
    IosErrorCode error = IOS_ERR_INTERNAL;
    int result = kProperties[index].getter(context.fileId, &string, &error);
    if (result == -1) continue;  // not set
    if (result != 0) context.storeFailed(error);
    const char* text = nullptr;
    if (ios_string_get_text(string, &text, &error) != 0) context.storeFailed(error);
    texts[index] = text ? text : "";
    anyPresent = true;
  }
  if (!anyPresent) return;

  Section* section = createSection(".note");
  for (size_t index = 0; index < kPropertyCount; ++index)
    if (texts[index]) addNote(*section, texts[index], kProperties[index].type);
  if (section->flags.isMax())
    section->size = section->size > noteSize_ ? section->size : noteSize_;
  else
    section->size = noteSize_;
  // The item sizes are final: nothing moves in this section.
  section->laidOut = 1;
}

Section* NoteSection::createSection(const char* name) {
  // The record type comes from the section's name; the protect flag stays clear, so
  // the section gets no marker flag.
  section_ = createGeneratedSection(name);
  return section_;
}

void NoteSection::addNote(Section& section, const char* text, uint32_t type) {
  auto textSize = static_cast<uint32_t>(std::strlen(text)) + 1;
  appendInteger(section, kNameSize, 32, kNoteDirective);
  appendInteger(section, textSize, 32, kNoteDirective);
  appendInteger(section, type, 32, kNoteDirective);
  appendText(section, kVendorName, kNoteDirective, roundUpToWord(kNameSize) - kNameSize);
  appendText(section, text, kNoteDirective, roundUpToWord(textSize) - textSize);
  noteSize_ += 12 + roundUpToWord(kNameSize) + roundUpToWord(textSize);
}

void NoteSection::build(ObjectFile& context) {
  fill(context);
  if (!section_) return;
  context.writeSection(section_);
  emitContents(context);
  finishSection(context);
  mergeImage(context, *section_);
}

void NoteSection::emitContents(ObjectFile& context) { context.emitFlow(section_); }

void NoteSection::finishSection(ObjectFile& context) {
  Section* section = section_;
  if (section == placeholderSection() || section->nodeCount() == 0) return;
  section->resolveAbsoluteAddress();
  if (section->objectHandle[1] == 0) return;
  IosHandle handle = {section->objectHandle[0], section->objectHandle[1]};
  IosErrorCode error = IOS_ERR_INTERNAL;
  if (ios_section_set_alignment(handle, section->alignment ? section->alignment : 1, &error) != 0)
    context.storeFailed(error);
}

void NoteSection::mergeImage(ObjectFile& context, Section& section) {
  if (section.image) context.commitImage(section);
  section.writing = 0;
  context.section = nullptr;
}
