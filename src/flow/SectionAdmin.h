// The administration of all sections of the run, in creation order.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "flow/FlowIterator.h"

class Section;

class SectionAdmin {
 public:
  // Walks a copy of the section list taken when the iterator is made: sections made
  // during the walk are not visited.
  class SectionIter : public ForwardIterator<Section*> {
   public:
    explicit SectionIter(const std::vector<Section*>& sections) : sections_(sections) {}
    void first() override { index_ = 0; }
    void next() override { ++index_; }
    bool isDone() const override { return index_ >= sections_.size(); }
    Section* current() const override { return sections_[index_]; }

   private:
    std::vector<Section*> sections_;
    size_t index_ = 0;
  };

  SectionAdmin() = default;
  // Deletes every section.
  ~SectionAdmin();
  SectionAdmin(const SectionAdmin&) = delete;
  SectionAdmin& operator=(const SectionAdmin&) = delete;

  // Appends the section; the administration owns it from now on. Null is ignored.
  void registerSection(Section* section);
  // The caller deletes the iterator.
  SectionIter* createIterator() const { return new SectionIter(sections_); }
  const std::vector<Section*>& sections() const { return sections_; }
  // Takes the section out of the list; it is no longer visited, and is still
  // deleted with the administration.
  void unlink(Section* section);

  // The sequence of sections the section directives keep.
  std::deque<Section*> directiveSections;
  // Set after the parse when the source brings debug sections of its own; the
  // object output then takes the debug information from them.
  bool hllDebugInfoPresent = false;

 private:
  std::vector<Section*> sections_;
  std::vector<Section*> unlinked_;
};
