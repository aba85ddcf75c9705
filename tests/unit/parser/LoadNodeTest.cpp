#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "DirectiveFixture.h"
#include "flow/FLoad.h"
#include "flow/Section.h"
#include "preproc/LineState.h"
#include "util/RunSettings.h"

namespace {

class LoadNodeTest : public DirectiveTest {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() / ("vekt-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
    std::FILE* file = std::fopen((directory_ / "three.bin").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite("\x01\x02\x03", 1, 3, file);
    std::fclose(file);
    // The source file sits in the same folder, so the bare name is found beside it.
    sourceIndex_ = runState().lineState->addSourceFile(runState().stringBuffer->intern((directory_ / "t.asm").c_str()));
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // Lays the node out at offset 0 and writes it into an image that starts filled
  // with 0xEE; the image bytes and the diagnostics come back.
  std::string layOutAndWrite(FLoad* node, Section* in, bool withImage) {
    in->addNode(node, true);
    int32_t units = node->computeSize(in, 0);
    in->size = units > 0 ? static_cast<uint32_t>(units) : 0;
    in->laidOut = 1;
    image_.assign(in->size, 0xEE);
    in->image = withImage ? image_.data() : nullptr;
    in->writing = 1;
    in->locationCounter = 0;
    writer_.section = in;
    node->emit(writer_);
    std::string bytes;
    char byte[4];
    for (uint32_t word : image_) {
      std::snprintf(byte, sizeof byte, "%02x", word & 0xFFu);
      bytes += (bytes.empty() ? "" : " ") + std::string(byte);
    }
    return bytes;
  }

  std::filesystem::path directory_;
  uint32_t sourceIndex_ = 0;
  RecordingWriter writer_;

 private:
  std::vector<uint8_t> image_;
};

TEST_F(LoadNodeTest, FileBytesFillTheSizeTheNodeAsksFor) {
  const std::string absolute = (directory_ / "three.bin").string();
  struct Case {
    const char* file;  // "@" stands for the file's absolute path
    const char* size;  // null: no size expression
    bool withImage;
    int32_t units;
    const char* image;
    std::vector<std::string> messages;
  } cases[] = {
      {"@", nullptr, true, 3, "01 02 03", {}},
      {"three.bin", nullptr, true, 3, "01 02 03", {}},
      {"@", "5", true, 5, "01 02 03 00 00", {}},
      {"@", "2", true, 2, "01 02", {}},
      {"@", "\"\\x02\"", true, 2, "01 02", {}},
      {"@", "-1", true, 0, "", {"W242: no storage allocated for \".LOAD\"@4"}},
      {"@", "0", true, 0, "", {"W242: no storage allocated for \".LOAD\"@4"}},
      {"missing.bin", nullptr, true, 0, "", {"W242: no storage allocated for \".LOAD\"@4"}},
      {"missing.bin", "2", true, 2, "ee ee",
       {"E297: cannot load binary file \"missing.bin\": file does not exists in search path@4"}},
      {"@", nullptr, false, 3, "ee ee ee",
       {"E252: \".LOAD\" cannot be encoded in uninitialized or cleared section@4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + (c.size ? c.size : "-"));
    Section* in = section(".data");
    LineInfo* at = line(4, in);
    at->sourceFile = sourceIndex_;
    const char* file = std::string(c.file) == "@" ? absolute.c_str() : c.file;
    auto* node = new FLoad(at, runState().stringBuffer->intern(file), c.size ? parse(c.size, at) : nullptr, in);
    EXPECT_EQ(layOutAndWrite(node, in, c.withImage), c.image);
    EXPECT_EQ(node->computeSize(in, 0), c.units);
    EXPECT_EQ(in->locationCounter, c.units);
    EXPECT_EQ(diagnostics(), c.messages);
    clearDiagnostics();
  }
}

TEST_F(LoadNodeTest, FileBesideTheSourceComesBeforeTheIncludePath) {
  const std::filesystem::path include = directory_ / "inc";
  std::filesystem::create_directories(include);
  std::filesystem::create_directories(directory_ / "folder.bin");
  for (const char* name : {"three.bin", "ten.bin"}) {
    std::FILE* file = std::fopen((include / name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite("0123456789", 1, 10, file);
    std::fclose(file);
  }
  RunSettings* settings = runState().orbaOptions;
  ASSERT_NE(settings, nullptr);
  std::vector<const char*> savedDirectories = settings->includeDirectories;
  const std::string includeText = include.string();
  settings->includeDirectories = {nullptr, includeText.c_str()};

  struct Case {
    const char* file;
    const char* foundIn;  // null: not found
    int32_t units;
  } cases[] = {
      {"three.bin", "", 3},        // beside the source, though -I has one too
      {"ten.bin", "inc/", 10},     // only along the include path
      {"folder.bin", nullptr, 0},  // a folder is no file
      {"none.bin", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Section* in = section(".data");
    LineInfo* at = line(4, in);
    at->sourceFile = sourceIndex_;
    FLoad node(at, runState().stringBuffer->intern(c.file), nullptr, in);
    const char* found = node.path();
    if (!c.foundIn) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(std::filesystem::path(found), directory_ / (std::string(c.foundIn) + c.file));
    }
    EXPECT_EQ(node.computeSize(in, 0), c.units);
  }
  settings->includeDirectories = savedDirectories;
}

TEST_F(LoadNodeTest, TenByteFileInSixteenUnitsIsPaddedWithZeros) {
  std::FILE* file = std::fopen((directory_ / "blob.bin").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite("\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19", 1, 10, file);
  std::fclose(file);
  Section* in = section(".data");
  LineInfo* at = line(4, in);
  at->sourceFile = sourceIndex_;
  auto* node = new FLoad(at, runState().stringBuffer->intern("blob.bin"), parse("16", at), in);
  EXPECT_EQ(layOutAndWrite(node, in, true), "10 11 12 13 14 15 16 17 18 19 00 00 00 00 00 00");
  EXPECT_EQ(in->locationCounter, 16);
  EXPECT_TRUE(diagnostics().empty());
}

// The list takes the bytes the file gives, not the zeros that pad it to the size: the
// padding is reserved space, which the line's size tells.
TEST_F(LoadNodeTest, ListedBytesAreTheFileBytesWithoutThePadding) {
  RunSettings* settings = runState().orbaOptions;
  ASSERT_NE(settings, nullptr);
  const bool savedListing = settings->listFileWanted;
  settings->listFileWanted = true;
  struct Case {
    const char* size;  // null: no size expression
    const char* listed;
    uint16_t reserved;
  } cases[] = {
      {nullptr, "01 02 03", 3},
      {"5", "01 02 03", 5},
      {"2", "01 02", 2},
      {"40", "01 02 03", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size ? c.size : "-");
    Section* in = section(".data");
    LineInfo* at = line(4, in);
    at->sourceFile = sourceIndex_;
    auto* node =
        new FLoad(at, runState().stringBuffer->intern("three.bin"), c.size ? parse(c.size, at) : nullptr, in);
    layOutAndWrite(node, in, true);
    std::string listed;
    char byte[4];
    for (uint32_t index = 0; index < at->extras().codeByteCount; ++index) {
      std::snprintf(byte, sizeof byte, "%02x", at->extras().codeBytes[index]);
      listed += (listed.empty() ? "" : " ") + std::string(byte);
    }
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(at->extra(0), c.reserved);
    EXPECT_TRUE(diagnostics().empty());
    clearDiagnostics();
  }
  settings->listFileWanted = savedListing;
}

TEST_F(LoadNodeTest, FileIsLookedForOnceAndKeptByItsClone) {
  Section* in = section(".data");
  LineInfo* at = line(4, in);
  at->sourceFile = sourceIndex_;
  FLoad node(at, runState().stringBuffer->intern("three.bin"), nullptr, in);
  EXPECT_EQ(node.searched, 0);
  const char* found = node.path();
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), (directory_ / "three.bin").string());
  EXPECT_EQ(node.searched, 1);
  std::filesystem::remove(directory_ / "three.bin");
  EXPECT_EQ(node.path(), found);
  FlowNode* copy = node.clone();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->kind, FlowNode::kLoad);
  EXPECT_EQ(static_cast<FLoad*>(copy)->resolvedPath, found);
  delete copy;
}

}  // namespace
