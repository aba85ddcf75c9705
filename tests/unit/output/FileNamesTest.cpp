#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "output/FileNames.h"

namespace {

std::string currentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST(FileNamesTest, NormalizeJoinsAndFoldsDotComponents) {
  struct Case {
    const char* base;
    const char* path;
    const char* result;
  };
  const Case cases[] = {
      {"/work/src", "../inc/a.bin", "/work/inc/a.bin"},
      {"/work/src/", "../inc/a.bin", "/work/inc/a.bin"},
      {"/w", "a/./b/../c.bin", "/w/a/c.bin"},
      {"/tools/bin/", "../include/", "/tools/include/"},
      {"/w", "a\\.\\b\\..\\c.bin", "/w/a/c.bin"},     // either separator in the path
      {"\\w\\x", "y/z", "/w/x/y/z"},                   // and in the base
      {"/work", "/data/a.bin", "/data/a.bin"},         // an absolute path stands alone
      {"/", "../a.bin", "/../a.bin"},                  // ".." never climbs above the root
      {"/w", "../../a", "/../a"},
      {"/a", "../../x", "/../x"},                      // kept as written: opening it climbs no higher than "/"
      {"/a/b", "../../../../x/y", "/../../x/y"},
      {"/w", "../../a/../b", "/../b"},                 // a name above the root still folds
      {"rel", "../../a", "../a"},                      // a relative path keeps what it cannot fold
      {"/w", "x//../a", "/w/a"},                       // ".." passes over an empty component
      {"rel", "../a", "a"},
      {"", "../a", "../a"},
      {"", "../../a", "../../a"},
      {"/w", "a/..", "/w/a/.."},                       // the last component stays as written
      {"/w", ".", "/w/."},
      {"/w", "", "/w/"},
      {"/w", "sub/", "/w/sub/"},
      {"./x", "../a", "./a"},                          // the base is taken as written
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.base << " + " << c.path);
    char* result = normalizePathInBuffer(c.base, c.path);
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, c.result);
    std::free(result);
  }
}

TEST(FileNamesTest, AbsolutePathJoinsTheCurrentDirectory) {
  std::string cwd = currentDirectory();
  ASSERT_FALSE(cwd.empty());
  char* result = absolutePath("sub/../a.asm");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result, (cwd == "/" ? "" : cwd) + "/a.asm");
  std::free(result);
  result = absolutePath("/abs/x.o");
  EXPECT_STREQ(result, "/abs/x.o");
  std::free(result);
}

TEST(FileNamesTest, BaseAndDirectoryComeFromTheAbsoluteForm) {
  std::string cwd = currentDirectory();
  struct Case {
    const char* path;
    std::string base;
    std::string dir;
  };
  const Case cases[] = {
      {"a.asm", "a.asm", cwd == "/" ? "" : cwd},
      {"/src/a.asm", "a.asm", "/src"},
      {"/src/sub\\a.asm", "a.asm", "/src/sub"},  // the last separator decides
      {"/src/sub/", "", "/src/sub"},
      {"/a.asm", "a.asm", ""},                   // the only separator is the first
      {"/src/x/../a.asm", "a.asm", "/src"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(pathBaseName(c.path), c.base);
    EXPECT_EQ(pathDirName(c.path), c.dir);
  }
  const std::string& first = pathBaseName("/x/one.asm");
  const std::string& second = pathBaseName("/x/two.asm");
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first, "two.asm");
}

class FindRegularFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vekt-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/start.asm") << " nop\n";
    std::ofstream(dir_ + "/plain") << "x";
    ASSERT_EQ(mkdir((dir_ + "/src").c_str(), 0755), 0);
    std::ofstream(dir_ + "/src.asm") << " nop\n";
    ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
  }
  void TearDown() override {
    for (const char* name : {"/start.asm", "/plain", "/src.asm", "/pipe"}) unlink((dir_ + name).c_str());
    rmdir((dir_ + "/src").c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
};

TEST_F(FindRegularFileTest, AcceptsOnlyRegularFilesAndTriesTheSuffixSecond) {
  struct Case {
    std::string name;
    const char* suffix;
    bool found;
    std::string path;  // the last name tried
  };
  const Case cases[] = {
      {dir_ + "/start.asm", ".asm", true, dir_ + "/start.asm"},
      {dir_ + "/start", ".asm", true, dir_ + "/start.asm"},
      {dir_ + "/start", "", false, dir_ + "/start"},
      {dir_ + "/start", nullptr, false, dir_ + "/start"},
      {dir_ + "/plain", ".asm", true, dir_ + "/plain"},
      {dir_ + "/missing", ".asm", false, dir_ + "/missing.asm"},
      {dir_ + "/src", ".asm", true, dir_ + "/src.asm"},  // a directory is passed over
      {dir_ + "/src", "", false, dir_ + "/src"},
      {dir_ + "/pipe", "", false, dir_ + "/pipe"},       // and a FIFO does not block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = "unset";
    EXPECT_EQ(findRegularFile(c.name.c_str(), c.suffix, path), c.found);
    EXPECT_EQ(path, c.path);
  }
  std::string path;
  EXPECT_FALSE(findRegularFile("", ".asm", path));
  EXPECT_FALSE(findRegularFile(nullptr, ".asm", path));
}

}  // namespace
