#include "parser/SectionOperations.h"

#include <cstring>
#include <string>

#include "flow/FReset.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "parser/LineFlags.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "util/RunState.h"

namespace {

struct PreviousSection {
  Section* previousSlot = nullptr;
};
PreviousSection& previousSectionState() { return runPart<PreviousSection>(); }

void markSwitch(LineInfo* line, Section* section) {
  line->flags[1] |= lineflag::kSectionSwitched | lineflag::kSectionDirective;
  line->section = section;
}

void giveAddress(Section* section, OrbaExpression* address) {
  if (!address) return;
  section->setAddress(address);
  section->hasAddress = 1;
}

}  // namespace

Section* previousSection() { return previousSectionState().previousSlot; }

void setPreviousSection(Section* section) { previousSectionState().previousSlot = section; }

bool declareSection(LineInfo* line, const char* name, int32_t typeCode,
                    const std::vector<SectionAttribute>& attributes, OrbaExpression* address) {
  Section* section = orbaFactory()->createSection(line, name);
  sectionAdmin()->registerSection(section);
  giveAddress(section, address);
  applySectionDeclaration(*section, typeCode, attributes, line, name);
  line->flags[1] |= lineflag::kSectionDirective;
  return true;
}

bool selectSection(LineInfo* line, const char* name, int32_t resetToken) {
  const std::vector<Section*>& sections = sectionAdmin()->sections();
  Section* found = nullptr;
  for (auto it = sections.rbegin(); it != sections.rend() && !found; ++it) {
    const char* candidate = (*it)->getName();
    if (candidate && std::strcmp(candidate, name) == 0) found = *it;
  }
  if (!found) {
    errorHandler()->report(E_section_name_invalid, line, name);
    return false;
  }
  previousSectionState().previousSlot = line->section;
  markSwitch(line, found);
  if (resetToken != 0) resetMaxSection(found, line);
  return true;
}

void resetMaxSection(Section* section, LineInfo* line) {
  if (section->flags.isMax()) {
    section->addNode(new FReset(line), true);
    return;
  }
  errorHandler()->report(W_section_attribute_ignored, line, section->getName(), "MAX", "RESET");
}

bool selectPreviousSection(LineInfo* line, const char* directive) {
  Section* placeholder = placeholderSection();
  if (line->section == placeholder) {
    errorHandler()->report(E_no_section, line, directive);
    return false;
  }
  if (!previousSectionState().previousSlot || previousSectionState().previousSlot == placeholder) {
    errorHandler()->report(E_no_previous_section, line);
    return false;
  }
  markSwitch(line, previousSectionState().previousSlot);
  previousSectionState().previousSlot = nullptr;
  return true;
}

bool openNamelessSection(LineInfo* line, OrbaExpression* address, int32_t typeCode,
                         const std::vector<SectionAttribute>& attributes) {
  previousSectionState().previousSlot = line->section;
  Section* section = orbaFactory()->createSectionFromName(line);
  sectionAdmin()->registerSection(section);
  giveAddress(section, address);
  if (typeCode != 0) {
    applySectionDeclaration(*section, typeCode, attributes, line, "<nameless section>");
    const char* kindPrefix = section->flags.isCode() ? ".text." : section->flags.isData() ? ".data." : nullptr;
    if (kindPrefix) section->setName(stringBuffer()->intern((std::string(kindPrefix) + section->getName()).c_str()));
  }
  markSwitch(line, section);
  return true;
}
