#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "DebugInfoFixture.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_debugops.h"
#include "objlib/ios_debugread.h"
#include "objlib/ios_function.h"
#include "objlib/ios_lineinfo.h"

namespace {

// A module with one function (a parameter, a body variable, a lexical block with a
// variable), one module variable with two lifetimes and one line block holding a
// line, a delta and a special.
class DebugRead : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ASSERT_EQ(ios_module_create(file_, &module_, nullptr), 0);
    ASSERT_EQ(ios_module_add_function(file_, 1, module_.record_id, &function_, nullptr), 0);
    ASSERT_EQ(ios_function_add_parameter(function_, &parameter_, nullptr), 0);
    ASSERT_EQ(ios_function_add_variable_a(function_, &local_, nullptr), 0);
    ASSERT_EQ(ios_function_add_block(function_, &block_, nullptr), 0);
    ASSERT_EQ(ios_lexical_block_add_variable_a(block_, &inner_, nullptr), 0);
    ASSERT_EQ(ios_module_add_variable(module_, &variable_, nullptr), 0);
    for (IosDebugHandle* l : {&first_life_, &second_life_}) {
      ASSERT_EQ(ios_variable_add_lifetime(file_, 1, variable_.record_id, l, nullptr), 0);
    }
    ASSERT_EQ(ios_line_block_create(module_, StringHandle{file_, name("a.c")}, &lines_, nullptr), 0);
    IosLineItemHandle item{};
    ASSERT_EQ(ios_line_add(lines_, integer(4), 10, 0, &item, nullptr), 0);
    ASSERT_EQ(ios_delta_add(lines_, integer(8), 1, 2, &item, nullptr), 0);
    ASSERT_EQ(ios_special_add(lines_, integer(12), nullptr, 3, &item, nullptr), 0);
  }

  uint32_t m() const { return module_.record_id; }
  const uint32_t* lb() {
    words_[0] = lines_.file_id;
    words_[1] = lines_.root_id;
    words_[2] = lines_.module_id;
    words_[3] = lines_.block_id;
    return words_;
  }

  IosDebugHandle module_{}, function_{}, parameter_{}, local_{}, block_{}, inner_{}, variable_{};
  IosDebugHandle first_life_{}, second_life_{};
  IosLineBlockHandle lines_{};
  uint32_t words_[4] = {};
};

TEST_F(DebugRead, CountsReadTheRecordsTables) {
  struct Case {
    const char* name;
    std::function<int(uint32_t*, IosErrorCode*)> call;
    uint32_t count;
  };
  const uint32_t f = file_;
  const std::vector<Case> cases = {
      {"functions", [&](uint32_t* c, IosErrorCode* e) { return ios_module_get_count_a(f, 1, m(), c, e); }, 1},
      {"assembler variables", [&](uint32_t* c, IosErrorCode* e) { return ios_module_get_count_b(f, 1, m(), c, e); }, 0},
      {"module types", [&](uint32_t* c, IosErrorCode* e) { return ios_module_type_count(f, 1, m(), c, e); }, 0},
      {"line blocks", [&](uint32_t* c, IosErrorCode* e) { return ios_module_line_block_count(f, 1, m(), c, e); }, 1},
      {"lifetimes", [&](uint32_t* c, IosErrorCode* e) { return ios_variable_get_count(f, 1, variable_.record_id, c, e); }, 2},
      {"no lifetime table", [&](uint32_t* c, IosErrorCode* e) { return ios_variable_get_count(f, 1, local_.record_id, c, e); }, 0},
      {"parameters", [&](uint32_t* c, IosErrorCode* e) { return ios_debug_get_count_a(f, 1, function_.record_id, c, e); }, 1},
      {"body variables", [&](uint32_t* c, IosErrorCode* e) { return ios_debug_get_count_c(f, 1, function_.record_id, c, e); }, 1},
      {"body blocks", [&](uint32_t* c, IosErrorCode* e) { return ios_debug_get_word_c(f, 1, function_.record_id, c, e); }, 1},
      {"block variables", [&](uint32_t* c, IosErrorCode* e) { return ios_debug_get_count_b(f, 1, block_.record_id, c, e); }, 1},
      {"block children", [&](uint32_t* c, IosErrorCode* e) { return ios_debug_get_word_b(f, 1, block_.record_id, c, e); }, 0},
      {"attached blocks", [&](uint32_t* c, IosErrorCode* e) { return ios_line_block_child_count(lb(), c, e); }, 0},
      {"lines", [&](uint32_t* c, IosErrorCode* e) { return ios_line_block_line_count(lb(), c, e); }, 1},
      {"deltas", [&](uint32_t* c, IosErrorCode* e) { return ios_line_block_delta_count(lb(), c, e); }, 1},
      {"specials", [&](uint32_t* c, IosErrorCode* e) { return ios_line_block_special_count(lb(), c, e); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t count = 77;
    IosErrorCode code = kNoCode;
    EXPECT_EQ(c.call(&count, &code), 0);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(code, kNoCode);
  }
}

// Position p equal to the count reads past the last entry: each operation fails with
// its own code; the lexical block's variables answer id 0 with success.
TEST_F(DebugRead, AnEntryPastTheTableFailsWithItsCode) {
  struct Case {
    const char* name;
    std::function<int(uint32_t, uint32_t*, IosErrorCode*)> call;
    uint32_t count;  // entries present: position count is the first one missing
    int status;
    IosErrorCode code;
    uint32_t first_id;  // id read at position 0
  };
  const uint32_t f = file_;
  const uint32_t fn = function_.record_id;
  const std::vector<Case> cases = {
      {"module", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_get_module_entry(f, 1, p, o, e); }, 1, 1, IOS_ERR_NO_MODULE, m()},
      {"function", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_module_get_ref_b(f, 1, m(), p, o, e); }, 1, 1, IOS_ERR_NO_FUNCTION, fn},
      {"module variable", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_module_get_ref_c(f, 1, m(), p, o, e); }, 1, 1, IOS_ERR_NO_VARIABLE, variable_.record_id},
      {"assembler variable", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_module_get_ref_a(f, 1, m(), p, o, e); }, 0, 1, IOS_ERR_NO_VARIABLE, 0},
      {"module type", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_module_type_at(f, 1, m(), p, o, e); }, 0, 1, IOS_ERR_NO_TYPE, 0},
      {"lifetime", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_variable_get_ref(f, 1, variable_.record_id, p, o, e); }, 2, 1, IOS_ERR_NO_LIFETIME, first_life_.record_id},
      {"parameter", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_debug_get_ref_a(f, 1, fn, p, o, e); }, 1, 1, IOS_ERR_NO_VARIABLE, parameter_.record_id},
      {"body variable", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_debug_get_ref_b(f, 1, fn, p, o, e); }, 1, 1, IOS_ERR_NO_VARIABLE, local_.record_id},
      {"body block", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_debug_get_ref_c(f, 1, fn, p, o, e); }, 1, 1, IOS_ERR_NO_LEXICAL_BLOCK, block_.record_id},
      {"block variable", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_debug_get_ref_d(f, 1, block_.record_id, p, o, e); }, 1, 0, kNoCode, inner_.record_id},
      {"block child", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_debug_get_ref_e(f, 1, block_.record_id, p, o, e); }, 0, 1, IOS_ERR_NO_LEXICAL_BLOCK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t out[3] = {9, 9, 9};
    IosErrorCode code = kNoCode;
    if (c.count > 0) {
      ASSERT_EQ(c.call(0, out, &code), 0);
      EXPECT_EQ(out[0], file_);
      EXPECT_EQ(out[1], 1u);
      EXPECT_EQ(out[2], c.first_id);
    }
    out[2] = 9;
    EXPECT_EQ(c.call(c.count, out, &code), c.status);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(out[0], file_);
    EXPECT_EQ(out[2], 0u);
  }
}

TEST_F(DebugRead, LineItemsAndBlocksPastTheirTablesFailWithTheirCodes) {
  struct Case {
    const char* name;
    std::function<int(uint32_t, uint32_t*, IosErrorCode*)> call;
    IosErrorCode code;
  };
  const std::vector<Case> cases = {
      {"line block", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_module_line_block_at(file_, 1, m(), p, o, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"line", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_line_block_get_line(lb(), p, o, e); }, IOS_ERR_NO_LINE},
      {"delta", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_line_block_get_delta(lb(), p, o, e); }, IOS_ERR_NO_DELTA},
      {"special", [&](uint32_t p, uint32_t* o, IosErrorCode* e) { return ios_line_block_get_special(lb(), p, o, e); }, IOS_ERR_NO_SPECIAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t out[5] = {};
    IosErrorCode code = kNoCode;
    ASSERT_EQ(c.call(0, out, &code), 0);
    // Position 0 is the block itself or its first item: {block handle, item id 1}.
    EXPECT_EQ(out[0], file_);
    EXPECT_EQ(out[2], m());
    EXPECT_EQ(out[3], lines_.block_id);
    if (c.code != IOS_ERR_NO_LINE_BLOCK) {
      EXPECT_EQ(out[4], 1u);
    }
    EXPECT_EQ(c.call(1, out, &code), 1);
    EXPECT_EQ(code, c.code);
  }
  uint32_t child[4] = {};
  IosErrorCode code = kNoCode;
  EXPECT_EQ(ios_line_block_get_child(lb(), 0, child, &code), 1);
  EXPECT_EQ(code, IOS_ERR_NO_LINE_BLOCK);
}

// A handle whose line block or lexical block does not exist has nothing to read:
// every reader reports the missing block instead of answering success.
TEST_F(DebugRead, ReadersOfABlockThatDoesNotExistReportItMissing) {
  const uint32_t ghost_lines[4] = {file_, 1, m(), 9};
  const uint32_t f = file_;
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode code;
  };
  uint32_t value = 0;
  uint32_t out[5] = {};
  const std::vector<Case> cases = {
      {"line block lookup", [&](IosErrorCode* e) { IosLineBlock* b = nullptr; return ios_get_line_block(ghost_lines, &b, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"attached count", [&](IosErrorCode* e) { return ios_line_block_child_count(ghost_lines, &value, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"line count", [&](IosErrorCode* e) { return ios_line_block_line_count(ghost_lines, &value, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"delta count", [&](IosErrorCode* e) { return ios_line_block_delta_count(ghost_lines, &value, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"special count", [&](IosErrorCode* e) { return ios_line_block_special_count(ghost_lines, &value, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"line", [&](IosErrorCode* e) { return ios_line_block_get_line(ghost_lines, 0, out, e); }, IOS_ERR_NO_LINE_BLOCK},
      {"block variables", [&](IosErrorCode* e) { return ios_debug_get_count_b(f, 1, 9, &value, e); }, IOS_ERR_NO_LEXICAL_BLOCK},
      {"block children", [&](IosErrorCode* e) { return ios_debug_get_word_b(f, 1, 9, &value, e); }, IOS_ERR_NO_LEXICAL_BLOCK},
      {"block variable", [&](IosErrorCode* e) { return ios_debug_get_ref_d(f, 1, 9, 0, out, e); }, IOS_ERR_NO_LEXICAL_BLOCK},
      {"block child", [&](IosErrorCode* e) { return ios_debug_get_ref_e(f, 1, 9, 0, out, e); }, IOS_ERR_NO_LEXICAL_BLOCK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IosErrorCode code = kNoCode;
    EXPECT_NE(c.call(&code), 0);
    EXPECT_EQ(code, c.code);
  }
}

TEST_F(DebugRead, SingleValuesAnswerByTheirRules) {
  uint32_t word = 77;
  IosErrorCode code = kNoCode;
  // A function kind word never set is unset.
  EXPECT_EQ(ios_debug_get_word_a(file_, 1, function_.record_id, &word, &code), -1);
  EXPECT_EQ(code, IOS_ERR_NO_PROPERTY);
  EXPECT_EQ(word, 77u);
  ASSERT_EQ(ios_function_set_field10(function_, 3, nullptr), 0);
  EXPECT_EQ(ios_debug_get_word_a(file_, 1, function_.record_id, &word, nullptr), 0);
  EXPECT_EQ(word, 3u);
  // Simple type codes are never complex, also codes that name no type.
  for (uint32_t id : {0u, 1u, 127u}) {
    uint32_t flag = 9;
    code = kNoCode;
    EXPECT_EQ(ios_type_is_complex(file_, 1, id, &flag, &code), 0) << id;
    EXPECT_EQ(flag, 0u) << id;
  }
  uint32_t flag = 9;
  code = kNoCode;
  EXPECT_NE(ios_type_is_complex(file_, 1, 500, &flag, &code), 0);
  EXPECT_EQ(code, IOS_ERR_NO_TYPE);
  // A module without assembler-section records: none to measure, and position 0 is
  // past the end.
  uint32_t handle[4] = {};
  code = kNoCode;
  EXPECT_EQ(ios_module_asm_section_walk(file_, 1, m(), 0, handle, &code), 1);
  EXPECT_EQ(code, IOS_ERR_NO_ASM_SECTION);
  word = 7;
  EXPECT_EQ(ios_module_get_tree_measure(file_, 1, m(), &word, nullptr), 0);
  EXPECT_EQ(word, 0u);
  // A module id that names none passes the module lookup's code on.
  code = kNoCode;
  EXPECT_NE(ios_module_get_count_a(file_, 1, 5, &word, &code), 0);
  EXPECT_EQ(code, IOS_ERR_NO_MODULE);
}

}  // namespace
