// One store file with its expression context, in a store admin made fresh for it: the
// fixture of the store tests and, with the context published, of the object writer's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

class StoreFile {
 public:
  StoreFile() = default;
  ~StoreFile() { close(); }
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;

  // Whatever store an earlier test left is released first, so ids start afresh.
  void open() {
    ios_admin_release();
    EXPECT_EQ(ios_admin_init(nullptr), 0);
    create();
  }
  void close() { ios_admin_release(); }
  // Replaces the file by a new, empty one with a context of its own.
  void renew() {
    EXPECT_EQ(ios_file_delete(id, nullptr), 0);
    create();
  }

  uint32_t id = 0;
  ExprLibContext* context = nullptr;

 private:
  void create() {
    context = nullptr;
    EXPECT_EQ(ios_file_create(&id, nullptr), 0);
    EXPECT_EQ(ios_file_get_expr_context(id, &context, nullptr), 0);
  }
};

// TearDown and SetUp in a row start a test case over with a fresh store.
class OneStoreFile : public ::testing::Test {
 protected:
  void SetUp() override { store_.open(); }
  void TearDown() override { store_.close(); }

  ExprNode* integer(int64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_integer(context_, &node, value), 0);
    return node;
  }

  // The id of a text added to the file's string table.
  IosHandle text(const char* value) {
    IosHandle handle{0, 0};
    EXPECT_EQ(ios_strtab_add(file_, value, &handle, nullptr), 0);
    return handle;
  }

  // A section of the given size and unit width, with an image unless told not to.
  IosHandle sectionOfSize(uint32_t size, uint32_t bits = 8, bool withImage = true) {
    IosHandle made{};
    EXPECT_EQ(ios_section_create(file_, nullptr, &made, nullptr), 0);
    EXPECT_EQ(ios_section_set_mau_size(made, bits, nullptr), 0);
    EXPECT_EQ(ios_section_set_size(made, size, nullptr), 0);
    if (withImage) {
      EXPECT_EQ(ios_section_create_image(made, nullptr, nullptr), 0);
    }
    return made;
  }

  StoreFile store_;
  const uint32_t& file_ = store_.id;
  ExprLibContext* const& context_ = store_.context;
};
