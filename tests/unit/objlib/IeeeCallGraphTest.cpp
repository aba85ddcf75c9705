#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/expr_values.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_kit.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strbuf.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

// Four external functions f, g, h and k (symbol ids 1-4; k's name already carries
// the prefix): f calls g and h, and both of those call k.
class IeeeCallGraph : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, text("TRI"), nullptr), 0);
    for (const char* name : {"f", "g", "h", "@k"}) function(name);
    const uint32_t calls[][2] = {{1, 2}, {1, 3}, {2, 4}, {3, 4}};
    for (const auto& call : calls) {
      ASSERT_EQ(ios_callgraph_record(file_, call[0], call[1], 0, 0, 1, nullptr), 0);
    }
    ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);
  }
  void TearDown() override {
    if (writer_ != nullptr) ieee_writer_free(writer_);
    if (out_ != nullptr) std::fclose(out_);
    writer_ = nullptr;
    out_ = nullptr;
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }

  void function(const char* name) {
    IosHandle scope{0, 0};
    IosHandle handle{0, 0};
    ASSERT_EQ(ios_scope_get_global(file_, &scope, nullptr), 0);
    ASSERT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
    ASSERT_EQ(ios_symbol_set_name(handle, text(name), nullptr), 0);
  }
  // A writer in the sections part, as while it fills the call-graph assignments.
  IeeeWriter* writer() {
    out_ = std::tmpfile();
    writer_ = ieee_writer_new(out_, "m", file_);
    ieee_prepare_module(writer_);
    writer_->current_part = 2;
    return writer_;
  }
  Bytes output() {
    ieee_stream_close(&writer_->stream);
    return ieee_file_bytes(out_);
  }

  FILE* out_ = nullptr;
  IeeeWriter* writer_ = nullptr;
};

Bytes bytes_of(const StrBuf* buffer) {
  size_t length = ieee_buf_length(buffer);
  return length == 0 ? Bytes{} : Bytes(ieee_buf_bytes(buffer), ieee_buf_bytes(buffer) + length);
}

// The NN record naming a generated name index.
Bytes name_record(uint8_t index, const std::string& name) {
  Bytes record{0xF0, index, static_cast<uint8_t>(name.size())};
  for (char c : name) record.push_back(static_cast<uint8_t>(c));
  return record;
}

TEST_F(IeeeCallGraph, EachFunctionIsNamedOnceAndCallsFollowTheCallees) {
  IeeeWriter* w = writer();
  // The four externals take names 32-35; generated names follow them.
  ASSERT_EQ(w->next_name_index, 36u);
  ASSERT_EQ(w->contexts.size(), 1u);
  EXPECT_EQ(w->contexts[0]->node.object_id, 1u);
  StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  uint32_t error = 0;
  ASSERT_EQ(ieee_encode_callgraph(w, buffer, &error, IosHandle{file_, 1}), 0);
  // f(g(k)) then h, whose callee k was encoded already and adds no call.
  const Bytes expression{0xCE, 36, 0xCE, 37, 0xCE, 38, 0x9F, 0x9F, 0xCE, 39, 0x9F};
  EXPECT_EQ(bytes_of(buffer), expression);
  // A node encoded before appends nothing.
  ASSERT_EQ(ieee_encode_callgraph(w, buffer, &error, IosHandle{file_, 2}), 0);
  EXPECT_EQ(bytes_of(buffer), expression);
  Bytes expected = name_record(36, "@f");
  for (const Bytes& more : {name_record(37, "@g"), name_record(38, "@k"), name_record(39, "@h")}) {
    expected.insert(expected.end(), more.begin(), more.end());
  }
  EXPECT_EQ(output(), expected);
  ieee_buf_free(buffer);
}

TEST_F(IeeeCallGraph, CalleesWithContextEntriesAreNamedByTheirOVariable) {
  IeeeWriter* w = writer();
  for (uint32_t symbol : {2u, 3u}) {
    auto entry = std::make_unique<IeeeContextEntry>();
    entry->index = static_cast<uint32_t>(w->contexts.size());
    entry->record = ieee_letter_record(w, 0xCF, entry->index);
    entry->node = IosHandle{file_, symbol};
    w->contexts.push_back(std::move(entry));
  }
  StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  uint32_t error = 0;
  ASSERT_EQ(ieee_encode_callgraph(w, buffer, &error, IosHandle{file_, 1}), 0);
  EXPECT_EQ(bytes_of(buffer), (Bytes{0xCE, 36, 0xCF, 0x01, 0x9F, 0xCF, 0x02, 0x9F}));
  EXPECT_EQ(output(), name_record(36, "@f"));
  ieee_buf_free(buffer);
}

TEST_F(IeeeCallGraph, AFunctionOutsideTheGraphCannotBeEncoded) {
  IeeeWriter* w = writer();
  StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  uint32_t error = 0;
  EXPECT_EQ(ieee_encode_callgraph(w, buffer, &error, IosHandle{file_, 9}), 1);
  EXPECT_EQ(ieee_encode_callgraph(w, nullptr, &error, IosHandle{file_, 1}), 1);
  EXPECT_EQ(ieee_buf_length(buffer), 0u);
  EXPECT_EQ(output(), Bytes{});
  ieee_buf_free(buffer);
}

TEST_F(IeeeCallGraph, TheSectionsPartAssignsEachRootItsCallExpression) {
  IosHandle section{0, 0};
  ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
  ASSERT_EQ(ios_section_set_size(section, 0, nullptr), 0);
  FILE* out = std::tmpfile();
  uint32_t error = 99;
  ASSERT_EQ(ieee_write_module("m", out, file_, &error), 0);
  EXPECT_EQ(error, 0u);
  Bytes module = ieee_file_bytes(out);
  std::fclose(out);
  // The names go out ahead of the assignment that uses them.
  Bytes expected;
  for (const Bytes& more : {name_record(36, "@f"), name_record(37, "@g"), name_record(38, "@k"),
                            name_record(39, "@h"),
                            Bytes{0xE2, 0xCF, 0x00, 0xCE, 36, 0xCE, 37, 0xCE, 38, 0x9F, 0x9F, 0xCE, 39, 0x9F}}) {
    expected.insert(expected.end(), more.begin(), more.end());
  }
  EXPECT_NE(std::search(module.begin(), module.end(), expected.begin(), expected.end()), module.end());
}

TEST_F(IeeeCallGraph, GeneratedNameOperandsGetFreshNumbers) {
  IeeeWriter* w = writer();
  IosHandle alpha = text("alpha");
  struct Case {
    std::string operand;
    std::string after;
  };
  const Case cases[] = {
      {"S" + std::to_string(alpha.object_id), "S36"},
      {"T3", "T3"},
      {"N2", "N2"},
  };
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
  for (const Case& c : cases) {
    StrBuf* buffer = strbuf_from_string(c.operand.c_str());
    ExprNode* operand = nullptr;
    ASSERT_EQ(ieee_make_expression_node(context_, &operand, buffer), 0);
    ASSERT_EQ(expr_add_operand(list, operand), 0);
    expr_release(operand);
    ieee_buf_free(buffer);
  }
  uint32_t error = 0;
  EXPECT_EQ(ieee_emit_named_record(w, list, &error), 0);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(std::string(expr_operand(list, i)->payload.string->text), cases[i].after) << i;
  }
  StrBuf* encoded = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  ASSERT_EQ(ieee_encode_expression(w, encoded, expr_operand(list, 0)), 0);
  EXPECT_EQ(bytes_of(encoded), (Bytes{0xCE, 36}));
  EXPECT_EQ(output(), name_record(36, "alpha"));
  ieee_buf_free(encoded);
  expr_release(list);
}

TEST_F(IeeeCallGraph, NameAndCallAssignmentsOfTheSectionsPartFailOrSkipAsTheyMust) {
  struct Case {
    uint32_t type;
    IosHandle pending;   // the name an NN record consumes
    uint32_t call_index;  // of an AS O record
    int result;
    uint32_t error;
    size_t written;  // bytes
  };
  const Case cases[] = {
      {IEEE_NN, {0, 0}, 0, 0, 0, 0},              // nothing to name: no record at all
      {IEEE_NN, {1, 999}, 0, 1, 8, 0},            // a name without text
      {IEEE_NN, {1, 1}, 0, 0, 0, 6},              // F0 24 03 "TRI": string 1
      {IEEE_AS, {0, 0}, 5, 1, 6, 0},              // no such root
      {IEEE_AS, {0, 0}, 0, 0, 0, 4 * 5 + 14},     // four names, then E2 CF 00 and the calls
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.type << " " << c.pending.object_id);
    TearDown();
    SetUp();
    IeeeWriter* w = writer();
    w->pending_name = IosHandle{c.pending.file_id != 0 ? file_ : 0, c.pending.object_id};
    w->call_index = c.call_index;
    uint32_t error = 0;
    IeeeVariable variable{0xCF, 0};
    EXPECT_EQ(ieee_emit_record(w, c.type, c.type == IEEE_AS ? &variable : nullptr, ieee_fill_record, &error),
              c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(w->pending_name.object_id, 0u);
    EXPECT_EQ(output().size(), c.written);
  }
}

TEST_F(IeeeCallGraph, CallChainsDeeperThanTheEncoderNestsAreRefused) {
  struct Case {
    uint32_t length;  // functions in the chain, each calling the next
    int result;
    uint32_t error;
  };
  const Case cases[] = {{4001, 0, 0}, {4002, 1, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TearDown();
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    for (uint32_t i = 1; i <= c.length; ++i) function("c");
    for (uint32_t i = 1; i < c.length; ++i) {
      ASSERT_EQ(ios_callgraph_record(file_, i, i + 1, 0, 0, 1, nullptr), 0);
    }
    IeeeWriter* w = writer();
    StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
    uint32_t error = 0;
    EXPECT_EQ(ieee_encode_callgraph(w, buffer, &error, IosHandle{file_, 1}), c.result);
    EXPECT_EQ(error, c.error);
    ieee_buf_free(buffer);
  }
}

TEST_F(IeeeCallGraph, AReaderGetsAReadStreamScopesAndEmptyTables) {
  out_ = std::tmpfile();
  std::fputc(0xE0, out_);
  std::rewind(out_);
  writer_ = ieee_writer_new(out_, "m", file_);
  ieee_prepare_module(writer_);
  ASSERT_NE(writer_->stream, nullptr);
  ASSERT_FALSE(writer_->names.empty());
  ieee_prepare_reader(writer_);
  ASSERT_NE(writer_->stream, nullptr);
  EXPECT_EQ(writer_->stream->mode, 0u);
  EXPECT_EQ(writer_->output_off, 0u);
  EXPECT_EQ(ieee_peek_record_code(writer_->stream), 0xE0u);
  EXPECT_GT(writer_->reader_global_scope.object_id, 0u);
  EXPECT_GT(writer_->reader_scope.object_id, writer_->reader_global_scope.object_id);
  EXPECT_TRUE(writer_->names.empty());
  EXPECT_TRUE(writer_->contexts.empty());
  EXPECT_EQ(writer_->next_name_index, 32u);

  IeeeWriter* without = ieee_writer_new(nullptr, "m", file_);
  ieee_prepare_reader(without);
  EXPECT_EQ(without->output_off, 1u);
  ieee_writer_free(without);
}

}  // namespace
