// Writer-kit calls that emit a record either write the whole record or, when it is
// refused, nothing at all: a refused record leaves no stray bytes in the module.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/expr_values.h"
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

// A name that no name string can hold (its length does not fit the longest prefix),
// and one that does but is longer than a stream block.
const std::string TOO_LONG(70000, 'q');
const std::string LONG(20000, 'q');

// A store file with one 32-byte section and a call graph f -> g, where f can be given
// another name.
class IeeeRefusedCall : public OneStoreFile {
 protected:
  void make(const std::string& function_name) {
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, text("TRI"), nullptr), 0);
    IosHandle section{0, 0};
    ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
    ASSERT_EQ(ios_section_set_name(section, text(".data"), nullptr), 0);
    ASSERT_EQ(ios_section_set_alignment(section, 1, nullptr), 0);
    ASSERT_EQ(ios_section_set_size(section, 32, nullptr), 0);
    ASSERT_EQ(ios_section_create_image(section, nullptr, nullptr), 0);
    for (const std::string& name : {function_name, std::string("g")}) {
      IosHandle scope{0, 0};
      IosHandle handle{0, 0};
      ASSERT_EQ(ios_scope_get_global(file_, &scope, nullptr), 0);
      ASSERT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
      ASSERT_EQ(ios_symbol_set_name(handle, text(name.c_str()), nullptr), 0);
    }
    ASSERT_EQ(ios_callgraph_record(file_, 1, 2, 0, 0, 1, nullptr), 0);
    ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);
  }
  void TearDown() override {
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }
  // An operator node over one generated name operand "S<string id>".
  ExprNode* generated_name(IosHandle string) {
    ExprNode* list = nullptr;
    EXPECT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
    std::string name(1, 'S');
    name += std::to_string(string.object_id);
    StrBuf* buffer = strbuf_from_string(name.c_str());
    ExprNode* operand = nullptr;
    EXPECT_EQ(ieee_make_expression_node(context_, &operand, buffer), 0);
    EXPECT_EQ(expr_add_operand(list, operand), 0);
    expr_release(operand);
    ieee_buf_free(buffer);
    return list;
  }
};

// A record coder that fills nothing: the record keeps its defaults, which no BB,
// BE or AS record may be written with.
uint32_t fill_nothing(IeeeWriter*, uint32_t*) { return 0; }

// A coder that gives a BB record its block kind and a size, and nothing else.
uint32_t fill_block(IeeeWriter* writer, uint32_t*) {
  if (writer->current->type == IEEE_BB) {
    writer->current->body->bb.block_type = writer->current_block->kind;
    writer->current->body->bb.size = 0;
  }
  return 0;
}

enum class Call { LoadAddress, BlockBegin, BlockEnd, NamedRecord, CallGraph };

TEST_F(IeeeRefusedCall, ARefusedCallWritesNothing) {
  struct Case {
    const char* name;
    Call call;
    uint32_t part;             // the part the writer stands in
    IeeeFillCallback coder;    // for the block calls; the others use the module's own
    std::string function;      // the name of the calling function
    int result;
    uint32_t error;
    Bytes bytes;               // what the call appends to the module
  };
  const Bytes none;
  Bytes long_names{0xF0, 0x22, 0xDF, 0x4E, 0x21, 0x40};
  long_names.insert(long_names.end(), LONG.begin(), LONG.end());
  long_names.insert(long_names.end(), {0xF0, 0x23, 0x02, 0x40, 0x67});
  const Case cases[] = {
      // A load address step is an assignment of the data part only.
      {"load address, sections part", Call::LoadAddress, 2, nullptr, "f", 1, 2, none},
      {"load address, trailer part", Call::LoadAddress, 6, nullptr, "f", 1, 2, none},
      {"load address, module head", Call::LoadAddress, 8, nullptr, "f", 1, 2, none},
      {"load address, externals part", Call::LoadAddress, 3, nullptr, "f", 1, 8, none},
      {"load address, environment part", Call::LoadAddress, 1, nullptr, "f", 1, 10, none},
      {"load address, data part", Call::LoadAddress, 5, nullptr, "f", 0, 0,
       {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x10, 0xA5}},
      // A block record without a block type.
      {"block begin, coder leaves the type unset", Call::BlockBegin, 4, fill_nothing, "f", 1, 2, none},
      {"block begin, coder leaves the type unset, data part", Call::BlockBegin, 5, fill_nothing, "f", 1, 2,
       none},
      {"block begin, coder sets the type", Call::BlockBegin, 4, fill_block, "f", 0, 0, {0xF8, 0x01, 0x00, 0x00}},
      {"block begin, module coder outside the debug part", Call::BlockBegin, 2, ieee_fill_record, "f", 1, 10,
       none},
      {"block end", Call::BlockEnd, 4, fill_nothing, "f", 0, 0, {0xF9}},
      {"block end, module coder outside the debug part", Call::BlockEnd, 5, ieee_fill_record, "f", 1, 10, none},
      // Name records whose name is too long for a name string.
      {"generated name, long text", Call::NamedRecord, 2, nullptr, TOO_LONG, 1, 2, none},
      {"generated name", Call::NamedRecord, 2, nullptr, "f", 0, 0, {0xF0, 0x22, 0x01, 0x66}},
      {"call graph, long function name", Call::CallGraph, 2, nullptr, TOO_LONG, 1, 2, none},
      {"call graph, name longer than a stream block", Call::CallGraph, 2, nullptr, LONG, 0, 0, long_names},
      {"call graph", Call::CallGraph, 4, nullptr, "f", 0, 0,
       {0xF0, 0x22, 0x02, 0x40, 0x66, 0xF0, 0x23, 0x02, 0x40, 0x67}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    make(c.function);
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ieee_prepare_module(writer);
    ASSERT_EQ(writer->sections.size(), 1u);
    uint32_t error = 0;
    if (c.call == Call::BlockEnd) {
      writer->current_part = 4;
      ASSERT_EQ(ieee_block_begin(writer, ieee_block_new(writer, 1), fill_block, &error), 0);
    }
    uint64_t before = writer->stream->position;
    writer->current_part = c.part;
    int result = -1;
    switch (c.call) {
      case Call::LoadAddress:
        result = ieee_set_load_address(writer, writer->sections[0].get(), 16, &error);
        // A step that is not written leaves the entry where the module stands.
        EXPECT_EQ(writer->sections[0]->load_address, c.result == 0 ? 16u : 0u);
        break;
      case Call::BlockBegin:
        result = ieee_block_begin(writer, ieee_block_new(writer, 1), c.coder, &error);
        break;
      case Call::BlockEnd:
        result = ieee_block_end(writer, c.coder, &error);
        break;
      case Call::NamedRecord: {
        // Strings 1 and 2 are the processor and section names; 3 is the first function's.
        ExprNode* node = generated_name(IosHandle{file_, 3});
        result = ieee_emit_named_record(writer, node, &error);
        expr_release(node);
        break;
      }
      case Call::CallGraph: {
        StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
        result = ieee_encode_callgraph(writer, buffer, &error, IosHandle{file_, 1});
        ieee_buf_free(buffer);
        break;
      }
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(writer->stream->position - before, c.bytes.size());
    ieee_stream_close(&writer->stream);
    Bytes bytes = ieee_file_bytes(out);
    ASSERT_GE(bytes.size(), before);
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(before), bytes.end()), c.bytes);
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

}  // namespace
