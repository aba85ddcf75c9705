// A fixed number of slots made a page at a time, at the first write to a slot of the
// page: a table of a run's repeated statements is sized for the largest sources, and a
// small one touches a few of its slots. A slot not written yet reads as absent.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

template <typename T, size_t kSlots, size_t kPerPage>
class PagedSlots {
  static_assert(kSlots % kPerPage == 0);

 public:
  // The slot when its page was made, else null.
  const T* find(size_t slot) const {
    const std::unique_ptr<T[]>& page = pages_[slot / kPerPage];
    return page ? &page[slot % kPerPage] : nullptr;
  }
  // The slot, its page made (with default slots) when it is not yet.
  T& at(size_t slot) {
    std::unique_ptr<T[]>& page = pages_[slot / kPerPage];
    if (!page) {
      page = std::make_unique<T[]>(kPerPage);
      ++pageCount_;
    }
    return page[slot % kPerPage];
  }
  // Calls visit on every slot of the pages made.
  template <typename Visit>
  void forEach(Visit visit) {
    for (std::unique_ptr<T[]>& page : pages_)
      if (page)
        for (size_t index = 0; index < kPerPage; ++index) visit(page[index]);
  }
  size_t pageCount() const { return pageCount_; }

 private:
  std::array<std::unique_ptr<T[]>, kSlots / kPerPage> pages_{};
  size_t pageCount_ = 0;
};
