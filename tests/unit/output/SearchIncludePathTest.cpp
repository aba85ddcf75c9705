#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "output/FileNames.h"

namespace {

// Three directories: "first" and "second" both hold a.bin; only "second" holds
// b.bin; "first" holds a directory named c.bin.
class SearchIncludePathTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vekt-search-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    for (const char* dir : {"/first", "/second", "/first/c.bin", "/second/sub"})
      ASSERT_EQ(mkdir((root_ + dir).c_str(), 0755), 0);
    for (const char* file : {"/first/a.bin", "/second/a.bin", "/second/b.bin", "/second/c.bin", "/second/sub/d.bin"})
      std::ofstream(root_ + file) << "x";
  }
  void TearDown() override {
    for (const char* file : {"/first/a.bin", "/second/a.bin", "/second/b.bin", "/second/c.bin", "/second/sub/d.bin"})
      unlink((root_ + file).c_str());
    for (const char* dir : {"/first/c.bin", "/second/sub", "/first", "/second", ""}) rmdir((root_ + dir).c_str());
  }
  std::string root_;
};

TEST_F(SearchIncludePathTest, FirstDirectoryThatHoldsARegularFileWins) {
  std::string first = root_ + "/first";
  std::string second = root_ + "/second/";
  std::string absolute = root_ + "/second/b.bin";
  struct Case {
    const char* name;
    std::vector<const char*> directories;
    bool found;
    std::string path;
  };
  const Case cases[] = {
      {"a.bin", {first.c_str(), second.c_str()}, true, root_ + "/first/a.bin"},
      {"a.bin", {second.c_str(), first.c_str()}, true, root_ + "/second/a.bin"},
      {"b.bin", {first.c_str(), second.c_str()}, true, root_ + "/second/b.bin"},
      {"b.bin", {nullptr, second.c_str()}, true, root_ + "/second/b.bin"},       // nulls are skipped
      {"c.bin", {first.c_str(), second.c_str()}, true, root_ + "/second/c.bin"},  // a directory is no file
      {"sub/../sub/./d.bin", {second.c_str()}, true, root_ + "/second/sub/d.bin"},
      {"x.bin", {first.c_str(), second.c_str()}, false, "unset"},
      {"a.bin", {}, false, "unset"},
      // An absolute name stands alone, whatever the directory.
      {absolute.c_str(), {first.c_str()}, true, absolute},
      {"/nonexistent-vekt/a.bin", {first.c_str()}, false, "unset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = "unset";
    EXPECT_EQ(searchIncludePath(c.name, c.directories, path), c.found);
    EXPECT_EQ(path, c.path);
  }
}

}  // namespace
