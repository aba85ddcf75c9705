// The administration of all sections, in creation order.
#pragma once

#include <vector>

class Section;

class SectionAdmin {
 public:
  SectionAdmin() = default;
  ~SectionAdmin();
  SectionAdmin(const SectionAdmin&) = delete;
  SectionAdmin& operator=(const SectionAdmin&) = delete;

  // Stages iterate over a snapshot, so sections made during a stage are not visited.
  std::vector<Section*> snapshot() const { return sections_; }

 private:
  std::vector<Section*> sections_;
};
