#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "IeeeStreamFixture.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"

namespace {

StrBuf* bytes_of(const Bytes& bytes) {
  StrBuf* buffer = ieee_buf_new(0);
  ieee_buf_append_bytes(buffer, bytes.data(), bytes.size());
  return buffer;
}

struct RecordCase {
  const char* name;
  uint32_t type;
  std::function<void(IeeeBody&)> fill;
  int result;
  Bytes bytes;
  // Checks the record read back from the bytes; null when the bytes do not read back.
  std::function<void(const IeeeRecord&)> check;
};

Bytes write_record(const RecordCase& c, int* result) {
  IeeeRecord record{};
  ieee_record_init(&record, c.type);
  c.fill(*record.body);
  Bytes bytes = ieee_written([&](IeeeStream* s) { return ieee_record_transfer(&record, s); }, result);
  EXPECT_EQ(record.start_offset, 0u);
  EXPECT_EQ(record.length, bytes.size());
  ieee_record_clear(&record);
  return bytes;
}

TEST(IeeeRecordCodec, EveryRecordTypeIsWrittenAndReadBack) {
  ieee_process_state_reset();
  const RecordCase cases[] = {
      {"ME", IEEE_ME, [](IeeeBody&) {}, 1, {0xE1}, [](const IeeeRecord& r) { EXPECT_EQ(r.type, IEEE_ME); }},
      {"MB", IEEE_MB,
       [](IeeeBody& b) {
         b.mb.processor = ieee_test_text("TC");
         b.mb.module = ieee_test_text("m");
       },
       1, {0xE0, 0x02, 'T', 'C', 0x01, 'm'},
       [](const IeeeRecord& r) { EXPECT_EQ(ieee_buf_to_bytes(r.body->mb.module), (Bytes{'m'})); }},
      {"MB without processor", IEEE_MB, [](IeeeBody&) {}, 0, {0xE0, 0x00}, nullptr},
      {"AS G", IEEE_AS,
       [](IeeeBody& b) {
         b.as.letter = 0xC7;
         b.as.index = 0;
         b.as.value.text = bytes_of({0x05});
       },
       1, {0xE2, 0xC7, 0xBE, 0x05, 0xBF},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->as.letter, 0xC7u);
         EXPECT_EQ(r.body->as.index, 0u);
         EXPECT_EQ(ieee_buf_to_bytes(r.body->as.value.text), (Bytes{0xBE, 0x05, 0xBF}));
       }},
      {"AS W number", IEEE_AS,
       [](IeeeBody& b) {
         b.as.letter = 0xD7;
         b.as.index = 3;
         ieee_value_set_number(&b.as.value, 0x1000);
       },
       1, {0xE2, 0xD7, 0x03, 0x82, 0x10, 0x00},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->as.index, 3u);
         EXPECT_EQ(ieee_buf_to_bytes(r.body->as.value.text), (Bytes{0x82, 0x10, 0x00}));
       }},
      {"AS without letter", IEEE_AS, [](IeeeBody& b) { ieee_value_set_number(&b.as.value, 1); }, 0,
       {0xE2, 0x00, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, nullptr},
      {"E3", IEEE_E3,
       [](IeeeBody& b) {
         b.e3.letter = 0xD0;
         b.e3.value.text = bytes_of({0x07});
       },
       1, {0xE3, 0xD0, 0x07}, [](const IeeeRecord& r) { EXPECT_EQ(r.body->e3.letter, 0xD0u); }},
      {"LR data", IEEE_LR,
       [](IeeeBody& b) {
         b.lr.item_kind = IEEE_LR_DATA;
         b.lr.count = 2;
         b.lr.data[0] = 0x11;
         b.lr.data[1] = 0x22;
       },
       1, {0xE4, 0x02, 0x11, 0x22},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->lr.item_kind, IEEE_LR_DATA);
         EXPECT_EQ(r.body->lr.data[1], 0x22);
       }},
      {"LR expression", IEEE_LR,
       [](IeeeBody& b) {
         b.lr.item_kind = IEEE_LR_EXPRESSION;
         b.lr.expression.text = bytes_of({0xBE, 0xD2, 0x01, 0xBF});
       },
       1, {0xE4, 0xBE, 0xD2, 0x01, 0xBF},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->lr.item_kind, IEEE_LR_EXPRESSION); }},
      {"LR without item", IEEE_LR, [](IeeeBody&) {}, 0, {0xE4}, nullptr},
      {"LR over its data area", IEEE_LR,
       [](IeeeBody& b) {
         b.lr.item_kind = IEEE_LR_DATA;
         b.lr.count = IEEE_LR_DATA_BYTES + 1;
       },
       0, {0xE4}, nullptr},
      {"SB", IEEE_SB, [](IeeeBody& b) { b.number.number = 1; }, 1, {0xE5, 0x01},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->number.number, 1u); }},
      {"SB unset", IEEE_SB, [](IeeeBody&) {}, 0, {0xE5, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, nullptr},
      {"RE", IEEE_RE, [](IeeeBody& b) { b.number.number = 300; }, 1, {0xF7, 0x82, 0x01, 0x2C}, nullptr},
      {"ST", IEEE_ST,
       [](IeeeBody& b) {
         b.st.section = 1;
         b.st.types[0] = 0xC1;
         b.st.types[1] = 0xD9;
         b.st.types[2] = 5;
         b.st.types[3] = 0xD8;
         b.st.name = ieee_test_text(".text");
       },
       1, {0xE6, 0x01, 0xC1, 0xD9, 0x05, 0xD8, 0x05, '.', 't', 'e', 'x', 't'},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->st.types[1], 0xD9u);
         EXPECT_EQ(r.body->st.types[2], 5u);
         EXPECT_EQ(r.body->st.types[3], 0xD8u);
         EXPECT_EQ(r.body->st.types[4], 0u);
         EXPECT_EQ(ieee_buf_to_bytes(r.body->st.name).size(), 5u);
       }},
      {"SA index only", IEEE_SA, [](IeeeBody& b) { b.sa.section = 2; }, 1, {0xE7, 0x02},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->sa.alignment, IEEE_UNSET);
         EXPECT_EQ(r.body->sa.page_size, IEEE_UNSET);
       }},
      {"SA full", IEEE_SA, [](IeeeBody& b) { b.sa = IeeeBodySA{2, 4, 0x100}; }, 1,
       {0xE7, 0x02, 0x04, 0x82, 0x01, 0x00},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->sa.page_size, 0x100u); }},
      {"NI", IEEE_NI,
       [](IeeeBody& b) {
         b.name.index = 40;
         b.name.name = ieee_test_text("abc");
       },
       1, {0xE8, 0x28, 0x03, 'a', 'b', 'c'},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->name.letter, 0xC9u);
         EXPECT_EQ(r.body->name.index, 40u);
       }},
      {"NI without name", IEEE_NI, [](IeeeBody& b) { b.name.index = 40; }, 0, {0xE8, 0x28, 0x00}, nullptr},
      {"NX", IEEE_NX,
       [](IeeeBody& b) {
         b.name.index = 33;
         b.name.name = ieee_test_text("x");
       },
       1, {0xE9, 0x21, 0x01, 'x'}, [](const IeeeRecord& r) { EXPECT_EQ(r.body->name.letter, 0xD8u); }},
      {"NN", IEEE_NN, [](IeeeBody& b) { b.name.index = 34; }, 1, {0xF0, 0x22, 0x00}, nullptr},
      {"CO", IEEE_CO,
       [](IeeeBody& b) {
         b.co.number = 37;
         b.co.text = ieee_test_text("v");
       },
       1, {0xEA, 0x25, 0x01, 'v'}, [](const IeeeRecord& r) { EXPECT_EQ(r.body->co.number, 37u); }},
      {"date", IEEE_DT, [](IeeeBody& b) { b.dt = IeeeBodyDT{{2026, 12, 10, 6, 30, 59}}; }, 1,
       {0xEB, 0x82, 0x07, 0xEA, 0x0C, 0x0A, 0x06, 0x1E, 0x3B},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->dt.fields[0], 2026u); }},
      {"AD", IEEE_AD, [](IeeeBody& b) { b.ad = IeeeBodyAD{8, 4, 0xCD}; }, 1, {0xEC, 0x08, 0x04, 0xCD},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->ad.order, 0xCDu); }},
      {"LD", IEEE_LD,
       [](IeeeBody& b) {
         b.ld.count = 3;
         b.ld.data[0] = 1;
         b.ld.data[1] = 2;
         b.ld.data[2] = 0xE1;
       },
       1, {0xED, 0x03, 0x01, 0x02, 0xE1}, [](const IeeeRecord& r) { EXPECT_EQ(r.body->ld.data[2], 0xE1); }},
      {"AT", IEEE_AT,
       [](IeeeBody& b) {
         b.at.letter = 0xC9;
         b.at.index = 32;
         b.at.numbers[0] = 19;
         b.at.numbers[1] = 0x81;
       },
       1, {0xF1, 0xC9, 0x20, 0x13, 0x81, 0x81},
       [](const IeeeRecord& r) {
         EXPECT_EQ(r.body->at.numbers[1], 0x81u);
         EXPECT_EQ(r.body->at.third_present, 0u);
       }},
      {"TY", IEEE_TY,
       [](IeeeBody& b) {
         b.ty.type_index = 300;
         for (uint32_t item : {1u, ieee_item_letter(0xCE), 5u}) ieee_items_append(b.ty.items, item);
       },
       1, {0xF2, 0x82, 0x01, 0x2C, 0x01, 0xCE, 0x05},
       [](const IeeeRecord& r) {
         ASSERT_EQ(r.body->ty.items->count, 3u);
         EXPECT_EQ(r.body->ty.items->items[1], ieee_item_letter(0xCE));
       }},
      {"TY without items", IEEE_TY, [](IeeeBody& b) { b.ty.type_index = 257; }, 0, {0xF2, 0x82, 0x01, 0x01},
       nullptr},
      {"WX", IEEE_WX,
       [](IeeeBody& b) {
         b.wx.index = 33;
         b.wx.value.text = bytes_of({0x00});
       },
       1, {0xF4, 0x21, 0x00}, nullptr},
      {"BB type 0", IEEE_BB,
       [](IeeeBody& b) {
         b.bb.block_type = 0;
         b.bb.size = 0;
         b.bb.name = ieee_test_text("ignored");
       },
       1, {0xF8, 0x00, 0x00},
       [](const IeeeRecord& r) { EXPECT_EQ(ieee_buf_length(r.body->bb.name), 0u); }},
      {"BE empty", IEEE_BE, [](IeeeBody&) {}, 1, {0xF9},
       [](const IeeeRecord& r) { EXPECT_EQ(r.body->be.value.text, nullptr); }},
      {"FB", IEEE_FB, [](IeeeBody& b) { b.fb = IeeeBodyFB{2, 16}; }, 1, {0xFB, 0x02, 0x10}, nullptr},
      {"FC", IEEE_FC, [](IeeeBody& b) { b.name.index = 32; }, 1, {0xFC, 0x20}, nullptr},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    int result = -1;
    Bytes bytes = write_record(c, &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(bytes, c.bytes);
    if (!c.check) continue;
    // Read mode: set up for another type on purpose; the body follows the type found.
    IeeeReader reader(c.bytes);
    IeeeRecord record{};
    ieee_record_init(&record, c.type == IEEE_ME ? IEEE_AS : IEEE_ME);
    EXPECT_EQ(ieee_record_transfer(&record, reader.stream), 1);
    EXPECT_EQ(record.type, c.type == IEEE_FA ? IEEE_LR : c.type);
    EXPECT_EQ(record.length, c.bytes.size());
    c.check(record);
    ieee_record_clear(&record);
  }
}

TEST(IeeeRecordCodec, ReadersRefuseBodiesBeyondTheirCapacity) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  Bytes longList{0xE6, 0x01};
  for (int i = 0; i < 16; ++i) longList.push_back(0xC1);
  Bytes longLd{0xED, 0x81, 0xB9};  // 185 bytes
  longLd.resize(longLd.size() + 185, 0x11);
  Bytes longLr{0xE4, 0x81, 0x81};  // 129 bytes
  longLr.resize(longLr.size() + 129, 0x22);
  const Case cases[] = {
      {"ST list", longList},
      {"LD count", longLd},
      {"LR count", longLr},
      {"LD cut short", {0xED, 0x05, 0x01, 0x02}},
      {"TY stray byte", {0xF2, 0x82, 0x01, 0x01, 0x05, 0x9A, 0x05}},
      {"unknown type", {0xEE, 0x01}},
      {"not a record byte", {0x05}},
      {"end of input", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IeeeReader reader(c.bytes);
    IeeeRecord record{};
    EXPECT_EQ(ieee_record_transfer(&record, reader.stream), 0);
    ieee_record_clear(&record);
  }
}

TEST(IeeeRecordCodec, LrItemsOfOneRecordShareAParity) {
  ieee_process_state_reset();
  IeeeReader reader(Bytes{0xE4, 0x02, 0x11, 0x22, 0xBE, 0x05, 0xBF, 0xE4, 0x01, 0x33, 0xE1});
  struct Expect {
    int16_t kind;
    int16_t parity;
  };
  const Expect expected[] = {{IEEE_LR_DATA, 0}, {IEEE_LR_EXPRESSION, 0}, {IEEE_LR_DATA, 1}};
  for (const Expect& e : expected) {
    IeeeRecord record{};
    ASSERT_EQ(ieee_record_transfer(&record, reader.stream), 1);
    EXPECT_EQ(record.type, IEEE_LR);
    EXPECT_EQ(record.body->lr.item_kind, e.kind);
    EXPECT_EQ(record.body->lr.parity, e.parity);
    ieee_record_clear(&record);
  }
  EXPECT_EQ(ieee_lr_parity(), 0);
  EXPECT_EQ(reader.rest(), Bytes{0xE1});
  ieee_process_state_reset();
}

TEST(IeeeRecordCodec, ClearingTwiceReleasesOnce) {
  for (uint32_t type = IEEE_MB; type <= IEEE_FC; ++type) {
    IeeeRecord record{};
    if (ieee_record_init(&record, type) == nullptr) {
      EXPECT_FALSE(ieee_record_type_known(type));
      continue;
    }
    ieee_record_clear(&record);
    EXPECT_EQ(record.type, 0u);
    EXPECT_EQ(record.body, nullptr);
    ieee_record_clear(&record);
    if (type == IEEE_TY) {
      EXPECT_EQ(record.storage.ty.items, nullptr);
    }
  }
  EXPECT_EQ(ieee_record_init(nullptr, IEEE_ME), nullptr);
  for (uint32_t type : {0xEEu, 0xEFu, 0xF3u, 0xF5u, 0xF6u, 0xDFu, 0xFDu}) {
    IeeeRecord record{};
    EXPECT_EQ(ieee_record_init(&record, type), nullptr) << std::hex << type;
    EXPECT_EQ(record.type, 0u);
  }
}

}  // namespace

namespace {

// One record type's own routines: its defaults over a body full of stale bytes, then
// its body coder. Stale bytes that the defaults miss show in what is written.
struct TypeRoutines {
  const char* name;
  uint32_t type;
  std::function<void(IeeeBody*)> init;
  std::function<int(IeeeBody*, IeeeStream*)> code;
  std::function<void(IeeeBody&)> fill;
  Bytes bytes;  // the body after the type byte
};

template <typename Body>
TypeRoutines routines(const char* name, uint32_t type, void (*init)(Body*), int (*code)(Body*, IeeeStream*),
                      Body IeeeBody::*member, std::function<void(Body&)> fill, Bytes bytes) {
  return TypeRoutines{name,
                      type,
                      [init, member](IeeeBody* b) { init(b == nullptr ? nullptr : &(b->*member)); },
                      [code, member](IeeeBody* b, IeeeStream* s) { return code(b == nullptr ? nullptr : &(b->*member), s); },
                      [fill, member](IeeeBody& b) { fill(b.*member); },
                      std::move(bytes)};
}

// A record block whose body holds stale bytes, set up by the routine under test.
struct StaleRecord {
  IeeeRecord record{};
  StaleRecord(const TypeRoutines& r, uint8_t stale) {
    std::memset(&record.storage, stale, sizeof record.storage);
    record.type = r.type;
    record.body = &record.storage;
    r.init(record.body);
  }
  ~StaleRecord() { ieee_record_clear(&record); }
  StaleRecord(const StaleRecord&) = delete;
  StaleRecord& operator=(const StaleRecord&) = delete;
};

}  // namespace

TEST(IeeeRecordCodec, EachTypesOwnDefaultsAndCoderRoundTrip) {
  ieee_process_state_reset();
  const TypeRoutines cases[] = {
      routines<IeeeBodyMB>("MB", IEEE_MB, ieee_init_rec_e0, ieee_code_rec_e0, &IeeeBody::mb,
                           [](IeeeBodyMB& b) {
                             b.processor = ieee_test_text("TC");
                             b.module = ieee_test_text("m");
                           },
                           {0x02, 'T', 'C', 0x01, 'm'}),
      routines<IeeeBodyAS>("AS", IEEE_AS, ieee_init_rec_e2, ieee_code_rec_e2, &IeeeBody::as,
                           [](IeeeBodyAS& b) {
                             b.letter = 0xD0;
                             b.index = 1;
                             b.value.text = bytes_of({0x05});
                           },
                           {0xD0, 0x01, 0x05}),
      routines<IeeeBodyE3>("E3", IEEE_E3, ieee_init_rec_e3, ieee_code_rec_e3, &IeeeBody::e3,
                           [](IeeeBodyE3& b) {
                             b.letter = 0xD0;
                             b.value.text = bytes_of({0x07});
                           },
                           {0xD0, 0x07}),
      routines<IeeeBodyLR>("LR", IEEE_LR, ieee_init_rec_e4, ieee_code_rec_e4, &IeeeBody::lr,
                           [](IeeeBodyLR& b) {
                             b.item_kind = IEEE_LR_DATA;
                             b.count = 2;
                             b.data[0] = 0x11;
                             b.data[1] = 0x22;
                           },
                           {0x02, 0x11, 0x22}),
      routines<IeeeBodyNumber>("SB", IEEE_SB, ieee_init_rec_e5, ieee_code_rec_e5, &IeeeBody::number,
                               [](IeeeBodyNumber& b) { b.number = 3; }, {0x03}),
      routines<IeeeBodyST>("ST", IEEE_ST, ieee_init_rec_e6, ieee_code_rec_e6, &IeeeBody::st,
                           [](IeeeBodyST& b) {
                             b.section = 1;
                             b.types[0] = 0xC1;
                             b.types[1] = 0xD9;
                             b.types[2] = 5;
                             b.name = ieee_test_text("t");
                           },
                           {0x01, 0xC1, 0xD9, 0x05, 0x01, 't'}),
      routines<IeeeBodySA>("SA", IEEE_SA, ieee_init_rec_e7, ieee_code_rec_e7, &IeeeBody::sa,
                           [](IeeeBodySA& b) { b.section = 2; }, {0x02}),
      routines<IeeeBodyName>("NI", IEEE_NI, ieee_init_rec_e8, ieee_code_rec_e8, &IeeeBody::name,
                             [](IeeeBodyName& b) {
                               b.index = 40;
                               b.name = ieee_test_text("abc");
                             },
                             {0x28, 0x03, 'a', 'b', 'c'}),
      routines<IeeeBodyName>("NX", IEEE_NX, ieee_init_rec_e9, ieee_code_rec_e9, &IeeeBody::name,
                             [](IeeeBodyName& b) {
                               b.index = 33;
                               b.name = ieee_test_text("x");
                             },
                             {0x21, 0x01, 'x'}),
      routines<IeeeBodyCO>("CO", IEEE_CO, ieee_init_rec_ea, ieee_code_rec_ea, &IeeeBody::co,
                           [](IeeeBodyCO& b) {
                             b.number = 37;
                             b.text = ieee_test_text("v");
                           },
                           {0x25, 0x01, 'v'}),
      routines<IeeeBodyDT>("date", IEEE_DT, ieee_init_rec_eb, ieee_code_rec_eb, &IeeeBody::dt,
                           [](IeeeBodyDT& b) {
                             for (uint64_t i = 0; i < 6; ++i) b.fields[i] = i + 1;
                           },
                           {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}),
      routines<IeeeBodyAD>("AD", IEEE_AD, ieee_init_rec_ec, ieee_code_rec_ec, &IeeeBody::ad,
                           [](IeeeBodyAD& b) {
                             b.bits_per_mau = 8;
                             b.maus_per_address = 4;
                             b.order = 0xCD;
                           },
                           {0x08, 0x04, 0xCD}),
      routines<IeeeBodyLD>("LD", IEEE_LD, ieee_init_rec_ed, ieee_code_rec_ed, &IeeeBody::ld,
                           [](IeeeBodyLD& b) {
                             b.count = 2;
                             b.data[0] = 1;
                             b.data[1] = 2;
                           },
                           {0x02, 0x01, 0x02}),
      routines<IeeeBodyName>("NN", IEEE_NN, ieee_init_rec_f0, ieee_code_rec_f0, &IeeeBody::name,
                             [](IeeeBodyName& b) {
                               b.index = 32;
                               b.name = ieee_test_text("n");
                             },
                             {0x20, 0x01, 'n'}),
      routines<IeeeBodyAT>("AT", IEEE_AT, ieee_init_rec_f1, ieee_code_rec_f1, &IeeeBody::at,
                           [](IeeeBodyAT& b) {
                             b.letter = 0xCE;
                             b.index = 32;
                             b.numbers[0] = 19;
                           },
                           {0xCE, 0x20, 0x13}),
      routines<IeeeBodyTY>("TY", IEEE_TY, ieee_init_rec_f2, ieee_code_rec_f2, &IeeeBody::ty,
                           [](IeeeBodyTY& b) {
                             b.type_index = 300;
                             for (uint32_t item : {1u, ieee_item_letter(0xCE), 5u}) ieee_items_append(b.items, item);
                           },
                           {0x82, 0x01, 0x2C, 0x01, 0xCE, 0x05}),
      routines<IeeeBodyWX>("WX", IEEE_WX, ieee_init_rec_f4, ieee_code_rec_f4, &IeeeBody::wx,
                           [](IeeeBodyWX& b) { b.index = 33; }, {0x21}),
      routines<IeeeBodyNumber>("RE", IEEE_RE, ieee_init_rec_f7, ieee_code_rec_f7, &IeeeBody::number,
                               [](IeeeBodyNumber& b) { b.number = 4; }, {0x04}),
      routines<IeeeBodyBB>("BB", IEEE_BB, ieee_init_rec_f8, ieee_code_rec_f8, &IeeeBody::bb,
                           [](IeeeBodyBB& b) {
                             b.block_type = 1;
                             b.size = 0;
                             b.name = ieee_test_text("b");
                           },
                           {0x01, 0x00, 0x01, 'b'}),
      routines<IeeeBodyBE>("BE", IEEE_BE, ieee_init_rec_f9, ieee_code_rec_f9, &IeeeBody::be,
                           [](IeeeBodyBE&) {}, {}),
      routines<IeeeBodyFB>("0xFB", IEEE_FB, ieee_init_rec_fb, ieee_code_rec_fb, &IeeeBody::fb,
                           [](IeeeBodyFB& b) {
                             b.first = 1;
                             b.second = 8;
                           },
                           {0x01, 0x08}),
      routines<IeeeBodyName>("0xFC", IEEE_FC, ieee_init_rec_fc, ieee_code_rec_fc, &IeeeBody::name,
                             [](IeeeBodyName& b) { b.index = 40; }, {0x28}),
  };
  for (const TypeRoutines& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes written;
    {
      StaleRecord out(c, 0xA5);
      c.fill(*out.record.body);
      int result = 0;
      written = ieee_written([&](IeeeStream* s) { return c.code(out.record.body, s); }, &result);
      EXPECT_EQ(result, 1);
      EXPECT_EQ(written, c.bytes);
    }
    StaleRecord in(c, 0x5A);
    IeeeReader reader(written);
    EXPECT_EQ(c.code(in.record.body, reader.stream), 1);
    int result = 0;
    EXPECT_EQ(ieee_written([&](IeeeStream* s) { return c.code(in.record.body, s); }, &result), c.bytes);
    EXPECT_EQ(result, 1);
    // Without a body there is nothing to code, and nothing to set up.
    EXPECT_EQ(c.code(nullptr, reader.stream), 0);
    c.init(nullptr);
  }
  ieee_process_state_reset();
}
