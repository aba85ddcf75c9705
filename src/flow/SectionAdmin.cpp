#include "flow/SectionAdmin.h"

#include <algorithm>

#include "flow/Section.h"
#include "util/OrbaState.h"

SectionAdmin::~SectionAdmin() {
  for (auto* list : {&sections_, &unlinked_})
    for (Section* section : *list) {
      if (section == runState().placeholderSection) runState().placeholderSection = nullptr;
      delete section;
    }
}

void SectionAdmin::unlink(Section* section) {
  auto found = std::find(sections_.begin(), sections_.end(), section);
  if (found == sections_.end()) return;
  sections_.erase(found);
  unlinked_.push_back(section);
}

void SectionAdmin::registerSection(Section* section) {
  if (section) sections_.push_back(section);
}
