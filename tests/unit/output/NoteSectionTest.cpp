#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "flow/FConstant.h"
#include "flow/FlowFixture.h"
#include "flow/Section.h"
#include "flow/SectionAppend.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "output/NoteSection.h"
#include "output/ObjectFile.h"
#include "output/ObjectOutputFixture.h"

namespace {

const char* codeText(int32_t) { return "store failure"; }

struct Record {
  uint32_t nameSize, descSize, type;
  std::string name;  // with its padding
  std::string desc;  // with its padding
};

uint32_t word(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

class NoteSectionTest : public StoreFileTest {
 protected:

  void setProperty(int (*setter)(uint32_t, IosHandle, IosErrorCode*), const char* text) {
    IosErrorCode error = IOS_ERR_INTERNAL;
    IosHandle string = {0, 0};
    ASSERT_EQ(ios_strtab_add(fileId_, text, &string, &error), 0);
    ASSERT_EQ(setter(fileId_, string, &error), 0);
  }

  // The section's bytes as the store holds them after the build.
  std::vector<uint8_t> storedBytes(const Section& section) {
    IosHandle handle = {section.objectHandle[0], section.objectHandle[1]};
    IosErrorCode error = IOS_ERR_INTERNAL;
    uint32_t size = 0;
    EXPECT_EQ(ios_section_get_size(handle, &size, &error), 0);
    IosHandle image = {0, 0};
    EXPECT_EQ(ios_section_get_image(handle, &image, &error), 0);
    std::vector<uint8_t> bytes;
    while (bytes.size() < size) {
      void* storage = nullptr;
      uint32_t left = 0;
      if (ios_image_get_data_entry(image, static_cast<uint32_t>(bytes.size()), &storage, &left, &error) != 0) break;
      const auto* units = static_cast<const uint8_t*>(storage);
      for (uint32_t index = 0; index < left && bytes.size() < size; ++index) bytes.push_back(units[index]);
    }
    return bytes;
  }

  static std::vector<Record> records(const std::vector<uint8_t>& bytes) {
    std::vector<Record> found;
    size_t at = 0;
    while (at + 12 <= bytes.size()) {
      Record record{word(&bytes[at]), word(&bytes[at + 4]), word(&bytes[at + 8]), {}, {}};
      at += 12;
      size_t namePadded = (record.nameSize + 3u) & ~3u;
      size_t descPadded = (record.descSize + 3u) & ~3u;
      if (at + namePadded + descPadded > bytes.size()) break;
      record.name.assign(reinterpret_cast<const char*>(&bytes[at]), namePadded);
      at += namePadded;
      record.desc.assign(reinterpret_cast<const char*>(&bytes[at]), descPadded);
      at += descPadded;
      found.push_back(record);
    }
    EXPECT_EQ(at, bytes.size()) << "bytes after the last whole record";
    return found;
  }

};

TEST_F(NoteSectionTest, ToolRecordOfFourCharactersHasItsExactBytes) {
  ObjectFile writer(fileId_, codeText, codeText);
  writer.writeFileRecords("t.o");
  NoteSection note;
  note.build(writer);
  ASSERT_NE(note.section(), nullptr);
  std::vector<uint8_t> bytes = storedBytes(*note.section());
  const uint8_t expected[] = {0x07, 0, 0, 0, 0x05, 0, 0, 0, 0x06, 0, 0, 0, 'V', 'e', 'l', 't',
                              'r',  'a', 0, 0, 'v', 'e', 'k', 't', 0, 0, 0, 0};
  ASSERT_GE(bytes.size(), sizeof expected);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + sizeof expected),
            std::vector<uint8_t>(std::begin(expected), std::end(expected)));
  EXPECT_EQ(note.section()->size, note.noteSize());
  EXPECT_EQ(bytes.size(), note.noteSize());
}

TEST_F(NoteSectionTest, RecordsComeInTypeOrderAndSkipAbsentProperties) {
  struct Case {
    const char* what;
    const char* compilerName;     // null: not set
    const char* compilerVersion;  // null: not set
    const char* compilerInvocation;
    std::vector<uint32_t> types;
  };
  const Case cases[] = {
      {"no compiler directives: the three tool records", nullptr, nullptr, nullptr, {6, 7, 8}},
      {"all six", "cc", "1.0", "cc -S t.c", {3, 4, 5, 6, 7, 8}},
      {"a gap stays a gap", "cc", nullptr, "cc -S t.c", {3, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    renewFile();

    ObjectFile writer(fileId_, codeText, codeText);
    writer.versionText = "vekt 1.0";
    writer.programPath = "/usr/bin/vekt";
    writer.commandWords = {"t.asm"};
    writer.writeFileRecords("t.o");
    if (c.compilerName) setProperty(ios_file_set_compiler_name, c.compilerName);
    if (c.compilerVersion) setProperty(ios_file_set_compiler_version, c.compilerVersion);
    if (c.compilerInvocation) setProperty(ios_file_set_compiler_invocation, c.compilerInvocation);
    NoteSection note;
    note.build(writer);
    ASSERT_NE(note.section(), nullptr);

    std::vector<Record> found = records(storedBytes(*note.section()));
    std::vector<uint32_t> types;
    for (const Record& record : found) {
      types.push_back(record.type);
      EXPECT_EQ(record.nameSize, 7u);
      EXPECT_EQ(record.name, std::string("Veltra\0\0", 8));
      // The text, its NUL and padding NULs, and nothing else.
      EXPECT_EQ(record.desc.find('\0'), record.descSize - 1);
      EXPECT_EQ(record.desc.find_first_not_of('\0', record.descSize - 1), std::string::npos);
    }
    EXPECT_EQ(types, c.types);
    if (!found.empty() && c.compilerName) {
      EXPECT_EQ(found.front().desc.substr(0, 3), std::string("cc\0", 3));
    }
    if (found.size() >= 3) {
      EXPECT_EQ(found[found.size() - 2].desc.c_str(), std::string("vekt 1.0"));
      EXPECT_EQ(found.back().desc.c_str(), std::string("vekt t.asm"));
    }
  }
}

TEST_F(NoteSectionTest, DescriptionIsPaddedToWholeWordsWithAtLeastOneNul) {
  struct Case {
    const char* text;
    uint32_t descSize;
    uint32_t recordSize;
  };
  const Case cases[] = {
      {"", 1, 24},
      {"abc", 4, 24},
      {"abcd", 5, 28},
      {"abcdefg", 8, 28},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    Section* section = createGeneratedSection(".note");
    NoteSection note;
    note.addNote(*section, c.text, NoteSection::kCompilerName);
    EXPECT_EQ(note.noteSize(), c.recordSize);
    uint32_t bytes = 0;
    for (FlowNode* node = section->firstNode(); node; node = node->nextNode()) {
      int32_t size = node->computeSize(section, bytes);
      bytes += static_cast<uint32_t>(size);
      EXPECT_STREQ(static_cast<FConstant*>(node)->directiveName(), "Note");
    }
    EXPECT_EQ(bytes, c.recordSize) << "the items fill exactly the record";
    auto* descSize = static_cast<FConstant*>(section->firstNode()->nextNode());
    EXPECT_EQ(descSize->values.front()->getInteger(), c.descSize);
  }
}

TEST_F(NoteSectionTest, StoreWithoutToolPropertiesGetsNoNoteSection) {
  ObjectFile writer(fileId_, codeText, codeText);
  size_t sectionsBefore = runState().sectionAdmin->sections().size();
  NoteSection note;
  note.build(writer);
  EXPECT_EQ(note.section(), nullptr);
  EXPECT_EQ(runState().sectionAdmin->sections().size(), sectionsBefore);
}

TEST_F(NoteSectionTest, NoteSectionIsDebugContentsWithoutProtectFlag) {
  ObjectFile writer(fileId_, codeText, codeText);
  writer.writeFileRecords("t.o");
  NoteSection note;
  note.build(writer);
  Section* section = note.section();
  ASSERT_NE(section, nullptr);
  EXPECT_STREQ(section->getName(), ".note");
  EXPECT_TRUE(section->flags.isDebug());
  EXPECT_FALSE(section->flags.isProtect());
  EXPECT_EQ(section->userSection, 0);
  EXPECT_EQ(section->image, nullptr) << "the buffer went into the store";
  EXPECT_EQ(section->writing, 0);
  IosHandle handle = {section->objectHandle[0], section->objectHandle[1]};
  EXPECT_NE(handle.object_id, 0u);
}

}  // namespace
