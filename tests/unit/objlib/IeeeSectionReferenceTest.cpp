#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_section.h"
#include "objlib/ios_symbol.h"
#include "objlib/ios_symbol_ops.h"

namespace {

// Symbols of the root scope have no name of their own in a module; references to
// them must reach the section they stand for.
class IeeeSectionReference : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    for (IosHandle* section : {&first_, &second_}) {
      ASSERT_EQ(ios_section_create(file_, nullptr, section, nullptr), 0);
    }
    ASSERT_EQ(ios_create_root_scope(file_, &root_, nullptr), 0);
  }
  void TearDown() override {
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }

  IosSymbol* symbol() {
    IosHandle handle{0, 0};
    EXPECT_EQ(ios_symbol_create_with_slot(file_, root_, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
    IosSymbol* record = nullptr;
    EXPECT_EQ(ios_get_symbol(handle, &record, nullptr), 0);
    return record;
  }
  void set_value(IosSymbol* record, ExprNode* value) {
    EXPECT_EQ(ios_location_set(record->slot, value, nullptr), 0);
    expr_release(value);
  }
  ExprNode* reference(uint32_t slot) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, slot, context_), 0);
    return node;
  }

  IosHandle first_{0, 0};
  IosHandle second_{0, 0};
  IosHandle root_{0, 0};
};

TEST_F(IeeeSectionReference, SymbolsThatStandForASectionEncodeAsItsBase) {
  IosSection* second = nullptr;
  ASSERT_EQ(ios_get_section(second_, &second, nullptr), 0);
  // The section's own symbol.
  IosSymbol* own = symbol();
  ASSERT_EQ(ios_symbol_set_type(IosHandle{file_, own->symbol_id}, IOS_SYMBOL_SECTION, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_section(IosHandle{file_, own->symbol_id}, second_, nullptr), 0);
  // A symbol whose value is the section's address itself.
  IosSymbol* start = symbol();
  set_value(start, reference(second->address_slot.index));
  // A symbol whose value leads through another symbol to the section.
  IosSymbol* chained = symbol();
  set_value(chained, reference(start->slot.index));
  // A symbol with a plain number reaches nothing.
  IosSymbol* number = symbol();
  set_value(number, integer(5));
  // A symbol that names itself ends the search.
  IosSymbol* itself = symbol();
  set_value(itself, reference(itself->slot.index));

  FILE* out = std::tmpfile();
  IeeeWriter* writer = ieee_writer_new(out, "m", file_);
  ieee_prepare_module(writer);
  struct Case {
    const IosSymbol* symbol;
    Bytes encoding;
  };
  const Case cases[] = {
      {own, {0xD2, 0x02}},  {start, {0xD2, 0x02}}, {chained, {0xD2, 0x02}},
      {number, {}},         {itself, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol->symbol_id);
    writer->letter_cache = nullptr;
    writer->current_section = nullptr;
    StrBuf* buffer = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
    ExprNode* node = reference(c.symbol->slot.index);
    ASSERT_EQ(ieee_encode_expression(writer, buffer, node), 0);
    EXPECT_EQ(ieee_buf_to_bytes(buffer), c.encoding);
    expr_release(node);
    ieee_buf_free(buffer);
  }
  ieee_writer_free(writer);
  std::fclose(out);
}

}  // namespace
