#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "output/DwarfAdmin.h"
#include "util/RunSettings.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DwarfTest, AbbreviationTableHoldsTheThreeEntriesOfTheVersion) {
  struct Case {
    int32_t version;
    Bytes expected;
  };
  const Case cases[] = {
      // Version 2: the compile unit points at its range list.
      {2, {1, 0x11, 1, 3, 8, 0x25, 8, 0x1B, 8, 0x13, 0x0F, 0x55, 6, 0x10, 6, 0, 0,
           2, 0x2E, 1, 3, 8, 0x3A, 0x0F, 0x3B, 0x0F, 0x3F, 0x0C, 0x36, 0x0F, 0x11, 1, 0x12, 1, 0, 0,
           3, 0x0A, 0, 3, 8, 0x11, 1, 0, 0, 0}},
      // Version 3: low_pc and high_pc take the place of the ranges attribute.
      {3, {1, 0x11, 1, 3, 8, 0x25, 8, 0x1B, 8, 0x13, 0x0F, 0x11, 1, 0x12, 1, 0x10, 6, 0, 0,
           2, 0x2E, 1, 3, 8, 0x3A, 0x0F, 0x3B, 0x0F, 0x3F, 0x0C, 0x36, 0x0F, 0x11, 1, 0x12, 1, 0, 0,
           3, 0x0A, 0, 3, 8, 0x11, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(abbreviationTable(c.version), c.expected);
  }
  EXPECT_EQ(abbreviationTable(2).size(), 46u);
  EXPECT_EQ(abbreviationTable(3).size(), 48u);
}

TEST(DwarfTest, SubprogramNameIsAnIdentifierMadeFromTheSectionName) {
  struct Case {
    const char* section;
    const char* name;
  };
  const Case cases[] = {
      {".text", "_text"},
      {".text.main", "_text_main"},
      {"9data", "_9data"},
      {"_x.y", "_x_y"},
      {"code", "code"},
      {"a-b c", "a_b_c"},
      {"", "_"},
  };
  for (const Case& c : cases) EXPECT_EQ(subprogramName(c.section), c.name) << c.section;
}

// One instruction-like node of a section walk.
struct Row {
  int32_t file;
  int32_t line;
  uint32_t size;
  bool skipped;
};

TEST(DwarfTest, LineSequenceWritesOneRowPerInstructionWithStandardOpcodes) {
  struct Case {
    const char* what;
    int32_t declarationFile;
    int32_t declarationLine;
    std::vector<Row> rows;
    Bytes expected;
  };
  const Case cases[] = {
      {"declared on line 1 of the first file, empty", 1, 1, {}, {7, 1, 0, 1, 1}},
      {"declared on line 12 of the second file", 2, 12, {}, {7, 3, 11, 4, 2, 1, 0, 1, 1}},
      {"two 4-byte instructions on line 5, a 2-byte one on line 7",
       1, 1,
       {{1, 5, 4, false}, {1, 5, 4, false}, {1, 7, 2, false}},
       {7, 1, 3, 4, 1, 2, 4, 1, 3, 2, 2, 4, 1, 2, 2, 0, 1, 1}},
      {"back to an earlier line: a negative advance",
       1, 1,
       {{1, 7, 2, false}, {1, 5, 2, false}},
       {7, 1, 3, 6, 1, 3, 0x7E, 2, 2, 1, 2, 2, 0, 1, 1}},
      {"a first instruction on the declaration line needs no row of its own",
       1, 1,
       {{1, 1, 4, false}},
       {7, 1, 2, 4, 0, 1, 1}},
      {"expanded lines add their size to the generic's row",
       1, 1,
       {{1, 3, 0, false}, {1, 4, 4, true}, {1, 4, 2, true}, {1, 6, 2, false}},
       {7, 1, 3, 2, 1, 3, 3, 2, 6, 1, 2, 2, 0, 1, 1}},
      {"a file number of 64 is one LEB128 byte",
       1, 1,
       {{64, 1, 2, false}},
       {7, 1, 4, 0x40, 1, 2, 2, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ByteSink sink;
    LineProgramState state;
    state.startSequence(sink, c.declarationFile, c.declarationLine);
    for (const Row& row : c.rows) state.row(sink, row.file, row.line, row.size, row.skipped);
    state.endSequence(sink);
    EXPECT_EQ(sink.bytes, c.expected);
  }
}

TEST(DwarfTest, GroupNamesCountUpFromTheInputBaseName) {
  struct Case {
    const char* input;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"src/prog.asm", {"as.prog.0", "as.prog.1"}},
      {"C:\\work\\boot.s", {"as.boot.0"}},
      {"noext", {"as.noext.0", "as.noext.1", "as.noext.2"}},
  };
  for (const Case& c : cases) {
    ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kOptions);
    runState().orbaOptions->inputFile = c.input;
    DwarfAdmin admin;
    for (const std::string& expected : c.names) EXPECT_EQ(admin.makeGroupName(), expected) << c.input;
  }
}

}  // namespace
